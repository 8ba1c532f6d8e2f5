// The abbreviations window: its list in stored order with the designed
// columns, values longer than their column, type-ahead that edits nothing,
// an empty table, a second opening that leaves the window where the user
// put it, and which clicks make it the current view.

#include "kit/atlas_fixture.h"

#include "aids/abbrev.h"
#include "platform/fonts.h"

#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Row {
    QString abbrev, spelling, language, meaning;
};

// Stored order on purpose not alphabetical: the window must not sort.
const QList<Row> kRows {
    { u"Bhf."_s, u"Bahnhof"_s, u"German"_s, u"railway station"_s },
    { u"St."_s, u"Sankt"_s, u"German"_s, u"Saint"_s },
    { u"Schl."_s, u"Schloss"_s, u"German"_s, u"castle or manor house"_s },
    { u"Str."_s, u"Strasse"_s, u"German"_s, u"street"_s },
    { u"B."_s, u"Bach"_s, u"German"_s,
        u"brook or small stream, often the one beside which a village grew"_s.left(60) },
};

void writeRows(const QList<Row>& rows)
{
    platform::Database db(u"Corvane3"_s, u"Atlas"_s);
    db.connectDatabase();
    platform::Table table(&db, abbrevTableDef());
    table.open();
    for (const Row& row : rows) {
        table.append();
        table.setFieldValue(u"Abbrev"_s, row.abbrev);
        table.setFieldValue(u"Spelling"_s, row.spelling);
        table.setFieldValue(u"Language"_s, row.language);
        table.setFieldValue(u"Meaning"_s, row.meaning);
        table.post();
    }
    table.close();
}

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAbbrev* window = nullptr;
    platform::DbGrid* grid = nullptr;

    explicit Setup(const QList<Row>& rows = kRows)
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        writeRows(rows);
        if (!atlas.open())
            return;
        chooseAbbreviations();
        window = frmAbbrev;
        grid = window ? window->grdAbbrev() : nullptr;
    }
    // "Abbreviations" in the atlas window's menu, shown by the frame.
    static void chooseAbbreviations()
    {
        for (QAction* item : MainForm->menuBar()->actions()) {
            if (item->objectName() == u"mnuAbbrev"_s) {
                item->trigger();
                return;
            }
        }
        QTest::qFail("mnuAbbrev missing from the frame's menu bar", __FILE__, __LINE__);
    }
    platform::Table* table() const { return DataModule1->tblAbbrev; }
    QString cell(int row, int column) const { return grid->model()->index(row, column).data().toString(); }
};

} // namespace

class TestAbbrev : public QObject {
    Q_OBJECT

private slots:
    void theWindowAsDesigned()
    {
        Setup s;
        QVERIFY2(s.window, "frmAbbrev missing");
        QVERIFY(vAbbrevCreated);
        QCOMPARE(s.window->windowTitle(), u"  ABBREVIATIONS and USEFUL GERMAN WORDS"_s);
        QCOMPARE(s.window->outerGeometry(), QRect(2, 2, 764, 460));
        QMdiSubWindow* sub = s.window->subWindow();
        QCOMPARE(sub->minimumSize(), sub->maximumSize()); // fixed border
        QCOMPARE(s.window->lblGrid()->geometry(), QRect(13, 10, 564, 15));
        QCOMPARE(s.window->lblGrid()->text(),
            u"Below is a list of abbreviations and useful German words used on these maps and in the index."_s);
        QCOMPARE(s.grid->geometry(), QRect(13, 31, 732, 381));
        QCOMPARE(s.grid->toolTip(),
            u"These abbreviations and German words are frequently used throughout the "
            u"Atlas, on maps and their keys."_s);

        QStringList titles;
        QList<int> widths;
        for (int c = 0; c < s.grid->model()->columnCount(); ++c) {
            titles << s.grid->model()->headerData(c, Qt::Horizontal).toString();
            widths << s.grid->columnWidth(c);
            const int alignment
                = s.grid->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
            QCOMPARE(alignment & Qt::AlignHCenter, int(Qt::AlignHCenter));
        }
        QCOMPARE(
            titles, (QStringList { u"ABBREVIATION"_s, u"FULL SPELLING"_s, u"LANGUAGE"_s, u"MEANING"_s }));
        QCOMPARE(widths, (QList<int> { 140, 178, 175, 202 }));
        QVERIFY(!s.grid->verticalHeader()->isHidden()); // the row indicator
        QCOMPARE(s.grid->selectionBehavior(), QAbstractItemView::SelectRows);

        const QFont abbrev = s.grid->model()->index(0, 0).data(Qt::FontRole).value<QFont>();
        QCOMPARE(abbrev.family(), platform::designFont(u"Bookman Old Style"_s, 12, true).family());
        QCOMPARE(abbrev.pixelSize(), 12);
        QVERIFY(abbrev.bold());
        QCOMPARE(s.grid->font().pixelSize(), 11);
        QVERIFY(s.grid->font().bold());
        QCOMPARE(
            s.grid->horizontalHeader()->font().family(), platform::designFont(u"Verdana"_s, 11).family());
        QCOMPARE(s.grid->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void listsEveryRecordInStoredOrder()
    {
        Setup s;
        QVERIFY(s.grid);
        QCOMPARE(s.grid->model()->rowCount(), kRows.size());
        for (int r = 0; r < kRows.size(); ++r) {
            const QStringList shown { s.cell(r, 0), s.cell(r, 1), s.cell(r, 2), s.cell(r, 3) };
            const Row& row = kRows[r];
            QCOMPARE(shown, (QStringList { row.abbrev, row.spelling, row.language, row.meaning }));
        }
        // Longer than its column shows: the whole value is there for the tip.
        QVERIFY(kRows[4].meaning.size() > 40);
        QCOMPARE(s.grid->model()->index(4, 3).data(Qt::ToolTipRole).toString(), kRows[4].meaning);
    }

    void anEmptyTableShowsTitlesOnly()
    {
        Setup s(QList<Row> {});
        QVERIFY(s.grid);
        QCOMPARE(s.grid->model()->rowCount(), 0);
        QCOMPARE(s.grid->model()->columnCount(), 4);
        QVERIFY(s.grid->horizontalHeader()->isVisible());
        QTest::keyClicks(s.grid, u"Str"_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Typing jumps to the first abbreviation that starts with the typed
    // letters, in any case, and changes nothing.
    void typingFindsAWordAndEditsNothing()
    {
        Setup s;
        QVERIFY(s.grid);
        s.grid->setFocus();
        QTest::keyClicks(s.grid, u"st"_s);
        QCOMPARE(s.table()->fieldAsString(u"Abbrev"_s), u"St."_s);
        QTest::qWait(QApplication::keyboardInputInterval() + 200); // a pause starts a new search
        QTest::keyClicks(s.grid, u"Str"_s);
        QCOMPARE(s.table()->fieldAsString(u"Abbrev"_s), u"Str."_s);
        for (const auto key :
            { Qt::Key_F2, Qt::Key_Return, Qt::Key_Delete, Qt::Key_Insert, Qt::Key_Backspace })
            QTest::keyClick(s.grid, key);
        QTest::keyClick(s.grid, Qt::Key_Delete, Qt::ControlModifier);

        QCOMPARE(s.table()->state(), platform::Table::State::Browse);
        QCOMPARE(s.table()->recordCount(), kRows.size());
        for (int r = 0; r < kRows.size(); ++r)
            QCOMPARE(s.cell(r, 0), kRows[r].abbrev);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Back from another view, the window keeps its place and its row.
    void aSecondOpeningLeavesTheWindowAsItWas()
    {
        Setup s;
        QVERIFY(s.window);
        s.table()->moveTo(3);
        s.window->moveTo(60, 40);
        s.window->menu.mnuMaps->trigger();
        QCOMPARE(vCurrentView, u"Atlas"_s);
        Setup::chooseAbbreviations();
        QCOMPARE(MainForm->findChildren<TfrmAbbrev*>().size(), 1);
        QCOMPARE(frmAbbrev, s.window);
        QCOMPARE(s.window->outerGeometry(), QRect(60, 40, 764, 460));
        QCOMPARE(s.table()->recNo(), 3);
        QCOMPARE(vCurrentView, u"Abbrev"_s);
    }

    // Only the bare background makes this the current view.
    void clicksOnControlsAndCaptionLeaveTheCurrentView()
    {
        Setup s;
        QVERIFY(s.grid);
        vCurrentView = u"Atlas"_s;
        s.kit.click(u"lblGrid"_s);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        const QRect cell = s.grid->visualRect(s.grid->model()->index(2, 1));
        s.kit.clickAt(s.grid->viewport(), cell.center());
        QCOMPARE(s.table()->recNo(), 2);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        s.kit.clickAt(s.grid->horizontalHeader(), { 20, 5 });
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QMdiSubWindow* sub = s.window->subWindow();
        s.kit.clickAt(sub, { 300, s.window->geometry().top() / 2 });
        QCOMPARE(vCurrentView, u"Atlas"_s);

        s.kit.clickAt(s.window, { 600, 18 }); // right of the label
        QCOMPARE(vCurrentView, u"Abbrev"_s);
        vCurrentView = u"Atlas"_s;
        s.kit.clickAt(s.window, { 5, 420 }); // below the grid
        QCOMPARE(vCurrentView, u"Abbrev"_s);
    }
};

QTEST_MAIN(TestAbbrev)
#include "test_abbrev.moc"
