#include "app/commands.h"

#include "aids/abbrev.h"
#include "app/forms.h"
#include "app/help_window.h"
#include "app/main_form.h"
#include "app/shared.h"
#include "app/views.h"
#include "maps/atlas.h"
#include "places/notes.h"
#include "platform/desktop.h"
#include "platform/paths.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

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
    {Caller::Atlas, View::Notes, true, false, false},
    {Caller::Atlas, View::Abbrev, true, false, false},
    {Caller::Notes, View::Atlas, true, true, true},
    {Caller::Notes, View::Abbrev, true, true, true},
    {Caller::Abbrev, View::Atlas, false, false, false},
    {Caller::Abbrev, View::Notes, true, false, false},
    {Caller::Jot, View::Atlas, false, false, true},
    {Caller::Jot, View::Notes, true, false, false},
    {Caller::Jot, View::Abbrev, true, false, false},
    {Caller::AltChar, View::Atlas, false, false, false},
    {Caller::AltChar, View::Notes, true, false, false},
    {Caller::AltChar, View::Abbrev, true, false, false},
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

QString visitCaption()
{
    return QStringLiteral("Visit ") + kMakerSiteName;
}

QString viewKey(View view)
{
    switch (view) {
    case View::Atlas:
        return QStringLiteral("Atlas");
    case View::Notes:
        return QStringLiteral("Notes");
    case View::Abbrev:
        return QStringLiteral("Abbrev");
    }
    return {};
}

void goToView(Caller caller, View target)
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

void openHelpPage(Caller caller)
{
    makeCurrentIfView(caller);
    handToShell(vProgramPath + QStringLiteral("Help\\") + helpPageOf(caller));
}

void showManualInfo()
{
    MainForm->pnlPrint->show();
    MainForm->lblWhatPrint->setText(QStringLiteral("to Print the User's Manual :"));
    MainForm->lblHowPrint->setText(QStringLiteral(
        "The User's Manual is stored in the Path and Filename shown below. Open this file in your favorite "
        "word-processor program, and you may edit and print it as you like. If you have no such program, your "
        "Windows WordPad accessory can be used."));
    MainForm->lblPath->setText(vProgramPath + QStringLiteral("Help\\"));
    MainForm->lblFilename1->setText(QStringLiteral("MANUAL.RTF"));
}

void reconfigure()
{
    showConfigWindow();
}

void showAbout()
{
    MainForm->pnlPrint->hide();
    MainForm->pnlAbout->show();
}

void visitMaker(Caller caller)
{
    makeCurrentIfView(caller);
    handToShell(kMakerHomePage);
}

void handToShell(const QString& target)
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

namespace {

QAction* addItem(QWidget* menu, QWidget* form, const char* name, const QString& text, bool enabled = true)
{
    auto* action = new QAction(text, form);
    action->setObjectName(QLatin1String(name));
    action->setEnabled(enabled);
    menu->addAction(action);
    return action;
}

} // namespace

StandardMenu buildStandardMenu(QWidget* form, Caller window)
{
    static const char* const kBarNames[] = {"AtlasMenu", "NotesMenu", "AbbrevMenu", "JotMenu", "AltCharMenu"};
    StandardMenu m;
    m.bar = new QMenuBar(form);
    m.bar->setObjectName(QLatin1String(kBarNames[int(window)]));

    // A view's own item is disabled; only the descriptions window gives
    // "Abbreviations" an access letter.
    const bool inNotes = window == Caller::Notes;
    const bool inAbbrev = window == Caller::Abbrev;
    m.mnuMaps = addItem(m.bar, form, "mnuMaps", QStringLiteral("&Maps"));
    m.mnuNotes = addItem(m.bar, form, "mnuNotes",
                         inNotes ? QStringLiteral("Descriptions") : QStringLiteral("&Descriptions"), !inNotes);
    m.mnuAbbrev = addItem(m.bar, form, "mnuAbbrev",
                          inNotes ? QStringLiteral("&Abbreviations") : QStringLiteral("Abbreviations"), !inAbbrev);

    m.mnuHelp = new QMenu(QStringLiteral("&Help"), form);
    m.mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    m.mnuHelp->menuAction()->setObjectName(QStringLiteral("mnuHelp"));
    m.bar->addMenu(m.mnuHelp);
    m.openHelp = addItem(m.mnuHelp, form, inNotes ? "mnuOpenHelp" : "OpenHelpFile1", QStringLiteral("Open Help File"));
    m.openHelp->setShortcut(QKeySequence(Qt::Key_F1));
    m.mnuManual = addItem(m.mnuHelp, form, "mnuManual", QStringLiteral("Print the User's Manual"));
    m.mnuReconfig = addItem(m.mnuHelp, form, "mnuReconfig", QStringLiteral("Reconfigure"));
    m.mnuAbout = addItem(m.mnuHelp, form, "mnuAbout", QStringLiteral("About this Software"));
    m.mnuVisit = addItem(m.mnuHelp, form, "mnuVisit", visitCaption());
    return m;
}

} // namespace corvane
