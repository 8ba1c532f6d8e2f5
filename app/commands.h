#pragma once
// The commands every view's and tool's menu bar shares: go to another view,
// open this window's help page, show where the User's Manual is, reconfigure,
// show the About panel and open the maker's home page. The windows' copies
// differ only in what a Caller says; each window's handler calls these.
// buildStandardMenu() makes the menu bar of the descriptions and
// abbreviations windows, the jot pad and the palette.

#include "platform/errors.h"

#include <QAction>
#include <QString>

class QMenu;
class QMenuBar;
class QWidget;

namespace corvane {

// The window whose menu runs a command.
enum class Caller { Atlas, Notes, Abbrev, Jot, AltChar };
// A view the commands go to (the jot pad and the palette are no views).
enum class View { Atlas, Notes, Abbrev };

// The maker's home page as the shell takes it, with backslashes, and the
// name of the site that "Visit ..." and the atlas window show.
inline const QString kMakerHomePage = QStringLiteral("http:\\\\www.quillmere.example\\home.htm");
inline const QString kMakerSiteName = QStringLiteral("www.quillmere.example");
QString visitCaption(); // "Visit " + kMakerSiteName

// Creates the target on first use (unless the caller relies on the atlas
// window existing), makes it the current view, hides the frame's print
// panel (and, from the descriptions window, the rich-text panel), shows the
// target and, from the descriptions window or the jot pad's Maps, drops a
// pending paste. The caller hides its own panels first.
void goToView(Caller caller, View target);

// The caller's help page through the shell; a view becomes the current view.
void openHelpPage(Caller caller);

// Shows the print panel naming the User's Manual; opens nothing.
void showManualInfo();

// Creates the configuration window on first use and shows it.
void reconfigure();

// Hides the print panel and shows the About panel.
void showAbout();

// The maker's home page through the shell; a view becomes the current view.
void visitMaker(Caller caller);

// Sets vShellTarget to the document path or web address and asks the
// desktop to open it. The result is not examined: a missing page is the
// desktop's to report.
void handToShell(const QString& target);

// The view key of vCurrentView: "Atlas", "Notes" or "Abbrev".
QString viewKey(View view);

// The menu bar of the descriptions and abbreviations windows, the jot pad and
// the palette, with each window's captions, access letters and disabled item.
// The actions belong to the form; the window connects them to its handlers.
// openHelp is mnuOpenHelp in the descriptions window, else OpenHelpFile1.
struct StandardMenu {
    QMenuBar* bar = nullptr;
    QAction* mnuMaps = nullptr;
    QAction* mnuNotes = nullptr;
    QAction* mnuAbbrev = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* openHelp = nullptr;
    QAction* mnuManual = nullptr;
    QAction* mnuReconfig = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuVisit = nullptr;
};
StandardMenu buildStandardMenu(QWidget* form, Caller window);

// Connects a standard menu to the window's handlers of the given names
// (mnuMapsClick, mnuNotesClick, mnuAbbrevClick where the window has them,
// the help item's handler, mnuManualClick, ...).
template <typename W>
void connectStandardMenu(W* form, const StandardMenu& menu, void (W::*openHelpClick)())
{
    using platform::connectGuarded;
    if constexpr (requires { &W::mnuMapsClick; })
        connectGuarded(menu.mnuMaps, &QAction::triggered, form, &W::mnuMapsClick);
    if constexpr (requires { &W::mnuNotesClick; })
        connectGuarded(menu.mnuNotes, &QAction::triggered, form, &W::mnuNotesClick);
    if constexpr (requires { &W::mnuAbbrevClick; })
        connectGuarded(menu.mnuAbbrev, &QAction::triggered, form, &W::mnuAbbrevClick);
    connectGuarded(menu.openHelp, &QAction::triggered, form, openHelpClick);
    connectGuarded(menu.mnuManual, &QAction::triggered, form, &W::mnuManualClick);
    connectGuarded(menu.mnuReconfig, &QAction::triggered, form, &W::mnuReconfigClick);
    connectGuarded(menu.mnuAbout, &QAction::triggered, form, &W::mnuAboutClick);
    connectGuarded(menu.mnuVisit, &QAction::triggered, form, &W::mnuVisitClick);
}

} // namespace corvane
