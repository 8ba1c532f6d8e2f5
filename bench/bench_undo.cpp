// The bin and the undo history with 10,000 places and 50,000 picture
// records (five per place), the pictures of the places measured on disk:
//   delete_to_bin_ms  "Go" with Delete chosen on a place with five
//                     pictures: records, files and pin moved to the bin in
//                     one transaction, the list painted;
//   put_back_ms       "Put back" in the bin window for such a place: it
//                     and its pictures back, the bin's list and the list
//                     of places painted;
//   undo_rename_ms    "Undo rename of ..." after a rename: stored, the list
//                     painted;
//   bin_list_ms       "Deleted places..." with 1,000 places in the bin: the
//                     window filled and painted.
// Figures are medians of 9; beside each, *_cpu_ms is the processor time of
// the whole process over the same step.

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "notes_driving.h"

#include "data/bin_tables.h"
#include "data/tables.h"
#include "places/bin_window.h"
#include "places/notes.h"
#include "places/place_bin.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <cstdio>
#include <ctime>

using namespace corvane;
using namespace Qt::StringLiterals;
using bench::click;
using bench::clickRow;
using bench::control;
using bench::paint;

namespace {

constexpr int kPlaces = 10000;
constexpr int kPictures = 5 * kPlaces;
constexpr int kBinned = 1000;
constexpr int kRuns = 9;

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

double cpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Costs {
    QList<double> wall;
    QList<double> cpu;
    template <typename F> void add(F&& step)
    {
        const double before = cpuMs();
        wall << bench::timed(step);
        cpu << cpuMs() - before;
    }
    void print(const char* name) const
    {
        ::print((QByteArray(name) + "_ms").constData(), bench::median(wall));
        ::print((QByteArray(name) + "_cpu_ms").constData(), bench::median(cpu));
    }
};

// The places, their pictures, and a bin already holding kBinned places.
void writeTables()
{
    platform::Database db(u"Corvane3"_s, u"Atlas"_s);
    db.connectDatabase();
    platform::Table descrip(&db, descripTableDef());
    descrip.open();
    QList<QVariantList> places;
    for (int i = 0; i < kPlaces; ++i) {
        const QVariant page = i % 10 == 5 ? QVariant(u"GB-%1X"_s.arg(i % 20)) : QVariant();
        places << QVariantList { i, u"Place number %1 in the county"_s.arg(i), page,
            i % 10 == 5 ? QVariant(u"10,20"_s) : QVariant(),
            u"A description of a few sentences, as most of them are. "_s.repeated(4) };
    }
    descrip.appendRecords(places);
    platform::Table pix(&db, pixTableDef());
    pix.open();
    QList<QVariantList> pictures;
    for (int i = 0; i < kPictures; ++i) {
        pictures << QVariantList { QString::number(i + 1).rightJustified(6, u'0'), i % kPlaces,
            u"Caption of picture %1, taken from an old book"_s.arg(i + 1), u".JPG"_s };
    }
    pix.appendRecords(pictures);
    const QString binFile = QDir(db.folderHostPath()).filePath(binTableDef().fileName);
    platform::Database::createTableFile(binFile, binTableDef());
    platform::Table bin(&db, binTableDef());
    bin.open();
    QList<QVariantList> binned;
    for (int i = 0; i < kBinned; ++i) {
        const QList<BinnedPicture> none;
        binned << QVariantList { i + 1, kPlaces + i, u"Deleted place %1"_s.arg(i), QVariant(), QVariant(),
            u"Its description."_s,
            // Within the bin's days, so that start-up keeps them.
            QDateTime::currentDateTimeUtc().addDays(-(i % 28)).toString(Qt::ISODate),
            binnedPicturesText(none) };
    }
    bin.appendRecords(binned);
}

// The picture files of the places the benchmark deletes (place p owns
// pictures p+1, p+1+10000, ...).
void writePictureFiles(const Kit& kit, const QList<int>& placeIds)
{
    const QString folder = kit.hostPath(vProgramPath + u"Pix"_s);
    QDir().mkpath(folder);
    const QByteArray bytes(200 * 1024, 'x');
    for (int place : placeIds) {
        for (int k = 0; k < 5; ++k) {
            const QString name = QString::number(place + 1 + k * kPlaces).rightJustified(6, u'0');
            fixture::writeBytes(folder + u'/' + name + u".JPG"_s, bytes);
        }
    }
}

void chooseAndGo(const char* radio)
{
    click("btnAddPlace");
    control<QRadioButton>(radio)->click();
    click("btnGo");
}

void measure()
{
    Kit kit;
    fixture::Atlas atlas(kit);
    atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
    atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
    writeTables();
    QList<int> deleted;
    for (int i = 0; i < kRuns; ++i)
        deleted << 1000 + i * 800;
    writePictureFiles(kit, deleted);
    if (!atlas.open()) {
        std::fprintf(stderr, "the atlas window did not open\n");
        return;
    }
    for (QAction* item : MainForm->menuBar()->actions()) {
        if (item->objectName() == u"mnuNotes"_s)
            item->trigger();
    }
    auto* grid = control<platform::DbGrid>("grdPlaces");
    paint(frmNotes);

    Costs list;
    TfrmBin* bin = nullptr;
    for (int i = 0; i < kRuns; ++i) {
        if (bin)
            bin->hide();
        list.add([&] {
            bin = TfrmBin::showBin();
            paint(bin);
        });
    }
    list.print("bin_list");
    print("bin_list_rows", bin->findChild<QTreeWidget*>(u"grdBin"_s)->topLevelItemCount());
    bin->hide();

    Costs remove;
    for (int placeId : deleted) {
        clickRow(grid, placeId);
        click("btnAddPlace");
        control<QRadioButton>("rdoDelete")->click();
        remove.add([&] {
            click("btnGo");
            paint(frmNotes);
        });
    }
    remove.print("delete_to_bin");

    Costs putBack;
    bin = TfrmBin::showBin();
    auto* binList = bin->findChild<QTreeWidget*>(u"grdBin"_s);
    for (int i = 0; i < kRuns; ++i) {
        QTreeWidgetItem* last = binList->topLevelItem(binList->topLevelItemCount() - 1);
        binList->clearSelection();
        last->setSelected(true);
        putBack.add([&] {
            QTest::mouseClick(bin->findChild<QPushButton*>(u"btnPutBack"_s), Qt::LeftButton);
            paint(bin);
            paint(frmNotes);
        });
    }
    putBack.print("put_back");
    bin->hide();

    Costs undoRename;
    auto* undo = frmNotes->findChild<QAction*>(u"mnuUndo"_s);
    for (int i = 0; i < kRuns; ++i) {
        clickRow(grid, 3000 + i * 500);
        chooseAndGo("rdoEdit");
        auto* name = control<QLineEdit>("dbedPlace");
        name->selectAll();
        QTest::keyClicks(name, u"Renamed %1"_s.arg(i));
        click("btnDoneEdit");
        clickRow(grid, 10 + i); // stored
        undoRename.add([&] {
            undo->trigger();
            paint(frmNotes);
        });
    }
    undoRename.print("undo_rename");
    const int binnedFiles = int(QDir(kit.hostPath(binFolder())).entryList(QDir::Files).size());
    print("bin_files_left", binnedFiles);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    measure();
    return 0;
}
