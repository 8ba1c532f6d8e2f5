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
    menu = buildStandardMenu(this, Caller::AltChar);
    setChildMenuBar(menu.bar);
    connectStandardMenu(this, menu, &TfrmAltChar::OpenHelpFile1Click);
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
