#pragma once
// Pictures the program draws itself (tool-bar pictures, button glyphs) are
// drawings in logical pixels; an icon holds each at ordinary and double
// density, so it stays sharp on high-density screens.

#include <QColor>
#include <QIcon>
#include <QSize>

#include <functional>

class QPainter;

namespace platform {

// Renders `draw` onto `background` at device pixel ratios 1 and 2.
QIcon drawnIcon(QSize logicalSize, const std::function<void(QPainter&)>& draw,
    const QColor& background = Qt::transparent);

} // namespace platform
