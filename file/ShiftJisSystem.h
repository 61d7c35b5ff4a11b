#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The system converter behind ShiftJisCore, one source file per platform:
// ShiftJisWin32.cpp (the Windows API) and ShiftJisQt.cpp (Qt's converter,
// which is ICU's). They see only runs of well-formed double-byte codes and
// of characters that are neither ASCII nor half-width katakana.
namespace ShiftJis::System {

// UTF-16 units DecodePairs may write for `size` bytes.
std::size_t PairCapacity(std::size_t size);

// Writes the characters of well-formed lead/trail pairs to out; nullptr when
// one of them has no mapping.
char16_t *DecodePairs(const char *bytes, std::size_t size, char16_t *out);

// Appends the bytes of the characters; false when one of them has no form.
bool EncodeRun(std::u16string_view text, std::string &out);

} // namespace ShiftJis::System
