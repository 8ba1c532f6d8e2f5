#include "import/legacy_import.h"

#include "data/user_tables.h"

#include "imaging/picture_files.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <limits>
#include <unistd.h>

namespace corvane::legacy {

using platform::AppError;

namespace {

constexpr int kLastPictureNumber = 999999;
const QString kTemporaryPrefix = QStringLiteral("~import-");
// Records stored in one go between two looks at the user's stop.
constexpr qsizetype kRecordsAtATime = 5000;

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

QString shownName(const Picture& p)
{
    if (p.fileName.isEmpty() && p.type.isEmpty())
        return p.caption.isEmpty()
            ? QStringLiteral("a picture without a file name")
            : QStringLiteral("the picture \"%1\", which has no file name").arg(p.caption);
    return QStringLiteral("\"%1%2\"").arg(p.fileName, p.type);
}

QSet<int> placeIdsOf(const Tables& tables)
{
    QSet<int> ids;
    ids.reserve(tables.places.size());
    for (const Place& p : tables.places)
        ids.insert(p.placeId);
    return ids;
}

// The progress callback, asked at most every few milliseconds (and at the
// end of each stage); throws Cancelled when the user stopped.
class Pacer {
public:
    explicit Pacer(const ImportProgress& progress)
        : m_progress(progress)
    {
        m_clock.start();
    }
    void operator()(const QString& stage, qint64 done, qint64 total, bool always = false)
    {
        if (!m_progress || (!always && m_clock.elapsed() < 15))
            return;
        m_clock.restart();
        if (!m_progress(stage, done, total))
            throw Cancelled();
    }

private:
    const ImportProgress& m_progress;
    QElapsedTimer m_clock;
};

// Work on the files, which a slow or busy disk (a CD) can make take long for
// each step: done on a thread of its own while this thread, the user
// interface's, reports progress and handles events. The work looks at stop
// between its steps and counts what it has done. Throws what the work threw,
// or Cancelled when the user stopped (once the work has stopped too).
using FileWork = std::function<void(const std::atomic<bool>& stop, std::atomic<qint64>& done)>;

void runAside(const QString& stage, qint64 total, const FileWork& work, Pacer& pace)
{
    std::atomic<bool> stop { false };
    std::atomic<qint64> done { 0 };
    auto finished = std::async(std::launch::async, [&] { work(stop, done); });
    try {
        while (finished.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            pace(stage, done.load(), total);
    } catch (...) {
        stop = true;
        finished.wait();
        throw;
    }
    finished.get();
    pace(stage, total, total, true);
}

void stopIfAsked(const std::atomic<bool>& stop)
{
    if (stop)
        throw Cancelled();
}

// What our side holds before the import.
struct Existing {
    int placeCount = 0;
    QSet<int> placeIds;
    int pixCount = 0;
    QSet<QString> pictureNames; // upper case: Filename of records and base names of files
};

Existing existingState(const Target& target, ImportMode mode, const QString& pixHost, Pacer& pace)
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
    // Files stay in the picture folder when their records go; never
    // overwrite one. The files of an import that was interrupted (their
    // records were never stored) go.
    QSet<QString> files;
    runAside(
        QStringLiteral("Looking at your picture folder"), 0,
        [&](const std::atomic<bool>& stop, std::atomic<qint64>& done) {
            QDirIterator entries(
                pixHost, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
            while (entries.hasNext()) {
                entries.next();
                stopIfAsked(stop);
                ++done;
                const QString name = entries.fileName();
                if (name.startsWith(kTemporaryPrefix) && entries.fileInfo().isFile())
                    QFile::remove(entries.filePath());
                else
                    files.insert(name.section(QLatin1Char('.'), 0, 0).toUpper());
            }
        },
        pace);
    e.pictureNames.unite(files);
    return e;
}

struct PlannedPicture {
    QVariantList row;
    QString source; // host path; empty when the file is missing
    QString fileName; // in our picture folder: always a plain picture name
    QString originalName; // as the original program named it, for the user
};

struct Plan {
    QList<QVariantList> places;
    QList<PlannedPicture> pictures;
    int renumberedPlaces = 0;
    int renumberedPictures = 0;
};

// freePlaceId's rule for many numbers in a row: the highest in use and the
// lowest free number are kept instead of searched for each time.
class PlaceNumbers {
public:
    explicit PlaceNumbers(QSet<int>& used)
        : m_used(used)
    {
        for (const int id : used)
            m_highest = std::max(m_highest, qint64(id));
    }
    int take(int count)
    {
        int id = count;
        if (m_used.contains(count)) {
            if (m_highest < std::numeric_limits<int>::max()) {
                id = int(m_highest + 1);
            } else {
                while (m_used.contains(m_lowest))
                    ++m_lowest;
                id = m_lowest;
            }
        }
        m_used.insert(id);
        m_highest = std::max(m_highest, qint64(id));
        return id;
    }

private:
    QSet<int>& m_used;
    qint64 m_highest = std::numeric_limits<qint64>::min();
    int m_lowest = 0;
};

// Places keep their identifiers where they are free; the others take free
// ones. Returns the original identifier -> ours.
QHash<int, int> planPlaces(const Survey& survey, Existing& e, Plan& plan, Pacer& pace)
{
    QSet<int> kept;
    for (const Place& p : survey.tables.places)
        if (!e.placeIds.contains(p.placeId))
            kept.insert(p.placeId);
    e.placeIds.unite(kept);
    PlaceNumbers numbers(e.placeIds);
    QHash<int, int> ids;
    QSet<int> seen;
    for (const Place& p : survey.tables.places) {
        pace(QStringLiteral("Numbering the places"), plan.places.size(), survey.tables.places.size());
        int id = p.placeId;
        if (!kept.contains(id) || seen.contains(id)) {
            id = numbers.take(e.placeCount + int(plan.places.size()));
            ++plan.renumberedPlaces;
        }
        seen.insert(p.placeId);
        if (!ids.contains(p.placeId))
            ids.insert(p.placeId, id);
        plan.places << QVariantList { id, p.place, p.page, p.coords, p.memo };
    }
    return ids;
}

// Pictures of no place and pictures whose name is no plain picture name
// (one that could reach another file) are left out.
void planPictures(const Survey& survey, const QHash<int, int>& ids, Existing& e, Plan& plan, Pacer& pace)
{
    const auto importable = [&](const Picture& p) { return ids.contains(p.placeId) && hasPlainName(p); };
    QSet<QString> kept;
    for (const Picture& p : survey.tables.pictures)
        if (importable(p) && !e.pictureNames.contains(p.fileName.toUpper()))
            kept.insert(p.fileName.toUpper());
    e.pictureNames.unite(kept);
    QSet<QString> seen;
    int nextFree = 0; // every number from count + 1 below this was found in use
    for (qsizetype i = 0; i < survey.tables.pictures.size(); ++i) {
        const Picture& p = survey.tables.pictures[i];
        pace(QStringLiteral("Numbering the pictures"), i, survey.tables.pictures.size());
        if (!importable(p))
            continue;
        QString name = p.fileName;
        if (!kept.contains(name.toUpper()) || seen.contains(name.toUpper())) {
            const int count = e.pixCount + int(plan.pictures.size());
            nextFree = std::max(nextFree, count + 1);
            while (nextFree <= kLastPictureNumber && e.pictureNames.contains(sixDigits(nextFree)))
                ++nextFree;
            if (nextFree > kLastPictureNumber)
                throw AppError(QStringLiteral("There is no free picture number left: picture numbers end at "
                                              "999999. Nothing was imported."));
            name = sixDigits(nextFree);
            e.pictureNames.insert(name);
            ++plan.renumberedPictures;
        }
        seen.insert(p.fileName.toUpper());
        plan.pictures << PlannedPicture { QVariantList { name, ids.value(p.placeId), p.caption, p.type },
            survey.pictureFiles.value(i), name + p.type, p.fileName + p.type };
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
    QStringList temporary; // host paths, also of those since renamed
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

// Copies source to the new file target, byte for byte. Returns false when
// the source cannot be read (target is removed then); throws AppError when
// target cannot be written.
bool copyPicture(const QString& source, const QString& target, const QString& shownTarget,
    const std::function<void()>& whileCopying)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        QFile::remove(target); // a leftover, or a link: never written through
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw AppError(QStringLiteral("Cannot write \"%1\": %2").arg(shownTarget, out.errorString()));
    }
    static thread_local QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0) {
            out.close();
            QFile::remove(target);
            return false;
        }
        if (got == 0)
            break;
        if (out.write(buffer.constData(), got) != got)
            throw AppError(QStringLiteral("Cannot write \"%1\": %2").arg(shownTarget, out.errorString()));
        whileCopying();
    }
    if (!out.flush())
        throw AppError(QStringLiteral("Cannot write \"%1\": %2").arg(shownTarget, out.errorString()));
    return true;
}

void copyPictures(const Target& target, const QString& pixHost, Plan& plan, MadeFiles& made,
    QStringList& unreadable, Pacer& pace)
{
    qint64 total = 0;
    for (const PlannedPicture& p : std::as_const(plan.pictures))
        total += p.source.isEmpty() ? 0 : 1;
    const QDir pix(pixHost);
    runAside(
        QStringLiteral("Copying pictures"), total,
        [&](const std::atomic<bool>& stop, std::atomic<qint64>& done) {
            for (PlannedPicture& p : plan.pictures) {
                if (p.source.isEmpty())
                    continue;
                stopIfAsked(stop);
                const QString temporary = pix.filePath(kTemporaryPrefix + p.fileName);
                made.temporary << temporary;
                if (!copyPicture(
                        p.source, temporary, target.pixFolder + p.fileName, [&] { stopIfAsked(stop); })) {
                    made.temporary.removeLast();
                    unreadable << p.originalName;
                    p.source.clear(); // its record comes over as one whose file is missing
                }
                ++done;
            }
        },
        pace);
}

// Flushes what was written to the picture folder's disk, so that no stored
// record ever names a file the disk does not yet hold: once for all files
// (a flush a file would take minutes for thousands).
void syncPictures(const QString& pixHost, Pacer& pace)
{
    runAside(
        QStringLiteral("Writing the pictures to the disk"), 0,
        [&](const std::atomic<bool>&, std::atomic<qint64>&) {
            const int fd = ::open(QFile::encodeName(pixHost).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd >= 0) {
                ::syncfs(fd);
                ::close(fd);
            }
        },
        pace);
}

void placePictures(
    const Target& target, const QString& pixHost, const Plan& plan, MadeFiles& made, Pacer& pace)
{
    const QDir pix(pixHost);
    runAside(
        QStringLiteral("Putting the pictures in place"), made.temporary.size(),
        [&](const std::atomic<bool>& stop, std::atomic<qint64>& done) {
            for (const PlannedPicture& p : plan.pictures) {
                if (p.source.isEmpty())
                    continue;
                stopIfAsked(stop);
                const QString temporary = pix.filePath(kTemporaryPrefix + p.fileName);
                const QString final = pix.filePath(p.fileName);
                if (!QFile::rename(temporary, final))
                    throw AppError(QStringLiteral("Cannot rename the copied picture to \"%1\".")
                                       .arg(target.pixFolder + p.fileName));
                made.placed << final;
                ++done;
            }
        },
        pace);
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

void appendInParts(
    platform::Table* table, const QList<QVariantList>& records, const QString& stage, Pacer& pace)
{
    for (qsizetype from = 0; from < records.size(); from += kRecordsAtATime) {
        pace(stage, from, records.size());
        table->appendRecords(records.mid(from, kRecordsAtATime));
    }
}

void storeAll(const Target& target, const QString& pixHost, const Plan& plan, ImportMode mode,
    MadeFiles& made, Pacer& pace)
{
    target.database->beginBatch();
    try {
        if (mode == ImportMode::Replace) {
            target.pix->deleteAllRecords();
            target.descrip->deleteAllRecords();
        }
        appendInParts(target.descrip, plan.places, QStringLiteral("Storing the places"), pace);
        QList<QVariantList> pictures;
        pictures.reserve(plan.pictures.size());
        for (const PlannedPicture& p : plan.pictures)
            pictures << p.row;
        appendInParts(target.pix, pictures, QStringLiteral("Storing the pictures"), pace);
        step("stored");
        placePictures(target, pixHost, plan, made, pace);
        step("renamed");
        syncPictures(pixHost, pace);
        pace(QStringLiteral("Storing the pictures"), 1, 1, true); // the last moment to stop
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
    QSet<int> copy = used;
    return PlaceNumbers(copy).take(count);
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

bool hasPlainName(const Picture& picture)
{
    return platform::isPlainPictureName(picture.fileName + picture.type);
}

bool isImportable(const Picture& picture, const QSet<int>& placeIds)
{
    return placeIds.contains(picture.placeId) && hasPlainName(picture);
}

Survey surveyTables(const QString& dataFolder, const ReadWatch& watch)
{
    const QString data = hostFolder(dataFolder);
    if (data.isEmpty())
        throw AppError(QStringLiteral("The folder \"%1\" does not exist.").arg(dataFolder));
    Survey s;
    s.tables = readTables(data, watch);
    const QSet<int> places = placeIdsOf(s.tables);
    for (const Picture& p : std::as_const(s.tables.pictures)) {
        if (!places.contains(p.placeId))
            ++s.orphanPictures;
        else if (!hasPlainName(p))
            s.unusableNames << shownName(p);
    }
    return s;
}

void locatePictureFiles(Survey& s, const QString& pixFolder, const ImportProgress& progress)
{
    Pacer pace(progress);
    s.pixFolder = pixFolder.isEmpty() ? QString() : hostFolder(pixFolder);
    // The folder listed once: exact names, and upper-case names for files
    // copied with another letter case.
    QSet<QString> exact;
    QHash<QString, QString> anyCase;
    if (!s.pixFolder.isEmpty())
        runAside(
            QStringLiteral("Looking for the picture files"), 0,
            [&](const std::atomic<bool>& stop, std::atomic<qint64>& done) {
                QDirIterator files(s.pixFolder, QDir::Files | QDir::Hidden | QDir::System);
                while (files.hasNext()) {
                    files.next();
                    stopIfAsked(stop);
                    ++done;
                    const QString name = files.fileName();
                    exact.insert(name);
                    anyCase.insert(name.toUpper(), name);
                }
            },
            pace);
    const QDir folder(s.pixFolder);
    const QSet<int> places = placeIdsOf(s.tables);
    s.pictureFiles.clear();
    s.filesPresent = s.filesMissing = 0;
    for (const Picture& p : std::as_const(s.tables.pictures)) {
        pace(
            QStringLiteral("Looking for the picture files"), s.pictureFiles.size(), s.tables.pictures.size());
        QString file;
        if (isImportable(p, places)) {
            const QString name = p.fileName + p.type;
            const QString found = exact.contains(name) ? name : anyCase.value(name.toUpper());
            if (!found.isEmpty())
                file = folder.filePath(found);
            (file.isEmpty() ? s.filesMissing : s.filesPresent) += 1;
        }
        s.pictureFiles << file;
    }
}

Survey survey(const QString& dataFolder, const QString& pixFolder, int timeoutMs)
{
    ReadWatch watch;
    watch.timeoutMs = timeoutMs;
    Survey s = surveyTables(dataFolder, watch);
    locatePictureFiles(s, pixFolder);
    return s;
}

Outcome importInto(
    const Target& target, const Survey& survey, ImportMode mode, const ImportProgress& progress)
{
    Pacer pace(progress);
    target.descrip->resolvePending();
    target.pix->resolvePending();
    const QString pixHost = hostOf(target.pixFolder);
    QDir().mkpath(pixHost);
    Existing existing = existingState(target, mode, pixHost, pace);
    Plan plan;
    const QHash<int, int> ids = planPlaces(survey, existing, plan, pace);
    planPictures(survey, ids, existing, plan, pace);

    Outcome outcome;
    MadeFiles made;
    target.descrip->disableControls();
    target.pix->disableControls();
    const auto enable = [&] {
        target.descrip->enableControls();
        target.pix->enableControls();
    };
    try {
        copyPictures(target, pixHost, plan, made, outcome.unreadableFiles, pace);
        step("copied");
        // Added or replaced, the tables change: "go back" returns to this copy.
        outcome.keptCopies = keepCopyOfTables(target);
        storeAll(target, pixHost, plan, mode, made, pace);
    } catch (const Cancelled&) {
        made.removeAll();
        enable();
        throw;
    } catch (const std::exception& e) {
        made.removeAll();
        enable();
        throw AppError(QStringLiteral("Nothing was imported. %1").arg(QString::fromStdString(e.what())));
    }
    target.descrip->first();
    target.pix->first();
    enable();
    outcome.places = int(plan.places.size());
    outcome.pictures = int(plan.pictures.size());
    outcome.filesCopied = int(made.placed.size());
    outcome.renumberedPlaces = plan.renumberedPlaces;
    outcome.renumberedPictures = plan.renumberedPictures;
    const QSet<int> places = placeIdsOf(survey.tables);
    for (const Picture& p : survey.tables.pictures) {
        if (!places.contains(p.placeId))
            ++outcome.orphanPictures;
        else if (!hasPlainName(p))
            outcome.unusableNames << shownName(p);
    }
    return outcome;
}

} // namespace corvane::legacy
