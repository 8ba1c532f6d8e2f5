#include "platform/paths.h"

#include "platform/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString g_shareDir;

QString perUserFolder(const QString& name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/corvane3/") + name;
}

QString expandHome(QString path)
{
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path.replace(0, 1, QDir::homePath());
    return path;
}

// The existing entry of dir whose name matches name without regard to case;
// the name itself when there is none (a file about to be created).
QString matchName(const QDir& dir, const QString& name)
{
    if (QFileInfo::exists(dir.filePath(name)))
        return name;
    const QStringList entries
        = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return name;
}

bool isInside(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

// Whether path, through every symbolic link on its way, stays inside the
// drive's folder. A path not there yet (a file about to be created) is
// judged by the deepest folder of it that exists, and a link that leads
// nowhere by where it would lead, so that nothing is ever written outside.
bool staysOnDrive(const QString& path, const QString& driveFolder)
{
    const QString root = QFileInfo(driveFolder).canonicalFilePath();
    if (root.isEmpty())
        return true; // a drive whose folder is missing holds nothing to reach
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        return false; // dangling: creating the file would follow it
    QString existing = path;
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return false;
        existing = parent;
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return !canonical.isEmpty() && isInside(canonical, root);
}

} // namespace

DriveTable& DriveTable::instance()
{
    static DriveTable table;
    return table;
}

QString DriveTable::configFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/corvane3/drives.conf");
}

void DriveTable::load()
{
    clear();
    setDrive(QLatin1Char('C'), perUserFolder(QStringLiteral("C")));
    setDrive(QLatin1Char('D'), shareDir() + QStringLiteral("/cd"), true);
    setDrive(QLatin1Char('A'), perUserFolder(QStringLiteral("A")));
    setAlias(QStringLiteral("Corvane3"), QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\Data\\"));

    QFile file(configFilePath());
    if (file.open(QIODevice::ReadOnly | QIODevice::Text))
        parseConfig(QString::fromUtf8(file.readAll()));

    // The per-user writable drives are folders we own: make them exist.
    for (const Drive& d : std::as_const(m_drives)) {
        if (!d.readOnly && d.hostFolder.startsWith(perUserFolder(QString())))
            QDir().mkpath(d.hostFolder);
    }
}

// drives.conf, one entry a line:
//   D: = /media/cdrom          a drive letter and its host folder
//   D: = /media/cdrom (read-only)
//   D: =                       no such drive
//   alias Corvane3 = C:\Program Files\Quillmere\Corvane3\Data\   an engine alias
// A line not understood is skipped and noted in problems() for the user.
void DriveTable::parseConfig(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        const QString line = lines.at(number - 1).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const auto problem = [&](const QString& why) {
            m_problems << QStringLiteral("Line %1, \"%2\": %3").arg(number).arg(line, why);
        };
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            problem(QStringLiteral("it has no \"=\"; it is skipped."));
            continue;
        }
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (key.startsWith(QLatin1String("alias "), Qt::CaseInsensitive)) {
            const QString name = key.mid(6).trimmed();
            if (value.isEmpty())
                problem(QStringLiteral("the alias line is empty; the default %1 is used.")
                            .arg(alias(name).value_or(QStringLiteral("(none)"))));
            else
                setAlias(name, value);
            continue;
        }
        if (key.size() != 2 || !key.at(0).isLetter() || key.at(1) != QLatin1Char(':')) {
            problem(QStringLiteral("\"%1\" is not a drive letter such as \"D:\" or an alias; it is skipped.")
                        .arg(key));
            continue;
        }
        const QChar letter = key.at(0).toUpper();
        const bool readOnly = value.endsWith(QLatin1String("(read-only)"));
        if (readOnly)
            value = value.chopped(11).trimmed();
        // Qt makes no folder of such a name at all, and an empty folder
        // would make the drive the whole computer.
        if (value.contains(QChar(0))) {
            problem(QStringLiteral(
                "the folder's name holds a character no folder name can hold; it is skipped."));
            continue;
        }
        value = expandHome(value);
        // A folder named from wherever the program was started would be a
        // different one each time (and one beginning with ':' is taken by
        // Qt for its own resources).
        if (!value.isEmpty() && !value.startsWith(QLatin1Char('/'))) {
            problem(QStringLiteral(
                "the folder must be a full path beginning with \"/\" or \"~/\"; it is skipped."));
            continue;
        }
        if (value.isEmpty())
            removeDrive(letter);
        else
            setDrive(letter, value, readOnly);
    }
}

void DriveTable::clear()
{
    m_drives.clear();
    m_aliases.clear();
    m_problems.clear();
}

void DriveTable::setDrive(QChar letter, const QString& hostFolder, bool readOnly)
{
    m_drives.insert(letter.toUpper(), Drive { QDir::cleanPath(QDir(hostFolder).absolutePath()), readOnly });
}

void DriveTable::removeDrive(QChar letter)
{
    m_drives.remove(letter.toUpper());
}

std::optional<Drive> DriveTable::drive(QChar letter) const
{
    const auto it = m_drives.find(letter.toUpper());
    if (it == m_drives.end())
        return std::nullopt;
    return *it;
}

void DriveTable::setAlias(const QString& alias, const QString& windowsFolder)
{
    m_aliases.insert(alias.toUpper(), windowsFolder);
}

std::optional<QString> DriveTable::alias(const QString& name) const
{
    const auto it = m_aliases.find(name.toUpper());
    if (it == m_aliases.end())
        return std::nullopt;
    return *it;
}

QString shareDir()
{
    if (!g_shareDir.isEmpty())
        return g_shareDir;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/corvane3"));
}

void setShareDir(const QString& hostFolder)
{
    g_shareDir = hostFolder;
}

std::optional<QString> resolve(const QString& windowsPath)
{
    if (windowsPath.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(windowsPath);
    if (windowsPath.size() < 2 || !windowsPath.at(0).isLetter() || windowsPath.at(1) != QLatin1Char(':'))
        return std::nullopt;
    const auto drive = DriveTable::instance().drive(windowsPath.at(0));
    if (!drive)
        return std::nullopt;

    QString path = drive->hostFolder;
    QStringList names;
    const QStringList parts = windowsPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (names.isEmpty())
                return std::nullopt;
            names.removeLast();
            continue;
        }
        if (part.contains(QLatin1Char('/')) || part.contains(QChar(0)))
            return std::nullopt;
        names.append(part);
    }
    for (const QString& name : std::as_const(names))
        path += QLatin1Char('/') + matchName(QDir(path), name);

    // Nothing is ever written to a read-only drive (the atlas "CD"), so a
    // link there is followed wherever it leads: a Maps folder or a sheet
    // that is a link reads as the file it names. On every other drive a
    // path must stay inside the drive's folder through every link.
    if (!drive->readOnly && !staysOnDrive(path, drive->hostFolder))
        return std::nullopt;
    return path;
}

QString unresolvedReason(const QString& windowsPath)
{
    if (windowsPath.isEmpty())
        return QStringLiteral("No file or folder is named (the path is empty).");
    if (windowsPath.size() < 2 || !windowsPath.at(0).isLetter() || windowsPath.at(1) != QLatin1Char(':'))
        return QStringLiteral("\"%1\" is not a full path beginning with a drive letter such as \"C:\\\".")
            .arg(windowsPath);
    const QString driveName = windowsPath.left(2).toUpper();
    const auto drive = DriveTable::instance().drive(windowsPath.at(0));
    if (!drive)
        return QStringLiteral("There is no drive %1 on this computer.").arg(driveName);
    // Walk the names as resolve() does, to say which part leads away.
    QString path = drive->hostFolder;
    QString shown = driveName;
    int depth = 0;
    const QStringList parts = windowsPath.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (--depth < 0)
                return QStringLiteral("\"%1\" leads outside drive %2 (through \"..\").")
                    .arg(windowsPath, driveName);
            path = QFileInfo(path).path();
            shown = shown.section(QLatin1Char('\\'), 0, -2);
            continue;
        }
        if (part.contains(QLatin1Char('/')) || part.contains(QChar(0)))
            return QStringLiteral("\"%1\" is not a valid name: it holds the character \"/\".").arg(part);
        ++depth;
        path += QLatin1Char('/') + matchName(QDir(path), part);
        shown += QLatin1Char('\\') + part;
        const QFileInfo info(path);
        if (info.isSymLink() && !staysOnDrive(path, drive->hostFolder)) {
            const QString target
                = info.symLinkTarget().isEmpty() ? QFile::symLinkTarget(path) : info.symLinkTarget();
            return QStringLiteral(
                "\"%1\" is a link that leads outside drive %2 (to %3); the program does not "
                "follow it there.")
                .arg(shown, driveName, QDir::toNativeSeparators(target));
        }
    }
    if (!staysOnDrive(path, drive->hostFolder))
        return QStringLiteral("\"%1\" leads outside drive %2 through a link.").arg(windowsPath, driveName);
    return QStringLiteral("\"%1\" cannot be reached.").arg(windowsPath);
}

QString hostPathOf(const QString& windowsPath)
{
    const auto host = resolve(windowsPath);
    if (!host)
        throw AppError(unresolvedReason(windowsPath));
    return *host;
}

std::optional<QString> aliasFolder(const QString& alias)
{
    const auto folder = DriveTable::instance().alias(alias);
    if (!folder)
        return std::nullopt;
    return resolve(*folder);
}

std::optional<QString> toWindowsPath(const QString& hostPath)
{
    const QString clean = QDir::cleanPath(QDir(hostPath).absolutePath());
    const auto drives = DriveTable::instance().drives();
    for (auto it = drives.begin(); it != drives.end(); ++it) {
        if (!isInside(clean, it->hostFolder))
            continue;
        QString rest = clean.mid(it->hostFolder.size());
        rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (!rest.startsWith(QLatin1Char('\\')))
            rest.prepend(QLatin1Char('\\'));
        return QString(it.key()) + QLatin1Char(':') + rest;
    }
    return std::nullopt;
}

bool fileExists(const QString& windowsPath)
{
    const auto host = resolve(windowsPath);
    return host && QFileInfo(*host).isFile();
}

bool isReadOnlyDrive(const QString& windowsPath)
{
    if (windowsPath.size() < 2 || windowsPath.at(1) != QLatin1Char(':'))
        return false;
    const auto drive = DriveTable::instance().drive(windowsPath.at(0));
    return drive && drive->readOnly;
}

QString systemReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("The drive is full.");
    case EROFS:
        return QStringLiteral("The drive is read-only (write-protected).");
    case EACCES:
    case EPERM:
        return QStringLiteral("Access is denied: the folder or file is write-protected.");
    case ENOENT:
        return QStringLiteral("The file or its folder does not exist.");
    case EISDIR:
        return QStringLiteral("A folder of that name is in the way.");
    case EIO:
        return QStringLiteral("The drive could not be read or written (input/output error); the disk may be "
                              "damaged or was removed.");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

namespace {

// Writes all of bytes to fd; false with errno set when it cannot.
bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 20)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void syncFolderOf(const QString& hostPath)
{
    const int folder
        = ::open(QFile::encodeName(QFileInfo(hostPath).path()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

// Puts temporary in the place of target: replacing it, or (replace false)
// only when no file of that name exists. Returns 0 or the errno.
int putInPlace(const QString& temporary, const QString& target, bool replace)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(target);
    if (replace)
        return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without RENAME_NOREPLACE: a hard link fails where the
    // name exists; one without hard links either (FAT) is checked first.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return EEXIST;
    return std::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

void copyFile(const QString& sourceWindowsPath, const QString& destinationWindowsPath, bool replace)
{
    const auto source = resolve(sourceWindowsPath);
    if (!source)
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(sourceWindowsPath, unresolvedReason(sourceWindowsPath)));
    const auto destination = resolve(destinationWindowsPath);
    if (!destination)
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(destinationWindowsPath, unresolvedReason(destinationWindowsPath)));
    // The copy replaces the name itself, never what a link there points at.
    if (QFileInfo(*destination).isSymLink()) {
        throw AppError(QStringLiteral("Cannot create file \"%1\". It is a link to another file.")
                           .arg(destinationWindowsPath));
    }
    if (isReadOnlyDrive(destinationWindowsPath))
        throw AppError(
            QStringLiteral("Cannot create file \"%1\". The drive is read-only.").arg(destinationWindowsPath));
    if (!replace && QFileInfo::exists(*destination))
        throw AppError(
            QStringLiteral("Cannot create file \"%1\". A file of that name is already there; it is "
                           "kept as it is.")
                .arg(destinationWindowsPath));
    copyHostFile(*source, *destination, replace, sourceWindowsPath, destinationWindowsPath);
}

void copyHostFile(const QString& sourceHostPath, const QString& destinationHostPath, bool replace,
    const QString& sourceShown, const QString& destinationShown)
{
    const QString from = sourceShown.isEmpty() ? QDir::toNativeSeparators(sourceHostPath) : sourceShown;
    const QString to
        = destinationShown.isEmpty() ? QDir::toNativeSeparators(destinationHostPath) : destinationShown;
    const int in = ::open(QFile::encodeName(sourceHostPath).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(from, systemReason(errno)));
    struct stat sourceInfo { };
    if (::fstat(in, &sourceInfo) != 0 || S_ISDIR(sourceInfo.st_mode)) {
        const int error = S_ISDIR(sourceInfo.st_mode) ? EISDIR : errno;
        ::close(in);
        throw AppError(
            QStringLiteral("Cannot open file \"%1\". %2")
                .arg(from, error == EISDIR ? QStringLiteral("It is a folder.") : systemReason(error)));
    }
    // Written beside the target under a passing name and put in place in one
    // step, so neither a kill nor a full disk leaves a half-written file
    // under the real name. Passing names end in ".part" and are cleared by
    // the next run of the command that made them.
    const QString temporary = destinationHostPath + QStringLiteral(".part");
    const QString temporaryShown = to + QStringLiteral(".part");
    ::unlink(QFile::encodeName(temporary).constData()); // left by an interrupted copy
    const int out
        = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        throw AppError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(temporaryShown, systemReason(error)));
    }
    const auto fail = [&](const QString& what, const QString& name, int error) {
        ::close(in);
        ::close(out);
        ::unlink(QFile::encodeName(temporary).constData());
        throw AppError(QStringLiteral("%1 \"%2\". %3").arg(what, name, systemReason(error)));
    };
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(QStringLiteral("Read error on"), from, errno);
        }
        if (n == 0)
            break;
        if (!writeAll(out, buffer.constData(), n))
            fail(QStringLiteral("Write error on"), to, errno);
    }
    if (::fsync(out) != 0 && errno != EINVAL)
        fail(QStringLiteral("Write error on"), to, errno);
    ::close(in);
    if (::close(out) != 0) {
        const int error = errno;
        ::unlink(QFile::encodeName(temporary).constData());
        throw AppError(QStringLiteral("Write error on \"%1\". %2").arg(to, systemReason(error)));
    }
    if (const int error = putInPlace(temporary, destinationHostPath, replace); error != 0) {
        ::unlink(QFile::encodeName(temporary).constData());
        if (error == EEXIST)
            throw AppError(
                QStringLiteral("Cannot create file \"%1\". A file of that name is already there; it is "
                               "kept as it is.")
                    .arg(to));
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(to, systemReason(error)));
    }
    syncFolderOf(destinationHostPath);
}

void saveDurably(const QString& hostPath, const QByteArray& bytes)
{
    const QString shown = toWindowsPath(hostPath).value_or(QDir::toNativeSeparators(hostPath));
    const QString temporary = hostPath + QStringLiteral(".part");
    const int out
        = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(shown, systemReason(errno)));
    if (!writeAll(out, bytes.constData(), bytes.size()) || (::fsync(out) != 0 && errno != EINVAL)) {
        const int error = errno;
        ::close(out);
        ::unlink(QFile::encodeName(temporary).constData());
        throw AppError(QStringLiteral("Write error on \"%1\". %2").arg(shown, systemReason(error)));
    }
    ::close(out);
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(hostPath).constData()) != 0) {
        const int error = errno;
        ::unlink(QFile::encodeName(temporary).constData());
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(shown, systemReason(error)));
    }
    syncFolderOf(hostPath);
}

void syncFolder(const QString& hostFolder)
{
    const int folder = ::open(QFile::encodeName(hostFolder).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void renameHostFile(const QString& sourceHostPath, const QString& targetHostPath)
{
    if (std::rename(
            QFile::encodeName(sourceHostPath).constData(), QFile::encodeName(targetHostPath).constData())
        != 0) {
        const int error = errno;
        throw AppError(
            QStringLiteral("Cannot rename \"%1\" to \"%2\". %3")
                .arg(toWindowsPath(sourceHostPath).value_or(QDir::toNativeSeparators(sourceHostPath)),
                    toWindowsPath(targetHostPath).value_or(QDir::toNativeSeparators(targetHostPath)),
                    systemReason(error)));
    }
    syncFolder(QFileInfo(targetHostPath).path());
}

void renameOver(const QString& sourceWindowsPath, const QString& targetWindowsPath)
{
    const auto source = resolve(sourceWindowsPath);
    const auto target = resolve(targetWindowsPath);
    if (!source || !target) {
        throw AppError(QStringLiteral("Cannot rename \"%1\" to \"%2\". %3")
                           .arg(sourceWindowsPath, targetWindowsPath,
                               unresolvedReason(!source ? sourceWindowsPath : targetWindowsPath)));
    }
    if (sourceWindowsPath.left(2).compare(targetWindowsPath.left(2), Qt::CaseInsensitive) != 0)
        throw AppError(QStringLiteral("Cannot rename \"%1\" to \"%2\": they are on different drives.")
                           .arg(sourceWindowsPath, targetWindowsPath));
    if (std::rename(QFile::encodeName(*source).constData(), QFile::encodeName(*target).constData()) != 0) {
        throw AppError(QStringLiteral("Cannot rename \"%1\" to \"%2\". %3")
                           .arg(sourceWindowsPath, targetWindowsPath, systemReason(errno)));
    }
    // The folder's entry must reach the disk too, or a power cut could bring
    // back the old name.
    const int folder
        = ::open(QFile::encodeName(QFileInfo(*target).path()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace platform
