#pragma once

#include "FileSystemCalls.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

#include <unistd.h>

// A table of system calls whose reads of one byte of the file fail, as
// those of a bad block would, or give few bytes at a time, for the readers
// that read a file in parts.
struct FailingPread
{
    static inline std::atomic<std::int64_t> at {-1};
    // Fails only the first read of the byte, as a read that is tried again
    // may succeed.
    static inline std::atomic<bool> once {false};
    // When set, no read gives more bytes than this, as a read may give
    // fewer than asked without being at the end.
    static inline std::atomic<std::size_t> most {0};
    static ssize_t read(int fd, void *buffer, size_t size)
    {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        const ssize_t got = pread(fd, buffer, size, at);
        if (got > 0)
            ::lseek(fd, got, SEEK_CUR);
        return got;
    }
    static ssize_t pread(int fd, void *buffer, size_t size, off_t offset)
    {
        const std::int64_t bad = at.load();
        if (bad >= 0 && offset <= bad && offset + off_t(size) > bad) {
            if (once)
                at = -1;
            errno = EIO;
            return -1;
        }
        const std::size_t limit = most.load();
        return FileSystemCalls::System().pread(fd, buffer, limit ? std::min(size, limit) : size, offset);
    }
    static const FileSystemCalls &Calls()
    {
        static const FileSystemCalls table = [] {
            FileSystemCalls calls = FileSystemCalls::System();
            calls.pread = &FailingPread::pread;
            calls.read = &FailingPread::read;
            return calls;
        }();
        return table;
    }
};
