#include "InputFile.h"

#include "FileSystemCalls.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

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

#endif // Q_OS_UNIX

} // namespace

InputFile::~InputFile()
{
#ifdef Q_OS_UNIX
    if (fd >= 0)
        System().close(fd);
#endif
}

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

qint64 InputFile::ReadAt(char *buffer, qint64 length, qint64 offset)
{
#ifdef Q_OS_UNIX
    for (;;) {
        const ssize_t got = System().pread(fd, buffer, std::size_t(length), off_t(offset));
        if (got >= 0 || errno != EINTR)
            return qint64(got);
    }
#else
    // Moves the file's position: one thread at a time (CanReadAt).
    if (!file.seek(offset))
        return -1;
    return file.read(buffer, length);
#endif
}

qint64 InputFile::ReadFullyAt(char *buffer, qint64 length, qint64 offset)
{
    qint64 got = 0;
    while (got < length) {
        const qint64 read = ReadAt(buffer + got, length - got, offset + got);
        if (read < 0)
            return -1;
        if (read == 0)
            break;
        got += read;
    }
    return got;
}

bool FeedFile(InputFile &file, const std::function<bool(const char *, std::size_t)> &put,
              const std::function<void()> &afterChunk, const ReadProgress &progress, ReadFailure &failure,
              FeedNotes *notes)
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
        if (notes && done == 0)
            notes->looks = ReportSniffer::Sniff(QByteArrayView(buffer.get(), got), got >= size);
        const bool more = put(buffer.get(), static_cast<std::size_t>(got));
        if (afterChunk)
            afterChunk();
        done += std::uint64_t(got);
        if (progress && !progress(done, std::uint64_t(std::max<qint64>(size, 0)))) {
            failure = ReadFailure::Cancelled;
            return false;
        }
        if (!more) {
            // The rest is counted from the size, not read; a file that
            // tells no size (as under /proc) is small enough to read on.
            if (notes && size > 0) {
                notes->unread = std::uint64_t(size) > done ? std::uint64_t(size) - done : 0;
            } else if (notes) {
                for (qint64 rest; (rest = file.Read(buffer.get(), chunkSize)) > 0;)
                    notes->unread += std::uint64_t(rest);
            }
            break;
        }
    }
    return true;
}
