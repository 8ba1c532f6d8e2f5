#include "aids/altchar.h"

#include "app/commands.h"
#include "app/forms.h"
#include "platform/errors.h"

#include <QAction>
#include <QRadioButton>

namespace corvane {

TfrmAltChar::TfrmAltChar(QWidget* parent)
    : TChildForm(parent)
{
    setObjectName(QStringLiteral("frmAltChar"));
    setWindowTitle(QStringLiteral("Accented characters"));
    setFixedBorder(true);
    rdoLower = new QRadioButton(QStringLiteral("lower case"), this);
    rdoLower->setObjectName(QStringLiteral("rdoLower"));
    rdoLower->setGeometry(16, 22, 105, 17);
    rdoLower->setChecked(true);
    buildMenu();
    frmAltChar = this;
}

TfrmAltChar::~TfrmAltChar()
{
    if (frmAltChar == this)
        frmAltChar = nullptr;
}

void TfrmAltChar::buildMenu()
{
    const StandardMenu menu = buildStandardMenu(this, Caller::AltChar);
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
    connectGuarded(mnuMaps, &QAction::triggered, this, &TfrmAltChar::mnuMapsClick);
    connectGuarded(mnuNotes, &QAction::triggered, this, &TfrmAltChar::mnuNotesClick);
    connectGuarded(mnuAbbrev, &QAction::triggered, this, &TfrmAltChar::mnuAbbrevClick);
    connectGuarded(OpenHelpFile1, &QAction::triggered, this, &TfrmAltChar::OpenHelpFile1Click);
    connectGuarded(mnuManual, &QAction::triggered, this, &TfrmAltChar::mnuManualClick);
    connectGuarded(mnuReconfig, &QAction::triggered, this, &TfrmAltChar::mnuReconfigClick);
    connectGuarded(mnuAbout, &QAction::triggered, this, &TfrmAltChar::mnuAboutClick);
    connectGuarded(mnuVisit, &QAction::triggered, this, &TfrmAltChar::mnuVisitClick);
}

void TfrmAltChar::FormShow()
{
    setOuterGeometry(605, 4, 160, 193);
}

void TfrmAltChar::mnuMapsClick() { goToView(Caller::AltChar, View::Atlas); }
void TfrmAltChar::mnuNotesClick() { goToView(Caller::AltChar, View::Notes); }
void TfrmAltChar::mnuAbbrevClick() { goToView(Caller::AltChar, View::Abbrev); }
void TfrmAltChar::OpenHelpFile1Click() { openHelpPage(Caller::AltChar); }
void TfrmAltChar::mnuManualClick() { showManualInfo(); }
void TfrmAltChar::mnuReconfigClick() { reconfigure(); }
void TfrmAltChar::mnuAboutClick() { showAbout(); }
void TfrmAltChar::mnuVisitClick() { visitMaker(Caller::AltChar); }

} // namespace corvane
