// How long the window takes to open a report whose one line is a single
// cell of megabytes, against an ordinary report of the same size: the load,
// the first full redraw of the grid, and the cell editor opened on the first
// cell and closed again.
//
//   qnveltor_load_bench [megabytes=5]
//
// Not a test: it prints figures. Meant to be built in Release and run on the
// offscreen platform.

#include "BenchSupport.h"
#include "SplitMix.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace Bench;

constexpr int runs = 3;

// Lines shaped like a real report's: short codes, a title, many empty fields.
QByteArray ordinaryReport(qint64 size)
{
    SplitMix random(20261207);
    QByteArray out;
    out.reserve(size + 256);
    for (unsigned line = 1; out.size() < size; ++line) {
        QByteArrayList fields;
        fields << QByteArray::number(line) << "" << "000" << "" << "000" << ""
               << QByteArray::number(10000000 + random.Next() % 90000000)
               << "TITLE " + QByteArray::number(random.Next() % 100000) << "" << "LYRICIST" << ""
               << "COMPOSER" << "" << "ARTIST" << "0" << "V" << "1" << "" << "0";
        out += fields.join('\t') + "\r\n";
    }
    return out;
}

struct Figures
{
    double load = 1e9;
    double draw = 1e9;
    double edit = 1e9;
};

Figures measure(const QString &path)
{
    Figures best;
    for (int run = 0; run < runs; ++run) {
        TVelTorForm form;
        form.SetLoadProgressDelay(1000000); // the dialog is not what is measured
        form.show();
        QCoreApplication::processEvents();

        Clock::time_point start = Clock::now();
        if (!form.LoadReport(path)) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(path));
            std::exit(1);
        }
        best.load = std::min(best.load, SecondsSince(start));

        start = Clock::now();
        form.Ui().VelTorGrid->viewport()->grab();
        best.draw = std::min(best.draw, SecondsSince(start));

        start = Clock::now();
        form.SetCurrentCell(form.FieldToGridCol(0), form.RecordToGridRow(0));
        form.Ui().VelTorGrid->edit(form.Ui().VelTorGrid->currentIndex());
        if (QLineEdit *editor = form.Ui().VelTorGrid->Editor())
            editor->grab();
        form.Ui().VelTorGrid->CommitEditor();
        best.edit = std::min(best.edit, SecondsSince(start));
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const long megabytes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5;
    if (megabytes <= 0) {
        std::fprintf(stderr, "usage: qnveltor_load_bench [megabytes=5]\n");
        return 2;
    }
    const qint64 size = qint64(megabytes) << 20;

    QTemporaryDir dir;
    const QString ordinaryPath = dir.filePath(QStringLiteral("1234567890202612ORDINARY.dat"));
    const QString singlePath = dir.filePath(QStringLiteral("1234567890202612SINGLE.dat"));
    QFile ordinary(ordinaryPath);
    QFile single(singlePath);
    if (!ordinary.open(QIODevice::WriteOnly) || ordinary.write(ordinaryReport(size)) < size
        || !single.open(QIODevice::WriteOnly) || single.write(QByteArray(size, 'A') + "\r\n") < size) {
        std::fprintf(stderr, "cannot write the reports\n");
        return 1;
    }
    ordinary.close();
    single.close();

    const Figures a = measure(ordinaryPath);
    const Figures b = measure(singlePath);
    std::printf("%ld MB ordinary report:    load %.3f s, draw %.3f s, editor %.3f s\n", megabytes, a.load, a.draw,
                a.edit);
    std::printf("%ld MB single-cell line:   load %.3f s, draw %.3f s, editor %.3f s\n", megabytes, b.load, b.draw,
                b.edit);
    const double ratio = (b.load + b.draw) / (a.load + a.draw);
    std::printf("single-cell / ordinary (load + draw): %.2f\n", ratio);
    std::printf("BENCH megabytes=%ld ordinary_load=%.3f ordinary_draw=%.3f single_load=%.3f single_draw=%.3f "
                "single_edit=%.3f ratio=%.2f\n",
                megabytes, a.load, a.draw, b.load, b.draw, b.edit, ratio);
    return 0;
}
