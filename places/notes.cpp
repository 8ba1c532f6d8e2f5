// The descriptions window: the list of places, the panels that add, edit
// and delete a place, and the pin menu and hint of the list.
#include "places/notes.h"

#include "ui_notes.h"

#include "places/notes_steps.h"

#include "core/form_style.h"
#include "core/forms.h"
#include "core/paste.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/place_pins.h"
#include "imaging/picture_files.h"
#include "places/photo.h"
#include "places/pix_store.h"
#include "places/place_bin.h"
#include "places/place_coordinates.h"
#include "places/undo_steps.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/fonts.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <set>

namespace corvane {

using namespace notes;

namespace {

const QString kCaption = QStringLiteral("  NOTES and PICTURES : ");
const QString kAddFirst = QStringLiteral(
    "Your list of places is empty. Click \"Add or Edit\" to add a place, then describe it here.");
const QColor kWindowColour(192, 220, 192);
const QColor kButtonColour(0, 0, 128);
constexpr int kHintMs = 10000;

// A paragraph, so the tool tip wraps it.
QString notPinnedHint(const QString& place)
{
    return QStringLiteral("<p>%1</p>")
        .arg(QObject::tr("%1 is not pinned to a map yet. To pin it, show its sheet in the atlas window "
                         "and right-click the spot.")
                 .arg(quotedPlace(place).toHtmlEscaped()));
}

} // namespace

TfrmNotes::TfrmNotes(QWidget* parent)
    : TMenuForm(Caller::Notes, parent)
    , ui(std::make_unique<Ui::Notes>())
    , m_pictures(std::make_unique<platform::AttachedPictureStore>())
    , m_placeMenu(new QMenu(this))
{
    m_placeMenu->setObjectName(QStringLiteral("mnuPlace"));
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmNotes"));
    setFixedBorder(true);
    setUpControls();
    connectHandlers();
    connectPictureHandlers();
    setUpHistory();
    frmNotes = this;
}

TfrmNotes::~TfrmNotes()
{
    if (frmNotes == this)
        frmNotes = nullptr;
}

void TfrmNotes::setUpControls()
{
    setFont(platform::designFont(QStringLiteral("MS Sans Serif"), 11));
    setBackground(this, kWindowColour);
    for (QFrame* panel :
        { ui->pnlSelect, ui->pnlEdit, ui->pnlAddPlace, ui->pnlPictures, ui->pnlIfAdd, ui->pnlAddPix }) {
        setBackground(panel, colours::silver);
        panel->hide();
    }
    new TPlaceCoordinates(ui->lblPlaceCoordinates);
    const QFont boldFont = platform::designFont(QStringLiteral("MS Sans Serif"), 11, true);
    for (QPushButton* button : findChildren<QPushButton*>()) {
        QPalette white = button->palette();
        white.setColor(QPalette::ButtonText, Qt::white);
        white.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 176));
        white.setColor(QPalette::Button, kButtonColour);
        button->setPalette(white);
        button->setFont(boldFont);
    }
    for (QWidget* bold : std::initializer_list<QWidget*> { ui->Label15, ui->Label10, ui->edPlace, ui->rdoEdit,
             ui->lblFile, ui->Label3, ui->Label17, ui->lblPixFile })
        bold->setFont(boldFont);
    applyFonts(this,
        { { "dbtPlacename", "Verdana", 12, true }, { "dbtPlacename2", "Verdana", 12, true },
            { "DBText2", "Verdana", 12, true }, { "dbmemoDescrip", "Arial", 13 },
            { "dbmemoCaption", "Arial", 13 } });

    platform::DataSource* places = DataModule1->dtaDescrip;
    ui->dbtPlacename->bind(places, QStringLiteral("Place"));
    ui->dbtPlacename2->bind(places, QStringLiteral("Place"));
    ui->DBText2->bind(places, QStringLiteral("Place"));
    ui->dbmemoDescrip->bind(places, QStringLiteral("Memo"));
    ui->dbedPlace->bind(places, QStringLiteral("Place"));
    ui->dbmemoCaption->bind(DataModule1->dtaPix, QStringLiteral("Caption"));

    platform::DbGrid* grid = ui->grdPlaces;
    QPalette white = grid->palette();
    white.setColor(QPalette::Base, Qt::white);
    grid->setPalette(white);
    grid->setTitleFont(platform::designFont(QStringLiteral("Verdana"), 11, true));
    grid->setDataSource(places);
    grid->setColumns(
        { { QStringLiteral("Place"), QStringLiteral("PLACE"), 286, {}, false, Qt::AlignCenter } });
    // Connected after the bindings, so it has the last word on read-only.
    connect(descrip(), &platform::Table::currentRecordChanged, this, &TfrmNotes::followEmptyList);
    connect(descrip(), &platform::Table::dataSetChanged, this, &TfrmNotes::followEmptyList);
    followEmptyList();
}

void TfrmNotes::connectHandlers()
{
    using platform::connectGuarded;
    connectGuarded(ui->grdPlaces, &platform::DbGrid::cellClick, this, &TfrmNotes::grdPlacesCellClick);
    connectGuarded(ui->grdPlaces, &platform::DbGrid::cellDoubleClick, this, &TfrmNotes::grdPlacesDblClick);
    ui->grdPlaces->setContextMenuPolicy(Qt::CustomContextMenu);
    ui->grdPlaces->viewport()->installEventFilter(this);
    connect(ui->grdPlaces, &QWidget::customContextMenuRequested, this,
        [this](QPoint at) { platform::guarded([&] { grdPlacesContextMenu(at); }); });
    connectGuarded(ui->btnAddPlace, &QPushButton::clicked, this, &TfrmNotes::btnAddPlaceClick);
    connectGuarded(ui->btnGo, &QPushButton::clicked, this, &TfrmNotes::btnGoClick);
    connectGuarded(ui->btnNoSelect, &QPushButton::clicked, this, &TfrmNotes::btnNoSelectClick);
    connectGuarded(ui->btnDoneEdit, &QPushButton::clicked, this, &TfrmNotes::btnDoneEditClick);
    connectGuarded(ui->btnAddRecord, &QPushButton::clicked, this, &TfrmNotes::btnAddRecordClick);
    connectGuarded(ui->btnExitAddPlace, &QPushButton::clicked, this, &TfrmNotes::btnExitAddPlaceClick);
    const std::pair<QRadioButton*, void (TfrmNotes::*)()> radios[]
        = { { ui->rdoEdit, &TfrmNotes::rdoEditClick }, { ui->rdoDelete, &TfrmNotes::rdoDeleteClick },
              { ui->rdoAdd, &TfrmNotes::rdoAddClick } };
    for (const auto& [radio, handler] : radios) {
        connect(radio, &QRadioButton::toggled, this, [this, handler = handler](bool checked) {
            if (checked)
                (this->*handler)();
        });
    }
    connectMouseDown(ui->dbmemoDescrip, [this] { dbmemoDescripMouseDown(); });
    connectMouseDown(ui->dbedPlace, [this] { dbedPlaceMouseDown(); });
    connectMouseDown(ui->edPlace, [this] { edPlaceMouseDown(); });
    connect(DataModule1, &TDataModule1::currentPlaceChanged, this,
        [this] { setWindowTitle(kCaption + vPlaceName); });
}

// Runs once: the window is created visible and never hidden.
void TfrmNotes::FormShow()
{
    setOuterGeometry(2, 2, 764, 460);
    ui->pnlPictures->hide();
    ui->pnlAddPix->hide();
    ui->pnlAddPlace->hide();
    vPhotoCreated = false;
    showCurrentPlace();
}

void TfrmNotes::FormClick()
{
    vCurrentView = QStringLiteral("Notes");
}

// vPlaceId and vPlaceName from the current record (0 and empty for an
// empty list), and the caption that names the place.
void TfrmNotes::showCurrentPlace()
{
    platform::Table* places = descrip();
    const bool none = !places->active() || places->recNo() < 0;
    vPlaceId = none ? 0 : places->fieldAsInteger(QStringLiteral("Placeid"));
    vPlaceName = none ? QString() : places->fieldAsString(QStringLiteral("Place"));
    setWindowTitle(kCaption + vPlaceName);
}

// With no place there is no record to type into: typing would start one
// without an identifier.
void TfrmNotes::followEmptyList()
{
    const platform::Table* places = descrip();
    const bool none = !places->active() || places->recNo() < 0;
    ui->dbmemoDescrip->setReadOnly(none);
    ui->dbedPlace->setReadOnly(none);
    ui->dbmemoDescrip->setPlaceholderText(none ? kAddFirst : QString());
}

void TfrmNotes::grdPlacesCellClick()
{
    ui->pnlSelect->hide();
    ui->pnlAddPlace->hide();
    ui->pnlEdit->hide();
    hideFramePanels();
    showCurrentPlace();
}

// A pinned place's map comes up with the place marked; of any other place
// the user learns how to pin it, without a box to click away.
void TfrmNotes::grdPlacesDblClick()
{
    ui->pnlSelect->hide();
    ui->pnlAddPlace->hide();
    ui->pnlEdit->hide();
    const std::optional<CurrentPlace> place = currentPlace();
    if (!place)
        return;
    if (currentPin()) {
        shell().showPlaceOnMap(place->placeId);
        return;
    }
    // A tool tip goes at the next mouse release, so it waits for the
    // double-click's own.
    m_pinHint = notPinnedHint(place->place);
}

void TfrmNotes::showPinHint()
{
    platform::DbGrid* grid = ui->grdPlaces;
    const QRect row = grid->visualRect(grid->currentIndex());
    QToolTip::showText(
        grid->viewport()->mapToGlobal(row.bottomLeft()), m_pinHint, grid->viewport(), row, kHintMs);
    m_pinHint.clear();
}

void TfrmNotes::grdPlacesContextMenu(QPoint at)
{
    // The menu is for the row under the pointer: it is selected first, as a
    // click would.
    const QModelIndex row = ui->grdPlaces->indexAt(at);
    if (row.isValid() && row.row() != descrip()->recNo()) {
        descrip()->moveTo(row.row());
        grdPlacesCellClick();
    }
    const std::optional<CurrentPlace> place = currentPlace();
    if (!place)
        return;
    m_placeMenu->clear();
    const bool pinned = currentPin().has_value();
    QAction* show = m_placeMenu->addAction(tr("Show %1 on its map").arg(quotedPlace(place->place)));
    show->setObjectName(QStringLiteral("mnuShowOnMap"));
    show->setEnabled(pinned);
    connect(show, &QAction::triggered, this,
        [id = place->placeId] { platform::guarded([id] { shell().showPlaceOnMap(id); }); });
    QAction* unpin = m_placeMenu->addAction(tr("Unpin %1 from its map").arg(quotedPlace(place->place)));
    unpin->setObjectName(QStringLiteral("mnuUnpinPlace"));
    unpin->setEnabled(pinned);
    connect(unpin, &QAction::triggered, this, [] { platform::guarded(unpinCurrentPlace); });
    if (!pinned)
        m_placeMenu->addAction(tr("To pin it, right-click its spot on the atlas sheet"))->setEnabled(false);
    addPlaceCoordinateActions(m_placeMenu);
    m_placeMenu->popup(ui->grdPlaces->viewport()->mapToGlobal(at));
}

void TfrmNotes::btnAddPlaceClick()
{
    hideFramePanels();
    ui->pnlSelect->show();
    ui->pnlSelect->raise();
}

void TfrmNotes::radioChosen(QRadioButton* chosen)
{
    for (QRadioButton* radio : { ui->rdoEdit, ui->rdoDelete, ui->rdoAdd }) {
        QFont font = radio->font();
        font.setBold(radio == chosen);
        radio->setFont(font);
    }
    // The name of the place the function will act on; Add acts on none.
    ui->dbtPlacename2->setVisible(chosen != ui->rdoAdd);
}

void TfrmNotes::rdoEditClick()
{
    radioChosen(ui->rdoEdit);
}

void TfrmNotes::rdoDeleteClick()
{
    radioChosen(ui->rdoDelete);
}

void TfrmNotes::rdoAddClick()
{
    radioChosen(ui->rdoAdd);
}

void TfrmNotes::btnGoClick()
{
    if (ui->rdoEdit->isChecked()) {
        ui->pnlSelect->hide();
        ui->pnlEdit->show();
        ui->pnlEdit->raise();
        ui->dbedPlace->setFocus(); // the user came to type
    }
    if (ui->rdoDelete->isChecked()) {
        ui->pnlSelect->hide();
        deleteCurrentPlace();
        grdPlacesCellClick();
    }
    if (ui->rdoAdd->isChecked()) {
        ui->pnlSelect->hide();
        ui->pnlAddPlace->show();
        ui->pnlAddPlace->raise();
        ui->edPlace->setFocus();
    }
}

// The place goes to the bin with its picture records, their files and
// its pin, in one transaction; a refusal leaves everything as it was.
// Undo, or "Deleted places...", puts it back.
void TfrmNotes::deleteCurrentPlace()
{
    platform::Table* places = descrip();
    if (places->isEmpty())
        places->deleteRecord(); // the engine's refusal for an empty list
    const int placeId = places->fieldAsInteger(QStringLiteral("Placeid"));
    const QString name = places->fieldAsString(QStringLiteral("Place"));
    closeTypingGroups(); // what was typed into it is undone after its delete
    const int binId = deletePlaceToBin(placeId);
    pushNotebookStep(new DeletePlaceStep(placeId, binId, name));
    shell().showStatus(tr("%1 is in the bin: Undo, or \"Deleted places...\" in the Edit menu, puts it back.")
                           .arg(quotedPlace(name)));
}

void TfrmNotes::btnNoSelectClick()
{
    ui->pnlSelect->hide();
    grdPlacesCellClick();
}

void TfrmNotes::btnDoneEditClick()
{
    ui->pnlEdit->hide();
    grdPlacesCellClick();
}

int TfrmNotes::freePlaceId()
{
    const int count = descrip()->recordCount();
    if (rowsOfPlace(descrip(), count).isEmpty() && rowsOfPlace(pix(), count).isEmpty())
        return count;
    const qint64 highest = std::max(largestPlaceId(descrip()), largestPlaceId(pix()));
    if (highest < INT_MAX)
        return int(highest + 1);
    // Every number up to the largest is taken by a place or a picture
    // record: the first gap.
    const std::vector<int> placeIds = integersOf(descrip(), QStringLiteral("Placeid"));
    const std::vector<int> pictureOwners = integersOf(pix(), QStringLiteral("Placeid"));
    std::set<int> used(placeIds.begin(), placeIds.end());
    used.insert(pictureOwners.begin(), pictureOwners.end());
    int free = 0;
    while (used.count(free))
        ++free;
    return free;
}

void TfrmNotes::btnAddRecordClick()
{
    platform::Table* places = descrip();
    {
        ControlsSuspended quiet(places);
        const int placeId = freePlaceId();
        try {
            places->append();
            places->setFieldValue(QStringLiteral("Placeid"), placeId);
            places->setFieldValue(QStringLiteral("Place"), ui->edPlace->text());
            places->post();
            pushNotebookStep(new AddPlaceStep(placeId, places->fieldAsString(QStringLiteral("Place"))));
        } catch (...) {
            // Undo only the new record: a refused store of the previous
            // one's typed text stays pending for the user.
            if (places->state() == platform::Table::State::Insert)
                places->cancel();
            throw;
        }
    }
    ui->edPlace->clear();
    ui->pnlAddPlace->hide();
    grdPlacesCellClick();
}

void TfrmNotes::btnExitAddPlaceClick()
{
    ui->pnlAddPlace->hide();
    grdPlacesCellClick();
}

void TfrmNotes::dbmemoDescripMouseDown()
{
    completePendingPaste(ui->dbmemoDescrip);
}

void TfrmNotes::dbedPlaceMouseDown()
{
    completePendingPaste(ui->dbedPlace);
}

void TfrmNotes::edPlaceMouseDown()
{
    completePendingPaste(ui->edPlace);
}

void TfrmNotes::dbmemoCaptionMouseDown()
{
    completePendingPaste(ui->dbmemoCaption);
}

} // namespace corvane
