#include "core/placement.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace corvane {

OuterPlacement::OuterPlacement(QWidget* window)
    : QObject(window)
    , m_window(window)
{
}

void OuterPlacement::place(QPoint topLeft, QSize outer)
{
    if (const QWindow* handle = m_window->windowHandle(); handle && !handle->frameMargins().isNull())
        m_frame = handle->frameMargins();
    m_topLeft = topLeft;
    m_outer = outer;
    setInnerSize(outer.shrunkBy(m_frame));
    m_window->move(topLeft); // a window's position is its frame's
    if (m_frame.isNull())
        watchForFrame();
}

void OuterPlacement::watchForFrame()
{
    // Before the window exists there is no handle to watch; its showing
    // creates one.
    if (QWindow* handle = m_window->windowHandle())
        handle->installEventFilter(this);
    else
        m_window->installEventFilter(this);
}

bool OuterPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Show) {
        m_window->removeEventFilter(this);
        if (m_window->windowHandle())
            m_window->windowHandle()->installEventFilter(this);
    } else if (watched == m_window->windowHandle() && event->type() == QEvent::Expose) {
        if (const QMargins frame = m_window->windowHandle()->frameMargins(); !frame.isNull())
            frameBecameKnown(frame);
    }
    return QObject::eventFilter(watched, event);
}

void OuterPlacement::frameBecameKnown(const QMargins& frame)
{
    m_window->windowHandle()->removeEventFilter(this);
    const bool firstTime = m_frame.isNull();
    m_frame = frame;
    if (!firstTime || m_window->size() != m_outer)
        return; // resized by the user already
    setInnerSize(m_outer.shrunkBy(frame));
    m_window->move(m_topLeft);
}

void OuterPlacement::setInnerSize(QSize size)
{
    if (m_fixed)
        m_window->setFixedSize(size);
    else
        m_window->resize(size);
}

} // namespace corvane
