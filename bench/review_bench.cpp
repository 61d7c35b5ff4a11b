// The review list and the notes on a large report: how long the list takes
// to open and to follow an edit, how long a scroll through a group of a
// hundred thousand entries keeps the window busy, what the notes cost in
// time at a load and in memory on a report without any, and a fix of every
// full-width cell done and undone.
//
//   qnveltor_review_bench [lines=1000000]
//
// The report has a problem on every tenth line, in turn: full-width digits
// in the work code, a title too long, a lower-case v in the IVT category,
// a collect code filled in, a key code of an earlier line. Not a test: it
// prints figures. Meant to be built in Release, on the offscreen platform.

#include "BenchSupport.h"
#include "BulkEdits.h"
#include "ReportNotes.h"
#include "ReviewDock.h"
#include "ShiftJis.h"
#include "WidthFix.h"
#include "qnVelTorForm.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

using Bench::Clock;

double Seconds(const std::function<void()> &work)
{
    const Clock::time_point start = Clock::now();
    work();
    return Bench::SecondsSince(start);
}

// Every tenth line has one problem when `problems`; none has any else.
bool WriteReport(const QString &path, long lines, bool problems)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const std::string wide = ShiftJis::FromText(QStringLiteral("１２３４")).value_or(std::string());
    const std::string title = ShiftJis::FromText(QStringLiteral("夜明けの星空")).value_or(std::string());
    const std::string longTitle(70, 'x');
    std::string chunk;
    for (long i = 0; i < lines; ++i) {
        const int kind = problems && i % 10 == 9 ? int(i / 10 % 5) : -1;
        const std::string key = std::to_string(kind == 4 ? i : i + 1);
        const std::string fields[FieldCount] = {
                key, "", "000", "", "000", kind == 3 ? "1" : "", kind == 0 ? wide : "12345678",
                kind == 1 ? longTitle : title, "", "", "", "", "", "", "0", kind == 2 ? "v" : "V", "1", "", "0"};
        for (unsigned field = 0; field < FieldCount; ++field) {
            chunk += fields[field];
            chunk += field + 1 < FieldCount ? '\t' : '\r';
        }
        chunk += '\n';
        if (chunk.size() > (1 << 22)) {
            if (file.write(chunk.data(), qint64(chunk.size())) != qint64(chunk.size()))
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk.data(), qint64(chunk.size())) == qint64(chunk.size()) && file.flush();
}

double Mb(long kib)
{
    return double(kib) / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    Bench::OffscreenUnlessTold();
    QApplication app(argc, argv);
    const long lines = Bench::LinesArgument(argc, argv);
    QTemporaryDir dir;
    const QString clean = dir.filePath(QStringLiteral("1234567890202404CLEAN.dat"));
    const QString noted = dir.filePath(QStringLiteral("1234567890202404NOTED.dat"));
    if (!dir.isValid() || !WriteReport(clean, lines, false) || !WriteReport(noted, lines, true))
        return 1;
    std::printf("report: %ld lines, a problem on every tenth (%ld)\n", lines, lines / 10);

    TVelTorForm form;
    form.show();
    QApplication::processEvents();
    ReportDocument &document = form.Document();
    const ReportNotes &notes = form.Notes();

    // Memory of the notes on a report that has none: loaded with the notes
    // off, then turned on.
    form.Ui().ViewNotes->setChecked(false);
    const double loadOff = Seconds([&] { form.LoadReport(clean); });
    QApplication::processEvents();
    const long rssOff = Bench::StatusKiB("VmRSS:");
    double check = Seconds([&] { form.Ui().ViewNotes->setChecked(true); });
    const long rssOn = Bench::StatusKiB("VmRSS:");
    std::printf("%-52s %8.3f s\n", "open, notes off", loadOff);
    std::printf("%-52s %8.3f s, %llu notes\n", "notes turned on (every line checked)", check,
                static_cast<unsigned long long>(notes.Count()));
    std::printf("%-52s %8.1f MB -> %.1f MB: %.2f bytes a line (counts %zu bytes, %.3f a line)\n",
                "memory of the notes, report without any", Mb(rssOff), Mb(rssOn),
                double(rssOn - rssOff) * 1024.0 / double(lines), notes.MemoryBytes(),
                double(notes.MemoryBytes()) / double(lines));

    double load = Seconds([&] {
        form.LoadReport(noted);
        static_cast<void>(notes.Count());
    });
    std::printf("%-52s %8.3f s, %llu invalid cells, %llu notes\n", "open with notes (the report with problems)", load,
                static_cast<unsigned long long>(document.Verdicts().ErrorCellCount()),
                static_cast<unsigned long long>(notes.Count()));

    auto *dock = form.findChild<ReviewDock *>();
    QTreeView &tree = dock->Tree();
    const double open = Seconds([&] {
        form.Ui().ViewReview->setChecked(true);
        QApplication::processEvents();
        tree.viewport()->repaint();
    });
    std::printf("%-52s %8.3f s\n", "review list opened and drawn", open);

    // The largest group open, scrolled a page at a time to its end.
    ReviewModel &model = dock->Model();
    QModelIndex largest;
    for (int s = 0; s < model.rowCount(); ++s) {
        const QModelIndex section = model.index(s, 0);
        for (int g = 0; g < model.rowCount(section); ++g) {
            const QModelIndex group = model.index(g, 0, section);
            if (!largest.isValid() || model.rowCount(group) > model.rowCount(largest))
                largest = group;
        }
    }
    const double expand = Seconds([&] {
        tree.expand(largest);
        QApplication::processEvents();
        tree.viewport()->repaint();
    });
    std::printf("%-52s %8.3f s, %d entries\n", "its largest group opened", expand, model.rowCount(largest));
    QScrollBar *bar = tree.verticalScrollBar();
    double slowest = 0;
    double total = 0;
    int pages = 0;
    for (int value = 0; value < bar->maximum() && pages < 2000; value += std::max(bar->pageStep(), 1), ++pages) {
        const double page = Seconds([&] {
            bar->setValue(value);
            tree.viewport()->repaint();
        });
        slowest = std::max(slowest, page);
        total += page;
    }
    const double toEnd = Seconds([&] {
        bar->setValue(bar->maximum());
        tree.viewport()->repaint();
    });
    std::printf("%-52s %8.3f ms a page, slowest %.3f ms (%d pages); jump to the end %.3f ms\n", "scrolling it",
                pages ? total / pages * 1000 : 0.0, slowest * 1000, pages, toEnd * 1000);

    // An edit with the list open: the list follows when the loop comes round.
    const int problemLine = 9;
    const double edit = Seconds([&] {
        static_cast<void>(document.SetCell(problemLine, 6, "12345678"));
        QApplication::processEvents();
    });
    std::printf("%-52s %8.3f s\n", "a cell fixed, the open list following", edit);
    const double repeat = Seconds([&] {
        static_cast<void>(document.SetCell(2, 0, "1"));
        static_cast<void>(notes.Count());
    });
    std::printf("%-52s %8.3f s\n", "a key code made a repeat (its lines looked at)", repeat);
    const double typing = Seconds([&] {
        static_cast<void>(document.SetCell(5, 7, "title"));
        static_cast<void>(notes.Count());
    });
    std::printf("%-52s %8.3f s\n", "a title edited (notes of one line)", typing);

    std::uint64_t fixed = 0;
    const double fix = Seconds([&] {
        fixed = WidthFix().Apply(document).changed;
        QApplication::processEvents();
    });
    std::printf("%-52s %8.3f s, %llu cells, %llu invalid left\n", "全角英数字を半角に over the report, list open", fix,
                static_cast<unsigned long long>(fixed),
                static_cast<unsigned long long>(document.Verdicts().ErrorCellCount()));
    const double undo = Seconds([&] {
        static_cast<void>(document.Undo());
        QApplication::processEvents();
    });
    std::printf("%-52s %8.3f s, %llu invalid\n", "its undo", undo,
                static_cast<unsigned long long>(document.Verdicts().ErrorCellCount()));
    // What the notes add to a change of every line, and to its undo: the
    // same commands with the notes on and off.
    form.Ui().ViewReview->setChecked(false);
    const int last = document.LineCount() - 1;
    for (const bool on : {true, false}) {
        form.Ui().ViewNotes->setChecked(on);
        static_cast<void>(notes.Count());
        const auto measure = [&](const char *what, const std::function<void()> &command) {
            const double done = Seconds([&] {
                command();
                static_cast<void>(notes.Count());
                QApplication::processEvents();
            });
            const double undone = Seconds([&] {
                static_cast<void>(document.Undo());
                static_cast<void>(notes.Count());
                QApplication::processEvents();
            });
            std::printf("%-52s %8.3f s, undo %.3f s\n",
                        (std::string(what) + (on ? ", notes on" : ", notes off")).c_str(), done, undone);
        };
        measure("renumber every line from 2", [&] { static_cast<void>(BulkEdits::Renumber(document, 0, last, 2)); });
        measure("fill down the IVT category", [&] { static_cast<void>(BulkEdits::FillDown(document, 0, 15, last, 15)); });
        measure("sort by key code descending", [&] { static_cast<void>(BulkEdits::Sort(document, {{0, true}})); });
    }
    std::printf("%-52s %8.1f MB\n", "VmHWM", Mb(Bench::StatusKiB("VmHWM:")));
    return 0;
}
