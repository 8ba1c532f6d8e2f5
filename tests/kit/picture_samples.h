#pragma once
// Picture files of every kind a user attaches, made by the tests
// themselves: JPEG with an EXIF orientation, bitmaps in the variants Qt does
// not write (4 and 16 bits, RLE, top-down rows, OS/2 headers), and small
// Windows and enhanced metafiles assembled record by record.
//
// Bitmaps show the quadrant pattern: top left green, the rest of the left
// half red, the right half blue. Metafiles are red with the lower right
// quarter blue, 400 x 300 pixels.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QtEndian>

#include <turbojpeg.h>

namespace pictures {

inline void put16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

inline void put32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

inline const QColor kGreen(0, 200, 0);
inline const QColor kRed(220, 0, 0);
inline const QColor kBlue(0, 0, 220);

// The colour index of the quadrant pattern at (x, y), y counted from the top.
inline int quadrant(int x, int y, int width, int height)
{
    if (x >= width / 2)
        return 2; // blue
    return y < height / 2 ? 0 : 1; // green, red
}

inline QImage quadrantImage(int width, int height)
{
    const QColor colours[] = { kGreen, kRed, kBlue };
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, colours[quadrant(x, y, width, height)]);
    return image;
}

enum class Bmp { Bits4, Bits16, Rle8, Rle4, TopDown24, Os2Bits24 };

// One pixel of the pattern in the file's own encoding.
inline void putPixel(QByteArray& row, int index, int bits)
{
    const QColor colours[] = { kGreen, kRed, kBlue };
    const QColor c = colours[index];
    if (bits == 16) // 5-5-5
        put16(row, quint16(((c.red() >> 3) << 10) | ((c.green() >> 3) << 5) | (c.blue() >> 3)));
    else
        row.append(char(c.blue())).append(char(c.green())).append(char(c.red()));
}

// The pixel rows as stored: bottom-up unless topDown, each padded to 32 bits.
inline QByteArray bitmapRows(Bmp kind, int width, int height)
{
    const bool topDown = kind == Bmp::TopDown24;
    QByteArray data;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        QByteArray row;
        if (kind == Bmp::Rle8 || kind == Bmp::Rle4) {
            const auto nibbles
                = [kind](int index) { return kind == Bmp::Rle4 ? (index << 4) | index : index; };
            row.append(char(width / 2)).append(char(nibbles(quadrant(0, y, width, height))));
            row.append(char(width / 2)).append(char(nibbles(2)));
            row.append(char(0)).append(char(i == height - 1 ? 1 : 0)); // end of line / of picture
            data += row;
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const int index = quadrant(x, y, width, height);
            if (kind == Bmp::Bits4) {
                if (x % 2 == 0)
                    row.append(char(index << 4));
                else
                    row[row.size() - 1] = char(row.at(row.size() - 1) | index);
            } else {
                putPixel(row, index, kind == Bmp::Bits16 ? 16 : 24);
            }
        }
        while (row.size() % 4)
            row.append(char(0));
        data += row;
    }
    return data;
}

// A bitmap file of that variant, width x height (width even, below 256).
inline QByteArray bitmapFile(Bmp kind, int width, int height)
{
    const bool os2 = kind == Bmp::Os2Bits24;
    const bool indexed = kind == Bmp::Bits4 || kind == Bmp::Rle8 || kind == Bmp::Rle4;
    const int bits = kind == Bmp::Bits4 || kind == Bmp::Rle4 ? 4
        : kind == Bmp::Rle8                                  ? 8
        : kind == Bmp::Bits16                                ? 16
                                                             : 24;
    const quint32 compression = kind == Bmp::Rle8 ? 1 : kind == Bmp::Rle4 ? 2 : 0;
    QByteArray palette;
    if (indexed) {
        const int entries = 1 << bits;
        for (int i = 0; i < entries; ++i) {
            const QColor c = i == 0 ? kGreen : i == 1 ? kRed : i == 2 ? kBlue : QColor(Qt::black);
            palette.append(char(c.blue())).append(char(c.green())).append(char(c.red())).append(char(0));
        }
    }
    const QByteArray data = bitmapRows(kind, width, height);
    const quint32 infoSize = os2 ? 12 : 40;
    const quint32 offset = 14 + infoSize + quint32(palette.size());
    QByteArray file("BM");
    put32(file, offset + quint32(data.size()));
    put32(file, 0);
    put32(file, offset);
    put32(file, infoSize);
    if (os2) {
        put16(file, quint16(width));
        put16(file, quint16(height));
        put16(file, 1);
        put16(file, quint16(bits));
    } else {
        put32(file, quint32(width));
        put32(file, quint32(kind == Bmp::TopDown24 ? -height : height));
        put16(file, 1);
        put16(file, quint16(bits));
        put32(file, compression);
        put32(file, quint32(data.size()));
        put32(file, 2835);
        put32(file, 2835);
        put32(file, indexed ? quint32(1 << bits) : 0);
        put32(file, 0);
    }
    return file + palette + data;
}

// A placeable Windows metafile: 400 x 300 units at 96 an inch, red with the
// lower right quarter blue, drawn without an outline.
inline QByteArray windowsMetafile(int inch = 96, int width = 400, int height = 300)
{
    QByteArray records;
    const auto record = [&records](quint16 function, const QByteArray& params) {
        put32(records, quint32(3 + params.size() / 2));
        put16(records, function);
        records += params;
    };
    const auto words = [](std::initializer_list<int> values) {
        QByteArray params;
        for (int v : values)
            put16(params, quint16(v));
        return params;
    };
    const auto brush = [&](quint32 colourRef) {
        QByteArray params;
        put16(params, 0); // solid
        put32(params, colourRef);
        put16(params, 0);
        record(0x02FC, params);
    };
    record(0x020B, words({ 0, 0 })); // window origin (y, x)
    record(0x020C, words({ height, width })); // window extent (y, x)
    brush(0x000000DC); // red, as 0x00BBGGRR
    record(0x012D, words({ 0 }));
    QByteArray pen;
    put16(pen, 5); // no pen
    put32(pen, 0);
    put32(pen, 0);
    record(0x02FA, pen);
    record(0x012D, words({ 1 }));
    record(0x041B, words({ height, width, 0, 0 })); // rectangle (bottom, right, top, left)
    brush(0x00DC0000); // blue
    record(0x012D, words({ 2 }));
    record(0x041B, words({ height, width, height / 2, width / 2 }));
    put32(records, 3); // end of file
    put16(records, 0);

    QByteArray header;
    put16(header, 1); // in memory
    put16(header, 9);
    put16(header, 0x0300);
    put32(header, quint32((18 + records.size()) / 2));
    put16(header, 3); // objects
    put32(header, 8); // largest record, in words
    put16(header, 0);

    QByteArray placeable;
    put32(placeable, 0x9AC6CDD7u);
    put16(placeable, 0);
    for (int v : { 0, 0, width, height })
        put16(placeable, quint16(v));
    put16(placeable, quint16(inch));
    put32(placeable, 0);
    quint16 checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= qFromLittleEndian<quint16>(placeable.constData() + i);
    put16(placeable, checksum);
    return placeable + header + records;
}

// An enhanced metafile of the same drawing, 400 x 300 device pixels on a
// reference screen of 1024 x 768 pixels and 320 x 240 mm.
inline QByteArray enhancedMetafile(int width = 400, int height = 300)
{
    QList<QByteArray> records;
    const auto record = [&records](quint32 type, std::initializer_list<qint64> values) {
        QByteArray r;
        put32(r, type);
        put32(r, quint32(8 + 4 * values.size()));
        for (qint64 v : values)
            put32(r, quint32(v));
        records << r;
    };
    record(39, { 1, 0, 0x000000DC, 0 }); // brush 1: solid red
    record(37, { 1 });
    record(38, { 2, 5, 0, 0, 0 }); // pen 2: none
    record(37, { 2 });
    record(43, { 0, 0, width, height }); // rectangle
    record(39, { 3, 0, 0x00DC0000, 0 }); // brush 3: blue
    record(37, { 3 });
    record(43, { width / 2, height / 2, width, height });
    record(14, { 0, 16, 20 }); // end of file
    QByteArray body;
    for (const QByteArray& r : records)
        body += r;
    QByteArray header;
    put32(header, 1);
    put32(header, 88);
    for (qint64 v : { qint64(0), qint64(0), qint64(width - 1), qint64(height - 1) }) // bounds, inclusive
        put32(header, quint32(v));
    for (qint64 v :
        { qint64(0), qint64(0), qint64(width) * 3125 / 100, qint64(height) * 3125 / 100 }) // frame, 0.01 mm
        put32(header, quint32(v));
    put32(header, 0x464D4520u); // " EMF"
    put32(header, 0x10000);
    put32(header, quint32(88 + body.size()));
    put32(header, quint32(records.size() + 1));
    put16(header, 4); // handles
    put16(header, 0);
    for (quint32 v : { 0u, 0u, 0u, 1024u, 768u, 320u, 240u })
        put32(header, v);
    return header + body;
}

// A CMYK JPEG as prepress programs write it (Adobe's inverted inks): cyan
// 200 of 255, no other ink, which is (55, 255, 255) on screen.
inline QByteArray cmykJpeg(QSize size)
{
    QByteArray pixels(qsizetype(size.width()) * size.height() * 4, char(255));
    for (qsizetype i = 0; i < pixels.size(); i += 4)
        pixels[i] = char(255 - 200);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long length = 0;
    tjCompress2(tj, reinterpret_cast<const uchar*>(pixels.constData()), size.width(), 0, size.height(),
        TJPF_CMYK, &out, &length, TJSAMP_444, 90, 0);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(length));
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// JPEG bytes with an EXIF orientation tag placed right after the start marker.
inline QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    QByteArray tiff("II*\0", 4);
    put32(tiff, 8); // first directory
    put16(tiff, 1); // one entry
    put16(tiff, 0x0112);
    put16(tiff, 3); // SHORT
    put32(tiff, 1);
    put16(tiff, quint16(orientation));
    put16(tiff, 0);
    put32(tiff, 0); // no next directory
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xFF));
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

} // namespace pictures
