#pragma once

#include <QString>

// The last entry of every file dialog's filter list: any file at all.
inline QString AllFilesFilter()
{
#ifdef Q_OS_WIN
    return QStringLiteral("すべてのファイル (*.*)");
#else
    // Elsewhere "*.*" would hide every name without a dot.
    return QStringLiteral("すべてのファイル (*)");
#endif
}
