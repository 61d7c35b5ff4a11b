#pragma once

#include "FileIdentity.h"
#include "ReportLineSplitter.h"
#include "ReportSniffer.h"
#include "SafeReplace.h"
#include "qnVelTorData.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

using TakeRecords = std::function<void(qnVelTorData &data)>;

// What a read noticed that the records cannot show: the lines' facts
// (LineFacts: lines a save writes otherwise, bytes no report holds) and the
// file's. Lines count from 1; a first line of 0 means there was none.
struct ReadFacts : LineFacts
{
    // Bytes after the 0x1A that ended the input: they are not read, and a
    // save leaves them out. The 0x1A itself is not counted.
    std::uint64_t bytesAfterEofMark = 0;
    // What the file's first bytes look like: anything but Report names a
    // file that is better imported (UTF-8, UTF-16, comma-separated).
    ReportSniffer::Looks looks = ReportSniffer::Looks::Report;
    // The file that was read, as the open handle saw it, for telling later
    // whether it changed on the disk. `exists` is false when none was opened.
    FileIdentity identity;
};

// Called after every chunk with the bytes read so far and the file's size;
// returning false stops the read. It runs once per chunk, so a caller may
// afford a clock look-up in it but not much more.
using ReadProgress = std::function<bool(std::uint64_t done, std::uint64_t size)>;

// Why a read gave no report.
enum class ReadFailure {
    None,
    CannotOpen, // a bad path or another reason than those below
    NotFound, // no such file, or a folder on the way is missing
    NoPermission, // no right to read the file or to pass a folder on the way
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
    // the input. Bytes fed so count only long and odd lines: the other
    // facts need the CRs, which the translation has taken out.
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

// Saves a report so that the file on the disk is always either the old one
// or the whole new one.
//
// The report goes to a new file beside the old one, with a short name of
// its own, which takes the old file's permissions and (where allowed) its
// owner; once every byte has reached the disk, the new file is renamed over
// the old one and the folder is synced too, so that the rename outlives a
// power cut. A symbolic link at the path is followed; the file it names is
// replaced.
//
// A writable file whose folder takes no new file is overwritten in place,
// keeping its permissions and owner. The old file is first copied to the
// user's cache folder and the copy compared with it; a failed write puts
// the old bytes back from the copy. When no copy can be made, the save goes
// on only if the confirmWithoutBackup callback returns true.
//
// On Windows QSaveFile writes the new file and replaces the old one; a file
// that can only be overwritten in place gets no copy there, so the callback
// is always asked first.
class qnVelTorFileWriter
{
public:
    // Writes `data`; false, with the reason in Failure(), when the save did
    // not happen.
    bool Write(const QString &path, const qnVelTorData *data);
    // The same for a report kept elsewhere: `count` lines, each fetched with
    // `fields` just before it is written, so the report is never copied.
    // Every value is checked before the disk is touched, so `fields` runs
    // twice per line.
    bool Write(const QString &path, std::uint32_t count, const RecordFields &fields);

    // Why the last Write failed; None after one that succeeded.
    WriteFailure Failure() const { return failure; }
    // True when the last Write failed because memory ran out.
    bool OutOfMemory() const { return failure == WriteFailure::OutOfMemory; }
    // After InPlaceNotRestored: the copy of the old file, which is kept.
    QString BackupPath() const { return backupPath; }
    // After a successful Write: the identity of the file written, for a
    // later CompareIdentity with what is at the path then.
    FileIdentity Written() const { return written; }

    // Asked, before anything is changed, when a file can only be written in
    // place and no copy of it could be stored: true lets the write go on
    // at the risk of a damaged file. Unset counts as no.
    void SetConfirmWithoutBackup(std::function<bool()> confirm) { confirmWithoutBackup = std::move(confirm); }

private:
    WriteFailure WriteLines(const QString &path, std::uint32_t count, const RecordFields &fields);

    WriteFailure failure = WriteFailure::None;
    QString backupPath;
    FileIdentity written;
    std::function<bool()> confirmWithoutBackup;
};

// True when the format can carry the value: no TAB, CR, LF or 0x1A in it.
bool IsStorableValue(std::string_view value);
