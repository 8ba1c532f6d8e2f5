#pragma once
// Map sheets kept as tile pyramids in the user's cache folder, so that a
// sheet of any size is shown in a box, or zoomed to its own resolution, by
// decoding only a few small tiles. Level 0 is the sheet at its own size,
// each further level half the one before (rounded up), down to the first
// that fits in one tile; every level is cut into square JPEG tiles.
//
// A sheet's pyramid is keyed by the sheet's resolved host path and is good
// only while the sheet's size and modification time are those its manifest
// records. The manifest is written last, tiles are written under temporary
// names and renamed, and a tile that cannot be read throws the pyramid away:
// the cache is never needed for correctness, only for speed. The cache is
// bounded in bytes; the pyramids used least recently go first.
//
// Everything here is window-free and thread-safe; files are named in Windows
// form and resolved through the one path resolver.

#include "imaging/pictures.h"

#include <QCache>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

namespace platform {

// The memory a sheet's one-time decode for its pyramid may take: a quarter
// of the machine's memory. Unlike a decode for showing (never above 1.5 GB)
// it has no fixed cap: it happens once per sheet, on a worker, and only for
// a file that passed the checks against damage (complete to its last scan,
// a header that its bytes can hold), so the largest genuine scans, which
// need about 1.7 GB once, get a pyramid where the machine has the memory.
qint64 decodeMemoryCeiling();

// The cache's folder: $XDG_CACHE_HOME/corvane3/tiles.
QString defaultTileCacheFolder();

// A JPEG of the caches' own making, decoded whole: null when it cannot be
// read, gives any warning, or is not of the size expected, so that a
// damaged entry is made anew. A tile has its size exactly; a print entry,
// fitted to its box, at most the box.
enum class CachedSize { Exactly, AtMost };
QImage decodeCachedJpeg(const QString& path, QSize box, CachedSize expected);

// The cache's bound from the line "cache = 2G" (K, M, G or plain bytes) of
// the user's corvane3.conf in the XDG config folder; 2 GB when it is absent
// or unreadable.
qint64 configuredTileCacheBytes();
QString tileCacheConfigFilePath(); // $XDG_CONFIG_HOME/corvane3/corvane3.conf

// What the manifest of a finished pyramid records.
struct PyramidInfo {
    QSize native; // the sheet's own size
    int tileSize = 0;
    QList<QSize> levels; // levels[0] == native, each next one half as large
    qint64 bytes = 0; // on disk, tiles and manifest

    bool isValid() const { return !levels.isEmpty(); }
    int columns(int level) const { return (levels[level].width() + tileSize - 1) / tileSize; }
    int rows(int level) const { return (levels[level].height() + tileSize - 1) / tileSize; }
    // The smallest level at least as large as `size` in both directions
    // (level 0 when none is).
    int levelCovering(QSize size) const;
};

class TilePyramid {
public:
    struct Options {
        QString folder = defaultTileCacheFolder();
        qint64 maxBytes = configuredTileCacheBytes();
        qint64 memoryCeiling = decodeMemoryCeiling();
        int tileSize = 512;
        int quality = 90;
        qint64 tileCacheBytes = cacheMemoryBudget() * 3 / 8; // decoded tiles kept in memory
    };
    TilePyramid();
    explicit TilePyramid(const Options& options);
    ~TilePyramid();
    TilePyramid(const TilePyramid&) = delete;
    TilePyramid& operator=(const TilePyramid&) = delete;

    const Options& options() const { return m_options; }

    // Builds the sheet's pyramid unless a good one is there, then trims the
    // cache; true when the pyramid is ready. `wanted` is asked between
    // strips: a build no longer wanted returns false and leaves nothing
    // trusted behind. On a background thread, a build that needs much memory
    // first waits for its HeavyDecodeTurn, and returns false when it is no
    // longer wanted meanwhile; it frees its buffers for the user's heavy
    // decode and starts again when its turn comes back. Throws AppError
    // with the text the user sees: the file cannot be opened, is not a JPEG, is damaged, or needs more
    // memory to decode than the ceiling allows (memoryCeiling: the
    // coefficients of a progressive sheet and the strips of every level);
    // or the cache cannot be written.
    bool build(const QString& windowsPath, const std::function<bool()>& wanted = {});

    // The finished pyramid of the sheet as it is now; invalid when there is
    // none, or the sheet changed since it was built.
    PyramidInfo info(const QString& windowsPath) const;
    bool isReady(const QString& windowsPath) const { return info(windowsPath).isValid(); }

    // The sheet fitted into `box` (aspect kept, never enlarged), made from
    // the smallest level that covers the fitted size. Null when there is no
    // good pyramid; the caller then decodes the sheet itself.
    QImage levelImageFor(const QString& windowsPath, QSize box) const;
    // One tile, Format_RGB32, at most tileSize square (smaller at the right
    // and bottom edges). Null when there is no good pyramid, or the tile
    // is outside it or damaged (which throws the pyramid away).
    QImage tile(const QString& windowsPath, int level, int column, int row) const;

    // Removes the sheet's pyramid (and its decoded tiles from memory).
    void remove(const QString& windowsPath);
    // Removes pyramids, least recently used first, until the cache holds at
    // most maxBytes; `keep` (a host path) stays whatever its size.
    void trim(const QString& keepHostPath = {});
    qint64 diskBytes() const; // of every finished pyramid
    void clearMemory(); // forgets decoded tiles

    // The folder holding the pyramid of the sheet at this host path.
    QString folderFor(const QString& hostPath) const;

private:
    struct Entry;
    bool buildOnce(const QString& windowsPath, const std::function<bool()>& wanted);
    std::shared_ptr<const Entry> entryFor(const QString& windowsPath) const;
    QImage readTile(const Entry& entry, int level, int column, int row) const;
    void forget(const QString& hostPath) const;
    void touch(const Entry& entry) const;

    Options m_options;
    mutable QMutex m_mutex;
    mutable QHash<QString, std::shared_ptr<const Entry>> m_entries; // by host path
    mutable QCache<QString, QImage> m_tiles; // decoded tiles by folder/level/column/row
};

// Builds pyramids on one worker thread, one sheet at a time, in the order
// asked; request(..., true) puts the sheet the user is looking at first.
// ready() and failed() are emitted from the worker thread, so receivers on
// the UI thread get them queued. A sheet whose pyramid is already good is
// announced ready without building.
class PyramidBuilder : public QObject {
    Q_OBJECT
public:
    explicit PyramidBuilder(std::shared_ptr<TilePyramid> pyramid, QObject* parent = nullptr);
    ~PyramidBuilder() override; // abandons the queue and the build underway

    std::shared_ptr<TilePyramid> pyramid() const { return m_pyramid; }
    void request(const QString& windowsPath, bool visible = false);
    QStringList queued() const;
    bool waitForIdle(int msecs = -1); // for tests and benchmarks

signals:
    void ready(const QString& windowsPath);
    void failed(const QString& windowsPath, const QString& message);

private:
    void run();

    std::shared_ptr<TilePyramid> m_pyramid;
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    QStringList m_queue;
    QString m_building;
    bool m_stopping = false;
    std::atomic<bool> m_abandon { false };
    QThread* m_thread = nullptr;
};

} // namespace platform
