// drives.conf and the Windows-form paths the program resolves: the bytes up
// to the first \x1d are the user's drives.conf, the rest are paths (or
// picture names, as a restored or imported table holds them) separated by
// \x1e. The oracle is the resolver's promise: a resolved path lies inside
// its drive's folder, and on a drive that is written to it stays there
// through every link (a file created there could not land elsewhere); a
// name accepted as a picture's is six digits and a picture type, and
// resolves inside the picture folder. The installation holds links that lead
// inside, outside and nowhere, for the paths to meet.

#include "fuzz_support.h"

#include "imaging/picture_files.h"
#include "places/pix_store.h"
#include "platform/paths.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void check(bool condition, const char* what, const QString& path)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_paths: %s: \"%s\"\n", what, qPrintable(path));
        std::abort();
    }
}

bool isInside(const QString& path, const QString& folder)
{
    return path == folder
        || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// Where the system puts a file created at path: the real path of the path
// itself when it exists, else of its deepest existing folder. Empty when a
// link on the way leads nowhere, so creating it would follow that link.
QString landing(const QString& path)
{
    QByteArray at = QFile::encodeName(path);
    for (;;) {
        struct stat info { };
        if (::lstat(at.constData(), &info) == 0) {
            char real[PATH_MAX];
            return ::realpath(at.constData(), real) ? QFile::decodeName(real) : QString();
        }
        const qsizetype slash = at.lastIndexOf('/');
        if (slash <= 0)
            return QStringLiteral("/");
        at.truncate(slash);
    }
}

QString realFolder(const QString& folder)
{
    char real[PATH_MAX];
    return ::realpath(QFile::encodeName(folder).constData(), real) ? QFile::decodeName(real) : QString();
}

void checkResolved(const QString& windowsPath)
{
    const auto host = platform::resolve(windowsPath);
    if (!host) {
        check(!platform::unresolvedReason(windowsPath).isEmpty(),
            "no reason for a path that does not resolve", windowsPath);
        return;
    }
    if (windowsPath.startsWith(QLatin1Char('/')))
        return; // a host path chosen in a file dialog
    const auto drive = platform::DriveTable::instance().drive(windowsPath.at(0));
    check(drive.has_value(), "a path on a missing drive resolves", windowsPath);
    check(isInside(*host, drive->hostFolder), "a path resolves outside its drive's folder", windowsPath);
    const QString root = realFolder(drive->hostFolder);
    if (drive->readOnly || root.isEmpty())
        return;
    const QString lands = landing(*host);
    check(!lands.isEmpty() && isInside(lands, root), "a path on a writable drive leads outside it",
        windowsPath);
}

bool isPictureNameByHand(const QString& name)
{
    if (name.size() < 10 || name.at(6) != QLatin1Char('.'))
        return false;
    for (int i = 0; i < 6; ++i)
        if (name.at(i) < QLatin1Char('0') || name.at(i) > QLatin1Char('9'))
            return false;
    const QString type = name.mid(7).toLower();
    return type == QLatin1String("bmp") || type == QLatin1String("jpg") || type == QLatin1String("jpeg")
        || type == QLatin1String("wmf") || type == QLatin1String("emf");
}

void checkPictureName(const QString& name)
{
    if (!platform::isPlainPictureName(name))
        return;
    check(
        isPictureNameByHand(name), "a name that is not six digits and a type is taken as a picture's", name);
    const auto folder = platform::resolve(corvane::pictureFolder());
    const auto host = platform::resolve(corvane::pictureFolder() + name);
    if (folder && host)
        check(QFileInfo(*host).path() == *folder, "a picture name leads outside the picture folder", name);
}

void makeLinks()
{
    const fuzz::Place& place = fuzz::Place::instance();
    const QString c = *platform::resolve(QStringLiteral("C:\\"));
    const QString pix = c + QStringLiteral("/Program Files/Quillmere/Corvane3/Pix");
    QDir().mkpath(pix);
    QDir().mkpath(place.host(QStringLiteral("outside/Pix")));
    QFile::link(QStringLiteral("../.."), pix + QStringLiteral("/Up"));
    QFile::link(place.host(QStringLiteral("outside")), c + QStringLiteral("/Out"));
    QFile::link(place.host(QStringLiteral("outside/Pix")), pix + QStringLiteral("/Away"));
    QFile::link(QStringLiteral("/nonexistent/corvane3"), pix + QStringLiteral("/Nowhere"));
    QFile::link(place.host(QStringLiteral("outside")), place.host(QStringLiteral("cd/Maps/Elsewhere")));
    fuzz::Place::writeFile(pix + QStringLiteral("/000001.JPG"), "picture");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    makeLinks();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const qsizetype split = bytes.indexOf('\x1d');
    fuzz::Place::writeFile(platform::DriveTable::configFilePath(), split < 0 ? bytes : bytes.left(split));
    platform::DriveTable& table = platform::DriveTable::instance();
    table.load();
    const auto drives = table.drives();
    for (const platform::Drive& d : drives)
        check(d.hostFolder.startsWith(QLatin1Char('/')) && d.hostFolder == QDir::cleanPath(d.hostFolder),
            "a drive's folder is not a clean absolute path", d.hostFolder);
    if (const auto alias = table.alias(QStringLiteral("Corvane3")))
        checkResolved(*alias);
    if (split < 0)
        return 0;
    for (const QByteArray& line : bytes.mid(split + 1).split('\x1e')) {
        const QString path = QString::fromUtf8(line);
        checkResolved(path);
        checkPictureName(path);
    }
    return 0;
}
