// A report read in parts, each on a thread of its own, is the report read in
// one: the same lines, facts and failures from the file layer, the same
// lines, verdicts and messages in the document, wherever the cuts fall. A
// cancel, a read error or memory running out in any part fails the read as
// one reading would, unless the part lies after a 0x1A that ended the input.

#include "FailingPread.h"
#include "FileSystemCalls.h"
#include "LinePartsReader.h"
#include "LoadedLines.h"
#include "DocumentSupport.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorGridAttr.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <utility>

#include <unistd.h>

using TestSupport::bytes;
using TestSupport::readFile;
using TestSupport::writeFile;

Q_DECLARE_METATYPE(ReadFailure)

namespace {

QByteArray joined(const std::string_view *fields)
{
    QByteArrayList texts;
    for (std::size_t f = 0; f < FieldCount; ++f)
        texts << bytes(fields[f]);
    return texts.join('|');
}

// What one read gave: the report's lines joined by '|', its facts, why it
// failed, and how it was cut.
struct Reading
{
    bool ok = false;
    ReadFailure failure = ReadFailure::None;
    QByteArrayList lines;
    ReadFacts facts;
    std::size_t parts = 0;
    std::vector<std::uint64_t> partLines;
    bool counted = true; // the lines each part counted are those it handed over
};

// A part's take that collects its lines, and can throw or wait on the way.
struct PartLines
{
    QByteArrayList lines;
    // Throws std::bad_alloc once this many lines have come (-1: never).
    qsizetype failAfter = -1;
    std::function<void()> beforeEach; // runs at every call
};

Reading read(const QString &path, std::size_t takes, const std::vector<std::uint64_t> &cutsNear = {},
             const ReadProgress &progress = {}, std::vector<PartLines> *collected = nullptr,
             std::uint64_t maxLines = 0xFFFFFFFFu)
{
    std::vector<PartLines> own(takes);
    std::vector<PartLines> &parts = collected ? *collected : own;
    parts.resize(takes);
    std::vector<TakeLines> functions;
    for (PartLines &part : parts) {
        functions.emplace_back([&part](const std::string_view *fields, std::size_t count) {
            if (part.beforeEach)
                part.beforeEach();
            for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
                if (part.failAfter >= 0 && part.lines.size() >= part.failAfter)
                    throw std::bad_alloc();
                part.lines << joined(fields);
            }
        });
    }
    LinePartsReader reader(std::move(functions));
    reader.cutsNear = cutsNear;
    reader.maxLines = maxLines;
    Reading reading;
    reading.ok = reader.Read(path, progress);
    reading.failure = reader.Failure();
    reading.facts = reader.Facts();
    reading.parts = reader.Parts();
    for (std::size_t i = 0; i < reader.Parts(); ++i) {
        reading.partLines.push_back(reader.PartLines(i));
        if (parts[i].failAfter < 0)
            reading.counted = reading.counted && qsizetype(reader.PartLines(i)) == parts[i].lines.size();
    }
    for (std::size_t i = 0; i < reader.KeptParts(); ++i)
        reading.lines += parts[i].lines;
    return reading;
}

// The reading in one part on the calling thread, as the file has always
// been read.
Reading whole(const QString &path, std::uint64_t maxLines = 0xFFFFFFFFu)
{
    return read(path, 1, {}, {}, nullptr, maxLines);
}

QString factsText(const ReadFacts &facts)
{
    return QStringLiteral("%1; after 0x1A %2, looks %3")
            .arg(TestSupport::lineFactsText(facts))
            .arg(facts.bytesAfterEofMark)
            .arg(int(facts.looks));
}

// Empty when `got` is `expected`; else what differs.
QString differences(const Reading &got, const Reading &expected)
{
    QStringList out;
    if (!got.counted)
        out << QStringLiteral("a part counted other lines than it handed over");
    if (got.ok != expected.ok || got.failure != expected.failure)
        out << QStringLiteral("result %1/%2, expected %3/%4")
                       .arg(got.ok)
                       .arg(int(got.failure))
                       .arg(expected.ok)
                       .arg(int(expected.failure));
    if (got.ok && got.lines != expected.lines)
        out << QStringLiteral("lines: %1, expected %2").arg(got.lines.size()).arg(expected.lines.size());
    if (got.ok && factsText(got.facts) != factsText(expected.facts))
        out << QStringLiteral("facts: %1; expected %2").arg(factsText(got.facts), factsText(expected.facts));
    if (got.ok && !(got.facts.identity == expected.facts.identity))
        out << QStringLiteral("another file's identity");
    return out.join(QStringLiteral("; "));
}

// Lines shaped like a report's, `size` bytes or a little more, with an
// invalid cell now and then.
QByteArray reportOfSize(qsizetype size, std::uint32_t seed = 1)
{
    std::mt19937 random(seed);
    const QByteArray title = TestSupport::sjis(QStringLiteral("夜明けの街"));
    QByteArray out;
    for (int line = 1; out.size() < size; ++line) {
        QByteArrayList fields {QByteArray::number(line), "", "000", "", "000", "",
                               QByteArray::number(random() % 100000), random() % 3 ? title : QByteArray("SUNRISE"),
                               "", "name"};
        if (random() % 50 == 0)
            fields[2] = "0000"; // too long
        if (random() % 70 == 0)
            fields[6] = title; // double-byte in a half-width field
        out += TestSupport::fileLine(fields);
    }
    return out;
}

// A table of system calls under which another program rewrites the file
// with `changed` (in place, as an editor saving over it does) just after the
// reader's first look past its start, where it finds its cuts.
struct ChangingFile
{
    static inline QString path;
    static inline QByteArray changed;
    static inline std::atomic<bool> armed {false};
    static ssize_t pread(int fd, void *buffer, size_t size, off_t offset)
    {
        const ssize_t got = FileSystemCalls::System().pread(fd, buffer, size, offset);
        if (offset > 0 && armed.exchange(false) && !writeFile(path, changed))
            qWarning("the file could not be changed");
        return got;
    }
    static const FileSystemCalls &Calls()
    {
        static const FileSystemCalls table = [] {
            FileSystemCalls calls = FileSystemCalls::System();
            calls.pread = &ChangingFile::pread;
            return calls;
        }();
        return table;
    }
};

// The parts a large file is cut into when no cuts are asked for.
std::size_t partsFor(std::size_t takes)
{
    return std::min<std::size_t>(takes, std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

class tst_Load : public QObject
{
    Q_OBJECT

private slots:
    void partsEqualWhole_data();
    void partsEqualWhole();
    void factsOfBothParts_data();
    void factsOfBothParts();
    void largeFileIsReadInParts();
    void progressCountsEveryPart();
    void cancelStopsEveryPart();
    void failureInAnyPart_data();
    void failureInAnyPart();
    void fileChangedBetweenItsReadsFails();
    void tooManyLinesOverAllParts();
    void loadedLinesCheckEveryCell();
    void documentLoadsInParts_data();
    void documentLoadsInParts();
    void documentKeepsItsReportWhenAPartFails();

private:
    QTemporaryDir dir;
};

void tst_Load::partsEqualWhole_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray twenty = QByteArray("\t").repeated(19);
    QByteArray lines;
    for (int i = 0; i < 30; ++i)
        lines += QByteArray::number(i) + "\tx\t\x83\x65\r\n";
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("one line") << QByteArray("a\tb\r\n");
    QTest::newRow("one line without a line end") << QByteArray("a\tb");
    QTest::newRow("short lines") << lines;
    QTest::newRow("LF only lines") << QByteArray("\n\n\n\n\n\n");
    QTest::newRow("stray CRs around every line end")
            << QByteArray("a\r\n\r\r\nb\rc\r\n\r\nd\te\r\r\n\rf\r\n\r\r\r\ng\n\r\nh\r");
    QTest::newRow("a line longer than the half")
            << QByteArray("1\tx\r\n" + QByteArray(300, 'L') + "\t" + QByteArray(200, 'M') + "\r\n3\r\n4\r\n");
    QTest::newRow("last line longer than the half, no line end")
            << QByteArray("1\r\n2\r\n" + QByteArray(400, 'z'));
    QTest::newRow("0x1A in the first third")
            << QByteArray(lines.left(200) + "tail\x1A" + "after\r\nmore\r\n" + lines.mid(200));
    QTest::newRow("0x1A in the last third")
            << QByteArray(lines.left(700) + "x\tlast\x1A\r\n" + lines.left(100));
    QTest::newRow("0x1A at a line start") << QByteArray(lines.left(400) + "\x1A" + lines.left(300));
    QTest::newRow("more than 19 fields on both sides")
            << QByteArray("1\r\n" + twenty + "a\r\n" + lines.left(300) + "x" + twenty + twenty + "b\r\n"
                          + lines.left(300) + "y" + twenty + "\r\n");
    QTest::newRow("odd bytes on both sides")
            << QByteArray("ok\r\n\xFF\r\n" + lines.left(400) + "XY\x82\tZ\r\n" + lines.left(200) + "A\0B\r\n"
                          + lines.left(100) + "\x82\r\n");
    QTest::newRow("looks comma-separated") << QByteArray("a,b,c\r\n").repeated(40);
    QTest::newRow("line ends and shapes of every kind")
            << QByteArray(lines.left(300) + "\n\r\n" + twenty + "\r\n" + lines.left(200) + "a\rb\n" + lines.left(100)
                          + "x\t\r\r\n\n" + lines.left(50) + "\r\r\n" + twenty + "\tz\r\n\t\t\r");
}

void tst_Load::factsOfBothParts_data()
{
    QTest::addColumn<QByteArray>("first"); // the first part
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("facts");

    // 30 lines of 19 fields.
    QByteArray lines;
    for (int i = 0; i < 30; ++i)
        lines += QByteArray::number(i) + QByteArray(18, '\t') + "\r\n";
    const auto row = [&lines](const char *name, const QByteArray &first, const QByteArray &second, const char *facts) {
        QTest::newRow(name) << lines + first << second + lines << QString::fromLatin1(facts);
    };
    const QByteArray line = QByteArray(18, '\t');
    row("clean", QByteArray(), QByteArray(), "lines 60");
    row("a CR alone in the second part", QByteArray(), "0\r4" + line + "\r\n", "lines 61; loneCr 1@31");
    row("CRs alone in both parts", "\r" + line + "\r\n", "0\r4" + line + "\r\n", "lines 62; loneCr 2@31");
    row("CR CR LF in the second part", QByteArray(), line + "\r\r\n", "lines 61; loneCr 1@31");
    row("LF only in the second part", QByteArray(), line + "\n", "lines 61; lfOnly 1@31");
    row("blank and short lines in the second part", QByteArray(), "\r\n\t\r\n", "lines 62; short 1@32; blank 1@31");
    row("a TAB too many in both parts", line + "\t\r\n", line + "\t\r\n", "lines 62; emptyExtra 2@31");
}

void tst_Load::factsOfBothParts()
{
    // Cut just after the first part: the lines of the second are numbered
    // on from those of the first.
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QString, facts);
    const QString path = dir.filePath(QStringLiteral("both.dat"));
    QVERIFY(writeFile(path, first + second));
    const Reading got = read(path, 2, {std::uint64_t(first.size() - 1)});
    QVERIFY(got.ok);
    QCOMPARE(got.parts, std::size_t(2));
    QCOMPARE(got.partLines[0], std::uint64_t(first.count('\n')));
    QCOMPARE(TestSupport::lineFactsText(got.facts), facts);
}

void tst_Load::partsEqualWhole()
{
    // Every cut the reader may make, one after each byte, and pairs of cuts
    // into three parts: the lines of the parts it keeps, in order, and the
    // facts over them are those of the whole file read in one.
    QFETCH(QByteArray, content);
    const QString path = dir.filePath(QStringLiteral("parts.dat"));
    QVERIFY(writeFile(path, content));
    const Reading expected = whole(path);
    QVERIFY(expected.ok);
    bool cut = false;
    for (qsizetype at = 0; at <= content.size(); ++at) {
        const Reading got = read(path, 2, {std::uint64_t(at)});
        const QString wrong = differences(got, expected);
        if (!wrong.isEmpty())
            QFAIL(qPrintable(QStringLiteral("cut near %1: %2").arg(at).arg(wrong)));
        cut = cut || got.parts == 2;
    }
    const qsizetype step = std::max<qsizetype>(1, content.size() / 13);
    for (qsizetype first = 0; first < content.size(); first += step) {
        for (qsizetype second = first; second < content.size(); second += step) {
            const Reading got = read(path, 3, {std::uint64_t(first), std::uint64_t(second)});
            const QString wrong = differences(got, expected);
            if (!wrong.isEmpty())
                QFAIL(qPrintable(QStringLiteral("cuts near %1, %2: %3").arg(first).arg(second).arg(wrong)));
        }
    }
    // A file of more than one line is cut somewhere, or nothing was shown.
    QCOMPARE(cut, content.count('\n') > 1);
}

void tst_Load::largeFileIsReadInParts()
{
    // Cut by size alone, at its middle and in thirds, with the first chunk
    // the sniffer looks at read by the first part.
    const QByteArray content = reportOfSize(5 << 20) + "tail\twithout end";
    const QString path = dir.filePath(QStringLiteral("large.dat"));
    QVERIFY(writeFile(path, content));
    const Reading expected = whole(path);
    QVERIFY(expected.ok);
    for (const std::size_t takes : {2, 3, 4}) {
        const Reading got = read(path, takes);
        QCOMPARE(differences(got, expected), QString());
        QCOMPARE(got.parts, partsFor(takes));
    }
    // Reads that give fewer bytes than asked are read on.
    const ScopedFileSystemCalls shortReads(FailingPread::Calls());
    FailingPread::most = 4093;
    const Reading got = read(path, 2);
    FailingPread::most = 0;
    QCOMPARE(differences(got, expected), QString());
    QCOMPARE(got.parts, partsFor(2));
}

void tst_Load::progressCountsEveryPart()
{
    const QByteArray content = reportOfSize(6 << 20);
    const QString path = dir.filePath(QStringLiteral("progress.dat"));
    QVERIFY(writeFile(path, content));
    QList<std::uint64_t> done;
    bool sizeKnown = true;
    const Reading got = read(path, 2, {}, [&](std::uint64_t bytes, std::uint64_t size) {
        done << bytes;
        sizeKnown = sizeKnown && size == std::uint64_t(content.size());
        return true;
    });
    QVERIFY(got.ok);
    QCOMPARE(got.parts, partsFor(2));
    QVERIFY(sizeKnown);
    QVERIFY(done.size() >= 3); // the first part's own chunks, at least
    QVERIFY(std::is_sorted(done.begin(), done.end()));
    QCOMPARE(done.last(), std::uint64_t(content.size()));
}

void tst_Load::cancelStopsEveryPart()
{
    // Part 0 is one chunk; part 1, read by another thread, several. A
    // cancel from the first progress call, while part 1 waits in its first
    // take, stops part 1 at its next chunk. The calling thread tells it
    // after the call returns; on a loaded machine that may take a while,
    // which the next take waits out.
    const QByteArray content = reportOfSize(5 << 20);
    const QString path = dir.filePath(QStringLiteral("cancel.dat"));
    QVERIFY(writeFile(path, content));
    const Reading full = read(path, 2, {100000});
    QVERIFY(full.ok);
    QCOMPARE(full.parts, std::size_t(2));

    std::mutex mutex;
    std::condition_variable changed;
    bool waiting = false;
    bool cancelled = false;
    std::vector<PartLines> parts(2);
    bool slowed = false;
    parts[1].beforeEach = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (cancelled) {
            if (!std::exchange(slowed, true)) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
            return;
        }
        waiting = true;
        changed.notify_all();
        changed.wait(lock, [&] { return cancelled; });
    };
    int calls = 0;
    const Reading got = read(path, 2, {100000}, [&](std::uint64_t, std::uint64_t) {
        ++calls;
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return waiting; });
        cancelled = true;
        changed.notify_all();
        return false;
    }, &parts);
    QVERIFY(!got.ok);
    QCOMPARE(got.failure, ReadFailure::Cancelled);
    QCOMPARE(calls, 1); // never asked again once it said stop
    QVERIFY(got.partLines[1] > 0);
    QVERIFY(got.partLines[1] < full.partLines[1]);

    // A cancel while the calling thread waits for the others, its own part
    // read: the part still reading stops too.
    // Part 1 starts after part 0 has told its progress, and is slow; its
    // first take after the cancel waits as above.
    std::atomic<int> told {0};
    std::vector<PartLines> slow(2);
    bool slowedAfterCancel = false;
    slow[1].beforeEach = [&] {
        while (told.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool first = told.load() >= 2 && !std::exchange(slowedAfterCancel, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(first ? 250 : 5));
    };
    calls = 0;
    const Reading waited = read(path, 2, {100000}, [&](std::uint64_t, std::uint64_t) {
        told = ++calls;
        return calls < 2;
    }, &slow);
    QVERIFY(!waited.ok);
    QCOMPARE(waited.failure, ReadFailure::Cancelled);
    QCOMPARE(calls, 2);
    QVERIFY(waited.partLines[1] < full.partLines[1]);
}

void tst_Load::failureInAnyPart_data()
{
    QTest::addColumn<ReadFailure>("failure");
    QTest::addColumn<int>("part");
    QTest::addColumn<bool>("endMarkFirst");
    const ReadFailure memory = ReadFailure::OutOfMemory;
    const ReadFailure read = ReadFailure::ReadError;
    QTest::newRow("out of memory in the part of the calling thread") << memory << 0 << false;
    QTest::newRow("out of memory in the part of another thread") << memory << 1 << false;
    QTest::newRow("out of memory in the last of three parts") << memory << 2 << false;
    QTest::newRow("read error in the first part") << read << 0 << false;
    QTest::newRow("read error in the second part") << read << 1 << false;
    QTest::newRow("read error in the last part") << read << 2 << false;
    // A reading in one would never have come to them.
    QTest::newRow("out of memory after a 0x1A in an earlier part") << memory << 1 << true;
    QTest::newRow("read error after a 0x1A in an earlier part") << read << 1 << true;
}

void tst_Load::failureInAnyPart()
{
    // Three parts of a megabyte each; a take throws, or a read of the
    // part's middle byte fails.
    QFETCH(ReadFailure, failure);
    QFETCH(int, part);
    QFETCH(bool, endMarkFirst);
    QByteArray content = reportOfSize(3 << 20);
    if (endMarkFirst)
        content.insert(content.indexOf('\n', 1000) + 1, "\x1A");
    const QString path = dir.filePath(QStringLiteral("failure.dat"));
    QVERIFY(writeFile(path, content));
    const Reading expected = whole(path);
    std::vector<PartLines> parts(3);
    if (failure == ReadFailure::OutOfMemory)
        parts[std::size_t(part)].failAfter = 10;
    Reading got;
    {
        const ScopedFileSystemCalls failing(FailingPread::Calls());
        FailingPread::at = failure == ReadFailure::ReadError ? (2 * part + 1) << 19 : -1;
        got = read(path, 3, {1 << 20, 2 << 20}, {}, &parts);
        FailingPread::at = -1;
    }
    QCOMPARE(got.parts, std::size_t(3));
    QCOMPARE(got.ok, endMarkFirst);
    QCOMPARE(got.failure, endMarkFirst ? ReadFailure::None : failure);
    if (endMarkFirst)
        QCOMPARE(differences(got, expected), QString());
}

void tst_Load::fileChangedBetweenItsReadsFails()
{
    // The first line grows by a byte once the cut is found: the first part
    // now ends a byte short of a line end, and the second starts with it.
    QByteArray content;
    for (int i = 1; i <= 40; ++i)
        content += QByteArray::number(i) + "\tx\r\n";
    const QString path = dir.filePath(QStringLiteral("changing.dat"));
    QVERIFY(writeFile(path, content));
    ChangingFile::path = path;
    ChangingFile::changed = "0" + content;
    Reading got;
    {
        const ScopedFileSystemCalls changing(ChangingFile::Calls());
        ChangingFile::armed = true;
        got = read(path, 2, {std::uint64_t(content.size() / 2)});
        ChangingFile::armed = false;
    }
    QCOMPARE(readFile(path), ChangingFile::changed);
    QCOMPARE(got.parts, std::size_t(2));
    QCOMPARE(got.failure, ReadFailure::ReadError);
    QVERIFY(!got.ok);
}

void tst_Load::tooManyLinesOverAllParts()
{
    // The limit counts the lines of all parts; each part alone keeps it.
    QByteArray content;
    for (int i = 0; i < 100; ++i)
        content += QByteArray::number(i) + "\r\n";
    const QString path = dir.filePath(QStringLiteral("lines.dat"));
    QVERIFY(writeFile(path, content));
    for (const std::uint64_t limit : {99, 100}) {
        const Reading expected = whole(path, limit);
        QCOMPARE(expected.failure, limit == 100 ? ReadFailure::None : ReadFailure::TooManyLines);
        const Reading got = read(path, 2, {std::uint64_t(content.size() / 2)}, {}, nullptr, limit);
        QCOMPARE(got.parts, std::size_t(2));
        QCOMPARE(differences(got, expected), QString());
    }
}

void tst_Load::loadedLinesCheckEveryCell()
{
    // Cells of every length around their field's limit, of ASCII and of
    // double-byte characters, in every field: the rows hold the cells, and
    // the verdicts and messages are those the field's check gives each.
    const qnVelTorDataAttribute &attributes = *qnVelTorDataAttribute::Instance();
    std::mt19937 random(7);
    const QByteArray kanji = "\x88\xa4";
    QByteArray line;
    std::vector<QByteArrayList> expected;
    LoadedLines loaded(attributes, FieldCount + 1);
    for (int i = 0; i < 3000; ++i) {
        QByteArrayList fields;
        for (unsigned field = 0; field < FieldCount; ++field) {
            const int length = int(random() % (attributes.MaxLength(field) + 20));
            QByteArray cell;
            while (cell.size() < length)
                cell += random() % 9 == 0 ? kanji : QByteArray(1, char('0' + random() % 10));
            if (random() % 4 == 0)
                cell.clear();
            fields << cell;
        }
        line = fields.join('\t');
        // The views as the reader hands them over: in order in the line.
        std::string_view views[FieldCount];
        qsizetype at = 0;
        for (unsigned field = 0; field < FieldCount; ++field) {
            views[field] = std::string_view(line.constData() + at, std::size_t(fields[field].size()));
            at += fields[field].size() + 1;
        }
        loaded.Take(views, 1);
        expected.push_back(fields);
    }
    std::vector<ReportRow> rows = loaded.TakeRows();
    qnVelTor::GridAttr verdicts = loaded.TakeVerdicts();
    QCOMPARE(rows.size(), expected.size());
    QCOMPARE(verdicts.RowCount(), unsigned(expected.size()));
    std::uint64_t invalid = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        for (unsigned field = 0; field < FieldCount; ++field) {
            const QByteArray &cell = expected[row][field];
            QCOMPARE(bytes(rows[row].Cell(field)), cell);
            std::string message;
            const bool valid = attributes.Validate(field, std::string_view(cell.constData(), std::size_t(cell.size())),
                                                   message);
            invalid += valid ? 0 : 1;
            QCOMPARE(verdicts.IsError(unsigned(row), field), !valid);
            QCOMPARE(verdicts.GetErrorMessage(unsigned(row), field), message);
        }
    }
    QCOMPARE(verdicts.ErrorCellCount(), invalid);
    QVERIFY(invalid > 1000);
}

void tst_Load::documentLoadsInParts_data()
{
    QTest::addColumn<int>("endMarkAt"); // percent of the file; 100: "last\x1A" "after" at its end
    QTest::newRow("0x1A in the last part") << 100;
    // The second part's lines, read at the same time, are no lines of it.
    QTest::newRow("0x1A in the first of two parts") << 45;
}

void tst_Load::documentLoadsInParts()
{
    // A report of several megabytes, read in parts: every line, cell,
    // verdict and message, and what the load says about the file, as the
    // file read in one and checked cell by cell gives them.
    QFETCH(int, endMarkAt);
    QByteArray content = reportOfSize(3 << 20, 5);
    const QByteArray twenty = QByteArray("\t").repeated(19);
    const qsizetype late = content.indexOf('\n', content.size() * 3 / 4) + 1;
    content.insert(late, "late\xFF" + twenty + "extra\r\n");
    if (endMarkAt < 100)
        content.insert(content.indexOf('\n', content.size() * endMarkAt / 100) + 1, "\x1A");
    else
        content += "last\x1A" "after";
    const QString path = dir.filePath(QStringLiteral("1234567890202612PARTS.dat"));
    QVERIFY(writeFile(path, content));
    const Reading expected = whole(path);
    QVERIFY(expected.ok);

    ReportDocument document;
    ReportFile file(document);
    const ReportFile::LoadResult result = file.Load(path);
    QVERIFY(result.Ok());
    Reading got = expected; // the lines are held against the document's below
    got.facts = result.facts;
    QCOMPARE(differences(got, expected), QString());
    // What a save would lose is what the facts of the whole read say.
    std::vector<FormatProblem> lost;
    for (const FormatProblem &problem : FormatProblems(expected.facts)) {
        if (problem.LostBySave())
            lost.push_back(problem);
    }
    QCOMPARE(file.Losses().lost.size(), lost.size());
    for (std::size_t i = 0; i < lost.size(); ++i) {
        QCOMPARE(int(file.Losses().lost[i].kind), int(lost[i].kind));
        QCOMPARE(file.Losses().lost[i].count, lost[i].count);
        QCOMPARE(file.Losses().lost[i].first, lost[i].first);
    }
    QVERIFY(!lost.empty());

    QCOMPARE(document.LineCount(), int(expected.lines.size()));
    for (int line = 0; line < document.LineCount(); ++line) {
        std::string_view cells[ReportRow::CellCount];
        document.Line(line).Cells(cells);
        QCOMPARE(joined(cells), expected.lines[line]);
    }
    QCOMPARE(TestSupport::verdictMismatch(document), QString());
    QVERIFY(document.Verdicts().ErrorCellCount() > 100);
}

void tst_Load::documentKeepsItsReportWhenAPartFails()
{
    const QString path = dir.filePath(QStringLiteral("1234567890202612FIRST.dat"));
    QVERIFY(writeFile(path, TestSupport::fileLine({"1", "", "0000"})));
    ReportDocument document;
    ReportFile file(document);
    QVERIFY(file.Load(path).Ok());
    QCOMPARE(document.SetCell(0, 7, "edited"), EditResult::Done);

    const QString large = dir.filePath(QStringLiteral("9999999999202612LARGE.dat"));
    const QByteArray content = reportOfSize(4 << 20);
    QVERIFY(writeFile(large, content));
    const auto unchanged = [&] {
        return document.LineCount() == 1 && document.Cell(0, 7) == "edited" && file.Path() == path
               && document.Verdicts().ErrorCellCount() == 1 && document.IsModified();
    };
    // Cancelled after a chunk, while the other part is read.
    int calls = 0;
    QCOMPARE(file.Load(large, [&](std::uint64_t, std::uint64_t) { return ++calls < 2; }).failure,
             ReadFailure::Cancelled);
    QVERIFY(unchanged());
    // A read error in the second half.
    {
        const ScopedFileSystemCalls failing(FailingPread::Calls());
        FailingPread::at = content.size() * 3 / 4;
        const ReportFile::LoadResult failed = file.Load(large);
        FailingPread::at = -1;
        QCOMPARE(failed.failure, ReadFailure::ReadError);
    }
    QVERIFY(unchanged());
    // And then it loads.
    QVERIFY(file.Load(large).Ok());
    QCOMPARE(document.LineCount(), int(content.count('\n')));
}

QTEST_GUILESS_MAIN(tst_Load)
#include "tst_load.moc"
