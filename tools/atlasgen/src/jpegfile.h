#pragma once
// Writes pictures as JPEG files through TurboJPEG (quality 85, 4:2:0).

#include <QImage>
#include <QString>

namespace atlasgen {

enum class JpegMode { Baseline, Progressive };

// Returns an empty string on success, otherwise what went wrong.
QString writeJpeg(const QImage& image, const QString& path, JpegMode mode = JpegMode::Baseline);

} // namespace atlasgen
