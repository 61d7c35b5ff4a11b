#include "qnVelTorGridAttr.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>
#include <utility>

namespace qnVelTor {

GridAttr::GridAttr(unsigned width)
    : width(std::min(width, MaxWidth))
{
}

void GridAttr::Reset(unsigned count)
{
    cells.clear();
    cells.shrink_to_fit(); // a cleared view should give back a large report's memory
    rowCount = count;
    errorCells = 0;
    errorRows = 0;
    texts.clear();
    textIndices.clear();
}

void GridAttr::AddRow()
{
    ++rowCount;
}

std::vector<GridAttr::Cell>::iterator GridAttr::Find(unsigned row, unsigned field)
{
    // A load adds cells at the end, one after the other.
    if (cells.empty() || cells.back().Key() < Cell::Key(row, std::min(field, 255u)))
        return cells.end();
    const auto found = std::as_const(*this).Find(row, field);
    return cells.begin() + (found - cells.cbegin());
}

std::vector<GridAttr::Cell>::const_iterator GridAttr::Find(unsigned row, unsigned field) const
{
    // The row by its index, then its few cells one by one.
    auto it = std::lower_bound(cells.begin(), cells.end(), row,
                               [](const Cell &c, unsigned r) { return c.row < r; });
    while (it != cells.end() && it->row == row && it->Field() < field)
        ++it;
    return it;
}

bool GridAttr::OtherError(unsigned row, std::vector<Cell>::const_iterator at, bool atIsCell) const
{
    // The few cells of the row lie next to `at`.
    for (auto it = at; it != cells.begin() && (it - 1)->row == row;) {
        if ((--it)->Error())
            return true;
    }
    for (auto it = atIsCell ? at + 1 : at; it != cells.end() && it->row == row; ++it) {
        if (it->Error())
            return true;
    }
    return false;
}

void GridAttr::Forget(std::vector<Cell>::const_iterator first, std::vector<Cell>::const_iterator last)
{
    std::uint32_t counted = 0;
    bool any = false;
    for (auto it = first; it != last; ++it) {
        if (!it->Error())
            continue;
        --errorCells;
        // The cells of a row lie together: each row is counted once.
        if (!any || it->row != counted)
            --errorRows;
        any = true;
        counted = it->row;
    }
}

bool GridAttr::IsError(unsigned row, unsigned field) const
{
    if (!InRange(row, field))
        return false;
    const auto it = Find(row, field);
    return it != cells.end() && it->row == row && it->Field() == field && it->Error();
}

std::string GridAttr::GetErrorMessage(unsigned row, unsigned field) const
{
    if (!InRange(row, field))
        return {};
    const auto it = Find(row, field);
    if (it == cells.end() || it->row != row || it->Field() != field || !it->Text())
        return {};
    return *texts[it->Text() - 1];
}

bool GridAttr::SetError(unsigned row, unsigned field, bool flag)
{
    if (!InRange(row, field))
        return false;
    auto it = Find(row, field);
    const bool has = it != cells.end() && it->row == row && it->Field() == field;
    if (!flag) {
        if (!has || !it->Error())
            return true;
        --errorCells;
        if (!OtherError(row, it, true))
            --errorRows;
        if (it->Text())
            it->bits &= ~ErrorBit;
        else
            cells.erase(it);
        return true;
    }
    if (has && it->Error())
        return true;
    const bool rowHadError = OtherError(row, it, has);
    // The insert may throw: the counts change only once the cell is there.
    if (has)
        it->bits |= ErrorBit;
    else
        cells.insert(it, Cell {row, field | ErrorBit});
    ++errorCells;
    if (!rowHadError)
        ++errorRows;
    return true;
}

bool GridAttr::SetErrorMessage(unsigned row, unsigned field, std::string text)
{
    if (!InRange(row, field))
        return false;
    if (text.empty()) {
        const auto it = Find(row, field);
        if (it != cells.end() && it->row == row && it->Field() == field) {
            if (it->Error())
                it->bits &= ~(~std::uint32_t(0) << TextShift);
            else
                cells.erase(it);
        }
        return true;
    }
    if (texts.size() >= MaxTexts && textIndices.find(text) == textIndices.end())
        return false; // no number left for another text
    return SetErrorMessage(row, field, TextIndex(text));
}

bool GridAttr::SetErrorMessage(unsigned row, unsigned field, std::uint32_t text)
{
    if (!InRange(row, field) || text >= texts.size())
        return false;
    const std::uint32_t bits = (text + 1) << TextShift;
    const auto it = Find(row, field);
    if (it != cells.end() && it->row == row && it->Field() == field)
        it->bits = (it->bits & (FieldBits | ErrorBit)) | bits;
    else
        cells.insert(it, Cell {row, field | bits});
    return true;
}

std::uint32_t GridAttr::TextIndex(std::string_view text)
{
    const auto found = textIndices.find(text);
    if (found != textIndices.end())
        return found->second;
    const auto entry = textIndices.emplace(std::string(text), std::uint32_t(texts.size())).first;
    texts.push_back(&entry->first); // map nodes never move
    return entry->second;
}

bool GridAttr::Append(GridAttr &&later)
{
    if (later.rowCount > std::numeric_limits<unsigned>::max() - rowCount)
        return false;
    // The numbers of `later`'s texts in this matrix, plus one as in a cell.
    std::vector<std::uint32_t> textOf(later.texts.size() + 1, 0);
    for (std::size_t i = 0; i < later.texts.size(); ++i)
        textOf[i + 1] = TextIndex(*later.texts[i]) + 1;
    const unsigned offset = rowCount;
    cells.reserve(cells.size() + later.cells.size());
    for (const Cell &cell : later.cells)
        cells.push_back(
                Cell {cell.row + offset, (cell.bits & (FieldBits | ErrorBit)) | textOf[cell.Text()] << TextShift});
    rowCount += later.rowCount;
    errorCells += later.errorCells;
    errorRows += later.errorRows;
    later.Reset(0);
    return true;
}

GridAttr::ATTR GridAttr::Get(unsigned row, unsigned field) const
{
    ATTR attr;
    if (!InRange(row, field))
        return attr;
    attr.error = IsError(row, field);
    attr.message = GetErrorMessage(row, field);
    return attr;
}

bool GridAttr::InsertRow(unsigned row)
{
    return InsertRows(row, 1);
}

bool GridAttr::RemoveRow(unsigned row)
{
    if (row >= rowCount)
        return false;
    return RemoveRows(row, 1);
}

bool GridAttr::InsertRows(unsigned row, unsigned count)
{
    if (row > rowCount || count > std::numeric_limits<unsigned>::max() - rowCount)
        return false;
    for (auto it = Find(row, 0); it != cells.end(); ++it)
        it->row += count;
    rowCount += count;
    return true;
}

bool GridAttr::RemoveRows(unsigned row, unsigned count)
{
    if (row > rowCount || count > rowCount - row)
        return false;
    const auto first = Find(row, 0);
    const auto last = Find(row + count, 0);
    Forget(first, last);
    for (auto it = cells.erase(first, last); it != cells.end(); ++it)
        it->row -= count;
    rowCount -= count;
    return true;
}

bool GridAttr::CopyRows(unsigned row, unsigned count, Rows &rows) const
{
    if (row > rowCount || count > rowCount - row)
        return false;
    const auto first = Find(row, 0);
    const auto last = Find(row + count, 0);
    rows.cells.clear();
    rows.cells.reserve(std::size_t(last - first));
    for (auto it = first; it != last; ++it)
        rows.cells.emplace_back(it->row - row, it->bits);
    rows.count = count;
    return true;
}

bool GridAttr::PutRows(unsigned row, Rows &&rows)
{
    const unsigned count = rows.count;
    if (row > rowCount || count > std::numeric_limits<unsigned>::max() - rowCount)
        return false;
    const auto at = Find(row, 0);
    const std::size_t index = std::size_t(at - cells.begin());
    cells.insert(at, rows.cells.size(), Cell {});
    // Room was made: nothing below throws.
    for (auto it = cells.begin() + std::ptrdiff_t(index + rows.cells.size()); it != cells.end(); ++it)
        it->row += count;
    std::uint32_t counted = 0;
    bool any = false;
    for (std::size_t i = 0; i < rows.cells.size(); ++i) {
        Cell &cell = cells[index + i];
        cell = Cell {rows.cells[i].first + row, rows.cells[i].second};
        if (!cell.Error())
            continue;
        ++errorCells;
        if (!any || cell.row != counted)
            ++errorRows;
        any = true;
        counted = cell.row;
    }
    rowCount += count;
    rows.cells.clear();
    rows.count = 0;
    return true;
}

bool GridAttr::Reorder(const std::vector<std::uint32_t> &order)
{
    if (order.size() != rowCount)
        return false;
    constexpr std::uint32_t unset = ~std::uint32_t(0);
    std::vector<std::uint32_t> place(rowCount, unset);
    for (std::uint32_t i = 0; i < rowCount; ++i) {
        if (order[i] >= rowCount || place[order[i]] != unset)
            return false;
        place[order[i]] = i;
    }
    // Built aside and swapped in: memory running out leaves the old order.
    std::vector<Cell> moved(cells);
    for (Cell &cell : moved)
        cell.row = place[cell.row];
    std::sort(moved.begin(), moved.end(), [](const Cell &a, const Cell &b) { return a.Key() < b.Key(); });
    cells.swap(moved);
    return true;
}

bool GridAttr::MoveRow(unsigned from, unsigned to)
{
    if (from >= rowCount || to >= rowCount)
        return false;
    if (from == to)
        return true;
    // The moved row's cells go to their new place as a block, the rows
    // between shift by one towards `from`: the cells stay in order.
    const auto movedFirst = Find(from, 0);
    const auto movedLast = Find(from + 1, 0);
    if (from < to) {
        const auto last = Find(to + 1, 0);
        for (auto it = movedLast; it != last; ++it)
            --it->row;
        for (auto it = movedFirst; it != movedLast; ++it)
            it->row = to;
        std::rotate(movedFirst, movedLast, last);
    } else {
        const auto first = Find(to, 0);
        for (auto it = first; it != movedFirst; ++it)
            ++it->row;
        for (auto it = movedFirst; it != movedLast; ++it)
            it->row = to;
        std::rotate(first, movedFirst, movedLast);
    }
    return true;
}

bool GridAttr::RowHasError(unsigned row) const
{
    if (row >= rowCount)
        return false;
    for (auto it = Find(row, 0); it != cells.end() && it->row == row; ++it) {
        if (it->Error())
            return true;
    }
    return false;
}

bool GridAttr::FindError(unsigned row, unsigned field, bool forward, unsigned &foundRow, unsigned &foundField,
                         bool &wrapped) const
{
    wrapped = false;
    if (!errorRows)
        return false;
    const auto found = [&foundRow, &foundField](const Cell &cell) {
        foundRow = cell.row;
        foundField = cell.Field();
        return true;
    };
    // After (or before) the start cell, then, past the end, from the other
    // end: the start cell comes last. A start out of range starts before
    // the first row (forward) or after the last.
    const bool outside = row >= rowCount;
    if (forward) {
        const auto from = outside ? cells.begin() : Find(row, std::min(field, 254u) + 1);
        for (auto it = from; it != cells.end(); ++it) {
            if (it->Error())
                return found(*it);
        }
        wrapped = true;
        for (const Cell &cell : cells) {
            if (cell.Error())
                return found(cell);
        }
    } else {
        const auto from = outside ? cells.end() : Find(row, field);
        for (auto it = std::make_reverse_iterator(from); it != cells.rend(); ++it) {
            if (it->Error())
                return found(*it);
        }
        wrapped = true;
        for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
            if (it->Error())
                return found(*it);
        }
    }
    return false;
}

} // namespace qnVelTor
