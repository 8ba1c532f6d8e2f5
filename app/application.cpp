#include "app/application.h"

#include "app/main_form.h"
#include "app/toolbar_icons.h"
#include "core/shared.h"
#include "app/splash.h"
#include "data/datamod1.h"
#include "data/installer.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "platform/paths.h"

#include <QApplication>

namespace corvane {

Application::Application()
{
    resetProcessState();
}

Application::~Application()
{
    // Windows go before the tables they show.
    m_mainForm.reset();
    m_dataModule.reset();
}

bool Application::start()
{
    QApplication::setApplicationName(QStringLiteral("corvane3"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane Part 3"));
    QApplication::setDesktopFileName(QStringLiteral("corvane3"));
    QApplication::setWindowIcon(programIcon());
    platform::installFontSubstitutions();
    platform::DriveTable::instance().load();

    try {
        installIfNeeded();
    } catch (const std::exception& e) {
        platform::reportError(QString::fromStdString(e.what()));
        return false;
    }

    m_mainForm = std::make_unique<TMainForm>();
    m_mainForm->show();

    try {
        m_dataModule = std::make_unique<TDataModule1>();
    } catch (const std::exception& e) {
        platform::reportError(QString::fromStdString(e.what()));
        return false;
    }

    // The splash lives in the frame, which owns it until "Open" releases it.
    auto* splash = new TfrmSplash;
    m_mainForm->addChild(splash);
    splash->showChild();
    return true;
}

} // namespace corvane
