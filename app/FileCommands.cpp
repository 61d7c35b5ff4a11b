#include "FileCommands.h"

#include "ChoiceBoxes.h"
#include "CommandContext.h"
#include "CsvFileDialog.h"
#include "FileFilters.h"
#include "FileMessages.h"
#include "LoadProgress.h"
#include "RecentFiles.h"
#include "RecoveryMessages.h"
#include "ReportDocument.h"
#include "ReportModel.h"
#include "VelTorGridView.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QUrl>

namespace {

const QString ReportSuffix = QStringLiteral("dat");

QString reportFilter()
{
    return FileCommands::tr("JASRAC報告ファイル(*.dat)") + QStringLiteral(";;") + AllFilesFilter();
}

} // namespace

FileCommands::FileCommands(ReportDocument &document, CommandContext &context, const QStringList &headerLabels,
                           QObject *parent)
    : QObject(parent), document(document), context(context), headerLabels(headerLabels), file(document)
{
    connect(&file, &ReportFile::pathChanged, this, [this](const QString &path) {
        if (!path.isEmpty())
            lastFolder = QFileInfo(path).absolutePath();
        lock.Take(path);
    });
}

QString FileCommands::StartFolder() const
{
    if (!file.Path().isEmpty())
        return QFileInfo(file.Path()).absolutePath();
    // A folder removed since it was used would leave the dialog nowhere.
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        return lastFolder;
    return {};
}

QMessageBox::StandardButton FileCommands::ConfirmSave()
{
    QMessageBox box(QMessageBox::Warning, tr("確認"), tr("内容は変更されています。\n変更を保存しますか？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, &context.Window());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    box.adjustSize();
    const QRect window = context.Window().frameGeometry();
    box.move(window.left() + window.width() / 2 - box.width() / 2,
             window.top() + window.height() / 2 - box.height() / 2);
    switch (context.Dialogs().ExecMessageBox(box)) {
    case QMessageBox::Yes:
        return QMessageBox::Yes;
    case QMessageBox::No:
        return QMessageBox::No;
    default:
        return QMessageBox::Cancel;
    }
}

bool FileCommands::QuerySave()
{
    context.CommitEditor();
    if (!document.IsModified())
        return true;
    switch (ConfirmSave()) {
    case QMessageBox::Yes:
        // A Yes that ends without a save must not lose the edits.
        return Save(false);
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void FileCommands::ShowReport(int line)
{
    context.ShowPlace(line, 0);
    context.Grid().scrollTo(context.Grid().currentIndex(), QAbstractItemView::PositionAtTop);
    // The work is in the grid now: a paste right after an open must not go
    // into the license number box.
    context.Grid().setFocus(Qt::OtherFocusReason);
}

void FileCommands::New()
{
    if (!QuerySave())
        return;
    file.New();
    context.ShowPlace(0, 0);
}

void FileCommands::Open()
{
    if (!QuerySave())
        return;
    QFileDialog dialog(&context.Window(), QString(), StartFolder(), reportFilter());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name is taken, so that a name typed without .dat can be tried
    // with it below; the dialog's own default extension would hide a file
    // whose name has none.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString path = context.Dialogs().ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    LoadReport(OpenedName(path));
}

QString FileCommands::OpenedName(const QString &typed)
{
    const QFileInfo info(typed);
    if (info.exists() || !info.suffix().isEmpty())
        return typed;
    const QString report = typed + u'.' + ReportSuffix;
    return QFileInfo::exists(report) ? report : typed;
}

OpenAsBox::Answer FileCommands::AskHowToOpen(const QString &path)
{
    const ReportSniffer::Looks looks = SniffReportFile(path);
    if (looks == ReportSniffer::Looks::Report)
        return OpenAsBox::Answer::Report;
    OpenAsBox box(&context.Window(), FileMessages::LooksNotReport(path, looks));
    return OpenAsBox::Chosen(context.Dialogs().ExecMessageBox(box));
}

bool FileCommands::LoadReport(const QString &path)
{
    if (context.Busy())
        return false;
    // Another copy of the editor that has it open is named; reading the
    // report again here asks nothing.
    if (QFileInfo(path) != QFileInfo(file.Path())) {
        if (const std::optional<LockHolder> other = ReportLock::OtherHolder(path)) {
            OpenAnywayBox box(&context.Window(), RecoveryMessages::OpenElsewhere(path, *other));
            if (!OpenAnywayBox::Chosen(context.Dialogs().ExecMessageBox(box)))
                return false;
        }
    }
    switch (AskHowToOpen(path)) {
    case OpenAsBox::Answer::Import:
        return ImportFile(path, ReportFile::ImportInto::NewReport);
    case OpenAsBox::Answer::Nothing:
        return false;
    case OpenAsBox::Answer::Report:
        break;
    }
    ReportFile::LoadResult result;
    {
        const CommandContext::BusyScope busy(context);
        WaitCursor wait;
        LoadProgress progress(&context.Window(), context.ProgressDelay());
        result = file.Load(path, [&progress](std::uint64_t done, std::uint64_t size) {
            return progress.Step(done, size);
        });
    }
    if (result.failure == ReadFailure::Cancelled) {
        context.Tell(FileMessages::LoadCancelled());
        return false;
    }
    if (!result.Ok()) {
        context.ShowError(FileMessages::Load(path, result.failure));
        return false;
    }
    ShowReport(0);
    emit recentFilesChanged(RecentFiles::Add(path));
    ShowLoadFacts(result.facts);
    return true;
}

void FileCommands::ShowLoadFacts(const ReadFacts &facts)
{
    context.Tell(FileMessages::Loaded(document));
    const QStringList warnings = FileMessages::LoadWarnings(facts);
    if (!warnings.isEmpty())
        context.Inform(tr("確認"), warnings.join(QStringLiteral("\n\n")));
}

QString FileCommands::SaveTarget(const ReportFile::SavePlan &plan)
{
    if (!plan.needsName)
        return file.Path();
    QFileDialog dialog(&context.Window(), QString(), StartFolder(), reportFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(ReportSuffix);
#ifndef Q_OS_WIN
    // Qt's own dialog reliably adds the default extension and asks before
    // overwriting the file that name then names.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    if (!plan.suggestedName.isEmpty())
        dialog.selectFile(plan.suggestedName);
    return context.Dialogs().ExecFileDialog(dialog);
}

bool FileCommands::Save(bool saveAs)
{
    return SaveReport(saveAs ? SaveMode::As : SaveMode::Plain);
}

bool FileCommands::Overwrite()
{
    return SaveReport(SaveMode::Overwrite);
}

QString FileCommands::AskOverwrite(const QString &target, DiskChange change)
{
    const std::optional<LockHolder> other = ReportLock::OtherHolder(target);
    OverwriteBox box(&context.Window(), FileMessages::ChangedOnDisk(target, change, other ? &*other : nullptr),
                     change != DiskChange::FolderGone);
    switch (OverwriteBox::Chosen(context.Dialogs().ExecMessageBox(box))) {
    case OverwriteBox::Answer::Overwrite:
        return target;
    case OverwriteBox::Answer::SaveAs:
        // The file on the disk stays; a name the user picks in the
        // dialog, which asks before it overwrites anything, is agreed to.
        return SaveTarget(file.PlanSave(true));
    case OverwriteBox::Answer::Cancel:
        break;
    }
    return {};
}

bool FileCommands::SaveReport(SaveMode mode)
{
    context.CommitEditor();
    const ReportFile::SavePlan plan = file.PlanSave(mode == SaveMode::As);
    const QString keep = tr("このまま保存");
    if (plan.losses.Any() && !context.Ask(FileMessages::SaveLosses(plan.losses), keep))
        return false;
    if (!plan.drifts.empty() && !context.Ask(FileMessages::HeaderDrifts(document, plan.drifts, headerLabels), keep))
        return false;
    file.TakeHeaderName();
    QString target = SaveTarget(plan);
    if (target.isEmpty())
        return false;
    // Another program, or another copy of the editor, may have written the
    // file since: its version is not overwritten without a word.
    if (target == file.Path() && plan.change != DiskChange::Same && mode != SaveMode::Overwrite) {
        const QString asked = target;
        target = AskOverwrite(target, plan.change);
        if (target.isEmpty()) {
            context.Tell(RecoveryMessages::NotSaved(asked));
            return false;
        }
    }
    const auto confirmWithoutBackup = [this, &target] {
        return context.Ask(FileMessages::WithoutBackup(target), tr("書き換える"));
    };
    ReportFile::SaveResult result;
    {
        WaitCursor wait;
        result = file.Save(target, confirmWithoutBackup);
    }
    if (!result.Written()) {
        context.ShowError(FileMessages::Save(target, result.failure, result.backupPath));
        return false;
    }
    // Taken now, when the copy that had it open when it was opened here
    // has given it back since.
    lock.Take(target);
    context.Tell(FileMessages::Saved(file, plan.losses));
    emit recentFilesChanged(RecentFiles::Add(target));
    return true;
}

ReportFile::RestoreResult FileCommands::Restore(const QString &recoveryPath)
{
    ReportFile::RestoreResult result;
    {
        WaitCursor wait;
        result = file.Restore(recoveryPath);
    }
    if (result.Ok()) {
        ShowReport(0);
        context.Tell(RecoveryMessages::Restored(result.facts));
    }
    return result;
}

void FileCommands::Import()
{
    context.CommitEditor();
    CsvFileDialog dialog(&context.Window(), CsvFileDialog::Mode::Import, StartFolder());
    const QString path = context.Dialogs().ExecFileDialog(dialog);
    if (!path.isEmpty())
        ImportFile(path, ReportFile::ImportInto::End);
}

bool FileCommands::ImportFile(const QString &path, ReportFile::ImportInto into)
{
    ReportFile::ImportResult result;
    {
        const CommandContext::BusyScope busy(context);
        if (!busy)
            return false;
        WaitCursor wait;
        LoadProgress progress(&context.Window(), context.ProgressDelay(), tr("ファイルをインポートしています…"),
                              tr("インポート中"));
        result = file.Import(path, [&progress](std::uint64_t done, std::uint64_t size) {
            return progress.Step(done, size);
        }, into);
    }
    if (result.failure == ReadFailure::Cancelled) {
        context.Tell(FileMessages::ImportCancelled());
        return false;
    }
    if (!result.Ok()) {
        context.ShowError(FileMessages::Import(path, result.failure));
        return false;
    }
    ShowReport(result.firstLine);
    // A report made from a CSV file is saved beside it unless told otherwise.
    lastFolder = QFileInfo(path).absolutePath();
    context.Tell(FileMessages::Imported(result));
    context.Inform(tr("インポート"), FileMessages::ImportSummary(result), false);
    return true;
}

void FileCommands::Export()
{
    context.CommitEditor();
    CsvFileDialog dialog(&context.Window(), CsvFileDialog::Mode::Export, StartFolder(), file.SuggestedExportName());
    const QString path = context.Dialogs().ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    ReportFile::ExportResult result;
    if (!context.RunWithProgress(tr("エクスポートしています…"), tr("エクスポート中"),
                                 [&](const ReadProgress &progress) { result = file.Export(path, progress); }))
        return;
    if (result.cancelled) {
        context.Tell(FileMessages::ExportCancelled());
        return;
    }
    if (!result.written) {
        context.ShowError(FileMessages::Export(path, result));
        return;
    }
    context.Tell(FileMessages::Exported(path, result.facts));
}

void FileCommands::OpenDropped(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    const QString path = urls.first().toLocalFile();
    if (path.isEmpty() || !QuerySave())
        return;
    LoadReport(path);
}

void FileCommands::OpenRecent(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        // Offered as it was kept; gone now, it leaves the list.
        context.Inform(tr("確認"), FileMessages::RecentFileMissing(path));
        emit recentFilesChanged(RecentFiles::Remove(path));
        return;
    }
    if (QuerySave())
        LoadReport(path);
}
