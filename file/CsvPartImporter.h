#pragma once

#include "CsvByteRows.h"
#include "ReportImporter.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class InputFile;

// Makes report lines of a stretch of a UTF-8 or Shift-JIS delimited file,
// as ReportImporter makes them of the whole decoded text, reading the bytes
// chunk by chunk: a cell of ASCII is its own report bytes and is never
// decoded, and only a cell holding a byte of 0x80 or above (or 0x1A) is
// decoded and converted. The stretch starts at a row start of the file and
// runs to the end of the file, or to a row end where the caller stops it;
// a file that ends with 0x1A ends before it, as the whole text does.
//
// The lines go to `take` in batches, each cell a view valid during the call,
// the cells of a line one after another in one buffer, as a report file's
// lines are handed over (LoadedLines::Take) but for the TABs.
// Facts() count the lines from 1 at the first line of the stretch.
class CsvPartImporter
{
public:
    // `first`: the stretch starts at the start of the text, where a header
    // row may stand.
    CsvPartImporter(TakeLines take, TextEncoding::Encoding encoding, char separator, bool first);

    enum class End {
        TextEnd, // the end of the file
        Stopped, // at a row end, by `atRowEnd`
        Cancelled, // by `afterChunk`
        Failed, // Failure() says why
    };
    // After each row that ends at or past `watch` (an offset into the file),
    // `atRowEnd` is asked with the offset where the row ended; true stops
    // the reading there. After each chunk, `afterChunk` hears how many
    // bytes were read from `begin` on; false cancels.
    End Read(InputFile &file, std::uint64_t begin, const std::function<bool(std::uint64_t)> &afterChunk);
    std::uint64_t watch = ~std::uint64_t(0);
    std::function<bool(std::uint64_t)> atRowEnd;
    // Lines past this many make the reading fail with TooManyLines.
    std::uint64_t maxLines = ~std::uint64_t(0);
    // Bytes read at once; a row longer than half of them gets more.
    std::size_t chunkSize = std::size_t(1) << 20;

    ReadFailure Failure() const { return failure; }
    const ImportFacts &Facts() const { return facts; }
    // Whether the reading, where it stopped, could go on as a reading of a
    // later stretch starts: past the first row that is no blank one, with
    // no flattened cell or unclosed quote waiting for a line to count on.
    bool AtCleanRowStart() const;

private:
    // Makes a line of the row just read, or skips it; false when there
    // are too many lines.
    bool TakeRow();
    bool IsHeader();
    void HandOver();
    // The cell's text when it is written as ="…", in `form`; else the cell.
    std::string_view TextOfForm(std::string_view cell);
    // The cell decoded, its pieces (CsvByteRows::Joins) apart.
    QString CellText(std::string_view cell, std::size_t join);
    // Decodes the bytes into `text`, counting bad bytes.
    std::u16string_view Decode(std::string_view bytes);
    // Appends the report bytes of a cell that needs converting to `made`;
    // true when a character became 〓.
    bool Convert(std::string_view bytes);

    TakeLines take;
    TextEncoding::Encoding encoding;
    CsvByteRows rows;
    bool firstRow; // no row but blank ones read yet
    ReadFailure failure = ReadFailure::None;
    ImportFacts facts;

    // The lines waiting to be handed over: their cells' bytes one after
    // another, and the cells' sizes.
    std::string made;
    std::vector<std::size_t> sizes;
    std::vector<std::string_view> views;
    std::string form;
    std::u16string text;
};
