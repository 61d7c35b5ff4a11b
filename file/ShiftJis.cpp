#include "ShiftJis.h"

#include <QStringView>

#include <cstdint>
#include <cstring>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

// ASCII and half-width katakana are converted by hand on every platform: they
// are fixed by JIS X 0201, and ICU's table behind "Shift_JIS" is IBM's, which
// swaps the control bytes 0x1A, 0x1C and 0x7F. Only runs of double-byte
// characters go through the system converter, so stray single bytes (0x80,
// 0xA0, 0xFD-0xFF) never reach it either; Windows would turn them into
// private-use characters where ICU reports an error.
namespace ShiftJis {
namespace {

constexpr QChar Replacement(QChar::ReplacementCharacter);
constexpr char16_t FirstKatakana = 0xFF61; // byte 0xA1
constexpr char16_t LastKatakana = 0xFF9F;  // byte 0xDF

bool IsKatakanaByte(unsigned char c)
{
    return c >= 0xA1 && c <= 0xDF;
}

bool IsSingleByteCharacter(char16_t u)
{
    return u < 0x80 || (u >= FirstKatakana && u <= LastKatakana);
}

bool StartsPair(std::string_view bytes, size_t i)
{
    return i + 1 < bytes.size() && IsLeadByte(static_cast<unsigned char>(bytes[i]))
        && IsTrailByte(static_cast<unsigned char>(bytes[i + 1]));
}

#ifdef Q_OS_WIN

constexpr UINT CodePage = 932;

qsizetype PairCapacity(qsizetype size)
{
    return size;
}

// Writes the characters of well-formed lead/trail pairs to out (room for
// PairCapacity(size) characters); nullptr when one of them has no mapping.
QChar *DecodePairs(const char *bytes, qsizetype size, QChar *out)
{
    if (size > INT_MAX)
        return nullptr; // the caller retries pair by pair
    const int written = MultiByteToWideChar(CodePage, MB_ERR_INVALID_CHARS, bytes, int(size),
                                            reinterpret_cast<wchar_t *>(out), int(size));
    return written > 0 ? out + written : nullptr;
}

// Appends the bytes of characters that are neither ASCII nor half-width
// katakana; false when one of them has no form.
bool EncodeRun(QStringView text, std::string &out)
{
    if (text.size() > INT_MAX / 2)
        return false;
    const int units = int(text.size());
    const size_t start = out.size();
    // a UTF-16 unit never takes more than two bytes; a surrogate pair becomes
    // the default character and is refused below
    out.resize(start + 2 * size_t(units));
    BOOL usedDefault = FALSE;
    // Without WC_NO_BEST_FIT_CHARS Windows would store U+00A5 as '\' and the
    // like, which reads back as another character.
    const int written = WideCharToMultiByte(CodePage, WC_NO_BEST_FIT_CHARS,
                                            reinterpret_cast<const wchar_t *>(text.utf16()), units,
                                            out.data() + start, 2 * units, nullptr, &usedDefault);
    out.resize(start + size_t(written > 0 ? written : 0));
    return written > 0 && !usedDefault;
}

#else

// Qt 6.4's resetState() resets the ICU converter but keeps its error count,
// so hasError() would stay true for good after the first bad code. Creating
// a converter instead costs an ICU open, too much for a call per painted cell.
template<typename Converter>
class Reusable : public Converter
{
public:
    Reusable() : Converter("Shift_JIS", QStringConverter::Flag::Stateless) {}
    bool takeError()
    {
        const bool failed = this->hasError();
        if (failed) {
            this->resetState();
            this->state.invalidChars = 0;
        }
        return failed;
    }
};

using Decoder = Reusable<QStringDecoder>;
using Encoder = Reusable<QStringEncoder>;

// One converter per thread: the grid calls in from the GUI thread only, but
// a converter must never be shared by two threads at once.
Decoder &SharedDecoder()
{
    thread_local Decoder decoder;
    return decoder;
}

Encoder &SharedEncoder()
{
    thread_local Encoder encoder;
    return encoder;
}

qsizetype PairCapacity(qsizetype size)
{
    Decoder &decoder = SharedDecoder();
    return decoder.isValid() ? decoder.requiredSpace(size) : size;
}

QChar *DecodePairs(const char *bytes, qsizetype size, QChar *out)
{
    Decoder &decoder = SharedDecoder();
    if (!decoder.isValid())
        return nullptr; // Qt without ICU: every double-byte character is unknown
    QChar *end = decoder.appendToBuffer(out, QByteArrayView(bytes, size));
    return decoder.takeError() ? nullptr : end;
}

bool EncodeRun(QStringView text, std::string &out)
{
    Encoder &encoder = SharedEncoder();
    if (!encoder.isValid())
        return false;
    const size_t start = out.size();
    out.resize(start + size_t(encoder.requiredSpace(text.size())));
    char *end = encoder.appendToBuffer(out.data() + start, text);
    out.resize(size_t(end - out.data()));
    return !encoder.takeError();
}

#endif

} // namespace

QString ToText(std::string_view bytes)
{
    const qsizetype size = qsizetype(bytes.size());
    QString text(size + PairCapacity(size), Qt::Uninitialized);
    QChar *out = text.data();
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            *out++ = QChar(char16_t(c));
            ++i;
        } else if (IsKatakanaByte(c)) {
            *out++ = QChar(char16_t(FirstKatakana + (c - 0xA1)));
            ++i;
        } else if (!StartsPair(bytes, i)) {
            *out++ = Replacement;
            ++i;
        } else {
            size_t end = i + 2;
            while (StartsPair(bytes, end))
                end += 2;
            if (QChar *decoded = DecodePairs(bytes.data() + i, qsizetype(end - i), out)) {
                out = decoded;
            } else {
                // A converter gives no dependable position for its error, so
                // the run is decoded again one character at a time; a pair
                // without a mapping stands for two bad bytes.
                for (size_t pair = i; pair < end; pair += 2) {
                    if (QChar *decodedPair = DecodePairs(bytes.data() + pair, 2, out)) {
                        out = decodedPair;
                    } else {
                        *out++ = Replacement;
                        *out++ = Replacement;
                    }
                }
            }
            i = end;
        }
    }
    text.truncate(out - text.constData());
    return text;
}

std::optional<std::string> FromText(const QString &text)
{
    // U+FFFD would pass the round trip below if a converter ever wrote it as
    // a stray byte, since a stray byte reads back as U+FFFD.
    if (text.contains(Replacement))
        return std::nullopt;
    std::string bytes;
    bytes.reserve(size_t(text.size()) * 2);
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x80) {
            bytes += char(u);
            ++i;
        } else if (u >= FirstKatakana && u <= LastKatakana) {
            bytes += char(0xA1 + (u - FirstKatakana));
            ++i;
        } else {
            qsizetype end = i + 1;
            while (end < text.size() && !IsSingleByteCharacter(text.at(end).unicode()))
                ++end;
            if (!EncodeRun(QStringView(text).sliced(i, end - i), bytes))
                return std::nullopt;
            i = end;
        }
    }
    // Converters fall back silently for a few characters (ICU writes U+F86F
    // as the bytes of U+2116), and those bytes would show another character
    // once the file is opened again. Only a round trip proves the bytes.
    if (ToText(bytes) != text)
        return std::nullopt;
    return bytes;
}

std::string FromTextReplacing(const QString &text, std::string_view substitute, qsizetype *replaced)
{
    if (replaced)
        *replaced = 0;
    if (std::optional<std::string> bytes = FromText(text))
        return std::move(*bytes);
    std::string bytes;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (std::optional<std::string> character = FromText(text.mid(i, length))) {
            bytes += *character;
        } else {
            bytes += substitute;
            if (replaced)
                ++*replaced;
        }
        i += length;
    }
    return bytes;
}

bool IsEncodable(const QString &character)
{
    return !character.isEmpty() && FromText(character).has_value();
}

QString MapLookAlikes(QString text)
{
    for (QChar &c : text) {
        switch (c.unicode()) {
        case 0x301C: c = QChar(0xFF5E); break; // wave dash → full-width tilde
        case 0x2212: c = QChar(0xFF0D); break; // minus sign → full-width hyphen-minus
        case 0x2016: c = QChar(0x2225); break; // double vertical line → parallel to
        case 0x00A2: c = QChar(0xFFE0); break; // cent sign
        case 0x00A3: c = QChar(0xFFE1); break; // pound sign
        case 0x00AC: c = QChar(0xFFE2); break; // not sign
        case 0x2014: c = QChar(0x2015); break; // em dash → horizontal bar
        default: break;
        }
    }
    return text;
}

qsizetype ByteLength(const QString &text)
{
    qsizetype length = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            // nothing outside the BMP has a form
            length += 2;
            ++i;
        } else {
            length += IsSingleByteCharacter(c.unicode()) ? 1 : 2;
        }
    }
    return length;
}

bool IsWellFormed(std::string_view bytes)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        if (size - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, sizeof word);
            // No byte with the high bit set and no zero byte: plain ASCII.
            if (((word - ones) & ~word & highs) == 0 && (word & highs) == 0) {
                i += 8;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0)
            return false;
        if (c < 0x80 || IsKatakanaByte(c)) {
            ++i;
        } else if (StartsPair(bytes, i)) {
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace ShiftJis
