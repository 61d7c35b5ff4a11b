#include "ReportEdits.h"

#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <new>
#include <utility>

namespace {

// What a view may keep per line (a header's section, and its copy while
// that list grows), with room to spare.
constexpr std::size_t ViewBytesPerLine = 32;

} // namespace

void ReportEdits::MakeRoom(std::size_t count)
{
    std::vector<ReportRow> &lines = content.lines;
    const std::size_t total = lines.size() + count;
    if (lines.capacity() < total)
        lines.reserve(std::max(total, lines.size() * 2));
    // Called as a function, not as a new-expression, which the compiler
    // may leave out.
    ::operator delete(::operator new((total + 1) * ViewBytesPerLine));
}

void ReportEdits::Validate(int line, int field)
{
    std::string message;
    const bool valid = content.attributes.Validate(unsigned(field), content.Cell(line, field), message);
    content.verdicts.SetError(unsigned(line), unsigned(field), !valid);
    content.verdicts.SetErrorMessage(unsigned(line), unsigned(field), std::move(message));
}

void ReportEdits::ValidateTyped(int line, int field, std::string_view bytes)
{
    std::string message;
    const bool valid = content.attributes.Validate(unsigned(field), bytes, message);
    content.verdicts.SetError(unsigned(line), unsigned(field), !valid);
    content.verdicts.SetErrorMessage(unsigned(line), unsigned(field), std::move(message));
    emit content.verdictsChanged(line, line);
}

void ReportEdits::Revalidate(int line, int field)
{
    Validate(line, field);
    emit content.verdictsChanged(line, line);
}

void ReportEdits::ValidateFields(int line, std::uint32_t fields)
{
    std::string_view cells[ReportRow::CellCount];
    content.Line(line).Cells(cells);
    std::string message;
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (!(fields & (1u << field)))
            continue;
        // The message only where a rule is broken.
        const bool valid = content.attributes.IsValid(field, cells[field]);
        if (!valid)
            content.attributes.Validate(field, cells[field], message);
        content.verdicts.SetError(unsigned(line), field, !valid);
        content.verdicts.SetErrorMessage(unsigned(line), field, valid ? std::string() : std::move(message));
        message.clear();
    }
}

void ReportEdits::ValidateLine(int line)
{
    ValidateFields(line, (std::uint32_t(1) << ReportRow::CellCount) - 1);
}

void ReportEdits::InsertLines(int line, std::vector<ReportRow> &rows)
{
    const int count = int(rows.size());
    if (line < 0 || line > LineCount() || count == 0)
        return;
    std::vector<ReportRow> &lines = content.lines;
    bool filled = false;
    if (line == LineCount()) {
        // Appended lines come empty; the texts follow as a change.
        AppendLines(count);
        emit content.linesAboutToChange(line, line + count - 1);
        std::move(rows.begin(), rows.end(), lines.begin() + line);
    } else {
        MakeRoom(std::size_t(count));
        // Room was made: neither throws.
        content.verdicts.InsertRows(unsigned(line), unsigned(count));
        emit content.linesAboutToBeInserted(line, count);
        lines.insert(lines.begin() + line, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        emit content.linesInserted(line, count);
    }
    try {
        for (int i = line; i < line + count; ++i) {
            if (!lines[std::size_t(i)].IsEmpty()) {
                ValidateLine(i);
                filled = true;
            }
        }
    } catch (...) {
        // The verdicts made so far go with their lines.
        TakeLines(line, count, rows);
        throw;
    }
    if (filled)
        emit content.cellsChanged(line, line + count - 1);
}

void ReportEdits::TakeLines(int first, int count, std::vector<ReportRow> &rows, qnVelTor::GridAttr::Rows *verdicts)
{
    if (first < 0 || count <= 0 || count > LineCount() - first)
        return;
    // Before anything changes: both may need memory.
    rows.resize(std::size_t(count));
    if (verdicts)
        content.verdicts.CopyRows(unsigned(first), unsigned(count), *verdicts);
    std::vector<ReportRow> &lines = content.lines;
    emit content.linesAboutToBeRemoved(first, count);
    std::move(lines.begin() + first, lines.begin() + first + count, rows.begin());
    content.verdicts.RemoveRows(unsigned(first), unsigned(count));
    lines.erase(lines.begin() + first, lines.begin() + first + count);
    emit content.linesRemoved(first, count);
}

void ReportEdits::PutLines(int line, std::vector<ReportRow> &rows, qnVelTor::GridAttr::Rows &verdicts)
{
    const int count = int(rows.size());
    if (line < 0 || line > LineCount() || count == 0 || verdicts.Count() != unsigned(count))
        return;
    MakeRoom(std::size_t(count));
    // Room was made: only the verdicts may throw, and first.
    if (!content.verdicts.PutRows(unsigned(line), std::move(verdicts)))
        return;
    std::vector<ReportRow> &lines = content.lines;
    // Lines appended come empty, their texts told after (ReportContent.h).
    const bool appending = line == LineCount();
    emit content.linesAboutToBeInserted(line, count);
    if (appending)
        lines.resize(lines.size() + std::size_t(count));
    else
        lines.insert(lines.begin() + line, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    emit content.linesInserted(line, count);
    if (appending) {
        std::move(rows.begin(), rows.end(), lines.begin() + line);
        emit content.cellsChanged(line, line + count - 1);
    }
    rows.clear();
}

void ReportEdits::MoveLine(int from, int to)
{
    const int count = LineCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return;
    emit content.lineAboutToBeMoved(from, to);
    std::vector<ReportRow> &lines = content.lines;
    ReportRow moved = std::move(lines[std::size_t(from)]);
    if (from < to)
        std::move(lines.begin() + from + 1, lines.begin() + to + 1, lines.begin() + from);
    else
        std::move_backward(lines.begin() + to, lines.begin() + from, lines.begin() + from + 1);
    lines[std::size_t(to)] = std::move(moved);
    content.verdicts.MoveRow(unsigned(from), unsigned(to));
    emit content.lineMoved(from, to);
}

void ReportEdits::Reorder(const std::vector<std::uint32_t> &order)
{
    std::vector<ReportRow> &lines = content.lines;
    if (order.size() != lines.size())
        return;
    // Both are built before anything changes: running out of memory leaves
    // the report as it was.
    std::vector<ReportRow> reordered(lines.size());
    if (!content.verdicts.Reorder(order))
        return;
    emit content.linesAboutToBeReordered();
    for (std::size_t i = 0; i < order.size(); ++i)
        reordered[i] = std::move(lines[order[i]]);
    lines.swap(reordered);
    emit content.linesPermuted(order);
    emit content.linesReordered();
}

void ReportEdits::AppendLines(int count)
{
    if (count <= 0)
        return;
    MakeRoom(std::size_t(count));
    const int first = LineCount();
    const unsigned rows = content.verdicts.RowCount();
    try {
        for (int i = 0; i < count; ++i)
            content.verdicts.AddRow();
    } catch (...) {
        while (content.verdicts.RowCount() > rows)
            content.verdicts.RemoveRow(content.verdicts.RowCount() - 1);
        throw;
    }
    emit content.linesAboutToBeInserted(first, count);
    content.lines.resize(content.lines.size() + std::size_t(count)); // room was made: no throw
    emit content.linesInserted(first, count);
}

void ReportEdits::RemoveLastLines(int count)
{
    count = std::min(count, LineCount());
    if (count <= 0)
        return;
    const int first = LineCount() - count;
    emit content.linesAboutToBeRemoved(first, count);
    for (int i = 0; i < count; ++i)
        content.verdicts.RemoveRow(content.verdicts.RowCount() - 1);
    content.lines.resize(std::size_t(first));
    emit content.linesRemoved(first, count);
}

void ReportEdits::SetCells(int line, std::uint32_t fields, const ReportRow &cells)
{
    ReplaceCells(line, fields, cells);
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field))
            Validate(line, int(field));
    }
    emit content.cellsChanged(line, line);
}

ReportRow ReportEdits::ReplaceCells(int line, std::uint32_t fields, const ReportRow &cells)
{
    ReportRow &row = content.lines[std::size_t(line)];
    std::string_view texts[ReportRow::CellCount];
    row.Cells(texts);
    std::string_view given[ReportRow::CellCount];
    cells.Cells(given);
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field))
            texts[field] = given[field];
    }
    // The views point into the old block; the new one is built first.
    ReportRow fresh = ReportRow::FromCells(texts);
    emit content.linesAboutToChange(line, line);
    std::swap(row, fresh);
    return fresh;
}

void ReportEdits::PutBack(int line, ReportRow &&row) noexcept
{
    emit content.linesAboutToChange(line, line);
    content.lines[std::size_t(line)] = std::move(row);
}

void ReportEdits::SwapRow(int line, ReportRow &row) noexcept
{
    emit content.linesAboutToChange(line, line);
    std::swap(content.lines[std::size_t(line)], row);
}

void ReportEdits::OverwriteCells(int line, std::uint32_t fields, const std::string_view *texts) noexcept
{
    emit content.linesAboutToChange(line, line);
    content.lines[std::size_t(line)].OverwriteCells(fields, texts);
}

void ReportEdits::AppendLoaded(std::vector<ReportRow> &rows, RowArena &arena, qnVelTor::GridAttr &verdicts)
{
    const int count = int(rows.size());
    if (count == 0)
        return;
    const int first = LineCount();
    MakeRoom(std::size_t(count));
    // Room was made: only the verdicts may throw, and first.
    if (!content.verdicts.Append(std::move(verdicts)))
        throw std::bad_alloc(); // more lines than a report can count
    // The lines come empty, their texts after (ReportContent.h).
    emit content.linesAboutToBeInserted(first, count);
    content.lines.resize(content.lines.size() + std::size_t(count));
    emit content.linesInserted(first, count);
    std::move(rows.begin(), rows.end(), content.lines.begin() + first);
    rows.clear();
    content.arena.Absorb(std::move(arena));
    emit content.cellsChanged(first, first + count - 1);
}

void ReportEdits::Reset(std::vector<ReportRow> &&rows, RowArena &&arena, qnVelTor::GridAttr &&verdicts)
{
    emit content.aboutToBeReset();
    content.lines = std::move(rows);
    content.arena = std::move(arena);
    content.verdicts = std::move(verdicts);
    emit content.reset();
}

void ReportEdits::SetHeader(ReportContent::HeaderBox box, const std::string &bytes)
{
    content.headers[box] = bytes;
    emit content.headerChanged(box);
}
