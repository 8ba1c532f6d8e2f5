// Picture headers crafted to mislead the checks made before decoding, as
// the fuzz target fuzz_picture makes them, kept here so that every build
// checks them.

#include "imaging/picture_files.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray bitmapHeader(quint32 infoSize, quint32 width, quint32 height)
{
    QByteArray file("BM");
    const auto put = [&file](quint32 value, int bytes) {
        char le[4];
        qToLittleEndian(value, le);
        file.append(le, bytes);
    };
    put(14 + 40, 4); // file size
    put(0, 4);
    put(14 + 40, 4); // pixels start here
    put(infoSize, 4);
    put(width, 4);
    put(height, 4);
    put(1, 2); // planes
    put(24, 2); // bits a pixel
    put(0, 4); // not compressed
    file.append(40 - 16, '\0');
    return file;
}

} // namespace

class TestCraftedPictures : public QObject {
    Q_OBJECT

private slots:
    // Sizes whose product overflows even 64 bits once times four bytes: such
    // a header is refused as too large, never wrapped into a small picture.
    void aBitmapOfAnAbsurdSizeIsTooLarge_data()
    {
        QTest::addColumn<quint32>("infoSize");
        QTest::addColumn<quint32>("width");
        QTest::addColumn<quint32>("height");
        QTest::newRow("Windows header") << 40u << 0x7000000Du << 0x5C786470u;
        QTest::newRow("Windows header, rows top-down") << 40u << 0x7FFFFFFFu << 0x80000001u;
        QTest::newRow("OS/2 2.x header") << 16u << 0xFFFFFFFFu << 0xFFFFFFFFu;
    }
    void aBitmapOfAnAbsurdSizeIsTooLarge()
    {
        QFETCH(quint32, infoSize);
        QFETCH(quint32, width);
        QFETCH(quint32, height);
        QTemporaryDir folder;
        platform::DriveTable::instance().setDrive(QLatin1Char('D'), folder.path(), true);
        QFile file(folder.path() + QStringLiteral("/BIG.BMP"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bitmapHeader(infoSize, width, height));
        file.close();
        QString message;
        try {
            platform::loadPictureFile(QStringLiteral("D:\\BIG.BMP"), { 640, 480 });
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        QVERIFY2(message.contains(QStringLiteral("too large")) && message.contains(QStringLiteral("BIG.BMP")),
            qPrintable(message));
    }
};

QTEST_MAIN(TestCraftedPictures)
#include "test_crafted_pictures.moc"
