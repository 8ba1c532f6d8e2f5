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
#include <QUrl>

namespace corvane {

using platform::ControlPoint;
using platform::Georeference;
using platform::GeoTransform;

TControlPointsPanel::TControlPointsPanel(TZoomView* sheet, QWidget* parent)
    : QFrame(parent)
    , ui(std::make_unique<Ui::ControlPoints>())
    , m_sheet(sheet)
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
    if (watched == m_sheet && event->type() == QEvent::MouseButtonPress)
        m_pressedAt = static_cast<QMouseEvent*>(event)->position();
    return QFrame::eventFilter(watched, event);
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
    try {
        const Georeference fit = Georeference::fit(m_points.points, m_points.transform);
        for (int row = 0; row < fit.residuals().size(); ++row) {
            const platform::Residual& r = fit.residuals()[row];
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
