#pragma once
// The user's own tables, DESCRIP.DB and PIX.DB, as files: consistent copies,
// checks of a written copy, a kept copy before they are replaced, replacing
// them, and closing and reopening them around such work. The backup, its
// restore and imports share these. Paths are Windows form unless named host.

#include "tables/table.h"

#include <QList>
#include <QString>

namespace corvane {

class TDataModule1;

// DESCRIP's before PIX's, the order every copy keeps.
QList<platform::Table*> userTables(const TDataModule1& data);

// The installation's Data folder as the engine alias names it ("...\Data\").
QString dataFolder();

// Writes a consistent copy of the table as stored (open or closed) to a new
// file at hostTargetPath. Throws AppError naming the file and the cause.
void snapshotTable(const platform::Table* table, const QString& hostTargetPath,
    const platform::Database::Progress& progress = {});

// The table's stored record count, open or closed.
int storedRecordCount(const platform::Table* table);

// Throws AppError unless the file opens read-only, passes SQLite's integrity
// check and holds expectedCount records.
void verifyTableFile(const QString& hostPath, int expectedCount);

// Writes a checked copy of the tables, as stored, into a new folder
// "<label> yyyy-MM-dd hhmmss\" of dataFolder (Windows form, ending in a
// backslash), so replacing them can be undone. Returns that folder. Throws
// AppError; nothing is replaced then.
QString keepCopyOfTables(
    const QList<platform::Table*>& tables, const QString& dataFolder, const QString& label);
// The same for both user tables, in a "Kept ..." folder of the Data folder.
QString keepCopyOfUserTables(const TDataModule1& data);

// Closes DESCRIP then PIX (a pending change must have been stored before).
void closeUserTables(const TDataModule1& data);
// Opens DESCRIP then PIX, each at its first record.
void reopenUserTables(const TDataModule1& data);

// Writes each file of sourceHostPaths (one per table of tables, same order)
// beside that table's own file, checks it, then puts all of them in place
// one after another. The tables must be closed. When anything fails before
// the first is put in place, every table stays as it was.
void replaceTableFiles(const QList<platform::Table*>& tables, const QStringList& sourceHostPaths);

// Name used for a file being written before it replaces name.
QString stagingName(const QString& name);

} // namespace corvane
