#pragma once
// Places pinned to a map sheet. DESCRIP.DB keeps two text fields of its own
// for this: Page holds the sheet id and Coords the point as "x,y" in the
// sheet picture's own pixels. They are ordinary values, so tables without
// pins keep working, and a value that does not read as a pin counts as none.

#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>

#include <optional>

namespace corvane {

struct PlacePin {
    int placeId = 0;
    QString place;
    QString sheetId;
    QPoint point; // in the sheet picture's own pixels

    // Whether the point lies on a picture of this size; a pin made on
    // another scan of the sheet may not.
    bool fits(QSize native) const { return point.x() < native.width() && point.y() < native.height(); }
};

std::optional<QPoint> parseCoords(const QString& coords);
QString formatCoords(QPoint point);
// A place's name in quotation marks for menus and hints ("this place" when
// it has none).
QString quotedPlace(const QString& place);

// The current place of the list; none when the list is empty.
struct CurrentPlace {
    int placeId = 0;
    QString place;
};
std::optional<CurrentPlace> currentPlace();

// The pin of the current place, or of the place with this identifier.
std::optional<PlacePin> currentPin();
std::optional<PlacePin> pinOf(int placeId);
// Every pin on a sheet, in list order, with names as the list shows them.
QList<PlacePin> pinsOnSheet(const QString& sheetId);

// Pin or unpin the current place and store it (with any text typed into
// it); a refusal throws EngineError and leaves the change pending.
void pinCurrentPlace(const QString& sheetId, QPoint point);
void unpinCurrentPlace();

// Makes the place with this identifier current; false when there is none.
bool selectPlace(int placeId);

} // namespace corvane
