#include "FileIdentity.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#ifdef Q_OS_UNIX
FileIdentity IdentityOfStatus(const struct stat &status)
{
    FileIdentity identity;
    identity.exists = true;
    identity.device = quint64(status.st_dev);
    identity.inode = quint64(status.st_ino);
    identity.size = quint64(status.st_size);
#if defined(Q_OS_DARWIN)
    const timespec &modified = status.st_mtimespec;
    const timespec &changed = status.st_ctimespec;
#else
    const timespec &modified = status.st_mtim;
    const timespec &changed = status.st_ctim;
#endif
    identity.modifiedNs = qint64(modified.tv_sec) * 1000000000 + qint64(modified.tv_nsec);
    identity.changedNs = qint64(changed.tv_sec) * 1000000000 + qint64(changed.tv_nsec);
    return identity;
}
#endif

FileIdentity IdentityOf(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return IdentityOfStatus(status);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    FileIdentity identity;
    identity.exists = true;
    identity.size = quint64(info.size());
    identity.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return identity;
#endif
}

DiskChange CompareIdentity(const FileIdentity &known, const FileIdentity &now)
{
    if (!now.exists)
        return known.exists ? DiskChange::Deleted : DiskChange::Same;
    if (!known.exists || known.device != now.device || known.inode != now.inode)
        return DiskChange::Replaced;
    if (known.size != now.size || known.modifiedNs != now.modifiedNs || known.changedNs != now.changedNs)
        return DiskChange::Changed;
    return DiskChange::Same;
}
