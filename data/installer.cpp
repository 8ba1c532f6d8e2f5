#include "data/installer.h"

#include "core/shared.h"
#include "data/tables.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace corvane {

namespace {

const QString kStagingAlias = QStringLiteral("Corvane3Install");

QString hostFolder(const QString& windowsPath)
{
    return platform::hostPathOf(windowsPath); // says why a path cannot be reached
}

QList<QStringList> readTsv(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw platform::AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.trimmed().isEmpty())
            rows << line.split(QLatin1Char('\t'));
    }
    return rows;
}

// Rows of a shipped .tsv file (header line of field names) into a table.
void loadRows(platform::Table& table, const QList<QStringList>& rows)
{
    if (rows.isEmpty())
        return;
    const QStringList header = rows.constFirst();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        table.append();
        for (qsizetype c = 0; c < header.size() && c < rows[r].size(); ++c) {
            const QString value = rows[r][c].trimmed();
            if (!value.isEmpty())
                table.setFieldValue(header[c].trimmed(), value);
        }
        table.post();
    }
}

void makeFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw platform::AppError(QStringLiteral("Cannot create the folder \"%1\".").arg(path));
}

// The shipped template lies outside every drive, so it is copied by host
// paths; a file left by an interrupted first start is replaced.
void copyTree(const QString& from, const QString& to)
{
    makeFolder(to);
    const QDir source(from);
    const QDir target(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString destination = target.filePath(source.relativeFilePath(it.next()));
        if (it.fileInfo().isDir()) {
            makeFolder(destination);
            continue;
        }
        QFile::remove(destination);
        QFile file(it.filePath());
        if (!file.copy(destination))
            throw platform::AppError(
                QStringLiteral("Cannot create file \"%1\". %2").arg(destination, file.errorString()));
    }
}

void fillTables(const QString& stagingWindowsFolder)
{
    platform::DriveTable::instance().setAlias(kStagingAlias, stagingWindowsFolder);
    platform::Database db(kStagingAlias, QStringLiteral("Atlas"));
    db.connectDatabase();
    const QString shipped = templateFolder();
    const QList<std::pair<platform::TableDef, QString>> shippedTables { { mapCatTableDef(),
                                                                            QStringLiteral("MAPCAT.tsv") },
        { mapsTableDef(), QStringLiteral("MAPS.tsv") }, { abbrevTableDef(), QStringLiteral("ABBREV.tsv") } };
    for (const auto& [def, tsv] : shippedTables) {
        platform::Table table(&db, def);
        table.open();
        // One transaction for the whole table: a first start stays quick.
        db.beginBatch();
        try {
            loadRows(table, readTsv(shipped + QLatin1Char('/') + tsv));
        } catch (...) {
            db.rollbackBatch();
            throw;
        }
        db.commitBatch();
        table.close();
    }
    platform::Table config(&db, configTableDef());
    config.open();
    loadRows(config,
        { { QStringLiteral("FirstTime"), QStringLiteral("ProgramPath"), QStringLiteral("GraphicsPath"),
              QStringLiteral("Floppy"), QStringLiteral("CD") },
            { QStringLiteral("yes"), vProgramPath, QStringLiteral("D:\\"), QStringLiteral("A"),
                QStringLiteral("D") } });
    config.close();
}

} // namespace

QString templateFolder()
{
    return platform::shareDir() + QStringLiteral("/template");
}

void installIfNeeded()
{
    const QString program = hostFolder(vProgramPath);
    if (QFileInfo(hostFolder(vProgramPath + QStringLiteral("Data"))).isDir())
        return;

    // Everything is made in a staging folder and renamed into place last, so
    // an interrupted first start is simply done again next time.
    const QString stagingName = QStringLiteral("Data.install");
    const QString staging = QDir(program).filePath(stagingName);
    QDir(staging).removeRecursively();
    makeFolder(staging);
    for (const platform::TableDef& def : allTableDefs())
        platform::Database::createTableFile(QDir(staging).filePath(def.fileName), def);
    fillTables(vProgramPath + stagingName + QLatin1Char('\\'));

    copyTree(templateFolder() + QStringLiteral("/Help"), hostFolder(vProgramPath + QStringLiteral("Help")));
    copyTree(
        templateFolder() + QStringLiteral("/Reports"), hostFolder(vProgramPath + QStringLiteral("Reports")));
    makeFolder(hostFolder(vProgramPath + QStringLiteral("Pix")));
    if (!QDir(program).rename(stagingName, QStringLiteral("Data")))
        throw platform::AppError(QStringLiteral("Cannot create the folder \"%1\".")
                                     .arg(QDir(program).filePath(QStringLiteral("Data"))));
}

} // namespace corvane
