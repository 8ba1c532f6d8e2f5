#include "data/control_points.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QFileInfo>
#include <QPointer>

namespace corvane {

namespace {

// How a transformation choice is stored: names that do not change with the
// user's language.
const char* const kTransformNames[] = { "automatic", "affine", "polynomial", "spline" };

// The table object on the data module's connection, not opened; null when
// its file does not exist and create is false.
platform::Table* georefTableObject(bool create)
{
    static QPointer<platform::Table> table;
    const QString host = platform::hostPathOf(dataFolder() + georefTableDef().fileName);
    if (!QFileInfo::exists(host)) {
        if (!create)
            return nullptr;
        platform::Database::createTableFile(host, georefTableDef());
    }
    if (!table || table->parent() != DataModule1) {
        delete table;
        table = new platform::Table(DataModule1->dbCorvane, georefTableDef(), DataModule1);
    }
    return table;
}

// The table, opened; null when it does not exist and create is false.
platform::Table* georefTable(bool create)
{
    platform::Table* table = georefTableObject(create);
    if (table && !table->active())
        table->open();
    return table;
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

platform::TableDef georefTableDef()
{
    using platform::FieldDef;
    using platform::FieldType;
    const auto text = [](const char* name, int width, bool required = false) {
        return FieldDef { QString::fromLatin1(name), FieldType::Text, width, 0, required };
    };
    return { QStringLiteral("tblGeoref"), QStringLiteral("GEOREF.DB"),
        { text("Map", 10, true), text("X", 24), text("Y", 24), text("Longitude", 24), text("Latitude", 24),
            text("Transform", 24) },
        {} };
}

platform::Table* georefTableObject()
{
    // Not opened here: the user tables are closed around their replacement.
    return georefTableObject(true);
}

SheetControlPoints userControlPoints(const QString& sheetId)
{
    SheetControlPoints out;
    platform::Table* table = DataModule1 ? georefTable(false) : nullptr;
    if (!table)
        return out;
    const auto value = [table](int row, const char* field) {
        return table->valueAt(row, table->fieldIndex(QLatin1String(field))).toString();
    };
    for (int row : table->rowsWhere(QStringLiteral("Map"), sheetId.toUpper())) {
        out.points << platform::ControlPoint { { value(row, "X").toDouble(), value(row, "Y").toDouble() },
            { value(row, "Longitude").toDouble(), value(row, "Latitude").toDouble() } };
        for (int t = 0; t < 4; ++t)
            if (value(row, "Transform") == QLatin1String(kTransformNames[t]))
                out.transform = platform::GeoTransform(t);
    }
    return out;
}

QStringList sheetsWithUserPoints()
{
    QStringList sheets;
    platform::Table* table = DataModule1 ? georefTable(false) : nullptr;
    for (int row = 0; table && row < table->rowCount(); ++row) {
        const QString id = table->valueAt(row, table->fieldIndex(QStringLiteral("Map"))).toString();
        if (!sheets.contains(id))
            sheets << id;
    }
    return sheets;
}

void storeUserControlPoints(const QString& sheetId, const SheetControlPoints& points)
{
    platform::Table* table = georefTable(true);
    QList<QVariantList> records;
    const QString transform = QLatin1String(kTransformNames[int(points.transform)]);
    for (const platform::ControlPoint& p : points.points)
        records << QVariantList { sheetId.toUpper(), number(p.pixel.x()), number(p.pixel.y()),
            number(p.lonLat.x()), number(p.lonLat.y()), transform };
    platform::Database* db = DataModule1->dbCorvane;
    db->beginBatch();
    try {
        QList<int> rows = table->rowsWhere(QStringLiteral("Map"), sheetId.toUpper());
        std::sort(rows.begin(), rows.end(), std::greater<>());
        for (int row : rows) {
            table->moveTo(row);
            table->deleteRecord();
        }
        table->appendRecords(records);
        db->commitBatch();
    } catch (...) {
        db->rollbackBatch();
        table->close();
        table->open();
        throw;
    }
}

} // namespace corvane
