// Backups, restores and kept copies that survive anything: a child process
// killed at each exact step of a backup leaves the previous set or the new
// one whole; one killed at each step of a restore is noticed at the next
// start and finished or undone; a crafted name in a backup's Pix folder
// never reaches another file; "go back" takes the newest complete kept copy
// and kept copies stay few. Then the backup and restore behaviours a user
// depends on: a damaged staged table is caught, a failed picture copy is
// never reported complete, a changed picture is copied again, a restore
// never replaces a present picture and is not a success without every one.

#include "import/legacy_writer.h"
#include "kit.h"
#include "kit/user_tables.h"

#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "import/legacy_import.h"
#include "output/backup.h"
#include "output/restore.h"
#include "places/pix_store.h"
#include "platform/desktop.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QString integrity(const QString& file)
{
    return fixture::storedColumn(file, u"PRAGMA integrity_check"_s).join(u' ');
}

// Runs work in a child process that is killed with SIGKILL when it reaches
// the step; true when it died there.
bool killedAt(const QByteArray& step, const std::function<void()>& work)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        setWorkStepHook([step](std::string_view reached) {
            if (reached == std::string_view(step.constData(), size_t(step.size())))
                ::kill(::getpid(), SIGKILL);
        });
        try {
            work();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

struct Session {
    Kit kit;

    Session()
    {
        kit.setConfig(u"Floppy"_s, u"A"_s);
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.start();
        kit.passSplash();
    }

    QString backupRoot() const { return kit.hostPath(u"A:\\"_s); }
    QString backupFile(const QString& name) const { return backupRoot() + u"/"_s + name; }
    QString pixFolder() const { return kit.hostPath(vProgramPath + u"Pix"_s); }
    QString pixFile(const QString& name) const { return pixFolder() + u"/"_s + name; }
    QString dataFile(const QString& name) const { return kit.hostPath(dataFolder()) + u"/"_s + name; }

    static void addPlace(int id, const QString& name)
    {
        platform::Table* descrip = DataModule1->tblDescrip;
        descrip->append();
        descrip->setFieldValue(u"Placeid"_s, id);
        descrip->setFieldValue(u"Place"_s, name);
        descrip->post();
    }

    void addPicture(const QString& number, int placeId, const QByteArray& bytes) const
    {
        writeFile(pixFile(number + u".JPG"_s), bytes);
        platform::Table* pix = DataModule1->tblPix;
        pix->append();
        pix->setFieldValue(u"Filename"_s, number);
        pix->setFieldValue(u"Placeid"_s, placeId);
        pix->setFieldValue(u"Type"_s, u".JPG"_s);
        pix->post();
    }

    static BackupReport backUp()
    {
        Backup backup(*DataModule1, vProgramPath);
        return backup.run(u"A"_s);
    }

    // Place ids of the live tables as stored, and picture numbers.
    QStringList livePlaces() const
    {
        return fixture::storedColumn(
            dataFile(u"DESCRIP.DB"_s), u"SELECT Placeid FROM DESCRIP ORDER BY Placeid"_s);
    }
    QStringList livePictures() const
    {
        return fixture::storedColumn(dataFile(u"PIX.DB"_s), u"SELECT Filename FROM PIX ORDER BY Filename"_s);
    }

    // What the next start does before the tables open.
    void startAgain(QMessageBox::StandardButton answer)
    {
        closeUserTables(*DataModule1);
        kit.clearMessages();
        kit.answerMessagesWith(answer);
        QVERIFY(resolveInterruptedRestore());
        cleanUpInterruptedWork(vProgramPath);
        reopenUserTables(*DataModule1);
        kit.answerMessagesWith(QMessageBox::Ok);
    }

    // Every picture record of the live tables has its file; nothing
    // interrupted work leaves is there; both tables are sound.
    void checkLiveWhole() const
    {
        QCOMPARE(integrity(dataFile(u"DESCRIP.DB"_s)), u"ok"_s);
        QCOMPARE(integrity(dataFile(u"PIX.DB"_s)), u"ok"_s);
        for (const QString& name :
            fixture::storedColumn(dataFile(u"PIX.DB"_s), u"SELECT Filename || Type FROM PIX"_s))
            QVERIFY2(QFileInfo(pixFile(name)).isFile(), qPrintable(name + u" has no file"_s));
        const QDir data(kit.hostPath(dataFolder()));
        QCOMPARE(data.entryList({ u"*.NEW"_s, u"*.part"_s }, QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(QDir(pixFolder()).entryList({ u"*.part"_s, u"~import-*"_s }, QDir::Files), QStringList());
        for (const QString& kept : data.entryList({ u"Kept *"_s, u"Before import *"_s }, QDir::Dirs))
            QVERIFY2(
                readSetMarker(data.filePath(kept)).state == SetMarker::State::Complete, qPrintable(kept));
    }
};

} // namespace

class TestBackupSafety : public QObject {
    Q_OBJECT

private slots:
    // A backup killed at each step: the drive holds the previous set or the
    // new one, whole (every table sound and every picture it lists there),
    // and the next backup completes without leftovers.
    void aKillAtAnyStepOfABackupLeavesTheOldSetOrTheNewOneWhole_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<bool>("newSet");
        QTest::newRow("pictures copied") << "backup: pictures copied"_ba << false;
        QTest::newRow("tables staged") << "backup: tables staged"_ba << false;
        QTest::newRow("set marked") << "backup: set marked"_ba << true;
        QTest::newRow("first table renamed") << "backup: DESCRIP.DB renamed"_ba << true;
        QTest::newRow("second table renamed") << "backup: PIX.DB renamed"_ba << true;
    }
    void aKillAtAnyStepOfABackupLeavesTheOldSetOrTheNewOneWhole()
    {
        QFETCH(QByteArray, step);
        QFETCH(bool, newSet);
        Session s;
        Session::addPlace(801, u"Rye"_s);
        s.addPicture(u"000801"_s, 801, "first picture");
        QVERIFY(Session::backUp().ok);
        Session::addPlace(802, u"Winchelsea"_s);
        s.addPicture(u"000802"_s, 802, "second picture");
        s.addPicture(u"000803"_s, 802, "third picture");

        QVERIFY(killedAt(step, [] { Session::backUp(); }));
        const BackupSet set = inspectBackupSet(u"A:\\"_s); // throws when not whole
        QCOMPARE(set.places, newSet ? 2 : 1);
        QCOMPARE(set.pictures, newSet ? 3 : 1);
        QCOMPARE(set.picturesWithoutFile, 0);
        QCOMPARE(fixture::storedColumn(set.pixFile, u"SELECT count(*) FROM PIX"_s),
            QStringList { QString::number(set.pictures) });

        const BackupReport again = Session::backUp();
        QVERIFY2(again.ok, qPrintable(again.text));
        QCOMPARE(readSetMarker(s.backupRoot()).state, SetMarker::State::Complete);
        QCOMPARE(inspectBackupSet(u"A:\\"_s).places, 2);
        QCOMPARE(QDir(s.backupRoot()).entryList({ u"*.NEW*"_s, u"*.part"_s }, QDir::Files), QStringList());
        QCOMPARE(QDir(s.backupFile(u"Pix"_s)).entryList({ u"*.part"_s }, QDir::Files), QStringList());
    }

    // A restore killed at each step: the next start finds it, tells the
    // user, and finishes it (Yes) or goes back (No); a kill before the
    // tables were put in place changes nothing. Either way the tables match
    // one whole set and every picture record has its file.
    void aKillDuringARestoreIsNoticedAndFinishedOrUndone_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<bool>("journaled"); // the replacement had begun
        QTest::addColumn<bool>("finish"); // the user's answer at the next start
        QTest::newRow("copy kept") << "keep: tables copied"_ba << false << true;
        QTest::newRow("pictures copied") << "restore: pictures copied"_ba << false << true;
        QTest::newRow("tables staged") << "restore: tables staged"_ba << false << true;
        QTest::newRow("journal, finish") << "replace: journal written"_ba << true << true;
        QTest::newRow("journal, go back") << "replace: journal written"_ba << true << false;
        QTest::newRow("first renamed, finish") << "replace: DESCRIP.DB renamed"_ba << true << true;
        QTest::newRow("first renamed, go back") << "replace: DESCRIP.DB renamed"_ba << true << false;
        QTest::newRow("both renamed, go back") << "replace: PIX.DB renamed"_ba << true << false;
    }
    void aKillDuringARestoreIsNoticedAndFinishedOrUndone()
    {
        QFETCH(QByteArray, step);
        QFETCH(bool, journaled);
        QFETCH(bool, finish);
        Session s;
        Session::addPlace(811, u"Lydd"_s);
        s.addPicture(u"000811"_s, 811, "in the backup");
        QVERIFY(Session::backUp().ok);
        const QStringList backupPlaces = s.livePlaces();
        const QStringList backupPictures = s.livePictures();
        // The place goes, and its picture file is lost: the backup brings both back.
        DataModule1->tblPix->first();
        DataModule1->tblPix->deleteRecord();
        QVERIFY(DataModule1->tblDescrip->findKey({ 811 }));
        DataModule1->tblDescrip->deleteRecord();
        QVERIFY(QFile::remove(s.pixFile(u"000811.JPG"_s)));
        Session::addPlace(812, u"Camber"_s);
        s.addPicture(u"000812"_s, 812, "since the backup");
        const QStringList presentPlaces = s.livePlaces();
        const QStringList presentPictures = s.livePictures();

        const BackupSet set = inspectBackupSet(u"A:\\"_s);
        QVERIFY(killedAt(step, [&] { restoreUserTables(*DataModule1, set, vProgramPath); }));
        QCOMPARE(interruptedReplacement().pending, journaled);

        s.startAgain(finish ? QMessageBox::Yes : QMessageBox::No);
        if (journaled) {
            QVERIFY(!s.kit.messages().isEmpty());
            QVERIFY2(s.kit.messageTexts().constFirst().contains(u"interrupted"_s),
                qPrintable(s.kit.messageTexts().constFirst()));
        } else {
            QCOMPARE(s.kit.messageTexts(), QStringList());
        }
        QVERIFY(!interruptedReplacement().pending);
        const bool restored = journaled && finish;
        QCOMPARE(s.livePlaces(), restored ? backupPlaces : presentPlaces);
        QCOMPARE(s.livePictures(), restored ? backupPictures : presentPictures);
        QCOMPARE(DataModule1->tblDescrip->recordCount(), (restored ? backupPlaces : presentPlaces).size());
        if (restored || step != "keep: tables copied")
            QCOMPARE(readFile(s.pixFile(u"000811.JPG"_s)), QByteArray("in the backup"));
        s.checkLiveWhole();
    }

    // Only a plain picture name is read from a backup's Pix folder: a file
    // named to climb into the Data folder is skipped and named, and the
    // live places table stays the restored one.
    void aCraftedNameInABackupNeverReachesTheTables()
    {
        Session s;
        Session::addPlace(821, u"Appledore"_s);
        s.addPicture(u"000821"_s, 821, "church");
        QVERIFY(Session::backUp().ok);
        const QString crafted = u"x\\..\\..\\Data\\DESCRIP.DB"_s;
        writeFile(s.backupFile(u"Pix/"_s + crafted), "not a table");
        writeFile(s.backupFile(u"Data/DESCRIP.DB"_s), "not a table either"); // where the name leads on A:
        writeFile(s.backupFile(u"Pix/000899.JPG.exe"_s), "nor this");
        Session::addPlace(822, u"Brookland"_s);

        s.kit.clearMessages();
        const BackupSet set = inspectBackupSet(u"A:\\"_s);
        QVERIFY(set.notPictures.contains(crafted));
        const RestoreReport report = restoreUserTables(*DataModule1, set, vProgramPath);
        QVERIFY2(report.ok, qPrintable(report.text));
        QVERIFY2(report.text.contains(crafted) && report.text.contains(u"000899.JPG.exe"_s),
            qPrintable(report.text));
        QCOMPARE(integrity(s.dataFile(u"DESCRIP.DB"_s)), u"ok"_s);
        QCOMPARE(s.livePlaces(), QStringList { u"821"_s });
        QVERIFY(!QFileInfo::exists(s.pixFile(crafted)));
        QVERIFY(!QFileInfo::exists(s.pixFile(u"000899.JPG.exe"_s)));
        s.checkLiveWhole();
    }

    // A backup whose list of pictures names a file outside its folder is
    // refused whole, with a message naming it.
    void aBackupWhosePictureListNamesAnotherFileIsRefused()
    {
        Session s;
        Session::addPlace(831, u"Dungeness"_s);
        QVERIFY(Session::backUp().ok);
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(s.backupFile(u"PIX.DB"_s).toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(db,
                "INSERT INTO PIX (Filename, Placeid, Type) VALUES ('..\\..\\..\\Data\\DESCRIP', 831, '.DB')",
                nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(db);
        // The marker's count no longer matches; remove the marker to test
        // the names themselves, as an earlier version's backup.
        QVERIFY(QFile::remove(s.backupFile(kSetMarkerName)));
        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::Yes);
        const RestoreReport report = restoreFromFolder(u"A:\\"_s);
        QVERIFY(!report.ok);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY2(report.text.contains(u"not pictures"_s) && report.text.contains(u"DESCRIP.DB"_s),
            qPrintable(report.text));
        QCOMPARE(s.livePlaces(), QStringList { u"831"_s });
    }

    // A set on the drive that is not whole is refused with a clear message:
    // a picture file it lists is gone, or a picture record has no file.
    void anIncompleteSetIsRefused_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("said");
        QTest::newRow("picture file gone") << u"file"_s << u"incomplete"_s;
        QTest::newRow("table gone") << u"table"_s << u"incomplete"_s;
        QTest::newRow("no marker, record without file") << u"unmarked"_s << u"no file"_s;
    }
    void anIncompleteSetIsRefused()
    {
        QFETCH(QString, damage);
        QFETCH(QString, said);
        Session s;
        Session::addPlace(841, u"Lympne"_s);
        s.addPicture(u"000841"_s, 841, "castle");
        QVERIFY(Session::backUp().ok);
        QVERIFY(QFile::remove(s.pixFile(u"000841.JPG"_s)));
        if (damage == u"file"_s)
            QVERIFY(QFile::remove(s.backupFile(u"Pix/000841.JPG"_s)));
        if (damage == u"table"_s)
            QVERIFY(QFile::remove(s.backupFile(u"PIX.DB"_s)));
        if (damage == u"unmarked"_s) {
            QVERIFY(QFile::remove(s.backupFile(kSetMarkerName)));
            QVERIFY(QFile::remove(s.backupFile(u"Pix/000841.JPG"_s)));
        }
        Session::addPlace(842, u"Hythe"_s);
        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::Yes);
        const RestoreReport report = restoreFromFolder(u"A:\\"_s);
        QVERIFY(!report.ok);
        QCOMPARE(s.kit.messages().size(), 1); // told, not asked
        QVERIFY2(report.text.contains(said) && report.text.contains(u"A:"_s), qPrintable(report.text));
        QCOMPARE(s.livePlaces(), (QStringList { u"841"_s, u"842"_s }));
    }

    // "Go back" takes the newest complete kept copy, passing over one a
    // kill left unfinished (and that the next start removes); at most ten
    // kept copies stay.
    void goBackTakesTheNewestCompleteKeptCopyAndKeptCopiesStayFew()
    {
        Session s;
        Session::addPlace(851, u"Newchurch"_s);
        const QString complete = keepCopyOfUserTables(*DataModule1);
        Session::addPlace(852, u"Ivychurch"_s);
        QVERIFY(killedAt("keep: tables copied", [] { keepCopyOfUserTables(*DataModule1); }));
        const QStringList folders
            = QDir(s.kit.hostPath(dataFolder())).entryList({ u"Kept *"_s }, QDir::Dirs, QDir::Name);
        QCOMPARE(folders.size(), 2);
        // An earlier version's unfinished copy: a table of 0 bytes.
        const QString halfMade = s.kit.hostPath(dataFolder()) + u"/Kept 2099-01-01 000000"_s;
        writeFile(halfMade + u"/DESCRIP.DB"_s, QByteArray());
        QCOMPARE(newestKeptCopy(), complete);

        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::Yes);
        MainForm->mnuUndoRestoreClick();
        QCOMPARE(s.kit.messages().size(), 2);
        QCOMPARE(s.kit.messages().constLast().icon, QMessageBox::Information);
        QCOMPARE(s.livePlaces(), QStringList { u"851"_s });

        cleanUpInterruptedWork(vProgramPath);
        QVERIFY(!QFileInfo::exists(halfMade));
        for (int i = 0; i < 12; ++i)
            keepCopyOfUserTables(*DataModule1);
        QCOMPARE(completeKeptCopies(dataFolder()).size(), kKeptCopiesLimit);
        QCOMPARE(QDir(s.kit.hostPath(dataFolder())).entryList({ u"Kept *"_s }, QDir::Dirs).size(),
            kKeptCopiesLimit);
        s.checkLiveWhole();
    }

    // Attaching killed between the copy and the record: a file without a
    // record (its number not given again), never a record without a file;
    // a passing copy left by a kill is removed at the next start and never
    // backed up.
    void aKillWhileAttachingNeverLeavesARecordWithoutItsFile()
    {
        Session s;
        Session::addPlace(861, u"Snargate"_s);
        DataModule1->tblDescrip->findKey({ 861 });
        const QString source = s.kit.home() + u"/church.jpg"_s;
        writeFile(source, "\xff\xd8 church");
        QVERIFY(killedAt("attach: file copied", [&] { attachPicture(source); }));
        writeFile(s.pixFile(u"000777.JPG.part"_s), "half a copy");
        QCOMPARE(s.livePictures(), QStringList());
        cleanUpInterruptedWork(vProgramPath);
        QCOMPARE(QDir(s.pixFolder()).entryList(QDir::Files), QStringList { u"000001.JPG"_s });
        QCOMPARE(attachPicture(source), u"000002"_s);
        QVERIFY(Session::backUp().ok);
        QVERIFY(!QFileInfo::exists(s.backupFile(u"Pix/000777.JPG.part"_s)));
        s.checkLiveWhole();
    }

    // "Go back" returns to the tables just before the last import, an
    // "add" as much as a "replace": never further back.
    void goBackAfterAnAddImportReturnsToJustBeforeIt()
    {
        Session s;
        Session::addPlace(500, u"Ours"_s);
        const QString original = s.kit.home() + u"/orig"_s;
        QDir().mkpath(original + u"/Data"_s);
        QDir().mkpath(original + u"/Pix"_s);
        QVERIFY(legacyfix::writeDescrip(original + u"/Data"_s, { { 7, "Wells", "", "", "short" } }));
        QVERIFY(legacyfix::writePix(original + u"/Data"_s, { { "000005", 7, "Tower", ".JPG" } }));
        writeFile(original + u"/Pix/000005.JPG"_s, "tower");
        const legacy::Target target { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
            vProgramPath + u"Pix\\"_s, vProgramPath + u"Data\\"_s };
        const legacy::Survey survey = legacy::survey(original + u"/Data"_s, original + u"/Pix"_s);
        legacy::importInto(target, survey, legacy::ImportMode::Replace);
        QCOMPARE(s.livePlaces(), QStringList { u"7"_s });
        Session::addPlace(501, u"Added after the first import"_s);
        const QStringList beforeAdd = s.livePlaces();
        legacy::importInto(target, survey, legacy::ImportMode::Add);
        QCOMPARE(s.livePlaces().size(), 3);

        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::Yes);
        MainForm->mnuUndoRestoreClick();
        QCOMPARE(s.kit.messages().constLast().icon, QMessageBox::Information);
        QCOMPARE(s.livePlaces(), beforeAdd);
        s.checkLiveWhole();
    }

    // ---- the backup and restore behaviours a user depends on

    // A staged table damaged before it is checked: the old backup stays
    // and the user is told.
    void aDamagedStagedTableIsCaughtAndTheOldBackupStays_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("damage");
        QTest::newRow("places, bytes") << u"DESCRIP.DB"_s << u"bytes"_s;
        QTest::newRow("pictures, bytes") << u"PIX.DB"_s << u"bytes"_s;
        QTest::newRow("places, cut short") << u"DESCRIP.DB"_s << u"cut"_s;
    }
    void aDamagedStagedTableIsCaughtAndTheOldBackupStays()
    {
        QFETCH(QString, table);
        QFETCH(QString, damage);
        Session s;
        for (int i = 0; i < 200; ++i)
            Session::addPlace(1000 + i, u"Place %1 with a long enough name"_s.arg(i));
        s.addPicture(u"000871"_s, 1000, "picture");
        QVERIFY(Session::backUp().ok);
        const SetMarker before = readSetMarker(s.backupRoot());
        Session::addPlace(999, u"New since"_s);

        Backup backup(*DataModule1, vProgramPath);
        backup.setProgress([&](const QString& stage, qint64, qint64) {
            if (stage != u"Checking %1..."_s.arg(table))
                return;
            QFile staged(s.backupFile(table + u".NEW"_s));
            QVERIFY(staged.open(QIODevice::ReadWrite));
            if (damage == u"cut"_s) {
                staged.resize(staged.size() - 4096);
            } else {
                staged.seek(staged.size() / 2 + 100);
                staged.write("damage: a byte run the medium lost");
            }
        });
        s.kit.clearMessages();
        const BackupReport report = backup.run(u"A"_s);
        QVERIFY(!report.ok);
        QVERIFY2(report.text.contains(u"damaged"_s) && report.text.contains(table)
                && report.text.contains(u"unchanged"_s),
            qPrintable(report.text));
        QCOMPARE(readSetMarker(s.backupRoot()).written, before.written);
        QCOMPARE(inspectBackupSet(u"A:\\"_s).places, 200);
        QCOMPARE(QDir(s.backupRoot()).entryList({ u"*.NEW"_s }, QDir::Files), QStringList());
    }

    // A picture that cannot be copied: the backup is not reported complete
    // and the previous set stays.
    void aBackupWhosePictureCopyFailedIsNeverComplete()
    {
        Session s;
        Session::addPlace(881, u"Ruckinge"_s);
        QVERIFY(Session::backUp().ok);
        const SetMarker before = readSetMarker(s.backupRoot());
        s.addPicture(u"000881"_s, 881, "cannot be copied");
        // In the way of the copy on the drive (permissions would not stop root).
        QVERIFY(QDir().mkpath(s.backupFile(u"Pix/000881.JPG.part/x"_s)));
        const BackupReport report = Session::backUp();
        QVERIFY(!report.ok);
        QVERIFY2(!report.text.contains(u"complete"_s) && report.text.contains(u"000881.JPG"_s),
            qPrintable(report.text));
        QCOMPARE(readSetMarker(s.backupRoot()).written, before.written);
        QCOMPARE(inspectBackupSet(u"A:\\"_s).pictures, 0);
    }

    // A picture changed since the last backup, same name and size, even
    // with its old modification time, is copied again.
    void aPictureChangedSinceTheLastBackupIsCopiedAgain()
    {
        Session s;
        Session::addPlace(891, u"Warehorne"_s);
        s.addPicture(u"000891"_s, 891, "before the change");
        QVERIFY(Session::backUp().ok);
        const QDateTime time = QFileInfo(s.pixFile(u"000891.JPG"_s)).lastModified();
        QFile picture(s.pixFile(u"000891.JPG"_s));
        QVERIFY(picture.open(QIODevice::ReadWrite));
        picture.write("after the change!");
        picture.setFileTime(time, QFileDevice::FileModificationTime);
        picture.close();
        QCOMPARE(QFileInfo(s.pixFile(u"000891.JPG"_s)).size(), qint64(17));

        const BackupReport report = Session::backUp();
        QVERIFY2(report.ok, qPrintable(report.text));
        QCOMPARE(report.pictureFiles.copied, 1);
        QCOMPARE(readFile(s.backupFile(u"Pix/000891.JPG"_s)), QByteArray("after the change!"));
        QCOMPARE(Session::backUp().pictureFiles.copied, 0); // and then no more
    }

    // A restore adds the pictures that are missing and never replaces one
    // that is there.
    void aRestoreOnlyAddsMissingPictures()
    {
        Session s;
        Session::addPlace(901, u"Bilsington"_s);
        s.addPicture(u"000901"_s, 901, "backup's own");
        s.addPicture(u"000902"_s, 901, "second");
        QVERIFY(Session::backUp().ok);
        writeFile(s.pixFile(u"000901.JPG"_s), "changed here");
        QVERIFY(QFile::remove(s.pixFile(u"000902.JPG"_s)));
        const RestoreReport report
            = restoreUserTables(*DataModule1, inspectBackupSet(u"A:\\"_s), vProgramPath);
        QVERIFY2(report.ok, qPrintable(report.text));
        QCOMPARE(report.picturesRestored, 1);
        QCOMPARE(readFile(s.pixFile(u"000901.JPG"_s)), QByteArray("changed here"));
        QCOMPARE(readFile(s.pixFile(u"000902.JPG"_s)), QByteArray("second"));
    }

    // A picture that cannot be brought back: the restore is no success and
    // changes no table.
    void aRestoreThatCannotBringEveryPictureBackIsNoSuccess()
    {
        Session s;
        Session::addPlace(911, u"Aldington"_s);
        s.addPicture(u"000911"_s, 911, "one");
        s.addPicture(u"000912"_s, 911, "two");
        QVERIFY(Session::backUp().ok);
        QVERIFY(QFile::remove(s.pixFile(u"000912.JPG"_s)));
        QVERIFY(QDir().mkpath(s.pixFile(u"000912.JPG.part/x"_s)));
        Session::addPlace(912, u"Bonnington"_s);
        s.kit.clearMessages();
        s.kit.answerMessagesWith(QMessageBox::Yes);
        const RestoreReport report = restoreFromFolder(u"A:\\"_s);
        QVERIFY(!report.ok);
        QCOMPARE(s.kit.messages().constLast().icon, QMessageBox::Warning);
        QVERIFY2(report.text.contains(u"000912.JPG"_s) && report.text.contains(u"Nothing was restored"_s),
            qPrintable(report.text));
        QCOMPARE(s.livePlaces(), (QStringList { u"911"_s, u"912"_s }));
        QVERIFY(newestKeptCopy().isEmpty()); // nothing to go back from
    }
};

QTEST_MAIN(TestBackupSafety)
#include "test_backup_safety.moc"
