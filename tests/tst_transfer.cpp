// The window's wiring of what comes in from and goes out to other programs:
// a file that is not a report offered for import when it is opened (by
// Open, a drop or the command line), Import and Export in the File menu,
// the question before a save that would drop fields, and a large paste
// with its progress and Cancel.

#include "FileMessages.h"
#include "EditMessages.h"
#include "Startup.h"
#include "WindowSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

const QByteArray Bom = "\xEF\xBB\xBF";

// Two lines as a spreadsheet saves them, and the report they give.
const QString Csv = QStringLiteral("1,,,,,,,夜明けの歌,\"ｻﾄｳ,ﾀﾛｳ\"\r\n2,,,,,,,\"曲\n名\"\r\n");
const QStringList CsvLines = {QStringLiteral("1|||||||夜明けの歌|ｻﾄｳ,ﾀﾛｳ"), QStringLiteral("2|||||||曲 名")};

const QString SaveQuestion = QStringLiteral("内容は変更されています。\n変更を保存しますか？");

} // namespace

class tst_Transfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openOffersImport_data();
    void openOffersImport();
    void openAsReportAnywayOrNot_data();
    void openAsReportAnywayOrNot();
    void importAppendsAndSaveKeepsTheReport();
    void importIntoEmptyWindowThenSaveAsks();
    void exportLeavesTheReport();
    void saveAsksBeforeDroppingFields_data();
    void saveAsksBeforeDroppingFields();
    void largePasteShowsProgressAndCancels();

private:
    QString write(const QString &name, const QByteArray &content);
    // Opens a report of the given lines and types into it, so that
    // replacing it asks first.
    void openEdited();

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Window> window;
};

void tst_Transfer::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    window = std::make_unique<Window>();
}

void tst_Transfer::cleanup()
{
    window->form.Document().UndoStack()->setClean(); // closes without a question
    window.reset();
    dir.reset();
}

QString tst_Transfer::write(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    if (!writeFile(path, content))
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

void tst_Transfer::openEdited()
{
    TVelTorForm &f = window->form;
    QVERIFY(f.LoadReport(write(QStringLiteral("1234567890202404OLD.dat"), fileLine("9|||||||old"))));
    type(f, 0, 8, QStringLiteral("typed"));
    QVERIFY(f.Modified());
}

// A CSV .dat, a UTF-8 report and a spreadsheet's UTF-16 text, however they
// come: the save question, then what the file looks like with Import as
// the answer; the lines land in a new report with no file.
void tst_Transfer::openOffersImport_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("looks");

    QString tabs = Csv;
    tabs.replace(u',', u'\t').replace(QStringLiteral("\"ｻﾄｳ\tﾀﾛｳ\""), QStringLiteral("ｻﾄｳ,ﾀﾛｳ"));
    QTest::newRow("Shift-JIS CSV .dat by Open") << "open" << sjis(Csv) << QStringLiteral("カンマ区切り（CSV）のファイル");
    QTest::newRow("UTF-8 report by Open") << "open" << tabs.toUtf8() << QStringLiteral("文字コードがUTF-8のファイル");
    QTest::newRow("UTF-8 CSV with BOM dropped") << "drop" << Bom + Csv.toUtf8()
                                                << QStringLiteral("文字コードがUTF-8のファイル");
    QTest::newRow("UTF-16 text from the command line") << "command line" << utf16(tabs)
                                                       << QStringLiteral("文字コードがUTF-16のファイル");
}

void tst_Transfer::openOffersImport()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, content);
    QFETCH(QString, looks);
    TVelTorForm &f = window->form;
    RecordingDialogs &dialogs = window->dialogs;
    const QString path = write(QStringLiteral("1234567890202404ELSE.dat"), content);
    if (how == "open") {
        openEdited();
        dialogs.answers = {QMessageBox::No, QMessageBox::Yes, QMessageBox::Ok};
        dialogs.paths = {path};
        f.Ui().FileOpen1->trigger();
    } else if (how == "drop") {
        openEdited();
        dialogs.answers = {QMessageBox::No, QMessageBox::Yes, QMessageBox::Ok};
        f.OpenDroppedFile({QUrl::fromLocalFile(path)});
    } else {
        dialogs.answers = {QMessageBox::Yes, QMessageBox::Ok};
        QVERIFY(OpenCommandLineFile(f, {QStringLiteral("qnveltor"), path}));
    }
    QStringList boxes = dialogs.boxes;
    if (how != "command line")
        QCOMPARE(boxes.takeFirst(), SaveQuestion);
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes.at(0).contains(looks), qPrintable(boxes.at(0)));
    QVERIFY2(boxes.at(1).startsWith(QStringLiteral("2行をインポートしました")), qPrintable(boxes.at(1)));
    QCOMPARE(lineTexts(f.Document()), CsvLines);
    QVERIFY(f.CurrentFileName().isEmpty());
    QVERIFY(f.Modified());
    QCOMPARE(f.Ui().SyoudakuBangou->text(), QString());
    QCOMPARE(f.statusBar()->currentMessage().left(13), QStringLiteral("2行をインポートしました。"));
}

// The other answers: the file read as a report as it stands (with a word
// on what it looks like), or nothing at all.
void tst_Transfer::openAsReportAnywayOrNot_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("open as a report") << int(QMessageBox::Open);
    QTest::newRow("cancel") << int(QMessageBox::Cancel);
}

void tst_Transfer::openAsReportAnywayOrNot()
{
    QFETCH(int, answer);
    TVelTorForm &f = window->form;
    RecordingDialogs &dialogs = window->dialogs;
    openEdited();
    const QString path = write(QStringLiteral("utf8.dat"), QStringLiteral("1\t\t\t\t\t\t\t夜明けの歌\r\n").toUtf8());
    dialogs.answers = {QMessageBox::No, answer, QMessageBox::Ok};
    dialogs.paths = {path};
    f.Ui().FileOpen1->trigger();
    if (answer == QMessageBox::Cancel) {
        QCOMPARE(dialogs.boxes.size(), 2);
        QCOMPARE(lineTexts(f.Document()), QStringList{QStringLiteral("9|||||||old|typed")});
        QVERIFY(f.Modified());
        return;
    }
    QCOMPARE(dialogs.boxes.size(), 3);
    QCOMPARE(f.CurrentFileName(), path);
    QCOMPARE(f.Document().LineCount(), 1);
    QVERIFY(!f.Modified());
    QVERIFY2(dialogs.boxes.at(2).startsWith(QStringLiteral("文字コードがUTF-8のファイルです")),
             qPrintable(dialogs.boxes.at(2)));
}

// Import appends to the report, which stays the file a save writes.
void tst_Transfer::importAppendsAndSaveKeepsTheReport()
{
    TVelTorForm &f = window->form;
    RecordingDialogs &dialogs = window->dialogs;
    openEdited();
    const QString report = f.CurrentFileName();
    dialogs.paths = {write(QStringLiteral("lines.csv"), Bom + Csv.toUtf8())};
    dialogs.answers = {QMessageBox::Ok};
    f.Ui().FileImport1->trigger();
    QCOMPARE(dialogs.fileDialogs, 1);
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY2(dialogs.boxes.at(0).startsWith(QStringLiteral("2行をインポートしました（報告の2行目から）。")),
             qPrintable(dialogs.boxes.at(0)));
    QCOMPARE(lineTexts(f.Document()), QStringList{QStringLiteral("9|||||||old|typed")} + CsvLines);
    QCOMPARE(f.CurrentFileName(), report);
    // The imported lines are shown.
    QCOMPARE(f.CurrentRow(), f.RecordToGridRow(1));

    f.Ui().FileSave1->trigger();
    QCOMPARE(dialogs.fileDialogs, 1);
    QVERIFY(!f.Modified());
    QCOMPARE(readFile(report), fileLine("9|||||||old|typed") + fileLine(CsvLines.at(0)) + fileLine(CsvLines.at(1)));
}

// Imported into an empty window, the lines have no file: Save asks for one.
void tst_Transfer::importIntoEmptyWindowThenSaveAsks()
{
    TVelTorForm &f = window->form;
    RecordingDialogs &dialogs = window->dialogs;
    dialogs.paths = {write(QStringLiteral("unicode.txt"), utf16(QString(Csv).replace(u',', u'\t')))};
    dialogs.answers = {QMessageBox::Ok};
    f.Ui().FileImport1->trigger();
    QCOMPARE(f.Document().LineCount(), 2);
    QVERIFY(f.CurrentFileName().isEmpty());

    const QString saved = dir->filePath(QStringLiteral("saved.dat"));
    dialogs.paths = {saved};
    f.Ui().FileSave1->trigger();
    QCOMPARE(dialogs.fileDialogs, 2);
    QCOMPARE(f.CurrentFileName(), saved);
    QCOMPARE(readFile(saved), fileLine(QStringLiteral("1|||||||夜明けの歌|ｻﾄｳ ﾀﾛｳ")) + fileLine(CsvLines.at(1)));
}

// Export writes the CSV file and leaves the report, its file and its
// unsaved mark alone; a failure says why.
void tst_Transfer::exportLeavesTheReport()
{
    TVelTorForm &f = window->form;
    RecordingDialogs &dialogs = window->dialogs;
    openEdited();
    const QString report = f.CurrentFileName();
    const QByteArray reportBytes = readFile(report);
    const QString csv = dir->filePath(QStringLiteral("out.csv"));
    dialogs.paths = {csv};
    f.Ui().FileExport1->trigger();
    QVERIFY(readFile(csv).startsWith(Bom + "\xEF\xBD\xB2")); // the first field name, ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ
    QVERIFY(readFile(csv).endsWith(",,,,,,,old,typed,,,,,,,,,,\r\n"));
    QVERIFY(f.Modified());
    QCOMPARE(f.CurrentFileName(), report);
    QCOMPARE(readFile(report), reportBytes);
    QCOMPARE(dialogs.boxes, QStringList());

    const QString nowhere = dir->filePath(QStringLiteral("no/such/folder/out.csv"));
    dialogs.paths = {nowhere};
    f.Ui().FileExport1->trigger();
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY2(dialogs.boxes.at(0).startsWith(QStringLiteral("エクスポートエラー\n\n")), qPrintable(dialogs.boxes.at(0)));
    QVERIFY(!QFile::exists(nowhere));
}

// A report whose file held fields past the 19th, or bytes after an
// end-of-file mark: Save and Save As ask first, even with no edit, and
// Cancel (the default) leaves the file byte for byte.
void tst_Transfer::saveAsksBeforeDroppingFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");

    const QByteArray long25 = fileLine("1") + fileLine(QStringLiteral("2") + QString(24, u'|') + "25th");
    const QByteArray afterMark = fileLine("1") + fileLine("2") + "\x1A" + "left over";
    const QByteArray loneCr = fileLine("1") + "2\r" + fileLine("");
    const QString fields = QStringLiteral("・項目が19個より多い行が1行あります（最初は2行目）。");
    const QString bytes = QStringLiteral("・ファイル終端記号（0x1A）より後に9バイトあります。");
    const QString cr = QStringLiteral("・後ろにLFのないCRを含む行が1行あります（最初は2行目）。");
    QTest::newRow("25 fields, Save, cancelled") << long25 << false << int(QMessageBox::Cancel) << fields;
    QTest::newRow("25 fields, Save As, cancelled") << long25 << true << int(QMessageBox::Cancel) << fields;
    QTest::newRow("25 fields, saved anyway") << long25 << false << int(QMessageBox::Save) << fields;
    QTest::newRow("after the end mark, cancelled") << afterMark << false << int(QMessageBox::Cancel) << bytes;
    QTest::newRow("after the end mark, saved anyway") << afterMark << false << int(QMessageBox::Save) << bytes;
    QTest::newRow("a CR alone, cancelled") << loneCr << false << int(QMessageBox::Cancel) << cr;
    QTest::newRow("a CR alone, saved anyway") << loneCr << false << int(QMessageBox::Save) << cr;
}

void tst_Transfer::saveAsksBeforeDroppingFields()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, saveAs);
    QFETCH(int, answer);
    QFETCH(QString, question);
    TVelTorForm &f = window->form;
    RecordingDialogs &dialogs = window->dialogs;
    const QString path = write(QStringLiteral("1234567890202404TEST.dat"), content);
    QVERIFY(f.LoadReport(path));
    dialogs.boxes.clear(); // the warning of the load
    dialogs.answers = {answer};
    dialogs.paths = {path};
    (saveAs ? f.Ui().FileSaveAs1 : f.Ui().FileSave1)->trigger();
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY2(dialogs.boxes.at(0).contains(question), qPrintable(dialogs.boxes.at(0)));
    if (answer == QMessageBox::Cancel) {
        QCOMPARE(dialogs.fileDialogs, 0);
        QCOMPARE(readFile(path), content);
        return;
    }
    QCOMPARE(readFile(path), fileLine("1") + fileLine("2"));
    // The file no longer holds them: no question the next time.
    f.Ui().FileSave1->trigger();
    QCOMPARE(dialogs.boxes.size(), 1);
}

// A large paste shows its progress with the wait cursor; Cancel leaves
// the report as it was, and without it every line lands.
void tst_Transfer::largePasteShowsProgressAndCancels()
{
    TVelTorForm &f = window->form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.SetLoadProgressDelay(0);
    QString text;
    for (int line = 0; line < 20000; ++line)
        text += QStringLiteral("%1\t\t000\t\t\"a\tb\"\r\n").arg(line);
    QGuiApplication::clipboard()->setText(text);
    setCurrent(f, 0, 0);
    f.Ui().VelTorGrid->setFocus();

    for (const bool cancel : {true, false}) {
        bool shown = false;
        bool waitCursor = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &f, [&] {
            auto *progress = f.findChild<QProgressDialog *>();
            if (!progress || !progress->isVisible())
                return;
            shown = true;
            waitCursor = QApplication::overrideCursor() != nullptr;
            if (cancel)
                progress->cancel();
        });
        watch.start(0);
        f.BlockPaste();
        watch.stop();
        QVERIFY(shown);
        QVERIFY(waitCursor);
        QVERIFY(!QApplication::overrideCursor());
        if (cancel) {
            QCOMPARE(f.Document().LineCount(), 0);
            QVERIFY(!f.Modified());
            QCOMPARE(f.statusBar()->currentMessage(), EditMessages::PasteCancelled());
        } else {
            QCOMPARE(f.Document().LineCount(), 20000);
            QCOMPARE(lineText(f.Document(), 19999), QStringLiteral("19999||000||a b"));
            QCOMPARE(f.Document().UndoStack()->count(), 1);
        }
    }
}

QTEST_MAIN(tst_Transfer)
#include "tst_transfer.moc"
