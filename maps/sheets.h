#pragma once
// What the atlas window and the full-screen window share about sheets: the
// file of a sheet, its MAPS.DB record, the country table and the red
// neighbour arrows.

#include <QIcon>
#include <QString>
#include <QStringList>

#include <array>

class QWidget;

namespace corvane {

// vGraphicsPath + "Maps\" + id + ".JPG", the one rule for sheet files.
QString sheetPath(const QString& sheetId);

// Key, scale and overview sheets by a sheet's country letter; British
// sheets share the "GB-" key and scale.
struct Country {
    const char* code;
    const char* keyMap;
    const char* scaleMap;
    int keyWidth;
    int scaleWidth;
    const char* name;
    const char* locateMap;
};

// The row of an exact (case-sensitive) letter, or null for any other value.
const Country* countryByCode(const QString& code);

// Reads the MAPS.DB record of `sheetId` (the first record stands in when
// it is absent) into vMapPages, vCountryCode, the outline and pointer
// positions on the overview, and, for a known country, vCountryName and
// vLocateMapId. Returns the record's title and the country's row (null for
// an unknown letter, whose sheet keeps the previous key and scale).
struct SheetRecord {
    QString title;
    const Country* country = nullptr;
};
SheetRecord readSheetRecord(const QString& sheetId);

// Whether MAPS.DB has a record of `sheetId`.
bool sheetInAtlas(const QString& sheetId);

// The neighbour id in `side` ("North", "South", "East", "West") of the
// sheet's record.
QString neighbourOf(const QString& sheetId, const QString& side);

// A neighbour exists when its id has at least five characters.
bool isSheetId(const QString& id);

// Shows the arrows (north, south, east, west) of the neighbours of
// `sheetId` that exist and returns their ids.
using NeighbourArrows = std::array<QWidget*, 4>;
QStringList showNeighbourArrows(const QString& sheetId, const NeighbourArrows& arrows);

// A red 32 x 32 arrow pointing north turned by `degrees`, with a transparent
// background, sharp on normal and high-density screens.
QIcon arrowIcon(int degrees);

} // namespace corvane
