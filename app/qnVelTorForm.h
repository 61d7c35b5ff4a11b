#pragma once

#include "ReportDocument.h"
#include "ReportFile.h"
#include "ReportNotes.h"
#include "ReportSearch.h"
#include "VelTorFormUi.h"
#include "WindowDialogs.h"
#include "qnVelTorClipboard.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>

#include <memory>

class BulkCommands;
class CommandContext;
class DiskWatch;
class EditCommands;
class FileCommands;
class FixCommands;
class GridCommands;
class HeaderBoxes;
class QMimeData;
class QPushButton;
class QUrl;
class RecoveryCopies;
class ReportModel;
class ReviewDock;
class TAboutBox;

// The main window: it shows the report its document holds, in the three
// header boxes and the grid, and wires the user's commands to the
// controllers that carry them out (FileCommands, GridCommands,
// BulkCommands, EditCommands). Its handlers keep their names and forward;
// what a command does lives in the controllers and the document.
class TVelTorForm : public QMainWindow
{
    Q_OBJECT

public:
    using Dialogs = WindowDialogs;

    explicit TVelTorForm(QWidget *parent = nullptr);
    ~TVelTorForm() override;

    // Not owned; null restores the real dialogs.
    void SetDialogs(Dialogs *dialogs);
    // Not owned; null restores LineClipboard(), the system's clipboard.
    void SetLineClipboard(qnVelTorClipboard *clipboard);
    // Milliseconds a long command runs before it shows its progress with a
    // Cancel button; until then no event is handled.
    void SetLoadProgressDelay(int milliseconds);

    // The report, its file and the window's state, read from them.
    ReportDocument &Document() { return document; }
    const ReportDocument &Document() const { return document; }
    ReportFile &File();
    const ReportFile &File() const;
    bool Modified() const { return document.IsModified(); }
    const qnVelTor::GridAttr &CellAttrs() const { return document.Verdicts(); }
    // The notes from the hints, kept while 表示 → 注意を表示 is on.
    const ReportNotes &Notes() const { return notes; }
    const QString &CurrentFileName() const;
    qnVelTorClipboard &LineClipboard() { return lineClipboard; }
    // The controls and actions, for whoever drives the window from outside.
    const TVelTorFormUi &Ui() const { return ui; }

    // Grid positions: row 0 is the title row and column 0 the row handle,
    // so grid (column f + 1, row r + 1) shows field f of line r. The model
    // behind the grid has neither, so its (row, column) is the report's.
    int GridRowToRecord(int row) const { return row - FixedRows; }
    int GridColToField(int col) const { return col - FixedCols; }
    int RecordToGridRow(int record) const { return record + FixedRows; }
    int FieldToGridCol(int field) const { return field + FixedCols; }
    int GridRowCount() const { return FixedRows + document.LineCount() + 1; }
    int GridColCount() const { return FixedCols + int(FieldCount); }
    // The grid's current cell in grid positions.
    int CurrentCol() const;
    int CurrentRow() const;
    void SetCurrentCell(int col, int row);

    // File commands. FileSave1Execute acts as Save As exactly when the
    // sender is FileSaveAs1, and tells whether the report was written.
    void FileNew1Execute(QObject *Sender);
    void FileOpen1Execute(QObject *Sender);
    bool FileSave1Execute(QObject *Sender);
    void FileExit1Execute(QObject *Sender);
    // The lines of a CSV or text file appended to the report, which keeps
    // its own file; the report written as a CSV file for spreadsheets.
    void FileImport1Execute(QObject *Sender);
    void FileExport1Execute(QObject *Sender);
    void HelpAbout1Execute(QObject *Sender);
    QMessageBox::StandardButton ConfirmSave();
    // Opens the first of the dropped files, as Open does.
    void OpenDroppedFile(const QList<QUrl> &urls);
    // Loads a report like Open does after its dialog; false (with the
    // reason shown) when the file cannot be read.
    bool LoadReport(const QString &path);
    // The close sequence; false keeps the window open.
    bool FormClose();
    // Where Open and Save dialogs start.
    QString StartFolder() const;
    // At start: the unsaved work of editors that ended without a word,
    // offered back one after another.
    void OfferRecoveryCopies();
    // The recovery copy of this window's unsaved work.
    RecoveryCopies &Recovery() { return *recoveryCopies; }

    // Grid events, in grid positions.
    void VelTorGridSetEditText(int col, int row, const QString &text);
    void VelTorGridDrawCell(QPainter *painter, const QRect &rect, int col, int row) const;
    void VelTorGridMouseMove(QWidget *source, const QPoint &pos);
    // The editor's limit in code page 932 bytes.
    int VelTorGridGetEditMask(int col) const;
    void VelTorGridSelectCell();
    bool VelTorGridKeyDown(QKeyEvent *event);
    void VelTorGridRowMoved(int from, int to);

    // Line editing, on the grid's current row.
    void EditInsertLineExecute();
    void EditDeleteLineExecute();
    void EditCutLineExecute();
    void EditCopyLineExecute();
    void EditPasteLineExecute();
    void EditInsertLineUpdate();
    void EditDeleteLineUpdate();
    void EditCutLineUpdate();
    void EditCopyLineUpdate();
    void EditPasteLineUpdate();

    // Blocks of cells, with no cell editor open; false when the block did
    // not reach the clipboard.
    bool BlockCopy();
    void BlockCut();
    void BlockClear();
    void BlockPaste();

    void EditUndoExecute();
    void EditRedoExecute();
    // F8 and Shift+F8: the next and previous invalid cell.
    void EditNextErrorExecute();
    void EditPrevErrorExecute();

    // Many cells or lines at once, each one step.
    void EditFindExecute();
    void EditReplaceExecute();
    void EditRenumberExecute();
    void EditFillDownExecute();
    void EditSortExecute();
    // 全角英数字を半角に and 前後の空白を削除, over the selected block or
    // the whole report.
    void EditNarrowWidthExecute();
    void EditTrimSpacesExecute();
    // The grid's context menu, opened at `globalPos`.
    void VelTorGridContextMenu(const QPoint &globalPos);
    // A report of the ファイル menu's list of recent ones.
    void FileRecentExecute(const QString &path);

    // Search from the current cell.
    void KensakuLeftButtonClick();
    void KensakuRightButtonClick();
    void KensakuUpButtonClick();
    void KensakuDownButtonClick();

    // Every action's enabled state, from the report, the current cell, the
    // focus and the clipboards.
    void UpdateActions();

    static constexpr int FixedRows = 1;
    static constexpr int FixedCols = 1;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ConnectActions();
    void ConnectControls();
    void ConnectDocument();
    void ConnectReview();
    void OnCreate();
    void ShowHint(QWidget *widget, const QPoint &globalPos, const QString &hint);
    void ShowTitle();
    void ShowPlace(int line, int field);
    void UpdateErrorCount();
    void UpdateNoteCount();
    void ShowNotes(bool shown);
    void Search(QPushButton *button, ReportSearch::Direction direction);
    void SearchButtonLeft(QPushButton *button);
    // The first of the local files a drag carries; empty when none.
    static QString DroppedFile(const QMimeData *mime);

    ReportDocument document;
    // Before the views, so that it hears of every change first.
    ReportNotes notes{document.Content()};
    qnVelTorClipboard lineClipboard;
    // Controls and actions, named as the window's resource names them.
    TVelTorFormUi ui;
    ReportModel *Model = nullptr; // a child
    TAboutBox *AboutBox = nullptr; // a child
    ReviewDock *reviewDock = nullptr; // a child
    // Declared after the document they work on, so that they go first.
    std::unique_ptr<CommandContext> context;
    std::unique_ptr<FileCommands> fileCommands;
    std::unique_ptr<GridCommands> gridCommands;
    std::unique_ptr<BulkCommands> bulkCommands;
    std::unique_ptr<EditCommands> editCommands;
    std::unique_ptr<FixCommands> fixCommands;
    std::unique_ptr<HeaderBoxes> headerBoxes;
    std::unique_ptr<RecoveryCopies> recoveryCopies;
    std::unique_ptr<DiskWatch> diskWatch;
    QString gridHint;
};
