#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

// The system calls the report reader and writer make, in one table, so that
// a test can fail any of them at a chosen point. Production code calls
// through Current(); every entry behaves as the call it is named after,
// returning -1 with errno set on failure (fallocate included, unlike
// posix_fallocate).
struct FileSystemCalls
{
    int (*open)(const char *path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void *buffer, size_t size);
    // Reads at `offset` without moving the file position: the parts of a
    // report read by several threads share one open file.
    ssize_t (*pread)(int fd, void *buffer, size_t size, off_t offset);
    ssize_t (*write)(int fd, const void *buffer, size_t size);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fsync)(int fd);
    int (*ftruncate)(int fd, off_t size);
    // Takes the disk space for bytes [offset, offset + size) without
    // writing them; fails with EOPNOTSUPP where the file system cannot.
    int (*fallocate)(int fd, off_t offset, off_t size);
    int (*fstat)(int fd, struct stat *status);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*rename)(const char *from, const char *to);
    int (*link)(const char *from, const char *to);
    int (*unlink)(const char *path);
    int (*statvfs)(const char *path, struct statvfs *status);

    // The table in force: the system's own unless a test has replaced it.
    static const FileSystemCalls &Current();
    static const FileSystemCalls &System();
};

// Puts `calls` in force for its lifetime; not for use while another thread
// reads or writes a report.
class ScopedFileSystemCalls
{
public:
    explicit ScopedFileSystemCalls(const FileSystemCalls &calls);
    ~ScopedFileSystemCalls();
    ScopedFileSystemCalls(const ScopedFileSystemCalls &) = delete;
    ScopedFileSystemCalls &operator=(const ScopedFileSystemCalls &) = delete;

private:
    const FileSystemCalls *previous;
};

#endif
