// Photos decoded for print and kept in the print cache: a second load comes
// from the cache, a changed or damaged file is never printed stale, an EXIF
// turn is applied once, and a cache that cannot be written costs nothing.

#include "kit/atlas_fixture.h"
#include "kit/picture_samples.h"

#include "imaging/picture_files.h"
#include "imaging/print_cache.h"

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Mean difference per channel, 0..255; the images must have one size.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return double(sum) / (3.0 * x.width() * x.height());
}

bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

struct Setup {
    Kit kit;
    QTemporaryDir drive;
    QTemporaryDir cacheDir;
    platform::PrintCache cache;
    Setup()
        : cache(options(cacheDir.path()))
    {
        kit.setDrive(QLatin1Char('D'), drive.path(), false);
    }
    static platform::PrintCache::Options options(const QString& folder, qint64 maxBytes = qint64(1) << 30)
    {
        platform::PrintCache::Options o;
        o.folder = folder;
        o.maxBytes = maxBytes;
        return o;
    }
    QString host(const QString& name) const { return drive.path() + u'/' + name; }
    QStringList entries() const { return QDir(cacheDir.path()).entryList(QDir::Files); }
};

} // namespace

class TestPrintCache : public QObject {
    Q_OBJECT

private slots:
    // The second load must not touch the photo's bytes: they are replaced
    // by garbage with the same size, time and inode, which cannot decode.
    void aSecondLoadComesFromTheCache()
    {
        Setup s;
        const QString path = u"D:\\000001.JPG"_s;
        QVERIFY(fixture::writeBytes(
            s.host(u"000001.JPG"_s), fixture::encodeJpeg(fixture::patterned({ 800, 600 }), 92)));
        const QImage first = s.cache.load(path, { 400, 400 });
        QCOMPARE(first.size(), QSize(400, 300));
        QCOMPARE(s.entries().size(), 1);
        const QByteArray name = QFile::encodeName(s.host(u"000001.JPG"_s));
        struct stat before { };
        QCOMPARE(::stat(name.constData(), &before), 0);
        QVERIFY(fixture::writeBytes(s.host(u"000001.JPG"_s), QByteArray(qsizetype(before.st_size), 'x')));
        const timespec times[2] = { before.st_atim, before.st_mtim };
        QCOMPARE(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
        const QImage second = s.cache.load(path, { 400, 400 });
        QCOMPARE(second.size(), first.size());
        QVERIFY(meanDifference(first, second) < 8); // a JPEG of sharp lines; another picture is far off
        // Another box is another entry, decoded from the (now damaged) file.
        QVERIFY_THROWS_EXCEPTION(platform::AppError, s.cache.load(path, { 200, 200 }));
    }

    // Replaced by another photo (a new file renamed over it, as editors
    // save) or damaged in the cache: the picture as it is now.
    void aChangedPhotoOrDamagedEntryIsDecodedAfresh()
    {
        Setup s;
        const QString path = u"D:\\000002.JPG"_s;
        QVERIFY(fixture::writeBytes(
            s.host(u"000002.JPG"_s), fixture::encodeJpeg(pictures::quadrantImage(300, 200), 92)));
        QVERIFY(near(s.cache.load(path, { 300, 300 }).pixelColor(250, 100), pictures::kBlue));
        QVERIFY(fixture::writeBytes(
            s.host(u"new.jpg"_s), fixture::encodeJpeg(fixture::patterned({ 300, 200 }).mirrored(), 92)));
        QVERIFY(QFile::remove(s.host(u"000002.JPG"_s)));
        QVERIFY(QFile::rename(s.host(u"new.jpg"_s), s.host(u"000002.JPG"_s)));
        const QImage fresh = platform::loadPictureFile(path, { 300, 300 });
        QVERIFY(meanDifference(s.cache.load(path, { 300, 300 }), fresh) < 8);
        QCOMPARE(s.entries().size(), 2);
        for (const QString& entry : s.entries())
            QVERIFY(fixture::writeBytes(s.cacheDir.path() + u'/' + entry, "damaged"));
        QVERIFY(meanDifference(s.cache.load(path, { 300, 300 }), fresh) < 8);
        QVERIFY(meanDifference(s.cache.load(path, { 300, 300 }), fresh) < 8);
    }

    // Stored upright: the cached copy is not turned again.
    void aTurnedPhotoIsUprightEveryTime()
    {
        Setup s;
        const QString path = u"D:\\000003.JPG"_s;
        QVERIFY(fixture::writeBytes(s.host(u"000003.JPG"_s),
            pictures::withOrientation(fixture::encodeJpeg(pictures::quadrantImage(200, 100), 92), 6)));
        for (int i = 0; i < 2; ++i) {
            const QImage image = s.cache.load(path, { 300, 300 });
            QCOMPARE(image.size(), QSize(100, 200));
            QVERIFY2(near(image.pixelColor(20, 20), pictures::kRed), qPrintable(u"load %1"_s.arg(i)));
            QVERIFY(near(image.pixelColor(80, 20), pictures::kGreen));
            QVERIFY(near(image.pixelColor(50, 180), pictures::kBlue));
        }
        QCOMPARE(s.entries().size(), 1);
    }

    void aCacheThatCannotBeWrittenOnlyMeansNoCaching()
    {
        Setup s;
        QVERIFY(fixture::writeBytes(
            s.host(u"000004.JPG"_s), fixture::encodeJpeg(fixture::patterned({ 320, 240 }), 92)));
        QVERIFY(fixture::writeBytes(s.cacheDir.path() + u"/file"_s, "not a folder"));
        const platform::PrintCache blocked(Setup::options(s.cacheDir.path() + u"/file/print"_s));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(blocked.load(u"D:\\000004.JPG"_s, { 160, 160 }).size(), QSize(160, 120));
        blocked.trim();
    }

    // The bound holds; the entries used last stay.
    void trimKeepsTheCacheWithinItsBound()
    {
        Setup s;
        for (int i = 0; i < 4; ++i)
            QVERIFY(fixture::writeBytes(s.host(u"00000%1.JPG"_s.arg(i)),
                fixture::encodeJpeg(fixture::patterned({ 400, 300 }, 10 + i), 92)));
        const platform::PrintCache cache(Setup::options(s.cacheDir.path()));
        for (int i = 0; i < 4; ++i) {
            cache.load(u"D:\\00000%1.JPG"_s.arg(i), { 400, 300 });
            QThread::msleep(20); // distinct times of last use
        }
        const QFileInfoList all = QDir(s.cacheDir.path()).entryInfoList(QDir::Files, QDir::Time);
        QCOMPARE(all.size(), 4);
        const qint64 bound = all[0].size() + all[1].size();
        platform::PrintCache(Setup::options(s.cacheDir.path(), bound)).trim();
        const QStringList left = s.entries();
        QCOMPARE(left.size(), 2);
        QVERIFY(left.contains(all[0].fileName()) && left.contains(all[1].fileName()));
    }
};

QTEST_MAIN(TestPrintCache)
#include "test_print_cache.moc"
