// Zooming into a 7000 x 5000 baseline scan in the full-screen map window
// (1024 x 768 screen, map box 1000 x 720):
//   expand_to_sharp_ms   "Expand map" clicked until the sharp picture of
//                        that first wheel step is drawn;
//   first_zoom_sharp_ms  the first wheel step, made the moment the window
//                        is shown, until the sharp picture is drawn;
//   zoom_step_ms         a wheel step with the levels in, painted;
//   pan_frame_ms         one frame of a drag at full zoom (2 screen pixels
//                        per scan pixel): the move and its paint; also the
//                        slowest frame, and the median at a middle zoom;
//   peak_rss_mb          peak memory of the process, zoomed and panned.
// The measuring runs in a child process, so the peak is its alone. The
// sheet comes from `atlasgen --bench-sheets` when it is built, else is
// drawn here. Figures are medians; one "name: value" line each.

#include "bench_support.h"
#include "kit/atlas_fixture.h"

#include "maps/map.h"
#include "maps/zoom_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int kRuns = 5;
constexpr int kPanFrames = 120;

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

double msSince(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

QString benchSheet(const QString& folder)
{
    const QString sheet = folder + u"/BENCH-7000.JPG"_s;
    if (QFileInfo::exists(sheet))
        return sheet;
    if (bench::atlasgenBenchSheets(folder)) {
        std::printf("sheet: atlasgen --bench-sheets\n");
        return sheet;
    }
    fixture::writeBytes(sheet, fixture::encodeJpeg(bench::busySheet({ 7000, 5000 }), 85));
    std::printf("sheet: drawn by the benchmark\n");
    return sheet;
}

void wheel(TZoomView* view, QPointF at, int notches)
{
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

void mouse(TZoomView* view, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

TfrmMap* expand()
{
    QTest::mouseClick(frmAtlas->findChild<QPushButton*>(u"btnExpand"_s), Qt::LeftButton);
    return frmMap;
}

void backToTheAtlas(TfrmMap* full)
{
    QTest::mouseDClick(full->imgMap(), Qt::LeftButton, {}, { 400, 300 });
    full->fullPicture().waitForIdle();
    QCoreApplication::processEvents();
}

// Until the view has drawn the sharp picture; false after 30 s.
bool paintSharp(TZoomView* view)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (view->hasLevels()) {
            view->repaint();
            if (view->lastPaintWasSharp())
                return true;
        }
    }
    return false;
}

// Drags across the scan, one paint a frame; the time of each frame.
QList<double> pan(TZoomView* view)
{
    QList<double> frames;
    QPointF at(800, 600);
    mouse(view, QEvent::MouseButtonPress, at, Qt::LeftButton);
    for (int i = 0; i < kPanFrames; ++i) {
        const QPointF step = (i / 30) % 2 ? QPointF(6, 5) : QPointF(-6, -5);
        QElapsedTimer clock;
        clock.start();
        at += step;
        mouse(view, QEvent::MouseMove, at, Qt::LeftButton);
        view->repaint();
        frames << msSince(clock);
    }
    mouse(view, QEvent::MouseButtonRelease, at, Qt::NoButton);
    return frames;
}

int measure(const QString& sheet)
{
    Kit kit;
    fixture::Atlas atlas(kit);
    QFile::copy(sheet, atlas.sheetFile(u"GB-03H"_s));
    atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
    atlas.setRows({ { u"GB-03H"_s, u""_s, u""_s, u""_s, u""_s, u"Baseline"_s, u"1"_s, 10, 10 } }, {});
    if (!atlas.open() || !frmAtlas) {
        std::fprintf(stderr, "the atlas window did not open\n");
        return 1;
    }
    const QPointF centre(500, 360);
    QList<double> decode, sharp, steps;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer shown;
        shown.start();
        TfrmMap* full = expand();
        if (!full || !full->imgMap()->hasPicture()) {
            std::fprintf(stderr, "the full-screen window did not open\n");
            return 1;
        }
        TZoomView* view = full->imgMap();
        QElapsedTimer clock;
        clock.start();
        wheel(view, centre, 1);
        if (!paintSharp(view))
            return 1;
        sharp << msSince(clock);
        decode << msSince(shown);
        clock.restart();
        wheel(view, centre, 1);
        view->repaint();
        steps << msSince(clock);
        if (run < kRuns - 1)
            backToTheAtlas(full);
    }
    print("expand_to_sharp_ms", bench::median(decode));
    print("first_zoom_sharp_ms", bench::median(sharp));
    print("zoom_step_ms", bench::median(steps));

    TZoomView* view = frmMap->imgMap();
    wheel(view, centre, 3);
    view->repaint();
    const QList<double> middle = pan(view);
    std::printf("middle_zoom: %.3f\n", view->zoom());
    wheel(view, centre, 30);
    view->repaint();
    const QList<double> frames = pan(view);
    print("pan_frame_ms", bench::median(frames));
    print("pan_frame_max_ms", *std::max_element(frames.begin(), frames.end()));
    print("pan_frame_middle_zoom_ms", bench::median(middle));
    print("peak_rss_mb", bench::peakRssMb());
    return view->zoom() == view->maxZoom() && kit.messages().isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == u"--measure"_s)
        return measure(args[2]);

    // --sheets DIR keeps the sheet between runs (made there when missing).
    QTemporaryDir temporary;
    const bool kept = args.size() == 3 && args[1] == u"--sheets"_s;
    const QString folder = kept ? args[2] : temporary.path();
    QDir().mkpath(folder);
    const QString sheet = benchSheet(folder);
    print("file_mb", double(QFileInfo(sheet).size()) / 1e6);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), { u"--measure"_s, sheet });
    if (!child.waitForFinished(600000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the measuring failed\n");
        return 1;
    }
    return 0;
}
