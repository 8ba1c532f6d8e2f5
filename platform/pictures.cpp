#include "platform/pictures.h"

#include "platform/errors.h"
#include "platform/paths.h"

#include <QBuffer>
#include <QCache>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QSysInfo>
#include <QWaitCondition>

#include <turbojpeg.h>

namespace platform {

namespace {

// Far beyond any scanned sheet, well below what would exhaust memory or
// keep the user waiting: 20000 x 20000 pixels, a 64 MB decoded picture,
// a 200 MB coefficient buffer (a progressive JPEG needs one for the whole
// image whatever the scale), a 512 MB file.
constexpr qint64 kMaxPixels = 400'000'000;
constexpr qint64 kMaxDecodedBytes = qint64(64) << 20;
constexpr qint64 kMaxCoefficientBytes = qint64(200) << 20;
constexpr qint64 kMaxFileBytes = qint64(512) << 20;
// The whole picture for zooming, 3 bytes a pixel: a 7000 x 5000 scan takes
// 105 MB; beyond about 56 megapixels the largest scale that fits is used.
constexpr qint64 kMaxWholeBytes = qint64(160) << 20;

[[noreturn]] void cannotShow(const QString& windowsPath, const QString& reason)
{
    throw AppError(QStringLiteral("The picture \"%1\" cannot be shown: %2").arg(windowsPath, reason));
}

[[noreturn]] void damaged(const QString& windowsPath, const QString& detail)
{
    cannotShow(windowsPath, QStringLiteral("the file is damaged (%1).").arg(detail));
}

QByteArray readFile(const QString& windowsPath, const QString& hostPath)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(windowsPath, file.errorString()));
    if (file.size() > kMaxFileBytes)
        cannotShow(windowsPath, QStringLiteral("the file is too large to be a picture."));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("Read error on \"%1\". %2").arg(windowsPath, file.errorString()));
    if (bytes.isEmpty())
        cannotShow(windowsPath, QStringLiteral("the file is empty."));
    return bytes;
}

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
    QString error() const { return QString::fromLocal8Bit(tjGetErrorStr2(handle)); }
};

struct Header {
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
};

// A progressive JPEG names itself in its start-of-frame marker (SOF2, 6, 10
// or 14); the markers before it are skipped by their lengths.
bool isProgressive(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 2; // after SOI
    while (i + 4 <= n && p[i] == 0xFF) {
        const uchar marker = p[i + 1];
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
        i += 2 + ((p[i + 2] << 8) | p[i + 3]);
    }
    return false;
}

// Samples per pixel the decoder keeps, by chrominance subsampling.
double samplesPerPixel(const Header& h)
{
    if (h.colorspace == TJCS_CMYK || h.colorspace == TJCS_YCCK)
        return 4;
    switch (h.subsampling) {
    case TJSAMP_GRAY:
        return 1;
    case TJSAMP_420:
    case TJSAMP_411:
        return 1.5;
    case TJSAMP_422:
    case TJSAMP_440:
        return 2;
    default:
        return 3;
    }
}

// The strongest reduction libjpeg-turbo offers that still covers target.
tjscalingfactor scaleFor(QSize native, QSize target)
{
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom || f.num * best.denom >= best.num * f.denom)
            continue;
        if (TJSCALED(native.width(), f) >= target.width() && TJSCALED(native.height(), f) >= target.height())
            best = f;
    }
    return best;
}

[[noreturn]] void tooLarge(const QString& windowsPath, const Header& h)
{
    cannotShow(windowsPath,
               QStringLiteral("its size of %1 x %2 pixels is too large to show.").arg(h.width).arg(h.height));
}

// What any decoding of the file needs, whatever the scale.
void checkFileLimits(const QString& windowsPath, const QByteArray& bytes, const Header& h)
{
    if (qint64(h.width) * h.height > kMaxPixels)
        tooLarge(windowsPath, h);
    if (isProgressive(bytes) && qint64(h.width) * h.height * samplesPerPixel(h) * 2 > kMaxCoefficientBytes)
        tooLarge(windowsPath, h);
}

void checkLimits(const QString& windowsPath, const QByteArray& bytes, const Header& h, QSize decoded)
{
    checkFileLimits(windowsPath, bytes, h);
    if (qint64(decoded.width()) * decoded.height() * 4 > kMaxDecodedBytes)
        tooLarge(windowsPath, h);
}

// CMYK scans, which libjpeg-turbo cannot turn into RGB: Qt's JPEG reader
// converts them, still scaling while it decodes.
QImage decodeWithQt(const QString& windowsPath, QByteArray bytes, QSize target)
{
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.isNull())
        damaged(windowsPath, reader.errorString());
    return image.convertToFormat(QImage::Format_RGB32);
}

// The size the start-of-frame marker gives, read without the decoder, for
// pictures it refuses outright; invalid when there is no such marker.
QSize frameSize(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 2; // after SOI
    while (i + 9 <= n && p[i] == 0xFF) {
        const uchar marker = p[i + 1];
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return { (p[i + 7] << 8) | p[i + 8], (p[i + 5] << 8) | p[i + 6] };
        i += 2 + ((p[i + 2] << 8) | p[i + 3]);
    }
    return {};
}

Header readHeader(const Decompressor& tj, const QString& windowsPath, const QByteArray& bytes)
{
    if (!tj.handle)
        cannotShow(windowsPath, QStringLiteral("the JPEG decoder cannot be started."));
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    Header h;
    if (tjDecompressHeader3(tj.handle, data, static_cast<unsigned long>(bytes.size()), &h.width, &h.height,
                            &h.subsampling, &h.colorspace)
        != 0) {
        if (bytes.size() < 2 || data[0] != 0xFF || data[1] != 0xD8)
            cannotShow(windowsPath, QStringLiteral("it is not a JPEG picture."));
        // Beyond the decoder's own limit: say so in our words, not as damage.
        if (const QSize frame = frameSize(bytes); qint64(frame.width()) * frame.height() > kMaxPixels) {
            Header refused;
            refused.width = frame.width();
            refused.height = frame.height();
            tooLarge(windowsPath, refused);
        }
        damaged(windowsPath, tj.error());
    }
    return h;
}

QImage decodeJpeg(const QString& windowsPath, const QByteArray& bytes, QSize box)
{
    Decompressor tj;
    const Header h = readHeader(tj, windowsPath, bytes);
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    const QSize native(h.width, h.height);
    const QSize target = fitInto(native, box);
    const tjscalingfactor f = scaleFor(native, target);
    const QSize decoded(TJSCALED(h.width, f), TJSCALED(h.height, f));
    checkLimits(windowsPath, bytes, h, decoded);
    if (h.colorspace == TJCS_CMYK || h.colorspace == TJCS_YCCK)
        return decodeWithQt(windowsPath, bytes, target);

    // Format_RGB32 is 0xFFRRGGBB in native byte order; the alpha formats
    // fill the unused byte with 0xFF as Qt wants it.
    QImage image(decoded, QImage::Format_RGB32);
    if (image.isNull())
        cannotShow(windowsPath, QStringLiteral("there is not enough memory to show it."));
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRA : TJPF_ARGB;
    if (tjDecompress2(tj.handle, data, size, image.bits(), decoded.width(), int(image.bytesPerLine()),
                      decoded.height(), format, TJFLAG_LIMITSCANS)
        != 0)
        damaged(windowsPath, tj.error());
    if (decoded != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

// When a file was last written and how long it is: a cached picture is
// good while both are unchanged.
struct Stamp {
    QDateTime modified;
    qint64 size = -1;
    bool valid() const { return size >= 0; }
    bool operator==(const Stamp& other) const { return size == other.size && modified == other.modified; }
};

Stamp stampOf(const QString& hostPath)
{
    const QFileInfo info(hostPath);
    if (!info.isFile())
        return {};
    return {info.lastModified(), info.size()};
}

QString keyOf(const QString& hostPath, QSize box)
{
    return QStringLiteral("%1|%2x%3").arg(hostPath).arg(box.width()).arg(box.height());
}

[[noreturn]] void noDrive(const QString& windowsPath)
{
    throw AppError(QStringLiteral("Cannot open file \"%1\". The drive does not exist.").arg(windowsPath));
}

// The largest of libjpeg-turbo's scales (at most 1) at which the picture
// takes no more than maxBytes; {0, 1} when none does.
tjscalingfactor largestWithin(QSize native, qint64 maxBytes, int bytesPerPixel)
{
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best{0, 1};
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num > f.denom || f.num * best.denom <= best.num * f.denom)
            continue;
        if (qint64(TJSCALED(native.width(), f)) * TJSCALED(native.height(), f) * bytesPerPixel <= maxBytes)
            best = f;
    }
    return best;
}

// The whole picture, 3 bytes a pixel (a third less than RGB32 for the one
// picture that dominates memory); the file's bytes are gone on return.
QImage decodeWhole(const QString& windowsPath, const QString& hostPath, QSize* native)
{
    const QByteArray bytes = readFile(windowsPath, hostPath);
    Decompressor tj;
    const Header h = readHeader(tj, windowsPath, bytes);
    *native = QSize(h.width, h.height);
    checkFileLimits(windowsPath, bytes, h);
    const tjscalingfactor f = largestWithin(*native, kMaxWholeBytes, 3);
    if (f.num == 0)
        tooLarge(windowsPath, h);
    const QSize decoded(TJSCALED(h.width, f), TJSCALED(h.height, f));
    if (h.colorspace == TJCS_CMYK || h.colorspace == TJCS_YCCK)
        return decodeWithQt(windowsPath, bytes, decoded).convertToFormat(QImage::Format_RGB888);
    QImage image(decoded, QImage::Format_RGB888);
    if (image.isNull())
        cannotShow(windowsPath, QStringLiteral("there is not enough memory to show it."));
    if (tjDecompress2(tj.handle, reinterpret_cast<const uchar*>(bytes.constData()),
                      static_cast<unsigned long>(bytes.size()), image.bits(), decoded.width(),
                      int(image.bytesPerLine()), decoded.height(), TJPF_RGB, TJFLAG_LIMITSCANS)
        != 0)
        damaged(windowsPath, tj.error());
    return image;
}

// Each pixel the mean of a 2 x 2 block of the source: a box filter, which
// keeps the fine lines of an engraving from shimmering when drawn small.
// The source is RGB888 or RGB32, read byte by byte.
QImage halve(const QImage& source)
{
    const bool packed = source.format() == QImage::Format_RGB888;
    const int step = packed ? 3 : 4;
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    const int red = packed ? 0 : (little ? 2 : 1);
    const int green = packed ? 1 : (little ? 1 : 2);
    const int blue = packed ? 2 : (little ? 0 : 3);
    QImage out(source.width() / 2, source.height() / 2, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        const uchar* a = source.constScanLine(2 * y);
        const uchar* b = source.constScanLine(2 * y + 1);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x, a += 2 * step, b += 2 * step) {
            const auto mean = [&](int c) { return (a[c] + a[c + step] + b[c] + b[c + step] + 2) >> 2; };
            line[x] = qRgb(mean(red), mean(green), mean(blue));
        }
    }
    return out;
}

} // namespace

QSize fitInto(QSize size, QSize box)
{
    if (size.width() <= box.width() && size.height() <= box.height())
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage decodePicture(const QString& windowsPath, const QString& hostPath, QSize box)
{
    return decodeJpeg(windowsPath, readFile(windowsPath, hostPath), box);
}

qint64 PictureLevels::bytes() const
{
    qint64 sum = 0;
    for (const QImage& level : levels)
        sum += level.sizeInBytes();
    return sum;
}

QSize pictureSize(const QString& windowsPath)
{
    const auto host = resolve(windowsPath);
    return host ? QImageReader(*host, "jpeg").size() : QSize();
}

PictureLevels decodeLevels(const QString& windowsPath, const QString& hostPath, QSize smallest,
                           const std::function<bool()>& wanted)
{
    PictureLevels result;
    result.levels << decodeWhole(windowsPath, hostPath, &result.native);
    // Levels below the copy decoded for the box would add nothing.
    const QSize floor = result.native.scaled(smallest, Qt::KeepAspectRatio);
    while ((!wanted || wanted()) && result.levels.constLast().width() / 2 > floor.width()) {
        QImage next = halve(result.levels.constLast());
        if (next.isNull())
            break; // what is there already serves
        result.levels << next;
    }
    return result;
}

// State shared with the worker's jobs, which may outlive a call.
struct PictureStore::Shared {
    struct Entry {
        Stamp stamp;
        QImage image;
    };
    mutable QMutex mutex;
    QWaitCondition finished;
    QCache<QString, Entry> cache;
    QHash<QString, bool> underway; // key -> started (false: still queued)

    void insert(const QString& key, const Stamp& stamp, const QImage& image)
    {
        cache.insert(key, new Entry{stamp, image}, image.sizeInBytes());
    }
    const Entry* fresh(const QString& key, const Stamp& stamp) const
    {
        const Entry* entry = cache.object(key);
        return entry && stamp.valid() && entry->stamp == stamp ? entry : nullptr;
    }
    void dropQueued()
    {
        for (auto it = underway.begin(); it != underway.end();)
            it = it.value() ? std::next(it) : underway.erase(it);
    }
    void decodeAhead(const QString& key, const QString& hostPath, QSize box);
};

void PictureStore::Shared::decodeAhead(const QString& key, const QString& hostPath, QSize box)
{
    {
        QMutexLocker lock(&mutex);
        const auto it = underway.find(key);
        if (it == underway.end() || it.value())
            return; // no longer wanted
        it.value() = true;
    }
    const Stamp before = stampOf(hostPath);
    QImage image;
    try {
        image = decodePicture(hostPath, hostPath, box);
    } catch (const std::exception&) {
        // Forgotten: the user's own request meets the file again and reports.
    }
    const bool unchanged = before.valid() && stampOf(hostPath) == before;
    QMutexLocker lock(&mutex);
    if (!image.isNull() && unchanged)
        insert(key, before, image);
    underway.remove(key);
    finished.wakeAll();
}

PictureStore::PictureStore(qsizetype maxBytes)
    : d(std::make_shared<Shared>())
{
    d->cache.setMaxCost(maxBytes);
    // One worker: the other core stays with the user, and a progressive
    // sheet's large decoding buffer is never needed twice at once.
    m_pool.setMaxThreadCount(1);
}

PictureStore::~PictureStore()
{
    m_pool.clear();
    {
        QMutexLocker lock(&d->mutex);
        d->dropQueued();
    }
    m_pool.waitForDone();
}

QImage PictureStore::load(const QString& windowsPath, QSize box)
{
    const auto host = resolve(windowsPath);
    if (!host)
        noDrive(windowsPath);
    const QString key = keyOf(*host, box);
    const Stamp stamp = stampOf(*host);
    {
        QMutexLocker lock(&d->mutex);
        for (;;) {
            if (const Shared::Entry* entry = d->fresh(key, stamp))
                return entry->image;
            const auto it = d->underway.find(key);
            if (it == d->underway.end())
                break;
            if (!it.value()) { // queued behind others: quicker to decode here
                d->underway.erase(it);
                break;
            }
            d->finished.wait(&d->mutex);
        }
    }
    QImage image = decodePicture(windowsPath, *host, box);
    if (stamp.valid() && stampOf(*host) == stamp) {
        QMutexLocker lock(&d->mutex);
        d->insert(key, stamp, image);
    }
    return image;
}

void PictureStore::decodeAhead(const QStringList& windowsPaths, QSize box)
{
    m_pool.clear();
    QMutexLocker lock(&d->mutex);
    d->dropQueued();
    for (const QString& path : windowsPaths) {
        const auto host = resolve(path);
        if (!host)
            continue;
        const QString key = keyOf(*host, box);
        const Stamp stamp = stampOf(*host);
        if (!stamp.valid() || d->underway.contains(key) || d->fresh(key, stamp))
            continue;
        d->underway.insert(key, false);
        m_pool.start([shared = d, key, hostPath = *host, box] { shared->decodeAhead(key, hostPath, box); });
    }
}

void PictureStore::clear()
{
    m_pool.clear();
    QMutexLocker lock(&d->mutex);
    d->dropQueued();
    d->cache.clear();
}

bool PictureStore::waitForIdle(int msecs)
{
    return m_pool.waitForDone(msecs);
}

bool PictureStore::contains(const QString& windowsPath, QSize box) const
{
    const auto host = resolve(windowsPath);
    if (!host)
        return false;
    const Stamp stamp = stampOf(*host);
    QMutexLocker lock(&d->mutex);
    return d->fresh(keyOf(*host, box), stamp) != nullptr;
}

// The worker's view of the loader: only the newest request counts.
struct FullPictureLoader::Shared {
    mutable QMutex mutex;
    quint64 generation = 0;
    std::shared_ptr<const PictureLevels> picture;

    bool wanted(quint64 request) const
    {
        QMutexLocker lock(&mutex);
        return generation == request;
    }
};

FullPictureLoader::FullPictureLoader(QObject* parent)
    : QObject(parent)
    , d(std::make_shared<Shared>())
{
    // One at a time: a decode no longer wanted ends, and lets go of its
    // memory, before the next begins.
    m_pool.setMaxThreadCount(1);
}

FullPictureLoader::~FullPictureLoader()
{
    release();
    m_pool.waitForDone();
}

void FullPictureLoader::request(const QString& windowsPath, QSize smallest)
{
    release();
    m_requested = windowsPath;
    const auto host = resolve(windowsPath);
    if (!host)
        return;
    quint64 request = 0;
    {
        QMutexLocker lock(&d->mutex);
        request = d->generation;
    }
    m_pool.start([this, shared = d, request, windowsPath, hostPath = *host, smallest] {
        if (!shared->wanted(request))
            return;
        auto levels = std::make_shared<PictureLevels>();
        try {
            *levels = decodeLevels(windowsPath, hostPath, smallest, [&] { return shared->wanted(request); });
        } catch (const std::exception&) {
            return; // shown and reported from the file by the window already
        }
        {
            QMutexLocker lock(&shared->mutex);
            if (shared->generation != request)
                return;
            shared->picture = std::move(levels);
        }
        // The destructor waits for this job, so the loader is still there.
        QMetaObject::invokeMethod(this, &FullPictureLoader::ready, Qt::QueuedConnection);
    });
}

void FullPictureLoader::release()
{
    m_pool.clear();
    m_requested.clear();
    std::shared_ptr<const PictureLevels> dropped;
    {
        QMutexLocker lock(&d->mutex);
        ++d->generation;
        dropped = std::move(d->picture);
    }
}

std::shared_ptr<const PictureLevels> FullPictureLoader::picture() const
{
    QMutexLocker lock(&d->mutex);
    return d->picture;
}

bool FullPictureLoader::waitForIdle(int msecs)
{
    return m_pool.waitForDone(msecs);
}

} // namespace platform
