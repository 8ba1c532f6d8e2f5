#include "app/splash.h"

#include "ui_splash.h"

#include "app/config.h"
#include "app/main_form.h"
#include "app/toolbar_icons.h"
#include "app/views.h"
#include "core/form_style.h"
#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"

#include <QImageReader>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTimer>

#include <cstdio>

namespace corvane {

namespace {

constexpr int kTickMs = 700;
const QSize kPictureSize { 764, 460 };

} // namespace

TfrmSplash::TfrmSplash(QWidget* parent)
    : TChildForm(parent)
    , ui(std::make_unique<Ui::Splash>())
{
    ui->setupUi(this);
    setBackground(this, colours::purple);
    makeDoubleBevel(ui->pnlTitle, colours::inactiveBorder);
    ui->pnlTitle->hide();
    applyFonts(this,
        { { "Label4", "Palatino Linotype", 24, true }, { "Label11", "Monotype Corsiva", 21, true, true },
            { "Label13", "Palatino Linotype", 19, true }, { "Label12", "Verdana", 11, true, true },
            { "Label1", "Sylfaen", 16, true }, { "Label2", "Trebuchet MS", 13 },
            { "Label5", "Trebuchet MS", 13 }, { "Label9", "Trebuchet MS", 13 },
            { "Label10", "Trebuchet MS", 13, true }, { "Label3", "MS Sans Serif", 11, true } });
    ui->btnBegin->setDefault(true);
    // Enter reaches the window through its focus once the title is shown.
    setFocusPolicy(Qt::StrongFocus);
    loadPicture();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTickMs);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kTickMs);
    connect(Timer1, &QTimer::timeout, this, &TfrmSplash::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TfrmSplash::Timer2Timer);
    platform::connectGuarded(ui->btnBegin, &QPushButton::clicked, this, &TfrmSplash::btnBeginClick);
    frmSplash = this;
}

TfrmSplash::~TfrmSplash()
{
    if (frmSplash == this)
        frmSplash = nullptr;
}

void TfrmSplash::loadPicture()
{
    // Read at its own size; anything but the expected picture gets the
    // drawn stand-in rather than a failed start.
    QImageReader reader(platform::shareDir() + QStringLiteral("/splash.jpg"));
    QImage picture;
    if (reader.size().isValid() && reader.size().width() * qint64(reader.size().height()) <= 16'000'000)
        picture = reader.read();
    ui->imgBigIcon->setPixmap(picture.isNull() ? splashStandIn(kPictureSize) : QPixmap::fromImage(picture));
    // Benchmarks ask to be told when the splash has first been painted.
    if (qEnvironmentVariableIntValue("CORVANE_REPORT_SPLASH_PAINTED") == 1)
        ui->imgBigIcon->installEventFilter(this);
}

bool TfrmSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->imgBigIcon && event->type() == QEvent::Paint && !m_paintReported) {
        m_paintReported = true;
        // Queued, so the line follows the paint itself.
        QTimer::singleShot(0, this, [] {
            std::fputs("corvane3: splash painted\n", stderr);
            std::fflush(stderr);
        });
    }
    return TChildForm::eventFilter(watched, event);
}

void TfrmSplash::FormShow()
{
    setOuterGeometry(2, 2, 764, 480);
    Timer1->start();
}

void TfrmSplash::Timer1Timer()
{
    if (m_tablesFailed)
        return;
    if (!Timer2->isActive()) // restarting would push its tick back for ever
        Timer2->start();
    try {
        for (platform::Table* table : DataModule1->tables())
            table->open();
    } catch (const std::exception& e) {
        // Without its tables the atlas cannot go on; say so once.
        m_tablesFailed = true;
        Timer1->stop();
        Timer2->stop();
        platform::reportError(QString::fromStdString(e.what())
            + tr("\n\nCorvane cannot start without its tables. Please close Corvane."));
    }
}

void TfrmSplash::Timer2Timer()
{
    if (m_tablesFailed)
        return;
    platform::guarded([this] {
        ui->pnlTitle->setVisible(true);
        vGraphicsPath = DataModule1->tblConfig->fieldAsString(QStringLiteral("GraphicsPath"));
    });
}

void TfrmSplash::btnBeginClick()
{
    if (m_released)
        return;
    const QString firstTime = DataModule1->tblConfig->fieldAsString(QStringLiteral("FirstTime"));
    if (firstTime == QLatin1String("yes"))
        showConfigWindow()->moveTo(2, 2);
    else
        openPath();
    release();
}

// The folder looked in, and how to point a drive at the atlas elsewhere.
static QString whereTheMapsWereSought(const QString& mapsFolder)
{
    const auto host = platform::resolve(mapsFolder);
    const bool hasDrive = mapsFolder.size() >= 2 && mapsFolder.at(1) == QLatin1Char(':');
    const QString drive = hasDrive ? mapsFolder.left(2).toUpper() : QStringLiteral("D:");
    return QObject::tr("Looked in %1 (%2). To use the atlas from another folder, add a line such as "
                       "\"%3 = /media/cdrom (read-only)\" to %4.")
        .arg(mapsFolder, host ? *host : QObject::tr("no such drive"), drive,
            platform::DriveTable::configFilePath());
}

// "Open" on a configured installation: the atlas if its pictures can be
// reached, else the request for the CD.
void TfrmSplash::openPath()
{
    platform::Table* config = DataModule1->tblConfig;
    vFloppy = config->fieldAsString(QStringLiteral("Floppy"));
    vGraphicsPath = config->fieldAsString(QStringLiteral("GraphicsPath"));
    vBackupPath = vFloppy + QStringLiteral(":\\");
    if (platform::fileExists(vGraphicsPath + QStringLiteral("Maps\\GB-03H.JPG"))) {
        MainForm->showToolButtons();
        showAtlasWindow();
    } else {
        platform::messageBox({ QMessageBox::Critical, QStringLiteral("Error"),
            QStringLiteral("Please close Corvane, load your Corvane CD, and start again.") + QLatin1Char('\n')
                + whereTheMapsWereSought(vGraphicsPath + QStringLiteral("Maps\\")),
            QMessageBox::Ok });
    }
}

void TfrmSplash::release()
{
    m_released = true;
    Timer1->stop();
    Timer2->stop();
    if (QMdiSubWindow* sub = subWindow())
        sub->deleteLater();
    else
        deleteLater();
}

void TfrmSplash::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && ui->pnlTitle->isVisible() && ui->btnBegin->isEnabled())
        ui->btnBegin->click();
    else
        TChildForm::keyPressEvent(event);
}

} // namespace corvane
