#pragma once

#include <QString>

#include <cstdint>

// What a spreadsheet puts on the clipboard for `lines` lines of 19 columns:
// TAB between cells, CR LF after every line, now and then a cell with a line
// break, a TAB or quotes of its own, quoted as spreadsheets quote them. The
// same text on every run.
QString SpreadsheetText(std::uint32_t lines);
