#pragma once

#include "UndoCommands.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Cells changed in place: one committed cell edit, a block pasted or
// cleared. Lines the step added at the end go again on undo. Only the
// changed cells are kept: per line a mask of the changed fields and two
// compact rows that hold the changed cells' bytes before and after, the
// other cells empty, so that clearing a column of a million lines costs
// little more than the bytes it removed.
class CellsCommand : public ReportStep
{
public:
    struct LineChange
    {
        int line;
        std::uint32_t fields; // bit f: field f changed
        ReportRow before;
        ReportRow after;
    };

    // The changed fields of `before` and `after`; the others are left out.
    static LineChange MakeLine(int line, std::uint32_t fields, const std::string_view (&before)[ReportRow::CellCount],
                               const std::string_view (&after)[ReportRow::CellCount]);

    // `lines` sorted by line; `linesBefore` is the report's line count
    // before the step and `linesAdded` the lines it appends.
    CellsCommand(ReportEdits &edits, const QString &text, std::vector<LineChange> lines, int linesBefore,
                 int linesAdded);

    void redo() override;
    void undo() override;

private:
    void Apply(bool after);

    std::vector<LineChange> lines;
    int linesBefore;
    int linesAdded;
};
