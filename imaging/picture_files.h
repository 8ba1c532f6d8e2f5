#pragma once
// The pictures a user attaches to a place: JPEG, bitmap, Windows metafile
// and enhanced metafile, recognised by the file's name and decoded for the
// box they are shown in. JPEG goes through the sheet decoder (scaled while
// decoding), bitmaps through Qt, metafiles through libwmf and libemf2svg in
// a helper process with limits on time and memory, so a damaged file costs a
// message, never the program. Nothing here knows a window; all of it may run
// on any thread. Errors are AppError with the text the user sees.

#include "imaging/pictures.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

// The type an attached picture is stored under, taken from the last four
// characters of its name: ".BMP", ".JPG", ".WMF" and ".EMF" in any mixture
// of capitals and small letters, and ".JPEG" for exactly "jpeg" or "JPEG".
// Empty when the file is not accepted (".gif", "Jpeg", ...).
QString attachableType(const QString& fileName);

// True only for the names picture files have in the picture folder: six
// digits and an accepted type (".JPG", ".jpeg", ".BMP", ...), with no folder
// and no "..". A name read from a backup disk or an imported table is used
// only when it is such a name, so that none can reach another file.
bool isPlainPictureName(const QString& fileName);

// Decodes the accepted picture at windowsPath (or a host path) to fit `box`
// in device pixels, its aspect kept and never enlarged. A JPEG's EXIF
// orientation is applied. Throws AppError naming the file when it cannot be
// shown: missing, empty, damaged, cut short, absurdly large, of a type not
// accepted, or not what its name says. *warning (when given) tells of a
// picture shown only as far as it could be read, and is emptied otherwise.
QImage loadPictureFile(const QString& windowsPath, QSize box, QString* warning = nullptr);

// An enhanced metafile's drawing as SVG, for pages that draw it as vectors
// rather than as pixels; empty for the other kinds. Throws AppError as
// loadPictureFile() does when the drawing cannot be had.
QByteArray pictureDrawing(const QString& windowsPath);

// The picture's own size, orientation applied (a metafile's at 96 dots an
// inch); invalid when it cannot be read.
QSize pictureFileSize(const QString& windowsPath);

// Decoded attached pictures by file and box, with decoding ahead on a worker
// thread: PictureStore's cache and contract for every accepted type.
class AttachedPictureStore : public PictureStore {
public:
    explicit AttachedPictureStore(qsizetype maxBytes = pictureStoreBytes());
};

// Where the metafile helper is; tests point at the build tree's copy.
QString metafileRendererProgram();

} // namespace platform
