#pragma once
// The control-point mode of the full-screen window: the user clicks a spot
// on the sheet, gives its latitude and longitude (typed, or a town of the
// gazetteer) and sees every point with its residual in pixels and metres
// once there are enough for a fit, which GDAL makes again at each change. A
// fit whose mean residual is above the bound shown is marked as poor.

#include "data/control_points.h"

#include <QFrame>

#include <memory>
#include <optional>

namespace Ui {
class ControlPoints;
}

namespace corvane {

class TZoomView;

class TControlPointsPanel : public QFrame {
    Q_OBJECT
public:
    TControlPointsPanel(TZoomView* sheet, QWidget* parent);
    ~TControlPointsPanel() override;

    // Shows the user's points of the sheet (none yet: an empty list).
    void startFor(const QString& sheetId);
    QString sheetId() const { return m_sheetId; }
    // A spot of the sheet, in the scan's pixels, as a click gives it.
    void spotClicked(QPointF pixel);

    void btnAddPointClick();
    void btnChangePointClick();
    void btnDeletePointClick();
    void btnDonePointsClick();
    void btnExportPointsClick();
    void btnImportPointsClick();
    void cboTransformChange(int index);
    void cboTownActivated(int index);
    void grdPointsSelectionChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    platform::ControlPoint typedPoint() const;
    void store(const SheetControlPoints& points);
    void refresh();
    void showFit();
    int selectedRow() const;

    const std::unique_ptr<Ui::ControlPoints> ui;
    TZoomView* const m_sheet;
    QString m_sheetId;
    SheetControlPoints m_points;
    std::optional<QPointF> m_spot;
    QPointF m_pressedAt;
};

} // namespace corvane
