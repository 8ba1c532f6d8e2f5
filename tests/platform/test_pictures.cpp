// Sheet pictures: decoding for a box, the messages for files that cannot
// be shown, and the cache filled ahead by the worker.

#include "kit/atlas_fixture.h"

#include "platform/errors.h"
#include "platform/pictures.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

struct Drive {
    Kit kit;
    QTemporaryDir folder;
    Drive() { kit.setDrive(QLatin1Char('D'), folder.path(), true); }
    QString host(const QString& name) const { return folder.path() + QLatin1Char('/') + name; }
    static QString windows(const QString& name) { return u"D:\\"_s + name; }
    bool write(const QString& name, const QByteArray& bytes) const { return fixture::writeBytes(host(name), bytes); }
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
        const QImage sheet = fixture::sheetImage({4000, 2866}, QColor(200, 30, 30));
        QTest::newRow("baseline") << fixture::encodeJpeg(sheet) << QSize(500, 360) << QSize(500, 358);
        QTest::newRow("progressive") << fixture::encodeJpeg(sheet, 85, true) << QSize(500, 360) << QSize(500, 358);
        QTest::newRow("device pixels x2") << fixture::encodeJpeg(sheet) << QSize(1000, 720) << QSize(1000, 716);
        // Larger than the box one way only: scaled down all the same.
        QTest::newRow("taller than the box")
            << fixture::encodeJpeg(fixture::sheetImage({400, 2000}, QColor(200, 30, 30))) << QSize(500, 360)
            << QSize(72, 360);
        QTest::newRow("wider than the box")
            << fixture::encodeJpeg(fixture::sheetImage({2000, 100}, QColor(200, 30, 30))) << QSize(500, 360)
            << QSize(500, 25);
        QTest::newRow("smaller than the box")
            << fixture::encodeJpeg(fixture::sheetImage({300, 200}, QColor(200, 30, 30))) << QSize(500, 360)
            << QSize(300, 200);
        QImage grey(800, 600, QImage::Format_Grayscale8);
        grey.fill(100);
        QByteArray greyJpeg;
        QBuffer buffer(&greyJpeg);
        grey.save(&buffer, "JPG");
        QTest::newRow("greyscale") << greyJpeg << QSize(500, 360) << QSize(480, 360);
        QTest::newRow("CMYK") << fixture::encodeCmykJpeg({1000, 720}) << QSize(500, 360) << QSize(500, 360);
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
        if (QTest::currentDataTag() != QByteArrayLiteral("greyscale") && QTest::currentDataTag() != QByteArrayLiteral("CMYK")) {
            const QColor corner = image.pixelColor(2, 2);
            QVERIFY2(corner.red() > 170 && corner.green() < 70 && corner.blue() < 70, qPrintable(corner.name()));
        }
    }

    void filesThatCannotBeShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray good = fixture::encodeJpeg(fixture::sheetImage({670, 480}, Qt::green));
        const QString prefix = u"The picture \"D:\\X.JPG\" cannot be shown: "_s;
        QTest::newRow("empty") << QByteArray() << prefix + u"the file is empty."_s;
        QTest::newRow("text") << QByteArray("no picture") << prefix + u"it is not a JPEG picture."_s;
        QByteArray png;
        QBuffer buffer(&png);
        fixture::sheetImage({20, 20}, Qt::green).save(&buffer, "PNG");
        QTest::newRow("PNG named .JPG") << png << prefix + u"it is not a JPEG picture."_s;
        // Our own words, whatever the decoder's are: the file named, the cause.
        QTest::newRow("truncated") << good.left(good.size() / 2) << prefix + u"the file is damaged"_s;
        QTest::newRow("header only") << good.left(300) << prefix + u"the file is damaged"_s;
        // Beyond the decoder's limit too: still our own size limit speaks.
        QTest::newRow("65535 x 65535") << fixture::withDimensions(good, 65535, 65535)
                                       << prefix + u"its size of 65535 x 65535 pixels is too large to show."_s;
        QTest::newRow("30000 x 30000") << fixture::withDimensions(good, 30000, 30000)
                                       << prefix + u"its size of 30000 x 30000 pixels is too large to show."_s;
        const QByteArray progressive = fixture::encodeJpeg(fixture::sheetImage({670, 480}, Qt::green), 85, true);
        QTest::newRow("progressive 12000 x 12000") << fixture::withDimensions(progressive, 12000, 12000)
                                                   << prefix + u"its size of 12000 x 12000 pixels is too large to show."_s;
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
        const QString error = errorOf([&] { store.load(u"D:\\X.JPG"_s, {500, 360}); });
        QVERIFY2(error.startsWith(message), qPrintable(error));
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(!store.contains(u"D:\\X.JPG"_s, {500, 360}));
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
        QCOMPARE(errorOf([&] { store.load(u"D:\\Maps\\GB-99A.JPG"_s, {500, 360}); }),
                 u"Cannot open file \"D:\\Maps\\GB-99A.JPG\". No such file or directory"_s);
        QCOMPARE(errorOf([&] { store.load(u"Q:\\Maps\\GB-03H.JPG"_s, {500, 360}); }),
                 u"Cannot open file \"Q:\\Maps\\GB-03H.JPG\". The drive does not exist."_s);
    }

    void theCacheFollowsTheFile()
    {
        Drive d;
        QVERIFY(d.write(u"A.JPG"_s, {670, 480}, Qt::red));
        platform::PictureStore store;
        const QSize box(500, 360);
        QCOMPARE(store.load(u"D:\\A.JPG"_s, box).pixelColor(3, 3).red() > 200, true);
        QVERIFY(store.contains(u"D:\\A.JPG"_s, box));
        QVERIFY(!store.contains(u"D:\\A.JPG"_s, {1000, 720}));

        QVERIFY(d.write(u"A.JPG"_s, {670, 480}, Qt::blue));
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
        QVERIFY(d.write(u"GOOD.JPG"_s, {2000, 1433}, Qt::red));
        QVERIFY(d.write(u"BAD.JPG"_s, QByteArray("\xFF\xD8 not really")));
        platform::PictureStore store;
        const QSize box(500, 360);
        store.decodeAhead({u"D:\\GOOD.JPG"_s, u"D:\\BAD.JPG"_s, u"D:\\MISSING.JPG"_s, u"Q:\\NODRIVE.JPG"_s}, box);
        QVERIFY(store.waitForIdle(10000));
        QVERIFY(store.contains(u"D:\\GOOD.JPG"_s, box));
        QVERIFY(!store.contains(u"D:\\BAD.JPG"_s, box));
        QVERIFY(errorOf([&] { store.load(u"D:\\BAD.JPG"_s, box); }).startsWith(u"The picture \"D:\\BAD.JPG\""_s));
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

    void theCacheIsBounded()
    {
        Drive d;
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            const QString name = u"S%1.JPG"_s.arg(i);
            QVERIFY(d.write(name, {670, 480}, QColor(40 * i, 0, 0)));
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
