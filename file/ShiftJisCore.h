#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The conversion between code page 932 bytes and UTF-16 text, in standard
// C++ types only, so that it builds and is checked on every platform the
// program runs on (Windows included, with the system's own converter).
// ShiftJis.h wraps it for Qt's strings; everything else uses that.
namespace ShiftJis {

// First byte of a double-byte character.
constexpr bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Second byte of a double-byte character. TAB, LF, CR and 0x1A are never
// one, so a file can be split into fields and lines without decoding it.
constexpr bool IsTrailByte(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// False when the bytes hold a NUL, a byte that no character starts with
// (0x80, 0xA0, 0xFD-0xFF) or a lead byte without its trail byte: signs of a
// file that is not a report. Only the shape is checked, not whether every
// pair has a character. Cheap on ASCII, which it skips eight bytes at a time.
bool IsWellFormed(std::string_view bytes);

// UTF-16 units DecodeInto may write for `size` bytes.
std::size_t DecodeCapacity(std::size_t size);

// Writes the text of `bytes` to `out` (room for DecodeCapacity units) and
// returns the end of what was written. Bytes that are not code page 932 come
// out as U+FFFD, one per bad byte; a lead byte whose next byte cannot follow
// it is bad on its own, and that next byte is read afresh. Control bytes
// (NUL, TAB, 0x1A, ...) stay themselves.
char16_t *DecodeInto(std::string_view bytes, char16_t *out);
std::u16string Decode(std::string_view bytes);

// The text's bytes, or nothing when one of its characters has no code page
// 932 form of its own (U+FFFD and lone surrogates included). The bytes always
// decode to exactly the text again.
std::optional<std::string> Encode(std::u16string_view text);

// The bytes of every character that has a form; each one that has none (a
// surrogate pair counts as one character) becomes `substitute`, which may be
// empty. `replaced`, when given, receives how many were replaced.
std::string EncodeReplacing(std::u16string_view text, std::string_view substitute, std::size_t *replaced = nullptr);

// The bytes of one character as Encode writes it, into `out` (room for
// two): how many, or 0 when it has none of its own (U+FFFD and surrogates
// included). An import converts millions of cells a character at a time.
int EncodeCharacter(char16_t character, char *out);

// Byte length of the text in code page 932; a character without a form
// counts 2, so it never lets a limit be exceeded. Needs no converter.
std::size_t EncodedLength(std::u16string_view text);

// Replaces the look-alikes that input methods produce (wave dash U+301C,
// minus U+2212, ...) by the characters code page 932 holds.
void MapLookAlikesInPlace(char16_t *text, std::size_t size);
char16_t MapLookAlike(char16_t character);

} // namespace ShiftJis
