#include "maps/atlas.h"

#include "ui_atlas.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "maps/coordinate_readout.h"
#include "maps/map.h"
#include "maps/pins.h"
#include "maps/sheet_tiles.h"
#include "maps/sheets.h"
#include "platform/error_report.h"
#include "platform/fonts.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>

#include <functional>

namespace corvane {

namespace {

const QString kDetail = QStringLiteral("Detail");
const QString kLocate = QStringLiteral("Locate");
const QSize kMapBox(500, 360);

// A double-click on an arrow is one step, not two: the second press of the
// pair is swallowed, so its release clicks nothing.
class SecondClickIgnored : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override
    {
        return event->type() == QEvent::MouseButtonDblClick;
    }
};

// The green pointer: an arrow down and to the right whose tip is the
// bottom-right corner, so it touches the outline's top-left corner.
QPixmap pointerPicture(qreal scale)
{
    QPixmap pixmap(QSize(31, 31) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.addPolygon(QPolygonF {
        { 30.5, 30.5 }, { 30.5, 12 }, { 24, 18.5 }, { 7, 1.5 }, { 1.5, 7 }, { 18.5, 24 }, { 12, 30.5 } });
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0, 64, 0), 1.2));
    p.setBrush(QColor(0, 200, 0));
    p.drawPath(arrow);
    return pixmap;
}

// The sheet's own size, from its pyramid when it has one, else its header.
QSize sheetNativeSize(const QString& windowsPath)
{
    const platform::PyramidInfo info = SheetTiles::instance().info(windowsPath);
    return info.isValid() ? info.native : platform::pictureSize(windowsPath);
}

QIcon twoScaleIcon(const std::function<QPixmap(qreal)>& draw)
{
    QIcon icon;
    icon.addPixmap(draw(1));
    icon.addPixmap(draw(2));
    return icon;
}

} // namespace

TShape::TShape(QWidget* parent)
    : QWidget(parent)
{
}

void TShape::paintEvent(QPaintEvent*)
{
    // A 4-pixel pen centred 2 pixels inside the bounds fills them exactly.
    QPainter p(this);
    p.setPen(QPen(QColor(255, 0, 128), 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
}

TfrmAtlas::TfrmAtlas(QWidget* parent)
    : TMenuForm(Caller::Atlas, parent)
    , ui(std::make_unique<Ui::Atlas>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmAtlas"));
    setFixedBorder(true);
    setUpControls();
    setUpKeyboard();
    connectHandlers();
    frmAtlas = this;
}

TfrmAtlas::~TfrmAtlas()
{
    if (frmAtlas == this)
        frmAtlas = nullptr;
}

QLabel* TfrmAtlas::Label1() const
{
    return ui->Label1;
}
QWidget* TfrmAtlas::pnlCatalog() const
{
    return ui->pnlCatalog;
}
QWidget* TfrmAtlas::RedOutline() const
{
    return ui->RedOutline;
}
QLabel* TfrmAtlas::imgMap() const
{
    return ui->imgMap;
}
QPushButton* TfrmAtlas::btnZoom() const
{
    return ui->btnZoom;
}

void TfrmAtlas::setUpControls()
{
    setFont(platform::designFont(QStringLiteral("MS Sans Serif"), 11, true));
    QPalette blue = palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    blue.setColor(QPalette::WindowText, Qt::white);
    setPalette(blue);
    setAutoFillBackground(true);

    QPalette silver = ui->pnlCatalog->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    silver.setColor(QPalette::WindowText, Qt::black);
    ui->pnlCatalog->setPalette(silver);
    ui->pnlCatalog->setAutoFillBackground(true);
    ui->lblCatalog->setFont(platform::designFont(QStringLiteral("MS Sans Serif"), 11));
    QPalette closeButton = ui->btnClose->palette();
    closeButton.setColor(QPalette::ButtonText, Qt::white);
    closeButton.setColor(QPalette::Button, QColor(0, 0, 128));
    ui->btnClose->setPalette(closeButton);

    const std::pair<QToolButton*, int> arrows[]
        = { { ui->imgNorth, 0 }, { ui->imgEast, 90 }, { ui->imgSouth, 180 }, { ui->imgWest, 270 } };
    auto* oneStep = new SecondClickIgnored(this);
    for (const auto& [arrow, degrees] : arrows) {
        arrow->setIcon(arrowIcon(degrees));
        arrow->hide();
        arrow->installEventFilter(oneStep);
    }
    ui->imgPointer->setIcon(twoScaleIcon(pointerPicture));
    // Pictures, not buttons: no frame, and no focus mark over the map; the
    // arrow keys reach them wherever the focus is.
    for (QToolButton* picture : { ui->imgNorth, ui->imgEast, ui->imgSouth, ui->imgWest, ui->imgPointer }) {
        picture->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
        picture->setFocusPolicy(Qt::NoFocus);
    }
    ui->imgPointer->hide();
    ui->RedOutline->hide();
    ui->Label1->hide();
    ui->pnlCatalog->hide();
    setUpCatalogGrid();
    m_pins = new TPinLayer(ui->imgMap);
    new TCoordinateReadout(ui->imgMap, ui->lblCoordinates, [this](QPoint onPicture) {
        const std::optional<QPointF> pixel = m_pins->sheetPoint(onPicture);
        return pixel ? std::optional(SheetPixel { m_pins->sheetId(), *pixel }) : std::nullopt;
    });
}

void TfrmAtlas::setUpCatalogGrid()
{
    platform::DbGrid* grid = ui->grdCatalog;
    if (DataModule1)
        grid->setDataSource(DataModule1->dtaMapCat);
    const QFont bold = platform::designFont(QStringLiteral("MS Sans Serif"), 11, true);
    grid->setTitleFont(bold);
    grid->setColumns({ { QStringLiteral("County"), QStringLiteral("SEARCH FOR A TRADITIONAL COUNTY"), 547,
        bold, true, Qt::AlignCenter } });
    grid->setIncrementalSearchField(QStringLiteral("County"));
}

void TfrmAtlas::setUpKeyboard()
{
    // In detail mode the arrow keys do what the visible red arrows do. They
    // are off while the catalogue shows, whose grid moves with them.
    const std::pair<Qt::Key, QToolButton*> keys[] = { { Qt::Key_Up, ui->imgNorth },
        { Qt::Key_Down, ui->imgSouth }, { Qt::Key_Right, ui->imgEast }, { Qt::Key_Left, ui->imgWest } };
    for (const auto& [key, arrow] : keys) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, arrow, [a = arrow] {
            if (!a->isHidden())
                a->click();
        });
        m_arrowKeys << shortcut;
    }
    // btnClose is the window's cancel button while the catalogue shows.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (!ui->pnlCatalog->isHidden())
            ui->btnClose->click();
    });
    ui->pnlCatalog->installEventFilter(this);
    ui->grdCatalog->installEventFilter(this); // Enter picks the county, as a click does
}

void TfrmAtlas::connectHandlers()
{
    using platform::connectGuarded;
    connectGuarded(ui->imgNorth, &QToolButton::clicked, this, &TfrmAtlas::imgNorthClick);
    connectGuarded(ui->imgSouth, &QToolButton::clicked, this, &TfrmAtlas::imgSouthClick);
    connectGuarded(ui->imgEast, &QToolButton::clicked, this, &TfrmAtlas::imgEastClick);
    connectGuarded(ui->imgWest, &QToolButton::clicked, this, &TfrmAtlas::imgWestClick);
    connectGuarded(ui->imgPointer, &QToolButton::clicked, this, &TfrmAtlas::imgPointerClick);
    connectGuarded(ui->btnZoom, &QPushButton::clicked, this, &TfrmAtlas::btnZoomClick);
    connectGuarded(ui->btnExpand, &QPushButton::clicked, this, &TfrmAtlas::btnExpandClick);
    connectGuarded(ui->btnClose, &QPushButton::clicked, this, &TfrmAtlas::btnCloseClick);
    connectGuarded(ui->grdCatalog, &platform::DbGrid::cellClick, this, &TfrmAtlas::grdCatalogCellClick);
    connectGuarded(mnuCatalog, &QAction::triggered, this, &TfrmAtlas::mnuCatalogClick);
    connect(m_pins, &TPinLayer::markerClicked, this,
        [this](int placeId) { platform::guarded([&] { imgPinClick(placeId); }); });
}

bool TfrmAtlas::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->grdCatalog && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            platform::guarded([this] { grdCatalogCellClick(); });
            return true;
        }
    }
    if (watched == ui->pnlCatalog
        && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
        for (QShortcut* shortcut : std::as_const(m_arrowKeys))
            shortcut->setEnabled(ui->pnlCatalog->isHidden());
    }
    return TChildForm::eventFilter(watched, event);
}

void TfrmAtlas::FormShow()
{
    if (vFirstAtlasShow) {
        DataModule1->tblMapCat->open();
        DataModule1->tblMapCat->setIndexName(QString());
        DataModule1->tblMaps->open();
        vZoomMode = kDetail;
        vMapCreated = false;
        setZoomOutButton();
        vMapId = QStringLiteral("GB-03H");
        vShownMapId = vMapId;
        ChangeMap();
        vFirstAtlasShow = false;
        // The opening sheet's country aside, the window starts on England.
        vKeyMapId = QStringLiteral("GB-KEY");
        vScaleMapId = QStringLiteral("GB-SCALE");
        vScaleWidth = 342;
        vKeyWidth = 376;
        vCountryName = QStringLiteral("England");
        vOutlineTop = 242;
        vOutlineLeft = 404;
        vLocateMapId = QStringLiteral("LOC-S");
    }
    setOuterGeometry(2, 2, 764, 460);
    vCurrentView = QStringLiteral("Atlas");
    ui->pnlCatalog->hide();
    if (vZoomMode == kLocate) {
        ui->btnZoom->setText(tr("Zoom in"));
        ui->btnZoom->setToolTip(tr("Click to view the detail map indicated by the red outline."));
        hideDetailControls();
    }
    if (vZoomMode == kDetail) {
        setZoomOutButton();
        showDetailControls();
        ui->RedOutline->hide();
        AdjacentMoves();
    }
}

void TfrmAtlas::FormClick()
{
    vCurrentView = QStringLiteral("Atlas");
}

void TfrmAtlas::ChangeMap()
{
    ui->imgPointer->hide();
    showSheetPicture(vShownMapId);
    if (vZoomMode == kDetail) {
        readSheetRecord();
        ui->btnZoom->show();
        setZoomOutButton();
        setWindowTitle(QStringLiteral("   MAP from page ") + vMapPages + QStringLiteral(" : ") + vMapTitle);
        showDetailControls();
        ui->RedOutline->hide();
        ui->imgPointer->hide();
    }
    if (vZoomMode == kLocate) {
        ui->btnZoom->show();
        ui->btnZoom->setText(tr("Zoom In"));
        ui->btnZoom->setToolTip(tr("Click to view the detail map indicated by the red outline."));
        hideDetailControls();
        ui->RedOutline->move(vOutlineLeft, vOutlineTop);
        ui->RedOutline->show();
        ui->imgPointer->move(vPointerLeft, vPointerTop);
        ui->imgPointer->show();
    }
    ui->Label1->setText(vMapId + QStringLiteral(".JPG"));
    decodeNeighboursAhead();
}

QSize TfrmAtlas::pictureBox() const
{
    return (QSizeF(kMapBox) * ui->imgMap->devicePixelRatioF()).toSize();
}

void TfrmAtlas::showSheetPicture(const QString& sheetId)
{
    QString damage;
    QPixmap pixmap = QPixmap::fromImage(sheetPicture(m_pictures, sheetPath(sheetId), pictureBox(), &damage));
    // Decoded for the box in device pixels; shown at the size that fits the
    // box, or at its own size when it is smaller.
    const QSize shown = platform::fitInto(pixmap.size(), kMapBox);
    pixmap.setDevicePixelRatio(qreal(pixmap.width()) / shown.width());
    ui->imgMap->setPixmap(pixmap);
    if (vZoomMode == kDetail)
        m_pins->showSheet(sheetId, shown, sheetNativeSize(sheetPath(sheetId)));
    else
        m_pins->clear();
    if (!damage.isEmpty())
        platform::reportError(damage); // the sheet is in view behind the message
}

void TfrmAtlas::readSheetRecord()
{
    const SheetRecord record = corvane::readSheetRecord(vShownMapId);
    vMapTitle = record.title;
    if (const Country* c = record.country) {
        vKeyMapId = QLatin1String(c->keyMap);
        vScaleMapId = QLatin1String(c->scaleMap);
        vKeyWidth = c->keyWidth;
        vScaleWidth = c->scaleWidth;
    }
}

void TfrmAtlas::setZoomOutButton()
{
    ui->btnZoom->setText(tr("Zoom out"));
    ui->btnZoom->setToolTip(tr("Click to view an overview map locating this area."));
}

void TfrmAtlas::showDetailControls()
{
    ui->lblArrows->show();
    ui->lblExpand->show();
    ui->btnExpand->show();
}

void TfrmAtlas::hideDetailControls()
{
    for (QWidget* w : std::initializer_list<QWidget*> { ui->imgEast, ui->imgWest, ui->imgNorth, ui->imgSouth,
             ui->lblArrows, ui->lblExpand, ui->btnExpand })
        w->hide();
}

void TfrmAtlas::decodeNeighboursAhead()
{
    // Only speed depends on this, so nothing here may fail the sheet change.
    try {
        QStringList ids;
        if (vZoomMode == kDetail) {
            platform::Table* maps = DataModule1->tblMaps;
            for (const char* side : { "East", "West", "North", "South" }) {
                const QString id = maps->fieldAsString(QLatin1String(side));
                if (isSheetId(id))
                    ids << id;
            }
            ids << vLocateMapId;
        } else {
            ids << vMapId;
        }
        QStringList paths;
        for (const QString& id : std::as_const(ids))
            paths << sheetPath(id);
        m_pictures.decodeAhead(SheetTiles::instance().withoutPyramid(paths), pictureBox());
    } catch (const platform::AppError&) {
    }
}

void TfrmAtlas::AdjacentMoves()
{
    showNeighbourArrows(vMapId, { ui->imgNorth, ui->imgSouth, ui->imgEast, ui->imgWest });
}

void TfrmAtlas::showPlacePin(int placeId)
{
    const std::optional<PlacePin> pin = pinOf(placeId);
    if (!pin)
        return;
    if (!sheetInAtlas(pin->sheetId))
        throw platform::AppError(tr("\"%1\" is pinned to the map sheet %2, which this atlas does not have.")
                                     .arg(pin->place, pin->sheetId));
    ui->pnlCatalog->hide();
    m_pins->setFocusPlace(placeId);
    changeDetailSheet(pin->sheetId);
}

void TfrmAtlas::showTown(const QString& name, const QString& sheetId, QPointF pixel)
{
    ui->pnlCatalog->hide();
    changeDetailSheet(sheetId);
    m_pins->showPointMarker(name, sheetId, pixel);
}

void TfrmAtlas::moveToNeighbour(const QString& side)
{
    const QString id = neighbourOf(vMapId, side);
    if (isSheetId(id)) // a key press may ask for a side without a neighbour
        changeDetailSheet(id);
}

void TfrmAtlas::changeDetailSheet(const QString& sheetId)
{
    changeSheet(sheetId, sheetId, kDetail);
}

// Every sheet change of this window, whoever asks for it. The sheet becomes
// the current one only once its picture is shown; when it cannot be
// loaded, the error is reported and the window stays on the sheet and in
// the mode it shows, so that the next attempt tries that sheet again.
void TfrmAtlas::changeSheet(const QString& mapId, const QString& shownId, const QString& mode)
{
    const QString previousMap = vMapId;
    const QString previousShown = vShownMapId;
    const QString previousMode = vZoomMode;
    vMapId = mapId;
    vShownMapId = shownId;
    vZoomMode = mode;
    try {
        ChangeMap();
    } catch (const std::exception&) {
        vMapId = previousMap;
        vShownMapId = previousShown;
        vZoomMode = previousMode;
        throw;
    }
    if (vZoomMode == kDetail)
        AdjacentMoves();
}

void TfrmAtlas::imgNorthClick()
{
    moveToNeighbour(QStringLiteral("North"));
}
void TfrmAtlas::imgSouthClick()
{
    moveToNeighbour(QStringLiteral("South"));
}
void TfrmAtlas::imgEastClick()
{
    moveToNeighbour(QStringLiteral("East"));
}
void TfrmAtlas::imgWestClick()
{
    moveToNeighbour(QStringLiteral("West"));
}

void TfrmAtlas::imgPointerClick()
{
    ui->imgPointer->hide();
}

void TfrmAtlas::btnZoomClick()
{
    if (vZoomMode == kDetail)
        changeSheet(vMapId, vLocateMapId, kLocate);
    else
        changeSheet(vMapId, vMapId, kDetail);
    shell().hidePrintPanel();
}

void TfrmAtlas::btnExpandClick()
{
    ui->RedOutline->hide();
    if (!vMapCreated || !frmMap) {
        if (!frmMap)
            new TfrmMap(shell().frameWindow()); // a tool window over the frame, owned by it
        vMapCreated = true;
    }
    // Opened on a place the user asked to see, it looks closely around it.
    frmMap->setPinFocus(m_pins->focusedPin());
    // The atlas window stays as it is underneath.
    frmMap->show();
    frmMap->raise();
    frmMap->activateWindow();
}

void TfrmAtlas::mnuCatalogClick()
{
    shell().hidePrintPanel();
    ui->pnlCatalog->show();
    ui->grdCatalog->setFocus(); // the row stays where the last pick left it
}

void TfrmAtlas::btnCloseClick()
{
    ui->pnlCatalog->hide();
}

void TfrmAtlas::grdCatalogCellClick()
{
    ui->pnlCatalog->hide();
    changeDetailSheet(DataModule1->tblMapCat->fieldAsString(QStringLiteral("Map")));
}

// The place is made current and its description shown.
void TfrmAtlas::imgPinClick(int placeId)
{
    if (!selectPlace(placeId))
        return;
    m_pins->setFocusPlace(placeId);
    mnuNotesClick();
}

void TfrmAtlas::mnuNotesClick()
{
    ui->pnlCatalog->hide();
    ui->RedOutline->hide();
    TMenuForm::mnuNotesClick();
}

void TfrmAtlas::mnuAbbrevClick()
{
    ui->pnlCatalog->hide();
    ui->RedOutline->hide();
    TMenuForm::mnuAbbrevClick();
}

void TfrmAtlas::mnuManualClick()
{
    ui->pnlCatalog->hide();
    TMenuForm::mnuManualClick();
}

void TfrmAtlas::mnuReconfigClick()
{
    ui->pnlCatalog->hide();
    ui->RedOutline->hide();
    TMenuForm::mnuReconfigClick();
}

} // namespace corvane
