#include "platform/tile_pyramid.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/pictures.h"

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

namespace {

constexpr qint64 kMaxCeiling = qint64(1536) << 20;
constexpr qint64 kDefaultCacheBytes = qint64(2) << 30;
constexpr int kMaxScans = 500; // more is a broken or hostile file, not a scan
constexpr qint64 kMaxLevelImageBytes = qint64(256) << 20;
constexpr int kBatchRows = 16;
const QString kManifest = QStringLiteral("manifest");
const QByteArray kMagic = QByteArrayLiteral("corvane3 tile pyramid 1");

[[noreturn]] void cannotShow(const QString& windowsPath, const QString& reason)
{
    throw AppError(QStringLiteral("The picture \"%1\" cannot be shown: %2").arg(windowsPath, reason));
}

[[noreturn]] void cannotCache(const QString& reason)
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

Stamp stampOf(const QString& hostPath)
{
    const QFileInfo info(hostPath);
    if (!info.isFile())
        return {};
    return { info.lastModified().toMSecsSinceEpoch(), info.size() };
}

QList<QSize> levelSizes(QSize native, int tileSize)
{
    QList<QSize> levels { native };
    while (levels.constLast().width() > tileSize || levels.constLast().height() > tileSize) {
        const QSize s = levels.constLast();
        levels << QSize((s.width() + 1) / 2, (s.height() + 1) / 2);
    }
    return levels;
}

QString tileName(int level, int column, int row)
{
    return QStringLiteral("%1/%2_%3.jpg").arg(level).arg(column).arg(row);
}

// --- Reading the sheet with libjpeg, strip by strip --------------------------

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

void jpegErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

// A damaged scan still shows what can be decoded; nothing goes to stderr.
void jpegQuiet(j_common_ptr) { }

void jpegProgress(j_common_ptr cinfo)
{
    yieldToForeground(); // the sheet the user clicked is decoded first
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* error = reinterpret_cast<JpegError*>(cinfo->err);
        std::snprintf(error->message, sizeof error->message, "more than %d scans", kMaxScans);
        std::longjmp(error->jump, 1);
    }
}

// The libjpeg calls, each behind its own setjmp; no object with a
// destructor lives in these frames, so the long jump skips nothing.
class SheetReader {
public:
    explicit SheetReader(std::FILE* file)
    {
        m_cinfo.err = jpeg_std_error(&m_error.pub);
        m_error.pub.error_exit = jpegErrorExit;
        m_error.pub.output_message = jpegQuiet;
        m_progress.progress_monitor = jpegProgress;
        jpeg_create_decompress(&m_cinfo);
        m_cinfo.progress = &m_progress;
        jpeg_stdio_src(&m_cinfo, file);
    }
    ~SheetReader() { jpeg_destroy_decompress(&m_cinfo); }
    SheetReader(const SheetReader&) = delete;
    SheetReader& operator=(const SheetReader&) = delete;

    bool readHeader()
    {
        if (setjmp(m_error.jump))
            return false;
        jpeg_read_header(&m_cinfo, TRUE);
        return true;
    }
    // Everything decoded in one pass needs no buffer for the whole picture;
    // progressive and multi-scan files need their coefficients whole.
    bool needsWholeCoefficients() const
    {
        return m_cinfo.progressive_mode || m_cinfo.comps_in_scan < m_cinfo.num_components;
    }
    qint64 coefficientBytes() const
    {
        qint64 sum = 0;
        for (int c = 0; c < m_cinfo.num_components; ++c) {
            const jpeg_component_info& comp = m_cinfo.comp_info[c];
            const qint64 across
                = (comp.width_in_blocks + comp.h_samp_factor) / comp.h_samp_factor * comp.h_samp_factor;
            const qint64 down
                = (comp.height_in_blocks + comp.v_samp_factor) / comp.v_samp_factor * comp.v_samp_factor;
            sum += across * down * DCTSIZE2 * qint64(sizeof(JCOEF));
        }
        return sum;
    }
    // Tiles keep the sheet's colour detail: a 4:4:4 scan's red lines stay sharp.
    int tileSubsampling() const
    {
        if (m_cinfo.num_components == 1)
            return TJSAMP_GRAY;
        const jpeg_component_info& luma = m_cinfo.comp_info[0];
        return luma.h_samp_factor == 1 && luma.v_samp_factor == 1 ? TJSAMP_444 : TJSAMP_420;
    }
    bool cmyk() const { return m_cinfo.jpeg_color_space == JCS_CMYK || m_cinfo.jpeg_color_space == JCS_YCCK; }
    bool start(qint64 memoryCeiling)
    {
        if (setjmp(m_error.jump))
            return false;
        m_cinfo.out_color_space = cmyk() ? JCS_CMYK : JCS_EXT_RGB;
        m_cinfo.mem->max_memory_to_use = long(std::min<qint64>(memoryCeiling, LONG_MAX));
        jpeg_start_decompress(&m_cinfo);
        return true;
    }
    // Up to `count` rows into rows[]; how many came, -1 on an error.
    int read(JSAMPROW* rows, int count)
    {
        if (setjmp(m_error.jump))
            return -1;
        int got = 0;
        while (got < count && m_cinfo.output_scanline < m_cinfo.output_height)
            got += int(jpeg_read_scanlines(&m_cinfo, rows + got, JDIMENSION(count - got)));
        return got;
    }
    void abort() { jpeg_abort_decompress(&m_cinfo); }

    QSize size() const { return QSize(int(m_cinfo.image_width), int(m_cinfo.image_height)); }
    int outputComponents() const { return m_cinfo.output_components; }
    bool adobeInverted() const { return m_cinfo.saw_Adobe_marker; }
    QString error() const { return QString::fromLocal8Bit(m_error.message); }

private:
    jpeg_decompress_struct m_cinfo {};
    JpegError m_error;
    jpeg_progress_mgr m_progress {};
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// --- Writing the levels ------------------------------------------------------

// Each level keeps one strip of tileSize rows; a row pair of a level makes
// one row of the next, so memory stays at about two strips of the sheet.
class LevelWriter {
public:
    LevelWriter(const QString& folder, const QList<QSize>& sizes, int tileSize, int quality, int subsampling)
        : m_folder(folder)
        , m_tileSize(tileSize)
        , m_quality(quality)
        , m_subsampling(subsampling)
        , m_tj(tjInitCompress())
    {
        for (const QSize& s : sizes)
            m_levels.push_back(Level { s, QByteArray(qsizetype(s.width()) * 3 * tileSize, Qt::Uninitialized),
                QByteArray(qsizetype(s.width()) * 3, Qt::Uninitialized) });
        m_encoded = tjAlloc(int(tjBufSize(tileSize, tileSize, TJSAMP_444)));
        if (!m_tj || !m_encoded)
            cannotCache(QStringLiteral("the JPEG encoder cannot be started."));
        for (int level = 0; level < sizes.size(); ++level)
            if (!QDir().mkpath(QStringLiteral("%1/%2").arg(m_folder).arg(level)))
                cannotCache(QStringLiteral("the folder \"%1\" cannot be created.").arg(m_folder));
    }
    ~LevelWriter()
    {
        tjFree(m_encoded);
        if (m_tj)
            tjDestroy(m_tj);
    }
    LevelWriter(const LevelWriter&) = delete;
    LevelWriter& operator=(const LevelWriter&) = delete;

    static qint64 bytesFor(const QList<QSize>& sizes, int tileSize)
    {
        qint64 sum = 0;
        for (const QSize& s : sizes)
            sum += qint64(s.width()) * 3 * (tileSize + 1);
        return sum;
    }

    void push(int level, const uchar* row);
    qint64 files() const { return m_files; }
    qint64 bytes() const { return m_bytes; }

private:
    struct Level {
        QSize size;
        QByteArray strip;
        QByteArray halved; // the row made for the next level
        int rowsInStrip = 0;
        int rowsDone = 0;
        int stripIndex = 0;
        const uchar* pending = nullptr; // an even row waiting for its pair
    };
    void halveInto(const Level& from, const uchar* a, const uchar* b, Level& to);
    void writeStrip(int level);
    void writeTile(int level, int column, const uchar* pixels, int width, int height, int pitch);

    QString m_folder;
    int m_tileSize;
    int m_quality;
    int m_subsampling;
    tjhandle m_tj;
    uchar* m_encoded = nullptr;
    std::vector<Level> m_levels;
    qint64 m_files = 0;
    qint64 m_bytes = 0;
};

void LevelWriter::push(int level, const uchar* row)
{
    Level& l = m_levels[size_t(level)];
    const qsizetype pitch = qsizetype(l.size.width()) * 3;
    uchar* stored = reinterpret_cast<uchar*>(l.strip.data()) + pitch * l.rowsInStrip;
    std::memcpy(stored, row, size_t(pitch));
    ++l.rowsInStrip;
    ++l.rowsDone;
    const bool last = l.rowsDone == l.size.height();
    if (size_t(level) + 1 < m_levels.size()) {
        Level& next = m_levels[size_t(level) + 1];
        if (l.pending) {
            halveInto(l, l.pending, stored, next);
            l.pending = nullptr;
            push(level + 1, reinterpret_cast<const uchar*>(next.halved.constData()));
        } else if (last) { // an odd row at the bottom pairs with itself
            halveInto(l, stored, stored, next);
            push(level + 1, reinterpret_cast<const uchar*>(next.halved.constData()));
        } else {
            l.pending = stored; // its pair is in the same strip: tileSize is even
        }
    }
    if (l.rowsInStrip == m_tileSize || last) {
        writeStrip(level);
        l.rowsInStrip = 0;
        ++l.stripIndex;
    }
}

// Each pixel the mean of a 2 x 2 block: a box filter, which keeps the fine
// lines of an engraving from shimmering when drawn small.
void LevelWriter::halveInto(const Level& from, const uchar* a, const uchar* b, Level& to)
{
    auto* out = reinterpret_cast<uchar*>(to.halved.data());
    const int width = from.size.width();
    for (int x = 0; x < to.size.width(); ++x) {
        const int x0 = 2 * x * 3;
        const int x1 = std::min(2 * x + 1, width - 1) * 3;
        for (int c = 0; c < 3; ++c)
            *out++ = uchar((a[x0 + c] + a[x1 + c] + b[x0 + c] + b[x1 + c] + 2) >> 2);
    }
}

void LevelWriter::writeStrip(int level)
{
    const Level& l = m_levels[size_t(level)];
    const int pitch = l.size.width() * 3;
    const auto* strip = reinterpret_cast<const uchar*>(l.strip.constData());
    for (int column = 0; column * m_tileSize < l.size.width(); ++column) {
        const int width = std::min(m_tileSize, l.size.width() - column * m_tileSize);
        writeTile(level, column, strip + qsizetype(column) * m_tileSize * 3, width, l.rowsInStrip, pitch);
    }
}

void LevelWriter::writeTile(int level, int column, const uchar* pixels, int width, int height, int pitch)
{
    unsigned long size = tjBufSize(m_tileSize, m_tileSize, TJSAMP_444);
    if (tjCompress2(m_tj, pixels, width, pitch, height, TJPF_RGB, &m_encoded, &size, m_subsampling, m_quality,
            TJFLAG_NOREALLOC)
        != 0)
        cannotCache(QString::fromLocal8Bit(tjGetErrorStr2(m_tj)));
    // Under a temporary name until complete: a killed build leaves no half tile.
    QSaveFile file(m_folder + QLatin1Char('/') + tileName(level, column, m_levels[size_t(level)].stripIndex));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(m_encoded), qint64(size)) != qint64(size)
        || !file.commit())
        cannotCache(file.errorString());
    ++m_files;
    m_bytes += qint64(size);
}

// --- Manifest ------------------------------------------------------------------

struct Manifest {
    QString source;
    Stamp stamp;
    PyramidInfo info;
};

QByteArray manifestText(const Manifest& m)
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

// Null unless the file is a whole JPEG of exactly `expected` pixels.
QImage decodeTile(const QString& path, QSize expected)
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
        || QSize(width, height) != expected)
        return {};
    QImage image(expected, QImage::Format_RGB32);
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRA : TJPF_ARGB;
    // Any warning counts: a tile of our own making decodes cleanly.
    if (image.isNull()
        || tjDecompress2(
               tj.handle, data, size, image.bits(), width, int(image.bytesPerLine()), height, format, 0)
            != 0)
        return {};
    return image;
}

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

} // namespace

// --- Free functions ------------------------------------------------------------------

qint64 decodeMemoryCeiling()
{
    return std::min(physicalMemory() / 4, kMaxCeiling);
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
    QImage image = decodeTile(path, expected);
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

namespace {

[[noreturn]] void tooLarge(const QString& windowsPath, QSize size, qint64 needed, qint64 ceiling)
{
    throw AppError(
        QStringLiteral("The picture \"%1\" is too large to prepare for zooming: decoding its %2 x %3 "
                       "pixels needs %4 MB of memory, more than the %5 MB this computer allows.")
            .arg(windowsPath)
            .arg(size.width())
            .arg(size.height())
            .arg(needed >> 20)
            .arg(ceiling >> 20));
}

// The file's first bytes tell a JPEG from anything else.
void checkIsJpeg(const QString& windowsPath, const QString& hostPath)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(windowsPath, file.errorString()));
    const QByteArray start = file.read(2);
    if (start.isEmpty())
        cannotShow(windowsPath, QStringLiteral("the file is empty."));
    if (start != QByteArrayLiteral("\xFF\xD8"))
        cannotShow(windowsPath, QStringLiteral("it is not a JPEG picture."));
}

// Adobe's CMYK is stored inverted; either way, ink takes light away.
void cmykToRgb(const uchar* in, uchar* out, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        const int k = inverted ? in[3] : 255 - in[3];
        for (int c = 0; c < 3; ++c)
            out[c] = uchar((inverted ? in[c] : 255 - in[c]) * k / 255);
    }
}

void writeManifest(const QString& folder, Manifest manifest)
{
    manifest.info.bytes += manifestText(manifest).size();
    QSaveFile file(folder + QLatin1Char('/') + kManifest);
    const QByteArray text = manifestText(manifest);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        cannotCache(file.errorString());
}

qint64 ageMs(const QFileInfo& info)
{
    return info.lastModified().msecsTo(QDateTime::currentDateTime());
}

} // namespace

bool TilePyramid::build(const QString& windowsPath, const std::function<bool()>& wanted)
{
    if (isReady(windowsPath))
        return true;
    const auto resolved = resolve(windowsPath);
    if (!resolved)
        throw AppError(QStringLiteral("Cannot open file \"%1\". The drive does not exist.").arg(windowsPath));
    checkIsJpeg(windowsPath, *resolved);
    const QString host = QFileInfo(*resolved).canonicalFilePath();
    const Stamp stamp = stampOf(host);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(host).constData(), "rb"));
    if (!file || !stamp.valid())
        throw AppError(QStringLiteral("Cannot open file \"%1\".").arg(windowsPath));

    std::optional<HeavyDecodeTurn> turn; // outlives the reader's buffers
    SheetReader reader(file.get());
    if (!reader.readHeader())
        cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(reader.error()));
    const QSize size = reader.size();
    const QList<QSize> levels = levelSizes(size, m_options.tileSize);
    const int components = reader.cmyk() ? 4 : 3;
    const qint64 needed = LevelWriter::bytesFor(levels, m_options.tileSize)
        + qint64(size.width()) * components * kBatchRows * 2
        + (reader.needsWholeCoefficients() ? reader.coefficientBytes() : 0);
    if (needed > m_options.memoryCeiling)
        tooLarge(windowsPath, size, needed, m_options.memoryCeiling);
    if (isBackgroundThread() && needed >= heavyDecodeBytes()) {
        turn.emplace(HeavyDecodeTurn::AfterDecodesAhead, wanted);
        if (!turn->isHeld())
            return false;
    }
    if (!reader.start(m_options.memoryCeiling - LevelWriter::bytesFor(levels, m_options.tileSize)))
        cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(reader.error()));

    const QString folder = folderFor(host);
    const QString part = folder + QStringLiteral(".part");
    QDir(part).removeRecursively();
    try {
        LevelWriter writer(part, levels, m_options.tileSize, m_options.quality, reader.tileSubsampling());
        QByteArray batch(qsizetype(size.width()) * components * kBatchRows, Qt::Uninitialized);
        QByteArray rgb(qsizetype(size.width()) * 3, Qt::Uninitialized);
        JSAMPROW rows[kBatchRows];
        for (int i = 0; i < kBatchRows; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(batch.data()) + qsizetype(i) * size.width() * components;
        for (int done = 0; done < size.height();) {
            if (wanted && done % 256 == 0 && !wanted()) {
                reader.abort();
                QDir(part).removeRecursively();
                return false;
            }
            const int got = reader.read(rows, std::min(kBatchRows, size.height() - done));
            if (got <= 0)
                cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(reader.error()));
            for (int i = 0; i < got; ++i) {
                const uchar* row = rows[i];
                if (components == 4) {
                    cmykToRgb(
                        row, reinterpret_cast<uchar*>(rgb.data()), size.width(), reader.adobeInverted());
                    row = reinterpret_cast<const uchar*>(rgb.constData());
                }
                writer.push(0, row);
            }
            done += got;
        }
        PyramidInfo info { size, m_options.tileSize, levels, writer.bytes() };
        writeManifest(part, Manifest { host, stamp, info });
    } catch (...) {
        QDir(part).removeRecursively();
        throw;
    }
    forget(host);
    QDir(folder).removeRecursively();
    if (!QDir().rename(part, folder)) {
        QDir(part).removeRecursively();
        cannotCache(QStringLiteral("the folder \"%1\" cannot be renamed.").arg(part));
    }
    trim(host);
    return true;
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

// --- PyramidBuilder ------------------------------------------------------------------

PyramidBuilder::PyramidBuilder(std::shared_ptr<TilePyramid> pyramid, QObject* parent)
    : QObject(parent)
    , m_pyramid(std::move(pyramid))
{
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("PyramidBuilder"));
    // The user's clicks come first; the other core is theirs.
    m_thread->start(QThread::LowPriority);
}

PyramidBuilder::~PyramidBuilder()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = true;
        m_queue.clear();
        m_abandon = true;
        m_changed.wakeAll();
    }
    m_thread->wait();
    delete m_thread;
}

void PyramidBuilder::request(const QString& windowsPath, bool visible)
{
    QMutexLocker lock(&m_mutex);
    if (m_building == windowsPath)
        return;
    const bool queued = m_queue.contains(windowsPath);
    if (queued && !visible)
        return;
    m_queue.removeAll(windowsPath);
    if (visible)
        m_queue.prepend(windowsPath);
    else
        m_queue.append(windowsPath);
    m_changed.wakeAll();
}

QStringList PyramidBuilder::queued() const
{
    QMutexLocker lock(&m_mutex);
    return m_queue;
}

bool PyramidBuilder::waitForIdle(int msecs)
{
    QDeadlineTimer deadline(msecs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(msecs));
    QMutexLocker lock(&m_mutex);
    while (!m_queue.isEmpty() || !m_building.isEmpty()) {
        if (!m_changed.wait(&m_mutex, deadline))
            return false;
    }
    return true;
}

void PyramidBuilder::run()
{
    markBackgroundThread();
    for (;;) {
        QString path;
        {
            QMutexLocker lock(&m_mutex);
            m_building.clear();
            m_changed.wakeAll();
            while (m_queue.isEmpty() && !m_stopping)
                m_changed.wait(&m_mutex);
            if (m_stopping)
                return;
            path = m_building = m_queue.takeFirst();
        }
        try {
            if (m_pyramid->build(path, [this] { return !m_abandon; }))
                emit ready(path);
        } catch (const AppError& e) {
            emit failed(path, e.message());
        } catch (const std::exception& e) {
            emit failed(path,
                QStringLiteral("The picture \"%1\" cannot be prepared for zooming: %2")
                    .arg(path, QString::fromLocal8Bit(e.what())));
        }
    }
}

} // namespace platform
