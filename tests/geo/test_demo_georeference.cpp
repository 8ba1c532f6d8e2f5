// The demo atlas comes georeferenced: every gazetteer town lands where the
// generator drew it, coordinates and pixels convert both ways without drift,
// and a point is given to the sheet that really shows it.

#include "kit.h"

#include "core/shared.h"
#include "data/georeferences.h"

#include <QtTest>

#include <cmath>

using corvane::GazetteerTown;

class TestDemoGeoreference : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_kit = std::make_unique<Kit>();
        corvane::vGraphicsPath = QStringLiteral("D:\\");
    }
    void cleanup() { m_kit.reset(); }

    void everySheetIsGeoreferenced()
    {
        const QStringList sheets = corvane::georeferencedSheets();
        QCOMPARE(sheets.size(), 45);
        for (const QString& id : sheets) {
            const platform::Georeference* g = corvane::sheetGeoreference(id);
            QVERIFY2(g, qPrintable(id));
            QCOMPARE(g->points().size(), 81);
            QVERIFY2(!g->poor(), qPrintable(id));
        }
    }

    void townsLieWhereTheyWereDrawn()
    {
        const QList<GazetteerTown>& towns = corvane::gazetteer();
        QVERIFY2(towns.size() > 650, qPrintable(QString::number(towns.size())));
        double worst = 0, sum = 0, worstTrip = 0;
        QString worstTown;
        int onSheets = 0;
        for (const GazetteerTown& t : towns) {
            if (t.sheetId.isEmpty())
                continue;
            const platform::Georeference* g = corvane::sheetGeoreference(t.sheetId);
            QVERIFY2(g, qPrintable(t.sheetId));
            const std::optional<QPointF> px = g->toPixel(t.lonLat);
            QVERIFY2(px, qPrintable(t.name));
            const double error = QLineF(*px, t.pixel).length();
            sum += error;
            ++onSheets;
            if (error > worst) {
                worst = error;
                worstTown = t.name;
            }
            const std::optional<QPointF> ll = g->toLonLat(t.pixel);
            const std::optional<QPointF> back = ll ? g->toPixel(*ll) : std::nullopt;
            QVERIFY2(back, qPrintable(t.name));
            worstTrip = std::max(worstTrip, QLineF(*back, t.pixel).length());
        }
        // Towns that no sheet shows stay in the gazetteer all the same.
        QVERIFY(onSheets < towns.size());
        qInfo("%d towns on sheets; worst %.3f px (%s), mean %.3f px; worst round trip %.4f px", onSheets,
            worst, qPrintable(worstTown), sum / onSheets, worstTrip);
        QVERIFY(onSheets > 600);
        QVERIFY2(worst < 2.0, qPrintable(worstTown));
        QVERIFY(worstTrip < 0.1);
    }

    void pointNearTwoSheetsGoesToTheOneThatShowsIt()
    {
        // London's sheet and its eastern neighbour meet along a neat line;
        // a point 15 pixels inside either side belongs to that side's sheet.
        const platform::Georeference* west = corvane::sheetGeoreference(QStringLiteral("GB-03H"));
        QVERIFY(west);
        const QRectF area = west->pixelArea();
        for (const auto& [dx, expected] : { std::pair { -15.0, "GB-03H" }, std::pair { 15.0, "GB-03I" } }) {
            const std::optional<QPointF> ll = west->toLonLat({ area.right() + dx, area.center().y() });
            QVERIFY(ll);
            const std::optional<corvane::SheetPoint> found = corvane::sheetForLonLat(*ll);
            QVERIFY(found);
            QCOMPARE(found->sheetId, QString::fromLatin1(expected));
        }
        QVERIFY(!corvane::sheetForLonLat({ -30.0, 40.0 })); // the open Atlantic
    }

private:
    std::unique_ptr<Kit> m_kit;
};

QTEST_MAIN(TestDemoGeoreference)
#include "test_demo_georeference.moc"
