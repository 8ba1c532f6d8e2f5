// A map sheet from the atlas "CD" (drive D:), as the atlas window meets it:
// decoded into its box under the memory ceiling; when that decode accepts
// the file, the tile pyramid built from it and read back, and the whole
// picture decoded for zooming. Every refusal must be an AppError; what is
// accepted must agree between the three readers.

#include "fuzz_support.h"

#include "imaging/pictures.h"
#include "imaging/tile_pyramid.h"
#include "platform/errors.h"

#include <QImage>

namespace {

const QString kSheet = QStringLiteral("D:\\Maps\\FUZZ.JPG");
// The atlas window's box; the pyramid's tiles small, so that the sheets a
// fuzzer makes still have several levels.
const QSize kBox(500, 360);
constexpr int kTileSize = 64;
// The program's ceiling on a machine with 4 GB, well inside the fuzzer's
// malloc limit.
constexpr qint64 kCeiling = qint64(1) << 30;

platform::TilePyramid& pyramid()
{
    static platform::TilePyramid tiles([] {
        platform::TilePyramid::Options options;
        options.folder = fuzz::Place::instance().host(QStringLiteral("cache/tiles"));
        options.memoryCeiling = kCeiling;
        options.tileSize = kTileSize;
        return options;
    }());
    return tiles;
}

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_sheet: %s\n", what);
        std::abort();
    }
}

// The pyramid of an accepted sheet: its size is the decoder's, its picture
// for the box is the decoder's size, and every corner tile reads back.
void buildPyramid(QSize fitted)
{
    platform::TilePyramid& tiles = pyramid();
    try {
        if (!tiles.build(kSheet))
            return;
    } catch (const platform::AppError&) {
        return; // damaged or too large to prepare: the fitted picture serves
    }
    const platform::PyramidInfo info = tiles.info(kSheet);
    check(info.isValid(), "a built pyramid has no manifest");
    check(platform::fitInto(info.native, kBox) == fitted, "pyramid and decoder disagree on the size");
    check(tiles.levelImageFor(kSheet, kBox).size() == fitted, "the pyramid's picture for the box");
    const int top = int(info.levels.size()) - 1;
    check(!tiles.tile(kSheet, top, 0, 0).isNull(), "the top tile does not read back");
    check(!tiles.tile(kSheet, 0, info.columns(0) - 1, info.rows(0) - 1).isNull(), "the last tile");
    tiles.remove(kSheet);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    platform::setPictureMemoryCeiling(kCeiling);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Place& place = fuzz::Place::instance();
    place.write(QStringLiteral("cd/Maps/FUZZ.JPG"), fuzz::bytesOf(data, size));
    const QString host = platform::hostPathOf(kSheet);
    QImage fitted;
    QString warning;
    try {
        fitted = platform::decodePicture(kSheet, host, kBox, &warning);
    } catch (const platform::AppError&) {
        return 0;
    }
    check(!fitted.isNull() && fitted.width() <= kBox.width() && fitted.height() <= kBox.height(),
        "an accepted sheet does not fit its box");
    if (warning.isEmpty())
        buildPyramid(fitted.size());
    try {
        const platform::PictureLevels levels = platform::decodeLevels(kSheet, host, kBox);
        check(!levels.levels.isEmpty() && platform::fitInto(levels.native, kBox) == fitted.size(),
            "the picture for zooming and the fitted one disagree on the size");
    } catch (const platform::AppError&) {
        // Too large to hold whole: the fitted picture is all there is.
    }
    return 0;
}
