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

void clearSelection(QWidget* control)
{
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        line->deselect();
    } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
        QTextCursor cursor = rich->textCursor();
        cursor.clearSelection();
        rich->setTextCursor(cursor);
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
        QTextCursor cursor = plain->textCursor();
        cursor.clearSelection();
        plain->setTextCursor(cursor);
    }
}

// Watches the widget that receives the field's mouse events: the field
// itself, or the viewport of a multi-line field. A press is delivered on
// from here, so the handler runs after the field has taken it.
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
        if (m_delivering)
            return false; // our own delivery, on its way to the field
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            mousePress(watched, static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::ContextMenu:
            return m_otherButton; // the press took a character; no menu
        case QEvent::MouseButtonRelease:
            if (!m_otherButton)
                return false;
            // Ends the left press the field was given, and pastes no
            // selection as a middle button's release would.
            m_otherButton = false;
            deliver(watched, asLeft(static_cast<QMouseEvent*>(event)).get(), event);
            return true;
        default:
            return false;
        }
    }

private:
    // A plain left press or release: with Shift held, a press would select
    // from the caret to the point instead of placing the caret there.
    static std::unique_ptr<QMouseEvent> asLeft(const QMouseEvent* e)
    {
        const Qt::MouseButtons buttons
            = e->type() == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        return std::make_unique<QMouseEvent>(e->type(), e->position(), e->scenePosition(),
            e->globalPosition(), Qt::LeftButton, buttons, Qt::NoModifier);
    }

    // Through the whole event chain, not event(): a multi-line field takes
    // its viewport's events in a filter of its own, which event() skips.
    void deliver(QObject* watched, QEvent* event, QEvent* original)
    {
        m_delivering = true;
        QCoreApplication::sendEvent(watched, event);
        m_delivering = false;
        original->setAccepted(event->isAccepted());
    }

    void mousePress(QObject* watched, QMouseEvent* event)
    {
        const bool handOff = vPasteState == QLatin1String("Do");
        m_otherButton = handOff && event->button() != Qt::LeftButton;
        if (handOff) {
            // Any button places the caret for a waiting character, as the
            // left one does. A press inside a selection would only prepare
            // to drag it, and the character would replace it: it goes where
            // pressed instead.
            clearSelection(static_cast<QWidget*>(parent()));
            deliver(watched, asLeft(event).get(), event);
        } else {
            deliver(watched, event, event);
        }
        m_mouseDown();
    }

    std::function<void()> m_mouseDown;
    bool m_otherButton = false;
    bool m_delivering = false;
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
