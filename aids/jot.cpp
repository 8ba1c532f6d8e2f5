#include "aids/jot.h"

#include "app/commands.h"
#include "app/forms.h"
#include "platform/errors.h"

#include <QAction>

namespace corvane {

TfrmJot::TfrmJot(QWidget* parent)
    : TChildForm(parent)
{
    setObjectName(QStringLiteral("frmJot"));
    setWindowTitle(QStringLiteral("Jot a Note"));
    setFixedBorder(true);
    buildMenu();
    frmJot = this;
}

TfrmJot::~TfrmJot()
{
    if (frmJot == this)
        frmJot = nullptr;
}

void TfrmJot::buildMenu()
{
    menu = buildStandardMenu(this, Caller::Jot);
    setChildMenuBar(menu.bar);
    connectStandardMenu(this, menu, &TfrmJot::OpenHelpFile1Click);
}

void TfrmJot::FormShow()
{
    setOuterGeometry(456, 2, 308, 360);
}

// Going back to the maps from the pad gives up a pending palette character.
void TfrmJot::mnuMapsClick() { goToView(Caller::Jot, View::Atlas); }
void TfrmJot::mnuNotesClick() { goToView(Caller::Jot, View::Notes); }
void TfrmJot::mnuAbbrevClick() { goToView(Caller::Jot, View::Abbrev); }
void TfrmJot::OpenHelpFile1Click() { openHelpPage(Caller::Jot); }
void TfrmJot::mnuManualClick() { showManualInfo(); }
void TfrmJot::mnuReconfigClick() { reconfigure(); }
void TfrmJot::mnuAboutClick() { showAbout(); }
void TfrmJot::mnuVisitClick() { visitMaker(Caller::Jot); }

} // namespace corvane
