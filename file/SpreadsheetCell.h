#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// How a report's cell stands in a CSV file so that a spreadsheet shows its
// text as it is, and how it is read back.
//
// A spreadsheet opening a CSV file takes a cell that looks like a number, a
// date or a formula for one: 000 shows as 0, 0012 as 12, 123456789012 as
// 1.23457E+11 (and is saved back so), 1/2 as a date, and a cell starting
// with = + - or @ is run as a formula (which is also how a CSV file smuggles
// in a command). Quoting the cell in the CSV does not stop any of this, nor
// does a leading apostrophe, which stays in the cell. What does is the
// formula ="000", whose result is the text 000: Excel and Google Sheets
// show it as 000, and Excel saves it back as 000. LibreOffice does
// the same when "Evaluate formulas" is ticked in its import dialog, and
// otherwise shows ="000", which still reads back as 000 here.
namespace SpreadsheetCell {

// The longest text Excel takes in a formula's string.
inline constexpr qsizetype MaxFormulaText = 255;

// Whether the cell is written as ="…": a cell holding a digit (ASCII or
// full-width: Japanese spreadsheets read ０１２ as a number too) or starting
// with = + - @ (or their full-width forms), if Excel can take it in a
// formula. A longer one is written as it is, unless it would read back as
// ="…" form, which then has to be kept.
bool NeedsTextForm(QStringView cell);

// A digit, ASCII or full-width, and a character that starts a formula
// (= + - @ or their full-width forms): what NeedsTextForm() looks for.
bool IsDigit(QChar c);
bool StartsFormula(QChar c);

// ="…", with every quote in the cell doubled.
QString TextForm(QStringView cell);

// The text of a cell written as ="…" (its quotes doubled within, of any
// length), or nothing when the cell is not in that form.
std::optional<QString> FromTextForm(QStringView cell);

// The names of the 19 fields, the header row of an exported file.
const QStringList &FieldNames();

} // namespace SpreadsheetCell
