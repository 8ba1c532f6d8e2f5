#pragma once
// What the descriptions window's two files (places, pictures) share and
// nobody else includes: its tables, and small steps most handlers take.

#include "core/forms.h"
#include "core/shell.h"
#include "data/datamod1.h"
#include "tables/table.h"

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

} // namespace corvane::notes
