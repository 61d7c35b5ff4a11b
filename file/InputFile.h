#pragma once

#include "FileIdentity.h"
#include "ReportSniffer.h"
#include "qnVelTorFile.h"

#include <QString>
#include <QtGlobal>

#ifndef Q_OS_UNIX
#include <QFile>
#endif

#include <cstdint>
#include <functional>

// An open report file, read in chunks.
class InputFile
{
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Opens `path` only when it is a regular file. A FIFO would block the
    // open until some program writes to it, and a device such as /dev/zero
    // never ends, so the type is checked on the open file itself, without
    // waiting, and not by a look at the path that could change in between.
    bool Open(const QString &path, ReadFailure &failure);
    // Up to `size` bytes; 0 at the end of the file, -1 on a read error.
    qint64 Read(char *buffer, qint64 size);
    // The same at `offset`. Where CanReadAt, it leaves the file position
    // alone, so that several threads may read the one open file at once;
    // elsewhere it moves it, and only one thread may read.
    qint64 ReadAt(char *buffer, qint64 size, qint64 offset);
    // Fills `buffer` from `offset` on; fewer bytes only at the end of the
    // file, -1 on a read error.
    qint64 ReadFullyAt(char *buffer, qint64 size, qint64 offset);
#ifdef Q_OS_UNIX
    static constexpr bool CanReadAt = true;
#else
    static constexpr bool CanReadAt = false;
#endif
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

// Large reads keep the per-byte cost of the calls down.
inline constexpr qint64 ReadChunkSize = 1 << 20;

// What FeedFile saw beside the bytes it fed.
struct FeedNotes
{
    ReportSniffer::Looks looks = ReportSniffer::Looks::Report; // of the first chunk
    std::uint64_t unread = 0; // bytes of the file left when `put` said stop
};

// Feeds the open file to `put` chunk by chunk, with `afterChunk` (when
// set) and `progress` after every chunk. False, with the reason in
// `failure`, on a read error or when the progress said stop.
bool FeedFile(InputFile &file, const std::function<bool(const char *, std::size_t)> &put,
              const std::function<void()> &afterChunk, const ReadProgress &progress, ReadFailure &failure,
              FeedNotes *notes = nullptr);
