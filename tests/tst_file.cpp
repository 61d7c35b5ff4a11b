#include "qnVelTorData.h"
#include "qnVelTorFile.h"
#include "qnVelTorFileName.h"

#include "ShiftJisCore.h"
#include "PlainUser.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <random>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


namespace {

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// A record as one string: its 19 fields joined by '|'.
QByteArray joined(const qnVelTorDataRecord &record)
{
    QByteArrayList fields;
    for (const qnVelTorDataField &field : record)
        fields << bytes(field.Get());
    return fields.join('|');
}

QByteArrayList records(const qnVelTorData &data)
{
    QByteArrayList rows;
    for (const qnVelTorDataRecord &record : data)
        rows << joined(record);
    return rows;
}

// The reference reading: the file's bytes after the text-mode translation
// (CR dropped, input ended by 0x1A), one by one.
void feedBytewise(qnVelTorFileReader &reader, const QByteArray &content)
{
    for (char c : content) {
        if (c == '\x1A')
            break;
        if (c != '\r')
            reader.PutChar(static_cast<unsigned char>(c));
    }
    reader.PutChar(-1);
}

// A record given by its leading fields; the rest are empty.
QByteArray row(QByteArrayList leading)
{
    while (leading.size() < 19)
        leading << QByteArray();
    return leading.join('|');
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The two-record example report, as the writer must produce it.
const QByteArray exampleFile = QByteArray::fromHex(
        "310909303030090930303009093132333435363738098365835883678BC809098D62090989B30909093009560931090930"
        "0D0A"
        "3209090909090909414243" "0909090909090909090909"
        "0D0A");

qnVelTorData exampleData()
{
    qnVelTorData data;
    data.Resize(2);
    data.SetCell(0, 0, "1");
    data.SetCell(0, 2, "000");
    data.SetCell(0, 4, "000");
    data.SetCell(0, 6, "12345678");
    data.SetCell(0, 7, "\x83\x65\x83\x58\x83\x67\x8B\xC8"); // テスト曲
    data.SetCell(0, 9, "\x8D\x62"); // 甲
    data.SetCell(0, 11, "\x89\xB3"); // 乙
    data.SetCell(0, 14, "0");
    data.SetCell(0, 15, "V");
    data.SetCell(0, 16, "1");
    data.SetCell(0, 18, "0");
    data.SetCell(1, 0, "2");
    data.SetCell(1, 7, "ABC");
    return data;
}

} // namespace

class tst_File : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writeExample();
    void read_data();
    void read();
    void readAppendsAfterExisting();
    void chunkedEqualsBytewise_data();
    void chunkedEqualsBytewise();
    void readTakingChunks();
    void readMissingFile();
    void readDirectory();
    void baseNameOfPath_data();
    void baseNameOfPath();
    void japaneseAndLongPaths();
    void roundTripValues();
    void writeEmptyReport();
    void writeRefusesControlBytes_data();
    void writeRefusesControlBytes();
    void failedWriteKeepsOldFile();
    void fullDiskKeepsOldFile();
    void fullDiskReportsEveryFailure_data();
    void fullDiskReportsEveryFailure();
    void noFreeEntriesIsNotWrittenInPlace();
    void lockedFolderWritesInPlace();
    void lockedFolderOnFullDisk();
    void writeFromRecordSource();
    void readFacts_data();
    void readFacts();
    void lineFacts_data();
    void lineFacts();
    void streamedLinesKeepTheirStart();
    void splitterEqualsBytewise_data();
    void splitterEqualsBytewise();
    void readLinesEqualsReadFile();
    void oddLinesAsTheByteCheckFindsThem();

private:
    QTemporaryDir dir;
};

void tst_File::initTestCase()
{
    QVERIFY(dir.isValid());
    QCOMPARE(exampleFile.size(), 75);
}

void tst_File::writeExample()
{
    const qnVelTorData data = exampleData();
    const QString path = dir.filePath("1234567890201204ABC.dat");
    QVERIFY(qnVelTorFileWriter().Write(path, &data));
    QCOMPARE(readFile(path), exampleFile);

    qnVelTorData back;
    QVERIFY(ReadReportFile(path, &back));
    QCOMPARE(records(back), records(data));
    QCOMPARE(bytes(back.FileBaseName()), QByteArray("1234567890201204ABC"));
}

void tst_File::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArrayList example = records(exampleData());
    QTest::newRow("example with CR LF") << exampleFile << example;
    QTest::newRow("example with LF") << QByteArray(exampleFile).replace("\r\n", "\n") << example;
    QTest::newRow("empty file") << QByteArray() << QByteArrayList();
    QTest::newRow("CR-only line ends are one line")
            << QByteArray("a\tb\rc\td\r") << QByteArrayList {row({"a", "bc", "d"})};
    QTest::newRow("CR anywhere is dropped") << QByteArray("\ra\r\r\tb\r\n") << QByteArrayList {row({"a", "b"})};
    QTest::newRow("25 pieces keep the first 19") << [] {
        QByteArrayList pieces;
        for (int i = 0; i < 25; ++i)
            pieces << QByteArray::number(i);
        return pieces.join('\t') + "\r\n";
    }() << [] {
        QByteArrayList pieces;
        for (int i = 0; i < 19; ++i)
            pieces << QByteArray::number(i);
        return QByteArrayList {pieces.join('|')};
    }();
    QTest::newRow("3 pieces") << QByteArray("a\tb\tc\r\n") << QByteArrayList {row({"a", "b", "c"})};
    QTest::newRow("blank line between") << QByteArray("a\r\n\r\nb\r\n")
                                        << QByteArrayList {row({"a"}), row({}), row({"b"})};
    QTest::newRow("blank line at end") << QByteArray("a\r\n\r\n") << QByteArrayList {row({"a"}), row({})};
    QTest::newRow("last line without line end") << QByteArray("a\r\nx") << QByteArrayList {row({"a"}), row({"x"})};
    QTest::newRow("single x") << QByteArray("x") << QByteArrayList {row({"x"})};
    QTest::newRow("single TAB") << QByteArray("\t") << QByteArrayList {row({})};
    QTest::newRow("trailing CR after last line end") << QByteArray("a\r\n\r") << QByteArrayList {row({"a"})};
    QTest::newRow("empty trailing fields kept") << QByteArray("a\t\t\t\r\nb") << QByteArrayList {row({"a"}), row({"b"})};
    QTest::newRow("leading TAB") << QByteArray("\tz\r\n") << QByteArrayList {row({"", "z"})};
    QTest::newRow("0x1A ends the input inside a line")
            << QByteArray("a\r\nb\tc\x1A" "d\r\ne\r\n") << QByteArrayList {row({"a"}), row({"b", "c"})};
    QTest::newRow("0x1A after a line end") << QByteArray("a\r\n\x1A" "b\r\n") << QByteArrayList {row({"a"})};
    QTest::newRow("0x1A first") << QByteArray("\x1A" "a") << QByteArrayList();
    QTest::newRow("NUL and high bytes are data")
            << QByteArray("\x00\xFF\x80\t\x95\x5C", 6) << QByteArrayList {row({QByteArray("\x00\xFF\x80", 3), "\x95\x5C"})};
    QTest::newRow("only line ends") << QByteArray("\n\n") << QByteArrayList {row({}), row({})};
}

void tst_File::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArrayList, expected);
    const QString path = dir.filePath("case.dat");
    QVERIFY(writeFile(path, content));
    qnVelTorData data;
    QVERIFY(ReadReportFile(path, &data));
    QCOMPARE(records(data), expected);
    QCOMPARE(bytes(data.FileBaseName()), QByteArray("case"));
}

void tst_File::readAppendsAfterExisting()
{
    const QString path = dir.filePath("append.dat");
    QVERIFY(writeFile(path, "new\r\n"));
    qnVelTorData data;
    data.Resize(1);
    data.SetCell(0, 0, "old");
    QVERIFY(ReadReportFile(path, &data));
    QCOMPARE(records(data), (QByteArrayList {row({"old"}), row({"new"})}));
}

void tst_File::chunkedEqualsBytewise_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("example") << exampleFile;
    QTest::newRow("CR between chunks") << QByteArray("ab\r\ncd\te\r\r\n\tf");
    QTest::newRow("EOF marker") << QByteArray("a\tb\x1A" "c\n");
    QTest::newRow("TAB-only last line") << QByteArray("a\n\t\t");
}

void tst_File::chunkedEqualsBytewise()
{
    // Every split of the input into two chunks gives what feeding the
    // translated bytes one by one gives.
    QFETCH(QByteArray, content);
    qnVelTorData bytewise;
    qnVelTorFileReader single(&bytewise, QString());
    feedBytewise(single, content);

    for (qsizetype split = 0; split <= content.size(); ++split) {
        qnVelTorData chunked;
        qnVelTorFileReader reader(&chunked, QString());
        if (reader.PutBytes(content.constData(), std::size_t(split)))
            reader.PutBytes(content.constData() + split, std::size_t(content.size() - split));
        QVERIFY(reader.Finish());
        QVERIFY(reader.Finish()); // ending twice adds nothing
        QCOMPARE(records(chunked), records(bytewise));
    }
}

void tst_File::readTakingChunks()
{
    // Several read chunks, with lines and a CR LF cut by chunk borders:
    // records taken out after every chunk add up to a plain read.
    QByteArray content;
    for (int i = 0; content.size() < 3 * 1024 * 1024 + 7; ++i)
        content += QByteArray::number(i) + "\t\x83\x65" + QByteArray(i % 97, 'x') + "\t\tlast\r\n";
    content += "tail without line end";
    const QString path = dir.filePath("chunks.dat");
    QVERIFY(writeFile(path, content));

    qnVelTorData whole;
    QVERIFY(ReadReportFile(path, &whole));

    qnVelTorData data;
    QByteArrayList taken;
    int calls = 0;
    QVERIFY(ReadReportFile(path, &data, [&](qnVelTorData &read) {
        ++calls;
        taken += records(read);
        read.Resize(0);
    }));
    QVERIFY(calls > 3);
    QCOMPARE(data.RecordCount(), 0u);
    QCOMPARE(taken, records(whole));
    QCOMPARE(taken.last(), row({"tail without line end"}));
}

void tst_File::readMissingFile()
{
    qnVelTorData data;
    QVERIFY(!ReadReportFile(dir.filePath("nowhere/1234567890201204XYZ.dat"), &data));
    QCOMPARE(data.RecordCount(), 0u);
    QCOMPARE(bytes(data.FileBaseName()), QByteArray("1234567890201204XYZ"));
    QVERIFY(!ReadReportFile(dir.filePath("x.dat"), nullptr));
}

void tst_File::readDirectory()
{
    QVERIFY(QDir(dir.path()).mkpath("folder.dat"));
    qnVelTorData data;
    QVERIFY(!ReadReportFile(dir.filePath("folder.dat"), &data));
    QCOMPARE(data.RecordCount(), 0u);
}

void tst_File::baseNameOfPath_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("baseName");

    QTest::newRow("extension") << QByteArray("C:\\reports\\1234567890201204ABC.dat")
                               << QByteArray("1234567890201204ABC");
    QTest::newRow("dot in name") << QByteArray("C:\\reports\\1234567890201204A.B.dat")
                                 << QByteArray("1234567890201204A.B");
    QTest::newRow("no extension") << QByteArray("C:\\reports\\1234567890201204ABC")
                                  << QByteArray("1234567890201204ABC");
    QTest::newRow("dot taken as extension") << QByteArray("C:\\reports\\1234567890201204A.B")
                                            << QByteArray("1234567890201204A");
    QTest::newRow("plain name") << QByteArray("C:\\reports\\report.dat") << QByteArray("report");
    QTest::newRow("extension only") << QByteArray("C:\\reports\\.dat") << QByteArray();
    QTest::newRow("folder 0x95 0x5C") << QByteArray("C:\\\x95\x5C\\1234567890201204ABC.dat")
                                      << QByteArray("1234567890201204ABC");
    QTest::newRow("name ending in 0x5C trail") << QByteArray("C:\\x\\\x95\x5C.dat") << QByteArray("\x95\x5C");
    QTest::newRow("slashes") << QByteArray("/home/u/reports/abc.dat") << QByteArray("abc");
    QTest::newRow("drive only") << QByteArray("C:abc.dat") << QByteArray("abc");
    QTest::newRow("dot in folder") << QByteArray("C:\\a.b\\name") << QByteArray("name");
    QTest::newRow("lone lead byte at end") << QByteArray("C:\\a\\b\x95") << QByteArray("b\x95");
    QTest::newRow("trailing separator") << QByteArray("C:\\a\\") << QByteArray();
    QTest::newRow("no limit of 260 bytes") << QByteArray("C:\\x\\" + QByteArray(600, 'n') + ".dat")
                                           << QByteArray(600, 'n');
}

void tst_File::baseNameOfPath()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, baseName);
    QCOMPARE(bytes(FileBaseNameOfPath(std::string_view(path.constData(), std::size_t(path.size())))), baseName);
}

void tst_File::japaneseAndLongPaths()
{
    // 表 (0x95 0x5C) in a folder name, a Japanese file name, and a path far
    // beyond 260 bytes.
    QString folder = dir.filePath(QStringLiteral("表"));
    for (int i = 0; i < 12; ++i)
        folder += QStringLiteral("/報告フォルダ%1_abcdefghijklmnopqrstuvwxyz").arg(i);
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/1234567890201204テスト.dat");
    QVERIFY(path.toUtf8().size() > 600);

    const qnVelTorData data = exampleData();
    QVERIFY(qnVelTorFileWriter().Write(path, &data));
    qnVelTorData back;
    QVERIFY(ReadReportFile(path, &back));
    QCOMPARE(records(back), records(data));
    // The base name is kept as Shift-JIS bytes: テスト is 83 65 83 58 83 67.
    QCOMPARE(bytes(back.FileBaseName()), QByteArray("1234567890201204\x83\x65\x83\x58\x83\x67"));
    QCOMPARE(bytes(back.GetNiniMoziretsu()), QByteArray("\x83\x65\x83\x58\x83\x67"));

    // A character code page 932 lacks still leaves a usable base name.
    QCOMPARE(bytes(FileBaseNameOfPath(QStringLiteral("/tmp/ab\U0001F600c.dat"))), QByteArray("ab_c"));
    // On this platform a backslash is part of a file name, yet it still
    // separates in the base-name rule.
    QCOMPARE(bytes(FileBaseNameOfPath(QStringLiteral("/tmp/C:\\表\\1234567890201204ABC.dat"))),
             QByteArray("1234567890201204ABC"));
}

void tst_File::roundTripValues()
{
    qnVelTorData data;
    data.Resize(4);
    // Bytes that do not survive a decode and re-encode (0xEEEF, 0xFA40),
    // bytes that are not Shift-JIS at all, and long values.
    data.SetCell(0, 7, "\xEE\xEF\xFA\x40\x87\x40");
    data.SetCell(0, 8, std::string("\x80\xA0\xFD\xFE\xFF\x00", 6));
    data.SetCell(1, 18, std::string(5000, 'z'));
    data.SetCell(3, 0, "last");
    const QString path = dir.filePath("values.dat");
    QVERIFY(qnVelTorFileWriter().Write(path, &data));
    qnVelTorData back;
    QVERIFY(ReadReportFile(path, &back));
    QCOMPARE(records(back), records(data));
    // An all-empty record is written as 18 TABs and CR LF.
    QVERIFY(readFile(path).contains("\r\n" + QByteArray(18, '\t') + "\r\nlast"));
}

void tst_File::writeEmptyReport()
{
    const QString path = dir.filePath("empty.dat");
    QVERIFY(writeFile(path, "old content"));
    qnVelTorData data;
    QVERIFY(qnVelTorFileWriter().Write(path, &data));
    QCOMPARE(readFile(path), QByteArray());
    QVERIFY(ReadReportFile(path, &data));
    QCOMPARE(data.RecordCount(), 0u);
    QVERIFY(!qnVelTorFileWriter().Write(path, nullptr));
}

void tst_File::writeRefusesControlBytes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("TAB") << QByteArray("a\tb");
    QTest::newRow("CR") << QByteArray("a\rb");
    QTest::newRow("LF") << QByteArray("a\nb");
    QTest::newRow("0x1A") << QByteArray("a\x1A");
}

void tst_File::writeRefusesControlBytes()
{
    QFETCH(QByteArray, value);
    QVERIFY(!IsStorableValue(value.toStdString()));
    const QString path = dir.filePath("refused.dat");
    QVERIFY(writeFile(path, exampleFile));
    qnVelTorData data = exampleData();
    data.Resize(3000); // the bad value comes after the first written chunk
    data.SetCell(2999, 12, value.toStdString());
    QVERIFY(!qnVelTorFileWriter().Write(path, &data));
    QCOMPARE(readFile(path), exampleFile);
    QCOMPARE(QDir(dir.path()).entryList({"refused*"}, QDir::Files), QStringList {"refused.dat"});
}

void tst_File::failedWriteKeepsOldFile()
{
    const qnVelTorData data = exampleData();
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    // A folder that does not exist creates nothing.
    QVERIFY(!qnVelTorFileWriter().Write(dir.filePath("missing/folder/x.dat"), &data));
    QVERIFY(!QFile::exists(dir.filePath("missing")));

    // A parent that is a regular file.
    const QString plain = dir.filePath("plain.dat");
    QVERIFY(writeFile(plain, "keep me"));
    QVERIFY(!qnVelTorFileWriter().Write(plain + "/x.dat", &data));
    QCOMPARE(readFile(plain), QByteArray("keep me"));

    // A path that is a folder.
    QVERIFY(QDir(dir.path()).mkpath("afolder"));
    QVERIFY(!qnVelTorFileWriter().Write(dir.filePath("afolder"), &data));
    QVERIFY(QFileInfo(dir.filePath("afolder")).isDir());

    QStringList after = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    after.removeAll("plain.dat");
    after.removeAll("afolder");
    QStringList expected = before;
    expected.removeAll("plain.dat");
    expected.removeAll("afolder");
    QCOMPARE(after, expected);
}

void tst_File::fullDiskKeepsOldFile()
{
    SmallDisk disk;
    if (!disk.mounted)
        QSKIP("cannot mount a small tmpfs here (needs root)");

    const QString path = disk.filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, exampleFile));

    qnVelTorData big;
    big.Resize(4000);
    for (unsigned r = 0; r < big.RecordCount(); ++r)
        big.SetCell(r, 7, std::string(60, 'x'));
    qnVelTorFileWriter writer;
    QVERIFY(!writer.Write(path, &big));
    QCOMPARE(writer.Failure(), WriteFailure::DiskFull);
    QCOMPARE(readFile(path), exampleFile);
    QCOMPARE(disk.files(), QStringList {"1234567890201204ABC.dat"});

    // A report that fits still replaces the file there.
    const qnVelTorData small = exampleData();
    QVERIFY(qnVelTorFileWriter().Write(path, &small));
    QCOMPARE(readFile(path), exampleFile);
}

void tst_File::fullDiskReportsEveryFailure_data()
{
    QTest::addColumn<int>("lines");
    // One line stays in QIODevice's buffer until the commit; thousands of
    // lines fail in the first write.
    QTest::newRow("one line") << 1;
    QTest::newRow("two lines of the example") << 2;
    QTest::newRow("4000 lines") << 4000;
}

void tst_File::fullDiskReportsEveryFailure()
{
    QFETCH(int, lines);
    SmallDisk disk;
    if (!disk.mounted)
        QSKIP("cannot mount a small tmpfs here (needs root)");
    const QString path = disk.filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, exampleFile));
    QVERIFY(disk.Fill());

    qnVelTorData data = exampleData();
    data.Resize(std::uint32_t(lines));
    for (unsigned r = 2; r < data.RecordCount(); ++r)
        data.SetCell(r, 7, std::string(60, 'x'));
    qnVelTorFileWriter writer;
    QVERIFY(!writer.Write(path, &data));
    QCOMPARE(writer.Failure(), WriteFailure::DiskFull);
    QCOMPARE(readFile(path), exampleFile);
    QCOMPARE(disk.files(), QStringList({"1234567890201204ABC.dat", "filler"}));

    // A new file on the full disk is not left behind half written or empty.
    QVERIFY(!writer.Write(disk.filePath("new.dat"), &data));
    QCOMPARE(writer.Failure(), WriteFailure::DiskFull);
    QCOMPARE(disk.files(), QStringList({"1234567890201204ABC.dat", "filler"}));
}

void tst_File::noFreeEntriesIsNotWrittenInPlace()
{
    // A disk with room but no free file entry takes no new file; the save
    // fails with that reason and does not fall back to overwriting the old
    // file where it stands, which could leave it half written.
    SmallDisk disk(QStringLiteral("nr_inodes=8"));
    if (!disk.mounted)
        QSKIP("cannot mount a small tmpfs here (needs root)");
    const QString path = disk.filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, "old"));
    QVERIFY(disk.FillEntries() > 0);
    const QStringList before = disk.files();

    const qnVelTorData data = exampleData();
    qnVelTorFileWriter writer;
    QVERIFY(!writer.Write(path, &data));
    QCOMPARE(writer.Failure(), WriteFailure::NoInodes);
    QCOMPARE(readFile(path), QByteArray("old"));
    QCOMPARE(disk.files(), before);
}

namespace {

bool setMode(const QString &path, mode_t mode)
{
    return chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// The cache folder where an in-place save keeps its copy of the old file,
// made the save user's own for the test's lifetime.
struct CacheFolder
{
    explicit CacheFolder(const PlainUser &user)
        : old(qgetenv("XDG_CACHE_HOME")), hadOld(qEnvironmentVariableIsSet("XDG_CACHE_HOME"))
    {
        made = folder.isValid() && user.Own(folder.path(), 0700);
        qputenv("XDG_CACHE_HOME", QFile::encodeName(folder.path()));
    }
    ~CacheFolder()
    {
        if (hadOld)
            qputenv("XDG_CACHE_HOME", old);
        else
            qunsetenv("XDG_CACHE_HOME");
    }
    // Every file left in it, however deep.
    QStringList files() const
    {
        QStringList found;
        QDirIterator it(folder.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    }

    QTemporaryDir folder;
    QByteArray old;
    bool hadOld;
    bool made = false;
};

} // namespace

void tst_File::lockedFolderWritesInPlace()
{
    const PlainUser user;
    if (!user.known)
        QSKIP("no user nobody to drop to");
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(setMode(base.path(), 0755));
    const QString folder = base.filePath("locked");
    QVERIFY(QDir().mkdir(folder));
    const QString mine = folder + "/1234567890201204ABC.dat";
    const QString readOnly = folder + "/9876543210201305XYZ.dat";
    QVERIFY(writeFile(mine, "old contents, longer than the example report that replaces them"
                            "............................................................"));
    QVERIFY(writeFile(readOnly, "read only"));
    QVERIFY(user.Own(mine, 0640));
    QVERIFY(user.Own(readOnly, 0444));
    QVERIFY(setMode(folder, 0555));
    if (geteuid() != 0 && QFileInfo(folder).isWritable())
        QSKIP("this user may write into any folder");
    const CacheFolder cache(user);
    QVERIFY(cache.made);

    const int result = user.Run([&] {
        const qnVelTorData data = exampleData();
        qnVelTorFileWriter writer;
        if (!writer.Write(mine, &data))
            return 11;
        if (writer.Write(readOnly, &data))
            return 12;
        if (writer.Failure() != WriteFailure::NoPermission)
            return 22;
        if (writer.Write(folder + "/new.dat", &data))
            return 13;
        if (writer.Failure() != WriteFailure::NoPermission)
            return 23;
        return 0;
    });
    QVERIFY(setMode(folder, 0755)); // so that the folder can be removed
    // 11: not saved in place, 12/13: a failure reported as success, 22/23:
    // the wrong reason
    QCOMPARE(result, 0);
    QCOMPARE(cache.files(), QStringList()); // the copy of the old file is gone

    QCOMPARE(readFile(mine), exampleFile);
    struct stat info {};
    QCOMPARE(stat(QFile::encodeName(mine).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
    QCOMPARE(info.st_uid, user.uid);
    QCOMPARE(readFile(readOnly), QByteArray("read only"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList({"1234567890201204ABC.dat", "9876543210201305XYZ.dat"}));
}

void tst_File::lockedFolderOnFullDisk()
{
    // Written in place, a report that does not fit must fail before the old
    // file has lost a byte: there is no other copy of it.
    const PlainUser user;
    if (!user.known)
        QSKIP("no user nobody to drop to");
    SmallDisk disk;
    if (!disk.mounted)
        QSKIP("cannot mount a small tmpfs here (needs root)");
    const QString folder = disk.filePath("locked");
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + "/1234567890201204ABC.dat";
    QVERIFY(writeFile(path, exampleFile));
    QVERIFY(user.Own(path, 0600));
    QVERIFY(setMode(folder, 0555));
    QVERIFY(disk.Fill());
    const CacheFolder cache(user);
    QVERIFY(cache.made);

    const int result = user.Run([&] {
        qnVelTorData data = exampleData();
        data.Resize(4000);
        for (unsigned r = 2; r < data.RecordCount(); ++r)
            data.SetCell(r, 7, std::string(60, 'x'));
        qnVelTorFileWriter writer;
        if (writer.Write(path, &data))
            return 1;
        return writer.Failure() == WriteFailure::DiskFull ? 0 : 10 + int(writer.Failure());
    });
    QVERIFY(setMode(folder, 0755));
    QCOMPARE(result, 0); // 1: a failure reported as success, 10 + n: the wrong reason
    QCOMPARE(cache.files(), QStringList());
    QCOMPARE(readFile(path), exampleFile);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"1234567890201204ABC.dat"});
}

void tst_File::writeFromRecordSource()
{
    // Lines fetched one at a time give the same bytes as the container.
    const qnVelTorData data = exampleData();
    const RecordFields fields = [&](std::uint32_t record, std::string_view (&values)[FieldCount]) {
        for (std::uint32_t f = 0; f < FieldCount; ++f)
            values[f] = *data.GetCell(record, f);
    };
    const QString path = dir.filePath("source.dat");
    QVERIFY(qnVelTorFileWriter().Write(path, 2, fields));
    QCOMPARE(readFile(path), exampleFile);

    // A refused value in the last line leaves the old file as it was.
    qnVelTorData bad = exampleData();
    bad.SetCell(1, 18, "x\ny");
    const RecordFields badFields = [&](std::uint32_t record, std::string_view (&values)[FieldCount]) {
        for (std::uint32_t f = 0; f < FieldCount; ++f)
            values[f] = *bad.GetCell(record, f);
    };
    QVERIFY(!qnVelTorFileWriter().Write(path, 2, badFields));
    QCOMPARE(readFile(path), exampleFile);
    QCOMPARE(QDir(dir.path()).entryList({"source*"}, QDir::Files | QDir::Hidden), QStringList {"source.dat"});

    // No lines: an empty file.
    QVERIFY(qnVelTorFileWriter().Write(path, 0, fields));
    QCOMPARE(readFile(path), QByteArray());
}

// What the window warns about after a load: lines whose extra fields a save
// drops, and lines with bytes that no report holds. Counted per line, with
// the first line numbered from 1.
void tst_File::readFacts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("longLines");
    QTest::addColumn<int>("firstLong");
    QTest::addColumn<int>("oddLines");
    QTest::addColumn<int>("firstOdd");

    const QByteArray nineteen = QByteArray("\t").repeated(18);
    const QByteArray twenty = QByteArray("\t").repeated(19);
    QTest::newRow("clean report") << exampleFile << 0 << 0 << 0 << 0;
    QTest::newRow("exactly 19 fields") << QByteArray("a" + nineteen + "b\r\n") << 0 << 0 << 0 << 0;
    QTest::newRow("20 fields, empty last: nothing lost") << QByteArray("1\r\n2" + twenty + "\r\n") << 0 << 0 << 0 << 0;
    QTest::newRow("two long lines, one counted each")
            << QByteArray("1\r\n" + twenty + twenty + "x\r\n3\r\n" + twenty + "y\r\n") << 2 << 2 << 0 << 0;
    QTest::newRow("long last line without break") << QByteArray("1\r\n2" + twenty + "z") << 1 << 2 << 0 << 0;
    QTest::newRow("filled 20th field, then an empty one") << QByteArray("1\r\n2" + twenty + "x\t\r\n") << 1 << 2 << 0 << 0;
    QTest::newRow("NUL byte") << QByteArray("1\r\n2\r\nA\0B\r\n", 11) << 0 << 0 << 1 << 3;
    QTest::newRow("stray 0xFF and lone lead byte on two lines")
            << QByteArray("\xFF\r\nok\r\nXY\x82\tZ\r\n") << 0 << 0 << 2 << 1;
    QTest::newRow("lead byte before TAB") << QByteArray("1\t\x82\t3\r\n") << 0 << 0 << 1 << 1;
    QTest::newRow("kanji, katakana and EUDC are Shift-JIS")
            << QByteArray("\x8A\xBF\xB1\xF0\x40\x82\xA0" "ABCDEFGHIJ\r\n") << 0 << 0 << 0 << 0;
    QTest::newRow("bad byte in a dropped 20th field") << QByteArray("1\r\n" + twenty + "\xFF\r\n") << 1 << 2 << 1 << 2;
}

void tst_File::readFacts()
{
    QFETCH(QByteArray, content);
    QFETCH(int, longLines);
    QFETCH(int, firstLong);
    QFETCH(int, oddLines);
    QFETCH(int, firstOdd);

    const QString path = dir.filePath("facts.dat");
    QVERIFY(writeFile(path, content));
    qnVelTorData data;
    ReadFacts facts;
    facts.oddLines = 99; // stale values must be replaced
    QVERIFY(ReadReportFile(path, &data, {}, &facts));
    QCOMPARE(int(facts.longLines), longLines);
    QCOMPARE(int(facts.firstLongLine), firstLong);
    QCOMPARE(int(facts.oddLines), oddLines);
    QCOMPARE(int(facts.firstOddLine), firstOdd);
}

// How each line ended and what it held beside its fields: what a save
// writes otherwise than the file had it. The same from every reader, from
// the splitter fed in two chunks cut anywhere and byte by byte, and from one
// that reads every line as it comes rather than keeping it whole.
void tst_File::lineFacts_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("facts");

    const QByteArray line = "a" + QByteArray(18, '\t'); // 19 fields
    const auto row = [](const char *name, const QByteArray &content, const char *facts) {
        QTest::newRow(name) << content << QString::fromLatin1(facts);
    };
    row("empty file", QByteArray(), "lines 0");
    row("CR LF lines", line + "\r\n" + line + "\r\n", "lines 2");
    row("LF only", line + "\n" + line + "\n", "lines 2; lfOnly 2@1");
    row("CR LF, then LF only", line + "\r\n" + line + "\n", "lines 2; lfOnly 1@2");
    row("no final line end", line + "\r\n" + line, "lines 2; unended 2");
    row("TABs only, no final line end", "\t", "lines 1; short 1@1; unended 1");
    row("5 fields", line + "\r\n1\t2\t3\t4\t5\r\n", "lines 2; short 1@2");
    row("blank line", line + "\r\n\r\n" + line + "\r\n", "lines 3; blank 1@2");
    row("blank LF-only line", "\n", "lines 1; blank 1@1; lfOnly 1@1");
    row("a TAB too many", line + "\t\r\n", "lines 1; emptyExtra 1@1");
    row("a value past the 19th field", line + "\tx\r\n", "lines 1; long 1@1");
    row("CR alone within a field", line + "\r\n0\r4" + line + "\r\n", "lines 2; loneCr 1@2");
    row("CR CR LF", line + "\r\r\n", "lines 1; loneCr 1@1");
    row("CRs alone make a blank line", "\r\r\n" + line + "\r\n", "lines 2; blank 1@1; loneCr 1@1");
    row("CR before the 0x1A", line + "\r\x1A", "lines 1; loneCr 1@1; unended 1; 0x1A");
    row("CR last, no LF", line + "\r", "lines 1; loneCr 1@1; unended 1");
    row("a CR after the last line end", line + "\r\n\r", "lines 1; loneCr 1@2");
    row("CR alone on lines 2 and 4", line + "\r\n\r" + line + "\r\n" + line + "\r\n" + line + "\rx\r\n",
        "lines 4; loneCr 2@2");
    row("0x1A after the last line", line + "\r\n\x1A", "lines 1; 0x1A");
    row("0x1A inside a line", line + "x\x1A" "y\r\n", "lines 1; unended 1; 0x1A");
    row("everything at once", "\t\t\r\n" + line + "\n\n\r" + line + "\t\t\r\n" + line + "\tz\n\x82",
        "lines 6; long 1@5; emptyExtra 1@4; short 2@1; blank 1@3; lfOnly 3@2; loneCr 1@4; odd 1@6; unended 6");
}

void tst_File::lineFacts()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, facts);
    const QString path = dir.filePath("line-facts.dat");
    QVERIFY(writeFile(path, content));
    qnVelTorData data;
    ReadFacts read;
    QVERIFY(ReadReportFile(path, &data, {}, &read));
    QCOMPARE(TestSupport::lineFactsText(read), facts);
    QCOMPARE(read.lines, std::uint64_t(data.RecordCount()));
    QVERIFY(ReadReportLines(path, {}, {}, nullptr, &read));
    QCOMPARE(TestSupport::lineFactsText(read), facts);

    const auto fed = [&content](const std::vector<qsizetype> &cuts, std::size_t cellLimit) {
        ReportLineSplitter splitter({});
        splitter.cellLimit = cellLimit;
        splitter.streamAfter = 0;
        qsizetype from = 0;
        for (const qsizetype cut : cuts) {
            splitter.PutBytes(content.constData() + from, std::size_t(cut - from));
            from = cut;
        }
        splitter.Finish();
        return TestSupport::lineFactsText(splitter.Facts());
    };
    for (qsizetype split = 0; split <= content.size(); ++split) {
        QCOMPARE(fed({split, content.size()}, 0), facts);
        QCOMPARE(fed({split, content.size()}, 1), facts);
    }
    std::vector<qsizetype> everyByte;
    for (qsizetype i = 1; i <= content.size(); ++i)
        everyByte.push_back(i);
    QCOMPARE(fed(everyByte, 0), facts);
    QCOMPARE(fed(everyByte, 1), facts);
}

void tst_File::streamedLinesKeepTheirStart()
{
    // Lines of every shape, the longest of hundreds of kilobytes, fed in
    // chunks of random sizes to a splitter that reads a line chunk borders
    // cut as it comes: each field is the start of the field a splitter
    // keeping every line whole gives, the facts are the same, and no line
    // longer than a chunk is handed over whole.
    std::mt19937 random(20260301);
    static const QByteArray pieces[] = {"\r", "\r\r", "\x82\xA0", "\x82", "\xFF", "\xB1", QByteArray(1, '\0')};
    QByteArray content;
    for (int line = 0; line < 60; ++line) {
        const qsizetype length = random() % 4 == 0 ? qsizetype(random() % 300000) : qsizetype(random() % 200);
        const qsizetype start = content.size();
        while (content.size() - start < length) {
            const unsigned kind = random() % 100;
            if (kind < 96)
                content += QByteArray(int(random() % 256), char('A' + random() % 26));
            else if (kind == 96)
                content += '\t';
            else
                content += pieces[random() % std::size(pieces)];
        }
        content += random() % 3 ? "\r\n" : "\n";
    }
    content += "last\t\x82";
    constexpr qsizetype maxChunk = 70000;

    // The fields cut to `cellLimit` bytes when it is not 0, and the most
    // bytes a line was handed over with.
    const auto read = [&](std::size_t cellLimit, qsizetype chunk, LineFacts &facts, qsizetype *handed) {
        QByteArrayList lines;
        ReportLineSplitter splitter([&](const std::string_view *fields, std::size_t count) {
            for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
                QByteArrayList texts;
                qsizetype bytes = 0;
                for (std::size_t f = 0; f < FieldCount; ++f) {
                    bytes += qsizetype(fields[f].size());
                    texts << QByteArray(fields[f].data(), qsizetype(fields[f].size()));
                    if (cellLimit)
                        texts.last().truncate(qsizetype(cellLimit));
                }
                *handed = std::max(*handed, bytes);
                lines << texts.join('|');
            }
        });
        splitter.cellLimit = cellLimit;
        splitter.streamAfter = 1000;
        for (qsizetype at = 0; at < content.size();) {
            const qsizetype size = std::min<qsizetype>(content.size() - at, 1 + qsizetype(random() % chunk));
            splitter.PutBytes(content.constData() + at, std::size_t(size));
            at += size;
        }
        splitter.Finish();
        facts = splitter.Facts();
        return lines;
    };
    LineFacts whole;
    qsizetype wholeHanded = 0;
    const QByteArrayList expected = read(0, maxChunk, whole, &wholeHanded);
    QVERIFY(wholeHanded > 2 * maxChunk);
    for (const std::size_t limit : {1, 7, 101}) {
        QByteArrayList cut;
        for (const QByteArray &line : expected) {
            QByteArrayList fields = line.split('|');
            for (QByteArray &field : fields)
                field.truncate(qsizetype(limit));
            cut << fields.join('|');
        }
        LineFacts streamed;
        qsizetype handed = 0;
        QCOMPARE(read(limit, maxChunk, streamed, &handed), cut);
        QCOMPARE(TestSupport::lineFactsText(streamed), TestSupport::lineFactsText(whole));
        QVERIFY(handed <= maxChunk + 1000);
    }
    QVERIFY(whole.loneCrLines > 0 && whole.oddLines > 0 && whole.longLines > 0 && whole.lfOnlyLines > 0);
}

void tst_File::splitterEqualsBytewise_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray twenty = QByteArray("\t").repeated(19);
    QByteArray blocks;
    for (int i = 0; i < 40; ++i)
        blocks += QByteArray::number(i) + "\tx\r\n";
    QByteArray wide;
    for (int i = 0; i < 3; ++i) {
        for (int f = 0; f < 25; ++f)
            wide += "f" + QByteArray::number(i * 100 + f) + (f == 12 && i == 1 ? "\x82" : "") + "\t";
        wide += "end\r\n";
    }
    QTest::newRow("example") << exampleFile;
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("LF only lines") << QByteArray("\n\n\n");
    QTest::newRow("CR inside a field") << QByteArray("a\tb\rc\r\nd\r\n");
    QTest::newRow("two CRs before LF") << QByteArray("ab\r\ncd\te\r\r\n\tf");
    QTest::newRow("CR alone at the end") << QByteArray("a\n\r");
    QTest::newRow("CR alone as a line") << QByteArray("a\r\n\r\r\nb");
    QTest::newRow("EOF marker inside a line") << QByteArray("a\tb\x1A" "c\n");
    QTest::newRow("EOF marker after CR") << QByteArray("a\r\x1A\nb");
    QTest::newRow("EOF marker at a line start") << QByteArray("a\r\n\x1A\tb\r\n");
    QTest::newRow("TAB-only last line") << QByteArray("a\n\t\t");
    QTest::newRow("many short lines over 64-byte blocks") << blocks;
    QTest::newRow("long lines over 64-byte blocks") << wide;
    QTest::newRow("20 fields") << QByteArray("1\r\n2" + twenty + "\xFF\r\n3");
    QTest::newRow("filled 20th field, then an empty one") << QByteArray("1\r\n2" + twenty + "x\t\r\n3");
    QTest::newRow("odd bytes on two lines") << QByteArray("\xFF\r\nok\r\nXY\x82\tZ\r\n");
    QTest::newRow("NUL byte") << QByteArray("1\r\nA\0B\r\n", 8);
}

void tst_File::splitterEqualsBytewise()
{
    // The splitter, fed in two chunks split anywhere or byte by byte, gives
    // the lines and facts that feeding the translated bytes one by one to
    // the reader gives.
    QFETCH(QByteArray, content);
    qnVelTorData bytewise;
    qnVelTorFileReader single(&bytewise, QString());
    feedBytewise(single, content);
    const QByteArrayList expected = records(bytewise);
    const ReadFacts facts = single.Facts();

    const auto check = [&](const std::vector<qsizetype> &cuts) {
        QByteArrayList lines;
        ReportLineSplitter splitter([&lines](const std::string_view *fields, std::size_t count) {
            for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
                QByteArrayList texts;
                for (std::size_t f = 0; f < FieldCount; ++f)
                    texts << QByteArray(fields[f].data(), qsizetype(fields[f].size()));
                lines << texts.join('|');
            }
        });
        qsizetype from = 0;
        for (const qsizetype cut : cuts) {
            splitter.PutBytes(content.constData() + from, std::size_t(cut - from));
            from = cut;
        }
        QVERIFY(splitter.Finish());
        QVERIFY(splitter.Finish()); // ending twice adds nothing
        QCOMPARE(lines, expected);
        QCOMPARE(splitter.Lines(), std::uint64_t(expected.size()));
        QCOMPARE(splitter.LongLines(), facts.longLines);
        QCOMPARE(splitter.FirstLongLine(), facts.firstLongLine);
        QCOMPARE(splitter.OddLines(), facts.oddLines);
        QCOMPARE(splitter.FirstOddLine(), facts.firstOddLine);
    };
    for (qsizetype split = 0; split <= content.size(); ++split) {
        check({split, content.size()});
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("split at %1").arg(split)));
    }
    std::vector<qsizetype> everyByte;
    for (qsizetype i = 1; i <= content.size(); ++i)
        everyByte.push_back(i);
    check(everyByte);
}

void tst_File::readLinesEqualsReadFile()
{
    // Several read chunks, with lines, a CR LF and a double-byte character
    // cut by chunk borders: the lines handed over as views are the records
    // of a plain read, and a cancelled read says so.
    QByteArray content;
    for (int i = 0; content.size() < 2 * 1024 * 1024 + 5; ++i) {
        content += QByteArray::number(i) + "\t\x83\x65" + QByteArray(i % 97, 'x') + "\t\t"
                + (i % 1000 == 7 ? "\xFF" : "") + "last\r\n";
    }
    content += "tail\twithout line end";
    const QString path = dir.filePath("lines.dat");
    QVERIFY(writeFile(path, content));

    qnVelTorData whole;
    ReadFacts wholeFacts;
    QVERIFY(ReadReportFile(path, &whole, {}, &wholeFacts));

    QByteArrayList lines;
    const TakeLines take = [&lines](const std::string_view *fields, std::size_t count) {
        for (std::size_t line = 0; line < count; ++line, fields += FieldCount) {
            QByteArrayList texts;
            for (std::size_t f = 0; f < FieldCount; ++f)
                texts << QByteArray(fields[f].data(), qsizetype(fields[f].size()));
            lines << texts.join('|');
        }
    };
    ReadFailure failure = ReadFailure::Cancelled;
    ReadFacts facts;
    QVERIFY(ReadReportLines(path, take, {}, &failure, &facts));
    QCOMPARE(failure, ReadFailure::None);
    QCOMPARE(lines, records(whole));
    QCOMPARE(facts.oddLines, wholeFacts.oddLines);
    QVERIFY(facts.oddLines > 0);
    QCOMPARE(facts.firstOddLine, std::uint64_t(8));

    lines.clear();
    int chunks = 0;
    QVERIFY(!ReadReportLines(
            path, take, [&chunks](std::uint64_t, std::uint64_t) { return ++chunks < 2; }, &failure));
    QCOMPARE(failure, ReadFailure::Cancelled);
    QCOMPARE(chunks, 2);

    QVERIFY(!ReadReportLines(dir.filePath("missing.dat"), take, {}, &failure));
    QCOMPARE(failure, ReadFailure::NotFound);
}

void tst_File::oddLinesAsTheByteCheckFindsThem()
{
    // Random lines rich in runs of lead bytes of both lengths, across the
    // splitter's 64-byte blocks and ending on TAB, CR LF and LF: a line
    // counts as not Shift-JIS exactly when the plain byte check says so.
    static const unsigned char leads[] = {0x81, 0x82, 0x9F, 0xE0, 0xEA, 0xFC};
    static const unsigned char others[] = {'a', '0', 0x40, 0x7E, 0xA1, 0xB1, 0xDF, 0x5C};
    static const unsigned char rare[] = {0x80, 0xA0, 0x7F, 0x3F, '\t', 0x01, 0xFD, 0xFF, 0x00};
    std::mt19937 random(20261207);
    QByteArray content;
    std::uint64_t odd = 0;
    std::uint64_t firstOdd = 0;
    for (std::uint64_t line = 1; line <= 3000; ++line) {
        QByteArray text;
        const unsigned length = random() % 160;
        for (unsigned i = 0; i < length; ++i) {
            const unsigned kind = random() % 100;
            if (kind < 50)
                text += char(leads[random() % sizeof leads]);
            else if (kind < 97)
                text += char(others[random() % sizeof others]);
            else
                text += char(rare[random() % sizeof rare]);
        }
        const bool wellFormed = ShiftJis::IsWellFormed(std::string_view(text.constData(), std::size_t(text.size())));
        if (!wellFormed && !odd++)
            firstOdd = line;
        const QByteArray end = random() % 2 ? "\r\n" : "\n";
        ReportLineSplitter alone({});
        alone.PutBytes(text.constData(), std::size_t(text.size()));
        alone.PutBytes(end.constData(), std::size_t(end.size()));
        QVERIFY(alone.Finish());
        QVERIFY2(alone.OddLines() == (wellFormed ? 0u : 1u), text.toHex().constData());
        content += text + end;
    }
    QVERIFY(odd > 300 && odd < 2700); // both kinds of line are well represented

    ReportLineSplitter splitter({});
    splitter.PutBytes(content.constData(), std::size_t(content.size()));
    QVERIFY(splitter.Finish());
    QCOMPARE(splitter.Lines(), std::uint64_t(3000));
    QCOMPARE(splitter.OddLines(), odd);
    QCOMPARE(splitter.FirstOddLine(), firstOdd);
}

QTEST_GUILESS_MAIN(tst_File)
#include "tst_file.moc"
