// corvane3-metafile-renderer: draws a Windows metafile into a picture that
// fits a box (wmf FILE WIDTH HEIGHT, a PPM on standard output) or tells its
// size (wmf-size FILE), through libwmf; converts an enhanced metafile to SVG
// (emf FILE) through libemf2svg. The program runs this in a process of its own, with limits on
// time and memory, because both libraries are old C code that a damaged
// file can crash or send into a loop. Exit status 0 on success; otherwise
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
};
EllipseDrawer g_ellipse;

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

uint16_t word(const std::vector<unsigned char>& bytes, size_t at)
{
    return uint16_t(bytes[at] | (bytes[at + 1] << 8));
}

// libwmf frames a drawing by what it draws, not by the frame a placeable
// metafile declares, so margins vanish and the drawing is stretched to the
// declared size. Two white pixels at the frame's corners, set before the
// first drawing record and under everything drawn later, make the two agree.
void markFrame(std::vector<unsigned char>& bytes)
{
    constexpr size_t kPlaceable = 22;
    constexpr size_t kHeader = 18;
    if (bytes.size() < kPlaceable + kHeader || word(bytes, 0) != 0xCDD7 || word(bytes, 2) != 0x9AC6)
        return;
    const auto coordinate = [&](size_t at) { return int16_t(word(bytes, at)); };
    const int left = coordinate(6), top = coordinate(8), right = coordinate(10), bottom = coordinate(12);
    if (right - left < 2 || bottom - top < 2)
        return;
    // The first record that is neither a mapping nor a state record.
    size_t at = kPlaceable + word(bytes, kPlaceable + 2) * 2u;
    while (at + 6 <= bytes.size()) {
        const uint32_t words = uint32_t(word(bytes, at)) | uint32_t(word(bytes, at + 2)) << 16;
        const uint16_t function = word(bytes, at + 4);
        const bool setup = function == 0x0103 || function == 0x020B || function == 0x020C
            || function == 0x020D || function == 0x020E || function == 0x0102 || function == 0x0104
            || function == 0x0106 || function == 0x0107 || function == 0x012E || function == 0x0201
            || function == 0x0209;
        if (!setup || words < 3 || at + words * 2 > bytes.size())
            break;
        at += words * 2;
    }
    std::vector<unsigned char> pixels;
    for (const auto& [x, y] : { std::pair { left, top }, std::pair { right - 1, bottom - 1 } }) {
        const unsigned char record[14] = { 7, 0, 0, 0, 0x1F, 0x04, 0xFF, 0xFF, 0xFF, 0,
            static_cast<unsigned char>(y & 0xFF), static_cast<unsigned char>((y >> 8) & 0xFF),
            static_cast<unsigned char>(x & 0xFF), static_cast<unsigned char>((x >> 8) & 0xFF) };
        pixels.insert(pixels.end(), record, record + sizeof record);
    }
    bytes.insert(bytes.begin() + long(std::min(at, bytes.size())), pixels.begin(), pixels.end());
    const uint32_t size = uint32_t(word(bytes, kPlaceable + 6)) | uint32_t(word(bytes, kPlaceable + 8)) << 16;
    const uint32_t grown = size + uint32_t(pixels.size() / 2);
    bytes[kPlaceable + 6] = grown & 0xFF;
    bytes[kPlaceable + 7] = (grown >> 8) & 0xFF;
    bytes[kPlaceable + 8] = (grown >> 16) & 0xFF;
    bytes[kPlaceable + 9] = (grown >> 24) & 0xFF;
    if (word(bytes, kPlaceable + 12) < 7 && word(bytes, kPlaceable + 14) == 0)
        bytes[kPlaceable + 12] = 7;
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
// pens around filled shapes, fonts at their size. With a box the drawing is
// written as a binary PPM that fits it; without one, only "WIDTH HEIGHT" at
// 96 dots an inch.
int renderWmf(
    std::vector<unsigned char>& bytes, bool sizeOnly, unsigned long maxWidth, unsigned long maxHeight)
{
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    const unsigned long flags
        = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None)
        return fail("the metafile library cannot start");
    markFrame(bytes);
    wmfD_Rect bbox;
    if (wmf_mem_open(api, bytes.data(), long(bytes.size())) != wmf_E_None
        || wmf_scan(api, 0, &bbox) != wmf_E_None) {
        wmf_api_destroy(api);
        return fail("its records cannot be read");
    }
    unsigned int width = 0;
    unsigned int height = 0;
    // 96 dots an inch: the picture's natural size in screen pixels.
    if (wmf_display_size(api, &width, &height, 96, 96) != wmf_E_None || width == 0 || height == 0
        || !(bbox.BR.x > bbox.TL.x) || !(bbox.BR.y > bbox.TL.y)) {
        wmf_api_destroy(api);
        return fail("it holds no drawing that can be shown");
    }
    if (sizeOnly) {
        std::printf("%u %u\n", width, height);
        wmf_api_destroy(api);
        return 0;
    }
    fitInto(width, height, maxWidth, maxHeight);
    wmf_gd_t* gd = WMF_GD_GetData(api);
    gd->type = wmf_gd_image;
    gd->bbox = bbox;
    gd->width = width;
    gd->height = height;
    g_text = { nullptr, bbox, width, height, {} };
    auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
    g_text.libwmfDraw = functions->draw_text;
    functions->draw_text = holdText;
    g_ellipse = { functions->draw_ellipse, functions->draw_polygon };
    functions->draw_ellipse = drawEllipse;
    const wmf_error_t played = wmf_play(api, 0, &bbox);
    int* pixels = gd->gd_image ? wmf_gd_image_pixels(gd->gd_image) : nullptr;
    if (played != wmf_E_None || !pixels) {
        wmf_api_destroy(api);
        return fail("its records cannot be read");
    }
    for (const HeldText& text : g_text.held)
        drawHeldText(pixels, text);
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
