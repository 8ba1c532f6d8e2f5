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
    const StandardMenu menu = buildStandardMenu(this, Caller::Jot);
    mnuMaps = menu.mnuMaps;
    mnuNotes = menu.mnuNotes;
    mnuAbbrev = menu.mnuAbbrev;
    OpenHelpFile1 = menu.openHelp;
    mnuManual = menu.mnuManual;
    mnuReconfig = menu.mnuReconfig;
    mnuAbout = menu.mnuAbout;
    mnuVisit = menu.mnuVisit;
    setChildMenuBar(menu.bar);

    using platform::connectGuarded;
    connectGuarded(mnuMaps, &QAction::triggered, this, &TfrmJot::mnuMapsClick);
    connectGuarded(mnuNotes, &QAction::triggered, this, &TfrmJot::mnuNotesClick);
    connectGuarded(mnuAbbrev, &QAction::triggered, this, &TfrmJot::mnuAbbrevClick);
    connectGuarded(OpenHelpFile1, &QAction::triggered, this, &TfrmJot::OpenHelpFile1Click);
    connectGuarded(mnuManual, &QAction::triggered, this, &TfrmJot::mnuManualClick);
    connectGuarded(mnuReconfig, &QAction::triggered, this, &TfrmJot::mnuReconfigClick);
    connectGuarded(mnuAbout, &QAction::triggered, this, &TfrmJot::mnuAboutClick);
    connectGuarded(mnuVisit, &QAction::triggered, this, &TfrmJot::mnuVisitClick);
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
