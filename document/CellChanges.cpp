#include "CellChanges.h"

#include "ReportContent.h"

#include <algorithm>
#include <climits>
#include <utility>


CellChanges::CellChanges(const ReportContent &content) : content(content), lineCount(content.LineCount())
{
}

CellChanges::CellChanges(const ReportContent &content, int lineCount)
    : content(content), lineCount(std::clamp(lineCount, 0, content.LineCount()))
{
}

bool CellChanges::Reach(int target)
{
    if (target < 0 || target < line || target == INT_MAX)
        return false;
    linesAdded = std::max(linesAdded, target + 1 - lineCount);
    return true;
}

bool CellChanges::Set(int target, int field, std::string_view bytes)
{
    if (field < 0 || field >= int(ReportRow::CellCount) || !Reach(target))
        return false;
    if (target != line) {
        EndLine();
        line = target;
        if (line < lineCount)
            content.Line(line).Cells(current);
        else
            std::fill(std::begin(current), std::end(current), std::string_view());
    }
    const std::uint32_t bit = 1u << field;
    if (current[field] == bytes) {
        // Set back to what it is: no change after all.
        if (fields & bit) {
            fields &= ~bit;
            --changedCells;
        }
        return true;
    }
    if (!(fields & bit))
        ++changedCells;
    fields |= bit;
    values[field].assign(bytes.data(), bytes.size());
    valueBytes += bytes.size();
    return true;
}

void CellChanges::EndLine()
{
    if (line < 0 || !fields)
        return;
    lines.AddLine(line, fields);
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field))
            lines.AddCell(values[field]);
    }
    fields = 0;
}

void CellChanges::Append(CellChanges &&later)
{
    EndLine();
    later.EndLine();
    lines.Append(std::move(later.lines));
    changedCells += std::exchange(later.changedCells, 0);
    valueBytes += std::exchange(later.valueBytes, 0);
    linesAdded = std::max(linesAdded, std::exchange(later.linesAdded, 0));
    line = std::max(line, later.line);
}

PackedCells CellChanges::Take()
{
    EndLine();
    return std::move(lines);
}

std::uint64_t CellChanges::Footprint() const
{
    // The step keeps the new bytes, the lines get them again, and every
    // line changed or added takes a few words in the step, the report and
    // the views.
    constexpr std::uint64_t BytesPerLine = 96;
    return 2 * valueBytes + BytesPerLine * (std::uint64_t(lines.LineCount()) + 1 + std::uint64_t(linesAdded));
}
