#pragma once

#include <QStringList>

// The reports opened or saved last, newest first, kept per user beside the
// window's settings. Read and written at every use, so that two running
// copies of the editor share one list.
class RecentFiles
{
public:
    static constexpr int MaxCount = 8;

    static QStringList Read();
    // Puts `path` first (once, as an absolute path) and keeps the newest
    // MaxCount; returns the list as written.
    static QStringList Add(const QString &path);
    static QStringList Remove(const QString &path);
};
