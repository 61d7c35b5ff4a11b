#include "qnVelTorHeaderRules.h"

namespace {

constexpr std::size_t shortSyoudakuBangouLength = 10;
constexpr std::size_t longSyoudakuBangouLength = 16;
constexpr std::size_t houkokuNengappiLength = 6;

// Shift-JIS bytes; the readable text stands in the comment above each.

// 許諾番号がありません。英数字10桁、または数字16桁です。
constexpr std::string_view syoudakuMissingText =
    "\x8B\x96\x91\xF8\x94\xD4\x8D\x86\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42\x89\x70\x90\x94\x8E\x9A"
    "10\x8C\x85\x81\x41\x82\xDC\x82\xBD\x82\xCD\x90\x94\x8E\x9A" "16\x8C\x85\x82\xC5\x82\xB7\x81\x42";
// 許諾番号に使えるのは半角の英字と数字だけです。
constexpr std::string_view syoudakuCharacterText =
    "\x8B\x96\x91\xF8\x94\xD4\x8D\x86\x82\xC9\x8E\x67\x82\xA6\x82\xE9\x82\xCC\x82\xCD\x94\xBC\x8A\x70\x82\xCC\x89\x70"
    "\x8E\x9A\x82\xC6\x90\x94\x8E\x9A\x82\xBE\x82\xAF\x82\xC5\x82\xB7\x81\x42";
// 16桁の許諾番号は数字だけです。
constexpr std::string_view syoudakuLetterText =
    "16\x8C\x85\x82\xCC\x8B\x96\x91\xF8\x94\xD4\x8D\x86\x82\xCD\x90\x94\x8E\x9A\x82\xBE\x82\xAF\x82\xC5\x82\xB7\x81\x42";
// 許諾番号は英数字10桁、または数字16桁です（ / 桁あります）。
constexpr std::string_view syoudakuLengthText1 =
    "\x8B\x96\x91\xF8\x94\xD4\x8D\x86\x82\xCD\x89\x70\x90\x94\x8E\x9A"
    "10\x8C\x85\x81\x41\x82\xDC\x82\xBD\x82\xCD\x90\x94\x8E\x9A" "16\x8C\x85\x82\xC5\x82\xB7\x81\x69";
constexpr std::string_view lengthText2 = "\x8C\x85\x82\xA0\x82\xE8\x82\xDC\x82\xB7\x81\x6A\x81\x42";
// 報告年月がありません。YYYYMM（月は01〜12）の6桁です。
constexpr std::string_view nengappiMissingText =
    "\x95\xF1\x8D\x90\x94\x4E\x8C\x8E\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42"
    "YYYYMM\x81\x69\x8C\x8E\x82\xCD" "01\x81\x60" "12\x81\x6A\x82\xCC" "6\x8C\x85\x82\xC5\x82\xB7\x81\x42";
// 報告年月に使えるのは半角の数字だけです。
constexpr std::string_view nengappiCharacterText =
    "\x95\xF1\x8D\x90\x94\x4E\x8C\x8E\x82\xC9\x8E\x67\x82\xA6\x82\xE9\x82\xCC\x82\xCD\x94\xBC\x8A\x70\x82\xCC\x90\x94"
    "\x8E\x9A\x82\xBE\x82\xAF\x82\xC5\x82\xB7\x81\x42";
// 報告年月はYYYYMM（月は01〜12）の6桁です（ / 桁あります）。
constexpr std::string_view nengappiLengthText1 =
    "\x95\xF1\x8D\x90\x94\x4E\x8C\x8E\x82\xCD" "YYYYMM\x81\x69\x8C\x8E\x82\xCD" "01\x81\x60" "12\x81\x6A\x82\xCC"
    "6\x8C\x85\x82\xC5\x82\xB7\x81\x69";
// 報告年月の月は01〜12です（ / になっています）。
constexpr std::string_view monthText1 =
    "\x95\xF1\x8D\x90\x94\x4E\x8C\x8E\x82\xCC\x8C\x8E\x82\xCD" "01\x81\x60" "12\x82\xC5\x82\xB7\x81\x69";
constexpr std::string_view monthText2 = "\x82\xC9\x82\xC8\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x81\x6A\x81\x42";

// ASCII only: a full-width digit is two Shift-JIS bytes, neither of them a
// digit, and must not pass.
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetterOrDigit(char c)
{
    return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

template<typename Predicate>
bool all(std::string_view text, Predicate predicate)
{
    for (const char c : text) {
        if (!predicate(c))
            return false;
    }
    return true;
}

void appendLength(std::string &message, std::string_view before, std::size_t length)
{
    message += before;
    message += std::to_string(length);
    message += lengthText2;
}

} // namespace

bool ValidateSyoudakuBangou(std::string_view value, std::string &message)
{
    if (value.empty()) {
        message += syoudakuMissingText;
        return false;
    }
    // The characters first: a length counted in bytes would mislead for
    // full-width ones.
    if (!all(value, isLetterOrDigit)) {
        message += syoudakuCharacterText;
        return false;
    }
    if (value.size() == shortSyoudakuBangouLength)
        return true;
    if (value.size() == longSyoudakuBangouLength) {
        if (all(value, isDigit))
            return true;
        message += syoudakuLetterText;
        return false;
    }
    appendLength(message, syoudakuLengthText1, value.size());
    return false;
}

bool ValidateHoukokuNengappi(std::string_view value, std::string &message)
{
    if (value.empty()) {
        message += nengappiMissingText;
        return false;
    }
    if (!all(value, isDigit)) {
        message += nengappiCharacterText;
        return false;
    }
    if (value.size() != houkokuNengappiLength) {
        appendLength(message, nengappiLengthText1, value.size());
        return false;
    }
    const std::string_view month = value.substr(4, 2);
    if (month < "01" || month > "12") {
        message += monthText1;
        message += month;
        message += monthText2;
        return false;
    }
    return true;
}
