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

// The first place number after every one a place or a picture uses.
// Throws AppError, before anything is read, when there is none.
int firstFreePlaceId()
{
    const auto largest
        = [](platform::Table* t) { return t->largestInteger(QStringLiteral("Placeid")).value_or(-1); };
    const qint64 first = std::max(largest(DataModule1->tblDescrip), largest(DataModule1->tblPix)) + 1;
    if (first > INT_MAX)
        throw platform::AppError(QObject::tr("The list has no free place numbers left: a place already has "
                                             "the last one, %1.")
                                     .arg(INT_MAX));
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

// Pins and stores the places with numbers from `first` on, all or none.
void storePlaces(const QList<platform::GeoPlace>& found, int first, PlaceImportReport& report,
    const PlaceImportProgress& progress)
{
    platform::Table* places = DataModule1->tblDescrip;
    // A group is the longest wait for Stop.
    const qsizetype group = kRecordsAtATime;
    // The fits read the user's points, whose table cannot open inside the
    // batch: made before it.
    for (const QString& sheetId : georeferencedSheets())
        sheetGeoreference(sheetId);
    DataModule1->dbCorvane->beginBatch();
    try {
        for (qsizetype from = 0; from < found.size(); from += group) {
            if (progress && !progress(QObject::tr("Storing the places"), from, found.size()))
                throw Stopped {};
            QList<QVariantList> records;
            records.reserve(std::min(group, found.size() - from));
            for (qsizetype i = from; i < from + group && i < found.size(); ++i)
                records << placeRecord(first + int(i), found[i], report);
            places->appendRecords(records);
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
                       .arg(refused.size() + withoutNumber);
    if (withoutNumber > 0)
        text += QStringLiteral("\n")
            + QObject::tr("%1 places were not added: the list has no free place numbers past %2.")
                  .arg(withoutNumber)
                  .arg(INT_MAX);
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
    platform::Table* places = DataModule1->tblDescrip;
    if (places->state() != platform::Table::State::Browse)
        places->post(); // typed text first; a refusal stops the import here
    const int first = firstFreePlaceId();
    const QString counting = QObject::tr("Counting the places in %1").arg(report.file);
    const QString reading = QObject::tr("Reading %1").arg(report.file);
    platform::PlaceFileContents contents
        = platform::readPlaceFile(hostPath, [&](platform::ReadStep step, qint64 done, qint64 total) {
              return !progress
                  || progress(step == platform::ReadStep::Counting ? counting : reading, done, total);
          });
    report.refused = contents.refused;
    report.cancelled = contents.cancelled;
    const qint64 numbers = qint64(INT_MAX) - first + 1;
    if (contents.places.size() > numbers) {
        report.withoutNumber = contents.places.size() - numbers;
        contents.places.resize(numbers);
    }
    if (report.cancelled || contents.places.isEmpty())
        return report;
    keepCopyOfTables(userTables(*DataModule1), dataFolder(), QStringLiteral("Before import"));
    try {
        storePlaces(contents.places, first, report, progress);
    } catch (const Stopped&) {
        report.cancelled = true;
        report.pinned = report.unpinned = 0;
        return report;
    }
    report.added = int(contents.places.size());
    return report;
}

} // namespace corvane
