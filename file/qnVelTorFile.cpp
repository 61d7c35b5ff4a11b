#include "qnVelTorFile.h"

#include "FileSystemCalls.h"
#include "ShiftJis.h"
#include "qnVelTorFileName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#else
#include <QSaveFile>
#include <io.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Large reads keep the per-byte cost down to one table look-up.
constexpr qint64 ReadChunkSize = 1 << 20;
constexpr std::size_t WriteChunkSize = 1 << 20;
// Copying and comparing the old file for an in-place save.
constexpr std::size_t CopyChunkSize = 1 << 20;

constexpr std::array<bool, 256> makeControlTable()
{
    std::array<bool, 256> table {};
    table[static_cast<unsigned char>(TabByte)] = true;
    table[static_cast<unsigned char>(LfByte)] = true;
    table[static_cast<unsigned char>(CrByte)] = true;
    table[static_cast<unsigned char>(EofByte)] = true;
    return table;
}

constexpr std::array<bool, 256> controlBytes = makeControlTable();

// TAB, LF, CR and 0x1A are all below 0x20, and such bytes are rare in a
// report: eight bytes at a time are tested for any byte below 0x20 before
// they are looked at one by one.
const char *FindControlByte(const char *p, const char *end)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    while (p < end) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (((word - ones * 0x20) & ~word & highs) != 0)
                break;
            p += 8;
        }
        for (const char *stop = std::min(p + 8, end); p < stop; ++p) {
            if (controlBytes[static_cast<unsigned char>(*p)])
                return p;
        }
    }
    return end;
}

// Writes the lines through `put`, which takes a chunk of bytes and says
// whether all of them were written.
template<typename Put>
bool WriteRecords(std::uint32_t count, const RecordFields &fields, Put put)
{
    std::string buffer;
    buffer.reserve(WriteChunkSize + 4096);
    const auto flush = [&put, &buffer] {
        const bool ok = put(buffer.data(), buffer.size());
        buffer.clear();
        return ok;
    };

    std::string_view values[FieldCount];
    for (std::uint32_t record = 0; record < count; ++record) {
        fields(record, values);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (field > 0)
                buffer.push_back(TabByte);
            buffer.append(values[field]);
        }
        buffer.append("\r\n");
        if (buffer.size() >= WriteChunkSize && !flush())
            return false;
    }
    return buffer.empty() || flush();
}

#ifdef Q_OS_UNIX

const FileSystemCalls &System()
{
    return FileSystemCalls::Current();
}

// Why a report file could not be opened for reading.
ReadFailure ReadFailureOfOpen(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ReadFailure::NotFound;
    case EACCES:
    case EPERM:
        return ReadFailure::NoPermission;
    default:
        return ReadFailure::CannotOpen;
    }
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

// Stores a copy of the open file `original` in the cache folder, synced
// and compared byte for byte with it. The copy's path, or empty when none
// could be made (and nothing is left behind).
QByteArray StoreBackup(int original)
{
    const QString folder = BackupFolder();
    if (folder.isEmpty())
        return {};
    QByteArray path;
    // Readable by the user alone: the report may not be meant for others.
    Descriptor copy(CreateUnique(QFile::encodeName(folder), "qnVelTor-", ".bak", O_RDWR, 0600, path));
    if (copy.Get() < 0)
        return {};
    RemovedUnlessKept removed(path);
    if (!CopyContents(original, copy.Get()) || !SyncToDisk(copy.Get()) || !SameContents(original, copy.Get())
        || !copy.Close())
        return {};
    removed.Keep();
    return path;
}

// Puts the old file back from `backup` into the open `file`, which held
// `oldSize` bytes: written, cut to size, synced and compared.
bool RestoreFromBackup(int file, const QByteArray &backup, off_t oldSize)
{
    const Descriptor copy(System().open(backup.constData(), O_RDONLY | O_CLOEXEC, 0));
    return copy.Get() >= 0 && System().lseek(file, 0, SEEK_SET) == 0 && CopyContents(copy.Get(), file)
            && System().ftruncate(file, oldSize) == 0 && SyncToDisk(file) && SameContents(copy.Get(), file);
}

struct SaveResult
{
    WriteFailure failure = WriteFailure::None;
    QByteArray backupPath; // kept after InPlaceNotRestored
    FileIdentity written;
};

// Overwrites the regular file `target`, which `file` has open for reading
// and writing, after a checked copy of it has been stored; puts the old
// bytes back when the write fails.
SaveResult WriteInPlace(int file, qint64 size, std::uint32_t count, const RecordFields &fields,
                        const std::function<bool()> &confirmWithoutBackup)
{
    SaveResult result;
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
    RemovedUnlessKept backup(StoreBackup(file));
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
               || !WriteRecords(count, fields,
                                [file](const char *bytes, std::size_t length) {
                                    return WriteAll(file, bytes, length);
                                })) {
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
    result.backupPath = backup.Path();
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

SaveResult SaveReport(const QString &path, qint64 size, std::uint32_t count, const RecordFields &fields,
                      const std::function<bool()> &confirmWithoutBackup)
{
    SaveResult result;
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
            return WriteInPlace(file.Get(), size, count, fields, confirmWithoutBackup);
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
    if (!WriteRecords(count, fields, [fd](const char *bytes, std::size_t length) { return WriteAll(fd, bytes, length); }))
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
    result.written = known ? IdentityOfStatus(written) : IdentityOf(finalPath);
    return result;
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

struct SaveResult
{
    WriteFailure failure = WriteFailure::None;
    QByteArray backupPath;
    FileIdentity written;
};

SaveResult SaveReport(const QString &path, qint64 size, std::uint32_t count, const RecordFields &fields,
                      const std::function<bool()> &confirmWithoutBackup)
{
    SaveResult result;
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
        if (!WriteRecords(count, fields, put(file)) || !file.flush()) {
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
    if (!WriteRecords(count, fields, put(inPlace)) || !inPlace.flush() || !inPlace.resize(size)
        || !SyncToDisk(inPlace.handle())) {
        result.failure = WriteFailure::InPlaceNotRestored;
        return result;
    }
    result.written = IdentityOf(path);
    return result;
}

#endif // Q_OS_UNIX

// An open report file, read in chunks.
class InputFile
{
public:
    InputFile() = default;
    ~InputFile()
    {
#ifdef Q_OS_UNIX
        if (fd >= 0)
            System().close(fd);
#endif
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Opens `path` only when it is a regular file. A FIFO would block the
    // open until some program writes to it, and a device such as /dev/zero
    // never ends, so the type is checked on the open file itself, without
    // waiting, and not by a look at the path that could change in between.
    bool Open(const QString &path, ReadFailure &failure);
    // Up to `size` bytes; 0 at the end of the file, -1 on a read error.
    qint64 Read(char *buffer, qint64 size);
    qint64 Size() const { return size; }
    const FileIdentity &Identity() const { return identity; }

private:
#ifdef Q_OS_UNIX
    int fd = -1;
#else
    QFile file;
#endif
    qint64 size = 0;
    FileIdentity identity;
};

bool InputFile::Open(const QString &path, ReadFailure &failure)
{
#ifdef Q_OS_UNIX
    fd = System().open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) {
        failure = ReadFailureOfOpen(errno);
        return false;
    }
    struct stat status {};
    if (System().fstat(fd, &status) != 0) {
        failure = ReadFailure::CannotOpen;
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        failure = ReadFailure::NotRegularFile;
        return false;
    }
    // Reads of a regular file never block anyway; clear the flag so that
    // nothing below has to handle EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        failure = ReadFailure::CannotOpen;
        return false;
    }
    size = qint64(status.st_size);
    identity = IdentityOfStatus(status);
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        failure = ReadFailure::NotRegularFile;
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        failure = !info.exists() ? ReadFailure::NotFound
                : file.error() == QFileDevice::PermissionsError ? ReadFailure::NoPermission
                                                                : ReadFailure::CannotOpen;
        return false;
    }
    size = file.size();
    identity = IdentityOf(path);
#endif
    return true;
}

qint64 InputFile::Read(char *buffer, qint64 length)
{
#ifdef Q_OS_UNIX
    for (;;) {
        const ssize_t got = System().read(fd, buffer, std::size_t(length));
        if (got >= 0 || errno != EINTR)
            return qint64(got);
    }
#else
    return file.read(buffer, length);
#endif
}

// Feeds the open file to `put` chunk by chunk, with `afterChunk` (when
// set) and `progress` after every chunk. False, with the reason in
// `failure`, on a read error or when the progress said stop.
bool FeedFile(InputFile &file, const std::function<bool(const char *, std::size_t)> &put,
              const std::function<void()> &afterChunk, const ReadProgress &progress, ReadFailure &failure)
{
    const qint64 size = file.Size();
    // Small reads would cost a call per few bytes on a file that says it is
    // empty but is not (as files under /proc do).
    const qint64 chunkSize = std::clamp<qint64>(size, 4096, ReadChunkSize);
    const std::unique_ptr<char[]> buffer(new char[std::size_t(chunkSize)]);
    std::uint64_t done = 0;
    for (;;) {
        const qint64 got = file.Read(buffer.get(), chunkSize);
        // A read error is not the end of the report: stopping there as if
        // it were would quietly drop the rest of the lines.
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return false;
        }
        if (got == 0)
            break;
        const bool more = put(buffer.get(), static_cast<std::size_t>(got));
        if (afterChunk)
            afterChunk();
        done += std::uint64_t(got);
        if (progress && !progress(done, std::uint64_t(std::max<qint64>(size, 0)))) {
            failure = ReadFailure::Cancelled;
            return false;
        }
        if (!more)
            break;
    }
    return true;
}

} // namespace

bool IsStorableValue(std::string_view value)
{
    return FindControlByte(value.data(), value.data() + value.size()) == value.data() + value.size();
}

bool ReadReportFile(const QString &path, qnVelTorData *data)
{
    return ReadReportFile(path, data, {});
}

bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, ReadFacts *facts)
{
    return ReadReportFile(path, data, take, {}, nullptr, facts);
}

bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, const ReadProgress &progress,
                    ReadFailure *failure, ReadFacts *facts)
{
    ReadFailure dummy;
    ReadFailure &why = failure ? *failure : dummy;
    why = ReadFailure::None;
    if (!data) {
        why = ReadFailure::CannotOpen;
        return false;
    }
    try {
        // Set before the file is opened: the caller compares a later save's
        // name with it even when this read fails.
        data->SetFileBaseName(FileBaseNameOfPath(path));
        qnVelTorFileReader reader(data, path);
        const bool ok = reader.Read(take, progress);
        why = reader.Failure();
        if (facts)
            *facts = reader.Facts();
        return ok;
    } catch (const std::bad_alloc &) {
        // Also from `take`, which builds the caller's copy of the lines.
        why = ReadFailure::OutOfMemory;
        return false;
    }
}

qnVelTorFileReader::qnVelTorFileReader(qnVelTorData *data, const QString &path)
    : data(data), path(path)
{
}

qnVelTorFileReader::~qnVelTorFileReader() = default;

bool qnVelTorFileReader::Read(const TakeRecords &take, const ReadProgress &progress)
{
    failure = ReadFailure::None;
    InputFile file;
    if (!file.Open(path, failure))
        return false;
    facts.identity = file.Identity();
    const auto afterChunk = [this, &take] {
        if (take)
            take(*data);
    };
    if (!FeedFile(
                file, [this](const char *bytes, std::size_t size) { return PutBytes(bytes, size); }, afterChunk,
                progress, failure))
        return false;
    const bool finished = Finish();
    afterChunk();
    if (!finished)
        failure = ReadFailure::TooManyLines;
    return finished;
}

bool ReadReportLines(const QString &path, const TakeLines &take, const ReadProgress &progress,
                     ReadFailure *failure, ReadFacts *facts)
{
    ReadFailure dummy;
    ReadFailure &why = failure ? *failure : dummy;
    why = ReadFailure::None;
    try {
        InputFile file;
        const bool opened = file.Open(path, why);
        if (facts)
            facts->identity = file.Identity();
        if (!opened)
            return false;
        ReportLineSplitter splitter(take);
        const bool read = FeedFile(
                file, [&splitter](const char *bytes, std::size_t size) { return splitter.PutBytes(bytes, size); },
                {}, progress, why);
        const bool finished = read && splitter.Finish();
        if (facts) {
            facts->longLines = splitter.LongLines();
            facts->firstLongLine = splitter.FirstLongLine();
            facts->oddLines = splitter.OddLines();
            facts->firstOddLine = splitter.FirstOddLine();
        }
        if (read && !finished)
            why = ReadFailure::TooManyLines;
        return finished;
    } catch (const std::bad_alloc &) {
        // Also from `take`, which builds the caller's copy of the lines.
        why = ReadFailure::OutOfMemory;
        return false;
    }
}

bool qnVelTorFileReader::PutBytes(const char *bytes, std::size_t size)
{
    if (!splitter) {
        splitter = std::make_unique<ReportLineSplitter>(
                [this](const std::string_view *fields, std::size_t lines) { TakeSplitLines(fields, lines); });
    }
    const bool more = splitter->PutBytes(bytes, size);
    CopySplitterFacts();
    return more;
}

bool qnVelTorFileReader::Finish()
{
    if (!finished) {
        finished = true;
        ended = true;
        if (splitter) {
            splitter->Finish();
            CopySplitterFacts();
        } else {
            PutChar(-1);
        }
    }
    return !overflow;
}

void qnVelTorFileReader::CopySplitterFacts()
{
    // The identity is the file's, set by Read().
    facts.longLines = splitter->LongLines();
    facts.firstLongLine = splitter->FirstLongLine();
    facts.oddLines = splitter->OddLines();
    facts.firstOddLine = splitter->FirstOddLine();
}

void qnVelTorFileReader::TakeSplitLines(const std::string_view *fields, std::size_t lines)
{
    for (std::size_t line = 0; line < lines; ++line, fields += FieldCount) {
        if (data->RecordCount() == qnVelTorData::MaxRecords) {
            overflow = true;
            return;
        }
        if (!record)
            record = std::make_unique<qnVelTorDataRecord>();
        for (std::uint32_t field = 0; field < FieldCount; ++field)
            record->fields[field].Set(fields[field]);
        // The record object is kept for the next line; moving it out leaves
        // it with fresh empty fields.
        data->AppendRecord(std::move(*record));
    }
}

void qnVelTorFileReader::PutChar(int ch)
{
    switch (ch) {
    case TabByte:
        EndField();
        break;
    case LfByte:
        EndField();
        EndRecord();
        break;
    case -1:
        // A last line without a line end still counts, even one of TABs only.
        if (lineLength > 0) {
            EndField();
            EndRecord();
        }
        break;
    default:
        fieldText.push_back(static_cast<char>(ch));
        break;
    }
    lineLength = ch == LfByte ? 0 : lineLength + 1;
}

void qnVelTorFileReader::EndField()
{
    EndField(fieldText);
    fieldText.clear();
}

void qnVelTorFileReader::EndField(std::string_view text)
{
    if (!recordOpen) {
        if (!record)
            record = std::make_unique<qnVelTorDataRecord>();
        recordOpen = true;
        fieldIndex = 0;
    }
    // Pieces past the 19th of a line have no field and are dropped.
    if (qnVelTorDataField *field = record->fields.At(fieldIndex)) {
        field->Set(text);
    } else if (!lineLong) {
        lineLong = true;
        if (!facts.longLines++)
            facts.firstLongLine = linesEnded + 1;
    }
    if (!lineOdd && !ShiftJis::IsWellFormed(text)) {
        lineOdd = true;
        if (!facts.oddLines++)
            facts.firstOddLine = linesEnded + 1;
    }
    if (fieldIndex < std::numeric_limits<std::uint32_t>::max())
        ++fieldIndex;
}

void qnVelTorFileReader::EndRecord()
{
    if (!recordOpen)
        return;
    recordOpen = false;
    ++linesEnded;
    lineLong = false;
    lineOdd = false;
    if (data->RecordCount() == qnVelTorData::MaxRecords) {
        overflow = true;
        return;
    }
    // The record object is kept for the next line; moving it out leaves it
    // with fresh empty fields.
    data->AppendRecord(std::move(*record));
}

bool qnVelTorFileWriter::Write(const QString &path, const qnVelTorData *data)
{
    if (!data) {
        failure = WriteFailure::CannotCreate;
        backupPath.clear();
        written = {};
        return false;
    }
    return Write(path, data->RecordCount(), [data](std::uint32_t record, std::string_view (&fields)[FieldCount]) {
        const qnVelTorDataRecord &line = *data->RecordAt(record);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            const qnVelTorDataField *value = line.fields.At(field);
            fields[field] = value ? std::string_view(value->Get()) : std::string_view();
        }
    });
}

bool qnVelTorFileWriter::Write(const QString &path, std::uint32_t count, const RecordFields &fields)
{
    backupPath.clear();
    written = {};
    try {
        failure = WriteLines(path, count, fields);
    } catch (const std::bad_alloc &) {
        // Whatever was made on the way is removed while the stack unwinds.
        failure = WriteFailure::OutOfMemory;
    }
    return failure == WriteFailure::None;
}

WriteFailure qnVelTorFileWriter::WriteLines(const QString &path, std::uint32_t count, const RecordFields &fields)
{
    // Refused values are found before the file is touched, and the size of
    // the file to be is known.
    std::string_view values[FieldCount];
    qint64 size = 0;
    for (std::uint32_t record = 0; record < count; ++record) {
        fields(record, values);
        for (const std::string_view value : values) {
            if (!IsStorableValue(value))
                return WriteFailure::RefusedValue;
            size += static_cast<qint64>(value.size());
        }
        size += FieldCount - 1 + 2; // the TABs and CR LF
    }
    const SaveResult result = SaveReport(path, size, count, fields, confirmWithoutBackup);
    backupPath = QFile::decodeName(result.backupPath);
    written = result.written;
    return result.failure;
}
