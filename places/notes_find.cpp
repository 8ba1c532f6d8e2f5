// The descriptions window's ways in from the search: a place, a picture.
#include "places/notes.h"

#include "ui_notes.h"

#include "places/notes_steps.h"

#include "core/shared.h"
#include "platform/errors.h"

namespace corvane {

using namespace notes;

void TfrmNotes::goToPlace(int placeId)
{
    platform::Table* places = descrip();
    places->open();
    places->setIndexName(QString());
    const QList<int> rows = rowsOfPlace(places, placeId);
    if (rows.isEmpty())
        throw platform::AppError(tr("This place is no longer in your list of places."));
    ui->pnlPictures->hide();
    ui->pnlAddPix->hide();
    ui->btnAddPlace->show();
    places->moveTo(rows.first());
    grdPlacesCellClick();
}

void TfrmNotes::goToPicture(const QString& fileName)
{
    platform::Table* pictures = pix();
    pictures->open();
    pictures->setIndexName(QString());
    const QList<int> found = pictures->rowsWhere(QStringLiteral("Filename"), fileName);
    if (found.isEmpty())
        throw platform::AppError(tr("The picture %1 is no longer attached to a place.").arg(fileName));
    const int placeId
        = pictures->valueAt(found.first(), pictures->fieldIndex(QStringLiteral("Placeid"))).toInt();
    goToPlace(placeId);
    for (QWidget* hidden : std::initializer_list<QWidget*> {
             ui->btnAddPlace, ui->pnlAddPlace, ui->pnlAddPix, ui->pnlSelect, ui->pnlEdit })
        hidden->hide();
    {
        ControlsSuspended quiet(pictures);
        pictures->moveTo(pictures->rowsWhere(QStringLiteral("Filename"), fileName).value(0));
    }
    showPictureRecord();
}

} // namespace corvane
