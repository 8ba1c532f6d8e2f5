#include "maps/control_points.h"

#include "ui_control_points.h"

#include "core/shared.h"
#include "data/georeferences.h"
#include "geo/coordinates.h"
#include "geo/georef_exchange.h"
#include "maps/sheets.h"
#include "maps/zoom_view.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace corvane {

using platform::ControlPoint;
using platform::Georeference;
using platform::GeoTransform;

namespace {

constexpr qreal kMarkRadius = 7; // screen pixels; a press this near takes the mark

void paintMark(QPainter& p, QPointF centre, const TControlPointsPanel::Mark& mark)
{
    const QColor colour = mark.poor ? QColor(Qt::red) : QColor(0, 70, 200);
    p.setPen(QPen(QColor(255, 255, 255, 220), 4.5)); // a pale ring: seen on any scan, red ones too
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, kMarkRadius, kMarkRadius);
    p.setPen(QPen(mark.selected ? QColor(Qt::black) : colour, mark.selected ? 2.5 : 1.5));
    p.setBrush(mark.selected ? QColor(255, 220, 0, 200) : QColor(255, 255, 255, 110));
    p.drawEllipse(centre, kMarkRadius, kMarkRadius);
    p.setPen(QPen(colour, 1));
    p.drawLine(centre - QPointF(kMarkRadius + 3, 0), centre + QPointF(kMarkRadius + 3, 0));
    p.drawLine(centre - QPointF(0, kMarkRadius + 3), centre + QPointF(0, kMarkRadius + 3));
    // The number on a pale ground beside the mark, so any scan shows it.
    const QString number = QString::number(mark.number);
    QRectF box = p.fontMetrics().boundingRect(number);
    box.moveTopLeft(centre + QPointF(kMarkRadius + 2, -box.height() - 1));
    box.adjust(-2, 0, 2, 0);
    p.fillRect(box, QColor(255, 255, 255, 200));
    p.setPen(mark.poor ? QColor(Qt::red) : QColor(Qt::black));
    p.drawText(box, Qt::AlignCenter, number);
}

} // namespace

TControlPointMarks::TControlPointMarks(TZoomView* sheet, const TControlPointsPanel* panel)
    : QWidget(sheet)
    , m_sheet(sheet)
    , m_panel(panel)
{
    setObjectName(QStringLiteral("imgControlPointMarks"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(sheet->rect());
    hide();
}

void TControlPointMarks::paintEvent(QPaintEvent*)
{
    if (!m_sheet->hasPicture())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QList<TControlPointsPanel::Mark> marks = m_panel->marks();
    for (const TControlPointsPanel::Mark& mark : marks) // the selected one on top
        if (!mark.selected)
            paintMark(p, m_sheet->toView(mark.pixel), mark);
    for (const TControlPointsPanel::Mark& mark : marks)
        if (mark.selected)
            paintMark(p, m_sheet->toView(mark.pixel), mark);
}

TControlPointsPanel::TControlPointsPanel(TZoomView* sheet, QWidget* parent)
    : QFrame(parent)
    , ui(std::make_unique<Ui::ControlPoints>())
    , m_sheet(sheet)
    , m_marks(new TControlPointMarks(sheet, this))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("pnlControlPoints"));
    setAutoFillBackground(true);
    ui->grdPoints->setColumnCount(6);
    ui->grdPoints->setHorizontalHeaderLabels(
        { tr("X"), tr("Y"), tr("Latitude"), tr("Longitude"), tr("Error px"), tr("Error m") });
    ui->grdPoints->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->grdPoints->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->grdPoints->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (GeoTransform t : { GeoTransform::Automatic, GeoTransform::Affine, GeoTransform::Polynomial,
             GeoTransform::ThinPlateSpline })
        ui->cboTransform->addItem(platform::transformName(t));
    platform::connectGuarded(
        ui->btnAddPoint, &QPushButton::clicked, this, &TControlPointsPanel::btnAddPointClick);
    platform::connectGuarded(
        ui->btnChangePoint, &QPushButton::clicked, this, &TControlPointsPanel::btnChangePointClick);
    platform::connectGuarded(
        ui->btnDeletePoint, &QPushButton::clicked, this, &TControlPointsPanel::btnDeletePointClick);
    platform::connectGuarded(
        ui->btnExportPoints, &QPushButton::clicked, this, &TControlPointsPanel::btnExportPointsClick);
    platform::connectGuarded(
        ui->btnImportPoints, &QPushButton::clicked, this, &TControlPointsPanel::btnImportPointsClick);
    platform::connectGuarded(
        ui->btnDonePoints, &QPushButton::clicked, this, &TControlPointsPanel::btnDonePointsClick);
    connect(ui->cboTransform, &QComboBox::activated, this,
        [this](int index) { platform::guarded([&] { cboTransformChange(index); }); });
    connect(ui->cboTown, &QComboBox::activated, this, &TControlPointsPanel::cboTownActivated);
    connect(ui->grdPoints, &QTableWidget::itemSelectionChanged, this,
        &TControlPointsPanel::grdPointsSelectionChange);
    // A click on the sheet (a press and release without a drag) gives a spot.
    sheet->installEventFilter(this);
    connect(sheet, &TZoomView::clicked, this, [this] {
        if (isVisible())
            spotClicked(m_sheet->toPicture(m_pressedAt));
    });
    hide();
}

TControlPointsPanel::~TControlPointsPanel() = default;

bool TControlPointsPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_sheet)
        return QFrame::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return sheetMousePress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return sheetMouseMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return sheetMouseRelease(static_cast<QMouseEvent*>(event));
    case QEvent::Resize:
        m_marks->setGeometry(m_sheet->rect());
        break;
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}

// A press on a mark takes its point, chosen in the list too; any other
// press is the sheet's own (a click gives a spot, a drag pans).
bool TControlPointsPanel::sheetMousePress(QMouseEvent* event)
{
    m_pressedAt = event->position();
    const int mark = event->button() == Qt::LeftButton && isVisible() ? markAt(event->position()) : -1;
    if (mark < 0)
        return false;
    m_dragged = mark;
    m_draggedFrom = m_points.points[mark].pixel;
    m_grabbedAt = m_draggedFrom - m_sheet->toPicture(event->position()); // no jump to the mouse
    ui->grdPoints->selectRow(mark);
    return true;
}

bool TControlPointsPanel::sheetMouseMove(QMouseEvent* event)
{
    if (m_dragged < 0)
        return false;
    const QPointF pixel = m_sheet->toPicture(event->position()) + m_grabbedAt;
    const QSizeF size = m_sheet->nativeSize();
    m_points.points[m_dragged].pixel
        = { std::clamp(pixel.x(), 0.0, size.width()), std::clamp(pixel.y(), 0.0, size.height()) };
    m_marks->update();
    return true;
}

// The point stays where it was dropped, and the fit is made again.
bool TControlPointsPanel::sheetMouseRelease(QMouseEvent* event)
{
    if (m_dragged < 0)
        return false;
    sheetMouseMove(event);
    const int row = std::exchange(m_dragged, -1);
    SheetControlPoints changed = m_points;
    m_points.points[row].pixel = m_draggedFrom; // until stored
    if (changed.points[row].pixel != m_draggedFrom)
        platform::guarded([&] { store(changed); });
    ui->grdPoints->selectRow(row);
    m_marks->update();
    return true;
}

// The point whose mark is under a spot of the sheet, the nearest; -1 for none.
int TControlPointsPanel::markAt(QPointF onSheet) const
{
    int found = -1;
    qreal nearest = kMarkRadius + 2;
    const QList<Mark> shown = marks();
    for (const Mark& mark : shown) {
        const qreal distance = QLineF(m_sheet->toView(mark.pixel), onSheet).length();
        if (distance <= nearest) {
            nearest = distance;
            found = mark.number - 1;
        }
    }
    return found;
}

QList<TControlPointsPanel::Mark> TControlPointsPanel::marks() const
{
    QList<Mark> out;
    if (m_sheetId.compare(vFullMapId, Qt::CaseInsensitive) != 0)
        return out;
    const int selected = selectedRow();
    for (int i = 0; i < m_points.points.size(); ++i)
        out << Mark { m_points.points[i].pixel, i + 1, i == selected, m_poor.value(i) };
    return out;
}

void TControlPointsPanel::showEvent(QShowEvent* event)
{
    m_marks->show();
    m_marks->raise();
    QFrame::showEvent(event);
}

void TControlPointsPanel::hideEvent(QHideEvent* event)
{
    m_marks->hide();
    if (m_dragged >= 0) // a drag cut short leaves its point where it was
        m_points.points[std::exchange(m_dragged, -1)].pixel = m_draggedFrom;
    QFrame::hideEvent(event);
}

void TControlPointsPanel::startFor(const QString& sheetId)
{
    m_sheetId = sheetId;
    m_points = userControlPoints(sheetId);
    m_spot.reset();
    ui->lblPointsTitle->setText(tr("Control points of %1").arg(sheetId));
    ui->lblPixel->setText(tr("Click the sheet where the point lies."));
    ui->cboTown->clear();
    for (const GazetteerTown& town : gazetteer())
        ui->cboTown->addItem(town.name);
    ui->cboTown->model()->sort(0);
    ui->cboTown->setCurrentIndex(-1);
    refresh();
    show();
    raise();
}

void TControlPointsPanel::spotClicked(QPointF pixel)
{
    if (m_sheetId.compare(vFullMapId, Qt::CaseInsensitive) != 0)
        startFor(vFullMapId); // the window moved to another sheet
    m_spot = pixel;
    m_marks->update();
    ui->lblPixel->setText(tr("Spot clicked: %1, %2").arg(pixel.x(), 0, 'f', 1).arg(pixel.y(), 0, 'f', 1));
}

ControlPoint TControlPointsPanel::typedPoint() const
{
    if (!m_spot)
        throw platform::AppError(tr("Click the sheet where the point lies first."));
    return { *m_spot,
        { platform::parseAngle(ui->edLongitude->text(), platform::Axis::Longitude),
            platform::parseAngle(ui->edLatitude->text(), platform::Axis::Latitude) } };
}

void TControlPointsPanel::btnAddPointClick()
{
    SheetControlPoints changed = m_points;
    changed.points << typedPoint();
    store(changed);
}

void TControlPointsPanel::btnChangePointClick()
{
    const int row = selectedRow();
    if (row < 0)
        throw platform::AppError(tr("Choose the point to change in the list first."));
    SheetControlPoints changed = m_points;
    changed.points[row] = typedPoint();
    store(changed);
}

void TControlPointsPanel::btnDeletePointClick()
{
    const int row = selectedRow();
    if (row < 0)
        throw platform::AppError(tr("Choose the point to delete in the list first."));
    SheetControlPoints changed = m_points;
    changed.points.removeAt(row);
    store(changed);
}

namespace {

bool isPointsFile(const QString& path)
{
    return path.endsWith(QStringLiteral(".points"), Qt::CaseInsensitive);
}

} // namespace

// The sheet's georeference as it stands, the user's points or the shipped ones.
void TControlPointsPanel::btnExportPointsClick()
{
    const platform::Georeference* fit = sheetGeoreference(m_sheetId);
    if (!fit)
        throw platform::AppError(tr("%1 has no georeference to export yet.").arg(m_sheetId));
    const std::optional<QString> file
        = platform::saveFileDialog(this, tr("Export control points"), m_sheetId + QStringLiteral(".json"),
            { tr("IIIF georeference annotation (*.json)"), tr("GDAL/QGIS points (*.points)") });
    if (!file)
        return;
    const platform::ExchangedPoints points { fit->points(),
        m_points.points.isEmpty() ? platform::GeoTransform::Automatic : m_points.transform };
    const std::optional<QString> scan = platform::resolve(sheetPath(m_sheetId));
    const QString imageId = scan ? QUrl::fromLocalFile(*scan).toString() : m_sheetId;
    platform::saveDurably(*file,
        isPointsFile(*file) ? platform::pointsFile(points)
                            : platform::georeferenceAnnotation(imageId, m_sheet->nativeSize(), points));
}

void TControlPointsPanel::btnImportPointsClick()
{
    constexpr qint64 kLargest = 16 * 1024 * 1024; // far more points than any sheet needs
    const std::optional<QString> file = platform::openFileDialog(
        this, tr("Import control points"), { tr("Georeferences (*.json *.points)"), tr("All files (*)") });
    if (!file)
        return;
    QFile in(*file);
    if (!in.open(QIODevice::ReadOnly) || in.size() > kLargest)
        throw platform::AppError(tr("%1 cannot be read, or is far too large for control points.")
                                     .arg(QFileInfo(*file).fileName()));
    const QByteArray bytes = in.readAll();
    const platform::ExchangedPoints read
        = isPointsFile(*file) ? platform::readPointsFile(bytes) : platform::readGeoreferenceAnnotation(bytes);
    store({ read.points, read.transform });
}

void TControlPointsPanel::btnDonePointsClick()
{
    hide();
}

void TControlPointsPanel::cboTransformChange(int index)
{
    SheetControlPoints changed = m_points;
    changed.transform = GeoTransform(index);
    store(changed);
}

void TControlPointsPanel::cboTownActivated(int index)
{
    const QString name = ui->cboTown->itemText(index);
    for (const GazetteerTown& town : gazetteer()) {
        if (town.name == name) {
            ui->edLatitude->setText(QString::number(town.lonLat.y(), 'f', 7));
            ui->edLongitude->setText(QString::number(town.lonLat.x(), 'f', 7));
            return;
        }
    }
}

void TControlPointsPanel::grdPointsSelectionChange()
{
    m_marks->update();
    const int row = selectedRow();
    if (row < 0)
        return;
    const ControlPoint& p = m_points.points[row];
    ui->edLatitude->setText(QString::number(p.lonLat.y(), 'f', 7));
    ui->edLongitude->setText(QString::number(p.lonLat.x(), 'f', 7));
    m_spot = p.pixel;
    ui->lblPixel->setText(tr("Point %1 at %2, %3; click the sheet to move it")
                              .arg(row + 1)
                              .arg(p.pixel.x(), 0, 'f', 1)
                              .arg(p.pixel.y(), 0, 'f', 1));
}

// Stored first: the list shows only what the table holds.
void TControlPointsPanel::store(const SheetControlPoints& points)
{
    storeUserControlPoints(m_sheetId, points);
    forgetGeoreference(m_sheetId);
    m_points = points;
    refresh();
}

void TControlPointsPanel::refresh()
{
    ui->cboTransform->setCurrentIndex(int(m_points.transform));
    const QSignalBlocker quiet(ui->grdPoints);
    ui->grdPoints->clearContents();
    ui->grdPoints->setRowCount(int(m_points.points.size()));
    for (int row = 0; row < m_points.points.size(); ++row) {
        const ControlPoint& p = m_points.points[row];
        const QStringList cells { QString::number(p.pixel.x(), 'f', 1), QString::number(p.pixel.y(), 'f', 1),
            QString::number(p.lonLat.y(), 'f', 5), QString::number(p.lonLat.x(), 'f', 5) };
        for (int column = 0; column < cells.size(); ++column)
            ui->grdPoints->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    showFit();
}

// The residuals of the fit the points give, or why they give none.
void TControlPointsPanel::showFit()
{
    QPalette palette = ui->lblFit->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    m_poor.clear();
    m_marks->update();
    try {
        const Georeference fit = Georeference::fit(m_points.points, m_points.transform);
        for (int row = 0; row < fit.residuals().size(); ++row) {
            const platform::Residual& r = fit.residuals()[row];
            m_poor << (r.pixels > platform::kPoorFitPixels);
            ui->grdPoints->setItem(row, 4, new QTableWidgetItem(QString::number(r.pixels, 'f', 2)));
            ui->grdPoints->setItem(row, 5, new QTableWidgetItem(QString::number(r.metres, 'f', 0)));
            if (r.pixels > platform::kPoorFitPixels)
                for (int column = 0; column < 6; ++column)
                    ui->grdPoints->item(row, column)->setForeground(Qt::red);
        }
        const QString mean = QString::number(fit.meanResidualPixels(), 'f', 2);
        const QString bound = QString::number(platform::kPoorFitPixels, 'f', 0);
        if (fit.poor()) {
            palette.setColor(QPalette::WindowText, Qt::red);
            ui->lblFit->setText(
                tr("Poor fit: %1, mean error %2 px, above the bound of %3 px. Check the points "
                   "in red.")
                    .arg(platform::transformName(fit.transform()), mean, bound));
        } else {
            ui->lblFit->setText(tr("%1: mean error %2 px (a fit above %3 px is poor).")
                                    .arg(platform::transformName(fit.transform()), mean, bound));
        }
    } catch (const platform::FitError& e) {
        ui->lblFit->setText(m_points.points.isEmpty() ? tr("No points of your own yet.") : e.message());
    }
    ui->lblFit->setPalette(palette);
}

int TControlPointsPanel::selectedRow() const
{
    const QList<QTableWidgetSelectionRange> ranges = ui->grdPoints->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.constFirst().topRow();
}

} // namespace corvane
