#include "maps/coordinate_readout.h"

#include "core/coordinate_actions.h"
#include "data/georeferences.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>

namespace corvane {

QString coordinateText(const SheetPixel& at)
{
    const platform::Georeference* fit = sheetGeoreference(at.sheetId);
    const std::optional<QPointF> ll = fit ? fit->toLonLat(at.pixel) : std::nullopt;
    if (!ll)
        return QObject::tr("No coordinates on this sheet");
    return fit->poor() ? QObject::tr("%1 (poor fit)").arg(shownCoordinates(*ll)) : shownCoordinates(*ll);
}

void addSheetPointActions(QMenu* menu, const SheetPixel& at)
{
    if (const std::optional<QPointF> ll = lonLatOnSheet(at.sheetId, at.pixel))
        addCoordinateActions(menu, *ll);
}

TCoordinateReadout::TCoordinateReadout(QWidget* picture, QLabel* label, Locate locate)
    : QObject(picture)
    , m_picture(picture)
    , m_label(label)
    , m_locate(std::move(locate))
    , m_menu(new QMenu(label))
{
    picture->setMouseTracking(true);
    picture->installEventFilter(this);
    label->setContextMenuPolicy(Qt::CustomContextMenu);
    label->setToolTip(tr("Right-click to switch between decimal degrees and degrees, minutes and seconds"));
    connect(
        label, &QWidget::customContextMenuRequested, this, &TCoordinateReadout::lblCoordinatesContextMenu);
    connect(&CoordinateForm::instance(), &CoordinateForm::coordinateFormChanged, this, [this] {
        if (m_last)
            showAt(*m_last);
    });
    clear();
}

void TCoordinateReadout::showAt(QPoint onPicture)
{
    m_last = onPicture;
    const std::optional<SheetPixel> at = m_locate(onPicture);
    m_label->setText(at ? coordinateText(*at) : QString());
}

void TCoordinateReadout::clear()
{
    m_last.reset();
    m_label->clear();
}

bool TCoordinateReadout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_picture) {
        if (event->type() == QEvent::MouseMove)
            showAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave || event->type() == QEvent::Hide)
            clear();
    }
    return QObject::eventFilter(watched, event);
}

void TCoordinateReadout::lblCoordinatesContextMenu(QPoint at)
{
    m_menu->clear();
    QAction* dms = m_menu->addAction(tr("Degrees, minutes and seconds"));
    dms->setObjectName(QStringLiteral("mnuDegreesMinutesSeconds"));
    dms->setCheckable(true);
    dms->setChecked(showsDms());
    connect(dms, &QAction::toggled, this, [](bool on) { setShowsDms(on); });
    m_menu->popup(m_label->mapToGlobal(at));
}

} // namespace corvane
