// A sheet's control points as a IIIF georeference annotation and as a
// GDAL/QGIS .points file: written and read back alike, and files of another
// kind refused with a reason.

#include "geo/georef_exchange.h"

#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>

using platform::ControlPoint;
using platform::ExchangedPoints;
using platform::GeoTransform;

namespace {

const ExchangedPoints kPoints { { { { 134.5, 96.25 }, { -3.1393851, 61.0999462 } },
                                    { { 3886, 96 }, { -0.25, 60.75 } }, { { 2010, 2784 }, { -1.5, 59.7 } } },
    GeoTransform::Polynomial };

QString refusal(const std::function<void()>& read)
{
    try {
        read();
    } catch (const platform::AppError& e) {
        return e.message();
    }
    return {};
}

void comparePoints(const QList<ControlPoint>& got)
{
    QCOMPARE(got.size(), kPoints.points.size());
    for (int i = 0; i < got.size(); ++i) {
        QVERIFY(QLineF(got[i].pixel, kPoints.points[i].pixel).length() < 1e-3);
        QVERIFY(QLineF(got[i].lonLat, kPoints.points[i].lonLat).length() < 1e-8);
    }
}

} // namespace

class TestGeorefExchange : public QObject {
    Q_OBJECT
private slots:
    void annotationRoundTrip()
    {
        const QByteArray json = platform::georeferenceAnnotation(
            QStringLiteral("file:///atlas/GB-12G.JPG"), { 4020, 2880 }, kPoints);
        const QJsonObject doc = QJsonDocument::fromJson(json).object();
        QCOMPARE(doc.value(QStringLiteral("motivation")).toString(), QStringLiteral("georeferencing"));
        const QJsonObject source
            = doc.value(QStringLiteral("target")).toObject().value(QStringLiteral("source")).toObject();
        QCOMPARE(source.value(QStringLiteral("width")).toInt(), 4020);
        QCOMPARE(source.value(QStringLiteral("id")).toString(), QStringLiteral("file:///atlas/GB-12G.JPG"));
        const ExchangedPoints back = platform::readGeoreferenceAnnotation(json);
        QCOMPARE(back.transform, GeoTransform::Polynomial);
        comparePoints(back.points);
    }

    void pointsFileRoundTrip()
    {
        const QByteArray text = platform::pointsFile(kPoints);
        QVERIFY(text.contains(",-96.2500,")); // rows downwards, as QGIS keeps them
        comparePoints(platform::readPointsFile(text).points);
        const ExchangedPoints switchedOff
            = platform::readPointsFile("mapX,mapY,pixelX,pixelY,enable\n-1,52,10,-20,1\n-2,53,30,-40,0\n");
        QCOMPARE(switchedOff.points.size(), 1);
        QCOMPARE(switchedOff.points[0].pixel, QPointF(10, 20));
    }

    void otherFilesRefused()
    {
        QVERIFY(refusal([] {
            platform::readGeoreferenceAnnotation(R"({"type":"FeatureCollection","features":[]})");
        }).contains(QStringLiteral("not a georeference annotation")));
        const QByteArray farOff = R"({"type":"Annotation","body":{"type":"FeatureCollection","features":[
            {"type":"Feature","properties":{"resourceCoords":[1,2]},"geometry":{"type":"Point","coordinates":[200,10]}}]}})";
        QVERIFY(refusal([&] {
            platform::readGeoreferenceAnnotation(farOff);
        }).contains(QStringLiteral("longitude")));
        QVERIFY(refusal([] { platform::readPointsFile("x;y\n1;2\n"); }).contains(QStringLiteral(".points")));
        QVERIFY(refusal([] {
            platform::readPointsFile("mapX,mapY,pixelX,pixelY\n-1,fifty,3,4\n");
        }).contains(QStringLiteral("Line 2")));
        // More than a fit could be solved with in good time.
        ExchangedPoints many;
        for (int i = 0; i <= platform::kMostControlPoints; ++i)
            many.points << ControlPoint { { double(i), double(i % 7) },
                { -1 + i * 1e-4, 52 + (i % 7) * 1e-3 } };
        const QString most = QStringLiteral("more than %1").arg(platform::kMostControlPoints);
        QVERIFY(refusal([&] {
            platform::readGeoreferenceAnnotation(platform::georeferenceAnnotation({}, { 7000, 5000 }, many));
        }).contains(most));
        QVERIFY(refusal([&] { platform::readPointsFile(platform::pointsFile(many)); }).contains(most));
        many.points.removeLast();
        QCOMPARE(
            platform::readPointsFile(platform::pointsFile(many)).points.size(), platform::kMostControlPoints);
    }
};

QTEST_GUILESS_MAIN(TestGeorefExchange)
#include "test_georef_exchange.moc"
