// The whole program's memory while a user walks through large scans: the
// atlas window's arrows clicked about once a second through a 4 x 3 grid of
// 7000 x 5000 scan-like sheets (baseline 4:2:0 and progressive 4:4:4 mixed,
// each its own file), "Expand map" opened every 20 steps and looked at
// until it is sharp, then closed. Two walks in one process: the first with
// no pyramid (they are built behind it, as for a new user), the second once
// they exist.
//   first_walk_peak_mb, first_fullscreen_peak_mb    the first walk
//   first_walk_peak_outside_builds_mb   the first walk's peak while no
//                        heavy pyramid build (a progressive sheet's, the one
//                        thing allowed above the goal) holds its turn
//   walk_peak_mb, fullscreen_peak_mb, walk_peak_outside_builds_mb
//                                                    the second walk
//   ..._wall_s, ..._cpu_s                            the walk's wall time and
//                        the whole process's processor time but the
//                        sampler's (the machine may be shared)
// Peaks are the process's resident high-water mark (VmHWM), reset through
// /proc/self/clear_refs between phases; a walk's peak includes its
// full-screen phases. The peak outside builds is the largest resident size
// sampled every 5 ms.
//
//   bench_walk [--sheets DIR] [--interval MS] [--steps N]

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "scan_grid.h"
#include "scan_sheet.h"

#include "maps/map.h"
#include "maps/sheet_tiles.h"
#include "maps/sheets.h"
#include "maps/zoom_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QToolButton>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using bench::print;

struct Kind {
    const char* name;
    bench::ScanKind scan;
};
const Kind kBaseline { "s7000_base420", { { 7000, 5000 }, false, false } };
const Kind kProgressive { "s7000_prog444", { { 7000, 5000 }, true, true } };

double processCpuS()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The resident size every 5 ms, its largest kept apart for the moments a
// heavy pyramid build holds its turn.
class RssSampler {
public:
    RssSampler()
        : m_thread([this] { run(); })
    {
    }
    ~RssSampler()
    {
        m_stop = true;
        m_thread.join();
    }
    double peakOutsideBuildsMb() const { return double(m_outside.load()) / (1 << 20); }
    double cpuS() const { return double(m_cpuNs.load()) / 1e9; }
    void reset() { m_outside = 0; }

private:
    void run()
    {
        const long page = sysconf(_SC_PAGE_SIZE);
        clockid_t clock {};
        pthread_getcpuclockid(pthread_self(), &clock);
        while (!m_stop) {
            const bool building
                = platform::HeavyDecodeTurn::isHeldBy(platform::HeavyDecodeTurn::AfterDecodesAhead);
            long size = 0, resident = 0;
            if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2)
                    resident = 0;
                std::fclose(statm);
            }
            if (!building
                && !platform::HeavyDecodeTurn::isHeldBy(platform::HeavyDecodeTurn::AfterDecodesAhead))
                m_outside = std::max(m_outside.load(), qint64(resident) * page);
            timespec t {};
            clock_gettime(clock, &t);
            m_cpuNs = qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
            usleep(5000);
        }
    }

    std::atomic<bool> m_stop { false };
    std::atomic<qint64> m_outside { 0 };
    std::atomic<qint64> m_cpuNs { 0 };
    std::thread m_thread;
};

void resetPeak()
{
    QFile refs(u"/proc/self/clear_refs"_s);
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// The user looking: events handled as they come, the thread asleep between
// them, so that the processor time is the program's own.
void runEventsFor(int msecs)
{
    QTest::qWait(msecs);
}

QToolButton* arrow(const char* name)
{
    return frmAtlas->findChild<QToolButton*>(QLatin1String(name));
}

struct Peaks {
    double walk = 0;
    double fullScreen = 0;
};

// "Expand map" until the view is sharp (or 10 s), a look around, Escape.
double fullScreen()
{
    resetPeak();
    QTest::mouseClick(frmAtlas->findChild<QPushButton*>(u"btnExpand"_s), Qt::LeftButton);
    TZoomView* view = frmMap->imgMap();
    QElapsedTimer clock;
    clock.start();
    do {
        view->repaint();
        runEventsFor(50);
    } while (!view->lastPaintWasSharp() && clock.elapsed() < 10000);
    std::printf(
        "fullscreen_sharp_ms: %lld%s\n", clock.elapsed(), view->lastPaintWasSharp() ? "" : " (never sharp)");
    QTest::keyClick(view, Qt::Key_1); // the scan at its own size
    runEventsFor(1000);
    QTest::keyClick(view, Qt::Key_Escape);
    runEventsFor(200);
    const double peak = bench::peakRssMb();
    resetPeak();
    return peak;
}

Peaks walk(int steps, int interval)
{
    Peaks peaks;
    resetPeak();
    QRandomGenerator random(3);
    for (int step = 1; step <= steps; ++step) {
        QList<QToolButton*> choices;
        for (const char* name : { "imgNorth", "imgSouth", "imgEast", "imgWest" })
            if (!arrow(name)->isHidden())
                choices << arrow(name);
        if (choices.isEmpty())
            break;
        choices[random.bounded(int(choices.size()))]->click();
        runEventsFor(interval);
        if (step % 20 == 0) {
            peaks.walk = std::max(peaks.walk, bench::peakRssMb());
            const double seen = fullScreen();
            peaks.fullScreen = std::max(peaks.fullScreen, seen);
            peaks.walk = std::max(peaks.walk, seen);
        }
    }
    peaks.walk = std::max(peaks.walk, bench::peakRssMb());
    return peaks;
}

QString sheetOf(const QString& folder, const Kind& kind)
{
    const QString file = folder + u'/' + QLatin1String(kind.name) + u".jpg"_s;
    if (!QFileInfo::exists(file) && !bench::writeScanSheet(file, kind.scan))
        return {};
    return file;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const auto option = [&](const QString& name, const QString& otherwise) {
        const qsizetype at = args.indexOf(name);
        return at > 0 && at + 1 < args.size() ? args[at + 1] : otherwise;
    };
    const QString sheets = option(u"--sheets"_s, QCoreApplication::applicationDirPath() + u"/sheets"_s);
    const int interval = option(u"--interval"_s, u"1000"_s).toInt();
    const int steps = option(u"--steps"_s, u"100"_s).toInt();
    QDir().mkpath(sheets);
    const QString baseline = sheetOf(sheets, kBaseline);
    const QString progressive = sheetOf(sheets, kProgressive);
    if (baseline.isEmpty() || progressive.isEmpty())
        return 1;

    Kit kit;
    fixture::Atlas atlas(kit);
    // Each its own file: a pyramid is made for each.
    const auto scan = [&](int row, int column) { return (row + column) % 2 ? baseline : progressive; };
    if (!bench::openScanGrid(atlas, scan))
        return 1;
    print(u"start_mb"_s, bench::peakRssMb());

    RssSampler sampler;
    for (const QString& which : { u"first_"_s, QString() }) {
        QElapsedTimer clock;
        clock.start();
        const double cpu = processCpuS() - sampler.cpuS();
        sampler.reset();
        const Peaks peaks = walk(steps, interval);
        print(which + u"walk_peak_mb"_s, peaks.walk);
        print(which + u"walk_peak_outside_builds_mb"_s, sampler.peakOutsideBuildsMb());
        print(which + u"fullscreen_peak_mb"_s, peaks.fullScreen);
        print(which + u"walk_wall_s"_s, double(clock.elapsed()) / 1e3);
        print(which + u"walk_cpu_s"_s, processCpuS() - sampler.cpuS() - cpu);
        // The pyramids of every sheet seen, before the second walk.
        SheetTiles::instance().builder().waitForIdle();
    }
    return kit.messages().isEmpty() ? 0 : 1;
}
