#pragma once

#include "ReportCsvWriter.h"
#include "ReportImporter.h"
#include "ReportContent.h"
#include "ReportRow.h"
#include "qnVelTorFile.h"
#include "qnVelTorGridAttr.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CellChanges;
class QUndoStack;
class ReportEdits;
class qnVelTorDataAttribute;

// The report being edited: its lines, the verdict of every cell, the three
// header values that make up its file name, the file it came from and the
// history of its changes. Every change goes through one of the operations
// below, which validates what it touches and makes one step that can be
// undone; callers never build a step. Views follow the signals.
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

    enum class LineStep { Insert, Paste, Delete, Cut };

    struct LoadResult
    {
        ReadFailure failure = ReadFailure::None;
        ReadFacts facts;
        bool Ok() const { return failure == ReadFailure::None; }
    };

    struct SaveResult
    {
        WriteFailure failure = WriteFailure::None;
        // After a failed write in place: where the copy of the old file is.
        QString backupPath;
        bool Written() const { return failure == WriteFailure::None; }
    };

    // What the file the report was read from holds that the report does
    // not, and a save would therefore leave out. Lines count from 1.
    struct SaveLosses
    {
        std::uint64_t longLines = 0; // lines with a non-empty field past the 19th
        std::uint64_t firstLongLine = 0;
        std::uint64_t bytesAfterEofMark = 0;
        bool Any() const { return longLines || bytesAfterEofMark; }
    };

    // Where an import puts its lines: after the report's, or into a new
    // report with no file, as New would make it.
    enum class ImportInto { End, NewReport };

    // What an import did. `lines` from `firstLine` on are the imported
    // ones; `invalid` counts their invalid cells.
    struct ImportResult
    {
        ReadFailure failure = ReadFailure::None;
        ImportFacts facts;
        int firstLine = 0;
        int lines = 0;
        std::uint64_t invalid = 0;
        bool Ok() const { return failure == ReadFailure::None; }
    };

    struct ExportResult
    {
        bool written = false;
        bool outOfMemory = false;
        bool ontoReport = false; // the path is the report's own file, left alone
        ExportFacts facts;
    };

    // A header value that would not come back as it is from the file name
    // a save proposes: it holds a character no file name can hold, or the
    // name reads back as `readBack`.
    struct HeaderDrift
    {
        HeaderBox box;
        bool unfit = false;
        std::string readBack;
    };

    // What a block paste did, in cells; the rectangle it changed when
    // `changed`.
    struct PasteResult
    {
        int pasted = 0;
        int invalid = 0;
        int refused = 0; // characters code page 932 lacks
        int outside = 0; // right of the last field
        int flattened = 0; // a TAB or line break in the cell became a space
        bool changed = false;
        bool outOfMemory = false;
        bool cancelled = false; // by the progress callback; nothing changed
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
    };

    explicit ReportDocument(QObject *parent = nullptr);
    ~ReportDocument() override;

    const qnVelTorDataAttribute &Attributes() const { return attributes; }
    // The lines, verdicts and header values, for the classes that gather a
    // step's changes.
    const ReportContent &Content() const { return content; }

    int LineCount() const { return int(lines.size()); }
    // Empty for a position out of range, the new-line position included.
    std::string_view Cell(int line, int field) const { return content.Cell(line, field); }
    // An empty line for a position out of range.
    const ReportRow &Line(int line) const { return content.Line(line); }
    // The line's 19 cells; empty ones for a position out of range.
    std::vector<std::string> LineCells(int line) const;
    const qnVelTor::GridAttr &CellAttrs() const { return attrs; }

    const std::string &Header(HeaderBox box) const { return headers[box]; }
    QString HeaderText(HeaderBox box) const;
    // The three header values joined, as a save would name the file.
    std::string HeaderBaseName() const;
    // The base name the report was opened as or last saved as.
    const std::string &FileBaseName() const { return fileBaseName; }
    const QString &FilePath() const { return filePath; }
    // The header values were found to give another file name than the
    // report's, and no save has written it since.
    bool NameChanged() const { return nameChanged; }
    bool IsModified() const { return modified; }
    QUndoStack *UndoStack() const { return undoStack; }

    // An empty report, with no file and no history.
    void Clear();
    // Replaces the report by the file's only when it was read whole; a
    // failed read leaves the report as it was, but a later save compares
    // the header values with the failed file's name. A read the user
    // cancels leaves everything as it was.
    LoadResult Load(const QString &path, const ReadProgress &progress = {});

    // Takes the file name the header values give: when it differs from the
    // report's, it becomes the report's and NameChanged() is set.
    void TakeHeaderName();
    // Whether a save must ask for a file name.
    bool NeedsFileName() const { return filePath.isEmpty() || nameChanged; }
    // The name a save dialog suggests: the base name with the current
    // file's extension, or .dat; empty without a base name.
    QString SuggestedFileName() const;
    // Before a save whose file name comes from the header values (Save As
    // always, Save when NeedsFileName() or the values changed): the values
    // that would not come back from that name on opening.
    std::vector<HeaderDrift> HeaderDrifts(bool saveAs) const;
    // How the current file changed on the disk since it was opened or
    // last saved here: by another program, or by another copy of the
    // editor. Same for a report that has no file.
    DiskChange ChangeOnDisk() const;
    // Writes the report to `path`; only a written file becomes the current
    // one, and the report counts as saved from then on. When the file can
    // only be overwritten in place and no copy of it can be kept,
    // `confirmWithoutBackup` is asked first; unset counts as no.
    SaveResult Save(const QString &path, const std::function<bool()> &confirmWithoutBackup = {});
    // What a save would leave out of the file the report was read from,
    // as the load found it; nothing once a save has written the report.
    const SaveLosses &Losses() const { return losses; }

    // Appends the lines of a CSV or text file (ReportImporter.h: encoding
    // and separator told from its bytes) as one step, validated. The file
    // never becomes the report's. Into a new report, the report is replaced
    // only when the file was read whole; any failure, or a cancel through
    // `progress`, leaves everything as it was.
    ImportResult Import(const QString &path, const ReadProgress &progress = {}, ImportInto into = ImportInto::End);
    // Writes the report as a CSV file for spreadsheets (ReportCsvWriter.h).
    // The report, its file and its saved state are left as they are; the
    // report's own file is never written over.
    ExportResult Export(const QString &path) const;
    // The name an export dialog suggests: the header values' base name
    // with .csv; empty without one.
    QString SuggestedExportName() const;

    // The text the user is typing into a cell, before it is committed: its
    // verdict is shown at once, and typing into the new-line position makes
    // a line. EndTyping() takes that back when the edit is given up.
    void TypeCell(int line, int field, const QString &text);
    void EndTyping();
    // A committed edit: an unchanged text keeps the cell's exact bytes.
    void SetCellText(int line, int field, const QString &text);
    // False when memory ran out; the report is then as it was.
    bool SetCell(int line, int field, std::string bytes);

    // False when memory ran out; the report is then as it was.
    bool InsertLine(int line, const std::vector<std::string> &cells = {}, LineStep step = LineStep::Insert);
    bool RemoveLine(int line, LineStep step = LineStep::Delete);
    bool MoveLine(int from, int to);
    // Many lines as one step, told to the views in one signal: `count`
    // empty lines before `line`, or the lines from `first` on (as many as
    // there are). False when memory ran out; the report is then as it was.
    bool InsertLines(int line, int count);
    bool RemoveLines(int first, int count, LineStep step = LineStep::Delete);
    // Line order[i] becomes line i, the verdicts with their lines, as one
    // step named `text`; `order` names every line once. No step when the
    // order is the report's own. False when memory ran out.
    bool ReorderLines(std::vector<std::uint32_t> order, const QString &text);

    // A header box's text as the user typed it. Keystrokes in one box
    // merge into one step while `session` stays the same.
    void SetHeaderText(HeaderBox box, const QString &text, int session);
    // Why the license number or the year-month breaks its rule, as
    // Shift-JIS words; empty while it keeps it, and for a box of a new
    // report that nothing has been typed into yet (it is not yet wrong,
    // only unfilled). The free string has no rule.
    std::string HeaderVerdict(HeaderBox box) const;

    // The rectangle as spreadsheets copy it: TAB between cells, CR LF
    // between lines. Empty when memory ran out (`outOfMemory` set).
    QString BlockText(int top, int left, int bottom, int right, bool *outOfMemory = nullptr) const;
    // Empties the rectangle's cells; false when memory ran out.
    bool ClearBlock(int top, int left, int bottom, int right);
    // Spreadsheet text from (line, field) on, to the right and down,
    // adding lines as needed, as one step. Quoted cells may hold TABs, line
    // breaks and doubled quotes (DelimitedText.h); a TAB or line break in a
    // cell becomes a space. `progress` hears now and then how many of the
    // text's characters have been read; false from it cancels the paste.
    PasteResult PasteText(int line, int field, const QString &text, const ReadProgress &progress = {});

    // Many cells changed as one step named `text`, validated, lines appended
    // as the changes need them. False when memory ran out; the report is
    // then as it was.
    bool ChangeCells(CellChanges &&changes, const QString &text);

    // False when memory ran out; the report is then as it was.
    bool Undo();
    bool Redo();

signals:
    // The lines, their cells and verdicts and the header values tell their
    // changes through Content().
    void aboutToBeReset();
    void reset();
    void errorCountChanged();
    void modifiedChanged(bool modified);
    void filePathChanged(const QString &path);

private:
    void SyncModified();
    void SetFilePath(const QString &path);
    void SetModified(bool value);
    // Pushes a step; false (with the step's changes taken back) when
    // memory ran out.
    bool Push(class QUndoCommand *step);
    void ResetLines(std::vector<ReportRow> &&rows, RowArena &&rowArena, qnVelTor::GridAttr &&verdicts);

    ReportContent content;
    // The parts of the content the document's own operations work on.
    const qnVelTorDataAttribute &attributes;
    RowArena &arena;
    std::vector<ReportRow> &lines;
    qnVelTor::GridAttr &attrs;
    std::array<std::string, HeaderCount> &headers;
    // What the boxes were filled with: a box whose text still reads the
    // same gives these bytes back, also ones that are not Shift-JIS.
    std::array<std::string, HeaderCount> filledHeaders;
    std::string fileBaseName;
    // The header boxes whose rule is told: typed into, or read from a file.
    std::array<bool, HeaderCount> headerChecked{};
    QString filePath;
    // The file as it was when it was read or written here.
    FileIdentity fileIdentity;
    bool nameChanged = false;
    bool modified = false;
    SaveLosses losses;
    QUndoStack *undoStack; // owned as a child
    std::unique_ptr<ReportEdits> edits;

    bool loading = false;

    // The cell being typed into, and the line typing made there.
    int typedLine = -1;
    int typingLine = -1;
    int typingField = -1;
    bool modifiedBeforeTyping = false;
    int stackIndexAtTyping = 0;
};
