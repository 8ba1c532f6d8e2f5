#include "maps/map.h"

#include "ui_map.h"

#include "core/forms.h"
#include "core/placement.h"
#include "core/shared.h"
#include "core/shell.h"
#include "data/datamod1.h"
#include "maps/atlas.h"
#include "maps/control_points.h"
#include "maps/coordinate_readout.h"
#include "maps/sheet_tiles.h"
#include "maps/sheets.h"
#include "maps/zoom_view.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/fonts.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

namespace corvane {

namespace {

// The window and its map box by the screen's width; the key and scale
// widths are multiplied first and divided last.
struct ScreenFit {
    int screenWidth;
    int top;
    int left;
    int width;
    int height;
    int mapWidth;
    int mapHeight;
    int multiply;
    int divide;
};
constexpr ScreenFit kScreens[] = {
    { 640, 0, 34, 612, 450, 600, 432, 3, 5 },
    { 800, 0, 19, 762, 570, 750, 540, 3, 4 },
    { 1024, 0, 6, 1012, 758, 1000, 720, 1, 1 },
    { 1280, 0, 34, 1212, 900, 1200, 864, 6, 5 },
    { 1600, 0, 44, 1512, 1118, 1500, 1080, 3, 2 },
};

// On a screen the table does not name, the map box takes the room the
// window has, below and beside these margins, in the sheets' shape.
constexpr int kSideMargin = 6;
constexpr int kTopMargin = 8;
constexpr QSize kSheetShape(1000, 720);

const ScreenFit* screenFit(int screenWidth)
{
    for (const ScreenFit& fit : kScreens) {
        if (fit.screenWidth == screenWidth)
            return &fit;
    }
    return nullptr;
}

// The label's design font, a pixel smaller at a time while the substitute
// font needs more lines than the label has room for.
void fitTextInto(QLabel* label, int pixelSize)
{
    for (int size = pixelSize; size >= 8; --size) {
        label->setFont(platform::designFont(QStringLiteral("MS Sans Serif"), size));
        if (label->heightForWidth(label->width()) <= label->height())
            return;
    }
}

} // namespace

// A title, and a close button where the window system insists on one: no
// minimise or maximise button under any of them.
TfrmMap::TfrmMap(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::Map>())
    , m_placement(new OuterPlacement(this))
    , m_sheetMenu(new QMenu(this))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmMap"));
    // Fixed in size as well, since some window systems offer maximising to
    // every window that can be resized.
    m_placement->setFixedSize(true);
    setUpControls();
    connectHandlers();
    frmMap = this;
}

TfrmMap::~TfrmMap()
{
    if (frmMap == this)
        frmMap = nullptr;
}

TZoomView* TfrmMap::imgMap() const
{
    return ui->imgMap;
}

TZoomView* TfrmMap::imgKey() const
{
    return ui->imgKey;
}

QWidget* TfrmMap::pnlOptions() const
{
    return ui->pnlOptions;
}

void TfrmMap::setUpControls()
{
    QPalette blue = palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    blue.setColor(QPalette::WindowText, Qt::white);
    setPalette(blue);
    setAutoFillBackground(true);

    QPalette silver = ui->pnlOptions->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    silver.setColor(QPalette::WindowText, Qt::black);
    ui->pnlOptions->setPalette(silver);
    ui->pnlOptions->setAutoFillBackground(true);
    const QFont bold = platform::designFont(QStringLiteral("MS Sans Serif"), 11, true);
    for (QWidget* button : { ui->btnKey, ui->btnScale, ui->btnHelp, ui->btnHide }) {
        button->setFont(bold);
        button->installEventFilter(this);
    }
    fitTextInto(ui->Label1, 11);

    const std::pair<QToolButton*, int> arrows[]
        = { { ui->imgNorth, 0 }, { ui->imgEast, 90 }, { ui->imgSouth, 180 }, { ui->imgWest, 270 } };
    for (const auto& [arrow, degrees] : arrows) {
        arrow->setIcon(arrowIcon(degrees));
        arrow->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
        arrow->setFocusPolicy(Qt::NoFocus); // the arrow keys reach them
    }
    ui->imgKey->setZoomable(false);
    sendKeyBehind();
    setUpCoordinates();
}

// The coordinates under the mouse in the options panel, and the commands of
// a point on the sheet on a right-click.
void TfrmMap::btnControlPointsClick()
{
    m_controlPoints->move(width() - m_controlPoints->width() - 8, 8);
    m_controlPoints->startFor(vFullMapId);
}

void TfrmMap::setUpCoordinates()
{
    const auto locate = [this](QPoint onView) -> std::optional<SheetPixel> {
        const TZoomView* view = ui->imgMap;
        const QPointF pixel = view->toPicture(onView);
        if (!view->hasPicture() || !QRectF(QPointF(), view->nativeSize()).contains(pixel))
            return std::nullopt;
        return SheetPixel { vFullMapId, pixel };
    };
    new TCoordinateReadout(ui->imgMap, ui->lblCoordinates, locate);
    m_controlPoints = new TControlPointsPanel(ui->imgMap, this);
    ui->btnControlPoints->setFont(platform::designFont(QStringLiteral("MS Sans Serif"), 11, true));
    ui->btnControlPoints->installEventFilter(this);
    connect(ui->btnControlPoints, &QPushButton::clicked, this, &TfrmMap::btnControlPointsClick);
    ui->imgMap->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->imgMap, &QWidget::customContextMenuRequested, this, [this, locate](QPoint at) {
        if (const std::optional<SheetPixel> point = locate(at)) {
            m_sheetMenu->clear();
            addSheetPointActions(m_sheetMenu, *point);
            if (!m_sheetMenu->isEmpty())
                m_sheetMenu->popup(ui->imgMap->mapToGlobal(at));
        }
    });
}

void TfrmMap::connectHandlers()
{
    using platform::connectGuarded;
    connectGuarded(ui->imgNorth, &QToolButton::clicked, this, &TfrmMap::imgNorthClick);
    connectGuarded(ui->imgSouth, &QToolButton::clicked, this, &TfrmMap::imgSouthClick);
    connectGuarded(ui->imgEast, &QToolButton::clicked, this, &TfrmMap::imgEastClick);
    connectGuarded(ui->imgWest, &QToolButton::clicked, this, &TfrmMap::imgWestClick);
    connectGuarded(ui->btnKey, &QPushButton::clicked, this, &TfrmMap::btnKeyClick);
    connectGuarded(ui->btnScale, &QPushButton::clicked, this, &TfrmMap::btnScaleClick);
    connectGuarded(ui->btnHelp, &QPushButton::clicked, this, &TfrmMap::btnHelpClick);
    connectGuarded(ui->btnHide, &QPushButton::clicked, this, &TfrmMap::btnHideClick);
    connectGuarded(ui->imgKey, &TZoomView::clicked, this, &TfrmMap::imgKeyClick);
    connectGuarded(ui->imgMap, &TZoomView::clicked, this, &TfrmMap::imgMapClick);
    connectGuarded(ui->imgMap, &TZoomView::doubleClicked, this, &TfrmMap::imgMapDblClick);
    connectGuarded(&m_full, &platform::FullPictureLoader::ready, this, &TfrmMap::fullPictureReady);
    SheetTiles& tiles = SheetTiles::instance();
    connect(&tiles, &SheetTiles::ready, this,
        [this](const QString& path) { platform::guarded([&] { tilesReady(path); }); });
    connect(&tiles, &SheetTiles::failed, this,
        [this](const QString& path) { platform::guarded([&] { tilesFailed(path); }); });
    // Too large to zoom into: the sheet stays as fitted, and the user learns why.
    connect(&m_full, &platform::FullPictureLoader::failed, this, [this](const QString& message) {
        if (isVisible())
            platform::reportError(message);
    });
}

void TfrmMap::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        platform::guarded([this] { FormShow(); });
}

void TfrmMap::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // The full-resolution sheet is large; the next showing decodes it again.
    if (!event->spontaneous()) {
        ui->imgMap->clearLevels();
        m_full.release();
    }
}

void TfrmMap::closeEvent(QCloseEvent* event)
{
    // There is no close button; a window manager's close leads back to the
    // atlas, as the double-click does.
    event->ignore();
    platform::guarded([this] { imgMapDblClick(); });
}

// Some window managers (openbox among them) draw a minimise button for
// any window. Minimised, this window would take the frame along with no
// way back, so a minimise leads back to the atlas, as a close does.
void TfrmMap::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !isVisible())
        return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    QTimer::singleShot(0, this, [this] { platform::guarded([this] { imgMapDblClick(); }); });
}

// This tool window shares the frame's shortcut scope; the frame's menu keys
// (F1, the access letters) belong to the active child window, not to here.
bool TfrmMap::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

// Wherever the focus is in this window: +, - and 0 zoom the map, the arrow
// keys do what the arrows do, Esc returns to the atlas window.
void TfrmMap::keyPressEvent(QKeyEvent* event)
{
    if (ui->imgMap->zoomByKey(event->key()))
        return;
    const std::pair<int, QToolButton*> arrows[] = { { Qt::Key_Up, ui->imgNorth },
        { Qt::Key_Down, ui->imgSouth }, { Qt::Key_Right, ui->imgEast }, { Qt::Key_Left, ui->imgWest } };
    for (const auto& [key, arrow] : arrows) {
        if (event->key() == key) {
            if (!arrow->isHidden())
                arrow->click();
            return;
        }
    }
    if (event->key() == Qt::Key_Escape)
        platform::guarded([this] { imgMapDblClick(); });
    else
        QWidget::keyPressEvent(event);
}

// The panel's buttons would take the arrow keys to move the focus.
bool TfrmMap::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Escape:
            keyPressEvent(key);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMap::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_fillsScreen) // the window system's frame may be known only now
        layOutFilledScreen(size());
}

void TfrmMap::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr)
        platform::guarded([this] { FormClick(); });
}

void TfrmMap::FormShow()
{
    vCurrentView = QStringLiteral("Map");
    sendKeyBehind();
    ui->pnlOptions->show();
    ui->btnKey->show();
    ui->btnScale->show();
    vFullKeyMapId = vKeyMapId;
    vFullScaleMapId = vScaleMapId;
    vFullKeyWidth = vKeyWidth;
    vFullScaleWidth = vScaleWidth;
    applyScreenTable();
    vFullMapId = vMapId;
    showSheetPicture();
    showPinFocus(true);
    setWindowTitle(frmAtlas ? frmAtlas->windowTitle() : QString());
    ui->pnlOptions->show();
    AdjacentMoves();
    ui->imgMap->setFocus(Qt::OtherFocusReason);
}

void TfrmMap::FormClick()
{
    ui->pnlOptions->show();
    ui->pnlOptions->raise(); // over a key or scale picture too
}

// Hidden as well as behind: a sheet smaller than the box would let a
// strip of the key show below it.
void TfrmMap::sendKeyBehind()
{
    ui->imgKey->stackUnder(ui->imgMap);
    ui->imgKey->hide();
}

TfrmMap::Placement TfrmMap::placement() const
{
    const QSize screen = platform::screenSize();
    const ScreenFit* fit = screenFit(screen.width());
    if (!fit) { // any other screen: all the room windows may take on it
        const QRect area = platform::availableScreenArea();
        return { area.topLeft(), area.size() };
    }
    Placement place { QPoint(fit->left, fit->top), QSize(fit->width, fit->height) };
    if (!m_shownBefore) { // centred, at the size just chosen
        place.topLeft = QPoint(std::max(0, (screen.width() - place.outer.width()) / 2),
            std::max(0, (screen.height() - place.outer.height()) / 2));
    }
    return place;
}

void TfrmMap::setVisible(bool visible)
{
    // Placed before the window system first sees the window, so that it
    // puts the frame, not the inside, at the position.
    if (visible && !m_shownBefore && !testAttribute(Qt::WA_WState_Created)) {
        const Placement first = placement();
        m_placement->place(first.topLeft, first.outer);
    }
    QWidget::setVisible(visible);
}

void TfrmMap::applyScreenTable()
{
    const Placement place = placement();
    const ScreenFit* fit = screenFit(platform::screenSize().width());
    m_fillsScreen = !fit;
    m_keyWidth = vFullKeyWidth;
    m_scaleWidth = vFullScaleWidth;
    if (fit) {
        ui->imgMap->setGeometry(0, kTopMargin, fit->mapWidth, fit->mapHeight);
        ui->imgKey->setGeometry(0, kTopMargin, ui->imgKey->width(), kSheetShape.height());
    } else {
        layOutFilledScreen(place.outer.shrunkBy(m_placement->frame()));
    }
    vFullKeyWidth = scaledWidth(m_keyWidth);
    vFullScaleWidth = scaledWidth(m_scaleWidth);
    m_shownBefore = true;
    m_placement->place(place.topLeft, place.outer);
}

// The map box in the sheets' shape, as large as the window allows and
// centred in it; the key and scale lie at its top-left corner.
void TfrmMap::layOutFilledScreen(QSize client)
{
    const QRect room(kSideMargin, kTopMargin, client.width() - 2 * kSideMargin,
        client.height() - kTopMargin - kSideMargin);
    const QSize box = kSheetShape.scaled(room.size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const QPoint topLeft(
        room.left() + (room.width() - box.width()) / 2, room.top() + (room.height() - box.height()) / 2);
    ui->imgMap->setGeometry(QRect(topLeft, box));
    ui->imgKey->setGeometry(topLeft.x(), topLeft.y(), ui->imgKey->width(), box.height());
    if (box.width() == m_filledMapWidth)
        return;
    m_filledMapWidth = box.width();
    vFullKeyWidth = scaledWidth(m_keyWidth); // the frame came to be known: a box a little smaller
    vFullScaleWidth = scaledWidth(m_scaleWidth);
}

// A key or scale width for this screen: by the table's factor, or in
// proportion to the map box (multiplied first, divided last).
int TfrmMap::scaledWidth(int baseWidth) const
{
    if (const ScreenFit* fit = screenFit(platform::screenSize().width()))
        return baseWidth * fit->multiply / fit->divide;
    return baseWidth * m_filledMapWidth / kSheetShape.width();
}

QSize TfrmMap::deviceSize(const QWidget* box) const
{
    return (QSizeF(box->size()) * box->devicePixelRatioF()).toSize();
}

// With the sheet's pyramid: a coarse level at once, then the tiles on
// screen as the workers decode them. Without: the sheet decoded for the box
// while its pyramid is built; only when none can be built is the whole
// sheet decoded for zooming, as far as memory allows.
void TfrmMap::showSheetPicture()
{
    const QString path = sheetPath(vFullMapId);
    const QSize box = deviceSize(ui->imgMap);
    m_full.release(); // the old sheet's full picture goes first
    SheetTiles& tiles = SheetTiles::instance();
    if (const platform::PyramidInfo info = tiles.info(path); info.isValid()) {
        const QImage coarse = tiles.coarse(path);
        if (!coarse.isNull()) {
            ui->imgMap->setPicture(coarse, info.native);
            showTiles(path, info);
            return;
        }
    }
    QString damage;
    const QImage fitted = sheetPicture(m_pictures, path, box, &damage);
    ui->imgMap->setPicture(fitted, platform::pictureSize(path));
    if (!damage.isEmpty() || tiles.hasFailed(path))
        m_full.request(path, box);
    if (!damage.isEmpty())
        platform::reportError(damage);
}

void TfrmMap::showTiles(const QString& path, const platform::PyramidInfo& info)
{
    auto fetcher = std::make_shared<SheetTileFetcher>(SheetTiles::instance().pyramid(), path, info);
    // A pyramid gone bad: the sheet stays as it is, and is decoded whole.
    connect(fetcher.get(), &SheetTileFetcher::lost, this, [this, path] {
        if (isVisible() && path == sheetPath(vFullMapId) && m_full.requested().isEmpty())
            m_full.request(path, deviceSize(ui->imgMap));
    });
    ui->imgMap->setTiles(std::move(fetcher));
}

void TfrmMap::tilesReady(const QString& path)
{
    if (!isVisible() || path != sheetPath(vFullMapId) || ui->imgMap->hasTiles())
        return;
    if (const platform::PyramidInfo info = SheetTiles::instance().info(path); info.isValid()) {
        m_full.release();
        showTiles(path, info);
        decodeNeighboursAhead();
    }
}

void TfrmMap::tilesFailed(const QString& path)
{
    if (isVisible() && path == sheetPath(vFullMapId) && !ui->imgMap->hasTiles()
        && m_full.requested().isEmpty())
        m_full.request(path, deviceSize(ui->imgMap));
}

void TfrmMap::fullPictureReady()
{
    const auto picture = m_full.picture();
    if (!picture || !isVisible() || ui->imgMap->hasTiles())
        return;
    ui->imgMap->setLevels(picture);
    decodeNeighboursAhead();
}

// Only once the sheet in view is sharp, so that it comes first.
void TfrmMap::decodeNeighboursAhead()
{
    QStringList paths;
    for (const QString& id : std::as_const(m_neighbours))
        paths << sheetPath(id);
    m_pictures.decodeAhead(SheetTiles::instance().withoutPyramid(paths), deviceSize(ui->imgMap));
}

void TfrmMap::showKeyPicture(const QString& sheetId, int width)
{
    ui->pnlOptions->hide();
    ui->imgKey->show();
    ui->imgKey->raise();
    ui->imgKey->resize(width, ui->imgKey->height());
    const QString path = sheetPath(sheetId);
    QString damage;
    ui->imgKey->setPicture(
        m_pictures.load(path, deviceSize(ui->imgKey), &damage), platform::pictureSize(path));
    if (!damage.isEmpty())
        platform::reportError(damage);
}

void TfrmMap::setPinFocus(const std::optional<PlacePin>& pin)
{
    m_pinFocus = pin ? std::optional<int>(pin->placeId) : std::nullopt;
}

// The pins on the sheet shown, the one the window was opened for larger;
// on opening, the view goes close around that one.
void TfrmMap::showPinFocus(bool lookAround)
{
    QList<TZoomView::Marker> markers;
    std::optional<QPointF> focus;
    const QSize native = ui->imgMap->nativeSize();
    for (const PlacePin& pin : pinsOnSheet(vFullMapId)) {
        if (!pin.fits(native))
            continue;
        const QPointF point = QPointF(pin.point) + QPointF(0.5, 0.5); // the pixel's centre
        const bool focused = m_pinFocus == pin.placeId;
        markers << TZoomView::Marker { point, pin.place, focused };
        if (focused)
            focus = point;
    }
    ui->imgMap->setMarkers(markers);
    if (lookAround && focus)
        ui->imgMap->showAround(*focus);
}

void TfrmMap::ChangeMap()
{
    readSheetRecord();
    showSheetPicture();
    showPinFocus(false);
    setWindowTitle(QStringLiteral("   MAP from page ") + vMapPages + QStringLiteral(" : ") + vFullMapTitle);
    vMapId = vFullMapId;
    AdjacentMoves();
}

void TfrmMap::readSheetRecord()
{
    const SheetRecord record = corvane::readSheetRecord(vFullMapId);
    vFullMapTitle = record.title;
    if (const Country* c = record.country) {
        vFullKeyMapId = QLatin1String(c->keyMap);
        vFullScaleMapId = QLatin1String(c->scaleMap);
        // At the size the showing chose for this screen, as the key and
        // scale of the first sheet were.
        m_keyWidth = c->keyWidth;
        m_scaleWidth = c->scaleWidth;
        vFullKeyWidth = scaledWidth(m_keyWidth);
        vFullScaleWidth = scaledWidth(m_scaleWidth);
    }
}

void TfrmMap::AdjacentMoves()
{
    m_neighbours = showNeighbourArrows(vFullMapId, { ui->imgNorth, ui->imgSouth, ui->imgEast, ui->imgWest });
    if (ui->imgMap->hasTiles())
        decodeNeighboursAhead();
}

void TfrmMap::moveToNeighbour(const QString& side)
{
    const QString id = neighbourOf(vFullMapId, side);
    if (!isSheetId(id)) // a key press may ask for a side without a neighbour
        return;
    vFullMapId = id;
    ChangeMap();
}

void TfrmMap::imgNorthClick()
{
    moveToNeighbour(QStringLiteral("North"));
}
void TfrmMap::imgSouthClick()
{
    moveToNeighbour(QStringLiteral("South"));
}
void TfrmMap::imgEastClick()
{
    moveToNeighbour(QStringLiteral("East"));
}
void TfrmMap::imgWestClick()
{
    moveToNeighbour(QStringLiteral("West"));
}

void TfrmMap::btnKeyClick()
{
    showKeyPicture(vFullKeyMapId, vFullKeyWidth);
}

void TfrmMap::btnScaleClick()
{
    showKeyPicture(vFullScaleMapId, vFullScaleWidth);
}

void TfrmMap::imgKeyClick()
{
    sendKeyBehind();
    ui->pnlOptions->show();
}

// Beside a key or scale picture too: the panel comes over it.
void TfrmMap::imgMapClick()
{
    ui->pnlOptions->show();
    ui->pnlOptions->raise();
}

void TfrmMap::btnHideClick()
{
    ui->pnlOptions->hide();
}

void TfrmMap::btnHelpClick()
{
    shell().handToShell(vProgramPath
        + (vCountryName == QLatin1String("Ireland") ? QStringLiteral("Help\\IrishKey.HTM")
                                                    : QStringLiteral("Help\\BritKey.HTM")));
}

void TfrmMap::imgMapDblClick()
{
    hide();
    shell().raiseFrame();
    // The user is back on the atlas even when its sheet cannot be shown
    // there, which then stays on the sheet it showed.
    vCurrentView = QStringLiteral("Atlas");
    if (frmAtlas) {
        frmAtlas->showChild();
        frmAtlas->changeDetailSheet(vFullMapId);
    }
}

} // namespace corvane
