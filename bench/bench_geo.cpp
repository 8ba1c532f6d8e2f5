// Georeferencing figures: how close the demo atlas's georeference puts every
// gazetteer town to where it was drawn, what the coordinate display costs
// per mouse move, and what importing CSV places costs: 10,000 of them, a
// million short ones, a 50 MB CSV file and a 50 MB GeoJSON file
// (BENCH_GEO_SHORT=1 leaves out the large ones).

#include "kit.h"

#include "core/shared.h"
#include "data/georeferences.h"
#include "import/place_import.h"
#include "maps/coordinate_readout.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

void print(const char* name, double value)
{
    std::printf("%s: %.3f\n", name, value);
}

double processorMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void townErrors()
{
    double worst = 0, sum = 0;
    int count = 0;
    for (const corvane::GazetteerTown& t : corvane::gazetteer()) {
        const platform::Georeference* g
            = t.sheetId.isEmpty() ? nullptr : corvane::sheetGeoreference(t.sheetId);
        const std::optional<QPointF> px = g ? g->toPixel(t.lonLat) : std::nullopt;
        if (!px)
            continue;
        const double e = QLineF(*px, t.pixel).length();
        worst = std::max(worst, e);
        sum += e;
        ++count;
    }
    print("towns_on_sheets", count);
    print("town_error_px_max", worst);
    print("town_error_px_mean", count ? sum / count : 0);
}

// The label under a window's sheet, fed as mouse moves would feed it.
void cursorUpdates()
{
    QWidget picture;
    picture.resize(1000, 720);
    QLabel label;
    corvane::TCoordinateReadout readout(&picture, &label, [](QPoint at) {
        return std::optional(corvane::SheetPixel { QStringLiteral("GB-03H"), QPointF(at) * 4.02 });
    });
    constexpr int kMoves = 20000;
    QElapsedTimer clock;
    const double cpu = processorMs();
    clock.start();
    for (int i = 0; i < kMoves; ++i)
        readout.showAt({ i % 1000, (i / 7) % 720 });
    print("cursor_update_ms", clock.nsecsElapsed() / 1e6 / kMoves);
    print("cursor_update_cpu_ms", (processorMs() - cpu) / kMoves);
}

// The process's peak resident memory in MB since the last reset.
double peakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// `rows` places in the British Isles and some sea around them, each with
// a description of about `descriptionBytes`.
QString writeCsv(const QTemporaryDir& dir, int rows, int descriptionBytes)
{
    const QString path = dir.filePath(QStringLiteral("places%1.csv").arg(rows));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("name,latitude,longitude,description\n");
    QRandomGenerator random(26);
    const QByteArray description = QByteArray("Gefunden im Kirchenbuch ").repeated(descriptionBytes / 24 + 1);
    for (int i = 0; i < rows; ++i)
        file.write(QStringLiteral("Ort %1,%2,%3,")
                       .arg(i)
                       .arg(50 + random.generateDouble() * 9, 0, 'f', 6)
                       .arg(-10 + random.generateDouble() * 12, 0, 'f', 6)
                       .toUtf8()
            + description.left(descriptionBytes) + '\n');
    return path;
}

// The same places as a GeoJSON FeatureCollection, written as text.
QString writeGeoJson(const QTemporaryDir& dir, int rows, int descriptionBytes)
{
    const QString path = dir.filePath(QStringLiteral("places%1.geojson").arg(rows));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("{\"type\": \"FeatureCollection\", \"features\": [\n");
    QRandomGenerator random(26);
    const QByteArray description = QByteArray("Gefunden im Kirchenbuch ").repeated(descriptionBytes / 24 + 1);
    for (int i = 0; i < rows; ++i)
        file.write(QStringLiteral("%1{\"type\": \"Feature\", \"properties\": {\"name\": \"Ort %2\", "
                                  "\"description\": \"")
                       .arg(i ? QStringLiteral(",\n") : QString())
                       .arg(i)
                       .toUtf8()
            + description.left(descriptionBytes)
            + QStringLiteral("\"}, \"geometry\": {\"type\": \"Point\", \"coordinates\": [%1, %2]}}")
                  .arg(-10 + random.generateDouble() * 12, 0, 'f', 6)
                  .arg(50 + random.generateDouble() * 9, 0, 'f', 6)
                  .toUtf8());
    file.write("\n]}\n");
    return path;
}

// Imports one file and prints its time, processor time, peak memory, the
// time before the first chance to stop it and the longest wait between two.
void importFile(const char* name, const QString& path)
{
    std::printf("%s_file_mb: %.1f\n", name, QFileInfo(path).size() / 1048576.0);
    resetPeak();
    QElapsedTimer clock, sinceLast;
    qint64 longestWait = 0, firstChance = -1;
    const double cpu = processorMs();
    clock.start();
    sinceLast.start();
    const corvane::PlaceImportReport report
        = corvane::importPlaceFile(path, [&](const QString&, qint64, qint64) {
              if (firstChance < 0)
                  firstChance = clock.elapsed();
              longestWait = std::max(longestWait, sinceLast.restart());
              return true;
          });
    const auto figure = [name](const char* what, double value) {
        print(QByteArray(name).append('_').append(what).constData(), value);
    };
    figure("ms", clock.nsecsElapsed() / 1e6);
    figure("cpu_ms", processorMs() - cpu);
    figure("peak_mb", peakMb());
    figure("first_stop_chance_ms", double(firstChance));
    figure("stop_wait_max_ms", double(longestWait));
    figure("added", report.added);
    figure("pinned", report.pinned);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Kit kit;
    kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
    kit.start();
    kit.passSplash();
    corvane::vGraphicsPath = QStringLiteral("D:\\");
    townErrors();
    cursorUpdates();
    QTemporaryDir dir;
    importFile("import_csv_10k", writeCsv(dir, 10000, 24));
    if (!qEnvironmentVariableIsSet("BENCH_GEO_SHORT")) {
        importFile("import_csv_1m", writeCsv(dir, 1000000, 0));
        importFile("import_csv_50mb", writeCsv(dir, 200000, 220));
        importFile("import_geojson_50mb", writeGeoJson(dir, 150000, 220));
    }
    return 0;
}
