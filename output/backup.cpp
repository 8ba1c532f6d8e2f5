#include "output/backup.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "platform/desktop.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProgressDialog>

namespace corvane {

namespace {

// FAT keeps modification times to two seconds.
constexpr qint64 kSameTimeMs = 2000;

QString driveName(const QString& floppy)
{
    return floppy + QLatin1Char(':');
}

// The picture files of a folder, by name; empty when it does not exist.
QFileInfoList filesIn(const QString& windowsFolder)
{
    const auto host = platform::resolve(windowsFolder);
    if (!host)
        return {};
    return QDir(*host).entryInfoList(QDir::Files, QDir::Name);
}

bool sameFile(const QFileInfo& source, const QFileInfo& target)
{
    return target.isFile() && target.size() == source.size()
        && std::abs(target.lastModified().msecsTo(source.lastModified())) <= kSameTimeMs;
}

void keepModificationTime(const QString& hostPath, const QDateTime& time)
{
    QFile file(hostPath);
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(time, QFileDevice::FileModificationTime);
}

} // namespace

QString backupDriveProblem(const QString& floppy, bool forWriting)
{
    if (floppy.trimmed().isEmpty())
        return QStringLiteral("No backup drive is set. Choose the backup drive letter with \"Reconfigure\" "
                              "in the Help menu, then try again.");
    if (floppy.size() != 1 || !floppy.at(0).isLetter())
        return QStringLiteral(
            "\"%1\" is not a drive letter. Choose the backup drive letter with \"Reconfigure\" "
            "in the Help menu, then try again.")
            .arg(floppy);
    const auto drive = platform::DriveTable::instance().drive(floppy.at(0));
    if (!drive)
        return QStringLiteral("There is no drive %1 on this computer. Choose another backup drive with "
                              "\"Reconfigure\", or name a folder for %1 in %2.")
            .arg(driveName(floppy), QDir::toNativeSeparators(platform::DriveTable::configFilePath()));
    const QFileInfo folder(drive->hostFolder);
    if (!folder.isDir())
        return QStringLiteral("Drive %1 is not ready: its folder %2 does not exist. Insert or connect the "
                              "backup disk, then try again.")
            .arg(driveName(floppy), QDir::toNativeSeparators(drive->hostFolder));
    if (forWriting && (drive->readOnly || !folder.isWritable()))
        return QStringLiteral("Drive %1 is write-protected (read-only).").arg(driveName(floppy));
    return {};
}

PictureCopy copyPictures(
    const QString& fromFolder, const QString& toFolder, bool onlyMissing, const StageProgress& progress)
{
    PictureCopy result;
    const QFileInfoList sources = filesIn(fromFolder);
    if (sources.isEmpty())
        return result;
    const auto targetFolder = platform::resolve(toFolder);
    if (!targetFolder || !QDir().mkpath(*targetFolder)) {
        result.failure = QStringLiteral("Cannot create the folder \"%1\".").arg(toFolder);
        return result;
    }
    QFileInfoList toCopy;
    qint64 total = 0;
    for (const QFileInfo& source : sources) {
        const QFileInfo target(QDir(*targetFolder).filePath(source.fileName()));
        if (onlyMissing ? target.exists() : sameFile(source, target)) {
            ++result.skipped;
            continue;
        }
        toCopy << source;
        total += source.size();
    }
    qint64 done = 0;
    for (const QFileInfo& source : std::as_const(toCopy)) {
        if (progress)
            progress(QStringLiteral("Copying pictures..."), done, total);
        const QString target = toFolder + source.fileName();
        try {
            platform::copyFile(fromFolder + source.fileName(), target);
        } catch (const std::exception& e) {
            result.failure = QString::fromStdString(e.what());
            return result;
        }
        keepModificationTime(platform::resolve(target).value_or(QString()), source.lastModified());
        done += source.size();
        ++result.copied;
    }
    return result;
}

Backup::Backup(TDataModule1& data, QString programPath)
    : m_data(data)
    , m_programPath(std::move(programPath))
{
}

void Backup::reportProgress(const QString& stage, qint64 done, qint64 total) const
{
    if (m_progress)
        m_progress(stage, done, total);
}

// Both tables are written under their staging names and checked before
// either replaces its old copy, so a failure leaves the old backup whole.
void Backup::writeTables(const QString& root, BackupReport& report)
{
    const QList<platform::Table*> tables = userTables(m_data);
    QStringList staged;
    try {
        for (platform::Table* table : tables) {
            const QString name = table->def().fileName;
            const QString staging = platform::resolve(root + stagingName(name)).value_or(QString());
            staged << staging;
            const QString stage = QStringLiteral("Writing %1...").arg(name);
            snapshotTable(table, staging, [&](int done, int total) { reportProgress(stage, done, total); });
            const int count = storedRecordCount(table);
            verifyTableFile(staging, count);
            (table == m_data.tblDescrip ? report.places : report.pictures) = count;
        }
    } catch (...) {
        for (const QString& file : std::as_const(staged))
            QFile::remove(file);
        throw;
    }
    for (qsizetype i = 0; i < tables.size(); ++i) {
        const QString name = tables[i]->def().fileName;
        try {
            platform::renameOver(root + stagingName(name), root + name);
        } catch (const std::exception& e) {
            if (i == 0)
                throw;
            throw platform::AppError(
                QStringLiteral("%1 The backup is incomplete: %2 is new, %3 is from the "
                               "previous backup.")
                    .arg(QString::fromStdString(e.what()), tables[0]->def().fileName, name));
        }
    }
}

BackupReport Backup::run(const QString& floppy)
{
    BackupReport report;
    const QString drive = driveName(floppy);
    if (const QString problem = backupDriveProblem(floppy, true); !problem.isEmpty()) {
        report.text = QStringLiteral("The backup was not made. %1").arg(problem);
        return report;
    }
    const QStringList refused = m_data.postAllPending();
    if (!refused.isEmpty()) {
        report.text = QStringLiteral("The backup was not made, because these changes could not be stored "
                                     "first:\n\n%1")
                          .arg(refused.join(QLatin1Char('\n')));
        return report;
    }
    const QString root = floppy + QStringLiteral(":\\");
    try {
        writeTables(root, report);
    } catch (const std::exception& e) {
        report.text
            = QStringLiteral("The backup to drive %1 failed; your previous backup there is unchanged.\n\n%2")
                  .arg(drive, QString::fromStdString(e.what()));
        return report;
    }
    try {
        closeUserTables(m_data);
        reopenUserTables(m_data);
    } catch (const std::exception& e) {
        report.text = QStringLiteral("The backup to drive %1 was written, but the tables could not be opened "
                                     "again.\n\n%2")
                          .arg(drive, QString::fromStdString(e.what()));
        return report;
    }
    report.pictureFiles = copyPictures(
        m_programPath + QStringLiteral("Pix\\"), root + QStringLiteral("Pix\\"), false, m_progress);
    if (!report.pictureFiles.failure.isEmpty()) {
        report.text
            = QStringLiteral("Your places (%1) and list of pictures (%2) were backed up to drive %3, but "
                             "not all picture files: %4 copied, then this failed:\n\n%5")
                  .arg(report.places)
                  .arg(report.pictures)
                  .arg(drive)
                  .arg(report.pictureFiles.copied)
                  .arg(report.pictureFiles.failure);
        return report;
    }
    report.ok = true;
    report.text
        = QStringLiteral("Backup to drive %1 complete: %2 places, %3 pictures (%4 picture files copied, "
                         "%5 unchanged).")
              .arg(drive)
              .arg(report.places)
              .arg(report.pictures)
              .arg(report.pictureFiles.copied)
              .arg(report.pictureFiles.skipped);
    return report;
}

ProgressShown::ProgressShown(QWidget* parent, const QString& title)
    : m_dialog(std::make_unique<QProgressDialog>(parent))
{
    m_dialog->setObjectName(QStringLiteral("dlgProgress"));
    m_dialog->setWindowTitle(title);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setCancelButton(nullptr);
    m_dialog->setMinimumDuration(1000);
    m_dialog->setAutoReset(false);
    m_dialog->setRange(0, 1000);
    m_dialog->setValue(0);
}

ProgressShown::~ProgressShown() = default;

StageProgress ProgressShown::callback()
{
    return [dialog = m_dialog.get()](const QString& stage, qint64 done, qint64 total) {
        dialog->setLabelText(stage);
        dialog->setValue(total > 0 ? int(std::min<qint64>(999, done * 1000 / total)) : 0);
    };
}

void backupToDrive(QWidget* parent)
{
    vFloppy = DataModule1->tblConfig->fieldAsString(QStringLiteral("Floppy"));
    vBackupPath = vFloppy + QStringLiteral(":\\");
    BackupReport report;
    {
        ProgressShown progress(parent, QStringLiteral("Backup"));
        Backup backup(*DataModule1, vProgramPath);
        backup.setProgress(progress.callback());
        report = backup.run(vFloppy);
    }
    platform::messageBox({ report.ok ? QMessageBox::Information : QMessageBox::Warning,
        platform::applicationTitle(), report.text, QMessageBox::Ok });
}

} // namespace corvane
