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
    rows.resize(count);
    errorCells = 0;
    errorRows = 0;
    texts.clear();
    textIndices.clear();
    messageLists.clear();
    messageLists.shrink_to_fit();
    freeMessageLists.clear();
}

void GridAttr::AddRow()
{
    rows.emplace_back();
}

bool GridAttr::IsError(unsigned row, unsigned field) const
{
    if (!InRange(row, field))
        return false;
    return (rows[row].errors >> field) & 1u;
}

std::string GridAttr::GetErrorMessage(unsigned row, unsigned field) const
{
    if (!InRange(row, field))
        return {};
    const std::uint32_t list = rows[row].messages;
    if (!list)
        return {};
    for (const Message &m : messageLists[list - 1]) {
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
    std::uint32_t &errors = rows[row].errors;
    const std::uint32_t before = errors;
    if (flag)
        errors |= bit;
    else
        errors &= ~bit;
    if (before != errors) {
        if (flag)
            ++errorCells;
        else
            --errorCells;
        if (!before)
            ++errorRows;
        else if (!errors)
            --errorRows;
    }
    return true;
}

bool GridAttr::SetErrorMessage(unsigned row, unsigned field, std::string text)
{
    if (!InRange(row, field))
        return false;
    Row &r = rows[row];
    if (text.empty()) {
        if (!r.messages)
            return true;
        Messages &messages = MessagesOf(r);
        messages.erase(std::remove_if(messages.begin(), messages.end(),
                                      [field](const Message &m) { return m.field == field; }),
                       messages.end());
        if (messages.empty())
            ReleaseMessages(r);
        return true;
    }
    const std::uint32_t index = TextIndex(std::move(text));
    Messages &messages = MessagesOf(r);
    for (Message &m : messages) {
        if (m.field == field) {
            m.text = index;
            return true;
        }
    }
    messages.push_back({static_cast<std::uint8_t>(field), index});
    return true;
}

GridAttr::Messages &GridAttr::MessagesOf(Row &row)
{
    if (!row.messages) {
        if (freeMessageLists.empty()) {
            messageLists.emplace_back();
            row.messages = std::uint32_t(messageLists.size());
        } else {
            row.messages = freeMessageLists.back() + 1;
            freeMessageLists.pop_back();
        }
    }
    return messageLists[row.messages - 1];
}

void GridAttr::ReleaseMessages(Row &row)
{
    if (!row.messages)
        return;
    Messages &list = messageLists[row.messages - 1];
    list.clear();
    list.shrink_to_fit();
    freeMessageLists.push_back(row.messages - 1);
    row.messages = 0;
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
    if (row > rows.size())
        return false;
    rows.emplace(rows.begin() + row);
    return true;
}

bool GridAttr::RemoveRow(unsigned row)
{
    if (row >= rows.size())
        return false;
    Forget(rows[row]);
    ReleaseMessages(rows[row]);
    rows.erase(rows.begin() + row);
    return true;
}

bool GridAttr::MoveRow(unsigned from, unsigned to)
{
    if (from >= rows.size() || to >= rows.size())
        return false;
    const auto first = rows.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    return true;
}

bool GridAttr::RowHasError(unsigned row) const
{
    if (row >= rows.size())
        return false;
    return rows[row].errors != 0;
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
    const std::size_t count = rows.size();
    std::size_t r;
    std::uint32_t bits;
    if (row >= count) {
        r = forward ? 0 : count - 1;
        bits = rows[r].errors;
    } else {
        r = row;
        const std::uint32_t all = rows[r].errors;
        if (forward)
            bits = field >= 31 ? 0u : all & (~std::uint32_t(0) << (field + 1));
        else
            bits = field >= 32 ? all : all & ((std::uint32_t(1) << field) - 1);
    }
    // One full turn brings the start row back with all its bits.
    for (std::size_t step = 0; step <= count; ++step) {
        if (bits) {
            foundRow = unsigned(r);
            foundField = forward ? unsigned(std::countr_zero(bits)) : unsigned(31 - std::countl_zero(bits));
            return true;
        }
        if (forward) {
            if (++r == count) {
                r = 0;
                wrapped = true;
            }
        } else if (r-- == 0) {
            r = count - 1;
            wrapped = true;
        }
        bits = rows[r].errors;
    }
    return false;
}

} // namespace qnVelTor
