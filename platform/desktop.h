#pragma once
// What the desktop gives the program: the message box, the shell's "open
// this document or address", the picture-open and folder dialogs and the screen size.
// Each goes through a replaceable handler so tests can stand in for the user
// and the desktop; an empty handler means the real Qt implementation.

#include <QMessageBox>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLockFile;
class QWidget;

namespace platform {

struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};
using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;
void setMessageBoxHandler(MessageBoxHandler handler);
// Shows the box, modal, over the open modal dialog if there is one, else
// over the window set by setMessageBoxParent (the frame): never a box of
// its own that outlives the frame. Once the program is asked to end
// (terminationRequested()) no box is shown and an open one is closed; the
// answer is then QMessageBox::NoButton, so no step goes on as if the user
// had said yes.
QMessageBox::StandardButton messageBox(const MessageBoxRequest& request);
// The window message boxes belong to (the frame); tracked, so a window
// that goes is forgotten.
void setMessageBoxParent(QWidget* window);
QWidget* messageBoxParent();

// Hands a Windows-form document path or a web address (stored with
// backslashes, "http:\\host\page.htm") to the desktop. Returns whether the
// desktop opened it: the opener's exit is awaited briefly, since an opener
// that finds no program for the file still starts and then fails; one still
// running after that wait has found its program.
using ShellOpenHandler = std::function<bool(const QUrl&)>;
void setShellOpenHandler(ShellOpenHandler handler);
bool shellOpen(const QString& target);
// The desktop's opener program ("xdg-open" unless set; empty restores it).
void setShellOpenProgram(const QString& program);
QUrl shellUrl(const QString& target); // the URL shellOpen hands on; empty if none

// Modal picture-open dialog with a preview, starting in startFolder (a
// Windows path). Returns the chosen file, in Windows form when it lies on a
// drive and as a host path otherwise; nullopt when the user cancels.
using OpenPictureHandler = std::function<std::optional<QString>(QWidget* parent, const QString& startFolder)>;
void setOpenPictureHandler(OpenPictureHandler handler);
std::optional<QString> openPictureDialog(QWidget* parent, const QString& startFolder);

// Modal save-file dialog suggesting suggestedPath (a host path, or a bare
// name for the user's documents folder), with name filters such as
// "ODF text (*.odt)". Returns the chosen host path; nullopt when cancelled.
using SaveFileHandler = std::function<std::optional<QString>(
    QWidget* parent, const QString& title, const QString& suggestedPath, const QStringList& filters)>;
void setSaveFileHandler(SaveFileHandler handler);
std::optional<QString> saveFileDialog(
    QWidget* parent, const QString& title, const QString& suggestedPath, const QStringList& filters);

// Modal open-file dialog with name filters, starting in the user's
// documents folder. Returns the chosen host path; nullopt when cancelled.
using OpenFileHandler = std::function<std::optional<QString>(
    QWidget* parent, const QString& title, const QStringList& filters)>;
void setOpenFileHandler(OpenFileHandler handler);
std::optional<QString> openFileDialog(QWidget* parent, const QString& title, const QStringList& filters);

// Modal folder chooser with a prompt, starting in startFolder (a Windows
// path). Returns the chosen folder like openPictureDialog; nullopt when the
// user cancels.
using ChooseFolderHandler = std::function<std::optional<QString>(
    QWidget* parent, const QString& prompt, const QString& startFolder)>;
void setChooseFolderHandler(ChooseFolderHandler handler);
std::optional<QString> chooseFolderDialog(QWidget* parent, const QString& prompt, const QString& startFolder);

using ScreenSizeHandler = std::function<QSize()>;
void setScreenSizeHandler(ScreenSizeHandler handler);
QSize screenSize();
// The part of the screen that windows may take (without the desktop's
// panels), in the same device-independent pixels as screenSize(). With only
// a screen-size handler set, the whole of that screen.
using ScreenAreaHandler = std::function<QRect()>;
void setScreenAreaHandler(ScreenAreaHandler handler);
QRect availableScreenArea();

// The program's title for message boxes of its own. It is kept here rather
// than as Qt's application display name, which Qt would append to the title
// of every window and message box.
void setApplicationTitle(const QString& title);
QString applicationTitle();

// One running copy per user: claim() holds a lock in the user's runtime
// folder and listens there; a later copy finds the lock held, asks the
// running one to come to the front (activationRequested) and is told to
// end. A lock left behind by a copy that was killed is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;
    // True when this is the only copy; false when another runs, which has
    // been asked to come to the front.
    bool claim();

signals:
    void activationRequested();

private:
    QString m_folder;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

// Calls `handler` on the UI thread when the process is asked to end
// (SIGTERM at log-out or shutdown, SIGHUP, SIGINT), instead of dying at
// once: the program can then store what the user typed. After the handler
// every open modal dialog and message box is closed and the event loop is
// told to quit. Whatever is open or running, the process ends within
// deadlineMs of the signal: a watchdog thread ends it then (the program's
// writes are all-or-nothing, so ending it there loses nothing stored).
// Installed once; a later call replaces the handler and deadline.
void onTerminationRequest(QObject* context, std::function<void()> handler, int deadlineMs = 400);
// True from the moment the process was asked to end.
bool terminationRequested();
// Tests only: forgets a request that was handled, so the next test's
// message boxes are shown again.
void clearTerminationRequest();
// How the watchdog ends the process (default: _exit(0) at once). Called on
// the watchdog's thread. Tests stand in for it.
using HardExitHandler = std::function<void()>;
void setHardExitHandler(HardExitHandler handler);

} // namespace platform
