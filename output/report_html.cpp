// The report as a folder of web pages that any browser opens without a
// network: index.html lists the places, each place has a page of its own,
// and its map excerpt and pictures lie in "images" beside them (an enhanced
// metafile as its SVG drawing). Every text from the notebook is escaped; file
// names are made here from numbers, never from the user's texts.

#include "output/report_compose.h"
#include "output/report_excerpt.h"
#include "output/report_pictures.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

namespace corvane {

namespace {

constexpr double kColumnMm = 170;
constexpr double kPictureHeightMm = 90;

const char* const kStyle = "body{font-family:serif;max-width:48em;margin:2em auto;padding:0 1em}"
                           "figure{margin:1.5em 0}figcaption{font-style:italic;font-size:90%}"
                           "img{max-width:100%;height:auto}.note{font-style:italic;color:#5a3c1e}";

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString pageName(int index)
{
    return QStringLiteral("place-%1.html").arg(index + 1, 4, 10, QLatin1Char('0'));
}

QString page(const QString& title, const QString& body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<style>%2</style></head>\n<body>\n%3</body></html>\n")
        .arg(escaped(title), QLatin1String(kStyle), body);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        throw platform::AppError(
            QStringLiteral("The report cannot be written to \"%1\": %2").arg(path, file.errorString()));
}

void writeImage(const QString& path, const QImage& image)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(88);
    if (!writer.write(image))
        throw platform::AppError(
            QStringLiteral("The report cannot be written to \"%1\": %2").arg(path, writer.errorString()));
}

QString noteHtml(const QString& note)
{
    return QStringLiteral("<p class=\"note\">%1</p>\n").arg(escaped(note));
}

QString figureHtml(const QString& file, QSizeF printedMm, const QString& alt, const QString& caption)
{
    QString html = QStringLiteral("<figure><img src=\"images/%1\" alt=\"%2\" width=\"%3\">")
                       .arg(file, escaped(alt), QString::number(int(printedMm.width() / 25.4 * 96)));
    if (!caption.isEmpty())
        html += QStringLiteral("<figcaption>%1</figcaption>").arg(escaped(caption));
    return html + QStringLiteral("</figure>\n");
}

QString excerptHtml(
    const QString& folder, int index, const ReportPlace& place, ExcerptCutter& cutter, ReportSummary& summary)
{
    MapExcerpt excerpt = cutter.plan(place);
    cutter.cut(excerpt);
    if (!excerpt.planned()) {
        summary.noteMissing(place.name, excerpt.note);
        return noteHtml(excerpt.note);
    }
    QImage marked = excerpt.image;
    QPainter painter(&marked);
    paintExcerptMarker(painter, excerpt.markerAt(), marked.width() / 40.0);
    painter.end();
    const QString file = QStringLiteral("place-%1-map.jpg").arg(index + 1, 4, 10, QLatin1Char('0'));
    writeImage(folder + QStringLiteral("/images/") + file, marked);
    ++summary.excerpts;
    return figureHtml(file, excerpt.printedMm, excerpt.caption, excerpt.caption);
}

QString picturesHtml(const QString& folder, int index, const ReportPlace& place,
    std::vector<ReportFigure>& figures, FigureLoader& loader, bool captions, ReportSummary& summary)
{
    QString html;
    int number = 0;
    for (ReportFigure& figure : figures) {
        loader.take(&figure);
        if (!figure.planned()) {
            summary.noteMissing(place.name, figure.note);
            html += noteHtml(figure.note);
            continue;
        }
        const QString stem
            = QStringLiteral("place-%1-picture-%2").arg(index + 1, 4, 10, QLatin1Char('0')).arg(++number);
        const QString file
            = stem + (figure.drawing.isEmpty() ? QStringLiteral(".jpg") : QStringLiteral(".svg"));
        if (figure.drawing.isEmpty())
            writeImage(folder + QStringLiteral("/images/") + file, figure.image);
        else
            writeFile(folder + QStringLiteral("/images/") + file, figure.drawing);
        figure.image = QImage();
        figure.drawing.clear();
        html += figureHtml(
            file, figure.printedMm, figure.picture.fileName, captions ? figure.picture.caption : QString());
        if (!figure.partly.isEmpty()) {
            summary.notePartial(place.name, figure.partly);
            html += noteHtml(figure.partly);
        }
        ++summary.pictures;
    }
    return html;
}

// A place's page; its pictures, when asked for, come from the loader.
QString placeHtml(const QString& folder, int index, int count, const ReportPlace& place,
    const ReportOptions& options, ExcerptCutter& cutter, std::vector<ReportFigure>* figures,
    FigureLoader& loader, ReportSummary& summary)
{
    QString body = QStringLiteral("<p><a href=\"index.html\">Contents</a>");
    if (index > 0)
        body += QStringLiteral(" &middot; <a href=\"%1\">Previous</a>").arg(pageName(index - 1));
    if (index + 1 < count)
        body += QStringLiteral(" &middot; <a href=\"%1\">Next</a>").arg(pageName(index + 1));
    body += QStringLiteral("</p>\n<h1>%1</h1>\n").arg(escaped(place.name));
    if (options.coordinates && !placeCoordinatesText(place).isEmpty())
        body += QStringLiteral("<p>%1</p>\n").arg(escaped(placeCoordinatesText(place)));
    if (options.descriptions) {
        for (const QString& paragraph : descriptionParagraphs(place.description))
            body += QStringLiteral("<p>%1</p>\n").arg(escaped(paragraph));
    }
    if (options.excerpts)
        body += excerptHtml(folder, index, place, cutter, summary);
    if (figures)
        body += picturesHtml(folder, index, place, *figures, loader, options.captions, summary);
    return page(place.name, body);
}

} // namespace

bool writeReportHtml(const QString& folderHostPath, const QList<ReportPlace>& places,
    const ReportOptions& options, const ReportProgress& progress)
{
    if (!QDir().mkpath(folderHostPath + QStringLiteral("/images")))
        throw platform::AppError(QStringLiteral("The folder \"%1\" cannot be made.").arg(folderHostPath));
    ExcerptCutter cutter;
    QString index = QStringLiteral("<h1>%1</h1>\n<p>%2<br>%3</p>\n<h2>Contents</h2>\n<ol>\n")
                        .arg(escaped(reportTitle()), escaped(reportDateLine()),
                            escaped(placeCountLine(int(places.size()))));
    PlacedFigures figures
        = options.pictures ? planFigures(places, QSizeF(kColumnMm, kPictureHeightMm)) : PlacedFigures();
    FigureLoader loader(writingOrder(figures));
    for (qsizetype i = 0; i < places.size(); ++i) {
        if (!progress.next(int(i)))
            return false;
        const QString html = placeHtml(folderHostPath, int(i), int(places.size()), places[i], options, cutter,
            options.pictures ? &figures[size_t(i)] : nullptr, loader, *progress.summary);
        writeFile(folderHostPath + QLatin1Char('/') + pageName(int(i)), html.toUtf8());
        index += QStringLiteral("<li><a href=\"%1\">%2</a></li>\n")
                     .arg(pageName(int(i)), escaped(places[i].name));
    }
    index += QStringLiteral("</ol>\n");
    // The index last: a folder with an index is a finished report.
    writeFile(folderHostPath + QStringLiteral("/index.html"), page(reportTitle(), index).toUtf8());
    progress.summary->places = int(places.size());
    return true;
}

} // namespace corvane
