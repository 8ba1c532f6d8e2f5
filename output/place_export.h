#pragma once
// "Export places...": the user's places that have coordinates (pinned to a
// georeferenced sheet) written with name, description, coordinates and
// sheet as GeoJSON, KML or GPX, for other mapping programs.

#include "geo/place_files.h"

#include <QList>
#include <QString>

namespace corvane {

struct PlaceExportReport {
    int written = 0;
    int withoutCoordinates = 0; // not pinned, or on a sheet without a georeference

    QString text(const QString& file) const;
};

// The places as they would be written: all of them, or those with these
// numbers. Places without coordinates are counted, not listed.
QList<platform::GeoPlace> placesWithCoordinates(const QList<int>& placeIds, PlaceExportReport& report);

// Writes the file (format by its extension). Throws AppError when there is
// nothing to write or the file cannot be written; no file is left then.
PlaceExportReport exportPlaces(const QString& hostPath, const QList<int>& placeIds = {});

} // namespace corvane
