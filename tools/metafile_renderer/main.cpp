// corvane3-metafile-renderer: draws a Windows metafile into a picture that
// fits a box (wmf FILE WIDTH HEIGHT, a PPM on standard output) or tells its
// size (wmf-size FILE), through libwmf; converts an enhanced metafile to SVG
// (emf FILE) through libemf2svg. The program runs this in a process of its
// own, with limits on time and memory, because both libraries are old C code
// that a damaged file can crash or send into a loop. Exit status 0 on success; otherwise
// the reason is on standard error.

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/defs.h>
#include <libwmf/font.h>
#include <libwmf/gd.h>
#include <libwmf/ipa.h>
#include <libwmf/macro.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Far beyond any drawing a user attaches; the caller refuses larger files.
constexpr long kMaxFileBytes = 64L << 20;

int fail(const char* why)
{
    std::fprintf(stderr, "%s\n", why);
    return 1;
}

bool readFile(const char* path, std::vector<unsigned char>& bytes)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    unsigned char chunk[1 << 16];
    size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0 && long(bytes.size()) <= kMaxFileBytes)
        bytes.insert(bytes.end(), chunk, chunk + read);
    std::fclose(file);
    return !bytes.empty() && long(bytes.size()) <= kMaxFileBytes;
}

// libwmf looks glyphs up by the text's bytes as signed chars, so every
// letter above 127 ("é", "ô", "£") is lost from the drawing. Texts that hold
// such letters are drawn here instead, through the same font faces, with the
// bytes read as Windows-1252; others go to libwmf's own drawer. The device
// shows its picture only once the drawing ends, so these texts are kept
// until then and laid over it (labels come last in nearly every drawing).
struct HeldText {
    std::string bytes;
    FT_Face face = nullptr;
    double angle = 0;
    double pixelHeight = 0;
    double ratio = 1;
    wmfD_Coord at {};
    wmfRGB colour {};
    bool opaque = false;
    wmfRGB background {};
    wmfD_Coord boxTL {};
    wmfD_Coord boxBR {};
};
struct TextDrawer {
    void (*libwmfDraw)(wmfAPI*, wmfDrawText_t*) = nullptr;
    wmfD_Rect bbox {};
    unsigned int width = 0;
    unsigned int height = 0;
    std::vector<HeldText> held;
};
TextDrawer g_text;

unsigned long fromCp1252(unsigned char c)
{
    static const unsigned short high[32] = { 0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D,
        0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178 };
    return c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c;
}

double deviceX(double x)
{
    return (x - g_text.bbox.TL.x) * g_text.width / (g_text.bbox.BR.x - g_text.bbox.TL.x);
}
double deviceY(double y)
{
    return (y - g_text.bbox.TL.y) * g_text.height / (g_text.bbox.BR.y - g_text.bbox.TL.y);
}

// Lays one glyph's coverage over the picture in the text's colour.
void blend(int* pixels, const FT_Bitmap& glyph, int left, int top, const wmfRGB& colour)
{
    for (unsigned int row = 0; row < glyph.rows; ++row) {
        const int y = top + int(row);
        if (y < 0 || y >= int(g_text.height))
            continue;
        for (unsigned int column = 0; column < glyph.width; ++column) {
            const int x = left + int(column);
            const int cover = glyph.buffer[row * glyph.pitch + column];
            if (x < 0 || x >= int(g_text.width) || cover == 0)
                continue;
            int& p = pixels[size_t(y) * g_text.width + x];
            const auto mix
                = [cover](int under, int over) { return (under * (255 - cover) + over * cover) / 255; };
            p = (p & ~0xFFFFFF) | (mix((p >> 16) & 0xFF, colour.r) << 16)
                | (mix((p >> 8) & 0xFF, colour.g) << 8) | mix(p & 0xFF, colour.b);
        }
    }
}

void holdText(wmfAPI* api, wmfDrawText_t* text)
{
    wmfFont* font = WMF_DC_FONT(text->dc);
    FT_Face face = font ? WMF_FONT_FTFACE(font) : nullptr;
    const bool high = std::any_of(text->str, text->str + std::strlen(text->str),
        [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (!high || !face || WMF_FONT_CHARSET(font) == 2 /* symbol */) {
        g_text.libwmfDraw(api, text);
        return;
    }
    HeldText held;
    held.bytes = text->str;
    held.face = face;
    held.angle = WMF_TEXT_ANGLE(font);
    held.pixelHeight = text->font_height * g_text.height / (g_text.bbox.BR.y - g_text.bbox.TL.y);
    held.ratio = text->font_ratio * g_text.width / (g_text.bbox.BR.x - g_text.bbox.TL.x)
        * (g_text.bbox.BR.y - g_text.bbox.TL.y) / g_text.height;
    held.at = text->pt;
    held.colour = *WMF_DC_TEXTCOLOR(text->dc);
    held.opaque = WMF_DC_OPAQUE(text->dc);
    held.background = *WMF_DC_BACKGROUND(text->dc);
    held.boxTL = text->bbox.TL;
    held.boxBR = text->bbox.BR;
    g_text.held.push_back(held);
}

void fillBox(int* pixels, const HeldText& text)
{
    const int x0 = std::max(0, int(deviceX(text.boxTL.x)));
    const int x1 = std::min(int(g_text.width), int(deviceX(text.boxBR.x)));
    const int y0 = std::max(0, int(deviceY(text.boxTL.y)));
    const int y1 = std::min(int(g_text.height), int(deviceY(text.boxBR.y)));
    const wmfRGB& bg = text.background;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            pixels[size_t(y) * g_text.width + x] = (bg.r << 16) | (bg.g << 8) | bg.b;
}

void drawHeldText(int* pixels, const HeldText& text)
{
    if (!(text.pixelHeight >= 1) || text.pixelHeight > 4.0 * g_text.height + 64
        || FT_Select_Charmap(text.face, FT_ENCODING_UNICODE) != 0)
        return;
    if (text.opaque)
        fillBox(pixels, text);
    FT_Set_Char_Size(text.face, 0, FT_F26Dot6(64 * text.pixelHeight), 72, 72);
    const double c = std::cos(text.angle);
    const double s = std::sin(text.angle);
    FT_Matrix matrix { FT_Fixed(text.ratio * c * 0x10000), FT_Fixed(-s * 0x10000),
        FT_Fixed(text.ratio * s * 0x10000), FT_Fixed(c * 0x10000) };
    FT_Vector pen { 0, 0 };
    const int originX = int(std::lround(deviceX(text.at.x)));
    const int originY = int(std::lround(deviceY(text.at.y)));
    for (const char ch : text.bytes) {
        FT_Set_Transform(text.face, &matrix, &pen);
        if (FT_Load_Char(text.face, fromCp1252(static_cast<unsigned char>(ch)), FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot slot = text.face->glyph;
        blend(pixels, slot->bitmap, originX + slot->bitmap_left, originY - slot->bitmap_top, text.colour);
        pen.x += slot->advance.x;
        pen.y += slot->advance.y;
    }
    FT_Set_Transform(text.face, nullptr, nullptr);
}

// libwmf's raster device fills an ellipse as a chord from 0 to 360 degrees,
// which covers nothing: a filled disc comes out as its outline alone. The
// fill is drawn here as a polygon of many sides, then the outline by libwmf.
struct EllipseDrawer {
    void (*libwmfDraw)(wmfAPI*, wmfDrawArc_t*) = nullptr;
    void (*polygon)(wmfAPI*, wmfPolyLine_t*) = nullptr;
    void (*polyline)(wmfAPI*, wmfPolyLine_t*) = nullptr;
};
EllipseDrawer g_ellipse;

// A polygon of two points, as drawing programs write a single stroke, is
// left out by libwmf's raster device; it is drawn as the line it is.
void drawPolygon(wmfAPI* api, wmfPolyLine_t* polygon)
{
    (polygon->count == 2 ? g_ellipse.polyline : g_ellipse.polygon)(api, polygon);
}

void drawEllipse(wmfAPI* api, wmfDrawArc_t* arc)
{
    wmfBrush* brush = WMF_DC_BRUSH(arc->dc);
    wmfPen* pen = WMF_DC_PEN(arc->dc);
    if (!brush || !pen || WMF_BRUSH_STYLE(brush) == BS_NULL) {
        g_ellipse.libwmfDraw(api, arc);
        return;
    }
    constexpr int kSides = 180;
    wmfD_Coord points[kSides];
    const double cx = (arc->TL.x + arc->BR.x) / 2;
    const double cy = (arc->TL.y + arc->BR.y) / 2;
    const double rx = (arc->BR.x - arc->TL.x) / 2;
    const double ry = (arc->BR.y - arc->TL.y) / 2;
    for (int i = 0; i < kSides; ++i) {
        const double a = 2 * M_PI * i / kSides;
        points[i].x = float(cx + rx * std::cos(a));
        points[i].y = float(cy + ry * std::sin(a));
    }
    wmfPolyLine_t fill { arc->dc, points, kSides };
    const auto penStyle = pen->lopnStyle;
    WMF_PEN_SET_STYLE(pen, PS_NULL);
    g_ellipse.polygon(api, &fill);
    pen->lopnStyle = penStyle;
    if ((penStyle & PS_STYLE_MASK) == PS_NULL)
        return;
    const auto brushStyle = WMF_BRUSH_STYLE(brush);
    WMF_BRUSH_SET_STYLE(brush, BS_NULL);
    g_ellipse.libwmfDraw(api, arc);
    WMF_BRUSH_SET_STYLE(brush, brushStyle);
}

// Rounded rectangles come out of libwmf's raster device with square
// corners; they are drawn here as polygons with their corners' arcs.
void (*g_libwmfRectangle)(wmfAPI*, wmfDrawRectangle_t*) = nullptr;

void drawRectangle(wmfAPI* api, wmfDrawRectangle_t* r)
{
    const double left = std::min(r->TL.x, r->BR.x), right = std::max(r->TL.x, r->BR.x);
    const double top = std::min(r->TL.y, r->BR.y), bottom = std::max(r->TL.y, r->BR.y);
    const double rx = std::min(std::abs(double(r->width)), right - left) / 2;
    const double ry = std::min(std::abs(double(r->height)), bottom - top) / 2;
    if (!(rx > 0) || !(ry > 0)) {
        g_libwmfRectangle(api, r);
        return;
    }
    constexpr int kSteps = 12; // a quarter of a circle
    const double centres[4][2] = { { right - rx, bottom - ry }, { left + rx, bottom - ry },
        { left + rx, top + ry }, { right - rx, top + ry } };
    wmfD_Coord points[4 * (kSteps + 1)];
    for (int corner = 0, i = 0; corner < 4; ++corner)
        for (int step = 0; step <= kSteps; ++step, ++i) {
            const double a = M_PI / 2 * (corner + double(step) / kSteps);
            points[i].x = float(centres[corner][0] + rx * std::cos(a));
            points[i].y = float(centres[corner][1] + ry * std::sin(a));
        }
    wmfPolyLine_t outline { r->dc, points, 4 * (kSteps + 1) };
    g_ellipse.polygon(api, &outline);
}

uint16_t word(const std::vector<unsigned char>& bytes, size_t at)
{
    return uint16_t(bytes[at] | (bytes[at + 1] << 8));
}

int16_t signedWord(const std::vector<unsigned char>& bytes, size_t at)
{
    return int16_t(word(bytes, at));
}

constexpr size_t kPlaceable = 22;
constexpr size_t kHeader = 18;

bool isPlaceable(const std::vector<unsigned char>& bytes)
{
    return bytes.size() >= kPlaceable + kHeader && word(bytes, 0) == 0xCDD7 && word(bytes, 2) == 0x9AC6;
}

// Where the standard header starts and where its first record does.
size_t headerAt(const std::vector<unsigned char>& bytes)
{
    return isPlaceable(bytes) ? kPlaceable : 0;
}
size_t firstRecordAt(const std::vector<unsigned char>& bytes)
{
    const size_t header = headerAt(bytes);
    return bytes.size() < header + kHeader ? bytes.size() : header + word(bytes, header + 2) * 2u;
}

// One record of the file: its place, length in bytes and function.
struct Record {
    size_t at = 0;
    size_t bytes = 0;
    uint16_t function = 0;
};

// The record at `at`, or one of no length where none fits.
Record recordAt(const std::vector<unsigned char>& bytes, size_t at)
{
    if (at + 6 > bytes.size())
        return { at, 0, 0 };
    const uint32_t words = uint32_t(word(bytes, at)) | uint32_t(word(bytes, at + 2)) << 16;
    if (words < 3 || words > (bytes.size() - at) / 2)
        return { at, 0, 0 };
    return { at, size_t(words) * 2, word(bytes, at + 4) };
}

// Records that set up the mapping, colours or objects but draw nothing.
bool drawsNothing(uint16_t function)
{
    static const uint16_t kinds[]
        = { 0x0103, 0x020B, 0x020C, 0x020D, 0x020E, 0x0102, 0x0104, 0x0106, 0x0107, 0x012E, 0x0201, 0x0209,
              0x001E, 0x012D, 0x01F0, 0x02FA, 0x02FB, 0x02FC, 0x00F7, 0x0234, 0x0035, 0x0231, 0x0626 };
    return std::find(std::begin(kinds), std::end(kinds), function) != std::end(kinds);
}

// The frame a drawing declares in its own logical units: the window its
// setup records open before anything is drawn (SetWindowOrg, SetWindowExt),
// or else a placeable metafile's bounds. Its corners may run either way, as
// a window's extent may be negative. Its size on the screen comes from the
// placeable bounds and their units an inch, or from the window and the
// units of its mapping mode.
struct Frame {
    bool known = false;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width = 0, height = 0; // at 96 dots an inch
    size_t setupEnd = 0; // the first record that draws
};

// Logical units an inch in each mapping mode; a window of the text,
// isotropic and anisotropic modes counts in screen pixels.
double unitsPerInch(int mapMode)
{
    switch (mapMode) {
    case 2:
        return 254; // 0.1 mm
    case 3:
        return 2540; // 0.01 mm
    case 4:
        return 100; // 0.01 inch
    case 5:
        return 1000; // 0.001 inch
    case 6:
        return 1440; // twips
    default:
        return 96;
    }
}

// The mapping mode and window the setup records leave, and where they end.
struct Setup {
    int mapMode = 1;
    bool window = false;
    int originX = 0, originY = 0, extentX = 0, extentY = 0;
    size_t end = 0;
};

Setup readSetup(const std::vector<unsigned char>& bytes)
{
    Setup setup;
    size_t at = firstRecordAt(bytes);
    for (Record r = recordAt(bytes, at); r.bytes > 0 && drawsNothing(r.function); r = recordAt(bytes, at)) {
        if (r.function == 0x0103 && r.bytes >= 8)
            setup.mapMode = word(bytes, at + 6);
        if ((r.function == 0x020B || r.function == 0x020C) && r.bytes >= 10) {
            (r.function == 0x020B ? setup.originY : setup.extentY) = signedWord(bytes, at + 6);
            (r.function == 0x020B ? setup.originX : setup.extentX) = signedWord(bytes, at + 8);
            setup.window = setup.window || r.function == 0x020C;
        }
        at += r.bytes;
    }
    setup.end = std::min(at, bytes.size());
    return setup;
}

Frame findFrame(const std::vector<unsigned char>& bytes)
{
    const Setup setup = readSetup(bytes);
    Frame frame;
    frame.setupEnd = setup.end;
    if (setup.window)
        frame = { true, setup.originX, setup.originY, setup.originX + setup.extentX,
            setup.originY + setup.extentY, 0, 0, setup.end };
    else if (isPlaceable(bytes))
        frame = { true, signedWord(bytes, 6), signedWord(bytes, 8), signedWord(bytes, 10),
            signedWord(bytes, 12), 0, 0, setup.end };
    const double inch = unitsPerInch(setup.mapMode);
    frame.width = std::abs(frame.x1 - frame.x0) * 96.0 / inch;
    frame.height = std::abs(frame.y1 - frame.y0) * 96.0 / inch;
    if (isPlaceable(bytes)) {
        const double placeableInch = word(bytes, 14) > 0 ? word(bytes, 14) : 1440;
        frame.width = std::abs(signedWord(bytes, 10) - signedWord(bytes, 6)) * 96.0 / placeableInch;
        frame.height = std::abs(signedWord(bytes, 12) - signedWord(bytes, 8)) * 96.0 / placeableInch;
    }
    frame.known = std::abs(frame.x1 - frame.x0) >= 2 && std::abs(frame.y1 - frame.y0) >= 2 && frame.width >= 1
        && frame.height >= 1;
    return frame;
}

void putWord(std::vector<unsigned char>& bytes, int value)
{
    bytes.push_back(static_cast<unsigned char>(value & 0xFF));
    bytes.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void setLong(std::vector<unsigned char>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

wmfAPI* openMetafile(std::vector<unsigned char>& bytes)
{
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    const unsigned long flags
        = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None)
        return nullptr;
    if (wmf_mem_open(api, bytes.data(), long(bytes.size())) != wmf_E_None) {
        wmf_api_destroy(api);
        return nullptr;
    }
    return api;
}

// The frame in libwmf's own coordinates, which the drawing is shown by: the
// file's setup records alone with the frame's two corners (flood fills,
// which libwmf places as bare points), scanned on their own. libwmf's own
// extent is that of the drawing, which loses margins, and bitmaps in a
// window of negative extent it places on the wrong side of the origin.
bool frameBox(const std::vector<unsigned char>& bytes, const Frame& frame, wmfD_Rect& box)
{
    std::vector<unsigned char> copy(bytes.begin(), bytes.begin() + long(frame.setupEnd));
    for (const auto& [x, y] : { std::pair { frame.x0, frame.y0 }, std::pair { frame.x1, frame.y1 } }) {
        for (const int value : { 8, 0, 0x0548, 0, 0, 0, y, x }) // EXTFLOODFILL
            putWord(copy, value);
    }
    for (const int value : { 3, 0, 0 }) // end of file
        putWord(copy, value);
    const size_t header = headerAt(bytes);
    setLong(copy, header + 6, uint32_t(copy.size() - header) / 2);
    setLong(
        copy, header + 12, std::max<uint32_t>(8, word(copy, header + 12) | word(copy, header + 14) << 16));
    wmfAPI* api = openMetafile(copy);
    const bool scanned = api && wmf_scan(api, 0, &box) == wmf_E_None;
    if (api)
        wmf_api_destroy(api);
    return scanned && box.BR.x > box.TL.x && box.BR.y > box.TL.y;
}

// libwmf's raster device copies every bitmap as it is: raster operations
// (an icon's mask ANDed onto the page, then its colours XORed) are
// ignored, and a destination of negative extent is taken as 65536 less it.
// Bitmaps are drawn here instead, from their records' own signed values.
struct DibRecord {
    size_t bitmapAt = 0; // where its bitmap starts in the file
    bool fromTop = false; // source rows counted from the top (blits) or the bottom (StretchDIBits)
    uint32_t rop = 0;
    int destX = 0, destY = 0, destW = 0, destH = 0;
    int srcX = 0, srcY = 0, srcW = 0, srcH = 0;
};

std::vector<DibRecord> indexBitmaps(const std::vector<unsigned char>& bytes)
{
    std::vector<DibRecord> found;
    for (Record r = recordAt(bytes, firstRecordAt(bytes)); r.bytes > 0 && r.function != 0;
         r = recordAt(bytes, r.at + r.bytes)) {
        const auto p = [&](int i) { return int(signedWord(bytes, r.at + 6 + 2 * i)); };
        const uint32_t rop
            = r.bytes >= 10 ? word(bytes, r.at + 6) | uint32_t(word(bytes, r.at + 8)) << 16 : 0;
        if (r.function == 0x0F43 && r.bytes > 28) // StretchDIBits
            found.push_back({ r.at + 28, false, rop, p(10), p(9), p(8), p(7), p(6), p(5), p(4), p(3) });
        else if (r.function == 0x0B41 && r.bytes > 26) // DIBStretchBlt
            found.push_back({ r.at + 26, true, rop, p(9), p(8), p(7), p(6), p(5), p(4), p(3), p(2) });
        else if (r.function == 0x0940 && r.bytes > 24) // DIBBitBlt with a bitmap
            found.push_back({ r.at + 22, true, rop, p(7), p(6), p(5), p(4), p(3), p(2), p(5), p(4) });
    }
    return found;
}

struct BitmapDrawer {
    void (*libwmfRead)(wmfAPI*, wmfBMP_Read_t*) = nullptr;
    void (*libwmfDraw)(wmfAPI*, wmfBMP_Draw_t*) = nullptr;
    std::vector<DibRecord> records;
    const DibRecord* current = nullptr; // the record whose bitmap was read last
};
BitmapDrawer g_bitmap;

// libwmf reads as many palette entries as the header's colour count says,
// and a count of 0, which means all 2^bits colours, as none: the palette is
// then taken for pixels, the rows shifted and the colours lost. The count
// is written out in a copy that libwmf reads instead.
void readBitmap(wmfAPI* api, wmfBMP_Read_t* read)
{
    // The records are in the file's order, so by where their bitmaps start.
    const auto& records = g_bitmap.records;
    const auto found = std::lower_bound(records.begin(), records.end(), read->offset,
        [](const DibRecord& record, long offset) { return long(record.bitmapAt) < offset; });
    g_bitmap.current = found != records.end() && long(found->bitmapAt) == read->offset ? &*found : nullptr;
    std::vector<unsigned char> copy(read->buffer, read->buffer + std::max(0L, read->length));
    const bool infoHeader = copy.size() >= 40 && word(copy, 0) >= 40 && word(copy, 2) == 0;
    const int bits = infoHeader ? word(copy, 14) : 0;
    if (bits >= 1 && bits <= 8 && word(copy, 32) == 0 && word(copy, 34) == 0)
        setLong(copy, 32, 1u << bits);
    unsigned char* const own = read->buffer;
    read->buffer = copy.data();
    g_bitmap.libwmfRead(api, read);
    read->buffer = own;
}

// The picture libwmf's raster device is drawing: its device data begins
// with the picture, whose pixels wmf_gd_image_pixels() gives.
int* drawingPixels(wmfAPI* api)
{
    void* const data = WMF_GD_GetData(api)->gd_data;
    void* const image = data ? *static_cast<void**>(data) : nullptr;
    return image ? wmf_gd_image_pixels(image) : nullptr;
}

// One of the 256 ternary raster operations on 24-bit colours: bit i of the
// operation's index is the result where pattern, source and destination
// hold the three bits of i.
uint32_t raster(uint32_t rop, uint32_t pattern, uint32_t source, uint32_t destination)
{
    const unsigned index = (rop >> 16) & 0xFF;
    uint32_t out = 0;
    for (unsigned i = 0; i < 8; ++i)
        if (index & (1u << i))
            out |= ((i & 4) ? pattern : ~pattern) & ((i & 2) ? source : ~source)
                & ((i & 1) ? destination : ~destination);
    return out & 0xFFFFFF;
}

uint32_t packed(const wmfRGB& c)
{
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

// The span of picture pixels from a to b (either way round), within 0..limit.
std::pair<int, int> span(double a, double b, unsigned int limit)
{
    const int first = std::max(0, int(std::lround(std::min(a, b))));
    const int last = std::min(int(limit), int(std::lround(std::max(a, b))));
    return { first, last };
}

// Which of `count` source pixels the picture pixel at `at` shows, the
// destination running from `from` to `to` (backwards when mirrored).
int sourceIndex(double at, double from, double to, int count)
{
    const int i = int(std::floor((at + 0.5 - from) / (to - from) * count));
    return std::clamp(i, 0, count - 1);
}

void drawBitmap(wmfAPI* api, wmfBMP_Draw_t* draw)
{
    const DibRecord* const record = std::exchange(g_bitmap.current, nullptr);
    int* const pixels = drawingPixels(api);
    const wmfBMP& bmp = draw->bmp;
    if (!record || !pixels || !bmp.data || bmp.width == 0 || bmp.height == 0) {
        g_bitmap.libwmfDraw(api, draw);
        return;
    }
    const int srcX = std::clamp(record->srcX, 0, bmp.width - 1);
    const int srcY = std::clamp(record->srcY, 0, bmp.height - 1);
    const int srcW = std::clamp(std::abs(record->srcW), 1, bmp.width - srcX);
    const int srcH = std::clamp(std::abs(record->srcH), 1, bmp.height - srcY);
    const double x0 = deviceX(draw->pt.x);
    const double y0 = deviceY(draw->pt.y);
    const double x1 = deviceX(draw->pt.x + record->destW * draw->dc->pixel_width);
    const double y1 = deviceY(draw->pt.y + record->destH * draw->dc->pixel_height);
    const wmfBrush* brush = WMF_DC_BRUSH(draw->dc);
    const uint32_t pattern = brush ? packed(*WMF_BRUSH_COLOR(brush)) : 0;
    const auto [left, right] = span(x0, x1, g_text.width);
    const auto [top, bottom] = span(y0, y1, g_text.height);
    for (int y = top; y < bottom; ++y) {
        const int row = sourceIndex(y, y0, y1, srcH);
        const int bmpY = record->fromTop ? bmp.height - 1 - (srcY + row) : srcY + srcH - 1 - row;
        for (int x = left; x < right; ++x) {
            wmfRGB colour;
            wmfBMP source = bmp;
            const int column = sourceIndex(x, x0, x1, srcW);
            // Blits know no transparency: the fourth byte of a 32-bit
            // pixel, which libwmf takes for its opacity, is mostly 0.
            if (wmf_ipa_bmp_color(api, &source, &colour, unsigned(srcX + column), unsigned(bmpY)) < 0)
                continue;
            int& p = pixels[size_t(y) * g_text.width + x];
            p = int((uint32_t(p) & ~0xFFFFFFu) | raster(record->rop, pattern, packed(colour), uint32_t(p)));
        }
    }
}

// The size a box of maxWidth x maxHeight gives a picture of width x height:
// scaled down with its aspect kept when it is larger, never enlarged.
void fitInto(unsigned int& width, unsigned int& height, unsigned long maxWidth, unsigned long maxHeight)
{
    if (width <= maxWidth && height <= maxHeight)
        return;
    const double scale = std::min(double(maxWidth) / width, double(maxHeight) / height);
    width = std::max(1u, static_cast<unsigned int>(width * scale + 0.5));
    height = std::max(1u, static_cast<unsigned int>(height * scale + 0.5));
}

// Windows metafiles are drawn by libwmf's own raster device, which keeps
// what its SVG device loses: text in the file's code page, hatch brushes,
// pens around filled shapes, fonts at their size. The picture shows the
// frame the file declares (see findFrame) at 96 dots an inch, or, where it
// declares none or nothing is drawn within it, what it draws (`bbox` comes
// in as libwmf's extent of the drawing).
bool frameAndSize(wmfAPI* api, std::vector<unsigned char>& bytes, bool useFrame, wmfD_Rect& bbox,
    unsigned int& width, unsigned int& height)
{
    const Frame frame = useFrame ? findFrame(bytes) : Frame {};
    wmfD_Rect framed;
    if (frame.known && frameBox(bytes, frame, framed)) {
        bbox = framed;
        width = unsigned(std::lround(std::min(frame.width, 1e6)));
        height = unsigned(std::lround(std::min(frame.height, 1e6)));
        return true;
    }
    return wmf_display_size(api, &width, &height, 96, 96) == wmf_E_None && width > 0 && height > 0;
}

// Draws into libwmf's picture with the drawers of this file put in.
int* play(
    wmfAPI* api, std::vector<unsigned char>& bytes, wmfD_Rect bbox, unsigned int width, unsigned int height)
{
    wmf_gd_t* gd = WMF_GD_GetData(api);
    gd->type = wmf_gd_image;
    gd->bbox = bbox;
    gd->width = width;
    gd->height = height;
    g_text = { nullptr, bbox, width, height, {} };
    auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
    g_text.libwmfDraw = functions->draw_text;
    functions->draw_text = holdText;
    g_ellipse = { functions->draw_ellipse, functions->draw_polygon, functions->poly_line };
    functions->draw_ellipse = drawEllipse;
    functions->draw_polygon = drawPolygon;
    g_libwmfRectangle = functions->draw_rectangle;
    functions->draw_rectangle = drawRectangle;
    g_bitmap = { functions->bmp_read, functions->bmp_draw, indexBitmaps(bytes), nullptr };
    functions->bmp_read = readBitmap;
    functions->bmp_draw = drawBitmap;
    if (wmf_play(api, 0, &bbox) != wmf_E_None || !gd->gd_image)
        return nullptr;
    int* pixels = wmf_gd_image_pixels(gd->gd_image);
    for (const HeldText& text : g_text.held)
        drawHeldText(pixels, text);
    return pixels;
}

bool allWhite(const int* pixels, unsigned int width, unsigned int height)
{
    return std::all_of(
        pixels, pixels + size_t(width) * height, [](int p) { return (p & 0xFFFFFF) == 0xFFFFFF; });
}

void writePicture(const int* pixels, unsigned int width, unsigned int height)
{
    std::printf("P6\n%u %u\n255\n", width, height);
    std::vector<unsigned char> row(size_t(width) * 3);
    for (unsigned int y = 0; y < height; ++y) {
        const int* line = pixels + size_t(y) * width;
        for (unsigned int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<unsigned char>(line[x] >> 16);
            row[3 * x + 1] = static_cast<unsigned char>(line[x] >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(line[x]);
        }
        std::fwrite(row.data(), 1, row.size(), stdout);
    }
}

// With a box the drawing is written as a binary PPM that fits it; without
// one, only "WIDTH HEIGHT" at 96 dots an inch.
int renderWmf(std::vector<unsigned char>& bytes, bool sizeOnly, unsigned long maxWidth,
    unsigned long maxHeight, bool useFrame = true)
{
    wmfAPI* api = openMetafile(bytes);
    wmfD_Rect bbox;
    if (!api || wmf_scan(api, 0, &bbox) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return fail("its records cannot be read");
    }
    unsigned int width = 0;
    unsigned int height = 0;
    if (!frameAndSize(api, bytes, useFrame, bbox, width, height) || !(bbox.BR.x > bbox.TL.x)
        || !(bbox.BR.y > bbox.TL.y)) {
        wmf_api_destroy(api);
        return fail("it holds no drawing that can be shown");
    }
    if (sizeOnly) {
        std::printf("%u %u\n", width, height);
        wmf_api_destroy(api);
        return 0;
    }
    fitInto(width, height, maxWidth, maxHeight);
    const int* pixels = play(api, bytes, bbox, width, height);
    if (!pixels) {
        wmf_api_destroy(api);
        return fail("its records cannot be read");
    }
    if (useFrame && allWhite(pixels, width, height)) {
        wmf_api_destroy(api);
        return renderWmf(bytes, sizeOnly, maxWidth, maxHeight, false);
    }
    writePicture(pixels, width, height);
    wmf_api_destroy(api); // the drawing goes with the process
    return 0;
}

int renderEmf(std::vector<unsigned char>& bytes)
{
    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.svgDelimiter = true;
    options.emfplus = true;
    char* text = nullptr;
    size_t length = 0;
    const int ok = emf2svg(reinterpret_cast<char*>(bytes.data()), bytes.size(), &text, &length, &options);
    int status = 0;
    if (ok != 1 || !text || length == 0)
        status = fail("its records cannot be read");
    else
        std::fwrite(text, 1, length, stdout);
    std::free(text);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const bool wmf = argc >= 3 && std::strcmp(argv[1], "wmf") == 0;
    const bool emf = argc == 3 && std::strcmp(argv[1], "emf") == 0;
    const bool wmfSize = argc == 3 && std::strcmp(argv[1], "wmf-size") == 0;
    unsigned long maxWidth = 0;
    unsigned long maxHeight = 0;
    if (wmf && argc == 5) {
        maxWidth = std::strtoul(argv[3], nullptr, 10);
        maxHeight = std::strtoul(argv[4], nullptr, 10);
    }
    if (!(emf || wmfSize
            || (wmf && argc == 5 && maxWidth > 0 && maxHeight > 0 && maxWidth <= 16384
                && maxHeight <= 16384))) {
        std::fprintf(
            stderr, "usage: corvane3-metafile-renderer wmf FILE WIDTH HEIGHT | wmf-size FILE | emf FILE\n");
        return 2;
    }
    std::vector<unsigned char> bytes;
    if (!readFile(argv[2], bytes))
        return fail("it cannot be read");
    const int status = emf ? renderEmf(bytes) : renderWmf(bytes, wmfSize, maxWidth, maxHeight);
    return std::fflush(stdout) == 0 ? status : 1;
}
