#include "DiskWatch.h"

#include "ChoiceBoxes.h"
#include "CommandContext.h"
#include "DiskNoticeBar.h"
#include "FileCommands.h"
#include "RecoveryMessages.h"
#include "ReportDocument.h"
#include "ReportLock.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

#include <optional>

namespace {

// How long a notice waits for the writes that follow it.
constexpr int SettleMilliseconds = 300;

} // namespace

DiskWatch::DiskWatch(CommandContext &context, FileCommands &files, ReportDocument &document)
    : context(context), files(files), document(document), bar(new DiskNoticeBar(&context.Window()))
{
    QMainWindow &window = context.Window();
    window.addToolBarBreak(Qt::TopToolBarArea);
    window.addToolBar(Qt::TopToolBarArea, bar);
    bar->hide();
    settle.setSingleShot(true);
    connect(&settle, &QTimer::timeout, this, &DiskWatch::Check);
    const auto soon = [this] { settle.start(SettleMilliseconds); };
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, soon);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, soon);
    connect(&files.File(), &ReportFile::pathChanged, this, [this] {
        Forget();
        Watch();
    });
    connect(bar->OverwriteAction, &QAction::triggered, this, [this] {
        bar->hide();
        this->files.Overwrite();
    });
    connect(bar->SaveAsAction, &QAction::triggered, this, [this] {
        bar->hide();
        this->files.Save(true);
    });
    window.installEventFilter(this);
}

bool DiskWatch::eventFilter(QObject *watched, QEvent *event)
{
    // Not at once: a question shown from inside the activation would take
    // the activation's place.
    if (watched == &context.Window() && event->type() == QEvent::WindowActivate)
        settle.start(0);
    return QObject::eventFilter(watched, event);
}

void DiskWatch::Forget()
{
    toldPath.clear();
    toldIdentity = {};
    toldChange = DiskChange::Same;
    bar->hide();
}

void DiskWatch::Watch()
{
    const QStringList watched = watcher.files() + watcher.directories();
    if (!watched.isEmpty())
        watcher.removePaths(watched);
    const QString path = files.File().Path();
    if (path.isEmpty())
        return;
    // A file replaced by a rename is another file, which a watch on the
    // old one never sees; its folder tells of it, and of its removal. The
    // folder's own folder tells when the folder is renamed or removed.
    const QFileInfo info(path);
    if (info.exists())
        watcher.addPath(path);
    QDir folder = info.absoluteDir();
    if (folder.exists())
        watcher.addPath(folder.path());
    if (folder.cdUp())
        watcher.addPath(folder.path());
}

void DiskWatch::Check()
{
    // Not over a question or a command under way: looked at again soon.
    if (asking || context.Busy() || QApplication::activeModalWidget()) {
        settle.start(SettleMilliseconds);
        return;
    }
    Watch();
    const QString path = files.File().Path();
    const DiskChange change = files.File().ChangeOnDisk();
    if (path.isEmpty() || change == DiskChange::Same) {
        Forget();
        return;
    }
    const FileIdentity now = IdentityOf(path);
    if (path == toldPath && now == toldIdentity && change == toldChange)
        return;
    toldPath = path;
    toldIdentity = now;
    toldChange = change;
    const std::optional<LockHolder> other = ReportLock::OtherHolder(path);
    const LockHolder *changer = other ? &*other : nullptr;
    const bool edited = document.IsModified();
    if (!edited && (change == DiskChange::Changed || change == DiskChange::Replaced)) {
        bar->hide();
        ReloadBox box(&context.Window(), RecoveryMessages::ReloadQuestion(path, change, changer));
        asking = true;
        const bool reload = ReloadBox::Chosen(context.Dialogs().ExecMessageBox(box));
        asking = false;
        if (reload)
            files.LoadReport(path);
        return;
    }
    bar->Tell(RecoveryMessages::Notice(path, change, edited, changer), change != DiskChange::FolderGone);
}
