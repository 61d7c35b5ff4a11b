#pragma once

#include "ReportRow.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorGridAttr.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The lines a load reads, as rows with their verdicts, built aside so that
// the report shown stays whole until the file has been read to its end. A
// file read in parts on several threads has one of these per part, each
// filled on its own thread, joined in the file's order at the end.
class LoadedLines
{
public:
    // `attributes` is not owned; `verdictWidth` is the report's.
    LoadedLines(const qnVelTorDataAttribute &attributes, unsigned verdictWidth);

    // Room for this many lines, so that the rows are not regrown and copied
    // on the way; what is not filled takes address space only.
    void Reserve(std::size_t lines) { rows.reserve(lines); }
    // Appends lines of 19 fields each, as the report reader and the import
    // hand them over (each line's fields views in order into one stretch of
    // bytes), and checks every cell.
    void Take(const std::string_view *fields, std::size_t count);
    // Appends the lines of `later` after these; `later` is left empty.
    void Append(LoadedLines &&later);

    std::size_t LineCount() const { return rows.size(); }
    // Given away to the report; this is left empty.
    std::vector<ReportRow> &&TakeRows() { return std::move(rows); }
    RowArena &&TakeArena() { return std::move(arena); }
    qnVelTor::GridAttr &&TakeVerdicts() { return std::move(verdicts); }

private:
    using Verdict = qnVelTorDataAttribute::FieldAttribute::Verdict;
    static constexpr std::uint32_t NoText = ~std::uint32_t(0);
    std::uint32_t MessageOf(unsigned field, Verdict verdict);

    const qnVelTorDataAttribute &attributes; // not owned
    RowArena arena; // declared before the rows that point into it
    std::vector<ReportRow> rows;
    qnVelTor::GridAttr verdicts;
    // The number of each field's message for each rule, in `verdicts`, from
    // the first cell that breaks it on; NoText before.
    std::array<std::array<std::uint32_t, 3>, FieldCount> messages;
    // Each field's limit, and the fields that take no double-byte
    // character (bit i for field i), as `attributes` has them.
    std::array<std::size_t, FieldCount> maxLengths {};
    std::uint32_t halfWidthFields = 0;
};
