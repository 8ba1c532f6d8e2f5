#include "data/datamod1.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/tables.h"

namespace corvane {

TDataModule1::TDataModule1(QObject* parent)
    : QObject(parent)
    , dbCorvane(new platform::Database(QStringLiteral("Corvane3"), QStringLiteral("Atlas"), this))
    , tblMapCat(new platform::Table(dbCorvane, mapCatTableDef(), this))
    , tblMaps(new platform::Table(dbCorvane, mapsTableDef(), this))
    , tblDescrip(new platform::Table(dbCorvane, descripTableDef(), this))
    , tblPix(new platform::Table(dbCorvane, pixTableDef(), this))
    , tblAbbrev(new platform::Table(dbCorvane, abbrevTableDef(), this))
    , tblConfig(new platform::Table(dbCorvane, configTableDef(), this))
    , dtaMapCat(new platform::DataSource(tblMapCat, this))
    , dtaMaps(new platform::DataSource(tblMaps, this))
    , dtaDescrip(new platform::DataSource(tblDescrip, this))
    , dtaPix(new platform::DataSource(tblPix, this))
    , dtaAbbrev(new platform::DataSource(tblAbbrev, this))
    , dtaConfig(new platform::DataSource(tblConfig, this))
{
    setObjectName(QStringLiteral("DataModule1"));
    dbCorvane->setObjectName(QStringLiteral("dbCorvane"));
    for (platform::Table* table : tables())
        table->setObjectName(table->componentName());
    const QList<platform::DataSource*> sources { dtaMapCat, dtaMaps, dtaDescrip, dtaPix, dtaAbbrev,
        dtaConfig };
    for (platform::DataSource* source : sources)
        source->setObjectName(QStringLiteral("dta") + source->table()->componentName().mid(3));
    connect(tblDescrip, &platform::Table::afterScroll, this, &TDataModule1::tblDescripAfterScroll);
    dbCorvane->connectDatabase();
    DataModule1 = this;
}

TDataModule1::~TDataModule1()
{
    if (DataModule1 == this)
        DataModule1 = nullptr;
}

QList<platform::Table*> TDataModule1::tables() const
{
    return { tblMapCat, tblMaps, tblDescrip, tblPix, tblAbbrev, tblConfig };
}

QStringList TDataModule1::postAllPending()
{
    QStringList refused;
    for (platform::Table* table : tables()) {
        try {
            if (table->active())
                table->resolvePending();
        } catch (const platform::EngineError& e) {
            refused << e.message();
        }
    }
    return refused;
}

void TDataModule1::tblDescripAfterScroll()
{
    vPlaceId = tblDescrip->fieldAsInteger(QStringLiteral("Placeid"));
    vPlaceName = tblDescrip->fieldAsString(QStringLiteral("Place"));
    emit currentPlaceChanged();
}

} // namespace corvane
