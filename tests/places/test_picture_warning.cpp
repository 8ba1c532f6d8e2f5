// The pictures panel tells of a damaged picture on its own bottom line,
// where the user looks, without a box; a whole picture brings the
// full-screen hint back.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "places/notes.h"

#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmNotes* window = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        fixture::writeUserTables(
            { { 0, u"Rye"_s } }, { { u"000001"_s, 0, u"whole"_s }, { u"000002"_s, 0, u"cut"_s } });
        if (!atlas.open())
            return;
        for (QAction* item : MainForm->menuBar()->actions()) {
            if (item->objectName() == u"mnuNotes"_s)
                item->trigger();
        }
        window = frmNotes;
    }
    template <typename T = QWidget> T* get(const QString& name) const { return Kit::child<T>(window, name); }
    void click(const QString& name) const { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
    bool writePicture(const QString& name, const QByteArray& bytes) const
    {
        const QString folder = QDir(kit.hostPath(vProgramPath)).filePath(u"Pix"_s);
        QDir().mkpath(folder);
        return fixture::writeBytes(folder + u'/' + name, bytes);
    }
};

} // namespace

class TestPictureWarning : public QObject {
    Q_OBJECT

private slots:
    void aDamagedPictureSaysSoOnThePanel()
    {
        Setup s;
        QVERIFY(s.window);
        const QByteArray jpeg = fixture::encodeJpeg(fixture::sheetImage({ 160, 120 }, fixture::kRed));
        QVERIFY(s.writePicture(u"000001.JPG"_s, jpeg));
        QVERIFY(s.writePicture(u"000002.JPG"_s, jpeg.left(jpeg.size() * 2 / 3)));
        s.click(u"btnPictures"_s);
        auto* hint = s.get<QLabel>(u"Label12"_s);
        QVERIFY(hint->isVisible());
        const auto* before = s.window->findChild<QLabel*>(u"lblPixWarning"_s);
        QVERIFY(!before || before->isHidden());

        s.click(u"btnMorePix"_s);
        QCOMPARE(vPixPath, vProgramPath + u"Pix\\000002.JPG"_s);
        auto* line = s.window->findChild<QLabel*>(u"lblPixWarning"_s);
        QVERIFY2(line, "lblPixWarning missing");
        QVERIFY(line->isVisible());
        QVERIFY(hint->isHidden());
        QVERIFY2(line->text().contains(u"damaged or incomplete"_s), qPrintable(line->text()));
        QVERIFY(line->toolTip().contains(u"000002.JPG"_s));
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        // It lies inside the panel, beside nothing it covers but the hint.
        QVERIFY(s.get(u"pnlPictures"_s)->rect().contains(line->geometry()));

        s.click(u"btnMorePix"_s); // "no more pictures", then the first again
        QTRY_COMPARE(vPixPath, vProgramPath + u"Pix\\000001.JPG"_s);
        QVERIFY(line->isHidden());
        QVERIFY(hint->isVisible());
    }
};

QTEST_MAIN(TestPictureWarning)
#include "test_picture_warning.moc"
