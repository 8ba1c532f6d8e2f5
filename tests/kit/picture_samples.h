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

#include <algorithm>

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

// A placeable Windows metafile around `records` (ending in the end-of-file
// record): width x height logical units at `inch` a inch, with the object
// count and largest record (in words) the header declares.
inline QByteArray placeableMetafile(
    const QByteArray& records, int width, int height, int inch, int objects, int largestWords)
{
    QByteArray header;
    put16(header, 1); // in memory
    put16(header, 9);
    put16(header, 0x0300);
    put32(header, quint32((18 + records.size()) / 2));
    put16(header, quint16(objects));
    put32(header, quint32(largestWords));
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

    return placeableMetafile(records, width, height, inch, 3, 8);
}

// A Windows metafile written record by record, as drawing programs write
// them: objects are created, selected and never deleted, so each takes the
// next slot of the object table. Coordinates are logical units of a window
// of the given extent.
class WmfWriter {
public:
    static QByteArray words(std::initializer_list<int> values)
    {
        QByteArray params;
        for (int v : values)
            put16(params, quint16(v));
        return params;
    }
    void record(quint16 function, const QByteArray& params)
    {
        put32(m_records, quint32(3 + params.size() / 2));
        put16(m_records, function);
        m_records += params;
        m_largest = std::max(m_largest, 3 + int(params.size()) / 2);
    }
    // style 0 solid, 1 none, 2 hatched (hatch 0 horizontal ... 5 diagonal cross)
    int brush(int style, QRgb colour, int hatch = 0)
    {
        QByteArray params;
        put16(params, quint16(style));
        put32(params, colourRef(colour));
        put16(params, quint16(hatch));
        return create(0x02FC, params);
    }
    // style 0 solid, 2 dotted, 5 none
    int pen(int style, int width, QRgb colour)
    {
        QByteArray params;
        put16(params, quint16(style));
        put16(params, quint16(width));
        put16(params, 0);
        put32(params, colourRef(colour));
        return create(0x02FA, params);
    }
    // height in logical units (negative: character height), face as written
    int font(int height, int weight, const QByteArray& face, bool italic = false)
    {
        QByteArray params = words({ height, 0, 0, 0, weight });
        params.append(char(italic)).append(char(0)).append(char(0)).append(char(0)); // charset ANSI
        params.append(char(0)).append(char(0)).append(char(0)).append(char(0));
        QByteArray name = face.left(31);
        name.append('\0');
        if (name.size() % 2)
            name.append('\0');
        return create(0x02FB, params + name);
    }
    void select(int object) { record(0x012D, words({ object })); }
    void window(int width, int height)
    {
        record(0x0103, words({ 8 })); // anisotropic, as most programs write
        record(0x020B, words({ 0, 0 }));
        record(0x020C, words({ height, width }));
    }
    void rectangle(QRect r) { record(0x041B, words({ r.bottom() + 1, r.right() + 1, r.top(), r.left() })); }
    void ellipse(QRect r) { record(0x0418, words({ r.bottom() + 1, r.right() + 1, r.top(), r.left() })); }
    void polygon(const QList<QPoint>& points, bool closed = true)
    {
        QByteArray params = words({ int(points.size()) });
        for (const QPoint& p : points)
            params += words({ p.x(), p.y() });
        record(closed ? 0x0324 : 0x0325, params);
    }
    void textColour(QRgb colour)
    {
        QByteArray params;
        put32(params, colourRef(colour));
        record(0x0209, params);
    }
    void transparentText() { record(0x0102, words({ 1 })); }
    // text in the file's own bytes (Windows-1252), as TEXTOUT or EXTTEXTOUT
    void text(QPoint at, const QByteArray& bytes, bool extended = false)
    {
        QByteArray padded = bytes;
        if (padded.size() % 2)
            padded.append('\0');
        if (extended)
            record(0x0A32, words({ at.y(), at.x(), int(bytes.size()), 0 }) + padded);
        else
            record(0x0521, words({ int(bytes.size()) }) + padded + words({ at.y(), at.x() }));
    }
    // A placeable metafile of width x height logical units at `inch` a inch.
    QByteArray file(int width, int height, int inch = 96) const
    {
        QByteArray records = m_records;
        put32(records, 3); // end of file
        put16(records, 0);
        return placeableMetafile(records, width, height, inch, std::max(m_objects, 1), m_largest);
    }

private:
    static quint32 colourRef(QRgb c) { return quint32(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16)); }
    int create(quint16 function, const QByteArray& params)
    {
        record(function, params);
        return m_objects++;
    }
    QByteArray m_records;
    int m_objects = 0;
    int m_largest = 3;
};

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

// What a drawing must show: within `area` (fractions of the picture), the
// share of pixels near `colour` lies between least and most.
struct Probe {
    QRectF area;
    QColor colour;
    double least = 0;
    double most = 1;
};

// A metafile like those users attach, with what a right drawing shows.
// Drawable is false for one that holds nothing to draw.
struct MetafileSample {
    QString name;
    QByteArray bytes;
    bool drawable = true;
    QList<Probe> probes;
};

// Texts in Windows-1252 as drawing programs store them.
inline QByteArray cp1252(const char16_t* text)
{
    QByteArray out;
    for (const char16_t* c = text; *c; ++c)
        out.append(char(*c <= 0xFF ? *c : '?'));
    return out;
}

// 29 Windows metafiles of the kinds found in the wild: signs and labels with
// accented names and "&", discs and boxes filled and outlined, hatch fills,
// polygons and dotted routes, large titles, at the resolutions drawing
// programs use (96, 576, 1000 and 1440 units an inch).
inline QList<MetafileSample> realWorldWindowsMetafiles()
{
    const QRgb black = qRgb(0, 0, 0);
    const QRgb red = qRgb(220, 0, 0);
    const QRgb navy = qRgb(0, 0, 160);
    const QRgb green = qRgb(0, 150, 0);
    const QRgb white = qRgb(255, 255, 255);
    const char16_t* names[] = { u"Caf\u00e9 Royal", u"Smith & Sons", u"Ynys M\u00f4n", u"Ch\u00e2teau & Fils",
        u"Caerffili & Pen-y-bont", u"Bryn Ll\u00e2n", u"Cr\u00e8me br\u00fbl\u00e9e", u"Dw\u00ffryd",
        u"H\u00f4tel de Ville", u"Marks & Spencer" };
    const int inches[] = { 96, 576, 1000, 1440 };
    QList<MetafileSample> samples;
    for (int i = 0; i < 29; ++i) {
        const int inch = inches[i % 4];
        const int w = 400 * inch / 96;
        const int h = 300 * inch / 96;
        const auto at = [&](double x, double y) { return QPoint(int(x * w), int(y * h)); };
        const auto box = [&](double x, double y, double bw, double bh) {
            return QRect(at(x, y), QSize(int(bw * w), int(bh * h)));
        };
        WmfWriter wmf;
        wmf.window(w, h);
        MetafileSample sample;
        sample.name = QStringLiteral("S%1.WMF").arg(i, 2, 10, QLatin1Char('0'));
        const QByteArray label = cp1252(names[i % 10]);
        switch (i % 6) {
        case 0: { // a sign: navy board, white label in the code page
            wmf.select(wmf.brush(0, navy));
            wmf.select(wmf.pen(0, 1, black));
            wmf.rectangle(box(0, 0, 1, 1));
            wmf.select(wmf.font(-h / 12, 700, "Arial"));
            wmf.textColour(white);
            wmf.transparentText();
            wmf.text(at(0.1, 0.4), label, i % 2);
            sample.probes = { { { 0.02, 0.02, 0.06, 0.2 }, navy, 0.9 },
                { { 0.1, 0.35, 0.6, 0.25 }, white, 0.03, 0.8 } };
            break;
        }
        case 1: { // a red disc outlined in black
            wmf.select(wmf.brush(0, red));
            wmf.select(wmf.pen(0, std::max(2, w / 100), black));
            wmf.ellipse(box(0.2, 0.1, 0.6, 0.8));
            sample.probes = { { { 0.45, 0.45, 0.1, 0.1 }, red, 0.95 },
                { { 0.49, 0.09, 0.02, 0.04 }, black, 0.2 }, { { 0, 0, 0.1, 0.1 }, white, 0.95 } };
            break;
        }
        case 2: { // hatch fills, a legend beside them
            const int hatch = i % 6;
            wmf.select(wmf.pen(0, 1, black));
            wmf.select(wmf.brush(2, green, hatch));
            wmf.rectangle(box(0.05, 0.05, 0.5, 0.9));
            wmf.select(wmf.font(-h / 20, 400, "Times New Roman"));
            wmf.textColour(black);
            wmf.text(at(0.6, 0.45), label);
            sample.probes = { { { 0.1, 0.1, 0.4, 0.8 }, green, 0.03, 0.6 },
                { { 0.1, 0.1, 0.4, 0.8 }, white, 0.3, 0.97 }, { { 0.6, 0.4, 0.4, 0.25 }, black, 0.01, 0.7 } };
            break;
        }
        case 3: { // a star and a dotted route
            wmf.select(wmf.brush(0, green));
            wmf.select(wmf.pen(0, 1, black));
            wmf.polygon({ at(0.5, 0.05), at(0.61, 0.4), at(0.95, 0.4), at(0.67, 0.6), at(0.78, 0.95),
                at(0.5, 0.74), at(0.22, 0.95), at(0.33, 0.6), at(0.05, 0.4), at(0.39, 0.4) });
            wmf.select(wmf.pen(2, 1, red));
            wmf.polygon({ at(0.02, 0.98), at(0.3, 0.8), at(0.5, 0.98) }, false);
            sample.probes
                = { { { 0.45, 0.45, 0.1, 0.1 }, green, 0.95 }, { { 0, 0, 0.1, 0.1 }, white, 0.95 } };
            break;
        }
        case 4: { // a large title across the top, a box below
            wmf.select(wmf.font(-h / 5, 700, "Times New Roman", true));
            wmf.textColour(navy);
            wmf.transparentText();
            wmf.text(at(0.03, 0.02), cp1252(u"Caf\u00e9 & Co"));
            wmf.select(wmf.brush(0, red));
            wmf.select(wmf.pen(0, 1, black));
            wmf.rectangle(box(0.1, 0.6, 0.8, 0.3));
            sample.probes = { { { 0.03, 0.02, 0.3, 0.25 }, navy, 0.03, 0.8 },
                { { 0.45, 0.02, 0.3, 0.25 }, navy, 0.03, 0.8 }, { { 0.3, 0.7, 0.4, 0.1 }, red, 0.95 } };
            break;
        }
        default: { // a labelled plan: outlined boxes without fill, names inside
            wmf.select(wmf.brush(1, white));
            wmf.select(wmf.pen(0, std::max(1, w / 200), navy));
            wmf.rectangle(box(0.05, 0.05, 0.9, 0.9));
            wmf.rectangle(box(0.1, 0.5, 0.35, 0.4));
            wmf.select(wmf.font(-h / 10, 400, "Arial"));
            wmf.textColour(black);
            wmf.text(at(0.12, 0.15), label, true);
            sample.probes = { { { 0.12, 0.12, 0.5, 0.2 }, black, 0.02, 0.7 },
                { { 0.6, 0.6, 0.2, 0.2 }, white, 0.95 }, { { 0.04, 0.3, 0.02, 0.4 }, navy, 0.1 } };
            break;
        }
        }
        sample.bytes = wmf.file(w, h, inch);
        samples << sample;
    }
    return samples;
}

// An enhanced metafile record by record, on a reference screen of 1024 x 768
// pixels and 320 x 240 mm; `bounds` is the frame the header declares.
class EmfWriter {
public:
    void record(quint32 type, std::initializer_list<qint64> values)
    {
        QByteArray r;
        put32(r, type);
        put32(r, quint32(8 + 4 * values.size()));
        for (qint64 v : values)
            put32(r, quint32(v));
        m_records << r;
    }
    void solidBrush(QRgb colour)
    {
        record(39, { ++m_handles, 0, colourRef(colour), 0 });
        record(37, { m_handles });
    }
    void pen(int width, QRgb colour)
    {
        record(38, { ++m_handles, 0, width, 0, colourRef(colour) });
        record(37, { m_handles });
    }
    void rectangle(QRect r) { record(43, { r.left(), r.top(), r.right() + 1, r.bottom() + 1 }); }
    void ellipse(QRect r) { record(42, { r.left(), r.top(), r.right() + 1, r.bottom() + 1 }); }
    // EXTTEXTOUTW at a reference point, without spacing array
    void text(QPoint at, const QString& text)
    {
        QByteArray r;
        put32(r, 84);
        put32(r, 0); // size, below
        for (int v : { 0, 0, -1, -1 }) // bounds not given
            put32(r, quint32(v));
        put32(r, 1); // compatible graphics mode
        put32(r, 0); // scales, unused
        put32(r, 0);
        put32(r, quint32(at.x()));
        put32(r, quint32(at.y()));
        put32(r, quint32(text.size()));
        put32(r, 76); // the string follows this text record
        put32(r, 0);
        for (int v : { 0, 0, -1, -1 })
            put32(r, quint32(v));
        put32(r, 0); // no spacing array
        for (QChar c : text)
            put16(r, c.unicode());
        while (r.size() % 4)
            r.append(char(0));
        qToLittleEndian<quint32>(quint32(r.size()), r.data() + 4);
        m_records << r;
    }
    QByteArray file(QRect bounds) const
    {
        QByteArray body;
        for (const QByteArray& r : m_records)
            body += r;
        QByteArray eof;
        put32(eof, 14);
        put32(eof, 20);
        put32(eof, 0);
        put32(eof, 16);
        put32(eof, 20);
        body += eof;
        QByteArray header;
        put32(header, 1);
        put32(header, 88);
        for (int v : { bounds.left(), bounds.top(), bounds.right(), bounds.bottom() })
            put32(header, quint32(v));
        for (qint64 v : { qint64(bounds.left()) * 3125 / 100, qint64(bounds.top()) * 3125 / 100,
                 qint64(bounds.right() + 1) * 3125 / 100, qint64(bounds.bottom() + 1) * 3125 / 100 })
            put32(header, quint32(v)); // frame, 0.01 mm
        put32(header, 0x464D4520u); // " EMF"
        put32(header, 0x10000);
        put32(header, quint32(88 + body.size()));
        put32(header, quint32(m_records.size() + 2));
        put16(header, quint16(m_handles + 1));
        put16(header, 0);
        for (quint32 v : { 0u, 0u, 0u, 1024u, 768u, 320u, 240u })
            put32(header, v);
        return header + body;
    }

private:
    static qint64 colourRef(QRgb c) { return qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16); }
    QList<QByteArray> m_records;
    int m_handles = 0;
};

// Enhanced metafiles as programs write them, the drawable and the degenerate:
// no records, text piled at one point as some diagramming programs' exports
// come out, every shape at one point, a frame of one pixel.
inline QList<MetafileSample> realWorldEnhancedMetafiles()
{
    const QRgb black = qRgb(0, 0, 0);
    const QRgb red = qRgb(220, 0, 0);
    const QRect page(0, 0, 400, 300);
    QList<MetafileSample> samples;
    {
        EmfWriter emf;
        emf.solidBrush(red);
        emf.pen(3, black);
        emf.ellipse(QRect(80, 30, 240, 240));
        emf.text(QPoint(20, 20), QStringLiteral("Caf\u00e9 & Sons"));
        samples << MetafileSample { QStringLiteral("DISC.EMF"), emf.file(page), true,
            { { { 0.45, 0.45, 0.1, 0.1 }, red, 0.95 }, { { 0.9, 0.9, 0.1, 0.1 }, Qt::white, 0.95 } } };
    }
    {
        EmfWriter emf;
        emf.text(QPoint(20, 40), QStringLiteral("Ynys M\u00f4n"));
        emf.text(QPoint(200, 250), QStringLiteral("Smith & Sons"));
        samples << MetafileSample { QStringLiteral("LABELS.EMF"), emf.file(page), true,
            { { { 0, 0, 1, 1 }, black, 0.0002, 0.3 } } };
    }
    samples << MetafileSample { QStringLiteral("EMPTY.EMF"), EmfWriter().file(page), false, {} };
    {
        EmfWriter emf;
        for (const char* label : { "Process", "Decision", "Start & end", "Data store" })
            emf.text(QPoint(0, 0), QString::fromLatin1(label));
        samples << MetafileSample { QStringLiteral("PILED.EMF"), emf.file(page), false, {} };
    }
    {
        EmfWriter emf;
        emf.solidBrush(red);
        emf.rectangle(QRect(50, 50, 0, 0));
        emf.ellipse(QRect(50, 50, 0, 0));
        samples << MetafileSample { QStringLiteral("POINT.EMF"), emf.file(page), false, {} };
    }
    {
        EmfWriter emf;
        emf.solidBrush(red);
        emf.rectangle(QRect(0, 0, 1, 1));
        samples << MetafileSample { QStringLiteral("PIXEL.EMF"), emf.file(QRect(0, 0, 1, 1)), false, {} };
    }
    return samples;
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
