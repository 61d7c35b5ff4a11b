#include "qnVelTorLineNotes.h"

#include <algorithm>

namespace {

// The bitmap grows to hold a number only while it stays within this many
// words per number seen, plus a start: 1, 2, 3 … take a bit each, and a
// stray 9999999999 goes to the hash set instead of a gigabit map.
constexpr std::uint64_t WordsPerNumber = 4;
constexpr std::uint64_t StartWords = 4096;

} // namespace

std::size_t qnVelTorLineNotes::Check(const std::string_view *fields, Note (&notes)[MaxNotes])
{
    if (qnVelTorDataNotes::IsEmptyLine(fields)) {
        notes[0] = {qnVelTorDataNotes::WholeLine, NoteKind::EmptyLine};
        return 1;
    }
    std::size_t count = 0;
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        NoteKind kind = qnVelTorDataNotes::CellNote(field, fields[field]);
        // A key code that breaks no rule of its own may still repeat one;
        // an invalid one is no number to remember.
        if (field == 0 && kind == NoteKind::None && qnVelTorDataAttribute::Instance()->IsValid(0, fields[0])
            && Repeated(fields[0]))
            kind = NoteKind::KeyCodeRepeated;
        if (kind != NoteKind::None)
            notes[count++] = {field, kind};
    }
    return count;
}

bool qnVelTorLineNotes::Repeated(std::string_view digits)
{
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 19) {
        // Past what 64 bits hold; the value cell holds 30 bytes at most.
        return !huge.insert(std::string(digits)).second;
    }
    std::uint64_t number = 0;
    for (const char c : digits)
        number = number * 10 + std::uint64_t(c - '0');
    const std::uint64_t word = number / 64;
    const std::uint64_t bit = std::uint64_t(1) << (number % 64);
    // Before the bitmap grew over it, a number may have gone to the set.
    if (word < dense.size() && (dense[word] & bit))
        return true;
    if (!sparse.empty() && sparse.count(number))
        return true;
    ++seen;
    if (word >= dense.size() && word < StartWords + WordsPerNumber * seen)
        dense.resize(std::max<std::size_t>(std::size_t(word) + 1, dense.size() * 2));
    if (word < dense.size())
        dense[word] |= bit;
    else
        sparse.insert(number);
    return false;
}
