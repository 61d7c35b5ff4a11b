#pragma once

#include <QHeaderView>

#include <functional>

// The grid's column 0: a narrow handle without text by which a line is
// dragged, marked like the rest of the current row. Its right edge is
// dragged to widen it, and once it is wider than the handle needs, it shows
// the line numbers in the room beyond.
class RowHandleHeader : public QHeaderView
{
    Q_OBJECT

public:
    using DrawCell = std::function<void(QPainter *, const QRect &, int col, int row)>;

    // The part of the column kept free for grabbing a line.
    static constexpr int HandleWidth = 20;
    // Narrowest and widest the column can be dragged to.
    static constexpr int MinimumWidth = 8;
    static constexpr int MaximumWidth = 400;

    explicit RowHandleHeader(DrawCell drawCell, QWidget *parent = nullptr);

    // Whether `x` (in the header's coordinates) lies on the grip at its
    // right edge.
    bool OnWidthGrip(int x) const;

signals:
    // The user dragged the right edge; `width` is within the limits above.
    void widthDragged(int width);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    DrawCell drawCell;
    // Distance from the pointer to the right edge when the drag began; -1
    // while no width drag is going on.
    int dragOffset = -1;
};
