// Saving and loading when the system calls fail: every failure on the way to
// the disk fails the save with its reason and leaves the old file byte for
// byte; a read error never passes for the end of the file. The faults come
// through the file layer's table of system calls.

#include "FileIdentity.h"
#include "FileSystemCalls.h"
#include "LinePartsReader.h"
#include "MemoryHeadroom.h"
#include "ReportCsvWriter.h"
#include "SafeReplace.h"
#include "qnVelTorData.h"
#include "qnVelTorFile.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Which file a descriptor or path is, as the save sees them.
enum class Kind { Target, Temporary, Backup, Journal, Folder, Other };

enum class Call { Open, Close, Read, Write, Fsync, Fallocate, Ftruncate, Fchmod, Rename, Link, Unlink };

// One planted fault: the calls `call` on files of kind `on` fail with
// `error` once `after` of them (bytes for read and write, unless
// `perCall`) went through, and from then on, or only once. `corrupt` makes
// a write change a byte but say it succeeded.
struct Fault
{
    Call call = Call::Write;
    Kind on = Kind::Temporary;
    int error = EIO;
    qint64 after = 0;
    bool once = false;
    bool corrupt = false;
    // The program is killed at that point instead, as kill -9 would.
    bool die = false;
    // Reads and writes count as calls, whatever their size.
    bool perCall = false;
};
using Faults = std::vector<Fault>;

struct Calls
{
    Faults faults;
    std::vector<qint64> done; // per fault: calls or bytes seen
    std::vector<bool> fired;
    std::map<int, Kind> kinds;
    QByteArray target;
    // Reads and writes go in pieces of at most this many bytes (0: whole).
    size_t piece = 0;
    bool noInodes = false;
    QStringList log; // fsync, rename and link, in order
} calls;

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Target:
        return "target";
    case Kind::Temporary:
        return "temporary";
    case Kind::Backup:
        return "backup";
    case Kind::Journal:
        return "journal";
    case Kind::Folder:
        return "folder";
    case Kind::Other:
        break;
    }
    return "other";
}

Kind kindOfPath(const char *path)
{
    const QByteArray name = QByteArray(path).mid(QByteArray(path).lastIndexOf('/') + 1);
    if (calls.target == path)
        return Kind::Target;
    if (name.startsWith(".qnv"))
        return Kind::Temporary;
    if (name.startsWith("qnVelTor-") && name.endsWith(".bak"))
        return Kind::Backup;
    if (name.startsWith("qnVelTor-") && name.endsWith(".journal"))
        return Kind::Journal;
    struct stat status {};
    if (::stat(path, &status) == 0 && S_ISDIR(status.st_mode))
        return Kind::Folder;
    return Kind::Other;
}

Kind kindOf(int fd)
{
    const auto found = calls.kinds.find(fd);
    return found == calls.kinds.end() ? Kind::Other : found->second;
}

// How many of `amount` bytes (or 1 call) may go through before a fault on
// (call, kind) fires; -1 when it fires now, with errno set.
qint64 allowed(Call call, Kind kind, qint64 amount)
{
    for (std::size_t i = 0; i < calls.faults.size(); ++i) {
        const Fault &fault = calls.faults[i];
        if (fault.call != call || fault.on != kind || fault.corrupt || (fault.once && calls.fired[i]))
            continue;
        const qint64 left = fault.after - calls.done[i];
        if (left <= 0) {
            if (fault.die)
                _exit(9);
            calls.fired[i] = true;
            errno = fault.error;
            return -1;
        }
        if (!fault.perCall)
            amount = std::min(amount, left);
    }
    return amount;
}

void count(Call call, Kind kind, qint64 amount)
{
    for (std::size_t i = 0; i < calls.faults.size(); ++i) {
        if (calls.faults[i].call == call && calls.faults[i].on == kind)
            calls.done[i] += calls.faults[i].perCall ? 1 : amount;
    }
}

int fakeOpen(const char *path, int flags, mode_t mode)
{
    const Kind kind = kindOfPath(path);
    if (allowed(Call::Open, kind, 1) < 0)
        return -1;
    count(Call::Open, kind, 1);
    const int fd = FileSystemCalls::System().open(path, flags, mode);
    if (fd >= 0)
        calls.kinds[fd] = kind;
    return fd;
}

int fakeClose(int fd)
{
    const Kind kind = kindOf(fd);
    calls.kinds.erase(fd);
    const int result = FileSystemCalls::System().close(fd);
    if (allowed(Call::Close, kind, 1) < 0)
        return -1;
    count(Call::Close, kind, 1);
    return result;
}

// The parts of a large report are read by several threads at once.
std::mutex readCalls;

ssize_t fakeRead(int fd, void *buffer, size_t size)
{
    const std::lock_guard<std::mutex> lock(readCalls);
    const Kind kind = kindOf(fd);
    if (calls.piece)
        size = std::min(size, calls.piece);
    const qint64 may = allowed(Call::Read, kind, qint64(size));
    if (may < 0)
        return -1;
    const ssize_t got = FileSystemCalls::System().read(fd, buffer, size_t(may));
    if (got > 0)
        count(Call::Read, kind, got);
    return got;
}

ssize_t fakePread(int fd, void *buffer, size_t size, off_t offset)
{
    const std::lock_guard<std::mutex> lock(readCalls);
    const Kind kind = kindOf(fd);
    if (calls.piece)
        size = std::min(size, calls.piece);
    const qint64 may = allowed(Call::Read, kind, qint64(size));
    if (may < 0)
        return -1;
    const ssize_t got = FileSystemCalls::System().pread(fd, buffer, size_t(may), offset);
    if (got > 0)
        count(Call::Read, kind, got);
    return got;
}

ssize_t fakeWrite(int fd, const void *buffer, size_t size)
{
    const Kind kind = kindOf(fd);
    if (calls.piece)
        size = std::min(size, calls.piece);
    const qint64 may = allowed(Call::Write, kind, qint64(size));
    if (may < 0)
        return -1;
    for (const Fault &fault : calls.faults) {
        if (fault.corrupt && fault.call == Call::Write && fault.on == kind && may > 0) {
            QByteArray changed(static_cast<const char *>(buffer), qsizetype(may));
            changed[0] = char(changed[0] ^ 0x20);
            return FileSystemCalls::System().write(fd, changed.constData(), size_t(may));
        }
    }
    const ssize_t written = FileSystemCalls::System().write(fd, buffer, size_t(may));
    if (written > 0)
        count(Call::Write, kind, written);
    return written;
}

int fakeFsync(int fd)
{
    const Kind kind = kindOf(fd);
    calls.log << QStringLiteral("fsync %1").arg(kindName(kind));
    if (allowed(Call::Fsync, kind, 1) < 0)
        return -1;
    count(Call::Fsync, kind, 1);
    return FileSystemCalls::System().fsync(fd);
}

int fakeFallocate(int fd, off_t offset, off_t size)
{
    const Kind kind = kindOf(fd);
    if (allowed(Call::Fallocate, kind, 1) < 0)
        return -1;
    count(Call::Fallocate, kind, 1);
    return FileSystemCalls::System().fallocate(fd, offset, size);
}

int fakeFtruncate(int fd, off_t size)
{
    const Kind kind = kindOf(fd);
    if (allowed(Call::Ftruncate, kind, 1) < 0)
        return -1;
    count(Call::Ftruncate, kind, 1);
    return FileSystemCalls::System().ftruncate(fd, size);
}

int fakeFchmod(int fd, mode_t mode)
{
    const Kind kind = kindOf(fd);
    if (allowed(Call::Fchmod, kind, 1) < 0)
        return -1;
    count(Call::Fchmod, kind, 1);
    return FileSystemCalls::System().fchmod(fd, mode);
}

int fakeUnlink(const char *path)
{
    const Kind kind = kindOfPath(path);
    if (allowed(Call::Unlink, kind, 1) < 0)
        return -1;
    count(Call::Unlink, kind, 1);
    return FileSystemCalls::System().unlink(path);
}

int fakeRename(const char *from, const char *to)
{
    const Kind kind = kindOfPath(from);
    calls.log << QStringLiteral("rename %1").arg(kindName(kind));
    if (allowed(Call::Rename, kind, 1) < 0)
        return -1;
    count(Call::Rename, kind, 1);
    return FileSystemCalls::System().rename(from, to);
}

int fakeLink(const char *from, const char *to)
{
    calls.log << QStringLiteral("link");
    const Kind kind = kindOfPath(from);
    if (allowed(Call::Link, kind, 1) < 0)
        return -1;
    count(Call::Link, kind, 1);
    return FileSystemCalls::System().link(from, to);
}

int fakeStatvfs(const char *path, struct statvfs *status)
{
    const int result = FileSystemCalls::System().statvfs(path, status);
    if (result == 0 && calls.noInodes) {
        status->f_files = 1000;
        status->f_ffree = 0;
        status->f_favail = 0;
    }
    return result;
}

const FileSystemCalls &fakeCalls()
{
    static const FileSystemCalls table = [] {
        FileSystemCalls fake = FileSystemCalls::System();
        fake.open = fakeOpen;
        fake.close = fakeClose;
        fake.read = fakeRead;
        fake.pread = fakePread;
        fake.write = fakeWrite;
        fake.fsync = fakeFsync;
        fake.fallocate = fakeFallocate;
        fake.ftruncate = fakeFtruncate;
        fake.fchmod = fakeFchmod;
        fake.unlink = fakeUnlink;
        fake.rename = fakeRename;
        fake.link = fakeLink;
        fake.statvfs = fakeStatvfs;
        return fake;
    }();
    return table;
}

// Puts the faults in force for its lifetime.
class Planted
{
public:
    Planted(const QString &target, Faults faults) : scope(fakeCalls())
    {
        calls = {};
        calls.target = QFile::encodeName(target);
        calls.faults = std::move(faults);
        calls.done.assign(calls.faults.size(), 0);
        calls.fired.assign(calls.faults.size(), false);
    }
    ~Planted() { calls = {}; }
    // True when every planted fault fired: a test whose fault never fired
    // proves nothing.
    bool AllFired() const
    {
        for (std::size_t i = 0; i < calls.faults.size(); ++i) {
            if (!calls.fired[i] && !calls.faults[i].corrupt)
                return false;
        }
        return true;
    }

private:
    ScopedFileSystemCalls scope;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

// A report of `lines` lines, numbered, with `mark` in field 8; and the
// bytes its file holds.
qnVelTorData report(int lines, const std::string &mark = "new")
{
    qnVelTorData data;
    data.Resize(std::uint32_t(lines));
    for (int i = 0; i < lines; ++i) {
        data.SetCell(std::uint32_t(i), 0, std::to_string(i + 1));
        data.SetCell(std::uint32_t(i), 7, "\x83\x65\x83\x58\x83\x67 " + std::to_string(i) + std::string(40, 'x'));
        data.SetCell(std::uint32_t(i), 8, mark);
    }
    return data;
}

QByteArray reportBytes(int lines, const QByteArray &mark = "new")
{
    QByteArray out;
    for (int i = 0; i < lines; ++i) {
        out += QByteArray::number(i + 1) + QByteArray(7, '\t') + "\x83\x65\x83\x58\x83\x67 " + QByteArray::number(i)
                + QByteArray(40, 'x') + '\t' + mark + QByteArray(10, '\t') + "\r\n";
    }
    return out;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QStringList filesUnder(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// Sets XDG_CACHE_HOME, where an in-place save keeps its copy, for its
// lifetime.
class CacheHome
{
public:
    explicit CacheHome(const QString &path) : old(qgetenv("XDG_CACHE_HOME"))
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(path));
    }
    ~CacheHome() { qputenv("XDG_CACHE_HOME", old); }

private:
    QByteArray old;
};

// The old file every fault test starts from: 3000 lines, so that a write
// that stops after its first megabyte has visibly damaged it.
constexpr int OldLines = 3000;
constexpr int NewLines = 30000; // about 2.3 MB
const QByteArray OldMark = "old";

// Saves a report of NewLines lines over `path` in place, as into a folder
// that takes no new file, in a child process that is killed at `death`;
// true when it died there. With a `workingFolder`, the save has the path
// relative to it.
bool killSaveInPlace(const QString &path, const Fault &death, const QString &workingFolder = {})
{
    const qnVelTorData data = report(NewLines);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const QString name = workingFolder.isEmpty() ? path : QDir(workingFolder).relativeFilePath(path);
        if (!workingFolder.isEmpty() && !QDir::setCurrent(workingFolder))
            _exit(1);
        const Planted planted(name, {{Call::Open, Kind::Temporary, EACCES, 0}, death});
        qnVelTorFileWriter writer;
        writer.Write(name, &data);
        _exit(0);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 9;
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Faults)
Q_DECLARE_METATYPE(WriteFailure)
Q_DECLARE_METATYPE(ReadFailure)
Q_DECLARE_METATYPE(DiskChange)

class tst_FileFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void faultKeepsOldFile_data();
    void faultKeepsOldFile();
    void newFileIsNotLeftBehind();
    void shortAndInterruptedCallsWriteEverything();
    void syncsBeforeRenameAndFolderAfter();
    void longestNameSavesAgainAndAgain();
    void keepsModeOwnerAndLink();
    void newFileModeFollowsUmask_data();
    void newFileModeFollowsUmask();
    void inPlace_data();
    void inPlace();
    void killedInPlaceSave_data();
    void killedInPlaceSave();
    void recoveryWritesOnlyTheFileTheSaveLeft_data();
    void recoveryWritesOnlyTheFileTheSaveLeft();
    void saveUnderWayElsewhereIsLeftAlone();
    void readFault_data();
    void readFault();
    void identity_data();
    void identity();
    void headroom_data();
    void headroom();
    void headroomOfThisProcess();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void tst_FileFaults::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_FileFaults::faultKeepsOldFile_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<bool>("noInodes");
    QTest::addColumn<bool>("csv"); // an export, which tells no reason, only that it failed
    QTest::addColumn<WriteFailure>("expected");

    const auto row = [](const char *name, Fault fault, WriteFailure expected, bool noInodes = false) {
        QTest::newRow(name) << Faults {fault} << noInodes << false << expected;
    };
    row("write fails at once", {Call::Write, Kind::Temporary, EIO, 0}, WriteFailure::WriteError);
    row("write fails after the first megabyte", {Call::Write, Kind::Temporary, EIO, 1 << 20},
        WriteFailure::WriteError);
    row("disk fills up while writing", {Call::Write, Kind::Temporary, ENOSPC, 5000}, WriteFailure::DiskFull);
    row("quota runs out while writing", {Call::Write, Kind::Temporary, EDQUOT, 5000}, WriteFailure::DiskFull);
    row("no room to reserve", {Call::Fallocate, Kind::Temporary, ENOSPC, 0}, WriteFailure::DiskFull);
    row("new file not synced", {Call::Fsync, Kind::Temporary, EIO, 0}, WriteFailure::SyncError);
    row("close tells of a lost write", {Call::Close, Kind::Temporary, EIO, 0}, WriteFailure::WriteError);
    row("old file's permissions not given to the new one", {Call::Fchmod, Kind::Temporary, EPERM, 0},
        WriteFailure::NoPermission);
    row("rename fails", {Call::Rename, Kind::Temporary, EIO, 0}, WriteFailure::RenameError);
    row("rename finds no room in the folder", {Call::Rename, Kind::Temporary, ENOSPC, 0}, WriteFailure::DiskFull);
    row("folder not synced after the rename", {Call::Fsync, Kind::Folder, EIO, 0, true}, WriteFailure::SyncError);
    row("no room for a new file", {Call::Open, Kind::Temporary, ENOSPC, 0}, WriteFailure::DiskFull);
    row("no file entries left", {Call::Open, Kind::Temporary, ENOSPC, 0}, WriteFailure::NoInodes, true);
    row("file quota used up", {Call::Open, Kind::Temporary, EDQUOT, 0}, WriteFailure::DiskFull);
    row("disk mounted read-only", {Call::Open, Kind::Temporary, EROFS, 0}, WriteFailure::ReadOnlyDisk);
    row("folder gone", {Call::Open, Kind::Folder, ENOENT, 0}, WriteFailure::FolderMissing);
    // The export's new file is not opened through the table of calls.
    QTest::newRow("export not synced") << Faults {{Call::Fsync, Kind::Other, EIO, 0}} << false << true
                                       << WriteFailure::SyncError;
}

void tst_FileFaults::faultKeepsOldFile()
{
    QFETCH(Faults, faults);
    QFETCH(bool, noInodes);
    QFETCH(bool, csv);
    QFETCH(WriteFailure, expected);

    const QString name = csv ? "1234567890201204ABC.csv" : "1234567890201204ABC.dat";
    const QString path = dir->filePath(name);
    const QByteArray old = reportBytes(OldLines, OldMark);
    QVERIFY(writeFile(path, old));
    const FileIdentity before = IdentityOf(path);
    const qnVelTorData data = report(NewLines);
    const RecordFields fields = [&data](std::uint32_t record, std::string_view (&values)[FieldCount]) {
        for (std::uint32_t field = 0; field < FieldCount; ++field)
            values[field] = *data.GetCell(record, field);
    };
    QByteArray exported;
    QBuffer buffer(&exported);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && ReportCsvWriter().Write(buffer, data.RecordCount(), fields));

    qnVelTorFileWriter writer;
    ReportCsvWriter exporter;
    const auto write = [&] {
        return csv ? exporter.WriteFile(path, data.RecordCount(), fields) : writer.Write(path, &data);
    };
    {
        const Planted planted(path, faults);
        calls.noInodes = noInodes;
        QVERIFY(!write());
        QVERIFY(planted.AllFired());
    }
    if (!csv) {
        QCOMPARE(writer.Failure(), expected);
        QVERIFY(!writer.OutOfMemory());
        QVERIFY(!writer.Written().exists);
    }
    QCOMPARE(readFile(path), old);
    // The second name the save gives the old file for a moment changes its
    // change time, and nothing else.
    FileIdentity now = IdentityOf(path);
    now.changedNs = before.changedNs;
    QCOMPARE(CompareIdentity(before, now), DiskChange::Same);
    QCOMPARE(entries(dir->path()), QStringList {name});

    // The same save goes through once the fault is gone.
    QVERIFY(write());
    QCOMPARE(writer.Failure(), WriteFailure::None);
    QCOMPARE(readFile(path), csv ? exported : reportBytes(NewLines));
}

void tst_FileFaults::newFileIsNotLeftBehind()
{
    // With no old file, a failed save leaves no file at all.
    const QString path = dir->filePath("new.dat");
    const qnVelTorData data = report(NewLines);
    for (const Fault &fault : {Fault {Call::Write, Kind::Temporary, EIO, 1 << 20},
                               Fault {Call::Fsync, Kind::Temporary, EIO, 0},
                               Fault {Call::Rename, Kind::Temporary, EIO, 0}}) {
        qnVelTorFileWriter writer;
        const Planted planted(path, {fault});
        QVERIFY(!writer.Write(path, &data));
        QVERIFY(planted.AllFired());
        QCOMPARE(entries(dir->path()), QStringList());
    }
}

void tst_FileFaults::shortAndInterruptedCallsWriteEverything()
{
    // Writes that take a few bytes at a time, and one interrupted by a
    // signal, are carried on, not taken for failures or for done.
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, reportBytes(OldLines, OldMark)));
    const qnVelTorData data = report(2000);
    qnVelTorFileWriter writer;
    {
        const Planted planted(path, {{Call::Write, Kind::Temporary, EINTR, 3000, true}});
        calls.piece = 1000;
        QVERIFY(writer.Write(path, &data));
        QVERIFY(planted.AllFired());
    }
    QCOMPARE(readFile(path), reportBytes(2000));
}

void tst_FileFaults::syncsBeforeRenameAndFolderAfter()
{
    // The new file's data reaches the disk before the rename makes it the
    // report, and the folder is synced after it, so that a power cut
    // cannot bring back the old file or leave an empty one.
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, reportBytes(OldLines, OldMark)));
    const qnVelTorData data = report(10);
    qnVelTorFileWriter writer;
    QStringList log;
    {
        const Planted planted(path, {});
        QVERIFY(writer.Write(path, &data));
        log = calls.log;
    }
    log.removeAll("link"); // the old file's second name, where links exist
    QCOMPARE(log.mid(0, 3), QStringList({"fsync temporary", "rename temporary", "fsync folder"}));
    QCOMPARE(entries(dir->path()), QStringList {"1234567890201204ABC.dat"});
}

void tst_FileFaults::longestNameSavesAgainAndAgain()
{
    // A temporary name longer than the file's own would not fit beside a
    // name of 255 bytes, the longest there is.
    const QString name = QString(251, QLatin1Char('n')) + ".dat";
    QCOMPARE(QFile::encodeName(name).size(), 255);
    const QString path = dir->filePath(name);
    for (int round = 1; round <= 3; ++round) {
        const QByteArray mark = "round " + QByteArray::number(round);
        const qnVelTorData data = report(round * 10, mark.toStdString());
        qnVelTorFileWriter writer;
        QVERIFY2(writer.Write(path, &data), qPrintable(QStringLiteral("round %1").arg(round)));
        QCOMPARE(readFile(path), reportBytes(round * 10, mark));
        QCOMPARE(entries(dir->path()), QStringList {name});
    }

    // One byte more is a name the system does not take.
    qnVelTorFileWriter writer;
    const qnVelTorData data = report(1);
    QVERIFY(!writer.Write(dir->filePath("n" + name), &data));
    QCOMPARE(writer.Failure(), WriteFailure::NameTooLong);
    QCOMPARE(entries(dir->path()), QStringList {name});
}

void tst_FileFaults::keepsModeOwnerAndLink()
{
    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, "old"));
    const QByteArray name = QFile::encodeName(path);
    QCOMPARE(chmod(name.constData(), 0640), 0);
    const passwd *nobody = getpwnam("nobody");
    const bool root = geteuid() == 0 && nobody;
    if (root)
        QCOMPARE(chown(name.constData(), nobody->pw_uid, nobody->pw_gid), 0);
    const QString link = dir->filePath("link.dat");
    QVERIFY(QFile::link(path, link));

    const qnVelTorData data = report(5);
    qnVelTorFileWriter writer;
    QVERIFY(writer.Write(link, &data));
    struct stat status {};
    QCOMPARE(stat(name.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0640));
    if (root)
        QCOMPARE(status.st_uid, nobody->pw_uid);
    // The link still names the file, which holds the report.
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);
    QCOMPARE(readFile(path), reportBytes(5));
    QCOMPARE(CompareIdentity(writer.Written(), IdentityOf(path)), DiskChange::Same);
}

void tst_FileFaults::newFileModeFollowsUmask_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    QTest::newRow("readable by all") << 022 << 0644;
    QTest::newRow("writable by the group") << 002 << 0664;
    QTest::newRow("the user's alone") << 077 << 0600;
}

// A new report is made as any other new file is, not kept from others.
void tst_FileFaults::newFileModeFollowsUmask()
{
    QFETCH(int, mask);
    QFETCH(int, mode);
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const qnVelTorData data = report(3);
    qnVelTorFileWriter writer;
    const mode_t previous = umask(mode_t(mask));
    const bool written = writer.Write(path, &data);
    umask(previous);
    QVERIFY(written);
    struct stat status {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 07777), mode);
}

void tst_FileFaults::inPlace_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<bool>("cacheUsable");
    QTest::addColumn<int>("confirm"); // -1: no callback, else its answer
    QTest::addColumn<WriteFailure>("expected");

    // The folder refuses the new file, as a folder the user may not write
    // into does.
    const Fault refused {Call::Open, Kind::Temporary, EACCES, 0};
    const auto row = [&](const char *name, Faults more, WriteFailure expected, bool cacheUsable = true,
                         int confirm = -1) {
        Faults faults {refused};
        faults.insert(faults.end(), more.begin(), more.end());
        QTest::newRow(name) << faults << cacheUsable << confirm << expected;
    };
    row("written in place", {}, WriteFailure::None);
    row("write fails part way, old bytes put back", {{Call::Write, Kind::Target, EIO, 1 << 20, true}},
        WriteFailure::InPlaceRestored);
    row("disk fills part way, old bytes put back", {{Call::Write, Kind::Target, ENOSPC, 5000, true}},
        WriteFailure::InPlaceRestored);
    row("cutting to size fails", {{Call::Ftruncate, Kind::Target, EIO, 0, true}}, WriteFailure::InPlaceRestored);
    row("sync fails", {{Call::Fsync, Kind::Target, EIO, 0, true}}, WriteFailure::InPlaceRestored);
    row("write and putting back both fail", {{Call::Write, Kind::Target, EIO, 1 << 20}},
        WriteFailure::InPlaceNotRestored);
    row("no room to reserve", {{Call::Fallocate, Kind::Target, ENOSPC, 0}}, WriteFailure::DiskFull);
    row("no copy possible, nobody asked", {}, WriteFailure::InPlaceDeclined, false);
    row("no copy possible, answered no", {}, WriteFailure::InPlaceDeclined, false, 0);
    row("no copy possible, answered yes", {}, WriteFailure::None, false, 1);
    row("copy differs from the file", {{Call::Write, Kind::Backup, 0, 0, false, true}},
        WriteFailure::InPlaceDeclined);
    row("copy not synced", {{Call::Fsync, Kind::Backup, EIO, 0}}, WriteFailure::InPlaceDeclined);
    row("copy cannot be read back", {{Call::Read, Kind::Backup, EIO, 0}}, WriteFailure::InPlaceDeclined);
    // The record's first write names the file; its second says the copy
    // is whole.
    Fault unmarked {Call::Write, Kind::Journal, EIO, 1};
    unmarked.perCall = true;
    row("copy not marked whole, answered no", {unmarked}, WriteFailure::InPlaceDeclined, true, 0);
}

void tst_FileFaults::inPlace()
{
    QFETCH(Faults, faults);
    QFETCH(bool, cacheUsable);
    QFETCH(int, confirm);
    QFETCH(WriteFailure, expected);

    const QString path = dir->filePath("1234567890201204ABC.dat");
    const QByteArray old = reportBytes(OldLines, OldMark);
    QVERIFY(writeFile(path, old));
    QCOMPARE(chmod(QFile::encodeName(path).constData(), 0604), 0);
    const FileIdentity before = IdentityOf(path);
    // A plain file where the cache folder would be made: no copy can go
    // there.
    const QString cache = dir->filePath(cacheUsable ? "cache" : "blocked");
    if (!cacheUsable)
        QVERIFY(writeFile(cache, "a file"));
    const CacheHome cacheHome(cache);
    const qnVelTorData data = report(NewLines);

    qnVelTorFileWriter writer;
    int asked = 0;
    if (confirm >= 0) {
        writer.SetConfirmWithoutBackup([&asked, confirm] {
            ++asked;
            return confirm == 1;
        });
    }
    {
        const Planted planted(path, faults);
        QCOMPARE(writer.Write(path, &data), expected == WriteFailure::None);
        QVERIFY(planted.AllFired());
    }
    QCOMPARE(writer.Failure(), expected);
    // Every row with an answer is one where no copy could be kept.
    QCOMPARE(asked, confirm >= 0 ? 1 : 0);
    QCOMPARE(entries(dir->path()), QStringList({"1234567890201204ABC.dat", cacheUsable ? "cache" : "blocked"}));
    struct stat status {};
    QCOMPARE(stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0604));
    QCOMPARE(IdentityOf(path).inode, before.inode); // never replaced

    switch (expected) {
    case WriteFailure::None:
        QCOMPARE(readFile(path), reportBytes(NewLines));
        QCOMPARE(CompareIdentity(writer.Written(), IdentityOf(path)), DiskChange::Same);
        QCOMPARE(writer.BackupPath(), QString());
        break;
    case WriteFailure::InPlaceNotRestored:
        QVERIFY(readFile(path) != old);
        QVERIFY(!writer.BackupPath().isEmpty());
        QCOMPARE(readFile(writer.BackupPath()), old);
        QCOMPARE(filesUnder(cache), QStringList {writer.BackupPath()});
        QVERIFY(QFile::remove(writer.BackupPath()));
        break;
    case WriteFailure::InPlaceDeclined:
        // Not even touched.
        QCOMPARE(CompareIdentity(before, IdentityOf(path)), DiskChange::Same);
        Q_FALLTHROUGH();
    default:
        QCOMPARE(readFile(path), old);
        QCOMPARE(writer.BackupPath(), QString());
        break;
    }
    // The copy is removed unless it is the only one left of the old file.
    if (cacheUsable)
        QCOMPARE(filesUnder(cache), QStringList());
}

namespace {

// What the start tells of a save: nothing, or one of these.
constexpr int Untold = -1;
int told(InterruptedSave::Outcome outcome)
{
    return int(outcome);
}

} // namespace

void tst_FileFaults::killedInPlaceSave_data()
{
    using Outcome = InterruptedSave::Outcome;
    QTest::addColumn<Fault>("death");
    QTest::addColumn<bool>("newer"); // another program writes the file before the next start
    QTest::addColumn<int>("answer"); // to the question in doubt; -1: none may come
    QTest::addColumn<QByteArray>("holds"); // "old", "new", "newer", or "left" as the kill left it
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("relative"); // the save had the file's name relative to its working folder

    const auto death = [](Call call, Kind on, qint64 after, bool perCall = false) {
        Fault fault {call, on, 0, after};
        fault.die = true;
        fault.perCall = perCall;
        return fault;
    };
    const Fault copying = death(Call::Write, Kind::Backup, 4096);
    const Fault untouched = death(Call::Fallocate, Kind::Target, 0);
    const Fault roomTaken = death(Call::Write, Kind::Target, 0);
    // Between two of the save's writes, where a kill most often finds it.
    const Fault partWay = death(Call::Write, Kind::Target, 1, true);
    // A write cut short within a block, then killed: the torn block holds
    // both, which a kill alone does not leave.
    const Fault withinBlock = death(Call::Write, Kind::Target, 1000000);
    const Fault unsynced = death(Call::Fsync, Kind::Target, 0);
    // The record's third write says the new contents are whole.
    const Fault unrecorded = death(Call::Write, Kind::Journal, 2, true);
    const Fault recorded = death(Call::Unlink, Kind::Journal, 0);

    QTest::newRow("killed while the old bytes were copied")
            << copying << false << -1 << QByteArray("old") << Untold << false;
    QTest::newRow("killed while the old bytes were copied, newer file since")
            << copying << true << -1 << QByteArray("newer") << Untold << false;
    QTest::newRow("killed before the file was touched")
            << untouched << false << -1 << QByteArray("old") << Untold << false;
    QTest::newRow("killed before the file was touched, newer file since")
            << untouched << true << 0 << QByteArray("newer") << told(Outcome::Kept) << false;
    QTest::newRow("killed once the room was taken")
            << roomTaken << false << -1 << QByteArray("old") << told(Outcome::Restored) << false;
    QTest::newRow("killed part way through the file")
            << partWay << false << -1 << QByteArray("old") << told(Outcome::Restored) << false;
    QTest::newRow("killed part way through a file named from the working folder")
            << partWay << false << -1 << QByteArray("old") << told(Outcome::Restored) << true;
    QTest::newRow("killed part way through the file, newer file since")
            << partWay << true << 0 << QByteArray("newer") << told(Outcome::Kept) << false;
    QTest::newRow("killed within a block, kept")
            << withinBlock << false << 0 << QByteArray("left") << told(Outcome::Kept) << false;
    QTest::newRow("killed within a block, put back")
            << withinBlock << false << 1 << QByteArray("old") << told(Outcome::RestoredOnRequest) << false;
    QTest::newRow("killed before the new bytes were synced")
            << unsynced << false << -1 << QByteArray("new") << Untold << false;
    QTest::newRow("killed before the new bytes were synced, newer file since")
            << unsynced << true << 0 << QByteArray("newer") << told(Outcome::Kept) << false;
    QTest::newRow("killed before the whole write was recorded")
            << unrecorded << false << -1 << QByteArray("new") << Untold << false;
    QTest::newRow("killed before the record was removed")
            << recorded << false << -1 << QByteArray("new") << Untold << false;
    QTest::newRow("killed before the record was removed, newer file since")
            << recorded << true << -1 << QByteArray("newer") << told(Outcome::ChangedSince) << false;
}

// Killed while the file was overwritten where it stands, the program can
// put nothing right itself: the next start does, from the copy the save
// kept, but only over what the save left there, never over what another
// program wrote since.
void tst_FileFaults::killedInPlaceSave()
{
    using Outcome = InterruptedSave::Outcome;
    QFETCH(Fault, death);
    QFETCH(bool, newer);
    QFETCH(int, answer);
    QFETCH(QByteArray, holds);
    QFETCH(int, outcome);
    QFETCH(bool, relative);
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const QByteArray old = reportBytes(OldLines, OldMark);
    QVERIFY(writeFile(path, old));
    const QString cache = dir->filePath("cache");
    const CacheHome cacheHome(cache);

    QVERIFY(killSaveInPlace(path, death, relative ? dir->path() : QString()));
    const QByteArray left = readFile(path);
    if (death.call == Call::Write && death.on == Kind::Target && death.after == 0 && left == old)
        QSKIP("this file system takes no room ahead of the write");
    const std::map<QByteArray, QByteArray> contents = {
            {"old", old}, {"new", reportBytes(NewLines)}, {"newer", reportBytes(OldLines, "newer")}, {"left", left}};
    if (newer)
        QVERIFY(writeFile(path, contents.at("newer")));
    const QByteArray before = readFile(path);

    int asked = 0;
    const std::vector<InterruptedSave> recovered = RecoverInterruptedSaves([&](const InterruptedSave &save) {
        ++asked;
        return save.path == path && readFile(save.backupPath) == old && answer == 1;
    });
    QCOMPARE(asked, answer >= 0 ? 1 : 0);
    QCOMPARE(readFile(path), contents.at(holds));
    QCOMPARE(int(recovered.size()), outcome == Untold ? 0 : 1);
    // What stays in the cache: the old bytes' copy unless they are back,
    // and what the file held before they were put back on request.
    QStringList kept;
    if (!recovered.empty()) {
        const InterruptedSave &save = recovered[0];
        QCOMPARE(save.path, path);
        QCOMPARE(int(save.outcome), outcome);
        const bool back = save.outcome == Outcome::Restored || save.outcome == Outcome::RestoredOnRequest;
        QCOMPARE(save.backupPath.isEmpty(), back);
        if (!back) {
            QCOMPARE(readFile(save.backupPath), old);
            kept << save.backupPath;
        }
        QCOMPARE(save.currentPath.isEmpty(), save.outcome != Outcome::RestoredOnRequest);
        if (!save.currentPath.isEmpty()) {
            QCOMPARE(readFile(save.currentPath), before);
            kept << save.currentPath;
        }
    }
    QCOMPARE(filesUnder(cache), kept);
    // Told once, and nothing done again.
    QCOMPARE(RecoverInterruptedSaves([](const InterruptedSave &) { return true; }).size(), std::size_t(0));
    QCOMPARE(readFile(path), contents.at(holds));
    QCOMPARE(filesUnder(cache), kept);
}

namespace {

// What happens to a file a killed in-place save left part written, before
// the next start.
enum class Hostile { Rewritten, Renamed, Link, Relative, OtherUser, RecordStuck, Deleted };

} // namespace

Q_DECLARE_METATYPE(Hostile)

void tst_FileFaults::recoveryWritesOnlyTheFileTheSaveLeft_data()
{
    using Outcome = InterruptedSave::Outcome;
    using Refusal = InterruptedSave::Refusal;
    QTest::addColumn<Hostile>("hostile");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("refusal");

    QTest::newRow("rewritten after the crash, same size and time")
            << Hostile::Rewritten << true << told(Outcome::Kept) << int(Refusal::None);
    QTest::newRow("same bytes renamed over it") << Hostile::Renamed << false << told(Outcome::Refused)
                                                << int(Refusal::OtherFile);
    QTest::newRow("now a symbolic link to it") << Hostile::Link << false << told(Outcome::Refused)
                                               << int(Refusal::Link);
    QTest::newRow("a relative path") << Hostile::Relative << false << told(Outcome::Refused)
                                     << int(Refusal::RelativePath);
    QTest::newRow("another user's file, writable by all")
            << Hostile::OtherUser << false << told(Outcome::Refused) << int(Refusal::OtherOwner);
    QTest::newRow("record cannot be removed") << Hostile::RecordStuck << false << told(Outcome::RecordStuck)
                                              << int(Refusal::None);
    QTest::newRow("deleted") << Hostile::Deleted << false << told(Outcome::Refused) << int(Refusal::Missing);
}

// Whatever the record says and whatever stands at its path now, the start
// writes nothing but the file the save left part written, keeps the copy
// of the old bytes, and says so.
void tst_FileFaults::recoveryWritesOnlyTheFileTheSaveLeft()
{
    QFETCH(Hostile, hostile);
    QFETCH(bool, asked);
    QFETCH(int, outcome);
    QFETCH(int, refusal);
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const QByteArray old = reportBytes(OldLines, OldMark);
    QVERIFY(writeFile(path, old));
    const QString cache = dir->filePath("cache");
    const CacheHome cacheHome(cache);
    Fault death {Call::Write, Kind::Target, 0, 1 << 20};
    death.die = true;
    QVERIFY(killSaveInPlace(path, death));
    const QStringList left = filesUnder(cache);
    const QStringList journals = left.filter(".journal");
    const QStringList copies = left.filter(".bak");
    QCOMPARE(journals.size(), 1);
    QCOMPARE(copies.size(), 1);

    const QByteArray name = QFile::encodeName(path);
    const QString other = dir->filePath("other.dat");
    // The file that must come through unchanged.
    QString watched = path;
    Faults faults;
    const QString workingFolder = QDir::currentPath();
    switch (hostile) {
    case Hostile::Rewritten: {
        struct stat status {};
        QCOMPARE(stat(name.constData(), &status), 0);
        QByteArray bytes = readFile(path);
        bytes[0] = '9';
        QVERIFY(writeFile(path, bytes));
        const timespec times[2] = {{0, UTIME_OMIT}, status.st_mtim};
        QCOMPARE(utimensat(AT_FDCWD, name.constData(), times, 0), 0);
        break;
    }
    case Hostile::Renamed:
        QVERIFY(writeFile(other, readFile(path)));
        QCOMPARE(rename(QFile::encodeName(other).constData(), name.constData()), 0);
        break;
    case Hostile::Link:
        // The file itself, the same device and inode, now behind a link.
        QCOMPARE(rename(name.constData(), QFile::encodeName(other).constData()), 0);
        QVERIFY(QFile::link(other, path));
        watched = other;
        break;
    case Hostile::Relative: {
        // Relative to the working folder, the path would lead to the file.
        QByteArray record = readFile(journals[0]);
        QVERIFY(record.contains("target " + name + '\n'));
        record.replace("target " + name + '\n', "target 1234567890201204ABC.dat\n");
        QVERIFY(writeFile(journals[0], record));
        QVERIFY(QDir::setCurrent(dir->path()));
        break;
    }
    case Hostile::OtherUser:
        if (geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QCOMPARE(chown(name.constData(), 65534, 65534), 0);
        QCOMPARE(chmod(name.constData(), 0666), 0);
        break;
    case Hostile::RecordStuck:
        // As a cache folder that lets nothing be removed, for root too.
        faults = {{Call::Unlink, Kind::Journal, EACCES, 0}};
        break;
    case Hostile::Deleted:
        QVERIFY(QFile::remove(path));
        break;
    }
    const QByteArray before = readFile(watched);
    const FileIdentity identity = IdentityOf(watched);

    int questions = 0;
    std::vector<InterruptedSave> recovered;
    {
        const Planted planted(path, faults);
        // Asked, the answer leaves the file: a yes would keep both versions.
        recovered = RecoverInterruptedSaves([&questions](const InterruptedSave &) {
            ++questions;
            return false;
        });
        QVERIFY(planted.AllFired());
    }
    QVERIFY(QDir::setCurrent(workingFolder));
    QCOMPARE(questions, asked ? 1 : 0);
    QCOMPARE(readFile(watched), before);
    QCOMPARE(CompareIdentity(identity, IdentityOf(watched)), DiskChange::Same);
    QCOMPARE(QFileInfo(path).isSymLink(), hostile == Hostile::Link);
    QCOMPARE(int(recovered.size()), 1);
    QCOMPARE(int(recovered[0].outcome), outcome);
    QCOMPARE(int(recovered[0].refusal), refusal);
    QCOMPARE(recovered[0].backupPath, copies[0]);
    QCOMPARE(readFile(copies[0]), old);
    if (hostile == Hostile::RecordStuck) {
        QCOMPARE(recovered[0].recordFailure, WriteFailure::NoPermission);
        QCOMPARE(filesUnder(cache), left);
    } else {
        QCOMPARE(filesUnder(cache), copies);
    }
}

void tst_FileFaults::saveUnderWayElsewhereIsLeftAlone()
{
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const QByteArray old = reportBytes(OldLines, OldMark);
    QVERIFY(writeFile(path, old));
    const QString cache = dir->filePath("cache");
    const CacheHome cacheHome(cache);
    Fault death {Call::Write, Kind::Target, 0, 1 << 20};
    death.die = true;
    QVERIFY(killSaveInPlace(path, death));
    const QByteArray left = readFile(path);
    const QStringList journals = filesUnder(cache).filter(".journal");
    QCOMPARE(journals.size(), 1);

    // The record locked, as by the program that makes the save.
    const int lock = open(QFile::encodeName(journals[0]).constData(), O_RDWR);
    QVERIFY(lock >= 0);
    QCOMPARE(flock(lock, LOCK_EX), 0);
    QCOMPARE(RecoverInterruptedSaves().size(), std::size_t(0));
    QCOMPARE(readFile(path), left);
    // Once that program is gone, its lock goes with it.
    close(lock);
    QCOMPARE(RecoverInterruptedSaves().size(), std::size_t(1));
    QCOMPARE(readFile(path), old);
    QCOMPARE(filesUnder(cache), QStringList());
}

void tst_FileFaults::readFault_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<size_t>("piece");
    QTest::addColumn<ReadFailure>("expected");

    QTest::newRow("read fails at once") << Faults {{Call::Read, Kind::Target, EIO, 0}} << size_t(0)
                                        << ReadFailure::ReadError;
    QTest::newRow("read fails after the first megabyte")
            << Faults {{Call::Read, Kind::Target, EIO, 1 << 20}} << size_t(0) << ReadFailure::ReadError;
    QTest::newRow("read fails near the end")
            << Faults {{Call::Read, Kind::Target, EIO, NewLines * 70}} << size_t(0) << ReadFailure::ReadError;
    QTest::newRow("interrupted read goes on")
            << Faults {{Call::Read, Kind::Target, EINTR, 5000, true}} << size_t(0) << ReadFailure::None;
    QTest::newRow("short reads") << Faults() << size_t(777) << ReadFailure::None;
    QTest::newRow("no right to read") << Faults {{Call::Open, Kind::Target, EACCES, 0}} << size_t(0)
                                      << ReadFailure::NoPermission;
    QTest::newRow("other open failure") << Faults {{Call::Open, Kind::Target, EIO, 0}} << size_t(0)
                                        << ReadFailure::CannotOpen;
}

void tst_FileFaults::readFault()
{
    QFETCH(Faults, faults);
    QFETCH(size_t, piece);
    QFETCH(ReadFailure, expected);

    const QString path = dir->filePath("1234567890201204ABC.dat");
    QVERIFY(writeFile(path, reportBytes(NewLines)));
    qnVelTorData whole;
    QVERIFY(ReadReportFile(path, &whole));
    QCOMPARE(whole.RecordCount(), std::uint32_t(NewLines));

    // Into a container, as lines, and as lines in parts on two threads.
    for (const int way : {0, 1, 2}) {
        const Planted planted(path, faults);
        calls.piece = piece;
        ReadFailure failure = ReadFailure::Cancelled;
        ReadFacts facts;
        std::uint32_t got = 0;
        bool ok = false;
        if (way == 1) {
            ok = ReadReportLines(
                    path, [&got](const std::string_view *, std::size_t count) { got += std::uint32_t(count); }, {},
                    &failure, &facts);
        } else if (way == 2) {
            std::atomic<std::uint32_t> counted {0};
            const TakeLines take = [&counted](const std::string_view *, std::size_t count) {
                counted += std::uint32_t(count);
            };
            LinePartsReader reader({take, take});
            ok = reader.Read(path);
            failure = reader.Failure();
            facts = reader.Facts();
            got = counted;
            if (ok)
                QCOMPARE(reader.Parts(), std::size_t(std::thread::hardware_concurrency() > 1 ? 2 : 1));
        } else {
            qnVelTorData data;
            ok = ReadReportFile(path, &data, {}, {}, &failure, &facts);
            got = data.RecordCount();
        }
        QVERIFY(planted.AllFired());
        QCOMPARE(failure, expected);
        QCOMPARE(ok, expected == ReadFailure::None);
        if (ok) {
            QCOMPARE(got, whole.RecordCount());
            QCOMPARE(CompareIdentity(facts.identity, IdentityOf(path)), DiskChange::Same);
        }
    }
    QVERIFY(!ReadReportFile(dir->filePath("missing.dat"), &whole, {}, {}, &expected));
    QCOMPARE(expected, ReadFailure::NotFound);
}

void tst_FileFaults::identity_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<DiskChange>("expected");
    QTest::newRow("nothing happened") << 0 << DiskChange::Same;
    QTest::newRow("a line appended") << 1 << DiskChange::Changed;
    QTest::newRow("same size, rewritten later") << 2 << DiskChange::Changed;
    QTest::newRow("same size, its time put back") << 7 << DiskChange::Changed;
    QTest::newRow("another file renamed over it") << 3 << DiskChange::Replaced;
    QTest::newRow("deleted") << 4 << DiskChange::Deleted;
    QTest::newRow("saved again by the writer") << 5 << DiskChange::Replaced;
    QTest::newRow("deleted and made again") << 6 << DiskChange::Replaced;
}

void tst_FileFaults::identity()
{
    QFETCH(int, what);
    QFETCH(DiskChange, expected);
    const QString path = dir->filePath("1234567890201204ABC.dat");
    const qnVelTorData data = report(3);
    qnVelTorFileWriter writer;
    QVERIFY(writer.Write(path, &data));
    QVERIFY(writer.Written().exists);
    ReadFacts facts;
    qnVelTorData back;
    QVERIFY(ReadReportFile(path, &back, {}, &facts));
    QCOMPARE(facts.identity, writer.Written());

    // Kept by a second name, so that a file made after it cannot take the
    // freed inode number. That changes its change time.
    const QString held = dir->filePath("held");
    QCOMPARE(link(QFile::encodeName(path).constData(), QFile::encodeName(held).constData()), 0);
    const FileIdentity known = IdentityOf(path);
    const QString other = dir->filePath("other.dat");
    switch (what) {
    case 1: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.write("x\r\n") == 3);
        break;
    }
    case 2: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.write("9") == 1);
        file.close();
        const timespec times[2] = {{0, UTIME_OMIT}, {qint64(known.modifiedNs / 1000000000) + 5, 0}};
        QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
        break;
    }
    case 3:
        QVERIFY(writeFile(other, readFile(path)));
        QCOMPARE(rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
        break;
    case 4:
        QVERIFY(QFile::remove(path));
        break;
    case 5:
        QVERIFY(writer.Write(path, &data));
        QCOMPARE(CompareIdentity(writer.Written(), IdentityOf(path)), DiskChange::Same);
        break;
    case 6:
        QVERIFY(QFile::remove(path));
        QVERIFY(writeFile(path, readFile(held)));
        break;
    case 7: {
        // As `touch -r` would. The system's clock for file times moves in
        // ticks: one has to pass for the change time to differ.
        timespec now {};
        do {
            QTest::qSleep(1);
            clock_gettime(CLOCK_REALTIME_COARSE, &now);
        } while (qint64(now.tv_sec) * 1000000000 + now.tv_nsec <= known.changedNs);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.write("9") == 1);
        file.close();
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {time_t(known.modifiedNs / 1000000000), long(known.modifiedNs % 1000000000)}};
        QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
        QCOMPARE(IdentityOf(path).modifiedNs, known.modifiedNs);
        QCOMPARE(IdentityOf(path).size, known.size);
        break;
    }
    default:
        break;
    }
    QCOMPARE(CompareIdentity(known, IdentityOf(path)), expected);
    QCOMPARE(CompareIdentity(FileIdentity(), IdentityOf(path)),
             what == 4 ? DiskChange::Same : DiskChange::Replaced);
}

void tst_FileFaults::headroom_data()
{
    constexpr std::uint64_t MB = 1 << 20;
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<quint64>("limit");
    QTest::addColumn<quint64>("inUse");
    QTest::addColumn<bool>("expected");
    QTest::newRow("no limit") << quint64(~0ull) << quint64(0) << quint64(900 * MB) << true;
    QTest::newRow("fits with the margin to spare") << quint64(100 * MB) << quint64(1000 * MB) << quint64(800 * MB)
                                                   << true;
    QTest::newRow("exactly up to the margin") << quint64(136 * MB) << quint64(1000 * MB) << quint64(800 * MB)
                                              << true;
    QTest::newRow("one byte into the margin") << quint64(136 * MB + 1) << quint64(1000 * MB)
                                              << quint64(800 * MB) << false;
    QTest::newRow("nothing left but the margin") << quint64(1) << quint64(1000 * MB) << quint64(936 * MB)
                                                 << false;
    QTest::newRow("already over the limit") << quint64(0) << quint64(1000 * MB) << quint64(1001 * MB) << false;
    QTest::newRow("a size that would wrap around") << quint64(~0ull) << quint64(1000 * MB) << quint64(10 * MB)
                                                   << false;
}

void tst_FileFaults::headroom()
{
    QFETCH(quint64, bytes);
    QFETCH(quint64, limit);
    QFETCH(quint64, inUse);
    QFETCH(bool, expected);
    QCOMPARE(HasHeadroomFor(bytes, AddressSpace {limit, inUse}), expected);
}

void tst_FileFaults::headroomOfThisProcess()
{
    // The limit and the use as the system tells them, in a child whose
    // address space is limited to what it holds plus 256 MB.
    constexpr std::uint64_t MB = 1 << 20;
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const AddressSpace start = CurrentAddressSpace();
        if (start.limit != 0 || start.inUse == 0)
            _exit(10);
        const rlimit limit {rlim_t(start.inUse + 256 * MB), RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(11);
        const AddressSpace now = CurrentAddressSpace();
        if (now.limit != start.inUse + 256 * MB)
            _exit(12);
        if (!HasHeadroomFor(100 * MB))
            _exit(13);
        if (HasHeadroomFor(200 * MB))
            _exit(14);
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    // 10: a limit before one was set or no use told, 11: no limit set,
    // 12: the limit misread, 13/14: the wrong verdict
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_APPLESS_MAIN(tst_FileFaults)
#include "tst_filefaults.moc"
