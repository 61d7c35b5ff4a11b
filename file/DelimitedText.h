#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

// Reads text as spreadsheets write it, one row at a time: TAB between cells
// on the clipboard, a comma in CSV files. Only the row at hand is held, so a
// paste of hundreds of thousands of lines costs no more than its text.
//
// The rules:
//  - A cell that starts with a double quote runs to the next quote that is
//    not doubled, and may hold the separator, CR, LF and doubled quotes; the
//    quotes are removed and "" becomes ". A quote anywhere else in a cell is
//    an ordinary character.
//  - Stray text after a quoted cell's closing quote, up to the separator, is
//    part of the cell. When the quoted part held no separator and no line
//    break, the quotes were no quoting at all but part of what was typed
//    (`"Hello" World`, from a program that quotes only cells with line
//    breaks), and the whole cell is taken as it stands. Otherwise the quoted
//    part loses its quotes and the stray text follows it as it stands.
//  - A quote that is never closed quotes nothing: the cell is read as
//    unquoted from that quote on, and UnclosedQuotes() counts it.
//  - Rows end at CR LF, a lone CR or a lone LF outside quotes. A break at the
//    very end opens no further row; empty text has no rows, and a text of
//    just a line break has one row of one empty cell.
class DelimitedTextReader
{
public:
    enum class Breaks {
        Keep,
        // A TAB or line break inside a cell (CR LF, CR or LF) becomes one
        // space, as spreadsheets do when they show such a cell as one line;
        // a report's cells cannot hold them.
        AsSpace,
    };

    // `text` is not copied and must outlive the reader. `separator` is TAB,
    // a comma or any character but a quote, CR or LF.
    DelimitedTextReader(QStringView text, QChar separator, Breaks breaks = Breaks::Keep);

    // Reads the next row; false when the text has no more.
    bool NextRow();
    // The cells of the row NextRow() read. They view the text or the
    // reader's own buffer, and stay valid until the next NextRow().
    const QList<QStringView> &Cells() const { return cells; }

    // Rows read so far: the current row's number, counting from 1.
    qsizetype Rows() const { return rows; }
    // How far the text has been read, for a progress display.
    qsizetype Position() const { return position; }
    // Cells in which Breaks::AsSpace replaced something.
    qsizetype FlattenedCells() const { return flattenedCells; }
    // Quotes never closed, and the row of the first (from 1, 0 when none).
    qsizetype UnclosedQuotes() const { return unclosedQuotes; }
    qsizetype FirstUnclosedQuoteRow() const { return firstUnclosedQuoteRow; }

    // TAB when a row among the first 64 K characters of `text` has a TAB
    // outside quotes, a comma otherwise: a spreadsheet's "Unicode text" and
    // a clipboard have TABs, a CSV file has none.
    static QChar GuessSeparator(QStringView text);

private:
    // Where a cell's text is: in `text` or in `scratch`, where cells that
    // had to be rewritten go. Views are made only once the row is complete,
    // as `scratch` may move while it grows.
    struct Span
    {
        qsizetype start;
        qsizetype size;
        bool own;
    };

    // Reads the cell at `position`; true when a separator follows it.
    bool ReadCell();
    qsizetype FindCellEnd(qsizetype from) const;
    void AddCell(qsizetype start, qsizetype end);
    void AddQuoted(QStringView quoted, QStringView stray);
    // Appends a piece outside quotes to `scratch`; true when a TAB became a space.
    bool AppendPlain(QStringView piece);

    QStringView text;
    char16_t separator;
    bool flatten;
    qsizetype position = 0;
    qsizetype rows = 0;
    qsizetype flattenedCells = 0;
    qsizetype unclosedQuotes = 0;
    qsizetype firstUnclosedQuoteRow = 0;
    QList<QStringView> cells;
    std::vector<Span> spans;
    QString scratch;
};
