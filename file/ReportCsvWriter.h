#pragma once

#include "qnVelTorFile.h"

#include <QString>

#include <cstdint>

class QIODevice;

// What an export could not carry over as it stands. Lines and fields count
// from 1; a first line of 0 means there was none.
struct ExportFacts
{
    // Cells that will not read back byte for byte: bytes that are not
    // Shift-JIS (written as U+FFFD, one per bad byte, and read back as 〓),
    // a character code page 932 has two codes for written from the less
    // usual one (NEC's 0xED/0xEE rows read back as IBM's 0xFA-0xFC codes),
    // and TAB, CR, LF or 0x1A, which no saved report holds.
    std::uint64_t changedCells = 0;
    std::uint64_t firstChangedLine = 0;
    std::uint32_t firstChangedField = 0;
};

// Writes a report as a CSV file for spreadsheets: UTF-8 with a byte-order
// mark (without one, Excel reads a CSV file in the system's code page),
// commas between cells, CR LF after every line, a header row of the 19 field
// names, then one line per report line. A cell holding a comma, quote, CR,
// LF or TAB is quoted, its quotes doubled; one a spreadsheet would take for
// a number, date or formula is written as ="…" (SpreadsheetCell.h). The
// import (ReportImporter) reads such a file back to the same report.
//
// The lines are turned into text in parts on two threads while this one
// writes the parts in order, so `fields` is called from those threads, for
// different lines at once. `progress` hears how many lines were written now
// and then; false from it stops the write.
class ReportCsvWriter
{
public:
    // Writes to `device`, open for writing, in parts of a few thousand
    // lines; false as soon as one is not written whole.
    bool Write(QIODevice &device, std::uint32_t count, const RecordFields &fields, const ReadProgress &progress = {});
    // Writes the file at `path`, replacing an old one only when every byte
    // reached the disk; otherwise (also when stopped) the old file is left
    // as it was.
    bool WriteFile(const QString &path, std::uint32_t count, const RecordFields &fields,
                   const ReadProgress &progress = {});

    const ExportFacts &Facts() const { return facts; }
    // True when the last write failed because memory ran out.
    bool OutOfMemory() const { return outOfMemory; }
    // True when the progress stopped the last write.
    bool Cancelled() const { return cancelled; }

private:
    bool WriteLines(QIODevice &device, std::uint32_t count, const RecordFields &fields, const ReadProgress &progress);

    ExportFacts facts;
    bool outOfMemory = false;
    bool cancelled = false;
};
