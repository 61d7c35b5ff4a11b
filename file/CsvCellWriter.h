#pragma once

#include <QStringView>

#include <string>
#include <string_view>

// How a report's cell is written into a line of the CSV file an export
// writes (ReportCsvWriter.h): its text in UTF-8, quoted when it holds a
// comma, quote, CR, LF or TAB, its quotes doubled, and in ="…" form when a
// spreadsheet would take it for a number, date or formula
// (SpreadsheetCell.h).
class CsvCellWriter
{
public:
    // Appends the cell given as its text.
    static void AppendText(std::string &out, QStringView text);

    // Appends the cell given as its Shift-JIS bytes, as AppendText() appends
    // their text, straight from the bytes: a million lines' cells are
    // written, and each code is decoded once, the first time it is met.
    // True when the cell will not read back byte for byte (ExportFacts).
    bool AppendBytes(std::string &out, std::string_view bytes);

private:
    // The cell decoded whole, for the cells the codes alone cannot tell.
    bool AppendDecoded(std::string &out, std::string_view bytes);

    // Kept from cell to cell.
    std::string utf8;
    std::u16string text;
};
