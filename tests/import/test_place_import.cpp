// Places brought in from a CSV file and taken out as GeoJSON: pinned to the
// demo sheet that shows them or kept unpinned with their coordinates, free
// place numbers, one transaction that a stop undoes whole, and a copy kept
// for "Go back".

#include "kit.h"
#include "kit/user_tables.h"

#include "data/datamod1.h"
#include "data/georeferences.h"
#include "data/place_pins.h"
#include "data/user_tables.h"
#include "geo/place_files.h"
#include "import/place_import.h"
#include "output/place_export.h"
#include "output/place_export_dialog.h"
#include "tables/table.h"

#include <QtTest>

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <climits>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Setup {
    Kit kit;
    QTemporaryDir files;

    Setup()
    {
        kit.setConfig(u"FirstTime"_s, u"no"_s);
        kit.install();
        // Place 5 and a picture of a place numbered 9: new places start at 10.
        fixture::writeUserTables({ { 5, u"Kew"_s } }, { { u"000001"_s, 9 } });
        kit.start();
        kit.passSplash();
    }
    QString csv(const QByteArray& text)
    {
        const QString path = files.filePath(u"places.csv"_s);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path;
    }
    static QString stored(int placeId, const char* field)
    {
        return fixture::storedValue(
            u"SELECT %1 FROM DESCRIP WHERE Placeid = %2"_s.arg(QLatin1String(field)).arg(placeId));
    }
    static int places() { return DataModule1->tblDescrip->recordCount(); }
    static QString allRows()
    {
        return fixture::storedValue(u"SELECT group_concat(Placeid || '|' || Place || '|' || "
                                    "ifnull(Page, '') || '|' || ifnull(Coords, '') || '|' || "
                                    "ifnull(Memo, ''), ';') FROM DESCRIP"_s);
    }
};

// Where the demo atlas drew London: the gazetteer says.
GazetteerTown london()
{
    for (const GazetteerTown& t : gazetteer())
        if (t.name == u"London")
            return t;
    return {};
}

} // namespace

class TestPlaceImport : public QObject {
    Q_OBJECT
private slots:
    void placesArePinnedNumberedAndReported()
    {
        Setup s;
        const GazetteerTown town = london();
        QCOMPARE(town.sheetId, u"GB-03H"_s);
        const QString path = s.csv("name,latitude,longitude,description\n"
                                   "Londinium,"
            + QByteArray::number(town.lonLat.y(), 'f', 8) + "," + QByteArray::number(town.lonLat.x(), 'f', 8)
            + ",Römische Stadt\n"
              "Mid-Atlantic,45,-30,\n"
              "Broken,52.x,0,\n");
        const PlaceImportReport report = importPlaceFile(path);
        QCOMPARE(report.added, 2);
        QCOMPARE(report.pinned, 1);
        QCOMPARE(report.unpinned, 1);
        QCOMPARE(report.refused.size(), 1);
        QVERIFY(report.text().contains(u"line 4"_s));
        QCOMPARE(Setup::places(), 3);

        QCOMPARE(Setup::stored(10, "Place"), u"Londinium"_s);
        QCOMPARE(Setup::stored(10, "Page"), u"GB-03H"_s);
        const std::optional<QPoint> pin = parseCoords(Setup::stored(10, "Coords"));
        QVERIFY(pin);
        QVERIFY2(QLineF(QPointF(*pin) + QPointF(0.5, 0.5), town.pixel).length() < 2,
            qPrintable(Setup::stored(10, "Coords")));
        QCOMPARE(Setup::stored(10, "Memo"), u"Römische Stadt"_s);
        QCOMPARE(Setup::stored(11, "Page"), QString());
        QVERIFY2(Setup::stored(11, "Memo").contains(u"45.00000, -30.00000"_s),
            qPrintable(Setup::stored(11, "Memo")));

        const QStringList kept = completeKeptCopies(dataFolder());
        QVERIFY(!kept.isEmpty() && kept.constFirst().contains(u"Before import"_s));
    }

    // Stopped while the file's lines are counted, while its records are
    // read or while they are stored, the import leaves the places as they
    // were, row for row.
    void stopAtAnyStepLeavesTheTablesAsTheyWere_data()
    {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<qint64>("after");
        QTest::newRow("counting") << u"Counting"_s << qint64(0);
        QTest::newRow("reading") << u"Reading"_s << qint64(1000);
        QTest::newRow("storing") << u"Storing"_s << qint64(1000);
    }
    void stopAtAnyStepLeavesTheTablesAsTheyWere()
    {
        QFETCH(QString, stage);
        QFETCH(qint64, after);
        Setup s;
        QByteArray text = "name,lat,lon\n";
        for (int i = 0; i < 3000; ++i)
            text += "P" + QByteArray::number(i) + ",52.2,-1.5\n";
        const QString path = s.csv(text);
        const QString before = Setup::allRows();
        QStringList stages;
        const PlaceImportReport report = importPlaceFile(path, [&](const QString& now, qint64 done, qint64) {
            stages << now.section(u' ', 0, 0);
            return !(now.startsWith(stage) && done >= after);
        });
        QCOMPARE(stages.constLast(), stage);
        QVERIFY(report.cancelled);
        QVERIFY(report.text().contains(u"no place was added"_s));
        QCOMPARE(Setup::places(), 1);
        QCOMPARE(Setup::allRows(), before);
    }

    // Place numbers are signed 32-bit: the places past the last free one are
    // refused and counted, and a list whose last number is taken refuses
    // the file before reading it.
    void placeNumbersRunOut()
    {
        Setup s;
        DataModule1->tblDescrip->append();
        DataModule1->tblDescrip->setFieldValue(u"Placeid"_s, INT_MAX - 1);
        DataModule1->tblDescrip->setFieldValue(u"Place"_s, u"Last but one"_s);
        const QString path = s.csv("name,lat,lon\nA,52,-1\nB,52,-1\nC,52,-1\n");
        const PlaceImportReport report = importPlaceFile(path);
        QCOMPARE(report.added, 1);
        QCOMPARE(report.withoutNumber, 2);
        QVERIFY2(report.text().contains(u"2 places were not added: the list has no free place numbers"_s),
            qPrintable(report.text()));
        QCOMPARE(Setup::stored(INT_MAX, "Place"), u"A"_s);
        const QString before = Setup::allRows();
        bool read = false;
        try {
            importPlaceFile(path, [&](const QString&, qint64, qint64) { return read = true; });
            QFAIL("a full list took more places");
        } catch (const platform::AppError& e) {
            QVERIFY2(e.message().contains(u"no free place numbers left"_s), qPrintable(e.message()));
        }
        QVERIFY(!read);
        QCOMPARE(Setup::allRows(), before);
    }

    void commandsReportWhatTheyDid()
    {
        Setup s;
        s.kit.setOpenFileChoice(s.csv("name,lat,lon\nDover,51.1279,1.3134\nBad,100,0\n"));
        s.kit.get<QAction>(u"mnuImportPlaces"_s)->trigger();
        QCOMPARE(s.kit.messageTexts().size(), 1);
        const QString said = s.kit.messageTexts().constFirst();
        QVERIFY2(
            said.contains(u"1 places added, 1 pinned"_s) && said.contains(u"line 3"_s), qPrintable(said));
        s.kit.clearMessages();
        const QString out = s.files.filePath(u"pins.gpx"_s);
        s.kit.setSaveFileChoice(out);
        s.kit.get<QAction>(u"mnuExportPlaces"_s)->trigger();
        Kit::child<QPushButton>(s.kit.find<TfrmPlaceExport>(u"frmPlaceExport"_s), u"btnExport"_s)->click();
        QVERIFY2(s.kit.messageTexts().value(0).contains(u"1 places written to pins.gpx"_s),
            qPrintable(s.kit.messageTexts().value(0)));
        QCOMPARE(platform::readPlaceFile(out).places.value(0).name, u"Dover"_s);
    }

    // "The places ticked here" and "the places pinned to sheet" write
    // exactly those places; ticking none writes nothing and says so.
    void exportWritesTheChosenPlacesOnly()
    {
        Setup s;
        const GazetteerTown town = london();
        const QByteArray at = "," + QByteArray::number(town.lonLat.y(), 'f', 6) + ","
            + QByteArray::number(town.lonLat.x(), 'f', 6) + "\n";
        importPlaceFile(
            s.csv("name,lat,lon\nAlpha" + at + "Beta" + at + "Gamma" + at + "Delta,51.1279,1.3134\n"));
        const auto exported = [&](const char* choice, const QStringList& ticked, const QString& file) {
            s.kit.get<QAction>(u"mnuExportPlaces"_s)->trigger();
            auto* dialog = s.kit.find<TfrmPlaceExport>(u"frmPlaceExport"_s);
            auto* list = Kit::child<QListWidget>(dialog, u"lstPlaces"_s);
            for (int row = 0; row < list->count(); ++row)
                list->item(row)->setCheckState(
                    ticked.contains(list->item(row)->text()) ? Qt::Checked : Qt::Unchecked);
            Kit::child<QComboBox>(dialog, u"cboSheet"_s)->setCurrentText(u"GB-03H"_s);
            Kit::child<QRadioButton>(dialog, QLatin1String(choice))->click();
            s.kit.setSaveFileChoice(s.files.filePath(file));
            Kit::child<QPushButton>(dialog, u"btnExport"_s)->click();
            delete dialog; // not left for the next one's search by name
            QStringList names;
            if (QFile::exists(s.files.filePath(file)))
                for (const platform::GeoPlace& p : platform::readPlaceFile(s.files.filePath(file)).places)
                    names << p.name;
            return names;
        };
        QCOMPARE(exported("rdoChosenPlaces", { u"Beta"_s, u"Delta"_s }, u"two.kml"_s),
            QStringList({ u"Beta"_s, u"Delta"_s }));
        QCOMPARE(exported("rdoAllPlaces", { u"Beta"_s }, u"all.gpx"_s).size(), 4);
        QCOMPARE(exported("rdoSheetPlaces", {}, u"sheet.geojson"_s),
            QStringList({ u"Alpha"_s, u"Beta"_s, u"Gamma"_s }));
        s.kit.clearMessages();
        QCOMPARE(exported("rdoChosenPlaces", {}, u"none.geojson"_s), QStringList());
        QVERIFY2(s.kit.messageTexts().value(0).contains(u"Tick the places"_s),
            qPrintable(s.kit.messageTexts().value(0)));
    }

    void exportedPlacesComeBackWhereTheyWere()
    {
        Setup s;
        const GazetteerTown town = london();
        importPlaceFile(s.csv("name,lat,lon\nSüdwark," + QByteArray::number(town.lonLat.y(), 'f', 8) + ","
            + QByteArray::number(town.lonLat.x(), 'f', 8) + "\n"));
        const QString out = s.files.filePath(u"out.geojson"_s);
        const PlaceExportReport report = exportPlaces(out);
        QCOMPARE(report.written, 1);
        QCOMPARE(report.withoutCoordinates, 1); // Kew is not pinned
        const platform::PlaceFileContents back = platform::readPlaceFile(out);
        QCOMPARE(back.places.size(), 1);
        QCOMPARE(back.places[0].name, u"Südwark"_s);
        // A pin holds a whole pixel, about 40 m on a demo sheet.
        QVERIFY(platform::distanceMetres(back.places[0].lonLat, town.lonLat) < 60);
        QFile json(out);
        QVERIFY(json.open(QIODevice::ReadOnly));
        QVERIFY(json.readAll().contains("\"sheet\": \"GB-03H\""));

        QVERIFY_THROWS_EXCEPTION(platform::AppError, exportPlaces(s.files.filePath(u"none.kml"_s), { 5 }));
        QVERIFY(!QFile::exists(s.files.filePath(u"none.kml"_s)));
    }
};

QTEST_MAIN(TestPlaceImport)
#include "test_place_import.moc"
