// The first start makes the installation; later starts keep it; ending the
// program stores what the user typed.

#include "kit.h"

#include "app/main_form.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/tables.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace corvane;

namespace {

const QString kData = vProgramPath + QStringLiteral("Data\\");

// Reads one table of the installation the way a second program run would.
struct Reader {
    platform::Database db { QStringLiteral("Corvane3"), QStringLiteral("Atlas") };
    platform::Table table;
    explicit Reader(const platform::TableDef& def)
        : table(&db, def)
    {
        db.connectDatabase();
        table.open();
    }
};

} // namespace

class TestFoundation : public QObject {
    Q_OBJECT

private slots:
    void firstStartCreatesTheInstallation()
    {
        Kit kit;
        kit.start();
        QVERIFY(kit.messages().isEmpty());
        for (const auto& def : allTableDefs())
            QVERIFY2(QFileInfo::exists(kit.hostPath(kData + def.fileName)), qPrintable(def.fileName));
        QVERIFY(QFileInfo(kit.hostPath(vProgramPath + QStringLiteral("Pix"))).isDir());
        QVERIFY(QFileInfo::exists(kit.hostPath(vProgramPath + QStringLiteral("Help\\viewing.htm"))));
        QVERIFY(QFileInfo::exists(kit.hostPath(vProgramPath + QStringLiteral("Help\\MANUAL.RTF"))));
        QVERIFY(QFileInfo::exists(kit.hostPath(vProgramPath + QStringLiteral("Reports\\ABBREV.RTF"))));
        QVERIFY(!QFileInfo::exists(kit.hostPath(vProgramPath + QStringLiteral("Data.install"))));

        platform::Table* config = kit.app().dataModule()->tblConfig;
        config->open();
        QCOMPARE(config->recordCount(), 1);
        QCOMPARE(config->fieldAsString(QStringLiteral("FirstTime")), QStringLiteral("yes"));
        QCOMPARE(config->fieldAsString(QStringLiteral("GraphicsPath")), QStringLiteral("D:\\"));
        QCOMPARE(config->fieldAsString(QStringLiteral("Floppy")), QStringLiteral("A"));
        for (platform::Table* table :
            { kit.app().dataModule()->tblDescrip, kit.app().dataModule()->tblPix }) {
            table->open();
            QCOMPARE(table->recordCount(), 0);
        }
        platform::Table* maps = kit.app().dataModule()->tblMaps;
        maps->open();
        QVERIFY(maps->findKey({ QStringLiteral("GB-03H") }));
        QVERIFY(platform::fileExists(QStringLiteral("D:\\Maps\\GB-03H.JPG")));
    }

    void laterStartsKeepTheInstallation()
    {
        Kit kit;
        kit.setConfig(QStringLiteral("Floppy"), QStringLiteral("B"));
        {
            Reader descrip(descripTableDef());
            descrip.table.append();
            descrip.table.setFieldValue(QStringLiteral("Placeid"), 0);
            descrip.table.setFieldValue(QStringLiteral("Place"), QStringLiteral("Bath"));
            descrip.table.post();
        }
        kit.start();
        Reader config(configTableDef());
        QCOMPARE(config.table.fieldAsString(QStringLiteral("Floppy")), QStringLiteral("B"));
        Reader descrip(descripTableDef());
        QCOMPARE(descrip.table.recordCount(), 1);
    }

    void anInterruptedInstallationIsDoneAgain()
    {
        Kit kit;
        const QString staging = kit.hostPath(vProgramPath + QStringLiteral("Data.install"));
        QDir().mkpath(staging);
        QFile junk(staging + QStringLiteral("/MAPS.DB"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("half-written");
        junk.close();
        kit.start();
        QVERIFY(kit.messages().isEmpty());
        Reader maps(mapsTableDef());
        QVERIFY(maps.table.recordCount() >= 40);
    }

    void aMissingDriveIsReportedAndNothingStarts()
    {
        Kit kit;
        platform::DriveTable::instance().removeDrive(QLatin1Char('C'));
        kit.writeDriveConfig();
        corvane::Application app;
        QVERIFY(!app.start());
        QCOMPARE(kit.messages().size(), 1);
        QVERIFY(!app.mainForm());
    }

    void closingTheFrameStoresAPendingChange()
    {
        Kit kit;
        kit.start();
        platform::Table* descrip = kit.app().dataModule()->tblDescrip;
        descrip->open();
        descrip->append();
        descrip->setFieldValue(QStringLiteral("Placeid"), 0);
        descrip->setFieldValue(QStringLiteral("Place"), QStringLiteral("Tintern"));
        descrip->setFieldValue(QStringLiteral("Memo"), QStringLiteral("An abbey by the Wye."));
        QVERIFY(descrip->state() == platform::Table::State::Insert);
        QVERIFY(kit.app().mainForm()->close());
        QVERIFY(kit.messages().isEmpty());
        Reader reader(descripTableDef());
        QCOMPARE(reader.table.recordCount(), 1);
        QCOMPARE(reader.table.fieldAsString(QStringLiteral("Memo")), QStringLiteral("An abbey by the Wye."));
    }

    void aRefusedChangeAtTheEndIsReportedAndTheProgramStillEnds()
    {
        Kit kit;
        kit.start();
        platform::Table* pix = kit.app().dataModule()->tblPix;
        pix->open();
        pix->append(); // the required Filename stays blank
        pix->setFieldValue(QStringLiteral("Caption"), QStringLiteral("A view"));
        QVERIFY(kit.app().mainForm()->close());
        QCOMPARE(kit.messages().size(), 1);
        QVERIFY(kit.messages().constFirst().text.contains(QStringLiteral("tblPix")));
    }

    void frameCentresOnTheScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("1024x768") << QSize(1024, 768) << QPoint(121, 103);
        QTest::newRow("800x600") << QSize(800, 600) << QPoint(9, 19);
        QTest::newRow("640x480, raised to 0") << QSize(640, 480) << QPoint(0, 0);
    }
    void frameCentresOnTheScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(QPoint, topLeft);
        Kit kit;
        kit.setScreenSize(screen);
        kit.start();
        QCOMPARE(kit.app().mainForm()->frameGeometry().topLeft(), topLeft);
        // The designed size, but no larger than the screen: every edge stays in reach.
        QCOMPARE(kit.app().mainForm()->frameGeometry().size(), QSize(782, 561).boundedTo(screen));
        QCOMPARE(vCurrentView, QStringLiteral("Atlas"));
        QCOMPARE(vPasteState, QStringLiteral("Done"));
        QCOMPARE(vGraphicsPath, vProgramPath);
    }
};

QTEST_MAIN(TestFoundation)
#include "test_foundation.moc"
