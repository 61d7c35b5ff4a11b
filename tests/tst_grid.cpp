#include "qnVelTorClipboard.h"
#include "qnVelTorGridAttr.h"

#include <QByteArrayList>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtTest>

#include <bit>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

using qnVelTor::GridAttr;

namespace {

constexpr unsigned WindowWidth = 20;
constexpr unsigned Minus1 = static_cast<unsigned>(-1);

using Cells = std::vector<std::string>;

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

// A whole row as one comparable string: cells joined by '|'.
QByteArray joined(const Cells &cells)
{
    QByteArrayList parts;
    for (const std::string &c : cells)
        parts << bytes(c);
    return parts.join('|');
}

Cells cellsOf(const QByteArrayList &list)
{
    Cells cells;
    for (const QByteArray &b : list)
        cells.emplace_back(b.constData(), std::size_t(b.size()));
    return cells;
}

// 20 cells "c0".."c19" except those listed, which stay empty.
Cells numberedRow(std::initializer_list<unsigned> empty = {})
{
    Cells cells;
    for (unsigned i = 0; i < 20; ++i) {
        const bool blank = std::find(empty.begin(), empty.end(), i) != empty.end();
        cells.push_back(blank ? std::string() : "c" + std::to_string(i));
    }
    return cells;
}

// Shift-JIS: "日本語" in column 1, half-width katakana "ｱｲｳ" in column 2,
// "ソ" (0x83 0x5C, trail byte equals '\\') in column 3, "表" (0x95 0x5C).
Cells shiftJisRow()
{
    Cells cells(20);
    cells[1] = "\x93\xfa\x96\x7b\x8c\xea";
    cells[2] = "\xb1\xb2\xb3";
    cells[3] = "\x83\x5c";
    cells[4] = "\x95\x5c" "ABC";
    cells[19] = "12345";
    return cells;
}

// Signature of every row of a matrix: the fields flagged in error and the
// messages, so that a verdict left on the wrong line shows up in one compare.
QByteArray signature(const GridAttr &m)
{
    QByteArrayList rows;
    for (unsigned r = 0; r < m.RowCount(); ++r) {
        QByteArray row;
        for (unsigned f = 0; f < m.Width(); ++f) {
            if (m.IsError(r, f))
                row += 'E' + QByteArray::number(f);
            const std::string msg = m.GetErrorMessage(r, f);
            if (!msg.empty())
                row += '"' + bytes(msg) + '"';
        }
        rows << (row.isEmpty() ? QByteArray("-") : row);
    }
    return rows.join(',');
}

// Row i flagged at field i and carrying the message "m<i>" at field i + 1.
void markRows(GridAttr &m)
{
    for (unsigned r = 0; r < m.RowCount(); ++r) {
        QVERIFY(m.SetError(r, r, true));
        QVERIFY(m.SetErrorMessage(r, r + 1, "m" + std::to_string(r)));
    }
}

} // namespace

class tst_Grid : public QObject
{
    Q_OBJECT

private slots:
    // GridAttr
    void newMatrixIsEmpty();
    void bounds_data();
    void bounds();
    void errorAndMessageAreIndependent();
    void messagesKeptAndCleared();
    void resetClears();
    void resetWithCount();
    void widthClamp_data();
    void widthClamp();
    void insertRow_data();
    void insertRow();
    void removeRow_data();
    void removeRow();
    void moveRow_data();
    void moveRow();
    void rowHasError();
    void sharedMessagesStayApart();
    void resetForgetsMessageTexts();
    void millionRows();
    void errorCounts();
    void findError_data();
    void findError();
    void messagesOfRemovedRowsDoNotComeBack();
    void randomEditsAgreeWithAPlainTable();

    // Line clipboard: payload
    void makePayload_data();
    void makePayload();
    void parsePayload_data();
    void parsePayload();
    void payloadRoundTrip_data();
    void payloadRoundTrip();

    // Line clipboard: through the clipboard
    void init();
    void clipboardRoundTrip_data();
    void clipboardRoundTrip();
    void onlyThePrivateFormat();
    void plainTextReplacesRecord();
    void noRecordLeavesRowUntouched();
    void foreignRecord();
};

// ---------------------------------------------------------------- GridAttr

void tst_Grid::newMatrixIsEmpty()
{
    GridAttr m(WindowWidth);
    QCOMPARE(m.Width(), WindowWidth);
    QCOMPARE(m.RowCount(), 0u);
    QVERIFY(!m.IsError(0, 0));
    QCOMPARE(m.GetErrorMessage(0, 0), std::string());
    QVERIFY(!m.SetError(0, 0, true));
    QVERIFY(!m.SetErrorMessage(0, 0, "x"));
    QVERIFY(!m.RowHasError(0));
    QCOMPARE(m.RowCount(), 0u);
    QVERIFY(!m.IsError(0, 0));
    const GridAttr::ATTR a = m.Get(0, 0);
    QVERIFY(!a.error);
    QVERIFY(a.message.empty());
}

void tst_Grid::bounds_data()
{
    QTest::addColumn<unsigned>("row");
    QTest::addColumn<unsigned>("field");
    QTest::addColumn<bool>("inRange");

    QTest::newRow("first cell") << 0u << 0u << true;
    QTest::newRow("field 5") << 0u << 5u << true;
    QTest::newRow("last field 18") << 0u << 18u << true;
    QTest::newRow("column 19 inside width") << 0u << 19u << true;
    QTest::newRow("field 20 equals width") << 0u << 20u << false;
    QTest::newRow("field 32 beyond the mask") << 0u << 32u << false;
    QTest::newRow("field -1") << 0u << Minus1 << false;
    QTest::newRow("row 1 equals row count") << 1u << 0u << false;
    QTest::newRow("row -1 (title row)") << Minus1 << 0u << false;
    QTest::newRow("row -1 field -1") << Minus1 << Minus1 << false;
}

void tst_Grid::bounds()
{
    QFETCH(unsigned, row);
    QFETCH(unsigned, field);
    QFETCH(bool, inRange);

    GridAttr m(WindowWidth);
    m.AddRow();
    QCOMPARE(m.SetError(row, field, true), inRange);
    QCOMPARE(m.IsError(row, field), inRange);
    QCOMPARE(m.SetErrorMessage(row, field, "msg"), inRange);
    QCOMPARE(m.GetErrorMessage(row, field), inRange ? std::string("msg") : std::string());
    QCOMPARE(m.Get(row, field).error, inRange);
    QCOMPARE(m.RowHasError(row), inRange);

    // Nothing else of the only row changed.
    for (unsigned f = 0; f < WindowWidth; ++f) {
        if (inRange && f == field)
            continue;
        QVERIFY2(!m.IsError(0, f), qPrintable(QString::number(f)));
        QVERIFY2(m.GetErrorMessage(0, f).empty(), qPrintable(QString::number(f)));
    }
    QCOMPARE(m.RowCount(), 1u);
}

void tst_Grid::errorAndMessageAreIndependent()
{
    GridAttr m(WindowWidth);
    m.AddRow();
    QVERIFY(m.SetErrorMessage(0, 2, "only a message"));
    QVERIFY(!m.IsError(0, 2));
    QVERIFY(!m.RowHasError(0));
    QVERIFY(m.SetError(0, 3, true));
    QCOMPARE(m.GetErrorMessage(0, 3), std::string());

    QVERIFY(m.SetError(0, 2, true));
    QVERIFY(m.SetError(0, 2, false));
    QCOMPARE(m.GetErrorMessage(0, 2), std::string("only a message"));
    QVERIFY(m.SetErrorMessage(0, 3, "x"));
    QVERIFY(m.SetErrorMessage(0, 3, ""));
    QVERIFY(m.IsError(0, 3));
    QCOMPARE(signature(m), QByteArray("\"only a message\"E3"));
}

void tst_Grid::messagesKeptAndCleared()
{
    GridAttr m(WindowWidth);
    m.AddRow();
    m.AddRow();
    // Shift-JIS message bytes are kept as they are.
    const std::string sjis = "\x83\x5c\x95\x5c";
    QVERIFY(m.SetErrorMessage(0, 2, "two"));
    QVERIFY(m.SetErrorMessage(0, 7, sjis));
    QVERIFY(m.SetErrorMessage(1, 0, "other row"));
    QCOMPARE(m.GetErrorMessage(0, 7), sjis);

    QVERIFY(m.SetErrorMessage(0, 2, "")); // the last-but-one message goes
    QCOMPARE(m.GetErrorMessage(0, 2), std::string());
    QCOMPARE(m.GetErrorMessage(0, 7), sjis);

    QVERIFY(m.SetErrorMessage(0, 7, "replaced"));
    QCOMPARE(m.GetErrorMessage(0, 7), std::string("replaced"));

    QVERIFY(m.SetErrorMessage(0, 7, "")); // the row's last message goes
    QVERIFY(m.SetErrorMessage(0, 7, "")); // clearing twice is harmless
    QCOMPARE(signature(m), QByteArray("-,\"other row\""));

    QVERIFY(m.SetErrorMessage(0, 19, "back again"));
    QCOMPARE(m.GetErrorMessage(0, 19), std::string("back again"));
    QCOMPARE(m.Get(1, 0).message, std::string("other row"));
}

void tst_Grid::resetClears()
{
    GridAttr m(WindowWidth);
    m.AddRow();
    m.AddRow();
    m.AddRow();
    markRows(m);
    QCOMPARE(m.RowCount(), 3u);

    m.Reset(0);
    QCOMPARE(m.RowCount(), 0u);
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned f = 0; f < WindowWidth; ++f) {
            QVERIFY(!m.IsError(r, f));
            QVERIFY(m.GetErrorMessage(r, f).empty());
        }
        QVERIFY(!m.SetError(r, 0, true));
    }

    // New rows do not inherit the old verdicts.
    m.AddRow();
    m.AddRow();
    QCOMPARE(signature(m), QByteArray("-,-"));
}

void tst_Grid::resetWithCount()
{
    GridAttr m(WindowWidth);
    m.AddRow();
    markRows(m);
    m.Reset(4);
    QCOMPARE(m.RowCount(), 4u);
    QCOMPARE(signature(m), QByteArray("-,-,-,-"));
    QVERIFY(m.SetError(3, 19, true));
    QVERIFY(!m.SetError(4, 0, true));
}

void tst_Grid::widthClamp_data()
{
    QTest::addColumn<unsigned>("width");
    QTest::addColumn<unsigned>("expectedWidth");

    QTest::newRow("zero width") << 0u << 0u;
    QTest::newRow("one") << 1u << 1u;
    QTest::newRow("window width 20") << 20u << 20u;
    QTest::newRow("32 fits the mask") << 32u << 32u;
    QTest::newRow("33 clamped to 32") << 33u << 32u;
    QTest::newRow("huge clamped to 32") << Minus1 << 32u;
}

void tst_Grid::widthClamp()
{
    QFETCH(unsigned, width);
    QFETCH(unsigned, expectedWidth);

    GridAttr m(width);
    QCOMPARE(m.Width(), expectedWidth);
    m.AddRow();
    if (expectedWidth > 0) {
        const unsigned last = expectedWidth - 1;
        QVERIFY(m.SetError(0, last, true));
        QVERIFY(m.IsError(0, last));
        QVERIFY(m.SetErrorMessage(0, last, "last"));
        QCOMPARE(m.GetErrorMessage(0, last), std::string("last"));
    }
    QVERIFY(!m.SetError(0, expectedWidth, true));
    QVERIFY(!m.SetErrorMessage(0, expectedWidth, "x"));
    QVERIFY(!m.IsError(0, expectedWidth));
    if (expectedWidth > 1)
        QVERIFY(!m.IsError(0, 0));
}

void tst_Grid::insertRow_data()
{
    QTest::addColumn<unsigned>("at");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("before the first row") << 0u << true
        << QByteArray("-,E0\"m0\",E1\"m1\",E2\"m2\"");
    QTest::newRow("in the middle") << 1u << true
        << QByteArray("E0\"m0\",-,E1\"m1\",E2\"m2\"");
    QTest::newRow("before the last row") << 2u << true
        << QByteArray("E0\"m0\",E1\"m1\",-,E2\"m2\"");
    QTest::newRow("at the row count appends") << 3u << true
        << QByteArray("E0\"m0\",E1\"m1\",E2\"m2\",-");
    QTest::newRow("beyond the end") << 4u << false
        << QByteArray("E0\"m0\",E1\"m1\",E2\"m2\"");
    QTest::newRow("row -1") << Minus1 << false
        << QByteArray("E0\"m0\",E1\"m1\",E2\"m2\"");
}

void tst_Grid::insertRow()
{
    QFETCH(unsigned, at);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);

    GridAttr m(WindowWidth);
    m.Reset(3);
    markRows(m);
    QCOMPARE(m.InsertRow(at), ok);
    QCOMPARE(signature(m), expected);
}

void tst_Grid::removeRow_data()
{
    QTest::addColumn<unsigned>("at");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("first row") << 0u << true << QByteArray("E1\"m1\",E2\"m2\"");
    QTest::newRow("middle row") << 1u << true << QByteArray("E0\"m0\",E2\"m2\"");
    QTest::newRow("last row") << 2u << true << QByteArray("E0\"m0\",E1\"m1\"");
    QTest::newRow("row count") << 3u << false
        << QByteArray("E0\"m0\",E1\"m1\",E2\"m2\"");
    QTest::newRow("row -1") << Minus1 << false
        << QByteArray("E0\"m0\",E1\"m1\",E2\"m2\"");
}

void tst_Grid::removeRow()
{
    QFETCH(unsigned, at);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);

    GridAttr m(WindowWidth);
    m.Reset(3);
    markRows(m);
    QCOMPARE(m.RemoveRow(at), ok);
    QCOMPARE(signature(m), expected);
}

void tst_Grid::moveRow_data()
{
    QTest::addColumn<unsigned>("from");
    QTest::addColumn<unsigned>("to");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray unchanged("E0\"m0\",E1\"m1\",E2\"m2\",E3\"m3\"");
    QTest::newRow("first to last") << 0u << 3u << true
        << QByteArray("E1\"m1\",E2\"m2\",E3\"m3\",E0\"m0\"");
    QTest::newRow("last to first") << 3u << 0u << true
        << QByteArray("E3\"m3\",E0\"m0\",E1\"m1\",E2\"m2\"");
    QTest::newRow("down by one") << 1u << 2u << true
        << QByteArray("E0\"m0\",E2\"m2\",E1\"m1\",E3\"m3\"");
    QTest::newRow("up by one") << 2u << 1u << true
        << QByteArray("E0\"m0\",E2\"m2\",E1\"m1\",E3\"m3\"");
    QTest::newRow("down by two") << 0u << 2u << true
        << QByteArray("E1\"m1\",E2\"m2\",E0\"m0\",E3\"m3\"");
    QTest::newRow("up by two") << 3u << 1u << true
        << QByteArray("E0\"m0\",E3\"m3\",E1\"m1\",E2\"m2\"");
    QTest::newRow("onto itself") << 2u << 2u << true << unchanged;
    QTest::newRow("to the row count") << 0u << 4u << false << unchanged;
    QTest::newRow("from the row count") << 4u << 0u << false << unchanged;
    QTest::newRow("to row -1") << 1u << Minus1 << false << unchanged;
    QTest::newRow("from row -1") << Minus1 << 1u << false << unchanged;
}

void tst_Grid::moveRow()
{
    QFETCH(unsigned, from);
    QFETCH(unsigned, to);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);

    GridAttr m(WindowWidth);
    m.Reset(4);
    markRows(m);
    QCOMPARE(m.MoveRow(from, to), ok);
    QCOMPARE(signature(m), expected);
}

void tst_Grid::rowHasError()
{
    GridAttr m(WindowWidth);
    m.Reset(2);
    QVERIFY(!m.RowHasError(0));
    QVERIFY(m.SetError(1, 19, true));
    QVERIFY(!m.RowHasError(0));
    QVERIFY(m.RowHasError(1));
    QVERIFY(m.SetErrorMessage(0, 4, "message only"));
    QVERIFY(!m.RowHasError(0));
    QVERIFY(m.SetError(1, 19, false));
    QVERIFY(!m.RowHasError(1));
    QVERIFY(!m.RowHasError(2));
    QVERIFY(!m.RowHasError(Minus1));
}

void tst_Grid::sharedMessagesStayApart()
{
    // Equal texts are kept once; changing one cell's message must not change
    // another cell that had the same text, and a move keeps each with its row.
    qnVelTor::GridAttr attrs(20);
    for (unsigned r = 0; r < 3; ++r) {
        attrs.AddRow();
        QVERIFY(attrs.SetErrorMessage(r, 4, "same"));
    }
    QVERIFY(attrs.SetErrorMessage(1, 4, "other"));
    QVERIFY(attrs.SetErrorMessage(2, 7, "same"));
    QCOMPARE(attrs.GetErrorMessage(0, 4), std::string("same"));
    QCOMPARE(attrs.GetErrorMessage(1, 4), std::string("other"));
    QCOMPARE(attrs.GetErrorMessage(2, 4), std::string("same"));
    QCOMPARE(attrs.GetErrorMessage(2, 7), std::string("same"));
    QVERIFY(attrs.MoveRow(1, 0));
    QCOMPARE(attrs.GetErrorMessage(0, 4), std::string("other"));
    QCOMPARE(attrs.GetErrorMessage(1, 4), std::string("same"));

    // A moved matrix keeps its texts with its rows.
    qnVelTor::GridAttr moved = std::move(attrs);
    QCOMPARE(moved.GetErrorMessage(0, 4), std::string("other"));
    QCOMPARE(moved.GetErrorMessage(2, 7), std::string("same"));

    moved.Reset(1);
    QVERIFY(moved.GetErrorMessage(0, 4).empty());
    QVERIFY(moved.SetErrorMessage(0, 4, "fresh"));
    QCOMPARE(moved.GetErrorMessage(0, 4), std::string("fresh"));
}

void tst_Grid::resetForgetsMessageTexts()
{
    // A text kept from before Reset must not be found again under a number
    // that now belongs to another text.
    GridAttr attrs(20);
    attrs.AddRow();
    QVERIFY(attrs.SetErrorMessage(0, 0, "first"));
    attrs.Reset(1);
    QVERIFY(attrs.SetErrorMessage(0, 1, "second"));
    QVERIFY(attrs.SetErrorMessage(0, 0, "first"));
    QCOMPARE(attrs.GetErrorMessage(0, 0), std::string("first"));
    QCOMPARE(attrs.GetErrorMessage(0, 1), std::string("second"));
}

void tst_Grid::millionRows()
{
    GridAttr m(WindowWidth);
    for (unsigned i = 0; i < 1000000; ++i)
        m.AddRow();
    QCOMPARE(m.RowCount(), 1000000u);
    QVERIFY(m.SetError(999999, 18, true));
    QVERIFY(m.SetErrorMessage(999999, 18, "end"));
    QVERIFY(m.SetError(0, 0, true));
    QVERIFY(m.InsertRow(500000));
    QVERIFY(m.RemoveRow(0));
    QCOMPARE(m.RowCount(), 1000000u);
    QVERIFY(m.IsError(999999, 18));
    QCOMPARE(m.GetErrorMessage(999999, 18), std::string("end"));
    QVERIFY(!m.IsError(0, 0));
    QVERIFY(!m.SetError(1000000, 0, true));
}

// ---------------------------------------------------------------- payload

void tst_Grid::makePayload_data()
{
    QTest::addColumn<QByteArrayList>("cells");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray crlf20 = QByteArray("\r\n").repeated(20);
    QTest::newRow("20 empty cells are 40 bytes") << QByteArrayList(20) << crlf20;
    QTest::newRow("no cells padded to 20") << QByteArrayList() << crlf20;

    QByteArrayList row;
    QByteArray expected;
    for (int i = 0; i < 20; ++i) {
        const QByteArray cell = (i == 0 || i == 4 || i == 6) ? QByteArray() : "f" + QByteArray::number(i);
        row << cell;
        expected += cell + "\r\n";
    }
    QTest::newRow("fields 3 and 5 empty") << row << expected;

    QByteArrayList shortRow{"a", "b"};
    QTest::newRow("short row padded") << shortRow << QByteArray("a\r\nb\r\n") + QByteArray("\r\n").repeated(18);

    QByteArrayList longRow;
    for (int i = 0; i < 22; ++i)
        longRow << QByteArray::number(i);
    QByteArray first20;
    for (int i = 0; i < 20; ++i)
        first20 += QByteArray::number(i) + "\r\n";
    QTest::newRow("22 cells cut to 20") << longRow << first20;

    QByteArrayList sjis(20);
    sjis[1] = "\x93\xfa\x96\x7b";
    sjis[19] = "\x83\x5c";
    QTest::newRow("Shift-JIS bytes unchanged") << sjis
        << QByteArray("\r\n\x93\xfa\x96\x7b\r\n") + QByteArray("\r\n").repeated(17) + QByteArray("\x83\x5c\r\n");
}

void tst_Grid::makePayload()
{
    QFETCH(QByteArrayList, cells);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes(qnVelTorClipboard::MakePayload(cellsOf(cells))), expected);
}

void tst_Grid::parsePayload_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArrayList>("expected");

    QByteArrayList numbered;
    for (int i = 0; i < 20; ++i)
        numbered << "c" + QByteArray::number(i);
    auto lines = [](const QByteArrayList &cells, const char *brk) {
        QByteArray text;
        for (const QByteArray &c : cells)
            text += c + brk;
        return text;
    };
    QTest::newRow("CR LF") << lines(numbered, "\r\n") << numbered;
    QTest::newRow("LF only") << lines(numbered, "\n") << numbered;
    QTest::newRow("CR only") << lines(numbered, "\r") << numbered;
    QByteArray noFinal = lines(numbered, "\r\n");
    noFinal.chop(2);
    QTest::newRow("no final line break") << noFinal << numbered;
    QTest::newRow("NUL padding after the text")
        << lines(numbered, "\r\n") + QByteArray(64, '\0') << numbered;

    QByteArray mixed;
    for (int i = 0; i < 20; ++i)
        mixed += numbered[i] + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    QTest::newRow("mixed line ends") << mixed << numbered;

    QByteArrayList twentyFive;
    for (int i = 0; i < 25; ++i)
        twentyFive << "c" + QByteArray::number(i);
    QTest::newRow("25 lines, last five dropped") << lines(twentyFive, "\r\n") << numbered;
    QTest::newRow("21 lines without final break")
        << twentyFive.mid(0, 21).join("\r\n") << numbered;

    QByteArrayList gaps = numbered;
    gaps[0].clear(); // column 0 holds no text in the window
    gaps[4].clear(); // field 3
    gaps[6].clear(); // field 5
    QTest::newRow("fields 3 and 5 empty") << lines(gaps, "\r\n") << gaps;
    QTest::newRow("fields 3 and 5 empty, LF only") << lines(gaps, "\n") << gaps;

    QByteArrayList three(20);
    three[0] = "a";
    three[1] = "b";
    three[2] = "c";
    QTest::newRow("three lines, rest empty") << QByteArray("a\r\nb\r\nc\r\n") << three;
    QTest::newRow("three lines, no final break") << QByteArray("a\nb\nc") << three;

    QByteArrayList empty(20);
    QTest::newRow("empty payload") << QByteArray() << empty;
    QTest::newRow("only a NUL") << QByteArray(1, '\0') << empty;
    QTest::newRow("one line break") << QByteArray("\r\n") << empty;

    QByteArrayList third(20);
    third[2] = "b";
    QTest::newRow("LF CR is two breaks") << QByteArray("\n\rb") << third;
    QTest::newRow("CR CR is two breaks") << QByteArray("\r\rb\r\r") << third;
    QTest::newRow("CR LF is one break") << QByteArray("\r\nb") << QByteArrayList{"", "b"} + QByteArrayList(18);

    QByteArrayList beforeNul(20);
    beforeNul[0] = "a";
    beforeNul[1] = "b";
    QTest::newRow("embedded NUL ends the text")
        << QByteArray("a\r\nb\0c\r\nd\r\n", 11) << beforeNul;
    QTest::newRow("NUL right after a break")
        << QByteArray("a\r\nb\r\n\0c\r\n", 10) << beforeNul;

    QByteArrayList stripped(20);
    stripped[0] = "ab";
    stripped[1] = "cd";
    stripped[2] = "";
    QTest::newRow("TAB stripped") << QByteArray("a\tb\r\n\tcd\t\r\n\t\r\n") << stripped;
    QTest::newRow("0x1A stripped") << QByteArray("a\x1a" "b\r\ncd\x1a\r\n\x1a") << stripped;

    QByteArrayList sjis(20);
    sjis[1] = "\x93\xfa\x96\x7b\x8c\xea";
    sjis[2] = "\x83\x5c\x95\x5c";
    QTest::newRow("Shift-JIS with 0x5C trail bytes")
        << QByteArray("\r\n\x93\xfa\x96\x7b\x8c\xea\r\n\x83\x5c\x95\x5c\r\n") << sjis;
}

void tst_Grid::parsePayload()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(expected.size(), 20);

    const Cells cells = qnVelTorClipboard::ParsePayload(
        std::string_view(payload.constData(), std::size_t(payload.size())));
    QCOMPARE(cells.size(), std::size_t(20));
    QCOMPARE(joined(cells), expected.join('|'));
}

void tst_Grid::payloadRoundTrip_data()
{
    QTest::addColumn<QByteArrayList>("cells");

    auto list = [](const Cells &c) {
        QByteArrayList l;
        for (const std::string &s : c)
            l << bytes(s);
        return l;
    };
    QTest::newRow("all empty") << QByteArrayList(20);
    QTest::newRow("all filled") << list(numberedRow());
    QTest::newRow("fields 3 and 5 empty") << list(numberedRow({0, 4, 6}));
    QTest::newRow("only the last column") << list(numberedRow({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    QTest::newRow("Shift-JIS") << list(shiftJisRow());
}

void tst_Grid::payloadRoundTrip()
{
    QFETCH(QByteArrayList, cells);
    const Cells row = cellsOf(cells);
    const std::string payload = qnVelTorClipboard::MakePayload(row);
    QCOMPARE(joined(qnVelTorClipboard::ParsePayload(payload)), joined(row));
}

// ---------------------------------------------------------------- clipboard

void tst_Grid::init()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void tst_Grid::clipboardRoundTrip_data()
{
    payloadRoundTrip_data();
}

void tst_Grid::clipboardRoundTrip()
{
    QFETCH(QByteArrayList, cells);
    const Cells row = cellsOf(cells);
    qnVelTorClipboard clip;

    QVERIFY(!clip.HasRecord());
    QVERIFY(clip.PutRecord(row));
    QVERIFY(clip.HasRecord());

    // The clipboard holds exactly the payload bytes.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->data(qnVelTorClipboard::FormatName),
             bytes(qnVelTorClipboard::MakePayload(row)));

    Cells back{"stale"};
    QVERIFY(clip.GetRecord(back));
    QCOMPARE(back.size(), std::size_t(20));
    QCOMPARE(joined(back), joined(row));
}

void tst_Grid::onlyThePrivateFormat()
{
    qnVelTorClipboard clip;
    QVERIFY(clip.PutRecord(Cells(20)));
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->formats(), QStringList{QStringLiteral("qnVelTor-Record")});
    QVERIFY(!mime->hasText());
    QCOMPARE(mime->data(QStringLiteral("qnVelTor-Record")), QByteArray("\r\n").repeated(20));
    QCOMPARE(mime->data(QStringLiteral("qnVelTor-Record")).size(), 40);
}

void tst_Grid::plainTextReplacesRecord()
{
    qnVelTorClipboard clip;
    QVERIFY(clip.PutRecord(numberedRow()));
    QVERIFY(clip.HasRecord());

    QGuiApplication::clipboard()->setText(QStringLiteral("c0\r\nc1\r\n"));
    QVERIFY(!clip.HasRecord());

    Cells row = shiftJisRow();
    QVERIFY(!clip.GetRecord(row));
    QCOMPARE(joined(row), joined(shiftJisRow()));
}

void tst_Grid::noRecordLeavesRowUntouched()
{
    qnVelTorClipboard clip;
    QVERIFY(!clip.HasRecord());
    Cells row{"a", "b"};
    QVERIFY(!clip.GetRecord(row));
    QCOMPARE(joined(row), QByteArray("a|b"));
}

void tst_Grid::foreignRecord()
{
    // Data of our format put by some other program: 25 LF-ended lines.
    QByteArray payload;
    QByteArrayList expected;
    for (int i = 0; i < 25; ++i) {
        payload += "x" + QByteArray::number(i) + "\n";
        if (i < 20)
            expected << "x" + QByteArray::number(i);
    }
    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("qnVelTor-Record"), payload);
    QGuiApplication::clipboard()->setMimeData(mime);

    qnVelTorClipboard clip;
    QVERIFY(clip.HasRecord());
    Cells row;
    QVERIFY(clip.GetRecord(row));
    QCOMPARE(joined(row), expected.join('|'));
}

// The counts follow every change without a walk over the rows.
void tst_Grid::errorCounts()
{
    qnVelTor::GridAttr attrs(20);
    const auto counts = [&attrs] {
        return QStringLiteral("%1/%2").arg(attrs.ErrorCellCount()).arg(attrs.ErrorRowCount());
    };
    attrs.Reset(4);
    QCOMPARE(counts(), QStringLiteral("0/0"));
    attrs.SetError(0, 0, true);
    attrs.SetError(0, 18, true);
    attrs.SetError(0, 18, true); // set twice, counted once
    attrs.SetError(2, 5, true);
    QCOMPARE(counts(), QStringLiteral("3/2"));
    attrs.SetError(2, 6, false); // clearing a clear cell
    QCOMPARE(counts(), QStringLiteral("3/2"));
    attrs.SetError(20, 0, true); // out of range
    attrs.SetError(0, 20, true);
    QCOMPARE(counts(), QStringLiteral("3/2"));
    attrs.InsertRow(1);
    attrs.MoveRow(0, 4);
    QCOMPARE(counts(), QStringLiteral("3/2"));
    attrs.RemoveRow(4); // the row with two errors
    QCOMPARE(counts(), QStringLiteral("1/1"));
    attrs.SetError(2, 5, false);
    QCOMPARE(counts(), QStringLiteral("0/0"));
    attrs.SetError(1, 1, true);
    attrs.Reset(0);
    QCOMPARE(counts(), QStringLiteral("0/0"));
}

void tst_Grid::findError_data()
{
    QTest::addColumn<QString>("errors"); // "row:field" of each invalid cell
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QString>("expected"); // "row:field", "+" when wrapped, or "none"

    const QString some = QStringLiteral("0:3 0:18 2:0 5:7");
    QTest::newRow("next in the same row") << some << 6 << 0 << 3 << true << "0:18";
    QTest::newRow("next in a later row") << some << 6 << 0 << 18 << true << "2:0";
    QTest::newRow("next from a clean cell") << some << 6 << 3 << 4 << true << "5:7";
    QTest::newRow("next wraps to the top") << some << 6 << 5 << 7 << true << "0:3+";
    QTest::newRow("previous in the same row") << some << 6 << 0 << 18 << false << "0:3";
    QTest::newRow("previous in an earlier row") << some << 6 << 2 << 0 << false << "0:18";
    QTest::newRow("previous wraps to the bottom") << some << 6 << 0 << 3 << false << "5:7+";
    QTest::newRow("only error, from itself") << "3:4" << 6 << 3 << 4 << true << "3:4+";
    QTest::newRow("only error, backwards from itself") << "3:4" << 6 << 3 << 4 << false << "3:4+";
    QTest::newRow("earlier field of the start row comes last") << "3:2" << 6 << 3 << 9 << true << "3:2+";
    QTest::newRow("new-line row, forward starts at the top") << some << 6 << 6 << 0 << true << "0:3";
    QTest::newRow("new-line row, backward starts at the bottom") << some << 6 << 6 << 0 << false << "5:7";
    QTest::newRow("no errors") << QString() << 6 << 1 << 1 << true << "none";
}

void tst_Grid::findError()
{
    QFETCH(QString, errors);
    QFETCH(int, rows);
    QFETCH(int, row);
    QFETCH(int, field);
    QFETCH(bool, forward);
    QFETCH(QString, expected);

    qnVelTor::GridAttr attrs(20);
    attrs.Reset(unsigned(rows));
    for (const QString &cell : errors.split(u' ', Qt::SkipEmptyParts))
        QVERIFY(attrs.SetError(cell.section(u':', 0, 0).toUInt(), cell.section(u':', 1).toUInt(), true));
    unsigned foundRow = 99;
    unsigned foundField = 99;
    bool wrapped = true;
    QString result = QStringLiteral("none");
    if (attrs.FindError(unsigned(row), unsigned(field), forward, foundRow, foundField, wrapped))
        result = QStringLiteral("%1:%2%3").arg(foundRow).arg(foundField).arg(wrapped ? "+" : "");
    QCOMPARE(result, expected);
}

void tst_Grid::messagesOfRemovedRowsDoNotComeBack()
{
    // The storage of a removed row's messages serves later rows: none of
    // the old messages may show up on them.
    qnVelTor::GridAttr attrs(20);
    attrs.Reset(4);
    QVERIFY(attrs.SetErrorMessage(0, 2, "old two"));
    QVERIFY(attrs.SetErrorMessage(0, 7, "old seven"));
    QVERIFY(attrs.SetErrorMessage(3, 1, "kept"));
    QVERIFY(attrs.RemoveRow(0));
    QVERIFY(attrs.SetErrorMessage(1, 5, "new"));
    QCOMPARE(attrs.GetErrorMessage(1, 2), std::string());
    QCOMPARE(attrs.GetErrorMessage(1, 7), std::string());
    QCOMPARE(attrs.GetErrorMessage(1, 5), std::string("new"));
    QVERIFY(attrs.SetErrorMessage(1, 5, std::string())); // its storage is given up again
    QVERIFY(attrs.SetErrorMessage(0, 9, "other"));
    QCOMPARE(attrs.GetErrorMessage(0, 2), std::string());
    QCOMPARE(attrs.GetErrorMessage(0, 7), std::string());
    QCOMPARE(attrs.GetErrorMessage(0, 9), std::string("other"));
    QCOMPARE(attrs.GetErrorMessage(1, 5), std::string());
    QCOMPARE(attrs.GetErrorMessage(2, 1), std::string("kept"));
    QVERIFY(attrs.InsertRow(0));
    QCOMPARE(attrs.GetErrorMessage(0, 9), std::string());
    QCOMPARE(attrs.GetErrorMessage(1, 9), std::string("other"));
    QCOMPARE(attrs.GetErrorMessage(3, 1), std::string("kept"));
}

void tst_Grid::randomEditsAgreeWithAPlainTable()
{
    // Only rows with a verdict or a message are stored; random edits of a
    // few rows among many empty ones must leave what a plain table of every
    // row would hold, down to the counts and the next invalid cell.
    struct Plain
    {
        std::uint32_t errors = 0;
        std::map<unsigned, std::string> messages;
    };
    std::vector<Plain> plain(60);
    GridAttr m(20);
    m.Reset(60);
    std::mt19937 random(7);
    for (int step = 0; step < 4000; ++step) {
        const unsigned count = unsigned(plain.size());
        const unsigned row = random() % (count + 1);
        const unsigned field = random() % 20;
        switch (random() % 11) {
        case 0:
        case 1:
            if (row < count) {
                const bool flag = random() % 3 != 0;
                QVERIFY(m.SetError(row, field, flag));
                plain[row].errors = flag ? plain[row].errors | (1u << field) : plain[row].errors & ~(1u << field);
            }
            break;
        case 2:
        case 3:
            if (row < count) {
                const std::string text = random() % 3 ? "m" + std::to_string(random() % 4) : std::string();
                QVERIFY(m.SetErrorMessage(row, field, text));
                if (text.empty())
                    plain[row].messages.erase(field);
                else
                    plain[row].messages[field] = text;
            }
            break;
        case 4:
            QVERIFY(m.InsertRow(row));
            plain.insert(plain.begin() + row, Plain());
            break;
        case 5:
            if (row < count && count > 20) {
                QVERIFY(m.RemoveRow(row));
                plain.erase(plain.begin() + row);
            }
            break;
        case 8: {
            const unsigned n = random() % 5;
            QVERIFY(m.InsertRows(row, n));
            plain.insert(plain.begin() + row, n, Plain());
            break;
        }
        case 9: {
            const unsigned n = std::min(count - row, unsigned(random() % 6));
            if (count - n >= 20) {
                QVERIFY(m.RemoveRows(row, n));
                plain.erase(plain.begin() + row, plain.begin() + row + n);
            } else {
                // A run past the end removes nothing.
                QVERIFY(!m.RemoveRows(row, count - row + 1));
            }
            break;
        }
        case 10: {
            std::vector<std::uint32_t> order(count);
            std::iota(order.begin(), order.end(), 0u);
            std::shuffle(order.begin(), order.end(), random);
            if (random() % 4 == 0) {
                // Not a permutation: refused, nothing changed.
                order[0] = order[count - 1];
                QVERIFY(!m.Reorder(order));
                break;
            }
            QVERIFY(m.Reorder(order));
            std::vector<Plain> reordered;
            for (const std::uint32_t from : order)
                reordered.push_back(plain[from]);
            plain.swap(reordered);
            break;
        }
        default:
            if (row < count) {
                const unsigned to = random() % count;
                QVERIFY(m.MoveRow(row, to));
                const Plain moved = plain[row];
                plain.erase(plain.begin() + row);
                plain.insert(plain.begin() + to, moved);
            }
            break;
        }
    }
    QCOMPARE(m.RowCount(), unsigned(plain.size()));
    std::uint64_t cells = 0;
    unsigned rows = 0;
    for (unsigned r = 0; r < plain.size(); ++r) {
        cells += unsigned(std::popcount(plain[r].errors));
        rows += plain[r].errors ? 1 : 0;
        QCOMPARE(m.RowHasError(r), plain[r].errors != 0);
        for (unsigned f = 0; f < 20; ++f) {
            QCOMPARE(m.IsError(r, f), bool((plain[r].errors >> f) & 1u));
            const auto message = plain[r].messages.find(f);
            QCOMPARE(m.GetErrorMessage(r, f), message == plain[r].messages.end() ? std::string() : message->second);
        }
    }
    QCOMPARE(m.ErrorCellCount(), cells);
    QCOMPARE(m.ErrorRowCount(), rows);
    QVERIFY(rows > 5 && rows < plain.size()); // the table holds both kinds of row

    // The next invalid cell, found by walking every cell of the plain table.
    const unsigned width = 20;
    const std::size_t total = plain.size() * width;
    for (unsigned start = 0; start < total; start += 7) {
        for (const bool forward : {true, false}) {
            unsigned foundRow = 0;
            unsigned foundField = 0;
            bool wrapped = false;
            QVERIFY(m.FindError(start / width, start % width, forward, foundRow, foundField, wrapped));
            std::size_t at = start;
            bool expectWrapped = false;
            for (;;) {
                if (forward) {
                    if (++at == total) {
                        at = 0;
                        expectWrapped = true;
                    }
                } else if (at-- == 0) {
                    at = total - 1;
                    expectWrapped = true;
                }
                if ((plain[at / width].errors >> (at % width)) & 1u)
                    break;
            }
            QCOMPARE(foundRow * width + foundField, unsigned(at));
            QCOMPARE(wrapped, expectWrapped);
        }
    }
}

QTEST_MAIN(tst_Grid)
#include "tst_grid.moc"
