#pragma once
// The latitude and longitude of the current place, when it is pinned to a
// sheet with a georeference: shown in a label of the descriptions window,
// and offered as "Copy coordinates" and "Show on a web map" in its menu.

#include <QObject>
#include <QPointF>

#include <optional>

class QLabel;
class QMenu;

namespace corvane {

// The current place's coordinates; nullopt when it is not pinned or its
// sheet has no georeference.
std::optional<QPointF> currentPlaceCoordinates();

// Adds the coordinate commands of the current place to a menu, if it has any.
void addPlaceCoordinateActions(QMenu* menu);

class TPlaceCoordinates : public QObject {
    Q_OBJECT
public:
    explicit TPlaceCoordinates(QLabel* label);
    void refresh();

private:
    QLabel* const m_label;
};

} // namespace corvane
