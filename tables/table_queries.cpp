// A Table's questions about its values, answered by SQLite through the
// indexes instead of by walking the row cache, with the pending change laid
// over what is stored.
#include "tables/table.h"

#include "tables/engine_internal.h"

#include <QFileInfo>

#include <algorithm>

namespace platform {

using namespace engine;

namespace {

// The row of the pending change stands over its stored record (Edit) or
// after the stored rows (Insert).
bool hasPending(Table::State state)
{
    return state == Table::State::Edit || state == Table::State::Insert;
}

} // namespace

QList<int> Table::rowsWhere(const QString& field, const QVariant& value) const
{
    checkActive();
    const int index = fieldIndex(field);
    const QVariant key = storedValue(index, value);
    const bool editing = m_state == State::Edit;
    const qint64 pendingRowid = editing ? d->rows[m_row].rowid : 0;
    // The order field comes along so that each record's row is found by a
    // binary search in the cache's order.
    const OrderKey order = d->order(m_def);
    const QString orderColumn
        = order.field >= 0 ? quoted(m_def.fields[order.field].name) : QStringLiteral("NULL");
    Statement select(d->db(),
        QStringLiteral("SELECT rowid, %1 FROM %2.%3 WHERE %4 IS ?1")
            .arg(orderColumn, quoted(d->schema), quoted(d->sqlTable), quoted(m_def.fields[index].name)));
    if (!select.ok())
        fail(QStringLiteral("Cannot read %1: %2")
                 .arg(QFileInfo(d->filePath).fileName(), sqliteMessage(d->db())));
    select.bind(1, key);
    QList<int> rows;
    Row probe { 0, QVariantList(m_def.fields.size()) };
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        probe.rowid = sqlite3_column_int64(select.get(), 0);
        if (editing && probe.rowid == pendingRowid)
            continue;
        if (order.field >= 0)
            probe.values[order.field] = select.column(1);
        int position = d->insertPosition(probe, order);
        if (position >= int(d->rows.size()) || d->rows[size_t(position)].rowid != probe.rowid)
            position = d->positionOf(probe.rowid, -1); // the cache holds it elsewhere: look it up
        if (position >= 0)
            rows << position;
    }
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("Cannot read %1: %2")
                 .arg(QFileInfo(d->filePath).fileName(), sqliteMessage(d->db())));
    if (hasPending(m_state) && compareValues(d->buffer.value(index), key, false) == 0)
        rows << m_row;
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::optional<qint64> Table::largestInteger(const QString& field) const
{
    checkActive();
    const int index = fieldIndex(field);
    const bool editing = m_state == State::Edit;
    const QString column = quoted(m_def.fields[index].name);
    // ORDER BY ... DESC walks the field's index from its top; the stored
    // record under the pending change is passed over.
    Statement select(d->db(),
        QStringLiteral("SELECT %1 FROM %2.%3 WHERE typeof(%1) = 'integer' AND rowid IS NOT ?1 "
                       "ORDER BY %1 DESC LIMIT 1")
            .arg(column, quoted(d->schema), quoted(d->sqlTable)));
    if (!select.ok())
        fail(QStringLiteral("Cannot read %1: %2")
                 .arg(QFileInfo(d->filePath).fileName(), sqliteMessage(d->db())));
    select.bind(1, editing ? QVariant(qlonglong(d->rows[m_row].rowid)) : QVariant());
    std::optional<qint64> largest;
    const int rc = sqlite3_step(select.get());
    if (rc == SQLITE_ROW)
        largest = sqlite3_column_int64(select.get(), 0);
    else if (rc != SQLITE_DONE)
        fail(QStringLiteral("Cannot read %1: %2")
                 .arg(QFileInfo(d->filePath).fileName(), sqliteMessage(d->db())));
    if (hasPending(m_state)) {
        const QVariant pending = d->buffer.value(index);
        if (pending.typeId() == QMetaType::LongLong || pending.typeId() == QMetaType::Int)
            largest = std::max(largest.value_or(pending.toLongLong()), pending.toLongLong());
    }
    return largest;
}

} // namespace platform
