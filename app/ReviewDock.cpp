#include "ReviewDock.h"

#include "FixCommands.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

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
    connect(tree, &QAbstractItemView::activated, this, &ReviewDock::Activate);
    connect(tree, &QAbstractItemView::clicked, this, &ReviewDock::Activate);
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

void ReviewDock::ExpandSections()
{
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex section = model->index(row, 0);
        if (!collapsedSections.contains(model->data(section, ReviewModel::SectionRole).toInt()))
            tree->expand(section);
    }
}

void ReviewDock::Activate(const QModelIndex &index)
{
    const ReviewModel::Place place = model->PlaceOf(index);
    if (place.what != ReviewModel::Place::Nothing)
        emit placeActivated(place);
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
