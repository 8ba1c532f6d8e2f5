#pragma once
// What any window offers for a point with coordinates: "Copy coordinates"
// and "Show on a web map" (an OpenStreetMap address handed to the desktop),
// and whether coordinates show in degrees, minutes and seconds.

#include <QObject>
#include <QPointF>
#include <QString>

class QMenu;

namespace corvane {

// Adds the two commands for the point (x longitude, y latitude) to a menu.
void addCoordinateActions(QMenu* menu, QPointF lonLat);

// The point as every window shows it, in the form the user chose.
QString shownCoordinates(QPointF lonLat);

// Decimal degrees (the default) or degrees, minutes and seconds; windows
// that show coordinates follow coordinateFormChanged.
bool showsDms();
void setShowsDms(bool dms);

class CoordinateForm : public QObject {
    Q_OBJECT
public:
    static CoordinateForm& instance();
signals:
    void coordinateFormChanged();
};

} // namespace corvane
