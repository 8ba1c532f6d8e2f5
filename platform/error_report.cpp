#include "platform/error_report.h"

#include "platform/desktop.h"

namespace platform {

void reportError(const QString& text)
{
    messageBox({ QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok });
}

} // namespace platform
