#include "LoadedLines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <new>
#include <string>

LoadedLines::LoadedLines(const qnVelTorDataAttribute &attributes, unsigned verdictWidth)
    : attributes(attributes), verdicts(verdictWidth)
{
    for (auto &field : messages)
        field.fill(NoText);
    for (unsigned field = 0; field < FieldCount; ++field) {
        maxLengths[field] = attributes.MaxLength(field);
        if (!attributes.At(field)->allowFullWidth)
            halfWidthFields |= std::uint32_t(1) << field;
    }
}

std::uint32_t LoadedLines::MessageOf(unsigned field, Verdict verdict)
{
    std::uint32_t &text = messages[field][std::size_t(verdict)];
    if (text == NoText) {
        std::string message;
        attributes.At(field)->AppendMessage(verdict, message);
        text = verdicts.TextIndex(message);
    }
    return text;
}

void LoadedLines::Take(const std::string_view *fields, std::size_t count)
{
    for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
        const unsigned row = verdicts.RowCount();
        std::uint32_t highCells = 0;
        rows.push_back(ReportRow::FromLine(fields, arena, highCells));
        verdicts.AddRow();
        // A new row is clear. Of a million lines' 19 million cells only the
        // few that may break a rule are checked one by one: those too long,
        // and those of half-width fields that hold a byte of 0x80 or above,
        // which the copy has found.
        std::uint32_t suspects = highCells & halfWidthFields;
        for (unsigned field = 0; field < FieldCount; ++field) {
            if (fields[field].size() > maxLengths[field])
                suspects |= std::uint32_t(1) << field;
        }
        for (; suspects; suspects &= suspects - 1) [[unlikely]] {
            const auto field = unsigned(std::countr_zero(suspects));
            const Verdict verdict = attributes.Check(field, fields[field]);
            if (verdict != Verdict::Valid) {
                verdicts.SetError(row, field, true);
                verdicts.SetErrorMessage(row, field, MessageOf(field, verdict));
            }
        }
    }
}

void LoadedLines::Append(LoadedLines &&later)
{
    if (&later == this)
        return;
    // The arena first: the rows point into it.
    arena.Absorb(std::move(later.arena));
    rows.insert(rows.end(), std::make_move_iterator(later.rows.begin()), std::make_move_iterator(later.rows.end()));
    std::vector<ReportRow>().swap(later.rows);
    if (!verdicts.Append(std::move(later.verdicts)))
        throw std::bad_alloc(); // more lines than a report can count
}
