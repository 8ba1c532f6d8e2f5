// corvane3-fuzz-seeds FOLDER: writes each fuzz target's seed corpus into
// FOLDER/<target>/, made the way the project makes its test files: sheets
// and pictures drawn here and written by Qt and libjpeg-turbo, bitmaps and
// metafiles from the test kit, the metafile helper's own answers to those,
// the original program's tables written through pxlib, and drives.conf as
// the README shows it. Small files: the fuzzer grows them.

#include "legacy_writer.h"
#include "picture_samples.h"

#include "geo/georef_exchange.h"
#include "geo/place_files.h"
#include "imaging/picture_files.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <tuple>

namespace {

QString g_out;

void seed(const char* target, const QByteArray& bytes)
{
    const QString folder = g_out + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(folder);
    const QByteArray name = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    QFile file(folder + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

// An engraving-like sheet: the kit's quadrants with grain and fine lines.
QImage sheet(int width, int height, QImage::Format format)
{
    QImage image = pictures::quadrantImage(width, height);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    for (int x = 0; x < width; x += 5)
        painter.drawLine(x, 0, width - x, height);
    QRandomGenerator grain(7);
    for (int i = 0; i < width * height / 20; ++i)
        image.setPixel(grain.bounded(width), grain.bounded(height), qRgb(40, 30, 20));
    painter.end();
    return image.convertToFormat(format);
}

QByteArray qtJpeg(const QImage& image, int quality, bool progressive, bool optimized)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.setOptimizedWrite(optimized);
    writer.write(image);
    return bytes;
}

// libjpeg-turbo's own writer: the subsamplings scanners use, and CMYK.
QByteArray turboJpeg(const QImage& rgb, int subsampling, bool cmyk)
{
    QImage image = rgb.convertToFormat(QImage::Format_RGBX8888);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int format = cmyk ? TJPF_CMYK : TJPF_RGBX; // CMYK from the RGBX bytes taken as inks
    tjCompress2(tj, image.constBits(), image.width(), int(image.bytesPerLine()), image.height(), format, &out,
        &size, subsampling, 85, 0);
    const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

QList<QByteArray> jpegs()
{
    const QImage rgb = sheet(40, 28, QImage::Format_RGB32);
    return { qtJpeg(rgb, 75, false, false), qtJpeg(rgb, 90, true, false), qtJpeg(rgb, 60, false, true),
        qtJpeg(sheet(24, 17, QImage::Format_Grayscale8), 80, false, false),
        qtJpeg(sheet(130, 70, QImage::Format_RGB32), 50, true, true), turboJpeg(rgb, TJSAMP_444, false),
        turboJpeg(rgb, TJSAMP_420, false), turboJpeg(rgb, TJSAMP_422, false),
        turboJpeg(rgb, TJSAMP_444, true) };
}

QByteArray qtBmp(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter(&buffer, "bmp").write(image);
    return bytes;
}

void pictureSeeds()
{
    const QList<QByteArray> sheets = jpegs();
    for (const QByteArray& jpeg : sheets)
        seed("fuzz_sheet", jpeg);
    for (int orientation = 1; orientation <= 8; ++orientation)
        seed("fuzz_picture", pictures::withOrientation(sheets.at(orientation % sheets.size()), orientation));
    using pictures::Bmp;
    for (Bmp kind : { Bmp::Bits4, Bmp::Bits16, Bmp::Rle8, Bmp::Rle4, Bmp::TopDown24, Bmp::Os2Bits24 })
        seed("fuzz_picture", pictures::bitmapFile(kind, 12, 6));
    const QImage rgb = sheet(13, 7, QImage::Format_RGB32);
    for (QImage::Format format : { QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Indexed8,
             QImage::Format_Mono, QImage::Format_RGB888 })
        seed("fuzz_picture", qtBmp(rgb.convertToFormat(format)));
}

// What the metafile helper answers for the kit's metafiles, prefixed with
// the byte that tells the target which question it was.
QByteArray helper(const QStringList& arguments)
{
    QProcess process;
    process.start(platform::metafileRendererProgram(), arguments);
    process.waitForFinished(60000);
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

void metafileSeeds(const QString& scratch)
{
    const auto answer = [](char kind, const QByteArray& bytes) {
        if (!bytes.isEmpty())
            seed("fuzz_metafile_answer", kind + bytes);
    };
    QList<QByteArray> emfs { pictures::enhancedMetafile(), pictures::enhancedMetafile(30, 20) };
    for (const pictures::MetafileSample& sample : pictures::realWorldEnhancedMetafiles())
        emfs << sample.bytes;
    for (const QByteArray& emf : emfs) {
        const QString path = scratch + QStringLiteral("/drawing.emf");
        QFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(emf) == emf.size() && file.flush())
            answer('\0', helper({ QStringLiteral("emf"), path }));
    }
    QList<QByteArray> wmfs { pictures::windowsMetafile(), pictures::windowsMetafile(72, 60, 40) };
    for (const pictures::MetafileSample& sample : pictures::realWorldWindowsMetafiles())
        wmfs << sample.bytes;
    for (const QByteArray& wmf : wmfs) {
        const QString path = scratch + QStringLiteral("/drawing.wmf");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(wmf) != wmf.size() || !file.flush())
            continue;
        answer('\1', helper({ QStringLiteral("wmf"), path, QStringLiteral("24"), QStringLiteral("18") }));
        answer('\2', helper({ QStringLiteral("wmf-size"), path }));
    }
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The three files in one input, as fuzz_legacy_tables splits them.
void tableSeed(const QString& folder)
{
    const QByteArray separator("\n--corvane3-fuzz-next-file--\n");
    seed("fuzz_legacy_tables",
        readAll(folder + QStringLiteral("/DESCRIP.DB")) + separator
            + readAll(folder + QStringLiteral("/DESCRIP.MB")) + separator
            + readAll(folder + QStringLiteral("/PIX.DB")));
}

void tableSeeds(const QString& scratch)
{
    using legacyfix::Row;
    using legacyfix::Value;
    const QByteArray longMemo = QByteArray("Stra\xdf"
                                           "e nach M\xfcnchen. ")
                                    .repeated(40);
    const QList<QList<Row>> places {
        { Row { 1, "Aberdeen", "12", "A3", "Granite city" } },
        { Row { 1, "Bath", "3", "C4", longMemo }, Row { Value::none(), "Cork", Value::none(), "B2", "" },
            Row { -7, "D\xfcn Laoghaire", "44", "", "short" } },
    };
    const QList<QList<Row>> pix {
        { Row { "000001", 1, "The harbour", ".JPG" } },
        { Row { "000002", 1, "A drawing", ".WMF" }, Row { "../x", 2, "", ".BMP" },
            Row { "000003", Value::none(), "Caf\xe9", ".jpeg" } },
    };
    for (int i = 0; i < places.size(); ++i) {
        const QString folder = scratch + QStringLiteral("/tables%1").arg(i);
        QDir().mkpath(folder);
        if (legacyfix::writeDescrip(folder, places[i]) && legacyfix::writePix(folder, pix[i]))
            tableSeed(folder);
    }
}

void pathSeeds()
{
    const QByteArray readme = "# the original atlas CD, mounted\nD: = /media/cdrom (read-only)\n"
                              "A: = ~/STICK\nB: =\nalias Corvane3 = E:\\Corvane\\Data\\\nE: = ~/e\n";
    const QList<QByteArray> paths { "C:\\Program Files\\Quillmere\\Corvane3\\Pix\\000001.JPG",
        "C:\\Program Files\\..\\..\\etc", "C:\\PROGRAM FILES\\quillmere\\Corvane3\\Pix\\Up\\x.db",
        "C:\\Program Files\\Quillmere\\Corvane3\\Pix\\Away\\000002.BMP", "C:\\Out\\new.txt",
        "D:\\Maps\\Elsewhere\\SHEET.JPG", "A:\\CORVANE3.SET", "000001.jpg", "123456.JPEG", "/etc/hosts",
        "E:\\Corvane\\Data\\", "C:\\Program Files\\Quillmere\\Corvane3\\Pix\\Nowhere" };
    seed("fuzz_paths", readme + '\x1d' + paths.join('\x1e'));
    seed("fuzz_paths",
        QByteArray("C: = /\nA: = ~\nalias corvane3 = A:\\..\\x\n") + '\x1d' + paths.mid(0, 4).join('\x1e'));
    seed("fuzz_paths",
        QByteArray("D: =\nQ: = /tmp (read-only)\nno equals\n5: = x\n") + '\x1d' + paths.mid(5).join('\x1e'));
}

} // namespace

// Searches as users type them, and coordinates as they are typed or stored
// (the first byte chooses latitude or longitude).
void textSeeds()
{
    for (const char* typed : { "kilb", "K\xc3\xb6ln strasse", "\"lower kilbarry\" mill",
             "o'brien -x* (a OR b)", "NEAR(mill kil, 2) \"unbalanced" })
        seed("fuzz_find_query", typed);
    for (const char* typed : { "\x00"
                               "51.50700",
             "\x01"
             "-0.12800",
             "\x00"
             "51\xc2\xb0"
             "30'25.2\"N",
             "\x01"
             "W 0 7 40.8",
             "\x00"
             "-90",
             "\x01"
             "180.0000001" })
        seed("fuzz_coordinates", QByteArray(typed, qsizetype(std::strlen(typed + 1) + 1)));
}

// Places as the program exports them and as users keep them in CSV, and a
// sheet's control points in both exchange forms. The first byte chooses the
// kind: 0 CSV, 1 GPX, 2 GeoJSON, 3 annotation, 4 .points, 5 KML (plus 6 for
// places to be exported again as GPX, 12 as KML).
void geodataSeeds(const QString& scratch)
{
    using platform::PlaceFormat;
    const QList<platform::GeoPlace> places { { QStringLiteral("Kilbride"), QStringLiteral("mill & ford"),
                                                 { -6.1234567, 53.0012345 }, QStringLiteral("IRL 12") },
        { QStringLiteral("K\u00f6nigsberg <old>"), {}, { 20.5, 54.71 }, {} } };
    const std::tuple<PlaceFormat, char, const char*> written[] { { PlaceFormat::Gpx, 1, "/places.gpx" },
        { PlaceFormat::GeoJson, 8, "/places.geojson" }, { PlaceFormat::Kml, 5 + 6, "/places.kml" } };
    for (const auto& [format, kind, name] : written) {
        const QString path = scratch + QLatin1String(name);
        platform::writePlaceFile(path, format, places);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            std::exit(1);
        }
        seed("fuzz_geodata", kind + file.readAll());
    }
    seed("fuzz_geodata",
        char(0)
            + QByteArray("name,latitude,longitude,description\n"
                         "Kilbride,53.0012345,-6.1234567,\"mill, ford\"\n"
                         "Cork,\"51\xc2\xb0 53' 50\"\" N\",W 8 28 12,\n"));
    seed("fuzz_geodata", QByteArray("\x0cPlace;Lat;Lng\r\nA;1;2\r\n;3;4\r\nB;x;5\r\n"));
    platform::ExchangedPoints points { { { { 120, 80 }, { -6.2, 53.4 } }, { { 6800, 90 }, { -5.1, 53.5 } },
                                           { { 200, 4900 }, { -6.3, 52.1 } },
                                           { { 6900, 4950 }, { -5.0, 52.0 } } },
        platform::GeoTransform::Affine };
    seed("fuzz_geodata",
        '\x03'
            + platform::georeferenceAnnotation(
                QStringLiteral("file:///D:/Maps/IRL12.JPG"), { 7000, 5000 }, points));
    seed("fuzz_geodata", '\x04' + platform::pointsFile(points));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane3-fuzz-seeds FOLDER\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir scratch;
    pictureSeeds();
    metafileSeeds(scratch.path());
    tableSeeds(scratch.path());
    pathSeeds();
    textSeeds();
    geodataSeeds(scratch.path());
    return 0;
}
