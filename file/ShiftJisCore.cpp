#include "ShiftJisCore.h"

#include "ShiftJisSystem.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

// ASCII and half-width katakana are converted by hand on every platform: they
// are fixed by JIS X 0201, and ICU's table behind "Shift_JIS" is IBM's, which
// swaps the control bytes 0x1A, 0x1C and 0x7F. Only runs of double-byte
// characters go through the system converter, so stray single bytes (0x80,
// 0xA0, 0xFD-0xFF) never reach it either; Windows would turn them into
// private-use characters where ICU reports an error.
namespace ShiftJis {
namespace {

constexpr char16_t Replacement = 0xFFFD;
constexpr char16_t FirstKatakana = 0xFF61; // byte 0xA1
constexpr char16_t LastKatakana = 0xFF9F;  // byte 0xDF

constexpr bool IsKatakanaByte(unsigned char c)
{
    return c >= 0xA1 && c <= 0xDF;
}

bool IsSingleByteCharacter(char16_t u)
{
    return u < 0x80 || (u >= FirstKatakana && u <= LastKatakana);
}

bool IsHighSurrogate(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

bool IsLowSurrogate(char16_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

// What the system converter said of each double-byte code and of each
// character, asked the first time it is met: an export or an import of a
// million lines would otherwise call it for every cell. Each entry is
// written whole or not at all, and by any thread: two threads that both ask
// write the same answer.
constexpr std::uint32_t Unknown = 0;
constexpr std::uint32_t Known = 0x10000; // with the character or the code
constexpr std::uint32_t NoMapping = 0x20000;
constexpr std::uint32_t NotOneCharacter = 0x30000; // the converter is asked each time
std::array<std::atomic<std::uint32_t>, 0x10000> pairTexts;
std::array<std::atomic<std::uint32_t>, 0x10000> characterCodes;

std::uint32_t PairText(unsigned char lead, unsigned char trail)
{
    std::atomic<std::uint32_t> &entry = pairTexts[std::size_t(lead) << 8 | trail];
    std::uint32_t known = entry.load(std::memory_order_relaxed);
    if (known == Unknown) {
        const char pair[2] = {char(lead), char(trail)};
        char16_t text[16];
        const char16_t *end = System::PairCapacity(2) <= std::size(text) ? System::DecodePairs(pair, 2, text) : nullptr;
        known = !end ? NoMapping : end - text == 1 ? Known | text[0] : NotOneCharacter;
        entry.store(known, std::memory_order_relaxed);
    }
    return known;
}

bool StartsPair(std::string_view bytes, std::size_t i)
{
    return i + 1 < bytes.size() && IsLeadByte(static_cast<unsigned char>(bytes[i]))
        && IsTrailByte(static_cast<unsigned char>(bytes[i + 1]));
}

} // namespace

std::size_t DecodeCapacity(std::size_t size)
{
    // The converter is asked a pair at a time (DecodeInto), and only once
    // how much a pair may need: every painted cell comes here.
    static const std::size_t perPair = System::PairCapacity(2);
    return size + (size + 1) / 2 * perPair;
}

char16_t *DecodeInto(std::string_view bytes, char16_t *out)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            *out++ = char16_t(c);
            ++i;
        } else if (IsKatakanaByte(c)) {
            *out++ = char16_t(FirstKatakana + (c - 0xA1));
            ++i;
        } else if (!StartsPair(bytes, i)) {
            *out++ = Replacement;
            ++i;
        } else {
            // A pair at a time, as the converter reads a run of them; a pair
            // without a mapping stands for two bad bytes.
            const std::uint32_t known = PairText(c, static_cast<unsigned char>(bytes[i + 1]));
            if (known == NoMapping) {
                *out++ = Replacement;
                *out++ = Replacement;
            } else if (known != NotOneCharacter) {
                *out++ = char16_t(known & 0xFFFF);
            } else if (char16_t *decoded = System::DecodePairs(bytes.data() + i, 2, out)) {
                out = decoded;
            } else {
                *out++ = Replacement;
                *out++ = Replacement;
            }
            i += 2;
        }
    }
    return out;
}

std::u16string Decode(std::string_view bytes)
{
    std::u16string text(DecodeCapacity(bytes.size()), u'\0');
    text.resize(std::size_t(DecodeInto(bytes, text.data()) - text.data()));
    return text;
}

namespace {

// The code of a character that is neither ASCII nor half-width katakana, as
// Encode would write it, or NoMapping. Only a round trip proves the bytes
// (see Encode), and it is made here once per character: a double-byte code
// reads back alone as it does among others.
std::uint32_t CharacterCode(char16_t u)
{
    std::atomic<std::uint32_t> &entry = characterCodes[u];
    std::uint32_t known = entry.load(std::memory_order_relaxed);
    if (known == Unknown) {
        known = NoMapping;
        std::string bytes;
        if (u != Replacement && !IsHighSurrogate(u) && !IsLowSurrogate(u)
            && System::EncodeRun(std::u16string_view(&u, 1), bytes) && bytes.size() == 2
            && IsLeadByte(static_cast<unsigned char>(bytes[0])) && IsTrailByte(static_cast<unsigned char>(bytes[1]))
            && PairText(static_cast<unsigned char>(bytes[0]), static_cast<unsigned char>(bytes[1])) == (Known | u))
            known = Known | std::uint32_t(static_cast<unsigned char>(bytes[0])) << 8
                    | static_cast<unsigned char>(bytes[1]);
        entry.store(known, std::memory_order_relaxed);
    }
    return known;
}

} // namespace

int EncodeCharacter(char16_t u, char *out)
{
    if (u < 0x80) {
        out[0] = char(u);
        return 1;
    }
    if (u >= FirstKatakana && u <= LastKatakana) {
        out[0] = char(0xA1 + (u - FirstKatakana));
        return 1;
    }
    // CharacterCode turns down U+FFFD and surrogates itself.
    const std::uint32_t code = CharacterCode(u);
    if (code == NoMapping)
        return 0;
    out[0] = char((code >> 8) & 0xFF);
    out[1] = char(code & 0xFF);
    return 2;
}

std::optional<std::string> Encode(std::u16string_view text)
{
    // U+FFFD would pass the round trip below if a converter ever wrote it as
    // a stray byte, since a stray byte reads back as U+FFFD.
    if (text.find(Replacement) != std::u16string_view::npos)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t u = text[i];
        if (u < 0x80) {
            bytes += char(u);
            ++i;
        } else if (u >= FirstKatakana && u <= LastKatakana) {
            bytes += char(0xA1 + (u - FirstKatakana));
            ++i;
        } else {
            // Converters fall back silently for a few characters (ICU writes
            // U+F86F as the bytes of U+2116), and those bytes would show
            // another character once the file is opened again: a code
            // counts only when it reads back as the character.
            const std::uint32_t code = CharacterCode(u);
            if (code == NoMapping)
                return std::nullopt;
            bytes += char((code >> 8) & 0xFF);
            bytes += char(code & 0xFF);
            ++i;
        }
    }
    return bytes;
}

std::string EncodeReplacing(std::u16string_view text, std::string_view substitute, std::size_t *replaced)
{
    if (replaced)
        *replaced = 0;
    if (std::optional<std::string> bytes = Encode(text))
        return std::move(*bytes);
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
        if (std::optional<std::string> character = Encode(text.substr(i, length))) {
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

std::size_t EncodedLength(std::u16string_view text)
{
    std::size_t length = 0;
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < size && IsLowSurrogate(text[i + 1])) {
            // nothing outside the BMP has a form
            length += 2;
            ++i;
        } else {
            length += IsSingleByteCharacter(c) ? 1 : 2;
        }
    }
    return length;
}

char16_t MapLookAlike(char16_t c)
{
    switch (c) {
    case 0x301C: return 0xFF5E; // wave dash → full-width tilde
    case 0x2212: return 0xFF0D; // minus sign → full-width hyphen-minus
    case 0x2016: return 0x2225; // double vertical line → parallel to
    case 0x00A2: return 0xFFE0; // cent sign
    case 0x00A3: return 0xFFE1; // pound sign
    case 0x00AC: return 0xFFE2; // not sign
    case 0x2014: return 0x2015; // em dash → horizontal bar
    default: return c;
    }
}

void MapLookAlikesInPlace(char16_t *text, std::size_t size)
{
    for (char16_t *c = text; c != text + size; ++c)
        *c = MapLookAlike(*c);
}

bool IsWellFormed(std::string_view bytes)
{
    // What each byte can be where a character starts. Looked up rather than
    // tested range by range: a report's lines are full of double-byte text,
    // and every line of a million is checked as it is read.
    enum : std::uint8_t { Bad, Single, Lead };
    static constexpr auto kinds = [] {
        std::array<std::uint8_t, 256> table {};
        for (unsigned c = 1; c < 256; ++c)
            table[c] = c < 0x80 || IsKatakanaByte(static_cast<unsigned char>(c)) ? Single
                    : IsLeadByte(static_cast<unsigned char>(c))                   ? Lead
                                                                                   : Bad;
        return table;
    }();
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = p + bytes.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            // No byte with the high bit set and no zero byte: plain ASCII.
            if (((word - ones) & ~word & highs) == 0 && (word & highs) == 0) {
                p += 8;
                continue;
            }
        }
        // The next eight bytes or so one character at a time, before the
        // next look for plain ASCII.
        for (const auto *const stop = end - p > 8 ? p + 8 : end; p < stop;) {
            switch (kinds[*p]) {
            case Single:
                ++p;
                break;
            case Lead:
                if (end - p < 2 || !IsTrailByte(p[1]))
                    return false;
                p += 2;
                break;
            default:
                return false;
            }
        }
    }
    return true;
}

} // namespace ShiftJis
