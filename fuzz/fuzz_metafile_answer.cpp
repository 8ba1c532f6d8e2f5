// The metafile helper's answer, as the program reads it once the helper has
// run: the first byte says what was asked (an enhanced metafile's SVG, a
// Windows metafile drawn as PPM, or its size), the rest is the answer. A
// helper is another program; whatever it writes must cost a message at
// most. An accepted drawing fits its box.

#include "fuzz_support.h"

#include "imaging/metafile_answer.h"
#include "imaging/picture_files.h"
#include "platform/errors.h"

#include <QImage>

namespace {

const QString kPicture = QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\Pix\\000001.EMF");
const QSize kBox(640, 480);

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    using platform::HelperAnswer;
    const HelperAnswer kinds[]
        = { HelperAnswer::EnhancedSvg, HelperAnswer::WindowsPpm, HelperAnswer::WindowsSize };
    const HelperAnswer kind = kinds[data[0] % 3];
    const QByteArray answer = fuzz::bytesOf(data + 1, size - 1);
    if (kind != HelperAnswer::WindowsPpm)
        platform::sizeFromHelper(kind, answer);
    if (kind == HelperAnswer::WindowsSize)
        return 0;
    try {
        const QImage image = platform::pictureFromHelper(kPicture, kind, answer, kBox);
        if (image.isNull()
            || (kind == HelperAnswer::EnhancedSvg
                && (image.width() > kBox.width() || image.height() > kBox.height()))) {
            std::fprintf(
                stderr, "fuzz_metafile_answer: an accepted drawing is null or larger than its box\n");
            std::abort();
        }
    } catch (const platform::AppError&) {
    }
    return 0;
}
