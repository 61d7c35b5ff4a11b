// Other versions of the open report: another copy of the editor that has it
// open (its lock record, stale or live), and the report changed on the
// disk while it is open (a reload offered, the bar, the question at save).

#include "DiskNoticeBar.h"
#include "FileMessages.h"
#include "PlainUser.h"
#include "RecoveryMessages.h"
#include "ReportLock.h"
#include "WindowSupport.h"

#include <QApplication>
#include <QProcess>
#include <QStatusBar>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace TestSupport;

namespace {

const QString ReportName = QStringLiteral("1234567890202404TEST.dat");
const QByteArray Theirs = fileLines({QStringLiteral("1|theirs"), QStringLiteral("2")});
const QByteArray Ours = fileLines({QStringLiteral("1|A"), QStringLiteral("2|ours")});

// A process of this computer that runs for as long as the test needs it.
struct LiveProcess
{
    LiveProcess()
    {
        process.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        process.waitForStarted();
    }
    ~LiveProcess()
    {
        process.kill();
        process.waitForFinished();
    }
    qint64 Pid() const { return process.processId(); }

    QProcess process;
};

// The number of a process of this computer that has ended.
qint64 GonePid()
{
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForFinished();
    return process.processId() > 0 ? process.processId() : 999999999;
}

LockHolder holder(const QString &host, qint64 pid, const QString &program)
{
    return {QStringLiteral("someone"), host, pid, program, 1712345678000};
}

DiskNoticeBar &bar(TVelTorForm &form)
{
    return *form.findChild<DiskNoticeBar *>();
}

} // namespace

class tst_DiskWatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lockStaleOrLive_data();
    void lockStaleOrLive();
    void lockRecordReadBack_data();
    void lockRecordReadBack();
    void openAskedWhenAnotherCopyHasIt_data();
    void openAskedWhenAnotherCopyHasIt();
    void lockFollowsTheReport();
    void lockInTheCacheBesideAReadOnlyFolder();

    void diskChangeNoticed_data();
    void diskChangeNoticed();
    void saveQuestionOffersThreeWays_data();
    void saveQuestionOffersThreeWays();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> cache;
    QString path;
    std::unique_ptr<LiveProcess> live;
};

void tst_DiskWatch::init()
{
    dir = std::make_unique<QTemporaryDir>();
    cache = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid() && cache->isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache->path()));
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sub")));
    path = dir->filePath(QStringLiteral("sub/") + ReportName);
    QVERIFY(writeFile(path, Ours));
    live = std::make_unique<LiveProcess>();
    QVERIFY(live->Pid() > 0);
}

void tst_DiskWatch::cleanup()
{
    live.reset();
    dir.reset();
    cache.reset();
}

void tst_DiskWatch::lockStaleOrLive_data()
{
    QTest::addColumn<QString>("host"); // "here" for this computer
    QTest::addColumn<QString>("process"); // "gone", "live", "this"
    QTest::addColumn<QString>("program"); // empty: the process's own name
    QTest::addColumn<bool>("stale");

    QTest::newRow("a process of this computer that has ended") << "here" << "gone" << "" << true;
    QTest::newRow("a live process of this computer") << "here" << "live" << "" << false;
    QTest::newRow("this very process") << "here" << "this" << "" << false;
    QTest::newRow("its number taken by another program") << "here" << "live" << "qnveltor" << true;
    QTest::newRow("another computer's, a number gone here") << "elsewhere" << "gone" << "" << false;
    QTest::newRow("another computer's, a number live here") << "elsewhere" << "live" << "" << false;
}

void tst_DiskWatch::lockStaleOrLive()
{
    QFETCH(QString, host);
    QFETCH(QString, process);
    QFETCH(QString, program);
    QFETCH(bool, stale);
    const LockHolder me = ReportLock::Me();
    const qint64 pid = process == "gone" ? GonePid() : process == "live" ? live->Pid() : me.pid;
    const QString name = !program.isEmpty() ? program
            : process == "live"            ? QStringLiteral("sleep")
                                           : me.program;
    const LockHolder record = holder(host == "here" ? me.host : QStringLiteral("elsewhere.example"), pid, name);
    QCOMPARE(ReportLock::IsStale(record), stale);

    // A stale record is removed silently; a live one names its editor.
    QVERIFY(writeFile(ReportLock::RecordBeside(path), ReportLock::Format(record)));
    const std::optional<LockHolder> other = ReportLock::OtherHolder(path);
    const bool mine = host == "here" && process == "this";
    QCOMPARE(other.has_value(), !stale && !mine);
    if (other)
        QCOMPARE(*other, record);
    QCOMPARE(QFileInfo::exists(ReportLock::RecordBeside(path)), !stale);
}

void tst_DiskWatch::lockRecordReadBack_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("record");

    const LockHolder odd {QStringLiteral("山田\nx"), QStringLiteral("pc 1"), 42, QStringLiteral("qnveltor"), 7};
    QTest::newRow("this program's, with a name of two lines") << ReportLock::Format(odd) << true;
    QTest::newRow("another program's lock file") << QByteArray("12345\nsoffice\nhost\n") << false;
    QTest::newRow("cut short") << ReportLock::Format(odd).chopped(3) << false;
    QTest::newRow("no process number") << ReportLock::Format(odd).replace("pid 42", "pid x") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_DiskWatch::lockRecordReadBack()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, record);
    LockHolder read;
    QCOMPARE(ReportLock::Parse(text, read), record);
    if (record) {
        QCOMPARE(read.user, QStringLiteral("山田 x"));
        QCOMPARE(ReportLock::Format(read), text);
    }
    // Whatever the file holds, an open goes on without a word about it.
    QVERIFY(writeFile(ReportLock::RecordBeside(path), text));
    Window window;
    window.dialogs.defaultAnswer = QMessageBox::Open;
    QVERIFY(window.form.LoadReport(path));
    QCOMPARE(window.dialogs.boxes.isEmpty(), !record || !ReportLock::OtherHolder(path));
}

void tst_DiskWatch::openAskedWhenAnotherCopyHasIt_data()
{
    QTest::addColumn<QString>("record"); // "live", "elsewhere", "gone", "none"
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("after"); // whose record stands after: "theirs", "mine"

    QTest::newRow("a live copy here, キャンセル") << "live" << int(QMessageBox::Cancel) << false << "theirs";
    QTest::newRow("a live copy here, 開く") << "live" << int(QMessageBox::Open) << true << "theirs";
    QTest::newRow("another computer's copy, 開く") << "elsewhere" << int(QMessageBox::Open) << true << "theirs";
    QTest::newRow("a copy whose process is gone") << "gone" << int(QMessageBox::Cancel) << true << "mine";
    QTest::newRow("no other copy") << "none" << int(QMessageBox::Cancel) << true << "mine";
}

void tst_DiskWatch::openAskedWhenAnotherCopyHasIt()
{
    QFETCH(QString, record);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    QFETCH(QString, after);
    const QString here = ReportLock::Me().host;
    const LockHolder other = record == "live" ? holder(here, live->Pid(), QStringLiteral("sleep"))
            : record == "elsewhere"           ? holder(QStringLiteral("elsewhere.example"), 4242, {})
                                              : holder(here, GonePid(), QStringLiteral("qnveltor"));
    const QString lock = ReportLock::RecordBeside(path);
    if (record != "none")
        QVERIFY(writeFile(lock, ReportLock::Format(other)));

    Window window;
    window.dialogs.answers << answer;
    QCOMPARE(window.form.LoadReport(path), opened);
    const bool asked = record == "live" || record == "elsewhere";
    QCOMPARE(window.dialogs.boxes,
             asked ? QStringList {RecoveryMessages::OpenElsewhere(path, other)} : QStringList());
    QCOMPARE(window.form.CurrentFileName(), opened ? path : QString());
    LockHolder standing;
    QVERIFY(ReportLock::Parse(readFile(lock), standing));
    QCOMPARE(standing.pid, after == "mine" ? ReportLock::Me().pid : other.pid);
}

void tst_DiskWatch::lockFollowsTheReport()
{
    const QString lock = ReportLock::RecordBeside(path);
    const QString other = dir->filePath(QStringLiteral("other.dat"));
    {
        Window window;
        QVERIFY(window.form.LoadReport(path));
        LockHolder standing;
        QVERIFY(ReportLock::Parse(readFile(lock), standing));
        QCOMPARE(standing.pid, ReportLock::Me().pid);
        QVERIFY(QFileInfo(lock).fileName().startsWith(u'.'));

        // Saved to another name, the report's lock goes with it.
        window.dialogs.paths << other;
        QVERIFY(window.form.FileSave1Execute(window.form.Ui().FileSaveAs1));
        QVERIFY(!QFileInfo::exists(lock));
        QVERIFY(QFileInfo::exists(ReportLock::RecordBeside(other)));
        window.form.FileNew1Execute(window.form.Ui().FileNew1);
        QVERIFY(!QFileInfo::exists(ReportLock::RecordBeside(other)));
        QVERIFY(window.form.LoadReport(other));
        QVERIFY(QFileInfo::exists(ReportLock::RecordBeside(other)));
    }
    // The window gone, so is its record.
    QVERIFY(!QFileInfo::exists(ReportLock::RecordBeside(other)));
}

void tst_DiskWatch::lockInTheCacheBesideAReadOnlyFolder()
{
    const PlainUser user;
    if (!user.known)
        QSKIP("no plain user to meet the folder's rights");
    const QString folder = QFileInfo(path).absolutePath();
    QVERIFY(user.Own(path, 0644) && user.Own(folder, 0555) && user.Own(cache->path(), 0755));
    const QString beside = ReportLock::RecordBeside(path);
    // 1: a record beside, 2: none in the cache, 3: the cache's not this
    // process's, 4: not removed at the end.
    const int result = user.Run([&] {
        ReportLock lock;
        lock.Take(path);
        if (QFileInfo::exists(beside))
            return 1;
        const QString inCache = ReportLock::RecordInCache(path);
        LockHolder standing;
        QFile record(inCache);
        if (!record.open(QIODevice::ReadOnly) || !ReportLock::Parse(record.readAll(), standing))
            return 2;
        if (standing.pid != ReportLock::Me().pid || ReportLock::OtherHolder(path))
            return 3;
        lock.Release();
        return QFileInfo::exists(inCache) ? 4 : 0;
    });
    QCOMPARE(result, 0);
}

void tst_DiskWatch::diskChangeNoticed_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<DiskChange>("told"); // Same: nothing told

    QTest::newRow("rewritten, nothing unsaved: a reload offered") << "rewrite" << false << DiskChange::Changed;
    QTest::newRow("renamed over, nothing unsaved: a reload offered") << "rename" << false << DiskChange::Replaced;
    QTest::newRow("rewritten, with unsaved edits: the bar") << "rewrite" << true << DiskChange::Changed;
    QTest::newRow("deleted, with unsaved edits") << "delete" << true << DiskChange::Deleted;
    QTest::newRow("deleted, nothing unsaved") << "delete" << false << DiskChange::Deleted;
    QTest::newRow("its folder renamed") << "folder" << true << DiskChange::FolderGone;
    QTest::newRow("its folder deleted, nothing unsaved") << "remove folder" << false << DiskChange::FolderGone;
    QTest::newRow("saved here") << "save" << true << DiskChange::Same;
    QTest::newRow("saved here as another file") << "save as" << true << DiskChange::Same;
}

void tst_DiskWatch::diskChangeNoticed()
{
    QFETCH(QString, change);
    QFETCH(bool, edited);
    QFETCH(DiskChange, told);
    Window window;
    TVelTorForm &form = window.form;
    QVERIFY(form.LoadReport(path));
    if (edited)
        QCOMPARE(form.Document().SetCell(0, 3, "mine"), EditResult::Done);
    window.dialogs.answers << QMessageBox::Yes;
    const QString folder = QFileInfo(path).absolutePath();
    if (change == "rewrite") {
        QVERIFY(writeFile(path, Theirs));
    } else if (change == "rename") {
        QVERIFY(writeFile(path + QStringLiteral(".new"), Theirs));
        QVERIFY(std::rename(QFile::encodeName(path + QStringLiteral(".new")), QFile::encodeName(path)) == 0);
    } else if (change == "delete") {
        QVERIFY(QFile::remove(path));
    } else if (change == "folder") {
        QVERIFY(QDir().rename(folder, folder + QStringLiteral("2")));
    } else if (change == "remove folder") {
        QVERIFY(QDir(folder).removeRecursively());
    } else if (change == "save") {
        QVERIFY(form.FileSave1Execute(form.Ui().FileSave1));
    } else {
        window.dialogs.paths << dir->filePath(QStringLiteral("copy.dat"));
        QVERIFY(form.FileSave1Execute(form.Ui().FileSaveAs1));
    }
    const int boxes = window.dialogs.boxes.size();

    if (told == DiskChange::Same) {
        QTest::qWait(1500);
        QCOMPARE(window.dialogs.boxes.size(), boxes);
        QCOMPARE(bar(form).Text(), QString());
        return;
    }
    if (!edited && told != DiskChange::Deleted && told != DiskChange::FolderGone) {
        QTRY_COMPARE_WITH_TIMEOUT(window.dialogs.boxes.size(), 1, 5000);
        QCOMPARE(window.dialogs.boxes.at(0), RecoveryMessages::ReloadQuestion(path, told, nullptr));
        QCOMPARE(readFile(path), Theirs);
        QCOMPARE(lineTexts(form.Document()), QStringList({QStringLiteral("1|theirs"), QStringLiteral("2")}));
        QVERIFY(!form.Modified());
        QCOMPARE(bar(form).Text(), QString());
        // Told once: a look again finds nothing new.
        QTest::qWait(800);
        QCOMPARE(window.dialogs.boxes.size(), 1);
        return;
    }
    const QString notice = RecoveryMessages::Notice(path, told, edited, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(bar(form).Text(), notice, 5000);
    QVERIFY(window.dialogs.boxes.isEmpty());
    QCOMPARE(bar(form).OverwriteAction->isVisible(), told != DiskChange::FolderGone);
    QCOMPARE(form.Modified(), edited);
    QCOMPARE(form.CurrentFileName(), path);
}

void tst_DiskWatch::saveQuestionOffersThreeWays_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("otherCopy");
    QTest::addColumn<QByteArray>("left"); // the file on the disk after
    QTest::addColumn<bool>("savedElsewhere");

    QTest::newRow("上書きする") << int(QMessageBox::Save) << false << Ours << false;
    QTest::newRow("名前を付けて保存") << int(QMessageBox::SaveAll) << false << Theirs << true;
    QTest::newRow("キャンセル") << int(QMessageBox::Cancel) << false << Theirs << false;
    QTest::newRow("another copy of the editor named, キャンセル") << int(QMessageBox::Cancel) << true << Theirs
                                                                  << false;
}

void tst_DiskWatch::saveQuestionOffersThreeWays()
{
    QFETCH(int, answer);
    QFETCH(bool, otherCopy);
    QFETCH(QByteArray, left);
    QFETCH(bool, savedElsewhere);
    QVERIFY(writeFile(path, fileLines({QStringLiteral("1|A"), QStringLiteral("2")})));
    Window window;
    TVelTorForm &form = window.form;
    QVERIFY(form.LoadReport(path));
    QCOMPARE(form.Document().SetCell(1, 1, "ours"), EditResult::Done);
    QVERIFY(writeFile(path, Theirs));
    const LockHolder other = holder(ReportLock::Me().host, live->Pid(), QStringLiteral("sleep"));
    if (otherCopy)
        QVERIFY(writeFile(ReportLock::RecordBeside(path), ReportLock::Format(other)));
    const QString elsewhere = dir->filePath(QStringLiteral("elsewhere.dat"));
    window.dialogs.answers << answer;
    window.dialogs.paths << elsewhere;

    const bool saved = form.FileSave1Execute(form.Ui().FileSave1);
    QCOMPARE(window.dialogs.boxes,
             QStringList {FileMessages::ChangedOnDisk(path, DiskChange::Changed, otherCopy ? &other : nullptr)});
    QCOMPARE(saved, answer != QMessageBox::Cancel);
    QCOMPARE(readFile(path), left);
    QCOMPARE(readFile(elsewhere), savedElsewhere ? Ours : QByteArray("<unreadable>"));
    QCOMPARE(form.CurrentFileName(), savedElsewhere ? elsewhere : path);
    QCOMPARE(form.Modified(), !saved);
    if (!saved)
        QCOMPARE(form.statusBar()->currentMessage(), RecoveryMessages::NotSaved(path));
}

QTEST_MAIN(tst_DiskWatch)

#include "tst_diskwatch.moc"
