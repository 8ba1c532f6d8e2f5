#pragma once
// Reading the place and picture tables of the original Windows program:
// DESCRIP.DB with its memo file DESCRIP.MB, and PIX.DB, in the desktop table
// engine's format, read through pxlib. The reading runs in a helper program
// watched without blocking the event loop, with a time limit and a way for
// the user to stop it, so a damaged file that makes the library crash or
// loop costs the user a message, never the program, its window or its data.
//
// Every file is opened for reading only (a diskette, a CD, a read-only
// partition, files of another user), and its header is checked by our own
// code before the library sees it: a header the library would loop on,
// read past its buffers with, or take half a minute over is refused at once.

#include "platform/errors.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace corvane::legacy {

struct Place {
    int placeId = 0; // a blank number reads as 0
    QString place;
    QString page;
    QString coords;
    QString memo;
};

struct Picture {
    QString fileName; // six digits as stored
    int placeId = 0; // a blank number reads as 0
    QString caption;
    QString type; // ".JPG"
};

struct Tables {
    QList<Place> places;
    QList<Picture> pictures;
    QStringList unreadable; // places and captions that could not be read, for the user
    bool memoFileMissing = false;
};

// How long the helper may read. Reading genuine tables of 100,000 places
// (with descriptions) and 100,000 pictures takes the helper about 1.6 s on
// a 2-core machine (bench_import: import_reader_100000_s); the limit leaves a
// wide margin for a slow machine and a slow drive. The user can stop the
// reading at any time before that.
constexpr int kReaderTimeLimitMs = 20000;

// Thrown when the user stopped the work; nothing has changed then.
class Cancelled : public platform::AppError {
public:
    Cancelled()
        : AppError(QStringLiteral("The import was stopped; nothing was changed."))
    {
    }
};

// What the user is shown while the helper reads (a stage such as
// "Reading DESCRIP.DB", records done and in all), and whether the user has
// stopped it; both are called from the event loop, often.
struct ReadWatch {
    int timeoutMs = kReaderTimeLimitMs;
    std::function<void(const QString& stage, qint64 done, qint64 total)> progress;
    std::function<bool()> cancelled;
};

// Reads DESCRIP.DB, DESCRIP.MB and PIX.DB (names in any letter case) in a
// host folder, in this process. Throws AppError naming the file and what is
// wrong with it. Only the helper program (and tests) call it. progress, when
// given, hears the file being read and the records done.
Tables readTablesHere(const QString& hostFolder,
    const std::function<void(const char* file, int done, int total)>& progress = {});

// The same in the helper program, waiting in a local event loop (the window
// keeps answering) at most watch.timeoutMs: a crash, a hang or the user's
// stop becomes an AppError (Cancelled for the stop) naming the file the
// helper was reading; the helper is killed then.
Tables readTables(const QString& hostFolder, const ReadWatch& watch);
Tables readTables(const QString& hostFolder, int timeoutMs = kReaderTimeLimitMs);

// The helper program's work: reads hostFolder and writes the result (or the
// error) to out, its progress to standard error. Returns the exit code.
int runReaderHelper(const QString& hostFolder, QIODevice& out);

// The helper program beside this one (or in the build tree).
QString readerProgram();

// The table files in a host folder, matched without regard to case; an
// empty text when there is none.
QString findFile(const QString& hostFolder, const QString& name);

// What a folder the user chose holds, checked before anything is read.
struct FolderCheck {
    QStringList missing; // of DESCRIP.DB and PIX.DB
    bool ownTables = false; // this program's own tables (one of its backups), not the original's
};
FolderCheck checkFolder(const QString& hostFolder);

// Tests only. Runs in the helper's process between fork and exec (to drop
// privileges or mount a folder read-only, as a user's system would).
void setReaderChildSetup(std::function<void()> setup);
// Tests only. Called with the helper's process id once it runs.
void setReaderStartedHook(std::function<void(qint64 pid)> hook);
// Tests only. Blocks the library has allocated and not freed, in this process.
qint64 liveLibraryAllocations();

} // namespace corvane::legacy
