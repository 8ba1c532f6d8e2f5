#include "output/backup.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/bin_tables.h"
#include "data/datamod1.h"
#include "data/user_tables.h"
#include "platform/desktop.h"
#include "platform/paths.h"

#include "imaging/picture_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QProgressDialog>

#include <fcntl.h>
#include <sys/stat.h>

namespace corvane {

namespace {

QString driveName(const QString& floppy)
{
    return floppy + QLatin1Char(':');
}

// What a file is now, to tell whether it changed since it was copied.
std::optional<PictureFileEntry> entryOf(const QString& hostPath, const QString& name)
{
    struct stat info { };
    if (::lstat(QFile::encodeName(hostPath).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return PictureFileEntry { name, qint64(info.st_size),
        qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
        qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec, quint64(info.st_ino) };
}

void keepModificationTime(const QString& hostPath, const QString& sourceHostPath)
{
    struct stat info { };
    if (::stat(QFile::encodeName(sourceHostPath).constData(), &info) != 0)
        return;
    const struct timespec times[2] = { { 0, UTIME_OMIT }, info.st_mtim };
    ::utimensat(AT_FDCWD, QFile::encodeName(hostPath).constData(), times, 0);
}

QString namesForUser(const QStringList& names)
{
    const QStringList shown = names.mid(0, 10);
    QString text = shown.join(QStringLiteral(", "));
    if (names.size() > shown.size())
        text += QStringLiteral(" and %1 more").arg(names.size() - shown.size());
    return text;
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

PictureCopy copyPictures(const QString& fromFolder, const QString& toFolder, bool onlyMissing,
    const StageProgress& progress, const QList<PictureFileEntry>& alreadyCopied)
{
    PictureCopy result;
    const auto sourceHost = platform::resolve(fromFolder);
    if (!sourceHost || !QFileInfo(*sourceHost).isDir())
        return result; // no picture folder: nothing to copy
    QHash<QString, PictureFileEntry> copiedBefore;
    for (const PictureFileEntry& entry : alreadyCopied)
        copiedBefore.insert(entry.name, entry);
    struct Planned {
        PictureFileEntry entry;
        bool copy = false;
    };
    QList<Planned> plan;
    const auto targetHost = platform::resolve(toFolder);
    if (!targetHost) {
        result.failure = QStringLiteral("Cannot create the folder \"%1\". %2")
                             .arg(toFolder, platform::unresolvedReason(toFolder));
        return result;
    }
    const QDir source(*sourceHost);
    const QDir target(*targetHost);
    const QStringList names = source.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    qint64 total = 0;
    for (const QString& name : names) {
        // A name read from a backup disk is used only when it is a picture's
        // own: nothing else is read, and no name can reach another folder.
        if (!platform::isPlainPictureName(name)) {
            if (!name.endsWith(QLatin1String(".part")))
                result.notPictures << name;
            continue;
        }
        const auto entry = entryOf(source.filePath(name), name);
        if (!entry) {
            result.notPictures << name; // a link or something else, not a file
            continue;
        }
        const QFileInfo there(target.filePath(name));
        bool skip;
        if (onlyMissing)
            skip = there.exists() || there.isSymLink();
        else
            skip = there.isFile() && !there.isSymLink() && there.size() == entry->size
                && copiedBefore.value(name) == *entry;
        plan << Planned { *entry, !skip };
        if (skip)
            ++result.skipped;
        else
            total += entry->size;
    }
    if (total > 0 && !QDir().mkpath(*targetHost)) {
        result.failure = QStringLiteral("Cannot create the folder \"%1\".").arg(toFolder);
        return result;
    }
    qint64 done = 0;
    for (const Planned& p : std::as_const(plan)) {
        if (!p.copy) {
            result.files << p.entry;
            continue;
        }
        if (progress)
            progress(QStringLiteral("Copying pictures..."), done, total);
        const QString from = source.filePath(p.entry.name);
        const QString to = target.filePath(p.entry.name);
        try {
            platform::copyHostFile(
                from, to, !onlyMissing, fromFolder + p.entry.name, toFolder + p.entry.name);
        } catch (const std::exception& e) {
            result.failure = QString::fromStdString(e.what());
            return result;
        }
        keepModificationTime(to, from);
        // What was read is what the next backup compares with.
        result.files << entryOf(from, p.entry.name).value_or(p.entry);
        done += p.entry.size;
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

// What an interrupted backup left on the drive: a set whose marker says
// its tables were being renamed is finished; any other staged table, and
// passing copies of pictures and of the marker, are removed.
void Backup::prepareDrive(const QString& rootHost)
{
    const QDir root(rootHost);
    SetMarker marker = readSetMarker(rootHost);
    for (const QString& name : userTableFileNames()) {
        const QString staged = root.filePath(stagingName(name));
        if (marker.state == SetMarker::State::Moving && QFileInfo::exists(staged)) {
            platform::renameHostFile(staged, root.filePath(name));
        } else {
            QFile::remove(staged);
        }
        QFile::remove(staged + QStringLiteral("-journal"));
        QFile::remove(staged + QStringLiteral(".part"));
    }
    QFile::remove(root.filePath(kSetMarkerName + QStringLiteral(".part")));
    if (marker.state == SetMarker::State::Moving) {
        marker.state = SetMarker::State::Complete;
        writeSetMarker(rootHost, marker);
    }
    const QDir pix(root.filePath(QStringLiteral("Pix")));
    for (const QString& name : pix.entryList({ QStringLiteral("*.part") }, QDir::Files | QDir::Hidden))
        QFile::remove(pix.filePath(name));
}

// Both tables are written under their staging names and checked before the
// marker names them as the set; only then are they renamed into place.
void Backup::writeTables(const QString& rootHost, BackupReport& report)
{
    const QDir root(rootHost);
    const QList<platform::Table*> tables = userTables(m_data);
    QStringList staged;
    try {
        for (platform::Table* table : tables) {
            const QString name = table->def().fileName;
            const QString staging = root.filePath(stagingName(name));
            staged << staging;
            const QString stage = QStringLiteral("Writing %1...").arg(name);
            snapshotTable(table, staging, [&](int done, int total) { reportProgress(stage, done, total); });
            reportProgress(QStringLiteral("Checking %1...").arg(name), 0, 1);
            const int count = storedRecordCount(table);
            verifyCopy(table->fileHostPath(), staging, count);
            if (table == m_data.tblDescrip)
                report.places = count;
            else if (table == m_data.tblPix)
                report.pictures = count;
        }
    } catch (...) {
        for (const QString& file : std::as_const(staged)) {
            QFile::remove(file);
            QFile::remove(file + QStringLiteral("-journal"));
        }
        throw;
    }
    SetMarker marker;
    marker.state = SetMarker::State::Moving;
    marker.written = QDateTime::currentDateTime();
    marker.places = report.places;
    marker.pictures = report.pictures;
    marker.hasPictureFolder = true;
    marker.pictureFiles = report.pictureFiles.files;
    platform::syncFolder(rootHost);
    workStep("backup: tables staged");
    // From here the new set is the backup; a kill before the end is
    // finished by the next backup, and a restore reads the staged tables.
    writeSetMarker(rootHost, marker);
    workStep("backup: set marked");
    for (platform::Table* table : tables) {
        const QString name = table->def().fileName;
        platform::renameHostFile(root.filePath(stagingName(name)), root.filePath(name));
        workStep(
            name == QLatin1String("DESCRIP.DB") ? "backup: DESCRIP.DB renamed" : "backup: PIX.DB renamed");
    }
    marker.state = SetMarker::State::Complete;
    writeSetMarker(rootHost, marker);
    workStep("backup: complete");
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
    const auto rootHost = platform::resolve(root);
    if (!rootHost) {
        report.text = QStringLiteral("The backup was not made. %1").arg(platform::unresolvedReason(root));
        return report;
    }
    const QString unchanged = QStringLiteral("Your previous backup there is whole and unchanged.");
    try {
        prepareDrive(*rootHost);
    } catch (const std::exception& e) {
        report.text
            = QStringLiteral("The backup to drive %1 was not made: what an interrupted backup left there "
                             "could not be tidied.\n\n%2")
                  .arg(drive, QString::fromStdString(e.what()));
        return report;
    }
    const SetMarker previous = readSetMarker(*rootHost);
    // Pictures first: they are only added, so the previous set stays whole.
    report.pictureFiles
        = copyPictures(m_programPath + QStringLiteral("Pix\\"), root + QStringLiteral("Pix\\"), false,
            m_progress, previous.hasPictureFolder ? previous.pictureFiles : QList<PictureFileEntry>());
    try {
        copyBinFiles(binFolder(), root + QStringLiteral("Bin\\"), false);
    } catch (const std::exception& e) {
        report.pictureFiles.failure = QString::fromStdString(e.what());
    }
    workStep("backup: pictures copied");
    if (!report.pictureFiles.failure.isEmpty()) {
        report.text
            = QStringLiteral("The backup to drive %1 was not made: a picture file could not be copied "
                             "(%2 were copied before it). %3\n\n%4")
                  .arg(drive)
                  .arg(report.pictureFiles.copied)
                  .arg(unchanged, report.pictureFiles.failure);
        return report;
    }
    try {
        writeTables(*rootHost, report);
    } catch (const std::exception& e) {
        const bool moving = readSetMarker(*rootHost).state == SetMarker::State::Moving;
        report.text = moving
            ? QStringLiteral("The backup to drive %1 was written but not finished; it is whole, and the next "
                             "backup finishes it.\n\n%2")
                  .arg(drive, QString::fromStdString(e.what()))
            : QStringLiteral("The backup to drive %1 failed. %2\n\n%3")
                  .arg(drive, unchanged, QString::fromStdString(e.what()));
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
    report.ok = true;
    report.text
        = QStringLiteral("Backup to drive %1 complete: %2 places, %3 pictures (%4 picture files copied, "
                         "%5 unchanged).")
              .arg(drive)
              .arg(report.places)
              .arg(report.pictures)
              .arg(report.pictureFiles.copied)
              .arg(report.pictureFiles.skipped);
    if (!report.pictureFiles.notPictures.isEmpty())
        report.text
            += QStringLiteral("\n\nThese files in the picture folder are not pictures of this program and "
                              "were not copied: %1")
                   .arg(namesForUser(report.pictureFiles.notPictures));
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
