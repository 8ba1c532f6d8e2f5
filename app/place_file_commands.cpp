#include "app/place_file_commands.h"

#include "import/place_import.h"
#include "output/place_export_dialog.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

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
        const PlaceImportReport report = importPlaceFile(
            platform::hostPathOf(*file), [&](const QString& stage, qint64 done, qint64 total) {
                progress.setLabelText(stage);
                // In thousandths, so that a million records fit the bar; a
                // busy bar while the length is not known.
                progress.setMaximum(total > 0 ? 1000 : 0);
                progress.setValue(total > 0 ? int(std::min(done, total) * 1000 / total) : 0);
                // The shown dialog turns to events only when its value
                // changes; a busy bar's does not, and Stop must still work.
                if (progress.isVisible())
                    QCoreApplication::processEvents();
                return !progress.wasCanceled();
            });
        progress.reset();
        tell(report.text());
    });
}

void runPlaceExport(QWidget* parent)
{
    showPlaceExportDialog(parent);
}

} // namespace corvane
