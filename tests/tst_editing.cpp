// Editing: what cell edits, line commands and dragged lines do to the
// report's lines and verdicts, on the document; and in the main window, the
// cell editor's limits, keys, the line actions with their enabled states
// and the line clipboard. Throughout, the verdicts must stay on the lines
// they were made for.

#include "CellDelegate.h"
#include "TextFilter.h"
#include "WindowSupport.h"

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

using namespace TestSupport;

namespace {

constexpr int Fields = int(FieldCount);

// A line as lineText() shows it: "1|||||||" + "" reads "1".
QString lineOf(QString text)
{
    while (text.endsWith(u'|'))
        text.chop(1);
    return text;
}

QByteArray reportFile(const QStringList &lines)
{
    QByteArray content;
    for (const QString &line : lines)
        content += fileLine(line);
    return content;
}

// A line's 19 cells from its leading fields, "1||Q" style.
std::vector<std::string> cellsOf(const QString &leading)
{
    std::vector<std::string> cells(FieldCount);
    const QStringList texts = leading.split(u'|');
    for (int field = 0; field < texts.size(); ++field)
        cells[std::size_t(field)] = sjis(texts.at(field)).toStdString();
    return cells;
}

QString message(const ReportDocument &document, int line, int field)
{
    return ShiftJis::ToText(document.Verdicts().GetErrorMessage(unsigned(line), unsigned(field)));
}

QString fieldHint(const TVelTorForm &form, int field)
{
    return ShiftJis::ToText(form.Document().Attributes().At(unsigned(field))->hint);
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

// The grid row a line given by its leading fields is put on the clipboard
// with: the handle column first, then all 19 fields.
QStringList clipboardCells(const QString &leading)
{
    QStringList cells = leading.split(u'|');
    while (cells.size() < Fields)
        cells << QString();
    return QStringList{QString()} + cells;
}

QByteArray clipboardLine()
{
    return QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("qnVelTor-Record"));
}

void commit(QWidget *editor, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(editor, &event);
}

// The four-line report most line tests start from; line 2 holds an invalid
// cell: field 1 takes one byte. As linesWithErrors() shows them.
const QString A = QStringLiteral("1|||||||曲A");
const QString B = QStringLiteral("2|||||||曲B");
const QString C = QStringLiteral("3|QQ||||||曲C [1]");
const QString D = QStringLiteral("4|||||||曲D");
const QString Z = QStringLiteral("9|||||||曲Z");
const QStringList fourLines = {A, B, QStringLiteral("3|QQ||||||曲C"), D};

} // namespace

class tst_Editing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // On the document: cell edits as the editor reports them.
    void setEditTextModified_data();
    void setEditTextModified();
    void emptyTextIntoLastRowAddsNothing();
    void verdictStoredAndCleared();
    void controlCharactersNeverStored();

    // On the document: whole lines.
    void lineOperation_data();
    void lineOperation();
    void insertAtEndTwice();
    void cutPasteRoundTrip();
    void pasteValidatesLine();
    void lineMoved_data();
    void lineMoved();

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
    void pasteIntoCellEditor_data();
    void pasteIntoCellEditor();
    void clickOnCurrentCellOnlySelects();
    void pasteCutToFit_data();
    void pasteCutToFit();
    void pasteIntoHeaderBoxCutToFit();
    void loadedLongCellNotCut();

    // Keys.
    void ctrlTabFromGrid();
    void ctrlTabFromEditor();
    void plainTabMovesToNextCell();

    // Line commands in the window.
    void newReportEnabling();
    void enablingFollowsCurrentRow_data();
    void enablingFollowsCurrentRow();
    void disabledCommandsDoNothing();
    void lineCommand_data();
    void lineCommand();
    void lineCommandCommitsOpenEditor();
    void copyPutsExactPayload();
    void cutOnlyLine();
    void pasteOnLastRowAppends();
    void pasteWithEmptyFields();
    void foreignPayload_data();
    void foreignPayload();
    void pasteOfUnreadableLineLeavesNoLine();
    void plainTextDisablesPaste();

    // Lines dragged by their handles.
    void rowDragged_data();
    void rowDragged();

    // Character cut, copy and paste.
    void textActions();

    // Failures that must lose nothing.
    void cutRefusedByClipboardKeepsLine();
    void editorOnBytesThatCannotBeShown();
    void editorLeftAloneKeepsTrailingSpaces();

private:
    bool load(ReportDocument &document, const QStringList &lines);
    TVelTorForm &newWindow();
    // Opens the file as Open does; the first cell is current then.
    bool openFile(const QByteArray &content);
    bool open(const QStringList &lines) { return openFile(reportFile(lines)); }
    void showAndActivate();

    QTemporaryDir folder;
    std::unique_ptr<Window> window;
};

void tst_Editing::initTestCase()
{
    // The window reads its column widths and size at start; keep the
    // user's own settings out of the way.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(folder.isValid());
}

void tst_Editing::init()
{
    QGuiApplication::clipboard()->clear();
}

void tst_Editing::cleanup()
{
    if (!window)
        return;
    const QStringList boxes = window->dialogs.boxes;
    const int otherDialogs = window->dialogs.fileDialogs + window->dialogs.abouts;
    window.reset();
    // No dialog may appear while editing.
    QCOMPARE(boxes, QStringList());
    QCOMPARE(otherDialogs, 0);
}

bool tst_Editing::load(ReportDocument &document, const QStringList &lines)
{
    return loadReport(document, folder, reportFile(lines));
}

TVelTorForm &tst_Editing::newWindow()
{
    window = std::make_unique<Window>();
    return window->form;
}

bool tst_Editing::openFile(const QByteArray &content)
{
    const QString path = folder.filePath(QStringLiteral("1234567890202404TEST.dat"));
    return writeFile(path, content) && window->form.LoadReport(path);
}

void tst_Editing::showAndActivate()
{
    TVelTorForm &form = window->form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

// ---- Cell edits as the editor reports them ---------------------------------

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
    ReportDocument document;
    QVERIFY(load(document, {QStringLiteral("1|||||||") + before}));
    QVERIFY(!document.IsModified());

    // Typing shows at once, also a keystroke taken back before the commit.
    document.Typing().Type(0, 7, text);
    QCOMPARE(document.IsModified(), modified);
    document.Typing().Type(0, 7, text + u'x');
    QVERIFY(document.IsModified());
    document.Typing().Type(0, 7, text);
    QCOMPARE(document.Typing().Commit(0, 7, text), EditResult::Done);
    document.Typing().End();
    QCOMPARE(document.IsModified(), modified);
    QCOMPARE(document.UndoStack()->count(), modified ? 1 : 0);
    QCOMPARE(lineTexts(document), QStringList{lineOf(QStringLiteral("1|||||||") + text)});
    QCOMPARE(verdictMismatch(document), QString());
}

void tst_Editing::emptyTextIntoLastRowAddsNothing()
{
    ReportDocument document;
    typeCell(document, 0, 4, QString());
    QVERIFY(!document.IsModified());
    QCOMPARE(document.LineCount(), 0);
    QCOMPARE(document.Verdicts().RowCount(), 0u);
    QCOMPARE(document.UndoStack()->count(), 0);
}

void tst_Editing::verdictStoredAndCleared()
{
    ReportDocument document;
    QVERIFY(load(document, {QStringLiteral("1")}));

    typeCell(document, 0, 1, QStringLiteral("QQ"));
    QCOMPARE(linesWithErrors(document), QStringList{QStringLiteral("1|QQ [1]")});
    QCOMPARE(message(document, 0, 1), QStringLiteral("文字数は1文字（漢字は0）までです。"));

    // A half-width katakana is short enough but not allowed here.
    typeCell(document, 0, 1, QStringLiteral("ｱ"));
    QCOMPARE(linesWithErrors(document), QStringList{QStringLiteral("1|ｱ [1]")});
    QCOMPARE(message(document, 0, 1), QStringLiteral("全角文字（漢字等）を含んではいけません。"));

    typeCell(document, 0, 1, QStringLiteral("Q"));
    QCOMPARE(linesWithErrors(document), QStringList{QStringLiteral("1|Q")});
    QCOMPARE(message(document, 0, 1), QString());

    // Emptying a cell is checked too.
    typeCell(document, 0, 1, QStringLiteral("QQ"));
    QVERIFY(document.Verdicts().IsError(0, 1));
    typeCell(document, 0, 1, QString());
    QCOMPARE(linesWithErrors(document), QStringList{QStringLiteral("1")});
    QCOMPARE(message(document, 0, 1), QString());
    QCOMPARE(verdictMismatch(document), QString());
}

void tst_Editing::controlCharactersNeverStored()
{
    ReportDocument document;
    typeCell(document, 0, 7, QStringLiteral("a\tb\r\nc\nd\x1A" "e"));
    QCOMPARE(lineTexts(document), QStringList{QStringLiteral("|||||||abcde")});
    QCOMPARE(verdictMismatch(document), QString());
}

// ---- Whole lines on the document ---------------------------------------------

void tst_Editing::lineOperation_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("line");
    QTest::addColumn<QStringList>("report");

    const QString E;
    QTest::newRow("insert above the invalid line") << "insert" << 1 << QStringList{A, E, B, C, D};
    QTest::newRow("insert on the invalid line") << "insert" << 2 << QStringList{A, B, E, C, D};
    QTest::newRow("insert below the invalid line") << "insert" << 3 << QStringList{A, B, C, E, D};
    QTest::newRow("insert at the new-line position") << "insert" << 4 << QStringList{A, B, C, D, E};
    QTest::newRow("delete above the invalid line") << "delete" << 0 << QStringList{B, C, D};
    QTest::newRow("delete the invalid line") << "delete" << 2 << QStringList{A, B, D};
    QTest::newRow("delete the last line") << "delete" << 3 << QStringList{A, B, C};
    QTest::newRow("delete at the new-line position removes nothing") << "delete" << 4 << QStringList{A, B, C, D};
    QTest::newRow("cut above the invalid line") << "cut" << 1 << QStringList{A, C, D};
    QTest::newRow("cut the invalid line") << "cut" << 2 << QStringList{A, B, D};
    QTest::newRow("paste above the invalid line") << "paste" << 0 << QStringList{Z, A, B, C, D};
    QTest::newRow("paste on the invalid line") << "paste" << 2 << QStringList{A, B, Z, C, D};
    QTest::newRow("paste at the new-line position") << "paste" << 4 << QStringList{A, B, C, D, Z};
}

void tst_Editing::lineOperation()
{
    QFETCH(QString, command);
    QFETCH(int, line);
    QFETCH(QStringList, report);
    ReportDocument document;
    QVERIFY(load(document, fourLines));
    QCOMPARE(linesWithErrors(document), (QStringList{A, B, C, D}));
    QSignalSpy inserted(&document.Content(), &ReportContent::linesInserted);
    QSignalSpy removed(&document.Content(), &ReportContent::linesRemoved);

    if (command == u"insert")
        QCOMPARE(document.InsertLine(line), EditResult::Done);
    else if (command == u"paste")
        QCOMPARE(document.InsertLine(line, cellsOf(Z), ReportDocument::LineStep::Paste), EditResult::Done);
    else
        QCOMPARE(document.RemoveLine(line, command == u"cut" ? ReportDocument::LineStep::Cut
                                                             : ReportDocument::LineStep::Delete), EditResult::Done);

    QCOMPARE(linesWithErrors(document), report);
    QCOMPARE(verdictMismatch(document), QString());
    const bool changed = report.size() != 4;
    QCOMPARE(document.IsModified(), changed);
    QCOMPARE(document.UndoStack()->count(), changed ? 1 : 0);
    // One signal per command: no line is moved one by one.
    QCOMPARE(inserted.count(), report.size() > 4 ? 1 : 0);
    QCOMPARE(removed.count(), report.size() < 4 ? 1 : 0);
}

void tst_Editing::insertAtEndTwice()
{
    ReportDocument document;
    QVERIFY(load(document, {QStringLiteral("1")}));
    // As Insert on the new-line row twice: the first appends a line, the
    // second goes before it.
    QCOMPARE(document.InsertLine(1), EditResult::Done);
    QCOMPARE(document.InsertLine(1), EditResult::Done);
    QCOMPARE(lineTexts(document), (QStringList{QStringLiteral("1"), QString(), QString()}));
    QCOMPARE(document.Verdicts().RowCount(), 3u);

    // Typing into the line that was the new-line position adds no line.
    typeCell(document, 2, 0, QStringLiteral("3"));
    QCOMPARE(lineTexts(document), (QStringList{QStringLiteral("1"), QString(), QStringLiteral("3")}));
    QCOMPARE(verdictMismatch(document), QString());
}

void tst_Editing::cutPasteRoundTrip()
{
    ReportDocument document;
    QVERIFY(load(document, fourLines));

    // The invalid line travels, and its verdict with it.
    const std::vector<std::string> cut = document.LineCells(2);
    QCOMPARE(document.RemoveLine(2, ReportDocument::LineStep::Cut), EditResult::Done);
    QCOMPARE(linesWithErrors(document), (QStringList{A, B, D}));
    QCOMPARE(document.InsertLine(0, cut, ReportDocument::LineStep::Paste), EditResult::Done);
    QCOMPARE(linesWithErrors(document), (QStringList{C, A, B, D}));
    QCOMPARE(message(document, 0, 1), QStringLiteral("文字数は1文字（漢字は0）までです。"));

    // And once more.
    QCOMPARE(document.InsertLine(3, cut, ReportDocument::LineStep::Paste), EditResult::Done);
    QCOMPARE(linesWithErrors(document), (QStringList{C, A, B, C, D}));
    QCOMPARE(verdictMismatch(document), QString());
    QVERIFY(document.IsModified());
}

void tst_Editing::pasteValidatesLine()
{
    ReportDocument document;
    QVERIFY(load(document, {QStringLiteral("1")}));
    // Field 0 takes no kanji, field 1 one byte, field 7 sixty bytes.
    const QString pasted = QStringLiteral("曲|QQ||||||") + QString(31, u'漢');
    QCOMPARE(document.InsertLine(0, cellsOf(pasted), ReportDocument::LineStep::Paste), EditResult::Done);

    QCOMPARE(linesWithErrors(document), (QStringList{pasted + QStringLiteral(" [0,1,7]"), QStringLiteral("1")}));
    QCOMPARE(message(document, 0, 0), QStringLiteral("全角文字（漢字等）を含んではいけません。"));
    QCOMPARE(message(document, 0, 7), QStringLiteral("文字数は60文字（漢字は30）までです。"));
    QCOMPARE(message(document, 0, 2), QString());
    QCOMPARE(verdictMismatch(document), QString());
}

void tst_Editing::lineMoved_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("report");

    QTest::newRow("first line down") << 0 << 2 << QStringList{B, C, A, D};
    QTest::newRow("last line up") << 3 << 1 << QStringList{A, D, B, C};
    QTest::newRow("invalid line down") << 2 << 3 << QStringList{A, B, D, C};
    QTest::newRow("invalid line to the top") << 2 << 0 << QStringList{C, A, B, D};
    QTest::newRow("onto itself") << 1 << 1 << QStringList{A, B, C, D};
}

void tst_Editing::lineMoved()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, report);
    ReportDocument document;
    QVERIFY(load(document, fourLines));

    QCOMPARE(document.MoveLine(from, to), EditResult::Done);
    QCOMPARE(linesWithErrors(document), report);
    QCOMPARE(verdictMismatch(document), QString());
    QCOMPARE(document.IsModified(), from != to);
    QCOMPARE(document.UndoStack()->count(), from != to ? 1 : 0);
}

// ---- The real cell editor -------------------------------------------------

void tst_Editing::editorTypingIntoLastRow()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QSignalSpy inserted(model(form), &QAbstractItemModel::rowsInserted);
    QSignalSpy verdicts(&form.Document().Content(), &ReportContent::verdictsChanged);
    QSignalSpy cells(&form.Document().Content(), &ReportContent::cellsChanged);
    QLineEdit *editor = openEditor(form, 0, 0);
    QVERIFY(editor);

    QTest::keyClicks(editor, "12345");
    QVERIFY(form.Modified());
    QCOMPARE(form.Document().LineCount(), 1);
    QCOMPARE(form.CellAttrs().RowCount(), 1u);
    // The row typed into stays where it is; the new empty row follows it.
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);

    form.Ui().VelTorGrid->CommitEditor();
    QVERIFY(!form.Ui().VelTorGrid->Editor());
    QCOMPARE(inserted.count(), 1);
    // Checked at each keystroke and once at the commit, no more.
    QCOMPARE(verdicts.count(), 5);
    QCOMPARE(cells.count(), 1);
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("12345")});
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::editorClosedUnchanged()
{
    TVelTorForm &form = newWindow();
    showAndActivate();

    // A blank cell of the new-line row, opened and left.
    QVERIFY(openEditor(form, 0, 2));
    form.Ui().VelTorGrid->CommitEditor();
    QVERIFY(!form.Modified());
    QCOMPARE(form.Document().LineCount(), 0);
    QCOMPARE(form.CellAttrs().RowCount(), 0u);

    // A filled cell, opened and left.
    QVERIFY(open({QStringLiteral("1|||||||曲名")}));
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("曲名"));
    form.Ui().VelTorGrid->CommitEditor();
    QVERIFY(!form.Modified());
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("1|||||||曲名")});

    // Everything deleted: a change, though the text is empty.
    editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QCOMPARE(editor->text(), QString());
    form.Ui().VelTorGrid->CommitEditor();
    QVERIFY(form.Modified());
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("1")});
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::editorJapaneseInput()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);

    commit(editor, QStringLiteral("夜明けの"));
    commit(editor, QStringLiteral("ｽｷｬｯﾄ"));
    QCOMPARE(editor->text(), QStringLiteral("夜明けのｽｷｬｯﾄ"));
    QVERIFY(form.Modified());
    QCOMPARE(form.Document().LineCount(), 1);
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), sjis(QStringLiteral("夜明けのｽｷｬｯﾄ")));

    // Kanji in a field that takes only single-byte characters: kept, but
    // framed red with the rule as the hint.
    editor = openEditor(form, 0, 6);
    QVERIFY(editor);
    commit(editor, QStringLiteral("作品"));
    QVERIFY(form.CellAttrs().IsError(0, 6));
    QCOMPARE(model(form)->Hint(0, 6), QStringLiteral("全角文字（漢字等）を含んではいけません。"));
    editor->clear();
    QTest::keyClicks(editor, "0123");
    QVERIFY(!form.CellAttrs().IsError(0, 6));
    QCOMPARE(model(form)->Hint(0, 6), fieldHint(form, 6));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("||||||0123|夜明けのｽｷｬｯﾄ")});
    QCOMPARE(verdictMismatch(form.Document()), QString());
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
    TVelTorForm &form = newWindow();
    showAndActivate();
    QLineEdit *editor = openEditor(form, 0, field);
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

    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, field)), sjis(fits));
    QCOMPARE(form.Document().LineCount(), fits.isEmpty() ? 0 : 1);
    QVERIFY(!form.CellAttrs().IsError(0, unsigned(field)));
    QCOMPARE(verdictMismatch(form.Document()), QString());
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
    TVelTorForm &form = newWindow();
    showAndActivate();
    QVERIFY(open({QStringLiteral("1")}));
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QTest::keyClicks(editor, typed);
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(lineTexts(form.Document()), QStringList{lineOf(QStringLiteral("1|||||||") + stored)});
    QCOMPARE(form.Modified(), !stored.isEmpty());
}

void tst_Editing::lookAlikeWaveDash()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    commit(editor, QStringLiteral("A\u301CB"));
    QCOMPARE(editor->text(), QStringLiteral("A\uFF5EB"));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), QByteArray("A\x81\x60" "B"));
}

void tst_Editing::unencodableRefused()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QVERIFY(open({QStringLiteral("1|||||||abc")}));
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    editor->end(false);

    commit(editor, QStringLiteral("\U0001F600"));
    QCOMPARE(editor->text(), QStringLiteral("abc"));
    QCOMPARE(form.statusBar()->currentMessage(), TextFilter::RefusedMessage());
    form.Ui().VelTorGrid->CommitEditor();
    QVERIFY(!form.Modified());
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("1|||||||abc")});
}

// Text pasted while a cell editor is open. Into an editor the user has
// typed into it goes without its TABs and line breaks; an editor nobody has
// typed into closes, and text holding them is a spreadsheet's block, pasted
// from that cell on as with no editor. Through the menu and by Ctrl+V.
void tst_Editing::pasteIntoCellEditor_data()
{
    QTest::addColumn<bool>("typedFirst");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("editorOpen");

    const QString block = QStringLiteral("a\tb\r\nc\nd");
    const QStringList asText = {QStringLiteral("1|||||||xabcd")};
    const QStringList asBlock = {QStringLiteral("1|||||||a|b"), QStringLiteral("|||||||c"), QStringLiteral("|||||||d")};
    QTest::newRow("typed into, menu: text") << true << false << block << asText << true;
    QTest::newRow("typed into, Ctrl+V: text") << true << true << block << asText << true;
    QTest::newRow("untouched, menu: block") << false << false << block << asBlock << false;
    QTest::newRow("untouched, Ctrl+V: block") << false << true << block << asBlock << false;
    QTest::newRow("untouched, one cell copied with its line break") << false << true << QStringLiteral("曲\r\n")
                                                                     << QStringList{QStringLiteral("1|||||||曲")} << false;
    QTest::newRow("untouched, plain text stays in the editor") << false << true << QStringLiteral("yz")
                                                               << QStringList{QStringLiteral("1|||||||yz")} << true;
}

void tst_Editing::pasteIntoCellEditor()
{
    QFETCH(bool, typedFirst);
    QFETCH(bool, byKey);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, lines);
    QFETCH(bool, editorOpen);

    TVelTorForm &form = newWindow();
    showAndActivate();
    QVERIFY(open({QStringLiteral("1")}));
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    if (typedFirst)
        QTest::keyClicks(editor, QStringLiteral("x"));
    QGuiApplication::clipboard()->setText(clipboard);
    if (byKey) {
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    } else {
        QVERIFY(form.Ui().EditPaste1->isEnabled());
        form.Ui().EditPaste1->trigger();
    }
    QCOMPARE(form.Ui().VelTorGrid->Editor() != nullptr, editorOpen);
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(lineTexts(form.Document()), lines);
    QVERIFY(form.Modified());
    // Either way one step.
    QCOMPARE(form.Document().UndoStack()->count(), 1);
}

// As in spreadsheets: a click on the current cell selects it, so that a
// Ctrl+V after it pastes a block; a double click, F2 or typing opens it.
void tst_Editing::clickOnCurrentCellOnlySelects()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QVERIFY(open({QStringLiteral("1|||||||曲")}));
    VelTorGridView *grid = form.Ui().VelTorGrid;
    setCurrent(form, 0, 7);
    grid->setFocus();
    const QPoint cell = grid->visualRect(grid->currentIndex()).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
    // An editor would open once no double click can follow.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QVERIFY(!grid->Editor());
    QGuiApplication::clipboard()->setText(QStringLiteral("\"a\tb\"\tc\r\n"));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("1|||||||a b|c")});

    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(grid->Editor());
    grid->CommitEditor();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
    QVERIFY(grid->Editor());
}

// ---- Keys -------------------------------------------------------------------

void tst_Editing::ctrlTabFromGrid()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    form.Ui().VelTorGrid->setFocus();
    QCOMPARE(QApplication::focusWidget(), form.Ui().VelTorGrid);
    QTest::keyClick(form.Ui().VelTorGrid, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), form.Ui().SyoudakuBangou);
}

void tst_Editing::ctrlTabFromEditor()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QCOMPARE(QApplication::focusWidget(), editor);
    QTest::keyClicks(editor, "xyz");
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), form.Ui().SyoudakuBangou);
    QVERIFY(!form.Ui().VelTorGrid->Editor());
    QCOMPARE(form.Ui().SyoudakuBangou->text(), QString());
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("|||||||xyz")});
}

void tst_Editing::plainTabMovesToNextCell()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    setCurrent(form, 0, 2);
    form.Ui().VelTorGrid->setFocus();
    QTest::keyClick(form.Ui().VelTorGrid, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.Ui().VelTorGrid);
    QCOMPARE(form.CurrentCol(), form.FieldToGridCol(3));
    QCOMPARE(form.CurrentRow(), 1);
}

// ---- Line commands in the window ----------------------------------------------

void tst_Editing::newReportEnabling()
{
    TVelTorForm &form = newWindow();
    const TVelTorFormUi &ui = form.Ui();
    QCOMPARE(form.CurrentRow(), 1);
    QVERIFY(ui.EditInsertLine->isEnabled());
    QVERIFY(!ui.EditDeleteLine->isEnabled());
    QVERIFY(!ui.EditCutLine->isEnabled());
    QVERIFY(!ui.EditCopyLine->isEnabled());
    QVERIFY(!ui.EditPasteLine->isEnabled());

    // A line arriving on the clipboard enables paste by itself.
    setClipboardData(payload(clipboardCells(QStringLiteral("9"))));
    QVERIFY(ui.EditPasteLine->isEnabled());

    ui.EditInsertLine->trigger();
    QVERIFY(form.Modified());
    QCOMPARE(lineTexts(form.Document()), QStringList{QString()});
    QCOMPARE(form.CellAttrs().RowCount(), 1u);
    QCOMPARE(form.CurrentRow(), 1);
    // The inserted line is a report line: it can be deleted again.
    QVERIFY(ui.EditDeleteLine->isEnabled());
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
    TVelTorForm &form = newWindow();
    const TVelTorFormUi &ui = form.Ui();
    QVERIFY(open({QStringLiteral("1"), QStringLiteral("2")}));
    if (onClipboard)
        setClipboardData(payload(clipboardCells(QStringLiteral("9"))));

    // Moving the current cell alone updates the actions.
    form.SetCurrentCell(form.FieldToGridCol(5), row);
    QCOMPARE(form.CurrentRow(), row);
    QCOMPARE(ui.EditDeleteLine->isEnabled(), lineActions);
    QCOMPARE(ui.EditCutLine->isEnabled(), lineActions);
    QCOMPARE(ui.EditCopyLine->isEnabled(), lineActions);
    QCOMPARE(ui.EditInsertLine->isEnabled(), insert);
    QCOMPARE(ui.EditPasteLine->isEnabled(), paste);
}

void tst_Editing::disabledCommandsDoNothing()
{
    TVelTorForm &form = newWindow();
    QVERIFY(open(fourLines));
    form.SetCurrentCell(form.FieldToGridCol(0), 5);
    QSignalSpy changed(model(form), &QAbstractItemModel::dataChanged);

    // Called directly, past the disabled actions: each checks again.
    form.EditDeleteLineExecute();
    form.EditCutLineExecute();
    form.EditCopyLineExecute();
    form.EditPasteLineExecute();
    QCOMPARE(linesWithErrors(form.Document()), (QStringList{A, B, C, D}));
    QVERIFY(!form.Modified());
    QVERIFY(!form.LineClipboard().HasRecord());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(form.CurrentRow(), 5);
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::lineCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("report");

    const QString E;
    QTest::newRow("insert on the invalid line") << "insert" << 3 << QStringList{A, B, E, C, D};
    QTest::newRow("insert on the new-line row") << "insert" << 5 << QStringList{A, B, C, D, E};
    QTest::newRow("delete the last line") << "delete" << 4 << QStringList{A, B, C};
    QTest::newRow("cut the invalid line") << "cut" << 3 << QStringList{A, B, D};
    QTest::newRow("copy") << "copy" << 3 << QStringList{A, B, C, D};
    QTest::newRow("paste above the invalid line") << "paste" << 1 << QStringList{Z, A, B, C, D};
    QTest::newRow("paste on the new-line row") << "paste" << 5 << QStringList{A, B, C, D, Z};
}

void tst_Editing::lineCommand()
{
    QFETCH(QString, command);
    QFETCH(int, row);
    QFETCH(QStringList, report);
    TVelTorForm &form = newWindow();
    const TVelTorFormUi &ui = form.Ui();
    QVERIFY(open(fourLines));
    setClipboardData(payload(clipboardCells(Z)));
    const int col = form.FieldToGridCol(7);
    form.SetCurrentCell(col, row);
    const QString current = lineText(form.Document(), form.GridRowToRecord(row));

    QSignalSpy inserted(model(form), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model(form), &QAbstractItemModel::rowsRemoved);
    QAction *action = command == u"insert" ? ui.EditInsertLine
            : command == u"delete"         ? ui.EditDeleteLine
            : command == u"cut"            ? ui.EditCutLine
            : command == u"copy"           ? ui.EditCopyLine
                                           : ui.EditPasteLine;
    QVERIFY(action->isEnabled());
    action->trigger();

    QCOMPARE(linesWithErrors(form.Document()), report);
    QCOMPARE(form.Modified(), command != u"copy");
    QCOMPARE(verdictMismatch(form.Document()), QString());
    // The current cell keeps its grid position.
    QCOMPARE(form.CurrentRow(), row);
    QCOMPARE(form.CurrentCol(), col);
    QCOMPARE(inserted.count(), report.size() > 4 ? 1 : 0);
    QCOMPARE(removed.count(), report.size() < 4 ? 1 : 0);

    if (command == u"cut" || command == u"copy") {
        QCOMPARE(clipboardLine(), payload(clipboardCells(current)));
        QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasText());
    }
    // The actions follow the new rows at once.
    const bool onLine = form.CurrentRow() < form.GridRowCount() - 1;
    QCOMPARE(ui.EditDeleteLine->isEnabled(), onLine);
    QCOMPARE(ui.EditPasteLine->isEnabled(), true);
}

void tst_Editing::lineCommandCommitsOpenEditor()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QVERIFY(open({QStringLiteral("1"), QStringLiteral("2")}));
    QLineEdit *editor = openEditor(form, 1, 6);
    QVERIFY(editor);
    commit(editor, QStringLiteral("曲"));
    QVERIFY(form.CellAttrs().IsError(1, 6));

    // What was typed travels with the line.
    form.EditCopyLineExecute();
    QVERIFY(!form.Ui().VelTorGrid->Editor());
    QCOMPARE(clipboardLine(), payload(clipboardCells(QStringLiteral("2||||||曲"))));

    form.SetCurrentCell(form.FieldToGridCol(1), 1);
    form.EditInsertLineExecute();
    QCOMPARE(linesWithErrors(form.Document()),
             (QStringList{QString(), QStringLiteral("1"), QStringLiteral("2||||||曲 [6]")}));
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::copyPutsExactPayload()
{
    TVelTorForm &form = newWindow();
    const QString line = QStringLiteral("1|Q|000|||0|12345678|夜明け|||||||0|V|1||0");
    QVERIFY(open({line}));
    form.Ui().EditCopyLine->trigger();
    QVERIFY(!form.Modified());
    QVERIFY(form.LineClipboard().HasRecord());
    QByteArray expected = "\r\n1\r\nQ\r\n000\r\n\r\n\r\n0\r\n12345678\r\n\x96\xE9\x96\xBE\x82\xAF\r\n";
    expected += "\r\n\r\n\r\n\r\n\r\n\r\n0\r\nV\r\n1\r\n\r\n0\r\n";
    QCOMPARE(clipboardLine(), expected);
    QCOMPARE(lineTexts(form.Document()), QStringList{line});
}

void tst_Editing::cutOnlyLine()
{
    TVelTorForm &form = newWindow();
    QVERIFY(open({QStringLiteral("1|QQ|000")}));
    form.Ui().EditCutLine->trigger();
    QCOMPARE(form.GridRowCount(), 2);
    QCOMPARE(lineTexts(form.Document()), QStringList());
    QCOMPARE(form.CellAttrs().RowCount(), 0u);
    QCOMPARE(form.CurrentRow(), 1);
    QVERIFY(form.Modified());
    QVERIFY(!form.Ui().EditDeleteLine->isEnabled());
    QVERIFY(form.Ui().EditPasteLine->isEnabled());

    std::vector<std::string> cells;
    QVERIFY(form.LineClipboard().GetRecord(cells));
    QStringList texts;
    for (const std::string &cell : cells)
        texts << ShiftJis::ToText(cell);
    QCOMPARE(texts, clipboardCells(QStringLiteral("1|QQ|000")));
}

void tst_Editing::pasteOnLastRowAppends()
{
    TVelTorForm &form = newWindow();
    QVERIFY(open({QStringLiteral("1")}));
    setClipboardData(payload(clipboardCells(QStringLiteral("2|||||||曲"))));
    form.SetCurrentCell(form.FieldToGridCol(3), 2);
    form.Ui().EditPasteLine->trigger();
    QCOMPARE(lineTexts(form.Document()), (QStringList{QStringLiteral("1"), QStringLiteral("2|||||||曲")}));
    QCOMPARE(form.CurrentRow(), 2);
    QCOMPARE(form.CurrentCol(), form.FieldToGridCol(3));

    // The new-line row is still there and still works as one.
    type(form, 2, 0, QStringLiteral("3"));
    QCOMPARE(lineTexts(form.Document()),
             (QStringList{QStringLiteral("1"), QStringLiteral("2|||||||曲"), QStringLiteral("3")}));
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::pasteWithEmptyFields()
{
    TVelTorForm &form = newWindow();
    const QString full = QStringLiteral("1|Q|000||001||12345678|曲|副|詞|補|曲者|編|歌|0|V|1|L|0");
    QCOMPARE(full.split(u'|').size(), Fields);
    QCOMPARE(full.split(u'|').at(3), QString());
    QCOMPARE(full.split(u'|').at(5), QString());
    setClipboardData(payload(clipboardCells(full)));
    form.Ui().EditPasteLine->trigger();
    QCOMPARE(lineTexts(form.Document()), QStringList{full});
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::foreignPayload_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("pasted");

    QStringList numbered;
    for (int i = 0; i < 25; ++i)
        numbered << QString::number(i);
    const QString line = QStringLiteral("1|Q|000||001||123|曲");
    QTest::newRow("25 lines: the last five dropped") << payload(numbered) << numbered.mid(1, Fields).join(u'|');
    QTest::newRow("LF only") << payload(clipboardCells(line), "\n") << line;
    QTest::newRow("lone CR") << payload(clipboardCells(line), "\r") << line;
    QTest::newRow("no final line break") << QByteArray("\r\n1\r\n\r\nABC") << QStringLiteral("1||ABC");
    QTest::newRow("text in the handle column dropped") << QByteArray("handle\r\n1\r\nQ\r\n") << QStringLiteral("1|Q");
    QTest::newRow("TAB and 0x1A never enter a cell")
            << QByteArray("\r\n1\t2\r\nA\x1A" "B\r\n") << QStringLiteral("12|AB");
    QTest::newRow("zero padding after the text") << QByteArray("\r\n7\r\n\0\0\0\0x\r\n", 13) << QStringLiteral("7");
}

void tst_Editing::foreignPayload()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, pasted);
    TVelTorForm &form = newWindow();
    QVERIFY(open({QStringLiteral("1")}));
    setClipboardData(data);
    QVERIFY(form.Ui().EditPasteLine->isEnabled());
    form.Ui().EditPasteLine->trigger();
    QCOMPARE(lineTexts(form.Document()), (QStringList{pasted, QStringLiteral("1")}));
    QCOMPARE(verdictMismatch(form.Document()), QString());
    QVERIFY(form.Modified());
}

void tst_Editing::pasteOfUnreadableLineLeavesNoLine()
{
    TVelTorForm &form = newWindow();
    QVERIFY(open({QStringLiteral("1")}));
    // The format is offered but holds nothing: what a failed transfer
    // between two programs looks like.
    setClipboardData(QByteArray());
    QVERIFY(form.LineClipboard().HasRecord());
    form.EditPasteLineExecute();
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("1")});
    QVERIFY(!form.Modified());
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::plainTextDisablesPaste()
{
    TVelTorForm &form = newWindow();
    QVERIFY(open({QStringLiteral("1")}));
    form.Ui().EditCopyLine->trigger();
    QVERIFY(form.Ui().EditPasteLine->isEnabled());

    QGuiApplication::clipboard()->setText(QStringLiteral("plain text"));
    QVERIFY(!form.Ui().EditPasteLine->isEnabled());
    form.EditPasteLineExecute();
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("1")});
    QVERIFY(!form.Modified());

    // Another format of the same program's name does not count either.
    setClipboardData(payload(clipboardCells(QStringLiteral("2"))), QStringLiteral("qnVelTor-Other"));
    QVERIFY(!form.Ui().EditPasteLine->isEnabled());
}

// ---- Lines dragged by their handles -------------------------------------------

void tst_Editing::rowDragged_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("report");

    // Grid rows: the new-line row is 5.
    QTest::newRow("first line down") << 1 << 3 << QStringList{B, C, A, D};
    QTest::newRow("onto the new-line row") << 2 << 5 << QStringList{A, C, D, B};
    QTest::newRow("invalid line onto the new-line row") << 3 << 5 << QStringList{A, B, D, C};
    QTest::newRow("the new-line row itself") << 5 << 2 << QStringList{A, B, C, D};
}

void tst_Editing::rowDragged()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, report);
    TVelTorForm &form = newWindow();
    QVERIFY(open(fourLines));

    QHeaderView *handles = form.Ui().VelTorGrid->verticalHeader();
    QSignalSpy dragged(form.Ui().VelTorGrid, &VelTorGridView::rowDragged);
    handles->moveSection(form.GridRowToRecord(from), form.GridRowToRecord(to));
    QCOMPARE(dragged.count(), 1);
    // The view shows rows in model order again.
    for (int section = 0; section < handles->count(); ++section)
        QCOMPARE(handles->visualIndex(section), section);

    QCOMPARE(linesWithErrors(form.Document()), report);
    QCOMPARE(form.GridRowCount(), 6);
    QCOMPARE(verdictMismatch(form.Document()), QString());
    QCOMPARE(form.Modified(), from != 5);
}

// ---- Character cut, copy and paste ----------------------------------------

void tst_Editing::textActions()
{
    TVelTorForm &form = newWindow();
    const TVelTorFormUi &ui = form.Ui();
    showAndActivate();
    QGuiApplication::clipboard()->clear();

    ui.SyoudakuBangou->setFocus();
    ui.SyoudakuBangou->setText(QStringLiteral("1234567890"));
    ui.SyoudakuBangou->deselect();
    QCOMPARE(QApplication::focusWidget(), ui.SyoudakuBangou);
    QVERIFY(!ui.EditCut1->isEnabled());
    QVERIFY(!ui.EditCopy1->isEnabled());
    QVERIFY(!ui.EditPaste1->isEnabled());

    ui.SyoudakuBangou->setSelection(2, 3);
    QVERIFY(ui.EditCut1->isEnabled());
    QVERIFY(ui.EditCopy1->isEnabled());
    ui.EditCut1->trigger();
    QCOMPARE(ui.SyoudakuBangou->text(), QStringLiteral("1267890"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("345"));
    QVERIFY(!ui.EditCut1->isEnabled());
    QVERIFY(ui.EditPaste1->isEnabled());

    // A line on the clipboard is no text.
    form.LineClipboard().PutRecord(std::vector<std::string>(20));
    QVERIFY(!ui.EditPaste1->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    QVERIFY(ui.EditPaste1->isEnabled());

    // The grid itself takes blocks of cells as text.
    ui.VelTorGrid->setFocus();
    QCOMPARE(QApplication::focusWidget(), ui.VelTorGrid);
    QVERIFY(ui.EditCut1->isEnabled());
    QVERIFY(ui.EditCopy1->isEnabled());
    QVERIFY(ui.EditPaste1->isEnabled());
    form.LineClipboard().PutRecord(std::vector<std::string>(20));
    QVERIFY(!ui.EditPaste1->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));

    // Its cell editor does.
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QVERIFY(ui.EditPaste1->isEnabled());
    QTest::keyClicks(editor, "abc");
    editor->selectAll();
    QVERIFY(ui.EditCopy1->isEnabled());
    ui.EditCopy1->trigger();
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
    // The line edit's own limit of 32,767 characters must not cut the
    // paste before it is counted.
    QTest::newRow("longer than a line edit takes")
            << QString() << 0 << 0 << QString(40000, u'a') << QString(60, u'a') << 39940;
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
    TVelTorForm &form = newWindow();
    showAndActivate();
    if (!before.isEmpty())
        QVERIFY(open({QStringLiteral("1|||||||") + before}));
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QCOMPARE(editor->text(), before);
    editor->setSelection(selectionStart, selectionLength);
    form.statusBar()->clearMessage();

    QGuiApplication::clipboard()->setText(pasted);
    form.Ui().EditPaste1->trigger();
    QCOMPARE(editor->text(), after);
    QCOMPARE(form.statusBar()->currentMessage(), leftOut ? TextFilter::LeftOutMessage(leftOut) : QString());
    if (after != before)
        QCOMPARE(editor->cursorPosition(), int(after.size() - (before.size() - selectionStart - selectionLength)));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), sjis(after));
    QCOMPARE(form.Modified(), after != before);
    QCOMPARE(verdictMismatch(form.Document()), QString());
}

void tst_Editing::pasteIntoHeaderBoxCutToFit()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    form.Ui().SyoudakuBangou->setFocus();
    QTRY_VERIFY(form.Ui().SyoudakuBangou->hasFocus());
    QGuiApplication::clipboard()->setText(QStringLiteral("12345678901234567890"));
    form.Ui().EditPaste1->trigger();
    QCOMPARE(form.Ui().SyoudakuBangou->text(), QStringLiteral("1234567890123456"));
    QCOMPARE(form.statusBar()->currentMessage(), TextFilter::LeftOutMessage(4));
    QVERIFY(form.Modified());
}

void tst_Editing::loadedLongCellNotCut()
{
    // A cell read from a file may be longer than its field allows; showing it
    // in the editor must not cut it, and nothing more is let in.
    TVelTorForm &form = newWindow();
    showAndActivate();
    const QString overlong = QString(31, u'漢');
    QVERIFY(open({QStringLiteral("1|||||||") + overlong}));
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QCOMPARE(editor->text(), overlong);
    editor->end(false);
    QGuiApplication::clipboard()->setText(QStringLiteral("ab"));
    form.Ui().EditPaste1->trigger();
    QCOMPARE(editor->text(), overlong);
    QCOMPARE(form.statusBar()->currentMessage(), TextFilter::LeftOutMessage(2));
    // Replacing two kanji by up to four bytes keeps the cell as long as it was.
    editor->setSelection(0, 2);
    form.Ui().EditPaste1->trigger();
    QCOMPARE(editor->text(), QStringLiteral("ab") + QString(29, u'漢'));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), sjis(QStringLiteral("ab") + QString(29, u'漢')));
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
    TVelTorForm &form = newWindow();
    QVERIFY(open({QStringLiteral("1|QQ|000"), QStringLiteral("2")}));
    const QStringList report = {QStringLiteral("1|QQ|000 [1]"), QStringLiteral("2")};
    RefusingClipboard refusing;
    form.SetLineClipboard(&refusing);

    for (const bool modified : {false, true}) {
        if (modified) {
            // An edit and its reverse: the same text, but modified.
            QCOMPARE(form.Document().SetCell(1, 0, "3"), EditResult::Done);
            QCOMPARE(form.Document().SetCell(1, 0, "2"), EditResult::Done);
        }
        QCOMPARE(form.Modified(), modified);
        form.SetCurrentCell(form.FieldToGridCol(1), 1);
        QVERIFY(form.Ui().EditCutLine->isEnabled());
        form.statusBar()->clearMessage();
        form.Ui().EditCutLine->trigger();
        QCOMPARE(linesWithErrors(form.Document()), report);
        QCOMPARE(form.Modified(), modified);
        QCOMPARE(form.CurrentRow(), 1);
        QCOMPARE(form.statusBar()->currentMessage(),
                 QStringLiteral("クリップボードに入れられなかったため、行は切り取りませんでした。"));
    }
    QCOMPARE(refusing.puts, 2);
    form.Ui().EditCopyLine->trigger();
    QCOMPARE(form.statusBar()->currentMessage(), QStringLiteral("クリップボードに入れられませんでした。"));
    QCOMPARE(linesWithErrors(form.Document()), report);
    QCOMPARE(refusing.puts, 3);

    // The system's clipboard again: the cut goes ahead.
    form.SetLineClipboard(nullptr);
    form.Ui().EditCutLine->trigger();
    QCOMPARE(lineTexts(form.Document()), QStringList{QStringLiteral("2")});
    QVERIFY(form.LineClipboard().HasRecord());
}

void tst_Editing::editorOnBytesThatCannotBeShown()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    const QByteArray stray("A\x80" "B\xFD");
    QVERIFY(openFile(fileLine(QByteArrayList{"1", {}, {}, {}, {}, {}, {}, stray})));
    // Opening warns of such bytes once; that warning is the file tests' concern.
    QCOMPARE(window->dialogs.boxes.size(), 1);
    window->dialogs.boxes.clear();

    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("A\uFFFDB\uFFFD"));
    QCOMPARE(form.statusBar()->currentMessage(), CellDelegate::UnshowableBytesMessage());
    QVERIFY(CellDelegate::UnshowableBytesMessage().contains(QStringLiteral("削除")));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), stray);
    QVERIFY(!form.Modified());

    // A sound cell, double-byte characters and all, says nothing of the kind.
    QVERIFY(open({QStringLiteral("1|||||||曲名")}));
    form.statusBar()->clearMessage();
    QVERIFY(openEditor(form, 0, 7));
    QCOMPARE(form.statusBar()->currentMessage(), QString());
    form.Ui().VelTorGrid->CommitEditor();
}

// Before, opening the editor on a loaded cell that ends in spaces and
// leaving it without typing cut the spaces off, marked the report modified
// and made an undo step.
void tst_Editing::editorLeftAloneKeepsTrailingSpaces()
{
    TVelTorForm &form = newWindow();
    showAndActivate();
    QVERIFY(open({QStringLiteral("1|||||||abc  |   ")}));
    const int steps = form.Document().UndoStack()->count();

    for (int field : {7, 8}) {
        QVERIFY(openEditor(form, 0, field));
        form.Ui().VelTorGrid->CommitEditor();
    }
    QCOMPARE(bytes(form.Document().Cell(0, 7)), QByteArray("abc  "));
    QCOMPARE(bytes(form.Document().Cell(0, 8)), QByteArray("   "));
    QVERIFY(!form.Modified());
    QVERIFY(!form.isWindowModified());
    QCOMPARE(form.Document().UndoStack()->count(), steps);

    // A real change still drops the spaces typed or left at the end.
    QLineEdit *editor = openEditor(form, 0, 7);
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("ab  "));
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 7)), QByteArray("ab"));
    QVERIFY(form.Modified());

    // Deleting only the spaces at the end is an edit too.
    editor = openEditor(form, 0, 8);
    QVERIFY(editor);
    editor->end(false);
    QTest::keyClick(editor, Qt::Key_Backspace);
    form.Ui().VelTorGrid->CommitEditor();
    QCOMPARE(bytes(form.Document().Cell(0, 8)), QByteArray());
}

QTEST_MAIN(tst_Editing)
#include "tst_editing.moc"
