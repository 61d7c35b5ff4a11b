#pragma once

#include "ReviewModel.h"

#include <QDockWidget>
#include <QList>
#include <QSet>

class QAction;
class QToolBar;
class QTreeView;
class ReportFile;
class ReportNotes;

// The review list at the bottom of the window: every problem of the report
// by kind (ReviewModel), gathered only while the list is open. Activating
// an entry asks for its place to be shown; a group that can be fixed as a
// whole offers its fix on the bar above the list and in its context menu,
// beside the fixes of the 編集 menu.
class ReviewDock : public QDockWidget
{
    Q_OBJECT

public:
    // `file` and `notes` are not owned and must outlive this.
    ReviewDock(ReportFile &file, const ReportNotes &notes, QWidget *parent = nullptr);

    ReviewModel &Model() const { return *model; }
    QTreeView &Tree() const { return *tree; }
    // This group's fix, for whoever drives the list from outside.
    QAction *GroupFixAction() const { return groupFix; }
    // The fixes shown beside the group's own; not owned.
    void SetFixActions(const QList<QAction *> &actions);

signals:
    // `focus`: the entry was activated (Enter, a double click), not only
    // clicked, and the cell is to take the keyboard.
    void placeActivated(const ReviewModel::Place &place, bool focus);
    void groupFixWanted(const ReviewModel::Group &group);

private:
    void FirstOpen();
    // The sections open, but those the user closed.
    void ExpandSections();
    void Activate(const QModelIndex &index, bool focus);
    // The group of the current row, and whether it has a fix.
    bool CurrentGroup(ReviewModel::Group &group) const;
    void UpdateGroupFix();
    void ShowMenu(const QPoint &pos);

    ReviewModel *model; // a child
    QTreeView *tree;
    QToolBar *bar;
    QAction *groupFix;
    QList<QAction *> fixActions;
    QSet<int> collapsedSections; // ReviewModel::Section values
    bool opened = false;
};
