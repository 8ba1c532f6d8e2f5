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

#include "bench_support.h"
#include "kit/atlas_fixture.h"

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

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int kPlaces = 10000;
constexpr int kPictures = 50000;
constexpr int kRuns = 9;

void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
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

void paint(QWidget* widget)
{
    widget->repaint();
    QCoreApplication::processEvents();
}

template <typename T> T* control(const char* name)
{
    return frmNotes->findChild<T*>(QLatin1String(name));
}

void click(const char* name)
{
    QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
}

void clickRow(platform::DbGrid* grid, int row)
{
    grid->scrollTo(grid->model()->index(row, 0));
    const QPoint at = grid->visualRect(grid->model()->index(row, 0)).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
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
    print("open_window_ms", bench::timed([&] {
        descriptionsItem->trigger();
        paint(frmNotes);
    }));
    auto* grid = control<platform::DbGrid>("grdPlaces");

    QList<double> select, add, remove, page;
    for (int i = 0; i < kRuns; ++i) {
        const int row = (i * 997) % kPlaces;
        grid->scrollTo(grid->model()->index(row, 0));
        paint(grid);
        select << bench::timed([&] {
            clickRow(grid, row);
            paint(frmNotes);
        });
    }
    print("select_place_ms", bench::median(select));

    for (int i = 0; i < kRuns; ++i) {
        click("btnAddPlace");
        control<QRadioButton>("rdoAdd")->click();
        click("btnGo");
        control<QLineEdit>("edPlace")->setText(u"Added place %1"_s.arg(i));
        add << bench::timed([&] {
            click("btnAddRecord");
            paint(frmNotes);
        });
    }
    print("add_place_ms", bench::median(add));

    for (int i = 0; i < kRuns; ++i) {
        clickRow(grid, 1000 + i * 800);
        click("btnAddPlace");
        control<QRadioButton>("rdoDelete")->click();
        remove << bench::timed([&] {
            click("btnGo");
            paint(frmNotes);
        });
    }
    print("delete_place_ms", bench::median(remove));

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

    // Place 7 owns pictures 8, 10008, 20008, 30008 and 40008.
    const QByteArray photo = fixture::encodeJpeg(bench::busySheet({ 4032, 3024 }), 90);
    const QString folder = QDir(kit.hostPath(vProgramPath)).filePath(u"Pix"_s);
    QDir().mkpath(folder);
    for (int i = 7; i < kPictures; i += kPlaces)
        fixture::writeBytes(
            folder + u'/' + QString::number(i + 1).rightJustified(6, u'0') + u".JPG"_s, photo);
    clickRow(grid, 7);
    print("pictures_ms", bench::timed([&] {
        click("btnPictures");
        paint(frmNotes);
    }));
    QList<double> more;
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(1500);
        more << bench::timed([&] {
            click("btnMorePix");
            paint(frmNotes);
        });
    }
    print("see_more_ms", bench::median(more));
    click("btnDonePix");

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
    print("show_pinned_place_ms", bench::median(pinned));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    measure();
    return 0;
}
