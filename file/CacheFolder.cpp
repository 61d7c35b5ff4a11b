#include "CacheFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

QString CacheFolder()
{
    // A program that gives itself no name (a test, a benchmark) shares
    // one folder rather than a guess of Qt's.
    QString folder = QCoreApplication::applicationName().isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/qnVelTor")
            : QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    return folder;
}
