#include "BulkEdits.h"

#include "CellChanges.h"
#include "ReportDocument.h"
#include "qnVelTorDataAttribute.h"

#include <QString>

#include <algorithm>
#include <new>
#include <string>

namespace {

// Longer numbers may not fit in 64 bits; no key code is that long.
constexpr std::size_t MaxNumberDigits = 18;

// Hands the gathered changes to the document and counts them.
BulkEdits::Result commit(ReportDocument &document, CellChanges &changes, std::uint64_t invalid, const QString &text)
{
    BulkEdits::Result result;
    result.changed = changes.ChangedCells();
    result.invalid = invalid;
    if (document.ChangeCells(std::move(changes), text) != EditResult::Done) {
        result = {};
        result.outOfMemory = true;
    }
    return result;
}

} // namespace

std::uint64_t BulkEdits::NumberFrom(const ReportDocument &document, int first)
{
    const std::string_view code = document.Cell(first, 0);
    const bool number = !code.empty() && code.size() <= MaxNumberDigits
            && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
    return number ? std::stoull(std::string(code)) : std::uint64_t(first) + 1;
}

BulkEdits::Result BulkEdits::Renumber(ReportDocument &document, int first, int last, std::uint64_t start)
{
    first = std::max(first, 0);
    last = std::min(last, document.LineCount() - 1);
    try {
        CellChanges changes(document.Content());
        std::uint64_t number = start;
        for (int line = first; line <= last; ++line)
            changes.Set(line, 0, std::to_string(number++));
        // Digits alone are always a valid key code.
        return commit(document, changes, 0, tr("連番の振り直し"));
    } catch (const std::bad_alloc &) {
        Result result;
        result.outOfMemory = true;
        return result;
    }
}

BulkEdits::Result BulkEdits::FillDown(ReportDocument &document, int top, int left, int bottom, int right)
{
    left = std::max(left, 0);
    right = std::min(right, int(FieldCount) - 1);
    if (top < 0 || top >= document.LineCount() || left > right)
        return {};
    // A block of one line takes the line above it.
    const int source = top == bottom ? top - 1 : top;
    bottom = std::min(bottom, document.LineCount() - 1);
    if (source < 0)
        return {};
    try {
        std::string_view cells[ReportRow::CellCount];
        document.Line(source).Cells(cells);
        CellChanges changes(document.Content());
        std::uint64_t invalid = 0;
        const qnVelTorDataAttribute &attributes = document.Attributes();
        for (int line = source + 1; line <= bottom; ++line) {
            for (int field = left; field <= right; ++field) {
                if (document.Cell(line, field) == cells[field])
                    continue;
                changes.Set(line, field, cells[field]);
                if (!attributes.IsValid(unsigned(field), cells[field]))
                    ++invalid;
            }
        }
        return commit(document, changes, invalid, tr("下方向へコピー"));
    } catch (const std::bad_alloc &) {
        Result result;
        result.outOfMemory = true;
        return result;
    }
}

BulkEdits::Result BulkEdits::Sort(ReportDocument &document, const std::vector<LineOrder::Key> &keys)
{
    Result result;
    try {
        std::vector<std::uint32_t> order = LineOrder::Sorted(document, keys);
        for (std::uint32_t i = 0; i < order.size(); ++i)
            result.changed += order[i] != i ? 1 : 0;
        if (document.ReorderLines(std::move(order), tr("並べ替え")) != EditResult::Done) {
            result = {};
            result.outOfMemory = true;
        }
    } catch (const std::bad_alloc &) {
        result = {};
        result.outOfMemory = true;
    }
    return result;
}
