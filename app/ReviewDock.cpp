#include "ReviewDock.h"

#include "FixCommands.h"

#include <QAction>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QMenu>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The list's height when it is first opened.
constexpr int OpenHeight = 200;

} // namespace

ReviewDock::ReviewDock(ReportFile &file, const ReportNotes &notes, QWidget *parent)
    : QDockWidget(tr("見直し"), parent), model(new ReviewModel(file, notes, this))
{
    setObjectName(QStringLiteral("ReviewDock"));
    setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);

    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    bar = new QToolBar(content);
    bar->setObjectName(QStringLiteral("ReviewBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    groupFix = new QAction(tr("このグループを直す"), this);
    groupFix->setObjectName(QStringLiteral("ReviewGroupFix"));
    groupFix->setStatusTip(tr("選んだグループのセルを、まとめて決まった形に直します"));
    groupFix->setEnabled(false);
    bar->addAction(groupFix);
    layout->addWidget(bar);

    tree = new QTreeView(content);
    tree->setObjectName(QStringLiteral("ReviewTree"));
    // A hundred thousand entries scroll without measuring each.
    tree->setUniformRowHeights(true);
    tree->setAllColumnsShowFocus(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setModel(model);
    tree->header()->setStretchLastSection(true);
    tree->setColumnWidth(ReviewModel::LabelColumn, 220);
    tree->setColumnWidth(ReviewModel::FieldColumn, 130);
    tree->setColumnWidth(ReviewModel::ValueColumn, 160);
    layout->addWidget(tree);
    setWidget(content);

    // Gathered only while it can be seen; the sections open on their
    // groups, the groups stay closed until asked.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && !opened)
            FirstOpen();
        model->SetActive(visible);
        ExpandSections();
    });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] {
        ExpandSections();
        UpdateGroupFix();
    });
    connect(tree, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        if (!index.parent().isValid())
            collapsedSections.insert(model->data(index, ReviewModel::SectionRole).toInt());
    });
    connect(tree, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (!index.parent().isValid())
            collapsedSections.remove(model->data(index, ReviewModel::SectionRole).toInt());
    });
    // A click shows the cell and leaves the keyboard to the list, for the
    // next entry; Enter or a double click hands it to the cell.
    connect(tree, &QAbstractItemView::activated, this, [this](const QModelIndex &index) { Activate(index, true); });
    connect(tree, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) { Activate(index, false); });
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this, &ReviewDock::UpdateGroupFix);
    connect(tree, &QWidget::customContextMenuRequested, this, &ReviewDock::ShowMenu);
    connect(groupFix, &QAction::triggered, this, [this] {
        ReviewModel::Group group;
        if (CurrentGroup(group))
            emit groupFixWanted(group);
    });
}

void ReviewDock::SetFixActions(const QList<QAction *> &actions)
{
    for (QAction *action : std::as_const(fixActions))
        bar->removeAction(action);
    fixActions = actions;
    bar->addSeparator();
    bar->addActions(fixActions);
}

void ReviewDock::FirstOpen()
{
    opened = true;
    // The window grows by the list where the screen has room, so that the
    // grid keeps its lines.
    auto *window = qobject_cast<QMainWindow *>(parentWidget());
    if (!window)
        return;
    int grow = OpenHeight;
    if (!window->isMaximized() && !window->isFullScreen() && window->screen()) {
        const int room = window->screen()->availableGeometry().bottom() - window->frameGeometry().bottom();
        window->resize(window->width(), window->height() + std::clamp(room, 0, grow));
    }
    window->resizeDocks({this}, {grow}, Qt::Vertical);
}

void ReviewDock::ExpandSections()
{
    // A section's and a group's title reads across the columns.
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex section = model->index(row, 0);
        tree->setFirstColumnSpanned(row, QModelIndex(), true);
        for (int group = 0; group < model->rowCount(section); ++group)
            tree->setFirstColumnSpanned(group, section, true);
        if (!collapsedSections.contains(model->data(section, ReviewModel::SectionRole).toInt()))
            tree->expand(section);
    }
}

void ReviewDock::Activate(const QModelIndex &index, bool focus)
{
    const ReviewModel::Place place = model->PlaceOf(index);
    if (place.what != ReviewModel::Place::Nothing)
        emit placeActivated(place, focus);
}

bool ReviewDock::CurrentGroup(ReviewModel::Group &group) const
{
    return model->GroupOf(tree->currentIndex(), group) && FixCommands::GroupFix(group);
}

void ReviewDock::UpdateGroupFix()
{
    ReviewModel::Group group;
    const bool fixable = CurrentGroup(group);
    groupFix->setEnabled(fixable);
    groupFix->setText(fixable ? tr("このグループを直す：%1").arg(FixCommands::GroupFix(group)->Text())
                              : tr("このグループを直す"));
}

void ReviewDock::ShowMenu(const QPoint &pos)
{
    const QModelIndex index = tree->indexAt(pos);
    if (index.isValid())
        tree->setCurrentIndex(index);
    QMenu menu(this);
    menu.addAction(groupFix);
    menu.addSeparator();
    menu.addActions(fixActions);
    menu.exec(tree->viewport()->mapToGlobal(pos));
}
