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

void Tally(std::uint64_t &count, std::uint64_t &first, std::uint64_t line)
{
    if (!count++)
        first = line;
}

// The first LF or 0x1A, or `end`.
const char *FindLineEnd(const char *p, const char *end)
{
    const void *lf = std::memchr(p, LfByte, static_cast<std::size_t>(end - p));
    const char *stop = lf ? static_cast<const char *>(lf) : end;
    const void *mark = std::memchr(p, EofByte, static_cast<std::size_t>(stop - p));
    return mark ? static_cast<const char *>(mark) : stop;
}

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

void LineFacts::Append(const LineFacts &later)
{
    const std::uint64_t before = lines;
    const auto join = [before](std::uint64_t &count, std::uint64_t &first, std::uint64_t laterCount,
                               std::uint64_t laterFirst) {
        if (laterCount && !count)
            first = before + laterFirst;
        count += laterCount;
    };
    join(longLines, firstLongLine, later.longLines, later.firstLongLine);
    join(emptyExtraLines, firstEmptyExtraLine, later.emptyExtraLines, later.firstEmptyExtraLine);
    join(shortLines, firstShortLine, later.shortLines, later.firstShortLine);
    join(blankLines, firstBlankLine, later.blankLines, later.firstBlankLine);
    join(lfOnlyLines, firstLfOnlyLine, later.lfOnlyLines, later.firstLfOnlyLine);
    join(loneCrLines, firstLoneCrLine, later.loneCrLines, later.firstLoneCrLine);
    join(oddLines, firstOddLine, later.oddLines, later.firstOddLine);
    if (later.unendedLastLine)
        unendedLastLine = before + later.unendedLastLine;
    else if (later.lines)
        unendedLastLine = 0;
    eofMark = eofMark || later.eofMark;
    lines += later.lines;
}

// A line too long to be kept whole: what is known of it so far.
struct ReportLineSplitter::StreamedLine
{
    explicit StreamedLine(std::size_t limit) : limit(limit) {}

    // Bytes of the field being read, none a TAB or CR.
    void Keep(const char *bytes, std::size_t size)
    {
        if (field >= FieldCount) {
            extraFilled = true;
            return;
        }
        std::string &cell = kept[field];
        if (cell.size() < limit)
            cell.append(bytes, std::min(size, limit - cell.size()));
    }

    std::size_t limit;
    std::string kept[FieldCount]; // the first `limit` bytes of each field
    std::size_t field = 0; // the field being read, also past the 19th
    bool extraFilled = false;
    bool blank = true;
    bool loneCr = false;
    bool pendingCr = false; // the last byte was a CR: alone unless the LF follows
    bool lead = false; // the last byte, CRs aside, began a double-byte character
    bool wrong = false; // not Shift-JIS
};

ReportLineSplitter::ReportLineSplitter(TakeLines take)
    : take(std::move(take)), batch(new std::string_view[BatchLines * FieldCount])
{
}

ReportLineSplitter::~ReportLineSplitter() = default;

bool ReportLineSplitter::PutBytes(const char *bytes, std::size_t size)
{
    if (ended) {
        if (facts.eofMark)
            bytesAfterEnd += size;
        return false;
    }
    const char *p = bytes;
    const char *const end = bytes + size;
    if (streamed || !carry.empty()) {
        // The rest of the line that the last chunk cut.
        const char *const stop = FindLineEnd(p, end);
        if (!streamed && cellLimit && carry.size() + static_cast<std::size_t>(stop - p) > streamAfter) {
            streamed = std::make_unique<StreamedLine>(cellLimit);
            StreamBytes(carry.data(), carry.data() + carry.size());
            carry = std::string();
        }
        if (streamed)
            StreamBytes(p, stop);
        else
            carry.append(p, static_cast<std::size_t>(stop - p));
        if (stop == end)
            return true;
        if (*stop == EofByte) {
            // Finish() ends the line.
            ended = facts.eofMark = true;
            bytesAfterEnd += static_cast<std::size_t>(end - stop - 1);
            return false;
        }
        if (streamed)
            EndStreamedLine(true);
        else
            SplitLine(carry.data(), carry.data() + carry.size(), true);
        Flush();
        carry.clear();
        streamed.reset();
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
        if (streamed)
            EndStreamedLine(false);
        else if (std::any_of(carry.begin(), carry.end(), [](char c) { return c != CrByte; }))
            SplitLine(carry.data(), carry.data() + carry.size(), false);
        else if (!carry.empty())
            EndWithCrs();
        Flush();
        carry.clear();
        streamed.reset();
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
                    SplitLine(lineStart, q, true);
                } else {
                    const bool crLf = q > lineStart && q[-1] == CrByte;
                    const char *const fieldEnd = crLf ? q - 1 : q;
                    if (field < FieldCount)
                        views[field] = std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
                    else if (fieldEnd > fieldStart)
                        extraFilled = true;
                    for (std::size_t rest = field + 1; rest < FieldCount; ++rest)
                        views[rest] = {};
                    Shape shape;
                    shape.pieces = field + 1;
                    shape.extraFilled = extraFilled;
                    shape.wellFormed = wellFormed;
                    shape.blank = field == 0 && fieldEnd == fieldStart;
                    shape.ending = crLf ? Ending::CrLf : Ending::Lf;
                    EndLine(shape);
                }
                lineStart = fieldStart = q + 1;
                field = 0;
                strayCr = false;
                extraFilled = false;
                lineWrong = false;
                views = &batch[batchLines * FieldCount];
            } else if (c == CrByte) {
                // One at the chunk's end belongs to a line the border cuts,
                // which is split again whole. Only here is a CR alone found,
                // so a file of CR LF lines pays nothing for looking.
                if (q + 1 < end && q[1] != LfByte)
                    strayCr = true;
            } else { // 0x1A: the input ends here
                carry.assign(lineStart, q);
                ended = facts.eofMark = true;
                bytesAfterEnd += static_cast<std::size_t>(end - q - 1);
                return;
            }
        }
        lineWrong = lineWrong || wrong;
    }
    carry.assign(lineStart, end);
}

void ReportLineSplitter::SplitLine(const char *begin, const char *end, bool lineEnd)
{
    Shape shape;
    shape.ending = !lineEnd ? Ending::None : end > begin && end[-1] == CrByte ? Ending::CrLf : Ending::Lf;
    // TAB is a character of its own, so checking the line as a whole tells
    // the same as checking each of its fields, dropped ones included.
    if (std::memchr(begin, CrByte, static_cast<std::size_t>(end - begin))) {
        // Every CR is alone but the one of CR LF.
        const char *const checked = shape.ending == Ending::CrLf ? end - 1 : end;
        shape.loneCr = std::memchr(begin, CrByte, static_cast<std::size_t>(checked - begin)) != nullptr;
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
    for (const char *fieldStart = begin;;) {
        const void *tab = std::memchr(fieldStart, TabByte, static_cast<std::size_t>(end - fieldStart));
        const char *fieldEnd = tab ? static_cast<const char *>(tab) : end;
        if (pieces < FieldCount)
            views[pieces] = std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
        else if (fieldEnd > fieldStart)
            shape.extraFilled = true;
        ++pieces;
        if (!tab)
            break;
        fieldStart = fieldEnd + 1;
    }
    for (std::size_t rest = pieces; rest < FieldCount; ++rest)
        views[rest] = {};
    shape.pieces = pieces;
    shape.blank = begin == end;
    shape.wellFormed = ShiftJis::IsWellFormed(std::string_view(begin, static_cast<std::size_t>(end - begin)));
    EndLine(shape);
}

void ReportLineSplitter::EndWithCrs()
{
    Tally(facts.loneCrLines, facts.firstLoneCrLine, facts.lines + 1);
}

void ReportLineSplitter::StreamBytes(const char *p, const char *end)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    StreamedLine &line = *streamed;
    while (p < end) {
        // Plain ASCII without a control byte, the bulk of a long line, goes
        // eight bytes at a time.
        if (!line.pendingCr && !line.lead && end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & highs) == 0 && ((word - ones * 0x20) & ~word & highs) == 0) {
                line.blank = false;
                line.Keep(p, 8);
                p += 8;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(*p);
        if (c == static_cast<unsigned char>(CrByte)) {
            line.loneCr = line.loneCr || line.pendingCr;
            line.pendingCr = true;
            ++p;
            continue;
        }
        line.loneCr = line.loneCr || line.pendingCr;
        line.pendingCr = false;
        line.blank = false;
        if (c == static_cast<unsigned char>(TabByte)) {
            // No character ends with a TAB.
            line.wrong = line.wrong || line.lead;
            line.lead = false;
            ++line.field;
        } else {
            if (line.lead) {
                line.wrong = line.wrong || !ShiftJis::IsTrailByte(c);
                line.lead = false;
            } else if (ShiftJis::IsLeadByte(c)) {
                line.lead = true;
            } else if (c == 0 || c == 0x80 || c == 0xA0 || c >= 0xFD) {
                line.wrong = true;
            }
            line.Keep(p, 1);
        }
        ++p;
    }
}

void ReportLineSplitter::EndStreamedLine(bool lineEnd)
{
    StreamedLine &line = *streamed;
    if (!lineEnd && line.blank) {
        EndWithCrs();
        return;
    }
    Shape shape;
    shape.pieces = line.field + 1;
    shape.extraFilled = line.extraFilled;
    shape.wellFormed = !line.wrong && !line.lead;
    shape.blank = line.blank;
    // The CR before the LF is the line end's; one before a 0x1A or the end
    // of the file is alone.
    shape.loneCr = line.loneCr || (line.pendingCr && !lineEnd);
    shape.ending = !lineEnd ? Ending::None : line.pendingCr ? Ending::CrLf : Ending::Lf;
    std::string_view *const views = &batch[batchLines * FieldCount];
    for (std::size_t field = 0; field < FieldCount; ++field)
        views[field] = line.kept[field];
    EndLine(shape);
}

void ReportLineSplitter::EndLine(const Shape &shape)
{
    if (facts.lines >= maxLines) {
        overflow = true;
        return;
    }
    const std::uint64_t line = ++facts.lines;
    if (shape.extraFilled)
        Tally(facts.longLines, facts.firstLongLine, line);
    else if (shape.pieces > FieldCount)
        Tally(facts.emptyExtraLines, facts.firstEmptyExtraLine, line);
    if (shape.blank)
        Tally(facts.blankLines, facts.firstBlankLine, line);
    else if (shape.pieces < FieldCount)
        Tally(facts.shortLines, facts.firstShortLine, line);
    if (!shape.wellFormed)
        Tally(facts.oddLines, facts.firstOddLine, line);
    if (shape.loneCr)
        Tally(facts.loneCrLines, facts.firstLoneCrLine, line);
    if (shape.ending == Ending::Lf)
        Tally(facts.lfOnlyLines, facts.firstLfOnlyLine, line);
    facts.unendedLastLine = shape.ending == Ending::None ? line : 0;
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
