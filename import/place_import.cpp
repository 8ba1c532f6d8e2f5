#include "import/place_import.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/georeferences.h"
#include "data/place_pins.h"
#include "data/user_tables.h"
#include "geo/coordinates.h"
#include "geo/place_files.h"
#include "tables/table.h"

#include <QFileInfo>

#include <climits>
#include <cmath>

namespace corvane {

namespace {

constexpr int kRecordsAtATime = 1000;
constexpr int kRefusalsShown = 20;

struct Stopped { }; // the user stopped the import while storing

// The first of `count` consecutive place numbers no place or picture uses.
int firstFreePlaceId(qsizetype count)
{
    const auto largest
        = [](platform::Table* t) { return t->largestInteger(QStringLiteral("Placeid")).value_or(-1); };
    const qint64 first = std::max(largest(DataModule1->tblDescrip), largest(DataModule1->tblPix)) + 1;
    if (first + count - 1 > INT_MAX)
        throw platform::AppError(
            QObject::tr("The list has no free place numbers left for %1 places.").arg(count));
    return int(first);
}

// A place's row of DESCRIP.DB: pinned where a sheet shows it, otherwise
// with its coordinates kept in its description.
QVariantList placeRecord(int placeId, const platform::GeoPlace& place, PlaceImportReport& report)
{
    QString description = place.description;
    QVariant page, coords;
    if (const std::optional<SheetPoint> on = sheetForLonLat(place.lonLat)) {
        page = on->sheetId;
        coords = formatCoords(QPoint(int(std::floor(on->pixel.x())), int(std::floor(on->pixel.y()))));
        ++report.pinned;
    } else {
        const QString note
            = QObject::tr("No sheet of the atlas shows %1.").arg(platform::formatLatLon(place.lonLat));
        description = description.isEmpty() ? note : description + QStringLiteral("\n") + note;
        ++report.unpinned;
    }
    return { placeId, place.name, page, coords, description.isEmpty() ? QVariant() : QVariant(description) };
}

void storeRecords(const QList<QVariantList>& records, const PlaceImportProgress& progress)
{
    platform::Table* places = DataModule1->tblDescrip;
    DataModule1->dbCorvane->beginBatch();
    try {
        for (qsizetype from = 0; from < records.size(); from += kRecordsAtATime) {
            if (progress && !progress(QObject::tr("Storing the places"), from, records.size()))
                throw Stopped {};
            places->appendRecords(records.mid(from, kRecordsAtATime));
        }
        DataModule1->dbCorvane->commitBatch();
    } catch (...) {
        DataModule1->dbCorvane->rollbackBatch();
        places->cancel();
        places->close();
        places->open();
        throw;
    }
}

} // namespace

QString PlaceImportReport::text() const
{
    if (cancelled)
        return QObject::tr("The import of %1 was stopped; no place was added.").arg(file);
    QString text = QObject::tr("From %1: %2 places added, %3 pinned to a sheet, %4 left unpinned "
                               "(no sheet of the atlas shows them; their coordinates are in their "
                               "descriptions), %5 refused.")
                       .arg(file)
                       .arg(added)
                       .arg(pinned)
                       .arg(unpinned)
                       .arg(refused.size());
    for (qsizetype i = 0; i < refused.size() && i < kRefusalsShown; ++i)
        text += QStringLiteral("\n") + refused[i];
    if (refused.size() > kRefusalsShown)
        text += QStringLiteral("\n") + QObject::tr("... and %1 more.").arg(refused.size() - kRefusalsShown);
    return text;
}

PlaceImportReport importPlaceFile(const QString& hostPath, const PlaceImportProgress& progress)
{
    PlaceImportReport report;
    report.file = QFileInfo(hostPath).fileName();
    const QString reading = QObject::tr("Reading %1").arg(report.file);
    const platform::PlaceFileContents contents = platform::readPlaceFile(
        hostPath, [&](qint64 done, qint64 total) { return !progress || progress(reading, done, total); });
    report.refused = contents.refused;
    if (contents.cancelled) {
        report.cancelled = true;
        return report;
    }
    platform::Table* places = DataModule1->tblDescrip;
    if (places->state() != platform::Table::State::Browse)
        places->post(); // typed text first; a refusal stops the import here
    const int first = firstFreePlaceId(contents.places.size());
    QList<QVariantList> records;
    records.reserve(contents.places.size());
    for (const platform::GeoPlace& place : contents.places) {
        if (progress && records.size() % kRecordsAtATime == 0
            && !progress(QObject::tr("Finding the sheets"), records.size(), contents.places.size())) {
            report.cancelled = true;
            return report;
        }
        records << placeRecord(first + int(records.size()), place, report);
    }
    if (records.isEmpty())
        return report;
    keepCopyOfTables(userTables(*DataModule1), dataFolder(), QStringLiteral("Before import"));
    try {
        storeRecords(records, progress);
    } catch (const Stopped&) {
        report.cancelled = true;
        return report;
    }
    report.added = int(records.size());
    return report;
}

} // namespace corvane
