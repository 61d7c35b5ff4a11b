#include "CellFix.h"

#include "CellChanges.h"
#include "ReportDocument.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <new>

CellFix::Result CellFix::Apply(ReportDocument &document) const
{
    return Apply(document, Scope());
}

CellFix::Result CellFix::Apply(ReportDocument &document, const Scope &scope) const
{
    Result result;
    const int top = std::max(scope.top, 0);
    const int bottom = scope.bottom < 0 ? document.LineCount() - 1 : std::min(scope.bottom, document.LineCount() - 1);
    const int left = std::max(scope.left, 0);
    const int right = scope.right < 0 ? int(FieldCount) - 1 : std::min(scope.right, int(FieldCount) - 1);
    std::uint32_t fields = 0;
    for (int field = left; field <= right; ++field) {
        if (Touches(std::uint32_t(field)))
            fields |= std::uint32_t(1) << field;
    }
    if (!fields || top > bottom)
        return result;
    try {
        const qnVelTorDataAttribute &attributes = document.Attributes();
        CellChanges changes(document.Content());
        std::string fixed;
        std::string_view cells[FieldCount];
        for (int line = top; line <= bottom; ++line) {
            document.Line(line).Cells(cells);
            for (std::uint32_t field = std::uint32_t(left); field <= std::uint32_t(right); ++field) {
                if (!(fields & (std::uint32_t(1) << field)))
                    continue;
                fixed.clear();
                if (!Fix(field, cells[field], fixed) || fixed == cells[field])
                    continue;
                if (fixed.size() > attributes.MaxLength(field)) {
                    result = {};
                    result.refused = true;
                    result.line = line;
                    result.field = int(field);
                    return result;
                }
                changes.Set(line, int(field), fixed);
            }
        }
        result.changed = changes.ChangedCells();
        if (result.changed == 0)
            return result;
        if (document.ChangeCells(std::move(changes), Text()) != EditResult::Done) {
            result = {};
            result.outOfMemory = true;
        }
    } catch (const std::bad_alloc &) {
        result = {};
        result.outOfMemory = true;
    }
    return result;
}
