#pragma once
// Which sheets have a georeference, and the gazetteer. The atlas "CD" may
// carry both (Georef\CONTROL.TSV: control points per sheet; Georef\TOWNS.TSV:
// towns with coordinates and the pixel each is drawn at); a sheet without
// shipped points has no georeference. Read once per atlas folder and kept.

#include "geo/georeference.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvane {

struct GazetteerTown {
    QString name;
    QPointF lonLat;
    QString sheetId; // empty when no sheet shows it
    QPointF pixel; // where that sheet draws it
};

// The towns of the atlas's gazetteer; empty when the atlas has none.
const QList<GazetteerTown>& gazetteer();

// The control points the atlas ships for a sheet, and the sheets that have any.
QList<platform::ControlPoint> shippedControlPoints(const QString& sheetId);
QStringList georeferencedSheets();

// The sheet's georeference; null when it has none or its points give no
// fit. Fitted once and kept until forgetGeoreference(), which the user's
// points of the sheet changing calls for.
const platform::Georeference* sheetGeoreference(const QString& sheetId);
void forgetGeoreference(const QString& sheetId);

// The point of a pin as the georeference sees it: the centre of its pixel.
QPointF pixelCentre(QPoint pinPoint);
// The coordinates of a pixel of a sheet; nullopt without a georeference.
std::optional<QPointF> lonLatOnSheet(const QString& sheetId, QPointF pixel);

// The sheet whose georeferenced area holds the point; where several do, the
// one where it lies farthest from the area's edge.
struct SheetPoint {
    QString sheetId;
    QPointF pixel;
};
std::optional<SheetPoint> sheetForLonLat(QPointF lonLat);

} // namespace corvane
