#pragma once
// The atlas the sheet walks run over: a 4 x 3 grid of large scans (rows
// 01-03, columns D-G), each sheet its own file so that each gets its own
// pyramid, with GB-03H, where the atlas starts, leading into it.

#include "kit/atlas_fixture.h"

#include "core/forms.h"

#include <QFile>
#include <QString>

#include <functional>

#include <unistd.h>

namespace bench {

// A link where the file system allows one, else a copy: the scans are large.
inline void linkOrCopy(const QString& from, const QString& to)
{
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        QFile::copy(from, to);
}

// Places the scan scanFor(row, column) names at each sheet of the grid and
// opens the atlas; false when it does not open.
inline bool openScanGrid(fixture::Atlas& atlas, const std::function<QString(int row, int column)>& scanFor)
{
    using namespace Qt::StringLiterals;
    const auto id = [](int row, int column) {
        return u"GB-%1%2"_s.arg(row, 2, 10, QLatin1Char('0')).arg(QChar(u'D' + column));
    };
    const auto inside = [&](int row, int column) {
        return row >= 1 && row <= 3 && column >= 0 && column < 4 ? id(row, column) : QString();
    };
    QList<fixture::Sheet> rows;
    for (int row = 1; row <= 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            const QString name = id(row, column);
            QFile::copy(scanFor(row, column), atlas.sheetFile(name));
            rows << fixture::Sheet { name, inside(row, column - 1), inside(row, column + 1),
                inside(row - 1, column), inside(row + 1, column), u"Blatt "_s + name,
                QString::number(row * 10 + column), 100 * row, 100 * column };
        }
    }
    linkOrCopy(atlas.sheetFile(u"GB-02E"_s), atlas.sheetFile(u"GB-03H"_s));
    rows << fixture::Sheet { u"GB-03H"_s, u""_s, u"GB-02E"_s, u""_s, u""_s, u"Start"_s, u"1"_s, 1, 1 };
    atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
    atlas.setRows(rows, {});
    return atlas.open() && corvane::frmAtlas;
}

} // namespace bench
