#pragma once

#include "UndoCommands.h"

#include <cstdint>
#include <string_view>
#include <vector>

// Cells changed in place: one committed cell edit, a block pasted or
// cleared, lines imported. Lines the step added at the end go again on undo.
// Only the changed cells are kept, and only as the report does not hold
// them: per line a mask of the changed fields and one compact row holding
// those cells' bytes, the others empty. Before the first redo that row is
// what the cells become, after it what they were; every undo and redo
// swaps it with the report's. Clearing a column of a million lines thus
// costs little more than the bytes it removed, and lines appended with
// their cells cost nothing beyond the lines themselves.
class CellsCommand : public ReportStep
{
public:
    struct LineChange
    {
        int line;
        std::uint32_t fields; // bit f: field f changed
        ReportRow cells; // the changed fields as the report does not hold them now
    };

    // The changed fields of `after`; the others are left out.
    static LineChange MakeLine(int line, std::uint32_t fields, const std::string_view (&after)[ReportRow::CellCount]);

    // `lines` sorted by line; `linesBefore` is the report's line count
    // before the step and `linesAdded` the lines it appends.
    CellsCommand(ReportEdits &edits, const QString &text, std::vector<LineChange> lines, int linesBefore,
                 int linesAdded);

    void redo() override;
    void undo() override;

private:
    // Swaps the rows of `lines` with the report's cells.
    void Apply();

    std::vector<LineChange> lines;
    int linesBefore;
    int linesAdded;
};
