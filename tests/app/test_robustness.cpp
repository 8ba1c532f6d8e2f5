// The program among others on the desktop: a second start, a desktop that
// cannot open help, a broken drives.conf, exact titles, and being asked to
// end at log-out.

#include "kit/kit.h"

#include "app/commands.h"
#include "app/main_form.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextBrowser>

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
    }
};

QTEST_MAIN(TestRobustness)
#include "test_robustness.moc"
