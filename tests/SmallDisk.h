#pragma once

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A 64 KB tmpfs stands in for a disk; mounting needs root, so a test that
// finds `mounted` false skips. `options` may add to the mount options, as
// nr_inodes=N for a disk that holds few files.
struct SmallDisk
{
    explicit SmallDisk(const QString &options = QString())
    {
        QProcess mount;
        const QString all = options.isEmpty() ? QStringLiteral("size=64k") : QStringLiteral("size=64k,") + options;
        mount.start("mount", {"-t", "tmpfs", "-o", all, "tmpfs", folder.path()});
        mounted = folder.isValid() && mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit
                && mount.exitCode() == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            QProcess::execute("umount", {folder.path()});
    }
    QString filePath(const QString &name) const { return folder.filePath(name); }
    QStringList files() const { return TestSupport::filesIn(folder.path()); }

    // Takes up every free byte with a file of its own.
    bool Fill() const
    {
        QFile filler(filePath("filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(512, 'f');
        while (filler.write(block) == block.size()) { }
        return filler.size() > 0;
    }

    // Makes empty files until the disk holds no more; how many it made.
    int FillEntries() const
    {
        int made = 0;
        while (QFile(filePath(QStringLiteral("entry%1").arg(made))).open(QIODevice::WriteOnly))
            ++made;
        return made;
    }

    QTemporaryDir folder;
    bool mounted = false;
};
