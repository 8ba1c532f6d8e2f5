#include "data/search_index.h"

#include "data/search_tokenizer.h"
#include "tables/sqlite_statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

#include <sqlite3.h>
#include <sys/stat.h>

#include <limits>
#include <memory>

namespace corvane {

namespace {

using platform::sqlite::quoted;
using platform::sqlite::Statement;

// Raised when the index's layout changes; an index of another version is
// started anew.
constexpr int kSchemaVersion = 3;
// Rows read from a table file per statement: the file's lock is let go in
// between, so a rebuild never keeps the user's store waiting.
constexpr int kRowsPerRead = 2000;
// More changed rows than this are read as a rebuild.
constexpr int kMostRowsUpdated = 500;

bool run(sqlite3* db, const QString& sql)
{
    return db && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString ftsTable(const FindSource& source)
{
    return QStringLiteral("fts_") + QFileInfo(source.fileName).completeBaseName().toLower();
}

// The searched fields, then the keys not searched: the FTS table's columns.
QStringList columnsOf(const FindSource& source)
{
    QStringList columns = source.searched;
    for (const QString& key : source.keys) {
        if (!columns.contains(key, Qt::CaseInsensitive))
            columns << key;
    }
    return columns;
}

QString createSql(const FindSource& source)
{
    QStringList columns;
    for (const QString& column : columnsOf(source)) {
        columns << quoted(column)
                + (source.searched.contains(column) ? QString() : QStringLiteral(" UNINDEXED"));
    }
    // No per-row token counts (columnsize): only ranking would read them.
    // No word positions (detail=column): they made the index half again as
    // large; a phrase is checked on the matching rows' text instead.
    // Three-letter prefixes have an index of their own, so the first
    // letters typed do not have to gather every word that begins so.
    // A bulk load keeps 16 MB of words in memory before writing them out:
    // with FTS5's 1 MB, merging the many small pieces took a third of the
    // time. The table's own setting; it only matters within a transaction.
    return QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS %1 USING fts5(%2, tokenize='%3', "
                          "detail=column, columnsize=0, prefix='3'); "
                          "INSERT INTO %1(%1, rank) VALUES ('hashsize', 16777216)")
        .arg(ftsTable(source), columns.join(QStringLiteral(", ")), QLatin1String(kSearchTokenizer));
}

// The runs a search's rows must hold, as word_runs() reads them.
QString runsText(const QList<WordRun>& runs)
{
    QStringList lines;
    for (const WordRun& run : runs)
        lines << run.words.join(QLatin1Char(' ')) + (run.lastIsPrefix ? QStringLiteral("*") : QString());
    return lines.join(QLatin1Char('\n'));
}

bool prepareConnection(sqlite3* db)
{
    return registerSearchTokenizer(db) && registerWordRuns(db);
}

// What identifies the table file's stored state: its size, time and inode,
// and SQLite's change counter, which every commit raises. Empty when the
// file is missing.
QString signatureOf(const QString& hostPath)
{
    struct stat info { };
    if (hostPath.isEmpty() || ::stat(QFile::encodeName(hostPath).constData(), &info) != 0)
        return {};
    QFile file(hostPath);
    QByteArray counter;
    if (file.open(QIODevice::ReadOnly) && file.seek(24))
        counter = file.read(4).toHex();
    return QStringLiteral("%1:%2.%3:%4:%5")
        .arg(qlonglong(info.st_size))
        .arg(qlonglong(info.st_mtim.tv_sec))
        .arg(qlonglong(info.st_mtim.tv_nsec))
        .arg(qulonglong(info.st_ino))
        .arg(QString::fromLatin1(counter));
}

// A table file opened read-only on a connection of its own, so that its
// lock is held only while a statement runs.
class TableReader {
public:
    TableReader(const QString& hostPath, const FindSource& source)
    {
        if (hostPath.isEmpty()
            || sqlite3_open_v2(QFile::encodeName(hostPath).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr)
                != SQLITE_OK)
            return;
        sqlite3_busy_timeout(m_db, 2000);
        Statement names(m_db,
            QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%' "
                           "ORDER BY rowid LIMIT 1"));
        if (!names.ok() || names.step() != SQLITE_ROW)
            return;
        m_table = quoted(names.column(0).toString());
        QStringList fields;
        for (const QString& column : columnsOf(source))
            fields << quoted(column);
        m_fields = fields.join(QLatin1Char(','));
    }
    ~TableReader() { sqlite3_close_v2(m_db); }
    TableReader(const TableReader&) = delete;
    TableReader& operator=(const TableReader&) = delete;
    bool ok() const { return !m_table.isEmpty(); }
    std::unique_ptr<Statement> select(const QString& condition) const
    {
        return std::make_unique<Statement>(
            m_db, QStringLiteral("SELECT rowid,%1 FROM %2 WHERE %3").arg(m_fields, m_table, condition));
    }

private:
    sqlite3* m_db = nullptr;
    QString m_table;
    QString m_fields;
};

// Copies the row `from` stands on into the FTS table, values as stored.
bool insertRow(Statement& insert, const Statement& from, int columns)
{
    for (int i = 0; i <= columns; ++i)
        sqlite3_bind_value(insert.get(), i + 1, sqlite3_column_value(from.get(), i));
    const bool ok = insert.step() == SQLITE_DONE;
    insert.reset();
    return ok;
}

QString insertSql(const FindSource& source)
{
    const int columns = int(columnsOf(source).size());
    QStringList placeholders;
    for (int i = 0; i <= columns; ++i)
        placeholders << QStringLiteral("?%1").arg(i + 1);
    QStringList names { QStringLiteral("rowid") };
    for (const QString& column : columnsOf(source))
        names << quoted(column);
    return QStringLiteral("INSERT INTO %1(%2) VALUES (%3)")
        .arg(ftsTable(source), names.join(QLatin1Char(',')), placeholders.join(QLatin1Char(',')));
}

int progressCheck(void* context)
{
    const auto* cancelled = static_cast<const std::function<bool()>*>(context);
    return (*cancelled && (*cancelled)()) ? 1 : 0;
}

} // namespace

const QList<FindSource>& findSources()
{
    // Gazetteer towns go between the counties and the places, as
    // { FindKind::Town, <its table file>, { <name field> }, { <sheet>, <position> } },
    // once the atlas has such a table.
    static const QList<FindSource> sources {
        { FindKind::Sheet, QStringLiteral("MAPS.DB"), { QStringLiteral("Title"), QStringLiteral("Map") },
            { QStringLiteral("Map") } },
        { FindKind::County, QStringLiteral("MAPCAT.DB"), { QStringLiteral("County") },
            { QStringLiteral("Map") } },
        { FindKind::Place, QStringLiteral("DESCRIP.DB"), { QStringLiteral("Place"), QStringLiteral("Memo") },
            { QStringLiteral("Placeid") } },
        { FindKind::Picture, QStringLiteral("PIX.DB"), { QStringLiteral("Caption") },
            { QStringLiteral("Filename"), QStringLiteral("Placeid") } },
        { FindKind::Glossary, QStringLiteral("ABBREV.DB"),
            { QStringLiteral("Abbrev"), QStringLiteral("Meaning"), QStringLiteral("Spelling"),
                QStringLiteral("Language") },
            { QStringLiteral("Abbrev"), QStringLiteral("Meaning") } },
    };
    return sources;
}

const FindSource* findSourceOf(const QString& fileName)
{
    for (const FindSource& source : findSources()) {
        if (source.fileName.compare(fileName, Qt::CaseInsensitive) == 0)
            return &source;
    }
    return nullptr;
}

SearchIndex::SearchIndex(const QString& hostPath)
    : m_path(hostPath)
{
    open();
}

SearchIndex::~SearchIndex()
{
    close();
}

void SearchIndex::close()
{
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void SearchIndex::open()
{
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const bool opened
        = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, flags, nullptr) == SQLITE_OK
        && prepareConnection(m_db);
    if (opened && prepareSchema())
        return;
    close();
    if (m_path != QLatin1String(":memory:")) {
        // Damaged, foreign or of another version: it holds nothing that the
        // tables do not, so a new one takes its place.
        for (const QString& suffix :
            { QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal") })
            QFile::remove(m_path + suffix);
        if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, flags, nullptr) == SQLITE_OK
            && prepareConnection(m_db) && prepareSchema())
            return;
        close();
        m_path = QStringLiteral(":memory:");
    }
    sqlite3_open_v2(":memory:", &m_db, flags, nullptr);
    prepareConnection(m_db);
    prepareSchema();
}

bool SearchIndex::prepareSchema()
{
    sqlite3_busy_timeout(m_db, 2000);
    // A new file's pages: 16 KB leaves less of each unused than 4 KB under
    // rows of a kilobyte. Set before anything is written, or it is ignored.
    run(m_db, QStringLiteral("PRAGMA page_size=16384"));
    // Nothing here is precious: a crash may lose the last changes, which
    // the table files' signatures then bring back.
    run(m_db, QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL"));
    // Merging the segments of a bulk load rereads them; 32 MB of cache keeps
    // most of that off the disk.
    run(m_db, QStringLiteral("PRAGMA cache_size=-32768"));
    Statement version(m_db, QStringLiteral("PRAGMA user_version"));
    if (!version.ok() || version.step() != SQLITE_ROW)
        return false;
    const int found = version.column(0).toInt();
    if (found != 0 && found != kSchemaVersion)
        return false;
    QString sql = QStringLiteral("BEGIN; CREATE TABLE IF NOT EXISTS sources(file TEXT PRIMARY KEY, "
                                 "signature TEXT NOT NULL);");
    for (const FindSource& source : findSources())
        sql += createSql(source) + QLatin1Char(';');
    sql += QStringLiteral("PRAGMA user_version=%1; COMMIT;").arg(kSchemaVersion);
    if (!run(m_db, sql)) {
        run(m_db, QStringLiteral("ROLLBACK"));
        return false;
    }
    // Reading every table once finds a file that is not a database.
    for (const FindSource& source : findSources()) {
        Statement probe(m_db, QStringLiteral("SELECT rowid FROM %1 LIMIT 1").arg(ftsTable(source)));
        const int rc = probe.ok() ? probe.step() : SQLITE_ERROR;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return false;
    }
    return true;
}

void SearchIndex::reset()
{
    close();
    if (m_path != QLatin1String(":memory:")) {
        for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") })
            QFile::remove(m_path + suffix);
    }
    m_damaged = false;
    open();
}

void SearchIndex::noteFailure()
{
    const int code = m_db ? sqlite3_errcode(m_db) : SQLITE_CANTOPEN;
    if (code != SQLITE_INTERRUPT && code != SQLITE_BUSY)
        m_damaged = true;
    run(m_db, QStringLiteral("ROLLBACK"));
}

bool SearchIndex::current(const FindSource& source, const QString& tableHostPath)
{
    Statement stored(m_db, QStringLiteral("SELECT signature FROM sources WHERE file=?1"));
    if (!stored.ok()) {
        noteFailure();
        return false;
    }
    stored.bind(1, source.fileName);
    const QString signature = stored.step() == SQLITE_ROW ? stored.column(0).toString() : QString();
    return !signature.isEmpty() && signature == signatureOf(tableHostPath);
}

bool SearchIndex::rebuild(
    const FindSource& source, const QString& tableHostPath, const std::function<bool()>& stop)
{
    // The signature first: a store after it is read again by its own update
    // or, after a kill, by the rebuild a changed signature calls for.
    const QString signature = signatureOf(tableHostPath);
    const TableReader reader(tableHostPath, source);
    const bool missing = signature.isEmpty();
    if (!missing && !reader.ok())
        return false;
    const QString table = ftsTable(source);
    if (!run(m_db,
            QStringLiteral("BEGIN IMMEDIATE; DROP TABLE IF EXISTS %1; %2;").arg(table, createSql(source)))) {
        noteFailure();
        return false;
    }
    const int columns = int(columnsOf(source).size());
    Statement insert(m_db, insertSql(source));
    bool ok = insert.ok();
    if (!missing && ok) {
        const auto rows = reader.select(QStringLiteral("rowid>?1 ORDER BY rowid LIMIT %1").arg(kRowsPerRead));
        qint64 last = std::numeric_limits<qint64>::min();
        bool more = rows->ok();
        ok = more;
        while (ok && more) {
            rows->bind(1, QVariant(qlonglong(last)));
            int read = 0;
            for (int rc = rows->step(); ok && rc == SQLITE_ROW; rc = rows->step(), ++read) {
                last = rows->column(0).toLongLong();
                ok = insertRow(insert, *rows, columns);
            }
            rows->reset();
            more = read == kRowsPerRead;
            ok = ok && !(stop && stop());
        }
    }
    Statement note(m_db, QStringLiteral("INSERT OR REPLACE INTO sources(file, signature) VALUES (?1, ?2)"));
    if (ok && note.ok()) {
        note.bind(1, source.fileName);
        note.bind(2, signature);
        ok = note.step() == SQLITE_DONE;
    }
    if (!ok && stop && stop()) {
        run(m_db, QStringLiteral("ROLLBACK"));
        return false;
    }
    if (!ok || !run(m_db, QStringLiteral("COMMIT"))) {
        noteFailure();
        return false;
    }
    // A whole table's rows would otherwise stay in the write-ahead log, as
    // large again as the index, until the next checkpoint.
    run(m_db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return true;
}

bool SearchIndex::update(const FindSource& source, const QString& tableHostPath, const QList<qint64>& rowids)
{
    if (rowids.isEmpty() || rowids.size() > kMostRowsUpdated)
        return rebuild(source, tableHostPath);
    const QString signature = signatureOf(tableHostPath);
    const TableReader reader(tableHostPath, source);
    if (!reader.ok())
        return rebuild(source, tableHostPath);
    const auto row = reader.select(QStringLiteral("rowid=?1"));
    const int columns = int(columnsOf(source).size());
    Statement remove(m_db, QStringLiteral("DELETE FROM %1 WHERE rowid=?1").arg(ftsTable(source)));
    Statement insert(m_db, insertSql(source));
    Statement note(m_db, QStringLiteral("UPDATE sources SET signature=?2 WHERE file=?1"));
    bool ok = row->ok() && remove.ok() && insert.ok() && note.ok() && run(m_db, QStringLiteral("BEGIN"));
    for (qsizetype i = 0; ok && i < rowids.size(); ++i) {
        remove.bind(1, QVariant(qlonglong(rowids[i])));
        ok = remove.step() == SQLITE_DONE;
        remove.reset();
        row->bind(1, QVariant(qlonglong(rowids[i])));
        if (ok && row->step() == SQLITE_ROW)
            ok = insertRow(insert, *row, columns);
        row->reset();
    }
    if (ok) {
        note.bind(1, source.fileName);
        note.bind(2, signature);
        ok = note.step() == SQLITE_DONE;
    }
    if (!ok || !run(m_db, QStringLiteral("COMMIT"))) {
        noteFailure();
        return false;
    }
    return true;
}

QList<FindHit> SearchIndex::search(
    const FindQuery& query, int perKind, const std::function<bool()>& cancelled)
{
    QList<FindHit> hits;
    if (query.expression.isEmpty() || !m_db)
        return hits;
    sqlite3_progress_handler(m_db, 200, progressCheck, const_cast<std::function<bool()>*>(&cancelled));
    for (const FindSource& source : findSources()) {
        if (cancelled && cancelled())
            break;
        QStringList keys;
        for (const QString& key : source.keys)
            keys << quoted(key);
        const QString table = ftsTable(source);
        const QString runs = query.runs.isEmpty() ? QString()
                                                  : QStringLiteral(" AND %1(%2, ?5, %3)")
                                                        .arg(QLatin1String(kWordRuns), table)
                                                        .arg(source.searched.size());
        Statement select(m_db,
            QStringLiteral("SELECT rowid, %1, %2, snippet(%3, -1, ?2, ?3, '\u2026', 12) FROM %3 "
                           "WHERE %3 MATCH ?1%4 LIMIT ?4")
                .arg(keys.join(QLatin1Char(',')), quoted(source.searched.first()), table, runs));
        if (!select.ok()) {
            noteFailure();
            break;
        }
        if (!runs.isEmpty())
            select.bind(5, runsText(query.runs));
        select.bind(1, query.expression);
        select.bind(2, QString(QChar(kMatchStart)));
        select.bind(3, QString(QChar(kMatchEnd)));
        select.bind(4, perKind);
        int rc = SQLITE_ROW;
        while ((rc = select.step()) == SQLITE_ROW) {
            FindHit hit { source.kind, select.column(0).toLongLong(), {}, {}, {} };
            for (int i = 0; i < keys.size(); ++i)
                hit.keys << select.column(1 + i).toString();
            hit.title = select.column(1 + int(keys.size())).toString();
            hit.context = select.column(2 + int(keys.size())).toString();
            hits << hit;
        }
        if (rc != SQLITE_DONE) {
            const int code = sqlite3_errcode(m_db);
            if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_IOERR)
                m_damaged = true;
            if (code == SQLITE_INTERRUPT)
                hits.clear();
            break;
        }
    }
    sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    if (cancelled && cancelled())
        hits.clear();
    return hits;
}

} // namespace corvane
