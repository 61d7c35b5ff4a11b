#pragma once

#include "RowHandleHeader.h"

#include <QCoreApplication>
#include <QIcon>
#include <QList>

class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPushButton;
class QToolBar;
class VelTorGridView;

// The main window's resource: its controls and actions, named as the
// resource names them, with their captions, hints, shortcuts, icons and
// designed places. It does nothing; the window wires them to what they do.
class TVelTorFormUi
{
    Q_DECLARE_TR_FUNCTIONS(TVelTorFormUi)

public:
    // Builds everything into `window`; `drawCell` draws the window's marks
    // over the row handles.
    void SetupUi(QMainWindow *window, RowHandleHeader::DrawCell drawCell);
    // Only the grid follows the window's size.
    void LayOut(const QWidget *client);
    // The ファイル menu's list of recent reports, newest first.
    void ShowRecentFiles(const QStringList &paths);

    QList<QIcon> ImageList1;
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
    QLabel *ErrorCount = nullptr;
    // The notes' count beside the errors', hidden while notes are not shown.
    QLabel *NoteCount = nullptr;

    QAction *FileNew1 = nullptr;
    QAction *FileOpen1 = nullptr;
    QAction *FileSave1 = nullptr;
    QAction *FileSaveAs1 = nullptr;
    QAction *FileImport1 = nullptr;
    QAction *FileExport1 = nullptr;
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
    QAction *EditClearCells = nullptr;
    QAction *EditFind = nullptr;
    QAction *EditReplace = nullptr;
    QAction *EditRenumber = nullptr;
    QAction *EditFillDown = nullptr;
    QAction *EditSort = nullptr;
    QAction *EditNarrowWidth = nullptr;
    QAction *EditTrimSpaces = nullptr;
    // 表示: the review list, and the notes from the hints; both checkable.
    QAction *ViewReview = nullptr;
    QAction *ViewNotes = nullptr;
    // The reports opened or saved last, &1 to &8, filled in by the window;
    // hidden while unused, as is the separator after them.
    QList<QAction *> FileRecent;
    QAction *FileRecentSeparator = nullptr;
    QMenu *FileMenu = nullptr;
    // Opened by a right-click on the grid.
    QMenu *GridMenu = nullptr;

private:
    void CreateActions(QMainWindow *window);
    void CreateMenus(QMainWindow *window);
    void CreateControls(QWidget *client, RowHandleHeader::DrawCell drawCell);
};
