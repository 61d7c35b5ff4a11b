#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// While one lives, no row block is given back to the system, wherever it
// is freed: each waits until the last keeper goes. A copy of the report
// read on another thread (the recovery copy of unsaved work) so sees its
// rows' blocks as they were, while the window goes on editing and frees
// them; blocks are never changed once built. Made on the thread that edits
// the report; may end on any.
class RowBlockKeeper
{
public:
    RowBlockKeeper();
    ~RowBlockKeeper();
    RowBlockKeeper(const RowBlockKeeper &) = delete;
    RowBlockKeeper &operator=(const RowBlockKeeper &) = delete;

    // How a row or an arena gives back a block or chunk it took with new[].
    static void Free(unsigned char *block) noexcept;
    struct Deleter
    {
        void operator()(unsigned char *block) const noexcept { Free(block); }
    };
};

// Memory for the rows of a loaded report, taken in large chunks and given
// back all at once: a million rows cost a million allocations otherwise.
class RowArena
{
public:
    RowArena() = default;
    RowArena(RowArena &&other) noexcept;
    RowArena &operator=(RowArena &&other) noexcept;

    // A block of `size` bytes; the Slack bytes after it may be written
    // until the next Allocate, so that a row is built with whole 16-byte
    // stores.
    unsigned char *Allocate(std::size_t size);
    static constexpr std::size_t Slack = 16;
    // Takes over the chunks of `other`, which is left empty: the rows built
    // in it now live as long as this arena.
    void Absorb(RowArena &&other);

private:
    std::vector<std::unique_ptr<unsigned char[], RowBlockKeeper::Deleter>> chunks;
    unsigned char *current = nullptr; // the chunk being filled
    std::size_t used = 0;
};

// The 19 cell texts of one grid row in a single block: their byte counts,
// then their Shift-JIS bytes. A report of a million lines must stay within
// its file size and a little, and 19 std::strings of 32 bytes each would
// already be six times a typical line.
// The block is the row's own, or lies in an arena that outlives the row.
class ReportRow
{
public:
    static constexpr unsigned CellCount = 19;

    ReportRow() = default; // every cell empty, no block
    ReportRow(const ReportRow &other);
    ReportRow &operator=(const ReportRow &other);
    ReportRow(ReportRow &&other) noexcept;
    ReportRow &operator=(ReportRow &&other) noexcept;
    ~ReportRow();

    // Builds a row from 19 texts; missing or surplus texts are ignored. With
    // an arena the block is taken from it, else the row owns it.
    template<typename Texts>
    static ReportRow FromCells(const Texts &texts, RowArena *arena = nullptr)
    {
        std::string_view views[CellCount];
        unsigned i = 0;
        for (const auto &text : texts) {
            if (i == CellCount)
                break;
            views[i++] = std::string_view(text);
        }
        ReportRow row;
        row.Assign(views, arena);
        return row;
    }
    // The same from the 19 fields of a line as the reader hands it over,
    // in `arena`: views in order into the line's bytes, TABs between them,
    // those of missing fields empty. Also tells which cells hold a byte of
    // 0x80 or above (bit i for cell i), which the copy learns for nothing
    // and the check of a half-width field asks. A load builds a million of
    // them: the cells are copied with whole 16-byte loads where the line's
    // bytes go on that far.
    static ReportRow FromLine(const std::string_view *fields, RowArena &arena, std::uint32_t &highCells);

    // A row that reads this one's block without owning it: only while a
    // RowBlockKeeper made before lives (or the block's arena), and never to
    // go into a report.
    ReportRow Alias() const
    {
        ReportRow alias;
        alias.tagged = tagged & ~Owned;
        return alias;
    }

    // Empty for a field index out of range.
    std::string_view Cell(unsigned field) const;
    // All cells in one pass over the block; Cell walks from the first cell.
    void Cells(std::string_view (&cells)[CellCount]) const;
    void SetCell(unsigned field, std::string_view text);
    // Writes the texts of the fields in the mask (texts[field]) over those
    // cells, each exactly as long as the cell it replaces: the block stays
    // where it is and nothing is allocated, as renumbering a million lines
    // needs.
    void OverwriteCells(std::uint32_t fields, const std::string_view *texts);
    bool IsEmpty() const { return !tagged; }
    // The row owns its block; else the block lies in an arena (or there is
    // none), and lives as long as the arena.
    bool OwnsBlock() const { return tagged & Owned; }
    // The whole block: the cells with their lengths between them. A text
    // found nowhere in it is in no cell.
    std::string_view Bytes() const;
    // Asks for the block to be brought into the cache ahead of its reading:
    // lines far apart, as a step over scattered lines visits them, are
    // where the processor cannot guess them, and each would be waited for.
    void Prefetch() const { __builtin_prefetch(Block()); }
    // How many lines ahead of the one at hand a pass asks for rows: enough
    // to wait for memory while the lines before are worked on.
    static constexpr int PrefetchAhead = 8;
    void Clear();

private:
    // `cells` points to CellCount texts.
    void Assign(const std::string_view *cells, RowArena *arena = nullptr);
    std::size_t BlockSize() const;

    const unsigned char *Block() const { return reinterpret_cast<const unsigned char *>(tagged & ~Owned); }
    void SetBlock(const unsigned char *block, bool owned);

    // The block's address, with the lowest bit set when the row owns the
    // block (blocks start at even addresses): a row is 8 bytes, not 16, and
    // a million-line report has a million of them.
    static constexpr std::uintptr_t Owned = 1;
    std::uintptr_t tagged = 0;
};
