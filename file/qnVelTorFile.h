#pragma once

#include "ReportLineSplitter.h"
#include "ReportSniffer.h"
#include "qnVelTorData.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QIODevice;

using TakeRecords = std::function<void(qnVelTorData &data)>;

// What a read noticed that the records cannot show. Lines count from 1; a
// first line of 0 means there was none.
struct ReadFacts
{
    // Lines with a non-empty field past the 19th: such fields are dropped.
    std::uint64_t longLines = 0;
    std::uint64_t firstLongLine = 0;
    // Lines holding a NUL byte or bytes that are not Shift-JIS.
    std::uint64_t oddLines = 0;
    std::uint64_t firstOddLine = 0;
    // Bytes after the 0x1A that ended the input: they are not read, and a
    // save leaves them out. The 0x1A itself is not counted.
    std::uint64_t bytesAfterEofMark = 0;
    // What the file's first bytes look like: anything but Report names a
    // file that is better imported (UTF-8, UTF-16, comma-separated).
    ReportSniffer::Looks looks = ReportSniffer::Looks::Report;
};

// Called after every chunk with the bytes read so far and the file's size;
// returning false stops the read. It runs once per chunk, so a caller may
// afford a clock look-up in it but not much more.
using ReadProgress = std::function<bool(std::uint64_t done, std::uint64_t size)>;

// Why a read gave no report.
enum class ReadFailure {
    None,
    CannotOpen, // missing, no right to read, bad path
    NotRegularFile, // a folder, FIFO or device: opening or reading it may never end
    ReadError,
    OutOfMemory,
    TooManyLines,
    Cancelled, // the progress callback said stop
};

// Reads the report file at `path` into `data`: sets the file base name from
// the path first (also when the read fails), then appends one record per
// line. Does not empty `data`. False when the file cannot be opened or read
// to its end.
bool ReadReportFile(const QString &path, qnVelTorData *data);

// The same, calling `take` after every chunk of the file, and once at the
// end, with the container: the caller may move the records read so far out
// of it. A caller that keeps the lines in a form of its own thus never holds
// the whole report twice.
bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, ReadFacts *facts = nullptr);

// The same, with `progress` after every chunk, and the reason of a false
// result in `failure` (None after a true one). Only regular files are read.
bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, const ReadProgress &progress,
                    ReadFailure *failure, ReadFacts *facts = nullptr);

// Reads the report file at `path` without a container: hands over its lines
// chunk by chunk, each split into 19 fields viewed in the read buffer, so
// that a caller keeping the lines in a form of its own copies every byte
// once and allocates nothing per field. Sets no file base name.
bool ReadReportLines(const QString &path, const TakeLines &take, const ReadProgress &progress,
                     ReadFailure *failure, ReadFacts *facts = nullptr);

// What the first ReportSniffer::HeadSize bytes of the file at `path` look
// like, before it is read as a report. Report for a file that cannot be
// opened or is not a regular file: reading it says why.
ReportSniffer::Looks SniffReportFile(const QString &path);

// Turns the bytes of a report file into records. The file's text-mode
// translations are part of the format: CR is dropped wherever it stands and
// the first 0x1A ends the input.
class qnVelTorFileReader
{
public:
    qnVelTorFileReader(qnVelTorData *data, const QString &path);
    ~qnVelTorFileReader();

    bool Read(const TakeRecords &take = {}, const ReadProgress &progress = {});
    // Why the last Read() returned false.
    ReadFailure Failure() const { return failure; }

    // One byte 0..255 after the text-mode translation, or -1 for the end of
    // the input.
    void PutChar(int ch);
    void EndField();
    void EndRecord();

    // Feeds raw file bytes (before the text-mode translation), as Read()
    // does chunk by chunk. Gives the same records as feeding each byte, with
    // CR dropped, to PutChar; returns false once a 0x1A has ended the input.
    bool PutBytes(const char *bytes, std::size_t size);
    // Ends the input: PutChar(-1). True unless the report outgrew its
    // 32-bit record count.
    bool Finish();

    const ReadFacts &Facts() const { return facts; }

private:
    void EndField(std::string_view text);
    void TakeSplitLines(const std::string_view *fields, std::size_t lines);
    void CopySplitterFacts();

    qnVelTorData *data; // not owned
    QString path;
    std::unique_ptr<QIODevice> stream;
    std::uint32_t fieldIndex = 0;
    std::string fieldText;
    std::unique_ptr<qnVelTorDataRecord> record;
    std::uint64_t lineLength = 0;
    bool recordOpen = false; // `record` is kept between lines, to be reused
    bool ended = false;
    bool finished = false;
    bool overflow = false;
    ReadFacts facts;
    std::uint64_t linesEnded = 0;
    // The current line has already been counted in `facts`.
    bool lineLong = false;
    bool lineOdd = false;
    ReadFailure failure = ReadFailure::None;
    // PutBytes cuts lines with it; PutChar goes byte by byte on its own.
    std::unique_ptr<ReportLineSplitter> splitter;
};

// Gives the writer the 19 values of line `record`. The views need to stay
// valid only until the next call.
using RecordFields = std::function<void(std::uint32_t record, std::string_view (&fields)[FieldCount])>;

class qnVelTorFileWriter
{
public:
    // Replaces the file at `path` with the report only when every byte was
    // written and has reached the disk; otherwise any old file stays byte
    // for byte as it was and no file is created. A value holding TAB, CR, LF
    // or 0x1A would read back different, so such a report is refused before
    // anything is written.
    //
    // A file whose folder takes no new file beside it is overwritten in
    // place instead, keeping its permissions. The space is taken before the
    // first byte is written, so a full disk still leaves the old file as it
    // was; a disk error while writing is reported, but may leave it damaged.
    bool Write(const QString &path, const qnVelTorData *data);
    // The same for a report kept elsewhere: `count` lines, each fetched with
    // `fields` just before it is written, so the report is never copied.
    bool Write(const QString &path, std::uint32_t count, const RecordFields &fields);

    // True when the last Write failed because memory ran out.
    bool OutOfMemory() const { return outOfMemory; }

private:
    bool WriteLines(const QString &path, std::uint32_t count, const RecordFields &fields);

    bool outOfMemory = false;
};

// True when the format can carry the value: no TAB, CR, LF or 0x1A in it.
bool IsStorableValue(std::string_view value);
