#include "geo/georeference.h"

#include <gdal_alg.h>

#include <QCoreApplication>

#include <cmath>
#include <vector>

namespace platform {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Georeference", text);
}

// Largest and smallest spread of the points about their centre (square
// roots of the covariance's eigenvalues).
std::pair<double, double> spreads(const QList<QPointF>& points)
{
    QPointF mean;
    for (const QPointF& p : points)
        mean += p / points.size();
    double sxx = 0, syy = 0, sxy = 0;
    for (const QPointF& p : points) {
        const QPointF d = p - mean;
        sxx += d.x() * d.x();
        syy += d.y() * d.y();
        sxy += d.x() * d.y();
    }
    const double half = (sxx + syy) / 2,
                 root = std::sqrt(std::max(0.0, half * half - (sxx * syy - sxy * sxy)));
    return { std::sqrt(std::max(0.0, half + root)), std::sqrt(std::max(0.0, half - root)) };
}

bool onOneLine(const QList<QPointF>& points)
{
    const auto [largest, smallest] = spreads(points);
    return largest == 0 || smallest < 1e-3 * largest;
}

void checkPoints(const QList<ControlPoint>& points, GeoTransform transform)
{
    if (points.size() > kMostControlPoints)
        throw FitError(tr("A fit takes at most %1 control points; remove %2.")
                           .arg(kMostControlPoints)
                           .arg(points.size() - kMostControlPoints));
    const int needed = pointsNeeded(transform);
    if (points.size() < needed) {
        const int more = needed - int(points.size());
        throw FitError(tr("%1 needs %2 control points; add %3 more.")
                           .arg(transformName(transform))
                           .arg(needed)
                           .arg(more));
    }
    QList<QPointF> pixels, lonLats;
    for (const ControlPoint& p : points) {
        pixels << p.pixel;
        lonLats << p.lonLat;
    }
    if (onOneLine(pixels))
        throw FitError(tr("The control points lie on one line of the sheet; a fit needs points spread "
                          "over it. Add a point away from that line."));
    if (onOneLine(lonLats))
        throw FitError(tr("The coordinates of the control points lie on one line; a fit needs points "
                          "spread over the area. Check the latitudes and longitudes."));
}

std::shared_ptr<void> createTransformer(const QList<ControlPoint>& points, GeoTransform transform)
{
    std::vector<GDAL_GCP> gcps(points.size());
    GDALInitGCPs(int(gcps.size()), gcps.data());
    for (size_t i = 0; i < gcps.size(); ++i) {
        gcps[i].dfGCPPixel = points[int(i)].pixel.x();
        gcps[i].dfGCPLine = points[int(i)].pixel.y();
        gcps[i].dfGCPX = points[int(i)].lonLat.x();
        gcps[i].dfGCPY = points[int(i)].lonLat.y();
    }
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
    std::shared_ptr<void> made;
    if (transform == GeoTransform::ThinPlateSpline) {
        if (void* arg = GDALCreateTPSTransformer(int(gcps.size()), gcps.data(), FALSE))
            made.reset(arg, GDALDestroyTPSTransformer);
    } else {
        const int order = transform == GeoTransform::Affine ? 1 : 2;
        if (void* arg = GDALCreateGCPTransformer(int(gcps.size()), gcps.data(), order, FALSE))
            made.reset(arg, GDALDestroyGCPTransformer);
    }
    const QString why = QString::fromUtf8(CPLGetLastErrorMsg());
    CPLPopErrorHandler();
    GDALDeinitGCPs(int(gcps.size()), gcps.data());
    if (!made)
        throw FitError(tr("These control points do not give a %1 fit; spread them over the sheet. (%2)")
                           .arg(transformName(transform).toLower(), why));
    return made;
}

} // namespace

int pointsNeeded(GeoTransform transform)
{
    switch (transform) {
    case GeoTransform::Polynomial:
        return 6;
    case GeoTransform::ThinPlateSpline:
        return 10;
    case GeoTransform::Automatic:
    case GeoTransform::Affine:
        break;
    }
    return 3;
}

GeoTransform transformForCount(int count)
{
    if (count >= pointsNeeded(GeoTransform::ThinPlateSpline))
        return GeoTransform::ThinPlateSpline;
    if (count >= pointsNeeded(GeoTransform::Polynomial))
        return GeoTransform::Polynomial;
    return GeoTransform::Affine;
}

QString transformName(GeoTransform transform)
{
    switch (transform) {
    case GeoTransform::Automatic:
        return tr("Automatic");
    case GeoTransform::Affine:
        return tr("Affine");
    case GeoTransform::Polynomial:
        return tr("Second-order polynomial");
    case GeoTransform::ThinPlateSpline:
        return tr("Thin-plate spline");
    }
    return {};
}

Georeference Georeference::fit(const QList<ControlPoint>& points, GeoTransform choice)
{
    Georeference g;
    g.m_transform = choice == GeoTransform::Automatic ? transformForCount(int(points.size())) : choice;
    checkPoints(points, g.m_transform);
    g.m_points = points;
    g.m_gdal = createTransformer(points, g.m_transform);
    // Kept: asked for every sheet of every place an import pins.
    QPolygonF pixels, lonLats;
    for (const ControlPoint& p : points) {
        pixels << p.pixel;
        lonLats << p.lonLat;
    }
    g.m_pixelArea = pixels.boundingRect();
    g.m_lonLatBounds = lonLats.boundingRect();
    for (const ControlPoint& p : points) {
        Residual r;
        if (const auto px = g.toPixel(p.lonLat))
            r.pixels = std::hypot(px->x() - p.pixel.x(), px->y() - p.pixel.y());
        if (const auto ll = g.toLonLat(p.pixel))
            r.metres = distanceMetres(*ll, p.lonLat);
        g.m_residuals << r;
    }
    return g;
}

bool Georeference::apply(bool toPixels, double& x, double& y) const
{
    double z = 0;
    int ok = FALSE;
    if (m_transform == GeoTransform::ThinPlateSpline)
        GDALTPSTransform(m_gdal.get(), toPixels, 1, &x, &y, &z, &ok);
    else
        GDALGCPTransform(m_gdal.get(), toPixels, 1, &x, &y, &z, &ok);
    return ok && std::isfinite(x) && std::isfinite(y);
}

std::optional<QPointF> Georeference::toLonLat(QPointF pixel) const
{
    double x = pixel.x(), y = pixel.y();
    if (!apply(false, x, y))
        return std::nullopt;
    return QPointF(x, y);
}

// GDAL fits the way back separately, so going there and back would drift by
// a fraction of a pixel. The pixel-to-coordinates fit is the one that counts:
// its own inverse is found by Newton's method from GDAL's estimate.
std::optional<QPointF> Georeference::toPixel(QPointF lonLat) const
{
    double x = lonLat.x(), y = lonLat.y();
    if (!apply(true, x, y))
        return std::nullopt;
    QPointF px(x, y);
    for (int step = 0; step < 6; ++step) {
        const std::optional<QPointF> at = toLonLat(px), right = toLonLat(px + QPointF(1, 0)),
                                     down = toLonLat(px + QPointF(0, 1));
        if (!at || !right || !down)
            return std::nullopt;
        const QPointF dx = *right - *at, dy = *down - *at, miss = lonLat - *at;
        const double det = dx.x() * dy.y() - dy.x() * dx.y();
        if (det == 0)
            break;
        const QPointF move(
            (miss.x() * dy.y() - dy.x() * miss.y()) / det, (dx.x() * miss.y() - miss.x() * dx.y()) / det);
        px += move;
        if (std::hypot(move.x(), move.y()) < 1e-6)
            break;
    }
    return px;
}

double Georeference::meanResidualPixels() const
{
    double sum = 0;
    for (const Residual& r : m_residuals)
        sum += r.pixels;
    return m_residuals.isEmpty() ? 0 : sum / m_residuals.size();
}

double distanceMetres(QPointF a, QPointF b)
{
    constexpr double kRadius = 6371008.8, kDeg = M_PI / 180;
    const double dLat = (b.y() - a.y()) * kDeg, dLon = (b.x() - a.x()) * kDeg;
    const double h = std::pow(std::sin(dLat / 2), 2)
        + std::cos(a.y() * kDeg) * std::cos(b.y() * kDeg) * std::pow(std::sin(dLon / 2), 2);
    return 2 * kRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

} // namespace platform
