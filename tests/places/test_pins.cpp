// Places pinned to their map: pinning from the atlas sheet's menu, the
// markers and what a click on one does, the double-click on a pinned place
// (the atlas on its sheet, the full-screen window around the marker), the
// hint for a place without a pin, unpinning, and pins the list cannot use.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "data/place_pins.h"
#include "maps/map.h"
#include "maps/pins.h"
#include "maps/zoom_view.h"
#include "places/notes.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolTip>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using fixture::Place;

// A field of one place as the table file holds it.
QString stored(int placeId, const char* field)
{
    return fixture::storedValue(
        u"SELECT %1 FROM DESCRIP WHERE Placeid = %2"_s.arg(QLatin1String(field)).arg(placeId));
}

// Two sheets side by side: GB-03H shown at half its size in the atlas, and
// GB-03J larger than any screen.
struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    explicit Setup(const QList<Place>& places)
    {
        atlas.writeSheet(u"GB-03H"_s, { 1000, 720 }, fixture::kRed);
        atlas.writeSheet(u"GB-03J"_s, { 3000, 2160 }, fixture::kBlue);
        atlas.writeSheet(u"LOC-S"_s, { 200, 144 }, Qt::gray);
        atlas.setRows({ { u"GB-03H"_s, {}, u"GB-03J"_s, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 },
                          { u"GB-03J"_s, u"GB-03H"_s, {}, {}, {}, u"England: Kent"_s, u"14"_s, 433, 700 } },
            {});
        fixture::writeUserTables(places);
        window = atlas.open();
    }

    void menu(const char* name) const
    {
        for (QAction* item : MainForm->menuBar()->actions())
            if (item->objectName() == QLatin1String(name))
                item->trigger();
    }
    TfrmNotes* openNotes() const
    {
        menu("mnuNotes");
        return frmNotes;
    }
    platform::DbGrid* grid() const { return Kit::child<platform::DbGrid>(frmNotes, u"grdPlaces"_s); }
    QPoint rowCentre(int row) const { return grid()->visualRect(grid()->model()->index(row, 0)).center(); }
    void doubleClickRow(int row) const
    {
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, rowCentre(row));
        QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, rowCentre(row));
        QTest::mouseRelease(grid()->viewport(), Qt::LeftButton, {}, rowCentre(row)); // as a hand does
    }

    // The right-click menu of a widget; null when none came up.
    static QMenu* rightClick(QWidget* widget, QPoint at, const QString& menuName)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &event);
        auto* menu = widget->window()->findChild<QMenu*>(menuName);
        return menu && menu->isVisible() ? menu : nullptr;
    }
    static void choose(QMenu* menu, const QString& item)
    {
        QVERIFY(menu);
        auto* action = menu->findChild<QAction*>(item);
        QVERIFY2(action && action->isEnabled(), qPrintable(item));
        action->trigger();
        menu->hide();
    }
    QList<TPinMarker*> markers() const { return window->pins()->markers(); }
    TPinMarker* marker(int placeId) const
    {
        for (TPinMarker* m : markers())
            if (m->pin().placeId == placeId)
                return m;
        return nullptr;
    }
};

const QList<Place> kPinned { { 0, u"Rye"_s, {}, u"GB-03J"_s, u"200,100"_s }, { 1, u"Winchelsea"_s },
    { 2, u"Hastings"_s, {}, u"GB-03J"_s, u"1200,900"_s }, { 3, u"Dover"_s, {}, u"GB-03H"_s, u"10,10"_s } };

} // namespace

class TestPins : public QObject {
    Q_OBJECT

private slots:
    void coordsReadOnlyAsTwoWholeNumbers_data()
    {
        QTest::addColumn<QString>("coords");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << u"200,100"_s << true;
        QTest::newRow("blanks") << u" 7 , 9 "_s << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("one number") << u"200"_s << false;
        QTest::newRow("three numbers") << u"1,2,3"_s << false;
        QTest::newRow("negative") << u"-1,5"_s << false;
        QTest::newRow("words") << u"north,east"_s << false;
    }
    void coordsReadOnlyAsTwoWholeNumbers()
    {
        QFETCH(QString, coords);
        QFETCH(bool, valid);
        QCOMPARE(parseCoords(coords).has_value(), valid);
        if (valid)
            QCOMPARE(parseCoords(formatCoords(*parseCoords(coords))), parseCoords(coords));
    }

    // The menu of the sheet pins the current place where it was opened, in
    // the sheet's own pixels; the marker shows there at once.
    void pinningFromTheAtlasSheet()
    {
        Setup s({ { 0, u"Rye"_s }, { 1, u"Winchelsea"_s } });
        QVERIFY(s.window && s.openNotes());
        QTest::mouseClick(s.grid()->viewport(), Qt::LeftButton, {}, s.rowCentre(1));
        s.menu("mnuMaps");
        QVERIFY(s.markers().isEmpty());
        QMenu* menu = Setup::rightClick(s.window->imgMap(), { 150, 90 }, u"mnuPins"_s);
        QVERIFY(menu);
        QCOMPARE(menu->findChild<QAction*>(u"mnuPinHere"_s)->text(), u"Pin \u201cWinchelsea\u201d here"_s);
        QVERIFY(!menu->findChild<QAction*>(u"mnuUnpin"_s)); // nothing to unpin yet
        Setup::choose(menu, u"mnuPinHere"_s);
        QCOMPARE(stored(1, "Page"), u"GB-03H"_s);
        QCOMPARE(stored(1, "Coords"), u"300,180"_s);
        QCOMPARE(stored(0, "Page"), QString());
        QCOMPARE(s.markers().size(), 1);
        TPinMarker* marker = s.marker(1);
        QVERIFY(marker && marker->isVisible());
        QCOMPARE(marker->toolTip(), u"Winchelsea"_s);
        QVERIFY((marker->geometry().center() - QPoint(150, 90)).manhattanLength() <= 2);
        QVERIFY(s.kit.messages().isEmpty());
    }

    void theOverviewOffersNoPinning()
    {
        Setup s(kPinned);
        QVERIFY(s.window);
        s.kit.click(u"btnZoom"_s); // the locating overview
        QVERIFY(s.markers().isEmpty());
        QVERIFY(!Setup::rightClick(s.window->imgMap(), { 50, 50 }, u"mnuPins"_s));
    }

    // The atlas comes up on the pinned sheet by its normal sheet change, the
    // place's marker larger than the others; the full-screen window opened
    // from there shows the scan's own pixels around the marker.
    void aDoubleClickShowsThePinnedPlaceOnItsSheet()
    {
        Setup s(kPinned);
        QVERIFY(s.window && s.openNotes());
        s.doubleClickRow(2); // Hastings, on GB-03J
        QCOMPARE(vMapId, u"GB-03J"_s);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(s.window->windowTitle(), u"   MAP from page 14 : England: Kent"_s);
        QCOMPARE(s.window->Label1()->text(), u"GB-03J.JPG"_s);
        QVERIFY(!s.kit.get(u"imgWest"_s)->isHidden());
        QCOMPARE(s.markers().size(), 2); // Rye and Hastings; Dover is on the other sheet
        QVERIFY(s.marker(2)->focused());
        QVERIFY(!s.marker(0)->focused());
        QVERIFY(s.marker(2)->width() > s.marker(0)->width());

        s.kit.click(u"btnExpand"_s);
        QVERIFY(frmMap && QTest::qWaitForWindowExposed(frmMap));
        TZoomView* view = frmMap->imgMap();
        QVERIFY(view->fittedZoom() < 0.9);
        QCOMPARE(view->zoom(), 1 / view->devicePixelRatioF());
        const QPointF marker = view->toView({ 1200.5, 900.5 });
        QVERIFY(view->rect().contains(marker.toPoint()));
        // Centred, unless the sheet's edge stops the view first.
        const QPointF fromCentre = marker - QRectF(view->rect()).center();
        QVERIFY(std::abs(fromCentre.x()) < 1 || view->toView({ 3000, 0 }).x() <= view->width() + 1);
        QVERIFY(std::abs(fromCentre.y()) < 1 || view->toView({ 0, 2160 }).y() <= view->height() + 1);
        QCOMPARE(view->markers().size(), 2); // both places on the sheet, Hastings the larger
        for (const TZoomView::Marker& m : view->markers())
            QCOMPARE(m.focused, m.name == u"Hastings"_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    void aPlaceWithoutAPinGetsAHintNotABox()
    {
        Setup s(kPinned);
        QVERIFY(s.window && s.openNotes());
        const QString shownBefore = vMapId;
        s.kit.click(u"btnAddPlace"_s);
        s.doubleClickRow(1); // Winchelsea has no pin
        QVERIFY(s.kit.get(u"pnlSelect"_s)->isHidden());
        QCOMPARE(vMapId, shownBefore);
        QCOMPARE(vCurrentView, u"Notes"_s);
        QTRY_VERIFY(QToolTip::isVisible()); // once the button is up
        QVERIFY(QToolTip::text().contains(u"\u201cWinchelsea\u201d is not pinned to a map yet"_s));
        QVERIFY(s.kit.messages().isEmpty());
        QVERIFY(s.kit.shellRequests().isEmpty());
    }

    // A click on a marker makes its place the current one of the list.
    void aMarkerClickSelectsItsPlace()
    {
        Setup s(kPinned);
        QVERIFY(s.window && s.openNotes());
        QTest::mouseClick(s.grid()->viewport(), Qt::LeftButton, {}, s.rowCentre(0));
        s.menu("mnuMaps");
        s.kit.click(u"imgEast"_s);
        QCOMPARE(vMapId, u"GB-03J"_s);
        QTest::mouseClick(s.marker(2), Qt::LeftButton);
        QCOMPARE(vPlaceId, 2);
        QCOMPARE(vPlaceName, u"Hastings"_s);
        QCOMPARE(frmNotes->windowTitle(), u"  NOTES and PICTURES : Hastings"_s);
        QCOMPARE(vCurrentView, u"Notes"_s);
        QVERIFY(s.marker(2)->focused());
    }

    // Unpinning from a marker or from the list, renaming and deleting: the
    // markers follow the list at once, and the file holds the change.
    void theMarkersFollowTheList()
    {
        Setup s(kPinned);
        QVERIFY(s.window && s.openNotes());
        s.menu("mnuMaps");
        s.kit.click(u"imgEast"_s);
        Setup::choose(Setup::rightClick(s.marker(0), { 5, 5 }, u"mnuPins"_s), u"mnuUnpin"_s);
        QCOMPARE(vPlaceId, 0);
        QCOMPARE(stored(0, "Page"), QString());
        QVERIFY(!s.marker(0));

        // A backup or restore closes the table for a while: the markers go,
        // and the table stays closed until it is opened again.
        DataModule1->tblDescrip->close();
        QVERIFY(s.markers().isEmpty());
        QVERIFY(!DataModule1->tblDescrip->active());
        DataModule1->tblDescrip->open();
        QCOMPARE(s.markers().size(), 1); // Hastings

        DataModule1->tblDescrip->findKey({ 2 });
        DataModule1->tblDescrip->edit();
        DataModule1->tblDescrip->setFieldValue(u"Place"_s, u"Hastings Old Town"_s);
        QCOMPARE(s.marker(2)->toolTip(), u"Hastings Old Town"_s);

        QTest::mouseClick(s.grid()->viewport(), Qt::LeftButton, {}, s.rowCentre(2));
        Setup::choose(
            Setup::rightClick(s.grid()->viewport(), s.rowCentre(2), u"mnuPlace"_s), u"mnuUnpinPlace"_s);
        QVERIFY(s.markers().isEmpty());
        QCOMPARE(stored(2, "Coords"), QString());
        QCOMPARE(stored(2, "Place"), u"Hastings Old Town"_s);
    }

    // Pins the atlas cannot show: a sheet it does not have is reported; a
    // point beyond the sheet or an unreadable value gives no marker.
    void pinsTheAtlasCannotUse()
    {
        Setup s({ { 0, u"Calais"_s, {}, u"FR-01A"_s, u"5,5"_s },
            { 1, u"Far"_s, {}, u"GB-03H"_s, u"5000,10"_s }, { 2, u"Garbled"_s, {}, u"GB-03H"_s, u"x,y"_s },
            { 3, u"Near"_s, {}, u"GB-03H"_s, u"999,719"_s } });
        QVERIFY(s.window && s.openNotes());
        s.doubleClickRow(0);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(s.kit.messages().first().text.contains(u"FR-01A"_s));
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(s.markers().size(), 1);
        QVERIFY(s.marker(3));
    }

    // Another program holding the table: the pin is refused with a
    // message, nothing is half-stored, and it is kept to be stored later.
    void aRefusedPinIsKeptForLater()
    {
        Setup s({ { 0, u"Rye"_s, u"Cinque port"_s }, { 1, u"Winchelsea"_s } });
        QVERIFY(s.window);
        {
            fixture::FileLock lock(DataModule1->tblDescrip->fileHostPath());
            QVERIFY(lock.locked());
            Setup::choose(Setup::rightClick(s.window->imgMap(), { 100, 50 }, u"mnuPins"_s), u"mnuPinHere"_s);
            QCOMPARE(s.kit.messages().size(), 1);
        }
        QCOMPARE(stored(0, "Page"), QString());
        QCOMPARE(stored(0, "Memo"), u"Cinque port"_s);
        DataModule1->tblDescrip->moveTo(1); // the next move stores it
        QCOMPARE(stored(0, "Page"), u"GB-03H"_s);
        QCOMPARE(stored(0, "Coords"), u"200,100"_s);
    }

    // "Unpin" on a marker is about that marker's place, whichever place
    // the list has current.
    void aMarkerUnpinsItsOwnPlace()
    {
        Setup s(kPinned);
        QVERIFY(s.window && s.openNotes());
        QTest::mouseClick(s.grid()->viewport(), Qt::LeftButton, {}, s.rowCentre(2));
        QCOMPARE(vPlaceName, u"Hastings"_s);
        s.menu("mnuMaps");
        s.kit.click(u"imgEast"_s);
        QCOMPARE(vMapId, u"GB-03J"_s);
        QVERIFY(s.marker(0) && s.marker(2));
        Setup::choose(Setup::rightClick(s.marker(0), { 5, 5 }, u"mnuPins"_s), u"mnuUnpin"_s);
        QCOMPARE(stored(0, "Page"), QString());
        QCOMPARE(stored(0, "Coords"), QString());
        QCOMPARE(stored(2, "Page"), u"GB-03J"_s);
        QCOMPARE(stored(2, "Coords"), u"1200,900"_s);
        QVERIFY(!s.marker(0));
        QVERIFY(s.marker(2));
        QVERIFY(s.kit.messages().isEmpty());
    }
};

QTEST_MAIN(TestPins)
#include "test_pins.moc"
