// File commands of the main window: New, Open, Save, Save As, Exit, the save
// question, the file drop and the copying between window and report.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorFile.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <new>
#include <ranges>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;すべてのファイル (*.*)");
const QString ReportSuffix = QStringLiteral("dat");

// Gives freed heap pages back to the system: a large report's container is
// dropped once the grid holds the report.
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Header boxes only ever hold characters code page 932 has.
std::string headerBytes(const QLineEdit *edit)
{
    return ShiftJis::FromText(edit->text()).value_or(std::string());
}

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// Shows how far a load has got once it has run for `delay` milliseconds, and
// lets the user stop it. Events are handled only from then on, while the
// window-modal dialog keeps the user's input away from the window, so no
// command can run inside a load. Called once per chunk of the file: before
// the dialog is up it costs one look at the clock.
class LoadProgress
{
public:
    LoadProgress(QWidget *window, int delay) : window(window), delay(delay) { clock.start(); }

    // False when the user has asked to stop.
    bool Step(std::uint64_t done, std::uint64_t size)
    {
        if (!dialog) {
            if (clock.elapsed() < delay)
                return true;
            dialog = std::make_unique<QProgressDialog>(QStringLiteral("ファイルを読み込んでいます…"),
                                                       QStringLiteral("キャンセル"), 0, Steps, window);
            dialog->setWindowTitle(QStringLiteral("読み込み中"));
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoReset(false);
            dialog->setAutoClose(false);
            // The Cancel button must not look busy.
            QApplication::changeOverrideCursor(Qt::BusyCursor);
            dialog->show();
        }
        const std::uint64_t part = size == 0 ? 0 : std::min(done, size) * Steps / size;
        dialog->setValue(int(part));
        QCoreApplication::processEvents();
        return !dialog->wasCanceled();
    }

private:
    static constexpr int Steps = 1000;
    QWidget *window; // not owned
    int delay;
    QElapsedTimer clock;
    std::unique_ptr<QProgressDialog> dialog;
};

} // namespace

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

bool TVelTorForm::QuerySaveBeforeReplace(QObject *Sender)
{
    VelTorGrid->CommitEditor();
    if (!Modified)
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
    Data.Clear();
    Modified = false;
    CurrentFileName.clear();
    NameChanged = false;
    ClearView();
}

void TVelTorForm::FileOpen1Execute(QObject *Sender)
{
    if (!QuerySaveBeforeReplace(Sender))
        return;
    QFileDialog dialog(this, QString(), QString(), ReportFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(ReportSuffix);
    const QString path = dialogs->ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    LoadReport(path);
}

bool TVelTorForm::LoadReport(const QString &path)
{
    // Events are handled while the progress is shown; a second load must
    // not start inside the first.
    if (loading)
        return false;
    loading = true;
    bool ok = false;
    ReadFailure failure = ReadFailure::None;
    {
        WaitCursor wait;
        LoadProgress progress(this, LoadProgressDelay);
        try {
            Data.Clear();
            ok = ReadReportFile(
                    path, &Data, [this](qnVelTorData &) { TakeRecords(); },
                    [&progress](std::uint64_t done, std::uint64_t size) { return progress.Step(done, size); },
                    &failure);
            if (ok) {
                // Everything that needs much memory happens before the
                // window lets go of the report it shows.
                TakeRecords();
                loadedRows.reserve(loadedRows.size() + 1); // the new-line row
                ClearView();
                DocumentToGrid();
                Modified = false;
                CurrentFileName = path;
                NameChanged = false;
            }
        } catch (const std::bad_alloc &) {
            ok = false;
            failure = ReadFailure::OutOfMemory;
        }
        if (!ok)
            DropLoadedRecords();
        releaseFreedMemory();
    }
    loading = false;
    switch (failure) {
    case ReadFailure::None:
        break;
    case ReadFailure::Cancelled:
        statusBar()->showMessage(LoadCancelledMessage());
        break;
    case ReadFailure::NotRegularFile:
        ShowError(NotRegularFileMessage());
        break;
    case ReadFailure::OutOfMemory:
        ShowError(OutOfMemoryLoadMessage());
        break;
    default:
        ShowError(QStringLiteral("ファイル読み込みエラー"));
        break;
    }
    return ok;
}

void TVelTorForm::DropLoadedRecords()
{
    Data.Resize(0);
    std::vector<ReportRow>().swap(loadedRows);
    loadedArena = RowArena();
    loadedAttrs.Reset(0);
}

QString TVelTorForm::NotRegularFileMessage()
{
    return QStringLiteral("通常のファイルではないため、開けません。\n（フォルダー、パイプ、デバイスなどは開けません）");
}

QString TVelTorForm::OutOfMemoryLoadMessage()
{
    return QStringLiteral("メモリが足りないため、ファイルを開けません。\n表示中の報告はそのままです。");
}

QString TVelTorForm::OutOfMemoryPasteMessage()
{
    return QStringLiteral("メモリが足りないため、行を貼り付けられません。");
}

QString TVelTorForm::OutOfMemoryDrawMessage()
{
    return QStringLiteral("メモリが足りないため、表示できないセルがあります。");
}

QString TVelTorForm::LoadCancelledMessage()
{
    return QStringLiteral("読み込みを中止しました。表示中の報告はそのままです。");
}

bool TVelTorForm::FileSave1Execute(QObject *Sender)
{
    VelTorGrid->CommitEditor();
    GridToDocument();

    if (Sender == FileSaveAs1 || CurrentFileName.isEmpty() || NameChanged) {
        const QFileInfo current(CurrentFileName);
        const QString folder = CurrentFileName.isEmpty() ? QString() : current.absolutePath();
        const QString extension =
                CurrentFileName.isEmpty() || current.suffix().isEmpty() ? QString() : u'.' + current.suffix();
        const QString baseName = ShiftJis::ToText(Data.FileBaseName());
        QString suggested;
        if (!baseName.isEmpty()) {
            if (extension.isEmpty())
                suggested = baseName + u'.' + ReportSuffix; // a report never saved
            else
                suggested = baseName.contains(u'.') ? baseName : baseName + extension;
        }

        QFileDialog dialog(this, QString(), folder, ReportFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(ReportSuffix);
#ifndef Q_OS_WIN
        // Qt's own dialog reliably adds the default extension and asks
        // before overwriting the file that name then names.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
        if (!suggested.isEmpty())
            dialog.selectFile(suggested);
        const QString path = dialogs->ExecFileDialog(dialog);
        if (path.isEmpty()) {
            Data.Resize(0);
            releaseFreedMemory();
            return false;
        }
        CurrentFileName = path;
    }

    bool written;
    {
        WaitCursor wait;
        written = qnVelTorFileWriter().Write(CurrentFileName, &Data);
        Data.Resize(0);
        releaseFreedMemory();
    }
    if (!written) {
        ShowError(QStringLiteral("ファイル書き込みエラー"));
        return false;
    }
    Modified = false;
    NameChanged = false;
    return true;
}

void TVelTorForm::FileExit1Execute(QObject *)
{
    close();
}

bool TVelTorForm::FormClose()
{
    VelTorGrid->CommitEditor();
    if (Modified) {
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
    WriteSettings();
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

void TVelTorForm::ClearView()
{
    SyoudakuBangou->clear();
    HoukokuNengappi->clear();
    NiniMoziretsu->clear();
    Model->Clear();
    CellAttrs.Reset(0);
    gridHint.clear();
    SetCurrentCell(FixedCols, FixedRows);
}

void TVelTorForm::TakeRecords()
{
    std::string message;
    for (const qnVelTorDataRecord &line : Data) {
        const unsigned record = loadedAttrs.RowCount();
        loadedAttrs.AddRow();
        loadedRows.push_back(
                ReportRow::FromCells(line.fields | std::views::transform(&qnVelTorDataField::Get), &loadedArena));
        // A new row is clear: only the cells that break a rule are written,
        // which matters at 19 cells a line and a million lines.
        for (unsigned field = 0; field < FieldCount; ++field) {
            message.clear();
            if (!Attributes.Validate(field, line.fields[field].Get(), message)) {
                loadedAttrs.SetError(record, field, true);
                loadedAttrs.SetErrorMessage(record, field, message);
            }
        }
    }
    // The grid is the master copy from now on: the lines are not kept twice.
    Data.Resize(0);
}

void TVelTorForm::DocumentToGrid()
{
    SyoudakuBangou->setText(ShiftJis::ToText(Data.GetSyoudakuBangou()));
    HoukokuNengappi->setText(ShiftJis::ToText(Data.GetHoukokuNengappi()));
    NiniMoziretsu->setText(ShiftJis::ToText(Data.GetNiniMoziretsu()));

    // Lines still in Data (all of them, when a caller filled it at once)
    // join the ones a load has already taken.
    TakeRecords();
    CellAttrs = std::move(loadedAttrs);
    loadedAttrs = qnVelTor::GridAttr(FixedCols + FieldCount);
    Model->ResetRows(std::move(loadedRows), std::move(loadedArena));
    loadedRows.clear();
    loadedArena = RowArena();
    SetCurrentCell(FixedCols, FixedRows);
    VelTorGrid->scrollToTop();
}

void TVelTorForm::GridToDocument()
{
    const std::string baseName = Data.MakeFileBaseName(headerBytes(SyoudakuBangou), headerBytes(HoukokuNengappi),
                                                       headerBytes(NiniMoziretsu));
    if (baseName != Data.FileBaseName()) {
        Data.SetFileBaseName(baseName);
        NameChanged = true;
    }
    const unsigned lines = unsigned(GridRowCount() - FixedRows - 1);
    Data.Resize(0);
    Data.Resize(lines);
    for (unsigned record = 0; record < lines; ++record) {
        std::string_view cells[ReportRow::CellCount];
        Model->Row(int(record)).Cells(cells);
        qnVelTorDataRecord *target = Data.RecordAt(record);
        for (unsigned field = 0; field < FieldCount; ++field)
            target->fields[field].Set(cells[field]);
    }
}
