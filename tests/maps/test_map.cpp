// The full-screen map window on an atlas of the test's own: its size by the
// screen's width, the key and scale, the help page, moving and returning to
// the atlas window, failures, and zooming into the scan.

#include "kit/atlas_fixture.h"
#include "kit/demo_sheets.h"

#include "data/installer.h"
#include "imaging/pictures.h"
#include "maps/map.h"
#include "maps/sheet_tiles.h"
#include "maps/zoom_view.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace corvane;
using namespace Qt::StringLiterals;
using namespace fixture;

namespace {

// GB-03H opens the atlas: Scotland to the north, Ireland to the east, a
// sheet without a file to the west. The northern and western sheets lie on
// the overviews where the demo atlas puts a Scottish and an English sheet.
const DemoPlacement kNorthern = demoPlacement(u"GB-10F"_s);
const DemoPlacement kWestern = demoPlacement(u"GB-03G"_s);

QList<Sheet> sheets()
{
    return {
        { u"AA-00A"_s, u""_s, u""_s, u""_s, u""_s, u"Erstes Blatt"_s, u"1"_s, 50, 60, u"E"_s },
        { u"GB-02H"_s, u""_s, u""_s, u""_s, u"GB-03H"_s, u"Schottland: Lothian"_s, u"4"_s, kNorthern.locTop,
            kNorthern.locLeft, u"S"_s },
        { u"GB-03G"_s, u""_s, u"GB-03H"_s, u""_s, u""_s, u"England: Oxford"_s, u"10"_s, kWestern.locTop,
            kWestern.locLeft, u"W"_s },
        { u"GB-03H"_s, u"GB-03G"_s, u"IR-04D"_s, u"GB-02H"_s, u"GB-0"_s, u"England: London und Umgebung"_s,
            u"12-13"_s, 433, 683, u"E"_s },
        { u"IR-04D"_s, u"GB-03H"_s, u""_s, u""_s, u""_s, u"Irland: Dublin"_s, u"30"_s, 200, 300, u"I"_s },
    };
}

// Vertical lines one pixel wide: grey when drawn at half size or less,
// black and white when drawn from the full picture.
QImage finelyLined(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    explicit Setup(QSize screen = { 1024, 768 }, const QList<Sheet>& rows = sheets())
    {
        kit.setScreenSize(screen);
        // 2000 x 1440 fits the 1000 x 720 box at half size.
        fixture::writeBytes(
            atlas.sheetFile(u"GB-03H"_s), fixture::encodeJpeg(finelyLined({ 2000, 1440 }), 100));
        atlas.writeSheet(u"GB-02H"_s, { 1340, 960 }, kYellow);
        atlas.writeSheet(u"IR-04D"_s, { 1340, 960 }, kGreen);
        atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, kGrey);
        atlas.writeSheet(u"LOC-N"_s, { 1000, 720 }, kCyan);
        atlas.writeSheet(u"GB-KEY"_s, { 564, 1080 }, Qt::darkRed);
        atlas.writeSheet(u"IR-KEY"_s, { 781, 1080 }, Qt::darkGreen);
        atlas.writeSheet(u"GB-SCALE"_s, { 513, 1080 }, Qt::darkBlue);
        atlas.writeSheet(u"IR-SCALE"_s, { 781, 1080 }, Qt::darkCyan);
        atlas.setRows(rows, {});
    }
    TfrmAtlas* open()
    {
        window = atlas.open();
        return window;
    }
    // Opens the full-screen window as the user does; null on failure.
    TfrmMap* expand()
    {
        QTest::mouseClick(Kit::child<QPushButton>(window, u"btnExpand"_s), Qt::LeftButton);
        if (!frmMap || !QTest::qWaitForWindowExposed(frmMap))
            return nullptr;
        return frmMap;
    }
    template <typename T = QWidget> static T* inMap(const char* name)
    {
        return Kit::child<T>(frmMap, QLatin1String(name));
    }
    template <typename T = QWidget> T* inAtlas(const char* name) const
    {
        return Kit::child<T>(window, QLatin1String(name));
    }
    static void click(const char* name) { QTest::mouseClick(inMap(name), Qt::LeftButton); }
    static QStringList visibleArrows(QWidget* form)
    {
        QStringList names;
        for (const char* name : { "imgNorth", "imgSouth", "imgEast", "imgWest" })
            if (!Kit::child(form, QLatin1String(name))->isHidden())
                names << QLatin1String(name);
        return names;
    }
};

bool inFront(QWidget* a, QWidget* b)
{
    const QObjectList order = a->parent()->children(); // back to front
    return order.indexOf(a) > order.indexOf(b);
}

void wheel(QWidget* view, QPointF at, int notches)
{
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

// How far apart the darkest and lightest pixels of a row of the view are.
int contrast(QWidget* view, QRect area)
{
    const QImage shot = view->grab(area).toImage();
    int low = 255, high = 0;
    for (int x = 0; x < shot.width(); ++x) {
        const int v = qGray(shot.pixel(x, shot.height() / 2));
        low = std::min(low, v);
        high = std::max(high, v);
    }
    return high - low;
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 16 && std::abs(a.green() - b.green()) < 16
        && std::abs(a.blue() - b.blue()) < 16;
}

} // namespace

class TestMap : public QObject {
    Q_OBJECT

private slots:
    void sizedByTheScreenTable_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<bool>("irish");
        QTest::addColumn<QRect>("window"); // from the second showing on
        QTest::addColumn<QSize>("map");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("scale");
        // clang-format off
        QTest::newRow("640 British")  << QSize(640, 480)   << false << QRect(34, 0, 612, 450)    << QSize(600, 432)   << 225 << 205;
        QTest::newRow("640 Irish")    << QSize(640, 480)   << true  << QRect(34, 0, 612, 450)    << QSize(600, 432)   << 312 << 312;
        QTest::newRow("800 British")  << QSize(800, 600)   << false << QRect(19, 0, 762, 570)    << QSize(750, 540)   << 282 << 256;
        QTest::newRow("800 Irish")    << QSize(800, 600)   << true  << QRect(19, 0, 762, 570)    << QSize(750, 540)   << 390 << 390;
        QTest::newRow("1024 British") << QSize(1024, 768)  << false << QRect(6, 0, 1012, 758)    << QSize(1000, 720)  << 376 << 342;
        QTest::newRow("1024 Irish")   << QSize(1024, 768)  << true  << QRect(6, 0, 1012, 758)    << QSize(1000, 720)  << 521 << 521;
        QTest::newRow("1280 British") << QSize(1280, 1024) << false << QRect(34, 0, 1212, 900)   << QSize(1200, 864)  << 451 << 410;
        QTest::newRow("1280 Irish")   << QSize(1280, 1024) << true  << QRect(34, 0, 1212, 900)   << QSize(1200, 864)  << 625 << 625;
        QTest::newRow("1600 British") << QSize(1600, 1200) << false << QRect(44, 0, 1512, 1118)  << QSize(1500, 1080) << 564 << 513;
        QTest::newRow("1600 Irish")   << QSize(1600, 1200) << true  << QRect(44, 0, 1512, 1118)  << QSize(1500, 1080) << 781 << 781;
        // clang-format on
    }
    void sizedByTheScreenTable()
    {
        QFETCH(QSize, screen);
        QFETCH(bool, irish);
        QFETCH(QRect, window);
        QFETCH(QSize, map);
        QFETCH(int, key);
        QFETCH(int, scale);
        Setup s(screen);
        QVERIFY(s.open());
        if (irish)
            QTest::mouseClick(s.inAtlas("imgEast"), Qt::LeftButton);
        TfrmMap* full = s.expand();
        QVERIFY(full);
        QVERIFY(s.kit.messages().isEmpty());
        QVERIFY(full->isWindow());
        QVERIFY(full->windowFlags() & Qt::Tool);
        QCOMPARE(full->parentWidget(), static_cast<QWidget*>(MainForm));
        // The first showing is centred at the size it has just been given.
        const QPoint centred((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
        QCOMPARE(full->frameGeometry(), QRect(centred, window.size()));
        QCOMPARE(full->imgMap()->size(), map);
        QCOMPARE(std::pair(vFullKeyWidth, vFullScaleWidth), std::pair(key, scale));

        s.click("btnKey");
        QCOMPARE(full->imgKey()->width(), key);
        QCOMPARE(full->imgKey()->height(), 720);
        QVERIFY(inFront(full->imgKey(), full->imgMap()));
        QVERIFY(full->pnlOptions()->isHidden());
        QTest::mouseClick(full->imgKey(), Qt::LeftButton, {}, { 5, 5 });
        QVERIFY(!inFront(full->imgKey(), full->imgMap()));
        QVERIFY(!full->pnlOptions()->isHidden());
        s.click("btnScale");
        QCOMPARE(full->imgKey()->width(), scale);
        QVERIFY(s.kit.messages().isEmpty());

        // Back to the atlas and out again: the table's placement now.
        QTest::mouseDClick(full->imgMap(), Qt::LeftButton, {}, { 400, 300 });
        QVERIFY(full->isHidden());
        QVERIFY(s.expand());
        QCOMPARE(full->frameGeometry(), window);
        QVERIFY(!inFront(full->imgKey(), full->imgMap()));
        QVERIFY(!full->pnlOptions()->isHidden());
    }

    // Any other screen: the window takes the room windows may have on it,
    // the map box the sheets' shape, as large as fits, centred; the key and
    // scale in proportion.
    void fillsAnyOtherScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("area");
        QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QRect(0, 0, 1920, 1080);
        QTest::newRow("1366 x 768") << QSize(1366, 768) << QRect(0, 0, 1366, 768);
        QTest::newRow("a panel at the top") << QSize(1920, 1200) << QRect(0, 32, 1920, 1168);
        QTest::newRow("1920 x 1080 at scale 2") << QSize(960, 540) << QRect(0, 0, 960, 540);
        QTest::newRow("2560 x 1440") << QSize(2560, 1440) << QRect(0, 0, 2560, 1440);
    }
    void fillsAnyOtherScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(QRect, area);
        Setup s(screen);
        s.kit.setScreenArea(area);
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        for (int showing = 0; showing < 2; ++showing) {
            QCOMPARE(full->frameGeometry(), area);
            const QRect map = full->imgMap()->geometry();
            QVERIFY(full->rect().contains(map));
            QVERIFY2(std::abs(map.width() * 720 - map.height() * 1000) <= 1000,
                qPrintable(u"%1 x %2"_s.arg(map.width()).arg(map.height())));
            // As large as fits: one side takes nearly all the room.
            QVERIFY(map.width() >= full->width() - 16 || map.height() >= full->height() - 20);
            QVERIFY(std::abs(map.left() - (full->width() - 1 - map.right())) <= 1);
            QCOMPARE(vFullKeyWidth, 376 * map.width() / 1000);
            QCOMPARE(vFullScaleWidth, 342 * map.width() / 1000);
            s.click("btnKey");
            QCOMPARE(full->imgKey()->geometry(), QRect(map.topLeft(), QSize(vFullKeyWidth, map.height())));
            QTest::mouseDClick(full->imgMap(), Qt::LeftButton, {}, { 400, 300 });
            QVERIFY(full->isHidden());
            QVERIFY(s.expand());
        }
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Only a title (and a close button where the window system insists):
    // no minimise or maximise, and no size to maximise from. Closing, or a
    // minimise from a window manager that offers one anyway, returns to
    // the atlas window.
    void noMinimiseOrMaximise()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        const Qt::WindowFlags flags = full->windowFlags();
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(full->minimumSize(), full->maximumSize());
        s.click("imgNorth");
        QVERIFY(full->close() == false);
        QVERIFY(full->isHidden());
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(s.window->Label1()->text(), u"GB-02H.JPG"_s);

        QVERIFY(s.expand());
        full->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(full->isHidden());
        QVERIFY(!(full->windowState() & Qt::WindowMinimized));
        QVERIFY(!MainForm->isMinimized());
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QVERIFY(s.expand()); // and it comes back whole
    }

    // A click beside a key or scale picture, on the map, brings the panel
    // back over it.
    void aClickBesideTheKeyShowsThePanel()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        for (const char* button : { "btnKey", "btnScale" }) {
            s.click(button);
            QVERIFY(full->pnlOptions()->isHidden());
            QTest::mouseClick(full->imgMap(), Qt::LeftButton, {}, { 800, 300 });
            QVERIFY(!full->pnlOptions()->isHidden());
            QCOMPARE(full->childAt(QPoint(100, 100))->window(), static_cast<QWidget*>(full));
            QVERIFY(full->pnlOptions()->isAncestorOf(full->childAt(QPoint(100, 100)))
                || full->childAt(QPoint(100, 100)) == full->pnlOptions());
            QVERIFY(inFront(full->pnlOptions(), full->imgKey()));
        }
    }

    // A sheet that leaves room below it in the box shows the window there,
    // not a strip of the key shown before.
    void noStripOfTheKeyUnderTheNextSheet()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("btnKey");
        QTest::mouseClick(full->imgKey(), Qt::LeftButton, {}, { 5, 5 });
        s.click("imgNorth"); // 1340 x 960: 1000 x 716 in the box
        const QPoint below = full->imgMap()->mapTo(full, QPoint(100, 718));
        const QColor seen = full->grab(QRect(below, QSize(1, 1))).toImage().pixelColor(0, 0);
        QVERIFY2(!near(seen, QColor(Qt::darkRed)), qPrintable(seen.name()));
        QVERIFY(near(seen, QColor(0, 0, 255)));
    }

    // The arrow keys do what the arrows do, Esc returns as a double-click.
    void theKeyboardMovesZoomsAndReturns()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        TfrmMap* full = s.expand();
        QVERIFY(full);
        QApplication::setActiveWindow(full);
        QTRY_COMPARE(QApplication::activeWindow(), full);
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus && full->isAncestorOf(focus));
        QTest::keyClick(focus, Qt::Key_Down); // no southern neighbour
        QCOMPARE(vFullMapId, u"GB-03H"_s);
        QTest::keyClick(focus, Qt::Key_Up);
        QCOMPARE(vFullMapId, u"GB-02H"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(vFullMapId, u"GB-03H"_s);
        QTest::keyClick(Setup::inMap("btnKey"), Qt::Key_Right);
        QCOMPARE(vFullMapId, u"IR-04D"_s);
        QTest::keyClick(Setup::inMap("btnHide"), Qt::Key_Left);
        QCOMPARE(vFullMapId, u"GB-03H"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Plus);
        QVERIFY(full->imgMap()->zoom() > full->imgMap()->fittedZoom());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_0);
        QCOMPARE(full->imgMap()->zoom(), full->imgMap()->fittedZoom());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(full->isHidden());
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(vShownMapId, u"GB-03H"_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // A move to a sheet whose pyramid is there reads only its tiles: the
    // file spoiled (size and time kept) still shows, sharp when zoomed.
    void aMoveWithThePyramidReadsOnlyTiles()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("imgEast");
        QVERIFY(SheetTiles::instance().builder().waitForIdle(20000));
        QTRY_VERIFY(full->imgMap()->hasTiles());
        s.click("imgWest");
        QVERIFY(fixture::spoilKeepingSizeAndTime(s.atlas.sheetFile(u"IR-04D"_s)));
        full->pictures().clear();
        s.window->pictures().clear();

        s.click("imgEast");
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(vFullMapId, u"IR-04D"_s);
        TZoomView* view = full->imgMap();
        QVERIFY(view->hasTiles());
        wheel(view, { 500, 360 }, 20);
        QTRY_VERIFY((view->repaint(), view->lastPaintWasSharp()));
        QVERIFY(near(view->grab(QRect(300, 300, 1, 1)).toImage().pixelColor(0, 0), kGreen));
        QVERIFY(!full->fullPicture().picture());
    }

    // A tile cache that cannot be written is no error the user sees: the
    // sheet is decoded whole for zooming, as before there were pyramids.
    void withoutACacheTheSheetIsDecodedWhole()
    {
        Setup s;
        QVERIFY(QDir().mkpath(s.kit.home() + u"/.cache"_s));
        QVERIFY(fixture::writeBytes(s.kit.home() + u"/.cache/corvane3"_s, "not a folder"));
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        TZoomView* view = full->imgMap();
        QTRY_VERIFY(view->hasLevels());
        QVERIFY(!view->hasTiles());
        wheel(view, { 500, 360 }, 20);
        QVERIFY(contrast(view, QRect(300, 400, 200, 4)) > 150);
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
    }

    // A move here sizes the new country's key and scale for the screen
    // too, as the showing did for the first sheet.
    void keyAndScaleAfterAMoveKeepTheScreenFactor()
    {
        Setup s({ 640, 480 });
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("imgEast"); // to Ireland
        QCOMPARE(vFullKeyMapId, u"IR-KEY"_s);
        QCOMPARE(vFullScaleMapId, u"IR-SCALE"_s);
        QCOMPARE(std::pair(vFullKeyWidth, vFullScaleWidth), std::pair(312, 312));
        s.click("btnKey");
        QCOMPARE(full->imgKey()->width(), 312);
        QVERIFY(
            near(full->imgKey()->grab(QRect(5, 5, 1, 1)).toImage().pixelColor(0, 0), QColor(Qt::darkGreen)));
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Each move sizes the key and scale as the showing does for this screen
    // (multiplied first: dividing first loses pixels).
    void keyAndScaleAfterMovesMatchTheShowing_data()
    {
        QTest::addColumn<int>("screenWidth");
        QTest::addColumn<QSize>("irish"); // key, scale
        QTest::addColumn<QSize>("british");
        QTest::newRow("800") << 800 << QSize(390, 390) << QSize(282, 256);
        QTest::newRow("1280") << 1280 << QSize(625, 625) << QSize(451, 410);
        QTest::newRow("1600") << 1600 << QSize(781, 781) << QSize(564, 513);
    }
    void keyAndScaleAfterMovesMatchTheShowing()
    {
        QFETCH(int, screenWidth);
        QFETCH(QSize, irish);
        QFETCH(QSize, british);
        Setup s({ screenWidth, screenWidth * 3 / 4 });
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("imgEast"); // to Ireland
        QCOMPARE(QSize(vFullKeyWidth, vFullScaleWidth), irish);
        s.click("btnKey");
        QCOMPARE(full->imgKey()->width(), irish.width());
        QTest::mouseClick(full->imgKey(), Qt::LeftButton, {}, { 5, 5 });
        s.click("imgWest"); // back to England
        QCOMPARE(QSize(vFullKeyWidth, vFullScaleWidth), british);
        s.click("btnScale");
        QCOMPARE(full->imgKey()->width(), british.height());
        QVERIFY(s.kit.messages().isEmpty());
    }

    // A neighbour id of five characters or more is a neighbour, as in the
    // atlas window; four characters are not.
    void arrowsShowNeighboursOfFiveCharactersOrMore()
    {
        QList<Sheet> rows = sheets();
        rows[4].south = u"IR-05"_s; // IR-04D: exactly five, without a file
        rows[4].east = u"IR-0"_s;
        Setup s({ 1024, 768 }, rows);
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("imgEast");
        QCOMPARE(vFullMapId, u"IR-04D"_s);
        QCOMPARE(Setup::visibleArrows(full), (QStringList { u"imgSouth"_s, u"imgWest"_s }));
        s.click("imgSouth");
        QCOMPARE(s.kit.messageTexts(),
            QStringList { u"Cannot open file \"D:\\Maps\\IR-05.JPG\". No such file or directory"_s });
    }

    void helpOpensTheKeyPageOfTheCountry()
    {
        Setup s;
        QVERIFY(s.open());
        QVERIFY(s.expand());
        s.click("btnHelp");
        QCOMPARE(vShellTarget, vProgramPath + u"Help\\BritKey.HTM"_s);
        s.click("imgEast"); // to Ireland
        s.click("btnHelp");
        QCOMPARE(vShellTarget, vProgramPath + u"Help\\IrishKey.HTM"_s);
        QCOMPARE(s.kit.shellRequests().size(), 2);
        QCOMPARE(s.kit.shellRequests().constLast(), QUrl::fromLocalFile(s.kit.hostPath(vShellTarget)));
        QVERIFY(s.kit.shellRequests().constLast().toLocalFile().endsWith(u"/Help/IrishKey.HTM"_s));
        QCOMPARE(vCurrentView, u"Map"_s);
    }

    // The frame's menu shortcuts belong to the frame's windows: F1 over the
    // full-screen map must not run the atlas window's help command.
    void f1OverTheFullScreenMapLeavesTheCurrentView()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        QApplication::setActiveWindow(full);
        QTRY_COMPARE(QApplication::activeWindow(), full);
        QTest::keyClick(full, Qt::Key_F1);
        QTest::keyClick(Setup::inMap("btnKey"), Qt::Key_F1);
        QTest::keyClick(Setup::inMap("btnKey"), Qt::Key_D, Qt::AltModifier);
        QCOMPARE(vCurrentView, u"Map"_s);
        QVERIFY(!vNotesCreated);
        QVERIFY(s.kit.shellRequests().isEmpty());
    }

    void movingNorthThenReturningByDoubleClick()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        TfrmMap* full = s.expand();
        QVERIFY(full);
        QCOMPARE(vCurrentView, u"Map"_s);
        QCOMPARE(full->windowTitle(), u"   MAP from page 12-13 : England: London und Umgebung"_s);
        QCOMPARE(Setup::visibleArrows(full), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));

        s.click("imgNorth");
        QCOMPARE(vFullMapId, u"GB-02H"_s);
        QCOMPARE(vMapId, u"GB-02H"_s);
        QCOMPARE(full->windowTitle(), u"   MAP from page 4 : Schottland: Lothian"_s);
        QCOMPARE(vFullMapTitle, u"Schottland: Lothian"_s);
        QCOMPARE(Setup::visibleArrows(full), QStringList { u"imgSouth"_s });
        QCOMPARE(vCountryName, u"Scotland"_s);
        QCOMPARE(vLocateMapId, u"LOC-N"_s);
        // The atlas window follows only on the return.
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 12-13 : England: London und Umgebung"_s);
        QCOMPARE(atlas->Label1()->text(), u"GB-03H.JPG"_s);
        QCOMPARE(vShownMapId, u"GB-03H"_s);

        QTest::mouseDClick(full->imgMap(), Qt::LeftButton, {}, { 400, 300 });
        QVERIFY(full->isHidden());
        QCOMPARE(vShownMapId, u"GB-02H"_s);
        QCOMPARE(vZoomMode, u"Detail"_s);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 4 : Schottland: Lothian"_s);
        QCOMPARE(atlas->Label1()->text(), u"GB-02H.JPG"_s);
        QCOMPARE(Setup::visibleArrows(atlas), QStringList { u"imgSouth"_s });
        QVERIFY(near(atlas->imgMap()->pixmap().toImage().pixelColor(5, 5), kYellow));
        QVERIFY(atlas->isVisible());
        QVERIFY(s.kit.messages().isEmpty());

        // The next "Expand map" shows the same window on the atlas's sheet.
        QCOMPARE(s.expand(), full);
        QCOMPARE(vFullMapId, u"GB-02H"_s);
        QCOMPARE(full->windowTitle(), atlas->windowTitle());
    }

    void zoomingOutInTheAtlasWithoutReturning()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        QVERIFY(s.expand());
        s.click("imgNorth");
        QTest::mouseClick(atlas->btnZoom(), Qt::LeftButton);
        // The overview of the new sheet's country, the outline on the sheet's
        // rectangle there, the pointer's tip at its corner.
        QVERIFY(near(atlas->imgMap()->pixmap().toImage().pixelColor(5, 5), kCyan));
        const QRect sheet = onScreen(kNorthern.onOverview, atlas->imgMap()->geometry(),
            atlas->imgMap()->pixmap().deviceIndependentSize().toSize().width());
        QCOMPARE(atlas->RedOutline()->geometry(), sheet);
        QCOMPARE(s.inAtlas("imgPointer")->geometry().bottomRight() + QPoint(1, 1), sheet.topLeft());
        QCOMPARE(atlas->Label1()->text(), u"GB-02H.JPG"_s);
    }

    void aMissingKeyFileIsReported()
    {
        Setup s;
        QVERIFY(QFile::remove(s.atlas.sheetFile(u"GB-KEY"_s)));
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("btnKey");
        QCOMPARE(s.kit.messageTexts(),
            QStringList { u"Cannot open file \"D:\\Maps\\GB-KEY.JPG\". No such file or directory"_s });
        QVERIFY(full->pnlOptions()->isHidden());
        QVERIFY(inFront(full->imgKey(), full->imgMap()));
        QVERIFY(!full->imgKey()->hasPicture());
        // A click on the (empty) key restores the panel.
        QTest::mouseClick(full->imgKey(), Qt::LeftButton, {}, { 5, 5 });
        QVERIFY(!full->pnlOptions()->isHidden());
        QVERIFY(!inFront(full->imgKey(), full->imgMap()));
        s.click("btnScale");
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(full->imgKey()->hasPicture());
    }

    // The record is read before the picture is loaded: a sheet without a
    // file leaves the record's values changed, the rest as it was.
    void aMissingSheetHereKeepsCaptionAndArrows()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        s.click("imgWest"); // GB-03G has a record but no file
        QCOMPARE(s.kit.messageTexts(),
            QStringList { u"Cannot open file \"D:\\Maps\\GB-03G.JPG\". No such file or directory"_s });
        QCOMPARE(vFullMapId, u"GB-03G"_s);
        QCOMPARE(vMapPages, u"10"_s);
        QCOMPARE(vCountryName, u"Wales"_s);
        // The outline's corner for the atlas window's overview, from where
        // the sheet lies on it.
        const QRect west
            = onScreen(kWestern.onOverview, s.window->imgMap()->geometry(), s.window->imgMap()->width());
        QCOMPARE(std::pair(vOutlineTop, vOutlineLeft), std::pair(west.top(), west.left()));
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(full->windowTitle(), u"   MAP from page 12-13 : England: London und Umgebung"_s);
        QCOMPARE(Setup::visibleArrows(full), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));
        // GB-03G's east leads back.
        s.click("imgEast");
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(s.kit.messages().size(), 1);
    }

    // Returning onto a sheet that cannot be shown: reported again, and the
    // atlas stays wholly on the sheet it shows, its print button working.
    void returningOntoASheetThatCannotBeShown_data()
    {
        QTest::addColumn<QString>("arrow");
        QTest::addColumn<QString>("sheet");
        QTest::newRow("missing") << u"imgWest"_s << u"GB-03G"_s;
        QTest::newRow("damaged") << u"imgEast"_s << u"IR-04D"_s;
    }
    void returningOntoASheetThatCannotBeShown()
    {
        QFETCH(QString, arrow);
        QFETCH(QString, sheet);
        Setup s;
        const QByteArray good = fixture::encodeJpeg(fixture::sheetImage({ 1340, 960 }, kGreen));
        QVERIFY(fixture::writeBytes(s.atlas.sheetFile(u"IR-04D"_s), good.left(300)));
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        MainForm->showToolButtons();
        TfrmMap* full = s.expand();
        QVERIFY(full);
        const qint64 picture = atlas->imgMap()->pixmap().cacheKey();
        QTest::mouseClick(Kit::child(full, arrow), Qt::LeftButton);
        QCOMPARE(s.kit.messages().size(), 1);

        QTest::mouseDClick(full->imgMap(), Qt::LeftButton, {}, { 400, 300 });
        QVERIFY(full->isHidden());
        QCOMPARE(s.kit.messages().size(), 2);
        QVERIFY2(s.kit.messageTexts().constLast().contains(sheet + u".JPG"_s),
            qPrintable(s.kit.messageTexts().constLast()));
        QCOMPARE(vShownMapId, u"GB-03H"_s);
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(vZoomMode, u"Detail"_s);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(atlas->imgMap()->pixmap().cacheKey(), picture);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 12-13 : England: London und Umgebung"_s);
        QCOMPARE(atlas->Label1()->text(), u"GB-03H.JPG"_s);
        QCOMPARE(Setup::visibleArrows(atlas), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));
        s.kit.click(u"spdPrint"_s);
        QVERIFY(MainForm->pnlPrint->isVisible());
        QCOMPARE(MainForm->lblFilename1->text(), u"GB-03H.JPG"_s);

        // The next "Expand map" shows the sheet the atlas shows.
        QCOMPARE(s.expand(), full);
        QCOMPARE(vFullMapId, u"GB-03H"_s);
        QCOMPARE(s.kit.messages().size(), 2);
    }

    void aWheelStepKeepsThePointUnderTheCursor()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        TZoomView* view = full->imgMap();
        QCOMPARE(view->zoom(), 0.5); // 2000 x 1440 in 1000 x 720
        const QPointF cursor(610.5, 333.25);
        const QPointF under = view->toPicture(cursor);
        wheel(view, cursor, 1);
        QVERIFY(view->zoom() > 0.5);
        QVERIFY(std::abs(view->toPicture(cursor).x() - under.x()) < 0.01);
        QVERIFY(std::abs(view->toPicture(cursor).y() - under.y()) < 0.01);
        wheel(view, cursor, 3);
        QVERIFY((view->toPicture(cursor) - under).manhattanLength() < 0.02);
        // Up to two screen pixels per scan pixel, and no further.
        wheel(view, cursor, 20);
        QCOMPARE(view->zoom(), 2.0);
        // Out again: never below the fitted view, which is anchored top-left.
        wheel(view, cursor, -30);
        QCOMPARE(view->zoom(), 0.5);
        QCOMPARE(view->toPicture({ 0, 0 }), QPointF(0, 0));

        // The keys, wherever the focus is in the window.
        s.inMap("btnHide")->setFocus();
        QTest::keyClick(s.inMap("btnHide"), Qt::Key_Plus);
        QVERIFY(view->zoom() > 0.5);
        QTest::keyClick(view, Qt::Key_Minus);
        QCOMPARE(view->zoom(), 0.5);
        wheel(view, cursor, 4);
        QTest::keyClick(view, Qt::Key_0);
        QCOMPARE(view->zoom(), 0.5);
        QVERIFY(!full->pnlOptions()->isHidden()); // the panel button was not pressed

        // A new sheet starts fitted.
        wheel(view, cursor, 4);
        s.click("imgNorth");
        QCOMPARE(view->zoom(), view->fittedZoom());
        QCOMPARE(view->toPicture({ 0, 0 }), QPointF(0, 0));
    }

    void aDragPansAndIsNoClick()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        TfrmMap* full = s.expand();
        QVERIFY(full);
        TZoomView* view = full->imgMap();
        s.click("btnHide");
        wheel(view, { 500, 360 }, 6);
        const QPoint from(500, 360);
        const QPoint to(380, 290);
        const QPointF grabbed = view->toPicture(from);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, from + QPoint(5, 0));
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        // The scan followed the mouse, and the panel stayed hidden.
        QVERIFY((view->toPicture(to) - grabbed).manhattanLength() < 0.01);
        QVERIFY(full->pnlOptions()->isHidden());
        // A double-click right after a drag is no return to the atlas.
        QTest::mouseDClick(view, Qt::LeftButton, {}, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QVERIFY(full->isVisible());
        QCOMPARE(vCurrentView, u"Map"_s);
        // A click shows the panel; a fitted sheet's drag is no click either.
        s.click("btnHide");
        QTest::keyClick(view, Qt::Key_0);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QVERIFY(full->pnlOptions()->isHidden());
        QTest::mouseClick(view, Qt::LeftButton, {}, to);
        QVERIFY(!full->pnlOptions()->isHidden());
        // A click on the bare window shows it too.
        s.click("btnHide");
        QTest::mouseClick(full, Qt::LeftButton, {}, { 900, 740 });
        QVERIFY(!full->pnlOptions()->isHidden());
    }

    void zoomDrawsFromTheFullResolutionSheet()
    {
        Setup s;
        QVERIFY(s.open());
        TfrmMap* full = s.expand();
        QVERIFY(full);
        TZoomView* view = full->imgMap();
        const QRect row(300, 400, 200, 4);
        // One-pixel lines at half size: grey, from any copy.
        QVERIFY(contrast(view, row) < 40);
        QTRY_VERIFY(view->hasTiles());
        wheel(view, { 500, 360 }, 20);
        QCOMPARE(view->zoom(), 2.0);
        QTRY_VERIFY(view->hasTiles() && (view->repaint(), view->lastPaintWasSharp()));
        // Tiles are JPEGs made again: the finest lines keep most of their contrast.
        QVERIFY2(contrast(view, row) > 100, qPrintable(QString::number(contrast(view, row))));
        QVERIFY(!full->fullPicture().picture()); // the tiles serve, not the whole sheet
        // Back to the atlas: the tiles are let go.
        QTest::mouseDClick(view, Qt::LeftButton, {}, { 400, 300 });
        QVERIFY(!view->hasTiles());
    }

    // The shipped demo atlas: the window opens on the first sheet with its
    // key and scale, and every arrow leads to a sheet that opens.
    void theDemoAtlasWorksFullScreen()
    {
        Kit kit;
        if (!QFileInfo::exists(platform::shareDir() + u"/cd/Maps/GB-03H.JPG"_s)
            || !QFileInfo::exists(templateFolder() + u"/MAPS.tsv"_s))
            QSKIP("the demo atlas is not built");
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.start();
        kit.passSplash();
        kit.click(u"btnBegin"_s);
        QVERIFY(frmAtlas);
        QTest::mouseClick(Kit::child<QPushButton>(frmAtlas, u"btnExpand"_s), Qt::LeftButton);
        QVERIFY(frmMap && frmMap->isVisible());
        QVERIFY(frmMap->imgMap()->hasPicture());
        for (const char* button : { "btnKey", "btnScale" }) {
            Setup::click(button);
            QVERIFY(frmMap->imgKey()->hasPicture());
            QTest::mouseClick(frmMap->imgKey(), Qt::LeftButton, {}, { 5, 5 });
        }
        int moves = 0;
        for (const char* arrow : { "imgNorth", "imgSouth", "imgEast", "imgWest" }) {
            if (Setup::inMap(arrow)->isHidden())
                continue;
            const QString before = vFullMapId;
            Setup::click(arrow);
            QVERIFY2(vMapId != before, arrow);
            ++moves;
        }
        QVERIFY(moves >= 2);
        QTRY_VERIFY(frmMap->imgMap()->hasTiles());
        QVERIFY(kit.messages().isEmpty());
    }

    // Levels of a large sheet: the whole picture, then halves down to the
    // box; a request replaces the one before.
    void fullPicturesComeOneAtATime()
    {
        Kit kit;
        QTemporaryDir cd;
        kit.setDrive(QLatin1Char('D'), cd.path(), true);
        QVERIFY(fixture::writeBytes(
            cd.path() + u"/BIG.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 4100, 2900 }, kRed))));
        QVERIFY(fixture::writeBytes(
            cd.path() + u"/SMALL.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 900, 600 }, kGreen))));
        QCOMPARE(platform::pictureSize(u"D:\\BIG.JPG"_s), QSize(4100, 2900));

        platform::FullPictureLoader loader;
        int ready = 0;
        connect(&loader, &platform::FullPictureLoader::ready, this, [&] { ++ready; });
        loader.request(u"D:\\BIG.JPG"_s, { 500, 360 });
        loader.request(u"D:\\SMALL.JPG"_s, { 500, 360 });
        QVERIFY(loader.waitForIdle(20000));
        QTRY_COMPARE(ready, 1);
        QCOMPARE(loader.picture()->native, QSize(900, 600));

        loader.request(u"D:\\BIG.JPG"_s, { 500, 360 });
        QVERIFY(!loader.picture());
        QVERIFY(loader.waitForIdle(20000));
        const auto big = loader.picture();
        QVERIFY(big);
        QList<QSize> sizes;
        for (const QImage& level : big->levels)
            sizes << level.size();
        QCOMPARE(sizes, (QList<QSize> { { 4100, 2900 }, { 2050, 1450 }, { 1025, 725 }, { 512, 362 } }));
        QVERIFY(near(big->levels.constLast().pixelColor(10, 10), kRed));

        loader.release();
        QVERIFY(!loader.picture());
        loader.request(u"D:\\NONE.JPG"_s, { 500, 360 }); // forgotten silently
        QVERIFY(loader.waitForIdle(20000));
        QVERIFY(!loader.picture());
    }
};

QTEST_MAIN(TestMap)
#include "test_map.moc"
