#pragma once
// A child window with the menu bar that every view and tool shares: the
// views, and a Help menu with the help page, the User's Manual,
// Reconfigure, About and the maker's home page. A window states only what
// differs: who it is (its Caller names the bar, the disabled item, the help
// page and the texts) and, by overriding a handler, what else a command
// does there. The commands themselves are the shell's (core/shell.h).

#include "core/child_form.h"
#include "core/shell.h"

class QAction;
class QMenu;
class QMenuBar;

namespace corvane {

// The menu bar's items. `first` is mnuMaps, or the atlas window's
// mnuCatalog; `openHelp` is OpenHelpFile1, the descriptions window's
// mnuOpenHelp or the atlas window's OpenHelpFileF1.
struct StandardMenu {
    QMenuBar* bar = nullptr;
    QAction* first = nullptr;
    QAction* mnuMaps = nullptr; // null in the atlas window
    QAction* mnuNotes = nullptr;
    QAction* mnuAbbrev = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* openHelp = nullptr;
    QAction* mnuManual = nullptr;
    QAction* mnuReconfig = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuVisit = nullptr;
};

// Builds the menu bar of `window`'s kind; the actions belong to `form`.
StandardMenu buildStandardMenu(QWidget* form, Caller window);

class TMenuForm : public TChildForm {
    Q_OBJECT
public:
    explicit TMenuForm(Caller caller, QWidget* parent = nullptr);

    Caller caller() const { return m_caller; }
    StandardMenu menu;

public slots:
    virtual void mnuMapsClick();
    virtual void mnuNotesClick();
    virtual void mnuAbbrevClick();
    virtual void mnuManualClick();
    virtual void mnuReconfigClick();
    virtual void mnuAboutClick();
    virtual void mnuVisitClick();

protected:
    // The Help menu's first item: the window's own help page.
    virtual void helpItemClick();

private:
    const Caller m_caller;
};

} // namespace corvane
