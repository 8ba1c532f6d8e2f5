#include "output/report.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/georeferences.h"
#include "data/place_pins.h"
#include "geo/coordinates.h"
#include "output/report_compose.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <cstdio>

namespace corvane {

namespace {

// The stored value of a field in every row of a table, read without moving
// its cursor (the windows follow the cursor).
struct Column {
    const platform::Table* table;
    int field;
    QVariant at(int row) const { return table->valueAt(row, field); }
};

Column column(const platform::Table* table, const char* field)
{
    return { table, table->fieldIndex(QLatin1String(field)) };
}

QHash<QString, QString> sheetTitles()
{
    QHash<QString, QString> titles;
    platform::Table* maps = DataModule1->tblMaps;
    if (!maps->active())
        return titles;
    const Column map = column(maps, "Map");
    const Column title = column(maps, "Title");
    for (int row = 0; row < maps->rowCount(); ++row)
        titles.insert(map.at(row).toString().trimmed().toUpper(), title.at(row).toString());
    return titles;
}

QHash<int, QList<ReportPicture>> picturesByPlace()
{
    QHash<int, QList<ReportPicture>> pictures;
    // As the print button does: the picture table is opened on first use.
    platform::Table* pix = DataModule1->tblPix;
    pix->open();
    const Column file = column(pix, "Filename");
    const Column place = column(pix, "Placeid");
    const Column type = column(pix, "Type");
    const Column caption = column(pix, "Caption");
    for (int row = 0; row < pix->rowCount(); ++row) {
        const QString name = file.at(row).toString() + type.at(row).toString();
        if (file.at(row).toString().isEmpty())
            continue; // a picture being added has no file yet
        pictures[place.at(row).toInt()] << ReportPicture { vProgramPath + QStringLiteral("Pix\\") + name,
            name, caption.at(row).toString() };
    }
    return pictures;
}

bool replaceFolder(const QString& from, const QString& to)
{
    const QString old = to + QStringLiteral(".old");
    QDir(old).removeRecursively();
    const bool existed = QFileInfo::exists(to);
    if (existed && !QDir().rename(to, old))
        return false;
    if (!QDir().rename(from, to)) {
        if (existed)
            QDir().rename(old, to);
        return false;
    }
    QDir(old).removeRecursively();
    return true;
}

void removeAll(const QString& path)
{
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

} // namespace

QPageSize::PageSizeId defaultPaper(const QLocale& locale)
{
    // Letter is the paper of the Americas' north and west and the Philippines.
    static const QList<QLocale::Territory> letter { QLocale::UnitedStates, QLocale::Canada, QLocale::Mexico,
        QLocale::Philippines, QLocale::Chile, QLocale::Colombia, QLocale::Venezuela, QLocale::PuertoRico };
    return letter.contains(locale.territory()) ? QPageSize::Letter : QPageSize::A4;
}

QList<ReportPlace> gatherReport(const QList<int>& placeIds)
{
    QList<ReportPlace> places;
    platform::Table* descrip = DataModule1->tblDescrip;
    if (!descrip->active())
        return places;
    const Column id = column(descrip, "Placeid");
    const Column name = column(descrip, "Place");
    const Column memo = column(descrip, "Memo");
    const Column page = column(descrip, "Page");
    const Column coords = column(descrip, "Coords");
    QHash<int, int> rowOf;
    for (int row = 0; row < descrip->rowCount(); ++row)
        rowOf.insert(id.at(row).toInt(), row);
    const QHash<QString, QString> titles = sheetTitles();
    QHash<int, QList<ReportPicture>> pictures = picturesByPlace();
    for (const int placeId : placeIds) {
        const auto found = rowOf.constFind(placeId);
        if (found == rowOf.constEnd())
            continue;
        const int row = *found;
        ReportPlace place;
        place.placeId = placeId;
        place.name = name.at(row).toString();
        place.description = memo.at(row).toString();
        const std::optional<QPoint> point = parseCoords(coords.at(row).toString());
        const QString sheet = page.at(row).toString().trimmed();
        if (!sheet.isEmpty() && point) {
            place.sheetId = sheet;
            place.sheetTitle = titles.value(sheet.toUpper());
            place.sheetPath = vGraphicsPath + QStringLiteral("Maps\\") + sheet + QStringLiteral(".JPG");
            place.pin = *point;
        }
        place.pictures = pictures.take(placeId);
        places << place;
    }
    return places;
}

QList<int> allPlaceIds()
{
    QList<int> ids;
    platform::Table* descrip = DataModule1->tblDescrip;
    if (!descrip->active())
        return ids;
    const Column id = column(descrip, "Placeid");
    for (int row = 0; row < descrip->rowCount(); ++row)
        ids << id.at(row).toInt();
    return ids;
}

QList<int> placeIdsOnSheet(const QString& sheetId)
{
    QList<int> ids;
    for (const PlacePin& pin : pinsOnSheet(sheetId))
        ids << pin.placeId;
    return ids;
}

QStringList pinnedSheets()
{
    QStringList sheets;
    platform::Table* descrip = DataModule1->tblDescrip;
    if (!descrip->active())
        return sheets;
    const Column page = column(descrip, "Page");
    const Column coords = column(descrip, "Coords");
    for (int row = 0; row < descrip->rowCount(); ++row) {
        const QString sheet = page.at(row).toString().trimmed();
        if (!sheet.isEmpty() && parseCoords(coords.at(row).toString()) && !sheets.contains(sheet))
            sheets << sheet;
    }
    sheets.sort();
    return sheets;
}

QString placeCoordinatesText(const ReportPlace& place)
{
    if (place.sheetId.isEmpty())
        return {};
    const std::optional<QPointF> lonLat = lonLatOnSheet(place.sheetId, pixelCentre(place.pin));
    return lonLat ? platform::formatLatLon(*lonLat) : QString();
}

bool placesHaveCoordinates()
{
    return !georeferencedSheets().isEmpty();
}

QString reportTitle()
{
    return QStringLiteral("Places and their maps");
}

QString reportDateLine()
{
    return QLocale().toString(QDate::currentDate(), QLocale::LongFormat);
}

QString placeCountLine(int places)
{
    return places == 1 ? QStringLiteral("1 place") : QStringLiteral("%1 places").arg(places);
}

QStringList descriptionParagraphs(const QString& description)
{
    QString text = description;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QStringList paragraphs = text.split(QLatin1Char('\n'));
    while (!paragraphs.isEmpty() && paragraphs.constLast().trimmed().isEmpty())
        paragraphs.removeLast();
    return paragraphs;
}

void ReportSummary::noteMissing(const QString& place, const QString& note)
{
    if (note == noPinNote())
        ++unpinned;
    else
        missing << place + QStringLiteral(": ") + note;
}

QString ReportSummary::text() const
{
    QString text
        = QStringLiteral("%1 places, %2 pictures, %3 map excerpts.").arg(places).arg(pictures).arg(excerpts);
    if (unpinned > 0)
        text += unpinned == 1 ? QStringLiteral(" 1 place is not pinned to a map sheet.")
                              : QStringLiteral(" %1 places are not pinned to a map sheet.").arg(unpinned);
    if (missing.isEmpty())
        text += QStringLiteral(" Nothing was missing.");
    else
        text += QStringLiteral("\nMissing (%1):\n").arg(missing.size()) + missing.join(u'\n');
    if (!partial.isEmpty())
        text += QStringLiteral("\nRead only in part (%1):\n").arg(partial.size()) + partial.join(u'\n');
    return text;
}

QString noPinNote()
{
    return QStringLiteral("This place is not pinned to a map sheet.");
}

QString missingSheetNote(const QString& sheetId)
{
    return QStringLiteral("The map sheet %1 is not there, so no excerpt of it is shown.").arg(sheetId);
}

QString missingPictureNote(const QString& fileName, const QString& why)
{
    return QStringLiteral("Picture %1 cannot be shown: %2").arg(fileName, why);
}

QString partlyReadNote(const QString& fileName)
{
    return QStringLiteral("Picture %1 was read only in part: the file is damaged or cut short.")
        .arg(fileName);
}

ReportJob::ReportJob(QList<ReportPlace> places, ReportOptions options, QString targetHostPath)
    : m_places(std::move(places))
    , m_options(std::move(options))
    , m_target(std::move(targetHostPath))
{
}

void ReportJob::run()
{
    // Beside the target, so the rename at the end stays on one disk.
    const QString temporary = m_target + QStringLiteral(".part");
    removeAll(temporary);
    try {
        write(temporary);
    } catch (const std::exception& e) {
        // The user knows the report by the name they gave, not the temporary one.
        m_error = QString::fromStdString(e.what()).replace(temporary, QDir::toNativeSeparators(m_target));
    }
    if (m_cancelled || !m_error.isEmpty()) {
        removeAll(temporary);
    } else if (m_options.format == ReportFormat::Html) {
        m_succeeded = replaceFolder(temporary, m_target);
    } else {
        // rename(2) replaces an older report in one step.
        m_succeeded
            = std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(m_target).constData())
            == 0;
    }
    if (!m_cancelled && m_error.isEmpty() && !m_succeeded) {
        m_error = QStringLiteral("The report could not be put in place as \"%1\".")
                      .arg(QDir::toNativeSeparators(m_target));
        removeAll(temporary);
    }
    emit finished();
}

void ReportJob::write(const QString& temporaryPath)
{
    m_summary = {};
    const ReportProgress step { [this](int index) {
                                   if (m_cancelled)
                                       return false;
                                   emit progress(index, int(m_places.size()), m_places[index].name);
                                   return true;
                               },
        &m_summary };
    switch (m_options.format) {
    case ReportFormat::Pdf:
        writeReportPdf(temporaryPath, m_places, m_options, step);
        break;
    case ReportFormat::Odf:
        writeReportOdf(temporaryPath, m_places, m_options, step);
        break;
    case ReportFormat::Html:
        writeReportHtml(temporaryPath, m_places, m_options, step);
        break;
    }
}

} // namespace corvane
