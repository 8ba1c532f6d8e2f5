#include "import/legacy_import.h"

#include "data/user_tables.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace corvane::legacy {

using platform::AppError;

namespace {

constexpr int kLastPictureNumber = 999999;

std::function<void(std::string_view)> g_stepHook;

void step(std::string_view name)
{
    if (g_stepHook)
        g_stepHook(name);
}

QString sixDigits(int number)
{
    return QStringLiteral("%1").arg(number, 6, 10, QLatin1Char('0'));
}

// What our side holds before the import.
struct Existing {
    int placeCount = 0;
    QSet<int> placeIds;
    int pixCount = 0;
    QSet<QString> pictureNames; // upper case: Filename of records and base names of files
};

Existing existingState(const Target& target, ImportMode mode, const QString& pixHost)
{
    Existing e;
    if (mode == ImportMode::Add) {
        const int id = target.descrip->fieldIndex(QStringLiteral("Placeid"));
        e.placeCount = target.descrip->recordCount();
        for (int row = 0; row < e.placeCount; ++row)
            e.placeIds.insert(target.descrip->valueAt(row, id).toInt());
        const int name = target.pix->fieldIndex(QStringLiteral("Filename"));
        e.pixCount = target.pix->recordCount();
        for (int row = 0; row < e.pixCount; ++row)
            e.pictureNames.insert(target.pix->valueAt(row, name).toString().toUpper());
    }
    // Files stay in the picture folder when their records go; never overwrite one.
    const QStringList files = QDir(pixHost).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& file : files)
        e.pictureNames.insert(file.section(QLatin1Char('.'), 0, 0).toUpper());
    return e;
}

struct PlannedPicture {
    QVariantList row;
    QString source; // host path; empty when the file is missing
    QString fileName; // in our picture folder
};

struct Plan {
    QList<QVariantList> places;
    QList<PlannedPicture> pictures;
    int renumberedPlaces = 0;
    int renumberedPictures = 0;
};

// Places keep their identifiers where they are free; the others take free
// ones. Returns the original identifier -> ours.
QHash<int, int> planPlaces(const Survey& survey, Existing& e, Plan& plan)
{
    QSet<int> kept;
    for (const Place& p : survey.tables.places)
        if (!e.placeIds.contains(p.placeId))
            kept.insert(p.placeId);
    e.placeIds.unite(kept);
    QHash<int, int> ids;
    QSet<int> seen;
    for (const Place& p : survey.tables.places) {
        int id = p.placeId;
        if (!kept.contains(id) || seen.contains(id)) {
            id = freePlaceId(e.placeCount + int(plan.places.size()), e.placeIds);
            e.placeIds.insert(id);
            ++plan.renumberedPlaces;
        }
        seen.insert(p.placeId);
        if (!ids.contains(p.placeId))
            ids.insert(p.placeId, id);
        plan.places << QVariantList { id, p.place, p.page, p.coords, p.memo };
    }
    return ids;
}

void planPictures(const Survey& survey, const QHash<int, int>& ids, Existing& e, Plan& plan)
{
    QSet<QString> kept;
    for (const Picture& p : survey.tables.pictures)
        if (ids.contains(p.placeId) && !e.pictureNames.contains(p.fileName.toUpper())
            && !p.fileName.isEmpty())
            kept.insert(p.fileName.toUpper());
    e.pictureNames.unite(kept);
    QSet<QString> seen;
    for (qsizetype i = 0; i < survey.tables.pictures.size(); ++i) {
        const Picture& p = survey.tables.pictures[i];
        if (!ids.contains(p.placeId))
            continue;
        QString name = p.fileName;
        if (!kept.contains(name.toUpper()) || seen.contains(name.toUpper())) {
            const int number = freePictureNumber(e.pixCount + int(plan.pictures.size()), e.pictureNames);
            if (number == 0)
                throw AppError(QStringLiteral("There is no free picture number left: picture numbers end at "
                                              "999999. Nothing was imported."));
            name = sixDigits(number);
            e.pictureNames.insert(name);
            ++plan.renumberedPictures;
        }
        seen.insert(p.fileName.toUpper());
        plan.pictures << PlannedPicture { QVariantList { name, ids.value(p.placeId), p.caption, p.type },
            survey.pictureFiles.value(i), name + p.type };
    }
}

// The replaced tables stay in a dated folder beside the live ones.
QStringList keepCopyOfTables(const Target& target)
{
    const QString folder = corvane::keepCopyOfTables(
        { target.descrip, target.pix }, target.dataFolder, QStringLiteral("Before import"));
    return { folder + target.descrip->def().fileName, folder + target.pix->def().fileName };
}

// Files made so far, removed again when the import fails.
struct MadeFiles {
    QStringList temporary; // host paths
    QStringList placed; // host paths under their final names
    void removeAll()
    {
        for (const QString& path : std::as_const(temporary) + placed)
            QFile::remove(path);
        temporary.clear();
        placed.clear();
    }
};

QString hostOf(const QString& windowsPath)
{
    const auto host = platform::resolve(windowsPath);
    if (!host)
        throw AppError(QStringLiteral("The folder of \"%1\" does not exist.").arg(windowsPath));
    return *host;
}

void copyPictures(const Target& target, const Plan& plan, MadeFiles& made)
{
    for (const PlannedPicture& p : plan.pictures) {
        if (p.source.isEmpty())
            continue;
        const QString temporary = target.pixFolder + QStringLiteral("~import-") + p.fileName;
        made.temporary << hostOf(temporary);
        platform::copyFile(p.source, temporary);
    }
}

void placePictures(const Target& target, const Plan& plan, MadeFiles& made)
{
    for (const PlannedPicture& p : plan.pictures) {
        if (p.source.isEmpty())
            continue;
        const QString temporary = hostOf(target.pixFolder + QStringLiteral("~import-") + p.fileName);
        const QString final = QFileInfo(temporary).dir().filePath(p.fileName);
        if (!QFile::rename(temporary, final))
            throw AppError(QStringLiteral("Cannot rename the copied picture to \"%1\".")
                               .arg(target.pixFolder + p.fileName));
        made.temporary.removeOne(temporary);
        made.placed << final;
    }
}

// Reloads both tables from their files after a rolled-back batch.
void reopen(const Target& target)
{
    for (platform::Table* table : { target.descrip, target.pix }) {
        table->cancel();
        table->close();
        table->open();
    }
}

void storeAll(const Target& target, const Plan& plan, ImportMode mode, MadeFiles& made)
{
    target.database->beginBatch();
    try {
        if (mode == ImportMode::Replace) {
            target.pix->deleteAllRecords();
            target.descrip->deleteAllRecords();
        }
        target.descrip->appendRecords(plan.places);
        QList<QVariantList> pictures;
        for (const PlannedPicture& p : plan.pictures)
            pictures << p.row;
        target.pix->appendRecords(pictures);
        step("stored");
        placePictures(target, plan, made);
        step("renamed");
        target.database->commitBatch();
    } catch (...) {
        target.database->rollbackBatch();
        reopen(target);
        throw;
    }
}

} // namespace

int freePlaceId(int count, const QSet<int>& used)
{
    if (!used.contains(count))
        return count;
    return *std::max_element(used.begin(), used.end()) + 1;
}

int freePictureNumber(int count, const QSet<QString>& used)
{
    for (int n = count + 1; n <= kLastPictureNumber; ++n)
        if (!used.contains(sixDigits(n)))
            return n;
    return 0;
}

void setImportStepHook(std::function<void(std::string_view)> hook)
{
    g_stepHook = std::move(hook);
}

QString hostFolder(const QString& folder)
{
    const auto host = platform::resolve(folder);
    return host && QFileInfo(*host).isDir() ? *host : QString();
}

QString pictureFolderBeside(const QString& dataFolder)
{
    const QString data = hostFolder(dataFolder);
    if (data.isEmpty())
        return {};
    const QString pix = findFile(QFileInfo(data).dir().path(), QStringLiteral("Pix"));
    return QFileInfo(pix).isDir() ? pix : QString();
}

Survey survey(const QString& dataFolder, const QString& pixFolder, int timeoutMs)
{
    const QString data = hostFolder(dataFolder);
    if (data.isEmpty())
        throw AppError(QStringLiteral("The folder \"%1\" does not exist.").arg(dataFolder));
    Survey s;
    s.tables = readTables(data, timeoutMs);
    s.pixFolder = pixFolder.isEmpty() ? QString() : hostFolder(pixFolder);
    QSet<int> places;
    for (const Place& p : std::as_const(s.tables.places))
        places.insert(p.placeId);
    for (const Picture& p : std::as_const(s.tables.pictures)) {
        const QString file = findFile(s.pixFolder, p.fileName + p.type);
        const bool present = !p.fileName.isEmpty() && QFileInfo(file).isFile();
        s.pictureFiles << (present ? file : QString());
        (present ? s.filesPresent : s.filesMissing) += 1;
        if (!places.contains(p.placeId))
            ++s.orphanPictures;
    }
    return s;
}

Outcome importInto(const Target& target, const Survey& survey, ImportMode mode)
{
    target.descrip->resolvePending();
    target.pix->resolvePending();
    const QString pixHost = hostOf(target.pixFolder);
    QDir().mkpath(pixHost);
    Existing existing = existingState(target, mode, pixHost);
    Plan plan;
    const QHash<int, int> ids = planPlaces(survey, existing, plan);
    planPictures(survey, ids, existing, plan);

    Outcome outcome;
    // Added or replaced, the tables change: "go back" returns to this copy.
    outcome.keptCopies = keepCopyOfTables(target);
    MadeFiles made;
    target.descrip->disableControls();
    target.pix->disableControls();
    try {
        copyPictures(target, plan, made);
        step("copied");
        storeAll(target, plan, mode, made);
    } catch (const std::exception& e) {
        made.removeAll();
        target.descrip->enableControls();
        target.pix->enableControls();
        throw AppError(QStringLiteral("Nothing was imported. %1").arg(QString::fromStdString(e.what())));
    }
    target.descrip->first();
    target.pix->first();
    target.descrip->enableControls();
    target.pix->enableControls();
    outcome.places = int(plan.places.size());
    outcome.pictures = int(plan.pictures.size());
    outcome.filesCopied = int(made.placed.size());
    outcome.renumberedPlaces = plan.renumberedPlaces;
    outcome.renumberedPictures = plan.renumberedPictures;
    return outcome;
}

} // namespace corvane::legacy
