#include "geo/place_files.h"

#include "geo/coordinates.h"
#include "platform/paths.h"

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("PlaceFiles", text);
}

void registerDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

struct DatasetCloser {
    void operator()(void* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

struct SrsReleaser {
    void operator()(void* srs) const { OSRRelease(srs); }
};

QString lastGdalError()
{
    const QString message = QString::fromUtf8(CPLGetLastErrorMsg());
    return message.isEmpty() ? tr("no reason given") : message;
}

const char* driverName(PlaceFormat format)
{
    switch (format) {
    case PlaceFormat::GeoJson:
        return "GeoJSON";
    case PlaceFormat::Kml:
        return "KML";
    case PlaceFormat::Gpx:
        return "GPX";
    case PlaceFormat::Csv:
        break;
    }
    return "CSV";
}

// The property names each format knows for a place's name and description.
std::pair<const char*, const char*> textFields(PlaceFormat format)
{
    switch (format) {
    case PlaceFormat::Kml:
        return { "Name", "Description" };
    case PlaceFormat::Gpx:
        return { "name", "desc" };
    case PlaceFormat::GeoJson:
    case PlaceFormat::Csv:
        break;
    }
    return { "name", "description" };
}

// Quiet GDAL for the time of one job; its messages go into ours.
struct QuietGdal {
    QuietGdal()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietGdal() { CPLPopErrorHandler(); }
};

void addField(OGRLayerH layer, const char* name)
{
    OGRFieldDefnH field = OGR_Fld_Create(name, OFTString);
    const OGRErr made = OGR_L_CreateField(layer, field, TRUE);
    OGR_Fld_Destroy(field);
    if (made != OGRERR_NONE)
        throw AppError(lastGdalError());
}

void addPlace(OGRLayerH layer, PlaceFormat format, const GeoPlace& place)
{
    OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
    const auto [name, description] = textFields(format);
    OGR_F_SetFieldString(feature, OGR_F_GetFieldIndex(feature, name), place.name.toUtf8().constData());
    if (!place.description.isEmpty())
        OGR_F_SetFieldString(
            feature, OGR_F_GetFieldIndex(feature, description), place.description.toUtf8().constData());
    OGR_F_SetFieldString(feature, OGR_F_GetFieldIndex(feature, "sheet"), place.sheetId.toUtf8().constData());
    OGRGeometryH point = OGR_G_CreateGeometry(wkbPoint);
    OGR_G_SetPoint_2D(point, 0, place.lonLat.x(), place.lonLat.y());
    OGR_F_SetGeometryDirectly(feature, point);
    const OGRErr stored = OGR_L_CreateFeature(layer, feature);
    OGR_F_Destroy(feature);
    if (stored != OGRERR_NONE)
        throw AppError(lastGdalError());
}

void writeLayer(void* ds, PlaceFormat format, const QList<GeoPlace>& places)
{
    std::unique_ptr<void, SrsReleaser> wgs84(OSRNewSpatialReference(nullptr));
    OSRSetWellKnownGeogCS(wgs84.get(), "WGS84");
    OSRSetAxisMappingStrategy(wgs84.get(), OAMS_TRADITIONAL_GIS_ORDER);
    char** options = nullptr;
    if (format == PlaceFormat::GeoJson) {
        options = CSLSetNameValue(options, "RFC7946", "YES");
        options = CSLSetNameValue(options, "COORDINATE_PRECISION", "9");
    }
    const char* layerName = format == PlaceFormat::Gpx ? "waypoints" : "places";
    OGRLayerH layer = GDALDatasetCreateLayer(ds, layerName, wgs84.get(), wkbPoint, options);
    CSLDestroy(options);
    if (!layer)
        throw AppError(lastGdalError());
    const auto [name, description] = textFields(format);
    if (format != PlaceFormat::Gpx) { // GPX has its own fields for these
        addField(layer, name);
        addField(layer, description);
    }
    addField(layer, "sheet");
    for (const GeoPlace& place : places)
        addPlace(layer, format, place);
}

} // namespace

void writePlaceFile(const QString& hostPath, PlaceFormat format, const QList<GeoPlace>& places)
{
    registerDrivers();
    const QString shown = QFileInfo(hostPath).fileName();
    if (format == PlaceFormat::Csv)
        throw AppError(tr("Places are written as GeoJSON, KML or GPX, not as %1.").arg(shown));
    const QString passing = hostPath + QStringLiteral(".part");
    QFile::remove(passing);
    const QuietGdal quiet;
    try {
        char** options = nullptr;
        if (format == PlaceFormat::Gpx)
            options = CSLSetNameValue(options, "GPX_USE_EXTENSIONS", "YES");
        Dataset ds(GDALCreate(GDALGetDriverByName(driverName(format)), QFile::encodeName(passing).constData(),
            0, 0, 0, GDT_Unknown, options));
        CSLDestroy(options);
        if (!ds)
            throw AppError(lastGdalError());
        writeLayer(ds.get(), format, places);
        ds.reset(); // written out here
        if (CPLGetLastErrorType() >= CE_Failure || !QFileInfo(passing).isFile())
            throw AppError(lastGdalError());
        renameHostFile(passing, hostPath);
    } catch (const AppError& e) {
        QFile::remove(passing);
        throw AppError(tr("The places could not be written to %1: %2").arg(shown, e.message()));
    }
}

PlaceFormat placeFormatOf(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"geojson" || suffix == u"json")
        return PlaceFormat::GeoJson;
    if (suffix == u"kml")
        return PlaceFormat::Kml;
    if (suffix == u"gpx")
        return PlaceFormat::Gpx;
    if (suffix == u"csv" || suffix == u"txt")
        return PlaceFormat::Csv;
    throw AppError(tr("%1 is not a kind of file places come in: use GeoJSON, KML, GPX or CSV.")
                       .arg(QFileInfo(fileName).fileName()));
}

} // namespace platform

namespace platform {

namespace {

// The first field whose name is one of these, without regard to case; -1
// when none is.
int findField(OGRFeatureDefnH defn, std::initializer_list<const char*> names)
{
    for (const char* wanted : names)
        for (int i = 0; i < OGR_FD_GetFieldCount(defn); ++i)
            if (QString::fromUtf8(OGR_Fld_GetNameRef(OGR_FD_GetFieldDefn(defn, i)))
                    .compare(QLatin1String(wanted), Qt::CaseInsensitive)
                == 0)
                return i;
    return -1;
}

// A field's text without the control characters no export could carry back
// (XML holds none but tabs and line breaks): a name on one line, a
// description keeping its lines.
enum class Lines { Joined, Kept };
QString fieldText(OGRFeatureH feature, int field, Lines lines = Lines::Joined)
{
    if (field < 0 || !OGR_F_IsFieldSetAndNotNull(feature, field))
        return {};
    const QString raw = QString::fromUtf8(OGR_F_GetFieldAsString(feature, field));
    QString text;
    text.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == u'\r' && i + 1 < raw.size() && raw[i + 1] == u'\n')
            continue;
        if (c == u'\n' || c == u'\r')
            text += lines == Lines::Kept ? QChar(u'\n') : QChar(u' ');
        else if (c == u'\t')
            text += lines == Lines::Kept ? c : QChar(u' ');
        else if (c.category() != QChar::Other_Control)
            text += c;
    }
    return text.trimmed();
}

// Reads a layer feature by feature, telling progress every so often.
class LayerReader {
public:
    LayerReader(OGRLayerH layer, qint64 total, const ReadProgress& progress, PlaceFileContents& out)
        : m_layer(layer)
        , m_progress(progress)
        , m_out(out)
        , m_total(total)
    {
        OGR_L_ResetReading(layer);
    }
    // The next feature (owned by the caller) or null at the end or on cancel.
    OGRFeatureH next()
    {
        if (m_progress && m_done % 1000 == 0
            && !m_progress(ReadStep::Reading, m_done, std::max(m_total, m_done))) {
            m_out.cancelled = true;
            return nullptr;
        }
        ++m_done;
        return OGR_L_GetNextFeature(m_layer);
    }
    qint64 number() const { return m_done; }

private:
    OGRLayerH m_layer;
    const ReadProgress& m_progress;
    PlaceFileContents& m_out;
    qint64 m_total;
    qint64 m_done = 0;
};

// The records of a CSV file, as its lines after the first. OGR's own count
// reads the whole file without a way to stop it; this pass can be stopped
// between blocks. A quoted field that holds a line break makes it an
// estimate, which is all a progress bar needs. None when stopped.
std::optional<qint64> countCsvRecords(const QString& hostPath, const ReadProgress& progress)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0; // GDAL says why when it tries
    constexpr qint64 kBlock = 4 << 20;
    qint64 lines = 0;
    char last = '\n';
    QByteArray block;
    while (!(block = file.read(kBlock)).isEmpty()) {
        if (progress && !progress(ReadStep::Counting, file.pos(), file.size()))
            return std::nullopt;
        lines += block.count('\n');
        last = block.back();
    }
    return std::max<qint64>(0, lines + (last == '\n' ? 0 : 1) - 1);
}

// The features of a layer when the driver knows them without reading the
// file (GeoJSON does); 0 for not known.
qint64 quickFeatureCount(OGRLayerH layer)
{
    return std::max<GIntBig>(0, OGR_L_GetFeatureCount(layer, FALSE));
}

struct FeatureDeleter {
    void operator()(OGRFeatureH f) const { OGR_F_Destroy(f); }
};
using Feature = std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, FeatureDeleter>;

void readCsv(
    OGRLayerH layer, qint64 total, const QString& shown, const ReadProgress& progress, PlaceFileContents& out)
{
    OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
    const int lat = findField(defn, { "latitude", "lat", "y" });
    const int lon = findField(defn, { "longitude", "lon", "long", "lng", "x" });
    const int name = findField(defn, { "name", "place", "title" });
    const int description = findField(defn, { "description", "desc", "notes", "note" });
    if (lat < 0 || lon < 0 || name < 0)
        throw AppError(tr("%1 has no name, latitude and longitude columns: its first line must name them "
                          "(name, latitude, longitude and, if you like, description).")
                           .arg(shown));
    LayerReader reader(layer, total, progress, out);
    while (Feature f { reader.next() }) {
        // The first record is on line 2, after the names of the columns.
        const QString where = tr("line %1").arg(reader.number() + 1);
        try {
            GeoPlace place { fieldText(f.get(), name), fieldText(f.get(), description, Lines::Kept), {}, {} };
            place.lonLat = { parseAngle(fieldText(f.get(), lon), Axis::Longitude),
                parseAngle(fieldText(f.get(), lat), Axis::Latitude) };
            if (place.name.isEmpty())
                throw AppError(tr("the place has no name"));
            out.places << place;
        } catch (const AppError& e) {
            out.refused << where + QStringLiteral(": ") + e.message();
        }
    }
}

void readPoints(OGRLayerH layer, PlaceFormat format, const QString& shown, const ReadProgress& progress,
    PlaceFileContents& out)
{
    OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
    const int name = findField(defn, { "name", "title" });
    const int description = findField(defn, { "description", "desc", "cmt" });
    LayerReader reader(layer, quickFeatureCount(layer), progress, out);
    while (Feature f { reader.next() }) {
        const QString where = tr("point %1").arg(reader.number());
        OGRGeometryH g = OGR_F_GetGeometryRef(f.get());
        if (g && format == PlaceFormat::GeoJson && wkbFlatten(OGR_G_GetGeometryType(g)) != wkbPoint)
            throw AppError(tr("%1 is not a FeatureCollection of points: feature %2 is a %3.")
                               .arg(shown)
                               .arg(reader.number())
                               .arg(QString::fromUtf8(OGR_G_GetGeometryName(g))));
        try {
            if (!g || OGR_G_IsEmpty(g) || wkbFlatten(OGR_G_GetGeometryType(g)) != wkbPoint)
                throw AppError(tr("it is not a point"));
            const QPointF lonLat(OGR_G_GetX(g, 0), OGR_G_GetY(g, 0));
            checkRange(lonLat.y(), Axis::Latitude);
            checkRange(lonLat.x(), Axis::Longitude);
            out.places << GeoPlace { fieldText(f.get(), name), fieldText(f.get(), description, Lines::Kept),
                lonLat, {} };
        } catch (const AppError& e) {
            out.refused << where + QStringLiteral(": ") + e.message();
        }
    }
}

} // namespace

PlaceFileContents readPlaceFile(const QString& hostPath, const ReadProgress& progress)
{
    registerDrivers();
    const QString shown = QFileInfo(hostPath).fileName();
    const PlaceFormat format = placeFormatOf(hostPath);
    if (!QFileInfo(hostPath).isFile())
        throw AppError(tr("%1 cannot be found.").arg(shown));
    const QuietGdal quiet;
    const char* const drivers[] = { driverName(format), nullptr };
    // GeoJSON's reader would otherwise take a text that looks like a date
    // (a place called "1916-04-24") for one and give it back reformatted.
    const char* const geoJsonOptions[] = { "DATE_AS_STRING=YES", nullptr };
    Dataset ds(GDALOpenEx(QFile::encodeName(hostPath).constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers,
        format == PlaceFormat::GeoJson ? geoJsonOptions : nullptr, nullptr));
    if (!ds)
        throw AppError(
            tr("%1 cannot be read as a %2 file: %3").arg(shown, QLatin1String(drivers[0]), lastGdalError()));
    PlaceFileContents out;
    if (format == PlaceFormat::Csv) {
        const std::optional<qint64> records = countCsvRecords(hostPath, progress);
        out.cancelled = !records;
        if (records)
            readCsv(GDALDatasetGetLayer(ds.get(), 0), *records, shown, progress, out);
    } else if (format == PlaceFormat::Gpx) {
        if (OGRLayerH waypoints = GDALDatasetGetLayerByName(ds.get(), "waypoints"))
            readPoints(waypoints, format, shown, progress, out);
    } else {
        for (int i = 0; i < GDALDatasetGetLayerCount(ds.get()) && !out.cancelled; ++i)
            readPoints(GDALDatasetGetLayer(ds.get(), i), format, shown, progress, out);
    }
    return out;
}

} // namespace platform
