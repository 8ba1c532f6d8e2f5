#include "core/paste.h"

#include "core/shared.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <memory>

namespace corvane {

namespace {

// Watches the widget that receives the field's mouse events: the field
// itself, or the viewport of a multi-line field.
class MouseDownFilter : public QObject {
public:
    MouseDownFilter(QWidget* control, std::function<void()> mouseDown)
        : QObject(control)
        , m_mouseDown(std::move(mouseDown))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            return mousePress(watched, static_cast<QMouseEvent*>(event));
        case QEvent::ContextMenu:
            return m_otherButton; // the press took a character; no menu
        case QEvent::MouseButtonRelease:
            if (!m_otherButton)
                return false;
            // Ends the left press the field was given, and pastes no
            // selection as a middle button's release would.
            m_otherButton = false;
            watched->event(asLeft(static_cast<QMouseEvent*>(event)).get());
            return true;
        default:
            return false;
        }
    }

private:
    static std::unique_ptr<QMouseEvent> asLeft(const QMouseEvent* e)
    {
        const Qt::MouseButtons buttons
            = e->type() == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        return std::make_unique<QMouseEvent>(e->type(), e->position(), e->scenePosition(),
            e->globalPosition(), Qt::LeftButton, buttons, e->modifiers());
    }

    bool mousePress(QObject* watched, QMouseEvent* event)
    {
        // Any button places the caret for a waiting character, as the left
        // one does.
        m_otherButton = vPasteState == QLatin1String("Do") && event->button() != Qt::LeftButton;
        if (m_otherButton)
            watched->event(asLeft(event).get());
        else
            watched->event(event);
        m_mouseDown();
        return true; // delivered above, before the handler ran
    }

    std::function<void()> m_mouseDown;
    bool m_otherButton = false;
};

QWidget* mouseReceiver(QWidget* control)
{
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        return area->viewport();
    return control;
}

} // namespace

void connectMouseDown(QWidget* control, std::function<void()> mouseDown)
{
    mouseReceiver(control)->installEventFilter(new MouseDownFilter(control, std::move(mouseDown)));
}

void completePendingPaste(QWidget* control)
{
    if (vPasteState != QLatin1String("Do"))
        return;
    if (auto* line = qobject_cast<QLineEdit*>(control))
        line->paste();
    else if (auto* rich = qobject_cast<QTextEdit*>(control))
        rich->paste();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(control))
        plain->paste();
    QApplication::clipboard()->clear();
    vPasteState = QStringLiteral("Done");
}

} // namespace corvane
