#include "TextEncoding.h"

#include "ShiftJis.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace TextEncoding {
namespace {

constexpr char16_t Replacement = 0xFFFD;

std::string_view View(QByteArrayView bytes)
{
    return {bytes.data(), std::size_t(bytes.size())};
}

// Japanese, read as UTF-8: see LooksUtf8().
bool IsJapanese(char32_t c)
{
    return (c >= 0x3000 && c <= 0x30FF) // CJK signs, hiragana, katakana
            || (c >= 0x31F0 && c <= 0x4DBF) // small katakana, enclosed and squared signs (㈱, ㍻), rare kanji
            || (c >= 0x4E00 && c <= 0x9FFF) // kanji
            || (c >= 0xF900 && c <= 0xFAFF) // compatibility kanji
            || (c >= 0xFF01 && c <= 0xFFEF) // full-width and half-width forms
            || c >= 0x10000; // emoji, rarer kanji: four bytes, hardly ever Shift-JIS by accident
}

// What else titles and names hold.
bool IsLatinOrSign(char32_t c)
{
    return (c >= 0x00C0 && c <= 0x00FF && c != 0x00D7 && c != 0x00F7) // accented Latin letters
            || (c >= 0x2010 && c <= 0x203B) // dashes, quotes, bullet, ellipsis, ※
            || (c >= 0x2100 && c <= 0x22FF) // №, ™, Roman numerals, arrows, ∞, ≠
            || (c >= 0x2460 && c <= 0x26FF); // ①, box drawing, ○, ■, ★, ♪
}

// The double-byte characters of the bytes read as Shift-JIS: of the rows
// 0x81-0x9F (signs, kana, common kanji), and of the rows from 0xE0 (rarer
// kanji, vendor and user-defined codes).
struct DoubleBytes
{
    bool common = false;
    bool rare = false;
};

DoubleBytes FindDoubleBytes(QByteArrayView bytes)
{
    DoubleBytes found;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = p + bytes.size();
    while (p < end && !(found.common && found.rare)) {
        if (ShiftJis::IsLeadByte(*p) && end - p >= 2 && ShiftJis::IsTrailByte(p[1])) {
            (*p <= 0x9F ? found.common : found.rare) = true;
            p += 2;
        } else {
            ++p;
        }
    }
    return found;
}

// One UTF-8 character at p (p < end): its length, 0 when the bytes are no
// character, or -1 when the end cuts a character that was well begun. Only
// the shortest forms of scalar values count (no surrogates, nothing above
// U+10FFFF).
int ReadUtf8(const unsigned char *p, const unsigned char *end, char32_t &code)
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

struct Utf8Scan
{
    qsizetype badBytes = 0;
    qsizetype multiByte = 0;
    qsizetype japanese = 0;
    qsizetype latinOrSign = 0;
};

// Walks the bytes as UTF-8. With `out`, also writes the text there (room
// for one unit per byte), U+FFFD for each bad byte, and sets `*written`.
Utf8Scan ScanUtf8(QByteArrayView bytes, bool truncated, char16_t *out = nullptr, qsizetype *written = nullptr)
{
    Utf8Scan scan;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = p + bytes.size();
    char16_t *const start = out;
    while (p < end) {
        // Eight ASCII bytes at a time: most of any such file.
        if (!out && end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
        }
        char32_t code = 0;
        const int length = ReadUtf8(p, end, code);
        if (length < 0 && truncated)
            break;
        if (length <= 0) {
            ++scan.badBytes;
            ++p;
            if (out)
                *out++ = Replacement;
            continue;
        }
        if (length > 1) {
            ++scan.multiByte;
            if (IsJapanese(code))
                ++scan.japanese;
            else if (IsLatinOrSign(code))
                ++scan.latinOrSign;
        }
        p += length;
        if (out) {
            if (code >= 0x10000) {
                *out++ = char16_t(0xD800 + ((code - 0x10000) >> 10));
                *out++ = char16_t(0xDC00 + (code & 0x3FF));
            } else {
                *out++ = char16_t(code);
            }
        }
    }
    if (written)
        *written = out - start;
    return scan;
}

bool IsWellFormedShiftJis(QByteArrayView bytes, bool truncated)
{
    if (ShiftJis::IsWellFormed(View(bytes)))
        return true;
    // A double-byte character cut by the end of the head.
    return truncated && !bytes.isEmpty() && ShiftJis::IsLeadByte(static_cast<unsigned char>(bytes.back()))
            && ShiftJis::IsWellFormed(View(bytes.chopped(1)));
}

bool Utf8Wins(const Utf8Scan &scan, QByteArrayView bytes, bool truncated)
{
    if (scan.badBytes > 0 || scan.multiByte == 0)
        return false;
    if (!IsWellFormedShiftJis(bytes, truncated))
        return true;
    // Both readings hold; see LooksUtf8() for why these tell them apart.
    const DoubleBytes pairs = FindDoubleBytes(bytes);
    if (pairs.rare && 2 * scan.japanese >= scan.multiByte)
        return true;
    return !pairs.common && 2 * (scan.japanese + scan.latinOrSign) >= scan.multiByte;
}

QString DecodeUtf8(QByteArrayView bytes, qsizetype &badBytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    qsizetype written = 0;
    badBytes = ScanUtf8(bytes, false, reinterpret_cast<char16_t *>(text.data()), &written).badBytes;
    text.truncate(written);
    return text;
}

QString DecodeUtf16(QByteArrayView bytes, bool bigEndian, qsizetype &badBytes)
{
    const qsizetype units = bytes.size() / 2;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto unit = [p, bigEndian](qsizetype i) {
        return bigEndian ? char16_t(p[2 * i] << 8 | p[2 * i + 1]) : char16_t(p[2 * i + 1] << 8 | p[2 * i]);
    };
    QString text(units + bytes.size() % 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    badBytes = 0;
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            *out++ = u;
            *out++ = unit(++i);
        } else if (high || low) {
            *out++ = Replacement;
            badBytes += 2;
        } else {
            *out++ = u;
        }
    }
    if (bytes.size() % 2) {
        *out++ = Replacement;
        ++badBytes;
    }
    return text;
}

} // namespace

bool HasByteOrderMark(QByteArrayView bytes, Encoding *encoding, qsizetype *size)
{
    Encoding found;
    qsizetype length;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        found = Encoding::Utf8Bom;
        length = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        found = Encoding::Utf16LE;
        length = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        found = Encoding::Utf16BE;
        length = 2;
    } else {
        return false;
    }
    if (encoding)
        *encoding = found;
    if (size)
        *size = length;
    return true;
}

bool LooksUtf8(QByteArrayView bytes, bool truncated)
{
    return Utf8Wins(ScanUtf8(bytes, truncated), bytes, truncated);
}

Encoding Detect(QByteArrayView bytes)
{
    Encoding encoding;
    if (HasByteOrderMark(bytes, &encoding))
        return encoding;
    const Utf8Scan scan = ScanUtf8(bytes, false);
    if (Utf8Wins(scan, bytes, false))
        return Encoding::Utf8;
    if (ShiftJis::IsWellFormed(View(bytes)))
        return Encoding::ShiftJis;
    return scan.badBytes == 0 ? Encoding::Utf8 : Encoding::ShiftJis;
}

Decoded Decode(QByteArrayView bytes)
{
    Decoded decoded;
    decoded.encoding = Detect(bytes);
    qsizetype mark = 0;
    HasByteOrderMark(bytes, nullptr, &mark);
    const QByteArrayView body = bytes.sliced(mark);
    switch (decoded.encoding) {
    case Encoding::ShiftJis:
        decoded.text = ShiftJis::ToText(View(body));
        // Shift-JIS has no U+FFFD of its own: each one stands for a bad byte.
        decoded.badBytes = decoded.text.count(QChar(Replacement));
        break;
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
        decoded.text = DecodeUtf8(body, decoded.badBytes);
        break;
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        decoded.text = DecodeUtf16(body, decoded.encoding == Encoding::Utf16BE, decoded.badBytes);
        break;
    }
    return decoded;
}

} // namespace TextEncoding
