// How long the commands over many cells and lines keep the window busy on a
// large report, each done and undone with the grid showing the report, beside
// the command-line tool a power user would run on the same file in the same
// run: replace all (an ASCII word, a Japanese name, width and case folded;
// sed), a sort (sort -s), the key codes renumbered and a column filled down
// (awk), half the lines deleted and many inserted, and the CSV export and
// import (iconv). Then the memory the process holds after the whole sequence,
// as a multiple of the file, and the peak of the import above the report.
//
// The tools write to /dev/null, but for the iconv beside the export, which
// writes its file in the same folder as the export does (with no sync). The
// export writes a file beside its target, flushes it, syncs it to the disk
// and renames it. The import reads the CSV, converts it, builds the rows and
// verdicts and appends them as one step; after it the window and its notes
// catch up with the new lines, which is timed apart.
//
//   qnveltor_bulk_bench [lines=1000000] [runs=3]
//
// Each figure is the best of `runs` runs (a command is done and undone each
// time), the tools' too. A tool missing from the machine is left out. Not a
// test: it prints figures. Meant to be built in Release and run on the
// offscreen platform.

#include "BenchSupport.h"
#include "BulkEdits.h"
#include "ReportGenerator.h"
#include "ReportNotes.h"
#include "ReportReplace.h"
#include "ShiftJis.h"
#include "qnVelTorForm.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>

namespace {

using namespace Bench;

double seconds(const std::function<void()> &work)
{
    const Clock::time_point start = Clock::now();
    work();
    QApplication::processEvents();
    return SecondsSince(start);
}

// The best time of `runs` runs of a shell command, its output thrown away
// or written to `output`; negative when the tool is not on the machine or
// fails.
double tool(const char *program, const std::string &command, int runs, const std::string &output = "/dev/null")
{
    if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
        return -1;
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        if (std::system(("LC_ALL=C " + command + " >" + output).c_str()) != 0)
            return -1;
        best = std::min(best, SecondsSince(start));
    }
    return best;
}

std::string quoted(const QString &path)
{
    return "'" + path.toStdString() + "'";
}

struct Row
{
    const char *what;
    double done;
    double undone;
    std::uint64_t changed;
    const char *toolName;
    double toolSeconds;
};

void print(const Row &row)
{
    std::printf("%-44s %7.3f s  undo %7.3f s  %9llu changed", row.what, row.done, row.undone,
                static_cast<unsigned long long>(row.changed));
    if (row.toolSeconds > 0) {
        std::printf("  | %-8s %6.3f s  = %.2fx, undo %.2fx", row.toolName, row.toolSeconds, row.done / row.toolSeconds,
                    row.undone / row.toolSeconds);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const long lines = LinesArgument(argc, argv);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("1234567890202404BENCH.dat"));
    std::uint64_t size = 0;
    if (!dir.isValid() || !ReportGenerator::WriteFile(path.toStdString(), std::uint64_t(lines), &size))
        return 1;
    const double fileMB = double(size) / 1e6;
    std::printf("report: %ld lines, %.1f MB; best of %d runs\n", lines, fileMB, runs);

    // The tools first, on the file as generated.
    const std::string file = quoted(path);
    const QString sedScript = dir.filePath(QStringLiteral("replace.sed"));
    {
        QFile script(sedScript);
        const std::string from = ShiftJis::FromText(QStringLiteral("ｻﾄｳ")).value_or("");
        const std::string to = ShiftJis::FromText(QStringLiteral("サトウ")).value_or("");
        if (!script.open(QIODevice::WriteOnly) || script.write(("s/" + from + "/" + to + "/g\n").c_str()) < 0)
            return 1;
    }
    const double sed = tool("sed", "sed -f " + quoted(sedScript) + " " + file, runs);
    const double sort = tool("sort", "sort -s -t \"$(printf '\\t')\" -k8,8 " + file, runs);
    const double awkNumber = tool("awk", "awk -F '\\t' -v OFS='\\t' '{$1=NR+1; print}' " + file, runs);
    const double awkFill = tool("awk", "awk -F '\\t' -v OFS='\\t' 'NR==1{v=$16} {$16=v; print}' " + file, runs);
    const double iconvExport =
            tool("iconv", "iconv -c -f CP932 -t UTF-8 " + file, runs, quoted(dir.filePath(QStringLiteral("iconv.csv"))));
    QFile::remove(dir.filePath(QStringLiteral("iconv.csv")));

    TVelTorForm form;
    form.show();
    const double load = seconds([&] { form.LoadReport(path); });
    std::printf("%-44s %7.3f s, VmRSS %6.1f MB\n", "open", load, StatusKiB("VmRSS:") / 1024.0);
    ReportDocument &document = form.Document();
    const int last = document.LineCount() - 1;

    // Does and undoes a command `runs` times; the best of each.
    const auto measure = [&](const char *what, const char *toolName, double toolSeconds,
                             const std::function<std::uint64_t()> &command) {
        Row row {what, std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), 0, toolName,
                 toolSeconds};
        for (int i = 0; i < runs; ++i) {
            const int steps = document.UndoStack()->index();
            row.done = std::min(row.done, seconds([&] { row.changed = command(); }));
            if (document.UndoStack()->index() != steps + 1) {
                row.undone = 0;
                break;
            }
            row.undone = std::min(row.undone, seconds([&] { static_cast<void>(document.Undo()); }));
        }
        print(row);
    };
    const auto replaceAll = [&document](const QString &find, const QString &replacement, bool matchCase,
                                        bool foldWidth) {
        ReportReplace replace(document, find, replacement, TextFolding(matchCase, foldWidth), {});
        return replace.ReplaceAll().replaced;
    };
    measure("replace all, ASCII word found nowhere", "sed", sed, [&] { return replaceAll("QQZZ", "X", true, false); });
    measure("replace all, ASCII title, any case", "sed", sed,
            [&] { return replaceAll("love song", "LOVE SONGS", false, false); });
    measure("replace all, Japanese name", "sed", sed, [&] { return replaceAll("山田太郎", "山田 太郎", true, false); });
    measure("replace all, name, width and case folded", "sed", sed,
            [&] { return replaceAll("ｻﾄｳ", "サトウ", false, true); });
    measure("renumber every line (already numbered)", "awk", awkNumber,
            [&] { return BulkEdits::Renumber(document, 0, last, 1).changed; });
    measure("renumber every line from 2", "awk", awkNumber,
            [&] { return BulkEdits::Renumber(document, 0, last, 2).changed; });
    measure("fill down one column over every line", "awk", awkFill,
            [&] { return BulkEdits::FillDown(document, 0, 15, last, 15).changed; });
    measure("sort by title", "sort", sort, [&] { return BulkEdits::Sort(document, {{7, false}}).changed; });
    measure("sort by title, then key code descending", "sort", sort,
            [&] { return BulkEdits::Sort(document, {{7, false}, {0, true}}).changed; });
    measure("delete the first half of the lines", "", 0, [&] {
        static_cast<void>(document.RemoveLines(0, int(lines / 2)));
        return std::uint64_t(lines / 2);
    });
    measure("insert 100,000 empty lines at the top", "", 0, [&] {
        static_cast<void>(document.InsertLines(0, 100000));
        return std::uint64_t(100000);
    });
    const double rss = StatusKiB("VmRSS:") / 1024.0;
    std::printf("%-44s %7.1f MB = %.2fx the file\n", "memory after the sequence", rss, rss / fileMB);

    // The CSV export, then its import appended to the report.
    const QString csv = dir.filePath(QStringLiteral("report.csv"));
    double exported = std::numeric_limits<double>::max();
    for (int i = 0; i < runs; ++i) {
        QFile::remove(csv);
        exported = std::min(exported, seconds([&] { static_cast<void>(form.File().Export(csv)); }));
    }
    const double csvMB = double(QFileInfo(csv).size()) / 1e6;
    print({"export as CSV (written, synced, renamed)", exported, 0, std::uint64_t(lines), "iconv", iconvExport});
    std::printf("%-44s iconv -f CP932 -t UTF-8 > a file in the same folder, not synced\n", "");
    const double iconvImport = tool("iconv", "iconv -c -f UTF-8 -t CP932 " + quoted(csv), runs);
    double imported = std::numeric_limits<double>::max();
    double caughtUp = std::numeric_limits<double>::max();
    double undone = std::numeric_limits<double>::max();
    double peak = 0;
    double kept = 0;
    std::uint64_t notes = 0;
    std::uint64_t importedLines = 0;
    for (int i = 0; i < runs; ++i) {
        const bool peakKnown = ResetPeak();
        const long before = StatusKiB("VmRSS:");
        const Clock::time_point start = Clock::now();
        importedLines = form.File().Import(csv).lines;
        imported = std::min(imported, SecondsSince(start));
        if (peakKnown)
            peak = std::max(peak, (StatusKiB("VmHWM:") - before) / 1024.0);
        const long afterImport = StatusKiB("VmRSS:");
        caughtUp = std::min(caughtUp, seconds([] {}));
        kept = std::max(kept, (StatusKiB("VmRSS:") - afterImport) / 1024.0);
        notes = form.Notes().Count();
        undone = std::min(undone, seconds([&] { static_cast<void>(document.Undo()); }));
    }
    Row row {"import that CSV (appended)", imported, undone, importedLines, "iconv", iconvImport};
    print(row);
    std::printf("%-44s iconv -f UTF-8 -t CP932 > /dev/null\n", "");
    std::printf("%-44s %7.1f MB = %.2fx the CSV of %.1f MB (1.5x the tool: %.3f s)\n", "import peak above the report",
                peak * 1.048576, peak * 1.048576 / csvMB, csvMB, iconvImport * 1.5);
    std::printf("%-44s %7.3f s, %7.1f MB more, %llu notes\n", "then the window and its notes catch up", caughtUp,
                kept * 1.048576, static_cast<unsigned long long>(notes));
    return 0;
}
