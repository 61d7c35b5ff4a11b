// What must never end the program or freeze its window: files that are not
// regular files, loads that take long, cells of megabytes, and memory running
// out during a load, a paste or a draw. A case that could hang or abort runs
// in a child process with a time limit (and, where memory is the point, a
// limited address space), so that the suite itself never stalls or dies.

#include "ReportModel.h"
#include "Sanitizers.h"
#include "VelTorGridView.h"
#include "qnVelTorClipboard.h"
#include "qnVelTorFile.h"
#include "qnVelTorForm.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray fileLine(const QByteArrayList &fields)
{
    QByteArrayList all = fields;
    while (all.size() < 19)
        all << QByteArray();
    return all.join('\t') + "\r\n";
}

const QByteArray ReportA = fileLine({"1", "", "000", "", "000", "", "0", "\x8C\xB4\x91\xE8"})
        + fileLine({"2", "QQ", "", "", "", "", "", QByteArray(61, 'a')});
const QString NameA = QStringLiteral("1234567890201204ABC.dat");

QByteArray bytes(std::string_view s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Everything a failed or cancelled load must leave as it was, in one text.
QByteArray windowState(const TVelTorForm &form)
{
    QByteArray out;
    for (int r = 0; r < form.Model->rowCount(); ++r) {
        QByteArrayList cells;
        for (int f = 0; f < 19; ++f)
            cells << bytes(form.Model->Cell(r, f));
        out += cells.join('\t') + '\n';
    }
    out += "attrs " + QByteArray::number(form.CellAttrs.RowCount());
    for (unsigned r = 0; r < form.CellAttrs.RowCount(); ++r) {
        for (unsigned f = 0; f < 20; ++f) {
            if (form.CellAttrs.IsError(r, f))
                out += ' ' + QByteArray::number(r) + ':' + QByteArray::number(f);
        }
    }
    out += "\nboxes " + form.SyoudakuBangou->text().toUtf8() + '|' + form.HoukokuNengappi->text().toUtf8() + '|'
            + form.NiniMoziretsu->text().toUtf8();
    out += "\nfile " + form.CurrentFileName.toUtf8();
    out += QByteArray("\nmodified ") + (form.Modified ? "yes" : "no");
    out += QByteArray(" nameChanged ") + (form.NameChanged ? "yes" : "no");
    return out;
}

// Answers every message box with OK and keeps its text.
class RecordingDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        texts << box.text();
        return QMessageBox::Ok;
    }
    QString ExecFileDialog(QFileDialog &) override { return {}; }
    QStringList texts;
};

// A window showing report A from `dir`, with an edit on top, and the
// dialogs recorded.
struct Window
{
    explicit Window(const QTemporaryDir &dir)
    {
        form.SetDialogs(&dialogs);
        const QString path = dir.filePath(NameA);
        loaded = writeFile(path, ReportA) && form.LoadReport(path);
        form.Model->SetCell(0, 10, "edited");
        form.Modified = true;
    }
    TVelTorForm form;
    RecordingDialogs dialogs;
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
    void loadOutOfMemoryKeepsTheReport();
    void pasteOutOfMemoryKeepsTheReport();
    void blockPasteOutOfMemoryKeepsTheReport();
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
        check.equal(window.dialogs.texts, QStringList{TVelTorForm::NotRegularFileMessage()},
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
        content += fileLine({QByteArray::number(content.size())});
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
    Window window(dir);
    QVERIFY(window.loaded);
    window.form.LoadProgressDelay = 0;
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
    QCOMPARE(window.form.Model->rowCount() - 1, int(content.count('\n')));
    QCOMPARE(window.form.CurrentFileName, path);
    QCOMPARE(window.dialogs.texts, QStringList());
    // Gone with the load.
    const auto *dialog = window.form.findChild<QProgressDialog *>();
    QVERIFY(!dialog || !dialog->isVisible());
}

void tst_Limits::cancelledLoadKeepsTheReport()
{
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    window.form.LoadProgressDelay = 0;
    const QByteArray before = windowState(window.form);
    // Kept too, so that the next Save writes in place without asking.
    const std::string baseName = window.form.Data.FileBaseName();
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
    QCOMPARE(window.form.Data.FileBaseName(), baseName);
    QCOMPARE(window.dialogs.texts, QStringList());
    QCOMPARE(window.form.statusBar()->currentMessage(), TVelTorForm::LoadCancelledMessage());

    // The window is not stuck in its load: the next one goes ahead.
    window.form.LoadProgressDelay = 1000000;
    QVERIFY(window.form.LoadReport(path));
    QCOMPARE(window.form.Model->rowCount() - 1, int(content.count('\n')));
}

void tst_Limits::longCellShowsItsStart_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QString>("shown");
    const QByteArray hyou = "\x95\x5C"; // 表: its second byte is a backslash
    QTest::newRow("ascii") << QByteArray(3 << 20, 'a') << QString(int(ReportModel::ShownCellBytes), u'a');
    QTest::newRow("double-byte") << hyou.repeated(1000) << QStringLiteral("表").repeated(256);
    // One byte ahead: the 256th pair would straddle the cut, so it goes.
    QTest::newRow("double-byte-shifted") << "a" + hyou.repeated(1000) << "a" + QStringLiteral("表").repeated(255);
    QTest::newRow("at-the-limit") << QByteArray(int(ReportModel::ShownCellBytes), 'b')
                                  << QString(int(ReportModel::ShownCellBytes), u'b');
}

void tst_Limits::longCellShowsItsStart()
{
    QFETCH(QByteArray, cell);
    QFETCH(QString, shown);
    TVelTorForm form;
    form.Model->SetCell(0, 7, std::string_view(cell.constData(), size_t(cell.size())));
    const QModelIndex index = form.Model->index(0, 7);
    QCOMPARE(index.data(Qt::EditRole).toString(), shown);
    const bool cut = size_t(cell.size()) > ReportModel::ShownCellBytes;
    QCOMPARE(index.data(Qt::DisplayRole).toString(), cut ? shown + QChar(0x2026) : shown);
    // The value itself stays whole.
    QCOMPARE(bytes(form.Model->Cell(0, 7)), cell);
}

void tst_Limits::longCellHintSaysItsLength()
{
    TVelTorForm form;
    const std::string cell(5 * 1024 * 1024, 'a');
    form.Model->SetCell(0, 7, cell);
    const QString hint = form.Model->Hint(0, 7);
    QVERIFY2(hint.contains(QStringLiteral("5,242,880バイト")), qPrintable(hint));
    QVERIFY(hint.size() < 1000);
    QCOMPARE(form.Model->index(0, 7).data(Qt::ToolTipRole).toString(), hint);
    // A short cell's hint says nothing of a length.
    form.Model->SetCell(0, 7, std::string(ReportModel::ShownCellBytes, 'a'));
    QVERIFY(!form.Model->Hint(0, 7).contains(QStringLiteral("バイトあります")));
}

void tst_Limits::longCellEditorLeftAloneKeepsTheCell()
{
    QTemporaryDir dir;
    // Spaces where the shown start ends: the editor drops trailing spaces,
    // and that alone must not cut the cell to its start.
    const QByteArray cell = "x" + QByteArray(2000, ' ') + "y";
    const QString path = dir.filePath(NameA);
    QVERIFY(writeFile(path, fileLine({"1", "", "", "", "", "", "", cell})));
    TVelTorForm form;
    RecordingDialogs dialogs;
    form.SetDialogs(&dialogs);
    QVERIFY(form.LoadReport(path));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    form.SetCurrentCell(form.FieldToGridCol(7), form.RecordToGridRow(0));
    form.VelTorGrid->edit(form.VelTorGrid->currentIndex());
    QLineEdit *editor = form.VelTorGrid->Editor();
    QVERIFY(editor);
    QVERIFY(editor->text().size() <= int(ReportModel::ShownCellBytes));
    QVERIFY2(form.statusBar()->currentMessage().contains(QStringLiteral("2,002バイト")),
             qPrintable(form.statusBar()->currentMessage()));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), cell);
    QVERIFY(!form.Modified);
}

void tst_Limits::longCellEditedKeepsWhatWasTyped()
{
    TVelTorForm form;
    form.Model->SetCell(0, 7, std::string(100000, 'a'));
    form.Model->AppendEmptyRow();
    form.CellAttrs.Reset(1);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.SetCurrentCell(form.FieldToGridCol(7), form.RecordToGridRow(0));
    form.VelTorGrid->edit(form.VelTorGrid->currentIndex());
    QLineEdit *editor = form.VelTorGrid->Editor();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "abc");
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), QByteArray("abc"));
    QVERIFY(form.Modified);
}

void tst_Limits::longCellIsSavedWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(NameA);
    QByteArray cell(3 << 20, 'z');
    cell[1000] = '\x82'; // a double-byte character past the shown start
    cell[1001] = '\xA0';
    const QByteArray content = fileLine({"1", "", "", "", "", "", "", cell}) + fileLine({"2"});
    QVERIFY(writeFile(path, content));
    TVelTorForm form;
    RecordingDialogs dialogs;
    form.SetDialogs(&dialogs);
    QVERIFY(form.LoadReport(path));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Model->SetCell(1, 1, "x");
    QVERIFY(form.FileSave1Execute(&form));
    QCOMPARE(readFile(path), fileLine({"1", "", "", "", "", "", "", cell}) + fileLine({"2", "x"}));
    QCOMPARE(dialogs.texts, QStringList());
}

// Before, a cell was turned into text whole for every redraw: a cell of
// 64 MB needs 128 MB as text, and the failure came out of the paint event.
void tst_Limits::longCellDrawsInLittleMemory()
{
    TVelTorForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // In the first column, which is always in view.
    form.Model->SetCell(0, 0, std::string(64 << 20, 'a'));
    const QString result = inChild(60, 48 << 20, [&] {
        Checks check;
        const QImage image = form.VelTorGrid->viewport()->grab().toImage();
        check(!image.isNull(), QStringLiteral("nothing drawn"));
        QCoreApplication::processEvents();
        check(form.statusBar()->currentMessage() != TVelTorForm::OutOfMemoryDrawMessage(),
              QStringLiteral("the cell was too big to draw"));
        check(form.Model->index(0, 0).data(Qt::ToolTipRole).toString().contains(QStringLiteral("67,108,864")),
              QStringLiteral("hint"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, the message did not say what was wrong.
void tst_Limits::loadOutOfMemoryKeepsTheReport()
{
    QNVELTOR_SKIP_UNDER_ASAN("the load must run out of address space (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    const QByteArray before = windowState(window.form);
    // A file of 256 MB of zero bytes (one line) that takes no disk space.
    const QString path = dir.filePath(QStringLiteral("1111111111202301HUGE.dat"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(256) << 20));
    }
    const QString result = inChild(60, 64 << 20, [&] {
        Checks check;
        check(!window.form.LoadReport(path), QStringLiteral("load succeeded"));
        check.equal(window.dialogs.texts, QStringList{TVelTorForm::OutOfMemoryLoadMessage()},
                    QStringLiteral("messages"));
        check.equal(windowState(window.form), before, QStringLiteral("window"));
        // Memory given back: an ordinary file opens after it.
        const QString small = QDir(QFileInfo(path).path()).filePath(QStringLiteral("2222222222202302S.dat"));
        check(writeFile(small, fileLine({"s"})) && window.form.LoadReport(small), QStringLiteral("next load"));
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
    window.form.SetCurrentCell(window.form.FieldToGridCol(0), window.form.RecordToGridRow(1));
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
        check(window.form.LineClipboard.HasRecord(), QStringLiteral("no line on the clipboard"));
        window.form.EditPasteLineExecute();
        check.equal(window.dialogs.texts, QStringList{TVelTorForm::OutOfMemoryPasteMessage()},
                    QStringLiteral("messages"));
        check.equal(windowState(window.form), before, QStringLiteral("window"));
        check(window.form.CurrentRow() == window.form.RecordToGridRow(1), QStringLiteral("current row"));
        return check.text();
    });
    QCOMPARE(result, QString());
}

// Before, memory running out part way through a block paste left the lines
// it had added, or some of its cells, in the report with no step to undo
// them, and the verdicts no longer one row per line.
void tst_Limits::blockPasteOutOfMemoryKeepsTheReport()
{
    QNVELTOR_SKIP_UNDER_ASAN("the paste must run out of address space (RLIMIT_AS)");
    QTemporaryDir dir;
    Window window(dir);
    QVERIFY(window.loaded);
    TVelTorForm &form = window.form;
    // From the new-line row, so that the paste adds every line it holds.
    form.SetCurrentCell(form.FieldToGridCol(0), form.RecordToGridRow(2));
    const QByteArray before = windowState(form);
    constexpr int Lines = 100000;
    QString block;
    for (int i = 0; i < Lines; ++i)
        block += QStringLiteral("x\ty\r\n");
    QGuiApplication::clipboard()->setText(block);
    block.clear();

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

            Checks check;
            form.BlockPaste();
            const int lines = form.Model->rowCount() - 1;
            check(int(form.CellAttrs.RowCount()) == lines, QStringLiteral("verdict rows %1, lines %2")
                                                                   .arg(form.CellAttrs.RowCount())
                                                                   .arg(lines));
            if (form.UndoStack->count() == 1) {
                check(lines == 2 + Lines && form.Model->Cell(lines - 1, 1) == "y", QStringLiteral("paste not whole"));
                return QStringLiteral("pasted") + (check.text().isEmpty() ? QString() : u' ' + check.text());
            }
            if (lines != 2)
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

QTEST_MAIN(tst_Limits)
#include "tst_limits.moc"
