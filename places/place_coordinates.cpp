#include "places/place_coordinates.h"

#include "core/coordinate_actions.h"
#include "core/forms.h"
#include "data/datamod1.h"
#include "data/georeferences.h"
#include "data/place_pins.h"
#include "tables/table.h"

#include <QLabel>

namespace corvane {

std::optional<QPointF> currentPlaceCoordinates()
{
    const std::optional<PlacePin> pin = currentPin();
    return pin ? lonLatOnSheet(pin->sheetId, pixelCentre(pin->point)) : std::nullopt;
}

void addPlaceCoordinateActions(QMenu* menu)
{
    if (const std::optional<QPointF> ll = currentPlaceCoordinates())
        addCoordinateActions(menu, *ll);
}

TPlaceCoordinates::TPlaceCoordinates(QLabel* label)
    : QObject(label)
    , m_label(label)
{
    platform::Table* places = DataModule1->tblDescrip;
    connect(places, &platform::Table::dataSetChanged, this, &TPlaceCoordinates::refresh);
    connect(places, &platform::Table::currentRecordChanged, this, &TPlaceCoordinates::refresh);
    connect(&CoordinateForm::instance(), &CoordinateForm::coordinateFormChanged, this,
        &TPlaceCoordinates::refresh);
    refresh();
}

void TPlaceCoordinates::refresh()
{
    const std::optional<PlacePin> pin = currentPin();
    const std::optional<QPointF> ll = currentPlaceCoordinates();
    if (ll)
        m_label->setText(tr("Pinned to %1 at %2").arg(pin->sheetId, shownCoordinates(*ll)));
    else if (pin)
        m_label->setText(tr("Pinned to %1 (no coordinates for this sheet)").arg(pin->sheetId));
    else
        m_label->clear();
}

} // namespace corvane
