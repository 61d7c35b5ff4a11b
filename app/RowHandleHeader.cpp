#include "RowHandleHeader.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// As wide as the grips of the column borders in the title row.
constexpr int GripWidth = 4;
constexpr int NumberMargin = 3;

} // namespace

RowHandleHeader::RowHandleHeader(DrawCell drawCell, QWidget *parent)
    : QHeaderView(Qt::Vertical, parent), drawCell(std::move(drawCell))
{
}

bool RowHandleHeader::OnWidthGrip(int x) const
{
    return x >= width() - GripWidth && x < width();
}

void RowHandleHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (drawCell)
        drawCell(painter, rect, 0, logicalIndex + 1);

    // The last row is the new-line row, which is no line yet. Numbers are
    // shown all or none: the widest must fit beside the handle.
    const int lines = count() - 1;
    if (logicalIndex >= lines)
        return;
    const QFontMetrics metrics(font());
    const int room = rect.width() - HandleWidth - NumberMargin;
    if (metrics.horizontalAdvance(QString::number(lines)) > room)
        return;
    painter->save();
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->drawText(rect.adjusted(HandleWidth, 0, -NumberMargin, 0), Qt::AlignRight | Qt::AlignVCenter,
                      QString::number(logicalIndex + 1));
    painter->restore();
}

void RowHandleHeader::mousePressEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (event->button() == Qt::LeftButton && OnWidthGrip(x)) {
        // Taken here, so that the press does not start dragging a line.
        dragOffset = width() - x;
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void RowHandleHeader::mouseMoveEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (dragOffset >= 0) {
        emit widthDragged(std::clamp(x + dragOffset, MinimumWidth, MaximumWidth));
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton && OnWidthGrip(x)) {
        // QHeaderView would take away a cursor it did not set itself.
        setCursor(Qt::SplitHCursor);
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton && testAttribute(Qt::WA_SetCursor))
        unsetCursor();
    QHeaderView::mouseMoveEvent(event);
}

void RowHandleHeader::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragOffset >= 0 && event->button() == Qt::LeftButton) {
        dragOffset = -1;
        event->accept();
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void RowHandleHeader::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A quick second press on the grip is another width drag.
    if (event->button() == Qt::LeftButton && OnWidthGrip(event->position().toPoint().x())) {
        mousePressEvent(event);
        return;
    }
    QHeaderView::mouseDoubleClickEvent(event);
}
