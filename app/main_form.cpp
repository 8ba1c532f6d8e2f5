#include "app/main_form.h"

#include "ui_main_form.h"

#include "aids/altchar.h"
#include "aids/jot.h"
#include "app/find_command.h"
#include "app/import_command.h"
#include "app/place_file_commands.h"
#include "app/toolbar_icons.h"
#include "app/views.h"
#include "core/child_form.h"
#include "core/form_style.h"
#include "core/forms.h"
#include "core/placement.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "output/backup.h"
#include "output/print.h"
#include "output/restore.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/fonts.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolButton>

namespace corvane {

namespace {

constexpr QSize kFirstOuterSize { 782, 561 };
constexpr int kToolBarHeight = 36;

std::unique_ptr<Ui::MainForm> builtForm(QMainWindow* window)
{
    auto form = std::make_unique<Ui::MainForm>();
    form->setupUi(window);
    return form;
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
    , ui(builtForm(this))
    , SpeedPanel(ui->SpeedPanel)
    , lblHeadline(ui->lblHeadline)
    , spdOddChar(ui->spdOddChar)
    , spdJotpad(ui->spdJotpad)
    , spdPrint(ui->spdPrint)
    , spdBackup(ui->spdBackup)
    , pnlAbout(ui->pnlAbout)
    , ProgramIcon(ui->ProgramIcon)
    , lblName(ui->lblName)
    , lblVersion(ui->lblVersion)
    , btnAboutOK(ui->btnAboutOK)
    , pnlBackup(ui->pnlBackup)
    , btnBackupOK(ui->btnBackupOK)
    , pnlPrint(ui->pnlPrint)
    , lblWhatPrint(ui->lblWhatPrint)
    , lblHowPrint(ui->lblHowPrint)
    , lblPath(ui->lblPath)
    , lblFilename1(ui->lblFilename1)
    , btnPrintOK(ui->btnPrintOK)
    , pnlRTF(ui->pnlRTF)
    , MainRichEdit(ui->MainRichEdit)
    , btnRTFClose(ui->btnRTFClose)
    , m_childArea(ui->ChildArea)
    , m_placement(new OuterPlacement(this))
{
    setUpControls();
    connectHandlers();
    installFindCommand(this);
    MainForm = this;
    setShell(&m_shell);
}

TMainForm::~TMainForm()
{
    // The child area outlives this destructor's body and still reports
    // activations while its sub-windows go; nobody must hear them.
    disconnect(m_childArea, nullptr, this, nullptr);
    if (MainForm == this) {
        MainForm = nullptr;
        setShell(nullptr);
    }
}

void TMainForm::setUpControls()
{
    setFont(platform::designFont(QStringLiteral("MS Sans Serif"), 11));
    setWindowIcon(programIcon());
    m_childArea->setBackground(colours::appWorkspace);
    m_childArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_childArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUpToolBar();
    setUpPanels();

    // The menu bar keeps its height while it is empty (splash, configuration),
    // so the child windows do not jump when a window with a menu is activated.
    QAction probe(QStringLiteral("Menu"));
    menuBar()->addAction(&probe);
    menuBar()->setMinimumHeight(menuBar()->sizeHint().height());
    menuBar()->removeAction(&probe);

    // The tool bar and the child-window area follow the frame's size; the
    // panels keep their designed places.
    centralWidget()->installEventFilter(this);
}

void TMainForm::setUpToolBar()
{
    setBackground(SpeedPanel, colours::purple);
    QPalette headline = lblHeadline->palette();
    headline.setColor(QPalette::WindowText, Qt::white);
    lblHeadline->setPalette(headline);
    const QList<std::pair<QToolButton*, QIcon>> buttons { { spdOddChar, oddCharPicture() },
        { spdJotpad, jotpadPicture() }, { spdPrint, printPicture() }, { spdBackup, backupPicture() } };
    for (const auto& [button, picture] : buttons) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(picture);
        button->setIconSize(kToolPictureSize); // centred in 33 px: 2 px from the left edge
        button->hide();
    }
    applyFonts(this, { { "lblHeadline", "Perpetua", 21, true, true } });
}

void TMainForm::setUpPanels()
{
    for (QFrame* panel : { pnlAbout, pnlBackup, pnlPrint, pnlRTF }) {
        makeDoubleBevel(panel, colours::silver);
        panel->hide();
        panel->raise(); // above the child-window area
    }
    ProgramIcon->setPixmap(programIcon().pixmap(32, 32));

    applyFonts(this,
        { { "lblName", "Tahoma", 21 }, { "Label3", "MS Sans Serif", 13, true },
            { "Label5", "MS Sans Serif", 13, true }, { "Label14", "MS Sans Serif", 13, true },
            { "lblWhatPrint", "MS Sans Serif", 13, true }, { "Label11", "MS Sans Serif", 13, false, true },
            { "lblFile", "MS Sans Serif", 13, false, true } });
    // The substitute for MS Sans Serif runs wider than the design's font;
    // condensed a little, this text keeps to its two lines above the box.
    QFont intro = ui->Label10->font();
    intro.setStretch(94);
    ui->Label10->setFont(intro);
}

void TMainForm::connectHandlers()
{
    using platform::connectGuarded;
    connectGuarded(spdOddChar, &QToolButton::clicked, this, &TMainForm::spdOddCharClick);
    connectGuarded(spdJotpad, &QToolButton::clicked, this, &TMainForm::spdJotpadClick);
    // A click on a panel's button must not take the focus: hiding the panel
    // would hand it to another child window, which would become active.
    for (QPushButton* button : { btnAboutOK, btnBackupOK, btnPrintOK, btnRTFClose })
        button->setFocusPolicy(Qt::TabFocus);
    connectGuarded(btnAboutOK, &QPushButton::clicked, this, &TMainForm::btnAboutOKClick);
    connectGuarded(btnBackupOK, &QPushButton::clicked, this, &TMainForm::btnBackupOKClick);
    connectGuarded(btnPrintOK, &QPushButton::clicked, this, &TMainForm::btnPrintOKClick);
    connectGuarded(btnRTFClose, &QPushButton::clicked, this, &TMainForm::btnRTFCloseClick);
    connectGuarded(spdPrint, &QToolButton::clicked, this, &TMainForm::spdPrintClick);
    connectGuarded(spdBackup, &QToolButton::clicked, this, &TMainForm::spdBackupClick);
    const ExportButtons exportButtons = addExportButtons(printPanels());
    btnRTFSave = exportButtons.btnRTFSave;
    btnPrintOpen = exportButtons.btnPrintOpen;
    connectGuarded(btnRTFSave, &QPushButton::clicked, this, &TMainForm::btnRTFSaveClick);
    connectGuarded(btnPrintOpen, &QPushButton::clicked, this, &TMainForm::btnPrintOpenClick);
    addBackupMenu();
    connect(m_childArea, &QMdiArea::subWindowActivated, this, &TMainForm::childActivated);
}

// The backup panel is where a user looks for the way back: a restore of
// this program's backup, or the original program's tables (a backup
// diskette of the original is one of their homes).
void TMainForm::addBackupMenu()
{
    btnBackupMore = new QToolButton(pnlBackup);
    btnBackupMore->setObjectName(QStringLiteral("btnBackupMore"));
    btnBackupMore->setText(QStringLiteral("More..."));
    btnBackupMore->setToolTip(QStringLiteral("Restore from a backup, or import from the original program."));
    btnBackupMore->setGeometry(166, 112, 66, 25);
    btnBackupMore->setFocusPolicy(Qt::TabFocus);
    btnBackupMore->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(btnBackupMore);
    const auto item = [this, menu](const char* name, const QString& text, void (TMainForm::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, handler] {
            pnlBackup->hide();
            (this->*handler)();
        });
    };
    item("mnuRestore", QStringLiteral("Restore from backup..."), &TMainForm::mnuRestoreClick);
    item("mnuImport", QStringLiteral("Import from the original program..."), &TMainForm::mnuImportClick);
    item("mnuImportPlaces", QStringLiteral("Import places from CSV, GPX or GeoJSON..."),
        &TMainForm::mnuImportPlacesClick);
    item("mnuExportPlaces", QStringLiteral("Export places to GeoJSON, KML or GPX..."),
        &TMainForm::mnuExportPlacesClick);
    item("mnuUndoRestore", QStringLiteral("Go back to the tables before the last restore or import..."),
        &TMainForm::mnuUndoRestoreClick);
    btnBackupMore->setMenu(menu);
}

QMdiSubWindow* TMainForm::addChild(TChildForm* form)
{
    QMdiSubWindow* sub
        = m_childArea->addSubWindow(form, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    sub->setObjectName(form->objectName() + QStringLiteral("Window"));
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    return sub;
}

void TMainForm::showToolButtons()
{
    for (QToolButton* button : { spdOddChar, spdJotpad, spdPrint, spdBackup })
        button->setVisible(true);
}

std::optional<QString> TMainForm::dlgOpenPictureExecute()
{
    return platform::openPictureDialog(this, QStringLiteral("C:\\"));
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    resetSharedState();
    // The designed size where it fits; on a small screen (or a large scale
    // factor) no more than the desktop leaves free, so no edge is out of reach.
    const QRect area = platform::availableScreenArea();
    const QSize outer = kFirstOuterSize.boundedTo(area.size());
    const QPoint centred = centredTopLeft();
    const QPoint topLeft(
        std::clamp(centred.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
        std::clamp(centred.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    m_placement->place(topLeft, outer);
}

QPoint TMainForm::centredTopLeft() const
{
    const QSize screen = platform::screenSize();
    return { std::max(0, (screen.width() - kFirstOuterSize.width()) / 2),
        std::max(0, (screen.height() - kFirstOuterSize.height()) / 2) };
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        layOutClientArea();
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::layOutClientArea()
{
    const QSize client = centralWidget()->size();
    SpeedPanel->setGeometry(0, 0, client.width(), kToolBarHeight);
    m_childArea->setGeometry(
        0, kToolBarHeight, client.width(), std::max(0, client.height() - kToolBarHeight));
}

void TMainForm::spdOddCharClick()
{
    if (!vAltCharCreated) {
        auto* palette = new TfrmAltChar;
        addChild(palette);
        palette->showChild();
        vAltCharCreated = true;
    }
    frmAltChar->showChild();
    // Focusing a radio button does not select it here, as it did where the
    // palette was designed: select it, so the palette comes in lower case.
    frmAltChar->rdoLower->setFocus(Qt::OtherFocusReason);
    frmAltChar->rdoLower->setChecked(true);
    frmAltChar->moveTo(605, 2);
}

void TMainForm::spdJotpadClick()
{
    if (!vJotCreated) {
        auto* jot = new TfrmJot;
        addChild(jot);
        jot->showChild();
        vJotCreated = true;
    }
    frmJot->showChild();
    frmJot->moveTo(458, 2);
}

void TMainForm::btnAboutOKClick()
{
    pnlAbout->hide();
}

PrintPanels TMainForm::printPanels() const
{
    return { pnlPrint, lblWhatPrint, lblHowPrint, lblPath, lblFilename1, pnlRTF, MainRichEdit };
}

void TMainForm::spdPrintClick()
{
    printAction(printPanels(), notesControlsOf(findChild<QWidget*>(QStringLiteral("frmNotes"))),
        mapFileOf(findChild<QWidget*>(QStringLiteral("frmAtlas"))));
}

void TMainForm::spdBackupClick()
{
    pnlBackup->show();
}

void TMainForm::btnBackupOKClick()
{
    pnlBackup->hide();
    backupToDrive(this);
}

void TMainForm::mnuRestoreClick()
{
    platform::guarded([] { restoreFromBackup(); });
}

void TMainForm::btnPrintOKClick()
{
    pnlPrint->hide();
    // The maps come forward first, so the abbreviations list ends in front.
    if (vCurrentView == QStringLiteral("Abbrev")) {
        showAtlasWindow();
        showAbbrevWindow();
    }
}

void TMainForm::btnPrintOpenClick()
{
    openPrintedFile(printPanels());
}

void TMainForm::btnRTFCloseClick()
{
    closeDescriptionExport(printPanels(), notesControlsOf(findChild<QWidget*>(QStringLiteral("frmNotes"))));
}

void TMainForm::btnRTFSaveClick()
{
    saveDescriptionExport(this, MainRichEdit->document());
}

void TMainForm::mnuUndoRestoreClick()
{
    platform::guarded([] { restoreKeptCopy(); });
}

void TMainForm::mnuImportClick()
{
    runLegacyImport(this);
}

void TMainForm::mnuImportPlacesClick()
{
    runPlaceImport(this);
}

void TMainForm::mnuExportPlacesClick()
{
    runPlaceExport(this);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Ending the program must not lose text the user typed but did not store.
    if (DataModule1) {
        const QStringList refused = DataModule1->postAllPending();
        if (!refused.isEmpty()) {
            platform::messageBox({ QMessageBox::Warning, platform::applicationTitle(),
                tr("Some of your changes could not be stored:\n\n%1").arg(refused.join(QLatin1Char('\n'))),
                QMessageBox::Ok });
        }
    }
    event->accept();
}

void TMainForm::childActivated(QMdiSubWindow* window)
{
    // Activation goes to nothing when the frame loses focus; the menu of the
    // last active child stays.
    if (window)
        showMenuOf(window);
}

void TMainForm::showMenuOf(QMdiSubWindow* window)
{
    const auto* form = qobject_cast<TChildForm*>(window->widget());
    if (form && !form->childMenuBar() && form->keepsFrameMenu())
        return;
    menuBar()->clear();
    if (form && form->childMenuBar())
        menuBar()->addActions(form->childMenuBar()->actions());
}

} // namespace corvane
