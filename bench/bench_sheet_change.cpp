// Sheet changes of the atlas window on 7000 x 5000 baseline and progressive
// scans and a 3500 x 2500 one:
//   cold_ms_*   ChangeMap from the arrow click to the picture set on imgMap,
//               nothing decoded before;
//   floor_ms_*  the same file read and decoded by TurboJPEG alone, at the
//               scale that covers the 500 x 360 box (what cannot be beaten);
//   naive_ms_*  the whole picture decoded, then smoothly scaled to the box;
//   warm_click_ms  an arrow click to a neighbour decoded ahead, painted;
//   peak_rss_mb    peak memory of a 200-sheet walk through the atlas (the
//                  demo atlas when it is built, else a grid of large scans),
//                  measured in a child process of its own.
// The sheets come from `atlasgen --bench-sheets` when it is built, else are
// drawn here. Figures are medians; one "name: value" line each.

#include "bench_support.h"
#include "kit/atlas_fixture.h"

#include "data/installer.h"
#include "platform/pictures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainterPath>
#include <QProcess>
#include <QRandomGenerator>
#include <QToolButton>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int kWalkSteps = 200;
const QSize kBox(500, 360);

struct BenchSheet {
    QString file; // as atlasgen names it
    QString id; // a sheet id fits 10 characters
    QString figure; // suffix of the printed names
    QSize size;
    bool progressive;
    int runs;
};
const QList<BenchSheet> kSheets { { u"BENCH-7000"_s, u"BN-7000"_s, u"7000"_s, { 7000, 5000 }, false, 7 },
    { u"BENCH-7000P"_s, u"BN-7000P"_s, u"7000p"_s, { 7000, 5000 }, true, 3 },
    { u"BENCH-3500"_s, u"BN-3500"_s, u"3500"_s, { 3500, 2500 }, false, 7 } };

void print(const QString& name, double value)
{
    std::printf("%s: %.2f\n", qPrintable(name), value);
    std::fflush(stdout);
}

bool writeBenchSheets(const QString& folder)
{
    if (bench::atlasgenBenchSheets(folder))
        return true;
    for (const BenchSheet& sheet : kSheets) {
        const QByteArray jpeg = fixture::encodeJpeg(bench::busySheet(sheet.size), 85, sheet.progressive);
        fixture::writeBytes(folder + u'/' + sheet.file + u".JPG"_s, jpeg);
    }
    return false;
}

double naiveDecode(const QString& file)
{
    QImageReader::setAllocationLimit(1024);
    const double ms = bench::timed([&] {
        const QImage full = QImageReader(file).read();
        const QImage shown = full.scaled(kBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        Q_UNUSED(shown);
    });
    QImageReader::setAllocationLimit(128);
    return ms;
}

QToolButton* arrow(const char* name)
{
    return frmAtlas->findChild<QToolButton*>(QLatin1String(name));
}

void settle()
{
    frmAtlas->pictures().clear();
    frmAtlas->pictures().waitForIdle();
    frmAtlas->pictures().clear();
    QCoreApplication::processEvents();
}

// GB-03H in the middle: east, north and south lead to the three scans,
// each of which leads back.
void measureChanges(const QString& sheets)
{
    Kit kit;
    fixture::Atlas atlas(kit);
    atlas.writeSheet(u"GB-03H"_s, { 670, 480 }, Qt::darkRed);
    atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
    for (const BenchSheet& sheet : kSheets)
        QFile::copy(sheets + u'/' + sheet.file + u".JPG"_s, atlas.sheetFile(sheet.id));
    atlas.setRows(
        { { u"GB-03H"_s, u""_s, u"BN-7000"_s, u"BN-7000P"_s, u"BN-3500"_s, u"London"_s, u"12"_s, 433, 683 },
            { u"BN-7000"_s, u"GB-03H"_s, u""_s, u""_s, u""_s, u"Baseline"_s, u"1"_s, 10, 10 },
            { u"BN-7000P"_s, u""_s, u""_s, u""_s, u"GB-03H"_s, u"Progressive"_s, u"2"_s, 10, 10 },
            { u"BN-3500"_s, u""_s, u""_s, u"GB-03H"_s, u""_s, u"Smaller"_s, u"3"_s, 10, 10 } },
        {});
    if (!atlas.open() || !frmAtlas) {
        std::fprintf(stderr, "the atlas window did not open\n");
        return;
    }
    const std::pair<const char*, const char*> ways[]
        = { { "imgEast", "imgWest" }, { "imgNorth", "imgSouth" }, { "imgSouth", "imgNorth" } };
    double coldBaseline = 0, floorBaseline = 1;
    for (int i = 0; i < kSheets.size(); ++i) {
        const BenchSheet& sheet = kSheets[i];
        QList<double> cold, floor, naive;
        for (int run = 0; run < sheet.runs; ++run) {
            settle();
            cold << bench::timed([&] { QTest::mouseClick(arrow(ways[i].first), Qt::LeftButton); });
            if (vMapId != sheet.id || !kit.messages().isEmpty())
                std::fprintf(stderr, "the sheet change to %s failed\n", qPrintable(sheet.id));
            arrow(ways[i].second)->click();
            settle();
            floor << bench::turboFloorMs(atlas.sheetFile(sheet.id), kBox);
        }
        for (int run = 0; run < std::min(sheet.runs, 3); ++run)
            naive << naiveDecode(atlas.sheetFile(sheet.id));
        settle();
        print(u"cold_ms_"_s + sheet.figure, bench::median(cold));
        print(u"floor_ms_"_s + sheet.figure, bench::median(floor));
        print(u"naive_ms_"_s + sheet.figure, bench::median(naive));
        if (i == 0) {
            coldBaseline = bench::median(cold);
            floorBaseline = bench::median(floor);
        }
    }
    print(u"cold_vs_floor"_s, coldBaseline / floorBaseline);

    // Warm: back on GB-03H, wait while its neighbours are decoded ahead.
    frmAtlas->ChangeMap();
    frmAtlas->AdjacentMoves();
    QList<double> warm;
    for (int run = 0; run < 15; ++run) {
        frmAtlas->pictures().waitForIdle();
        QCoreApplication::processEvents();
        warm << bench::timed([&] {
            QTest::mouseClick(arrow(ways[run % 3].first), Qt::LeftButton);
            frmAtlas->repaint();
        });
        arrow(ways[run % 3].second)->click();
    }
    print(u"warm_click_ms"_s, bench::median(warm));
    print(u"warm_click_max_ms"_s, *std::max_element(warm.begin(), warm.end()));
}

// A 5 x 4 grid of large scans around GB-03H (rows 01-04, columns D-H).
QList<fixture::Sheet> gridAtlas(fixture::Atlas& atlas, const QString& sheets)
{
    const auto id = [](int row, int column) {
        return u"GB-%1%2"_s.arg(row, 2, 10, QLatin1Char('0')).arg(QChar(u'D' + column));
    };
    const auto inside = [&](int row, int column) {
        return row >= 1 && row <= 4 && column >= 0 && column < 5 ? id(row, column) : QString();
    };
    QList<fixture::Sheet> rows;
    for (int row = 1; row <= 4; ++row) {
        for (int column = 0; column < 5; ++column) {
            const QString name = id(row, column);
            const QString source = (row + column) % 4 == 0 ? u"BENCH-7000"_s : u"BENCH-3500"_s;
            const QString from = sheets + u'/' + source + u".JPG"_s;
            if (::link(
                    QFile::encodeName(from).constData(), QFile::encodeName(atlas.sheetFile(name)).constData())
                != 0)
                QFile::copy(from, atlas.sheetFile(name));
            rows << fixture::Sheet { name, inside(row, column - 1), inside(row, column + 1),
                inside(row - 1, column), inside(row + 1, column), u"Blatt "_s + name,
                QString::number(row * 10 + column), 100 * row, 100 * column };
        }
    }
    atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
    return rows;
}

// Runs in a child process: the peak is the walk's alone.
int walk(const QString& sheets)
{
    Kit kit;
    std::unique_ptr<fixture::Atlas> grid;
    const bool demo = QFileInfo::exists(platform::shareDir() + u"/cd/Maps/GB-03H.JPG"_s)
        && QFileInfo::exists(templateFolder() + u"/MAPS.tsv"_s);
    if (demo) {
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.start();
        kit.passSplash();
        kit.click(u"btnBegin"_s);
    } else {
        grid = std::make_unique<fixture::Atlas>(kit);
        grid->setRows(gridAtlas(*grid, sheets), {});
        grid->open();
    }
    if (!frmAtlas)
        return 1;
    QRandomGenerator random(3);
    QList<double> steps;
    for (int step = 0; step < kWalkSteps; ++step) {
        QList<QToolButton*> choices;
        for (const char* name : { "imgNorth", "imgSouth", "imgEast", "imgWest" })
            if (!arrow(name)->isHidden())
                choices << arrow(name);
        if (choices.isEmpty())
            return 1;
        steps << bench::timed([&] { choices[random.bounded(int(choices.size()))]->click(); });
        frmAtlas->repaint();
        frmAtlas->pictures().waitForIdle(); // the user looks at the sheet a while
    }
    std::printf("walk_atlas: %s\n", demo ? "demo" : "grid of scans");
    print(u"walk_click_ms"_s, bench::median(steps));
    print(u"peak_rss_mb"_s, bench::peakRssMb());
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

    // --sheets DIR keeps the sheets between runs (made there when missing).
    QTemporaryDir temporary;
    const bool kept = args.size() == 3 && args[1] == u"--sheets"_s;
    const QString sheets = kept ? args[2] : temporary.path();
    QDir().mkpath(sheets);
    if (!kept || !QFileInfo::exists(sheets + u"/BENCH-7000P.JPG"_s)) {
        const bool fromAtlasgen = writeBenchSheets(sheets);
        std::printf("sheets: %s\n", fromAtlasgen ? "atlasgen --bench-sheets" : "drawn by the benchmark");
    }
    for (const BenchSheet& sheet : kSheets)
        print(u"file_mb_"_s + sheet.figure,
            double(QFileInfo(sheets + u'/' + sheet.file + u".JPG"_s).size()) / 1e6);
    measureChanges(sheets);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), { u"--walk"_s, sheets });
    if (!child.waitForFinished(1800000) || child.exitCode() != 0)
        std::fprintf(stderr, "the 200-sheet walk failed\n");
    return 0;
}
