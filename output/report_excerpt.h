#pragma once
// The map around a place for its report: a piece of its sheet's scan centred
// on the pin, kept at the scan's own pixels and printed at most 10 x 7 cm,
// with the marker's place in it and the sheet's title and id to go under it.
// Cut from the sheet's tile pyramid when the cache holds one (a few tiles
// decoded), else from the sheet decoded whole with the usual ceilings; the
// last sheet decoded is kept, since places near each other follow each
// other. Window-free; used on the report's own thread.

#include "output/report.h"

#include <QImage>
#include <QRect>
#include <QSizeF>

#include <memory>

namespace platform {
class TilePyramid;
}

namespace corvane {

// The resolution a scan is taken to have: a 7000 x 5000 sheet is then a
// plate of 59 x 42 cm, as the atlas's are, and 10 x 7 cm of it is
// 1181 x 827 of its pixels.
constexpr double kScanDpi = 300;
// Pictures are stored at this resolution of their printed size.
constexpr double kPrintDpi = 200;
inline double pixelsToMm(double pixels, double dpi)
{
    return pixels / dpi * 25.4;
}
inline int mmToPixels(double mm, double dpi)
{
    return int(mm / 25.4 * dpi + 0.5);
}

struct MapExcerpt {
    QString sheetPath;
    QRect crop; // in the sheet's own pixels
    QPoint pin; // in the sheet's own pixels
    QSizeF printedMm;
    QString caption; // the sheet's title and id
    QString note; // in place of the excerpt when there is none
    QImage image; // once cut; may be smaller than crop when decoded reduced

    bool planned() const { return note.isEmpty(); }
    // The marker's place in image's pixels.
    QPointF markerAt() const;
};

class ExcerptCutter {
public:
    ExcerptCutter();
    ~ExcerptCutter();
    ExcerptCutter(const ExcerptCutter&) = delete;
    ExcerptCutter& operator=(const ExcerptCutter&) = delete;

    // What the excerpt will be, from the sheet's header alone: its crop and
    // printed size, or the note (no pin, no sheet) that stands instead.
    MapExcerpt plan(const ReportPlace& place) const;
    // Fills excerpt.image; a sheet that cannot be decoded sets the note.
    void cut(MapExcerpt& excerpt);

private:
    QImage fromPyramid(const MapExcerpt& excerpt) const;
    QImage fromSheet(const MapExcerpt& excerpt);

    std::unique_ptr<platform::TilePyramid> m_pyramid;
    QString m_decodedPath;
    QSize m_decodedNative;
    QImage m_decoded;
};

// The marker as it is drawn over an excerpt: a red ring with a white edge
// and a dot, `radius` in the painter's units.
void paintExcerptMarker(QPainter& painter, QPointF centre, double radius);

} // namespace corvane
