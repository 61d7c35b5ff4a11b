#include "ReportSearch.h"

#include "ReportDocument.h"
#include "ShiftJis.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QNVELTOR_SSE2 1
#endif

namespace {

// Whether `word` occurs anywhere in `bytes`, as std::string_view::find
// would tell: the first and the last byte of the word are compared at 16
// places at once, and only where both match the bytes between. Nearly every
// line lacks the word, and most of its bytes are passed over this way.
bool Contains(std::string_view bytes, std::string_view word)
{
    const std::size_t length = word.size();
    if (length == 0)
        return true;
    if (bytes.size() < length)
        return false;
    const char *p = bytes.data();
    const char *const end = bytes.data() + bytes.size();
#ifdef QNVELTOR_SSE2
    const __m128i first = _mm_set1_epi8(word.front());
    const __m128i last = _mm_set1_epi8(word.back());
    // Whole loads only: both stay within the bytes.
    for (; std::size_t(end - p) >= 16 + length - 1; p += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + length - 1));
        const __m128i both16 = _mm_and_si128(_mm_cmpeq_epi8(head, first), _mm_cmpeq_epi8(tail, last));
        unsigned both = unsigned(_mm_movemask_epi8(both16));
        for (; both; both &= both - 1) {
            const unsigned at = unsigned(std::countr_zero(both));
            if (length < 3 || std::memcmp(p + at + 1, word.data() + 1, length - 2) == 0)
                return true;
        }
    }
#endif
    return std::string_view(p, std::size_t(end - p)).find(word) != std::string_view::npos;
}

// Which cells of each line hold the word, one bit per field. A cell's
// bytes are found by walking its line's block from the first field, so
// probing down a column would walk up to 19 fields of a different line at
// every step, and touch a million lines 19 times. Instead bands of lines are
// tested line by line, all fields at once, the first time a probe reaches
// them; the probes themselves then only read bits. Each fill takes more
// bands than the last in the direction the search goes, so that a hit
// close to the start costs little and a search through every line is done
// in a few large fills, split between two cores.
class CellHits
{
public:
    CellHits(const ReportDocument &document, std::string_view word, int lines, bool backward)
        : document(document), word(word), masks(std::size_t(lines)), bandDone(std::size_t(lines) / BandLines + 1),
          bandsLeft(bandDone.size()), backward(backward)
    {
    }

    bool Matches(int line, int field) { return (Mask(line) >> field) & 1u; }
    // No cell of the line holds the word.
    bool LineEmpty(int line) { return !Mask(line); }
    // No line holds the word in this field; false while that is not known.
    bool FieldEmpty(int field) const { return bandsLeft == 0 && !((fieldsWithHits >> field) & 1u); }

    // The next line after `line` in the search's direction, wrapping at the
    // ends, that holds the word or is `stop`.
    int NextLine(int line, int stop)
    {
        const int count = int(masks.size());
        for (int y = line;;) {
            y = backward ? (y == 0 ? count - 1 : y - 1) : (y == count - 1 ? 0 : y + 1);
            if (y == stop || Mask(y))
                return y;
        }
    }

    // The first line after `line` in the search's direction, up to `edge`
    // and with it, that holds the word in `field` or is `stop` (-1: none);
    // `edge` when none is.
    int NextInField(int line, int field, int edge, int stop)
    {
        const std::uint32_t bit = std::uint32_t(1) << field;
        for (int y = line; y != edge;) {
            y += backward ? -1 : 1;
            if (y == stop || (Mask(y) & bit))
                return y;
        }
        return edge;
    }

private:
    static constexpr std::size_t BandLines = 4096;
    // A fill of more lines than this is split between two threads.
    static constexpr std::size_t SplitLines = 16 * BandLines;

    std::uint32_t Mask(int line)
    {
        const std::size_t band = std::size_t(line) / BandLines;
        if (!bandDone[band])
            Fill(band);
        return masks[std::size_t(line)];
    }

    // Fills `band` and the bands after it in the search's direction, up to
    // the next one done, twice as many as the last fill.
    void Fill(std::size_t band)
    {
        std::size_t first = band;
        std::size_t last = band; // inclusive
        for (std::size_t more = step - 1; more > 0; --more) {
            if (backward ? first == 0 || bandDone[first - 1] : last + 1 == bandDone.size() || bandDone[last + 1])
                break;
            backward ? --first : ++last;
        }
        step *= 2;
        const std::size_t begin = first * BandLines;
        const std::size_t end = std::min(masks.size(), (last + 1) * BandLines);
        std::uint32_t fields = 0;
        if (end - begin > SplitLines) {
            const std::size_t middle = begin + (end - begin) / 2;
            std::uint32_t otherFields = 0;
            std::optional<std::thread> other;
            try {
                other.emplace([this, middle, end, &otherFields] { FillLines(middle, end, otherFields); });
            } catch (const std::system_error &) {
                FillLines(middle, end, otherFields); // no thread to be had
            }
            FillLines(begin, middle, fields);
            if (other)
                other->join();
            fields |= otherFields;
        } else {
            FillLines(begin, end, fields);
        }
        fieldsWithHits |= fields;
        for (std::size_t b = first; b <= last; ++b)
            bandDone[b] = true;
        bandsLeft -= last - first + 1;
    }

    // Runs on two threads at once, each on lines of its own: it reads the
    // report and writes only the masks of its lines.
    void FillLines(std::size_t begin, std::size_t end, std::uint32_t &fields)
    {
        for (std::size_t line = begin; line < end; ++line) {
            const ReportRow &row = document.Line(int(line));
            std::uint32_t mask = 0;
            // Nearly every line lacks the word: one look through its whole
            // block tells, where 19 looks would each cost a call.
            if (!row.IsEmpty() && Contains(row.Bytes(), word)) {
                std::string_view cells[ReportRow::CellCount];
                row.Cells(cells);
                for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
                    if (ReportSearch::OccursOnBoundary(cells[field], word))
                        mask |= 1u << field;
                }
            }
            masks[line] = mask;
            fields |= mask;
        }
    }

    const ReportDocument &document;
    std::string_view word;
    std::vector<std::uint32_t> masks;
    std::vector<bool> bandDone; // written by the calling thread only
    std::size_t bandsLeft;
    bool backward;
    std::size_t step = 1; // bands in the next fill
    std::uint32_t fieldsWithHits = 0;
};

} // namespace

int ReportSearch::Lines() const
{
    return document.LineCount() + 1;
}

bool ReportSearch::StepLeft(int &field) const
{
    if (field > 0) {
        --field;
        return false;
    }
    field = int(ReportRow::CellCount) - 1;
    return true;
}

bool ReportSearch::StepRight(int &field) const
{
    if (field < int(ReportRow::CellCount) - 1) {
        ++field;
        return false;
    }
    field = 0;
    return true;
}

bool ReportSearch::StepUp(int &line) const
{
    if (line > 0) {
        --line;
        return false;
    }
    line = Lines() - 1;
    return true;
}

bool ReportSearch::StepDown(int &line) const
{
    if (line < Lines() - 1) {
        ++line;
        return false;
    }
    line = 0;
    return true;
}

void ReportSearch::Step(Direction direction, int &line, int &field) const
{
    switch (direction) {
    case Left:
        if (StepLeft(field))
            StepUp(line);
        break;
    case Right:
        if (StepRight(field))
            StepDown(line);
        break;
    case Up:
        if (StepUp(line))
            StepLeft(field);
        break;
    case Down:
        if (StepDown(line))
            StepRight(field);
        break;
    }
}

bool ReportSearch::OccursOnBoundary(std::string_view cell, std::string_view word)
{
    // Byte equality is all a locale comparison could confirm, so a byte
    // search suffices. The boundaries are only walked up to each candidate
    // the byte search finds, which keeps the test linear in the cell's
    // length; a candidate that starts on a trail byte is skipped by resuming
    // at the end of its character.
    if (word.empty() || cell.size() < word.size())
        return false;
    std::size_t boundary = 0;
    for (std::size_t pos = cell.find(word); pos != std::string_view::npos; pos = cell.find(word, boundary)) {
        while (boundary < pos)
            boundary += ShiftJis::IsLeadByte(static_cast<unsigned char>(cell[boundary])) ? 2 : 1;
        if (boundary == pos)
            return true;
    }
    return false;
}

bool ReportSearch::CellMatches(int line, int field, std::string_view word) const
{
    return OccursOnBoundary(document.Cell(line, field), word);
}

bool ReportSearch::Find(std::string_view word, Direction direction, int &line, int &field) const
{
    // An empty word matches nowhere: the full cycle would end where it
    // started without a hit, so it is not run.
    if (word.empty() || line < 0 || line >= Lines() || field < 0 || field >= int(ReportRow::CellCount))
        return false;
    const bool horizontal = direction == Left || direction == Right;
    const bool backward = direction == Left || direction == Up;
    CellHits hits(document, word, Lines(), backward);
    const int startLine = line;
    const int startField = field;
    const int edge = backward ? 0 : Lines() - 1; // of a field, up or down
    int y = line;
    int x = field;
    Step(direction, y, x);
    for (;;) {
        if (hits.Matches(y, x)) {
            line = y;
            field = x;
            return true;
        }
        if (y == startLine && x == startField)
            return false;
        // The lines (left, right) or the cells of a field (up, down) that
        // cannot hold the word are passed over at once, up to the start
        // cell, where the cycle ends.
        if (horizontal) {
            if (y != startLine && hits.LineEmpty(y)) {
                y = hits.NextLine(y, startLine);
                x = backward ? int(ReportRow::CellCount) - 1 : 0;
                continue;
            }
        } else if (y != edge) {
            y = x != startField && hits.FieldEmpty(x) ? edge
                                                       : hits.NextInField(y, x, edge, x == startField ? startLine : -1);
            continue;
        }
        Step(direction, y, x);
    }
}
