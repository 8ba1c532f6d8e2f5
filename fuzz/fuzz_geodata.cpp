// Geodata a user imports: places from a CSV, GPX, GeoJSON or KML file, and
// a sheet's control points from a georeference annotation or a .points
// file. The first byte chooses the kind (its remainder by 6) and, for
// places, which of the program's own exports carries them back (GeoJSON,
// GPX or KML, by its quotient); the rest is the file. The oracles: what
// is accepted can be used (coordinates finite and in range, pixels finite,
// a CSV place named), it survives being exported and imported again, and a
// fit through accepted control points is made or refused with a reason.

#include "fuzz_support.h"

#include "geo/georef_exchange.h"
#include "geo/georeference.h"
#include "geo/place_files.h"

#include <cmath>

namespace {

using platform::AppError;

// Text shown in a report with what cannot be seen escaped.
QByteArray shown(const QString& text)
{
    return text.toUtf8().toPercentEncoding(" ,.;:'()<>&/");
}

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_geodata: %s\n", what);
        std::abort();
    }
}

bool usable(QPointF lonLat)
{
    return std::isfinite(lonLat.x()) && std::isfinite(lonLat.y()) && std::abs(lonLat.x()) <= 180
        && std::abs(lonLat.y()) <= 90;
}

// GDAL writes nine decimals of a degree but trims what looks like noise
// after a run of zeros or nines (52.00000004 becomes 52), so within about a
// centimetre. KML readers fold a description's line breaks into spaces.
bool samePlace(const platform::GeoPlace& a, const platform::GeoPlace& b, bool kml)
{
    const bool sameDescription
        = kml ? a.description.simplified() == b.description.simplified() : a.description == b.description;
    return a.name == b.name && sameDescription && std::abs(a.lonLat.x() - b.lonLat.x()) <= 1e-7
        && std::abs(a.lonLat.y() - b.lonLat.y()) <= 1e-7;
}

QString fileName(const char* stem, platform::PlaceFormat format)
{
    using platform::PlaceFormat;
    const char* suffix = format == PlaceFormat::Csv ? "csv"
        : format == PlaceFormat::Gpx                ? "gpx"
        : format == PlaceFormat::Kml                ? "kml"
                                                    : "geojson";
    return fuzz::Place::instance().host(
        QStringLiteral("places/%1.%2").arg(QLatin1String(stem), QLatin1String(suffix)));
}

void places(const QByteArray& bytes, platform::PlaceFormat format, platform::PlaceFormat exportFormat)
{
    using platform::PlaceFormat;
    const QString in = fileName("in", format);
    fuzz::Place::writeFile(in, bytes);
    platform::PlaceFileContents read;
    try {
        read = platform::readPlaceFile(in);
    } catch (const AppError&) {
        return;
    }
    for (const platform::GeoPlace& place : read.places) {
        check(usable(place.lonLat), "a place outside the world is accepted");
        check(format != PlaceFormat::Csv || !place.name.isEmpty(), "a CSV place without a name is accepted");
    }
    if (read.places.isEmpty())
        return;
    const QString out = fileName("out", exportFormat);
    const bool kml = exportFormat == PlaceFormat::Kml;
    platform::PlaceFileContents again;
    try {
        platform::writePlaceFile(out, exportFormat, read.places);
        again = platform::readPlaceFile(out);
    } catch (const AppError& e) {
        std::fprintf(stderr, "fuzz_geodata: %s\n", qPrintable(e.message()));
        check(false, "the program's own export of accepted places cannot be read back");
    }
    check(again.refused.isEmpty() && again.places.size() == read.places.size(),
        "the program's own export loses places");
    for (qsizetype i = 0; i < read.places.size(); ++i) {
        const platform::GeoPlace &was = read.places[i], &is = again.places[i];
        if (!samePlace(was, is, kml))
            std::fprintf(stderr,
                "fuzz_geodata: \"%s\" (%s) at %.12f, %.12f came back as \"%s\" (%s) at %.12f, %.12f\n",
                shown(was.name).constData(), shown(was.description).constData(), was.lonLat.x(),
                was.lonLat.y(), shown(is.name).constData(), shown(is.description).constData(), is.lonLat.x(),
                is.lonLat.y());
        check(samePlace(was, is, kml), "the program's own export changes a place");
    }
}

void controlPoints(const QByteArray& bytes, bool annotation)
{
    platform::ExchangedPoints read;
    try {
        read = annotation ? platform::readGeoreferenceAnnotation(bytes) : platform::readPointsFile(bytes);
    } catch (const AppError&) {
        return;
    }
    for (const platform::ControlPoint& p : read.points)
        check(usable(p.lonLat) && std::isfinite(p.pixel.x()) && std::isfinite(p.pixel.y()),
            "a control point that cannot be drawn is accepted");
    const platform::ExchangedPoints again = annotation
        ? platform::readGeoreferenceAnnotation(
            platform::georeferenceAnnotation(QStringLiteral("file:///sheet.jpg"), QSize(7000, 5000), read))
        : platform::readPointsFile(platform::pointsFile(read));
    check(again.points.size() == read.points.size() && (!annotation || again.transform == read.transform),
        "the program's own export loses control points");
    // The .points file keeps four decimals of a pixel and nine of a degree.
    const auto near = [](double a, double b, double decimals) {
        return std::abs(a - b) <= 0.51 * decimals + std::abs(a) * 1e-15;
    };
    for (qsizetype i = 0; i < read.points.size(); ++i) {
        const platform::ControlPoint &was = read.points[i], &is = again.points[i];
        check(near(was.pixel.x(), is.pixel.x(), 1e-4) && near(was.pixel.y(), is.pixel.y(), 1e-4)
                && near(was.lonLat.x(), is.lonLat.x(), 1e-9) && near(was.lonLat.y(), is.lonLat.y(), 1e-9),
            "the program's own export moves a control point");
    }
    // As many points as a sheet has; the spline's fit grows with the cube.
    if (read.points.size() > 40)
        return;
    try {
        const platform::Georeference fit = platform::Georeference::fit(read.points, read.transform);
        check(std::isfinite(fit.meanResidualPixels()), "a fit is made whose residual is not a number");
    } catch (const platform::FitError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    using platform::PlaceFormat;
    const QByteArray bytes = fuzz::bytesOf(data + 1, size - 1);
    const PlaceFormat exports[] = { PlaceFormat::GeoJson, PlaceFormat::Gpx, PlaceFormat::Kml };
    const PlaceFormat exportFormat = exports[(data[0] / 6) % 3];
    switch (data[0] % 6) {
    case 0:
        places(bytes, PlaceFormat::Csv, exportFormat);
        break;
    case 1:
        places(bytes, PlaceFormat::Gpx, exportFormat);
        break;
    case 2:
        places(bytes, PlaceFormat::GeoJson, exportFormat);
        break;
    case 5:
        places(bytes, PlaceFormat::Kml, exportFormat);
        break;
    default:
        controlPoints(bytes, data[0] % 6 == 3);
        break;
    }
    return 0;
}
