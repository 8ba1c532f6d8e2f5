#pragma once
// What a window may ask of the shell on top (app/): another view, a help
// page, the frame's information panels, a document or web address for the
// desktop. Windows see only this interface; the frame registers the
// implementation when it is created, so no room includes the shell.

#include <QPointF>
#include <QString>

class QWidget;

namespace corvane {

// The window whose menu runs a command.
enum class Caller { Atlas, Notes, Abbrev, Jot, AltChar };
// A view the commands go to (the jot pad and the palette are no views).
enum class View { Atlas, Notes, Abbrev };

// The view key of vCurrentView: "Atlas", "Notes" or "Abbrev".
QString viewKey(View view);

// The maker's home page as the shell takes it, with backslashes, and the
// name of the site that "Visit ..." and the atlas window show.
inline const QString kMakerHomePage = QStringLiteral("http:\\\\www.quillmere.example\\home.htm");
inline const QString kMakerSiteName = QStringLiteral("www.quillmere.example");
QString visitCaption(); // "Visit " + kMakerSiteName

class Shell {
public:
    virtual ~Shell() = default;

    // Creates the target on first use (unless the caller relies on the atlas
    // window existing), makes it the current view, hides the frame's print
    // panel (and, from the descriptions window, the rich-text panel), shows
    // the target and, from the descriptions window or the jot pad's Maps,
    // drops a pending paste. The caller hides its own panels first.
    virtual void goToView(Caller caller, View target) = 0;
    // The caller's help page through the desktop; a view becomes current.
    virtual void openHelpPage(Caller caller) = 0;
    // Shows the print panel naming the User's Manual; opens nothing.
    virtual void showManualInfo() = 0;
    // Creates the configuration window on first use and shows it.
    virtual void reconfigure() = 0;
    // Hides the print panel and shows the About panel.
    virtual void showAbout() = 0;
    // The maker's home page through the desktop; a view becomes current.
    virtual void visitMaker(Caller caller) = 0;
    // Sets vShellTarget to the document path or web address and asks the
    // desktop to open it.
    virtual void handToShell(const QString& target) = 0;
    virtual void hidePrintPanel() = 0;
    virtual void hideRichTextPanel() = 0;
    // Goes to the atlas window on the sheet a place is pinned to, its
    // marker shown larger; throws when the sheet cannot be shown.
    virtual void showPlaceOnMap(int placeId) = 0;
    // The search's jumps, each to a view that becomes current: a sheet in
    // the atlas window through its normal sheet change; a place made
    // current in the descriptions window; a picture shown in its place's
    // pictures panel; a glossary entry's row selected. Each throws when the
    // target cannot be shown (a sheet's picture missing, a place deleted).
    virtual void showSheet(const QString& sheetId) = 0;
    virtual void showPlace(int placeId) = 0;
    virtual void showPicture(const QString& fileName) = 0;
    virtual void showGlossaryEntry(const QString& abbrev, const QString& meaning) = 0;
    // A gazetteer town: its sheet through the atlas's normal sheet change,
    // a marker at the town's pixel until the sheet changes; throws as
    // showSheet does.
    virtual void showTown(const QString& name, const QString& sheetId, QPointF pixel) = 0;
    // The frame: the parent of the program's top-level tool windows.
    virtual QWidget* frameWindow() = 0;
    // Brings the frame back from wherever the user left it (minimised,
    // behind other programs) and activates it.
    virtual void raiseFrame() = 0;
    // A line in the frame's status bar.
    virtual void showStatus(const QString& text) { (void)text; }
};

// The registered shell; calling it before the frame exists is a
// programming error.
Shell& shell();
void setShell(Shell* shell);

} // namespace corvane
