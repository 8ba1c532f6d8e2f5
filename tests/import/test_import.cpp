// Importing the original program's places and pictures: every field and the
// exact text, adding with renumbering, replacing with a kept copy, a failure
// at any step changing nothing, and damaged or foreign tables named with
// their fault; crafted tables refused at once with the window answering,
// read-only sources, a reader that hangs or dies, blank and extreme
// numbers, picture names that could reach other files, pictures of no
// place, and picture files or descriptions that cannot be read.

#include "import/legacy_writer.h"
#include "kit.h"

#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "import/legacy_import.h"
#include "platform/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace corvane;
using namespace Qt::StringLiterals;
using legacyfix::Row;

namespace {

// Windows-1252 bytes and the text they stand for.
const QByteArray kPlaceBytes = "Caf\xe9 \x80 \x8c\x9c \xdf"_ba;
const QString kPlaceText = u"Café € Œœ ß"_s;

QByteArray longMemo(int size)
{
    QByteArray memo;
    for (int i = 0; memo.size() < size; ++i)
        memo += "Line " + QByteArray::number(i) + " na\xefve \x93quoted\x94\r\n";
    return memo.left(size);
}

QString memoText(const QByteArray& bytes)
{
    QString text = QString::fromLatin1(bytes);
    text.replace(u"\xef"_s, u"ï"_s).replace(QChar(0x93), QChar(0x201C)).replace(QChar(0x94), QChar(0x201D));
    return text.replace(u"\r\n"_s, u"\n"_s);
}

QByteArray pictureBytes(const QString& name)
{
    return "\xff\xd8 picture " + name.toLatin1();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The original's installation: Data with the tables, Pix beside it.
struct Original {
    QString root;
    QString data() const { return root + u"/Data"_s; }
    QString pix() const { return root + u"/Pix"_s; }

    explicit Original(const QString& folder)
        : root(folder)
    {
        QDir().mkpath(data());
        QDir().mkpath(pix());
    }
    void write(const QList<Row>& places, const QList<Row>& pictures, bool memoFile = true)
    {
        QVERIFY(legacyfix::writeDescrip(data(), places, memoFile));
        QVERIFY(legacyfix::writePix(data(), pictures));
    }
    void picture(const QString& name) { writeFile(pix() + u'/' + name, pictureBytes(name)); }
};

// The standard original: place 0 with three pictures (one file missing),
// place 1 without, place 7 with one; long memos and accented text.
void writeStandard(Original& o)
{
    o.write({ { 0, kPlaceBytes, "p. 12", "B3", longMemo(300) }, { 1, "Bath", "", "", "short" },
                { 7, "Wells", "14", "C4", longMemo(5000) } },
        { { "000001", 0, "Nave \xe0 l'est", ".JPG" }, { "000002", 0, "", ".JPG" },
            { "000003", 0, "Font", ".JPEG" }, { "000005", 7, "Tower", ".BMP" } });
    o.picture(u"000001.JPG"_s);
    o.picture(u"000002.JPG"_s);
    o.picture(u"000005.BMP"_s); // 000003.JPEG is missing
}

struct Setup {
    Kit kit;
    Original original { kit.home() + u"/orig"_s };

    Setup()
    {
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.start();
        kit.passSplash();
    }
    legacy::Target target() const
    {
        return { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
            vProgramPath + u"Pix\\"_s, vProgramPath + u"Data\\"_s };
    }
    QString ourPix(const QString& name = {}) const { return kit.hostPath(vProgramPath + u"Pix\\"_s + name); }
    // Our tables as text, row by row, in their stored order.
    static QStringList rows(platform::Table* table)
    {
        QStringList rows;
        for (int r = 0; r < table->recordCount(); ++r) {
            QStringList values;
            for (int f = 0; f < table->def().fields.size(); ++f)
                values << table->valueAt(r, f).toString();
            rows << values.join(u'|');
        }
        return rows;
    }
    void addOurPlace(int id, const QString& name)
    {
        DataModule1->tblDescrip->append();
        DataModule1->tblDescrip->setFieldValue(u"Placeid"_s, id);
        DataModule1->tblDescrip->setFieldValue(u"Place"_s, name);
        DataModule1->tblDescrip->post();
    }
    void addOurPicture(const QString& number, int placeId)
    {
        DataModule1->tblPix->append();
        DataModule1->tblPix->setFieldValue(u"Filename"_s, number);
        DataModule1->tblPix->setFieldValue(u"Placeid"_s, placeId);
        DataModule1->tblPix->setFieldValue(u"Type"_s, u".JPG"_s);
        DataModule1->tblPix->post();
        writeFile(ourPix(number + u".JPG"_s), "ours " + number.toLatin1());
    }
    void runCommand(QMessageBox::StandardButton answer)
    {
        kit.answerMessagesWith(answer);
        kit.setFolderChoice({ original.data() });
        QVERIFY(QMetaObject::invokeMethod(MainForm, "mnuImportClick"));
    }
};

QString pixRow(const QString& number, int placeId, const QString& caption, const QString& type)
{
    return QStringList { number, QString::number(placeId), caption, type }.join(u'|');
}

// ------------------------------------------------------------ crafting

// Where the table header keeps what the crafted inputs change.
constexpr qint64 kBlockSizeAt = 0x05; // in kilobytes
constexpr qint64 kRecordCountAt = 0x06;
constexpr qint64 kFieldCountAt = 0x21;
constexpr qint64 kEncryptionAt = 0x25;
constexpr qint64 kFieldListAt = 0x78; // two bytes a field: type, length

QByteArray readAt(const QString& path, qint64 at, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(at))
        return {};
    return file.read(size);
}

void patch(const QString& path, qint64 at, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(at));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray littleEndian(quint32 value, int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char((value >> (8 * i)) & 0xff);
    return bytes;
}

int headerSizeOf(const QString& path)
{
    const QByteArray bytes = readAt(path, 2, 2);
    return bytes.size() == 2 ? quint8(bytes[0]) | quint8(bytes[1]) << 8 : 0;
}

// Makes DESCRIP.MB a file that never answers (a named pipe nobody writes
// to): the reader waits for it for ever, as for a drive that does not
// answer. Nothing in the test may open it.
void hangOnTheMemoFile(const Original& o)
{
    const QByteArray memo = QFile::encodeName(o.data() + u"/DESCRIP.MB"_s);
    QVERIFY(QFile::remove(QString::fromLocal8Bit(memo)));
    QCOMPARE(::mkfifo(memo.constData(), 0644), 0);
}

// The processes this one started that are still there (not yet reaped
// zombies excluded), with their state letter.
QHash<qint64, char> childProcesses()
{
    QHash<qint64, char> children;
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        const QByteArray stat = readAt(u"/proc/"_s + entry + u"/stat"_s, 0, 1024);
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1 && QString::fromLatin1(fields[1]) == self && fields[0] != "Z")
            children.insert(entry.toLongLong(), fields[0].at(0));
    }
    return children;
}

// The longest time the event loop took to come round while it was watched:
// a timer asks every 10 ms.
class LoopWatch {
public:
    LoopWatch()
    {
        m_clock.start();
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start();
    }
    qint64 longestMs() const { return std::max(m_longest, m_clock.elapsed() - m_last); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// A folder others may read, as a CD's or another user's files are, made
// read-only (or unreadable) by what the test asks; given back whole.
class SharedFolder {
public:
    SharedFolder()
        : m_dir(QDir::tempPath() + u"/corvane-ro-XXXXXX"_s)
    {
        QFile::setPermissions(m_dir.path(), QFile::Permissions(0x7755));
    }
    ~SharedFolder() { setModes(0x7755, 0x6644); }
    QString path() const { return m_dir.path(); }
    // Modes of folders and files, as QFile::Permissions.
    void setModes(int folders, int files)
    {
        QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
            QDirIterator::Subdirectories);
        QStringList entries;
        while (it.hasNext())
            entries << it.next();
        entries << m_dir.path();
        // Folders last from the deepest, so that each stays reachable while its entries change.
        std::sort(entries.begin(), entries.end(),
            [](const QString& a, const QString& b) { return a.size() > b.size(); });
        for (const QString& entry : entries)
            QFile::setPermissions(entry, QFile::Permissions(QFileInfo(entry).isDir() ? folders : files));
    }

private:
    QTemporaryDir m_dir;
};

// Runs a shell command as the reader would run, with the same setup; its
// exit code and what it said.
std::pair<int, QString> runLikeTheReader(const std::function<void()>& setup, const QString& command)
{
    QProcess probe;
    if (setup)
        probe.setChildProcessModifier(setup);
    probe.start(u"/bin/sh"_s, { u"-c"_s, command });
    probe.waitForFinished(10000);
    return { probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1,
        QString::fromLocal8Bit(probe.readAllStandardError()) };
}

// Gives up root's rights in the process it runs in, as the user "nobody".
// Raw system calls: the C library's would also try to change the threads
// of the program that started it, whose memory the new process may share
// until it runs its program.
void becomeNobody()
{
    if (::geteuid() != 0)
        return;
    if (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setgid, 65534) != 0
        || ::syscall(SYS_setuid, 65534) != 0)
        ::_exit(121);
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        legacy::setImportStepHook({});
        legacy::setReaderChildSetup({});
        legacy::setReaderStartedHook({});
    }
    void cleanup() { init(); }

    void readsEveryFieldWithItsExactText()
    {
        Setup s;
        writeStandard(s.original);
        const legacy::Survey survey
            = legacy::survey(s.original.data(), legacy::pictureFolderBeside(s.original.data()));
        const auto& places = survey.tables.places;
        QCOMPARE(places.size(), 3);
        QCOMPARE(places[0].place, kPlaceText);
        QCOMPARE(places[0].page, u"p. 12"_s);
        QCOMPARE(places[0].coords, u"B3"_s);
        QCOMPARE(places[0].memo, memoText(longMemo(300)));
        QCOMPARE(places[1].memo, u"short"_s);
        QCOMPARE(places[2].placeId, 7);
        QCOMPARE(places[2].memo, memoText(longMemo(5000)));
        QCOMPARE(survey.tables.pictures.size(), 4);
        QCOMPARE(survey.tables.pictures[0].caption, u"Nave à l'est"_s);
        QCOMPARE(survey.tables.pictures[2].type, u".JPEG"_s);
        QCOMPARE(survey.filesPresent, 3);
        QCOMPARE(survey.filesMissing, 1);
        QVERIFY(survey.tables.unreadable.isEmpty());
        QVERIFY(!survey.tables.memoFileMissing);
    }

    // Into an empty list every place and picture keeps its number.
    void theCommandImportsIntoAnEmptyList()
    {
        Setup s;
        writeStandard(s.original);
        s.runCommand(QMessageBox::Yes);
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].contains(u"3 places and 4 pictures (3 picture files present, 1 missing)"_s),
            qPrintable(texts[0]));
        QVERIFY2(texts[1].contains(u"Imported 3 places and 4 pictures"_s), qPrintable(texts[1]));
        const QStringList places = Setup::rows(DataModule1->tblDescrip);
        QCOMPARE(places.size(), 3);
        QCOMPARE(places[0], u"0|"_s + kPlaceText + u"|p. 12|B3|"_s + memoText(longMemo(300)));
        QCOMPARE(Setup::rows(DataModule1->tblPix),
            (QStringList { pixRow(u"000001"_s, 0, u"Nave à l'est"_s, u".JPG"_s),
                pixRow(u"000002"_s, 0, {}, u".JPG"_s), pixRow(u"000003"_s, 0, u"Font"_s, u".JPEG"_s),
                pixRow(u"000005"_s, 7, u"Tower"_s, u".BMP"_s) }));
        QCOMPARE(readFile(s.ourPix(u"000005.BMP"_s)), pictureBytes(u"000005.BMP"_s));
        QVERIFY(!QFile::exists(s.ourPix(u"000003.JPEG"_s)));
        QCOMPARE(QDir(s.ourPix()).entryList(QDir::Files).size(), 3); // no temporary left behind
    }

    // Ours: places 0 and 1, pictures 000001 and 000002, and a file 000004.JPG
    // whose record was deleted. Imported places 0 and 1 collide: with 2 and
    // then 3 records, ids 2 and 3 are free. Place 7 keeps its id. Pictures
    // 000003 and 000005 are free and kept; 000001 collides: count 2 + 1 = 3
    // is kept by the import, 4 is a file, 5 is kept, so 6. 000002: count 3 + 1
    // = 4 is a file, 5 kept, 6 taken, so 7.
    void addingRenumbersCollisionsAndKeepsPicturesWithTheirPlaces()
    {
        Setup s;
        writeStandard(s.original);
        s.addOurPlace(0, u"Ours A"_s);
        s.addOurPlace(1, u"Ours B"_s);
        s.addOurPicture(u"000001"_s, 0);
        s.addOurPicture(u"000002"_s, 1);
        writeFile(s.ourPix(u"000004.JPG"_s), "orphan file");
        s.runCommand(QMessageBox::Yes);

        QStringList ids;
        for (const QString& row : Setup::rows(DataModule1->tblDescrip))
            ids << row.section(u'|', 0, 1);
        QCOMPARE(ids,
            (QStringList { u"0|Ours A"_s, u"1|Ours B"_s, u"2|"_s + kPlaceText, u"3|Bath"_s, u"7|Wells"_s }));
        QCOMPARE(Setup::rows(DataModule1->tblPix),
            (QStringList { pixRow(u"000001"_s, 0, {}, u".JPG"_s), pixRow(u"000002"_s, 1, {}, u".JPG"_s),
                pixRow(u"000006"_s, 2, u"Nave à l'est"_s, u".JPG"_s), pixRow(u"000007"_s, 2, {}, u".JPG"_s),
                pixRow(u"000003"_s, 2, u"Font"_s, u".JPEG"_s),
                pixRow(u"000005"_s, 7, u"Tower"_s, u".BMP"_s) }));
        QCOMPARE(readFile(s.ourPix(u"000006.JPG"_s)), pictureBytes(u"000001.JPG"_s));
        QCOMPARE(readFile(s.ourPix(u"000007.JPG"_s)), pictureBytes(u"000002.JPG"_s));
        QCOMPARE(readFile(s.ourPix(u"000001.JPG"_s)), "ours 000001"_ba); // ours untouched
        QCOMPARE(readFile(s.ourPix(u"000004.JPG"_s)), "orphan file"_ba);
    }

    void replacingKeepsACopyAndNeverOverwritesAFile()
    {
        Setup s;
        writeStandard(s.original);
        s.addOurPlace(4, u"Ours"_s);
        s.addOurPicture(u"000001"_s, 4);
        s.runCommand(QMessageBox::No);

        QCOMPARE(Setup::rows(DataModule1->tblDescrip).size(), 3);
        const QStringList pix = Setup::rows(DataModule1->tblPix);
        QCOMPARE(pix.size(), 4);
        // Our old 000001.JPG stays in the folder: the import's 000001 finds
        // count 0 + 1 taken by that file, 2, 3 and 5 kept by the import, so 4.
        QCOMPARE(pix[0], pixRow(u"000004"_s, 0, u"Nave à l'est"_s, u".JPG"_s));
        QCOMPARE(readFile(s.ourPix(u"000001.JPG"_s)), "ours 000001"_ba);
        QCOMPARE(readFile(s.ourPix(u"000004.JPG"_s)), pictureBytes(u"000001.JPG"_s));

        const QStringList kept
            = QDir(s.kit.hostPath(vProgramPath + u"Data"_s)).entryList({ u"Before import *"_s }, QDir::Dirs);
        QCOMPARE(kept.size(), 1);
        QVERIFY(QFileInfo::exists(s.kit.hostPath(vProgramPath + u"Data\\"_s + kept[0] + u"\\PIX.DB"_s)));
        platform::DriveTable::instance().setAlias(u"Kept"_s, vProgramPath + u"Data\\"_s + kept[0] + u"\\"_s);
        platform::Database copy(u"Kept"_s, u"Atlas"_s);
        platform::TableDef def = DataModule1->tblDescrip->def();
        def.componentName = u"tblKept"_s;
        platform::Table keptDescrip(&copy, def);
        keptDescrip.open();
        QCOMPARE(Setup::rows(&keptDescrip), QStringList { u"4|Ours|||"_s });
    }

    void aFailureAtAnyStepChangesNothing_data()
    {
        QTest::addColumn<QString>("failAt");
        QTest::newRow("a picture cannot be written") << u"target blocked"_s;
        QTest::newRow("after the pictures were copied") << u"copied"_s;
        QTest::newRow("after the records were stored") << u"stored"_s;
        QTest::newRow("after the pictures were renamed") << u"renamed"_s;
        // The user's Stop in the progress window, at the first and at the last moment it is heard.
        QTest::newRow("stopped while the pictures are copied") << u"stop Copying pictures"_s;
        QTest::newRow("stopped after the pictures were put in place") << u"stop Storing the pictures"_s;
    }
    void aFailureAtAnyStepChangesNothing()
    {
        QFETCH(QString, failAt);
        Setup s;
        writeStandard(s.original);
        s.addOurPlace(0, u"Ours"_s);
        s.addOurPicture(u"000001"_s, 0);
        const QStringList placesBefore = Setup::rows(DataModule1->tblDescrip);
        const QStringList pixBefore = Setup::rows(DataModule1->tblPix);
        const QStringList filesBefore = QDir(s.ourPix()).entryList(QDir::Files);

        const legacy::Survey survey = legacy::survey(s.original.data(), s.original.pix());
        if (failAt == u"target blocked"_s)
            QVERIFY(
                QDir().mkpath(s.ourPix(u"~import-000005.BMP"_s))); // the last one copied cannot be written
        else
            legacy::setImportStepHook([failAt](std::string_view step) {
                if (QString::fromLatin1(step.data(), qsizetype(step.size())) == failAt)
                    throw platform::AppError(u"The disk is full."_s);
            });
        QStringList stages;
        const legacy::ImportProgress progress = [&](const QString& stage, qint64 done, qint64 total) {
            stages << stage;
            return u"stop "_s + stage != failAt || (stage == u"Storing the pictures"_s && done < total);
        };
        QString message;
        try {
            legacy::importInto(s.target(), survey, legacy::ImportMode::Add, progress);
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        if (failAt.startsWith(u"stop "_s)) {
            QCOMPARE(message, u"The import was stopped; nothing was changed."_s);
            QVERIFY(stages.contains(failAt.mid(5)));
        } else {
            QVERIFY2(message.startsWith(u"Nothing was imported."_s), qPrintable(message));
            QVERIFY2(
                message.contains(failAt == u"target blocked"_s ? u"000005.BMP"_s : u"The disk is full."_s),
                qPrintable(message));
        }
        QCOMPARE(Setup::rows(DataModule1->tblDescrip), placesBefore);
        QCOMPARE(Setup::rows(DataModule1->tblPix), pixBefore);
        QCOMPARE(QDir(s.ourPix()).entryList(QDir::Files), filesBefore);
        // And what is on disk, not only what the open tables hold.
        DataModule1->tblDescrip->close();
        DataModule1->tblDescrip->open();
        QCOMPARE(Setup::rows(DataModule1->tblDescrip), placesBefore);
    }

    void damagedOrForeignTablesAreNamedWithTheirFault_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("truncated DESCRIP.DB") << u"truncate"_s << u"DESCRIP.DB: the file is damaged"_s;
        QTest::newRow("not a table at all")
            << u"garbage"_s << u"DESCRIP.DB: the file cannot be read as the original program's table"_s;
        QTest::newRow("another schema as DESCRIP.DB")
            << u"schema places"_s << u"DESCRIP.DB: this is not a table of places"_s;
        QTest::newRow("another schema as PIX.DB")
            << u"schema pictures"_s << u"PIX.DB: this is not a table of pictures"_s;
        QTest::newRow("PIX.DB missing") << u"no pix"_s << u"(PIX.DB is missing)"_s;
    }
    void damagedOrForeignTablesAreNamedWithTheirFault()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        Setup s;
        writeStandard(s.original);
        const QString descrip = s.original.data() + u"/DESCRIP.DB"_s;
        const QList<legacyfix::Field> other = { { "Name", pxfAlpha, 20 }, { "Amount", pxfLong, 4 } };
        if (damage == u"truncate"_s)
            QVERIFY(QFile::resize(descrip, QFileInfo(descrip).size() - 1000));
        else if (damage == u"garbage"_s)
            writeFile(descrip, QByteArray(3000, '\x5a'));
        else if (damage == u"schema places"_s)
            QVERIFY(QFile::remove(descrip) && legacyfix::writeTable(descrip, other, { { "x", 1 } }));
        else if (damage == u"schema pictures"_s)
            QVERIFY(QFile::remove(s.original.data() + u"/PIX.DB"_s)
                && legacyfix::writeTable(s.original.data() + u"/PIX.DB"_s, other, { { "x", 1 } }));
        else
            QVERIFY(QFile::remove(s.original.data() + u"/PIX.DB"_s));
        s.runCommand(QMessageBox::Yes);
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].contains(expected), qPrintable(texts[0]));
        QVERIFY(DataModule1->tblDescrip->isEmpty());
    }

    // Without the memo file the short descriptions, held in the record
    // itself, still come over; the long ones are empty.
    void aMissingMemoFileIsSaidAndAskedAbout()
    {
        Setup s;
        s.original.write(
            { { 0, "Bath", "", "", "short" }, { 1, "Wells", "", "", longMemo(300) } }, {}, false);
        s.runCommand(QMessageBox::No);
        QCOMPARE(s.kit.messageTexts().size(), 1);
        QVERIFY(s.kit.messageTexts()[0].contains(u"DESCRIP.MB: the memo file is missing"_s));
        QVERIFY(DataModule1->tblDescrip->isEmpty());

        s.kit.clearMessages();
        s.runCommand(QMessageBox::Yes);
        QCOMPARE(
            Setup::rows(DataModule1->tblDescrip), (QStringList { u"0|Bath|||short"_s, u"1|Wells|||"_s }));
    }

    void emptyTablesImportNothing()
    {
        Setup s;
        s.original.write({}, {});
        s.runCommand(QMessageBox::Yes);
        QVERIFY(s.kit.messageTexts().value(0).contains(u"Found 0 places and 0 pictures"_s));
        QVERIFY(DataModule1->tblDescrip->isEmpty());
        QVERIFY(DataModule1->tblPix->isEmpty());
    }

    void freeNumbers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("used");
        QTest::addColumn<int>("expected");
        QTest::newRow("place: the count is free")
            << u"place"_s << 3 << QStringList { u"0"_s, u"1"_s, u"5"_s } << 3;
        QTest::newRow("place: the count is used")
            << u"place"_s << 2 << QStringList { u"0"_s, u"2"_s, u"9"_s } << 10;
        QTest::newRow("picture: count + 1 is free")
            << u"picture"_s << 41 << QStringList { u"000041"_s } << 42;
        QTest::newRow("picture: next free")
            << u"picture"_s << 1 << QStringList { u"000002"_s, u"000003"_s } << 4;
        QTest::newRow("picture: the last number") << u"picture"_s << 999998 << QStringList {} << 999999;
        QTest::newRow("picture: none left") << u"picture"_s << 999998 << QStringList { u"999999"_s } << 0;
        // Never one more than 2147483647: the lowest free number instead.
        QTest::newRow("place: the highest is the largest number")
            << u"place"_s << 1 << QStringList { u"1"_s, u"2147483647"_s } << 0;
        QTest::newRow("place: the largest number and 0 in use")
            << u"place"_s << 1 << QStringList { u"0"_s, u"1"_s, u"2147483647"_s } << 2;
    }
    void freeNumbers()
    {
        QFETCH(QString, kind);
        QFETCH(int, count);
        QFETCH(QStringList, used);
        QFETCH(int, expected);
        if (kind == u"place"_s) {
            QSet<int> ids;
            for (const QString& u : used)
                ids.insert(u.toInt());
            QCOMPARE(legacy::freePlaceId(count, ids), expected);
        } else {
            QCOMPARE(legacy::freePictureNumber(count, QSet<QString>(used.begin(), used.end())), expected);
        }
    }

    // ------------------------------------------------------------ crafted tables

    // Each refused at once, by name and fault, with the window answering
    // all the while and nothing changed; the reader's refusal leaks nothing.
    // Before: fields past the record were read from beyond the reader's
    // buffer, a loop in the block chain or a damaged password field made the
    // library loop until the time limit, 65,535 fields took half a minute,
    // and a negative count said "shorter than its header says".
    void craftedTablesAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("craft");
        QTest::addColumn<QString>("expected");
        QTest::newRow("fields overrun the record") << u"fields overrun"_s
                                                   << u"DESCRIP.DB: the file cannot be read as the original "
                                                      u"program's table: its fields (384 bytes) do "
                                                      "not fit in its records (174 bytes)."_s;
        QTest::newRow("a table that makes the library loop: its blocks lead round")
            << u"block loop"_s << u"DESCRIP.DB: the file is damaged: its data blocks are linked in a loop."_s;
        QTest::newRow("a table that makes the library loop: a garbled password field")
            << u"password field"_s << u"DESCRIP.DB: the table is password-protected."_s;
        QTest::newRow("65,535 fields") << u"absurd field count"_s
                                       << u"DESCRIP.DB: the file cannot be read as the original program's "
                                          u"table: its header claims 65535 "
                                          "fields; a table has 1 to 255."_s;
        QTest::newRow("a negative record count")
            << u"negative count"_s
            << u"DESCRIP.DB: the file is damaged: its header gives a negative number of records (-5)."_s;
    }
    void craftedTablesAreRefusedAtOnce()
    {
        QFETCH(QString, craft);
        QFETCH(QString, expected);
        Setup s;
        QList<Row> places;
        for (int i = 0; i < 300; ++i) // four blocks of records
            places << Row { i, "Place " + QByteArray::number(i), "", "", "short" };
        s.original.write(places, { { "000001", 0, "", ".JPG" } });
        const QString table = s.original.data() + u"/DESCRIP.DB"_s;
        if (craft == u"fields overrun"_s) {
            patch(table, kFieldListAt + 2 * 1 + 1, QByteArray(1, char(250))); // Place: 40 -> 250 bytes
        } else if (craft == u"block loop"_s) {
            const qint64 blockSize = qint64(readAt(table, kBlockSizeAt, 1).at(0)) * 1024;
            patch(table, headerSizeOf(table) + 2 * blockSize, littleEndian(2, 2)); // block 3 leads back to 2
        } else if (craft == u"password field"_s) {
            patch(table, kEncryptionAt + 3, QByteArray(1, char(0x2d)));
        } else if (craft == u"absurd field count"_s) {
            patch(table, kFieldCountAt, littleEndian(65535, 2));
        } else {
            patch(table, kRecordCountAt, littleEndian(quint32(-5), 4));
        }

        LoopWatch loop;
        QElapsedTimer clock;
        clock.start();
        s.runCommand(QMessageBox::Yes);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(loop.longestMs() < 100, qPrintable(QString::number(loop.longestMs())));
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].contains(expected), qPrintable(texts[0]));
        QVERIFY(DataModule1->tblDescrip->isEmpty());
        QVERIFY(QDir(s.ourPix()).entryList(QDir::Files).isEmpty());

        // The reader's own refusal, in this process (only once the helper
        // has shown that it ends): nothing of the library's left behind.
        const qint64 allocatedBefore = legacy::liveLibraryAllocations();
        QString here;
        try {
            legacy::readTablesHere(s.original.data());
        } catch (const platform::AppError& e) {
            here = e.message();
        }
        QVERIFY2(here.startsWith(expected), qPrintable(here));
        QCOMPARE(legacy::liveLibraryAllocations(), allocatedBefore);
    }

    // A genuine table read to its end leaves nothing of the library's behind.
    void readingLeaksNothing()
    {
        Setup s;
        writeStandard(s.original);
        const qint64 before = legacy::liveLibraryAllocations();
        const legacy::Tables tables = legacy::readTablesHere(s.original.data());
        QCOMPARE(tables.places.size(), 3);
        QCOMPARE(legacy::liveLibraryAllocations(), before);
        // A table refused after the library opened it.
        const QString pix = s.original.data() + u"/PIX.DB"_s;
        QVERIFY(QFile::remove(pix) && legacyfix::writeTable(pix, { { "Name", pxfAlpha, 20 } }, { { "x" } }));
        QVERIFY_THROWS_EXCEPTION(platform::AppError, legacy::readTablesHere(s.original.data()));
        QCOMPARE(legacy::liveLibraryAllocations(), before);
    }

    // ------------------------------------------------------------ a reader that does not end

    // The reader makes no progress (its memo file does not answer, as a
    // drive that does not): the progress window shows, the window answers
    // within 100 ms, Stop ends the reader at once and nothing changes.
    void theWindowAnswersWhileTheReaderWorksAndStopChangesNothing()
    {
        Setup s;
        writeStandard(s.original);
        s.addOurPlace(4, u"Ours"_s);
        s.addOurPicture(u"000001"_s, 4);
        const QStringList placesBefore = Setup::rows(DataModule1->tblDescrip);
        const QStringList pixBefore = Setup::rows(DataModule1->tblPix);
        const QStringList filesBefore = QDir(s.ourPix()).entryList(QDir::Files);
        hangOnTheMemoFile(s.original);

        QElapsedTimer clock;
        clock.start();
        qint64 shownAt = -1, clickedAt = -1, stoppedAt = -1;
        QHash<qint64, char> readers;
        QTimer user;
        user.setInterval(20);
        QObject::connect(&user, &QTimer::timeout, [&] {
            auto* dialog = s.kit.find<QProgressDialog>(u"dlgImportProgress"_s);
            if (!dialog || !dialog->isVisible() || clickedAt >= 0)
                return;
            if (shownAt < 0) {
                shownAt = clock.elapsed();
                QObject::connect(dialog, &QProgressDialog::canceled, [&] { stoppedAt = clock.elapsed(); });
                return;
            }
            if (clock.elapsed() - shownAt < 500)
                return;
            readers = childProcesses();
            auto* stop = dialog->findChild<QPushButton*>();
            QVERIFY(stop);
            QVERIFY(stop->text().contains(u"Stop"_s));
            const QPointF centre = QRectF(stop->rect()).center();
            clickedAt = clock.elapsed();
            // As a user's click comes: through the event queue.
            QCoreApplication::postEvent(stop,
                new QMouseEvent(QEvent::MouseButtonPress, centre, stop->mapToGlobal(centre), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(stop,
                new QMouseEvent(QEvent::MouseButtonRelease, centre, stop->mapToGlobal(centre), Qt::LeftButton,
                    Qt::NoButton, Qt::NoModifier));
        });
        user.start();
        LoopWatch loop;
        s.runCommand(QMessageBox::Yes);
        user.stop();

        QVERIFY2(shownAt >= 0 && shownAt < 1000, qPrintable(QString::number(shownAt)));
        QVERIFY(clickedAt >= 0);
        QVERIFY2(stoppedAt >= 0 && stoppedAt - clickedAt < 100,
            qPrintable(QString::number(stoppedAt - clickedAt)));
        QVERIFY2(loop.longestMs() < 100, qPrintable(QString::number(loop.longestMs())));
        QCOMPARE(s.kit.messageTexts(), QStringList { u"The import was stopped; nothing was changed."_s });
        QCOMPARE(readers.size(), 1); // the reader was there, waiting
        QTRY_VERIFY_WITH_TIMEOUT(!childProcesses().contains(readers.keys().value(0)), 2000); // and is gone
        QCOMPARE(Setup::rows(DataModule1->tblDescrip), placesBefore);
        QCOMPARE(Setup::rows(DataModule1->tblPix), pixBefore);
        QCOMPARE(QDir(s.ourPix()).entryList(QDir::Files), filesBefore);
    }

    // The message names the table and what happened, never the reader's
    // last words on standard error (here a sanitizer's banner).
    void aReaderThatHangsOrDiesIsNamedByItsTable_data()
    {
        QTest::addColumn<QString>("fate");
        QTest::addColumn<QString>("expected");
        QTest::newRow("hangs") << u"hangs"_s
                               << u"DESCRIP.DB: reading this table took longer than 1.5 seconds, so it was "
                                  "stopped."_s;
        QTest::newRow("dies")
            << u"dies"_s << u"DESCRIP.DB: the table library failed on this file; it is probably damaged."_s;
    }
    void aReaderThatHangsOrDiesIsNamedByItsTable()
    {
        QFETCH(QString, fate);
        QFETCH(QString, expected);
        Setup s;
        writeStandard(s.original);
        legacy::setReaderChildSetup([] {
            const char banner[] = "==4242==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x6020\n";
            [[maybe_unused]] const auto written = ::write(2, banner, sizeof banner - 1);
        });
        hangOnTheMemoFile(s.original);
        if (fate == u"dies"_s)
            legacy::setReaderStartedHook([](qint64 pid) { ::kill(pid_t(pid), SIGSEGV); });
        legacy::ReadWatch watch;
        watch.timeoutMs = 1500;
        QElapsedTimer clock;
        clock.start();
        QString message;
        try {
            legacy::readTables(s.original.data(), watch);
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(expected), qPrintable(message));
        QVERIFY2(!message.contains(u"Sanitizer"_s), qPrintable(message));
        QVERIFY(clock.elapsed() < 2500);
        QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 2000);
    }

    // ------------------------------------------------------------ read-only sources

    // Tables on a read-only mount, or in files the user may read but not
    // write, are read; a file the user may not read is named so. Before, the
    // library opened every table for writing too: "Permission denied" or
    // "Read-only file system", and a file the user could not read was
    // "cannot be read as a table".
    void readOnlySourcesAreRead_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected"); // empty: read
        QTest::newRow("a read-only mount") << u"read-only mount"_s << QString();
        QTest::newRow("another user's read-only files") << u"read-only files"_s << QString();
        QTest::newRow("a file the user may not read")
            << u"unreadable file"_s << u"DESCRIP.DB: you are not allowed to read this file"_s;
    }
    void readOnlySourcesAreRead()
    {
        QFETCH(QString, source);
        QFETCH(QString, expected);
        Setup s;
        SharedFolder shared;
        Original original(shared.path());
        writeStandard(original);
        const QByteArray folder = QFile::encodeName(shared.path());
        std::function<void()> setup;
        QString probe = u"echo x >> \"%1/Data/DESCRIP.DB\""_s.arg(shared.path());
        QString refusal = u"Permission denied"_s;
        if (source == u"read-only mount"_s) {
            if (::geteuid() != 0)
                QSKIP("making a read-only mount needs root");
            setup = [folder] {
                if (::unshare(CLONE_NEWNS) != 0
                    || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                    || ::mount(folder.constData(), folder.constData(), nullptr, MS_BIND | MS_REC, nullptr)
                        != 0
                    || ::mount(
                           nullptr, folder.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr)
                        != 0)
                    ::_exit(120);
            };
            refusal = u"Read-only file system"_s;
        } else {
            shared.setModes(0x5555, source == u"unreadable file"_s ? 0x4444 : 0x4444);
            if (source == u"unreadable file"_s) {
                QFile::setPermissions(original.data() + u"/DESCRIP.DB"_s, QFile::Permissions());
                probe = u"cat \"%1/Data/DESCRIP.DB\" > /dev/null"_s.arg(shared.path());
            }
            setup = becomeNobody;
        }
        // The reader's surroundings are what they claim to be.
        const auto [code, said] = runLikeTheReader(setup, probe);
        if (code == 120)
            QSKIP("a read-only mount cannot be made here");
        QVERIFY2(code != 0 && said.contains(refusal), qPrintable(said));

        legacy::setReaderChildSetup(setup);
        if (!expected.isEmpty()) {
            QString message;
            try {
                legacy::survey(original.data(), original.pix());
            } catch (const platform::AppError& e) {
                message = e.message();
            }
            QVERIFY2(message.startsWith(expected), qPrintable(message));
            return;
        }
        legacy::Survey survey;
        try {
            survey = legacy::survey(original.data(), original.pix());
        } catch (const platform::AppError& e) {
            QFAIL(qPrintable(e.message()));
        }
        QCOMPARE(survey.tables.places.size(), 3);
        QCOMPARE(survey.tables.places[0].place, kPlaceText);
        QCOMPARE(survey.tables.places[2].memo, memoText(longMemo(5000)));
        QCOMPARE(survey.filesPresent, 3);
        const legacy::Outcome outcome = legacy::importInto(s.target(), survey, legacy::ImportMode::Add);
        QCOMPARE(outcome.filesCopied, 3);
        QCOMPARE(Setup::rows(DataModule1->tblDescrip).size(), 3);
        QCOMPARE(readFile(s.ourPix(u"000005.BMP"_s)), pictureBytes(u"000005.BMP"_s));
    }

    // ------------------------------------------------------------ numbers

    // The original stores a place without a number as a blank field: it
    // reads as 0, and takes a free number when 0 is in use. Before, it came
    // over as -2147483648.
    void aBlankPlaceNumberReadsAsZero_data()
    {
        QTest::addColumn<bool>("zeroTaken");
        QTest::addColumn<int>("expected");
        QTest::newRow("0 is free") << false << 0;
        // Ours: place 0 (one record, so count 1); imported 3 keeps its number.
        QTest::newRow("0 is in use") << true << 1;
    }
    void aBlankPlaceNumberReadsAsZero()
    {
        QFETCH(bool, zeroTaken);
        QFETCH(int, expected);
        Setup s;
        s.original.write({ { legacyfix::Value::none(), "Bath", "", "", "" }, { 3, "Wells", "", "", "" } },
            { { "000001", legacyfix::Value::none(), "Abbey", ".JPG" },
                { "000002", 3, "Cathedral", ".JPG" } });
        if (zeroTaken)
            s.addOurPlace(0, u"Ours"_s);
        s.runCommand(QMessageBox::Yes);
        QStringList places;
        for (const QString& row : Setup::rows(DataModule1->tblDescrip))
            places << row.section(u'|', 0, 1);
        QVERIFY2(places.contains(QString::number(expected) + u"|Bath"_s), qPrintable(places.join(u", "_s)));
        QVERIFY(places.contains(u"3|Wells"_s));
        QCOMPARE(Setup::rows(DataModule1->tblPix),
            (QStringList { pixRow(u"000001"_s, expected, u"Abbey"_s, u".JPG"_s),
                pixRow(u"000002"_s, 3, u"Cathedral"_s, u".JPG"_s) }));
    }

    // With 2147483647 in use, a place that must be renumbered takes the
    // lowest free number; before, it became -2147483648.
    void renumberingNeverWraps()
    {
        Setup s;
        s.addOurPlace(2, u"Ours"_s);
        s.addOurPlace(INT_MAX, u"Last"_s);
        s.original.write({ { 2, "Bath", "", "", "" } }, { { "000007", 2, "Abbey", ".JPG" } });
        s.runCommand(QMessageBox::Yes);
        QStringList places;
        for (const QString& row : Setup::rows(DataModule1->tblDescrip))
            places << row.section(u'|', 0, 1);
        QVERIFY2(places.contains(u"0|Bath"_s), qPrintable(places.join(u", "_s)));
        QCOMPARE(
            Setup::rows(DataModule1->tblPix), QStringList { pixRow(u"000007"_s, 0, u"Abbey"_s, u".JPG"_s) });
    }

    // ------------------------------------------------------------ pictures

    // One picture file vanished and one that cannot be read (a folder under
    // its name) since the survey counted them: the rest is imported, their
    // records come over as ones whose file is missing, and they are named.
    // Before, the whole import was refused.
    void aPartlyUnreadablePictureSetImportsTheRest()
    {
        Setup s;
        writeStandard(s.original);
        const legacy::Survey survey = legacy::survey(s.original.data(), s.original.pix());
        QCOMPARE(survey.filesPresent, 3);
        QVERIFY(QFile::remove(s.original.pix() + u"/000001.JPG"_s));
        QVERIFY(QFile::remove(s.original.pix() + u"/000002.JPG"_s));
        QVERIFY(QDir().mkpath(s.original.pix() + u"/000002.JPG"_s));
        const legacy::Outcome outcome = legacy::importInto(s.target(), survey, legacy::ImportMode::Add);
        QCOMPARE(outcome.unreadableFiles, (QStringList { u"000001.JPG"_s, u"000002.JPG"_s }));
        QCOMPARE(outcome.pictures, 4);
        QCOMPARE(outcome.filesCopied, 1);
        QCOMPARE(Setup::rows(DataModule1->tblPix).size(), 4);
        QCOMPARE(QDir(s.ourPix()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList { u"000005.BMP"_s }); // nothing half-copied left
        QCOMPARE(readFile(s.ourPix(u"000005.BMP"_s)), pictureBytes(u"000005.BMP"_s));
    }

    // A record whose Filename and Type would make a path to the live places
    // table is never joined into a path: it is skipped and named, and the
    // places table stays. Before, it replaced DESCRIP.DB and then deleted it.
    void aCraftedPictureNameReachesNoOtherFile()
    {
        Setup s;
        s.addOurPlace(5, u"Ours"_s);
        const QList<legacyfix::Field> longNames = { { "Filename", pxfAlpha, 30 }, { "Placeid", pxfLong, 4 },
            { "Caption", pxfAlpha, 120 }, { "Type", pxfAlpha, 5 } };
        QVERIFY(legacyfix::writeDescrip(s.original.data(), { { 1, "Bath", "", "", "" } }));
        QVERIFY(legacyfix::writeTable(s.original.data() + u"/PIX.DB"_s, longNames,
            { { "..\\..\\..\\Data\\DESCRIP", 1, "evil", ".DB" }, { "000003", 1, "Abbey", ".JPG" } }));
        writeFile(s.original.pix() + u"/000003.JPG"_s, pictureBytes(u"000003.JPG"_s));
        // What the crafted name would have been read from, on a system that takes "\" for a folder.
        writeFile(s.original.root + u"/Data/DESCRIP.DB.evil"_s, "not a table");
        const QString ourTable = DataModule1->tblDescrip->fileHostPath();
        const QByteArray ourTableBefore = readFile(ourTable).left(16);

        s.runCommand(QMessageBox::Yes);
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].contains(u"\"..\\..\\..\\Data\\DESCRIP.DB\""_s), qPrintable(texts[0]));
        QVERIFY2(texts[1].contains(u"\"..\\..\\..\\Data\\DESCRIP.DB\""_s), qPrintable(texts[1]));
        QVERIFY2(texts[1].contains(u"Imported 1 places and 1 pictures"_s), qPrintable(texts[1]));
        QCOMPARE(
            Setup::rows(DataModule1->tblPix), QStringList { pixRow(u"000003"_s, 1, u"Abbey"_s, u".JPG"_s) });
        QVERIFY(QFileInfo(ourTable).isFile());
        QCOMPARE(readFile(ourTable).left(16), ourTableBefore);
        DataModule1->tblDescrip->close();
        DataModule1->tblDescrip->open();
        QCOMPARE(Setup::rows(DataModule1->tblDescrip).size(), 2);
        QCOMPARE(QDir(s.ourPix()).entryList(QDir::Files), QStringList { u"000003.JPG"_s });
    }

    // Pictures whose place is not in the original's table are left out and
    // counted, never stored under place 0.
    void picturesOfNoPlaceAreNotImportedUnderPlaceZero()
    {
        Setup s;
        s.original.write({ { 5, "Bath", "", "", "" }, { 6, "Wells", "", "", "" } },
            { { "000001", 5, "Abbey", ".JPG" }, { "000002", 9, "Lost", ".JPG" },
                { "000003", 0, "Lost too", ".JPG" } });
        s.runCommand(QMessageBox::Yes);
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].contains(u"2 pictures belong to no place and will not be imported"_s),
            qPrintable(texts[0]));
        QVERIFY2(texts[1].contains(u"2 pictures belong to no place and were not imported"_s),
            qPrintable(texts[1]));
        QVERIFY2(texts[1].contains(u"Imported 2 places and 1 pictures"_s), qPrintable(texts[1]));
        QCOMPARE(
            Setup::rows(DataModule1->tblPix), QStringList { pixRow(u"000001"_s, 5, u"Abbey"_s, u".JPG"_s) });
    }

    // A description the memo file cannot give (the file ends before it) is
    // named before the import and after it; its place comes over.
    void aDescriptionThatCannotBeReadIsReported()
    {
        Setup s;
        s.original.write({ { 1, "Bath", "", "", "short" }, { 2, "Wells", "", "", longMemo(5000) } }, {});
        const QString memo = s.original.data() + u"/DESCRIP.MB"_s;
        QVERIFY(QFile::resize(memo, QFileInfo(memo).size() - 3000));
        s.runCommand(QMessageBox::Yes);
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 2);
        const QString named = u"the description of \"Wells\": it cannot be read"_s;
        QVERIFY2(texts[0].contains(named), qPrintable(texts[0]));
        QVERIFY2(texts[1].contains(named), qPrintable(texts[1]));
        QCOMPARE(
            Setup::rows(DataModule1->tblDescrip), (QStringList { u"1|Bath|||short"_s, u"2|Wells|||"_s }));
    }

    // ------------------------------------------------------------ the folder

    // A folder without the tables is said to be one, with the files needed
    // and where the original kept them, before anything else is asked; this
    // program's own backup is pointed to Restore.
    void aFolderWithoutTheTablesIsSaidToBeOneFirst_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no tables") << u"empty"_s
                                   << QStringList { u"(DESCRIP.DB and PIX.DB are missing)"_s, u"DESCRIP.MB"_s,
                                          u"C:\\Program Files\\Quillmere\\Corvane3\\Data\\"_s, u"(A:\\)"_s };
        QTest::newRow("PIX.DB only missing") << u"no pix"_s << QStringList { u"(PIX.DB is missing)"_s };
        QTest::newRow("this program's backup")
            << u"our backup"_s
            << QStringList { u"holds tables of this program"_s, u"\"Restore from backup...\""_s };
    }
    void aFolderWithoutTheTablesIsSaidToBeOneFirst()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, expected);
        Setup s;
        QDir(s.original.pix()).removeRecursively(); // no Pix beside it either
        if (folder == u"no pix"_s) {
            QVERIFY(legacyfix::writeDescrip(s.original.data(), {}));
        } else if (folder == u"our backup"_s) {
            for (platform::Table* table : { DataModule1->tblDescrip, DataModule1->tblPix })
                QVERIFY(QFile::copy(table->fileHostPath(),
                    s.original.data() + u'/' + QFileInfo(table->fileHostPath()).fileName().toUpper()));
        }
        s.runCommand(QMessageBox::Yes);
        const QStringList texts = s.kit.messageTexts();
        QCOMPARE(texts.size(), 1); // and no question about a picture folder before it
        for (const QString& part : expected)
            QVERIFY2(texts[0].contains(part), qPrintable(texts[0]));
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
