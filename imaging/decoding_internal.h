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

struct Decoded {
    QImage image;
    bool damaged = false;
};

// The whole file, refused when it is empty or too large to be a picture.
QByteArray readFile(const QString& windowsPath, const QString& hostPath);

// The JPEG in bytes decoded to fit box, RGB32.
Decoded decodeJpeg(const QString& windowsPath, const QByteArray& bytes, QSize box);

// Decodes ahead queued or underway in every store: pyramid builds wait for them.
void countDecodesAhead(int delta);

} // namespace platform::decoding
