#pragma once

#include "PackedCells.h"
#include "ReportRow.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ReportContent;

// The cells one step is to change, gathered line by line: the changes of a
// line come together, and lines in ascending order. Only cells whose bytes
// really change are kept, packed one after another (PackedCells), so that a
// step over a million lines costs little more than the bytes it changes. A line past
// the report's end is appended, with every line before it. The document's
// ChangeCells() makes the step.
class CellChanges
{
public:
    // `content` is not owned, and must not change while changes are gathered.
    explicit CellChanges(const ReportContent &content);
    // Changes for the report's first `lineCount` lines: the lines after
    // them count as empty, whatever they hold now, and the step adds them.
    // With 0, changes for the report once it has been emptied.
    CellChanges(const ReportContent &content, int lineCount);

    // False, with nothing kept, for a position out of range or a line before
    // the one being gathered.
    bool Set(int line, int field, std::string_view bytes);
    // The report reaches at least this line, also when none of its cells
    // changes (an empty line appended).
    bool Reach(int line);

    // The changes gathered by `later` (for the same report, of lines after
    // all of these) follow these: parts of a report gathered on several
    // threads are joined in order. `later` is left empty.
    void Append(CellChanges &&later);

    // Room for the changes of this many lines, taken at once: a list grown
    // on the way holds its old and new copies for a moment.
    void Reserve(std::size_t lineCount) { lines.Reserve(lineCount * 8); }

    // Cells that change, and lines the report grows by.
    std::uint64_t ChangedCells() const { return changedCells; }
    // About what the step takes in memory while it is made and kept.
    std::uint64_t Footprint() const;
    int LinesAdded() const { return linesAdded; }
    bool Empty() const { return lines.Empty() && fields == 0 && linesAdded == 0; }

private:
    friend class ReportDocument;

    void EndLine();
    // The gathered lines, ready for a step.
    PackedCells Take();

    const ReportContent &content; // not owned
    int lineCount;
    int line = -1;
    // The cells of `line` as the report holds them, read once per line.
    std::string_view current[ReportRow::CellCount];
    std::uint32_t fields = 0;
    std::string values[ReportRow::CellCount];
    PackedCells lines;
    std::uint64_t changedCells = 0;
    std::uint64_t valueBytes = 0;
    int linesAdded = 0;
};
