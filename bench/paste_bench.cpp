// A paste of spreadsheet text into the window, as Ctrl+V on the grid does
// it: the time until the window is free again, the peak memory the paste
// takes beyond what was held before (the text on the clipboard), then its
// undo, and the same paste cancelled from its progress dialog.
//
//   qnveltor_paste_bench [lines=300000]
//
// The text is what a spreadsheet puts on the clipboard for 19 columns (see
// SpreadsheetText.h). Not a test: it prints figures. Meant to be built in
// Release and run on the offscreen platform.

#include "BenchSupport.h"
#include "SpreadsheetText.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QProgressDialog>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using namespace Bench;

std::uint64_t ReportBytes(const TVelTorForm &form)
{
    std::uint64_t bytes = 0;
    const ReportDocument &document = form.Document();
    for (int line = 0; line < document.LineCount(); ++line) {
        for (unsigned field = 0; field < FieldCount; ++field)
            bytes += document.Cell(line, int(field)).size() + 1;
        ++bytes;
    }
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    Bench::OffscreenUnlessTold();
    QApplication app(argc, argv);
    const std::uint32_t lines = argc > 1 ? std::uint32_t(std::strtoul(argv[1], nullptr, 10)) : 300000;

    TVelTorForm form;
    form.show();
    form.Ui().VelTorGrid->setFocus();
    QCoreApplication::processEvents();

    // The clipboard keeps the text itself: the paste reads it without a copy.
    QGuiApplication::clipboard()->setText(SpreadsheetText(lines));
    const double textMiB = double(QGuiApplication::clipboard()->text().size()) * 2 / (1024 * 1024);
    std::printf("pasted text: %u lines x 19 cells, %.1f MB as UTF-16\n", lines, textMiB);

    form.SetLoadProgressDelay(1000000); // the dialog is not what is measured
    QCoreApplication::processEvents();
    const bool peakKnown = ResetPeak();
    const long beforeKiB = StatusKiB("VmRSS:");
    const Clock::time_point start = Clock::now();
    form.BlockPaste();
    QCoreApplication::processEvents();
    const double pasteSeconds = SecondsSince(start);
    const double peakMiB = double(StatusKiB("VmHWM:") - beforeKiB) / 1024;
    const double heldMiB = double(StatusKiB("VmRSS:") - beforeKiB) / 1024;
    if (form.Document().LineCount() != int(lines)) {
        std::fprintf(stderr, "the paste gave %d lines, not %u\n", form.Document().LineCount(), lines);
        return 1;
    }
    const double reportMiB = double(ReportBytes(form)) / (1024 * 1024);
    std::printf("paste: %.3f s; peak %.1f MB above what was held (%.2fx the text; %.2fx with the text), "
                "%.1f MB held after it; the report %.1f MB as a file%s\n",
                pasteSeconds, peakMiB, peakMiB / textMiB, (peakMiB + textMiB) / textMiB, heldMiB, reportMiB,
                peakKnown ? "" : " [peak counted from the start]");

    const Clock::time_point undoStart = Clock::now();
    static_cast<void>(form.Document().Undo());
    QCoreApplication::processEvents();
    const double undoSeconds = SecondsSince(undoStart);
    if (form.Document().LineCount() != 0) {
        std::fprintf(stderr, "the undo left %d lines\n", form.Document().LineCount());
        return 1;
    }
    std::printf("undo: %.3f s\n", undoSeconds);
    // A paste cancelled as soon as its progress shows leaves the report
    // as it was.
    form.SetLoadProgressDelay(100);
    Clock::time_point cancelAsked;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (auto *progress = form.findChild<QProgressDialog *>(); progress && progress->isVisible()) {
            cancelAsked = Clock::now();
            progress->cancel();
            canceller.stop();
        }
    });
    canceller.start(10);
    const Clock::time_point cancelStart = Clock::now();
    form.BlockPaste();
    const double cancelSeconds = SecondsSince(cancelStart);
    const double cancelWait = canceller.isActive() ? -1 : SecondsSince(cancelAsked);
    canceller.stop();
    if (form.Document().LineCount() != 0) {
        std::fprintf(stderr, "the cancelled paste left %d lines\n", form.Document().LineCount());
        return 1;
    }
    if (cancelWait < 0)
        std::printf("cancelled paste: no progress was shown in %.3f s\n", cancelSeconds);
    else
        std::printf("cancelled paste: %.3f s in all, back %.3f s after Cancel; the report is as it was\n",
                    cancelSeconds, cancelWait);

    std::printf("BENCH lines=%u text_mb=%.1f paste_s=%.3f paste_peak_mb=%.1f peak_per_text=%.2f undo_s=%.3f "
                "cancel_wait_s=%.3f\n",
                lines, textMiB, pasteSeconds, peakMiB, peakMiB / textMiB, undoSeconds, cancelWait);
    return 0;
}
