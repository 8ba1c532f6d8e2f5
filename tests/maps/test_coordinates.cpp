// Latitude and longitude on the sheets: under the mouse in the atlas window
// and the full-screen window, in degrees-minutes-seconds on request, for a
// pinned place in the descriptions window, and the "Copy coordinates" and
// "Show on a web map" commands.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "core/coordinate_actions.h"
#include "maps/map.h"
#include "maps/pins.h"
#include "maps/zoom_view.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

// GB-03H is georeferenced as one milli-degree a pixel, its top-left corner at
// 1° W, 52° N; GB-03J has no control points.
QPointF lonLatOf(QPointF pixel)
{
    return { -1 + pixel.x() / 1000, 52 - pixel.y() / 1000 };
}

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 1000, 720 }, fixture::kRed);
        atlas.writeSheet(u"GB-03J"_s, { 1000, 720 }, fixture::kBlue);
        atlas.setRows({ { u"GB-03H"_s, {}, u"GB-03J"_s, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 },
                          { u"GB-03J"_s, u"GB-03H"_s, {}, {}, {}, u"England: Kent"_s, u"14"_s, 433, 700 } },
            {});
        QByteArray points = "Map\tX\tY\tLongitude\tLatitude\n";
        for (QPointF px : { QPointF(0, 0), QPointF(1000, 0), QPointF(0, 720), QPointF(1000, 720) })
            points += u"GB-03H\t%1\t%2\t%3\t%4\n"_s.arg(px.x())
                          .arg(px.y())
                          .arg(lonLatOf(px).x())
                          .arg(lonLatOf(px).y())
                          .toUtf8();
        QDir().mkpath(atlas.mapsFolder() + u"/../Georef"_s);
        fixture::writeBytes(atlas.mapsFolder() + u"/../Georef/CONTROL.TSV"_s, points);
        fixture::writeUserTables({ { 0, u"Southwark"_s, {}, u"GB-03H"_s, u"500,360"_s }, { 1, u"Deal"_s } });
        window = atlas.open();
    }
    ~Setup() { setShowsDms(false); }

    QLabel* readout() const { return Kit::child<QLabel>(window, u"lblCoordinates"_s); }
    static void moveMouse(QWidget* widget, QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(widget, &move);
    }
    static QMenu* rightClick(QWidget* widget, QPoint at, const QString& menuName)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &event);
        auto* menu = widget->window()->findChild<QMenu*>(menuName);
        return menu && menu->isVisible() ? menu : nullptr;
    }
    static QAction* item(QMenu* menu, const QString& name)
    {
        return menu ? menu->findChild<QAction*>(name) : nullptr;
    }
};

} // namespace

class TestCoordinates : public QObject {
    Q_OBJECT

private slots:
    void atlasShowsCoordinatesUnderTheMouse()
    {
        Setup s;
        QCOMPARE(s.window->pins()->sheetId(), u"GB-03H"_s);
        // Shown at half size: the centre of picture pixel (250, 180) is the
        // sheet's point (501, 361).
        Setup::moveMouse(s.window->imgMap(), { 250, 180 });
        QCOMPARE(s.readout()->text(), u"51.63900, -0.49900"_s);

        QMenu* own = s.readout()->findChild<QMenu*>();
        QVERIFY(own);
        emit s.readout()->customContextMenuRequested({ 5, 5 });
        QAction* dms = Setup::item(own, u"mnuDegreesMinutesSeconds"_s);
        QVERIFY(dms);
        dms->trigger();
        own->hide();
        QCOMPARE(s.readout()->text(), u"51°38'20.4\"N 0°29'56.4\"W"_s);

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(s.window->imgMap(), &leave);
        QVERIFY(s.readout()->text().isEmpty());
    }

    void sheetMenuCopiesAndShowsTheSpot()
    {
        Setup s;
        QMenu* menu = Setup::rightClick(s.window->imgMap(), { 100, 50 }, u"mnuPins"_s);
        QAction* copy = Setup::item(menu, u"mnuCopyCoordinates"_s);
        QVERIFY(copy);
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"51.89900, -0.79900"_s);
        menu->hide();

        menu = Setup::rightClick(s.window->imgMap(), { 100, 50 }, u"mnuPins"_s);
        QAction* web = Setup::item(menu, u"mnuShowOnWebMap"_s);
        QVERIFY(web);
        web->trigger();
        QCOMPARE(s.kit.shellRequests().size(), 1);
        const QUrl url = s.kit.shellRequests().constFirst();
        QCOMPARE(url.host(), u"www.openstreetmap.org"_s);
        QVERIFY2(url.query().contains(u"mlat=51.89900&mlon=-0.79900"_s), qPrintable(url.toString()));
        QVERIFY(s.kit.messageTexts().isEmpty());
    }

    void sheetWithoutGeoreferenceSaysSo()
    {
        Setup s;
        s.window->changeDetailSheet(u"GB-03J"_s);
        Setup::moveMouse(s.window->imgMap(), { 250, 180 });
        QCOMPARE(s.readout()->text(), u"No coordinates on this sheet"_s);
        QMenu* menu = Setup::rightClick(s.window->imgMap(), { 100, 50 }, u"mnuPins"_s);
        QVERIFY(menu);
        QVERIFY(!Setup::item(menu, u"mnuCopyCoordinates"_s));
    }

    void fullScreenWindowShowsThemToo()
    {
        Setup s;
        s.kit.click(u"btnExpand"_s);
        auto* map = s.kit.get<TfrmMap>(u"frmMap"_s);
        QTRY_VERIFY(map->isVisible() && map->imgMap()->hasPicture());
        TZoomView* view = map->imgMap();
        const QPoint at(view->width() / 3, view->height() / 4);
        Setup::moveMouse(view, at);
        const QPointF expected = lonLatOf(view->toPicture(at));
        QCOMPARE(Kit::child<QLabel>(map, u"lblCoordinates"_s)->text(),
            u"%1, %2"_s.arg(expected.y(), 0, 'f', 5).arg(expected.x(), 0, 'f', 5));
    }

    void pinnedPlaceShowsItsCoordinates()
    {
        Setup s;
        for (QAction* item : MainForm->menuBar()->actions())
            if (item->objectName() == u"mnuNotes"_s)
                item->trigger();
        QWidget* notes = s.kit.get(u"frmNotes"_s);
        auto* label = Kit::child<QLabel>(notes, u"lblPlaceCoordinates"_s);
        QTRY_VERIFY(label->text().contains(u"51.63950, -0.49950"_s));
        QVERIFY(label->text().contains(u"GB-03H"_s));
        DataModule1->tblDescrip->next(); // Deal, not pinned
        QVERIFY(label->text().isEmpty());
    }
};

QTEST_MAIN(TestCoordinates)
#include "test_coordinates.moc"
