// Sheet pictures: decoding for a box, the messages for files that cannot
// be shown, and the cache filled ahead by the worker.

#include "imaging/damaged_jpegs.h"
#include "kit/atlas_fixture.h"

#include "imaging/picture_files.h"
#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

struct Drive {
    Kit kit;
    QTemporaryDir folder;
    Drive() { kit.setDrive(QLatin1Char('D'), folder.path(), true); }
    QString host(const QString& name) const { return folder.path() + QLatin1Char('/') + name; }
    static QString windows(const QString& name) { return u"D:\\"_s + name; }
    bool write(const QString& name, const QByteArray& bytes) const
    {
        return fixture::writeBytes(host(name), bytes);
    }
    bool write(const QString& name, QSize size, QColor colour) const
    {
        return write(name, fixture::encodeJpeg(fixture::sheetImage(size, colour)));
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

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void decodesForTheBox_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("decoded");
        const QImage sheet = fixture::sheetImage({ 4000, 2866 }, QColor(200, 30, 30));
        QTest::newRow("baseline") << fixture::encodeJpeg(sheet) << QSize(500, 360) << QSize(500, 358);
        QTest::newRow("progressive") << fixture::encodeJpeg(sheet, 85, true) << QSize(500, 360)
                                     << QSize(500, 358);
        QTest::newRow("device pixels x2")
            << fixture::encodeJpeg(sheet) << QSize(1000, 720) << QSize(1000, 716);
        // Larger than the box one way only: scaled down all the same.
        QTest::newRow("taller than the box")
            << fixture::encodeJpeg(fixture::sheetImage({ 400, 2000 }, QColor(200, 30, 30))) << QSize(500, 360)
            << QSize(72, 360);
        QTest::newRow("wider than the box")
            << fixture::encodeJpeg(fixture::sheetImage({ 2000, 100 }, QColor(200, 30, 30))) << QSize(500, 360)
            << QSize(500, 25);
        QTest::newRow("smaller than the box")
            << fixture::encodeJpeg(fixture::sheetImage({ 300, 200 }, QColor(200, 30, 30))) << QSize(500, 360)
            << QSize(300, 200);
        QImage grey(800, 600, QImage::Format_Grayscale8);
        grey.fill(100);
        QByteArray greyJpeg;
        QBuffer buffer(&greyJpeg);
        grey.save(&buffer, "JPG");
        QTest::newRow("greyscale") << greyJpeg << QSize(500, 360) << QSize(480, 360);
        QTest::newRow("CMYK") << fixture::encodeCmykJpeg({ 1000, 720 }) << QSize(500, 360) << QSize(500, 360);
    }
    void decodesForTheBox()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QSize, box);
        QFETCH(QSize, decoded);
        Drive d;
        QVERIFY(d.write(u"SHEET.JPG"_s, jpeg));
        const QImage image = platform::decodePicture(u"D:\\SHEET.JPG"_s, d.host(u"SHEET.JPG"_s), box);
        QCOMPARE(image.size(), decoded);
        QCOMPARE(image.format(), QImage::Format_RGB32);
        if (QTest::currentDataTag() != QByteArrayLiteral("greyscale")
            && QTest::currentDataTag() != QByteArrayLiteral("CMYK")) {
            const QColor corner = image.pixelColor(2, 2);
            QVERIFY2(
                corner.red() > 170 && corner.green() < 70 && corner.blue() < 70, qPrintable(corner.name()));
        }
    }

    void filesThatCannotBeShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray good = fixture::encodeJpeg(fixture::sheetImage({ 670, 480 }, Qt::green));
        const QString prefix = u"The picture \"D:\\X.JPG\" cannot be shown: "_s;
        QTest::newRow("empty") << QByteArray() << prefix + u"the file is empty."_s;
        QTest::newRow("text") << QByteArray("no picture") << prefix + u"it is not a JPEG picture."_s;
        QByteArray png;
        QBuffer buffer(&png);
        fixture::sheetImage({ 20, 20 }, Qt::green).save(&buffer, "PNG");
        QTest::newRow("PNG named .JPG") << png << prefix + u"it is not a JPEG picture."_s;
        QTest::newRow("header only") << good.left(300) << prefix + u"the file is damaged"_s;
        // Beyond the decoder's limit too: still our own size limit speaks.
        QTest::newRow("65535 x 65535") << fixture::withDimensions(
            good, 65535, 65535) << prefix + u"its size of 65535 x 65535 pixels is too large to show."_s;
        QTest::newRow("30000 x 30000") << fixture::withDimensions(
            good, 30000, 30000) << prefix + u"its size of 30000 x 30000 pixels is too large to show."_s;
        const QByteArray progressive
            = fixture::encodeJpeg(fixture::sheetImage({ 670, 480 }, Qt::green), 85, true);
        QTest::newRow("progressive 12000 x 12000") << fixture::withDimensions(progressive, 12000,
            12000) << prefix + u"the file is damaged (its header claims 12000 x 12000 pixels"_s;
    }
    void filesThatCannotBeShown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Drive d;
        QVERIFY(d.write(u"X.JPG"_s, bytes));
        platform::PictureStore store;
        QElapsedTimer clock;
        clock.start();
        const QString error = errorOf([&] { store.load(u"D:\\X.JPG"_s, { 500, 360 }); });
        QVERIFY2(error.startsWith(message), qPrintable(error));
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!store.contains(u"D:\\X.JPG"_s, { 500, 360 }));
    }

    // Sizes whose pixel count does not fit in 32 bits, refused before any
    // memory is set aside, by the decoding for a box and by the one for zooming.
    void tooLargeForEveryDecoding_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("50000 x 50000") << QSize(50000, 50000);
        QTest::newRow("65535 x 65535") << QSize(65535, 65535);
    }
    void tooLargeForEveryDecoding()
    {
        QFETCH(QSize, size);
        Drive d;
        const QByteArray good = fixture::encodeJpeg(fixture::sheetImage({ 670, 480 }, Qt::green));
        QVERIFY(d.write(u"BIG.JPG"_s, fixture::withDimensions(good, size.width(), size.height())));
        const QString message
            = u"The picture \"D:\\BIG.JPG\" cannot be shown: its size of %1 x %2 pixels is too large to show."_s
                  .arg(size.width())
                  .arg(size.height());
        const QString host = d.host(u"BIG.JPG"_s);
        QCOMPARE(errorOf([&] { platform::decodePicture(u"D:\\BIG.JPG"_s, host, { 500, 360 }); }), message);
        platform::PictureStore store;
        QCOMPARE(errorOf([&] { store.load(u"D:\\BIG.JPG"_s, { 500, 360 }); }), message);
        QCOMPARE(errorOf([&] { platform::decodeLevels(u"D:\\BIG.JPG"_s, host, { 500, 360 }); }), message);
        platform::FullPictureLoader loader;
        loader.request(u"D:\\BIG.JPG"_s, { 500, 360 });
        QVERIFY(loader.waitForIdle(20000));
        QVERIFY(!loader.picture());
    }

    void filesThatCannotBeOpened()
    {
        Drive d;
        platform::PictureStore store;
        QCOMPARE(errorOf([&] {
            store.load(u"D:\\Maps\\GB-99A.JPG"_s, { 500, 360 });
        }),
            u"Cannot open file \"D:\\Maps\\GB-99A.JPG\". No such file or directory"_s);
        QCOMPARE(errorOf([&] {
            store.load(u"Q:\\Maps\\GB-03H.JPG"_s, { 500, 360 });
        }),
            u"Cannot open file \"Q:\\Maps\\GB-03H.JPG\". The drive does not exist."_s);
    }

    void theCacheFollowsTheFile()
    {
        Drive d;
        QVERIFY(d.write(u"A.JPG"_s, { 670, 480 }, Qt::red));
        platform::PictureStore store;
        const QSize box(500, 360);
        QCOMPARE(store.load(u"D:\\A.JPG"_s, box).pixelColor(3, 3).red() > 200, true);
        QVERIFY(store.contains(u"D:\\A.JPG"_s, box));
        QVERIFY(!store.contains(u"D:\\A.JPG"_s, { 1000, 720 }));

        QVERIFY(d.write(u"A.JPG"_s, { 670, 480 }, Qt::blue));
        QFile file(d.host(u"A.JPG"_s));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(!store.contains(u"D:\\A.JPG"_s, box));
        QCOMPARE(store.load(u"D:\\A.JPG"_s, box).pixelColor(3, 3).blue() > 200, true);

        QVERIFY(QFile::remove(d.host(u"A.JPG"_s)));
        QVERIFY(errorOf([&] { store.load(u"D:\\A.JPG"_s, box); }).startsWith(u"Cannot open file"_s));
    }

    void decodingAheadForgetsFailures()
    {
        Drive d;
        QVERIFY(d.write(u"GOOD.JPG"_s, { 2000, 1433 }, Qt::red));
        QVERIFY(d.write(u"BAD.JPG"_s, QByteArray("\xFF\xD8 not really")));
        platform::PictureStore store;
        const QSize box(500, 360);
        store.decodeAhead(
            { u"D:\\GOOD.JPG"_s, u"D:\\BAD.JPG"_s, u"D:\\MISSING.JPG"_s, u"Q:\\NODRIVE.JPG"_s }, box);
        QVERIFY(store.waitForIdle(10000));
        QVERIFY(store.contains(u"D:\\GOOD.JPG"_s, box));
        QVERIFY(!store.contains(u"D:\\BAD.JPG"_s, box));
        QVERIFY(
            errorOf([&] { store.load(u"D:\\BAD.JPG"_s, box); }).startsWith(u"The picture \"D:\\BAD.JPG\""_s));
        // What was decoded ahead is shown without reading the file again:
        // bytes replaced under the same time and length go unnoticed.
        QFile good(d.host(u"GOOD.JPG"_s));
        const QDateTime written = QFileInfo(good).lastModified();
        QVERIFY(good.open(QIODevice::ReadWrite));
        QVERIFY(good.write(QByteArray(good.size(), '\0')) == good.size());
        QVERIFY(good.flush());
        QVERIFY(good.setFileTime(written, QFileDevice::FileModificationTime));
        good.close();
        QImage shown;
        QCOMPARE(errorOf([&] { shown = store.load(u"D:\\GOOD.JPG"_s, box); }), QString());
        QCOMPARE(shown.size(), QSize(500, 358));
        store.clear();
        QVERIFY(errorOf([&] { store.load(u"D:\\GOOD.JPG"_s, box); }).startsWith(u"The picture"_s));
        QVERIFY(!store.contains(u"D:\\GOOD.JPG"_s, box));
    }

    // Cut short or with stray bytes, as an interrupted copy leaves them:
    // shown as far as they go, and the user is told.
    void damagedFilesAreShownWithAWarning_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QImage picture = samples::grainy({ 800, 600 }, fixture::kRed);
        const QByteArray baseline = samples::encode(picture);
        const QByteArray progressive = samples::encode(picture, { samples::Layout::Progressive });
        const QByteArray separate = samples::encode(picture, { samples::Layout::SeparateScans });
        QTest::newRow("baseline cut short") << baseline.left(baseline.size() * 6 / 10);
        QTest::newRow("progressive cut short") << progressive.left(progressive.size() * 8 / 10);
        QTest::newRow("separate scans cut short")
            << separate.left(separate.size() - 64); // into its last scan
        QTest::newRow("stray bytes before a marker")
            << samples::inserted(baseline, samples::markerAt(baseline, 0xDA), QByteArray::fromHex("0012"));
        QTest::newRow("stray bytes in the data")
            << samples::inserted(baseline, baseline.size() / 2, QByteArray::fromHex("FF12FF34"));
    }
    void damagedFilesAreShownWithAWarning()
    {
        QFETCH(QByteArray, bytes);
        Drive d;
        QVERIFY(d.write(u"CUT.JPG"_s, bytes));
        platform::PictureStore store;
        QString warning;
        const QImage shown = store.load(u"D:\\CUT.JPG"_s, { 500, 360 }, &warning);
        QCOMPARE(shown.size(), QSize(480, 360));
        const QColor top = shown.pixelColor(10, 10);
        QVERIFY2(top.red() > 150 && top.green() < 90, qPrintable(top.name()));
        QVERIFY2(warning.contains(u"\"D:\\CUT.JPG\""_s) && warning.contains(u"damaged or incomplete"_s),
            qPrintable(warning));
        // From the cache, the warning comes again.
        QString again;
        store.load(u"D:\\CUT.JPG"_s, { 500, 360 }, &again);
        QCOMPARE(again, warning);

        const platform::PictureLevels whole
            = platform::decodeLevels(u"D:\\CUT.JPG"_s, d.host(u"CUT.JPG"_s), { 500, 360 });
        QCOMPARE(whole.levels.constFirst().size(), QSize(800, 600));
        QCOMPARE(whole.warning, warning);
    }

    void soundFilesCarryNoWarning()
    {
        Drive d;
        QVERIFY(d.write(u"GOOD.JPG"_s, samples::encode(samples::grainy({ 800, 600 }, fixture::kRed))));
        QString warning = u"left over"_s;
        platform::decodePicture(u"D:\\GOOD.JPG"_s, d.host(u"GOOD.JPG"_s), { 500, 360 }, &warning);
        QCOMPARE(warning, QString());
    }

    // Marker segments the decoder skips run across the file's read buffers
    // (camera makers' notes, embedded previews): the picture after them is
    // the same as without them, and sound.
    void segmentsLongerThanTheReadBufferAreSkipped()
    {
        Drive d;
        const QByteArray plain = samples::encode(samples::grainy({ 800, 600 }, fixture::kRed));
        QByteArray padded = plain;
        for (int i = 0; i < 3; ++i) {
            const QByteArray payload(60000, char('a' + i));
            const int length = int(payload.size()) + 2;
            padded = samples::inserted(
                padded, 2, QByteArray::fromHex("FFEF") + char(length >> 8) + char(length & 0xFF) + payload);
        }
        QVERIFY(d.write(u"PLAIN.JPG"_s, plain));
        QVERIFY(d.write(u"PADDED.JPG"_s, padded));
        QString warning = u"left over"_s;
        const QImage shown
            = platform::decodePicture(u"D:\\PADDED.JPG"_s, d.host(u"PADDED.JPG"_s), { 500, 360 }, &warning);
        QCOMPARE(warning, QString());
        QCOMPARE(shown, platform::decodePicture(u"D:\\PLAIN.JPG"_s, d.host(u"PLAIN.JPG"_s), { 500, 360 }));
    }

    // Files of kinds few programs write: shown when the decoder can, and
    // otherwise named for what they are, not called damaged.
    void unusualFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message"); // empty: shown
        const QImage picture = samples::grainy({ 640, 480 }, fixture::kRed);
        const QByteArray baseline = samples::encode(picture);
        const QString prefix = u"The picture \"D:\\ODD.JPG\" cannot be shown: "_s;
        QTest::newRow("components in separate scans")
            << samples::encode(picture, { samples::Layout::SeparateScans }) << QString();
        QTest::newRow("progressive, stray marker after the start") << samples::inserted(
            samples::encode(picture, { samples::Layout::Progressive }), 2, QByteArray::fromHex("FF01"))
                                                                   << QString();
        QTest::newRow("CMYK 4:2:0") << samples::encode(picture, { samples::Layout::Baseline, true, 2, 2 })
                                    << QString();
        QTest::newRow("CMYK 4:4:0") << samples::encode(picture, { samples::Layout::Baseline, true, 1, 2 })
                                    << QString();
        QTest::newRow("CMYK progressive 4:4:0")
            << samples::encode(picture, { samples::Layout::Progressive, true, 1, 2 }) << QString();
        QTest::newRow("start and end markers only")
            << samples::markersOnly() << prefix + u"the file holds no picture."_s;
        QTest::newRow("0 x 0") << samples::withSize(baseline, 0, 0)
                               << prefix + u"the file holds no picture."_s;
        QTest::newRow("12-bit") << samples::asProcess(baseline, 0xC1,
            12) << prefix + u"it is a 12-bit JPEG, a kind of JPEG this program cannot show."_s;
        QTest::newRow("lossless") << samples::asProcess(baseline, 0xC3, 8)
                                  << prefix
                + u"it is a lossless or hierarchical JPEG, a kind of JPEG this program cannot show."_s;
    }
    void unusualFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Drive d;
        QVERIFY(d.write(u"ODD.JPG"_s, bytes));
        const QString host = d.host(u"ODD.JPG"_s);
        QString warning;
        QImage shown;
        const QString error = errorOf([&] {
            shown = platform::decodePicture(u"D:\\ODD.JPG"_s, host, { 500, 360 }, &warning);
        });
        QCOMPARE(error, message);
        const QString wholeError = errorOf([&] {
            platform::decodeLevels(u"D:\\ODD.JPG"_s, host, { 500, 360 });
        });
        QCOMPARE(wholeError, message);
        if (!message.isEmpty())
            return;
        QCOMPARE(warning, QString());
        QCOMPARE(shown.size(), QSize(480, 360));
        const QColor middle = shown.pixelColor(240, 180);
        QVERIFY2(middle.red() > 150 && middle.green() < 90 && middle.blue() < 90, qPrintable(middle.name()));
    }

    // A header claiming far more picture than the file's bytes can hold is
    // refused at once, before its decoding buffer is allocated.
    void headersThatClaimTooMuch_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QImage picture = samples::grainy({ 1200, 900 }, fixture::kRed);
        const QByteArray separate = samples::encode(picture, { samples::Layout::SeparateScans });
        const QByteArray progressive = samples::encode(picture, { samples::Layout::Progressive });
        QTest::newRow("separate scans, 20000 x 20000") << samples::withSize(separate, 20000, 20000);
        QTest::newRow("progressive cut short, 20000 x 20000")
            << samples::withSize(progressive.left(progressive.size() / 2), 20000, 20000);
        QTest::newRow("progressive, stray marker, 10000 x 10000") << samples::inserted(
            samples::withSize(progressive, 10000, 10000), 2, QByteArray::fromHex("FF01"));
        QTest::newRow("baseline, 15000 x 15000") << samples::withSize(samples::encode(picture), 15000, 15000);
    }
    void headersThatClaimTooMuch()
    {
        QFETCH(QByteArray, bytes);
        Drive d;
        QVERIFY(d.write(u"BIG.JPG"_s, bytes));
        QElapsedTimer clock;
        clock.start();
        const QString prefix
            = u"The picture \"D:\\BIG.JPG\" cannot be shown: the file is damaged (its header claims"_s;
        const QString error = errorOf([&] {
            platform::decodePicture(u"D:\\BIG.JPG"_s, d.host(u"BIG.JPG"_s), { 500, 360 });
        });
        QVERIFY2(error.startsWith(prefix), qPrintable(error));
        const QString wholeError = errorOf([&] {
            platform::decodeLevels(u"D:\\BIG.JPG"_s, d.host(u"BIG.JPG"_s), { 500, 360 });
        });
        QVERIFY2(wholeError.startsWith(prefix), qPrintable(wholeError));
        QVERIFY(clock.elapsed() < 1000);
    }

    // A file of several scans needs a buffer of the whole picture's
    // coefficients, whatever the scale: one decode stays within the memory
    // set aside for it, however the scans are laid out.
    void multiScanFilesStayWithinTheCeiling_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QImage picture = samples::grainy({ 2000, 1500 }, fixture::kRed);
        QTest::newRow("separate scans")
            << samples::encode(picture, { samples::Layout::SeparateScans, false, 1, 1 });
        QTest::newRow("progressive with a stray marker")
            << samples::inserted(samples::encode(picture, { samples::Layout::Progressive, false, 1, 1 }), 2,
                   QByteArray::fromHex("FF01"));
    }
    void multiScanFilesStayWithinTheCeiling()
    {
        QFETCH(QByteArray, bytes);
        Drive d;
        QVERIFY(d.write(u"SCANS.JPG"_s, bytes));
        const QString host = d.host(u"SCANS.JPG"_s);
        // 4:4:4 at 2000 x 1500: 140,625 blocks, 18 MB of coefficients.
        platform::setPictureMemoryCeiling(qint64(12) << 20);
        const QString error = errorOf([&] {
            platform::decodePicture(u"D:\\SCANS.JPG"_s, host, { 500, 360 });
        });
        platform::setPictureMemoryCeiling(qint64(24) << 20);
        QImage shown;
        const QString underError = errorOf([&] {
            shown = platform::decodePicture(u"D:\\SCANS.JPG"_s, host, { 500, 360 });
        });
        platform::setPictureMemoryCeiling(0);
        QCOMPARE(error,
            u"The picture \"D:\\SCANS.JPG\" cannot be shown: its size of 2000 x 1500 pixels is too large to show."_s);
        QCOMPARE(underError, QString());
        QCOMPARE(shown.size(), QSize(480, 360));
    }

    // A progressive photo of 10000 x 10000 whose copy stopped after 2.5 MB:
    // its header passes the bound of blocks against bytes, but its
    // coefficients (600 MB) would be taken for a file that ends before its
    // last scan. Every step that decodes it stays within the damaged-file
    // bound of 300 MB: the box, the whole picture, the attached picture, the
    // tile pyramid.
    void aMultiScanFileCutShortStaysWithinTheDamagedBound_data()
    {
        QTest::addColumn<QString>("step");
        for (const char* step : { "box", "whole", "attached", "pyramid" })
            QTest::newRow(step) << QString::fromLatin1(step);
    }
    void aMultiScanFileCutShortStaysWithinTheDamagedBound()
    {
        QFETCH(QString, step);
        static const QByteArray cut = [] {
            const QImage picture = samples::grainy({ 2400, 1800 }, fixture::kRed);
            const QByteArray whole
                = samples::encode(picture, { samples::Layout::Progressive, false, 1, 1, 97 });
            return samples::withSize(whole, 10000, 10000).left(qsizetype(2500) << 10);
        }();
        QVERIFY2(cut.size() == qsizetype(2500) << 10, qPrintable(QString::number(cut.size())));
        Drive d;
        QVERIFY(d.write(u"CUT.JPG"_s, cut));
        const QString path = u"D:\\CUT.JPG"_s;
        const QString host = d.host(u"CUT.JPG"_s);
        QTemporaryDir cache;
        rusage before {};
        getrusage(RUSAGE_SELF, &before);
        QElapsedTimer clock;
        clock.start();
        const QString error = errorOf([&] {
            if (step == u"box"_s)
                platform::decodePicture(path, host, { 500, 360 });
            else if (step == u"whole"_s)
                platform::decodeLevels(path, host, { 500, 360 });
            else if (step == u"attached"_s)
                platform::loadPictureFile(path, { 313, 255 });
            else {
                platform::TilePyramid::Options options;
                options.folder = cache.path();
                platform::TilePyramid(options).build(path);
            }
        });
        rusage after {};
        getrusage(RUSAGE_SELF, &after);
        const qint64 grownMb = (qint64(after.ru_maxrss) - before.ru_maxrss) >> 10;
        QVERIFY2(grownMb < 300, qPrintable(u"%1 MB"_s.arg(grownMb)));
        QVERIFY2(error.contains(u"\"D:\\CUT.JPG\""_s) && error.contains(u"damaged"_s)
                && error.contains(u"ends before its last scan"_s),
            qPrintable(error));
        QVERIFY(clock.elapsed() < 5000);
    }

    // A scan the full-size decode cannot hold stays as fitted to the
    // window, and the user learns why it does not sharpen.
    void theFullPictureTellsWhenItFails()
    {
        Drive d;
        QVERIFY(d.write(u"HUGE.JPG"_s, samples::encode(samples::grainy({ 3000, 2000 }, fixture::kRed))));
        platform::FullPictureLoader loader;
        QSignalSpy ready(&loader, &platform::FullPictureLoader::ready);
        QSignalSpy failed(&loader, &platform::FullPictureLoader::failed);
        platform::setPictureMemoryCeiling(qint64(8) << 20); // the picture takes 18 MB
        QImage fitted;
        QCOMPARE(errorOf([&] {
            fitted = platform::decodePicture(u"D:\\HUGE.JPG"_s, d.host(u"HUGE.JPG"_s), { 500, 360 });
        }),
            QString());
        loader.request(u"D:\\HUGE.JPG"_s, { 500, 360 });
        QVERIFY(loader.waitForIdle(10000));
        platform::setPictureMemoryCeiling(0);
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(ready.size(), 0);
        const QString message = failed.constFirst().constFirst().toString();
        QCOMPARE(message,
            u"The picture \"D:\\HUGE.JPG\" cannot be shown at full size: its size of 3000 x 2000 pixels is too large to show."_s);
        QVERIFY(!loader.picture());

        QVERIFY(d.write(u"NOT.JPG"_s, QByteArray("not a picture")));
        loader.request(u"D:\\NOT.JPG"_s, { 500, 360 });
        QTRY_COMPARE(failed.size(), 2);
        QVERIFY(failed.constLast().constFirst().toString().contains(u"\"D:\\NOT.JPG\""_s));
    }

    void theCacheIsBounded()
    {
        Drive d;
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            const QString name = u"S%1.JPG"_s.arg(i);
            QVERIFY(d.write(name, { 670, 480 }, QColor(40 * i, 0, 0)));
            paths << Drive::windows(name);
        }
        const QSize box(500, 360);
        const qsizetype onePicture = qsizetype(500) * 358 * 4;
        platform::PictureStore store(3 * onePicture + onePicture / 2);
        store.decodeAhead(paths, box);
        QVERIFY(store.waitForIdle(10000));
        int kept = 0;
        for (const QString& path : std::as_const(paths))
            kept += store.contains(path, box) ? 1 : 0;
        QCOMPARE(kept, 3);
        QVERIFY(store.contains(paths.last(), box));
    }
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
