#pragma once
// The full-screen map window: the current detail sheet as large as the
// screen allows, zoomable into the scan, with a small options panel (the
// neighbour arrows, the country's map key and scale, a help page). It keeps
// its own copy of the sheet it shows (vFullMapId and the key and scale) and
// writes the map viewer state back on every move; a double-click on the map
// returns to the atlas window on the sheet last seen. Created once by the
// atlas window and hidden between uses; a top-level tool window over the
// frame, not one of its child windows.

#include "data/place_pins.h"
#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"

#include <QStringList>
#include <QWidget>

#include <memory>

class QMenu;
class QToolButton;

namespace Ui {
class Map;
}

namespace corvane {

class OuterPlacement;
class TZoomView;

class TfrmMap : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMap(QWidget* parent = nullptr);
    ~TfrmMap() override;

    // Reads the record of vFullMapId, then shows its picture. Throws when
    // the picture cannot be loaded; what the record gave is kept.
    void ChangeMap();
    // Shows the arrows of the neighbours of vFullMapId that exist; never fails.
    void AdjacentMoves();

    void setVisible(bool visible) override;
    // The pin the next showing looks closely around, when it is on the
    // sheet shown; its marker shows whenever its sheet does.
    void setPinFocus(const std::optional<PlacePin>& pin);

    TZoomView* imgMap() const;
    TZoomView* imgKey() const;
    QWidget* pnlOptions() const;

    // Tests and benchmarks wait on these.
    platform::FullPictureLoader& fullPicture() { return m_full; }
    platform::PictureStore& pictures() { return m_pictures; }

public slots:
    void imgNorthClick();
    void imgSouthClick();
    void imgEastClick();
    void imgWestClick();
    void btnKeyClick();
    void btnScaleClick();
    void btnHelpClick();
    void btnHideClick();
    void imgKeyClick();
    void imgMapClick();
    void imgMapDblClick();
    void btnControlPointsClick();

protected:
    virtual void FormShow();
    virtual void FormClick();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Placement {
        QPoint topLeft; // of the frame
        QSize outer;
    };
    Placement placement() const;
    void setUpControls();
    void setUpCoordinates();
    void connectHandlers();
    void applyScreenTable();
    void layOutFilledScreen(QSize client);
    int scaledWidth(int baseWidth) const;
    void moveToNeighbour(const QString& side);
    void readSheetRecord();
    void showSheetPicture();
    void showKeyPicture(const QString& sheetId, int width);
    void fullPictureReady();
    void showTiles(const QString& path, const platform::PyramidInfo& info);
    void tilesReady(const QString& path);
    void tilesFailed(const QString& path);
    void decodeNeighboursAhead();
    void sendKeyBehind();
    QSize deviceSize(const QWidget* box) const;
    void showPinFocus(bool lookAround);

    const std::unique_ptr<Ui::Map> ui;
    platform::PictureStore m_pictures;
    platform::FullPictureLoader m_full;
    OuterPlacement* const m_placement;
    QMenu* m_sheetMenu = nullptr; // a right-click on the sheet
    class TControlPointsPanel* m_controlPoints = nullptr;
    QStringList m_neighbours; // sheet ids, decoded ahead once the full picture is in
    std::optional<int> m_pinFocus; // the place the window was opened for
    bool m_shownBefore = false;
    bool m_fillsScreen = false; // a screen the table does not name
    int m_filledMapWidth = 1000;
    int m_keyWidth = 0; // vFullKeyWidth and vFullScaleWidth before the screen's factor
    int m_scaleWidth = 0;
};

} // namespace corvane
