// Importing the original program's notebook: 10,000 places with
// descriptions and 50,000 picture records (the picture files themselves not
// counted), read in the helper program and stored into an empty list.

#include "bench_support.h"
#include "import/legacy_writer.h"
#include "kit.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "import/legacy_import.h"

#include <QApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

using namespace corvane;

namespace {

constexpr int kPlaces = 10000;
constexpr int kPictures = 50000;

void writeOriginal(const QString& folder)
{
    QList<legacyfix::Row> places, pictures;
    for (int i = 0; i < kPlaces; ++i) {
        // Descriptions of every length: most fit the record, many do not.
        QByteArray memo = "Parish church of St Mary, Norman nave, Perpendicular tower; see Pevsner \xe9"
                          "d. 1958. ";
        memo = memo.repeated(1 + i % 4);
        places << legacyfix::Row { i, "Place " + QByteArray::number(i) + " \xe0 l'\xe9glise", "p. 12", "B3",
            memo };
    }
    for (int i = 0; i < kPictures; ++i)
        pictures << legacyfix::Row { QByteArray::number(i + 1).rightJustified(6, '0'), i % kPlaces,
            "Caption of picture " + QByteArray::number(i + 1) + ", from an old guide book", ".JPG" };
    if (!legacyfix::writeDescrip(folder, places) || !legacyfix::writePix(folder, pictures))
        qFatal("cannot write the original's tables");
}

// CPU time of this process and its finished children (the reader), in ms:
// on a shared, loaded machine the wall clock says more about the others.
double cpuMs()
{
    double ms = 0;
    for (const int who : { RUSAGE_SELF, RUSAGE_CHILDREN }) {
        rusage usage {};
        getrusage(who, &usage);
        ms += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    }
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QList<double> reads, stores, totals, cpus;
    for (int run = 0; run < 3; ++run) {
        Kit kit;
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        kit.start();
        kit.passSplash();
        const QString folder = kit.home() + QStringLiteral("/orig/Data");
        QDir().mkpath(folder);
        writeOriginal(folder);
        const legacy::Target target { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
            vProgramPath + QStringLiteral("Pix\\"), vProgramPath + QStringLiteral("Data\\") };
        QElapsedTimer timer;
        const double cpuBefore = cpuMs();
        timer.start();
        const legacy::Survey survey = legacy::survey(folder, QString());
        const double read = timer.nsecsElapsed() / 1e6;
        const legacy::Outcome outcome = legacy::importInto(target, survey, legacy::ImportMode::Add);
        const double total = timer.nsecsElapsed() / 1e6;
        if (outcome.places != kPlaces || outcome.pictures != kPictures)
            qFatal("imported %d places and %d pictures", outcome.places, outcome.pictures);
        cpus << cpuMs() - cpuBefore;
        reads << read;
        stores << total - read;
        totals << total;
    }
    std::printf("import_read_10000_places_50000_pictures_ms: %.0f\n", bench::median(reads));
    std::printf("import_store_ms: %.0f\n", bench::median(stores));
    std::printf("import_total_ms: %.0f\n", bench::median(totals));
    std::printf("import_total_cpu_ms: %.0f\n", bench::median(cpus));
    std::printf("peak_rss_mb: %.0f\n", bench::peakRssMb());
    return 0;
}
