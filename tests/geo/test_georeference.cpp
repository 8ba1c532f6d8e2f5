// The fit through control points (GDAL's transformers underneath) and the
// coordinates as the user types and reads them.

#include "geo/coordinates.h"
#include "geo/georeference.h"

#include <QtTest>

using platform::Axis;
using platform::ControlPoint;
using platform::Georeference;
using platform::GeoTransform;

namespace {

// A sheet drawn at a known affine relation, slightly sheared.
QPointF knownAffine(QPointF px)
{
    return { -2.0 + 0.0004 * px.x() + 0.00002 * px.y(), 53.0 - 0.00025 * px.y() + 0.00001 * px.x() };
}

QList<ControlPoint> pointsOn(const QList<QPointF>& pixels, QPointF (*relation)(QPointF) = knownAffine)
{
    QList<ControlPoint> points;
    for (const QPointF& px : pixels)
        points << ControlPoint { px, relation(px) };
    return points;
}

QString fitError(const QList<ControlPoint>& points, GeoTransform choice)
{
    try {
        Georeference::fit(points, choice);
    } catch (const platform::FitError& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestGeoreference : public QObject {
    Q_OBJECT
private slots:
    void affineFromThreePointsIsExact()
    {
        const Georeference g = Georeference::fit(pointsOn({ { 100, 100 }, { 3900, 200 }, { 1800, 2700 } }));
        QCOMPARE(g.transform(), GeoTransform::Affine);
        const QPointF probe(2500.5, 1234.25);
        const std::optional<QPointF> ll = g.toLonLat(probe);
        QVERIFY(ll);
        QVERIFY(std::fabs(ll->x() - knownAffine(probe).x()) < 1e-9);
        QVERIFY(std::fabs(ll->y() - knownAffine(probe).y()) < 1e-9);
        const std::optional<QPointF> back = g.toPixel(*ll);
        QVERIFY(back);
        QVERIFY(QLineF(*back, probe).length() < 1e-6);
        for (const platform::Residual& r : g.residuals())
            QVERIFY(r.pixels < 1e-6 && r.metres < 1e-3);
        QVERIFY(!g.poor());
    }

    void misplacedPointShowsInResiduals()
    {
        QList<ControlPoint> points = pointsOn(
            { { 200, 200 }, { 2000, 150 }, { 3800, 300 }, { 300, 2600 }, { 2100, 2500 }, { 3700, 2700 } });
        points[4].pixel += QPointF(40, -30); // clicked 50 pixels off
        const Georeference g = Georeference::fit(points, GeoTransform::Affine);
        QCOMPARE(g.residuals().size(), 6);
        int worst = 0;
        for (int i = 1; i < 6; ++i)
            if (g.residuals()[i].pixels > g.residuals()[worst].pixels)
                worst = i;
        QCOMPARE(worst, 4);
        QVERIFY2(g.residuals()[4].pixels > 20, qPrintable(QString::number(g.residuals()[4].pixels)));
        QVERIFY(g.poor());
        // About 28 m a pixel on this sheet (0.00025 degrees of latitude).
        const double metresPerPixel = g.residuals()[4].metres / g.residuals()[4].pixels;
        QVERIFY2(metresPerPixel > 20 && metresPerPixel < 40, qPrintable(QString::number(metresPerPixel)));
    }

    void polynomialAndSplineFollowCurvedSheets()
    {
        auto curved = [](QPointF px) {
            return QPointF(-3 + 0.0004 * px.x() + 2e-8 * px.x() * px.y(),
                55 - 0.00025 * px.y() - 1e-8 * px.x() * px.x());
        };
        QList<QPointF> pixels;
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i)
                pixels << QPointF(150 + 1200 * i + 37 * j, 100 + 850 * j + 11 * i);
        const QPointF probe(1777, 1333);
        for (GeoTransform t : { GeoTransform::Polynomial, GeoTransform::ThinPlateSpline }) {
            const Georeference g = Georeference::fit(pointsOn(pixels, curved), t);
            QCOMPARE(g.transform(), t);
            // Second order is exact for this sheet; the spline close to it.
            const std::optional<QPointF> ll = g.toLonLat(probe);
            QVERIFY(ll);
            const double off = QLineF(*ll, curved(probe)).length();
            QVERIFY2(off < (t == GeoTransform::Polynomial ? 1e-9 : 2e-3), qPrintable(QString::number(off)));
            const std::optional<QPointF> px = g.toPixel(*ll);
            QVERIFY(px);
            QVERIFY2(QLineF(*px, probe).length() < 0.5, qPrintable(transformName(t)));
        }
        QCOMPARE(Georeference::fit(pointsOn(pixels, curved)).transform(), GeoTransform::ThinPlateSpline);
        QCOMPARE(Georeference::fit(pointsOn(pixels.mid(0, 7), curved)).transform(), GeoTransform::Polynomial);
    }

    void refusals_data()
    {
        QTest::addColumn<QList<QPointF>>("pixels");
        QTest::addColumn<GeoTransform>("choice");
        QTest::addColumn<QString>("says");
        const QList<QPointF> spread { { 0, 0 }, { 1000, 50 }, { 200, 900 }, { 1500, 1200 }, { 700, 300 },
            { 2500, 800 }, { 100, 2000 } };
        QTest::newRow("affine, two points") << spread.mid(0, 2) << GeoTransform::Automatic << "add 1 more";
        QTest::newRow("polynomial, five") << spread.mid(0, 5) << GeoTransform::Polynomial << "add 1 more";
        QTest::newRow("spline, seven") << spread << GeoTransform::ThinPlateSpline << "add 3 more";
        QList<QPointF> grid;
        for (int i = 0; i < platform::kMostControlPoints + 5; ++i)
            grid << QPointF(i % 40 * 100, i / 40 * 100);
        QTest::newRow("too many") << grid << GeoTransform::ThinPlateSpline << "remove 5";
        QTest::newRow("collinear") << QList<QPointF> { { 0, 0 }, { 100, 100 }, { 300, 300 }, { 250, 250 } }
                                   << GeoTransform::Affine << "one line";
        QTest::newRow("one spot") << QList<QPointF> { { 5, 5 }, { 5, 5 }, { 5, 5 } } << GeoTransform::Affine
                                  << "one line";
    }
    void refusals()
    {
        QFETCH(QList<QPointF>, pixels);
        QFETCH(GeoTransform, choice);
        QFETCH(QString, says);
        const QString message = fitError(pointsOn(pixels), choice);
        QVERIFY2(message.contains(says), qPrintable(message));
    }

    void collinearCoordinatesRefused()
    {
        QList<ControlPoint> points = pointsOn({ { 0, 0 }, { 1000, 50 }, { 200, 900 } });
        for (ControlPoint& p : points)
            p.lonLat = { -1, 52 + p.pixel.x() / 1000 }; // all on one meridian
        QVERIFY(fitError(points, GeoTransform::Affine).contains(QStringLiteral("coordinates")));
    }

    void parseAngles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("latitude");
        QTest::addColumn<double>("degrees");
        QTest::newRow("decimal") << "51.50700" << true << 51.507;
        QTest::newRow("negative decimal") << " -0.128 " << false << -0.128;
        QTest::newRow("dms north") << "51°30'25.2\"N" << true << 51.507;
        QTest::newRow("dms west") << "0°07'40.8\"W" << false << -0.128;
        QTest::newRow("letter first, spaces") << "s 33 52 12" << true << -(33 + 52 / 60.0 + 12 / 3600.0);
        QTest::newRow("degrees and minutes") << "4° 30′ E" << false << 4.5;
    }
    void parseAngles()
    {
        QFETCH(QString, text);
        QFETCH(bool, latitude);
        QFETCH(double, degrees);
        const double got = platform::parseAngle(text, latitude ? Axis::Latitude : Axis::Longitude);
        QVERIFY2(std::fabs(got - degrees) < 1e-9, qPrintable(QString::number(got, 'f', 9)));
    }

    void refusedAngles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("latitude");
        QTest::newRow("latitude beyond the pole") << "90.5" << true;
        QTest::newRow("longitude beyond 180") << "-181" << false;
        QTest::newRow("minutes of 75") << "51 75 0 N" << true;
        QTest::newRow("east for a latitude") << "51 E" << true;
        QTest::newRow("sign and letter") << "-51 S" << true;
        QTest::newRow("words") << "near Leeds" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("four numbers") << "1 2 3 4" << false;
    }
    void refusedAngles()
    {
        QFETCH(QString, text);
        QFETCH(bool, latitude);
        try {
            platform::parseAngle(text, latitude ? Axis::Latitude : Axis::Longitude);
            QFAIL("accepted");
        } catch (const platform::CoordinateError& e) {
            QVERIFY2(e.message().contains(latitude ? u"latitude" : u"longitude"), qPrintable(e.message()));
        }
    }

    void formats()
    {
        QCOMPARE(platform::formatLatLon({ -0.128, 51.507 }), QStringLiteral("51.50700, -0.12800"));
        QCOMPARE(
            platform::formatLatLon({ -0.128, 51.507 }, true), QStringLiteral("51°30'25.2\"N 0°07'40.8\"W"));
        // 59.99" rounds up into the next minute, never to 60.0".
        QCOMPARE(
            platform::formatAngle(10 + 59.99 / 3600, Axis::Longitude, true), QStringLiteral("10°01'00.0\"E"));
        for (double v : { 53.123456, -6.25, 0.0001 })
            QVERIFY(
                std::fabs(
                    platform::parseAngle(platform::formatAngle(v, Axis::Latitude, true), Axis::Latitude) - v)
                < 0.1 / 3600);
        QVERIFY(platform::webMapAddress({ -0.128, 51.507 })
                    .contains(QStringLiteral("mlat=51.50700&mlon=-0.12800")));
    }
};

QTEST_GUILESS_MAIN(TestGeoreference)
#include "test_georeference.moc"
