#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// DelimitedTextReader's rules, with Breaks::AsSpace, read straight from the
// bytes of a UTF-8 or Shift-JIS file, a row at a time, from a buffer that
// holds a stretch of the file. Neither encoding uses the bytes that shape a
// row (quote, comma, TAB, CR, LF: all below 0x40) within a longer
// character, so the rows and cells of the bytes are those of the decoded
// text, and each cell's bytes decode to the cell's text.
class CsvByteRows
{
public:
    // `separator` is TAB or a comma.
    explicit CsvByteRows(char separator);

    enum class Step {
        Row, // a row was read
        More, // the row may go on past the bytes given: nothing was read
        End, // no row is left
    };
    // Reads the row at `position` in the `size` bytes at `data`, and moves
    // `position` past it. `atEnd`: the text ends with these bytes; otherwise
    // a row reaching their end is not taken (More) until it is given again
    // with more bytes after it.
    Step Next(const char *data, std::size_t size, std::size_t &position, bool atEnd);

    // The cells of the row read, viewing the bytes given or the reader's
    // own buffer, valid until the next call.
    const std::vector<std::string_view> &Cells() const { return cells; }
    // Whether each cell holds a byte of 0x80 or above, or a 0x1A: one that
    // is not its own report text. Bit i for cell i; cells past the 64th
    // share the last bit.
    std::uint64_t ConvertedCells() const { return converted; }
    // Where each cell's second piece starts, or 0: a quoted part that ends
    // in a byte of 0x80 or above followed by stray text after its closing
    // quote. The text's characters end at that quote, so the two pieces
    // are decoded apart, never as one.
    const std::vector<std::size_t> &Joins() const { return joins; }
    // The row held nothing but its line break.
    bool Blank() const { return blank; }

    // Over the rows read so far: cells in which a TAB or line break became a
    // space, and quotes never closed (read as ordinary characters).
    std::uint64_t FlattenedCells() const { return flattenedCells; }
    std::uint64_t UnclosedQuotes() const { return unclosedQuotes; }

private:
    // Where a cell's bytes are: in the data or in `scratch`, where cells
    // that had to be rewritten go. Views are made once the row is complete,
    // as `scratch` may move while it grows.
    struct Span
    {
        std::size_t start;
        std::size_t size;
        bool own;
        bool convert;
        std::size_t join = 0;
    };
    enum class Cell { Separator, RowEnd, More };

    Cell ReadCell();
    // The end of the unquoted cell from `from` (a separator, CR or LF, or
    // the end of the bytes), and what it holds on the way.
    std::size_t FindCellEnd(std::size_t from, unsigned &kinds) const;
    void AddCell(std::size_t start, std::size_t end, unsigned kinds);
    void AddQuoted(std::size_t quoted, std::size_t quote, std::size_t end, unsigned strayKinds);
    // Appends bytes outside quotes to `scratch`; true when a TAB became a space.
    bool AppendPlain(std::string_view piece);

    // What a byte is to the reader: bits of the kinds below.
    unsigned char kinds[256];

    // The row being read.
    const char *data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    bool atEnd = false;
    std::uint64_t rowFlattened = 0;
    std::uint64_t rowUnclosed = 0;

    char separator;
    std::vector<Span> spans;
    std::string scratch;
    std::vector<std::string_view> cells;
    std::vector<std::size_t> joins;
    std::uint64_t converted = 0;
    bool blank = false;
    std::uint64_t flattenedCells = 0;
    std::uint64_t unclosedQuotes = 0;
};
