#pragma once
// The descriptions window: the user's list of places (DESCRIP.DB in Placeid
// order), the description of the current place, the small panels that edit,
// add and delete places, and the pictures panel of the current place.
// Created once by a Descriptions command and kept until the program ends.
// vPlaceId and vPlaceName name the current place; the caption follows it.

#include "core/menu_form.h"

#include <memory>

class QMenu;
class QRadioButton;

namespace platform {
class AttachedPictureStore;
}

namespace Ui {
class Notes;
}

namespace corvane {

class TfrmNotes : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmNotes(QWidget* parent = nullptr);
    ~TfrmNotes() override;

    // The identifier a new place gets: the record count when no place (and
    // no picture record left behind) uses it, else one past the highest in
    // use, so a deleted place's number never returns while a higher exists.
    static int freePlaceId();

    // The search's ways in: the place becomes current as a click on its row
    // would make it; the picture's place becomes current and the pictures
    // panel shows that picture. Both throw when there is no such record.
    void goToPlace(int placeId);
    void goToPicture(const QString& fileName);

public slots:
    void mnuOpenHelpClick() { helpItemClick(); }

    // Run by the grid's click and at the end of most steps of this window.
    void grdPlacesCellClick();
    void grdPlacesDblClick();
    void grdPlacesContextMenu(QPoint at);
    void btnAddPlaceClick();
    void rdoEditClick();
    void rdoDeleteClick();
    void rdoAddClick();
    void btnGoClick();
    void btnNoSelectClick();
    void btnDoneEditClick();
    void btnAddRecordClick();
    void btnExitAddPlaceClick();

    // The palette's paste targets.
    void dbmemoDescripMouseDown();
    void dbedPlaceMouseDown();
    void edPlaceMouseDown();
    void dbmemoCaptionMouseDown();

    // The pictures panel of the current place.
    void btnPicturesClick();
    void btnMorePixClick();
    void btnAddPixClick();
    void btnCopyPixClick();
    void btnExitAddPixClick();
    void btnDonePixClick();
    void imgPixDblClick();

protected:
    void FormShow() override;
    void FormClick() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpControls();
    void connectHandlers();
    void showCurrentPlace();
    void followEmptyList();
    void radioChosen(QRadioButton* chosen);
    void deleteCurrentPlace();
    void showPinHint();

    // The Edit menu: undo, redo, the bin; typing grouped for the history.
    void setUpHistory();
    bool isHistoryKey(QObject* watched, QEvent* event) const;

    void connectPictureHandlers();
    int nextPictureRow(int from) const;
    void showPictureRecord();
    void showPicture();
    void decodeNextPictureAhead();
    void keepCaptionShort();
    QString pictureStartFolder() const;

    const std::unique_ptr<Ui::Notes> ui;
    const std::unique_ptr<platform::AttachedPictureStore> m_pictures;
    QMenu* const m_placeMenu; // show on its map, unpin
    QString m_pinHint; // shown once the double-click's button is up
    QString m_chosenPicture; // the file "Add" in pnlAddPix attaches
    QString m_lastPictureFolder; // where the picture dialog was left
};

} // namespace corvane
