// The report with no window: every kind of step done, undone and redone,
// typing into a cell and into the new-line position, the header values,
// blocks of cells as spreadsheets copy them, and the invalid cells counted.
// After every step, undo and redo the verdicts must be exactly what the
// cells' texts deserve.

#include "BulkEdits.h"
#include "DocumentSupport.h"
#include "ReportDocument.h"
#include "ReportReplace.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <cstdio>
#include <memory>

using namespace TestSupport;

namespace {

// The invalid cells and the lines holding them, "3/2".
QString errorCounts(const ReportDocument &document)
{
    return QStringLiteral("%1/%2").arg(document.Verdicts().ErrorCellCount()).arg(document.Verdicts().ErrorRowCount());
}

} // namespace

class tst_Document : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void undoEveryStep_data();
    void undoEveryStep();
    void typingIntoNewLinePositionIsOneStep();
    void typingGivenUpLeavesNoLine();
    void headerEditsMergeAndUndo();
    void modifiedFollowsCleanState();
    void clearAndLoadStartAfresh();
    void pasteSpreadsheetBlock();
    void pasteNeverStoresControls();
    void copyBlockAsSpreadsheetText();
    void errorCountsThroughEdits();

private:
    void load(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportFile> file;
};

void tst_Document::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    document = std::make_unique<ReportDocument>();
    file = std::make_unique<ReportFile>(*document);
}

void tst_Document::cleanup()
{
    file.reset();
    document.reset();
    dir.reset();
}

void tst_Document::load(const QByteArray &content)
{
    QVERIFY(loadReport(*file, *dir, content));
}

// Each kind of step: done, undone back to exactly the loaded report with
// its verdicts, and redone to exactly what it had made.
void tst_Document::undoEveryStep_data()
{
    QTest::addColumn<QString>("step");
    for (const char *step : {"cell edit", "cell emptied", "insert line", "insert at the new-line position",
                             "delete line", "cut line", "paste line", "move down", "move up", "block paste",
                             "block paste adding lines", "spreadsheet block with quoted breaks", "block clear",
                             "insert lines", "insert lines at the end", "delete lines", "cut lines to the end",
                             "renumber", "renumber lines", "fill down", "fill down one line", "sort",
                             "sort descending by two fields", "sort rotating three lines", "replace all",
                             "replace all folding width and case", "replace one", "import"})
        QTest::newRow(step) << QString::fromLatin1(step);
}

void tst_Document::undoEveryStep()
{
    QFETCH(QString, step);
    load(fileLine("10|QQ|000") + fileLine("9||000|M||||ABC") + fileLine("3|||||||TOOLONG" + QString(60, u'x')));
    ReportDocument &d = *document;
    const QUndoStack *stack = d.UndoStack();
    const QStringList before = linesWithErrors(d);
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(!stack->canUndo());

    const QString block = QStringLiteral("a\tQQ\r\nb\t\r\n");
    if (step == "cell edit") {
        typeCell(d, 1, 1, QStringLiteral("QQQ"));
    } else if (step == "cell emptied") {
        typeCell(d, 0, 1, QString());
    } else if (step == "insert line") {
        QCOMPARE(d.InsertLine(1), EditResult::Done);
    } else if (step == "insert at the new-line position") {
        QCOMPARE(d.InsertLine(3), EditResult::Done);
    } else if (step == "delete line" || step == "cut line") {
        QCOMPARE(d.RemoveLine(0, step == "cut line" ? ReportDocument::LineStep::Cut : ReportDocument::LineStep::Delete), EditResult::Done);
    } else if (step == "paste line") {
        QCOMPARE(d.InsertLine(0, d.LineCells(2), ReportDocument::LineStep::Paste), EditResult::Done);
    } else if (step == "move down") {
        QCOMPARE(d.MoveLine(0, 2), EditResult::Done);
    } else if (step == "move up") {
        QCOMPARE(d.MoveLine(2, 0), EditResult::Done);
    } else if (step == "block paste" || step == "block paste adding lines") {
        QVERIFY(ReportBlocks(d).Paste(step == "block paste" ? 0 : 2, 0, block).changed);
    } else if (step == "spreadsheet block with quoted breaks") {
        QVERIFY(ReportBlocks(d).Paste(1, 0, QStringLiteral("\"x\ny\"\t\"Q\"\"\"\r\n\"\"\tM\r\nz\tQ")).changed);
    } else if (step == "block clear") {
        QVERIFY(ReportBlocks(d).Clear({0, 0, 2, 7}) == EditResult::Done);
    } else if (step == "insert lines" || step == "insert lines at the end") {
        QCOMPARE(d.InsertLines(step == "insert lines" ? 1 : 3, 2), EditResult::Done);
    } else if (step == "delete lines") {
        QCOMPARE(d.RemoveLines(0, 2), EditResult::Done);
    } else if (step == "cut lines to the end") {
        QCOMPARE(d.RemoveLines(1, 5, ReportDocument::LineStep::Cut), EditResult::Done);
    } else if (step == "renumber") {
        QCOMPARE(BulkEdits::Renumber(d, 0, d.LineCount() - 1, 1).changed, 2u);
    } else if (step == "renumber lines") {
        QCOMPARE(BulkEdits::Renumber(d, 1, 2, BulkEdits::NumberFrom(d, 1)).changed, 1u);
    } else if (step == "fill down") {
        QCOMPARE(BulkEdits::FillDown(d, 0, 1, 2, 2).invalid, 2u);
    } else if (step == "fill down one line") {
        QCOMPARE(BulkEdits::FillDown(d, 2, 0, 2, 7).changed, 4u);
    } else if (step == "sort") {
        QCOMPARE(BulkEdits::Sort(d, {{0, false}}).changed, 2u);
    } else if (step == "sort descending by two fields") {
        QCOMPARE(BulkEdits::Sort(d, {{2, true}, {7, true}}).changed, 2u);
    } else if (step == "sort rotating three lines") {
        // Line 2, with field 2 empty, goes first: undone by the inverse order.
        QCOMPARE(BulkEdits::Sort(d, {{2, false}}).changed, 3u);
    } else if (step == "replace all" || step == "replace all folding width and case") {
        const bool fold = step != "replace all";
        ReportReplace replace(d, fold ? QStringLiteral("ａｂ") : QStringLiteral("AB"), QStringLiteral("曲"),
                              TextFolding(!fold, fold), {});
        QCOMPARE(replace.ReplaceAll().replaced, 1u);
    } else if (step == "replace one") {
        ReportReplace replace(d, QStringLiteral("0"), QStringLiteral("1"), TextFolding(true, false), {});
        // From the middle of line 1 on, wrapping to the key code of line 0.
        ReportReplace::Match match = replace.FindFrom(1, 3);
        QCOMPARE(QStringLiteral("%1:%2:%3").arg(match.line).arg(match.field).arg(match.start), QStringLiteral("0:0:1"));
        QCOMPARE(replace.ReplaceOne(match).replaced, 1u);
        QCOMPARE(QStringLiteral("%1:%2:%3").arg(match.line).arg(match.field).arg(match.start), QStringLiteral("0:2:0"));
    } else if (step == "import") {
        const QString csv = dir->filePath(QStringLiteral("lines.csv"));
        QVERIFY(writeFile(csv, QStringLiteral("\uFEFF5,QQ,000\r\n,,,\r\n6\r\n").toUtf8()));
        QVERIFY(file->Import(csv).Ok());
    }
    const QStringList after = linesWithErrors(d);
    QVERIFY2(after != before, qPrintable(after.join(u'/')));
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(d.IsModified());
    QCOMPARE(stack->count(), 1);

    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), before);
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(!d.IsModified());
    QVERIFY(!stack->canUndo());
    QVERIFY(stack->canRedo());

    QCOMPARE(d.Redo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), after);
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(d.IsModified());

    // Twice round, so that a step that keeps stale state shows it.
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), before);
    QCOMPARE(d.Redo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), after);
    QCOMPARE(verdictMismatch(d), QString());
}

void tst_Document::typingIntoNewLinePositionIsOneStep()
{
    ReportDocument &d = *document;
    QSignalSpy inserted(&d.Content(), &ReportContent::linesInserted);
    QSignalSpy verdicts(&d.Content(), &ReportContent::verdictsChanged);
    QSignalSpy cells(&d.Content(), &ReportContent::cellsChanged);
    // Keystroke by keystroke, then the commit: the first keystroke makes
    // the line, each is checked once, and the commit is checked once more.
    for (const QString &text : {QStringLiteral("Q"), QStringLiteral("QQ"), QStringLiteral("QQQ")})
        d.Typing().Type(0, 1, text);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0), (QVariantList{0, 1}));
    QCOMPARE(d.Verdicts().RowCount(), 1u);
    QVERIFY(d.IsModified());
    QCOMPARE(d.Typing().Commit(0, 1, QStringLiteral("QQ")), EditResult::Done);
    d.Typing().End();
    QCOMPARE(verdicts.count(), 3);
    QCOMPARE(cells.count(), 1);
    QCOMPARE(inserted.count(), 1);
    // The next new-line position grows the report once more.
    typeCell(d, 1, 7, QStringLiteral("曲"));
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(linesWithErrors(d), QStringList({"|QQ [1]", "|||||||曲"}));
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(d.UndoStack()->count(), 2);

    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), QStringList({"|QQ [1]"}));
    QCOMPARE(d.Undo(), EditResult::Done);
    // The line the typing made is gone with it.
    QCOMPARE(linesWithErrors(d), QStringList());
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(!d.IsModified());
    QCOMPARE(d.Redo(), EditResult::Done);
    QCOMPARE(d.Redo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), QStringList({"|QQ [1]", "|||||||曲"}));
    QCOMPARE(verdictMismatch(d), QString());
}

void tst_Document::typingGivenUpLeavesNoLine()
{
    ReportDocument &d = *document;
    load(fileLine("1|QQ"));
    for (const QString &text : {QStringLiteral("Q"), QStringLiteral("QQ"), QStringLiteral("QQQ")})
        d.Typing().Type(1, 1, text);
    QCOMPARE(d.LineCount(), 2);
    QVERIFY(d.IsModified());
    d.Typing().End();
    QCOMPARE(linesWithErrors(d), QStringList({"1|QQ [1]"}));
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(!d.IsModified());
    QCOMPARE(d.UndoStack()->count(), 0);

    // Given up on a line that exists: its own verdict comes back.
    d.Typing().Type(0, 1, QStringLiteral("Q"));
    QVERIFY(!d.Verdicts().IsError(0, 1));
    d.Typing().End();
    QCOMPARE(linesWithErrors(d), QStringList({"1|QQ [1]"}));
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(!d.IsModified());
}

void tst_Document::headerEditsMergeAndUndo()
{
    ReportDocument &d = *document;
    load(fileLine("1"));
    const auto number = ReportDocument::SyoudakuBangou;
    const auto free = ReportDocument::NiniMoziretsu;
    QCOMPARE(d.HeaderText(number), QStringLiteral("1234567890"));
    // Keystrokes in one box while the session lasts are one step.
    for (const char *text : {"12345678901", "123456789012", "12345678901"})
        QCOMPARE(d.SetHeaderText(number, QString::fromLatin1(text), 1), EditResult::Done);
    QCOMPARE(d.Header(number), std::string("12345678901"));
    QCOMPARE(d.UndoStack()->count(), 1);
    QVERIFY(d.IsModified());
    QCOMPARE(d.SetHeaderText(free, QStringLiteral("TESTZ"), 1), EditResult::Done);
    QCOMPARE(d.UndoStack()->count(), 2);

    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(d.HeaderText(free), QStringLiteral("TEST"));
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(d.HeaderText(number), QStringLiteral("1234567890"));
    QVERIFY(!d.IsModified());
    QCOMPARE(d.Redo(), EditResult::Done);
    QCOMPARE(d.HeaderText(number), QStringLiteral("12345678901"));
    // The same box in a later session is a step of its own.
    QCOMPARE(d.SetHeaderText(number, QStringLiteral("123456789012"), 2), EditResult::Done);
    QCOMPARE(d.UndoStack()->count(), 2);

    // Typed and taken back again leaves no step.
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(d.SetHeaderText(free, QStringLiteral("TEST9"), 3), EditResult::Done);
    QCOMPARE(d.SetHeaderText(free, QStringLiteral("TEST"), 3), EditResult::Done);
    QCOMPARE(d.HeaderText(free), QStringLiteral("TEST"));
    QCOMPARE(d.UndoStack()->index(), 0);
    QVERIFY(!d.IsModified());
}

void tst_Document::modifiedFollowsCleanState()
{
    ReportDocument &d = *document;
    load(fileLine("1"));
    QSignalSpy changes(&d, &ReportDocument::modifiedChanged);
    typeCell(d, 0, 7, QStringLiteral("A"));
    typeCell(d, 0, 7, QStringLiteral("B"));
    QVERIFY(file->Save(dir->filePath(QStringLiteral("saved.dat"))).Written());
    QVERIFY(!d.IsModified());

    QCOMPARE(d.Undo(), EditResult::Done);
    QVERIFY(d.IsModified());
    QCOMPARE(d.Redo(), EditResult::Done); // back to what was saved
    QVERIFY(!d.IsModified());
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(lineText(d, 0), QStringLiteral("1"));
    QVERIFY(d.IsModified());
    QList<bool> told;
    for (const QList<QVariant> &change : changes)
        told << change.at(0).toBool();
    QCOMPARE(told, QList<bool>({true, false, true, false, true}));
}

void tst_Document::clearAndLoadStartAfresh()
{
    ReportDocument &d = *document;
    load(fileLine("1"));
    typeCell(d, 0, 7, QStringLiteral("A"));
    d.Clear();
    QCOMPARE(d.UndoStack()->count(), 0);
    QCOMPARE(d.LineCount(), 0);
    QVERIFY(!d.IsModified());

    typeCell(d, 0, 0, QStringLiteral("2"));
    QCOMPARE(d.Undo(), EditResult::Done);
    QVERIFY(d.UndoStack()->canRedo());
    load(fileLine("3"));
    QCOMPARE(d.UndoStack()->count(), 0);
    QVERIFY(!d.UndoStack()->canRedo());
    QVERIFY(!d.IsModified());
}

// As a spreadsheet puts it on the clipboard: TAB between cells, CR LF after
// every line. Filled from the given cell to the right and down.
void tst_Document::pasteSpreadsheetBlock()
{
    ReportDocument &d = *document;
    load(fileLine("1|||||||keep") + fileLine("2"));
    const auto counts = [](const ReportBlocks::PasteResult &result) {
        return QStringLiteral("%1 pasted, %2 invalid, %3 refused, %4 outside; lines %5-%6, fields %7-%8")
                .arg(result.pasted)
                .arg(result.invalid)
                .arg(result.refused)
                .arg(result.outside)
                .arg(result.block.top)
                .arg(result.block.bottom)
                .arg(result.block.left)
                .arg(result.block.right);
    };
    ReportBlocks::PasteResult result = ReportBlocks(d).Paste(1, 7, QStringLiteral("曲A\t作詞\t\r\nB\tｶﾅ\t〜x\r\n\r\nC\r\n"));
    QCOMPARE(linesWithErrors(d), QStringList({"1|||||||keep", "2|||||||曲A|作詞", "|||||||B|ｶﾅ|～x", "", "|||||||C"}));
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(counts(result), QStringLiteral("8 pasted, 0 invalid, 0 refused, 0 outside; lines 1-4, fields 7-9"));
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), QStringList({"1|||||||keep", "2"}));

    // Past the last field nothing is written; a value code page 932 lacks
    // is refused; an invalid one is kept and framed.
    result = ReportBlocks(d).Paste(0, 15, QStringLiteral("QQ\tV\tx\ty\tz\r\n\U0001F600\tI"));
    QCOMPARE(linesWithErrors(d), QStringList({"1|||||||keep||||||||QQ|V|x|y [15]", "2||||||||||||||||I"}));
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(counts(result), QStringLiteral("5 pasted, 1 invalid, 1 refused, 1 outside; lines 0-1, fields 15-18"));
}

void tst_Document::pasteNeverStoresControls()
{
    ReportDocument &d = *document;
    // A lone CR ends a line like CR LF and LF; 0x1A is dropped.
    QVERIFY(ReportBlocks(d).Paste(0, 7, QStringLiteral("a\x1A" "b\rc\nd\r\n")).changed);
    QCOMPARE(linesWithErrors(d), QStringList({"|||||||ab", "|||||||c", "|||||||d"}));
    for (int line = 0; line < d.LineCount(); ++line) {
        for (int field = 0; field < int(FieldCount); ++field)
            QVERIFY(d.Cell(line, field).find_first_of("\t\r\n\x1A") == std::string_view::npos);
    }
}

void tst_Document::copyBlockAsSpreadsheetText()
{
    ReportDocument &d = *document;
    // A cell that starts with a quote goes quoted, or a paste would take
    // the quotes for quoting and drop them.
    load(fileLine(QStringLiteral("1|||||||\"曲名\"|副")) + fileLine("2|||||||||x\"y") + fileLine("3"));
    const QString copied = ReportBlocks(d).Text({0, 7, 1, 9});
    QCOMPARE(copied, QStringLiteral("\"\"\"曲名\"\"\"\t副\t\r\n\t\tx\"y"));

    // What was copied pastes back cell for cell.
    QVERIFY(ReportBlocks(d).Paste(2, 7, copied).changed);
    QCOMPARE(lineText(d, 2), QStringLiteral("3|||||||\"曲名\"|副"));
    QCOMPARE(lineText(d, 3), QStringLiteral("|||||||||x\"y"));

    // Clearing a block is one step.
    const int steps = d.UndoStack()->count();
    QVERIFY(ReportBlocks(d).Clear({0, 7, 0, 8}) == EditResult::Done);
    QCOMPARE(lineText(d, 0), QStringLiteral("1"));
    QCOMPARE(d.UndoStack()->count(), steps + 1);
}

void tst_Document::errorCountsThroughEdits()
{
    ReportDocument &d = *document;
    load(fileLine("1|QQ|0000") + fileLine("2") + fileLine("3||||||12345678901"));
    QCOMPARE(errorCounts(d), QStringLiteral("3/2"));
    typeCell(d, 1, 3, QStringLiteral("MM"));
    QCOMPARE(errorCounts(d), QStringLiteral("4/3"));
    typeCell(d, 0, 1, QStringLiteral("Q"));
    QCOMPARE(errorCounts(d), QStringLiteral("3/3"));
    QCOMPARE(d.RemoveLine(0), EditResult::Done);
    QCOMPARE(errorCounts(d), QStringLiteral("2/2"));
    QCOMPARE(d.InsertLine(0), EditResult::Done);
    QCOMPARE(d.MoveLine(1, 0), EditResult::Done);
    QCOMPARE(errorCounts(d), QStringLiteral("2/2"));
    QCOMPARE(verdictMismatch(d), QString());
    while (d.UndoStack()->canUndo())
        QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(errorCounts(d), QStringLiteral("3/2"));
    QCOMPARE(verdictMismatch(d), QString());
    d.Clear();
    QCOMPARE(errorCounts(d), QStringLiteral("0/0"));
}

QTEST_GUILESS_MAIN(tst_Document)
#include "tst_document.moc"
