#pragma once
// What the descriptions window's two files (places, pictures) share and
// nobody else includes: its tables, and small steps most handlers take.

#include "core/forms.h"
#include "core/shell.h"
#include "data/datamod1.h"
#include "tables/table.h"

#include <algorithm>
#include <vector>

namespace corvane::notes {

inline platform::Table* descrip()
{
    return DataModule1->tblDescrip;
}

inline platform::Table* pix()
{
    return DataModule1->tblPix;
}

// Keeps a table's bound controls still while a step works on it, and lets
// them show the result however the step ends.
class ControlsSuspended {
public:
    explicit ControlsSuspended(platform::Table* table)
        : m_table(table)
    {
        m_table->disableControls();
    }
    ~ControlsSuspended() { m_table->enableControls(); }
    ControlsSuspended(const ControlsSuspended&) = delete;
    ControlsSuspended& operator=(const ControlsSuspended&) = delete;

private:
    platform::Table* m_table;
};

// The frame's print information and rich-text panels, which most steps here
// put away.
inline void hideFramePanels()
{
    shell().hidePrintPanel();
    shell().hideRichTextPanel();
}

// Every value of one integer field, as the table's rows hold them.
inline std::vector<int> integersOf(const platform::Table* table, const QString& field)
{
    std::vector<int> values;
    if (!table->active())
        return values;
    const int column = table->fieldIndex(field);
    values.reserve(size_t(table->rowCount()));
    for (int row = 0; row < table->rowCount(); ++row)
        values.push_back(table->valueAt(row, column).toInt());
    return values;
}

// The rows, first to last, whose Placeid is placeId; a blank Placeid has
// always been read as place 0. None when the table is closed.
inline QList<int> rowsOfPlace(const platform::Table* table, int placeId)
{
    if (!table->active())
        return {};
    const QString field = QStringLiteral("Placeid");
    QList<int> rows = table->rowsWhere(field, placeId);
    if (placeId == 0) {
        rows += table->rowsWhere(field, QVariant());
        std::sort(rows.begin(), rows.end());
    }
    return rows;
}

// The largest Placeid in the table (a blank one read as 0); -1 when the
// table is closed or holds none.
inline qint64 largestPlaceId(const platform::Table* table)
{
    if (!table->active())
        return -1;
    const QString field = QStringLiteral("Placeid");
    const qint64 blank = table->rowsWhere(field, QVariant()).isEmpty() ? -1 : 0;
    return std::max(table->largestInteger(field).value_or(-1), blank);
}

} // namespace corvane::notes
