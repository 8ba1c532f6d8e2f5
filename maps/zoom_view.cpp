#include "maps/zoom_view.h"

#include "maps/pins.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

constexpr qreal kMaxZoom = 2; // screen pixels per picture pixel
constexpr qreal kStep = 1.25; // one notch of the wheel
constexpr int kNotch = 120; // QWheelEvent's angle of one notch

bool atLeast(qreal value, qreal wanted)
{
    return value >= wanted * 0.999;
}

} // namespace

TZoomView::TZoomView(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void TZoomView::setPicture(const QImage& fitted, QSize native)
{
    m_levels.reset();
    m_tiles.reset();
    m_fitted = fitted;
    m_fittedPixmap = QPixmap::fromImage(fitted);
    m_native = native.isValid() && !native.isEmpty() ? native : fitted.size();
    m_wheelRemainder = 0;
    fit();
}

void TZoomView::setLevels(std::shared_ptr<const platform::PictureLevels> levels)
{
    if (!levels || levels->levels.isEmpty() || m_fitted.isNull())
        return;
    const bool sameSize = levels->native == m_native;
    m_levels = std::move(levels);
    if (!sameSize) { // the header could not be read before: the decoder knows
        m_native = m_levels->native;
        fit();
    }
    update();
}

void TZoomView::setTiles(std::shared_ptr<SheetTileFetcher> tiles)
{
    if (!tiles || m_fitted.isNull())
        return;
    m_tiles = std::move(tiles);
    m_levels.reset();
    connect(m_tiles.get(), &SheetTileFetcher::arrived, this, qOverload<>(&QWidget::update));
    if (m_tiles->info().native != m_native) {
        m_native = m_tiles->info().native;
        fit();
    }
    update();
}

void TZoomView::clearLevels()
{
    m_levels.reset();
    m_tiles.reset();
    update();
}

void TZoomView::setZoomable(bool zoomable)
{
    m_zoomable = zoomable;
    fit();
}

qreal TZoomView::fittedZoom() const
{
    if (m_native.isEmpty() || width() <= 0 || height() <= 0)
        return 1;
    return std::min(qreal(width()) / m_native.width(), qreal(height()) / m_native.height());
}

qreal TZoomView::maxZoom() const
{
    return m_zoomable ? std::max(kMaxZoom, fittedZoom()) : fittedZoom();
}

QPointF TZoomView::toPicture(QPointF viewPoint) const
{
    return viewPoint / m_zoom + m_origin;
}

QPointF TZoomView::toView(QPointF picturePoint) const
{
    return (picturePoint - m_origin) * m_zoom;
}

void TZoomView::zoomAt(QPointF viewPoint, int steps)
{
    qreal zoom = m_zoom * std::pow(kStep, steps);
    if (zoom <= fittedZoom() * 1.001)
        zoom = fittedZoom(); // exactly the fitted view, not a hair beside it
    setZoom(zoom, viewPoint);
}

void TZoomView::setMarkers(const QList<Marker>& markers)
{
    m_markers = markers;
    update();
}

// A marker's tool tip: its place's name.
bool TZoomView::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip || m_markers.isEmpty())
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    for (const Marker& marker : std::as_const(m_markers)) {
        if (QLineF(toView(marker.point), help->pos()).length() <= 9) {
            QToolTip::showText(help->globalPos(), marker.name, this);
            return true;
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

void TZoomView::showAround(QPointF picturePoint)
{
    m_around = picturePoint;
    centreOn(picturePoint);
}

void TZoomView::centreOn(QPointF picturePoint)
{
    m_lastPaintSharp = false;
    m_zoom = std::clamp(1 / devicePixelRatioF(), fittedZoom(), maxZoom());
    m_origin = picturePoint - QPointF(width(), height()) / 2 / m_zoom;
    keepInView();
    updateCursor();
    update();
}

void TZoomView::fit()
{
    m_around.reset();
    m_lastPaintSharp = false;
    m_zoom = fittedZoom();
    m_origin = QPointF();
    updateCursor();
    update();
}

void TZoomView::setZoom(qreal zoom, QPointF viewPoint)
{
    m_around.reset();
    const QPointF anchor = toPicture(viewPoint);
    m_lastPaintSharp = false; // until a paint at this zoom says otherwise
    m_zoom = std::clamp(zoom, fittedZoom(), maxZoom());
    m_origin = anchor - viewPoint / m_zoom;
    if (qFuzzyCompare(m_zoom * devicePixelRatioF(), 1)) // whole pixels: crisp, not blurred between two
        m_origin = QPointF(std::round(m_origin.x()), std::round(m_origin.y()));
    keepInView();
    if (m_pressed) { // a drag goes on from here
        m_pressPoint = viewPoint;
        m_pressOrigin = m_origin;
    }
    updateCursor();
    update();
}

// No blank beyond the picture's edges while it fills the view; a picture
// narrower than the view stays at its left (or top) edge.
void TZoomView::keepInView()
{
    const auto clampAxis = [](qreal origin, qreal seen, int whole) {
        return seen >= whole ? 0.0 : std::clamp(origin, 0.0, whole - seen);
    };
    m_origin.setX(clampAxis(m_origin.x(), width() / m_zoom, m_native.width()));
    m_origin.setY(clampAxis(m_origin.y(), height() / m_zoom, m_native.height()));
}

void TZoomView::updateCursor()
{
    if (m_dragging && m_zoomable)
        setCursor(Qt::ClosedHandCursor);
    else if (m_zoomable && m_zoom > fittedZoom() * 1.001)
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
}

QPointF TZoomView::viewCentre() const
{
    const QRectF picture(toView({ 0, 0 }), QSizeF(m_native) * m_zoom);
    return (picture & QRectF(rect())).center();
}

bool TZoomView::zoomByKey(int key)
{
    if (!m_zoomable || m_native.isEmpty())
        return false;
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAt(viewCentre(), 1);
        return true;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        zoomAt(viewCentre(), -1);
        return true;
    case Qt::Key_0:
        fit();
        return true;
    case Qt::Key_1: // the scan's own pixels, one to a device pixel
        setZoom(1 / devicePixelRatioF(), viewCentre());
        return true;
    default:
        return false;
    }
}

// The least detailed copy that still has a pixel for every device pixel,
// or the most detailed there is.
TZoomView::Source TZoomView::sourceFor(qreal devicePixelsPerPixel) const
{
    QList<Source> sources;
    sources << Source { nullptr,
        QSizeF(qreal(m_fitted.width()) / m_native.width(), qreal(m_fitted.height()) / m_native.height()) };
    if (m_levels) {
        for (const QImage& level : m_levels->levels)
            sources << Source { &level,
                QSizeF(qreal(level.width()) / m_native.width(), qreal(level.height()) / m_native.height()) };
    }
    const Source* best = nullptr;
    const Source* finest = &sources.constFirst();
    for (const Source& s : std::as_const(sources)) {
        if (s.resolution.width() > finest->resolution.width())
            finest = &s;
        if (atLeast(s.resolution.width(), devicePixelsPerPixel)
            && (!best || s.resolution.width() < best->resolution.width()))
            best = &s;
    }
    Source chosen = best ? *best : *finest;
    // As sharp as it gets: detailed enough, the whole picture, or the most
    // detailed copy the full decoding made.
    chosen.sharp = best || atLeast(chosen.resolution.width(), 1) || (m_levels && chosen.image);
    return chosen;
}

void TZoomView::paintEvent(QPaintEvent* event)
{
    paintPicture(event);
    if (m_markers.isEmpty() || !hasPicture())
        return;
    QPainter p(this);
    for (const Marker& marker : std::as_const(m_markers)) // the focused one on top
        if (!marker.focused)
            paintPinMarker(p, toView(marker.point), false);
    for (const Marker& marker : std::as_const(m_markers))
        if (marker.focused)
            paintPinMarker(p, toView(marker.point), true);
}

void TZoomView::paintPicture(QPaintEvent* event)
{
    m_lastPaintSharp = false;
    if (m_fitted.isNull() || m_native.isEmpty())
        return;
    const QRectF picture(toView({ 0, 0 }), QSizeF(m_native) * m_zoom);
    const QRectF shown = picture & QRectF(event->rect());
    if (shown.isEmpty())
        return;
    QPainter p(this);
    if (m_tiles) {
        m_lastPaintSharp = paintTiles(p, shown);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const Source source = sourceFor(m_zoom * ratio);
    m_lastPaintSharp = source.sharp;
    const QSizeF fittedSize = QSizeF(m_fitted.size()) / ratio;
    if (!source.image && std::abs(fittedSize.width() - picture.width()) < 1
        && std::abs(fittedSize.height() - picture.height()) < 1) {
        // The fitted view: the copy decoded for the box, pixel for pixel.
        p.drawPixmap(QRectF(picture.topLeft(), fittedSize), m_fittedPixmap, QRectF(m_fittedPixmap.rect()));
        return;
    }
    // Only the part on screen, from the copy whose detail the zoom needs.
    const QRectF inPicture((shown.topLeft() - picture.topLeft()) / m_zoom, shown.size() / m_zoom);
    const QSizeF r = source.resolution;
    const QRectF from(inPicture.x() * r.width(), inPicture.y() * r.height(), inPicture.width() * r.width(),
        inPicture.height() * r.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (source.image)
        p.drawImage(shown, *source.image, from);
    else
        p.drawPixmap(shown, m_fittedPixmap, from);
}

// The least detailed level that still has a pixel for every device pixel.
int TZoomView::tileLevelFor(qreal devicePixelsPerPixel) const
{
    const platform::PyramidInfo& info = m_tiles->info();
    for (int level = int(info.levels.size()) - 1; level > 0; --level) {
        if (atLeast(qreal(info.levels[level].width()) / m_native.width(), devicePixelsPerPixel))
            return level;
    }
    return 0;
}

// Where a tile lies in the view; snapped to device pixels, neighbouring
// tiles share their edges exactly and no seam shows between them.
QRectF TZoomView::tileRect(const TileKey& key, bool snapped) const
{
    const platform::PyramidInfo& info = m_tiles->info();
    const QSize level = info.levels[key.level];
    const int t = info.tileSize;
    const qreal sx = qreal(m_native.width()) / level.width();
    const qreal sy = qreal(m_native.height()) / level.height();
    const qreal ratio = devicePixelRatioF();
    const auto at = [&](qreal x, qreal y) {
        const QPointF v = toView({ x * sx, y * sy });
        return snapped ? QPointF(std::round(v.x() * ratio) / ratio, std::round(v.y() * ratio) / ratio) : v;
    };
    return QRectF(at(key.column * t, key.row * t),
        at(std::min((key.column + 1) * t, level.width()), std::min((key.row + 1) * t, level.height())));
}

// The tiles under `shown` at the level the zoom needs; those not decoded
// yet are drawn from a coarser level meanwhile and asked for, the middle
// of the view first, then a ring around it for the pan to come. True
// when every tile drawn was of the level needed.
bool TZoomView::paintTiles(QPainter& p, const QRectF& shown)
{
    const platform::PyramidInfo& info = m_tiles->info();
    const int level = tileLevelFor(m_zoom * devicePixelRatioF());
    const QSize size = info.levels[level];
    const qreal sx = qreal(size.width()) / m_native.width();
    const qreal sy = qreal(size.height()) / m_native.height();
    const QRectF inPicture(toPicture(shown.topLeft()), toPicture(shown.bottomRight()));
    const int t = info.tileSize;
    const auto span = [t](qreal from, qreal to, int count) {
        return std::pair(std::clamp(int(std::floor(from / t)), 0, count - 1),
            std::clamp(int(std::ceil(to / t)) - 1, 0, count - 1));
    };
    const auto [c0, c1] = span(inPicture.left() * sx, inPicture.right() * sx, info.columns(level));
    const auto [r0, r1] = span(inPicture.top() * sy, inPicture.bottom() * sy, info.rows(level));
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QList<TileKey> missing;
    for (int row = r0; row <= r1; ++row) {
        for (int column = c0; column <= c1; ++column) {
            const TileKey key { level, column, row };
            const QRectF target = tileRect(key, true);
            const QImage tile = m_tiles->tile(key);
            if (tile.isNull()) {
                missing << key;
                paintStandIn(p, key, target);
            } else {
                p.drawImage(target, tile);
            }
        }
    }
    const QPointF middle((c0 + c1) / 2.0, (r0 + r1) / 2.0);
    const auto distance = [middle](const TileKey& k) {
        return std::abs(k.column - middle.x()) + std::abs(k.row - middle.y());
    };
    std::sort(missing.begin(), missing.end(),
        [&](const TileKey& a, const TileKey& b) { return distance(a) < distance(b); });
    QList<TileKey> wanted = missing;
    for (int row = std::max(0, r0 - 1); row <= std::min(info.rows(level) - 1, r1 + 1); ++row)
        for (int column = std::max(0, c0 - 1); column <= std::min(info.columns(level) - 1, c1 + 1); ++column)
            if (row < r0 || row > r1 || column < c0 || column > c1)
                wanted << TileKey { level, column, row };
    m_tiles->want(wanted);
    return missing.isEmpty();
}

// A tile still decoding: the part of a coarser tile that covers it, or of
// the copy decoded for the box.
void TZoomView::paintStandIn(QPainter& p, const TileKey& key, const QRectF& target)
{
    // Shown for a moment only: quick rather than smooth.
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const auto restore = qScopeGuard([&p] { p.restore(); });
    const int levels = int(m_tiles->info().levels.size());
    for (int level = key.level + 1, shift = 1; level < levels; ++level, ++shift) {
        const TileKey coarser { level, key.column >> shift, key.row >> shift };
        const QImage tile = m_tiles->tile(coarser);
        if (!tile.isNull()) {
            paintPart(p, target, tileRect(coarser, false), &tile);
            return;
        }
    }
    paintPart(p, target, QRectF(toView({ 0, 0 }), QSizeF(m_native) * m_zoom), nullptr);
}

// The part of a picture drawn over `whole` that falls into `target`.
void TZoomView::paintPart(QPainter& p, const QRectF& target, const QRectF& whole, const QImage* image)
{
    const QRectF part = target & whole;
    if (part.isEmpty() || whole.isEmpty())
        return;
    const QSizeF pixels = image ? QSizeF(image->size()) : QSizeF(m_fittedPixmap.size());
    const qreal fx = pixels.width() / whole.width();
    const qreal fy = pixels.height() / whole.height();
    const QRectF from((part.left() - whole.left()) * fx, (part.top() - whole.top()) * fy, part.width() * fx,
        part.height() * fy);
    if (image)
        p.drawImage(part, *image, from);
    else
        p.drawPixmap(part, m_fittedPixmap, from);
}

void TZoomView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_around)
        centreOn(*m_around);
    else
        fit();
}

void TZoomView::wheelEvent(QWheelEvent* event)
{
    if (!m_zoomable || m_native.isEmpty()) {
        event->ignore();
        return;
    }
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / kNotch;
    m_wheelRemainder -= steps * kNotch;
    if (steps != 0)
        zoomAt(event->position(), steps);
    event->accept();
}

void TZoomView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_pressPoint = event->position();
    m_pressOrigin = m_origin;
}

// Reported at once, as the desktop's double-click: some platforms send no
// release after it, nor a press before it.
void TZoomView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    if (m_lastWasDrag) { // a drag and a click are no double-click
        if (!m_pressed)
            mousePressEvent(event);
        return;
    }
    m_pressed = m_dragging = false;
    updateCursor();
    emit doubleClicked();
}

void TZoomView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton))
        return;
    const QPointF moved = event->position() - m_pressPoint;
    if (!m_dragging && moved.manhattanLength() >= QApplication::startDragDistance()) {
        m_dragging = true;
        m_around.reset();
        updateCursor();
    }
    if (m_dragging && m_zoomable) {
        m_origin = m_pressOrigin - moved / m_zoom;
        keepInView();
        update();
    }
}

void TZoomView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    m_lastWasDrag = m_dragging;
    m_dragging = false;
    updateCursor();
    if (!m_lastWasDrag)
        emit clicked();
}

void TZoomView::keyPressEvent(QKeyEvent* event)
{
    if (zoomByKey(event->key()))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

} // namespace corvane
