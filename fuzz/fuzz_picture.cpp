// A picture the user attached to a place, as the picture viewer meets it in
// the picture folder: a bitmap when the bytes start as one, a JPEG (with
// its EXIF orientation) otherwise. Every refusal must be an AppError; an
// accepted picture fits its box, and its size read from the header alone
// (which places a picture on a high-density screen) agrees with it.

#include "fuzz_support.h"

#include "imaging/picture_files.h"
#include "places/pix_store.h"
#include "platform/errors.h"

#include <QImage>

namespace {

const QSize kBox(640, 480);

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_picture: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const QString type = bytes.startsWith("BM") ? QStringLiteral(".BMP") : QStringLiteral(".JPG");
    const QString windowsPath = corvane::picturePath(QStringLiteral("000001"), type);
    fuzz::Place::writeFile(platform::hostPathOf(windowsPath), bytes);
    const QSize natural = platform::pictureFileSize(windowsPath);
    QImage image;
    QString warning;
    try {
        image = platform::loadPictureFile(windowsPath, kBox, &warning);
    } catch (const platform::AppError&) {
        return 0;
    }
    check(!image.isNull() && image.width() <= kBox.width() && image.height() <= kBox.height(),
        "an accepted picture does not fit its box");
    check(!natural.isValid() || platform::fitInto(natural, kBox) == image.size(),
        "the header's size and the picture's disagree");
    return 0;
}
