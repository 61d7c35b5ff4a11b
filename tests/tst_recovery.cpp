// Unsaved work kept for a start after a crash: the recovery copy's bytes
// read back exactly, a damaged or foreign one refused, the copy taken while
// the window goes on editing, written and taken away as the report's
// unsaved state says, and offered back at start, also after the editor
// was killed.

#include "ChoiceBoxes.h"
#include "FileMessages.h"
#include "RecoveryCopies.h"
#include "RecoveryFile.h"
#include "RecoveryFolder.h"
#include "RecoveryMessages.h"
#include "RecoverySnapshot.h"
#include "WindowSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QUndoStack>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <thread>

using namespace TestSupport;

namespace {

constexpr char ChildVariable[] = "QNVELTOR_EDITING_CHILD";
const QString ReportName = QStringLiteral("1234567890202404TEST.dat");
const QByteArray ThreeLines = fileLines({QStringLiteral("1|A|曲名"), QStringLiteral("2|B"), QStringLiteral("3")});

// Every line's 19 cells as bytes, cells between bars, one line a row.
QByteArray cellDump(const ReportDocument &document)
{
    QByteArray dump;
    for (int line = 0; line < document.LineCount(); ++line) {
        for (int field = 0; field < int(FieldCount); ++field)
            dump += bytes(document.Cell(line, field)) + '|';
        dump += '\n';
    }
    return dump;
}

// A report and its file session, as the window holds them.
struct Report
{
    ReportDocument document;
    ReportFile file {document};
};

// A recovery copy's bytes with the digest at their end made again, for a
// copy changed on purpose that only its lines or counts give away.
QByteArray resealed(QByteArray copy)
{
    copy.chop(69); // "end " + 64 hex digits + LF
    return copy + "end " + QCryptographicHash::hash(copy, QCryptographicHash::Sha256).toHex() + '\n';
}

// A copy in the cache folder that no running editor holds, as a killed one
// leaves it: three lines of a saved report with one cell changed.
QString orphanCopy(const QString &reportPath, const QByteArray &cell)
{
    Report report;
    if (!report.file.Load(reportPath).Ok() || report.document.SetCell(1, 2, cell.toStdString()) != EditResult::Done)
        return {};
    const RecoveryFolder::HeldCopy held = RecoveryFolder::NewCopy();
    if (held.path.isEmpty() || RecoverySnapshot(report.document, report.file).Write(held.path) != WriteFailure::None)
        return {};
    return held.path;
}

// The child's part in killedEditorsWorkIsOffered: opens the report, types a
// cell, says so once its copy is written, and waits to be killed.
int editingChild(const QString &reportPath)
{
    Window window(false);
    window.form.Recovery().SetInterval(100);
    QSignalSpy copied(&window.form.Recovery(), &RecoveryCopies::copied);
    if (!window.form.LoadReport(reportPath))
        return 2;
    type(window.form, 2, 3, QStringLiteral("打鍵"));
    if (!copied.wait(10000))
        return 3;
    std::printf("copied\n");
    std::fflush(stdout);
    for (;;)
        QTest::qWait(1000);
}

} // namespace

class tst_Recovery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void factsAndLinesReadBackExactly_data();
    void factsAndLinesReadBackExactly();
    void reportRestoredAsItWas_data();
    void reportRestoredAsItWas();
    void damagedCopyRefused_data();
    void damagedCopyRefused();
    void snapshotKeepsWhatItSaw_data();
    void snapshotKeepsWhatItSaw();

    void copyFollowsUnsavedWork_data();
    void copyFollowsUnsavedWork();
    void copiesAtMostOnceAnInterval();

    void offerAnswered_data();
    void offerAnswered();
    void severalCopiesOfferedInTurn();
    void restoredReportAsksBeforeSavingOverANewerFile();
    void unreadableCopyToldAndSetAside_data();
    void unreadableCopyToldAndSetAside();
    void killedEditorsWorkIsOffered();

private:
    QString writeReport(const QByteArray &content, const QString &name = ReportName);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> cache;
};

void tst_Recovery::init()
{
    dir = std::make_unique<QTemporaryDir>();
    cache = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid() && cache->isValid());
    // The copies of each case go to a cache folder of its own.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache->path()));
}

void tst_Recovery::cleanup()
{
    dir.reset();
    cache.reset();
}

QString tst_Recovery::writeReport(const QByteArray &content, const QString &name)
{
    const QString path = dir->filePath(name);
    return writeFile(path, content) ? path : QString();
}

void tst_Recovery::factsAndLinesReadBackExactly_data()
{
    QTest::addColumn<RecoveryFacts>("facts");
    QTest::addColumn<QList<QByteArrayList>>("lines");

    // Every byte a cell may hold, in cells short and long.
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\t' && b != '\r' && b != '\n' && b != 0x1A)
            all += char(b);
    }
    RecoveryFacts plain;
    plain.reportPath = QStringLiteral("/home/user/1234567890202404TEST.dat");
    plain.identity = {true, 2049, 1234567, 987, 1700000000123456789, 1700000000223456789};
    plain.copiedMs = 1712345678901;
    plain.headers = {"1234567890", "202404", "TEST"};
    RecoveryFacts odd = plain;
    odd.reportPath = QStringLiteral("/tmp/報告 %20 #1/a b.dat");
    odd.identity = {};
    odd.format = {{FormatProblem::Kind::LfOnlyLineEnds, 9, 1}, {FormatProblem::Kind::LoneCr, 1, 4},
                  {FormatProblem::Kind::LongLines, 3, 7}, {FormatProblem::Kind::BytesAfterEofMark, 12, 0}};
    // Header values come from file names, which may hold any byte.
    odd.headers = {std::string("\n\t\0\r", 4), "", std::string(300, '\x82')};
    RecoveryFacts none;

    QTest::newRow("a new report with nothing in it") << none << QList<QByteArrayList>();
    QTest::newRow("a saved report") << plain
                                    << QList<QByteArrayList> {{"1", "A", sjis(QStringLiteral("曲名"))}, {}, {"3"}};
    QTest::newRow("every byte a cell holds, in short and long cells")
            << plain << QList<QByteArrayList> {{all.left(14), all.mid(14, 15), all.mid(29)}, {all}};
    QTest::newRow("odd path, header values and losses") << odd << QList<QByteArrayList> {{"x"}};
    QList<QByteArrayList> many;
    for (int i = 0; i < 5000; ++i)
        many << QByteArrayList {QByteArray::number(i), QByteArray(i % 40 + 1, 'q')};
    QTest::newRow("lines beyond one chunk of the reader") << plain << many;
}

void tst_Recovery::factsAndLinesReadBackExactly()
{
    QFETCH(RecoveryFacts, facts);
    QFETCH(QList<QByteArrayList>, lines);
    facts.lines = std::uint64_t(lines.size());
    const QString path = dir->filePath(QStringLiteral("copy.qnvrec"));
    const auto fields = [&lines](std::uint32_t line, std::string_view(&views)[FieldCount]) {
        for (unsigned field = 0; field < FieldCount; ++field) {
            const QByteArrayList &cells = lines[qsizetype(line)];
            views[field] = qsizetype(field) < cells.size()
                    ? std::string_view(cells[field].constData(), std::size_t(cells[field].size()))
                    : std::string_view();
        }
    };
    QCOMPARE(WriteRecoveryFile(path, facts, fields), WriteFailure::None);
    QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    RecoveryFacts head;
    QCOMPARE(ReadRecoveryFacts(path, head), RecoveryFailure::None);
    QCOMPARE(head, facts);
    RecoveryFacts read;
    QList<QByteArrayList> readLines;
    const auto take = [&readLines](const std::string_view *views, std::size_t count) {
        for (std::size_t line = 0; line < count; ++line, views += FieldCount) {
            QByteArrayList cells;
            for (unsigned field = 0; field < FieldCount; ++field)
                cells << bytes(views[field]);
            while (!cells.isEmpty() && cells.last().isEmpty())
                cells.removeLast();
            readLines << cells;
        }
    };
    QCOMPARE(ReadRecoveryFile(path, read, take), RecoveryFailure::None);
    QCOMPARE(read, facts);
    QCOMPARE(readLines, lines);
}

void tst_Recovery::reportRestoredAsItWas_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: a new report
    QTest::addColumn<bool>("edited");

    QTest::newRow("a saved report with an edit") << ThreeLines << true;
    QTest::newRow("a saved report whose edit was undone") << ThreeLines << false;
    QTest::newRow("a new report typed into") << QByteArray() << true;
}

void tst_Recovery::reportRestoredAsItWas()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, edited);
    Report report;
    if (!file.isEmpty())
        QVERIFY(report.file.Load(writeReport(file)).Ok());
    QCOMPARE(report.document.SetCell(4, 18, "\x82\xa0long cell of twenty bytes"), EditResult::Done);
    QCOMPARE(report.document.SetCell(1, 0, "\x81"), EditResult::Done);
    QCOMPARE(report.document.SetHeaderText(ReportDocument::NiniMoziretsu, QStringLiteral("ＸＹ"), 1),
             EditResult::Done);
    if (!edited)
        QVERIFY(report.document.Undo() == EditResult::Done);
    const QString copy = dir->filePath(QStringLiteral("copy.qnvrec"));
    QCOMPARE(RecoverySnapshot(report.document, report.file).Write(copy), WriteFailure::None);

    Report restored;
    QVERIFY(restored.file.Load(writeReport(fileLines({QStringLiteral("other")}), QStringLiteral("other.dat"))).Ok());
    QSignalSpy paths(&restored.file, &ReportFile::pathChanged);
    const ReportFile::RestoreResult result = restored.file.Restore(copy);
    QCOMPARE(result.failure, RecoveryFailure::None);
    QCOMPARE(cellDump(restored.document), cellDump(report.document));
    QCOMPARE(restored.document.HeaderValues(), report.document.HeaderValues());
    QCOMPARE(restored.file.Path(), report.file.Path());
    QCOMPARE(paths.size(), 1);
    QCOMPARE(restored.file.Identity(), report.file.Identity());
    QCOMPARE(restored.file.FileBaseName(), report.file.FileBaseName());
    QCOMPARE(verdictMismatch(restored.document), QString());
    // Unsaved until a save, also when the copy holds what the file does.
    QVERIFY(restored.document.IsModified());
    QVERIFY(!restored.document.UndoStack()->canUndo());
}

void tst_Recovery::damagedCopyRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<RecoveryFailure>("failure");
    QTest::addColumn<bool>("headReadable");

    QTest::newRow("empty") << "empty" << RecoveryFailure::Foreign << false;
    QTest::newRow("another program's text") << "foreign" << RecoveryFailure::Foreign << false;
    QTest::newRow("a later version") << "version 2" << RecoveryFailure::Newer << false;
    QTest::newRow("version 0") << "version 0" << RecoveryFailure::Foreign << false;
    QTest::newRow("cut after its first line") << "cut head" << RecoveryFailure::Damaged << false;
    QTest::newRow("cut in its lines") << "cut lines" << RecoveryFailure::Damaged << false;
    QTest::newRow("no end line") << "no end" << RecoveryFailure::Damaged << false;
    QTest::newRow("a byte after the end line") << "trailing" << RecoveryFailure::Damaged << false;
    QTest::newRow("a cell's byte changed") << "flipped" << RecoveryFailure::Damaged << true;
    QTest::newRow("a line of 18 fields") << "18 fields" << RecoveryFailure::Damaged << true;
    QTest::newRow("a line of 20 fields") << "20 fields" << RecoveryFailure::Damaged << true;
    QTest::newRow("a line ended by LF alone") << "lone LF" << RecoveryFailure::Damaged << true;
    QTest::newRow("a line fewer counted than there are") << "count" << RecoveryFailure::Damaged << true;
    QTest::newRow("a negative line count") << "negative" << RecoveryFailure::Damaged << false;
    QTest::newRow("a kind of form no version knows") << "form kind" << RecoveryFailure::Damaged << false;
    QTest::newRow("fewer form problems than counted") << "form count" << RecoveryFailure::Damaged << false;
    QTest::newRow("a folder") << "folder" << RecoveryFailure::CannotOpen << false;
}

void tst_Recovery::damagedCopyRefused()
{
    QFETCH(QString, change);
    QFETCH(RecoveryFailure, failure);
    QFETCH(bool, headReadable);
    Report report;
    const QString reportPath = writeReport(ThreeLines);
    QVERIFY(report.file.Load(reportPath).Ok());
    QCOMPARE(report.document.SetCell(1, 2, "xyz"), EditResult::Done);
    const QString copy = dir->filePath(QStringLiteral("copy.qnvrec"));
    QCOMPARE(RecoverySnapshot(report.document, report.file).Write(copy), WriteFailure::None);
    QByteArray bytes = readFile(copy);
    const qsizetype firstLine = bytes.indexOf('\n') + 1;
    const qsizetype linesStart = bytes.indexOf("\n1\t") + 1;
    const qsizetype cell = bytes.indexOf("xyz");
    if (change == "empty")
        bytes.clear();
    else if (change == "foreign")
        bytes = ThreeLines;
    else if (change.startsWith("version "))
        bytes.replace(firstLine - 2, 1, change.right(1).toLatin1());
    else if (change == "cut head")
        bytes.truncate(firstLine + 3);
    else if (change == "cut lines")
        bytes.truncate(cell);
    else if (change == "no end")
        bytes.chop(69);
    else if (change == "trailing")
        bytes += '\n';
    else if (change == "flipped")
        bytes[cell] = 'X';
    else if (change == "18 fields")
        bytes = resealed(bytes.replace(cell - 1, 1, "Y"));
    else if (change == "20 fields")
        bytes = resealed(bytes.replace(cell + 1, 1, "\t"));
    else if (change == "lone LF")
        bytes = resealed(bytes.replace(bytes.indexOf("\r\n", linesStart), 1, "Z"));
    else if (change == "count")
        bytes = resealed(bytes.replace("lines 3 ", "lines 2 "));
    else if (change == "negative")
        bytes.replace("lines 3 ", "lines -3 ");
    else if (change == "form kind")
        bytes = resealed(bytes.replace("format 0\n", "format 1 99 1 1\n"));
    else if (change == "form count")
        bytes = resealed(bytes.replace("format 0\n", "format 2 2 1 1\n"));
    QVERIFY(change == "folder" ? QFile::remove(copy) && QDir().mkdir(copy) : writeFile(copy, bytes));

    RecoveryFacts facts;
    QCOMPARE(ReadRecoveryFacts(copy, facts) == RecoveryFailure::None, headReadable);
    QCOMPARE(ReadRecoveryFile(copy, facts, [](const std::string_view *, std::size_t) { }), failure);
    // A restore that fails leaves the report shown as it was.
    const QByteArray before = cellDump(report.document);
    QCOMPARE(report.file.Restore(copy).failure, failure);
    QCOMPARE(cellDump(report.document), before);
    QCOMPARE(report.file.Path(), reportPath);
    QVERIFY(report.document.IsModified());
    QVERIFY(report.document.UndoStack()->canUndo());
}

void tst_Recovery::snapshotKeepsWhatItSaw_data()
{
    QTest::addColumn<QString>("after");

    QTest::newRow("its cells changed") << "cells";
    QTest::newRow("its lines removed, the steps dropped") << "lines";
    QTest::newRow("another report opened") << "open";
    QTest::newRow("a new report") << "new";
}

void tst_Recovery::snapshotKeepsWhatItSaw()
{
    QFETCH(QString, after);
    // Lines of the report's arena, and lines of blocks of their own.
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << QStringLiteral("%1|title %1|").arg(i) + QString(i % 30, u'w');
    Report report;
    QVERIFY(report.file.Load(writeReport(fileLines(lines))).Ok());
    for (int line = 0; line < 3000; line += 2)
        QCOMPARE(report.document.SetCell(line, 5, QByteArray::number(line).repeated(4).toStdString()),
                 EditResult::Done);
    const QByteArray seen = cellDump(report.document);
    auto snapshot = std::make_unique<RecoverySnapshot>(report.document, report.file);

    // Everything the snapshot reads is freed, and its memory taken again.
    if (after == "cells") {
        for (int line = 0; line < 3000; ++line)
            QCOMPARE(report.document.SetCell(line, 5, std::string(24, 'Z')), EditResult::Done);
        report.document.UndoStack()->clear();
    } else if (after == "lines") {
        QCOMPARE(report.document.RemoveLines(0, 3000), EditResult::Done);
        report.document.UndoStack()->clear();
    } else if (after == "open") {
        QVERIFY(report.file.Load(writeReport(fileLines({QStringLiteral("other")}), QStringLiteral("o.dat"))).Ok());
    } else {
        report.file.New();
    }
    for (int line = 0; line < 3000; ++line)
        QCOMPARE(report.document.SetCell(report.document.LineCount(), 7, std::string(24 + line % 8, 'Q')),
                 EditResult::Done);

    // Written on another thread, as the window's copies are.
    const QString copy = dir->filePath(QStringLiteral("copy.qnvrec"));
    WriteFailure written = WriteFailure::CannotCreate;
    std::thread writer([&] {
        written = snapshot->Write(copy);
        snapshot.reset();
    });
    writer.join();
    QCOMPARE(written, WriteFailure::None);
    Report restored;
    QCOMPARE(restored.file.Restore(copy).failure, RecoveryFailure::None);
    QCOMPARE(cellDump(restored.document), seen);
}

void tst_Recovery::copyFollowsUnsavedWork_data()
{
    QTest::addColumn<QString>("then");

    QTest::newRow("saved") << "save";
    QTest::newRow("saved as another file") << "save as";
    QTest::newRow("undone back to the saved state") << "undo";
    QTest::newRow("a new report") << "new";
    QTest::newRow("another report opened") << "open";
    QTest::newRow("the window gone, its close asked") << "close";
}

void tst_Recovery::copyFollowsUnsavedWork()
{
    QFETCH(QString, then);
    Report report;
    const QString path = writeReport(ThreeLines);
    QVERIFY(report.file.Load(path).Ok());
    auto copies = std::make_unique<RecoveryCopies>(report.document, report.file);
    copies->SetInterval(20);
    QSignalSpy copied(copies.get(), &RecoveryCopies::copied);
    QVERIFY(!copied.wait(200)); // nothing unsaved, no copy

    QCOMPARE(report.document.SetCell(2, 4, "edit"), EditResult::Done);
    QVERIFY(copied.wait(5000));
    QCOMPARE(copied.at(0).at(0).value<WriteFailure>(), WriteFailure::None);
    const QString copy = copies->Path();
    Report restored;
    QVERIFY(restored.file.Restore(copy).Ok());
    QCOMPARE(cellDump(restored.document), cellDump(report.document));

    if (then == "save")
        QVERIFY(report.file.Save(path).Written());
    else if (then == "save as")
        QVERIFY(report.file.Save(dir->filePath(QStringLiteral("b.dat"))).Written());
    else if (then == "undo")
        QCOMPARE(report.document.Undo(), EditResult::Done);
    else if (then == "new")
        report.file.New();
    else if (then == "open")
        QVERIFY(report.file.Load(path).Ok());
    else
        copies.reset();
    QVERIFY(!QFileInfo::exists(copy));
    QVERIFY(!copied.wait(200));
}

void tst_Recovery::copiesAtMostOnceAnInterval()
{
    Report report;
    QVERIFY(report.file.Load(writeReport(ThreeLines)).Ok());
    RecoveryCopies copies(report.document, report.file);
    copies.SetInterval(600);
    QSignalSpy copied(&copies, &RecoveryCopies::copied);
    // Changes that go on without a pause are copied all the same, once an
    // interval.
    QElapsedTimer typing;
    typing.start();
    for (int i = 0; typing.elapsed() < 2000; ++i) {
        QCOMPARE(report.document.SetCell(0, 4, "edit " + std::to_string(i)), EditResult::Done);
        QTest::qWait(50);
    }
    QVERIFY2(copied.size() >= 2 && copied.size() <= 4, QByteArray::number(copied.size()));
    // The last change is copied too, and nothing changed since makes no
    // copy more.
    const auto copiedLines = [&copies] {
        Report restored;
        return restored.file.Restore(copies.Path()).Ok() ? cellDump(restored.document) : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(copiedLines(), cellDump(report.document), 5000);
    const qsizetype copiesMade = copied.size();
    QVERIFY(!copied.wait(1500));
    QCOMPARE(copied.size(), copiesMade);
}

void tst_Recovery::offerAnswered_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("cell"); // line 1, field 2 once the offer is answered
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("offeredAgain");

    QTest::newRow("復元する") << int(QMessageBox::Yes) << QStringLiteral("残す") << true << false;
    QTest::newRow("破棄する") << int(QMessageBox::Discard) << QString() << false << false;
    QTest::newRow("あとで") << int(QMessageBox::No) << QString() << false << true;
}

void tst_Recovery::offerAnswered()
{
    QFETCH(int, answer);
    QFETCH(QString, cell);
    QFETCH(bool, modified);
    QFETCH(bool, offeredAgain);
    const QString reportPath = writeReport(ThreeLines);
    const QString copy = orphanCopy(reportPath, sjis(QStringLiteral("残す")));
    QVERIFY(!copy.isEmpty());
    RecoveryFacts facts;
    QCOMPARE(ReadRecoveryFacts(copy, facts), RecoveryFailure::None);

    Window window;
    window.dialogs.answers << answer;
    window.form.OfferRecoveryCopies();
    QCOMPARE(window.dialogs.boxes, QStringList {RecoveryMessages::Offer(facts)});
    QCOMPARE(ShiftJis::ToText(window.form.Document().Cell(1, 2)), cell);
    QCOMPARE(window.form.Modified(), modified);
    QCOMPARE(window.form.CurrentFileName(), modified ? reportPath : QString());
    // A restored copy is the window's own now; its lock tells the next
    // start that its editor still runs.
    QCOMPARE(QFileInfo::exists(copy), offeredAgain);
    if (modified) {
        QVERIFY(QFileInfo::exists(window.form.Recovery().Path()));
        QVERIFY(!window.form.Recovery().Path().isEmpty());
    }
    Window next;
    next.form.OfferRecoveryCopies();
    QCOMPARE(next.dialogs.boxes.size(), offeredAgain ? 1 : 0);
    QCOMPARE(readFile(reportPath), ThreeLines);
}

void tst_Recovery::severalCopiesOfferedInTurn()
{
    const QString first = orphanCopy(writeReport(ThreeLines, QStringLiteral("a.dat")), "first");
    QTest::qWait(50); // offered oldest first
    const QString second = orphanCopy(writeReport(ThreeLines, QStringLiteral("b.dat")), "second");
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    RecoveryFacts firstFacts;
    RecoveryFacts secondFacts;
    QCOMPARE(ReadRecoveryFacts(first, firstFacts), RecoveryFailure::None);
    QCOMPARE(ReadRecoveryFacts(second, secondFacts), RecoveryFailure::None);
    Window window;
    // Both restored: the second asks about the first's unsaved edits,
    // which are left unsaved.
    window.dialogs.answers << QMessageBox::Yes << QMessageBox::Yes << QMessageBox::No;
    window.form.OfferRecoveryCopies();
    QCOMPARE(window.dialogs.boxes.size(), 3);
    QCOMPARE(window.dialogs.boxes.mid(0, 2),
             QStringList({RecoveryMessages::Offer(firstFacts), RecoveryMessages::Offer(secondFacts)}));
    QCOMPARE(window.form.CurrentFileName(), dir->filePath(QStringLiteral("b.dat")));
    QCOMPARE(bytes(window.form.Document().Cell(1, 2)), QByteArray("second"));
    QVERIFY(!QFileInfo::exists(first));
    QVERIFY(!QFileInfo::exists(second));
}

void tst_Recovery::restoredReportAsksBeforeSavingOverANewerFile()
{
    const QString reportPath = writeReport(ThreeLines);
    const QString copy = orphanCopy(reportPath, "mine");
    QVERIFY(!copy.isEmpty());
    // Another program wrote the report after the editor died.
    const QByteArray theirs = fileLines({QStringLiteral("9|theirs")});
    QVERIFY(writeFile(reportPath, theirs));
    Window window;
    window.dialogs.answers << QMessageBox::Yes << QMessageBox::Cancel;
    window.form.OfferRecoveryCopies();
    QVERIFY(window.form.Modified());
    QVERIFY(!window.form.FileSave1Execute(window.form.Ui().FileSave1));
    QCOMPARE(window.dialogs.boxes.size(), 2);
    QCOMPARE(window.dialogs.boxes.at(1), FileMessages::ChangedOnDisk(reportPath, DiskChange::Changed));
    QCOMPARE(readFile(reportPath), theirs);
    QVERIFY(window.form.Modified());
}

void tst_Recovery::unreadableCopyToldAndSetAside_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<RecoveryFailure>("failure"); // None: nothing told
    QTest::addColumn<QString>("left"); // what stays of the copy: "aside", "kept", or nothing

    QTest::newRow("another program's file") << QByteArray("hello\n") << RecoveryFailure::Foreign << "aside";
    QTest::newRow("one of a later version") << QByteArray("qnVelTor unsaved report 9\nreport \n")
                                            << RecoveryFailure::Newer << "kept";
    QTest::newRow("damaged in its head") << QByteArray("qnVelTor unsaved report 1\nreport /a\nidentity x\n")
                                         << RecoveryFailure::Damaged << "aside";
    QTest::newRow("made before its first copy") << QByteArray() << RecoveryFailure::None << "";
}

void tst_Recovery::unreadableCopyToldAndSetAside()
{
    QFETCH(QByteArray, bytes);
    QFETCH(RecoveryFailure, failure);
    QFETCH(QString, left);
    const QString copy = RecoveryFolder::NewCopy().path;
    QVERIFY(!copy.isEmpty());
    QVERIFY(writeFile(copy, bytes));

    Window window;
    window.dialogs.defaultAnswer = QMessageBox::Yes;
    window.form.OfferRecoveryCopies();
    const QString aside = copy + QStringLiteral(".unreadable");
    const QStringList told = failure == RecoveryFailure::None
            ? QStringList()
            : QStringList {RecoveryMessages::Unreadable(copy, failure, left == "aside" ? aside : QString())};
    QCOMPARE(window.dialogs.boxes, told);
    QCOMPARE(QFileInfo::exists(aside), left == "aside");
    QCOMPARE(QFileInfo::exists(copy), left == "kept");
    if (left == "aside")
        QCOMPARE(readFile(aside), bytes);
    QCOMPARE(window.form.Document().LineCount(), 0);
    QVERIFY(!window.form.Modified());
}

void tst_Recovery::killedEditorsWorkIsOffered()
{
    const QString reportPath = writeReport(ThreeLines);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildVariable), reportPath);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    for (QDeadlineTimer deadline(20000); !said.contains("copied") && !deadline.hasExpired();) {
        if (!child.waitForReadyRead(200) && child.state() != QProcess::Running)
            break;
        said += child.readAllStandardOutput();
    }
    QCOMPARE(said, QByteArray("copied\n"));
    child.kill(); // SIGKILL: no destructor, no close runs
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    Window window;
    window.dialogs.answers << QMessageBox::Yes;
    window.form.OfferRecoveryCopies();
    QCOMPARE(window.dialogs.boxes.size(), 1);
    QVERIFY(window.dialogs.boxes.at(0).contains(QDir::toNativeSeparators(reportPath)));
    QCOMPARE(ShiftJis::ToText(window.form.Document().Cell(2, 3)), QStringLiteral("打鍵"));
    QVERIFY(window.form.Modified());
    QCOMPARE(window.form.CurrentFileName(), reportPath);
    QVERIFY(window.form.FileSave1Execute(window.form.Ui().FileSave1));
    QCOMPARE(readFile(reportPath),
             fileLines({QStringLiteral("1|A|曲名"), QStringLiteral("2|B"), QStringLiteral("3|||打鍵")}));
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsSet(ChildVariable))
        return editingChild(qEnvironmentVariable(ChildVariable));
    tst_Recovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recovery.moc"
