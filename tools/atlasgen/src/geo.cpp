#include "geo.h"

#include <QFile>
#include <QLineF>
#include <QTextStream>

#include <cmath>

namespace atlasgen {

namespace {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kDeg = M_PI / 180.0;
constexpr double kLon0 = -4.0 * kDeg;

double tanHalf(double lat)
{
    return std::tan(M_PI / 4 + lat / 2);
}

QRectF boundsOf(const QPolygonF& p)
{
    return p.boundingRect();
}

// "lon,lat;lon,lat;..." as used by the hand-written files.
bool parsePointList(const QString& text, const Projection& proj, QPolygonF& out)
{
    out.clear();
    const QStringList pairs = text.split(u';', Qt::SkipEmptyParts);
    for (const QString& pair : pairs) {
        const QStringList xy = pair.split(u',');
        bool okX = false, okY = false;
        if (xy.size() != 2)
            return false;
        const double lon = xy[0].trimmed().toDouble(&okX);
        const double lat = xy[1].trimmed().toDouble(&okY);
        if (!okX || !okY)
            return false;
        out << proj.forward(lon, lat);
    }
    return out.size() >= 2;
}

bool parseLonLat(const QStringList& f, int at, QPointF& out)
{
    bool okX = false, okY = false;
    out = QPointF(f.value(at).toDouble(&okX), f.value(at + 1).toDouble(&okY));
    return okX && okY && out.x() > -15 && out.x() < 5 && out.y() > 48 && out.y() < 62;
}

} // namespace

Projection::Projection()
{
    const double p1 = 52 * kDeg, p2 = 58 * kDeg, p0 = 54 * kDeg;
    m_n = std::log(std::cos(p1) / std::cos(p2)) / std::log(tanHalf(p2) / tanHalf(p1));
    m_f = std::cos(p1) * std::pow(tanHalf(p1), m_n) / m_n;
    m_rho0 = kEarthRadiusKm * m_f / std::pow(tanHalf(p0), m_n);
}

QPointF Projection::forward(double lon, double lat) const
{
    const double rho = kEarthRadiusKm * m_f / std::pow(tanHalf(lat * kDeg), m_n);
    const double theta = m_n * (lon * kDeg - kLon0);
    return { rho * std::sin(theta), m_rho0 - rho * std::cos(theta) };
}

QPointF Projection::inverse(QPointF km) const
{
    const double dy = m_rho0 - km.y();
    const double rho = std::hypot(km.x(), dy);
    const double theta = std::atan2(km.x(), dy);
    const double lat = 2 * std::atan(std::pow(kEarthRadiusKm * m_f / rho, 1.0 / m_n)) - M_PI / 2;
    return { (theta / m_n + kLon0) / kDeg, lat / kDeg };
}

bool readTsv(const QString& path, QVector<TsvRow>& rows, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    int number = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++number;
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        rows.push_back({ number, line.split(u'\t') });
    }
    return true;
}

bool GeoData::fail(const QString& file, int line, const QString& what)
{
    m_error = QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what);
    return false;
}

bool GeoData::load(const QString& dataDir)
{
    const QString d = dataDir + u'/';
    return loadShapes(d + QStringLiteral("geodata.txt")) && loadTowns(d + QStringLiteral("towns.tsv"))
        && loadLabels(d + QStringLiteral("labels.tsv")) && loadRanges(d + QStringLiteral("relief.tsv"))
        && loadRailways(d + QStringLiteral("railways.tsv")) && loadAreas(d + QStringLiteral("areas.tsv"))
        && (settleCoastalTowns(), true);
}

bool GeoData::loadShapes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(path, 0, file.errorString());
    QTextStream in(&file);
    int number = 0;
    QVector<Shape>* target = nullptr;
    int remaining = 0;
    Shape shape;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++number;
        if (line.startsWith(u'#') || line.isEmpty())
            continue;
        const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
        if (remaining == 0) {
            static const QHash<QString, int> kinds { { QStringLiteral("land"), 0 },
                { QStringLiteral("lake"), 1 }, { QStringLiteral("river"), 2 },
                { QStringLiteral("border"), 3 } };
            QVector<Shape>* targets[] = { &land, &lakes, &rivers, &borders };
            if (f.size() != 3 || !kinds.contains(f[0]))
                return fail(path, number, QStringLiteral("expected '<kind> <level> <count>'"));
            target = targets[kinds.value(f[0])];
            shape = Shape {};
            shape.level = f[1].toInt();
            remaining = f[2].toInt();
            if (remaining < 2)
                return fail(path, number, QStringLiteral("a shape needs two points"));
            continue;
        }
        bool okX = false, okY = false;
        const double lon = f.value(0).toDouble(&okX), lat = f.value(1).toDouble(&okY);
        if (f.size() != 2 || !okX || !okY)
            return fail(path, number, QStringLiteral("expected '<lon> <lat>'"));
        shape.km << m_proj.forward(lon, lat);
        if (--remaining == 0) {
            shape.bounds = boundsOf(shape.km);
            target->push_back(shape);
        }
    }
    if (remaining != 0)
        return fail(path, number, QStringLiteral("file ends inside a shape"));
    if (land.isEmpty())
        return fail(path, number, QStringLiteral("no coastline"));
    return true;
}

bool GeoData::loadTowns(const QString& path)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, m_error))
        return false;
    static const QHash<QString, TownKind> kinds { { QStringLiteral("C"), TownKind::Capital },
        { QStringLiteral("K"), TownKind::CountyTown }, { QStringLiteral("T"), TownKind::Town },
        { QStringLiteral("V"), TownKind::Village } };
    static const QString sides = QStringLiteral("RLAB");
    for (const TsvRow& row : rows) {
        Town t;
        t.name = row.fields.value(0).trimmed();
        if (t.name.isEmpty() || !parseLonLat(row.fields, 1, t.lonLat) || !kinds.contains(row.fields.value(3)))
            return fail(
                path, row.line, QStringLiteral("expected name, lon, lat, kind C/K/T/V [, side R/L/A/B]"));
        t.kind = kinds.value(row.fields.value(3));
        t.labelSide = std::max<qsizetype>(0, sides.indexOf(row.fields.value(4, QStringLiteral("R"))));
        t.km = m_proj.forward(t.lonLat);
        if (m_townIndex.contains(t.name))
            return fail(path, row.line, QStringLiteral("town listed twice: ") + t.name);
        m_townIndex.insert(t.name, int(towns.size()));
        towns.push_back(t);
    }
    return true;
}

bool GeoData::loadLabels(const QString& path)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, m_error))
        return false;
    static const QHash<QString, LabelKind> kinds { { QStringLiteral("sea"), LabelKind::Sea },
        { QStringLiteral("channel"), LabelKind::Channel }, { QStringLiteral("country"), LabelKind::Country },
        { QStringLiteral("region"), LabelKind::Region }, { QStringLiteral("county"), LabelKind::County },
        { QStringLiteral("island"), LabelKind::Island }, { QStringLiteral("mountain"), LabelKind::Mountain },
        { QStringLiteral("cape"), LabelKind::Cape }, { QStringLiteral("lake"), LabelKind::Lake },
        { QStringLiteral("river"), LabelKind::River } };
    for (const TsvRow& row : rows) {
        Label l;
        QPointF lonLat;
        l.text = row.fields.value(0).trimmed();
        if (l.text.isEmpty() || !parseLonLat(row.fields, 1, lonLat) || !kinds.contains(row.fields.value(3)))
            return fail(path, row.line, QStringLiteral("expected text, lon, lat, kind [, angle, size]"));
        l.kind = kinds.value(row.fields.value(3));
        l.angle = row.fields.value(4, QStringLiteral("0")).toDouble();
        l.size = row.fields.value(5, QStringLiteral("1")).toDouble();
        if (l.size <= 0)
            l.size = 1;
        l.km = m_proj.forward(lonLat);
        labels.push_back(l);
    }
    return true;
}

bool GeoData::loadRanges(const QString& path)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, m_error))
        return false;
    for (const TsvRow& row : rows) {
        const QString kind = row.fields.value(0);
        if (kind == u"peak") {
            Peak p;
            QPointF lonLat;
            p.name = row.fields.value(1);
            p.heightFeet = row.fields.value(4).toInt();
            if (p.name.isEmpty() || !parseLonLat(row.fields, 2, lonLat) || p.heightFeet <= 0)
                return fail(path, row.line, QStringLiteral("expected peak, name, lon, lat, feet"));
            p.km = m_proj.forward(lonLat);
            peaks.push_back(p);
        } else if (kind == u"range") {
            Range r;
            r.name = row.fields.value(1);
            r.halfWidthKm = row.fields.value(2).toDouble();
            r.height = row.fields.value(3).toDouble();
            if (r.halfWidthKm <= 0 || r.height <= 0 || !parsePointList(row.fields.value(4), m_proj, r.km))
                return fail(
                    path, row.line, QStringLiteral("expected range, name, half-width km, height, points"));
            ranges.push_back(r);
        } else {
            return fail(path, row.line, QStringLiteral("unknown kind ") + kind);
        }
    }
    return true;
}

bool GeoData::loadRailways(const QString& path)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, m_error))
        return false;
    for (const TsvRow& row : rows) {
        QPolygonF line;
        for (const QString& name : row.fields) {
            const Town* t = town(name.trimmed());
            if (!t)
                return fail(path, row.line, QStringLiteral("unknown town ") + name);
            line << t->km;
        }
        if (line.size() < 2)
            return fail(path, row.line, QStringLiteral("a railway needs two towns"));
        railways.push_back(line);
    }
    return true;
}

bool GeoData::loadAreas(const QString& path)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, m_error))
        return false;
    for (const TsvRow& row : rows) {
        QPolygonF points;
        if (!parsePointList(row.fields.value(2), m_proj, points))
            return fail(path, row.line, QStringLiteral("expected kind, name, points"));
        if (row.fields[0] == u"area") {
            points << points.first();
            countryAreas.insert(row.fields[1], points);
        } else if (row.fields[0] == u"border") {
            internalBorders.push_back({ points, boundsOf(points), 1 });
        } else {
            return fail(path, row.line, QStringLiteral("unknown kind ") + row.fields[0]);
        }
    }
    for (const char* c : { "S", "W", "I", "F" })
        if (!countryAreas.contains(QLatin1String(c)))
            return fail(path, 0, QStringLiteral("missing area ") + QLatin1String(c));
    return true;
}

const Town* GeoData::town(const QString& name) const
{
    const auto it = m_townIndex.constFind(name);
    return it == m_townIndex.constEnd() ? nullptr : &towns[*it];
}

bool GeoData::onLand(QPointF km) const
{
    bool inside = false;
    for (const Shape& s : land)
        if (s.bounds.contains(km) && s.km.containsPoint(km, Qt::OddEvenFill))
            inside = !inside;
    for (const Shape& s : lakes)
        if (s.bounds.contains(km) && s.km.containsPoint(km, Qt::OddEvenFill))
            return false;
    return inside;
}

QString GeoData::countryAt(QPointF km) const
{
    if (!onLand(km))
        return {};
    for (const char* c : { "S", "W", "I", "F" })
        if (countryAreas.value(QLatin1String(c)).containsPoint(km, Qt::OddEvenFill))
            return QLatin1String(c);
    return QStringLiteral("E");
}

// Town coordinates are written to about a kilometre; a harbour can then fall
// just off a coast drawn from other data, or a town at a loch's head into the
// loch. Move such towns onto the nearest shore.
void GeoData::settleCoastalTowns()
{
    for (Town& t : towns) {
        if (onLand(t.km))
            continue;
        double best = 5; // km; farther out the coordinate itself is wrong
        QPointF shore;
        for (const QVector<Shape>* shapes : { &land, &lakes })
            for (const Shape& s : *shapes) {
                if (!s.bounds.adjusted(-5, -5, 5, 5).contains(t.km))
                    continue;
                for (const QPointF& p : s.km)
                    if (const double d = QLineF(p, t.km).length(); d < best) {
                        best = d;
                        shore = p;
                    }
            }
        if (best >= 5)
            continue;
        for (int i = 0; i < 16; ++i) {
            const double a = i * M_PI / 8;
            const QPointF candidate = shore + QPointF(std::cos(a), std::sin(a)) * 0.4;
            if (onLand(candidate)) {
                t.km = candidate;
                break;
            }
        }
    }
}

} // namespace atlasgen
