// Building tile pyramids: the sheet read strip by strip with libjpeg, each
// level written tile by tile as its rows arrive, the manifest last; and the
// builder that does this on a worker for the sheets asked for.
#include "imaging/tile_pyramid.h"

#include "imaging/pyramid_internal.h"

#include "imaging/decoding_internal.h"

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

namespace {

constexpr int kMaxScans = 500; // more is a broken or hostile file, not a scan
constexpr int kBatchRows = 16;

// --- Reading the sheet with libjpeg, strip by strip --------------------------

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool damaged = false; // libjpeg warned of damaged or missing data
    bool gaveWay = false; // stopped to free its buffers for the user's decode
};

void jpegErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

// Nothing goes to stderr; a warning about the data marks the sheet damaged,
// with libjpeg's own words for it.
void jpegQuiet(j_common_ptr) { }
void jpegWarning(j_common_ptr cinfo, int level)
{
    auto* error = reinterpret_cast<JpegError*>(cinfo->err);
    if (level < 0 && !error->damaged && decoding::isDamageWarning(cinfo->err->msg_code)) {
        error->damaged = true;
        (*cinfo->err->format_message)(cinfo, error->message);
    }
}

void jpegProgress(j_common_ptr cinfo)
{
    yieldToForeground(); // the sheet the user clicked is decoded first
    if (mustGiveWay()) {
        reinterpret_cast<JpegError*>(cinfo->err)->gaveWay = true;
        std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
    }
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
        m_error.pub.emit_message = jpegWarning;
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
    qint64 blocks() const
    {
        qint64 sum = 0;
        for (int c = 0; c < m_cinfo.num_components; ++c)
            sum += qint64(m_cinfo.comp_info[c].width_in_blocks) * m_cinfo.comp_info[c].height_in_blocks;
        return sum;
    }
    bool damaged() const { return m_error.damaged; }
    bool gaveWay() const { return m_error.gaveWay; }
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
    {
        for (const QSize& s : sizes)
            m_levels.push_back(Level { s, QByteArray(qsizetype(s.width()) * 3 * tileSize, Qt::Uninitialized),
                QByteArray(qsizetype(s.width()) * 3, Qt::Uninitialized) });
        m_encoder.buffer = tjAlloc(int(tjBufSize(tileSize, tileSize, TJSAMP_444)));
        if (!m_encoder.tj || !m_encoder.buffer)
            cannotCache(QStringLiteral("the JPEG encoder cannot be started."));
        for (int level = 0; level < sizes.size(); ++level)
            if (!QDir().mkpath(QStringLiteral("%1/%2").arg(m_folder).arg(level)))
                cannotCache(QStringLiteral("the folder \"%1\" cannot be created.").arg(m_folder));
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
    // Freed by its own destructor, so that a constructor that throws (a
    // folder that cannot be made) frees it too.
    struct Encoder {
        tjhandle tj = tjInitCompress();
        uchar* buffer = nullptr;
        Encoder() = default;
        Encoder(const Encoder&) = delete;
        Encoder& operator=(const Encoder&) = delete;
        ~Encoder()
        {
            tjFree(buffer);
            if (tj)
                tjDestroy(tj);
        }
    } m_encoder;
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
    if (tjCompress2(m_encoder.tj, pixels, width, pitch, height, TJPF_RGB, &m_encoder.buffer, &size,
            m_subsampling, m_quality, TJFLAG_NOREALLOC)
        != 0)
        cannotCache(QString::fromLocal8Bit(tjGetErrorStr2(m_encoder.tj)));
    // Under a temporary name until complete: a killed build leaves no half tile.
    QSaveFile file(m_folder + QLatin1Char('/') + tileName(level, column, m_levels[size_t(level)].stripIndex));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(m_encoder.buffer), qint64(size)) != qint64(size)
        || !file.commit())
        cannotCache(file.errorString());
    ++m_files;
    m_bytes += qint64(size);
}

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

} // namespace

namespace {
[[noreturn]] void damagedSheet(const QString& windowsPath, const QString& detail)
{
    cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(detail));
}
} // namespace

bool TilePyramid::build(const QString& windowsPath, const std::function<bool()>& wanted)
{
    // A build that freed its buffers for the user's decode starts again
    // once its turn comes back.
    for (;;) {
        try {
            return buildOnce(windowsPath, wanted);
        } catch (const decoding::GaveWay&) {
        }
    }
}

bool TilePyramid::buildOnce(const QString& windowsPath, const std::function<bool()>& wanted)
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
    // What the decoder refuses, the build refuses too; a sheet damaged or cut
    // short gets no pyramid (its fitted picture, with its warning, is all
    // there is to see), so no grey half-sheet is ever kept as if whole.
    const qint64 fileBytes = QFileInfo(host).size();
    decoding::checkHeaderAgainstFile(windowsPath, size.width(), size.height(), reader.blocks(),
        reader.needsWholeCoefficients(), fileBytes);
    if (reader.needsWholeCoefficients()) {
        QFile mapped(host);
        const uchar* data = mapped.open(QIODevice::ReadOnly) ? mapped.map(0, fileBytes) : nullptr;
        if (data && decoding::endsBeforeLastScan(data, fileBytes))
            damagedSheet(windowsPath, QStringLiteral("it ends before its last scan"));
    }
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
    if (!reader.start(m_options.memoryCeiling - LevelWriter::bytesFor(levels, m_options.tileSize))) {
        if (reader.gaveWay())
            throw decoding::GaveWay();
        cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(reader.error()));
    }

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
            if (reader.gaveWay())
                throw decoding::GaveWay(); // the folder goes below, the buffers with the reader
            if (got <= 0 || reader.damaged())
                damagedSheet(windowsPath, reader.error());
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
