// Windows as a new user meets them: the frame's close with the picture
// viewer up, the viewer on the screen, an arrow's double-click, the places
// list's right-click, texts that must fit their boxes, the first frame and
// the configuration window on small or scaled screens, one title for all
// message boxes.

#include "kit/atlas_fixture.h"
#include "kit/picture_samples.h"

#include "app/config.h"
#include "app/views.h"
#include "core/shared.h"
#include "places/photo.h"
#include "places/pix_store.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QToolButton>

using namespace corvane;
using namespace Qt::StringLiterals;
using namespace fixture;

namespace {

// London with Kent east of it and the Weald east of Kent, all with files.
struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    explicit Setup(QSize screen = { 1024, 768 }, QRect area = {})
    {
        kit.setScreenSize(screen);
        if (area.isValid())
            kit.setScreenArea(area);
        atlas.writeSheet(u"GB-03H"_s, { 670, 480 }, kRed);
        atlas.writeSheet(u"GB-03J"_s, { 670, 480 }, kGreen);
        atlas.writeSheet(u"GB-03K"_s, { 670, 480 }, kBlue);
        atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, kGrey);
        atlas.setRows(
            { { u"GB-03H"_s, {}, u"GB-03J"_s, {}, {}, u"England: London"_s, u"12"_s, 433, 683 },
                { u"GB-03J"_s, u"GB-03H"_s, u"GB-03K"_s, {}, {}, u"England: Kent"_s, u"14"_s, 433, 700 },
                { u"GB-03K"_s, u"GB-03J"_s, {}, {}, {}, u"England: Weald"_s, u"15"_s, 433, 720 } },
            {});
        window = atlas.open();
        MainForm->showToolButtons();
    }

    // The picture the descriptions window showed last, in the picture folder.
    bool pictureShown(const QString& number, QSize size)
    {
        const QString folder = kit.hostPath(pictureFolder());
        QDir().mkpath(folder);
        vPixFileName = number;
        vPixType = u".JPG"_s;
        vPixPath = picturePath(number, vPixType);
        vPixCaption = number;
        return writeBytes(folder + u"/"_s + number + vPixType, encodeJpeg(sheetImage(size, kGreen)));
    }

    static void addPlace(int id, const QString& name)
    {
        platform::Table* descrip = DataModule1->tblDescrip;
        descrip->append();
        descrip->setFieldValue(u"Placeid"_s, id);
        descrip->setFieldValue(u"Place"_s, name);
        descrip->post();
    }
};

// The height a label's text takes in the label's own font and width.
int textHeight(const QLabel* label)
{
    const QFontMetrics metrics(label->font());
    const QRect box = label->contentsRect();
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    return metrics.boundingRect(QRect(0, 0, box.width(), 10000), flags, label->text()).height();
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void closingTheFrameWithTheViewerUpEndsTheProgram()
    {
        Setup s;
        QGuiApplication::setQuitOnLastWindowClosed(false); // the quit below is the one that counts
        QVERIFY(s.pictureShown(u"000001"_s, { 400, 300 }));
        showPhoto();
        QVERIFY(frmPhoto && frmPhoto->isVisible());
        QVERIFY(MainForm->close());
        // Qt ends a program by closing every window first; one that refuses
        // keeps the program running.
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
        QVERIFY(quit.isAccepted());
        QVERIFY(!MainForm->isVisible());
        QVERIFY(!frmPhoto->isVisible());
        QGuiApplication::setQuitOnLastWindowClosed(true);
    }

    void theViewerLiesOnTheScreenEachTimeItIsShown()
    {
        const QRect screen(0, 0, 1920, 1080);
        Setup s(screen.size());
        QVERIFY(s.pictureShown(u"000001"_s, { 300, 200 }));
        showPhoto();
        frmPhoto->move(1500, 800); // where the user left it
        frmPhoto->FormDblClick();
        QVERIFY(s.pictureShown(u"000002"_s, { 1378, 976 }));
        showPhoto();
        QVERIFY(frmPhoto->isVisible());
        QVERIFY(frmPhoto->width() > 1000); // fitted into the screen's box, no smaller
        QVERIFY2(screen.contains(frmPhoto->frameGeometry()),
            qPrintable(u"viewer at %1,%2"_s.arg(frmPhoto->x()).arg(frmPhoto->y())));
    }

    void aDoubleClickOnAnArrowMovesOneSheet()
    {
        Setup s;
        QVERIFY(s.window);
        auto* east = Kit::child<QToolButton>(s.window, u"imgEast"_s);
        QVERIFY(east->isVisible());
        const QPoint at = east->rect().center();
        // What the window system sends for a double-click.
        QTest::mousePress(east, Qt::LeftButton, {}, at);
        QTest::mouseRelease(east, Qt::LeftButton, {}, at);
        QMouseEvent second(QEvent::MouseButtonDblClick, at, east->mapToGlobal(at), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(east, &second);
        QTest::mouseRelease(east, Qt::LeftButton, {}, at);
        QCOMPARE(vMapId, u"GB-03J"_s);
        QTest::mouseClick(east, Qt::LeftButton, {}, at); // a later click still moves
        QCOMPARE(vMapId, u"GB-03K"_s);
    }

    void aRightClickActsOnTheRowUnderThePointer()
    {
        Setup s;
        Setup::addPlace(801, u"Appledore"_s);
        Setup::addPlace(802, u"Brookland"_s);
        showNotesWindow();
        platform::Table* descrip = DataModule1->tblDescrip;
        QVERIFY(descrip->findKey({ 801 }));
        auto* grid = s.kit.get<QAbstractItemView>(u"grdPlaces"_s);
        int row = -1;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            if (grid->model()->index(r, 0).data().toString() == u"Brookland"_s)
                row = r;
        QVERIFY(row >= 0);
        const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(grid->viewport(), &menuEvent);
        QCOMPARE(descrip->fieldAsString(u"Place"_s), u"Brookland"_s);
        auto* menu = s.kit.get<QMenu>(u"mnuPlace"_s);
        QVERIFY(!menu->actions().isEmpty());
        QVERIFY2(menu->actions().constFirst()->text().contains(u"Brookland"_s),
            qPrintable(menu->actions().constFirst()->text()));
        menu->hide();
    }

    void textsFitTheirBoxes_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("below"); // the control under it, if any
        QTest::newRow("add-picture panel") << u"frmNotes"_s << u"Label5"_s << u"Label17"_s;
        QTest::newRow("edit panel") << u"frmNotes"_s << u"Label6"_s << QString();
        QTest::newRow("pictures panel") << u"frmNotes"_s << u"Label12"_s << QString();
        QTest::newRow("backup panel") << u"MainForm"_s << u"Label4"_s << u"Label12"_s;
    }

    void textsFitTheirBoxes()
    {
        QFETCH(QString, window);
        QFETCH(QString, label);
        QFETCH(QString, below);
        Setup s;
        showNotesWindow();
        QWidget* form = window == u"MainForm"_s ? static_cast<QWidget*>(MainForm) : s.kit.get(window);
        auto* text = Kit::child<QLabel>(form, label);
        const QFontMetrics metrics(text->font());
        if (!text->wordWrap())
            QVERIFY2(metrics.horizontalAdvance(text->text()) <= text->contentsRect().width(),
                qPrintable(u"%1 needs %2 px, has %3"_s.arg(text->text())
                               .arg(metrics.horizontalAdvance(text->text()))
                               .arg(text->contentsRect().width())));
        const int needed = textHeight(text);
        QVERIFY2(needed <= text->contentsRect().height(),
            qPrintable(u"%1 needs %2 px high, has %3"_s.arg(label).arg(needed).arg(text->height())));
        if (!below.isEmpty()) {
            const QWidget* next = Kit::child<QWidget>(form, below);
            QVERIFY2(text->y() + needed < next->y(),
                qPrintable(u"%1 ends at %2, %3 starts at %4"_s.arg(label)
                               .arg(text->y() + needed)
                               .arg(below)
                               .arg(next->y())));
        }
    }

    void theFrameAndConfigurationFitTheScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("area");
        QTest::newRow("1024 x 768") << QSize(1024, 768) << QRect(0, 0, 1024, 768);
        QTest::newRow("1366 x 768 with a panel") << QSize(1366, 768) << QRect(0, 0, 1366, 740);
        QTest::newRow("1920 x 1080 at scale 2") << QSize(960, 540) << QRect(0, 0, 960, 522);
    }

    void theFrameAndConfigurationFitTheScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(QRect, area);
        Setup s(screen, area);
        QVERIFY2(area.contains(MainForm->frameGeometry()),
            qPrintable(u"frame %1,%2 %3 x %4"_s.arg(MainForm->x())
                           .arg(MainForm->y())
                           .arg(MainForm->frameGeometry().width())
                           .arg(MainForm->frameGeometry().height())));
        if (area.height() >= 561) // the designed size where it fits
            QCOMPARE(MainForm->frameGeometry().size(), QSize(782, 561));
        showConfigWindow();
        QMdiSubWindow* config = frmConfig->subWindow();
        const QRect childArea = MainForm->childArea()->viewport()->rect();
        QVERIFY2(childArea.contains(config->geometry()),
            qPrintable(u"configuration at %1,%2 %3 x %4 in %5 x %6"_s.arg(config->x())
                           .arg(config->y())
                           .arg(config->width())
                           .arg(config->height())
                           .arg(childArea.width())
                           .arg(childArea.height())));
    }

    void messageBoxesCarryTheProgramsTitle()
    {
        Setup s;
        s.kit.click(u"spdBackup"_s);
        s.kit.click(u"btnBackupOK"_s);
        s.kit.answerMessagesWith(QMessageBox::Yes);
        MainForm->mnuRestoreClick();
        const QDir empty(s.kit.home() + u"/no tables"_s);
        QVERIFY(empty.mkpath(u"."_s));
        s.kit.setFolderChoice({ empty.path() });
        MainForm->mnuImportClick();
        const QList<platform::MessageBoxRequest> shown = s.kit.messages();
        QVERIFY(shown.size() >= 4); // backup, restore's question and answer, import
        for (const platform::MessageBoxRequest& box : shown)
            QVERIFY2(box.title == u"Corvane Part 3"_s, qPrintable(box.title + u": "_s + box.text));
        // The restore names the backup's real folder beside its drive letter.
        const QString restored = s.kit.messageTexts().at(2);
        QString backupFolder = QDir::toNativeSeparators(s.kit.hostPath(u"A:\\"_s));
        while (backupFolder.endsWith(u'/'))
            backupFolder.chop(1);
        QVERIFY2(restored.contains(backupFolder), qPrintable(restored));
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
