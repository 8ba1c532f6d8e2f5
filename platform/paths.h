#pragma once
// Windows-form paths ("C:\Program Files\...\") as the program's users see
// them, and the one resolver that turns them into host paths: the drive
// letter through the drive table, backslashes into separators, each name
// matched without regard to case, never outside the drive's folder.
//
// The drive table comes from defaults (C: installation, D: the shipped atlas
// "CD", A: backups, all per user) and the user's drives.conf in the XDG
// config folder. A letter the table does not name is a missing drive.

#include <QChar>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

struct Drive {
    QString hostFolder;
    bool readOnly = false;
};

class DriveTable {
public:
    static DriveTable& instance();

    // Defaults plus the user's drives.conf; called once at start-up.
    void load();
    void clear();
    void setDrive(QChar letter, const QString& hostFolder, bool readOnly = false);
    void removeDrive(QChar letter);
    std::optional<Drive> drive(QChar letter) const;
    QMap<QChar, Drive> drives() const { return m_drives; }

    // Engine aliases: alias name -> Windows folder (Corvane3 -> ...\Data\).
    void setAlias(const QString& alias, const QString& windowsFolder);
    std::optional<QString> alias(const QString& name) const;

    static QString configFilePath(); // $XDG_CONFIG_HOME/corvane3/drives.conf
    // The lines of drives.conf that load() could not use, each with its
    // number and why; empty when all was well.
    QStringList problems() const { return m_problems; }

private:
    void parseConfig(const QString& text);
    QMap<QChar, Drive> m_drives;
    QMap<QString, QString> m_aliases; // keys in upper case
    QStringList m_problems;
};

// The folder the program ships its data in (share/corvane3 beside bin/).
QString shareDir();
void setShareDir(const QString& hostFolder);

// Host path of a Windows-form path; nullopt for a missing drive, a path
// outside its drive, or a malformed path. An absolute host path ("/...")
// passes through unchanged (a file the user chose in a file dialog).
// On a read-only drive (the atlas "CD"), where nothing is ever written,
// symbolic links are followed wherever they lead; on the other drives a
// path that leaves the drive's folder through a link does not resolve, so
// no write can leave its drive.
std::optional<QString> resolve(const QString& windowsPath);

// Why resolve() gives nothing for this path, in the user's words: no such
// drive, an empty or malformed path, or a folder that is a link leading
// outside its drive (naming it). Meant for paths that did not resolve.
QString unresolvedReason(const QString& windowsPath);

// resolve(), or AppError with unresolvedReason().
QString hostPathOf(const QString& windowsPath);

// The user's words for a system error number: a full drive, a write-
// protected one, a missing file, ...
QString systemReason(int error);

// Host folder of an engine alias, resolved through the drive table.
std::optional<QString> aliasFolder(const QString& alias);

// Windows form of a host path that lies on one of the drives, else nullopt.
std::optional<QString> toWindowsPath(const QString& hostPath);

bool fileExists(const QString& windowsPath);
bool isReadOnlyDrive(const QString& windowsPath);

// Byte-for-byte copy. The copy is written under the passing name
// destination + ".part" and put in place in one step, so the destination is
// never seen half-written, even after a kill or on a full drive. With
// replace false a file already at the destination is never replaced (the
// copy fails instead). Throws AppError naming the file and the reason in
// the user's words ("The drive is full.") when it fails; nothing is left
// under either name then.
void copyFile(const QString& sourceWindowsPath, const QString& destinationWindowsPath, bool replace = true);
// The same for host paths; the shown names (default: the host paths) are
// the ones messages use.
void copyHostFile(const QString& sourceHostPath, const QString& destinationHostPath, bool replace = true,
    const QString& sourceShown = {}, const QString& destinationShown = {});

// Writes bytes as the whole file at hostPath in one step (through a passing
// name ending ".part"), on the disk before it returns. Throws AppError.
void saveDurably(const QString& hostPath, const QByteArray& bytes);
// Puts a folder's entries (renames, new and removed files) on the disk.
void syncFolder(const QString& hostFolder);

// Puts the file at sourceWindowsPath in the place of targetWindowsPath in one
// step (both on one drive): the target is either the old file or the new one,
// never a mix, even if the machine stops in between. Throws AppError.
void renameOver(const QString& sourceWindowsPath, const QString& targetWindowsPath);
// The same for host paths (one folder, or one file system).
void renameHostFile(const QString& sourceHostPath, const QString& targetHostPath);

} // namespace platform
