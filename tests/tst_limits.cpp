// What must never end the program or freeze its window: files that are not
// regular files, loads that take long, cells of megabytes, and memory running
// out during a load, a paste or a draw. A case that could hang or abort runs
// in a child process with a time limit (and, where memory is the point, a
// limited address space), so that the suite itself never stalls or dies.

#include "BulkEdits.h"
#include "CellText.h"
#include "FileMessages.h"
#include "EditMessages.h"
#include "MemoryHeadroom.h"
#include "ReplaceDialog.h"
#include "Sanitizers.h"
#include "SortDialog.h"
#include "WindowSupport.h"
#include "qnVelTorClipboard.h"
#include "qnVelTorFile.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUndoStack>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <new>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using TestSupport::bytes;
using TestSupport::fileLine;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QByteArray ReportA = fileLine({"1", "", "000", "", "000", "", "0", "\x8C\xB4\x91\xE8"})
        + fileLine({"2", "QQ", "", "", "", "", "", QByteArray(61, 'a')});
const QString NameA = QStringLiteral("1234567890201204ABC.dat");

// Everything a failed or cancelled load must leave as it was, in one text.
QByteArray windowState(const TVelTorForm &form)
{
    const ReportDocument &report = form.Document();
    QStringList out = TestSupport::linesWithErrors(report);
    out << QStringLiteral("rows %1 %2").arg(TestSupport::model(form)->rowCount()).arg(report.Verdicts().RowCount());
    out << "boxes " + form.Ui().SyoudakuBangou->text() + u'|' + form.Ui().HoukokuNengappi->text() + u'|'
                    + form.Ui().NiniMoziretsu->text();
    out << "file " + form.CurrentFileName();
    out << QStringLiteral("modified %1 nameChanged %2").arg(form.Modified()).arg(form.File().NameChanged());
    return out.join(u'\n').toUtf8();
}

// A window showing report A from `dir`, with an edit on top, its dialogs
// recorded and its model watched. Qt's model tester walks every row at each
// change: a test that changes 100,000 lines one by one goes without it.
struct Window
{
    explicit Window(const QTemporaryDir &dir, bool watched = true)
    {
        form.SetDialogs(&dialogs);
        if (watched) {
            tester = std::make_unique<QAbstractItemModelTester>(TestSupport::model(form),
                                                                QAbstractItemModelTester::FailureReportingMode::QtTest);
        }
        const QString path = dir.filePath(NameA);
        loaded = writeFile(path, ReportA) && form.LoadReport(path)
                && form.Document().SetCell(0, 10, "edited") == EditResult::Done;
    }
    ~Window() { form.SetDialogs(nullptr); }

    TestSupport::RecordingDialogs dialogs;
    TVelTorForm form;
    std::unique_ptr<QAbstractItemModelTester> tester;
    bool loaded = false;
};

// Bytes of address space the process holds now.
rlim_t addressSpaceInUse()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return rlim_t(statm.readLine().split(' ').value(0).toULongLong()) * rlim_t(sysconf(_SC_PAGESIZE));
}

// Runs `body` in a child process that is killed after `seconds`, with its
// address space limited to what it holds at the start plus `headroom` bytes
// (0: no limit). The result is what `body` returned (empty when all was
// well), or what ended the child.
QString inChild(int seconds, rlim_t headroom, const std::function<QString()> &body)
{
    // Qt paints big areas on the threads of the global pool. A child has
    // none of the parent's threads but its pool would hand work to them,
    // idle in the parent since an earlier test painted, and wait for good:
    // the pool lets them go first, so that the child starts its own.
    QThreadPool::globalInstance()->waitForDone();
    int channel[2];
    if (pipe(channel) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = fork();
    if (child < 0)
        return QStringLiteral("no fork");
    if (child == 0) {
        close(channel[0]);
        alarm(unsigned(seconds));
        if (headroom > 0) {
            const rlimit limit{addressSpaceInUse() + headroom, RLIM_INFINITY};
            setrlimit(RLIMIT_AS, &limit);
        }
        QByteArray report;
        try {
            report = body().toUtf8();
        } catch (const std::bad_alloc &) {
            report = "std::bad_alloc escaped";
        }
        if (write(channel[1], report.constData(), size_t(report.size())) < 0)
            _exit(2);
        _exit(0);
    }
    close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, got);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        return WTERMSIG(status) == SIGALRM ? QStringLiteral("hung for %1 s").arg(seconds)
                                           : QStringLiteral("killed by signal %1").arg(WTERMSIG(status));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    return QString::fromUtf8(report);
}

// Collects what differs from what was expected, for a child's report.
struct Checks
{
    void operator()(bool ok, const QString &what)
    {
        if (!ok)
            failures << what;
    }
    void equal(const QStringList &actual, const QStringList &expected, const QString &what)
    {
        if (actual != expected)
            failures << what + QStringLiteral(": got [") + actual.join(QStringLiteral(" / ")) + u']';
    }
    void equal(const QByteArray &actual, const QByteArray &expected, const QString &what)
    {
        if (actual != expected)
            failures << what + QStringLiteral(": got\n") + QString::fromUtf8(actual);
    }
    QString text() const { return failures.join(u"; "); }
    QStringList failures;
};

} // namespace

class tst_Limits : public QObject
{
    Q_OBJECT

private slots:
    // Files that are not regular files.
    void readerRefusesNonRegularFiles_data();
    void readerRefusesNonRegularFiles();
    void windowRefusesNonRegularFiles_data();
    void windowRefusesNonRegularFiles();

    // Progress and cancel.
    void readerReportsProgressAndStops();
    void readerTellsWhyItFailed();
    void slowLoadShowsProgress();
    void cancelledLoadKeepsTheReport();

    // Long cells.
    void longCellShowsItsStart_data();
    void longCellShowsItsStart();
    void longCellHintSaysItsLength();
    void longCellEditorLeftAloneKeepsTheCell();
    void longCellEditedKeepsWhatWasTyped();
    void longCellIsSavedWhole();
    void longCellDrawsInLittleMemory();

    // Out of memory.
    void loadOutOfMemoryKeepsTheReport_data();
    void loadOutOfMemoryKeepsTheReport();
    void pasteOutOfMemoryKeepsTheReport();
    void blockPasteRefusedWithoutHeadroom();
    void cellCommitRefusedWithoutHeadroom();
    void importRefusedWithoutHeadroomKeepsTheReport();
    void blockPasteOutOfMemoryKeepsTheReport_data();
    void blockPasteOutOfMemoryKeepsTheReport();
    void historyLetsOldestStepsGo();
    void cancelledCommandKeepsTheReport_data();
    void cancelledCommandKeepsTheReport();
};

void tst_Limits::readerRefusesNonRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("dev-zero") << "/dev/zero";
    QTest::newRow("folder") << "folder";
}

// Before, a FIFO blocked the open until a program wrote to it, and
// /dev/zero was read one byte per call without end.
void tst_Limits::readerRefusesNonRegularFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = kind;
    if (kind == QLatin1String("fifo")) {
        path = dir.filePath(QStringLiteral("x.dat"));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("folder.dat"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.dat")));
    }
    const QString result = inChild(10, 0, [&] {
        Checks check;
        qnVelTorData data;
        ReadFailure failure = ReadFailure::None;
        check(!ReadReportFile(path, &data, {}, {}, &failure), QStringLiteral("read succeeded"));
        check(failure == ReadFailure::NotRegularFile, QStringLiteral("failure %1").arg(int(failure)));
        check(data.RecordCount() == 0, QStringLiteral("records appended"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

void tst_Limits::windowRefusesNonRegularFiles_data()
{
    readerRefusesNonRegularFiles_data();
}

void tst_Limits::windowRefusesNonRegularFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = kind;
    if (kind == QLatin1String("fifo")) {
        path = dir.filePath(QStringLiteral("x.dat"));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("folder.dat"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.dat")));
    }
    Window window(dir);
    QVERIFY(window.loaded);
    const QByteArray before = windowState(window.form);
    const QString result = inChild(10, 0, [&] {
        Checks check;
        check(!window.form.LoadReport(path), QStringLiteral("load succeeded"));
        check.equal(window.dialogs.boxes,
                    QStringList{TestSupport::failureBox(QStringLiteral("ファイル読み込みエラー"), path,
                                                        FileMessages::LoadReason(path, ReadFailure::NotRegularFile))},
                    QStringLiteral("messages"));
        check.equal(windowState(window.form), before, QStringLiteral("window"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

void tst_Limits::readerReportsProgressAndStops()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.dat"));
    // Three and a half chunks of the reader, of short lines.
    QByteArray content;
    while (content.size() < 3 * (1 << 20) + (1 << 19))
        content += fileLine(QByteArrayList{QByteArray::number(content.size())});
    QVERIFY(writeFile(path, content));

    QList<std::uint64_t> seen;
    qnVelTorData all;
    ReadFailure failure = ReadFailure::Cancelled;
    QVERIFY(ReadReportFile(path, &all, {}, [&](std::uint64_t done, std::uint64_t size) {
        if (size != std::uint64_t(content.size()))
            seen << ~std::uint64_t(0);
        seen << done;
        return true;
    }, &failure));
    QCOMPARE(failure, ReadFailure::None);
    QCOMPARE(seen, (QList<std::uint64_t>{1 << 20, 2 << 20, 3 << 20, std::uint64_t(content.size())}));
    QCOMPARE(all.RecordCount(), std::uint32_t(content.count('\n')));

    qnVelTorData stopped;
    int calls = 0;
    QVERIFY(!ReadReportFile(path, &stopped, {}, [&](std::uint64_t, std::uint64_t) { return ++calls < 2; },
                            &failure));
    QCOMPARE(failure, ReadFailure::Cancelled);
    QCOMPARE(calls, 2);
    QVERIFY(stopped.RecordCount() < all.RecordCount());
}

void tst_Limits::readerTellsWhyItFailed()
{
    QTemporaryDir dir;
    qnVelTorData data;
    ReadFailure failure = ReadFailure::None;
    QVERIFY(!ReadReportFile(dir.filePath(QStringLiteral("missing.dat")), &data, {}, {}, &failure));
    QCOMPARE(failure, ReadFailure::NotFound);

    // The caller's copy of the lines is built inside the read; running out
    // of memory there is the read's failure too.
    const QString path = dir.filePath(NameA);
    QVERIFY(writeFile(path, ReportA));
    QVERIFY(!ReadReportFile(path, &data, [](qnVelTorData &) { throw std::bad_alloc(); }, {}, &failure));
    QCOMPARE(failure, ReadFailure::OutOfMemory);

    QVERIFY(ReadReportFile(path, &data, {}, {}, &failure));
    QCOMPARE(failure, ReadFailure::None);
}

void tst_Limits::slowLoadShowsProgress()
{
    QTemporaryDir dir;
    Window window(dir, false);
    QVERIFY(window.loaded);
    window.form.SetLoadProgressDelay(0);
    const QString path = dir.filePath(QStringLiteral("5555555555202301BIG.dat"));
    QByteArray content;
    while (content.size() < 3 * (1 << 20))
        content += fileLine({"9", "", "000", "", "000", "", "0", "abc"});
    QVERIFY(writeFile(path, content));

    // Runs inside the load, from the events the progress lets through.
    QList<int> values;
    std::function<void()> watch = [&] {
        if (auto *dialog = window.form.findChild<QProgressDialog *>()) {
            if (dialog->isVisible())
                values << dialog->value();
        }
        if (values.size() < 8)
            QTimer::singleShot(0, &window.form, watch);
    };
    QTimer::singleShot(0, &window.form, watch);
    QVERIFY(window.form.LoadReport(path));
    QVERIFY2(values.size() >= 2, "no progress shown during the load");
    QVERIFY(std::is_sorted(values.begin(), values.end()));
    QVERIFY(values.last() > values.first());
    QCOMPARE(window.form.Document().LineCount(), int(content.count('\n')));
    QCOMPARE(window.form.CurrentFileName(), path);
    QCOMPARE(window.dialogs.boxes, QStringList());
    // Gone with the load.
    const auto *dialog = window.form.findChild<QProgressDialog *>();
    QVERIFY(!dialog || !dialog->isVisible());
}

void tst_Limits::cancelledLoadKeepsTheReport()
{
    QTemporaryDir dir;
    Window window(dir, false);
    QVERIFY(window.loaded);
    window.form.SetLoadProgressDelay(0);
    const QByteArray before = windowState(window.form);
    // Kept too, so that the next Save writes in place without asking.
    const std::string baseName = window.form.File().FileBaseName();
    const QString path = dir.filePath(QStringLiteral("5555555555202301BIG.dat"));
    QByteArray content;
    while (content.size() < 3 * (1 << 20))
        content += fileLine({"9", "", "000", "", "000", "", "0", "abc", QByteArray(30, 'x')});
    QVERIFY(writeFile(path, content));

    bool cancelled = false;
    QTimer::singleShot(0, &window.form, [&] {
        if (auto *dialog = window.form.findChild<QProgressDialog *>()) {
            if (dialog->isVisible()) {
                dialog->cancel();
                cancelled = true;
            }
        }
    });
    QVERIFY(!window.form.LoadReport(path));
    QVERIFY(cancelled);
    QCOMPARE(windowState(window.form), before);
    QCOMPARE(window.form.File().FileBaseName(), baseName);
    QCOMPARE(window.dialogs.boxes, QStringList());
    QCOMPARE(window.form.statusBar()->currentMessage(), FileMessages::LoadCancelled());

    // The window is not stuck in its load: the next one goes ahead.
    window.form.SetLoadProgressDelay(1000000);
    QVERIFY(window.form.LoadReport(path));
    QCOMPARE(window.form.Document().LineCount(), int(content.count('\n')));
}

void tst_Limits::longCellShowsItsStart_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QString>("shown");
    const QByteArray hyou = "\x95\x5C"; // 表: its second byte is a backslash
    QTest::newRow("ascii") << QByteArray(3 << 20, 'a') << QString(int(CellText::ShownBytes), u'a');
    QTest::newRow("double-byte") << hyou.repeated(1000) << QStringLiteral("表").repeated(256);
    // One byte ahead: the 256th pair would straddle the cut, so it goes.
    QTest::newRow("double-byte-shifted") << "a" + hyou.repeated(1000) << "a" + QStringLiteral("表").repeated(255);
    QTest::newRow("at-the-limit") << QByteArray(int(CellText::ShownBytes), 'b')
                                  << QString(int(CellText::ShownBytes), u'b');
}

void tst_Limits::longCellShowsItsStart()
{
    QFETCH(QByteArray, cell);
    QFETCH(QString, shown);
    ReportDocument report;
    ReportModel model(&report);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(report.SetCell(0, 7, cell.toStdString()), EditResult::Done);
    const QModelIndex index = model.index(0, 7);
    QCOMPARE(index.data(Qt::EditRole).toString(), shown);
    const bool cut = size_t(cell.size()) > CellText::ShownBytes;
    QCOMPARE(index.data(Qt::DisplayRole).toString(), cut ? shown + QChar(0x2026) : shown);
    // The value itself stays whole.
    QCOMPARE(bytes(report.Cell(0, 7)), cell);
}

void tst_Limits::longCellHintSaysItsLength()
{
    ReportDocument report;
    ReportModel model(&report);
    const std::string cell(5 * 1024 * 1024, 'a');
    QCOMPARE(report.SetCell(0, 7, cell), EditResult::Done);
    const QString hint = model.Hint(0, 7);
    QVERIFY2(hint.contains(QStringLiteral("5,242,880バイト")), qPrintable(hint));
    QVERIFY(hint.size() < 1000);
    QCOMPARE(model.index(0, 7).data(Qt::ToolTipRole).toString(), hint);
    // A short cell's hint says nothing of a length.
    QCOMPARE(report.SetCell(0, 7, std::string(CellText::ShownBytes, 'a')), EditResult::Done);
    QVERIFY(!model.Hint(0, 7).contains(QStringLiteral("バイトあります")));
}

void tst_Limits::longCellEditorLeftAloneKeepsTheCell()
{
    QTemporaryDir dir;
    // Spaces where the shown start ends: the editor drops trailing spaces,
    // and that alone must not cut the cell to its start.
    const QByteArray cell = "x" + QByteArray(2000, ' ') + "y";
    const QString path = dir.filePath(NameA);
    QVERIFY(writeFile(path, fileLine({"1", "", "", "", "", "", "", cell})));
    TestSupport::Window window;
    TVelTorForm &form = window.form;
    QVERIFY(form.LoadReport(path));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    TestSupport::setCurrent(form, 0, 7);
    form.Ui().VelTorGrid->edit(form.Ui().VelTorGrid->currentIndex());
    QLineEdit *editor = form.Ui().VelTorGrid->Editor();
    QVERIFY(editor);
    QVERIFY(editor->text().size() <= int(CellText::ShownBytes));
    QVERIFY2(form.statusBar()->currentMessage().contains(QStringLiteral("2,002バイト")),
             qPrintable(form.statusBar()->currentMessage()));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), cell);
    QVERIFY(!form.Modified());
}

void tst_Limits::longCellEditedKeepsWhatWasTyped()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(NameA);
    QVERIFY(writeFile(path, fileLine({"", "", "", "", "", "", "", QByteArray(100000, 'a')})));
    TestSupport::Window window;
    TVelTorForm &form = window.form;
    QVERIFY(form.LoadReport(path));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TestSupport::setCurrent(form, 0, 7);
    form.Ui().VelTorGrid->edit(form.Ui().VelTorGrid->currentIndex());
    QLineEdit *editor = form.Ui().VelTorGrid->Editor();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "abc");
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), QByteArray("abc"));
    QVERIFY(form.Modified());
}

void tst_Limits::longCellIsSavedWhole()
{
    QTemporaryDir dir;
    QByteArray cell(3 << 20, 'z');
    cell[1000] = '\x82'; // a double-byte character past the shown start
    cell[1001] = '\xA0';
    ReportDocument report;
    ReportFile file(report);
    QVERIFY(TestSupport::loadReport(file, dir,
                                    fileLine({"1", "", "", "", "", "", "", cell}) + fileLine(QByteArrayList{"2"}), NameA));
    QCOMPARE(report.SetCell(1, 1, "x"), EditResult::Done);
    QVERIFY(file.Save(file.Path()).Written());
    QCOMPARE(readFile(file.Path()), fileLine({"1", "", "", "", "", "", "", cell}) + fileLine({"2", "x"}));
}

// Before, a cell was turned into text whole for every redraw: a cell of
// 64 MB needs 128 MB as text, and the failure came out of the paint event.
void tst_Limits::longCellDrawsInLittleMemory()
{
    TestSupport::Window window;
    TVelTorForm &form = window.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // In the first column, which is always in view.
    QCOMPARE(form.Document().SetCell(0, 0, std::string(64 << 20, 'a')), EditResult::Done);
    const QString result = inChild(60, 48 << 20, [&] {
        Checks check;
        const QImage image = form.Ui().VelTorGrid->viewport()->grab().toImage();
        check(!image.isNull(), QStringLiteral("nothing drawn"));
        QCoreApplication::processEvents();
        check(form.statusBar()->currentMessage() != EditMessages::OutOfMemoryDraw(),
              QStringLiteral("the cell was too big to draw"));
        const QString hint = TestSupport::model(form)->index(0, 0).data(Qt::ToolTipRole).toString();
        check(hint.contains(QStringLiteral("67,108,864")), QStringLiteral("hint"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

void tst_Limits::loadOutOfMemoryKeepsTheReport_data()
{
    QTest::addColumn<bool>("headroomChecked");
    QTest::addColumn<bool>("inParts");
    // An allocation fails part way through the load.
    QTest::newRow("memory runs out") << false << false;
    // The same in a file read in two parts at once, on two threads: either
    // may run out first, or both.
    QTest::newRow("memory runs out in parts") << false << true;
    // The load is refused before it starts: the window would be left with
    // no room to paint.
    QTest::newRow("no headroom for it") << true << false;
}

// Before, the message did not say what was wrong.
void tst_Limits::loadOutOfMemoryKeepsTheReport()
{
    QNVELTOR_SKIP_UNDER_ASAN("the load must run out of address space (RLIMIT_AS)");
    QFETCH(bool, headroomChecked);
    QFETCH(bool, inParts);
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    const QByteArray before = windowState(window.form);
    const QString path = dir.filePath(QStringLiteral("1111111111202301HUGE.dat"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (inParts) {
            // 64 MB of empty lines: a row each, 8 bytes, 512 MB in all.
            const QByteArray lines(1 << 20, '\n');
            for (int i = 0; i < 64; ++i)
                QVERIFY(file.write(lines) == lines.size());
        } else {
            // 256 MB of zero bytes (one line) that take no disk space.
            QVERIFY(file.resize(qint64(256) << 20));
        }
    }
    const QString result = inChild(60, rlim_t(64 << 20) + HeadroomMargin, [&] {
        std::optional<ScopedHeadroomCheckOff> off;
        if (!headroomChecked)
            off.emplace();
        Checks check;
        check(!window.form.LoadReport(path), QStringLiteral("load succeeded"));
        check.equal(window.dialogs.boxes,
                    QStringList{TestSupport::failureBox(QStringLiteral("ファイル読み込みエラー"), path,
                                                        FileMessages::LoadReason(path, ReadFailure::OutOfMemory))},
                    QStringLiteral("messages"));
        check.equal(windowState(window.form), before, QStringLiteral("window"));
        // Memory given back: an ordinary file opens after it.
        const QString small = QDir(QFileInfo(path).path()).filePath(QStringLiteral("2222222222202302S.dat"));
        check(writeFile(small, fileLine(QByteArrayList{"s"})) && window.form.LoadReport(small),
              QStringLiteral("next load"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, std::bad_alloc went out of the paste command and ended the program.
void tst_Limits::pasteOutOfMemoryKeepsTheReport()
{
    QNVELTOR_SKIP_UNDER_ASAN("the paste must run out of address space (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    window.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form));
    TestSupport::setCurrent(window.form, 1, 0);
    const QByteArray before = windowState(window.form);
    const QString result = inChild(60, 0, [&] {
        // Another program's line, far larger than this process may hold.
        QByteArray payload = "\r\n" + QByteArray(128 << 20, 'p') + "\r\n";
        auto *mime = new QMimeData;
        mime->setData(QString::fromLatin1(qnVelTorClipboard::FormatName), payload);
        QGuiApplication::clipboard()->setMimeData(mime);
        payload.clear();
        const rlimit limit{addressSpaceInUse() + (48 << 20), RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);

        Checks check;
        check(window.form.LineClipboard().HasRecord(), QStringLiteral("no line on the clipboard"));
        window.form.EditPasteLineExecute();
        check.equal(window.dialogs.boxes, QStringList{EditMessages::OutOfMemoryPaste()},
                    QStringLiteral("messages"));
        check.equal(windowState(window.form), before, QStringLiteral("window"));
        check(window.form.CurrentRow() == window.form.RecordToGridRow(1), QStringLiteral("current row"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, a paste that left too little under an address-space limit went
// ahead, and the window could then not start the thread it paints with.
void tst_Limits::blockPasteRefusedWithoutHeadroom()
{
    QNVELTOR_SKIP_UNDER_ASAN("the paste must meet an address-space limit (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    TVelTorForm &form = window.form;
    TestSupport::setCurrent(form, form.Document().LineCount(), 0);
    const QByteArray before = windowState(form);
    const int steps = form.Document().UndoStack()->count();
    QGuiApplication::clipboard()->setText(QStringLiteral("x\tyy\r\n").repeated(1000));
    const QString result = inChild(60, HeadroomMargin / 2, [&] {
        Checks check;
        form.BlockPaste();
        check(form.statusBar()->currentMessage() == EditMessages::OutOfMemoryEdit(), QStringLiteral("message"));
        check.equal(windowState(form), before, QStringLiteral("window"));
        check(form.Document().UndoStack()->count() == steps, QStringLiteral("a step was kept"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, a committed cell that ran out of memory was dropped without a
// word, and the grid's model said it had been stored.
void tst_Limits::cellCommitRefusedWithoutHeadroom()
{
    QNVELTOR_SKIP_UNDER_ASAN("the commit must meet an address-space limit (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    TVelTorForm &form = window.form;
    const QByteArray before = windowState(form);
    const int steps = form.Document().UndoStack()->count();
    const QString result = inChild(60, HeadroomMargin / 2, [&] {
        Checks check;
        ReportModel *model = TestSupport::model(form);
        check(!model->setData(model->index(1, 7), QStringLiteral("changed")), QStringLiteral("stored"));
        QCoreApplication::processEvents();
        check.equal(window.dialogs.boxes, QStringList{EditMessages::OutOfMemoryEdit()}, QStringLiteral("messages"));
        check.equal(windowState(form), before, QStringLiteral("window"));
        check(form.Document().UndoStack()->count() == steps, QStringLiteral("a step was kept"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, an import into a new report emptied the report first and was
// refused after: the report was gone.
void tst_Limits::importRefusedWithoutHeadroomKeepsTheReport()
{
    QNVELTOR_SKIP_UNDER_ASAN("the import must meet an address-space limit (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    ReportDocument &document = window.form.Document();
    const QByteArray before = windowState(window.form);
    const int steps = document.UndoStack()->count();
    const QString path = dir.filePath(QStringLiteral("lines.csv"));
    QVERIFY(writeFile(path, QByteArray("x,yy\r\n").repeated(1000)));
    const QString result = inChild(60, HeadroomMargin / 2, [&] {
        Checks check;
        const ReportFile::ImportResult imported = window.form.File().Import(path, {}, ReportFile::ImportInto::NewReport);
        check(imported.failure == ReadFailure::OutOfMemory, QStringLiteral("failure %1").arg(int(imported.failure)));
        check.equal(windowState(window.form), before, QStringLiteral("window"));
        check(document.UndoStack()->count() == steps, QStringLiteral("undo steps"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, memory running out part way through a block paste left the lines
// it had added, or some of its cells, in the report with no step to undo
// them, and the verdicts no longer one row per line.
void tst_Limits::blockPasteOutOfMemoryKeepsTheReport_data()
{
    QTest::addColumn<bool>("over");
    // From the new-line row: the paste adds every line it holds.
    QTest::newRow("adding lines") << false;
    // Over as many loaded lines: memory may run out after some of them
    // were changed.
    QTest::newRow("over loaded lines") << true;
}

void tst_Limits::blockPasteOutOfMemoryKeepsTheReport()
{
    QNVELTOR_SKIP_UNDER_ASAN("the paste must run out of address space (RLIMIT_AS)");
    QFETCH(bool, over);
    // Over loaded lines, fewer are enough to run out part way, and each
    // try reloads them.
    const int Lines = over ? 20000 : 100000;
    QTemporaryDir dir;
    Window window(dir, false);
    QVERIFY(window.loaded);
    TVelTorForm &form = window.form;
    if (over) {
        QVERIFY(writeFile(dir.filePath(NameA), fileLine({"z", "z"}).repeated(Lines)));
        QVERIFY(form.LoadReport(dir.filePath(NameA)));
    }
    const int linesBefore = form.Document().LineCount();
    const int linesAfter = over ? Lines : linesBefore + Lines;
    TestSupport::setCurrent(form, over ? 0 : linesBefore, 0);
    const QByteArray before = windowState(form);
    const int steps = form.Document().UndoStack()->count();
    // The second field too long: verdicts change with the texts.
    const QString block = QStringLiteral("x\tyy\r\n").repeated(Lines);
    QGuiApplication::clipboard()->setText(block);

    // The memory left decides where the paste runs out; whatever the
    // point, the paste is whole or not there at all. A megabyte more each
    // time, until there is enough.
    int pasted = 0;
    int refused = 0;
    for (int megabytes = 1; megabytes <= 64 && !pasted; ++megabytes) {
        const QString result = inChild(60, rlim_t(256) << 20, [&] {
            // Memory the heap holds free would count as room too: all of it
            // is taken, and then the room is given back.
            std::vector<void *> ballast;
            ballast.reserve(1 << 16);
            while (ballast.size() < ballast.capacity()) {
                void *block = malloc(64 << 10);
                if (!block)
                    break;
                ballast.push_back(block);
            }
            for (int i = 0; i < megabytes * 16 && !ballast.empty(); ++i) {
                free(ballast.back());
                ballast.pop_back();
            }

            // Whatever the point where memory runs out, not only where the
            // paste would ask for room first.
            const ScopedHeadroomCheckOff off;
            Checks check;
            form.BlockPaste();
            // The checks need memory of their own.
            for (void *block : ballast)
                free(block);
            const int lines = form.Document().LineCount();
            check(TestSupport::model(form)->rowCount() == lines + 1, QStringLiteral("rows"));
            const QString verdicts = TestSupport::verdictMismatch(form.Document());
            check(verdicts.isEmpty(), verdicts);
            if (form.Document().UndoStack()->count() == steps + 1) {
                check(lines == linesAfter && form.Document().Cell(linesAfter - 1, 1) == "yy",
                      QStringLiteral("paste not whole"));
                return QStringLiteral("pasted") + (check.text().isEmpty() ? QString() : u' ' + check.text());
            }
            if (lines != linesBefore)
                return QStringLiteral("refused, %1 lines left").arg(lines);
            check.equal(windowState(form), before, QStringLiteral("window"));
            check(form.statusBar()->currentMessage().contains(QStringLiteral("メモリが足りない")),
                  QStringLiteral("message: ") + form.statusBar()->currentMessage());
            return QStringLiteral("refused") + (check.text().isEmpty() ? QString() : u' ' + check.text());
        });
        if (result == QLatin1String("pasted"))
            ++pasted;
        else if (result == QLatin1String("refused"))
            ++refused;
        else
            QFAIL(qPrintable(QStringLiteral("%1 MB: %2").arg(megabytes).arg(result)));
    }
    // Both ends reached: too little memory and enough.
    QVERIFY(refused > 0);
    QVERIFY(pasted > 0);
}

// Before, every step stayed in the history until memory ran out: under an
// address-space limit the edits were refused once the history was full.
// Now the oldest steps go, the status bar says so, and the steps left undo
// back to where the history now starts.
void tst_Limits::historyLetsOldestStepsGo()
{
    QNVELTOR_SKIP_UNDER_ASAN("the history must meet an address-space limit (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir, false);
    QVERIFY(window.loaded);
    TVelTorForm &form = window.form;
    // 100,000 lines whose key codes are renumbered again and again: each
    // step packs 100,000 old key codes.
    constexpr int Lines = 100000;
    QByteArray content;
    for (int line = 0; line < Lines; ++line)
        content += fileLine({QByteArray::number(line + 1), "QQ", "000"});
    QVERIFY(writeFile(dir.filePath(NameA), content));
    QVERIFY(form.LoadReport(dir.filePath(NameA)));
    ReportDocument &document = form.Document();
    const QString result = inChild(120, HeadroomMargin + (rlim_t(24) << 20), [&] {
        Checks check;
        int steps = 0;
        int dropped = 0;
        QObject::connect(&document, &ReportDocument::stepsDropped, [&dropped](int count) { dropped += count; });
        std::string last;
        // Each renumbering from another start: every key code changes.
        for (std::uint64_t start = 2; start < 200 && dropped == 0; ++start) {
            const BulkEdits::Result renumbered = BulkEdits::Renumber(document, 0, Lines - 1, start);
            if (renumbered.outOfMemory || renumbered.changed != Lines) {
                check(false, QStringLiteral("renumbering from %1 refused").arg(start));
                break;
            }
            ++steps;
            last = std::string(document.Cell(Lines - 1, 0));
        }
        const QString told = form.statusBar()->currentMessage();
        check(told == EditMessages::StepsDropped(dropped), QStringLiteral("status bar: ") + told);
        check(dropped > 0, QStringLiteral("no step let go after %1 steps").arg(steps));
        const QUndoStack *stack = document.UndoStack();
        check(stack->count() < steps, QStringLiteral("%1 steps kept of %2").arg(stack->count()).arg(steps));
        check(stack->index() == stack->count(), QStringLiteral("not at the newest step"));
        // The steps left undo, each to what it was, and no further.
        while (stack->canUndo())
            check(document.Undo() == EditResult::Done, QStringLiteral("undo"));
        check(stack->index() == 0, QStringLiteral("index"));
        const QString verdicts = TestSupport::verdictMismatch(document);
        check(verdicts.isEmpty(), verdicts);
        while (stack->canRedo())
            check(document.Redo() == EditResult::Done, QStringLiteral("redo"));
        check(document.Cell(Lines - 1, 0) == last, QStringLiteral("the last step's key codes"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

void tst_Limits::cancelledCommandKeepsTheReport_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("named"); // as the status bar names it
    QTest::newRow("renumber") << "renumber" << "連番の振り直し";
    QTest::newRow("fill down") << "fill down" << "下方向へのコピー";
    QTest::newRow("sort") << "sort" << "並べ替え";
    QTest::newRow("replace all") << "replace all" << "置換";
    QTest::newRow("undo of a renumbering") << "undo" << "元に戻す操作";
    QTest::newRow("redo of a renumbering") << "redo" << "やり直し";
}

// Before, replace, sort, renumber, fill and their undos froze the window
// for seconds on a large report, with no way out. Each now shows the
// progress dialog, and its キャンセル leaves the report, its history and the
// window as they were, saying so.
void tst_Limits::cancelledCommandKeepsTheReport()
{
    QFETCH(QString, command);
    QFETCH(QString, named);
    QTemporaryDir dir;
    Window window(dir, false);
    QVERIFY(window.loaded);
    TVelTorForm &form = window.form;
    // Enough lines for every part of a command to tell its progress.
    QByteArray content;
    for (int line = 0; line < 30000; ++line)
        content += fileLine({QByteArray::number(30000 - line), "QQ", "000", "", "", "", "", "ab" + QByteArray::number(line % 7),
                             "", "", "", "", "", "", "", QByteArray(line % 5, 'x')});
    QVERIFY(writeFile(dir.filePath(NameA), content));
    QVERIFY(form.LoadReport(dir.filePath(NameA)));
    ReportDocument &document = form.Document();
    TestSupport::setCurrent(form, 0, 15);
    if (command == "undo" || command == "redo") {
        form.EditRenumberExecute();
        QCOMPARE(document.UndoStack()->count(), 1);
        if (command == "redo")
            form.EditUndoExecute();
    }
    window.dialogs.onSort = [](SortDialog &dialog) {
        dialog.SetKeys({{7, false}, {0, true}});
        return int(QDialog::Accepted);
    };
    window.dialogs.onReplace = [](ReplaceDialog &dialog) {
        dialog.SetTexts(QStringLiteral("QQ"), QStringLiteral("Q"));
        if (auto *all = dialog.findChild<QAbstractButton *>(QStringLiteral("ReplaceAll")))
            all->click();
    };
    const auto state = [&] {
        return windowState(form) + QStringLiteral("\nsteps %1 at %2").arg(document.UndoStack()->count())
                                           .arg(document.UndoStack()->index()).toUtf8();
    };
    const QByteArray before = state();
    form.SetLoadProgressDelay(0);
    bool cancelled = false;
    QTimer::singleShot(0, &form, [&] {
        for (auto *dialog : form.findChildren<QProgressDialog *>()) {
            if (dialog->isVisible()) {
                dialog->cancel();
                cancelled = true;
            }
        }
    });
    if (command == "renumber") {
        form.EditRenumberExecute();
    } else if (command == "fill down") {
        TestSupport::selectBlock(form, 0, 15, document.LineCount() - 1, 15);
        form.EditFillDownExecute();
    } else if (command == "sort") {
        form.EditSortExecute();
    } else if (command == "replace all") {
        form.EditReplaceExecute();
    } else if (command == "undo") {
        form.EditUndoExecute();
    } else {
        form.EditRedoExecute();
    }
    QVERIFY(cancelled);
    QCOMPARE(state(), before);
    QCOMPARE(form.statusBar()->currentMessage(), EditMessages::Cancelled(named));
    QCOMPARE(window.dialogs.boxes, QStringList());
}

QTEST_MAIN(tst_Limits)
#include "tst_limits.moc"
