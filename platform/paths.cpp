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
        if (value.isEmpty())
            removeDrive(letter);
        else
            setDrive(letter, expandHome(value), readOnly);
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

    if (!staysOnDrive(path, drive->hostFolder))
        return std::nullopt;
    return path;
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

void copyFile(const QString& sourceWindowsPath, const QString& destinationWindowsPath)
{
    const auto source = resolve(sourceWindowsPath);
    QFile in(source.value_or(QString()));
    if (!source || !in.open(QIODevice::ReadOnly)) {
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(sourceWindowsPath,
                               source ? in.errorString() : QStringLiteral("The drive does not exist.")));
    }
    const auto destination = resolve(destinationWindowsPath);
    // The copy replaces the name itself, never what a link there points at.
    if (destination && QFileInfo(*destination).isSymLink()) {
        throw AppError(QStringLiteral("Cannot create file \"%1\". It is a link to another file.")
                           .arg(destinationWindowsPath));
    }
    if (!destination || isReadOnlyDrive(destinationWindowsPath)) {
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(destinationWindowsPath,
                               destination ? QStringLiteral("The drive is read-only.")
                                           : QStringLiteral("The drive does not exist.")));
    }
    // Written beside the target and renamed into place, so a full disk never
    // leaves a half-written file under the real name.
    QSaveFile out(*destination);
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(destinationWindowsPath, out.errorString()));
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            throw AppError(
                QStringLiteral("Read error on \"%1\". %2").arg(sourceWindowsPath, in.errorString()));
        if (out.write(chunk) != chunk.size())
            throw AppError(
                QStringLiteral("Write error on \"%1\". %2").arg(destinationWindowsPath, out.errorString()));
    }
    if (!out.commit())
        throw AppError(
            QStringLiteral("Write error on \"%1\". %2").arg(destinationWindowsPath, out.errorString()));
}

void renameOver(const QString& sourceWindowsPath, const QString& targetWindowsPath)
{
    const auto source = resolve(sourceWindowsPath);
    const auto target = resolve(targetWindowsPath);
    if (!source || !target
        || sourceWindowsPath.left(2).compare(targetWindowsPath.left(2), Qt::CaseInsensitive) != 0)
        throw AppError(
            QStringLiteral("Cannot rename \"%1\" to \"%2\".").arg(sourceWindowsPath, targetWindowsPath));
    if (std::rename(QFile::encodeName(*source).constData(), QFile::encodeName(*target).constData()) != 0) {
        throw AppError(
            QStringLiteral("Cannot rename \"%1\" to \"%2\". %3")
                .arg(sourceWindowsPath, targetWindowsPath, QString::fromLocal8Bit(std::strerror(errno))));
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
