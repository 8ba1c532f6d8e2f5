#pragma once
// The picture box of the full-screen map window. It shows a picture scaled
// to fit, aspect kept, anchored at its top-left corner, and lets the user
// read fine detail: the wheel zooms in steps around the cursor, from the
// fitted view up to two screen pixels per picture pixel; a drag pans; the
// keys +, - and 0 zoom in, out and back to the fitted view, 1 to the scan's
// own pixels. Until the
// full-resolution levels arrive it enlarges the copy decoded for the box.
// A press and release without a drag is a click; a double-click counts
// unless the press before it became a drag.

#include "imaging/pictures.h"
#include "maps/sheet_tiles.h"

#include <QPixmap>
#include <QWidget>

#include <memory>
#include <optional>

namespace corvane {

class TZoomView : public QWidget {
    Q_OBJECT
public:
    explicit TZoomView(QWidget* parent = nullptr);

    // A new picture whose own size is `native`, shown fitted from `fitted`,
    // the copy decoded for the box. Forgets the previous picture's levels.
    void setPicture(const QImage& fitted, QSize native);
    // Sharp drawing from now on, from the levels of the picture shown.
    void setLevels(std::shared_ptr<const platform::PictureLevels> levels);
    // Sharp drawing from the sheet's tile pyramid; the zoom stays.
    void setTiles(std::shared_ptr<SheetTileFetcher> tiles);
    void clearLevels(); // and the tiles
    bool hasLevels() const { return m_levels != nullptr; }
    bool hasTiles() const { return m_tiles != nullptr; }
    SheetTileFetcher* tiles() const { return m_tiles.get(); }
    bool hasPicture() const { return !m_fitted.isNull(); }
    QSize nativeSize() const { return m_native; } // the picture's own size

    // A box for pictures that are only looked at: no zoom, no pan.
    void setZoomable(bool zoomable);

    qreal zoom() const { return m_zoom; } // screen pixels per picture pixel
    qreal fittedZoom() const;
    qreal maxZoom() const;
    QPointF toPicture(QPointF viewPoint) const;
    QPointF toView(QPointF picturePoint) const;

    void zoomAt(QPointF viewPoint, int steps);
    void fit();
    // Pins' markers at points of the picture, each named by its tool tip.
    struct Marker {
        QPointF point;
        QString name;
        bool focused = false;
    };
    void setMarkers(const QList<Marker>& markers);
    const QList<Marker>& markers() const { return m_markers; }
    // The scan's own pixels around a point of the picture, centred (kept
    // centred through resizes until the user zooms or pans).
    void showAround(QPointF picturePoint);
    bool zoomByKey(int key); // +, -, 0 and 1; false for any other key

    // Whether the last paint drew from a copy as detailed as the zoom needs.
    bool lastPaintWasSharp() const { return m_lastPaintSharp; }

signals:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Source {
        const QImage* image = nullptr; // null: the fitted pixmap
        QSizeF resolution; // its pixels per picture pixel
        bool sharp = false;
    };
    Source sourceFor(qreal devicePixelsPerPixel) const;
    using TileKey = SheetTileFetcher::Key;
    int tileLevelFor(qreal devicePixelsPerPixel) const;
    QRectF tileRect(const TileKey& key, bool snapped) const;
    bool paintTiles(QPainter& p, const QRectF& shown);
    void paintStandIn(QPainter& p, const TileKey& key, const QRectF& target);
    void paintPart(QPainter& p, const QRectF& target, const QRectF& whole, const QImage* image);
    void setZoom(qreal zoom, QPointF viewPoint);
    void paintPicture(QPaintEvent* event);
    void centreOn(QPointF picturePoint);
    void keepInView();
    void updateCursor();
    QPointF viewCentre() const;

    QImage m_fitted;
    QPixmap m_fittedPixmap;
    QSize m_native;
    std::shared_ptr<const platform::PictureLevels> m_levels;
    std::shared_ptr<SheetTileFetcher> m_tiles;
    bool m_zoomable = true;
    qreal m_zoom = 1;
    QPointF m_origin; // the picture point at the view's top-left corner
    int m_wheelRemainder = 0;
    QList<Marker> m_markers;
    std::optional<QPointF> m_around; // showAround's point until the user moves

    // The mouse: a press becomes a drag once it moves far enough.
    bool m_pressed = false;
    bool m_dragging = false;
    bool m_lastWasDrag = false;
    QPointF m_pressPoint;
    QPointF m_pressOrigin;
    bool m_lastPaintSharp = false;
};

} // namespace corvane
