// The map keys ("Zeichenerklärung") and the scale sheets.

#include "mappainter.h"
#include "paper.h"
#include "pictures.h"

#include <QPainterPath>

#include <cmath>
#include <random>

namespace atlasgen {

namespace {

constexpr double kSheetPxPerKm = 4020.0 * 28 / 30 / grid::kCellWidthKm;

QPen inkPen(const QColor& c, double w, Qt::PenStyle style = Qt::SolidLine)
{
    return QPen(c, w, style, Qt::RoundCap, Qt::RoundJoin);
}

void text(QPainter& p, const QRectF& box, int flags, const QFont& font, const QString& s,
    const QColor& c = ink::text)
{
    p.setFont(font);
    p.setPen(c);
    p.drawText(box, flags, s);
}

void townSymbol(QPainter& p, QPointF c, TownKind kind)
{
    static const double radius[] = { 14, 10, 7, 5 };
    const double r = radius[int(kind)];
    p.setBrush(Qt::white);
    p.setPen(inkPen(ink::text, 2.4));
    p.drawEllipse(c, r, r);
    if (kind == TownKind::Village)
        return;
    p.setPen(Qt::NoPen);
    p.setBrush(kind == TownKind::Capital ? ink::capital : ink::text);
    const double inner = kind == TownKind::Town ? r : r * 0.55;
    p.drawEllipse(c, inner, inner);
}

void railway(QPainter& p, QLineF l)
{
    p.setPen(inkPen(ink::text, 6.8));
    p.drawLine(l);
    QPen dash(Qt::white, 4.6, Qt::CustomDashLine, Qt::FlatCap);
    dash.setDashPattern({ 3.0, 3.0 });
    p.setPen(dash);
    p.drawLine(l);
}

void hachures(QPainter& p, const QRectF& box)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> uni(0, 1);
    QVector<QLineF> lines;
    const double cy = box.center().y();
    for (double x = box.left() + 6; x < box.right() - 6; x += 5) {
        for (int side : { -1, 1 }) {
            const double len = box.height() / 2 * (0.6 + 0.4 * uni(rng));
            double from = 3;
            while (from < len) {
                const double to = std::min(len, from + len * 0.4);
                lines << QLineF(x, cy + side * from, x + (uni(rng) - 0.5) * 4, cy + side * to);
                from = to + 3;
            }
        }
    }
    QColor c = ink::relief;
    c.setAlphaF(0.85);
    p.setPen(inkPen(c, 1.9));
    p.drawLines(lines);
}

void coastSample(QPainter& p, const QRectF& box)
{
    QPainterPath land;
    land.moveTo(box.left(), box.bottom());
    land.cubicTo(box.left() + box.width() * 0.3, box.top() + 4, box.left() + box.width() * 0.6,
        box.bottom() - 6, box.right(), box.top() + 10);
    land.lineTo(box.right(), box.bottom() + 60);
    land.lineTo(box.left(), box.bottom() + 60);
    land.closeSubpath();
    p.save();
    p.setClipRect(box);
    for (int i = 4; i >= 0; --i) {
        const double d = 9 + 12 * i;
        p.setPen(inkPen(ink::waterLine, 2 * d + 1.5));
        p.drawPath(land);
        p.setPen(inkPen(Qt::white, 2 * d - 1.5));
        p.drawPath(land);
    }
    p.setPen(inkPen(ink::text, 2.6));
    p.setBrush(Qt::white);
    p.drawPath(land);
    p.restore();
}

struct KeyEntry {
    QString label;
    std::function<void(QPainter&, const QRectF&)> draw;
};

QVector<KeyEntry> keyEntries(bool irish)
{
    QVector<KeyEntry> e;
    auto town
        = [](TownKind k) { return [k](QPainter& p, const QRectF& b) { townSymbol(p, b.center(), k); }; };
    e.push_back(
        { irish ? QStringLiteral("Hauptstadt (Dublin)") : QStringLiteral("Hauptstadt (London, Edinburg)"),
            town(TownKind::Capital) });
    e.push_back({ QStringLiteral("Hauptort einer Grafschaft"), town(TownKind::CountyTown) });
    e.push_back({ QStringLiteral("Stadt"), town(TownKind::Town) });
    e.push_back({ QStringLiteral("Flecken, Dorf"), town(TownKind::Village) });
    e.push_back({ QStringLiteral("Eisenbahn"), [](QPainter& p, const QRectF& b) {
                     railway(p, QLineF(b.left() + 10, b.center().y(), b.right() - 10, b.center().y()));
                 } });
    if (!irish) {
        e.push_back({ QStringLiteral("Landesgrenze"), [](QPainter& p, const QRectF& b) {
                         QPen s(ink::text, 3.4, Qt::CustomDashLine, Qt::FlatCap);
                         s.setDashPattern({ 6, 2.2, 1, 2.2 });
                         p.setPen(s);
                         p.drawLine(QLineF(b.left() + 10, b.center().y(), b.right() - 10, b.center().y()));
                     } });
    }
    e.push_back({ QStringLiteral("Grafschaftsgrenze"), [](QPainter& p, const QRectF& b) {
                     QPen s(ink::text, 2.4, Qt::CustomDashLine, Qt::RoundCap);
                     s.setDashPattern({ 1, 2.5 });
                     p.setPen(s);
                     p.drawLine(QLineF(b.left() + 10, b.center().y(), b.right() - 10, b.center().y()));
                 } });
    e.push_back({ QStringLiteral("Fluss"), [](QPainter& p, const QRectF& b) {
                     QPainterPath r;
                     r.moveTo(b.left() + 10, b.center().y() + 8);
                     r.cubicTo(b.left() + 60, b.top() + 4, b.right() - 80, b.bottom() - 4, b.right() - 10,
                         b.center().y() - 6);
                     p.setPen(inkPen(ink::water, 3.0));
                     p.setBrush(Qt::NoBrush);
                     p.drawPath(r);
                 } });
    e.push_back({ irish ? QStringLiteral("See (Lough)") : QStringLiteral("See (Loch, Lake)"),
        [](QPainter& p, const QRectF& b) {
            p.setBrush(ink::lake);
            p.setPen(inkPen(ink::water, 1.8));
            p.drawEllipse(b.center(), b.width() * 0.32, b.height() * 0.3);
        } });
    e.push_back({ QStringLiteral("Küste mit Wasserlinien"), coastSample });
    e.push_back({ QStringLiteral("Gebirge (Bergstriche)"), hachures });
    e.push_back({ QStringLiteral("Berggipfel mit Höhe in engl. Fuß"), [](QPainter& p, const QRectF& b) {
                     const QPointF c = b.center() + QPointF(-40, 0);
                     QPolygonF tri;
                     tri << c + QPointF(0, -11) << c + QPointF(10, 7) << c + QPointF(-10, 7);
                     p.setPen(inkPen(ink::text, 1.5));
                     p.setBrush(ink::text);
                     p.drawPolygon(tri);
                     text(p, QRectF(c.x() + 18, b.top(), b.width(), b.height()), Qt::AlignVCenter,
                         atlasFont(QStringLiteral("C059"), 32, true), QStringLiteral("3571"), ink::relief);
                 } });
    e.push_back({ QStringLiteral("Gradnetz (halbe Grade)"), [](QPainter& p, const QRectF& b) {
                     p.setPen(inkPen(QColor(0x3a, 0x30, 0x28), 1.4));
                     p.drawLine(QLineF(b.left() + 10, b.center().y(), b.right() - 10, b.center().y()));
                     p.drawLine(QLineF(b.center().x(), b.top() + 4, b.center().x() + 6, b.bottom() - 4));
                 } });
    const QStringList countries = irish
        ? QStringList { QStringLiteral("I") }
        : QStringList { QStringLiteral("E"), QStringLiteral("S"), QStringLiteral("W") };
    static const QHash<QString, QString> names { { QStringLiteral("E"), QStringLiteral("England") },
        { QStringLiteral("S"), QStringLiteral("Schottland") },
        { QStringLiteral("W"), QStringLiteral("Wales") }, { QStringLiteral("I"), QStringLiteral("Irland") } };
    for (const QString& c : countries) {
        e.push_back({ QStringLiteral("Grenzkolorit: ") + names.value(c), [c](QPainter& p, const QRectF& b) {
                         QColor col = ink::country(c);
                         p.fillRect(b.adjusted(10, 8, -10, -8), col.lighter(115));
                         p.setPen(inkPen(ink::text, 1.5));
                         p.setBrush(Qt::NoBrush);
                         p.drawRect(b.adjusted(10, 8, -10, -8));
                     } });
    }
    return e;
}

void typeSpecimens(QPainter& p, QRectF box, double fontScale)
{
    struct Specimen {
        QString sample, label;
        QFont font;
        QColor colour;
    };
    const Specimen specs[] = {
        { QStringLiteral("Nordsee"), QStringLiteral("Meere, Buchten"),
            atlasFont(QStringLiteral("P052"), 60 * fontScale, true), ink::water },
        { QStringLiteral("Grampian-Geb."), QStringLiteral("Gebirge"),
            atlasFont(QStringLiteral("P052"), 46 * fontScale, true), ink::relief },
        { QStringLiteral("Hebriden"), QStringLiteral("Inseln"),
            atlasFont(QStringLiteral("P052"), 46 * fontScale, true), ink::text },
        { QStringLiteral("Themse"), QStringLiteral("Flüsse"),
            atlasFont(QStringLiteral("C059"), 40 * fontScale, true), ink::water },
    };
    const double rowH = box.height() / 4;
    for (int i = 0; i < 4; ++i) {
        const QRectF row(box.left(), box.top() + i * rowH, box.width(), rowH);
        text(p, row.adjusted(0, 0, -row.width() * 0.48, 0), Qt::AlignVCenter | Qt::AlignHCenter,
            specs[i].font, specs[i].sample, specs[i].colour);
        text(p, row.adjusted(row.width() * 0.55, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
            atlasFont(QStringLiteral("C059"), 34), specs[i].label);
    }
}

void heading(QPainter& p, const QRectF& box, const QString& title, const QString& subtitle)
{
    text(p, box, Qt::AlignHCenter | Qt::AlignTop, atlasFont(QStringLiteral("Z003"), 112), title);
    text(p, box.adjusted(0, 140, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
        atlasFont(QStringLiteral("P052"), 40, true), subtitle);
}

void plateBorder(QPainter& p, QSize size)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink::text, 5));
    p.drawRect(QRectF(40, 40, size.width() - 80, size.height() - 80));
    p.setPen(QPen(ink::text, 1.8));
    p.drawRect(QRectF(54, 54, size.width() - 108, size.height() - 108));
}

QImage finish(QSize size, const QImage& print, unsigned seed)
{
    QImage paper = makePaper(size, seed);
    printOnPaper(paper, print);
    return paper;
}

} // namespace

QImage renderKey(bool irish)
{
    // Shown 376 (British) or 521 (Irish) pixels wide and 720 high.
    const QSize size = irish ? QSize(1563, 2160) : QSize(1128, 2160);
    QImage print(size, QImage::Format_ARGB32_Premultiplied);
    print.fill(Qt::white);
    QPainter p(&print);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    plateBorder(p, size);
    heading(p, QRectF(60, 90, size.width() - 120, 220), QStringLiteral("Zeichenerklärung"),
        irish ? QStringLiteral("für die Blätter von Irland")
              : QStringLiteral("für die Blätter von Großbritannien"));
    const QVector<KeyEntry> entries = keyEntries(irish);
    const double left = 110, symbolW = 230, rowH = irish ? 88 : 80;
    double y = 330;
    const QFont labelFont = atlasFont(QStringLiteral("C059"), 38);
    for (const KeyEntry& e : entries) {
        const QRectF symbol(left, y, symbolW, rowH * 0.7);
        p.save();
        e.draw(p, symbol);
        p.restore();
        text(p, QRectF(left + symbolW + 40, y - 10, size.width() - left - symbolW - 150, rowH * 0.7 + 20),
            Qt::AlignVCenter | Qt::TextWordWrap, labelFont, e.label);
        y += rowH;
    }
    y += 10;
    p.setPen(QPen(ink::text, 1.5));
    p.drawLine(QLineF(110, y, size.width() - 110, y));
    text(p, QRectF(110, y + 15, size.width() - 220, 60), Qt::AlignCenter,
        atlasFont(QStringLiteral("P052"), 40, false, true), QStringLiteral("Schrift"));
    typeSpecimens(p, QRectF(110, y + 70, size.width() - 220, 300), 0.8);
    y += 390;
    if (irish) {
        text(p, QRectF(110, y, size.width() - 220, 60), Qt::AlignCenter,
            atlasFont(QStringLiteral("P052"), 40, false, true), QStringLiteral("Irische Namensteile"));
        const QStringList parts = { QStringLiteral("Bally – Ort, Stadt"), QStringLiteral("Kil – Kirche"),
            QStringLiteral("Lough – See, Meeresarm"), QStringLiteral("Slieve – Gebirge"),
            QStringLiteral("Knock – Hügel"), QStringLiteral("Inish – Insel"),
            QStringLiteral("Carrick – Fels"), QStringLiteral("Drum – Rücken"), QStringLiteral("Glen – Tal"),
            QStringLiteral("Dun – Burg, Feste") };
        for (int i = 0; i < parts.size(); ++i) {
            const QRectF cell(110 + (i % 2) * (size.width() - 220) / 2.0, y + 70 + (i / 2) * 52,
                (size.width() - 220) / 2.0, 52);
            text(p, cell, Qt::AlignVCenter | Qt::AlignLeft, atlasFont(QStringLiteral("C059"), 34, true),
                parts[i]);
        }
    } else {
        text(p, QRectF(110, y, size.width() - 220, 160), Qt::AlignHCenter | Qt::TextWordWrap,
            atlasFont(QStringLiteral("C059"), 32, true),
            QStringLiteral("Die Höhen sind in englischen Fuß angegeben\n(1 engl. Fuß = 0,3048 Meter)."));
    }
    p.end();
    return finish(size, print, irish ? 77 : 76);
}

QImage renderScale(bool irish)
{
    // Shown 342 (British) or 521 (Irish) pixels wide while a sheet is shown
    // 1000 pixels wide: at these sizes the bars measure the shown sheet.
    const double factor = 4020.0 / 1000.0;
    const QSize size
        = irish ? QSize(int(521 * factor), int(720 * factor)) : QSize(int(342 * factor), int(720 * factor));
    QImage print(size, QImage::Format_ARGB32_Premultiplied);
    print.fill(Qt::white);
    QPainter p(&print);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    plateBorder(p, size);
    heading(p, QRectF(60, 100, size.width() - 120, 220), QStringLiteral("Maßstab"),
        QStringLiteral("1 : 450 000"));
    struct Bar {
        QString name;
        double kmPerUnit;
        int units;
        int step;
    };
    QVector<Bar> bars { { QStringLiteral("Englische Meilen"), 1.609344, irish ? 40 : 25, 5 },
        { QStringLiteral("Kilometer"), 1.0, irish ? 60 : 40, 10 },
        { QStringLiteral("Geographische Meilen (15 = 1 Äquatorgrad)"), 7.42044, irish ? 8 : 5, 1 },
        { QStringLiteral("Seemeilen"), 1.852, irish ? 30 : 20, 5 } };
    bars.push_back(irish ? Bar { QStringLiteral("Irische Meilen"), 2.048, 30, 5 }
                         : Bar { QStringLiteral("Schottische Meilen"), 1.8144, 20, 5 });
    const double left = 130;
    double y = 420;
    const QFont nameFont = atlasFont(QStringLiteral("P052"), 40, true);
    const QFont numFont = atlasFont(QStringLiteral("C059"), 30);
    for (const Bar& b : bars) {
        text(p, QRectF(left, y, size.width() - 2 * left, 60), Qt::AlignLeft | Qt::AlignVCenter, nameFont,
            b.name);
        const double unitPx = b.kmPerUnit * kSheetPxPerKm;
        const double barY = y + 120, barH = 22;
        for (int i = -1; i < b.units; ++i) {
            const bool sub = i < 0; // the first unit is divided into tenths
            const QRectF r(left + unitPx + i * unitPx, barY, unitPx, barH);
            if (!sub && i % 2 == 0)
                p.fillRect(r, ink::text);
            if (sub)
                for (int t = 0; t < 10; t += 2)
                    p.fillRect(QRectF(r.left() + t * unitPx / 10, barY, unitPx / 10, barH / 2), ink::text);
        }
        p.setPen(QPen(ink::text, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(left, barY, unitPx * (b.units + 1), barH));
        for (int i = 0; i <= b.units; i += b.step) {
            const double x = left + unitPx + i * unitPx;
            p.drawLine(QLineF(x, barY - 12, x, barY));
            text(p, QRectF(x - 60, barY - 58, 120, 44), Qt::AlignCenter, numFont, QString::number(i));
        }
        y += 330;
    }
    const QString note = irish ? QStringLiteral("1 irische Meile = 2048 m = 1,27 englische Meilen")
                               : QStringLiteral("1 schottische Meile = 1814 m = 1,13 englische Meilen");
    const QString common
        = QStringLiteral("1 englische Meile = 1609 m\n1 geographische Meile = 7420 m\n1 Seemeile = 1852 m\n");
    text(p, QRectF(left, y + 20, size.width() - 2 * left, 400), Qt::AlignLeft | Qt::TextWordWrap,
        atlasFont(QStringLiteral("C059"), 36, true), common + note);
    p.end();
    return finish(size, print, irish ? 79 : 78);
}

} // namespace atlasgen
