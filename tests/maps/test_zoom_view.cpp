// The zoomable picture box drawing from a sheet's tile pyramid: at the
// scan's own resolution it shows the file's pixels, each in its place, and
// at the fitted view only the tiles of the level that zoom needs.

#include "kit/atlas_fixture.h"

#include "imaging/tile_pyramid.h"
#include "maps/sheet_tiles.h"
#include "maps/zoom_view.h"

#include <QTemporaryDir>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Sheet {
    Kit kit;
    QTemporaryDir cd;
    QTemporaryDir cache;
    const QString path = u"D:\\SHEET.JPG"_s;
    std::shared_ptr<platform::TilePyramid> pyramid;
    platform::PyramidInfo info;

    explicit Sheet(QSize size)
    {
        kit.setDrive(QLatin1Char('D'), cd.path(), true);
        fixture::writeBytes(
            cd.path() + u"/SHEET.JPG"_s, fixture::encodeJpeg(fixture::patterned(size, 9), 95));
        platform::TilePyramid::Options options;
        options.folder = cache.path();
        options.tileSize = 64; // many tiles on a small sheet
        pyramid = std::make_shared<platform::TilePyramid>(options);
        if (pyramid->build(path))
            info = pyramid->info(path);
    }
    QImage file() const { return QImage(cd.path() + u"/SHEET.JPG"_s).convertToFormat(QImage::Format_RGB32); }
};

// Paints until a paint was sharp, as the tiles come in.
bool paintsSharp(TZoomView& view)
{
    for (int i = 0; i < 500; ++i) {
        view.repaint();
        if (view.lastPaintWasSharp())
            return true;
        QTest::qWait(10);
    }
    return false;
}

double meanDifference(const QImage& shot, const QImage& expected)
{
    qint64 sum = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb a = shot.pixel(x, y), b = expected.pixel(x, y);
            sum += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
        }
    return double(sum) / (3.0 * shot.width() * shot.height());
}

} // namespace

class TestZoomView : public QObject {
    Q_OBJECT

private slots:
    void theScansOwnPixelsFromTiles()
    {
        Sheet sheet({ 420, 300 });
        QVERIFY(sheet.info.isValid());
        QCOMPARE(sheet.info.columns(0), 7);
        TZoomView view;
        view.resize(200, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setPicture(sheet.pyramid->levelImageFor(sheet.path, { 60, 45 }), sheet.info.native);
        view.setTiles(std::make_shared<SheetTileFetcher>(sheet.pyramid, sheet.path, sheet.info));
        QTest::keyClick(&view, Qt::Key_1);
        QCOMPARE(view.zoom(), 1.0);
        QVERIFY(paintsSharp(view));

        // A drag to where four tiles meet: each view pixel is the file's.
        QTest::mousePress(&view, Qt::LeftButton, {}, { 150, 100 });
        QTest::mouseMove(&view, { 120, 80 });
        QTest::mouseMove(&view, { 53, 41 });
        QTest::mouseRelease(&view, Qt::LeftButton, {}, { 53, 41 });
        QVERIFY(paintsSharp(view));
        const QPointF origin = view.toPicture({ 0, 0 });
        QCOMPARE(origin, QPointF(std::round(origin.x()), std::round(origin.y())));
        const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage expected = sheet.file().copy(QRect(origin.toPoint(), shot.size()));
        // Tiles are JPEGs made again from the file: close, never exact.
        QVERIFY2(
            meanDifference(shot, expected) < 4, qPrintable(QString::number(meanDifference(shot, expected))));
        const QImage shifted = sheet.file().copy(QRect(origin.toPoint() + QPoint(1, 0), shot.size()));
        QVERIFY(meanDifference(shot, shifted) > 2 * meanDifference(shot, expected));
    }

    // The fitted view asks only for the tiles of the level whose pixels
    // are just enough, not for the sheet at its own size.
    void theFittedViewDrawsFromTheLevelItNeeds()
    {
        Sheet sheet({ 800, 600 });
        QVERIFY(sheet.info.isValid());
        TZoomView view;
        view.resize(200, 150); // a quarter of the sheet: level 2
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setPicture(sheet.pyramid->levelImageFor(sheet.path, { 50, 38 }), sheet.info.native);
        auto fetcher = std::make_shared<SheetTileFetcher>(sheet.pyramid, sheet.path, sheet.info);
        view.setTiles(fetcher);
        QVERIFY(paintsSharp(view));
        for (int level = 0; level < 2; ++level)
            QVERIFY(fetcher->tile({ level, 0, 0 }).isNull());
        QVERIFY(!fetcher->tile({ 2, 0, 0 }).isNull());
        const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        // Each tile in its place: as the level made whole shows it.
        const QImage expected = sheet.pyramid->levelImageFor(sheet.path, shot.size());
        QCOMPARE(expected.size(), shot.size());
        QVERIFY2(
            meanDifference(shot, expected) < 1, qPrintable(QString::number(meanDifference(shot, expected))));
    }
};

QTEST_MAIN(TestZoomView)
#include "test_zoom_view.moc"
