#pragma once
// Bringing the user tables back from a backup (or from a kept copy), all or
// nothing: after a confirmation naming the backup's date and record counts,
// a copy of the present tables is kept in the Data folder (so the restore
// can be undone), the pictures the backup holds and the picture folder lacks
// are copied back (never replacing one that is there), then both tables are
// replaced together under a journal (data/user_tables.h). A restore killed
// part-way is noticed at the next start, which offers to finish it or go
// back (resolveInterruptedRestore).

#include <QDateTime>
#include <QString>
#include <QStringList>

class QWidget;

namespace corvane {

class TDataModule1;

// A backup set in a folder: when it was written and what it holds.
struct BackupSet {
    QString folder; // Windows form, ending in a backslash
    QDateTime written;
    int places = 0;
    int pictures = 0;
    QString descripFile; // host paths of the set's tables
    QString pixFile;
    // Host paths of the tables after those two (the bin, the control
    // points), one each; empty where the set has none (an earlier version's).
    QStringList laterFiles;
    bool marked = false; // its set marker says it is complete
    // Picture records with no file in the set nor in the picture folder,
    // which had none when the set was written either (named, at most 10).
    int picturesWithoutFile = 0;
    QStringList withoutFileNames;
    QStringList notPictures; // files of the set's Pix folder that are not pictures: never read
};

// Reads the set in folder and checks that it is whole: both tables sound
// and holding what the set marker says, every picture file it lists there
// at its size, every picture record named as a picture and with its file.
// A folder without a marker (an earlier version's backup) must have a file
// for every picture record. Throws AppError naming the folder and what is
// missing or damaged. programPath locates the picture folder.
BackupSet inspectBackupSet(const QString& folder, const QString& programPath);
BackupSet inspectBackupSet(const QString& folder);

struct RestoreReport {
    bool ok = false;
    QString text; // what the user is told
    QString keptFolder; // where the replaced tables were kept; empty if none
    int picturesRestored = 0;
};

// Replaces the user tables with the set in folder, without asking: stores
// pending changes, keeps a copy of the present tables, copies back the
// set's missing pictures, stages and checks the set's tables, closes the
// tables, puts the new ones in place and reopens them at their first
// record. Anything failing before the tables are put in place changes
// nothing (the copied-back pictures stay: a file without a record is
// harmless). ok only when every picture record then has its file. Never
// throws.
RestoreReport restoreUserTables(TDataModule1& data, const BackupSet& set, const QString& programPath);

// Asks, naming the set's date and counts, then restores it and reports the
// outcome. Returns the report (ok false when the user said no).
RestoreReport restoreFromFolder(const QString& folder);

// The Help menu's "Restore from backup...": the set on the backup drive
// named in the configuration.
void restoreFromBackup();

// The copy of the tables that the last restore or import kept (the newest
// complete "Kept ..." or "Before import ..." folder of the Data folder);
// empty when there is none.
QString newestKeptCopy();
// Undoing a restore or import: asks as a restore does, then brings that
// copy back (keeping the present tables in turn).
void restoreKeptCopy();

// At start-up, before the tables open: when a restore (or going back) was
// interrupted, tells the user and offers to finish it (Yes) or go back to
// the tables from before it (No); doing neither (the box closed) leaves it
// for the next start and returns false, as does a failure (told). True when
// nothing was pending or it was resolved.
bool resolveInterruptedRestore(QWidget* parent = nullptr);

} // namespace corvane
