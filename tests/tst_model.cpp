// The grid's row storage and its item model: cell bytes survive every
// operation, and the views hear of exactly the changes that happened.

#include "CellText.h"
#include "DocumentSupport.h"
#include "ReportModel.h"
#include "ReportRow.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QUndoStack>
#include <QtTest>

#include <string>
#include <vector>

using Cells = std::vector<std::string>;
using TestSupport::bytes;

Q_DECLARE_METATYPE(Cells)

namespace {

constexpr unsigned CellCount = ReportRow::CellCount;

// A whole row as one comparable string. Lengths are spelled out, so that a
// cell that swallowed its neighbour's first byte cannot look right.
QByteArray dump(const ReportRow &row)
{
    QByteArray out;
    for (unsigned f = 0; f < CellCount; ++f)
        out += QByteArray::number(row.Cell(f).size()) + ':' + bytes(row.Cell(f)) + '|';
    return out;
}

QByteArray dump(const Cells &cells)
{
    QByteArray out;
    for (unsigned f = 0; f < CellCount; ++f) {
        const std::string cell = f < cells.size() ? cells[f] : std::string();
        out += QByteArray::number(qsizetype(cell.size())) + ':' + bytes(cell) + '|';
    }
    return out;
}

// Every model row on one line each, its edit texts joined by TAB.
QString dump(const ReportModel &model)
{
    QString out;
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < int(CellCount); ++f)
            cells << model.index(r, f).data(Qt::EditRole).toString();
        out += cells.join(u'\t') + u'\n';
    }
    return out;
}

QString emptyLine()
{
    return QString(int(CellCount) - 1, u'\t') + u'\n';
}

// A line whose first cell is `first` and whose other cells are empty.
QString line(const QString &first)
{
    return first + emptyLine();
}

Cells numbered(const std::string &prefix)
{
    Cells cells;
    for (unsigned f = 0; f < CellCount; ++f)
        cells.push_back(prefix + std::to_string(f));
    return cells;
}

// A row whose cells have lengths on both sides of the one-, two- and
// three-byte length prefixes.
Cells mixedLengths()
{
    Cells cells(CellCount);
    cells[0] = std::string(127, 'a');
    cells[1] = std::string(128, 'b');
    cells[2] = "";
    cells[3] = std::string(16383, 'c');
    cells[4] = std::string(16384, 'd');
    cells[5] = "\x93\xFA\x96\x7B";
    cells[6] = std::string("\0x\0", 3);
    cells[18] = "end";
    return cells;
}

// The block a row of these cells takes: a 4-bit length per cell, a varint
// after them for each cell of 15 bytes or more, then the bytes.
std::size_t blockSize(const Cells &cells)
{
    std::size_t size = (CellCount + 1) / 2;
    for (const std::string &cell : cells)
        size += cell.size() + (cell.size() < 15 ? 0 : cell.size() < 128 ? 1 : 2);
    return size;
}

} // namespace

class tst_Model : public QObject
{
    Q_OBJECT

private slots:
    void rowCellsRoundTrip_data();
    void rowCellsRoundTrip();
    void rowFromTooFewOrTooManyTexts();
    void emptyRowHasNoBlock();
    void rowOutOfRangeField();
    void rowCopyIsDeep();
    void rowMoveLeavesSourceEmpty();
    void rowSetCell_data();
    void rowSetCell();
    void rowSetCellFromItsOwnBlock();
    void rowsInAnArena();
    void arenaRowsOfEverySize();
    void arenaRowsWithCellsAtTheLengthEscape_data();
    void arenaRowsWithCellsAtTheLengthEscape();

    void init();
    void cleanup();
    void modelStartsWithTheNewLineRow();
    void setDataSignalsOnlyChanges();
    void setDataKeepsBytesOfAnUnchangedText_data();
    void setDataKeepsBytesOfAnUnchangedText();
    void setDataEncodesAnEditedText();
    void setDataRefusesOtherRoles();
    void insertedLinesMapToTheirRows();
    void removeRowKeepsTheNewLineRow();
    void moveRow_data();
    void moveRow();
    void moveRowRefusesBadIndices();
    void resetRowsAndClear();
    void pastedLinesChangeWholeRows();
    void headerData();
    void hintsFollowVerdicts();
    void textToCell_data();
    void textToCell();

private:
    // What the model told its views since the last call, in one text.
    QString heard();
    // Lines whose first cells are `firsts`, made as one step.
    void fill(const QStringList &firsts);

    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
    std::unique_ptr<QSignalSpy> changed;
    std::unique_ptr<QSignalSpy> inserted;
    std::unique_ptr<QSignalSpy> removed;
    std::unique_ptr<QSignalSpy> moved;
    std::unique_ptr<QSignalSpy> reset;
};

void tst_Model::rowCellsRoundTrip_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::newRow("one character each") << numbered("");
    QTest::newRow("single filled cell at the end") << [] {
        Cells c(CellCount);
        c[18] = "x";
        return c;
    }();
    QTest::newRow("single filled cell at the start") << [] {
        Cells c(CellCount);
        c[0] = "x";
        return c;
    }();
    QTest::newRow("lengths around the prefix sizes") << mixedLengths();
    QTest::newRow("lengths around the short-length limit") << [] {
        Cells c(CellCount);
        const std::size_t lengths[CellCount] = {14, 15, 16, 0, 1, 13, 15, 14, 0, 29, 30, 31, 15, 2, 14, 127, 128, 15, 14};
        for (unsigned f = 0; f < CellCount; ++f)
            c[f] = std::string(lengths[f], char('a' + f));
        return c;
    }();
    QTest::newRow("every cell longer than 127") << [] {
        Cells c;
        for (unsigned f = 0; f < CellCount; ++f)
            c.push_back(std::string(128 + f, char('A' + f)));
        return c;
    }();
}

void tst_Model::rowCellsRoundTrip()
{
    QFETCH(Cells, cells);
    const ReportRow row = ReportRow::FromCells(cells);
    QCOMPARE(dump(row), dump(cells));
    QVERIFY(!row.IsEmpty());

    // The one-pass walk gives what each cell's own walk gives.
    std::string_view all[ReportRow::CellCount];
    row.Cells(all);
    for (unsigned f = 0; f < ReportRow::CellCount; ++f)
        QCOMPARE(all[f], row.Cell(f));
}

void tst_Model::rowFromTooFewOrTooManyTexts()
{
    const ReportRow few = ReportRow::FromCells(Cells{"a", "b", "c"});
    QCOMPARE(dump(few), dump(Cells{"a", "b", "c"}));

    Cells many = numbered("m");
    many.push_back("surplus");
    QCOMPARE(dump(ReportRow::FromCells(many)), dump(numbered("m")));
}

void tst_Model::emptyRowHasNoBlock()
{
    ReportRow row;
    QVERIFY(row.IsEmpty());
    QCOMPARE(dump(row), dump(Cells{}));

    QVERIFY(ReportRow::FromCells(Cells(CellCount)).IsEmpty());

    row.SetCell(4, "");
    QVERIFY(row.IsEmpty());
    row.SetCell(4, "x");
    QVERIFY(!row.IsEmpty());
    // Emptying the last filled cell gives the block back.
    row.SetCell(4, "");
    QVERIFY(row.IsEmpty());
    QCOMPARE(dump(row), dump(Cells{}));

    row.SetCell(0, "y");
    row.Clear();
    QVERIFY(row.IsEmpty());
    QCOMPARE(dump(row), dump(Cells{}));
}

void tst_Model::rowOutOfRangeField()
{
    ReportRow row = ReportRow::FromCells(numbered("v"));
    QVERIFY(row.Cell(CellCount).empty());
    QVERIFY(row.Cell(unsigned(-1)).empty());
    row.SetCell(CellCount, "ignored");
    row.SetCell(unsigned(-1), "ignored");
    QCOMPARE(dump(row), dump(numbered("v")));
}

void tst_Model::rowCopyIsDeep()
{
    const ReportRow original = ReportRow::FromCells(mixedLengths());
    ReportRow copy(original);
    QCOMPARE(dump(copy), dump(mixedLengths()));
    copy.SetCell(5, "changed");
    QCOMPARE(dump(original), dump(mixedLengths()));

    ReportRow assigned = ReportRow::FromCells(numbered("z"));
    assigned = original;
    QCOMPARE(dump(assigned), dump(mixedLengths()));
    assigned.SetCell(0, "");
    QCOMPARE(dump(original), dump(mixedLengths()));

    ReportRow &self = assigned;
    assigned = self;
    QCOMPARE(bytes(assigned.Cell(1)), QByteArray(128, 'b'));
    QVERIFY(assigned.Cell(0).empty());

    ReportRow emptyCopy{ReportRow()};
    QVERIFY(emptyCopy.IsEmpty());
    assigned = emptyCopy;
    QVERIFY(assigned.IsEmpty());
}

void tst_Model::rowMoveLeavesSourceEmpty()
{
    ReportRow source = ReportRow::FromCells(mixedLengths());
    ReportRow target(std::move(source));
    QCOMPARE(dump(target), dump(mixedLengths()));
    QVERIFY(source.IsEmpty()); // NOLINT(bugprone-use-after-move): the moved-from state is specified

    ReportRow other = ReportRow::FromCells(numbered("o"));
    other = std::move(target);
    QCOMPARE(dump(other), dump(mixedLengths()));
}

void tst_Model::rowSetCell_data()
{
    QTest::addColumn<unsigned>("field");
    QTest::addColumn<QByteArray>("text");
    for (unsigned f = 0; f < CellCount; ++f) {
        const QByteArray name = "field " + QByteArray::number(f);
        QTest::newRow((name + " short").constData()) << f << QByteArray("new");
        QTest::newRow((name + " emptied").constData()) << f << QByteArray();
        QTest::newRow((name + " longer than 127").constData()) << f << QByteArray(200, 'L');
    }
}

void tst_Model::rowSetCell()
{
    QFETCH(unsigned, field);
    QFETCH(QByteArray, text);
    ReportRow row = ReportRow::FromCells(mixedLengths());
    row.SetCell(field, std::string_view(text.constData(), std::size_t(text.size())));
    Cells expected = mixedLengths();
    expected[field] = text.toStdString();
    QCOMPARE(dump(row), dump(expected));
}

void tst_Model::rowSetCellFromItsOwnBlock()
{
    ReportRow row = ReportRow::FromCells(mixedLengths());
    Cells expected = mixedLengths();

    // The view points into the block that SetCell replaces.
    row.SetCell(2, row.Cell(4));
    expected[2] = expected[4];
    QCOMPARE(dump(row), dump(expected));

    row.SetCell(4, row.Cell(4).substr(1));
    expected[4] = expected[4].substr(1);
    QCOMPARE(dump(row), dump(expected));

    row.SetCell(18, row.Cell(18));
    QCOMPARE(dump(row), dump(expected));
}

void tst_Model::arenaRowsOfEverySize()
{
    // Blocks of odd and even sizes one after the other in an arena: every
    // row still reads back its own cells, and a row that leaves the arena
    // for a block of its own frees only that.
    RowArena arena;
    std::vector<ReportRow> rows;
    std::vector<Cells> expected;
    for (unsigned i = 0; i < 40; ++i) {
        Cells cells(CellCount);
        cells[0] = std::string(i, 'x');
        cells[i % CellCount] += std::to_string(i);
        expected.push_back(cells);
        rows.push_back(ReportRow::FromCells(cells, &arena));
    }
    for (unsigned i = 0; i < 40; i += 3) {
        rows[i].SetCell(1, "own");
        expected[i][1] = "own";
    }
    for (unsigned i = 0; i < 40; ++i)
        QCOMPARE(dump(rows[i]), dump(expected[i]));
}

void tst_Model::arenaRowsWithCellsAtTheLengthEscape_data()
{
    // A cell of 15 bytes is the first whose length follows as a varint. A
    // block counted one byte short per such cell overruns into the next
    // row's block, unless the arena's padding after an odd size takes it.
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<int>("parity");
    const auto row = [](std::initializer_list<std::size_t> lengths) {
        Cells cells(CellCount);
        unsigned f = 0;
        for (const std::size_t length : lengths) {
            cells[f] = std::string(length, char('a' + f));
            ++f;
        }
        return cells;
    };
    QTest::newRow("one cell of 15, even block") << row({15}) << 0;
    QTest::newRow("one cell of 15, odd block") << row({15, 1}) << 1;
    QTest::newRow("cell of 15 after a short one, even block") << row({1, 15, 1}) << 0;
    QTest::newRow("two cells of 15, even block") << row({15, 15}) << 0;
    QTest::newRow("two cells of 15, odd block") << row({15, 15, 1}) << 1;
    QTest::newRow("every cell 15, even block")
            << row({15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15}) << 0;
    QTest::newRow("every cell 15 but a last of 16, odd block")
            << row({15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 16}) << 1;
}

void tst_Model::arenaRowsWithCellsAtTheLengthEscape()
{
    QFETCH(Cells, cells);
    QFETCH(int, parity);
    QCOMPARE(int(blockSize(cells) % 2), parity);
    // Rows one after the other, so that an overrun lands in a neighbour;
    // each with its own last byte, so that a neighbour's cannot pass for it.
    RowArena arena;
    std::vector<ReportRow> rows;
    std::vector<Cells> expected;
    for (int i = 0; i < 16; ++i) {
        Cells own = cells;
        std::string &last = *std::find_if(own.rbegin(), own.rend(), [](const std::string &c) { return !c.empty(); });
        last.back() = char('A' + i);
        rows.push_back(ReportRow::FromCells(own, &arena));
        expected.push_back(own);
    }
    for (int i = 0; i < 16; ++i) {
        QCOMPARE(rows[i].Bytes().size(), blockSize(cells));
        QCOMPARE(dump(rows[i]), dump(expected[i]));
    }
}

void tst_Model::rowsInAnArena()
{
    // Rows of a loaded report live in an arena; a copy, an edit or the
    // document's operations must never free or reuse arena memory wrongly.
    RowArena arena;
    std::vector<ReportRow> rows;
    for (int i = 0; i < 3000; ++i) {
        Cells cells = mixedLengths();
        cells[0] = std::to_string(i);
        rows.push_back(ReportRow::FromCells(cells, &arena));
    }
    Cells huge(CellCount);
    huge[7] = std::string(600000, 'h'); // more than an arena chunk takes
    rows.push_back(ReportRow::FromCells(huge, &arena));

    ReportRow copy = rows[5];
    copy.SetCell(0, "copied");
    rows[6].SetCell(0, "edited"); // leaves the arena for a block of its own
    Cells expected = mixedLengths();
    expected[0] = "5";
    QCOMPARE(dump(rows[5]), dump(expected));
    expected[0] = "edited";
    QCOMPARE(dump(rows[6]), dump(expected));
    expected[0] = "copied";
    QCOMPARE(dump(copy), dump(expected));
    QCOMPARE(rows.back().Cell(7).size(), std::size_t(600000));

    // The same through a loaded report, over more than one arena chunk.
    QTemporaryDir dir;
    QByteArray file;
    for (int i = 0; i < 5000; ++i)
        file += TestSupport::fileLine({QByteArray::number(i), QByteArray(127, 'a'), QByteArray(128, 'b')});
    file += TestSupport::fileLine({"", "", "", "", "", "", "", QByteArray(600000, 'h')});
    QVERIFY(TestSupport::loadReport(*document, dir, file));
    QCOMPARE(model->rowCount(), 5002);
    const ReportRow loadedCopy = document->Line(5);
    QCOMPARE(document->SetCell(6, 0, "edited"), EditResult::Done);
    QCOMPARE(document->MoveLine(4999, 0), EditResult::Done);
    QCOMPARE(bytes(document->Cell(0, 0)), QByteArray("4999"));
    QCOMPARE(document->Cell(5000, 7).size(), std::size_t(600000));
    QCOMPARE(document->RemoveLine(1), EditResult::Done);
    QCOMPARE(bytes(document->Cell(1, 0)), QByteArray("1"));
    QCOMPARE(bytes(document->Cell(6, 0)), QByteArray("edited"));
    QCOMPARE(bytes(document->Cell(6, 1)), QByteArray(127, 'a'));
    // The copy outlives the arena's rows: it owns its block.
    document->Clear();
    QCOMPARE(dump(loadedCopy), dump(Cells{"5", std::string(127, 'a'), std::string(128, 'b')}));
}

void tst_Model::init()
{
    document = std::make_unique<ReportDocument>();
    model = std::make_unique<ReportModel>(document.get());
    tester = std::make_unique<QAbstractItemModelTester>(model.get(),
                                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
    changed = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::dataChanged);
    inserted = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::rowsInserted);
    removed = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::rowsRemoved);
    moved = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::rowsMoved);
    reset = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::modelReset);
}

void tst_Model::cleanup()
{
    changed.reset();
    inserted.reset();
    removed.reset();
    moved.reset();
    reset.reset();
    tester.reset();
    model.reset();
    document.reset();
}

QString tst_Model::heard()
{
    QStringList out;
    for (qsizetype i = 0; i < reset->count(); ++i)
        out << QStringLiteral("reset");
    for (const QList<QVariant> &s : std::as_const(*inserted))
        out << QStringLiteral("inserted %1-%2").arg(s.at(1).toInt()).arg(s.at(2).toInt());
    for (const QList<QVariant> &s : std::as_const(*removed))
        out << QStringLiteral("removed %1-%2").arg(s.at(1).toInt()).arg(s.at(2).toInt());
    for (const QList<QVariant> &s : std::as_const(*moved))
        out << QStringLiteral("moved %1-%2 before %3").arg(s.at(1).toInt()).arg(s.at(2).toInt()).arg(s.at(4).toInt());
    for (const QList<QVariant> &s : std::as_const(*changed)) {
        const QModelIndex first = s.at(0).toModelIndex();
        const QModelIndex last = s.at(1).toModelIndex();
        const bool hints = s.at(2).value<QList<int>>() == QList<int>{Qt::ToolTipRole, Qt::StatusTipRole};
        out << QStringLiteral("changed %1:%2-%3:%4%5")
                        .arg(first.row())
                        .arg(first.column())
                        .arg(last.row())
                        .arg(last.column())
                        .arg(hints ? QStringLiteral(" hints") : QString());
    }
    for (QSignalSpy *spy : {reset.get(), inserted.get(), removed.get(), moved.get(), changed.get()})
        spy->clear();
    return out.join(QStringLiteral("; "));
}

void tst_Model::fill(const QStringList &firsts)
{
    QVERIFY(ReportBlocks(*document).Paste(0, 0, firsts.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).changed);
    heard();
}

void tst_Model::modelStartsWithTheNewLineRow()
{
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->columnCount(), 19);
    QCOMPARE(dump(*model), emptyLine());
    QCOMPARE(model->flags(model->index(0, 18)), Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    QCOMPARE(model->rowCount(model->index(0, 0)), 0);
}

void tst_Model::setDataSignalsOnlyChanges()
{
    // Nothing typed into the new-line row makes no line.
    QVERIFY(model->setData(model->index(0, 0), QString()));
    QCOMPARE(heard(), QString());

    // Text there makes the line: the row typed into stays where it is,
    // and the new new-line row comes after it.
    QVERIFY(model->setData(model->index(0, 3), QStringLiteral("abc")));
    QCOMPARE(heard(), QStringLiteral("inserted 1-1; changed 0:0-0:18"));
    QCOMPARE(dump(*model), QStringLiteral("\t\t\tabc") + QString(15, u'\t') + u'\n' + emptyLine());

    QVERIFY(model->setData(model->index(0, 3), QStringLiteral("abc")));
    QCOMPARE(heard(), QString());
    QCOMPARE(document->UndoStack()->count(), 1);

    // Positions outside the report and its new-line row change nothing.
    for (const QPoint &p : {QPoint(2, 0), QPoint(0, 19), QPoint(-1, 0), QPoint(0, -1)})
        QCOMPARE(document->SetCell(p.x(), p.y(), "x"), EditResult::Done);
    QCOMPARE(heard(), QString());
    QCOMPARE(dump(*model), QStringLiteral("\t\t\tabc") + QString(15, u'\t') + u'\n' + emptyLine());
}

void tst_Model::setDataKeepsBytesOfAnUnchangedText_data()
{
    QTest::addColumn<QByteArray>("cell");
    // What the editor hands back for the cell, when not the edit text.
    QTest::addColumn<QString>("handedBack");
    QTest::newRow("NEC-selected IBM 0xEEEF") << QByteArray("\xEE\xEF") << QString();
    QTest::newRow("IBM 0xFA40") << QByteArray("\xFA\x40") << QString();
    QTest::newRow("NEC row 13 0x8790") << QByteArray("\x87\x90\x87\x91\x87\x92") << QString();
    QTest::newRow("invalid byte 0xFF") << QByteArray("A\xFF" "B") << QString();
    QTest::newRow("invalid byte 0x80") << QByteArray("\x80" "A") << QString();
    QTest::newRow("lone lead byte at the end") << QByteArray("AB\x82") << QString();
    // The editor drops trailing spaces; where the shown start of a long
    // cell ends in spaces, that alone is no edit.
    QTest::newRow("long cell whose start ends in spaces")
            << "x" + QByteArray(2000, ' ') + "y" << QStringLiteral("x");
}

void tst_Model::setDataKeepsBytesOfAnUnchangedText()
{
    QFETCH(QByteArray, cell);
    QFETCH(QString, handedBack);
    QCOMPARE(document->SetCell(0, 7, cell.toStdString()), EditResult::Done);
    heard();

    const QModelIndex index = model->index(0, 7);
    const QString edit = index.data(Qt::EditRole).toString();
    QCOMPARE(edit, CellText::Shown(document->Cell(0, 7)));
    QVERIFY(model->setData(index, edit));
    if (!handedBack.isEmpty())
        QVERIFY(model->setData(index, handedBack));
    QCOMPARE(bytes(document->Cell(0, 7)), cell);
    QCOMPARE(heard(), QString());
    QCOMPARE(document->UndoStack()->count(), 1);

    QVERIFY(model->setData(index, QStringLiteral("X")));
    QCOMPARE(bytes(document->Cell(0, 7)), QByteArray("X"));
    QCOMPARE(heard(), QStringLiteral("changed 0:0-0:18"));
}

void tst_Model::setDataEncodesAnEditedText()
{
    fill({QStringLiteral("a")});
    const QModelIndex index = model->index(0, 9);
    QVERIFY(model->setData(index, QStringLiteral("日本ｱ")));
    QCOMPARE(bytes(document->Cell(0, 9)), QByteArray("\x93\xFA\x96\x7B\xB1"));
    QCOMPARE(model->data(index, Qt::DisplayRole).toString(), QStringLiteral("日本ｱ"));
    QCOMPARE(heard(), QStringLiteral("changed 0:0-0:18"));

    QVERIFY(model->setData(index, QString()));
    QVERIFY(document->Cell(0, 9).empty());
    QCOMPARE(heard(), QStringLiteral("changed 0:0-0:18"));
}

void tst_Model::setDataRefusesOtherRoles()
{
    QVERIFY(!model->setData(model->index(0, 0), QStringLiteral("x"), Qt::ToolTipRole));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is not valid")));
    QVERIFY(!model->setData(QModelIndex(), QStringLiteral("x")));
    QCOMPARE(document->LineCount(), 0);
    QCOMPARE(heard(), QString());
}

void tst_Model::insertedLinesMapToTheirRows()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    QCOMPARE(document->InsertLine(1), EditResult::Done);
    QCOMPARE(heard(), QStringLiteral("inserted 1-1"));
    QCOMPARE(dump(*model), line("a") + emptyLine() + line("b") + emptyLine());

    QCOMPARE(document->InsertLine(0), EditResult::Done);
    QCOMPARE(dump(*model), emptyLine() + line("a") + emptyLine() + line("b") + emptyLine());

    // At the new-line position: the new row comes after the one that
    // becomes the line.
    QCOMPARE(document->InsertLine(4, {"z"}), EditResult::Done);
    QCOMPARE(heard(), QStringLiteral("inserted 0-0; inserted 5-5; changed 4:0-4:18"));
    QCOMPARE(dump(*model), emptyLine() + line("a") + emptyLine() + line("b") + line("z") + emptyLine());

    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(heard(), QStringLiteral("removed 4-4; removed 0-0"));
    QCOMPARE(dump(*model), line("a") + emptyLine() + line("b") + emptyLine());

    QCOMPARE(document->InsertLine(-1), EditResult::Done);
    QCOMPARE(document->InsertLine(5), EditResult::Done);
    QCOMPARE(heard(), QString());
    QCOMPARE(model->rowCount(), 4);
}

void tst_Model::removeRowKeepsTheNewLineRow()
{
    fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QCOMPARE(document->RemoveLine(3), EditResult::Done); // the new-line row
    QCOMPARE(document->RemoveLine(4), EditResult::Done);
    QCOMPARE(document->RemoveLine(-1), EditResult::Done);
    QCOMPARE(heard(), QString());
    QCOMPARE(dump(*model), line("a") + line("b") + line("c") + emptyLine());

    QCOMPARE(document->RemoveLine(1), EditResult::Done);
    QCOMPARE(heard(), QStringLiteral("removed 1-1"));
    QCOMPARE(dump(*model), line("a") + line("c") + emptyLine());

    QCOMPARE(document->RemoveLine(0), EditResult::Done);
    QCOMPARE(document->RemoveLine(0), EditResult::Done);
    QCOMPARE(dump(*model), emptyLine());
    QCOMPARE(document->RemoveLine(0), EditResult::Done);
    QCOMPARE(heard(), QStringLiteral("removed 0-0; removed 0-0"));
    QCOMPARE(model->rowCount(), 1);

    // Undone, the line comes back to its row with its text.
    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(dump(*model), line("a") + line("c") + emptyLine());
}

void tst_Model::moveRow_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("destination"); // as rowsMoved reports it
    QTest::addColumn<int>("back"); // the same for the undo

    QTest::newRow("first down to third") << 0 << 2 << line("b") + line("c") + line("a") + line("d") << 3 << 0;
    QTest::newRow("third up to first") << 2 << 0 << line("c") + line("a") + line("b") + line("d") << 0 << 3;
    QTest::newRow("down by one") << 1 << 2 << line("a") + line("c") + line("b") + line("d") << 3 << 1;
    QTest::newRow("up by one") << 3 << 2 << line("a") + line("b") + line("d") + line("c") << 2 << 4;
}

void tst_Model::moveRow()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, expected);
    QFETCH(int, destination);
    QFETCH(int, back);

    fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    QCOMPARE(document->MoveLine(from, to), EditResult::Done);
    QCOMPARE(dump(*model), expected + emptyLine());
    QCOMPARE(heard(), QStringLiteral("moved %1-%1 before %2").arg(from).arg(destination));

    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(dump(*model), line("a") + line("b") + line("c") + line("d") + emptyLine());
    QCOMPARE(heard(), QStringLiteral("moved %1-%1 before %2").arg(to).arg(back));
}

void tst_Model::moveRowRefusesBadIndices()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    // Onto itself, from or to outside, and onto the new-line row.
    for (const QPoint &p : {QPoint(1, 1), QPoint(-1, 0), QPoint(0, 3), QPoint(3, 0), QPoint(0, 2), QPoint(2, 0)})
        QCOMPARE(document->MoveLine(p.x(), p.y()), EditResult::Done);
    QCOMPARE(heard(), QString());
    QCOMPARE(dump(*model), line("a") + line("b") + emptyLine());
}

void tst_Model::resetRowsAndClear()
{
    QTemporaryDir dir;
    QVERIFY(TestSupport::loadReport(*document, dir, TestSupport::fileLine("x") + TestSupport::fileLine("")
                                                            + TestSupport::fileLine("z")));
    QCOMPARE(heard(), QStringLiteral("reset"));
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(dump(*model), line("x") + emptyLine() + line("z") + emptyLine());

    document->Clear();
    QCOMPARE(dump(*model), emptyLine());

    QVERIFY(TestSupport::loadReport(*document, dir, TestSupport::fileLine("q")));
    document->Clear();
    QCOMPARE(heard(), QStringLiteral("reset; reset; reset"));
    QCOMPARE(dump(*model), emptyLine());
}

void tst_Model::pastedLinesChangeWholeRows()
{
    fill({QStringLiteral("a"), QStringLiteral("b")});
    const Cells r = numbered("r");
    QStringList texts;
    for (const std::string &cell : r)
        texts << QString::fromStdString(cell);
    QVERIFY(ReportBlocks(*document).Paste(1, 0, texts.join(u'\t')).changed);
    QCOMPARE(heard(), QStringLiteral("changed 1:0-1:18"));
    QCOMPARE(dump(ReportRow::FromCells(document->LineCells(1))), dump(r));
    QCOMPARE(dump(ReportRow::FromCells(document->LineCells(0))), dump(Cells{"a"}));

    // From the new-line row on: the lines it adds come after that row,
    // which becomes the first of them; the run of changed lines is told at
    // once.
    QVERIFY(ReportBlocks(*document).Paste(2, 0, QStringLiteral("p\r\nq\r\ns")).changed);
    QCOMPARE(heard(), QStringLiteral("inserted 3-5; changed 2:0-4:18"));
    QCOMPARE(dump(*model), line("a") + texts.join(u'\t') + u'\n' + line("p") + line("q") + line("s") + emptyLine());

    // Beyond the new-line position nothing is pasted.
    QVERIFY(!ReportBlocks(*document).Paste(6, 0, QStringLiteral("t")).changed);
    QCOMPARE(heard(), QString());
}

void tst_Model::headerData()
{
    const QStringList names = {
        QStringLiteral("ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ"), QStringLiteral("ｺﾝﾃﾝﾂ区分"), QStringLiteral("ｺﾝﾃﾝﾂ枝番"),
        QStringLiteral("ﾒﾄﾞﾚｰ区分"), QStringLiteral("ﾒﾄﾞﾚｰ枝番"), QStringLiteral("ｺﾚｸﾄ･ｺｰﾄﾞ"),
        QStringLiteral("JASRAC作品ｺｰﾄﾞ"), QStringLiteral("原題名"), QStringLiteral("副題・邦題"),
        QStringLiteral("作詞者名"), QStringLiteral("補作詞・訳詞者名"), QStringLiteral("作曲者名"),
        QStringLiteral("編曲者名"), QStringLiteral("ｱｰﾃｨｽﾄ名"), QStringLiteral("情報料（税抜）"),
        QStringLiteral("ＩＶＴ区分"), QStringLiteral("原詞訳詞区分"), QStringLiteral("ＩＬ区分"),
        QStringLiteral("リクエスト回数")};
    QStringList shown;
    for (int f = 0; f < 19; ++f)
        shown << model->headerData(f, Qt::Horizontal).toString();
    QCOMPARE(shown, names);

    QCOMPARE(model->headerData(7, Qt::Horizontal, Qt::ToolTipRole).toString(), QStringLiteral("［原題名］"));
    QCOMPARE(model->headerData(15, Qt::Horizontal, Qt::StatusTipRole).toString(),
             QStringLiteral("「I」曲のみ／「V」詞曲とも／「T」詞のみ"));
    QVERIFY(!model->headerData(19, Qt::Horizontal).isValid());
    QCOMPARE(model->headerData(0, Qt::Vertical).toString(), QString());
}

void tst_Model::hintsFollowVerdicts()
{
    const QString codeHint = QStringLiteral("［ＪＡＳＲＡＣ作品コード］／「0」も入力。「-」不要");
    const auto message = [this](int field, std::string_view cell) {
        std::string text;
        document->Attributes().Validate(unsigned(field), cell, text);
        return ShiftJis::ToText(text);
    };
    fill({QStringLiteral("a")});
    const QModelIndex cell = model->index(0, 6);
    QCOMPARE(model->data(cell, Qt::ToolTipRole).toString(), codeHint);

    // While typed, the verdict is the typed text's; given up, the cell's.
    document->Typing().Type(0, 6, QStringLiteral("日本"));
    QCOMPARE(heard(), QStringLiteral("changed 0:0-0:18 hints"));
    QVERIFY(!message(6, "\x93\xFA\x96\x7B").isEmpty());
    QCOMPARE(model->data(cell, Qt::ToolTipRole).toString(), message(6, "\x93\xFA\x96\x7B"));
    QCOMPARE(model->data(cell, Qt::StatusTipRole).toString(), message(6, "\x93\xFA\x96\x7B"));
    // The new-line row has no verdicts.
    QCOMPARE(model->data(model->index(1, 6), Qt::ToolTipRole).toString(), codeHint);
    document->Typing().End();
    QCOMPARE(model->data(cell, Qt::ToolTipRole).toString(), codeHint);

    // A long cell's hint says its length after the message, and after the
    // field's hint while a valid text is typed over it.
    const std::string longCell(2000, '1');
    QCOMPARE(document->SetCell(0, 6, longCell), EditResult::Done);
    const QString note = CellText::LongNote(longCell);
    QVERIFY(!note.isEmpty());
    QCOMPARE(model->data(cell, Qt::ToolTipRole).toString(), message(6, longCell) + u'　' + note);
    document->Typing().Type(0, 6, QStringLiteral("1"));
    QCOMPARE(model->data(cell, Qt::StatusTipRole).toString(), codeHint + u'　' + note);
    document->Typing().End();
}

void tst_Model::textToCell_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("ascii") << QStringLiteral("abc 123") << QByteArray("abc 123");
    QTest::newRow("kanji and half-width kana") << QStringLiteral("日本ｱ") << QByteArray("\x93\xFA\x96\x7B\xB1");
    QTest::newRow("replacement characters dropped") << QStringLiteral("A\uFFFDB\uFFFD") << QByteArray("AB");
    QTest::newRow("tab dropped") << QStringLiteral("A\tB") << QByteArray("AB");
    QTest::newRow("line breaks dropped") << QStringLiteral("\r\nA\rB\n") << QByteArray("AB");
    QTest::newRow("end-of-file byte dropped") << QStringLiteral("A\x1A" "B") << QByteArray("AB");
    QTest::newRow("character without a form dropped") << QString::fromUtf8("A\U0001F600B\u00E9C")
                                                      << QByteArray("ABC");
    QTest::newRow("empty") << QString() << QByteArray();
}

void tst_Model::textToCell()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, cell);
    QCOMPARE(bytes(CellText::ToBytes(text)), cell);
}

QTEST_MAIN(tst_Model)
#include "tst_model.moc"
