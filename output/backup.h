#pragma once
// The backup to the drive named in the configuration: the picture folder in
// the drive's "Pix\" folder (copying only what is new or changed), then the
// two user tables as checked, consistent copies in the drive's root
// (DESCRIP.DB before PIX.DB), then the set marker CORVANE3.SET. A reader
// sees the previous set or the new one whole, whenever the backup stops: the
// pictures go first (they are only added), both tables are written and
// checked under staging names, the marker is written saying they are the
// set, then they are renamed into place and the marker says complete. A
// failure leaves the previous backup whole and is reported with the drive
// and the cause; nothing is ever silent.

#include "data/user_tables.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace corvane {

class TDataModule1;

// Why nothing can be written to (or, with forWriting false, read from) the
// drive with this letter; empty when the drive is usable.
QString backupDriveProblem(const QString& floppy, bool forWriting);

// What a picture folder copy did.
struct PictureCopy {
    int copied = 0;
    int skipped = 0; // already there, unchanged
    QStringList notPictures; // names in the source folder that are not picture names: never read
    QString failure; // the first file that could not be copied, and why
    QList<PictureFileEntry> files; // every picture file of the source folder, as it was copied
};

// Stage name, work done, work in all: for a progress display.
using StageProgress = std::function<void(const QString& stage, qint64 done, qint64 total)>;

// Copies the picture files of fromFolder into toFolder (created if need
// be). Only files with a plain picture name (six digits and a picture type,
// platform::isPlainPictureName) are ever read; anything else there is
// skipped and listed in notPictures. Each file is written under a passing
// name and put in place in one step.
// Without onlyMissing (a backup), a file is skipped when toFolder holds it
// at its size and alreadyCopied lists it unchanged since (same size, times
// and file number): a file changed since the last copy is copied again even
// when its size stayed. With onlyMissing (a restore), a file already in
// toFolder is never replaced. Stops at the first failure.
PictureCopy copyPictures(const QString& fromFolder, const QString& toFolder, bool onlyMissing,
    const StageProgress& progress = {}, const QList<PictureFileEntry>& alreadyCopied = {});

struct BackupReport {
    bool ok = false;
    QString text; // what the user is told, naming the drive and any cause
    int places = 0;
    int pictures = 0;
    PictureCopy pictureFiles;
};

// Runs one backup on the data module's tables. Stores pending changes first,
// finishes or clears what an interrupted backup left on the drive, copies
// the pictures, writes and checks both tables beside their old copies, puts
// them in place under the set marker, then reopens the tables at their
// first record. Progress names each stage ("Copying pictures...",
// "Writing DESCRIP.DB...", "Checking DESCRIP.DB...", ...).
class Backup {
public:
    Backup(TDataModule1& data, QString programPath);
    void setProgress(StageProgress progress) { m_progress = std::move(progress); }

    // Never throws: every outcome is in the report.
    BackupReport run(const QString& floppy);

private:
    void prepareDrive(const QString& rootHost);
    void writeTables(const QString& rootHost, BackupReport& report);
    void reportProgress(const QString& stage, qint64 done, qint64 total) const;

    TDataModule1& m_data;
    QString m_programPath;
    StageProgress m_progress;
};

// What the backup panel's OK does: takes the drive letter from the
// configuration into vFloppy and vBackupPath, runs the backup with progress
// shown when it takes longer than a second, and tells the user the outcome.
void backupToDrive(QWidget* parent);

// Shows progress of a long step after a second, in a window-modal dialog
// over parent, until it goes out of scope.
class ProgressShown {
public:
    ProgressShown(QWidget* parent, const QString& title);
    ~ProgressShown();
    StageProgress callback();

private:
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace corvane
