#pragma once
// Places as other mapping programs keep them, read and written through
// GDAL's vector drivers: GeoJSON (RFC 7946), KML and GPX out; CSV (name,
// latitude, longitude, optional description), GPX waypoints and GeoJSON
// points in. Coordinates are WGS 84 degrees, longitude first.

#include "platform/errors.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

struct GeoPlace {
    QString name;
    QString description;
    QPointF lonLat;
    QString sheetId; // written as a property; empty when read
};

enum class PlaceFormat { GeoJson, Kml, Gpx, Csv };

// The format a file name's extension stands for; throws AppError for any
// other extension.
PlaceFormat placeFormatOf(const QString& fileName);

// Writes the places as the whole file, in one step (a passing name first),
// so a failure leaves no half-written file. Throws AppError naming the file.
void writePlaceFile(const QString& hostPath, PlaceFormat format, const QList<GeoPlace>& places);

// What a file held: the places that read well, and a line for each refused
// one ("line 12: ..." or "feature 3: ...").
struct PlaceFileContents {
    QList<GeoPlace> places;
    QStringList refused;
    bool cancelled = false;
};

// What the reading is doing when it tells its progress: counting a CSV
// file's lines (bytes done of the file's size), then reading its records
// (records done of the records in all, 0 when that is not known cheaply).
enum class ReadStep { Counting, Reading };

// Called every so often; returning false stops the reading at once,
// counting included (the contents then say cancelled).
using ReadProgress = std::function<bool(ReadStep step, qint64 done, qint64 total)>;

// Reads a CSV, GPX or GeoJSON file. Throws AppError when the file cannot be
// read as its kind at all: not found, not that format, a CSV without
// latitude and longitude columns, a GeoJSON that is not a FeatureCollection
// of points.
PlaceFileContents readPlaceFile(const QString& hostPath, const ReadProgress& progress = {});

} // namespace platform
