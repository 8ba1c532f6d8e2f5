#include "app/place_file_commands.h"

#include "import/place_import.h"
#include "output/place_export.h"
#include "platform/desktop.h"
#include "platform/error_report.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>

namespace corvane {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("PlaceFiles", text);
}

void tell(const QString& text)
{
    platform::messageBox({ QMessageBox::Information, platform::applicationTitle(), text, QMessageBox::Ok });
}

} // namespace

void runPlaceImport(QWidget* parent)
{
    const std::optional<QString> file = platform::openFileDialog(
        parent, tr("Import places"), { tr("Places (*.csv *.gpx *.geojson *.json)"), tr("All files (*)") });
    if (!file)
        return;
    platform::guarded([&] {
        QProgressDialog progress(parent);
        progress.setObjectName(QStringLiteral("dlgPlaceImport"));
        progress.setWindowTitle(tr("Import places"));
        progress.setCancelButtonText(tr("Stop"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        const PlaceImportReport report
            = importPlaceFile(*file, [&](const QString& stage, qint64 done, qint64 total) {
                  progress.setLabelText(stage);
                  // In thousandths, so that a million records fit the bar.
                  progress.setMaximum(1000);
                  progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
                  return !progress.wasCanceled();
              });
        progress.reset();
        tell(report.text());
    });
}

void runPlaceExport(QWidget* parent)
{
    const std::optional<QString> file
        = platform::saveFileDialog(parent, tr("Export places"), QStringLiteral("places.geojson"),
            { tr("GeoJSON (*.geojson)"), tr("KML (*.kml)"), tr("GPX (*.gpx)") });
    if (!file)
        return;
    platform::guarded([&] { tell(exportPlaces(*file).text(QFileInfo(*file).fileName())); });
}

} // namespace corvane
