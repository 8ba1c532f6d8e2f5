// Attached pictures of every kind: which names are accepted, each kind
// decoded for a box in the right colours and orientation, the messages for
// files that cannot be shown, and the store's decoding ahead.

#include "kit/atlas_fixture.h"
#include "kit/picture_samples.h"
#include "tool_metafiles.h"

#include "imaging/picture_files.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Drive {
    Kit kit;
    QTemporaryDir folder;
    Drive() { kit.setDrive(QLatin1Char('D'), folder.path(), true); }
    QString host(const QString& name) const { return folder.path() + QLatin1Char('/') + name; }
    bool write(const QString& name, const QByteArray& bytes) const
    {
        return fixture::writeBytes(host(name), bytes);
    }
};

QString errorOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const platform::AppError& e) {
        return e.message();
    }
    return {};
}

// Whether a pixel shows the colour, give or take what compression and
// scaling do to it.
bool looksLike(const QImage& image, QPointF where, QColor colour)
{
    const QColor c
        = image.pixelColor(int(where.x() * (image.width() - 1)), int(where.y() * (image.height() - 1)));
    return std::abs(c.red() - colour.red()) < 48 && std::abs(c.green() - colour.green()) < 48
        && std::abs(c.blue() - colour.blue()) < 48;
}

// The share of pixels near colour in area (fractions of the picture).
double shareOf(const QImage& image, QRectF area, QColor colour)
{
    const QRect pixels(int(area.x() * image.width()), int(area.y() * image.height()),
        std::max(1, int(area.width() * image.width())), std::max(1, int(area.height() * image.height())));
    int near = 0;
    int all = 0;
    for (int y = pixels.top(); y <= pixels.bottom() && y < image.height(); ++y)
        for (int x = pixels.left(); x <= pixels.right() && x < image.width(); ++x, ++all) {
            const QColor c = image.pixelColor(x, y);
            near += std::abs(c.red() - colour.red()) < 60 && std::abs(c.green() - colour.green()) < 60
                && std::abs(c.blue() - colour.blue()) < 60;
        }
    return all ? double(near) / all : 0;
}

QByteArray jpegOf(const QImage& image)
{
    return fixture::encodeJpeg(image, 92);
}

QByteArray qtWritten(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, format);
    return bytes;
}

using Points = QList<std::pair<QPointF, QColor>>;

// The Windows metafile of the samples with `count` more rectangles, which
// keep the helper busy for a moment.
QByteArray busyMetafile(int count)
{
    QByteArray wmf = pictures::windowsMetafile();
    QByteArray rectangles;
    for (int i = 0; i < count; ++i) {
        pictures::put32(rectangles, 7);
        pictures::put16(rectangles, 0x041B);
        for (int v : { 300 - i % 150, 400 - i % 200, i % 150, i % 200 })
            pictures::put16(rectangles, quint16(v));
    }
    wmf.insert(wmf.size() - 6, rectangles); // before the end-of-file record
    const qsizetype words = (wmf.size() - 22) / 2; // without the placeable header
    qToLittleEndian(quint32(words), wmf.data() + 22 + 6);
    return wmf;
}

// The soft limits ("Max address space", "Max cpu time") of this process's
// child running `program`, read from /proc while it runs; empty when no
// such child was seen before `done` turned true.
QHash<QString, QString> childLimits(const QString& program, const std::atomic<bool>& done)
{
    const QString self = QString::number(::getpid());
    const QString comm = program.left(15); // the kernel keeps 15 characters
    while (!done) {
        const QStringList pids = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& pid : pids) {
            QFile stat(u"/proc/%1/stat"_s.arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QString line = QString::fromLocal8Bit(stat.readAll());
            const qsizetype close = line.lastIndexOf(u')');
            const QString name = line.mid(line.indexOf(u'(') + 1, close - line.indexOf(u'(') - 1);
            if (name != comm || line.mid(close + 2).section(u' ', 1, 1) != self)
                continue;
            QFile limits(u"/proc/%1/limits"_s.arg(pid));
            if (!limits.open(QIODevice::ReadOnly))
                continue;
            QHash<QString, QString> values;
            for (const QByteArray& row : limits.readAll().split('\n')) {
                const QString text = QString::fromLocal8Bit(row);
                values.insert(
                    text.left(26).trimmed(), text.mid(26).section(u' ', 0, 0, QString::SectionSkipEmpty));
            }
            return values;
        }
        QThread::msleep(1);
    }
    return {};
}

} // namespace

class TestPictureFiles : public QObject {
    Q_OBJECT

private slots:
    void acceptedTypes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("bmp") << u"C:\\photos\\view.bmp"_s << u".BMP"_s;
        QTest::newRow("Bmp") << u"view.Bmp"_s << u".BMP"_s;
        QTest::newRow("JPG") << u"C:\\photos\\church.JPG"_s << u".JPG"_s;
        QTest::newRow("jPg") << u"church.jPg"_s << u".JPG"_s;
        QTest::newRow("jpeg") << u"view.jpeg"_s << u".JPEG"_s;
        QTest::newRow("JPEG") << u"view.JPEG"_s << u".JPEG"_s;
        QTest::newRow("Jpeg") << u"view.Jpeg"_s << QString();
        QTest::newRow("jPEG") << u"view.jPEG"_s << QString();
        QTest::newRow("wmf") << u"/home/u/clip.wmf"_s << u".WMF"_s;
        QTest::newRow("Emf") << u"clip.Emf"_s << u".EMF"_s;
        QTest::newRow("gif") << u"view.gif"_s << QString();
        QTest::newRow("ico") << u"view.ico"_s << QString();
        QTest::newRow("png") << u"view.png"_s << QString();
        QTest::newRow("no extension") << u"view"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void acceptedTypes()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        QCOMPARE(platform::attachableType(name), type);
    }

    void everyKindIsShown_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<Points>("points");
        using namespace pictures;
        const Points quadrants { { { 0.1, 0.1 }, kGreen }, { { 0.1, 0.9 }, kRed }, { { 0.9, 0.5 }, kBlue } };
        const QImage photo = quadrantImage(400, 300);
        QTest::newRow("JPG") << u"A.JPG"_s << jpegOf(photo) << QSize(313, 255) << QSize(313, 235)
                             << quadrants;
        QTest::newRow("JPEG smaller than the box")
            << u"A.JPEG"_s << jpegOf(photo) << QSize(800, 600) << QSize(400, 300) << quadrants;
        // Turned a quarter clockwise: the left half comes on top.
        const QImage halves = quadrantImage(200, 100);
        QTest::newRow("EXIF rotated")
            << u"R.JPG"_s << withOrientation(jpegOf(halves), 6) << QSize(313, 255) << QSize(100, 200)
            << Points { { { 0.9, 0.1 }, kGreen }, { { 0.1, 0.1 }, kRed }, { { 0.5, 0.9 }, kBlue } };
        QTest::newRow("EXIF rotated, scaled")
            << u"R.JPG"_s << withOrientation(jpegOf(quadrantImage(800, 400)), 6) << QSize(313, 255)
            << QSize(127, 255) << Points { { { 0.9, 0.1 }, kGreen }, { { 0.5, 0.9 }, kBlue } };
        // Cyan 200 of 255 in inverted inks, as prepress programs write it.
        QTest::newRow("CMYK JPEG") << u"K.JPG"_s
                                   << fixture::encodeCmykJpeg({ 400, 300 }, { 55, 255, 255, 255 })
                                   << QSize(313, 255) << QSize(313, 235)
                                   << Points { { { 0.5, 0.5 }, QColor(55, 255, 255) } };
        QImage grey(400, 300, QImage::Format_Grayscale8);
        grey.fill(100);
        QTest::newRow("grey JPEG") << u"G.JPG"_s << qtWritten(grey, "JPG") << QSize(313, 255)
                                   << QSize(313, 235) << Points { { { 0.5, 0.5 }, QColor(100, 100, 100) } };
        QTest::newRow("BMP 24 bits") << u"B.BMP"_s << qtWritten(photo, "BMP") << QSize(313, 255)
                                     << QSize(313, 235) << quadrants;
        QTest::newRow("BMP 32 bits") << u"B.BMP"_s
                                     << qtWritten(photo.convertToFormat(QImage::Format_ARGB32), "BMP")
                                     << QSize(800, 600) << QSize(400, 300) << quadrants;
        QTest::newRow("BMP 8 bits") << u"B.BMP"_s
                                    << qtWritten(photo.convertToFormat(QImage::Format_Indexed8), "BMP")
                                    << QSize(800, 600) << QSize(400, 300) << quadrants;
        QImage mono = photo.convertToFormat(QImage::Format_Mono, { qRgb(0, 0, 0), qRgb(255, 255, 255) });
        mono.fill(1);
        QTest::newRow("BMP 1 bit") << u"B.BMP"_s << qtWritten(mono, "BMP") << QSize(800, 600)
                                   << QSize(400, 300) << Points { { { 0.5, 0.5 }, Qt::white } };
        const std::pair<const char*, Bmp> crafted[] = { { "BMP 4 bits", Bmp::Bits4 },
            { "BMP 16 bits", Bmp::Bits16 }, { "BMP RLE8", Bmp::Rle8 }, { "BMP RLE4", Bmp::Rle4 },
            { "BMP top-down", Bmp::TopDown24 }, { "BMP OS/2", Bmp::Os2Bits24 } };
        for (const auto& [tag, kind] : crafted)
            QTest::newRow(tag) << u"b.bmp"_s << bitmapFile(kind, 64, 48) << QSize(313, 255) << QSize(64, 48)
                               << quadrants;
        const Points drawing { { { 0.1, 0.1 }, kRed }, { { 0.9, 0.9 }, kBlue }, { { 0.9, 0.1 }, kRed } };
        QTest::newRow("WMF") << u"M.WMF"_s << windowsMetafile() << QSize(313, 255) << QSize(313, 235)
                             << drawing;
        QTest::newRow("WMF at 1440 an inch") << u"M.WMF"_s << windowsMetafile(1440, 2880, 1440)
                                             << QSize(800, 600) << QSize(192, 96) << drawing;
        QTest::newRow("EMF") << u"E.EMF"_s << enhancedMetafile() << QSize(313, 255) << QSize(313, 234)
                             << drawing;
    }
    void everyKindIsShown()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, box);
        QFETCH(QSize, shown);
        QFETCH(Points, points);
        Drive d;
        QVERIFY(d.write(name, bytes));
        QString warning = u"stale"_s;
        const QImage image = platform::loadPictureFile(u"D:\\"_s + name, box, &warning);
        QVERIFY2(warning.isEmpty(), qPrintable(warning));
        QVERIFY2(qAbs(image.width() - shown.width()) <= 1 && qAbs(image.height() - shown.height()) <= 1,
            qPrintable(u"%1 x %2"_s.arg(image.width()).arg(image.height())));
        for (const auto& [where, colour] : points)
            QVERIFY2(looksLike(image, where, colour),
                qPrintable(u"at %1,%2: %3"_s.arg(where.x()).arg(where.y()).arg(
                    image
                        .pixelColor(
                            int(where.x() * (image.width() - 1)), int(where.y() * (image.height() - 1)))
                        .name())));
    }

    void filesThatCannotBeShown_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("cause");
        using namespace pictures;
        const QByteArray jpeg = jpegOf(quadrantImage(400, 300));
        const QByteArray bmp = bitmapFile(Bmp::TopDown24, 64, 48);
        for (const char* name : { "E.JPG", "E.BMP", "E.WMF", "E.EMF" })
            QTest::newRow(name) << QString::fromLatin1(name) << QByteArray() << u"the file is empty"_s;
        QTest::newRow("JPEG cut short") << u"C.JPG"_s << jpeg.left(200) << u"damaged"_s;
        // Whole to its end, but a table in the middle of its first scan is
        // bogus: the message tells of damage, not of an end that is there.
        const QByteArray progressive = fixture::encodeJpeg(quadrantImage(400, 300), 92, true);
        const qsizetype scan = progressive.indexOf("\xFF\xDA", 2);
        QByteArray broken = progressive;
        broken.insert(scan + 40, QByteArray("\xFF\xC4\x00\x03\x00", 5));
        QTest::newRow("JPEG with a bogus table inside, whole to its end")
            << u"T.JPG"_s << broken << u"its picture data is damaged"_s;
        QTest::newRow("JPEG 30000 x 30000") << u"H.JPG"_s << fixture::withDimensions(jpeg, 30000, 30000)
                                            << u"30000 x 30000 pixels is too large"_s;
        QByteArray huge = bmp;
        qToLittleEndian<qint32>(65535, huge.data() + 18);
        qToLittleEndian<qint32>(65535, huge.data() + 22);
        QTest::newRow("BMP 65535 x 65535") << u"H.BMP"_s << huge << u"65535 x 65535 pixels is too large"_s;
        QTest::newRow("BMP header only") << u"C.BMP"_s << bmp.left(20) << u"damaged"_s;
        // 65536 x 16384 x 4 bytes is 2^32: a size that wraps to nothing in 32 bits.
        QByteArray wraps = bmp;
        qToLittleEndian<qint32>(65536, wraps.data() + 18);
        qToLittleEndian<qint32>(16384, wraps.data() + 22);
        QTest::newRow("BMP size wrapping 32 bits")
            << u"W.BMP"_s << wraps << u"65536 x 16384 pixels is too large"_s;
        // Valid kinds Qt does not read are named, not called damaged.
        const auto variant = [&bmp](quint32 infoSize, quint16 bits, quint32 compression) {
            QByteArray b = bmp;
            qToLittleEndian<quint32>(infoSize, b.data() + 14);
            qToLittleEndian<quint16>(bits, b.data() + 28);
            qToLittleEndian<quint32>(compression, b.data() + 30);
            return b;
        };
        const QString cannot = u"a kind of BMP this program cannot show"_s;
        QTest::newRow("BMP 2 bits") << u"K.BMP"_s << variant(40, 2, 0) << u"2 bits a pixel, "_s + cannot;
        QTest::newRow("BMP with JPEG inside")
            << u"K.BMP"_s << variant(40, 0, 4) << u"JPEG picture inside, "_s + cannot;
        QTest::newRow("BMP with PNG inside")
            << u"K.BMP"_s << variant(108, 0, 5) << u"PNG picture inside, "_s + cannot;
        QTest::newRow("BMP V3 with masks")
            << u"K.BMP"_s << variant(56, 32, 3) << u"colour masks, "_s + cannot;
        QTest::newRow("BMP Huffman") << u"K.BMP"_s << variant(64, 1, 3) << u"Huffman coding, "_s + cannot;
        QTest::newRow("BMP RLE24") << u"K.BMP"_s << variant(64, 24, 4) << u"24-bit run lengths, "_s + cannot;
        QByteArray noInfo = bmp;
        qToLittleEndian<quint32>(7, noInfo.data() + 14);
        QTest::newRow("BMP unknown header") << u"U.BMP"_s << noInfo << u"damaged"_s;
        QTest::newRow("JPEG named .BMP") << u"J.BMP"_s << jpeg << u"not a BMP picture"_s;
        QTest::newRow("BMP named .JPG") << u"B.JPG"_s << bmp << u"not a JPEG picture"_s;
        QTest::newRow("PNG named .WMF")
            << u"P.WMF"_s << qtWritten(quadrantImage(20, 20), "PNG") << u"not a Windows metafile"_s;
        QTest::newRow("WMF named .EMF") << u"W.EMF"_s << windowsMetafile() << u"not an enhanced metafile"_s;
        QTest::newRow("EMF named .WMF") << u"E.WMF"_s << enhancedMetafile() << u"not a Windows metafile"_s;
        QTest::newRow("WMF header only") << u"C.WMF"_s << windowsMetafile().left(40) << u"damaged"_s;
        QByteArray scrambled = enhancedMetafile();
        for (int i = 88; i < scrambled.size(); ++i)
            scrambled[i] = char(0xA5 ^ i);
        QTest::newRow("EMF records scrambled") << u"S.EMF"_s << scrambled << u"damaged"_s;
        QTest::newRow("GIF") << u"G.GIF"_s << qtWritten(quadrantImage(20, 20), "PNG")
                             << u"not a kind of picture"_s;
    }
    void filesThatCannotBeShown()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        Drive d;
        QVERIFY(d.write(name, bytes));
        const QString path = u"D:\\"_s + name;
        QElapsedTimer clock;
        clock.start();
        const QString error = errorOf([&] { platform::loadPictureFile(path, { 313, 255 }); });
        QVERIFY2(error.startsWith(u"The picture \"%1\" cannot be shown: "_s.arg(path)), qPrintable(error));
        QVERIFY2(error.contains(cause), qPrintable(error));
        QVERIFY(clock.elapsed() < 5000);
    }

    // Drawings like those users attach: each drawn, with its fills, outlines,
    // hatches, bitmaps and accented text where the drawing puts them.
    void metafilesAsDrawn_data()
    {
        QTest::addColumn<pictures::MetafileSample>("sample");
        for (const pictures::MetafileSample& sample : pictures::realWorldWindowsMetafiles()
                + pictures::toolWrittenMetafiles() + pictures::realWorldEnhancedMetafiles())
            QTest::newRow(qPrintable(sample.name)) << sample;
    }
    void metafilesAsDrawn()
    {
        QFETCH(pictures::MetafileSample, sample);
        Drive d;
        QVERIFY(d.write(sample.name, sample.bytes));
        const QString path = u"D:\\"_s + sample.name;
        QString error;
        QImage image;
        error = errorOf([&] { image = platform::loadPictureFile(path, { 400, 300 }); });
        if (!sample.drawable) {
            QVERIFY2(error.contains(u"cannot be shown"_s) && error.contains(u"drawn"_s), qPrintable(error));
            return;
        }
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(qAbs(image.width() - 400) <= 1 && qAbs(image.height() - 300) <= 1,
            qPrintable(u"%1 x %2"_s.arg(image.width()).arg(image.height())));
        for (const pictures::Probe& probe : sample.probes) {
            const double share = shareOf(image, probe.area, probe.colour);
            QVERIFY2(share >= probe.least && share <= probe.most,
                qPrintable(u"%1 in (%2, %3, %4, %5): %6"_s.arg(probe.colour.name())
                               .arg(probe.area.x())
                               .arg(probe.area.y())
                               .arg(probe.area.width())
                               .arg(probe.area.height())
                               .arg(share)));
        }
    }

    // A JPEG of a few pixels keeps its own size and content: it is never
    // decoded at a reduced scale and stretched back.
    void tinyJpegsAreNotSqueezed_data()
    {
        QTest::addColumn<QSize>("size");
        for (const QSize size :
            { QSize(1, 1), QSize(3, 3), QSize(5, 4), QSize(7, 7), QSize(7, 2), QSize(6, 7) })
            QTest::newRow(qPrintable(u"%1 x %2"_s.arg(size.width()).arg(size.height()))) << size;
    }
    void tinyJpegsAreNotSqueezed()
    {
        QFETCH(QSize, size);
        QImage pattern(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                pattern.setPixelColor(x, y, x % 2 ? QColor(Qt::white) : QColor(Qt::black));
        const QByteArray bytes = fixture::encodeJpeg(pattern, 100);
        Drive d;
        QVERIFY(d.write(u"T.JPG"_s, bytes));
        const QImage shown = platform::loadPictureFile(u"D:\\T.JPG"_s, { 313, 255 });
        const QImage whole = QImage::fromData(bytes, "JPG").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), size);
        int worst = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                worst = std::max(worst, std::abs(qGray(shown.pixel(x, y)) - qGray(whole.pixel(x, y))));
        QVERIFY2(worst < 40, qPrintable(QString::number(worst)));
    }

    void missingFile()
    {
        Drive d;
        QCOMPARE(errorOf([] {
            platform::loadPictureFile(u"D:\\Pix\\000009.WMF"_s, { 313, 255 });
        }),
            u"Cannot open file \"D:\\Pix\\000009.WMF\". No such file or directory"_s);
    }

    // A bitmap cut short shows what it holds and says it is incomplete.
    void bitmapCutShort()
    {
        Drive d;
        const QByteArray bmp = pictures::bitmapFile(pictures::Bmp::TopDown24, 64, 48);
        QVERIFY(d.write(u"C.BMP"_s, bmp.left(bmp.size() - 64 * 3 * 10)));
        QString warning;
        const QString error = errorOf([&] {
            platform::loadPictureFile(u"D:\\C.BMP"_s, { 313, 255 }, &warning);
        });
        QVERIFY2(
            !error.isEmpty() || warning.contains(u"damaged or incomplete"_s), qPrintable(error + warning));
        QVERIFY2(error.isEmpty() || error.contains(u"damaged"_s), qPrintable(error));
    }

    void naturalSizes()
    {
        Drive d;
        QVERIFY(d.write(u"R.JPG"_s, pictures::withOrientation(jpegOf(pictures::quadrantImage(200, 100)), 6)));
        QVERIFY(d.write(u"B.BMP"_s, pictures::bitmapFile(pictures::Bmp::Os2Bits24, 64, 48)));
        QVERIFY(d.write(u"M.WMF"_s, pictures::windowsMetafile(1440, 2880, 1440)));
        QCOMPARE(platform::pictureFileSize(u"D:\\R.JPG"_s), QSize(100, 200));
        QCOMPARE(platform::pictureFileSize(u"D:\\B.BMP"_s), QSize(64, 48));
        // An OS/2 header's height below zero means rows stored top-down.
        QByteArray topDown = pictures::bitmapFile(pictures::Bmp::Os2Bits24, 64, 48);
        topDown[20] = char(0xD0); // -48
        topDown[21] = char(0xFF);
        QVERIFY(d.write(u"T.BMP"_s, topDown));
        QCOMPARE(platform::pictureFileSize(u"D:\\T.BMP"_s), QSize(64, 48));
        QCOMPARE(platform::loadPictureFile(u"D:\\T.BMP"_s, { 64, 48 }).size(), QSize(64, 48));
        QCOMPARE(platform::pictureFileSize(u"D:\\M.WMF"_s), QSize(192, 96));
        QVERIFY(d.write(u"E.EMF"_s, QByteArray()));
        QVERIFY(!platform::pictureFileSize(u"D:\\E.EMF"_s).isValid());
        QVERIFY(!platform::pictureFileSize(u"D:\\NONE.JPG"_s).isValid());
    }

    void storeDecodesEveryKindAhead()
    {
        Drive d;
        QVERIFY(d.write(u"A.WMF"_s, pictures::windowsMetafile()));
        QVERIFY(d.write(u"B.BMP"_s, pictures::bitmapFile(pictures::Bmp::Rle8, 64, 48)));
        QVERIFY(d.write(u"C.JPG"_s, pictures::withOrientation(jpegOf(pictures::quadrantImage(200, 100)), 6)));
        QVERIFY(d.write(u"D.EMF"_s, QByteArray("damaged")));
        platform::AttachedPictureStore store;
        const QSize box(313, 255);
        const QStringList paths { u"D:\\A.WMF"_s, u"D:\\B.BMP"_s, u"D:\\C.JPG"_s, u"D:\\D.EMF"_s };
        store.decodeAhead(paths, box);
        QVERIFY(store.waitForIdle(20000));
        for (int i = 0; i < 3; ++i)
            QVERIFY2(store.contains(paths[i], box), qPrintable(paths[i]));
        QVERIFY(!store.contains(paths[3], box));
        QCOMPARE(store.load(u"D:\\C.JPG"_s, box).size(), QSize(100, 200));
        QVERIFY(errorOf([&] { store.load(paths[3], box); }).contains(u"D:\\D.EMF"_s));
    }

    // The metafile helper draws under its own ceilings on memory and
    // processor time: a drawing needing more is stopped there, however
    // much the machine would give.
    void theMetafileHelperRunsWithinItsLimits()
    {
        Drive d;
        QVERIFY(d.write(u"M.WMF"_s, busyMetafile(6000)));
        std::atomic<bool> done { false };
        QHash<QString, QString> limits;
        std::thread watcher(
            [&] { limits = childLimits(QFileInfo(platform::metafileRendererProgram()).fileName(), done); });
        QImage drawn;
        const QString error = errorOf([&] {
            drawn = platform::loadPictureFile(u"D:\\M.WMF"_s, { 313, 255 });
        });
        done = true;
        watcher.join();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!drawn.isNull());
        QVERIFY2(!limits.isEmpty(), "the helper was not seen running");
        const qint64 memory = limits.value(u"Max address space"_s).toLongLong();
        const qint64 cpu = limits.value(u"Max cpu time"_s).toLongLong();
        QVERIFY2(memory > 0 && memory <= qint64(2) << 30, qPrintable(limits.value(u"Max address space"_s)));
        QVERIFY2(cpu > 0 && cpu <= 60, qPrintable(limits.value(u"Max cpu time"_s)));
    }
};

QTEST_MAIN(TestPictureFiles)
#include "test_picture_files.moc"
