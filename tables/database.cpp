// The Database: the one SQLite connection the tables are attached to, batches
// over several tables, and the table files themselves (create, copy, check).
#include "tables/table.h"

#include "tables/engine_internal.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <utility>

#include <sqlite3.h>

namespace platform {

using namespace engine;

namespace engine {

QString findTableFile(const QString& folder, const QString& fileName)
{
    const QDir dir(folder);
    if (dir.exists(fileName))
        return dir.filePath(fileName);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

} // namespace engine

// ---------------------------------------------------------------- Database

Database::Database(const QString& alias, const QString& databaseName, QObject* parent)
    : QObject(parent)
    , m_alias(alias)
    , m_databaseName(databaseName)
{
}

Database::~Database()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

void Database::connectDatabase()
{
    if (m_db)
        return;
    const auto folder = aliasFolder(m_alias);
    if (!folder)
        throw EngineError(QStringLiteral("Unknown database alias: %1").arg(m_alias));
    if (!QFileInfo(*folder).isDir()) {
        throw EngineError(QStringLiteral("The folder of database alias %1 does not exist: %2")
                              .arg(m_alias, QDir::toNativeSeparators(*folder)));
    }
    const auto windowsFolder = DriveTable::instance().alias(m_alias);
    m_readOnly = windowsFolder && isReadOnlyDrive(*windowsFolder);
    // Each table file is attached to one main database while its table is
    // open. That main database is a file beside the tables (hidden, empty):
    // SQLite writes a super-journal beside its main database, and only with
    // one on disk is a transaction that writes two table files atomic across
    // both (with ":memory:" it would be atomic per file only). On a
    // read-only drive nothing is written, so an in-memory one does.
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI;
    const QString mainFile = QDir(*folder).filePath(kConnectionFileName);
    bool onDisk = false;
    if (!m_readOnly && QFileInfo(*folder).isWritable()) {
        // Rollback journal, never WAL: the super-journal needs it.
        onDisk = sqlite3_open_v2(mainFile.toUtf8().constData(), &db, flags & ~SQLITE_OPEN_URI, nullptr)
                == SQLITE_OK
            && sqlite3_exec(db, "PRAGMA main.journal_mode=DELETE; PRAGMA main.synchronous=FULL;", nullptr,
                   nullptr, nullptr)
                == SQLITE_OK;
        if (!onDisk) {
            sqlite3_close_v2(db);
            db = nullptr;
        }
    }
    if (!onDisk && sqlite3_open_v2(":memory:", &db, flags, nullptr) != SQLITE_OK) {
        const QString message = db ? sqliteMessage(db) : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        throw EngineError(QStringLiteral("Cannot connect database %1: %2").arg(m_databaseName, message));
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    m_db = db;
    m_folder = *folder;
    m_atomicAcrossFiles = onDisk;
}

// A connection made while the folder could not be written has an in-memory
// main database; once the folder is writable again, the tables move to a
// connection whose main database is the file, before a batch needs it.
void Database::moveToFileMain()
{
    if (!m_db || m_atomicAcrossFiles || m_readOnly || !QFileInfo(m_folder).isWritable()
        || !sqlite3_get_autocommit(m_db))
        return;
    sqlite3* db = nullptr;
    const QString mainFile = QDir(m_folder).filePath(kConnectionFileName);
    bool ok = sqlite3_open_v2(
                  mainFile.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            == SQLITE_OK
        && sqlite3_exec(db, "PRAGMA main.journal_mode=DELETE; PRAGMA main.synchronous=FULL;", nullptr,
               nullptr, nullptr)
            == SQLITE_OK;
    if (ok) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        Statement list(m_db, QStringLiteral("PRAGMA database_list"));
        while (ok && list.ok() && sqlite3_step(list.get()) == SQLITE_ROW) {
            const QString schema = list.column(1).toString();
            if (schema == QLatin1String("main") || schema == QLatin1String("temp"))
                continue;
            Statement attach(db, QStringLiteral("ATTACH DATABASE ?1 AS %1").arg(quoted(schema)));
            if (attach.ok())
                attach.bind(1, list.column(2).toString());
            ok = attach.ok() && sqlite3_step(attach.get()) == SQLITE_DONE
                && sqlite3_exec(db,
                       QStringLiteral("PRAGMA %1.journal_mode=DELETE; PRAGMA %1.synchronous=FULL;")
                           .arg(quoted(schema))
                           .toUtf8()
                           .constData(),
                       nullptr, nullptr, nullptr)
                    == SQLITE_OK;
        }
    }
    if (!ok) {
        sqlite3_close_v2(db);
        return;
    }
    sqlite3_close_v2(m_db);
    m_db = db;
    m_atomicAcrossFiles = true;
}

void Database::beginBatch()
{
    moveToFileMain();
    if (!m_db || sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EngineError(
            QStringLiteral("Cannot begin a transaction on %1: %2")
                .arg(m_databaseName, m_db ? sqliteMessage(m_db) : QStringLiteral("not connected")));
    m_inBatch = true;
}

void Database::commitBatch()
{
    if (m_db && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const int code = sqlite3_extended_errcode(m_db);
        const QString message = sqliteMessage(m_db);
        rollbackBatch();
        // Named by the folder: the batch may span several table files.
        QString text = writeFailure(QDir(m_folder).filePath(m_databaseName), code, message);
        throw EngineError(text);
    }
    m_inBatch = false;
    const auto stored = std::exchange(m_storedInBatch, {});
    for (const auto& [file, rowids] : stored)
        emit rowsStored(file, rowids);
}

void Database::rollbackBatch()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_inBatch = false;
    m_storedInBatch.clear();
}

void Database::noteStored(const QString& fileHostPath, const QList<qint64>& rowids)
{
    if (!m_inBatch) {
        emit rowsStored(fileHostPath, rowids);
        return;
    }
    // Rows of one file gather into one report; "any row" covers the rest.
    for (auto& [file, gathered] : m_storedInBatch) {
        if (file != fileHostPath)
            continue;
        if (rowids.isEmpty() || gathered.isEmpty())
            gathered.clear();
        else
            gathered += rowids;
        return;
    }
    m_storedInBatch.append({ fileHostPath, rowids });
}

namespace {

QString createTableSql(const QString& table, const TableDef& def)
{
    QStringList columns;
    for (const FieldDef& field : def.fields) {
        QString column = quoted(field.name)
            + (field.type == FieldType::Integer ? QStringLiteral(" INTEGER") : QStringLiteral(" TEXT"));
        if (field.required)
            column += QStringLiteral(" NOT NULL");
        columns << column;
    }
    QString sql
        = QStringLiteral("CREATE TABLE %1 (%2);").arg(quoted(table), columns.join(QStringLiteral(", ")));
    for (const IndexDef& index : def.indexes) {
        const QString name = index.name.isEmpty() ? table + QLatin1Char('_') + index.field : index.name;
        sql += QStringLiteral(" CREATE %1INDEX %2 ON %3 (%4%5);")
                   .arg(index.primary || index.unique ? QStringLiteral("UNIQUE ") : QString(), quoted(name),
                       quoted(table), quoted(index.field),
                       index.caseInsensitive ? QStringLiteral(" COLLATE NOCASE") : QString());
    }
    return sql;
}

} // namespace

void Database::createTableFile(const QString& hostPath, const TableDef& def)
{
    const QString shown = QDir::toNativeSeparators(hostPath);
    const QFileInfo info(hostPath);
    if (info.exists() || !findTableFile(info.path(), info.fileName()).isEmpty())
        throw EngineError(QStringLiteral("Table file already exists: %1").arg(shown));
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(
        hostPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString sql = QStringLiteral("PRAGMA journal_mode=DELETE; BEGIN; ")
        + createTableSql(info.completeBaseName(), def) + QStringLiteral(" COMMIT;");
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? sqliteMessage(db) : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        QFile::remove(hostPath);
        throw EngineError(QStringLiteral("Cannot create table file %1: %2").arg(shown, message));
    }
    sqlite3_close_v2(db);
}

namespace engine {

// The copy runs in steps of this many pages, so progress can be shown.
constexpr int kPagesPerStep = 512;

QString firstTableName(sqlite3* db, const QString& schema)
{
    Statement names(db,
        QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type='table' AND name NOT "
                       "LIKE 'sqlite%' ORDER BY rowid LIMIT 1")
            .arg(quoted(schema)));
    if (!names.ok() || sqlite3_step(names.get()) != SQLITE_ROW)
        return {};
    return names.column(0).toString();
}

void backUp(
    sqlite3* source, const QString& schema, const QString& targetHostPath, const Database::Progress& progress)
{
    const QString shown = QDir::toNativeSeparators(targetHostPath);
    sqlite3* target = nullptr;
    int rc = sqlite3_open_v2(
        targetHostPath.toUtf8().constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_backup* backup = rc == SQLITE_OK
        ? sqlite3_backup_init(target, "main", source, schema.toUtf8().constData())
        : nullptr;
    if (!backup) {
        const QString message = target ? sqliteMessage(target) : QStringLiteral("out of memory");
        sqlite3_close_v2(target);
        throw EngineError(QStringLiteral("Cannot create %1: %2").arg(shown, message));
    }
    int busyRetries = 50;
    do {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        const int total = sqlite3_backup_pagecount(backup);
        if (progress)
            progress(total - sqlite3_backup_remaining(backup), total);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(20);
    } while (rc == SQLITE_OK || ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && --busyRetries > 0));
    sqlite3_backup_finish(backup);
    const QString message = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errstr(rc));
    if (sqlite3_close(target) != SQLITE_OK)
        sqlite3_close_v2(target);
    if (!message.isEmpty())
        throw EngineError(QStringLiteral("Cannot write %1: %2").arg(shown, message));
}

} // namespace engine

void Database::snapshotFile(
    const QString& sourceHostPath, const QString& targetHostPath, const Progress& progress)
{
    const QString shown = QDir::toNativeSeparators(sourceHostPath);
    sqlite3* source = nullptr;
    if (sqlite3_open_v2(sourceHostPath.toUtf8().constData(), &source, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        const QString message = source ? sqliteMessage(source) : QStringLiteral("out of memory");
        sqlite3_close_v2(source);
        throw EngineError(QStringLiteral("Cannot open %1: %2").arg(shown, message));
    }
    try {
        backUp(source, QStringLiteral("main"), targetHostPath, progress);
    } catch (...) {
        sqlite3_close_v2(source);
        throw;
    }
    sqlite3_close_v2(source);
}

namespace {

// The bytes of page 1 that SQLite's backup rewrites in its copy (change
// counter, schema cookie, version-valid-for and the writer's version):
// every other byte of a faithful copy equals its original.
bool headerByteMayDiffer(qint64 offset)
{
    return (offset >= 24 && offset < 28) || (offset >= 40 && offset < 44) || (offset >= 92 && offset < 100);
}

// Whether the two files hold the same bytes, those header bytes apart.
// Empty when they do; else where they first differ.
QString firstDifference(const QString& original, const QString& copy)
{
    QFile a(original), b(copy);
    if (!a.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(original), a.errorString());
    if (!b.open(QIODevice::ReadOnly))
        return QStringLiteral("it cannot be read back: %1").arg(b.errorString());
    if (a.size() != b.size())
        return QStringLiteral("it holds %1 bytes instead of %2").arg(b.size()).arg(a.size());
    constexpr qint64 kChunk = 1 << 20;
    qint64 offset = 0;
    while (offset < a.size()) {
        const QByteArray x = a.read(kChunk);
        const QByteArray y = b.read(kChunk);
        if (x.size() != y.size() || x.isEmpty())
            return QStringLiteral("it could not be read back whole");
        if (x != y) {
            for (qsizetype i = 0; i < x.size(); ++i) {
                if (x[i] != y[i] && !headerByteMayDiffer(offset + i))
                    return QStringLiteral("its bytes differ from the original's at offset %1")
                        .arg(offset + i);
            }
        }
        offset += x.size();
    }
    return {};
}

// Opens hostPath read-only and runs the check; the table's record count,
// or throws EngineError naming the file.
int checkedCount(const QString& hostPath, const char* check)
{
    const QString shown = QDir::toNativeSeparators(hostPath);
    sqlite3* db = nullptr;
    if (!QFileInfo(hostPath).isFile()
        || sqlite3_open_v2(hostPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw EngineError(QStringLiteral("Cannot open %1").arg(shown));
    }
    QString problem;
    int count = -1;
    {
        Statement statement(db, QString::fromLatin1(check));
        const bool stepped = statement.ok() && sqlite3_step(statement.get()) == SQLITE_ROW;
        const QString verdict = stepped ? statement.column(0).toString() : sqliteMessage(db);
        if (verdict != QLatin1String("ok"))
            problem = QStringLiteral("%1 is damaged: %2").arg(shown, verdict);
    }
    const QString table = problem.isEmpty() ? firstTableName(db, QStringLiteral("main")) : QString();
    if (problem.isEmpty() && table.isEmpty())
        problem = QStringLiteral("%1 is not a table file").arg(shown);
    if (problem.isEmpty()) {
        Statement select(db, QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table)));
        if (select.ok() && sqlite3_step(select.get()) == SQLITE_ROW)
            count = int(select.column(0).toLongLong());
        else
            problem = QStringLiteral("Cannot read %1: %2").arg(shown, sqliteMessage(db));
    }
    sqlite3_close_v2(db);
    if (!problem.isEmpty())
        throw EngineError(problem);
    return count;
}

} // namespace

int Database::checkCopy(const QString& originalHostPath, const QString& copyHostPath)
{
    // A copy made by SQLite's backup is the original page for page, so a
    // byte comparison finds any damage to it; SQLite's quick check then
    // finds a damaged original (whose faithful copy must not replace a
    // sound backup). Both cost time in proportion to the file's size.
    const QString difference = firstDifference(originalHostPath, copyHostPath);
    if (!difference.isEmpty()) {
        throw EngineError(
            QStringLiteral("The copy %1 is damaged: %2.")
                .arg(toWindowsPath(copyHostPath).value_or(QDir::toNativeSeparators(copyHostPath)),
                    difference));
    }
    return checkedCount(copyHostPath, "PRAGMA quick_check");
}

int Database::checkTableFile(const QString& hostPath, bool quick)
{
    return checkedCount(hostPath, quick ? "PRAGMA quick_check" : "PRAGMA integrity_check");
}

void Database::settleFolder(const QString& hostFolder)
{
    const QDir folder(hostFolder);
    for (const QString& name : folder.entryList(QDir::Files)) {
        if (name.endsWith(QLatin1String(".DB"), Qt::CaseInsensitive))
            settleTableFile(folder.filePath(name));
    }
    // A super-journal no hot journal names any more (the commit it served
    // was killed before any table's journal named it, or every table has
    // been rolled back): nothing reads it again.
    for (const QString& name :
        folder.entryList({ kConnectionFileName + QStringLiteral("-mj*") }, QDir::Files | QDir::Hidden))
        QFile::remove(folder.filePath(name));
}

void Database::settleTableFile(const QString& hostPath)
{
    // Opening for writing and reading rolls back what a killed writer left
    // in its journal, so the journal cannot outlive its file.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(hostPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
}

} // namespace platform
