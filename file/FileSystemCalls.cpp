#include "FileSystemCalls.h"

#ifdef Q_OS_UNIX

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int systemOpen(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int systemFallocate(int fd, off_t offset, off_t size)
{
#if defined(Q_OS_LINUX)
    // Not posix_fallocate: where the file system cannot reserve, glibc would
    // write a byte into every block instead, which costs a second write of
    // the whole file on a network share.
    return ::fallocate(fd, 0, offset, size);
#else
    Q_UNUSED(fd);
    Q_UNUSED(offset);
    Q_UNUSED(size);
    errno = EOPNOTSUPP;
    return -1;
#endif
}

int systemStatvfs(const char *path, struct statvfs *status)
{
    return ::statvfs(path, status);
}

const FileSystemCalls systemCalls = {
    systemOpen, ::close, ::read, ::pread, ::write, ::lseek, ::fsync, ::ftruncate, systemFallocate,
    ::fstat, ::fchmod, ::fchown, ::rename, ::link, ::unlink, systemStatvfs,
};

std::atomic<const FileSystemCalls *> current {&systemCalls};

} // namespace

const FileSystemCalls &FileSystemCalls::Current()
{
    return *current.load(std::memory_order_acquire);
}

const FileSystemCalls &FileSystemCalls::System()
{
    return systemCalls;
}

ScopedFileSystemCalls::ScopedFileSystemCalls(const FileSystemCalls &calls)
    : previous(current.exchange(&calls))
{
}

ScopedFileSystemCalls::~ScopedFileSystemCalls()
{
    current.store(previous);
}

#endif
