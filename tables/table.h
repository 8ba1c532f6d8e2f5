#pragma once
// The desktop table engine: named tables with a record cursor, key search,
// edit/append/post/delete and pending changes, stored in SQLite with one
// database file per table, attached to the one connection of a Database.
//
// Contract in brief (the behaviour windows rely on):
// - open() puts the cursor on the first record of the current order and runs
//   afterScroll when the table is not empty; opening an open table does nothing.
// - Every move (first, next, findKey, moveTo, append) first resolves a pending
//   change: a modified record is posted, an unmodified one leaves editing. A
//   refused post throws EngineError and leaves the change pending and the
//   cursor where it was.
// - post() stores the pending change in one SQLite transaction; a duplicate in
//   a unique index or a blank required field is refused with EngineError.
// - close() drops a pending change. Nothing is ever half-written.
// Errors are EngineError with the engine's message, prefixed "tblName: ".

#include "platform/errors.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace platform {

class EngineError : public AppError {
public:
    using AppError::AppError;
};

enum class FieldType { Integer, Text, Memo };

struct FieldDef {
    QString name; // stored name, e.g. "Placeid"
    FieldType type = FieldType::Text;
    int storedWidth = 0; // Text: most characters kept; Memo: bytes held in the record
    int displayWidth = 0; // the field object's width; 0 means the stored width
    bool required = false;
    QString objectName = {}; // field object's name when it differs in case, e.g. "language"
};

struct IndexDef {
    QString name;
    QString field;
    bool primary = false;
    bool unique = false;
    bool caseInsensitive = false;
};

struct TableDef {
    QString componentName; // "tblMaps"
    QString fileName; // "MAPS.DB"
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
};

// One SQLite connection reached through a named alias; tables are attached
// to it as they open and detached as they close, so a closed table's file
// can be copied safely.
class Database : public QObject {
    Q_OBJECT
public:
    Database(const QString& alias, const QString& databaseName, QObject* parent = nullptr);
    ~Database() override;

    // Connects through the alias; throws EngineError when the alias is not
    // defined or its folder does not exist.
    void connectDatabase();
    bool connected() const { return m_db != nullptr; }
    QString alias() const { return m_alias; }
    QString databaseName() const { return m_databaseName; }
    QString folderHostPath() const { return m_folder; }
    // True when the alias folder lies on a read-only drive: tables open
    // read-only and every write is refused with the engine's message.
    bool readOnly() const { return m_readOnly; }
    // True when a batch that writes several table files commits in all of
    // them or in none, even if the program is killed during the commit
    // (the connection's main database is a file, so SQLite keeps a
    // super-journal). False only on a read-only drive.
    bool atomicAcrossFiles() const { return m_atomicAcrossFiles; }
    sqlite3* handle() const { return m_db; }

    // Creates an empty table file with the definition's schema (used by the
    // installer). Throws EngineError if the file exists or cannot be written.
    static void createTableFile(const QString& hostPath, const TableDef& def);

    // Called between the steps of a long copy with the pages done and the
    // pages in all; lets the caller show progress and keep the window alive.
    using Progress = std::function<void(int done, int total)>;

    // Writes a consistent copy of the table file at sourceHostPath to
    // targetHostPath (replacing it) through SQLite's online backup. Throws
    // EngineError naming the file and the cause (disk full, read-only, ...).
    static void snapshotFile(
        const QString& sourceHostPath, const QString& targetHostPath, const Progress& progress = {});

    // Opens a table file read-only, checks its integrity (SQLite's full
    // integrity check, or its quick check, which skips comparing indexes
    // with their table) and returns its record count. Throws EngineError
    // when it is not a sound table file.
    static int checkTableFile(const QString& hostPath, bool quick = false);

    // Checks a copy that snapshotFile() or Table::snapshotTo() wrote from
    // originalHostPath: the same bytes as the original (but for the header
    // fields SQLite's backup rewrites) and sound by SQLite's quick check.
    // Returns its record count; throws EngineError naming the copy and what
    // is wrong. Costs time in proportion to the file's size.
    static int checkCopy(const QString& originalHostPath, const QString& copyHostPath);

    // Rolls back what a killed writer left in the table file's journal, so
    // that the file can be renamed or replaced safely. Quiet when it cannot.
    static void settleTableFile(const QString& hostPath);
    // At start-up, before any table opens: settles every table file of the
    // folder, then removes the super-journals none of them names any more.
    static void settleFolder(const QString& hostFolder);

    // Groups the posts and deletes in between, over any of the open tables,
    // into one transaction: stored in every table file or in none, also
    // when the program is killed during the commit (atomicAcrossFiles()).
    // Throws EngineError.
    void beginBatch();
    void commitBatch();
    void rollbackBatch();

    // The tables' own report of a stored change (see rowsStored()).
    void noteStored(const QString& fileHostPath, const QList<qint64>& rowids);

signals:
    // The rows a commit stored or deleted in the table file, told once they
    // are committed (a batch's at commitBatch(), a rolled-back batch's
    // never); no rowids when any row may have changed: the table was
    // opened, emptied or loaded in bulk. Lets an index follow the tables.
    void rowsStored(const QString& fileHostPath, const QList<qint64>& rowids);

private:
    void moveToFileMain();
    bool m_inBatch = false;
    QList<std::pair<QString, QList<qint64>>> m_storedInBatch;
    QString m_alias;
    QString m_databaseName;
    QString m_folder;
    bool m_readOnly = false;
    bool m_atomicAcrossFiles = false;
    sqlite3* m_db = nullptr;
};

class Table : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    Table(Database* database, TableDef def, QObject* parent = nullptr);
    ~Table() override;

    const TableDef& def() const { return m_def; }
    QString componentName() const { return m_def.componentName; }
    // The table's file in the alias folder, open or closed; empty when the
    // database is not connected or the file is missing.
    QString fileHostPath() const;

    // A consistent copy of the table as stored (pending changes are not
    // stored), open or closed; see Database::snapshotFile.
    void snapshotTo(const QString& targetHostPath, const Database::Progress& progress = {}) const;

    void open();
    void close();
    bool active() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    bool modified() const { return m_modified; }

    void setIndexName(const QString& name); // "" selects the primary order

    void first();
    void next();
    bool eof() const { return m_eof; }
    int recordCount() const; // stored records
    bool isEmpty() const { return recordCount() == 0; }
    int recNo() const { return m_row; } // 0-based row in the current order, -1 if none
    void moveTo(int row); // grid click: resolves the pending change, then moves
    bool findKey(const QVariantList& values); // on the current (primary) index

    int fieldIndex(const QString& name) const; // case-insensitive; throws if unknown
    QString fieldAsString(const QString& name) const;
    int fieldAsInteger(const QString& name) const;
    QVariant fieldValue(const QString& name) const;
    void setFieldValue(const QString& name, const QVariant& value); // Edit or Insert only

    void edit(); // on an empty table starts a new record instead
    void append();
    void post();
    void cancel();
    void deleteRecord();

    // Bulk loading (the import of another program's tables): all records
    // are stored or none, with the checks a post makes; the cursor stays.
    void appendRecords(const QList<QVariantList>& records);
    // Empties the table in one transaction; the cursor is on no record.
    void deleteAllRecords();

    // Resolves the pending change as a move would (used when the program ends).
    void resolvePending();

    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Rows as bound controls see them: the current order, with the pending
    // change shown in the current row (and the new record while appending).
    int rowCount() const;
    QVariant valueAt(int row, int field) const;

    // Questions answered by SQLite through the table's indexes, so that
    // their cost does not grow with the table. Like valueAt they see the
    // pending change in the current row (and the new record while
    // appending). Values are taken as setFieldValue would store them.
    // The rows, as positions in the current order from first to last, whose
    // field holds value; a blank value finds the blank fields.
    QList<int> rowsWhere(const QString& field, const QVariant& value) const;
    // The largest integer held in the field; none when no row holds one.
    std::optional<qint64> largestInteger(const QString& field) const;

signals:
    void afterScroll(); // another record became current, or opened non-empty
    // For bound controls; not emitted while controls are disabled, and
    // dataSetChanged() follows enableControls() when anything changed.
    void currentRecordChanged(); // cursor moved or the current record's values changed
    void dataSetChanged(); // rows opened, closed, added, removed or reordered

private:
    bool reopenForWriting();
    struct Impl;
    QString prefix() const;
    [[noreturn]] void fail(const QString& message) const;
    QVariant storedValue(int field, const QVariant& value) const; // as setFieldValue stores it
    void checkActive() const;
    void resolveForMove();
    void setCurrent(int row);
    void notifyRecord();
    void notifyDataSet();
    void loadRows();

    TableDef m_def;
    State m_state = State::Inactive;
    bool m_modified = false;
    bool m_eof = true;
    int m_row = -1;
    int m_disableCount = 0;
    std::unique_ptr<Impl> d;
};

} // namespace platform
