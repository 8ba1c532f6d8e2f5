#pragma once
// What the table engine's own files share and nobody else includes: the row
// cache with its ordering, and the table's private state. Database, Table's
// cursor and Table's writes each have a file.

#include "tables/sqlite_statement.h"
#include "tables/table.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <vector>

namespace platform::engine {

// A writer that holds the file (another program, a stuck lock) makes a post
// fail after this long instead of hanging the program.
inline constexpr int kBusyTimeoutMs = 1000;

// The connection's main database, beside the table files (see
// Database::connectDatabase); its super-journals are named after it.
inline const QString kConnectionFileName = QStringLiteral(".corvane3-connection");

using sqlite::quoted;
using sqlite::Statement;

inline QString sqliteMessage(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

inline bool isBlank(const QVariant& value)
{
    return !value.isValid() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
}

// SQLite sorts NULL first, then numbers, then text.
inline int typeRank(const QVariant& value)
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

// The same order as SQLite's ORDER BY over the stored values.
int compareValues(const QVariant& a, const QVariant& b, bool nocase);

// The message for a write to the table file at filePath that SQLite refused
// with this extended result code and text: a read-only folder or file and a
// full drive are named as such.
QString writeFailure(const QString& filePath, int code, const QString& sqliteText);

// The table file in the folder, its name matched without regard to case.
QString findTableFile(const QString& folder, const QString& fileName);

// Copies schema of source into a new file at targetHostPath.
void backUp(sqlite3* source, const QString& schema, const QString& targetHostPath,
    const Database::Progress& progress);

struct Row {
    qint64 rowid = 0;
    QVariantList values;
};

struct OrderKey {
    int field = -1; // -1: stored record order
    bool nocase = false;
};

inline int findField(const TableDef& def, const QString& name)
{
    for (qsizetype i = 0; i < def.fields.size(); ++i) {
        const FieldDef& f = def.fields[i];
        if (f.name.compare(name, Qt::CaseInsensitive) == 0
            || (!f.objectName.isEmpty() && f.objectName.compare(name, Qt::CaseInsensitive) == 0))
            return int(i);
    }
    return -1;
}

inline const IndexDef* findIndex(const TableDef& def, const QString& name)
{
    for (const IndexDef& index : def.indexes) {
        if (name.isEmpty() ? index.primary : index.name.compare(name, Qt::CaseInsensitive) == 0)
            return &index;
    }
    return nullptr;
}

} // namespace platform::engine

namespace platform {

struct Table::Impl {
    using Row = engine::Row;
    using OrderKey = engine::OrderKey;
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
        const IndexDef* index = engine::findIndex(def, indexName);
        if (!index)
            return {};
        return { engine::findField(def, index->field), index->caseInsensitive };
    }
    void detach() const
    {
        if (db())
            sqlite3_exec(db(), QByteArray("DETACH DATABASE " + engine::quoted(schema).toUtf8()).constData(),
                nullptr, nullptr, nullptr);
    }
    bool before(const Row& a, const Row& b, const OrderKey& key) const
    {
        if (key.field >= 0) {
            const int c = engine::compareValues(a.values[key.field], b.values[key.field], key.nocase);
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

} // namespace platform
