// Saving from the window when the save cannot be done: a full disk, a path
// that fails, memory that runs out. Nothing the user typed may be lost, and
// a failure is never taken for a save.

#include "ReportModel.h"
#include "SmallDisk.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

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
const QString MemoryError = TVelTorForm::OutOfMemorySaveMessage();

QByteArray fileLine(const QByteArrayList &fields)
{
    QByteArrayList all = fields;
    while (all.size() < 19)
        all << QByteArray();
    return all.join('\t') + "\r\n";
}

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Answers the file dialogs from a queue and records the message boxes.
class FakeDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        boxes << box.text();
        return QMessageBox::Ok;
    }
    QString ExecFileDialog(QFileDialog &) override
    {
        ++fileDialogs;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }

    QStringList boxes;
    int fileDialogs = 0;
    QStringList fileAnswers;
};


} // namespace

class tst_Save : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void fullDiskKeepsEverything_data();
    void fullDiskKeepsEverything();
    void failedSaveAsKeepsTheCurrentFile();
    void outOfMemoryLosesNothing();
    void saveMakesNoCopyOfTheReport();

private:
    std::unique_ptr<TVelTorForm> openForm(const QString &path);
    bool typeIntoCell(TVelTorForm &form, int record, int field, const QString &text);

    std::unique_ptr<QTemporaryDir> dir;
    FakeDialogs fake;
};

void tst_Save::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    fake = FakeDialogs();
}

std::unique_ptr<TVelTorForm> tst_Save::openForm(const QString &path)
{
    auto form = std::make_unique<TVelTorForm>();
    form->SetDialogs(&fake);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()) || !form->LoadReport(path))
        return nullptr;
    return form;
}

bool tst_Save::typeIntoCell(TVelTorForm &form, int record, int field, const QString &text)
{
    const QModelIndex index = form.Model->index(record, field);
    form.VelTorGrid->setCurrentIndex(index);
    form.VelTorGrid->edit(index);
    QLineEdit *editor = form.VelTorGrid->Editor();
    if (!editor)
        return false;
    editor->setText(text);
    form.VelTorGrid->CommitEditor();
    return form.Modified;
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
    const QByteArray old = saveAs ? fileLine({"old"}) + fileLine({"file"}) : manyLines(lines);
    QVERIFY(writeFile(target, old));
    if (saveAs)
        QVERIFY(writeFile(source, manyLines(lines)));
    auto form = openForm(source);
    QVERIFY(form);
    QVERIFY(typeIntoCell(*form, 0, 8, QStringLiteral("edited")));
    QVERIFY(disk.Fill());

    if (saveAs)
        fake.fileAnswers << target;
    (saveAs ? form->FileSaveAs1 : form->FileSave1)->trigger();
    QCOMPARE(fake.boxes, QStringList {WriteError});
    QVERIFY(form->Modified);
    QCOMPARE(readFile(target), old);
    QCOMPARE(disk.files(), QStringList({"1234567890201204ABC.dat", "filler"}));
    QCOMPARE(form->CurrentFileName, source);
    QCOMPARE(form->Model->Cell(0, 8), std::string_view("edited"));
    QCOMPARE(form->Model->rowCount(), lines + 1);
}

void tst_Save::failedSaveAsKeepsTheCurrentFile()
{
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, fileLine({"1"})));
    auto form = openForm(path);
    QVERIFY(form);
    const QString title = form->windowTitle();
    QVERIFY(typeIntoCell(*form, 0, 7, QStringLiteral("X")));

    fake.fileAnswers << dir->filePath("missing/1234567890201204ABC.dat");
    form->FileSaveAs1->trigger();
    QCOMPARE(fake.boxes, QStringList {WriteError});
    QCOMPARE(form->CurrentFileName, path);
    QCOMPARE(form->windowTitle(), title);
    QVERIFY(form->Modified);

    // The next Save goes where the report came from, without a dialog.
    form->FileSave1->trigger();
    QCOMPARE(fake.fileDialogs, 1);
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(readFile(path), fileLine({"1", "", "", "", "", "", "", "X"}));
    QVERIFY(!form->Modified);
}

void tst_Save::outOfMemoryLosesNothing()
{
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const QByteArray original = manyLines(20000);
    QVERIFY(writeFile(path, original));
    auto form = openForm(path);
    QVERIFY(form);
    QVERIFY(typeIntoCell(*form, 19999, 8, QStringLiteral("edited")));

    // Not even the write buffer can be had.
    arm(64 * 1024);
    const bool saved = form->FileSave1Execute(form->FileSave1);
    armed = false;
    QVERIFY(!saved);
    QCOMPARE(failures, 1);
    QCOMPARE(fake.boxes, QStringList {MemoryError});
    QVERIFY(form->Modified);
    QCOMPARE(readFile(path), original);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList {"1234567890201204ABC.dat"});
    QCOMPARE(form->Model->rowCount(), 20001);
    QCOMPARE(form->Model->Cell(19999, 8), std::string_view("edited"));

    // With memory back, the same report is saved.
    QVERIFY(form->FileSave1Execute(form->FileSave1));
    QCOMPARE(readFile(path), manyLines(20000, 19999));
}

void tst_Save::saveMakesNoCopyOfTheReport()
{
    // 20,000 lines are over 2 MB as files, more as separate values; the save
    // may take little more than its write buffer.
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, manyLines(20000)));
    auto form = openForm(path);
    QVERIFY(form);
    QVERIFY(typeIntoCell(*form, 0, 8, QStringLiteral("edited")));

    arm(2 * 1024 * 1024);
    const bool saved = form->FileSave1Execute(form->FileSave1);
    armed = false;
    QCOMPARE(failures, 0);
    QVERIFY(saved);
    QCOMPARE(fake.boxes, QStringList());
    QCOMPARE(readFile(path), manyLines(20000, 0));
}

QTEST_MAIN(tst_Save)
#include "tst_save.moc"
