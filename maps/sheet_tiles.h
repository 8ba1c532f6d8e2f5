#pragma once
// The tile pyramids of the map sheets, shared by the atlas window and the
// full-screen window: one cache and one builder for the program, created
// on first use and living as long as the frame window. A sheet's pyramid is
// built in the background the first time the sheet is shown; until it is
// there, both windows decode the file as they always did. A pyramid that
// cannot be built (a cache that cannot be written, a sheet too large for
// this computer) is never reported: the direct decode still shows the sheet.

#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"

#include <QCache>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <memory>

namespace corvane {

class SheetTiles : public QObject {
    Q_OBJECT
public:
    static SheetTiles& instance();
    ~SheetTiles() override;

    const std::shared_ptr<platform::TilePyramid>& pyramid() const { return m_pyramid; }
    platform::PyramidBuilder& builder() { return *m_builder; }

    // The sheet fitted into `box` from its pyramid; null when it has none.
    QImage fitted(const QString& windowsPath, QSize box) const;
    // The sheet whole from its pyramid's smallest level, a single tile: the
    // first picture of a view whose sharp tiles are on their way. Null when
    // it has no pyramid.
    QImage coarse(const QString& windowsPath) const;
    platform::PyramidInfo info(const QString& windowsPath) const { return m_pyramid->info(windowsPath); }
    // Asks for the pyramid of a sheet the user sees, once per run.
    void requestFor(const QString& windowsPath);
    bool hasFailed(const QString& windowsPath) const { return m_failed.contains(windowsPath); }
    // The sheets among `windowsPaths` that have no pyramid: decoding them
    // ahead is worth it.
    QStringList withoutPyramid(const QStringList& windowsPaths) const;

signals:
    void ready(const QString& windowsPath);
    void failed(const QString& windowsPath);

private:
    explicit SheetTiles(QObject* parent);

    std::shared_ptr<platform::TilePyramid> m_pyramid;
    platform::PyramidBuilder* m_builder;
    QSet<QString> m_failed;
};

// A sheet fitted into `box` (device pixels) as quickly as it can be had:
// decoded ahead already, made from its pyramid, or decoded now, which then
// asks for the pyramid to be built. *damage as PictureStore::load gives it.
QImage sheetPicture(platform::PictureStore& store, const QString& windowsPath, QSize box, QString* damage);

// The tiles of one sheet for one view, decoded on worker threads. A view
// asks for the tiles it lacks (want), draws what tile() holds meanwhile,
// and repaints when arrived() says more came in. Decoded tiles are kept up
// to a bound, least recently used first out; a tile that cannot be read
// (the pyramid went bad) is reported once by lost().
class SheetTileFetcher : public QObject {
    Q_OBJECT
public:
    struct Key {
        int level;
        int column;
        int row;
    };
    SheetTileFetcher(std::shared_ptr<platform::TilePyramid> pyramid, const QString& windowsPath,
        const platform::PyramidInfo& info, QObject* parent = nullptr);
    ~SheetTileFetcher() override; // waits for the tiles being decoded

    const platform::PyramidInfo& info() const { return m_info; }
    QString path() const { return m_path; }
    QImage tile(const Key& key) const; // null while it is not decoded
    // Replaces the tiles asked for before that have not begun, first first.
    void want(const QList<Key>& keys);
    bool waitForIdle(int msecs = -1); // for tests and benchmarks

signals:
    void arrived();
    void lost();

private:
    struct Shared;
    void fetch();

    std::shared_ptr<Shared> d;
    const std::shared_ptr<platform::TilePyramid> m_pyramid;
    const QString m_path;
    const platform::PyramidInfo m_info;
    QThreadPool m_pool;
};

} // namespace corvane
