#pragma once
// The pictures of the atlas "CD": detail sheets with their margins, the two
// locating overviews, the map keys and scales, and the splash excerpt.

#include <QImage>
#include <QSize>
#include <QTransform>
#include <QVector>

#include "sheetgrid.h"

namespace atlasgen {

class GeoData;

constexpr QSize kSheetSize(4020, 2880); // 134:96, like a cell on the overviews

// The neat line's inside on a detail sheet, and how the projection plane
// maps onto the sheet's pixels there.
QRectF sheetMapArea(QSize size = kSheetSize);
QTransform sheetPlaneToPixels(const Sheet& sheet, QSize size = kSheetSize);

QImage renderDetailSheet(const GeoData& geo, const Sheet& sheet, QSize size = kSheetSize);
QImage renderOverview(const GeoData& geo, const Overview& overview, const QVector<Sheet>& sheets);
QImage renderKey(bool irish);
QImage renderScale(bool irish);
QImage renderSplash(const GeoData& geo);
QImage renderIcon(const GeoData& geo); // 256 x 256, transparent corners

} // namespace atlasgen
