#include "output/place_export_dialog.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/place_pins.h"
#include "output/place_choice.h"
#include "output/place_export.h"
#include "output/report.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvane {

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void tell(QMessageBox::Icon icon, const QString& text)
{
    platform::messageBox({ icon, platform::applicationTitle(), text, QMessageBox::Ok });
}

} // namespace

TfrmPlaceExport::TfrmPlaceExport(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPlaceExport"));
    setWindowTitle(tr("Export places"));
    buildControls();
    platform::connectGuarded(btnExport, &QPushButton::clicked, this, &TfrmPlaceExport::btnExportClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmPlaceExport::reject);
}

void TfrmPlaceExport::buildControls()
{
    grpPlaces = new PlaceChoice(this);

    btnExport = named(new QPushButton(tr("Export..."), this), "btnExport");
    btnClose = named(new QPushButton(tr("Close"), this), "btnClose");
    btnExport->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExport);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpPlaces);
    layout->addLayout(buttons);
}

QList<int> TfrmPlaceExport::chosenPlaces() const
{
    return grpPlaces->chosenPlaces();
}

void TfrmPlaceExport::btnExportClick()
{
    const QList<int> ids = chosenPlaces();
    if (ids.isEmpty()) {
        tell(QMessageBox::Information,
            grpPlaces->rdoChosenPlaces->isChecked() ? tr("Tick the places to export first.")
                                                    : tr("There are no places."));
        return;
    }
    const std::optional<QString> chosen
        = platform::saveFileDialog(this, tr("Export places"), QStringLiteral("places.geojson"),
            { tr("GeoJSON (*.geojson)"), tr("KML (*.kml)"), tr("GPX (*.gpx)") });
    if (!chosen)
        return;
    const QString path = platform::hostPathOf(*chosen);
    tell(QMessageBox::Information, exportPlaces(path, ids).text(QFileInfo(path).fileName()));
    accept();
}

TfrmPlaceExport* showPlaceExportDialog(QWidget* parent)
{
    auto* dialog = new TfrmPlaceExport(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    return dialog;
}

} // namespace corvane
