// The program among others on the desktop: a second start, a desktop that
// cannot open help, a broken drives.conf, exact titles, and being asked to
// end at log-out.

#include "kit/atlas_fixture.h"
#include "kit/kit.h"

#include "app/commands.h"
#include "app/main_form.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>

using namespace Qt::StringLiterals;
using corvane::vProgramPath;

class TestRobustness : public QObject {
    Q_OBJECT

private slots:
    void aSecondStartBringsTheFirstForward()
    {
        Kit kit;
        kit.start();
        QWidget* frame = kit.app().mainForm();
        frame->showMinimized();
        QTRY_VERIFY(frame->isMinimized());

        corvane::Application second;
        QVERIFY(!second.start());
        QVERIFY(second.handedOver());
        QVERIFY(!second.mainForm());
        QVERIFY(kit.messages().isEmpty());
        QTRY_VERIFY(!frame->isMinimized());
    }

    void aLockLeftByAKilledCopyIsTakenOver()
    {
        Kit kit;
        QProcess gone;
        gone.start(u"true"_s, {});
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        QFile lock(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + u"/corvane3.lock"_s);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\ncorvane3\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        kit.start();
        QVERIFY(kit.app().mainForm());
    }

    // Without a browser, help pages are read inside the program; other
    // documents and the maker's address are named in a message.
    void whatTheDesktopCannotOpenIsShownOrNamed()
    {
        Kit kit;
        kit.setShellAccepts(false);
        kit.start();
        const QString page = vProgramPath + u"Help\\viewing.htm"_s;
        QVERIFY(platform::fileExists(page));
        corvane::handToShell(page);
        QCOMPARE(kit.messageTexts(), QStringList());
        auto* help = kit.get<QTextBrowser>(u"HelpWindow"_s);
        QVERIFY(help->isVisible());
        QCOMPARE(help->source(), QUrl::fromLocalFile(kit.hostPath(page)));
        QVERIFY(help->toPlainText().contains(u"Viewing the Atlas"_s));

        corvane::handToShell(corvane::kMakerHomePage);
        corvane::handToShell(vProgramPath + u"Help\\MANUAL.RTF"_s);
        const QStringList texts = kit.messageTexts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts.at(0).contains(corvane::kMakerHomePage), qPrintable(texts.at(0)));
        QVERIFY2(texts.at(1).contains(vProgramPath + u"Help\\MANUAL.RTF"_s), qPrintable(texts.at(1)));
    }

    void aBrokenDrivesLineIsNamedOnceAndAnEmptyAliasKeepsTheDefault()
    {
        Kit kit;
        kit.addDriveConfigLines("alias Corvane3 =\nE /media/usb\n");
        kit.start();
        QVERIFY(kit.app().dataModule()); // the tables were reached through the default alias
        QCOMPARE(kit.messages().size(), 1);
        const QString text = kit.messageTexts().constFirst();
        QVERIFY2(text.contains(platform::DriveTable::configFilePath()), qPrintable(text));
        QVERIFY2(text.contains(u"\"alias Corvane3 =\""_s) && text.contains(u"empty"_s), qPrintable(text));
        QVERIFY2(text.contains(u"\"E /media/usb\""_s), qPrintable(text));
        kit.passSplash();
        QCOMPARE(kit.messages().size(), 1);
    }

    // Qt appends its application display name to every window title; the
    // titles here are the program's own, and its messages bear its title.
    void titlesAreExactlyTheProgramsOwn()
    {
        Kit kit;
        kit.start();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        platform::reportError(u"x"_s);
        QCOMPARE(kit.messages().constLast().title, u"Corvane Part 3"_s);
    }

    // Log-out sends SIGTERM: the frame closes as by its close box, storing
    // the change the user was typing, and quickly.
    void terminationStoresPendingChangesAndEnds()
    {
        Kit kit;
        kit.start();
        std::atomic<bool> endedHard { false };
        platform::setHardExitHandler([&] { endedHard = true; });
        platform::Table* descrip = kit.app().dataModule()->tblDescrip;
        descrip->open();
        descrip->append();
        descrip->setFieldValue(u"Placeid"_s, 0);
        descrip->setFieldValue(u"Place"_s, u"Tintern"_s);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::raise(SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!kit.app().mainForm()->isVisible(), 500);
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(descrip->state(), platform::Table::State::Browse);
        descrip->close();
        descrip->open();
        QCOMPARE(descrip->recordCount(), 1);
        QCOMPARE(descrip->fieldAsString(u"Place"_s), u"Tintern"_s);
        QTRY_VERIFY_WITH_TIMEOUT(endedHard, 2000); // the program would be gone by now
        platform::setHardExitHandler({});
    }

    // SIGTERM while one of the program's message boxes waits for an answer
    // (the program not the active one): the box belongs to the frame, goes
    // with it at once, answers no button, and no further box is shown.
    void terminationWithAMessageBoxOpenEndsAtOnce()
    {
        Kit kit;
        kit.start();
        std::atomic<bool> endedHard { false };
        platform::setHardExitHandler([&] { endedHard = true; });
        platform::setMessageBoxHandler({}); // the real box
        QWidget* frame = kit.app().mainForm();
        QPointer<QWidget> parentSeen;
        bool boxSeen = false;
        QTimer::singleShot(100, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                boxSeen = true;
                parentSeen = box->parentWidget();
            }
            QCOMPARE(::raise(SIGTERM), 0);
        });
        // Should the box stay, the test fails instead of waiting for ever.
        QTimer::singleShot(3000, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
        QElapsedTimer clock;
        clock.start();
        const auto answer = platform::messageBox({ QMessageBox::Question, platform::applicationTitle(),
            u"Replace your places with the backup?"_s, QMessageBox::Yes | QMessageBox::No });
        const qint64 elapsed = clock.elapsed();
        QVERIFY(boxSeen);
        QCOMPARE(parentSeen.data(), frame);
        QVERIFY2(elapsed < 600, qPrintable(QString::number(elapsed))); // 100 ms before the signal
        QCOMPARE(answer, QMessageBox::NoButton);
        QVERIFY(!frame->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(platform::messageBox(
                     { QMessageBox::Information, platform::applicationTitle(), u"Done."_s, QMessageBox::Ok }),
            QMessageBox::NoButton);
        QTRY_VERIFY_WITH_TIMEOUT(endedHard, 2000);
        platform::setHardExitHandler({});
    }

    // The atlas "CD" with links in it (its Maps folder one, a sheet one):
    // the program starts on the atlas instead of asking for the CD, and the
    // sheet shows.
    void linksOnTheAtlasDriveAreFollowed()
    {
        Kit kit;
        fixture::Atlas atlas(kit);
        QVERIFY(atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red));
        QVERIFY(atlas.writeSheet(u"LOC-S"_s, { 200, 144 }, Qt::gray));
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        const QString scans = kit.home() + u"/scans"_s;
        QVERIFY(QDir().rename(atlas.mapsFolder(), scans + u"-maps"_s));
        QVERIFY(QDir().mkpath(scans));
        QVERIFY(QFile::rename(scans + u"-maps/GB-03H.JPG"_s, scans + u"/london.jpg"_s));
        QVERIFY(QFile::link(scans + u"/london.jpg"_s, scans + u"-maps/GB-03H.JPG"_s));
        QVERIFY(QFile::link(scans + u"-maps"_s, atlas.mapsFolder()));
        QVERIFY(atlas.open());
        for (const QString& text : kit.messageTexts())
            QVERIFY2(!text.contains(u"load your Corvane CD"_s), qPrintable(text));
    }

    // Whatever holds the program up (here a step that keeps the user
    // interface thread busy), it is ended within half a second of SIGTERM.
    void terminationEndsABusyProgramWithinHalfASecond()
    {
        Kit kit;
        kit.start();
        std::atomic<qint64> endedAfter { -1 };
        QElapsedTimer clock;
        platform::setHardExitHandler([&] { endedAfter = clock.elapsed(); });
        clock.start();
        QCOMPARE(::raise(SIGTERM), 0);
        while (clock.elapsed() < 1000 && endedAfter < 0)
            QThread::msleep(10); // busy: no event is handled
        QVERIFY2(endedAfter >= 0 && endedAfter <= 500, qPrintable(QString::number(endedAfter.load())));
        platform::setHardExitHandler({});
    }
};

QTEST_MAIN(TestRobustness)
#include "test_robustness.moc"
