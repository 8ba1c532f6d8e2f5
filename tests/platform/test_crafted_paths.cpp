// Drive tables and names crafted to reach beyond their folders, as the fuzz
// target fuzz_paths makes them, kept here so that every build checks them.

#include "imaging/picture_files.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using platform::DriveTable;

class TestCraftedPaths : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;

private slots:
    void init()
    {
        QVERIFY(m_root.isValid());
        qputenv("XDG_CONFIG_HOME", m_root.path().toLocal8Bit() + "/config");
        qputenv("XDG_DATA_HOME", m_root.path().toLocal8Bit() + "/data");
    }

    // A folder name Qt cannot take is no folder at all; left as it was read,
    // it made the drive the whole computer.
    void aFolderNameWithANulCharacterIsNoDrive()
    {
        QDir().mkpath(QFileInfo(DriveTable::configFilePath()).path());
        QFile conf(DriveTable::configFilePath());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QByteArray("Q: = \0/tmp\nR: = /tmp\n", 21));
        conf.close();
        DriveTable::instance().load();
        QVERIFY(!DriveTable::instance().drive(QLatin1Char('Q')));
        QVERIFY(!platform::resolve(QStringLiteral("Q:\\etc\\passwd")));
        const QStringList problems = DriveTable::instance().problems();
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.at(0).startsWith(QStringLiteral("Line 1,")), qPrintable(problems.at(0)));
        QCOMPARE(DriveTable::instance().drive(QLatin1Char('R'))->hostFolder, QStringLiteral("/tmp"));
    }

    // A folder not named from the root would depend on where the program was
    // started; one beginning with ':' was taken by Qt for its resources.
    void aFolderThatIsNoFullPathIsNoDrive_data()
    {
        QTest::addColumn<QByteArray>("folder");
        QTest::newRow("relative") << QByteArray("media/cdrom");
        QTest::newRow("Qt resource") << QByteArray(": = ~");
    }
    void aFolderThatIsNoFullPathIsNoDrive()
    {
        QFETCH(QByteArray, folder);
        QDir().mkpath(QFileInfo(DriveTable::configFilePath()).path());
        QFile conf(DriveTable::configFilePath());
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("Q: = " + folder + "\nE: = ~/extra\n");
        conf.close();
        DriveTable::instance().load();
        QVERIFY(!DriveTable::instance().drive(QLatin1Char('Q')));
        QCOMPARE(DriveTable::instance().problems().size(), 1);
        QVERIFY(DriveTable::instance().problems().at(0).contains(QStringLiteral("full path")));
        QCOMPARE(DriveTable::instance().drive(QLatin1Char('E'))->hostFolder,
            QDir::homePath() + QStringLiteral("/extra"));
    }

    // Names read from a backup disk or an imported table are used only when
    // they are plain picture names; nothing may follow the type.
    void onlyPlainNamesArePictureNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("plain");
        QTest::newRow("plain") << QStringLiteral("000001.JPG") << true;
        QTest::newRow("jpeg, small letters") << QStringLiteral("123456.jpeg") << true;
        QTest::newRow("newline after the type") << QStringLiteral("000001.jpg\n") << false;
        QTest::newRow("newline before") << QStringLiteral("\n000001.jpg") << false;
        QTest::newRow("a folder") << QStringLiteral("..\\000001.jpg") << false;
        QTest::newRow("seven digits") << QStringLiteral("0000001.jpg") << false;
    }
    void onlyPlainNamesArePictureNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, plain);
        QCOMPARE(platform::isPlainPictureName(name), plain);
    }
};

QTEST_GUILESS_MAIN(TestCraftedPaths)
#include "test_crafted_paths.moc"
