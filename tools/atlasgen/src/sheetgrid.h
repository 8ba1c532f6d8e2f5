#pragma once
// The atlas's sheet grid: every detail sheet is one cell of a regular grid in
// the projection plane; the two locating overviews each show a 7 x 7 window
// of it, one cell being 134 x 96 overview pixels.

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QVector>

namespace atlasgen {

class GeoData;

// A grid cell, addressed as in the sheet ids.
struct Cell {
    int col = 0; // 0 = column 'A', increasing eastwards
    int row = 0; // 1 = southernmost row, increasing northwards
    bool operator==(const Cell& o) const { return col == o.col && row == o.row; }
};

namespace grid {
constexpr double kCellHeightKm = 110.0;
constexpr double kCellWidthKm = kCellHeightKm * 134.0 / 96.0;
constexpr int kOverviewWidth = 1000, kOverviewHeight = 720;
constexpr int kOverviewCellWidth = 134, kOverviewCellHeight = 96;

QRectF cellKm(Cell c); // y up: top() is the southern edge
QString sheetId(const QString& prefix, Cell c); // "GB-03H"
bool parseSheetId(const QString& id, Cell& c);
} // namespace grid

// A locating overview: which 7 x 7 window of the grid it shows.
struct Overview {
    QString id; // "LOC-S", "LOC-N"
    int firstCol = 0;
    int topRow = 0;
    QString title;

    bool contains(Cell c) const;
    QRect cellPixels(Cell c) const; // in the 1000 x 720 picture
    QRectF viewKm() const; // the area the whole picture shows
    double pixelsPerKm() const;
};

const Overview& overviewSouth();
const Overview& overviewNorth();
const Overview& overviewFor(const QString& country);

// One detail sheet: its row of MAPS.DB. Neighbours are blank where no sheet
// lies; LocTop and LocLeft place it on the overview of its country.
struct Sheet {
    QString id;
    Cell cell;
    QString title;
    QString country; // E, I, S, W
    QString pages;
    QString west, east, north, south;
    int locTop = 0, locLeft = 0;
};

// Reads sheets.tsv, fills neighbours, pages and locator values, and checks
// the sheets against the grid and the overviews.
bool loadSheets(const QString& path, QVector<Sheet>& sheets, QString& error);

// The outline rectangle the atlas window draws for a sheet, mapped back into
// the pixels of the full-size overview.
QRect outlineOnOverview(int locTop, int locLeft);

} // namespace atlasgen
