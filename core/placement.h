#pragma once
// Placing a top-level window by its outer geometry, frame included, as the
// windows were designed. Most window systems tell the frame's size only
// once the window is mapped: until then the window is placed as if it had
// no frame, and corrected when the frame becomes known, unless the user
// has resized it meanwhile.

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QSize>

class QWidget;

namespace corvane {

class OuterPlacement : public QObject {
public:
    explicit OuterPlacement(QWidget* window);

    void place(QPoint topLeft, QSize outer);
    // A window the user cannot resize (nor maximise, on window systems
    // that offer that only for windows that can be resized).
    void setFixedSize(bool fixed) { m_fixed = fixed; }
    // The window system's frame, once known (kept while the window is
    // hidden: some window systems forget it then).
    QMargins frame() const { return m_frame; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchForFrame();
    void frameBecameKnown(const QMargins& frame);
    void setInnerSize(QSize size);

    QWidget* const m_window;
    QMargins m_frame;
    QPoint m_topLeft;
    QSize m_outer;
    bool m_fixed = false;
};

} // namespace corvane
