#pragma once

#include "CellsCommand.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ReportDocument;

// The cells one step is to change, gathered line by line: the changes of a
// line come together, and lines in ascending order. Only cells whose bytes
// really change are kept, each line's as a compact row, so that a step over
// a million lines costs little more than the bytes it changes. A line past
// the report's end is appended, with every line before it. The document's
// ChangeCells() makes the step.
class CellChanges
{
public:
    // `document` is not owned, and must not change while changes are gathered.
    explicit CellChanges(const ReportDocument &document);

    // False, with nothing kept, for a position out of range or a line before
    // the one being gathered.
    bool Set(int line, int field, std::string_view bytes);
    // The report reaches at least this line, also when none of its cells
    // changes (an empty line appended).
    bool Reach(int line);

    // Cells that change, and lines the report grows by.
    std::uint64_t ChangedCells() const { return changedCells; }
    // About what the step takes in memory while it is made and kept.
    std::uint64_t Footprint() const;
    int LinesAdded() const { return linesAdded; }
    bool Empty() const { return lines.empty() && fields == 0 && linesAdded == 0; }

private:
    friend class ReportDocument;

    void EndLine();
    // The gathered lines, ready for a step.
    std::vector<CellsCommand::LineChange> Take();

    const ReportDocument &document; // not owned
    int lineCount;
    int line = -1;
    std::uint32_t fields = 0;
    std::string values[ReportRow::CellCount];
    std::vector<CellsCommand::LineChange> lines;
    std::uint64_t changedCells = 0;
    std::uint64_t valueBytes = 0;
    int linesAdded = 0;
};
