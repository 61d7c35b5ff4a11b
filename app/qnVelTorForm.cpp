#include "qnVelTorForm.h"

#include "BulkEdits.h"
#include "CellDelegate.h"
#include "CsvFileDialog.h"
#include "FileFilters.h"
#include "HeaderBoxes.h"
#include "Icons.h"
#include "LoadProgress.h"
#include "Messages.h"
#include "OpenAsBox.h"
#include "RecentFiles.h"
#include "ReplaceDialog.h"
#include "ReplaceSession.h"
#include "ReportModel.h"
#include "ReportReplace.h"
#include "SaveAnywayBox.h"
#include "ShiftJis.h"
#include "SortDialog.h"
#include "TextFilter.h"
#include "VelTorGridView.h"
#include "WindowSettings.h"
#include "about.h"
#include "qnVelTorDataAttribute.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
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
#include <QToolBar>
#include <QToolTip>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

// Designed client size at 96 dots per inch, and the rows of the layout.
constexpr int DesignedWidth = 740;
constexpr int DesignedHeight = 406;
constexpr int HandleColumnWidth = 20;
constexpr int HintDisplayMilliseconds = 10000;

const QString ProgramTitle = QStringLiteral("JASRAC報告");

const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;") + AllFilesFilter();
const QString ReportSuffix = QStringLiteral("dat");

const QColor CurrentRowColor(0, 0, 255);
const QColor NewLineRowColor(0, 128, 0);
const QColor ErrorFrameColor(255, 0, 0);

const QString foundHint = QStringLiteral("見つかりました(^_^)");
const QString notFoundHint = QStringLiteral("見つかりません(；_；)");

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
    connect(&document.Content(), &ReportContent::placeShown, this, &TVelTorForm::ShowPlace);
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
        ui.VelTorGrid->SetCurrentCell(index);
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

// --------------------------------------------------------------------------
// File commands: New, Open, Save, Save As, Import, Export, Exit, the questions
// before them and the file drop.

QMessageBox::StandardButton TVelTorForm::ConfirmSave()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"),
                    QStringLiteral("内容は変更されています。\n変更を保存しますか？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    box.adjustSize();
    const QRect window = frameGeometry();
    box.move(window.left() + window.width() / 2 - box.width() / 2,
             window.top() + window.height() / 2 - box.height() / 2);
    switch (dialogs->ExecMessageBox(box)) {
    case QMessageBox::Yes:
        return QMessageBox::Yes;
    case QMessageBox::No:
        return QMessageBox::No;
    default:
        return QMessageBox::Cancel;
    }
}

void TVelTorForm::ShowError(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), text, QMessageBox::Ok, this);
    dialogs->ExecMessageBox(box);
}

bool TVelTorForm::Ask(const QString &question, const QString &yes)
{
    SaveAnywayBox box(this, question, yes);
    return dialogs->ExecMessageBox(box) == QMessageBox::Save;
}

bool TVelTorForm::ConfirmHeaderComesBack(QObject *Sender)
{
    const std::vector<ReportDocument::HeaderDrift> drifts = document.HeaderDrifts(Sender == ui.FileSaveAs1);
    if (drifts.empty())
        return true;
    return Ask(Messages::HeaderDrifts(document, drifts, {ui.Label1->text(), ui.Label2->text(), ui.Label3->text()}),
               QStringLiteral("このまま保存"));
}

bool TVelTorForm::ConfirmSaveLosses()
{
    return !document.Losses().Any() || Ask(Messages::SaveLosses(document.Losses()), QStringLiteral("このまま保存"));
}

bool TVelTorForm::QuerySaveBeforeReplace(QObject *Sender)
{
    ui.VelTorGrid->CommitEditor();
    if (!Modified())
        return true;
    switch (ConfirmSave()) {
    case QMessageBox::Yes:
        // A Yes that ends without a save must not lose the edits.
        return FileSave1Execute(Sender);
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TVelTorForm::FileNew1Execute(QObject *Sender)
{
    if (!QuerySaveBeforeReplace(Sender))
        return;
    document.Clear();
    gridHint.clear();
    SetCurrentCell(FixedCols, FixedRows);
}

void TVelTorForm::FileOpen1Execute(QObject *Sender)
{
    if (!QuerySaveBeforeReplace(Sender))
        return;
    QFileDialog dialog(this, QString(), StartFolder(), ReportFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // No default suffix: a name typed without an extension is opened as typed.
    const QString path = dialogs->ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    LoadReport(path);
}

OpenAsBox::Answer TVelTorForm::AskHowToOpen(const QString &path)
{
    const ReportSniffer::Looks looks = SniffReportFile(path);
    if (looks == ReportSniffer::Looks::Report)
        return OpenAsBox::Answer::Report;
    OpenAsBox box(this, Messages::LooksNotReport(path, looks));
    return OpenAsBox::Chosen(dialogs->ExecMessageBox(box));
}

bool TVelTorForm::LoadReport(const QString &path)
{
    // Events are handled while the progress is shown; a second load must
    // not start inside the first.
    if (loading)
        return false;
    switch (AskHowToOpen(path)) {
    case OpenAsBox::Answer::Import:
        return ImportFile(path, ReportDocument::ImportInto::NewReport);
    case OpenAsBox::Answer::Nothing:
        return false;
    case OpenAsBox::Answer::Report:
        break;
    }
    loading = true;
    ReportDocument::LoadResult result;
    {
        WaitCursor wait;
        LoadProgress progress(this, loadProgressDelay);
        result = document.Load(path, [&progress](std::uint64_t done, std::uint64_t size) {
            return progress.Step(done, size);
        });
    }
    loading = false;
    if (result.failure == ReadFailure::Cancelled) {
        statusBar()->showMessage(Messages::LoadCancelled());
        return false;
    }
    if (!result.Ok()) {
        ShowError(Messages::Load(path, result.failure));
        return false;
    }
    gridHint.clear();
    SetCurrentCell(FixedCols, FixedRows);
    ui.VelTorGrid->scrollToTop();
    ui.ShowRecentFiles(RecentFiles::Add(path));
    ShowLoadFacts(result.facts);
    return true;
}

void TVelTorForm::ShowLoadFacts(const ReadFacts &facts)
{
    statusBar()->showMessage(Messages::Loaded(document));
    const QStringList warnings = Messages::LoadWarnings(facts);
    if (warnings.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"), warnings.join(QStringLiteral("\n\n")),
                    QMessageBox::Ok, this);
    dialogs->ExecMessageBox(box);
}

bool TVelTorForm::ConfirmOverwriteChanged(const QString &target)
{
    // Another program, or another copy of the editor, may have written the
    // file since: its version is not overwritten without a word.
    if (target != document.FilePath())
        return true;
    const DiskChange change = document.ChangeOnDisk();
    return change == DiskChange::Same || Ask(Messages::ChangedOnDisk(target, change), QStringLiteral("上書きする"));
}

QString TVelTorForm::SaveTarget(bool saveAs)
{
    if (!saveAs && !document.NeedsFileName())
        return document.FilePath();
    QFileDialog dialog(this, QString(), StartFolder(), ReportFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(ReportSuffix);
#ifndef Q_OS_WIN
    // Qt's own dialog reliably adds the default extension and asks before
    // overwriting the file that name then names.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    const QString suggested = document.SuggestedFileName();
    if (!suggested.isEmpty())
        dialog.selectFile(suggested);
    return dialogs->ExecFileDialog(dialog);
}

bool TVelTorForm::FileSave1Execute(QObject *Sender)
{
    ui.VelTorGrid->CommitEditor();
    if (!ConfirmSaveLosses() || !ConfirmHeaderComesBack(Sender))
        return false;
    document.TakeHeaderName();
    const QString target = SaveTarget(Sender == ui.FileSaveAs1);
    if (target.isEmpty() || !ConfirmOverwriteChanged(target))
        return false;
    const auto confirmWithoutBackup = [this, &target] {
        return Ask(Messages::WithoutBackup(target), QStringLiteral("書き換える"));
    };
    ReportDocument::SaveResult result;
    {
        WaitCursor wait;
        result = document.Save(target, confirmWithoutBackup);
    }
    if (!result.Written()) {
        ShowError(Messages::Save(target, result.failure, result.backupPath));
        return false;
    }
    statusBar()->showMessage(Messages::Saved(document));
    ui.ShowRecentFiles(RecentFiles::Add(target));
    return true;
}

void TVelTorForm::FileImport1Execute(QObject *)
{
    ui.VelTorGrid->CommitEditor();
    CsvFileDialog dialog(this, CsvFileDialog::Mode::Import, StartFolder());
    const QString path = dialogs->ExecFileDialog(dialog);
    if (!path.isEmpty())
        ImportFile(path, ReportDocument::ImportInto::End);
}

bool TVelTorForm::ImportFile(const QString &path, ReportDocument::ImportInto into)
{
    if (loading)
        return false;
    loading = true;
    ReportDocument::ImportResult result;
    {
        WaitCursor wait;
        LoadProgress progress(this, loadProgressDelay, QStringLiteral("ファイルをインポートしています…"),
                              QStringLiteral("インポート中"));
        result = document.Import(path, [&progress](std::uint64_t done, std::uint64_t size) {
            return progress.Step(done, size);
        }, into);
    }
    loading = false;
    if (result.failure == ReadFailure::Cancelled) {
        statusBar()->showMessage(Messages::ImportCancelled());
        return false;
    }
    if (!result.Ok()) {
        ShowError(Messages::Import(path, result.failure));
        return false;
    }
    gridHint.clear();
    SetCurrentCell(FixedCols, RecordToGridRow(result.firstLine));
    ui.VelTorGrid->scrollTo(ui.VelTorGrid->currentIndex(), QAbstractItemView::PositionAtTop);
    statusBar()->showMessage(Messages::Imported(result));
    QMessageBox box(QMessageBox::Information, QStringLiteral("インポート"), Messages::ImportSummary(result),
                    QMessageBox::Ok, this);
    dialogs->ExecMessageBox(box);
    return true;
}

void TVelTorForm::FileExport1Execute(QObject *)
{
    ui.VelTorGrid->CommitEditor();
    CsvFileDialog dialog(this, CsvFileDialog::Mode::Export, StartFolder(), document.SuggestedExportName());
    const QString path = dialogs->ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    ReportDocument::ExportResult result;
    {
        WaitCursor wait;
        result = document.Export(path);
    }
    if (!result.written) {
        ShowError(Messages::Export(path, result));
        return;
    }
    statusBar()->showMessage(Messages::Exported(path, result.facts));
}

void TVelTorForm::FileExit1Execute(QObject *)
{
    close();
}

bool TVelTorForm::FormClose()
{
    ui.VelTorGrid->CommitEditor();
    if (Modified()) {
        switch (ConfirmSave()) {
        case QMessageBox::Yes:
            if (!FileSave1Execute(this))
                return false;
            break;
        case QMessageBox::No:
            break;
        default:
            return false;
        }
    }
    WindowSettings::Write(*this, *ui.VelTorGrid, lastFolder);
    return true;
}

void TVelTorForm::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TVelTorForm::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    OpenDroppedFile(event->mimeData()->urls());
}

void TVelTorForm::OpenDroppedFile(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    const QString path = urls.first().toLocalFile();
    if (path.isEmpty())
        return;
    if (!QuerySaveBeforeReplace(this))
        return;
    LoadReport(path);
}

// --------------------------------------------------------------------------
// The grid's behaviour as an editor: what is typed goes to the document as it
// is typed, the marks are drawn over the cells, hints follow the mouse and
// lines are dragged.

void TVelTorForm::VelTorGridSetEditText(int col, int row, const QString &text)
{
    document.TypeCell(GridRowToRecord(row), GridColToField(col), text);
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
    UpdateLineActions();
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
            MoveCurrentLine(modifiers == Qt::ShiftModifier ? -1 : 1);
            return true;
        }
    }
    return false;
}

void TVelTorForm::VelTorGridRowMoved(int from, int to)
{
    // Text still in a cell editor may add a line; count after it.
    ui.VelTorGrid->CommitEditor();
    const int lastRow = GridRowCount() - 1;
    // The empty new-line row stays last, and a line dropped onto it becomes
    // the report's last line: no line is lost and no empty line is made.
    if (from == lastRow)
        return;
    if (to == lastRow)
        to = lastRow - 1;
    if (from == to || from < FixedRows || to < FixedRows)
        return;
    const int col = CurrentCol();
    if (!document.MoveLine(GridRowToRecord(from), GridRowToRecord(to))) {
        ShowError(Messages::OutOfMemoryEdit());
        return;
    }
    SetCurrentCell(col, to);
}

// --------------------------------------------------------------------------
// Whole lines on the grid's current row (insert, delete, and cut, copy and
// paste through the line clipboard), blocks of cells through the plain-text
// clipboard, and the enabled state of the line and the text actions.

bool TVelTorForm::LineCommandAllowed(bool emptyLastRowAllowed) const
{
    const int rowCount = GridRowCount();
    const int row = CurrentRow();
    if (rowCount < 1 || row < FixedRows)
        return false;
    return row < (emptyLastRowAllowed ? rowCount : rowCount - 1);
}

bool TVelTorForm::CommandLines(bool newLineRow, int &first, int &count) const
{
    const int current = GridRowToRecord(CurrentRow());
    int top = 0, left = 0, bottom = 0, right = 0;
    first = current;
    int last = current;
    if (ui.VelTorGrid->SelectedBlock(top, left, bottom, right) && bottom > top && current >= top && current <= bottom) {
        first = top;
        last = bottom;
    }
    last = std::min(last, newLineRow ? document.LineCount() : document.LineCount() - 1);
    count = last - first + 1;
    return first >= 0 && count > 0;
}

bool TVelTorForm::PutCurrentLine()
{
    std::vector<std::string> cells = document.LineCells(GridRowToRecord(CurrentRow()));
    cells.insert(cells.begin(), std::string()); // the row handle's cell
    return activeLineClipboard->PutRecord(cells);
}

void TVelTorForm::EditInsertLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true))
        return;
    const int col = CurrentCol();
    int first = 0;
    int count = 0;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (!CommandLines(true, first, count) || !ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return;
    // On the empty last row the new line is appended: the former new-line
    // row becomes a report line. As many lines as are selected.
    if (!document.InsertLines(first, count))
        ShowError(Messages::OutOfMemoryEdit());
    SetCurrentCell(col, RecordToGridRow(first));
    if (count > 1) {
        ui.VelTorGrid->selectionModel()->select(
                QItemSelection(Model->index(first, left), Model->index(first + count - 1, right)),
                QItemSelectionModel::ClearAndSelect);
    }
    UpdateLineActions();
}

void TVelTorForm::EditDeleteLineExecute()
{
    RemoveCommandLines(sender() == ui.EditCutLine ? ReportDocument::LineStep::Cut : ReportDocument::LineStep::Delete);
}

void TVelTorForm::RemoveCommandLines(ReportDocument::LineStep step)
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    const int col = CurrentCol();
    // A cut takes the one line the line clipboard holds; a delete takes
    // every selected line.
    int first = GridRowToRecord(CurrentRow());
    int count = 1;
    if (step == ReportDocument::LineStep::Delete && !CommandLines(false, first, count))
        return;
    if (!document.RemoveLines(first, count, step))
        ShowError(Messages::OutOfMemoryEdit());
    // The same row index now shows the line that followed, or the empty
    // last row when the last line went.
    SetCurrentCell(col, RecordToGridRow(first));
    UpdateLineActions();
}

void TVelTorForm::EditCutLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    // A line that did not reach the clipboard would be gone for good.
    if (!PutCurrentLine()) {
        statusBar()->showMessage(QStringLiteral("クリップボードに入れられなかったため、行は切り取りませんでした。"));
        return;
    }
    RemoveCommandLines(ReportDocument::LineStep::Cut);
}

void TVelTorForm::EditCopyLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    if (!PutCurrentLine())
        statusBar()->showMessage(QStringLiteral("クリップボードに入れられませんでした。"));
    UpdateLineActions();
}

void TVelTorForm::EditPasteLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true) || !activeLineClipboard->HasRecord())
        return;
    const int col = CurrentCol();
    const int row = CurrentRow();
    bool pasted = false;
    try {
        // Read first: a clipboard that fails now leaves no empty line behind.
        std::vector<std::string> cells;
        if (!activeLineClipboard->GetRecord(cells))
            return;
        // Cell 0 is the row handle's and belongs to no field; foreign data
        // may put text there, which is dropped.
        cells.erase(cells.begin());
        // Another program may offer a line of any size; a line that does
        // not fit leaves the report as it was.
        pasted = document.InsertLine(GridRowToRecord(row), cells, ReportDocument::LineStep::Paste);
    } catch (const std::bad_alloc &) {
    }
    SetCurrentCell(col, row);
    if (!pasted) {
        ShowError(Messages::OutOfMemoryPaste());
        return;
    }
    UpdateLineActions();
}

void TVelTorForm::EditInsertLineUpdate()
{
    ui.EditInsertLine->setEnabled(LineCommandAllowed(true));
}

void TVelTorForm::EditDeleteLineUpdate()
{
    ui.EditDeleteLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditCutLineUpdate()
{
    ui.EditCutLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditCopyLineUpdate()
{
    ui.EditCopyLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditPasteLineUpdate()
{
    ui.EditPasteLine->setEnabled(LineCommandAllowed(true) && activeLineClipboard->HasRecord());
}

void TVelTorForm::UpdateLineActions()
{
    EditInsertLineUpdate();
    EditDeleteLineUpdate();
    EditCutLineUpdate();
    EditCopyLineUpdate();
    EditPasteLineUpdate();
    UpdateBulkActions();
}

void TVelTorForm::UpdateTextActions()
{
    // The header boxes, the search box and the grid's cell editor are all
    // line edits; nothing else takes text.
    const auto *edit = qobject_cast<const QLineEdit *>(QApplication::focusWidget());
    // The grid itself takes blocks of cells: there is always a current cell.
    const bool block = !edit && GridTakesBlocks();
    const bool selected = block || (edit && edit->hasSelectedText());
    ui.EditCut1->setEnabled(selected);
    ui.EditCopy1->setEnabled(selected);
    // Without an owner the clipboard has no data at all.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ui.EditPaste1->setEnabled((block || (edit && !edit->isReadOnly())) && mime && mime->hasText());
    ui.EditClearCells->setEnabled(block);
}

bool TVelTorForm::GridTakesBlocks() const
{
    return ui.VelTorGrid->hasFocus() && !ui.VelTorGrid->Editor();
}

bool TVelTorForm::BlockCopy()
{
    int top, left, bottom, right;
    if (!ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return false;
    bool outOfMemory = false;
    const QString text = document.BlockText(top, left, bottom, right, &outOfMemory);
    if (outOfMemory) {
        statusBar()->showMessage(Messages::OutOfMemoryEdit());
        return false;
    }
    QGuiApplication::clipboard()->setText(text);
    statusBar()->showMessage(QStringLiteral("%1行×%2列をコピーしました。").arg(bottom - top + 1).arg(right - left + 1));
    return true;
}

void TVelTorForm::BlockCut()
{
    // Cells that did not reach the clipboard must not be cleared.
    if (BlockCopy())
        BlockClear();
}

void TVelTorForm::BlockClear()
{
    int top, left, bottom, right;
    if (ui.VelTorGrid->SelectedBlock(top, left, bottom, right) && !document.ClearBlock(top, left, bottom, right))
        statusBar()->showMessage(Messages::OutOfMemoryEdit());
}

void TVelTorForm::BlockPaste()
{
    if (loading)
        return;
    ReportDocument::PasteResult result;
    {
        // A large block takes a while to come from another program too: the
        // half second before the progress shows counts from here.
        WaitCursor wait;
        LoadProgress progress(this, loadProgressDelay, QStringLiteral("貼り付けています…"),
                              QStringLiteral("貼り付け中"));
        const QString text = QGuiApplication::clipboard()->text();
        if (text.isEmpty())
            return;
        loading = true;
        result = document.PasteText(GridRowToRecord(CurrentRow()), GridColToField(CurrentCol()), text,
                                    [&progress](std::uint64_t done, std::uint64_t size) {
                                        return progress.Step(done, size);
                                    });
        loading = false;
    }
    if (result.cancelled) {
        statusBar()->showMessage(Messages::PasteCancelled());
        return;
    }
    if (result.outOfMemory) {
        statusBar()->showMessage(Messages::OutOfMemoryEdit());
        return;
    }
    if (result.changed) {
        const QModelIndex first = Model->index(result.top, result.left);
        ui.VelTorGrid->selectionModel()->select(QItemSelection(first, Model->index(result.bottom, result.right)),
                                             QItemSelectionModel::ClearAndSelect);
        ui.VelTorGrid->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    }
    statusBar()->showMessage(Messages::Pasted(result));
}

void TVelTorForm::PasteBlockFromEditor()
{
    // Nobody typed into the editor: closing it changes nothing.
    ui.VelTorGrid->CommitEditor();
    ui.VelTorGrid->setFocus(Qt::OtherFocusReason);
    BlockPaste();
}

// --------------------------------------------------------------------------
// Commands over many cells or lines (find and replace, renumbering, filling
// down, sorting), the grid's context menu, Enter as spreadsheets take it and
// the list of recent reports. Each is one operation of the document or of a
// class of its own in document/.

QStringList TVelTorForm::FieldNames() const
{
    QStringList names;
    for (unsigned field = 0; field < FieldCount; ++field)
        names << ShiftJis::ToText(document.Attributes().At(field)->name);
    return names;
}

void TVelTorForm::EditFindExecute()
{
    ui.VelTorGrid->CommitEditor();
    ui.KensakuWord->setFocus(Qt::ShortcutFocusReason);
    ui.KensakuWord->selectAll();
}

void TVelTorForm::EditReplaceExecute()
{
    ui.VelTorGrid->CommitEditor();
    ReplaceDialog dialog(FieldNames(), this);
    dialog.SetTexts(lastFind.isEmpty() ? ui.KensakuWord->text() : lastFind, lastReplacement);
    // The block as it is now: showing an occurrence moves the current cell.
    ReportReplace::Scope block;
    dialog.SetBlockAvailable(ui.VelTorGrid->SelectedBlock(block.top, block.left, block.bottom, block.right)
                             && (block.top != block.bottom || block.left != block.right));
    dialog.SetField(GridColToField(CurrentCol()));
    const ReplaceSession session(document, dialog, block,
                                 {[this] {
                                      return ReplaceSession::Place{GridRowToRecord(CurrentRow()),
                                                                   GridColToField(CurrentCol())};
                                  },
                                  [this](ReplaceSession::Place place) { ShowPlace(place.line, place.field); },
                                  [this, &dialog](const QString &message) {
                                      statusBar()->showMessage(message);
                                      dialog.ShowMessage(message);
                                  }});
    dialogs->ExecReplace(dialog);
    lastFind = dialog.FindText();
    lastReplacement = dialog.ReplacementText();
}

void TVelTorForm::EditRenumberExecute()
{
    ui.VelTorGrid->CommitEditor();
    // Several selected lines are renumbered alone, from their first one's
    // number on; else the whole report from 1.
    int top = 0, left = 0, bottom = 0, right = 0;
    int first = 0;
    int last = document.LineCount() - 1;
    std::uint64_t start = 1;
    if (ui.VelTorGrid->SelectedBlock(top, left, bottom, right) && bottom > top && top < document.LineCount()) {
        first = top;
        last = bottom;
        start = BulkEdits::NumberFrom(document, first);
    }
    const BulkEdits::Result result = BulkEdits::Renumber(document, first, last, start);
    statusBar()->showMessage(result.outOfMemory ? Messages::OutOfMemoryEdit() : Messages::Renumbered(result));
}

void TVelTorForm::EditFillDownExecute()
{
    ui.VelTorGrid->CommitEditor();
    int top = 0, left = 0, bottom = 0, right = 0;
    if (!ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return;
    const BulkEdits::Result result = BulkEdits::FillDown(document, top, left, bottom, right);
    statusBar()->showMessage(result.outOfMemory ? Messages::OutOfMemoryEdit() : Messages::FilledDown(result));
}

void TVelTorForm::EditSortExecute()
{
    ui.VelTorGrid->CommitEditor();
    SortDialog dialog(FieldNames(), this);
    dialog.SetKeys(lastSortKeys);
    if (dialogs->ExecSort(dialog) != QDialog::Accepted)
        return;
    lastSortKeys = dialog.Keys();
    WaitCursor wait;
    const BulkEdits::Result result = BulkEdits::Sort(document, lastSortKeys);
    statusBar()->showMessage(result.outOfMemory ? Messages::OutOfMemoryEdit() : Messages::Sorted(result));
}

void TVelTorForm::UpdateBulkActions()
{
    const int lines = document.LineCount();
    ui.EditRenumber->setEnabled(lines > 0);
    ui.EditFillDown->setEnabled(lines > 0);
    ui.EditSort->setEnabled(lines > 1);
    ui.EditClearCells->setEnabled(GridTakesBlocks());
}

void TVelTorForm::VelTorGridContextMenu(const QPoint &globalPos)
{
    UpdateLineActions();
    UpdateTextActions();
    dialogs->ExecMenu(*ui.GridMenu, globalPos);
}

void TVelTorForm::MoveCurrentLine(int step)
{
    // The new-line row is the last place: Enter there stays there.
    const int line = std::clamp(GridRowToRecord(CurrentRow()) + step, 0, document.LineCount());
    ShowPlace(line, GridColToField(CurrentCol()));
}

void TVelTorForm::FileRecentExecute(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        // Offered as it was kept; gone now, it leaves the list.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"), Messages::RecentFileMissing(path),
                        QMessageBox::Ok, this);
        dialogs->ExecMessageBox(box);
        ui.ShowRecentFiles(RecentFiles::Remove(path));
        return;
    }
    if (QuerySaveBeforeReplace(this))
        LoadReport(path);
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
    // A cell being typed into is part of what the user sees.
    ui.VelTorGrid->CommitEditor();
    // The box admits only text that code page 932 holds.
    const std::string word = ShiftJis::FromText(ui.KensakuWord->text()).value_or(std::string());
    int line = GridRowToRecord(CurrentRow());
    int field = GridColToField(CurrentCol());
    const bool found = ReportSearch(document).Find(word, direction, line, field);
    if (found) {
        SetCurrentCell(FieldToGridCol(field), RecordToGridRow(line));
        ui.VelTorGrid->scrollTo(Model->index(line, field));
    }
    const QString &hint = found ? foundHint : notFoundHint;
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
    GoToError(true);
}

void TVelTorForm::EditPrevErrorExecute()
{
    GoToError(false);
}

void TVelTorForm::GoToError(bool forward)
{
    ui.VelTorGrid->CommitEditor();
    unsigned line = 0;
    unsigned field = 0;
    bool wrapped = false;
    // From the new-line row, which has no verdicts, forward starts at the
    // first line and backward at the last.
    if (!CellAttrs().FindError(unsigned(GridRowToRecord(CurrentRow())), unsigned(GridColToField(CurrentCol())),
                               forward, line, field, wrapped)) {
        statusBar()->showMessage(QStringLiteral("エラーのセルはありません。"));
        return;
    }
    SetCurrentCell(FieldToGridCol(int(field)), RecordToGridRow(int(line)));
    const QModelIndex index = ui.VelTorGrid->currentIndex();
    ui.VelTorGrid->scrollTo(index);
    QString text = QStringLiteral("%1行目「%2」：%3")
                           .arg(line + 1)
                           .arg(ShiftJis::ToText(document.Attributes().At(field)->name))
                           .arg(ShiftJis::ToText(CellAttrs().GetErrorMessage(line, field)));
    if (wrapped)
        text += forward ? QStringLiteral("（先頭に戻りました）") : QStringLiteral("（末尾に戻りました）");
    statusBar()->showMessage(text);
    const QRect cell = ui.VelTorGrid->visualRect(index);
    QToolTip::showText(ui.VelTorGrid->viewport()->mapToGlobal(cell.bottomLeft()), text, ui.VelTorGrid->viewport());
}

void TVelTorForm::EditUndoExecute()
{
    // What is being typed is a step of its own, and the first to go.
    ui.VelTorGrid->CommitEditor();
    // What the status bar said of the step (or of the last save) is no
    // longer so.
    statusBar()->clearMessage();
    if (!document.Undo())
        ShowError(Messages::OutOfMemoryUndo());
}

void TVelTorForm::EditRedoExecute()
{
    ui.VelTorGrid->CommitEditor();
    statusBar()->clearMessage();
    if (!document.Redo())
        ShowError(Messages::OutOfMemoryRedo());
}
