#pragma once
// What the program makes of the metafile helper's answer once the helper has
// run: the picture drawn from its SVG or PPM, and the size it tells. The
// helper is another process, so its answer is input like any file: a helper
// that is damaged, replaced or killed half-way must cost a message, never
// the program. Only picture_files.cpp and the fuzz target include this.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

enum class HelperAnswer {
    EnhancedSvg, // an enhanced metafile drawn as SVG
    WindowsPpm, // a Windows metafile drawn to fit the box, as a PPM picture
    WindowsSize, // a Windows metafile's natural size, "WIDTH HEIGHT"
};

// The picture for the box; throws AppError naming windowsPath when the
// answer holds nothing that can be drawn. Not for WindowsSize.
QImage pictureFromHelper(const QString& windowsPath, HelperAnswer kind, const QByteArray& answer, QSize box);
// The natural size the answer tells; invalid when it tells none. Not for
// WindowsPpm.
QSize sizeFromHelper(HelperAnswer kind, const QByteArray& answer);

} // namespace platform
