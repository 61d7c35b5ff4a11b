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
    // Memory may run out part way, and the step must then be as if never
    // taken. Putting the lines back must not need the memory that has just
    // run out: the rows replaced are kept until the step is whole.
    std::vector<ReportRow> replaced;
    replaced.reserve(lines.size());
    std::size_t validating = 0; // fields whose verdicts may have changed
    try {
        for (const LineChange &line : lines)
            replaced.push_back(edits.ReplaceCells(line.line, line.fields, after ? line.after : line.before));
        for (const LineChange &line : lines) {
            for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
                if (line.fields & (1u << field)) {
                    ++validating;
                    edits.Validate(line.line, int(field));
                }
            }
        }
    } catch (...) {
        for (std::size_t i = replaced.size(); i-- > 0;)
            edits.PutBack(lines[i].line, std::move(replaced[i]));
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
    for (const LineChange &line : lines)
        edits.CellsChanged(line.line);
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
