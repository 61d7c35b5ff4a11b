// How long the commands over many cells and lines keep the window busy on a
// large report, each done and undone with the grid showing the report:
// replace all (an ASCII word, a Japanese name, width and case folded), the
// key codes renumbered after a sort, a column filled down, a sort, and half
// the lines deleted and many inserted. With the memory the process holds
// after each.
//
//   qnveltor_bulk_bench [lines=1000000]
//
// Not a test: it prints figures. Meant to be built in Release and run on
// the offscreen platform.

#include "BenchSupport.h"
#include "BulkEdits.h"
#include "ReportGenerator.h"
#include "ReportReplace.h"
#include "qnVelTorForm.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUndoStack>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

long vmRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

double seconds(const std::function<void()> &work)
{
    const Clock::time_point start = Clock::now();
    work();
    QApplication::processEvents();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Does and undoes one command, and prints both times.
void measure(TVelTorForm &form, const char *what, const std::function<std::uint64_t()> &command)
{
    ReportDocument &document = form.Document();
    const int steps = document.UndoStack()->index();
    std::uint64_t changed = 0;
    const double done = seconds([&] { changed = command(); });
    const long rss = vmRssKiB();
    const bool stepped = document.UndoStack()->index() == steps + 1;
    const double undone = seconds([&] { static_cast<void>(document.Undo()); });
    std::printf("%-44s %8.3f s, undo %7.3f s, %9llu changed, VmRSS %6.1f MB%s\n", what, done, undone,
                static_cast<unsigned long long>(changed), rss / 1024.0, stepped ? "" : "  (no step)");
}

} // namespace

int main(int argc, char **argv)
{
    Bench::OffscreenUnlessTold();
    QApplication app(argc, argv);
    const long lines = Bench::LinesArgument(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1234567890202404BENCH.dat"));
    std::uint64_t size = 0;
    if (!dir.isValid() || !ReportGenerator::WriteFile(path.toStdString(), std::uint64_t(lines), &size))
        return 1;
    std::printf("report: %ld lines, %.1f MB\n", lines, double(size) / 1e6);

    TVelTorForm form;
    form.show();
    const double load = seconds([&] { form.LoadReport(path); });
    std::printf("%-44s %8.3f s, VmRSS %6.1f MB\n", "open", load, vmRssKiB() / 1024.0);
    ReportDocument &document = form.Document();
    const int last = document.LineCount() - 1;

    const auto replaceAll = [&document](const QString &find, const QString &replacement, bool matchCase,
                                        bool foldWidth) {
        ReportReplace replace(document, find, replacement, TextFolding(matchCase, foldWidth), {});
        return replace.ReplaceAll().replaced;
    };
    measure(form, "replace all, ASCII word found nowhere", [&] { return replaceAll("QQZZ", "X", true, false); });
    measure(form, "replace all, ASCII title, any case", [&] { return replaceAll("love song", "LOVE SONGS", false, false); });
    measure(form, "replace all, Japanese name", [&] { return replaceAll("山田太郎", "山田 太郎", true, false); });
    measure(form, "replace all, name, width and case folded", [&] { return replaceAll("ｻﾄｳ", "サトウ", false, true); });
    measure(form, "renumber every line (already numbered)", [&] {
        return BulkEdits::Renumber(document, 0, last, 1).changed;
    });
    measure(form, "renumber every line from 2", [&] { return BulkEdits::Renumber(document, 0, last, 2).changed; });
    measure(form, "fill down one column over every line", [&] {
        return BulkEdits::FillDown(document, 0, 15, last, 15).changed;
    });
    measure(form, "sort by title, then key code descending", [&] {
        return BulkEdits::Sort(document, {{7, false}, {0, true}}).changed;
    });
    measure(form, "delete the first half of the lines", [&] {
        static_cast<void>(document.RemoveLines(0, int(lines / 2)));
        return std::uint64_t(lines / 2);
    });
    measure(form, "insert 100,000 empty lines at the top", [&] {
        static_cast<void>(document.InsertLines(0, 100000));
        return std::uint64_t(100000);
    });
    return 0;
}
