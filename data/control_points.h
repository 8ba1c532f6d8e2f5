#pragma once
// The user's own control points (GEOREF.DB in the Data folder): sheet id,
// scan pixel, longitude and latitude, and the transformation chosen for the
// sheet. The table is made the first time a point is stored, so older
// installations without it keep working. A sheet's own points take the place
// of any the atlas ships.

#include "geo/georeference.h"
#include "tables/table.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

struct SheetControlPoints {
    QList<platform::ControlPoint> points;
    platform::GeoTransform transform = platform::GeoTransform::Automatic;
};

// The user's points of a sheet, in the order they were made; none when the
// table does not exist yet.
SheetControlPoints userControlPoints(const QString& sheetId);
// The sheets the user has points for.
QStringList sheetsWithUserPoints();

// The table's definition, and the table itself on the data module's
// connection, made first if need be: it travels with the user tables in
// backups, kept copies and restores. Throws AppError when it cannot be made.
platform::TableDef georefTableDef();
platform::Table* georefTableObject();

// Replaces the sheet's points, all or nothing, making the table if needed.
// Throws AppError (EngineError) when they cannot be stored.
void storeUserControlPoints(const QString& sheetId, const SheetControlPoints& points);

} // namespace corvane
