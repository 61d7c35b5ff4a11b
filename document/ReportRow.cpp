#include "ReportRow.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QNVELTOR_SSE2 1
#endif

// The loops over a row's 19 cells run a million times in a load: unrolled,
// each cell's shifts are constants.
#if defined(__clang__)
#define QNVELTOR_UNROLL _Pragma("unroll")
#elif defined(__GNUC__)
#define QNVELTOR_UNROLL _Pragma("GCC unroll 19")
#else
#define QNVELTOR_UNROLL
#endif

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

// Copies a cell of a line whose bytes go on up to `lineEnd`, and tells
// whether a byte of it is 0x80 or above: in whole 16-byte (then 8-byte)
// loads while those stay within the line, and whole stores, which may
// write on into the bytes of the cells still to come or into the
// RowArena::Slack after the block.
bool copyLong(unsigned char *to, const char *from, std::size_t length, const char *lineEnd)
{
    std::size_t done = 0;
    bool high = false;
#ifdef QNVELTOR_SSE2
    while (done < length && lineEnd - (from + done) >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + done));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + done), v);
        unsigned bits = unsigned(_mm_movemask_epi8(v));
        if (length - done < 16)
            bits &= (1u << (length - done)) - 1;
        high = high || bits != 0;
        done += 16;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t highs = 0x8080808080808080ull;
        while (done < length && lineEnd - (from + done) >= 8) {
            std::uint64_t word;
            std::memcpy(&word, from + done, 8);
            std::memcpy(to + done, &word, 8);
            if (length - done < 8)
                word &= ~std::uint64_t(0) >> (8 * (8 - (length - done)));
            high = high || (word & highs) != 0;
            done += 8;
        }
    }
    for (; done < length; ++done) {
        const auto c = static_cast<unsigned char>(from[done]);
        to[done] = c;
        high = high || c >= 0x80;
    }
    return high;
}

// The same for the common cell, of at most 16 bytes with 16 bytes of the
// line from its start: one load and one store.
inline bool copyInLine(unsigned char *to, const char *from, std::size_t length, const char *lineEnd)
{
#ifdef QNVELTOR_SSE2
    if (length <= 16 && lineEnd - from >= 16) [[likely]] {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to), v);
        return (unsigned(_mm_movemask_epi8(v)) & ((1u << length) - 1)) != 0;
    }
#endif
    return copyLong(to, from, length, lineEnd);
}

static_assert(sizeof(ReportRow) == sizeof(void *), "a million rows must not cost more than their pointers");

// A block starts with one 4-bit length per cell: most cells are short (a
// code, a flag, a name), and a byte each would make the rows of a report
// larger than its file. A cell of LongCell bytes or more has the value
// LongCell there, and its length follows the 4-bit lengths as a varint.
// Then come the cells' bytes, in order.
constexpr std::size_t HeaderSize = (ReportRow::CellCount + 1) / 2;
constexpr std::size_t LongCell = 15;

// The 4-bit lengths of a block, gathered in two registers: cells 0 to 15
// in `low`, 16 to 18 in `rest`, cell i at bits 4i.
void putHeaderBytes(unsigned char *block, std::uint64_t low, std::uint64_t rest)
{
    static_assert(HeaderSize == 10);
    unsigned char bytes[HeaderSize];
    for (unsigned k = 0; k < 8; ++k)
        bytes[k] = static_cast<unsigned char>(low >> (8 * k));
    bytes[8] = static_cast<unsigned char>(rest);
    bytes[9] = static_cast<unsigned char>(rest >> 8);
    std::memcpy(block, bytes, HeaderSize);
}

// Writes the header of a block for `cells` (4-bit lengths, then the varints
// of the long cells); returns where the first cell's bytes go.
unsigned char *putHeader(unsigned char *block, const std::string_view *cells)
{
    std::uint64_t low = 0;
    std::uint64_t rest = 0;
    for (unsigned i = 0; i < ReportRow::CellCount; ++i) {
        const std::uint64_t nibble = std::min(cells[i].size(), LongCell);
        if (i < 16)
            low |= nibble << (4 * i);
        else
            rest |= nibble << (4 * (i - 16));
    }
    putHeaderBytes(block, low, rest);
    unsigned char *p = block + HeaderSize;
    for (unsigned i = 0; i < ReportRow::CellCount; ++i) {
        if (cells[i].size() >= LongCell)
            p = putVarint(p, cells[i].size());
    }
    return p;
}

// The 4-bit lengths of a block, as putHeaderBytes wrote them.
void getHeaderBytes(const unsigned char *block, std::uint64_t &low, std::uint64_t &rest)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&low, block, 8);
    } else {
        low = 0;
        for (unsigned k = 0; k < 8; ++k)
            low |= std::uint64_t(block[k]) << (8 * k);
    }
    rest = std::uint64_t(block[8]) | std::uint64_t(block[9]) << 8;
}

// How many of the 4-bit lengths in `nibbles` are LongCell (all four bits
// set). The nibbles found are summed a byte at a time by a multiplication,
// as std::popcount costs a call where the processor has no instruction
// for it.
unsigned longNibbles(std::uint64_t nibbles)
{
    const std::uint64_t found = nibbles & (nibbles >> 1) & (nibbles >> 2) & (nibbles >> 3);
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t perByte = (found & ones) + ((found >> 4) & ones);
    return unsigned((perByte * ones) >> 56);
}

// Skips `count` varints.
const unsigned char *skipVarints(const unsigned char *p, unsigned count)
{
    for (; count > 0; --count) {
        while (*p & 0x80)
            ++p;
        ++p;
    }
    return p;
}

// The first `count` cells of a block; returns where the next cell starts
// (the end of the block after the last).
const unsigned char *decode(const unsigned char *block, std::string_view *cells, unsigned count)
{
    std::uint64_t low;
    std::uint64_t rest;
    getHeaderBytes(block, low, rest);
    const unsigned char *varints = block + HeaderSize;
    // The cells' bytes start after the varints of the long cells.
    const unsigned char *p = skipVarints(varints, longNibbles(low) + longNibbles(rest));
    for (unsigned i = 0; i < count; ++i) {
        std::size_t size = i < 16 ? (low >> (4 * i)) & 0xF : (rest >> (4 * (i - 16))) & 0xF;
        if (size == LongCell) [[unlikely]]
            varints = getVarint(varints, size);
        cells[i] = std::string_view(reinterpret_cast<const char *>(p), size);
        p += size;
    }
    return p;
}

const unsigned char *decode(const unsigned char *block, std::string_view (&cells)[ReportRow::CellCount])
{
    return decode(block, cells, ReportRow::CellCount);
}

// The end of a block, without its cells: the 4-bit lengths are summed a
// byte at a time, the long cells' lengths taken from their varints. A search
// looks through a million blocks whole.
const unsigned char *blockEnd(const unsigned char *block)
{
    std::uint64_t low;
    std::uint64_t rest;
    getHeaderBytes(block, low, rest);
    constexpr std::uint64_t nibbles = 0x0F0F0F0F0F0F0F0Full;
    // Each byte the sum of its two lengths (at most 30), then the bytes
    // summed into the top one (at most 240).
    const std::uint64_t pairs = (low & nibbles) + ((low >> 4) & nibbles);
    std::size_t size = std::size_t((pairs * 0x0101010101010101ull) >> 56) + (rest & 0xF) + ((rest >> 4) & 0xF)
            + ((rest >> 8) & 0xF);
    const unsigned char *p = block + HeaderSize;
    for (unsigned count = longNibbles(low) + longNibbles(rest); count > 0; --count) {
        std::size_t length;
        p = getVarint(p, length);
        size += length - LongCell;
    }
    return p + size;
}

} // namespace

namespace {

// The keepers alive, and the blocks freed while one was. The count is
// changed under the lock; read without it, it tells whether to take it.
std::atomic<int> keepers {0};
std::mutex keptLock;
std::vector<unsigned char *> kept;

} // namespace

RowBlockKeeper::RowBlockKeeper()
{
    const std::lock_guard<std::mutex> guard(keptLock);
    keepers.fetch_add(1, std::memory_order_relaxed);
}

RowBlockKeeper::~RowBlockKeeper()
{
    std::vector<unsigned char *> freed;
    {
        const std::lock_guard<std::mutex> guard(keptLock);
        if (keepers.fetch_sub(1, std::memory_order_relaxed) == 1)
            freed.swap(kept);
    }
    for (unsigned char *block : freed)
        delete[] block;
}

void RowBlockKeeper::Free(unsigned char *block) noexcept
{
    if (!block)
        return;
    // Keepers are only made on the thread that edits the report, which is
    // the one that frees the blocks a keeper's reader sees.
    if (keepers.load(std::memory_order_acquire) > 0) {
        const std::lock_guard<std::mutex> guard(keptLock);
        if (keepers.load(std::memory_order_relaxed) > 0) {
            try {
                kept.push_back(block);
            } catch (const std::bad_alloc &) {
                // Left to the system at exit rather than freed under a
                // reader's eyes.
            }
            return;
        }
    }
    delete[] block;
}

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
        chunks.emplace_back(new unsigned char[size + Slack]);
        return chunks.back().get();
    }
    // Blocks start at even addresses: a row keeps a flag in the lowest bit.
    used += used & 1;
    if (ChunkSize - Slack - used < size || !current) {
        chunks.emplace_back(new unsigned char[ChunkSize]);
        current = chunks.back().get();
        used = 0;
    }
    unsigned char *p = current + used;
    used += size;
    return p;
}

void RowArena::Absorb(RowArena &&other)
{
    if (this == &other)
        return;
    chunks.reserve(chunks.size() + other.chunks.size());
    for (auto &chunk : other.chunks)
        chunks.push_back(std::move(chunk));
    other.chunks.clear();
    if (!current) {
        current = other.current;
        used = other.used;
    }
    other.current = nullptr;
    other.used = 0;
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
        RowBlockKeeper::Free(const_cast<unsigned char *>(Block()));
    tagged = 0;
}

void ReportRow::SetBlock(const unsigned char *block, bool owned)
{
    tagged = reinterpret_cast<std::uintptr_t>(block) | (owned ? Owned : 0);
}

std::size_t ReportRow::BlockSize() const
{
    return static_cast<std::size_t>(blockEnd(Block()) - Block());
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
    // The lengths after the field are not read: the key code, asked of
    // every line by the notes, is the first.
    std::string_view cells[CellCount];
    decode(Block(), cells, field + 1);
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

void ReportRow::Assign(const std::string_view *cells, RowArena *arena)
{
    std::size_t size = HeaderSize;
    bool empty = true;
    for (unsigned i = 0; i < CellCount; ++i) {
        const std::size_t length = cells[i].size();
        size += length + (length >= LongCell ? varintSize(length) : 0);
        empty = empty && length == 0;
    }
    if (empty) {
        Clear();
        return;
    }
    unsigned char *const fresh = arena ? arena->Allocate(size) : new unsigned char[size];
    unsigned char *p = putHeader(fresh, cells);
    for (unsigned i = 0; i < CellCount; ++i) {
        if (!cells[i].empty())
            std::memcpy(p, cells[i].data(), cells[i].size());
        p += cells[i].size();
    }
    // Only now: the texts may lie in the old block.
    Clear();
    SetBlock(fresh, !arena);
}

ReportRow ReportRow::FromLine(const std::string_view *fields, RowArena &arena, std::uint32_t &highCells)
{
    // Two passes over the fields: the first sums the sizes and gathers the
    // 4-bit lengths in registers, the second writes the varints and copies
    // the cells. A load builds a million rows, and every pass counts.
    highCells = 0;
    std::uint64_t low = 0; // 4-bit lengths of cells 0 to 15
    std::uint64_t rest = 0; // of cells 16 to 18
    std::size_t bytes = 0;
    std::size_t varints = 0;
    const auto add = [&](unsigned i, std::uint64_t &nibbles, unsigned shift) {
        const std::size_t length = fields[i].size();
        bytes += length;
        if (length >= LongCell) [[unlikely]]
            varints += varintSize(length);
        nibbles |= std::uint64_t(std::min(length, LongCell)) << shift;
    };
    QNVELTOR_UNROLL
    for (unsigned i = 0; i < 16; ++i)
        add(i, low, 4 * i);
    QNVELTOR_UNROLL
    for (unsigned i = 16; i < CellCount; ++i)
        add(i, rest, 4 * (i - 16));
    ReportRow row;
    if (bytes == 0)
        return row;
    // The line's bytes end with its last field that is there; missing
    // fields, all at the end, view nothing.
    unsigned last = CellCount - 1;
    while (last > 0 && !fields[last].data())
        --last;
    const char *const lineEnd = fields[last].data() + fields[last].size();
    unsigned char *const fresh = arena.Allocate(HeaderSize + varints + bytes);
    putHeaderBytes(fresh, low, rest);
    unsigned char *lengths = fresh + HeaderSize;
    unsigned char *p = lengths + varints;
    std::uint32_t high = 0;
    QNVELTOR_UNROLL
    for (unsigned i = 0; i < CellCount; ++i) {
        const std::size_t length = fields[i].size();
        if (length == 0)
            continue;
        if (length >= LongCell) [[unlikely]]
            lengths = putVarint(lengths, length);
        if (copyInLine(p, fields[i].data(), length, lineEnd))
            high |= std::uint32_t(1) << i;
        p += length;
    }
    highCells = high;
    row.SetBlock(fresh, false);
    return row;
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

void ReportRow::OverwriteCells(std::uint32_t fields, const std::string_view *texts)
{
    if (!tagged)
        return;
    std::string_view cells[CellCount];
    decode(Block(), cells);
    for (unsigned field = 0; field < CellCount; ++field) {
        if ((fields & (1u << field)) && texts[field].size() == cells[field].size() && !cells[field].empty())
            // A block is never shared: its bytes are this row's to change.
            std::memmove(const_cast<char *>(cells[field].data()), texts[field].data(), cells[field].size());
    }
}
