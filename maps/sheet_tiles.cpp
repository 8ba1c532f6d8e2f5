#include "maps/sheet_tiles.h"

#include "core/shell.h"
#include "platform/errors.h"

#include <QPointer>
#include <QWidget>

namespace corvane {

namespace {

QPointer<SheetTiles> g_instance;

// Two workers: a screenful of tiles comes in about half the time, and the
// decodes of one sheet never need much memory at once.
constexpr int kTileWorkers = 2;
// Decoded tiles a view keeps, its share of the program's cache budget:
// more than two full screens' worth at any zoom.
qint64 viewTileBytes()
{
    return platform::cacheMemoryBudget() / 4;
}

quint64 packed(const SheetTileFetcher::Key& key)
{
    return quint64(key.level) << 48 | quint64(key.column) << 24 | quint64(key.row);
}

} // namespace

SheetTiles& SheetTiles::instance()
{
    if (!g_instance)
        g_instance = new SheetTiles(shell().frameWindow()); // ends with the frame
    return *g_instance;
}

SheetTiles::SheetTiles(QObject* parent)
    : QObject(parent)
    , m_pyramid(std::make_shared<platform::TilePyramid>())
    , m_builder(new platform::PyramidBuilder(m_pyramid, this))
{
    connect(m_builder, &platform::PyramidBuilder::ready, this, &SheetTiles::ready);
    connect(m_builder, &platform::PyramidBuilder::failed, this, [this](const QString& path, const QString&) {
        m_failed.insert(path);
        emit failed(path);
    });
}

SheetTiles::~SheetTiles() = default;

QImage SheetTiles::fitted(const QString& windowsPath, QSize box) const
{
    const platform::ForegroundDecode first;
    return m_pyramid->levelImageFor(windowsPath, box);
}

QImage SheetTiles::coarse(const QString& windowsPath) const
{
    const platform::PyramidInfo info = m_pyramid->info(windowsPath);
    if (!info.isValid())
        return {};
    const platform::ForegroundDecode first;
    return m_pyramid->levelImageFor(windowsPath, info.levels.constLast());
}

void SheetTiles::requestFor(const QString& windowsPath)
{
    if (!m_failed.contains(windowsPath))
        m_builder->request(windowsPath, true);
}

QStringList SheetTiles::withoutPyramid(const QStringList& windowsPaths) const
{
    QStringList paths;
    for (const QString& path : windowsPaths)
        if (!m_pyramid->isReady(path))
            paths << path;
    return paths;
}

QImage sheetPicture(platform::PictureStore& store, const QString& windowsPath, QSize box, QString* damage)
{
    SheetTiles& tiles = SheetTiles::instance();
    QImage image = store.cached(windowsPath, box, damage);
    if (image.isNull()) {
        image = tiles.fitted(windowsPath, box);
        if (!image.isNull())
            return image;
        try {
            image = store.load(windowsPath, box, damage);
        } catch (const platform::AppError&) {
            // Too large to decode for showing may still get a pyramid,
            // whose one-time build may use more; other faults fail it at once.
            tiles.requestFor(windowsPath);
            throw;
        }
    }
    // A damaged file is decoded afresh each time, so the user is told each time.
    if (damage->isEmpty())
        tiles.requestFor(windowsPath);
    return image;
}

struct SheetTileFetcher::Shared {
    QMutex mutex;
    QList<quint64> pending;
    QSet<quint64> underway;
    QCache<quint64, QImage> tiles;
    int workers = 0;
    bool lost = false;
};

SheetTileFetcher::SheetTileFetcher(std::shared_ptr<platform::TilePyramid> pyramid, const QString& windowsPath,
    const platform::PyramidInfo& info, QObject* parent)
    : QObject(parent)
    , d(std::make_shared<Shared>())
    , m_pyramid(std::move(pyramid))
    , m_path(windowsPath)
    , m_info(info)
{
    d->tiles.setMaxCost(viewTileBytes());
    m_pool.setMaxThreadCount(kTileWorkers);
    m_pool.setObjectName(QStringLiteral("SheetTiles"));
}

SheetTileFetcher::~SheetTileFetcher()
{
    {
        QMutexLocker lock(&d->mutex);
        d->pending.clear();
    }
    m_pool.waitForDone();
}

QImage SheetTileFetcher::tile(const Key& key) const
{
    QMutexLocker lock(&d->mutex);
    const QImage* image = d->tiles.object(packed(key));
    return image ? *image : QImage();
}

void SheetTileFetcher::want(const QList<Key>& keys)
{
    QMutexLocker lock(&d->mutex);
    d->pending.clear();
    if (d->lost)
        return;
    for (const Key& key : keys) {
        const quint64 k = packed(key);
        if (!d->tiles.contains(k) && !d->underway.contains(k))
            d->pending << k;
    }
    while (d->workers < kTileWorkers && d->workers < d->pending.size()) {
        ++d->workers;
        m_pool.start([this] { fetch(); });
    }
}

// One worker: tiles in the order asked until none is left.
void SheetTileFetcher::fetch()
{
    for (;;) {
        quint64 k = 0;
        {
            QMutexLocker lock(&d->mutex);
            if (d->pending.isEmpty()) {
                --d->workers;
                return;
            }
            k = d->pending.takeFirst();
            d->underway.insert(k);
        }
        const QImage image
            = m_pyramid->tile(m_path, int(k >> 48), int((k >> 24) & 0xFFFFFF), int(k & 0xFFFFFF));
        bool lostNow = false;
        {
            QMutexLocker lock(&d->mutex);
            d->underway.remove(k);
            if (image.isNull()) {
                lostNow = !d->lost;
                d->lost = true;
                d->pending.clear();
            } else {
                d->tiles.insert(k, new QImage(image), image.sizeInBytes());
            }
        }
        // The destructor waits for this worker, so the fetcher is there.
        if (lostNow)
            QMetaObject::invokeMethod(this, &SheetTileFetcher::lost, Qt::QueuedConnection);
        else if (!image.isNull())
            QMetaObject::invokeMethod(this, &SheetTileFetcher::arrived, Qt::QueuedConnection);
    }
}

bool SheetTileFetcher::waitForIdle(int msecs)
{
    return m_pool.waitForDone(msecs);
}

} // namespace corvane
