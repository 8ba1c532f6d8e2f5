#pragma once
// The accented-character palette. For now the window itself and its
// lower-case choice, so the tool-bar button can open, place and focus it,
// and its menu bar with the commands every view shares; the character
// buttons and the case switch come with the palette's own work. Its
// commands leave the current view and a pending paste alone.

#include "app/child_form.h"
#include "app/commands.h"

class QAction;
class QRadioButton;

namespace corvane {

class TfrmAltChar : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmAltChar(QWidget* parent = nullptr);
    ~TfrmAltChar() override;

    QRadioButton* rdoLower = nullptr;

    StandardMenu menu; // mnuMaps, mnuNotes, mnuAbbrev, the Help items

public slots:
    // Also what the palette's Close runs for the current view.
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
