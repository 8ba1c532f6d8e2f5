// The control-point mode of the full-screen window: points clicked on the
// sheet and given their coordinates, the fit and its residuals at once, a
// misplaced point marked, refusals, and the user's points taking the place
// of the ones the atlas ships.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "data/control_points.h"
#include "data/georeferences.h"
#include "geo/georef_exchange.h"
#include "maps/control_points.h"
#include "maps/map.h"
#include "maps/zoom_view.h"
#include "output/backup.h"
#include "output/restore.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

// The user's relation: a milli-degree a pixel from 2° W, 53° N. The atlas
// ships another one for the same sheet, which the user's points replace.
QPointF usersLonLat(QPointF pixel)
{
    return { -2 + pixel.x() / 1000, 53 - pixel.y() / 1000 };
}

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmMap* map = nullptr;
    QWidget* panel = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 1000, 720 }, fixture::kRed);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        const QString georef = atlas.mapsFolder() + u"/../Georef/"_s;
        QDir().mkpath(georef);
        fixture::writeBytes(georef + u"CONTROL.TSV"_s,
            "Map\tX\tY\tLongitude\tLatitude\nGB-03H\t0\t0\t10\t10\nGB-03H\t1000\t0\t11\t10\n"
            "GB-03H\t0\t720\t10\t9\n");
        fixture::writeBytes(
            georef + u"TOWNS.TSV"_s, "Name\tLongitude\tLatitude\tMap\tX\tY\nKew\t-0.29\t51.48\t\t\t\n");
        fixture::writeUserTables({});
        atlas.open();
        kit.click(u"btnExpand"_s);
        map = kit.get<TfrmMap>(u"frmMap"_s);
        QTRY_VERIFY(map->isVisible() && map->imgMap()->hasPicture());
        Kit::child<QPushButton>(map, u"btnControlPoints"_s)->click();
        panel = Kit::child<QWidget>(map, u"pnlControlPoints"_s);
    }

    template <typename T> T* get(const char* name) const { return Kit::child<T>(panel, QLatin1String(name)); }
    QTableWidget* grid() const { return get<QTableWidget>("grdPoints"); }
    QString fit() const { return get<QLabel>("lblFit")->text(); }

    // Clicks the sheet at a view point and gives the spot its coordinates,
    // off by `offPixels` to the east; returns the spot.
    QPointF addPoint(QPoint onView, double offPixels = 0)
    {
        TZoomView* view = map->imgMap();
        QTest::mouseClick(view, Qt::LeftButton, {}, onView);
        const QPointF spot = view->toPicture(onView);
        const QPointF ll = usersLonLat(spot + QPointF(offPixels, 0));
        get<QLineEdit>("edLatitude")->setText(QString::number(ll.y(), 'f', 7));
        get<QLineEdit>("edLongitude")->setText(QString::number(ll.x(), 'f', 7));
        get<QPushButton>("btnAddPoint")->click();
        return spot;
    }
    double residual(int row) const { return grid()->item(row, 4)->text().toDouble(); }
    QList<TControlPointsPanel::Mark> marks() const
    {
        return static_cast<TControlPointsPanel*>(panel)->marks();
    }

    // A press, two moves and a release of the left button on the sheet.
    void drag(QPointF from, QPointF to) const
    {
        TZoomView* view = map->imgMap();
        const auto send = [view](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, buttons, {});
            QApplication::sendEvent(view, &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
};

} // namespace

class TestControlPoints : public QObject {
    Q_OBJECT

private slots:
    void pointsMakeAFitThatReplacesTheShippedOne()
    {
        Setup s;
        QVERIFY(s.panel->isVisible());
        QCOMPARE(s.grid()->rowCount(), 0);
        const QSize box = s.map->imgMap()->size();
        s.addPoint({ box.width() / 10, box.height() / 10 });
        s.addPoint({ box.width() * 9 / 10, box.height() / 8 });
        QCOMPARE(s.grid()->rowCount(), 2);
        QVERIFY2(s.fit().contains(u"add 1 more"_s), qPrintable(s.fit()));
        s.addPoint({ box.width() / 2, box.height() * 9 / 10 });
        QVERIFY2(s.fit().startsWith(u"Affine"_s), qPrintable(s.fit()));
        for (int row = 0; row < 3; ++row)
            QVERIFY(s.residual(row) < 0.01);

        // The sheet's coordinates now come from these points.
        const QPointF probe(321, 456);
        const std::optional<QPointF> ll = lonLatOnSheet(u"GB-03H"_s, probe);
        QVERIFY(ll);
        QVERIFY(QLineF(*ll, usersLonLat(probe)).length() < 1e-6);
        const QString file = DataModule1->tblDescrip->fileHostPath().replace(u"DESCRIP.DB"_s, u"GEOREF.DB"_s);
        QCOMPARE(fixture::storedColumn(file, u"SELECT COUNT(*) FROM GEOREF"_s), QStringList { u"3"_s });
    }

    // The user's points travel with the notebook: a backup carries them, and
    // its restore brings them back over what was done since, fit included.
    void aBackupAndItsRestoreCarryTheUsersPoints()
    {
        Setup s;
        const QSize box = s.map->imgMap()->size();
        s.addPoint({ box.width() / 10, box.height() / 10 });
        s.addPoint({ box.width() * 9 / 10, box.height() / 8 });
        s.addPoint({ box.width() / 2, box.height() * 9 / 10 });
        const QList<platform::ControlPoint> made = userControlPoints(u"GB-03H"_s).points;
        QCOMPARE(made.size(), 3);
        Backup backup(*DataModule1, vProgramPath);
        const BackupReport written = backup.run(u"A"_s);
        QVERIFY2(written.ok, qPrintable(written.text));
        QCOMPARE(fixture::storedColumn(s.kit.hostPath(u"A:\\GEOREF.DB"_s), u"SELECT COUNT(*) FROM GEOREF"_s),
            QStringList { u"3"_s });

        storeUserControlPoints(u"GB-03H"_s, {});
        forgetGeoreference(u"GB-03H"_s);
        QVERIFY(userControlPoints(u"GB-03H"_s).points.isEmpty());
        const std::optional<QPointF> shipped = lonLatOnSheet(u"GB-03H"_s, { 321, 456 });
        QVERIFY(shipped && QLineF(*shipped, usersLonLat({ 321, 456 })).length() > 1);
        const RestoreReport report
            = restoreUserTables(*DataModule1, inspectBackupSet(u"A:\\"_s), vProgramPath);
        QVERIFY2(report.text.startsWith(u"Restored"_s), qPrintable(report.text));
        const QList<platform::ControlPoint> back = userControlPoints(u"GB-03H"_s).points;
        QCOMPARE(back.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(back[i].pixel, made[i].pixel);
        const std::optional<QPointF> ll = lonLatOnSheet(u"GB-03H"_s, { 321, 456 });
        QVERIFY(ll && QLineF(*ll, usersLonLat({ 321, 456 })).length() < 1e-6);
    }

    void misplacedPointIsMarkedAndCanBeMovedOrDeleted()
    {
        Setup s;
        const QSize box = s.map->imgMap()->size();
        s.addPoint({ box.width() / 10, box.height() / 10 });
        s.addPoint({ box.width() * 9 / 10, box.height() / 8 });
        s.addPoint({ box.width() / 2, box.height() * 9 / 10 });
        s.addPoint({ box.width() * 8 / 10, box.height() * 7 / 10 }, 60); // 60 pixels off
        QVERIFY2(s.fit().startsWith(u"Poor fit"_s), qPrintable(s.fit()));
        for (int row = 0; row < 3; ++row)
            QVERIFY(s.residual(row) < s.residual(3));
        QCOMPARE(s.grid()->item(3, 0)->foreground().color(), QColor(Qt::red));
        const std::optional<QPointF> poor = lonLatOnSheet(u"GB-03H"_s, { 10, 10 });
        QVERIFY(poor);

        // Moved: chosen in the list, the spot clicked again, the right coordinates.
        s.grid()->selectRow(3);
        const QPoint at(box.width() * 8 / 10, box.height() * 7 / 10);
        QTest::mouseClick(s.map->imgMap(), Qt::LeftButton, {}, at);
        const QPointF ll = usersLonLat(s.map->imgMap()->toPicture(at));
        s.get<QLineEdit>("edLongitude")->setText(QString::number(ll.x(), 'f', 7));
        s.get<QPushButton>("btnChangePoint")->click();
        QVERIFY2(!s.fit().startsWith(u"Poor fit"_s), qPrintable(s.fit()));
        QVERIFY(s.residual(3) < 0.01);

        s.grid()->selectRow(0);
        s.get<QPushButton>("btnDeletePoint")->click();
        QCOMPARE(s.grid()->rowCount(), 3);
        auto* transform = s.get<QComboBox>("cboTransform");
        transform->setCurrentIndex(2); // second-order polynomial
        emit transform->activated(2);
        QVERIFY2(s.fit().contains(u"add 3 more"_s), qPrintable(s.fit()));
        QVERIFY(!lonLatOnSheet(u"GB-03H"_s, { 10, 10 }));
    }

    // The points are marked on the sheet where its zoom puts them, the poor
    // one red. Dragging a mark moves its point and the fit is made again at
    // once; a drag beside every mark pans the sheet and moves no point.
    void aPointIsMovedByDraggingItsMark()
    {
        Setup s;
        const QSize box = s.map->imgMap()->size();
        s.addPoint({ box.width() / 10, box.height() / 10 });
        s.addPoint({ box.width() * 9 / 10, box.height() / 8 });
        s.addPoint({ box.width() / 2, box.height() * 9 / 10 });
        const QPointF misplaced = s.addPoint({ box.width() * 3 / 10, box.height() / 2 }, 60);
        QVERIFY2(s.fit().startsWith(u"Poor fit"_s), qPrintable(s.fit()));
        QCOMPARE(s.marks().size(), 4);
        QVERIFY(s.marks()[3].poor);
        for (int row = 0; row < 4; ++row) // red on the sheet as in the list
            QCOMPARE(s.marks()[row].poor, s.grid()->item(row, 0)->foreground().color() == QColor(Qt::red));
        QCOMPARE(s.marks()[3].pixel, misplaced);

        TZoomView* view = s.map->imgMap();
        view->zoomAt(view->toView(misplaced), 2);
        const QPointF target = misplaced + QPointF(60, 0); // where its coordinates belong
        QVERIFY(view->rect().contains(view->toView(target).toPoint()));
        const QList<platform::ControlPoint> before = userControlPoints(u"GB-03H"_s).points;
        s.drag(view->toView(misplaced) + QPointF(3, -2), view->toView(target) + QPointF(3, -2));

        const QList<platform::ControlPoint> after = userControlPoints(u"GB-03H"_s).points;
        QVERIFY2(QLineF(after[3].pixel, target).length() < 1,
            qPrintable(u"%1, %2"_s.arg(after[3].pixel.x()).arg(after[3].pixel.y())));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(after[i].pixel, before[i].pixel);
        QVERIFY2(!s.fit().startsWith(u"Poor fit"_s), qPrintable(s.fit()));
        QVERIFY(s.residual(3) < 1);
        QVERIFY(!s.marks()[3].poor && s.marks()[3].selected);

        const QPointF shown = view->toView(after[0].pixel);
        const QPointF empty = view->toView(after[3].pixel) + QPointF(0, 60);
        s.drag(empty, empty + QPointF(-40, -30));
        QCOMPARE(userControlPoints(u"GB-03H"_s).points[3].pixel, after[3].pixel);
        QVERIFY(view->toView(after[0].pixel) != shown);
    }

    void georeferenceTravelsAsPointsAndAnnotation()
    {
        Setup s;
        const QString out = s.kit.home() + u"/GB-03H.points"_s;
        s.kit.setSaveFileChoice(out);
        s.get<QPushButton>("btnExportPoints")->click(); // the shipped points: none of the user's yet
        QVERIFY2(s.kit.messageTexts().isEmpty(), qPrintable(s.kit.messageTexts().join(u'|')));
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const platform::ExchangedPoints shipped = platform::readPointsFile(written.readAll());
        QCOMPARE(shipped.points.size(), 3);
        QCOMPARE(shipped.points[1].lonLat, QPointF(11, 10));

        platform::ExchangedPoints mine { {}, platform::GeoTransform::Affine };
        for (QPointF px : { QPointF(5, 5), QPointF(900, 30), QPointF(400, 700) })
            mine.points << platform::ControlPoint { px, usersLonLat(px) };
        const QString in = s.kit.home() + u"/mine.json"_s;
        fixture::writeBytes(in, platform::georeferenceAnnotation(u"file:///x.jpg"_s, { 1000, 720 }, mine));
        s.kit.setOpenFileChoice(in);
        s.get<QPushButton>("btnImportPoints")->click();
        QVERIFY2(s.kit.messageTexts().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(s.grid()->rowCount(), 3);
        QCOMPARE(s.get<QComboBox>("cboTransform")->currentIndex(), 1);
        const std::optional<QPointF> ll = lonLatOnSheet(u"GB-03H"_s, { 500, 500 });
        QVERIFY(ll && QLineF(*ll, usersLonLat({ 500, 500 })).length() < 1e-6);
    }

    void badCoordinatesAreRefusedAndTownsFillThemIn()
    {
        Setup s;
        QTest::mouseClick(s.map->imgMap(), Qt::LeftButton, {}, { 50, 50 });
        s.get<QLineEdit>("edLatitude")->setText(u"95"_s);
        s.get<QLineEdit>("edLongitude")->setText(u"0"_s);
        s.get<QPushButton>("btnAddPoint")->click();
        QCOMPARE(s.grid()->rowCount(), 0);
        QCOMPARE(s.kit.messageTexts().size(), 1);
        QVERIFY2(s.kit.messageTexts().constFirst().contains(u"latitude"_s),
            qPrintable(s.kit.messageTexts().constFirst()));

        auto* towns = s.get<QComboBox>("cboTown");
        const int kew = towns->findText(u"Kew"_s);
        QVERIFY(kew >= 0);
        emit towns->activated(kew);
        QCOMPARE(s.get<QLineEdit>("edLatitude")->text(), u"51.4800000"_s);
        QCOMPARE(s.get<QLineEdit>("edLongitude")->text(), u"-0.2900000"_s);
    }
};

QTEST_MAIN(TestControlPoints)
#include "test_control_points.moc"
