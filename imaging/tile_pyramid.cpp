// Reading tile pyramids and bounding their cache: the manifest that says a
// pyramid is whole and current, tiles decoded and kept in memory, the level
// picture for a box, and trimming the cache to its size in bytes.
#include "imaging/tile_pyramid.h"

#include "imaging/pyramid_internal.h"

#include "imaging/pictures.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>

namespace platform {

using namespace pyramid;

QByteArray pyramid::manifestText(const Manifest& m)
{
    QByteArray text = kMagic + '\n';
    text += "source " + m.source.toUtf8() + '\n';
    text += "bytes " + QByteArray::number(m.stamp.size) + '\n';
    text += "modified " + QByteArray::number(m.stamp.modified) + '\n';
    text += "size " + QByteArray::number(m.info.native.width()) + ' '
        + QByteArray::number(m.info.native.height()) + '\n';
    text += "tile " + QByteArray::number(m.info.tileSize) + '\n';
    text += "levels " + QByteArray::number(m.info.levels.size()) + '\n';
    text += "disk " + QByteArray::number(m.info.bytes) + '\n';
    return text;
}

namespace {

constexpr qint64 kDefaultCacheBytes = qint64(2) << 30;
constexpr qint64 kMaxLevelImageBytes = qint64(256) << 20;

// A manifest is believed only when every line is there and agrees with
// the level sizes its own numbers give.
std::optional<Manifest> readManifest(const QString& folder)
{
    QFile file(folder + QLatin1Char('/') + kManifest);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.constFirst() != kMagic)
        return std::nullopt;
    QHash<QByteArray, QByteArray> values;
    for (const QByteArray& line : lines) {
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0)
            values.insert(line.left(blank), line.mid(blank + 1));
    }
    Manifest m;
    bool ok[7] = {};
    m.source = QString::fromUtf8(values.value("source"));
    m.stamp.size = values.value("bytes").toLongLong(&ok[0]);
    m.stamp.modified = values.value("modified").toLongLong(&ok[1]);
    const QList<QByteArray> size = values.value("size").split(' ');
    if (size.size() != 2)
        return std::nullopt;
    m.info.native = QSize(size[0].toInt(&ok[2]), size[1].toInt(&ok[3]));
    m.info.tileSize = values.value("tile").toInt(&ok[4]);
    const int levels = values.value("levels").toInt(&ok[5]);
    m.info.bytes = values.value("disk").toLongLong(&ok[6]);
    if (std::find(std::begin(ok), std::end(ok), false) != std::end(ok) || m.source.isEmpty()
        || m.info.native.isEmpty() || m.info.tileSize < 16 || m.info.tileSize % 2 != 0)
        return std::nullopt;
    m.info.levels = levelSizes(m.info.native, m.info.tileSize);
    if (m.info.levels.size() != levels)
        return std::nullopt;
    return m;
}

// --- Decoding tiles --------------------------------------------------------------

struct Decompressor {
    tjhandle handle = tjInitDecompress();
    Decompressor() = default;
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    ~Decompressor()
    {
        if (handle)
            tjDestroy(handle);
    }
};

} // namespace

QImage decodeCachedJpeg(const QString& path, QSize box, CachedSize expected)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    thread_local Decompressor tj;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (!tj.handle
        || tjDecompressHeader3(tj.handle, data, size, &width, &height, &subsampling, &colorspace) != 0
        || width < 1 || height < 1 || width > box.width() || height > box.height()
        || (expected == CachedSize::Exactly && QSize(width, height) != box))
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRA : TJPF_ARGB;
    // Any warning counts: an entry of our own making decodes cleanly.
    if (image.isNull()
        || tjDecompress2(
               tj.handle, data, size, image.bits(), width, int(image.bytesPerLine()), height, format, 0)
            != 0)
        return {};
    return image;
}

namespace {

qint64 physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : qint64(4) << 30;
}

qint64 parseBytes(QString text, bool* ok)
{
    text = text.trimmed().toUpper();
    if (text.endsWith(QLatin1Char('B')))
        text.chop(1);
    int shift = 0;
    if (text.endsWith(QLatin1Char('K')))
        shift = 10;
    else if (text.endsWith(QLatin1Char('M')))
        shift = 20;
    else if (text.endsWith(QLatin1Char('G')))
        shift = 30;
    if (shift)
        text.chop(1);
    const double value = text.trimmed().toDouble(ok);
    *ok = *ok && value >= 0 && value < 1e6 * (1 << (30 - shift));
    return *ok ? qint64(value * double(qint64(1) << shift)) : 0;
}

qint64 ageMs(const QFileInfo& info)
{
    return info.lastModified().msecsTo(QDateTime::currentDateTime());
}

} // namespace

// --- Free functions ------------------------------------------------------------------

qint64 decodeMemoryCeiling()
{
    return physicalMemory() / 4;
}

QString defaultTileCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/corvane3/tiles");
}

QString tileCacheConfigFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/corvane3/corvane3.conf");
}

qint64 configuredTileCacheBytes()
{
    QFile file(tileCacheConfigFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return kDefaultCacheBytes;
    qint64 bytes = kDefaultCacheBytes;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || eq < 0
            || line.left(eq).trimmed().compare(QLatin1String("cache"), Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const qint64 value = parseBytes(line.mid(eq + 1), &ok);
        if (ok)
            bytes = value;
    }
    return bytes;
}

int PyramidInfo::levelCovering(QSize size) const
{
    for (int level = int(levels.size()) - 1; level > 0; --level) {
        if (levels[level].width() >= size.width() && levels[level].height() >= size.height())
            return level;
    }
    return 0;
}

// --- TilePyramid -------------------------------------------------------------------

struct TilePyramid::Entry {
    QString hostPath;
    QString folder;
    Stamp stamp;
    PyramidInfo info;
    mutable std::atomic<qint64> lastTouch { 0 };
};

TilePyramid::TilePyramid()
    : TilePyramid(Options())
{
}

TilePyramid::TilePyramid(const Options& options)
    : m_options(options)
{
    m_tiles.setMaxCost(options.tileCacheBytes);
}

TilePyramid::~TilePyramid() = default;

QString TilePyramid::folderFor(const QString& hostPath) const
{
    const QByteArray hash = QCryptographicHash::hash(hostPath.toUtf8(), QCryptographicHash::Sha1).toHex();
    return m_options.folder + QLatin1Char('/') + QString::fromLatin1(hash.left(32));
}

std::shared_ptr<const TilePyramid::Entry> TilePyramid::entryFor(const QString& windowsPath) const
{
    const auto resolved = resolve(windowsPath);
    if (!resolved)
        return nullptr;
    const QString host = QFileInfo(*resolved).canonicalFilePath();
    const Stamp stamp = stampOf(host);
    if (host.isEmpty() || !stamp.valid())
        return nullptr;
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_entries.value(host);
        if (found && found->stamp == stamp)
            return found;
    }
    const QString folder = folderFor(host);
    const auto manifest = readManifest(folder);
    if (!manifest || manifest->source != host || !(manifest->stamp == stamp))
        return nullptr;
    auto entry = std::make_shared<Entry>();
    entry->hostPath = host;
    entry->folder = folder;
    entry->stamp = stamp;
    entry->info = manifest->info;
    QMutexLocker lock(&m_mutex);
    m_entries.insert(host, entry);
    return entry;
}

PyramidInfo TilePyramid::info(const QString& windowsPath) const
{
    const auto entry = entryFor(windowsPath);
    return entry ? entry->info : PyramidInfo();
}

// The manifest's modification time is the pyramid's last use, refreshed at
// most once a minute so that reading does not mean writing.
void TilePyramid::touch(const Entry& entry) const
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - entry.lastTouch.exchange(now) < 60000)
        return;
    ::utime(QFile::encodeName(entry.folder + QLatin1Char('/') + kManifest).constData(), nullptr);
}

void TilePyramid::forget(const QString& hostPath) const
{
    const QString folder = folderFor(hostPath);
    QMutexLocker lock(&m_mutex);
    m_entries.remove(hostPath);
    const QString prefix = folder + QLatin1Char('/');
    const QList<QString> keys = m_tiles.keys();
    for (const QString& key : keys)
        if (key.startsWith(prefix))
            m_tiles.remove(key);
}

QImage TilePyramid::readTile(const Entry& entry, int level, int column, int row) const
{
    const PyramidInfo& info = entry.info;
    if (level < 0 || level >= info.levels.size() || column < 0 || row < 0 || column >= info.columns(level)
        || row >= info.rows(level))
        return {};
    const QString path = entry.folder + QLatin1Char('/') + tileName(level, column, row);
    {
        QMutexLocker lock(&m_mutex);
        if (const QImage* cached = m_tiles.object(path))
            return *cached;
    }
    const QSize levelSize = info.levels[level];
    const QSize expected(std::min(info.tileSize, levelSize.width() - column * info.tileSize),
        std::min(info.tileSize, levelSize.height() - row * info.tileSize));
    QImage image = decodeCachedJpeg(path, expected, CachedSize::Exactly);
    if (image.isNull()) {
        // One bad tile and none of the pyramid is trusted: build it again.
        forget(entry.hostPath);
        QDir(entry.folder).removeRecursively();
        return {};
    }
    QMutexLocker lock(&m_mutex);
    m_tiles.insert(path, new QImage(image), image.sizeInBytes());
    return image;
}

QImage TilePyramid::tile(const QString& windowsPath, int level, int column, int row) const
{
    const auto entry = entryFor(windowsPath);
    if (!entry)
        return {};
    touch(*entry);
    return readTile(*entry, level, column, row);
}

QImage TilePyramid::levelImageFor(const QString& windowsPath, QSize box) const
{
    const auto entry = entryFor(windowsPath);
    if (!entry || box.isEmpty())
        return {};
    touch(*entry);
    const PyramidInfo& info = entry->info;
    const QSize fitted = fitInto(info.native, box);
    const int level = info.levelCovering(fitted);
    const QSize levelSize = info.levels[level];
    if (qint64(levelSize.width()) * levelSize.height() * 4 > kMaxLevelImageBytes)
        return {};
    QImage image(levelSize, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    for (int row = 0; row < info.rows(level); ++row) {
        for (int column = 0; column < info.columns(level); ++column) {
            const QImage tile = readTile(*entry, level, column, row);
            if (tile.isNull())
                return {};
            const int x = column * info.tileSize;
            for (int y = 0; y < tile.height(); ++y)
                std::memcpy(image.scanLine(row * info.tileSize + y) + qsizetype(x) * 4, tile.constScanLine(y),
                    size_t(tile.width()) * 4);
        }
    }
    if (image.size() != fitted)
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

void TilePyramid::remove(const QString& windowsPath)
{
    const auto resolved = resolve(windowsPath);
    if (!resolved)
        return;
    const QString host = QFileInfo(*resolved).canonicalFilePath();
    if (host.isEmpty())
        return;
    forget(host);
    QDir(folderFor(host)).removeRecursively();
}

void TilePyramid::clearMemory()
{
    QMutexLocker lock(&m_mutex);
    m_tiles.clear();
    m_entries.clear();
}

void TilePyramid::trim(const QString& keepHostPath)
{
    struct Item {
        QString folder;
        QString source;
        qint64 bytes;
        QDateTime used;
    };
    QList<Item> items;
    qint64 total = 0;
    const QFileInfoList dirs = QDir(m_options.folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& dir : dirs) {
        const QString path = dir.absoluteFilePath();
        const auto manifest = readManifest(path);
        if (dir.fileName().endsWith(QLatin1String(".part"))) {
            // Another instance may be building here; an old one was killed.
            if (ageMs(dir) > 3600 * 1000)
                QDir(path).removeRecursively();
        } else if (!manifest) {
            QDir(path).removeRecursively(); // damaged: no use to anyone
        } else {
            items << Item { path, manifest->source, manifest->info.bytes,
                QFileInfo(path + QLatin1Char('/') + kManifest).lastModified() };
            total += manifest->info.bytes;
        }
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.used < b.used; });
    const QString keep = keepHostPath.isEmpty() ? QString() : folderFor(keepHostPath);
    for (const Item& item : std::as_const(items)) {
        if (total <= m_options.maxBytes)
            break;
        if (item.folder == keep)
            continue;
        forget(item.source);
        QDir(item.folder).removeRecursively();
        total -= item.bytes;
    }
}

qint64 TilePyramid::diskBytes() const
{
    qint64 total = 0;
    const QFileInfoList dirs = QDir(m_options.folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& dir : dirs) {
        if (const auto manifest = readManifest(dir.absoluteFilePath()))
            total += manifest->info.bytes;
    }
    return total;
}

} // namespace platform
