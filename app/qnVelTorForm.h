#pragma once

#include "LineOrder.h"
#include "OpenAsBox.h"
#include "ReportDocument.h"
#include "ReportSearch.h"
#include "VelTorFormUi.h"
#include "qnVelTorClipboard.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>

#include <memory>

class HeaderBoxes;
class QFileDialog;
class QMenu;
class QPushButton;
class ReplaceDialog;
class SortDialog;
class QUrl;
class ReportModel;
class TAboutBox;

// The main window: it shows the report its document holds, in the three
// header boxes and the grid, and turns the user's commands into the
// document's operations. Widgets, actions, dialogs and their wiring live
// here; what a command does to the report lives in the document.
class TVelTorForm : public QMainWindow
{
    Q_OBJECT

public:
    // Every modal dialog goes through here, so that tests can answer them.
    class Dialogs
    {
    public:
        virtual ~Dialogs() = default;
        // Returns the button chosen (a QMessageBox::StandardButton).
        virtual int ExecMessageBox(QMessageBox &box);
        // Returns the confirmed path, or an empty text when cancelled.
        virtual QString ExecFileDialog(QFileDialog &dialog);
        virtual void ExecAbout(TAboutBox &box);
        // Find and replace; its buttons act while it is open.
        virtual void ExecReplace(ReplaceDialog &dialog);
        // Returns a QDialog::DialogCode.
        virtual int ExecSort(SortDialog &dialog);
        // A context menu at `globalPos`; the action chosen does its work.
        virtual void ExecMenu(QMenu &menu, const QPoint &globalPos);
    };

    explicit TVelTorForm(QWidget *parent = nullptr);
    ~TVelTorForm() override;

    // Not owned; null restores the real dialogs.
    void SetDialogs(Dialogs *dialogs);
    // Not owned; null restores LineClipboard(), the system's clipboard.
    void SetLineClipboard(qnVelTorClipboard *clipboard);
    // Milliseconds a load, import or paste runs before it shows its
    // progress with a Cancel button; until then no event is handled.
    void SetLoadProgressDelay(int milliseconds) { loadProgressDelay = milliseconds; }

    // The report and the window's state, read from it.
    ReportDocument &Document() { return document; }
    const ReportDocument &Data() const { return document; }
    bool Modified() const { return document.IsModified(); }
    const qnVelTor::GridAttr &CellAttrs() const { return document.CellAttrs(); }
    const QString &CurrentFileName() const { return document.FilePath(); }
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
    // Before a save whose file name comes from the header boxes: when that
    // name would not give the same three values back on opening, asks
    // whether to save anyway. False when the save must not go ahead.
    bool ConfirmHeaderComesBack(QObject *Sender);
    // Opens the first of the dropped files, as Open does.
    void OpenDroppedFile(const QList<QUrl> &urls);
    // Loads a report like Open does after its dialog; false (with the
    // reason shown) when the file cannot be read. A file that does not look
    // like a report (CSV, UTF-8, UTF-16) is first offered for import into a
    // new report, which the save question before this call has cleared
    // the way for.
    bool LoadReport(const QString &path);
    // The close sequence; false keeps the window open.
    bool FormClose();
    // Where Open and Save dialogs start: the current file's folder, else the
    // last folder used; empty leaves it to the platform.
    QString StartFolder() const;

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

    // Blocks of cells, with no cell editor open: the selected rectangle
    // goes to the clipboard as spreadsheets copy it, and plain text is
    // pasted from the current cell on (with its progress shown when it
    // takes long).
    // False when the block did not reach the clipboard.
    bool BlockCopy();
    void BlockCut();
    void BlockClear();
    void BlockPaste();

    void EditUndoExecute();
    void EditRedoExecute();
    // F8 and Shift+F8: the next and previous invalid cell.
    void EditNextErrorExecute();
    void EditPrevErrorExecute();

    // Many cells or lines at once, each one step: find and replace, the
    // key codes renumbered (the selected lines, else all), the top cells of
    // the selected block filled down, the lines sorted.
    void EditFindExecute();
    void EditReplaceExecute();
    void EditRenumberExecute();
    void EditFillDownExecute();
    void EditSortExecute();
    // The grid's context menu, opened at `globalPos`.
    void VelTorGridContextMenu(const QPoint &globalPos);
    // A report of the ファイル menu's list of recent ones.
    void FileRecentExecute(const QString &path);

    // Search from the current cell.
    void KensakuLeftButtonClick();
    void KensakuRightButtonClick();
    void KensakuUpButtonClick();
    void KensakuDownButtonClick();

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
    void OnCreate();
    void ShowHint(QWidget *widget, const QPoint &globalPos, const QString &hint);
    // The one message box of a failed command.
    void ShowError(const QString &text);
    // The save question before the report is replaced: false when the
    // command must stop (Cancel, or a Yes whose save did not happen).
    bool QuerySaveBeforeReplace(QObject *Sender);
    // The file a save writes to: the current one, or one the user picks;
    // empty when the dialog was cancelled.
    QString SaveTarget(bool saveAs);
    // A warning question with `yes` and キャンセル, the default; true for yes.
    bool Ask(const QString &question, const QString &yes);
    // Before a save over the current file: false when it changed on the
    // disk since and the user keeps that version.
    bool ConfirmOverwriteChanged(const QString &target);
    // Before any save: asks when it would leave out what the report's file
    // holds beyond the report. False when the save must not go ahead.
    bool ConfirmSaveLosses();
    // For a file that does not look like a report: import it, open it as
    // a report, or neither.
    OpenAsBox::Answer AskHowToOpen(const QString &path);
    // Imports with the progress shown, then says what came in; false when
    // nothing did.
    bool ImportFile(const QString &path, ReportDocument::ImportInto into);
    // Ctrl+V in a cell editor holding a spreadsheet's block: the editor
    // closes and the block is pasted from its cell on.
    void PasteBlockFromEditor();
    void ShowTitle();
    void ShowPlace(int line, int field);
    void ShowLoadFacts(const ReadFacts &facts);
    void UpdateLineActions();
    void UpdateTextActions();
    void UpdateErrorCount();
    bool LineCommandAllowed(bool emptyLastRowAllowed) const;
    // The lines Insert and Delete work on: those of the selected block when
    // it spans several lines and holds the current cell, else the current
    // line; the new-line row counts only when `newLineRow`.
    bool CommandLines(bool newLineRow, int &first, int &count) const;
    // Delete: the command's lines; Cut: the current line.
    void RemoveCommandLines(ReportDocument::LineStep step);
    // Enter and Shift+Enter: the cell below or above, at most the new-line
    // row.
    void MoveCurrentLine(int step);
    void UpdateBulkActions();
    QStringList FieldNames() const;
    // Puts the current row on the line clipboard; false when it did not get there.
    bool PutCurrentLine();
    // The grid itself has the focus and no cell editor is open.
    bool GridTakesBlocks() const;
    void GoToError(bool forward);
    void Search(QPushButton *button, ReportSearch::Direction direction);
    void SearchButtonLeft(QPushButton *button);

    ReportDocument document;
    // Declared after the document it reads, so that it goes first.
    std::unique_ptr<HeaderBoxes> headerBoxes;
    qnVelTorClipboard lineClipboard;
    Dialogs defaultDialogs;
    Dialogs *dialogs = &defaultDialogs; // not owned
    qnVelTorClipboard *activeLineClipboard = &lineClipboard; // not owned
    int loadProgressDelay = 500;
    // A load, import or paste is running; events are handled while its
    // progress shows, and a second one must not start inside it.
    bool loading = false;
    QString gridHint;
    QString lastFolder;
    // What the last find and replace looked for, and the last sort's keys.
    QString lastFind;
    QString lastReplacement;
    std::vector<LineOrder::Key> lastSortKeys;

    // Controls and actions, named as the window's resource names them.
    TVelTorFormUi ui;
    ReportModel *Model = nullptr;
    TAboutBox *AboutBox = nullptr;
};
