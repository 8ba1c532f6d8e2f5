#pragma once
// The six tables of the atlas database: names, fields, widths and indexes.

#include "tables/table.h"

namespace corvane {

platform::TableDef mapCatTableDef();
platform::TableDef mapsTableDef();
platform::TableDef descripTableDef();
platform::TableDef pixTableDef();
platform::TableDef abbrevTableDef();
platform::TableDef configTableDef();

// In the order start-up opens them.
QList<platform::TableDef> allTableDefs();

} // namespace corvane
