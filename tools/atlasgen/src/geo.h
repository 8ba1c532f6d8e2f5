#pragma once
// Geographic data of the atlas: the GSHHG extract, the hand-written gazetteer
// and the projection shared by every sheet.

#include <QHash>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

namespace atlasgen {

// Lambert conformal conic on a sphere, standard parallels 52 and 58 degrees,
// central meridian 4 degrees west; plane coordinates in kilometres, y north.
class Projection {
public:
    Projection();
    QPointF forward(double lon, double lat) const;
    QPointF inverse(QPointF km) const; // x = lon, y = lat
    QPointF forward(QPointF lonLat) const { return forward(lonLat.x(), lonLat.y()); }

private:
    double m_n, m_f, m_rho0;
};

// A projected line or ring with its bounds, in kilometres.
struct Shape {
    QPolygonF km;
    QRectF bounds;
    int level = 0;
};

enum class TownKind { Capital, CountyTown, Town, Village };

struct Town {
    QString name;
    QPointF lonLat;
    QPointF km;
    TownKind kind = TownKind::Town;
    int labelSide = 0; // 0 right, 1 left, 2 above, 3 below
};

enum class LabelKind { Sea, Channel, Country, Region, County, Island, Mountain, Cape, Lake, River };

struct Label {
    QString text;
    QPointF km;
    LabelKind kind = LabelKind::Region;
    double angle = 0; // degrees, counter-clockwise
    double size = 1.0; // relative to the kind's normal size
};

// A mountain crest drawn as hachures: the crest line and its half-width.
struct Range {
    QString name;
    QPolygonF km;
    double halfWidthKm = 8;
    double height = 1.0; // 0..1, how dark the hachures are
};

struct Peak {
    QString name;
    QPointF km;
    int heightFeet = 0;
};

// Everything the sheets are drawn from, loaded once from the data folder.
// Each loader reports the first bad line of its file through error().
class GeoData {
public:
    bool load(const QString& dataDir);
    QString error() const { return m_error; }
    const Projection& projection() const { return m_proj; }

    QVector<Shape> land, lakes, rivers, borders;
    QVector<Shape> internalBorders; // England/Scotland, England/Wales
    QHash<QString, QPolygonF> countryAreas; // "S", "W", "I", "F" (the Continent) -> km polygon
    QVector<Town> towns;
    QVector<Label> labels;
    QVector<Range> ranges;
    QVector<Peak> peaks;
    QVector<QPolygonF> railways;

    const Town* town(const QString& name) const;
    bool onLand(QPointF km) const;
    QString countryAt(QPointF km) const; // "E", "S", "W", "I", "F" or empty at sea

private:
    bool loadShapes(const QString& path);
    bool loadTowns(const QString& path);
    bool loadLabels(const QString& path);
    bool loadRanges(const QString& path);
    bool loadRailways(const QString& path);
    bool loadAreas(const QString& path);
    void settleCoastalTowns();
    bool fail(const QString& file, int line, const QString& what);

    Projection m_proj;
    QString m_error;
    QHash<QString, int> m_townIndex;
};

// Reads a tab-separated UTF-8 file without its comment lines ('#'); each row
// keeps its 1-based line number for messages.
struct TsvRow {
    int line = 0;
    QStringList fields;
};
bool readTsv(const QString& path, QVector<TsvRow>& rows, QString& error);

} // namespace atlasgen
