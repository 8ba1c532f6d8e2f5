#include "maps/sheets.h"

#include "app/shared.h"

#include <QPainter>
#include <QPixmap>

namespace corvane {

namespace {

constexpr Country kCountries[] = {
    {"E", "GB-KEY", "GB-SCALE", 376, 342, "England", "LOC-S"},
    {"I", "IR-KEY", "IR-SCALE", 521, 521, "Ireland", "LOC-S"},
    {"S", "GB-KEY", "GB-SCALE", 376, 342, "Scotland", "LOC-N"},
    {"W", "GB-KEY", "GB-SCALE", 376, 342, "Wales", "LOC-S"},
};

QPixmap arrowPicture(int degrees, qreal scale)
{
    QPixmap pixmap(QSize(32, 32) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(16, 16);
    p.rotate(degrees);
    p.translate(-16, -16);
    const QPolygonF arrow{{16, 2}, {30, 16}, {21, 16}, {21, 30}, {11, 30}, {11, 16}, {2, 16}};
    p.setPen(QPen(QColor(96, 0, 0), 1.5));
    p.setBrush(QColor(230, 0, 0));
    p.drawPolygon(arrow);
    return pixmap;
}

} // namespace

QString sheetPath(const QString& sheetId)
{
    return vGraphicsPath + QStringLiteral("Maps\\") + sheetId + QStringLiteral(".JPG");
}

const Country* countryByCode(const QString& code)
{
    for (const Country& c : kCountries) {
        if (code == QLatin1String(c.code))
            return &c;
    }
    return nullptr;
}

QIcon arrowIcon(int degrees)
{
    QIcon icon;
    icon.addPixmap(arrowPicture(degrees, 1));
    icon.addPixmap(arrowPicture(degrees, 2));
    return icon;
}

} // namespace corvane
