#include "RowHandleHeader.h"

#include <QPainter>

RowHandleHeader::RowHandleHeader(DrawCell drawCell, QWidget *parent)
    : QHeaderView(Qt::Vertical, parent), drawCell(std::move(drawCell))
{
}

void RowHandleHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (drawCell)
        drawCell(painter, rect, 0, logicalIndex + 1);
}
