// The report as an ODF text for a word processor: the same content as the
// PDF in one rich-text document written by Qt's ODF writer. The word
// processor paginates, so the contents list names the places without page
// numbers. The pictures are decoded a few ahead on worker threads; each is
// held in the document at print resolution until the document is written.

#include "output/report_compose.h"
#include "output/report_excerpt.h"
#include "output/report_pictures.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QUrl>

namespace corvane {

namespace {

constexpr double kColumnMm = 170;
constexpr double kPictureHeightMm = 90;
// Qt's rich text measures images in pixels of 96 to the inch.
constexpr double kTextDpi = 96;
constexpr int kJpegQuality = 88; // as the web pages' pictures

class OdfText {
public:
    explicit OdfText(QTextDocument& document)
        : m_document(document)
        , m_cursor(&document)
    {
    }

    void paragraph(const QString& text, double points, bool bold = false, bool italic = false,
        int heading = 0, bool newPage = false)
    {
        QTextBlockFormat block;
        block.setHeadingLevel(heading);
        block.setBottomMargin(points * 0.4);
        if (newPage)
            block.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCharFormat chars;
        chars.setFontFamilies({ QStringLiteral("Liberation Serif") });
        chars.setFontPointSize(points);
        chars.setFontWeight(bold ? QFont::Bold : QFont::Normal);
        chars.setFontItalic(italic);
        if (m_first)
            m_cursor.setBlockFormat(block);
        else
            m_cursor.insertBlock(block);
        m_first = false;
        m_cursor.setCharFormat(chars);
        m_cursor.insertText(text);
    }

    // Held as JPEG until the document is written, not as pixels: a
    // thousand places' photos would otherwise take gigabytes. Qt's writer
    // stores an image of quality below 100 as JPEG, otherwise as PNG.
    void image(const QImage& image, QSizeF printedMm)
    {
        const QUrl name(QStringLiteral("report-image-%1").arg(++m_images));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(kJpegQuality);
        writer.write(image);
        m_document.addResource(QTextDocument::ImageResource, name, jpeg);
        paragraph(QString(), 2);
        QTextImageFormat format;
        format.setName(name.toString());
        format.setQuality(kJpegQuality);
        format.setWidth(printedMm.width() / 25.4 * kTextDpi);
        format.setHeight(printedMm.height() / 25.4 * kTextDpi);
        m_cursor.insertImage(format);
    }

private:
    QTextDocument& m_document;
    QTextCursor m_cursor;
    bool m_first = true;
    int m_images = 0;
};

// The excerpt with its marker drawn in, since the page cannot lay one over it.
QImage markedExcerpt(const MapExcerpt& excerpt)
{
    QImage marked = excerpt.image;
    QPainter painter(&marked);
    paintExcerptMarker(painter, excerpt.markerAt(), marked.width() / 40.0);
    return marked;
}

QImage drawnAtPrintSize(const ReportFigure& figure)
{
    if (figure.drawing.isEmpty())
        return figure.image;
    QImage image(QSize(mmToPixels(figure.printedMm.width(), kPrintDpi),
                     mmToPixels(figure.printedMm.height(), kPrintDpi)),
        QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QSvgRenderer(figure.drawing).render(&painter, QRectF(image.rect()));
    return image;
}

void odfFigures(OdfText& text, const ReportPlace& place, std::vector<ReportFigure>& figures,
    FigureLoader& loader, bool captions, ReportSummary& summary)
{
    for (ReportFigure& figure : figures) {
        loader.take(&figure);
        if (!figure.planned()) {
            text.paragraph(figure.note, 10, false, true);
            summary.noteMissing(place.name, figure.note);
            continue;
        }
        text.image(drawnAtPrintSize(figure), figure.printedMm);
        figure.image = QImage(); // the document holds its own copy
        figure.drawing.clear();
        if (captions && !figure.picture.caption.trimmed().isEmpty())
            text.paragraph(figure.picture.caption, 10, false, true);
        if (!figure.partly.isEmpty()) {
            text.paragraph(figure.partly, 10, false, true);
            summary.notePartial(place.name, figure.partly);
        }
        ++summary.pictures;
    }
}

void odfPlace(OdfText& text, const ReportPlace& place, const ReportOptions& options, ExcerptCutter& cutter,
    ReportSummary& summary)
{
    text.paragraph(place.name, 18, true, false, 1, true);
    if (options.coordinates && !placeCoordinatesText(place).isEmpty())
        text.paragraph(placeCoordinatesText(place), 10);
    if (options.descriptions) {
        for (const QString& paragraph : descriptionParagraphs(place.description))
            text.paragraph(paragraph, 11);
    }
    if (!options.excerpts)
        return;
    MapExcerpt excerpt = cutter.plan(place);
    cutter.cut(excerpt);
    if (excerpt.planned()) {
        text.image(markedExcerpt(excerpt), excerpt.printedMm);
        text.paragraph(excerpt.caption, 9, false, true);
        ++summary.excerpts;
    } else {
        text.paragraph(excerpt.note, 10, false, true);
        summary.noteMissing(place.name, excerpt.note);
    }
}

} // namespace

bool writeReportOdf(const QString& hostPath, const QList<ReportPlace>& places, const ReportOptions& options,
    const ReportProgress& progress)
{
    QTextDocument document;
    document.setMetaInformation(QTextDocument::DocumentTitle, reportTitle());
    OdfText text(document);
    text.paragraph(reportTitle(), 28, true, false, 1);
    text.paragraph(reportDateLine(), 14);
    text.paragraph(placeCountLine(int(places.size())), 14);
    text.paragraph(QStringLiteral("Contents"), 18, true, false, 1, true);
    for (const ReportPlace& place : places)
        text.paragraph(place.name, 11);
    ExcerptCutter cutter;
    PlacedFigures figures
        = options.pictures ? planFigures(places, QSizeF(kColumnMm, kPictureHeightMm)) : PlacedFigures();
    FigureLoader loader(writingOrder(figures));
    for (qsizetype i = 0; i < places.size(); ++i) {
        if (!progress.next(int(i)))
            return false;
        odfPlace(text, places[i], options, cutter, *progress.summary);
        if (options.pictures)
            odfFigures(text, places[i], figures[size_t(i)], loader, options.captions, *progress.summary);
    }
    progress.summary->places = int(places.size());
    // Composed in memory first: the writer closes its device when done.
    QBuffer composed;
    composed.open(QIODevice::WriteOnly);
    QTextDocumentWriter writer(&composed, QByteArrayLiteral("odf"));
    QFile file(hostPath);
    if (!writer.write(&document) || !file.open(QIODevice::WriteOnly)
        || file.write(composed.data()) != composed.data().size() || !file.flush())
        throw platform::AppError(
            QStringLiteral("The report cannot be written to \"%1\": %2").arg(hostPath, file.errorString()));
    return true;
}

} // namespace corvane
