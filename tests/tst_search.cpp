// Finding a word from a cell, to the left, right, up or down: the search
// itself on a report with no window, and the window's buttons, their hints
// and the search box.

#include "DocumentSupport.h"
#include "ReportSearch.h"
#include "ShiftJis.h"
#include "WindowSupport.h"
#include "qnVelTorDataAttribute.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <map>
#include <random>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace TestSupport;

namespace {

// A report position (line, field), both from 0.
using Place = std::pair<int, int>;

// Where a search that finds nothing goes.
const Place Nowhere(-1, -1);

// The outcome texts as UTF-8 bytes, spelled independently of the code under
// test; the semicolons are the full-width U+FF1B.
const QByteArray FoundUtf8("\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x97"
                           "\xE3\x81\x9F(^_^)");
const QByteArray NotFoundUtf8("\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B"
                              "\xE3\x82\x93(\xEF\xBC\x9B_\xEF\xBC\x9B)");

// Shift-JIS bytes.
const std::string FullA("\x83\x41"); // full-width katakana A
const std::string FullI("\x83\x43"); // full-width katakana I
const std::string HalfA("\xB1"); // half-width katakana A
const std::string HalfI("\xB2"); // half-width katakana I

} // namespace

class tst_Search : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stepsWrapAtTheEdges();

    void emptyWordIsFoundNowhere_data();
    void emptyWordIsFoundNowhere();
    void onlyTheStartCellHoldsTheWord_data();
    void onlyTheStartCellHoldsTheWord();
    void absentWordIsFoundNowhere_data();
    void absentWordIsFoundNowhere();

    void rightGoesThroughTheNewLinePositionToTheFirstLine();
    void leftFromTheFirstCellGoesThroughTheNewLinePosition();
    void downFromTheLastCellGoesToTheFirstCell();
    void upFromTheFirstCellGoesToTheLastField();
    void successiveClicksVisitEveryOccurrenceInOrder_data();
    void successiveClicksVisitEveryOccurrenceInOrder();
    void thousandsOfLines_data();
    void thousandsOfLines();
    void matchWhereTheLookIsSplit_data();
    void matchWhereTheLookIsSplit();
    void fieldIsPassedOverOnlyWhenKnownEmpty();
    void largeReportAsCellByCell();

    void matching_data();
    void matching();
    void caseAndWidthMustMatch();
    void wordOnATrailByteIsSkippedForALaterOne();
    void fieldTitlesAndPlacesOutsideTheReportNeverMatch();

    void hintTextsOnTheClickedButton();
    void leavingAButtonClearsOnlyItsHint();
    void openEditorIsSearchedToo();
    void searchChangesNothingButTheCurrentCell();
    void hitIsScrolledIntoView();
    void enterInTheBoxSearchesRight();

private:
    // A report of `lineCount` empty lines with the given cells filled, in
    // the document or in a new window; false when that failed (logged).
    bool Load(int lineCount, const std::map<Place, std::string> &cells);
    bool Open(int lineCount, const std::map<Place, std::string> &cells);
    QString WriteReport(int lineCount, const std::map<Place, std::string> &cells);
    static bool Holds(const ReportDocument &document, int lineCount, const std::map<Place, std::string> &cells);

    // Where a search of the document from `from` goes, or Nowhere.
    Place Next(const std::string &word, ReportSearch::Direction direction, Place from) const;
    QList<Place> Visits(const std::string &word, ReportSearch::Direction direction, Place from, int count) const;

    // Clicks a button and tells where the current cell went.
    Place Click(QPushButton *button);
    Place Current() const;
    QPushButton *Button(ReportSearch::Direction direction) const;
    bool SetWord(const std::string &bytes);
    void TypeWord(const std::string &bytes);

    QTemporaryDir dir;
    int files = 0;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<Window> window;
};

void tst_Search::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir.isValid());
}

void tst_Search::init()
{
    document = std::make_unique<ReportDocument>();
}

void tst_Search::cleanup()
{
    // A search never opens a dialog.
    if (window) {
        QCOMPARE(window->dialogs.boxes, QStringList());
        QCOMPARE(window->dialogs.fileDialogs, 0);
    }
    window.reset();
    document.reset();
}

QString tst_Search::WriteReport(int lineCount, const std::map<Place, std::string> &cells)
{
    const auto emptyLine = QByteArrayList(qsizetype(FieldCount));
    std::vector<QByteArrayList> lines(std::size_t(lineCount), emptyLine);
    for (const auto &[place, text] : cells) {
        const auto [line, field] = place;
        if (line < 0 || line >= lineCount || field < 0 || field >= int(FieldCount)) {
            qWarning("cell %d:%d outside the report", line, field);
            return {};
        }
        lines[std::size_t(line)][field] = bytes(text);
    }
    QByteArray content;
    for (const QByteArrayList &line : lines)
        content += fileLine(line);
    const QString path = dir.filePath(QStringLiteral("1234567890202404search%1.dat").arg(++files));
    return writeFile(path, content) ? path : QString();
}

bool tst_Search::Holds(const ReportDocument &document, int lineCount, const std::map<Place, std::string> &cells)
{
    // The cells must hold exactly these bytes, or the test would prove nothing.
    for (const auto &[place, text] : cells) {
        if (document.Cell(place.first, place.second) != text)
            return false;
    }
    return document.LineCount() == lineCount;
}

bool tst_Search::Load(int lineCount, const std::map<Place, std::string> &cells)
{
    const QString path = WriteReport(lineCount, cells);
    return !path.isEmpty() && ReportFile(*document).Load(path).Ok() && Holds(*document, lineCount, cells);
}

bool tst_Search::Open(int lineCount, const std::map<Place, std::string> &cells)
{
    window = std::make_unique<Window>();
    const QString path = WriteReport(lineCount, cells);
    return !path.isEmpty() && window->form.LoadReport(path) && Holds(window->form.Document(), lineCount, cells);
}

Place tst_Search::Next(const std::string &word, ReportSearch::Direction direction, Place from) const
{
    auto [line, field] = from;
    if (ReportSearch(*document).Find(word, direction, line, field))
        return {line, field};
    // Nothing found leaves the place as it was.
    return Place(line, field) == from ? Nowhere : Place(-2, -2);
}

QList<Place> tst_Search::Visits(const std::string &word, ReportSearch::Direction direction, Place from,
                                int count) const
{
    QList<Place> seen;
    while (seen.size() < count && from != Nowhere)
        seen << (from = Next(word, direction, from));
    return seen;
}

Place tst_Search::Click(QPushButton *button)
{
    button->click();
    return Current();
}

Place tst_Search::Current() const
{
    const TVelTorForm &form = window->form;
    return {form.GridRowToRecord(form.CurrentRow()), form.GridColToField(form.CurrentCol())};
}

QPushButton *tst_Search::Button(ReportSearch::Direction direction) const
{
    const TVelTorFormUi &ui = window->form.Ui();
    switch (direction) {
    case ReportSearch::Left:
        return ui.KensakuLeftButton;
    case ReportSearch::Right:
        return ui.KensakuRightButton;
    case ReportSearch::Up:
        return ui.KensakuUpButton;
    case ReportSearch::Down:
        break;
    }
    return ui.KensakuDownButton;
}

bool tst_Search::SetWord(const std::string &bytes)
{
    TypeWord(bytes);
    return !QTest::currentTestFailed();
}

void tst_Search::TypeWord(const std::string &bytes)
{
    QLineEdit *box = window->form.Ui().KensakuWord;
    box->setText(ShiftJis::ToText(bytes));
    // The box must hold exactly these bytes, or the test would prove nothing.
    QCOMPARE(ShiftJis::FromText(box->text()).value_or("(not encodable)"), bytes);
}

void tst_Search::stepsWrapAtTheEdges()
{
    QVERIFY(Load(3, {}));
    const ReportSearch search(*document);
    const int newLine = 3; // the empty new-line position after the last line

    int field = 1;
    QVERIFY(!search.StepLeft(field));
    QCOMPARE(field, 0);
    QVERIFY(search.StepLeft(field));
    QCOMPARE(field, 18);

    field = 17;
    QVERIFY(!search.StepRight(field));
    QCOMPARE(field, 18);
    QVERIFY(search.StepRight(field));
    QCOMPARE(field, 0);

    int line = 1;
    QVERIFY(!search.StepUp(line));
    QCOMPARE(line, 0);
    QVERIFY(search.StepUp(line));
    QCOMPARE(line, newLine);

    line = newLine - 1;
    QVERIFY(!search.StepDown(line));
    QCOMPARE(line, newLine);
    QVERIFY(search.StepDown(line));
    QCOMPARE(line, 0);
}

void tst_Search::emptyWordIsFoundNowhere_data()
{
    QTest::addColumn<ReportSearch::Direction>("direction");
    QTest::newRow("left") << ReportSearch::Left;
    QTest::newRow("right") << ReportSearch::Right;
    QTest::newRow("up") << ReportSearch::Up;
    QTest::newRow("down") << ReportSearch::Down;
}

void tst_Search::emptyWordIsFoundNowhere()
{
    QFETCH(ReportSearch::Direction, direction);
    // Every cell holds text, the start included: an empty word that matched
    // anything would move or report a hit.
    std::map<Place, std::string> cells;
    for (int line = 0; line < 3; ++line)
        for (int field = 0; field < int(FieldCount); ++field)
            cells.emplace(Place(line, field), std::string(1, 'x'));
    QVERIFY(Load(3, cells));
    QCOMPARE(Next({}, direction, {1, 4}), Nowhere);
}

void tst_Search::onlyTheStartCellHoldsTheWord_data()
{
    emptyWordIsFoundNowhere_data();
}

void tst_Search::onlyTheStartCellHoldsTheWord()
{
    QFETCH(ReportSearch::Direction, direction);
    QVERIFY(Load(3, {{{1, 6}, "xyz" + FullA + "q"}, {{1, 7}, "xy"}, {{2, 6}, "yz"}}));
    // The cell searched from comes last, and is found.
    QCOMPARE(Next("yz" + FullA, direction, {1, 6}), Place(1, 6));
}

void tst_Search::absentWordIsFoundNowhere_data()
{
    emptyWordIsFoundNowhere_data();
}

void tst_Search::absentWordIsFoundNowhere()
{
    QFETCH(ReportSearch::Direction, direction);
    // Near misses: a prefix, a shorter cell, the word split over two cells.
    QVERIFY(Load(3, {{{0, 0}, "wor"}, {{0, 1}, "d"}, {{2, 18}, "xwordx"}, {{2, 2}, "wo"}}));
    QCOMPARE(Next("wordy", direction, {1, 2}), Nowhere);
}

void tst_Search::rightGoesThroughTheNewLinePositionToTheFirstLine()
{
    QVERIFY(Load(3, {{{0, 0}, "k"}, {{2, 0}, "k"}, {{2, 18}, "k"}}));
    QCOMPARE(Visits("k", ReportSearch::Right, {2, 18}, 3), QList<Place>({{0, 0}, {2, 0}, {2, 18}}));
    // The new-line position holds nothing, but a search may start there.
    QCOMPARE(Next("k", ReportSearch::Right, {3, 5}), Place(0, 0));
}

void tst_Search::leftFromTheFirstCellGoesThroughTheNewLinePosition()
{
    QVERIFY(Load(3, {{{2, 18}, "k"}, {{1, 0}, "k"}, {{0, 1}, "k"}}));
    QCOMPARE(Visits("k", ReportSearch::Left, {0, 0}, 4), QList<Place>({{2, 18}, {1, 0}, {0, 1}, {2, 18}}));
    QCOMPARE(Next("k", ReportSearch::Left, {3, 5}), Place(2, 18));
}

void tst_Search::downFromTheLastCellGoesToTheFirstCell()
{
    QVERIFY(Load(3, {{{0, 0}, "k"}, {{2, 0}, "k"}, {{0, 1}, "k"}}));
    // From the last field of the new-line position.
    QCOMPARE(Visits("k", ReportSearch::Down, {3, 18}, 4), QList<Place>({{0, 0}, {2, 0}, {0, 1}, {0, 0}}));
}

void tst_Search::upFromTheFirstCellGoesToTheLastField()
{
    QVERIFY(Load(3, {{{2, 18}, "k"}, {{0, 18}, "k"}, {{2, 17}, "k"}, {{1, 0}, "k"}}));
    QCOMPARE(Visits("k", ReportSearch::Up, {0, 0}, 5), QList<Place>({{2, 18}, {0, 18}, {2, 17}, {1, 0}, {2, 18}}));
}

void tst_Search::successiveClicksVisitEveryOccurrenceInOrder_data()
{
    QTest::addColumn<ReportSearch::Direction>("direction");
    QTest::addColumn<QList<Place>>("visits");

    // The word lies in (0,1) (0,18) (1,0) (2,1) (2,4) (3,2); line 4 is the
    // empty new-line row. The search starts at (0,0), which lacks it.
    QTest::newRow("right: line by line")
        << ReportSearch::Right << QList<Place>{{0, 1}, {0, 18}, {1, 0}, {2, 1}, {2, 4}, {3, 2}, {0, 1}, {0, 18}};
    QTest::newRow("left: line by line backwards")
        << ReportSearch::Left << QList<Place>{{3, 2}, {2, 4}, {2, 1}, {1, 0}, {0, 18}, {0, 1}, {3, 2}, {2, 4}};
    QTest::newRow("down: field by field")
        << ReportSearch::Down << QList<Place>{{1, 0}, {0, 1}, {2, 1}, {3, 2}, {2, 4}, {0, 18}, {1, 0}, {0, 1}};
    QTest::newRow("up: field by field backwards")
        << ReportSearch::Up << QList<Place>{{0, 18}, {2, 4}, {3, 2}, {2, 1}, {0, 1}, {1, 0}, {0, 18}, {2, 4}};
}

void tst_Search::successiveClicksVisitEveryOccurrenceInOrder()
{
    QFETCH(ReportSearch::Direction, direction);
    QFETCH(QList<Place>, visits);

    const std::string word = "m" + FullA;
    // Decoys around the occurrences: the word's parts, alone.
    QVERIFY(Open(4, {{{0, 1}, word},
                     {{0, 18}, "(" + word + ")"},
                     {{1, 0}, FullI + word},
                     {{2, 1}, word + word},
                     {{2, 4}, "x" + word},
                     {{3, 2}, word},
                     {{0, 3}, "m"},
                     {{1, 2}, FullA},
                     {{2, 5}, "M" + FullA},
                     {{3, 6}, "m" + FullI}}));
    setCurrent(window->form, 0, 0);
    QVERIFY(SetWord(word));

    QPushButton *button = Button(direction);
    QList<Place> seen;
    for (qsizetype i = 0; i < visits.size(); ++i) {
        seen.append(Click(button));
        QCOMPARE(button->toolTip().toUtf8(), FoundUtf8);
    }
    QCOMPARE(seen, visits);
}

void tst_Search::thousandsOfLines_data()
{
    QTest::addColumn<ReportSearch::Direction>("direction");
    QTest::addColumn<QList<Place>>("visits");

    // Neighbouring lines 4095 and 4096 sit where a search that works through
    // the report in chunks could split it; line 9000 is the last one.
    QTest::newRow("right") << ReportSearch::Right << QList<Place>{{4095, 2}, {4096, 2}, {8999, 18}, {9000, 0}, {4095, 2}};
    QTest::newRow("left") << ReportSearch::Left << QList<Place>{{9000, 0}, {8999, 18}, {4096, 2}, {4095, 2}, {9000, 0}};
    QTest::newRow("down") << ReportSearch::Down << QList<Place>{{9000, 0}, {4095, 2}, {4096, 2}, {8999, 18}, {9000, 0}};
    QTest::newRow("up") << ReportSearch::Up << QList<Place>{{8999, 18}, {4096, 2}, {4095, 2}, {9000, 0}, {8999, 18}};
}

void tst_Search::thousandsOfLines()
{
    QFETCH(ReportSearch::Direction, direction);
    QFETCH(QList<Place>, visits);

    QVERIFY(Load(9001, {{{4095, 2}, "w"}, {{4096, 2}, "w"}, {{8999, 18}, "w"}, {{9000, 0}, "w"}, {{4999, 3}, "W"}}));
    QCOMPARE(Visits("w", direction, {0, 0}, int(visits.size())), visits);
}

void tst_Search::matchWhereTheLookIsSplit_data()
{
    QTest::addColumn<int>("line");
    // Right from the first cell, the lines are looked through in bands of
    // 4,096, 1, 2, 4, 8 and 16 bands at a time, and the sixth look, from
    // line 126,976 to the end at 200,000 (the new-line position included),
    // is more than 65,536 lines: it is split between two threads at its
    // middle, line 163,488.
    QTest::newRow("the line before the split") << 163487;
    QTest::newRow("the line the split starts") << 163488;
    QTest::newRow("the line after it") << 163489;
}

void tst_Search::matchWhereTheLookIsSplit()
{
    QFETCH(int, line);
    QVERIFY(Load(199999, {{{line, 2}, "w"}}));
    QCOMPARE(Next("w", ReportSearch::Right, {0, 0}), Place(line, 2));
}

void tst_Search::fieldIsPassedOverOnlyWhenKnownEmpty()
{
    // Down from line 9999 the first field reaches the end of the report,
    // and the second starts at the top: the lines in between have not been
    // looked at yet when the second field starts, and hold its one hit.
    QVERIFY(Load(13000, {{{5999, 1}, "w"}, {{11999, 4}, "w"}}));
    QCOMPARE(Visits("w", ReportSearch::Down, {9999, 0}, 3), QList<Place>({{5999, 1}, {11999, 4}, {5999, 1}}));
    QCOMPARE(Next("w", ReportSearch::Up, {2999, 6}), Place(11999, 4));
}

void tst_Search::largeReportAsCellByCell()
{
    // 150,000 lines, filled on two threads, of cells that put the word's
    // pieces next to each other across cell borders and inside double-byte
    // characters: from random cells in every direction, the search stops
    // where stepping cell by cell and asking each cell stops.
    const int lineCount = 150000;
    std::map<Place, std::string> cells;
    std::mt19937 random(11);
    const std::string word = "x" + FullA + "y";
    // No piece holds the word on a character boundary; next to each other,
    // the pieces of a line's cells hold it across their borders.
    const std::string pieces[] = {"x", "y", FullA, "x\x83", "\x41y", "ab", "x" + FullA, FullA + "y",
                                  "\x83" + word};
    for (int i = 0; i < 3000; ++i) {
        const int line = int(random() % lineCount);
        for (int field = 0; field < int(FieldCount); ++field)
            cells[Place(line, field)] = pieces[random() % std::size(pieces)];
    }
    for (int i = 0; i < 5; ++i)
        cells[Place(int(random() % lineCount), int(random() % FieldCount))] = "z" + word;
    QVERIFY(Load(lineCount, cells));
    const ReportSearch search(*document);
    for (int round = 0; round < 3; ++round) {
        for (const ReportSearch::Direction direction :
             {ReportSearch::Left, ReportSearch::Right, ReportSearch::Up, ReportSearch::Down}) {
            const Place from(int(random() % (lineCount + 1)), int(random() % FieldCount));
            Place expected = from;
            do
                search.Step(direction, expected.first, expected.second);
            while (expected != from && !search.CellMatches(expected.first, expected.second, word));
            if (expected == from && !search.CellMatches(from.first, from.second, word))
                expected = Nowhere;
            QCOMPARE(Next(word, direction, from), expected);
        }
    }
}

void tst_Search::matching_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<bool>("matches");

    const auto bytes = [](const std::string &s) { return QByteArray::fromStdString(s); };
    QTest::newRow("equal") << bytes("abc") << bytes("abc") << true;
    QTest::newRow("inside") << bytes("xxabcxx") << bytes("abc") << true;
    QTest::newRow("at the end") << bytes("xxabc") << bytes("abc") << true;
    QTest::newRow("longer than the cell") << bytes("ab") << bytes("abc") << false;
    QTest::newRow("empty word") << bytes("abc") << QByteArray() << false;
    QTest::newRow("empty cell") << QByteArray() << bytes("a") << false;
    QTest::newRow("other case") << bytes("ABC") << bytes("abc") << false;
    QTest::newRow("double-byte word") << bytes("x" + FullA + FullI) << bytes(FullA + FullI) << true;
    QTest::newRow("half-width against full-width") << bytes(FullA + FullI) << bytes(HalfA + HalfI) << false;
    QTest::newRow("full-width against half-width") << bytes(HalfA + HalfI) << bytes(FullA + FullI) << false;
    QTest::newRow("half-width katakana is one byte")
        << bytes(HalfA + "A") << bytes("A") << true;
    QTest::newRow("only a trail byte") << bytes(FullA + FullA) << bytes("A") << false;
    QTest::newRow("trail byte, then on a boundary") << bytes(FullA + "A") << bytes("A") << true;
    QTest::newRow("across a character boundary") << bytes(FullA + FullI) << bytes("A\x83") << false;
    // 0x83 0x83 is one character, so the 0x83 at index 2 starts the next
    // one although the byte before it is a lead byte.
    QTest::newRow("after a character whose trail is a lead value")
        << bytes("\x83\x83" + FullA) << bytes(FullA) << true;
    QTest::newRow("inside a character whose trail is a lead value")
        << bytes("\x83\x83\x41") << bytes(FullA) << false;
    QTest::newRow("lone lead byte at the end") << bytes("ab\x83") << bytes("\x83") << true;
    QTest::newRow("single-byte characters are walked one by one")
        << bytes("x" + FullA) << bytes(FullA) << true;
}

void tst_Search::matching()
{
    QFETCH(QByteArray, cell);
    QFETCH(QByteArray, word);
    QFETCH(bool, matches);

    QVERIFY(Load(2, {}));
    QCOMPARE(document->SetCell(1, 6, cell.toStdString()), EditResult::Done);
    const ReportSearch search(*document);
    QCOMPARE(search.CellMatches(1, 6, word.toStdString()), matches);
    // Line 1, field 6 and nothing else.
    QVERIFY(!search.CellMatches(1, 5, word.toStdString()));
    QVERIFY(!search.CellMatches(0, 6, word.toStdString()));
    QVERIFY(!search.CellMatches(2, 6, word.toStdString()));
}

void tst_Search::caseAndWidthMustMatch()
{
    QVERIFY(Load(3, {{{0, 3}, "ABC"}, {{1, 8}, FullA + FullI}, {{2, 1}, "abc"}, {{2, 10}, HalfA + HalfI}}));
    QCOMPARE(Visits("abc", ReportSearch::Right, {0, 0}, 2), QList<Place>({{2, 1}, {2, 1}}));
    QCOMPARE(Visits(HalfA + HalfI, ReportSearch::Right, {2, 1}, 2), QList<Place>({{2, 10}, {2, 10}}));
    QCOMPARE(Next(FullA + FullI, ReportSearch::Right, {2, 10}), Place(1, 8));
    QCOMPARE(Next(FullA + FullI, ReportSearch::Left, {1, 8}), Place(1, 8));
}

void tst_Search::wordOnATrailByteIsSkippedForALaterOne()
{
    // "A" is the trail byte of katakana A in every cell but the last.
    QVERIFY(Load(3, {{{0, 0}, FullA}, {{0, 1}, FullA + FullA + FullA}, {{2, 0}, "x" + FullA}, {{2, 4}, FullA + "A"}}));
    QCOMPARE(Next("A", ReportSearch::Right, {0, 0}), Place(2, 4));
    QCOMPARE(Next("A", ReportSearch::Down, {2, 4}), Place(2, 4));
    QCOMPARE(Next("A", ReportSearch::Up, {2, 4}), Place(2, 4));

    QCOMPARE(document->SetCell(2, 4, FullA + FullA), EditResult::Done);
    QCOMPARE(Next("A", ReportSearch::Left, {2, 4}), Nowhere);
}

void tst_Search::fieldTitlesAndPlacesOutsideTheReportNeverMatch()
{
    QVERIFY(Load(2, {}));
    const std::string title = qnVelTorDataAttribute::Instance()->At(5)->name;
    QVERIFY(!title.empty());
    for (const auto way : {ReportSearch::Left, ReportSearch::Right, ReportSearch::Up, ReportSearch::Down})
        QCOMPARE(Next(title, way, {0, 5}), Nowhere);

    // Places outside the report hold no text, and must not reach a cell.
    QCOMPARE(document->SetCell(0, 0, "hit"), EditResult::Done);
    const ReportSearch search(*document);
    QVERIFY(search.CellMatches(0, 0, "hit"));
    QVERIFY(!search.CellMatches(0, -1, "hit"));
    QVERIFY(!search.CellMatches(-1, 0, "hit"));
    for (const Place &outside : {Place(-1, 0), Place(0, -1), Place(0, 19), Place(3, 0)})
        QCOMPARE(Next("hit", ReportSearch::Right, outside), Nowhere);
}

void tst_Search::hintTextsOnTheClickedButton()
{
    QVERIFY(Open(2, {{{1, 2}, "here"}}));
    const TVelTorFormUi &ui = window->form.Ui();
    QStatusBar *status = window->form.statusBar();
    setCurrent(window->form, 0, 0);

    QVERIFY(SetWord("here"));
    QCOMPARE(Click(ui.KensakuDownButton), Place(1, 2));
    QCOMPARE(ui.KensakuDownButton->toolTip().toUtf8(), FoundUtf8);
    QCOMPARE(status->currentMessage().toUtf8(), FoundUtf8);
    for (QPushButton *other : {ui.KensakuLeftButton, ui.KensakuRightButton, ui.KensakuUpButton})
        QVERIFY(other->toolTip().isEmpty());

    QVERIFY(SetWord("there"));
    QCOMPARE(Click(ui.KensakuUpButton), Place(1, 2));
    QCOMPARE(ui.KensakuUpButton->toolTip().toUtf8(), NotFoundUtf8);
    QCOMPARE(status->currentMessage().toUtf8(), NotFoundUtf8);
    // No leave yet: the first button keeps its own outcome.
    QCOMPARE(ui.KensakuDownButton->toolTip().toUtf8(), FoundUtf8);

    // A found after a not-found on the same button replaces it; a word only
    // the current cell holds is found there.
    QVERIFY(SetWord("her"));
    QCOMPARE(Click(ui.KensakuUpButton), Place(1, 2));
    QCOMPARE(ui.KensakuUpButton->toolTip().toUtf8(), FoundUtf8);

    // An empty box finds nothing.
    QVERIFY(SetWord({}));
    QCOMPARE(Click(ui.KensakuUpButton), Place(1, 2));
    QCOMPARE(ui.KensakuUpButton->toolTip().toUtf8(), NotFoundUtf8);
}

void tst_Search::leavingAButtonClearsOnlyItsHint()
{
    QVERIFY(Open(2, {{{1, 2}, "here"}}));
    const TVelTorFormUi &ui = window->form.Ui();
    setCurrent(window->form, 0, 0);
    QVERIFY(SetWord("here"));
    Click(ui.KensakuLeftButton);
    QVERIFY(SetWord("nowhere!"));
    Click(ui.KensakuRightButton);
    QCOMPARE(ui.KensakuLeftButton->toolTip().toUtf8(), FoundUtf8);
    QCOMPARE(ui.KensakuRightButton->toolTip().toUtf8(), NotFoundUtf8);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(ui.KensakuRightButton, &leave);
    QVERIFY(ui.KensakuRightButton->toolTip().isEmpty());
    QVERIFY(window->form.statusBar()->currentMessage().isEmpty());
    QCOMPARE(ui.KensakuLeftButton->toolTip().toUtf8(), FoundUtf8);

    QCoreApplication::sendEvent(ui.KensakuLeftButton, &leave);
    QVERIFY(ui.KensakuLeftButton->toolTip().isEmpty());
}

void tst_Search::openEditorIsSearchedToo()
{
    QVERIFY(Open(2, {{{0, 3}, "old"}}));
    TVelTorForm &form = window->form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    setCurrent(form, 0, 3);
    form.Ui().VelTorGrid->edit(model(form)->index(0, 3));
    QLineEdit *editor = form.Ui().VelTorGrid->Editor();
    QVERIFY(editor);
    editor->setText(QStringLiteral("typed"));

    QVERIFY(SetWord("typed"));
    QCOMPARE(Click(form.Ui().KensakuRightButton), Place(0, 3));
    QCOMPARE(form.Ui().KensakuRightButton->toolTip().toUtf8(), FoundUtf8);
    QCOMPARE(std::string(form.Document().Cell(0, 3)), std::string("typed"));
    QVERIFY(!form.Ui().VelTorGrid->Editor());
}

void tst_Search::searchChangesNothingButTheCurrentCell()
{
    QVERIFY(Open(3, {{{1, 1}, "one"}, {{2, 16}, "two one"}}));
    TVelTorForm &form = window->form;
    const TVelTorFormUi &ui = form.Ui();
    QVERIFY(!form.Modified());
    const int rows = model(form)->rowCount();
    setCurrent(form, 0, 0);
    QVERIFY(SetWord("one"));
    QCOMPARE(Click(ui.KensakuDownButton), Place(1, 1));
    QCOMPARE(Click(ui.KensakuDownButton), Place(2, 16));
    QCOMPARE(Click(ui.KensakuUpButton), Place(1, 1));
    QVERIFY(!form.Modified());
    QCOMPARE(form.Document().UndoStack()->count(), 0);
    QCOMPARE(model(form)->rowCount(), rows);
    QCOMPARE(std::string(form.Document().Cell(1, 1)), std::string("one"));
    QCOMPARE(std::string(form.Document().Cell(2, 16)), std::string("two one"));
    QCOMPARE(ui.KensakuWord->text(), QStringLiteral("one"));
}

void tst_Search::hitIsScrolledIntoView()
{
    QVERIFY(Open(400, {{{389, 18}, "deep"}}));
    TVelTorForm &form = window->form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    setCurrent(form, 0, 0);
    form.Ui().VelTorGrid->scrollToTop();
    QVERIFY(SetWord("deep"));

    QCOMPARE(Click(form.Ui().KensakuDownButton), Place(389, 18));
    const QRect hit = form.Ui().VelTorGrid->visualRect(model(form)->index(389, 18));
    QVERIFY(!hit.isEmpty());
    QVERIFY(form.Ui().VelTorGrid->viewport()->rect().contains(hit));
}

// Enter in the search box goes on to the next occurrence, as → does.
void tst_Search::enterInTheBoxSearchesRight()
{
    QVERIFY(Open(3, {{{0, 3}, "key"}, {{1, 1}, "key"}, {{1, 8}, "a key"}}));
    QLineEdit *box = window->form.Ui().KensakuWord;
    QVERIFY(SetWord("key"));
    setCurrent(window->form, 0, 0);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(Current(), Place(0, 3));
    QTest::keyClick(box, Qt::Key_Enter);
    QCOMPARE(Current(), Place(1, 1));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(Current(), Place(1, 8));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(Current(), Place(0, 3));
    QCOMPARE(window->form.Ui().KensakuRightButton->toolTip(), QStringLiteral("見つかりました(^_^)"));
}

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
