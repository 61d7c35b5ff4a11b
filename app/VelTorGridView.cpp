#include "VelTorGridView.h"

#include <QHeaderView>
#include <QLineEdit>

VelTorGridView::VelTorGridView(RowHandleHeader::DrawCell drawHandle, QWidget *parent)
    : QTableView(parent)
{
    auto *handle = new RowHandleHeader(std::move(drawHandle), this);
    setVerticalHeader(handle);
    handle->setSectionsMovable(true);
    handle->setFirstSectionMovable(true);
    connect(handle, &QHeaderView::sectionMoved, this, &VelTorGridView::SectionMoved);
}

void VelTorGridView::CommitEditor()
{
    if (QLineEdit *editor = Editor()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

QLineEdit *VelTorGridView::Editor() const
{
    if (state() != EditingState)
        return nullptr;
    // The open editor is the focus widget inside the viewport.
    for (QLineEdit *edit : viewport()->findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly)) {
        if (edit->isVisible())
            return edit;
    }
    return nullptr;
}

void VelTorGridView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                 const QList<int> &roles)
{
    // A change of verdicts or hints only needs a repaint. Passed on, it
    // would make the view reload an open editor from the model and throw
    // away what is being typed.
    if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole) && !roles.contains(Qt::EditRole)) {
        viewport()->update();
        return;
    }
    QTableView::dataChanged(topLeft, bottomRight, roles);
}

void VelTorGridView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    emit currentCellChanged();
}

void VelTorGridView::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    emit editorClosed();
}

void VelTorGridView::SectionMoved(int, int oldVisualIndex, int newVisualIndex)
{
    QHeaderView *header = verticalHeader();
    const QSignalBlocker blocker(header);
    header->moveSection(newVisualIndex, oldVisualIndex);
    emit rowDragged(oldVisualIndex, newVisualIndex);
}
