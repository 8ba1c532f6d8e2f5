#include "app/config.h"

#include "ui_config.h"

#include "app/main_form.h"
#include "app/views.h"
#include "core/form_style.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/error_report.h"

#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTimer>

namespace corvane {

namespace {

const QSize kClientSize { 666, 312 };

} // namespace

TfrmConfig::TfrmConfig(QWidget* parent)
    : TChildForm(parent)
    , ui(std::make_unique<Ui::Config>())
{
    ui->setupUi(this);
    setFixedBorder(true);
    setFixedSize(kClientSize);
    setBackground(this, palette().color(QPalette::Button));
    applyFonts(this,
        { { "mskFloppy", "Microsoft Sans Serif", 16, true }, { "Label4", "MS Sans Serif", 16, true },
            { "btnCheck", "MS Sans Serif", 13, true } });
    // The one letter fills the narrow box; no room for the usual margins.
    ui->mskFloppy->setTextMargins(-2, 0, -2, 0);
    ui->mskFloppy->setAlignment(Qt::AlignCenter);
    ui->mskFloppy->installEventFilter(this);
    platform::connectGuarded(ui->btnCheck, &QPushButton::clicked, this, &TfrmConfig::btnCheckClick);
    frmConfig = this;
}

TfrmConfig::~TfrmConfig()
{
    if (frmConfig == this)
        frmConfig = nullptr;
}

void TfrmConfig::FormShow()
{
    // A fixed single border: the sub-window takes exactly the client size.
    if (QMdiSubWindow* sub = subWindow())
        sub->setFixedSize(kClientSize.grownBy(sub->contentsMargins()));
}

// The entry behaves as a one-letter mask edit: entering or clicking it
// selects its letter, so typing replaces it; once typed, there is no room
// for a second one.
bool TfrmConfig::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui->mskFloppy)
        return TChildForm::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        // After the field's own focus handling, which places the cursor.
        QTimer::singleShot(0, ui->mskFloppy, [edit = ui->mskFloppy] { edit->selectAll(); });
        break;
    case QEvent::MouseButtonRelease:
        ui->mskFloppy->selectAll();
        break;
    case QEvent::KeyPress: {
        // The mask would drop the selected letter before refusing a digit;
        // a refused key must change nothing.
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
        const bool letter = typed.size() == 1 && typed.at(0).unicode() < 0x80 && typed.at(0).isLetter();
        if (printable && !letter)
            return true;
        break;
    }
    default:
        break;
    }
    return TChildForm::eventFilter(watched, event);
}

void TfrmConfig::btnCheckClick()
{
    vFloppy = ui->mskFloppy->text();
    vBackupPath = vFloppy + QStringLiteral(":\\");
    platform::Table* config = DataModule1->tblConfig;
    config->edit();
    config->setFieldValue(QStringLiteral("FirstTime"), QStringLiteral("no"));
    config->setFieldValue(QStringLiteral("Floppy"), vFloppy);
    config->post();
    MainForm->showToolButtons();
    showAtlasWindow();
}

} // namespace corvane
