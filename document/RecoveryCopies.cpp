#include "RecoveryCopies.h"

#include "RecoverySnapshot.h"
#include "ReportDocument.h"
#include "ReportFile.h"

#include <QFile>
#include <QThread>
#include <QUndoStack>

#include <memory>

RecoveryCopies::RecoveryCopies(ReportDocument &document, ReportFile &file, QObject *parent)
    : QObject(parent), document(document), file(file)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &RecoveryCopies::CopyNow);
    connect(document.UndoStack(), &QUndoStack::indexChanged, this, &RecoveryCopies::Changed);
    connect(&document, &ReportDocument::modifiedChanged, this, [this](bool modified) {
        if (modified)
            Changed();
        else
            Discard();
    });
}

RecoveryCopies::~RecoveryCopies()
{
    StopWorker();
    if (!held.path.isEmpty())
        QFile::remove(held.path);
}

void RecoveryCopies::StopWorker()
{
    if (!worker)
        return;
    cancelled = true;
    worker->wait();
    delete worker;
    worker = nullptr;
}

void RecoveryCopies::Changed()
{
    if (!document.IsModified())
        return;
    if (!timer.isActive())
        timer.start(interval);
}

void RecoveryCopies::Discard()
{
    timer.stop();
    again = false;
    if (worker) {
        // Removed once the write, told to stop, has ended.
        cancelled = true;
        discardAfter = true;
    } else if (!held.path.isEmpty()) {
        QFile::remove(held.path);
    }
}

void RecoveryCopies::CopyNow()
{
    timer.stop();
    if (!document.IsModified()) {
        Discard();
        return;
    }
    if (worker) {
        // Once the copy under way has ended.
        again = true;
        return;
    }
    if (held.path.isEmpty()) {
        held = RecoveryFolder::NewCopy();
        if (held.path.isEmpty())
            return;
    }
    again = false;
    discardAfter = false;
    cancelled = false;
    auto snapshot = std::make_unique<RecoverySnapshot>(document, file);
    const QString path = held.path;
    worker = QThread::create([this, snapshot = std::move(snapshot), path]() mutable {
        failure = snapshot->Write(path, [this] { return !cancelled.load(); });
        // The blocks the snapshot kept go here, not on the window's thread.
        snapshot.reset();
    });
    // Only for this write: one stopped and deleted here may have told of
    // its end already.
    connect(worker, &QThread::finished, this, [this, thread = worker] {
        if (thread == worker)
            Finished();
    });
    worker->start(QThread::LowPriority);
}

void RecoveryCopies::Finished()
{
    if (!worker)
        return;
    worker->wait();
    delete worker;
    worker = nullptr;
    if (discardAfter) {
        discardAfter = false;
        QFile::remove(held.path);
        return;
    }
    emit copied(failure);
    if (again && document.IsModified())
        CopyNow();
}

void RecoveryCopies::Adopt(const QString &path)
{
    StopWorker();
    discardAfter = false;
    if (held.path.isEmpty())
        held = RecoveryFolder::NewCopy();
    if (held.path.isEmpty())
        return;
    QFile::remove(held.path);
    // Not moved: a copy of this editor's own follows at once.
    if (!QFile::rename(path, held.path))
        timer.start(0);
}
