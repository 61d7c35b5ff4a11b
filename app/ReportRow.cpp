#include "ReportRow.h"

#include <cstring>

namespace {

std::size_t varintSize(std::size_t value)
{
    std::size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

unsigned char *putVarint(unsigned char *p, std::size_t value)
{
    while (value >= 0x80) {
        *p++ = static_cast<unsigned char>(value | 0x80);
        value >>= 7;
    }
    *p++ = static_cast<unsigned char>(value);
    return p;
}

const unsigned char *getVarint(const unsigned char *p, std::size_t &value)
{
    value = 0;
    unsigned shift = 0;
    for (;;) {
        const unsigned char c = *p++;
        value |= std::size_t(c & 0x7F) << shift;
        if (!(c & 0x80))
            return p;
        shift += 7;
    }
}

} // namespace

ReportRow::ReportRow(const ReportRow &other)
{
    if (other.block) {
        const std::size_t size = other.BlockSize();
        block.reset(new unsigned char[size]);
        std::memcpy(block.get(), other.block.get(), size);
    }
}

ReportRow &ReportRow::operator=(const ReportRow &other)
{
    if (this != &other)
        *this = ReportRow(other);
    return *this;
}

std::size_t ReportRow::BlockSize() const
{
    const unsigned char *p = block.get();
    for (unsigned i = 0; i < CellCount; ++i) {
        std::size_t length;
        p = getVarint(p, length) + length;
    }
    return static_cast<std::size_t>(p - block.get());
}

std::string_view ReportRow::Cell(unsigned field) const
{
    if (!block || field >= CellCount)
        return {};
    const unsigned char *p = block.get();
    std::size_t length;
    for (unsigned i = 0;; ++i) {
        p = getVarint(p, length);
        if (i == field)
            return std::string_view(reinterpret_cast<const char *>(p), length);
        p += length;
    }
}

void ReportRow::Assign(const std::string_view (&cells)[CellCount])
{
    std::size_t size = 0;
    bool empty = true;
    for (const std::string_view &cell : cells) {
        size += varintSize(cell.size()) + cell.size();
        empty = empty && cell.empty();
    }
    if (empty) {
        block.reset();
        return;
    }
    std::unique_ptr<unsigned char[]> fresh(new unsigned char[size]);
    unsigned char *p = fresh.get();
    for (const std::string_view &cell : cells) {
        p = putVarint(p, cell.size());
        if (!cell.empty())
            std::memcpy(p, cell.data(), cell.size());
        p += cell.size();
    }
    block = std::move(fresh);
}

void ReportRow::SetCell(unsigned field, std::string_view text)
{
    if (field >= CellCount)
        return;
    std::string_view cells[CellCount];
    for (unsigned i = 0; i < CellCount; ++i)
        cells[i] = i == field ? text : Cell(i);
    // `text` may point into the old block; Assign builds the new one first.
    Assign(cells);
}
