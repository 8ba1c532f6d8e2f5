#include "georef.h"

#include "geo.h"
#include "pictures.h"

#include <QSaveFile>

namespace atlasgen {

namespace {

bool writeText(const QString& path, const QString& text, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// Seven decimals of a degree are about a centimetre: far finer than a pixel.
QString degrees(double value)
{
    return QString::number(value, 'f', 8);
}

QString pixels(double value)
{
    return QString::number(value, 'f', 3);
}

} // namespace

bool writeControlPoints(const QString& path, const GeoData& geo, const QVector<Sheet>& sheets, QString& error)
{
    QString text = QStringLiteral("Map\tX\tY\tLongitude\tLatitude\n");
    const QRectF map = sheetMapArea();
    for (const Sheet& s : sheets) {
        const QTransform toKm = sheetPlaneToPixels(s).inverted();
        for (int j = 0; j < kGridPoints; ++j)
            for (int i = 0; i < kGridPoints; ++i) {
                const QPointF px(map.left() + map.width() * i / (kGridPoints - 1),
                    map.top() + map.height() * j / (kGridPoints - 1));
                const QPointF lonLat = geo.projection().inverse(toKm.map(px));
                text += QStringList { s.id, pixels(px.x()), pixels(px.y()), degrees(lonLat.x()),
                    degrees(lonLat.y()) }
                            .join(u'\t')
                    + u'\n';
            }
    }
    return writeText(path, text, error);
}

bool writeGazetteer(const QString& path, const GeoData& geo, const QVector<Sheet>& sheets, QString& error)
{
    QString text = QStringLiteral("Name\tLongitude\tLatitude\tMap\tX\tY\n");
    for (const Town& t : geo.towns) {
        // Where the town was drawn: a coastal town may have been moved onto
        // the shore, so its coordinates come from the plane, not the input.
        const QPointF lonLat = geo.projection().inverse(t.km);
        QStringList row { t.name, degrees(lonLat.x()), degrees(lonLat.y()), QString(), QString(), QString() };
        for (const Sheet& s : sheets) {
            if (!grid::cellKm(s.cell).contains(t.km))
                continue;
            const QPointF px = sheetPlaneToPixels(s).map(t.km);
            row[3] = s.id;
            row[4] = pixels(px.x());
            row[5] = pixels(px.y());
        }
        text += row.join(u'\t') + u'\n';
    }
    return writeText(path, text, error);
}

} // namespace atlasgen
