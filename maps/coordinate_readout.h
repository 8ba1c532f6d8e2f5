#pragma once
// Latitude and longitude under the mouse on a sheet with a georeference,
// shown in a label beside the picture, and the two commands a point on a
// sheet offers: "Copy coordinates" and "Show on a web map". Both map windows
// use it; each says how a point of its picture box maps to the sheet.

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QMenu;
class QWidget;

namespace corvane {

// A point of a sheet: its id and the point in the scan's own pixels.
struct SheetPixel {
    QString sheetId;
    QPointF pixel;
};

// The text a label shows for a point: coordinates, or why there are none.
QString coordinateText(const SheetPixel& at);

// Adds "Copy coordinates" and "Show on a web map" for the point to a menu,
// when its sheet has a georeference.
void addSheetPointActions(QMenu* menu, const SheetPixel& at);

class TCoordinateReadout : public QObject {
    Q_OBJECT
public:
    // Where a point of the picture box lies; nullopt off the sheet.
    using Locate = std::function<std::optional<SheetPixel>(QPoint onPicture)>;
    TCoordinateReadout(QWidget* picture, QLabel* label, Locate locate);

    // Shows the coordinates for this point of the picture box.
    void showAt(QPoint onPicture);
    void clear();
    // The label's own menu: degrees, minutes and seconds or decimal.
    QMenu* menu() const { return m_menu; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void lblCoordinatesContextMenu(QPoint at);

    QWidget* const m_picture;
    QLabel* const m_label;
    const Locate m_locate;
    QMenu* const m_menu;
    std::optional<QPoint> m_last;
};

} // namespace corvane
