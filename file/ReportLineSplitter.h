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

// What cutting the bytes into lines noticed that the lines themselves cannot
// show: where the file differs from the report file a save of its lines
// writes, and bytes no report holds. Lines count from 1; a first line of 0
// means there was none.
struct LineFacts
{
    std::uint64_t lines = 0;
    // Lines with a non-empty field past the 19th: such fields are dropped.
    std::uint64_t longLines = 0;
    std::uint64_t firstLongLine = 0;
    // Lines of more than 19 fields whose fields past the 19th are all empty
    // (TABs too many at the end): a save drops the TABs, nothing is lost.
    std::uint64_t emptyExtraLines = 0;
    std::uint64_t firstEmptyExtraLine = 0;
    // Lines of fewer than 19 fields, blank ones aside: a save adds the TABs.
    std::uint64_t shortLines = 0;
    std::uint64_t firstShortLine = 0;
    // Lines of no byte but CRs: a save writes 18 TABs.
    std::uint64_t blankLines = 0;
    std::uint64_t firstBlankLine = 0;
    // Lines ended by an LF with no CR before it.
    std::uint64_t lfOnlyLines = 0;
    std::uint64_t firstLfOnlyLine = 0;
    // Lines holding a CR that no LF follows. The CR is dropped, joining what
    // stands on either side of it. CRs after the last line end, on no line
    // of their own, count for the line after the last.
    std::uint64_t loneCrLines = 0;
    std::uint64_t firstLoneCrLine = 0;
    // Lines holding a NUL byte or bytes that are not Shift-JIS. A save keeps
    // such bytes as they are.
    std::uint64_t oddLines = 0;
    std::uint64_t firstOddLine = 0;
    // The last line when it has no line end (the file or a 0x1A ends it): a
    // save adds CR LF.
    std::uint64_t unendedLastLine = 0;
    // A 0x1A ended the input; a save leaves it out.
    bool eofMark = false;

    // Adds the facts of the lines that follow these, numbering them on.
    void Append(const LineFacts &later);
};

// Cuts raw report file bytes, fed in chunks of any size, into lines of 19
// fields, with the file's text-mode translations: CR is dropped wherever it
// stands and the first 0x1A ends the input. A field that lies within one
// chunk (nearly every field) is handed over as a view into that chunk, so
// nothing is copied or allocated per field.
class ReportLineSplitter
{
public:
    explicit ReportLineSplitter(TakeLines take);
    ~ReportLineSplitter();

    // False once a 0x1A has ended the input; later bytes are ignored.
    bool PutBytes(const char *bytes, std::size_t size);
    // Ends the input: a last line without a line end still counts. True
    // unless more than `maxLines` lines came.
    bool Finish();

    const LineFacts &Facts() const { return facts; }
    std::uint64_t Lines() const { return facts.lines; }
    // Lines with a non-empty field past the 19th, and the first of them
    // (from 1). Empty ones, as a TAB at the end of a line leaves, lose
    // nothing when they are dropped.
    std::uint64_t LongLines() const { return facts.longLines; }
    std::uint64_t FirstLongLine() const { return facts.firstLongLine; }
    // Lines holding a NUL byte or bytes that are not Shift-JIS.
    std::uint64_t OddLines() const { return facts.oddLines; }
    std::uint64_t FirstOddLine() const { return facts.firstOddLine; }
    // Bytes given after the 0x1A that ended the input, which are never read.
    std::uint64_t BytesAfterEnd() const { return bytesAfterEnd; }

    // Lines past this many are not handed over; Finish() then fails.
    std::uint64_t maxLines = 0xFFFFFFFFu;
    // 0: every field is handed over whole, however long its line. Otherwise
    // a line that chunk borders cut and that grows past `streamAfter` bytes
    // is not kept whole but read as it comes, and each of its fields is
    // handed over cut to its first `cellLimit` bytes (maybe within a
    // character). For a caller that judges no field by more bytes than that,
    // such as the check, which must not hold a line of gigabytes.
    std::size_t cellLimit = 0;
    std::size_t streamAfter = 64 * 1024;

private:
    // How a line ended: its end decides what a save changes.
    enum class Ending { CrLf, Lf, None };
    // What a line is like beside its fields.
    struct Shape
    {
        std::size_t pieces = 1; // the fields, those past the 19th included
        bool extraFilled = false; // a field past the 19th is not empty
        bool wellFormed = true;
        bool blank = false; // no byte but CRs
        bool loneCr = false;
        Ending ending = Ending::CrLf;
    };
    struct StreamedLine;

    void ScanChunk(const char *begin, const char *end);
    // A whole line of raw bytes (without its LF, which `lineEnd` says it
    // had): CRs are taken out first.
    void SplitLine(const char *begin, const char *end, bool lineEnd);
    // CRs after the last line end that make no line.
    void EndWithCrs();
    // Bytes of the line being streamed, none of them an LF or 0x1A.
    void StreamBytes(const char *begin, const char *end);
    void EndStreamedLine(bool lineEnd);
    void EndLine(const Shape &shape);
    void Flush();

    TakeLines take;
    // The views of the lines not yet handed over, 19 a line.
    std::unique_ptr<std::string_view[]> batch;
    std::size_t batchLines = 0;
    // Lines whose bytes had to be copied (a CR inside, or cut by a chunk
    // border); kept until the batch that points into them is handed over.
    std::vector<std::unique_ptr<char[]>> copies;
    std::string carry; // the raw bytes of a line that a chunk border cut
    // The line read as it comes, once `carry` would outgrow streamAfter.
    std::unique_ptr<StreamedLine> streamed;
    LineFacts facts;
    std::uint64_t bytesAfterEnd = 0;
    bool ended = false; // by a 0x1A (facts.eofMark) or by Finish()
    bool finished = false;
    bool overflow = false;
};
