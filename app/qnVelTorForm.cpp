#include "qnVelTorForm.h"

#include "BulkCommands.h"
#include "CellDelegate.h"
#include "CellTyping.h"
#include "CommandContext.h"
#include "DiskWatch.h"
#include "EditCommands.h"
#include "EditMessages.h"
#include "FileCommands.h"
#include "FixCommands.h"
#include "GridCommands.h"
#include "HeaderBoxes.h"
#include "RecentFiles.h"
#include "RecoveryCopies.h"
#include "RecoveryOffers.h"
#include "ReportModel.h"
#include "ReviewDock.h"
#include "TextFilter.h"
#include "VelTorGridView.h"
#include "WindowSettings.h"
#include "about.h"
#include "qnVelTorDataAttribute.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QToolTip>
#include <QTreeView>
#include <QUndoStack>
#include <QUrl>

namespace {

// Designed client size at 96 dots per inch.
constexpr int DesignedWidth = 740;
constexpr int DesignedHeight = 406;
constexpr int HandleColumnWidth = 20;
constexpr int HintDisplayMilliseconds = 10000;

const QColor CurrentRowColor(0, 0, 255);
const QColor NewLineRowColor(0, 128, 0);
const QColor ErrorFrameColor(255, 0, 0);
// A note is never red: an amber triangle in the cell's top right corner.
const QColor NoteMarkColor(240, 160, 0);
constexpr int NoteMarkSize = 7;

} // namespace

TVelTorForm::TVelTorForm(QWidget *parent) : QMainWindow(parent)
{
    ui.SetupUi(this, [this](QPainter *painter, const QRect &rect, int col, int row) {
        VelTorGridDrawCell(painter, rect, col, row);
    });
    AboutBox = new TAboutBox(this);
    Model = new ReportModel(&document, this);
    Model->setObjectName(QStringLiteral("Model"));
    ui.VelTorGrid->setModel(Model);
    context = std::make_unique<CommandContext>(*this, *ui.VelTorGrid, *Model);
    fileCommands = std::make_unique<FileCommands>(
            document, *context, QStringList{ui.Label1->text(), ui.Label2->text(), ui.Label3->text()});
    gridCommands = std::make_unique<GridCommands>(document, *context, lineClipboard);
    bulkCommands = std::make_unique<BulkCommands>(document, *context);
    editCommands = std::make_unique<EditCommands>(document, *context, *gridCommands);
    fixCommands = std::make_unique<FixCommands>(document, *context);
    reviewDock = new ReviewDock(File(), notes, this);
    addDockWidget(Qt::BottomDockWidgetArea, reviewDock);
    reviewDock->hide();
    Model->SetNotes(&notes);
    recoveryCopies = std::make_unique<RecoveryCopies>(document, fileCommands->File());
    diskWatch = std::make_unique<DiskWatch>(*context, *fileCommands, document);
    ConnectActions();
    ConnectControls();
    ConnectDocument();
    ConnectReview();
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
    // Its list reads the document and the file.
    delete reviewDock;
}

void TVelTorForm::SetDialogs(Dialogs *replacement)
{
    context->SetDialogs(replacement);
}

void TVelTorForm::SetLineClipboard(qnVelTorClipboard *replacement)
{
    gridCommands->SetLineClipboard(replacement ? *replacement : lineClipboard);
    UpdateActions();
}

void TVelTorForm::SetLoadProgressDelay(int milliseconds)
{
    context->SetProgressDelay(milliseconds);
}

ReportFile &TVelTorForm::File()
{
    return fileCommands->File();
}

const ReportFile &TVelTorForm::File() const
{
    return fileCommands->File();
}

const QString &TVelTorForm::CurrentFileName() const
{
    return fileCommands->File().Path();
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
    connect(ui.EditCut1, &QAction::triggered, editCommands.get(), &EditCommands::CutText);
    connect(ui.EditCopy1, &QAction::triggered, editCommands.get(), &EditCommands::CopyText);
    connect(ui.EditPaste1, &QAction::triggered, editCommands.get(), &EditCommands::PasteText);
    connect(ui.EditClearCells, &QAction::triggered, this, &TVelTorForm::BlockClear);

    connect(ui.EditUndo, &QAction::triggered, this, &TVelTorForm::EditUndoExecute);
    connect(ui.EditRedo, &QAction::triggered, this, &TVelTorForm::EditRedoExecute);
    connect(ui.EditNextError, &QAction::triggered, this, &TVelTorForm::EditNextErrorExecute);
    connect(ui.EditPrevError, &QAction::triggered, this, &TVelTorForm::EditPrevErrorExecute);
    connect(ui.EditFind, &QAction::triggered, this, &TVelTorForm::EditFindExecute);
    connect(ui.EditReplace, &QAction::triggered, this, &TVelTorForm::EditReplaceExecute);
    connect(ui.EditRenumber, &QAction::triggered, this, &TVelTorForm::EditRenumberExecute);
    connect(ui.EditFillDown, &QAction::triggered, this, &TVelTorForm::EditFillDownExecute);
    connect(ui.EditSort, &QAction::triggered, this, &TVelTorForm::EditSortExecute);
    connect(ui.EditNarrowWidth, &QAction::triggered, this, &TVelTorForm::EditNarrowWidthExecute);
    connect(ui.EditTrimSpaces, &QAction::triggered, this, &TVelTorForm::EditTrimSpacesExecute);
    // Another running copy may have opened or saved a report since.
    connect(ui.FileMenu, &QMenu::aboutToShow, this, [this] { ui.ShowRecentFiles(RecentFiles::Read()); });
    for (QAction *recent : ui.FileRecent)
        connect(recent, &QAction::triggered, this, [this, recent] { FileRecentExecute(recent->data().toString()); });
}

void TVelTorForm::ConnectControls()
{
    centralWidget()->installEventFilter(this);
    for (TextFilter *filter : findChildren<TextFilter *>())
        connect(filter, &TextFilter::refused, this, [this](const QString &message) { context->Tell(message); });
    connect(ui.KensakuWord, &QLineEdit::returnPressed, this, &TVelTorForm::KensakuRightButtonClick);
    connect(ui.KensakuLeftButton, &QPushButton::clicked, this, &TVelTorForm::KensakuLeftButtonClick);
    connect(ui.KensakuRightButton, &QPushButton::clicked, this, &TVelTorForm::KensakuRightButtonClick);
    connect(ui.KensakuUpButton, &QPushButton::clicked, this, &TVelTorForm::KensakuUpButtonClick);
    connect(ui.KensakuDownButton, &QPushButton::clicked, this, &TVelTorForm::KensakuDownButtonClick);
    for (QPushButton *button : {ui.KensakuLeftButton, ui.KensakuRightButton, ui.KensakuUpButton, ui.KensakuDownButton})
        button->installEventFilter(this);
    // A header box's every keystroke is a step of the report; the search
    // box's typing is its own. A file dropped on any box opens.
    for (QLineEdit *box : {ui.SyoudakuBangou, ui.HoukokuNengappi, ui.NiniMoziretsu, ui.KensakuWord}) {
        editCommands->RouteUndo(box, box != ui.KensakuWord);
        box->installEventFilter(this);
    }

    VelTorGridView *grid = ui.VelTorGrid;
    auto *delegate = new CellDelegate([this](QPainter *painter, const QRect &rect, int col, int row) {
        VelTorGridDrawCell(painter, rect, col, row);
    }, [this](int col) { return VelTorGridGetEditMask(col); }, this);
    grid->setItemDelegate(delegate);
    connect(delegate, &CellDelegate::editTextChanged, this, [this](const QModelIndex &index, const QString &text) {
        VelTorGridSetEditText(FieldToGridCol(index.column()), RecordToGridRow(index.row()), text);
    });
    for (auto signal : {&CellDelegate::refused, &CellDelegate::notice})
        connect(delegate, signal, this, [this](const QString &message) { context->Tell(message); });
    // Queued: the status bar is not touched from inside the grid's paint.
    connect(
            delegate, &CellDelegate::outOfMemory, this, [this] { context->Tell(EditMessages::OutOfMemoryDraw()); },
            Qt::QueuedConnection);
    connect(Model, &ReportModel::editFailed, this, [this] { context->ShowError(EditMessages::OutOfMemoryEdit()); },
            Qt::QueuedConnection);
    connect(delegate, &CellDelegate::blockPasteWanted, gridCommands.get(), &GridCommands::PasteBlockFromEditor);
    connect(delegate, &CellDelegate::ctrlTabPressed, this, [this] {
        ui.VelTorGrid->CommitEditor();
        ui.SyoudakuBangou->setFocus(Qt::TabFocusReason);
    });
    connect(delegate, &CellDelegate::enterPressed, this, [this](bool up) {
        ui.VelTorGrid->CommitEditor();
        gridCommands->MoveCurrentLine(up ? -1 : 1);
    });
    for (QWidget *widget : {static_cast<QWidget *>(grid), static_cast<QWidget *>(grid->verticalHeader())}) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        // In the grid's viewport, or the handle column's own, coordinates.
        QWidget *area = widget == grid ? grid->viewport() : grid->verticalHeader()->viewport();
        connect(widget, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint &pos) { VelTorGridContextMenu(area->mapToGlobal(pos)); });
    }
    connect(grid->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TVelTorForm::UpdateActions);
    connect(grid, &VelTorGridView::rowDragged, this, [this](int from, int to) {
        VelTorGridRowMoved(RecordToGridRow(from), RecordToGridRow(to));
    });
    connect(grid, &VelTorGridView::currentCellChanged, this, &TVelTorForm::VelTorGridSelectCell);
    connect(grid, &VelTorGridView::editorClosed, this, [this] { document.Typing().End(); });
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
    connect(headerBoxes.get(), &HeaderBoxes::editFailed, this,
            [this] { context->Tell(EditMessages::OutOfMemoryEdit()); });

    connect(&document, &ReportDocument::modifiedChanged, this, &QWidget::setWindowModified);
    connect(&fileCommands->File(), &ReportFile::pathChanged, this, &TVelTorForm::ShowTitle);
    connect(fileCommands.get(), &FileCommands::recentFilesChanged, this,
            [this](const QStringList &paths) { ui.ShowRecentFiles(paths); });
    const ReportContent &content = document.Content();
    connect(&content, &ReportContent::placeShown, this, &TVelTorForm::ShowPlace);
    // The hint under the mouse may be another one now.
    for (auto signal : {&ReportContent::reset, &ReportContent::linesReordered})
        connect(&content, signal, this, [this] { gridHint.clear(); });
    connect(&content, &ReportContent::cellsChanged, this, [this] { gridHint.clear(); });
    connect(&document, &ReportDocument::invalidCellsChanged, this, &TVelTorForm::UpdateErrorCount);
    connect(&document, &ReportDocument::stepsDropped, this,
            [this](int count) { context->Note(EditMessages::StepsDropped(count)); });

    // What can change what an action may do.
    connect(document.UndoStack(), &QUndoStack::indexChanged, this, &TVelTorForm::UpdateActions);
    connect(Model, &QAbstractItemModel::rowsInserted, this, &TVelTorForm::UpdateActions);
    connect(Model, &QAbstractItemModel::rowsRemoved, this, &TVelTorForm::UpdateActions);
    connect(Model, &QAbstractItemModel::modelReset, this, &TVelTorForm::UpdateActions);
    connect(gridCommands.get(), &GridCommands::stateChanged, this, &TVelTorForm::UpdateActions);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TVelTorForm::UpdateActions);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (auto *edit = qobject_cast<QLineEdit *>(now)) {
            connect(edit, &QLineEdit::selectionChanged, this, &TVelTorForm::UpdateActions, Qt::UniqueConnection);
            if (edit == ui.VelTorGrid->Editor()) {
                editCommands->RouteUndo(edit, false);
                edit->installEventFilter(this); // a file dropped on it
            }
        }
        UpdateActions();
    });
}

void TVelTorForm::ConnectReview()
{
    // 表示 → 見直し and the list's own close button agree.
    connect(ui.ViewReview, &QAction::toggled, reviewDock, &QWidget::setVisible);
    connect(reviewDock->toggleViewAction(), &QAction::toggled, ui.ViewReview, &QAction::setChecked);
    connect(ui.ViewNotes, &QAction::toggled, this, &TVelTorForm::ShowNotes);
    reviewDock->SetFixActions({ui.EditNarrowWidth, ui.EditTrimSpaces});
    connect(reviewDock, &ReviewDock::groupFixWanted, fixCommands.get(), &FixCommands::FixGroup);
    connect(reviewDock, &ReviewDock::placeActivated, this, [this](const ReviewModel::Place &place, bool focus) {
        ui.VelTorGrid->CommitEditor();
        if (place.what == ReviewModel::Place::HeaderBox) {
            QLineEdit *box = place.box == ReportDocument::SyoudakuBangou ? ui.SyoudakuBangou : ui.HoukokuNengappi;
            box->setFocus(Qt::OtherFocusReason);
            box->selectAll();
            return;
        }
        context->ShowPlace(place.line, place.what == ReviewModel::Place::Cell ? place.field : context->CurrentField());
        if (focus)
            ui.VelTorGrid->setFocus(Qt::OtherFocusReason);
    });
    connect(&notes, &ReportNotes::notesChanged, this, &TVelTorForm::UpdateNoteCount);
}

void TVelTorForm::ShowNotes(bool shown)
{
    notes.SetEnabled(shown);
    ui.NoteCount->setVisible(shown);
    UpdateNoteCount();
}

void TVelTorForm::UpdateNoteCount()
{
    const std::uint64_t count = notes.Count();
    gridHint.clear();
    ui.NoteCount->setText(count ? tr("注意 %1 個").arg(count) : tr("注意なし"));
    ui.VelTorGrid->viewport()->update();
    ui.VelTorGrid->verticalHeader()->viewport()->update();
}

void TVelTorForm::OnCreate()
{
    for (unsigned f = 0; f < document.Attributes().Count(); ++f)
        ui.VelTorGrid->setColumnWidth(int(f), document.Attributes().At(f)->columnWidth);
    ui.VelTorGrid->verticalHeader()->setFixedWidth(HandleColumnWidth);

    move(0, 0);
    resize(DesignedWidth, DesignedHeight + menuBar()->sizeHint().height());
    QString lastFolder;
    WindowSettings::Read(*this, *ui.VelTorGrid, lastFolder);
    ui.ViewNotes->setChecked(WindowSettings::ReadShowNotes());
    fileCommands->SetLastFolder(lastFolder);
    ui.ShowRecentFiles(RecentFiles::Read());
    ShowTitle();
    SetCurrentCell(FixedCols, FixedRows);
    UpdateActions();
    UpdateErrorCount();
    UpdateNoteCount();
}

void TVelTorForm::ShowTitle()
{
    const QString &path = CurrentFileName();
    setWindowFilePath(path);
    // Qt shows the file path only in a window without a title, and the title
    // keeps the program's name; [*] is where Qt puts the unsaved mark.
    // A "[*]" in the file's name is doubled to show as itself.
    const QString program = tr("JASRAC報告");
    const QString name = QFileInfo(path).fileName().replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(path.isEmpty() ? program + QStringLiteral("[*]") : name + QStringLiteral("[*] - ") + program);
}

QString TVelTorForm::StartFolder() const
{
    return fileCommands->StartFolder();
}

void TVelTorForm::OfferRecoveryCopies()
{
    RecoveryOffers(*context, *fileCommands, *recoveryCopies).OfferAll();
}

int TVelTorForm::CurrentCol() const
{
    return FieldToGridCol(context->CurrentField());
}

int TVelTorForm::CurrentRow() const
{
    return RecordToGridRow(context->CurrentLine());
}

void TVelTorForm::SetCurrentCell(int col, int row)
{
    const QModelIndex index = Model->index(GridRowToRecord(row), GridColToField(col));
    if (index.isValid())
        ui.VelTorGrid->SetCurrentCell(index);
}

void TVelTorForm::ShowPlace(int line, int field)
{
    // A field of -1 names the line only.
    context->ShowPlace(line, field < 0 ? context->CurrentField() : field);
}

void TVelTorForm::UpdateErrorCount()
{
    const qnVelTor::GridAttr &verdicts = document.Verdicts();
    const std::uint64_t cells = verdicts.ErrorCellCount();
    ui.ErrorCount->setText(cells ? tr("エラー %1 個（%2 行）").arg(cells).arg(verdicts.ErrorRowCount())
                                 : tr("エラーなし"));
    ui.VelTorGrid->viewport()->update();
}

void TVelTorForm::UpdateActions()
{
    EditInsertLineUpdate();
    EditDeleteLineUpdate();
    EditCutLineUpdate();
    EditCopyLineUpdate();
    EditPasteLineUpdate();
    const EditCommands::TextState text = editCommands->TextActions();
    ui.EditCut1->setEnabled(text.cut);
    ui.EditCopy1->setEnabled(text.copy);
    ui.EditPaste1->setEnabled(text.paste);
    ui.EditClearCells->setEnabled(text.clear);
    ui.EditUndo->setEnabled(document.UndoStack()->canUndo());
    ui.EditRedo->setEnabled(document.UndoStack()->canRedo());
    const int lines = document.LineCount();
    ui.EditRenumber->setEnabled(lines > 0);
    ui.EditFillDown->setEnabled(lines > 0);
    ui.EditSort->setEnabled(lines > 1);
    ui.EditNarrowWidth->setEnabled(lines > 0);
    ui.EditTrimSpaces->setEnabled(lines > 0);
}

void TVelTorForm::HelpAbout1Execute(QObject *)
{
    context->Dialogs().ExecAbout(*AboutBox);
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
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        // A box would take a dropped file's address as text; the file is
        // opened instead, as anywhere else on the window.
        if (qobject_cast<QLineEdit *>(watched)) {
            auto *drop = static_cast<QDropEvent *>(event);
            if (DroppedFile(drop->mimeData()).isEmpty())
                break;
            drop->acceptProposedAction();
            if (event->type() == QEvent::Drop)
                OpenDroppedFile(drop->mimeData()->urls());
            return true;
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --------------------------------------------------------------------------
// File commands, the save question, the close sequence and the file drop.

QMessageBox::StandardButton TVelTorForm::ConfirmSave()
{
    return fileCommands->ConfirmSave();
}

void TVelTorForm::FileNew1Execute(QObject *)
{
    fileCommands->New();
}

void TVelTorForm::FileOpen1Execute(QObject *)
{
    fileCommands->Open();
}

bool TVelTorForm::LoadReport(const QString &path)
{
    return fileCommands->LoadReport(path);
}

bool TVelTorForm::FileSave1Execute(QObject *Sender)
{
    return fileCommands->Save(Sender == ui.FileSaveAs1);
}

void TVelTorForm::FileImport1Execute(QObject *)
{
    fileCommands->Import();
}

void TVelTorForm::FileExport1Execute(QObject *)
{
    fileCommands->Export();
}

void TVelTorForm::FileExit1Execute(QObject *)
{
    close();
}

void TVelTorForm::FileRecentExecute(const QString &path)
{
    fileCommands->OpenRecent(path);
}

bool TVelTorForm::FormClose()
{
    if (!fileCommands->QuerySave())
        return false;
    WindowSettings::Write(*this, *ui.VelTorGrid, fileCommands->LastFolder());
    WindowSettings::WriteShowNotes(ui.ViewNotes->isChecked());
    return true;
}

QString TVelTorForm::DroppedFile(const QMimeData *mime)
{
    const QList<QUrl> urls = mime ? mime->urls() : QList<QUrl>();
    return urls.isEmpty() ? QString() : urls.first().toLocalFile();
}

void TVelTorForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (!DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TVelTorForm::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    OpenDroppedFile(event->mimeData()->urls());
}

void TVelTorForm::OpenDroppedFile(const QList<QUrl> &urls)
{
    fileCommands->OpenDropped(urls);
}

// --------------------------------------------------------------------------
// The grid as an editor: what is typed goes to the document as it is typed,
// the marks are drawn over the cells, hints follow the mouse and lines are
// dragged.

void TVelTorForm::VelTorGridSetEditText(int col, int row, const QString &text)
{
    document.Typing().Type(GridRowToRecord(row), GridColToField(col), text);
}

void TVelTorForm::VelTorGridDrawCell(QPainter *painter, const QRect &rect, int col, int row) const
{
    painter->save();
    if (row == CurrentRow()) {
        painter->setPen(row == GridRowCount() - 1 ? NewLineRowColor : CurrentRowColor);
        painter->drawLine(rect.topLeft(), rect.topRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    if (CellAttrs().IsError(unsigned(GridRowToRecord(row)), unsigned(GridColToField(col)))) {
        painter->setPen(ErrorFrameColor);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
    }
    // The row handle marks a note on the line as a whole.
    const int field = GridColToField(col);
    if (ui.ViewNotes->isChecked()
        && notes.At(GridRowToRecord(row), field < 0 ? qnVelTorDataNotes::WholeLine : std::uint32_t(field))
                != NoteKind::None) {
        const QPoint corner = rect.topRight();
        const QPoint mark[] = {corner + QPoint(1 - NoteMarkSize, 0), corner + QPoint(1, 0),
                               corner + QPoint(1, NoteMarkSize - 1)};
        painter->setPen(Qt::NoPen);
        painter->setBrush(NoteMarkColor);
        painter->drawPolygon(mark, 3);
    }
    painter->restore();
}

void TVelTorForm::VelTorGridMouseMove(QWidget *source, const QPoint &pos)
{
    int col = -1;
    int row = -1;
    if (source == ui.VelTorGrid->viewport()) {
        const QModelIndex index = ui.VelTorGrid->indexAt(pos);
        if (index.isValid()) {
            col = FieldToGridCol(index.column());
            row = RecordToGridRow(index.row());
        }
    } else if (source == ui.VelTorGrid->horizontalHeader()) {
        const int section = ui.VelTorGrid->horizontalHeader()->logicalIndexAt(pos);
        if (section >= 0) {
            col = FieldToGridCol(section);
            row = 0;
        }
    } else if (source == ui.VelTorGrid->verticalHeader()) {
        const int section = ui.VelTorGrid->verticalHeader()->logicalIndexAt(pos);
        if (section >= 0) {
            col = 0;
            row = RecordToGridRow(section);
        }
    }
    if (col < 0 || row < 0)
        return;

    const QString hint = Model->Hint(GridRowToRecord(row), GridColToField(col));
    if (hint == gridHint)
        return;
    gridHint = hint;
    ShowHint(source, source->mapToGlobal(pos), hint);
}

int TVelTorForm::VelTorGridGetEditMask(int col) const
{
    return int(document.Attributes().MaxLength(unsigned(GridColToField(col))));
}

void TVelTorForm::VelTorGridSelectCell()
{
    // The current-row lines move with the current cell.
    ui.VelTorGrid->viewport()->update();
    ui.VelTorGrid->verticalHeader()->viewport()->update();
    UpdateActions();
}

bool TVelTorForm::VelTorGridKeyDown(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ControlModifier)) {
        ui.SyoudakuBangou->setFocus(Qt::TabFocusReason);
        return true;
    }
    // The view would copy the current cell alone; with no cell editor open
    // these keys work on the selected block.
    if (!ui.VelTorGrid->Editor()) {
        if (event->matches(QKeySequence::Copy)) {
            BlockCopy();
            return true;
        }
        if (event->matches(QKeySequence::Cut)) {
            BlockCut();
            return true;
        }
        if (event->matches(QKeySequence::Paste)) {
            BlockPaste();
            return true;
        }
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
            BlockClear();
            return true;
        }
        // As in a spreadsheet: the next line's cell, or with Shift the one above.
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
            gridCommands->MoveCurrentLine(modifiers == Qt::ShiftModifier ? -1 : 1);
            return true;
        }
    }
    return false;
}

void TVelTorForm::VelTorGridRowMoved(int from, int to)
{
    gridCommands->MoveLine(GridRowToRecord(from), GridRowToRecord(to));
}

// --------------------------------------------------------------------------
// Whole lines, blocks of cells, and the commands over many cells.

void TVelTorForm::EditInsertLineExecute()
{
    gridCommands->InsertLines();
}

void TVelTorForm::EditDeleteLineExecute()
{
    gridCommands->RemoveLines(sender() == ui.EditCutLine ? ReportDocument::LineStep::Cut
                                                          : ReportDocument::LineStep::Delete);
}

void TVelTorForm::EditCutLineExecute()
{
    gridCommands->CutLine();
}

void TVelTorForm::EditCopyLineExecute()
{
    gridCommands->CopyLine();
}

void TVelTorForm::EditPasteLineExecute()
{
    gridCommands->PasteLine();
}

void TVelTorForm::EditInsertLineUpdate()
{
    ui.EditInsertLine->setEnabled(gridCommands->LineCommandAllowed(true));
}

void TVelTorForm::EditDeleteLineUpdate()
{
    ui.EditDeleteLine->setEnabled(gridCommands->LineCommandAllowed(false));
}

void TVelTorForm::EditCutLineUpdate()
{
    ui.EditCutLine->setEnabled(gridCommands->LineCommandAllowed(false));
}

void TVelTorForm::EditCopyLineUpdate()
{
    ui.EditCopyLine->setEnabled(gridCommands->LineCommandAllowed(false));
}

void TVelTorForm::EditPasteLineUpdate()
{
    ui.EditPasteLine->setEnabled(gridCommands->CanPasteLine());
}

bool TVelTorForm::BlockCopy()
{
    return gridCommands->CopyBlock();
}

void TVelTorForm::BlockCut()
{
    gridCommands->CutBlock();
}

void TVelTorForm::BlockClear()
{
    gridCommands->ClearBlock();
}

void TVelTorForm::BlockPaste()
{
    gridCommands->PasteBlock();
}

void TVelTorForm::EditFindExecute()
{
    ui.VelTorGrid->CommitEditor();
    ui.KensakuWord->setFocus(Qt::ShortcutFocusReason);
    ui.KensakuWord->selectAll();
}

void TVelTorForm::EditReplaceExecute()
{
    bulkCommands->Replace(ui.KensakuWord->text());
}

void TVelTorForm::EditRenumberExecute()
{
    bulkCommands->Renumber();
}

void TVelTorForm::EditFillDownExecute()
{
    bulkCommands->FillDown();
}

void TVelTorForm::EditSortExecute()
{
    bulkCommands->Sort();
}

void TVelTorForm::EditNarrowWidthExecute()
{
    fixCommands->NarrowWidth();
}

void TVelTorForm::EditTrimSpacesExecute()
{
    fixCommands->TrimSpaces();
}

void TVelTorForm::VelTorGridContextMenu(const QPoint &globalPos)
{
    UpdateActions();
    context->Dialogs().ExecMenu(*ui.GridMenu, globalPos);
}

// --------------------------------------------------------------------------
// Finding things from the current cell: a word in four directions, the next
// and previous invalid cell; and undo and redo, which also move there.

void TVelTorForm::KensakuLeftButtonClick()
{
    Search(ui.KensakuLeftButton, ReportSearch::Left);
}

void TVelTorForm::KensakuRightButtonClick()
{
    Search(ui.KensakuRightButton, ReportSearch::Right);
}

void TVelTorForm::KensakuUpButtonClick()
{
    Search(ui.KensakuUpButton, ReportSearch::Up);
}

void TVelTorForm::KensakuDownButtonClick()
{
    Search(ui.KensakuDownButton, ReportSearch::Down);
}

void TVelTorForm::Search(QPushButton *button, ReportSearch::Direction direction)
{
    const QString hint = bulkCommands->Search(ui.KensakuWord->text(), direction) ? tr("見つかりました(^_^)")
                                                                                  : tr("見つかりません(；_；)");
    button->setToolTip(hint);
    ShowHint(button, button->mapToGlobal(button->rect().center()), hint);
}

void TVelTorForm::SearchButtonLeft(QPushButton *button)
{
    // The message belongs to the last click only.
    button->setToolTip(QString());
    ShowHint(button, QPoint(), QString());
}

void TVelTorForm::EditNextErrorExecute()
{
    bulkCommands->GoToError(true);
}

void TVelTorForm::EditPrevErrorExecute()
{
    bulkCommands->GoToError(false);
}

void TVelTorForm::EditUndoExecute()
{
    editCommands->Undo();
}

void TVelTorForm::EditRedoExecute()
{
    editCommands->Redo();
}
