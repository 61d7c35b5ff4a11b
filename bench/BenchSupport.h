#pragma once

// What every benchmark measures with: seconds since a moment, and the
// process's own memory as the system counts it; and how they start.

#include <QByteArray>
#include <QtGlobal>
#include <QFile>

#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A value of /proc/self/status in KiB (VmRSS:, VmHWM:, ...); -1 where the
// system does not tell.
inline long StatusKiB(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &row : status.readAll().split('\n')) {
        if (row.startsWith(key))
            return row.mid(qsizetype(std::strlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Starts the peak (VmHWM) again from the memory held now; false where the
// system cannot, and the peak then counts from the program's start.
inline bool ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// A window that is measured, not looked at, needs no screen; a platform
// given in the environment still counts.
inline void OffscreenUnlessTold()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The line count given as the first argument, a million without it.
inline long LinesArgument(int argc, char **argv)
{
    return argc > 1 ? std::max(1L, std::strtol(argv[1], nullptr, 10)) : 1000000L;
}

} // namespace Bench
