// The configuration window: the one-letter entry, what "Yes" stores and
// opens, a refused store, "Reconfigure" and the start after configuring.

#include "kit.h"

#include "app/config.h"
#include "app/main_form.h"
#include "app/views.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/tables.h"
#include "maps/atlas.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolButton>

using namespace corvane;

namespace {

// The shipped demo atlas when it is built, else a CD holding the one sheet
// start-up looks for.
void provideSentinel(Kit& kit, const QTemporaryDir& folder)
{
    if (platform::fileExists(QStringLiteral("D:\\Maps\\GB-03H.JPG")))
        return;
    QDir(folder.path()).mkpath(QStringLiteral("Maps"));
    QImage sheet(64, 48, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QVERIFY(sheet.save(folder.path() + QStringLiteral("/Maps/GB-03H.JPG"), "JPG"));
    kit.setDrive(QLatin1Char('D'), folder.path(), true);
}

// Starts the program and presses "Open", as the user does.
void startAndOpen(Kit& kit)
{
    kit.start();
    kit.passSplash();
    kit.click(QStringLiteral("btnBegin"));
}

QLineEdit* entry(Kit& kit)
{
    return kit.get<QLineEdit>(QStringLiteral("mskFloppy"));
}

// What a second program run would read from the configuration record.
QString storedConfig(const QString& field)
{
    platform::Database db(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
    db.connectDatabase();
    platform::Table config(&db, configTableDef());
    config.open();
    return config.fieldAsString(field);
}

bool toolButtonsShown()
{
    for (QToolButton* button :
        { MainForm->spdOddChar, MainForm->spdJotpad, MainForm->spdPrint, MainForm->spdBackup })
        if (button->isHidden())
            return false;
    return true;
}

QWidget* frontChild()
{
    return MainForm->childArea()->subWindowList(QMdiArea::StackingOrder).constLast()->widget();
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    void yesStoresTheLetterAndOpensTheAtlas()
    {
        Kit kit;
        QTemporaryDir cd;
        provideSentinel(kit, cd);
        startAndOpen(kit);
        auto* config = kit.get<TfrmConfig>(QStringLiteral("frmConfig"));
        QCOMPARE(config->windowTitle(), QStringLiteral("  CONFIGURATION"));
        QCOMPARE(config->size(), QSize(666, 312));
        QVERIFY(MainForm->menuBar()->actions().isEmpty());
        QCOMPARE(entry(kit)->text(), QStringLiteral("X"));

        kit.click(QStringLiteral("mskFloppy"));
        QTest::keyClick(entry(kit), Qt::Key_A);
        QCOMPARE(entry(kit)->text(), QStringLiteral("A"));
        kit.click(QStringLiteral("btnCheck"));

        QVERIFY(kit.messages().isEmpty());
        QCOMPARE(storedConfig(QStringLiteral("Floppy")), QStringLiteral("A"));
        QCOMPARE(storedConfig(QStringLiteral("FirstTime")), QStringLiteral("no"));
        QCOMPARE(vFloppy, QStringLiteral("A"));
        QCOMPARE(vBackupPath, QStringLiteral("A:\\"));
        QVERIFY(toolButtonsShown());
        QVERIFY(vAtlasCreated);
        QVERIFY(frmAtlas);
        QCOMPARE(frontChild(), frmAtlas);
        QCOMPARE(MainForm->childArea()->activeSubWindow(), frmAtlas->parentWidget());
        QVERIFY(config->isVisible()); // stays, behind the atlas
        QCOMPARE(vCurrentView, QStringLiteral("Atlas"));
    }

    void theEntryTakesOneLetter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("lower case") << QStringLiteral("b") << QStringLiteral("B");
        QTest::newRow("upper case") << QStringLiteral("Z") << QStringLiteral("Z");
        QTest::newRow("digit") << QStringLiteral("7") << QStringLiteral("X");
        QTest::newRow("punctuation") << QStringLiteral(":") << QStringLiteral("X");
        QTest::newRow("blank") << QStringLiteral(" ") << QStringLiteral("X");
        QTest::newRow("second letter") << QStringLiteral("cd") << QStringLiteral("C");
        QTest::newRow("digit, then letter") << QStringLiteral("1e") << QStringLiteral("E");
    }
    void theEntryTakesOneLetter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Kit kit;
        startAndOpen(kit);
        kit.click(QStringLiteral("mskFloppy"));
        QTest::keyClicks(entry(kit), typed);
        QCOMPARE(entry(kit)->text(), shown);
    }

    void yesWithoutTypingStoresX()
    {
        Kit kit;
        startAndOpen(kit);
        kit.click(QStringLiteral("btnCheck"));
        QCOMPARE(storedConfig(QStringLiteral("Floppy")), QStringLiteral("X"));
        QCOMPARE(vBackupPath, QStringLiteral("X:\\"));
    }

    void anEmptiedEntryStoresNoLetter()
    {
        Kit kit;
        startAndOpen(kit);
        kit.click(QStringLiteral("mskFloppy"));
        QTest::keyClick(entry(kit), Qt::Key_Backspace);
        QCOMPARE(entry(kit)->text(), QString());
        kit.click(QStringLiteral("btnCheck"));
        QVERIFY(kit.messages().isEmpty());
        QCOMPARE(storedConfig(QStringLiteral("Floppy")), QString());
        QCOMPARE(storedConfig(QStringLiteral("FirstTime")), QStringLiteral("no"));
        QCOMPARE(vFloppy, QString());
        QCOMPARE(vBackupPath, QStringLiteral(":\\"));
    }

    void aRefusedStoreOpensNothing()
    {
        Kit kit;
        kit.install();
        kit.setDrive(QLatin1Char('C'), kit.hostPath(QStringLiteral("C:\\")), true);
        startAndOpen(kit);
        kit.click(QStringLiteral("btnCheck"));
        QCOMPARE(kit.messages().size(), 1);
        QVERIFY(!toolButtonsShown());
        QVERIFY(!vAtlasCreated);
        QVERIFY(!frmAtlas);
        QCOMPARE(storedConfig(QStringLiteral("FirstTime")), QStringLiteral("yes"));
    }

    void reconfigureReusesTheWindowAndKeepsTheView()
    {
        Kit kit;
        QTemporaryDir cd;
        provideSentinel(kit, cd);
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        startAndOpen(kit);
        QVERIFY(!frmConfig);
        QVERIFY(!vConfigCreated);

        TfrmConfig* config = showConfigWindow();
        QVERIFY(vConfigCreated);
        QCOMPARE(frontChild(), config);
        QCOMPARE(entry(kit)->text(), QStringLiteral("X"));
        kit.click(QStringLiteral("mskFloppy"));
        QTest::keyClick(entry(kit), Qt::Key_B);
        frmAtlas->showChild();
        QCOMPARE(showConfigWindow(), config);
        QCOMPARE(entry(kit)->text(), QStringLiteral("B")); // as the user left it

        vCurrentView = QStringLiteral("Notes");
        kit.click(QStringLiteral("btnCheck"));
        QCOMPARE(frontChild(), frmAtlas);
        QCOMPARE(vCurrentView, QStringLiteral("Notes"));
        QCOMPARE(storedConfig(QStringLiteral("Floppy")), QStringLiteral("B"));
    }

    void theNextStartGoesStraightToTheAtlas()
    {
        Kit kit;
        QTemporaryDir cd;
        provideSentinel(kit, cd);
        startAndOpen(kit);
        kit.click(QStringLiteral("mskFloppy"));
        QTest::keyClick(entry(kit), Qt::Key_C);
        kit.click(QStringLiteral("btnCheck"));

        startAndOpen(kit); // the program run again on the same installation
        QVERIFY(!kit.find(QStringLiteral("frmConfig")));
        QVERIFY(!vConfigCreated);
        QVERIFY(frmAtlas);
        QVERIFY(toolButtonsShown());
        QCOMPARE(vFloppy, QStringLiteral("C"));
        QCOMPARE(vBackupPath, QStringLiteral("C:\\"));
        QVERIFY(kit.messages().isEmpty());
    }
};

QTEST_MAIN(TestConfig)
#include "test_config.moc"
