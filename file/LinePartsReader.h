#pragma once

#include "qnVelTorFile.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class InputFile;

// Reads the lines of a report file in parts, each on a thread of its own,
// giving what ReadReportLines gives reading it in one: the same lines, facts
// and failures. The file is cut just after line ends near even shares of its
// size; part i's lines go to takes[i], on that part's thread, in the file's
// order, and every line of part i comes before those of part i + 1 in the
// file.
//
// The parts are read at once, so a part may hand over lines that lie after
// a 0x1A which an earlier part found, and which therefore ended the input:
// those lines are no lines of the report. Only the lines of the first
// KeptParts() parts are.
class LinePartsReader
{
public:
    // At most one part per take.
    explicit LinePartsReader(std::vector<TakeLines> takes);
    ~LinePartsReader();
    LinePartsReader(const LinePartsReader &) = delete;
    LinePartsReader &operator=(const LinePartsReader &) = delete;

    // False, with the reason in Failure(), as ReadReportLines. `progress` is
    // called on the calling thread only: after each chunk of the first part,
    // which that thread reads itself, then after each chunk of the others
    // while it waits for them; `done` counts the bytes of all parts. Out of
    // memory on any thread is a failure, never an exception.
    bool Read(const QString &path, const ReadProgress &progress = {});

    ReadFailure Failure() const { return failure; }
    // Lines count from 1 over the whole report, as if read in one part.
    const ReadFacts &Facts() const { return facts; }
    // How many parts the file was read in (1 when it was read whole by the
    // calling thread), and how many of them hold the report's lines.
    std::size_t Parts() const;
    std::size_t KeptParts() const { return kept; }
    // The lines handed to the take of `part`, and where the part starts in
    // the file.
    std::uint64_t PartLines(std::size_t part) const;
    std::uint64_t PartStart(std::size_t part) const;

    // A part has at least this many bytes: a smaller file goes to the first
    // take alone, on the calling thread, where a thread would cost more than
    // it saves.
    std::uint64_t minPartSize = std::uint64_t(1) << 20;
    // Lines past this many make the read fail with TooManyLines.
    std::uint64_t maxLines = 0xFFFFFFFFu;
    // ReportLineSplitter::cellLimit of every part: 0 keeps every field whole.
    std::size_t cellLimit = 0;
    // Where to cut instead of at even shares (offsets into the file, each
    // moved to just after the next line end), for tests that put a cut at a
    // chosen byte; minPartSize is then not asked.
    std::vector<std::uint64_t> cutsNear;

private:
    struct Part;
    struct Shared;

    std::vector<std::uint64_t> Cuts(InputFile &file, ReadFailure &why);
    // The whole file on the calling thread, as it has always been read.
    bool ReadWhole(InputFile &file, const ReadProgress &progress);
    bool ReadParts(InputFile &file, const std::vector<std::uint64_t> &cuts, const ReadProgress &progress);
    void Merge(std::uint64_t size);

    std::vector<TakeLines> takes;
    std::vector<std::unique_ptr<Part>> parts;
    std::size_t kept = 0;
    ReadFailure failure = ReadFailure::None;
    ReadFacts facts;
};
