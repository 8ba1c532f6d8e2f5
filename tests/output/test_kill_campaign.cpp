// A random kill campaign: a child process runs attach, backup, restore,
// import (add and replace) or delete-place over and over on the notebook,
// and is killed with SIGKILL at a random moment. After each kill the parent
// does what the next start does (an interrupted restore finished or undone
// at random, leftovers cleared) and checks:
// - both tables pass PRAGMA integrity_check;
// - every picture record has its file, and belongs to a place that exists;
// - nothing interrupted work leaves is there (staging files, passing
//   copies, import temporaries, kept copies never finished);
// - the backup set is whole, and is the old set or the new one.
// CORVANE_KILLS sets the number of kills (default 12, quick enough for every
// test run); CORVANE_KILL_SEED the seed. The summary counts each operation
// and the last step each child reached before it died.

#include "import/legacy_writer.h"
#include "kit.h"
#include "kit/user_tables.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "import/legacy_import.h"
#include "output/backup.h"
#include "output/restore.h"
#include "places/pix_store.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// The child's last step, where the parent can read it after the kill.
struct Shared {
    char step[64];
    int iterations;
};

enum class Op { Attach, Backup, Restore, ImportAdd, ImportReplace, DeletePlace };
const char* opName(Op op)
{
    switch (op) {
    case Op::Attach:
        return "attach";
    case Op::Backup:
        return "backup";
    case Op::Restore:
        return "restore";
    case Op::ImportAdd:
        return "import (add)";
    case Op::ImportReplace:
        return "import (replace)";
    case Op::DeletePlace:
        return "delete place";
    }
    return "?";
}

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return "\xff\xd8" + bytes;
}

} // namespace

class TestKillCampaign : public QObject {
    Q_OBJECT

    Kit* m_kit = nullptr;
    QString m_original;
    Shared* m_shared = nullptr;

    QString data(const QString& name) const { return m_kit->hostPath(dataFolder()) + u"/"_s + name; }
    QString pix(const QString& name = {}) const
    {
        return m_kit->hostPath(vProgramPath + u"Pix"_s) + u"/"_s + name;
    }

    legacy::Target target() const
    {
        return { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
            vProgramPath + u"Pix\\"_s, vProgramPath + u"Data\\"_s };
    }

    static QList<int> placeIds()
    {
        QList<int> ids;
        platform::Table* descrip = DataModule1->tblDescrip;
        for (int row = 0; row < descrip->rowCount(); ++row)
            ids << descrip->valueAt(row, descrip->fieldIndex(u"Placeid"_s)).toInt();
        return ids;
    }

    // What deleting a place does (the descriptions window's one batch).
    static void deletePlace(int placeId)
    {
        platform::Table* places = DataModule1->tblDescrip;
        platform::Table* pictures = DataModule1->tblPix;
        if (!places->findKey({ placeId }))
            return;
        DataModule1->dbCorvane->beginBatch();
        try {
            const int field = pictures->fieldIndex(u"Placeid"_s);
            for (int row = pictures->rowCount() - 1; row >= 0; --row) {
                if (pictures->valueAt(row, field).toInt() != placeId)
                    continue;
                pictures->moveTo(row);
                pictures->deleteRecord();
            }
            places->deleteRecord();
            DataModule1->dbCorvane->commitBatch();
        } catch (...) {
            DataModule1->dbCorvane->rollbackBatch();
            throw;
        }
    }

    // The child: the operation over and over until it is killed.
    [[noreturn]] void runChild(Op op, quint32 seed)
    {
        setWorkStepHook([this](std::string_view step) {
            const size_t n = std::min(step.size(), sizeof(m_shared->step) - 1);
            std::memcpy(m_shared->step, step.data(), n);
            m_shared->step[n] = 0;
        });
        legacy::setImportStepHook([this](std::string_view step) {
            const std::string text = "import: " + std::string(step);
            std::strncpy(m_shared->step, text.c_str(), sizeof(m_shared->step) - 1);
        });
        QRandomGenerator random(seed);
        for (int i = 0;; ++i) {
            std::strcpy(m_shared->step, "started");
            try {
                switch (op) {
                case Op::Attach: {
                    const QList<int> ids = placeIds();
                    if (ids.isEmpty())
                        break;
                    DataModule1->tblDescrip->findKey({ ids.at(int(random.bounded(ids.size()))) });
                    const QString source = m_kit->home() + u"/photo%1.jpg"_s.arg(i % 3);
                    attachPicture(source);
                    break;
                }
                case Op::Backup:
                    Backup(*DataModule1, vProgramPath).run(u"A"_s);
                    break;
                case Op::Restore:
                    restoreUserTables(*DataModule1, inspectBackupSet(u"A:\\"_s, vProgramPath), vProgramPath);
                    break;
                case Op::ImportAdd:
                case Op::ImportReplace:
                    legacy::importInto(target(),
                        legacy::survey(m_original + u"/Data"_s, m_original + u"/Pix"_s),
                        op == Op::ImportAdd ? legacy::ImportMode::Add : legacy::ImportMode::Replace);
                    break;
                case Op::DeletePlace: {
                    const QList<int> ids = placeIds();
                    if (!ids.isEmpty())
                        deletePlace(ids.at(int(random.bounded(ids.size()))));
                    break;
                }
                }
                std::strcpy(m_shared->step, "finished");
            } catch (...) {
                std::strcpy(m_shared->step, "failed");
            }
            m_shared->iterations = i + 1;
        }
    }

    // Everything checked after a kill; the failures, one line each.
    QStringList check(const SetMarker& before) const
    {
        QStringList problems;
        for (const QString& table : { u"DESCRIP.DB"_s, u"PIX.DB"_s }) {
            const QString verdict
                = fixture::storedColumn(data(table), u"PRAGMA integrity_check"_s).join(u' ');
            if (verdict != u"ok"_s)
                problems << u"%1: %2"_s.arg(table, verdict);
        }
        const QSet<QString> places = [&] {
            const QStringList ids
                = fixture::storedColumn(data(u"DESCRIP.DB"_s), u"SELECT Placeid FROM DESCRIP"_s);
            return QSet<QString>(ids.cbegin(), ids.cend());
        }();
        const QStringList owners = fixture::storedColumn(data(u"PIX.DB"_s), u"SELECT Placeid FROM PIX"_s);
        const QStringList files
            = fixture::storedColumn(data(u"PIX.DB"_s), u"SELECT Filename || Type FROM PIX"_s);
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (!QFileInfo(pix(files[i])).isFile())
                problems << u"picture %1 has no file"_s.arg(files[i]);
            if (!places.contains(owners.value(i)))
                problems << u"picture %1 belongs to place %2, which does not exist"_s.arg(
                    files[i], owners.value(i));
        }
        const QDir dataDir(m_kit->hostPath(dataFolder()));
        for (const QString& left :
            dataDir.entryList({ u"*.NEW"_s, u"*.part"_s, u"*-mj*"_s }, QDir::Files | QDir::Hidden))
            problems << u"left in Data: %1"_s.arg(left);
        // A journal SQLite left without its header (a transaction killed
        // before its first sync) is not hot: SQLite ignores it and reuses
        // it. A hot one (with its header) must have been rolled back.
        for (const QString& journal : dataDir.entryList({ u"*-journal"_s }, QDir::Files | QDir::Hidden)) {
            QFile file(dataDir.filePath(journal));
            if (file.open(QIODevice::ReadOnly) && file.read(8) == QByteArray::fromHex("d9d505f920a163d7"))
                problems << u"a hot journal is left: %1"_s.arg(journal);
        }
        for (const QString& kept : dataDir.entryList({ u"Kept *"_s, u"Before import *"_s }, QDir::Dirs)) {
            if (readSetMarker(dataDir.filePath(kept)).state != SetMarker::State::Complete)
                problems << u"unfinished kept copy left: %1"_s.arg(kept);
        }
        if (completeKeptCopies(dataFolder()).size() > kKeptCopiesLimit)
            problems << u"more than %1 kept copies"_s.arg(kKeptCopiesLimit);
        for (const QString& left : QDir(pix()).entryList({ u"*.part"_s, u"~import-*"_s }, QDir::Files))
            problems << u"left in Pix: %1"_s.arg(left);
        // The backup set: whole, and the old one or a new one.
        try {
            const BackupSet set = inspectBackupSet(u"A:\\"_s, vProgramPath);
            const SetMarker now = readSetMarker(m_kit->hostPath(u"A:\\"_s));
            if (now.state == SetMarker::State::Missing)
                problems << u"the backup set has no marker"_s;
            if (now.written < before.written)
                problems << u"the backup set went back in time"_s;
            if (now.written == before.written
                && (set.places != before.places || set.pictures != before.pictures))
                problems << u"the old backup set changed"_s;
        } catch (const std::exception& e) {
            problems << u"backup set not whole: %1"_s.arg(QString::fromStdString(e.what()));
        }
        return problems;
    }

private slots:
    void randomKillsLeaveEverythingWhole()
    {
        Kit kit;
        m_kit = &kit;
        kit.setConfig(u"Floppy"_s, u"A"_s);
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.start();
        kit.passSplash();
        const int kills = qEnvironmentVariableIntValue("CORVANE_KILLS") > 0
            ? qEnvironmentVariableIntValue("CORVANE_KILLS")
            : 12;
        const quint32 seed = qEnvironmentVariableIsSet("CORVANE_KILL_SEED")
            ? quint32(qEnvironmentVariableIntValue("CORVANE_KILL_SEED"))
            : QRandomGenerator::global()->generate();
        qInfo("kill campaign: %d kills, seed %u", kills, seed);
        QRandomGenerator random(seed);

        // The notebook: 30 places, 60 pictures with files, some large.
        for (int i = 0; i < 30; ++i) {
            DataModule1->tblDescrip->append();
            DataModule1->tblDescrip->setFieldValue(u"Placeid"_s, 100 + i);
            DataModule1->tblDescrip->setFieldValue(u"Place"_s, u"Place %1"_s.arg(i));
            DataModule1->tblDescrip->setFieldValue(u"Memo"_s, u"A memo of some length. "_s.repeated(20));
            DataModule1->tblDescrip->post();
        }
        for (int i = 1; i <= 60; ++i) {
            const QString number = u"%1"_s.arg(i, 6, 10, QLatin1Char('0'));
            writeFile(pix(number + u".JPG"_s), randomBytes(i % 10 == 0 ? 1 << 20 : 20000, quint32(i)));
            DataModule1->tblPix->append();
            DataModule1->tblPix->setFieldValue(u"Filename"_s, number);
            DataModule1->tblPix->setFieldValue(u"Placeid"_s, 100 + i % 30);
            DataModule1->tblPix->setFieldValue(u"Type"_s, u".JPG"_s);
            DataModule1->tblPix->post();
        }
        for (int i = 0; i < 3; ++i)
            writeFile(kit.home() + u"/photo%1.jpg"_s.arg(i), randomBytes(2 << 20, quint32(1000 + i)));
        // The original program's notebook to import: 10 places, 20 pictures.
        m_original = kit.home() + u"/orig"_s;
        QDir().mkpath(m_original + u"/Data"_s);
        QList<legacyfix::Row> places, pictures;
        for (int i = 0; i < 10; ++i)
            places << legacyfix::Row { i, QByteArray("Old place ") + QByteArray::number(i), "", "", "memo" };
        for (int i = 1; i <= 20; ++i) {
            const QByteArray number = QByteArray::number(i).rightJustified(6, '0');
            pictures << legacyfix::Row { number, i % 10, "caption", ".JPG" };
            writeFile(m_original + u"/Pix/"_s + QString::fromLatin1(number) + u".JPG"_s,
                randomBytes(200000, quint32(i + 50)));
        }
        QVERIFY(legacyfix::writeDescrip(m_original + u"/Data"_s, places));
        QVERIFY(legacyfix::writePix(m_original + u"/Data"_s, pictures));
        QVERIFY(Backup(*DataModule1, vProgramPath).run(u"A"_s).ok);

        void* map
            = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        QVERIFY(map != MAP_FAILED);
        m_shared = static_cast<Shared*>(map);

        const QList<Op> ops { Op::Attach, Op::Backup, Op::Restore, Op::ImportAdd, Op::ImportReplace,
            Op::DeletePlace };
        QMap<QString, QMap<QString, int>> steps; // op -> last step -> kills
        QMap<QString, int> killsOf;
        QStringList failures;
        int done = 0, interruptedRestores = 0;
        while (done < kills) {
            // Attach, backup, restore and import most; delete place now and then.
            const int pick = int(random.bounded(22));
            const Op op = pick < 5 ? Op::Attach
                : pick < 10        ? Op::Backup
                : pick < 15        ? Op::Restore
                : pick < 18        ? Op::ImportAdd
                : pick < 21        ? Op::ImportReplace
                                   : Op::DeletePlace;
            const SetMarker before = readSetMarker(kit.hostPath(u"A:\\"_s));
            std::memset(m_shared, 0, sizeof(Shared));
            const quint32 childSeed = random.generate();
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0)
                runChild(op, childSeed);
            ::usleep(useconds_t(5000 + random.bounded(400000)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            if (!WIFSIGNALED(status))
                continue;
            ++done;
            ++killsOf[QString::fromLatin1(opName(op))];
            const QString last = m_shared->iterations > 0 && std::strcmp(m_shared->step, "started") == 0
                ? u"between runs"_s
                : QString::fromLatin1(m_shared->step);
            ++steps[QString::fromLatin1(opName(op))][last.isEmpty() ? u"before any step"_s : last];

            // The next start.
            closeUserTables(*DataModule1);
            kit.answerMessagesWith(random.bounded(2) ? QMessageBox::Yes : QMessageBox::No);
            if (interruptedReplacement().pending)
                ++interruptedRestores;
            if (!resolveInterruptedRestore())
                failures << u"kill %1 (%2): the interrupted restore was not resolved"_s.arg(done).arg(
                    QLatin1String(opName(op)));
            cleanUpInterruptedWork(vProgramPath);
            reopenUserTables(*DataModule1);
            kit.answerMessagesWith(QMessageBox::Ok);
            for (const QString& problem : check(before))
                failures << u"kill %1 (%2, last step %3): %4"_s.arg(done).arg(
                    QLatin1String(opName(op)), last, problem);
            if (failures.size() > 20)
                break;
        }
        ::munmap(map, sizeof(Shared));

        QString summary
            = u"%1 kills (seed %2), %3 interrupted restores resolved at the next start:\n"_s.arg(done)
                  .arg(seed)
                  .arg(interruptedRestores);
        for (auto it = steps.cbegin(); it != steps.cend(); ++it) {
            QStringList parts;
            for (auto s = it->cbegin(); s != it->cend(); ++s)
                parts << u"%1 x%2"_s.arg(s.key()).arg(s.value());
            summary += u"  %1: %2 kills; last step: %3\n"_s.arg(it.key())
                           .arg(killsOf.value(it.key()))
                           .arg(parts.join(u", "_s));
        }
        qInfo("%s", qPrintable(summary));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));

        // And it all still works: a backup, and a restore of it.
        const BackupReport backup = Backup(*DataModule1, vProgramPath).run(u"A"_s);
        QVERIFY2(backup.ok, qPrintable(backup.text));
        const RestoreReport restore
            = restoreUserTables(*DataModule1, inspectBackupSet(u"A:\\"_s, vProgramPath), vProgramPath);
        QVERIFY2(restore.ok, qPrintable(restore.text));
        QCOMPARE(check(readSetMarker(kit.hostPath(u"A:\\"_s))), QStringList());
        m_kit = nullptr;
    }
};

QTEST_MAIN(TestKillCampaign)
#include "test_kill_campaign.moc"
