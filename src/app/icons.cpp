#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace eschf {

namespace {

const QColor kOutline(0x3c, 0x46, 0x50);
const QColor kGreen(0x2e, 0x8b, 0x3a);

// Every picture is drawn on a 24 x 24 canvas and scaled to the size asked for.
void drawSearch(QPainter& p)
{
    p.setPen(QPen(kOutline, 2.4));
    p.setBrush(QColor(0xd8, 0xea, 0xf8));
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
    p.setPen(QPen(kOutline, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.5, 15.5), QPointF(21, 21));
}

void drawSort(QPainter& p)
{
    const struct
    {
        QColor colour;
        qreal length;
    } lines[] = {{QColor(0xc6, 0x28, 0x28), 20}, {QColor(0xe0, 0x8a, 0x00), 15}, {kGreen, 10}};
    qreal y = 5;
    for (const auto& line : lines) {
        p.setPen(QPen(line.colour, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, y), QPointF(3 + line.length - 4, y));
        y += 7;
    }
}

void drawSheet(QPainter& p, const QRectF& rect)
{
    p.setPen(QPen(kOutline, 1.6));
    p.setBrush(Qt::white);
    p.drawRect(rect);
    p.setPen(QPen(QColor(0x8a, 0x96, 0xa0), 1.4));
    for (qreal y = rect.top() + 4; y < rect.bottom() - 2; y += 3.5)
        p.drawLine(QPointF(rect.left() + 3, y), QPointF(rect.right() - 3, y));
}

void drawCopy(QPainter& p)
{
    drawSheet(p, QRectF(2.5, 2.5, 12, 14));
    drawSheet(p, QRectF(9.5, 7.5, 12, 14));
}

// A green arrow pointing down the middle of the canvas.
struct DownArrow
{
    qreal top;
    qreal headTop;
    qreal tip;
    qreal shaftHalfWidth;
    qreal headHalfWidth;
};

void drawDownArrow(QPainter& p, const DownArrow& a)
{
    constexpr qreal middle = 12;
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    QPainterPath arrow;
    arrow.moveTo(middle - a.shaftHalfWidth, a.top);
    arrow.lineTo(middle + a.shaftHalfWidth, a.top);
    arrow.lineTo(middle + a.shaftHalfWidth, a.headTop);
    arrow.lineTo(middle + a.headHalfWidth, a.headTop);
    arrow.lineTo(middle, a.tip);
    arrow.lineTo(middle - a.headHalfWidth, a.headTop);
    arrow.lineTo(middle - a.shaftHalfWidth, a.headTop);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void drawImport(QPainter& p)
{
    const QColor body(0x5b, 0x8f, 0xc7);
    p.setPen(QPen(kOutline, 1.4));
    p.setBrush(body);
    QPainterPath cylinder;
    cylinder.moveTo(4, 9);
    cylinder.lineTo(4, 19);
    cylinder.arcTo(QRectF(4, 16, 16, 6), 180, 180);
    cylinder.lineTo(20, 9);
    cylinder.closeSubpath();
    p.drawPath(cylinder);
    p.setBrush(body.lighter(140));
    p.drawEllipse(QRectF(4, 6, 16, 6));

    drawDownArrow(p, {0.5, 5, 10.5, 2, 5});
}

void drawDownload(QPainter& p)
{
    p.setPen(QPen(kOutline, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath tray;
    tray.moveTo(3, 15);
    tray.lineTo(3, 21);
    tray.lineTo(21, 21);
    tray.lineTo(21, 15);
    p.drawPath(tray);

    drawDownArrow(p, {2, 10, 18, 2.5, 7});
}

QPixmap drawnPixmap(IconPicture picture, int size, qreal ratio)
{
    QPixmap pixmap(qRound(size * ratio), qRound(size * ratio));
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    switch (picture) {
    case IconPicture::Search:
        drawSearch(p);
        break;
    case IconPicture::Sort:
        drawSort(p);
        break;
    case IconPicture::Copy:
        drawCopy(p);
        break;
    case IconPicture::Import:
        drawImport(p);
        break;
    case IconPicture::Download:
        drawDownload(p);
        break;
    }
    return pixmap;
}

} // namespace

QIcon drawnIcon(IconPicture picture, int size)
{
    QIcon icon;
    for (const qreal ratio : {1.0, 1.5, 2.0})
        icon.addPixmap(drawnPixmap(picture, size, ratio));
    return icon;
}

} // namespace eschf
