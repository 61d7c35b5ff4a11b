// Undo and redo of every kind of step, blocks of cells on the clipboard, and
// the invalid cells at a glance. After every undo and redo the verdicts must
// be exactly what the cells' texts deserve, and the count in the status bar
// must agree with them.

#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

namespace {

constexpr int Fields = int(FieldCount);

class AnsweringDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        boxes << box.text();
        return QMessageBox::Ok;
    }
    QString ExecFileDialog(QFileDialog &) override { return savePath; }
    void ExecAbout(TAboutBox &) override {}

    QStringList boxes;
    QString savePath;
};

// A line given by its leading fields, "1||Q" style.
QByteArray fileLine(const QString &leading)
{
    QStringList cells = leading.split(u'|');
    while (cells.size() < Fields)
        cells << QString();
    return QByteArray::fromStdString(*ShiftJis::FromText(cells.join(u'\t'))) + "\r\n";
}

QString rowText(const TVelTorForm &form, int record)
{
    QStringList cells;
    for (int field = 0; field < Fields; ++field)
        cells << ShiftJis::ToText(form.Model->Cell(record, field));
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells.join(u'|');
}

// Every line with its invalid fields, e.g. "1|QQ [1]"; the new-line row last.
QStringList state(const TVelTorForm &form)
{
    QStringList rows;
    for (int record = 0; record < form.Model->rowCount(); ++record) {
        QStringList errors;
        for (int field = 0; field < Fields; ++field) {
            if (form.CellAttrs.IsError(unsigned(record), unsigned(field)))
                errors << QString::number(field);
        }
        rows << rowText(form, record) + (errors.isEmpty() ? QString() : " [" + errors.join(u',') + "]");
    }
    return rows;
}

// Empty when the matrix has a row per line, every verdict and message is
// the one the cell's text deserves, and the count in the status bar agrees.
QString verdictMismatch(const TVelTorForm &form)
{
    const int lines = form.Model->rowCount() - 1;
    if (int(form.CellAttrs.RowCount()) != lines)
        return QStringLiteral("matrix rows %1, lines %2").arg(form.CellAttrs.RowCount()).arg(lines);
    int cells = 0;
    int errorLines = 0;
    for (int record = 0; record < lines; ++record) {
        bool lineHasError = false;
        for (int field = 0; field < Fields; ++field) {
            std::string message;
            const bool valid = form.Attributes.Validate(unsigned(field), form.Model->Cell(record, field), message);
            if (form.CellAttrs.IsError(unsigned(record), unsigned(field)) == valid
                || form.CellAttrs.GetErrorMessage(unsigned(record), unsigned(field)) != message)
                return QStringLiteral("verdict of %1:%2").arg(record).arg(field);
            cells += valid ? 0 : 1;
            lineHasError = lineHasError || !valid;
        }
        errorLines += lineHasError ? 1 : 0;
    }
    const QString label = cells ? QStringLiteral("エラー %1 個（%2 行）").arg(cells).arg(errorLines)
                                : QStringLiteral("エラーなし");
    if (form.ErrorCount->text() != label)
        return QStringLiteral("count shows %1, cells give %2").arg(form.ErrorCount->text(), label);
    return {};
}

// What the delegate does for each keystroke and at the end of an edit.
void type(TVelTorForm &form, int record, int field, const QString &text)
{
    form.VelTorGridSetEditText(form.FieldToGridCol(field), form.RecordToGridRow(record), text);
    form.Model->setData(form.Model->index(record, field), text);
}

void setCurrent(TVelTorForm &form, int record, int field)
{
    form.SetCurrentCell(form.FieldToGridCol(field), form.RecordToGridRow(record));
}

void selectBlock(TVelTorForm &form, int top, int left, int bottom, int right)
{
    setCurrent(form, top, left);
    form.VelTorGrid->selectionModel()->select(
            QItemSelection(form.Model->index(top, left), form.Model->index(bottom, right)),
            QItemSelectionModel::ClearAndSelect);
}

} // namespace

class tst_Undo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void undoEveryStep_data();
    void undoEveryStep();
    void typingIntoNewLineRowIsOneStep();
    void typingGivenUpLeavesNoLine();
    void headerEditsMergeAndUndo();
    void modifiedFollowsCleanState();
    void newAndOpenStartAfresh();
    void pasteSpreadsheetBlock();
    void pasteNeverStoresControls();
    void copyBlockAsSpreadsheetText();
    void blockKeysInTheGrid();
    void errorCountThroughEdits();
    void nextErrorOrderWithWrap();
    void loadReportsCountsAndDroppedFields();

private:
    void load(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<AnsweringDialogs> dialogs;
    std::unique_ptr<TVelTorForm> form;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

void tst_Undo::init()
{
    dir = std::make_unique<QTemporaryDir>();
    dialogs = std::make_unique<AnsweringDialogs>();
    form = std::make_unique<TVelTorForm>();
    form->SetDialogs(dialogs.get());
    tester = std::make_unique<QAbstractItemModelTester>(form->Model,
                                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void tst_Undo::cleanup()
{
    tester.reset();
    form->SetDialogs(nullptr);
    form->UndoStack->setClean(); // no save question on the way out
    form.reset();
    dialogs.reset();
    dir.reset();
}

void tst_Undo::load(const QByteArray &content)
{
    const QString path = dir->filePath(QStringLiteral("1234567890202404A.dat"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
    file.close();
    QVERIFY(form->LoadReport(path));
}

// Each kind of step: done, undone back to exactly the loaded report with
// its verdicts, and redone to exactly what it had made.
void tst_Undo::undoEveryStep_data()
{
    QTest::addColumn<QString>("step");
    for (const char *step : {"cell edit", "cell emptied", "insert line", "insert on new-line row", "delete line",
                             "cut line", "paste line", "drag down", "drag up", "block paste", "block paste adding lines",
                             "block clear"})
        QTest::newRow(step) << QString::fromLatin1(step);
}

void tst_Undo::undoEveryStep()
{
    QFETCH(QString, step);
    load(fileLine("1|QQ|000") + fileLine("2||000|M||||ABC") + fileLine("3|||||||TOOLONG" + QString(60, u'x')));
    TVelTorForm &f = *form;
    const QStringList before = state(f);
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(!f.EditUndo->isEnabled());

    if (step == "cell edit") {
        type(f, 1, 1, QStringLiteral("QQQ"));
    } else if (step == "cell emptied") {
        type(f, 0, 1, QString());
    } else if (step == "insert line") {
        setCurrent(f, 1, 3);
        f.EditInsertLine->trigger();
    } else if (step == "insert on new-line row") {
        setCurrent(f, 3, 0);
        f.EditInsertLine->trigger();
    } else if (step == "delete line" || step == "cut line") {
        setCurrent(f, 0, 4);
        (step == "cut line" ? f.EditCutLine : f.EditDeleteLine)->trigger();
    } else if (step == "paste line") {
        setCurrent(f, 2, 0);
        f.EditCopyLine->trigger();
        QVERIFY(!f.EditUndo->isEnabled()); // copying changes nothing
        setCurrent(f, 0, 0);
        f.EditPasteLine->trigger();
    } else if (step == "drag down") {
        f.VelTorGridRowMoved(1, 3);
    } else if (step == "drag up") {
        f.VelTorGridRowMoved(3, 1);
    } else if (step == "block paste" || step == "block paste adding lines") {
        QGuiApplication::clipboard()->setText(QStringLiteral("a\tQQ\r\nb\t\r\n"));
        setCurrent(f, step == "block paste" ? 0 : 2, 0);
        f.BlockPaste();
    } else if (step == "block clear") {
        selectBlock(f, 0, 0, 2, 7);
        f.BlockClear();
    }
    const QStringList after = state(f);
    QVERIFY2(after != before, qPrintable(after.join(u'/')));
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(f.Modified);
    QVERIFY(f.isWindowModified());
    QCOMPARE(f.UndoStack->count(), 1);

    f.EditUndo->trigger();
    QCOMPARE(state(f), before);
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(!f.Modified);
    QVERIFY(!f.isWindowModified());
    QVERIFY(!f.EditUndo->isEnabled());
    QVERIFY(f.EditRedo->isEnabled());

    f.EditRedo->trigger();
    QCOMPARE(state(f), after);
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(f.Modified);

    // Twice round, so that a step that keeps stale state shows it.
    f.EditUndo->trigger();
    QCOMPARE(state(f), before);
    f.EditRedo->trigger();
    QCOMPARE(state(f), after);
    QCOMPARE(verdictMismatch(f), QString());
}

void tst_Undo::typingIntoNewLineRowIsOneStep()
{
    TVelTorForm &f = *form;
    // Keystroke by keystroke, then the commit.
    for (const QString &text : {QStringLiteral("Q"), QStringLiteral("QQ")})
        f.VelTorGridSetEditText(f.FieldToGridCol(1), 1, text);
    f.Model->setData(f.Model->index(0, 1), QStringLiteral("QQ"));
    type(f, 0, 7, QStringLiteral("曲"));
    QCOMPARE(state(f), QStringList({"|QQ||||||曲 [1]", ""}));
    QCOMPARE(verdictMismatch(f), QString());
    QCOMPARE(f.UndoStack->count(), 2);

    f.EditUndo->trigger();
    QCOMPARE(state(f), QStringList({"|QQ [1]", ""}));
    f.EditUndo->trigger();
    // The line the typing made is gone with it.
    QCOMPARE(state(f), QStringList({""}));
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(!f.Modified);
    f.EditRedo->trigger();
    f.EditRedo->trigger();
    QCOMPARE(state(f), QStringList({"|QQ||||||曲 [1]", ""}));
    QCOMPARE(verdictMismatch(f), QString());
}

void tst_Undo::typingGivenUpLeavesNoLine()
{
    TVelTorForm &f = *form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    load(fileLine("1|QQ"));
    setCurrent(f, 1, 1);
    f.VelTorGrid->setFocus();
    f.VelTorGrid->edit(f.VelTorGrid->currentIndex());
    QLineEdit *editor = f.VelTorGrid->Editor();
    QVERIFY(editor);
    QTest::keyClicks(editor, "QQQ");
    QCOMPARE(f.Model->rowCount(), 3);
    QVERIFY(f.Modified);
    QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(!f.VelTorGrid->Editor());
    QCOMPARE(state(f), QStringList({"1|QQ [1]", ""}));
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(!f.Modified);
    QCOMPARE(f.UndoStack->count(), 0);

    // Given up on a line that exists: its own verdict comes back.
    setCurrent(f, 0, 1);
    f.VelTorGrid->edit(f.VelTorGrid->currentIndex());
    editor = f.VelTorGrid->Editor();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "Q");
    QVERIFY(!f.CellAttrs.IsError(0, 1));
    QTest::keyClick(editor, Qt::Key_Escape);
    QCOMPARE(state(f), QStringList({"1|QQ [1]", ""}));
    QCOMPARE(verdictMismatch(f), QString());
    QVERIFY(!f.Modified);
}

void tst_Undo::headerEditsMergeAndUndo()
{
    TVelTorForm &f = *form;
    load(fileLine("1"));
    QCOMPARE(f.SyoudakuBangou->text(), QStringLiteral("1234567890"));
    f.SyoudakuBangou->setFocus();
    f.SyoudakuBangou->end(false);
    QTest::keyClicks(f.SyoudakuBangou, "12");
    QTest::keyClick(f.SyoudakuBangou, Qt::Key_Backspace);
    QCOMPARE(f.SyoudakuBangou->text(), QStringLiteral("12345678901"));
    QCOMPARE(f.UndoStack->count(), 1);
    QVERIFY(f.Modified);
    QTest::keyClicks(f.NiniMoziretsu, "Z");
    QCOMPARE(f.UndoStack->count(), 2);

    f.EditUndo->trigger();
    QCOMPARE(f.NiniMoziretsu->text(), QStringLiteral("A"));
    f.EditUndo->trigger();
    QCOMPARE(f.SyoudakuBangou->text(), QStringLiteral("1234567890"));
    QVERIFY(!f.Modified);
    f.EditRedo->trigger();
    QCOMPARE(f.SyoudakuBangou->text(), QStringLiteral("12345678901"));

    // Typed and taken back again leaves no step.
    f.EditUndo->trigger();
    f.NiniMoziretsu->end(false);
    QTest::keyClicks(f.NiniMoziretsu, "9");
    QTest::keyClick(f.NiniMoziretsu, Qt::Key_Backspace);
    QCOMPARE(f.NiniMoziretsu->text(), QStringLiteral("A"));
    QCOMPARE(f.UndoStack->index(), 0);
    QVERIFY(!f.Modified);
}

void tst_Undo::modifiedFollowsCleanState()
{
    TVelTorForm &f = *form;
    load(fileLine("1"));
    dialogs->savePath = dir->filePath(QStringLiteral("saved.dat"));
    type(f, 0, 7, QStringLiteral("A"));
    type(f, 0, 7, QStringLiteral("B"));
    QVERIFY(f.FileSave1Execute(f.FileSaveAs1));
    QVERIFY(!f.Modified);
    QVERIFY(!f.isWindowModified());

    f.EditUndo->trigger();
    QVERIFY(f.Modified);
    QVERIFY(f.isWindowModified());
    f.EditRedo->trigger(); // back to what was saved
    QVERIFY(!f.Modified);
    QVERIFY(!f.isWindowModified());
    f.EditUndo->trigger();
    f.EditUndo->trigger();
    QCOMPARE(rowText(f, 0), QStringLiteral("1"));
    QVERIFY(f.Modified);
}

void tst_Undo::newAndOpenStartAfresh()
{
    TVelTorForm &f = *form;
    load(fileLine("1"));
    type(f, 0, 7, QStringLiteral("A"));
    f.UndoStack->setClean(); // no save question
    f.FileNew1Execute(f.FileNew1);
    QCOMPARE(f.UndoStack->count(), 0);
    QVERIFY(!f.EditUndo->isEnabled());
    QVERIFY(!f.EditRedo->isEnabled());
    QCOMPARE(state(f), QStringList({""}));

    type(f, 0, 0, QStringLiteral("2"));
    f.EditUndo->trigger();
    QVERIFY(f.EditRedo->isEnabled());
    load(fileLine("3"));
    QCOMPARE(f.UndoStack->count(), 0);
    QVERIFY(!f.EditRedo->isEnabled());
    QVERIFY(!f.Modified);
}

// As a spreadsheet puts it on the clipboard: TAB between cells, CR LF after
// every line. Filled from the current cell to the right and down.
void tst_Undo::pasteSpreadsheetBlock()
{
    TVelTorForm &f = *form;
    load(fileLine("1|||||||keep") + fileLine("2"));
    QGuiApplication::clipboard()->setText(QStringLiteral("曲A\t作詞\t\r\nB\tｶﾅ\t〜x\r\n\r\nC\r\n"));
    setCurrent(f, 1, 7);
    f.BlockPaste();
    QCOMPARE(state(f), QStringList({"1|||||||keep", "2|||||||曲A|作詞", "|||||||B|ｶﾅ|～x", "", "|||||||C", ""}));
    QCOMPARE(verdictMismatch(f), QString());
    QCOMPARE(f.statusBar()->currentMessage(),
             QStringLiteral("8個のセルを貼り付けました（エラー0個、Shift_JISで表せない文字のため拒否0個）。"));
    f.EditUndo->trigger();
    QCOMPARE(state(f), QStringList({"1|||||||keep", "2", ""}));

    // Past the last field nothing is written; a value code page 932 lacks
    // is refused; an invalid one is kept and framed.
    QGuiApplication::clipboard()->setText(QStringLiteral("QQ\tV\tx\ty\tz\r\n\U0001F600\tI"));
    setCurrent(f, 0, 15);
    f.BlockPaste();
    QCOMPARE(state(f), QStringList({"1|||||||keep||||||||QQ|V|x|y [15]", "2||||||||||||||||I", ""}));
    QCOMPARE(verdictMismatch(f), QString());
    QCOMPARE(f.statusBar()->currentMessage(),
             QStringLiteral("5個のセルを貼り付けました（エラー1個、Shift_JISで表せない文字のため拒否1個）。"
                            "最後の項目より右の1個は捨てました。"));
}

void tst_Undo::pasteNeverStoresControls()
{
    TVelTorForm &f = *form;
    // A lone CR ends a line like CR LF and LF; 0x1A is dropped.
    QGuiApplication::clipboard()->setText(QStringLiteral("a\x1A" "b\rc\nd\r\n"));
    setCurrent(f, 0, 7);
    f.BlockPaste();
    QCOMPARE(state(f), QStringList({"|||||||ab", "|||||||c", "|||||||d", ""}));
    for (int record = 0; record < 3; ++record) {
        for (int field = 0; field < Fields; ++field) {
            const std::string_view cell = f.Model->Cell(record, field);
            QVERIFY(cell.find_first_of("\t\r\n\x1A") == std::string_view::npos);
        }
    }
}

void tst_Undo::copyBlockAsSpreadsheetText()
{
    TVelTorForm &f = *form;
    load(fileLine("1|||||||曲名|副") + fileLine("2|||||||||x") + fileLine("3"));
    selectBlock(f, 0, 7, 1, 9);
    f.BlockCopy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("曲名\t副\t\r\n\t\tx"));

    // What was copied pastes back cell for cell.
    setCurrent(f, 2, 7);
    f.BlockPaste();
    QCOMPARE(rowText(f, 2), QStringLiteral("3|||||||曲名|副"));
    QCOMPARE(rowText(f, 3), QStringLiteral("|||||||||x"));

    // Cut puts the same text there and clears the cells, as one step.
    const int steps = f.UndoStack->count();
    selectBlock(f, 0, 7, 0, 8);
    f.BlockCut();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("曲名\t副"));
    QCOMPARE(rowText(f, 0), QStringLiteral("1"));
    QCOMPARE(f.UndoStack->count(), steps + 1);
}

// The keys as a user presses them, with the grid focused and no editor open.
void tst_Undo::blockKeysInTheGrid()
{
    TVelTorForm &f = *form;
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    load(fileLine("1|QQ|000") + fileLine("2|Q|001"));
    f.VelTorGrid->setFocus();
    setCurrent(f, 0, 0);
    QTest::keyClick(f.VelTorGrid, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(f.VelTorGrid, Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(f.EditCopy1->isEnabled());
    QTest::keyClick(f.VelTorGrid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1\tQQ\r\n2\tQ"));
    QTest::keyClick(f.VelTorGrid, Qt::Key_Delete);
    QCOMPARE(state(f), QStringList({"||000", "||001", ""}));
    QVERIFY(!f.VelTorGrid->Editor());
    QTest::keyClick(f.VelTorGrid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(state(f), QStringList({"1|QQ|000 [1]", "2|Q|001", ""}));
    QTest::keyClick(f.VelTorGrid, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(state(f), QStringList({"||000", "||001", ""}));
    QTest::keyClick(f.VelTorGrid, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(state(f), QStringList({"||000", "||001", ""})); // nothing left to redo
    setCurrent(f, 1, 2);
    QTest::keyClick(f.VelTorGrid, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(state(f), QStringList({"||000", "||1|QQ [3]", "||2|Q", ""}));
    QCOMPARE(verdictMismatch(f), QString());
}

void tst_Undo::errorCountThroughEdits()
{
    TVelTorForm &f = *form;
    load(fileLine("1|QQ|0000") + fileLine("2") + fileLine("3||||||12345678901"));
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラー 3 個（2 行）"));
    type(f, 1, 3, QStringLiteral("MM"));
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラー 4 個（3 行）"));
    type(f, 0, 1, QStringLiteral("Q"));
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラー 3 個（3 行）"));
    setCurrent(f, 0, 0);
    f.EditDeleteLine->trigger();
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラー 2 個（2 行）"));
    f.EditInsertLine->trigger();
    f.VelTorGridRowMoved(2, 1);
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラー 2 個（2 行）"));
    QCOMPARE(verdictMismatch(f), QString());
    while (f.UndoStack->canUndo())
        f.EditUndo->trigger();
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラー 3 個（2 行）"));
    QCOMPARE(verdictMismatch(f), QString());
    f.FileNew1Execute(f.FileNew1);
    QCOMPARE(f.ErrorCount->text(), QStringLiteral("エラーなし"));
}

// F8 walks the invalid cells in reading order and wraps; Shift+F8 walks back.
void tst_Undo::nextErrorOrderWithWrap()
{
    TVelTorForm &f = *form;
    load(fileLine("1|QQ|||||||||||||||||1234567890") + fileLine("2") + fileLine("ｱ|||||||x"));
    const auto at = [&f] {
        return QStringLiteral("%1:%2").arg(f.GridRowToRecord(f.CurrentRow())).arg(f.GridColToField(f.CurrentCol()));
    };
    setCurrent(f, 1, 0);
    QStringList walk;
    for (int i = 0; i < 4; ++i) {
        f.EditNextError->trigger();
        walk << at();
    }
    QCOMPARE(walk, QStringList({"2:0", "0:1", "0:18", "2:0"}));
    QCOMPARE(f.statusBar()->currentMessage(),
             QStringLiteral("3行目「ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ」：全角文字（漢字等）を含んではいけません。"));
    f.EditNextError->trigger();
    QCOMPARE(at(), QStringLiteral("0:1"));
    QVERIFY(f.statusBar()->currentMessage().endsWith(QStringLiteral("（先頭に戻りました）")));

    walk.clear();
    for (int i = 0; i < 3; ++i) {
        f.EditPrevError->trigger();
        walk << at();
    }
    QCOMPARE(walk, QStringList({"2:0", "0:18", "0:1"}));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("1行目「ｺﾝﾃﾝﾂ区分」：文字数は1文字（漢字は0）までです。"));
    QCOMPARE(f.EditNextError->shortcut(), QKeySequence(Qt::Key_F8));
    QCOMPARE(f.EditPrevError->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F8));

    // Corrected cells drop out of the walk.
    type(f, 2, 0, QStringLiteral("3"));
    type(f, 0, 18, QStringLiteral("1"));
    setCurrent(f, 2, 5);
    f.EditNextError->trigger();
    QCOMPARE(at(), QStringLiteral("0:1"));
    type(f, 0, 1, QStringLiteral("Q"));
    f.EditNextError->trigger();
    QCOMPARE(at(), QStringLiteral("0:1"));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("エラーのセルはありません。"));
}

void tst_Undo::loadReportsCountsAndDroppedFields()
{
    TVelTorForm &f = *form;
    load(fileLine("1|QQ") + fileLine("2") + fileLine(QStringLiteral("3") + QString(20, u'|') + "extra"));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("3行を読み込みました。エラーのセルは1個（1行）です。"));
    QCOMPARE(dialogs->boxes.size(), 1);
    QVERIFY2(dialogs->boxes.at(0).contains(QStringLiteral("項目が19個より多い行が1行あります（最初は3行目）。")),
             qPrintable(dialogs->boxes.at(0)));
    QVERIFY(!dialogs->boxes.at(0).contains(QStringLiteral("NUL")));
    dialogs->boxes.clear();
    load(fileLine("1") + fileLine("2"));
    QCOMPARE(dialogs->boxes.size(), 0);
}

QTEST_MAIN(tst_Undo)
#include "tst_undo.moc"
