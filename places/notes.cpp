#include "places/notes.h"

#include "app/commands.h"
#include "app/forms.h"
#include "app/shared.h"
#include "platform/errors.h"

#include <QAction>

namespace corvane {

TfrmNotes::TfrmNotes(QWidget* parent)
    : TChildForm(parent)
{
    setObjectName(QStringLiteral("frmNotes"));
    setWindowTitle(QStringLiteral("  NOTES and PICTURES"));
    setFixedBorder(true);
    QPalette green = palette();
    green.setColor(QPalette::Window, QColor(192, 220, 192));
    setPalette(green);
    setAutoFillBackground(true);
    buildMenu();
    frmNotes = this;
}

TfrmNotes::~TfrmNotes()
{
    if (frmNotes == this)
        frmNotes = nullptr;
}

void TfrmNotes::buildMenu()
{
    menu = buildStandardMenu(this, Caller::Notes);
    setChildMenuBar(menu.bar);
    connectStandardMenu(this, menu, &TfrmNotes::mnuOpenHelpClick);
}

// Placeholder: only the window's place; the current place's refresh comes
// with the descriptions window's work.
void TfrmNotes::FormShow()
{
    setOuterGeometry(2, 2, 764, 460);
}

void TfrmNotes::FormClick()
{
    vCurrentView = QStringLiteral("Notes");
}

void TfrmNotes::mnuMapsClick() { goToView(Caller::Notes, View::Atlas); }
void TfrmNotes::mnuAbbrevClick() { goToView(Caller::Notes, View::Abbrev); }
void TfrmNotes::mnuOpenHelpClick() { openHelpPage(Caller::Notes); }
void TfrmNotes::mnuManualClick() { showManualInfo(); }
void TfrmNotes::mnuReconfigClick() { reconfigure(); }
void TfrmNotes::mnuAboutClick() { showAbout(); }
void TfrmNotes::mnuVisitClick() { visitMaker(Caller::Notes); }

} // namespace corvane
