#include "qnVelTorForm.h"

#include "CellDelegate.h"
#include "ReplaceDialog.h"
#include "SortDialog.h"
#include "HeaderBoxes.h"
#include "Messages.h"
#include "Icons.h"
#include "RecentFiles.h"
#include "ReportModel.h"
#include "TextFilter.h"
#include "VelTorGridView.h"
#include "WindowSettings.h"
#include "about.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>
#include <QUndoStack>

#include <array>

namespace {

// Designed client size at 96 dots per inch, and the rows of the layout.
constexpr int DesignedWidth = 740;
constexpr int DesignedHeight = 406;
constexpr int HandleColumnWidth = 20;
constexpr int HintDisplayMilliseconds = 10000;

const QString ProgramTitle = QStringLiteral("JASRAC報告");

} // namespace

int TVelTorForm::Dialogs::ExecMessageBox(QMessageBox &box)
{
    return box.exec();
}

QString TVelTorForm::Dialogs::ExecFileDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void TVelTorForm::Dialogs::ExecAbout(TAboutBox &box)
{
    box.exec();
}

void TVelTorForm::Dialogs::ExecReplace(ReplaceDialog &dialog)
{
    dialog.exec();
}

int TVelTorForm::Dialogs::ExecSort(SortDialog &dialog)
{
    return dialog.exec();
}

void TVelTorForm::Dialogs::ExecMenu(QMenu &menu, const QPoint &globalPos)
{
    menu.exec(globalPos);
}

TVelTorForm::TVelTorForm(QWidget *parent) : QMainWindow(parent)
{
    ui.SetupUi(this, [this](QPainter *painter, const QRect &rect, int col, int row) {
        VelTorGridDrawCell(painter, rect, col, row);
    });
    AboutBox = new TAboutBox(this);
    ConnectActions();
    ConnectControls();
    ConnectDocument();
    OnCreate();
}

TVelTorForm::~TVelTorForm()
{
    // Hiding the window on the way out moves the focus: an open cell editor
    // would then report its text, and focus changes would update actions,
    // after the members those handlers use are gone.
    ui.VelTorGrid->CommitEditor();
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    disconnect(&document, nullptr, this, nullptr);
    // The widgets outlive the members: the model, which reads the document,
    // must go before it, or a grid being hidden would still ask it.
    ui.VelTorGrid->setModel(nullptr);
    delete Model;
}

void TVelTorForm::SetDialogs(Dialogs *replacement)
{
    dialogs = replacement ? replacement : &defaultDialogs;
}

void TVelTorForm::SetLineClipboard(qnVelTorClipboard *replacement)
{
    activeLineClipboard = replacement ? replacement : &lineClipboard;
    UpdateLineActions();
}

void TVelTorForm::ConnectActions()
{
    connect(ui.FileNew1, &QAction::triggered, this, [this] { FileNew1Execute(ui.FileNew1); });
    connect(ui.FileOpen1, &QAction::triggered, this, [this] { FileOpen1Execute(ui.FileOpen1); });
    connect(ui.FileSave1, &QAction::triggered, this, [this] { FileSave1Execute(ui.FileSave1); });
    connect(ui.FileSaveAs1, &QAction::triggered, this, [this] { FileSave1Execute(ui.FileSaveAs1); });
    connect(ui.FileImport1, &QAction::triggered, this, [this] { FileImport1Execute(ui.FileImport1); });
    connect(ui.FileExport1, &QAction::triggered, this, [this] { FileExport1Execute(ui.FileExport1); });
    connect(ui.FileExit1, &QAction::triggered, this, [this] { FileExit1Execute(ui.FileExit1); });
    connect(ui.HelpAbout1, &QAction::triggered, this, [this] { HelpAbout1Execute(ui.HelpAbout1); });

    connect(ui.EditInsertLine, &QAction::triggered, this, &TVelTorForm::EditInsertLineExecute);
    connect(ui.EditDeleteLine, &QAction::triggered, this, &TVelTorForm::EditDeleteLineExecute);
    connect(ui.EditCutLine, &QAction::triggered, this, &TVelTorForm::EditCutLineExecute);
    connect(ui.EditCopyLine, &QAction::triggered, this, &TVelTorForm::EditCopyLineExecute);
    connect(ui.EditPasteLine, &QAction::triggered, this, &TVelTorForm::EditPasteLineExecute);

    connect(ui.EditUndo, &QAction::triggered, this, &TVelTorForm::EditUndoExecute);
    connect(ui.EditRedo, &QAction::triggered, this, &TVelTorForm::EditRedoExecute);
    connect(ui.EditNextError, &QAction::triggered, this, &TVelTorForm::EditNextErrorExecute);
    connect(ui.EditPrevError, &QAction::triggered, this, &TVelTorForm::EditPrevErrorExecute);
    connect(ui.EditFind, &QAction::triggered, this, &TVelTorForm::EditFindExecute);
    connect(ui.EditReplace, &QAction::triggered, this, &TVelTorForm::EditReplaceExecute);
    connect(ui.EditRenumber, &QAction::triggered, this, &TVelTorForm::EditRenumberExecute);
    connect(ui.EditFillDown, &QAction::triggered, this, &TVelTorForm::EditFillDownExecute);
    connect(ui.EditSort, &QAction::triggered, this, &TVelTorForm::EditSortExecute);
    connect(ui.EditClearCells, &QAction::triggered, this, &TVelTorForm::BlockClear);
    // Another running copy may have opened or saved a report since.
    connect(ui.FileMenu, &QMenu::aboutToShow, this, [this] { ui.ShowRecentFiles(RecentFiles::Read()); });
    for (QAction *recent : ui.FileRecent)
        connect(recent, &QAction::triggered, this, [this, recent] { FileRecentExecute(recent->data().toString()); });

    // A box or a cell editor takes the text; the grid itself takes blocks.
    const auto focusedEdit = [] { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); };
    connect(ui.EditCut1, &QAction::triggered, this, [this, focusedEdit] {
        if (QLineEdit *edit = focusedEdit())
            edit->cut();
        else if (GridTakesBlocks())
            BlockCut();
    });
    connect(ui.EditCopy1, &QAction::triggered, this, [this, focusedEdit] {
        if (QLineEdit *edit = focusedEdit())
            edit->copy();
        else if (GridTakesBlocks())
            BlockCopy();
    });
    connect(ui.EditPaste1, &QAction::triggered, this, [this, focusedEdit] {
        QLineEdit *edit = focusedEdit();
        if (edit && edit == ui.VelTorGrid->Editor()
            && CellDelegate::PastesBlock(*edit, QGuiApplication::clipboard()->text()))
            PasteBlockFromEditor();
        else if (edit)
            edit->paste();
        else if (GridTakesBlocks())
            BlockPaste();
    });
}

void TVelTorForm::ConnectControls()
{
    centralWidget()->installEventFilter(this);
    for (TextFilter *filter : findChildren<TextFilter *>()) {
        connect(filter, &TextFilter::refused, statusBar(), [this](const QString &message) {
            statusBar()->showMessage(message);
        });
    }
    connect(ui.KensakuWord, &QLineEdit::returnPressed, this, &TVelTorForm::KensakuRightButtonClick);
    connect(ui.KensakuLeftButton, &QPushButton::clicked, this, &TVelTorForm::KensakuLeftButtonClick);
    connect(ui.KensakuRightButton, &QPushButton::clicked, this, &TVelTorForm::KensakuRightButtonClick);
    connect(ui.KensakuUpButton, &QPushButton::clicked, this, &TVelTorForm::KensakuUpButtonClick);
    connect(ui.KensakuDownButton, &QPushButton::clicked, this, &TVelTorForm::KensakuDownButtonClick);
    for (QPushButton *button : {ui.KensakuLeftButton, ui.KensakuRightButton, ui.KensakuUpButton, ui.KensakuDownButton})
        button->installEventFilter(this);

    VelTorGridView *grid = ui.VelTorGrid;
    Model = new ReportModel(&document, this);
    Model->setObjectName(QStringLiteral("Model"));
    grid->setModel(Model);
    auto *delegate = new CellDelegate([this](QPainter *painter, const QRect &rect, int col, int row) {
        VelTorGridDrawCell(painter, rect, col, row);
    }, [this](int col) { return VelTorGridGetEditMask(col); }, this);
    grid->setItemDelegate(delegate);
    connect(delegate, &CellDelegate::editTextChanged, this, [this](const QModelIndex &index, const QString &text) {
        VelTorGridSetEditText(FieldToGridCol(index.column()), RecordToGridRow(index.row()), text);
    });
    for (auto signal : {&CellDelegate::refused, &CellDelegate::notice})
        connect(delegate, signal, statusBar(), [this](const QString &message) { statusBar()->showMessage(message); });
    // Queued: the status bar is not touched from inside the grid's paint.
    connect(
            delegate, &CellDelegate::outOfMemory, this,
            [this] { statusBar()->showMessage(Messages::OutOfMemoryDraw()); }, Qt::QueuedConnection);
    connect(delegate, &CellDelegate::blockPasteWanted, this, &TVelTorForm::PasteBlockFromEditor);
    connect(delegate, &CellDelegate::ctrlTabPressed, this, [this] {
        ui.VelTorGrid->CommitEditor();
        ui.SyoudakuBangou->setFocus(Qt::TabFocusReason);
    });
    connect(delegate, &CellDelegate::enterPressed, this, [this](bool up) {
        ui.VelTorGrid->CommitEditor();
        MoveCurrentLine(up ? -1 : 1);
    });
    for (QWidget *widget : {static_cast<QWidget *>(grid), static_cast<QWidget *>(grid->verticalHeader())}) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        // In the grid's viewport, or the handle column's own, coordinates.
        QWidget *area = widget == grid ? grid->viewport() : grid->verticalHeader()->viewport();
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint &pos) { VelTorGridContextMenu(area->mapToGlobal(pos)); });
    }
    connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TVelTorForm::UpdateLineActions);
    connect(grid, &VelTorGridView::rowDragged, this, [this](int from, int to) {
        VelTorGridRowMoved(RecordToGridRow(from), RecordToGridRow(to));
    });
    connect(grid, &VelTorGridView::currentCellChanged, this, &TVelTorForm::VelTorGridSelectCell);
    connect(grid, &VelTorGridView::editorClosed, &document, &ReportDocument::EndTyping);
    for (QObject *watched : {static_cast<QObject *>(grid), static_cast<QObject *>(grid->viewport()),
                             static_cast<QObject *>(grid->horizontalHeader()),
                             static_cast<QObject *>(grid->verticalHeader())})
        watched->installEventFilter(this);
    setAcceptDrops(true);
}

void TVelTorForm::ConnectDocument()
{
    headerBoxes = std::make_unique<HeaderBoxes>(
            document, HeaderBoxes::Boxes{ui.SyoudakuBangou, ui.HoukokuNengappi, ui.NiniMoziretsu});

    connect(&document, &ReportDocument::modifiedChanged, this, &QWidget::setWindowModified);
    connect(&document, &ReportDocument::filePathChanged, this, [this](const QString &path) {
        if (!path.isEmpty())
            lastFolder = QFileInfo(path).absolutePath();
        ShowTitle();
    });
    connect(&document, &ReportDocument::placeShown, this, &TVelTorForm::ShowPlace);
    connect(&document, &ReportDocument::errorCountChanged, this, &TVelTorForm::UpdateErrorCount);
    connect(document.UndoStack(), &QUndoStack::canUndoChanged, ui.EditUndo, &QAction::setEnabled);
    connect(document.UndoStack(), &QUndoStack::canRedoChanged, ui.EditRedo, &QAction::setEnabled);

    // Signals that can change what the line and text actions may do.
    connect(Model, &QAbstractItemModel::rowsInserted, this, &TVelTorForm::UpdateLineActions);
    connect(Model, &QAbstractItemModel::rowsRemoved, this, &TVelTorForm::UpdateLineActions);
    connect(Model, &QAbstractItemModel::modelReset, this, &TVelTorForm::UpdateLineActions);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        UpdateLineActions();
        UpdateTextActions();
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (auto *edit = qobject_cast<QLineEdit *>(now)) {
            connect(edit, &QLineEdit::selectionChanged, this, &TVelTorForm::UpdateTextActions,
                    Qt::UniqueConnection);
        }
        UpdateTextActions();
    });
}

void TVelTorForm::OnCreate()
{
    for (unsigned f = 0; f < document.Attributes().Count(); ++f)
        ui.VelTorGrid->setColumnWidth(int(f), document.Attributes().At(f)->columnWidth);
    ui.VelTorGrid->verticalHeader()->setFixedWidth(HandleColumnWidth);

    move(0, 0);
    resize(DesignedWidth, DesignedHeight + menuBar()->sizeHint().height());
    WindowSettings::Read(*this, *ui.VelTorGrid, lastFolder);
    ui.ShowRecentFiles(RecentFiles::Read());
    ShowTitle();
    SetCurrentCell(FixedCols, FixedRows);
    UpdateLineActions();
    UpdateTextActions();
    UpdateErrorCount();
}

void TVelTorForm::ShowTitle()
{
    const QString &path = document.FilePath();
    setWindowFilePath(path);
    // Qt shows the file path only in a window without a title, and the title
    // keeps the program's name; [*] is where Qt puts the unsaved mark.
    // A "[*]" in the file's name is doubled to show as itself.
    const QString name = QFileInfo(path).fileName().replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(path.isEmpty() ? ProgramTitle + QStringLiteral("[*]")
                                  : name + QStringLiteral("[*] - ") + ProgramTitle);
}

QString TVelTorForm::StartFolder() const
{
    if (!document.FilePath().isEmpty())
        return QFileInfo(document.FilePath()).absolutePath();
    // A folder removed since it was used would leave the dialog nowhere.
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        return lastFolder;
    return {};
}

int TVelTorForm::CurrentCol() const
{
    const QModelIndex current = ui.VelTorGrid->currentIndex();
    return current.isValid() ? FieldToGridCol(current.column()) : FixedCols;
}

int TVelTorForm::CurrentRow() const
{
    const QModelIndex current = ui.VelTorGrid->currentIndex();
    return current.isValid() ? RecordToGridRow(current.row()) : FixedRows;
}

void TVelTorForm::SetCurrentCell(int col, int row)
{
    const QModelIndex index = Model->index(GridRowToRecord(row), GridColToField(col));
    if (index.isValid())
        ui.VelTorGrid->setCurrentIndex(index);
}

void TVelTorForm::ShowPlace(int line, int field)
{
    SetCurrentCell(field < 0 ? CurrentCol() : FieldToGridCol(field), RecordToGridRow(line));
    ui.VelTorGrid->scrollTo(ui.VelTorGrid->currentIndex());
}

void TVelTorForm::UpdateErrorCount()
{
    const qnVelTor::GridAttr &attrs = document.CellAttrs();
    const std::uint64_t cells = attrs.ErrorCellCount();
    ui.ErrorCount->setText(cells ? QStringLiteral("エラー %1 個（%2 行）").arg(cells).arg(attrs.ErrorRowCount())
                              : QStringLiteral("エラーなし"));
    ui.VelTorGrid->viewport()->update();
}

void TVelTorForm::HelpAbout1Execute(QObject *)
{
    dialogs->ExecAbout(*AboutBox);
}

void TVelTorForm::ShowHint(QWidget *widget, const QPoint &globalPos, const QString &hint)
{
    if (hint.isEmpty()) {
        QToolTip::hideText();
        statusBar()->clearMessage();
        return;
    }
    QToolTip::showText(globalPos, hint, widget, QRect(), HintDisplayMilliseconds);
    statusBar()->showMessage(hint);
}

void TVelTorForm::closeEvent(QCloseEvent *event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

bool TVelTorForm::eventFilter(QObject *watched, QEvent *event)
{
    const bool onGrid = watched == ui.VelTorGrid->viewport() || watched == ui.VelTorGrid->horizontalHeader()
            || watched == ui.VelTorGrid->verticalHeader();
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == centralWidget())
            ui.LayOut(centralWidget());
        break;
    case QEvent::MouseMove:
        if (onGrid)
            VelTorGridMouseMove(static_cast<QWidget *>(watched), static_cast<QMouseEvent *>(event)->position().toPoint());
        break;
    case QEvent::ToolTip:
        // The grid's hints are shown at once by the mouse handler; Qt's
        // delayed tool tip would show a second one.
        if (onGrid)
            return true;
        break;
    case QEvent::Leave:
        if (auto *button = qobject_cast<QPushButton *>(watched)) {
            if (button == ui.KensakuLeftButton || button == ui.KensakuRightButton || button == ui.KensakuUpButton
                || button == ui.KensakuDownButton) {
                SearchButtonLeft(button);
            }
        } else if (watched == ui.VelTorGrid->viewport()) {
            gridHint.clear();
        }
        break;
    case QEvent::KeyPress:
        if (watched == ui.VelTorGrid && VelTorGridKeyDown(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
