#pragma once

#include "PackedCells.h"
#include "UndoCommands.h"

#include <cstdint>
#include <vector>

// Cells changed in place: one committed cell edit, a block pasted or
// cleared, a replace, a renumbering, a fill. Lines the step added at the end
// go again on undo.
//
// Only the changed cells are kept, and only as the report does not hold
// them: their bytes packed one after another with their lines and fields
// (PackedCells), a few bytes beyond the bytes themselves. A cell whose new
// text is as long as the old one is written over it where it stands, so a
// renumbering of a million lines allocates nothing; a line whose cells
// change length gets a new row, and the row it had, when it lies in the
// report's arena (where its bytes stay anyway), is kept whole by the step to
// be put back, which costs its pointer. Before the first redo the step holds
// what the cells become, after it what they were; every undo and redo swaps
// that with the report's.
class CellsCommand : public ReportStep
{
public:
    // `cells` in ascending order of lines, none kept whole; `linesBefore` is
    // the report's line count before the step and `linesAdded` the lines it
    // appends.
    CellsCommand(ReportEdits &edits, const QString &text, PackedCells cells, int linesBefore, int linesAdded);

    void redo() override;
    void undo() override;

    std::uint64_t Footprint() const override;

private:
    // Swaps `cells` and `rows` with the report's cells; a cancel or a
    // failure part way puts back what was done and is thrown on.
    void Apply();

    PackedCells cells;
    // The rows of the lines `cells` marks as kept, in their order.
    std::vector<ReportRow> rows;
    int linesBefore;
    int linesAdded;
    int firstLine = 0;
    int firstField = 0;
};
