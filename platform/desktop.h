#pragma once
// What the desktop gives the program: the message box, the shell's "open
// this document or address", the picture-open and folder dialogs and the screen size.
// Each goes through a replaceable handler so tests can stand in for the user
// and the desktop; an empty handler means the real Qt implementation.

#include <QMessageBox>
#include <QSize>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

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
QMessageBox::StandardButton messageBox(const MessageBoxRequest& request);

// Hands a Windows-form document path or a web address (stored with
// backslashes, "http:\\host\page.htm") to the desktop. Returns whether the
// desktop accepted it; callers are free to ignore that.
using ShellOpenHandler = std::function<bool(const QUrl&)>;
void setShellOpenHandler(ShellOpenHandler handler);
bool shellOpen(const QString& target);
QUrl shellUrl(const QString& target); // the URL shellOpen hands on; empty if none

// Modal picture-open dialog with a preview, starting in startFolder (a
// Windows path). Returns the chosen file, in Windows form when it lies on a
// drive and as a host path otherwise; nullopt when the user cancels.
using OpenPictureHandler = std::function<std::optional<QString>(QWidget* parent, const QString& startFolder)>;
void setOpenPictureHandler(OpenPictureHandler handler);
std::optional<QString> openPictureDialog(QWidget* parent, const QString& startFolder);

// Modal folder chooser with a prompt, starting in startFolder (a Windows
// path). Returns the chosen folder like openPictureDialog; nullopt when the
// user cancels.
using ChooseFolderHandler
    = std::function<std::optional<QString>(QWidget* parent, const QString& prompt, const QString& startFolder)>;
void setChooseFolderHandler(ChooseFolderHandler handler);
std::optional<QString> chooseFolderDialog(QWidget* parent, const QString& prompt, const QString& startFolder);

using ScreenSizeHandler = std::function<QSize()>;
void setScreenSizeHandler(ScreenSizeHandler handler);
QSize screenSize();

} // namespace platform
