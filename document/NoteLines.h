#pragma once

#include "KeyCodeCounts.h"
#include "qnVelTorDataNotes.h"

#include <cstdint>
#include <string>
#include <vector>

class ReportContent;

// What a report's notes are made of, line by line: a line's notes from the
// rules of the fields' hints, and its key code where the key code counts
// toward the rule that a number stands on one line only, kept compactly.
// Reads the content and keeps nothing, so that two halves of a report can
// be read at once.
class NoteLines
{
public:
    struct Note
    {
        std::uint32_t line;
        std::uint8_t field; // qnVelTorDataNotes::WholeLine for the line as a whole
        NoteKind kind;
    };

    using Key = KeyCodeCounts::Key;
    // A line's key code: its number, or its digits kept aside in a list of
    // numbers too long to count (`huge`).
    struct KeyedLine
    {
        int line;
        std::uint32_t huge; // index into that list, NoHuge, or NoKey: none that counts
        std::uint64_t number;
    };
    static constexpr std::uint32_t NoHuge = ~std::uint32_t(0);
    static constexpr std::uint32_t NoKey = NoHuge - 1;

    static KeyedLine Compact(int line, const Key &key, std::vector<std::string> &huge);
    static Key Expand(const KeyedLine &compact, const std::vector<std::string> &huge);

    // Appends the notes of one line but KeyCodeRepeated to `out`; true,
    // with its number in `key`, when the line's key code counts.
    static bool LineNotes(const ReportContent &content, int line, std::vector<Note> &out, Key &key);

    // Every line's notes and the key codes that count, in the lines' order;
    // a large report in two halves at once, each on a core.
    static void Scan(const ReportContent &content, std::vector<Note> &notes, std::vector<KeyedLine> &keys,
                     std::vector<std::string> &huge);

    // The notes of lines put in another order (line i is the one that was
    // at order[i], and `content` holds them so), each line's going with it;
    // the numbers of the lines marked KeyCodeRepeated are added to
    // `repeated`.
    static std::vector<Note> Permuted(const ReportContent &content, const std::vector<Note> &notes,
                                      const std::vector<std::uint32_t> &order, KeyCodeSet &repeated);

private:
    static void ScanLines(const ReportContent &content, int first, int end, std::vector<Note> &found,
                          std::vector<KeyedLine> &keys, std::vector<std::string> &huge);
};
