#include "output/report_pictures.h"

#include "imaging/picture_files.h"
#include "output/report_excerpt.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace corvane {

namespace {

// A picture's own size is taken at screen resolution for its natural size.
constexpr double kScreenDpi = 96;

} // namespace

ReportFigure planFigure(const ReportPicture& picture, QSizeF boxMm)
{
    ReportFigure figure;
    figure.picture = picture;
    if (!platform::fileExists(picture.windowsPath)) {
        figure.note = missingPictureNote(picture.fileName, QStringLiteral("the file is missing."));
        return figure;
    }
    const QSize native = platform::pictureFileSize(picture.windowsPath);
    if (!native.isValid() || native.isEmpty()) {
        figure.note = missingPictureNote(picture.fileName, QStringLiteral("the file is damaged."));
        return figure;
    }
    const QSizeF naturalMm(pixelsToMm(native.width(), kScreenDpi), pixelsToMm(native.height(), kScreenDpi));
    figure.printedMm = naturalMm.width() <= boxMm.width() && naturalMm.height() <= boxMm.height()
        ? naturalMm
        : naturalMm.scaled(boxMm, Qt::KeepAspectRatio);
    return figure;
}

void loadFigure(ReportFigure& figure, const platform::PrintCache& cache)
{
    if (!figure.planned())
        return;
    try {
        figure.drawing = platform::pictureDrawing(figure.picture.windowsPath);
        if (!figure.drawing.isEmpty())
            return;
        const QSize box(mmToPixels(figure.printedMm.width(), kPrintDpi),
            mmToPixels(figure.printedMm.height(), kPrintDpi));
        QString damaged;
        figure.image = cache.load(figure.picture.windowsPath, box.expandedTo(QSize(1, 1)), &damaged)
                           .convertToFormat(QImage::Format_RGB32);
        if (!damaged.isEmpty())
            figure.partly = partlyReadNote(figure.picture.fileName);
    } catch (const platform::AppError& e) {
        figure.note = e.message();
    }
}

PlacedFigures planFigures(const QList<ReportPlace>& places, QSizeF boxMm)
{
    PlacedFigures figures(size_t(places.size()));
    for (qsizetype i = 0; i < places.size(); ++i) {
        for (const ReportPicture& picture : places[i].pictures)
            figures[size_t(i)].push_back(planFigure(picture, boxMm));
    }
    return figures;
}

QList<ReportFigure*> writingOrder(PlacedFigures& figures)
{
    QList<ReportFigure*> order;
    for (std::vector<ReportFigure>& place : figures) {
        for (ReportFigure& figure : place)
            order << &figure;
    }
    return order;
}

FigureLoader::FigureLoader(const QList<ReportFigure*>& order, const platform::PrintCache::Options& cache)
    : m_cache(cache)
{
    for (ReportFigure* figure : order) {
        if (figure->planned())
            m_order << figure;
    }
    m_window = 2 * std::max(1, m_pool.maxThreadCount());
}

FigureLoader::~FigureLoader()
{
    m_pool.clear(); // a cancelled report leaves the rest undecoded
    m_pool.waitForDone();
    m_cache.trim();
}

void FigureLoader::take(ReportFigure* figure)
{
    fill();
    while (!m_pending.empty()) {
        auto [loading, done] = std::move(m_pending.front());
        m_pending.pop_front();
        done.wait();
        if (loading == figure) {
            fill();
            return;
        }
    }
    loadFigure(*figure, m_cache); // not in the order given: loaded here and now
}

void FigureLoader::fill()
{
    while (qsizetype(m_pending.size()) < m_window && m_next < m_order.size()) {
        ReportFigure* figure = m_order[m_next++];
        auto task
            = std::make_shared<std::packaged_task<void()>>([this, figure] { loadFigure(*figure, m_cache); });
        m_pending.emplace_back(figure, task->get_future());
        m_pool.start([task] { (*task)(); });
    }
}

} // namespace corvane
