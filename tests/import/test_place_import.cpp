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
#include "tables/table.h"

#include <QtTest>

#include <QFile>

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

    void stopWhileStoringLeavesNothing()
    {
        Setup s;
        QByteArray text = "name,lat,lon\n";
        for (int i = 0; i < 3000; ++i)
            text += "P" + QByteArray::number(i) + ",52.2,-1.5\n";
        const QString path = s.csv(text);
        bool stoppedWhileStoring = false;
        const PlaceImportReport report
            = importPlaceFile(path, [&](const QString& stage, qint64 done, qint64) {
                  stoppedWhileStoring = stage.startsWith(u"Storing"_s) && done >= 1000;
                  return !stoppedWhileStoring;
              });
        QVERIFY(stoppedWhileStoring);
        QVERIFY(report.cancelled);
        QVERIFY(report.text().contains(u"no place was added"_s));
        QCOMPARE(Setup::places(), 1);
        QCOMPARE(fixture::storedValue(u"SELECT COUNT(*) FROM DESCRIP"_s), u"1"_s);
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
        QVERIFY2(s.kit.messageTexts().value(0).contains(u"1 places written to pins.gpx"_s),
            qPrintable(s.kit.messageTexts().value(0)));
        QCOMPARE(platform::readPlaceFile(out).places.value(0).name, u"Dover"_s);
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
