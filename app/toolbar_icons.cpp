#include "app/toolbar_icons.h"

#include "platform/drawing.h"
#include "platform/fonts.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <functional>

namespace corvane {

namespace {

using Drawing = std::function<void(QPainter&)>;

QIcon toolIcon(const Drawing& draw)
{
    return platform::drawnIcon(kToolPictureSize, draw);
}

void drawOddChar(QPainter& p)
{
    p.setFont(platform::designFont(QStringLiteral("Palatino Linotype"), 22, true));
    p.setPen(Qt::black);
    p.drawText(QRectF(0, -1, 29, 25), Qt::AlignCenter, QString(QChar(0x00FC)));
}

void drawJotpad(QPainter& p)
{
    const QRectF page(6.5, 4.5, 16, 19);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(255, 253, 220));
    p.drawRect(page);
    p.setPen(QPen(QColor(90, 120, 200), 1));
    for (int y = 10; y <= 20; y += 3)
        p.drawLine(QPointF(8, y + 0.5), QPointF(21, y + 0.5));
    p.setPen(QPen(QColor(200, 60, 60), 1));
    p.drawLine(QPointF(10.5, 7), QPointF(10.5, 22));
    // The spiral: rings over the top edge.
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(Qt::NoBrush);
    for (int x = 8; x <= 20; x += 3)
        p.drawEllipse(QRectF(x, 1.5, 2.5, 5));
}

void drawPrinter(QPainter& p)
{
    const QPen outline(QColor(50, 50, 50), 1);
    p.setPen(outline);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7.5, 1.5, 14, 8)); // paper going in
    QLinearGradient body(0, 8, 0, 19);
    body.setColorAt(0, QColor(170, 170, 170));
    body.setColorAt(1, QColor(100, 100, 100));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 8.5, 26, 11), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 200, 60));
    p.drawEllipse(QRectF(23, 10.5, 2.5, 2.5));
    p.setPen(outline);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 14.5, 16, 9.5)); // the printed sheet
    p.setFont(platform::designFont(QStringLiteral("Arial"), 10, true));
    p.setPen(QColor(200, 0, 0));
    p.drawText(QRectF(6.5, 14, 16, 10.5), Qt::AlignCenter, QStringLiteral("P"));
}

void drawFind(QPainter& p)
{
    p.setPen(QPen(QColor(50, 50, 50), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 14, 18));
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int y = 5; y <= 16; y += 3)
        p.drawLine(QPointF(6, y + 0.5), QPointF(15, y + 0.5));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 60, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 17), QPointF(26, 23));
    p.setPen(QPen(QColor(30, 30, 30), 1.6));
    p.setBrush(QColor(200, 225, 255, 200));
    p.drawEllipse(QPointF(16, 12.5), 5.5, 5.5);
}

void drawBackup(QPainter& p)
{
    // The document with a folded corner.
    QPolygonF page;
    page << QPointF(1.5, 1.5) << QPointF(10.5, 1.5) << QPointF(13.5, 4.5) << QPointF(13.5, 16.5)
         << QPointF(1.5, 16.5);
    p.setPen(QPen(QColor(50, 50, 50), 1));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int y = 6; y <= 14; y += 2)
        p.drawLine(QPointF(3.5, y + 0.5), QPointF(11.5, y + 0.5));
    // The diskette.
    const QRectF disk(14.5, 10.5, 13, 13);
    p.setPen(QPen(QColor(10, 10, 40), 1));
    p.setBrush(QColor(30, 40, 110));
    p.drawRect(disk);
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(17.5, 10.5, 7, 4.5)); // shutter
    p.setBrush(Qt::white);
    p.drawRect(QRectF(16.5, 17.5, 9, 6)); // label
    // The arrow from the page into the diskette.
    QPainterPath arrow;
    arrow.moveTo(8, 10);
    arrow.quadTo(14, 8, 19, 15);
    p.setPen(QPen(QColor(220, 0, 0), 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    QPolygonF head;
    head << QPointF(21, 18) << QPointF(16, 15) << QPointF(21, 12.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 0, 0));
    p.drawPolygon(head);
}

// Outlines in a unit square (x east, y south), rough but recognisable.
QPolygonF greatBritain()
{
    static const double pts[][2] = { { 0.55, 0.02 }, { 0.70, 0.03 }, { 0.66, 0.12 }, { 0.74, 0.20 },
        { 0.66, 0.30 }, { 0.72, 0.33 }, { 0.63, 0.40 }, { 0.70, 0.48 }, { 0.78, 0.60 }, { 0.86, 0.68 },
        { 0.95, 0.74 }, { 0.92, 0.82 }, { 0.96, 0.88 }, { 0.85, 0.93 }, { 0.70, 0.95 }, { 0.55, 0.96 },
        { 0.42, 0.99 }, { 0.45, 0.92 }, { 0.58, 0.87 }, { 0.48, 0.83 }, { 0.55, 0.77 }, { 0.48, 0.70 },
        { 0.56, 0.66 }, { 0.57, 0.56 }, { 0.50, 0.50 }, { 0.52, 0.42 }, { 0.45, 0.38 }, { 0.50, 0.30 },
        { 0.44, 0.22 }, { 0.50, 0.12 }, { 0.48, 0.05 } };
    QPolygonF poly;
    for (const auto& pt : pts)
        poly << QPointF(pt[0], pt[1]);
    return poly;
}

QPolygonF ireland()
{
    static const double pts[][2] = { { 0.30, 0.45 }, { 0.38, 0.50 }, { 0.37, 0.60 }, { 0.38, 0.72 },
        { 0.30, 0.82 }, { 0.15, 0.85 }, { 0.06, 0.78 }, { 0.12, 0.70 }, { 0.05, 0.62 }, { 0.12, 0.55 },
        { 0.15, 0.48 }, { 0.22, 0.50 } };
    QPolygonF poly;
    for (const auto& pt : pts)
        poly << QPointF(pt[0], pt[1]);
    return poly;
}

} // namespace

QIcon oddCharPicture()
{
    return toolIcon(drawOddChar);
}

QIcon jotpadPicture()
{
    return toolIcon(drawJotpad);
}

QIcon printPicture()
{
    return toolIcon(drawPrinter);
}

QIcon findPicture()
{
    return toolIcon(drawFind);
}

QIcon backupPicture()
{
    return toolIcon(drawBackup);
}

QImage programIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(128, 0, 128));
    p.drawRoundedRect(QRectF(4, 4, 248, 248), 40, 40);
    p.setPen(QPen(QColor(60, 40, 20), 6));
    p.setBrush(QColor(244, 232, 200));
    p.drawRect(QRectF(40, 30, 176, 196)); // the atlas page
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(184, 212, 226));
    const QRectF sea(56, 46, 144, 164);
    p.drawRect(sea);

    QTransform toSea;
    toSea.translate(sea.left(), sea.top());
    toSea.scale(sea.width(), sea.height());
    p.setPen(QPen(QColor(70, 50, 20), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(206, 190, 130));
    p.drawPolygon(toSea.map(greatBritain()));
    p.drawPolygon(toSea.map(ireland()));
    // The red outline of the shown sheet, as the locating overview marks it.
    p.setPen(QPen(QColor(220, 0, 0), 8));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(sea.left() + 0.58 * sea.width(), sea.top() + 0.66 * sea.height(), 0.3 * sea.width(),
        0.22 * sea.height()));
    p.end();
    return image;
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : { 16, 32, 48, 256 })
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

QPixmap splashStandIn(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(QColor(236, 222, 186));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A graticule, as on the sheets.
    p.setPen(QPen(QColor(180, 160, 120), 1));
    for (int x = 40; x < size.width(); x += 80)
        p.drawLine(x, 0, x, size.height());
    for (int y = 30; y < size.height(); y += 80)
        p.drawLine(0, y, size.width(), y);
    p.setPen(QPen(QColor(90, 60, 30), 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(8, 8), size - QSize(17, 17)));
    p.setPen(QColor(90, 40, 40));
    p.setFont(platform::designFont(QStringLiteral("Palatino Linotype"), 48, true, true));
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("Corvane's Atlas"));
    p.end();
    return pixmap;
}

} // namespace corvane
