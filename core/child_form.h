#pragma once
// Base of the frame's child windows (views, tools, splash, configuration).
// A child form lives in a QMdiSubWindow of the frame's child-window area;
// geometry given to it is the sub-window's outer geometry in that area, as
// the windows were designed. Its menu bar is shown by the frame while it is
// the active child.

#include <QWidget>

class QMdiSubWindow;
class QMenuBar;

namespace corvane {

class TChildForm : public QWidget {
    Q_OBJECT
public:
    explicit TChildForm(QWidget* parent = nullptr);

    QMdiSubWindow* subWindow() const;

    // A fixed single border: the user cannot resize the window.
    void setFixedBorder(bool fixed) { m_fixedBorder = fixed; }

    // Outer placement of the sub-window in the child-window area.
    void setOuterGeometry(int left, int top, int width, int height);
    void moveTo(int left, int top);
    QRect outerGeometry() const;

    // Make visible, bring in front of the other children and activate, so
    // the frame shows this window's menu bar.
    void showChild();
    void sendToBack();

    // The window's own menu bar (null for windows without one). The frame
    // shows its top-level actions in its own menu bar.
    QMenuBar* childMenuBar() const { return m_menuBar; }

    // A window without a menu of its own that works on the view beneath it
    // (the search): while it is active the frame keeps that view's menu.
    void setKeepsFrameMenu(bool keeps) { m_keepsFrameMenu = keeps; }
    bool keepsFrameMenu() const { return m_keepsFrameMenu; }

protected:
    void setChildMenuBar(QMenuBar* menuBar);

    // Runs each time the window becomes visible (not on activation).
    virtual void FormShow() { }
    // A click on the window's bare background, not on one of its controls.
    virtual void FormClick() { }

    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Child windows live until the program ends; the user cannot close them.
    void closeEvent(QCloseEvent* event) override;

private:
    QMenuBar* m_menuBar = nullptr;
    bool m_fixedBorder = false;
    bool m_keepsFrameMenu = false;
};

} // namespace corvane
