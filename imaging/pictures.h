#pragma once
// Map sheets and other JPEG pictures decoded for the box they are shown in.
// libjpeg-turbo scales while it decodes, so a 35-megapixel scan shown in
// 500 x 360 costs only the pixels the box needs. Files are named in Windows
// form and resolved through the one path resolver; errors are AppError with
// the text the user sees. Nothing here knows a window: decoding yields
// QImage (thread-safe), and the caller makes pixmaps on the UI thread.

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <memory>

namespace platform {

// The size a picture of `size` takes in `box`: scaled down with its aspect
// kept when it is larger, its own size when it fits.
QSize fitInto(QSize size, QSize box);

// Decodes the JPEG file at hostPath to fit `box` (in device pixels); the
// Windows path names the file in messages. Throws AppError: "Cannot open
// file "%s". %s" when it cannot be read, a clear message when it is empty,
// holds no picture, is a kind of JPEG not supported, damaged beyond
// reading or too large to decode safely. A file damaged or cut short that
// still yields a picture is returned as far as it could be read, and
// *warning (when given) tells the user so; it is emptied otherwise.
QImage decodePicture(
    const QString& windowsPath, const QString& hostPath, QSize box, QString* warning = nullptr);

// The memory one decode may take, coefficient buffer and picture together:
// a quarter of the machine's memory, never above 1.5 GB. Tests set a
// smaller one; 0 goes back to the machine's.
void setPictureMemoryCeiling(qint64 bytes);

// The message for a picture that cannot be shown, and the warning for one
// shown only as far as it could be read, in the words every picture uses.
[[noreturn]] void refusePicture(const QString& windowsPath, const QString& reason);
QString damagedPictureWarning(const QString& windowsPath);

// Decodes the file at hostPath to fit box, as decodePicture() does; sets
// *damaged for a picture shown only as far as it could be read.
using PictureDecoder
    = std::function<QImage(const QString& windowsPath, const QString& hostPath, QSize box, bool* damaged)>;

// The picture the user asked for goes first. While a ForegroundDecode
// lives, decodes for later (decode-ahead, tile pyramids) pause at their
// next step; threads that do such work mark themselves as background once,
// which also lowers their priority with the system.
class ForegroundDecode {
public:
    ForegroundDecode();
    ~ForegroundDecode();
    ForegroundDecode(const ForegroundDecode&) = delete;
    ForegroundDecode& operator=(const ForegroundDecode&) = delete;
};
void markBackgroundThread();
// Waits while a foreground decode runs, when called on a background
// thread; returns at once when mustGiveWay() says yes.
void yieldToForeground();
// Whether the background decode on this thread must free its buffers now
// (and try again later): it holds a heavy turn the user's decode waits for,
// or, as a decode ahead, any decode of the user's is underway.
bool mustGiveWay();
bool isBackgroundThread();

// Large decodes take turns, so that at most one holds its buffers at a time.
// A decode that needs heavyDecodeBytes() or more holds a turn from before
// its buffers are made until they are freed. The user's own decode
// (UserDecode) goes before any other waiting, and a background holder gives
// its turn back at its next step (mustGiveWay()), so the user waits only for
// buffers being freed. Decodes ahead go before pyramid builds: a build waits
// while any decode ahead is queued or underway. Taking the turn gives the
// memory the allocator keeps for reuse back to the system first.
class HeavyDecodeTurn {
public:
    enum Order { BeforeBuilds, AfterDecodesAhead, UserDecode };
    // Waits for the turn, for later work only while wanted() says yes
    // (asked every few milliseconds); isHeld() tells whether it came.
    explicit HeavyDecodeTurn(Order order, const std::function<bool()>& wanted = {});
    ~HeavyDecodeTurn();
    HeavyDecodeTurn(const HeavyDecodeTurn&) = delete;
    HeavyDecodeTurn& operator=(const HeavyDecodeTurn&) = delete;
    bool isHeld() const { return m_held; }
    static int waiting(); // for tests: decodes for later waiting for their turn
    static int usersWaiting(); // for tests: the user's decodes waiting
    // For benchmarks: whether a decode of this order holds the turn now.
    static bool isHeldBy(Order order);

private:
    bool m_held = false;
};
// 64 MB: a progressive scan of 7000 x 5000 pixels takes 105 to 210 MB of
// coefficients, one of one scan only a few strips. Tests set a smaller
// one; 0 goes back to it.
qint64 heavyDecodeBytes();
void setHeavyDecodeBytes(qint64 bytes);
// The memory decoding the JPEG file at hostPath for a box takes beyond a
// few rows: for a file of several scans, the coefficients of every block
// (the file itself is read as decoding goes).
qint64 decodeBytesEstimate(const QString& hostPath);

// The memory every cache of decoded pictures in the program shares, sized
// from the machine: a 128th of its memory, between 32 and 96 MB. Its shares:
// the tile pyramid's decoded tiles 3/8, the tiles a zoomed view keeps 1/4,
// each window's picture store 3/16 (tiles held by both count once: they
// share their pixels).
qint64 cacheMemoryBudget();
inline qint64 pictureStoreBytes()
{
    return cacheMemoryBudget() * 3 / 16;
}

// Decoded pictures by file and box, with decoding ahead on a worker thread.
// load() is for the UI thread: it answers from the cache while the file is
// unchanged (same modification time and size), waits for a decode of that
// file already underway, or decodes now. decodeAhead() fills the cache for
// pictures the user is likely to ask for next; a failure there is forgotten,
// so the later load() meets the file itself and reports as usual. The cache
// is bounded by the bytes it holds, least recently used first out.
class PictureStore {
public:
    explicit PictureStore(qsizetype maxBytes = pictureStoreBytes());
    ~PictureStore(); // drops queued work and waits for the decode underway
    PictureStore(const PictureStore&) = delete;
    PictureStore& operator=(const PictureStore&) = delete;

    // *warning as decodePicture() gives it, from the cache too.
    QImage load(const QString& windowsPath, QSize box, QString* warning = nullptr);
    // The picture when it is decoded already and the file unchanged; null
    // otherwise. Never decodes.
    QImage cached(const QString& windowsPath, QSize box, QString* warning = nullptr) const;
    // Replaces earlier requests that have not started yet.
    void decodeAhead(const QStringList& windowsPaths, QSize box);

    void clear(); // forgets every decoded picture (queued work too)
    bool waitForIdle(int msecs = -1); // for tests and benchmarks
    bool contains(const QString& windowsPath, QSize box) const; // decoded and unchanged

protected:
    // A store of pictures of other kinds than JPEG.
    PictureStore(qsizetype maxBytes, PictureDecoder decoder);

private:
    struct Shared;
    std::shared_ptr<Shared> d;
    QThreadPool m_pool;
};

// A picture decoded at full resolution for reading fine detail, with
// reduced copies for drawing it small. levels[0] is the whole picture (made
// smaller by a power-of-two step only when it would not fit the memory set
// aside for it); each further level is half the one before, down to the
// last that still covers `smallest`.
struct PictureLevels {
    QSize native; // the picture's own size
    QList<QImage> levels;
    QString warning; // as decodePicture() gives it
    qint64 bytes() const;
};

// The size a JPEG file's header gives; invalid when it cannot be read.
QSize pictureSize(const QString& windowsPath);

// Decodes the JPEG file at hostPath into levels. `wanted` is asked between
// steps; when it says no, the levels made so far are returned. Throws
// AppError as decodePicture() does.
PictureLevels decodeLevels(const QString& windowsPath, const QString& hostPath, QSize smallest,
    const std::function<bool()>& wanted = {});

// Full-resolution pictures for zooming, decoded on a worker thread one at a
// time. request() forgets the picture held and starts on the next; ready()
// tells the UI thread that picture() holds it. A decode that is no longer
// wanted is dropped before the next one starts, so at most one such picture
// is in memory as long as the caller drops its copy before it asks for the
// next. A picture that cannot be decoded at full size is forgotten, and
// failed() gives the message for the user (the picture fitted to the
// window is all there is to see).
class FullPictureLoader : public QObject {
    Q_OBJECT
public:
    explicit FullPictureLoader(QObject* parent = nullptr);
    ~FullPictureLoader() override; // waits for the decode underway

    void request(const QString& windowsPath, QSize smallest);
    void release(); // forgets the picture held and the decode asked for
    QString requested() const { return m_requested; }
    std::shared_ptr<const PictureLevels> picture() const;
    bool waitForIdle(int msecs = -1); // for tests and benchmarks

signals:
    void ready();
    void failed(const QString& message);

private:
    struct Shared;
    std::shared_ptr<Shared> d;
    QThreadPool m_pool;
    QString m_requested;
};

} // namespace platform
