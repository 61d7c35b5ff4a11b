#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The cells of many lines in one string of bytes, as an undo step keeps
// them: a million changed cells cost their bytes and about three more each,
// not an object each. Per line, in ascending order: its distance from the
// line before and its mask of fields (varints), then, unless the line's
// whole row is kept elsewhere, per field of the mask its length (a varint)
// and its bytes.
class PackedCells
{
public:
    void Reserve(std::size_t bytes) { data.reserve(bytes); }
    // Starts the next line, after the lines added so far. A `kept` line has
    // no cells here: its row is held whole by whoever holds this.
    void AddLine(int line, std::uint32_t fields, bool kept = false);
    // The next cell of the line, in the order of its fields.
    void AddCell(std::string_view bytes);

    // The lines of `later`, all after these, follow them; `later` is left
    // empty.
    void Append(PackedCells &&later);

    std::size_t LineCount() const { return lines; }
    std::size_t ByteSize() const { return data.size(); }
    bool Empty() const { return lines == 0; }

    // Walks the lines and their cells in order.
    class Reader
    {
    public:
        explicit Reader(const PackedCells &cells) : p(cells.data.data()), end(p + cells.data.size()) {}
        // The next line; false after the last.
        bool NextLine();
        int Line() const { return line; }
        std::uint32_t Fields() const { return fields; }
        bool Kept() const { return kept; }
        // The next cell of the line.
        std::string_view NextCell();
        // The rest of the line's cells: `cells` gets them by field, the
        // fields outside the mask untouched.
        void Cells(std::string_view *cells);
        void SkipCells();
        // Bytes read so far.
        std::size_t Offset(const PackedCells &cells) const { return std::size_t(p - cells.data.data()); }

    private:
        const char *p;
        const char *end;
        int line = -1;
        std::uint32_t fields = 0;
        bool kept = false;
    };

private:
    std::string data;
    std::size_t lines = 0;
    int lastLine = -1;
};
