// Attached pictures: a 24-megapixel phone photo (baseline, grain and
// texture) and typical metafiles, shown in the descriptions window's
// 313 x 255 box and in the viewer on a 1920 x 1080 screen.
//   panel_cold_ms / panel_floor_ms / panel_ratio   the photo decoded for the
//       box, nothing decoded before, against TurboJPEG alone (goal <= 1.15);
//   ahead_hit_ms        load() of a picture decoded ahead (goal < 16);
//   viewer_cold_ms / viewer_floor_ms / viewer_ratio  the same for the viewer's
//       1800 x 972 picture box (goal <= 1.15);
//   wmf_ms, emf_ms      a drawing of 600 shapes rendered into the box;
//   metafiles_drawn / metafiles_refused / metafiles_blank   the test kit's
//       set of 29 Windows and 6 enhanced metafiles like users' (accented
//       text, fills, hatches, titles; empty and degenerate drawings);
//   peak_rss_mb         peak memory of 200 steps through such pictures with
//       decoding ahead, in a child process of its own (goal < 150).
// Figures are medians; one "name: value" line each.

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "kit/picture_samples.h"

#include "imaging/picture_files.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

const QSize kPanelBox(313, 255);
const QSize kViewerBox(1800, 972); // the viewer's box on a 1920 x 1080 screen
constexpr int kRuns = 7;
constexpr int kSteps = 200;
constexpr int kShapes = 600;

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

// A phone photo: soft light across the frame, fine texture and sensor noise.
QImage phonePhoto(QSize size)
{
    QImage image(size, QImage::Format_RGB888);
    QRandomGenerator random(11);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(40u)) - 20;
            const int texture = int(24 * std::sin(x * 0.07) * std::cos(y * 0.05));
            line[3 * x] = uchar(qBound(0, 90 + 100 * x / size.width() + texture + noise, 255));
            line[3 * x + 1] = uchar(qBound(0, 120 + 60 * y / size.height() - texture + noise, 255));
            line[3 * x + 2] = uchar(qBound(0, 150 - 80 * y / size.height() + noise / 2, 255));
        }
    }
    return image;
}

// Clip art: polygons of many colours, as a metafile of either kind.
QByteArray drawing(bool enhanced)
{
    QRandomGenerator random(5);
    QByteArray records;
    if (!enhanced) { // frees the slot of the sample's blue brush
        pictures::put32(records, 4);
        pictures::put16(records, 0x01F0);
        pictures::put16(records, 2);
    }
    int count = 0;
    const auto colour = [&] { return quint32(random.generate() & 0xFFFFFF); };
    for (int i = 0; i < kShapes; ++i) {
        const int x = int(random.bounded(3600)), y = int(random.bounded(2600));
        const QList<QPoint> points { { x, y }, { x + 300, y + 40 }, { x + 220, y + 280 },
            { x - 60, y + 200 } };
        if (enhanced) {
            for (quint32 v : { 40u, 12u, 3u }) // the brush before goes
                pictures::put32(records, v);
            for (quint32 v : { 39u, 24u, 3u, 0u, colour(), 0u }) // a new one in its place, selected
                pictures::put32(records, v);
            for (quint32 v : { 37u, 12u, 3u })
                pictures::put32(records, v);
            pictures::put32(records, 86); // polygon16
            pictures::put32(records, quint32(28 + 4 * points.size()));
            for (int v : { x - 60, y, x + 300, y + 280 })
                pictures::put32(records, quint32(v));
            pictures::put32(records, quint32(points.size()));
            count += 4;
        } else {
            // A brush in the object slot the sample's blue brush left, selected,
            // a polygon, and the brush deleted again.
            pictures::put32(records, 7);
            pictures::put16(records, 0x02FC);
            pictures::put16(records, 0);
            pictures::put32(records, colour());
            pictures::put16(records, 0);
            pictures::put32(records, 4);
            pictures::put16(records, 0x012D);
            pictures::put16(records, 2);
            pictures::put32(records, quint32(4 + 2 * points.size()));
            pictures::put16(records, 0x0324);
            pictures::put16(records, quint16(points.size()));
        }
        for (const QPoint& p : points) {
            pictures::put16(records, quint16(p.x()));
            pictures::put16(records, quint16(p.y()));
        }
        if (!enhanced) {
            pictures::put32(records, 4);
            pictures::put16(records, 0x01F0);
            pictures::put16(records, 2);
        }
    }
    // The small sample's frame and records around the shapes.
    QByteArray file
        = enhanced ? pictures::enhancedMetafile(4000, 3000) : pictures::windowsMetafile(1000, 4000, 3000);
    const int end = enhanced ? int(file.size()) - 20 : int(file.size()) - 6;
    file = file.left(end) + records + file.mid(end);
    if (enhanced) {
        qToLittleEndian<quint32>(quint32(file.size()), file.data() + 48);
        qToLittleEndian<quint32>(
            qFromLittleEndian<quint32>(file.constData() + 52) + quint32(count), file.data() + 52);
    } else {
        qToLittleEndian<quint32>(quint32((file.size() - 22) / 2), file.data() + 22 + 6);
        qToLittleEndian<quint32>(16, file.data() + 22 + 12); // the largest record, in words
    }
    return file;
}

// Runs in a child process: the peak is the walk's alone.
int walk(const QString& folder)
{
    const QStringList names { u"photo.JPG"_s, u"photo12.JPG"_s, u"scan.BMP"_s, u"clip.WMF"_s, u"clip.EMF"_s };
    QStringList paths;
    for (int i = 0; i < kSteps; ++i)
        paths << folder + u'/' + names[i % names.size()];
    platform::AttachedPictureStore store;
    for (int i = 0; i < kSteps; ++i) {
        const QImage shown = store.load(paths[i], kPanelBox);
        if (shown.isNull())
            return 1;
        store.decodeAhead({ paths[(i + 1) % kSteps] }, kPanelBox);
        store.clear(); // every step a picture not seen before, as in a long slide show
    }
    store.waitForIdle();
    print("peak_rss_mb", bench::peakRssMb());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--walk")
        return walk(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir folder;
    const QString photo = folder.filePath(u"photo.JPG"_s);
    fixture::writeBytes(photo, fixture::encodeJpeg(phonePhoto({ 6000, 4000 }), 90));
    fixture::writeBytes(
        folder.filePath(u"photo12.JPG"_s), fixture::encodeJpeg(phonePhoto({ 4000, 3000 }), 90));
    phonePhoto({ 3000, 2000 }).save(folder.filePath(u"scan.BMP"_s), "BMP");
    fixture::writeBytes(folder.filePath(u"clip.WMF"_s), drawing(false));
    fixture::writeBytes(folder.filePath(u"clip.EMF"_s), drawing(true));

    for (const auto& [box, name] : { std::pair { kPanelBox, "panel" }, std::pair { kViewerBox, "viewer" } }) {
        QList<double> cold, floor;
        for (int run = 0; run < kRuns; ++run) {
            floor << bench::turboFloorMs(photo, box);
            cold << bench::timed([&] { platform::loadPictureFile(photo, box); });
        }
        const double c = bench::median(cold), f = bench::median(floor);
        print(qPrintable(QString::fromLatin1(name) + u"_cold_ms"_s), c);
        print(qPrintable(QString::fromLatin1(name) + u"_floor_ms"_s), f);
        print(qPrintable(QString::fromLatin1(name) + u"_ratio"_s), c / f);
    }

    QList<double> hits;
    for (int run = 0; run < kRuns; ++run) {
        platform::AttachedPictureStore store;
        store.decodeAhead({ photo }, kPanelBox);
        store.waitForIdle();
        hits << bench::timed([&] { store.load(photo, kPanelBox); });
    }
    print("ahead_hit_ms", bench::median(hits));

    for (const auto& [file, name] :
        { std::pair { u"clip.WMF"_s, "wmf_ms" }, std::pair { u"clip.EMF"_s, "emf_ms" } }) {
        QList<double> times;
        for (int run = 0; run < kRuns; ++run)
            times << bench::timed([&] { platform::loadPictureFile(folder.filePath(file), kPanelBox); });
        print(name, bench::median(times));
    }

    int drawn = 0, refused = 0, blank = 0;
    for (const pictures::MetafileSample& sample :
        pictures::realWorldWindowsMetafiles() + pictures::realWorldEnhancedMetafiles()) {
        const QString path = folder.filePath(sample.name);
        fixture::writeBytes(path, sample.bytes);
        try {
            const QImage image = platform::loadPictureFile(path, kPanelBox);
            const bool uniform = image.convertToFormat(QImage::Format_RGB32) == [&] {
                QImage paper(image.size(), QImage::Format_RGB32);
                paper.fill(image.pixel(0, 0));
                return paper;
            }();
            ++(uniform ? blank : drawn);
        } catch (const std::exception&) {
            ++refused;
        }
    }
    print("metafiles_drawn", drawn);
    print("metafiles_refused", refused);
    print("metafiles_blank", blank);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), { u"--walk"_s, folder.path() });
    child.waitForFinished(600000);
    return child.exitCode();
}
