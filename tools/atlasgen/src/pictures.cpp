#include "pictures.h"

#include "geo.h"
#include "mappainter.h"
#include "paper.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace atlasgen {

namespace {

QPen pen(const QColor& c, double w, Qt::PenStyle style = Qt::SolidLine)
{
    return QPen(c, w, style, Qt::FlatCap, Qt::MiterJoin);
}

QImage whitePrint(QSize size)
{
    QImage print(size, QImage::Format_ARGB32_Premultiplied);
    print.fill(Qt::white);
    return print;
}

void drawText(QPainter& p, const QRectF& box, int flags, const QFont& font, const QString& text,
    const QColor& colour = ink::text)
{
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, flags, text);
}

QString degreeText(double value, bool minutesOnly)
{
    const double a = std::fabs(value);
    const int deg = int(std::floor(a + 1e-9));
    const int min = int(std::lround((a - deg) * 60));
    if (min == 0)
        return QStringLiteral("%1°").arg(deg);
    return minutesOnly ? QStringLiteral("%1'").arg(min) : QStringLiteral("%1°%2'").arg(deg).arg(min);
}

// The neat line with its band of alternating five-minute bars, labelled
// every half degree where meridians and parallels cross it.
void drawFrame(QPainter& p, const Projection& proj, const MapPainter& mp, const QRectF& map, double u,
    const QVector<QRectF>& avoid)
{
    const double band = 26 * u;
    const QRectF outer = map.adjusted(-band, -band, band, band);
    const QTransform toKm = mp.transform().inverted();
    const QFont font = atlasFont(QStringLiteral("C059"), 30 * u);
    p.setBrush(Qt::NoBrush);
    struct Edge {
        QPointF a, b;
        bool lon;
        double outward;
    };
    const Edge edges[] = { { map.topLeft(), map.topRight(), true, -1 },
        { map.bottomLeft(), map.bottomRight(), true, 1 }, { map.topLeft(), map.bottomLeft(), false, -1 },
        { map.topRight(), map.bottomRight(), false, 1 } };
    for (const Edge& e : edges) {
        const QLineF line(e.a, e.b);
        const int steps = int(line.length() / 2);
        const bool horizontal = e.a.y() == e.b.y();
        auto value = [&](double t) {
            const QPointF ll = proj.inverse(toKm.map(line.pointAt(t)));
            return e.lon ? ll.x() : ll.y();
        };
        double prev = value(0);
        double runStart = 0;
        for (int i = 1; i <= steps; ++i) {
            const double t = double(i) / steps, v = value(t);
            const bool crossed = std::floor(v * 12) != std::floor(prev * 12);
            if (crossed || i == steps) {
                if (int(std::floor(prev * 12)) % 2 == 0) {
                    const QPointF s = line.pointAt(runStart), f = line.pointAt(t);
                    const QRectF bar = horizontal ? QRectF(s.x(), e.a.y() + e.outward * band * 0.3,
                                           f.x() - s.x(), e.outward * band * 0.4)
                                                  : QRectF(e.a.x() + e.outward * band * 0.3, s.y(),
                                                      e.outward * band * 0.4, f.y() - s.y());
                    p.fillRect(bar.normalized(), ink::text);
                }
                runStart = t;
            }
            if (std::floor(v * 2) != std::floor(prev * 2)) {
                const double mark = std::round(std::max(v, prev) * 2) / 2;
                const QPointF at = line.pointAt(t);
                const QPointF out = horizontal ? QPointF(0, e.outward) : QPointF(e.outward, 0);
                p.setPen(pen(ink::text, 2.2 * u));
                p.drawLine(at, at + out * (band + 12 * u));
                const QString text = degreeText(mark, std::fabs(mark - std::round(mark)) > 0.01);
                p.save();
                p.translate(at + out * (band + 16 * u));
                if (!horizontal)
                    p.rotate(e.outward > 0 ? 90 : -90);
                // below the bottom edge the figure hangs from the frame; elsewhere
                // (rotated on the sides) it stands on it
                const bool hang = horizontal && e.outward > 0;
                const QRectF box(-120 * u, hang ? 0 : -40 * u, 240 * u, 40 * u);
                const QRectF onSheet = p.transform().mapRect(box);
                if (std::none_of(
                        avoid.begin(), avoid.end(), [&](const QRectF& a) { return a.intersects(onSheet); }))
                    drawText(p, box, Qt::AlignHCenter | (hang ? Qt::AlignTop : Qt::AlignBottom), font, text);
                p.restore();
            }
            prev = v;
        }
    }
    p.setPen(pen(ink::text, 2.2 * u));
    p.drawRect(map);
    p.drawRect(map.adjusted(-band * 0.3, -band * 0.3, band * 0.3, band * 0.3));
    p.drawRect(map.adjusted(-band * 0.7, -band * 0.7, band * 0.7, band * 0.7));
    p.setPen(pen(ink::text, 5 * u));
    p.drawRect(outer);
}

QString longitudeNote(const Projection& proj, const QRectF& viewKm)
{
    const double west = proj.inverse(viewKm.topLeft()).x(), east = proj.inverse(viewKm.bottomRight()).x();
    if (east <= 0)
        return QStringLiteral("Westliche Länge von Greenwich");
    if (west >= 0)
        return QStringLiteral("Östliche Länge von Greenwich");
    return QStringLiteral("Länge von Greenwich");
}

QRectF viewFor(const QRectF& cell, const QRectF& target)
{
    const double h = cell.height(), w = h * target.width() / target.height();
    return { cell.center().x() - w / 2, cell.top(), w, h };
}

} // namespace

QRectF sheetMapArea(QSize size)
{
    return { size.width() / 30.0, size.height() / 30.0, size.width() * 28 / 30.0, size.height() * 28 / 30.0 };
}

QTransform sheetPlaneToPixels(const Sheet& sheet, QSize size)
{
    const QRectF map = sheetMapArea(size);
    return MapPainter::planeToPicture(viewFor(grid::cellKm(sheet.cell), map), map);
}

QImage renderDetailSheet(const GeoData& geo, const Sheet& sheet, QSize size)
{
    const double u = size.width() / 4020.0;
    const QRectF map = sheetMapArea(size);
    const QRectF view = viewFor(grid::cellKm(sheet.cell), map);
    QImage print = whitePrint(size);
    MapPainter mp(geo, print, view, map, MapDetail::Sheet);
    mp.paint();

    QPainter p(&print);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double top = map.top() - 26 * u;
    const QFont titleFont = atlasFont(QStringLiteral("P052"), 48 * u, false, true);
    const QRectF titleBox(size.width() * 0.2, 0, size.width() * 0.6, top - 4 * u);
    drawText(p, titleBox, Qt::AlignCenter, titleFont, sheet.title);
    const QFontMetricsF fm(titleFont);
    const double tw = fm.horizontalAdvance(sheet.title) + 80 * u;
    const QStringList pages = sheet.pages.split(u'-');
    const QFont pageFont = atlasFont(QStringLiteral("C059"), 44 * u);
    const QRectF pageBand(map.left() - 26 * u, 0, map.width() + 52 * u, top - 4 * u);
    drawText(p, pageBand, Qt::AlignLeft | Qt::AlignVCenter, pageFont, pages.value(0));
    drawText(p, pageBand, Qt::AlignRight | Qt::AlignVCenter, pageFont, pages.value(1, pages.value(0)));
    const double corner = 160 * u;
    const QVector<QRectF> avoid { QRectF(size.width() / 2.0 - tw / 2, 0, tw, top),
        QRectF(0, 0, map.left() + corner, top), QRectF(map.right() - corner, 0, corner * 2, top),
        QRectF(0, map.bottom() + 26 * u, map.left() + corner, 200 * u),
        QRectF(map.right() - corner * 1.5, map.bottom() + 26 * u, corner * 3, 200 * u),
        QRectF(size.width() / 2.0 - 420 * u, map.bottom() + 26 * u, 840 * u, 200 * u) };
    drawFrame(p, geo.projection(), mp, map, u, avoid);

    const double bottom = map.bottom() + 26 * u;
    const QRectF foot(map.left(), bottom + 34 * u, map.width(), size.height() - bottom - 36 * u);
    const QFont footFont = atlasFont(QStringLiteral("C059"), 28 * u, true);
    drawText(p, foot, Qt::AlignLeft | Qt::AlignVCenter, footFont, QStringLiteral("Maßstab 1 : 450 000"));
    drawText(p, foot, Qt::AlignHCenter | Qt::AlignVCenter, footFont, longitudeNote(geo.projection(), view));
    drawText(p, foot, Qt::AlignRight | Qt::AlignVCenter, footFont, QStringLiteral("Blatt ") + sheet.id);
    p.end();

    QImage paper = makePaper(size, qHash(sheet.id));
    printOnPaper(paper, print);
    return paper;
}

QImage renderOverview(const GeoData& geo, const Overview& overview, const QVector<Sheet>& sheets)
{
    const QSize size(grid::kOverviewWidth, grid::kOverviewHeight);
    QImage print = whitePrint(size);
    MapPainter mp(geo, print, overview.viewKm(), QRectF(QPointF(0, 0), size), MapDetail::Overview);
    mp.paint();

    QPainter p(&print);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont idFont = atlasFont(QStringLiteral("Nimbus Sans Narrow"), 15, false, true);
    for (const Sheet& s : sheets) {
        if (!overview.contains(s.cell))
            continue;
        const QRect r = overview.cellPixels(s.cell);
        const bool own = &overviewFor(s.country) == &overview;
        p.setBrush(Qt::NoBrush);
        p.setPen(own ? pen(QColor(0x7a, 0x1e, 0x14), 1.2) : pen(QColor(0x80, 0x78, 0x70), 1.0, Qt::DashLine));
        p.drawRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5));
        QPainterPath text;
        text.addText(r.left() + 5, r.top() + 17, idFont, s.id);
        p.setPen(QPen(Qt::white, 3));
        p.drawPath(text);
        p.setPen(Qt::NoPen);
        p.setBrush(own ? QColor(0x7a, 0x1e, 0x14) : QColor(0x70, 0x68, 0x60));
        p.drawPath(text);
    }
    const QFont titleFont = atlasFont(QStringLiteral("P052"), 21, false, true);
    const QRectF titleBox(250, 8, 500, 30);
    p.fillRect(titleBox, QColor(Qt::white));
    p.setPen(pen(ink::text, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(titleBox);
    drawText(p, titleBox, Qt::AlignCenter, titleFont, overview.title);
    p.setPen(pen(ink::text, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1.5, 1.5, size.width() - 3, size.height() - 3));
    p.end();

    QImage paper = makePaper(size, qHash(overview.id));
    printOnPaper(paper, print);
    return paper;
}

QImage renderSplash(const GeoData& geo)
{
    const QSize size(764, 460);
    const QPointF london = geo.projection().forward(-0.128, 51.507);
    const double w = 74, h = w * size.height() / size.width();
    const QRectF view(london.x() - w * 0.46, london.y() - h * 0.55, w, h);
    QImage print = whitePrint(size);
    MapPainter(geo, print, view, QRectF(QPointF(0, 0), size), MapDetail::Sheet).paint();
    QImage paper = makePaper(size, 1851);
    printOnPaper(paper, print);
    return paper;
}

} // namespace atlasgen

namespace atlasgen {

QImage renderIcon(const GeoData& geo)
{
    // A small globe-like emblem: the islands in a round frame.
    const int size = 256;
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(8, 8, size - 16, size - 16);
    QPainterPath round;
    round.addEllipse(disc);
    p.fillPath(round, QColor(0xb9, 0xd3, 0xdf));
    p.setClipPath(round);
    const QPointF centre = geo.projection().forward(-4.3, 55.0);
    const double scale = (size - 40) / 1250.0; // px per km
    QTransform t(scale, 0, 0, -scale, size / 2.0 - centre.x() * scale, size / 2.0 + centre.y() * scale);
    p.setPen(QPen(ink::water, 1.0));
    for (double lon = -14; lon <= 6; lon += 2) {
        QPolygonF line;
        for (double lat = 46; lat <= 64; lat += 0.5)
            line << t.map(geo.projection().forward(lon, lat));
        p.drawPolyline(line);
    }
    for (double lat = 48; lat <= 62; lat += 2) {
        QPolygonF line;
        for (double lon = -16; lon <= 8; lon += 0.5)
            line << t.map(geo.projection().forward(lon, lat));
        p.drawPolyline(line);
    }
    QPainterPath land;
    land.setFillRule(Qt::OddEvenFill);
    for (const Shape& s : geo.land)
        if (s.bounds.width() > 8)
            land.addPolygon(t.map(s.km));
    p.setPen(QPen(ink::text, 1.2));
    p.setBrush(QColor(0xef, 0xe2, 0xc0));
    p.drawPath(land);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x7a, 0x1e, 0x14), 10));
    p.drawEllipse(disc.adjusted(4, 4, -4, -4));
    p.setPen(QPen(QColor(0xd9, 0xb8, 0x5a), 2.5));
    p.drawEllipse(disc.adjusted(4, 4, -4, -4));
    return icon;
}

} // namespace atlasgen
