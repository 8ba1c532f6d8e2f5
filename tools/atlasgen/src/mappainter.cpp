#include "mappainter.h"

#include "distancefield.h"
#include "geo.h"

#include <QPainterPath>
#include <QPainterPathStroker>
#include <QSet>

#include <cmath>
#include <random>

namespace atlasgen {

namespace {

constexpr double kSheetPxPerKm = 4020.0 * 28 / 30 / (110.0 * 134 / 96); // detail sheet's map area

const QColor& kInk = ink::text;
const QColor& kWaterInk = ink::water;
const QColor& kWaterLine = ink::waterLine;
const QColor& kWaterTint = ink::waterTint;
const QColor& kReliefInk = ink::relief;

QPen cosmetic(const QColor& c, double width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(c, width, style, Qt::RoundCap, Qt::RoundJoin);
    pen.setCosmetic(true);
    return pen;
}

} // namespace

QColor ink::country(const QString& c)
{
    if (c == u"S")
        return { 0xe8, 0xc8, 0x62 };
    if (c == u"W")
        return { 0xe9, 0xa8, 0x6c };
    if (c == u"I")
        return { 0x93, 0xc2, 0x8c };
    if (c == u"F")
        return { 0xbc, 0xae, 0xd6 };
    return { 0xe6, 0x98, 0x9c }; // England
}

QFont atlasFont(const QString& family, double pixelSize, bool italic, bool bold)
{
    QFont f(family);
    f.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    f.setItalic(italic);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

MapPainter::MapPainter(
    const GeoData& geo, QImage& print, const QRectF& viewKm, const QRectF& targetPx, MapDetail detail)
    : m_geo(geo)
    , m_print(print)
    , m_viewKm(viewKm)
    , m_targetPx(targetPx)
    , m_detail(detail)
{
    m_toPx = planeToPicture(viewKm, targetPx);
    m_unit = m_toPx.m11() / kSheetPxPerKm;
}

QTransform MapPainter::planeToPicture(const QRectF& viewKm, const QRectF& targetPx)
{
    const double k = targetPx.width() / viewKm.width();
    return QTransform(k, 0, 0, -k, targetPx.left() - viewKm.left() * k, targetPx.top() + viewKm.bottom() * k);
}

namespace {

// Sutherland-Hodgman against one side of the rectangle at a time.
QPolygonF clipPolygon(const QPolygonF& poly, const QRectF& r)
{
    QPolygonF out = poly;
    for (int side = 0; side < 4; ++side) {
        auto inside = [&](QPointF p) {
            switch (side) {
            case 0:
                return p.x() >= r.left();
            case 1:
                return p.x() <= r.right();
            case 2:
                return p.y() >= r.top();
            default:
                return p.y() <= r.bottom();
            }
        };
        auto cut = [&](QPointF a, QPointF b) {
            const double t = side < 2 ? ((side == 0 ? r.left() : r.right()) - a.x()) / (b.x() - a.x())
                                      : ((side == 2 ? r.top() : r.bottom()) - a.y()) / (b.y() - a.y());
            return a + (b - a) * t;
        };
        const QPolygonF in = out;
        out.clear();
        for (qsizetype i = 0; i < in.size(); ++i) {
            const QPointF a = in[i], b = in[(i + 1) % in.size()];
            if (inside(b)) {
                if (!inside(a))
                    out << cut(a, b);
                out << b;
            } else if (inside(a)) {
                out << cut(a, b);
            }
        }
        if (out.isEmpty())
            break;
    }
    return out;
}

// Keeps the parts of a line near the rectangle, so that no stroke is
// computed for the far-away rest of a long coast or river.
void addClippedPolyline(QPainterPath& path, const QPolygonF& line, const QRectF& r)
{
    bool drawing = false;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QRectF seg = QRectF(line[i - 1], line[i]).normalized().adjusted(-1e-6, -1e-6, 1e-6, 1e-6);
        if (!seg.intersects(r)) {
            drawing = false;
            continue;
        }
        if (!drawing)
            path.moveTo(line[i - 1]);
        path.lineTo(line[i]);
        drawing = true;
    }
}

} // namespace

QPainterPath MapPainter::shapesPath(const QVector<Shape>& shapes, double marginKm, bool closed) const
{
    const QRectF area = m_viewKm.adjusted(-marginKm, -marginKm, marginKm, marginKm);
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const Shape& s : shapes) {
        if (!s.bounds.intersects(area))
            continue;
        if (!closed)
            addClippedPolyline(path, s.km, area);
        else if (area.contains(s.bounds))
            path.addPolygon(s.km);
        else if (const QPolygonF clipped = clipPolygon(s.km, area); clipped.size() > 2)
            path.addPolygon(clipped);
    }
    return m_toPx.map(path);
}

double MapPainter::marginKm() const
{
    // wider than the widest stroke, so cut edges of clipped rings stay unseen
    return 400.0 / m_toPx.m11();
}

bool MapPainter::placeLabel(const QRectF& r)
{
    for (const QRectF& o : m_placed)
        if (o.intersects(r))
            return false;
    m_placed << r;
    return true;
}

void MapPainter::paint()
{
    const QPainterPath land = shapesPath(m_geo.land, marginKm(), true);
    paintWashes(land);
    QPainter p(&m_print);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setClipRect(m_targetPx);
    paintCoast(p, land);
    if (m_detail == MapDetail::Sheet)
        paintRelief(p, land);

    paintLakesAndRivers(p);
    paintBorders(p);
    paintGraticule(p);
    if (m_detail == MapDetail::Sheet) {
        paintRailways(p);
        paintPeaks(p);
    }
    paintLabels(p);
    paintTowns(p);
}

namespace {

QRgb mix(QRgb a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return qRgb(int(qRed(a) + (b.red() - qRed(a)) * t), int(qGreen(a) + (b.green() - qGreen(a)) * t),
        int(qBlue(a) + (b.blue() - qBlue(a)) * t));
}

const char* const kCountryCodes[] = { "", "E", "S", "W", "I", "F" };

} // namespace

// Rasterises land by country: 0 sea, 1 England (what no other area claims),
// then S, W, I, F. The picture is widened by a margin so that coasts just
// outside it still cast their water lines into it.
QImage MapPainter::countryLabels(const QPainterPath& land, QRect target, int margin) const
{
    QImage labels(target.size() + QSize(2 * margin, 2 * margin), QImage::Format_RGB32);
    labels.fill(0);
    QPainter lp(&labels);
    lp.translate(margin - target.left(), margin - target.top());
    lp.setPen(Qt::NoPen);
    for (int v = 1; v <= 5; ++v) {
        lp.save();
        if (v > 1) {
            QPainterPath area;
            area.addPolygon(m_toPx.map(m_geo.countryAreas.value(QLatin1String(kCountryCodes[v]))));
            lp.setClipPath(area);
        }
        lp.setBrush(QColor(v, v, v));
        lp.drawPath(land);
        lp.restore();
    }
    return labels;
}

// The sea gets engraved water lines at growing distances from the coast and
// a blue wash that fades out to sea; each country gets a band of its colour
// along its coasts and borders, as the colourists laid it with a brush. Both
// follow from one distance field to the nearest coast or border.
void MapPainter::paintWashes(const QPainterPath& land)
{
    const bool sheet = m_detail == MapDetail::Sheet;
    const double u = sheet ? m_unit : 0.12;
    const int margin = int(std::ceil(sheet ? 180 * m_unit : 30));
    const QRect target = m_targetPx.toAlignedRect().intersected(m_print.rect());
    const QImage labels = countryLabels(land, target, margin);
    const int w = labels.width(), h = labels.height();
    std::vector<unsigned char> edge(size_t(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(labels.constScanLine(y));
        const auto* below = reinterpret_cast<const QRgb*>(labels.constScanLine(std::min(y + 1, h - 1)));
        unsigned char* e = edge.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            if (x + 1 < w && row[x + 1] != row[x])
                e[x] = e[x + 1] = 1;
            if (y + 1 < h && below[x] != row[x])
                e[x] = e[x + w] = 1;
        }
    }
    const std::vector<float> dist = distanceToFeatures(edge, w, h);

    static const double ripples[] = { 9, 19, 31, 45, 62, 82, 106, 134 };
    const int rippleCount = sheet ? 8 : 2;
    const double rippleScale = sheet ? u : 0.3;
    const double halfLine = sheet ? 0.75 * u + 0.3 : 0.25;
    const double tintReach = sheet ? 160 * u : 14, bandReach = sheet ? 90 * u : 6;
    QColor country[6];
    for (int v = 1; v <= 5; ++v)
        country[v] = ink::country(QLatin1String(kCountryCodes[v]));
    const QRgb white = qRgb(255, 255, 255);
    const double lastRipple = ripples[rippleCount - 1] * rippleScale + halfLine + 1;
    for (int y = target.top(); y <= target.bottom(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(m_print.scanLine(y));
        const int ly = y - target.top() + margin;
        const auto* labelRow = reinterpret_cast<const QRgb*>(labels.constScanLine(ly));
        const float* distRow = dist.data() + size_t(ly) * w;
        for (int x = target.left(); x <= target.right(); ++x) {
            const int lx = x - target.left() + margin;
            const double d = distRow[lx];
            const int l = qBlue(labelRow[lx]);
            QRgb c = white;
            if (l == 0) {
                if (d < tintReach) {
                    const double t = 1 - d / tintReach;
                    c = mix(c, ink::waterTint, 0.55 * t * std::sqrt(t)); // (1 - d/reach)^1.5
                }
                if (d < lastRipple) {
                    double line = 0;
                    for (int k = 0; k < rippleCount; ++k)
                        line = std::max(line, halfLine + 0.5 - std::fabs(d - ripples[k] * rippleScale));
                    if (line > 0)
                        c = mix(c, ink::waterLine, (sheet ? 0.9 : 0.6) * std::min(1.0, line));
                }
            } else {
                const double band = d < bandReach ? 0.5 * (1 - d / bandReach) : 0.0;
                if (band > 0 || !sheet)
                    c = mix(c, country[l], sheet ? band : 0.28 + band);
            }
            out[x] = c;
        }
    }
}

void MapPainter::paintCoast(QPainter& p, const QPainterPath& land)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(
        cosmetic(kInk, std::max(1.0, (m_detail == MapDetail::Sheet ? 2.6 : 1.1) * std::max(m_unit, 0.45))));
    p.drawPath(land);
}

namespace {

struct HachureStyle {
    double stepKm; // distance between strokes along the crest
    double halfWidthKm;
    bool spurs; // grow side ridges off this crest
};

// Strokes down both flanks of one crest line (in km). The flank length
// wanders smoothly along the crest so that the range gets a natural outline.
void hachureCrest(QVector<QLineF>& lines, QVector<QPolygonF>& spurs, const QPolygonF& crest,
    const HachureStyle& st, std::mt19937& rng)
{
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    double total = 0;
    for (qsizetype i = 1; i < crest.size(); ++i)
        total += QLineF(crest[i - 1], crest[i]).length();
    const double phase1 = uni(rng) * 6.3, phase2 = uni(rng) * 6.3, phase3 = uni(rng) * 6.3;
    double along = 0, nextSpur = st.halfWidthKm * (0.8 + uni(rng));
    for (qsizetype i = 1; i < crest.size(); ++i) {
        const QLineF seg(crest[i - 1], crest[i]);
        const QPointF dir = (seg.p2() - seg.p1()) / std::max(seg.length(), 1e-9);
        const QPointF normal(-dir.y(), dir.x());
        for (double t = 0; t < seg.length(); t += st.stepKm, along += st.stepKm) {
            const double ends = std::min(along, total - along) / st.halfWidthKm;
            const double taper = std::clamp(0.25 + ends * 0.8, 0.25, 1.0);
            const QPointF c = seg.p1() + dir * t;
            for (int side : { -1, 1 }) {
                const double wander = 0.5 + 0.3 * std::sin(along / (st.halfWidthKm * 0.9) + phase1 + side)
                    + 0.2 * std::sin(along / (st.halfWidthKm * 0.35) + (side > 0 ? phase2 : phase3));
                const double len = st.halfWidthKm * taper * (0.3 + 0.6 * wander + 0.15 * uni(rng));
                const double a = (uni(rng) - 0.5) * 0.35;
                const QPointF n = normal * std::cos(a) * side + dir * std::sin(a);
                // two or three rows of strokes, as the engravers cut them
                double from = st.halfWidthKm * 0.012;
                while (from < len) {
                    const double to = std::min(len, from + st.halfWidthKm * (0.22 + 0.2 * uni(rng)));
                    lines << QLineF(c + n * from, c + n * to);
                    from = to + st.halfWidthKm * 0.05;
                }
            }
            if (st.spurs && along > nextSpur && ends > 0.5) {
                const int side = uni(rng) < 0.5 ? -1 : 1;
                const QPointF n = normal * side;
                const double len = st.halfWidthKm * (0.7 + 0.5 * uni(rng));
                spurs << QPolygonF { c + n * (st.halfWidthKm * 0.15),
                    c + n * (len * 0.55) + dir * (len * 0.15 * (uni(rng) - 0.5)),
                    c + n * len + dir * (len * 0.3 * (uni(rng) - 0.5)) };
                nextSpur = along + st.halfWidthKm * (0.6 + 1.2 * uni(rng));
            }
        }
    }
}

} // namespace

// Hachures ("Bergstriche") run downhill from each crest and its side ridges,
// darker on the higher ranges.
void MapPainter::paintRelief(QPainter& p, const QPainterPath& land)
{
    p.save();
    p.setClipPath(land, Qt::IntersectClip);
    const double k = m_toPx.m11();
    for (qsizetype ri = 0; ri < m_geo.ranges.size(); ++ri) {
        const Range& r = m_geo.ranges[ri];
        if (!r.km.boundingRect()
                 .adjusted(-2 * r.halfWidthKm, -2 * r.halfWidthKm, 2 * r.halfWidthKm, 2 * r.halfWidthKm)
                 .intersects(m_viewKm))
            continue;
        std::mt19937 rng(unsigned(ri) * 7919u + 17u);
        QVector<QLineF> lines;
        QVector<QPolygonF> spurs;
        const double step = 4.2 / k / std::max(0.5, r.height);
        hachureCrest(lines, spurs, r.km, { step, r.halfWidthKm, true }, rng);
        QVector<QPolygonF> none;
        for (const QPolygonF& spur : spurs)
            hachureCrest(lines, none, spur, { step, r.halfWidthKm * 0.45, false }, rng);
        for (QLineF& l : lines)
            l = m_toPx.map(l);
        QColor ink = kReliefInk;
        ink.setAlphaF(0.5 + 0.45 * r.height);
        p.setPen(cosmetic(ink, std::max(0.8, 1.7 * m_unit)));
        p.drawLines(lines);
    }
    p.restore();
}

void MapPainter::paintLakesAndRivers(QPainter& p)
{
    const bool sheet = m_detail == MapDetail::Sheet;
    const double u = sheet ? m_unit : 0.3;
    for (int level = 4; level >= 1; --level) {
        if (!sheet && level > 2)
            continue;
        QVector<Shape> shapes;
        for (const Shape& s : m_geo.rivers)
            if (s.level == level)
                shapes << s;
        static const double widths[] = { 0, 3.4, 2.8, 2.1, 1.5 };
        p.setPen(cosmetic(kWaterInk, std::max(0.6, widths[level] * u)));
        p.drawPath(shapesPath(shapes, marginKm(), false));
    }
    const QPainterPath lakes = shapesPath(m_geo.lakes, marginKm(), true);
    p.setBrush(ink::lake);
    p.setPen(cosmetic(kWaterInk, std::max(0.6, 1.8 * u)));
    p.drawPath(lakes);
    p.setBrush(Qt::NoBrush);
}

void MapPainter::paintBorders(QPainter& p)
{
    const double u = m_detail == MapDetail::Sheet ? m_unit : 0.3;
    // The Ulster line follows old county boundaries: a county boundary here.
    QPen county = cosmetic(kInk, std::max(0.8, 2.4 * u), Qt::CustomDashLine);
    county.setDashPattern({ 1, 2.5 });
    county.setCapStyle(Qt::RoundCap);
    p.setPen(county);
    p.drawPath(shapesPath(m_geo.borders, marginKm(), false));
    QPen state = cosmetic(kInk, std::max(0.9, 3.4 * u), Qt::CustomDashLine);
    state.setDashPattern({ 6, 2.2, 1, 2.2 });
    state.setCapStyle(Qt::FlatCap);
    p.setPen(state);
    p.drawPath(shapesPath(m_geo.internalBorders, marginKm(), false));
}

void MapPainter::paintGraticule(QPainter& p)
{
    const bool sheet = m_detail == MapDetail::Sheet;
    const double stepDeg = sheet ? 0.5 : 1.0;
    p.setPen(cosmetic(QColor(0x3a, 0x30, 0x28), sheet ? std::max(0.8, 1.4 * m_unit) : 0.7));
    const QRectF area = m_viewKm.adjusted(-marginKm(), -marginKm(), marginKm(), marginKm());
    QPainterPath grat;
    for (double lon = -14; lon <= 6; lon += stepDeg) {
        QPolygonF line;
        for (double lat = 47; lat <= 62.001; lat += 0.25)
            line << m_geo.projection().forward(lon, lat);
        addClippedPolyline(grat, line, area);
    }
    for (double lat = 47; lat <= 62; lat += stepDeg) {
        QPolygonF line;
        for (double lon = -14; lon <= 6.001; lon += 0.1)
            line << m_geo.projection().forward(lon, lat);
        addClippedPolyline(grat, line, area);
    }
    grat = m_toPx.map(grat);
    p.drawPath(grat);
}

void MapPainter::paintRailways(QPainter& p)
{
    QPainterPath rails;
    const QRectF area = m_viewKm.adjusted(-marginKm(), -marginKm(), marginKm(), marginKm());
    for (const QPolygonF& line : m_geo.railways)
        addClippedPolyline(rails, line, area);
    rails = m_toPx.map(rails);
    const double w = 4.6 * m_unit;
    p.setPen(cosmetic(kInk, w + 2.2 * m_unit));
    p.drawPath(rails);
    QPen dash = cosmetic(Qt::white, w, Qt::CustomDashLine);
    dash.setCapStyle(Qt::FlatCap);
    dash.setDashPattern({ 3.0, 3.0 });
    p.setPen(dash);
    p.drawPath(rails);
}

void MapPainter::paintPeaks(QPainter& p)
{
    const QFont font = atlasFont(QStringLiteral("C059"), 34 * m_unit, true);
    for (const Peak& pk : m_geo.peaks) {
        if (!m_viewKm.contains(pk.km))
            continue;
        const QPointF c = toPx(pk.km);
        const double s = 11 * m_unit;
        QPolygonF tri;
        tri << c + QPointF(0, -s) << c + QPointF(s * 0.9, s * 0.6) << c + QPointF(-s * 0.9, s * 0.6);
        p.setPen(cosmetic(kInk, 1.5 * m_unit));
        p.setBrush(kInk);
        p.drawPolygon(tri);
        p.setBrush(Qt::NoBrush);
        const QString text = QStringLiteral("%1 %2").arg(pk.name).arg(pk.heightFeet);
        QPainterPath path;
        path.addText(0, 0, font, text);
        const QRectF br = path.boundingRect();
        const QPointF at = c + QPointF(-br.width() / 2, s + br.height() + 4 * m_unit);
        placeLabel(br.translated(at).adjusted(-4, -4, 4, 4));
        p.setPen(cosmetic(Qt::white, 7 * m_unit));
        p.drawPath(path.translated(at));
        p.setPen(Qt::NoPen);
        p.setBrush(kReliefInk.darker(130));
        p.drawPath(path.translated(at));
        p.setBrush(Qt::NoBrush);
    }
}

void MapPainter::paintLabels(QPainter& p)
{
    const bool sheet = m_detail == MapDetail::Sheet;
    QSet<QString> named;
    for (const Label& l : m_geo.labels) {
        QString family = QStringLiteral("P052");
        double size = 60;
        bool italic = true, bold = false;
        QColor colour = kWaterInk;
        double spacing = 100;
        switch (l.kind) {
        case LabelKind::Sea:
            size = 120;
            spacing = 125;
            break;
        case LabelKind::Channel:
            size = 62;
            spacing = 108;
            break;
        case LabelKind::Country:
            size = 150;
            italic = false;
            colour = QColor(0x5a, 0x22, 0x1c);
            break;
        case LabelKind::Region:
            size = 70;
            italic = false;
            colour = kInk;
            spacing = 130;
            break;
        case LabelKind::County:
            size = 50;
            italic = false;
            colour = QColor(0x6e, 0x3a, 0x2c);
            spacing = 135;
            break;
        case LabelKind::Island:
            size = 72;
            colour = kInk;
            break;
        case LabelKind::Mountain:
            size = 58;
            colour = kReliefInk.darker(120);
            spacing = 115;
            break;
        case LabelKind::Cape:
            size = 66;
            colour = kInk;
            family = QStringLiteral("C059");
            break;
        case LabelKind::Lake:
            size = 80;
            break;
        case LabelKind::River:
            size = 76;
            family = QStringLiteral("C059");
            break;
        }
        // the overviews name only the seas and countries, once each
        if (!sheet && ((l.kind != LabelKind::Sea && l.kind != LabelKind::Country) || l.size < 1.0))
            continue;
        const double px = sheet ? size * l.size * m_unit : (l.kind == LabelKind::Sea ? 15 : 17) * l.size;
        QFont font = atlasFont(family, px, italic, bold);
        font.setLetterSpacing(QFont::PercentageSpacing, spacing);
        QPainterPath path;
        path.addText(0, 0, font, l.kind == LabelKind::County ? l.text.toUpper() : l.text);
        const QRectF br = path.boundingRect();
        QTransform t;
        const QPointF at = toPx(l.km);
        t.translate(at.x(), at.y());
        t.rotate(-l.angle);
        t.translate(-br.center().x(), -br.center().y());
        QPainterPath placed = t.map(path);
        QRectF box = placed.boundingRect();
        if (!box.intersects(m_targetPx))
            continue;
        if (sheet && !m_targetPx.contains(box)) {
            // Nudge a name whose place is on the sheet back inside the
            // neat line; drop one that would stand mostly outside it.
            const QRectF inner = m_targetPx.adjusted(20 * m_unit, 20 * m_unit, -20 * m_unit, -20 * m_unit);
            if (!inner.contains(at) || box.width() > inner.width() || box.height() > inner.height())
                continue;
            const double dx
                = std::max(0.0, inner.left() - box.left()) - std::max(0.0, box.right() - inner.right());
            const double dy
                = std::max(0.0, inner.top() - box.top()) - std::max(0.0, box.bottom() - inner.bottom());
            if (std::hypot(dx, dy) > 0.6 * std::max(box.width(), box.height()))
                continue;
            placed.translate(dx, dy);
            box.translate(dx, dy);
        }
        // county names give way to the larger names set before them
        if (l.kind == LabelKind::County
            && std::any_of(
                m_placed.begin(), m_placed.end(), [&](const QRectF& o) { return o.intersects(box); }))
            continue;
        // a sea or country is named once per sheet, by its first label
        if (l.kind == LabelKind::Sea || l.kind == LabelKind::Country) {
            if (named.contains(l.text))
                continue;
            named.insert(l.text);
        }
        m_placed << box;
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(placed);
    }
    p.setBrush(Qt::NoBrush);
}

void MapPainter::paintTowns(QPainter& p)
{
    const bool sheet = m_detail == MapDetail::Sheet;
    const double u = sheet ? m_unit : 0.3;
    for (int pass = 0; pass < 4; ++pass) {
        const TownKind kind = TownKind(pass);
        if (!sheet && kind != TownKind::Capital && kind != TownKind::CountyTown)
            continue;
        for (const Town& t : m_geo.towns) {
            if (t.kind != kind || !m_viewKm.contains(t.km))
                continue;
            static const double radius[] = { 14, 10, 7, 5 };
            static const double sizes[] = { 74, 52, 44, 38 };
            const double r = std::max(1.6, radius[pass] * u);
            const QPointF c = toPx(t.km);
            p.setBrush(Qt::white);
            p.setPen(cosmetic(kInk, std::max(0.8, 2.4 * u)));
            p.drawEllipse(c, r, r);
            if (kind != TownKind::Village) {
                p.setBrush(kind == TownKind::Capital ? ink::capital : kInk);
                p.setPen(Qt::NoPen);
                const double inner = kind == TownKind::Town ? r : r * 0.55;
                p.drawEllipse(c, inner, inner);
            }
            if (!sheet && kind == TownKind::CountyTown)
                continue;
            const double px = sheet ? sizes[pass] * u : 13;
            const QFont font
                = atlasFont(QStringLiteral("C059"), px, kind == TownKind::Village, kind == TownKind::Capital);
            QPainterPath path;
            path.addText(0, 0, font, kind == TownKind::Capital ? t.name.toUpper() : t.name);
            const QRectF br = path.boundingRect();
            const double gap = r + 5 * std::max(u, 0.4);
            const QPointF offsets[]
                = { { gap - br.left(), -br.center().y() }, { -gap - br.right(), -br.center().y() },
                      { -br.center().x(), -gap - br.bottom() }, { -br.center().x(), gap - br.top() } };
            QPointF chosen = c + offsets[t.labelSide];
            bool found = false;
            for (int k = 0; k < 4 && !found; ++k) {
                const QPointF at = c + offsets[(t.labelSide + k) % 4];
                const QRectF box = br.translated(at).adjusted(-3, -2, 3, 2);
                if (m_targetPx.contains(box) && placeLabel(box)) {
                    chosen = at;
                    found = true;
                }
            }
            if (!found && kind == TownKind::Village)
                continue;
            const QPainterPath text = path.translated(chosen);
            p.setBrush(Qt::NoBrush);
            p.setPen(cosmetic(Qt::white, std::max(1.5, 8 * u)));
            p.drawPath(text);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawPath(text);
        }
    }
    p.setBrush(Qt::NoBrush);
}

} // namespace atlasgen
