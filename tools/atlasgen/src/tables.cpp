#include "tables.h"

#include "geo.h"

#include <QCollator>
#include <QSaveFile>

#include <algorithm>

namespace atlasgen {

namespace {

// The characters Windows-1252 adds in 0x80..0x9f, in code order.
const char16_t kCp1252Extras[] = u"€\0‚ƒ„…†‡ˆ‰Š‹Œ\0Ž\0\0‘’“”•–—˜™š›œ\0žŸ";

int cp1252Code(QChar c)
{
    if (c.unicode() < 0x80 || (c.unicode() >= 0xa0 && c.unicode() <= 0xff))
        return c.unicode();
    for (int i = 0; i < 32; ++i)
        if (kCp1252Extras[i] != 0 && kCp1252Extras[i] == c.unicode())
            return 0x80 + i;
    return -1;
}

bool writeText(const QString& path, const QStringList& lines, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(lines.join(u'\n').toUtf8() + '\n');
    if (!file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool checkText(const QString& value, int width, const QString& what, QString& error)
{
    if (value.size() > width || !isWindows1252(value) || value.contains(u'\t')) {
        error = QStringLiteral("%1 \"%2\" is longer than %3 or not Windows-1252 text")
                    .arg(what, value)
                    .arg(width);
        return false;
    }
    return true;
}

} // namespace

bool isWindows1252(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return cp1252Code(c) >= 0; });
}

bool buildCatalogue(const QString& path, const GeoData& geo, const QVector<Sheet>& sheets,
    QVector<CatalogueEntry>& out, QString& error)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, error))
        return false;
    static const QHash<QString, QString> countries { { QStringLiteral("E"), QStringLiteral("England") },
        { QStringLiteral("W"), QStringLiteral("Wales") }, { QStringLiteral("S"), QStringLiteral("Scotland") },
        { QStringLiteral("I"), QStringLiteral("Ireland") } };
    for (const TsvRow& row : rows) {
        const Town* town = geo.town(row.fields.value(2));
        if (!countries.contains(row.fields.value(0)) || row.fields.value(1).isEmpty() || !town) {
            error = QStringLiteral("%1:%2: expected country E/W/S/I, county, a county town of towns.tsv")
                        .arg(path)
                        .arg(row.line);
            return false;
        }
        const auto sheet = std::find_if(sheets.begin(), sheets.end(),
            [&](const Sheet& s) { return grid::cellKm(s.cell).contains(town->km); });
        if (sheet == sheets.end()) {
            error = QStringLiteral("%1:%2: no sheet shows %3").arg(path).arg(row.line).arg(town->name);
            return false;
        }
        out.push_back(
            { QStringLiteral("%1 (%2)").arg(row.fields[1], countries.value(row.fields[0])), sheet->id });
    }
    QCollator collator { QLocale(QLocale::English) };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(out.begin(), out.end(), [&](const CatalogueEntry& a, const CatalogueEntry& b) {
        return collator.compare(a.county, b.county) < 0;
    });
    return true;
}

bool loadAbbreviations(const QString& path, QVector<Abbreviation>& out, QString& error)
{
    QVector<TsvRow> rows;
    if (!readTsv(path, rows, error))
        return false;
    for (const TsvRow& row : rows) {
        if (row.fields.size() != 4 || row.fields[0].isEmpty()) {
            error = QStringLiteral("%1:%2: expected four fields").arg(path).arg(row.line);
            return false;
        }
        out.push_back({ row.fields[0], row.fields[1], row.fields[2], row.fields[3] });
    }
    return true;
}

bool writeMapsTable(const QString& path, const QVector<Sheet>& sheets, QString& error)
{
    QVector<Sheet> sorted = sheets;
    std::sort(sorted.begin(), sorted.end(), [](const Sheet& a, const Sheet& b) { return a.id < b.id; });
    QStringList lines { QStringLiteral(
        "Map\tWest\tEast\tNorth\tSouth\tTitle\tPages\tLocTop\tLocLeft\tCountry") };
    for (const Sheet& s : sorted) {
        for (const QString& id : { s.id, s.west, s.east, s.north, s.south, s.pages })
            if (!checkText(id, 10, QStringLiteral("sheet field"), error))
                return false;
        if (!checkText(s.title, 60, QStringLiteral("title"), error))
            return false;
        lines << QStringList { s.id, s.west, s.east, s.north, s.south, s.title, s.pages,
            QString::number(s.locTop), QString::number(s.locLeft), s.country }
                     .join(u'\t');
    }
    return writeText(path, lines, error);
}

bool writeCatalogueTable(const QString& path, const QVector<CatalogueEntry>& entries, QString& error)
{
    QStringList lines { QStringLiteral("ID\tCounty\tMap") };
    int id = 1;
    for (const CatalogueEntry& e : entries) {
        if (!checkText(e.county, 80, QStringLiteral("county"), error))
            return false;
        lines << QStringLiteral("%1\t%2\t%3").arg(id++).arg(e.county, e.map);
    }
    return writeText(path, lines, error);
}

bool writeAbbreviationTable(const QString& path, const QVector<Abbreviation>& entries, QString& error)
{
    QStringList lines { QStringLiteral("Abbrev\tSpelling\tLanguage\tMeaning") };
    for (const Abbreviation& a : entries) {
        for (const QString& f : { a.abbrev, a.spelling, a.language, a.meaning })
            if (!checkText(f, 60, QStringLiteral("abbreviation field"), error))
                return false;
        lines << QStringList { a.abbrev, a.spelling, a.language, a.meaning }.join(u'\t');
    }
    return writeText(path, lines, error);
}

QByteArray rtfEscape(const QString& text)
{
    QByteArray out;
    for (QChar c : text) {
        const int code = cp1252Code(c);
        if (c == u'\\' || c == u'{' || c == u'}')
            out += QByteArray("\\") + char(c.unicode());
        else if (code >= 0x20 && code < 0x80)
            out += char(code);
        else if (code >= 0x80)
            out += "\\'" + QByteArray::number(code, 16).rightJustified(2, '0');
        else
            out += '?';
    }
    return out;
}

QByteArray abbreviationRtf(const QVector<Abbreviation>& entries)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0"
                     "{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss\\fcharset0 Arial;}}\n"
                     "\\paperw11906\\paperh16838\\margl1134\\margr1134\\margt1134\\margb1134\n"
                     "{\\pard\\qc\\f1\\fs32\\b Abbreviations and German Words on the Maps\\b0\\par}\n"
                     "{\\pard\\qc\\f0\\fs20 Corvane Part 3: England, Ireland, Scotland and Wales\\par}\n"
                     "{\\pard\\par}\n";
    const int right[] = { 1900, 4700, 6300, 9638 };
    auto row = [&](const QStringList& cells, bool header) {
        QByteArray r = "\\trowd\\trgaph80\\trleft0";
        if (header)
            r += "\\trhdr";
        for (int x : right)
            r += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs"
                 "\\brdrw10"
                + QByteArray(header ? "\\clcbpat2" : "") + "\\cellx" + QByteArray::number(x);
        r += "\n";
        for (const QString& c : cells)
            r += "\\pard\\intbl\\f0\\fs20" + QByteArray(header ? "\\b " : " ") + rtfEscape(c)
                + (header ? "\\b0" : "") + "\\cell\n";
        return r + "\\row\n";
    };
    rtf.replace("{\\fonttbl", "{\\colortbl;\\red0\\green0\\blue0;\\red220\\green220\\blue220;}{\\fonttbl");
    rtf += row({ QStringLiteral("Abbreviation"), QStringLiteral("Spelling"), QStringLiteral("Language"),
                   QStringLiteral("Meaning") },
        true);
    for (const Abbreviation& a : entries)
        rtf += row({ a.abbrev, a.spelling, a.language, a.meaning }, false);
    rtf += "\\pard\\par}\n";
    return rtf;
}

} // namespace atlasgen
