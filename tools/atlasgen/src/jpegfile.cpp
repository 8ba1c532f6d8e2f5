#include "jpegfile.h"

#include <QSaveFile>

#include <turbojpeg.h>

#include <memory>

namespace atlasgen {

QString writeJpeg(const QImage& source, const QString& path, JpegMode mode)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const std::unique_ptr<void, decltype(&tjDestroy)> tj(tjInitCompress(), &tjDestroy);
    if (!tj)
        return QStringLiteral("cannot start the JPEG encoder");
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int flags = TJFLAG_ACCURATEDCT | (mode == JpegMode::Progressive ? TJFLAG_PROGRESSIVE : 0);
    // Qt keeps RGB32 as 0xffRRGGBB words: B, G, R, X in memory.
    if (tjCompress2(tj.get(), image.constBits(), image.width(), int(image.bytesPerLine()), image.height(),
            TJPF_BGRX, &buffer, &size, TJSAMP_420, 85, flags)
        != 0) {
        const QString why = QString::fromLocal8Bit(tjGetErrorStr2(tj.get()));
        tjFree(buffer);
        return why;
    }
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly)
        && file.write(reinterpret_cast<const char*>(buffer), qint64(size)) == qint64(size) && file.commit();
    tjFree(buffer);
    return ok ? QString() : QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
}

} // namespace atlasgen
