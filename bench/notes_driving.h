#pragma once
// The descriptions window driven as a user drives it, for the benchmarks
// that time its steps: its controls by name, clicks, and a paint that makes
// a step's cost include drawing it.

#include "places/notes.h"
#include "tables/dbcontrols.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QTest>

namespace bench {

inline void paint(QWidget* widget)
{
    widget->repaint();
    QCoreApplication::processEvents();
}

template <typename T> T* control(const char* name)
{
    return corvane::frmNotes->findChild<T*>(QLatin1String(name));
}

inline void click(const char* name)
{
    QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
}

inline void clickRow(platform::DbGrid* grid, int row)
{
    grid->scrollTo(grid->model()->index(row, 0));
    const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
}

} // namespace bench
