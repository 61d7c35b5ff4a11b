#pragma once

#include <QHeaderView>

#include <functional>

// The grid's column 0: a narrow handle without text by which a line is
// dragged, marked like the rest of the current row.
class RowHandleHeader : public QHeaderView
{
    Q_OBJECT

public:
    using DrawCell = std::function<void(QPainter *, const QRect &, int col, int row)>;

    explicit RowHandleHeader(DrawCell drawCell, QWidget *parent = nullptr);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    DrawCell drawCell;
};
