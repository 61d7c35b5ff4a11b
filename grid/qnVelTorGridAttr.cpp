#include "qnVelTorGridAttr.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>

namespace qnVelTor {

namespace {

std::uint64_t Key(std::uint32_t row, unsigned field)
{
    return (std::uint64_t(row) << 8) | field;
}

} // namespace

GridAttr::GridAttr(unsigned width)
    : width(std::min(width, MaxWidth))
{
}

void GridAttr::Reset(unsigned count)
{
    rows.clear();
    rows.shrink_to_fit(); // a cleared view should give back a large report's memory
    messages.clear();
    messages.shrink_to_fit();
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
    // A load adds rows at the end, one after the other.
    if (rows.empty() || rows.back().index < row)
        return rows.end();
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

std::vector<GridAttr::Message>::iterator GridAttr::FindMessage(unsigned row, unsigned field)
{
    const std::uint64_t key = Key(row, field);
    if (messages.empty() || Key(messages.back().row, messages.back().field) < key)
        return messages.end();
    return std::lower_bound(messages.begin(), messages.end(), key,
                            [](const Message &m, std::uint64_t k) { return Key(m.row, m.field) < k; });
}

std::vector<GridAttr::Message>::const_iterator GridAttr::FindMessage(unsigned row, unsigned field) const
{
    return std::lower_bound(messages.begin(), messages.end(), Key(row, field),
                            [](const Message &m, std::uint64_t k) { return Key(m.row, m.field) < k; });
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
    const auto it = FindMessage(row, field);
    return it != messages.end() && it->row == row && it->field == field ? *texts[it->text] : std::string();
}

bool GridAttr::SetError(unsigned row, unsigned field, bool flag)
{
    if (!InRange(row, field))
        return false;
    const std::uint32_t bit = std::uint32_t(1) << field;
    auto it = Find(row);
    const bool has = it != rows.end() && it->index == row;
    if (!flag) {
        if (!has || !(it->errors & bit))
            return true;
        it->errors &= ~bit;
        --errorCells;
        if (!it->errors) {
            --errorRows;
            rows.erase(it);
        }
        return true;
    }
    if (!has) {
        it = rows.insert(it, Row {row, 0});
        ++errorRows;
    }
    if (!(it->errors & bit)) {
        it->errors |= bit;
        ++errorCells;
    }
    return true;
}

bool GridAttr::SetErrorMessage(unsigned row, unsigned field, std::string text)
{
    if (!InRange(row, field))
        return false;
    if (text.empty()) {
        const auto it = FindMessage(row, field);
        if (it != messages.end() && it->row == row && it->field == field)
            messages.erase(it);
        return true;
    }
    return SetErrorMessage(row, field, TextIndex(text));
}

bool GridAttr::SetErrorMessage(unsigned row, unsigned field, std::uint32_t text)
{
    if (!InRange(row, field) || text >= texts.size())
        return false;
    const auto it = FindMessage(row, field);
    if (it != messages.end() && it->row == row && it->field == field)
        it->text = text;
    else
        messages.insert(it, Message {row, static_cast<std::uint8_t>(field), text});
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
    std::vector<std::uint32_t> textOf(later.texts.size());
    for (std::size_t i = 0; i < later.texts.size(); ++i)
        textOf[i] = TextIndex(*later.texts[i]);
    const unsigned offset = rowCount;
    rows.reserve(rows.size() + later.rows.size());
    for (const Row &row : later.rows)
        rows.push_back(Row {row.index + offset, row.errors});
    messages.reserve(messages.size() + later.messages.size());
    for (const Message &message : later.messages)
        messages.push_back(Message {message.row + offset, message.field, textOf[message.text]});
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
    if (row > rowCount)
        return false;
    for (auto it = Find(row); it != rows.end(); ++it)
        ++it->index;
    for (auto it = FindMessage(row, 0); it != messages.end(); ++it)
        ++it->row;
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
    auto m = messages.erase(FindMessage(row, 0), FindMessage(row + 1, 0));
    for (; m != messages.end(); ++m)
        --m->row;
    --rowCount;
    return true;
}

bool GridAttr::InsertRows(unsigned row, unsigned count)
{
    if (row > rowCount || count > std::numeric_limits<unsigned>::max() - rowCount)
        return false;
    for (auto it = Find(row); it != rows.end(); ++it)
        it->index += count;
    for (auto it = FindMessage(row, 0); it != messages.end(); ++it)
        it->row += count;
    rowCount += count;
    return true;
}

bool GridAttr::RemoveRows(unsigned row, unsigned count)
{
    if (row > rowCount || count > rowCount - row)
        return false;
    const auto first = Find(row);
    const auto last = Find(row + count);
    for (auto it = first; it != last; ++it)
        Forget(*it);
    for (auto it = rows.erase(first, last); it != rows.end(); ++it)
        it->index -= count;
    for (auto m = messages.erase(FindMessage(row, 0), FindMessage(row + count, 0)); m != messages.end(); ++m)
        m->row -= count;
    rowCount -= count;
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
    std::vector<Row> movedRows(rows);
    std::vector<Message> movedMessages(messages);
    for (Row &r : movedRows)
        r.index = place[r.index];
    for (Message &m : movedMessages)
        m.row = place[m.row];
    std::sort(movedRows.begin(), movedRows.end(), [](const Row &a, const Row &b) { return a.index < b.index; });
    std::sort(movedMessages.begin(), movedMessages.end(),
              [](const Message &a, const Message &b) { return Key(a.row, a.field) < Key(b.row, b.field); });
    rows.swap(movedRows);
    messages.swap(movedMessages);
    return true;
}

bool GridAttr::MoveRow(unsigned from, unsigned to)
{
    if (from >= rowCount || to >= rowCount)
        return false;
    if (from == to)
        return true;
    // The rows between shift by one towards `from`; the moved row's entries
    // then go to their new place, keeping the entries in order.
    const auto shifted = [from, to](std::uint32_t index) {
        return index == from ? to : from < to ? index - 1 : index + 1;
    };
    const unsigned low = std::min(from, to);
    const unsigned high = std::max(from, to);
    const auto moved = Find(from);
    const bool has = moved != rows.end() && moved->index == from;
    const auto first = Find(low);
    const auto last = Find(high + 1);
    for (auto it = first; it != last; ++it)
        it->index = shifted(it->index);
    if (has) {
        if (from < to)
            std::rotate(moved, moved + 1, last);
        else
            std::rotate(first, moved, moved + 1);
    }
    const auto firstMessage = FindMessage(low, 0);
    const auto lastMessage = FindMessage(high + 1, 0);
    for (auto it = firstMessage; it != lastMessage; ++it)
        it->row = shifted(it->row);
    std::sort(firstMessage, lastMessage,
              [](const Message &a, const Message &b) { return Key(a.row, a.field) < Key(b.row, b.field); });
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
