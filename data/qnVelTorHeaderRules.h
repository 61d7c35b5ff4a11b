#pragma once

#include <string>
#include <string_view>

// The rules of the two header values that the report's file name carries.
// Values and messages are Shift-JIS (code page 932) bytes. Each function
// appends exactly one message to `message` when the value breaks its rule
// (the message names the kind of problem: missing, a character that does
// not belong, the length, the month) and nothing when it is valid.

// Valid: 10 ASCII letters or digits, or 16 ASCII digits.
bool ValidateSyoudakuBangou(std::string_view value, std::string &message);

// Valid: YYYYMM in ASCII digits, any year, a month from 01 to 12.
bool ValidateHoukokuNengappi(std::string_view value, std::string &message);
