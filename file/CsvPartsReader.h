#pragma once

#include "ReportImporter.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CsvPartImporter;
class InputFile;

// Reads a delimited file into report lines (ReportImporter.h tells the
// rules) in parts on two threads, giving what one reading of the whole
// decoded text gives (ImportBytes): the same lines, facts and failures,
// without holding the file or its text. A UTF-8 or Shift-JIS file is read
// as bytes, chunk by chunk (CsvPartImporter); a UTF-16 one is read whole,
// on this thread, as ImportBytes reads it.
//
// The second part starts at a line end near the middle of the file, which
// a count of the quotes before it puts outside quotes, and is read while the
// first part is. That is only a guess, as quotes may stand in a cell without
// quoting: the lines of the second part count only if the reading of the
// first lands on that very line end. Otherwise the first reads on to the
// end and the second part's lines are no lines of the file: only the lines
// given to the takes of the first KeptParts() parts are.
class CsvPartsReader
{
public:
    // Part i's lines go to takes[i], on that part's thread, in the file's
    // order; one take reads the file in one part, on this thread.
    explicit CsvPartsReader(std::vector<TakeLines> takes);
    ~CsvPartsReader();
    CsvPartsReader(const CsvPartsReader &) = delete;
    CsvPartsReader &operator=(const CsvPartsReader &) = delete;

    // False, with the reason in Failure(). `progress` is called on the
    // calling thread only, counting the bytes read by all parts. Out of
    // memory on either thread is a failure, never an exception.
    bool Read(const QString &path, const ReadProgress &progress = {});

    ReadFailure Failure() const { return failure; }
    // Lines count from 1 over the whole file, as if read in one part.
    const ImportFacts &Facts() const { return facts; }
    // How many parts were read (1 when the file was read whole by the
    // calling thread), and how many of them hold the file's lines.
    std::size_t Parts() const { return parts; }
    std::size_t KeptParts() const { return kept; }
    // Where the second part started in the file (0 when there was none).
    std::uint64_t Cut() const { return cut; }

    // Each part has at least this many bytes: a smaller file is read in one.
    std::uint64_t minPartSize = std::uint64_t(1) << 20;
    // Lines past this many make the read fail with TooManyLines.
    std::uint64_t maxLines = qnVelTorData::MaxRecords;
    // Where to cut (just after the first LF from this offset on, whatever
    // the quotes say), for tests that cut at a chosen byte; 0: by the
    // quotes, near the middle. minPartSize is then not asked.
    std::uint64_t cutNear = 0;
    // Bytes read at once, for tests that put chunk borders anywhere.
    std::size_t chunkSize = std::size_t(1) << 20;

private:
    struct Second;

    bool ReadWhole(InputFile &file, const ReadProgress &progress);
    bool DetectEncoding(InputFile &file, const ReadProgress &progress);
    bool ReadParts(InputFile &file, std::uint64_t begin, std::uint64_t target, const ReadProgress &progress);

    std::vector<TakeLines> takes;
    TextEncoding::Encoding encoding = TextEncoding::Encoding::ShiftJis;
    char separator = ',';
    std::uint64_t size = 0; // of the file, for the progress
    std::uint64_t progressBase = 0; // what the encoding's detection counted
    std::size_t parts = 0;
    std::size_t kept = 0;
    std::uint64_t cut = 0;
    ReadFailure failure = ReadFailure::None;
    ImportFacts facts;
};
