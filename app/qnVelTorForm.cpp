#include "qnVelTorForm.h"

#include "CellDelegate.h"
#include "Icons.h"
#include "ReportModel.h"
#include "ShiftJis.h"
#include "TextFilter.h"
#include "UndoCommands.h"
#include "VelTorGridView.h"
#include "about.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>
#include <QUndoStack>

namespace {

// Designed client size at 96 dots per inch, and the rows of the layout.
constexpr int DesignedWidth = 740;
constexpr int DesignedHeight = 406;
constexpr int ToolBarHeight = 30;
constexpr int StatusBarHeight = 21;
constexpr int HandleColumnWidth = 20;
constexpr int DesignedFontPointSize = 8;
constexpr int HintDisplayMilliseconds = 10000;

// Header and search box limits, in code page 932 bytes.
constexpr int SyoudakuBangouLimit = 16;
constexpr int HoukokuNengappiLimit = 6;
constexpr int NiniMoziretsuLimit = 100;
constexpr int KensakuWordLimit = 16;

// "short|long": the tool tip shows the part before the bar, the status bar
// the part after it; a hint without a bar serves both.
void setHint(QWidget *widget, const QString &hint)
{
    const qsizetype bar = hint.indexOf(u'|');
    widget->setToolTip(bar < 0 ? hint : hint.left(bar));
    widget->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

void setHint(QAction *action, const QString &hint)
{
    const qsizetype bar = hint.indexOf(u'|');
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

// Settings keys, spelled once.
QString gridWidthKey(int column)
{
    return QStringLiteral("GridWidth%1").arg(column);
}
const QString windowWidthKey = QStringLiteral("WindowWidth");
const QString windowHeightKey = QStringLiteral("WindowHeight");
const QString lastFolderKey = QStringLiteral("LastFolder");

const QString ProgramTitle = QStringLiteral("JASRAC報告");

std::unique_ptr<QSettings> openSettings()
{
#ifdef Q_OS_WIN
    // Directly under the user's branch, where earlier versions kept them.
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\mornwicks\\qnVelTor"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
#endif
}

} // namespace

int TVelTorForm::Dialogs::ExecMessageBox(QMessageBox &box)
{
    return box.exec();
}

QString TVelTorForm::Dialogs::ExecFileDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void TVelTorForm::Dialogs::ExecAbout(TAboutBox &box)
{
    box.exec();
}

TVelTorForm::TVelTorForm(QWidget *parent)
    : QMainWindow(parent),
      Attributes(*qnVelTorDataAttribute::Instance()),
      CellAttrs(FixedCols + FieldCount),
      loadedAttrs(FixedCols + FieldCount)
{
    SetCurrentFileName(QString());
    QFont designed = QApplication::font();
    designed.setPointSize(DesignedFontPointSize);
    // The platform's UI font may lack kana and kanji.
    designed.setFamilies({designed.family(), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                          QStringLiteral("IPAGothic"), QStringLiteral("Meiryo UI"), QStringLiteral("MS UI Gothic")});
    setFont(designed);

    ImageList1 = MakeImageList();
    UndoStack = new QUndoStack(this);
    CreateActions();
    CreateMenus();
    CreateControls();
    AboutBox = new TAboutBox(this);
    ConnectUndo();
    OnCreate();
}

TVelTorForm::~TVelTorForm()
{
    // Hiding the window on the way out moves the focus: an open cell editor
    // would then report its text, and focus changes would update actions,
    // after the members those handlers use are gone.
    VelTorGrid->CommitEditor();
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    disconnect(UndoStack, nullptr, this, nullptr);
    Model->SetCommitHandler({});
}

void TVelTorForm::SetDialogs(Dialogs *replacement)
{
    dialogs = replacement ? replacement : &defaultDialogs;
}

void TVelTorForm::SetLineClipboard(qnVelTorClipboard *replacement)
{
    lineClipboard = replacement ? replacement : &LineClipboard;
    UpdateLineActions();
}

void TVelTorForm::CreateActions()
{
    const auto makeAction = [this](QAction *&action, const QString &text, const QString &hint, int icon,
                                   const QKeySequence &shortcut) {
        action = new QAction(text, this);
        setHint(action, hint);
        if (icon >= 0)
            action->setIcon(ImageList1.value(icon));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
    };

    makeAction(FileNew1, QStringLiteral("新規作成(&N)"), QStringLiteral("新規|新規ファイルの作成"), 6,
               QKeySequence(Qt::CTRL | Qt::Key_N));
    makeAction(FileOpen1, QStringLiteral("開く(&O)..."), QStringLiteral("開く|ファイルを開く"), 7,
               QKeySequence(Qt::CTRL | Qt::Key_O));
    makeAction(FileSave1, QStringLiteral("上書き保存(&S)"), QStringLiteral("保存|現在のファイルを保存"), 8,
               QKeySequence(Qt::CTRL | Qt::Key_S));
    makeAction(FileSaveAs1, QStringLiteral("名前をつけて保存(&A)..."),
               QStringLiteral("別名保存|現在のファイルに別の名前をつけて保存"), -1, {});
    makeAction(FileExit1, QStringLiteral("終了(&X)"), QStringLiteral("終了|アプリケーション終了"), -1, {});

    makeAction(EditInsertLine, QStringLiteral("1行挿入(I)"), QStringLiteral("選択されている行の直前に、新しい行を挿入します"),
               15, QKeySequence(Qt::ALT | Qt::Key_Insert));
    makeAction(EditDeleteLine, QStringLiteral("1行削除(D)"), QStringLiteral("選択されている1行を、削除します"), 5,
               QKeySequence(Qt::ALT | Qt::Key_Delete));
    makeAction(EditCutLine, QStringLiteral("１行切り取り"),
               QStringLiteral("選択されている１行を切り取り、コピーバッファに入れます"), 0, QKeySequence(Qt::ALT | Qt::Key_X));
    makeAction(EditCopyLine, QStringLiteral("１行コピー"), QStringLiteral("選択されている１行を、コピーバッファに入れます"), 1,
               QKeySequence(Qt::ALT | Qt::Key_C));
    makeAction(EditPasteLine, QStringLiteral("１行貼り付け"), QStringLiteral("コピーバッファにある１行を、直前の行に挿入します"),
               2, QKeySequence(Qt::ALT | Qt::Key_V));

    // The text actions are seen with their menu captions; their tool tips
    // appear on the tool bar only, so they carry the tool bar's short hints.
    makeAction(EditCut1, QStringLiteral("文字切り取り(&T)"),
               QStringLiteral("文字切り取り|選択文字部分を切り取りクリップボードに送る"), 0, QKeySequence(Qt::CTRL | Qt::Key_X));
    makeAction(EditCopy1, QStringLiteral("文字コピー(&C)"),
               QStringLiteral("文字コピー|選択文字部分をコピーしクリップボードに送る"), 1, QKeySequence(Qt::CTRL | Qt::Key_C));
    makeAction(EditPaste1, QStringLiteral("文字貼り付け(&P)"),
               QStringLiteral("文字貼り付け|クリップボードの内容（文字列）を貼り付け"), 2, QKeySequence(Qt::CTRL | Qt::Key_V));

    makeAction(EditUndo, QStringLiteral("元に戻す"), QStringLiteral("元に戻す|直前の変更を取り消します"), -1,
               QKeySequence(Qt::CTRL | Qt::Key_Z));
    EditUndo->setIcon(MakeUndoIcon());
    makeAction(EditRedo, QStringLiteral("やり直し"), QStringLiteral("やり直し|取り消した変更をやり直します"), -1, {});
    EditRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    EditRedo->setIcon(MakeRedoIcon());
    makeAction(EditNextError, QStringLiteral("次のエラー"), QStringLiteral("次のエラー|次のエラーのセルへ移動します"), -1,
               QKeySequence(Qt::Key_F8));
    makeAction(EditPrevError, QStringLiteral("前のエラー"), QStringLiteral("前のエラー|前のエラーのセルへ移動します"), -1,
               QKeySequence(Qt::SHIFT | Qt::Key_F8));

    makeAction(HelpAbout1, QStringLiteral("バージョン情報(&A)..."),
               QStringLiteral("バージョン情報|バージョンなど固有の情報を表示"), -1, {});

    connect(FileNew1, &QAction::triggered, this, [this] { FileNew1Execute(FileNew1); });
    connect(FileOpen1, &QAction::triggered, this, [this] { FileOpen1Execute(FileOpen1); });
    connect(FileSave1, &QAction::triggered, this, [this] { FileSave1Execute(FileSave1); });
    connect(FileSaveAs1, &QAction::triggered, this, [this] { FileSave1Execute(FileSaveAs1); });
    connect(FileExit1, &QAction::triggered, this, [this] { FileExit1Execute(FileExit1); });
    connect(HelpAbout1, &QAction::triggered, this, [this] { HelpAbout1Execute(HelpAbout1); });

    connect(EditInsertLine, &QAction::triggered, this, &TVelTorForm::EditInsertLineExecute);
    connect(EditDeleteLine, &QAction::triggered, this, &TVelTorForm::EditDeleteLineExecute);
    connect(EditCutLine, &QAction::triggered, this, &TVelTorForm::EditCutLineExecute);
    connect(EditCopyLine, &QAction::triggered, this, &TVelTorForm::EditCopyLineExecute);
    connect(EditPasteLine, &QAction::triggered, this, &TVelTorForm::EditPasteLineExecute);

    connect(EditUndo, &QAction::triggered, this, &TVelTorForm::EditUndoExecute);
    connect(EditRedo, &QAction::triggered, this, &TVelTorForm::EditRedoExecute);
    connect(EditNextError, &QAction::triggered, this, &TVelTorForm::EditNextErrorExecute);
    connect(EditPrevError, &QAction::triggered, this, &TVelTorForm::EditPrevErrorExecute);
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);

    // A box or a cell editor takes the text; the grid itself takes blocks.
    const auto focusedEdit = [] { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); };
    connect(EditCut1, &QAction::triggered, this, [this, focusedEdit] {
        if (QLineEdit *edit = focusedEdit())
            edit->cut();
        else if (GridTakesBlocks())
            BlockCut();
    });
    connect(EditCopy1, &QAction::triggered, this, [this, focusedEdit] {
        if (QLineEdit *edit = focusedEdit())
            edit->copy();
        else if (GridTakesBlocks())
            BlockCopy();
    });
    connect(EditPaste1, &QAction::triggered, this, [this, focusedEdit] {
        if (QLineEdit *edit = focusedEdit())
            edit->paste();
        else if (GridTakesBlocks())
            BlockPaste();
    });
    EditCut1->setEnabled(false);
    EditCopy1->setEnabled(false);
}

void TVelTorForm::CreateMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    setHint(file->menuAction(), QStringLiteral("ファイルに関連した機能"));
    file->addActions({FileNew1, FileOpen1, FileSave1, FileSaveAs1});
    file->addSeparator();
    file->addAction(FileExit1);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    setHint(edit->menuAction(), QStringLiteral("編集に関連した機能"));
    edit->addActions({EditUndo, EditRedo});
    edit->addSeparator();
    edit->addActions({EditInsertLine, EditDeleteLine, EditCutLine, EditCopyLine, EditPasteLine});
    edit->addSeparator();
    edit->addActions({EditCut1, EditCopy1, EditPaste1});
    edit->addSeparator();
    edit->addActions({EditNextError, EditPrevError});

    QMenu *help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    setHint(help->menuAction(), QStringLiteral("ヘルプトピック"));
    help->addAction(HelpAbout1);

    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
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
    setContextMenuPolicy(Qt::NoContextMenu);

    statusBar()->setFixedHeight(StatusBarHeight);
    statusBar()->setSizeGripEnabled(true);
    // Beside the hints, which come and go, so that it is always seen.
    ErrorCount = new QLabel(statusBar());
    ErrorCount->setObjectName(QStringLiteral("ErrorCount"));
    statusBar()->addPermanentWidget(ErrorCount);
}

void TVelTorForm::CreateControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->installEventFilter(this);

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
    const auto makeEdit = [this, client, &place](QLineEdit *&edit, const QString &name, int limit,
                                                 const QString &hint, QRect geometry) {
        edit = new QLineEdit(client);
        edit->setObjectName(name);
        auto *filter = new TextFilter(edit, limit);
        edit->setValidator(filter);
        connect(filter, &TextFilter::refused, this, [this](const QString &message) {
            statusBar()->showMessage(message);
        });
        if (!hint.isEmpty())
            setHint(edit, hint);
        place(edit, geometry.x(), geometry.y(), geometry.width(), geometry.height());
    };

    makeLabel(Label1, QStringLiteral("承諾番号"), 8, 36);
    makeEdit(SyoudakuBangou, QStringLiteral("SyoudakuBangou"), SyoudakuBangouLimit,
             QStringLiteral("許諾番号［10桁(16桁)］"), QRect(62, 36, 121, 21));
    makeLabel(Label2, QStringLiteral("報告年月"), 197, 36);
    makeEdit(HoukokuNengappi, QStringLiteral("HoukokuNengappi"), HoukokuNengappiLimit,
             QStringLiteral("報告年月［6桁(YYYYMM)］"), QRect(251, 36, 121, 21));
    makeLabel(Label3, QStringLiteral("任意の文字列"), 389, 36);
    makeEdit(NiniMoziretsu, QStringLiteral("NiniMoziretsu"), NiniMoziretsuLimit,
             QStringLiteral("任意の文字列（英数字のみ）［100桁以内任意］"), QRect(465, 36, 267, 21));
    makeLabel(Label4, QStringLiteral("検索"), 8, 63);
    makeEdit(KensakuWord, QStringLiteral("KensakuWord"), KensakuWordLimit, QString(), QRect(62, 63, 310, 21));

    // Editing a header box is an unsaved edit and a step; filling it from
    // code is neither.
    int box = 0;
    for (QLineEdit *header : {SyoudakuBangou, HoukokuNengappi, NiniMoziretsu}) {
        connect(header, &QLineEdit::textEdited, this, [this, box](const QString &text) { HeaderEdited(box, text); });
        connect(header, &QLineEdit::textChanged, this, [this, box](const QString &text) { headerTexts[box] = text; });
        // The header values travel only in the file name.
        header->findChild<TextFilter *>()->RefuseFileNameCharacters();
        ++box;
    }
    connect(KensakuWord, &QLineEdit::returnPressed, this, &TVelTorForm::KensakuRightButtonClick);

    const auto makeButton = [client, &place, this](QPushButton *&button, const QString &name,
                                                   const QString &caption, int left) {
        button = new QPushButton(caption, client);
        button->setObjectName(name);
        button->setAutoDefault(false);
        place(button, left, 63, 75, 25);
        button->installEventFilter(this);
    };
    makeButton(KensakuLeftButton, QStringLiteral("KensakuLeftButton"), QStringLiteral("←"), 384);
    makeButton(KensakuRightButton, QStringLiteral("KensakuRightButton"), QStringLiteral("→"), 465);
    makeButton(KensakuUpButton, QStringLiteral("KensakuUpButton"), QStringLiteral("↑"), 546);
    makeButton(KensakuDownButton, QStringLiteral("KensakuDownButton"), QStringLiteral("↓"), 627);
    connect(KensakuLeftButton, &QPushButton::clicked, this, &TVelTorForm::KensakuLeftButtonClick);
    connect(KensakuRightButton, &QPushButton::clicked, this, &TVelTorForm::KensakuRightButtonClick);
    connect(KensakuUpButton, &QPushButton::clicked, this, &TVelTorForm::KensakuUpButtonClick);
    connect(KensakuDownButton, &QPushButton::clicked, this, &TVelTorForm::KensakuDownButtonClick);

    const auto drawCell = [this](QPainter *painter, const QRect &rect, int col, int row) {
        VelTorGridDrawCell(painter, rect, col, row);
    };
    VelTorGrid = new VelTorGridView(drawCell, client);
    VelTorGrid->setObjectName(QStringLiteral("VelTorGrid"));
    Model = new ReportModel(&Attributes, &CellAttrs, this);
    VelTorGrid->setModel(Model);
    auto *delegate = new CellDelegate(drawCell, [this](int col) { return VelTorGridGetEditMask(col); }, this);
    VelTorGrid->setItemDelegate(delegate);
    connect(delegate, &CellDelegate::editTextChanged, this, [this](const QModelIndex &index, const QString &text) {
        VelTorGridSetEditText(FieldToGridCol(index.column()), RecordToGridRow(index.row()), text);
    });
    connect(delegate, &CellDelegate::refused, this, [this](const QString &message) {
        statusBar()->showMessage(message);
    });
    connect(delegate, &CellDelegate::notice, this, [this](const QString &message) {
        statusBar()->showMessage(message);
    });
    // Queued: the status bar is not touched from inside the grid's paint.
    connect(
            delegate, &CellDelegate::outOfMemory, this,
            [this] { statusBar()->showMessage(OutOfMemoryDrawMessage()); }, Qt::QueuedConnection);
    connect(delegate, &CellDelegate::ctrlTabPressed, this, [this] {
        VelTorGrid->CommitEditor();
        SyoudakuBangou->setFocus(Qt::TabFocusReason);
    });
    connect(VelTorGrid, &VelTorGridView::rowDragged, this, [this](int from, int to) {
        VelTorGridRowMoved(RecordToGridRow(from), RecordToGridRow(to));
    });
    connect(VelTorGrid, &VelTorGridView::currentCellChanged, this, &TVelTorForm::VelTorGridSelectCell);
    connect(VelTorGrid, &VelTorGridView::editorClosed, this, &TVelTorForm::CellEditorClosed);

    VelTorGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    VelTorGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    VelTorGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    VelTorGrid->setTabKeyNavigation(true);
    VelTorGrid->setWordWrap(false);
    VelTorGrid->setShowGrid(true);
    VelTorGrid->setMouseTracking(true);
    VelTorGrid->viewport()->installEventFilter(this);
    VelTorGrid->installEventFilter(this);

    QHeaderView *titles = VelTorGrid->horizontalHeader();
    titles->setSectionsMovable(false);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setHighlightSections(false);
    // The designed widths go down to 20 pixels.
    titles->setMinimumSectionSize(1);
    titles->setMouseTracking(true);
    titles->installEventFilter(this);

    QHeaderView *handles = VelTorGrid->verticalHeader();
    handles->setSectionResizeMode(QHeaderView::Fixed);
    handles->setDefaultSectionSize(VelTorGrid->fontMetrics().height() + 6);
    handles->setHighlightSections(false);
    handles->setMouseTracking(true);
    handles->installEventFilter(this);

    // Signals that can change what the line and text actions may do.
    connect(Model, &QAbstractItemModel::rowsInserted, this, &TVelTorForm::UpdateLineActions);
    connect(Model, &QAbstractItemModel::rowsRemoved, this, &TVelTorForm::UpdateLineActions);
    connect(Model, &QAbstractItemModel::modelReset, this, &TVelTorForm::UpdateLineActions);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        UpdateLineActions();
        UpdateTextActions();
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (auto *edit = qobject_cast<QLineEdit *>(now)) {
            connect(edit, &QLineEdit::selectionChanged, this, &TVelTorForm::UpdateTextActions,
                    Qt::UniqueConnection);
        }
        UpdateTextActions();
    });

    setTabOrder(SyoudakuBangou, HoukokuNengappi);
    setTabOrder(HoukokuNengappi, NiniMoziretsu);
    setTabOrder(NiniMoziretsu, KensakuWord);
    setTabOrder(KensakuWord, VelTorGrid);
    setTabOrder(VelTorGrid, KensakuLeftButton);
    setTabOrder(KensakuLeftButton, KensakuRightButton);
    setTabOrder(KensakuRightButton, KensakuUpButton);
    setTabOrder(KensakuUpButton, KensakuDownButton);

    setAcceptDrops(true);
}

void TVelTorForm::OnCreate()
{
    CellAttrs.Reset(0);
    for (unsigned f = 0; f < Attributes.Count(); ++f)
        VelTorGrid->setColumnWidth(int(f), Attributes.At(f)->columnWidth);
    VelTorGrid->verticalHeader()->setFixedWidth(HandleColumnWidth);

    move(0, 0);
    resize(DesignedWidth, DesignedHeight + menuBar()->sizeHint().height());
    ReadSettings();
    SetCurrentCell(FixedCols, FixedRows);
    UpdateLineActions();
    UpdateTextActions();
    UpdateErrorCount();
}

void TVelTorForm::ReadSettings()
{
    const std::unique_ptr<QSettings> settings = openSettings();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize limit = screen ? screen->availableVirtualGeometry().size() : QSize(INT_MAX, INT_MAX);
    // A value that would break the window counts as missing.
    const auto read = [&settings](const QString &key, int min, int max, int &value) {
        bool ok = false;
        const int stored = settings->value(key).toInt(&ok);
        if (!ok || stored < min || stored > max)
            return false;
        value = stored;
        return true;
    };

    for (int column = 0; column < GridColCount(); ++column) {
        int width = 0;
        if (!read(gridWidthKey(column), MinStoredColumnWidth, limit.width(), width))
            continue;
        if (column == 0)
            VelTorGrid->verticalHeader()->setFixedWidth(width);
        else
            VelTorGrid->setColumnWidth(GridColToField(column), width);
    }
    int width = this->width();
    int height = this->height();
    read(windowWidthKey, MinStoredWindowWidth, limit.width(), width);
    read(windowHeightKey, MinStoredWindowHeight, limit.height(), height);
    resize(width, height);
    lastFolder = settings->value(lastFolderKey).toString();
}

void TVelTorForm::WriteSettings() const
{
    const std::unique_ptr<QSettings> settings = openSettings();
    for (int column = 0; column < GridColCount(); ++column) {
        const int width = column == 0 ? VelTorGrid->verticalHeader()->width()
                                      : VelTorGrid->columnWidth(GridColToField(column));
        settings->setValue(gridWidthKey(column), width);
    }
    // The window's own size, without the frame: the frame is the window
    // manager's, unknown before the window is shown, and counting it would
    // let the window grow at every start.
    settings->setValue(windowWidthKey, width());
    settings->setValue(windowHeightKey, height());
    if (!lastFolder.isEmpty())
        settings->setValue(lastFolderKey, lastFolder);
    settings->sync();
}

void TVelTorForm::SetCurrentFileName(const QString &path)
{
    CurrentFileName = path;
    if (!path.isEmpty())
        lastFolder = QFileInfo(path).absolutePath();
    setWindowFilePath(path);
    // Qt shows the file path only in a window without a title, and the title
    // keeps the program's name; [*] is where Qt puts the unsaved mark.
    // A "[*]" in the file's name is doubled to show as itself.
    const QString name = QFileInfo(path).fileName().replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(path.isEmpty() ? ProgramTitle + QStringLiteral("[*]")
                                  : name + QStringLiteral("[*] - ") + ProgramTitle);
}

QString TVelTorForm::StartFolder() const
{
    if (!CurrentFileName.isEmpty())
        return QFileInfo(CurrentFileName).absolutePath();
    // A folder removed since it was used would leave the dialog nowhere.
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir())
        return lastFolder;
    return {};
}

void TVelTorForm::LayOut()
{
    // Only the grid follows the window's size.
    const QWidget *client = centralWidget();
    const int top = 94 - ToolBarHeight;
    const int bottomMargin = DesignedHeight - ToolBarHeight - StatusBarHeight - (94 - ToolBarHeight) - 285;
    VelTorGrid->setGeometry(8, top, std::max(0, client->width() - 16),
                            std::max(0, client->height() - top - bottomMargin));
}

int TVelTorForm::GridRowCount() const
{
    return FixedRows + Model->rowCount();
}

int TVelTorForm::CurrentCol() const
{
    const QModelIndex current = VelTorGrid->currentIndex();
    return current.isValid() ? FieldToGridCol(current.column()) : FixedCols;
}

int TVelTorForm::CurrentRow() const
{
    const QModelIndex current = VelTorGrid->currentIndex();
    return current.isValid() ? RecordToGridRow(current.row()) : FixedRows;
}

void TVelTorForm::SetCurrentCell(int col, int row)
{
    const QModelIndex index = Model->index(GridRowToRecord(row), GridColToField(col));
    if (index.isValid())
        VelTorGrid->setCurrentIndex(index);
}

void TVelTorForm::HelpAbout1Execute(QObject *)
{
    dialogs->ExecAbout(*AboutBox);
}

void TVelTorForm::ShowHint(QWidget *widget, const QPoint &globalPos, const QString &hint)
{
    if (hint.isEmpty()) {
        QToolTip::hideText();
        statusBar()->clearMessage();
        return;
    }
    QToolTip::showText(globalPos, hint, widget, QRect(), HintDisplayMilliseconds);
    statusBar()->showMessage(hint);
}

void TVelTorForm::closeEvent(QCloseEvent *event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

bool TVelTorForm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == centralWidget())
            LayOut();
        break;
    case QEvent::MouseMove:
        if (watched == VelTorGrid->viewport() || watched == VelTorGrid->horizontalHeader()
            || watched == VelTorGrid->verticalHeader()) {
            VelTorGridMouseMove(static_cast<QWidget *>(watched), static_cast<QMouseEvent *>(event)->position().toPoint());
        }
        break;
    case QEvent::ToolTip:
        // The grid's hints are shown at once by the mouse handler; Qt's
        // delayed tool tip would show a second one.
        if (watched == VelTorGrid->viewport() || watched == VelTorGrid->horizontalHeader()
            || watched == VelTorGrid->verticalHeader())
            return true;
        break;
    case QEvent::Leave:
        if (auto *button = qobject_cast<QPushButton *>(watched)) {
            if (button == KensakuLeftButton || button == KensakuRightButton || button == KensakuUpButton
                || button == KensakuDownButton) {
                SearchButtonLeft(button);
            }
        } else if (watched == VelTorGrid->viewport()) {
            gridHint.clear();
        }
        break;
    case QEvent::KeyPress:
        if (watched == VelTorGrid && VelTorGridKeyDown(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
