#include "aids/abbrev.h"

#include "ui_abbrev.h"

#include "app/commands.h"
#include "app/forms.h"
#include "app/shared.h"
#include "data/datamod1.h"
#include "platform/errors.h"
#include "platform/fonts.h"

#include <QAction>

namespace corvane {

TfrmAbbrev::TfrmAbbrev(QWidget* parent)
    : TChildForm(parent)
    , ui(std::make_unique<Ui::Abbrev>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmAbbrev"));
    setFixedBorder(true);
    setUpGrid();
    buildMenu();
    frmAbbrev = this;
}

TfrmAbbrev::~TfrmAbbrev()
{
    if (frmAbbrev == this)
        frmAbbrev = nullptr;
}

platform::DbGrid* TfrmAbbrev::grdAbbrev() const { return ui->grdAbbrev; }
QLabel* TfrmAbbrev::lblGrid() const { return ui->lblGrid; }

void TfrmAbbrev::setUpGrid()
{
    using platform::designFont;
    platform::DbGrid* grid = ui->grdAbbrev;
    QPalette white = grid->palette();
    white.setColor(QPalette::Base, Qt::white);
    grid->setPalette(white);
    grid->setFont(designFont(QStringLiteral("MS Sans Serif"), 11, true));
    grid->setTitleFont(designFont(QStringLiteral("Verdana"), 11, true));
    if (DataModule1)
        grid->setDataSource(DataModule1->dtaAbbrev);
    const QFont abbrevFont = designFont(QStringLiteral("Bookman Old Style"), 12, true);
    grid->setColumns({
        {QStringLiteral("Abbrev"), QStringLiteral("ABBREVIATION"), 140, abbrevFont, true, Qt::AlignCenter},
        {QStringLiteral("Spelling"), QStringLiteral("FULL SPELLING"), 178, {}, false, Qt::AlignCenter},
        {QStringLiteral("language"), QStringLiteral("LANGUAGE"), 175, {}, false, Qt::AlignCenter},
        {QStringLiteral("Meaning"), QStringLiteral("MEANING"), 202, {}, false, Qt::AlignCenter},
    });
    // The list is long and read beside a map: typing finds a word.
    grid->setIncrementalSearchField(QStringLiteral("Abbrev"));
}

void TfrmAbbrev::buildMenu()
{
    menu = buildStandardMenu(this, Caller::Abbrev);
    setChildMenuBar(menu.bar);
    connectStandardMenu(this, menu, &TfrmAbbrev::OpenHelpFile1Click);
}

// Runs once: the window is created visible and never hidden.
void TfrmAbbrev::FormShow()
{
    setOuterGeometry(2, 2, 764, 460);
    DataModule1->tblAbbrev->open();
}

void TfrmAbbrev::FormClick()
{
    vCurrentView = QStringLiteral("Abbrev");
}

void TfrmAbbrev::mnuMapsClick() { goToView(Caller::Abbrev, View::Atlas); }
void TfrmAbbrev::mnuNotesClick() { goToView(Caller::Abbrev, View::Notes); }
void TfrmAbbrev::OpenHelpFile1Click() { openHelpPage(Caller::Abbrev); }
void TfrmAbbrev::mnuManualClick() { showManualInfo(); }
void TfrmAbbrev::mnuReconfigClick() { reconfigure(); }
void TfrmAbbrev::mnuAboutClick() { showAbout(); }
void TfrmAbbrev::mnuVisitClick() { visitMaker(Caller::Abbrev); }

} // namespace corvane
