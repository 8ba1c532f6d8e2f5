// The one path resolver: drive letters, case-insensitive names, containment,
// the user's drive table, file copies and the URLs handed to the desktop.

#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using platform::DriveTable;

class TestPaths : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_c, m_d;

    static void write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void init()
    {
        QVERIFY(m_root.isValid());
        m_c = m_root.path() + QStringLiteral("/c");
        m_d = m_root.path() + QStringLiteral("/cd");
        QDir().mkpath(m_c);
        QDir().mkpath(m_d);
        DriveTable::instance().clear();
        DriveTable::instance().setDrive(QLatin1Char('C'), m_c);
        DriveTable::instance().setDrive(QLatin1Char('d'), m_d, true);
    }

    void resolvesThroughTheDriveTable_data()
    {
        QTest::addColumn<QString>("windowsPath");
        QTest::addColumn<QString>("relative"); // to the root folder; "-" = does not resolve
        QTest::newRow("folder") << QStringLiteral("C:\\Program Files\\Quillmere\\")
                                << QStringLiteral("c/Program Files/Quillmere");
        QTest::newRow("drive root") << QStringLiteral("C:\\") << QStringLiteral("c");
        QTest::newRow("lower-case drive") << QStringLiteral("c:\\x.txt") << QStringLiteral("c/x.txt");
        QTest::newRow("doubled backslash") << QStringLiteral("C:\\a\\\\b") << QStringLiteral("c/a/b");
        QTest::newRow("dot-dot inside") << QStringLiteral("C:\\a\\..\\b") << QStringLiteral("c/b");
        QTest::newRow("dot-dot out of the drive")
            << QStringLiteral("C:\\..\\cd\\secret") << QStringLiteral("-");
        QTest::newRow("missing drive") << QStringLiteral("Q:\\Maps\\GB-03H.JPG") << QStringLiteral("-");
        QTest::newRow("no drive") << QStringLiteral("Maps\\GB-03H.JPG") << QStringLiteral("-");
        QTest::newRow("slash inside a name") << QStringLiteral("C:\\a/../../etc") << QStringLiteral("-");
        QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("-");
    }
    void resolvesThroughTheDriveTable()
    {
        QFETCH(QString, windowsPath);
        QFETCH(QString, relative);
        const auto host = platform::resolve(windowsPath);
        if (relative == QLatin1String("-")) {
            QVERIFY2(!host, qPrintable(host.value_or(QString())));
        } else {
            QVERIFY(host);
            QCOMPARE(*host, m_root.path() + QLatin1Char('/') + relative);
        }
    }

    void matchesNamesWithoutRegardToCase()
    {
        // A CD copied with lower-case names must still be found.
        write(m_d + QStringLiteral("/maps/gb-03h.jpg"), "jpeg");
        QVERIFY(platform::fileExists(QStringLiteral("D:\\Maps\\GB-03H.JPG")));
        QCOMPARE(*platform::resolve(QStringLiteral("D:\\MAPS\\Gb-03H.Jpg")),
            m_d + QStringLiteral("/maps/gb-03h.jpg"));
        QVERIFY(!platform::fileExists(QStringLiteral("D:\\Maps\\GB-04H.JPG")));
        QVERIFY(!platform::fileExists(QStringLiteral("D:\\Maps"))); // a folder is not a file
        // A name that does not exist yet keeps its spelling (a file to create).
        QCOMPARE(
            *platform::resolve(QStringLiteral("D:\\maps\\New.TXT")), m_d + QStringLiteral("/maps/New.TXT"));
    }

    // A folder whose name merely starts like the drive's ("c" and "cx") is
    // outside it, as is another drive's folder ("cd").
    void symbolicLinksDoNotLeaveTheDrive_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("elsewhere") << QStringLiteral("outside");
        QTest::newRow("sibling named alike") << QStringLiteral("cx");
        QTest::newRow("drive D:'s folder") << QStringLiteral("cd");
    }
    void symbolicLinksDoNotLeaveTheDrive()
    {
        QFETCH(QString, target);
        write(m_root.path() + QLatin1Char('/') + target + QStringLiteral("/secret.txt"), "x");
        QFile::remove(m_c + QStringLiteral("/link")); // the root folder outlives a row
        QVERIFY(QFile::link(m_root.path() + QLatin1Char('/') + target, m_c + QStringLiteral("/link")));
        QVERIFY(!platform::resolve(QStringLiteral("C:\\link\\secret.txt")));
        QVERIFY(!platform::fileExists(QStringLiteral("C:\\link\\secret.txt")));
    }

    // On the read-only atlas drive, where nothing is written, links are
    // followed for reading: a Maps folder that is a link, a sheet that is
    // one. A link there that leads nowhere still reads as missing.
    void linksOnTheReadOnlyDriveAreFollowedForReading()
    {
        // A drive of its own: D:'s folder holds other tests' files.
        const QString cd = m_root.path() + QStringLiteral("/cd2");
        QDir().mkpath(cd);
        DriveTable::instance().setDrive(QLatin1Char('E'), cd, true);
        write(m_root.path() + QStringLiteral("/scans/Maps/GB-03H.JPG"), "sheet");
        write(m_root.path() + QStringLiteral("/scans/loose/GB-04H.JPG"), "another");
        QVERIFY(QFile::link(m_root.path() + QStringLiteral("/scans/Maps"), cd + QStringLiteral("/Maps")));
        QVERIFY(QFile::link(m_root.path() + QStringLiteral("/scans/loose/GB-04H.JPG"),
            m_root.path() + QStringLiteral("/scans/Maps/GB-04H.JPG")));
        QVERIFY(platform::fileExists(QStringLiteral("E:\\Maps\\GB-03H.JPG")));
        QVERIFY(platform::fileExists(QStringLiteral("E:\\maps\\gb-04h.jpg")));
        QVERIFY(!platform::fileExists(QStringLiteral("E:\\Maps\\GB-05H.JPG")));
        // Nothing is written there, link or no link.
        write(m_c + QStringLiteral("/in.txt"), "in");
        QVERIFY_THROWS_EXCEPTION(platform::AppError,
            platform::copyFile(QStringLiteral("C:\\in.txt"), QStringLiteral("E:\\Maps\\new.txt")));
        QVERIFY(!QFile::exists(m_root.path() + QStringLiteral("/scans/Maps/new.txt")));
    }

    // What a path that does not resolve is told as: the link that leads off
    // the drive by name, a missing drive, an empty path.
    void anUnreachablePathIsNamedWithItsReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("link off the drive")
            << QStringLiteral("C:\\away\\x.txt")
            << QStringList { QStringLiteral("\"C:\\away\" is a link that leads outside drive C:") };
        QTest::newRow("no such drive")
            << QStringLiteral("Q:\\x.txt") << QStringList { QStringLiteral("There is no drive Q:") };
        QTest::newRow("empty") << QString() << QStringList { QStringLiteral("empty") };
        QTest::newRow("climbing out")
            << QStringLiteral("C:\\..\\x.txt") << QStringList { QStringLiteral("outside drive C:") };
    }
    void anUnreachablePathIsNamedWithItsReason()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, said);
        QDir().mkpath(m_root.path() + QStringLiteral("/elsewhere"));
        QFile::remove(m_c + QStringLiteral("/away"));
        QVERIFY(QFile::link(m_root.path() + QStringLiteral("/elsewhere"), m_c + QStringLiteral("/away")));
        write(m_c + QStringLiteral("/in.txt"), "in");
        QString message;
        try {
            platform::copyFile(QStringLiteral("C:\\in.txt"), path);
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        for (const QString& part : said)
            QVERIFY2(message.contains(part), qPrintable(message));
        QVERIFY(!message.contains(QStringLiteral("does not exist")));
        QVERIFY(!QFile::exists(m_root.path() + QStringLiteral("/elsewhere/x.txt")));
    }

    // A full drive is called full, and leaves neither the file nor a part
    // of it (a small RAM disk stands in for a full stick; mounting it
    // needs the superuser).
    void aFullDriveIsCalledFull()
    {
        const QString mount = m_root.path() + QStringLiteral("/stick");
        QDir().mkpath(mount);
        if (::geteuid() != 0
            || QProcess::execute(QStringLiteral("mount"),
                   { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                       QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mount })
                != 0)
            QSKIP("a small RAM disk cannot be mounted here");
        DriveTable::instance().setDrive(QLatin1Char('A'), mount);
        write(m_c + QStringLiteral("/big.JPG"), QByteArray(256 * 1024, 'x'));
        QString message;
        try {
            platform::copyFile(QStringLiteral("C:\\big.JPG"), QStringLiteral("A:\\Pix\\000001.JPG"));
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        QDir().mkpath(mount + QStringLiteral("/Pix"));
        try {
            platform::copyFile(QStringLiteral("C:\\big.JPG"), QStringLiteral("A:\\Pix\\000001.JPG"));
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        const QStringList left = QDir(mount + QStringLiteral("/Pix")).entryList(QDir::Files);
        QProcess::execute(QStringLiteral("umount"), { mount });
        QVERIFY2(message.contains(QStringLiteral("The drive is full."))
                && message.contains(QStringLiteral("A:\\Pix")),
            qPrintable(message));
        QCOMPARE(left, QStringList());
    }

    // D:'s folder ("cd") starts with the letters of C:'s ("c"): its files are
    // still D:'s.
    void hostPathsAreNamedByTheirOwnDrive()
    {
        write(m_d + QStringLiteral("/Maps/GB-03H.JPG"), "x");
        QCOMPARE(platform::toWindowsPath(m_d + QStringLiteral("/Maps/GB-03H.JPG")).value_or(QString()),
            QStringLiteral("D:\\Maps\\GB-03H.JPG"));
        QCOMPARE(platform::toWindowsPath(m_d).value_or(QString()), QStringLiteral("D:\\"));
        QVERIFY(!platform::toWindowsPath(m_root.path() + QStringLiteral("/cx/file.txt")));
    }

    void hostPathsPassThrough()
    {
        QCOMPARE(
            *platform::resolve(QStringLiteral("/home/u/photo.jpg")), QStringLiteral("/home/u/photo.jpg"));
        write(m_c + QStringLiteral("/Pix/000001.JPG"), "x");
        QCOMPARE(*platform::toWindowsPath(m_c + QStringLiteral("/Pix/000001.JPG")),
            QStringLiteral("C:\\Pix\\000001.JPG"));
        QVERIFY(!platform::toWindowsPath(m_root.path() + QStringLiteral("/elsewhere.jpg")));
    }

    void readsTheUsersDriveTable()
    {
        qputenv("XDG_CONFIG_HOME", m_root.path().toLocal8Bit() + "/config");
        qputenv("XDG_DATA_HOME", m_root.path().toLocal8Bit() + "/data");
        write(DriveTable::configFilePath(),
            "# my drives\n"
            "D: = "
                + m_root.path().toUtf8()
                + "/mounted (read-only)\n"
                  "a: =\n"
                  "E: = ~/extra\n"
                  "nonsense line\n"
                  "alias Corvane3 = E:\\Data\\\n");
        DriveTable::instance().load();
        const auto d = DriveTable::instance().drive(QLatin1Char('D'));
        QVERIFY(d);
        QCOMPARE(d->hostFolder, m_root.path() + QStringLiteral("/mounted"));
        QVERIFY(d->readOnly);
        QVERIFY(!DriveTable::instance().drive(QLatin1Char('A'))); // taken away by the user
        QCOMPARE(DriveTable::instance().drive(QLatin1Char('E'))->hostFolder,
            QDir::homePath() + QStringLiteral("/extra"));
        QVERIFY(DriveTable::instance().drive(QLatin1Char('C'))); // default kept
        QVERIFY(QFileInfo(DriveTable::instance().drive(QLatin1Char('C'))->hostFolder).isDir()); // and made
        QCOMPARE(*platform::aliasFolder(QStringLiteral("corvane3")),
            QDir::homePath() + QStringLiteral("/extra/Data"));
        QVERIFY(!platform::aliasFolder(QStringLiteral("Nowhere")));
    }

    void copiesByteForByte()
    {
        QByteArray bytes(3 << 20, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        write(m_root.path() + QStringLiteral("/photo.JPG"), bytes);
        write(
            m_c + QStringLiteral("/Pix/000001.JPG"), "older, longer content that must be replaced entirely");
        platform::copyFile(
            m_root.path() + QStringLiteral("/photo.JPG"), QStringLiteral("C:\\Pix\\000001.JPG"));
        QFile copy(m_c + QStringLiteral("/Pix/000001.JPG"));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), bytes);
    }

    void copyFailuresAreClearAndHarmless()
    {
        write(m_c + QStringLiteral("/a.txt"), "a");
        try {
            platform::copyFile(QStringLiteral("C:\\missing.txt"), QStringLiteral("C:\\b.txt"));
            QFAIL("copy of a missing file succeeded");
        } catch (const platform::AppError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Cannot open file \"C:\\missing.txt\".")),
                qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(m_c + QStringLiteral("/b.txt")));
        QVERIFY_THROWS_EXCEPTION(
            platform::AppError, platform::copyFile(QStringLiteral("C:\\a.txt"), QStringLiteral("D:\\a.txt")));
        QVERIFY_THROWS_EXCEPTION(
            platform::AppError, platform::copyFile(QStringLiteral("C:\\a.txt"), QStringLiteral(":\\a.txt")));
        QVERIFY_THROWS_EXCEPTION(
            platform::AppError, platform::copyFile(QStringLiteral("C:\\a.txt"), QStringLiteral("B:\\a.txt")));
        QVERIFY(!QFile::exists(m_d + QStringLiteral("/a.txt")));
    }

    // Writing through a link must not leave the drive either: a link to a
    // folder outside, a link further up the path, a link that leads nowhere.
    void writesDoNotLeaveTheDrive_data()
    {
        QTest::addColumn<QString>("link"); // made in C:, relative to its folder
        QTest::addColumn<QString>("target"); // where it points, relative to the temporary root
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("outside"); // the file that must not appear, relative to the root
        QTest::newRow("link to a folder outside")
            << QStringLiteral("out1") << QStringLiteral("outside1")
            << QStringLiteral("C:\\out1\\new-file.txt") << QStringLiteral("outside1/new-file.txt");
        QTest::newRow("link further up the path") << QStringLiteral("out2") << QStringLiteral("outside2")
                                                  << QStringLiteral("C:\\out2\\sub\\deeper\\new-file.txt")
                                                  << QStringLiteral("outside2/sub/deeper/new-file.txt");
        QTest::newRow("dangling link as the name")
            << QStringLiteral("new-file.txt") << QStringLiteral("outside3/made.txt")
            << QStringLiteral("C:\\new-file.txt") << QStringLiteral("outside3/made.txt");
        QTest::newRow("link to a file outside")
            << QStringLiteral("notes.txt") << QStringLiteral("outside4/notes.txt")
            << QStringLiteral("C:\\notes.txt") << QStringLiteral("outside4/notes.txt");
    }
    void writesDoNotLeaveTheDrive()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(QString, destination);
        QFETCH(QString, outside);
        QDir().mkpath(QFileInfo(m_root.path() + QStringLiteral("/") + outside).path());
        QFile::remove(m_c + QStringLiteral("/") + link);
        QVERIFY(QFile::link(m_root.path() + QStringLiteral("/") + target, m_c + QStringLiteral("/") + link));
        QFile::remove(m_root.path() + QStringLiteral("/") + outside);
        write(m_c + QStringLiteral("/in.txt"), "in");
        if (QTest::currentDataTag() == QByteArrayLiteral("link to a file outside"))
            write(m_root.path() + QStringLiteral("/") + outside, "theirs");

        QVERIFY_THROWS_EXCEPTION(
            platform::AppError, platform::copyFile(QStringLiteral("C:\\in.txt"), destination));
        QFile file(m_root.path() + QStringLiteral("/") + outside);
        QVERIFY(!file.exists() || (file.open(QIODevice::ReadOnly) && file.readAll() == "theirs"));
    }

    // A line of drives.conf that cannot be used is named, with why, and an
    // empty alias keeps the default instead of stopping the program.
    void drivesConfProblemsAreNamed()
    {
        qputenv("XDG_CONFIG_HOME", m_root.path().toLocal8Bit() + "/config-problems");
        qputenv("XDG_DATA_HOME", m_root.path().toLocal8Bit() + "/data");
        write(DriveTable::configFilePath(),
            "# fine\n"
            "D: = /media/cdrom\n"
            "alias Corvane3 =\n"
            "E /media/usb\n"
            "DD: = /x\n");
        DriveTable::instance().load();
        const QStringList problems = DriveTable::instance().problems();
        QCOMPARE(problems.size(), 3);
        QVERIFY2(problems.at(0).startsWith(QStringLiteral("Line 3, \"alias Corvane3 =\""))
                && problems.at(0).contains(QStringLiteral("empty"))
                && problems.at(0).contains(QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\Data\\")),
            qPrintable(problems.at(0)));
        QVERIFY2(problems.at(1).startsWith(QStringLiteral("Line 4, \"E /media/usb\"")),
            qPrintable(problems.at(1)));
        QVERIFY2(
            problems.at(2).startsWith(QStringLiteral("Line 5, \"DD: = /x\"")), qPrintable(problems.at(2)));
        QCOMPARE(*DriveTable::instance().alias(QStringLiteral("Corvane3")),
            QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\Data\\"));
        QCOMPARE(DriveTable::instance().drive(QLatin1Char('D'))->hostFolder, QStringLiteral("/media/cdrom"));
    }

    void shellGetsProperUrls()
    {
        QCOMPARE(platform::shellUrl(QStringLiteral("http:\\\\www.example.com\\home.htm")),
            QUrl(QStringLiteral("http://www.example.com/home.htm")));
        const QUrl page
            = platform::shellUrl(QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\Help\\viewing.htm"));
        QVERIFY(page.isLocalFile());
        QCOMPARE(
            page.toLocalFile(), m_c + QStringLiteral("/Program Files/Quillmere/Corvane3/Help/viewing.htm"));
        QVERIFY(page.toString(QUrl::FullyEncoded).contains(QStringLiteral("Program%20Files")));
        QVERIFY(!platform::shellUrl(QStringLiteral("Q:\\Help\\viewing.htm")).isValid());
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
