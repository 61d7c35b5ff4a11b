#include "ReportLineSplitter.h"

#include "ShiftJisCore.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QNVELTOR_SSE2 1
#endif

namespace {

// Lines handed over at once: the callback's cost is spread over many lines,
// while the views stay within a few hundred kilobytes.
constexpr std::size_t BatchLines = 4096;

constexpr bool IsControlByte(char c)
{
    return c == TabByte || c == LfByte || c == CrByte || c == EofByte;
}

// What 64 bytes of a report hold, one bit per byte.
struct BlockBits
{
    std::uint64_t control = 0; // TAB, LF, CR, 0x1A
    std::uint64_t tabs = 0; // TAB alone
    std::uint64_t lead = 0; // 0x81-0x9F, 0xE0-0xFC: starts a double-byte character, or ends one
    std::uint64_t neverValid = 0; // 0x00, 0xFD-0xFF
    std::uint64_t trailOnly = 0; // 0x80, 0xA0: valid only as a second byte
    std::uint64_t neverTrail = 0; // 0x01-0x3F, 0x7F: valid only as a character of its own
};

// Classifies the 64 bytes at p. A report has a TAB every few bytes, so its
// bytes are classified 64 at a time and only the control bytes are then
// visited one by one, and every line is checked for Shift-JIS on the way.
inline BlockBits Classify(const char *p)
{
    BlockBits bits;
#ifdef QNVELTOR_SSE2
    const auto in = [](__m128i v, char low, char high) {
        // Unsigned low <= v <= high: v - low wraps around below low.
        const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(low));
        const __m128i span = _mm_set1_epi8(static_cast<char>(high - low));
        return _mm_cmpeq_epi8(_mm_min_epu8(shifted, span), shifted);
    };
    const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    const auto mask = [](__m128i hit, int i) {
        return std::uint64_t(std::uint32_t(_mm_movemask_epi8(hit))) << (16 * i);
    };
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
        const __m128i tab = is(v, TabByte);
        bits.tabs |= mask(tab, i);
        bits.control |= mask(
                _mm_or_si128(_mm_or_si128(tab, is(v, LfByte)), _mm_or_si128(is(v, CrByte), is(v, EofByte))), i);
        bits.lead |= mask(_mm_or_si128(in(v, '\x81', '\x9F'), in(v, '\xE0', '\xFC')), i);
        bits.neverValid |= mask(_mm_or_si128(is(v, '\0'), in(v, '\xFD', '\xFF')), i);
        bits.trailOnly |= mask(_mm_or_si128(is(v, '\x80'), is(v, '\xA0')), i);
        bits.neverTrail |= mask(_mm_or_si128(in(v, '\x01', '\x3F'), is(v, '\x7F')), i);
    }
#else
    for (unsigned i = 0; i < 64; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        const std::uint64_t bit = std::uint64_t(1) << i;
        if (IsControlByte(static_cast<char>(c)))
            bits.control |= bit;
        if (c == static_cast<unsigned char>(TabByte))
            bits.tabs |= bit;
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))
            bits.lead |= bit;
        if (c == 0 || c >= 0xFD)
            bits.neverValid |= bit;
        if (c == 0x80 || c == 0xA0)
            bits.trailOnly |= bit;
        if ((c >= 0x01 && c <= 0x3F) || c == 0x7F)
            bits.neverTrail |= bit;
    }
#endif
    return bits;
}

// The bytes that break Shift-JIS, one bit each. A byte that cannot start a
// double-byte character ends any character before it, so the characters
// start again after every such byte, and in a run of lead bytes that
// follows, the first, third, fifth... start characters. A run of odd length
// thus makes the byte after it a second byte; one of even length does not.
// The bits after runs of odd length are found with carries through the run,
// as JSON parsers find the characters escaped by runs of backslashes.
// `carry` is 1 when the last block ended inside a run of odd length.
inline std::uint64_t WrongBytes(const BlockBits &bits, std::uint64_t &carry)
{
    constexpr std::uint64_t even = 0x5555555555555555ull;
    const std::uint64_t runs = bits.lead;
    const std::uint64_t starts = runs & ~(runs << 1);
    const std::uint64_t evenStartMask = even ^ carry;
    const std::uint64_t evenCarries = runs + (starts & evenStartMask);
    const std::uint64_t oddStarts = starts & ~evenStartMask;
    std::uint64_t oddCarries = runs + oddStarts;
    const bool overflow = oddCarries < runs;
    oddCarries |= carry;
    carry = overflow ? 1 : 0;
    const std::uint64_t seconds = (evenCarries & ~runs & ~even) | (oddCarries & ~runs & even);
    return bits.neverValid | (bits.trailOnly & ~seconds) | (bits.neverTrail & seconds);
}

} // namespace

ReportLineSplitter::ReportLineSplitter(TakeLines take)
    : take(std::move(take)), batch(new std::string_view[BatchLines * FieldCount])
{
}

bool ReportLineSplitter::PutBytes(const char *bytes, std::size_t size)
{
    if (ended) {
        if (endMark)
            bytesAfterEnd += size;
        return false;
    }
    const char *p = bytes;
    const char *const end = bytes + size;
    if (!carry.empty()) {
        // The rest of the line that the last chunk cut.
        const char *stop = p;
        while (stop < end && *stop != LfByte && *stop != EofByte)
            ++stop;
        carry.append(p, static_cast<std::size_t>(stop - p));
        if (stop == end)
            return true;
        if (*stop == EofByte) {
            ended = endMark = true;
            bytesAfterEnd += static_cast<std::size_t>(end - stop - 1);
            return false;
        }
        SplitLine(carry.data(), carry.data() + carry.size());
        Flush();
        carry.clear();
        p = stop + 1;
    }
    ScanChunk(p, end);
    // The views point into this chunk: they go before it does.
    Flush();
    return !ended;
}

bool ReportLineSplitter::Finish()
{
    if (!finished) {
        finished = true;
        ended = true;
        // A last line without a line end counts, even one of TABs only; one
        // of CRs only is nothing, since the CRs are dropped.
        if (std::any_of(carry.begin(), carry.end(), [](char c) { return c != CrByte; }))
            SplitLine(carry.data(), carry.data() + carry.size());
        Flush();
        carry.clear();
    }
    return !overflow;
}

void ReportLineSplitter::ScanChunk(const char *begin, const char *end)
{
    const char *lineStart = begin;
    const char *fieldStart = begin;
    std::size_t field = 0;
    // A CR that is not the one before the line's LF: the line must be copied
    // without it.
    bool strayCr = false;
    // A field past the 19th is not empty.
    bool extraFilled = false;
    // The current line breaks Shift-JIS in a block before this one.
    bool lineWrong = false;
    std::uint64_t oddRun = 0;
    std::string_view *views = &batch[batchLines * FieldCount];
    for (const char *block = begin; block < end; block += 64) {
        BlockBits bits;
        const auto size = static_cast<std::size_t>(end - block);
        if (size >= 64) {
            bits = Classify(block);
        } else {
            // A space neither ends a line nor follows a lead byte: a lead
            // byte at the very end of the chunk counts as wrong, which
            // matters not, as its line is split again whole.
            char padded[64];
            std::memset(padded, ' ', sizeof padded);
            std::memcpy(padded, block, size);
            bits = Classify(padded);
            bits.control &= (std::uint64_t(1) << size) - 1;
            bits.tabs &= (std::uint64_t(1) << size) - 1;
        }
        std::uint64_t wrong = WrongBytes(bits, oddRun);
        // A TAB every few bytes, an LF every line, the rest hardly ever: the
        // TABs up to the next other control byte are taken in a row.
        std::uint64_t tabs = bits.tabs;
        std::uint64_t others = bits.control & ~bits.tabs;
        for (;;) {
            const unsigned at = others ? unsigned(std::countr_zero(others)) : 64;
            std::uint64_t before = at == 64 ? tabs : tabs & ((std::uint64_t(1) << at) - 1);
            tabs &= ~before;
            for (; before; before &= before - 1) {
                const char *const tab = block + std::countr_zero(before);
                if (field < FieldCount)
                    views[field] = std::string_view(fieldStart, static_cast<std::size_t>(tab - fieldStart));
                else if (tab > fieldStart)
                    extraFilled = true;
                ++field;
                fieldStart = tab + 1;
            }
            if (!others)
                break;
            others &= others - 1;
            const char *const q = block + at;
            const char c = *q;
            if (c == LfByte) {
                // The bits up to the LF are this line's; a lead byte just
                // before the LF (or its CR) shows on the LF or the CR.
                const std::uint64_t upToHere = (std::uint64_t(2) << at) - 1;
                const bool wellFormed = !lineWrong && !(wrong & upToHere);
                wrong &= ~upToHere;
                if (strayCr) {
                    SplitLine(lineStart, q);
                } else {
                    const char *const fieldEnd = q > fieldStart && q[-1] == CrByte ? q - 1 : q;
                    if (field < FieldCount)
                        views[field] = std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
                    else if (fieldEnd > fieldStart)
                        extraFilled = true;
                    for (std::size_t rest = field + 1; rest < FieldCount; ++rest)
                        views[rest] = {};
                    EndLine(extraFilled, wellFormed);
                }
                lineStart = fieldStart = q + 1;
                field = 0;
                strayCr = false;
                extraFilled = false;
                lineWrong = false;
                views = &batch[batchLines * FieldCount];
            } else if (c == CrByte) {
                // One at the chunk's end belongs to a line the border cuts,
                // which is split again whole.
                if (q + 1 < end && q[1] != LfByte)
                    strayCr = true;
            } else { // 0x1A: the input ends here
                carry.assign(lineStart, q);
                ended = endMark = true;
                bytesAfterEnd += static_cast<std::size_t>(end - q - 1);
                return;
            }
        }
        lineWrong = lineWrong || wrong;
    }
    carry.assign(lineStart, end);
}

void ReportLineSplitter::SplitLine(const char *begin, const char *end)
{
    // TAB is a character of its own, so checking the line as a whole tells
    // the same as checking each of its fields, dropped ones included.
    if (std::memchr(begin, CrByte, static_cast<std::size_t>(end - begin))) {
        std::unique_ptr<char[]> copy(new char[static_cast<std::size_t>(end - begin)]);
        char *out = copy.get();
        for (const char *p = begin; p < end; ++p) {
            if (*p != CrByte)
                *out++ = *p;
        }
        begin = copy.get();
        end = out;
        copies.push_back(std::move(copy));
    }
    std::string_view *const views = &batch[batchLines * FieldCount];
    std::size_t pieces = 0;
    bool extraFilled = false;
    for (const char *fieldStart = begin;;) {
        const void *tab = std::memchr(fieldStart, TabByte, static_cast<std::size_t>(end - fieldStart));
        const char *fieldEnd = tab ? static_cast<const char *>(tab) : end;
        if (pieces < FieldCount)
            views[pieces] = std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
        else if (fieldEnd > fieldStart)
            extraFilled = true;
        ++pieces;
        if (!tab)
            break;
        fieldStart = fieldEnd + 1;
    }
    for (std::size_t rest = pieces; rest < FieldCount; ++rest)
        views[rest] = {};
    EndLine(extraFilled, ShiftJis::IsWellFormed(std::string_view(begin, static_cast<std::size_t>(end - begin))));
}

void ReportLineSplitter::EndLine(bool longLine, bool wellFormed)
{
    if (lines >= maxLines) {
        overflow = true;
        return;
    }
    ++lines;
    if (longLine && !longLines++)
        firstLongLine = lines;
    if (!wellFormed && !oddLines++)
        firstOddLine = lines;
    if (++batchLines == BatchLines)
        Flush();
}

void ReportLineSplitter::Flush()
{
    if (batchLines && take)
        take(batch.get(), batchLines);
    batchLines = 0;
    copies.clear();
}
