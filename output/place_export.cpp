#include "output/place_export.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/georeferences.h"
#include "data/place_pins.h"
#include "tables/table.h"

#include <QFileInfo>
#include <QObject>
#include <QSet>

namespace corvane {

QString PlaceExportReport::text(const QString& file) const
{
    QString text = QObject::tr("%1 places written to %2.").arg(written).arg(file);
    if (withoutCoordinates > 0)
        text += QStringLiteral(" ")
            + QObject::tr("%1 places have no coordinates (not pinned, or pinned to a sheet without a "
                          "georeference) and were left out.")
                  .arg(withoutCoordinates);
    return text;
}

QList<platform::GeoPlace> placesWithCoordinates(const QList<int>& placeIds, PlaceExportReport& report)
{
    QList<platform::GeoPlace> out;
    const platform::Table* table = DataModule1->tblDescrip;
    if (!table->active())
        return out;
    const QSet<int> wanted(placeIds.begin(), placeIds.end());
    const auto field = [table](const char* name) { return table->fieldIndex(QLatin1String(name)); };
    const int id = field("Placeid"), place = field("Place"), page = field("Page"), coords = field("Coords"),
              memo = field("Memo");
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!placeIds.isEmpty() && !wanted.contains(table->valueAt(row, id).toInt()))
            continue;
        const QString sheetId = table->valueAt(row, page).toString().trimmed();
        const std::optional<QPoint> point = parseCoords(table->valueAt(row, coords).toString());
        const std::optional<QPointF> ll
            = point && !sheetId.isEmpty() ? lonLatOnSheet(sheetId, pixelCentre(*point)) : std::nullopt;
        if (!ll) {
            ++report.withoutCoordinates;
            continue;
        }
        out << platform::GeoPlace { table->valueAt(row, place).toString(),
            table->valueAt(row, memo).toString(), *ll, sheetId };
    }
    return out;
}

PlaceExportReport exportPlaces(const QString& hostPath, const QList<int>& placeIds)
{
    const platform::PlaceFormat format = platform::placeFormatOf(hostPath);
    PlaceExportReport report;
    const QList<platform::GeoPlace> places = placesWithCoordinates(placeIds, report);
    if (places.isEmpty())
        throw platform::AppError(
            QObject::tr("None of these places has coordinates: pin them to a sheet with a "
                        "georeference first. Nothing was written."));
    platform::writePlaceFile(hostPath, format, places);
    report.written = int(places.size());
    return report;
}

} // namespace corvane
