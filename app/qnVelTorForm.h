#pragma once

#include "ReportRow.h"
#include "qnVelTorClipboard.h"
#include "qnVelTorData.h"
#include "qnVelTorGridAttr.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QFileDialog;
class QUndoStack;
class ReportEdits;
struct ReadFacts;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolBar;
class QUrl;
class ReportModel;
class TAboutBox;
class VelTorGridView;

// The main window. It owns the report, the per-cell verdicts and the line
// clipboard for its whole life. While the user edits, the grid and the three
// header boxes are the master copy of the report; `Data` is filled from them
// only to save, and fills them only after a load.
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
    };

    explicit TVelTorForm(QWidget *parent = nullptr);
    ~TVelTorForm() override;

    // Not owned; null restores the real dialogs.
    void SetDialogs(Dialogs *dialogs);
    // Not owned; null restores `LineClipboard`, the system's clipboard.
    void SetLineClipboard(qnVelTorClipboard *clipboard);

    // Grid positions: row 0 is the title row and column 0 the row handle,
    // so grid (column f + 1, row r + 1) shows field f of line r. The model
    // behind the grid has neither, so its (row, column) is the report's.
    int GridRowToRecord(int row) const { return row - FixedRows; }
    int GridColToField(int col) const { return col - FixedCols; }
    int RecordToGridRow(int record) const { return record + FixedRows; }
    int FieldToGridCol(int field) const { return field + FixedCols; }
    int GridRowCount() const;
    int GridColCount() const { return FixedCols + int(FieldCount); }

    // File commands. FileSave1Execute acts as Save As exactly when the
    // sender is FileSaveAs1, and tells whether the report was written.
    void FileNew1Execute(QObject *Sender);
    void FileOpen1Execute(QObject *Sender);
    bool FileSave1Execute(QObject *Sender);
    void FileExit1Execute(QObject *Sender);
    void HelpAbout1Execute(QObject *Sender);
    void ClearView();
    void DocumentToGrid();
    void GridToDocument();
    QMessageBox::StandardButton ConfirmSave();
    // Before a save whose file name comes from the header boxes: when that
    // name would not give the same three values back on opening, asks
    // whether to save anyway. False when the save must not go ahead.
    bool ConfirmHeaderComesBack(QObject *Sender);
    // Opens the first of the dropped files, as Open does.
    void OpenDroppedFile(const QList<QUrl> &urls);
    // The save question before the report is replaced: false when the
    // command must stop (Cancel, or a Yes whose save did not happen).
    bool QuerySaveBeforeReplace(QObject *Sender);
    // Loads a report like Open does after its dialog; false (with the read
    // error shown) when the file cannot be read.
    bool LoadReport(const QString &path);
    // The close sequence; false keeps the window open.
    bool FormClose();
    // Every change of CurrentFileName goes through here: the title bar shows
    // the file's name, and its folder becomes the last folder used.
    void SetCurrentFileName(const QString &path);
    // Where Open and Save dialogs start: the current file's folder, else the
    // last folder used; empty leaves it to the platform.
    QString StartFolder() const;

    // What the user is told when a command cannot be done.
    static QString NotRegularFileMessage();
    static QString OutOfMemoryLoadMessage();
    static QString OutOfMemorySaveMessage();
    static QString OutOfMemoryPasteMessage();
    static QString OutOfMemoryDrawMessage();
    static QString LoadCancelledMessage();
    // Milliseconds a load runs before it shows its progress with a Cancel
    // button; until then no event is handled.
    int LoadProgressDelay = 500;

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
    void UpdateLineActions();
    void UpdateTextActions();

    // Undo and redo. A committed cell edit, every line command, a drag, a
    // header box edit and a block paste or clear are one step each.
    void EditUndoExecute();
    void EditRedoExecute();
    // The grid's committed cell text, as a step (the model hands it over).
    void CommitCellEdit(int record, int field, std::string bytes);
    // `Modified` and the title's mark from the stack's clean state.
    void SyncModified();
    // New, Open and a successful save start a history of their own.
    void ResetUndo();

    // Blocks of cells, with no cell editor open: the selected rectangle
    // goes to the clipboard as text (TAB between cells, CR LF between
    // lines), and plain text is pasted from the current cell on.
    void BlockCopy();
    void BlockCut();
    void BlockClear();
    void BlockPaste();
    // The selected rectangle in model positions; false when none.
    bool SelectedBlock(int &top, int &left, int &bottom, int &right) const;
    // The grid itself has the focus and no cell editor is open.
    bool GridTakesBlocks() const;

    // Invalid cells: the count in the status bar, and the way to them.
    void EditNextErrorExecute();
    void EditPrevErrorExecute();
    void GoToError(bool forward);
    void UpdateErrorCount();
    // Tells what a load found: lines read, invalid cells, and lines that a
    // save cannot give back as they were.
    void ReportLoaded(const ReadFacts &facts);

    // Search from the current cell.
    void KensakuLeftButtonClick();
    void KensakuRightButtonClick();
    void KensakuUpButtonClick();
    void KensakuDownButtonClick();
    bool StepLeft(int &x) const;
    bool StepRight(int &x) const;
    bool StepUp(int &y) const;
    bool StepDown(int &y) const;
    bool CellMatches(int row, int col, const std::string &word) const;

    // The grid's current cell in grid positions.
    int CurrentCol() const;
    int CurrentRow() const;
    void SetCurrentCell(int col, int row);

    // The window's state.
    qnVelTorData Data;
    bool Modified = false;
    QString CurrentFileName;
    bool NameChanged = false;
    const qnVelTorDataAttribute &Attributes;
    qnVelTor::GridAttr CellAttrs;
    qnVelTorClipboard LineClipboard;

    // Controls and actions, named as the window's resource names them.
    QToolBar *ToolBar1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *SyoudakuBangou = nullptr;
    QLineEdit *HoukokuNengappi = nullptr;
    QLineEdit *NiniMoziretsu = nullptr;
    QLineEdit *KensakuWord = nullptr;
    QPushButton *KensakuLeftButton = nullptr;
    QPushButton *KensakuRightButton = nullptr;
    QPushButton *KensakuUpButton = nullptr;
    QPushButton *KensakuDownButton = nullptr;
    VelTorGridView *VelTorGrid = nullptr;
    ReportModel *Model = nullptr;

    QAction *FileNew1 = nullptr;
    QAction *FileOpen1 = nullptr;
    QAction *FileSave1 = nullptr;
    QAction *FileSaveAs1 = nullptr;
    QAction *FileExit1 = nullptr;
    QAction *EditInsertLine = nullptr;
    QAction *EditDeleteLine = nullptr;
    QAction *EditCutLine = nullptr;
    QAction *EditCopyLine = nullptr;
    QAction *EditPasteLine = nullptr;
    QAction *EditCut1 = nullptr;
    QAction *EditCopy1 = nullptr;
    QAction *EditPaste1 = nullptr;
    QAction *HelpAbout1 = nullptr;
    QAction *EditUndo = nullptr;
    QAction *EditRedo = nullptr;
    QAction *EditNextError = nullptr;
    QAction *EditPrevError = nullptr;
    QList<QIcon> ImageList1;
    QUndoStack *UndoStack = nullptr;
    QLabel *ErrorCount = nullptr;

    static constexpr int FixedRows = 1;
    static constexpr int FixedCols = 1;
    // Stored sizes below these cannot be used (a column too narrow to find,
    // a window too small for the header boxes and a few lines) and are
    // skipped like missing ones.
    static constexpr int MinStoredColumnWidth = 8;
    static constexpr int MinStoredWindowWidth = 320;
    static constexpr int MinStoredWindowHeight = 240;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateControls();
    void OnCreate();
    void ReadSettings();
    void WriteSettings() const;
    void ShowHint(QWidget *widget, const QPoint &globalPos, const QString &hint);
    void Search(QPushButton *button, void (TVelTorForm::*step)(int &x, int &y) const);
    void StepSearchLeft(int &x, int &y) const;
    void StepSearchRight(int &x, int &y) const;
    void StepSearchUp(int &x, int &y) const;
    void StepSearchDown(int &x, int &y) const;
    void SearchButtonLeft(QPushButton *button);
    // The verdict and message of one cell, into `attrs`.
    void ValidateCell(qnVelTor::GridAttr &attrs, unsigned record, unsigned field, std::string_view value) const;
    bool LineCommandAllowed(bool emptyLastRowAllowed) const;
    // Puts the current row on the line clipboard; false when it did not get there.
    bool PutCurrentLine();
    void LayOut();
    // The one message box of a failed read or write.
    void ShowError(const QString &text);

    // Moves the lines read into Data so far into rows and verdicts waiting
    // for DocumentToGrid, so that a large report is never held twice.
    void TakeRecords();
    // The same for lines handed over by the reader as they are split, each
    // as 19 views into its read buffer.
    void TakeLines(const std::string_view *fields, std::size_t lines);
    // Drops what a load that did not finish has built.
    void DropLoadedRecords();

    RowArena loadedArena;
    std::vector<ReportRow> loadedRows;
    qnVelTor::GridAttr loadedAttrs;
    Dialogs defaultDialogs;
    Dialogs *dialogs = &defaultDialogs; // not owned
    qnVelTorClipboard *lineClipboard = &LineClipboard; // not owned

    // A header box's value in bytes: what it was filled with while its text
    // still reads the same, so that bytes that are not Shift-JIS (a name
    // cut inside a double-byte character) go back into the name unchanged.
    std::string HeaderBytes(const QLineEdit *box) const;
    void SetHeader(QLineEdit *box, std::string bytes);
    std::string syoudakuBangouBytes;
    std::string houkokuNengappiBytes;
    std::string niniMoziretsuBytes;
    TAboutBox *AboutBox = nullptr;
    QString gridHint;
    QString lastFolder;

    // Undo state.
    std::unique_ptr<ReportEdits> Edits;
    void ConnectUndo();
    void HeaderEdited(int box, const QString &text);
    void CellEditorClosed();
    // Typing into the new-line row added this line before any step did.
    int typedLine = -1;
    // The cell being typed into, and what `Modified` was before.
    int editRecord = -1;
    int editField = -1;
    bool modifiedBeforeEdit = false;
    int stackIndexAtEdit = 0;
    QString headerTexts[3];
    int headerSession = 0;
    bool loading = false;
};
