#pragma once

#include "DelimitedText.h"
#include "TextEncoding.h"
#include "qnVelTorFile.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <string>

// What an import changed or dropped on the way into the report. Lines are
// the report's, counting from 1; a first line of 0 means there was none.
struct ImportFacts
{
    TextEncoding::Encoding encoding = TextEncoding::Encoding::ShiftJis;
    // Bytes that were not of that encoding; each became a 〓 in its cell
    // (and is counted among the substituted cells too).
    qsizetype badBytes = 0;
    QChar separator = u',';
    // The first row was the 19 field names, as an export writes them.
    bool headerSkipped = false;
    std::uint64_t lines = 0;
    // Rows of nothing but their line break, which were skipped: as report
    // lines they would be 19 empty fields.
    std::uint64_t blankLines = 0;
    // Cells where a TAB or a line break became a space.
    std::uint64_t flattenedCells = 0;
    std::uint64_t firstFlattenedLine = 0;
    // Cells holding characters a report cannot hold (no Shift-JIS form, or
    // U+001A), each of which became 〓 (0x81AC).
    std::uint64_t substitutedCells = 0;
    std::uint64_t firstSubstitutedLine = 0;
    // Lines with a non-empty cell past the 19th; those cells were dropped.
    std::uint64_t longLines = 0;
    std::uint64_t firstLongLine = 0;
    // Quotes never closed (read as ordinary characters; see DelimitedText.h).
    std::uint64_t unclosedQuotes = 0;
    std::uint64_t firstUnclosedQuoteLine = 0;
};

// Turns delimited text (a CSV file, a spreadsheet's "Unicode text", what a
// licensee's own system writes) into report lines of 19 Shift-JIS cells:
//  - a first row of exactly the 19 field names (more cells only when empty)
//    is a header and skipped;
//  - a row of no cell at all (nothing before its line break) is skipped;
//  - a cell written as ="…" is its text (SpreadsheetCell.h);
//  - TABs and line breaks inside cells become spaces;
//  - look-alikes are mapped (U+301C wave dash to ～, U+2212 minus to －, ...)
//    and characters without a Shift-JIS form become 〓;
//  - cells past the 19th are dropped, fewer are filled with empty ones.
// Nothing else is changed: 000 stays 000, spaces stay.
class ReportImporter
{
public:
    // `text` is not copied and must outlive the importer.
    ReportImporter(QStringView text, QChar separator);

    // Fills `cells` with the next line; false when there is none.
    bool NextLine(std::string (&cells)[FieldCount]);

    const ImportFacts &Facts() const { return facts; }
    // How far the text has been read, for a progress display.
    qsizetype Position() const { return reader.Position(); }

    // The bytes of one cell's text as the import stores them; `substituted`
    // is set when a character became 〓.
    static std::string CellBytes(QStringView text, bool *substituted = nullptr);

private:
    bool IsHeader() const;

    QStringView text;
    DelimitedTextReader reader;
    ImportFacts facts;
    bool firstRow = true; // no row but blank ones read yet
};

// The lines of a file's `bytes`, decoded whole (TextEncoding::Decode) and
// read by a ReportImporter on this thread, handed to `take` in batches as
// ImportReportLines hands them. This is how a UTF-16 file is read, and what
// the reading of the others in parts must give (CsvPartsReader). `parsed`
// hears now and then how much of the text was read, as a fraction, and
// stops the reading by returning false (Cancelled). Lines past `maxLines`
// fail with TooManyLines. `facts` gets what was changed on the way, also
// when the reading stops.
bool ImportBytes(QByteArray bytes, const TakeLines &take, const std::function<bool(double)> &parsed,
                 std::uint64_t maxLines, ReadFailure &why, ImportFacts &facts);

// Reads the file at `path` as delimited text (encoding and separator told
// from the bytes: TextEncoding.h, DelimitedTextReader::GuessSeparator) and
// hands over its lines as ReadReportLines does, chunk by chunk, 19 fields
// each, viewed in buffers valid only during the call, a line's fields one
// after another (but for the TABs a report has between them), on this thread
// (CsvPartsReader reads it on several). Only regular files are read. False
// with the reason in `failure` (None after true); `facts` gets what was
// changed on the way.
bool ImportReportLines(const QString &path, const TakeLines &take, const ReadProgress &progress,
                       ReadFailure *failure, ImportFacts *facts = nullptr);
