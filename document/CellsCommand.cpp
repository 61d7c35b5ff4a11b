#include "CellsCommand.h"

#include "StepProgress.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace {

// What Apply did to a line, for putting it back.
enum class Done : std::uint8_t {
    Overwritten, // the cells written over where they stood
    SwappedKept, // the step's kept row went in, and holds the report's now
    Replaced, // a new row went in; the old one is in the step's new rows
    ReplacedOwned, // a new row went in; the old one waits to be freed
};

} // namespace

CellsCommand::CellsCommand(ReportEdits &edits, const QString &text, PackedCells cells, int linesBefore,
                           int linesAdded)
    : ReportStep(edits, text), cells(std::move(cells)), linesBefore(linesBefore), linesAdded(linesAdded)
{
    PackedCells::Reader reader(this->cells);
    if (reader.NextLine()) {
        firstLine = reader.Line();
        firstField = reader.Fields() ? std::countr_zero(reader.Fields()) : 0;
    }
}

std::uint64_t CellsCommand::Footprint() const
{
    return cells.ByteSize() + rows.size() * sizeof(ReportRow) + sizeof(*this);
}

void CellsCommand::Apply()
{
    // Memory may run out part way, and the user may stop the step: it must
    // then be as if never taken. Putting the lines back needs no memory:
    // rows replaced are kept until the step is whole, and cells written
    // over where they stood are written back from what the step packed.
    StepProgress progress(edits.Progress());
    const std::size_t count = cells.LineCount();
    PackedCells out;
    std::vector<ReportRow> outRows;
    std::vector<ReportRow> owned; // replaced rows of the report's own, freed at the end
    std::vector<Done> how;
    std::vector<std::pair<int, std::uint32_t>> places; // line and fields, in order
    std::size_t applied = 0;
    std::size_t validating = 0; // fields whose verdicts may have changed
    std::size_t keptUsed = 0;
    try {
        out.Reserve(cells.ByteSize() + count);
        how.reserve(count);
        places.reserve(count);
        PackedCells::Reader reader(cells);
        // A few lines ahead, their rows asked for in time: the report's,
        // and the step's kept row that goes in.
        PackedCells::Reader ahead(cells);
        std::size_t keptAhead = 0;
        const auto fetchNext = [&] {
            if (!ahead.NextLine())
                return;
            ahead.SkipCells();
            if (ahead.Kept() && keptAhead < rows.size())
                rows[keptAhead++].Prefetch();
            if (ahead.Line() < edits.LineCount())
                edits.Line(ahead.Line()).Prefetch();
        };
        for (int i = 0; i < ReportRow::PrefetchAhead; ++i)
            fetchNext();
        std::string_view now[ReportRow::CellCount];
        std::string_view next[ReportRow::CellCount];
        while (reader.NextLine()) {
            fetchNext();
            const int line = reader.Line();
            const std::uint32_t fields = reader.Fields();
            places.emplace_back(line, fields);
            const ReportRow &row = edits.Line(line);
            row.Cells(now);
            if (reader.Kept()) {
                // The row the line had before: what it holds now is packed,
                // and freed once the step is whole.
                out.AddLine(line, fields);
                for (std::uint32_t rest = fields; rest; rest &= rest - 1)
                    out.AddCell(now[std::countr_zero(rest)]);
                how.push_back(Done::SwappedKept);
                edits.SwapRow(line, rows[keptUsed++]);
            } else {
                reader.Cells(next);
                bool sameLengths = !row.IsEmpty();
                for (std::uint32_t rest = fields; rest && sameLengths; rest &= rest - 1) {
                    const int field = std::countr_zero(rest);
                    sameLengths = next[field].size() == now[field].size() && !now[field].empty();
                }
                if (sameLengths) {
                    out.AddLine(line, fields);
                    for (std::uint32_t rest = fields; rest; rest &= rest - 1)
                        out.AddCell(now[std::countr_zero(rest)]);
                    how.push_back(Done::Overwritten);
                    edits.OverwriteCells(line, fields, next);
                } else {
                    for (std::uint32_t rest = fields; rest; rest &= rest - 1) {
                        const int field = std::countr_zero(rest);
                        now[field] = next[field];
                    }
                    ReportRow fresh = ReportRow::FromCells(now);
                    // Read again: `now` pointed into the new texts.
                    row.Cells(now);
                    const bool ownBlock = row.OwnsBlock();
                    out.AddLine(line, fields, !ownBlock);
                    if (ownBlock) {
                        for (std::uint32_t rest = fields; rest; rest &= rest - 1)
                            out.AddCell(now[std::countr_zero(rest)]);
                    }
                    std::vector<ReportRow> &old = ownBlock ? owned : outRows;
                    old.emplace_back();
                    how.push_back(ownBlock ? Done::ReplacedOwned : Done::Replaced);
                    edits.SwapRow(line, fresh);
                    std::swap(old.back(), fresh);
                }
            }
            ++applied;
            // Checked while the line is still in the cache. Counted first:
            // a line whose verdicts ran out of memory part way has its
            // every field checked again on the way back.
            validating += std::size_t(std::popcount(fields));
            edits.ValidateFields(line, fields);
            progress.Line(applied - 1, count);
        }
    } catch (...) {
        // Each line is changed once: the order does not matter.
        PackedCells::Reader back(out);
        std::size_t kept = 0;
        std::size_t replaced = 0;
        std::size_t ownedAt = 0;
        std::string_view before[ReportRow::CellCount];
        for (std::size_t i = 0; i < applied && back.NextLine(); ++i) {
            const int line = back.Line();
            switch (how[i]) {
            case Done::Overwritten:
                back.Cells(before);
                edits.OverwriteCells(line, back.Fields(), before);
                break;
            case Done::SwappedKept:
                back.SkipCells();
                edits.SwapRow(line, rows[kept++]);
                break;
            case Done::Replaced:
                edits.SwapRow(line, outRows[replaced++]);
                break;
            case Done::ReplacedOwned:
                back.SkipCells();
                edits.SwapRow(line, owned[ownedAt++]);
                break;
            }
        }
        // In the reverse order they were set: every state on the way back
        // is one the verdicts had, and needs no more room than they took.
        std::size_t field = 0;
        for (const auto &place : places)
            field += std::size_t(std::popcount(place.second));
        for (auto place = places.rbegin(); place != places.rend() && validating > 0; ++place) {
            for (int f = int(ReportRow::CellCount) - 1; f >= 0; --f) {
                if ((place->second & (1u << f)) && field-- <= validating)
                    edits.Validate(place->first, f);
            }
        }
        throw;
    }
    // Whole: what the report held is what the step keeps from now on.
    cells = std::move(out);
    rows = std::move(outRows);
    owned.clear();
    // The views hear of runs of lines at once.
    for (std::size_t i = 0; i < count;) {
        std::size_t last = i;
        while (last + 1 < count && places[last + 1].first == places[last].first + 1)
            ++last;
        edits.CellsChanged(places[i].first, places[last].first);
        i = last + 1;
    }
}

void CellsCommand::redo()
{
    // Typing into the new-line position has already added its line.
    const int missing = linesBefore + linesAdded - edits.LineCount();
    if (missing > 0)
        edits.AppendLines(missing);
    try {
        Apply();
    } catch (...) {
        if (missing > 0)
            edits.RemoveLastLines(missing);
        throw;
    }
    if (!cells.Empty())
        Show(firstLine, firstField);
    done = true;
}

void CellsCommand::undo()
{
    Apply();
    const int surplus = edits.LineCount() - linesBefore;
    if (linesAdded > 0 && surplus > 0)
        edits.RemoveLastLines(surplus);
    if (!cells.Empty())
        Show(firstLine, firstField);
}
