#pragma once
// The jot pad. For now the window itself, so the tool-bar button can open
// and place it, and its menu bar with the commands every view shares; the
// pad and its buttons come with the jot pad's own work. Its commands leave
// the current view alone: the pad is no view.

#include "app/child_form.h"
#include "app/commands.h"

class QAction;

namespace corvane {

class TfrmJot : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmJot(QWidget* parent = nullptr);
    ~TfrmJot() override;

    StandardMenu menu; // mnuMaps, mnuNotes, mnuAbbrev, the Help items

public slots:
    // Also what the pad's Close runs for the current view.
    void mnuMapsClick();
    void mnuNotesClick();
    void mnuAbbrevClick();
    void OpenHelpFile1Click();
    void mnuManualClick();
    void mnuReconfigClick();
    void mnuAboutClick();
    void mnuVisitClick();

protected:
    void FormShow() override;

private:
    void buildMenu();
};

} // namespace corvane
