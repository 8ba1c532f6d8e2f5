#include "geo/georef_exchange.h"

#include "geo/coordinates.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace platform {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("GeorefExchange", text);
}

QJsonObject transformation(GeoTransform transform)
{
    switch (transform) {
    case GeoTransform::Affine:
        return { { QStringLiteral("type"), QStringLiteral("polynomial") },
            { QStringLiteral("options"), QJsonObject { { QStringLiteral("order"), 1 } } } };
    case GeoTransform::Polynomial:
        return { { QStringLiteral("type"), QStringLiteral("polynomial") },
            { QStringLiteral("options"), QJsonObject { { QStringLiteral("order"), 2 } } } };
    case GeoTransform::ThinPlateSpline:
        return { { QStringLiteral("type"), QStringLiteral("thinPlateSpline") } };
    case GeoTransform::Automatic:
        break;
    }
    return {};
}

GeoTransform transformFrom(const QJsonObject& t)
{
    const QString type = t.value(QStringLiteral("type")).toString();
    if (type == u"thinPlateSpline")
        return GeoTransform::ThinPlateSpline;
    if (type == u"polynomial")
        return t.value(QStringLiteral("options")).toObject().value(QStringLiteral("order")).toInt(1) >= 2
            ? GeoTransform::Polynomial
            : GeoTransform::Affine;
    return GeoTransform::Automatic;
}

void checkCount(qsizetype count)
{
    if (count > kMostControlPoints)
        throw AppError(tr("This file holds more than %1 control points, the most a sheet takes.")
                           .arg(kMostControlPoints));
}

ControlPoint pointFrom(const QJsonObject& feature, int number)
{
    const QJsonArray pixel = feature.value(QStringLiteral("properties"))
                                 .toObject()
                                 .value(QStringLiteral("resourceCoords"))
                                 .toArray();
    const QJsonObject geometry = feature.value(QStringLiteral("geometry")).toObject();
    const QJsonArray lonLat = geometry.value(QStringLiteral("coordinates")).toArray();
    if (pixel.size() != 2 || geometry.value(QStringLiteral("type")).toString() != u"Point"
        || lonLat.size() < 2 || !pixel[0].isDouble() || !pixel[1].isDouble() || !lonLat[0].isDouble()
        || !lonLat[1].isDouble())
        throw AppError(tr("Control point %1 needs a Point with its coordinates and resourceCoords with its "
                          "pixel.")
                           .arg(number));
    checkRange(lonLat[0].toDouble(), Axis::Longitude);
    checkRange(lonLat[1].toDouble(), Axis::Latitude);
    return { { pixel[0].toDouble(), pixel[1].toDouble() }, { lonLat[0].toDouble(), lonLat[1].toDouble() } };
}

} // namespace

QByteArray georeferenceAnnotation(const QString& imageId, QSize imageSize, const ExchangedPoints& points)
{
    QJsonArray features;
    for (const ControlPoint& p : points.points)
        features.append(QJsonObject { { QStringLiteral("type"), QStringLiteral("Feature") },
            { QStringLiteral("properties"),
                QJsonObject {
                    { QStringLiteral("resourceCoords"), QJsonArray { p.pixel.x(), p.pixel.y() } } } },
            { QStringLiteral("geometry"),
                QJsonObject { { QStringLiteral("type"), QStringLiteral("Point") },
                    { QStringLiteral("coordinates"), QJsonArray { p.lonLat.x(), p.lonLat.y() } } } } });
    QJsonObject body { { QStringLiteral("type"), QStringLiteral("FeatureCollection") },
        { QStringLiteral("features"), features } };
    if (points.transform != GeoTransform::Automatic)
        body.insert(QStringLiteral("transformation"), transformation(points.transform));
    const QJsonObject annotation {
        { QStringLiteral("@context"),
            QJsonArray { QStringLiteral("http://iiif.io/api/extension/georef/1/context.json"),
                QStringLiteral("http://iiif.io/api/presentation/3/context.json") } },
        { QStringLiteral("type"), QStringLiteral("Annotation") },
        { QStringLiteral("motivation"), QStringLiteral("georeferencing") },
        { QStringLiteral("target"),
            QJsonObject { { QStringLiteral("type"), QStringLiteral("SpecificResource") },
                { QStringLiteral("source"),
                    QJsonObject { { QStringLiteral("id"), imageId },
                        { QStringLiteral("type"), QStringLiteral("Image") },
                        { QStringLiteral("width"), imageSize.width() },
                        { QStringLiteral("height"), imageSize.height() } } } } },
        { QStringLiteral("body"), body },
    };
    return QJsonDocument(annotation).toJson();
}

ExchangedPoints readGeoreferenceAnnotation(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    const QJsonObject body = doc.object().value(QStringLiteral("body")).toObject();
    if (error.error != QJsonParseError::NoError
        || doc.object().value(QStringLiteral("type")).toString() != u"Annotation"
        || body.value(QStringLiteral("type")).toString() != u"FeatureCollection")
        throw AppError(
            tr("This is not a georeference annotation: it must be a Web Annotation whose body is a "
               "GeoJSON FeatureCollection of control points."));
    ExchangedPoints out;
    out.transform = transformFrom(body.value(QStringLiteral("transformation")).toObject());
    const QJsonArray features = body.value(QStringLiteral("features")).toArray();
    checkCount(features.size());
    for (qsizetype i = 0; i < features.size(); ++i)
        out.points << pointFrom(features[i].toObject(), int(i) + 1);
    return out;
}

QByteArray pointsFile(const ExchangedPoints& points)
{
    QByteArray text = "#CRS: EPSG:4326\nmapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
    for (const ControlPoint& p : points.points)
        text += QByteArray::number(p.lonLat.x(), 'f', 9) + ',' + QByteArray::number(p.lonLat.y(), 'f', 9)
            + ',' + QByteArray::number(p.pixel.x(), 'f', 4) + ',' + QByteArray::number(-p.pixel.y(), 'f', 4)
            + ",1,0,0,0\n";
    return text;
}

ExchangedPoints readPointsFile(const QByteArray& text)
{
    ExchangedPoints out;
    const QList<QByteArray> lines = text.split('\n');
    bool header = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!header) {
            header = line.startsWith("mapX,mapY,");
            if (!header)
                throw AppError(
                    tr("This is not a .points file: its first line must name mapX, mapY and the pixel."));
            continue;
        }
        const QList<QByteArray> f = line.split(',');
        bool ok[4] {};
        const double x = f.value(0).toDouble(&ok[0]), y = f.value(1).toDouble(&ok[1]);
        const double px = f.value(2).toDouble(&ok[2]), py = f.value(3).toDouble(&ok[3]);
        if (f.size() < 4 || !ok[0] || !ok[1] || !ok[2] || !ok[3])
            throw AppError(tr("Line %1 of the .points file cannot be read.").arg(i + 1));
        if (f.value(4).trimmed() == "0")
            continue; // switched off in the program that wrote it
        checkRange(x, Axis::Longitude);
        checkRange(y, Axis::Latitude);
        out.points << ControlPoint { { px, std::fabs(py) }, { x, y } };
        checkCount(out.points.size());
    }
    return out;
}

} // namespace platform
