// Georeferencing figures: how close the demo atlas's georeference puts every
// gazetteer town to where it was drawn, what the coordinate display costs
// per mouse move, and how long 10,000 CSV places take to import and pin.

#include "kit.h"

#include "core/shared.h"
#include "data/georeferences.h"
#include "import/place_import.h"
#include "maps/coordinate_readout.h"

#include <QFile>
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

void importCsv(Kit& kit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("places.csv"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("name,latitude,longitude,description\n");
    QRandomGenerator random(26);
    for (int i = 0; i < 10000; ++i) // the British Isles and some sea around them
        file.write(QStringLiteral("Ort %1,%2,%3,Gefunden im Kirchenbuch\n")
                       .arg(i)
                       .arg(50 + random.generateDouble() * 9, 0, 'f', 6)
                       .arg(-10 + random.generateDouble() * 12, 0, 'f', 6)
                       .toUtf8());
    file.close();
    (void)kit;
    QElapsedTimer clock;
    const double cpu = processorMs();
    clock.start();
    const corvane::PlaceImportReport report = corvane::importPlaceFile(path);
    print("import_csv_10k_ms", clock.nsecsElapsed() / 1e6);
    print("import_csv_10k_cpu_ms", processorMs() - cpu);
    print("import_csv_10k_pinned", report.pinned);
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
    importCsv(kit);
    return 0;
}
