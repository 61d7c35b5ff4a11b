// Measures how fast a large report loads, validates and saves, against the
// plain cost of reading the same bytes from disk.
//
//   qnveltor_bench [lines=1000000] [--keep file] [--generate-only]
//
// The report is synthetic but shaped like a real one (serial numbers, work
// codes, Japanese titles and names, many empty fields, a few invalid cells),
// generated from a fixed seed so that every run measures the same bytes.

#include "SplitMix.h"
#include "ShiftJis.h"
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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int runsPerPhase = 3;

using Random = SplitMix;

// Word pools, encoded once; the generator then only glues bytes.
struct Pools
{
    std::vector<std::string> titleWords;
    std::vector<std::string> asciiTitles;
    std::vector<std::string> subTitles;
    std::vector<std::string> familyNames;
    std::vector<std::string> givenNames;
    std::vector<std::string> katakanaNames;
    std::vector<std::string> halfWidthNames;
    std::vector<std::string> asciiArtists;
    std::vector<std::string> japaneseArtists;
    std::string fullWidthDigit;
    std::string fullWidthSpace;
};

std::vector<std::string> Encode(std::initializer_list<const char16_t *> words)
{
    std::vector<std::string> bytes;
    for (const char16_t *word : words) {
        std::optional<std::string> encoded = ShiftJis::FromText(QString::fromUtf16(word));
        if (!encoded) {
            std::fprintf(stderr, "cannot encode a word of the pools\n");
            std::exit(2);
        }
        bytes.push_back(std::move(*encoded));
    }
    return bytes;
}

Pools MakePools()
{
    Pools pools;
    pools.titleWords = Encode({u"夜明けの", u"星空", u"さくら", u"恋人よ", u"青い", u"海", u"風のうた",
                               u"約束", u"ふるさと", u"君に", u"届け", u"永遠の", u"旅立ち", u"雪国",
                               u"花火", u"真夏の", u"夢", u"ありがとう", u"月夜", u"物語", u"港町",
                               u"ブルース", u"ラブソング", u"メロディー", u"涙", u"そして", u"明日へ",
                               u"川の流れ", u"のように", u"東京", u"ワルツ", u"秋桜", u"祭り",
                               u"遠い日の", u"いつまでも", u"想い出が", u"いっぱい", u"ガラスの",
                               u"少年", u"春夏秋冬", u"シンフォニー"});
    pools.asciiTitles = Encode({u"MY WAY", u"Yesterday Once More", u"SUNRISE", u"Blue Moon",
                                u"Take Five", u"Fly Me To The Moon", u"LOVE SONG", u"Summer Breeze",
                                u"Night Train", u"Over The Rainbow", u"Smoke Gets In Your Eyes",
                                u"What A Wonderful World"});
    pools.subTitles = Encode({u"ライブ版", u"映画「旅路」主題歌", u"英語版", u"ピアノ独奏",
                              u"ドラマ挿入歌", u"第二楽章", u"アコースティック",
                              u"テレビアニメ「星の旅人」主題歌", u"NHK連続ドラマ挿入歌"});
    pools.familyNames = Encode({u"佐藤", u"鈴木", u"高橋", u"田中", u"渡辺", u"伊藤", u"山本", u"中村",
                                u"小林", u"加藤", u"吉田", u"山田", u"松本", u"井上", u"木村"});
    pools.givenNames = Encode({u"一郎", u"花子", u"健", u"美咲", u"翔太", u"由美", u"誠", u"陽子",
                               u"大輔", u"さくら", u"直樹", u"恵"});
    pools.katakanaNames = Encode({u"ジョン・スミス", u"マイケル", u"アンナ", u"ポール・サイモン",
                                  u"マリア", u"エリック"});
    pools.halfWidthNames = Encode({u"ﾔﾏﾀﾞ ﾀﾛｳ", u"ｽｽﾞｷ ｲﾁﾛｳ", u"ｻﾄｳ ﾊﾅｺ", u"ｷﾑﾗ"});
    pools.asciiArtists = Encode({u"SKYLINE", u"Moon Riders Band", u"K-TOWN", u"Akiko & The Sounds",
                                 u"RED CAT", u"Tokyo Strings", u"The Harbor Lights", u"NOVA",
                                 u"Midnight Jazz Orchestra", u"Sakura Sisters feat. MC Ken"});
    pools.japaneseArtists = Encode({u"東京交響楽団", u"山田太郎とバンド", u"さくら合唱団",
                                    u"ミッドナイト・ブルー"});
    pools.fullWidthDigit = Encode({u"５"}).front();
    pools.fullWidthSpace = Encode({u"　"}).front();
    return pools;
}

std::string PersonName(Random &random, const Pools &pools)
{
    const std::uint32_t kind = random.Below(10);
    if (kind < 7)
        return random.Pick(pools.familyNames) + pools.fullWidthSpace + random.Pick(pools.givenNames);
    if (kind < 9)
        return random.Pick(pools.katakanaNames);
    return random.Pick(pools.halfWidthNames);
}

std::string Title(Random &random, const Pools &pools)
{
    if (random.Percent(15))
        return random.Pick(pools.asciiTitles);
    std::string title;
    const std::uint32_t words = 3 + random.Below(4);
    for (std::uint32_t i = 0; i < words; ++i) {
        const std::string &word = random.Pick(pools.titleWords);
        if (title.size() + word.size() > 60)
            break;
        title += word;
    }
    // A title pasted together from two songs: too long for the field.
    if (random.OneIn(250)) {
        while (title.size() <= 60)
            title += random.Pick(pools.titleWords);
    }
    return title;
}

void AppendLine(std::string &out, std::uint64_t serial, Random &random, const Pools &pools)
{
    // Views into the pools and into the few texts made for this line.
    std::string_view fields[FieldCount];
    const std::string serialText = std::to_string(serial);
    fields[0] = serialText;
    if (random.OneIn(50))
        fields[1] = "Q";
    fields[2] = "000";
    std::string medleyNumber = "000";
    if (random.OneIn(40)) {
        fields[3] = "M";
        medleyNumber.back() = static_cast<char>('1' + random.Below(5));
    }
    fields[4] = medleyNumber;
    char code[16];
    std::snprintf(code, sizeof code, "%08u", static_cast<unsigned>(random.Below(100000000)));
    std::string workCode = code;
    // A work code typed with the input method still on.
    if (random.OneIn(400))
        workCode.replace(4, 1, pools.fullWidthDigit);
    fields[6] = workCode;
    const std::string title = Title(random, pools);
    fields[7] = title;
    if (random.Percent(45))
        fields[8] = random.Pick(pools.subTitles);
    std::string names[4];
    const std::uint32_t namePercent[4] = {85, 15, 90, 60};
    for (int i = 0; i < 4; ++i) {
        if (random.Percent(namePercent[i])) {
            names[i] = PersonName(random, pools);
            fields[9 + i] = names[i];
        }
    }
    if (random.Percent(90)) {
        const std::uint32_t kind = random.Below(10);
        if (kind < 6)
            fields[13] = random.Pick(pools.asciiArtists);
        else if (kind < 9)
            fields[13] = random.Pick(pools.japaneseArtists);
        else
            fields[13] = random.Pick(pools.halfWidthNames);
    }
    fields[14] = "0";
    const std::uint32_t ivt = random.Below(10);
    fields[15] = ivt < 6 ? "V" : ivt < 9 ? "I" : "T";
    const std::uint32_t lyrics = random.Below(20);
    fields[16] = lyrics < 16 ? "1" : lyrics < 19 ? "2" : "3";
    fields[18] = "0";

    for (std::uint32_t f = 0; f < FieldCount; ++f) {
        if (f > 0)
            out += '\t';
        out += fields[f];
    }
    out += "\r\n";
}

std::string GenerateReport(std::uint64_t lines)
{
    const Pools pools = MakePools();
    Random random(0x716E56656C546F72ull);
    std::string report;
    report.reserve(lines * 128);
    for (std::uint64_t serial = 1; serial <= lines; ++serial)
        AppendLine(report, serial, random, pools);
    return report;
}

bool WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

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
        const std::string report = GenerateReport(lines);
        bytes = report.size();
        if (!WriteBytes(reportPath, report)) {
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
