// The backup with 10,000 places and 50,000 picture records, then with
// 100,000 and 500,000, in-process on a throwaway installation: the two
// tables written, checked and put in place under the set marker with the
// tables reopened, then a picture folder copied the first time and skipped
// the second. Medians of several runs; processor time beside wall time.

#include "bench_support.h"
#include "kit.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "output/backup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <ctime>
#include <string>

using namespace corvane;

namespace {

constexpr int kSmallPlaces = 10000;
constexpr int kSmallPictures = 50000;
constexpr int kPlaces = 100000;
constexpr int kPictures = 500000;
constexpr int kPictureFiles = 300;
constexpr int kPictureBytes = 1 << 20; // a phone photo's size
constexpr int kRuns = 5;

void print(const char* name, double value)
{
    std::printf("%s: %.1f\n", name, value);
}

// Places [fromPlace, toPlace) and pictures [fromPicture, toPicture).
void fillTables(int fromPlace, int toPlace, int fromPicture, int toPicture)
{
    platform::Table* descrip = DataModule1->tblDescrip;
    platform::Table* pix = DataModule1->tblPix;
    const QString memo
        = QStringLiteral("A market town on the edge of the marsh, with a church of the twelfth "
                         "century, a ruined castle and a harbour that silted up long ago. ")
              .repeated(3);
    DataModule1->dbCorvane->beginBatch();
    for (int i = fromPlace; i < toPlace; ++i) {
        descrip->append();
        descrip->setFieldValue(QStringLiteral("Placeid"), 100000 + i);
        descrip->setFieldValue(QStringLiteral("Place"), QStringLiteral("Place number %1").arg(i));
        descrip->setFieldValue(QStringLiteral("Memo"), memo);
        descrip->post();
    }
    for (int i = fromPicture; i < toPicture; ++i) {
        pix->append();
        pix->setFieldValue(QStringLiteral("Filename"), QString::number(100000 + i));
        pix->setFieldValue(
            QStringLiteral("Placeid"), 100000 + int(QRandomGenerator::global()->bounded(toPlace)));
        pix->setFieldValue(
            QStringLiteral("Caption"), QStringLiteral("Caption of picture %1, from an old book").arg(i));
        pix->setFieldValue(QStringLiteral("Type"), QStringLiteral(".JPG"));
        pix->post();
    }
    DataModule1->dbCorvane->commitBatch();
}

double processorMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Incompressible bytes, as JPEG data are.
void writePictureFiles(const QString& folder)
{
    QDir().mkpath(folder);
    QByteArray bytes(kPictureBytes, Qt::Uninitialized);
    for (int i = 0; i < kPictureFiles; ++i) {
        QRandomGenerator random(i);
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        QFile file(folder + QStringLiteral("/%1.JPG").arg(200000 + i));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
}

double timedRun(BackupReport* report = nullptr, double* cpu = nullptr)
{
    QElapsedTimer timer;
    const double cpuBefore = processorMs();
    timer.start();
    Backup backup(*DataModule1, vProgramPath);
    const BackupReport result = backup.run(QStringLiteral("A"));
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (cpu)
        *cpu = processorMs() - cpuBefore;
    if (!result.ok)
        std::fprintf(stderr, "backup failed: %s\n", qPrintable(result.text));
    if (report)
        *report = result;
    return ms;
}

void measureTables(const char* name, int runs)
{
    QList<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        double processor = 0;
        wall << timedRun(nullptr, &processor);
        cpu << processor;
    }
    print(name, bench::median(wall));
    print((std::string(name) + "_cpu").c_str(), bench::median(cpu));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Kit kit;
    kit.setConfig(QStringLiteral("Floppy"), QStringLiteral("A"));
    kit.start();
    kit.passSplash();
    fillTables(0, kSmallPlaces, 0, kSmallPictures);
    measureTables("backup_10000_places_50000_pictures_ms", kRuns);
    fillTables(kSmallPlaces, kPlaces, kSmallPictures, kPictures);
    measureTables("backup_100000_places_500000_pictures_ms", kRuns);
    std::printf("backup_set_bytes: %lld\n",
        static_cast<long long>(QFileInfo(kit.hostPath(QStringLiteral("A:\\DESCRIP.DB"))).size()
            + QFileInfo(kit.hostPath(QStringLiteral("A:\\PIX.DB"))).size()));

    writePictureFiles(kit.hostPath(vProgramPath + QStringLiteral("Pix")));
    BackupReport report;
    print("backup_first_with_300_mb_pictures_ms", timedRun(&report));
    std::printf("pictures_copied_first: %d\n", report.pictureFiles.copied);
    QList<double> repeated;
    for (int i = 0; i < kRuns; ++i)
        repeated << timedRun(&report);
    print("backup_repeat_with_300_mb_pictures_ms", bench::median(repeated));
    std::printf("pictures_copied_repeat: %d\n", report.pictureFiles.copied);
    return 0;
}
