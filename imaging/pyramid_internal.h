#pragma once
// What the tile pyramid's reader and its builder share and nobody else
// includes: the manifest, the level and tile names, and their messages.

#include "imaging/tile_pyramid.h"

#include "platform/errors.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QSize>
#include <QString>

namespace platform::pyramid {

inline const QString kManifest = QStringLiteral("manifest");
inline const QByteArray kMagic = QByteArrayLiteral("corvane3 tile pyramid 1");

[[noreturn]] inline void cannotShow(const QString& windowsPath, const QString& reason)
{
    throw AppError(QStringLiteral("The picture \"%1\" cannot be shown: %2").arg(windowsPath, reason));
}

[[noreturn]] inline void cannotCache(const QString& reason)
{
    throw AppError(QStringLiteral("The tile cache cannot be written: %1").arg(reason));
}

// When a sheet was last written and how long it is.
struct Stamp {
    qint64 modified = 0; // ms since the epoch
    qint64 size = -1;
    bool valid() const { return size >= 0; }
    bool operator==(const Stamp&) const = default;
};

inline Stamp stampOf(const QString& hostPath)
{
    const QFileInfo info(hostPath);
    if (!info.isFile())
        return {};
    return { info.lastModified().toMSecsSinceEpoch(), info.size() };
}

inline QList<QSize> levelSizes(QSize native, int tileSize)
{
    QList<QSize> levels { native };
    while (levels.constLast().width() > tileSize || levels.constLast().height() > tileSize) {
        const QSize s = levels.constLast();
        levels << QSize((s.width() + 1) / 2, (s.height() + 1) / 2);
    }
    return levels;
}

inline QString tileName(int level, int column, int row)
{
    return QStringLiteral("%1/%2_%3.jpg").arg(level).arg(column).arg(row);
}

struct Manifest {
    QString source;
    Stamp stamp;
    PyramidInfo info;
};

QByteArray manifestText(const Manifest& m);

} // namespace platform::pyramid
