// The window's part in undo and redo: the actions and their keys, the
// unsaved mark, the open cell editor, the place an undo shows, blocks of
// cells through the clipboard, and the invalid cells in the status bar.
// What each step does to the report is tested on the document alone.

#include "WindowSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace TestSupport;

namespace {

// The current cell as "line:field".
QString current(const TVelTorForm &form)
{
    return QStringLiteral("%1:%2").arg(form.GridRowToRecord(form.CurrentRow())).arg(form.GridColToField(form.CurrentCol()));
}

} // namespace

class tst_Undo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void actionsFollowTheStack();
    void openEditorIsCommittedBeforeUndo();
    void typingGivenUpLeavesNoLine();
    void headerTypingIsOneStepPerBox();
    void modifiedMarkFollowsCleanState();
    void pasteCountsInTheStatusBar();
    void blockKeysInTheGrid();
    void undoWithKeysHeldSelectsTheCellAlone();
    void errorCountLabelFollowsTheReport();
    void nextErrorOrderWithWrap();
    void loadReportsCountsAndDroppedFields();

private:
    void load(const QByteArray &content);
    void showActive();

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Window> window;
};

void tst_Undo::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    window = std::make_unique<Window>();
}

void tst_Undo::cleanup()
{
    window.reset();
    dir.reset();
}

void tst_Undo::load(const QByteArray &content)
{
    const QString path = dir->filePath(QStringLiteral("1234567890202404TEST.dat"));
    QVERIFY(writeFile(path, content));
    QVERIFY(window->form.LoadReport(path));
}

void tst_Undo::showActive()
{
    TVelTorForm &f = window->form;
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
}

// The actions and the unsaved mark follow the stack, copying a line is no
// step, every undo and redo shows its place (a cell edit's cell, a line
// command's line in the current column), and New and Open start afresh.
void tst_Undo::actionsFollowTheStack()
{
    TVelTorForm &f = window->form;
    const TVelTorFormUi &ui = f.Ui();
    load(fileLine("1|QQ") + fileLine("2") + fileLine("3"));
    QVERIFY(!ui.EditUndo->isEnabled());
    QVERIFY(!ui.EditRedo->isEnabled());
    setCurrent(f, 2, 0);
    ui.EditCopyLine->trigger();
    QVERIFY(!ui.EditUndo->isEnabled());

    type(f, 1, 7, QStringLiteral("A"));
    setCurrent(f, 0, 4);
    ui.EditDeleteLine->trigger();
    const QStringList edited = lineTexts(f.Document());
    QCOMPARE(edited, QStringList({"2|||||||A", "3"}));
    QVERIFY(ui.EditUndo->isEnabled());
    QVERIFY(!ui.EditRedo->isEnabled());
    QVERIFY(f.isWindowModified());

    setCurrent(f, 1, 9);
    ui.EditUndo->trigger();
    QCOMPARE(lineTexts(f.Document()), QStringList({"1|QQ", "2|||||||A", "3"}));
    QCOMPARE(current(f), QStringLiteral("0:9"));
    QVERIFY(ui.EditRedo->isEnabled());
    ui.EditUndo->trigger();
    QCOMPARE(lineTexts(f.Document()), QStringList({"1|QQ", "2", "3"}));
    QCOMPARE(current(f), QStringLiteral("1:7"));
    QVERIFY(!ui.EditUndo->isEnabled());
    QVERIFY(!f.isWindowModified());

    setCurrent(f, 2, 3);
    ui.EditRedo->trigger();
    QCOMPARE(current(f), QStringLiteral("1:7"));
    ui.EditRedo->trigger();
    QCOMPARE(current(f), QStringLiteral("0:7"));
    QCOMPARE(lineTexts(f.Document()), edited);
    QVERIFY(!ui.EditRedo->isEnabled());

    ui.EditUndo->trigger();
    window->dialogs.answers << QMessageBox::No; // not saved
    f.FileNew1Execute(ui.FileNew1);
    QCOMPARE(window->dialogs.boxes.size(), 1);
    QVERIFY(!ui.EditUndo->isEnabled());
    QVERIFY(!ui.EditRedo->isEnabled());
    type(f, 0, 0, QStringLiteral("2"));
    ui.EditUndo->trigger();
    QVERIFY(ui.EditRedo->isEnabled());
    load(fileLine("3"));
    QVERIFY(!ui.EditRedo->isEnabled());
    QVERIFY(!f.isWindowModified());
}

// The unsaved mark goes where the report was saved, not where it was loaded.
void tst_Undo::modifiedMarkFollowsCleanState()
{
    TVelTorForm &f = window->form;
    load(fileLine("1"));
    window->dialogs.paths << dir->filePath(QStringLiteral("saved.dat"));
    type(f, 0, 7, QStringLiteral("A"));
    QVERIFY(f.FileSave1Execute(f.Ui().FileSaveAs1));
    QVERIFY(!f.isWindowModified());
    f.Ui().EditUndo->trigger();
    QVERIFY(f.isWindowModified());
    f.Ui().EditRedo->trigger();
    QVERIFY(!f.isWindowModified());
}

void tst_Undo::openEditorIsCommittedBeforeUndo()
{
    TVelTorForm &f = window->form;
    VelTorGridView *grid = f.Ui().VelTorGrid;
    showActive();
    load(fileLine("1"));
    type(f, 0, 7, QStringLiteral("A"));
    setCurrent(f, 0, 8);
    grid->setFocus();
    grid->edit(grid->currentIndex());
    QLineEdit *editor = grid->Editor();
    QVERIFY(editor);
    QTest::keyClicks(editor, "B");

    // What is being typed is a step of its own, and the first to go.
    f.Ui().EditUndo->trigger();
    QVERIFY(!grid->Editor());
    QCOMPARE(lineText(f.Document(), 0), QStringLiteral("1|||||||A"));
    f.Ui().EditRedo->trigger();
    QCOMPARE(lineText(f.Document(), 0), QStringLiteral("1|||||||A|B"));
}

// Escape gives up what was typed into the new-line row.
void tst_Undo::typingGivenUpLeavesNoLine()
{
    TVelTorForm &f = window->form;
    VelTorGridView *grid = f.Ui().VelTorGrid;
    showActive();
    load(fileLine("1|QQ"));
    setCurrent(f, 1, 1);
    grid->setFocus();
    grid->edit(grid->currentIndex());
    QLineEdit *editor = grid->Editor();
    QVERIFY(editor);
    QTest::keyClicks(editor, "QQQ");
    QCOMPARE(model(f)->rowCount(), 3);
    QVERIFY(f.isWindowModified());
    QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(!grid->Editor());
    QCOMPARE(model(f)->rowCount(), 2);
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"1|QQ [1]"}));
    QCOMPARE(verdictMismatch(f.Document()), QString());
    QVERIFY(!f.isWindowModified());
    QVERIFY(!f.Ui().EditUndo->isEnabled());
}

void tst_Undo::headerTypingIsOneStepPerBox()
{
    TVelTorForm &f = window->form;
    const TVelTorFormUi &ui = f.Ui();
    const QUndoStack *stack = f.Document().UndoStack();
    load(fileLine("1"));
    QCOMPARE(ui.SyoudakuBangou->text(), QStringLiteral("1234567890"));
    ui.SyoudakuBangou->setFocus();
    ui.SyoudakuBangou->end(false);
    QTest::keyClicks(ui.SyoudakuBangou, "12");
    QTest::keyClick(ui.SyoudakuBangou, Qt::Key_Backspace);
    QCOMPARE(stack->count(), 1);
    QVERIFY(f.isWindowModified());
    QTest::keyClicks(ui.NiniMoziretsu, "Z");
    QCOMPARE(stack->count(), 2);

    ui.EditUndo->trigger();
    QCOMPARE(ui.NiniMoziretsu->text(), QStringLiteral("TEST"));
    ui.EditUndo->trigger();
    QCOMPARE(ui.SyoudakuBangou->text(), QStringLiteral("1234567890"));
    QVERIFY(!f.isWindowModified());
    ui.EditRedo->trigger();
    QCOMPARE(ui.SyoudakuBangou->text(), QStringLiteral("12345678901"));
}

// What a block paste did, counted in the status bar: each count in its
// place.
void tst_Undo::pasteCountsInTheStatusBar()
{
    TVelTorForm &f = window->form;
    load(fileLine("1|||||||keep") + fileLine("2"));
    QGuiApplication::clipboard()->setText(
            QStringLiteral("QQ\tV\tx\ty\tz\tw\r\n\U0001F600\tI\r\n\U0001F600\t\U0001F600"));
    setCurrent(f, 0, 15);
    f.BlockPaste();
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"1|||||||keep||||||||QQ|V|x|y [15]", "2||||||||||||||||I"}));
    QCOMPARE(f.statusBar()->currentMessage(),
             QStringLiteral("5個のセルを貼り付けました（エラー1個、Shift_JISにない文字で拒否3個）。"
                            "最後の項目より右の2個は捨てました。"));
    // Cells whose TAB or line break became a space are counted too.
    QGuiApplication::clipboard()->setText(QStringLiteral("\"a\r\nb\"\t\"c\td\"\t\"e\"\r\n"));
    setCurrent(f, 1, 7);
    f.BlockPaste();
    QCOMPARE(lineText(f.Document(), 1), QStringLiteral("2|||||||a b|c d|e|||||||I"));
    QCOMPARE(f.statusBar()->currentMessage(),
             QStringLiteral("3個のセルを貼り付けました（エラー0個、Shift_JISにない文字で拒否0個、改行・タブを空白にしたセル2個）。"));
    // Undone, the paste is no longer so.
    f.Ui().EditUndo->trigger();
    QCOMPARE(lineText(f.Document(), 1), QStringLiteral("2||||||||||||||||I"));
    QCOMPARE(f.statusBar()->currentMessage(), QString());
}

// The keys as a user presses them, with the grid focused and no editor open.
void tst_Undo::blockKeysInTheGrid()
{
    TVelTorForm &f = window->form;
    VelTorGridView *grid = f.Ui().VelTorGrid;
    showActive();
    load(fileLine("1|QQ|000") + fileLine("2|Q|001"));
    grid->setFocus();
    setCurrent(f, 0, 0);
    QTest::keyClick(grid, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(f.Ui().EditCopy1->isEnabled());
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1\tQQ\r\n2\tQ"));
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"||000", "||001"}));
    QVERIFY(!grid->Editor());
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"1|QQ|000 [1]", "2|Q|001"}));
    QTest::keyClick(grid, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"||000", "||001"}));
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"||000", "||001"})); // nothing left to redo
    setCurrent(f, 1, 2);
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"||000", "||1|QQ [3]", "||2|Q"}));
    QCOMPARE(verdictMismatch(f.Document()), QString());

    // Cut puts the block on the clipboard and clears it, as one step.
    const int steps = f.Document().UndoStack()->count();
    selectBlock(f, 1, 2, 2, 3);
    QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("1\tQQ\r\n2\tQ"));
    QCOMPARE(linesWithErrors(f.Document()), QStringList({"||000", "", ""}));
    QCOMPARE(f.Document().UndoStack()->count(), steps + 1);
}

// The cell an undo shows is selected alone, though Ctrl is still held for
// Ctrl+Z: added to the selection left by the delete, it made the next
// Alt+Del take the line between the two as well.
void tst_Undo::undoWithKeysHeldSelectsTheCellAlone()
{
    TVelTorForm &f = window->form;
    VelTorGridView *grid = f.Ui().VelTorGrid;
    showActive();
    load(fileLine("1") + fileLine("2") + fileLine("3") + fileLine("4") + fileLine("5"));
    grid->setFocus();
    selectBlock(f, 1, 7, 2, 8);
    f.Ui().EditDeleteLine->trigger();
    QCOMPARE(f.Document().LineCount(), 3);
    QTest::keyPress(grid, Qt::Key_Control, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::keyboardModifiers(), Qt::ControlModifier);
    QCOMPARE(f.Document().Undo(), EditResult::Done);
    QTest::keyRelease(grid, Qt::Key_Control, Qt::ControlModifier);
    int top = 0, left = 0, bottom = 0, right = 0;
    QVERIFY(grid->SelectedBlock(top, left, bottom, right));
    QCOMPARE(QList<int>({top, left, bottom, right}), QList<int>({1, 7, 1, 7}));
    f.Ui().EditDeleteLine->trigger();
    QCOMPARE(lineTexts(f.Document()), QStringList({"1", "3", "4", "5"}));
}

void tst_Undo::errorCountLabelFollowsTheReport()
{
    TVelTorForm &f = window->form;
    const QLabel *label = f.Ui().ErrorCount;
    load(fileLine("1|QQ|0000") + fileLine("2") + fileLine("3||||||12345678901"));
    QCOMPARE(label->text(), QStringLiteral("エラー 3 個（2 行）"));
    type(f, 1, 3, QStringLiteral("MM"));
    QCOMPARE(label->text(), QStringLiteral("エラー 4 個（3 行）"));
    f.Ui().EditUndo->trigger();
    QCOMPARE(label->text(), QStringLiteral("エラー 3 個（2 行）"));
    f.FileNew1Execute(f.Ui().FileNew1);
    QCOMPARE(label->text(), QStringLiteral("エラーなし"));
}

// F8 walks the invalid cells in reading order and wraps; Shift+F8 walks back.
void tst_Undo::nextErrorOrderWithWrap()
{
    TVelTorForm &f = window->form;
    const TVelTorFormUi &ui = f.Ui();
    load(fileLine("1|QQ|||||||||||||||||1234567890") + fileLine("2") + fileLine("ｱ|||||||x"));
    setCurrent(f, 1, 0);
    QStringList walk;
    for (int i = 0; i < 4; ++i) {
        ui.EditNextError->trigger();
        walk << current(f);
    }
    QCOMPARE(walk, QStringList({"2:0", "0:1", "0:18", "2:0"}));
    QCOMPARE(f.statusBar()->currentMessage(),
             QStringLiteral("3行目「ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ」：全角文字（漢字等）を含んではいけません。"));
    ui.EditNextError->trigger();
    QCOMPARE(current(f), QStringLiteral("0:1"));
    QVERIFY(f.statusBar()->currentMessage().endsWith(QStringLiteral("（先頭に戻りました）")));

    walk.clear();
    for (int i = 0; i < 3; ++i) {
        ui.EditPrevError->trigger();
        walk << current(f);
    }
    QCOMPARE(walk, QStringList({"2:0", "0:18", "0:1"}));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("1行目「ｺﾝﾃﾝﾂ区分」：文字数は1文字（漢字は0）までです。"));
    QCOMPARE(ui.EditNextError->shortcut(), QKeySequence(Qt::Key_F8));
    QCOMPARE(ui.EditPrevError->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F8));

    // Corrected cells drop out of the walk.
    type(f, 2, 0, QStringLiteral("3"));
    type(f, 0, 18, QStringLiteral("1"));
    setCurrent(f, 2, 5);
    ui.EditNextError->trigger();
    QCOMPARE(current(f), QStringLiteral("0:1"));
    type(f, 0, 1, QStringLiteral("Q"));
    ui.EditNextError->trigger();
    QCOMPARE(current(f), QStringLiteral("0:1"));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("エラーのセルはありません。"));
}

void tst_Undo::loadReportsCountsAndDroppedFields()
{
    TVelTorForm &f = window->form;
    QStringList &boxes = window->dialogs.boxes;
    // Empty fields past the 19th hold nothing to lose: line 2 is no long line.
    const QByteArray emptyExtras = fileLine("2").chopped(2) + "\t\t\t\r\n";
    load(fileLine("1|QQ") + emptyExtras + fileLine(QStringLiteral("3") + QString(20, u'|') + "extra"));
    QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("3行を読み込みました。エラーのセルは1個（1行）です。"));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).startsWith(QStringLiteral("20個目以降にも項目がある行が1行あります（最初は3行目）。\n")),
             qPrintable(boxes.at(0)));
    // It says how to keep them.
    QVERIFY2(boxes.at(0).contains(QStringLiteral("「キャンセル」")), qPrintable(boxes.at(0)));
    boxes.clear();
    load(fileLine("1") + emptyExtras);
    QCOMPARE(boxes, QStringList());

    // What follows an end-of-file mark is counted in bytes.
    load(fileLine("1") + "\x1A" + fileLine("2"));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).startsWith(QStringLiteral("ファイル終端記号（0x1A）より後に%1バイトあります。").arg(fileLine("2").size())),
             qPrintable(boxes.at(0)));
    boxes.clear();

    // Bytes that are not Shift-JIS, or a NUL: named in plain words, with
    // the first such line and what a save does.
    load(fileLine("1") + fileLine(QByteArrayList{"2", QByteArray("\x00x", 2)}) + fileLine(QByteArrayList{"3", "\xFF"}));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.at(0).startsWith(
                     QStringLiteral("Shift_JIS（JIS X 0208）で書かれていない文字を含む行が2行あります（最初は2行目）。\n")),
             qPrintable(boxes.at(0)));
    QVERIFY(boxes.at(0).contains(QStringLiteral("保存")));
    QVERIFY(!boxes.at(0).contains(QStringLiteral("NUL")));
}

QTEST_MAIN(tst_Undo)
#include "tst_undo.moc"
