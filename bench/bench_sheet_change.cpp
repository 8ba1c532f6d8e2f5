// Sheet changes of the atlas window on scan-like sheets (bench/scan_sheet.h)
// around a small opening sheet, each reached by one arrow:
//   <kind>_cold_ms       the arrow click until the picture is set on imgMap,
//                        nothing decoded before and no pyramid;
//   <kind>_floor_ms      the same file read and decoded by TurboJPEG alone
//                        at the scale that covers the 500 x 360 box;
//   <kind>_cold_vs_floor (goal for baseline sheets: at most 1.15);
//   <kind>_pyramid_ms    the click when the sheet's pyramid is there, no
//                        tile decoded yet (goal < 16);
//   <kind>_during_ahead_ms  the cold click while a decode-ahead of another
//                        large sheet runs; _during_ahead_vs_cold (goal 1.15);
//   click_during_decode_ahead_ratio  the largest of those ratios where the
//                        sheet decoded ahead is the 12000-wide progressive
//                        one (goal 1.15), and its ..._cpu_ratio;
//   walk_click_ms, walk_peak_mb  a 100-step walk through a 4 x 3 grid of
//                        large scans, pyramids building behind it as they
//                        would for a user (a child process of its own).
// ..._cpu_ms is the user-interface thread's processor time of the same
// step: the machine may be shared. Medians of several runs.
//
//   bench_sheet_change [--sheets DIR] [--no-walk]

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "scan_grid.h"
#include "scan_sheet.h"

#include "imaging/pictures.h"
#include "maps/sheet_tiles.h"
#include "maps/sheets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QToolButton>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using bench::cpuMs;
using bench::print;

const QSize kBox(500, 360);

struct Kind {
    const char* name;
    const char* id; // the sheet id it has in the atlas
    bench::ScanKind scan;
    int runs;
    const char* there; // the arrow to it from the opening sheet
    const char* back;
};
const Kind kKinds[] = {
    { "s7000_base420", "BN-7000", { { 7000, 5000 }, false, false }, 5, "imgEast", "imgWest" },
    { "s7000_prog444", "BN-7000P", { { 7000, 5000 }, true, true }, 3, "imgNorth", "imgSouth" },
    { "s12000_prog420", "BN-12000P", { { 12000, 9000 }, true, false }, 3, "imgSouth", "imgNorth" },
    { "s14000_base420", "BN-14000", { { 14000, 10600 }, false, false }, 3, "imgWest", "imgEast" },
};

struct Timed {
    double ms;
    double cpu;
};
template <typename F> Timed timed(F&& step)
{
    QElapsedTimer clock;
    clock.start();
    const double cpu = cpuMs();
    step();
    return { double(clock.nsecsElapsed()) / 1e6, cpuMs() - cpu };
}

QToolButton* arrow(const char* name)
{
    return frmAtlas->findChild<QToolButton*>(QLatin1String(name));
}

// Nothing decoded, nothing being built; without the sheet's pyramid unless kept.
void settle(const QString& path, bool keepPyramid)
{
    frmAtlas->pictures().waitForIdle();
    frmAtlas->pictures().clear();
    SheetTiles& tiles = SheetTiles::instance();
    tiles.builder().waitForIdle();
    if (!keepPyramid)
        tiles.pyramid()->remove(path);
    tiles.pyramid()->clearMemory();
    QCoreApplication::processEvents();
}

double medianOf(const QList<Timed>& runs, bool cpu = false)
{
    QList<double> values;
    for (const Timed& t : runs)
        values << (cpu ? t.cpu : t.ms);
    return bench::median(values);
}

// The click's time with a decode ahead underway against its cold time,
// the worst of the kinds measured so.
struct AheadRatio {
    double wall = 0;
    double cpu = 0;
};

void measureChanges(const QString& sheets)
{
    AheadRatio worst;
    Kit kit;
    fixture::Atlas atlas(kit);
    atlas.writeSheet(u"GB-03H"_s, { 670, 480 }, Qt::darkRed);
    atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
    for (const Kind& kind : kKinds)
        bench::linkOrCopy(
            sheets + u'/' + QLatin1String(kind.name) + u".jpg"_s, atlas.sheetFile(QLatin1String(kind.id)));
    atlas.setRows({ { u"GB-03H"_s, u"BN-14000"_s, u"BN-7000"_s, u"BN-7000P"_s, u"BN-12000P"_s, u"London"_s,
                        u"12"_s, 433, 683 },
                      { u"BN-7000"_s, u"GB-03H"_s, u""_s, u""_s, u""_s, u"Baseline"_s, u"1"_s, 10, 10 },
                      { u"BN-7000P"_s, u""_s, u""_s, u""_s, u"GB-03H"_s, u"Progressive"_s, u"2"_s, 10, 10 },
                      { u"BN-12000P"_s, u""_s, u""_s, u"GB-03H"_s, u""_s, u"Large"_s, u"3"_s, 10, 10 },
                      { u"BN-14000"_s, u""_s, u"GB-03H"_s, u""_s, u""_s, u"Larger"_s, u"4"_s, 10, 10 } },
        {});
    if (!atlas.open() || !frmAtlas) {
        std::fprintf(stderr, "the atlas window did not open\n");
        return;
    }
    for (const Kind& kind : kKinds) {
        const QString name = QLatin1String(kind.name);
        const QString id = QLatin1String(kind.id);
        const QString path = sheetPath(id);
        const auto click
            = [&] { return timed([&] { QTest::mouseClick(arrow(kind.there), Qt::LeftButton); }); };
        QList<Timed> cold, pyramid, during;
        QList<double> floor;
        for (int run = 0; run < kind.runs; ++run) {
            settle(path, false);
            cold << click();
            if (vMapId != id || !kit.messages().isEmpty()) {
                std::printf("%s_cold: refused (%s)\n", kind.name, qPrintable(kit.messageTexts().join(u' ')));
                kit.clearMessages();
                break;
            }
            arrow(kind.back)->click();
            settle(path, true);
            pyramid << click();
            arrow(kind.back)->click();
            floor << bench::turboFloorMs(atlas.sheetFile(id), kBox);

            // Another large sheet decoded ahead, underway when the user clicks.
            settle(path, false);
            const QString other = sheetPath(&kind == &kKinds[2] ? u"BN-14000"_s : u"BN-12000P"_s);
            frmAtlas->pictures().decodeAhead({ other }, kBox * frmAtlas->devicePixelRatioF());
            QThread::msleep(30);
            during << click();
            arrow(kind.back)->click();
        }
        if (cold.isEmpty())
            continue;
        print(name + u"_cold_ms"_s, medianOf(cold));
        print(name + u"_cold_cpu_ms"_s, medianOf(cold, true));
        print(name + u"_floor_ms"_s, bench::median(floor));
        print(name + u"_cold_vs_floor"_s, medianOf(cold) / bench::median(floor));
        print(name + u"_pyramid_ms"_s, medianOf(pyramid));
        print(name + u"_pyramid_cpu_ms"_s, medianOf(pyramid, true));
        print(name + u"_during_ahead_ms"_s, medianOf(during));
        print(name + u"_during_ahead_vs_cold"_s, medianOf(during) / medianOf(cold));
        print(name + u"_during_ahead_cpu_ms"_s, medianOf(during, true));
        if (&kind != &kKinds[2]) {
            worst.wall = std::max(worst.wall, medianOf(during) / medianOf(cold));
            worst.cpu = std::max(worst.cpu, medianOf(during, true) / medianOf(cold, true));
        }
    }
    print(u"click_during_decode_ahead_ratio"_s, worst.wall);
    print(u"click_during_decode_ahead_cpu_ratio"_s, worst.cpu);
}

// A 4 x 3 grid of large scans (rows 01-03, columns D-G); runs in a child
// process, so that the peak is the walk's alone.
int walk(const QString& sheets)
{
    Kit kit;
    fixture::Atlas atlas(kit);
    // Each its own file: a pyramid is made for each.
    const auto scan = [&](int row, int column) {
        const char* kind = (row + column) % 2 ? "s7000_base420" : "s7000_prog444";
        return sheets + u'/' + QLatin1String(kind) + u".jpg"_s;
    };
    if (!bench::openScanGrid(atlas, scan))
        return 1;
    QRandomGenerator random(3);
    QList<double> steps;
    for (int step = 0; step < 100; ++step) {
        QList<QToolButton*> choices;
        for (const char* name : { "imgNorth", "imgSouth", "imgEast", "imgWest" })
            if (!arrow(name)->isHidden())
                choices << arrow(name);
        if (choices.isEmpty())
            return 1;
        steps << timed([&] { choices[random.bounded(int(choices.size()))]->click(); }).ms;
        frmAtlas->repaint();
        frmAtlas->pictures().waitForIdle(); // the user looks at the sheet a while
        QCoreApplication::processEvents();
    }
    print(u"walk_click_ms"_s, bench::median(steps));
    print(u"walk_peak_mb"_s, bench::peakRssMb());
    return kit.messages().isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == u"--walk"_s)
        return walk(args[2]);
    const qsizetype at = args.indexOf(u"--sheets"_s);
    const QString sheets = at > 0 && at + 1 < args.size()
        ? args[at + 1]
        : QCoreApplication::applicationDirPath() + u"/sheets"_s;
    QDir().mkpath(sheets);
    for (const Kind& kind : kKinds) {
        const QString file = sheets + u'/' + QLatin1String(kind.name) + u".jpg"_s;
        if (!QFileInfo::exists(file) && !bench::writeScanSheet(file, kind.scan))
            return 1;
        print(QLatin1String(kind.name) + u"_file_mb"_s, double(QFileInfo(file).size()) / 1e6);
    }
    measureChanges(sheets);
    if (args.contains(u"--no-walk"_s))
        return 0;

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), { u"--walk"_s, sheets });
    if (!child.waitForFinished(1800000) || child.exitCode() != 0)
        std::fprintf(stderr, "the walk failed\n");
    return 0;
}
