#pragma once
// A sheet's georeference: control points tying scan pixels to longitude and
// latitude, and the transformation GDAL fits through them (affine, second-
// order polynomial or thin-plate spline), both ways, with each point's
// residual. Pixels are continuous: (0,0) is the top-left corner of the scan's
// top-left pixel, as in GDAL. Longitude and latitude are WGS 84 degrees,
// longitude first.

#include "platform/errors.h"

#include <QList>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

namespace platform {

struct ControlPoint {
    QPointF pixel;
    QPointF lonLat; // x longitude, y latitude
};

enum class GeoTransform { Automatic, Affine, Polynomial, ThinPlateSpline };

// Points each transformation needs; Automatic takes the best the points allow.
int pointsNeeded(GeoTransform transform);
// What Automatic means for this many points.
GeoTransform transformForCount(int count);
QString transformName(GeoTransform transform);

// How far a control point lies from where the fit puts it.
struct Residual {
    double pixels = 0;
    double metres = 0;
};

// The most control points a sheet takes. A thin-plate spline is solved
// whole, in time growing with the cube of the points: a thousand take a
// quarter of a second, ten thousand would take many minutes and gigabytes.
inline constexpr int kMostControlPoints = 1000;

// A fit whose mean residual exceeds this many pixels is shown as poor.
inline constexpr double kPoorFitPixels = 3.0;

// Why a fit was refused, in the user's words.
class FitError : public AppError {
public:
    using AppError::AppError;
};

class Georeference {
public:
    // Throws FitError when there are too few points (saying how many more),
    // they lie on one line, or GDAL cannot fit them.
    static Georeference fit(const QList<ControlPoint>& points, GeoTransform choice = GeoTransform::Automatic);

    GeoTransform transform() const { return m_transform; }
    const QList<ControlPoint>& points() const { return m_points; }
    const QList<Residual>& residuals() const { return m_residuals; }
    double meanResidualPixels() const;
    bool poor() const { return meanResidualPixels() > kPoorFitPixels; }

    std::optional<QPointF> toLonLat(QPointF pixel) const;
    std::optional<QPointF> toPixel(QPointF lonLat) const;
    // The part of the scan the control points span, and their coordinates'
    // bounds (x longitude, y latitude).
    QRectF pixelArea() const { return m_pixelArea; }
    QRectF lonLatBounds() const { return m_lonLatBounds; }

private:
    Georeference() = default;
    bool apply(bool toPixels, double& x, double& y) const;

    GeoTransform m_transform = GeoTransform::Affine;
    QList<ControlPoint> m_points;
    QList<Residual> m_residuals;
    QRectF m_pixelArea;
    QRectF m_lonLatBounds;
    std::shared_ptr<void> m_gdal; // the transformer's argument
};

// Great-circle distance in metres on a sphere of the Earth's mean radius.
double distanceMetres(QPointF lonLatA, QPointF lonLatB);

} // namespace platform
