#pragma once

#include "RecoveryFolder.h"
#include "SafeReplace.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>

class QThread;
class ReportDocument;
class ReportFile;

// Keeps a recovery copy of the unsaved report in the cache folder, for a
// start after a crash to offer back (RecoveryFile.h has its bytes). The
// first unsaved change is copied within the interval, and later ones at
// most once an interval while they go on. The report is taken as it
// stands on this thread in a moment (RecoverySnapshot) and written on a
// worker thread, so that the window does not wait for the disk. A report
// with nothing unsaved has no copy: a save, a new report or one opened
// takes it away, and so does the end of the window, whose close has asked
// about the edits. The copy's lock, held while this lives, tells a start
// that its editor still runs.
class RecoveryCopies : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultInterval = 30 * 1000;

    // Neither is owned.
    RecoveryCopies(ReportDocument &document, ReportFile &file, QObject *parent = nullptr);
    ~RecoveryCopies() override;

    // Milliseconds from an unsaved change to its copy, and between copies.
    void SetInterval(int milliseconds) { interval = milliseconds; }
    // Where this editor's copy goes; empty before the first one, and when
    // the cache folder takes no file.
    const QString &Path() const { return held.path; }
    // The copy a report was just restored from becomes this editor's own,
    // so that the restored edits stay safe until the next copy or a save.
    void Adopt(const QString &path);
    // Copies the report now, as the interval's end does.
    void CopyNow();
    bool Writing() const { return worker != nullptr; }

signals:
    // A copy was written, or failed to be (`failure`).
    void copied(WriteFailure failure);

private:
    void Changed();
    // The report has nothing unsaved: no copy of it is kept.
    void Discard();
    void Finished();
    void StopWorker();

    ReportDocument &document;
    ReportFile &file;
    RecoveryFolder::HeldCopy held;
    QTimer timer;
    int interval = DefaultInterval;
    QThread *worker = nullptr; // owned
    std::atomic<bool> cancelled {false};
    WriteFailure failure = WriteFailure::None;
    // The interval ended while a copy was under way: the next one follows
    // it at once.
    bool again = false;
    // The copy under way is to be removed once it ends.
    bool discardAfter = false;
};
