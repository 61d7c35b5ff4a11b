#pragma once

#include "KeyCodeCounts.h"
#include "NoteLines.h"
#include "qnVelTorDataNotes.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class ReportContent;

// The notes the report earns from the rules of the fields' hints
// (qnVelTorDataNotes): values a report hardly ever holds, shown apart from
// the errors and never in the way of anything. They are the notes that
// `qnveltor --check --notes` gives for the report as a save would write it:
// a key code repeats on every line after the first that holds its number.
//
// They follow every change of the content as it is told. The lines a change
// touches are checked again once it is over (at the first question after
// it, or when the event loop comes round); a key code's repeats are kept as
// a count per number, so that only the lines holding a number an edit added
// or took away, where it stood on other lines too, are looked at again.
// Only the notes take memory: a report without any pays a bit or so per key
// code (KeyCodeCounts).
class ReportNotes : public QObject
{
    Q_OBJECT

public:
    using Note = NoteLines::Note;

    // `content` is not owned and must outlive this.
    explicit ReportNotes(const ReportContent &content, QObject *parent = nullptr);

    // Off, no note is kept nor looked for; on again, the whole report is
    // checked. On from the start.
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled; }

    // In the order of lines, then fields.
    const std::vector<Note> &Notes() const;
    std::uint64_t Count() const;
    std::uint64_t Count(NoteKind kind) const;
    // The note of a cell, or with qnVelTorDataNotes::WholeLine of the line
    // as a whole; None when it has none.
    NoteKind At(int line, std::uint32_t field) const;
    // About what the notes and the key codes' counts take in memory.
    std::size_t MemoryBytes() const;

signals:
    // The notes may have changed; told once after a change of the content,
    // when the event loop comes round.
    void notesChanged();

private:
    using Key = KeyCodeCounts::Key;
    // A line whose text is about to change held this key code.
    using OldKey = NoteLines::KeyedLine;
    using Runs = std::vector<std::pair<int, int>>;
    using KeySet = KeyCodeSet;

    // Runs of lines sorted by their first line, those that touch or overlap
    // joined; a run added at the end joins the last when it can.
    static void Normalize(Runs &runs);
    static void AddRun(Runs &runs, int first, int last);

    void Connect();
    // Every line checked again, the counts made afresh.
    void Rebuild();
    // The lines told since the last time are checked again.
    void Flush();
    // The questions check what is pending first.
    void FlushNow() const;
    void Schedule();
    void Tell();

    // The lines of `runs` (sorted, apart) get the notes of `fresh`.
    void ReplaceLines(const Runs &runs, std::vector<Note> &&fresh);
    // Every line holding a number of `numbers` gets KeyCodeRepeated but the
    // first.
    void Rescan(const KeySet &numbers);
    std::vector<Note>::iterator LineStart(int line);
    void Forget(std::vector<Note>::const_iterator first, std::vector<Note>::const_iterator last);

    void OnAboutToChange(int first, int last);
    void NoteOldKeys(int first, int last);
    void OnInserted(int first, int count);
    void OnAboutToBeRemoved(int first, int count);
    void OnRemoved(int first, int count);
    void OnMoved(int from, int to);
    void OnPermuted(const std::vector<std::uint32_t> &order);

    const ReportContent &content; // not owned
    bool enabled = true;
    // Everything is to be checked again: a load, a change over most of a
    // large report, or memory that ran out on the way.
    bool rebuild = false;
    bool failed = false; // that check ran out of memory itself
    std::vector<Note> notes;
    std::array<std::uint64_t, qnVelTorDataNotes::LastKind + 1> kindCounts {};
    KeyCodeCounts counts;

    // Told but not yet checked: lines whose texts change (their key codes
    // as they were), lines only to check again, and lines that came since
    // (in `changing` too), which held no key code before.
    Runs changing;
    std::int64_t changingLines = 0; // told as changing, overlaps counted again
    Runs dirty;
    Runs added;
    std::vector<OldKey> oldKeys;
    std::vector<std::string> oldHuge;
    // Numbers taken away by lines removed, whose other lines' repeats are
    // to be looked at again once the lines are gone.
    std::vector<Key> removedKeys;
    QTimer tellTimer;
};
