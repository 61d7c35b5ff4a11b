#include "ReportRow.h"

#include <algorithm>
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

// A block starts with one 4-bit length per cell: most cells are short (a
// code, a flag, a name), and a byte each would make the rows of a report
// larger than its file. A cell of LongCell bytes or more has the value
// LongCell there, and its length follows the 4-bit lengths as a varint.
// Then come the cells' bytes, in order.
constexpr std::size_t HeaderSize = (ReportRow::CellCount + 1) / 2;
constexpr std::size_t LongCell = 15;

// The cells of a block; returns the end of the block.
const unsigned char *decode(const unsigned char *block, std::string_view (&cells)[ReportRow::CellCount])
{
    std::size_t sizes[ReportRow::CellCount];
    const unsigned char *p = block + HeaderSize;
    for (unsigned i = 0; i < ReportRow::CellCount; ++i) {
        sizes[i] = (block[i / 2] >> (4 * (i & 1))) & 0xF;
        if (sizes[i] == LongCell)
            p = getVarint(p, sizes[i]);
    }
    for (unsigned i = 0; i < ReportRow::CellCount; ++i) {
        cells[i] = std::string_view(reinterpret_cast<const char *>(p), sizes[i]);
        p += sizes[i];
    }
    return p;
}

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
    std::string_view cells[CellCount];
    return static_cast<std::size_t>(decode(Block(), cells) - Block());
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
    std::string_view cells[CellCount];
    decode(Block(), cells);
    return cells[field];
}

void ReportRow::Cells(std::string_view (&cells)[CellCount]) const
{
    if (!tagged) {
        for (std::string_view &cell : cells)
            cell = {};
        return;
    }
    decode(Block(), cells);
}

void ReportRow::Assign(const std::string_view (&cells)[CellCount], RowArena *arena)
{
    std::size_t size = HeaderSize;
    bool empty = true;
    for (const std::string_view &cell : cells) {
        size += cell.size() + (cell.size() >= LongCell ? varintSize(cell.size()) : 0);
        empty = empty && cell.empty();
    }
    if (empty) {
        Clear();
        return;
    }
    unsigned char *const fresh = arena ? arena->Allocate(size) : new unsigned char[size];
    std::memset(fresh, 0, HeaderSize);
    unsigned char *p = fresh + HeaderSize;
    for (unsigned i = 0; i < CellCount; ++i) {
        const std::size_t length = cells[i].size();
        fresh[i / 2] |= static_cast<unsigned char>(std::min(length, LongCell) << (4 * (i & 1)));
        if (length >= LongCell)
            p = putVarint(p, length);
    }
    for (const std::string_view &cell : cells) {
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
