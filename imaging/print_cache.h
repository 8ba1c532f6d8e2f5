#pragma once
// Attached photos decoded for print, kept as small JPEGs (already fitted to
// the print box and turned upright) in the user's cache folder beside the
// tile pyramids, so that a report made again after an edit reads a few
// hundred kilobytes a photo instead of decoding megapixels. An entry is
// named by the photo's host path, size, modification time and inode and by
// the box, so a photo edited or replaced is decoded afresh. Entries are
// written under temporary names and renamed; one that cannot be read is
// made anew, and a folder that cannot be written means only no caching.
// Metafiles are drawn as vectors and never come here. Thread-safe.

#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

// $XDG_CACHE_HOME/corvane3/print, beside the tile cache.
QString defaultPrintCacheFolder();

class PrintCache {
public:
    struct Options {
        QString folder = defaultPrintCacheFolder();
        qint64 maxBytes = printCacheBytes(); // trim() keeps the cache within this
        int quality = 90;
    };
    // Half the bound the user configured for the tile cache: at about
    // 100 KB a photo, room for some ten thousand photos by default.
    static qint64 printCacheBytes();

    PrintCache();
    explicit PrintCache(const Options& options);
    const Options& options() const { return m_options; }

    // loadPictureFile() for print: from the cache when an entry for the
    // picture as it is now and this box is there and whole, otherwise
    // decoded and, for JPEGs and bitmaps read in full, stored. Throws
    // AppError as loadPictureFile() does.
    QImage load(const QString& windowsPath, QSize box, QString* warning = nullptr) const;

    // Removes the entries used least recently until the cache holds at most
    // maxBytes, and temporary files left by a run that was killed.
    void trim() const;

private:
    QString entryPath(const QString& hostPath, QSize box) const;

    Options m_options;
};

} // namespace platform
