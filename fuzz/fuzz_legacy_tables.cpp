// The original program's tables, as the import's reader decodes them (in
// this process here; the program runs the same code in its helper). One
// input holds the three files, DESCRIP.DB, DESCRIP.MB and PIX.DB, split at
// the line kSeparator. A refusal must be an AppError naming the file;
// every block the table library allocated is freed, accepted or refused;
// and no picture name the import takes can lead outside the picture folder.

#include "fuzz_support.h"

#include "imaging/picture_files.h"
#include "import/legacy_reader.h"
#include "places/pix_store.h"
#include "platform/errors.h"

namespace {

const QByteArray kSeparator = QByteArrayLiteral("\n--corvane3-fuzz-next-file--\n");
const char* const kFiles[] = { "DESCRIP.DB", "DESCRIP.MB", "PIX.DB" };

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_legacy_tables: %s\n", what);
        std::abort();
    }
}

bool isInside(const QString& path, const QString& folder)
{
    return path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Place& place = fuzz::Place::instance();
    const QString folder = place.host(QStringLiteral("import"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QByteArray rest = fuzz::bytesOf(data, size);
    for (const char* name : kFiles) {
        const qsizetype at = rest.indexOf(kSeparator);
        const QByteArray file = at < 0 ? rest : rest.left(at);
        if (!file.isEmpty() || at >= 0)
            place.write(QStringLiteral("import/") + QLatin1String(name), file);
        if (at < 0)
            break;
        rest = rest.mid(at + kSeparator.size());
    }
    const qint64 allocated = corvane::legacy::liveLibraryAllocations();
    try {
        const corvane::legacy::Tables tables = corvane::legacy::readTablesHere(folder);
        const QString pix = platform::hostPathOf(corvane::pictureFolder());
        for (const corvane::legacy::Picture& picture : tables.pictures) {
            if (!platform::isPlainPictureName(picture.fileName + picture.type))
                continue;
            const auto host = platform::resolve(corvane::picturePath(picture.fileName, picture.type));
            check(host && isInside(*host, pix), "an imported picture name leads outside the picture folder");
        }
    } catch (const platform::AppError&) {
    }
    check(corvane::legacy::liveLibraryAllocations() == allocated,
        "the table library's blocks are not all freed");
    return 0;
}
