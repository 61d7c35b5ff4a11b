#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The one place where Shift-JIS (code page 932) bytes and text meet. Cell
// texts stay bytes everywhere else; a cell is decoded only to be shown or
// edited, and only an edited cell is encoded again, because decoding and
// re-encoding code page 932 is not byte-exact (0xEEEF and 0xFA40 are the
// same character).
namespace ShiftJis {

// First byte of a double-byte character.
inline bool IsLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Second byte of a double-byte character. TAB, LF, CR and 0x1A are never
// one, so a file can be split into fields and lines without decoding it.
inline bool IsTrailByte(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// False when the bytes hold a NUL, a byte that no character starts with
// (0x80, 0xA0, 0xFD-0xFF) or a lead byte without its trail byte: signs of a
// file that is not a report. Only the shape is checked, not whether every
// pair has a character. Cheap on ASCII, which it skips eight bytes at a time.
bool IsWellFormed(std::string_view bytes);

// Bytes that are not code page 932 come out as U+FFFD, one per bad byte; a
// lead byte whose next byte cannot follow it is bad on its own, and that next
// byte is read afresh. Control bytes (NUL, TAB, ...) stay themselves.
QString ToText(std::string_view bytes);

// The text's bytes, or nothing when one of its characters has no code page
// 932 form of its own (U+FFFD and lone surrogates included). The bytes always
// decode to exactly the text again.
std::optional<std::string> FromText(const QString &text);

// The bytes of every character that has a form; each one that has none
// (a surrogate pair counts as one character) becomes `substitute`, which may
// be empty. `replaced`, when given, receives how many were replaced.
std::string FromTextReplacing(const QString &text, std::string_view substitute, qsizetype *replaced = nullptr);

// Whether one character (a surrogate pair counts as one) can be stored. An
// empty string is not a character and yields false.
bool IsEncodable(const QString &character);

// Replaces the look-alikes that input methods produce (wave dash U+301C,
// minus U+2212, ...) by the characters code page 932 holds. Any other
// character is left alone, even one that cannot be stored.
QString MapLookAlikes(QString text);

// Byte length of the text in code page 932; a character without a form
// counts 2, so it never lets a limit be exceeded. Needs no converter: cheap
// enough to run on every keystroke.
qsizetype ByteLength(const QString &text);

} // namespace ShiftJis
