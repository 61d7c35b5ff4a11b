// Editing in the main window: cell edits as the grid reports them, the cell
// editor's limits, keys, whole-line commands with their enabled states, and
// dragged lines. Throughout, the verdicts must stay on the lines they were
// made for.

#include "CellDelegate.h"
#include "ReportModel.h"
#include "ShiftJis.h"
#include "TextFilter.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>

#include <memory>

namespace {

// Every dialog is counted and answered at once; none may appear while
// editing.
class RecordingDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        shown << QStringLiteral("message: ") + box.text();
        return QMessageBox::Cancel;
    }
    QString ExecFileDialog(QFileDialog &) override
    {
        shown << QStringLiteral("file dialog");
        return {};
    }
    void ExecAbout(TAboutBox &) override { shown << QStringLiteral("about"); }

    QStringList shown;
};

struct Window
{
    Window() { form.SetDialogs(&dialogs); }
    ~Window() { form.SetDialogs(nullptr); }

    RecordingDialogs dialogs;
    TVelTorForm form;
    QAbstractItemModelTester tester{form.Model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

constexpr int Fields = int(FieldCount);

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

QByteArray sjis(const QString &text)
{
    const std::optional<std::string> encoded = ShiftJis::FromText(text);
    return encoded ? bytes(*encoded) : QByteArray("<not code page 932>");
}

// A line given by its leading fields, "1||Q" style; the rest are empty.
QString line(const QString &leading)
{
    const qsizetype given = leading.split(u'|').size();
    return leading + QString(Fields - given, u'|');
}

QStringList lines(const QStringList &leading)
{
    QStringList full;
    for (const QString &text : leading)
        full << line(text);
    return full;
}

QString rowText(const TVelTorForm &form, int record)
{
    QStringList cells;
    for (int field = 0; field < Fields; ++field)
        cells << ShiftJis::ToText(form.Model->Cell(record, field));
    return cells.join(u'|');
}

// Every model row, the new-line row included.
QStringList allRows(const TVelTorForm &form)
{
    QStringList rows;
    for (int record = 0; record < form.Model->rowCount(); ++record)
        rows << rowText(form, record);
    return rows;
}

// The report lines followed by the empty new-line row.
QStringList withNewLineRow(QStringList report)
{
    return report << line(QString());
}

// What the delegate does for each keystroke and at the end of an edit.
void type(TVelTorForm &form, int col, int row, const QString &text)
{
    form.VelTorGridSetEditText(col, row, text);
    form.Model->setData(form.Model->index(form.GridRowToRecord(row), form.GridColToField(col)), text);
}

void fill(TVelTorForm &form, const QStringList &report)
{
    for (int record = 0; record < report.size(); ++record) {
        const QStringList cells = report.at(record).split(u'|');
        for (int field = 0; field < cells.size(); ++field) {
            if (!cells.at(field).isEmpty())
                type(form, form.FieldToGridCol(field), form.RecordToGridRow(record), cells.at(field));
        }
    }
    form.Modified = false;
    form.SetCurrentCell(form.FixedCols, form.FixedRows);
}

// Empty when the matrix has one row per report line and every verdict and
// message is what the cell's text deserves; otherwise the first mismatch.
QString verdictMismatch(const TVelTorForm &form)
{
    const int lines = form.Model->rowCount() - 1;
    if (int(form.CellAttrs.RowCount()) != lines)
        return QStringLiteral("matrix rows %1, report lines %2").arg(form.CellAttrs.RowCount()).arg(lines);
    for (int record = 0; record < lines; ++record) {
        for (int field = 0; field < Fields; ++field) {
            std::string message;
            const bool valid = form.Attributes.Validate(unsigned(field), form.Model->Cell(record, field), message);
            if (form.CellAttrs.IsError(unsigned(record), unsigned(field)) == valid
                || form.CellAttrs.GetErrorMessage(unsigned(record), unsigned(field)) != message) {
                return QStringLiteral("line %1 field %2: \"%3\" marked %4")
                        .arg(record)
                        .arg(field)
                        .arg(ShiftJis::ToText(form.Model->Cell(record, field)))
                        .arg(valid ? QStringLiteral("invalid") : QStringLiteral("valid"));
            }
        }
    }
    return {};
}

// The rows of the matrix that carry a red frame, as "line:field".
QStringList errorCells(const TVelTorForm &form)
{
    QStringList cells;
    for (unsigned record = 0; record < form.CellAttrs.RowCount(); ++record) {
        for (unsigned field = 0; field < FieldCount; ++field) {
            if (form.CellAttrs.IsError(record, field))
                cells << QStringLiteral("%1:%2").arg(record).arg(field);
        }
    }
    return cells;
}

QString fieldHint(const TVelTorForm &form, int field)
{
    return ShiftJis::ToText(form.Attributes.At(unsigned(field))->hint);
}

// A clipboard payload in the private line format, each cell followed by
// the given line break.
QByteArray payload(const QStringList &cells, const QByteArray &lineBreak = "\r\n")
{
    QByteArray data;
    for (const QString &cell : cells)
        data += sjis(cell) + lineBreak;
    return data;
}

void setClipboardData(const QByteArray &data, const QString &format = QStringLiteral("qnVelTor-Record"))
{
    auto *mime = new QMimeData;
    mime->setData(format, data);
    QGuiApplication::clipboard()->setMimeData(mime);
}

// The grid row a report line is put on the clipboard with: the handle
// column first, then the fields.
QStringList clipboardCells(const QString &reportLine)
{
    return QStringList{QString()} + reportLine.split(u'|');
}

void commit(QWidget *editor, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(editor, &event);
}

// The four-line report most line tests start from; line 3 (grid row 3)
// holds an invalid cell: field 1 takes one byte.
const QStringList fourLines = lines({QStringLiteral("1|||||||曲A"), QStringLiteral("2|||||||曲B"),
                                     QStringLiteral("3|QQ||||||曲C"), QStringLiteral("4|||||||曲D")});

} // namespace

class tst_Editing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Cell edits as the grid reports them.
    void setEditTextModified_data();
    void setEditTextModified();
    void typingIntoLastRowAddsOneRow();
    void emptyTextIntoLastRowAddsNothing();
    void verdictStoredAndCleared();
    void controlCharactersNeverStored();

    // The real cell editor.
    void editorTypingIntoLastRow();
    void editorClosedUnchanged();
    void editorJapaneseInput();
    void byteLimit_data();
    void byteLimit();
    void trailingSpaces_data();
    void trailingSpaces();
    void lookAlikeWaveDash();
    void unencodableRefused();
    void pastedControlCharacters();
    void pasteCutToFit_data();
    void pasteCutToFit();
    void pasteIntoHeaderBoxCutToFit();
    void loadedLongCellNotCut();

    // Keys.
    void ctrlTabFromGrid();
    void ctrlTabFromEditor();
    void plainTabMovesToNextCell();

    // Line commands.
    void newReportEnabling();
    void enablingFollowsCurrentRow_data();
    void enablingFollowsCurrentRow();
    void disabledCommandsDoNothing();
    void lineCommand_data();
    void lineCommand();
    void insertOnLastRowTwice();
    void lineCommandCommitsOpenEditor();
    void copyPutsExactPayload();
    void cutPasteRoundTrip();
    void cutOnlyLine();
    void pasteOnLastRowAppends();
    void pasteWithEmptyFields();
    void pasteValidatesLine();
    void foreignPayload_data();
    void foreignPayload();
    void pasteOfUnreadableLineLeavesNoLine();
    void plainTextDisablesPaste();

    // Dragged lines.
    void rowMoved_data();
    void rowMoved();

    // Character cut, copy and paste.
    void textActions();

    // Added checks of failures that must lose nothing.
    void cutRefusedByClipboardKeepsLine();
    void editorOnBytesThatCannotBeShown();
    void editorLeftAloneKeepsTrailingSpaces();

private:
    void showAndActivate();

    std::unique_ptr<Window> window;
};

void tst_Editing::initTestCase()
{
    // The window reads its column widths and size at start; keep the
    // user's own settings out of the way.
    QStandardPaths::setTestModeEnabled(true);
}

void tst_Editing::init()
{
    QGuiApplication::clipboard()->clear();
    window = std::make_unique<Window>();
}

void tst_Editing::cleanup()
{
    if (!window)
        return;
    const QStringList shown = window->dialogs.shown;
    window.reset();
    QCOMPARE(shown, QStringList());
}

void tst_Editing::showAndActivate()
{
    TVelTorForm &form = window->form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

// ---- Cell edits as the grid reports them -----------------------------------

void tst_Editing::setEditTextModified_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("modified");

    QTest::newRow("text to other text") << "abc" << "abd" << true;
    QTest::newRow("text to empty") << "abc" << "" << true;
    QTest::newRow("text unchanged") << "abc" << "abc" << false;
    QTest::newRow("kanji unchanged") << "曲名" << "曲名" << false;
    QTest::newRow("kanji to other kanji") << "曲名" << "曲目" << true;
}

void tst_Editing::setEditTextModified()
{
    QFETCH(QString, before);
    QFETCH(QString, text);
    QFETCH(bool, modified);
    TVelTorForm &form = window->form;
    fill(form, {line(QStringLiteral("1|||||||") + before)});
    QVERIFY(!form.Modified);

    type(form, form.FieldToGridCol(7), 1, text);
    QCOMPARE(form.Modified, modified);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("1|||||||") + text)}));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::typingIntoLastRowAddsOneRow()
{
    TVelTorForm &form = window->form;
    QSignalSpy inserted(form.Model, &QAbstractItemModel::rowsInserted);
    QCOMPARE(form.Model->rowCount(), 1);
    QCOMPARE(form.CellAttrs.RowCount(), 0u);

    // Keystroke by keystroke, as the editor reports them.
    for (const QString &text : {QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("abc")})
        form.VelTorGridSetEditText(form.FieldToGridCol(0), 1, text);
    form.Model->setData(form.Model->index(0, 0), QStringLiteral("abc"));

    QVERIFY(form.Modified);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(form.GridRowCount(), 3);
    QCOMPARE(form.CellAttrs.RowCount(), 1u);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("abc"))}));

    // The second line's first cell grows the grid once more.
    type(form, form.FieldToGridCol(3), 2, QStringLiteral("M"));
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(form.CellAttrs.RowCount(), 2u);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("abc")), line(QStringLiteral("|||M"))}));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::emptyTextIntoLastRowAddsNothing()
{
    TVelTorForm &form = window->form;
    type(form, form.FieldToGridCol(4), 1, QString());
    QVERIFY(!form.Modified);
    QCOMPARE(form.Model->rowCount(), 1);
    QCOMPARE(form.CellAttrs.RowCount(), 0u);
}

void tst_Editing::verdictStoredAndCleared()
{
    TVelTorForm &form = window->form;
    fill(form, {line(QStringLiteral("1"))});
    const int col = form.FieldToGridCol(1);

    type(form, col, 1, QStringLiteral("QQ"));
    QVERIFY(form.CellAttrs.IsError(0, 1));
    QCOMPARE(ShiftJis::ToText(form.CellAttrs.GetErrorMessage(0, 1)), QStringLiteral("文字数は1文字（漢字は0）までです。"));
    QCOMPARE(form.Model->Hint(0, 1), QStringLiteral("文字数は1文字（漢字は0）までです。"));
    QCOMPARE(form.Model->data(form.Model->index(0, 1), Qt::ToolTipRole).toString(),
             QStringLiteral("文字数は1文字（漢字は0）までです。"));
    QCOMPARE(errorCells(form), QStringList{QStringLiteral("0:1")});

    // A half-width katakana is short enough but not allowed here.
    type(form, col, 1, QStringLiteral("ｱ"));
    QVERIFY(form.CellAttrs.IsError(0, 1));
    QCOMPARE(form.Model->Hint(0, 1), QStringLiteral("全角文字（漢字等）を含んではいけません。"));

    type(form, col, 1, QStringLiteral("Q"));
    QVERIFY(!form.CellAttrs.IsError(0, 1));
    QCOMPARE(form.CellAttrs.GetErrorMessage(0, 1), std::string());
    QCOMPARE(form.Model->Hint(0, 1), fieldHint(form, 1));
    QCOMPARE(errorCells(form), QStringList());

    // Emptying a cell is checked too.
    type(form, col, 1, QStringLiteral("QQ"));
    QVERIFY(form.CellAttrs.IsError(0, 1));
    type(form, col, 1, QString());
    QVERIFY(!form.CellAttrs.IsError(0, 1));
    QCOMPARE(form.Model->Hint(0, 1), fieldHint(form, 1));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::controlCharactersNeverStored()
{
    TVelTorForm &form = window->form;
    type(form, form.FieldToGridCol(7), 1, QStringLiteral("a\tb\r\nc\nd\x1A" "e"));
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("|||||||abcde"))}));
    QCOMPARE(verdictMismatch(form), QString());
}

// ---- The real cell editor -------------------------------------------------

namespace {

QLineEdit *openEditor(TVelTorForm &form, int col, int row)
{
    form.SetCurrentCell(col, row);
    form.VelTorGrid->setFocus();
    form.VelTorGrid->edit(form.VelTorGrid->currentIndex());
    return form.VelTorGrid->Editor();
}

} // namespace

void tst_Editing::editorTypingIntoLastRow()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(0), 1);
    QVERIFY(editor);

    QTest::keyClicks(editor, "12345");
    QVERIFY(form.Modified);
    QCOMPARE(form.Model->rowCount(), 2);
    QCOMPARE(form.CellAttrs.RowCount(), 1u);

    form.VelTorGrid->CommitEditor();
    QVERIFY(!form.VelTorGrid->Editor());
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("12345"))}));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::editorClosedUnchanged()
{
    showAndActivate();
    TVelTorForm &form = window->form;

    // A blank cell of the new-line row, opened and left.
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(2), 1);
    QVERIFY(editor);
    form.VelTorGrid->CommitEditor();
    QVERIFY(!form.Modified);
    QCOMPARE(form.Model->rowCount(), 1);
    QCOMPARE(form.CellAttrs.RowCount(), 0u);

    // A filled cell, opened and left.
    fill(form, {line(QStringLiteral("1|||||||曲名"))});
    editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("曲名"));
    form.VelTorGrid->CommitEditor();
    QVERIFY(!form.Modified);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("1|||||||曲名"))}));

    // Everything deleted: a change, though the text is empty.
    editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QCOMPARE(editor->text(), QString());
    form.VelTorGrid->CommitEditor();
    QVERIFY(form.Modified);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("1"))}));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::editorJapaneseInput()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);

    commit(editor, QStringLiteral("夜明けの"));
    commit(editor, QStringLiteral("ｽｷｬｯﾄ"));
    QCOMPARE(editor->text(), QStringLiteral("夜明けのｽｷｬｯﾄ"));
    QVERIFY(form.Modified);
    QCOMPARE(form.Model->rowCount(), 2);
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), sjis(QStringLiteral("夜明けのｽｷｬｯﾄ")));

    // Kanji in a field that takes only single-byte characters: kept, but
    // framed red with the rule as the hint.
    editor = openEditor(form, form.FieldToGridCol(6), 1);
    QVERIFY(editor);
    commit(editor, QStringLiteral("作品"));
    QVERIFY(form.CellAttrs.IsError(0, 6));
    QCOMPARE(form.Model->Hint(0, 6), QStringLiteral("全角文字（漢字等）を含んではいけません。"));
    editor->clear();
    QTest::keyClicks(editor, "0123");
    QVERIFY(!form.CellAttrs.IsError(0, 6));
    QCOMPARE(form.Model->Hint(0, 6), fieldHint(form, 6));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("||||||0123|夜明けのｽｷｬｯﾄ"))}));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::byteLimit_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("fits");
    QTest::addColumn<QString>("refused");

    QTest::newRow("30 kanji fit, the 31st is refused") << 7 << QString(30, u'漢') << QStringLiteral("漢");
    QTest::newRow("60 ASCII fit, the 61st is refused") << 7 << QString(60, u'a') << QStringLiteral("a");
    QTest::newRow("58 ASCII and a kanji fit, then no ASCII")
            << 7 << QString(58, u'a') + QStringLiteral("漢") << QStringLiteral("b");
    QTest::newRow("59 ASCII fit, a kanji is refused") << 7 << QString(59, u'a') << QStringLiteral("漢");
    QTest::newRow("60 half-width katakana fit, the 61st is refused")
            << 7 << QString(60, u'ｱ') << QStringLiteral("ｱ");
    QTest::newRow("field 1 takes one letter") << 1 << QStringLiteral("Q") << QStringLiteral("R");
    QTest::newRow("field 1 refuses a kanji") << 1 << QString() << QStringLiteral("漢");
    QTest::newRow("field 18 takes nine digits") << 18 << QStringLiteral("123456789") << QStringLiteral("0");
}

void tst_Editing::byteLimit()
{
    QFETCH(int, field);
    QFETCH(QString, fits);
    QFETCH(QString, refused);
    showAndActivate();
    TVelTorForm &form = window->form;
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(field), 1);
    QVERIFY(editor);

    const bool latin = QString::fromLatin1(fits.toLatin1()) == fits;
    if (latin)
        QTest::keyClicks(editor, fits);
    else
        commit(editor, fits);
    QCOMPARE(editor->text(), fits);

    commit(editor, refused);
    QCOMPARE(editor->text(), fits);
    if (QString::fromLatin1(refused.toLatin1()) == refused) {
        QTest::keyClicks(editor, refused);
        QCOMPARE(editor->text(), fits);
    }

    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, field)), sjis(fits));
    QCOMPARE(form.Model->rowCount(), fits.isEmpty() ? 1 : 2);
    QVERIFY(!form.CellAttrs.IsError(0, unsigned(field)));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::trailingSpaces_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");

    QTest::newRow("trailing spaces dropped") << "ab c  " << "ab c";
    QTest::newRow("leading spaces kept") << "  ab" << "  ab";
    QTest::newRow("inner spaces kept") << "a   b" << "a   b";
    QTest::newRow("only spaces") << "   " << "";
}

void tst_Editing::trailingSpaces()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    showAndActivate();
    TVelTorForm &form = window->form;
    fill(form, {line(QStringLiteral("1"))});
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QTest::keyClicks(editor, typed);
    form.VelTorGrid->CommitEditor();
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("1|||||||") + stored)}));
    QCOMPARE(form.Modified, !stored.isEmpty());
}

void tst_Editing::lookAlikeWaveDash()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    commit(editor, QStringLiteral("A\u301CB"));
    QCOMPARE(editor->text(), QStringLiteral("A\uFF5EB"));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), QByteArray("A\x81\x60" "B"));
}

void tst_Editing::unencodableRefused()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    fill(form, {line(QStringLiteral("1|||||||abc"))});
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    editor->end(false);

    commit(editor, QStringLiteral("\U0001F600"));
    QCOMPARE(editor->text(), QStringLiteral("abc"));
    QCOMPARE(form.statusBar()->currentMessage(), TextFilter::RefusedMessage());
    form.VelTorGrid->CommitEditor();
    QVERIFY(!form.Modified);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("1|||||||abc"))}));
}

void tst_Editing::pastedControlCharacters()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QGuiApplication::clipboard()->setText(QStringLiteral("a\tb\r\nc\nd"));
    QVERIFY(form.EditPaste1->isEnabled());
    form.EditPaste1->trigger();
    QCOMPARE(editor->text(), QStringLiteral("abcd"));
    QVERIFY(form.Modified);
    form.VelTorGrid->CommitEditor();
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("|||||||abcd"))}));
}

// ---- Keys -------------------------------------------------------------------

void tst_Editing::ctrlTabFromGrid()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    form.VelTorGrid->setFocus();
    QCOMPARE(QApplication::focusWidget(), form.VelTorGrid);
    QTest::keyClick(form.VelTorGrid, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), form.SyoudakuBangou);
}

void tst_Editing::ctrlTabFromEditor()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QCOMPARE(QApplication::focusWidget(), editor);
    QTest::keyClicks(editor, "xyz");
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), form.SyoudakuBangou);
    QVERIFY(!form.VelTorGrid->Editor());
    QCOMPARE(form.SyoudakuBangou->text(), QString());
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("|||||||xyz"))}));
}

void tst_Editing::plainTabMovesToNextCell()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    form.SetCurrentCell(form.FieldToGridCol(2), 1);
    form.VelTorGrid->setFocus();
    QTest::keyClick(form.VelTorGrid, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.VelTorGrid);
    QCOMPARE(form.CurrentCol(), form.FieldToGridCol(3));
    QCOMPARE(form.CurrentRow(), 1);
}

// ---- Line commands ----------------------------------------------------------

void tst_Editing::newReportEnabling()
{
    TVelTorForm &form = window->form;
    QCOMPARE(form.CurrentRow(), 1);
    QVERIFY(form.EditInsertLine->isEnabled());
    QVERIFY(!form.EditDeleteLine->isEnabled());
    QVERIFY(!form.EditCutLine->isEnabled());
    QVERIFY(!form.EditCopyLine->isEnabled());
    QVERIFY(!form.EditPasteLine->isEnabled());

    // A line arriving on the clipboard enables paste by itself.
    setClipboardData(payload(clipboardCells(line(QStringLiteral("9")))));
    QVERIFY(form.EditPasteLine->isEnabled());

    form.EditInsertLine->trigger();
    QVERIFY(form.Modified);
    QCOMPARE(allRows(form), withNewLineRow({line(QString())}));
    QCOMPARE(form.CellAttrs.RowCount(), 1u);
    QCOMPARE(form.CurrentRow(), 1);
    // The inserted line is a report line: it can be deleted again.
    QVERIFY(form.EditDeleteLine->isEnabled());
}

void tst_Editing::enablingFollowsCurrentRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("onClipboard");
    QTest::addColumn<bool>("lineActions");
    QTest::addColumn<bool>("insert");
    QTest::addColumn<bool>("paste");

    QTest::newRow("first line") << 1 << true << true << true << true;
    QTest::newRow("last line") << 2 << true << true << true << true;
    QTest::newRow("new-line row") << 3 << true << false << true << true;
    QTest::newRow("first line, nothing on the clipboard") << 1 << false << true << true << false;
    QTest::newRow("new-line row, nothing on the clipboard") << 3 << false << false << true << false;
}

void tst_Editing::enablingFollowsCurrentRow()
{
    QFETCH(int, row);
    QFETCH(bool, onClipboard);
    QFETCH(bool, lineActions);
    QFETCH(bool, insert);
    QFETCH(bool, paste);
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1"), QStringLiteral("2")}));
    if (onClipboard)
        setClipboardData(payload(clipboardCells(line(QStringLiteral("9")))));

    // Moving the current cell alone updates the actions.
    form.SetCurrentCell(form.FieldToGridCol(5), row);
    QCOMPARE(form.CurrentRow(), row);
    QCOMPARE(form.EditDeleteLine->isEnabled(), lineActions);
    QCOMPARE(form.EditCutLine->isEnabled(), lineActions);
    QCOMPARE(form.EditCopyLine->isEnabled(), lineActions);
    QCOMPARE(form.EditInsertLine->isEnabled(), insert);
    QCOMPARE(form.EditPasteLine->isEnabled(), paste);
}

void tst_Editing::disabledCommandsDoNothing()
{
    TVelTorForm &form = window->form;
    fill(form, fourLines);
    form.SetCurrentCell(form.FieldToGridCol(0), 5);
    const QStringList before = allRows(form);
    QSignalSpy changed(form.Model, &QAbstractItemModel::dataChanged);

    // Called directly, past the disabled actions: each checks again.
    form.EditDeleteLineExecute();
    form.EditCutLineExecute();
    form.EditCopyLineExecute();
    form.EditPasteLineExecute();
    QCOMPARE(allRows(form), before);
    QVERIFY(!form.Modified);
    QVERIFY(!form.LineClipboard.HasRecord());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(form.CurrentRow(), 5);
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::lineCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QStringList>("errors");

    const QString A = fourLines.at(0), B = fourLines.at(1), C = fourLines.at(2), D = fourLines.at(3);
    const QString Z = line(QStringLiteral("9|||||||曲Z"));
    const QString E = line(QString());

    QTest::newRow("insert above the invalid line")
            << "insert" << 2 << QStringList{A, E, B, C, D} << true << QStringList{"3:1"};
    QTest::newRow("insert on the invalid line")
            << "insert" << 3 << QStringList{A, B, E, C, D} << true << QStringList{"3:1"};
    QTest::newRow("insert below the invalid line")
            << "insert" << 4 << QStringList{A, B, C, E, D} << true << QStringList{"2:1"};
    QTest::newRow("insert on the new-line row")
            << "insert" << 5 << QStringList{A, B, C, D, E} << true << QStringList{"2:1"};
    QTest::newRow("delete above the invalid line")
            << "delete" << 1 << QStringList{B, C, D} << true << QStringList{"1:1"};
    QTest::newRow("delete the invalid line") << "delete" << 3 << QStringList{A, B, D} << true << QStringList();
    QTest::newRow("delete the last line") << "delete" << 4 << QStringList{A, B, C} << true << QStringList{"2:1"};
    QTest::newRow("cut above the invalid line")
            << "cut" << 2 << QStringList{A, C, D} << true << QStringList{"1:1"};
    QTest::newRow("cut the invalid line") << "cut" << 3 << QStringList{A, B, D} << true << QStringList();
    QTest::newRow("copy") << "copy" << 3 << QStringList{A, B, C, D} << false << QStringList{"2:1"};
    QTest::newRow("paste above the invalid line")
            << "paste" << 1 << QStringList{Z, A, B, C, D} << true << QStringList{"3:1"};
    QTest::newRow("paste on the invalid line")
            << "paste" << 3 << QStringList{A, B, Z, C, D} << true << QStringList{"3:1"};
    QTest::newRow("paste on the new-line row")
            << "paste" << 5 << QStringList{A, B, C, D, Z} << true << QStringList{"2:1"};
}

void tst_Editing::lineCommand()
{
    QFETCH(QString, command);
    QFETCH(int, row);
    QFETCH(QStringList, report);
    QFETCH(bool, modified);
    QFETCH(QStringList, errors);
    TVelTorForm &form = window->form;
    fill(form, fourLines);
    QCOMPARE(errorCells(form), QStringList{QStringLiteral("2:1")});
    setClipboardData(payload(clipboardCells(line(QStringLiteral("9|||||||曲Z")))));
    const int col = form.FieldToGridCol(7);
    form.SetCurrentCell(col, row);
    const QString current = rowText(form, form.GridRowToRecord(row));

    QSignalSpy inserted(form.Model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(form.Model, &QAbstractItemModel::rowsRemoved);
    QAction *action = command == u"insert" ? form.EditInsertLine
            : command == u"delete"         ? form.EditDeleteLine
            : command == u"cut"            ? form.EditCutLine
            : command == u"copy"           ? form.EditCopyLine
                                           : form.EditPasteLine;
    QVERIFY(action->isEnabled());
    action->trigger();

    QCOMPARE(allRows(form), withNewLineRow(report));
    QCOMPARE(form.Modified, modified);
    QCOMPARE(errorCells(form), errors);
    QCOMPARE(verdictMismatch(form), QString());
    // The current cell keeps its grid position.
    QCOMPARE(form.CurrentRow(), row);
    QCOMPARE(form.CurrentCol(), col);
    // One row signal per command: no line is moved one by one.
    const bool grows = command == u"insert" || command == u"paste";
    const bool shrinks = command == u"delete" || command == u"cut";
    QCOMPARE(inserted.count(), grows ? 1 : 0);
    QCOMPARE(removed.count(), shrinks ? 1 : 0);

    if (command == u"cut" || command == u"copy") {
        const QByteArray expected = payload(clipboardCells(current));
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("qnVelTor-Record")), expected);
        QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasText());
    }
    // The actions follow the new rows at once.
    const bool onLine = form.CurrentRow() < form.GridRowCount() - 1;
    QCOMPARE(form.EditDeleteLine->isEnabled(), onLine);
    QCOMPARE(form.EditPasteLine->isEnabled(), true);
}

void tst_Editing::insertOnLastRowTwice()
{
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1")}));
    form.SetCurrentCell(form.FieldToGridCol(0), 2);
    form.EditInsertLine->trigger();
    form.EditInsertLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("1"), QString(), QString()})));
    QCOMPARE(form.CellAttrs.RowCount(), 3u);
    QCOMPARE(form.CurrentRow(), 2);

    // Typing into the former new-line row, now a line, adds no row.
    type(form, form.FieldToGridCol(0), 3, QStringLiteral("3"));
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("1"), QString(), QStringLiteral("3")})));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::lineCommandCommitsOpenEditor()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1"), QStringLiteral("2")}));
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(6), 2);
    QVERIFY(editor);
    commit(editor, QStringLiteral("曲"));
    QVERIFY(form.CellAttrs.IsError(1, 6));

    // What was typed travels with the line.
    form.EditCopyLineExecute();
    QVERIFY(!form.VelTorGrid->Editor());
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("qnVelTor-Record")),
             payload(clipboardCells(line(QStringLiteral("2||||||曲")))));

    form.SetCurrentCell(form.FieldToGridCol(1), 1);
    form.EditInsertLineExecute();
    QCOMPARE(allRows(form), withNewLineRow(lines({QString(), QStringLiteral("1"), QStringLiteral("2||||||曲")})));
    QCOMPARE(errorCells(form), QStringList{QStringLiteral("2:6")});
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::copyPutsExactPayload()
{
    TVelTorForm &form = window->form;
    fill(form, {line(QStringLiteral("1|Q|000|||0|12345678|夜明け|||||||0|V|1||0"))});
    form.EditCopyLine->trigger();
    QVERIFY(!form.Modified);
    QVERIFY(form.LineClipboard.HasRecord());
    QByteArray expected = "\r\n1\r\nQ\r\n000\r\n\r\n\r\n0\r\n12345678\r\n\x96\xE9\x96\xBE\x82\xAF\r\n";
    expected += "\r\n\r\n\r\n\r\n\r\n\r\n0\r\nV\r\n1\r\n\r\n0\r\n";
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("qnVelTor-Record")), expected);
    QCOMPARE(allRows(form), withNewLineRow({line(QStringLiteral("1|Q|000|||0|12345678|夜明け|||||||0|V|1||0"))}));
}

void tst_Editing::cutPasteRoundTrip()
{
    TVelTorForm &form = window->form;
    fill(form, fourLines);
    const QString A = fourLines.at(0), B = fourLines.at(1), C = fourLines.at(2), D = fourLines.at(3);

    // The invalid line travels, and its frame with it.
    form.SetCurrentCell(form.FieldToGridCol(1), 3);
    form.EditCutLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow({A, B, D}));
    QCOMPARE(errorCells(form), QStringList());
    QVERIFY(form.EditPasteLine->isEnabled());

    form.SetCurrentCell(form.FieldToGridCol(1), 1);
    form.EditPasteLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow({C, A, B, D}));
    QCOMPARE(errorCells(form), QStringList{QStringLiteral("0:1")});
    QCOMPARE(form.Model->Hint(0, 1), QStringLiteral("文字数は1文字（漢字は0）までです。"));

    // The clipboard still holds the line: paste it once more.
    form.SetCurrentCell(form.FieldToGridCol(1), 4);
    form.EditPasteLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow({C, A, B, C, D}));
    QCOMPARE(errorCells(form), (QStringList{QStringLiteral("0:1"), QStringLiteral("3:1")}));
    QCOMPARE(verdictMismatch(form), QString());
    QVERIFY(form.Modified);
}

void tst_Editing::cutOnlyLine()
{
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1|QQ|000")}));
    form.EditCutLine->trigger();
    QCOMPARE(form.GridRowCount(), 2);
    QCOMPARE(allRows(form), withNewLineRow({}));
    QCOMPARE(form.CellAttrs.RowCount(), 0u);
    QCOMPARE(form.CurrentRow(), 1);
    QVERIFY(form.Modified);
    QVERIFY(!form.EditDeleteLine->isEnabled());
    QVERIFY(form.EditPasteLine->isEnabled());

    std::vector<std::string> cells;
    QVERIFY(form.LineClipboard.GetRecord(cells));
    QStringList texts;
    for (const std::string &cell : cells)
        texts << ShiftJis::ToText(cell);
    QCOMPARE(texts.join(u'|'), QStringLiteral("|") + line(QStringLiteral("1|QQ|000")));
}

void tst_Editing::pasteOnLastRowAppends()
{
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1")}));
    setClipboardData(payload(clipboardCells(line(QStringLiteral("2|||||||曲")))));
    form.SetCurrentCell(form.FieldToGridCol(3), 2);
    form.EditPasteLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("1"), QStringLiteral("2|||||||曲")})));
    QCOMPARE(form.CurrentRow(), 2);
    QCOMPARE(form.CurrentCol(), form.FieldToGridCol(3));

    // The new-line row is still there and still works as one.
    type(form, form.FieldToGridCol(0), 3, QStringLiteral("3"));
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("1"), QStringLiteral("2|||||||曲"),
                                                   QStringLiteral("3")})));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::pasteWithEmptyFields()
{
    TVelTorForm &form = window->form;
    const QString full = line(QStringLiteral("1|Q|000||001||12345678|曲|副|詞|補|曲者|編|歌|0|V|1|L|0"));
    QCOMPARE(full.split(u'|').at(3), QString());
    QCOMPARE(full.split(u'|').at(5), QString());
    setClipboardData(payload(clipboardCells(full)));
    form.EditPasteLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow({full}));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::pasteValidatesLine()
{
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1")}));
    // Field 0 takes no kanji, field 1 one byte, field 7 sixty bytes.
    const QString pasted = line(QStringLiteral("曲|QQ||||||") + QString(31, u'漢'));
    setClipboardData(payload(clipboardCells(pasted)));
    form.SetCurrentCell(form.FieldToGridCol(0), 1);
    form.EditPasteLine->trigger();

    QCOMPARE(allRows(form), withNewLineRow({pasted, line(QStringLiteral("1"))}));
    QCOMPARE(errorCells(form), (QStringList{QStringLiteral("0:0"), QStringLiteral("0:1"), QStringLiteral("0:7")}));
    QCOMPARE(form.Model->Hint(0, 0), QStringLiteral("全角文字（漢字等）を含んではいけません。"));
    QCOMPARE(form.Model->Hint(0, 7), QStringLiteral("文字数は60文字（漢字は30）までです。"));
    QCOMPARE(form.Model->Hint(0, 2), fieldHint(form, 2));
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::foreignPayload_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("pasted");

    QStringList numbered;
    for (int i = 0; i < 25; ++i)
        numbered << QString::number(i);
    QTest::newRow("25 lines: the last five dropped")
            << payload(numbered) << numbered.mid(1, Fields).join(u'|');
    QTest::newRow("LF only")
            << payload(clipboardCells(line(QStringLiteral("1|Q|000||001||123|曲"))), "\n")
            << line(QStringLiteral("1|Q|000||001||123|曲"));
    QTest::newRow("lone CR")
            << payload(clipboardCells(line(QStringLiteral("1|Q|000||001||123|曲"))), "\r")
            << line(QStringLiteral("1|Q|000||001||123|曲"));
    QTest::newRow("no final line break") << QByteArray("\r\n1\r\n\r\nABC") << line(QStringLiteral("1||ABC"));
    QTest::newRow("text in the handle column dropped")
            << QByteArray("handle\r\n1\r\nQ\r\n") << line(QStringLiteral("1|Q"));
    QTest::newRow("TAB and 0x1A never enter a cell")
            << QByteArray("\r\n1\t2\r\nA\x1A" "B\r\n") << line(QStringLiteral("12|AB"));
    QTest::newRow("zero padding after the text") << QByteArray("\r\n7\r\n\0\0\0\0x\r\n", 13) << line(QStringLiteral("7"));
}

void tst_Editing::foreignPayload()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, pasted);
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1")}));
    setClipboardData(data);
    QVERIFY(form.EditPasteLine->isEnabled());
    form.EditPasteLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow({pasted, line(QStringLiteral("1"))}));
    QCOMPARE(verdictMismatch(form), QString());
    QVERIFY(form.Modified);
}

void tst_Editing::pasteOfUnreadableLineLeavesNoLine()
{
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1")}));
    // The format is offered but holds nothing: what a failed transfer
    // between two programs looks like.
    setClipboardData(QByteArray());
    QVERIFY(form.LineClipboard.HasRecord());
    form.EditPasteLineExecute();
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("1")})));
    QVERIFY(!form.Modified);
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::plainTextDisablesPaste()
{
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1")}));
    form.EditCopyLine->trigger();
    QVERIFY(form.EditPasteLine->isEnabled());

    QGuiApplication::clipboard()->setText(QStringLiteral("plain text"));
    QVERIFY(!form.EditPasteLine->isEnabled());
    form.EditPasteLineExecute();
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("1")})));
    QVERIFY(!form.Modified);

    // Another format of the same program's name does not count either.
    setClipboardData(payload(clipboardCells(line(QStringLiteral("2")))), QStringLiteral("qnVelTor-Other"));
    QVERIFY(!form.EditPasteLine->isEnabled());
}

// ---- Dragged lines ----------------------------------------------------------

void tst_Editing::rowMoved_data()
{
    QTest::addColumn<bool>("byHeader");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<bool>("modified");

    const QString A = fourLines.at(0), B = fourLines.at(1), C = fourLines.at(2), D = fourLines.at(3);
    for (const bool byHeader : {false, true}) {
        const char *how = byHeader ? "header drag" : "handler";
        QTest::addRow("%s: first line down", how) << byHeader << 1 << 3 << QStringList{B, C, A, D}
                                                  << QStringList{"1:1"} << true;
        QTest::addRow("%s: last line up", how) << byHeader << 4 << 2 << QStringList{A, D, B, C}
                                               << QStringList{"3:1"} << true;
        QTest::addRow("%s: invalid line down", how) << byHeader << 3 << 4 << QStringList{A, B, D, C}
                                                    << QStringList{"3:1"} << true;
        QTest::addRow("%s: invalid line to the top", how) << byHeader << 3 << 1 << QStringList{C, A, B, D}
                                                          << QStringList{"0:1"} << true;
        QTest::addRow("%s: onto the new-line row", how) << byHeader << 2 << 5 << QStringList{A, C, D, B}
                                                        << QStringList{"1:1"} << true;
        QTest::addRow("%s: invalid line onto the new-line row", how)
                << byHeader << 3 << 5 << QStringList{A, B, D, C} << QStringList{"3:1"} << true;
        QTest::addRow("%s: the new-line row itself", how) << byHeader << 5 << 2 << QStringList{A, B, C, D}
                                                          << QStringList{"2:1"} << false;
    }
}

void tst_Editing::rowMoved()
{
    QFETCH(bool, byHeader);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, report);
    QFETCH(QStringList, errors);
    QFETCH(bool, modified);
    TVelTorForm &form = window->form;
    fill(form, fourLines);

    if (byHeader) {
        QHeaderView *handles = form.VelTorGrid->verticalHeader();
        QSignalSpy dragged(form.VelTorGrid, &VelTorGridView::rowDragged);
        handles->moveSection(form.GridRowToRecord(from), form.GridRowToRecord(to));
        QCOMPARE(dragged.count(), 1);
        // The view shows rows in model order again.
        for (int section = 0; section < handles->count(); ++section)
            QCOMPARE(handles->visualIndex(section), section);
    } else {
        form.VelTorGridRowMoved(from, to);
    }

    QCOMPARE(allRows(form), withNewLineRow(report));
    QCOMPARE(form.GridRowCount(), int(report.size()) + 2);
    QCOMPARE(errorCells(form), errors);
    QCOMPARE(verdictMismatch(form), QString());
    QCOMPARE(form.Modified, modified);
}

// ---- Character cut, copy and paste ----------------------------------------

void tst_Editing::textActions()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    QGuiApplication::clipboard()->clear();

    form.SyoudakuBangou->setFocus();
    form.SyoudakuBangou->setText(QStringLiteral("1234567890"));
    form.SyoudakuBangou->deselect();
    QCOMPARE(QApplication::focusWidget(), form.SyoudakuBangou);
    QVERIFY(!form.EditCut1->isEnabled());
    QVERIFY(!form.EditCopy1->isEnabled());
    QVERIFY(!form.EditPaste1->isEnabled());

    form.SyoudakuBangou->setSelection(2, 3);
    QVERIFY(form.EditCut1->isEnabled());
    QVERIFY(form.EditCopy1->isEnabled());
    form.EditCut1->trigger();
    QCOMPARE(form.SyoudakuBangou->text(), QStringLiteral("1267890"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("345"));
    QVERIFY(!form.EditCut1->isEnabled());
    QVERIFY(form.EditPaste1->isEnabled());

    // A line on the clipboard is no text.
    form.LineClipboard.PutRecord(std::vector<std::string>(20));
    QVERIFY(!form.EditPaste1->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    QVERIFY(form.EditPaste1->isEnabled());

    // The grid itself takes blocks of cells as text.
    form.VelTorGrid->setFocus();
    QCOMPARE(QApplication::focusWidget(), form.VelTorGrid);
    QVERIFY(form.EditCut1->isEnabled());
    QVERIFY(form.EditCopy1->isEnabled());
    QVERIFY(form.EditPaste1->isEnabled());
    form.LineClipboard.PutRecord(std::vector<std::string>(20));
    QVERIFY(!form.EditPaste1->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));

    // Its cell editor does.
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QVERIFY(form.EditPaste1->isEnabled());
    QTest::keyClicks(editor, "abc");
    editor->selectAll();
    QVERIFY(form.EditCopy1->isEnabled());
    form.EditCopy1->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("abc"));
}

// ---- Pastes that do not fit --------------------------------------------------

void tst_Editing::pasteCutToFit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("selectionStart");
    QTest::addColumn<int>("selectionLength");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("leftOut");

    const QString kanji28 = QString(28, u'漢');
    QTest::newRow("35 kanji into an empty 60-byte cell")
            << QString() << 0 << 0 << QString(35, u'字') << QString(30, u'字') << 5;
    QTest::newRow("a kanji fits the last two bytes, what follows does not")
            << QString(58, u'a') << 58 << 0 << QStringLiteral("漢a字") << QString(58, u'a') + u'漢' << 2;
    QTest::newRow("one byte free: no half kanji, nothing pasted")
            << QString(59, u'a') << 59 << 0 << QStringLiteral("漢字") << QString(59, u'a') << 2;
    QTest::newRow("half-width katakana count one byte")
            << QString(57, u'a') << 57 << 0 << QStringLiteral("ｱｲｳｴｵ") << QString(57, u'a') + QStringLiteral("ｱｲｳ")
            << 2;
    QTest::newRow("into the middle, over a selection")
            << QStringLiteral("AB") + kanji28 << 1 << 1 << QStringLiteral("12345")
            << QStringLiteral("A123") + kanji28 << 2;
    QTest::newRow("what fits is taken whole, no message")
            << QStringLiteral("AB") + kanji28 << 1 << 1 << QStringLiteral("123") << QStringLiteral("A123") + kanji28
            << 0;
}

void tst_Editing::pasteCutToFit()
{
    QFETCH(QString, before);
    QFETCH(int, selectionStart);
    QFETCH(int, selectionLength);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    QFETCH(int, leftOut);
    showAndActivate();
    TVelTorForm &form = window->form;
    if (!before.isEmpty())
        fill(form, {line(QStringLiteral("1|||||||") + before)});
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QCOMPARE(editor->text(), before);
    editor->setSelection(selectionStart, selectionLength);
    form.statusBar()->clearMessage();

    QGuiApplication::clipboard()->setText(pasted);
    form.EditPaste1->trigger();
    QCOMPARE(editor->text(), after);
    QCOMPARE(form.statusBar()->currentMessage(), leftOut ? TextFilter::LeftOutMessage(leftOut) : QString());
    if (after != before)
        QCOMPARE(editor->cursorPosition(), int(after.size() - (before.size() - selectionStart - selectionLength)));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), sjis(after));
    QCOMPARE(form.Modified, after != before);
    QCOMPARE(verdictMismatch(form), QString());
}

void tst_Editing::pasteIntoHeaderBoxCutToFit()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    form.SyoudakuBangou->setFocus();
    QTRY_VERIFY(form.SyoudakuBangou->hasFocus());
    QGuiApplication::clipboard()->setText(QStringLiteral("12345678901234567890"));
    form.EditPaste1->trigger();
    QCOMPARE(form.SyoudakuBangou->text(), QStringLiteral("1234567890123456"));
    QCOMPARE(form.statusBar()->currentMessage(), TextFilter::LeftOutMessage(4));
    QVERIFY(form.Modified);
}

void tst_Editing::loadedLongCellNotCut()
{
    // A cell read from a file may be longer than its field allows; showing it
    // in the editor must not cut it, and nothing more is let in.
    showAndActivate();
    TVelTorForm &form = window->form;
    const QString overlong = QString(31, u'漢');
    fill(form, {line(QStringLiteral("1|||||||") + overlong)});
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QCOMPARE(editor->text(), overlong);
    editor->end(false);
    QGuiApplication::clipboard()->setText(QStringLiteral("ab"));
    form.EditPaste1->trigger();
    QCOMPARE(editor->text(), overlong);
    QCOMPARE(form.statusBar()->currentMessage(), TextFilter::LeftOutMessage(2));
    // Replacing two kanji by up to four bytes keeps the cell as long as it was.
    editor->setSelection(0, 2);
    form.EditPaste1->trigger();
    QCOMPARE(editor->text(), QStringLiteral("ab") + QString(29, u'漢'));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), sjis(QStringLiteral("ab") + QString(29, u'漢')));
}

// ---- Failures that must lose nothing ----------------------------------------

namespace {

// A clipboard that takes nothing: another program holds it, or the system
// refuses.
class RefusingClipboard : public qnVelTorClipboard
{
public:
    bool PutRecord(const std::vector<std::string> &) const override
    {
        ++puts;
        return false;
    }
    mutable int puts = 0;
};

} // namespace

void tst_Editing::cutRefusedByClipboardKeepsLine()
{
    TVelTorForm &form = window->form;
    const QStringList report = lines({QStringLiteral("1|QQ|000"), QStringLiteral("2")});
    fill(form, report);
    RefusingClipboard refusing;
    form.SetLineClipboard(&refusing);

    for (const bool modified : {false, true}) {
        form.Modified = modified;
        form.SetCurrentCell(form.FieldToGridCol(1), 1);
        QVERIFY(form.EditCutLine->isEnabled());
        form.statusBar()->clearMessage();
        form.EditCutLine->trigger();
        QCOMPARE(allRows(form), withNewLineRow(report));
        QCOMPARE(form.Modified, modified);
        QCOMPARE(errorCells(form), QStringList({QStringLiteral("0:1")}));
        QCOMPARE(form.CurrentRow(), 1);
        QCOMPARE(form.statusBar()->currentMessage(),
                 QStringLiteral("クリップボードに入れられなかったため、行は切り取りませんでした。"));
    }
    QCOMPARE(refusing.puts, 2);
    form.EditCopyLine->trigger();
    QCOMPARE(form.statusBar()->currentMessage(), QStringLiteral("クリップボードに入れられませんでした。"));
    QCOMPARE(allRows(form), withNewLineRow(report));
    QCOMPARE(refusing.puts, 3);

    // The system's clipboard again: the cut goes ahead.
    form.SetLineClipboard(nullptr);
    form.EditCutLine->trigger();
    QCOMPARE(allRows(form), withNewLineRow(lines({QStringLiteral("2")})));
    QVERIFY(form.LineClipboard.HasRecord());
}

void tst_Editing::editorOnBytesThatCannotBeShown()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    fill(form, lines({QStringLiteral("1|||||||曲名")}));
    const std::string_view stray("A\x80" "B\xFD", 4);
    form.Model->SetCell(0, 7, stray);

    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("A\uFFFDB\uFFFD"));
    QCOMPARE(form.statusBar()->currentMessage(), CellDelegate::UnshowableBytesMessage());
    QVERIFY(CellDelegate::UnshowableBytesMessage().contains(QStringLiteral("削除")));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), bytes(stray));
    QVERIFY(!form.Modified);

    // A sound cell, double-byte characters and all, says nothing of the kind.
    form.statusBar()->clearMessage();
    fill(form, lines({QStringLiteral("1|||||||曲名")}));
    QVERIFY(openEditor(form, form.FieldToGridCol(7), 1));
    QCOMPARE(form.statusBar()->currentMessage(), QString());
    form.VelTorGrid->CommitEditor();
}

// Before, opening the editor on a loaded cell that ends in spaces and
// leaving it without typing cut the spaces off, marked the report modified
// and made an undo step.
void tst_Editing::editorLeftAloneKeepsTrailingSpaces()
{
    showAndActivate();
    TVelTorForm &form = window->form;
    fill(form, {line(QStringLiteral("1"))});
    form.Model->SetCell(0, 7, "abc  ");
    form.Model->SetCell(0, 8, "   ");
    const int steps = form.UndoStack->count();

    for (int field : {7, 8}) {
        QVERIFY(openEditor(form, form.FieldToGridCol(field), 1));
        form.VelTorGrid->CommitEditor();
    }
    QCOMPARE(bytes(form.Model->Cell(0, 7)), QByteArray("abc  "));
    QCOMPARE(bytes(form.Model->Cell(0, 8)), QByteArray("   "));
    QVERIFY(!form.Modified);
    QVERIFY(!form.isWindowModified());
    QCOMPARE(form.UndoStack->count(), steps);

    // A real change still drops the spaces typed or left at the end.
    QLineEdit *editor = openEditor(form, form.FieldToGridCol(7), 1);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("ab  "));
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 7)), QByteArray("ab"));
    QVERIFY(form.Modified);

    // Deleting only the spaces at the end is an edit too.
    editor = openEditor(form, form.FieldToGridCol(8), 1);
    QVERIFY(editor);
    editor->end(false);
    QTest::keyClick(editor, Qt::Key_Backspace);
    form.VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Model->Cell(0, 8)), QByteArray());
}

QTEST_MAIN(tst_Editing)
#include "tst_editing.moc"
