#include "app/application.h"

#include "app/find_command.h"
#include "app/main_form.h"
#include "app/splash.h"
#include "app/toolbar_icons.h"
#include "core/shared.h"
#include "core/shell.h"
#include "data/datamod1.h"
#include "data/installer.h"
#include "data/user_tables.h"
#include "output/restore.h"
#include "places/place_bin.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/fonts.h"
#include "platform/paths.h"

#include <QApplication>

namespace corvane {

Application::Application()
{
    resetProcessState();
    platform::clearTerminationRequest();
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
    // Not Qt's display name, which would be appended to every window title.
    platform::setApplicationTitle(QStringLiteral("Corvane Part 3"));
    QApplication::setDesktopFileName(QStringLiteral("corvane3"));
    QApplication::setWindowIcon(programIcon());

    // A second copy would work on the same tables: the first comes forward.
    m_instance = std::make_unique<platform::SingleInstance>(QStringLiteral("corvane3"));
    if (!m_instance->claim()) {
        m_handedOver = true;
        return false;
    }
    connect(
        m_instance.get(), &platform::SingleInstance::activationRequested, this, &Application::bringToFront);

    platform::installFontSubstitutions();
    platform::DriveTable::instance().load();
    reportDriveTableProblems();

    try {
        installIfNeeded();
    } catch (const std::exception& e) {
        platform::reportError(QString::fromStdString(e.what()));
        return false;
    }

    m_mainForm = std::make_unique<TMainForm>();
    m_mainForm->show();
    // Every message box belongs to the frame, so none outlives it.
    platform::setMessageBoxParent(m_mainForm.get());
    // Log-out and shutdown end the program as the close box does, so the
    // frame stores what the user typed; whatever box is open goes, and the
    // program ends within half a second.
    platform::onTerminationRequest(this, [this] {
        if (m_mainForm)
            m_mainForm->close();
    });

    // A restore a kill interrupted is finished or undone before the tables
    // open; then whatever interrupted work left is cleared away.
    if (!resolveInterruptedRestore(m_mainForm.get()))
        return false;
    cleanUpInterruptedWork(vProgramPath);

    try {
        m_dataModule = std::make_unique<TDataModule1>();
        startSearchIndex(*m_dataModule);
    } catch (const std::exception& e) {
        platform::reportError(QString::fromStdString(e.what()));
        return false;
    }

    try {
        if (const QString news = tidyBinAtStart(); !news.isEmpty())
            shell().showStatus(news);
    } catch (const std::exception& e) {
        shell().showStatus(QString::fromStdString(e.what()));
    }

    // The splash lives in the frame, which owns it until "Open" releases it.
    auto* splash = new TfrmSplash;
    m_mainForm->addChild(splash);
    splash->showChild();
    return true;
}

void Application::bringToFront()
{
    if (!m_mainForm)
        return;
    if (m_mainForm->isMinimized())
        m_mainForm->showNormal();
    m_mainForm->raise();
    m_mainForm->activateWindow();
}

void Application::reportDriveTableProblems()
{
    const QStringList problems = platform::DriveTable::instance().problems();
    if (problems.isEmpty())
        return;
    platform::messageBox({ QMessageBox::Warning, platform::applicationTitle(),
        tr("Some lines of %1 could not be used:\n\n%2")
            .arg(platform::DriveTable::configFilePath(), problems.join(QLatin1Char('\n'))),
        QMessageBox::Ok });
}

} // namespace corvane
