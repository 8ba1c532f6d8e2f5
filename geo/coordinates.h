#pragma once
// Latitude and longitude as the user reads and types them: decimal degrees
// with five decimals, or degrees, minutes and seconds with N/S/E/W; and the
// web-map address of a point.

#include "platform/errors.h"

#include <QPointF>
#include <QString>

namespace platform {

enum class Axis { Latitude, Longitude };

// Why a typed coordinate was refused, naming what was typed.
class CoordinateError : public AppError {
public:
    using AppError::AppError;
};

// "51.50700, -0.12800" (latitude first, as web maps write it), or
// "51°30'25.2"N 0°07'40.8"W" with dms.
QString formatLatLon(QPointF lonLat, bool dms = false);
QString formatAngle(double degrees, Axis axis, bool dms);

// Decimal degrees ("-0.128") or degrees with optional minutes and seconds
// and a hemisphere letter before or after ("51 30 25 N", "W 0°7'40.8\"").
// Throws CoordinateError when the text does not read as one, or lies outside
// -90..90 (latitude) or -180..180 (longitude).
double parseAngle(const QString& text, Axis axis);
// Refuses a value outside the axis's range.
void checkRange(double degrees, Axis axis);

// The OpenStreetMap address that shows the point with a marker.
QString webMapAddress(QPointF lonLat);

} // namespace platform
