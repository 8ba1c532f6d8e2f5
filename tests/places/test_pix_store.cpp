// Attaching pictures: the numbers new pictures get, the copy in the picture
// folder, what a failure leaves behind, and a place's pictures in order.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "core/shared.h"
#include "places/pix_store.h"
#include "platform/errors.h"

#include <QDir>

using namespace Qt::StringLiterals;
using namespace corvane;

namespace {

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };

    Setup() { atlas.openWithOneSheet(); }

    static platform::Table* pix() { return DataModule1->tblPix; }

    static void addRecord(const QString& number, int placeId, const QString& type = u".JPG"_s)
    {
        pix()->append();
        pix()->setFieldValue(u"Filename"_s, number);
        pix()->setFieldValue(u"Placeid"_s, placeId);
        pix()->setFieldValue(u"Type"_s, type);
        pix()->post();
    }

    QString pixFolder() const { return kit.hostPath(pictureFolder()); }
    QStringList pixFiles() const { return QDir(pixFolder()).entryList(QDir::Files, QDir::Name); }
    bool writePix(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(pixFolder());
        return fixture::writeBytes(pixFolder() + u"/"_s + name, bytes);
    }
    QByteArray readHost(const QString& hostPath) const
    {
        QFile file(hostPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

QString number(int n)
{
    return u"%1"_s.arg(n, 6, 10, QLatin1Char('0'));
}

} // namespace

class TestPixStore : public QObject {
    Q_OBJECT

private slots:
    void firstPictureIsACopyUnderNumberOne()
    {
        Setup s;
        const QByteArray bytes = fixture::encodeJpeg(fixture::sheetImage({ 120, 80 }, Qt::green));
        QDir().mkpath(s.kit.hostPath(u"C:\\photos"_s));
        QVERIFY(fixture::writeBytes(s.kit.hostPath(u"C:\\photos\\church.jpg"_s), bytes));
        vPlaceId = 7;
        QCOMPARE(attachPicture(u"C:\\photos\\church.jpg"_s), u"000001"_s);

        platform::Table* pix = Setup::pix();
        QCOMPARE(pix->recordCount(), 1);
        QCOMPARE(pix->state(), platform::Table::State::Browse);
        pix->first();
        QCOMPARE(pix->fieldAsString(u"Filename"_s), u"000001"_s);
        QCOMPARE(pix->fieldAsInteger(u"Placeid"_s), 7);
        QCOMPARE(pix->fieldAsString(u"Type"_s), u".JPG"_s);
        QCOMPARE(pix->fieldAsString(u"Caption"_s), QString());
        QCOMPARE(s.pixFiles(), QStringList { u"000001.JPG"_s });
        QCOMPARE(s.readHost(s.pixFolder() + u"/000001.JPG"_s), bytes);
        QCOMPARE(s.readHost(s.kit.hostPath(u"C:\\photos\\church.jpg"_s)), bytes); // stays where it was
    }

    // Numbers in use by a record or by a file left in the folder (a deleted
    // place's pictures stay there) are never given again.
    void numbers_data()
    {
        QTest::addColumn<QList<int>>("records");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("next");
        QList<int> fortyOne;
        for (int n = 1; n <= 41; ++n)
            fortyOne << n;
        QTest::newRow("empty") << QList<int> {} << QStringList {} << u"000001"_s;
        QTest::newRow("41 records") << fortyOne << QStringList {} << u"000042"_s;
        QTest::newRow("count + 1 named by a record") << QList<int> { 1, 3 } << QStringList {} << u"000004"_s;
        QTest::newRow("a deleted place's file")
            << QList<int> { 1 } << QStringList { u"000002.BMP"_s } << u"000003"_s;
        QTest::newRow("record and file")
            << QList<int> { 1, 3 } << QStringList { u"000004.jpeg"_s } << u"000005"_s;
    }
    void numbers()
    {
        QFETCH(QList<int>, records);
        QFETCH(QStringList, files);
        QFETCH(QString, next);
        Setup s;
        for (int n : records)
            Setup::addRecord(number(n), 1);
        const QByteArray old("a picture of a place since deleted");
        for (const QString& file : files)
            QVERIFY(s.writePix(file, old));
        QCOMPARE(nextPictureNumber(), next);

        const QString source = s.kit.home() + u"/new.Bmp"_s;
        QVERIFY(fixture::writeBytes(source, "new picture"));
        vPlaceId = 2;
        QCOMPARE(attachPicture(source), next);
        QCOMPARE(s.readHost(s.pixFolder() + u"/"_s + next + u".BMP"_s), QByteArray("new picture"));
        for (const QString& file : files)
            QCOMPARE(s.readHost(s.pixFolder() + u"/"_s + file), old);
    }

    void numbersRunOutAt999999()
    {
        const auto none = [](const QString&) { return false; };
        QCOMPARE(pictureNumberAfter(99999, none), u"100000"_s);
        QCOMPARE(pictureNumberAfter(999998, none), u"999999"_s);
        QVERIFY(errorOf([&] { pictureNumberAfter(999999, none); }).contains(u"999999"_s));
        const auto highUsed = [](const QString& n) { return n.toInt() > 5; };
        QVERIFY(errorOf([&] { pictureNumberAfter(5, highUsed); }).contains(u"999999"_s));
    }

    // A copy that fails leaves neither a record nor a file, and the table
    // browsing for the next step.
    void failedCopyLeavesNothing_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("missing file") << u"C:\\photos\\gone.jpg"_s;
        QTest::newRow("a folder") << u"C:\\photos\\folder.jpg"_s;
        QTest::newRow("missing drive") << u"Q:\\photos\\church.jpg"_s;
    }
    void failedCopyLeavesNothing()
    {
        QFETCH(QString, source);
        Setup s;
        Setup::addRecord(number(1), 1);
        QDir().mkpath(s.kit.hostPath(u"C:\\photos\\folder.jpg"_s));
        const QString error = errorOf([&] { attachPicture(source); });
        QVERIFY2(error.contains(source), qPrintable(error));
        QCOMPARE(Setup::pix()->recordCount(), 1);
        QCOMPARE(Setup::pix()->state(), platform::Table::State::Browse);
        QCOMPARE(s.pixFiles(), QStringList {});
    }

    void aFolderThatCannotBeWrittenLeavesNothing()
    {
        Setup s;
        const QString source = s.kit.home() + u"/view.jpg"_s;
        QVERIFY(fixture::writeBytes(source, "picture"));
        QDir().mkpath(s.pixFolder());
        // A folder where the passing copy would go: the copy cannot be made
        // (file permissions would not stop a test run as root).
        QVERIFY(QDir().mkpath(s.pixFolder() + u"/000002.JPG.part/x"_s));
        QVERIFY(s.writePix(u"000001.JPG"_s, "kept"));
        const QString error = errorOf([&] { attachPicture(source); });
        QVERIFY2(error.contains(u"000002.JPG.part"_s), qPrintable(error));
        QCOMPARE(Setup::pix()->recordCount(), 0);
        QCOMPARE(s.readHost(s.pixFolder() + u"/000001.JPG"_s), QByteArray("kept"));
    }

    // The file is given its name before its record is stored; when the
    // record cannot be stored (another program holds PIX.DB), the file goes
    // again: never a record without its file, nor a file without its record.
    void aRecordThatCannotBeStoredTakesItsFileBack()
    {
        Setup s;
        const QString source = s.kit.home() + u"/view.jpg"_s;
        QVERIFY(fixture::writeBytes(source, "picture"));
        fixture::FileLock lock(Setup::pix()->fileHostPath());
        QVERIFY(lock.locked());
        const QString error = errorOf([&] { attachPicture(source); });
        QVERIFY2(error.contains(u"PIX.DB"_s), qPrintable(error));
        QCOMPARE(Setup::pix()->recordCount(), 0);
        QCOMPARE(Setup::pix()->state(), platform::Table::State::Browse);
        QCOMPARE(s.pixFiles(), QStringList {});
    }

    void typesThatCannotBeAttached()
    {
        Setup s;
        const QString source = s.kit.home() + u"/view.Jpeg"_s;
        QVERIFY(fixture::writeBytes(source, "picture"));
        QVERIFY(errorOf([&] { attachPicture(source); }).contains(source));
        QCOMPARE(Setup::pix()->recordCount(), 0);
    }

    void aPlacesPicturesInTableOrder()
    {
        Setup s;
        const QList<std::pair<int, int>> records { { 5, 1 }, { 2, 2 }, { 9, 1 }, { 3, 3 }, { 1, 1 } };
        for (const auto& [n, place] : records)
            Setup::addRecord(number(n), place, n == 9 ? u".WMF"_s : u".JPG"_s);
        Setup::pix()->first();
        const QString folder = pictureFolder();
        QCOMPARE(picturesOfPlace(1),
            (QStringList { folder + u"000005.JPG"_s, folder + u"000009.WMF"_s, folder + u"000001.JPG"_s }));
        QCOMPARE(Setup::pix()->recNo(), 0); // the cursor stays
        QCOMPARE(picturesOfPlace(4), QStringList {});
        QVERIFY(moveToPicture(folder + u"000009.WMF"_s));
        QCOMPARE(Setup::pix()->fieldAsString(u"Filename"_s), u"000009"_s);
        QVERIFY(!moveToPicture(folder + u"000009.JPG"_s));
    }
};

QTEST_MAIN(TestPixStore)
#include "test_pix_store.moc"
