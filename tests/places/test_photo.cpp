// The picture viewer: where it stands on the screen, every kind of picture
// shown, large pictures fitted, a damaged one reported, the way back.

#include "kit/atlas_fixture.h"
#include "kit/picture_samples.h"

#include "app/main_form.h"
#include "core/shared.h"
#include "places/photo.h"
#include "places/pix_store.h"

#include <QFileDialog>
#include <QLabel>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace corvane;

namespace {

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };

    explicit Setup(QSize screen = { 1024, 768 })
    {
        kit.setScreenSize(screen);
        atlas.openWithOneSheet();
    }

    // Puts the file in the picture folder and makes it the picture the
    // descriptions window showed last.
    bool showInPanel(
        const QString& number, const QString& type, const QByteArray& bytes, const QString& caption)
    {
        const QString folder = kit.hostPath(pictureFolder());
        QDir().mkpath(folder);
        vPixFileName = number;
        vPixType = type;
        vPixPath = picturePath(number, type);
        vPixCaption = caption;
        return fixture::writeBytes(folder + u"/"_s + number + type, bytes);
    }

    TfrmPhoto* viewer() const { return kit.get<TfrmPhoto>(u"frmPhoto"_s); }
    QLabel* imgPhoto() const { return Kit::child<QLabel>(viewer(), u"imgPhoto"_s); }
};

QColor middleOf(const QImage& image, qreal x, qreal y)
{
    return image.pixelColor(int(x * (image.width() - 1)), int(y * (image.height() - 1)));
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 48 && std::abs(a.green() - b.green()) < 48
        && std::abs(a.blue() - b.blue()) < 48;
}

// The JPEG with an EXIF orientation mark (6: turn right to view) after its
// start marker, as cameras write it.
QByteArray withOrientation(const QByteArray& jpeg, quint16 orientation)
{
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2); // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // orientation, SHORT, one
    tiff += char(orientation >> 8);
    tiff += char(orientation & 0xff);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no further directory
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xff\xe1", 2);
    segment += char((body.size() + 2) >> 8);
    segment += char((body.size() + 2) & 0xff);
    segment += body;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

} // namespace

class TestPhoto : public QObject {
    Q_OBJECT

private slots:
    void centredFirstThenPlacedByTheScreenTable()
    {
        Setup s;
        QVERIFY(s.showInPanel(u"000001"_s, u".JPG"_s,
            fixture::encodeJpeg(fixture::sheetImage({ 400, 300 }, fixture::kGreen)), u"Old church"_s));
        QVERIFY(!vPhotoCreated);
        showPhoto();
        QVERIFY(vPhotoCreated);
        TfrmPhoto* viewer = s.viewer();
        QVERIFY(viewer->isVisible());
        QVERIFY(viewer->isWindow());
        QCOMPARE(viewer->windowTitle(), u"Old church"_s);
        QCOMPARE(s.imgPhoto()->geometry(), QRect(2, 2, 400, 300));
        QCOMPARE(viewer->size(), QSize(404, 304));
        QCOMPARE(viewer->palette().color(QPalette::Window), QColor(0, 0, 255));
        QCOMPARE(viewer->frameGeometry().topLeft(), QPoint((1024 - 404) / 2, (768 - 304) / 2));

        QTest::mouseDClick(s.imgPhoto(), Qt::LeftButton);
        QVERIFY(!viewer->isVisible());

        vPixCaption = QString();
        showPhoto();
        QCOMPARE(s.kit.find<TfrmPhoto>(u"frmPhoto"_s), viewer); // created once
        QCOMPARE(viewer->frameGeometry().topLeft(), QPoint(6, 0));
        QCOMPARE(viewer->windowTitle(), QString());
    }

    void noPictureShownYetCreatesNothing()
    {
        Setup s;
        vPixPath.clear();
        showPhoto();
        QVERIFY(!vPhotoCreated);
        QVERIFY(!s.kit.find(u"frmPhoto"_s));
    }

    void everyTypeIsShown_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QColor>("topLeft");
        using namespace pictures;
        const QImage photo = quadrantImage(400, 300);
        QTest::newRow("JPG") << u".JPG"_s << fixture::encodeJpeg(photo, 92) << QSize(400, 300) << kGreen;
        QTest::newRow("JPEG") << u".JPEG"_s << fixture::encodeJpeg(photo, 92) << QSize(400, 300) << kGreen;
        QTest::newRow("BMP") << u".BMP"_s << bitmapFile(Bmp::Rle8, 64, 48) << QSize(64, 48) << kGreen;
        QTest::newRow("WMF") << u".WMF"_s << windowsMetafile() << QSize(400, 300) << kRed;
        QTest::newRow("EMF") << u".EMF"_s << enhancedMetafile() << QSize(399, 299) << kRed;
    }
    void everyTypeIsShown()
    {
        QFETCH(QString, type);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QColor, topLeft);
        Setup s;
        QVERIFY(s.showInPanel(u"000003"_s, type, bytes, u"caption"_s));
        showPhoto();
        QVERIFY2(s.kit.messageTexts().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        const QImage shown = s.viewer()->picture();
        QCOMPARE(s.imgPhoto()->size(), size);
        QVERIFY(!s.imgPhoto()->pixmap().isNull());
        QVERIFY2(near(middleOf(shown, 0.1, 0.1), topLeft), qPrintable(middleOf(shown, 0.1, 0.1).name()));
        QVERIFY(near(middleOf(shown, 0.9, 0.9), pictures::kBlue));
    }

    // Larger than the screen's picture box: fitted into it, proportions kept.
    void largePicturesAreFitted_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QPoint>("second");
        QTest::newRow("1024, wide") << QSize(1024, 768) << QSize(3000, 2000) << QSize(1000, 666)
                                    << QPoint(6, 0);
        QTest::newRow("1024, tall") << QSize(1024, 768) << QSize(1500, 3000) << QSize(360, 720)
                                    << QPoint(6, 0);
        QTest::newRow("800") << QSize(800, 600) << QSize(3000, 2000) << QSize(750, 500) << QPoint(19, 0);
        QTest::newRow("1600") << QSize(1600, 1200) << QSize(4000, 3000) << QSize(1440, 1080) << QPoint(44, 0);
        QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QSize(6000, 4000) << QSize(1458, 972)
                                     << QPoint(-1, -1);
    }
    void largePicturesAreFitted()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, picture);
        QFETCH(QSize, shown);
        QFETCH(QPoint, second);
        Setup s(screen);
        QVERIFY(s.showInPanel(
            u"000001"_s, u".JPG"_s, fixture::encodeJpeg(fixture::sheetImage(picture, fixture::kBlue)), {}));
        showPhoto();
        QCOMPARE(s.imgPhoto()->size(), shown);
        QCOMPARE(s.viewer()->picture().size(), shown);
        const QPoint first = s.viewer()->frameGeometry().topLeft();
        QVERIFY(first.x() >= 0 && first.y() >= 0);
        s.viewer()->FormDblClick();
        showPhoto();
        // A width the table does not name keeps the window where it was.
        QCOMPARE(s.viewer()->frameGeometry().topLeft(), second.x() < 0 ? first : second);
    }

    void bitmapAfterJpegAndBack()
    {
        Setup s;
        const QByteArray jpeg = fixture::encodeJpeg(fixture::sheetImage({ 300, 200 }, fixture::kGreen));
        const QByteArray bmp = pictures::bitmapFile(pictures::Bmp::Bits16, 64, 48);
        for (int round = 0; round < 3; ++round) {
            QVERIFY(s.showInPanel(u"000001"_s, u".JPG"_s, jpeg, u"jpeg"_s));
            showPhoto();
            QCOMPARE(s.imgPhoto()->size(), QSize(300, 200));
            QVERIFY(near(middleOf(s.viewer()->picture(), 0.5, 0.5), fixture::kGreen));
            s.viewer()->FormDblClick();
            QVERIFY(s.showInPanel(u"000002"_s, u".BMP"_s, bmp, u"bitmap"_s));
            showPhoto();
            QCOMPARE(s.imgPhoto()->size(), QSize(64, 48));
            QVERIFY(near(middleOf(s.viewer()->picture(), 0.9, 0.5), pictures::kBlue));
            QCOMPARE(s.viewer()->windowTitle(), u"bitmap"_s);
            s.viewer()->FormDblClick();
        }
    }

    // Shown again while still showing: the viewer loads the current picture.
    void showingAgainLoadsTheCurrentPicture()
    {
        Setup s;
        QVERIFY(s.showInPanel(u"000001"_s, u".WMF"_s, pictures::windowsMetafile(), u"one"_s));
        showPhoto();
        QVERIFY(s.showInPanel(u"000002"_s, u".JPG"_s,
            fixture::encodeJpeg(fixture::sheetImage({ 120, 90 }, fixture::kGreen)), u"two"_s));
        showPhoto();
        QCOMPARE(s.viewer()->windowTitle(), u"two"_s);
        QCOMPARE(s.imgPhoto()->size(), QSize(120, 90));
    }

    void aDamagedPictureKeepsThePreviousOne()
    {
        Setup s;
        QVERIFY(s.showInPanel(u"000001"_s, u".JPG"_s,
            fixture::encodeJpeg(fixture::sheetImage({ 120, 90 }, fixture::kGreen)), u"good"_s));
        showPhoto();
        s.viewer()->FormDblClick();
        QVERIFY(s.showInPanel(u"000002"_s, u".EMF"_s, QByteArray("not a drawing at all"), u"bad"_s));
        showPhoto();
        QCOMPARE(s.kit.messageTexts().size(), 1);
        QVERIFY2(s.kit.messageTexts().constFirst().contains(picturePath(u"000002"_s, u".EMF"_s)),
            qPrintable(s.kit.messageTexts().constFirst()));
        QVERIFY(s.viewer()->isVisible());
        QCOMPARE(s.viewer()->windowTitle(), u"good"_s);
        QCOMPARE(s.imgPhoto()->size(), QSize(120, 90));
        QVERIFY(near(middleOf(s.viewer()->picture(), 0.5, 0.5), fixture::kGreen));
    }

    // A phone photo stored on its side with an orientation mark: the
    // picture dialog's preview shows it upright, as the viewer does.
    void thePicturePreviewShowsATurnedPhotoUpright()
    {
        Setup s;
        const QString file = s.kit.home() + u"/turned.jpg"_s;
        QVERIFY(fixture::writeBytes(file,
            withOrientation(fixture::encodeJpeg(fixture::sheetImage({ 200, 100 }, fixture::kGreen)), 6)));
        platform::setOpenPictureHandler({});
        QSize preview;
        QTimer::singleShot(0, [&] {
            auto* dialog = s.kit.find<QFileDialog>(u"dlgOpenPicture"_s);
            if (!dialog)
                return;
            emit dialog->currentChanged(file);
            if (auto* shown = dialog->findChild<QLabel*>(u"imgPreview"_s))
                preview = shown->pixmap().size();
            dialog->reject();
        });
        QVERIFY(!MainForm->dlgOpenPictureExecute());
        QVERIFY2(preview.isValid(), "no preview in the picture dialog");
        QVERIFY2(preview.height() > preview.width(),
            qPrintable(u"preview %1 x %2"_s.arg(preview.width()).arg(preview.height())));
    }

    void doubleClickReturnsToTheFrame()
    {
        Setup s;
        QVERIFY(
            s.showInPanel(u"000001"_s, u".BMP"_s, pictures::bitmapFile(pictures::Bmp::Bits4, 64, 48), {}));
        showPhoto();
        QVERIFY(QTest::qWaitForWindowExposed(s.viewer()));
        QTest::mouseDClick(s.viewer(), Qt::LeftButton, {}, QPoint(1, 1));
        QVERIFY(!s.viewer()->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), s.kit.get(u"MainForm"_s));
    }
};

QTEST_MAIN(TestPhoto)
#include "test_photo.moc"
