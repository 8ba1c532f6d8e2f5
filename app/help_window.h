#pragma once
// The program's own help pages, shown inside the program when the desktop
// has no browser to open them: a plain reading window whose links lead to
// the other pages.

#include <QString>

class QWidget;

namespace corvane {

// Shows the help page at the Windows path in the help window (one, reused),
// in front. False when the page cannot be found.
bool showHelpWindow(const QString& windowsPath, QWidget* parent);

} // namespace corvane
