// File commands of the main window: New, Open, Save, Save As, Import,
// Export, Exit, the questions before them and the file drop.

#include "qnVelTorForm.h"

#include "CsvFileDialog.h"
#include "Messages.h"
#include "LoadProgress.h"
#include "OpenAsBox.h"
#include "RecentFiles.h"
#include "SaveAnywayBox.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "WindowSettings.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>

namespace {

#ifdef Q_OS_WIN
const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;すべてのファイル (*.*)");
#else
// Elsewhere "*.*" would hide every name without a dot.
const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;すべてのファイル (*)");
#endif
const QString ReportSuffix = QStringLiteral("dat");

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
