#include "output/place_export_dialog.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/place_pins.h"
#include "output/place_export.h"
#include "output/report.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
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

// The places of the list, in list order, with the current one ticked.
void fillPlaces(QListWidget* list)
{
    const platform::Table* descrip = DataModule1->tblDescrip;
    if (!descrip->active())
        return;
    const int idField = descrip->fieldIndex(QStringLiteral("Placeid"));
    const int nameField = descrip->fieldIndex(QStringLiteral("Place"));
    const std::optional<CurrentPlace> current = currentPlace();
    for (int row = 0; row < descrip->rowCount(); ++row) {
        const int id = descrip->valueAt(row, idField).toInt();
        auto* item = new QListWidgetItem(descrip->valueAt(row, nameField).toString(), list);
        item->setData(Qt::UserRole, id);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(current && current->placeId == id ? Qt::Checked : Qt::Unchecked);
    }
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
    auto* places = named(new QGroupBox(tr("Places"), this), "grpPlaces");
    rdoAllPlaces = named(new QRadioButton(tr("All places"), places), "rdoAllPlaces");
    rdoChosenPlaces = named(new QRadioButton(tr("The places ticked here:"), places), "rdoChosenPlaces");
    lstPlaces = named(new QListWidget(places), "lstPlaces");
    fillPlaces(lstPlaces);
    rdoSheetPlaces = named(new QRadioButton(tr("The places pinned to sheet"), places), "rdoSheetPlaces");
    cboSheet = named(new QComboBox(places), "cboSheet");
    cboSheet->addItems(pinnedSheets());
    rdoSheetPlaces->setEnabled(cboSheet->count() > 0);
    rdoAllPlaces->setChecked(true);
    // Ticking a place or picking a sheet says which places are meant.
    connect(
        lstPlaces, &QListWidget::itemChanged, rdoChosenPlaces, [this] { rdoChosenPlaces->setChecked(true); });
    connect(cboSheet, &QComboBox::activated, rdoSheetPlaces, [this] { rdoSheetPlaces->setChecked(true); });
    auto* sheetRow = new QHBoxLayout;
    sheetRow->addWidget(rdoSheetPlaces);
    sheetRow->addWidget(cboSheet, 1);
    auto* placesLayout = new QVBoxLayout(places);
    placesLayout->addWidget(rdoAllPlaces);
    placesLayout->addWidget(rdoChosenPlaces);
    placesLayout->addWidget(lstPlaces);
    placesLayout->addLayout(sheetRow);

    btnExport = named(new QPushButton(tr("Export..."), this), "btnExport");
    btnClose = named(new QPushButton(tr("Close"), this), "btnClose");
    btnExport->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExport);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(places);
    layout->addLayout(buttons);
}

QList<int> TfrmPlaceExport::chosenPlaces() const
{
    if (rdoSheetPlaces->isChecked())
        return placeIdsOnSheet(cboSheet->currentText());
    if (!rdoChosenPlaces->isChecked())
        return allPlaceIds();
    QList<int> ids;
    for (int row = 0; row < lstPlaces->count(); ++row) {
        if (lstPlaces->item(row)->checkState() == Qt::Checked)
            ids << lstPlaces->item(row)->data(Qt::UserRole).toInt();
    }
    return ids;
}

void TfrmPlaceExport::btnExportClick()
{
    const QList<int> ids = chosenPlaces();
    if (ids.isEmpty()) {
        tell(QMessageBox::Information,
            rdoChosenPlaces->isChecked() ? tr("Tick the places to export first.")
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
