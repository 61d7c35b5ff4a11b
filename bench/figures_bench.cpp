// The figures of a large report side by side with `cat` of the same file,
// all from one process: `cat`, the open in the window to an editable,
// validated grid, the resident memory of the whole process with the report
// open, the file layer's read with every cell validated (in parts on two
// cores, as the window's load reads), a search that finds nothing in each
// direction, and Save from the window against the file layer's own write.
//
//   qnveltor_figures report.dat [--open-only]
//
// With --open-only it opens the report once and prints only that time and
// the memory, for reports too large to be held a second time.
//
// Prints the figures, then one machine-readable line (FIGURES key=value ...).
// Not a test. Meant to be built in Release and run on the offscreen platform.

#include "BenchSupport.h"
#include "LinePartsReader.h"
#include "VelTorGridView.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorFile.h"
#include "qnVelTorForm.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

using namespace Bench;

constexpr int runs = 5;

// `cat file > /dev/null`, the program itself, as a user would run it.
double catSeconds(const std::string &path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>("cat"), const_cast<char *>(path.c_str()), nullptr};
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cat", &actions, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "cannot run cat\n");
        std::exit(2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = SecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cat failed\n");
        std::exit(2);
    }
    return seconds;
}

double bestCat(const std::string &path)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, catSeconds(path));
    return best;
}

// Not found: one full cycle through every cell, ending where it started.
double searchNothing(TVelTorForm &form, QPushButton *button)
{
    const int row = form.GridRowCount() / 2;
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        form.SetCurrentCell(10, row);
        const Clock::time_point start = Clock::now();
        button->click();
        best = std::min(best, SecondsSince(start));
        if (form.CurrentCol() != 10 || form.CurrentRow() != row) {
            std::fprintf(stderr, "a search for nothing moved the current cell\n");
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
    const bool openOnly = argc == 3 && std::strcmp(argv[2], "--open-only") == 0;
    if (argc != 2 && !openOnly) {
        std::fprintf(stderr, "usage: qnveltor_figures report.dat [--open-only]\n");
        return 2;
    }
    const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const std::string pathBytes = QFile::encodeName(path).toStdString();
    const double fileMB = double(QFileInfo(path).size()) / 1e6;

    const double cat = bestCat(pathBytes);

    // The window first, so that its resident size is that of a process that
    // has done nothing but open the report.
    double open = 1e9;
    long openKiB = -1;
    long lines = 0;
    auto form = std::make_unique<TVelTorForm>();
    form->SetLoadProgressDelay(1000000); // the dialog is not what is measured
    form->show();
    QCoreApplication::processEvents();
    const long startKiB = StatusKiB("VmRSS:");
    for (int i = 0; i < (openOnly ? 1 : runs); ++i) {
        const Clock::time_point start = Clock::now();
        if (!form->LoadReport(path)) {
            std::fprintf(stderr, "the window could not open %s\n", argv[1]);
            return 1;
        }
        open = std::min(open, SecondsSince(start));
        QCoreApplication::processEvents();
        if (i == 0)
            openKiB = StatusKiB("VmRSS:");
    }
    lines = form->GridRowCount() - 2;
    if (openOnly) {
        std::printf("%ld lines, %.1f MB: cat %.4f s; open %.3f s (%.1fx cat), %.1f MB resident (%.2fx the file)\n",
                    lines, fileMB, cat, open, open / cat, openKiB * 1024.0 / 1e6, openKiB * 1024.0 / 1e6 / fileMB);
        return 0;
    }

    // The file layer: every line split and every cell validated, nothing
    // kept, in parts on both cores as the window's load reads.
    const qnVelTorDataAttribute &attributes = *qnVelTorDataAttribute::Instance();
    double readValidate = 1e9;
    std::uint64_t invalid = 0;
    constexpr std::size_t parts = 2;
    for (int i = 0; i < runs; ++i) {
        std::uint64_t invalidIn[parts] = {};
        std::uint64_t readIn[parts] = {};
        std::vector<TakeLines> takes;
        for (std::size_t part = 0; part < parts; ++part) {
            takes.emplace_back([&attributes, &invalid = invalidIn[part], &read = readIn[part]](
                                       const std::string_view *fields, std::size_t count) {
                std::string message;
                for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
                    for (unsigned field = 0; field < FieldCount; ++field) {
                        // As the window does: the message only where needed.
                        if (!attributes.IsValid(field, fields[field])) {
                            attributes.Validate(field, fields[field], message);
                            ++invalid;
                            message.clear();
                        }
                    }
                }
                read += count;
            });
        }
        const Clock::time_point start = Clock::now();
        LinePartsReader reader(std::move(takes));
        const bool ok = reader.Read(path);
        readValidate = std::min(readValidate, SecondsSince(start));
        std::uint64_t read = 0;
        invalid = 0;
        for (std::size_t part = 0; part < reader.KeptParts(); ++part) {
            read += readIn[part];
            invalid += invalidIn[part];
        }
        if (!ok || read != std::uint64_t(lines)) {
            std::fprintf(stderr, "the file layer read %llu lines, the window %ld\n", (unsigned long long)read,
                         lines);
            return 1;
        }
    }
    if (invalid != form->CellAttrs().ErrorCellCount()) {
        std::fprintf(stderr, "the file layer found %llu invalid cells, the window %llu\n",
                     (unsigned long long)invalid, (unsigned long long)form->CellAttrs().ErrorCellCount());
        return 1;
    }

    form->Ui().KensakuWord->setText(QStringLiteral("見当たらぬ語"));
    const double left = searchNothing(*form, form->Ui().KensakuLeftButton);
    const double right = searchNothing(*form, form->Ui().KensakuRightButton);
    const double up = searchNothing(*form, form->Ui().KensakuUpButton);
    const double down = searchNothing(*form, form->Ui().KensakuDownButton);
    const double search = std::max({left, right, up, down});

    // Save from the window into a copy, against the file layer's write of
    // the same lines from a container, in turns so that both meet the same
    // load on the machine. Both must give the file back byte for byte.
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    const QString saved = dir.filePath(QFileInfo(path).fileName());
    const QString written = dir.filePath(QStringLiteral("written.dat"));
    if (!QFile::copy(path, saved))
        return 2;
    if (!form->LoadReport(saved))
        return 1;
    qnVelTorData data;
    if (!ReadReportFile(path, &data))
        return 1;
    double windowSave = 1e9;
    double fileWrite = 1e9;
    // The copy just made is still on its way to the disk; the saves wait
    // for their own data only.
    ::sync();
    for (int i = 0; i < 2 * runs; ++i) {
        // In turns, each first every other time: the disk's own writing
        // back of an earlier save must not weigh on one of them only.
        const Clock::time_point start = Clock::now();
        if ((i % 2 == 0) == (i / 2 % 2 == 0)) {
            if (!form->FileSave1Execute(form->Ui().FileSave1)) {
                std::fprintf(stderr, "the window's save failed\n");
                return 1;
            }
            windowSave = std::min(windowSave, SecondsSince(start));
        } else {
            if (!qnVelTorFileWriter().Write(written, &data)) {
                std::fprintf(stderr, "the file layer's write failed\n");
                return 1;
            }
            fileWrite = std::min(fileWrite, SecondsSince(start));
        }
    }
    QFile original(path);
    QFile fromWindow(saved);
    QFile fromFile(written);
    if (!original.open(QIODevice::ReadOnly) || !fromWindow.open(QIODevice::ReadOnly)
        || !fromFile.open(QIODevice::ReadOnly)) {
        return 2;
    }
    const QByteArray bytes = original.readAll();
    if (fromWindow.readAll() != bytes || fromFile.readAll() != bytes) {
        std::fprintf(stderr, "a saved file differs from the report\n");
        return 1;
    }

    std::printf("%ld lines, %.1f MB: cat %.4f s; open %.3f s (%.1fx cat), %.1f MB resident (%.2fx the file, "
                "%.1f MB before); file layer read+validate %.3f s (%.1fx cat); search for nothing "
                "left %.3f right %.3f up %.3f down %.3f s; save %.3f s, file layer write %.3f s (%.2fx)\n",
                lines, fileMB, cat, open, open / cat, openKiB * 1024.0 / 1e6, openKiB * 1024.0 / 1e6 / fileMB,
                startKiB * 1024.0 / 1e6, readValidate, readValidate / cat, left, right, up, down, windowSave, fileWrite,
                windowSave / fileWrite);
    std::printf("FIGURES lines=%ld file_mb=%.1f cat_s=%.4f open_s=%.3f rss_mb=%.1f rss_before_mb=%.1f "
                "read_validate_s=%.3f search_s=%.3f save_s=%.3f write_s=%.3f\n",
                lines, fileMB, cat, open, openKiB * 1024.0 / 1e6, startKiB * 1024.0 / 1e6, readValidate, search,
                windowSave, fileWrite);
    return 0;
}
