#pragma once
// A place's pictures for its report: each fitted to the column (never
// enlarged beyond its own size at screen resolution) and decoded at 200 dots
// an inch of that printed size, so a report of phone photos stays small; an
// enhanced metafile kept as its drawing, to be drawn as vectors. A picture
// that is missing or cannot be read gets a short note instead. Window-free.

#include "output/report.h"

#include <QByteArray>
#include <QImage>
#include <QSizeF>

namespace corvane {

struct ReportFigure {
    ReportPicture picture;
    QSizeF printedMm;
    QString note; // in place of the picture when it cannot be shown
    QImage image; // once loaded, at print resolution
    QByteArray drawing; // once loaded: an enhanced metafile's SVG

    bool planned() const { return note.isEmpty(); }
};

// The printed size from the picture's header alone, or the note.
ReportFigure planFigure(const ReportPicture& picture, QSizeF boxMm);
// Fills image or drawing; a picture that cannot be decoded sets the note.
void loadFigure(ReportFigure& figure);

} // namespace corvane
