#include "SafeReplace.h"

#include "CacheFolder.h"
#include "FileSystemCalls.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

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

// Where a copy of a file that is overwritten in place is kept.
QString BackupFolder()
{
    return CacheFolder();
}

// The blocks by which a start tells a file that an in-place save left part
// written from one that another program wrote since. The system stops a
// killed write at a page boundary, and a page is a whole number of these.
constexpr qint64 JournalBlock = 4096;
// Bytes kept of each block's SHA-256: enough that other bytes never match
// by chance.
constexpr qsizetype DigestSize = 8;
// An in-place write hands over this many whole blocks at a time.
constexpr std::size_t InPlacePiece = std::size_t(JournalBlock) * 256;

QByteArray DigestOf(const char *bytes, qint64 size)
{
    return QCryptographicHash::hash(QByteArrayView(bytes, qsizetype(size)), QCryptographicHash::Sha256)
            .left(DigestSize);
}

// What an in-place save is about to write: how many bytes, and a digest of
// each block of them (the last one may be short).
struct NewContents
{
    qint64 size = 0;
    qint64 block = JournalBlock;
    QByteArray digests;
};

// Takes the new contents as a save would write them, and keeps only their
// size and digests.
class BlockDigests
{
public:
    explicit BlockDigests(NewContents &into) : into(into) { }
    void Put(const char *bytes, std::size_t size)
    {
        while (size > 0) {
            const std::size_t take = std::min(size, std::size_t(into.block - filled.size()));
            filled.append(bytes, qsizetype(take));
            bytes += take;
            size -= take;
            into.size += qint64(take);
            if (filled.size() == into.block)
                End();
        }
    }
    void Finish()
    {
        if (!filled.isEmpty())
            End();
    }

private:
    void End()
    {
        into.digests += DigestOf(filled.constData(), filled.size());
        filled.clear();
    }

    NewContents &into;
    QByteArray filled;
};

// Hands the new bytes to the file in pieces of whole blocks, so that a save
// killed part way leaves each block all old or all new, as the start's
// check (ShapeOf) needs: a piece the program had not yet handed over could
// end anywhere.
class BlockWriter
{
public:
    explicit BlockWriter(int fd) : fd(fd), buffer(new char[InPlacePiece]) { }
    bool Put(const char *bytes, std::size_t size)
    {
        while (size > 0) {
            const std::size_t take = std::min(size, InPlacePiece - used);
            std::memcpy(buffer.get() + used, bytes, take);
            used += take;
            bytes += take;
            size -= take;
            if (used == InPlacePiece && !Flush())
                return false;
        }
        return true;
    }
    bool Flush() { return WriteAll(fd, buffer.get(), std::exchange(used, 0)); }

private:
    int fd;
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
};

// "<device> <inode> <size> <modified ns> <changed ns>"
QByteArray IdentityFields(const FileIdentity &identity)
{
    return QByteArray::number(identity.device) + ' ' + QByteArray::number(identity.inode) + ' '
            + QByteArray::number(identity.size) + ' ' + QByteArray::number(identity.modifiedNs) + ' '
            + QByteArray::number(identity.changedNs);
}

bool ParseIdentity(const QByteArray &text, FileIdentity &identity)
{
    const QList<QByteArray> fields = text.split(' ');
    bool ok[5] = {};
    if (fields.size() != 5)
        return false;
    identity.exists = true;
    identity.device = fields[0].toULongLong(&ok[0]);
    identity.inode = fields[1].toULongLong(&ok[1]);
    identity.size = fields[2].toULongLong(&ok[2]);
    identity.modifiedNs = fields[3].toLongLong(&ok[3]);
    identity.changedNs = fields[4].toLongLong(&ok[4]);
    return std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; });
}

// "<size> <block size> <the digests in hex, one after another>"
bool ParseNewContents(const QByteArray &text, NewContents &fresh)
{
    const QList<QByteArray> fields = text.split(' ');
    bool sized = false;
    bool blocked = false;
    if (fields.size() != 3)
        return false;
    fresh.size = fields[0].toLongLong(&sized);
    fresh.block = fields[1].toLongLong(&blocked);
    fresh.digests = QByteArray::fromHex(fields[2]);
    return sized && blocked && fresh.size >= 0 && fresh.block > 0 && fields[2].size() == 2 * fresh.digests.size()
            && fresh.digests.size() == (fresh.size + fresh.block - 1) / fresh.block * DigestSize;
}

// The record of an in-place save under way, in the cache folder beside the
// copy of the file's old bytes. Lines, each counted only once it is whole:
//
//   qnVelTor in-place save 2
//   target <the file's absolute path, %-encoded but for '/'>
//   new <size> <block size> <a digest of each block of the new contents, in hex>
//   copied <device> <inode> <size> <modified ns> <changed ns>
//   written <device> <inode> <size> <modified ns> <changed ns>
//
// The first two are stored before the copy is made. `new` and `copied`
// (the file as it was when copied) follow in one write once the copy is
// whole and checked, before the file is touched; `written` (the file as it
// was left) once the new contents are synced. A save that ends takes its
// record away, then the copy; one that never ends leaves them for the next
// start (RecoverInterruptedSaves). The record stays locked while the save
// runs, so that another running copy of the editor leaves it alone.
class InPlaceJournal
{
public:
    static constexpr const char *Suffix = ".journal";
    static constexpr const char *CopySuffix = ".bak";
    // Where a start keeps what the file held before it put the old bytes
    // back on the user's word.
    static constexpr const char *CurrentSuffix = "-current.bak";
    static constexpr const char *Header = "qnVelTor in-place save 2\n";

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
        if (::flock(fd, LOCK_EX) != 0 || !Append(Header + QByteArray("target ") + target.toPercentEncoding("/") + '\n')
            || !SyncFolder(folderName)) {
            Remove();
            return false;
        }
        return true;
    }
    // Where the copy of the old file goes.
    QByteArray CopyPath() const { return path.chopped(int(std::strlen(Suffix))) + CopySuffix; }
    // The copy is whole, and the file is about to be overwritten with
    // `fresh`: from now on a start looks at the file.
    bool MarkCopied(const NewContents &fresh, const FileIdentity &file)
    {
        return Append("new " + QByteArray::number(fresh.size) + ' ' + QByteArray::number(fresh.block) + ' '
                      + fresh.digests.toHex() + "\ncopied " + IdentityFields(file) + '\n');
    }
    // The new contents are whole and synced, and left the file as `file`.
    bool MarkWritten(const FileIdentity &file) { return fd >= 0 && Append("written " + IdentityFields(file) + '\n'); }
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
    bool Append(const QByteArray &lines)
    {
        return WriteAll(fd, lines.constData(), std::size_t(lines.size())) && SyncToDisk(fd);
    }

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
    const Descriptor copy(System().open(backup.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    return copy.Get() >= 0 && System().lseek(file, 0, SEEK_SET) == 0 && CopyContents(copy.Get(), file)
            && System().ftruncate(file, oldSize) == 0 && SyncToDisk(file) && SameContents(copy.Get(), file);
}

// Overwrites the regular file `target` (an absolute path), which `file`
// has open for reading and writing, after a checked copy of it has been
// stored; puts the old bytes back when the write fails.
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
    // The new contents are gone through once before the file is touched,
    // for the record a start checks the file against.
    NewContents fresh;
    BlockDigests digests(fresh);
    if (!contents([&digests](const char *bytes, std::size_t length) {
            digests.Put(bytes, length);
            return true;
        })) {
        result.failure = WriteFailureOf(errno, WriteFailure::WriteError);
        return result;
    }
    digests.Finish();

    // The folder itself was tried first: the file it refused is why the
    // save is written in place. The record goes before the copy.
    RemovedUnlessKept backup;
    InPlaceJournal journal;
    const QString folder = BackupFolder();
    if (!folder.isEmpty() && journal.Open(folder, target)) {
        if (StoreBackup(file, journal.CopyPath())) {
            backup.Take(journal.CopyPath());
            // A copy nobody would find after a crash is no copy.
            if (!journal.MarkCopied(fresh, IdentityOfStatus(old)))
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
    BlockWriter writer(file);
    if (!ReserveSpace(file, size)) {
        // The old bytes have not changed; only the size may have grown.
        failed = WriteFailureOf(errno, WriteFailure::WriteError);
        if (System().ftruncate(file, old.st_size) == 0 && SyncToDisk(file)) {
            result.failure = failed;
            return result;
        }
    } else if (System().lseek(file, 0, SEEK_SET) != 0
               || !contents([&writer](const char *bytes, std::size_t length) { return writer.Put(bytes, length); })
               || !writer.Flush()) {
        failed = WriteFailureOf(errno, WriteFailure::WriteError);
    } else if (System().ftruncate(file, off_t(size)) != 0) {
        failed = WriteFailureOf(errno, WriteFailure::WriteError);
    } else if (!SyncToDisk(file)) {
        failed = WriteFailure::SyncError;
    }

    if (failed == WriteFailure::None) {
        // The caller closes the file unchecked: its data is synced already.
        struct stat now {};
        if (System().fstat(file, &now) == 0) {
            result.written = IdentityOfStatus(now);
            // Unrecorded, a start after a crash before the record is gone
            // still finds the new contents whole; recorded, it also knows
            // that any later change is another program's.
            journal.MarkWritten(result.written);
        }
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

// What the record of an interrupted save said.
struct JournalRecord
{
    // Begins as this program's records do, each line as one is written.
    bool readable = false;
    QByteArray target;
    bool copied = false;
    NewContents fresh;
    FileIdentity copiedAs;
    bool written = false;
    FileIdentity writtenAs;
};

JournalRecord ParseJournal(const QByteArray &bytes)
{
    JournalRecord record;
    const QByteArray header = InPlaceJournal::Header;
    // Shorter than its first line: killed while that was written, before
    // the file was touched.
    if (bytes.size() < header.size()) {
        record.readable = header.startsWith(bytes);
        return record;
    }
    if (!bytes.startsWith(header))
        return record;
    QList<QByteArray> lines = bytes.mid(header.size()).split('\n');
    lines.removeLast(); // not ended by a newline, so never whole
    static const char *const order[] = {"target", "new", "copied", "written"};
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray prefix = QByteArray(i < 4 ? order[i] : "") + ' ';
        if (i >= 4 || !lines[i].startsWith(prefix))
            return record;
        const QByteArray value = lines[i].mid(prefix.size());
        if (i == 0)
            record.target = QByteArray::fromPercentEncoding(value);
        if ((i == 0 && record.target.isEmpty()) || (i == 1 && !ParseNewContents(value, record.fresh))
            || (i == 2 && !ParseIdentity(value, record.copiedAs))
            || (i == 3 && !ParseIdentity(value, record.writtenAs)))
            return record;
    }
    record.readable = true;
    record.copied = lines.size() >= 3;
    record.written = lines.size() >= 4;
    return record;
}

// Reads up to `size` bytes at `offset`, fewer only at the end of the file;
// -1 on a read error.
qint64 ReadFullAt(int fd, char *buffer, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = System().pread(fd, buffer + done, std::size_t(size - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

// What a file holds against what an in-place save could have left in it.
enum class Shape {
    Old, // the old bytes: the save never touched it
    New, // the new contents, whole
    Torn, // each block old or new, as a write killed part way leaves it
    Other, // anything else: written by another program since
};

// The shape of the open `file`, `size` bytes long, against the old bytes
// (`oldSize` of them in `copy`, or none when `copy` is -1) and the new
// contents `fresh`. Where the save had taken room beyond the old end, zeros
// stand until it wrote there.
Shape ShapeOf(int file, qint64 size, int copy, qint64 oldSize, const NewContents &fresh)
{
    const qint64 newSize = fresh.size;
    if (size < std::min(oldSize, newSize) || size > std::max(oldSize, newSize))
        return Shape::Other;
    const std::unique_ptr<char[]> mine(new char[std::size_t(fresh.block)]);
    const std::unique_ptr<char[]> old(new char[std::size_t(fresh.block)]);
    bool allOld = size == oldSize;
    bool allNew = size == newSize;
    for (qint64 at = 0; at < size;) {
        const qint64 index = at / fresh.block;
        const qint64 blockEnd = (index + 1) * fresh.block;
        const qint64 end = at < newSize ? std::min({blockEnd, newSize, size}) : std::min(blockEnd, size);
        const qint64 length = end - at;
        if (ReadFullAt(file, mine.get(), length, at) != length)
            return Shape::Other;
        const qint64 oldLength = std::clamp(oldSize - at, qint64(0), length);
        bool isOld = copy >= 0 && ReadFullAt(copy, old.get(), oldLength, at) == oldLength;
        if (isOld) {
            std::memset(old.get() + oldLength, 0, std::size_t(length - oldLength));
            isOld = std::memcmp(mine.get(), old.get(), std::size_t(length)) == 0;
        }
        const bool isNew = at < newSize && end == std::min(blockEnd, newSize)
                && DigestOf(mine.get(), length) == fresh.digests.mid(index * DigestSize, DigestSize);
        if (!isOld && !isNew)
            return Shape::Other;
        allOld = allOld && isOld;
        allNew = allNew && isNew;
        at = end;
    }
    return allOld ? Shape::Old : allNew ? Shape::New : Shape::Torn;
}

// Why the file an interrupted save's record names is not the one the save
// wrote, from how opening it failed.
InterruptedSave::Refusal RefusalOf(int error)
{
    switch (error) {
    case ELOOP:
        return InterruptedSave::Refusal::Link;
    case ENOENT:
    case ENOTDIR:
        return InterruptedSave::Refusal::Missing;
    default:
        return InterruptedSave::Refusal::CannotOpen;
    }
}

// Settles the in-place save whose record is at `journalPath`; false when
// there is nothing to tell, because the file was left whole (old or new)
// or the save is under way in another running copy of the editor.
bool RecoverSave(const QByteArray &journalPath, const AskRestore &ask, InterruptedSave &save)
{
    using Outcome = InterruptedSave::Outcome;
    using Refusal = InterruptedSave::Refusal;
    const QByteArray base = journalPath.chopped(int(std::strlen(InPlaceJournal::Suffix)));
    const QByteArray copyPath = base + InPlaceJournal::CopySuffix;
    const Descriptor journal(System().open(journalPath.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0));
    if (journal.Get() < 0 || ::flock(journal.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    QByteArray bytes;
    char buffer[4096];
    for (qint64 got; (got = ReadFull(journal.Get(), buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, got);
    const JournalRecord record = ParseJournal(bytes);

    save.path = QFile::decodeName(record.target);
    struct stat copyStatus {};
    if (::lstat(copyPath.constData(), &copyStatus) == 0 && S_ISREG(copyStatus.st_mode))
        save.backupPath = QFile::decodeName(copyPath);
    // The record goes first, then the copy: a copy no record names is never
    // put back.
    const auto forget = [&] {
        if (System().unlink(journalPath.constData()) == 0)
            System().unlink(copyPath.constData());
    };
    // Told once; the copy stays for the user to decide about.
    const auto tell = [&](Outcome outcome, Refusal refusal = Refusal::None) {
        save.outcome = outcome;
        save.refusal = refusal;
        System().unlink(journalPath.constData());
        return true;
    };
    if (record.readable && !record.copied) {
        // Killed before the copy was whole: the file was not touched yet.
        forget();
        return false;
    }
    if (!record.readable)
        return tell(Outcome::Refused, Refusal::UnreadableRecord);
    // Only the very file the save wrote, by a path that cannot lead
    // elsewhere than it did then.
    if (!record.target.startsWith('/'))
        return tell(Outcome::Refused, Refusal::RelativePath);
    const int openFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const Descriptor file(System().open(record.target.constData(), O_RDONLY | openFlags, 0));
    if (file.Get() < 0)
        return tell(Outcome::Refused, RefusalOf(errno));
    struct stat now {};
    if (System().fstat(file.Get(), &now) != 0)
        return tell(Outcome::Refused, Refusal::CannotOpen);
    if (!S_ISREG(now.st_mode) || quint64(now.st_dev) != record.copiedAs.device
        || quint64(now.st_ino) != record.copiedAs.inode)
        return tell(Outcome::Refused, Refusal::OtherFile);
    if (now.st_uid != ::geteuid())
        return tell(Outcome::Refused, Refusal::OtherOwner);
    const FileIdentity current = IdentityOfStatus(now);

    const qint64 oldSize = qint64(record.copiedAs.size);
    Descriptor copy(System().open(copyPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (copy.Get() >= 0 && (System().fstat(copy.Get(), &copyStatus) != 0 || copyStatus.st_size != oldSize))
        copy.Close();
    if (copy.Get() < 0)
        save.backupPath.clear();

    // Once the new contents were recorded whole, any change since is
    // another program's.
    const Shape shape = !record.written ? ShapeOf(file.Get(), qint64(now.st_size), copy.Get(), oldSize, record.fresh)
            : CompareIdentity(record.writtenAs, current) == DiskChange::Same ? Shape::New
                                                                              : Shape::Other;
    if (shape == Shape::Old || shape == Shape::New) {
        // Whole as it is; the system may still hold new contents unwritten.
        if (SyncToDisk(file.Get()))
            forget();
        return false;
    }
    if (shape == Shape::Other && record.written)
        return tell(Outcome::ChangedSince);
    if (copy.Get() < 0)
        return tell(Outcome::NotRestored);
    // In doubt, the user decides, and what the file holds now is kept too.
    const bool onRequest = shape == Shape::Other;
    if (onRequest && !(ask && ask(save)))
        return tell(Outcome::Kept);

    // The record goes before anything is put back: left behind, it would
    // have every later start put the old bytes back again.
    if (System().unlink(journalPath.constData()) != 0) {
        save.outcome = Outcome::RecordStuck;
        save.recordFailure = WriteFailureOf(errno, WriteFailure::WriteError);
        return true;
    }
    if (onRequest) {
        const QByteArray currentPath = base + InPlaceJournal::CurrentSuffix;
        if (!StoreBackup(file.Get(), currentPath)) {
            save.outcome = Outcome::CurrentNotStored;
            return true;
        }
        save.currentPath = QFile::decodeName(currentPath);
    }
    // Opened again to be written: still the file judged above, unchanged.
    const Descriptor writable(System().open(record.target.constData(), O_RDWR | openFlags, 0));
    struct stat again {};
    if (writable.Get() < 0 || System().fstat(writable.Get(), &again) != 0) {
        save.outcome = Outcome::NotRestored;
        return true;
    }
    if (CompareIdentity(current, IdentityOfStatus(again)) != DiskChange::Same) {
        save.outcome = Outcome::ChangedSince;
        return true;
    }
    if (!RestoreFromBackup(writable.Get(), copyPath, off_t(oldSize))) {
        save.outcome = Outcome::NotRestored;
        return true;
    }
    save.outcome = onRequest ? Outcome::RestoredOnRequest : Outcome::Restored;
    System().unlink(copyPath.constData());
    save.backupPath.clear();
    return true;
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
            // The record a start goes by names the file by a path that
            // leads to it from anywhere.
            return WriteInPlace(file.Get(), QFile::encodeName(QFileInfo(finalPath).absoluteFilePath()), size,
                                contents, confirmWithoutBackup);
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

std::vector<InterruptedSave> RecoverInterruptedSaves(const AskRestore &ask)
{
    std::vector<InterruptedSave> found;
    const QString folder = BackupFolder();
    if (folder.isEmpty())
        return found;
    const QStringList journals = QDir(folder).entryList(
            {QStringLiteral("qnVelTor-*") + QLatin1String(InPlaceJournal::Suffix)}, QDir::Files);
    for (const QString &name : journals) {
        InterruptedSave save;
        if (RecoverSave(QFile::encodeName(QDir(folder).filePath(name)), ask, save))
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

std::vector<InterruptedSave> RecoverInterruptedSaves(const AskRestore &)
{
    // Windows' in-place saves keep no copy to put back.
    return {};
}

#endif // Q_OS_UNIX