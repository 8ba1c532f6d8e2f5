// Importing the original program's notebook:
//  - 10,000 places with descriptions and 50,000 picture records (the
//    picture files not counted), read in the helper program and stored into
//    an empty list;
//  - the same with a file for every picture (half of them named in small
//    letters, as a copy from a CD often is): import_50000_files_s, from the
//    choice of the folder to the last record stored;
//  - the helper alone on 100,000 places and 100,000 pictures, the figure the
//    reader's time limit (kReaderTimeLimitMs) is set from.
//
//   bench_import                                  all three, at those sizes
//   bench_import --places 100000 --pictures 500000  the second at another size
//                                                   (its setup takes minutes)

#include "bench_support.h"
#include "import/legacy_writer.h"
#include "kit.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "import/legacy_import.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

using namespace corvane;

namespace {

const QByteArray kMemo = "Parish church of St Mary, Norman nave, Perpendicular tower; see Pevsner \xe9"
                         "d. 1958. ";

legacyfix::Row placeRow(int i)
{
    // Descriptions of every length: most fit the record, many do not.
    return { i, "Place " + QByteArray::number(i) + " \xe0 l'\xe9glise", "p. 12", "B3",
        kMemo.repeated(1 + i % 4) };
}

QByteArray pictureName(int i)
{
    return QByteArray::number(i + 1).rightJustified(6, '0');
}

void writeOriginal(const QString& folder, int places, int pictures)
{
    QDir().mkpath(folder);
    const auto picture = [&](int i) {
        return legacyfix::Row { pictureName(i), i % places,
            "Caption of picture " + QByteArray::number(i + 1) + ", from an old guide book", ".JPG" };
    };
    if (!legacyfix::writeTable(QDir(folder).filePath(QStringLiteral("DESCRIP.DB")), legacyfix::kDescripFields,
            places, placeRow, QDir(folder).filePath(QStringLiteral("DESCRIP.MB")))
        || !legacyfix::writeTable(
            QDir(folder).filePath(QStringLiteral("PIX.DB")), legacyfix::kPixFields, pictures, picture))
        qFatal("cannot write the original's tables");
}

// A small JPEG-like file per picture; every second one named in small letters.
void writePictureFiles(const QString& folder, int pictures)
{
    QDir().mkpath(folder);
    QByteArray bytes(3000, 'x');
    bytes[0] = char(0xff);
    bytes[1] = char(0xd8);
    for (int i = 0; i < pictures; ++i) {
        const QString name
            = QString::fromLatin1(pictureName(i)) + (i % 2 ? QStringLiteral(".jpg") : QStringLiteral(".JPG"));
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the picture files");
    }
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

struct Started {
    Kit kit;
    Started()
    {
        kit.setConfig(QStringLiteral("FirstTime"), QStringLiteral("no"));
        kit.start();
        kit.passSplash();
    }
    legacy::Target target() const
    {
        return { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
            vProgramPath + QStringLiteral("Pix\\"), vProgramPath + QStringLiteral("Data\\") };
    }
};

void tablesOnly()
{
    constexpr int kPlaces = 10000;
    constexpr int kPictures = 50000;
    QList<double> reads, stores, totals, cpus;
    for (int run = 0; run < 3; ++run) {
        Started s;
        const QString folder = s.kit.home() + QStringLiteral("/orig/Data");
        writeOriginal(folder, kPlaces, kPictures);
        QElapsedTimer timer;
        const double cpuBefore = cpuMs();
        timer.start();
        const legacy::Survey survey = legacy::survey(folder, QString());
        const double read = timer.nsecsElapsed() / 1e6;
        const legacy::Outcome outcome = legacy::importInto(s.target(), survey, legacy::ImportMode::Add);
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
}

// The longest the event loop waited while it was watched: what a user
// would see as the window not answering.
class Stalls {
public:
    Stalls()
    {
        m_clock.start();
        m_timer.setInterval(5);
        QObject::connect(
            &m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_timer.start();
    }
    qint64 longestMs() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

void withFiles(int places, int pictures, int runs)
{
    QList<double> setups, imports, stalls;
    for (int run = 0; run < runs; ++run) {
        Started s;
        const QString root = s.kit.home() + QStringLiteral("/orig");
        QElapsedTimer timer;
        timer.start();
        writeOriginal(root + QStringLiteral("/Data"), places, pictures);
        writePictureFiles(root + QStringLiteral("/Pix"), pictures);
        setups << timer.nsecsElapsed() / 1e9;
        timer.restart();
        // As the import command runs it: the reader waited for in an event
        // loop, events handled whenever the import reports its progress.
        const legacy::ImportProgress progress = [](const QString&, qint64, qint64) {
            QCoreApplication::processEvents();
            return true;
        };
        Stalls stall;
        const QString data = root + QStringLiteral("/Data");
        legacy::Survey survey = legacy::surveyTables(data, legacy::ReadWatch {});
        legacy::locatePictureFiles(survey, legacy::pictureFolderBeside(data), progress);
        const legacy::Outcome outcome
            = legacy::importInto(s.target(), survey, legacy::ImportMode::Add, progress);
        imports << timer.nsecsElapsed() / 1e9;
        stalls << double(stall.longestMs());
        if (outcome.places != places || outcome.pictures != pictures || outcome.filesCopied != pictures)
            qFatal("imported %d places, %d pictures, %d files", outcome.places, outcome.pictures,
                outcome.filesCopied);
    }
    const QByteArray size = places == 10000 && pictures == 50000
        ? QByteArray("50000")
        : QByteArray::number(places) + "_places_" + QByteArray::number(pictures);
    std::printf("setup_%s_files_s: %.1f\n", size.constData(), bench::median(setups));
    std::printf("import_%s_files_s: %.1f\n", size.constData(), bench::median(imports));
    std::printf("import_%s_files_longest_stall_ms: %.0f\n", size.constData(), bench::median(stalls));
}

// The reader's time limit is set from this: the helper alone on genuine
// tables of 100,000 records each.
void readerOnLargeTables()
{
    constexpr int kRecords = 100000;
    Started s;
    const QString folder = s.kit.home() + QStringLiteral("/orig/Data");
    writeOriginal(folder, kRecords, kRecords);
    QList<double> times;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const legacy::Tables tables = legacy::readTables(folder);
        times << timer.nsecsElapsed() / 1e9;
        if (tables.places.size() != kRecords || tables.pictures.size() != kRecords)
            qFatal("read %lld places and %lld pictures", qint64(tables.places.size()),
                qint64(tables.pictures.size()));
    }
    std::printf("import_reader_100000_s: %.2f\n", bench::median(times));
    std::printf("import_reader_time_limit_s: %.0f\n", legacy::kReaderTimeLimitMs / 1000.0);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int places = args.contains(QStringLiteral("--places"))
        ? args.value(args.indexOf(QStringLiteral("--places")) + 1).toInt()
        : 0;
    const int pictures = args.contains(QStringLiteral("--pictures"))
        ? args.value(args.indexOf(QStringLiteral("--pictures")) + 1).toInt()
        : 0;
    if (places > 0 || pictures > 0) {
        withFiles(std::max(places, 1), pictures, 1);
    } else {
        tablesOnly();
        withFiles(10000, 50000, 3);
        readerOnLargeTables();
    }
    std::printf("peak_rss_mb: %.0f\n", bench::peakRssMb());
    return 0;
}
