#include "imaging/print_cache.h"

#include "imaging/picture_files.h"
#include "imaging/tile_pyramid.h"
#include "platform/paths.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <utime.h>

namespace platform {

namespace {

const QLatin1String kSuffix(".jpg");

// Only what is decoded from pixels is worth keeping; metafiles are drawn.
bool cacheable(const QString& windowsPath)
{
    const QString type = attachableType(windowsPath);
    return type == QLatin1String(".JPG") || type == QLatin1String(".JPEG") || type == QLatin1String(".BMP");
}

// What changes whenever the file is edited, replaced or moved: its path,
// size, modification time (to the nanosecond) and inode. Empty when the
// file cannot be looked at; it is then not cached.
QByteArray identity(const QString& hostPath)
{
    struct stat st { };
    if (::stat(QFile::encodeName(hostPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return hostPath.toUtf8() + '\0' + QByteArray::number(qint64(st.st_size)) + ' '
        + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec))
        + ' ' + QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino));
}

// Best effort: a folder that cannot be written only means no caching.
void writeEntry(const QString& path, const QImage& image, int quality)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(quality);
    if (writer.write(image))
        file.commit();
}

} // namespace

QString defaultPrintCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/corvane3/print");
}

qint64 PrintCache::printCacheBytes()
{
    return configuredTileCacheBytes() / 2;
}

PrintCache::PrintCache()
    : PrintCache(Options())
{
}

PrintCache::PrintCache(const Options& options)
    : m_options(options)
{
}

QString PrintCache::entryPath(const QString& hostPath, QSize box) const
{
    const QByteArray id = identity(hostPath);
    if (id.isEmpty())
        return {};
    const QByteArray key
        = id + '\0' + QByteArray::number(box.width()) + 'x' + QByteArray::number(box.height());
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return m_options.folder + QLatin1Char('/') + QString::fromLatin1(hash.left(32)) + kSuffix;
}

QImage PrintCache::load(const QString& windowsPath, QSize box, QString* warning) const
{
    const auto host = cacheable(windowsPath) ? resolve(windowsPath) : std::nullopt;
    const QString entry = host ? entryPath(*host, box) : QString();
    if (entry.isEmpty())
        return loadPictureFile(windowsPath, box, warning);
    QImage image = decodeCachedJpeg(entry, box, CachedSize::AtMost);
    if (!image.isNull()) {
        ::utime(QFile::encodeName(entry).constData(), nullptr); // its last use, for trim()
        if (warning)
            warning->clear();
        return image;
    }
    QString partly;
    image = loadPictureFile(windowsPath, box, &partly).convertToFormat(QImage::Format_RGB32);
    if (partly.isEmpty())
        writeEntry(entry, image, m_options.quality); // a picture read only in part is not kept
    if (warning)
        *warning = partly;
    return image;
}

void PrintCache::trim() const
{
    QDir folder(m_options.folder);
    const QFileInfoList files = folder.entryInfoList(QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    qint64 total = 0;
    QFileInfoList entries;
    for (const QFileInfo& file : files) {
        if (file.fileName().endsWith(kSuffix)) {
            entries << file;
            total += file.size();
        } else if (file.lastModified().secsTo(QDateTime::currentDateTime()) > 3600) {
            folder.remove(file.fileName()); // left by a run that was killed while writing
        }
    }
    for (const QFileInfo& file : std::as_const(entries)) { // oldest first
        if (total <= m_options.maxBytes)
            break;
        if (folder.remove(file.fileName()))
            total -= file.size();
    }
}

} // namespace platform
