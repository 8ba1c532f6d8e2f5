#pragma once
// The print button: it names the file that holds what the current view shows
// (the map sheet, the picture being shown, the table of abbreviations) in the
// frame's print panel, or, for a description, composes the place's name,
// description and picture list in the frame's rich-text box, from which it
// can be copied or saved for a word processor. Texts come out as typed.

#include <QList>
#include <QString>

#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextDocument;
class QTextEdit;
class QWidget;

namespace platform {
class Table;
}

namespace corvane {

// The four texts of the print panel.
struct PrintInfo {
    QString whatPrint;
    QString howPrint;
    QString path; // Windows form, ending in a backslash
    QString fileName;
};

// The file information for view ("Notes" with shownPicture set, "Abbrev",
// "Atlas"); nullopt for "Notes" without a picture (the description is
// composed instead) and for any other view, where the button does nothing.
std::optional<PrintInfo> printInfoFor(const QString& view, const std::optional<QString>& shownPicture,
    const QString& mapFile, const QString& programPath, const QString& graphicsPath);

// The frame's controls the print button fills.
struct PrintPanels {
    QFrame* pnlPrint = nullptr;
    QLabel* lblWhatPrint = nullptr;
    QLabel* lblHowPrint = nullptr;
    QLabel* lblPath = nullptr;
    QLabel* lblFilename1 = nullptr;
    QFrame* pnlRTF = nullptr;
    QTextEdit* MainRichEdit = nullptr;
};

// The descriptions window's controls the print button looks at, found by
// name; any the window does not have stays null.
struct NotesControls {
    QWidget* pnlPictures = nullptr;
    QWidget* pnlIfAdd = nullptr;
    QLabel* lblFile = nullptr;
    QWidget* dbmemoDescrip = nullptr;
    QWidget* btnAddPlace = nullptr;
};
NotesControls notesControlsOf(QWidget* notesWindow);

// The shown picture's file when the pictures panel shows one (not its
// invitation to add one), else nullopt.
std::optional<QString> shownPictureFile(const NotesControls& notes);

// The current sheet's file as the atlas window holds it (its hidden Label1).
QString mapFileOf(QWidget* atlasWindow);

// Shows the print panel with info; a line under it, which can be copied,
// tells where the folder really is on this computer, and each path label's
// tool tip where the file is.
void showPrintInfo(const PrintPanels& panels, const PrintInfo& info);

// A Windows-form path followed by where it really is on this computer, for
// messages: Linux users cannot look up "A:\".
QString withRealLocation(const QString& windowsPath);

// One picture line of the export.
struct ExportPicture {
    QString fileName; // Filename + Type, e.g. "000003.JPG"
    QString caption;
};

// The place's pictures in the table's stored order, pending caption included.
QList<ExportPicture> picturesOfPlace(platform::Table* pix, int placeId);

// Replaces document's text with the export: name, empty paragraph,
// description, then per picture an empty paragraph, the file line and the
// indented caption, or the no-pictures line. Returns the last piece appended.
QString composeDescriptionExport(QTextDocument* document, const QString& placeName,
    const QString& description, const QList<ExportPicture>& pictures);

// What spdPrint does for the view named by vCurrentView.
void printAction(const PrintPanels& panels, const NotesControls& notes, const QString& mapFile);

// What pnlRTF's "Close" does.
void closeDescriptionExport(const PrintPanels& panels, const NotesControls& notes);

// Asks for a file (default: the place name, the text's first paragraph) and
// writes the composed text as an ODF text document, or as a web page when
// the name ends in .html or .htm. Reports a failure; returns whether a file
// was written.
bool saveDescriptionExport(QWidget* parent, const QTextDocument* document);

// Opens the file the print panel names in the desktop's default program.
void openPrintedFile(const PrintPanels& panels);

// The extra controls of the frame's panels: "Save..." beside "Close" on the
// rich-text panel, and "Report..." beside it for the whole notebook, "Open" beside the file name on the print
// panel, and below that panel's OK a line that showPrintInfo fills with the file's real place. The print
// panel's path and file name also get a tool tip telling where that file really is on this computer, whoever
// filled them.
struct ExportButtons {
    QPushButton* btnRTFSave = nullptr;
    QPushButton* btnRTFReport = nullptr;
    QPushButton* btnPrintOpen = nullptr;
    QLineEdit* edRealPath = nullptr;
};
ExportButtons addExportButtons(const PrintPanels& panels);

} // namespace corvane
