#pragma once

#include <QByteArrayView>
#include <QString>

// The text of a file brought in from elsewhere (a spreadsheet's CSV or
// "Unicode text", a licensee's own system), whose encoding nobody tells us:
// it is told from the bytes. Reports themselves are never decoded here; they
// stay Shift-JIS bytes.
//
// How the encoding is told, first rule that holds:
//  1. A byte-order mark: EF BB BF is UTF-8, FF FE UTF-16 LE, FE FF UTF-16 BE.
//  2. LooksUtf8() below: valid UTF-8 with multi-byte characters, and not
//     plausible Shift-JIS.
//  3. Well-formed Shift-JIS (ShiftJis::IsWellFormed): Shift-JIS. Plain ASCII
//     lands here, and reads the same either way.
//  4. Valid UTF-8 (ASCII with NUL bytes, say): UTF-8.
//  5. Otherwise Shift-JIS, its bad bytes counted.
namespace TextEncoding {

enum class Encoding {
    ShiftJis, // code page 932 (or plain ASCII)
    Utf8, // without a byte-order mark
    Utf8Bom,
    Utf16LE, // with its byte-order mark FF FE
    Utf16BE, // with FE FF
};

struct Decoded
{
    QString text; // without the byte-order mark
    Encoding encoding = Encoding::ShiftJis;
    // Bytes that are not of the encoding: each became one U+FFFD (an unmapped
    // Shift-JIS pair, or a lone UTF-16 surrogate, two).
    qsizetype badBytes = 0;
};

// The encoding of `bytes` by the rules above.
Encoding Detect(QByteArrayView bytes);

// Detect() for bytes without a byte-order mark, told piece by piece, as a
// large file is read in chunks or in parts at once. Every piece but the last
// must end just after a byte below 0x40 (TAB, CR, LF, a comma, a quote, a
// digit), which no character of either encoding holds: the pieces then give
// what the whole would.
class Evidence
{
public:
    void Add(QByteArrayView piece);
    // The evidence of the bytes that follow these, gathered apart.
    void Append(const Evidence &later);
    // True once a byte that is no UTF-8 has been seen: Shift-JIS, whatever
    // follows.
    bool Settled() const { return badUtf8 > 0; }
    Encoding Result() const;

private:
    qsizetype badUtf8 = 0;
    qsizetype multiByte = 0;
    qsizetype japanese = 0;
    qsizetype latinOrSign = 0;
    bool wellFormedShiftJis = true;
    bool commonPairs = false;
    bool rarePairs = false;
};

// The bytes as text, by the encoding Detect() finds. Shift-JIS goes through
// the ShiftJis module. Empty text (badBytes 0) for empty bytes.
Decoded Decode(QByteArrayView bytes);

// One UTF-8 character at p (p < end): its length, 0 when the bytes are no
// character, or -1 when the end cuts a character that was well begun. Only
// the shortest forms of scalar values count (no surrogates, nothing above
// U+10FFFF).
inline int ReadUtf8(const unsigned char *p, const unsigned char *end, char32_t &code)
{
    const unsigned c = p[0];
    if (c < 0x80) {
        code = c;
        return 1;
    }
    int more;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        code = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : low; // shorter form exists
        high = c == 0xED ? 0x9F : high; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        code = c & 0x07;
        low = c == 0xF0 ? 0x90 : low;
        high = c == 0xF4 ? 0x8F : high; // above U+10FFFF
    } else {
        return 0;
    }
    for (int i = 1; i <= more; ++i) {
        if (p + i >= end)
            return -1;
        const unsigned b = p[i];
        if (b < low || b > high)
            return 0;
        low = 0x80;
        high = 0xBF;
        code = code << 6 | (b & 0x3F);
    }
    return more + 1;
}

// The text of UTF-8 bytes as Decode() gives it, written to `out` (room for
// one unit per byte); returns the units written and adds the bad bytes to
// `badBytes`.
qsizetype DecodeUtf8Into(QByteArrayView bytes, char16_t *out, qsizetype &badBytes);

// The encoding of a byte-order mark at the start of `bytes`, with the mark's
// size; false when there is none.
bool HasByteOrderMark(QByteArrayView bytes, Encoding *encoding = nullptr, qsizetype *size = nullptr);

// Bytes (no byte-order mark) that are valid UTF-8 holding multi-byte
// characters, and not plausible Shift-JIS. Japanese UTF-8 is often
// well-formed Shift-JIS as well (E3 81 82 E3 81 84, "あい", is three
// double-byte pairs), while real Shift-JIS text is valid UTF-8 only by
// accident: its lead bytes 0x81-0x9F, which start every kana, common kanji
// and full-width sign, can only continue a UTF-8 character, and what starts
// one is a half-width katakana (0xC2-0xDF) or a rarer kanji (0xE0-0xEF).
// When both readings hold, the UTF-8 one wins:
//  - when at least half of its multi-byte characters are Japanese (kana,
//    kanji, full-width forms, CJK signs; emoji too) and the Shift-JIS
//    reading has a double-byte character from the rows 0xE0 up, as the
//    first Japanese UTF-8 character after ASCII always gives (its lead byte
//    E3-E9 pairs with the next), while Shift-JIS text that reads as Japanese
//    UTF-8 got there through half-width katakana and common kanji ("ﾝ夜｡ウ"
//    is DD 96 E9 A1 83 45, which holds U+9843);
//  - or when the Shift-JIS reading has no kana or common kanji at all (rows
//    0x81-0x9F) and at least half of the UTF-8 characters are Japanese,
//    accented Latin letters or common signs (é, ♪, ①, ※): UTF-8 "Café" reads
//    as "Cafﾃｩ", while half-width katakana read as UTF-8 give Greek or
//    Cyrillic ("ﾏｲ" is U+03F2), or, before a full-width character, accented
//    letters beside kana ("ﾃア" is C3 83 41, "ÃA").
// The cost: a Shift-JIS file whose only non-ASCII text is words such as
// "ﾃｨ" (C3 A8, "è") reads as UTF-8, and a UTF-8 one whose only non-ASCII
// text is such as "Çava" (C3 87 61: "ﾃ" and a kanji) as Shift-JIS.
//
// `truncated`: the bytes are the head of a longer file, so a character cut
// at the very end is no fault.
bool LooksUtf8(QByteArrayView bytes, bool truncated = false);

} // namespace TextEncoding
