// The report as a PDF: title page, contents with page numbers, then each
// place from a new page. Laid out twice with the same code: once without
// drawing, from the pictures' headers, to learn where each place begins,
// then for real, the pictures decoded a few ahead on worker threads while
// this thread, the one that owns the writer, paints, so memory stays flat
// however long the report.

#include "output/report_compose.h"
#include "output/report_excerpt.h"
#include "output/report_pictures.h"
#include "platform/desktop.h"
#include "platform/errors.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QTextLayout>

#include <optional>

namespace corvane {

namespace {

constexpr double kMarginMm = 20;
constexpr double kFooterMm = 8;
constexpr double kPictureHeightMm = 90;

QFont serif(double points, bool bold = false, bool italic = false)
{
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// A place's excerpt and pictures as laid out, before anything is decoded.
struct PlacePlan {
    MapExcerpt excerpt;
    QList<ReportFigure> figures;
};

// The pages as they fill: a column, the height used on the current page,
// and, when drawing, the painter.
class Pages {
public:
    Pages(QPdfWriter& writer, QPainter* painter)
        : m_writer(writer)
        , m_painter(painter)
    {
        const QRectF paper = writer.pageLayout().paintRectPixels(writer.resolution());
        m_column = QRectF(0, 0, paper.width(), paper.height() - mm(kFooterMm));
        startPage();
    }

    double mm(double millimetres) const { return millimetres / 25.4 * m_writer.resolution(); }
    int page() const { return m_page; }
    double width() const { return m_column.width(); }
    QPainter* painter() const { return m_painter; }

    void newPage()
    {
        ++m_page;
        if (m_painter)
            m_writer.newPage();
        startPage();
    }
    // A new page unless `height` fits below what is there.
    void keep(double height)
    {
        if (m_y > 0 && m_y + height > m_column.height())
            newPage();
    }
    void skip(double height) { m_y += height; }
    // The next `size` of the column, on this page or the next.
    QRectF take(QSizeF size)
    {
        keep(size.height());
        const QRectF rect(m_column.left(), m_y, size.width(), size.height());
        m_y += size.height();
        return rect;
    }

    // Wrapped text, line by line across pages.
    void text(const QString& text, const QFont& font, Qt::Alignment align = Qt::AlignLeft)
    {
        QTextLayout layout(text, font, &m_writer);
        layOut(layout, align);
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            keep(line.height());
            if (m_painter)
                line.draw(m_painter, QPointF(m_column.left(), m_y - line.y()));
            m_y += line.height();
        }
    }
    double textHeight(const QString& text, const QFont& font) const
    {
        QTextLayout layout(text, font, &m_writer);
        layOut(layout, Qt::AlignLeft);
        return layout.boundingRect().height();
    }
    // One line: `left` elided to fit, `right` flush right.
    void line(const QString& left, const QString& right, const QFont& font)
    {
        const QFontMetricsF metrics(font, &m_writer);
        const QRectF rect = take(QSizeF(width(), metrics.lineSpacing()));
        if (!m_painter)
            return;
        m_painter->setFont(font);
        const double number = metrics.horizontalAdvance(right) + mm(4);
        m_painter->drawText(rect.adjusted(0, 0, -number, 0), Qt::AlignLeft,
            metrics.elidedText(left, Qt::ElideRight, rect.width() - number));
        m_painter->drawText(rect, Qt::AlignRight, right);
    }

private:
    void layOut(QTextLayout& layout, Qt::Alignment align) const
    {
        QTextOption option(align);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        double y = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width());
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
    }

    void startPage()
    {
        m_y = 0;
        if (!m_painter)
            return;
        m_painter->setPen(Qt::black);
        if (m_page > 1) {
            m_painter->setFont(serif(9));
            m_painter->drawText(QRectF(0, m_column.bottom(), width(), mm(kFooterMm)),
                Qt::AlignHCenter | Qt::AlignBottom, QString::number(m_page));
        }
    }

    QPdfWriter& m_writer;
    QPainter* m_painter;
    QRectF m_column;
    double m_y = 0;
    int m_page = 1;
};

void titlePage(Pages& pages, int placeCount)
{
    pages.skip(pages.mm(70));
    pages.text(reportTitle(), serif(28, true), Qt::AlignHCenter);
    pages.skip(pages.mm(10));
    pages.text(reportDateLine(), serif(14), Qt::AlignHCenter);
    pages.text(placeCountLine(placeCount), serif(14), Qt::AlignHCenter);
    pages.newPage();
}

void contents(Pages& pages, const QList<ReportPlace>& places, const QList<int>& startPages)
{
    pages.text(QStringLiteral("Contents"), serif(18, true));
    pages.skip(pages.mm(4));
    for (qsizetype i = 0; i < places.size(); ++i)
        pages.line(places[i].name, QString::number(startPages.value(i)), serif(11));
}

// A short note where something could not be shown, in italics.
void note(Pages& pages, const QString& text)
{
    if (pages.painter())
        pages.painter()->setPen(QColor(90, 60, 30));
    pages.text(text, serif(10, false, true));
    if (pages.painter())
        pages.painter()->setPen(Qt::black);
    pages.skip(pages.mm(2));
}

// A picture read only in part says so across its foot, within the room kept
// for it, as whether it can be read in full is known only once it is drawn.
void noteAcrossFoot(Pages& pages, QRectF rect, const QString& text)
{
    QPainter* painter = pages.painter();
    painter->setFont(serif(9, false, true));
    const QRectF inside = rect.adjusted(pages.mm(1), 0, -pages.mm(1), 0);
    const double height
        = std::min(rect.height(), painter->boundingRect(inside, Qt::TextWordWrap, text).height());
    const QRectF band(rect.left(), rect.bottom() - height, rect.width(), height);
    painter->fillRect(band, QColor(255, 255, 255, 225));
    painter->setPen(QColor(90, 60, 30));
    painter->drawText(inside.adjusted(0, rect.height() - height, 0, 0), Qt::TextWordWrap, text);
    painter->setPen(Qt::black);
}

// Something that could not be decoded after all stands as a note in the
// room kept for it, so the pages stay as the contents counted them.
void noteInside(Pages& pages, QRectF rect, const QString& text)
{
    if (!pages.painter())
        return;
    pages.painter()->setPen(QColor(90, 60, 30));
    pages.painter()->setFont(serif(10, false, true));
    pages.painter()->drawRect(rect);
    pages.painter()->drawText(
        rect.adjusted(pages.mm(2), pages.mm(2), -pages.mm(2), -pages.mm(2)), Qt::TextWordWrap, text);
    pages.painter()->setPen(Qt::black);
}

void excerpt(
    Pages& pages, MapExcerpt& plan, ExcerptCutter& cutter, ReportSummary* summary, const QString& place)
{
    if (!plan.planned()) {
        note(pages, plan.note);
        if (summary)
            summary->noteMissing(place, plan.note);
        return;
    }
    const QFont captionFont = serif(9, false, true);
    const QSizeF size(pages.mm(plan.printedMm.width()), pages.mm(plan.printedMm.height()));
    pages.keep(size.height() + pages.textHeight(plan.caption, captionFont));
    const QRectF rect = pages.take(size);
    if (QPainter* painter = pages.painter()) {
        cutter.cut(plan);
        if (!plan.planned()) {
            noteInside(pages, rect, plan.note);
            summary->noteMissing(place, plan.note);
        } else {
            painter->drawImage(rect, plan.image);
            painter->drawRect(rect);
            const double scale = rect.width() / plan.image.width();
            paintExcerptMarker(*painter, rect.topLeft() + plan.markerAt() * scale, pages.mm(2.2));
            ++summary->excerpts;
        }
        plan.image = QImage();
    }
    pages.text(plan.caption, captionFont);
    pages.skip(pages.mm(5));
}

void figure(Pages& pages, ReportFigure& plan, bool captions, FigureLoader* loader, ReportSummary* summary,
    const QString& place)
{
    if (!plan.planned()) {
        note(pages, plan.note);
        if (summary)
            summary->noteMissing(place, plan.note);
        return;
    }
    const QFont captionFont = serif(10, false, true);
    const bool captioned = captions && !plan.picture.caption.trimmed().isEmpty();
    const QSizeF size(pages.mm(plan.printedMm.width()), pages.mm(plan.printedMm.height()));
    pages.keep(size.height() + (captioned ? pages.textHeight(plan.picture.caption, captionFont) : 0));
    const QRectF rect = pages.take(size);
    if (QPainter* painter = pages.painter()) {
        loader->take(&plan);
        if (!plan.planned()) {
            noteInside(pages, rect, plan.note);
            summary->noteMissing(place, plan.note);
        } else {
            if (!plan.drawing.isEmpty())
                QSvgRenderer(plan.drawing).render(painter, rect);
            else
                painter->drawImage(rect, plan.image);
            if (!plan.partly.isEmpty()) {
                noteAcrossFoot(pages, rect, plan.partly);
                summary->notePartial(place, plan.partly);
            }
            ++summary->pictures;
        }
        plan.image = QImage();
        plan.drawing.clear();
    }
    if (captioned)
        pages.text(plan.picture.caption, captionFont);
    pages.skip(pages.mm(5));
}

void placePages(Pages& pages, const ReportPlace& place, PlacePlan& plan, const ReportOptions& options,
    ExcerptCutter& cutter, FigureLoader* loader, ReportSummary* summary)
{
    pages.text(place.name, serif(18, true));
    pages.skip(pages.mm(3));
    if (options.coordinates && !placeCoordinatesText(place).isEmpty())
        pages.text(placeCoordinatesText(place), serif(10));
    if (options.descriptions) {
        for (const QString& paragraph : descriptionParagraphs(place.description)) {
            pages.text(paragraph, serif(11));
            pages.skip(pages.mm(2));
        }
        pages.skip(pages.mm(3));
    }
    if (options.excerpts)
        excerpt(pages, plan.excerpt, cutter, summary, place.name);
    for (ReportFigure& each : plan.figures)
        figure(pages, each, options.captions, loader, summary, place.name);
}

QList<PlacePlan> planPlaces(const QList<ReportPlace>& places, const ReportOptions& options,
    const ExcerptCutter& cutter, double widthMm)
{
    QList<PlacePlan> plans;
    for (const ReportPlace& place : places) {
        PlacePlan plan;
        if (options.excerpts)
            plan.excerpt = cutter.plan(place);
        if (options.pictures) {
            for (const ReportPicture& picture : place.pictures)
                plan.figures << planFigure(picture, QSizeF(widthMm, kPictureHeightMm));
        }
        plans << plan;
    }
    return plans;
}

// Lays the whole report out; with a painter, draws it. Returns where each
// place begins, or nothing when cancelled.
std::optional<QList<int>> compose(QPdfWriter& writer, QPainter* painter, const QList<ReportPlace>& places,
    QList<PlacePlan>& plans, const ReportOptions& options, ExcerptCutter& cutter,
    const QList<int>& startPages, const ReportProgress& progress)
{
    Pages pages(writer, painter);
    std::optional<FigureLoader> loader;
    if (painter) {
        QList<ReportFigure*> order;
        for (PlacePlan& plan : plans) {
            for (ReportFigure& figure : plan.figures)
                order << &figure;
        }
        loader.emplace(order);
    }
    titlePage(pages, int(places.size()));
    contents(pages, places, startPages);
    QList<int> starts;
    for (qsizetype i = 0; i < places.size(); ++i) {
        if (painter && !progress.next(int(i)))
            return std::nullopt;
        pages.newPage();
        starts << pages.page();
        placePages(pages, places[i], plans[i], options, cutter, loader ? &*loader : nullptr,
            painter ? progress.summary : nullptr);
    }
    return starts;
}

} // namespace

bool writeReportPdf(const QString& hostPath, const QList<ReportPlace>& places, const ReportOptions& options,
    const ReportProgress& progress)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::WriteOnly))
        throw platform::AppError(
            QStringLiteral("The report cannot be written to \"%1\": %2").arg(hostPath, file.errorString()));
    QPdfWriter writer(&file);
    writer.setPageSize(QPageSize(options.paper));
    writer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    writer.setTitle(reportTitle());
    writer.setCreator(platform::applicationTitle());
    ExcerptCutter cutter;
    const double widthMm = writer.pageLayout().paintRect(QPageLayout::Millimeter).width();
    QList<PlacePlan> plans = planPlaces(places, options, cutter, widthMm);
    const auto starts = compose(writer, nullptr, places, plans, options, cutter, {}, progress);
    QPainter painter(&writer);
    const bool done = starts && compose(writer, &painter, places, plans, options, cutter, *starts, progress);
    progress.summary->places = int(places.size());
    painter.end();
    file.close();
    if (done && file.error() != QFileDevice::NoError)
        throw platform::AppError(
            QStringLiteral("The report could not be written completely: %1").arg(file.errorString()));
    return done;
}

} // namespace corvane
