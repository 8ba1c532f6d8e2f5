#pragma once
// The user's places pinned to the sheet the atlas window shows: a small
// marker over the picture for each, the place's name as its tool tip. A
// click on a marker asks for that place; a right-click on the picture
// offers to pin the current place of the list there, and on a marker to
// unpin its place. Pins live in DESCRIP.DB (data/place_pins.h); the layer
// follows the table, so a pin, rename or deletion shows at once.

#include "data/place_pins.h"

#include <QAbstractButton>
#include <QPointer>

class QLabel;
class QMenu;
class QPainter;

namespace corvane {

// A pin's marker centred on `centre`: a red dot ringed in white, larger and
// haloed for the place the user asked to see.
void paintPinMarker(QPainter& p, QPointF centre, bool focused);

class TPinMarker : public QAbstractButton {
    Q_OBJECT
public:
    TPinMarker(const PlacePin& pin, QWidget* parent);
    const PlacePin& pin() const { return m_pin; }
    bool focused() const { return m_focused; }
    void setFocused(bool focused);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PlacePin m_pin;
    bool m_focused = false;
};

class TPinLayer : public QObject {
    Q_OBJECT
public:
    // `picture` shows the sheet at its top-left corner.
    explicit TPinLayer(QLabel* picture);

    // A detail sheet shown at `shown` (the picture's size on the label) of
    // `native` (the sheet's own size).
    void showSheet(const QString& sheetId, QSize shown, QSize native);
    void clear(); // a picture without pins: the locating overview
    QString sheetId() const { return m_sheetId; }

    // The place the user asked to see, marked larger wherever it shows.
    void setFocusPlace(std::optional<int> placeId);
    // That place's pin when it is on the sheet shown.
    std::optional<PlacePin> focusedPin() const;

    QList<TPinMarker*> markers() const;

    // A one-off marker, drawn as the focused pin, at a point of the sheet
    // shown (a town the search went to); it goes when another sheet or the
    // overview is shown. Null when there is none.
    void showPointMarker(const QString& name, const QString& sheetId, QPointF pixel);
    QWidget* pointMarker() const { return m_pointMarker; }
    QMenu* menu() const { return m_menu; }
    QPoint toSheet(QPoint onPicture) const;
    // The point of the sheet under a point of the picture, in the scan's
    // pixels; nullopt off the picture or with no sheet shown.
    std::optional<QPointF> sheetPoint(QPoint onPicture) const;
    QPoint toPicture(QPoint onSheet) const;

signals:
    void markerClicked(int placeId);

private:
    void refresh();
    void followCurrentPlace();
    void addMarker(const PlacePin& pin);
    void removeMarker(int placeId);
    void imgMapContextMenu(QPoint at);
    void markerContextMenu(TPinMarker* marker, QPoint at);

    QLabel* const m_picture;
    QMenu* const m_menu;
    QString m_sheetId;
    QSize m_shown;
    QSize m_native;
    std::optional<int> m_focusPlace;
    QPointer<QWidget> m_pointMarker;
    QList<QPointer<TPinMarker>> m_markers;
};

} // namespace corvane
