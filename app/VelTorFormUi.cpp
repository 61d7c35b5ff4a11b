#include "VelTorFormUi.h"

#include "Icons.h"
#include "TextFilter.h"
#include "VelTorGridView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

namespace {

// Designed client size at 96 dots per inch, and the rows of the layout.
constexpr int DesignedHeight = 406;
constexpr int ToolBarHeight = 30;
constexpr int StatusBarHeight = 21;
constexpr int DesignedFontPointSize = 8;

// Header and search box limits, in code page 932 bytes.
constexpr int SyoudakuBangouLimit = 16;
constexpr int HoukokuNengappiLimit = 6;
constexpr int NiniMoziretsuLimit = 100;
constexpr int KensakuWordLimit = 16;

// "short|long": the tool tip shows the part before the bar, the status bar
// the part after it; a hint without a bar serves both.
template<typename Target>
void setHint(Target *target, const QString &hint)
{
    const qsizetype bar = hint.indexOf(u'|');
    target->setToolTip(bar < 0 ? hint : hint.left(bar));
    target->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

} // namespace

void TVelTorFormUi::SetupUi(QMainWindow *window, RowHandleHeader::DrawCell drawCell)
{
    QFont designed = QApplication::font();
    designed.setPointSize(DesignedFontPointSize);
    // The platform's UI font may lack kana and kanji.
    designed.setFamilies({designed.family(), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                          QStringLiteral("IPAGothic"), QStringLiteral("Meiryo UI"), QStringLiteral("MS UI Gothic")});
    window->setFont(designed);
    ImageList1 = MakeImageList();
    CreateActions(window);
    CreateMenus(window);
    auto *client = new QWidget(window);
    client->setObjectName(QStringLiteral("client"));
    window->setCentralWidget(client);
    CreateControls(client, std::move(drawCell));
}

void TVelTorFormUi::CreateActions(QMainWindow *window)
{
    const auto makeAction = [this, window](QAction *&action, const char *name, const QString &text, const QString &hint,
                                   int icon, const QKeySequence &shortcut) {
        action = new QAction(text, window);
        action->setObjectName(QLatin1String(name));
        setHint(action, hint);
        if (icon >= 0)
            action->setIcon(ImageList1.value(icon));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
    };

    makeAction(FileNew1, "FileNew1", tr("新規作成(&N)"), tr("新規|新規ファイルの作成"), 6,
               QKeySequence(Qt::CTRL | Qt::Key_N));
    makeAction(FileOpen1, "FileOpen1", tr("開く(&O)..."), tr("開く|ファイルを開く"), 7,
               QKeySequence(Qt::CTRL | Qt::Key_O));
    makeAction(FileSave1, "FileSave1", tr("上書き保存(&S)"), tr("保存|現在のファイルを保存"), 8,
               QKeySequence(Qt::CTRL | Qt::Key_S));
    makeAction(FileSaveAs1, "FileSaveAs1", tr("名前をつけて保存(&A)..."),
               tr("別名保存|現在のファイルに別の名前をつけて保存"), -1, {});
    makeAction(FileImport1, "FileImport1", tr("インポート(&I)..."),
               tr("インポート|CSVファイルやテキストファイルの行を報告に取り込みます"), -1, {});
    makeAction(FileExport1, "FileExport1", tr("エクスポート(&E)..."),
               tr("エクスポート|報告を表計算ソフト用のCSVファイル（UTF-8）に書き出します"), -1, {});
    makeAction(FileExit1, "FileExit1", tr("終了(&X)"), tr("終了|アプリケーション終了"), -1, {});

    makeAction(EditInsertLine, "EditInsertLine", tr("1行挿入(I)"),
               tr("選択されている行の直前に、新しい行を挿入します"), 15, QKeySequence(Qt::ALT | Qt::Key_Insert));
    makeAction(EditDeleteLine, "EditDeleteLine", tr("1行削除(D)"), tr("選択されている1行を、削除します"),
               5, QKeySequence(Qt::ALT | Qt::Key_Delete));
    makeAction(EditCutLine, "EditCutLine", tr("１行切り取り"),
               tr("選択されている１行を切り取り、コピーバッファに入れます"), 0, QKeySequence(Qt::ALT | Qt::Key_X));
    makeAction(EditCopyLine, "EditCopyLine", tr("１行コピー"),
               tr("選択されている１行を、コピーバッファに入れます"), 1, QKeySequence(Qt::ALT | Qt::Key_C));
    makeAction(EditPasteLine, "EditPasteLine", tr("１行貼り付け"),
               tr("コピーバッファにある１行を、直前の行に挿入します"), 2, QKeySequence(Qt::ALT | Qt::Key_V));

    // The text actions are seen with their menu captions; their tool tips
    // appear on the tool bar only, so they carry the tool bar's short hints.
    makeAction(EditCut1, "EditCut1", tr("文字切り取り(&T)"),
               tr("文字切り取り|選択文字部分を切り取りクリップボードに送る"), 0, QKeySequence(Qt::CTRL | Qt::Key_X));
    makeAction(EditCopy1, "EditCopy1", tr("文字コピー(&C)"),
               tr("文字コピー|選択文字部分をコピーしクリップボードに送る"), 1, QKeySequence(Qt::CTRL | Qt::Key_C));
    makeAction(EditPaste1, "EditPaste1", tr("文字貼り付け(&P)"),
               tr("文字貼り付け|クリップボードの内容（文字列）を貼り付け"), 2, QKeySequence(Qt::CTRL | Qt::Key_V));

    makeAction(EditUndo, "EditUndo", tr("元に戻す"), tr("元に戻す|直前の変更を取り消します"), -1,
               QKeySequence(Qt::CTRL | Qt::Key_Z));
    EditUndo->setIcon(MakeUndoIcon());
    makeAction(EditRedo, "EditRedo", tr("やり直し"), tr("やり直し|取り消した変更をやり直します"), -1, {});
    EditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    EditRedo->setIcon(MakeRedoIcon());
    makeAction(EditNextError, "EditNextError", tr("次のエラー"),
               tr("次のエラー|次のエラーのセルへ移動します"), -1, QKeySequence(Qt::Key_F8));
    makeAction(EditPrevError, "EditPrevError", tr("前のエラー"),
               tr("前のエラー|前のエラーのセルへ移動します"), -1, QKeySequence(Qt::SHIFT | Qt::Key_F8));

    makeAction(EditClearCells, "EditClearCells", tr("内容を削除(&L)"),
               tr("内容を削除|選択されているセルの内容を消去します"), -1, {});
    makeAction(EditFind, "EditFind", tr("検索(&F)"), tr("検索|検索する文字列の入力欄へ移動します"),
               -1, QKeySequence(Qt::CTRL | Qt::Key_F));
    makeAction(EditReplace, "EditReplace", tr("置換…"),
               tr("置換|文字列を検索して別の文字列に置き換えます"), -1, QKeySequence(Qt::CTRL | Qt::Key_H));
    makeAction(EditRenumber, "EditRenumber", tr("連番を振り直す(&N)"),
               tr("連番|インターフェイスキーコードに1からの連番を振り直します（複数行を選択しているときはその行だけ）"),
               -1, {});
    makeAction(EditFillDown, "EditFillDown", tr("下方向へコピー(&D)"),
               tr("下方向へコピー|選択範囲の一番上のセルを、その下のセルにコピーします"), -1,
               QKeySequence(Qt::CTRL | Qt::Key_D));
    makeAction(EditSort, "EditSort", tr("並べ替え…"),
               tr("並べ替え|行を1つまたは2つの項目の順に並べ替えます"), -1, {});
    makeAction(EditNarrowWidth, "EditNarrowWidth", tr("全角英数字を半角に(&W)"),
               tr("全角英数字を半角に|半角だけの項目の全角英数字・記号・空白を半角にします（複数のセルを選んでいるときはその範囲だけ）"),
               -1, {});
    makeAction(EditTrimSpaces, "EditTrimSpaces", tr("前後の空白を削除(&B)"),
               tr("前後の空白を削除|値の前後の空白（半角・全角）を削除します（複数のセルを選んでいるときはその範囲だけ）"),
               -1, {});
    makeAction(ViewReview, "ViewReview", tr("見直し(&R)"),
               tr("見直し|エラーと注意を種類ごとに一覧にします"), -1, QKeySequence(Qt::CTRL | Qt::Key_E));
    ViewReview->setCheckable(true);
    makeAction(ViewNotes, "ViewNotes", tr("注意を表示(&N)"),
               tr("注意を表示|項目の説明に合わない値に、注意の印（橙色の三角）を付けます"), -1, {});
    ViewNotes->setCheckable(true);
    ViewNotes->setChecked(true);
    for (int i = 0; i < 8; ++i) {
        auto *recent = new QAction(window);
        recent->setObjectName(QStringLiteral("FileRecent%1").arg(i + 1));
        recent->setVisible(false);
        FileRecent << recent;
    }
    FileRecentSeparator = new QAction(window);
    FileRecentSeparator->setSeparator(true);
    FileRecentSeparator->setVisible(false);

    makeAction(HelpAbout1, "HelpAbout1", tr("バージョン情報(&A)..."),
               tr("バージョン情報|バージョンなど固有の情報を表示"), -1, {});
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);
    EditCut1->setEnabled(false);
    EditCopy1->setEnabled(false);
}

void TVelTorFormUi::CreateMenus(QMainWindow *window)
{
    QMenu *file = window->menuBar()->addMenu(tr("ファイル(&F)"));
    setHint(file->menuAction(), tr("ファイルに関連した機能"));
    file->addActions({FileNew1, FileOpen1, FileSave1, FileSaveAs1});
    file->addSeparator();
    file->addActions({FileImport1, FileExport1});
    file->addSeparator();
    file->addActions(FileRecent);
    file->addAction(FileRecentSeparator);
    file->addAction(FileExit1);
    FileMenu = file;

    QMenu *edit = window->menuBar()->addMenu(tr("編集(&E)"));
    setHint(edit->menuAction(), tr("編集に関連した機能"));
    edit->addActions({EditUndo, EditRedo});
    edit->addSeparator();
    edit->addActions({EditInsertLine, EditDeleteLine, EditCutLine, EditCopyLine, EditPasteLine});
    edit->addSeparator();
    edit->addActions({EditCut1, EditCopy1, EditPaste1, EditClearCells});
    edit->addSeparator();
    edit->addActions({EditNextError, EditPrevError});
    edit->addSeparator();
    edit->addActions({EditFind, EditReplace});
    edit->addSeparator();
    edit->addActions({EditRenumber, EditFillDown, EditSort});
    edit->addSeparator();
    edit->addActions({EditNarrowWidth, EditTrimSpaces});

    QMenu *view = window->menuBar()->addMenu(tr("表示(&V)"));
    setHint(view->menuAction(), tr("表示に関連した機能"));
    view->addActions({ViewReview, ViewNotes});

    GridMenu = new QMenu(window);
    GridMenu->setObjectName(QStringLiteral("GridMenu"));
    GridMenu->addActions({EditCut1, EditCopy1, EditPaste1, EditClearCells});
    GridMenu->addSeparator();
    GridMenu->addActions({EditInsertLine, EditDeleteLine});
    GridMenu->addSeparator();
    GridMenu->addActions({EditFillDown, EditRenumber});

    QMenu *help = window->menuBar()->addMenu(tr("ヘルプ(&H)"));
    setHint(help->menuAction(), tr("ヘルプトピック"));
    help->addAction(HelpAbout1);

    ToolBar1 = window->addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setFixedHeight(ToolBarHeight);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->addActions({FileNew1, FileOpen1, FileSave1});
    ToolBar1->addSeparator();
    ToolBar1->addActions({EditInsertLine, EditDeleteLine, EditCutLine, EditCopyLine, EditPasteLine});
    ToolBar1->addSeparator();
    ToolBar1->addActions({EditCut1, EditCopy1, EditPaste1});
    ToolBar1->addSeparator();
    ToolBar1->addActions({EditUndo, EditRedo});
    ToolBar1->toggleViewAction()->setVisible(false);
    window->setContextMenuPolicy(Qt::NoContextMenu);

    window->statusBar()->setFixedHeight(StatusBarHeight);
    window->statusBar()->setSizeGripEnabled(true);
    // Beside the hints, which come and go, so that it is always seen.
    ErrorCount = new QLabel(window->statusBar());
    ErrorCount->setObjectName(QStringLiteral("ErrorCount"));
    window->statusBar()->addPermanentWidget(ErrorCount);
    NoteCount = new QLabel(window->statusBar());
    NoteCount->setObjectName(QStringLiteral("NoteCount"));
    window->statusBar()->addPermanentWidget(NoteCount);
}

void TVelTorFormUi::CreateControls(QWidget *client, RowHandleHeader::DrawCell drawCell)
{
    // The designed positions count from the top of the client area, where
    // the tool bar stands; here the tool bar lies outside the central widget.
    const auto place = [](QWidget *widget, int left, int top, int width = -1, int height = -1) {
        if (width < 0)
            widget->move(left, top - ToolBarHeight);
        else
            widget->setGeometry(left, top - ToolBarHeight, width, height);
    };
    const auto makeLabel = [client, &place](QLabel *&label, const QString &text, int left, int top) {
        label = new QLabel(text, client);
        label->adjustSize();
        place(label, left, top + 3);
    };
    const auto makeEdit = [client, &place](QLineEdit *&edit, const QString &name, int limit, const QString &hint,
                                           QRect geometry) {
        edit = new QLineEdit(client);
        edit->setObjectName(name);
        edit->setValidator(new TextFilter(edit, limit));
        if (!hint.isEmpty())
            setHint(edit, hint);
        place(edit, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    };

    makeLabel(Label1, tr("承諾番号"), 8, 36);
    makeEdit(SyoudakuBangou, QStringLiteral("SyoudakuBangou"), SyoudakuBangouLimit,
             tr("許諾番号［10桁(16桁)］"), QRect(62, 36, 121, 21));
    makeLabel(Label2, tr("報告年月"), 197, 36);
    makeEdit(HoukokuNengappi, QStringLiteral("HoukokuNengappi"), HoukokuNengappiLimit,
             tr("報告年月［6桁(YYYYMM)］"), QRect(251, 36, 121, 21));
    makeLabel(Label3, tr("任意の文字列"), 389, 36);
    makeEdit(NiniMoziretsu, QStringLiteral("NiniMoziretsu"), NiniMoziretsuLimit,
             tr("任意の文字列（英数字のみ）［100桁以内任意］"), QRect(465, 36, 267, 21));
    makeLabel(Label4, tr("検索"), 8, 63);
    makeEdit(KensakuWord, QStringLiteral("KensakuWord"), KensakuWordLimit, QString(), QRect(62, 63, 310, 21));

    const auto makeButton = [client, &place](QPushButton *&button, const QString &name, const QString &caption,
                                             int left) {
        button = new QPushButton(caption, client);
        button->setObjectName(name);
        button->setAutoDefault(false);
        place(button, left, 63, 75, 25);
    };
    makeButton(KensakuLeftButton, QStringLiteral("KensakuLeftButton"), tr("←"), 384);
    makeButton(KensakuRightButton, QStringLiteral("KensakuRightButton"), tr("→"), 465);
    makeButton(KensakuUpButton, QStringLiteral("KensakuUpButton"), tr("↑"), 546);
    makeButton(KensakuDownButton, QStringLiteral("KensakuDownButton"), tr("↓"), 627);

    VelTorGrid = new VelTorGridView(std::move(drawCell), client);
    VelTorGrid->setObjectName(QStringLiteral("VelTorGrid"));
    VelTorGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    VelTorGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    // As in spreadsheets, a click only selects: a click on the current cell
    // opening its editor would take a following Ctrl+V into that one cell.
    VelTorGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                | QAbstractItemView::AnyKeyPressed);
    VelTorGrid->setTabKeyNavigation(true);
    VelTorGrid->setWordWrap(false);
    VelTorGrid->setShowGrid(true);
    VelTorGrid->setMouseTracking(true);

    QHeaderView *titles = VelTorGrid->horizontalHeader();
    titles->setSectionsMovable(false);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setHighlightSections(false);
    // The designed widths go down to 20 pixels.
    titles->setMinimumSectionSize(1);
    titles->setMouseTracking(true);

    QHeaderView *handles = VelTorGrid->verticalHeader();
    handles->setSectionResizeMode(QHeaderView::Fixed);
    handles->setDefaultSectionSize(VelTorGrid->fontMetrics().height() + 6);
    handles->setHighlightSections(false);
    handles->setMouseTracking(true);

    QWidget::setTabOrder(SyoudakuBangou, HoukokuNengappi);
    QWidget::setTabOrder(HoukokuNengappi, NiniMoziretsu);
    QWidget::setTabOrder(NiniMoziretsu, KensakuWord);
    QWidget::setTabOrder(KensakuWord, VelTorGrid);
    QWidget::setTabOrder(VelTorGrid, KensakuLeftButton);
    QWidget::setTabOrder(KensakuLeftButton, KensakuRightButton);
    QWidget::setTabOrder(KensakuRightButton, KensakuUpButton);
    QWidget::setTabOrder(KensakuUpButton, KensakuDownButton);
}

void TVelTorFormUi::LayOut(const QWidget *client)
{
    const int top = 94 - ToolBarHeight;
    const int bottomMargin = DesignedHeight - ToolBarHeight - StatusBarHeight - (94 - ToolBarHeight) - 285;
    VelTorGrid->setGeometry(8, top, std::max(0, client->width() - 16),
                            std::max(0, client->height() - top - bottomMargin));
}

void TVelTorFormUi::ShowRecentFiles(const QStringList &paths)
{
    // A path in the menu is elided in its middle, where it says least.
    constexpr int PathWidth = 480;
    const QFontMetrics metrics(FileMenu->font());
    for (int i = 0; i < int(FileRecent.size()); ++i) {
        QAction *action = FileRecent[i];
        action->setVisible(i < paths.size());
        if (i >= paths.size())
            continue;
        const QString path = QDir::toNativeSeparators(paths[i]);
        QString shown = metrics.elidedText(path, Qt::ElideMiddle, PathWidth);
        action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown.replace(u'&', QStringLiteral("&&"))));
        action->setStatusTip(path);
        action->setData(paths[i]);
    }
    FileRecentSeparator->setVisible(!paths.isEmpty());
}
