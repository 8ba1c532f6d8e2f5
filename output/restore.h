#pragma once
// Bringing the user tables back from a backup (or from a kept copy): after a
// confirmation naming the backup's date and record counts, both tables are
// replaced together, missing pictures are copied back, and the replaced
// tables are kept in the Data folder so the restore can be undone.

#include <QDateTime>
#include <QString>

namespace corvane {

class TDataModule1;

// A backup set in a folder: when it was written and what it holds.
struct BackupSet {
    QString folder; // Windows form, ending in a backslash
    QDateTime written;
    int places = 0;
    int pictures = 0;
};

// Reads the set in folder; throws AppError naming the folder and what is
// missing or damaged.
BackupSet inspectBackupSet(const QString& folder);

struct RestoreReport {
    bool ok = false;
    QString text; // what the user is told
    QString keptFolder; // where the replaced tables were kept; empty if none
    int picturesRestored = 0;
};

// Replaces the user tables with the set in folder, without asking: stores
// pending changes, keeps a copy of the present tables, closes them, puts the
// set in place, reopens them at their first record and copies back pictures
// of the set's "Pix\" folder that are missing. Never throws.
RestoreReport restoreUserTables(TDataModule1& data, const BackupSet& set, const QString& programPath);

// Asks, naming the set's date and counts, then restores it and reports the
// outcome. Returns the report (ok false when the user said no).
RestoreReport restoreFromFolder(const QString& folder);

// The Help menu's "Restore from backup...": the set on the backup drive
// named in the configuration.
void restoreFromBackup();

// The copy of the tables that the last restore or import kept (the newest
// "Kept ..." or "Before import ..." folder of the Data folder); empty when
// there is none.
QString newestKeptCopy();
// Undoing a restore or import: asks as a restore does, then brings that
// copy back (keeping the present tables in turn).
void restoreKeptCopy();

} // namespace corvane
