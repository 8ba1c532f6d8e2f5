#include "output/place_choice.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/place_pins.h"
#include "output/report.h"
#include "tables/table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvane {

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
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

PlaceChoice::PlaceChoice(QWidget* parent, const QString& sheet)
    : QGroupBox(tr("Places"), parent)
{
    setObjectName(QStringLiteral("grpPlaces"));
    rdoAllPlaces = named(new QRadioButton(tr("All places"), this), "rdoAllPlaces");
    rdoChosenPlaces = named(new QRadioButton(tr("The places ticked here:"), this), "rdoChosenPlaces");
    lstPlaces = named(new QListWidget(this), "lstPlaces");
    fillPlaces(lstPlaces);
    rdoSheetPlaces = named(new QRadioButton(tr("The places pinned to sheet"), this), "rdoSheetPlaces");
    cboSheet = named(new QComboBox(this), "cboSheet");
    cboSheet->addItems(pinnedSheets());
    if (!sheet.isEmpty() && cboSheet->findText(sheet) >= 0)
        cboSheet->setCurrentText(sheet);
    rdoSheetPlaces->setEnabled(cboSheet->count() > 0);
    rdoAllPlaces->setChecked(true);
    // Ticking a place or picking a sheet says which places are meant.
    connect(
        lstPlaces, &QListWidget::itemChanged, rdoChosenPlaces, [this] { rdoChosenPlaces->setChecked(true); });
    connect(cboSheet, &QComboBox::activated, rdoSheetPlaces, [this] { rdoSheetPlaces->setChecked(true); });
    auto* sheetRow = new QHBoxLayout;
    sheetRow->addWidget(rdoSheetPlaces);
    sheetRow->addWidget(cboSheet, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rdoAllPlaces);
    layout->addWidget(rdoChosenPlaces);
    layout->addWidget(lstPlaces);
    layout->addLayout(sheetRow);
}

QList<int> PlaceChoice::chosenPlaces() const
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

} // namespace corvane
