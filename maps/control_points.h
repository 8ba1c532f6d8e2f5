#pragma once
// The control-point mode of the full-screen window: the user clicks a spot
// on the sheet, gives its latitude and longitude (typed, or a town of the
// gazetteer) and sees every point with its residual in pixels and metres
// once there are enough for a fit, which GDAL makes again at each change. A
// fit whose mean residual is above the bound shown is marked as poor. The
// points are drawn on the sheet, numbered as in the list, and a point is
// moved by dragging its mark.

#include "data/control_points.h"

#include <QFrame>

#include <memory>
#include <optional>

namespace Ui {
class ControlPoints;
}

namespace corvane {

class TZoomView;
class TControlPointsPanel;

// The marks of the control points over the sheet, drawn where the sheet's
// zoom and scroll put them; it takes no mouse events (the panel reads the
// sheet's, to drag a mark).
class TControlPointMarks : public QWidget {
public:
    TControlPointMarks(TZoomView* sheet, const TControlPointsPanel* panel);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TZoomView* const m_sheet;
    const TControlPointsPanel* const m_panel;
};

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

    // A point as its mark shows it on the sheet (while dragged, where the
    // mouse has it).
    struct Mark {
        QPointF pixel;
        int number = 0; // as in the list, from 1
        bool selected = false;
        bool poor = false; // its residual is above the bound: red, as in the list
    };
    // The marks of the sheet shown; none while the window shows another.
    QList<Mark> marks() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    platform::ControlPoint typedPoint() const;
    void store(const SheetControlPoints& points);
    void refresh();
    void showFit();
    int selectedRow() const;
    int markAt(QPointF onSheet) const;
    bool sheetMousePress(QMouseEvent* event);
    bool sheetMouseMove(QMouseEvent* event);
    bool sheetMouseRelease(QMouseEvent* event);

    const std::unique_ptr<Ui::ControlPoints> ui;
    TZoomView* const m_sheet;
    QString m_sheetId;
    SheetControlPoints m_points;
    std::optional<QPointF> m_spot;
    QPointF m_pressedAt;
    QList<bool> m_poor; // per point, from the last fit
    TControlPointMarks* const m_marks;
    int m_dragged = -1; // the point whose mark is being dragged
    QPointF m_draggedFrom; // its pixel before the drag
    QPointF m_grabbedAt; // the point less the spot the mouse took it at
};

} // namespace corvane
