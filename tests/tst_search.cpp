#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorForm.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// Grid position (column, row).
using Cell = std::pair<int, int>;

// Answers every dialog without showing it; a search must never open one.
class SilentDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &) override
    {
        ++shown;
        return QMessageBox::Cancel;
    }
    QString ExecFileDialog(QFileDialog &) override
    {
        ++shown;
        return {};
    }
    void ExecAbout(TAboutBox &) override { ++shown; }

    int shown = 0;
};

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
    void onlyTheCurrentCellHoldsTheWord_data();
    void onlyTheCurrentCellHoldsTheWord();
    void absentWordLeavesTheCurrentCell_data();
    void absentWordLeavesTheCurrentCell();

    void rightGoesThroughTheEmptyLastRowToRowOne();
    void leftFromTheFirstCellGoesToTheEmptyLastRow();
    void downFromTheLastRowOfTheLastColumnGoesToTheFirstCell();
    void upFromTheFirstCellGoesToTheLastColumn();
    void successiveClicksVisitEveryOccurrenceInOrder_data();
    void successiveClicksVisitEveryOccurrenceInOrder();
    void thousandsOfLines_data();
    void thousandsOfLines();
    void columnIsPassedOverOnlyWhenKnownEmpty();

    void matching_data();
    void matching();
    void caseAndWidthMustMatch();
    void wordOnATrailByteIsSkippedForALaterOne();
    void titleRowAndHandleColumnAreNeverExamined();

    void hintTextsOnTheClickedButton();
    void leavingAButtonClearsOnlyItsHint();
    void openEditorIsSearchedToo();
    void searchChangesNothingButTheCurrentCell();
    void hitIsScrolledIntoView();
    void enterInTheBoxSearchesRight();

private:
    // Loads a report of `lineCount` empty lines with the given cells filled;
    // false when that failed (the failure is already logged).
    bool Load(int lineCount, const std::map<Cell, std::string> &cells);
    void Fill(int lineCount, const std::map<Cell, std::string> &cells);
    // Clicks a button and tells where the current cell went.
    Cell Click(QPushButton *button);
    Cell Current() const;
    QPushButton *Button(const QString &direction) const;
    bool SetWord(const std::string &bytes);
    void TypeWord(const std::string &bytes);

    QTemporaryDir dir;
    SilentDialogs dialogs;
    std::unique_ptr<TVelTorForm> form;
    int loads = 0;
};

void tst_Search::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(dir.isValid());
}

void tst_Search::init()
{
    form = std::make_unique<TVelTorForm>();
    form->SetDialogs(&dialogs);
    dialogs.shown = 0;
}

void tst_Search::cleanup()
{
    QCOMPARE(dialogs.shown, 0);
    form.reset();
}

bool tst_Search::Load(int lineCount, const std::map<Cell, std::string> &cells)
{
    Fill(lineCount, cells);
    return !QTest::currentTestFailed();
}

void tst_Search::Fill(int lineCount, const std::map<Cell, std::string> &cells)
{
    std::vector<std::vector<std::string>> lines(static_cast<std::size_t>(lineCount), std::vector<std::string>(FieldCount));
    std::vector<std::pair<int, std::string>> lastRow;
    for (const auto &[at, text] : cells) {
        const auto [col, row] = at;
        QVERIFY2(col >= 1 && col <= int(FieldCount) && row >= 1 && row <= lineCount + 1, "cell outside the grid");
        if (row == lineCount + 1)
            lastRow.emplace_back(col, text);
        else
            lines[std::size_t(row - 1)][std::size_t(col - 1)] = text;
    }
    QByteArray bytes;
    for (const auto &line : lines) {
        for (std::size_t f = 0; f < line.size(); ++f) {
            if (f)
                bytes += '\t';
            bytes += QByteArray::fromStdString(line[f]);
        }
        bytes += "\r\n";
    }
    const QString path = dir.filePath(QStringLiteral("1234567890202404search%1.dat").arg(++loads));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    QVERIFY(form->LoadReport(path));
    QCOMPARE(form->GridRowCount(), lineCount + 2);
    // The empty new-line row cannot come from a file; it gets its text here.
    for (const auto &[col, text] : lastRow)
        QVERIFY(form->Model->SetCell(lineCount, col - 1, text));
    for (const auto &[at, text] : cells)
        QCOMPARE(std::string(form->Model->Cell(at.second - 1, at.first - 1)), text);
}

Cell tst_Search::Click(QPushButton *button)
{
    button->click();
    return Current();
}

Cell tst_Search::Current() const
{
    return {form->CurrentCol(), form->CurrentRow()};
}

QPushButton *tst_Search::Button(const QString &direction) const
{
    if (direction == QLatin1String("left"))
        return form->KensakuLeftButton;
    if (direction == QLatin1String("right"))
        return form->KensakuRightButton;
    if (direction == QLatin1String("up"))
        return form->KensakuUpButton;
    return form->KensakuDownButton;
}

bool tst_Search::SetWord(const std::string &bytes)
{
    TypeWord(bytes);
    return !QTest::currentTestFailed();
}

void tst_Search::TypeWord(const std::string &bytes)
{
    form->KensakuWord->setText(ShiftJis::ToText(bytes));
    // The box must hold exactly these bytes, or the test would prove nothing.
    QCOMPARE(ShiftJis::FromText(form->KensakuWord->text()).value_or("(not encodable)"), bytes);
}

void tst_Search::stepsWrapAtTheEdges()
{
    QVERIFY(Load(3, {}));
    const int lastRow = form->GridRowCount() - 1;
    QCOMPARE(lastRow, 4);

    int x = 2;
    QVERIFY(!form->StepLeft(x));
    QCOMPARE(x, 1);
    QVERIFY(form->StepLeft(x));
    QCOMPARE(x, 19);

    x = 18;
    QVERIFY(!form->StepRight(x));
    QCOMPARE(x, 19);
    QVERIFY(form->StepRight(x));
    QCOMPARE(x, 1);

    int y = 2;
    QVERIFY(!form->StepUp(y));
    QCOMPARE(y, 1);
    QVERIFY(form->StepUp(y));
    QCOMPARE(y, lastRow);

    y = lastRow - 1;
    QVERIFY(!form->StepDown(y));
    QCOMPARE(y, lastRow);
    QVERIFY(form->StepDown(y));
    QCOMPARE(y, 1);
}

void tst_Search::emptyWordIsFoundNowhere_data()
{
    QTest::addColumn<QString>("direction");
    QTest::newRow("left") << "left";
    QTest::newRow("right") << "right";
    QTest::newRow("up") << "up";
    QTest::newRow("down") << "down";
}

void tst_Search::emptyWordIsFoundNowhere()
{
    QFETCH(QString, direction);
    // Every cell holds text, the current one included: an empty word that
    // matched anything would move or report a hit.
    std::map<Cell, std::string> cells;
    for (int row = 1; row <= 4; ++row)
        for (int col = 1; col <= 19; ++col)
            cells.emplace(Cell(col, row), std::string(1, 'x'));
    QVERIFY(Load(3, cells));
    form->SetCurrentCell(5, 2);
    QVERIFY(SetWord({}));

    QPushButton *button = Button(direction);
    QCOMPARE(Click(button), Cell(5, 2));
    QCOMPARE(button->toolTip().toUtf8(), NotFoundUtf8);
}

void tst_Search::onlyTheCurrentCellHoldsTheWord_data()
{
    emptyWordIsFoundNowhere_data();
}

void tst_Search::onlyTheCurrentCellHoldsTheWord()
{
    QFETCH(QString, direction);
    QVERIFY(Load(3, {{{7, 2}, "xyz" + FullA + "q"}, {{8, 2}, "xy"}, {{7, 3}, "yz"}}));
    form->SetCurrentCell(7, 2);
    QVERIFY(SetWord("yz" + FullA));

    QPushButton *button = Button(direction);
    QCOMPARE(Click(button), Cell(7, 2));
    QCOMPARE(button->toolTip().toUtf8(), FoundUtf8);
}

void tst_Search::absentWordLeavesTheCurrentCell_data()
{
    emptyWordIsFoundNowhere_data();
}

void tst_Search::absentWordLeavesTheCurrentCell()
{
    QFETCH(QString, direction);
    // Near misses: a prefix, a shorter cell, the word split over two cells.
    QVERIFY(Load(3, {{{1, 1}, "wor"}, {{2, 1}, "d"}, {{19, 3}, "xwordx"}, {{3, 4}, "wo"}}));
    form->SetCurrentCell(3, 2);
    QVERIFY(SetWord("wordy"));

    QPushButton *button = Button(direction);
    QCOMPARE(Click(button), Cell(3, 2));
    QCOMPARE(button->toolTip().toUtf8(), NotFoundUtf8);
}

void tst_Search::rightGoesThroughTheEmptyLastRowToRowOne()
{
    QVERIFY(Load(3, {{{1, 1}, "k"}, {{1, 4}, "k"}, {{19, 4}, "k"}, {{1, 3}, "k"}}));
    form->SetCurrentCell(19, 3);
    QVERIFY(SetWord("k"));

    QCOMPARE(Click(form->KensakuRightButton), Cell(1, 4));
    QCOMPARE(Click(form->KensakuRightButton), Cell(19, 4));
    QCOMPARE(Click(form->KensakuRightButton), Cell(1, 1));
    QCOMPARE(Click(form->KensakuRightButton), Cell(1, 3));
}

void tst_Search::leftFromTheFirstCellGoesToTheEmptyLastRow()
{
    QVERIFY(Load(3, {{{19, 4}, "k"}, {{18, 4}, "k"}, {{1, 4}, "k"}, {{19, 3}, "k"}, {{2, 1}, "k"}}));
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord("k"));

    QCOMPARE(Click(form->KensakuLeftButton), Cell(19, 4));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(18, 4));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(1, 4));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(19, 3));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(2, 1));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(19, 4));
}

void tst_Search::downFromTheLastRowOfTheLastColumnGoesToTheFirstCell()
{
    QVERIFY(Load(3, {{{1, 1}, "k"}, {{1, 4}, "k"}, {{2, 1}, "k"}}));
    form->SetCurrentCell(19, 4);
    QVERIFY(SetWord("k"));

    QCOMPARE(Click(form->KensakuDownButton), Cell(1, 1));
    QCOMPARE(Click(form->KensakuDownButton), Cell(1, 4));
    QCOMPARE(Click(form->KensakuDownButton), Cell(2, 1));
}

void tst_Search::upFromTheFirstCellGoesToTheLastColumn()
{
    QVERIFY(Load(3, {{{19, 4}, "k"}, {{19, 1}, "k"}, {{18, 4}, "k"}, {{1, 2}, "k"}}));
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord("k"));

    QCOMPARE(Click(form->KensakuUpButton), Cell(19, 4));
    QCOMPARE(Click(form->KensakuUpButton), Cell(19, 1));
    QCOMPARE(Click(form->KensakuUpButton), Cell(18, 4));
    QCOMPARE(Click(form->KensakuUpButton), Cell(1, 2));
    QCOMPARE(Click(form->KensakuUpButton), Cell(19, 4));
}

void tst_Search::successiveClicksVisitEveryOccurrenceInOrder_data()
{
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QList<Cell>>("visits");

    // The word lies in (2,1) (19,1) (1,2) (2,3) (5,3) (3,4); row 4 is the
    // empty new-line row. The search starts at (1,1), which lacks it.
    QTest::newRow("right: row by row")
        << "right" << QList<Cell>{{2, 1}, {19, 1}, {1, 2}, {2, 3}, {5, 3}, {3, 4}, {2, 1}, {19, 1}};
    QTest::newRow("left: row by row backwards")
        << "left" << QList<Cell>{{3, 4}, {5, 3}, {2, 3}, {1, 2}, {19, 1}, {2, 1}, {3, 4}, {5, 3}};
    QTest::newRow("down: column by column")
        << "down" << QList<Cell>{{1, 2}, {2, 1}, {2, 3}, {3, 4}, {5, 3}, {19, 1}, {1, 2}, {2, 1}};
    QTest::newRow("up: column by column backwards")
        << "up" << QList<Cell>{{19, 1}, {5, 3}, {3, 4}, {2, 3}, {2, 1}, {1, 2}, {19, 1}, {5, 3}};
}

void tst_Search::successiveClicksVisitEveryOccurrenceInOrder()
{
    QFETCH(QString, direction);
    QFETCH(QList<Cell>, visits);

    const std::string word = "m" + FullA;
    // Decoys around the occurrences: the word's parts, alone.
    QVERIFY(Load(3, {{{2, 1}, word},
                     {{19, 1}, "(" + word + ")"},
                     {{1, 2}, FullI + word},
                     {{2, 3}, word + word},
                     {{5, 3}, "x" + word},
                     {{3, 4}, word},
                     {{4, 1}, "m"},
                     {{3, 2}, FullA},
                     {{6, 3}, "M" + FullA},
                     {{7, 4}, "m" + FullI}}));
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord(word));

    QPushButton *button = Button(direction);
    QList<Cell> seen;
    for (qsizetype i = 0; i < visits.size(); ++i) {
        seen.append(Click(button));
        QCOMPARE(button->toolTip().toUtf8(), FoundUtf8);
    }
    QCOMPARE(seen, visits);
}

void tst_Search::thousandsOfLines_data()
{
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QList<Cell>>("visits");

    // Neighbouring lines 4095 and 4096 sit where a search that works through
    // the report in chunks could split it; row 9001 is the empty last row.
    QTest::newRow("right") << "right" << QList<Cell>{{3, 4096}, {3, 4097}, {19, 9000}, {1, 9001}, {3, 4096}};
    QTest::newRow("left") << "left" << QList<Cell>{{1, 9001}, {19, 9000}, {3, 4097}, {3, 4096}, {1, 9001}};
    QTest::newRow("down") << "down" << QList<Cell>{{1, 9001}, {3, 4096}, {3, 4097}, {19, 9000}, {1, 9001}};
    QTest::newRow("up") << "up" << QList<Cell>{{19, 9000}, {3, 4097}, {3, 4096}, {1, 9001}, {19, 9000}};
}

void tst_Search::thousandsOfLines()
{
    QFETCH(QString, direction);
    QFETCH(QList<Cell>, visits);

    QVERIFY(Load(9000, {{{3, 4096}, "w"}, {{3, 4097}, "w"}, {{19, 9000}, "w"}, {{1, 9001}, "w"}, {{4, 5000}, "W"}}));
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord("w"));

    QPushButton *button = Button(direction);
    QList<Cell> seen;
    for (qsizetype i = 0; i < visits.size(); ++i)
        seen.append(Click(button));
    QCOMPARE(seen, visits);
}

void tst_Search::columnIsPassedOverOnlyWhenKnownEmpty()
{
    // Down from line 10000 the first column reaches the end of the report,
    // and the second starts at the top: the lines in between have not been
    // looked at yet when the second column starts, and hold its one hit.
    QVERIFY(Load(13000, {{{2, 6000}, "w"}, {{5, 12000}, "w"}}));
    QVERIFY(SetWord("w"));
    form->SetCurrentCell(1, 10000);
    QCOMPARE(Click(form->KensakuDownButton), Cell(2, 6000));
    QCOMPARE(Click(form->KensakuDownButton), Cell(5, 12000));
    QCOMPARE(Click(form->KensakuDownButton), Cell(2, 6000));
    form->SetCurrentCell(7, 3000);
    QCOMPARE(Click(form->KensakuUpButton), Cell(5, 12000));
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
    QVERIFY(form->Model->SetCell(1, 6, cell.toStdString()) || cell.isEmpty());
    QCOMPARE(form->CellMatches(2, 7, word.toStdString()), matches);
    // Grid (7, 2) is model (1, 6) and nothing else.
    QVERIFY(!form->CellMatches(2, 6, word.toStdString()));
    QVERIFY(!form->CellMatches(1, 7, word.toStdString()));
    QVERIFY(!form->CellMatches(3, 7, word.toStdString()));
}

void tst_Search::caseAndWidthMustMatch()
{
    QVERIFY(Load(3, {{{4, 1}, "ABC"}, {{9, 2}, FullA + FullI}, {{2, 3}, "abc"}, {{11, 3}, HalfA + HalfI}}));
    form->SetCurrentCell(1, 1);

    QVERIFY(SetWord("abc"));
    QCOMPARE(Click(form->KensakuRightButton), Cell(2, 3));
    QCOMPARE(Click(form->KensakuRightButton), Cell(2, 3));

    QVERIFY(SetWord(HalfA + HalfI));
    QCOMPARE(Click(form->KensakuRightButton), Cell(11, 3));
    QCOMPARE(Click(form->KensakuRightButton), Cell(11, 3));

    QVERIFY(SetWord(FullA + FullI));
    QCOMPARE(Click(form->KensakuRightButton), Cell(9, 2));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(9, 2));
}

void tst_Search::wordOnATrailByteIsSkippedForALaterOne()
{
    // "A" is the trail byte of katakana A in every cell but the last.
    QVERIFY(Load(3, {{{1, 1}, FullA}, {{2, 1}, FullA + FullA + FullA}, {{1, 3}, "x" + FullA}, {{5, 3}, FullA + "A"}}));
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord("A"));

    QCOMPARE(Click(form->KensakuRightButton), Cell(5, 3));
    QCOMPARE(Click(form->KensakuDownButton), Cell(5, 3));
    QCOMPARE(Click(form->KensakuUpButton), Cell(5, 3));
    QCOMPARE(form->KensakuUpButton->toolTip().toUtf8(), FoundUtf8);

    QVERIFY(form->Model->SetCell(2, 4, FullA + FullA));
    QCOMPARE(Click(form->KensakuLeftButton), Cell(5, 3));
    QCOMPARE(form->KensakuLeftButton->toolTip().toUtf8(), NotFoundUtf8);
}

void tst_Search::titleRowAndHandleColumnAreNeverExamined()
{
    QVERIFY(Load(2, {}));
    const std::string title = qnVelTorDataAttribute::Instance()->At(5)->name;
    QVERIFY(!title.empty());
    QCOMPARE(form->Model->headerData(5, Qt::Horizontal).toString(), ShiftJis::ToText(title));
    QVERIFY(!form->CellMatches(0, 6, title));

    form->SetCurrentCell(6, 1);
    QVERIFY(SetWord(title));
    for (QPushButton *button : {form->KensakuLeftButton, form->KensakuRightButton, form->KensakuUpButton,
                                form->KensakuDownButton}) {
        QCOMPARE(Click(button), Cell(6, 1));
        QCOMPARE(button->toolTip().toUtf8(), NotFoundUtf8);
    }

    // The handle column holds no text; asking for it must not reach field 0.
    QVERIFY(form->Model->SetCell(0, 0, "hit"));
    QVERIFY(form->CellMatches(1, 1, "hit"));
    QVERIFY(!form->CellMatches(1, 0, "hit"));
    QVERIFY(!form->CellMatches(0, 1, "hit"));
}

void tst_Search::hintTextsOnTheClickedButton()
{
    QVERIFY(Load(2, {{{3, 2}, "here"}}));
    form->SetCurrentCell(1, 1);

    QVERIFY(SetWord("here"));
    QCOMPARE(Click(form->KensakuDownButton), Cell(3, 2));
    QCOMPARE(form->KensakuDownButton->toolTip().toUtf8(), FoundUtf8);
    QCOMPARE(form->statusBar()->currentMessage().toUtf8(), FoundUtf8);
    for (QPushButton *other : {form->KensakuLeftButton, form->KensakuRightButton, form->KensakuUpButton})
        QVERIFY(other->toolTip().isEmpty());

    QVERIFY(SetWord("there"));
    QCOMPARE(Click(form->KensakuUpButton), Cell(3, 2));
    QCOMPARE(form->KensakuUpButton->toolTip().toUtf8(), NotFoundUtf8);
    QCOMPARE(form->statusBar()->currentMessage().toUtf8(), NotFoundUtf8);
    // No leave yet: the first button keeps its own outcome.
    QCOMPARE(form->KensakuDownButton->toolTip().toUtf8(), FoundUtf8);

    // A found after a not-found on the same button replaces it.
    QVERIFY(SetWord("her"));
    QCOMPARE(Click(form->KensakuUpButton), Cell(3, 2));
    QCOMPARE(form->KensakuUpButton->toolTip().toUtf8(), FoundUtf8);
}

void tst_Search::leavingAButtonClearsOnlyItsHint()
{
    QVERIFY(Load(2, {{{3, 2}, "here"}}));
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord("here"));
    Click(form->KensakuLeftButton);
    QVERIFY(SetWord("nowhere!"));
    Click(form->KensakuRightButton);
    QCOMPARE(form->KensakuLeftButton->toolTip().toUtf8(), FoundUtf8);
    QCOMPARE(form->KensakuRightButton->toolTip().toUtf8(), NotFoundUtf8);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(form->KensakuRightButton, &leave);
    QVERIFY(form->KensakuRightButton->toolTip().isEmpty());
    QVERIFY(form->statusBar()->currentMessage().isEmpty());
    QCOMPARE(form->KensakuLeftButton->toolTip().toUtf8(), FoundUtf8);

    QCoreApplication::sendEvent(form->KensakuLeftButton, &leave);
    QVERIFY(form->KensakuLeftButton->toolTip().isEmpty());
}

void tst_Search::openEditorIsSearchedToo()
{
    QVERIFY(Load(2, {{{4, 1}, "old"}}));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->SetCurrentCell(4, 1);
    form->VelTorGrid->edit(form->Model->index(0, 3));
    QLineEdit *editor = form->VelTorGrid->Editor();
    QVERIFY(editor);
    editor->setText(QStringLiteral("typed"));

    QVERIFY(SetWord("typed"));
    QCOMPARE(Click(form->KensakuRightButton), Cell(4, 1));
    QCOMPARE(form->KensakuRightButton->toolTip().toUtf8(), FoundUtf8);
    QCOMPARE(std::string(form->Model->Cell(0, 3)), std::string("typed"));
    QVERIFY(!form->VelTorGrid->Editor());
}

void tst_Search::searchChangesNothingButTheCurrentCell()
{
    QVERIFY(Load(3, {{{2, 2}, "one"}, {{17, 3}, "two one"}}));
    QVERIFY(!form->Modified);
    const int rows = form->GridRowCount();
    form->SetCurrentCell(1, 1);
    QVERIFY(SetWord("one"));
    QCOMPARE(Click(form->KensakuDownButton), Cell(2, 2));
    QCOMPARE(Click(form->KensakuDownButton), Cell(17, 3));
    QCOMPARE(Click(form->KensakuUpButton), Cell(2, 2));
    QVERIFY(!form->Modified);
    QCOMPARE(form->GridRowCount(), rows);
    QCOMPARE(std::string(form->Model->Cell(1, 1)), std::string("one"));
    QCOMPARE(std::string(form->Model->Cell(2, 16)), std::string("two one"));
    QCOMPARE(form->KensakuWord->text(), QStringLiteral("one"));
}

void tst_Search::hitIsScrolledIntoView()
{
    QVERIFY(Load(400, {{{19, 390}, "deep"}}));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->SetCurrentCell(1, 1);
    form->VelTorGrid->scrollToTop();
    QVERIFY(SetWord("deep"));

    QCOMPARE(Click(form->KensakuDownButton), Cell(19, 390));
    const QRect hit = form->VelTorGrid->visualRect(form->Model->index(389, 18));
    QVERIFY(!hit.isEmpty());
    QVERIFY(form->VelTorGrid->viewport()->rect().contains(hit));
}

// Enter in the search box goes on to the next occurrence, as → does.
void tst_Search::enterInTheBoxSearchesRight()
{
    QVERIFY(Load(3, {{{4, 1}, "key"}, {{2, 2}, "key"}, {{9, 2}, "a key"}}));
    QVERIFY(SetWord("key"));
    form->SetCurrentCell(1, 1);
    QTest::keyClick(form->KensakuWord, Qt::Key_Return);
    QCOMPARE(Current(), Cell(4, 1));
    QTest::keyClick(form->KensakuWord, Qt::Key_Enter);
    QCOMPARE(Current(), Cell(2, 2));
    QTest::keyClick(form->KensakuWord, Qt::Key_Return);
    QCOMPARE(Current(), Cell(9, 2));
    QTest::keyClick(form->KensakuWord, Qt::Key_Return);
    QCOMPARE(Current(), Cell(4, 1));
    QCOMPARE(form->KensakuRightButton->toolTip(), QStringLiteral("見つかりました(^_^)"));
}

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
