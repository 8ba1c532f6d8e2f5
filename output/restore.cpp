#include "output/restore.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "output/backup.h"
#include "output/print.h"
#include "platform/desktop.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>

namespace corvane {

namespace {

QString setFile(const BackupSet& set, const QString& name)
{
    return platform::resolve(set.folder + name).value_or(QString());
}

QString when(const QDateTime& time)
{
    return QLocale().toString(time, QLocale::LongFormat);
}

void tell(const RestoreReport& report)
{
    platform::messageBox({ report.ok ? QMessageBox::Information : QMessageBox::Warning,
        platform::applicationTitle(), report.text, QMessageBox::Ok });
}

} // namespace

BackupSet inspectBackupSet(const QString& folder)
{
    BackupSet set { folder, {}, 0, 0 };
    const QString descrip = setFile(set, QStringLiteral("DESCRIP.DB"));
    const QString pix = setFile(set, QStringLiteral("PIX.DB"));
    if (!QFileInfo(descrip).isFile() || !QFileInfo(pix).isFile()) {
        throw platform::AppError(
            QStringLiteral("There is no backup in %1: DESCRIP.DB and PIX.DB are not both there.")
                .arg(folder));
    }
    set.places = platform::Database::checkTableFile(descrip);
    set.pictures = platform::Database::checkTableFile(pix);
    set.written = std::max(QFileInfo(descrip).lastModified(), QFileInfo(pix).lastModified());
    return set;
}

RestoreReport restoreUserTables(TDataModule1& data, const BackupSet& set, const QString& programPath)
{
    RestoreReport report;
    const QStringList refused = data.postAllPending();
    if (!refused.isEmpty()) {
        report.text
            = QStringLiteral("Nothing was restored, because these changes could not be stored first:\n\n%1")
                  .arg(refused.join(QLatin1Char('\n')));
        return report;
    }
    try {
        report.keptFolder = keepCopyOfUserTables(data);
    } catch (const std::exception& e) {
        report.text
            = QStringLiteral("Nothing was restored: a copy of your present tables could not be kept.\n\n%1")
                  .arg(QString::fromStdString(e.what()));
        return report;
    }
    QString failure;
    try {
        closeUserTables(data);
        replaceTableFiles(userTables(data),
            { setFile(set, QStringLiteral("DESCRIP.DB")), setFile(set, QStringLiteral("PIX.DB")) });
    } catch (const std::exception& e) {
        failure = QString::fromStdString(e.what());
    }
    try {
        reopenUserTables(data);
    } catch (const std::exception& e) {
        failure += (failure.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(e.what());
    }
    if (!failure.isEmpty()) {
        report.text = QStringLiteral(
            "The restore from %1 failed; your tables are as they were (a copy is in %2).\n\n%3")
                          .arg(withRealLocation(set.folder), withRealLocation(report.keptFolder), failure);
        return report;
    }
    const PictureCopy pictures
        = copyPictures(set.folder + QStringLiteral("Pix\\"), programPath + QStringLiteral("Pix\\"), true);
    report.picturesRestored = pictures.copied;
    report.ok = pictures.failure.isEmpty();
    report.text
        = QStringLiteral("Restored %1 places and %2 pictures from %3 (%4 picture files brought back). "
                         "Your previous tables are kept in %5.")
              .arg(set.places)
              .arg(set.pictures)
              .arg(withRealLocation(set.folder))
              .arg(pictures.copied)
              .arg(withRealLocation(report.keptFolder));
    if (!report.ok)
        report.text
            += QStringLiteral("\n\nNot all pictures could be brought back:\n\n%1").arg(pictures.failure);
    return report;
}

RestoreReport restoreFromFolder(const QString& folder)
{
    RestoreReport report;
    BackupSet set;
    try {
        set = inspectBackupSet(folder);
    } catch (const std::exception& e) {
        report.text = QString::fromStdString(e.what());
        tell(report);
        return report;
    }
    const QString question = QStringLiteral(
        "Replace your places and pictures with the backup in %1, written %2 (%3 places, %4 "
        "pictures)?\n\nYour present tables (%5 places, %6 pictures) will be kept in the Data "
        "folder, so this can be undone.")
                                 .arg(folder, when(set.written))
                                 .arg(set.places)
                                 .arg(set.pictures)
                                 .arg(storedRecordCount(DataModule1->tblDescrip))
                                 .arg(storedRecordCount(DataModule1->tblPix));
    if (platform::messageBox({ QMessageBox::Question, platform::applicationTitle(), question,
            QMessageBox::Yes | QMessageBox::No })
        != QMessageBox::Yes)
        return report;
    report = restoreUserTables(*DataModule1, set, vProgramPath);
    tell(report);
    return report;
}

void restoreFromBackup()
{
    vFloppy = DataModule1->tblConfig->fieldAsString(QStringLiteral("Floppy"));
    vBackupPath = vFloppy + QStringLiteral(":\\");
    if (const QString problem = backupDriveProblem(vFloppy, false); !problem.isEmpty()) {
        tell({ false, QStringLiteral("Nothing was restored. %1").arg(problem), {}, 0 });
        return;
    }
    restoreFromFolder(vBackupPath);
}

QString newestKeptCopy()
{
    const auto data = platform::resolve(dataFolder());
    if (!data)
        return {};
    const QFileInfoList kept = QDir(*data).entryInfoList(
        { QStringLiteral("Kept *"), QStringLiteral("Before import *") }, QDir::Dirs, QDir::Time);
    if (kept.isEmpty())
        return {};
    return dataFolder() + kept.constFirst().fileName() + QLatin1Char('\\');
}

void restoreKeptCopy()
{
    const QString folder = newestKeptCopy();
    if (folder.isEmpty()) {
        tell({ false,
            QStringLiteral("There is nothing to go back to: no restore or import has replaced your tables."),
            {}, 0 });
        return;
    }
    restoreFromFolder(folder);
}

} // namespace corvane
