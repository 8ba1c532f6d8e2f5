#pragma once
// Windows metafiles as Office, icon and drawing tools write them, beside the
// drawings of the kit: a header-less file that names its area only by its
// window, a window in units other than the placeable header's bounds,
// bitmaps of 8 bits whose colour count is left 0 and of 32 bits whose
// fourth byte is 0, an icon drawn as a mask ANDed onto the page and its
// colours XORed over it, bitmaps whose window or destination runs
// backwards, a stroke written as a polygon of two points, a rectangle with
// rounded corners, and a drawing that lies wholly outside the frame it
// declares. Each shows a 400 x 300 picture.

#include "kit/picture_samples.h"

#include <functional>

namespace pictures {

constexpr quint32 kSrcCopy = 0x00CC0020;
constexpr quint32 kSrcAnd = 0x008800C6;
constexpr quint32 kSrcInvert = 0x00660046;

// A device-independent bitmap of 1, 8, 24 or 32 bits: `pixel` gives the
// palette index (or, at 24 and 32 bits, the colour) at x, y counted from the
// top. The
// colour count is written only when countColours is set; 0 means all.
inline QByteArray dib(int width, int height, int bits, const QList<QRgb>& palette, bool countColours,
    const std::function<quint32(int, int)>& pixel)
{
    QByteArray out;
    put32(out, 40);
    put32(out, quint32(width));
    put32(out, quint32(height));
    put16(out, 1);
    put16(out, quint16(bits));
    for (quint32 v : { 0u, 0u, 2835u, 2835u })
        put32(out, v);
    put32(out, countColours ? quint32(palette.size()) : 0u);
    put32(out, 0);
    for (const QRgb c : palette)
        put32(out, quint32(qBlue(c) | qGreen(c) << 8 | qRed(c) << 16));
    for (int y = height - 1; y >= 0; --y) { // bottom-up
        QByteArray row(((width * bits + 31) / 32) * 4, '\0');
        for (int x = 0; x < width; ++x) {
            const quint32 v = pixel(x, y);
            if (bits >= 24) {
                const int at = x * bits / 8; // 32 bits: the fourth byte left 0
                row[at] = char(qBlue(v));
                row[at + 1] = char(qGreen(v));
                row[at + 2] = char(qRed(v));
            } else if (bits == 8) {
                row[x] = char(v);
            } else if (v) {
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out += row;
    }
    return out;
}

// DIBSTRETCHBLT: the whole of a bitmap of srcW x srcH onto the destination.
inline void dibStretchBlt(
    WmfWriter& wmf, quint32 rop, QSize source, QRect destination, const QByteArray& bitmap)
{
    wmf.record(0x0B41,
        WmfWriter::words({ int(rop & 0xFFFF), int(rop >> 16), source.height(), source.width(), 0, 0,
            destination.height(), destination.width(), destination.y(), destination.x() })
            + bitmap);
}

// STRETCHDIB with colours from the bitmap's own palette.
inline void stretchDib(WmfWriter& wmf, QSize source, QRect destination, const QByteArray& bitmap)
{
    wmf.record(0x0F43,
        WmfWriter::words({ int(kSrcCopy & 0xFFFF), int(kSrcCopy >> 16), 0, source.height(), source.width(), 0,
            0, destination.height(), destination.width(), destination.y(), destination.x() })
            + bitmap);
}

// A window of the given origin and extent, in the anisotropic mode.
inline void window(WmfWriter& wmf, QPoint origin, QSize extent)
{
    wmf.record(0x0103, WmfWriter::words({ 8 }));
    wmf.record(0x020B, WmfWriter::words({ origin.y(), origin.x() }));
    wmf.record(0x020C, WmfWriter::words({ extent.height(), extent.width() }));
}

// A file without its placeable header: the frame only its window says.
inline QByteArray headerless(const WmfWriter& wmf)
{
    return wmf.file(400, 300).mid(22);
}

// The placeable header's bounds moved to `bounds`, its checksum kept right.
inline QByteArray withBounds(QByteArray placeable, QRect bounds)
{
    const int corners[] = { bounds.left(), bounds.top(), bounds.right() + 1, bounds.bottom() + 1 };
    for (int i = 0; i < 4; ++i)
        qToLittleEndian(qint16(corners[i]), placeable.data() + 6 + 2 * i);
    quint16 checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= qFromLittleEndian<quint16>(placeable.constData() + i);
    qToLittleEndian(checksum, placeable.data() + 20);
    return placeable;
}

inline QList<MetafileSample> toolWrittenMetafiles()
{
    const QRgb red = qRgb(220, 0, 0);
    const QRgb blue = qRgb(0, 0, 220);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb black = qRgb(0, 0, 0);
    const auto halves = [](QRgb top, QRgb bottom) {
        return QList<Probe> { { { 0.05, 0.05, 0.9, 0.4 }, top, 0.95 },
            { { 0.05, 0.55, 0.9, 0.4 }, bottom, 0.95 } };
    };
    QList<MetafileSample> samples;
    {
        QList<QRgb> greys;
        for (int i = 0; i < 256; ++i)
            greys << qRgb(i, i, i);
        greys[10] = red;
        greys[20] = blue;
        const QByteArray bitmap = dib(40, 30, 8, greys, false, [](int, int y) { return y < 15 ? 10u : 20u; });
        WmfWriter wmf;
        wmf.window(400, 300);
        stretchDib(wmf, { 40, 30 }, { 0, 0, 400, 300 }, bitmap);
        samples << MetafileSample { QStringLiteral("PALETTE.WMF"), wmf.file(400, 300), true,
            halves(red, blue) };
    }
    {
        WmfWriter wmf;
        window(wmf, { 0, 0 }, { 400, 300 });
        wmf.select(wmf.brush(0, red));
        wmf.select(wmf.pen(5, 0, black));
        wmf.rectangle({ 100, 75, 200, 150 });
        samples << MetafileSample { QStringLiteral("NOHEADER.WMF"), headerless(wmf), true,
            { { { 0.3, 0.3, 0.4, 0.4 }, red, 0.95 }, { { 0.0, 0.0, 0.2, 0.2 }, white, 0.95 },
                { { 0.8, 0.8, 0.2, 0.2 }, white, 0.95 } } };
    }
    {
        // Bounds about the origin, a window of twice as many units from it.
        WmfWriter wmf;
        window(wmf, { 0, 0 }, { 800, 600 });
        wmf.select(wmf.pen(5, 0, black));
        wmf.select(wmf.brush(0, red));
        wmf.rectangle({ 0, 0, 400, 600 });
        wmf.select(wmf.brush(0, blue));
        wmf.rectangle({ 400, 0, 400, 600 });
        samples << MetafileSample { QStringLiteral("WINDOW.WMF"),
            withBounds(wmf.file(400, 300), { -200, -150, 400, 300 }), true,
            { { { 0.05, 0.05, 0.4, 0.9 }, red, 0.95 }, { { 0.55, 0.05, 0.4, 0.9 }, blue, 0.95 } } };
    }
    {
        // White where the mask keeps the page, black where the icon goes;
        // the colours black where the page shows through.
        const QByteArray mask
            = dib(8, 8, 1, { black, white }, true, [](int x, int) { return x < 4 ? 1u : 0u; });
        const QByteArray colours = dib(8, 8, 24, {}, true, [=](int x, int) { return x < 4 ? black : red; });
        WmfWriter wmf;
        wmf.window(400, 300);
        wmf.select(wmf.brush(0, blue));
        wmf.select(wmf.pen(5, 0, black));
        wmf.rectangle({ 0, 0, 400, 300 });
        dibStretchBlt(wmf, kSrcAnd, { 8, 8 }, { 0, 0, 400, 300 }, mask);
        dibStretchBlt(wmf, kSrcInvert, { 8, 8 }, { 0, 0, 400, 300 }, colours);
        samples << MetafileSample { QStringLiteral("ICON.WMF"), wmf.file(400, 300), true,
            { { { 0.05, 0.05, 0.4, 0.9 }, blue, 0.95 }, { { 0.55, 0.05, 0.4, 0.9 }, red, 0.95 } } };
    }
    const QByteArray upright = dib(4, 4, 24, {}, true, [=](int, int y) { return y < 2 ? red : blue; });
    {
        // The window's extent and the destination's height both negative:
        // upright on the page, as icon tools write their bitmaps.
        WmfWriter wmf;
        window(wmf, { 0, 0 }, { 400, -300 });
        dibStretchBlt(wmf, kSrcCopy, { 4, 4 }, { 0, 0, 400, -300 }, upright);
        samples << MetafileSample { QStringLiteral("NEGATIVE.WMF"), headerless(wmf), true,
            halves(red, blue) };
    }
    {
        // 32 bits a pixel, the fourth byte 0 as most programs leave it.
        WmfWriter wmf;
        wmf.window(400, 300);
        dibStretchBlt(wmf, kSrcCopy, { 4, 4 }, { 0, 0, 400, 300 },
            dib(4, 4, 32, {}, true, [=](int, int y) { return y < 2 ? red : blue; }));
        samples << MetafileSample { QStringLiteral("BITS32.WMF"), wmf.file(400, 300), true,
            halves(red, blue) };
    }
    {
        // Only the destination's height negative: upside down.
        WmfWriter wmf;
        wmf.window(400, 300);
        dibStretchBlt(wmf, kSrcCopy, { 4, 4 }, { 0, 300, 400, -300 }, upright);
        samples << MetafileSample { QStringLiteral("FLIPPED.WMF"), wmf.file(400, 300), true,
            halves(blue, red) };
    }
    {
        WmfWriter wmf;
        wmf.window(400, 300);
        wmf.select(wmf.pen(0, 40, blue));
        wmf.polygon({ { 50, 150 }, { 350, 150 } });
        samples << MetafileSample { QStringLiteral("STROKE.WMF"), wmf.file(400, 300), true,
            { { { 0.2, 0.46, 0.6, 0.08 }, blue, 0.95 }, { { 0.2, 0.1, 0.6, 0.2 }, white, 0.95 } } };
    }
    {
        WmfWriter wmf;
        wmf.window(400, 300);
        wmf.select(wmf.brush(0, red));
        wmf.select(wmf.pen(5, 0, black));
        wmf.record(0x061C, WmfWriter::words({ 200, 200, 300, 400, 0, 0 })); // ROUNDRECT
        samples << MetafileSample { QStringLiteral("ROUNDED.WMF"), wmf.file(400, 300), true,
            { { { 0.3, 0.3, 0.4, 0.4 }, red, 0.95 }, { { 0.0, 0.0, 0.06, 0.06 }, white, 0.95 },
                { { 0.94, 0.92, 0.06, 0.08 }, white, 0.95 } } };
    }
    {
        // Drawn beside its window: shown as drawn rather than as a blank page.
        WmfWriter wmf;
        wmf.window(400, 300);
        wmf.select(wmf.brush(0, red));
        wmf.select(wmf.pen(5, 0, black));
        wmf.rectangle({ 1000, 0, 400, 300 });
        samples << MetafileSample { QStringLiteral("OUTSIDE.WMF"), wmf.file(400, 300), true,
            { { { 0.1, 0.1, 0.8, 0.8 }, red, 0.95 } } };
    }
    return samples;
}

} // namespace pictures
