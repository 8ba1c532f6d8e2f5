#include "app/import_command.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "import/legacy_import.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QGuiApplication>

namespace corvane {

namespace {

using legacy::ImportMode;

QMessageBox::StandardButton ask(
    QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons)
{
    return platform::messageBox({ icon, platform::applicationTitle(), text, buttons });
}

void tell(QMessageBox::Icon icon, const QString& text)
{
    ask(icon, text, QMessageBox::Ok);
}

// The original's picture folder: beside the Data folder, or where the user
// says; empty when the user goes on without one.
std::optional<QString> choosePictureFolder(QWidget* parent, const QString& dataFolder)
{
    const QString beside = legacy::pictureFolderBeside(dataFolder);
    if (!beside.isEmpty())
        return beside;
    const auto answer = ask(QMessageBox::Question,
        QStringLiteral("The original program's picture folder (Pix) was not found beside \"%1\".\n\n"
                       "Yes: choose the picture folder.\nNo: import without picture files.")
            .arg(dataFolder),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel)
        return std::nullopt;
    if (answer == QMessageBox::No)
        return QString();
    return platform::chooseFolderDialog(
        parent, QStringLiteral("Choose the original program's picture folder (Pix)"), dataFolder);
}

QString summaryOf(const legacy::Survey& s)
{
    QString text = QStringLiteral("Found %1 places and %2 pictures (%3 picture files present, %4 missing).")
                       .arg(s.tables.places.size())
                       .arg(s.tables.pictures.size())
                       .arg(s.filesPresent)
                       .arg(s.filesMissing);
    if (s.orphanPictures > 0)
        text += QStringLiteral("\n%1 pictures belong to no place and will not be imported.")
                    .arg(s.orphanPictures);
    if (!s.tables.unreadable.isEmpty()) {
        const QStringList shown = s.tables.unreadable.mid(0, 10);
        text += QStringLiteral("\n\nThese could not be read and will be left out or empty:\n")
            + shown.join(QLatin1Char('\n'));
        if (s.tables.unreadable.size() > shown.size())
            text += QStringLiteral("\n... and %1 more.").arg(s.tables.unreadable.size() - shown.size());
    }
    return text;
}

// Add or replace; nullopt when the user stops.
std::optional<ImportMode> chooseMode(const legacy::Survey& s, bool listIsEmpty)
{
    if (listIsEmpty) {
        const auto answer = ask(QMessageBox::Question, summaryOf(s) + QStringLiteral("\n\nImport them?"),
            QMessageBox::Yes | QMessageBox::Cancel);
        return answer == QMessageBox::Yes ? std::optional(ImportMode::Add) : std::nullopt;
    }
    const auto answer = ask(QMessageBox::Question,
        summaryOf(s)
            + QStringLiteral(
                "\n\nYes: add them to your current list.\nNo: replace your current list with them "
                "(a copy of your current tables is kept in the Data folder).\nCancel: change nothing."),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return ImportMode::Add;
    if (answer == QMessageBox::No)
        return ImportMode::Replace;
    return std::nullopt;
}

QString reportOf(const legacy::Outcome& o)
{
    QString text = QStringLiteral("Imported %1 places and %2 pictures; %3 picture files were copied.")
                       .arg(o.places)
                       .arg(o.pictures)
                       .arg(o.filesCopied);
    if (o.renumberedPlaces + o.renumberedPictures > 0)
        text += QStringLiteral("\n%1 places and %2 pictures took new numbers, as theirs were in use.")
                    .arg(o.renumberedPlaces)
                    .arg(o.renumberedPictures);
    if (!o.keptCopies.isEmpty())
        text += QStringLiteral("\nYour previous list is kept in:\n") + o.keptCopies.join(QLatin1Char('\n'));
    return text;
}

void importFrom(const QString& dataFolder, const QString& pixFolder)
{
    const legacy::Survey s = legacy::survey(dataFolder, pixFolder);
    if (s.tables.memoFileMissing
        && ask(QMessageBox::Warning,
               QStringLiteral(
                   "DESCRIP.MB: the memo file is missing: descriptions longer than the 90 characters "
                   "that DESCRIP.DB holds itself will be empty. Import anyway?"),
               QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
        return;
    const legacy::Target target { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
        vProgramPath + QStringLiteral("Pix\\"), vProgramPath + QStringLiteral("Data\\") };
    target.descrip->open();
    target.pix->open();
    const auto mode = chooseMode(s, target.descrip->isEmpty() && target.pix->isEmpty());
    if (!mode)
        return;
    tell(QMessageBox::Information, reportOf(legacy::importInto(target, s, *mode)));
}

} // namespace

void runLegacyImport(QWidget* parent)
{
    const auto folder = platform::chooseFolderDialog(parent,
        QStringLiteral("Choose the original program's Data folder, or the root of its backup diskette"),
        QStringLiteral("C:\\"));
    if (!folder)
        return;
    if (legacy::hostFolder(*folder).isEmpty()) {
        tell(QMessageBox::Warning, QStringLiteral("The folder \"%1\" does not exist.").arg(*folder));
        return;
    }
    const auto pixFolder = choosePictureFolder(parent, *folder);
    if (!pixFolder)
        return;
    try {
        importFrom(*folder, *pixFolder);
    } catch (const std::exception& e) {
        tell(QMessageBox::Warning,
            QStringLiteral("Importing from \"%1\" failed.\n\n%2")
                .arg(*folder, QString::fromStdString(e.what())));
    }
}

} // namespace corvane
