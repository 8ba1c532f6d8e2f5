#include "app/import_command.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "import/legacy_import.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QProgressDialog>

#include <algorithm>

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

// The window shown while the tables are read or the import runs: it
// appears when a step takes longer than a moment, the rest of the program
// keeps drawing itself behind it, and its Stop button ends the step with
// nothing changed.
class ProgressWindow {
public:
    explicit ProgressWindow(QWidget* parent)
        : m_dialog(parent)
    {
        m_dialog.setObjectName(QStringLiteral("dlgImportProgress"));
        m_dialog.setWindowTitle(QGuiApplication::applicationDisplayName());
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setCancelButtonText(QStringLiteral("Stop"));
        m_dialog.setMinimumDuration(300);
        m_dialog.setAutoReset(false);
        m_dialog.setAutoClose(false);
        m_dialog.setRange(0, 1000);
        m_dialog.setLabelText(QStringLiteral("Importing from the original program..."));
        m_dialog.setValue(0);
    }

    void show(const QString& stage, qint64 done, qint64 total)
    {
        QString text = stage;
        if (total > 0)
            text += QStringLiteral(": %1 of %2").arg(QLocale().toString(done), QLocale().toString(total));
        if (m_dialog.labelText() != text)
            m_dialog.setLabelText(text);
        m_dialog.setValue(total > 0 ? int(std::min<qint64>(999, done * 1000 / total)) : 0);
    }

    legacy::ReadWatch readWatch()
    {
        legacy::ReadWatch watch;
        watch.progress
            = [this](const QString& stage, qint64 done, qint64 total) { show(stage, done, total); };
        watch.cancelled = [this] { return m_dialog.wasCanceled(); };
        return watch;
    }

    // The import runs here, on the user-interface thread: each report lets
    // the events waiting be handled.
    legacy::ImportProgress importProgress()
    {
        return [this](const QString& stage, qint64 done, qint64 total) {
            show(stage, done, total);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return !m_dialog.wasCanceled();
        };
    }

private:
    QProgressDialog m_dialog;
};

// Whether the folder holds the original program's tables; says what is
// wrong when it does not.
bool holdsOriginalTables(const QString& folder)
{
    const legacy::FolderCheck check = legacy::checkFolder(legacy::hostFolder(folder));
    if (check.ownTables) {
        tell(QMessageBox::Information,
            QStringLiteral(
                "\"%1\" holds tables of this program (one of its backups, or its own Data folder), "
                "not the original program's.\n\n"
                "To bring back a backup of this program, use \"Restore from backup...\" in the "
                "\"More...\" menu of the backup panel.")
                .arg(folder));
        return false;
    }
    if (!check.missing.isEmpty()) {
        tell(QMessageBox::Warning,
            QStringLiteral(
                "The original program's tables are not in \"%1\" (%2 %3 missing).\n\n"
                "The import needs DESCRIP.DB with its memo file DESCRIP.MB, and PIX.DB. The original "
                "program kept them in its Data folder (%4Data\\ on the computer it ran on); its "
                "backup diskette holds them in its root folder (A:\\). Choose one of those folders.")
                .arg(folder, check.missing.join(QStringLiteral(" and ")),
                    check.missing.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"), vProgramPath));
        return false;
    }
    return true;
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

// A list for a message: the first ten, and how many more.
QString listOf(const QString& title, const QStringList& items)
{
    if (items.isEmpty())
        return {};
    const QStringList shown = items.mid(0, 10);
    QString text = QStringLiteral("\n\n") + title + QLatin1Char('\n') + shown.join(QLatin1Char('\n'));
    if (items.size() > shown.size())
        text += QStringLiteral("\n... and %1 more.").arg(items.size() - shown.size());
    return text;
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
    text += listOf(QStringLiteral("These pictures will not be imported: their file names are not names of "
                                  "picture files:"),
        s.unusableNames);
    text += listOf(
        QStringLiteral("These could not be read and will be left out or empty:"), s.tables.unreadable);
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

QString reportOf(const legacy::Outcome& o, const legacy::Survey& s)
{
    QString text = QStringLiteral("Imported %1 places and %2 pictures; %3 picture files were copied.")
                       .arg(o.places)
                       .arg(o.pictures)
                       .arg(o.filesCopied);
    if (o.renumberedPlaces + o.renumberedPictures > 0)
        text += QStringLiteral("\n%1 places and %2 pictures took new numbers, as theirs were in use.")
                    .arg(o.renumberedPlaces)
                    .arg(o.renumberedPictures);
    if (o.orphanPictures > 0)
        text += QStringLiteral("\n%1 pictures belong to no place and were not imported.")
                    .arg(o.orphanPictures);
    text += listOf(QStringLiteral("These picture files could not be read; their pictures were imported "
                                  "without them:"),
        o.unreadableFiles);
    text += listOf(QStringLiteral("These pictures were not imported: their file names are not names of "
                                  "picture files:"),
        o.unusableNames);
    text
        += listOf(QStringLiteral("These could not be read and were left out or empty:"), s.tables.unreadable);
    if (!o.keptCopies.isEmpty())
        text += QStringLiteral("\n\nYour previous list is kept in:\n") + o.keptCopies.join(QLatin1Char('\n'));
    return text;
}

bool hasPicturesToImport(const legacy::Survey& s)
{
    return s.tables.pictures.size() > s.orphanPictures + s.unusableNames.size();
}

void importFrom(QWidget* parent, const QString& dataFolder)
{
    legacy::Survey s;
    {
        ProgressWindow progress(parent);
        s = legacy::surveyTables(dataFolder, progress.readWatch());
    }
    QString pixFolder;
    if (hasPicturesToImport(s)) {
        const auto chosen = choosePictureFolder(parent, dataFolder);
        if (!chosen)
            return;
        pixFolder = *chosen;
    }
    {
        ProgressWindow progress(parent);
        legacy::locatePictureFiles(s, pixFolder, progress.importProgress());
    }
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
    legacy::Outcome outcome;
    {
        ProgressWindow progress(parent);
        outcome = legacy::importInto(target, s, *mode, progress.importProgress());
    }
    emit DataModule1->userTablesReplaced();
    tell(QMessageBox::Information, reportOf(outcome, s));
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
    if (!holdsOriginalTables(*folder))
        return;
    try {
        importFrom(parent, *folder);
    } catch (const legacy::Cancelled& stopped) {
        tell(QMessageBox::Information, stopped.message());
    } catch (const std::exception& e) {
        tell(QMessageBox::Warning,
            QStringLiteral("Importing from \"%1\" failed.\n\n%2")
                .arg(*folder, QString::fromStdString(e.what())));
    }
}

} // namespace corvane
