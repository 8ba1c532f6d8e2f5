// A Table's changes: edit, append and cancel, and the writes that store them
// (post, delete, bulk append and clear), each in one transaction.
#include "tables/table.h"

#include "tables/engine_internal.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace platform {

using namespace engine;

namespace engine {

// What the user is told when a table file could not be written: SQLite's
// "unable to open database file" (it could not make its journal) or "attempt
// to write a readonly database" means a write-protected folder or file,
// which is said in those words.
QString writeFailure(const QString& filePath, int code, const QString& sqliteText)
{
    const QString file = QFileInfo(filePath).fileName();
    const int primary = code & 0xFF;
    if (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY || primary == SQLITE_PERM
        || primary == SQLITE_AUTH) {
        const QString folder = QFileInfo(filePath).path();
        const QString shownFolder = toWindowsPath(folder).value_or(QDir::toNativeSeparators(folder));
        if (!QFileInfo(folder).isWritable())
            return QStringLiteral("Cannot write %1: the folder \"%2\" is read-only (write-protected), so "
                                  "nothing can be stored there.")
                .arg(file, shownFolder);
        if (QFileInfo::exists(filePath) && !QFileInfo(filePath).isWritable())
            return QStringLiteral("Cannot write %1: the file is read-only (write-protected).").arg(file);
    }
    if (primary == SQLITE_FULL)
        return QStringLiteral("Cannot write %1: the drive is full.").arg(file);
    return QStringLiteral("Cannot write %1: %2").arg(file, sqliteText);
}

} // namespace engine

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
QString writeInTransaction(sqlite3* db, Statement& statement, qint64* insertedRowid, const QString& filePath,
    bool* readOnlyFile = nullptr)
{
    int failureCode = SQLITE_OK;
    bool keyViolation = false;
    const bool opened
        = statement.ok() && sqlite3_exec(db, "SAVEPOINT post", nullptr, nullptr, nullptr) == SQLITE_OK;
    bool ok = opened;
    if (ok && sqlite3_step(statement.get()) != SQLITE_DONE) {
        ok = false;
        failureCode = sqlite3_extended_errcode(db);
        keyViolation = failureCode == SQLITE_CONSTRAINT_UNIQUE;
        if (readOnlyFile)
            *readOnlyFile = (sqlite3_extended_errcode(db) & 0xFF) == SQLITE_READONLY;
    }
    if (ok && insertedRowid)
        *insertedRowid = sqlite3_last_insert_rowid(db);
    const QString message = ok ? QString() : sqliteMessage(db);
    if (statement.ok())
        sqlite3_reset(statement.get());
    const bool released = !ok || sqlite3_exec(db, "RELEASE post", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok && !released)
        failureCode = sqlite3_extended_errcode(db);
    ok = ok && released;
    const QString commitMessage = ok || !message.isEmpty() ? message : sqliteMessage(db);
    if (opened && !ok) {
        sqlite3_exec(db, "ROLLBACK TO post", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "RELEASE post", nullptr, nullptr, nullptr);
    }
    if (ok)
        return {};
    if (keyViolation)
        return QStringLiteral("Key violation.");
    return writeFailure(filePath, failureCode, commitMessage);
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
        return writeInTransaction(
            d->db(), statement, inserting ? &row.rowid : nullptr, d->filePath, readOnlyFile);
    };
    bool readOnlyFile = false;
    QString message = write(&readOnlyFile);
    if (readOnlyFile && reopenForWriting())
        message = write(nullptr);
    if (!message.isEmpty())
        fail(message);
    d->database->noteStored(d->filePath, { row.rowid });
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
        return writeInTransaction(d->db(), statement, nullptr, d->filePath, readOnlyFile);
    };
    bool readOnlyFile = false;
    QString message = write(&readOnlyFile);
    if (readOnlyFile && reopenForWriting())
        message = write(nullptr);
    if (!message.isEmpty())
        fail(message);
    d->database->noteStored(d->filePath, { d->rows[m_row].rowid });
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
                : writeFailure(d->filePath, sqlite3_extended_errcode(d->db()), sqliteMessage(d->db()));
            break;
        }
        row.rowid = sqlite3_last_insert_rowid(d->db());
        sqlite3_reset(statement.get());
    }
    sqlite3_reset(statement.get());
    if (message.isEmpty() && sqlite3_exec(d->db(), "RELEASE bulk", nullptr, nullptr, nullptr) != SQLITE_OK)
        message = writeFailure(d->filePath, sqlite3_extended_errcode(d->db()), sqliteMessage(d->db()));
    if (!message.isEmpty()) {
        sqlite3_exec(d->db(), "ROLLBACK TO bulk", nullptr, nullptr, nullptr);
        sqlite3_exec(d->db(), "RELEASE bulk", nullptr, nullptr, nullptr);
        fail(message);
    }
    d->database->noteStored(d->filePath, {});
    const qint64 current = m_row >= 0 ? d->rows[m_row].rowid : -1;
    const OrderKey key = d->order(m_def);
    const auto before = [&](const Row& a, const Row& b) { return d->before(a, b, key); };
    // The rows held are in order: the added ones are sorted alone and merged
    // in one pass, where sorting all again cost a list of a million places
    // seconds for every batch of an import.
    std::stable_sort(added.begin(), added.end(), before);
    const auto held = std::ptrdiff_t(d->rows.size());
    for (Row& row : added)
        d->rows.push_back(std::move(row));
    if (held > 0 && held < std::ptrdiff_t(d->rows.size()) && before(d->rows[held], d->rows[held - 1]))
        std::inplace_merge(d->rows.begin(), d->rows.begin() + held, d->rows.end(), before);
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
    const QString message = writeInTransaction(d->db(), statement, nullptr, d->filePath);
    if (!message.isEmpty())
        fail(message);
    d->database->noteStored(d->filePath, {});
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
