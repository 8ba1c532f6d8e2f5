#pragma once
// What the picture decoding's own files share and nobody else includes: the
// decoded picture with its damage mark, the error that carries its reason,
// and the count of decodes ahead that the heavy-decode turns watch.

#include "imaging/pictures.h"

#include "platform/errors.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <exception>

namespace platform::decoding {

// A picture that cannot be shown, with the reason on its own so that a
// caller can say it in its own words ("cannot be shown at full size").
class PictureError : public AppError {
public:
    PictureError(const QString& windowsPath, const QString& why)
        : AppError(QStringLiteral("The picture \"%1\" cannot be shown: %2").arg(windowsPath, why))
        , reason(why)
    {
    }
    QString reason;
};

[[noreturn]] inline void cannotShow(const QString& windowsPath, const QString& reason)
{
    throw PictureError(windowsPath, reason);
}

[[noreturn]] inline void damaged(const QString& windowsPath, const QString& detail)
{
    cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(detail));
}

inline QString damagedWarning(const QString& windowsPath)
{
    return QStringLiteral(
        "The picture \"%1\" is damaged or incomplete: only what could be read of it is shown.")
        .arg(windowsPath);
}

// A decode for later that freed its buffers for the user's own (see
// mustGiveWay()); it is tried again later or forgotten, never reported.
struct GaveWay : std::exception {
    const char* what() const noexcept override { return "gave way to the user's decode"; }
};

struct Decoded {
    QImage image;
    bool damaged = false;
};

// Whether libjpeg's warning means the picture's data is damaged or cut short.
bool isDamageWarning(int code);

// Whether a JPEG's bytes stop before its last scan is complete: no end
// marker after its last scan's start (inside scan data a 0xFF byte is always
// followed by 0x00 or a restart code, so the marker cannot be mistaken).
bool endsBeforeLastScan(const uchar* data, qint64 size);

// A file of several scans that ends before its last one is damaged: its
// coefficient buffer, the whole picture's, may take at most this much.
constexpr qint64 kDamagedFileBytes = qint64(300) << 20;

// What every reader of a JPEG refuses once its header is read: more pixels
// than any scan has, a header that claims more blocks than the file's bytes
// can hold. Throws PictureError.
void checkHeaderAgainstFile(
    const QString& windowsPath, qint64 width, qint64 height, qint64 blocks, bool multiScan, qint64 fileBytes);

// The JPEG in bytes decoded to fit box, RGB32.
Decoded decodeJpeg(const QString& windowsPath, const QByteArray& bytes, QSize box);
// The same of the JPEG file at hostPath, read as decoding goes, never whole;
// refused when it is empty or too large to be a picture.
Decoded decodeJpegFile(const QString& windowsPath, const QString& hostPath, QSize box);

// Decodes ahead queued or underway in every store: pyramid builds wait for them.
void countDecodesAhead(int delta);

} // namespace platform::decoding
