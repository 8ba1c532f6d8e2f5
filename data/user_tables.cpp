#include "data/user_tables.h"

#include "core/forms.h"
#include "data/bin_tables.h"
#include "data/control_points.h"
#include "data/datamod1.h"
#include "data/tables.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace corvane {

namespace {

using platform::hostPathOf;

std::function<void(std::string_view)> g_stepHook;

// The journal of a replacement in progress, beside the tables.
const QString kJournalName = QStringLiteral(".corvane3-replacing");
const QStringList kKeptPatterns { QStringLiteral("Kept *"), QStringLiteral("Before import *") };

QString shownPath(const QString& hostPath)
{
    return platform::toWindowsPath(hostPath).value_or(QDir::toNativeSeparators(hostPath));
}

void removeFileAndJournal(const QString& hostPath)
{
    QFile::remove(hostPath);
    QFile::remove(hostPath + QStringLiteral("-journal"));
}

QString dataHostFolder()
{
    return hostPathOf(dataFolder());
}

// ---------------------------------------------------------------- marker text

QByteArray markerText(const SetMarker& m)
{
    QByteArray text = "Corvane3 set 1\n";
    text += m.state == SetMarker::State::Moving ? "state moving\n" : "state complete\n";
    text += "written " + m.written.toUTC().toString(Qt::ISODateWithMs).toUtf8() + "\n";
    text += "places " + QByteArray::number(m.places) + "\n";
    text += "pictures " + QByteArray::number(m.pictures) + "\n";
    text += "picturefolder " + QByteArray(m.hasPictureFolder ? "yes" : "no") + "\n";
    for (const PictureFileEntry& f : m.pictureFiles) {
        text += "file " + f.name.toUtf8() + ' ' + QByteArray::number(f.size) + ' '
            + QByteArray::number(f.modifiedNs) + ' ' + QByteArray::number(f.changedNs) + ' '
            + QByteArray::number(f.fileNumber) + '\n';
    }
    text += "end\n";
    return text;
}

bool parseMarker(const QByteArray& text, SetMarker& m)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.constFirst() != "Corvane3 set 1")
        return false;
    bool ended = false;
    for (qsizetype i = 1; i < lines.size() && !ended; ++i) {
        const QList<QByteArray> words = lines[i].split(' ');
        const QByteArray& key = words.constFirst();
        bool ok = true;
        if (key == "end") {
            ended = true;
        } else if (key == "state" && words.size() == 2) {
            if (words[1] == "complete")
                m.state = SetMarker::State::Complete;
            else if (words[1] == "moving")
                m.state = SetMarker::State::Moving;
            else
                return false;
        } else if (key == "written" && words.size() == 2) {
            m.written = QDateTime::fromString(QString::fromUtf8(words[1]), Qt::ISODateWithMs);
            ok = m.written.isValid();
        } else if (key == "places" && words.size() == 2) {
            m.places = words[1].toInt(&ok);
        } else if (key == "pictures" && words.size() == 2) {
            m.pictures = words[1].toInt(&ok);
        } else if (key == "picturefolder" && words.size() == 2) {
            m.hasPictureFolder = words[1] == "yes";
        } else if (key == "file" && words.size() == 6) {
            PictureFileEntry f;
            bool a = false, b = false, c = false, d = false;
            f.name = QString::fromUtf8(words[1]);
            f.size = words[2].toLongLong(&a);
            f.modifiedNs = words[3].toLongLong(&b);
            f.changedNs = words[4].toLongLong(&c);
            f.fileNumber = words[5].toULongLong(&d);
            ok = a && b && c && d;
            m.pictureFiles << f;
        } else if (!key.isEmpty()) {
            ok = false;
        }
        if (!ok)
            return false;
    }
    // A marker cut short (no "end") is no marker.
    return ended && m.state != SetMarker::State::Missing && m.written.isValid() && m.places >= 0
        && m.pictures >= 0;
}

// ---------------------------------------------------------------- journal

struct Journal {
    QString from;
    QString kept;
    QStringList tables;
};

QByteArray journalText(const Journal& j)
{
    QByteArray text = "Corvane3 replacement 1\n";
    text += "from " + j.from.toUtf8() + "\n";
    text += "kept " + j.kept.toUtf8() + "\n";
    for (const QString& table : j.tables)
        text += "table " + table.toUtf8() + "\n";
    text += "end\n";
    return text;
}

std::optional<Journal> readJournal(const QString& dataHost)
{
    QFile file(QDir(dataHost).filePath(kJournalName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.constFirst() != "Corvane3 replacement 1")
        return std::nullopt;
    Journal j;
    bool ended = false;
    for (qsizetype i = 1; i < lines.size() && !ended; ++i) {
        const QByteArray& line = lines[i];
        if (line == "end")
            ended = true;
        else if (line.startsWith("from "))
            j.from = QString::fromUtf8(line.mid(5));
        else if (line.startsWith("kept "))
            j.kept = QString::fromUtf8(line.mid(5));
        else if (line.startsWith("table "))
            j.tables << QString::fromUtf8(line.mid(6));
    }
    // Written in one step, so a journal cut short cannot happen; one that
    // names anything but the user tables is not ours to act on.
    for (const QString& table : std::as_const(j.tables)) {
        if (!userTableFileNames().contains(table))
            return std::nullopt;
    }
    if (!ended || j.tables.isEmpty())
        return std::nullopt;
    return j;
}

// Renames every waiting staged table into place, then removes the journal.
void rollForward(const QString& dataHost, const Journal& journal)
{
    for (const QString& name : journal.tables) {
        const QString staged = QDir(dataHost).filePath(stagingName(name));
        if (!QFileInfo::exists(staged))
            continue; // put in place before the interruption
        const QString live = QDir(dataHost).filePath(name);
        platform::Database::settleTableFile(live);
        QFile::remove(live + QStringLiteral("-journal"));
        if (std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(live).constData()) != 0) {
            throw platform::AppError(
                QStringLiteral("Cannot put \"%1\" in place of \"%2\". %3")
                    .arg(shownPath(staged), shownPath(live), platform::systemReason(errno)));
        }
        workStep(
            name == QLatin1String("DESCRIP.DB") ? "replace: DESCRIP.DB renamed" : "replace: PIX.DB renamed");
    }
    platform::syncFolder(dataHost);
    QFile::remove(QDir(dataHost).filePath(kJournalName));
    platform::syncFolder(dataHost);
}

// The kept copies of the Data folder with their markers; newest first.
struct KeptCopy {
    QString name;
    SetMarker marker;
};

QList<KeptCopy> keptCopiesIn(const QString& dataHost)
{
    QList<KeptCopy> copies;
    const QStringList names = QDir(dataHost).entryList(kKeptPatterns, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        // A copy being written has a passing name until it is complete.
        const bool passing = name.endsWith(QLatin1String(".part"));
        copies << KeptCopy { name, passing ? SetMarker() : readSetMarker(QDir(dataHost).filePath(name)) };
    }
    std::stable_sort(copies.begin(), copies.end(), [](const KeptCopy& a, const KeptCopy& b) {
        if (a.marker.written != b.marker.written)
            return a.marker.written > b.marker.written;
        return a.name > b.name;
    });
    return copies;
}

void pruneKeptCopies(const QString& dataHost, QStringList* removed = nullptr)
{
    int complete = 0;
    for (const KeptCopy& copy : keptCopiesIn(dataHost)) {
        if (copy.marker.state != SetMarker::State::Complete)
            continue;
        if (++complete <= kKeptCopiesLimit)
            continue;
        QDir(QDir(dataHost).filePath(copy.name)).removeRecursively();
        if (removed)
            *removed << QStringLiteral("an old kept copy, %1").arg(copy.name);
    }
}

} // namespace

void setWorkStepHook(std::function<void(std::string_view step)> hook)
{
    g_stepHook = std::move(hook);
}

void workStep(std::string_view step)
{
    if (g_stepHook)
        g_stepHook(step);
}

QList<platform::Table*> userTables(const TDataModule1& data)
{
    QList<platform::Table*> tables { data.tblDescrip, data.tblPix };
    // The bin and the control points go where the places go; a read-only
    // installation has neither.
    try {
        tables << binTableObject();
        tables << georefTableObject();
    } catch (const std::exception&) {
    }
    return tables;
}

QStringList userTableFileNames()
{
    QStringList names { descripTableDef().fileName, pixTableDef().fileName };
    for (const platform::TableDef& def : laterUserTableDefs())
        names << def.fileName;
    return names;
}

QList<platform::TableDef> laterUserTableDefs()
{
    return { binTableDef(), georefTableDef() };
}

QString dataFolder()
{
    return platform::DriveTable::instance()
        .alias(QStringLiteral("Corvane3"))
        .value_or(QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\Data\\"));
}

QString stagingName(const QString& name)
{
    return name + QStringLiteral(".NEW");
}

void snapshotTable(
    const platform::Table* table, const QString& hostTargetPath, const platform::Database::Progress& progress)
{
    if (hostTargetPath.isEmpty())
        throw platform::AppError(
            QStringLiteral("No file was named to write the copy of %1 to.").arg(table->def().fileName));
    removeFileAndJournal(hostTargetPath); // a copy left over from an interrupted run
    try {
        table->snapshotTo(hostTargetPath, progress);
    } catch (...) {
        removeFileAndJournal(hostTargetPath);
        throw;
    }
}

int storedRecordCount(const platform::Table* table)
{
    if (table->active() && table->state() == platform::Table::State::Browse)
        return table->recordCount();
    return platform::Database::checkTableFile(table->fileHostPath(), true);
}

void verifyTableFile(const QString& hostPath, int expectedCount)
{
    const int count = platform::Database::checkTableFile(hostPath);
    if (count != expectedCount) {
        throw platform::AppError(QStringLiteral("%1 holds %2 records instead of %3.")
                                     .arg(QDir::toNativeSeparators(hostPath))
                                     .arg(count)
                                     .arg(expectedCount));
    }
}

void verifyCopy(const QString& originalHostPath, const QString& copyHostPath, int expectedCount)
{
    const int count = platform::Database::checkCopy(originalHostPath, copyHostPath);
    if (count != expectedCount) {
        throw platform::AppError(QStringLiteral("The copy %1 holds %2 records instead of %3.")
                                     .arg(QDir::toNativeSeparators(copyHostPath))
                                     .arg(count)
                                     .arg(expectedCount));
    }
}

SetMarker readSetMarker(const QString& hostFolder)
{
    QFile file(QDir(hostFolder).filePath(kSetMarkerName));
    SetMarker marker;
    if (!file.open(QIODevice::ReadOnly) || !parseMarker(file.readAll(), marker))
        return {};
    return marker;
}

void writeSetMarker(const QString& hostFolder, const SetMarker& marker)
{
    platform::saveDurably(QDir(hostFolder).filePath(kSetMarkerName), markerText(marker));
}

QString keepCopyOfTables(
    const QList<platform::Table*>& tables, const QString& dataFolder, const QString& label)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd hhmmss"));
    QString folder = dataFolder + label + QLatin1Char(' ') + stamp + QLatin1Char('\\');
    const auto taken = [](const QString& windowsFolder) {
        const QString host = hostPathOf(windowsFolder);
        return QFileInfo::exists(host) || QFileInfo::exists(host + QStringLiteral(".part"));
    };
    for (int n = 2; taken(folder); ++n)
        folder = dataFolder + QStringLiteral("%1 %2 (%3)\\").arg(label, stamp).arg(n);
    const QString finalHost = hostPathOf(folder);
    // Written under a passing name, marked complete, then given its name:
    // a copy a kill interrupts is never taken for a complete one.
    const QString hostFolder = finalHost + QStringLiteral(".part");
    QDir(hostFolder).removeRecursively();
    if (!QDir().mkpath(hostFolder))
        throw platform::AppError(QStringLiteral("Cannot create the folder \"%1\".").arg(folder));
    SetMarker marker;
    marker.state = SetMarker::State::Complete;
    marker.written = now;
    try {
        for (platform::Table* table : tables) {
            const QString target = QDir(hostFolder).filePath(table->def().fileName);
            snapshotTable(table, target);
            const int count = storedRecordCount(table);
            verifyCopy(table->fileHostPath(), target, count);
            if (table->def().fileName == pixTableDef().fileName)
                marker.pictures = count;
            else if (table->def().fileName == descripTableDef().fileName)
                marker.places = count;
        }
        marker.places = std::max(marker.places, 0);
        marker.pictures = std::max(marker.pictures, 0);
        workStep("keep: tables copied");
        writeSetMarker(hostFolder, marker);
        platform::renameHostFile(hostFolder, finalHost);
    } catch (...) {
        QDir(hostFolder).removeRecursively();
        throw;
    }
    if (const auto data = platform::resolve(dataFolder))
        pruneKeptCopies(*data);
    return folder;
}

QString keepCopyOfUserTables(const TDataModule1& data)
{
    return keepCopyOfTables(userTables(data), dataFolder(), QStringLiteral("Kept"));
}

QStringList completeKeptCopies(const QString& dataFolder)
{
    const auto data = platform::resolve(dataFolder);
    if (!data)
        return {};
    QStringList folders;
    for (const KeptCopy& copy : keptCopiesIn(*data)) {
        if (copy.marker.state == SetMarker::State::Complete)
            folders << dataFolder + copy.name + QLatin1Char('\\');
    }
    return folders;
}

void removeKeptCopy(const QString& folder)
{
    if (folder.isEmpty())
        return;
    if (const auto host = platform::resolve(folder))
        QDir(*host).removeRecursively();
}

void closeUserTables(const TDataModule1& data)
{
    for (platform::Table* table : userTables(data))
        table->close();
}

void reopenUserTables(const TDataModule1& data)
{
    for (platform::Table* table : userTables(data)) {
        table->open();
        table->first();
    }
}

void stageTableFiles(const QList<platform::Table*>& tables, const QStringList& sourceHostPaths)
{
    const QString dataHost = dataHostFolder();
    QStringList staged;
    try {
        for (qsizetype i = 0; i < tables.size(); ++i) {
            const QString staging = QDir(dataHost).filePath(stagingName(tables[i]->def().fileName));
            staged << staging;
            removeFileAndJournal(staging);
            platform::Database::snapshotFile(sourceHostPaths[i], staging);
            verifyCopy(
                sourceHostPaths[i], staging, platform::Database::checkTableFile(sourceHostPaths[i], true));
        }
    } catch (...) {
        for (const QString& file : std::as_const(staged))
            removeFileAndJournal(file);
        throw;
    }
    platform::syncFolder(dataHost);
}

void putStagedTablesInPlace(
    const QList<platform::Table*>& tables, const QString& from, const QString& keptFolder)
{
    const QString dataHost = dataHostFolder();
    Journal journal { from, keptFolder, {} };
    for (platform::Table* table : tables)
        journal.tables << table->def().fileName;
    // From here on the new tables are the ones: a kill before the journal
    // is gone is finished (or undone) at the next start.
    platform::saveDurably(QDir(dataHost).filePath(kJournalName), journalText(journal));
    workStep("replace: journal written");
    rollForward(dataHost, journal);
    if (DataModule1)
        emit DataModule1->userTablesReplaced();
}

void replaceTableFiles(const QList<platform::Table*>& tables, const QStringList& sourceHostPaths,
    const QString& from, const QString& keptFolder)
{
    stageTableFiles(tables, sourceHostPaths);
    putStagedTablesInPlace(tables, from, keptFolder);
}

InterruptedReplacement interruptedReplacement()
{
    InterruptedReplacement result;
    const auto dataHost = platform::resolve(dataFolder());
    if (!dataHost)
        return result;
    const auto journal = readJournal(*dataHost);
    if (!journal)
        return result;
    result.pending = true;
    result.from = journal->from;
    result.kept = journal->kept;
    for (const QString& name : journal->tables) {
        if (QFileInfo::exists(QDir(*dataHost).filePath(stagingName(name))))
            result.waiting << name;
        else
            result.replaced << name;
    }
    return result;
}

void finishReplacement()
{
    const QString dataHost = dataHostFolder();
    if (const auto journal = readJournal(dataHost))
        rollForward(dataHost, *journal);
}

void undoReplacement()
{
    const QString dataHost = dataHostFolder();
    const auto journal = readJournal(dataHost);
    if (!journal)
        return;
    const auto keptHost = journal->kept.isEmpty() ? std::nullopt : platform::resolve(journal->kept);
    if (!keptHost || readSetMarker(*keptHost).state != SetMarker::State::Complete) {
        throw platform::AppError(
            QStringLiteral(
                "The copy of your tables from before the restore (%1) is not there or not complete, "
                "so the restore cannot be undone; it can only be finished.")
                .arg(journal->kept.isEmpty() ? QStringLiteral("none was named") : journal->kept));
    }
    // Stage the kept tables over what waits, then put them in place under a
    // journal of their own: a kill meanwhile leaves this to finish.
    for (const QString& name : journal->tables) {
        const QString source = QDir(*keptHost).filePath(name);
        const QString staging = QDir(dataHost).filePath(stagingName(name));
        const QString temporary = staging + QStringLiteral(".part");
        removeFileAndJournal(temporary);
        try {
            platform::Database::snapshotFile(source, temporary);
            verifyCopy(source, temporary, platform::Database::checkTableFile(source, true));
        } catch (...) {
            removeFileAndJournal(temporary);
            throw;
        }
        if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(staging).constData())
            != 0)
            throw platform::AppError(QStringLiteral("Cannot write \"%1\". %2")
                                         .arg(shownPath(staging), platform::systemReason(errno)));
    }
    platform::syncFolder(dataHost);
    // Every table now waits under its staging name, holding the kept copy.
    Journal back { journal->kept, journal->kept, journal->tables };
    platform::saveDurably(QDir(dataHost).filePath(kJournalName), journalText(back));
    rollForward(dataHost, back);
}

QStringList cleanUpInterruptedWork(const QString& programPath)
{
    QStringList removed;
    if (platform::isReadOnlyDrive(dataFolder()))
        return removed; // nothing is written there, so nothing was left
    if (const auto dataHost = platform::resolve(dataFolder()); dataHost && QFileInfo(*dataHost).isDir()) {
        const QDir data(*dataHost);
        if (QFileInfo(*dataHost).isWritable())
            platform::Database::settleFolder(*dataHost);
        if (!readJournal(*dataHost)) {
            QFile::remove(data.filePath(kJournalName));
            for (const QString& name : userTableFileNames()) {
                for (const QString& left :
                    { stagingName(name), stagingName(name) + QStringLiteral(".part") }) {
                    if (QFileInfo::exists(data.filePath(left)))
                        removed << QStringLiteral("an unfinished copy, %1").arg(left);
                    removeFileAndJournal(data.filePath(left));
                }
            }
        }
        QFile::remove(data.filePath(kJournalName + QStringLiteral(".part")));
        for (const KeptCopy& copy : keptCopiesIn(*dataHost)) {
            if (copy.marker.state == SetMarker::State::Complete)
                continue;
            const QString folder = data.filePath(copy.name);
            if (copy.name.endsWith(QLatin1String(".part"))) {
                QDir(folder).removeRecursively();
                removed << QStringLiteral("an unfinished kept copy, %1").arg(copy.name);
                continue;
            }
            // A copy an earlier version made has no marker: it is complete
            // when both its tables are sound, and is marked so once.
            SetMarker adopted;
            adopted.state = SetMarker::State::Complete;
            try {
                const QFileInfo descrip(QDir(folder).filePath(descripTableDef().fileName));
                const QFileInfo pix(QDir(folder).filePath(pixTableDef().fileName));
                if (QFileInfo::exists(QDir(folder).filePath(kSetMarkerName + QStringLiteral(".part")))
                    || QFileInfo::exists(descrip.filePath() + QStringLiteral("-journal"))
                    || QFileInfo::exists(pix.filePath() + QStringLiteral("-journal")))
                    throw platform::AppError(QStringLiteral("unfinished"));
                adopted.places = platform::Database::checkTableFile(descrip.filePath(), true);
                adopted.pictures = platform::Database::checkTableFile(pix.filePath(), true);
                adopted.written = std::max(descrip.lastModified(), pix.lastModified());
                writeSetMarker(folder, adopted);
            } catch (const std::exception&) {
                QDir(folder).removeRecursively();
                removed << QStringLiteral("an unfinished kept copy, %1").arg(copy.name);
            }
        }
        pruneKeptCopies(*dataHost, &removed);
    }
    if (const auto pix = platform::resolve(programPath + QStringLiteral("Pix\\"));
        pix && QFileInfo(*pix).isDir() && !platform::isReadOnlyDrive(programPath)) {
        const QDir folder(*pix);
        const QStringList names = folder.entryList({ QStringLiteral("*.part"), QStringLiteral("~import-*") },
            QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : names) {
            if (QFile::remove(folder.filePath(name)))
                removed << QStringLiteral("an unfinished picture copy, %1").arg(name);
        }
    }
    return removed;
}

} // namespace corvane
