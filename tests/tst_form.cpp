// The main window as the user meets it: its layout and actions, the file
// commands with the save question, dropped files, the stored settings, and
// the bytes of a report surviving the trip through the grid. How header
// values come back from a file name is tested on the document alone.

#include "FileMessages.h"
#include "EditMessages.h"
#include "ShiftJis.h"
#include "WindowSettings.h"
#include "WindowSupport.h"
#include "about.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUndoStack>
#include <QtTest>

#include <memory>

using namespace TestSupport;

namespace {

// Shift-JIS texts of the validation messages.
const QByteArray FullWidthMessage =
        "\x91\x53\x8A\x70\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x93\x99\x81\x6A\x82\xF0\x8A\xDC"
        "\x82\xF1\x82\xC5\x82\xCD\x82\xA2\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x81\x42";
const QByteArray Length1Message = "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "1"
                                  "\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD" "0"
                                  "\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42";
const QByteArray Length60Message = "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "60"
                                   "\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD" "30"
                                   "\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42";

const QString SaveQuestion = QStringLiteral("内容は変更されています。\n変更を保存しますか？");
const QString ReadError = QStringLiteral("ファイル読み込みエラー");
const QString WriteError = QStringLiteral("ファイル書き込みエラー");
const QString NotFound = QStringLiteral("ファイルが見つかりません。");
const QString SaveBlocked = QStringLiteral("同じ名前のフォルダーなどがあるため、保存できません。");
#ifdef Q_OS_WIN
const QStringList ReportFilters = {QStringLiteral("JASRAC報告ファイル(*.dat)"),
                                   QStringLiteral("すべてのファイル (*.*)")};
#else
const QStringList ReportFilters = {QStringLiteral("JASRAC報告ファイル(*.dat)"),
                                   QStringLiteral("すべてのファイル (*)")};
#endif

// A report whose second line breaks three rules.
const QByteArray ReportA = fileLine({"1", "", "000", "", "000", "", "0", "\x8C\xB4\x91\xE8", "", "", "", "", "",
                                     "", "0", "I", "1", "", "0"})
        + fileLine({"\x82\xA0", "QQ", "", "", "", "", "", QByteArray(61, 'a')});
const QString NameA = QStringLiteral("1234567890201204ABC.dat");
const QByteArray ReportB = fileLine("B1") + fileLine({"B2", "", "", "", "", "", "", "b"});
const QString NameB = QStringLiteral("9876543210201305XYZ.dat");

// The report's lines in file form, then "[new]" for the grid's new-line
// row, and a note when the grid does not have a row per line and that row.
QByteArray gridDump(const TVelTorForm &form)
{
    QByteArray out;
    const ReportDocument &document = form.Document();
    for (int line = 0; line < document.LineCount(); ++line) {
        QByteArrayList cells;
        for (int field = 0; field < int(FieldCount); ++field)
            cells << bytes(document.Cell(line, field));
        out += cells.join('\t') + "\r\n";
    }
    out += "[new]";
    if (model(form)->rowCount() != document.LineCount() + 1)
        out += "[model rows " + QByteArray::number(model(form)->rowCount()) + ']';
    if (form.GridRowCount() != document.LineCount() + 2)
        out += "[grid rows " + QByteArray::number(form.GridRowCount()) + ']';
    return out;
}

// Every flagged cell with its message, so that a verdict on the wrong line
// or with the wrong text shows up in one compare.
QByteArray attrsDump(const TVelTorForm &form)
{
    const qnVelTor::GridAttr &attrs = form.CellAttrs();
    QByteArray out = "rows " + QByteArray::number(attrs.RowCount()) + '\n';
    for (unsigned r = 0; r < attrs.RowCount(); ++r) {
        for (unsigned f = 0; f < 20; ++f) {
            const std::string message = attrs.GetErrorMessage(r, f);
            if (attrs.IsError(r, f) || !message.empty())
                out += QByteArray::number(r) + ':' + QByteArray::number(f) + (attrs.IsError(r, f) ? "!" : "")
                        + ' ' + bytes(message) + '\n';
        }
    }
    return out;
}

QStringList headerBoxes(const TVelTorForm &form)
{
    return {form.Ui().SyoudakuBangou->text(), form.Ui().HoukokuNengappi->text(), form.Ui().NiniMoziretsu->text()};
}

// Column 0 (the row handle), the 19 field columns and the window size.
QString geometryDump(const TVelTorForm &form)
{
    QStringList parts{QString::number(form.Ui().VelTorGrid->verticalHeader()->width())};
    for (int f = 0; f < 19; ++f)
        parts << QString::number(form.Ui().VelTorGrid->columnWidth(f));
    parts << QStringLiteral("%1x%2").arg(form.width()).arg(form.height());
    return parts.join(u' ');
}

QSize screenSize()
{
    return QGuiApplication::primaryScreen()->availableVirtualGeometry().size();
}

// A drag that enters the window and is dropped; false when the window
// refuses the drag.
bool drop(TVelTorForm &form, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 120), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(20, 120), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &dropped);
    return true;
}

struct BoxRecord
{
    QString text;
    QString caption;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *parent = nullptr;
    QPoint pos;
    QSize size;
    QRect parentFrame;
};

struct FileDialogRecord
{
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QString directory;
    QString suggestedName;
    QString defaultSuffix;
    QStringList nameFilters;
    bool confirmOverwrite = false;
};

// Stands in for the user at every modal dialog: records what was shown and
// answers from the queues. A dialog nobody expected counts as a failure.
class FakeDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        BoxRecord record;
        record.text = box.text();
        record.caption = box.windowTitle();
        record.buttons = box.standardButtons();
        record.defaultButton = box.standardButton(box.defaultButton());
        record.escapeButton = box.standardButton(box.escapeButton());
        record.icon = box.icon();
        record.parent = box.parentWidget();
        record.pos = box.pos();
        record.size = box.size();
        if (box.parentWidget())
            record.parentFrame = box.parentWidget()->frameGeometry();
        boxes << record;
        if (boxAnswers.isEmpty()) {
            ++unexpected;
            return QMessageBox::Cancel;
        }
        return boxAnswers.takeFirst();
    }

    QString ExecFileDialog(QFileDialog &dialog) override
    {
        FileDialogRecord record;
        record.mode = dialog.acceptMode();
        record.directory = dialog.directory().absolutePath();
        // With nothing preselected a dialog reports its folder instead.
        for (const QString &selected : dialog.selectedFiles()) {
            if (!selected.isEmpty() && !QFileInfo(selected).isDir())
                record.suggestedName = QFileInfo(selected).fileName();
        }
        record.defaultSuffix = dialog.defaultSuffix();
        record.nameFilters = dialog.nameFilters();
        record.confirmOverwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
        fileDialogs << record;
        if (fileAnswers.isEmpty()) {
            ++unexpected;
            return {};
        }
        return fileAnswers.takeFirst();
    }

    void ExecAbout(TAboutBox &) override { ++abouts; }

    void Reset() { *this = FakeDialogs(); }

    QList<BoxRecord> boxes;
    QList<FileDialogRecord> fileDialogs;
    int abouts = 0;
    QList<int> boxAnswers;
    QStringList fileAnswers;
    int unexpected = 0;
};

} // namespace

class tst_Form : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void construction();
    void resourceAsDesigned();
    void tabOrder();
    void about();

    void newClearsEverything();
    void openSucceeds();
    void openReadFailsKeepsTheReport();
    void openCancelledChangesNothing();
    void saveWritesInPlaceWithoutDialog();
    void saveAsWritesToTheChosenPath();
    void saveAsCancelled();
    void exitClosesAndStoresSettings();

    void saveQuestionBox();
    void saveQuestionBeforeReplacing_data();
    void saveQuestionBeforeReplacing();
    void typingIntoCellKeepsEveryCharacter();
    void headerEditAloneAsksOnClose();
    void headerSetFromCodeIsNoEdit();
    void headerBoxKeepsTheWindowsFontAfterItsMark();

    void settingsRoundTrip();
    void settingsNotWrittenWhenCloseCancelled();
    void settingsAbsurdValuesSkipped_data();
    void settingsAbsurdValuesSkipped();
    void settingsOnlySomeStored();

    void dropOpensOnlyTheFirstFile();
    void dropOfUnreadableFileKeepsReport();
    void dragOfNonFilesRefused();

    void failedSaveLosesNothing_data();
    void failedSaveLosesNothing();

    void saveDialogNewReportWithoutHeader();
    void saveDialogSuggestsHeaderName();
    void saveUnchangedRewritesByteForByte();

    void bytesWithoutTextFormSurvive_data();
    void bytesWithoutTextFormSurvive();
    void headerRoundTripThroughFileName();
    void emptyRowBetweenFilledRows();
    void emptyGridSavesEmptyFile();
    void invalidCellsFlaggedOnLoad();

    void titleNamesTheFile();
    void dialogsStartInCurrentOrLastFolder();
    void openListsAndOpensNameWithoutExtension();
    void handleColumnDraggedShowsLineNumbers();
    void headerCutInsideCharacterSavedInPlace();
    void sixteenDigitLicenseComesBack();
    void headerThatWouldNotComeBackAsks();
    void headerBoxesRefuseFileNameCharacters();
    void newForgetsMessageTexts();
    void settingsSmallestUsableApplied();

private:
    std::unique_ptr<TVelTorForm> makeForm();
    bool show(TVelTorForm &form);
    bool typeIntoCell(TVelTorForm &form, int record, int field, const QString &text);
    bool openEditorAndClose(TVelTorForm &form, int record, int field);
    void typeIntoBox(QLineEdit *box, const QString &text);
    QString writeFile(const QString &name, const QByteArray &content);
    bool openReport(TVelTorForm &form, const QString &path);
    QStringList storedKeys() const;

    QTemporaryDir settingsDir;
    std::unique_ptr<QTemporaryDir> dir;
    FakeDialogs fake;
};

void tst_Form::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QApplication::setQuitOnLastWindowClosed(false);
}

void tst_Form::init()
{
    QSettings settings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
    settings.clear();
    settings.sync();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    fake.Reset();
}

void tst_Form::cleanup()
{
    // Every answer prepared was asked for, and nothing else was asked.
    QCOMPARE(fake.unexpected, 0);
    QCOMPARE(fake.boxAnswers.size(), 0);
    QCOMPARE(fake.fileAnswers.size(), 0);
    dir.reset();
}

std::unique_ptr<TVelTorForm> tst_Form::makeForm()
{
    auto form = std::make_unique<TVelTorForm>();
    form->SetDialogs(&fake);
    // Goes with the model.
    new QAbstractItemModelTester(model(*form), QAbstractItemModelTester::FailureReportingMode::QtTest, model(*form));
    return form;
}

bool tst_Form::show(TVelTorForm &form)
{
    form.show();
    return QTest::qWaitForWindowExposed(&form);
}

bool tst_Form::typeIntoCell(TVelTorForm &form, int record, int field, const QString &text)
{
    const QModelIndex index = model(form)->index(record, field);
    form.Ui().VelTorGrid->setCurrentIndex(index);
    form.Ui().VelTorGrid->edit(index);
    QLineEdit *editor = form.Ui().VelTorGrid->Editor();
    if (!editor)
        return false;
    // The text as the user leaves it; typing key by key has a test of its own.
    editor->setText(text);
    form.Ui().VelTorGrid->CommitEditor();
    return !form.Ui().VelTorGrid->Editor();
}

bool tst_Form::openEditorAndClose(TVelTorForm &form, int record, int field)
{
    const QModelIndex index = model(form)->index(record, field);
    form.Ui().VelTorGrid->setCurrentIndex(index);
    form.Ui().VelTorGrid->edit(index);
    if (!form.Ui().VelTorGrid->Editor())
        return false;
    form.Ui().VelTorGrid->CommitEditor();
    return !form.Ui().VelTorGrid->Editor();
}

void tst_Form::typeIntoBox(QLineEdit *box, const QString &text)
{
    box->selectAll();
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Backspace);
    else
        QTest::keyClicks(box, text);
}

QString tst_Form::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return TestSupport::writeFile(path, content) ? path : QString();
}

bool tst_Form::openReport(TVelTorForm &form, const QString &path)
{
    const int before = int(fake.fileDialogs.size());
    fake.fileAnswers << path;
    form.Ui().FileOpen1->trigger();
    return fake.fileDialogs.size() == before + 1 && form.CurrentFileName() == path;
}

// The window's settings, written when it closes; the list of recent
// reports is written as it changes, and left out here.
QStringList tst_Form::storedKeys() const
{
    QSettings settings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
    QStringList keys = settings.allKeys();
    keys.removeAll(QStringLiteral("RecentFiles"));
    keys.sort();
    return keys;
}

// Layout and actions.

void tst_Form::construction()
{
    auto form = makeForm();
    QCOMPARE(form->pos(), QPoint(0, 0));
    QCOMPARE(form->width(), 740);
    QCOMPARE(model(*form)->columnCount(), 19);
    QCOMPARE(form->GridColCount(), 20);
    QCOMPARE(geometryDump(*form).section(u' ', 0, 19),
             QStringLiteral("20 30 20 30 20 30 20 60 80 60 60 60 60 60 80 20 20 20 20 20"));

    QCOMPARE(gridDump(*form), QByteArray("[new]"));
    QCOMPARE(form->GridRowCount(), 2);
    QCOMPARE(attrsDump(*form), QByteArray("rows 0\n"));
    QCOMPARE(form->CellAttrs().Width(), 20u);
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QVERIFY(form->CurrentFileName().isEmpty());
    QVERIFY(form->File().FileBaseName().empty());
    QCOMPARE(headerBoxes(*form), QStringList({QString(), QString(), QString()}));
    QVERIFY(form->acceptDrops());
    QCOMPARE(form->CurrentRow(), 1);
    QCOMPARE(form->CurrentCol(), 1);
    QVERIFY(form->Ui().FileNew1->isEnabled());
    QVERIFY(form->Ui().FileSaveAs1->isEnabled());
    QVERIFY(form->Ui().HelpAbout1->isEnabled());
    QVERIFY(!form->Ui().EditCut1->isEnabled());
    QVERIFY(!form->Ui().EditCopy1->isEnabled());
}

namespace {

// An action by its name, with its caption, tool tip, status tip, shortcut
// and the number of its picture in ImageList1.
QString actionDump(const TVelTorForm &form, const QAction *action)
{
    if (action->isSeparator())
        return QStringLiteral("-");
    const int icon = [&] {
        for (int i = 0; i < form.Ui().ImageList1.size(); ++i) {
            if (!action->icon().isNull() && action->icon().cacheKey() == form.Ui().ImageList1.at(i).cacheKey())
                return i;
        }
        return action->icon().isNull() ? -1 : -2;
    }();
    return QStringLiteral("%1 %2 | %3 | %4 | %5 | %6")
            .arg(action->objectName(), action->text(), action->toolTip(), action->statusTip(),
                 action->shortcut().toString(QKeySequence::PortableText))
            .arg(icon);
}

// The window's resource as the user meets it: the title, every label, box
// and button with its hints, the column headings, each menu with its
// actions and the tool bar.
QString resourceDump(const TVelTorForm &form)
{
    const TVelTorFormUi &ui = form.Ui();
    QStringList out{form.windowTitle()};
    for (const QLabel *label : {ui.Label1, ui.Label2, ui.Label3, ui.Label4})
        out << label->text();
    for (const QLineEdit *edit : {ui.SyoudakuBangou, ui.HoukokuNengappi, ui.NiniMoziretsu, ui.KensakuWord})
        out << edit->objectName() + u' ' + edit->toolTip() + QStringLiteral(" | ") + edit->statusTip();
    for (const QPushButton *button : {ui.KensakuLeftButton, ui.KensakuRightButton, ui.KensakuUpButton,
                                      ui.KensakuDownButton})
        out << button->objectName() + u' ' + button->text();
    QStringList headings;
    for (int f = 0; f < 19; ++f)
        headings << model(form)->headerData(f, Qt::Horizontal).toString();
    out << headings.join(u' ');
    for (QAction *menuAction : form.menuBar()->actions()) {
        out << QStringLiteral("menu %1 | %2").arg(menuAction->text(), menuAction->statusTip());
        for (const QAction *item : menuAction->menu()->actions()) {
            if (!item->objectName().startsWith(QLatin1String("FileRecent")))
                out << QStringLiteral("  ") + actionDump(form, item);
        }
    }
    QStringList tools;
    for (const QAction *action : ui.ToolBar1->actions())
        tools << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    out << QStringLiteral("tools ") + tools.join(u' ');
    return out.join(u'\n');
}

} // namespace

// The captions, hints, shortcuts and pictures as designed, and where each
// action stands.
const char DesignedResource[] = R"(JASRAC報告[*]
承諾番号
報告年月
任意の文字列
検索
SyoudakuBangou 許諾番号［10桁(16桁)］ | 許諾番号［10桁(16桁)］
HoukokuNengappi 報告年月［6桁(YYYYMM)］ | 報告年月［6桁(YYYYMM)］
NiniMoziretsu 任意の文字列（英数字のみ）［100桁以内任意］ | 任意の文字列（英数字のみ）［100桁以内任意］
KensakuWord  | 
KensakuLeftButton ←
KensakuRightButton →
KensakuUpButton ↑
KensakuDownButton ↓
ｲﾝﾀｰﾌｪｲｽｷｰｺｰﾄﾞ ｺﾝﾃﾝﾂ区分 ｺﾝﾃﾝﾂ枝番 ﾒﾄﾞﾚｰ区分 ﾒﾄﾞﾚｰ枝番 ｺﾚｸﾄ･ｺｰﾄﾞ JASRAC作品ｺｰﾄﾞ 原題名 副題・邦題 作詞者名 補作詞・訳詞者名 作曲者名 編曲者名 ｱｰﾃｨｽﾄ名 情報料（税抜） ＩＶＴ区分 原詞訳詞区分 ＩＬ区分 リクエスト回数
menu ファイル(&F) | ファイルに関連した機能
  FileNew1 新規作成(&N) | 新規 | 新規ファイルの作成 | Ctrl+N | 6
  FileOpen1 開く(&O)... | 開く | ファイルを開く | Ctrl+O | 7
  FileSave1 上書き保存(&S) | 保存 | 現在のファイルを保存 | Ctrl+S | 8
  FileSaveAs1 名前をつけて保存(&A)... | 別名保存 | 現在のファイルに別の名前をつけて保存 |  | -1
  -
  FileImport1 インポート(&I)... | インポート | CSVファイルやテキストファイルの行を報告に取り込みます |  | -1
  FileExport1 エクスポート(&E)... | エクスポート | 報告を表計算ソフト用のCSVファイル（UTF-8）に書き出します |  | -1
  -
  -
  FileExit1 終了(&X) | 終了 | アプリケーション終了 |  | -1
menu 編集(&E) | 編集に関連した機能
  EditUndo 元に戻す | 元に戻す | 直前の変更を取り消します | Ctrl+Z | -2
  EditRedo やり直し | やり直し | 取り消した変更をやり直します | Ctrl+Y | -2
  -
  EditInsertLine 1行挿入(I) | 選択されている行の直前に、新しい行を挿入します | 選択されている行の直前に、新しい行を挿入します | Alt+Ins | 15
  EditDeleteLine 1行削除(D) | 選択されている1行を、削除します | 選択されている1行を、削除します | Alt+Del | 5
  EditCutLine １行切り取り | 選択されている１行を切り取り、コピーバッファに入れます | 選択されている１行を切り取り、コピーバッファに入れます | Alt+X | 0
  EditCopyLine １行コピー | 選択されている１行を、コピーバッファに入れます | 選択されている１行を、コピーバッファに入れます | Alt+C | 1
  EditPasteLine １行貼り付け | コピーバッファにある１行を、直前の行に挿入します | コピーバッファにある１行を、直前の行に挿入します | Alt+V | 2
  -
  EditCut1 文字切り取り(&T) | 文字切り取り | 選択文字部分を切り取りクリップボードに送る | Ctrl+X | 0
  EditCopy1 文字コピー(&C) | 文字コピー | 選択文字部分をコピーしクリップボードに送る | Ctrl+C | 1
  EditPaste1 文字貼り付け(&P) | 文字貼り付け | クリップボードの内容（文字列）を貼り付け | Ctrl+V | 2
  EditClearCells 内容を削除(&L) | 内容を削除 | 選択されているセルの内容を消去します |  | -1
  -
  EditNextError 次のエラー | 次のエラー | 次のエラーのセルへ移動します | F8 | -1
  EditPrevError 前のエラー | 前のエラー | 前のエラーのセルへ移動します | Shift+F8 | -1
  -
  EditFind 検索(&F) | 検索 | 検索する文字列の入力欄へ移動します | Ctrl+F | -1
  EditReplace 置換… | 置換 | 文字列を検索して別の文字列に置き換えます | Ctrl+H | -1
  -
  EditRenumber 連番を振り直す(&N) | 連番 | インターフェイスキーコードに1からの連番を振り直します（複数行を選択しているときはその行だけ） |  | -1
  EditFillDown 下方向へコピー(&D) | 下方向へコピー | 選択範囲の一番上のセルを、その下のセルにコピーします | Ctrl+D | -1
  EditSort 並べ替え… | 並べ替え | 行を1つまたは2つの項目の順に並べ替えます |  | -1
  -
  EditNarrowWidth 全角英数字を半角に(&W) | 全角英数字を半角に | 半角だけの項目の全角英数字・記号・空白を半角にします（複数のセルを選んでいるときはその範囲だけ） |  | -1
  EditTrimSpaces 前後の空白を削除(&B) | 前後の空白を削除 | 値の前後の空白（半角・全角）を削除します（複数のセルを選んでいるときはその範囲だけ） |  | -1
menu 表示(&V) | 表示に関連した機能
  ViewReview 見直し(&R) | 見直し | エラーと注意を種類ごとに一覧にします | Ctrl+E | -1
  ViewNotes 注意を表示(&N) | 注意を表示 | 項目の説明に合わない値に、注意の印（橙色の三角）を付けます |  | -1
menu ヘルプ(&H) | ヘルプトピック
  HelpAbout1 バージョン情報(&A)... | バージョン情報 | バージョンなど固有の情報を表示 |  | -1
tools FileNew1 FileOpen1 FileSave1 - EditInsertLine EditDeleteLine EditCutLine EditCopyLine EditPasteLine - EditCut1 EditCopy1 EditPaste1 - EditUndo EditRedo)";

void tst_Form::resourceAsDesigned()
{
    auto form = makeForm();
    QCOMPARE(resourceDump(*form), QString::fromUtf8(DesignedResource));
}

void tst_Form::tabOrder()
{
    auto form = makeForm();
    const TVelTorFormUi &ui = form->Ui();
    const QList<QWidget *> expected = {ui.SyoudakuBangou, ui.HoukokuNengappi, ui.NiniMoziretsu,
                                       ui.KensakuWord, ui.VelTorGrid, ui.KensakuLeftButton,
                                       ui.KensakuRightButton, ui.KensakuUpButton, ui.KensakuDownButton};
    QList<QWidget *> seen;
    QWidget *widget = ui.SyoudakuBangou;
    do {
        if (expected.contains(widget))
            seen << widget;
        widget = widget->nextInFocusChain();
    } while (widget != ui.SyoudakuBangou && seen.size() <= expected.size());
    QCOMPARE(seen, expected);

    // The grid's own parts come between it and the first button; nothing
    // else that takes the focus by Tab does.
    for (widget = ui.VelTorGrid->nextInFocusChain(); widget != ui.KensakuLeftButton;
         widget = widget->nextInFocusChain()) {
        QVERIFY2(ui.VelTorGrid->isAncestorOf(widget) || !(widget->focusPolicy() & Qt::TabFocus),
                 qPrintable(widget->objectName()));
    }
}

void tst_Form::about()
{
    auto form = makeForm();
    form->Ui().HelpAbout1->trigger();
    QCOMPARE(fake.abouts, 1);
    form->Ui().HelpAbout1->trigger();
    QCOMPARE(fake.abouts, 2);
}

// The effect of every command on the window's state.

void tst_Form::newClearsEverything()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(openReport(*form, writeFile(NameA, ReportA)));
    form->Ui().KensakuWord->setText(QStringLiteral("find"));
    form->Ui().VelTorGrid->setColumnWidth(7, 99);
    // A header change found by a cancelled save leaves both flags set.
    typeIntoBox(form->Ui().NiniMoziretsu, QStringLiteral("DEF"));
    fake.fileAnswers << QString();
    form->Ui().FileSave1->trigger();
    QVERIFY(form->Modified());
    QVERIFY(form->File().NameChanged());

    fake.boxAnswers << QMessageBox::No;
    form->Ui().FileNew1->trigger();
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(gridDump(*form), QByteArray("[new]"));
    QCOMPARE(attrsDump(*form), QByteArray("rows 0\n"));
    QCOMPARE(headerBoxes(*form), QStringList({QString(), QString(), QString()}));
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QVERIFY(form->CurrentFileName().isEmpty());
    QVERIFY(form->File().FileBaseName().empty());
    QCOMPARE(form->Ui().KensakuWord->text(), QStringLiteral("find"));
    QCOMPARE(form->Ui().VelTorGrid->columnWidth(7), 99);
    QCOMPARE(readFile(dir->filePath(NameA)), ReportA);
}

void tst_Form::openSucceeds()
{
    auto form = makeForm();
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));

    const FileDialogRecord &dialog = fake.fileDialogs.at(0);
    QCOMPARE(dialog.mode, QFileDialog::AcceptOpen);
    QCOMPARE(dialog.nameFilters, ReportFilters);
    QCOMPARE(dialog.defaultSuffix, QString());
    QCOMPARE(dialog.suggestedName, QString());

    QCOMPARE(gridDump(*form), ReportA + "[new]");
    QCOMPARE(headerBoxes(*form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201204"), QStringLiteral("ABC")}));
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("1234567890201204ABC"));
    QCOMPARE(attrsDump(*form).left(7), QByteArray("rows 2\n"));
    QCOMPARE(form->CurrentRow(), 1);
}

void tst_Form::openReadFailsKeepsTheReport()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    QVERIFY(typeIntoCell(*form, 0, 8, QStringLiteral("sub")));
    QVERIFY(form->Modified());
    const QByteArray grid = gridDump(*form);
    const QByteArray attrs = attrsDump(*form);

    fake.boxAnswers << QMessageBox::No << QMessageBox::Ok;
    fake.fileAnswers << dir->filePath(QStringLiteral("Q.dat"));
    form->Ui().FileOpen1->trigger();
    QCOMPARE(fake.boxes.size(), 2);
    const BoxRecord &error = fake.boxes.at(1);
    QCOMPARE(error.text, failureBox(ReadError, dir->filePath(QStringLiteral("Q.dat")), NotFound));
    QCOMPARE(error.caption, QStringLiteral("エラー"));
    QCOMPARE(error.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(error.icon, QMessageBox::NoIcon);

    QCOMPARE(gridDump(*form), grid);
    QCOMPARE(attrsDump(*form), attrs);
    QCOMPARE(headerBoxes(*form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201204"), QStringLiteral("ABC")}));
    QVERIFY(form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("Q"));

    // The next Save compares the header with the failed file's name.
    fake.fileAnswers << QString();
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 3);
    QCOMPARE(fake.fileDialogs.at(2).suggestedName, NameA);
    QCOMPARE(fake.fileDialogs.at(2).directory, QDir(dir->path()).absolutePath());
    QVERIFY(form->File().NameChanged());
    QVERIFY(form->Modified());
    QCOMPARE(readFile(path), ReportA);
}

void tst_Form::openCancelledChangesNothing()
{
    auto form = makeForm();
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    const QByteArray attrs = attrsDump(*form);

    fake.fileAnswers << QString();
    form->Ui().FileOpen1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 2);
    QCOMPARE(gridDump(*form), ReportA + "[new]");
    QCOMPARE(attrsDump(*form), attrs);
    QCOMPARE(headerBoxes(*form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201204"), QStringLiteral("ABC")}));
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("1234567890201204ABC"));
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
}

void tst_Form::saveWritesInPlaceWithoutDialog()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    QVERIFY(typeIntoCell(*form, 0, 8, QStringLiteral("sub")));
    QVERIFY(form->Modified());
    const QByteArray grid = gridDump(*form);
    const QByteArray attrs = attrsDump(*form);

    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1); // only the Open's
    const QByteArray expected = fileLine({"1", "", "000", "", "000", "", "0", "\x8C\xB4\x91\xE8", "sub", "", "", "",
                                          "", "", "0", "I", "1", "", "0"})
            + fileLine({"\x82\xA0", "QQ", "", "", "", "", "", QByteArray(61, 'a')});
    QCOMPARE(readFile(path), expected);
    QCOMPARE(gridDump(*form), grid);
    QCOMPARE(attrsDump(*form), attrs);
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("1234567890201204ABC"));
}

void tst_Form::saveAsWritesToTheChosenPath()
{
    auto form = makeForm();
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    const QString copy = dir->filePath(QStringLiteral("copy.dat"));

    fake.fileAnswers << copy;
    form->Ui().FileSaveAs1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 2);
    const FileDialogRecord &dialog = fake.fileDialogs.at(1);
    QCOMPARE(dialog.mode, QFileDialog::AcceptSave);
    QCOMPARE(dialog.directory, QDir(dir->path()).absolutePath());
    QCOMPARE(dialog.suggestedName, NameA);
    QVERIFY(dialog.confirmOverwrite);
    QCOMPARE(readFile(copy), ReportA);
    QCOMPARE(form->CurrentFileName(), copy);
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(gridDump(*form), ReportA + "[new]");

    // A name typed into the dialog is kept by later plain Saves; one that
    // was deleted since is saved again once the user agrees.
    QVERIFY(QFile::remove(copy));
    fake.boxAnswers << QMessageBox::Save;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 2);
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(fake.boxes.at(0).text, FileMessages::ChangedOnDisk(copy, DiskChange::Deleted));
    QCOMPARE(readFile(copy), ReportA);
    QCOMPARE(readFile(path), ReportA);
}

void tst_Form::saveAsCancelled()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    typeIntoBox(form->Ui().NiniMoziretsu, QStringLiteral("DEF"));
    QVERIFY(form->Modified());

    fake.fileAnswers << QString();
    form->Ui().FileSaveAs1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 2);
    QCOMPARE(fake.fileDialogs.at(1).suggestedName, QStringLiteral("1234567890201204DEF.dat"));
    QVERIFY(form->Modified());
    QVERIFY(form->File().NameChanged());
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("1234567890201204DEF"));
    QCOMPARE(gridDump(*form), ReportA + "[new]");
    QCOMPARE(readFile(path), ReportA);
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({NameA}));
}

void tst_Form::exitClosesAndStoresSettings()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    form->Ui().FileExit1->trigger();
    QVERIFY(!form->isVisible());
    QCOMPARE(fake.boxes.size(), 0);
    QCOMPARE(storedKeys().size(), 23);
}

// The save question.

void tst_Form::saveQuestionBox()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    form->move(37, 51);
    QVERIFY(typeIntoCell(*form, 0, 0, QStringLiteral("7")));
    const QByteArray grid = gridDump(*form);

    fake.boxAnswers << QMessageBox::Cancel;
    form->Ui().FileNew1->trigger();
    QCOMPARE(fake.boxes.size(), 1);
    const BoxRecord &box = fake.boxes.at(0);
    QCOMPARE(box.text, SaveQuestion);
    QCOMPARE(box.text.toUtf8(), QByteArray("\xE5\x86\x85\xE5\xAE\xB9\xE3\x81\xAF\xE5\xA4\x89\xE6\x9B\xB4\xE3\x81\x95"
                                           "\xE3\x82\x8C\xE3\x81\xA6\xE3\x81\x84\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82"
                                           "\n\xE5\xA4\x89\xE6\x9B\xB4\xE3\x82\x92\xE4\xBF\x9D\xE5\xAD\x98\xE3\x81\x97"
                                           "\xE3\x81\xBE\xE3\x81\x99\xE3\x81\x8B\xEF\xBC\x9F"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QCOMPARE(box.escapeButton, QMessageBox::Cancel);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.parent, form.get());
    QVERIFY(box.size.isValid());
    QVERIFY(box.parentFrame.left() >= 37);
    QCOMPARE(box.pos.x(), box.parentFrame.left() + box.parentFrame.width() / 2 - box.size.width() / 2);
    QCOMPARE(box.pos.y(), box.parentFrame.top() + box.parentFrame.height() / 2 - box.size.height() / 2);

    QCOMPARE(gridDump(*form), grid);
    QVERIFY(form->Modified());
}

void tst_Form::saveQuestionBeforeReplacing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("save"); // what the Yes's save meets
    QTest::addColumn<bool>("proceeds");

    for (const char *command : {"new", "open", "drop", "close"}) {
        const auto row = [command](const char *name) -> QTestData & {
            return QTest::addRow("%s, %s", command, name) << QString::fromLatin1(command);
        };
        row("cancel") << int(QMessageBox::Cancel) << QString() << false;
        row("box closed otherwise") << int(QMessageBox::NoButton) << QString() << false;
        row("no") << int(QMessageBox::No) << QString() << true;
        row("yes, written") << int(QMessageBox::Yes) << QStringLiteral("written") << true;
        row("yes, save dialog cancelled") << int(QMessageBox::Yes) << QStringLiteral("cancelled") << false;
        row("yes, write failed") << int(QMessageBox::Yes) << QStringLiteral("failed") << false;
    }
}

void tst_Form::saveQuestionBeforeReplacing()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(QString, save);
    QFETCH(bool, proceeds);

    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(typeIntoCell(*form, 0, 0, QStringLiteral("7")));
    QVERIFY(form->Modified());
    const QByteArray edited = gridDump(*form);
    QCOMPARE(edited, fileLine("7") + "[new]");
    const QString pathB = writeFile(NameB, ReportB);
    const QString savePath = dir->filePath(QStringLiteral("saved.dat"));

    fake.boxAnswers << answer;
    if (save == u"written") {
        fake.fileAnswers << savePath;
    } else if (save == u"cancelled") {
        fake.fileAnswers << QString();
    } else if (save == u"failed") {
        fake.fileAnswers << dir->path(); // a folder cannot be written as a file
        fake.boxAnswers << QMessageBox::Ok;
    }
    if (proceeds && command == u"open")
        fake.fileAnswers << pathB;

    bool closed = false;
    if (command == u"new")
        form->Ui().FileNew1->trigger();
    else if (command == u"open")
        form->Ui().FileOpen1->trigger();
    else if (command == u"drop") {
        QVERIFY(drop(*form, {QUrl::fromLocalFile(pathB), QUrl::fromLocalFile(savePath)}));
    } else {
        closed = form->close();
    }

    QVERIFY(!fake.boxes.isEmpty());
    QCOMPARE(fake.boxes.at(0).text, SaveQuestion);
    if (save == u"failed") {
        QCOMPARE(fake.boxes.size(), 2);
        QCOMPARE(fake.boxes.at(1).text, failureBox(WriteError, dir->path(), SaveBlocked));
    } else {
        QCOMPARE(fake.boxes.size(), 1);
    }
    if (save == u"written")
        QCOMPARE(readFile(savePath), fileLine("7"));
    else
        QVERIFY(!QFile::exists(savePath));

    QCOMPARE(closed, proceeds && command == u"close");
    QCOMPARE(form->isVisible(), !closed);
    // A save through the dialog adds the last folder used.
    QCOMPARE(storedKeys().size(), closed ? (save == u"written" ? 24 : 23) : 0);
    if (!proceeds) {
        QCOMPARE(gridDump(*form), edited);
        QVERIFY(form->Modified());
        return;
    }
    if (command == u"new") {
        QCOMPARE(gridDump(*form), QByteArray("[new]"));
        QVERIFY(form->CurrentFileName().isEmpty());
    } else if (command == u"open" || command == u"drop") {
        QCOMPARE(gridDump(*form), ReportB + "[new]");
        QCOMPARE(form->CurrentFileName(), pathB);
    }
    if (command != u"close")
        QVERIFY(!form->Modified());
}

void tst_Form::typingIntoCellKeepsEveryCharacter()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    const QModelIndex index = model(*form)->index(0, 7);
    form->Ui().VelTorGrid->setCurrentIndex(index);
    form->Ui().VelTorGrid->edit(index);
    QLineEdit *editor = form->Ui().VelTorGrid->Editor();
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("Title"));
    const QString typed = editor->text();
    form->Ui().VelTorGrid->CommitEditor();
    // Each keystroke is checked and may add the new-line row; none of that
    // may touch what the editor holds.
    QCOMPARE(typed, QStringLiteral("Title"));
    QCOMPARE(gridDump(*form), fileLine({"", "", "", "", "", "", "", "Title"}) + "[new]");
    QVERIFY(form->Modified());
    QCOMPARE(form->CellAttrs().RowCount(), 1u);
}

void tst_Form::headerEditAloneAsksOnClose()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    typeIntoBox(form->Ui().HoukokuNengappi, QStringLiteral("201204"));
    QCOMPARE(form->Ui().HoukokuNengappi->text(), QStringLiteral("201204"));
    QVERIFY(form->Modified());
    QCOMPARE(gridDump(*form), QByteArray("[new]"));

    fake.boxAnswers << QMessageBox::Cancel;
    QVERIFY(!form->close());
    QVERIFY(form->isVisible());
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(fake.boxes.at(0).text, SaveQuestion);
    QCOMPARE(storedKeys().size(), 0);
}

void tst_Form::headerSetFromCodeIsNoEdit()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    form->Ui().SyoudakuBangou->setText(QStringLiteral("1234567890"));
    form->Ui().HoukokuNengappi->setText(QStringLiteral("201204"));
    form->Ui().NiniMoziretsu->setText(QStringLiteral("ABC"));
    QVERIFY(!form->Modified());
    QVERIFY(form->close());
    QCOMPARE(fake.boxes.size(), 0);
}

// Before, a box marked invalid and then valid again was drawn in the
// application's font, larger than the window's, from then on.
void tst_Form::headerBoxKeepsTheWindowsFontAfterItsMark()
{
    const QFont application = QApplication::font();
    QFont larger = application;
    larger.setPointSize(application.pointSize() + 5);
    QApplication::setFont(larger);
    auto form = makeForm();
    QLineEdit *box = form->Ui().SyoudakuBangou;
    const int windowSize = form->font().pointSize();
    QVERIFY(windowSize != larger.pointSize());
    QTest::keyClicks(box, "12345");
    QVERIFY(!box->styleSheet().isEmpty());
    QTest::keyClicks(box, "67890");
    QVERIFY(box->styleSheet().isEmpty());
    const int boxSize = box->font().pointSize();
    QApplication::setFont(application);
    QCOMPARE(boxSize, windowSize);
}

// Settings.

void tst_Form::settingsRoundTrip()
{
    const QSize screen = screenSize();
    const int width = std::min(700, screen.width());
    const int height = std::min(500, screen.height());
    {
        auto form = makeForm();
        form->Ui().VelTorGrid->setColumnWidth(3, 111);
        form->Ui().VelTorGrid->setColumnWidth(18, 47);
        form->resize(width, height);
        QVERIFY(form->close());
    }
    QStringList expectedKeys;
    for (int c = 0; c < 20; ++c)
        expectedKeys << QStringLiteral("GridWidth%1").arg(c);
    expectedKeys << QStringLiteral("ShowNotes") << QStringLiteral("WindowHeight") << QStringLiteral("WindowWidth");
    expectedKeys.sort();
    QCOMPARE(storedKeys(), expectedKeys);

    QSettings settings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
    QStringList values;
    for (int c = 0; c < 20; ++c)
        values << settings.value(QStringLiteral("GridWidth%1").arg(c)).toString();
    values << settings.value(QStringLiteral("WindowWidth")).toString()
           << settings.value(QStringLiteral("WindowHeight")).toString();
    QCOMPARE(values.join(u' '), QStringLiteral("20 30 20 30 111 30 20 60 80 60 60 60 60 60 80 20 20 20 20 47 %1 %2")
                                        .arg(width)
                                        .arg(height));

    auto next = makeForm();
    QCOMPARE(geometryDump(*next),
             QStringLiteral("20 30 20 30 111 30 20 60 80 60 60 60 60 60 80 20 20 20 20 47 %1x%2").arg(width).arg(height));
}

void tst_Form::settingsNotWrittenWhenCloseCancelled()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(typeIntoCell(*form, 0, 7, QStringLiteral("x")));
    fake.boxAnswers << QMessageBox::Cancel << QMessageBox::Cancel;
    QVERIFY(!form->close());
    QVERIFY(!form->FormClose());
    QVERIFY(form->isVisible());
    QCOMPARE(fake.boxes.size(), 2);
    QCOMPARE(storedKeys(), QStringList());
}

void tst_Form::settingsAbsurdValuesSkipped_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    const QSize screen = screenSize();
    for (const char *key : {"GridWidth0", "GridWidth5", "WindowWidth", "WindowHeight"}) {
        const int limit = QByteArray(key) == "WindowHeight" ? screen.height() : screen.width();
        QTest::addRow("%s zero", key) << QString::fromLatin1(key) << QVariant(0);
        QTest::addRow("%s negative", key) << QString::fromLatin1(key) << QVariant(-40);
        QTest::addRow("%s not a number", key) << QString::fromLatin1(key) << QVariant(QStringLiteral("wide"));
        QTest::addRow("%s fraction", key) << QString::fromLatin1(key) << QVariant(QStringLiteral("12.5"));
        QTest::addRow("%s larger than the screen", key) << QString::fromLatin1(key) << QVariant(limit + 1);
        const int smallest = QByteArray(key) == "WindowWidth"    ? WindowSettings::MinStoredWindowWidth
                : QByteArray(key) == "WindowHeight"              ? WindowSettings::MinStoredWindowHeight
                                                                 : WindowSettings::MinStoredColumnWidth;
        QTest::addRow("%s one pixel", key) << QString::fromLatin1(key) << QVariant(1);
        QTest::addRow("%s just too small", key) << QString::fromLatin1(key) << QVariant(smallest - 1);
    }
}

void tst_Form::settingsAbsurdValuesSkipped()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);

    QString designed;
    {
        auto reference = makeForm();
        designed = geometryDump(*reference);
    }
    {
        QSettings settings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
        settings.setValue(key, value);
        // A sound value stored beside it is still applied.
        settings.setValue(QStringLiteral("GridWidth2"), 55);
        settings.sync();
    }
    auto form = makeForm();
    QStringList expected = designed.split(u' ');
    expected[2] = QStringLiteral("55");
    QCOMPARE(geometryDump(*form), expected.join(u' '));
}

void tst_Form::settingsOnlySomeStored()
{
    QString designed;
    {
        auto reference = makeForm();
        designed = geometryDump(*reference);
    }
    const int height = std::min(450, screenSize().height());
    {
        QSettings settings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
        settings.setValue(QStringLiteral("GridWidth3"), 77);
        settings.setValue(QStringLiteral("WindowHeight"), height);
        settings.sync();
    }
    auto form = makeForm();
    QStringList expected = designed.split(u' ');
    expected[3] = QStringLiteral("77");
    expected[20] = expected[20].section(u'x', 0, 0) + u'x' + QString::number(height);
    QCOMPARE(geometryDump(*form), expected.join(u' '));
    QCOMPARE(form->pos(), QPoint(0, 0));
}

// Dropped files.

void tst_Form::dropOpensOnlyTheFirstFile()
{
    auto form = makeForm();
    const QString pathA = writeFile(NameA, ReportA);
    const QString pathB = writeFile(NameB, ReportB);
    const QString pathC = writeFile(QStringLiteral("C.dat"), fileLine("C"));

    QVERIFY(drop(*form, {QUrl::fromLocalFile(pathA), QUrl::fromLocalFile(pathB), QUrl::fromLocalFile(pathC)}));
    QCOMPARE(gridDump(*form), ReportA + "[new]");
    QCOMPARE(form->CurrentFileName(), pathA);
    QCOMPARE(headerBoxes(*form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201204"), QStringLiteral("ABC")}));

    QVERIFY(drop(*form, {QUrl::fromLocalFile(pathC), QUrl::fromLocalFile(pathA), QUrl::fromLocalFile(pathB)}));
    QCOMPARE(gridDump(*form), fileLine("C") + "[new]");
    QCOMPARE(form->CurrentFileName(), pathC);
    QCOMPARE(headerBoxes(*form), QStringList({QStringLiteral("C"), QString(), QString()}));
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(fake.boxes.size(), 0);
}

void tst_Form::dropOfUnreadableFileKeepsReport()
{
    auto form = makeForm();
    const QString pathA = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, pathA));
    const QByteArray attrs = attrsDump(*form);

    fake.boxAnswers << QMessageBox::Ok;
    QVERIFY(drop(*form, {QUrl::fromLocalFile(dir->filePath(QStringLiteral("missing.dat"))),
                         QUrl::fromLocalFile(pathA)}));
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(fake.boxes.at(0).text, failureBox(ReadError, dir->filePath(QStringLiteral("missing.dat")), NotFound));
    QCOMPARE(fake.boxes.at(0).caption, QStringLiteral("エラー"));
    QCOMPARE(fake.boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(gridDump(*form), ReportA + "[new]");
    QCOMPARE(attrsDump(*form), attrs);
    QCOMPARE(form->CurrentFileName(), pathA);
    QCOMPARE(headerBoxes(*form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201204"), QStringLiteral("ABC")}));
}

void tst_Form::dragOfNonFilesRefused()
{
    auto form = makeForm();
    QMimeData text;
    text.setText(QStringLiteral("1\t2\t3"));
    QDragEnterEvent enter(QPoint(20, 120), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    QVERIFY(!enter.isAccepted());

    QVERIFY(!drop(*form, {QUrl(QStringLiteral("https://example.com/report.dat"))}));
    QCOMPARE(gridDump(*form), QByteArray("[new]"));
}

// A save that fails.

void tst_Form::failedSaveLosesNothing_data()
{
    QTest::addColumn<QString>("target"); // relative to the test folder; empty: the opened file
    QTest::addColumn<QString>("reason");

    QTest::newRow("folder whose parent is a regular file")
            << QStringLiteral("plain.txt/sub/K.dat") << QStringLiteral("保存先のフォルダーが見つかりません。");
    QTest::newRow("path that is a folder") << QStringLiteral("folder.dat") << SaveBlocked;
    QTest::newRow("value the format cannot carry") << QString() << FileMessages::SaveReason(WriteFailure::RefusedValue);
}

void tst_Form::failedSaveLosesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);

    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(!writeFile(QStringLiteral("plain.txt"), "not a folder").isEmpty());
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder.dat")));
    const QByteArray original = fileLine({"1", "", "000"}) + fileLine("2");
    const QString path = writeFile(QStringLiteral("K.dat"), original);
    QVERIFY(openReport(*form, path));
    QVERIFY(typeIntoCell(*form, 1, 7, QStringLiteral("new")));
    if (target.isEmpty())
        QCOMPARE(form->Document().SetCell(0, 8, "a\tb"), EditResult::Done);
    const QByteArray grid = gridDump(*form);
    const QStringList entries = QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    fake.boxAnswers << QMessageBox::Ok;
    if (target.isEmpty()) {
        form->Ui().FileSave1->trigger();
    } else {
        fake.fileAnswers << dir->filePath(target);
        form->Ui().FileSaveAs1->trigger();
    }
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(fake.boxes.at(0).text, failureBox(WriteError, target.isEmpty() ? path : dir->filePath(target), reason));
    QCOMPARE(fake.boxes.at(0).caption, QStringLiteral("エラー"));
    QCOMPARE(fake.boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(form->Modified());
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(readFile(path), original);
    QCOMPARE(readFile(dir->filePath(QStringLiteral("plain.txt"))), QByteArray("not a folder"));
    QCOMPARE(gridDump(*form), grid);
    // No half-written file is left behind.
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), entries);
    QVERIFY(QDir(dir->filePath(QStringLiteral("folder.dat"))).isEmpty());
}

// The save dialog.

void tst_Form::saveDialogNewReportWithoutHeader()
{
    auto form = makeForm();
    fake.fileAnswers << QString();
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1);
    const FileDialogRecord &dialog = fake.fileDialogs.at(0);
    QCOMPARE(dialog.mode, QFileDialog::AcceptSave);
    QCOMPARE(dialog.suggestedName, QString());
    QCOMPARE(dialog.defaultSuffix, QStringLiteral("dat"));
    QCOMPARE(dialog.nameFilters, ReportFilters);
    QVERIFY(dialog.confirmOverwrite);
    QVERIFY(!form->Modified());
    QVERIFY(form->CurrentFileName().isEmpty());
}

void tst_Form::saveDialogSuggestsHeaderName()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    typeIntoBox(form->Ui().SyoudakuBangou, QStringLiteral("1234567890"));
    typeIntoBox(form->Ui().HoukokuNengappi, QStringLiteral("201204"));
    typeIntoBox(form->Ui().NiniMoziretsu, QStringLiteral("ABC"));
    const QString path = dir->filePath(NameA);
    fake.fileAnswers << path;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1);
    QCOMPARE(fake.fileDialogs.at(0).suggestedName, NameA);
    QCOMPARE(fake.fileDialogs.at(0).defaultSuffix, QStringLiteral("dat"));
    QCOMPARE(form->CurrentFileName(), path);
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QVERIFY(QFile::exists(path));
}

void tst_Form::saveUnchangedRewritesByteForByte()
{
    auto form = makeForm();
    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    // Nothing changed on the disk: Save writes the same bytes, asking nothing.
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1);
    QCOMPARE(fake.boxes.size(), 0);
    QCOMPARE(readFile(path), ReportA);
    // Something else writes the file: Save asks first, with Cancel the
    // default, and Cancel keeps the other program's version.
    QVERIFY(!writeFile(NameA, "overwritten\r\n").isEmpty());
    fake.boxAnswers << QMessageBox::Cancel;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.boxes.size(), 1);
    QCOMPARE(fake.boxes.at(0).text, FileMessages::ChangedOnDisk(path, DiskChange::Changed));
    QCOMPARE(fake.boxes.at(0).defaultButton, QMessageBox::Cancel);
    QCOMPARE(readFile(path), QByteArray("overwritten\r\n"));
    // Agreed to, Save puts the report back.
    fake.boxAnswers << QMessageBox::Save;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.boxes.size(), 2);
    QCOMPARE(readFile(path), ReportA);
    QVERIFY(!form->Modified());
}

// Bytes and names that must survive.

void tst_Form::bytesWithoutTextFormSurvive_data()
{
    QTest::addColumn<bool>("touchEditor");
    QTest::addColumn<bool>("editOther");
    QTest::newRow("untouched") << false << false;
    QTest::newRow("editor opened and closed on them") << true << false;
    QTest::newRow("another cell edited") << false << true;
    QTest::newRow("editor opened and another cell edited") << true << true;
}

void tst_Form::bytesWithoutTextFormSurvive()
{
    QFETCH(bool, touchEditor);
    QFETCH(bool, editOther);

    // 0xEEEF and 0xFA40 decode to the same character as other codes, the
    // 0x8790 family too; 0xFF, 0x80 and a trailing lead byte decode to
    // nothing at all.
    const QByteArrayList special = {"\xEE\xEF", "", "", "", "", "", "", "\xEE\xEF\xFA\x40",
                                    "\x87\x90\x87\x91\x87\x92\x87\x95\x87\x96\x87\x97\x87\x9A\x87\x9B\x87\x9C",
                                    "A\xFF" "B\x80" "C", "XY\x82", "\xFA\x55\xED\x40\xFA\x5B\x81\xCA"};
    const QByteArray original = fileLine(special) + fileLine({"2", "", "", "", "", "", "", "ok"});
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(QStringLiteral("K.dat"), original);
    fake.boxAnswers << QMessageBox::Ok; // the warning about bytes that are not Shift-JIS
    QVERIFY(openReport(*form, path));
    QCOMPARE(fake.boxes.size(), 1);
    QVERIFY2(fake.boxes.at(0).text.contains(QStringLiteral("1行あります（最初は1行目）")),
             qPrintable(fake.boxes.at(0).text));

    if (touchEditor) {
        for (int field : {0, 7, 8, 9, 10, 11})
            QVERIFY(openEditorAndClose(*form, 0, field));
        QVERIFY(!form->Modified());
    }
    QByteArray expected = original;
    if (editOther) {
        QVERIFY(typeIntoCell(*form, 1, 2, QStringLiteral("9")));
        QVERIFY(form->Modified());
        expected = fileLine(special) + fileLine({"2", "", "9", "", "", "", "", "ok"});
    }
    QCOMPARE(gridDump(*form), expected + "[new]");

    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1);
    QCOMPARE(readFile(path), expected);
    QCOMPARE(attrsDump(*form), "rows 2\n0:0! " + FullWidthMessage + '\n');
}

void tst_Form::headerRoundTripThroughFileName()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(openReport(*form, writeFile(NameA, ReportA)));
    typeIntoBox(form->Ui().HoukokuNengappi, QStringLiteral("201305"));

    const QString renamed = dir->filePath(QStringLiteral("1234567890201305ABC.dat"));
    fake.fileAnswers << renamed;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 2);
    QCOMPARE(fake.fileDialogs.at(1).suggestedName, QStringLiteral("1234567890201305ABC.dat"));
    QCOMPARE(readFile(renamed), ReportA);
    QCOMPARE(readFile(dir->filePath(NameA)), ReportA);

    form->Ui().FileNew1->trigger();
    QCOMPARE(headerBoxes(*form), QStringList({QString(), QString(), QString()}));
    QVERIFY(openReport(*form, renamed));
    QCOMPARE(headerBoxes(*form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201305"), QStringLiteral("ABC")}));
    QCOMPARE(gridDump(*form), ReportA + "[new]");
}

void tst_Form::emptyRowBetweenFilledRows()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(typeIntoCell(*form, 0, 0, QStringLiteral("1")));
    QVERIFY(typeIntoCell(*form, 1, 0, QStringLiteral("2")));
    QVERIFY(typeIntoCell(*form, 2, 0, QStringLiteral("3")));
    QVERIFY(typeIntoCell(*form, 1, 0, QString()));
    const QByteArray empty = QByteArray(18, '\t') + "\r\n";
    QCOMPARE(gridDump(*form), fileLine("1") + empty + fileLine("3") + "[new]");
    QCOMPARE(form->CellAttrs().RowCount(), 3u);

    const QString path = dir->filePath(QStringLiteral("rows.dat"));
    fake.fileAnswers << path;
    form->Ui().FileSave1->trigger();
    QCOMPARE(readFile(path), fileLine("1") + empty + fileLine("3"));
}

void tst_Form::emptyGridSavesEmptyFile()
{
    auto form = makeForm();
    const QString path = writeFile(QStringLiteral("empty.dat"), fileLine("x"));
    fake.fileAnswers << path;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(readFile(path), QByteArray());
    QCOMPARE(form->CurrentFileName(), path);
}

void tst_Form::invalidCellsFlaggedOnLoad()
{
    auto form = makeForm();
    QVERIFY(openReport(*form, writeFile(NameA, ReportA)));
    QCOMPARE(attrsDump(*form), "rows 2\n1:0! " + FullWidthMessage + "\n1:1! " + Length1Message + "\n1:7! "
                     + Length60Message + '\n');
    // The hint of a flagged cell is its message, of a sound one its field's.
    QCOMPARE(model(*form)->data(model(*form)->index(1, 1), Qt::ToolTipRole).toString(),
             QStringLiteral("文字数は1文字（漢字は0）までです。"));
    QCOMPARE(model(*form)->data(model(*form)->index(0, 1), Qt::ToolTipRole).toString(),
             QStringLiteral("［コンテンツ区分］／通常不要。複合楽曲の場合「Q」"));

    // Loading another report leaves no verdict of the first behind.
    QVERIFY(openReport(*form, writeFile(NameB, ReportB)));
    QCOMPARE(attrsDump(*form), QByteArray("rows 2\n"));
}

// Fitting in with the desktop.

void tst_Form::titleNamesTheFile()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    // The title as the window manager gets it, with Qt's unsaved mark.
    const auto shownTitle = [&form] { return form->windowHandle()->title(); };
    QCOMPARE(shownTitle(), QStringLiteral("JASRAC報告"));
    form->setWindowModified(true);
    QCOMPARE(shownTitle(), QStringLiteral("JASRAC報告*"));
    form->setWindowModified(false);

    const QString path = writeFile(NameA, ReportA);
    QVERIFY(openReport(*form, path));
    QCOMPARE(form->windowFilePath(), path);
    QCOMPARE(shownTitle(), NameA + QStringLiteral(" - JASRAC報告"));
    form->setWindowModified(true);
    QCOMPARE(shownTitle(), NameA + QStringLiteral("* - JASRAC報告"));
    form->setWindowModified(false);

    const QString other = dir->filePath(NameB);
    fake.fileAnswers << other;
    form->Ui().FileSaveAs1->trigger();
    QCOMPARE(form->CurrentFileName(), other);
    QCOMPARE(shownTitle(), NameB + QStringLiteral(" - JASRAC報告"));
    // Qt's mark in a file's own name is shown as it is.
    const QString marked = dir->filePath(QStringLiteral("x[*].dat"));
    fake.fileAnswers << marked;
    form->Ui().FileSaveAs1->trigger();
    form->setWindowModified(true);
    QCOMPARE(shownTitle(), QStringLiteral("x[*].dat* - JASRAC報告"));
    form->setWindowModified(false);
    fake.fileAnswers << other;
    form->Ui().FileSaveAs1->trigger();
    QCOMPARE(shownTitle(), NameB + QStringLiteral(" - JASRAC報告"));

    // A read that fails keeps the report and so its name.
    fake.fileAnswers << dir->filePath(QStringLiteral("missing.dat"));
    fake.boxAnswers << QMessageBox::Ok;
    form->Ui().FileOpen1->trigger();
    QCOMPARE(shownTitle(), NameB + QStringLiteral(" - JASRAC報告"));

    form->Ui().FileNew1->trigger();
    QCOMPARE(form->windowFilePath(), QString());
    QCOMPARE(shownTitle(), QStringLiteral("JASRAC報告"));
}

void tst_Form::dialogsStartInCurrentOrLastFolder()
{
    const QString folderA = QDir(dir->filePath(QStringLiteral("a"))).absolutePath();
    const QString folderB = QDir(dir->filePath(QStringLiteral("b"))).absolutePath();
    const QString pathA = writeFile(QStringLiteral("a/") + NameA, ReportA);
    QVERIFY(QDir().mkpath(folderB));
    {
        auto form = makeForm();
        QVERIFY(openReport(*form, pathA));
        fake.fileAnswers << QString() << QString();
        form->Ui().FileOpen1->trigger();
        form->Ui().FileSaveAs1->trigger();
        QCOMPARE(fake.fileDialogs.at(1).directory, folderA);
        QCOMPARE(fake.fileDialogs.at(2).directory, folderA);

        // Saved elsewhere: that folder is the current one now.
        fake.fileAnswers << folderB + u'/' + NameB;
        form->Ui().FileSaveAs1->trigger();
        QCOMPARE(fake.fileDialogs.at(3).directory, folderA);
        // After New there is no current file: the last folder used.
        form->Ui().FileNew1->trigger();
        fake.fileAnswers << QString() << QString();
        form->Ui().FileOpen1->trigger();
        form->Ui().FileSave1->trigger();
        QCOMPARE(fake.fileDialogs.at(4).directory, folderB);
        QCOMPARE(fake.fileDialogs.at(5).directory, folderB);
        // A new report made from a CSV file is saved beside that file.
        const QString csv = writeFile(QStringLiteral("a/lines.csv"), "1,Q\r\n");
        fake.boxAnswers << QMessageBox::Ok; // the import's summary
        fake.fileAnswers << csv;
        form->Ui().FileImport1->trigger();
        QCOMPARE(form->StartFolder(), folderA);
        form->Document().UndoStack()->setClean();
        form->Ui().FileNew1->trigger();
        fake.fileAnswers << folderB + u'/' + NameB;
        form->Ui().FileSaveAs1->trigger(); // the last folder is B again
        QVERIFY(form->close());
    }
    QCOMPARE(QSettings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor")).value("LastFolder").toString(),
             folderB);
    {
        // Kept for the next start.
        auto form = makeForm();
        fake.fileAnswers << QString();
        form->Ui().FileOpen1->trigger();
        QCOMPARE(fake.fileDialogs.at(6).directory, folderB);
        QVERIFY(form->close());
    }
    {
        // A folder that is gone is not offered.
        QVERIFY(QDir(folderB).removeRecursively());
        auto form = makeForm();
        QCOMPARE(form->StartFolder(), QString());
        QVERIFY(form->close());
    }
}

namespace {

// Drives Qt's own Open dialog as a user does: waits for the listing, then
// types a name and presses Open.
class ListingOpenDialog : public TVelTorForm::Dialogs
{
public:
    QString ExecFileDialog(QFileDialog &dialog) override
    {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setDirectory(folder);
        dialog.selectNameFilter(filter);
        dialog.show();
        auto *list = dialog.findChild<QListView *>(QStringLiteral("listView"));
        if (!list)
            return {};
        // The listing fills in from another thread; wait for the file that
        // every filter must show.
        const auto listed = [list] {
            QStringList names;
            const QModelIndex root = list->rootIndex();
            for (int row = 0; row < list->model()->rowCount(root); ++row) {
                if (!list->isRowHidden(row))
                    names << list->model()->index(row, 0, root).data().toString();
            }
            names.sort();
            return names;
        };
        if (!QTest::qWaitFor([&listed] { return listed().contains(QStringLiteral("visible.dat")); }))
            return {};
        shown = listed();
        auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name)
            return {};
        name->setText(typed);
        QMetaObject::invokeMethod(&dialog, "accept");
        return dialog.result() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    }

    QString folder;
    QString filter;
    QString typed;
    QStringList shown;
};

} // namespace

void tst_Form::openListsAndOpensNameWithoutExtension()
{
    const QString bare = writeFile(QStringLiteral("1234567890201204ABC"), ReportA);
    QVERIFY(!writeFile(QStringLiteral("visible.dat"), ReportB).isEmpty());
    ListingOpenDialog dialogs;
    dialogs.folder = dir->path();
    TVelTorForm form;
    form.SetDialogs(&dialogs);
    QAbstractItemModelTester tester(model(form), QAbstractItemModelTester::FailureReportingMode::QtTest);

    // The report filter shows report files only ...
    dialogs.filter = ReportFilters.at(0);
    dialogs.typed = QStringLiteral("visible.dat");
    form.Ui().FileOpen1->trigger();
    QCOMPARE(dialogs.shown, QStringList{QStringLiteral("visible.dat")});

    // ... and the other one every file, also one without a dot; its name
    // is opened as typed, without .dat added.
    dialogs.filter = ReportFilters.at(1);
    dialogs.typed = QStringLiteral("1234567890201204ABC");
    form.Ui().FileOpen1->trigger();
    QCOMPARE(dialogs.shown, QStringList({QStringLiteral("1234567890201204ABC"), QStringLiteral("visible.dat")}));
    QCOMPARE(form.CurrentFileName(), bare);
    QCOMPARE(gridDump(form), ReportA + "[new]");
    QCOMPARE(headerBoxes(form),
             QStringList({QStringLiteral("1234567890"), QStringLiteral("201204"), QStringLiteral("ABC")}));

    // A name typed without its .dat, which no file has, is the report's.
    dialogs.typed = QStringLiteral("visible");
    form.Ui().FileOpen1->trigger();
    QCOMPARE(form.CurrentFileName(), dir->filePath(QStringLiteral("visible.dat")));
    QCOMPARE(gridDump(form), ReportB + "[new]");
    form.SetDialogs(nullptr);
}

void tst_Form::handleColumnDraggedShowsLineNumbers()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(NameA, ReportA + fileLine("3") + fileLine("4"));
    QVERIFY(openReport(*form, path));
    QHeaderView *handles = form->Ui().VelTorGrid->verticalHeader();
    QCOMPARE(handles->width(), 20);
    // Two lines that are not the current one differ only by their numbers.
    const auto section = [handles](int row) {
        return handles->viewport()
                ->grab(QRect(0, handles->sectionViewportPosition(row), handles->width(), handles->sectionSize(row)))
                .toImage();
    };
    QCOMPARE(section(2), section(3));

    // Taken by its right edge and dragged like a column border.
    const int y = handles->sectionViewportPosition(2) + 3;
    const int gridLeft = form->Ui().VelTorGrid->viewport()->x();
    QTest::mousePress(handles->viewport(), Qt::LeftButton, {}, QPoint(18, y));
    QTest::mouseMove(handles->viewport(), QPoint(50, y));
    QTest::mouseMove(handles->viewport(), QPoint(78, y));
    QTest::mouseRelease(handles->viewport(), Qt::LeftButton, {}, QPoint(78, y));
    QCOMPARE(handles->width(), 80);
    QCOMPARE(form->Ui().VelTorGrid->viewport()->x(), gridLeft + 60);
    // The press took no line with it.
    QCOMPARE(gridDump(*form), ReportA + fileLine("3") + fileLine("4") + "[new]");
    QVERIFY(!form->Modified());
    QVERIFY(section(2) != section(3));

    // A press away from the edge still drags lines, not the width.
    QTest::mousePress(handles->viewport(), Qt::LeftButton, {}, QPoint(10, y));
    QTest::mouseMove(handles->viewport(), QPoint(40, y));
    QTest::mouseRelease(handles->viewport(), Qt::LeftButton, {}, QPoint(40, y));
    QCOMPARE(handles->width(), 80);

    // The corner above the handles is its border in the title row.
    auto *corner = form->Ui().VelTorGrid->findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(corner);
    QCOMPARE(corner->width(), 80);
    QTest::mousePress(corner, Qt::LeftButton, {}, QPoint(78, 5));
    QTest::mouseMove(corner, QPoint(40, 5));
    QTest::mouseMove(corner, QPoint(-100, 5));
    QTest::mouseRelease(corner, Qt::LeftButton, {}, QPoint(-100, 5));
    QCOMPARE(handles->width(), 8); // never so narrow that it cannot be taken again

    QTest::mousePress(handles->viewport(), Qt::LeftButton, {}, QPoint(7, y));
    QTest::mouseMove(handles->viewport(), QPoint(34, y));
    QTest::mouseRelease(handles->viewport(), Qt::LeftButton, {}, QPoint(34, y));
    QCOMPARE(handles->width(), 35);
    QVERIFY(form->close());
    QCOMPARE(QSettings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor")).value("GridWidth0").toInt(), 35);
}

// Header values and the file name.

void tst_Form::headerCutInsideCharacterSavedInPlace()
{
    // 表 is 0x95 0x5C: the license number ends on its first byte and the
    // year-month begins with its second, which alone reads as a backslash.
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(QStringLiteral("123456789表ABCDEFG.dat"), ReportB);
    QVERIFY(openReport(*form, path));
    QCOMPARE(headerBoxes(*form), QStringList({QStringLiteral("123456789\uFFFD"), QStringLiteral("\\ABCDE"),
                                              QStringLiteral("FG")}));
    QVERIFY(typeIntoCell(*form, 0, 7, QStringLiteral("x")));
    QVERIFY(form->Modified());

    // No dialog and no question: the file is rewritten under its own name.
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.fileDialogs.size(), 1);
    QCOMPARE(fake.boxes.size(), 0);
    QVERIFY(!form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList({QStringLiteral("123456789表ABCDEFG.dat")}));
    QCOMPARE(readFile(path), fileLine({"B1", "", "", "", "", "", "", "x"}) + fileLine({"B2", "", "", "", "", "", "", "b"}));

    // Another box edited: the untouched ones still give their exact bytes.
    typeIntoBox(form->Ui().NiniMoziretsu, QStringLiteral("FGH"));
    fake.fileAnswers << QString();
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.boxes.size(), 0);
    QCOMPARE(fake.fileDialogs.size(), 2);
    QCOMPARE(fake.fileDialogs.at(1).suggestedName, QStringLiteral("123456789表ABCDEFGH.dat"));
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("123456789\x95\x5C" "ABCDEFGH"));

    // An edit of the box with the cut character drops what cannot be shown,
    // and keeps the rest of the box.
    typeIntoBox(form->Ui().NiniMoziretsu, QStringLiteral("FG"));
    form->Ui().SyoudakuBangou->setFocus();
    form->Ui().SyoudakuBangou->end(false);
    QTest::keyClick(form->Ui().SyoudakuBangou, Qt::Key_0);
    QCOMPARE(form->Ui().SyoudakuBangou->text(), QStringLiteral("123456789\uFFFD0"));
    fake.boxAnswers << QMessageBox::Cancel; // "1234567890\ABCDEFG" does not come back
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.boxes.size(), 1);
    form->File().TakeHeaderName();
    QCOMPARE(bytes(form->File().FileBaseName()), QByteArray("1234567890\x5C" "ABCDEFG"));
}

void tst_Form::sixteenDigitLicenseComesBack()
{
    auto form = makeForm();
    typeIntoBox(form->Ui().SyoudakuBangou, QStringLiteral("1234567890123456"));
    typeIntoBox(form->Ui().HoukokuNengappi, QStringLiteral("202301"));
    typeIntoBox(form->Ui().NiniMoziretsu, QStringLiteral("ABC"));
    const QString path = dir->filePath(QStringLiteral("1234567890123456202301ABC.dat"));
    fake.fileAnswers << path;
    form->Ui().FileSave1->trigger();
    QCOMPARE(fake.boxes.size(), 0);
    QCOMPARE(fake.fileDialogs.size(), 1);
    QCOMPARE(fake.fileDialogs.at(0).suggestedName, QStringLiteral("1234567890123456202301ABC.dat"));
    QVERIFY(QFile::exists(path));

    auto reopened = makeForm();
    QVERIFY(openReport(*reopened, path));
    QCOMPARE(headerBoxes(*reopened), QStringList({QStringLiteral("1234567890123456"), QStringLiteral("202301"),
                                                  QStringLiteral("ABC")}));
}

void tst_Form::headerThatWouldNotComeBackAsks()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    const QString path = writeFile(NameB, ReportB);
    QVERIFY(openReport(*form, path));
    QVERIFY(typeIntoCell(*form, 0, 7, QStringLiteral("x")));
    // Values a program set, shown in the boxes; "A/B" makes every box drift.
    const QStringList values{QStringLiteral("1234567890"), QStringLiteral("202301"), QStringLiteral("A/B")};
    for (int box = 0; box < ReportDocument::HeaderCount; ++box)
        QCOMPARE(form->Document().SetHeaderText(ReportDocument::HeaderBox(box), values[box], box), EditResult::Done);
    QCOMPARE(headerBoxes(*form), values);

    // Cancel: nothing is written and nothing changes.
    fake.boxAnswers << QMessageBox::Cancel;
    QVERIFY(!form->FileSave1Execute(form->Ui().FileSave1));
    QCOMPARE(fake.boxes.size(), 1);
    const BoxRecord box = fake.boxes.at(0);
    QCOMPARE(box.buttons, QMessageBox::Save | QMessageBox::Cancel);
    QCOMPARE(box.defaultButton, QMessageBox::Cancel);
    QCOMPARE(box.escapeButton, QMessageBox::Cancel);
    QStringList listed;
    for (const QString &line : box.text.split(u'\n')) {
        if (line.startsWith(u'・'))
            listed << line.mid(1, line.indexOf(u'：') - 1);
    }
    QCOMPARE(listed, QStringList({QStringLiteral("承諾番号"), QStringLiteral("報告年月"), QStringLiteral("任意の文字列")}));
    QVERIFY(box.text.endsWith(QStringLiteral("このまま保存しますか？")));
    QCOMPARE(fake.fileDialogs.size(), 1);
    QVERIFY(form->Modified());
    QVERIFY(!form->File().NameChanged());
    QCOMPARE(form->CurrentFileName(), path);
    QCOMPARE(readFile(path), ReportB);

    // Save anyway: the dialog proposes the name made of the boxes.
    fake.boxAnswers << QMessageBox::Save;
    fake.fileAnswers << QString();
    QVERIFY(!form->FileSave1Execute(form->Ui().FileSave1));
    QCOMPARE(fake.boxes.size(), 2);
    QCOMPARE(fake.fileDialogs.size(), 2);
}

void tst_Form::headerBoxesRefuseFileNameCharacters()
{
    auto form = makeForm();
    QVERIFY(show(*form));
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    const QString refused = QStringLiteral("ファイル名に使えない文字（\\ / : * ? \" < > | と制御文字）は入力できません。");

    for (QLineEdit *box : {form->Ui().SyoudakuBangou, form->Ui().HoukokuNengappi, form->Ui().NiniMoziretsu}) {
        box->setFocus();
        box->clear();
        QTest::keyClicks(box, QStringLiteral("1/2"));
        QCOMPARE(box->text(), QStringLiteral("12"));
        QCOMPARE(form->statusBar()->currentMessage(), refused);
        for (const QChar c : QStringLiteral("/\\:*?\"<>|\u0001\u001F\u007F")) {
            form->statusBar()->clearMessage();
            box->insert(QString(c));
            QCOMPARE(box->text(), QStringLiteral("12"));
            QCOMPARE(form->statusBar()->currentMessage(), refused);
        }
        // Characters that names can hold still go in.
        box->insert(QStringLiteral("-"));
        QCOMPARE(box->text(), QStringLiteral("12-"));
    }

    // A value set by the program (a name made elsewhere) stays, and the box
    // can still be edited around it.
    QCOMPARE(form->Document().SetHeaderText(ReportDocument::NiniMoziretsu, QStringLiteral("A*"), 0), EditResult::Done);
    QCOMPARE(form->Ui().NiniMoziretsu->text(), QStringLiteral("A*"));
    form->Ui().NiniMoziretsu->end(false);
    QTest::keyClicks(form->Ui().NiniMoziretsu, QStringLiteral("B*"));
    QCOMPARE(form->Ui().NiniMoziretsu->text(), QStringLiteral("A*B"));
    QCOMPARE(form->Document().HeaderText(ReportDocument::NiniMoziretsu), QStringLiteral("A*B"));

    // The search box is no part of a file name.
    form->Ui().KensakuWord->setFocus();
    QTest::keyClicks(form->Ui().KensakuWord, QStringLiteral("a*b"));
    QCOMPARE(form->Ui().KensakuWord->text(), QStringLiteral("a*b"));
}

void tst_Form::newForgetsMessageTexts()
{
    // After New the first message text kept is another rule's: a message
    // must never be looked up by a number from before New.
    auto form = makeForm();
    QVERIFY(show(*form));
    QVERIFY(typeIntoCell(*form, 0, 0, QStringLiteral("あ")));
    QCOMPARE(bytes(form->CellAttrs().GetErrorMessage(0, 0)), FullWidthMessage);

    fake.boxAnswers << QMessageBox::No;
    form->Ui().FileNew1->trigger();
    QVERIFY(typeIntoCell(*form, 0, 1, QStringLiteral("QQ")));
    QVERIFY(typeIntoCell(*form, 0, 0, QStringLiteral("あ")));
    QCOMPARE(attrsDump(*form), "rows 1\n0:0! " + FullWidthMessage + "\n0:1! " + Length1Message + '\n');
    QCOMPARE(model(*form)->data(model(*form)->index(0, 0), Qt::ToolTipRole).toString(),
             ShiftJis::ToText(std::string_view(FullWidthMessage.constData(), std::size_t(FullWidthMessage.size()))));
}

void tst_Form::settingsSmallestUsableApplied()
{
    {
        QSettings settings(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
        settings.setValue(QStringLiteral("GridWidth0"), WindowSettings::MinStoredColumnWidth);
        settings.setValue(QStringLiteral("GridWidth7"), WindowSettings::MinStoredColumnWidth);
        settings.setValue(QStringLiteral("WindowWidth"), WindowSettings::MinStoredWindowWidth);
        settings.setValue(QStringLiteral("WindowHeight"), WindowSettings::MinStoredWindowHeight);
        settings.sync();
    }
    auto form = makeForm();
    QCOMPARE(form->Ui().VelTorGrid->verticalHeader()->width(), WindowSettings::MinStoredColumnWidth);
    QCOMPARE(form->Ui().VelTorGrid->columnWidth(6), WindowSettings::MinStoredColumnWidth);
    QCOMPARE(form->size(), QSize(WindowSettings::MinStoredWindowWidth, WindowSettings::MinStoredWindowHeight));
}

QTEST_MAIN(tst_Form)
#include "tst_form.moc"
