#include "output/report_excerpt.h"

#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QPainter>

#include <algorithm>

namespace corvane {

namespace {

const QSizeF kExcerptMm(100, 70);

// Tiles of nearby places are read again; a few megabytes keep them.
constexpr qint64 kTileMemory = qint64(16) << 20;

QSize excerptPixels()
{
    return { mmToPixels(kExcerptMm.width(), kScanDpi), mmToPixels(kExcerptMm.height(), kScanDpi) };
}

// A crop of at most `size` centred on `pin`, kept inside the sheet.
QRect cropAround(QPoint pin, QSize size, QSize native)
{
    const QSize cut = size.boundedTo(native);
    const int left = std::clamp(pin.x() - cut.width() / 2, 0, native.width() - cut.width());
    const int top = std::clamp(pin.y() - cut.height() / 2, 0, native.height() - cut.height());
    return { QPoint(left, top), cut };
}

QString captionOf(const ReportPlace& place)
{
    return place.sheetTitle.isEmpty() ? QStringLiteral("Sheet %1").arg(place.sheetId)
                                      : QStringLiteral("%1 (sheet %2)").arg(place.sheetTitle, place.sheetId);
}

platform::TilePyramid::Options pyramidOptions()
{
    platform::TilePyramid::Options options;
    options.tileCacheBytes = kTileMemory;
    return options;
}

} // namespace

QPointF MapExcerpt::markerAt() const
{
    const double scale = image.isNull() ? 1.0 : double(image.width()) / crop.width();
    return QPointF(pin - crop.topLeft()) * scale;
}

ExcerptCutter::ExcerptCutter()
    : m_pyramid(std::make_unique<platform::TilePyramid>(pyramidOptions()))
{
}

ExcerptCutter::~ExcerptCutter() = default;

MapExcerpt ExcerptCutter::plan(const ReportPlace& place) const
{
    MapExcerpt excerpt;
    if (place.sheetId.isEmpty()) {
        excerpt.note = noPinNote();
        return excerpt;
    }
    excerpt.sheetPath = place.sheetPath;
    excerpt.caption = captionOf(place);
    excerpt.pin = place.pin;
    const platform::PyramidInfo info = m_pyramid->info(place.sheetPath);
    const QSize native = info.isValid() ? info.native : platform::pictureSize(place.sheetPath);
    if (!native.isValid() || native.isEmpty()) {
        excerpt.note = missingSheetNote(place.sheetId);
        return excerpt;
    }
    if (place.pin.x() >= native.width() || place.pin.y() >= native.height()) {
        excerpt.note = QStringLiteral("The pin lies outside the picture of sheet %1.").arg(place.sheetId);
        return excerpt;
    }
    excerpt.crop = cropAround(place.pin, excerptPixels(), native);
    excerpt.printedMm
        = QSizeF(pixelsToMm(excerpt.crop.width(), kScanDpi), pixelsToMm(excerpt.crop.height(), kScanDpi));
    return excerpt;
}

void ExcerptCutter::cut(MapExcerpt& excerpt)
{
    if (!excerpt.planned())
        return;
    excerpt.image = fromPyramid(excerpt);
    if (!excerpt.image.isNull())
        return;
    try {
        excerpt.image = fromSheet(excerpt);
    } catch (const platform::AppError& e) {
        excerpt.note = e.message();
    }
}

QImage ExcerptCutter::fromPyramid(const MapExcerpt& excerpt) const
{
    const platform::PyramidInfo info = m_pyramid->info(excerpt.sheetPath);
    if (!info.isValid() || !QRect(QPoint(), info.native).contains(excerpt.crop))
        return {};
    QImage out(excerpt.crop.size(), QImage::Format_RGB32);
    QPainter painter(&out);
    const int size = info.tileSize;
    for (int row = excerpt.crop.top() / size; row <= excerpt.crop.bottom() / size; ++row) {
        for (int column = excerpt.crop.left() / size; column <= excerpt.crop.right() / size; ++column) {
            const QImage tile = m_pyramid->tile(excerpt.sheetPath, 0, column, row);
            if (tile.isNull())
                return {}; // a damaged pyramid is thrown away: the sheet itself serves
            painter.drawImage(QPoint(column * size, row * size) - excerpt.crop.topLeft(), tile);
        }
    }
    return out;
}

QImage ExcerptCutter::fromSheet(const MapExcerpt& excerpt)
{
    if (m_decodedPath != excerpt.sheetPath) {
        m_decoded = QImage(); // one sheet in memory at a time
        m_decodedPath.clear();
        const QString host = platform::hostPathOf(excerpt.sheetPath);
        platform::PictureLevels levels
            = platform::decodeLevels(excerpt.sheetPath, host, platform::pictureSize(excerpt.sheetPath));
        m_decoded = levels.levels.value(0);
        m_decodedNative = levels.native;
        m_decodedPath = excerpt.sheetPath;
    }
    if (m_decoded.isNull() || m_decodedNative.isEmpty())
        return {};
    // A sheet too large for memory comes decoded at a reduced size.
    const double scale = double(m_decoded.width()) / m_decodedNative.width();
    const QRect scaled(QPoint(int(excerpt.crop.left() * scale), int(excerpt.crop.top() * scale)),
        QSize(
            std::max(1, int(excerpt.crop.width() * scale)), std::max(1, int(excerpt.crop.height() * scale))));
    return m_decoded.copy(scaled).convertToFormat(QImage::Format_RGB32);
}

void paintExcerptMarker(QPainter& painter, QPointF centre, double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, radius * 0.7));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(QPen(QColor(200, 20, 20), radius * 0.35));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 20, 20));
    painter.drawEllipse(centre, radius * 0.25, radius * 0.25);
    painter.restore();
}

} // namespace corvane
