#include "CellsCommand.h"

#include <bit>

namespace {

int firstField(std::uint32_t fields)
{
    return fields ? std::countr_zero(fields) : 0;
}

// Whether the row holds nothing outside the fields of the mask.
bool holdsOnly(const ReportRow &row, std::uint32_t fields)
{
    if (row.IsEmpty())
        return true;
    std::string_view cells[ReportRow::CellCount];
    row.Cells(cells);
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (!(fields & (1u << field)) && !cells[field].empty())
            return false;
    }
    return true;
}

// The fields of the mask of `row`, the others empty: the row itself when it
// holds nothing else, which needs no memory.
ReportRow masked(ReportRow &&row, std::uint32_t fields)
{
    if (holdsOnly(row, fields))
        return std::move(row);
    std::string_view cells[ReportRow::CellCount];
    row.Cells(cells);
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (!(fields & (1u << field)))
            cells[field] = {};
    }
    return ReportRow::FromCells(cells);
}

} // namespace

CellsCommand::LineChange CellsCommand::MakeLine(int line, std::uint32_t fields,
                                                const std::string_view (&after)[ReportRow::CellCount])
{
    std::string_view kept[ReportRow::CellCount];
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field))
            kept[field] = after[field];
    }
    return {line, fields, ReportRow::FromCells(kept)};
}

CellsCommand::CellsCommand(ReportEdits &edits, const QString &text, std::vector<LineChange> lines, int linesBefore,
                           int linesAdded)
    : ReportStep(edits, text), lines(std::move(lines)), linesBefore(linesBefore), linesAdded(linesAdded)
{
}

void CellsCommand::Apply()
{
    // Memory may run out part way, and the step must then be as if never
    // taken. Putting the lines back must not need the memory that has just
    // run out: the rows replaced are kept until the step is whole. A line
    // holding nothing but the changed fields (one just appended, say)
    // simply swaps rows with the step, which needs no memory either way.
    const std::size_t count = lines.size();
    std::vector<ReportRow> replaced(count);
    std::vector<bool> swapped(count);
    std::vector<ReportRow> kept;
    std::size_t applied = 0;
    std::size_t validating = 0; // fields whose verdicts may have changed
    try {
        for (; applied < count; ++applied) {
            LineChange &line = lines[applied];
            if (holdsOnly(edits.Line(line.line), line.fields)) {
                edits.SwapRow(line.line, line.cells);
                swapped[applied] = true;
            } else {
                replaced[applied] = edits.ReplaceCells(line.line, line.fields, line.cells);
            }
        }
        for (const LineChange &line : lines) {
            // Counted first: a line whose verdicts ran out of memory part
            // way has its every field checked again on the way back.
            validating += std::size_t(std::popcount(line.fields));
            edits.ValidateFields(line.line, line.fields);
        }
        // What the replaced rows held in the changed fields is what the
        // step keeps from now on.
        kept.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            kept.push_back(swapped[i] ? ReportRow() : masked(std::move(replaced[i]), lines[i].fields));
    } catch (...) {
        // A row that masked() moved out held only the changed fields, and
        // comes back from `kept`.
        for (std::size_t i = kept.size(); i-- > 0;) {
            if (!swapped[i] && replaced[i].IsEmpty())
                replaced[i] = std::move(kept[i]);
        }
        for (std::size_t i = applied; i-- > 0;) {
            if (swapped[i])
                edits.SwapRow(lines[i].line, lines[i].cells);
            else
                edits.PutBack(lines[i].line, std::move(replaced[i]));
        }
        // In the reverse order they were set: every state on the way back
        // is one the verdicts had, and needs no more room than they took.
        std::size_t field = 0;
        for (const LineChange &line : lines)
            field += std::size_t(std::popcount(line.fields));
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            for (int f = int(ReportRow::CellCount) - 1; f >= 0; --f) {
                if ((line->fields & (1u << f)) && field-- <= validating)
                    edits.Validate(line->line, f);
            }
        }
        throw;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!swapped[i])
            lines[i].cells = std::move(kept[i]);
    }
    // The views hear of runs of lines at once.
    for (std::size_t i = 0; i < count;) {
        std::size_t last = i;
        while (last + 1 < count && lines[last + 1].line == lines[last].line + 1)
            ++last;
        edits.CellsChanged(lines[i].line, lines[last].line);
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
    if (!lines.empty())
        Show(lines.front().line, firstField(lines.front().fields));
    done = true;
}

void CellsCommand::undo()
{
    Apply();
    const int surplus = edits.LineCount() - linesBefore;
    if (linesAdded > 0 && surplus > 0)
        edits.RemoveLastLines(surplus);
    if (!lines.empty())
        Show(lines.front().line, firstField(lines.front().fields));
}
