#include "ReportRow.h"

#include <cstring>
#include <utility>

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

static_assert(sizeof(ReportRow) == sizeof(void *), "a million rows must not cost more than their pointers");

} // namespace

RowArena::RowArena(RowArena &&other) noexcept
    : chunks(std::move(other.chunks)),
      current(std::exchange(other.current, nullptr)),
      used(std::exchange(other.used, 0))
{
}

RowArena &RowArena::operator=(RowArena &&other) noexcept
{
    if (this != &other) {
        chunks = std::move(other.chunks);
        other.chunks.clear();
        current = std::exchange(other.current, nullptr);
        used = std::exchange(other.used, 0);
    }
    return *this;
}

unsigned char *RowArena::Allocate(std::size_t size)
{
    constexpr std::size_t ChunkSize = std::size_t(1) << 20;
    if (size > ChunkSize / 4) {
        // A rare huge line gets a block of its own; the current chunk stays.
        chunks.emplace_back(new unsigned char[size]);
        return chunks.back().get();
    }
    // Blocks start at even addresses: a row keeps a flag in the lowest bit.
    used += used & 1;
    if (ChunkSize - used < size || !current) {
        chunks.emplace_back(new unsigned char[ChunkSize]);
        current = chunks.back().get();
        used = 0;
    }
    unsigned char *p = current + used;
    used += size;
    return p;
}

ReportRow::ReportRow(const ReportRow &other)
{
    if (other.tagged) {
        const std::size_t size = other.BlockSize();
        auto *copy = new unsigned char[size];
        std::memcpy(copy, other.Block(), size);
        SetBlock(copy, true);
    }
}

ReportRow &ReportRow::operator=(const ReportRow &other)
{
    if (this != &other)
        *this = ReportRow(other);
    return *this;
}

ReportRow::ReportRow(ReportRow &&other) noexcept
    : tagged(std::exchange(other.tagged, 0))
{
}

ReportRow &ReportRow::operator=(ReportRow &&other) noexcept
{
    if (this != &other) {
        Clear();
        tagged = std::exchange(other.tagged, 0);
    }
    return *this;
}

ReportRow::~ReportRow()
{
    Clear();
}

void ReportRow::Clear()
{
    if (tagged & Owned)
        delete[] Block();
    tagged = 0;
}

void ReportRow::SetBlock(const unsigned char *block, bool owned)
{
    tagged = reinterpret_cast<std::uintptr_t>(block) | (owned ? Owned : 0);
}

std::size_t ReportRow::BlockSize() const
{
    const unsigned char *const block = Block();
    const unsigned char *p = block;
    for (unsigned i = 0; i < CellCount; ++i) {
        std::size_t length;
        p = getVarint(p, length) + length;
    }
    return static_cast<std::size_t>(p - block);
}

std::string_view ReportRow::Bytes() const
{
    if (!tagged)
        return {};
    return std::string_view(reinterpret_cast<const char *>(Block()), BlockSize());
}

std::string_view ReportRow::Cell(unsigned field) const
{
    if (!tagged || field >= CellCount)
        return {};
    const unsigned char *p = Block();
    std::size_t length;
    for (unsigned i = 0;; ++i) {
        p = getVarint(p, length);
        if (i == field)
            return std::string_view(reinterpret_cast<const char *>(p), length);
        p += length;
    }
}

void ReportRow::Cells(std::string_view (&cells)[CellCount]) const
{
    if (!tagged) {
        for (std::string_view &cell : cells)
            cell = {};
        return;
    }
    const unsigned char *p = Block();
    for (std::string_view &cell : cells) {
        std::size_t length;
        p = getVarint(p, length);
        cell = std::string_view(reinterpret_cast<const char *>(p), length);
        p += length;
    }
}

void ReportRow::Assign(const std::string_view (&cells)[CellCount], RowArena *arena)
{
    std::size_t size = 0;
    bool empty = true;
    for (const std::string_view &cell : cells) {
        size += varintSize(cell.size()) + cell.size();
        empty = empty && cell.empty();
    }
    if (empty) {
        Clear();
        return;
    }
    unsigned char *const fresh = arena ? arena->Allocate(size) : new unsigned char[size];
    unsigned char *p = fresh;
    for (const std::string_view &cell : cells) {
        p = putVarint(p, cell.size());
        if (!cell.empty())
            std::memcpy(p, cell.data(), cell.size());
        p += cell.size();
    }
    // Only now: the texts may lie in the old block.
    Clear();
    SetBlock(fresh, !arena);
}

void ReportRow::SetCell(unsigned field, std::string_view text)
{
    if (field >= CellCount)
        return;
    std::string_view cells[CellCount];
    Cells(cells);
    cells[field] = text;
    // `text` may point into the old block; Assign builds the new one first.
    Assign(cells);
}
