// The backup with 10,000 places and 50,000 picture records, in-process on a
// throwaway installation: the two tables written, checked and put in place
// with the tables reopened, then a picture folder copied the first time and
// skipped the second. Medians of several runs.

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

using namespace corvane;

namespace {

constexpr int kPlaces = 10000;
constexpr int kPictures = 50000;
constexpr int kPictureFiles = 300;
constexpr int kPictureBytes = 1 << 20; // a phone photo's size
constexpr int kRuns = 5;

void print(const char* name, double value)
{
    std::printf("%s: %.1f\n", name, value);
}

void fillTables()
{
    platform::Table* descrip = DataModule1->tblDescrip;
    platform::Table* pix = DataModule1->tblPix;
    const QString memo
        = QStringLiteral("A market town on the edge of the marsh, with a church of the twelfth "
                         "century, a ruined castle and a harbour that silted up long ago. ")
              .repeated(3);
    DataModule1->dbCorvane->beginBatch();
    for (int i = 0; i < kPlaces; ++i) {
        descrip->append();
        descrip->setFieldValue(QStringLiteral("Placeid"), 100000 + i);
        descrip->setFieldValue(QStringLiteral("Place"), QStringLiteral("Place number %1").arg(i));
        descrip->setFieldValue(QStringLiteral("Memo"), memo);
        descrip->post();
    }
    for (int i = 0; i < kPictures; ++i) {
        pix->append();
        pix->setFieldValue(QStringLiteral("Filename"), QString::number(100000 + i));
        pix->setFieldValue(
            QStringLiteral("Placeid"), 100000 + int(QRandomGenerator::global()->bounded(kPlaces)));
        pix->setFieldValue(
            QStringLiteral("Caption"), QStringLiteral("Caption of picture %1, from an old book").arg(i));
        pix->setFieldValue(QStringLiteral("Type"), QStringLiteral(".JPG"));
        pix->post();
    }
    DataModule1->dbCorvane->commitBatch();
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

double timedRun(BackupReport* report = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    Backup backup(*DataModule1, vProgramPath);
    const BackupReport result = backup.run(QStringLiteral("A"));
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (!result.ok)
        std::fprintf(stderr, "backup failed: %s\n", qPrintable(result.text));
    if (report)
        *report = result;
    return ms;
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
    fillTables();

    QList<double> tables;
    for (int i = 0; i < kRuns; ++i)
        tables << timedRun();
    print("backup_10000_places_50000_pictures_ms", bench::median(tables));
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
