// From launch to the first usable view: the splash's timers, both roads of
// "Open", the request for the CD, and what the user cannot do to the splash.

#include "kit.h"

#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

using namespace corvane;

namespace {

const QString kCdMessage = QStringLiteral("Please close Corvane, load your Corvane CD, and start again.");

// Whether the message asking for the CD was shown (its first line).
bool askedForTheCd(const Kit& kit)
{
    for (const QString& text : kit.messageTexts())
        if (text.section(QLatin1Char('\n'), 0, 0) == kCdMessage)
            return true;
    return false;
}

// A "CD" holding only the sheet start-up looks for, or none at all.
void pointDriveDAt(Kit& kit, const QTemporaryDir& folder, bool withSentinel)
{
    QDir(folder.path()).mkpath(QStringLiteral("Maps"));
    if (withSentinel) {
        QImage sheet(64, 48, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QVERIFY(sheet.save(folder.path() + QStringLiteral("/Maps/GB-03H.JPG"), "JPG"));
    }
    kit.setDrive(QLatin1Char('D'), folder.path(), true);
}

// The shipped demo atlas when it is built, else a CD of our own.
void provideSentinel(Kit& kit, const QTemporaryDir& folder)
{
    if (!platform::fileExists(QStringLiteral("D:\\Maps\\GB-03H.JPG")))
        pointDriveDAt(kit, folder, true);
}

QList<QToolButton*> toolButtons()
{
    return { MainForm->spdOddChar, MainForm->spdJotpad, MainForm->spdPrint, MainForm->spdBackup };
}

bool noToolButtonShown()
{
    for (QToolButton* button : toolButtons())
        if (!button->isHidden())
            return false;
    return true;
}

bool allToolButtonsShown()
{
    for (QToolButton* button : toolButtons())
        if (button->isHidden())
            return false;
    return true;
}

bool allTablesOpen()
{
    for (platform::Table* table : DataModule1->tables())
        if (!table->active())
            return false;
    return true;
}

QList<QMdiSubWindow*> shownChildWindows()
{
    QList<QMdiSubWindow*> shown;
    for (QMdiSubWindow* sub : MainForm->childArea()->subWindowList())
        if (sub->isVisible())
            shown << sub;
    return shown;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void firstRunOpenShowsTheConfigurationWindow()
    {
        Kit kit;
        kit.start();
        auto* splash = kit.get<QWidget>(QStringLiteral("frmSplash"));
        QVERIFY(splash->isVisible());
        QVERIFY(!kit.get<QFrame>(QStringLiteral("pnlTitle"))->isVisible());
        QVERIFY(!DataModule1->tblConfig->active());
        QVERIFY(noToolButtonShown());

        kit.passSplash();
        QVERIFY(allTablesOpen());
        QVERIFY(kit.get<QFrame>(QStringLiteral("pnlTitle"))->isVisible());
        QCOMPARE(vGraphicsPath, QStringLiteral("D:\\")); // read by the title's tick

        kit.click(QStringLiteral("btnBegin"));
        auto* config = kit.get<QWidget>(QStringLiteral("frmConfig"));
        QVERIFY(config->isVisible());
        QCOMPARE(config->parentWidget()->geometry().topLeft(), QPoint(2, 2));
        QVERIFY(vConfigCreated);
        QVERIFY(noToolButtonShown());
        QVERIFY(!vAtlasCreated);
        QVERIFY(!kit.find(QStringLiteral("frmAtlas")));
        QCOMPARE(vFloppy, QString());
        QCOMPARE(vBackupPath, QString());
        QVERIFY(kit.messages().isEmpty());
        QTRY_VERIFY(!kit.find(QStringLiteral("frmSplash")));
    }

    void configuredOpenRevealsTheButtonsAndOpensTheAtlas()
    {
        Kit kit;
        QTemporaryDir cd;
        provideSentinel(kit, cd);
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        kit.start();
        kit.passSplash();
        kit.click(QStringLiteral("btnBegin"));

        QVERIFY(!askedForTheCd(kit));
        QVERIFY(allToolButtonsShown());
        QVERIFY(vAtlasCreated);
        auto* atlas = kit.get<QWidget>(QStringLiteral("frmAtlas"));
        QVERIFY(atlas->isVisible());
        QCOMPARE(MainForm->childArea()->activeSubWindow(), atlas->parentWidget());
        QVERIFY(!kit.find(QStringLiteral("frmConfig")));
        QCOMPARE(vFloppy, QStringLiteral("A"));
        QCOMPARE(vBackupPath, QStringLiteral("A:\\"));
        QCOMPARE(vGraphicsPath, QStringLiteral("D:\\"));
        QTRY_VERIFY(!kit.find(QStringLiteral("frmSplash")));
    }

    void aMissingSheetAsksForTheCdAndLeavesTheFrameEmpty()
    {
        Kit kit;
        QTemporaryDir cd;
        pointDriveDAt(kit, cd, false);
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        kit.start();
        kit.passSplash();
        kit.click(QStringLiteral("btnBegin"));

        QCOMPARE(kit.messages().size(), 1);
        const platform::MessageBoxRequest box = kit.messages().constFirst();
        // The request keeps its words; a second line says where the
        // pictures were sought and how to point D: at the atlas.
        const QStringList lines = box.text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), kCdMessage);
        QVERIFY2(lines.at(1).contains(QStringLiteral("D:\\Maps\\"))
                && lines.at(1).contains(cd.path() + QStringLiteral("/Maps"))
                && lines.at(1).contains(platform::DriveTable::configFilePath())
                && lines.at(1).contains(QStringLiteral("D: = ")),
            qPrintable(lines.at(1)));
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(noToolButtonShown());
        QVERIFY(!vAtlasCreated);
        QTRY_VERIFY(!kit.find(QStringLiteral("frmSplash")));
        QVERIFY(shownChildWindows().isEmpty());
    }

    void theMapRootIsUsedAsStored_data()
    {
        QTest::addColumn<QString>("graphicsPath");
        QTest::addColumn<bool>("found");
        QTest::newRow("root") << QStringLiteral("D:\\") << true;
        QTest::newRow("folder") << QStringLiteral("D:\\Atlas\\") << true;
        QTest::newRow("folder without backslash") << QStringLiteral("D:\\Atlas") << false;
        QTest::newRow("wrong folder") << QStringLiteral("D:\\Maps\\") << false;
    }
    void theMapRootIsUsedAsStored()
    {
        QFETCH(QString, graphicsPath);
        QFETCH(bool, found);
        Kit kit;
        QTemporaryDir cd;
        pointDriveDAt(kit, cd, true);
        QVERIFY(QDir(cd.path()).mkpath(QStringLiteral("Atlas/Maps")));
        QVERIFY(QFile::copy(cd.path() + QStringLiteral("/Maps/GB-03H.JPG"),
            cd.path() + QStringLiteral("/Atlas/Maps/GB-03H.JPG")));
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        kit.setConfig(QStringLiteral("GraphicsPath"), graphicsPath);
        kit.start();
        kit.passSplash();
        kit.click(QStringLiteral("btnBegin"));
        QCOMPARE(vGraphicsPath, graphicsPath);
        QCOMPARE(askedForTheCd(kit), !found);
        QCOMPARE(vAtlasCreated, found);
    }

    void onlyAnExactYesMeansTheFirstRun_data()
    {
        QTest::addColumn<QString>("firstTime");
        QTest::newRow("Yes") << QStringLiteral("Yes");
        QTest::newRow("YES") << QStringLiteral("YES");
        QTest::newRow("empty") << QString();
        QTest::newRow("no") << QStringLiteral("no");
    }
    void onlyAnExactYesMeansTheFirstRun()
    {
        QFETCH(QString, firstTime);
        Kit kit;
        QTemporaryDir cd;
        pointDriveDAt(kit, cd, false);
        kit.setConfig(QStringLiteral("FirstTime"), firstTime);
        kit.start();
        kit.passSplash();
        kit.click(QStringLiteral("btnBegin"));
        QVERIFY(!kit.find(QStringLiteral("frmConfig")));
        QVERIFY(!vConfigCreated);
        QCOMPARE(kit.messageTexts().size(), 1);
        QVERIFY(askedForTheCd(kit)); // the normal road's sentinel check ran
    }

    void enterOpensOnlyOnceTheTitleShows()
    {
        Kit kit;
        kit.start();
        auto* splash = kit.get<QWidget>(QStringLiteral("frmSplash"));
        QTRY_COMPARE(QApplication::focusWidget(), splash); // where the user's Enter goes
        QTest::keyClick(splash, Qt::Key_Return);
        QTest::keyClick(splash, Qt::Key_Enter);
        QCoreApplication::processEvents();
        QVERIFY(kit.find(QStringLiteral("frmSplash")));
        QVERIFY(!kit.find(QStringLiteral("frmConfig")));

        kit.passSplash();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(kit.find(QStringLiteral("frmConfig")));
        QTRY_VERIFY(!kit.find(QStringLiteral("frmSplash")));
    }

    void theSplashCannotBeClosed()
    {
        Kit kit;
        kit.start();
        auto* splash = kit.get<QWidget>(QStringLiteral("frmSplash"));
        auto* sub = qobject_cast<QMdiSubWindow*>(splash->parentWidget());
        QVERIFY(sub);
        QVERIFY(!(sub->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)));
        QVERIFY(!sub->close());
        MainForm->childArea()->closeAllSubWindows();
        QTest::keyClick(splash, Qt::Key_F4, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QVERIFY(kit.find(QStringLiteral("frmSplash")));
        QVERIFY(splash->isVisible());
        QCOMPARE(sub->size(), QSize(764, 480));
    }

    void theTimersOpenTheTablesThenShowTheTitle()
    {
        Kit kit;
        kit.start();
        auto* title = kit.get<QFrame>(QStringLiteral("pnlTitle"));
        QTRY_VERIFY_WITH_TIMEOUT(allTablesOpen(), 3000);
        QVERIFY(!title->isVisible()); // a further 700 ms
        QTRY_VERIFY_WITH_TIMEOUT(title->isVisible(), 3000);
        QVERIFY(kit.messages().isEmpty());
        kit.click(QStringLiteral("btnBegin"));
        QVERIFY(kit.find(QStringLiteral("frmConfig")));
    }

    void aTableThatCannotBeOpenedIsReportedOnce()
    {
        Kit kit;
        kit.install();
        QFile maps(kit.hostPath(vProgramPath + QStringLiteral("Data\\MAPS.DB")));
        QVERIFY(maps.open(QIODevice::WriteOnly | QIODevice::Truncate));
        maps.write(QByteArray(4096, 'x'));
        maps.close();
        kit.start();
        kit.passSplash();
        kit.passSplash(); // later ticks, had the timers not stopped
        QCOMPARE(kit.messages().size(), 1);
        QVERIFY2(kit.messages().constFirst().text.contains(QStringLiteral("tblMaps")),
            qPrintable(kit.messages().constFirst().text));
        QVERIFY(!kit.get<QFrame>(QStringLiteral("pnlTitle"))->isVisible());
        QVERIFY(!kit.get<QTimer>(QStringLiteral("Timer1"))->isActive());
        QVERIFY(!kit.get<QTimer>(QStringLiteral("Timer2"))->isActive());
    }

    // The first copy's lock is good for as long as it runs, however old:
    // a copy started minutes later still hands over to it.
    void aLaterCopyStillHandsOverToTheFirst()
    {
        Kit kit;
        kit.start();
        QWidget* frame = kit.app().mainForm();
        frame->showMinimized();
        QTRY_VERIFY(frame->isMinimized());
        const QString lock = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
            + QStringLiteral("/corvane3.lock");
        QFile file(lock);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(
            QDateTime::currentDateTime().addSecs(-20 * 60), QFileDevice::FileModificationTime));
        file.close();

        corvane::Application second;
        QVERIFY(!second.start());
        QVERIFY(second.handedOver());
        QTRY_VERIFY(!frame->isMinimized());
    }

    // Only the folders of the drives the program keeps for the user are
    // made at start; a stick's mount point named in drives.conf is not.
    void onlyTheProgramsOwnDriveFoldersAreMade()
    {
        QTemporaryDir media;
        const QString stick = media.path() + QStringLiteral("/BACKUP");
        Kit kit;
        kit.setDrive(QLatin1Char('E'), stick);
        const QString own = platform::DriveTable::instance().drive(QLatin1Char('A'))->hostFolder;
        QVERIFY(QDir(own).removeRecursively());
        kit.start();
        QVERIFY(kit.app().mainForm());
        QCOMPARE(platform::DriveTable::instance().drive(QLatin1Char('E'))->hostFolder, stick);
        QVERIFY(!QFileInfo::exists(stick));
        QVERIFY(QFileInfo(own).isDir());
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
