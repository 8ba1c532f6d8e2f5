// The atlas window on an atlas of the test's own: the opening sheet, the
// arrows, the locating overview and its arithmetic, the country table,
// sheets that are missing or broken, the keyboard, and decoding ahead.

#include "kit/atlas_fixture.h"
#include "kit/demo_sheets.h"

#include "data/installer.h"
#include "maps/sheet_tiles.h"
#include "maps/sheets.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

using namespace corvane;
using namespace Qt::StringLiterals;
using namespace fixture;

namespace {

// GB-03H opens the atlas; its neighbours cover every arrow case: a missing
// neighbour (empty), one of 4 characters, one of exactly 5 without a file.
QList<Sheet> standardSheets()
{
    return {
        { u"AA-00A"_s, u"GB-03G"_s, u""_s, u""_s, u""_s, u"Erstes Blatt"_s, u"1"_s, 50, 60, u"I"_s },
        { u"GB-02H"_s, u""_s, u""_s, u""_s, u"GB-03H"_s, u"Schottland: Lothian"_s, u"4"_s, 100, 201, u"S"_s },
        { u"GB-03G"_s, u""_s, u"GB-03H"_s, u""_s, u""_s, u"England: Oxford"_s, u"10"_s, 1, 1, u"W"_s },
        { u"GB-03H"_s, u"GB-03G"_s, u"GB-03J"_s, u"GB-02H"_s, u""_s, u"England: London und Umgebung"_s,
            u"12-13"_s, 433, 683, u"E"_s },
        { u"GB-03J"_s, u"GB-03H"_s, u"GB-0"_s, u""_s, u"GB-04"_s, u"England: Kent"_s, u"14"_s, -3, -5,
            u"e"_s },
    };
}

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    explicit Setup(QList<Sheet> sheets = standardSheets())
    {
        const QList<std::pair<const char*, QColor>> files { { "AA-00A", kMagenta }, { "GB-02H", kYellow },
            { "GB-03G", kBlue }, { "GB-03H", kRed }, { "GB-03J", kGreen }, { "NO-REC", kOrange } };
        for (const auto& [id, colour] : files)
            atlas.writeSheet(QLatin1String(id), { 670, 480 }, colour);
        atlas.writeSheet(QStringLiteral("LOC-S"), { 1000, 720 }, kGrey);
        atlas.writeSheet(QStringLiteral("LOC-N"), { 1000, 720 }, kCyan);
        atlas.setRows(sheets, {});
    }
    TfrmAtlas* open()
    {
        window = atlas.open();
        return window;
    }
    QToolButton* arrow(const char* name) const { return kit.get<QToolButton>(QLatin1String(name)); }
    QStringList visibleArrows() const
    {
        QStringList names;
        for (const char* name : { "imgNorth", "imgSouth", "imgEast", "imgWest" })
            if (!arrow(name)->isHidden())
                names << QLatin1String(name);
        return names;
    }
    void click(const char* name) { kit.click(QLatin1String(name)); }
    QWidget* pointer() const { return kit.get(QStringLiteral("imgPointer")); }
};

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 16 && std::abs(a.green() - b.green()) < 16
        && std::abs(a.blue() - b.blue()) < 16;
}

QColor shownColour(TfrmAtlas* atlas)
{
    return atlas->imgMap()->pixmap().toImage().pixelColor(5, 5);
}

} // namespace

class TestAtlas : public QObject {
    Q_OBJECT

private slots:
    void opensOnTheFirstSheet()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY2(atlas, "frmAtlas missing");
        QCOMPARE(
            atlas->windowTitle(), QStringLiteral("   MAP from page 12-13 : England: London und Umgebung"));
        QVERIFY(near(shownColour(atlas), kRed));
        // 670 x 480 fits the 500 x 360 box at 500 x 358, from its top-left corner.
        QCOMPARE(atlas->imgMap()->pixmap().deviceIndependentSize().toSize(), QSize(500, 358));
        QCOMPARE(atlas->imgMap()->alignment(), Qt::AlignLeft | Qt::AlignTop);
        QCOMPARE(atlas->Label1()->text(), QStringLiteral("GB-03H.JPG"));
        QVERIFY(atlas->Label1()->isHidden());
        QCOMPARE(atlas->btnZoom()->text(), QStringLiteral("Zoom out"));
        QCOMPARE(s.visibleArrows(), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));
        QVERIFY(s.pointer()->isHidden());
        QVERIFY(atlas->RedOutline()->isHidden());
        QCOMPARE(atlas->subWindow()->geometry(), QRect(2, 2, 764, 460));
        QCOMPARE(vCurrentView, QStringLiteral("Atlas"));
        QCOMPARE(vZoomMode, QStringLiteral("Detail"));
        QVERIFY(!vFirstAtlasShow);
        QCOMPARE(vPointerTop, 211);
        QCOMPARE(vPointerLeft, 373);
        QStringList menu;
        for (QAction* action : MainForm->menuBar()->actions())
            menu << action->text();
        QCOMPARE(menu, (QStringList { u"Catalog"_s, u"&Descriptions"_s, u"Abbreviations"_s, u"Help"_s }));
    }

    // Whatever the opening sheet's country, the window starts on England's
    // key, scale and overview and the fixed outline; the pointer is the
    // sheet's own.
    void firstShowingStartsOnEngland()
    {
        // Placed on the overview where the demo atlas puts a Scottish sheet.
        const DemoPlacement scottish = demoPlacement(u"GB-10F"_s);
        QList<Sheet> sheets = standardSheets();
        sheets[3].country = QStringLiteral("S");
        sheets[3].locTop = scottish.locTop;
        sheets[3].locLeft = scottish.locLeft;
        Setup s(sheets);
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        // The pointer's tip touches the sheet's corner on the overview.
        const QRect sheet
            = onScreen(scottish.onOverview, atlas->imgMap()->geometry(), atlas->imgMap()->width());
        QRect pointer(QPoint(), s.pointer()->size());
        pointer.moveBottomRight(sheet.topLeft() - QPoint(1, 1));
        QCOMPARE(vCountryCode, QStringLiteral("S"));
        QCOMPARE(vCountryName, QStringLiteral("England"));
        QCOMPARE(vLocateMapId, QStringLiteral("LOC-S"));
        QCOMPARE(vKeyMapId, QStringLiteral("GB-KEY"));
        QCOMPARE(vScaleMapId, QStringLiteral("GB-SCALE"));
        QCOMPARE(std::pair(vKeyWidth, vScaleWidth), std::pair(376, 342));
        QCOMPARE(std::pair(vOutlineTop, vOutlineLeft), std::pair(242, 404));
        QCOMPARE(std::pair(vPointerTop, vPointerLeft), std::pair(pointer.top(), pointer.left()));
        s.click("btnZoom");
        QVERIFY(near(shownColour(atlas), kGrey));
        QCOMPARE(atlas->RedOutline()->pos(), QPoint(404, 242));
        QCOMPARE(s.pointer()->geometry(), pointer);
    }

    void arrowsShowNeighboursOfFiveCharactersOrMore()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("imgEast");
        QCOMPARE(vMapId, QStringLiteral("GB-03J"));
        QCOMPARE(vShownMapId, QStringLiteral("GB-03J"));
        QCOMPARE(atlas->windowTitle(), QStringLiteral("   MAP from page 14 : England: Kent"));
        QCOMPARE(atlas->Label1()->text(), QStringLiteral("GB-03J.JPG"));
        QVERIFY(near(shownColour(atlas), kGreen));
        // West "GB-03H" and South "GB-04" (five) show; East "GB-0" (four)
        // and the empty North do not.
        QCOMPARE(s.visibleArrows(), (QStringList { u"imgSouth"_s, u"imgWest"_s }));
        s.click("imgWest");
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        s.click("imgNorth");
        QCOMPARE(atlas->windowTitle(), QStringLiteral("   MAP from page 4 : Schottland: Lothian"));
        QCOMPARE(vLocateMapId, QStringLiteral("LOC-N"));
        QCOMPARE(s.visibleArrows(), QStringList { u"imgSouth"_s });
        QVERIFY(s.kit.messages().isEmpty());
    }

    void locatorValuesUseTruncatingDivision_data()
    {
        QTest::addColumn<int>("locTop");
        QTest::addColumn<int>("locLeft");
        QTest::addColumn<QPoint>("outline"); // left, top
        QTest::addColumn<QPoint>("pointer");
        QTest::newRow("odd") << 433 << 683 << QPoint(404, 242) << QPoint(373, 211);
        QTest::newRow("odd negative") << -3 << -5 << QPoint(61, 25) << QPoint(30, -6);
        QTest::newRow("minus one") << -1 << -1 << QPoint(63, 26) << QPoint(32, -5);
        QTest::newRow("even") << 100 << 200 << QPoint(163, 76) << QPoint(132, 45);
    }
    void locatorValuesUseTruncatingDivision()
    {
        QFETCH(int, locTop);
        QFETCH(int, locLeft);
        QFETCH(QPoint, outline);
        QFETCH(QPoint, pointer);
        QList<Sheet> sheets = standardSheets();
        sheets[2].locTop = locTop; // GB-03G, reached by an arrow
        sheets[2].locLeft = locLeft;
        Setup s(sheets);
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("imgWest");
        s.click("btnZoom");
        QCOMPARE(atlas->RedOutline()->geometry(), QRect(outline, QSize(67, 48)));
        QCOMPARE(s.pointer()->geometry(), QRect(pointer, QSize(31, 31)));
        QVERIFY(!atlas->RedOutline()->isHidden());
        QVERIFY(!s.pointer()->isHidden());
        QCOMPARE(std::pair(vOutlineTop, vOutlineLeft), std::pair(outline.y(), outline.x()));
    }

    // Sheets placed where the demo atlas puts them: the outline covers the
    // sheet's rectangle on the overview shown, the pointer's tip its corner.
    void theOutlineCoversTheSheetOnTheOverview_data()
    {
        QTest::addColumn<QString>("demoSheet");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QColor>("overview");
        QTest::newRow("England") << u"GB-03H"_s << u"E"_s << kGrey;
        QTest::newRow("Wales") << u"GB-04F"_s << u"W"_s << kGrey;
        QTest::newRow("Ireland") << u"IR-04D"_s << u"I"_s << kGrey;
        QTest::newRow("Scotland") << u"GB-10F"_s << u"S"_s << kCyan;
    }
    void theOutlineCoversTheSheetOnTheOverview()
    {
        QFETCH(QString, demoSheet);
        QFETCH(QString, country);
        QFETCH(QColor, overview);
        const DemoPlacement placed = demoPlacement(demoSheet);
        QList<Sheet> sheets = standardSheets();
        sheets[2].locTop = placed.locTop; // GB-03G, reached by an arrow
        sheets[2].locLeft = placed.locLeft;
        sheets[2].country = country;
        Setup s(sheets);
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("imgWest");
        s.click("btnZoom");
        QVERIFY(near(shownColour(atlas), overview));
        const QSize shown = atlas->imgMap()->pixmap().deviceIndependentSize().toSize();
        const QRect sheet = onScreen(placed.onOverview, atlas->imgMap()->geometry(), shown.width());
        QCOMPARE(atlas->RedOutline()->geometry(), sheet);
        QCOMPARE(s.pointer()->geometry().bottomRight() + QPoint(1, 1), sheet.topLeft());
    }

    void otherCountryLettersKeepThePreviousValues_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::newRow("lower case") << u"e"_s;
        QTest::newRow("unknown") << u"X"_s;
        QTest::newRow("blank") << QString();
    }
    void otherCountryLettersKeepThePreviousValues()
    {
        QFETCH(QString, letter);
        QList<Sheet> sheets = standardSheets();
        sheets[2].country = QStringLiteral("I"); // GB-03G, west of the opening sheet
        sheets[2].east = QStringLiteral("GB-03J");
        sheets[4].country = letter;
        Setup s(sheets);
        QVERIFY(s.open());
        s.click("imgWest");
        s.click("imgEast");
        QCOMPARE(vMapId, QStringLiteral("GB-03J"));
        QCOMPARE(vCountryCode, letter);
        QCOMPARE(vKeyMapId, QStringLiteral("IR-KEY"));
        QCOMPARE(vScaleMapId, QStringLiteral("IR-SCALE"));
        QCOMPARE(std::pair(vKeyWidth, vScaleWidth), std::pair(521, 521));
        QCOMPARE(vCountryName, QStringLiteral("Ireland"));
        QCOMPARE(vLocateMapId, QStringLiteral("LOC-S"));
        // The locator values still come from the sheet's own record.
        QCOMPARE(std::pair(vOutlineTop, vOutlineLeft), std::pair(25, 61));
    }

    void zoomingOutAndBackIn()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        const QString caption = atlas->windowTitle();
        auto* pnlPrint = s.kit.get(QStringLiteral("pnlPrint"));
        pnlPrint->show();
        s.click("btnZoom");
        QCOMPARE(vZoomMode, QStringLiteral("Locate"));
        QCOMPARE(vShownMapId, QStringLiteral("LOC-S"));
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        QVERIFY(near(shownColour(atlas), kGrey));
        QCOMPARE(atlas->imgMap()->pixmap().deviceIndependentSize().toSize(), QSize(500, 360));
        QCOMPARE(atlas->btnZoom()->text(), QStringLiteral("Zoom In"));
        QCOMPARE(atlas->btnZoom()->toolTip(),
            QStringLiteral("Click to view the detail map indicated by the red outline."));
        QCOMPARE(atlas->windowTitle(), caption);
        QCOMPARE(atlas->Label1()->text(), QStringLiteral("GB-03H.JPG"));
        QVERIFY(s.visibleArrows().isEmpty());
        for (const char* name : { "lblArrows", "lblExpand", "btnExpand" })
            QVERIFY2(s.kit.get(QLatin1String(name))->isHidden(), name);
        QVERIFY(!atlas->RedOutline()->isHidden());
        QVERIFY(!s.pointer()->isHidden());
        QVERIFY(pnlPrint->isHidden());

        s.click("btnZoom");
        QCOMPARE(vZoomMode, QStringLiteral("Detail"));
        QVERIFY(near(shownColour(atlas), kRed));
        QCOMPARE(atlas->btnZoom()->text(), QStringLiteral("Zoom out"));
        QCOMPARE(
            atlas->btnZoom()->toolTip(), QStringLiteral("Click to view an overview map locating this area."));
        QCOMPARE(s.visibleArrows(), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));
        QVERIFY(atlas->RedOutline()->isHidden());
        QVERIFY(s.pointer()->isHidden());
        for (const char* name : { "lblArrows", "lblExpand", "btnExpand" })
            QVERIFY2(!s.kit.get(QLatin1String(name))->isHidden(), name);
    }

    void clickingThePointerHidesOnlyThePointer()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("btnZoom");
        s.click("imgPointer");
        QVERIFY(s.pointer()->isHidden());
        QVERIFY(!atlas->RedOutline()->isHidden());
        QCOMPARE(vZoomMode, QStringLiteral("Locate"));
        s.click("btnZoom");
        s.click("btnZoom");
        QVERIFY(!s.pointer()->isHidden());
    }

    void aMissingSheetFileKeepsTheOldSheet()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("imgEast");
        const qint64 picture = atlas->imgMap()->pixmap().cacheKey();
        s.click("imgSouth"); // GB-04 has no file
        QCOMPARE(s.kit.messageTexts(),
            QStringList {
                QStringLiteral("Cannot open file \"D:\\Maps\\GB-04.JPG\". No such file or directory") });
        QCOMPARE(s.kit.messages().constFirst().title, QStringLiteral("Corvane Part 3"));
        QCOMPARE(atlas->imgMap()->pixmap().cacheKey(), picture);
        QCOMPARE(atlas->windowTitle(), QStringLiteral("   MAP from page 14 : England: Kent"));
        QCOMPARE(atlas->Label1()->text(), QStringLiteral("GB-03J.JPG"));
        QCOMPARE(s.visibleArrows(), (QStringList { u"imgSouth"_s, u"imgWest"_s }));
        // The sheet that could not be shown does not become the current
        // one: the next move starts from the sheet on the screen.
        QCOMPARE(vMapId, QStringLiteral("GB-03J"));
        QCOMPARE(vShownMapId, QStringLiteral("GB-03J"));
        QCOMPARE(vMapPages, QStringLiteral("14"));
        s.click("imgWest");
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        QVERIFY(near(shownColour(atlas), kRed));
        // Zooming out and in again shows the same sheet, not the missing one.
        s.click("btnZoom");
        s.click("btnZoom");
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        QVERIFY(near(shownColour(atlas), kRed));
        QCOMPARE(s.kit.messages().size(), 1);
    }

    void aSheetWithoutRecordUsesTheFirstRecord()
    {
        QList<Sheet> sheets = standardSheets();
        sheets[3].east = QStringLiteral("NO-REC");
        Setup s(sheets);
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("imgEast");
        QVERIFY(s.kit.messages().isEmpty());
        QVERIFY(near(shownColour(atlas), kOrange));
        QCOMPARE(atlas->windowTitle(), QStringLiteral("   MAP from page 1 : Erstes Blatt"));
        QCOMPARE(atlas->Label1()->text(), QStringLiteral("NO-REC.JPG"));
        QCOMPARE(vCountryName, QStringLiteral("Ireland"));
        QCOMPARE(std::pair(vOutlineTop, vOutlineLeft), std::pair(51, 93));
        QCOMPARE(s.visibleArrows(), QStringList { u"imgWest"_s });
    }

    void brokenSheetsAreReported_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray good
            = fixture::encodeJpeg(fixture::sheetImage({ 670, 480 }, kGreen, QStringLiteral("x")));
        const QString name = QStringLiteral("The picture \"D:\\Maps\\GB-03J.JPG\" cannot be shown: ");
        QTest::newRow("empty") << QByteArray() << name + QStringLiteral("the file is empty.");
        QTest::newRow("not a JPEG") << QByteArray("Map sheet GB-03J\n")
                                    << name + QStringLiteral("it is not a JPEG picture.");
        QTest::newRow("header only") << good.left(300) << name + QStringLiteral("the file is damaged");
        QTest::newRow("65535 x 65535") << fixture::withDimensions(good, 65535,
            65535) << name + QStringLiteral("its size of 65535 x 65535 pixels is too large to show.");
        QTest::newRow("30000 x 30000") << fixture::withDimensions(good, 30000,
            30000) << name + QStringLiteral("its size of 30000 x 30000 pixels is too large to show.");
    }
    void brokenSheetsAreReported()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Setup s;
        QVERIFY(fixture::writeBytes(s.atlas.sheetFile(QStringLiteral("GB-03J")), bytes));
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        // Decoding ahead meets the broken neighbour first, and says nothing.
        QVERIFY(atlas->pictures().waitForIdle(10000));
        QVERIFY(s.kit.messages().isEmpty());
        const qint64 picture = atlas->imgMap()->pixmap().cacheKey();
        QElapsedTimer clock;
        clock.start();
        s.click("imgEast");
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY2(s.kit.messageTexts().constFirst().startsWith(message),
            qPrintable(s.kit.messageTexts().constFirst()));
        QCOMPARE(atlas->imgMap()->pixmap().cacheKey(), picture);
        QCOMPARE(
            atlas->windowTitle(), QStringLiteral("   MAP from page 12-13 : England: London und Umgebung"));
        QCOMPARE(s.visibleArrows(), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
    }

    // An overview that cannot be shown leaves the atlas wholly on its
    // detail sheet: every click tries again and reports again, the arrows
    // and the print button still work from the sheet shown.
    void aRefusedOverviewKeepsTheDetailSheet_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("damaged") << true;
        QTest::newRow("missing") << false;
    }
    void aRefusedOverviewKeepsTheDetailSheet()
    {
        QFETCH(bool, damaged);
        Setup s;
        const QString overview = s.atlas.sheetFile(u"LOC-S"_s);
        const QByteArray good = fixture::encodeJpeg(fixture::sheetImage({ 1000, 720 }, kGrey));
        QVERIFY(damaged ? fixture::writeBytes(overview, good.left(300)) : QFile::remove(overview));
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        MainForm->showToolButtons();
        QVERIFY(atlas->pictures().waitForIdle(10000));
        const qint64 picture = atlas->imgMap()->pixmap().cacheKey();
        for (qsizetype clicks = 1; clicks <= 2; ++clicks) {
            s.click("btnZoom");
            QCOMPARE(s.kit.messages().size(), clicks);
            QVERIFY2(s.kit.messageTexts().constLast().contains(u"LOC-S.JPG"_s),
                qPrintable(s.kit.messageTexts().constLast()));
            QCOMPARE(vZoomMode, u"Detail"_s);
            QCOMPARE(vShownMapId, u"GB-03H"_s);
            QCOMPARE(vMapId, u"GB-03H"_s);
            QCOMPARE(atlas->btnZoom()->text(), u"Zoom out"_s);
            QCOMPARE(atlas->imgMap()->pixmap().cacheKey(), picture);
            QCOMPARE(atlas->windowTitle(), u"   MAP from page 12-13 : England: London und Umgebung"_s);
            QCOMPARE(s.visibleArrows(), (QStringList { u"imgNorth"_s, u"imgEast"_s, u"imgWest"_s }));
            QVERIFY(atlas->RedOutline()->isHidden());
        }
        QCOMPARE(vCurrentView, u"Atlas"_s);
        s.kit.click(u"spdPrint"_s);
        QVERIFY(MainForm->pnlPrint->isVisible());
        QCOMPARE(MainForm->lblFilename1->text(), u"GB-03H.JPG"_s);
        s.click("imgEast");
        QVERIFY(near(shownColour(atlas), kGreen));
        QCOMPARE(s.kit.messages().size(), 2);
    }

    // A sheet cut short (an interrupted copy) is shown as far as it goes,
    // and the user is told it is incomplete.
    void aSheetCutShortIsShownAndReported()
    {
        Setup s;
        const QByteArray good
            = fixture::encodeJpeg(fixture::sheetImage({ 670, 480 }, kGreen, QStringLiteral("x")));
        QVERIFY(
            fixture::writeBytes(s.atlas.sheetFile(QStringLiteral("GB-03J")), good.left(good.size() * 3 / 4)));
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        QVERIFY(atlas->pictures().waitForIdle(10000));
        s.click("imgEast");
        QCOMPARE(s.kit.messageTexts(),
            QStringList {
                u"The picture \"D:\\Maps\\GB-03J.JPG\" is damaged or incomplete: only what could be "
                u"read of it is shown."_s });
        const QColor top = atlas->imgMap()->pixmap().toImage().pixelColor(5, 5);
        QVERIFY2(top.green() > 120 && top.red() < 80, qPrintable(top.name()));
        QCOMPARE(atlas->windowTitle(), QStringLiteral("   MAP from page 14 : England: Kent"));
    }

    void adjacentMovesFailsSilently()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        DataModule1->tblMaps->close();
        const QString file = s.kit.hostPath(vProgramPath + QStringLiteral("Data\\MAPS.DB"));
        QVERIFY(QFile::rename(file, file + QStringLiteral(".away")));
        atlas->AdjacentMoves();
        QVERIFY(s.kit.messages().isEmpty());
        QCOMPARE(
            s.visibleArrows(), (QStringList { u"imgNorth"_s, u"imgSouth"_s, u"imgEast"_s, u"imgWest"_s }));
    }

    void arrowKeysDoWhatTheVisibleArrowsDo()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        MainForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(MainForm));
        atlas->btnZoom()->setFocus();
        QTRY_VERIFY(atlas->btnZoom()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // no southern neighbour
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(vMapId, QStringLiteral("GB-03J"));
        QVERIFY(near(shownColour(atlas), kGreen));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right); // East "GB-0" is no neighbour
        QCOMPARE(vMapId, QStringLiteral("GB-03J"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        s.click("btnZoom");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up); // locate mode: no arrows
        QCOMPARE(vMapId, QStringLiteral("GB-03H"));
        QCOMPARE(vZoomMode, QStringLiteral("Locate"));
    }

    // Once a sheet's pyramid is there, a sheet change draws on it alone: the
    // file spoiled (its size and time kept) still shows as it was.
    void aSheetChangeWithItsPyramidDoesNotDecodeTheFile()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        SheetTiles& tiles = SheetTiles::instance();
        s.click("imgEast");
        QVERIFY(tiles.builder().waitForIdle(20000));
        QVERIFY(tiles.pyramid()->isReady(sheetPath(u"GB-03J"_s)));
        s.click("imgWest");
        QVERIFY(fixture::spoilKeepingSizeAndTime(s.atlas.sheetFile(u"GB-03J"_s)));
        atlas->pictures().clear();

        s.click("imgEast");
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(vMapId, u"GB-03J"_s);
        QVERIFY(near(shownColour(atlas), kGreen));
        QCOMPARE(atlas->imgMap()->pixmap().deviceIndependentSize().toSize(), QSize(500, 358));
    }

    // Scans saved progressive or with full colour detail show like any
    // other, and get their pyramid.
    void everyKindOfScanShows_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<int>("subsampling");
        QTest::newRow("progressive 4:4:4") << true << int(TJSAMP_444);
        QTest::newRow("progressive 4:2:0") << true << int(TJSAMP_420);
        QTest::newRow("baseline 4:4:4") << false << int(TJSAMP_444);
        QTest::newRow("grey") << false << int(TJSAMP_GRAY);
    }
    void everyKindOfScanShows()
    {
        QFETCH(bool, progressive);
        QFETCH(int, subsampling);
        Setup s;
        QVERIFY(fixture::writeBytes(s.atlas.sheetFile(u"GB-03J"_s),
            fixture::encodeJpeg(sheetImage({ 700, 520 }, kGreen), 90, progressive, subsampling)));
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        s.click("imgEast");
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(vMapId, u"GB-03J"_s);
        const QColor expected = subsampling == TJSAMP_GRAY
            ? QColor::fromRgb(qGray(kGreen.rgb()), qGray(kGreen.rgb()), qGray(kGreen.rgb()))
            : kGreen;
        QVERIFY(near(shownColour(atlas), expected));
        QVERIFY(SheetTiles::instance().builder().waitForIdle(20000));
        QVERIFY(SheetTiles::instance().pyramid()->isReady(sheetPath(u"GB-03J"_s)));
        s.click("imgWest");
        atlas->pictures().clear();
        s.click("imgEast");
        QVERIFY(near(shownColour(atlas), expected));
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Nothing that takes the focus lies over the map, where its focus mark
    // would be drawn across the sheet.
    void noFocusMarkOverTheMap()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        const QRect map = atlas->imgMap()->geometry();
        for (QWidget* w : atlas->findChildren<QWidget*>()) {
            if (w == atlas->imgMap() || !w->isVisibleTo(atlas) || !(w->focusPolicy() & Qt::TabFocus))
                continue;
            const QRect at(w->mapTo(atlas, QPoint(0, 0)), w->size());
            QVERIFY2(!at.intersects(map), qPrintable(w->objectName()));
        }
    }

    // The shipped demo atlas: from the opening sheet every arrow leads to a
    // sheet that opens and leads back, and the outline lies on the overview.
    void theDemoAtlasWorksWithTheWindow()
    {
        Kit kit;
        if (!QFileInfo::exists(platform::shareDir() + u"/cd/Maps/GB-03H.JPG"_s)
            || !QFileInfo::exists(templateFolder() + u"/MAPS.tsv"_s))
            QSKIP("the demo atlas is not built");
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.start();
        kit.passSplash();
        kit.click(u"btnBegin"_s);
        auto* atlas = kit.get<TfrmAtlas>(u"frmAtlas"_s);
        QVERIFY(atlas);
        QCOMPARE(atlas->Label1()->text(), u"GB-03H.JPG"_s);
        QVERIFY(atlas->windowTitle().startsWith(u"   MAP from page "_s));
        QCOMPARE(atlas->imgMap()->pixmap().deviceIndependentSize().width(), 500);
        const std::pair<const char*, const char*> ways[] = { { "imgNorth", "imgSouth" },
            { "imgSouth", "imgNorth" }, { "imgEast", "imgWest" }, { "imgWest", "imgEast" } };
        int moves = 0;
        for (const auto& [there, back] : ways) {
            if (kit.get(QLatin1String(there))->isHidden())
                continue;
            kit.click(QLatin1String(there));
            QVERIFY2(vMapId != u"GB-03H"_s, there);
            QVERIFY2(!kit.get(QLatin1String(back))->isHidden(), back);
            kit.click(QLatin1String(back));
            QCOMPARE(vMapId, u"GB-03H"_s);
            ++moves;
        }
        QVERIFY(moves >= 2);
        kit.click(u"btnZoom"_s);
        const QRect overview(
            atlas->imgMap()->pos(), atlas->imgMap()->pixmap().deviceIndependentSize().toSize());
        QVERIFY(overview.contains(atlas->RedOutline()->geometry()));
        QVERIFY(kit.messages().isEmpty());
    }

    void neighboursAreDecodedAheadAndChangedFilesAgain()
    {
        Setup s;
        TfrmAtlas* atlas = s.open();
        QVERIFY(atlas);
        QVERIFY(atlas->pictures().waitForIdle(10000));
        const QSize box(500, 360);
        for (const char* id : { "GB-03G", "GB-03J", "GB-02H", "LOC-S" }) {
            const QString path = QStringLiteral("D:\\Maps\\%1.JPG").arg(QLatin1String(id));
            QVERIFY2(atlas->pictures().contains(path, box), id);
        }
        QVERIFY(!atlas->pictures().contains(QStringLiteral("D:\\Maps\\LOC-N.JPG"), box));
        // A neighbour rewritten since it was decoded ahead is decoded again.
        QVERIFY(s.atlas.writeSheet(QStringLiteral("GB-03J"), { 640, 480 }, kYellow));
        QFile file(s.atlas.sheetFile(QStringLiteral("GB-03J")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        file.close();
        s.click("imgEast");
        QVERIFY(near(shownColour(atlas), kYellow));
        QCOMPARE(atlas->imgMap()->pixmap().deviceIndependentSize().toSize(), QSize(480, 360));
        // And one removed since is reported, not shown from memory.
        QVERIFY(atlas->pictures().waitForIdle(10000));
        QVERIFY(QFile::remove(s.atlas.sheetFile(QStringLiteral("GB-03H"))));
        s.click("imgWest");
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(near(shownColour(atlas), kYellow));
    }
};

QTEST_MAIN(TestAtlas)
#include "test_atlas.moc"
