#pragma once
// The atlas window: one map sheet at a time, with neighbour arrows, the
// locating overview and the county catalogue. It works on the map viewer
// state of app/shared.h; other windows set vMapId, vShownMapId and
// vZoomMode, then call ChangeMap and (in detail mode) AdjacentMoves. While
// the user looks at a sheet, its neighbours are decoded ahead, so an arrow
// click usually finds its picture ready.

#include "app/child_form.h"
#include "platform/pictures.h"

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QShortcut;
class QToolButton;

namespace Ui {
class Atlas;
}

namespace corvane {

// The red rectangle of the locating overview: a 4-pixel outline drawn
// inside its bounds, nothing filled, no mouse handling of its own.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TfrmAtlas : public TChildForm {
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

    // Controls other windows use.
    QLabel* Label1() const;
    QWidget* pnlCatalog() const;
    QWidget* RedOutline() const;
    QLabel* imgMap() const;
    QPushButton* btnZoom() const;

    // Decoded sheets of this window (tests and benchmarks wait on it).
    platform::PictureStore& pictures() { return m_pictures; }

    // The menu bar's commands; all but the catalogue are the commands every
    // view shares (app/commands.h).
    QAction* mnuCatalog = nullptr;
    QAction* mnuNotes = nullptr;
    QAction* mnuAbbrev = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* OpenHelpFileF1 = nullptr;
    QAction* mnuManual = nullptr;
    QAction* mnuReconfig = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuVisit = nullptr;

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

    // The commands every view shares (app/commands.h).
    void mnuNotesClick();
    void mnuAbbrevClick();
    void OpenHelpFileF1Click();
    void mnuManualClick();
    void mnuReconfigClick();
    void mnuAboutClick();
    void mnuVisitClick();

protected:
    void FormShow() override;
    void FormClick() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void setUpControls();
    void setUpCatalogGrid();
    void setUpKeyboard();
    void connectHandlers();
    void moveToNeighbour(const QString& field);
    void showSheetPicture(const QString& sheetId);
    void readSheetRecord();
    void applyCountry(const QString& country);
    void setZoomOutButton();
    void showDetailControls();
    void hideDetailControls();
    void decodeNeighboursAhead();
    QSize pictureBox() const;

    const std::unique_ptr<Ui::Atlas> ui;
    platform::PictureStore m_pictures;
    QList<QShortcut*> m_arrowKeys;
};

} // namespace corvane
