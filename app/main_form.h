#pragma once
// The frame window: the purple tool bar with the headline and four buttons
// (hidden until start-up or the configuration reveals them), the child-window
// area, and four information panels that lie above every child window and
// that other windows fill and show. The menu bar shows the active child's
// menu. Closing the frame ends the program, after storing any change the
// user typed but did not store.

#include <QMainWindow>

#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;
class QTextEdit;
class QToolButton;

namespace Ui {
class MainForm;
}

namespace corvane {

class TChildForm;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    QMdiArea* childArea() const { return m_childArea; }

    // Puts a child form into the child-window area (not shown yet). Child
    // windows have a caption bar but no system menu and no border buttons.
    QMdiSubWindow* addChild(TChildForm* form);

    // Reveals spdOddChar, spdJotpad, spdPrint and spdBackup, in that order.
    void showToolButtons();

    // The picture-open dialog, starting in "C:\"; the chosen file or nullopt.
    std::optional<QString> dlgOpenPictureExecute();

    // Tool bar.
    QFrame* SpeedPanel = nullptr;
    QLabel* lblHeadline = nullptr;
    QToolButton* spdOddChar = nullptr;
    QToolButton* spdJotpad = nullptr;
    QToolButton* spdPrint = nullptr;
    QToolButton* spdBackup = nullptr;

    // Information panels and the controls other windows fill.
    QFrame* pnlAbout = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* lblName = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* btnAboutOK = nullptr;
    QFrame* pnlBackup = nullptr;
    QPushButton* btnBackupOK = nullptr;
    QFrame* pnlPrint = nullptr;
    QLabel* lblWhatPrint = nullptr;
    QLabel* lblHowPrint = nullptr;
    QLabel* lblPath = nullptr;
    QLabel* lblFilename1 = nullptr;
    QPushButton* btnPrintOK = nullptr;
    QFrame* pnlRTF = nullptr;
    QTextEdit* MainRichEdit = nullptr;
    QPushButton* btnRTFClose = nullptr;

    // Handlers.
    void spdOddCharClick();
    void spdJotpadClick();
    void btnAboutOKClick();
    void btnBackupOKClick();
    void btnPrintOKClick();
    void btnRTFCloseClick();

public slots:
    void mnuImportClick(); // "Import from the original program..."

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpControls();
    void setUpToolBar();
    void setUpPanels();
    void connectHandlers();
    void FormShow();
    void centre();
    void fitOuterSize();
    void layOutClientArea();
    void childActivated(QMdiSubWindow* window);
    void showMenuOf(QMdiSubWindow* window);

    const std::unique_ptr<Ui::MainForm> ui;
    QMdiArea* m_childArea = nullptr;
    bool m_shown = false;
    bool m_outerSizeFitted = false;
};

} // namespace corvane
