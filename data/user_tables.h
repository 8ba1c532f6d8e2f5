#pragma once
// The user's own tables, DESCRIP.DB and PIX.DB, as files: consistent copies,
// checks of a written copy, kept copies before they are replaced, replacing
// them all or nothing, and closing and reopening them around such work. The
// backup, its restore and imports share these. Paths are Windows form
// unless named host.
//
// What survives a kill at any moment:
// - A set of tables (a backup set, a kept copy) is complete only when its
//   set marker (CORVANE3.SET) says so; the marker is written last.
// - Replacing the live tables is journaled: the new files are written and
//   checked under staging names (".NEW") first, then a journal is written,
//   then they are renamed into place. A start that finds the journal
//   finishes the replacement or goes back to the kept copy it names.
// - Everything left by interrupted work (staging files, passing copies,
//   half kept copies) is removed at the next start.

#include "tables/table.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

namespace corvane {

class TDataModule1;

// DESCRIP's before PIX's, then the bin's (data/bin_tables.h) and the
// control points' (data/control_points.h) unless they cannot be made: the
// order every copy keeps.
QList<platform::Table*> userTables(const TDataModule1& data);
// The file names of the user tables, in that order.
QStringList userTableFileNames();
// The tables after DESCRIP and PIX, in that order: a set written by an
// earlier version may lack them.
QList<platform::TableDef> laterUserTableDefs();

// The installation's Data folder as the engine alias names it ("...\Data\").
QString dataFolder();

// Writes a consistent copy of the table as stored (open or closed) to a new
// file at hostTargetPath. Throws AppError naming the file and the cause.
void snapshotTable(const platform::Table* table, const QString& hostTargetPath,
    const platform::Database::Progress& progress = {});

// The table's stored record count, open or closed.
int storedRecordCount(const platform::Table* table);

// Throws AppError unless the file opens read-only, passes SQLite's
// integrity check and holds expectedCount records.
void verifyTableFile(const QString& hostPath, int expectedCount);

// Throws AppError unless the copy at copyHostPath is the table file at
// originalHostPath byte for byte (see Database::checkCopy), sound, and holds
// expectedCount records.
void verifyCopy(const QString& originalHostPath, const QString& copyHostPath, int expectedCount);

// ---------------------------------------------------------------- set marker

// The file that makes a folder of table files a complete set.
inline const QString kSetMarkerName = QStringLiteral("CORVANE3.SET");

// A picture file of a set, and who it was copied from: the original's size,
// times and file number. A file is copied again when any of them changed.
struct PictureFileEntry {
    QString name;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 fileNumber = 0;
    bool operator==(const PictureFileEntry&) const = default;
};

struct SetMarker {
    enum class State {
        Missing, // no marker: written by an earlier version, or never finished
        Moving, // the new set is complete and checked; its tables are being renamed
        Complete
    };
    State state = State::Missing;
    QDateTime written;
    int places = -1;
    int pictures = -1;
    // Whether the set keeps picture files in its own Pix folder (a backup);
    // a kept copy has none (the pictures stay in the picture folder).
    bool hasPictureFolder = false;
    QList<PictureFileEntry> pictureFiles;
};

// The marker in the host folder; state Missing when there is none or it
// cannot be read whole.
SetMarker readSetMarker(const QString& hostFolder);
// Writes it in one step, on the disk before it returns. Throws AppError.
void writeSetMarker(const QString& hostFolder, const SetMarker& marker);

// ---------------------------------------------------------------- kept copies

// At most this many kept copies stay in the Data folder; the oldest go.
inline constexpr int kKeptCopiesLimit = 10;

// Writes a checked copy of the tables, as stored, into a new folder
// "<label> yyyy-MM-dd hhmmss\" of dataFolder (Windows form, ending in a
// backslash), marks it complete last, and removes the oldest copies beyond
// kKeptCopiesLimit. Returns that folder. Throws AppError; nothing is kept
// then.
QString keepCopyOfTables(
    const QList<platform::Table*>& tables, const QString& dataFolder, const QString& label);
// The same for both user tables, in a "Kept ..." folder of the Data folder.
QString keepCopyOfUserTables(const TDataModule1& data);

// The complete kept copies ("Kept ..." and "Before import ..." folders whose
// marker is complete), newest first, as Windows-form folders.
QStringList completeKeptCopies(const QString& dataFolder);
// Removes a kept copy (one whose replacement was given up).
void removeKeptCopy(const QString& folder);

// ---------------------------------------------------------------- replacing

// Closes DESCRIP then PIX (a pending change must have been stored before).
void closeUserTables(const TDataModule1& data);
// Opens DESCRIP then PIX, each at its first record.
void reopenUserTables(const TDataModule1& data);

// Name used for a file being written before it replaces name.
QString stagingName(const QString& name);

// Writes each file of sourceHostPaths (one per table, same order) beside
// that table's file under its staging name and checks it. Nothing live
// changes; on failure the staged files are removed and AppError thrown.
void stageTableFiles(const QList<platform::Table*>& tables, const QStringList& sourceHostPaths);
// Puts the staged files in place, all or nothing: journal first (naming
// from, the set they come from, and kept, the kept copy of the tables they
// replace), then the renames, then the journal goes. The tables must be
// closed. Throws AppError when a rename fails; the journal then stays, and
// the next start finishes or goes back.
void putStagedTablesInPlace(
    const QList<platform::Table*>& tables, const QString& from, const QString& keptFolder);
// stageTableFiles, then putStagedTablesInPlace.
void replaceTableFiles(const QList<platform::Table*>& tables, const QStringList& sourceHostPaths,
    const QString& from = {}, const QString& keptFolder = {});

// A replacement that a kill interrupted, found from its journal.
struct InterruptedReplacement {
    bool pending = false;
    QString from; // where the new tables came from (a backup, a kept copy)
    QString kept; // the kept copy of the tables they replaced; empty if none
    QStringList replaced; // tables already in place
    QStringList waiting; // tables still under their staging names
};
InterruptedReplacement interruptedReplacement();
// Puts the waiting tables in place. Throws AppError.
void finishReplacement();
// Brings back the kept copy the journal names instead. Throws AppError
// (the journal stays) when there is none or it cannot be copied.
void undoReplacement();

// At start-up, before the tables open (and after an interrupted replacement
// is resolved): removes what interrupted work left: staged tables and their
// journals in the Data folder, kept copies never completed, passing copies
// (".part") and import temporaries ("~import-") in the picture folder, and
// kept copies beyond the limit. Returns a line per thing removed.
QStringList cleanUpInterruptedWork(const QString& programPath);

// Tests only: called at each named step of work that a kill may interrupt
// ("backup: set marked", "replace: journal written", "attach: file
// copied", ...); the kill tests end the process there.
void setWorkStepHook(std::function<void(std::string_view step)> hook);
void workStep(std::string_view step);

} // namespace corvane
