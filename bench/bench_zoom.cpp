// The full-screen map window on scan-like sheets (bench/scan_sheet.h) of
// every size and encoding, on a 1920 x 1080 screen, each kind in child
// processes of its own so that every peak is its alone:
//   <kind>_build_ms, _build_cpu_ms, _build_peak_mb  the one-time pyramid
//                         build in the background (a child of its own);
//   <kind>_first_sharp_ms "Expand map" until the fitted view is drawn
//                         sharp from the pyramid (goal < 100);
//   <kind>_native_sharp_ms  the key "1" (the scan's own pixels) until the
//                         view is sharp;
//   <kind>_pan_frame_ms   one frame of a drag at the scan's own pixels, the
//                         move and its paint (goal < 16); _pan_max_ms the
//                         slowest; _pan_zoom2_ms the same at 2 screen pixels
//                         per scan pixel; _pan_sharp_pct frames drawn sharp;
//   <kind>_peak_mb        peak memory of the window zoomed and panned with
//                         the pyramid there (goal < 250).
// ..._cpu_ms is the user-interface thread's processor time of the same
// step: the machine may be shared. Medians of several runs.
//
//   bench_zoom [--sheets DIR] [kind-substring ...]

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "scan_sheet.h"

#include "maps/map.h"
#include "maps/sheet_tiles.h"
#include "maps/sheets.h"
#include "maps/zoom_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using bench::cpuMs;
using bench::print;

struct Kind {
    const char* name;
    bench::ScanKind scan;
};
const Kind kKinds[] = {
    { "s7000_base420", { { 7000, 5000 }, false, false } },
    { "s7000_prog444", { { 7000, 5000 }, true, true } },
    { "s12000_prog420", { { 12000, 9000 }, true, false } },
    { "s14000_base420", { { 14000, 10600 }, false, false } },
    { "s20000_base420", { { 20000, 14000 }, false, false } },
};
constexpr int kRuns = 5;
constexpr int kPanFrames = 120;

double msSince(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// Until the view has drawn sharp, painting as the program does: when
// tiles come in. False after a minute.
bool paintSharp(TZoomView* view)
{
    view->repaint();
    QElapsedTimer clock;
    clock.start();
    while (!view->lastPaintWasSharp() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return view->lastPaintWasSharp();
}

void mouse(TZoomView* view, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

struct Pan {
    QList<double> frames;
    int sharp = 0;
};

// A drag across the sheet at 60 frames a second, one paint a frame, tiles
// coming in meanwhile.
Pan pan(TZoomView* view)
{
    Pan result;
    QPointF at(1500, 900);
    mouse(view, QEvent::MouseButtonPress, at, Qt::LeftButton);
    for (int i = 0; i < kPanFrames; ++i) {
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        at -= QPointF(10, 6);
        mouse(view, QEvent::MouseMove, at, Qt::LeftButton);
        view->repaint();
        result.frames << msSince(clock);
        result.sharp += view->lastPaintWasSharp();
        while (clock.elapsed() < 16)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
    }
    mouse(view, QEvent::MouseButtonRelease, at, Qt::NoButton);
    return result;
}

// Opens an atlas whose first sheet is `sheet`, with the "CD" and the tile
// cache in `cache`, kept between the children: a pyramid is keyed by the
// sheet's place.
std::unique_ptr<fixture::Atlas> openAtlas(Kit& kit, const QString& sheet, const QString& cache)
{
    kit.setScreenSize({ 1920, 1080 });
    auto atlas = std::make_unique<fixture::Atlas>(kit);
    const QString maps = cache + u"/cd/Maps"_s;
    QDir().mkpath(maps);
    if (!QFileInfo::exists(maps + u"/GB-03H.JPG"_s)) {
        if (::link(
                QFile::encodeName(sheet).constData(), QFile::encodeName(maps + u"/GB-03H.JPG"_s).constData())
            != 0)
            QFile::copy(sheet, maps + u"/GB-03H.JPG"_s);
        fixture::writeBytes(
            maps + u"/LOC-S.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 1000, 720 }, Qt::gray)));
    }
    kit.setDrive(QLatin1Char('D'), cache + u"/cd"_s, true);
    atlas->setRows({ { u"GB-03H"_s, u""_s, u""_s, u""_s, u""_s, u"Blatt"_s, u"1"_s, 10, 10 } }, {});
    qputenv("XDG_CACHE_HOME", cache.toLocal8Bit());
    if (!atlas->open() || !frmAtlas)
        return nullptr;
    return atlas;
}

int build(const QString& sheet, const QString& cache)
{
    Kit kit;
    const auto atlas = openAtlas(kit, sheet, cache);
    if (!atlas)
        return 1;
    QElapsedTimer clock;
    clock.start();
    SheetTiles::instance().builder().waitForIdle();
    if (!SheetTiles::instance().pyramid()->isReady(sheetPath(u"GB-03H"_s)))
        return 1;
    print(u"build_ms"_s, msSince(clock));
    print(u"peak_mb"_s, bench::peakRssMb());
    return 0;
}

int measure(const QString& sheet, const QString& cache)
{
    Kit kit;
    const auto atlas = openAtlas(kit, sheet, cache);
    if (!atlas || !SheetTiles::instance().pyramid()->isReady(sheetPath(u"GB-03H"_s)))
        return 1;
    QList<double> first, firstCpu, native, nativeCpu;
    for (int run = 0; run < kRuns; ++run) {
        SheetTiles::instance().pyramid()->clearMemory();
        QElapsedTimer clock;
        clock.start();
        double cpu = cpuMs();
        QTest::mouseClick(frmAtlas->findChild<QPushButton*>(u"btnExpand"_s), Qt::LeftButton);
        TZoomView* view = frmMap->imgMap();
        if (!view->hasTiles() || !paintSharp(view))
            return 1;
        first << msSince(clock);
        firstCpu << cpuMs() - cpu;
        clock.restart();
        cpu = cpuMs();
        QTest::keyClick(view, Qt::Key_1);
        if (!paintSharp(view))
            return 1;
        native << msSince(clock);
        nativeCpu << cpuMs() - cpu;
        if (run < kRuns - 1) {
            QTest::keyClick(view, Qt::Key_Escape);
            QCoreApplication::processEvents();
        }
    }
    print(u"first_sharp_ms"_s, bench::median(first));
    print(u"first_sharp_cpu_ms"_s, bench::median(firstCpu));
    print(u"native_sharp_ms"_s, bench::median(native));
    print(u"native_sharp_cpu_ms"_s, bench::median(nativeCpu));
    TZoomView* view = frmMap->imgMap();
    const Pan atNative = pan(view);
    print(u"pan_frame_ms"_s, bench::median(atNative.frames));
    print(u"pan_max_ms"_s, *std::max_element(atNative.frames.begin(), atNative.frames.end()));
    print(u"pan_sharp_pct"_s, 100.0 * atNative.sharp / kPanFrames);
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(view, Qt::Key_Plus);
    paintSharp(view);
    const Pan atTwo = pan(view);
    print(u"pan_zoom2_ms"_s, bench::median(atTwo.frames));
    print(u"peak_mb"_s, bench::peakRssMb());
    return kit.messages().isEmpty() ? 0 : 1;
}

void measureKind(const Kind& kind, const QString& folder)
{
    const QString name = QString::fromLatin1(kind.name);
    const QString sheet = folder + u'/' + name + u".jpg"_s;
    if (!QFileInfo::exists(sheet) && !bench::writeScanSheet(sheet, kind.scan))
        return;
    QTemporaryDir cache;
    const auto built = bench::childFigures({ u"--build"_s, sheet, cache.path() });
    if (!built.contains(u"build_ms"_s)) {
        std::printf("%s_build: refused\n", kind.name);
        return;
    }
    print(name + u"_build_ms"_s, built.value(u"build_ms"_s));
    print(name + u"_build_peak_mb"_s, built.value(u"peak_mb"_s));
    const auto values = bench::childFigures({ u"--measure"_s, sheet, cache.path() });
    for (const QString& figure :
        { u"first_sharp_ms"_s, u"first_sharp_cpu_ms"_s, u"native_sharp_ms"_s, u"native_sharp_cpu_ms"_s,
            u"pan_frame_ms"_s, u"pan_max_ms"_s, u"pan_sharp_pct"_s, u"pan_zoom2_ms"_s, u"peak_mb"_s })
        print(name + u'_' + figure, values.value(figure, -1));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 3 && args[0] == u"--build"_s)
        return build(args[1], args[2]);
    if (args.size() == 3 && args[0] == u"--measure"_s)
        return measure(args[1], args[2]);
    QString folder = QCoreApplication::applicationDirPath() + u"/sheets"_s;
    if (args.size() >= 2 && args[0] == u"--sheets"_s) {
        folder = args[1];
        args = args.mid(2);
    }
    QDir().mkpath(folder);
    for (const Kind& kind : kKinds) {
        const bool chosen = args.isEmpty() || std::any_of(args.begin(), args.end(), [&](const QString& a) {
            return QString::fromLatin1(kind.name).contains(a);
        });
        if (chosen)
            measureKind(kind, folder);
    }
    return 0;
}
