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

void loadFigure(ReportFigure& figure)
{
    if (!figure.planned())
        return;
    try {
        figure.drawing = platform::pictureDrawing(figure.picture.windowsPath);
        if (!figure.drawing.isEmpty())
            return;
        const QSize box(mmToPixels(figure.printedMm.width(), kPrintDpi),
            mmToPixels(figure.printedMm.height(), kPrintDpi));
        figure.image = platform::loadPictureFile(figure.picture.windowsPath, box.expandedTo(QSize(1, 1)))
                           .convertToFormat(QImage::Format_RGB32);
    } catch (const platform::AppError& e) {
        figure.note = e.message();
    }
}

} // namespace corvane
