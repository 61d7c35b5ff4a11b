#include "CellsCommand.h"

#include <bit>

namespace {

int firstField(std::uint32_t fields)
{
    return fields ? std::countr_zero(fields) : 0;
}

} // namespace

CellsCommand::LineChange CellsCommand::MakeLine(int line, std::uint32_t fields,
                                                const std::string_view (&before)[ReportRow::CellCount],
                                                const std::string_view (&after)[ReportRow::CellCount])
{
    std::string_view keptBefore[ReportRow::CellCount];
    std::string_view keptAfter[ReportRow::CellCount];
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field)) {
            keptBefore[field] = before[field];
            keptAfter[field] = after[field];
        }
    }
    return {line, fields, ReportRow::FromCells(keptBefore), ReportRow::FromCells(keptAfter)};
}

CellsCommand::CellsCommand(ReportEdits &edits, const QString &text, std::vector<LineChange> lines, int linesBefore,
                           int linesAdded)
    : ReportStep(edits, text), lines(std::move(lines)), linesBefore(linesBefore), linesAdded(linesAdded)
{
}

void CellsCommand::Apply(bool after)
{
    std::size_t changed = 0;
    try {
        for (; changed < lines.size(); ++changed) {
            const LineChange &line = lines[changed];
            edits.SetCells(line.line, line.fields, after ? line.after : line.before);
        }
    } catch (...) {
        // Memory ran out part way: the lines changed so far go back, so that
        // the step is either whole or not there at all.
        for (std::size_t i = 0; i <= changed && i < lines.size(); ++i) {
            const LineChange &line = lines[i];
            edits.SetCells(line.line, line.fields, after ? line.before : line.after);
        }
        throw;
    }
}

void CellsCommand::redo()
{
    // Typing into the new-line position has already added its line.
    const int missing = linesBefore + linesAdded - edits.LineCount();
    if (missing > 0)
        edits.AppendLines(missing);
    try {
        Apply(true);
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
    Apply(false);
    const int surplus = edits.LineCount() - linesBefore;
    if (linesAdded > 0 && surplus > 0)
        edits.RemoveLastLines(surplus);
    if (!lines.empty())
        Show(lines.front().line, firstField(lines.front().fields));
}
