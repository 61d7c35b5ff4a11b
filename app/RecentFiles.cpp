#include "RecentFiles.h"

#include "WindowSettings.h"

#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

// Settings key, spelled once.
const QString recentFilesKey = QStringLiteral("RecentFiles");

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity pathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity pathCase = Qt::CaseSensitive;
#endif

QStringList write(QStringList paths)
{
    while (paths.size() > RecentFiles::MaxCount)
        paths.removeLast();
    const std::unique_ptr<QSettings> settings = WindowSettings::Open();
    settings->setValue(recentFilesKey, paths);
    settings->sync();
    return paths;
}

void removeFrom(QStringList &paths, const QString &path)
{
    paths.removeIf([&path](const QString &entry) { return entry.compare(path, pathCase) == 0; });
}

} // namespace

QStringList RecentFiles::Read()
{
    const std::unique_ptr<QSettings> settings = WindowSettings::Open();
    QStringList paths = settings->value(recentFilesKey).toStringList();
    paths.removeAll(QString());
    return paths.mid(0, MaxCount);
}

QStringList RecentFiles::Add(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList paths = Read();
    removeFrom(paths, absolute);
    paths.prepend(absolute);
    return write(paths);
}

QStringList RecentFiles::Remove(const QString &path)
{
    QStringList paths = Read();
    removeFrom(paths, QFileInfo(path).absoluteFilePath());
    return write(paths);
}
