#include "sheetgrid.h"

#include "geo.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace atlasgen {

namespace {
// Lower-left corner of cell H03 (London) in the projection plane; chosen so
// that London, Land's End, Lowestoft, Dingle and Unst all fall on sheets
// that the overviews can show.
constexpr double kOriginXKm = 200.0;
constexpr double kOriginYKm = -310.0;
constexpr int kOriginCol = 7; // 'H'
constexpr int kOriginRow = 3;

// Where the first cell of a 7 x 7 window lies in an overview picture. With
// these offsets sheet H03 lands where the atlas window first draws its
// outline (top 242, left 404).
constexpr int kOverviewLeft = 8, kOverviewTop = 44;
} // namespace

namespace grid {

QRectF cellKm(Cell c)
{
    const double x = kOriginXKm + (c.col - kOriginCol) * kCellWidthKm;
    const double y = kOriginYKm + (c.row - kOriginRow) * kCellHeightKm;
    return { x, y, kCellWidthKm, kCellHeightKm };
}

QString sheetId(const QString& prefix, Cell c)
{
    return QStringLiteral("%1-%2%3").arg(prefix).arg(c.row, 2, 10, QLatin1Char('0')).arg(QChar(u'A' + c.col));
}

bool parseSheetId(const QString& id, Cell& c)
{
    static const QRegularExpression re(QStringLiteral("^(GB|IR)-(\\d\\d)([A-Z])$"));
    const auto m = re.match(id);
    if (!m.hasMatch())
        return false;
    c.row = m.captured(2).toInt();
    c.col = m.captured(3).at(0).unicode() - u'A';
    return true;
}

} // namespace grid

bool Overview::contains(Cell c) const
{
    return c.col >= firstCol && c.col < firstCol + 7 && c.row <= topRow && c.row > topRow - 7;
}

QRect Overview::cellPixels(Cell c) const
{
    return { kOverviewLeft + (c.col - firstCol) * grid::kOverviewCellWidth,
        kOverviewTop + (topRow - c.row) * grid::kOverviewCellHeight, grid::kOverviewCellWidth,
        grid::kOverviewCellHeight };
}

double Overview::pixelsPerKm() const
{
    return grid::kOverviewCellWidth / grid::kCellWidthKm;
}

QRectF Overview::viewKm() const
{
    const QRectF topLeftCell = grid::cellKm({ firstCol, topRow });
    const double s = pixelsPerKm();
    const double left = topLeftCell.left() - kOverviewLeft / s;
    const double top = topLeftCell.bottom() + kOverviewTop / s; // northern edge
    const double w = grid::kOverviewWidth / s, h = grid::kOverviewHeight / s;
    return { left, top - h, w, h };
}

const Overview& overviewSouth()
{
    static const Overview o { QStringLiteral("LOC-S"), 2, 7,
        QStringLiteral("Übersicht: England, Wales und Irland") };
    return o;
}

const Overview& overviewNorth()
{
    static const Overview o { QStringLiteral("LOC-N"), 2, 12, QStringLiteral("Übersicht: Schottland") };
    return o;
}

const Overview& overviewFor(const QString& country)
{
    return country == u"S" ? overviewNorth() : overviewSouth();
}

QRect outlineOnOverview(int locTop, int locLeft)
{
    // The atlas window: outline at (LocLeft div 2 + 63, LocTop div 2 + 26),
    // 67 x 48, over the half-size overview whose box starts at (65, 28).
    const int top = locTop / 2 + 26, left = locLeft / 2 + 63;
    return { 2 * (left - 65), 2 * (top - 28), 134, 96 };
}

namespace {

QString neighbour(const QHash<QString, QString>& byCell, Cell c)
{
    return byCell.value(QStringLiteral("%1/%2").arg(c.col).arg(c.row));
}

// Atlas order: England and Wales, then Scotland, then Ireland; each from
// north to south and west to east, one double page per sheet.
void assignPages(QVector<Sheet>& sheets)
{
    auto group = [](const Sheet& s) { return s.country == u"S" ? 1 : s.country == u"I" ? 2 : 0; };
    QVector<Sheet*> order;
    for (Sheet& s : sheets)
        order << &s;
    std::sort(order.begin(), order.end(), [&](const Sheet* a, const Sheet* b) {
        if (group(*a) != group(*b))
            return group(*a) < group(*b);
        if (a->cell.row != b->cell.row)
            return a->cell.row > b->cell.row;
        return a->cell.col < b->cell.col;
    });
    int page = 4;
    for (Sheet* s : order) {
        s->pages = QStringLiteral("%1-%2").arg(page).arg(page + 1);
        page += 2;
    }
}

} // namespace

bool loadSheets(const QString& path, QVector<Sheet>& sheets, QString& error)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, error))
        return false;
    QHash<QString, QString> byCell;
    for (const TsvRow& row : rows) {
        Sheet s;
        s.id = row.fields.value(0);
        s.title = row.fields.value(1);
        s.country = row.fields.value(2);
        const bool prefixOk = s.id.startsWith(s.country == u"I" ? u"IR-" : u"GB-");
        if (!grid::parseSheetId(s.id, s.cell) || !prefixOk || s.title.isEmpty() || s.title.size() > 60
            || !QStringLiteral("EISW").contains(s.country) || s.country.size() != 1) {
            error = QStringLiteral("%1:%2: bad sheet row").arg(path).arg(row.line);
            return false;
        }
        if (!overviewFor(s.country).contains(s.cell)) {
            error = QStringLiteral("%1:%2: %3 lies outside its overview").arg(path).arg(row.line).arg(s.id);
            return false;
        }
        const QString key = QStringLiteral("%1/%2").arg(s.cell.col).arg(s.cell.row);
        if (byCell.contains(key)) {
            error = QStringLiteral("%1:%2: two sheets on one cell").arg(path).arg(row.line);
            return false;
        }
        byCell.insert(key, s.id);
        sheets.push_back(s);
    }
    for (Sheet& s : sheets) {
        const Cell c = s.cell;
        s.west = neighbour(byCell, { c.col - 1, c.row });
        s.east = neighbour(byCell, { c.col + 1, c.row });
        s.north = neighbour(byCell, { c.col, c.row + 1 });
        s.south = neighbour(byCell, { c.col, c.row - 1 });
        // Any point that rounds into the outline arithmetic works; +5 keeps
        // the values clear of the cell edge.
        const QRect px = overviewFor(s.country).cellPixels(c);
        s.locTop = px.top() + 5;
        s.locLeft = px.left() + 5;
    }
    assignPages(sheets);
    return true;
}

} // namespace atlasgen
