// Checks the atlas generator's own logic and its hand-written data: the
// distance field, the projection, the gazetteer against the coastline and
// the sheet list against the land it covers. The generator is a build tool,
// not part of the application library, so its sources are compiled in here.

#include <QtTest>

#include <QTemporaryDir>

#include "distancefield.h"
#include "geo.h"
#include "sheetgrid.h"
#include "tables.h"

#include <cmath>
#include <random>

using namespace atlasgen;

namespace {

QString dataDir()
{
    // Not from __FILE__: the compiler cache may make that path relative.
    return QStringLiteral(ATLASGEN_DATA_DIR);
}

double greatCircleKm(QPointF a, QPointF b)
{
    const double d = M_PI / 180;
    const double h = std::pow(std::sin((b.y() - a.y()) * d / 2), 2)
        + std::cos(a.y() * d) * std::cos(b.y() * d) * std::pow(std::sin((b.x() - a.x()) * d / 2), 2);
    return 2 * 6371.0 * std::asin(std::sqrt(h));
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

class TestAtlasGen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void distanceFieldIsExact();
    void projectionRoundTrip();
    void projectionKeepsDistances();
    void townsLieOnLand();
    void countyTownsLieInTheirCountry();
    void sheetCountryIsWhereItsLandIs();
    void noLandIsLeftOffTheAtlas();
    void badSheetListsAreRefused_data();
    void badSheetListsAreRefused();
    void brokenGeodataIsReported();
    void rtfAndCodePage();

private:
    GeoData m_geo;
    QVector<Sheet> m_sheets;
    // Land samples of a cell by country (E, S, W, I; the Continent left out).
    QHash<QString, int> landOf(Cell c) const;
};

void TestAtlasGen::initTestCase()
{
    QVERIFY2(m_geo.load(dataDir()), qPrintable(m_geo.error()));
    QString error;
    QVERIFY2(loadSheets(dataDir() + QStringLiteral("/sheets.tsv"), m_sheets, error), qPrintable(error));
}

QHash<QString, int> TestAtlasGen::landOf(Cell c) const
{
    QHash<QString, int> count;
    const QRectF r = grid::cellKm(c);
    const int n = 20;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const QString country = m_geo.countryAt(
                r.topLeft() + QPointF((i + 0.5) * r.width() / n, (j + 0.5) * r.height() / n));
            if (!country.isEmpty() && country != u"F")
                ++count[country];
        }
    return count;
}

void TestAtlasGen::distanceFieldIsExact()
{
    const int w = 37, h = 23;
    std::mt19937 rng(3);
    std::vector<unsigned char> features(size_t(w * h));
    QVector<QPoint> points;
    for (int i = 0; i < w * h; ++i)
        if (rng() % 29 == 0) {
            features[size_t(i)] = 1;
            points << QPoint(i % w, i / w);
        }
    QVERIFY(points.size() > 5);
    const std::vector<float> d = distanceToFeatures(features, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double best = 1e9;
            for (const QPoint& p : points)
                best = std::min(best, std::hypot(p.x() - x, p.y() - y));
            QVERIFY2(std::fabs(d[size_t(y * w + x)] - best) < 1e-3,
                qPrintable(QStringLiteral("(%1,%2): %3 instead of %4")
                               .arg(x)
                               .arg(y)
                               .arg(d[size_t(y * w + x)])
                               .arg(best)));
        }
}

void TestAtlasGen::projectionRoundTrip()
{
    const Projection& p = m_geo.projection();
    for (double lon = -11; lon <= 2.5; lon += 0.75)
        for (double lat = 49.5; lat <= 61; lat += 0.5) {
            const QPointF back = p.inverse(p.forward(lon, lat));
            QVERIFY2(std::fabs(back.x() - lon) < 1e-7 && std::fabs(back.y() - lat) < 1e-7,
                qPrintable(QStringLiteral("%1 %2").arg(lon).arg(lat)));
        }
}

void TestAtlasGen::projectionKeepsDistances()
{
    // A conformal conic cut at 52 and 58 degrees: plane distances within 1 %
    // of the true ones across the islands.
    const QPointF places[] = { { -0.128, 51.507 }, { -3.188, 55.953 }, { -6.260, 53.350 }, { -5.71, 50.07 },
        { -1.145, 60.155 } };
    for (const QPointF& a : places)
        for (const QPointF& b : places) {
            if (a == b)
                continue;
            const double plane
                = QLineF(m_geo.projection().forward(a), m_geo.projection().forward(b)).length();
            const double truth = greatCircleKm(a, b);
            QVERIFY2(std::fabs(plane / truth - 1) < 0.01,
                qPrintable(QStringLiteral("%1 vs %2 km").arg(plane).arg(truth)));
        }
}

void TestAtlasGen::townsLieOnLand()
{
    QStringList offshore;
    for (const Town& t : m_geo.towns)
        if (!m_geo.onLand(t.km))
            offshore << t.name;
    QVERIFY2(
        offshore.isEmpty(), qPrintable(QStringLiteral("in the sea: ") + offshore.join(QStringLiteral(", "))));
}

void TestAtlasGen::countyTownsLieInTheirCountry()
{
    QVector<TsvRow> rows;
    QString error;
    QVERIFY2(readTsv(dataDir() + QStringLiteral("/counties.tsv"), rows, error), qPrintable(error));
    QStringList wrong;
    for (const TsvRow& row : rows) {
        const Town* t = m_geo.town(row.fields.value(2));
        QVERIFY2(t, qPrintable(QStringLiteral("no town ") + row.fields.value(2)));
        QVERIFY2(t->kind == TownKind::CountyTown || t->kind == TownKind::Capital, qPrintable(t->name));
        if (m_geo.countryAt(t->km) != row.fields[0])
            wrong << QStringLiteral("%1 (%2, found %3)").arg(t->name, row.fields[0], m_geo.countryAt(t->km));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
}

void TestAtlasGen::sheetCountryIsWhereItsLandIs()
{
    for (const Sheet& s : m_sheets) {
        const QHash<QString, int> land = landOf(s.cell);
        QVERIFY2(!land.isEmpty(), qPrintable(s.id + QStringLiteral(" shows no British or Irish land")));
        QString most;
        for (auto it = land.cbegin(); it != land.cend(); ++it)
            if (most.isEmpty() || it.value() > land.value(most))
                most = it.key();
        QVERIFY2(most == s.country,
            qPrintable(QStringLiteral("%1 is %2 but lies mostly in %3").arg(s.id, s.country, most)));
    }
}

void TestAtlasGen::noLandIsLeftOffTheAtlas()
{
    // Any cell of the overviews holding more than a speck of British or
    // Irish land must be a sheet (single rocks such as St Kilda may be left).
    for (const Overview* o : { &overviewSouth(), &overviewNorth() })
        for (int col = o->firstCol; col < o->firstCol + 7; ++col)
            for (int row = o->topRow - 6; row <= o->topRow; ++row) {
                int samples = 0;
                for (int n : landOf({ col, row }))
                    samples += n;
                const bool listed = std::any_of(m_sheets.begin(), m_sheets.end(), [&](const Sheet& s) {
                    return s.cell == Cell { col, row };
                });
                QVERIFY2(
                    listed || samples < 4, qPrintable(grid::sheetId(QStringLiteral("--"), { col, row })));
            }
}

void TestAtlasGen::badSheetListsAreRefused_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two sheets, one cell")
        << QByteArray("GB-03H\tA\tE\nGB-03H\tB\tE\n") << QStringLiteral(":2:");
    QTest::newRow("Scotland off its overview")
        << QByteArray("GB-02H\tA\tS\n") << QStringLiteral("outside its overview");
    QTest::newRow("Ireland with GB prefix") << QByteArray("GB-04D\tA\tI\n") << QStringLiteral(":1:");
    QTest::newRow("unknown country") << QByteArray("GB-03H\tA\tX\n") << QStringLiteral(":1:");
    QTest::newRow("title too long") << QByteArray("GB-03H\t" + QByteArray(61, 'x') + "\tE\n")
                                    << QStringLiteral(":1:");
    QTest::newRow("id of another form") << QByteArray("GB-3H\tA\tE\n") << QStringLiteral(":1:");
}

void TestAtlasGen::badSheetListsAreRefused()
{
    QFETCH(QByteArray, rows);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sheets.tsv"));
    QVERIFY(writeFile(path, rows));
    QVector<Sheet> sheets;
    QString error;
    QVERIFY(!loadSheets(path, sheets, error));
    QVERIFY2(error.contains(expected), qPrintable(error));
}

void TestAtlasGen::brokenGeodataIsReported()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("geodata.txt")), "land 1 3\n-4 52\n-3 52\n"));
    GeoData geo;
    QVERIFY(!geo.load(dir.path()));
    QVERIFY2(geo.error().contains(QStringLiteral("geodata.txt"))
            && geo.error().contains(QStringLiteral("ends inside")),
        qPrintable(geo.error()));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("geodata.txt")), "land 1 2\n-4 52\nnorth 52\n"));
    QVERIFY(!geo.load(dir.path()));
    QVERIFY2(geo.error().contains(QStringLiteral(":3:")), qPrintable(geo.error()));
    GeoData missing;
    QVERIFY(!missing.load(dir.filePath(QStringLiteral("nowhere"))));
    QVERIFY(!missing.error().isEmpty());
}

void TestAtlasGen::rtfAndCodePage()
{
    QCOMPARE(rtfEscape(QStringLiteral("Groß {Fl.} \\ –")), QByteArray("Gro\\'df \\{Fl.\\} \\\\ \\'96"));
    QVERIFY(isWindows1252(QStringLiteral("Äußere Hebriden – €")));
    QVERIFY(!isWindows1252(QStringLiteral("Łódź")));
    QVector<Abbreviation> one { { QStringLiteral("Gft."), QStringLiteral("Grafschaft"),
        QStringLiteral("German"), QStringLiteral("county") } };
    const QByteArray rtf = abbreviationRtf(one);
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
    QCOMPARE(rtf.count("\\row"), 2); // title row and the entry
    QCOMPARE(rtf.count('{'), rtf.count('}'));
}

QTEST_GUILESS_MAIN(TestAtlasGen)
#include "test_atlasgen.moc"
