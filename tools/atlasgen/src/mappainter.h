#pragma once
// Draws a region of the atlas in the engraved, hand-coloured style onto a
// white "print" layer that is later multiplied onto toned paper. One painter
// per picture; pictures may be drawn on several threads at once.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QTransform>

#include "geo.h"

namespace atlasgen {

class GeoData;

enum class MapDetail { Sheet, Overview };

class MapPainter {
public:
    // viewKm: the region in the projection plane (y north); targetPx: where it
    // goes in the picture. The aspect ratios must agree.
    MapPainter(
        const GeoData& geo, QImage& print, const QRectF& viewKm, const QRectF& targetPx, MapDetail detail);

    void paint();
    QPointF toPx(QPointF km) const { return m_toPx.map(km); }
    QTransform transform() const { return m_toPx; }
    // The projection plane (y north) to picture pixels (y down).
    static QTransform planeToPicture(const QRectF& viewKm, const QRectF& targetPx);
    // Scale relative to a detail sheet, for sizes of pens and type.
    double unit() const { return m_unit; }

private:
    QImage countryLabels(const QPainterPath& land, QRect target, int margin) const;
    void paintWashes(const QPainterPath& land);
    void paintCoast(QPainter& p, const QPainterPath& land);
    void paintRelief(QPainter& p, const QPainterPath& land);
    void paintLakesAndRivers(QPainter& p);
    void paintBorders(QPainter& p);
    void paintGraticule(QPainter& p);
    void paintRailways(QPainter& p);
    void paintPeaks(QPainter& p);
    void paintLabels(QPainter& p);
    void paintTowns(QPainter& p);

    QPainterPath shapesPath(const QVector<Shape>& shapes, double marginKm, bool closed) const;
    bool placeLabel(const QRectF& r);
    double marginKm() const;

    const GeoData& m_geo;
    QImage& m_print;
    QRectF m_viewKm, m_targetPx;
    MapDetail m_detail;
    QTransform m_toPx;
    double m_unit;
    QVector<QRectF> m_placed;
};

// The inks and washes of the plates, shared by the map and its key.
namespace ink {
inline const QColor text(0x24, 0x1d, 0x17);
inline const QColor water(0x2c, 0x4f, 0x73);
inline const QColor waterLine(0x44, 0x66, 0x80);
inline const QColor waterTint(0x9d, 0xc0, 0xd4);
inline const QColor lake(0xc9, 0xdc, 0xe4);
inline const QColor relief(0x5f, 0x4e, 0x3e);
inline const QColor capital(0xa0, 0x20, 0x20);
QColor country(const QString& code); // E, S, W, I, F
} // namespace ink

QFont atlasFont(const QString& family, double pixelSize, bool italic = false, bool bold = false);

} // namespace atlasgen
