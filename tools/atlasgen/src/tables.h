#pragma once
// The installation template's tables (tab-separated, UTF-8, header line
// first) and the abbreviation report in RTF.

#include <QString>
#include <QStringList>
#include <QVector>

#include "sheetgrid.h"

namespace atlasgen {

class GeoData;

struct CatalogueEntry {
    QString county;
    QString map;
};

struct Abbreviation {
    QString abbrev, spelling, language, meaning;
};

// counties.tsv rows are <country> <county> <county town>; each entry's map
// is the sheet on which its county town lies. Sorted by county name.
bool buildCatalogue(const QString& path, const GeoData& geo, const QVector<Sheet>& sheets,
    QVector<CatalogueEntry>& out, QString& error);
bool loadAbbreviations(const QString& path, QVector<Abbreviation>& out, QString& error);

bool isWindows1252(const QString& text);

bool writeMapsTable(const QString& path, const QVector<Sheet>& sheets, QString& error);
bool writeCatalogueTable(const QString& path, const QVector<CatalogueEntry>& entries, QString& error);
bool writeAbbreviationTable(const QString& path, const QVector<Abbreviation>& entries, QString& error);
QByteArray abbreviationRtf(const QVector<Abbreviation>& entries);
QByteArray rtfEscape(const QString& text);

} // namespace atlasgen
