#pragma once
// The atlas window: one map sheet at a time, with neighbour arrows, the
// locating overview and the county catalogue. It works on the map viewer
// state of core/shared.h; other windows change its sheet through
// changeDetailSheet, which keeps that state whole when a sheet fails. While
// the user looks at a sheet, its neighbours are decoded ahead, so an arrow
// click usually finds its picture ready.

#include "core/menu_form.h"
#include "imaging/pictures.h"

#include <memory>

class QAction;
class QLabel;
class QPushButton;
class QShortcut;
class QToolButton;

namespace Ui {
class Atlas;
}

namespace corvane {

// The red rectangle of the locating overview: a 4-pixel outline drawn
// inside its bounds, nothing filled, no mouse handling of its own.
class TPinLayer;

class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TfrmAtlas : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmAtlas(QWidget* parent = nullptr);
    ~TfrmAtlas() override;

    // Shows the sheet vShownMapId as vZoomMode says; in detail mode also
    // refreshes what derives from the sheet's MAPS.DB record. Throws when
    // the picture cannot be loaded, leaving the window as it was.
    void ChangeMap();
    // Shows the arrows of the neighbours of vMapId that exist; never fails.
    void AdjacentMoves();
    // Shows in detail the sheet a place is pinned to, its marker larger
    // than the others; throws when the sheet cannot be shown.
    void showPlacePin(int placeId);
    // Shows the sheet in detail and makes it the current one; throws when
    // its picture cannot be loaded, leaving the window and the map viewer
    // state on the sheet shown.
    void changeDetailSheet(const QString& sheetId);
    // Shows the sheet in detail with a marker at a town's pixel, gone with
    // the next sheet change; throws as changeDetailSheet does.
    void showTown(const QString& name, const QString& sheetId, QPointF pixel);

    // Controls other windows use.
    QLabel* Label1() const;
    QWidget* pnlCatalog() const;
    QWidget* RedOutline() const;
    QLabel* imgMap() const;
    QPushButton* btnZoom() const;

    // The menu bar's own item; the shared ones are in `menu`.
    QAction* const mnuCatalog = menu.first;

    // Decoded sheets of this window (tests and benchmarks wait on it).
    platform::PictureStore& pictures() { return m_pictures; }
    // The markers of the places pinned to the sheet shown.
    TPinLayer* pins() const { return m_pins; }

public slots:
    void imgNorthClick();
    void imgSouthClick();
    void imgEastClick();
    void imgWestClick();
    void imgPointerClick();
    void btnZoomClick();
    void btnExpandClick();
    void mnuCatalogClick();
    void btnCloseClick();
    void grdCatalogCellClick();
    void imgPinClick(int placeId);

    // The commands every view shares; leaving the maps puts away the
    // catalogue and the locating outline first.
    void mnuNotesClick() override;
    void mnuAbbrevClick() override;
    void OpenHelpFileF1Click() { helpItemClick(); }
    void mnuManualClick() override;
    void mnuReconfigClick() override;

protected:
    void FormShow() override;
    void FormClick() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpControls();
    void setUpCatalogGrid();
    void setUpKeyboard();
    void connectHandlers();
    void moveToNeighbour(const QString& side);
    void changeSheet(const QString& mapId, const QString& shownId, const QString& mode);
    void showSheetPicture(const QString& sheetId);
    void readSheetRecord();
    void setZoomOutButton();
    void showDetailControls();
    void hideDetailControls();
    void decodeNeighboursAhead();
    QSize pictureBox() const;

    const std::unique_ptr<Ui::Atlas> ui;
    platform::PictureStore m_pictures;
    QList<QShortcut*> m_arrowKeys;
    TPinLayer* m_pins = nullptr;
};

} // namespace corvane
