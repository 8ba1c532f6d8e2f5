#pragma once
// A prepared SQLite statement that binds and reads Qt's values, and an SQL
// identifier quoted: what the table engine and the search index, which keep
// their data in SQLite files of their own, both need.

#include <QString>
#include <QVariant>

#include <sqlite3.h>

namespace platform::sqlite {

inline QString quoted(const QString& identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Owns a prepared statement, finalized on every path: one left open would
// keep DETACH from letting a table file go. Not ok() when the SQL cannot be
// prepared or there is no connection.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql)
    {
        if (db && sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_stmt, nullptr) != SQLITE_OK) {
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

    int step() { return sqlite3_step(m_stmt); }
    void reset() { sqlite3_reset(m_stmt); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace platform::sqlite
