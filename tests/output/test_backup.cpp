// The backup to the configured drive and the restore from it: typed text is
// in the backup, the written tables open with the same records, a drive that
// is missing, not ready or read-only is reported and the previous backup
// stays whole, also when the second table fails; pictures are copied once;
// a restore brings back a deleted place with its pictures and can be undone.

#include "kit.h"

#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "output/backup.h"
#include "output/restore.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFrame>

#include <sqlite3.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Session {
    Kit kit;

    explicit Session(const QString& floppy = u"A"_s)
    {
        kit.setConfig(u"Floppy"_s, floppy);
        kit.start();
        kit.passSplash();
        MainForm->showToolButtons();
    }

    QString backupFile(const QString& name) const { return kit.hostPath(u"A:\\"_s + name); }
    QString pixFile(const QString& name) const { return kit.hostPath(vProgramPath + u"Pix\\"_s + name); }

    static void addPlace(int id, const QString& name, const QString& memo)
    {
        platform::Table* descrip = DataModule1->tblDescrip;
        descrip->append();
        descrip->setFieldValue(u"Placeid"_s, id);
        descrip->setFieldValue(u"Place"_s, name);
        descrip->setFieldValue(u"Memo"_s, memo);
        descrip->post();
    }

    void addPicture(const QString& number, int placeId, const QByteArray& bytes) const
    {
        platform::Table* pix = DataModule1->tblPix;
        pix->append();
        pix->setFieldValue(u"Filename"_s, number);
        pix->setFieldValue(u"Placeid"_s, placeId);
        pix->setFieldValue(u"Type"_s, u".JPG"_s);
        pix->post();
        writeFile(pixFile(number + u".JPG"_s), bytes);
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    // The OK of the backup panel, as the user reaches it.
    void backUp()
    {
        kit.clearMessages();
        kit.click(u"spdBackup"_s);
        QVERIFY(MainForm->pnlBackup->isVisible());
        kit.click(u"btnBackupOK"_s);
        QVERIFY(!MainForm->pnlBackup->isVisible());
    }

    QMessageBox::Icon lastIcon() const { return kit.messages().constLast().icon; }
    QString lastText() const { return kit.messageTexts().value(kit.messageTexts().size() - 1); }
};

// The memo of place id in a table file, read on its own.
QString memoIn(const QString& file, int id)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT Memo FROM DESCRIP WHERE Placeid = ?1", -1, &stmt, nullptr);
    sqlite3_bind_int(stmt, 1, id);
    QString memo = u"(no such place)"_s;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        memo = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return memo;
}

int recordsIn(const QString& file)
{
    return platform::Database::checkTableFile(file);
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT

private slots:
    void theBackupHoldsTypedTextAndOpensWithTheSameRecords()
    {
        Session s;
        Session::addPlace(701, u"Rye"_s, u"stored"_s);
        s.addPicture(u"000701"_s, 701, "picture");
        platform::Table* descrip = DataModule1->tblDescrip;
        QVERIFY(descrip->findKey({ 701 }));
        descrip->edit();
        descrip->setFieldValue(u"Memo"_s, u"typed, not yet stored: é {x} \\"_s);

        s.backUp();
        QCOMPARE(s.kit.messages().size(), 1);
        QCOMPARE(s.lastIcon(), QMessageBox::Information);
        QVERIFY2(s.lastText().contains(u"A:"_s), qPrintable(s.lastText()));
        QCOMPARE(memoIn(s.backupFile(u"DESCRIP.DB"_s), 701), u"typed, not yet stored: é {x} \\"_s);
        QCOMPARE(recordsIn(s.backupFile(u"DESCRIP.DB"_s)), descrip->recordCount());
        QCOMPARE(recordsIn(s.backupFile(u"PIX.DB"_s)), DataModule1->tblPix->recordCount());
        QVERIFY(QFileInfo(s.backupFile(u"Pix\\000701.JPG"_s)).isFile());
        QVERIFY(!QFileInfo::exists(s.backupFile(u"DESCRIP.DB.NEW"_s)));
        // The change was stored, not dropped, and the tables are back at their first record.
        QVERIFY(descrip->active() && DataModule1->tblPix->active());
        QCOMPARE(descrip->recNo(), 0);
        QVERIFY(descrip->findKey({ 701 }));
        QCOMPARE(descrip->fieldAsString(u"Memo"_s), u"typed, not yet stored: é {x} \\"_s);
    }

    void anUnusableDriveIsReportedAndThePreviousBackupStays_data()
    {
        QTest::addColumn<QString>("drive"); // what becomes of A: after the first backup
        QTest::addColumn<QString>("floppy"); // the configured letter then
        QTest::addColumn<QString>("cause");
        QTest::newRow("read-only") << u"read-only"_s << u"A"_s << u"read-only"_s;
        QTest::newRow("folder gone") << u"not ready"_s << u"A"_s << u"not ready"_s;
        QTest::newRow("no such drive") << u"kept"_s << u"B"_s << u"no drive B:"_s;
        QTest::newRow("no letter set") << u"kept"_s << QString() << u"No backup drive"_s;
    }

    void anUnusableDriveIsReportedAndThePreviousBackupStays()
    {
        QFETCH(QString, drive);
        QFETCH(QString, floppy);
        QFETCH(QString, cause);
        Session s;
        s.backUp();
        const int before = recordsIn(s.backupFile(u"DESCRIP.DB"_s));
        const QString folder = platform::DriveTable::instance().drive(u'A')->hostFolder;
        Session::addPlace(702, u"Lydd"_s, u"new since the backup"_s);
        if (drive == u"read-only"_s)
            platform::DriveTable::instance().setDrive(u'A', folder, true);
        if (drive == u"not ready"_s)
            platform::DriveTable::instance().setDrive(u'A', folder + u"/unplugged"_s);
        platform::Table* config = DataModule1->tblConfig;
        config->edit();
        config->setFieldValue(u"Floppy"_s, floppy);
        config->post();

        s.backUp();
        QCOMPARE(s.kit.messages().size(), 1);
        QCOMPARE(s.lastIcon(), QMessageBox::Warning);
        QVERIFY2(s.lastText().contains(cause), qPrintable(s.lastText()));
        if (!floppy.isEmpty())
            QVERIFY2(s.lastText().contains(floppy + u":"_s), qPrintable(s.lastText()));
        QCOMPARE(recordsIn(folder + u"/DESCRIP.DB"_s), before);
        QVERIFY(DataModule1->tblDescrip->findKey({ 702 }));
    }

    void aFailureAfterTheFirstTableLeavesTheWholeOldBackup()
    {
        Session s;
        s.backUp();
        const int places = recordsIn(s.backupFile(u"DESCRIP.DB"_s));
        const int pictures = recordsIn(s.backupFile(u"PIX.DB"_s));
        Session::addPlace(703, u"Hythe"_s, u"new"_s);
        s.addPicture(u"000703"_s, 703, "picture");
        // Something on the drive is in the way of the second table's copy.
        QVERIFY(QDir().mkpath(s.backupFile(u"PIX.DB.NEW"_s) + u"/in the way"_s));

        s.backUp();
        QCOMPARE(s.lastIcon(), QMessageBox::Warning);
        QVERIFY2(
            s.lastText().contains(u"A:"_s) && s.lastText().contains(u"PIX.DB"_s), qPrintable(s.lastText()));
        QCOMPARE(recordsIn(s.backupFile(u"DESCRIP.DB"_s)), places);
        QCOMPARE(recordsIn(s.backupFile(u"PIX.DB"_s)), pictures);
        QVERIFY(!QFileInfo::exists(s.backupFile(u"DESCRIP.DB.NEW"_s)));
    }

    void picturesAreCopiedOnceAndThenSkipped()
    {
        Session s;
        for (int i = 1; i <= 3; ++i)
            s.addPicture(u"00072%1"_s.arg(i), 1, QByteArray(1000 * i, char('a' + i)));
        Backup first(*DataModule1, vProgramPath);
        QCOMPARE(first.run(u"A"_s).pictureFiles.copied, 3);
        QFile copy(s.backupFile(u"Pix\\000722.JPG"_s));
        QCOMPARE(copy.size(), 2000);

        // A copy of the same size and time is not written again, so one the
        // test changed behind the backup's back keeps its change.
        const QDateTime time = QFileInfo(copy).lastModified();
        QVERIFY(copy.open(QIODevice::ReadWrite));
        copy.write(QByteArray(2000, 'z'));
        copy.setFileTime(time, QFileDevice::FileModificationTime);
        copy.close();
        Session::writeFile(s.pixFile(u"000723.JPG"_s), QByteArray(5000, 'n')); // changed since

        Backup second(*DataModule1, vProgramPath);
        const BackupReport report = second.run(u"A"_s);
        QVERIFY2(report.ok, qPrintable(report.text));
        QCOMPARE(report.pictureFiles.copied, 1);
        QCOMPARE(QFileInfo(s.backupFile(u"Pix\\000723.JPG"_s)).size(), 5000);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray(2000, 'z'));
    }

    void aRestoreBringsBackADeletedPlaceAndCanBeUndone()
    {
        Session s;
        Session::addPlace(704, u"Old Romney"_s, u"church"_s);
        s.addPicture(u"000704"_s, 704, "the church");
        s.backUp();
        platform::Table* descrip = DataModule1->tblDescrip;
        QVERIFY(descrip->findKey({ 704 }));
        descrip->deleteRecord();
        for (DataModule1->tblPix->first(); !DataModule1->tblPix->eof(); DataModule1->tblPix->next()) {
            if (DataModule1->tblPix->fieldAsString(u"Filename"_s) == u"000704"_s) {
                DataModule1->tblPix->deleteRecord();
                break;
            }
        }
        QVERIFY(QFile::remove(s.pixFile(u"000704.JPG"_s)));
        const int placesAfterDelete = descrip->recordCount();

        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::Yes);
        MainForm->mnuRestoreClick();
        QCOMPARE(s.kit.messages().size(), 2);
        const QString question = s.kit.messageTexts().constFirst();
        QVERIFY2(question.contains(u"A:"_s) && question.contains(u"%1 places"_s.arg(placesAfterDelete + 1)),
            qPrintable(question));
        QVERIFY2(question.contains(QString::number(QDate::currentDate().year())), qPrintable(question));
        QCOMPARE(s.lastIcon(), QMessageBox::Information);
        QVERIFY(descrip->findKey({ 704 }));
        QCOMPARE(descrip->fieldAsString(u"Memo"_s), u"church"_s);
        QVERIFY(QFileInfo(s.pixFile(u"000704.JPG"_s)).isFile());

        // Undone from the copy the restore kept, as the backup panel offers.
        const QDir data(s.kit.hostPath(dataFolder()));
        const QStringList kept = data.entryList({ u"Kept *"_s }, QDir::Dirs);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(newestKeptCopy(), dataFolder() + kept.constFirst() + u"\\"_s);
        s.kit.clearMessages();
        s.kit.get<QAction>(u"mnuUndoRestore"_s)->trigger();
        QCOMPARE(s.kit.messages().size(), 2);
        QCOMPARE(s.lastIcon(), QMessageBox::Information);
        QCOMPARE(descrip->recordCount(), placesAfterDelete);
        QVERIFY(!descrip->findKey({ 704 }));
    }

    void aRestoreTheUserRefusesChangesNothing()
    {
        Session s;
        s.backUp();
        Session::addPlace(705, u"Dymchurch"_s, u"wall"_s);
        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::No);
        MainForm->mnuRestoreClick();
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(DataModule1->tblDescrip->findKey({ 705 }));
        QVERIFY(QDir(s.kit.hostPath(dataFolder())).entryList({ u"Kept *"_s }, QDir::Dirs).isEmpty());
    }
};

QTEST_MAIN(TestBackup)
#include "test_backup.moc"
