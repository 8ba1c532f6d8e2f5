#include "maps/pins.h"

#include "data/georeferences.h"
#include "maps/coordinate_readout.h"

#include "core/forms.h"
#include "data/datamod1.h"
#include "platform/error_report.h"
#include "tables/table.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>

namespace corvane {

namespace {

constexpr int kMarkerSide = 16;
constexpr int kFocusedSide = 28;

// Draws the focused pin; clicks go through to the picture below.
class PointMarker : public QWidget {
public:
    explicit PointMarker(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        resize(kFocusedSide, kFocusedSide);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintPinMarker(p, QRectF(rect()).center(), true);
    }
};

} // namespace

void paintPinMarker(QPainter& p, QPointF centre, bool focused)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (focused) { // a halo that shows on any colour of the map
        p.setPen(QPen(QColor(0, 0, 0, 160), 2));
        p.setBrush(QColor(255, 230, 0, 150));
        p.drawEllipse(centre, 12.5, 12.5);
    }
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(220, 0, 0));
    p.drawEllipse(centre, 5.5, 5.5);
    p.setPen(QPen(QColor(80, 0, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 7, 7);
    p.restore();
}

TPinMarker::TPinMarker(const PlacePin& pin, QWidget* parent)
    : QAbstractButton(parent)
    , m_pin(pin)
{
    setObjectName(QStringLiteral("imgPin%1").arg(pin.placeId));
    setToolTip(pin.place);
    setAccessibleName(tr("Pin of %1").arg(pin.place));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus); // no focus mark over the map
    setContextMenuPolicy(Qt::CustomContextMenu);
    resize(sizeHint());
}

void TPinMarker::setFocused(bool focused)
{
    if (focused == m_focused)
        return;
    const QPoint centre = geometry().center();
    m_focused = focused;
    resize(sizeHint());
    move(centre - rect().center());
    if (focused)
        raise();
    update();
}

QSize TPinMarker::sizeHint() const
{
    const int side = m_focused ? kFocusedSide : kMarkerSide;
    return { side, side };
}

void TPinMarker::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paintPinMarker(p, QRectF(rect()).center(), m_focused);
}

TPinLayer::TPinLayer(QLabel* picture)
    : QObject(picture)
    , m_picture(picture)
    , m_menu(new QMenu(picture))
{
    m_menu->setObjectName(QStringLiteral("mnuPins"));
    m_picture->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_picture, &QWidget::customContextMenuRequested, this,
        [this](QPoint at) { platform::guarded([&] { imgMapContextMenu(at); }); });
    platform::Table* places = DataModule1->tblDescrip;
    connect(places, &platform::Table::dataSetChanged, this, &TPinLayer::refresh);
    connect(places, &platform::Table::currentRecordChanged, this, &TPinLayer::followCurrentPlace);
}

void TPinLayer::showSheet(const QString& sheetId, QSize shown, QSize native)
{
    if (sheetId.compare(m_sheetId, Qt::CaseInsensitive) != 0)
        delete m_pointMarker;
    m_sheetId = sheetId;
    m_shown = shown;
    m_native = native.isValid() && !native.isEmpty() ? native : shown;
    refresh();
}

void TPinLayer::clear()
{
    delete m_pointMarker;
    m_sheetId.clear();
    refresh();
}

void TPinLayer::setFocusPlace(std::optional<int> placeId)
{
    m_focusPlace = placeId;
    for (TPinMarker* marker : markers())
        marker->setFocused(marker->pin().placeId == placeId);
}

std::optional<PlacePin> TPinLayer::focusedPin() const
{
    for (TPinMarker* marker : markers())
        if (marker->focused())
            return marker->pin();
    return std::nullopt;
}

QList<TPinMarker*> TPinLayer::markers() const
{
    QList<TPinMarker*> live;
    for (const QPointer<TPinMarker>& marker : m_markers)
        if (marker)
            live << marker;
    return live;
}

void TPinLayer::showPointMarker(const QString& name, const QString& sheetId, QPointF pixel)
{
    delete m_pointMarker;
    const bool onSheet
        = pixel.x() >= 0 && pixel.y() >= 0 && pixel.x() < m_native.width() && pixel.y() < m_native.height();
    if (sheetId.compare(m_sheetId, Qt::CaseInsensitive) != 0 || m_native.isEmpty() || !onSheet)
        return;
    auto* marker = new PointMarker(m_picture);
    marker->setObjectName(QStringLiteral("imgTownMarker"));
    marker->setAccessibleName(QObject::tr("Marker of %1").arg(name));
    const QPointF at(
        pixel.x() * m_shown.width() / m_native.width(), pixel.y() * m_shown.height() / m_native.height());
    marker->move(at.toPoint() - marker->rect().center());
    marker->show();
    marker->raise();
    m_pointMarker = marker;
}

QPoint TPinLayer::toSheet(QPoint onPicture) const
{
    if (m_shown.isEmpty())
        return {};
    const int x = int(qint64(onPicture.x()) * m_native.width() / m_shown.width());
    const int y = int(qint64(onPicture.y()) * m_native.height() / m_shown.height());
    return { std::clamp(x, 0, m_native.width() - 1), std::clamp(y, 0, m_native.height() - 1) };
}

std::optional<QPointF> TPinLayer::sheetPoint(QPoint onPicture) const
{
    if (m_sheetId.isEmpty() || m_shown.isEmpty() || !QRect(QPoint(), m_shown).contains(onPicture))
        return std::nullopt;
    return QPointF((onPicture.x() + 0.5) * m_native.width() / m_shown.width(),
        (onPicture.y() + 0.5) * m_native.height() / m_shown.height());
}

QPoint TPinLayer::toPicture(QPoint onSheet) const
{
    if (m_native.isEmpty())
        return {};
    // The centre of the sheet pixel, so a pin comes back where it was put.
    return { int((onSheet.x() + 0.5) * m_shown.width() / m_native.width()),
        int((onSheet.y() + 0.5) * m_shown.height() / m_native.height()) };
}

void TPinLayer::refresh()
{
    for (TPinMarker* marker : markers())
        delete marker;
    m_markers.clear();
    if (m_sheetId.isEmpty())
        return;
    for (const PlacePin& pin : pinsOnSheet(m_sheetId))
        addMarker(pin);
}

// Typing into the current place changes only its marker, if any: the rest
// of the list is not read again on every key.
void TPinLayer::followCurrentPlace()
{
    const std::optional<CurrentPlace> current = currentPlace();
    if (m_sheetId.isEmpty() || !current)
        return;
    const std::optional<PlacePin> pin = currentPin();
    const bool here = pin && pin->sheetId.compare(m_sheetId, Qt::CaseInsensitive) == 0;
    for (TPinMarker* marker : markers()) {
        if (marker->pin().placeId == current->placeId) {
            if (here && marker->pin().place == pin->place && marker->pin().point == pin->point)
                return;
            removeMarker(current->placeId);
            break;
        }
    }
    if (here)
        addMarker(*pin);
}

void TPinLayer::addMarker(const PlacePin& pin)
{
    if (!pin.fits(m_native))
        return;
    auto* marker = new TPinMarker(pin, m_picture);
    marker->setFocused(pin.placeId == m_focusPlace);
    marker->move(toPicture(pin.point) - marker->rect().center());
    marker->show();
    connect(marker, &QAbstractButton::clicked, this, [this, id = pin.placeId] { emit markerClicked(id); });
    connect(marker, &QWidget::customContextMenuRequested, this,
        [this, marker](QPoint at) { markerContextMenu(marker, at); });
    m_markers << marker;
}

void TPinLayer::removeMarker(int placeId)
{
    for (TPinMarker* marker : markers()) {
        if (marker->pin().placeId == placeId) {
            m_markers.removeAll(marker);
            delete marker;
        }
    }
}

void TPinLayer::imgMapContextMenu(QPoint at)
{
    if (m_sheetId.isEmpty())
        return;
    m_menu->clear();
    const QPoint point = toSheet(at);
    if (const std::optional<CurrentPlace> place = currentPlace()) {
        QAction* pin = m_menu->addAction(tr("Pin %1 here").arg(quotedPlace(place->place)));
        pin->setObjectName(QStringLiteral("mnuPinHere"));
        connect(pin, &QAction::triggered, this,
            [this, point] { platform::guarded([&] { pinCurrentPlace(m_sheetId, point); }); });
        if (currentPin()) {
            QAction* unpin = m_menu->addAction(tr("Unpin %1").arg(quotedPlace(place->place)));
            unpin->setObjectName(QStringLiteral("mnuUnpin"));
            connect(unpin, &QAction::triggered, this, [] { platform::guarded(unpinCurrentPlace); });
        }
    } else {
        QAction* none = m_menu->addAction(tr("Add a place under Descriptions to pin it here"));
        none->setEnabled(false);
    }
    if (const std::optional<QPointF> onSheet = sheetPoint(at))
        addSheetPointActions(m_menu, { m_sheetId, *onSheet });
    m_menu->popup(m_picture->mapToGlobal(at));
}

void TPinLayer::markerContextMenu(TPinMarker* marker, QPoint at)
{
    m_menu->clear();
    const int placeId = marker->pin().placeId;
    QAction* unpin = m_menu->addAction(tr("Unpin %1").arg(quotedPlace(marker->pin().place)));
    unpin->setObjectName(QStringLiteral("mnuUnpin"));
    // The place becomes current first, so the list shows which one it was.
    connect(unpin, &QAction::triggered, this, [placeId] {
        platform::guarded([placeId] {
            if (selectPlace(placeId))
                unpinCurrentPlace();
        });
    });
    addSheetPointActions(m_menu, { marker->pin().sheetId, pixelCentre(marker->pin().point) });
    m_menu->popup(marker->mapToGlobal(at));
}

} // namespace corvane
