#include "platform/table.h"

#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <climits>

namespace platform {

namespace {

// A writer that holds the file (another program, a stuck lock) makes a post
// fail after this long instead of hanging the program.
constexpr int kBusyTimeoutMs = 1000;

QString quoted(const QString& identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString sqliteMessage(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Owns a prepared statement; finalized on every path so DETACH never finds
// one still open.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql)
    {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

    void bind(int position, const QVariant& value)
    {
        switch (value.typeId()) {
        case QMetaType::UnknownType:
            sqlite3_bind_null(m_stmt, position);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            sqlite3_bind_int64(m_stmt, position, value.toLongLong());
            break;
        case QMetaType::Double:
            sqlite3_bind_double(m_stmt, position, value.toDouble());
            break;
        default: {
            const QByteArray text = value.toString().toUtf8();
            sqlite3_bind_text(m_stmt, position, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }

    QVariant column(int index) const
    {
        switch (sqlite3_column_type(m_stmt, index)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(m_stmt, index)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_stmt, index));
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, index));
            return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, index)));
        }
        }
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool isBlank(const QVariant& value)
{
    return !value.isValid() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

// SQLite sorts NULL first, then numbers, then text.
int typeRank(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return 0;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return 1;
    default:
        return 2;
    }
}

// UTF-16 units shifted so that comparing them gives code point order, the
// order of SQLite's BINARY collation over UTF-8.
int codePointOrder(char16_t unit, bool nocase)
{
    int c = unit;
    if (nocase && c >= 'A' && c <= 'Z')
        c += 'a' - 'A'; // NOCASE folds ASCII letters only
    if (c >= 0xD800)
        c += c >= 0xE000 ? -0x800 : 0x2000;
    return c;
}

int compareText(QStringView a, QStringView b, bool nocase)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int x = codePointOrder(a[i].unicode(), nocase);
        const int y = codePointOrder(b[i].unicode(), nocase);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The same order as SQLite's ORDER BY over the stored values.
int compareValues(const QVariant& a, const QVariant& b, bool nocase)
{
    const int ra = typeRank(a);
    const int rb = typeRank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra == 0)
        return 0;
    if (ra == 1) {
        if (a.typeId() != QMetaType::Double && b.typeId() != QMetaType::Double) {
            const qlonglong x = a.toLongLong(), y = b.toLongLong();
            return x == y ? 0 : (x < y ? -1 : 1);
        }
        const double x = a.toDouble(), y = b.toDouble();
        return x == y ? 0 : (x < y ? -1 : 1);
    }
    return compareText(a.toString(), b.toString(), nocase);
}

// The table file in the folder, its name matched without regard to case.
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

} // namespace

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
    // The main database is an empty in-memory one; each table file is
    // attached to it while its table is open.
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI;
    if (sqlite3_open_v2(":memory:", &db, flags, nullptr) != SQLITE_OK) {
        const QString message = db ? sqliteMessage(db) : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        throw EngineError(QStringLiteral("Cannot connect database %1: %2").arg(m_databaseName, message));
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    m_db = db;
    m_folder = *folder;
}

void Database::beginBatch()
{
    if (!m_db || sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EngineError(
            QStringLiteral("Cannot begin a transaction on %1: %2")
                .arg(m_databaseName, m_db ? sqliteMessage(m_db) : QStringLiteral("not connected")));
}

void Database::commitBatch()
{
    if (m_db && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = sqliteMessage(m_db);
        rollbackBatch();
        throw EngineError(QStringLiteral("Cannot write %1: %2").arg(m_databaseName, message));
    }
}

void Database::rollbackBatch()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
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

namespace {

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

// Copies schema of source into a new file at targetHostPath.
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

} // namespace

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

int Database::checkTableFile(const QString& hostPath)
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
        Statement check(db, QStringLiteral("PRAGMA integrity_check"));
        const bool stepped = check.ok() && sqlite3_step(check.get()) == SQLITE_ROW;
        const QString verdict = stepped ? check.column(0).toString() : sqliteMessage(db);
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

// ---------------------------------------------------------------- Table

namespace {

struct Row {
    qint64 rowid = 0;
    QVariantList values;
};

struct OrderKey {
    int field = -1; // -1: stored record order
    bool nocase = false;
};

int findField(const TableDef& def, const QString& name)
{
    for (qsizetype i = 0; i < def.fields.size(); ++i) {
        const FieldDef& f = def.fields[i];
        if (f.name.compare(name, Qt::CaseInsensitive) == 0
            || (!f.objectName.isEmpty() && f.objectName.compare(name, Qt::CaseInsensitive) == 0))
            return int(i);
    }
    return -1;
}

const IndexDef* findIndex(const TableDef& def, const QString& name)
{
    for (const IndexDef& index : def.indexes) {
        if (name.isEmpty() ? index.primary : index.name.compare(name, Qt::CaseInsensitive) == 0)
            return &index;
    }
    return nullptr;
}

} // namespace

struct Table::Impl {
    QPointer<Database> database;
    QString schema; // name the file is attached under
    QString sqlTable; // the table inside the file
    QString filePath;
    std::vector<Row> rows; // the current order, in step with every post and delete
    QVariantList buffer; // the pending change of the current row
    int rowBeforeAppend = -1;
    QString indexName;
    bool refreshPending = false;

    sqlite3* db() const { return database ? database->handle() : nullptr; }
    OrderKey order(const TableDef& def) const
    {
        const IndexDef* index = findIndex(def, indexName);
        if (!index)
            return {};
        return { findField(def, index->field), index->caseInsensitive };
    }
    void detach() const
    {
        if (db())
            sqlite3_exec(db(), QByteArray("DETACH DATABASE " + quoted(schema).toUtf8()).constData(), nullptr,
                nullptr, nullptr);
    }
    bool before(const Row& a, const Row& b, const OrderKey& key) const
    {
        if (key.field >= 0) {
            const int c = compareValues(a.values[key.field], b.values[key.field], key.nocase);
            if (c != 0)
                return c < 0;
        }
        return a.rowid < b.rowid;
    }
    int insertPosition(const Row& row, const OrderKey& key) const
    {
        const auto it = std::lower_bound(
            rows.begin(), rows.end(), row, [&](const Row& a, const Row& b) { return before(a, b, key); });
        return int(it - rows.begin());
    }
    int positionOf(qint64 rowid, int hint) const
    {
        if (hint >= 0 && hint < int(rows.size()) && rows[hint].rowid == rowid)
            return hint;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].rowid == rowid)
                return int(i);
        }
        return -1;
    }
};

Table::Table(Database* database, TableDef def, QObject* parent)
    : QObject(parent)
    , m_def(std::move(def))
    , d(std::make_unique<Impl>())
{
    d->database = database;
}

Table::~Table()
{
    if (active())
        d->detach();
}

QString Table::prefix() const
{
    const QString name
        = m_def.componentName.isEmpty() ? QFileInfo(m_def.fileName).completeBaseName() : m_def.componentName;
    return name + QStringLiteral(": ");
}

void Table::fail(const QString& message) const
{
    throw EngineError(prefix() + message);
}

void Table::checkActive() const
{
    if (m_state == State::Inactive)
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Table::notifyRecord()
{
    if (m_disableCount > 0)
        d->refreshPending = true;
    else
        emit currentRecordChanged();
}

void Table::notifyDataSet()
{
    if (m_disableCount > 0) {
        d->refreshPending = true;
    } else {
        emit dataSetChanged();
        emit currentRecordChanged();
    }
}

void Table::setCurrent(int row)
{
    m_eof = false;
    if (row == m_row)
        return;
    m_row = row;
    notifyRecord();
    emit afterScroll();
}

// ------------------------------------------------------------ open / close

void Table::open()
{
    if (active())
        return;
    Database* database = d->database;
    if (!database)
        fail(QStringLiteral("The table has no database"));
    if (!database->connected())
        database->connectDatabase();
    const QString path = findTableFile(database->folderHostPath(), m_def.fileName);
    if (path.isEmpty()) {
        fail(QStringLiteral("Table does not exist: %1")
                 .arg(QDir::toNativeSeparators(QDir(database->folderHostPath()).filePath(m_def.fileName))));
    }
    d->filePath = path;
    d->schema = m_def.componentName.isEmpty() ? QFileInfo(path).completeBaseName() : m_def.componentName;
    QString target = path;
    if (database->readOnly())
        target = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=ro");
    Statement attach(d->db(), QStringLiteral("ATTACH DATABASE ?1 AS %1").arg(quoted(d->schema)));
    if (attach.ok())
        attach.bind(1, target);
    if (!attach.ok() || sqlite3_step(attach.get()) != SQLITE_DONE)
        fail(QStringLiteral("Cannot open %1: %2").arg(QFileInfo(path).fileName(), sqliteMessage(d->db())));
    try {
        loadRows();
    } catch (...) {
        d->detach();
        d->rows.clear();
        throw;
    }
    m_state = State::Browse;
    m_modified = false;
    m_row = d->rows.empty() ? -1 : 0;
    m_eof = d->rows.empty();
    notifyDataSet();
    if (!d->rows.empty())
        emit afterScroll();
}

void Table::loadRows()
{
    const QString file = QFileInfo(d->filePath).fileName();
    const QString schema = quoted(d->schema);
    // Journal mode DELETE leaves a closed table as one self-contained file.
    const QString pragmas
        = QStringLiteral("PRAGMA %1.journal_mode=DELETE; PRAGMA %1.synchronous=FULL;").arg(schema);
    if (sqlite3_exec(d->db(), pragmas.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("Cannot open %1: %2").arg(file, sqliteMessage(d->db())));
    Statement names(d->db(),
        QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type='table' AND name NOT "
                       "LIKE 'sqlite%' ORDER BY rowid LIMIT 1")
            .arg(schema));
    if (!names.ok() || sqlite3_step(names.get()) != SQLITE_ROW)
        fail(QStringLiteral("%1 is not a table file").arg(file));
    d->sqlTable = names.column(0).toString();
    QStringList columns { QStringLiteral("rowid") };
    for (const FieldDef& field : m_def.fields)
        columns << quoted(field.name);
    const OrderKey key = d->order(m_def);
    QString orderBy = QStringLiteral("rowid");
    if (key.field >= 0) {
        orderBy = quoted(m_def.fields[key.field].name)
            + (key.nocase ? QStringLiteral(" COLLATE NOCASE, rowid") : QStringLiteral(", rowid"));
    }
    Statement select(d->db(),
        QStringLiteral("SELECT %1 FROM %2.%3 ORDER BY %4")
            .arg(columns.join(QLatin1Char(',')), schema, quoted(d->sqlTable), orderBy));
    if (!select.ok())
        fail(QStringLiteral("Cannot read %1: %2").arg(file, sqliteMessage(d->db())));
    const int fieldCount = int(m_def.fields.size());
    d->rows.clear();
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        Row row { sqlite3_column_int64(select.get(), 0), {} };
        row.values.reserve(fieldCount);
        for (int i = 0; i < fieldCount; ++i)
            row.values << select.column(i + 1);
        d->rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("Cannot read %1: %2").arg(file, sqliteMessage(d->db())));
}

void Table::close()
{
    if (!active())
        return;
    m_state = State::Inactive;
    m_modified = false;
    m_row = -1;
    m_eof = true;
    d->buffer.clear();
    d->rows.clear();
    d->rows.shrink_to_fit();
    bool detached = true;
    if (d->db()) {
        detached = sqlite3_exec(d->db(), ("DETACH DATABASE " + quoted(d->schema).toUtf8()).constData(),
                       nullptr, nullptr, nullptr)
            == SQLITE_OK;
    }
    notifyDataSet();
    if (!detached)
        fail(QStringLiteral("Cannot close %1: %2")
                 .arg(QFileInfo(d->filePath).fileName(), sqliteMessage(d->db())));
}

QString Table::fileHostPath() const
{
    if (active())
        return d->filePath;
    const Database* database = d->database;
    if (!database || !database->connected())
        return {};
    return findTableFile(database->folderHostPath(), m_def.fileName);
}

void Table::snapshotTo(const QString& targetHostPath, const Database::Progress& progress) const
{
    if (!active()) {
        const QString path = fileHostPath();
        if (path.isEmpty())
            fail(QStringLiteral("Table does not exist: %1").arg(m_def.fileName));
        Database::snapshotFile(path, targetHostPath, progress);
        return;
    }
    // Read through the connection the table is attached to: what is stored
    // now, whatever this program posts while the copy runs included.
    try {
        backUp(d->db(), d->schema, targetHostPath, progress);
    } catch (const EngineError& e) {
        fail(e.message());
    }
}

void Table::setIndexName(const QString& name)
{
    if (name.compare(d->indexName, Qt::CaseInsensitive) == 0)
        return;
    if (!name.isEmpty() && !findIndex(m_def, name))
        fail(QStringLiteral("Index not found: %1").arg(name));
    if (!active()) {
        d->indexName = name;
        return;
    }
    resolveForMove();
    const qint64 current = m_row >= 0 ? d->rows[m_row].rowid : -1;
    d->indexName = name;
    const OrderKey key = d->order(m_def);
    std::stable_sort(
        d->rows.begin(), d->rows.end(), [&](const Row& a, const Row& b) { return d->before(a, b, key); });
    m_row = current >= 0 ? d->positionOf(current, -1) : -1;
    notifyDataSet();
}

// ------------------------------------------------------------ cursor

int Table::recordCount() const
{
    checkActive();
    return int(d->rows.size());
}

void Table::resolveForMove()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    if (m_modified)
        post();
    else
        cancel();
}

void Table::resolvePending()
{
    if (active())
        resolveForMove();
}

void Table::first()
{
    checkActive();
    resolveForMove();
    if (d->rows.empty()) {
        m_eof = true;
        return;
    }
    setCurrent(0);
}

void Table::next()
{
    checkActive();
    resolveForMove();
    if (m_row + 1 >= int(d->rows.size())) {
        m_eof = true;
        return;
    }
    setCurrent(m_row + 1);
}

void Table::moveTo(int row)
{
    checkActive();
    if (row == m_row || row < 0 || row >= int(d->rows.size()))
        return;
    // Posting the pending change may reorder the rows; follow the record.
    const qint64 target = d->rows[row].rowid;
    resolveForMove();
    const int position = d->positionOf(target, row);
    if (position >= 0)
        setCurrent(position);
}

bool Table::findKey(const QVariantList& values)
{
    checkActive();
    const OrderKey key = d->order(m_def);
    if (key.field < 0)
        fail(QStringLiteral("The table has no index to search"));
    if (values.isEmpty())
        fail(QStringLiteral("No key value given"));
    QVariant value = values.constFirst();
    if (m_def.fields[key.field].type == FieldType::Integer) {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        value = ok ? QVariant(number) : QVariant();
    } else {
        value = value.toString().isEmpty() ? QVariant() : QVariant(value.toString());
    }
    resolveForMove();
    const auto it
        = std::lower_bound(d->rows.begin(), d->rows.end(), value, [&](const Row& row, const QVariant& v) {
              return compareValues(row.values[key.field], v, key.nocase) < 0;
          });
    if (it == d->rows.end() || compareValues(it->values[key.field], value, key.nocase) != 0)
        return false;
    setCurrent(int(it - d->rows.begin()));
    return true;
}

// ------------------------------------------------------------ fields

int Table::fieldIndex(const QString& name) const
{
    const int index = findField(m_def, name);
    if (index < 0)
        fail(QStringLiteral("Field '%1' not found").arg(name));
    return index;
}

QVariant Table::fieldValue(const QString& name) const
{
    checkActive();
    const int index = fieldIndex(name);
    const QVariant value = valueAt(m_row, index);
    if (m_def.fields[index].type == FieldType::Integer && typeRank(value) == 1)
        return QVariant(int(value.toLongLong()));
    return value;
}

QString Table::fieldAsString(const QString& name) const
{
    const QVariant value = fieldValue(name);
    return value.isValid() ? value.toString() : QString();
}

int Table::fieldAsInteger(const QString& name) const
{
    const QVariant value = fieldValue(name);
    if (isBlank(value))
        return 0;
    bool ok = false;
    const int number
        = typeRank(value) == 1 ? int(value.toLongLong(&ok)) : value.toString().trimmed().toInt(&ok);
    if (!ok)
        fail(QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
    return number;
}

QVariant Table::storedValue(int index, const QVariant& value) const
{
    const FieldDef& field = m_def.fields[index];
    if (field.type == FieldType::Integer) {
        if (isBlank(value) || value.toString().trimmed().isEmpty())
            return {};
        bool ok = false;
        const qlonglong number
            = typeRank(value) == 1 ? value.toLongLong(&ok) : value.toString().trimmed().toLongLong(&ok);
        if (!ok || number < INT_MIN || number > INT_MAX)
            fail(QStringLiteral("'%1' is not a valid integer value for field %2")
                     .arg(value.toString(), field.name));
        return QVariant(number);
    }
    QString text = value.isValid() ? value.toString() : QString();
    if (field.type == FieldType::Text && field.storedWidth > 0 && text.size() > field.storedWidth)
        text.truncate(field.storedWidth);
    return text.isEmpty() ? QVariant() : QVariant(text);
}

void Table::setFieldValue(const QString& name, const QVariant& value)
{
    checkActive();
    if (m_state != State::Edit && m_state != State::Insert)
        fail(QStringLiteral("Dataset not in edit or insert mode"));
    const int index = fieldIndex(name);
    d->buffer[index] = storedValue(index, value);
    m_modified = true;
    notifyRecord();
}

int Table::rowCount() const
{
    if (!active())
        return 0;
    return int(d->rows.size()) + (m_state == State::Insert ? 1 : 0);
}

QVariant Table::valueAt(int row, int field) const
{
    if (!active() || row < 0 || field < 0 || field >= int(m_def.fields.size()))
        return {};
    if (row == m_row && (m_state == State::Edit || m_state == State::Insert))
        return d->buffer.value(field);
    if (row >= int(d->rows.size()))
        return {};
    return d->rows[row].values[field];
}

// ------------------------------------------------------------ changes

void Table::edit()
{
    checkActive();
    if (m_state != State::Browse)
        return;
    if (d->rows.empty()) {
        append();
        return;
    }
    d->buffer = d->rows[m_row].values;
    m_state = State::Edit;
    m_modified = false;
    notifyRecord();
}

void Table::append()
{
    checkActive();
    resolveForMove();
    d->rowBeforeAppend = m_row;
    d->buffer = QVariantList(m_def.fields.size());
    m_state = State::Insert;
    m_modified = false;
    m_row = int(d->rows.size());
    m_eof = false;
    notifyDataSet();
}

void Table::cancel()
{
    if (m_state == State::Edit) {
        m_state = State::Browse;
        m_modified = false;
        d->buffer.clear();
        notifyRecord();
    } else if (m_state == State::Insert) {
        m_state = State::Browse;
        m_modified = false;
        d->buffer.clear();
        m_row = std::min(d->rowBeforeAppend, int(d->rows.size()) - 1);
        m_eof = d->rows.empty();
        notifyDataSet();
    }
}

namespace {

// INSERT of all fields, or UPDATE of all fields of the record ?(n+1).
QString writeSql(const TableDef& def, const QString& target, bool inserting)
{
    QStringList names, params;
    for (qsizetype i = 0; i < def.fields.size(); ++i) {
        names << quoted(def.fields[i].name);
        params << (inserting ? QStringLiteral("?%1").arg(i + 1)
                             : QStringLiteral("%1=?%2").arg(quoted(def.fields[i].name)).arg(i + 1));
    }
    if (inserting) {
        return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(target, names.join(QLatin1Char(',')), params.join(QLatin1Char(',')));
    }
    return QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?%3")
        .arg(target, params.join(QLatin1Char(',')))
        .arg(def.fields.size() + 1);
}

// Runs one statement in its own savepoint: alone it is one transaction, and
// inside a Database batch it joins the batch. Nothing is left half-written.
// Returns an empty text on success, else the message for the user.
// *readOnlyFile is set when the write was refused because the file is
// open for reading only.
QString writeInTransaction(sqlite3* db, Statement& statement, qint64* insertedRowid, const QString& file,
    bool* readOnlyFile = nullptr)
{
    bool keyViolation = false;
    const bool opened
        = statement.ok() && sqlite3_exec(db, "SAVEPOINT post", nullptr, nullptr, nullptr) == SQLITE_OK;
    bool ok = opened;
    if (ok && sqlite3_step(statement.get()) != SQLITE_DONE) {
        ok = false;
        keyViolation = sqlite3_extended_errcode(db) == SQLITE_CONSTRAINT_UNIQUE;
        if (readOnlyFile)
            *readOnlyFile = (sqlite3_extended_errcode(db) & 0xFF) == SQLITE_READONLY;
    }
    if (ok && insertedRowid)
        *insertedRowid = sqlite3_last_insert_rowid(db);
    const QString message = ok ? QString() : sqliteMessage(db);
    if (statement.ok())
        sqlite3_reset(statement.get());
    ok = ok && sqlite3_exec(db, "RELEASE post", nullptr, nullptr, nullptr) == SQLITE_OK;
    const QString commitMessage = ok || !message.isEmpty() ? message : sqliteMessage(db);
    if (opened && !ok) {
        sqlite3_exec(db, "ROLLBACK TO post", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "RELEASE post", nullptr, nullptr, nullptr);
    }
    if (ok)
        return {};
    if (keyViolation)
        return QStringLiteral("Key violation.");
    return QStringLiteral("Cannot write %1: %2").arg(file, commitMessage);
}

} // namespace

// SQLite keeps a file it could only open for reading read-only for as long
// as it is attached: once the folder is writable again, attach it anew.
bool Table::reopenForWriting()
{
    Database* database = d->database;
    if (!database || database->readOnly() || !QFileInfo(d->filePath).isWritable())
        return false;
    d->detach();
    Statement attach(d->db(), QStringLiteral("ATTACH DATABASE ?1 AS %1").arg(quoted(d->schema)));
    if (attach.ok())
        attach.bind(1, d->filePath);
    return attach.ok() && sqlite3_step(attach.get()) == SQLITE_DONE;
}

void Table::post()
{
    checkActive();
    if (m_state == State::Browse)
        return;
    if (m_state == State::Edit && !m_modified) {
        cancel();
        return;
    }
    for (qsizetype i = 0; i < m_def.fields.size(); ++i) {
        if (m_def.fields[i].required && isBlank(d->buffer[i]))
            fail(QStringLiteral("Field value required: %1.").arg(m_def.fields[i].name));
    }
    if (!d->db())
        fail(QStringLiteral("The database is not connected"));
    const bool inserting = m_state == State::Insert;
    const int rowidSlot = int(m_def.fields.size()) + 1;
    const QString target = quoted(d->schema) + QLatin1Char('.') + quoted(d->sqlTable);
    const QString sql = writeSql(m_def, target, inserting);
    Row row { inserting ? 0 : d->rows[m_row].rowid, d->buffer };
    const auto write = [&](bool* readOnlyFile) {
        Statement statement(d->db(), sql);
        if (statement.ok()) {
            for (qsizetype i = 0; i < m_def.fields.size(); ++i)
                statement.bind(int(i + 1), d->buffer[i]);
            if (!inserting)
                statement.bind(rowidSlot, QVariant(qlonglong(d->rows[m_row].rowid)));
        }
        return writeInTransaction(d->db(), statement, inserting ? &row.rowid : nullptr,
            QFileInfo(d->filePath).fileName(), readOnlyFile);
    };
    bool readOnlyFile = false;
    QString message = write(&readOnlyFile);
    if (readOnlyFile && reopenForWriting())
        message = write(nullptr);
    if (!message.isEmpty())
        fail(message);
    if (!inserting)
        d->rows.erase(d->rows.begin() + m_row);
    const int position = d->insertPosition(row, d->order(m_def));
    d->rows.insert(d->rows.begin() + position, std::move(row));
    m_state = State::Browse;
    m_modified = false;
    d->buffer.clear();
    m_row = position;
    m_eof = false;
    notifyDataSet();
    if (inserting)
        emit afterScroll();
}

void Table::deleteRecord()
{
    checkActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (d->rows.empty() || m_row < 0)
        fail(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const auto write = [&](bool* readOnlyFile) {
        Statement statement(d->db(),
            QStringLiteral("DELETE FROM %1.%2 WHERE rowid=?1").arg(quoted(d->schema), quoted(d->sqlTable)));
        if (statement.ok())
            statement.bind(1, QVariant(qlonglong(d->rows[m_row].rowid)));
        return writeInTransaction(
            d->db(), statement, nullptr, QFileInfo(d->filePath).fileName(), readOnlyFile);
    };
    bool readOnlyFile = false;
    QString message = write(&readOnlyFile);
    if (readOnlyFile && reopenForWriting())
        message = write(nullptr);
    if (!message.isEmpty())
        fail(message);
    const bool wasLast = m_row == int(d->rows.size()) - 1;
    d->rows.erase(d->rows.begin() + m_row);
    m_state = State::Browse;
    m_modified = false;
    d->buffer.clear();
    m_row = std::min(m_row, int(d->rows.size()) - 1);
    m_eof = d->rows.empty() || wasLast;
    notifyDataSet();
    if (!d->rows.empty())
        emit afterScroll();
}

void Table::appendRecords(const QList<QVariantList>& records)
{
    checkActive();
    resolveForMove();
    if (!d->db())
        fail(QStringLiteral("The database is not connected"));
    std::vector<Row> added;
    added.reserve(size_t(records.size()));
    for (const QVariantList& record : records) {
        Row row { 0, QVariantList(m_def.fields.size()) };
        for (qsizetype i = 0; i < m_def.fields.size(); ++i) {
            row.values[i] = storedValue(int(i), record.value(i));
            if (m_def.fields[i].required && isBlank(row.values[i]))
                fail(QStringLiteral("Field value required: %1.").arg(m_def.fields[i].name));
        }
        added.push_back(std::move(row));
    }
    const QString file = QFileInfo(d->filePath).fileName();
    const QString target = quoted(d->schema) + QLatin1Char('.') + quoted(d->sqlTable);
    Statement statement(d->db(), writeSql(m_def, target, true));
    if (!statement.ok() || sqlite3_exec(d->db(), "SAVEPOINT bulk", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("Cannot write %1: %2").arg(file, sqliteMessage(d->db())));
    QString message;
    for (Row& row : added) {
        for (qsizetype i = 0; i < m_def.fields.size(); ++i)
            statement.bind(int(i + 1), row.values[i]);
        if (sqlite3_step(statement.get()) != SQLITE_DONE) {
            message = sqlite3_extended_errcode(d->db()) == SQLITE_CONSTRAINT_UNIQUE
                ? QStringLiteral("Key violation.")
                : QStringLiteral("Cannot write %1: %2").arg(file, sqliteMessage(d->db()));
            break;
        }
        row.rowid = sqlite3_last_insert_rowid(d->db());
        sqlite3_reset(statement.get());
    }
    sqlite3_reset(statement.get());
    if (message.isEmpty() && sqlite3_exec(d->db(), "RELEASE bulk", nullptr, nullptr, nullptr) != SQLITE_OK)
        message = QStringLiteral("Cannot write %1: %2").arg(file, sqliteMessage(d->db()));
    if (!message.isEmpty()) {
        sqlite3_exec(d->db(), "ROLLBACK TO bulk", nullptr, nullptr, nullptr);
        sqlite3_exec(d->db(), "RELEASE bulk", nullptr, nullptr, nullptr);
        fail(message);
    }
    const qint64 current = m_row >= 0 ? d->rows[m_row].rowid : -1;
    const OrderKey key = d->order(m_def);
    for (Row& row : added)
        d->rows.push_back(std::move(row));
    std::stable_sort(
        d->rows.begin(), d->rows.end(), [&](const Row& a, const Row& b) { return d->before(a, b, key); });
    m_eof = d->rows.empty();
    if (current >= 0) {
        m_row = d->positionOf(current, -1);
        notifyDataSet();
    } else if (!d->rows.empty()) {
        m_row = 0;
        notifyDataSet();
        emit afterScroll();
    }
}

void Table::deleteAllRecords()
{
    checkActive();
    cancel();
    Statement statement(
        d->db(), QStringLiteral("DELETE FROM %1.%2").arg(quoted(d->schema), quoted(d->sqlTable)));
    const QString message
        = writeInTransaction(d->db(), statement, nullptr, QFileInfo(d->filePath).fileName());
    if (!message.isEmpty())
        fail(message);
    d->rows.clear();
    m_row = -1;
    m_eof = true;
    notifyDataSet();
}

// ------------------------------------------------------------ controls

void Table::disableControls()
{
    ++m_disableCount;
}

void Table::enableControls()
{
    if (m_disableCount == 0 || --m_disableCount > 0)
        return;
    if (d->refreshPending) {
        d->refreshPending = false;
        emit dataSetChanged();
        emit currentRecordChanged();
    }
}

} // namespace platform
