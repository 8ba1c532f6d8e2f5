#pragma once
// The windows were designed with Windows fonts; on Linux each design name
// maps to the nearest installed family (URW, Liberation, DejaVu), so a form
// asks for "Palatino Linotype" and gets a Palatino.

#include <QFont>
#include <QString>

namespace platform {

// Registers the substitutions once; call before the first window is made.
void installFontSubstitutions();

// A font by its design name and pixel size.
QFont designFont(const QString& family, int pixelSize, bool bold = false, bool italic = false);

} // namespace platform
