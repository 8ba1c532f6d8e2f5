#pragma once
// Where the demo atlas generator puts a sheet on its locating overview: the
// LocTop and LocLeft it writes into MAPS.DB, and the rectangle the sheet
// covers on the 1000 x 720 overview picture. Tests derive the positions they
// expect on screen from this rectangle, not from a window's arithmetic.
// Link the test with atlasgen_core and define ATLASGEN_DATA_DIR to use it.

#include "sheetgrid.h"

#include <QRect>
#include <QTest>

#include <stdexcept>

namespace fixture {

struct DemoPlacement {
    int locTop = 0;
    int locLeft = 0;
    QRect onOverview; // in the pixels of the full-size overview picture
};

inline DemoPlacement demoPlacement(const QString& id)
{
    static const QVector<atlasgen::Sheet> sheets = [] {
        QVector<atlasgen::Sheet> loaded;
        QString error;
        atlasgen::loadSheets(QStringLiteral(ATLASGEN_DATA_DIR "/sheets.tsv"), loaded, error);
        return loaded;
    }();
    for (const atlasgen::Sheet& sheet : sheets) {
        if (sheet.id == id)
            return { sheet.locTop, sheet.locLeft,
                atlasgen::overviewFor(sheet.country).cellPixels(sheet.cell) };
    }
    QTest::qFail(qPrintable(QStringLiteral("no demo sheet ") + id), __FILE__, __LINE__);
    throw std::runtime_error("no demo sheet " + id.toStdString());
}

// The rectangle on screen of a part of the overview picture shown in `box`
// (the picture's top-left at the box's, scaled to the shown width).
inline QRect onScreen(QRect onOverview, QRect box, int shownWidth)
{
    const auto scaled = [&](int v) { return v * shownWidth / atlasgen::grid::kOverviewWidth; };
    return { box.left() + scaled(onOverview.left()), box.top() + scaled(onOverview.top()),
        scaled(onOverview.width()), scaled(onOverview.height()) };
}

} // namespace fixture
