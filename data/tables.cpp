#include "data/tables.h"

namespace corvane {

using platform::FieldDef;
using platform::FieldType;
using platform::IndexDef;
using platform::TableDef;

namespace {

FieldDef integer(const char* name)
{
    return { QString::fromLatin1(name), FieldType::Integer };
}

FieldDef text(const char* name, int width, int displayWidth = 0, bool required = false)
{
    return { QString::fromLatin1(name), FieldType::Text, width, displayWidth, required };
}

} // namespace

TableDef mapCatTableDef()
{
    return { QStringLiteral("tblMapCat"), QStringLiteral("MAPCAT.DB"),
        { integer("ID"), text("County", 80), text("Map", 10) }, {} };
}

TableDef mapsTableDef()
{
    return { QStringLiteral("tblMaps"), QStringLiteral("MAPS.DB"),
        { text("Map", 10, 255, true), text("West", 10, 255), text("East", 10, 255), text("North", 10, 255),
            text("South", 10, 255), text("Title", 60), text("Pages", 10), integer("LocTop"),
            integer("LocLeft"), text("Country", 1) },
        { { QStringLiteral("tblMapsIndex1"), QStringLiteral("Map"), true, true, false } } };
}

TableDef descripTableDef()
{
    return { QStringLiteral("tblDescrip"), QStringLiteral("DESCRIP.DB"),
        { integer("Placeid"), text("Place", 40), text("Page", 15), text("Coords", 15),
            { QStringLiteral("Memo"), FieldType::Memo, 100 } },
        { { QStringLiteral("tblDescripIndex1"), QStringLiteral("Placeid"), true, true, false },
            { QStringLiteral("ndxPlacename"), QStringLiteral("Place"), false, false, true } } };
}

TableDef pixTableDef()
{
    return { QStringLiteral("tblPix"), QStringLiteral("PIX.DB"),
        { text("Filename", 6, 0, true), integer("Placeid"), text("Caption", 120), text("Type", 5) },
        { { QStringLiteral("ndxFilename"), QStringLiteral("Filename"), false, true, true },
            { QStringLiteral("ndxPlaceid"), QStringLiteral("Placeid"), false, false, false } } };
}

TableDef abbrevTableDef()
{
    FieldDef language = text("Language", 60, 40);
    language.objectName = QStringLiteral("language");
    return { QStringLiteral("tblAbbrev"), QStringLiteral("ABBREV.DB"),
        { text("Abbrev", 60, 25), text("Spelling", 60, 25), language, text("Meaning", 60, 40) }, {} };
}

TableDef configTableDef()
{
    return { QStringLiteral("tblConfig"), QStringLiteral("CONFIG.DB"),
        { text("FirstTime", 3), text("ProgramPath", 255), text("GraphicsPath", 255), text("Floppy", 1),
            text("CD", 1) },
        {} };
}

QList<TableDef> allTableDefs()
{
    return { mapCatTableDef(), mapsTableDef(), descripTableDef(), pixTableDef(), abbrevTableDef(),
        configTableDef() };
}

} // namespace corvane
