#include "places/place_bin.h"

#include "places/notes.h"
#include "places/notes_steps.h"
#include "places/pix_store.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/bin_tables.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "platform/error_report.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QSet>

#include <utility>

namespace corvane {

using namespace notes;

namespace {

std::function<QDateTime()> g_clock;

const QString kBinid = QStringLiteral("Binid");
const QString kPlaceid = QStringLiteral("Placeid");
const QString kPlace = QStringLiteral("Place");
const QString kPage = QStringLiteral("Page");
const QString kCoords = QStringLiteral("Coords");
const QString kMemo = QStringLiteral("Memo");
const QString kDeleted = QStringLiteral("Deleted");
const QString kPictures = QStringLiteral("Pictures");
const QString kFilename = QStringLiteral("Filename");
const QString kType = QStringLiteral("Type");
const QString kCaption = QStringLiteral("Caption");

// One transaction over the user tables and the bin; a refusal rolls it
// back and reloads the rows the batch had changed in memory, on the place
// the user was at.
class Batch {
public:
    explicit Batch(QVariant placeId = {})
        : m_quietPictures(pix())
        , m_quietPlaces(descrip())
        , m_placeId(std::move(placeId))
    {
        DataModule1->dbCorvane->beginBatch();
    }
    ~Batch()
    {
        if (m_committed)
            return;
        DataModule1->dbCorvane->rollbackBatch();
        for (platform::Table* table : { pix(), descrip(), binTable(), binMovesTable() }) {
            platform::guarded([table] {
                table->close();
                table->open();
            });
        }
        if (m_placeId.isValid())
            platform::guarded([this] { descrip()->findKey({ m_placeId }); });
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    void commit(std::string_view step)
    {
        workStep(step);
        DataModule1->dbCorvane->commitBatch();
        m_committed = true;
    }

private:
    ControlsSuspended m_quietPictures;
    ControlsSuspended m_quietPlaces;
    QVariant m_placeId;
    bool m_committed = false;
};

platform::Table* openPictures()
{
    platform::Table* pictures = pix();
    pictures->open();
    pictures->setIndexName(QString());
    pictures->resolvePending(); // a caption typed there is kept
    return pictures;
}

QVariant valueOf(const platform::Table* table, int row, const QString& field)
{
    return table->valueAt(row, table->fieldIndex(field));
}

void setFields(platform::Table* table, const QStringList& fields, const QVariantList& values)
{
    for (qsizetype i = 0; i < fields.size(); ++i)
        table->setFieldValue(fields[i], values.value(i));
}

const QStringList& placeFields()
{
    static const QStringList fields { kPlaceid, kPlace, kPage, kCoords, kMemo };
    return fields;
}

QList<BinnedPicture> picturesOf(const platform::Table* pictures, const QList<int>& rows)
{
    QList<BinnedPicture> list;
    for (int row : rows) {
        list << BinnedPicture { valueOf(pictures, row, kFilename).toString(),
            valueOf(pictures, row, kType).toString(), valueOf(pictures, row, kCaption).toString() };
    }
    return list;
}

void findInBin(platform::Table* bin, int binId)
{
    if (!bin->findKey({ binId }))
        throw platform::AppError(QObject::tr("That place is no longer in the bin."));
}

// A number for a picture coming back: its own when free, else the next
// by the picture-number rules; taken into used.
QString numberFor(const QString& own, int& count, QSet<QString>& used)
{
    const QString number = used.contains(own)
        ? pictureNumberAfter(count, [&](const QString& n) { return used.contains(n); })
        : own;
    used.insert(number);
    ++count;
    return number;
}

bool placeNumberFree(int placeId)
{
    return rowsOfPlace(descrip(), placeId).isEmpty() && rowsOfPlace(pix(), placeId).isEmpty();
}

} // namespace

void setBinClock(std::function<QDateTime()> clock)
{
    g_clock = std::move(clock);
}

QDateTime binNow()
{
    return g_clock ? g_clock() : QDateTime::currentDateTimeUtc();
}

int deletePlaceToBin(int placeId, int binId)
{
    carryOutFileMoves();
    platform::Table* places = descrip();
    platform::Table* pictures = openPictures();
    platform::Table* bin = binTable();
    if (!places->active() || !places->findKey({ placeId }))
        throw platform::AppError(QObject::tr("There is no place numbered %1 to delete.").arg(placeId));
    QVariantList values;
    for (const QString& field : placeFields())
        values << places->fieldValue(field);
    const QList<int> rows = rowsOfPlace(pictures, placeId);
    const QList<BinnedPicture> binned = picturesOf(pictures, rows);
    if (binId <= 0 || !bin->rowsWhere(kBinid, binId).isEmpty())
        binId = int(bin->largestInteger(kBinid).value_or(0) + 1);
    Batch batch(placeId);
    bin->append();
    setFields(bin, placeFields(), values);
    bin->setFieldValue(kBinid, binId);
    bin->setFieldValue(kDeleted, binNow().toUTC().toString(Qt::ISODate));
    bin->setFieldValue(kPictures, binnedPicturesText(binned));
    bin->post();
    for (const BinnedPicture& p : binned)
        queueFileMove(pictureFileOf(p.fileName, p.type), binnedPictureFile(binId, p));
    // Last to first, so that the rows still to go keep their places.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        pictures->moveTo(*row);
        pictures->deleteRecord();
    }
    places->findKey({ placeId });
    places->deleteRecord();
    batch.commit("bin: delete batched");
    workStep("bin: delete committed");
    carryOutFileMoves();
    return binId;
}

int putBackPlace(int binId)
{
    carryOutFileMoves();
    platform::Table* places = descrip();
    platform::Table* pictures = openPictures();
    platform::Table* bin = binTable();
    places->open();
    places->resolvePending();
    findInBin(bin, binId);
    QVariantList values;
    for (const QString& field : placeFields())
        values << bin->fieldValue(field);
    const QList<BinnedPicture> binned = binnedPicturesFromText(bin->fieldAsString(kPictures));
    int placeId = values[0].toInt();
    if (!placeNumberFree(placeId))
        placeId = TfrmNotes::freePlaceId();
    values[0] = placeId;
    QSet<QString> used = pictureNumbersInUse();
    int count = pictures->recordCount();
    QList<QVariantList> records;
    QStringList numbers;
    for (const BinnedPicture& p : binned) {
        numbers << numberFor(p.fileName, count, used);
        records << QVariantList { numbers.last(), placeId, p.caption, p.type };
    }
    Batch batch(vPlaceId);
    places->append();
    setFields(places, placeFields(), values);
    places->post();
    pictures->appendRecords(records);
    for (qsizetype i = 0; i < binned.size(); ++i)
        queueFileMove(binnedPictureFile(binId, binned[i]), pictureFileOf(numbers[i], binned[i].type));
    findInBin(bin, binId);
    bin->deleteRecord();
    batch.commit("bin: put back batched");
    workStep("bin: put back committed");
    carryOutFileMoves();
    places->findKey({ placeId });
    return placeId;
}

QList<BinnedPlace> binnedPlaces()
{
    QList<BinnedPlace> list;
    platform::Table* bin = binTable();
    const int pictures = bin->fieldIndex(kPictures);
    list.reserve(bin->rowCount());
    for (int row = 0; row < bin->rowCount(); ++row) {
        // One object per picture, its keys in order: counting needs no parse.
        const QString text = bin->valueAt(row, pictures).toString();
        list << BinnedPlace { valueOf(bin, row, kBinid).toInt(), valueOf(bin, row, kPlaceid).toInt(),
            valueOf(bin, row, kPlace).toString(),
            QDateTime::fromString(valueOf(bin, row, kDeleted).toString(), Qt::ISODate),
            int(text.count(QLatin1String("{\"caption\":"))) };
    }
    return list;
}

void destroyBinned(const QList<int>& binIds)
{
    carryOutFileMoves();
    platform::Table* bin = binTable();
    Batch batch;
    for (int binId : binIds) {
        if (!bin->findKey({ binId }))
            continue;
        for (const BinnedPicture& p : binnedPicturesFromText(bin->fieldAsString(kPictures)))
            queueFileMove(binnedPictureFile(binId, p), QString());
        bin->deleteRecord();
    }
    batch.commit("bin: destroy batched");
    carryOutFileMoves();
}

void emptyBin()
{
    QList<int> ids;
    for (const BinnedPlace& place : binnedPlaces())
        ids << place.binId;
    destroyBinned(ids);
}

QStringList expireBin(const QDateTime& now, int days)
{
    QList<int> ids;
    QStringList names;
    if (days <= 0)
        return names;
    for (const BinnedPlace& place : binnedPlaces()) {
        if (place.deleted.isValid() && place.deleted.addDays(days) <= now) {
            ids << place.binId;
            names << place.place;
        }
    }
    if (!ids.isEmpty())
        destroyBinned(ids);
    return names;
}

QString tidyBinAtStart()
{
    // An installation on a read-only drive has no bin to tidy.
    if (DataModule1->dbCorvane->readOnly())
        return {};
    QStringList lines = settleBin();
    const int days = binDays();
    const QStringList gone = expireBin(binNow(), days);
    if (!gone.isEmpty()) {
        lines.prepend(
            QObject::tr("%1 deleted places were in the bin for more than %2 days and were destroyed: %3.")
                .arg(gone.size())
                .arg(days)
                .arg(gone.join(QStringLiteral(", "))));
    }
    return lines.join(QLatin1Char(' '));
}

SetAsidePicture setPictureAside(const QString& fileName)
{
    static int s_asides = 0;
    carryOutFileMoves();
    platform::Table* pictures = openPictures();
    const QList<int> rows = pictures->rowsWhere(kFilename, fileName);
    if (rows.isEmpty())
        throw platform::AppError(QObject::tr("There is no picture %1 any more.").arg(fileName));
    const BinnedPicture p = picturesOf(pictures, { rows.first() }).first();
    SetAsidePicture aside { p.fileName, p.type, p.caption, valueOf(pictures, rows.first(), kPlaceid).toInt(),
        QStringLiteral("Bin\\aside-%1-%2-%3%4")
            .arg(QCoreApplication::applicationPid())
            .arg(++s_asides)
            .arg(p.fileName, p.type) };
    Batch batch;
    pictures->moveTo(rows.first());
    pictures->deleteRecord();
    queueFileMove(pictureFileOf(p.fileName, p.type), aside.asideFile);
    batch.commit("bin: picture set aside batched");
    carryOutFileMoves();
    return aside;
}

QString bringPictureBack(const SetAsidePicture& picture)
{
    carryOutFileMoves();
    platform::Table* pictures = openPictures();
    QSet<QString> used = pictureNumbersInUse();
    int count = pictures->recordCount();
    const QString number = numberFor(picture.fileName, count, used);
    Batch batch;
    pictures->appendRecords({ { number, picture.placeId, picture.caption, picture.type } });
    queueFileMove(picture.asideFile, pictureFileOf(number, picture.type));
    batch.commit("bin: picture brought back batched");
    carryOutFileMoves();
    return number;
}

} // namespace corvane
