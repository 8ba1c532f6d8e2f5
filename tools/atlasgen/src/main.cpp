// atlasgen: makes the demo atlas that ships with the program.
//
//   atlasgen [--data DIR] --out SHAREDIR [--only ID ...]
//       writes SHAREDIR/cd/Maps/*.JPG, SHAREDIR/template/ and the splash
//   atlasgen [--data DIR] --bench-sheets DIR
//       writes three large sheets for the benchmarks
//   atlasgen [--data DIR] --survey
//       lists the grid cells that hold land, for editing sheets.tsv

#include "geo.h"
#include "georef.h"
#include "jpegfile.h"
#include "pictures.h"
#include "sheetgrid.h"
#include "tables.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QSaveFile>
#include <QtConcurrent>

#include <cstdio>
#include <functional>

using namespace atlasgen;

namespace {

struct Job {
    QString path;
    std::function<QImage()> render;
    JpegMode mode = JpegMode::Baseline;
};

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

// Renders and writes the pictures on all cores; returns the first failure.
QString runJobs(const QVector<Job>& jobs)
{
    QMutex mutex;
    QString failure;
    QtConcurrent::blockingMap(jobs, [&](const Job& job) {
        const QImage image = job.render();
        const QString error
            = image.isNull() ? QStringLiteral("nothing drawn") : writeJpeg(image, job.path, job.mode);
        const QMutexLocker lock(&mutex);
        if (!error.isEmpty() && failure.isEmpty())
            failure = job.path + QStringLiteral(": ") + error;
    });
    return failure;
}

bool copyFile(const QString& from, const QString& to, QString& error)
{
    QFile source(from);
    QSaveFile target(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly)
        || target.write(source.readAll()) != source.size() || !target.commit()) {
        error = QStringLiteral("cannot copy %1 to %2").arg(from, to);
        return false;
    }
    return true;
}

bool writeTemplate(
    const QString& data, const QString& out, const GeoData& geo, const QVector<Sheet>& sheets, QString& error)
{
    const QString tpl = out + QStringLiteral("/template");
    QDir().mkpath(tpl + QStringLiteral("/Help"));
    QDir().mkpath(tpl + QStringLiteral("/Reports"));
    QVector<CatalogueEntry> catalogue;
    QVector<Abbreviation> abbreviations;
    if (!buildCatalogue(data + QStringLiteral("/counties.tsv"), geo, sheets, catalogue, error)
        || !loadAbbreviations(data + QStringLiteral("/abbrev.tsv"), abbreviations, error)
        || !writeMapsTable(tpl + QStringLiteral("/MAPS.tsv"), sheets, error)
        || !writeCatalogueTable(tpl + QStringLiteral("/MAPCAT.tsv"), catalogue, error)
        || !writeAbbreviationTable(tpl + QStringLiteral("/ABBREV.tsv"), abbreviations, error))
        return false;
    QSaveFile rtf(tpl + QStringLiteral("/Reports/ABBREV.RTF"));
    if (!rtf.open(QIODevice::WriteOnly) || rtf.write(abbreviationRtf(abbreviations)) < 0 || !rtf.commit()) {
        error = QStringLiteral("cannot write ABBREV.RTF: ") + rtf.errorString();
        return false;
    }
    const QDir help(data + QStringLiteral("/help"));
    const QStringList pages { QStringLiteral("viewing.htm"), QStringLiteral("descrip.htm"),
        QStringLiteral("abbrev.htm"), QStringLiteral("jotpad.htm"), QStringLiteral("altchar.htm"),
        QStringLiteral("BritKey.HTM"), QStringLiteral("IrishKey.HTM"), QStringLiteral("MANUAL.RTF") };
    for (const QString& page : pages)
        if (!copyFile(help.filePath(page), tpl + QStringLiteral("/Help/") + page, error))
            return false;
    return true;
}

QVector<Job> atlasJobs(
    const GeoData& geo, const QVector<Sheet>& sheets, const QString& maps, const QStringList& only)
{
    QVector<Job> jobs;
    auto wanted = [&](const QString& id) { return only.isEmpty() || only.contains(id); };
    for (const Sheet& s : sheets)
        if (wanted(s.id))
            jobs.push_back(
                { maps + s.id + QStringLiteral(".JPG"), [&geo, s] { return renderDetailSheet(geo, s); } });
    if (wanted(QStringLiteral("LOC-S")))
        jobs.push_back({ maps + QStringLiteral("LOC-S.JPG"),
            [&] { return renderOverview(geo, overviewSouth(), sheets); } });
    if (wanted(QStringLiteral("LOC-N")))
        jobs.push_back({ maps + QStringLiteral("LOC-N.JPG"),
            [&] { return renderOverview(geo, overviewNorth(), sheets); } });
    for (bool irish : { false, true }) {
        const QString prefix = irish ? QStringLiteral("IR-") : QStringLiteral("GB-");
        if (wanted(prefix + QStringLiteral("KEY")))
            jobs.push_back(
                { maps + prefix + QStringLiteral("KEY.JPG"), [irish] { return renderKey(irish); } });
        if (wanted(prefix + QStringLiteral("SCALE")))
            jobs.push_back(
                { maps + prefix + QStringLiteral("SCALE.JPG"), [irish] { return renderScale(irish); } });
    }
    return jobs;
}

// Old pictures of sheets that no longer exist would be shown by nobody but
// would still ship; remove them.
void removeStale(const QString& maps, const QVector<Job>& jobs)
{
    QSet<QString> keep;
    for (const Job& j : jobs)
        keep.insert(QFileInfo(j.path).fileName());
    const QStringList present = QDir(maps).entryList({ QStringLiteral("*.JPG") }, QDir::Files);
    for (const QString& f : present)
        if (!keep.contains(f))
            QFile::remove(maps + f);
}

int survey(const GeoData& geo)
{
    for (int row = 13; row >= 0; --row) {
        QString line = QStringLiteral("%1 ").arg(row, 2, 10, QLatin1Char('0'));
        for (int col = 0; col < 11; ++col) {
            const QRectF cell = grid::cellKm({ col, row });
            QHash<QString, int> count;
            const int n = 24;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                    count[geo.countryAt(cell.topLeft()
                        + QPointF((i + 0.5) * cell.width() / n, (j + 0.5) * cell.height() / n))]++;
            count.remove(QString());
            QString best;
            int total = 0;
            for (auto it = count.cbegin(); it != count.cend(); ++it) {
                total += it.value();
                if (best.isEmpty() || it.value() > count.value(best))
                    best = it.key();
            }
            line += total == 0
                ? QStringLiteral("  .   ")
                : QStringLiteral(" %1%2%3").arg(QChar(u'A' + col)).arg(best).arg(total * 100 / (n * n), 3);
        }
        std::printf("%s\n", qPrintable(line));
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Makes the demo atlas: sheets, overviews, keys, tables, help."));
    cli.addHelpOption();
    const QCommandLineOption dataOpt(QStringLiteral("data"), QStringLiteral("Input data folder."),
        QStringLiteral("dir"), QStringLiteral(ATLASGEN_DATA_DIR));
    const QCommandLineOption outOpt(
        QStringLiteral("out"), QStringLiteral("Share folder to fill."), QStringLiteral("dir"));
    const QCommandLineOption onlyOpt(
        QStringLiteral("only"), QStringLiteral("Draw only this picture."), QStringLiteral("id"));
    const QCommandLineOption benchOpt(
        QStringLiteral("bench-sheets"), QStringLiteral("Write benchmark sheets."), QStringLiteral("dir"));
    const QCommandLineOption surveyOpt(
        QStringLiteral("survey"), QStringLiteral("List grid cells with land."));
    cli.addOptions({ dataOpt, outOpt, onlyOpt, benchOpt, surveyOpt });
    cli.process(app);

    QElapsedTimer clock;
    clock.start();
    const QString data = cli.value(dataOpt);
    GeoData geo;
    if (!geo.load(data)) {
        say(QStringLiteral("atlasgen: ") + geo.error());
        return 1;
    }
    if (cli.isSet(surveyOpt))
        return survey(geo);
    QVector<Sheet> sheets;
    QString error;
    if (!loadSheets(data + QStringLiteral("/sheets.tsv"), sheets, error)) {
        say(QStringLiteral("atlasgen: ") + error);
        return 1;
    }

    if (cli.isSet(benchOpt)) {
        const QString dir = cli.value(benchOpt) + u'/';
        QDir().mkpath(dir);
        // The same region for all, so that the large sheets differ only in
        // their encoding.
        const auto found
            = std::find_if(sheets.cbegin(), sheets.cend(), [](const Sheet& s) { return s.id == u"GB-03H"; });
        if (found == sheets.cend()) {
            say(QStringLiteral("atlasgen: sheets.tsv has no GB-03H"));
            return 1;
        }
        const Sheet london = *found;
        const QVector<Job> jobs { { dir + QStringLiteral("BENCH-7000.JPG"),
                                      [&] {
                                          return renderDetailSheet(geo, london, { 7000, 5000 });
                                      } },
            { dir + QStringLiteral("BENCH-7000P.JPG"),
                [&] {
                    return renderDetailSheet(geo, london, { 7000, 5000 });
                },
                JpegMode::Progressive },
            { dir + QStringLiteral("BENCH-3500.JPG"), [&] {
                 return renderDetailSheet(geo, london, { 3500, 2500 });
             } } };
        error = runJobs(jobs);
    } else if (cli.isSet(outOpt)) {
        const QString out = cli.value(outOpt);
        const QString maps = out + QStringLiteral("/cd/Maps/");
        QDir().mkpath(maps);
        const QStringList only = cli.values(onlyOpt);
        QVector<Job> jobs = atlasJobs(geo, sheets, maps, only);
        if (only.isEmpty() || only.contains(QStringLiteral("splash")))
            jobs.push_back({ out + QStringLiteral("/splash.jpg"), [&] { return renderSplash(geo); } });
        if (only.isEmpty() && !renderIcon(geo).save(out + QStringLiteral("/icon.png"))) {
            say(QStringLiteral("atlasgen: cannot write icon.png"));
            return 1;
        }
        const QString georef = out + QStringLiteral("/cd/Georef/");
        if (only.isEmpty()
            && (!QDir().mkpath(georef)
                || !writeControlPoints(georef + QStringLiteral("CONTROL.TSV"), geo, sheets, error)
                || !writeGazetteer(georef + QStringLiteral("TOWNS.TSV"), geo, sheets, error))) {
            say(QStringLiteral("atlasgen: ") + error);
            return 1;
        }
        if (only.isEmpty() && !writeTemplate(data, out, geo, sheets, error)) {
            say(QStringLiteral("atlasgen: ") + error);
            return 1;
        }
        error = runJobs(jobs);
        if (only.isEmpty() && error.isEmpty())
            removeStale(maps, jobs);
    } else {
        cli.showHelp(2);
    }
    if (!error.isEmpty()) {
        say(QStringLiteral("atlasgen: ") + error);
        return 1;
    }
    say(QStringLiteral("atlasgen: done in %1 s").arg(clock.elapsed() / 1000.0, 0, 'f', 1));
    return 0;
}
