#include "ReportSearch.h"

#include "ReportDocument.h"
#include "ShiftJis.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Which cells of each line hold the word, one bit per field. A cell's
// bytes are found by walking its line's block from the first field, so
// probing down a column would walk up to 19 fields of a different line at
// every step, and touch a million lines 19 times. Instead a band of lines
// is tested line by line, all fields at once, the first time a probe
// reaches it; the probes themselves then only read bits, and a hit close
// to the start costs no more than its band.
class CellHits
{
public:
    CellHits(const ReportDocument &document, std::string_view word, int lines)
        : document(document), word(word), masks(std::size_t(lines)),
          bandDone(std::size_t(lines) / BandLines + 1), bandsLeft(bandDone.size())
    {
    }

    bool Matches(int line, int field) { return (Mask(line) >> field) & 1u; }
    // No cell of the line holds the word.
    bool LineEmpty(int line) { return !Mask(line); }
    // No line holds the word in this field; false while that is not known.
    bool FieldEmpty(int field) const { return bandsLeft == 0 && !((fieldsWithHits >> field) & 1u); }

private:
    static constexpr std::size_t BandLines = 4096;

    std::uint32_t Mask(int line)
    {
        const std::size_t band = std::size_t(line) / BandLines;
        if (!bandDone[band]) {
            FillBand(band);
            bandDone[band] = true;
            --bandsLeft;
        }
        return masks[std::size_t(line)];
    }

    void FillBand(std::size_t band)
    {
        const std::size_t end = std::min(masks.size(), (band + 1) * BandLines);
        for (std::size_t line = band * BandLines; line < end; ++line) {
            const ReportRow &row = document.Line(int(line));
            std::uint32_t mask = 0;
            // Nearly every line lacks the word: one look through its whole
            // block tells, where 19 looks would each cost a call.
            if (!row.IsEmpty() && row.Bytes().find(word) != std::string_view::npos) {
                std::string_view cells[ReportRow::CellCount];
                row.Cells(cells);
                for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
                    if (ReportSearch::OccursOnBoundary(cells[field], word))
                        mask |= 1u << field;
                }
            }
            masks[line] = mask;
            fieldsWithHits |= mask;
        }
    }

    const ReportDocument &document;
    std::string_view word;
    std::vector<std::uint32_t> masks;
    std::vector<bool> bandDone;
    std::size_t bandsLeft;
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
    CellHits hits(document, word, Lines());
    const bool horizontal = direction == Left || direction == Right;
    const bool backward = direction == Left || direction == Up;
    const int startLine = line;
    const int startField = field;
    int y = line;
    int x = field;
    for (;;) {
        Step(direction, y, x);
        if (hits.Matches(y, x)) {
            line = y;
            field = x;
            return true;
        }
        if (y == startLine && x == startField)
            return false;
        // The rest of a line (left, right) or of a field (up, down) that
        // cannot hold the word is passed over at once; not the start's,
        // since the cycle ends on the start cell.
        if (horizontal) {
            if (y != startLine && hits.LineEmpty(y))
                x = backward ? 0 : int(ReportRow::CellCount) - 1;
        } else if (x != startField && hits.FieldEmpty(x)) {
            y = backward ? 0 : Lines() - 1;
        }
    }
}
