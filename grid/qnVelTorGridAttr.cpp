#include "qnVelTorGridAttr.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace qnVelTor {

GridAttr::GridAttr(unsigned width)
    : width(std::min(width, MaxWidth))
{
}

void GridAttr::Reset(unsigned count)
{
    rows.clear();
    rows.shrink_to_fit(); // a cleared view should give back a large report's memory
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

std::vector<GridAttr::Row>::iterator GridAttr::Find(unsigned row)
{
    return std::lower_bound(rows.begin(), rows.end(), row,
                            [](const Row &r, unsigned index) { return r.index < index; });
}

std::vector<GridAttr::Row>::const_iterator GridAttr::Find(unsigned row) const
{
    return std::lower_bound(rows.begin(), rows.end(), row,
                            [](const Row &r, unsigned index) { return r.index < index; });
}

const GridAttr::Row *GridAttr::RowAt(unsigned row) const
{
    const auto it = Find(row);
    return it != rows.end() && it->index == row ? &*it : nullptr;
}

GridAttr::Row &GridAttr::Touch(unsigned row)
{
    auto it = Find(row);
    if (it == rows.end() || it->index != row) {
        it = rows.emplace(it);
        it->index = row;
    }
    return *it;
}

void GridAttr::Tidy(std::vector<Row>::iterator row)
{
    if (row != rows.end() && !row->errors && row->messages.empty())
        rows.erase(row);
}

bool GridAttr::IsError(unsigned row, unsigned field) const
{
    if (!InRange(row, field))
        return false;
    const Row *r = RowAt(row);
    return r && ((r->errors >> field) & 1u);
}

std::string GridAttr::GetErrorMessage(unsigned row, unsigned field) const
{
    if (!InRange(row, field))
        return {};
    const Row *r = RowAt(row);
    if (!r)
        return {};
    for (const Message &m : r->messages) {
        if (m.field == field)
            return *texts[m.text];
    }
    return {};
}

bool GridAttr::SetError(unsigned row, unsigned field, bool flag)
{
    if (!InRange(row, field))
        return false;
    const std::uint32_t bit = std::uint32_t(1) << field;
    if (!flag) {
        const auto it = Find(row);
        if (it == rows.end() || it->index != row || !(it->errors & bit))
            return true;
        it->errors &= ~bit;
        --errorCells;
        if (!it->errors)
            --errorRows;
        Tidy(it);
        return true;
    }
    std::uint32_t &errors = Touch(row).errors;
    if (!(errors & bit)) {
        if (!errors)
            ++errorRows;
        errors |= bit;
        ++errorCells;
    }
    return true;
}

bool GridAttr::SetErrorMessage(unsigned row, unsigned field, std::string text)
{
    if (!InRange(row, field))
        return false;
    if (text.empty()) {
        const auto it = Find(row);
        if (it == rows.end() || it->index != row)
            return true;
        Messages &messages = it->messages;
        messages.erase(std::remove_if(messages.begin(), messages.end(),
                                      [field](const Message &m) { return m.field == field; }),
                       messages.end());
        if (messages.empty())
            messages.shrink_to_fit();
        Tidy(it);
        return true;
    }
    const std::uint32_t index = TextIndex(std::move(text));
    Messages &messages = Touch(row).messages;
    for (Message &m : messages) {
        if (m.field == field) {
            m.text = index;
            return true;
        }
    }
    messages.push_back({static_cast<std::uint8_t>(field), index});
    return true;
}

std::uint32_t GridAttr::TextIndex(std::string &&text)
{
    const auto [entry, added] = textIndices.try_emplace(std::move(text), std::uint32_t(texts.size()));
    if (added)
        texts.push_back(&entry->first); // map nodes never move
    return entry->second;
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
    if (row > rowCount)
        return false;
    for (auto it = Find(row); it != rows.end(); ++it)
        ++it->index;
    ++rowCount;
    return true;
}

bool GridAttr::RemoveRow(unsigned row)
{
    if (row >= rowCount)
        return false;
    auto it = Find(row);
    if (it != rows.end() && it->index == row) {
        Forget(*it);
        it = rows.erase(it);
    }
    for (; it != rows.end(); ++it)
        --it->index;
    --rowCount;
    return true;
}

bool GridAttr::MoveRow(unsigned from, unsigned to)
{
    if (from >= rowCount || to >= rowCount)
        return false;
    if (from == to)
        return true;
    // The rows between shift by one towards `from`; the moved row's entry
    // then goes to its new place, keeping the entries in index order.
    const auto moved = Find(from);
    const bool has = moved != rows.end() && moved->index == from;
    const auto first = Find(std::min(from, to));
    const auto last = Find(std::max(from, to) + 1);
    for (auto it = first; it != last; ++it) {
        if (it->index == from)
            it->index = to;
        else if (from < to)
            --it->index;
        else
            ++it->index;
    }
    if (has) {
        if (from < to)
            std::rotate(moved, moved + 1, last);
        else
            std::rotate(first, moved, moved + 1);
    }
    return true;
}

bool GridAttr::RowHasError(unsigned row) const
{
    if (row >= rowCount)
        return false;
    const Row *r = RowAt(row);
    return r && r->errors != 0;
}

void GridAttr::Forget(const Row &row)
{
    if (row.errors) {
        errorCells -= unsigned(std::popcount(row.errors));
        --errorRows;
    }
}

bool GridAttr::FindError(unsigned row, unsigned field, bool forward, unsigned &foundRow, unsigned &foundField,
                         bool &wrapped) const
{
    wrapped = false;
    if (!errorRows)
        return false;
    const auto found = [&foundRow, &foundField, forward](unsigned r, std::uint32_t bits) {
        foundRow = r;
        foundField = forward ? unsigned(std::countr_zero(bits)) : unsigned(31 - std::countl_zero(bits));
        return true;
    };
    // The start row: after (or before) the start field only; a start out of
    // range starts with the whole first (or last) row.
    unsigned start = row;
    std::uint32_t bits;
    if (row >= rowCount) {
        start = forward ? 0 : rowCount - 1;
        const Row *r = RowAt(start);
        bits = r ? r->errors : 0;
    } else {
        const Row *r = RowAt(row);
        const std::uint32_t all = r ? r->errors : 0;
        if (forward)
            bits = field >= 31 ? 0u : all & (~std::uint32_t(0) << (field + 1));
        else
            bits = field >= 32 ? all : all & ((std::uint32_t(1) << field) - 1);
    }
    if (bits)
        return found(start, bits);
    // Then the rows up to the end (or the start) of the matrix, then, past
    // it, the rest: the start row comes last, with all its cells.
    if (forward) {
        for (auto it = Find(start + 1); it != rows.end(); ++it) {
            if (it->errors)
                return found(it->index, it->errors);
        }
        wrapped = true;
        for (const Row &r : rows) {
            if (r.errors)
                return found(r.index, r.errors);
        }
    } else {
        for (auto it = std::make_reverse_iterator(Find(start)); it != rows.rend(); ++it) {
            if (it->errors)
                return found(it->index, it->errors);
        }
        wrapped = true;
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            if (it->errors)
                return found(it->index, it->errors);
        }
    }
    return false;
}

} // namespace qnVelTor
