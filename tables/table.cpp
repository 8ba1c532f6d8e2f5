// A Table's life and cursor: open and close, the row cache in the current
// index order, moves and key search, and reading fields.
#include "tables/table.h"

#include "tables/engine_internal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <climits>

namespace platform {

using namespace engine;

namespace engine {

// UTF-16 units shifted so that comparing them gives code point order, the
// order of SQLite's BINARY collation over UTF-8.
static int codePointOrder(char16_t unit, bool nocase)
{
    int c = unit;
    if (nocase && c >= 'A' && c <= 'Z')
        c += 'a' - 'A'; // NOCASE folds ASCII letters only
    if (c >= 0xD800)
        c += c >= 0xE000 ? -0x800 : 0x2000;
    return c;
}

static int compareText(QStringView a, QStringView b, bool nocase)
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

} // namespace engine

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
    database->noteStored(d->filePath, {}); // the file may have been replaced while closed
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

} // namespace platform
