#pragma once
// The data module: the one connection to the atlas database (alias Corvane3,
// database "Atlas") and the six tables with their data sources. It connects
// at once when created; the tables stay closed until start-up opens them.

#include "tables/dbcontrols.h"
#include "tables/table.h"

#include <QObject>

namespace corvane {

class TDataModule1 : public QObject {
    Q_OBJECT
public:
    // Throws EngineError when the database cannot be connected.
    explicit TDataModule1(QObject* parent = nullptr);
    ~TDataModule1() override;

    platform::Database* dbCorvane;
    platform::Table* tblMapCat;
    platform::Table* tblMaps;
    platform::Table* tblDescrip;
    platform::Table* tblPix;
    platform::Table* tblAbbrev;
    platform::Table* tblConfig;
    platform::DataSource* dtaMapCat;
    platform::DataSource* dtaMaps;
    platform::DataSource* dtaDescrip;
    platform::DataSource* dtaPix;
    platform::DataSource* dtaAbbrev;
    platform::DataSource* dtaConfig;

    // In the order start-up opens them.
    QList<platform::Table*> tables() const;

    // Stores every pending change before the program ends, so typed text is
    // not lost. Returns the engine's messages for the changes it refused.
    QStringList postAllPending();

signals:
    // vPlaceId and vPlaceName follow DESCRIP.DB's current record; the
    // descriptions window follows them.
    void currentPlaceChanged();
    // A restore, an import or "Go back" replaced the user tables.
    void userTablesReplaced();

private:
    void tblDescripAfterScroll();
};

} // namespace corvane
