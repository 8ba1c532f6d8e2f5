#pragma once
// Scan-like map sheets for the benchmarks, written strip by strip with
// libjpeg so that even a 20000 x 14000 sheet needs only a strip in memory
// (a progressive sheet still needs libjpeg's coefficient buffer while it is
// written). What a 600 dpi scan of an engraved plate has: paper grain and
// texture, a dense net of fine lines, lettering. At quality 88 a 7000 x 5000
// sheet takes about 12 MB, as the users' scans do.

#include <QColor>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QString>

#include <cstdio>
#include <jpeglib.h>

#include <cmath>

namespace bench {

struct ScanKind {
    QSize size;
    bool progressive = false;
    bool chroma444 = false;
    int quality = 88;
};

namespace scan {

inline quint32 hash(quint32 x, quint32 y, quint32 seed)
{
    quint32 h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

// Paper texture: smooth blotches on a 97-pixel grid, -1 .. 1.
inline double blotch(int x, int y)
{
    const int cell = 97;
    const int cx = x / cell, cy = y / cell;
    const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
    const auto v
        = [](int i, int j) { return double(hash(quint32(i), quint32(j), 3) & 0xffff) / 32768.0 - 1; };
    const double top = v(cx, cy) * (1 - fx) + v(cx + 1, cy) * fx;
    const double bottom = v(cx, cy + 1) * (1 - fx) + v(cx + 1, cy + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

constexpr int kCell = 400; // items are placed per cell, so any strip can find its own
constexpr int kMargin = 140; // how far an item reaches beyond its cell

// The engraving of one cell: coastline-like wandering lines, hachures and
// lettering, always the same for the same cell.
inline void drawCell(QPainter& p, int cx, int cy)
{
    QRandomGenerator random(hash(quint32(cx), quint32(cy), 11));
    const QPointF origin(cx * kCell, cy * kCell);
    for (int i = 0; i < 14; ++i) {
        p.setPen(QPen(QColor(50, 35, 25, 220), 0.8 + random.bounded(2.0)));
        QPointF at = origin + QPointF(random.bounded(double(kCell)), random.bounded(double(kCell)));
        QPainterPath path(at);
        for (int k = 0; k < 10; ++k)
            path.lineTo(at += QPointF(random.bounded(28.0) - 14, random.bounded(28.0) - 14));
        p.drawPath(path);
    }
    p.setPen(QPen(QColor(70, 50, 40, 160), 0.7));
    const QPointF hatch = origin + QPointF(random.bounded(double(kCell)), random.bounded(double(kCell)));
    for (int k = 0; k < 18; ++k)
        p.drawLine(hatch + QPointF(k * 3.5, 0), hatch + QPointF(k * 3.5 + 10, 24));
    static const char* const names[] = { "Hastings", "Rye", "Winchelsea", "Bexhill", "Pevensey", "Hailsham" };
    QFont font(QStringLiteral("DejaVu Serif"));
    for (int i = 0; i < 4; ++i) {
        font.setPixelSize(10 + int(random.bounded(26)));
        font.setItalic(random.bounded(2) == 1);
        p.setFont(font);
        p.setPen(QColor(30, 20, 15));
        p.drawText(origin + QPointF(random.bounded(double(kCell)), random.bounded(double(kCell))),
            QString::fromLatin1(names[random.bounded(6)]));
    }
    // A coloured county border now and then, as hand-coloured plates have.
    if (random.bounded(3) == 0) {
        p.setPen(QPen(QColor(200, 60, 60, 120), 6));
        p.drawLine(origin, origin + QPointF(kCell, random.bounded(double(kCell))));
    }
}

// Rows top .. top + strip.height() of the sheet.
inline void drawStrip(QImage& strip, int top, QSize sheet)
{
    for (int y = 0; y < strip.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
        const int sy = top + y;
        for (int x = 0; x < strip.width(); ++x) {
            const int grain = int(hash(quint32(x), quint32(sy), 1) % 29) - 14;
            const int paper = int(10 * blotch(x, sy));
            line[x] = qRgb(qBound(0, 226 + paper + grain / 2, 255), qBound(0, 212 + paper + grain, 255),
                qBound(0, 178 + paper + grain, 255));
        }
    }
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(0, -top);
    const int firstRow = qMax(0, (top - kMargin) / kCell);
    const int lastRow = (top + strip.height() + kMargin) / kCell;
    for (int cy = firstRow; cy <= lastRow; ++cy)
        for (int cx = 0; cx * kCell < sheet.width(); ++cx)
            drawCell(p, cx, cy);
}

} // namespace scan

// Writes the sheet; false when the file cannot be written.
inline bool writeScanSheet(const QString& path, const ScanKind& kind)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(kind.size.width());
    cinfo.image_height = JDIMENSION(kind.size.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kind.quality, TRUE);
    if (kind.chroma444)
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    if (kind.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    constexpr int kStrip = 64;
    QImage strip(kind.size.width(), kStrip, QImage::Format_RGB32);
    QByteArray rgb(kind.size.width() * 3, Qt::Uninitialized);
    for (int top = 0; top < kind.size.height(); top += kStrip) {
        scan::drawStrip(strip, top, kind.size);
        const int rows = qMin(kStrip, kind.size.height() - top);
        for (int y = 0; y < rows; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(strip.constScanLine(y));
            auto* out = reinterpret_cast<uchar*>(rgb.data());
            for (int x = 0; x < kind.size.width(); ++x) {
                *out++ = uchar(qRed(in[x]));
                *out++ = uchar(qGreen(in[x]));
                *out++ = uchar(qBlue(in[x]));
            }
            JSAMPROW row = reinterpret_cast<JSAMPROW>(rgb.data());
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

} // namespace bench
