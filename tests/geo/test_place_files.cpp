// Places in the files other mapping programs use, through GDAL's drivers:
// written and read back whole, and bad files refused with the line or the
// reason.

#include "geo/place_files.h"

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

using platform::GeoPlace;
using platform::PlaceFormat;

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString readError(const QString& path)
{
    try {
        platform::readPlaceFile(path);
    } catch (const platform::AppError& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestPlaceFiles : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsNamesAndCoordinates_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("GeoJSON") << "places.geojson";
        QTest::newRow("GPX") << "places.gpx";
        QTest::newRow("KML") << "places.kml";
    }
    void roundTripKeepsNamesAndCoordinates()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        const QList<GeoPlace> places {
            { QStringLiteral("Dún Laoghaire"), QStringLiteral("Hafen & Fähre <Kingstown>"),
                { -6.1353108, 53.2943559 }, QStringLiteral("IR-05F") },
            { QStringLiteral("Llanfair Pwllgwyngyll"), {}, { -4.2081213, 53.2220839 },
                QStringLiteral("GB-04F") },
            { QStringLiteral("Ætheling's Straße"), QStringLiteral("zweite Zeile\nMüller"),
                { 0.0000001, -0.0000001 }, {} },
        };
        const QString path = dir.filePath(file);
        platform::writePlaceFile(path, platform::placeFormatOf(path), places);
        QVERIFY(!QFile::exists(path + QStringLiteral(".part")));
        const platform::PlaceFileContents back = platform::readPlaceFile(path);
        QVERIFY2(back.refused.isEmpty(), qPrintable(back.refused.join(u'\n')));
        QCOMPARE(back.places.size(), places.size());
        for (int i = 0; i < places.size(); ++i) {
            QCOMPARE(back.places[i].name, places[i].name);
            // KML readers fold a description's line breaks into spaces.
            const QString description = places[i].description;
            QCOMPARE(
                back.places[i].description, file.endsWith(u"kml") ? description.simplified() : description);
            QVERIFY2(std::fabs(back.places[i].lonLat.x() - places[i].lonLat.x()) <= 1e-7
                    && std::fabs(back.places[i].lonLat.y() - places[i].lonLat.y()) <= 1e-7,
                qPrintable(places[i].name));
        }
    }

    // GDAL's GeoJSON reader types a property whose every value looks like
    // a date as a date, and gives it back written another way.
    void textsThatLookLikeDatesStayTexts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rising.geojson"));
        const GeoPlace place { QStringLiteral("1916-04-24"), QStringLiteral("2020-05-01T10:00:00Z"),
            { -6.26, 53.35 }, {} };
        platform::writePlaceFile(path, PlaceFormat::GeoJson, { place });
        const platform::PlaceFileContents back = platform::readPlaceFile(path);
        QCOMPARE(back.places.size(), 1);
        QCOMPARE(back.places[0].name, place.name);
        QCOMPARE(back.places[0].description, place.description);
    }

    void csvRowsRefusedByLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("places.csv"));
        write(path,
            "name,latitude,longitude,description\n"
            "York,53.958,-1.080,Minster\n"
            "Nowhere,fifty-three,-1.0,\n"
            "Pole star,91.5,0,\n"
            "\"Bantry, Co. Cork\",\"51°40'48\"\"N\",9°27'W,\n"
            "Dateline,10,-180.5,\n"
            ",52,0,no name\n");
        const platform::PlaceFileContents read = platform::readPlaceFile(path);
        QCOMPARE(read.places.size(), 2);
        QCOMPARE(read.places[0].description, QStringLiteral("Minster"));
        QCOMPARE(read.places[1].name, QStringLiteral("Bantry, Co. Cork"));
        QVERIFY(std::fabs(read.places[1].lonLat.x() + 9.45) < 1e-9);
        QCOMPARE(read.refused.size(), 4);
        QVERIFY2(
            read.refused[0].startsWith(QStringLiteral("line 3:")) && read.refused[0].contains(u"latitude"),
            qPrintable(read.refused[0]));
        QVERIFY2(
            read.refused[1].startsWith(QStringLiteral("line 4:")) && read.refused[1].contains(u"-90 and 90"),
            qPrintable(read.refused[1]));
        QVERIFY2(
            read.refused[2].startsWith(QStringLiteral("line 6:")) && read.refused[2].contains(u"longitude"),
            qPrintable(read.refused[2]));
        QVERIFY(read.refused[3].startsWith(QStringLiteral("line 7:")));
    }

    // XML cannot hold control characters, so a place imported with them
    // would not come back from a GPX or KML export as it went.
    void controlCharactersLeftOutOnReading()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("places.csv"));
        write(path,
            "name,latitude,longitude,description\n"
            "\"Cobh\x01\r\n(Queenstown)\",51.85,-8.29,\"quay\r\nharbour\x07\tsteps\"\n"
            "\x02\x03,52,0,only control characters\n");
        const platform::PlaceFileContents read = platform::readPlaceFile(path);
        QCOMPARE(read.places.size(), 1);
        QCOMPARE(read.places[0].name, QStringLiteral("Cobh (Queenstown)"));
        QCOMPARE(read.places[0].description, QStringLiteral("quay\nharbour\tsteps"));
        QCOMPARE(read.refused.size(), 1);
        const QString gpx = dir.filePath(QStringLiteral("again.gpx"));
        platform::writePlaceFile(gpx, PlaceFormat::Gpx, read.places);
        const platform::PlaceFileContents back = platform::readPlaceFile(gpx);
        QCOMPARE(back.places.size(), 1);
        QCOMPARE(back.places[0].name, read.places[0].name);
        QCOMPARE(back.places[0].description, read.places[0].description);
    }

    void filesThatAreNotPlacesRefused()
    {
        QTemporaryDir dir;
        const QString lines = dir.filePath(QStringLiteral("roads.geojson"));
        write(lines,
            R"({"type":"FeatureCollection","features":[
               {"type":"Feature","properties":{"name":"A"},"geometry":{"type":"Point","coordinates":[0,51]}},
               {"type":"Feature","properties":{"name":"Road"},"geometry":{"type":"LineString","coordinates":[[0,51],[1,52]]}}]})");
        QVERIFY2(readError(lines).contains(QStringLiteral("not a FeatureCollection of points")),
            qPrintable(readError(lines)));
        const QString noColumns = dir.filePath(QStringLiteral("towns.csv"));
        write(noColumns, "town,north,east\nYork,53.9,-1.1\n");
        QVERIFY2(readError(noColumns).contains(QStringLiteral("latitude and longitude columns")),
            qPrintable(readError(noColumns)));
        const QString garbage = dir.filePath(QStringLiteral("broken.gpx"));
        write(garbage, "this is not GPX at all");
        QVERIFY2(readError(garbage).contains(QStringLiteral("broken.gpx")), qPrintable(readError(garbage)));
        QVERIFY(readError(dir.filePath(QStringLiteral("missing.csv")))
                    .contains(QStringLiteral("cannot be found")));
        QVERIFY(readError(dir.filePath(QStringLiteral("notes.docx")))
                    .contains(QStringLiteral("GeoJSON, KML, GPX or CSV")));
    }

    // A long file can be stopped while its lines are counted and while its
    // records are read; the count is the CSV's records, not its lines.
    void readingStopsWhenAsked()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("many.csv"));
        QByteArray text = "name,lat,lon\n";
        for (int i = 0; i < 5000; ++i)
            text += "P" + QByteArray::number(i) + ",52,-1\n";
        write(path, text);
        qint64 lastTotal = 0;
        const platform::PlaceFileContents read
            = platform::readPlaceFile(path, [&](platform::ReadStep step, qint64 done, qint64 total) {
                  if (step == platform::ReadStep::Reading)
                      lastTotal = total;
                  return done < 2000 || step == platform::ReadStep::Counting;
              });
        QVERIFY(read.cancelled);
        QCOMPARE(lastTotal, 5000);
        QVERIFY(read.places.size() <= 2000);

        int reads = 0;
        const platform::PlaceFileContents stopped
            = platform::readPlaceFile(path, [&](platform::ReadStep step, qint64, qint64) {
                  reads += step == platform::ReadStep::Reading;
                  return step != platform::ReadStep::Counting;
              });
        QVERIFY(stopped.cancelled);
        QCOMPARE(reads, 0);
        QVERIFY(stopped.places.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPlaceFiles)
#include "test_place_files.moc"
