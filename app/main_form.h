#pragma once
// The frame window: the purple tool bar with the headline and four buttons
// (hidden until start-up or the configuration reveals them), the child-window
// area, and four information panels that lie above every child window and
// that other windows fill and show. The menu bar shows the active child's
// menu. Closing the frame ends the program, after storing any change the
// user typed but did not store.

#include "app/commands.h"

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

class OuterPlacement;
class TChildForm;
struct PrintPanels;

class TMainForm : public QMainWindow {
    Q_OBJECT
    // First, so the controls below can be taken from the built form.
    const std::unique_ptr<Ui::MainForm> ui;

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

    // The form's controls, for the windows that fill and show them.
    // Tool bar.
    QFrame* const SpeedPanel;
    QLabel* const lblHeadline;
    QToolButton* const spdOddChar;
    QToolButton* const spdJotpad;
    QToolButton* const spdPrint;
    QToolButton* const spdBackup;

    // Information panels and the controls other windows fill.
    QFrame* const pnlAbout;
    QLabel* const ProgramIcon;
    QLabel* const lblName;
    QLabel* const lblVersion;
    QPushButton* const btnAboutOK;
    QFrame* const pnlBackup;
    QPushButton* const btnBackupOK;
    QFrame* const pnlPrint;
    QLabel* const lblWhatPrint;
    QLabel* const lblHowPrint;
    QLabel* const lblPath;
    QLabel* const lblFilename1;
    QPushButton* const btnPrintOK;
    QFrame* const pnlRTF;
    QTextEdit* const MainRichEdit;
    QPushButton* const btnRTFClose;
    QPushButton* btnRTFSave = nullptr; // made with the export, beside Close
    QPushButton* btnPrintOpen = nullptr;
    QToolButton* btnBackupMore = nullptr; // beside the backup's OK

    // Handlers.
    void spdOddCharClick();
    void spdJotpadClick();
    void btnAboutOKClick();
    void spdPrintClick();
    void spdBackupClick();
    void btnBackupOKClick();
    void btnPrintOKClick();
    void btnPrintOpenClick();
    void btnRTFCloseClick();
    void btnRTFSaveClick();

public slots:
    // The backup panel's "More..." menu: bringing a notebook back, from
    // this program's backup or from the original program's tables.
    void mnuRestoreClick(); // "Restore from backup..."
    void mnuImportClick(); // "Import from the original program..."
    void mnuImportPlacesClick(); // places from CSV, GPX or GeoJSON
    void mnuExportPlacesClick(); // places to GeoJSON, KML or GPX
    void mnuUndoRestoreClick(); // back to the copy the last of them kept

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpControls();
    void setUpToolBar();
    void setUpPanels();
    void connectHandlers();
    void addBackupMenu();
    PrintPanels printPanels() const;
    void FormShow();
    QPoint centredTopLeft() const;
    void layOutClientArea();
    void childActivated(QMdiSubWindow* window);
    void showMenuOf(QMdiSubWindow* window);

    QMdiArea* const m_childArea;
    OuterPlacement* const m_placement;
    FrameShell m_shell;
    bool m_shown = false;
};

} // namespace corvane
