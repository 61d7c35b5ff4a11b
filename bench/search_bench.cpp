// How long the four search buttons keep the window busy on a large report:
// a word found nowhere (one full cycle through every cell) in each direction,
// and a word found only near the end. Then Save from the window against the
// file layer's own write of the same report, with the memory a save takes.
//
//   qnveltor_search_bench [lines=1000000]
//
// The report is synthetic, from a fixed seed, shaped like a real one: serial
// numbers, work codes, Japanese titles and names, ASCII titles and artists,
// half-width katakana, many empty fields. Not a test: it prints figures.
// Meant to be built in Release and run on the offscreen platform.

#include "BenchSupport.h"
#include "SplitMix.h"
#include "ReportModel.h"
#include "ShiftJis.h"
#include "qnVelTorFile.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QClipboard>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUndoStack>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace Bench;

constexpr int runs = 3;
constexpr int saveRuns = 5;

using Random = SplitMix;

std::vector<std::string> encodeAll(std::initializer_list<const char16_t *> texts)
{
    std::vector<std::string> out;
    for (const char16_t *text : texts) {
        const auto bytes = ShiftJis::FromText(QString::fromUtf16(text));
        if (!bytes) {
            std::fprintf(stderr, "pool text not encodable\n");
            std::exit(1);
        }
        out.push_back(*bytes);
    }
    return out;
}

struct Pools
{
    std::vector<std::string> titles = encodeAll(
        {u"夜明けの街", u"春よ、来い", u"桜坂", u"川の流れのように", u"赤いスイートピー", u"星に願いを",
         u"ふるさと", u"翼をください", u"上を向いて歩こう", u"涙そうそう", u"となりのトトロ", u"糸",
         u"恋するフォーチュンクッキー", u"残酷な天使のテーゼ", u"ハナミズキ", u"さくら（独唱）"});
    std::vector<std::string> asciiTitles = {"LOVE SONG", "Yesterday Once More", "HOLD ON", "MY WAY",
                                            "Stand By Me", "TAKE ON ME", "Blue Moon", "SEPTEMBER"};
    std::vector<std::string> names = encodeAll({u"山田太郎", u"佐藤花子", u"鈴木一郎", u"高橋美咲", u"田中健",
                                                u"伊藤ゆかり", u"渡辺精一", u"中村雅俊", u"小林亜星",
                                                u"加藤登紀子", u"ｻﾄｳ ﾀﾛｳ", u"ﾔﾏﾀﾞ ﾊﾅｺ"});
    std::vector<std::string> artists = encodeAll({u"サザンオールスターズ", u"ＡＫＢ４８", u"THE BLUE HEARTS",
                                                  u"いきものがかり", u"DREAMS COME TRUE", u"ｽﾋﾟｯﾂ",
                                                  u"美空ひばり", u"Mr.Children"});
    std::vector<std::string> subTitles = encodeAll({u"(Live)", u"（ライブ・バージョン）", u"～映画「夏の日」より～",
                                                    u"TV edit", u"ｵﾘｼﾞﾅﾙ・カラオケ"});
};

std::string line(Random &random, const Pools &pools, std::uint32_t serial)
{
    char buffer[32];
    std::string out;
    out.reserve(160);
    std::snprintf(buffer, sizeof buffer, "%08u", serial);
    out += buffer; // interface key code
    out += '\t';
    out += random.Below(4) ? "1" : "2";
    out += '\t';
    std::snprintf(buffer, sizeof buffer, "%u", random.Below(20));
    out += buffer;
    out += '\t';
    out += random.Below(10) ? "" : "M";
    out += '\t';
    out += '\t'; // medley sub-number
    std::snprintf(buffer, sizeof buffer, "%02u", random.Below(40));
    out += buffer;
    out += '\t';
    std::snprintf(buffer, sizeof buffer, "%03u-%04u-%u", random.Below(1000), random.Below(10000), random.Below(10));
    out += buffer;
    out += '\t';
    out += random.Below(3) ? pools.titles[random.Below(std::uint32_t(pools.titles.size()))]
                           : pools.asciiTitles[random.Below(std::uint32_t(pools.asciiTitles.size()))];
    out += '\t';
    if (!random.Below(2))
        out += random.Pick(pools.subTitles);
    out += '\t';
    out += random.Pick(pools.names);
    out += '\t';
    if (!random.Below(3))
        out += random.Pick(pools.names);
    out += '\t';
    out += random.Pick(pools.names);
    out += '\t';
    if (!random.Below(3))
        out += random.Pick(pools.names);
    out += '\t';
    out += random.Pick(pools.artists);
    out += '\t';
    std::snprintf(buffer, sizeof buffer, "%u", random.Below(100000));
    out += buffer;
    out += '\t';
    out += random.Below(2) ? "1" : "";
    out += '\t';
    out += random.Below(2) ? "2" : "1";
    out += '\t';
    out += random.Below(8) ? "" : "L";
    out += '\t';
    std::snprintf(buffer, sizeof buffer, "%u", 1 + random.Below(999));
    out += buffer;
    out += "\r\n";
    return out;
}

long vmRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &row : status.readAll().split('\n')) {
        if (row.startsWith("VmRSS:"))
            return row.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The most memory held at once since the last ResetPeak, or -1.
long vmHwmKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &row : status.readAll().split('\n')) {
        if (row.startsWith("VmHWM:"))
            return row.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// Best of `runs` clicks, each from the same start cell.
double timeClick(TVelTorForm &form, QPushButton *button, int col, int row, int expectCol, int expectRow)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        form.SetCurrentCell(col, row);
        const Clock::time_point start = Clock::now();
        button->click();
        best = std::min(best, SecondsSince(start));
        if (form.CurrentCol() != expectCol || form.CurrentRow() != expectRow) {
            std::fprintf(stderr, "search ended at (%d, %d), expected (%d, %d)\n", form.CurrentCol(),
                         form.CurrentRow(), expectCol, expectRow);
            std::exit(1);
        }
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    Bench::OffscreenUnlessTold();
    QApplication app(argc, argv);

    const long lines = Bench::LinesArgument(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = dir.filePath(QStringLiteral("1234567890202404BENCH.dat"));

    // A word that the pools cannot produce, and a cell near the end that
    // holds it after a double-byte character.
    const std::string needle = *ShiftJis::FromText(QStringLiteral("探し物ZZ"));
    const long needleLine = lines - std::max(1L, lines / 100000);
    const int needleField = 9;
    {
        Random random(20240401);
        const Pools pools;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        std::string chunk;
        for (long i = 0; i < lines; ++i) {
            std::string text = line(random, pools, std::uint32_t(i + 1));
            if (i == needleLine) {
                // Field 9 starts after the ninth TAB.
                std::size_t at = 0;
                for (int tabs = 0; tabs < needleField; ++tabs)
                    at = text.find('\t', at) + 1;
                text.insert(at, "\x88\xa4" + needle); // "愛" + the word
            }
            chunk += text;
            if (chunk.size() > (1u << 20)) {
                file.write(chunk.data(), qint64(chunk.size()));
                chunk.clear();
            }
        }
        file.write(chunk.data(), qint64(chunk.size()));
        std::printf("report: %ld lines, %.1f MB, %.1f bytes/line\n", lines, double(file.size()) / 1e6,
                    double(file.size()) / double(lines));
    }

    TVelTorForm form;
    const long rssBefore = vmRssKiB();
    const Clock::time_point loadStart = Clock::now();
    if (!form.LoadReport(path))
        return 1;
    const double loadSeconds = SecondsSince(loadStart);
    const long rssAfter = vmRssKiB();
    std::printf("load: %.3f s, VmRSS %.1f MB (%.1f MB before the load)\n", loadSeconds, rssAfter / 1024.0,
                rssBefore / 1024.0);
    form.show();
    QApplication::processEvents();

    const int lastRow = form.GridRowCount() - 1;
    const int lastCol = form.GridColCount() - 1;
    const int hitRow = form.RecordToGridRow(int(needleLine));
    const int hitCol = form.FieldToGridCol(needleField);

    // Not found: one full cycle, ending where it started. The start cell is
    // mid-report so that every direction wraps once.
    form.Ui().KensakuWord->setText(QStringLiteral("見当たらぬ語"));
    const int midRow = lastRow / 2;
    const double left = timeClick(form, form.Ui().KensakuLeftButton, 10, midRow, 10, midRow);
    const double right = timeClick(form, form.Ui().KensakuRightButton, 10, midRow, 10, midRow);
    const double up = timeClick(form, form.Ui().KensakuUpButton, 10, midRow, 10, midRow);
    const double down = timeClick(form, form.Ui().KensakuDownButton, 10, midRow, 10, midRow);
    std::printf("not found, one full cycle of %ld cells:\n", long(lastRow) * lastCol);
    std::printf("  left  %.3f s\n  right %.3f s\n  up    %.3f s\n  down  %.3f s\n", left, right, up, down);

    // Found near the end: right scans nearly every row, down nearly every
    // column of every row before the hit's field.
    form.Ui().KensakuWord->setText(ShiftJis::ToText(needle));
    const double foundRight = timeClick(form, form.Ui().KensakuRightButton, 1, 1, hitCol, hitRow);
    const double foundDown = timeClick(form, form.Ui().KensakuDownButton, 1, 1, hitCol, hitRow);
    std::printf("found at (%d, %d) from (1, 1):\n  right %.3f s\n  down  %.3f s\n", hitCol, hitRow, foundRight,
                foundDown);

    // Save in place from the window, and the file layer's write of the same
    // report read into a container, taken in turns so that both meet the
    // same load on the machine.
    const QByteArray hash = fileHash(path);
    qnVelTorData data;
    if (!ReadReportFile(path, &data))
        return 1;
    const QString copy = dir.filePath(QStringLiteral("copy.dat"));
    double windowSave = 1e9;
    double fileWrite = 1e9;
    long saveExtraKiB = -1;
    for (int i = 0; i < saveRuns; ++i) {
        const long rssOpen = vmRssKiB();
        const bool peakKnown = resetPeak();
        Clock::time_point start = Clock::now();
        const bool saved = form.FileSave1Execute(form.Ui().FileSave1);
        windowSave = std::min(windowSave, SecondsSince(start));
        if (peakKnown)
            saveExtraKiB = std::max(saveExtraKiB, vmHwmKiB() - rssOpen);
        if (!saved || fileHash(path) != hash) {
            std::fprintf(stderr, "the window's save did not give the file back byte for byte\n");
            return 1;
        }

        start = Clock::now();
        if (!qnVelTorFileWriter().Write(copy, &data)) {
            std::fprintf(stderr, "the file layer's write failed\n");
            return 1;
        }
        fileWrite = std::min(fileWrite, SecondsSince(start));
    }
    if (fileHash(copy) != hash) {
        std::fprintf(stderr, "the file layer's write did not give the file back byte for byte\n");
        return 1;
    }
    std::printf("save (best of %d): window %.3f s, file layer %.3f s, ratio %.2f; "
                "peak memory during the window's save %.1f MB above the open report\n",
                saveRuns, windowSave, fileWrite, windowSave / fileWrite, saveExtraKiB / 1024.0);

    // Editing: the invalid-cell count, a line deleted at the top and its
    // undo, a block of 1,000 lines pasted at the top and at the end.
    double countBest = 1e9;
    double walkBest = 1e9;
    std::uint64_t walked = 0;
    for (int i = 0; i < runs; ++i) {
        Clock::time_point start = Clock::now();
        // What the status bar shows after each edit.
        volatile std::uint64_t shown = form.CellAttrs().ErrorCellCount() + form.CellAttrs().ErrorRowCount();
        (void)shown;
        countBest = std::min(countBest, SecondsSince(start));
        // What the count would cost without the incremental bookkeeping.
        start = Clock::now();
        walked = 0;
        for (unsigned r = 0; r < form.CellAttrs().RowCount(); ++r) {
            for (unsigned f = 0; f < FieldCount; ++f)
                walked += form.CellAttrs().IsError(r, f) ? 1 : 0;
        }
        walkBest = std::min(walkBest, SecondsSince(start));
    }
    if (walked != form.CellAttrs().ErrorCellCount()) {
        std::fprintf(stderr, "error count %llu, walk finds %llu\n",
                     (unsigned long long)form.CellAttrs().ErrorCellCount(), (unsigned long long)walked);
        return 1;
    }
    std::printf("invalid cells: %llu on %u lines; count shown in %.6f s (a full walk takes %.3f s)\n",
                (unsigned long long)walked, form.CellAttrs().ErrorRowCount(), countBest, walkBest);

    double deleteBest = 1e9;
    double undoBest = 1e9;
    for (int i = 0; i < runs; ++i) {
        form.SetCurrentCell(1, 1);
        Clock::time_point start = Clock::now();
        form.Ui().EditDeleteLine->trigger();
        deleteBest = std::min(deleteBest, SecondsSince(start));
        start = Clock::now();
        form.Ui().EditUndo->trigger();
        undoBest = std::min(undoBest, SecondsSince(start));
        if (form.GridRowCount() - 2 != lines) {
            std::fprintf(stderr, "undo left %d lines\n", form.GridRowCount() - 2);
            return 1;
        }
    }
    std::printf("line at the top: delete %.3f s, undo %.3f s\n", deleteBest, undoBest);

    // 1,000 lines of 19 fields, copied from the report itself.
    form.SetCurrentCell(1, 2);
    form.Ui().VelTorGrid->selectionModel()->select(
            QItemSelection(form.Ui().VelTorGrid->model()->index(1, 0),
                           form.Ui().VelTorGrid->model()->index(1000, int(FieldCount) - 1)),
            QItemSelectionModel::ClearAndSelect);
    Clock::time_point copyStart = Clock::now();
    form.BlockCopy();
    const double copySeconds = SecondsSince(copyStart);
    double pasteTopBest = 1e9;
    double pasteEndBest = 1e9;
    double pasteUndoBest = 1e9;
    for (int i = 0; i < runs; ++i) {
        form.SetCurrentCell(1, 1);
        Clock::time_point start = Clock::now();
        form.BlockPaste();
        pasteTopBest = std::min(pasteTopBest, SecondsSince(start));
        start = Clock::now();
        form.Ui().EditUndo->trigger();
        pasteUndoBest = std::min(pasteUndoBest, SecondsSince(start));
        form.SetCurrentCell(1, form.GridRowCount() - 1);
        start = Clock::now();
        form.BlockPaste();
        pasteEndBest = std::min(pasteEndBest, SecondsSince(start));
        if (form.GridRowCount() - 2 != lines + 1000) {
            std::fprintf(stderr, "paste at the end left %d lines\n", form.GridRowCount() - 2);
            return 1;
        }
        form.Ui().EditUndo->trigger();
    }
    std::printf("block of 1,000 lines: copy %.3f s, paste at the top %.3f s (undo %.3f s), paste at the end "
                "%.3f s\n",
                copySeconds, pasteTopBest, pasteUndoBest, pasteEndBest);
    form.Document().UndoStack()->setClean();

    std::printf("SEARCH_BENCH lines=%ld load_s=%.3f rss_mb=%.1f notfound_left_s=%.3f notfound_right_s=%.3f "
                "notfound_up_s=%.3f notfound_down_s=%.3f found_right_s=%.3f found_down_s=%.3f "
                "window_save_s=%.3f file_write_s=%.3f save_extra_mb=%.1f "
                "error_count_s=%.6f delete_top_s=%.3f undo_delete_top_s=%.3f paste_1000_top_s=%.3f "
                "paste_1000_end_s=%.3f\n",
                lines, loadSeconds, rssAfter / 1024.0, left, right, up, down, foundRight, foundDown, windowSave,
                fileWrite, saveExtraKiB / 1024.0, countBest, deleteBest, undoBest, pasteTopBest, pasteEndBest);
    return 0;
}
