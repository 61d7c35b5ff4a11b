// Time and peak memory of the check of a large report, beside the file
// layer's read of the same file and a plain read of its bytes. Each runs in
// a child process of its own, so that the peak resident size getrusage gives
// for it (ru_maxrss) is its own and not the generator's.
//
//   qnveltor_check_bench [lines=10000000] [--keep file] [--report file] [--program path/to/qnveltor]
//
// --report checks an existing file instead of generating one; --program also
// runs the program itself, `qnveltor --check`, as a user would. Prints
// figures and asserts nothing. Meant to be built in Release.

#include "CheckCommand.h"
#include "ReportGenerator.h"
#include "qnVelTorData.h"
#include "qnVelTorFile.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int runs = 3;

struct Figure
{
    double seconds = 0; // the best run
    long peakKiB = 0; // the largest run
    int status = -1; // of the last run
};

long OwnPeakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Waits for `child`, with its own resource use.
bool Collect(pid_t child, Clock::time_point start, Figure &figure, int run)
{
    int status = 0;
    rusage usage {};
    if (wait4(child, &status, 0, &usage) != child)
        return false;
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (run == 0 || s < figure.seconds)
        figure.seconds = s;
    figure.peakKiB = std::max(figure.peakKiB, long(usage.ru_maxrss));
    figure.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

// Runs `job` in forked children, `runs` times.
Figure Measure(const char *name, const std::function<int()> &job)
{
    Figure figure;
    for (int run = 0; run < runs; ++run) {
        std::fflush(stdout);
        const Clock::time_point start = Clock::now();
        const pid_t child = fork();
        if (child < 0) {
            std::fprintf(stderr, "cannot fork\n");
            std::exit(2);
        }
        if (child == 0)
            _exit(job()); // no destructors: the temporary folder is the parent's
        if (!Collect(child, start, figure, run)) {
            std::fprintf(stderr, "lost the child of %s\n", name);
            std::exit(2);
        }
        std::printf("  %-16s run %d: %.3f s\n", name, run + 1, figure.seconds);
    }
    return figure;
}

// The program itself, its output to `outputPath`.
Figure MeasureProgram(const std::string &program, const std::string &report, const std::string &outputPath)
{
    Figure figure;
    for (int run = 0; run < runs; ++run) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char *argv[] = {const_cast<char *>(program.c_str()), const_cast<char *>("--check"),
                        const_cast<char *>(report.c_str()), nullptr};
        const Clock::time_point start = Clock::now();
        pid_t child = 0;
        const int error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0 || !Collect(child, start, figure, run)) {
            std::fprintf(stderr, "cannot run %s\n", program.c_str());
            std::exit(2);
        }
        std::printf("  %-16s run %d: %.3f s\n", "program", run + 1, figure.seconds);
    }
    return figure;
}

int PlainRead(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return 2;
    const std::unique_ptr<char[]> buffer(new char[1 << 20]);
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.get(), 1 << 20)) > 0) { }
    ::close(fd);
    return got == 0 ? 0 : 2;
}

int FileLayerRead(const QString &path, std::uint64_t expectedLines)
{
    std::uint64_t lines = 0;
    const bool ok = ReadReportLines(
            path, [&lines](const std::string_view *, std::size_t count) { lines += count; }, {}, nullptr);
    return ok && lines == expectedLines ? 0 : 2;
}

int Check(const QString &path, const QString &outputPath)
{
    QFile out(outputPath);
    QFile err(QStringLiteral("/dev/null"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
        || !err.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 3;
    return RunReportCheck({QStringLiteral("--check"), path}, out, err);
}

std::string LastLine(const std::string &path, std::uint64_t *lineCount)
{
    std::ifstream in(path);
    std::string line;
    std::string last;
    std::uint64_t count = 0;
    while (std::getline(in, line)) {
        last = line;
        ++count;
    }
    *lineCount = count;
    return last;
}

void PrintFigure(const char *name, const Figure &figure, double plain, std::uint64_t bytes, std::uint64_t lines)
{
    std::printf("%-24s %8.3f s  %7.1f MB/s  %10.0f lines/s  %5.2f x plain  peak %7.1f MB  (exit %d)\n", name,
                figure.seconds, bytes / 1e6 / figure.seconds, lines / figure.seconds, figure.seconds / plain,
                figure.peakKiB / 1024.0, figure.status);
}

int Usage()
{
    std::fprintf(stderr, "usage: qnveltor_check_bench [lines=10000000] [--keep file] [--report file] "
                         "[--program path/to/qnveltor]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::uint64_t lines = 10000000;
    std::string keepPath;
    std::string reportPath;
    std::string program;
    for (int i = 1; i < argc; ++i) {
        const auto value = [&](std::string &into) {
            if (++i >= argc)
                return false;
            into = argv[i];
            return true;
        };
        if (std::strcmp(argv[i], "--keep") == 0) {
            if (!value(keepPath))
                return Usage();
        } else if (std::strcmp(argv[i], "--report") == 0) {
            if (!value(reportPath))
                return Usage();
        } else if (std::strcmp(argv[i], "--program") == 0) {
            if (!value(program))
                return Usage();
        } else {
            char *end = nullptr;
            lines = std::strtoull(argv[i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || lines == 0 || lines > qnVelTorData::MaxRecords)
                return Usage();
        }
    }

    QTemporaryDir tempDir;
    if (!tempDir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    const std::string outputPath = (tempDir.path() + QStringLiteral("/check-output.txt")).toStdString();
    std::uint64_t bytes = 0;
    if (reportPath.empty()) {
        // The name carries a valid license number and year-month.
        reportPath = keepPath.empty() ? (tempDir.path() + QStringLiteral("/1234567890202401BENCH.dat")).toStdString()
                                      : keepPath;
        const Clock::time_point start = Clock::now();
        if (!ReportGenerator::WriteFile(reportPath, lines, &bytes)) {
            std::fprintf(stderr, "cannot write %s\n", reportPath.c_str());
            return 2;
        }
        std::printf("generated %llu lines, %llu bytes in %.1f s: %s\n", static_cast<unsigned long long>(lines),
                    static_cast<unsigned long long>(bytes),
                    std::chrono::duration<double>(Clock::now() - start).count(), reportPath.c_str());
    } else {
        struct stat status {};
        if (::stat(reportPath.c_str(), &status) != 0) {
            std::fprintf(stderr, "no report %s\n", reportPath.c_str());
            return 2;
        }
        bytes = std::uint64_t(status.st_size);
        lines = 0;
        std::ifstream in(reportPath, std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            ++lines;
    }
    const QString report = QString::fromStdString(reportPath);
    const QString output = QString::fromStdString(outputPath);
    std::printf("this process before the children: peak %.1f MB\n", OwnPeakKiB() / 1024.0);

    const Figure plain = Measure("plain read", [&] { return PlainRead(reportPath); });
    const Figure read = Measure("file layer read", [&] { return FileLayerRead(report, lines); });
    const Figure check = Measure("check", [&] { return Check(report, output); });
    std::uint64_t outputLines = 0;
    const std::string summary = LastLine(outputPath, &outputLines);
    Figure programFigure;
    if (!program.empty())
        programFigure = MeasureProgram(program, reportPath, outputPath);

    std::printf("\n%llu lines, %.1f MB\n", static_cast<unsigned long long>(lines), bytes / 1e6);
    PrintFigure("plain read", plain, plain.seconds, bytes, lines);
    PrintFigure("file layer read", read, plain.seconds, bytes, lines);
    PrintFigure("check, in this program", check, plain.seconds, bytes, lines);
    if (!program.empty())
        PrintFigure("qnveltor --check", programFigure, plain.seconds, bytes, lines);
    std::printf("check output: %llu lines, the last: %s\n", static_cast<unsigned long long>(outputLines),
                summary.c_str());
    std::printf("CHECKBENCH lines=%llu bytes=%llu plain_s=%.3f read_s=%.3f check_s=%.3f program_s=%.3f "
                "plain_kib=%ld read_kib=%ld check_kib=%ld program_kib=%ld\n",
                static_cast<unsigned long long>(lines), static_cast<unsigned long long>(bytes), plain.seconds,
                read.seconds, check.seconds, programFigure.seconds, plain.peakKiB, read.peakKiB, check.peakKiB,
                programFigure.peakKiB);
    return 0;
}
