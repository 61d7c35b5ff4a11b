// The review list's model and the one-step fixes, on the document with no
// window: the model's groups and counts, how it follows edits, undo and
// loads with one layout change per change, where its entries lead; each fix
// as one step that touches only the cells it changes, undone to the exact
// bytes, and refused whole where a result would not fit.

#include "CellChanges.h"
#include "DocumentSupport.h"
#include "NoteFix.h"
#include "ReportNotes.h"
#include "ReviewModel.h"
#include "TrimFix.h"
#include "WidthFix.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace TestSupport;

namespace {

const char *const noteNames[] = {"none", "keyNotNumber", "keyRepeated", "content", "contentSub", "medley",
                                 "medleySub", "collect", "workCode", "fee", "ivt", "lyrics", "il", "requests",
                                 "emptyLine"};
const char *const errorNames[] = {"fullWidth", "tooLong", "header", "format"};

// Where an entry leads: "2:6" (line from 1, field), "line 3", "box 1".
QString placeText(const ReviewModel::Place &place)
{
    switch (place.what) {
    case ReviewModel::Place::Cell:
        return QStringLiteral("%1:%2").arg(place.line + 1).arg(place.field);
    case ReviewModel::Place::Line:
        return QStringLiteral("line %1").arg(place.line + 1);
    case ReviewModel::Place::HeaderBox:
        return QStringLiteral("box %1").arg(place.box);
    case ReviewModel::Place::Nothing:
        break;
    }
    return QStringLiteral("-");
}

// The whole tree in one line: "errors 3 {fullWidth 2 [2:6 3:6] tooLong 1
// [4:7]} notes 1 {ivt 1 [2:15]}". Each section's and group's label must
// show its count.
QString treeText(const ReviewModel &model)
{
    QStringList sections;
    for (int s = 0; s < model.rowCount(); ++s) {
        const QModelIndex section = model.index(s, 0);
        QStringList groups;
        std::uint64_t total = 0;
        bool notes = false;
        for (int g = 0; g < model.rowCount(section); ++g) {
            const QModelIndex group = model.index(g, 0, section);
            ReviewModel::Group kind;
            if (!model.GroupOf(group, kind))
                return QStringLiteral("<a group row without its group>");
            notes = kind.section == ReviewModel::Section::Notes;
            const int rows = model.rowCount(group);
            if (!group.data().toString().contains(QString::number(rows)))
                return QStringLiteral("<group label without its count: %1>").arg(group.data().toString());
            QStringList entries;
            for (int e = 0; e < rows; ++e)
                entries << placeText(model.PlaceOf(model.index(e, 0, group)));
            groups << QStringLiteral("%1 %2 [%3]")
                              .arg(QLatin1String(notes ? noteNames[kind.kind] : errorNames[kind.kind]))
                              .arg(rows)
                              .arg(entries.join(u' '));
            total += std::uint64_t(rows);
        }
        if (!section.data().toString().contains(QString::number(total)))
            return QStringLiteral("<section label without its count: %1>").arg(section.data().toString());
        sections << QStringLiteral("%1 %2 {%3}").arg(notes ? "notes" : "errors").arg(total).arg(groups.join(u' '));
    }
    return sections.join(u' ');
}

// All 19 cells of a line.
QStringList fieldsOf(const ReportDocument &document, int line)
{
    QStringList cells;
    for (int field = 0; field < int(FieldCount); ++field)
        cells << ShiftJis::ToText(document.Cell(line, field));
    return cells;
}

} // namespace

class tst_Review : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void groupsAndCounts_data();
    void groupsAndCounts();
    void followsEditsUndoAndLoads();
    void manyCellsChangedIsOneLayoutChange();
    void valueEditedTellsItsEntryOnly();
    void keptIndexFollowsItsEntry();
    void closedListGathersNothing();
    void headerAndFormatEntries();

    void widthFix_data();
    void widthFix();
    void trimFix_data();
    void trimFix();
    void noteFix_data();
    void noteFix();
    void fixIsOneStepOverItsScope_data();
    void fixIsOneStepOverItsScope();
    void fixRefusedWhereResultWouldNotFit();

private:
    void load(const QStringList &lines, const QString &name = QStringLiteral("1234567890202404TEST.dat"));

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportFile> file;
    std::unique_ptr<ReportNotes> notes;
    std::unique_ptr<ReviewModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

void tst_Review::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    document = std::make_unique<ReportDocument>();
    file = std::make_unique<ReportFile>(*document);
    notes = std::make_unique<ReportNotes>(document->Content());
    model = std::make_unique<ReviewModel>(*file, *notes);
    tester = std::make_unique<QAbstractItemModelTester>(model.get(),
                                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
}

void tst_Review::cleanup()
{
    tester.reset();
    model.reset();
    notes.reset();
    file.reset();
    document.reset();
    dir.reset();
}

void tst_Review::load(const QStringList &lines, const QString &name)
{
    QVERIFY(loadReport(*file, *dir, fileLines(lines), name));
}

// ---- The model ----------------------------------------------------------------

void tst_Review::groupsAndCounts_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("tree");

    QTest::newRow("nothing to review") << QStringList{usualLine("1"), usualLine("2")} << "";
    QTest::newRow("full-width digits by rule, in reading order")
            << QStringList{usualLine("1", {"6=１２"}), usualLine("2", {"0=２", "6=３"})}
            << "errors 3 {fullWidth 3 [1:6 2:0 2:6]}";
    QTest::newRow("too long apart from full-width")
            << QStringList{usualLine("1", {"7=" + QString(61, u'a')}), usualLine("2", {"18=１"})}
            << "errors 2 {fullWidth 1 [2:18] tooLong 1 [1:7]}";
    QTest::newRow("too long with full-width counts as too long")
            << QStringList{usualLine("1", {"2=１２３"})} << "errors 1 {tooLong 1 [1:2]}";
    QTest::newRow("notes under their own heading, a group per rule")
            << QStringList{usualLine("1", {"15=v"}), usualLine("1", {"5=1", "15=t"}), ""}
            << "notes 5 {keyRepeated 1 [2:0] collect 1 [2:5] ivt 2 [1:15 2:15] emptyLine 1 [line 3]}";
    QTest::newRow("a note of every kind leads to its cell")
            << QStringList{usualLine("1", {"1=q", "2=0", "3=m", "4=1", "6=1-2"}),
                           usualLine("x", {"14=", "16=4", "17=I", "18="})}
            << "notes 10 {keyNotNumber 1 [2:0] content 1 [1:1] contentSub 1 [1:2] medley 1 [1:3] medleySub 1 [1:4] "
               "workCode 1 [1:6] fee 1 [2:14] lyrics 1 [2:16] il 1 [2:17] requests 1 [2:18]}";
    QTest::newRow("errors and notes, the invalid cell no note")
            << QStringList{usualLine("1", {"15=Ｖ"}), usualLine("2", {"15=v"})}
            << "errors 1 {tooLong 1 [1:15]} notes 1 {ivt 1 [2:15]}";
}

void tst_Review::groupsAndCounts()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, tree);

    load(lines);
    model->SetActive(true);
    QCOMPARE(treeText(*model), tree);
}

void tst_Review::followsEditsUndoAndLoads()
{
    load({usualLine("1"), usualLine("2", {"6=１２"})});
    model->SetActive(true);
    QCOMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [2:6]}"));
    // Told when the event loop comes round.
    QVERIFY(document->SetCell(0, 15, "v") == EditResult::Done);
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [2:6]} notes 1 {ivt 1 [1:15]}"));
    QVERIFY(document->RemoveLine(0) == EditResult::Done);
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [1:6]}"));
    QVERIFY(document->Undo() == EditResult::Done);
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [2:6]} notes 1 {ivt 1 [1:15]}"));
    QVERIFY(document->Undo() == EditResult::Done);
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [2:6]}"));
    // Typing shows its verdict before the cell holds the text.
    document->Typing().Type(0, 6, QStringLiteral("ＡＢ"));
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 2 {fullWidth 2 [1:6 2:6]}"));
    document->Typing().End();
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [2:6]}"));
    load({usualLine("1", {"7=" + QString(61, u'a')})});
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 1 {tooLong 1 [1:7]}"));
    file->New();
    QTRY_COMPARE(treeText(*model), QString());
}

void tst_Review::manyCellsChangedIsOneLayoutChange()
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << usualLine(QString::number(i + 1), {i % 2 ? "6=１" : "6=1"});
    load(lines);
    model->SetActive(true);
    QCOMPARE(model->rowCount(model->index(0, 0, model->index(0, 0))), 100);
    QSignalSpy layouts(model.get(), &QAbstractItemModel::layoutChanged);
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy resets(model.get(), &QAbstractItemModel::modelReset);
    // Every other line fixed and the others broken: 200 runs, one step.
    CellChanges changes(document->Content());
    for (int line = 0; line < 200; ++line)
        changes.Set(line, 6, line % 2 ? "1" : "１２");
    QVERIFY(document->ChangeCells(std::move(changes), QStringLiteral("swap")) == EditResult::Done);
    QTRY_COMPARE(layouts.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(layouts.count(), 1);
    QCOMPARE(inserted.count() + removed.count() + resets.count(), 0);
    QCOMPARE(model->PlaceOf(model->index(0, 0, model->index(0, 0, model->index(0, 0)))).line, 0);
}

void tst_Review::valueEditedTellsItsEntryOnly()
{
    QStringList lines;
    for (int i = 0; i < 50; ++i)
        lines << usualLine(QString::number(i + 1), {"6=１"});
    load(lines);
    model->SetActive(true);
    const QModelIndex group = model->index(0, 0, model->index(0, 0));
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy layouts(model.get(), &QAbstractItemModel::layoutChanged);
    // Still full-width, another value: the same entries.
    QVERIFY(document->SetCell(20, 6, std::string(sjis("２"))) == EditResult::Done);
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(layouts.count(), 0);
    const QModelIndex first = changed[0][0].value<QModelIndex>();
    const QModelIndex last = changed[0][1].value<QModelIndex>();
    QCOMPARE(first.parent(), group);
    QCOMPARE(first.row(), 20);
    QCOMPARE(last.row(), 20);
    QCOMPARE(model->index(20, ReviewModel::ValueColumn, group).data().toString(), QStringLiteral("２"));
}

void tst_Review::keptIndexFollowsItsEntry()
{
    QStringList lines;
    for (int i = 0; i < 5; ++i)
        lines << usualLine(QString::number(i + 1), {"6=１"});
    load(lines);
    model->SetActive(true);
    const QModelIndex group = model->index(0, 0, model->index(0, 0));
    const QPersistentModelIndex fourth(model->index(3, ReviewModel::ValueColumn, group));
    QCOMPARE(placeText(model->PlaceOf(fourth)), QStringLiteral("4:6"));
    // The first entry goes: the kept one is the same cell, a row up.
    QVERIFY(document->SetCell(0, 6, "1") == EditResult::Done);
    model->Refresh();
    QCOMPARE(placeText(model->PlaceOf(fourth)), QStringLiteral("4:6"));
    QCOMPARE(fourth.row(), 2);
    QCOMPARE(fourth.column(), int(ReviewModel::ValueColumn));
    // Its own cell fixed: the next one after it.
    QVERIFY(document->SetCell(3, 6, "4") == EditResult::Done);
    model->Refresh();
    QCOMPARE(placeText(model->PlaceOf(fourth)), QStringLiteral("5:6"));
    // No entry after it: the last one.
    QVERIFY(document->SetCell(4, 6, "5") == EditResult::Done);
    model->Refresh();
    QCOMPARE(placeText(model->PlaceOf(fourth)), QStringLiteral("3:6"));
}

void tst_Review::closedListGathersNothing()
{
    load({usualLine("1", {"6=１"})});
    QCOMPARE(model->rowCount(), 0);
    model->SetActive(true);
    QCOMPARE(model->rowCount(), 1);
    model->SetActive(false);
    QCOMPARE(model->rowCount(), 0);
    QSignalSpy layouts(model.get(), &QAbstractItemModel::layoutChanged);
    QVERIFY(document->SetCell(0, 6, "２") == EditResult::Done);
    QCoreApplication::processEvents();
    QCOMPARE(layouts.count(), 0);
    QCOMPARE(model->rowCount(), 0);
    model->SetActive(true);
    QCOMPARE(treeText(*model), QStringLiteral("errors 1 {fullWidth 1 [1:6]}"));
}

void tst_Review::headerAndFormatEntries()
{
    // A name whose license number and month break their rules, and a file
    // whose lines end
    // in LF alone, one of them with a value past the 19th field.
    const QByteArray content = fileLine(usualLine("1")).replace("\r\n", "\n")
            + fileLine(usualLine("2")).replace("\r\n", "\tmore\n");
    QVERIFY(writeFile(dir->filePath("ABCDE-GHIJ202413TEST.dat"), content));
    QVERIFY(file->Load(dir->filePath("ABCDE-GHIJ202413TEST.dat")).Ok());
    model->SetActive(true);
    QCOMPARE(treeText(*model), QStringLiteral("errors 4 {header 2 [box 0 box 1] format 2 [line 1 line 2]}"));
    // What a save changes is gone once a save has written it; the header
    // values stay what they are.
    QVERIFY(file->Save(dir->filePath("1234567890202404TEST.dat")).Written());
    QTRY_COMPARE(treeText(*model), QStringLiteral("errors 2 {header 2 [box 0 box 1]}"));
}

// ---- The fixes ----------------------------------------------------------------

void tst_Review::widthFix_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fixed");

    QTest::newRow("digits") << 6 << "１２３４" << "1234";
    QTest::newRow("letters and symbols") << 0 << "ＡｂＣ－＋（）" << "AbC-+()";
    QTest::newRow("ideographic space") << 6 << "１　２" << "1 2";
    QTest::newRow("tilde and wave dash of code page 932") << 6 << "～" << "~";
    QTest::newRow("kanji stays") << 6 << "１漢" << "1漢";
    QTest::newRow("half-width katakana before") << 0 << "ｱ１" << "ｱ1";
    QTest::newRow("a trail byte that looks like a lead byte") << 0 << "奄`" << "奄`";
    QTest::newRow("a field that takes full-width") << 7 << "ＡＢ１" << "ＡＢ１";
    QTest::newRow("nothing full-width") << 6 << "1234" << "1234";
    QTest::newRow("last field") << 18 << "９" << "9";
}

void tst_Review::widthFix()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, fixed);

    load({usualLine("1", {QStringLiteral("%1=%2").arg(field).arg(value)})});
    const std::string before = std::string(document->Cell(0, field));
    const int steps = document->UndoStack()->count();
    const CellFix::Result result = WidthFix().Apply(*document);
    QCOMPARE(ShiftJis::ToText(document->Cell(0, field)), fixed);
    QCOMPARE(result.changed, std::uint64_t(value != fixed ? 1 : 0));
    QCOMPARE(document->UndoStack()->count(), steps + (value != fixed ? 1 : 0));
    QCOMPARE(verdictMismatch(*document), QString());
    if (value != fixed) {
        QVERIFY(document->Undo() == EditResult::Done);
        QCOMPARE(bytes(document->Cell(0, field)), bytes(before));
    }
}

void tst_Review::trimFix_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fixed");

    QTest::newRow("half-width spaces") << 7 << "  title " << "title";
    QTest::newRow("full-width spaces") << 7 << "　歌　" << "歌";
    QTest::newRow("both kinds mixed") << 9 << " 　山田 太郎　 " << "山田 太郎";
    QTest::newRow("spaces only") << 8 << " 　 " << "";
    QTest::newRow("inner spaces stay") << 7 << "a b" << "a b";
    QTest::newRow("a 0x40 trail byte is no space") << 7 << "x院" << "x院";
    QTest::newRow("an 0x81 0x40 across two characters") << 7 << "x堰@" << "x堰@";
    QTest::newRow("key code") << 0 << " 1" << "1";
}

void tst_Review::trimFix()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, fixed);

    load({usualLine("1", {QStringLiteral("%1=%2").arg(field).arg(value)})});
    const CellFix::Result result = TrimFix().Apply(*document);
    QCOMPARE(ShiftJis::ToText(document->Cell(0, field)), fixed);
    QCOMPARE(result.changed, std::uint64_t(value != fixed ? 1 : 0));
}

void tst_Review::noteFix_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("fixed");

    const auto row = [](const char *name, NoteKind kind, const QString &value, const QString &fixed) {
        QTest::newRow(name) << int(kind) << int(qnVelTorDataNotes::Field(kind)) << value << fixed;
    };
    row("IVT lower case", NoteKind::IvtCategory, "v", "V");
    row("IVT letter of no rule left", NoteKind::IvtCategory, "x", "x");
    row("content category", NoteKind::ContentCategory, "q", "Q");
    row("medley category", NoteKind::MedleyCategory, "m", "M");
    row("collect code emptied", NoteKind::CollectCodeFilled, "1", "");
    row("IL category emptied", NoteKind::IlCategoryFilled, "I", "");
    row("content sub-number padded", NoteKind::ContentSubNumber, "1", "001");
    row("medley sub-number padded", NoteKind::MedleySubNumber, "12", "012");
    row("sub-number letter left", NoteKind::MedleySubNumber, "a", "a");
    row("work code hyphen", NoteKind::WorkCodeNotNumber, "1234-567", "1234567");
    row("work code letter left", NoteKind::WorkCodeNotNumber, "12a-4", "12a-4");
    row("fee empty", NoteKind::InformationFeeNotNumber, "", "0");
    row("fee with a comma", NoteKind::InformationFeeNotNumber, "1,000", "1000");
    row("requests empty", NoteKind::RequestCountNotNumber, "", "0");
}

void tst_Review::noteFix()
{
    QFETCH(int, kind);
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, fixed);

    QVERIFY(NoteFix::Offered(NoteKind(kind)));
    // The line around holds a value of the same kind's rule elsewhere: only
    // the fix's own field changes.
    load({usualLine("1", {QStringLiteral("%1=%2").arg(field).arg(value), "1=q", "5=1"})});
    const QStringList others = fieldsOf(*document, 0);
    const CellFix::Result result = NoteFix(NoteKind(kind)).Apply(*document);
    QCOMPARE(ShiftJis::ToText(document->Cell(0, field)), fixed);
    QCOMPARE(result.changed, std::uint64_t(value != fixed ? 1 : 0));
    QStringList expected = others;
    expected[field] = fixed;
    QCOMPARE(fieldsOf(*document, 0), expected);
}

void tst_Review::fixIsOneStepOverItsScope_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("whole report") << 0 << -1 << 0 << -1
                                  << QStringList{"1||||||12", "2||||||34", "3||||||56"};
    QTest::newRow("lines of a block") << 1 << 1 << 0 << -1
                                      << QStringList{"１||||||１２", "2||||||34", "３||||||５６"};
    QTest::newRow("fields of a block") << 0 << -1 << 6 << 6
                                       << QStringList{"１||||||12", "２||||||34", "３||||||56"};
}

void tst_Review::fixIsOneStepOverItsScope()
{
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(QStringList, lines);

    const QByteArray original = fileLines({"１||||||１２", "２||||||３４", "３||||||５６"});
    QVERIFY(loadReport(*file, *dir, original));
    const std::uint64_t errorsBefore = document->Verdicts().ErrorCellCount();
    QSignalSpy changed(&document->Content(), &ReportContent::cellsChanged);
    const CellFix::Result result = WidthFix().Apply(*document, {top, bottom, left, right});
    QCOMPARE(lineTexts(*document), lines);
    QCOMPARE(document->UndoStack()->count(), 1);
    QCOMPARE(document->UndoStack()->undoText(), WidthFix().Text());
    QCOMPARE(errorsBefore - document->Verdicts().ErrorCellCount(), result.changed);
    QCOMPARE(verdictMismatch(*document), QString());
    // Only changed lines are told.
    for (const QList<QVariant> &arguments : changed)
        QVERIFY(arguments[0].toInt() >= std::max(top, 0));
    QVERIFY(document->Undo() == EditResult::Done);
    const QString saved = dir->filePath("1234567890202404SAVED.dat");
    QVERIFY(file->Save(saved).Written());
    QCOMPARE(readFile(saved), original);
}

void tst_Review::fixRefusedWhereResultWouldNotFit()
{
    // Eleven digits in the 10 of the work code, and a cell that would fit.
    load({usualLine("1", {"6=１"}), usualLine("2", {"6=" + QString(11, u'１')})});
    const QStringList before = lineTexts(*document);
    const CellFix::Result result = WidthFix().Apply(*document);
    QVERIFY(result.refused);
    QCOMPARE(result.line, 1);
    QCOMPARE(result.field, 6);
    QCOMPARE(result.changed, std::uint64_t(0));
    QCOMPARE(lineTexts(*document), before);
    QCOMPARE(document->UndoStack()->count(), 0);
    // Ten fit.
    QVERIFY(document->SetCell(1, 6, std::string(sjis(QString(10, u'１')))) == EditResult::Done);
    QCOMPARE(WidthFix().Apply(*document).changed, std::uint64_t(2));
}

QTEST_MAIN(tst_Review)
#include "tst_review.moc"
