// The county catalogue of the atlas window: opening and closing it, picks
// by mouse only, in locate mode too, and picks of sheets that are missing.

#include "kit/atlas_fixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;
    platform::DbGrid* grid = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 670, 480 }, Qt::red);
        atlas.writeSheet(u"GB-03J"_s, { 670, 480 }, Qt::green);
        atlas.writeSheet(u"GB-02H"_s, { 670, 480 }, Qt::yellow);
        atlas.writeSheet(u"NO-REC"_s, { 670, 480 }, Qt::blue);
        atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
        atlas.setRows(
            {
                { u"GB-02H"_s, u""_s, u""_s, u""_s, u"GB-03H"_s, u"Schottland: Lothian"_s, u"4"_s, 100, 200,
                    u"S"_s },
                { u"GB-03H"_s, u""_s, u"GB-03J"_s, u"GB-02H"_s, u""_s, u"England: London"_s, u"12"_s, 433,
                    683, u"E"_s },
                { u"GB-03J"_s, u"GB-03H"_s, u""_s, u""_s, u""_s, u"England: Kent"_s, u"14"_s, 10, 20,
                    u"E"_s },
            },
            { { 1, u"Berkshire"_s, u"GB-03H"_s }, { 2, u"Kent"_s, u"GB-03J"_s },
                { 3, u"Lost"_s, u"NO-REC"_s }, { 4, u"Lothian"_s, u"GB-02H"_s },
                { 5, u"Middlesex"_s, u"GB-03H"_s }, { 6, u"Nowhere"_s, u"GB-04"_s } });
    }
    TfrmAtlas* open()
    {
        window = atlas.open();
        grid = kit.get<platform::DbGrid>(u"grdCatalog"_s);
        return window;
    }
    void openCatalog() { window->mnuCatalog->trigger(); }
    void clickRow(int row)
    {
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }
    bool catalogShown() const { return !window->pnlCatalog()->isHidden(); }
};

} // namespace

class TestCatalog : public QObject {
    Q_OBJECT

private slots:
    void opensAndCloses()
    {
        Setup s;
        QVERIFY(s.open());
        QVERIFY2(s.grid, "grdCatalog missing");
        QVERIFY(!s.catalogShown());
        auto* pnlPrint = s.kit.get(u"pnlPrint"_s);
        pnlPrint->show();
        s.openCatalog();
        QVERIFY(s.catalogShown());
        QVERIFY(pnlPrint->isHidden());
        // One column, the county; the sheet id stays out of sight.
        QCOMPARE(s.grid->model()->columnCount(), 1);
        QCOMPARE(
            s.grid->model()->headerData(0, Qt::Horizontal).toString(), u"SEARCH FOR A TRADITIONAL COUNTY"_s);
        QCOMPARE(s.grid->columnWidth(0), 547);
        QCOMPARE(s.grid->model()->index(1, 0).data().toString(), u"Kent"_s);
        s.kit.click(u"btnClose"_s);
        QVERIFY(!s.catalogShown());
        QCOMPARE(vMapId, u"GB-03H"_s);

        s.openCatalog();
        MainForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(MainForm));
        s.grid->setFocus();
        QTRY_VERIFY(s.grid->hasFocus());
        QTest::keyClick(s.grid, Qt::Key_Escape);
        QVERIFY(!s.catalogShown());
        QVERIFY(s.kit.messages().isEmpty());
    }

    void aPickInLocateModeShowsTheSheetInDetail()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.kit.click(u"btnZoom"_s);
        QCOMPARE(vZoomMode, u"Locate"_s);
        s.openCatalog();
        s.clickRow(1); // Kent
        QVERIFY(!s.catalogShown());
        QCOMPARE(vMapId, u"GB-03J"_s);
        QCOMPARE(vShownMapId, u"GB-03J"_s);
        QCOMPARE(vZoomMode, u"Detail"_s);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 14 : England: Kent"_s);
        QCOMPARE(atlas->Label1()->text(), u"GB-03J.JPG"_s);
        QCOMPARE(atlas->btnZoom()->text(), u"Zoom out"_s);
        QVERIFY(atlas->RedOutline()->isHidden());
        QVERIFY(s.kit.get(u"imgPointer"_s)->isHidden());
        QVERIFY(!s.kit.get(u"imgWest"_s)->isHidden());
        QVERIFY(s.kit.get(u"imgEast"_s)->isHidden());
        QVERIFY(!s.kit.get(u"btnExpand"_s)->isHidden());
        QCOMPARE(atlas->imgMap()->pixmap().toImage().pixelColor(5, 5).green() > 200, true);
    }

    void titlesAndIndicatorsPickNothing()
    {
        Setup s;
        QVERIFY(s.open());
        s.openCatalog();
        QHeaderView* titles = s.grid->horizontalHeader();
        QHeaderView* indicators = s.grid->verticalHeader();
        QTest::mouseClick(
            titles->viewport(), Qt::LeftButton, {}, QPoint(titles->sectionViewportPosition(0) + 40, 5));
        const int kentTop = indicators->sectionViewportPosition(1);
        QTest::mouseClick(indicators->viewport(), Qt::LeftButton, {}, QPoint(5, kentTop + 3));
        QVERIFY(s.catalogShown());
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(DataModule1->tblMapCat->recNo(), 0);
        QVERIFY(s.kit.messages().isEmpty());
    }

    void keyboardMovesDoNotChangeTheSheet()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.openCatalog();
        MainForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(MainForm));
        QTRY_VERIFY(s.grid->hasFocus());
        for (const Qt::Key key :
            { Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_End, Qt::Key_Up, Qt::Key_Left })
            QTest::keyClick(s.grid, key);
        QCOMPARE(DataModule1->tblMapCat->recNo(), 4);
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 12 : England: London"_s);
        QVERIFY(s.catalogShown());
        // Typing jumps to the first county starting with the letters typed.
        QTest::keyClicks(s.grid, u"lot"_s);
        QCOMPARE(DataModule1->tblMapCat->fieldAsString(u"County"_s), u"Lothian"_s);
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(DataModule1->tblMapCat->state(), platform::Table::State::Browse);
    }

    // Enter (either key) picks the highlighted county as a click does.
    void enterPicksTheHighlightedCounty_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void enterPicksTheHighlightedCounty()
    {
        QFETCH(int, key);
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.openCatalog();
        MainForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(MainForm));
        QTRY_VERIFY(s.grid->hasFocus());
        QTest::keyClicks(s.grid, u"kent"_s);
        QTest::keyClick(s.grid, Qt::Key(key));
        QVERIFY(!s.catalogShown());
        QCOMPARE(vMapId, u"GB-03J"_s);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 14 : England: Kent"_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    void reopeningShowsTheRowOfTheLastPick()
    {
        Setup s;
        QVERIFY(s.open());
        s.openCatalog();
        s.clickRow(3); // Lothian
        QCOMPARE(vMapId, u"GB-02H"_s);
        s.openCatalog();
        QCOMPARE(s.grid->currentIndex().row(), 3);
        QCOMPARE(DataModule1->tblMapCat->recNo(), 3);
    }

    void picksOfMissingSheets()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        const qint64 picture = atlas->imgMap()->pixmap().cacheKey();
        s.openCatalog();
        s.clickRow(5); // Nowhere: GB-04 has neither file nor record
        QVERIFY(!s.catalogShown());
        QCOMPARE(s.kit.messageTexts(),
            QStringList { u"Cannot open file \"D:\\Maps\\GB-04.JPG\". No such file or directory"_s });
        QCOMPARE(atlas->imgMap()->pixmap().cacheKey(), picture);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 12 : England: London"_s);
        QCOMPARE(vMapId, u"GB-03H"_s); // the sheet on the screen stays the current one

        // Lost: a file but no record; the first record stands in.
        s.openCatalog();
        s.clickRow(2);
        QCOMPARE(s.kit.messages().size(), 1);
        QCOMPARE(atlas->Label1()->text(), u"NO-REC.JPG"_s);
        QCOMPARE(atlas->windowTitle(), u"   MAP from page 4 : Schottland: Lothian"_s);
        QCOMPARE(vLocateMapId, u"LOC-N"_s);
        QVERIFY(!s.kit.get(u"imgSouth"_s)->isHidden());
        QVERIFY(s.kit.get(u"imgNorth"_s)->isHidden());
    }
};

QTEST_MAIN(TestCatalog)
#include "test_catalog.moc"
