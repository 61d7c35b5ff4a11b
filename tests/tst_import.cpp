#include "CsvCellWriter.h"
#include "CsvPartsReader.h"
#include "DelimitedText.h"
#include "FailingPread.h"
#include "ReportCsvWriter.h"
#include "ReportImporter.h"
#include "ReportSniffer.h"
#include "ShiftJis.h"
#include "SmallDisk.h"
#include "SpreadsheetCell.h"
#include "TestSupport.h"
#include "TextEncoding.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

using namespace TestSupport;

namespace {

using Breaks = DelimitedTextReader::Breaks;

// Cells of a report line are joined by 0x1F, which none of them holds here.
constexpr char CellJoin = '\x1F';

// A report line given by its leading cells; the rest are empty.
QByteArray Line(QByteArrayList cells)
{
    while (cells.size() < qsizetype(FieldCount))
        cells << QByteArray();
    return cells.join(CellJoin);
}

QStringList ReadRows(const QString &text, QChar separator, Breaks breaks, qsizetype *flattened = nullptr,
                     qsizetype *unclosed = nullptr)
{
    DelimitedTextReader reader(text, separator, breaks);
    QStringList rows;
    while (reader.NextRow()) {
        QStringList cells;
        for (const QStringView cell : reader.Cells())
            cells << cell.toString();
        rows << cells.join(u'|');
    }
    if (flattened)
        *flattened = reader.FlattenedCells();
    if (unclosed)
        *unclosed = reader.UnclosedQuotes();
    return rows;
}

RecordFields FieldsOf(const QByteArrayList &report, std::vector<QByteArrayList> &split)
{
    split.clear();
    for (const QByteArray &line : report)
        split.push_back(line.split(CellJoin));
    return [&split](std::uint32_t record, std::string_view (&fields)[FieldCount]) {
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            const QByteArray &cell = split[record][field];
            fields[field] = std::string_view(cell.constData(), std::size_t(cell.size()));
        }
    };
}

QByteArray Export(const QByteArrayList &report, ExportFacts *facts = nullptr)
{
    std::vector<QByteArrayList> split;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ReportCsvWriter writer;
    if (!writer.Write(buffer, std::uint32_t(report.size()), FieldsOf(report, split)))
        return "<failed>";
    if (facts)
        *facts = writer.Facts();
    return buffer.data();
}

QByteArrayList Import(const QString &path, ImportFacts *facts = nullptr, ReadFailure *failure = nullptr)
{
    QByteArrayList lines;
    ReadFailure why;
    const bool ok = ImportReportLines(
            path,
            [&lines](const std::string_view *fields, std::size_t count) {
                for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
                    QByteArrayList cells;
                    for (std::uint32_t field = 0; field < FieldCount; ++field)
                        cells << QByteArray(fields[field].data(), qsizetype(fields[field].size()));
                    lines << cells.join(CellJoin);
                }
            },
            {}, &why, facts);
    if (failure)
        *failure = why;
    return ok ? lines : QByteArrayList {"<failed>"};
}

// The facts an import reports, in one line to compare; a count that is 0,
// with no first line either, is left out.
QByteArray Summary(const ImportFacts &facts)
{
    static const char *const encodings[] = {"ShiftJis", "Utf8", "Utf8Bom", "Utf16LE", "Utf16BE"};
    QByteArray text = encodings[int(facts.encoding)];
    if (facts.badBytes)
        text += " bad " + QByteArray::number(facts.badBytes);
    text += QByteArray(facts.separator == u'\t' ? " TAB" : " comma") + (facts.headerSkipped ? " header" : "");
    if (facts.blankLines)
        text += " blank " + QByteArray::number(facts.blankLines);
    const auto count = [&text](const char *name, std::uint64_t cells, std::uint64_t first) {
        if (cells || first)
            text += ' ' + QByteArray(name) + ' ' + QByteArray::number(cells) + '@' + QByteArray::number(first);
    };
    count("flattened", facts.flattenedCells, facts.firstFlattenedLine);
    count("substituted", facts.substitutedCells, facts.firstSubstitutedLine);
    count("long", facts.longLines, facts.firstLongLine);
    count("unclosed", facts.unclosedQuotes, facts.firstUnclosedQuoteLine);
    return text;
}

// What a reading gave: its lines, their facts and its failure, in one text
// to compare, and how many parts held the lines.
struct Reading
{
    QByteArray text;
    std::size_t kept = 0;
};

QByteArray LineOf(const std::string_view *fields)
{
    QByteArrayList cells;
    for (std::uint32_t field = 0; field < FieldCount; ++field)
        cells << QByteArray(fields[field].data(), qsizetype(fields[field].size()));
    return cells.join(CellJoin);
}

QByteArray ReadingText(const QByteArrayList &lines, const ImportFacts &facts, ReadFailure failure)
{
    return lines.join('\n') + "\n[" + Summary(facts) + " lines " + QByteArray::number(facts.lines) + " failure "
            + QByteArray::number(int(failure)) + "]";
}

// The plain reading: the file's whole text decoded, read on one thread.
Reading ReadWholeText(const QByteArray &content)
{
    QByteArrayList lines;
    ReadFailure failure = ReadFailure::None;
    ImportFacts facts;
    ImportBytes(
            content,
            [&lines](const std::string_view *fields, std::size_t count) {
                for (std::size_t line = 0; line < count; ++line)
                    lines << LineOf(fields + line * FieldCount);
            },
            {}, qnVelTorData::MaxRecords, failure, facts);
    return {ReadingText(lines, facts, failure), 1};
}

// The reading in parts as the import makes it: in one part with `takes`
// 1, else cut just after the first LF from `cutNear` on (by the quotes
// near the middle when 0), reading `chunk` bytes at once.
Reading ReadInParts(const QString &path, std::size_t takes, std::uint64_t cutNear, std::size_t chunk,
                    std::uint64_t minPartSize = std::uint64_t(1) << 20)
{
    std::vector<QByteArrayList> parts(takes);
    std::vector<TakeLines> lineTakes;
    for (QByteArrayList &part : parts) {
        lineTakes.emplace_back([&part](const std::string_view *fields, std::size_t count) {
            for (std::size_t line = 0; line < count; ++line)
                part << LineOf(fields + line * FieldCount);
        });
    }
    CsvPartsReader reader(std::move(lineTakes));
    reader.cutNear = cutNear;
    reader.chunkSize = chunk;
    reader.minPartSize = minPartSize;
    reader.Read(path);
    QByteArrayList lines;
    for (std::size_t i = 0; i < reader.KeptParts(); ++i)
        lines += parts[i];
    return {ReadingText(lines, reader.Facts(), reader.Failure()), reader.KeptParts()};
}

// A random delimited file of the pieces its cells are made of, quoted or
// not (so that some quotes quote nothing), in UTF-8 (with or without its
// byte-order mark) or Shift-JIS, at times with a header row, blank lines,
// a quote never closed, bytes of no encoding and 0x1A at its end.
QByteArray RandomDelimitedFile(std::mt19937 &random)
{
    static const QString pieces[] = {"a", "12", "\"", "\"\"", ",", "\t", "\r", "\n", "\r\n", " ", "=\"0\"", "=\"",
                                     QStringLiteral("曲"), QStringLiteral("ｱ"), QStringLiteral("〜"), QStringLiteral("−"),
                                     QStringLiteral("①"), QStringLiteral("é"), QStringLiteral("\U0001F3B5"),
                                     QStringLiteral("\x1A"), QStringLiteral("〓")};
    static const char *const badBytes[] = {"\xFF", "\x80", "\x82", "\xE3\x81"};
    static const char *const ends[] = {"\r\n", "\n", "\r"};
    const int encoding = int(random() % 3); // UTF-8 with a mark, without, Shift-JIS
    const QChar separator = random() % 4 ? u',' : u'\t';
    const auto encode = [encoding](const QString &text) {
        if (encoding < 2)
            return text.toUtf8();
        const std::optional<std::string> bytes = ShiftJis::FromText(ShiftJis::MapLookAlikes(text));
        return bytes ? QByteArray::fromStdString(*bytes) : QByteArray("?");
    };
    QByteArray file = encoding == 0 ? "\xEF\xBB\xBF" : "";
    for (unsigned n = random() % 3; n > 0; --n)
        file += ends[random() % 3];
    if (random() % 4 == 0)
        file += encode(SpreadsheetCell::FieldNames().join(separator)) + "\r\n";
    for (unsigned row = 4 + random() % 12; row > 0; --row) {
        if (random() % 6 == 0)
            file += ends[random() % 3];
        QByteArrayList cells;
        for (unsigned c = random() % 22; c > 0; --c) {
            QString cell;
            for (unsigned n = random() % 4; n > 0; --n)
                cell += pieces[random() % std::size(pieces)];
            QByteArray bytes = random() % 3 ? encode(cell) : encode("\"" + QString(cell).replace("\"", "\"\"") + "\"");
            if (random() % 20 == 0)
                bytes += badBytes[random() % std::size(badBytes)];
            cells << bytes;
        }
        file += cells.join(char(separator.unicode()));
        file += ends[random() % 3];
    }
    if (random() % 8 == 0)
        file += "\"never closed, 1\r\n2\r\n";
    if (random() % 6 == 0)
        file += "\x1A";
    return file;
}

QByteArray LooksName(ReportSniffer::Looks looks)
{
    static const char *const names[] = {"Report", "CommaSeparated", "Utf8", "Utf8Bom", "Utf16Bom"};
    return names[int(looks)];
}

QByteArrayList FieldNameLine()
{
    QByteArrayList names;
    for (std::uint32_t field = 0; field < FieldCount; ++field)
        names << QByteArray::fromStdString(qnVelTorDataAttribute::Instance()->At(field)->name);
    return names;
}

// Sentences of the kind reports hold, written for these tests.
const QStringList japanese = {
    QStringLiteral("夜明けの歌を聴きながら、駅まで歩いた。"),
    QStringLiteral("今日は雨が降っています"),
    QStringLiteral("ありがとう"),
    QStringLiteral("東京都千代田区"),
    QStringLiteral("カラオケ店舗での演奏"),
    QStringLiteral("第３回定期演奏会（オーケストラ）"),
    QStringLiteral("「さくら」作詞：山田太郎／作曲：鈴木花子"),
    QStringLiteral("ﾊﾝｶｸｶﾀｶﾅﾉﾒｲｼｮｳ"),
    QStringLiteral("～波ダッシュと①丸数字"),
    QStringLiteral("Ｊ－ＰＯＰ　ランキング"),
    QStringLiteral("テスト曲"),
    QStringLiteral("歌"),
    QStringLiteral("あ"),
    QStringLiteral("ア"),
    QStringLiteral("ｱ"),
};

// Takes every write but one, which falls short by a byte: a writer that
// does not look at each result goes on as if nothing had happened.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(int failingWrite) : failingWrite(failingWrite)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QByteArray written;
    int writes = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 taken = writes++ == failingWrite ? size - 1 : size;
        written.append(data, taken);
        return taken;
    }

private:
    int failingWrite;
};

} // namespace

class tst_Import : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void readCells_data();
    void readCells();
    void writtenCellsReadBack();
    void plainCellsAreNotCopied();
    void guessSeparator_data();
    void guessSeparator();
    void decodeEachEncoding_data();
    void decodeEachEncoding();
    void sniff_data();
    void sniff();
    void japaneseBothWays();
    void randomJapaneseBothWays();
    void exportBytes();
    void cellBytesWrittenAsTheirText();
    void exportThenImport_data();
    void exportThenImport();
    void exportStopsAtShortWrite_data();
    void exportStopsAtShortWrite();
    void exportInPartsTellsTheFirstChange_data();
    void exportInPartsTellsTheFirstChange();
    void exportFileKeepsOldFile_data();
    void exportFileKeepsOldFile();
    void importFile_data();
    void importFile();
    void importFailures();
    void importInBatches();
    void readFactsOfReports_data();
    void readFactsOfReports();
    void partsEqualWholeText_data();
    void partsEqualWholeText();
    void randomFilesInParts();
    void cutOutsideQuotes_data();
    void cutOutsideQuotes();
    void progressAndCancelInParts();
    void cancelStopsTheSecondPart();
    void failureInEitherPart_data();
    void failureInEitherPart();

private:
    QTemporaryDir dir;
};

void tst_Import::readCells_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<bool>("asSpace");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("flattened");
    QTest::addColumn<int>("unclosed");

    const QChar tab = u'\t';
    const QChar comma = u',';
    QTest::newRow("block with CR LF after every line") << "a\tb\r\nc\td\r\n" << tab << true << QStringList {"a|b", "c|d"} << 0 << 0;
    QTest::newRow("last line without a break: same rows") << "a\tb\r\nc\td" << tab << true << QStringList {"a|b", "c|d"} << 0 << 0;
    QTest::newRow("empty cells") << "\t\tx\t\r\n\t" << tab << true << QStringList {"||x|", "|"} << 0 << 0;
    QTest::newRow("quoted TAB kept") << "\"a\tb\"\tc\r\n" << tab << false << QStringList {"a\tb|c"} << 0 << 0;
    QTest::newRow("quoted TAB as space") << "\"a\tb\"\tc\r\n" << tab << true << QStringList {"a b|c"} << 1 << 0;
    QTest::newRow("quoted LF as space") << "\"line1\nline2\"\tx\r\ny" << tab << true << QStringList {"line1 line2|x", "y"} << 1 << 0;
    QTest::newRow("quoted CR LF is one space") << "\"a\r\nb\"\r\n" << tab << true << QStringList {"a b"} << 1 << 0;
    QTest::newRow("quoted lone CR") << "\"a\rb\"" << tab << true << QStringList {"a b"} << 1 << 0;
    QTest::newRow("quoted breaks kept") << "\"a\r\nb\nc\"\tz" << tab << false << QStringList {"a\r\nb\nc|z"} << 0 << 0;
    QTest::newRow("one cell with several breaks counts once") << "\"a\nb\tc\"\t\"d\ne\"" << tab << true << QStringList {"a b c|d e"} << 2 << 0;
    QTest::newRow("doubled quotes") << "\"say \"\"hi\"\"\"\tz" << tab << true << QStringList {"say \"hi\"|z"} << 0 << 0;
    QTest::newRow("doubled quote and break") << "\"a\"\"\nb\"" << tab << true << QStringList {"a\" b"} << 1 << 0;
    QTest::newRow("quoted empty cell") << "\"\"\tx" << tab << true << QStringList {"|x"} << 0 << 0;
    QTest::newRow("quote inside an unquoted cell") << "ab\"c\td\"e\r\n" << tab << true << QStringList {"ab\"c|d\"e"} << 0 << 0;
    QTest::newRow("typed quotes then stray text") << "\"Hello\" World\tx" << tab << true << QStringList {"\"Hello\" World|x"} << 0 << 0;
    QTest::newRow("quoted TAB then stray text") << "\"a\tb\"c\"\tx" << tab << false << QStringList {"a\tbc\"|x"} << 0 << 0;
    QTest::newRow("unclosed quote is a character") << "\"abc\tdef\r\nghi" << tab << true << QStringList {"\"abc|def", "ghi"} << 0 << 1;
    QTest::newRow("lone quote") << "\"" << tab << true << QStringList {"\""} << 0 << 1;
    QTest::newRow("empty text") << "" << tab << true << QStringList {} << 0 << 0;
    QTest::newRow("only a break") << "\r\n" << tab << true << QStringList {""} << 0 << 0;
    QTest::newRow("blank line between") << "a\r\n\r\nb" << tab << true << QStringList {"a", "", "b"} << 0 << 0;
    QTest::newRow("lone CR and lone LF end lines") << "a\rb\nc\r" << tab << true << QStringList {"a", "b", "c"} << 0 << 0;
    QTest::newRow("CSV commas") << "1,\"a,b\",c\r\n" << comma << true << QStringList {"1|a,b|c"} << 0 << 0;
    QTest::newRow("CSV trailing comma") << "a,b," << comma << true << QStringList {"a|b|"} << 0 << 0;
    QTest::newRow("CSV TAB in a plain cell as space") << "a\tb,c" << comma << true << QStringList {"a b|c"} << 1 << 0;
    QTest::newRow("CSV TAB kept") << "a\tb,c" << comma << false << QStringList {"a\tb|c"} << 0 << 0;
    QTest::newRow("CSV text form stays for the importer") << "=\"000\",x" << comma << true << QStringList {"=\"000\"|x"} << 0 << 0;
}

void tst_Import::readCells()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(bool, asSpace);
    QFETCH(QStringList, rows);
    QFETCH(int, flattened);
    QFETCH(int, unclosed);
    qsizetype gotFlattened = -1;
    qsizetype gotUnclosed = -1;
    QCOMPARE(ReadRows(text, separator, asSpace ? Breaks::AsSpace : Breaks::Keep, &gotFlattened, &gotUnclosed), rows);
    QCOMPARE(int(gotFlattened), flattened);
    QCOMPARE(int(gotUnclosed), unclosed);
}

void tst_Import::writtenCellsReadBack()
{
    // Random cells full of quotes, separators and breaks, written as a
    // spreadsheet writes them (quoted when they hold one, quotes doubled),
    // with random line ends and with or without a last one, read back
    // unchanged.
    static const QString pieces[] = {"a", "\"", "\t", ",", "\r", "\n", "\r\n", " ", QStringLiteral("曲"), "\"\""};
    static const QString ends[] = {"\r\n", "\n", "\r"};
    std::mt19937 random(20260311);
    for (int round = 0; round < 3000; ++round) {
        const QChar separator = round % 2 ? u'\t' : u',';
        QStringList rows;
        QStringList written;
        for (unsigned r = 1 + random() % 4; r > 0; --r) {
            QStringList cells;
            QStringList line;
            for (unsigned c = 1 + random() % 4; c > 0; --c) {
                QString cell;
                for (unsigned n = random() % 4; n > 0; --n)
                    cell += pieces[random() % std::size(pieces)];
                const bool quote = cell.contains(separator) || cell.contains(u'"') || cell.contains(u'\r')
                        || cell.contains(u'\n');
                cells << cell;
                line << (quote ? "\"" + QString(cell).replace("\"", "\"\"") + "\"" : cell);
            }
            rows << cells.join(u'|');
            written << line.join(separator);
        }
        QString text;
        bool lastEnded = true;
        for (qsizetype r = 0; r < written.size(); ++r) {
            text += written[r];
            const bool last = r + 1 == written.size();
            if (last && random() % 2) {
                lastEnded = false;
                break;
            }
            // A CR before an empty line and its LF would be one CR LF.
            const bool nextEmpty = !last && written[r + 1].isEmpty();
            text += ends[random() % (nextEmpty ? 2 : 3)];
        }
        // A last line that is empty and has no line end is no line at all.
        if (written.last().isEmpty() && !lastEnded)
            rows.removeLast();
        const QStringList read = ReadRows(text, separator, Breaks::Keep);
        if (read != rows) {
            const QString shown = QString(text).replace("\r", "<CR>").replace("\n", "<LF>").replace("\t", "<TAB>");
            QFAIL(qPrintable(shown + " read as " + read.join(" / ") + " for " + rows.join(" / ")));
        }
    }
}

void tst_Import::plainCellsAreNotCopied()
{
    // A large paste costs no more than its text: cells that need no
    // rewriting view it.
    const QString text = "plain\t\"quoted\"\t\"dou\"\"bled\"\r\n";
    DelimitedTextReader reader(text, u'\t');
    QVERIFY(reader.NextRow());
    QCOMPARE(reader.Cells().size(), qsizetype(3));
    QCOMPARE(reader.Cells()[0].data(), text.constData());
    QCOMPARE(reader.Cells()[1].data(), text.constData() + 7);
    QCOMPARE(reader.Cells()[2].toString(), QString("dou\"bled"));
    QVERIFY(!reader.NextRow());
}

void tst_Import::guessSeparator_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::newRow("TAB-separated") << "a\tb,c\r\n" << QChar(u'\t');
    QTest::newRow("comma-separated") << "a,b\r\nc,d" << QChar(u',');
    QTest::newRow("TAB only inside quotes") << "\"a\tb\",c\r\n" << QChar(u',');
    QTest::newRow("TAB on a later line") << "a,b\r\n\"x\ny\",c\r\nd\te" << QChar(u'\t');
    QTest::newRow("quoted TAB, the quote closed past the head")
            << "x,y\r\n\"a\tb" + QString(70000, u'c') + "\"\r\n" << QChar(u',');
}

void tst_Import::guessSeparator()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QCOMPARE(DelimitedTextReader::GuessSeparator(text), separator);
}

void tst_Import::decodeEachEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("badBytes");

    using E = TextEncoding::Encoding;
    const QString text = QStringLiteral("曲名\tアーティスト\r\n夜明けの歌\tｻｸﾗ ﾊﾞﾝﾄﾞ\r\n000,\"a\"\r\n");
    QTest::newRow("UTF-8") << text.toUtf8() << int(E::Utf8) << text << 0;
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + text.toUtf8() << int(E::Utf8Bom) << text << 0;
    QTest::newRow("UTF-16 LE") << utf16(text, false) << int(E::Utf16LE) << text << 0;
    QTest::newRow("UTF-16 BE") << utf16(text, true) << int(E::Utf16BE) << text << 0;
    QTest::newRow("Shift-JIS") << sjis(text) << int(E::ShiftJis) << text << 0;
    QTest::newRow("ASCII") << QByteArray("a\tb\r\n") << int(E::ShiftJis) << "a\tb\r\n" << 0;
    // A NUL is no well-formed Shift-JIS, while UTF-8 reads it with nothing
    // lost.
    QTest::newRow("ASCII holding a NUL") << QByteArray("a\0b\r\n", 5) << int(E::Utf8)
                                         << QString::fromLatin1("a\0b\r\n", 5) << 0;
    QTest::newRow("empty") << QByteArray() << int(E::ShiftJis) << "" << 0;
    QTest::newRow("Shift-JIS with a stray byte") << sjis(QStringLiteral("歌")) + "\xFF" << int(E::ShiftJis) << QStringLiteral("歌\uFFFD") << 1;
    QTest::newRow("neither: Shift-JIS counted") << QByteArray("\x82\xA0\x80\xE3") << int(E::ShiftJis) << QStringLiteral("あ\uFFFD\uFFFD") << 2;
    QTest::newRow("UTF-8 BOM, then a bad byte") << QByteArray("\xEF\xBB\xBF" "a\xFF" "b") << int(E::Utf8Bom) << QStringLiteral("a\uFFFDb") << 1;
    QTest::newRow("UTF-8 cut at the end") << QByteArray("\xEF\xBB\xBF" "a\xE3\x81") << int(E::Utf8Bom) << QStringLiteral("a\uFFFD\uFFFD") << 2;
    QTest::newRow("UTF-8 surrogate code is bad") << QByteArray("\xEF\xBB\xBF\xED\xA0\x80") << int(E::Utf8Bom) << QStringLiteral("\uFFFD\uFFFD\uFFFD") << 3;
    QTest::newRow("UTF-8 overlong slash is bad") << QByteArray("\xEF\xBB\xBF\xE0\x80\xAF") << int(E::Utf8Bom) << QStringLiteral("\uFFFD\uFFFD\uFFFD") << 3;
    QTest::newRow("UTF-8 emoji") << QByteArray("\xEF\xBB\xBF\xF0\x9F\x8E\xB5") << int(E::Utf8Bom) << QStringLiteral("\U0001F3B5") << 0;
    QTest::newRow("UTF-16 odd last byte") << utf16("a", false) + "b" << int(E::Utf16LE) << QStringLiteral("a\uFFFD") << 1;
    QTest::newRow("UTF-16 lone surrogate") << QByteArray("\xFF\xFE\x00\xD8" "a\x00", 6) << int(E::Utf16LE) << QStringLiteral("\uFFFDa") << 2;
    QTest::newRow("UTF-16 surrogate pair") << QByteArray("\xFE\xFF\xD8\x3C\xDF\xB5", 6) << int(E::Utf16BE) << QStringLiteral("\U0001F3B5") << 0;
    QTest::newRow("short UTF-8 line that is also Shift-JIS") << QStringLiteral("あい\r\n").toUtf8() << int(E::Utf8) << QStringLiteral("あい\r\n") << 0;
    QTest::newRow("UTF-8 accented letters") << QByteArray("Caf\xC3\xA9") << int(E::Utf8) << QStringLiteral("Café") << 0;
    QTest::newRow("half-width before full-width katakana") << sjis(QStringLiteral("ﾃア")) << int(E::ShiftJis) << QStringLiteral("ﾃア") << 0;
    QTest::newRow("half-width katakana read as Greek") << sjis(QStringLiteral("ﾏｲ")) << int(E::ShiftJis) << QStringLiteral("ﾏｲ") << 0;
}

void tst_Import::decodeEachEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QFETCH(int, badBytes);
    const TextEncoding::Decoded decoded = TextEncoding::Decode(bytes);
    QCOMPARE(decoded.text, text);
    QCOMPARE(int(decoded.encoding), encoding);
    QCOMPARE(int(decoded.badBytes), badBytes);
}

void tst_Import::sniff_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QByteArray>("looks");

    const QString line = QStringLiteral("1\t\t000\t\t000\t\t12345678\t夜明けの歌\t\t山田太郎\t\t\t\t\t0\tV\t1\t\t0\r\n");
    QByteArray longReport;
    while (longReport.size() < 70000)
        longReport += sjis(line);
    QByteArray longUtf8;
    while (longUtf8.size() < 70000)
        longUtf8 += line.toUtf8();
    QTest::newRow("Shift-JIS report") << sjis(line) << true << QByteArray("Report");
    QTest::newRow("ASCII report") << QByteArray("1\t\t000\t\tabc\r\n") << true << QByteArray("Report");
    QTest::newRow("empty file") << QByteArray() << true << QByteArray("Report");
    QTest::newRow("binary") << QByteArray("\x00\xFF\x80\x01", 4) << true << QByteArray("Report");
    QTest::newRow("report with commas in a title") << sjis(QStringLiteral("1\t曲, その2\t\r\n")) << true << QByteArray("Report");
    QTest::newRow("ASCII CSV") << QByteArray("1,,000\r\n2,,001\r\n") << true << QByteArray("CommaSeparated");
    QTest::newRow("Shift-JIS CSV") << sjis(QStringLiteral("1,,000,夜明けの歌\r\n")) << true << QByteArray("CommaSeparated");
    QTest::newRow("UTF-8 CSV") << QStringLiteral("1,,000,夜明けの歌\r\n").toUtf8() << true << QByteArray("Utf8");
    QTest::newRow("UTF-8 report") << line.toUtf8() << true << QByteArray("Utf8");
    QTest::newRow("UTF-8 Cyrillic") << QStringLiteral("Привет\tмир\r\n").toUtf8() << true << QByteArray("Utf8");
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF" "1,2\r\n") << true << QByteArray("Utf8Bom");
    QTest::newRow("UTF-16 LE BOM") << utf16("1\t2\r\n", false) << true << QByteArray("Utf16Bom");
    QTest::newRow("UTF-16 BE BOM") << utf16("1\t2\r\n", true) << true << QByteArray("Utf16Bom");
    QTest::newRow("Shift-JIS head cut in a character") << longReport.left(ReportSniffer::HeadSize) << false << QByteArray("Report");
    // Both readings hold up to the cut; the Shift-JIS one has kana and no
    // rarer kanji, so it wins, as it would on the whole character.
    QTest::newRow("Shift-JIS head cut in a character, no line break")
            << sjis(QStringLiteral("ﾝ夜｡ウ熙")).chopped(1) << false << QByteArray("Report");
    QTest::newRow("UTF-8 head cut in a character") << longUtf8.left(ReportSniffer::HeadSize) << false << QByteArray("Utf8");
    // The line the head cuts is left out, however it reads.
    QTest::newRow("CR-only head judged up to its last CR")
            << (QByteArray("1\t\t000\t\tabc\r").repeated(2000) + QString(30000, u'あ').toUtf8()).left(ReportSniffer::HeadSize)
            << false << QByteArray("Report");
    QTest::newRow("UTF-8 head cut, no line break")
            << QString(30000, u'あ').toUtf8().left(ReportSniffer::HeadSize) << false << QByteArray("Utf8");
    QTest::newRow("more than the head given") << longUtf8 << true << QByteArray("Utf8");
}

void tst_Import::sniff()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, whole);
    QFETCH(QByteArray, looks);
    QCOMPARE(LooksName(ReportSniffer::Sniff(head, whole)), looks);
}

void tst_Import::japaneseBothWays()
{
    // The same sentences made both ways, alone, as a line, as a report line
    // and as a CSV line: UTF-8 is told from Shift-JIS every time.
    for (const QString &sentence : japanese) {
        const QStringList forms = {sentence, sentence + "\r\n", "1\t\t000\t\t000\t\t12345678\t" + sentence + "\r\n",
                                   "1,000," + sentence + "\r\n"};
        for (const QString &text : forms) {
            const QByteArray utf8 = text.toUtf8();
            const QByteArray shiftJis = sjis(text);
            const bool csv = !text.contains(u'\t') && text.contains(u',');
            QVERIFY2(TextEncoding::Detect(utf8) == TextEncoding::Encoding::Utf8, qPrintable(text));
            QVERIFY2(TextEncoding::Detect(shiftJis) == TextEncoding::Encoding::ShiftJis, qPrintable(text));
            QCOMPARE(LooksName(ReportSniffer::Sniff(utf8, true)), QByteArray("Utf8"));
            QCOMPARE(LooksName(ReportSniffer::Sniff(shiftJis, true)), QByteArray(csv ? "CommaSeparated" : "Report"));
            QCOMPARE(TextEncoding::Decode(utf8).text, text);
            QCOMPARE(TextEncoding::Decode(shiftJis).text, text);
        }
    }
}

void tst_Import::randomJapaneseBothWays()
{
    // Random strings of kana, kanji, full-width and half-width forms and
    // ASCII: UTF-8 is always UTF-8, and Shift-JIS holding a full-width
    // character is always Shift-JIS.
    const QString fullWidth = QStringLiteral("あいうえおがぱゃっアイウエオガパャッーン漢字曲歌夜明東京山田鈴木、。「」（）・～１Ａ");
    const QString others = QStringLiteral("ｱｲｳｴｵｶﾞﾊﾟｬｯｰﾝﾃｨﾏ｡｢ abc01\t,");
    std::mt19937 random(4711);
    for (int round = 0; round < 400; ++round) {
        QString text;
        bool full = false;
        for (unsigned n = 1 + random() % 12; n > 0; --n) {
            const bool pickFull = random() % 2;
            full = full || pickFull;
            text += pickFull ? fullWidth[random() % fullWidth.size()] : others[random() % others.size()];
        }
        const QByteArray utf8 = text.toUtf8();
        if (utf8.size() > text.size())
            QVERIFY2(TextEncoding::Detect(utf8) == TextEncoding::Encoding::Utf8, qPrintable(text));
        if (full)
            QVERIFY2(TextEncoding::Detect(sjis(text)) == TextEncoding::Encoding::ShiftJis, qPrintable(text));
    }
}

void tst_Import::exportBytes()
{
    const QByteArrayList report = {
        Line({"1", "", "000", "", "", "", "12345678", sjis(QStringLiteral("テスト曲")), "a,b", "say \"hi\"", "", "", "", "", "0", "V"}),
        Line({"", "", "", "", "", "", "", "=\"x\"", "1,000", "-", "TRUE", " "}),
        // Full-width digits are numbers to a spreadsheet too; past 255
        // characters Excel takes no formula's string.
        Line({sjis(QStringLiteral("０１２")), QByteArray(255, '7'), QByteArray(256, '7')}),
    };
    const QByteArray header = SpreadsheetCell::FieldNames().join(u',').toUtf8();
    const QByteArray expected = "\xEF\xBB\xBF" + header + "\r\n"
            + QStringLiteral("=\"1\",,=\"000\",,,,=\"12345678\",テスト曲,\"a,b\",\"say \"\"hi\"\"\",,,,,=\"0\",V,,,\r\n").toUtf8()
            + ",,,,,,,\"=\"\"=\"\"\"\"x\"\"\"\"\"\"\",\"=\"\"1,000\"\"\",=\"-\",TRUE, ,,,,,,,\r\n"
            + QStringLiteral("=\"０１２\",").toUtf8() + "=\"" + QByteArray(255, '7') + "\"," + QByteArray(256, '7')
            + QByteArray(16, ',') + "\r\n";
    ExportFacts facts;
    QCOMPARE(Export(report, &facts), expected);
    QCOMPARE(facts.changedCells, std::uint64_t(0));
}

// Before, the export decoded every cell and wrote its text. Written from
// its bytes, a code at a time, a cell comes out the same, and is counted as
// changed alike: an ASCII one when it holds a byte no saved report holds,
// another when one of its codes does not read back as itself.
void tst_Import::cellBytesWrittenAsTheirText()
{
    static const QByteArray pieces[] = {
        "a", "0", "7", ",", "\"", "\r", "\n", "\t", "=", "+", "-", "@", " ", "\x1A", "=\"", "\"\"",
        sjis(QStringLiteral("０")), sjis(QStringLiteral("＝")), sjis(QStringLiteral("－")), sjis(QStringLiteral("歌")),
        sjis(QStringLiteral("ｱ")), sjis(QStringLiteral("”")), "\xEE\xEF", "\x85\x40", "\x80", "\xA0", "\xFD", "\x82",
        "\xF0\x40", QByteArray(120, '1'), sjis(QString(100, u'曲'))};
    std::mt19937 random(31337);
    CsvCellWriter writer;
    for (int round = 0; round < 20000; ++round) {
        QByteArray cell;
        for (unsigned n = random() % 6; n > 0; --n)
            cell += pieces[random() % std::size(pieces)];
        const std::string_view bytes(cell.constData(), std::size_t(cell.size()));
        std::string expected;
        CsvCellWriter::AppendText(expected, ShiftJis::ToText(bytes));
        bool changed = false;
        if (std::all_of(cell.begin(), cell.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            changed = !IsStorableValue(bytes);
        } else {
            for (qsizetype i = 0; i < cell.size();) {
                const bool pair = i + 1 < cell.size() && ShiftJis::IsLeadByte(static_cast<unsigned char>(cell[i]))
                        && ShiftJis::IsTrailByte(static_cast<unsigned char>(cell[i + 1]));
                const std::string_view code = bytes.substr(std::size_t(i), pair ? 2 : 1);
                changed = changed || ReportImporter::CellBytes(ShiftJis::ToText(code)) != code;
                i += pair ? 2 : 1;
            }
        }
        std::string got = "x";
        const bool gotChanged = writer.AppendBytes(got, bytes);
        QCOMPARE(QByteArray::fromStdString(got), "x" + QByteArray::fromStdString(expected));
        QCOMPARE(gotChanged, changed);
    }
}

void tst_Import::exportThenImport_data()
{
    QTest::addColumn<QByteArrayList>("report");
    QTest::addColumn<QByteArrayList>("back"); // what the import gives, empty when the report itself
    QTest::addColumn<QByteArray>("changed"); // cells counted as changed @ the first one's line:field
    QTest::addColumn<QByteArray>("facts");

    QByteArray longForm = "=\"";
    for (int i = 0; i < 150; ++i)
        longForm += "\"\"";
    longForm += "\"";
    const auto same = [](const char *name, const QByteArrayList &report) {
        QTest::newRow(name) << report << QByteArrayList() << QByteArray("0@0:0") << QByteArray("Utf8Bom comma header");
    };
    same("Japanese text, zeros and empty cells", {
        Line({"1", "", "000", "", "000", "", "12345678", sjis(QStringLiteral("夜明けの歌")), "", sjis(QStringLiteral("山田太郎")), "",
              sjis(QStringLiteral("鈴木花子")), "", sjis(QStringLiteral("ｻｸﾗ ﾊﾞﾝﾄﾞ")), "0", "V", "1", "", "0"}),
        Line({"2", "Q", "0012", "M", "001", "", "0", sjis(QStringLiteral("～波①Ⅰ"))}),
    });
    same("commas and quotes",
         {Line({"a,b", "\"quoted\"", "say \"hi\", then go", "\"", "\"\"", ",", "\"a\"b", "a\"", "\"x\" y"})});
    same("what spreadsheets turn into numbers, dates or formulas",
         {Line({"000", "0012", "123456789012345678", "1/2", "3-4", "12:30", "1e5", "(1)", "1,000", "50%", "+81", "-",
                "=SUM(A1)", "@x", sjis(QStringLiteral("＝１")), sjis(QStringLiteral("０１２")), " 12", "TRUE",
                sjis(QStringLiteral("－"))})});
    same("cells that look like the text form",
         {Line({"=\"000\"", "=\"a\"\"b\"", "=\"", "=\"\"", "=\"a\"&\"b\"", longForm, QByteArray(300, '7'),
                "=" + QByteArray(300, 'x')})});
    same("first line holding the field names", {FieldNameLine().join(CellJoin), Line({"1"})});
    same("empty lines", {Line({}), Line({}), Line({"x"}), Line({})});
    same("no lines", {});
    same("spaces kept", {Line({" a ", "  ", sjis(QStringLiteral("　")), "b "})});
    // Bytes that are not Shift-JIS, and NEC's code of a character that IBM's
    // code also has: written as their text, and counted.
    QTest::newRow("cells that cannot come back")
            << QByteArrayList {Line({"1"}), Line({"2", "", "", "", "", "", "", "\x80" "abc"}), Line({"\xEE\xEF"})}
            << QByteArrayList {Line({"1"}), Line({"2", "", "", "", "", "", "", "\x81\xAC" "abc"}), Line({"\xFA\x40"})}
            << QByteArray("2@2:8") << QByteArray("Utf8Bom comma header substituted 1@2");
}

void tst_Import::exportThenImport()
{
    // Export, then import, gives the same report byte for byte, but for the
    // cells the export counts.
    QFETCH(QByteArrayList, report);
    QFETCH(QByteArrayList, back);
    QFETCH(QByteArray, changed);
    QFETCH(QByteArray, facts);
    const QString path = dir.filePath("export.csv");
    std::vector<QByteArrayList> split;
    ReportCsvWriter writer;
    QVERIFY(writer.WriteFile(path, std::uint32_t(report.size()), FieldsOf(report, split)));
    const ExportFacts written = writer.Facts();
    QCOMPARE(QByteArray::number(written.changedCells) + '@' + QByteArray::number(written.firstChangedLine) + ':'
                     + QByteArray::number(written.firstChangedField),
             changed);
    ImportFacts imported;
    QCOMPARE(Import(path, &imported), back.isEmpty() ? report : back);
    QCOMPARE(Summary(imported), facts);
}

void tst_Import::exportStopsAtShortWrite_data()
{
    // The report is written in three chunks.
    QTest::addColumn<int>("failingWrite");
    QTest::newRow("first chunk") << 0;
    QTest::newRow("second chunk") << 1;
    QTest::newRow("last chunk") << 2;
    QTest::newRow("none") << -1;
}

void tst_Import::exportStopsAtShortWrite()
{
    QFETCH(int, failingWrite);
    QByteArrayList report;
    for (int i = 0; i < 50000; ++i)
        report << Line({QByteArray::number(i), "", "000", "", "", "", "12345678", sjis(QStringLiteral("夜明けの歌"))});
    const QByteArray whole = Export(report);
    QVERIFY(whole.size() > 2500000 && whole.size() < 3000000);
    FailingDevice device(failingWrite);
    std::vector<QByteArrayList> split;
    ReportCsvWriter writer;
    const bool ok = writer.Write(device, std::uint32_t(report.size()), FieldsOf(report, split));
    QCOMPARE(ok, failingWrite < 0);
    QCOMPARE(device.writes, failingWrite < 0 ? 3 : failingWrite + 1);
    if (ok)
        QCOMPARE(device.written, whole);
}

void tst_Import::exportInPartsTellsTheFirstChange_data()
{
    // Lines (from 1) whose title holds a TAB, which no saved report keeps.
    QTest::addColumn<QList<int>>("changed");
    QTest::addColumn<QByteArray>("facts"); // count@first line:field
    QTest::newRow("none") << QList<int>{} << QByteArray("0@0:0");
    QTest::newRow("in the first part") << QList<int>{5} << QByteArray("1@5:8");
    QTest::newRow("in a later part only") << QList<int>{15000} << QByteArray("1@15000:8");
    QTest::newRow("in several parts") << QList<int>{9000, 15000, 30000} << QByteArray("3@9000:8");
}

// Before, one thread wrote the lines in order. In parts on two threads the
// facts are joined in the lines' order: the first change is the first line's.
void tst_Import::exportInPartsTellsTheFirstChange()
{
    QFETCH(QList<int>, changed);
    QFETCH(QByteArray, facts);
    QByteArrayList report;
    for (int line = 1; line <= 40000; ++line) {
        const QByteArray title = changed.contains(line) ? "a\tb" : sjis(QStringLiteral("夜明けの歌"));
        report << Line({QByteArray::number(line), "", "000", "", "", "", "", title});
    }
    ExportFacts written;
    const QByteArray csv = Export(report, &written);
    QCOMPARE(QByteArray::number(written.changedCells) + '@' + QByteArray::number(written.firstChangedLine) + ':'
                     + QByteArray::number(written.firstChangedField),
             facts);
    // Every line once, in order.
    QCOMPARE(csv.count("\r\n"), report.size() + 1);
    QVERIFY(csv.contains("\r\n=\"40000\","));
    QVERIFY(csv.indexOf("\r\n=\"19999\",") < csv.indexOf("\r\n=\"20000\","));
}

void tst_Import::exportFileKeepsOldFile_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("small enough to wait in a buffer") << 10;
    QTest::newRow("larger than the disk") << 5000;
}

void tst_Import::exportFileKeepsOldFile()
{
    QFETCH(int, lines);
    std::vector<QByteArrayList> split;
    QByteArrayList report;
    for (int i = 0; i < lines; ++i)
        report << Line({QByteArray::number(i), "", "000"});
    ReportCsvWriter writer;
    QVERIFY(!writer.WriteFile(dir.filePath("missing/out.csv"), std::uint32_t(lines), FieldsOf(report, split)));

    SmallDisk disk;
    if (!disk.mounted)
        QSKIP("needs root to mount a small disk");
    const QString path = disk.filePath("old.csv");
    QVERIFY(writeFile(path, "old content"));
    QVERIFY(disk.Fill());
    QVERIFY(!writer.WriteFile(path, std::uint32_t(lines), FieldsOf(report, split)));
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old content"));
    QCOMPARE(disk.files(), (QStringList {"filler", "old.csv"}));
}

void tst_Import::importFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("facts");

    const auto row = [](const char *name, const QByteArray &content, const QByteArrayList &lines, const char *facts) {
        QTest::newRow(name) << content << lines << QByteArray(facts);
    };
    const QString names = SpreadsheetCell::FieldNames().join(u',');
    QString renamed = names;
    renamed.replace(0, 1, u'X');
    const QByteArray song = sjis(QStringLiteral("夜明けの歌"));
    row("UTF-8 with BOM and header",
        "\xEF\xBB\xBF" + (names + QStringLiteral("\r\n=\"1\",,=\"000\",,,,,夜明けの歌\r\n")).toUtf8(),
        {Line({"1", "", "000", "", "", "", "", song})}, "Utf8Bom comma header");
    row("header with a name changed is a line", (renamed + "\r\n1\r\n").toUtf8(),
        {sjis(renamed).replace(',', CellJoin), Line({"1"})}, "Utf8 comma");
    row("header with empty cells after it", (names + ",,\r\n1\r\n").toUtf8(), {Line({"1"})}, "Utf8 comma header");
    row("header with a filled cell after it is a line", (names + ",x\r\n").toUtf8(),
        {sjis(names).replace(',', CellJoin)}, "Utf8 comma long 1@1");
    row("Shift-JIS CSV of another system", sjis(QStringLiteral("1,,000,,000,,12345678,夜明けの歌\r\n2,,001\r\n")),
        {Line({"1", "", "000", "", "000", "", "12345678", song}), Line({"2", "", "001"})}, "ShiftJis comma");
    row("UTF-16 LE Unicode text", utf16(QStringLiteral("1\t\t000\t\"a\nb\"\r\n2\t\"x\"\"\"\r\n"), false),
        {Line({"1", "", "000", "a b"}), Line({"2", "x\""})}, "Utf16LE TAB flattened 1@1");
    row("UTF-16 BE Unicode text", utf16(QStringLiteral("曲\tｱ\r\n"), true),
        {Line({sjis(QStringLiteral("曲")), sjis(QStringLiteral("ｱ"))})}, "Utf16BE TAB");
    row("20 cells, the last empty", "x\r\n" + QByteArray(19, ',') + "\r\n", {Line({"x"}), Line({})}, "ShiftJis comma");
    row("21 cells, the last filled", "x\r\n" + QByteArray(20, ',') + "y\r\n", {Line({"x"}), Line({})},
        "ShiftJis comma long 1@2");
    row("characters without a Shift-JIS form", QStringLiteral("a\r\nCafé,\U0001F3B5x,ok\r\n").toUtf8(),
        {Line({"a"}), Line({"Caf\x81\xAC", "\x81\xAC" "x", "ok"})}, "Utf8 comma substituted 2@2");
    row("look-alikes mapped", QStringLiteral("\u301C\u2212,曲\r\n").toUtf8(),
        {Line({sjis(QStringLiteral("～－")), sjis(QStringLiteral("曲"))})}, "Utf8 comma");
    row("bad byte in Shift-JIS", "a,\xFF\r\n", {Line({"a", "\x81\xAC"})}, "ShiftJis bad 1 comma substituted 1@1");
    row("0x1A ending the file dropped", "a,b\r\n\x1A", {Line({"a", "b"})}, "ShiftJis comma");
    row("0x1A inside a cell", "a\x1A" "b,c\r\nd", {Line({"a\x81\xAC" "b", "c"}), Line({"d"})},
        "ShiftJis comma substituted 1@1");
    row("unclosed quote", "1\r\n\"abc,def\r\nx", {Line({"1"}), Line({"\"abc", "def"}), Line({"x"})},
        "ShiftJis comma unclosed 1@2");
    row("empty file", QByteArray(), {}, "ShiftJis comma");
    row("every line end", "a\r\nb\nc\rd", {Line({"a"}), Line({"b"}), Line({"c"}), Line({"d"})}, "ShiftJis comma");
    row("blank lines skipped, of every line end", "\r\na\r\n\r\n\n\rb\r\n\r\n",
        {Line({"a"}), Line({"b"})}, "ShiftJis comma blank 5");
    row("only blank lines", "\r\n\r\n", {}, "ShiftJis comma blank 2");
    row("lines of empty cells are lines", "a\r\n,\r\n\"\"\r\n \r\n\"\"",
        {Line({"a"}), Line({}), Line({}), Line({" "}), Line({})}, "ShiftJis comma");
    row("blank lines before the header", "\r\n\n" + (names + "\r\n\r\n1\r\n").toUtf8(), {Line({"1"})},
        "Utf8 comma header blank 3");
    row("blank lines of Unicode text", utf16(QStringLiteral("1\t2\r\n\r\n3\r\n")),
        {Line({"1", "2"}), Line({"3"})}, "Utf16LE TAB blank 1");
    row("numbered after blank lines", "\r\n1,\"a\nb\"\r\n\r\n2,x\x1A" "y\r\n",
        {Line({"1", "a b"}), Line({"2", "x\x81\xAC" "y"})}, "ShiftJis comma blank 2 flattened 1@1 substituted 1@2");
}

void tst_Import::importFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, facts);
    const QString path = dir.filePath("import.csv");
    QVERIFY(writeFile(path, content));
    ImportFacts got;
    got.substitutedCells = 99; // stale values must be replaced
    ReadFailure failure = ReadFailure::Cancelled;
    QCOMPARE(Import(path, &got, &failure), lines);
    QCOMPARE(failure, ReadFailure::None);
    QCOMPARE(Summary(got), facts);
}

void tst_Import::importFailures()
{
    ReadFailure failure = ReadFailure::None;
    QCOMPARE(Import(dir.filePath("nowhere.csv"), nullptr, &failure), QByteArrayList {"<failed>"});
    QCOMPARE(failure, ReadFailure::CannotOpen);
    QVERIFY(QDir(dir.path()).mkpath("folder.csv"));
    QCOMPARE(Import(dir.filePath("folder.csv"), nullptr, &failure), QByteArrayList {"<failed>"});
    QCOMPARE(failure, ReadFailure::NotRegularFile);

    const QString path = dir.filePath("big.csv");
    QVERIFY(writeFile(path, QByteArray("1,2,3\r\n").repeated(600000)));
    int calls = 0;
    QVERIFY(!ImportReportLines(path, {}, [&calls](std::uint64_t, std::uint64_t) { return ++calls < 2; }, &failure));
    QCOMPARE(failure, ReadFailure::Cancelled);
    QVERIFY(!ImportReportLines(
            path, [](const std::string_view *, std::size_t) { throw std::bad_alloc(); }, {}, &failure));
    QCOMPARE(failure, ReadFailure::OutOfMemory);
}

void tst_Import::importInBatches()
{
    // More lines than one hand-over holds; the progress climbs to the size.
    QByteArray content;
    for (int i = 0; i < 10000; ++i)
        content += "=\"" + QByteArray::number(i) + "\",x\r\n";
    const QString path = dir.filePath("batches.csv");
    QVERIFY(writeFile(path, content));
    QByteArrayList firsts;
    int calls = 0;
    std::uint64_t last = 0;
    bool rising = true;
    ReadFailure failure;
    QVERIFY(ImportReportLines(
            path,
            [&](const std::string_view *fields, std::size_t count) {
                ++calls;
                for (std::size_t line = 0; line < count; ++line)
                    firsts << QByteArray(fields[line * FieldCount].data(), qsizetype(fields[line * FieldCount].size()));
            },
            [&](std::uint64_t done, std::uint64_t size) {
                rising = rising && done >= last && done <= size;
                last = done;
                return true;
            },
            &failure));
    QVERIFY(calls >= 3);
    QVERIFY(rising);
    QCOMPARE(firsts.size(), qsizetype(10000));
    QCOMPARE(firsts[4095], QByteArray("4095"));
    QCOMPARE(firsts[4096], QByteArray("4096"));
    QCOMPARE(firsts.last(), QByteArray("9999"));
}

void tst_Import::readFactsOfReports_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("longLines");
    QTest::addColumn<int>("firstLong");
    QTest::addColumn<int>("bytesAfterMark");
    QTest::addColumn<QByteArray>("looks");

    const QByteArray twenty = QByteArray("\t").repeated(19);
    QByteArray big = "a\r\n\x1A";
    big += QByteArray(3 * 1024 * 1024, 'z');
    QTest::newRow("TAB ending a 19-field line") << QByteArray("a" + twenty + "\r\n") << 0 << 0 << 0 << QByteArray("Report");
    QTest::newRow("20th field filled") << QByteArray("1\r\na" + twenty + "x\r\n") << 1 << 2 << 0 << QByteArray("Report");
    QTest::newRow("two empty fields past the 19th") << QByteArray("a" + twenty + "\t\r\n") << 0 << 0 << 0 << QByteArray("Report");
    QTest::newRow("20th empty, 21st filled") << QByteArray("a" + twenty + "\tx\r\n") << 1 << 1 << 0 << QByteArray("Report");
    QTest::newRow("20th field only a CR") << QByteArray("a" + twenty + "\r\r\n") << 0 << 0 << 0 << QByteArray("Report");
    QTest::newRow("last line filled past the 19th") << QByteArray("a\r\nb" + twenty + "y") << 1 << 2 << 0 << QByteArray("Report");
    QTest::newRow("0x1A last") << QByteArray("a\r\n\x1A") << 0 << 0 << 0 << QByteArray("Report");
    QTest::newRow("0x1A, then 5 bytes") << QByteArray("a\tb\r\n\x1A" "c\r\nd\x1A") << 0 << 0 << 5 << QByteArray("Report");
    QTest::newRow("0x1A inside a long line") << QByteArray("a" + twenty + "\x1A" "x") << 0 << 0 << 1 << QByteArray("Report");
    QTest::newRow("0x1A far before the end") << big << 0 << 0 << int(big.size() - 4) << QByteArray("Report");
    QTest::newRow("UTF-8 file") << QStringLiteral("1\t曲\r\n").toUtf8() << 0 << 0 << 0 << QByteArray("Utf8");
    QTest::newRow("UTF-16 file") << utf16("1\t2\r\n", false) << 0 << 0 << 0 << QByteArray("Utf16Bom");
    QTest::newRow("CSV file") << QByteArray("1,2\r\n") << 0 << 0 << 0 << QByteArray("CommaSeparated");
}

void tst_Import::readFactsOfReports()
{
    QFETCH(QByteArray, content);
    QFETCH(int, longLines);
    QFETCH(int, firstLong);
    QFETCH(int, bytesAfterMark);
    QFETCH(QByteArray, looks);
    const QString path = dir.filePath("facts.dat");
    QVERIFY(writeFile(path, content));

    // Both readers of a report file.
    ReadFacts lineFacts;
    QVERIFY(ReadReportLines(path, {}, {}, nullptr, &lineFacts));
    qnVelTorData data;
    ReadFacts recordFacts;
    QVERIFY(ReadReportFile(path, &data, {}, &recordFacts));
    for (const ReadFacts &facts : {lineFacts, recordFacts}) {
        QCOMPARE(int(facts.longLines), longLines);
        QCOMPARE(int(facts.firstLongLine), firstLong);
        QCOMPARE(int(facts.bytesAfterEofMark), bytesAfterMark);
        QCOMPARE(LooksName(facts.looks), looks);
    }

    // The splitter fed in two chunks split anywhere, and the reader byte by
    // byte, count alike.
    if (content.size() > 4096)
        return;
    for (qsizetype split = 0; split <= content.size(); ++split) {
        // The second chunk is given even after the end: its bytes count.
        ReportLineSplitter splitter({});
        splitter.PutBytes(content.constData(), std::size_t(split));
        splitter.PutBytes(content.constData() + split, std::size_t(content.size() - split));
        QVERIFY(splitter.Finish());
        QCOMPARE(int(splitter.LongLines()), longLines);
        QCOMPARE(int(splitter.BytesAfterEnd()), bytesAfterMark);
    }
    qnVelTorData bytewise;
    qnVelTorFileReader reader(&bytewise, QString());
    for (const char c : content.left(content.indexOf('\x1A') < 0 ? content.size() : content.indexOf('\x1A'))) {
        if (c != '\r')
            reader.PutChar(static_cast<unsigned char>(c));
    }
    reader.PutChar(-1);
    QCOMPARE(int(reader.Facts().longLines), longLines);
}

void tst_Import::partsEqualWholeText_data()
{
    QTest::addColumn<QByteArray>("content");

    const QByteArray header = SpreadsheetCell::FieldNames().join(u',').toUtf8() + "\r\n";
    const QByteArray bom = "\xEF\xBB\xBF";
    QByteArray lines;
    for (int i = 0; i < 12; ++i)
        lines += QStringLiteral("=\"%1\",,=\"000\",曲%1,\"a,b\",\"say \"\"hi\"\"\"\r\n").arg(i).toUtf8();
    QByteArray quotedBreaks;
    for (int i = 0; i < 12; ++i)
        quotedBreaks += QStringLiteral("%1,\"歌\r\nの\n行\",x\r\n").arg(i).toUtf8();
    QByteArrayList report;
    for (int i = 0; i < 12; ++i)
        report << Line({QByteArray::number(i), "", "000", "", "", "", "12345678", sjis(QStringLiteral("夜明けの歌")),
                        "a,b", "say \"hi\"", "=\"x\"", "1,000", "", sjis(QStringLiteral("ｻｸﾗ"))});
    const auto row = [](const char *name, const QByteArray &content) { QTest::newRow(name) << content; };
    row("an export", Export(report));
    row("UTF-8 with a header", bom + header + lines);
    row("UTF-8 without a mark", lines + lines);
    row("Shift-JIS", sjis(QString::fromUtf8(lines + lines)));
    row("quoted line breaks on every line", bom + quotedBreaks);
    row("blank lines, then the header past the middle",
        bom + QByteArray("\r\n").repeated(40) + header + lines.left(200));
    row("blank lines on both sides", "\r\n\n" + lines + "\r\n\r\n\n" + lines + "\n\r\n");
    row("a quote never closed in the first half", lines + "\"open,1\r\n2\r\n" + lines);
    row("a quote never closed in the second half", lines + lines + "x,\"open\r\n2,3\r\n");
    row("quotes that quote nothing", QByteArray("ab\"c,d\r\n\"x\" y,\"z\r\n").repeated(20));
    row("TAB-separated", bom + QStringLiteral("1\t\"a\tb\"\t曲\r\n2\t\"c\nd\"\t\r\n").toUtf8().repeated(15));
    row("TABs in cells of a CSV", QByteArray("a\tb,\"c\td\"x,e\r\n").repeated(20));
    row("lone CRs and LFs", QByteArray("a,b\rc,\"d\re\"\nf\r\n").repeated(20));
    row("characters Shift-JIS lacks and look-alikes",
        bom + QStringLiteral("Café,\U0001F3B5,〜−—,\x1A,＝１\r\n").toUtf8().repeated(15));
    row("bytes of no encoding", QByteArray("a,\xFF\x82,\"\x82\",b\x80\r\n").repeated(20));
    row("a first row of 19 cells, one with a bad byte", "\xFF" + QByteArray(18, ',') + "\r\n" + lines);
    row("long lines, bad bytes past the 19th cell", (QByteArray(20, ',') + "\xFF,x\r\n1\r\n").repeated(15));
    row("0x1A at the end", lines + lines + "\x1A");
    row("no line end at the end", lines + "last,\"cell");
    // The text's characters end at the closing quote: stray text after it
    // never completes one begun before it.
    row("Shift-JIS lead byte, then stray text", QByteArray("a,\"x,\x93\"\xE3\x80@,b\r\n").repeated(20));
    row("UTF-8 cut, then stray text", bom + QByteArray("a,\"x\ny\xE3\x81\"\x82z,b\r\n").repeated(20));
}

// Before, an import decoded the whole file and read its text on one
// thread. Read as bytes, in one part or in two at every cut, with chunk
// borders anywhere, it gives the same lines, facts and failures.
void tst_Import::partsEqualWholeText()
{
    QFETCH(QByteArray, content);
    const QString path = dir.filePath("parts.csv");
    QVERIFY(writeFile(path, content));
    const Reading expected = ReadWholeText(content);
    for (const std::size_t chunk : {std::size_t(1) << 20, std::size_t(1), std::size_t(3), std::size_t(8), std::size_t(61)})
        QCOMPARE(ReadInParts(path, 1, 0, chunk).text, expected.text);
    bool cut = false;
    for (qsizetype at = 1; at < content.size(); ++at) {
        const Reading got = ReadInParts(path, 2, std::uint64_t(at), at % 3 ? 1 << 20 : 5);
        if (got.text != expected.text)
            QFAIL(qPrintable(QStringLiteral("cut near %1:\n%2\nexpected\n%3").arg(at).arg(got.text, expected.text)));
        cut = cut || got.kept == 2;
    }
    QVERIFY2(cut, "no cut left two parts of lines");
}

void tst_Import::randomFilesInParts()
{
    std::mt19937 random(20260512);
    const QString path = dir.filePath("random.csv");
    for (int round = 0; round < 400; ++round) {
        const QByteArray content = RandomDelimitedFile(random);
        QVERIFY(writeFile(path, content));
        const Reading expected = ReadWholeText(content);
        const std::size_t chunk = 1 + random() % 40;
        QCOMPARE(ReadInParts(path, 1, 0, chunk).text, expected.text);
        // Every line end is a cut the reader may choose.
        for (qsizetype at = content.indexOf('\n'); at >= 0; at = content.indexOf('\n', at + 1)) {
            const Reading got = ReadInParts(path, 2, std::uint64_t(at), chunk);
            if (got.text != expected.text)
                QFAIL(qPrintable(QStringLiteral("round %1, cut after %2:\n%3\nexpected\n%4")
                                         .arg(round).arg(at).arg(got.text, expected.text)));
        }
    }
}

void tst_Import::cutOutsideQuotes_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kept");
    QTest::newRow("quoted line breaks") << QByteArray() << QByteArray("1,\"a\r\nb\",\"c\"\"\n\"\r\n") << 2;
    QTest::newRow("the text form") << QByteArray() << QByteArray("=\"1\",=\"000\",\"=\"\"1,000\"\"\"\r\n") << 2;
    QTest::newRow("quotes in unquoted cells") << QByteArray() << QByteArray("ab\"c,d\r\n") << 2;
    // A quote that quotes nothing, before lines of quoted line breaks:
    // the count puts every line end inside quotes and every quoted one
    // outside. The second part is read, then dropped; the lines are right.
    QTest::newRow("a quote that misleads the count") << QByteArray("x\"y\r\n") << QByteArray("\"c\r\nd\",e\r\n") << 1;
}

// By size alone the cut goes near the middle, to a line end that the
// count of quotes before it puts outside quotes.
void tst_Import::cutOutsideQuotes()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, line);
    QFETCH(int, kept);
    const QByteArray content = "\xEF\xBB\xBF" + head + line.repeated(4001);
    const QString path = dir.filePath("quotes.csv");
    QVERIFY(writeFile(path, content));
    const Reading got = ReadInParts(path, 2, 0, 4096, 1024);
    QCOMPARE(got.text, ReadWholeText(content).text);
    QCOMPARE(int(got.kept), kept);
    // Reads that give fewer bytes than asked are read on.
    const ScopedFileSystemCalls shortReads(FailingPread::Calls());
    FailingPread::most = 3;
    const Reading few = ReadInParts(path, 2, 0, 4096, 1024);
    FailingPread::most = 0;
    QCOMPARE(few.text, got.text);
    QCOMPARE(few.kept, got.kept);
}

namespace {

// An export of a few megabytes, which the import reads in two parts.
QByteArray LargeCsv()
{
    QByteArrayList report;
    for (int line = 1; report.size() < 30000; ++line) {
        report << Line({QByteArray::number(line), "", "000", "", "", "", "12345678",
                        sjis(QStringLiteral("夜明けの歌 その%1").arg(line)), "a,b", "say \"hi\""});
    }
    return Export(report);
}

} // namespace

void tst_Import::progressAndCancelInParts()
{
    // The progress rises to the size over both parts. Stopped at any of
    // its calls, the reading fails as cancelled and asks no more.
    const QByteArray content = LargeCsv();
    QVERIFY(content.size() > 2 << 20);
    const QString path = dir.filePath("progress.csv");
    QVERIFY(writeFile(path, content));
    QList<std::uint64_t> done;
    CsvPartsReader whole({{}, {}});
    QVERIFY(whole.Read(path, [&](std::uint64_t bytes, std::uint64_t size) {
        done << bytes;
        return size == std::uint64_t(content.size());
    }));
    QCOMPARE(whole.KeptParts(), std::size_t(2));
    QCOMPARE(whole.Facts().lines, std::uint64_t(30000));
    QVERIFY(done.size() >= 3);
    QVERIFY(std::is_sorted(done.begin(), done.end()));
    QCOMPARE(done.last(), std::uint64_t(content.size()));
    // The calls the second part's progress makes depend on the pace of
    // the threads: a reading may end before a late call.
    for (int stop = 1; stop <= done.size(); ++stop) {
        int calls = 0;
        CsvPartsReader reader({{}, {}});
        const bool read = reader.Read(path, [&](std::uint64_t, std::uint64_t) { return ++calls < stop; });
        QCOMPARE(read, calls < stop);
        QCOMPARE(reader.Failure(), read ? ReadFailure::None : ReadFailure::Cancelled);
        QVERIFY(calls <= stop);
    }
}

void tst_Import::cancelStopsTheSecondPart()
{
    const QString path = dir.filePath("cancel.csv");
    QVERIFY(writeFile(path, LargeCsv()));
    // The second part waits in its first take until the first progress
    // call has said stop: it reads on to the next of its chunks, not to its
    // end. The calling thread tells it after the call returns; on a loaded
    // machine that may take a while, which later takes wait out.
    std::uint64_t half = 0;
    CsvPartsReader whole({{}, [&half](const std::string_view *, std::size_t count) { half += count; }});
    whole.chunkSize = 64 << 10;
    QVERIFY(whole.Read(path) && whole.KeptParts() == 2);
    std::mutex mutex;
    std::condition_variable changed;
    bool waiting = false;
    bool cancelled = false;
    std::uint64_t secondLines = 0;
    CsvPartsReader reader({{}, [&](const std::string_view *, std::size_t count) {
                               std::unique_lock<std::mutex> lock(mutex);
                               secondLines += count;
                               if (cancelled) {
                                   lock.unlock();
                                   std::this_thread::sleep_for(std::chrono::milliseconds(250));
                                   return;
                               }
                               waiting = true;
                               changed.notify_all();
                               changed.wait(lock, [&] { return cancelled; });
                           }});
    reader.chunkSize = 64 << 10;
    QVERIFY(!reader.Read(path, [&](std::uint64_t, std::uint64_t) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return waiting; });
        cancelled = true;
        changed.notify_all();
        return false;
    }));
    QCOMPARE(reader.Failure(), ReadFailure::Cancelled);
    QVERIFY(secondLines > 0);
    QVERIFY(secondLines < half);
}

void tst_Import::failureInEitherPart_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("failure");
    QTest::newRow("out of memory in the first part") << "memory" << 0 << int(ReadFailure::OutOfMemory);
    QTest::newRow("out of memory in the second part") << "memory" << 1 << int(ReadFailure::OutOfMemory);
    QTest::newRow("read error in the first part") << "read" << 0 << int(ReadFailure::ReadError);
    QTest::newRow("read error in the second part") << "read" << 1 << int(ReadFailure::ReadError);
    // Never tried again: a file that does not show its first bytes is not
    // told by later ones.
    QTest::newRow("read error once, at the first byte") << "read" << -1 << int(ReadFailure::ReadError);
    QTest::newRow("too many lines over both parts") << "lines" << 1 << int(ReadFailure::TooManyLines);
}

// Whichever part meets it, a failure fails the reading as one reading of
// the file would, and the other part stops.
void tst_Import::failureInEitherPart()
{
    QFETCH(QString, what);
    QFETCH(int, part);
    QFETCH(int, failure);
    const QByteArray content = LargeCsv();
    const QString path = dir.filePath("failure.csv");
    QVERIFY(writeFile(path, content));
    std::vector<TakeLines> takes(2);
    if (what == "memory")
        takes[std::size_t(part)] = [](const std::string_view *, std::size_t) { throw std::bad_alloc(); };
    CsvPartsReader reader(std::move(takes));
    if (what == "lines")
        reader.maxLines = 29999;
    bool read = false;
    {
        const ScopedFileSystemCalls failing(FailingPread::Calls());
        FailingPread::at = what != "read" ? -1 : part < 0 ? 0 : content.size() / 4 + part * content.size() / 2;
        FailingPread::once = part < 0;
        read = reader.Read(path);
        FailingPread::at = -1;
        FailingPread::once = false;
    }
    QVERIFY(!read);
    QCOMPARE(int(reader.Failure()), failure);
    if (part >= 0)
        QCOMPARE(reader.Parts(), std::size_t(2));
}

QTEST_APPLESS_MAIN(tst_Import)
#include "tst_import.moc"
