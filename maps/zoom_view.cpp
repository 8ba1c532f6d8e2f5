#include "maps/zoom_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

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

void TZoomView::clearLevels()
{
    m_levels.reset();
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

void TZoomView::fit()
{
    m_zoom = fittedZoom();
    m_origin = QPointF();
    updateCursor();
    update();
}

void TZoomView::setZoom(qreal zoom, QPointF viewPoint)
{
    const QPointF anchor = toPicture(viewPoint);
    m_zoom = std::clamp(zoom, fittedZoom(), maxZoom());
    m_origin = anchor - viewPoint / m_zoom;
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
    m_lastPaintSharp = false;
    if (m_fitted.isNull() || m_native.isEmpty())
        return;
    const QRectF picture(toView({ 0, 0 }), QSizeF(m_native) * m_zoom);
    const QRectF shown = picture & QRectF(event->rect());
    if (shown.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    const Source source = sourceFor(m_zoom * ratio);
    m_lastPaintSharp = source.sharp;
    QPainter p(this);
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

void TZoomView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
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
