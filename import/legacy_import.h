#pragma once
// Bringing the original program's notebook over: its places and pictures
// (read by legacy_reader) added to the user's list or replacing it, with the
// picture files copied into our picture folder. All or nothing: a failure
// at any step leaves the tables and the picture folder as they were.

#include "import/legacy_reader.h"

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
    QStringList pictureFiles; // per picture: host path of its file, empty when missing
    int filesPresent = 0;
    int filesMissing = 0;
    int orphanPictures = 0; // pictures of no place: not imported
};

// A folder as the user chose it (Windows form or host path) as a host path;
// empty when it does not exist.
QString hostFolder(const QString& folder);

// The original's picture folder beside its Data folder ("..\Pix"), as a
// host path; empty when there is none.
QString pictureFolderBeside(const QString& dataFolder);

// Reads the tables and looks for each picture's file. Throws AppError.
Survey survey(const QString& dataFolder, const QString& pixFolder, int timeoutMs = 60000);

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
    QStringList keptCopies; // Windows-form paths of the replaced tables' copies
};

// Stores the survey's places and pictures. Throws AppError saying what
// failed; nothing has changed then.
Outcome importInto(const Target& target, const Survey& survey, ImportMode mode);

// The free-number rules for a record appended to a table of count records.
// A place: the count when no place uses it, else one more than the highest
// in use. A picture: count + 1 when no record and no file uses it, else the
// next free number; 0 when none is left below 1,000,000.
int freePlaceId(int count, const QSet<int>& used);
int freePictureNumber(int count, const QSet<QString>& used);

// Tests only: called at each step of importInto ("copied", "stored",
// "renamed"); an exception thrown there fails the import at that step.
void setImportStepHook(std::function<void(std::string_view step)> hook);

} // namespace corvane::legacy
