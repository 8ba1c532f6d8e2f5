#include "maps/sheets.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"

#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace corvane {

namespace {

// The overview pictures are laid out so that half a sheet's locator values
// fall this far inside the atlas window's map box.
constexpr int kOutlineTopOffset = 26;
constexpr int kOutlineLeftOffset = 63;
// The pointer's tip touches the outline's top-left corner.
constexpr int kPointerOffset = 31;

constexpr const char* kSides[] = { "North", "South", "East", "West" };

constexpr Country kCountries[] = {
    { "E", "GB-KEY", "GB-SCALE", 376, 342, "England", "LOC-S" },
    { "I", "IR-KEY", "IR-SCALE", 521, 521, "Ireland", "LOC-S" },
    { "S", "GB-KEY", "GB-SCALE", 376, 342, "Scotland", "LOC-N" },
    { "W", "GB-KEY", "GB-SCALE", 376, 342, "Wales", "LOC-S" },
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
    const QPolygonF arrow { { 16, 2 }, { 30, 16 }, { 21, 16 }, { 21, 30 }, { 11, 30 }, { 11, 16 },
        { 2, 16 } };
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

namespace {

platform::Table* findSheet(const QString& sheetId)
{
    platform::Table* maps = DataModule1->tblMaps;
    maps->setIndexName(QString());
    maps->first();
    maps->findKey({ sheetId }); // when absent, the first record stands in
    return maps;
}

} // namespace

SheetRecord readSheetRecord(const QString& sheetId)
{
    platform::Table* maps = findSheet(sheetId);
    vMapPages = maps->fieldAsString(QStringLiteral("Pages"));
    vCountryCode = maps->fieldAsString(QStringLiteral("Country"));
    // Integer division truncates toward zero, as the locator values expect.
    vOutlineTop = maps->fieldAsInteger(QStringLiteral("LocTop")) / 2 + kOutlineTopOffset;
    vPointerTop = vOutlineTop - kPointerOffset;
    vOutlineLeft = maps->fieldAsInteger(QStringLiteral("LocLeft")) / 2 + kOutlineLeftOffset;
    vPointerLeft = vOutlineLeft - kPointerOffset;
    SheetRecord record { maps->fieldAsString(QStringLiteral("Title")), countryByCode(vCountryCode) };
    if (record.country) {
        vCountryName = QLatin1String(record.country->name);
        vLocateMapId = QLatin1String(record.country->locateMap);
    }
    return record;
}

bool sheetInAtlas(const QString& sheetId)
{
    platform::Table* maps = DataModule1->tblMaps;
    maps->open();
    maps->setIndexName(QString());
    return maps->findKey({ sheetId });
}

QString neighbourOf(const QString& sheetId, const QString& side)
{
    return findSheet(sheetId)->fieldAsString(side);
}

bool isSheetId(const QString& id)
{
    return id.size() >= 5;
}

QStringList showNeighbourArrows(const QString& sheetId, const NeighbourArrows& arrows)
{
    for (QWidget* arrow : arrows)
        arrow->show();
    QStringList ids;
    // The arrows are a convenience: a table that cannot be read leaves them
    // shown, and the move itself reports the error.
    try {
        DataModule1->tblMaps->open();
        platform::Table* maps = findSheet(sheetId);
        for (size_t i = 0; i < arrows.size(); ++i) {
            const QString id = maps->fieldAsString(QLatin1String(kSides[i]));
            if (isSheetId(id))
                ids << id;
            else
                arrows[i]->hide();
        }
    } catch (const platform::EngineError&) {
    }
    return ids;
}

QIcon arrowIcon(int degrees)
{
    QIcon icon;
    icon.addPixmap(arrowPicture(degrees, 1));
    icon.addPixmap(arrowPicture(degrees, 2));
    return icon;
}

} // namespace corvane
