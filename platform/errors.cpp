#include "platform/errors.h"

#include "platform/desktop.h"

#include <QGuiApplication>

namespace platform {

void reportError(const QString& text)
{
    messageBox({QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok});
}

} // namespace platform
