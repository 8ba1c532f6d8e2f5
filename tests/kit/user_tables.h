#pragma once
// The user's own tables (DESCRIP.DB and PIX.DB) written through the engine
// before the program starts, and values read back from the table file past
// the program's own connection.

#include "core/forms.h"
#include "data/datamod1.h"
#include "data/tables.h"
#include "tables/table.h"

#include <sqlite3.h>

namespace fixture {

struct Place {
    int id;
    QString name;
    QString memo = {};
    QString page = {}; // the sheet a place is pinned to
    QString coords = {};
};

struct Picture {
    QString file;
    int placeId;
    QString caption = {};
};

inline void writeUserTables(const QList<Place>& places, const QList<Picture>& pictures = {})
{
    platform::Database db(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
    db.connectDatabase();
    platform::Table descrip(&db, corvane::descripTableDef());
    descrip.open();
    for (const Place& place : places) {
        descrip.append();
        descrip.setFieldValue(QStringLiteral("Placeid"), place.id);
        descrip.setFieldValue(QStringLiteral("Place"), place.name);
        descrip.setFieldValue(QStringLiteral("Memo"), place.memo);
        descrip.setFieldValue(QStringLiteral("Page"), place.page);
        descrip.setFieldValue(QStringLiteral("Coords"), place.coords);
        descrip.post();
    }
    platform::Table pix(&db, corvane::pixTableDef());
    pix.open();
    for (const Picture& picture : pictures) {
        pix.append();
        pix.setFieldValue(QStringLiteral("Filename"), picture.file);
        pix.setFieldValue(QStringLiteral("Placeid"), picture.placeId);
        pix.setFieldValue(QStringLiteral("Type"), QStringLiteral(".JPG"));
        pix.setFieldValue(QStringLiteral("Caption"), picture.caption);
        pix.post();
    }
}

// The first column of the first row `sql` gives from DESCRIP.DB's file;
// empty for none or NULL.
inline QString storedValue(const QString& sql)
{
    sqlite3* db = nullptr;
    QString value;
    const QByteArray file = corvane::DataModule1->tblDescrip->fileHostPath().toUtf8();
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

// The first column of every row `sql` gives from a table file, read on its
// own (NULL as empty); empty when the file cannot be read.
inline QStringList storedColumn(const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    QStringList values;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                values << (text ? QString::fromUtf8(text) : QString());
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return values;
}

// Another program holding a table file: every write of ours is refused.
class FileLock {
public:
    explicit FileLock(const QString& file)
    {
        sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        // The search index's thread may be reading the file for a moment.
        sqlite3_busy_timeout(m_db, 5000);
        m_locked = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~FileLock()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    bool locked() const { return m_locked; }

private:
    sqlite3* m_db = nullptr;
    bool m_locked = false;
};

} // namespace fixture
