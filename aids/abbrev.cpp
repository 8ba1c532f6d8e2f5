#include "aids/abbrev.h"

#include "ui_abbrev.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/errors.h"
#include "platform/fonts.h"

namespace corvane {

TfrmAbbrev::TfrmAbbrev(QWidget* parent)
    : TMenuForm(Caller::Abbrev, parent)
    , ui(std::make_unique<Ui::Abbrev>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmAbbrev"));
    setFixedBorder(true);
    setUpGrid();
    frmAbbrev = this;
}

TfrmAbbrev::~TfrmAbbrev()
{
    if (frmAbbrev == this)
        frmAbbrev = nullptr;
}

platform::DbGrid* TfrmAbbrev::grdAbbrev() const
{
    return ui->grdAbbrev;
}
QLabel* TfrmAbbrev::lblGrid() const
{
    return ui->lblGrid;
}

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
        { QStringLiteral("Abbrev"), QStringLiteral("ABBREVIATION"), 140, abbrevFont, true, Qt::AlignCenter },
        { QStringLiteral("Spelling"), QStringLiteral("FULL SPELLING"), 178, {}, false, Qt::AlignCenter },
        { QStringLiteral("language"), QStringLiteral("LANGUAGE"), 175, {}, false, Qt::AlignCenter },
        { QStringLiteral("Meaning"), QStringLiteral("MEANING"), 202, {}, false, Qt::AlignCenter },
    });
    // The list is long and read beside a map: typing finds a word.
    grid->setIncrementalSearchField(QStringLiteral("Abbrev"));
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

} // namespace corvane
