#include "CheckCommand.h"
#include "CheckOutput.h"
#include "ReportCheck.h"
#include "ShiftJis.h"
#include "qnVelTorHeaderRules.h"

#include "PlainUser.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

using namespace TestSupport;

namespace {

// Shift-JIS bytes used below.
const QByteArray kanji = "\x8A\xBF"; // 漢
const QByteArray notShiftJis = "\x80";

const QString tooLong10 = QStringLiteral("文字数は10文字（漢字は5）までです。");
const QString tooLong9 = QStringLiteral("文字数は9文字（漢字は4）までです。");
const QString fullWidth = QStringLiteral("全角文字（漢字等）を含んではいけません。");

// A line every field of which is valid.
QByteArray goodLine(int serial)
{
    return fileLine(QByteArrayList {QByteArray::number(serial), "", "000", "", "000", "", "12345678",
                                    "\x83\x65\x83\x58\x83\x67", "", "", "", "", "", "", "0", "V", "1", "", "0"});
}

// A line whose fields hold the values given, the others valid.
QByteArray lineWith(std::initializer_list<std::pair<int, QByteArray>> values)
{
    QByteArray good = goodLine(1);
    good.chop(2);
    QByteArrayList fields = good.split('\t');
    for (const auto &[field, value] : values)
        fields[field] = value;
    return fields.join('\t') + "\r\n";
}

QByteArray lineWith(int field, const QByteArray &value)
{
    return lineWith({{field, value}});
}

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The check in this process, its output to `device` when one is given.
Run runCheck(const QStringList &arguments, QIODevice *device = nullptr)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Run run;
    run.status = RunReportCheck(arguments, device ? *device : out, err);
    run.out = out.data();
    run.err = err.data();
    return run;
}

// The expected lines, "%F" standing for the file as given, one line each.
QByteArray expectedOutput(const QStringList &lines, const QString &file)
{
    QByteArray text;
    for (const QString &row : lines)
        text += QString(row).replace(QStringLiteral("%F"), file).toUtf8() + '\n';
    return text;
}

QString summary(int lines, int cells, int cellLines, int names = 0, int format = 0)
{
    return QStringLiteral("%F: %1行、エラーのセル%2個（%3行）、ファイル名の問題%4件、形式の問題%5件")
            .arg(lines)
            .arg(cells)
            .arg(cellLines)
            .arg(names)
            .arg(format);
}

// A device that takes `room` bytes and then fails, and at most `perCall`
// bytes a call.
class NarrowDevice : public QIODevice
{
public:
    NarrowDevice(qint64 room, qint64 perCall) : room(room), perCall(perCall) { open(QIODevice::WriteOnly); }

    QByteArray taken;
    int calls = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        ++calls;
        if (room == 0)
            return -1;
        const qint64 n = std::min({size, room, perCall});
        taken.append(data, n);
        room -= n;
        return n;
    }

private:
    qint64 room;
    qint64 perCall;
};

} // namespace

class tst_Check : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void headerValue_data();
    void headerValue();
    void cells_data();
    void cells();
    void format_data();
    void format();
    void notes_data();
    void notes();
    void escapedNames_data();
    void escapedNames();
    void headerFromFileName_data();
    void headerFromFileName();
    void unreadable_data();
    void unreadable();
    void noRightToRead();
    void severalFiles_data();
    void severalFiles();
    void sjisOutput();
    void arguments_data();
    void arguments();
    void isCheckCommand_data();
    void isCheckCommand();
    void failedOutputIsNoSuccess_data();
    void failedOutputIsNoSuccess();
    void stopsReadingWhenOutputFails();
    void shortWritesAreContinued();
    void programNeedsNoDisplay();

private:
    // The check of the row's content: its output and exit status.
    void checkRow();

    QTemporaryDir dir;
    // A name whose header values are valid.
    QString reportPath() const { return dir.filePath(QStringLiteral("1234567890202401ABC.dat")); }
};

void tst_Check::initTestCase()
{
    QVERIFY(dir.isValid());
}

void tst_Check::headerValue_data()
{
    QTest::addColumn<bool>("yearMonth"); // the report's year-month, else its licence number
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("message"); // empty when valid

    const auto number = [](const char *name, const QByteArray &value, const QString &message) {
        QTest::addRow("number, %s", name) << false << value << message;
    };
    const QString rule = QStringLiteral("許諾番号は英数字10桁、または数字16桁です（%1桁あります）。");
    const QString characters = QStringLiteral("許諾番号に使えるのは半角の英字と数字だけです。");
    number("10 digits", "1234567890", QString());
    number("10 letters and digits", "AB12cd34EZ", QString());
    number("16 digits", "1234567890123456", QString());
    number("15 digits", "123456789012345", rule.arg(15));
    number("17 digits", "12345678901234567", rule.arg(17));
    number("9 digits", "123456789", rule.arg(9));
    number("11 letters and digits", "ABCDE123456", rule.arg(11));
    number("16 with a letter", "123456789012345A", QStringLiteral("16桁の許諾番号は数字だけです。"));
    number("empty", QByteArray(), QStringLiteral("許諾番号がありません。英数字10桁、または数字16桁です。"));
    // Ten bytes, as many as a valid number has.
    number("full-width digits", "\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54", characters);
    number("half-width katakana", QByteArray(10, '\xB1'), characters);
    number("hyphen", "12345-7890", characters);
    number("space", "123456789 ", characters);
    number("NUL", QByteArray("123456789\0", 10), characters);

    const auto yearMonth = [](const char *name, const QByteArray &value, const QString &message) {
        QTest::addRow("year-month, %s", name) << true << value << message;
    };
    const QString length = QStringLiteral("報告年月はYYYYMM（月は01～12）の6桁です（%1桁あります）。");
    const QString month = QStringLiteral("報告年月の月は01～12です（%1になっています）。");
    const QString digits = QStringLiteral("報告年月に使えるのは半角の数字だけです。");
    yearMonth("January", "202401", QString());
    yearMonth("December", "202412", QString());
    yearMonth("any year", "000010", QString());
    yearMonth("month 00", "202400", month.arg("00"));
    yearMonth("month 13", "202413", month.arg(13));
    yearMonth("month 99", "202499", month.arg(99));
    yearMonth("5 characters", "20241", length.arg(5));
    yearMonth("7 characters", "2024011", length.arg(7));
    yearMonth("empty", QByteArray(), QStringLiteral("報告年月がありません。YYYYMM（月は01～12）の6桁です。"));
    yearMonth("full-width digits", "\x82\x51\x82\x4F\x82\x51", digits);
    yearMonth("letter", "2024A1", digits);
    yearMonth("slash", "2024/1", digits);
}

void tst_Check::headerValue()
{
    QFETCH(bool, yearMonth);
    QFETCH(QByteArray, value);
    QFETCH(QString, message);
    // A message is appended to what the caller has, and only when invalid.
    std::string text = "before";
    const auto validate = yearMonth ? ValidateHoukokuNengappi : ValidateSyoudakuBangou;
    QCOMPARE(validate(value.toStdString(), text), message.isEmpty());
    QCOMPARE(ShiftJis::ToText(text), QStringLiteral("before") + message);
}

void tst_Check::cells_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("status");

    QTest::newRow("clean") << goodLine(1) + goodLine(2) + goodLine(3) << QStringList {summary(3, 0, 0)} << 0;
    QTest::newRow("empty file") << QByteArray() << QStringList {summary(0, 0, 0)} << 0;
    QTest::newRow("a work code one byte too long")
            << goodLine(1) + lineWith(6, "12345678901") + goodLine(3)
            << QStringList {"%F:2:JASRAC作品ｺｰﾄﾞ: " + tooLong10, summary(3, 1, 1)} << 1;
    QTest::newRow("a work code of exactly its length")
            << lineWith(6, "1234567890") << QStringList {summary(1, 0, 0)} << 0;
    QTest::newRow("full-width in a half-width field")
            << lineWith(14, kanji) << QStringList {"%F:1:情報料（税抜）: " + fullWidth, summary(1, 1, 1)} << 1;
    QTest::newRow("first and last field, in field order")
            << lineWith(18, "1234567890") + lineWith(0, QByteArray(31, '1'))
            << QStringList {"%F:1:リクエスト回数: " + tooLong9,
                            "%F:2:ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ: 文字数は30文字（漢字は15）までです。",
                            summary(2, 2, 2)}
            << 1;
    QByteArray twoOnOne = lineWith(6, kanji);
    twoOnOne.replace("\t0\tV\t", "\t" + kanji + "\tV\t");
    QTest::newRow("two cells on one line, one on another")
            << twoOnOne + goodLine(2) + lineWith(18, kanji)
            << QStringList {"%F:1:JASRAC作品ｺｰﾄﾞ: " + fullWidth, "%F:1:情報料（税抜）: " + fullWidth,
                            "%F:3:リクエスト回数: " + fullWidth, summary(3, 3, 2)}
            << 1;
    // The message of a field is remembered once made; each cell must still
    // get its own.
    QTest::newRow("one field, two kinds of message in turn")
            << lineWith(6, "12345678901") + lineWith(6, kanji) + lineWith(6, "123456789012")
            << QStringList {"%F:1:JASRAC作品ｺｰﾄﾞ: " + tooLong10, "%F:2:JASRAC作品ｺｰﾄﾞ: " + fullWidth,
                            "%F:3:JASRAC作品ｺｰﾄﾞ: " + tooLong10, summary(3, 3, 3)}
            << 1;
    QTest::newRow("a last line without its line end")
            << goodLine(1) + lineWith(6, "12345678901").chopped(2)
            << QStringList {"%F:2:JASRAC作品ｺｰﾄﾞ: " + tooLong10,
                            QStringLiteral("%F:2: 最後の行（2行目）の終わりに改行（CR LF）がありません。"),
                            summary(2, 1, 1, 0, 1)}
            << 1;
    QTest::newRow("a blank line counts as a line")
            << goodLine(1) + "\r\n" + lineWith(6, "12345678901")
            << QStringList {"%F:3:JASRAC作品ｺｰﾄﾞ: " + tooLong10, QStringLiteral("%F:2: 空行が1行あります（最初は2行目）。"),
                            summary(3, 1, 1, 0, 1)}
            << 1;
    QTest::newRow("a title of 60 bytes of kanji, and of 61")
            << lineWith(7, kanji.repeated(30)) + lineWith(7, kanji.repeated(30) + "x")
            << QStringList {"%F:2:原題名: 文字数は60文字（漢字は30）までです。", summary(2, 1, 1)} << 1;

    // Lines 2 and 4 have 20 fields, line 3 a byte that is not Shift-JIS in
    // a title (which may hold any character, so the cell itself is valid),
    // line 5 one in a work code (an invalid cell as well).
    const QByteArray longLine = goodLine(2).chopped(2) + "\textra\r\n";
    QTest::newRow("format problems counted, after the cells, at their first line")
            << goodLine(1) + longLine + lineWith(7, "ab" + notShiftJis) + longLine + lineWith(6, "1" + notShiftJis)
            << QStringList {"%F:5:JASRAC作品ｺｰﾄﾞ: " + fullWidth,
                            QStringLiteral("%F:2: 項目が19個より多い行が2行あります（最初は2行目）。"),
                            QStringLiteral("%F:3: NULバイトまたはShift_JISでないバイトを含む行が2行あります（最初は3行目）。"),
                            summary(5, 1, 1, 0, 2)}
            << 1;
    QTest::newRow("a line of 20 fields alone is a problem")
            << goodLine(1) + longLine
            << QStringList {QStringLiteral("%F:2: 項目が19個より多い行が1行あります（最初は2行目）。"), summary(2, 0, 0, 0, 1)}
            << 1;

    // The reader hands the lines over a few thousand at a time and reads the
    // file a megabyte at a time; the numbers must run on across both.
    QByteArray large;
    QStringList atLarge;
    for (int n = 1; n <= 20000; ++n) {
        const bool invalid = n == 4096 || n == 4097 || n == 19999;
        large += invalid ? lineWith(18, "1234567890") : lineWith(7, QByteArray(60, 'A'));
        if (invalid)
            atLarge << QStringLiteral("%F:%1:リクエスト回数: ").arg(n) + tooLong9;
    }
    QVERIFY(large.size() > (1 << 20));
    QTest::newRow("line numbers run on across batches and reads")
            << large << atLarge + QStringList {summary(20000, 3, 3)} << 1;
}

void tst_Check::cells()
{
    checkRow();
}

void tst_Check::checkRow()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QFETCH(int, status);
    const QString path = reportPath();
    QVERIFY(writeFile(path, content));
    const Run run = runCheck({"--check", path});
    QCOMPARE(QString::fromUtf8(run.out), QString::fromUtf8(expectedOutput(expected, path)));
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, status);
}

void tst_Check::format_data()
{
    // What a save would write otherwise than the file has it, and what the
    // file looks like instead of a report: each kind at its first line.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("status");

    const auto lf = [](const QByteArray &line) { return line.chopped(2) + "\n"; };
    const auto row = [](const char *name, const QByteArray &content, int lines, QStringList problems) {
        const int count = int(problems.size());
        QTest::newRow(name) << content << (problems << summary(lines, 0, 0, 0, count)) << (count ? 1 : 0);
    };
    row("CR LF lines", goodLine(1) + goodLine(2), 2, {});
    row("LF only", lf(goodLine(1)) + lf(goodLine(2)) + lf(goodLine(3)), 3,
        {QStringLiteral("%F:1: 改行がすべてLFだけで、CR LFではありません（3行）。")});
    row("CR LF and LF mixed", goodLine(1) + lf(goodLine(2)) + goodLine(3) + lf(goodLine(4)), 4,
        {QStringLiteral("%F:2: 改行がCR LFの行とLFだけの行が混ざっています。LFだけの行が2行あります（最初は2行目）。")});
    row("no final CR LF", goodLine(1) + goodLine(2).chopped(2), 2,
        {QStringLiteral("%F:2: 最後の行（2行目）の終わりに改行（CR LF）がありません。")});
    row("LF only, no final line end", lf(goodLine(1)) + goodLine(2).chopped(2), 2,
        {QStringLiteral("%F:1: 改行がすべてLFだけで、CR LFではありません（1行）。"),
         QStringLiteral("%F:2: 最後の行（2行目）の終わりに改行（CR LF）がありません。")});
    row("a line of 5 fields", goodLine(1) + "1\t\t000\t\t000\r\n" + goodLine(3), 3,
        {QStringLiteral("%F:2: 項目が19個より少ない行が1行あります（最初は2行目）。")});
    row("a TAB too many", goodLine(1) + goodLine(2).chopped(2) + "\t\r\n", 2,
        {QStringLiteral("%F:2: 19個目の項目の後ろに余分なタブだけがある行が1行あります（最初は2行目）。")});
    row("a value past the 19th field", goodLine(1) + goodLine(2).chopped(2) + "\tlost\r\n", 2,
        {QStringLiteral("%F:2: 項目が19個より多い行が1行あります（最初は2行目）。")});
    row("blank lines", goodLine(1) + "\r\n" + goodLine(3) + "\r\n", 4,
        {QStringLiteral("%F:2: 空行が2行あります（最初は2行目）。")});
    QByteArray loneCr = goodLine(3);
    loneCr.insert(loneCr.indexOf('\t', 3) + 1, "0\r");
    row("a CR alone", goodLine(1) + goodLine(2) + loneCr, 3,
        {QStringLiteral("%F:3: 後ろにLFのないCRを含む行が1行あります（最初は3行目）。")});
    row("CR CR LF", goodLine(1) + goodLine(2).chopped(2) + "\r\r\n", 2,
        {QStringLiteral("%F:2: 後ろにLFのないCRを含む行が1行あります（最初は2行目）。")});
    row("bytes after a 0x1A", goodLine(1) + "\x1A" + goodLine(2), 1,
        {QStringLiteral("%F: ファイル終端記号（0x1A）より後に%1バイトあります。").arg(goodLine(2).size())});
    row("a 0x1A at the end", goodLine(1) + "\x1A", 1, {QStringLiteral("%F: 最後にファイル終端記号（0x1A）があります。")});
    row("looks like CSV", "1,,000,,000\r\n2,,000,,000\r\n", 2,
        {QStringLiteral("%F: カンマ区切り（CSV）のファイルのようです。報告ファイルはタブ区切りです。"),
         QStringLiteral("%F:1: 項目が19個より少ない行が2行あります（最初は1行目）。")});
    const QByteArray utf8 = lineWith(7, QStringLiteral("夜明けの街").toUtf8());
    row("looks like UTF-8", utf8 + utf8, 2,
        {QStringLiteral("%F: 文字コードがUTF-8のファイルのようです。報告ファイルはShift_JISです。"),
         QStringLiteral("%F:1: NULバイトまたはShift_JISでないバイトを含む行が2行あります（最初は1行目）。")});
    QTest::newRow("looks like UTF-8 with a BOM")
            << "\xEF\xBB\xBF" + goodLine(1)
            << QStringList {"%F:1:ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ: " + fullWidth,
                            QStringLiteral("%F: 文字コードがUTF-8のファイルのようです。報告ファイルはShift_JISです。"),
                            summary(1, 1, 1, 0, 1)}
            << 1;

    // A spreadsheet's "Unicode text": NULs after every ASCII byte, the CR of
    // each line end alone, the LF after a NUL.
    QTest::newRow("looks like UTF-16")
            << TestSupport::utf16(QStringLiteral("1\t2\r\n"))
            << QStringList {"%F:1:ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ: " + fullWidth,
                            QStringLiteral("%F:1:ｺﾝﾃﾝﾂ区分: 文字数は1文字（漢字は0）までです。"),
                            QStringLiteral("%F: 文字コードがUTF-16のファイルのようです。報告ファイルはShift_JISです。"),
                            QStringLiteral("%F:1: 改行がすべてLFだけで、CR LFではありません（1行）。"),
                            QStringLiteral("%F:1: 後ろにLFのないCRを含む行が1行あります（最初は1行目）。"),
                            QStringLiteral("%F:2: 最後の行（2行目）の終わりに改行（CR LF）がありません。"),
                            QStringLiteral("%F:1: 項目が19個より少ない行が2行あります（最初は1行目）。"),
                            QStringLiteral("%F:1: NULバイトまたはShift_JISでないバイトを含む行が2行あります（最初は1行目）。"),
                            summary(2, 2, 1, 0, 6)}
            << 1;

    // One line of 20 MB, which the check never holds: a title of millions
    // of bytes with a CR alone and a byte that is not Shift-JIS deep inside,
    // the fields after it still in their places, and the lines after it
    // numbered on.
    QByteArray title(20 << 20, 'A');
    title[7 << 20] = '\r';
    title[15 << 20] = '\x80';
    QByteArray huge = lineWith({{7, title}, {14, kanji}});
    huge.insert(huge.size() - 2, "\tlost");
    QTest::newRow("a line of 20 MB")
            << huge + goodLine(2) + lineWith(18, "1234567890")
            << QStringList {"%F:1:原題名: 文字数は60文字（漢字は30）までです。", "%F:1:情報料（税抜）: " + fullWidth,
                            "%F:3:リクエスト回数: " + tooLong9,
                            QStringLiteral("%F:1: 後ろにLFのないCRを含む行が1行あります（最初は1行目）。"),
                            QStringLiteral("%F:1: 項目が19個より多い行が1行あります（最初は1行目）。"),
                            QStringLiteral("%F:1: NULバイトまたはShift_JISでないバイトを含む行が1行あります（最初は1行目）。"),
                            summary(3, 3, 2, 0, 3)}
            << 1;
}

void tst_Check::format()
{
    checkRow();
}

void tst_Check::notes_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("status");

    const QStringList notes {"--notes"};
    const QStringList strict {"--strict"};
    const auto noted = [](int lines, int count, int cells = 0, int cellLines = 0) {
        return summary(lines, cells, cellLines) + QStringLiteral("、注意%1件").arg(count);
    };
    const QString category = QStringLiteral("%F:1:ｺﾝﾃﾝﾂ区分: 注意: ［コンテンツ区分］は空欄か「Q」です。");
    const QString ivt = QStringLiteral("%F:1:ＩＶＴ区分: 注意: ［ＩＶＴ区分］は「I」「V」「T」のどれかです。");
    const QByteArray twoNotes = lineWith({{1, "X"}, {15, "A"}});

    QTest::newRow("clean, with notes") << goodLine(1) + goodLine(2) << notes << QStringList {noted(2, 0)} << 0;
    QTest::newRow("clean, strict") << goodLine(1) + goodLine(2) << strict << QStringList {noted(2, 0)} << 0;
    QTest::newRow("notes unasked for") << twoNotes << QStringList() << QStringList {summary(1, 0, 0)} << 0;
    QTest::newRow("notes in field order") << twoNotes << notes << QStringList {category, ivt, noted(1, 2)} << 0;
    QTest::newRow("notes, strict") << twoNotes << strict << QStringList {category, ivt, noted(1, 2)} << 1;
    QTest::newRow("an error between notes")
            << lineWith({{1, "X"}, {2, "0000"}, {15, "A"}}) << notes
            << QStringList {category, QStringLiteral("%F:1:ｺﾝﾃﾝﾂ枝番: 文字数は3文字（漢字は1）までです。"), ivt, noted(1, 2, 1, 1)}
            << 1;
    QTest::newRow("an invalid cell earns its error alone")
            << lineWith(15, "IV") << notes
            << QStringList {QStringLiteral("%F:1:ＩＶＴ区分: 文字数は1文字（漢字は0）までです。"), noted(1, 0, 1, 1)} << 1;
    QTest::newRow("a key code again, leading zeros aside")
            << goodLine(1) + goodLine(2) + lineWith(0, "002") + goodLine(3)
            << notes
            << QStringList {QStringLiteral("%F:3:ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ: 注意: ［インターフェイスキーコード］と同じ番号が、これより前の行にもあります。"),
                            noted(4, 1)}
            << 0;
    QTest::newRow("a line of empty fields")
            << goodLine(1) + QByteArray(18, '\t') + "\r\n" << notes
            << QStringList {QStringLiteral("%F:2: 注意: すべての項目が空欄の行です。"), noted(2, 1)} << 0;
}

void tst_Check::notes()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);
    QFETCH(int, status);
    const QString path = reportPath();
    QVERIFY(writeFile(path, content));
    const Run run = runCheck(QStringList {"--check"} + options + QStringList {path});
    QCOMPARE(QString::fromUtf8(run.out), QString::fromUtf8(expectedOutput(expected, path)));
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, status);
}

void tst_Check::escapedNames_data()
{
    // A folder or file name with control characters, as the system allows
    // them, and how the output shows it.
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown"); // the path below the test's folder
    QTest::addColumn<QStringList>("expected"); // "%F" the whole path as shown

    const QString name = QStringLiteral("1234567890202401ABC.dat");
    const QStringList clean {summary(1, 0, 0)};
    QTest::newRow("line break") << QStringLiteral("a\nb") << name << QStringLiteral("a\\nb/") + name << clean;
    QTest::newRow("TAB and CR") << QStringLiteral("\t\r") << name << QStringLiteral("\\t\\r/") + name << clean;
    QTest::newRow("ESC, DEL and a C1 control")
            << QStringLiteral("\x1b[31m\x7f\u0085") << name << QStringLiteral("\\x1b[31m\\x7f\\x85/") + name << clean;
    QTest::newRow("a backslash") << QStringLiteral("a\\nb") << name << QStringLiteral("a\\\\nb/") + name << clean;
    QTest::newRow("a line forged in the name")
            << QStringLiteral("x.dat:1:field: forged\nx") << name
            << QStringLiteral("x.dat:1:field: forged\\nx/") + name << clean;
    QTest::newRow("a header value from a name with a line break")
            << QString() << QStringLiteral("12345\n7890202401.dat") << QStringLiteral("12345\\n7890202401.dat")
            << QStringList {QStringLiteral("%F: 許諾番号「12345\\n7890」: 許諾番号に使えるのは半角の英字と数字だけです。"),
                            summary(1, 0, 0, 1)};
}

void tst_Check::escapedNames()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QStringList, expected);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(folder.isEmpty() || QDir(base.path()).mkpath(folder));
    const QString path = base.filePath(folder.isEmpty() ? name : folder + '/' + name);
    QVERIFY(writeFile(path, goodLine(1)));
    const QString shownPath = base.path() + '/' + shown;
    const Run run = runCheck({"--check", path});
    QCOMPARE(QString::fromUtf8(run.out), QString::fromUtf8(expectedOutput(expected, shownPath)));
    QCOMPARE(run.status, expected.size() > 1 ? 1 : 0);

    // Unreadable, the line names it the same way: one line.
    QVERIFY(QFile::remove(path));
    const Run missing = runCheck({"--check", path});
    QCOMPARE(QString::fromUtf8(missing.out), shownPath + QStringLiteral(": 読み込めません: ファイルが見つかりません。\n"));
}

void tst_Check::headerFromFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("10 digits and a year-month") << QStringLiteral("1234567890202401ABC.dat") << QStringList();
    QTest::newRow("10 letters and digits, no free string") << QStringLiteral("AB12CD34EF202412.dat")
                                                           << QStringList();
    QTest::newRow("16 digits and a year-month") << QStringLiteral("1234567890123456202401.dat") << QStringList();
    QTest::newRow("short name")
            << QStringLiteral("12345.dat")
            << QStringList {QStringLiteral("%F: 許諾番号「12345」: 許諾番号は英数字10桁、または数字16桁です（5桁あります）。"),
                            QStringLiteral("%F: 報告年月「」: 報告年月がありません。YYYYMM（月は01～12）の6桁です。")};
    QTest::newRow("month 13") << QStringLiteral("1234567890202413.dat")
                              << QStringList {QStringLiteral("%F: 報告年月「202413」: 報告年月の月は01～12です（13になっています）。")};
    QTest::newRow("5-character year-month")
            << QStringLiteral("123456789020241.dat")
            << QStringList {QStringLiteral("%F: 報告年月「20241」: 報告年月はYYYYMM（月は01～12）の6桁です（5桁あります）。")};
    QTest::newRow("full-width digits")
            << QStringLiteral("１２３４５６７８９０202401.dat")
            << QStringList {QStringLiteral("%F: 許諾番号「１２３４５」: 許諾番号に使えるのは半角の英字と数字だけです。"),
                            QStringLiteral("%F: 報告年月「６７８」: 報告年月に使えるのは半角の数字だけです。")};
}

void tst_Check::headerFromFileName()
{
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    const QString path = dir.filePath(name);
    QVERIFY(writeFile(path, goodLine(1)));
    const Run run = runCheck({"--check", path});
    QFile::remove(path);
    expected << summary(1, 0, 0, int(expected.size()));
    QCOMPARE(QString::fromUtf8(run.out), QString::fromUtf8(expectedOutput(expected, path)));
    QCOMPARE(run.status, expected.size() > 1 ? 1 : 0);
}

void tst_Check::unreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << QStringLiteral("9999999999202401.dat")
                                  << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("missing folder") << QStringLiteral("nowhere/1234567890202401.dat")
                                    << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("a file taken for a folder") << QStringLiteral("plain.dat/1234567890202401.dat")
                                               << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("a link to nowhere") << QStringLiteral("dangling.dat")
                                       << QStringLiteral("ファイルが見つかりません。");
    // Neither missing nor forbidden.
    QTest::newRow("a link to itself") << QStringLiteral("loop.dat") << QStringLiteral("ファイルを開けません。");
    QTest::newRow("folder") << QStringLiteral("folder.dat")
                            << QStringLiteral("通常のファイルではありません（フォルダー、パイプ、デバイスなど）。");
}

void tst_Check::unreadable()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("folder.dat")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain.dat")), goodLine(1)));
    for (const QString &link : {QStringLiteral("dangling.dat"), QStringLiteral("loop.dat")}) {
        if (!QFileInfo(dir.filePath(link)).isSymLink())
            QVERIFY(symlink(link == "loop.dat" ? "loop.dat" : "nowhere.dat", QFile::encodeName(dir.filePath(link))) == 0);
    }
    const QString path = dir.filePath(name);
    const Run run = runCheck({"--check", path});
    QCOMPARE(QString::fromUtf8(run.out), path + QStringLiteral(": 読み込めません: ") + reason + '\n');
    QCOMPARE(run.status, 2);
}

void tst_Check::noRightToRead()
{
    const PlainUser user;
    if (!user.known)
        QSKIP("no user nobody to drop to");
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(QFile::setPermissions(base.path(), QFile::permissions(base.path()) | QFile::ExeOther | QFile::ExeGroup));
    const QString open = base.filePath(QStringLiteral("open"));
    const QString locked = base.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(open));
    QVERIFY(QDir().mkdir(locked));
    const QString unreadable = open + QStringLiteral("/1234567890202401.dat");
    const QString behindLock = locked + QStringLiteral("/1234567890202401.dat");
    QVERIFY(writeFile(unreadable, goodLine(1)));
    QVERIFY(writeFile(behindLock, goodLine(1)));
    QVERIFY(QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther
                                                | QFile::ExeGroup));
    QVERIFY(QFile::setPermissions(unreadable, QFile::Permissions()));
    QVERIFY(QFile::setPermissions(locked, QFile::Permissions()));
    if (geteuid() != 0 && QFile(unreadable).open(QIODevice::ReadOnly))
        QSKIP("this user may read any file");

    const QString noRight = QStringLiteral(": 読み込めません: ファイルを読む権限がありません。\n");
    const QByteArray expected = (unreadable + noRight + behindLock + noRight).toUtf8();
    const int result = user.Run([&] {
        const Run run = runCheck({"--check", unreadable, behindLock});
        return run.out == expected && run.status == 2 ? 0 : 1;
    });
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(result, 0);
}

void tst_Check::severalFiles_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("status");

    QTest::newRow("all clean") << QStringList {"clean", "clean"} << 0;
    QTest::newRow("one with an invalid cell") << QStringList {"clean", "invalid", "clean"} << 1;
    QTest::newRow("unreadable wins over an invalid cell after it") << QStringList {"missing", "invalid"} << 2;
    QTest::newRow("unreadable wins over an invalid cell before it") << QStringList {"invalid", "missing"} << 2;
    QTest::newRow("a clean file does not clear a problem") << QStringList {"invalid", "clean"} << 1;
}

void tst_Check::severalFiles()
{
    QFETCH(QStringList, names);
    QFETCH(int, status);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString clean = folder.filePath(QStringLiteral("1234567890202401.dat"));
    const QString invalid = folder.filePath(QStringLiteral("1234567890202402.dat"));
    const QString missing = folder.filePath(QStringLiteral("1234567890202403.dat"));
    QVERIFY(writeFile(clean, goodLine(1) + goodLine(2)));
    QVERIFY(writeFile(invalid, goodLine(1) + lineWith(18, kanji)));

    QStringList arguments = {"--check"};
    QByteArray expected;
    for (const QString &name : names) {
        if (name == "clean") {
            arguments << clean;
            expected += expectedOutput({summary(2, 0, 0)}, clean);
        } else if (name == "invalid") {
            arguments << invalid;
            expected += expectedOutput({"%F:2:リクエスト回数: " + fullWidth, summary(2, 1, 1)}, invalid);
        } else {
            arguments << missing;
            expected += expectedOutput({QStringLiteral("%F: 読み込めません: ファイルが見つかりません。")}, missing);
        }
    }
    const Run run = runCheck(arguments);
    QCOMPARE(QString::fromUtf8(run.out), QString::fromUtf8(expected));
    QCOMPARE(run.status, status);
}

void tst_Check::sjisOutput()
{
    // ä has no Shift-JIS form: the path shows it as '?'.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("ä")));
    const QString path = dir.filePath(QStringLiteral("ä/1234567890202401.dat"));
    QVERIFY(writeFile(path, lineWith(6, "12345678901")));
    const Run run = runCheck({"--sjis", "--check", path});
    const QByteArray shownPath = dir.path().toLatin1() + "/?/1234567890202401.dat";
    const QByteArray expected = shownPath
            + ":1:JASRAC\x8D\xEC\x95\x69\xBA\xB0\xC4\xDE: " // JASRAC作品ｺｰﾄﾞ
              "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "10\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD"
              "5\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42\n" // 文字数は10文字（漢字は5）までです。
            + shownPath + ": 1\x8D\x73\x81\x41" // 1行、
              "\x83\x47\x83\x89\x81\x5B\x82\xCC\x83\x5A\x83\x8B" "1\x8C\xC2\x81\x69" "1\x8D\x73\x81\x6A\x81\x41"
              // エラーのセル1個（1行）、
              "\x83\x74\x83\x40\x83\x43\x83\x8B\x96\xBC\x82\xCC\x96\xE2\x91\xE8" "0\x8C\x8F\x81\x41" // ファイル名の問題0件、
              "\x8C\x60\x8E\xAE\x82\xCC\x96\xE2\x91\xE8" "0\x8C\x8F\n"; // 形式の問題0件
    QCOMPARE(run.out, expected);
    QCOMPARE(run.status, 1);

    // The usage after a wrong command line too.
    const Run wrong = runCheck({"--sjis", "--check"});
    QVERIFY(wrong.err.startsWith("\x8E\x67\x82\xA2\x95\xFB: qnveltor --check")); // 使い方:
    QCOMPARE(wrong.status, 2);
}

void tst_Check::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outStart");
    QTest::addColumn<QString>("errStart");

    const QString usage = QStringLiteral("使い方: qnveltor --check [--sjis] [--notes [--strict]] ファイル...\n");
    QTest::newRow("--help") << QStringList {"--help"} << 0 << usage << QString();
    QTest::newRow("-h among files") << QStringList {"--check", "a.dat", "-h"} << 0 << usage << QString();
    QTest::newRow("no file") << QStringList {"--check"} << 2 << QString() << usage;
    QTest::newRow("a file without --check") << QStringList {"a.dat"} << 2 << QString() << usage;
    QTest::newRow("unknown option") << QStringList {"--check", "--fast", "a.dat"} << 2 << QString()
                                    << QStringLiteral("qnveltor: 知らないオプションです: --fast\n");
    // After "--" everything is a file, even a name that starts with '-'.
    QTest::newRow("a file named like an option")
            << QStringList {"--check", "--", "--fast"} << 2
            << QStringLiteral("--fast: 読み込めません: ファイルが見つかりません。\n") << QString();
    QTest::newRow("the option after the file")
            << QStringList {"no-such.dat", "--check"} << 2
            << QStringLiteral("no-such.dat: 読み込めません: ファイルが見つかりません。\n") << QString();
}

void tst_Check::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, outStart);
    QFETCH(QString, errStart);
    const Run run = runCheck(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(QString::fromUtf8(run.out).startsWith(outStart), run.out.constData());
    QVERIFY2(QString::fromUtf8(run.err).startsWith(errStart), run.err.constData());
    QCOMPARE(run.out.isEmpty(), outStart.isEmpty());
    QCOMPARE(run.err.isEmpty(), errStart.isEmpty());
}

void tst_Check::isCheckCommand_data()
{
    QTest::addColumn<QStringList>("argv");
    QTest::addColumn<bool>("check");

    QTest::newRow("no arguments") << QStringList {"qnveltor"} << false;
    QTest::newRow("a file to open") << QStringList {"qnveltor", "a.dat"} << false;
    QTest::newRow("--check") << QStringList {"qnveltor", "--check", "a.dat"} << true;
    QTest::newRow("--check after the file") << QStringList {"qnveltor", "a.dat", "--check"} << true;
    QTest::newRow("--help") << QStringList {"qnveltor", "--help"} << true;
    QTest::newRow("-h") << QStringList {"qnveltor", "-h"} << true;
    QTest::newRow("--sjis alone") << QStringList {"qnveltor", "--sjis", "a.dat"} << false;
    QTest::newRow("a file named --check") << QStringList {"qnveltor", "--", "--check"} << false;
}

void tst_Check::isCheckCommand()
{
    QFETCH(QStringList, argv);
    QFETCH(bool, check);
    std::vector<QByteArray> bytes;
    std::vector<const char *> pointers;
    for (const QString &argument : argv)
        bytes.push_back(argument.toUtf8());
    for (const QByteArray &argument : bytes)
        pointers.push_back(argument.constData());
    pointers.push_back(nullptr);
    QCOMPARE(IsReportCheckCommand(int(argv.size()), pointers.data()), check);
}

void tst_Check::failedOutputIsNoSuccess_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("room");

    // A clean report's only line, its summary, goes out at the end.
    QTest::newRow("clean report, nothing fits") << goodLine(1) << qint64(0);
    QTest::newRow("clean report, part of the summary fits") << goodLine(1) << qint64(20);
    QByteArray invalid;
    for (int n = 0; n < 20000; ++n)
        invalid += lineWith(18, kanji);
    QTest::newRow("many invalid cells, the first piece fits") << invalid << qint64(1 << 16);
}

void tst_Check::failedOutputIsNoSuccess()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, room);
    const QString path = reportPath();
    QVERIFY(writeFile(path, content));
    NarrowDevice out(room, room + 1);
    const Run run = runCheck({"--check", path, path}, &out);
    QCOMPARE(run.status, 2);
    QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("qnveltor: 検査の結果を書き出せませんでした。\n"));
    // Nothing is tried after the first failure.
    QCOMPARE(out.calls, room ? 2 : 1);
}

void tst_Check::stopsReadingWhenOutputFails()
{
    // Nobody would see the rest: a report of megabytes is not read to its
    // end for nothing.
    QByteArray content;
    while (content.size() < (4 << 20))
        content += lineWith(18, kanji);
    const QString path = reportPath();
    QVERIFY(writeFile(path, content));
    NarrowDevice device(0, 1);
    CheckOutput output(device, CheckOutput::Encoding::Utf8);
    ReportCheck check(output);
    QCOMPARE(check.CheckFile(path), ReportCheck::Verdict::Unreadable);
    QVERIFY(output.Failed());
    QCOMPARE_GT(check.LastCounts().lines, 0u);
    QCOMPARE_LT(check.LastCounts().lines, std::uint64_t(content.count('\n')) / 2);
    QCOMPARE(device.calls, 1);
}

void tst_Check::shortWritesAreContinued()
{
    QByteArray content;
    for (int n = 0; n < 3000; ++n)
        content += lineWith(n % 19 == 6 ? 6 : 18, kanji);
    const QString path = reportPath();
    QVERIFY(writeFile(path, content));
    const Run whole = runCheck({"--check", path});
    QVERIFY(whole.out.size() > (1 << 17));
    NarrowDevice out(std::numeric_limits<qint64>::max(), 1000);
    const Run run = runCheck({"--check", path}, &out);
    QCOMPARE(run.status, 1);
    QCOMPARE(out.taken, whole.out);
    QCOMPARE(run.err, QByteArray());
}

void tst_Check::programNeedsNoDisplay()
{
#ifndef QNVELTOR_PROGRAM
    QSKIP("the program is not built");
#else
    const QString path = reportPath();
    QVERIFY(writeFile(path, goodLine(1) + lineWith(6, "12345678901")));
    const Run inProcess = runCheck({"--check", path});

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QNVELTOR_PROGRAM), {"--check", path});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.readAllStandardError(), QByteArray());
    QCOMPARE(program.readAllStandardOutput(), inProcess.out);
    QCOMPARE(program.exitCode(), 1);

    program.start(QStringLiteral(QNVELTOR_PROGRAM), {"--help"});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(program.readAllStandardOutput().startsWith("使い方: qnveltor --check"));
#endif
}

QTEST_APPLESS_MAIN(tst_Check)
#include "tst_check.moc"
