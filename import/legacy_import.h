#pragma once
// Bringing the original program's notebook over: its places and pictures
// (read by legacy_reader) added to the user's list or replacing it, with the
// picture files copied into our picture folder. All or nothing: a failure
// at any step, or the user's stop, leaves the tables and the picture folder
// as they were. A picture file that cannot be read does not stop the rest:
// its record comes over as one whose file is missing, and it is named.

#include "import/legacy_reader.h"

#include <QSet>

#include <functional>
#include <string_view>

namespace platform {
class Database;
class Table;
} // namespace platform

namespace corvane::legacy {

// What the user is shown before anything changes.
struct Survey {
    QString pixFolder; // host folder of the original's pictures; empty when there is none
    Tables tables;
    QStringList pictureFiles; // per picture: host path of its file, empty when missing or not imported
    int filesPresent = 0; // of the pictures that will be imported
    int filesMissing = 0;
    int orphanPictures = 0; // pictures of no place: not imported
    QStringList unusableNames; // pictures whose Filename and Type are no plain picture name: not imported
};

// A folder as the user chose it (Windows form or host path) as a host path;
// empty when it does not exist.
QString hostFolder(const QString& folder);

// The original's picture folder beside its Data folder ("..\Pix"), as a
// host path; empty when there is none.
QString pictureFolderBeside(const QString& dataFolder);

// Whether a picture record can be imported: it belongs to one of places
// (ids) and its Filename and Type form a plain picture name ("000123.JPG").
bool isImportable(const Picture& picture, const QSet<int>& placeIds);
bool hasPlainName(const Picture& picture);

// Reads the tables and looks for each picture's file. Throws AppError.
Survey survey(const QString& dataFolder, const QString& pixFolder, int timeoutMs = kReaderTimeLimitMs);
// The same in two steps, the first watched (progress, stop) without
// blocking the event loop; Cancelled when the user stops it.
Survey surveyTables(const QString& dataFolder, const ReadWatch& watch);
enum class ImportMode { Add, Replace };

struct Target {
    platform::Database* database = nullptr;
    platform::Table* descrip = nullptr;
    platform::Table* pix = nullptr;
    QString pixFolder; // Windows form, ends with a backslash
    QString dataFolder; // Windows form, ends with a backslash: where a replaced list is kept
};

struct Outcome {
    int places = 0;
    int pictures = 0;
    int filesCopied = 0;
    int renumberedPlaces = 0;
    int renumberedPictures = 0;
    int orphanPictures = 0; // left out: they belong to no place
    QStringList unusableNames; // left out: no plain picture name
    QStringList unreadableFiles; // imported without their file: it could not be read
    QStringList keptCopies; // Windows-form paths of the replaced tables' copies
};

// Stage, work done and work in all; returns false when the user stops.
// Called at least every few tens of milliseconds on the thread that runs the
// import (the user interface's), which it may let handle events: the work
// on files (listing, copying, renaming, flushing to the disk) runs on a
// thread of its own meanwhile, so a slow disk never stops the window.
using ImportProgress = std::function<bool(const QString& stage, qint64 done, qint64 total)>;

// Looks for the files of the survey's pictures in pixFolder (a Windows-form
// or host path; empty for none), listing the folder once.
void locatePictureFiles(Survey& survey, const QString& pixFolder, const ImportProgress& progress = {});

// Stores the survey's places and pictures. Throws AppError saying what
// failed (Cancelled when progress returned false); nothing has changed then.
Outcome importInto(
    const Target& target, const Survey& survey, ImportMode mode, const ImportProgress& progress = {});

// The free-number rules for a record appended to a table of count records.
// A place: the count when no place uses it, else one more than the highest
// in use, else (the highest being the largest number there is) the lowest
// free number from 0. A picture: count + 1 when no record and no file uses
// it, else the next free number; 0 when none is left below 1,000,000.
int freePlaceId(int count, const QSet<int>& used);
int freePictureNumber(int count, const QSet<QString>& used);

// Tests only: called at each step of importInto ("copied", "stored",
// "renamed"); an exception thrown there fails the import at that step.
void setImportStepHook(std::function<void(std::string_view step)> hook);

} // namespace corvane::legacy
