#pragma once

#include "EditResult.h"
#include "ReportContent.h"
#include "ReportRow.h"
#include "qnVelTorFile.h"
#include "qnVelTorGridAttr.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CellChanges;
class CellTyping;
class LoadedLines;
class QUndoCommand;
class QUndoStack;
class ReportEdits;
class StepHistory;
class qnVelTorDataAttribute;

// The report being edited: its lines, the verdict of every cell, the three
// header values that make up its file name, and the history of its changes.
// Every change is one of the operations below, which validates what it
// touches and makes one step that can be undone; callers never build a
// step. Views follow the signals of Content().
//
// The document keeps to editing. A bulk feature (replace, fill, renumber,
// paste, a fix) is a class of its own that gathers a CellChanges and hands
// it to ChangeCells(): it adds no public member here. The file the report
// lives in is ReportFile's; typing into a cell is CellTyping's.
//
// Lines count from 0. The grid's empty new-line row is the views' own: it
// holds no line here, but a cell edit or a line insertion may name the
// position just after the last line, where typing makes a new line.
class ReportDocument : public QObject
{
    Q_OBJECT

public:
    using HeaderBox = ReportContent::HeaderBox;
    static constexpr HeaderBox SyoudakuBangou = ReportContent::SyoudakuBangou;
    static constexpr HeaderBox HoukokuNengappi = ReportContent::HoukokuNengappi;
    static constexpr HeaderBox NiniMoziretsu = ReportContent::NiniMoziretsu;
    static constexpr int HeaderCount = ReportContent::HeaderCount;
    using Headers = std::array<std::string, HeaderCount>;

    enum class LineStep { Insert, Paste, Delete, Cut };

    explicit ReportDocument(QObject *parent = nullptr);
    ~ReportDocument() override;

    const qnVelTorDataAttribute &Attributes() const { return content.Attributes(); }
    // The lines, verdicts and header values, for the classes that gather a
    // step's changes and for the views.
    const ReportContent &Content() const { return content; }

    int LineCount() const { return content.LineCount(); }
    // Empty for a position out of range, the new-line position included.
    std::string_view Cell(int line, int field) const { return content.Cell(line, field); }
    // An empty line for a position out of range.
    const ReportRow &Line(int line) const { return content.Line(line); }
    // The line's 19 cells; empty ones for a position out of range.
    std::vector<std::string> LineCells(int line) const;
    // Which cells break their field's rule, and why.
    const qnVelTor::GridAttr &Verdicts() const { return content.Verdicts(); }

    const std::string &Header(HeaderBox box) const { return content.Header(box); }
    Headers HeaderValues() const;
    QString HeaderText(HeaderBox box) const;
    // A header box's text as the user typed it. Keystrokes in one box
    // merge into one step while `session` stays the same.
    EditResult SetHeaderText(HeaderBox box, const QString &text, int session);
    // Why the license number or the year-month breaks its rule, as
    // Shift-JIS words; empty while it keeps it, and for a box of a new
    // report that nothing has been typed into yet (it is not yet wrong,
    // only unfilled). The free string has no rule.
    std::string HeaderVerdict(HeaderBox box) const;

    // Unsaved edits: steps since the last save, or text typed into a cell
    // that no step holds yet.
    bool IsModified() const { return modified; }
    QUndoStack *UndoStack() const { return undoStack; }
    CellTyping &Typing() { return *typing; }

    // An empty report with no history.
    void Clear();
    // A whole report, as a load reads it, replaces this one and its
    // history. The header values are told at once, as the file's name
    // gave them.
    void Reset(std::vector<ReportRow> &&rows, RowArena &&arena, qnVelTor::GridAttr &&verdicts,
               const Headers &headers);
    // The report as it is now has been saved: undoing back to here leaves
    // it unmodified, and its header values are told from now on.
    void MarkSaved();
    // The header values a file's name gives, filled in as a load fills
    // them: no step, and told at once.
    void FillHeaders(const Headers &headers);

    // One cell set to `bytes`, as one step; the new-line position makes a line.
    EditResult SetCell(int line, int field, std::string bytes);
    EditResult InsertLine(int line, const std::vector<std::string> &cells = {}, LineStep step = LineStep::Insert);
    EditResult RemoveLine(int line, LineStep step = LineStep::Delete);
    EditResult MoveLine(int from, int to);
    // Many lines as one step, told to the views in one signal: `count`
    // empty lines before `line`, or the lines from `first` on (as many as
    // there are).
    //
    // The steps below that can take long on a large report tell `progress`
    // how far they have got now and then; when it says stop, the step undoes
    // what it did and the result is Cancelled: the report and its history
    // are as they were.
    EditResult InsertLines(int line, int count, const ReadProgress &progress = {});
    EditResult RemoveLines(int first, int count, LineStep step = LineStep::Delete,
                           const ReadProgress &progress = {});
    // Line order[i] becomes line i, the verdicts with their lines, as one
    // step named `text`; `order` names every line once. No step when the
    // order is the report's own.
    EditResult ReorderLines(std::vector<std::uint32_t> order, const QString &text, const ReadProgress &progress = {});

    // Many cells changed as one step named `text`, validated, lines appended
    // as the changes need them.
    EditResult ChangeCells(CellChanges &&changes, const QString &text, const ReadProgress &progress = {});

    // Lines read from elsewhere (an import), checked as they were read,
    // appended as one step named `text`.
    EditResult AppendLines(LoadedLines &&lines, const QString &text);

    EditResult Undo(const ReadProgress &progress = {});
    EditResult Redo(const ReadProgress &progress = {});

signals:
    // The count of invalid cells may have changed.
    void invalidCellsChanged();
    void modifiedChanged(bool modified);
    // The oldest `count` steps of the history were let go, to leave the
    // window room to work in under an address-space limit.
    void stepsDropped(int count);

private:
    void SyncModified();
    EditResult Push(QUndoCommand *step, const ReadProgress &progress = {});
    // Lets old steps go when `bytes` more would not fit otherwise; false
    // when they still do not.
    bool MakeRoomFor(std::uint64_t bytes);
    void TellHeaders();

    ReportContent content;
    std::unique_ptr<ReportEdits> edits;
    QUndoStack *undoStack; // owned as a child
    std::unique_ptr<StepHistory> history;
    std::unique_ptr<CellTyping> typing;
    // What the boxes were filled with: a box whose text still reads the
    // same gives these bytes back, also ones that are not Shift-JIS.
    Headers filledHeaders;
    // The header boxes whose rule is told: typed into, read from a file, or
    // saved.
    std::array<bool, HeaderCount> headerTold{};
    bool modified = false;
};
