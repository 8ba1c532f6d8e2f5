#include "app/commands.h"

#include "aids/abbrev.h"
#include "app/help_window.h"
#include "app/main_form.h"
#include "app/views.h"
#include "core/forms.h"
#include "core/shared.h"
#include "maps/atlas.h"
#include "output/print.h"
#include "places/notes.h"
#include "platform/desktop.h"
#include "platform/paths.h"

#include <QFrame>
#include <QLabel>
#include <QStatusBar>

#include <optional>

namespace corvane {

namespace {

// How each window's copy of "go to a view" differs. The Maps commands of
// the windows that can only be reached from the atlas window rely on it
// existing and do not create it.
struct Route {
    Caller caller;
    View target;
    bool create;
    bool hideRichText;
    bool dropPaste;
};
constexpr Route kRoutes[] = {
    { Caller::Atlas, View::Notes, true, false, false },
    { Caller::Atlas, View::Abbrev, true, false, false },
    { Caller::Notes, View::Atlas, true, true, true },
    { Caller::Notes, View::Abbrev, true, true, true },
    { Caller::Abbrev, View::Atlas, false, false, false },
    { Caller::Abbrev, View::Notes, true, false, false },
    { Caller::Jot, View::Atlas, false, false, true },
    { Caller::Jot, View::Notes, true, false, false },
    { Caller::Jot, View::Abbrev, true, false, false },
    { Caller::AltChar, View::Atlas, false, false, false },
    { Caller::AltChar, View::Notes, true, false, false },
    { Caller::AltChar, View::Abbrev, true, false, false },
};

const Route* routeOf(Caller caller, View target)
{
    for (const Route& route : kRoutes)
        if (route.caller == caller && route.target == target)
            return &route;
    return nullptr;
}

void createView(View view)
{
    switch (view) {
    case View::Atlas:
        createAtlasWindow();
        break;
    case View::Notes:
        createNotesWindow();
        break;
    case View::Abbrev:
        createAbbrevWindow();
        break;
    }
}

TChildForm* viewWindow(View view)
{
    switch (view) {
    case View::Atlas:
        return frmAtlas;
    case View::Notes:
        return frmNotes;
    case View::Abbrev:
        return frmAbbrev;
    }
    return nullptr;
}

// The caller's own view; the jot pad and the palette have none.
std::optional<View> viewOf(Caller caller)
{
    switch (caller) {
    case Caller::Atlas:
        return View::Atlas;
    case Caller::Notes:
        return View::Notes;
    case Caller::Abbrev:
        return View::Abbrev;
    case Caller::Jot:
    case Caller::AltChar:
        break;
    }
    return std::nullopt;
}

QString helpPageOf(Caller caller)
{
    switch (caller) {
    case Caller::Atlas:
        return QStringLiteral("viewing.htm");
    case Caller::Notes:
        return QStringLiteral("descrip.htm");
    case Caller::Abbrev:
        return QStringLiteral("abbrev.htm");
    case Caller::Jot:
        return QStringLiteral("jotpad.htm");
    case Caller::AltChar:
        return QStringLiteral("altchar.htm");
    }
    return {};
}

void makeCurrentIfView(Caller caller)
{
    if (const std::optional<View> own = viewOf(caller))
        vCurrentView = viewKey(*own);
}

} // namespace

void FrameShell::goToView(Caller caller, View target)
{
    const Route* route = routeOf(caller, target);
    Q_ASSERT_X(route, "goToView", "a window has no command for its own view");
    if (!route)
        return;
    if (route->create)
        createView(target);
    vCurrentView = viewKey(target);
    MainForm->pnlPrint->hide();
    if (route->hideRichText)
        MainForm->pnlRTF->hide();
    if (TChildForm* window = viewWindow(target))
        window->showChild();
    if (route->dropPaste)
        vPasteState = QStringLiteral("Done");
}

void FrameShell::openHelpPage(Caller caller)
{
    makeCurrentIfView(caller);
    handToShell(vProgramPath + QStringLiteral("Help\\") + helpPageOf(caller));
}

void FrameShell::showManualInfo()
{
    const PrintPanels panels { MainForm->pnlPrint, MainForm->lblWhatPrint, MainForm->lblHowPrint,
        MainForm->lblPath, MainForm->lblFilename1, MainForm->pnlRTF, MainForm->MainRichEdit };
    showPrintInfo(panels,
        { QStringLiteral("to Print the User's Manual :"),
            QStringLiteral(
                "The User's Manual is stored in the Path and Filename shown below. Open this file in "
                "your favorite word-processor program, and you may edit and print it as you like. If "
                "you have no such program, your Windows WordPad accessory can be used."),
            vProgramPath + QStringLiteral("Help\\"), QStringLiteral("MANUAL.RTF") });
}

void FrameShell::reconfigure()
{
    showConfigWindow();
}

void FrameShell::showAbout()
{
    MainForm->pnlPrint->hide();
    MainForm->pnlAbout->show();
}

void FrameShell::visitMaker(Caller caller)
{
    makeCurrentIfView(caller);
    handToShell(kMakerHomePage);
}

void FrameShell::handToShell(const QString& target)
{
    vShellTarget = target;
    if (platform::shellOpen(vShellTarget))
        return;
    // No browser or handler on this desktop: our own help pages can still
    // be read here; for anything else the user learns what did not open.
    const bool helpPage = vShellTarget.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive)
        || vShellTarget.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive);
    if (helpPage && !platform::shellUrl(vShellTarget).scheme().startsWith(QStringLiteral("http"))
        && showHelpWindow(vShellTarget, MainForm))
        return;
    const auto host = platform::resolve(vShellTarget);
    const QString where = host ? QStringLiteral(" (%1)").arg(*host) : QString();
    platform::messageBox({ QMessageBox::Warning, platform::applicationTitle(),
        QObject::tr("The desktop has no program to open \"%1\"%2.").arg(vShellTarget, where),
        QMessageBox::Ok });
}

void FrameShell::hidePrintPanel()
{
    MainForm->pnlPrint->hide();
}

void FrameShell::hideRichTextPanel()
{
    MainForm->pnlRTF->hide();
}

void FrameShell::showPlaceOnMap(int placeId)
{
    goToView(Caller::Notes, View::Atlas);
    frmAtlas->showPlacePin(placeId);
}

QWidget* FrameShell::frameWindow()
{
    return MainForm;
}

void FrameShell::raiseFrame()
{
    MainForm->setWindowState(MainForm->windowState() & ~Qt::WindowMinimized);
    MainForm->show();
    MainForm->raise();
    MainForm->activateWindow();
}

void FrameShell::showStatus(const QString& text)
{
    MainForm->statusBar()->showMessage(text);
}

} // namespace corvane
