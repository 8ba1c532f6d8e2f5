#include "data/place_pins.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/notebook_history.h"
#include "tables/table.h"

#include <QObject>

namespace corvane {

namespace {

const QString kPlaceid = QStringLiteral("Placeid");
const QString kPlace = QStringLiteral("Place");
const QString kPage = QStringLiteral("Page");
const QString kCoords = QStringLiteral("Coords");

// DESCRIP.DB as the program keeps it. Never opened here: while a backup or
// restore has it closed, there are no places and no pins.
platform::Table* places()
{
    return DataModule1->tblDescrip;
}

bool hasCurrent(const platform::Table* table)
{
    return table->active() && table->recNo() >= 0;
}

std::optional<PlacePin> pinFromValues(
    const QVariant& id, const QVariant& name, const QVariant& page, const QVariant& coords)
{
    const QString sheetId = page.toString().trimmed();
    const std::optional<QPoint> point = parseCoords(coords.toString());
    if (sheetId.isEmpty() || !point)
        return std::nullopt;
    return PlacePin { id.toInt(), name.toString(), sheetId, *point };
}

std::optional<PlacePin> pinAt(const platform::Table* table, int row)
{
    const auto value = [&](const QString& field) { return table->valueAt(row, table->fieldIndex(field)); };
    return pinFromValues(value(kPlaceid), value(kPlace), value(kPage), value(kCoords));
}

void storePin(const QString& sheetId, const QString& coords)
{
    platform::Table* table = places();
    if (!hasCurrent(table))
        table->deleteRecord(); // the engine's refusal for an empty or closed list
    const QVariantList before { table->fieldValue(kPage), table->fieldValue(kCoords) };
    const QVariant placeId = table->fieldValue(kPlaceid);
    const QString text = (sheetId.isEmpty() ? QObject::tr("unpin of %1") : QObject::tr("pin of %1"))
                             .arg(quotedPlace(table->fieldAsString(kPlace)));
    if (table->state() == platform::Table::State::Browse)
        table->edit();
    table->setFieldValue(kPage, sheetId);
    table->setFieldValue(kCoords, coords);
    table->post();
    const QVariantList after { QVariant(sheetId), QVariant(coords) };
    if (before[0].toString() == sheetId && before[1].toString() == coords)
        return; // nothing changed that an undo could take back
    pushNotebookStep(new FieldStep(table, kPlaceid, placeId, { kPage, kCoords }, before, after, text));
}

} // namespace

std::optional<QPoint> parseCoords(const QString& coords)
{
    const QStringList parts = coords.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    bool xOk = false;
    bool yOk = false;
    const int x = parts[0].trimmed().toInt(&xOk);
    const int y = parts[1].trimmed().toInt(&yOk);
    if (!xOk || !yOk || x < 0 || y < 0)
        return std::nullopt;
    return QPoint(x, y);
}

QString formatCoords(QPoint point)
{
    return QStringLiteral("%1,%2").arg(point.x()).arg(point.y());
}

QString quotedPlace(const QString& place)
{
    return place.isEmpty() ? QObject::tr("this place") : QStringLiteral("\u201c%1\u201d").arg(place);
}

std::optional<CurrentPlace> currentPlace()
{
    const platform::Table* table = places();
    if (!hasCurrent(table))
        return std::nullopt;
    return CurrentPlace { table->fieldAsInteger(kPlaceid), table->fieldAsString(kPlace) };
}

std::optional<PlacePin> currentPin()
{
    const platform::Table* table = places();
    if (!hasCurrent(table))
        return std::nullopt;
    return pinFromValues(table->fieldValue(kPlaceid), table->fieldValue(kPlace), table->fieldValue(kPage),
        table->fieldValue(kCoords));
}

std::optional<PlacePin> pinOf(int placeId)
{
    const platform::Table* table = places();
    if (!table->active())
        return std::nullopt;
    const int idField = table->fieldIndex(kPlaceid);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->valueAt(row, idField).toInt() == placeId)
            return pinAt(table, row);
    }
    return std::nullopt;
}

QList<PlacePin> pinsOnSheet(const QString& sheetId)
{
    QList<PlacePin> pins;
    const platform::Table* table = places();
    if (!table->active())
        return pins;
    const int pageField = table->fieldIndex(kPage);
    for (int row = 0; row < table->rowCount(); ++row) {
        // Most places are pinned elsewhere or nowhere: the page decides first.
        if (table->valueAt(row, pageField).toString().trimmed().compare(sheetId, Qt::CaseInsensitive) != 0)
            continue;
        if (const std::optional<PlacePin> pin = pinAt(table, row))
            pins << *pin;
    }
    return pins;
}

void pinCurrentPlace(const QString& sheetId, QPoint point)
{
    storePin(sheetId, formatCoords(point));
}

void unpinCurrentPlace()
{
    storePin(QString(), QString());
}

bool selectPlace(int placeId)
{
    return places()->active() && places()->findKey({ placeId });
}

} // namespace corvane
