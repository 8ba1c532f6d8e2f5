#pragma once
// One sheet's control points in the forms other georeferencing tools
// exchange: a IIIF georeference annotation (a W3C Web Annotation whose
// target is the image and whose body is a GeoJSON FeatureCollection of the
// points with the transformation) and a GDAL/QGIS ".points" file.

#include "geo/georeference.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

namespace platform {

struct ExchangedPoints {
    QList<ControlPoint> points;
    GeoTransform transform = GeoTransform::Automatic;
};

// imageId names the scan (a URI); imageSize is its own size in pixels.
QByteArray georeferenceAnnotation(const QString& imageId, QSize imageSize, const ExchangedPoints& points);
// Throws AppError saying what is wrong when the text is not such an
// annotation or a point in it is unreadable.
ExchangedPoints readGeoreferenceAnnotation(const QByteArray& json);

// QGIS keeps pixel rows as negative y; both readings are accepted.
QByteArray pointsFile(const ExchangedPoints& points);
ExchangedPoints readPointsFile(const QByteArray& text);

} // namespace platform
