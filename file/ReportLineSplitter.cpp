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

constexpr char TabByte = '\t';
constexpr char LfByte = '\n';
constexpr char CrByte = '\r';
constexpr char EofByte = '\x1A';

// Lines handed over at once: the callback's cost is spread over many lines,
// while the views stay within a few hundred kilobytes.
constexpr std::size_t BatchLines = 4096;

constexpr bool IsControlByte(char c)
{
    return c == TabByte || c == LfByte || c == CrByte || c == EofByte;
}

// Bit i is set where p[i] is TAB, LF, CR or 0x1A; n is at most 64. A report
// has a TAB every few bytes, so the bytes are classified 64 at a time and
// only the control bytes are visited, not every byte.
inline std::uint64_t ControlMask(const char *p, std::size_t n)
{
#ifdef QNVELTOR_SSE2
    if (n == 64) {
        const __m128i tab = _mm_set1_epi8(TabByte);
        const __m128i lf = _mm_set1_epi8(LfByte);
        const __m128i cr = _mm_set1_epi8(CrByte);
        const __m128i eof = _mm_set1_epi8(EofByte);
        std::uint64_t mask = 0;
        for (int i = 0; i < 4; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
            const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, eof)));
            mask |= std::uint64_t(std::uint32_t(_mm_movemask_epi8(hit))) << (16 * i);
        }
        return mask;
    }
#endif
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (IsControlByte(p[i]))
            mask |= std::uint64_t(1) << i;
    }
    return mask;
}

} // namespace

ReportLineSplitter::ReportLineSplitter(TakeLines take) : take(std::move(take))
{
    batch.reserve(BatchLines * FieldCount + FieldCount);
}

bool ReportLineSplitter::PutBytes(const char *bytes, std::size_t size)
{
    if (ended)
        return false;
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
            ended = true;
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
    std::size_t base = batch.size();
    batch.resize(base + FieldCount);
    for (const char *block = begin; block < end; block += 64) {
        std::uint64_t mask = ControlMask(block, std::min<std::size_t>(64, static_cast<std::size_t>(end - block)));
        while (mask) {
            const char *const q = block + std::countr_zero(mask);
            mask &= mask - 1;
            switch (*q) {
            case TabByte:
                if (field < FieldCount)
                    batch[base + field] = std::string_view(fieldStart, static_cast<std::size_t>(q - fieldStart));
                ++field;
                fieldStart = q + 1;
                break;
            case CrByte:
                // One at the chunk's end belongs to a line the border cuts,
                // which is split again whole.
                if (q + 1 < end && q[1] != LfByte)
                    strayCr = true;
                break;
            case LfByte:
                if (strayCr) {
                    batch.resize(base);
                    SplitLine(lineStart, q);
                } else {
                    const char *const fieldEnd = q > fieldStart && q[-1] == CrByte ? q - 1 : q;
                    if (field < FieldCount)
                        batch[base + field] =
                                std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
                    EndLine(std::string_view(lineStart, static_cast<std::size_t>(fieldEnd - lineStart)), field + 1);
                }
                lineStart = fieldStart = q + 1;
                field = 0;
                strayCr = false;
                base = batch.size();
                batch.resize(base + FieldCount);
                break;
            default: // 0x1A: the input ends here
                batch.resize(base);
                carry.assign(lineStart, q);
                ended = true;
                return;
            }
        }
    }
    batch.resize(base);
    carry.assign(lineStart, end);
}

void ReportLineSplitter::SplitLine(const char *begin, const char *end)
{
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
    const std::size_t base = batch.size();
    batch.resize(base + FieldCount);
    std::size_t pieces = 0;
    for (const char *fieldStart = begin;;) {
        const void *tab = std::memchr(fieldStart, TabByte, static_cast<std::size_t>(end - fieldStart));
        const char *fieldEnd = tab ? static_cast<const char *>(tab) : end;
        if (pieces < FieldCount)
            batch[base + pieces] = std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
        ++pieces;
        if (!tab)
            break;
        fieldStart = fieldEnd + 1;
    }
    EndLine(std::string_view(begin, static_cast<std::size_t>(end - begin)), pieces);
}

void ReportLineSplitter::EndLine(std::string_view line, std::size_t pieces)
{
    if (lines >= maxLines) {
        overflow = true;
        batch.resize(batch.size() - FieldCount);
        return;
    }
    ++lines;
    if (pieces > FieldCount && !longLines++)
        firstLongLine = lines;
    // TAB is a character of its own, so checking the line as a whole tells
    // the same as checking each of its fields, dropped ones included.
    if (!ShiftJis::IsWellFormed(line) && !oddLines++)
        firstOddLine = lines;
    if (batch.size() >= BatchLines * FieldCount)
        Flush();
}

void ReportLineSplitter::Flush()
{
    if (!batch.empty() && take)
        take(batch.data(), batch.size() / FieldCount);
    batch.clear();
    copies.clear();
}
