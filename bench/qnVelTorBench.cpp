// Measures how fast a large report loads, validates and saves, against the
// plain cost of reading the same bytes from disk.
//
//   qnveltor_bench [lines=1000000] [--keep file] [--generate-only]
//
// The report is ReportGenerator's: synthetic, shaped like a real one, the
// same bytes on every run.

#include "ReportGenerator.h"
#include "qnVelTorData.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorFile.h"

#include <QString>
#include <QTemporaryDir>

#include <fcntl.h>
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
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int runsPerPhase = 3;

// The whole file in one read() per call into one buffer: the floor that a
// loader cannot beat.
bool ReadWholeFile(const std::string &path, std::string &buffer)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    buffer.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + done, buffer.size() - done);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    buffer.resize(done);
    return done == static_cast<std::size_t>(size);
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Runs `phase` a few times and keeps the fastest; `prepare` runs untimed
// before each run.
double Best(const char *name, const std::function<void()> &prepare, const std::function<void()> &phase)
{
    double best = 0;
    for (int run = 0; run < runsPerPhase; ++run) {
        prepare();
        const Clock::time_point start = Clock::now();
        phase();
        const double s = Seconds(Clock::now() - start);
        std::printf("  %-9s run %d: %.4f s\n", name, run + 1, s);
        if (run == 0 || s < best)
            best = s;
    }
    return best;
}

void PrintPhase(const char *name, double s, double plain, std::uint64_t bytes, std::uint64_t lines)
{
    std::printf("%-9s %8.4f s  %9.1f MB/s  %12.0f lines/s  %6.2f x plain read\n",
                name, s, bytes / 1e6 / s, lines / s, s / plain);
}

int Usage()
{
    std::fprintf(stderr, "usage: qnveltor_bench [lines=1000000] [--keep file] [--generate-only]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::uint64_t lines = 1000000;
    std::string keepPath;
    bool generateOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--generate-only") == 0) {
            generateOnly = true;
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            if (++i >= argc)
                return Usage();
            keepPath = argv[i];
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
    const std::string reportPath = keepPath.empty()
        ? (tempDir.path() + QStringLiteral("/bench.dat")).toStdString() : keepPath;
    const std::string writtenPath = (tempDir.path() + QStringLiteral("/written.dat")).toStdString();
    const QString reportPathQ = QString::fromStdString(reportPath);
    const QString writtenPathQ = QString::fromStdString(writtenPath);

    std::uint64_t bytes = 0;
    {
        const Clock::time_point start = Clock::now();
        if (!ReportGenerator::WriteFile(reportPath, lines, &bytes)) {
            std::fprintf(stderr, "cannot write %s\n", reportPath.c_str());
            return 2;
        }
        std::printf("generated %llu lines, %llu bytes (%.1f bytes/line) in %.2f s: %s\n",
                    static_cast<unsigned long long>(lines), static_cast<unsigned long long>(bytes),
                    double(bytes) / lines, Seconds(Clock::now() - start), reportPath.c_str());
    }
    if (generateOnly)
        return 0;

    // (a) the baseline
    double plainS = 0;
    {
        std::string buffer;
        bool ok = true;
        plainS = Best("plain", [&] { std::string().swap(buffer); },
                      [&] { ok = ReadWholeFile(reportPath, buffer) && ok; });
        if (!ok || buffer.size() != bytes) {
            std::fprintf(stderr, "plain read failed\n");
            return 2;
        }
    }

    // (b) load; the first run starts from a clean heap, so it gives the
    // resident size of a loaded report.
    auto data = std::make_unique<qnVelTorData>();
    long rssBefore = -1;
    long rssAfter = -1;
    bool readOk = true;
    int readRun = 0;
    const double readS = Best("read",
        [&] { data.reset(); data = std::make_unique<qnVelTorData>(); if (readRun == 0) rssBefore = ResidentKiB(); },
        [&] {
            readOk = ReadReportFile(reportPathQ, data.get()) && readOk;
            if (readRun++ == 0)
                rssAfter = ResidentKiB();
        });
    if (!readOk || data->RecordCount() != lines) {
        std::fprintf(stderr, "ReadReportFile failed or gave %u records for %llu lines\n",
                     data->RecordCount(), static_cast<unsigned long long>(lines));
        return 1;
    }
    const double rssPerLine = (rssAfter - rssBefore) * 1024.0 / lines;

    // (c) every cell checked as the load into the grid does it
    const qnVelTorDataAttribute *attributes = qnVelTorDataAttribute::Instance();
    std::uint64_t invalidCells = 0;
    std::uint64_t messageBytes = 0;
    const double validateS = Best("validate", [&] { invalidCells = 0; messageBytes = 0; }, [&] {
        for (const qnVelTorDataRecord &record : *data) {
            std::uint32_t f = 0;
            for (const qnVelTorDataField &field : record) {
                std::string message;
                if (!attributes->Validate(f, field.Get(), message)) {
                    ++invalidCells;
                    messageBytes += message.size();
                }
                ++f;
            }
        }
    });

    // (d) save, and the saved file must be the generated one byte for byte
    bool writeOk = true;
    const double writeS = Best("write", [] { },
                               [&] { writeOk = qnVelTorFileWriter().Write(writtenPathQ, data.get()) && writeOk; });
    bool identical = false;
    {
        std::string original;
        std::string written;
        identical = writeOk && ReadWholeFile(reportPath, original) && ReadWholeFile(writtenPath, written)
            && original == written;
        if (!identical && original.size() == written.size()) {
            const auto diff = std::mismatch(original.begin(), original.end(), written.begin());
            std::fprintf(stderr, "first difference at byte %lld\n",
                         static_cast<long long>(diff.first - original.begin()));
        }
    }
    data.reset();

    std::printf("\n");
    PrintPhase("plain", plainS, plainS, bytes, lines);
    PrintPhase("read", readS, plainS, bytes, lines);
    PrintPhase("validate", validateS, plainS, bytes, lines);
    PrintPhase("read+val", readS + validateS, plainS, bytes, lines);
    PrintPhase("write", writeS, plainS, bytes, lines);
    const double fraction = plainS / (readS + validateS);
    std::printf("resident memory per loaded line: %.1f bytes (VmRSS %ld -> %ld KiB)\n",
                rssPerLine, rssBefore, rssAfter);
    std::printf("invalid cells: %llu (%llu message bytes)\n",
                static_cast<unsigned long long>(invalidCells), static_cast<unsigned long long>(messageBytes));
    std::printf("read+validate throughput = 1/%.1f of the plain read (target at least 1/16): %s\n",
                1.0 / fraction, fraction >= 1.0 / 16 ? "met" : "MISSED");
    std::printf("written file %s the generated one\n", identical ? "is byte-identical to" : "DIFFERS from");
    std::printf("BENCH lines=%llu bytes=%llu plain_s=%.4f read_s=%.4f validate_s=%.4f write_s=%.4f "
                "rss_per_line=%.1f invalid_cells=%llu read_validate_fraction=%.4f identical=%d\n",
                static_cast<unsigned long long>(lines), static_cast<unsigned long long>(bytes),
                plainS, readS, validateS, writeS, rssPerLine,
                static_cast<unsigned long long>(invalidCells), fraction, identical ? 1 : 0);
    return identical ? 0 : 1;
}
