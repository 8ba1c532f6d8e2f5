#pragma once
// The backup to the drive named in the configuration: the two user tables as
// checked, consistent copies in the drive's root (DESCRIP.DB before PIX.DB),
// and the picture folder in its "Pix\" folder, copying only what is new or
// changed. A failure leaves the previous backup as it was and is reported
// with the drive and the cause; nothing is ever silent.

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
    QString failure; // the first file that could not be copied, and why
};

// Stage name, work done, work in all: for a progress display.
using StageProgress = std::function<void(const QString& stage, qint64 done, qint64 total)>;

// Copies the files of fromFolder into toFolder (created if need be). A file
// of the same name, size and modification time is skipped; with onlyMissing
// any file already there is kept. Stops at the first failure.
PictureCopy copyPictures(
    const QString& fromFolder, const QString& toFolder, bool onlyMissing, const StageProgress& progress = {});

struct BackupReport {
    bool ok = false;
    QString text; // what the user is told, naming the drive and any cause
    int places = 0;
    int pictures = 0;
    PictureCopy pictureFiles;
};

// Runs one backup on the data module's tables. Stores pending changes first,
// writes each table beside its old copy and puts both in place only when
// both are checked, then reopens the tables at their first record.
class Backup {
public:
    Backup(TDataModule1& data, QString programPath);
    void setProgress(StageProgress progress) { m_progress = std::move(progress); }

    // Never throws: every outcome is in the report.
    BackupReport run(const QString& floppy);

private:
    void writeTables(const QString& root, BackupReport& report);
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
