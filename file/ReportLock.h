#pragma once

#include <QString>

#include <optional>

// A running copy of the editor, as a lock record names it.
struct LockHolder
{
    QString user;
    QString host;
    qint64 pid = 0;
    // The process's name as the system knows it, to tell a reused process
    // number from the editor that took it.
    QString program;
    // When the report was opened, in milliseconds since 1970 (UTC).
    qint64 openedMs = 0;

    bool operator==(const LockHolder &) const = default;
};

// A small record that says which copy of the editor has a report open, so
// that another copy opening or saving it can tell the user. It stands
// beside the report as a hidden file (.NAME.qnveltor-lock), where another
// computer sharing the folder sees it too, or in the cache folder when the
// report's folder takes no new file. Its text:
//
//   qnVelTor lock 1
//   user <name>
//   host <computer>
//   pid <process number>
//   program <process name>
//   opened <milliseconds since 1970, UTC>
//
// A lock is a courtesy: failing to take or remove one never stops an open
// or a save.
class ReportLock
{
public:
    ReportLock() = default;
    ~ReportLock() { Release(); }
    ReportLock(const ReportLock &) = delete;
    ReportLock &operator=(const ReportLock &) = delete;

    // Takes the lock of the report at `reportPath` (an absolute path), the
    // one held before given back. Another live copy's lock is left to it:
    // this copy then holds none. An empty path only gives the lock back.
    void Take(const QString &reportPath);
    // Removes the record, if it is still this copy's.
    void Release();
    // Where this copy's record is; empty when it holds none.
    const QString &RecordPath() const { return recordPath; }

    // Another live copy of the editor that has the report open, from its
    // record; a record of this computer whose process is gone is stale,
    // and removed on the way.
    static std::optional<LockHolder> OtherHolder(const QString &reportPath);
    // This process, as its records name it.
    static LockHolder Me();
    // Whether `holder` is gone: a process of this computer that no longer
    // runs, or whose number another program now has. One of another
    // computer cannot be told gone.
    static bool IsStale(const LockHolder &holder);

    // The two places a report's record may be.
    static QString RecordBeside(const QString &reportPath);
    static QString RecordInCache(const QString &reportPath);

    static QByteArray Format(const LockHolder &holder);
    // False for a text that is not such a record.
    static bool Parse(const QByteArray &text, LockHolder &holder);

private:
    QString recordPath;
    QString reportPath;
};
