#pragma once

#include "qnVelTorDataNotes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The notes of a report's lines, given one by one in the report's order, as
// a reader that keeps no line sees them: the rules of each cell alone, and
// those of the report (a key code seen before, a line of empty fields). It
// remembers the key codes it has seen, so its memory grows with the distinct
// numbers, by about a bit each while they stay near 1 to their count.
class qnVelTorLineNotes
{
public:
    struct Note
    {
        std::uint32_t field; // qnVelTorDataNotes::WholeLine for the line
        NoteKind kind;
    };
    // No line earns more: one per field at most.
    static constexpr std::size_t MaxNotes = FieldCount;

    // The notes of the next line (its 19 fields), in field order; returns
    // how many. A line whose fields are all empty earns only EmptyLine.
    std::size_t Check(const std::string_view *fields, Note (&notes)[MaxNotes]);

    // Remembers the number `digits` (ASCII digits, leading zeros being no
    // part of it) and tells whether it came before.
    bool Repeated(std::string_view digits);

private:
    // Numbers near 0 to a small multiple of those seen, one bit each.
    std::vector<std::uint64_t> dense;
    std::uint64_t seen = 0;
    std::unordered_set<std::uint64_t> sparse; // the others of up to 19 digits
    std::unordered_set<std::string> huge; // of more
};
