// How long the recovery copy of unsaved work stops the window on a large
// report: the moment its snapshot is taken on the window's thread (the
// pause), the write on the worker thread, and the longest gap between the
// window's timer ticks while that write runs. Measured with the lines as a
// load leaves them (in the report's arena) and after a change to every line
// (each line a block of its own).
//
//   qnveltor_recovery_bench [lines=1000000]
//
// Not a test: it prints figures. Meant to be built in Release and run on
// the offscreen platform.

#include "BenchSupport.h"
#include "CellChanges.h"
#include "RecoveryCopies.h"
#include "RecoverySnapshot.h"
#include "ReportDocument.h"
#include "ReportFile.h"
#include "ReportGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

double milliseconds(Bench::Clock::time_point start)
{
    return Bench::SecondsSince(start) * 1000.0;
}

// Copies the report `rounds` times, each after one more edit, and prints
// the pauses and what the writes took.
void measure(const char *what, ReportDocument &document, const ReportFile &file, RecoveryCopies &copies, int rounds)
{
    double worstPause = 0;
    double sumPause = 0;
    double worstSnapshot = 0;
    double worstGap = 0;
    double write = 0;
    for (int round = 0; round < rounds; ++round) {
        static_cast<void>(document.SetCell(round, 3, "bench edit " + std::to_string(round)));
        // The snapshot alone, as the copy takes it.
        {
            const Bench::Clock::time_point start = Bench::Clock::now();
            const RecoverySnapshot snapshot(document, file);
            worstSnapshot = std::max(worstSnapshot, milliseconds(start));
        }
        // The whole step on the window's thread: snapshot, thread started.
        const Bench::Clock::time_point start = Bench::Clock::now();
        copies.CopyNow();
        const double pause = milliseconds(start);
        worstPause = std::max(worstPause, pause);
        sumPause += pause;

        // The window's timer while the worker writes.
        QElapsedTimer sinceTick;
        sinceTick.start();
        double gap = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            gap = std::max(gap, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        tick.start(5);
        QEventLoop loop;
        QObject::connect(&copies, &RecoveryCopies::copied, &loop, &QEventLoop::quit);
        const Bench::Clock::time_point writing = Bench::Clock::now();
        if (copies.Writing())
            loop.exec();
        write = std::max(write, milliseconds(writing));
        worstGap = std::max(worstGap, gap);
    }
    std::printf("%-34s pause %6.1f ms worst, %6.1f ms mean (snapshot %6.1f ms); write %7.0f ms; "
                "timer gap while writing %5.1f ms; copy %6.1f MB\n",
                what, worstPause, sumPause / rounds, worstSnapshot, write, worstGap,
                double(QFileInfo(copies.Path()).size()) / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    Bench::OffscreenUnlessTold();
    QGuiApplication application(argc, argv);
    const long lines = Bench::LinesArgument(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The copies go to a cache folder of the benchmark's own.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QString path = dir.filePath(QStringLiteral("1234567890202404BENCH.dat"));
    std::uint64_t size = 0;
    if (!ReportGenerator::WriteFile(path.toStdString(), std::uint64_t(lines), &size))
        return 1;
    std::printf("report: %ld lines, %.1f MB\n", lines, double(size) / 1e6);

    ReportDocument document;
    auto *file = new ReportFile(document, &document);
    if (!file->Load(path).Ok())
        return 1;
    RecoveryCopies copies(document, *file);
    copies.SetInterval(3600 * 1000); // copied here, not by the timer
    measure("lines as loaded", document, *file, copies, 5);

    // Every line changed: each a block of its own, none in the arena.
    CellChanges changes(document.Content());
    changes.Reserve(std::size_t(document.LineCount()));
    for (int line = 0; line < document.LineCount(); ++line)
        changes.Set(line, 17, "Z");
    if (document.ChangeCells(std::move(changes), QStringLiteral("bench")) != EditResult::Done)
        return 1;
    measure("every line changed", document, *file, copies, 5);
    return 0;
}
