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
    Evidence evidence;
    evidence.Add(bytes);
    return evidence.Result();
}

void Evidence::Add(QByteArrayView piece)
{
    if (Settled())
        return;
    const Utf8Scan scan = ScanUtf8(piece, false);
    badUtf8 += scan.badBytes;
    multiByte += scan.multiByte;
    japanese += scan.japanese;
    latinOrSign += scan.latinOrSign;
    // Shift-JIS counts only while the UTF-8 reading holds.
    if (Settled())
        return;
    wellFormedShiftJis = wellFormedShiftJis && ShiftJis::IsWellFormed(View(piece));
    if (wellFormedShiftJis && multiByte > 0 && !(commonPairs && rarePairs)) {
        const DoubleBytes pairs = FindDoubleBytes(piece);
        commonPairs = commonPairs || pairs.common;
        rarePairs = rarePairs || pairs.rare;
    }
}

void Evidence::Append(const Evidence &later)
{
    badUtf8 += later.badUtf8;
    multiByte += later.multiByte;
    japanese += later.japanese;
    latinOrSign += later.latinOrSign;
    wellFormedShiftJis = wellFormedShiftJis && later.wellFormedShiftJis;
    commonPairs = commonPairs || later.commonPairs;
    rarePairs = rarePairs || later.rarePairs;
}

Encoding Evidence::Result() const
{
    // Utf8Wins() and Detect() as they read the whole.
    if (badUtf8 > 0)
        return Encoding::ShiftJis;
    if (multiByte > 0) {
        if (!wellFormedShiftJis)
            return Encoding::Utf8;
        if (rarePairs && 2 * japanese >= multiByte)
            return Encoding::Utf8;
        if (!commonPairs && 2 * (japanese + latinOrSign) >= multiByte)
            return Encoding::Utf8;
    }
    return wellFormedShiftJis ? Encoding::ShiftJis : Encoding::Utf8;
}

qsizetype DecodeUtf8Into(QByteArrayView bytes, char16_t *out, qsizetype &badBytes)
{
    qsizetype written = 0;
    badBytes += ScanUtf8(bytes, false, out, &written).badBytes;
    return written;
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
