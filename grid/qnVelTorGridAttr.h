#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qnVelTor {

// Verdict and message of the last validation of every report cell, addressed
// by (line index, field index). Every index is bounds-checked: reads out of
// range give false or an empty text, writes give false and change nothing.
//
// The window keeps one row per report line, and reports reach a million
// lines, so only the cells with a verdict or a message take memory: 8 bytes
// each, the message a number into a table of its few texts. The width is
// clamped to 32; the window uses 20.
class GridAttr
{
public:
    struct ATTR
    {
        bool error = false;
        std::string message;
    };

    static constexpr unsigned MaxWidth = 32;

    // width > MaxWidth is clamped to MaxWidth.
    explicit GridAttr(unsigned width);

    // Drops all rows, then appends count cleared rows.
    void Reset(unsigned count);
    // Appends one cleared row.
    void AddRow();

    bool IsError(unsigned row, unsigned field) const;
    std::string GetErrorMessage(unsigned row, unsigned field) const;
    bool SetError(unsigned row, unsigned field, bool flag);
    bool SetErrorMessage(unsigned row, unsigned field, std::string text);
    ATTR Get(unsigned row, unsigned field) const;
    // The number this matrix gives a message text, for the SetErrorMessage
    // below, until the next Reset: a load sets the few texts of the rules on
    // a million cells without looking each one up.
    std::uint32_t TextIndex(std::string_view text);
    // As above, with a number from TextIndex; false for a number it did
    // not give.
    bool SetErrorMessage(unsigned row, unsigned field, std::uint32_t text);
    // Appends the rows of `later`, with their verdicts and messages, after
    // these; `later` is left empty. False, with nothing changed, when the
    // rows would be more than an unsigned counts.
    bool Append(GridAttr &&later);

    // Line editing moves the verdicts along with their lines.
    // A cleared row before `row`; row == RowCount() appends.
    bool InsertRow(unsigned row);
    bool RemoveRow(unsigned row);
    // The row at `from` ends up at index `to`; the rows between shift by one.
    bool MoveRow(unsigned from, unsigned to);
    // The same for a run of lines: `count` cleared rows before `row`, and
    // the rows from `row` on; false, with nothing changed, when a row named
    // is out of range. Their cost grows with the rows holding a verdict or
    // a message after `row`, not with `count`.
    bool InsertRows(unsigned row, unsigned count);
    bool RemoveRows(unsigned row, unsigned count);

    // The verdicts and messages of a run of rows, taken out by TakeRows to
    // be given back by PutRows: lines deleted and put back on undo need not
    // be checked again. Only for the matrix they came from, until its next
    // Reset.
    class Rows
    {
    public:
        unsigned Count() const { return count; }

    private:
        friend class GridAttr;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> cells; // row from the first, bits
        unsigned count = 0;
    };
    // What RemoveRows(row, count) would drop. May throw std::bad_alloc.
    bool CopyRows(unsigned row, unsigned count, Rows &rows) const;
    // As InsertRows, with the rows' verdicts and messages; `rows` is left
    // empty. May throw std::bad_alloc, and then changes nothing.
    bool PutRows(unsigned row, Rows &&rows);
    // Row order[i] becomes row i. False, with nothing changed, unless
    // `order` names every row once. May throw std::bad_alloc, and then
    // leaves the matrix as it was.
    bool Reorder(const std::vector<std::uint32_t> &order);
    bool RowHasError(unsigned row) const;

    // Kept up to date by every change, so that the window can show them
    // after each edit without walking a million rows.
    std::uint64_t ErrorCellCount() const { return errorCells; }
    unsigned ErrorRowCount() const { return errorRows; }

    // The next invalid cell after (row, field) in reading order, or the one
    // before it when `forward` is false, wrapping around the ends; (row,
    // field) itself comes last. False when no cell is invalid. `wrapped`
    // tells whether the search went past an end of the matrix. A start out
    // of range starts before the first row (forward) or after the last.
    bool FindError(unsigned row, unsigned field, bool forward, unsigned &foundRow, unsigned &foundField,
                   bool &wrapped) const;

    unsigned RowCount() const { return rowCount; }
    unsigned Width() const { return width; }

private:
    // A cell with a verdict or a message, or both. Messages are few distinct
    // texts (one per rule and field length), so each is stored once and a
    // cell keeps its number: a report whose every line breaks a rule must
    // not cost a string, nor even a row and a cell entry, per invalid cell.
    struct Cell
    {
        std::uint32_t row;
        // The field in the low 5 bits, the verdict in bit 5, above them the
        // number of the message text plus one (0: no message).
        std::uint32_t bits;

        unsigned Field() const { return bits & FieldBits; }
        bool Error() const { return bits & ErrorBit; }
        std::uint32_t Text() const { return bits >> TextShift; }
        std::uint64_t Key() const { return Key(row, Field()); }
        static std::uint64_t Key(std::uint32_t row, unsigned field) { return (std::uint64_t(row) << 8) | field; }
    };
    static constexpr std::uint32_t FieldBits = 31;
    static constexpr std::uint32_t ErrorBit = 32;
    static constexpr unsigned TextShift = 6;
    static constexpr std::uint32_t MaxTexts = (std::uint32_t(1) << (32 - TextShift)) - 1;

    bool InRange(unsigned row, unsigned field) const
    {
        return row < rowCount && field < width;
    }

    // The first cell entry at or after (row, field).
    std::vector<Cell>::iterator Find(unsigned row, unsigned field);
    std::vector<Cell>::const_iterator Find(unsigned row, unsigned field) const;
    // Whether a cell of `row` is invalid, other than the one at `at` when
    // `atIsCell` (else `at` is where that cell would go).
    bool OtherError(unsigned row, std::vector<Cell>::const_iterator at, bool atIsCell) const;
    // Takes the entries [first, last) out of the counts.
    void Forget(std::vector<Cell>::const_iterator first, std::vector<Cell>::const_iterator last);

    // Only the cells with a verdict or a message, by row and field: a report
    // of a million lines has few of them.
    std::vector<Cell> cells;
    unsigned rowCount = 0;
    unsigned width;
    std::uint64_t errorCells = 0;
    unsigned errorRows = 0;
    // Looked up by a view, without making a string of it.
    struct TextHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::vector<const std::string *> texts; // keys of textIndices
    std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>> textIndices;
};

} // namespace qnVelTor
