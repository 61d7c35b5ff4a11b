#include "SafeReplace.h"

#include "FileSystemCalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#else
#include <QSaveFile>
#include <io.h>
#endif

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

#ifdef Q_OS_UNIX

// Copying and comparing the old file for an in-place save.
constexpr std::size_t CopyChunkSize = 1 << 20;

const FileSystemCalls &System()
{
    return FileSystemCalls::Current();
}

// Why a step of a save failed: what the user can act on where errno tells
// it, else `otherwise`, which names the step.
WriteFailure WriteFailureOf(int error, WriteFailure otherwise)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return WriteFailure::DiskFull;
    case EACCES:
    case EPERM:
        return WriteFailure::NoPermission;
    case EROFS:
        return WriteFailure::ReadOnlyDisk;
    case ENOENT:
    case ENOTDIR:
        return WriteFailure::FolderMissing;
    case ENAMETOOLONG:
        return WriteFailure::NameTooLong;
    case ENOMEM:
        return WriteFailure::OutOfMemory;
    default:
        return otherwise;
    }
}

// A file descriptor closed when it goes out of scope, for the paths where a
// failure has already been reported. Close() is the checked close.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : fd(fd) { }
    ~Descriptor()
    {
        if (fd >= 0)
            System().close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int Get() const { return fd; }
    bool Close()
    {
        const int closing = fd;
        fd = -1;
        return System().close(closing) == 0;
    }

private:
    int fd;
};

// A file removed when it goes out of scope unless kept.
class RemovedUnlessKept
{
public:
    RemovedUnlessKept() = default;
    explicit RemovedUnlessKept(QByteArray path) : path(std::move(path)) { }
    ~RemovedUnlessKept()
    {
        if (!path.isEmpty())
            System().unlink(path.constData());
    }
    RemovedUnlessKept(const RemovedUnlessKept &) = delete;
    RemovedUnlessKept &operator=(const RemovedUnlessKept &) = delete;

    const QByteArray &Path() const { return path; }
    void Keep() { path.clear(); }
    void RemoveNow()
    {
        if (!path.isEmpty())
            System().unlink(path.constData());
        path.clear();
    }
    void Take(QByteArray other)
    {
        RemoveNow();
        path = std::move(other);
    }

private:
    QByteArray path;
};

// Writes all `size` bytes; false with errno set when that failed.
bool WriteAll(int fd, const char *bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = System().write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}

// Reads up to `size` bytes, fewer only at the end of the file; -1 with
// errno set on a read error.
qint64 ReadFull(int fd, char *buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = System().read(fd, buffer + done, size - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return qint64(done);
}

// Blocks until the file's (or folder's) data is on the disk. EINVAL: a kind
// of file that cannot be synced, where there is nothing to wait for.
bool SyncToDisk(int fd)
{
    return System().fsync(fd) == 0 || errno == EINVAL;
}

// Takes the disk space for the file's `size` bytes before any is written,
// so that a full disk shows before the first byte; false with errno set on
// a failure that says so. A file system that cannot reserve space is let be.
bool ReserveSpace(int fd, qint64 size)
{
    if (size <= 0 || System().fallocate(fd, 0, off_t(size)) == 0)
        return true;
    return errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS;
}

// `prefix`, six random letters and digits and `suffix`, in `folder`.
QByteArray RandomName(const QByteArray &folder, const char *prefix, const char *suffix)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray path = folder + '/' + prefix;
    for (int i = 0; i < 6; ++i)
        path += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return path + suffix;
}

// A file of a RandomName() that no file has yet, created with O_EXCL so
// that no other program's file is taken. The descriptor, or -1 with errno
// set.
int CreateUnique(const QByteArray &folder, const char *prefix, const char *suffix, int flags, mode_t mode,
                 QByteArray &path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = RandomName(folder, prefix, suffix);
        const int fd = System().open(path.constData(), flags | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Short enough that a name of 255 bytes can be saved beside it: the system
// takes no longer name, and a temporary one is never longer.
constexpr const char *TemporaryPrefix = ".qnv";

// Compares the two files from their first byte to their ends; false also
// when one cannot be read.
bool SameContents(int a, int b)
{
    if (System().lseek(a, 0, SEEK_SET) != 0 || System().lseek(b, 0, SEEK_SET) != 0)
        return false;
    const std::unique_ptr<char[]> left(new char[CopyChunkSize]);
    const std::unique_ptr<char[]> right(new char[CopyChunkSize]);
    for (;;) {
        const qint64 gotLeft = ReadFull(a, left.get(), CopyChunkSize);
        const qint64 gotRight = ReadFull(b, right.get(), CopyChunkSize);
        if (gotLeft < 0 || gotLeft != gotRight || std::memcmp(left.get(), right.get(), std::size_t(gotLeft)) != 0)
            return false;
        if (gotLeft == 0)
            return true;
    }
}

// Copies all of `from`, from its first byte, to `to` where it stands.
bool CopyContents(int from, int to)
{
    if (System().lseek(from, 0, SEEK_SET) != 0)
        return false;
    const std::unique_ptr<char[]> buffer(new char[CopyChunkSize]);
    for (;;) {
        const qint64 got = ReadFull(from, buffer.get(), CopyChunkSize);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer.get(), std::size_t(got)))
            return false;
    }
}

// Where a copy of a file that is overwritten in place is kept: the user's
// cache folder, made when missing. Empty when there is none.
QString BackupFolder()
{
    QString folder = QCoreApplication::applicationName().isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/qnVelTor")
            : QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    return folder;
}

// The record of an in-place save under way, in the cache folder: the path
// of the file being overwritten, then, once the copy of its old bytes
// beside the record is whole, a mark that says so. A save that ends takes
// its record away; one that never ends (the program killed part way, the
// power gone) leaves it, and the next start puts the old bytes back from
// the copy. The record stays locked while the save runs, so that another
// running copy of the editor leaves it alone.
class InPlaceJournal
{
public:
    static constexpr const char *Suffix = ".journal";
    static constexpr const char *CopySuffix = ".bak";
    // After the path and a NUL, which no path holds.
    static constexpr const char *CopiedMark = "copied";

    InPlaceJournal() = default;
    ~InPlaceJournal() { Remove(); }
    InPlaceJournal(const InPlaceJournal &) = delete;
    InPlaceJournal &operator=(const InPlaceJournal &) = delete;

    // False, with nothing left behind, when no record could be stored.
    bool Open(const QString &folder, const QByteArray &target)
    {
        const QByteArray folderName = QFile::encodeName(folder);
        fd = CreateUnique(folderName, "qnVelTor-", Suffix, O_RDWR, 0600, path);
        if (fd < 0) {
            path.clear();
            return false;
        }
        if (::flock(fd, LOCK_EX) != 0 || !WriteAll(fd, target.constData(), std::size_t(target.size()))
            || !SyncToDisk(fd) || !SyncFolder(folderName)) {
            Remove();
            return false;
        }
        return true;
    }
    // Where the copy of the old file goes.
    QByteArray CopyPath() const { return path.chopped(int(std::strlen(Suffix))) + CopySuffix; }
    // The copy is whole: from now on a start puts it back.
    bool MarkCopied()
    {
        const QByteArray mark = QByteArray(1, '\0') + CopiedMark;
        return WriteAll(fd, mark.constData(), std::size_t(mark.size())) && SyncToDisk(fd);
    }
    void Remove()
    {
        if (!path.isEmpty())
            System().unlink(path.constData());
        if (fd >= 0)
            System().close(fd);
        path.clear();
        fd = -1;
    }

    static bool SyncFolder(const QByteArray &folder)
    {
        const Descriptor folderFd(System().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
        return folderFd.Get() >= 0 && SyncToDisk(folderFd.Get());
    }

private:
    QByteArray path;
    int fd = -1;
};

// Stores a copy of the open file `original` at `path`, synced and compared
// byte for byte with it. False, with nothing left behind, when it could not.
bool StoreBackup(int original, const QByteArray &path)
{
    // Readable by the user alone: the report may not be meant for others.
    Descriptor copy(System().open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (copy.Get() < 0)
        return false;
    RemovedUnlessKept removed(path);
    if (!CopyContents(original, copy.Get()) || !SyncToDisk(copy.Get()) || !SameContents(original, copy.Get())
        || !copy.Close())
        return false;
    removed.Keep();
    return true;
}

// Puts the old file back from `backup` into the open `file`, which held
// `oldSize` bytes: written, cut to size, synced and compared.
bool RestoreFromBackup(int file, const QByteArray &backup, off_t oldSize)
{
    const Descriptor copy(System().open(backup.constData(), O_RDONLY | O_CLOEXEC, 0));
    return copy.Get() >= 0 && System().lseek(file, 0, SEEK_SET) == 0 && CopyContents(copy.Get(), file)
            && System().ftruncate(file, oldSize) == 0 && SyncToDisk(file) && SameContents(copy.Get(), file);
}

// Overwrites the regular file `target`, which `file` has open for reading
// and writing, after a checked copy of it has been stored; puts the old
// bytes back when the write fails.
ReplaceResult WriteInPlace(int file, const QByteArray &target, qint64 size, const FileContents &contents,
                           const std::function<bool()> &confirmWithoutBackup)
{
    ReplaceResult result;
    struct stat old {};
    if (System().fstat(file, &old) != 0) {
        result.failure = WriteFailureOf(errno, WriteFailure::CannotCreate);
        return result;
    }
    if (!S_ISREG(old.st_mode)) {
        result.failure = WriteFailure::NotRegularFile;
        return result;
    }
    // The folder itself was tried first: the file it refused is why the
    // save is written in place.
    InPlaceJournal journal;
    RemovedUnlessKept backup;
    const QString folder = BackupFolder();
    if (!folder.isEmpty() && journal.Open(folder, target)) {
        if (StoreBackup(file, journal.CopyPath())) {
            backup.Take(journal.CopyPath());
            // A copy nobody would find after a crash is no copy.
            if (!journal.MarkCopied())
                backup.RemoveNow();
        }
        if (backup.Path().isEmpty())
            journal.Remove();
    }
    if (backup.Path().isEmpty() && !(confirmWithoutBackup && confirmWithoutBackup())) {
        result.failure = WriteFailure::InPlaceDeclined;
        return result;
    }

    WriteFailure failed = WriteFailure::None;
    if (!ReserveSpace(file, size)) {
        // The old bytes have not changed; only the size may have grown.
        failed = WriteFailureOf(errno, WriteFailure::WriteError);
        if (System().ftruncate(file, old.st_size) == 0 && SyncToDisk(file)) {
            result.failure = failed;
            return result;
        }
    } else if (System().lseek(file, 0, SEEK_SET) != 0
               || !contents([file](const char *bytes, std::size_t length) { return WriteAll(file, bytes, length); })) {
        failed = WriteFailureOf(errno, WriteFailure::WriteError);
    } else if (System().ftruncate(file, off_t(size)) != 0) {
        failed = WriteFailureOf(errno, WriteFailure::WriteError);
    } else if (!SyncToDisk(file)) {
        failed = WriteFailure::SyncError;
    }

    if (failed == WriteFailure::None) {
        // The caller closes the file unchecked: its data is synced already.
        struct stat now {};
        if (System().fstat(file, &now) == 0)
            result.written = IdentityOfStatus(now);
        return result;
    }
    if (!backup.Path().isEmpty() && RestoreFromBackup(file, backup.Path(), old.st_size)) {
        result.failure = WriteFailure::InPlaceRestored;
        return result;
    }
    result.failure = WriteFailure::InPlaceNotRestored;
    result.backupPath = QFile::decodeName(backup.Path());
    backup.Keep();
    return result;
}

// The file a save replaces: the one a symbolic link at `path` names, not
// the link, which would otherwise be replaced by a plain file.
QString FinalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

// Why no new file could be created in `folder` when the system said ENOSPC:
// no blocks, or no free file entries. Some file systems (btrfs) count no
// entries at all and tell 0 of 0.
WriteFailure NoSpaceFailure(const QByteArray &folder)
{
    struct statvfs status {};
    if (System().statvfs(folder.constData(), &status) == 0 && status.f_files > 0 && status.f_favail == 0)
        return WriteFailure::NoInodes;
    return WriteFailure::DiskFull;
}

} // namespace

ReplaceResult ReplaceFile(const QString &path, qint64 size, const FileContents &contents,
                          const std::function<bool()> &confirmWithoutBackup)
{
    ReplaceResult result;
    const auto fail = [&result](WriteFailure failure) {
        result.failure = failure;
        return result;
    };
    const QString finalPath = FinalTarget(path);
    const QByteArray target = QFile::encodeName(finalPath);
    const QByteArray folderName = QFile::encodeName(QFileInfo(finalPath).absolutePath());

    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return fail(WriteFailureOf(errno, WriteFailure::CannotCreate));
    if (exists && !S_ISREG(old.st_mode))
        return fail(WriteFailure::NotRegularFile);
    // The folder's permissions would let the rename replace a read-only
    // file; its own say it is not to be changed.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return fail(WriteFailureOf(errno, WriteFailure::NoPermission));

    // Opened first, to sync the rename into it at the end. A folder that
    // may be written but not read (mode 0333) cannot be opened; the save
    // then goes on without that last sync.
    Descriptor folder(System().open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (folder.Get() < 0 && errno != EACCES)
        return fail(WriteFailureOf(errno, WriteFailure::CannotCreate));

    QByteArray temporaryName;
    Descriptor temporary(CreateUnique(folderName, TemporaryPrefix, "", O_WRONLY, exists ? 0600 : 0666, temporaryName));
    if (temporary.Get() < 0) {
        const int error = errno;
        if (exists && (error == EACCES || error == EPERM)) {
            const Descriptor file(System().open(target.constData(), O_RDWR | O_CLOEXEC, 0));
            if (file.Get() < 0)
                return fail(WriteFailureOf(errno, WriteFailure::CannotCreate));
            return WriteInPlace(file.Get(), target, size, contents, confirmWithoutBackup);
        }
        if (error == ENOSPC)
            return fail(NoSpaceFailure(folderName));
        return fail(WriteFailureOf(error, WriteFailure::CannotCreate));
    }
    RemovedUnlessKept removed(temporaryName);

    if (exists) {
        // Only root may give a file away; a group of the user's own still
        // carries over.
        if (System().fchown(temporary.Get(), old.st_uid, old.st_gid) != 0)
            System().fchown(temporary.Get(), uid_t(-1), old.st_gid);
        if (System().fchmod(temporary.Get(), old.st_mode & 07777) != 0)
            return fail(WriteFailureOf(errno, WriteFailure::CannotCreate));
    }
    if (!ReserveSpace(temporary.Get(), size))
        return fail(WriteFailureOf(errno, WriteFailure::WriteError));
    const int fd = temporary.Get();
    if (!contents([fd](const char *bytes, std::size_t length) { return WriteAll(fd, bytes, length); }))
        return fail(WriteFailureOf(errno, WriteFailure::WriteError));
    // The rename must not replace the old file with one whose data never
    // arrived.
    if (!SyncToDisk(fd))
        return fail(WriteFailure::SyncError);
    struct stat written {};
    const bool known = System().fstat(fd, &written) == 0;
    // A network file system may tell of a failed write only here.
    if (!temporary.Close())
        return fail(WriteFailureOf(errno, WriteFailure::WriteError));

    // A second name for the old file, so that it can be put back if the
    // folder does not confirm the rename. Not every file system has links.
    QByteArray keptName;
    if (exists) {
        for (int attempt = 0; attempt < 100 && keptName.isEmpty(); ++attempt) {
            const QByteArray name = RandomName(folderName, TemporaryPrefix, "");
            if (System().link(target.constData(), name.constData()) == 0)
                keptName = name;
            else if (errno != EEXIST)
                break;
        }
    }
    RemovedUnlessKept kept(keptName);

    if (System().rename(temporaryName.constData(), target.constData()) != 0)
        return fail(WriteFailureOf(errno, WriteFailure::RenameError));
    removed.Keep();
    if (folder.Get() >= 0 && !SyncToDisk(folder.Get())) {
        if (!keptName.isEmpty() && System().rename(keptName.constData(), target.constData()) == 0) {
            kept.Keep();
            SyncToDisk(folder.Get()); // nothing more to do if this fails too
        }
        return fail(WriteFailure::SyncError);
    }
    if (!keptName.isEmpty()) {
        System().unlink(keptName.constData());
        kept.Keep();
        // Only so that the old file's second name does not come back after
        // a power cut; the save itself is already stored.
        if (folder.Get() >= 0)
            SyncToDisk(folder.Get());
    }
    // The rename changed the file's change time (on Linux): its identity
    // is the one after it, where the path still names the file written.
    struct stat renamed {};
    if (known && ::stat(target.constData(), &renamed) == 0 && renamed.st_dev == written.st_dev
        && renamed.st_ino == written.st_ino)
        written = renamed;
    result.written = known ? IdentityOfStatus(written) : IdentityOf(finalPath);
    return result;
}

std::vector<InterruptedSave> RecoverInterruptedSaves()
{
    std::vector<InterruptedSave> found;
    const QString folder = BackupFolder();
    if (folder.isEmpty())
        return found;
    const QStringList journals = QDir(folder).entryList(
            {QStringLiteral("qnVelTor-*") + QLatin1String(InPlaceJournal::Suffix)}, QDir::Files);
    for (const QString &name : journals) {
        const QByteArray journalPath = QFile::encodeName(QDir(folder).filePath(name));
        const QByteArray copyPath =
                journalPath.chopped(int(std::strlen(InPlaceJournal::Suffix))) + InPlaceJournal::CopySuffix;
        const Descriptor journal(System().open(journalPath.constData(), O_RDWR | O_CLOEXEC, 0));
        // A save another running copy of the editor is making right now.
        if (journal.Get() < 0 || ::flock(journal.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        QByteArray record;
        char buffer[4096];
        for (qint64 got; (got = ReadFull(journal.Get(), buffer, sizeof buffer)) > 0;)
            record.append(buffer, got);
        const qsizetype nul = record.indexOf('\0');
        const QByteArray target = record.left(nul);
        // Killed before the copy was whole: the file was not touched yet.
        const bool copied = nul >= 0 && record.mid(nul + 1) == InPlaceJournal::CopiedMark;
        const Descriptor backup(copied ? System().open(copyPath.constData(), O_RDONLY | O_CLOEXEC, 0) : -1);
        const Descriptor file(backup.Get() < 0 || target.isEmpty()
                                      ? -1
                                      : System().open(target.constData(), O_RDWR | O_CLOEXEC, 0));
        InterruptedSave save;
        save.path = QFile::decodeName(target);
        bool report = false;
        struct stat old {};
        if (file.Get() >= 0 && System().fstat(backup.Get(), &old) == 0 && !SameContents(backup.Get(), file.Get())) {
            report = true;
            save.restored = RestoreFromBackup(file.Get(), copyPath, old.st_size);
        } else if (backup.Get() >= 0 && file.Get() < 0) {
            // The file is gone or cannot be written: the copy is all there is.
            report = true;
        }
        if (report && !save.restored)
            save.backupPath = QFile::decodeName(copyPath);
        else
            System().unlink(copyPath.constData());
        // Told once: the user decides what to do with a copy kept.
        System().unlink(journalPath.constData());
        if (report)
            found.push_back(save);
    }
    return found;
}

#else // Q_OS_UNIX

// The QFile counterpart of the reasons above.
WriteFailure WriteFailureOf(QFileDevice::FileError error, WriteFailure otherwise)
{
    switch (error) {
    case QFileDevice::PermissionsError:
        return WriteFailure::NoPermission;
    case QFileDevice::ResourceError:
        return WriteFailure::DiskFull;
    case QFileDevice::RenameError:
        return WriteFailure::RenameError;
    case QFileDevice::WriteError:
        return WriteFailure::WriteError;
    default:
        return otherwise;
    }
}

// Blocks until the file's data is on the disk. commit() flushes as well,
// but ignores a failure.
bool SyncToDisk(int handle)
{
    return handle >= 0 && _commit(handle) == 0;
}

} // namespace

ReplaceResult ReplaceFile(const QString &path, qint64 size, const FileContents &contents,
                          const std::function<bool()> &confirmWithoutBackup)
{
    ReplaceResult result;
    const auto put = [](QFileDevice &file) {
        return [&file](const char *bytes, std::size_t length) {
            return file.write(bytes, qint64(length)) == qint64(length);
        };
    };
    // QSaveFile writes beside the target and renames only on commit, so a
    // failed save never destroys the previous file.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        // A short write can hide in QIODevice's own buffer: commit() flushes
        // it but renames the file over the old one even when that flush
        // fails.
        if (!contents(put(file)) || !file.flush()) {
            result.failure = WriteFailureOf(file.error(), WriteFailure::WriteError);
            file.cancelWriting();
        } else if (!SyncToDisk(file.handle())) {
            result.failure = WriteFailure::SyncError;
            file.cancelWriting();
        } else if (!file.commit()) {
            result.failure = WriteFailureOf(file.error(), WriteFailure::RenameError);
        } else {
            result.written = IdentityOf(path);
        }
        return result;
    }
    // A folder that takes no new file: no copy of the old file is kept
    // here, so the caller has to agree to the risk.
    const QFileInfo info(path);
    if (!info.isFile() || !info.isWritable()) {
        result.failure = WriteFailureOf(file.error(), WriteFailure::CannotCreate);
        return result;
    }
    if (!(confirmWithoutBackup && confirmWithoutBackup())) {
        result.failure = WriteFailure::InPlaceDeclined;
        return result;
    }
    QFile inPlace(path);
    if (!inPlace.open(QIODevice::ReadWrite)) { // not WriteOnly, which empties the file
        result.failure = WriteFailureOf(inPlace.error(), WriteFailure::CannotCreate);
        return result;
    }
    if (!contents(put(inPlace)) || !inPlace.flush() || !inPlace.resize(size)
        || !SyncToDisk(inPlace.handle())) {
        result.failure = WriteFailure::InPlaceNotRestored;
        return result;
    }
    result.written = IdentityOf(path);
    return result;
}

std::vector<InterruptedSave> RecoverInterruptedSaves()
{
    // Windows' in-place saves keep no copy to put back.
    return {};
}

#endif // Q_OS_UNIX