#include "qnVelTorFile.h"

#include "qnVelTorFileName.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char TabByte = '\t';
constexpr char LfByte = '\n';
constexpr char CrByte = '\r';
constexpr char EofByte = '\x1A';

// Large reads keep the per-byte cost down to one table look-up.
constexpr qint64 ReadChunkSize = 1 << 20;
constexpr std::size_t WriteChunkSize = 1 << 20;

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

// Opens `path` for reading only when it is a regular file. A FIFO would block
// the open until some program writes to it, and a device such as /dev/zero
// never ends, so the type is checked on the open file itself, without
// waiting, and not by a look at the path that could change in between.
std::unique_ptr<QFile> OpenRegularFile(const QString &path, ReadFailure &failure)
{
    auto file = std::make_unique<QFile>();
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = ReadFailure::CannotOpen;
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        failure = ReadFailure::NotRegularFile;
        return nullptr;
    }
    // Reads of a regular file never block anyway; clear the flag so that
    // nothing below has to handle EAGAIN.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0
        || !file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        failure = ReadFailure::CannotOpen;
        return nullptr;
    }
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        failure = ReadFailure::NotRegularFile;
        return nullptr;
    }
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        failure = ReadFailure::CannotOpen;
        return nullptr;
    }
#endif
    return file;
}

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

} // namespace

bool IsStorableValue(std::string_view value)
{
    return FindControlByte(value.data(), value.data() + value.size()) == value.data() + value.size();
}

bool ReadReportFile(const QString &path, qnVelTorData *data)
{
    return ReadReportFile(path, data, {});
}

bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take)
{
    return ReadReportFile(path, data, take, {}, nullptr);
}

bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, const ReadProgress &progress,
                    ReadFailure *failure)
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
    std::unique_ptr<QFile> file = OpenRegularFile(path, failure);
    if (!file)
        return false;
    const qint64 size = file->size();
    stream = std::move(file);

    // Small reads would cost a call per few bytes on a file that says it is
    // empty but is not (as files under /proc do).
    const qint64 chunkSize = std::clamp<qint64>(size, 4096, ReadChunkSize);
    const std::unique_ptr<char[]> buffer(new char[std::size_t(chunkSize)]);
    std::uint64_t done = 0;
    for (;;) {
        const qint64 got = stream->read(buffer.get(), chunkSize);
        // A read error is not the end of the report: stopping there as if
        // it were would quietly drop the rest of the lines.
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return false;
        }
        if (got == 0)
            break;
        const bool more = PutBytes(buffer.get(), static_cast<std::size_t>(got));
        if (take)
            take(*data);
        done += std::uint64_t(got);
        if (progress && !progress(done, std::uint64_t(std::max<qint64>(size, 0)))) {
            failure = ReadFailure::Cancelled;
            return false;
        }
        if (!more)
            break;
    }
    const bool finished = Finish();
    if (take)
        take(*data);
    if (!finished)
        failure = ReadFailure::TooManyLines;
    return finished;
}

bool qnVelTorFileReader::PutBytes(const char *bytes, std::size_t size)
{
    if (ended)
        return false;
    const char *p = bytes;
    const char *const end = bytes + size;
    // Bytes since the last control byte. A field that lies within one chunk
    // (nearly every field) goes to its record straight from the chunk.
    const char *run = p;
    while (p < end) {
        p = FindControlByte(p, end);
        if (p == end)
            break;
        const char c = *p;
        const std::string_view text(run, static_cast<std::size_t>(p - run));
        lineLength += text.size();
        ++p;
        run = p;
        switch (c) {
        case CrByte:
            fieldText.append(text);
            break;
        case EofByte:
            fieldText.append(text);
            ended = true;
            return false;
        case TabByte:
        case LfByte:
            if (fieldText.empty()) {
                EndField(text);
            } else {
                fieldText.append(text);
                EndField();
            }
            if (c == LfByte)
                EndRecord();
            lineLength = c == LfByte ? 0 : lineLength + 1;
            break;
        }
    }
    lineLength += static_cast<std::size_t>(end - run);
    fieldText.append(run, static_cast<std::size_t>(end - run));
    return true;
}

bool qnVelTorFileReader::Finish()
{
    if (!finished) {
        finished = true;
        ended = true;
        PutChar(-1);
    }
    return !overflow;
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
    if (qnVelTorDataField *field = record->fields.At(fieldIndex))
        field->Set(text);
    if (fieldIndex < std::numeric_limits<std::uint32_t>::max())
        ++fieldIndex;
}

void qnVelTorFileReader::EndRecord()
{
    if (!recordOpen)
        return;
    recordOpen = false;
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
    if (!data)
        return false;
    // QSaveFile writes beside the target and renames only on commit, so a
    // failed save never destroys the previous file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;

    std::string buffer;
    buffer.reserve(WriteChunkSize + 4096);
    const auto flush = [&file, &buffer] {
        const bool ok = file.write(buffer.data(), static_cast<qint64>(buffer.size()))
                == static_cast<qint64>(buffer.size());
        buffer.clear();
        return ok;
    };

    for (const qnVelTorDataRecord &record : *data) {
        bool first = true;
        for (const qnVelTorDataField &field : record) {
            if (!first)
                buffer.push_back(TabByte);
            first = false;
            const std::string &value = field.Get();
            if (!IsStorableValue(value)) {
                file.cancelWriting();
                return false;
            }
            buffer.append(value);
        }
        buffer.append("\r\n");
        if (buffer.size() >= WriteChunkSize && !flush()) {
            file.cancelWriting();
            return false;
        }
    }
    if (!buffer.empty() && !flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
