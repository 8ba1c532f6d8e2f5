// The picture store (decoded pictures cached per box, the next ones decoded
// ahead on a worker) and the full-resolution loader the zoom views use.
#include "imaging/pictures.h"

#include "imaging/decoding_internal.h"

#include "platform/paths.h"

#include <QCache>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QWaitCondition>

#include <algorithm>
#include <optional>

#include <unistd.h>

namespace platform {

using namespace decoding;

namespace {

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
    return { info.lastModified(), info.size() };
}

QString keyOf(const QString& hostPath, QSize box)
{
    return QStringLiteral("%1|%2x%3").arg(hostPath).arg(box.width()).arg(box.height());
}

[[noreturn]] void noDrive(const QString& windowsPath)
{
    throw AppError(QStringLiteral("Cannot open file \"%1\". The drive does not exist.").arg(windowsPath));
}

} // namespace

qint64 cacheMemoryBudget()
{
    const qint64 floor = qint64(32) << 20;
    const qint64 ceiling = qint64(96) << 20;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return floor;
    return std::clamp(qint64(pages) * pageSize / 128, floor, ceiling);
}

// State shared with the worker's jobs, which may outlive a call.
struct PictureStore::Shared {
    struct Entry {
        Stamp stamp;
        QImage image;
        bool damaged = false;
    };
    PictureDecoder decoder;
    mutable QMutex mutex;
    QWaitCondition finished;
    QCache<QString, Entry> cache;
    // A decode ahead is queued, may then wait for its turn, then decodes;
    // only one that decodes is worth waiting for.
    enum class Ahead { Queued, WaitingForTurn, Decoding };
    QHash<QString, Ahead> underway;

    Decoded decode(const QString& windowsPath, const QString& hostPath, QSize box) const
    {
        Decoded decoded;
        decoded.image = decoder(windowsPath, hostPath, box, &decoded.damaged);
        return decoded;
    }
    void insert(const QString& key, const Stamp& stamp, const Decoded& decoded)
    {
        cache.insert(key, new Entry { stamp, decoded.image, decoded.damaged }, decoded.image.sizeInBytes());
    }
    const Entry* fresh(const QString& key, const Stamp& stamp) const
    {
        const Entry* entry = cache.object(key);
        return entry && stamp.valid() && entry->stamp == stamp ? entry : nullptr;
    }
    void queue(const QString& key)
    {
        underway.insert(key, Ahead::Queued);
        countDecodesAhead(1);
    }
    QHash<QString, Ahead>::iterator forget(QHash<QString, Ahead>::iterator it)
    {
        countDecodesAhead(-1);
        return underway.erase(it);
    }
    void dropQueued()
    {
        for (auto it = underway.begin(); it != underway.end();)
            it = it.value() == Ahead::Decoding ? std::next(it) : forget(it);
    }
    bool isAt(const QString& key, Ahead step) const
    {
        QMutexLocker lock(&mutex);
        const auto it = underway.constFind(key);
        return it != underway.cend() && it.value() == step;
    }
    // False when the decode is no longer wanted (dropped, or taken over by
    // the user's own load).
    bool advance(const QString& key, Ahead from, Ahead to)
    {
        QMutexLocker lock(&mutex);
        const auto it = underway.find(key);
        if (it == underway.end() || it.value() != from)
            return false;
        it.value() = to;
        return true;
    }
    void decodeAhead(const QString& key, const QString& hostPath, QSize box);
};

void PictureStore::Shared::decodeAhead(const QString& key, const QString& hostPath, QSize box)
{
    if (!advance(key, Ahead::Queued, Ahead::WaitingForTurn))
        return;
    markBackgroundThread();
    std::optional<HeavyDecodeTurn> turn;
    if (decodeBytesEstimate(hostPath) >= heavyDecodeBytes())
        turn.emplace(HeavyDecodeTurn::BeforeBuilds, [&] { return isAt(key, Ahead::WaitingForTurn); });
    if ((turn && !turn->isHeld()) || !advance(key, Ahead::WaitingForTurn, Ahead::Decoding))
        return;
    const Stamp before = stampOf(hostPath);
    Decoded decoded;
    try {
        decoded = decode(hostPath, hostPath, box);
    } catch (const std::exception&) {
        // Forgotten: the user's own request meets the file again and reports.
    }
    turn.reset(); // the decoding buffers are gone
    const bool unchanged = before.valid() && stampOf(hostPath) == before;
    QMutexLocker lock(&mutex);
    if (!decoded.image.isNull() && unchanged)
        insert(key, before, decoded);
    forget(underway.find(key));
    finished.wakeAll();
}

PictureStore::PictureStore(qsizetype maxBytes)
    : PictureStore(
        maxBytes, [](const QString& windowsPath, const QString& hostPath, QSize box, bool* damaged) {
            Decoded decoded = decodeJpegFile(windowsPath, hostPath, box);
            *damaged = decoded.damaged;
            return decoded.image;
        })
{
}

PictureStore::PictureStore(qsizetype maxBytes, PictureDecoder decoder)
    : d(std::make_shared<Shared>())
{
    d->decoder = std::move(decoder);
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

QImage PictureStore::load(const QString& windowsPath, QSize box, QString* warning)
{
    if (warning)
        warning->clear();
    const auto host = resolve(windowsPath);
    if (!host)
        noDrive(windowsPath);
    const QString key = keyOf(*host, box);
    const Stamp stamp = stampOf(*host);
    {
        QMutexLocker lock(&d->mutex);
        for (;;) {
            if (const Shared::Entry* entry = d->fresh(key, stamp)) {
                if (warning && entry->damaged)
                    *warning = damagedWarning(windowsPath);
                return entry->image;
            }
            const auto it = d->underway.find(key);
            if (it == d->underway.end())
                break;
            if (it.value() != Shared::Ahead::Decoding) { // not begun: quicker to decode here
                d->forget(it);
                break;
            }
            d->finished.wait(&d->mutex);
        }
    }
    Decoded decoded;
    {
        const ForegroundDecode first; // decodes for later wait meanwhile
        decoded = d->decode(windowsPath, *host, box);
    }
    if (warning && decoded.damaged)
        *warning = damagedWarning(windowsPath);
    if (stamp.valid() && stampOf(*host) == stamp) {
        QMutexLocker lock(&d->mutex);
        d->insert(key, stamp, decoded);
    }
    return decoded.image;
}

QImage PictureStore::cached(const QString& windowsPath, QSize box, QString* warning) const
{
    if (warning)
        warning->clear();
    const auto host = resolve(windowsPath);
    if (!host)
        return {};
    const Stamp stamp = stampOf(*host);
    QMutexLocker lock(&d->mutex);
    const Shared::Entry* entry = d->fresh(keyOf(*host, box), stamp);
    if (!entry)
        return {};
    if (warning && entry->damaged)
        *warning = damagedWarning(windowsPath);
    return entry->image;
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
        d->queue(key);
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
        QString failure;
        try {
            *levels = decodeLevels(windowsPath, hostPath, smallest, [&] { return shared->wanted(request); });
        } catch (const PictureError& e) {
            failure = QStringLiteral("The picture \"%1\" cannot be shown at full size: %2")
                          .arg(windowsPath, e.reason);
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
        if (!failure.isEmpty()) {
            if (shared->wanted(request))
                QMetaObject::invokeMethod(
                    this, [this, failure] { emit failed(failure); }, Qt::QueuedConnection);
            return;
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
