#pragma once
// The frame window: tool bar, child-window area and the menu bar that shows
// the active child's menu. Closing it ends the program, after storing any
// change the user typed but did not store.

#include <QMainWindow>

class QMdiArea;
class QMdiSubWindow;
class QFrame;

namespace corvane {

class TChildForm;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    QMdiArea* childArea() const { return m_childArea; }
    QFrame* SpeedPanel = nullptr;

    // Puts a child form into the child-window area and shows it.
    QMdiSubWindow* addChild(TChildForm* form, Qt::WindowFlags flags = {});

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void childActivated(QMdiSubWindow* window);
    void showMenuOf(QMdiSubWindow* window);

    QMdiArea* m_childArea = nullptr;
    bool m_shown = false;
};

} // namespace corvane
