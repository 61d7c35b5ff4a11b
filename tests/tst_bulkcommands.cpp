// The window's part in the commands over many cells and lines: their keys
// and menus reach the document, the find-and-replace and sort dialogs are
// answered, Enter moves as in a spreadsheet, the line commands take every
// selected line, the context menu, the list of recent reports, the header
// boxes' marks and the save's status. What each command does to the report
// is tested on the document alone (tst_bulkedits).

#include "TextFilter.h"
#include "WindowSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace TestSupport;

namespace {

const QString ReportName = QStringLiteral("1234567890202404TEST.dat");

// Text as an input method commits it: how Japanese reaches a box.
void commit(QWidget *widget, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

QString current(const TVelTorForm &form)
{
    return QStringLiteral("%1:%2").arg(form.GridRowToRecord(form.CurrentRow())).arg(form.GridColToField(form.CurrentCol()));
}

QString keyCodes(const ReportDocument &document)
{
    return fieldTexts(document, 0).join(u',');
}

QPushButton *button(ReplaceDialog &dialog, const char *name)
{
    return dialog.findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class tst_BulkCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void replaceAllFromTheKeyboard();
    void replaceNextShowsThenReplaces();
    void replaceWithinTheDialogsScope();
    void replaceRefusesWhatNoCellHolds();
    void renumberFillDownAndSortFromTheWindow();
    void lineCommandsTakeEverySelectedLine();
    void enterMovesAsInASpreadsheet();
    void contextMenuOnTheGridAndHandles();
    void recentReportsInTheFileMenu();
    void headerBoxesMarkedByTheirRules();
    void saveTellsNameAndInvalidCells();
    void ctrlFGoesToTheSearchBox();

private:
    QString open(const QStringList &lines, const QString &name = ReportName);
    void showActive();
    QString status() const { return window->form.statusBar()->currentMessage(); }
    VelTorGridView *grid() const { return window->form.Ui().VelTorGrid; }

    QTemporaryDir settings;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Window> window;
};

void tst_BulkCommands::initTestCase()
{
    QVERIFY(settings.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
}

void tst_BulkCommands::init()
{
    QSettings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor")).clear();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    window = std::make_unique<Window>();
}

void tst_BulkCommands::cleanup()
{
    window.reset();
    dir.reset();
}

QString tst_BulkCommands::open(const QStringList &lines, const QString &name)
{
    const QString path = dir->filePath(name);
    if (!writeFile(path, fileLines(lines)) || !window->form.LoadReport(path))
        return {};
    return path;
}

void tst_BulkCommands::showActive()
{
    TVelTorForm &f = window->form;
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    grid()->setFocus();
}

// Ctrl+H, the text to find, Tab, the replacement, Alt+A, Ctrl+S: the file
// holds the replaced names, and the other cells their bytes.
void tst_BulkCommands::replaceAllFromTheKeyboard()
{
    TVelTorForm &f = window->form;
    showActive();
    const QString path = open({"1|||||||夏||||山田ﾀﾛｳ", "2|||||||冬||||山田タロウ", "3|||||||春||||ﾀﾛｳ山田ﾀﾛｳ"});
    QVERIFY(!path.isEmpty());
    window->dialogs.onReplace = [](ReplaceDialog &dialog) {
        dialog.show();
        dialog.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("FindText"));
        commit(QApplication::focusWidget(), QStringLiteral("ﾀﾛｳ"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("ReplacementText"));
        commit(QApplication::focusWidget(), QStringLiteral("タロウ"));
        // The button's mnemonic clicks it after a short animation.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(!dialog.isVisible());
    };
    QTest::keyClick(grid(), Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(window->dialogs.replaceDialogs, 1);
    QCOMPARE(status(), QStringLiteral("3か所を置換しました。"));
    QCOMPARE(f.Document().UndoStack()->count(), 1);

    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(grid(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(readFile(path), fileLines({"1|||||||夏||||山田タロウ", "2|||||||冬||||山田タロウ", "3|||||||春||||タロウ山田タロウ"}));
    QTest::keyClick(grid(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(lineText(f.Document(), 2), QStringLiteral("3|||||||春||||ﾀﾛｳ山田ﾀﾛｳ"));
    QCOMPARE(verdictMismatch(f.Document()), QString());
}

// 次を置換: the first click shows the next occurrence from the current cell
// on, each later one replaces the one shown (one step each) and shows the
// next; at the end it says so.
void tst_BulkCommands::replaceNextShowsThenReplaces()
{
    TVelTorForm &f = window->form;
    open({"1|||||||ab||ab", "2|||||||x", "3|||||||xab"});
    setCurrent(f, 1, 0);
    QStringList seen;
    window->dialogs.onReplace = [&](ReplaceDialog &dialog) {
        dialog.SetTexts(QStringLiteral("ab"), QStringLiteral("Q"));
        QLabel *message = dialog.findChild<QLabel *>(QStringLiteral("Message"));
        for (int click = 0; click < 5; ++click) {
            button(dialog, "ReplaceNext")->click();
            seen << current(f) + u' ' + lineTexts(f.Document()).join(u'/') + u' ' + message->text().left(6);
        }
        QCOMPARE(status(), message->text());
    };
    f.Ui().EditReplace->trigger();
    QCOMPARE(seen, (QStringList{"2:7 1|||||||ab||ab/2|||||||x/3|||||||xab 3行目「原題",
                                "0:7 1|||||||ab||ab/2|||||||x/3|||||||xQ 1か所を置換",
                                "0:9 1|||||||Q||ab/2|||||||x/3|||||||xQ 1か所を置換",
                                "0:9 1|||||||Q||Q/2|||||||x/3|||||||xQ 1か所を置換",
                                "0:9 1|||||||Q||Q/2|||||||x/3|||||||xQ 「ab」は見"}));
    QCOMPARE(f.Document().UndoStack()->count(), 3);
}

// What no cell can hold is refused in the dialog's boxes as in a cell, and
// the dialog says why: nothing is replaced by a text quietly shortened.
void tst_BulkCommands::replaceRefusesWhatNoCellHolds()
{
    TVelTorForm &f = window->form;
    showActive();
    open({"1|||||||love"});
    QString told;
    QString kept;
    window->dialogs.onReplace = [&](ReplaceDialog &dialog) {
        dialog.show();
        dialog.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        QWidget *replacement = dialog.findChild<QLineEdit *>(QStringLiteral("ReplacementText"));
        replacement->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("Z\U0001F3B5"));
        QTest::keyClick(replacement, Qt::Key_V, Qt::ControlModifier);
        told = dialog.findChild<QLabel *>(QStringLiteral("Message"))->text();
        kept = dialog.ReplacementText();
        dialog.reject();
    };
    f.Ui().EditReplace->trigger();
    QCOMPARE(told, TextFilter::RefusedMessage());
    QCOMPARE(kept, QString());
    QCOMPARE(lineTexts(f.Document()), QStringList{"1|||||||love"});
}

// The dialog's choices narrow where it replaces: the block selected when
// it opened, one column.
void tst_BulkCommands::replaceWithinTheDialogsScope()
{
    TVelTorForm &f = window->form;
    open({"a|a|a", "a|a|a", "a|a|a"});
    selectBlock(f, 1, 1, 2, 2);
    window->dialogs.onReplace = [](ReplaceDialog &dialog) {
        QVERIFY(dialog.InBlock()); // offered, and taken, for a block of cells
        dialog.SetTexts(QStringLiteral("A"), QStringLiteral("b"));
        button(dialog, "ReplaceAll")->click();
    };
    f.Ui().EditReplace->trigger();
    QCOMPARE(lineTexts(f.Document()), (QStringList{"a|a|a", "a|b|b", "a|b|b"}));

    setCurrent(f, 0, 2);
    window->dialogs.onReplace = [](ReplaceDialog &dialog) {
        QVERIFY(!dialog.InBlock());
        dialog.SetTexts(QStringLiteral("a"), QStringLiteral("c"));
        dialog.findChild<QCheckBox *>(QStringLiteral("InField"))->setChecked(true);
        // The column starts as the current cell's.
        QCOMPARE(dialog.Field(), 2);
        dialog.findChild<QComboBox *>(QStringLiteral("Field"))->setCurrentIndex(0);
        dialog.findChild<QCheckBox *>(QStringLiteral("MatchCase"))->setChecked(true);
        button(dialog, "ReplaceAll")->click();
    };
    f.Ui().EditReplace->trigger();
    QCOMPARE(lineTexts(f.Document()), (QStringList{"c|a|a", "c|b|b", "c|b|b"}));
}

void tst_BulkCommands::renumberFillDownAndSortFromTheWindow()
{
    TVelTorForm &f = window->form;
    const TVelTorFormUi &ui = f.Ui();
    showActive();
    open({"1|||||||||||||||V|||30", "5||||||||||||||||||9", "5||||||||||||||||||10", "9||||||||||||||||||8"});
    // Lines selected: from the first one's number on.
    selectBlock(f, 1, 0, 2, 3);
    ui.EditRenumber->trigger();
    QCOMPARE(keyCodes(f.Document()), QStringLiteral("1,5,6,9"));
    QCOMPARE(status(), QStringLiteral("連番を振り直しました（1個のセルを変更）。"));
    // One cell: every line, from 1.
    setCurrent(f, 0, 0);
    ui.EditRenumber->trigger();
    QCOMPARE(keyCodes(f.Document()), QStringLiteral("1,2,3,4"));

    selectBlock(f, 0, 15, 3, 15);
    QTest::keyClick(grid(), Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(lineText(f.Document(), 3), QStringLiteral("4|||||||||||||||V|||8"));
    QCOMPARE(status(), QStringLiteral("3個のセルに下方向へコピーしました。"));

    window->dialogs.onSort = [](SortDialog &dialog) {
        // It starts at the column the user is in.
        if (dialog.Keys().front().field != 15)
            return int(QDialog::Rejected);
        dialog.SetKeys({{18, true}});
        return int(QDialog::Accepted);
    };
    ui.EditSort->trigger();
    QCOMPARE(keyCodes(f.Document()), QStringLiteral("1,3,2,4"));
    window->dialogs.onSort = [](SortDialog &) { return int(QDialog::Rejected); };
    ui.EditSort->trigger();
    QCOMPARE(keyCodes(f.Document()), QStringLiteral("1,3,2,4"));

    // Four steps, each undone by one Ctrl+Z.
    QCOMPARE(f.Document().UndoStack()->count(), 4);
    for (int step = 0; step < 4; ++step)
        QTest::keyClick(grid(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(lineTexts(f.Document()), (QStringList{"1|||||||||||||||V|||30", "5||||||||||||||||||9", "5||||||||||||||||||10",
                                               "9||||||||||||||||||8"}));
}

// Lines selected by their handles: Alt+Del deletes them all, Alt+Ins
// inserts as many, each one step told to the grid in one signal; Alt+X
// still cuts the one line the line clipboard holds.
void tst_BulkCommands::lineCommandsTakeEverySelectedLine()
{
    TVelTorForm &f = window->form;
    showActive();
    open({"1", "2", "3", "4", "5"});
    QHeaderView *handles = grid()->verticalHeader();
    const auto handle = [handles](int line) {
        return QPoint(4, handles->sectionViewportPosition(line) + handles->sectionSize(line) / 2);
    };
    QTest::mouseClick(handles->viewport(), Qt::LeftButton, {}, handle(1));
    QTest::mouseClick(handles->viewport(), Qt::LeftButton, Qt::ShiftModifier, handle(3));
    QSignalSpy removed(model(f), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(model(f), &QAbstractItemModel::rowsInserted);
    QTest::keyClick(grid(), Qt::Key_Delete, Qt::AltModifier);
    QCOMPARE(lineTexts(f.Document()), (QStringList{"1", "5"}));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(current(f).section(u':', 0, 0), QStringLiteral("1"));

    selectBlock(f, 0, 0, 1, 3);
    QTest::keyClick(grid(), Qt::Key_Insert, Qt::AltModifier);
    QCOMPARE(lineTexts(f.Document()), (QStringList{"", "", "1", "5"}));
    QCOMPARE(inserted.count(), 1);
    int top = 0, left = 0, bottom = 0, right = 0;
    QVERIFY(grid()->SelectedBlock(top, left, bottom, right));
    QCOMPARE(QStringLiteral("%1-%2").arg(top).arg(bottom), QStringLiteral("0-1"));

    selectBlock(f, 2, 0, 3, 0);
    QTest::keyClick(grid(), Qt::Key_X, Qt::AltModifier);
    QCOMPARE(lineTexts(f.Document()), (QStringList{"", "", "5"}));
    QCOMPARE(f.Document().UndoStack()->undoText(), QStringLiteral("1行切り取り"));
    for (int step = 0; step < 3; ++step)
        QTest::keyClick(grid(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(lineTexts(f.Document()), (QStringList{"1", "2", "3", "4", "5"}));
}

void tst_BulkCommands::enterMovesAsInASpreadsheet()
{
    TVelTorForm &f = window->form;
    showActive();
    open({"1", "2"});
    setCurrent(f, 0, 7);
    QTest::keyClick(grid(), Qt::Key_Return);
    QCOMPARE(current(f), QStringLiteral("1:7"));
    QTest::keyClick(grid(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(current(f), QStringLiteral("2:7"));
    // The new-line row is as far as Enter goes.
    QTest::keyClick(grid(), Qt::Key_Return);
    QCOMPARE(current(f), QStringLiteral("2:7"));
    QTest::keyClick(grid(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(current(f), QStringLiteral("1:7"));

    // In the editor: committed, then the next line's cell, whose first
    // keystroke starts a new edit instead of overwriting this one.
    grid()->edit(grid()->currentIndex());
    QTest::keyClicks(grid()->Editor(), "AB");
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    QVERIFY(!grid()->Editor());
    QCOMPARE(current(f), QStringLiteral("2:7"));
    QTest::keyClicks(grid(), "C");
    QVERIFY(grid()->Editor());
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    QCOMPARE(lineTexts(f.Document()), (QStringList{"1", "2|||||||AB", "|||||||C"}));
    QCOMPARE(current(f), QStringLiteral("3:7"));
    // Nothing typed into the new-line row: the editor closes, and the
    // place stays.
    grid()->edit(grid()->currentIndex());
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    QVERIFY(!grid()->Editor());
    QCOMPARE(current(f), QStringLiteral("3:7"));
    grid()->edit(grid()->currentIndex());
    QTest::keyClick(grid()->Editor(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(current(f), QStringLiteral("2:7"));
    QCOMPARE(f.Document().LineCount(), 3);
}

void tst_BulkCommands::contextMenuOnTheGridAndHandles()
{
    TVelTorForm &f = window->form;
    showActive();
    open({"7", "7"});
    const QStringList offered = {"EditCut1", "EditCopy1", "EditPaste1", "EditClearCells", "-", "EditInsertLine",
                                 "EditDeleteLine", "-", "EditFillDown", "EditRenumber"};
    window->dialogs.menuChoice = QStringLiteral("EditRenumber");
    const QRect cell = grid()->visualRect(model(f)->index(1, 7));
    QContextMenuEvent onCell(QContextMenuEvent::Mouse, cell.center(), grid()->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(grid()->viewport(), &onCell);
    QCOMPARE(window->dialogs.menus, QList<QStringList>{offered});
    QCOMPARE(keyCodes(f.Document()), QStringLiteral("1,2"));

    window->dialogs.menuChoice = QStringLiteral("EditClearCells");
    setCurrent(f, 0, 0);
    QHeaderView *handles = grid()->verticalHeader();
    const QPoint onSecond(4, handles->sectionViewportPosition(1) + 2);
    QContextMenuEvent onHandle(QContextMenuEvent::Mouse, onSecond, handles->viewport()->mapToGlobal(onSecond));
    QApplication::sendEvent(handles->viewport(), &onHandle);
    QCOMPARE(window->dialogs.menus.size(), 2);
    QCOMPARE(keyCodes(f.Document()), QStringLiteral(",2"));
}

// The last 8 reports opened or saved, newest first; one that is gone is
// explained when chosen and leaves the list.
void tst_BulkCommands::recentReportsInTheFileMenu()
{
    TVelTorForm &f = window->form;
    const TVelTorFormUi &ui = f.Ui();
    const auto listed = [&ui] {
        QStringList names;
        for (QAction *action : ui.FileRecent) {
            if (action->isVisible())
                names << QFileInfo(action->data().toString()).fileName();
        }
        return names;
    };
    QCOMPARE(listed(), QStringList());
    QVERIFY(!ui.FileRecentSeparator->isVisible());
    for (int i = 1; i <= 9; ++i)
        QVERIFY(!open({"1"}, QStringLiteral("%1.dat").arg(i)).isEmpty());
    QVERIFY(!open({"1"}, QStringLiteral("3.dat")).isEmpty());
    QCOMPARE(listed(), (QStringList{"3.dat", "9.dat", "8.dat", "7.dat", "6.dat", "5.dat", "4.dat", "2.dat"}));
    QVERIFY(ui.FileRecent[0]->text().startsWith(QStringLiteral("&1 ")));

    // Another running copy shares the list: it is read when the menu opens.
    QSettings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"))
            .setValue(QStringLiteral("RecentFiles"), QStringList{dir->filePath(QStringLiteral("5.dat")),
                                                                 dir->filePath(QStringLiteral("gone.dat"))});
    QMetaObject::invokeMethod(ui.FileMenu, "aboutToShow");
    QCOMPARE(listed(), (QStringList{"5.dat", "gone.dat"}));

    ui.FileRecent[1]->trigger();
    QCOMPARE(window->dialogs.boxes.size(), 1);
    QVERIFY(window->dialogs.boxes.first().startsWith(QStringLiteral("ファイルが見つかりません。")));
    QCOMPARE(listed(), QStringList{"5.dat"});
    QCOMPARE(f.CurrentFileName(), dir->filePath(QStringLiteral("3.dat")));
    ui.FileRecent[0]->trigger();
    QCOMPARE(f.CurrentFileName(), dir->filePath(QStringLiteral("5.dat")));

    // A save as another name puts that name first.
    window->dialogs.paths << dir->filePath(QStringLiteral("saved.dat"));
    QVERIFY(f.FileSave1Execute(ui.FileSaveAs1));
    QCOMPARE(listed(), (QStringList{"saved.dat", "5.dat"}));
}

void tst_BulkCommands::headerBoxesMarkedByTheirRules()
{
    TVelTorForm &f = window->form;
    const TVelTorFormUi &ui = f.Ui();
    const QString numberHint = ui.SyoudakuBangou->toolTip();
    const QString monthHint = ui.HoukokuNengappi->toolTip();
    // A new report's empty boxes are not marked.
    QVERIFY(ui.SyoudakuBangou->styleSheet().isEmpty());
    QVERIFY(ui.HoukokuNengappi->styleSheet().isEmpty());

    QTest::keyClicks(ui.SyoudakuBangou, "12345");
    QCOMPARE(ui.SyoudakuBangou->toolTip(), QStringLiteral("許諾番号は英数字10桁、または数字16桁です（5桁あります）。"));
    QCOMPARE(ui.SyoudakuBangou->statusTip(), ui.SyoudakuBangou->toolTip());
    QVERIFY(!ui.SyoudakuBangou->styleSheet().isEmpty());
    QVERIFY(ui.HoukokuNengappi->styleSheet().isEmpty());
    // A mark only: the box keeps what is typed.
    QCOMPARE(ui.SyoudakuBangou->text(), QStringLiteral("12345"));
    QTest::keyClicks(ui.SyoudakuBangou, "67890");
    QCOMPARE(ui.SyoudakuBangou->toolTip(), numberHint);
    QVERIFY(ui.SyoudakuBangou->styleSheet().isEmpty());

    // A file whose name holds no year-month: marked at once; undoing a
    // typed value marks again.
    QVERIFY(!open({"1"}, QStringLiteral("ABCDEFGHIJ.dat")).isEmpty());
    QCOMPARE(ui.HoukokuNengappi->toolTip(), QStringLiteral("報告年月がありません。YYYYMM（月は01～12）の6桁です。"));
    QTest::keyClicks(ui.HoukokuNengappi, "202412");
    QCOMPARE(ui.HoukokuNengappi->toolTip(), monthHint);
    f.Ui().EditUndo->trigger();
    QVERIFY(!ui.HoukokuNengappi->styleSheet().isEmpty());
}

void tst_BulkCommands::saveTellsNameAndInvalidCells()
{
    TVelTorForm &f = window->form;
    open({"1|QQ", "2|Q"});
    QVERIFY(f.FileSave1Execute(f.Ui().FileSave1));
    QCOMPARE(status(), QStringLiteral("保存しました：%1（エラーのセル1個）").arg(ReportName));
    type(f, 0, 1, QStringLiteral("Q"));
    QVERIFY(f.FileSave1Execute(f.Ui().FileSave1));
    QCOMPARE(status(), QStringLiteral("保存しました：%1").arg(ReportName));
}

void tst_BulkCommands::ctrlFGoesToTheSearchBox()
{
    TVelTorForm &f = window->form;
    showActive();
    f.Ui().KensakuWord->setText(QStringLiteral("old"));
    QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), f.Ui().KensakuWord);
    QCOMPARE(f.Ui().KensakuWord->selectedText(), QStringLiteral("old"));
}

QTEST_MAIN(tst_BulkCommands)
#include "tst_bulkcommands.moc"
