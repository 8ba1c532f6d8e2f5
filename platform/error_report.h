#pragma once
// The top-level error report. A handler that fails is abandoned where it
// failed and the error's text is shown in a message box bearing the
// application title; guarded() and connectGuarded() do that for handlers.

#include "platform/errors.h"

#include <QObject>
#include <QString>

#include <exception>

namespace platform {

// Shows the message box of the top-level error report.
void reportError(const QString& text);

template <typename F> void guarded(F&& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        reportError(QString::fromStdString(e.what()));
    }
}

// connect() for event handlers: an error thrown by the handler is reported
// instead of escaping into Qt's event loop.
template <typename Sender, typename Signal, typename Receiver>
QMetaObject::Connection connectGuarded(
    Sender* sender, Signal signal, Receiver* receiver, void (Receiver::*handler)())
{
    return QObject::connect(
        sender, signal, receiver, [receiver, handler] { guarded([&] { (receiver->*handler)(); }); });
}

} // namespace platform
