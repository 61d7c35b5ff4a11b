#pragma once

#include <QCoreApplication>
#include <QString>

// The last entry of every file dialog's filter list: any file at all.
inline QString AllFilesFilter()
{
#ifdef Q_OS_WIN
    return QCoreApplication::translate("FileFilters", "すべてのファイル (*.*)");
#else
    // Elsewhere "*.*" would hide every name without a dot.
    return QCoreApplication::translate("FileFilters", "すべてのファイル (*)");
#endif
}
