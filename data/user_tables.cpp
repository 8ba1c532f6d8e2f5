#include "data/user_tables.h"

#include "data/datamod1.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace corvane {

namespace {

QString hostPathOf(const QString& windowsPath)
{
    const auto host = platform::resolve(windowsPath);
    if (!host)
        throw platform::AppError(QStringLiteral("The drive of \"%1\" does not exist.").arg(windowsPath));
    return *host;
}

} // namespace

QList<platform::Table*> userTables(const TDataModule1& data)
{
    return { data.tblDescrip, data.tblPix };
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
    QFile::remove(hostTargetPath); // a copy left over from an interrupted run
    try {
        table->snapshotTo(hostTargetPath, progress);
    } catch (...) {
        QFile::remove(hostTargetPath);
        throw;
    }
}

int storedRecordCount(const platform::Table* table)
{
    if (table->active() && table->state() == platform::Table::State::Browse)
        return table->recordCount();
    return platform::Database::checkTableFile(table->fileHostPath());
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

QString keepCopyOfTables(
    const QList<platform::Table*>& tables, const QString& dataFolder, const QString& label)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hhmmss"));
    QString folder = dataFolder + label + QLatin1Char(' ') + stamp + QLatin1Char('\\');
    for (int n = 2; QFileInfo::exists(hostPathOf(folder)); ++n)
        folder = dataFolder + QStringLiteral("%1 %2 (%3)\\").arg(label, stamp).arg(n);
    const QString hostFolder = hostPathOf(folder);
    if (!QDir().mkpath(hostFolder))
        throw platform::AppError(QStringLiteral("Cannot create the folder \"%1\".").arg(folder));
    for (platform::Table* table : tables) {
        const QString target = hostPathOf(folder + table->def().fileName);
        snapshotTable(table, target);
        verifyTableFile(target, storedRecordCount(table));
    }
    return folder;
}

QString keepCopyOfUserTables(const TDataModule1& data)
{
    return keepCopyOfTables(userTables(data), dataFolder(), QStringLiteral("Kept"));
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

void replaceTableFiles(const QList<platform::Table*>& tables, const QStringList& sourceHostPaths)
{
    QStringList staged;
    try {
        for (qsizetype i = 0; i < tables.size(); ++i) {
            const QString name = tables[i]->def().fileName;
            const QString staging = hostPathOf(dataFolder() + stagingName(name));
            staged << staging;
            QFile::remove(staging);
            platform::Database::snapshotFile(sourceHostPaths[i], staging);
            verifyTableFile(staging, platform::Database::checkTableFile(sourceHostPaths[i]));
        }
    } catch (...) {
        for (const QString& file : std::as_const(staged))
            QFile::remove(file);
        throw;
    }
    for (platform::Table* table : tables) {
        const QString name = table->def().fileName;
        platform::renameOver(dataFolder() + stagingName(name), dataFolder() + name);
    }
}

} // namespace corvane
