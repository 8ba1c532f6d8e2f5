#include "data/georeferences.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/control_points.h"
#include "data/datamod1.h"
#include "platform/paths.h"

#include <QFile>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <memory>

namespace corvane {

namespace {

using platform::ControlPoint;
using platform::Georeference;

// What was read from one atlas folder; read again when vGraphicsPath, or
// the folder its drive stands for, changes.
struct AtlasGeodata {
    QString graphicsPath;
    QString hostFolder;
    const TDataModule1* userData = nullptr; // the data module the user's points came from
    QMap<QString, QList<ControlPoint>> points; // by upper-case sheet id
    QList<GazetteerTown> towns;
    QHash<QString, std::shared_ptr<const Georeference>> fitted; // null: no fit
    std::optional<QStringList> sheets; // with shipped or own points
};

// The rows of a tab-separated file without its header; none when the file is
// missing or unreadable (an atlas without a georeference).
QList<QStringList> readRows(const QString& windowsPath, int fields)
{
    QList<QStringList> rows;
    const std::optional<QString> host = platform::resolve(windowsPath);
    QFile file(host.value_or(QString()));
    if (!host || !file.open(QIODevice::ReadOnly))
        return rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines[i]);
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringList row = line.split(u'\t'); // blank fields at the end count
        if (row.size() == fields)
            rows << row;
    }
    return rows;
}

double number(const QString& text, bool& ok)
{
    bool good = false;
    const double value = text.toDouble(&good);
    ok = ok && good;
    return value;
}

void readControlPoints(AtlasGeodata& d)
{
    for (const QStringList& r : readRows(d.graphicsPath + QStringLiteral("Georef\\CONTROL.TSV"), 5)) {
        bool ok = true;
        const ControlPoint p { { number(r[1], ok), number(r[2], ok) },
            { number(r[3], ok), number(r[4], ok) } };
        if (ok)
            d.points[r[0].toUpper()] << p;
    }
}

void readGazetteer(AtlasGeodata& d)
{
    for (const QStringList& r : readRows(d.graphicsPath + QStringLiteral("Georef\\TOWNS.TSV"), 6)) {
        bool ok = true;
        GazetteerTown t { r[0], { number(r[1], ok), number(r[2], ok) }, r[3], {} };
        if (!t.sheetId.isEmpty())
            t.pixel = { number(r[4], ok), number(r[5], ok) };
        if (ok)
            d.towns << t;
    }
}

AtlasGeodata& atlas()
{
    static AtlasGeodata d;
    const QString host = platform::resolve(vGraphicsPath).value_or(QString());
    if (d.graphicsPath != vGraphicsPath || d.hostFolder != host || host.isEmpty()
        || d.userData != DataModule1) {
        d = AtlasGeodata { vGraphicsPath, host, DataModule1, {}, {}, {}, {} };
        readControlPoints(d);
        readGazetteer(d);
        // A restore, "go back" or import brings other points of the user's.
        if (DataModule1)
            QObject::connect(DataModule1, &TDataModule1::userTablesReplaced, DataModule1, [] {
                atlas().fitted.clear();
                atlas().sheets.reset();
            });
    }
    return d;
}

} // namespace

const QList<GazetteerTown>& gazetteer()
{
    return atlas().towns;
}

QList<ControlPoint> shippedControlPoints(const QString& sheetId)
{
    return atlas().points.value(sheetId.toUpper());
}

QStringList georeferencedSheets()
{
    AtlasGeodata& d = atlas();
    if (!d.sheets) {
        d.sheets = d.points.keys();
        for (const QString& id : sheetsWithUserPoints())
            if (!d.sheets->contains(id))
                *d.sheets << id;
    }
    return *d.sheets;
}

const Georeference* sheetGeoreference(const QString& sheetId)
{
    AtlasGeodata& d = atlas();
    const QString key = sheetId.toUpper();
    auto found = d.fitted.find(key);
    if (found == d.fitted.end()) {
        std::shared_ptr<const Georeference> fit;
        SheetControlPoints own = userControlPoints(key);
        if (own.points.isEmpty())
            own.points = shippedControlPoints(key);
        try {
            if (!own.points.isEmpty())
                fit = std::make_shared<const Georeference>(Georeference::fit(own.points, own.transform));
        } catch (const platform::FitError&) {
            // Shipped points that give no fit leave the sheet without one.
        }
        found = d.fitted.insert(key, fit);
    }
    return found.value().get();
}

void forgetGeoreference(const QString& sheetId)
{
    atlas().fitted.remove(sheetId.toUpper());
    atlas().sheets.reset(); // the user's points of a sheet may be new, or gone
}

QPointF pixelCentre(QPoint pinPoint)
{
    return QPointF(pinPoint) + QPointF(0.5, 0.5);
}

std::optional<QPointF> lonLatOnSheet(const QString& sheetId, QPointF pixel)
{
    const Georeference* g = sheetGeoreference(sheetId);
    return g ? g->toLonLat(pixel) : std::nullopt;
}

std::optional<SheetPoint> sheetForLonLat(QPointF lonLat)
{
    std::optional<SheetPoint> best;
    double bestMargin = 0;
    for (const QString& id : georeferencedSheets()) {
        const Georeference* g = sheetGeoreference(id);
        // Far outside the points' coordinates the sheet cannot hold it.
        const QRectF near = g ? g->lonLatBounds() : QRectF();
        if (!near.adjusted(-near.width() / 4, -near.height() / 4, near.width() / 4, near.height() / 4)
                 .contains(lonLat))
            continue;
        const std::optional<QPointF> px = g->toPixel(lonLat);
        if (!px)
            continue;
        const QRectF area = g->pixelArea();
        const double margin = std::min(
            { px->x() - area.left(), area.right() - px->x(), px->y() - area.top(), area.bottom() - px->y() });
        if (margin >= 0 && (!best || margin > bestMargin)) {
            best = SheetPoint { id, *px };
            bestMargin = margin;
        }
    }
    return best;
}

} // namespace corvane
