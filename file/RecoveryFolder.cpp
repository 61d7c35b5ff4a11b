#include "RecoveryFolder.h"

#include "CacheFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <algorithm>

namespace RecoveryFolder {

namespace {

const QString Prefix = QStringLiteral("unsaved-");
const QString Suffix = QStringLiteral(".qnvrec");
const QString LockSuffix = QStringLiteral(".lock");

// The lock of the copy at `path`, taken without waiting; null when another
// running editor holds it or it cannot be made. Qt removes a lock whose
// process is gone; its age alone never makes it stale, as an editor may run
// for days.
std::unique_ptr<QLockFile> TakeLock(const QString &path)
{
    auto lock = std::make_unique<QLockFile>(path + LockSuffix);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

} // namespace

HeldCopy::HeldCopy() = default;
HeldCopy::HeldCopy(HeldCopy &&) noexcept = default;
HeldCopy &HeldCopy::operator=(HeldCopy &&) noexcept = default;
HeldCopy::~HeldCopy() = default;

HeldCopy NewCopy()
{
    HeldCopy copy;
    const QString folder = CacheFolder();
    if (folder.isEmpty())
        return copy;
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = Prefix;
        for (int i = 0; i < 8; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
        const QString path = QDir(folder).filePath(name + Suffix);
        if (QFileInfo::exists(path))
            continue;
        if (std::unique_ptr<QLockFile> lock = TakeLock(path)) {
            // Taken while another editor wrote the copy a moment ago.
            if (QFileInfo::exists(path))
                continue;
            copy.path = path;
            copy.lock = std::move(lock);
            return copy;
        }
    }
    return copy;
}

std::vector<HeldCopy> UnheldCopies()
{
    std::vector<HeldCopy> copies;
    const QString folder = CacheFolder();
    if (folder.isEmpty())
        return copies;
    const QFileInfoList found = QDir(folder).entryInfoList({Prefix + QStringLiteral("*") + Suffix},
                                                           QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QFileInfo &info : found) {
        HeldCopy copy;
        copy.path = info.absoluteFilePath();
        copy.lock = TakeLock(copy.path);
        // Written again, or removed, by the editor that held it until now.
        if (copy.lock && QFileInfo::exists(copy.path))
            copies.push_back(std::move(copy));
    }
    // The locks of editors that died before their first copy: taken, they
    // are removed as they are given back.
    const QStringList locks = QDir(folder).entryList({Prefix + QStringLiteral("*") + Suffix + LockSuffix},
                                                     QDir::Files | QDir::Hidden);
    for (const QString &name : locks) {
        const QString path = QDir(folder).filePath(name.chopped(LockSuffix.size()));
        if (!QFileInfo::exists(path))
            TakeLock(path);
    }
    return copies;
}

QString SetAside(const QString &path)
{
    const QString aside = path + QStringLiteral(".unreadable");
    QFile::remove(aside);
    return QFile::rename(path, aside) ? aside : QString();
}

} // namespace RecoveryFolder
