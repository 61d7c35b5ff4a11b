// Where the user's keys, pastes and drops go in the main window: the grid
// after a report comes in, Ctrl+Z and Ctrl+Y to the report's history from
// any box, lines refused by a header box, a file dropped on a box, and the
// text commands of a menu opened from the keyboard.

#include "TextFilter.h"
#include "WindowSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace TestSupport;

class tst_Focus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void gridTakesTheFocusWhenAReportComesIn_data();
    void gridTakesTheFocusWhenAReportComesIn();
    void headerBoxRefusesLines_data();
    void headerBoxRefusesLines();
    void undoAndRedoReachTheReport_data();
    void undoAndRedoReachTheReport();
    void fileDroppedOnABoxOpens_data();
    void fileDroppedOnABoxOpens();
    void textCommandsFromTheMenuBar();
    void lineCommandsSayWhatTheyDid_data();
    void lineCommandsSayWhatTheyDid();

private:
    QLineEdit *box(const QString &name) const;
    QString write(const QString &name, const QByteArray &content);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Window> window;
};

void tst_Focus::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QGuiApplication::clipboard()->clear();
    window = std::make_unique<Window>();
    window->form.show();
    window->form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window->form));
}

void tst_Focus::cleanup()
{
    window->form.Document().UndoStack()->setClean(); // closes without a question
    window.reset();
    dir.reset();
}

QLineEdit *tst_Focus::box(const QString &name) const
{
    return window->form.findChild<QLineEdit *>(name);
}

QString tst_Focus::write(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    return writeFile(path, content) ? path : QString();
}

void tst_Focus::gridTakesTheFocusWhenAReportComesIn_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("line"); // current afterwards
    QTest::newRow("opened") << "open" << 0;
    QTest::newRow("a CSV file opened as a new report") << "open csv" << 0;
    QTest::newRow("lines imported") << "import" << 2;
}

// Right after an open the first cell looks selected; a paste must go there,
// not into the license number box the focus was left in.
void tst_Focus::gridTakesTheFocusWhenAReportComesIn()
{
    QFETCH(QString, how);
    QFETCH(int, line);
    TVelTorForm &form = window->form;
    QCOMPARE(QApplication::focusWidget(), form.Ui().SyoudakuBangou); // the first in the tab order
    const QString report = write(QStringLiteral("1234567890202612TEST.dat"), fileLine("1") + fileLine("2"));
    const QString csv = write(QStringLiteral("lines.csv"), "5,Q\r\n6,Q\r\n");
    if (how == "open") {
        QVERIFY(form.LoadReport(report));
    } else if (how == "open csv") {
        window->dialogs.answers = {QMessageBox::Yes, QMessageBox::Ok}; // import it; the summary
        QVERIFY(form.LoadReport(csv));
    } else {
        QVERIFY(form.LoadReport(report));
        form.Ui().SyoudakuBangou->setFocus();
        window->dialogs.paths = {csv};
        form.Ui().FileImport1->trigger();
    }
    QCOMPARE(QApplication::focusWidget(), form.Ui().VelTorGrid);
    QCOMPARE(form.CurrentRow(), form.RecordToGridRow(line));
    QCOMPARE(form.CurrentCol(), form.FieldToGridCol(0));
    // What comes from a spreadsheet now lands in the grid.
    QGuiApplication::clipboard()->setText(QStringLiteral("7\tQ\r\n8\tQ\r\n"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(lineText(form.Document(), line), QStringLiteral("7|Q"));
    QCOMPARE(form.Ui().SyoudakuBangou->text(), how == "open csv" ? QString() : QStringLiteral("1234567890"));
}

void tst_Focus::headerBoxRefusesLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    const QString refused; // the box keeps what it had
    QTest::newRow("lines copied from the grid") << "SyoudakuBangou" << "1\t\t000\r\n2\t\t000\r\n" << refused;
    QTest::newRow("one cell and its line end") << "SyoudakuBangou" << "1234567890\r\n" << refused;
    QTest::newRow("two cells side by side") << "HoukokuNengappi" << "2026\t12" << refused;
    QTest::newRow("an LF alone") << "NiniMoziretsu" << "AB\nCD" << refused;
    QTest::newRow("one line of text") << "NiniMoziretsu" << "ABCD" << "ABCD";
}

void tst_Focus::headerBoxRefusesLines()
{
    QFETCH(QString, name);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    TVelTorForm &form = window->form;
    QLineEdit *edit = box(name);
    QVERIFY(edit);
    edit->setFocus();
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), after);
    QCOMPARE(form.Modified(), !after.isEmpty());
    QCOMPARE(form.statusBar()->currentMessage(), after.isEmpty() ? TextFilter::LinesRefusedMessage() : QString());
}

void tst_Focus::undoAndRedoReachTheReport_data()
{
    QTest::addColumn<QString>("focus"); // a box's name, or "editor"
    QTest::addColumn<QString>("typed"); // into it, before Ctrl+Z
    QTest::addColumn<bool>("ownFirst"); // its own typing goes first
    QTest::newRow("license number box") << "SyoudakuBangou" << QString() << false;
    QTest::newRow("year-month box, typed into") << "HoukokuNengappi" << "2026" << false;
    QTest::newRow("search box") << "KensakuWord" << QString() << false;
    QTest::newRow("search box, typed into") << "KensakuWord" << "abc" << true;
    QTest::newRow("cell editor") << "editor" << QString() << false;
    QTest::newRow("cell editor, typed into") << "editor" << "xyz" << true;
}

// After a command the focus may be anywhere; Ctrl+Z must still take back
// the report's last step, as 編集 → 元に戻す does.
void tst_Focus::undoAndRedoReachTheReport()
{
    QFETCH(QString, focus);
    QFETCH(QString, typed);
    QFETCH(bool, ownFirst);
    TVelTorForm &form = window->form;
    QVERIFY(form.LoadReport(write(QStringLiteral("1234567890202612TEST.dat"), fileLine("1|||||||love"))));
    QCOMPARE(form.Document().SetCell(0, 7, "LV"), EditResult::Done);
    QLineEdit *edit = focus == "editor" ? openEditor(form, 0, 8) : box(focus);
    QVERIFY(edit);
    edit->setFocus();
    QTest::keyClicks(edit, typed);
    const QString typedText = edit->text();
    const int steps = form.Document().UndoStack()->index();

    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    if (ownFirst) {
        // The box's own typing goes first; the report's step stays.
        QVERIFY(edit->text() != typedText);
        QCOMPARE(lineText(form.Document(), 0), QStringLiteral("1|||||||LV"));
        return;
    }
    QCOMPARE(form.Document().UndoStack()->index(), steps - 1);
    QCOMPARE(lineText(form.Document(), 0).section(u'|', 0, 7), QStringLiteral("1|||||||love"));
    QWidget *now = QApplication::focusWidget();
    QTest::keyClick(now, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(form.Document().UndoStack()->index(), steps);
}

void tst_Focus::fileDroppedOnABoxOpens_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"SyoudakuBangou", "HoukokuNengappi", "NiniMoziretsu", "KensakuWord"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_Focus::fileDroppedOnABoxOpens()
{
    QFETCH(QString, name);
    TVelTorForm &form = window->form;
    const QString path = write(QStringLiteral("1234567890202612DROP.dat"), fileLine("1|||||||dropped"));
    QLineEdit *edit = box(name);
    QVERIFY(edit);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    mime.setText(QUrl::fromLocalFile(path).toString());
    const QPoint at = edit->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drop);
    QCOMPARE(form.CurrentFileName(), path);
    QCOMPARE(lineText(form.Document(), 0), QStringLiteral("1|||||||dropped"));
    // The box shows its value, not the file's address.
    QVERIFY(!edit->text().contains(QStringLiteral("file:")));
}

// Alt+E opens the 編集 menu with the keyboard focus in the menu bar: the
// text commands still work on the box the user was in.
void tst_Focus::textCommandsFromTheMenuBar()
{
    TVelTorForm &form = window->form;
    const TVelTorFormUi &ui = form.Ui();
    ui.NiniMoziretsu->setFocus();
    QTest::keyClicks(ui.NiniMoziretsu, "ABCDE");
    ui.NiniMoziretsu->setSelection(1, 2);
    const auto openEditMenu = [&form] {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
        return QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; });
    };
    QVERIFY(openEditMenu());
    QVERIFY(ui.EditCopy1->isEnabled());
    QVERIFY(ui.EditCut1->isEnabled());
    ui.EditCopy1->trigger();
    QApplication::activePopupWidget()->close();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("BC"));
    // The grid's blocks the same way.
    ui.VelTorGrid->setFocus();
    QVERIFY(openEditMenu());
    QVERIFY(ui.EditClearCells->isEnabled());
    QVERIFY(ui.EditPaste1->isEnabled());
    QApplication::activePopupWidget()->close();
}

void tst_Focus::lineCommandsSayWhatTheyDid_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("told");
    QTest::newRow("insert as many as selected") << "EditInsertLine" << "2行を挿入しました。";
    QTest::newRow("delete every line") << "EditDeleteLine" << "2行を削除しました。";
    QTest::newRow("cut") << "EditCutLine" << "1行を切り取りました。";
    QTest::newRow("copy") << "EditCopyLine" << "1行をコピーしました。";
    QTest::newRow("paste") << "EditPasteLine" << "1行を貼り付けました。";
}

void tst_Focus::lineCommandsSayWhatTheyDid()
{
    QFETCH(QString, action);
    QFETCH(QString, told);
    TVelTorForm &form = window->form;
    QVERIFY(form.LoadReport(write(QStringLiteral("1234567890202612TEST.dat"), fileLine("1") + fileLine("2"))));
    selectBlock(form, 0, 0, 1, 18);
    if (action == "EditPasteLine")
        form.EditCopyLineExecute();
    form.findChild<QAction *>(action)->trigger();
    QCOMPARE(form.statusBar()->currentMessage(), told);
}

QTEST_MAIN(tst_Focus)
#include "tst_focus.moc"
