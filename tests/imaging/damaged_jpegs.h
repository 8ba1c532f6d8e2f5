#pragma once
// JPEG files as users meet them when something went wrong: cut short, with
// stray bytes, with a header that lies, or of a kind few programs write
// (components in separate scans, CMYK with odd sampling, 12-bit). Made with
// libjpeg's own encoder so that every scan layout is possible.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QRandomGenerator>
#include <QSize>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace samples {

enum class Layout {
    Baseline, // one interleaved scan
    Progressive, // libjpeg's standard progression
    SeparateScans, // sequential, one scan per component
};

struct Options {
    Layout layout = Layout::Baseline;
    bool cmyk = false;
    int lumaH = 2, lumaV = 2; // sampling of the first component; the others take 1 x 1
    int quality = 85;
};

// A scan-like picture: a colour with grain, so that sizes are like a real scan's.
inline QImage grainy(QSize size, QColor colour, quint32 seed = 1)
{
    QImage image(size, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const int grain = int(random.bounded(48)) - 24;
            line[3 * x] = uchar(qBound(0, colour.red() + grain, 255));
            line[3 * x + 1] = uchar(qBound(0, colour.green() + grain, 255));
            line[3 * x + 2] = uchar(qBound(0, colour.blue() + grain, 255));
        }
    }
    return image;
}

inline QByteArray encode(const QImage& picture, const Options& o = {})
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct c {};
    jpeg_error_mgr err {};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(rgb.width());
    c.image_height = JDIMENSION(rgb.height());
    c.input_components = o.cmyk ? 4 : 3;
    c.in_color_space = o.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    c.comp_info[0].h_samp_factor = o.lumaH;
    c.comp_info[0].v_samp_factor = o.lumaV;
    for (int i = 1; i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    std::vector<jpeg_scan_info> scans;
    if (o.layout == Layout::Progressive) {
        jpeg_simple_progression(&c);
    } else if (o.layout == Layout::SeparateScans) {
        for (int i = 0; i < c.num_components; ++i)
            scans.push_back({ 1, { i, 0, 0, 0 }, 0, 63, 0, 0 });
        c.scan_info = scans.data();
        c.num_scans = int(scans.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<uchar> row(size_t(rgb.width()) * 4);
    while (c.next_scanline < c.image_height) {
        const uchar* source = rgb.constScanLine(int(c.next_scanline));
        JSAMPROW line = const_cast<uchar*>(source);
        if (o.cmyk) { // inks of the colour, stored inverted as Adobe does
            for (int x = 0; x < rgb.width(); ++x) {
                row[4 * x] = source[3 * x];
                row[4 * x + 1] = source[3 * x + 1];
                row[4 * x + 2] = source[3 * x + 2];
                row[4 * x + 3] = 255;
            }
            line = row.data();
        }
        jpeg_write_scanlines(&c, &line, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    free(out);
    return bytes;
}

// Offset of the first marker `code` (0xC0 for SOF0) after the start marker.
inline qsizetype markerAt(const QByteArray& jpeg, uchar code)
{
    for (qsizetype i = 2; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) == code)
            return i;
    return -1;
}

// The start-of-frame says width x height; the data stay as they were.
inline QByteArray withSize(QByteArray jpeg, int width, int height)
{
    for (const uchar sof : { 0xC0, 0xC1, 0xC2 }) {
        const qsizetype i = markerAt(jpeg, sof);
        if (i < 0)
            continue;
        jpeg[i + 5] = char(height >> 8);
        jpeg[i + 6] = char(height & 0xFF);
        jpeg[i + 7] = char(width >> 8);
        jpeg[i + 8] = char(width & 0xFF);
        break;
    }
    return jpeg;
}

// A baseline file relabelled as another process (SOF1 at 12 bits, or SOF3
// lossless): the header of a kind of JPEG that the decoder does not do.
inline QByteArray asProcess(QByteArray jpeg, uchar sof, int precision)
{
    const qsizetype i = markerAt(jpeg, 0xC0);
    jpeg[i + 1] = char(sof);
    jpeg[i + 4] = char(precision);
    return jpeg;
}

inline QByteArray inserted(QByteArray jpeg, qsizetype at, const QByteArray& bytes)
{
    return jpeg.insert(at, bytes);
}

inline QByteArray markersOnly()
{
    return QByteArray::fromHex("FFD8FFD9");
}

} // namespace samples
