#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

// The desktop theme supplies the icons where it has them; the pictures below
// are the fallback for platforms without a theme (Windows, macOS, bare X).
// Each one is drawn on a 16 x 16 grid and rendered at 16 and 32 pixels, so
// high-DPI screens get a sharp icon instead of a blown-up one.

namespace {

using Picture = void (*)(QPainter &);

const QColor Outline(80, 80, 80);
const QColor Paper(Qt::white);
const QColor Ink(150, 150, 150);

void Sheet(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawRect(r);
    p.setPen(QPen(Ink, 1));
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

// A grid line of three cells, the row that the line commands act on.
void Row(QPainter &p)
{
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawRect(QRectF(0.5, 5.5, 15, 5));
    p.drawLine(QPointF(5.5, 5.5), QPointF(5.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(10.5, 10.5));
}

void Cut(QPainter &p)
{
    p.setPen(QPen(QColor(110, 120, 130), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 10), QPointF(11, 1.5));
    p.drawLine(QPointF(10.5, 10), QPointF(5, 1.5));
    p.setPen(QPen(QColor(190, 30, 30), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 12.5), 2.3, 2.3);
    p.drawEllipse(QPointF(11.5, 12.5), 2.3, 2.3);
}

void Copy(QPainter &p)
{
    Sheet(p, QRectF(1.5, 1.5, 8, 10));
    Sheet(p, QRectF(6.5, 4.5, 8, 10));
}

void Paste(QPainter &p)
{
    p.setPen(QPen(QColor(100, 60, 20), 1));
    p.setBrush(QColor(190, 130, 60));
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12.5), 1, 1);
    Sheet(p, QRectF(4.5, 5.5, 7, 8));
    p.setPen(QPen(Outline, 1));
    p.setBrush(QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(5.5, 1.5, 5, 3), 1, 1);
}

void DeleteLine(QPainter &p)
{
    Row(p);
    p.setPen(QPen(QColor(210, 20, 20), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 3), QPointF(12, 13));
    p.drawLine(QPointF(12, 3), QPointF(4, 13));
}

void NewFile(QPainter &p)
{
    const QPolygonF page{{2.5, 0.5}, {9.5, 0.5}, {13.5, 4.5}, {13.5, 15.5}, {2.5, 15.5}};
    const QPolygonF fold{{9.5, 0.5}, {9.5, 4.5}, {13.5, 4.5}};
    p.setPen(QPen(Outline, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Paper);
    p.drawPolygon(page);
    p.setBrush(QColor(215, 215, 215));
    p.drawPolygon(fold);
}

void OpenFile(QPainter &p)
{
    p.setPen(QPen(QColor(150, 110, 20), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(225, 180, 60));
    p.drawPolygon(QPolygonF{{0.5, 3.5}, {5.5, 3.5}, {7, 5}, {13.5, 5}, {13.5, 13.5}, {0.5, 13.5}});
    // The front flap leans back to show the folder is open.
    p.setBrush(QColor(250, 215, 100));
    p.drawPolygon(QPolygonF{{3, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {0.5, 13.5}});
}

void SaveFile(QPainter &p)
{
    p.setPen(QPen(QColor(20, 40, 110), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(50, 90, 180));
    p.drawPolygon(QPolygonF{{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}});
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(4.5, 2, 7, 4.5)); // metal shutter
    p.setBrush(QColor(50, 90, 180));
    p.drawRect(QRectF(9, 3, 1.5, 2.5));
    p.setBrush(Paper);
    p.drawRect(QRectF(3.5, 9, 9, 5)); // label
}

void InsertLine(QPainter &p)
{
    Row(p);
    p.setPen(QPen(QColor(20, 150, 40), 3, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(8, 2), QPointF(8, 14));
    p.drawLine(QPointF(2, 8), QPointF(14, 8));
}

QPixmap Render(Picture picture, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    picture(painter);
    return pixmap;
}

// A hooked arrow pointing left; Redo draws it mirrored.
void Undo(QPainter &p)
{
    p.setPen(QPen(Outline, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath hook;
    hook.moveTo(4, 6);
    hook.lineTo(10, 6);
    hook.cubicTo(15, 6, 15, 13, 10, 13);
    hook.lineTo(7, 13);
    p.drawPath(hook);
    p.setBrush(Outline);
    p.drawPolygon(QPolygonF({QPointF(1.5, 6), QPointF(5.5, 2.5), QPointF(5.5, 9.5)}));
}

void Redo(QPainter &p)
{
    p.translate(16, 0);
    p.scale(-1, 1);
    Undo(p);
}

QIcon Themed(const QString &name, Picture picture)
{
    QIcon fallback;
    for (int size : {16, 32})
        fallback.addPixmap(Render(picture, size));
    return QIcon::fromTheme(name, fallback);
}

} // namespace

QList<QIcon> MakeImageList()
{
    QList<QIcon> icons(16);
    icons[0] = Themed(QStringLiteral("edit-cut"), Cut);
    icons[1] = Themed(QStringLiteral("edit-copy"), Copy);
    icons[2] = Themed(QStringLiteral("edit-paste"), Paste);
    icons[5] = Themed(QStringLiteral("edit-delete"), DeleteLine);
    icons[6] = Themed(QStringLiteral("document-new"), NewFile);
    icons[7] = Themed(QStringLiteral("document-open"), OpenFile);
    icons[8] = Themed(QStringLiteral("document-save"), SaveFile);
    icons[15] = Themed(QStringLiteral("list-add"), InsertLine);
    return icons;
}

QIcon MakeUndoIcon()
{
    return Themed(QStringLiteral("edit-undo"), Undo);
}

QIcon MakeRedoIcon()
{
    return Themed(QStringLiteral("edit-redo"), Redo);
}
