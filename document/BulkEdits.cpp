#include "BulkEdits.h"

#include "CellChanges.h"
#include "ReportDocument.h"
#include "StepProgress.h"
#include "qnVelTorDataAttribute.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <new>
#include <string>

namespace {

// Longer numbers may not fit in 64 bits; no key code is that long.
constexpr std::size_t MaxNumberDigits = 18;

// The gathering takes this part of the progress bar, the step the rest.
constexpr unsigned Parts = 2;

// What a failed or stopped edit reports: nothing changed.
BulkEdits::Result failed(EditResult why)
{
    BulkEdits::Result result;
    result.outOfMemory = why == EditResult::OutOfMemory;
    result.cancelled = why == EditResult::Cancelled;
    return result;
}

// Hands the gathered changes to the document and counts them.
BulkEdits::Result commit(ReportDocument &document, CellChanges &changes, std::uint64_t invalid, const QString &text,
                         const ReadProgress &progress)
{
    BulkEdits::Result result;
    result.changed = changes.ChangedCells();
    result.invalid = invalid;
    const EditResult done = document.ChangeCells(std::move(changes), text, StepProgress::Share(progress, 1, Parts));
    return done == EditResult::Done ? result : failed(done);
}

} // namespace

std::uint64_t BulkEdits::NumberFrom(const ReportDocument &document, int first)
{
    const std::string_view code = document.Cell(first, 0);
    const bool number = !code.empty() && code.size() <= MaxNumberDigits
            && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
    return number ? std::stoull(std::string(code)) : std::uint64_t(first) + 1;
}

BulkEdits::Result BulkEdits::Renumber(ReportDocument &document, int first, int last, std::uint64_t start,
                                      const ReadProgress &progress)
{
    first = std::max(first, 0);
    last = std::min(last, document.LineCount() - 1);
    try {
        StepProgress told(&progress);
        told.Part(0, Parts);
        CellChanges changes(document.Content());
        std::uint64_t number = start;
        char digits[24];
        for (int line = first; line <= last; ++line) {
            const char *const end = std::to_chars(digits, digits + sizeof digits, number++).ptr;
            changes.Set(line, 0, std::string_view(digits, std::size_t(end - digits)));
            told.Line(std::uint64_t(line - first), std::uint64_t(last - first + 1));
        }
        // Digits alone are always a valid key code.
        return commit(document, changes, 0, tr("連番の振り直し"), progress);
    } catch (const std::bad_alloc &) {
        return failed(EditResult::OutOfMemory);
    } catch (const StepCancelled &) {
        return failed(EditResult::Cancelled);
    }
}

BulkEdits::Result BulkEdits::FillDown(ReportDocument &document, int top, int left, int bottom, int right,
                                      const ReadProgress &progress)
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
        StepProgress told(&progress);
        told.Part(0, Parts);
        std::string_view cells[ReportRow::CellCount];
        document.Line(source).Cells(cells);
        CellChanges changes(document.Content());
        std::uint64_t invalid = 0;
        const qnVelTorDataAttribute &attributes = document.Attributes();
        bool valid[ReportRow::CellCount];
        for (int field = left; field <= right; ++field)
            valid[field] = attributes.IsValid(unsigned(field), cells[field]);
        std::string_view now[ReportRow::CellCount];
        for (int line = source + 1; line <= bottom; ++line) {
            document.Line(line).Cells(now);
            for (int field = left; field <= right; ++field) {
                if (now[field] == cells[field])
                    continue;
                changes.Set(line, field, cells[field]);
                if (!valid[field])
                    ++invalid;
            }
            told.Line(std::uint64_t(line - source - 1), std::uint64_t(bottom - source));
        }
        return commit(document, changes, invalid, tr("下方向へコピー"), progress);
    } catch (const std::bad_alloc &) {
        return failed(EditResult::OutOfMemory);
    } catch (const StepCancelled &) {
        return failed(EditResult::Cancelled);
    }
}

BulkEdits::Result BulkEdits::Sort(ReportDocument &document, const std::vector<LineOrder::Key> &keys,
                                  const ReadProgress &progress)
{
    Result result;
    try {
        std::vector<std::uint32_t> order = LineOrder::Sorted(document, keys, StepProgress::Share(progress, 0, Parts));
        for (std::uint32_t i = 0; i < order.size(); ++i)
            result.changed += order[i] != i ? 1 : 0;
        const EditResult done = document.ReorderLines(std::move(order), tr("並べ替え"),
                                                      StepProgress::Share(progress, 1, Parts));
        if (done != EditResult::Done)
            result = failed(done);
    } catch (const std::bad_alloc &) {
        result = failed(EditResult::OutOfMemory);
    } catch (const StepCancelled &) {
        result = failed(EditResult::Cancelled);
    }
    return result;
}
