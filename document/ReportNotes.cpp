#include "ReportNotes.h"

#include "NoteLines.h"

#include "MemoryHeadroom.h"
#include "ReportContent.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string_view>
#include <unordered_set>

namespace {

// Up to this many runs of lines are changed in place; more are merged into
// a new list in one pass.
constexpr std::size_t InPlaceRuns = 16;
// Lists of the key codes of more lines than this, kept for a moment, are
// given back to the system once done with: the heap would keep them, and a
// report without notes must cost next to nothing.
constexpr std::size_t LargeKeyLists = 1 << 16;

// Lines changing at once that make a change large, when they are most of
// the report.
constexpr int LargeChange = 1 << 16;

// Whether a key code is a number that counts: valid, and digits only.
bool Counts(std::string_view code)
{
    return !code.empty() && qnVelTorDataNotes::CellNote(0, code) == NoteKind::None
            && qnVelTorDataAttribute::Instance()->IsValid(0, code);
}

bool LineBefore(const ReportNotes::Note &note, std::uint32_t line)
{
    return note.line < line;
}

} // namespace

ReportNotes::ReportNotes(const ReportContent &content, QObject *parent) : QObject(parent), content(content)
{
    tellTimer.setSingleShot(true);
    tellTimer.setInterval(0);
    connect(&tellTimer, &QTimer::timeout, this, &ReportNotes::Tell);
    Connect();
    rebuild = true;
}

void ReportNotes::Connect()
{
    const ReportContent *c = &content;
    // Every handler may be called from a step that must not throw: memory
    // running out here only has the whole report checked again later.
    const auto guarded = [this](auto work) {
        if (!enabled || rebuild)
            return;
        if (failed) {
            // The last check of the whole report ran out of memory.
            rebuild = true;
            failed = false;
            Schedule();
            return;
        }
        try {
            work();
        } catch (...) {
            rebuild = true;
        }
        Schedule();
    };
    connect(c, &ReportContent::aboutToBeReset, this, [this] { rebuild = true; });
    connect(c, &ReportContent::reset, this, [this] { rebuild = true, Schedule(); });
    // What is pending names the lines where they were.
    connect(c, &ReportContent::linesAboutToBeReordered, this, [this, guarded] { guarded([&] { Flush(); }); });
    connect(c, &ReportContent::linesPermuted, this,
            [this, guarded](const std::vector<std::uint32_t> &order) { guarded([&] { OnPermuted(order); }); });
    connect(c, &ReportContent::linesAboutToChange, this,
            [this, guarded](int first, int last) { guarded([&] { OnAboutToChange(first, last); }); });
    connect(c, &ReportContent::cellsChanged, this,
            [this, guarded](int first, int last) { guarded([&] { AddRun(dirty, first, last); }); });
    connect(c, &ReportContent::linesAboutToBeInserted, this, [this, guarded](int, int) { guarded([&] { Flush(); }); });
    connect(c, &ReportContent::linesInserted, this,
            [this, guarded](int first, int count) { guarded([&] { OnInserted(first, count); }); });
    connect(c, &ReportContent::linesAboutToBeRemoved, this,
            [this, guarded](int first, int count) { guarded([&] { OnAboutToBeRemoved(first, count); }); });
    connect(c, &ReportContent::linesRemoved, this,
            [this, guarded](int first, int count) { guarded([&] { OnRemoved(first, count); }); });
    connect(c, &ReportContent::lineAboutToBeMoved, this, [this, guarded](int, int) { guarded([&] { Flush(); }); });
    connect(c, &ReportContent::lineMoved, this, [this, guarded](int from, int to) { guarded([&] { OnMoved(from, to); }); });
}

void ReportNotes::SetEnabled(bool on)
{
    if (on == enabled)
        return;
    enabled = on;
    std::vector<Note>().swap(notes);
    kindCounts = {};
    counts.Clear();
    changing.clear();
    changingLines = 0;
    dirty.clear();
    added.clear();
    oldKeys.clear();
    oldHuge.clear();
    removedKeys.clear();
    rebuild = on;
    emit notesChanged();
}

const std::vector<ReportNotes::Note> &ReportNotes::Notes() const
{
    FlushNow();
    return notes;
}

std::uint64_t ReportNotes::Count() const
{
    FlushNow();
    return notes.size();
}

std::uint64_t ReportNotes::Count(NoteKind kind) const
{
    FlushNow();
    const auto index = std::size_t(kind);
    return index < kindCounts.size() ? kindCounts[index] : 0;
}

NoteKind ReportNotes::At(int line, std::uint32_t field) const
{
    FlushNow();
    if (line < 0)
        return NoteKind::None;
    const auto it = std::lower_bound(notes.begin(), notes.end(), std::uint32_t(line), LineBefore);
    for (auto note = it; note != notes.end() && note->line == std::uint32_t(line); ++note) {
        if (note->field == field)
            return note->kind;
    }
    return NoteKind::None;
}

std::size_t ReportNotes::MemoryBytes() const
{
    return notes.capacity() * sizeof(Note) + counts.MemoryBytes();
}

void ReportNotes::FlushNow() const
{
    auto *self = const_cast<ReportNotes *>(this);
    try {
        self->Flush();
    } catch (...) {
        self->rebuild = true;
    }
}

void ReportNotes::Schedule()
{
    try {
        if (!tellTimer.isActive())
            tellTimer.start();
    } catch (...) {
        // Told with the next change, or asked.
    }
}

void ReportNotes::Tell()
{
    FlushNow();
    emit notesChanged();
}

void ReportNotes::Rebuild()
{
    rebuild = false;
    changing.clear();
    changingLines = 0;
    dirty.clear();
    added.clear();
    oldKeys.clear();
    oldHuge.clear();
    removedKeys.clear();
    std::vector<Note>().swap(notes);
    kindCounts = {};
    try {
        // One walk over the lines, which a sort leaves scattered in memory:
        // the cells' notes, and the key codes kept aside to be counted in
        // the report's order once the smallest is known, where the numbers'
        // bit map starts (seldom 1 in a report numbered on from another
        // month's).
        std::vector<OldKey> keys;
        std::vector<std::string> huge;
        NoteLines::Scan(content, notes, keys, huge);
        std::uint64_t least = std::numeric_limits<std::uint64_t>::max();
        for (const OldKey &key : keys) {
            if (key.huge == NoteLines::NoHuge)
                least = std::min(least, key.number);
        }
        counts.Clear(least == std::numeric_limits<std::uint64_t>::max() ? 0 : least);
        // A number's lines after its first are marked; the marks go in
        // before each line's other notes, in one pass from the end.
        std::vector<std::uint32_t> repeated;
        for (const OldKey &compact : keys) {
            if (counts.Add(NoteLines::Expand(compact, huge)) > 0)
                repeated.push_back(std::uint32_t(compact.line));
        }
        const bool large = keys.size() > LargeKeyLists;
        std::vector<OldKey>().swap(keys);
        if (large)
            ReleaseFreedMemory();
        if (!repeated.empty()) {
            std::size_t from = notes.size();
            notes.resize(notes.size() + repeated.size());
            std::size_t to = notes.size();
            for (auto line = repeated.rbegin(); line != repeated.rend(); ++line) {
                while (from > 0 && notes[from - 1].line >= *line)
                    notes[--to] = notes[--from];
                notes[--to] = {*line, 0, NoteKind::KeyCodeRepeated};
            }
        }
        if (notes.capacity() > notes.size() * 2)
            notes.shrink_to_fit();
        for (const Note &note : notes)
            ++kindCounts[std::size_t(note.kind)];
    } catch (...) {
        // No notes rather than some: tried again with the next change.
        std::vector<Note>().swap(notes);
        kindCounts = {};
        counts.Clear();
        throw;
    }
}

void ReportNotes::Normalize(Runs &runs)
{
    // Mostly told in order already (a step applies its lines top down),
    // where sorting would cost more than all the rest.
    if (!std::is_sorted(runs.begin(), runs.end()))
        std::sort(runs.begin(), runs.end());
    std::size_t kept = 0;
    for (const auto &run : runs) {
        if (kept > 0 && run.first <= runs[kept - 1].second + 1)
            runs[kept - 1].second = std::max(runs[kept - 1].second, run.second);
        else
            runs[kept++] = run;
    }
    runs.resize(kept);
}

void ReportNotes::AddRun(Runs &runs, int first, int last)
{
    if (!runs.empty() && first >= runs.back().first && first <= runs.back().second + 1)
        runs.back().second = std::max(runs.back().second, last);
    else
        runs.emplace_back(first, last);
}

void ReportNotes::Flush()
{
    if (!enabled)
        return;
    if (rebuild) {
        try {
            Rebuild();
        } catch (...) {
            // Not tried again at every question: the next change does.
            failed = true;
        }
        return;
    }
    if (changing.empty() && dirty.empty())
        return;
    Normalize(changing);
    Normalize(dirty);
    Normalize(added);
    std::stable_sort(oldKeys.begin(), oldKeys.end(),
                     [](const OldKey &a, const OldKey &b) { return a.line < b.line; });
    Runs all;
    all.reserve(changing.size() + dirty.size());
    std::merge(changing.begin(), changing.end(), dirty.begin(), dirty.end(), std::back_inserter(all));
    Normalize(all);

    // The numbers lines gave up, and those they took: all are taken away
    // before any is added, so that numbers moving from line to line (a
    // renumbering) are never seen on two lines at once.
    std::vector<OldKey> removals;
    std::vector<OldKey> additions;
    std::vector<std::string> addedHuge;
    std::vector<Note> fresh;
    std::size_t nextOld = 0;
    std::size_t nextChanging = 0;
    std::size_t nextAdded = 0;
    // A few lines ahead of the one checked, their rows asked for in time.
    std::size_t aheadRun = 0;
    int aheadLine = all.empty() ? 0 : all.front().first;
    const auto fetchNext = [&] {
        if (aheadRun >= all.size())
            return;
        if (aheadLine < content.LineCount())
            content.Line(aheadLine).Prefetch();
        if (++aheadLine > all[aheadRun].second && ++aheadRun < all.size())
            aheadLine = all[aheadRun].first;
    };
    for (int i = 0; i < ReportRow::PrefetchAhead; ++i)
        fetchNext();
    auto cursor = notes.cbegin();
    for (const auto &run : all) {
        cursor = std::lower_bound(cursor, notes.cend(), std::uint32_t(run.first), LineBefore);
        for (int line = run.first; line <= run.second; ++line) {
            fetchNext();
            const auto at = std::uint32_t(line);
            while (cursor != notes.cend() && cursor->line < at)
                ++cursor;
            const bool wasRepeated = cursor != notes.cend() && cursor->line == at && cursor->field == 0
                    && cursor->kind == NoteKind::KeyCodeRepeated;
            const std::size_t start = fresh.size();
            Key key;
            const bool counted = NoteLines::LineNotes(content, line, fresh, key);
            while (nextChanging < changing.size() && changing[nextChanging].second < line)
                ++nextChanging;
            const bool changed = nextChanging < changing.size() && changing[nextChanging].first <= line;
            while (nextAdded < added.size() && added[nextAdded].second < line)
                ++nextAdded;
            const bool isNew = nextAdded < added.size() && added[nextAdded].first <= line;
            // The key code as it was: the first told for the line, unless
            // the line came since, with none.
            bool hadKey = false;
            OldKey record {};
            while (nextOld < oldKeys.size() && oldKeys[nextOld].line < line)
                ++nextOld;
            if (nextOld < oldKeys.size() && oldKeys[nextOld].line == line) {
                record = oldKeys[nextOld];
                hadKey = !isNew && record.huge != NoteLines::NoKey;
                while (nextOld < oldKeys.size() && oldKeys[nextOld].line == line)
                    ++nextOld;
            }
            const Key old = hadKey ? NoteLines::Expand(record, oldHuge) : Key();
            if (!changed || (hadKey && counted && old == key)) {
                // The same number on the same line: it keeps its place
                // among the number's lines.
                if (counted && wasRepeated)
                    fresh.insert(fresh.begin() + std::ptrdiff_t(start), {at, 0, NoteKind::KeyCodeRepeated});
                continue;
            }
            if (hadKey)
                removals.push_back(record);
            if (counted)
                additions.push_back(NoteLines::Compact(line, key, addedHuge));
        }
    }
    // Which of a number's lines comes first is the rescan's to tell, where
    // the number stands on more than one line.
    KeySet numbers;
    for (const OldKey &removal : removals) {
        const Key key = NoteLines::Expand(removal, oldHuge);
        if (counts.Remove(key) > 0)
            numbers.Insert(key);
    }
    for (const OldKey &addition : additions) {
        const Key key = NoteLines::Expand(addition, addedHuge);
        if (counts.Add(key) > 0)
            numbers.Insert(key);
    }
    const bool large = oldKeys.size() > LargeKeyLists;
    changing.clear();
    changingLines = 0;
    dirty.clear();
    added.clear();
    std::vector<OldKey>().swap(oldKeys);
    oldHuge.clear();
    ReplaceLines(all, std::move(fresh));
    if (!numbers.Empty())
        Rescan(numbers);
    if (large) {
        std::vector<OldKey>().swap(removals);
        std::vector<OldKey>().swap(additions);
        ReleaseFreedMemory();
    }
}

std::vector<ReportNotes::Note>::iterator ReportNotes::LineStart(int line)
{
    return std::lower_bound(notes.begin(), notes.end(), std::uint32_t(line), LineBefore);
}

void ReportNotes::Forget(std::vector<Note>::const_iterator first, std::vector<Note>::const_iterator last)
{
    for (auto it = first; it != last; ++it)
        --kindCounts[std::size_t(it->kind)];
}

void ReportNotes::ReplaceLines(const Runs &runs, std::vector<Note> &&fresh)
{
    for (const Note &note : fresh)
        ++kindCounts[std::size_t(note.kind)];
    auto next = fresh.cbegin();
    if (runs.size() <= InPlaceRuns) {
        // The old notes of each run give way to the new ones where they
        // stand: a few lines edited cost no copy of the whole list.
        for (const auto &run : runs) {
            const auto first = std::size_t(LineStart(run.first) - notes.begin());
            const auto last = std::size_t(LineStart(run.second + 1) - notes.begin());
            Forget(notes.begin() + std::ptrdiff_t(first), notes.begin() + std::ptrdiff_t(last));
            auto end = next;
            while (end != fresh.cend() && end->line <= std::uint32_t(run.second))
                ++end;
            const auto given = std::size_t(end - next);
            const std::size_t common = std::min(given, last - first);
            std::copy(next, next + std::ptrdiff_t(common), notes.begin() + std::ptrdiff_t(first));
            if (given < last - first)
                notes.erase(notes.begin() + std::ptrdiff_t(first + given), notes.begin() + std::ptrdiff_t(last));
            else
                notes.insert(notes.begin() + std::ptrdiff_t(last), next + std::ptrdiff_t(common), end);
            next = end;
        }
        return;
    }
    std::vector<Note> merged;
    merged.reserve(notes.size() + fresh.size());
    auto old = notes.cbegin();
    for (const auto &run : runs) {
        const auto first = std::lower_bound(old, notes.cend(), std::uint32_t(run.first), LineBefore);
        const auto last = std::lower_bound(first, notes.cend(), std::uint32_t(run.second) + 1, LineBefore);
        merged.insert(merged.end(), old, first);
        Forget(first, last);
        old = last;
        while (next != fresh.cend() && next->line <= std::uint32_t(run.second))
            merged.push_back(*next++);
    }
    merged.insert(merged.end(), old, notes.cend());
    notes.swap(merged);
}

void ReportNotes::Rescan(const KeySet &numbers)
{
    // The lines whose key code note is to change: KeyCodeRepeated or none.
    std::vector<std::pair<std::uint32_t, bool>> changes;
    KeySet seen;
    auto cursor = notes.cbegin();
    const int lines = content.LineCount();
    for (int line = 0; line < lines; ++line) {
        const std::string_view code = content.Cell(line, 0);
        if (code.empty() || code[0] < '0' || code[0] > '9' || !Counts(code))
            continue;
        const Key key = KeyCodeCounts::KeyOf(code);
        if (!numbers.Contains(key))
            continue;
        const bool repeated = !seen.Add(key);
        const auto at = std::uint32_t(line);
        cursor = std::lower_bound(cursor, notes.cend(), at, LineBefore);
        const bool has = cursor != notes.cend() && cursor->line == at && cursor->field == 0
                && cursor->kind == NoteKind::KeyCodeRepeated;
        if (has != repeated)
            changes.emplace_back(at, repeated);
    }
    if (changes.empty())
        return;
    // As new notes of their lines: the other notes of each line stay.
    Runs runs;
    std::vector<Note> fresh;
    for (const auto &[line, repeated] : changes) {
        runs.emplace_back(int(line), int(line));
        if (repeated)
            fresh.push_back({line, 0, NoteKind::KeyCodeRepeated});
        const auto first = LineStart(int(line));
        for (auto it = first; it != notes.end() && it->line == line; ++it) {
            if (it->kind != NoteKind::KeyCodeRepeated)
                fresh.push_back(*it);
        }
    }
    ReplaceLines(runs, std::move(fresh));
}

void ReportNotes::OnAboutToChange(int first, int last)
{
    // Told from the steps' undo, which must not fail: short of memory, the
    // whole report is checked again instead.
    try {
        NoteOldKeys(first, last);
    } catch (const std::bad_alloc &) {
        rebuild = true;
    }
}

void ReportNotes::NoteOldKeys(int first, int last)
{
    // Most of a large report changing, such as a renumbering, is checked
    // afresh, on both cores, rather than line by line with its old keys.
    changingLines += std::int64_t(last) - first + 1;
    if (changingLines >= std::max(LargeChange, content.LineCount() / 2)) {
        rebuild = true;
        return;
    }
    for (int line = std::max(first, 0); line <= last && line < content.LineCount(); ++line) {
        // A line whose key code counts for nothing is told too: what a line
        // held is what it held first since the last check.
        const std::string_view code = content.Cell(line, 0);
        if (!Counts(code)) {
            oldKeys.push_back({line, NoteLines::NoKey, 0});
            continue;
        }
        Key key = KeyCodeCounts::KeyOf(code);
        std::uint32_t huge = NoteLines::NoHuge;
        if (!key.digits.empty()) {
            huge = std::uint32_t(oldHuge.size());
            oldHuge.push_back(std::move(key.digits));
        }
        oldKeys.push_back({line, huge, key.number});
    }
    AddRun(changing, first, last);
}

void ReportNotes::OnInserted(int first, int count)
{
    // The lines after make room; the new ones are checked as changed from
    // nothing.
    for (auto it = LineStart(first); it != notes.end(); ++it)
        it->line += std::uint32_t(count);
    AddRun(changing, first, first + count - 1);
    AddRun(added, first, first + count - 1);
}

void ReportNotes::OnAboutToBeRemoved(int first, int count)
{
    Flush();
    for (int line = first; line < first + count; ++line) {
        const std::string_view code = content.Cell(line, 0);
        if (!Counts(code))
            continue;
        const Key key = KeyCodeCounts::KeyOf(code);
        if (counts.Remove(key) > 0)
            removedKeys.push_back(key);
    }
}

void ReportNotes::OnRemoved(int first, int count)
{
    const auto begin = LineStart(first);
    const auto end = LineStart(first + count);
    Forget(begin, end);
    for (auto it = notes.erase(begin, end); it != notes.end(); ++it)
        it->line -= std::uint32_t(count);
    if (removedKeys.empty())
        return;
    KeySet numbers;
    for (const Key &key : removedKeys)
        numbers.Insert(key);
    removedKeys.clear();
    Rescan(numbers);
}

void ReportNotes::OnPermuted(const std::vector<std::uint32_t> &order)
{
    // The counts of the numbers stay: only which line of a repeated number
    // comes first may change. A sort need not check a single cell again.
    KeySet numbers;
    notes = NoteLines::Permuted(content, notes, order, numbers);
    if (!numbers.Empty())
        Rescan(numbers);
}

void ReportNotes::OnMoved(int from, int to)
{
    if (from == to)
        return;
    // The moved line's notes go to their new place as a block, those of the
    // lines between shift by one: the list stays in order.
    const auto movedFirst = LineStart(from);
    const auto movedLast = LineStart(from + 1);
    if (from < to) {
        const auto last = LineStart(to + 1);
        for (auto it = movedLast; it != last; ++it)
            --it->line;
        for (auto it = movedFirst; it != movedLast; ++it)
            it->line = std::uint32_t(to);
        std::rotate(movedFirst, movedLast, last);
    } else {
        const auto begin = LineStart(to);
        for (auto it = begin; it != movedFirst; ++it)
            ++it->line;
        for (auto it = movedFirst; it != movedLast; ++it)
            it->line = std::uint32_t(to);
        std::rotate(begin, movedFirst, movedLast);
    }
    // Its number may now come before, or after, its other lines.
    const std::string_view code = content.Cell(to, 0);
    if (!Counts(code))
        return;
    const Key key = KeyCodeCounts::KeyOf(code);
    if (counts.Count(key) < 2)
        return;
    KeySet numbers;
    numbers.Insert(key);
    Rescan(numbers);
}
