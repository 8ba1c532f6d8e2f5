#include "app/help_window.h"

#include "platform/desktop.h"
#include "platform/paths.h"

#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

namespace corvane {

namespace {

QPointer<QTextBrowser> g_helpWindow;

QTextBrowser* helpWindow(QWidget* parent)
{
    if (!g_helpWindow) {
        auto* browser = new QTextBrowser(parent);
        browser->setObjectName(QStringLiteral("HelpWindow"));
        browser->setWindowFlags(Qt::Window);
        browser->setAttribute(Qt::WA_DeleteOnClose);
        // Pages link each other by relative names; addresses on the web go
        // to whatever the desktop has for them.
        browser->setOpenLinks(true);
        browser->setOpenExternalLinks(true);
        // Room for the window system's title bar on a small or scaled screen.
        browser->resize(QSize(720, 560).boundedTo(platform::availableScreenArea().size() - QSize(0, 40)));
        QObject::connect(browser, &QTextBrowser::sourceChanged, browser,
            [browser] { browser->setWindowTitle(browser->documentTitle()); });
        g_helpWindow = browser;
    }
    return g_helpWindow;
}

} // namespace

bool showHelpWindow(const QString& windowsPath, QWidget* parent)
{
    const auto host = platform::resolve(windowsPath);
    if (!host || !QFileInfo(*host).isFile())
        return false;
    QTextBrowser* browser = helpWindow(parent);
    browser->setSource(QUrl::fromLocalFile(*host));
    browser->setWindowTitle(browser->documentTitle());
    browser->show();
    browser->raise();
    browser->activateWindow();
    return true;
}

} // namespace corvane
