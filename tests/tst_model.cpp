// The grid's row storage and its item model: cell bytes survive every
// operation, and the views hear of exactly the changes that happened.

#include "ReportModel.h"
#include "ReportRow.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorGridAttr.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <string>
#include <vector>

using Cells = std::vector<std::string>;

Q_DECLARE_METATYPE(Cells)

namespace {

constexpr unsigned CellCount = ReportRow::CellCount;

QByteArray bytes(std::string_view s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

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

// Every model row on one line each, cells joined by TAB.
QByteArray dump(const ReportModel &model)
{
    QByteArray out;
    for (int r = 0; r < model.rowCount(); ++r) {
        QByteArrayList cells;
        for (int f = 0; f < int(CellCount); ++f)
            cells << bytes(model.Cell(r, f));
        out += cells.join('\t') + '\n';
    }
    return out;
}

QByteArray emptyLine()
{
    return QByteArray(int(CellCount) - 1, '\t') + '\n';
}

// A line whose first cell is `first` and whose other cells are empty.
QByteArray line(const QByteArray &first)
{
    return first + QByteArray(int(CellCount) - 1, '\t') + '\n';
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

std::vector<ReportRow> rowsOf(std::initializer_list<const char *> firstCells)
{
    std::vector<ReportRow> rows;
    for (const char *first : firstCells) {
        Cells cells(CellCount);
        cells[0] = first;
        rows.push_back(ReportRow::FromCells(cells));
    }
    return rows;
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

    void init();
    void cleanup();
    void modelStartsWithTheNewLineRow();
    void setCellSignalsOnlyChanges();
    void setDataKeepsBytesOfAnUnchangedText_data();
    void setDataKeepsBytesOfAnUnchangedText();
    void setDataEncodesAnEditedText();
    void setDataRefusesOtherRoles();
    void insertEmptyRow();
    void removeRowKeepsTheNewLineRow();
    void moveRow_data();
    void moveRow();
    void moveRowRefusesBadIndices();
    void resetRowsAndClear();
    void rowCellsAndSetRowCells();
    void headerData();
    void hintsFollowVerdicts();
    void textToCell_data();
    void textToCell();

private:
    const qnVelTorDataAttribute *attributes = qnVelTorDataAttribute::Instance();
    std::unique_ptr<qnVelTor::GridAttr> cellAttrs;
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

void tst_Model::rowsInAnArena()
{
    // Rows of a loaded report live in an arena; a copy, an edit or the
    // model's own operations must never free or reuse arena memory wrongly.
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

    model->ResetRows(std::move(rows), std::move(arena));
    QCOMPARE(model->rowCount(), 3002);
    QVERIFY(model->MoveRow(2999, 0));
    QCOMPARE(model->Cell(0, 0), std::string_view("2999"));
    QCOMPARE(model->Cell(3000, 7).size(), std::size_t(600000));
    model->RemoveRow(1);
    QCOMPARE(model->Cell(1, 0), std::string_view("1"));
    QCOMPARE(model->Cell(6, 0), std::string_view("edited"));
    // The copy outlives the arena's rows: it owns its block.
    model->Clear();
    QCOMPARE(dump(copy), dump(expected));
}

void tst_Model::init()
{
    cellAttrs = std::make_unique<qnVelTor::GridAttr>(20);
    model = std::make_unique<ReportModel>(attributes, cellAttrs.get());
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
    cellAttrs.reset();
}

void tst_Model::modelStartsWithTheNewLineRow()
{
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->columnCount(), 19);
    QCOMPARE(dump(*model), emptyLine());
    QCOMPARE(model->flags(model->index(0, 18)), Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    QCOMPARE(model->rowCount(model->index(0, 0)), 0);
}

void tst_Model::setCellSignalsOnlyChanges()
{
    QVERIFY(!model->SetCell(0, 0, ""));
    QCOMPARE(changed->count(), 0);

    QVERIFY(model->SetCell(0, 3, "abc"));
    QCOMPARE(changed->count(), 1);
    QCOMPARE(changed->at(0).at(0).toModelIndex(), model->index(0, 3));
    QCOMPARE(changed->at(0).at(1).toModelIndex(), model->index(0, 3));
    QCOMPARE(bytes(model->Cell(0, 3)), QByteArray("abc"));

    QVERIFY(!model->SetCell(0, 3, "abc"));
    QCOMPARE(changed->count(), 1);

    QVERIFY(!model->SetCell(1, 0, "x"));
    QVERIFY(!model->SetCell(0, 19, "x"));
    QVERIFY(!model->SetCell(-1, 0, "x"));
    QVERIFY(!model->SetCell(0, -1, "x"));
    QCOMPARE(changed->count(), 1);
    QCOMPARE(dump(*model), "\t\t\tabc" + QByteArray(15, '\t') + '\n');
}

void tst_Model::setDataKeepsBytesOfAnUnchangedText_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("NEC-selected IBM 0xEEEF") << QByteArray("\xEE\xEF");
    QTest::newRow("IBM 0xFA40") << QByteArray("\xFA\x40");
    QTest::newRow("NEC row 13 0x8790") << QByteArray("\x87\x90\x87\x91\x87\x92");
    QTest::newRow("invalid byte 0xFF") << QByteArray("A\xFF" "B");
    QTest::newRow("invalid byte 0x80") << QByteArray("\x80" "A");
    QTest::newRow("lone lead byte at the end") << QByteArray("AB\x82");
}

void tst_Model::setDataKeepsBytesOfAnUnchangedText()
{
    QFETCH(QByteArray, cell);
    const std::string stored = cell.toStdString();
    QVERIFY(model->SetCell(0, 7, stored));
    changed->clear();

    const QModelIndex index = model->index(0, 7);
    QVERIFY(model->setData(index, model->data(index, Qt::EditRole)));
    QCOMPARE(bytes(model->Cell(0, 7)), cell);
    QCOMPARE(changed->count(), 0);

    QVERIFY(model->setData(index, QStringLiteral("X")));
    QCOMPARE(bytes(model->Cell(0, 7)), QByteArray("X"));
    QCOMPARE(changed->count(), 1);
}

void tst_Model::setDataEncodesAnEditedText()
{
    const QModelIndex index = model->index(0, 9);
    QVERIFY(model->setData(index, QStringLiteral("日本ｱ")));
    QCOMPARE(bytes(model->Cell(0, 9)), QByteArray("\x93\xFA\x96\x7B\xB1"));
    QCOMPARE(model->data(index, Qt::DisplayRole).toString(), QStringLiteral("日本ｱ"));
    QCOMPARE(changed->count(), 1);

    QVERIFY(model->setData(index, QString()));
    QVERIFY(model->Cell(0, 9).empty());
    QCOMPARE(changed->count(), 2);
}

void tst_Model::setDataRefusesOtherRoles()
{
    QVERIFY(!model->setData(model->index(0, 0), QStringLiteral("x"), Qt::ToolTipRole));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is not valid")));
    QVERIFY(!model->setData(QModelIndex(), QStringLiteral("x")));
    QVERIFY(model->Cell(0, 0).empty());
    QCOMPARE(changed->count(), 0);
}

void tst_Model::insertEmptyRow()
{
    model->ResetRows(rowsOf({"a", "b"}));
    model->InsertEmptyRow(1);
    QCOMPARE(inserted->count(), 1);
    QCOMPARE(inserted->at(0).at(1).toInt(), 1);
    QCOMPARE(inserted->at(0).at(2).toInt(), 1);
    QCOMPARE(dump(*model), line("a") + emptyLine() + line("b") + emptyLine());

    model->InsertEmptyRow(0);
    QCOMPARE(dump(*model), emptyLine() + line("a") + emptyLine() + line("b") + emptyLine());

    model->AppendEmptyRow();
    QCOMPARE(inserted->count(), 3);
    QCOMPARE(inserted->at(2).at(1).toInt(), 5);
    QCOMPARE(model->rowCount(), 6);

    model->InsertEmptyRow(-1);
    model->InsertEmptyRow(7);
    QCOMPARE(inserted->count(), 3);
    QCOMPARE(model->rowCount(), 6);
}

void tst_Model::removeRowKeepsTheNewLineRow()
{
    model->ResetRows(rowsOf({"a", "b", "c"}));
    model->RemoveRow(3); // the new-line row
    model->RemoveRow(4);
    model->RemoveRow(-1);
    QCOMPARE(removed->count(), 0);
    QCOMPARE(dump(*model), line("a") + line("b") + line("c") + emptyLine());

    model->RemoveRow(1);
    QCOMPARE(removed->count(), 1);
    QCOMPARE(removed->at(0).at(1).toInt(), 1);
    QCOMPARE(removed->at(0).at(2).toInt(), 1);
    QCOMPARE(dump(*model), line("a") + line("c") + emptyLine());

    model->RemoveRow(0);
    model->RemoveRow(0);
    QCOMPARE(dump(*model), emptyLine());
    model->RemoveRow(0);
    QCOMPARE(removed->count(), 3);
    QCOMPARE(model->rowCount(), 1);
}

void tst_Model::moveRow_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("destination"); // as rowsMoved reports it

    QTest::newRow("first down to third") << 0 << 2 << line("b") + line("c") + line("a") + line("d") << 3;
    QTest::newRow("third up to first") << 2 << 0 << line("c") + line("a") + line("b") + line("d") << 0;
    QTest::newRow("down by one") << 1 << 2 << line("a") + line("c") + line("b") + line("d") << 3;
    QTest::newRow("up by one") << 3 << 2 << line("a") + line("b") + line("d") + line("c") << 2;
}

void tst_Model::moveRow()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QByteArray, expected);
    QFETCH(int, destination);

    model->ResetRows(rowsOf({"a", "b", "c", "d"}));
    QVERIFY(model->MoveRow(from, to));
    QCOMPARE(dump(*model), expected + emptyLine());
    QCOMPARE(moved->count(), 1);
    QCOMPARE(moved->at(0).at(1).toInt(), from);
    QCOMPARE(moved->at(0).at(2).toInt(), from);
    QCOMPARE(moved->at(0).at(4).toInt(), destination);
}

void tst_Model::moveRowRefusesBadIndices()
{
    model->ResetRows(rowsOf({"a", "b"}));
    QVERIFY(!model->MoveRow(1, 1));
    QVERIFY(!model->MoveRow(-1, 0));
    QVERIFY(!model->MoveRow(0, 3));
    QVERIFY(!model->MoveRow(3, 0));
    QCOMPARE(moved->count(), 0);
    QCOMPARE(dump(*model), line("a") + line("b") + emptyLine());
}

void tst_Model::resetRowsAndClear()
{
    model->ResetRows(rowsOf({"x", "", "z"}));
    QCOMPARE(reset->count(), 1);
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(dump(*model), line("x") + emptyLine() + line("z") + emptyLine());

    model->ResetRows({});
    QCOMPARE(dump(*model), emptyLine());

    model->ResetRows(rowsOf({"q"}));
    model->Clear();
    QCOMPARE(reset->count(), 4);
    QCOMPARE(dump(*model), emptyLine());
}

void tst_Model::rowCellsAndSetRowCells()
{
    model->ResetRows(rowsOf({"a", "b"}));
    changed->clear();
    model->SetRowCells(1, numbered("r"));
    QCOMPARE(changed->count(), 1);
    QCOMPARE(changed->at(0).at(0).toModelIndex(), model->index(1, 0));
    QCOMPARE(changed->at(0).at(1).toModelIndex(), model->index(1, 18));
    QCOMPARE(dump(ReportRow::FromCells(model->RowCells(1))), dump(numbered("r")));
    QCOMPARE(dump(ReportRow::FromCells(model->RowCells(0))), dump(Cells{"a"}));

    model->SetRowCells(3, numbered("s"));
    QCOMPARE(changed->count(), 1);
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
    model->ResetRows(rowsOf({"a"}));
    cellAttrs->AddRow();
    const QModelIndex cell = model->index(0, 6);
    QCOMPARE(model->data(cell, Qt::ToolTipRole).toString(),
             QStringLiteral("［ＪＡＳＲＡＣ作品コード］／「0」も入力。「-」不要"));

    cellAttrs->SetError(0, 6, true);
    cellAttrs->SetErrorMessage(0, 6, "\x91\x53\x8A\x70");
    model->RowDecorationChanged(0);
    QCOMPARE(changed->count(), 1);
    QVERIFY(changed->at(0).at(2).value<QList<int>>().contains(Qt::ToolTipRole));
    QCOMPARE(model->data(cell, Qt::ToolTipRole).toString(), QStringLiteral("全角"));
    QCOMPARE(model->data(cell, Qt::StatusTipRole).toString(), QStringLiteral("全角"));
    // The new-line row has no verdicts.
    QCOMPARE(model->data(model->index(1, 6), Qt::ToolTipRole).toString(),
             QStringLiteral("［ＪＡＳＲＡＣ作品コード］／「0」も入力。「-」不要"));
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
    QCOMPARE(bytes(ReportModel::TextToCell(text)), cell);
}

QTEST_MAIN(tst_Model)
#include "tst_model.moc"
