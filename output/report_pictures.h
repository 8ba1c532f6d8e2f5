#pragma once
// A place's pictures for its report: each fitted to the column (never
// enlarged beyond its own size at screen resolution) and decoded at 200 dots
// an inch of that printed size, so a report of phone photos stays small; an
// enhanced metafile kept as its drawing, to be drawn as vectors. A picture
// that is missing or cannot be read gets a short note instead. Window-free.

#include "imaging/print_cache.h"
#include "output/report.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QThreadPool>

#include <deque>
#include <future>
#include <vector>

namespace corvane {

struct ReportFigure {
    ReportPicture picture;
    QSizeF printedMm;
    QString note; // in place of the picture when it cannot be shown
    QString partly; // with the picture when only part of it could be read
    QImage image; // once loaded, at print resolution
    QByteArray drawing; // once loaded: an enhanced metafile's SVG

    bool planned() const { return note.isEmpty(); }
};

// The printed size from the picture's header alone, or the note.
ReportFigure planFigure(const ReportPicture& picture, QSizeF boxMm);
// Fills image or drawing; a picture that cannot be decoded sets the note.
// Photos come from the print cache when it holds them, and go into it.
void loadFigure(ReportFigure& figure, const platform::PrintCache& cache);

// Every place's pictures planned for the box, place by place, and the
// order they are written in (pointers into them: keep the lists unchanged).
using PlacedFigures = std::vector<std::vector<ReportFigure>>;
PlacedFigures planFigures(const QList<ReportPlace>& places, QSizeF boxMm);
QList<ReportFigure*> writingOrder(PlacedFigures& figures);

// Loads the figures a few ahead of the one being written, on worker threads
// (one a core), in the order the report needs them, while the report's own
// thread writes what it has: at most two a core are held decoded. The
// figures must outlive the loader; those not planned are left alone. The
// print cache is trimmed to its bound when the loader is done.
class FigureLoader {
public:
    explicit FigureLoader(const QList<ReportFigure*>& order, const platform::PrintCache::Options& cache = {});
    ~FigureLoader(); // drops what has not started, waits for the rest
    FigureLoader(const FigureLoader&) = delete;
    FigureLoader& operator=(const FigureLoader&) = delete;

    // The figure loaded (or given its note), waiting for it if need be.
    void take(ReportFigure* figure);

private:
    void fill();

    platform::PrintCache m_cache;
    QThreadPool m_pool;
    QList<ReportFigure*> m_order;
    qsizetype m_next = 0;
    qsizetype m_window = 2;
    std::deque<std::pair<ReportFigure*, std::future<void>>> m_pending;
};

} // namespace corvane
