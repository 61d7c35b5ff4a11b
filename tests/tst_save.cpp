// Saving from the window when the save cannot be done: a full disk, a path
// that fails, memory that runs out. Nothing the user typed may be lost, and
// a failure is never taken for a save.

#include "SmallDisk.h"
#include "FileSystemCalls.h"
#include "FileMessages.h"
#include "EditMessages.h"
#include "WindowSupport.h"

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

using namespace TestSupport;

namespace {

// Every allocation made with operator new by the test's thread while
// `armed` counts against a budget. The first one that would go over it
// fails, as it would when the address space runs out, and memory is
// plentiful again afterwards. Qt's own worker threads are left alone.
std::atomic<bool> armed = false;
std::thread::id armedThread;
std::size_t budget = 0;
std::size_t used = 0;
int failures = 0;

void arm(std::size_t bytes)
{
    budget = bytes;
    used = 0;
    failures = 0;
    armedThread = std::this_thread::get_id();
    armed = true;
}

} // namespace

void *operator new(std::size_t size)
{
    if (armed && std::this_thread::get_id() == armedThread) {
        if (size > budget - used) {
            armed = false;
            ++failures;
            throw std::bad_alloc();
        }
        used += size;
    }
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// The library asks this one for a sort's scratch space, and gives it back
// through the deletes below: it must come from the same heap.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

const QString WriteError = QStringLiteral("ファイル書き込みエラー");
const QString NotSaved = FileMessages::SaveReason(WriteFailure::DiskFull);
const QString NoFolder = QStringLiteral("保存先のフォルダーが見つかりません。");
const QString NoMemory = QStringLiteral("メモリが足りないため、保存できませんでした。報告も元のファイルもそのままです。");

// Line i of a made-up report, with field 8 as given.
QByteArray reportLine(int i, const QByteArray &field8 = {})
{
    return fileLine({QByteArray::number(i + 1), "", "000", "", "000", "", "0",
                     "\x8C\xB4\x91\xE8 " + QByteArray::number(i), field8, "", "", "", "", "", "0", "I", "1"});
}

QByteArray manyLines(int count, int edited = -1)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += reportLine(i, i == edited ? "edited" : "");
    return out;
}

} // namespace

class tst_Save : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fullDiskKeepsEverything_data();
    void fullDiskKeepsEverything();
    void failedSaveAsKeepsTheCurrentFile();
    void inPlaceWithoutCopyAsksFirst_data();
    void inPlaceWithoutCopyAsksFirst();
    void outOfMemoryLosesNothing();
    void saveMakesNoCopyOfTheReport();

private:
    // A shown window with the report at `path` loaded, and a cell edited.
    bool openAndEdit(const QString &path, int line, int field, const QString &text, bool watched = true);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Window> window;
};

void tst_Save::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_Save::cleanup()
{
    window.reset();
}

bool tst_Save::openAndEdit(const QString &path, int line, int field, const QString &text, bool watched)
{
    window = std::make_unique<Window>(watched);
    window->form.show();
    if (!QTest::qWaitForWindowExposed(&window->form) || !window->form.LoadReport(path))
        return false;
    type(window->form, line, field, text);
    return window->form.Modified();
}

void tst_Save::fullDiskKeepsEverything_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("saveAs");

    // A small report fails only when the written bytes leave Qt's buffer.
    QTest::newRow("one line, Save in place") << 1 << false;
    QTest::newRow("3000 lines, Save As over a file") << 3000 << true;
}

void tst_Save::fullDiskKeepsEverything()
{
    QFETCH(int, lines);
    QFETCH(bool, saveAs);
    SmallDisk disk;
    if (!disk.mounted)
        QSKIP("cannot mount a small tmpfs here (needs root)");

    const QString target = disk.filePath("1234567890201204ABC.dat");
    const QString source = saveAs ? dir->filePath("1234567890201204ABC.dat") : target;
    const QByteArray old = saveAs ? fileLine("old") + fileLine("file") : manyLines(lines);
    QVERIFY(writeFile(target, old));
    if (saveAs)
        QVERIFY(writeFile(source, manyLines(lines)));
    QVERIFY(openAndEdit(source, 0, 8, QStringLiteral("edited")));
    TVelTorForm &form = window->form;
    QVERIFY(disk.Fill());

    if (saveAs)
        window->dialogs.paths << target;
    (saveAs ? form.Ui().FileSaveAs1 : form.Ui().FileSave1)->trigger();
    QCOMPARE(window->dialogs.boxes, QStringList {failureBox(WriteError, target, NotSaved)});
    QVERIFY(form.Modified());
    QCOMPARE(readFile(target), old);
    QCOMPARE(disk.files(), QStringList({"1234567890201204ABC.dat", "filler"}));
    QCOMPARE(form.CurrentFileName(), source);
    QCOMPARE(form.Document().Cell(0, 8), std::string_view("edited"));
    QCOMPARE(model(form)->rowCount(), lines + 1);
}

void tst_Save::inPlaceWithoutCopyAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("kept") << int(QMessageBox::Cancel);
    QTest::newRow("written") << int(QMessageBox::Save);
}

// The folder takes no new file and no copy of the old one can be kept
// anywhere: the file could only be overwritten where it stands, with
// nothing to undo a failure with.
void tst_Save::inPlaceWithoutCopyAsksFirst()
{
    QFETCH(int, answer);
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, fileLine("1")));
    QVERIFY(openAndEdit(path, 0, 7, QStringLiteral("X")));
    TVelTorForm &form = window->form;

    FileSystemCalls noNewFiles = FileSystemCalls::System();
    noNewFiles.open = [](const char *name, int flags, mode_t mode) {
        if (flags & O_CREAT) {
            errno = EACCES;
            return -1;
        }
        return FileSystemCalls::System().open(name, flags, mode);
    };
    const ScopedFileSystemCalls refusing(noNewFiles);
    window->dialogs.answers << answer << QMessageBox::Ok;
    form.Ui().FileSave1->trigger();
    QCOMPARE(window->dialogs.boxes.value(0), FileMessages::WithoutBackup(path));
    if (answer == QMessageBox::Cancel) {
        QCOMPARE(window->dialogs.boxes.value(1),
                 failureBox(WriteError, path, FileMessages::SaveReason(WriteFailure::InPlaceDeclined)));
        QCOMPARE(readFile(path), fileLine("1"));
        QVERIFY(form.Modified());
    } else {
        QCOMPARE(window->dialogs.boxes.size(), 1);
        QCOMPARE(readFile(path), fileLine("1|||||||X"));
        QVERIFY(!form.Modified());
    }
}

void tst_Save::failedSaveAsKeepsTheCurrentFile()
{
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, fileLine("1")));
    QVERIFY(openAndEdit(path, 0, 7, QStringLiteral("X")));
    TVelTorForm &form = window->form;
    const QString title = form.windowTitle();

    const QString missing = dir->filePath("missing/1234567890201204ABC.dat");
    window->dialogs.paths << missing;
    form.Ui().FileSaveAs1->trigger();
    QCOMPARE(window->dialogs.boxes, QStringList {failureBox(WriteError, missing, NoFolder)});
    QCOMPARE(form.CurrentFileName(), path);
    QCOMPARE(form.windowTitle(), title);
    QVERIFY(form.Modified());
    QVERIFY(!form.File().NameChanged());

    // The next Save goes where the report came from, without a dialog.
    form.Ui().FileSave1->trigger();
    QCOMPARE(window->dialogs.fileDialogs, 1);
    QCOMPARE(window->dialogs.boxes.size(), 1);
    QCOMPARE(readFile(path), fileLine("1|||||||X"));
    QVERIFY(!form.Modified());
}

void tst_Save::outOfMemoryLosesNothing()
{
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const QByteArray original = manyLines(20000);
    QVERIFY(writeFile(path, original));
    QVERIFY(openAndEdit(path, 19999, 8, QStringLiteral("edited"), false));
    TVelTorForm &form = window->form;

    // Not even the write buffer can be had.
    arm(64 * 1024);
    const bool saved = form.FileSave1Execute(form.Ui().FileSave1);
    armed = false;
    QVERIFY(!saved);
    QCOMPARE(failures, 1);
    QCOMPARE(window->dialogs.boxes, QStringList {failureBox(WriteError, path, NoMemory)});
    QVERIFY(form.Modified());
    QCOMPARE(readFile(path), original);
    QCOMPARE(filesIn(dir->path()), QStringList {"1234567890201204ABC.dat"});
    QCOMPARE(model(form)->rowCount(), 20001);
    QCOMPARE(form.Document().Cell(19999, 8), std::string_view("edited"));

    // With memory back, the same report is saved.
    QVERIFY(form.FileSave1Execute(form.Ui().FileSave1));
    QCOMPARE(readFile(path), manyLines(20000, 19999));
}

void tst_Save::saveMakesNoCopyOfTheReport()
{
    // 20,000 lines are over 2 MB as files, more as separate values; the save
    // may take little more than its write buffer.
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, manyLines(20000)));
    QVERIFY(openAndEdit(path, 0, 8, QStringLiteral("edited"), false));
    TVelTorForm &form = window->form;

    arm(2 * 1024 * 1024);
    const bool saved = form.FileSave1Execute(form.Ui().FileSave1);
    armed = false;
    QCOMPARE(failures, 0);
    QVERIFY(saved);
    QCOMPARE(window->dialogs.boxes, QStringList());
    QCOMPARE(readFile(path), manyLines(20000, 0));
}

QTEST_MAIN(tst_Save)
#include "tst_save.moc"
