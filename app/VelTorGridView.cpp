#include "VelTorGridView.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>
#include <climits>

VelTorGridView::VelTorGridView(RowHandleHeader::DrawCell drawHandle, QWidget *parent)
    : QTableView(parent)
{
    auto *handle = new RowHandleHeader(std::move(drawHandle), this);
    setVerticalHeader(handle);
    handle->setSectionsMovable(true);
    handle->setFirstSectionMovable(true);
    // A click on a handle selects its line, Shift+click the lines between,
    // for the line commands that take several.
    handle->setSectionsClickable(true);
    connect(handle, &QHeaderView::sectionMoved, this, &VelTorGridView::SectionMoved);
    connect(handle, &RowHandleHeader::widthDragged, this, &VelTorGridView::SetHandleWidth);
    // The border of column 0 can also be taken in the title row, like every
    // other column's; there it is the right edge of the corner cell.
    corner = findChild<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly);
    if (corner) {
        corner->setMouseTracking(true);
        corner->installEventFilter(this);
    }
}

void VelTorGridView::SetHandleWidth(int width)
{
    verticalHeader()->setFixedWidth(width);
    updateGeometries();
}

bool VelTorGridView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == corner && corner) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            if (CornerMouseEvent(static_cast<QMouseEvent *>(event)))
                return true;
            break;
        default:
            break;
        }
    }
    return QTableView::eventFilter(watched, event);
}

bool VelTorGridView::CornerMouseEvent(QMouseEvent *event)
{
    auto *handle = static_cast<RowHandleHeader *>(verticalHeader());
    const int x = event->position().toPoint().x();
    // The corner is as wide as the handle column.
    const bool onGrip = handle->OnWidthGrip(x);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (event->button() != Qt::LeftButton || !onGrip)
            return false;
        cornerDragOffset = corner->width() - x;
        return true;
    case QEvent::MouseMove:
        if (cornerDragOffset >= 0) {
            SetHandleWidth(std::clamp(x + cornerDragOffset, int(RowHandleHeader::MinimumWidth),
                                      int(RowHandleHeader::MaximumWidth)));
            return true;
        }
        if (onGrip)
            corner->setCursor(Qt::SplitHCursor);
        else
            corner->unsetCursor();
        return false;
    case QEvent::MouseButtonRelease:
        if (cornerDragOffset < 0 || event->button() != Qt::LeftButton)
            return false;
        cornerDragOffset = -1;
        return true;
    default:
        return false;
    }
}

bool VelTorGridView::SelectedBlock(int &top, int &left, int &bottom, int &right) const
{
    const QItemSelection selection = selectionModel()->selection();
    if (selection.isEmpty()) {
        const QModelIndex current = currentIndex();
        if (!current.isValid())
            return false;
        top = bottom = current.row();
        left = right = current.column();
        return true;
    }
    top = left = INT_MAX;
    bottom = right = -1;
    for (const QItemSelectionRange &range : selection) {
        top = std::min(top, range.top());
        left = std::min(left, range.left());
        bottom = std::max(bottom, range.bottom());
        right = std::max(right, range.right());
    }
    return bottom >= 0;
}

void VelTorGridView::SetCurrentCell(const QModelIndex &index)
{
    movedByCommand = true;
    setCurrentIndex(index);
    movedByCommand = false;
}

QItemSelectionModel::SelectionFlags VelTorGridView::selectionCommand(const QModelIndex &index,
                                                                     const QEvent *event) const
{
    // Qt reads the keys held at the moment: with Ctrl down for Ctrl+Z, or
    // Shift for Shift+Enter, the cell an undo or Enter shows was added to
    // the old selection, and the next line command took every line between
    // the two for a block.
    if (movedByCommand)
        return QItemSelectionModel::ClearAndSelect;
    return QTableView::selectionCommand(index, event);
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
