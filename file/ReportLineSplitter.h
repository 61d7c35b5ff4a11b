#pragma once

#include "qnVelTorDataAttribute.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The bytes the file format gives a meaning: the end of a field, the end of
// a line, a byte dropped wherever it stands, and the end of the input.
inline constexpr char TabByte = '\t';
inline constexpr char LfByte = '\n';
inline constexpr char CrByte = '\r';
inline constexpr char EofByte = '\x1A';

// The lines of a report, split into their 19 fields: the views of line i are
// fields[i * FieldCount] to fields[i * FieldCount + FieldCount - 1]. They point
// into the reader's buffers and stay valid only during the call.
using TakeLines = std::function<void(const std::string_view *fields, std::size_t lines)>;

// Cuts raw report file bytes, fed in chunks of any size, into lines of 19
// fields, with the file's text-mode translations: CR is dropped wherever it
// stands and the first 0x1A ends the input. A field that lies within one
// chunk (nearly every field) is handed over as a view into that chunk, so
// nothing is copied or allocated per field.
class ReportLineSplitter
{
public:
    explicit ReportLineSplitter(TakeLines take);

    // False once a 0x1A has ended the input; later bytes are ignored.
    bool PutBytes(const char *bytes, std::size_t size);
    // Ends the input: a last line without a line end still counts. True
    // unless more than `maxLines` lines came.
    bool Finish();

    std::uint64_t Lines() const { return lines; }
    // Lines with a non-empty field past the 19th, and the first of them
    // (from 1). Empty ones, as a TAB at the end of a line leaves, lose
    // nothing when they are dropped.
    std::uint64_t LongLines() const { return longLines; }
    std::uint64_t FirstLongLine() const { return firstLongLine; }
    // Lines holding a NUL byte or bytes that are not Shift-JIS.
    std::uint64_t OddLines() const { return oddLines; }
    std::uint64_t FirstOddLine() const { return firstOddLine; }
    // Bytes given after the 0x1A that ended the input, which are never read.
    std::uint64_t BytesAfterEnd() const { return bytesAfterEnd; }

    // Lines past this many are not handed over; Finish() then fails.
    std::uint64_t maxLines = 0xFFFFFFFFu;

private:
    void ScanChunk(const char *begin, const char *end);
    // A whole line of raw bytes (without its LF): CRs are taken out first.
    void SplitLine(const char *begin, const char *end);
    void EndLine(bool longLine, bool wellFormed);
    void Flush();

    TakeLines take;
    // The views of the lines not yet handed over, 19 a line.
    std::unique_ptr<std::string_view[]> batch;
    std::size_t batchLines = 0;
    // Lines whose bytes had to be copied (a CR inside, or cut by a chunk
    // border); kept until the batch that points into them is handed over.
    std::vector<std::unique_ptr<char[]>> copies;
    std::string carry; // the raw bytes of a line that a chunk border cut
    std::uint64_t lines = 0;
    std::uint64_t longLines = 0;
    std::uint64_t firstLongLine = 0;
    std::uint64_t oddLines = 0;
    std::uint64_t firstOddLine = 0;
    std::uint64_t bytesAfterEnd = 0;
    bool ended = false;
    bool endMark = false; // a 0x1A ended the input, not Finish()
    bool finished = false;
    bool overflow = false;
};
