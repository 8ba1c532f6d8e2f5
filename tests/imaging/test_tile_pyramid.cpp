// Tile pyramids of map sheets: what they show against a direct decode, when
// they are rebuilt (changed sheet, damaged or unfinished cache), the cache's
// bound, the memory ceiling for progressive sheets and the background builder.

#include "kit/atlas_fixture.h"

#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray encode(const QImage& image, int subsampling, bool progressive)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(), TJPF_RGB, &out,
        &size, subsampling, 92, progressive ? TJFLAG_PROGRESSIVE : 0);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

QByteArray greyJpeg(QSize size)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    fixture::patterned(size).convertToFormat(QImage::Format_Grayscale8).save(&buffer, "JPG", 92);
    return bytes;
}

// Mean difference per channel, 0..255; the images must have one size.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += qAbs(qRed(p[col]) - qRed(q[col])) + qAbs(qGreen(p[col]) - qGreen(q[col]))
                + qAbs(qBlue(p[col]) - qBlue(q[col]));
    }
    return double(sum) / (3.0 * x.width() * x.height());
}

struct Setup {
    Kit kit;
    QTemporaryDir cd;
    QTemporaryDir cache;
    Setup() { kit.setDrive(QLatin1Char('D'), cd.path(), true); }
    QString host(const QString& name) const { return cd.path() + QLatin1Char('/') + name; }
    static QString windows(const QString& name) { return u"D:\\"_s + name; }
    bool write(const QString& name, const QByteArray& bytes) const
    {
        return fixture::writeBytes(host(name), bytes);
    }
    platform::TilePyramid::Options options(qint64 maxBytes = qint64(1) << 30) const
    {
        platform::TilePyramid::Options o;
        o.folder = cache.path();
        o.maxBytes = maxBytes;
        o.tileSize = 128;
        return o;
    }
    QString folderOf(const platform::TilePyramid& pyramid, const QString& name) const
    {
        return pyramid.folderFor(QFileInfo(host(name)).canonicalFilePath());
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

// A later modification time than the file has, as a rewrite a second later has.
void ageBy(const QString& path, int seconds)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(
        file.setFileTime(QFileInfo(path).lastModified().addSecs(seconds), QFileDevice::FileModificationTime));
}

} // namespace

class TestTilePyramid : public QObject {
    Q_OBJECT

private slots:
    void readsBackAsADirectDecodeShows_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QSize>("native");
        const QSize size(700, 500);
        QTest::newRow("baseline 4:2:0") << encode(fixture::patterned(size), TJSAMP_420, false) << size;
        QTest::newRow("progressive 4:2:0") << encode(fixture::patterned(size), TJSAMP_420, true) << size;
        QTest::newRow("progressive 4:4:4") << encode(fixture::patterned(size), TJSAMP_444, true) << size;
        QTest::newRow("odd size") << encode(fixture::patterned({ 651, 387 }), TJSAMP_420, false)
                                  << QSize(651, 387);
        QTest::newRow("greyscale") << greyJpeg(size) << size;
        QTest::newRow("CMYK") << fixture::encodeCmykJpeg(size) << size;
    }
    void readsBackAsADirectDecodeShows()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QSize, native);
        Setup s;
        QVERIFY(s.write(u"SHEET.JPG"_s, jpeg));
        const QString sheet = Setup::windows(u"SHEET.JPG"_s);
        platform::TilePyramid pyramid(s.options());
        QVERIFY(!pyramid.isReady(sheet));
        QVERIFY(pyramid.build(sheet));

        const platform::PyramidInfo info = pyramid.info(sheet);
        QCOMPARE(info.native, native);
        QCOMPARE(info.levels.constLast().width() <= 128 && info.levels.constLast().height() <= 128, true);
        for (const QSize box : { QSize(500, 360), QSize(200, 150), QSize(90, 60), QSize(1000, 1000) }) {
            const QImage direct = platform::decodePicture(sheet, s.host(u"SHEET.JPG"_s), box);
            const QImage fromTiles = pyramid.levelImageFor(sheet, box);
            QCOMPARE(fromTiles.size(), direct.size());
            const double diff = meanDifference(fromTiles, direct);
            // The box filter of the levels is a little softer than libjpeg's
            // scaling; a tile out of place differs by far more.
            QVERIFY2(diff < 10,
                qPrintable(u"box %1x%2: mean difference %3"_s.arg(box.width()).arg(box.height()).arg(diff)));
        }
        // A tile at the sheet's own resolution is the matching piece of it.
        const QImage whole = platform::decodePicture(sheet, s.host(u"SHEET.JPG"_s), native);
        const QImage tile = pyramid.tile(sheet, 0, 2, 1);
        QCOMPARE(tile.size(), QSize(128, 128));
        const double diff = meanDifference(tile, whole.copy(256, 128, 128, 128));
        QVERIFY2(diff < 4, qPrintable(QString::number(diff)));
        // Edge tiles are cut to the sheet, tiles outside it are none.
        const int lastColumn = info.columns(0) - 1;
        QCOMPARE(pyramid.tile(sheet, 0, lastColumn, 0).width(), native.width() - lastColumn * 128);
        QVERIFY(pyramid.tile(sheet, 0, lastColumn + 1, 0).isNull());
        QVERIFY(pyramid.tile(sheet, int(info.levels.size()), 0, 0).isNull());
    }

    void aRewrittenSheetIsBuiltAgain()
    {
        Setup s;
        QVERIFY(
            s.write(u"SHEET.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 600, 400 }, fixture::kRed))));
        const QString sheet = Setup::windows(u"SHEET.JPG"_s);
        platform::TilePyramid pyramid(s.options());
        QVERIFY(pyramid.build(sheet));
        QVERIFY(pyramid.levelImageFor(sheet, { 300, 200 }).pixelColor(150, 100).red() > 150);

        QVERIFY(
            s.write(u"SHEET.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 600, 400 }, fixture::kBlue))));
        ageBy(s.host(u"SHEET.JPG"_s), 2);
        QVERIFY(!pyramid.isReady(sheet));
        QVERIFY(pyramid.levelImageFor(sheet, { 300, 200 }).isNull());
        QVERIFY(pyramid.build(sheet));
        const QColor now = pyramid.levelImageFor(sheet, { 300, 200 }).pixelColor(150, 100);
        QVERIFY2(now.blue() > 150 && now.red() < 100, qPrintable(now.name()));
    }

    void aDamagedCacheIsNotTrusted_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("tile cut short") << u"tile cut"_s;
        QTest::newRow("tile of garbage") << u"tile garbage"_s;
        QTest::newRow("tile missing") << u"tile missing"_s;
        QTest::newRow("tile of another size") << u"tile resized"_s;
        QTest::newRow("manifest of garbage") << u"manifest garbage"_s;
        QTest::newRow("manifest with other levels") << u"manifest levels"_s;
        QTest::newRow("killed build") << u"killed"_s;
    }
    void aDamagedCacheIsNotTrusted()
    {
        QFETCH(QString, damage);
        Setup s;
        QVERIFY(s.write(u"SHEET.JPG"_s, encode(fixture::patterned({ 700, 500 }), TJSAMP_420, false)));
        const QString sheet = Setup::windows(u"SHEET.JPG"_s);
        platform::TilePyramid pyramid(s.options());
        QVERIFY(pyramid.build(sheet));
        const QImage good = pyramid.levelImageFor(sheet, { 500, 360 });
        const QString folder = s.folderOf(pyramid, u"SHEET.JPG"_s);
        const QString tile = folder + u"/0/1_1.jpg"_s;
        const QString manifest = folder + u"/manifest"_s;
        QFile file(damage.startsWith(u"tile"_s) ? tile : manifest);
        QVERIFY(file.exists());
        if (damage == u"tile cut"_s) {
            QVERIFY(file.resize(file.size() / 2));
        } else if (damage == u"tile garbage"_s) {
            QVERIFY(fixture::writeBytes(tile, QByteArray(3000, 'x')));
        } else if (damage == u"tile missing"_s) {
            QVERIFY(file.remove());
        } else if (damage == u"tile resized"_s) {
            QVERIFY(fixture::writeBytes(tile, encode(fixture::patterned({ 100, 128 }), TJSAMP_420, false)));
        } else if (damage == u"manifest garbage"_s) {
            QVERIFY(fixture::writeBytes(manifest, QByteArray(200, '\0')));
        } else if (damage == u"manifest levels"_s) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray text = file.readAll();
            file.close();
            QVERIFY(text.contains("levels 4\n"));
            QVERIFY(fixture::writeBytes(manifest, text.replace("levels 4\n", "levels 2\n")));
        } else {
            // Killed after the tiles and before the manifest, with a tile
            // still under its temporary name.
            QVERIFY(file.remove());
            QVERIFY(fixture::writeBytes(folder + u"/0/2_2.jpg.part"_s, QByteArray(100, 'x')));
            QDir().mkpath(folder + u".part/0"_s);
            QVERIFY(fixture::writeBytes(folder + u".part/0/0_0.jpg"_s, QByteArray(100, 'x')));
        }
        pyramid.clearMemory();

        const bool manifestDamaged = !damage.startsWith(u"tile"_s);
        QCOMPARE(pyramid.isReady(sheet), !manifestDamaged);
        QVERIFY(pyramid.levelImageFor(sheet, { 500, 360 }).isNull() || !manifestDamaged);
        QVERIFY(pyramid.tile(sheet, 0, 1, 1).isNull());
        QVERIFY(!pyramid.isReady(sheet));

        QVERIFY(pyramid.build(sheet));
        const QImage rebuilt = pyramid.levelImageFor(sheet, { 500, 360 });
        QCOMPARE(rebuilt.size(), good.size());
        QVERIFY(meanDifference(rebuilt, good) < 1);
        QCOMPARE(pyramid.tile(sheet, 0, 1, 1).size(), QSize(128, 128));
        QVERIFY(!QFileInfo::exists(folder + u"/0/2_2.jpg.part"_s));
    }

    void theLeastRecentlyUsedGoFirst()
    {
        Setup s;
        for (const char* name : { "A.JPG", "B.JPG", "C.JPG" })
            QVERIFY(
                s.write(QLatin1String(name), encode(fixture::patterned({ 700, 500 }), TJSAMP_420, false)));
        platform::TilePyramid unbounded(s.options());
        QVERIFY(unbounded.build(Setup::windows(u"A.JPG"_s)));
        const qint64 one = unbounded.diskBytes();
        QVERIFY(one > 10000);
        QVERIFY(unbounded.build(Setup::windows(u"B.JPG"_s)));
        // A was used long ago, B not quite as long.
        ageBy(s.folderOf(unbounded, u"A.JPG"_s) + u"/manifest"_s, -3600);
        ageBy(s.folderOf(unbounded, u"B.JPG"_s) + u"/manifest"_s, -1800);

        platform::TilePyramid bounded(s.options(2 * one + one / 2));
        QVERIFY(!bounded.tile(Setup::windows(u"A.JPG"_s), 0, 0, 0).isNull()); // A is now the newest
        QVERIFY(bounded.build(Setup::windows(u"C.JPG"_s)));
        QVERIFY(bounded.isReady(Setup::windows(u"A.JPG"_s)));
        QVERIFY(!bounded.isReady(Setup::windows(u"B.JPG"_s)));
        QVERIFY(bounded.isReady(Setup::windows(u"C.JPG"_s)));
        QVERIFY(bounded.diskBytes() <= 2 * one + one / 2);

        // A sheet larger than the whole bound is still kept while it is the newest.
        platform::TilePyramid tiny(s.options(one / 4));
        QVERIFY(tiny.build(Setup::windows(u"B.JPG"_s)));
        QVERIFY(tiny.isReady(Setup::windows(u"B.JPG"_s)));
        QVERIFY(!tiny.isReady(Setup::windows(u"A.JPG"_s)));
    }

    void theMemoryCeilingRefusesOnlyWhatExceedsIt_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<bool>("builds");
        QTest::newRow("progressive, whole coefficients above the ceiling") << true << false;
        QTest::newRow("baseline, strips within it") << false << true;
    }
    void theMemoryCeilingRefusesOnlyWhatExceedsIt()
    {
        QFETCH(bool, progressive);
        QFETCH(bool, builds);
        Setup s;
        QVERIFY(s.write(u"BIG.JPG"_s, encode(fixture::patterned({ 1200, 900 }), TJSAMP_444, progressive)));
        auto options = s.options();
        options.memoryCeiling = 2 << 20; // a 4:4:4 progressive sheet of 1200 x 900 needs 6 MB
        platform::TilePyramid pyramid(options);
        const QString error = errorOf([&] { pyramid.build(Setup::windows(u"BIG.JPG"_s)); });
        QCOMPARE(pyramid.isReady(Setup::windows(u"BIG.JPG"_s)), builds);
        if (builds) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
        } else {
            QVERIFY2(error.contains(u"D:\\BIG.JPG"_s) && error.contains(u"1200 x 900"_s)
                    && error.contains(u"too large"_s),
                qPrintable(error));
        }
    }

    void theCeilingFollowsTheMachine()
    {
        // The largest scans need about 1.7 GB once: a machine that has the
        // memory lets their one-time build have it.
        const qint64 ceiling = platform::decodeMemoryCeiling();
        const qint64 machine = qint64(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGE_SIZE);
        QVERIFY(ceiling > 0);
        QVERIFY(ceiling <= machine / 4);
        if (machine >= qint64(8) << 30)
            QVERIFY2(ceiling >= qint64(1800) << 20, qPrintable(QString::number(ceiling >> 20)));
    }

    void unreadableSheetsAreReported_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("cause");
        QByteArray cut = encode(fixture::patterned({ 400, 300 }), TJSAMP_420, false).left(300);
        QTest::newRow("missing") << QByteArray() << u"Cannot open file"_s;
        QTest::newRow("not a JPEG") << QByteArray("GIF89a and more") << u"not a JPEG"_s;
        QTest::newRow("header cut off") << cut << u"damaged"_s;
        // What the decoder refuses, the build refuses, at once.
        const QByteArray small = encode(fixture::patterned({ 64, 48 }), TJSAMP_420, false);
        QTest::newRow("2 KB claiming 30000 x 30000")
            << fixture::withDimensions(small, 30000, 30000) << u"30000 x 30000 pixels is too large"_s;
        QTest::newRow("2 KB claiming 12000 x 12000")
            << fixture::withDimensions(small, 12000, 12000) << u"far more than its"_s;
        // A damaged sheet gets no pyramid of grey rows kept as if whole.
        const QByteArray sheet = encode(fixture::patterned({ 400, 300 }), TJSAMP_420, false);
        QTest::newRow("cut short") << sheet.left(sheet.size() * 6 / 10) << u"damaged"_s;
        const QByteArray progressive = encode(fixture::patterned({ 400, 300 }), TJSAMP_420, true);
        QTest::newRow("progressive cut short")
            << progressive.left(progressive.size() * 6 / 10) << u"ends before its last scan"_s;
    }
    void unreadableSheetsAreReported()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        Setup s;
        if (!bytes.isEmpty())
            QVERIFY(s.write(u"BAD.JPG"_s, bytes));
        platform::TilePyramid pyramid(s.options());
        QElapsedTimer clock;
        clock.start();
        const QString error = errorOf([&] { pyramid.build(Setup::windows(u"BAD.JPG"_s)); });
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY2(error.contains(u"D:\\BAD.JPG"_s) && error.contains(cause), qPrintable(error));
        QVERIFY(!pyramid.isReady(Setup::windows(u"BAD.JPG"_s)));
        QCOMPARE(QDir(s.cache.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }

    void theBuilderPutsTheVisibleSheetFirst()
    {
        Setup s;
        QVERIFY(s.write(u"FIRST.JPG"_s, encode(fixture::patterned({ 1600, 1200 }), TJSAMP_420, true)));
        for (const char* name : { "LATER.JPG", "SHOWN.JPG" })
            QVERIFY(
                s.write(QLatin1String(name), encode(fixture::patterned({ 500, 300 }), TJSAMP_420, false)));
        QVERIFY(s.write(u"BAD.JPG"_s, QByteArray("not a picture")));
        platform::PyramidBuilder builder(std::make_shared<platform::TilePyramid>(s.options()));
        QStringList ready;
        QStringList failures;
        connect(&builder, &platform::PyramidBuilder::ready, this, [&](const QString& p) { ready << p; });
        connect(&builder, &platform::PyramidBuilder::failed, this,
            [&](const QString& p, const QString& message) { failures << p + u": "_s + message; });

        builder.request(Setup::windows(u"FIRST.JPG"_s));
        QTRY_VERIFY(builder.queued().isEmpty()); // underway
        builder.request(Setup::windows(u"BAD.JPG"_s));
        builder.request(Setup::windows(u"LATER.JPG"_s));
        builder.request(Setup::windows(u"SHOWN.JPG"_s), true);
        QCOMPARE(builder.queued().constFirst(), Setup::windows(u"SHOWN.JPG"_s));
        QVERIFY(builder.waitForIdle(60000));
        QTRY_COMPARE(ready.size(), 3);
        QCOMPARE(ready,
            QStringList({ Setup::windows(u"FIRST.JPG"_s), Setup::windows(u"SHOWN.JPG"_s),
                Setup::windows(u"LATER.JPG"_s) }));
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.constFirst().contains(u"not a JPEG"_s), qPrintable(failures.constFirst()));
        QVERIFY(builder.pyramid()->isReady(Setup::windows(u"SHOWN.JPG"_s)));

        // A sheet already built is announced without building.
        builder.request(Setup::windows(u"SHOWN.JPG"_s), true);
        QTRY_COMPARE(ready.size(), 4);
    }

    void theCacheBoundComesFromTheConfigFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("none") << QByteArray() << (qint64(2) << 30);
        QTest::newRow("megabytes") << QByteArray("# tiles\ncache = 512M\n") << (qint64(512) << 20);
        QTest::newRow("gigabytes, lower case") << QByteArray("cache=3g") << (qint64(3) << 30);
        QTest::newRow("bytes") << QByteArray("cache = 100000") << qint64(100000);
        QTest::newRow("nonsense") << QByteArray("cache = lots") << (qint64(2) << 30);
    }
    void theCacheBoundComesFromTheConfigFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, bytes);
        Kit kit;
        const QString path = platform::tileCacheConfigFilePath();
        QVERIFY(path.startsWith(kit.home()));
        if (!text.isEmpty()) {
            QDir().mkpath(QFileInfo(path).path());
            QVERIFY(fixture::writeBytes(path, text));
        }
        QCOMPARE(platform::configuredTileCacheBytes(), bytes);
        QVERIFY(platform::defaultTileCacheFolder().startsWith(kit.home()));
    }
    // A sheet rewritten in place with another of exactly its length: only
    // the modification time tells the pyramid is stale.
    void aSheetChangedAtTheSameLengthIsBuiltAgain()
    {
        Setup s;
        QByteArray red = fixture::encodeJpeg(fixture::sheetImage({ 600, 400 }, fixture::kRed));
        QByteArray blue = fixture::encodeJpeg(fixture::sheetImage({ 600, 400 }, fixture::kBlue));
        // Bytes after the end marker are not read; they only even the lengths.
        const qsizetype length = std::max(red.size(), blue.size());
        red.append(QByteArray(length - red.size(), '\0'));
        blue.append(QByteArray(length - blue.size(), '\0'));
        QVERIFY(s.write(u"SHEET.JPG"_s, red));
        const QString sheet = Setup::windows(u"SHEET.JPG"_s);
        platform::TilePyramid pyramid(s.options());
        QVERIFY(pyramid.build(sheet));
        QVERIFY(pyramid.levelImageFor(sheet, { 300, 200 }).pixelColor(150, 100).red() > 150);

        QVERIFY(s.write(u"SHEET.JPG"_s, blue));
        ageBy(s.host(u"SHEET.JPG"_s), 2);
        QCOMPARE(QFileInfo(s.host(u"SHEET.JPG"_s)).size(), length);
        QVERIFY(!pyramid.isReady(sheet));
        QVERIFY(pyramid.build(sheet));
        const QColor now = pyramid.levelImageFor(sheet, { 300, 200 }).pixelColor(150, 100);
        QVERIFY2(now.blue() > 150 && now.red() < 100, qPrintable(now.name()));
    }

    // A level only as wide (or only as tall) as the picture wanted would be
    // enlarged the other way, and shown blurred: the larger level is used.
    void aLevelMustCoverBothDirections_data()
    {
        QTest::addColumn<QSize>("wanted");
        QTest::addColumn<int>("level");
        QTest::newRow("covered by the smallest") << QSize(60, 20) << 3;
        QTest::newRow("covered by a middle level") << QSize(240, 40) << 2;
        QTest::newRow("wide enough, not tall enough") << QSize(120, 30) << 2;
        QTest::newRow("tall enough, not wide enough") << QSize(130, 20) << 2;
        QTest::newRow("a middle level tall enough only") << QSize(300, 40) << 1;
        QTest::newRow("larger than a level") << QSize(600, 60) << 0;
    }
    void aLevelMustCoverBothDirections()
    {
        QFETCH(QSize, wanted);
        QFETCH(int, level);
        platform::PyramidInfo info;
        info.tileSize = 128;
        info.levels = { { 1000, 200 }, { 500, 100 }, { 250, 50 }, { 125, 25 } };
        QCOMPARE(info.levelCovering(wanted), level);
    }
};

QTEST_MAIN(TestTilePyramid)
#include "test_tile_pyramid.moc"
