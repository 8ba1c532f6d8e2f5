#pragma once
// What the atlas window and the full-screen window share about sheets: the
// file of a sheet, the country table and the red neighbour arrows.

#include <QIcon>
#include <QString>

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

// A red 32 x 32 arrow pointing north turned by `degrees`, with a transparent
// background, sharp on normal and high-density screens.
QIcon arrowIcon(int degrees);

} // namespace corvane
