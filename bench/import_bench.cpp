// Measures a large paste of spreadsheet text, and a CSV export and import of
// a report of the same size, with the memory each takes beyond what was
// there before.
//
//   qnveltor_import_bench [lines=300000]
//
// The pasted text is what a spreadsheet puts on the clipboard for 19 columns:
// TAB between cells, CR LF after every line, a cell with a line break, a TAB
// or quotes now and then in quotes. The paste is read row by row and every
// cell turned into Shift-JIS bytes kept in one string per line, as the
// editor keeps its rows.

#include "BenchSupport.h"
#include "DelimitedText.h"
#include "ReportCsvWriter.h"
#include "ReportImporter.h"
#include "ShiftJis.h"
#include "SpreadsheetText.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace Bench;

struct Measure
{
    Measure() : peakKnown(ResetPeak()), before(StatusKiB("VmRSS:")), start(Clock::now()) { }
    double Seconds() const { return SecondsSince(start); }
    double PeakMiB() const { return (StatusKiB("VmHWM:") - before) / 1024.0; }

    bool peakKnown;
    long before;
    Clock::time_point start;
};

} // namespace

int main(int argc, char **argv)
{
    const std::uint32_t lines = argc > 1 ? std::uint32_t(std::strtoul(argv[1], nullptr, 10)) : 300000;
    const QString text = SpreadsheetText(lines);
    const double textMiB = double(text.size()) * 2 / (1024 * 1024);
    std::printf("pasted text: %u lines x 19 cells, %.1f MB as UTF-16\n", lines, textMiB);

    // The paste: row by row, each cell to Shift-JIS, one string per line.
    std::vector<std::string> rows;
    double pasteSeconds = 0;
    double pastePeak = 0;
    bool peakKnown = false;
    qsizetype flattened = 0;
    {
        Measure measure;
        peakKnown = measure.peakKnown;
        rows.reserve(lines);
        DelimitedTextReader reader(text, u'\t', DelimitedTextReader::Breaks::AsSpace);
        std::string row;
        while (reader.NextRow()) {
            row.clear();
            for (const QStringView cell : reader.Cells()) {
                if (!row.empty())
                    row += '\t';
                row += ReportImporter::CellBytes(cell);
            }
            rows.push_back(row);
        }
        flattened = reader.FlattenedCells();
        pasteSeconds = measure.Seconds();
        pastePeak = measure.PeakMiB();
    }
    if (rows.size() != lines) {
        std::fprintf(stderr, "the paste gave %zu lines, not %u\n", rows.size(), lines);
        return 1;
    }
    std::printf("paste: %.3f s, %lld cells flattened; peak %.1f MB above the text (%.2fx the text in all)%s\n",
                pasteSeconds, static_cast<long long>(flattened), pastePeak, (textMiB + pastePeak) / textMiB,
                peakKnown ? "" : " [peak counted from the start]");

    // Export the pasted report to CSV, and import it again.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.csv"));
    Measure exportMeasure;
    ReportCsvWriter writer;
    const bool exported = writer.WriteFile(path, lines, [&rows](std::uint32_t record, std::string_view (&fields)[FieldCount]) {
        std::string_view rest = rows[record];
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            const std::size_t tab = rest.find('\t');
            fields[field] = rest.substr(0, tab);
            rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
        }
    });
    const double exportSeconds = exportMeasure.Seconds();
    const double exportPeak = exportMeasure.PeakMiB();
    if (!exported) {
        std::fprintf(stderr, "the export failed\n");
        return 1;
    }
    const double csvMiB = double(QFileInfo(path).size()) / (1024 * 1024);
    std::printf("export: %.3f s, %.1f MB of CSV; peak %.1f MB above the report\n", exportSeconds, csvMiB, exportPeak);

    Measure importMeasure;
    std::uint64_t imported = 0;
    bool same = true;
    ReadFailure failure;
    const bool read = ImportReportLines(
            path,
            [&](const std::string_view *fields, std::size_t count) {
                for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
                    std::string row;
                    for (std::uint32_t field = 0; field < FieldCount; ++field) {
                        if (field)
                            row += '\t';
                        row += fields[field];
                    }
                    same = same && imported < rows.size() && rows[imported] == row;
                    ++imported;
                }
            },
            {}, &failure);
    const double importSeconds = importMeasure.Seconds();
    const double importPeak = importMeasure.PeakMiB();
    if (!read || imported != lines || !same) {
        std::fprintf(stderr, "the import did not give the report back\n");
        return 1;
    }
    std::printf("import: %.3f s; peak %.1f MB above the report (%.2fx the CSV)\n", importSeconds, importPeak,
                importPeak / csvMiB);
    std::printf("BENCH lines=%u text_mb=%.1f paste_s=%.3f paste_peak_mb=%.1f export_s=%.3f import_s=%.3f "
                "import_peak_mb=%.1f\n",
                lines, textMiB, pasteSeconds, pastePeak, exportSeconds, importSeconds, importPeak);
    return 0;
}
