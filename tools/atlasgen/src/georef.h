#pragma once
// The demo atlas's georeference: for every detail sheet a grid of control
// points (scan pixel and longitude/latitude) computed from the projection the
// sheet was drawn in, and the gazetteer of the towns with the pixel each was
// drawn at. Both are tab-separated UTF-8 tables with a header line.

#include <QString>
#include <QVector>

#include "sheetgrid.h"

namespace atlasgen {

class GeoData;

// Control points per sheet side: kGridPoints x kGridPoints over the map area.
constexpr int kGridPoints = 9;

bool writeControlPoints(
    const QString& path, const GeoData& geo, const QVector<Sheet>& sheets, QString& error);
bool writeGazetteer(const QString& path, const GeoData& geo, const QVector<Sheet>& sheets, QString& error);

} // namespace atlasgen
