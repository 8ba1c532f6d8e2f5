// The notebook as one PDF: places with a description of a few paragraphs,
// five phone photos each (12 megapixels) and a map excerpt from one of six
// scan-like 7000 x 5000 sheets, whose tile pyramids are built beforehand as
// the atlas builds them when the sheets are shown.
//   pdf_100_places_s, pdf_1000_places_s   the report made and renamed into
//                        place (wall clock) with an empty print cache, with
//                        *_cpu_s the processor time of the whole process
//                        beside it;
//   pdf_100_places_warm_s, pdf_1000_places_warm_s   the same report made
//                        again in the same process, its photos read from
//                        the print cache the first one filled (the usual
//                        case: a report remade after an edit), with *_cpu_s;
//   growth_100_to_1000   how many times longer the 1,000 places take (and
//                        *_cpu in processor time, which a loaded machine
//                        disturbs less);
//   peak_rss_mb          the peak memory of the process that made the
//                        1,000-place reports (program, tables and report);
//   print_cache_mb       the print cache's size after the first report;
//   pdf_1000_places_mb   the file's size;
//   pdf_100_places_no_pyramid_s  100 places with no pyramid in the cache:
//                        each excerpt from its sheet decoded whole;
//   odf_100_places_s, odf_100_places_peak_rss_mb  the same 100 places as
//                        an ODF text, which holds every picture until it
//                        is written, and its peak memory;
//   photo_decode_floor_ms  TurboJPEG alone decoding one photo at the size
//                        it is printed, the floor under each picture (with
//                        its processor time, *_cpu_ms): times 5,000 it is
//                        the time no report can save;
//   photo_decode_ms      the program's own decode of that photo for print,
//                        with *_cpu_ms beside it.
// Each size runs in a process of its own, so its peak memory is its alone.
// "bench_report 300" measures 300 places only.

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"
#include "scan_sheet.h"

#include "data/place_pins.h"
#include "imaging/pictures.h"
#include "imaging/print_cache.h"
#include "imaging/tile_pyramid.h"
#include "output/report.h"

#include <QApplication>
#include <QDir>
#include <QRandomGenerator>

#include <cstdio>
#include <ctime>
#include <unistd.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int kSheets = 6;
constexpr int kDistinctScans = 3;
constexpr int kPhotosPerPlace = 5;
constexpr int kDistinctPhotos = 20;
const QSize kScan(7000, 5000);

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QString sheetId(int i)
{
    return u"GB-0%1K"_s.arg(i + 1);
}

// A phone photo: soft light, fine texture and sensor noise.
QImage phonePhoto(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(40u)) - 20;
            const int texture = int(24 * std::sin(x * 0.07 + seed) * std::cos(y * 0.05));
            line[3 * x] = uchar(qBound(0, 90 + 100 * x / size.width() + texture + noise, 255));
            line[3 * x + 1] = uchar(qBound(0, 120 + 60 * y / size.height() - texture + noise, 255));
            line[3 * x + 2] = uchar(qBound(0, 150 - 80 * y / size.height() + noise / 2, 255));
        }
    }
    return image;
}

// The sheets, photos and pyramids every run shares, made once.
void prepare(const QString& data)
{
    QDir().mkpath(data + u"/cd/Maps"_s);
    QDir().mkpath(data + u"/pix"_s);
    for (int i = 0; i < kDistinctScans; ++i)
        bench::writeScanSheet(
            data + u"/scan%1.jpg"_s.arg(i), bench::ScanKind { kScan, false, false, 88 - i });
    for (int i = 0; i < kSheets; ++i)
        QFile::copy(
            data + u"/scan%1.jpg"_s.arg(i % kDistinctScans), data + u"/cd/Maps/"_s + sheetId(i) + u".JPG"_s);
    for (const QString& small : { u"LOC-S"_s, u"GB-03H"_s })
        fixture::writeBytes(data + u"/cd/Maps/"_s + small + u".JPG"_s,
            fixture::encodeJpeg(fixture::sheetImage({ 200, 144 }, Qt::gray)));
    for (int i = 0; i < kDistinctPhotos; ++i)
        fixture::writeBytes(
            data + u"/pix/photo%1.jpg"_s.arg(i), fixture::encodeJpeg(phonePhoto({ 4032, 3024 }, i), 90));
    platform::TilePyramid::Options options;
    options.folder = data + u"/cache/corvane3/tiles"_s;
    platform::TilePyramid pyramid(options);
    for (int i = 0; i < kSheets; ++i)
        pyramid.build(data + u"/cd/Maps/"_s + sheetId(i) + u".JPG"_s);
}

QList<fixture::Place> places(int count)
{
    QRandomGenerator random(3);
    const QString paragraph = u"Die Straße führt über die Brücke nach Château-Gaillard; "
                              "the parish register names the mill, the ford and the chapel of ease. "_s;
    QList<fixture::Place> list;
    for (int i = 0; i < count; ++i) {
        const QPoint pin(int(random.bounded(kScan.width())), int(random.bounded(kScan.height())));
        list << fixture::Place { i, u"Place %1 – Ébène"_s.arg(i), paragraph.repeated(3) + u'\n' + paragraph,
            sheetId(int(random.bounded(kSheets))), formatCoords(pin) };
    }
    return list;
}

// One report of `count` places in this process; prints its figures.
int runReport(const QString& data, int count, const QString& mode)
{
    const bool pyramids = mode != u"none"_s;
    const bool odf = mode == u"odf"_s;
    Kit kit;
    fixture::Atlas atlas(kit);
    kit.setDrive(QLatin1Char('D'), data + u"/cd"_s, true);
    qputenv("XDG_CACHE_HOME", QFile::encodeName(pyramids ? data + u"/cache"_s : kit.home() + u"/cache"_s));
    QList<fixture::Sheet> rows { { u"GB-03H"_s, {}, {}, {}, {}, u"Start"_s, u"1"_s, 1, 1 } };
    for (int i = 0; i < kSheets; ++i)
        rows << fixture::Sheet { sheetId(i), {}, {}, {}, {}, u"Blatt "_s + sheetId(i), u"1"_s, 1, 1 };
    atlas.setRows(rows, {});
    QList<fixture::Picture> pictures;
    const QString pix = kit.hostPath(vProgramPath + u"Pix"_s) + u'/';
    QDir().mkpath(pix);
    for (int i = 0; i < count * kPhotosPerPlace; ++i) {
        const QString name = QString::number(i + 1).rightJustified(6, u'0');
        ::link(QFile::encodeName(data + u"/pix/photo%1.jpg"_s.arg(i % kDistinctPhotos)).constData(),
            QFile::encodeName(pix + name + u".JPG"_s).constData());
        pictures << fixture::Picture { name, i / kPhotosPerPlace, u"Photo %1 of the mill"_s.arg(i) };
    }
    fixture::writeUserTables(places(count), pictures);
    if (!atlas.open())
        return 1;
    const QString target = kit.home() + (odf ? u"/report.odt"_s : u"/report.pdf"_s);
    ReportOptions options;
    options.format = odf ? ReportFormat::Odf : ReportFormat::Pdf;
    const QString printCache = platform::defaultPrintCacheFolder();
    QDir(printCache).removeRecursively(); // the first report starts cold
    ReportJob job(gatherReport(allPlaceIds()), options, target);
    const double cpu = cpuSeconds();
    const double wall = bench::timed([&] { job.run(); }) / 1000;
    const QByteArray name
        = (odf ? "odf_" : "pdf_") + QByteArray::number(count) + "_places" + (pyramids ? "" : "_no_pyramid");
    print(name + "_s", wall);
    print(name + "_cpu_s", cpuSeconds() - cpu);
    print(name + "_mb", double(QFileInfo(target).size()) / (1 << 20));
    qint64 cached = 0;
    for (const QFileInfo& entry : QDir(printCache).entryInfoList(QDir::Files))
        cached += entry.size();
    print("print_cache_mb", double(cached) / (1 << 20));
    if (pyramids && !odf) {
        ReportJob again(gatherReport(allPlaceIds()), options, target);
        const double cpuWarm = cpuSeconds();
        print(name + "_warm_s", bench::timed([&] { again.run(); }) / 1000);
        print(name + "_warm_cpu_s", cpuSeconds() - cpuWarm);
    }
    print("peak_rss_mb", bench::peakRssMb());
    print("pictures", job.summary().pictures);
    print("excerpts", job.summary().excerpts);
    for (const QString& missing : job.summary().missing.mid(0, 3))
        std::fprintf(stderr, "missing: %s\n", qPrintable(missing));
    return job.succeeded() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 5 && arguments[1] == u"--run"_s)
        return runReport(arguments[2], arguments[3].toInt(), arguments[4]);
    // CORVANE_BENCH_DATA keeps the prepared sheets and photos between runs.
    QTemporaryDir temporary;
    const QString kept = qEnvironmentVariable("CORVANE_BENCH_DATA");
    const QString folder = kept.isEmpty() ? temporary.path() : kept;
    if (!QFileInfo::exists(folder + u"/prepared"_s)) {
        std::fprintf(stderr, "preparing sheets, pyramids and photos...\n");
        prepare(folder);
        fixture::writeBytes(folder + u"/prepared"_s, "yes");
    }
    QList<double> floor;
    QList<double> floorCpu;
    for (int i = 0; i < 5; ++i) {
        const double cpu = cpuSeconds();
        floor << bench::turboFloorMs(folder + u"/pix/photo0.jpg"_s, QSize(945, 709));
        floorCpu << (cpuSeconds() - cpu) * 1000;
    }
    print("photo_decode_floor_ms", bench::median(floor));
    print("photo_decode_floor_cpu_ms", bench::median(floorCpu));
    QList<double> own;
    QList<double> ownCpu;
    const QString photo = folder + u"/pix/photo0.jpg"_s;
    for (int i = 0; i < 5; ++i) {
        const double cpu = cpuSeconds();
        own << bench::timed([&] { platform::decodePicture(photo, photo, QSize(945, 709)); });
        ownCpu << (cpuSeconds() - cpu) * 1000;
    }
    print("photo_decode_ms", bench::median(own));
    print("photo_decode_cpu_ms", bench::median(ownCpu));
    const auto measure = [&](int count, const QString& mode) {
        return bench::childFigures({ u"--run"_s, folder, QString::number(count), mode });
    };
    if (arguments.size() == 2) {
        const auto figures = measure(arguments[1].toInt(), u"pyramids"_s);
        for (auto it = figures.begin(); it != figures.end(); ++it)
            print(it.key().toUtf8().constData(), it.value());
        return 0;
    }
    const auto small = measure(100, u"pyramids"_s);
    const auto large = measure(1000, u"pyramids"_s);
    const auto bare = measure(100, u"none"_s);
    const auto odf = measure(100, u"odf"_s);
    print("pdf_100_places_s", small.value(u"pdf_100_places_s"_s));
    print("pdf_100_places_cpu_s", small.value(u"pdf_100_places_cpu_s"_s));
    print("pdf_1000_places_s", large.value(u"pdf_1000_places_s"_s));
    print("pdf_1000_places_cpu_s", large.value(u"pdf_1000_places_cpu_s"_s));
    print("pdf_100_places_warm_s", small.value(u"pdf_100_places_warm_s"_s));
    print("pdf_100_places_warm_cpu_s", small.value(u"pdf_100_places_warm_cpu_s"_s));
    print("pdf_1000_places_warm_s", large.value(u"pdf_1000_places_warm_s"_s));
    print("pdf_1000_places_warm_cpu_s", large.value(u"pdf_1000_places_warm_cpu_s"_s));
    print("print_cache_1000_places_mb", large.value(u"print_cache_mb"_s));
    print("growth_100_to_1000", large.value(u"pdf_1000_places_s"_s) / small.value(u"pdf_100_places_s"_s));
    print("growth_100_to_1000_cpu",
        large.value(u"pdf_1000_places_cpu_s"_s) / small.value(u"pdf_100_places_cpu_s"_s));
    print("peak_rss_mb", large.value(u"peak_rss_mb"_s));
    print("pdf_1000_places_mb", large.value(u"pdf_1000_places_mb"_s));
    print("pdf_1000_places_pictures", large.value(u"pictures"_s));
    print("pdf_1000_places_excerpts", large.value(u"excerpts"_s));
    print("pdf_100_places_no_pyramid_s", bare.value(u"pdf_100_places_no_pyramid_s"_s));
    print("pdf_100_places_no_pyramid_cpu_s", bare.value(u"pdf_100_places_no_pyramid_cpu_s"_s));
    print("odf_100_places_s", odf.value(u"odf_100_places_s"_s));
    print("odf_100_places_cpu_s", odf.value(u"odf_100_places_cpu_s"_s));
    print("odf_100_places_mb", odf.value(u"odf_100_places_mb"_s));
    print("odf_100_places_peak_rss_mb", odf.value(u"peak_rss_mb"_s));
    return 0;
}
