#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The 19 cell texts of one grid row in a single heap block, each as a
// variable-length byte count followed by its Shift-JIS bytes. A report of a
// million lines must stay within a few times its file size, and 19
// std::strings of 32 bytes each would already be six times a typical line.
class ReportRow
{
public:
    static constexpr unsigned CellCount = 19;

    ReportRow() = default; // every cell empty, no block
    ReportRow(const ReportRow &other);
    ReportRow &operator=(const ReportRow &other);
    ReportRow(ReportRow &&) noexcept = default;
    ReportRow &operator=(ReportRow &&) noexcept = default;

    // Builds a row from 19 texts; missing or surplus texts are ignored.
    template<typename Texts>
    static ReportRow FromCells(const Texts &texts)
    {
        std::string_view views[CellCount];
        unsigned i = 0;
        for (const auto &text : texts) {
            if (i == CellCount)
                break;
            views[i++] = std::string_view(text);
        }
        ReportRow row;
        row.Assign(views);
        return row;
    }

    // Empty for a field index out of range.
    std::string_view Cell(unsigned field) const;
    void SetCell(unsigned field, std::string_view text);
    bool IsEmpty() const { return !block; }
    void Clear() { block.reset(); }

private:
    void Assign(const std::string_view (&cells)[CellCount]);
    std::size_t BlockSize() const;

    std::unique_ptr<unsigned char[]> block;
};
