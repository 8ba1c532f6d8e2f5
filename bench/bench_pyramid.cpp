// Tile pyramids of scan-like sheets (bench/scan_sheet.h), each kind in a
// child process of its own so that every peak is its alone:
//   <kind>_file_mb           the sheet's size on disk;
//   <kind>_build_ms          building its pyramid from nothing;
//   <kind>_build_peak_mb     peak memory of that build;
//   <kind>_level_500x360_ms  levelImageFor() for the atlas window's box, from
//                            the pyramid with no tile decoded yet (goal < 16);
//   <kind>_view_native_ms    the tiles a 1920 x 1080 full-screen view needs
//                            at the scan's own resolution, none decoded yet;
//   <kind>_view_fit_ms       the same at fit-to-screen (goal < 100 both);
//   <kind>_pan_frame_ms      one step of a pan at the scan's own resolution,
//                            tiles fetched and drawn into the view;
//   <kind>_pan_peak_mb       peak memory while panning (goal < 250);
//   ..._cpu_ms               the processor time of the same step.
// Sheets are written once into bench/sheets beside this program. Times are
// medians of several runs; other builds may share the machine.
//
//   bench_pyramid [kind-substring ...]

#include "bench_support.h"
#include "scan_sheet.h"

#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

using bench::cpuMs;
using bench::print;

struct Kind {
    const char* name;
    bench::ScanKind scan;
    int buildRuns;
};

const Kind kKinds[] = {
    { "s7000_base420", { { 7000, 5000 }, false, false }, 3 },
    { "s7000_prog420", { { 7000, 5000 }, true, false }, 3 },
    { "s7000_prog444", { { 7000, 5000 }, true, true }, 3 },
    { "s12000_prog420", { { 12000, 9000 }, true, false }, 1 },
    { "s14000_base420", { { 14000, 10600 }, false, false }, 1 },
    { "s14000_prog420", { { 14000, 10600 }, true, false }, 1 },
    { "s20000_base420", { { 20000, 14000 }, false, false }, 1 },
    { "s20000_prog420", { { 20000, 14000 }, true, false }, 1 },
    { "s20000_prog444", { { 20000, 14000 }, true, true }, 1 },
};

const QSize kScreen(1920, 1080);

double msSince(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// This thread's processor time: what a step costs when the machine is not
// shared, which the wall time of a busy build machine does not show.
platform::TilePyramid::Options optionsIn(const QString& folder)
{
    platform::TilePyramid::Options options;
    options.folder = folder;
    return options;
}

int buildOnce(const QString& sheet, const QString& cache)
{
    platform::TilePyramid pyramid(optionsIn(cache));
    QElapsedTimer clock;
    clock.start();
    const double cpu = cpuMs();
    try {
        pyramid.build(sheet);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    print(u"build_ms"_s, msSince(clock));
    print(u"build_cpu_ms"_s, cpuMs() - cpu);
    print(u"peak_mb"_s, bench::peakRssMb());
    return 0;
}

// The tiles of `level` under the view rectangle (in level pixels), drawn
// into `view` as a paint would.
void drawVisible(const platform::TilePyramid& pyramid, const QString& sheet,
    const platform::PyramidInfo& info, int level, QRect rect, QImage* view)
{
    const int t = info.tileSize;
    QPainter p(view);
    for (int row = rect.top() / t; row <= rect.bottom() / t && row < info.rows(level); ++row)
        for (int column = rect.left() / t; column <= rect.right() / t && column < info.columns(level);
             ++column)
            p.drawImage(
                QPoint(column * t, row * t) - rect.topLeft(), pyramid.tile(sheet, level, column, row));
}

int readBack(const QString& sheet, const QString& cache)
{
    platform::TilePyramid pyramid(optionsIn(cache));
    const platform::PyramidInfo info = pyramid.info(sheet);
    if (!info.isValid())
        return 1;
    QList<double> level, native, fit, frames, levelCpu, nativeCpu, fitCpu;
    QImage view(kScreen, QImage::Format_RGB32);
    for (int run = 0; run < 7; ++run) {
        pyramid.clearMemory();
        QElapsedTimer clock;
        clock.start();
        double cpu = cpuMs();
        if (pyramid.levelImageFor(sheet, { 500, 360 }).isNull())
            return 1;
        level << msSince(clock);
        levelCpu << cpuMs() - cpu;

        pyramid.clearMemory();
        const QPoint at((info.native.width() - kScreen.width()) * (run + 1) / 8,
            (info.native.height() - kScreen.height()) * (7 - run) / 8);
        clock.restart();
        cpu = cpuMs();
        drawVisible(pyramid, sheet, info, 0, QRect(at, kScreen), &view);
        native << msSince(clock);
        nativeCpu << cpuMs() - cpu;

        pyramid.clearMemory();
        const QSize fitted = platform::fitInto(info.native, kScreen);
        const int fitLevel = info.levelCovering(fitted);
        clock.restart();
        cpu = cpuMs();
        drawVisible(pyramid, sheet, info, fitLevel, QRect(QPoint(), info.levels[fitLevel]), &view);
        fit << msSince(clock);
        fitCpu << cpuMs() - cpu;
    }
    print(u"level_500x360_ms"_s, bench::median(level));
    print(u"level_500x360_cpu_ms"_s, bench::median(levelCpu));
    print(u"view_native_ms"_s, bench::median(native));
    print(u"view_native_cpu_ms"_s, bench::median(nativeCpu));
    print(u"view_fit_ms"_s, bench::median(fit));
    print(u"view_fit_cpu_ms"_s, bench::median(fitCpu));

    // A pan across the whole sheet at its own resolution, 48 pixels a frame.
    pyramid.clearMemory();
    QPoint at(0, 0);
    const QPoint step(48, 36);
    while (
        at.x() + kScreen.width() < info.native.width() && at.y() + kScreen.height() < info.native.height()) {
        QElapsedTimer clock;
        clock.start();
        drawVisible(pyramid, sheet, info, 0, QRect(at, kScreen), &view);
        frames << msSince(clock);
        at += step;
    }
    print(u"pan_frame_ms"_s, bench::median(frames));
    print(u"pan_slowest_frame_ms"_s, *std::max_element(frames.begin(), frames.end()));
    print(u"pan_peak_mb"_s, bench::peakRssMb());
    return 0;
}

QString sheetFolder()
{
    const QString folder = QCoreApplication::applicationDirPath() + u"/sheets"_s;
    QDir().mkpath(folder);
    return folder;
}

void measure(const Kind& kind)
{
    const QString name = QString::fromLatin1(kind.name);
    const QString sheet = sheetFolder() + QLatin1Char('/') + name + u".jpg"_s;
    if (!QFileInfo::exists(sheet)) {
        const bench::ScanKind& s = kind.scan;
        bench::childFigures({ u"--generate"_s, sheet, QString::number(s.size.width()),
            QString::number(s.size.height()), QString::number(s.progressive), QString::number(s.chroma444) });
    }
    print(name + u"_file_mb"_s, double(QFileInfo(sheet).size()) / (1 << 20));
    QTemporaryDir cache;
    QList<double> times, cpu, peaks;
    for (int run = 0; run < kind.buildRuns; ++run) {
        QDir(cache.path()).removeRecursively();
        const auto values = bench::childFigures({ u"--build"_s, sheet, cache.path() });
        if (!values.contains(u"build_ms"_s)) {
            std::printf("%s_build: refused\n", kind.name);
            return;
        }
        times << values.value(u"build_ms"_s);
        cpu << values.value(u"build_cpu_ms"_s);
        peaks << values.value(u"peak_mb"_s);
    }
    print(name + u"_build_ms"_s, bench::median(times));
    print(name + u"_build_cpu_ms"_s, bench::median(cpu));
    print(name + u"_build_peak_mb"_s, bench::median(peaks));
    const auto values = bench::childFigures({ u"--read"_s, sheet, cache.path() });
    for (const QString& figure : { u"level_500x360_ms"_s, u"level_500x360_cpu_ms"_s, u"view_native_ms"_s,
             u"view_native_cpu_ms"_s, u"view_fit_ms"_s, u"view_fit_cpu_ms"_s, u"pan_frame_ms"_s,
             u"pan_slowest_frame_ms"_s, u"pan_peak_mb"_s })
        print(name + QLatin1Char('_') + figure, values.value(figure));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == u"--generate"_s && args.size() == 6) {
        const bench::ScanKind kind { { args[2].toInt(), args[3].toInt() }, args[4] == u"1"_s,
            args[5] == u"1"_s };
        return bench::writeScanSheet(args[1], kind) ? 0 : 1;
    }
    if (args.value(0) == u"--build"_s && args.size() == 3)
        return buildOnce(args[1], args[2]);
    if (args.value(0) == u"--read"_s && args.size() == 3)
        return readBack(args[1], args[2]);
    for (const Kind& kind : kKinds) {
        const bool chosen = args.isEmpty() || std::any_of(args.begin(), args.end(), [&](const QString& a) {
            return QString::fromLatin1(kind.name).contains(a);
        });
        if (chosen)
            measure(kind);
    }
    return 0;
}
