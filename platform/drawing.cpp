#include "platform/drawing.h"

#include <QPainter>
#include <QPixmap>

namespace platform {

QIcon drawnIcon(QSize logicalSize, const std::function<void(QPainter&)>& draw, const QColor& background)
{
    QIcon icon;
    for (const qreal ratio : { 1.0, 2.0 }) {
        QPixmap pixmap(logicalSize * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(background);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace platform
