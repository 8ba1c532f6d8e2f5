// Importing the original program's places and pictures: every field and the
// exact text, adding with renumbering, replacing with a kept copy, a failure
// at any step changing nothing, and damaged or foreign tables named with
// their fault.

#include "import/legacy_writer.h"
#include "kit.h"

#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "import/legacy_import.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>

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

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void init() { legacy::setImportStepHook({}); }

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
        QTest::newRow("a picture cannot be copied") << u"source gone"_s;
        QTest::newRow("after the pictures were copied") << u"copied"_s;
        QTest::newRow("after the records were stored") << u"stored"_s;
        QTest::newRow("after the pictures were renamed") << u"renamed"_s;
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
        if (failAt == u"source gone"_s)
            QFile::remove(s.original.pix() + u"/000005.BMP"_s); // the last one copied
        else
            legacy::setImportStepHook([failAt](std::string_view step) {
                if (QString::fromLatin1(step.data(), qsizetype(step.size())) == failAt)
                    throw platform::AppError(u"The disk is full."_s);
            });
        QString message;
        try {
            legacy::importInto(s.target(), survey, legacy::ImportMode::Add);
        } catch (const platform::AppError& e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(u"Nothing was imported."_s), qPrintable(message));
        QVERIFY2(message.contains(failAt == u"source gone"_s ? u"000005.BMP"_s : u"The disk is full."_s),
            qPrintable(message));
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
            << u"garbage"_s << u"DESCRIP.DB: the file cannot be read as a table"_s;
        QTest::newRow("another schema as DESCRIP.DB")
            << u"schema places"_s << u"DESCRIP.DB: this is not a table of places"_s;
        QTest::newRow("another schema as PIX.DB")
            << u"schema pictures"_s << u"PIX.DB: this is not a table of pictures"_s;
        QTest::newRow("PIX.DB missing") << u"no pix"_s << u"PIX.DB: the table of pictures is missing"_s;
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
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
