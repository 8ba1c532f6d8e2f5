// The descriptions window with 10,000 places and 50,000 picture records
// (five per place, spread through PIX.DB as years of use leave them):
//   open_window_ms        Descriptions chosen in the atlas window, to the
//                         window painted;
//   select_place_ms       a click on a row of the list, to the caption;
//   add_place_ms          "Add" in the add panel, stored, list painted;
//   delete_place_ms       "Go" with Delete chosen: the place and its five
//                         picture records gone, list painted;
//   keystroke_100k_ms     one character typed into a description of
//                         100,000 characters in paragraphs (and in one
//                         paragraph: keystroke_100k_one_paragraph_ms);
//   pictures_ms           "Pictures" on a place with five 12-megapixel
//                         phone photos: its first photo decoded and shown;
//   see_more_ms           "See More" after looking at a photo for a second
//                         and a half: the next one, decoded ahead, shown;
//   scroll_page_ms        one page of the list scrolled and painted;
//   scroll_all_ms         the whole list scrolled through page by page;
//   show_pinned_place_ms  a double-click on a place pinned to a map: the
//                         atlas window on its sheet with the 50 markers (fewer the ones deleted above) of
//                         that sheet (1,000 of the places are pinned, on
//                         20 sheets), painted.
// Every tenth place is pinned, so the keystrokes also run the markers'
// following of the current place.
// Figures are medians; one "name: value" line each.
//
// A size given as the first argument (or CORVANE_BENCH_PLACES), e.g.
// 100000, measures that many places with five pictures each; the figures
// that follow the notebook's size then carry it in their name
// (see_more_100k_ms, add_place_100k_ms, delete_place_100k_ms, ...) and the
// size-independent keystroke and scrolling figures are left out. Beside
// each of those wall-clock figures, *_cpu_ms is the processor time of the
// whole process and *_ui_cpu_ms that of the user-interface thread alone,
// which a busy machine does not inflate.

#include "bench_support.h"
#include "kit/atlas_fixture.h"
#include "notes_driving.h"

#include "maps/pins.h"
#include "places/notes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace corvane;
using namespace Qt::StringLiterals;
using bench::click;
using bench::clickRow;
using bench::control;
using bench::paint;

namespace {

constexpr int kDefaultPlaces = 10000;
constexpr int kRuns = 9;

int kPlaces = kDefaultPlaces;
int kPictures = 5 * kDefaultPlaces;

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

double clockMs(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// One step's wall-clock, process and user-interface thread times.
struct Cost {
    double wall = 0;
    double cpu = 0;
    double uiCpu = 0;
};

template <typename F> Cost costOf(F&& step)
{
    const double cpu = clockMs(CLOCK_PROCESS_CPUTIME_ID);
    const double uiCpu = clockMs(CLOCK_THREAD_CPUTIME_ID);
    Cost cost;
    cost.wall = bench::timed(step);
    cost.cpu = clockMs(CLOCK_PROCESS_CPUTIME_ID) - cpu;
    cost.uiCpu = clockMs(CLOCK_THREAD_CPUTIME_ID) - uiCpu;
    return cost;
}

// "see_more" becomes "see_more_100k" at 100,000 places.
QByteArray sized(const char* name)
{
    if (kPlaces == kDefaultPlaces)
        return name;
    const QByteArray size
        = kPlaces % 1000 == 0 ? QByteArray::number(kPlaces / 1000) + 'k' : QByteArray::number(kPlaces);
    return QByteArray(name) + '_' + size;
}

// The medians of a sized figure: wall-clock, then processor times.
void printCosts(const char* name, const QList<Cost>& costs)
{
    QList<double> wall, cpu, uiCpu;
    for (const Cost& cost : costs) {
        wall << cost.wall;
        cpu << cost.cpu;
        uiCpu << cost.uiCpu;
    }
    const QByteArray base = sized(name);
    print((base + "_ms").constData(), bench::median(wall));
    print((base + "_cpu_ms").constData(), bench::median(cpu));
    print((base + "_ui_cpu_ms").constData(), bench::median(uiCpu));
}

void writeUserTables()
{
    platform::Database db(u"Corvane3"_s, u"Atlas"_s);
    db.connectDatabase();
    platform::Table descrip(&db, descripTableDef());
    descrip.open();
    QList<QVariantList> places;
    for (int i = 0; i < kPlaces; ++i) {
        // Every tenth place pinned, on one of 20 sheets.
        const bool pinned = i % 10 == 5;
        const QVariant page
            = pinned ? QVariant(i % 200 == 5 ? u"GB-03H"_s : u"GB-%1X"_s.arg(i % 20)) : QVariant();
        const QVariant coords = pinned ? QVariant(u"%1,%2"_s.arg(i % 200).arg(i % 144)) : QVariant();
        places << QVariantList { i, u"Place number %1 in the county"_s.arg(i), page, coords,
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
}

void measureKeystrokes(platform::DbGrid* grid)
{
    // Descriptions are written in paragraphs; one paragraph of 100,000
    // characters is the worst case, where Qt lays the paragraph out anew
    // on every keystroke.
    const QString sentence = u"The long description of a much-studied place. "_s;
    const std::pair<const char*, QString> descriptions[]
        = { { "keystroke_100k_ms", (sentence.repeated(8) + u'\n').repeated(300).left(100000) },
              { "keystroke_100k_one_paragraph_ms", sentence.repeated(2200).left(100000) } };
    auto* memo = control<QPlainTextEdit>("dbmemoDescrip");
    for (const auto& [figure, text] : descriptions) {
        clickRow(grid, 5);
        memo->setPlainText(text);
        memo->moveCursor(QTextCursor::End);
        QList<double> keystroke;
        for (int i = 0; i < kRuns * 3; ++i) {
            keystroke << bench::timed([&] {
                QTest::keyClick(memo, Qt::Key_A);
                paint(memo->viewport());
            });
        }
        print(figure, bench::median(keystroke));
    }
}

void measureScrolling(platform::DbGrid* grid)
{
    QList<double> page;
    QScrollBar* bar = grid->verticalScrollBar();
    bar->setValue(0);
    paint(grid);
    const double all = bench::timed([&] {
        while (bar->value() < bar->maximum()) {
            page << bench::timed([&] {
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                paint(grid->viewport());
            });
        }
    });
    print("scroll_page_ms", bench::median(page));
    print("scroll_all_ms", all);
    print("scroll_pages", double(page.size()));
}

void measure()
{
    Kit kit;
    fixture::Atlas atlas(kit);
    atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
    atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
    writeUserTables();
    if (!atlas.open()) {
        std::fprintf(stderr, "the atlas window did not open\n");
        return;
    }
    QAction* descriptionsItem = nullptr;
    for (QAction* item : MainForm->menuBar()->actions()) {
        if (item->objectName() == u"mnuNotes"_s)
            descriptionsItem = item;
    }
    print((sized("open_window") + "_ms").constData(), bench::timed([&] {
        descriptionsItem->trigger();
        paint(frmNotes);
    }));
    auto* grid = control<platform::DbGrid>("grdPlaces");

    QList<Cost> select, add, remove;
    for (int i = 0; i < kRuns; ++i) {
        const int row = (i * 997) % kPlaces;
        grid->scrollTo(grid->model()->index(row, 0));
        paint(grid);
        select << costOf([&] {
            clickRow(grid, row);
            paint(frmNotes);
        });
    }
    printCosts("select_place", select);

    for (int i = 0; i < kRuns; ++i) {
        click("btnAddPlace");
        control<QRadioButton>("rdoAdd")->click();
        click("btnGo");
        control<QLineEdit>("edPlace")->setText(u"Added place %1"_s.arg(i));
        add << costOf([&] {
            click("btnAddRecord");
            paint(frmNotes);
        });
    }
    printCosts("add_place", add);

    for (int i = 0; i < kRuns; ++i) {
        clickRow(grid, 1000 + i * 800);
        click("btnAddPlace");
        control<QRadioButton>("rdoDelete")->click();
        remove << costOf([&] {
            click("btnGo");
            paint(frmNotes);
        });
    }
    printCosts("delete_place", remove);

    if (kPlaces == kDefaultPlaces)
        measureKeystrokes(grid);

    // Place 7 owns pictures 8, 10008, 20008, 30008 and 40008.
    const QByteArray photo = fixture::encodeJpeg(bench::busySheet({ 4032, 3024 }), 90);
    const QString folder = QDir(kit.hostPath(vProgramPath)).filePath(u"Pix"_s);
    QDir().mkpath(folder);
    for (int i = 7; i < kPictures; i += kPlaces)
        fixture::writeBytes(
            folder + u'/' + QString::number(i + 1).rightJustified(6, u'0') + u".JPG"_s, photo);
    clickRow(grid, 7);
    print((sized("pictures") + "_ms").constData(), bench::timed([&] {
        click("btnPictures");
        paint(frmNotes);
    }));
    QList<Cost> more;
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(1500);
        more << costOf([&] {
            click("btnMorePix");
            paint(frmNotes);
        });
    }
    printCosts("see_more", more);
    click("btnDonePix");
    if (kPlaces == kDefaultPlaces)
        measureScrolling(grid);

    QList<double> pinned;
    for (int i = 0; i < kRuns; ++i) {
        DataModule1->tblDescrip->findKey({ 205 + 200 * i }); // pinned to GB-03H
        grid->scrollTo(grid->currentIndex());
        const QPoint at = grid->visualRect(grid->currentIndex()).center();
        pinned << bench::timed([&] {
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
            paint(frmAtlas);
        });
        if (vCurrentView != u"Atlas"_s
            || frmAtlas->pins()->markers().size() < 45) { // a few were deleted above
            std::fprintf(stderr,
                "the pinned place's sheet did not come up with its markers (%d: %s %d, %d)\n", i,
                qPrintable(vCurrentView), vPlaceId, int(frmAtlas->pins()->markers().size()));
            return;
        }
        descriptionsItem->trigger();
    }
    print((sized("show_pinned_place") + "_ms").constData(), bench::median(pinned));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray size = argc > 1 ? QByteArray(argv[1]) : qgetenv("CORVANE_BENCH_PLACES");
    if (!size.isEmpty()) {
        bool ok = false;
        kPlaces = size.toInt(&ok);
        if (!ok || kPlaces < 10000 || kPlaces > 1000000) {
            std::fprintf(stderr, "the number of places must lie between 10000 and 1000000\n");
            return 1;
        }
        kPictures = 5 * kPlaces;
    }
    measure();
    return 0;
}
