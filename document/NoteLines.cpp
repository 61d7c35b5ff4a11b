#include "NoteLines.h"

#include "ReportContent.h"
#include "qnVelTorDataAttribute.h"

#include <exception>
#include <iterator>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// A report of this many lines is read in two halves at once.
constexpr int TwoCoreLines = 1 << 16;

} // namespace

NoteLines::KeyedLine NoteLines::Compact(int line, const Key &key, std::vector<std::string> &huge)
{
    if (key.digits.empty())
        return {line, NoHuge, key.number};
    huge.push_back(key.digits);
    return {line, std::uint32_t(huge.size() - 1), 0};
}

NoteLines::Key NoteLines::Expand(const KeyedLine &compact, const std::vector<std::string> &huge)
{
    Key key;
    key.number = compact.number;
    if (compact.huge != NoHuge && compact.huge != NoKey)
        key.digits = huge[compact.huge];
    return key;
}

bool NoteLines::LineNotes(const ReportContent &content, int line, std::vector<Note> &out, Key &key)
{
    std::string_view cells[FieldCount];
    content.Line(line).Cells(cells);
    const auto at = std::uint32_t(line);
    if (qnVelTorDataNotes::IsEmptyLine(cells)) {
        out.push_back({at, std::uint8_t(qnVelTorDataNotes::WholeLine), NoteKind::EmptyLine});
        return false;
    }
    NoteKind first = NoteKind::None;
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        const NoteKind kind = qnVelTorDataNotes::CellNote(field, cells[field]);
        if (field == 0)
            first = kind;
        if (kind != NoteKind::None)
            out.push_back({at, std::uint8_t(field), kind});
    }
    // A key code earns no note of its own when it is digits, or invalid.
    if (first != NoteKind::None || !qnVelTorDataAttribute::Instance()->IsValid(0, cells[0]))
        return false;
    key = KeyCodeCounts::KeyOf(cells[0]);
    return true;
}

void NoteLines::ScanLines(const ReportContent &content, int first, int end, std::vector<Note> &found,
                          std::vector<KeyedLine> &keys, std::vector<std::string> &huge)
{
    Key key;
    for (int line = first; line < end; ++line) {
        if (LineNotes(content, line, found, key))
            keys.push_back(Compact(line, key, huge));
    }
}

std::vector<NoteLines::Note> NoteLines::Permuted(const ReportContent &content, const std::vector<Note> &notes,
                                                 const std::vector<std::uint32_t> &order, KeyCodeSet &repeated)
{
    std::vector<std::size_t> starts(order.size() + 1); // of each old line's notes
    std::size_t at = 0;
    for (std::size_t line = 0; line <= order.size(); ++line) {
        while (at < notes.size() && notes[at].line < line)
            ++at;
        starts[line] = at;
    }
    std::vector<Note> moved;
    moved.reserve(notes.size());
    for (std::size_t line = 0; line < order.size(); ++line) {
        const std::uint32_t old = order[line];
        for (std::size_t i = starts[old]; i < starts[std::size_t(old) + 1]; ++i) {
            moved.push_back({std::uint32_t(line), notes[i].field, notes[i].kind});
            if (notes[i].kind == NoteKind::KeyCodeRepeated)
                repeated.Insert(KeyCodeCounts::KeyOf(content.Cell(int(line), 0)));
        }
    }
    return moved;
}

void NoteLines::Scan(const ReportContent &content, std::vector<Note> &notes, std::vector<KeyedLine> &keys,
                     std::vector<std::string> &huge)
{
    // A large report in two halves at once, each on a core; the second
    // half's lists follow the first's.
    const int lines = content.LineCount();
    const int middle = lines >= TwoCoreLines ? lines / 2 : lines;
    std::vector<Note> laterNotes;
    std::vector<KeyedLine> laterKeys;
    std::vector<std::string> laterHuge;
    std::exception_ptr laterFailure;
    std::optional<std::thread> later;
    if (middle < lines) {
        // Room for a key per line taken here: grown on the other thread,
        // the lists would leave its heap holding their old copies, some
        // 16 MB for a million lines, after they are freed.
        laterKeys.reserve(std::size_t(lines - middle));
        keys.reserve(std::size_t(lines));
        try {
            later.emplace([&] {
                try {
                    ScanLines(content, middle, lines, laterNotes, laterKeys, laterHuge);
                } catch (...) {
                    laterFailure = std::current_exception();
                }
            });
        } catch (const std::system_error &) {
            // No thread to be had: this one reads both halves.
        }
    }
    try {
        ScanLines(content, 0, later ? middle : lines, notes, keys, huge);
    } catch (...) {
        if (later)
            later->join();
        throw;
    }
    if (later) {
        later->join();
        if (laterFailure)
            std::rethrow_exception(laterFailure);
        notes.insert(notes.end(), laterNotes.begin(), laterNotes.end());
        std::vector<Note>().swap(laterNotes);
        const auto hugeBase = std::uint32_t(huge.size());
        for (KeyedLine &key : laterKeys) {
            if (key.huge != NoHuge && key.huge != NoKey)
                key.huge += hugeBase;
        }
        keys.insert(keys.end(), laterKeys.begin(), laterKeys.end());
        huge.insert(huge.end(), std::make_move_iterator(laterHuge.begin()),
                    std::make_move_iterator(laterHuge.end()));
    }
}
