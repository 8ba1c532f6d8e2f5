#include "output/restore.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/bin_tables.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "imaging/picture_files.h"
#include "output/backup.h"
#include "output/print.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <sqlite3.h>

namespace corvane {

namespace {

// The set's table files in the order of the user tables; a set written
// before a later table (the bin, the control points) brings it empty, made
// for the while in the Data folder.
struct SetTableFiles {
    QStringList paths;
    QStringList emptyTables;
    SetTableFiles(const BackupSet& set, qsizetype tables)
        : paths { set.descripFile, set.pixFile }
    {
        const QList<platform::TableDef> later = laterUserTableDefs();
        for (qsizetype i = 0; i + 2 < tables && i < later.size(); ++i) {
            QString file = set.laterFiles.value(i);
            if (file.isEmpty()) {
                file = QDir(platform::hostPathOf(dataFolder()))
                           .filePath(QStringLiteral("~empty-") + later[i].fileName);
                QFile::remove(file);
                emptyTables << file;
                platform::Database::createTableFile(file, later[i]);
            }
            paths << file;
        }
    }
    ~SetTableFiles()
    {
        for (const QString& file : emptyTables)
            QFile::remove(file);
    }
    SetTableFiles(const SetTableFiles&) = delete;
    SetTableFiles& operator=(const SetTableFiles&) = delete;
};

QString when(const QDateTime& time)
{
    return QLocale().toString(time, QLocale::LongFormat);
}

void tell(const RestoreReport& report)
{
    platform::messageBox({ report.ok ? QMessageBox::Information : QMessageBox::Warning,
        platform::applicationTitle(), report.text, QMessageBox::Ok });
}

QString listed(const QStringList& names, qsizetype count = -1)
{
    if (count < 0)
        count = names.size();
    QString text = names.mid(0, 10).join(QStringLiteral(", "));
    if (count > 10)
        text += QStringLiteral(" and %1 more").arg(count - 10);
    return text;
}

// The picture file name (Filename + Type) of every record of a picture
// table file. Throws AppError when it cannot be read.
QStringList pictureRecordNames(const QString& hostPath)
{
    sqlite3* db = nullptr;
    QStringList names;
    QString problem;
    if (sqlite3_open_v2(hostPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        problem = QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        // The table inside the file is named after it; take the first one.
        sqlite3_stmt* stmt = nullptr;
        sqlite3_stmt* first = nullptr;
        QString table;
        if (sqlite3_prepare_v2(db,
                "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%' "
                "ORDER BY rowid LIMIT 1",
                -1, &first, nullptr)
                == SQLITE_OK
            && sqlite3_step(first) == SQLITE_ROW)
            table = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(first, 0)));
        sqlite3_finalize(first);
        table.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        const QByteArray sql = QStringLiteral("SELECT Filename, Type FROM \"%1\"").arg(table).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            stmt = nullptr;
        }
        int rc = SQLITE_ERROR;
        if (stmt) {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                const auto text = [&](int column) {
                    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
                    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(stmt, column)) : QString();
                };
                names << text(0) + text(1);
            }
        }
        if (rc != SQLITE_DONE)
            problem = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(db);
    if (!problem.isEmpty())
        throw platform::AppError(QStringLiteral("The list of pictures %1 cannot be read: %2")
                                     .arg(QDir::toNativeSeparators(hostPath), problem));
    return names;
}

// Plain picture names in a folder with their sizes (links and other kinds
// of file left out); the others' names in *others.
QHash<QString, qint64> pictureFilesIn(const QString& hostFolder, QStringList* others = nullptr)
{
    QHash<QString, qint64> files;
    if (hostFolder.isEmpty())
        return files;
    const QFileInfoList entries = QDir(hostFolder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (platform::isPlainPictureName(entry.fileName()) && !entry.isSymLink())
            files.insert(entry.fileName().toUpper(), entry.size());
        else if (others && !entry.fileName().endsWith(QLatin1String(".part")))
            *others << entry.fileName();
    }
    return files;
}

QString pictureFolderOf(const QString& programPath)
{
    return programPath + QStringLiteral("Pix\\");
}

} // namespace

BackupSet inspectBackupSet(const QString& folder, const QString& programPath)
{
    BackupSet set;
    set.folder = folder;
    const auto host = platform::resolve(folder);
    if (!host || !QFileInfo(*host).isDir()) {
        throw platform::AppError(QStringLiteral("There is no backup in %1: %2")
                                     .arg(folder,
                                         host ? QStringLiteral("the folder does not exist.")
                                              : platform::unresolvedReason(folder)));
    }
    const QDir dir(*host);
    const SetMarker marker = readSetMarker(*host);
    set.marked = marker.state != SetMarker::State::Missing;
    // A set whose tables were being renamed when the backup stopped: each
    // table is its staged file while that is still there.
    const auto tableFile = [&](const QString& name) {
        const QString staged = dir.filePath(stagingName(name));
        if (marker.state == SetMarker::State::Moving && QFileInfo(staged).isFile())
            return staged;
        const QString found = QFileInfo(dir.filePath(name)).isFile() ? dir.filePath(name) : QString();
        if (!found.isEmpty())
            return found;
        for (const QString& entry : dir.entryList(QDir::Files)) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
        }
        return QString();
    };
    const QStringList names = userTableFileNames();
    set.descripFile = tableFile(names.at(0));
    set.pixFile = tableFile(names.at(1));
    for (const QString& name : names.mid(2))
        set.laterFiles << tableFile(name);
    if (set.descripFile.isEmpty() && set.pixFile.isEmpty())
        throw platform::AppError(QStringLiteral("There is no backup in %1: %2 and %3 are not there.")
                                     .arg(folder, names.at(0), names.at(1)));
    if (set.descripFile.isEmpty() || set.pixFile.isEmpty()) {
        throw platform::AppError(
            QStringLiteral("The backup in %1 is incomplete: %2 is missing, so it cannot be "
                           "restored.")
                .arg(folder, set.descripFile.isEmpty() ? names.at(0) : names.at(1)));
    }
    try {
        set.places = platform::Database::checkTableFile(set.descripFile);
        set.pictures = platform::Database::checkTableFile(set.pixFile);
    } catch (const std::exception& e) {
        throw platform::AppError(QStringLiteral("The backup in %1 is damaged and cannot be restored.\n\n%2")
                                     .arg(folder, QString::fromStdString(e.what())));
    }
    if (set.marked && (marker.places != set.places || marker.pictures != set.pictures)) {
        throw platform::AppError(QStringLiteral(
            "The backup in %1 is incomplete: it should hold %2 places and %3 pictures but holds %4 "
            "and %5, so it cannot be restored.")
                                     .arg(folder)
                                     .arg(marker.places)
                                     .arg(marker.pictures)
                                     .arg(set.places)
                                     .arg(set.pictures));
    }
    set.written = set.marked
        ? marker.written.toLocalTime()
        : std::max(QFileInfo(set.descripFile).lastModified(), QFileInfo(set.pixFile).lastModified());

    // Every picture record names a picture file, and has it.
    const QStringList records = pictureRecordNames(set.pixFile);
    QStringList crafted;
    for (const QString& name : records) {
        if (!platform::isPlainPictureName(name))
            crafted << name;
    }
    if (!crafted.isEmpty()) {
        throw platform::AppError(
            QStringLiteral("The backup in %1 cannot be restored: its list of pictures names "
                           "files that are not pictures of this program (%2).")
                .arg(folder, listed(crafted)));
    }
    const QString setPix = [&] {
        const QString pix = dir.filePath(QStringLiteral("Pix"));
        return QFileInfo(pix).isDir() ? pix : QString();
    }();
    const QHash<QString, qint64> inSet = pictureFilesIn(setPix, &set.notPictures);
    const auto live = platform::resolve(pictureFolderOf(programPath));
    const QHash<QString, qint64> inFolder = pictureFilesIn(live.value_or(QString()));
    QSet<QString> listedInSet;
    if (marker.hasPictureFolder) {
        QStringList lost;
        for (const PictureFileEntry& f : marker.pictureFiles) {
            listedInSet.insert(f.name.toUpper());
            if (inSet.value(f.name.toUpper(), -1) != f.size)
                lost << f.name;
        }
        if (!lost.isEmpty()) {
            throw platform::AppError(QStringLiteral(
                "The backup in %1 is incomplete: %2 of its picture files are missing or cut short "
                "(%3), so it cannot be restored.")
                                         .arg(folder)
                                         .arg(lost.size())
                                         .arg(listed(lost)));
        }
    }
    QStringList withoutFile;
    for (const QString& name : records) {
        const QString key = name.toUpper();
        if (inSet.contains(key) || inFolder.contains(key))
            continue;
        withoutFile << name;
    }
    // Records with no file anywhere are sound only in a marked set that did
    // not hold that file either: the picture had none when it was written.
    QStringList lost;
    for (const QString& name : std::as_const(withoutFile)) {
        if (!set.marked || listedInSet.contains(name.toUpper()))
            lost << name;
    }
    if (!lost.isEmpty()) {
        throw platform::AppError(QStringLiteral(
            "The backup in %1 cannot be restored: %2 of its pictures have no file, neither there nor "
            "in your picture folder (%3). It may be a backup that was interrupted.")
                                     .arg(folder)
                                     .arg(lost.size())
                                     .arg(listed(lost)));
    }
    set.picturesWithoutFile = int(withoutFile.size());
    set.withoutFileNames = withoutFile.mid(0, 10);
    return set;
}

BackupSet inspectBackupSet(const QString& folder)
{
    return inspectBackupSet(folder, vProgramPath);
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
    const auto nothingRestored = [&](const QString& why) {
        removeKeptCopy(report.keptFolder); // nothing to go back from
        report.keptFolder.clear();
        report.text = QStringLiteral("Nothing was restored from %1; your tables are as they were.\n\n%2")
                          .arg(set.folder, why);
        return report;
    };
    // Pictures first: a file without a record is harmless, and a restore
    // that cannot bring every picture back does not replace the tables.
    const PictureCopy pictures
        = copyPictures(set.folder + QStringLiteral("Pix\\"), pictureFolderOf(programPath), true);
    report.picturesRestored = pictures.copied;
    workStep("restore: pictures copied");
    if (!pictures.failure.isEmpty())
        return nothingRestored(
            QStringLiteral("A picture could not be brought back:\n%1").arg(pictures.failure));
    try {
        copyBinFiles(set.folder + QStringLiteral("Bin\\"), binFolder(), true);
        const SetTableFiles files(set, userTables(data).size());
        stageTableFiles(userTables(data), files.paths);
    } catch (const std::exception& e) {
        return nothingRestored(QString::fromStdString(e.what()));
    }
    workStep("restore: tables staged");
    QString failure;
    try {
        closeUserTables(data);
        putStagedTablesInPlace(userTables(data), set.folder, report.keptFolder);
    } catch (const std::exception& e) {
        failure = QString::fromStdString(e.what());
    }
    if (!failure.isEmpty() && !interruptedReplacement().pending) {
        // Nothing was put in place: the staged copies go, the tables stay.
        for (const QString& name : userTableFileNames()) {
            if (const auto staged = platform::resolve(dataFolder() + stagingName(name)))
                QFile::remove(*staged);
        }
    }
    try {
        reopenUserTables(data);
    } catch (const std::exception& e) {
        failure += (failure.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(e.what());
    }
    if (!failure.isEmpty()) {
        report.text = interruptedReplacement().pending
            ? QStringLiteral(
                "The restore from %1 could not be finished; the program will offer to finish it or "
                "go back when it next starts (your previous tables are kept in %2).\n\n%3")
                  .arg(withRealLocation(set.folder), withRealLocation(report.keptFolder), failure)
            : QStringLiteral(
                "The restore from %1 failed; your tables are as they were (a copy is in %2).\n\n%3")
                  .arg(withRealLocation(set.folder), withRealLocation(report.keptFolder), failure);
        return report;
    }
    report.ok = set.picturesWithoutFile == 0;
    report.text
        = QStringLiteral("Restored %1 places and %2 pictures from %3 (%4 picture files brought back). "
                         "Your previous tables are kept in %5.")
              .arg(set.places)
              .arg(set.pictures)
              .arg(withRealLocation(set.folder))
              .arg(pictures.copied)
              .arg(withRealLocation(report.keptFolder));
    if (set.picturesWithoutFile > 0)
        report.text
            += QStringLiteral("\n\n%1 pictures have no file: they had none when the backup was written "
                              "(%2).")
                   .arg(set.picturesWithoutFile)
                   .arg(listed(set.withoutFileNames, set.picturesWithoutFile));
    if (!pictures.notPictures.isEmpty())
        report.text
            += QStringLiteral("\n\nThese files of the backup are not pictures of this program and were "
                              "not read: %1")
                   .arg(listed(pictures.notPictures));
    return report;
}

RestoreReport restoreFromFolder(const QString& folder)
{
    RestoreReport report;
    BackupSet set;
    try {
        set = inspectBackupSet(folder, vProgramPath);
    } catch (const std::exception& e) {
        report.text = QString::fromStdString(e.what());
        tell(report);
        return report;
    }
    QString question = QStringLiteral(
        "Replace your places and pictures with the backup in %1, written %2 (%3 places, %4 "
        "pictures)?\n\nYour present tables (%5 places, %6 pictures) will be kept in the Data "
        "folder, so this can be undone.")
                           .arg(folder, when(set.written))
                           .arg(set.places)
                           .arg(set.pictures)
                           .arg(storedRecordCount(DataModule1->tblDescrip))
                           .arg(storedRecordCount(DataModule1->tblPix));
    if (set.picturesWithoutFile > 0)
        question += QStringLiteral("\n\n%1 of its pictures have no file: they had none when it was written.")
                        .arg(set.picturesWithoutFile);
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
    return completeKeptCopies(dataFolder()).value(0);
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

bool resolveInterruptedRestore(QWidget* parent)
{
    const InterruptedReplacement pending = interruptedReplacement();
    if (!pending.pending)
        return true;
    Q_UNUSED(parent);
    const bool canGoBack = !pending.kept.isEmpty();
    QString text = QStringLiteral("The last restore of your tables (from %1) was interrupted before it was "
                                  "finished: %2 replaced, %3 not yet.")
                       .arg(pending.from.isEmpty() ? QStringLiteral("a backup") : pending.from,
                           pending.replaced.isEmpty() ? QStringLiteral("none")
                                                      : pending.replaced.join(QStringLiteral(", ")),
                           pending.waiting.join(QStringLiteral(", ")));
    text += canGoBack
        ? QStringLiteral("\n\nYes: finish the restore.\nNo: go back to your tables as they were "
                         "before it (kept in %1).")
              .arg(pending.kept)
        : QStringLiteral("\n\nYes: finish the restore.");
    const auto answer = platform::messageBox({ QMessageBox::Warning, platform::applicationTitle(), text,
        canGoBack ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Yes });
    try {
        if (answer == QMessageBox::Yes) {
            finishReplacement();
            platform::messageBox({ QMessageBox::Information, platform::applicationTitle(),
                QStringLiteral("The restore is finished: your tables are the ones from %1.")
                    .arg(pending.from),
                QMessageBox::Ok });
        } else if (answer == QMessageBox::No && canGoBack) {
            undoReplacement();
            platform::messageBox({ QMessageBox::Information, platform::applicationTitle(),
                QStringLiteral("Your tables are back as they were before the restore."), QMessageBox::Ok });
        } else {
            return false; // asked again at the next start
        }
    } catch (const std::exception& e) {
        platform::messageBox({ QMessageBox::Warning, platform::applicationTitle(),
            QStringLiteral("The interrupted restore could not be resolved, so the program ends; nothing was "
                           "lost, and it will ask again at the next start.\n\n%1")
                .arg(QString::fromStdString(e.what())),
            QMessageBox::Ok });
        return false;
    }
    return true;
}

} // namespace corvane
