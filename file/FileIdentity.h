#pragma once

#include <QString>

#include <QtGlobal>

// What tells one state of a file from another, for noticing that a report
// was changed or replaced on the disk while it was open in the editor.
struct FileIdentity
{
    bool exists = false;
    // Both 0 where the system does not tell them (Windows).
    quint64 device = 0;
    quint64 inode = 0;
    quint64 size = 0;
    // Nanoseconds since 1970.
    qint64 modifiedNs = 0;
    // The inode's change time, in nanoseconds since 1970: unlike the
    // modification time, no program can set it back (touch -r), so a
    // rewrite of the same size shows here. 0 where the system does not
    // tell it (Windows).
    qint64 changedNs = 0;

    bool operator==(const FileIdentity &) const = default;
};

// The identity of the file at `path` now; a symbolic link is followed.
FileIdentity IdentityOf(const QString &path);

enum class DiskChange {
    Same,
    Changed, // the same file, written to since: other size, modification or change time
    Deleted, // nothing at the path any more
    Replaced, // another file at the path (one saved by renaming, as this editor saves), or one where none was
    // The folder the file was in is gone: renamed, moved or deleted. Never
    // told by CompareIdentity, which knows no paths.
    FolderGone,
};

DiskChange CompareIdentity(const FileIdentity &known, const FileIdentity &now);

#ifdef Q_OS_UNIX
struct stat;
// The identity a stat() or fstat() gave.
FileIdentity IdentityOfStatus(const struct stat &status);
#endif
