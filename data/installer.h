#pragma once
// First start: creates the installation (vProgramPath) from the template the
// program ships: the six tables, Help, Reports and an empty Pix folder. An
// installation that has its Data folder is never touched.

#include <QString>

namespace corvane {

// Throws AppError with a clear message when the installation cannot be made;
// nothing half-made is left under the real name.
void installIfNeeded();

// The shipped template folder (share/corvane3/template).
QString templateFolder();

} // namespace corvane
