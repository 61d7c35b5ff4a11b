// The review list, the fixes and the notes as the window wires them: the
// 表示 menu's two toggles (and the setting kept for the notes), an entry
// activated moving the current cell, the fixes' actions reaching the
// document over the selected block, and the notes' hint and count. What
// the list holds and what each fix does is tst_review's; the notes
// themselves tst_notes'.

#include "ReviewDock.h"
#include "WindowSettings.h"
#include "WindowSupport.h"

#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

using namespace TestSupport;

class tst_ReviewWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reviewListToggles();
    void activatedEntryBecomesCurrent_data();
    void activatedEntryBecomesCurrent();
    void fixActionsReachTheDocument_data();
    void fixActionsReachTheDocument();
    void groupFixFromTheList();
    void notesShownAndHidden();
    void noteFollowsTheFieldsHint();

private:
    void load(Window &window, const QStringList &lines);
    ReviewDock &dock(Window &window) { return *window.form.findChild<ReviewDock *>(); }

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_ReviewWindow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    // Every window starts from no settings.
    WindowSettings::Open()->clear();
}

void tst_ReviewWindow::cleanup()
{
    dir.reset();
}

void tst_ReviewWindow::load(Window &window, const QStringList &lines)
{
    const QString path = dir->filePath(QStringLiteral("1234567890202404TEST.dat"));
    QVERIFY(writeFile(path, fileLines(lines)));
    QVERIFY(window.form.LoadReport(path));
}

void tst_ReviewWindow::reviewListToggles()
{
    Window window;
    load(window, {usualLine("1", {"6=１"})});
    window.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form));
    ReviewDock &list = dock(window);
    QVERIFY(!list.isVisible());
    QCOMPARE(list.Model().rowCount(), 0);
    window.form.Ui().ViewReview->trigger();
    QTRY_VERIFY(list.isVisible());
    QCOMPARE(list.Model().rowCount(), 1);
    // The list's own close button unchecks the menu's item.
    list.close();
    QTRY_VERIFY(!window.form.Ui().ViewReview->isChecked());
    QCOMPARE(list.Model().rowCount(), 0);
}

void tst_ReviewWindow::activatedEntryBecomesCurrent_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("field");

    QTest::newRow("an invalid cell") << QStringList{usualLine("1"), usualLine("2", {"6=１"})} << 1 << 6;
    QTest::newRow("a note") << QStringList{usualLine("1"), usualLine("2"), usualLine("3", {"15=v"})} << 2 << 15;
}

void tst_ReviewWindow::activatedEntryBecomesCurrent()
{
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(int, field);

    Window window;
    load(window, lines);
    window.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form));
    window.form.Ui().ViewReview->trigger();
    ReviewDock &list = dock(window);
    QTreeView &tree = list.Tree();
    const QModelIndex group = list.Model().index(0, 0, list.Model().index(0, 0));
    tree.expand(group);
    const QModelIndex entry = list.Model().index(0, ReviewModel::ValueColumn, group);
    tree.scrollTo(entry);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualRect(entry).center());
    QCOMPARE(window.form.CurrentRow(), window.form.RecordToGridRow(line));
    QCOMPARE(window.form.CurrentCol(), window.form.FieldToGridCol(field));
}

void tst_ReviewWindow::fixActionsReachTheDocument_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("block");
    QTest::addColumn<QStringList>("fixed");

    QTest::newRow("width, whole report")
            << "EditNarrowWidth" << false
            << QStringList{usualLine("1", {"6=12", "7= a"}), usualLine("2", {"6=34", "7=b　"})};
    QTest::newRow("width, selected block")
            << "EditNarrowWidth" << true
            << QStringList{usualLine("1", {"6=１２", "7= a"}), usualLine("2", {"6=34", "7=b　"})};
    QTest::newRow("spaces, whole report")
            << "EditTrimSpaces" << false
            << QStringList{usualLine("1", {"6=１２", "7=a"}), usualLine("2", {"6=３４", "7=b"})};
}

void tst_ReviewWindow::fixActionsReachTheDocument()
{
    QFETCH(QString, action);
    QFETCH(bool, block);
    QFETCH(QStringList, fixed);

    Window window;
    load(window, {usualLine("1", {"6=１２", "7= a"}), usualLine("2", {"6=３４", "7=b　"})});
    if (block)
        selectBlock(window.form, 1, 0, 1, 18);
    else
        setCurrent(window.form, 0, 0);
    window.form.findChild<QAction *>(action)->trigger();
    QCOMPARE(lineTexts(window.form.Document()), fixed);
    QCOMPARE(window.form.Document().UndoStack()->count(), 1);
    QVERIFY(!window.form.statusBar()->currentMessage().isEmpty());
    window.form.Ui().EditUndo->trigger();
    QCOMPARE(window.form.Document().UndoStack()->index(), 0);
}

void tst_ReviewWindow::groupFixFromTheList()
{
    Window window;
    load(window, {usualLine("1", {"15=v"}), usualLine("2", {"15=t", "6=１"})});
    window.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.form));
    window.form.Ui().ViewReview->trigger();
    ReviewDock &list = dock(window);
    QAction *fix = list.GroupFixAction();
    // The errors' group of full-width cells, then the notes' of the IVT
    // category.
    list.Tree().setCurrentIndex(list.Model().IndexOf({ReviewModel::Section::Errors, 0}));
    QVERIFY(fix->isEnabled());
    list.Tree().setCurrentIndex(list.Model().IndexOf({ReviewModel::Section::Notes, int(NoteKind::IvtCategory)}));
    QVERIFY(fix->isEnabled());
    fix->trigger();
    QCOMPARE(fieldTexts(window.form.Document(), 15), QStringList({"V", "T"}));
    QCOMPARE(fieldTexts(window.form.Document(), 6), QStringList({"12345678", "１"}));
    QCOMPARE(window.form.Document().UndoStack()->count(), 1);
    // A group with no mechanical fix offers none.
    QTRY_VERIFY(!list.Model().IndexOf({ReviewModel::Section::Notes, int(NoteKind::IvtCategory)}).isValid());
    list.Tree().setCurrentIndex(list.Model().index(0, 0));
    QVERIFY(!fix->isEnabled());
}

void tst_ReviewWindow::notesShownAndHidden()
{
    {
        Window window;
        load(window, {usualLine("1", {"15=v", "6=１"}), usualLine("1")});
        const QLabel *label = window.form.Ui().NoteCount;
        QTRY_VERIFY(label->text().contains(u'2'));
        QVERIFY(!label->isHidden());
        QVERIFY(window.form.Ui().ErrorCount->text().contains(u'1'));
        window.form.Ui().ViewNotes->trigger();
        QVERIFY(label->isHidden());
        QVERIFY(!window.form.Notes().Enabled());
        QCOMPARE(window.form.Notes().Count(), std::uint64_t(0));
        QVERIFY(window.form.FormClose());
    }
    // Kept for the next window.
    Window window;
    QVERIFY(!window.form.Ui().ViewNotes->isChecked());
    QVERIFY(!window.form.Notes().Enabled());
    QVERIFY(window.form.Ui().NoteCount->isHidden());
    window.form.Ui().ViewNotes->trigger();
    QVERIFY(window.form.Notes().Enabled());
}

void tst_ReviewWindow::noteFollowsTheFieldsHint()
{
    Window window;
    load(window, {usualLine("1", {"15=v", "16=Ｖ"}), ""});
    ReportModel *cells = model(window.form);
    const QString ivtHint = ShiftJis::ToText(window.form.Document().Attributes().At(15)->hint);
    const QString note = ShiftJis::ToText(qnVelTorDataNotes::Message(NoteKind::IvtCategory));
    const QString hint = cells->Hint(0, 15);
    QVERIFY(hint.startsWith(ivtHint));
    QVERIFY(hint.endsWith(note));
    // An invalid cell tells its error alone; the row handle a line's note.
    std::string error;
    window.form.Document().Attributes().Validate(16, window.form.Document().Cell(0, 16), error);
    QCOMPARE(cells->Hint(0, 16), ShiftJis::ToText(error));
    QVERIFY(cells->Hint(1, -1).endsWith(ShiftJis::ToText(qnVelTorDataNotes::Message(NoteKind::EmptyLine))));
    window.form.Ui().ViewNotes->trigger();
    QCOMPARE(cells->Hint(0, 15), ivtHint);
    QCOMPARE(cells->Hint(1, -1), QString());
}

QTEST_MAIN(tst_ReviewWindow)
#include "tst_reviewwindow.moc"
