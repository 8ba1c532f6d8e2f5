// Drive tables and names crafted to reach beyond their folders: what the
// fuzz target fuzz_paths found, kept here so that every build checks it.

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
};

QTEST_GUILESS_MAIN(TestCraftedPaths)
#include "test_crafted_paths.moc"
