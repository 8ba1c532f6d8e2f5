// The search window in the whole program: Ctrl+F and the tool-bar button,
// results as the user types, a jump for each kind of hit through the
// views' own paths (a gazetteer town's marker on its sheet), the keyboard alone, the palette's paste, and an
// index that follows a rename, a delete, a restore and an import's bulk store.
#include "import/legacy_writer.h"
#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "aids/abbrev.h"
#include "data/search_indexer.h"
#include "data/user_tables.h"
#include "find/find.h"
#include "import/legacy_import.h"
#include "maps/pins.h"
#include "output/restore.h"
#include "places/notes.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QTreeWidget>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using fixture::Picture;
using fixture::Place;

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.writeSheet(u"GB-05A"_s, { 200, 144 }, Qt::blue);
        atlas.writeSheet(u"LOC-S"_s, { 200, 144 }, Qt::gray);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 },
                          { u"GB-05A"_s, {}, {}, {}, {}, u"England: Oxford"_s, u"20-21"_s, 400, 600 } },
            { { 1, u"Oxfordshire"_s, u"GB-05A"_s } });
        writeTowns();
        fixture::writeUserTables(
            { { 0, u"Kilbride"_s, u"Where I wrote about the mill at Kilbride, by the Straße."_s },
                { 1, u"Dún Laoghaire"_s, u"The harbour."_s } },
            { { u"000001"_s, 1, u"The east pier at dusk"_s } });
        window = atlas.open();
        writeGlossary();
        const QString pix = QDir(kit.hostPath(vProgramPath)).filePath(u"Pix"_s);
        QDir().mkpath(pix);
        fixture::writeBytes(
            pix + u"/000001.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 80, 60 }, Qt::blue)));
    }

    // The gazetteer on the atlas CD, beside the Maps folder.
    void writeTowns() const
    {
        const QString georef = atlas.mapsFolder() + u"/../Georef/"_s;
        QDir().mkpath(georef);
        fixture::writeBytes(georef + u"TOWNS.TSV"_s,
            u"Name\tLongitude\tLatitude\tMap\tX\tY\n"
            "Kilbéggan\t-7.5\t53.37\tGB-03H\t150\t36\n"
            "Upper Kilbarry\t-8.1\t52.1\tGB-05A\t40\t100.5\n"
            "Lower Kilbarry\t-8.2\t52.0\t\t\t\n"
            "Großenhain\t13.55\t51.29\tGB-03H\t10\t10\n"_s.toUtf8());
    }

    static void writeGlossary()
    {
        platform::Table* glossary = DataModule1->tblAbbrev;
        glossary->open();
        const QList<QStringList> rows { { u"Schl."_s, u"Schloß"_s, u"German"_s, u"castle"_s },
            { u"Bg."_s, u"Berg"_s, u"German"_s, u"mountain"_s } };
        for (const QStringList& row : rows) {
            glossary->append();
            glossary->setFieldValue(u"Abbrev"_s, row[0]);
            glossary->setFieldValue(u"Spelling"_s, row[1]);
            glossary->setFieldValue(u"Language"_s, row[2]);
            glossary->setFieldValue(u"Meaning"_s, row[3]);
            glossary->post();
        }
    }

    TfrmFind* openFind() const
    {
        QTest::keyClick(MainForm, Qt::Key_F, Qt::ControlModifier);
        return frmFind;
    }

    // Types into the field as a user would and waits for the list.
    QTreeWidget* type(const QString& text) const
    {
        QLineEdit* field = frmFind->edFind();
        field->clear();
        QTest::keyClicks(field, text);
        return frmFind->lstFound();
    }

    // The first lines of the hits shown, by heading.
    static QStringList shown(const QTreeWidget* list)
    {
        QStringList lines;
        for (int g = 0; g < list->topLevelItemCount(); ++g) {
            const QTreeWidgetItem* group = list->topLevelItem(g);
            for (int i = 0; i < group->childCount(); ++i)
                lines << group->text(0) + u": "_s + group->child(i)->text(0);
        }
        return lines;
    }

    QStringList found(const QString& text) const
    {
        const QTreeWidget* list = type(text);
        // The answer comes from the index's thread; an empty list may be
        // the answer, so wait for that thread first.
        SearchIndexer::instance()->waitUntilIdle();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        return shown(list);
    }
};

} // namespace

class TestFind : public QObject {
    Q_OBJECT

private slots:
    void ctrlFOpensTheSearchWithTheFieldReady()
    {
        Setup s;
        QVERIFY(s.window);
        auto* button = s.kit.get<QToolButton>(u"spdFind"_s);
        QVERIFY(button->isVisible());
        TfrmFind* find = s.openFind();
        QVERIFY2(find, "Ctrl+F made no search window");
        QTRY_VERIFY(find->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), find->edFind());
        // The view's menu stays in the frame while the search is in front.
        QVERIFY(MainForm->menuBar()->actions().size() > 1);
        QCOMPARE(find->edFind()->objectName(), u"edFind"_s);
        QCOMPARE(find->lstFound()->objectName(), u"lstFound"_s);
        // Esc puts it away; the button brings it back, ready to type.
        QTest::keyClick(find->edFind(), Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(find->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), find->edFind());
    }

    void resultsGroupedByKindWithTheMatchMarked()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"oxf"_s),
            (QStringList { u"Sheets: England: Oxford  (GB-05A)"_s, u"Counties: Oxfordshire  (GB-05A)"_s }));
        QCOMPARE(s.found(u"strasse mill"_s), QStringList { u"Places: Kilbride"_s });
        const QTreeWidgetItem* hit = frmFind->lstFound()->topLevelItem(0)->child(0);
        const QString marked = hit->data(0, Qt::UserRole + 20).toString();
        QVERIFY2(
            marked.contains(u"<b>mill</b>"_s) && marked.contains(u"<b>Straße</b>"_s), qPrintable(marked));
        QCOMPARE(s.found(u"dun laog"_s), QStringList { u"Places: Dún Laoghaire"_s });
        QCOMPARE(s.found(u"PIER"_s), QStringList { u"Picture captions: Picture 000001"_s });
        QCOMPARE(s.found(u"schlo"_s), QStringList { u"Glossary: Schl. = castle"_s });
        QCOMPARE(s.found(u"zzz"_s), QStringList());
        QCOMPARE(frmFind->findChild<QLabel*>(u"lblFound"_s)->text(), u"Nothing found."_s);
        QCOMPARE(s.found(u"\"mill at\" -( NEAR"_s), QStringList());
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Each kind goes where the user would have gone by hand.
    void enterGoesThere()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"oxfordsh"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vMapId, u"GB-05A"_s);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QVERIFY(frmAtlas->windowTitle().contains(u"England: Oxford"_s));

        s.openFind();
        QCOMPARE(s.found(u"london"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Enter);
        QCOMPARE(vMapId, u"GB-03H"_s);

        s.openFind();
        QCOMPARE(s.found(u"harbour"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vCurrentView, u"Notes"_s);
        QCOMPARE(vPlaceId, 1);
        QCOMPARE(frmNotes->windowTitle(), u"  NOTES and PICTURES : Dún Laoghaire"_s);

        s.openFind();
        QCOMPARE(s.found(u"kilbride"_s).size(), 1);
        // A double-click goes there too.
        QTreeWidget* list = frmFind->lstFound();
        QTreeWidgetItem* hit = list->topLevelItem(0)->child(0);
        const QPoint at = list->visualItemRect(hit).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(vPlaceId, 0);

        s.openFind();
        QCOMPARE(s.found(u"dusk"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vPlaceId, 1);
        QCOMPARE(vPixFileName, u"000001"_s);
        QVERIFY(Kit::child<QWidget>(frmNotes, u"pnlPictures"_s)->isVisible());

        s.openFind();
        QCOMPARE(s.found(u"mountain"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vCurrentView, u"Abbrev"_s);
        QCOMPARE(DataModule1->tblAbbrev->fieldAsString(u"Abbrev"_s), u"Bg."_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Towns come from the gazetteer, by the index's rules, between the
    // counties and the places; each says where it lies.
    void townsFoundLikeTheRest()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"kilb"_s),
            (QStringList { u"Towns: Kilbéggan"_s, u"Towns: Upper Kilbarry"_s, u"Towns: Lower Kilbarry"_s,
                u"Places: Kilbride"_s }));
        const QTreeWidgetItem* towns = frmFind->lstFound()->topLevelItem(0);
        const QString onSheet = towns->child(0)->data(0, Qt::UserRole + 20).toString();
        QVERIFY2(onSheet.contains(u"GB-03H, 53.37000, -7.50000"_s), qPrintable(onSheet));
        const QString offSheet = towns->child(2)->data(0, Qt::UserRole + 20).toString();
        QVERIFY2(offSheet.contains(u"not on any sheet"_s), qPrintable(offSheet));
        QCOMPARE(s.found(u"KILBEGG"_s), QStringList { u"Towns: Kilbéggan"_s });
        QCOMPARE(s.found(u"kilb upp"_s), QStringList { u"Towns: Upper Kilbarry"_s });
        QCOMPARE(s.found(u"kilb upp low"_s), QStringList());
        QCOMPARE(s.found(u"grossenh"_s), QStringList { u"Towns: Großenhain"_s });
        QCOMPARE(s.found(u"\"upper kilbarry\""_s), QStringList { u"Towns: Upper Kilbarry"_s });
        QCOMPARE(s.found(u"\"kilbarry upper\""_s), QStringList());
        QCOMPARE(s.found(u"\"upper kilb\""_s), QStringList());
    }

    // A town opens its sheet with a marker at the town, which goes with the
    // next sheet change; a town off every sheet only says so.
    void aTownOpensItsSheetWithAMarker()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"kilbegg"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vMapId, u"GB-03H"_s);
        QCOMPARE(vCurrentView, u"Atlas"_s);
        TPinLayer* pins = frmAtlas->pins();
        const QPointer<QWidget> marker = pins->pointMarker();
        QVERIFY(marker);
        QCOMPARE(marker->objectName(), u"imgTownMarker"_s);
        QVERIFY(marker->isVisible());
        QVERIFY(marker->parentWidget() == frmAtlas->imgMap());
        const QPoint expected = pins->toPicture({ 150, 36 });
        QVERIFY2((marker->geometry().center() - expected).manhattanLength() <= 2,
            qPrintable(u"%1,%2"_s.arg(marker->geometry().center().x()).arg(marker->geometry().center().y())));

        s.openFind();
        QCOMPARE(s.found(u"upper kilb"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vMapId, u"GB-05A"_s);
        QVERIFY(!marker || !marker->isVisible());
        QVERIFY(pins->pointMarker());
        QVERIFY(
            (pins->pointMarker()->geometry().center() - pins->toPicture({ 40, 100 })).manhattanLength() <= 2);

        frmAtlas->changeDetailSheet(u"GB-03H"_s);
        QVERIFY(!pins->pointMarker());

        s.openFind();
        QCOMPARE(s.found(u"lower kilb"_s).size(), 1);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vMapId, u"GB-03H"_s);
        QVERIFY(!pins->pointMarker());
        QCOMPARE(
            frmFind->findChild<QLabel*>(u"lblFound"_s)->text(), u"Lower Kilbarry is not on any sheet."_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Arrows move through the hits from the field, over the headings.
    void keyboardOnly()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"oxf"_s).size(), 2);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Down);
        QCOMPARE(frmFind->lstFound()->currentItem()->text(0), u"Oxfordshire  (GB-05A)"_s);
        QTest::keyClick(frmFind->edFind(), Qt::Key_Return);
        QCOMPARE(vMapId, u"GB-05A"_s);
    }

    void takesThePalettesCharacter()
    {
        Setup s;
        s.openFind();
        QApplication::clipboard()->setText(u"ß"_s);
        vPasteState = u"Do"_s;
        QTest::mouseClick(frmFind->edFind(), Qt::LeftButton);
        QCOMPARE(frmFind->edFind()->text(), u"ß"_s);
        QCOMPARE(vPasteState, u"Done"_s);
    }

    // A rename is found at once by the new name only; a delete not at all;
    // a batch rolled back leaves the index as it was.
    void followsEveryStore()
    {
        Setup s;
        s.openFind();
        platform::Table* places = DataModule1->tblDescrip;
        QVERIFY(places->findKey({ 0 }));
        places->edit();
        places->setFieldValue(u"Place"_s, u"Glenmore"_s);
        places->post();
        QTRY_COMPARE(s.found(u"glenm"_s), QStringList { u"Places: Glenmore"_s });
        QCOMPARE(
            s.found(u"kilbride"_s), QStringList { u"Places: Glenmore"_s }); // the description still says so
        QVERIFY(places->findKey({ 1 }));
        places->deleteRecord();
        QCOMPARE(s.found(u"harbour"_s), QStringList());

        platform::Database* database = DataModule1->dbCorvane;
        database->beginBatch();
        places->deleteAllRecords();
        places->appendRecords({ { 7, u"Ballymore"_s, {}, {}, u"imported"_s } });
        database->rollbackBatch();
        places->close();
        places->open();
        QCOMPARE(s.found(u"ballym"_s), QStringList());
        QCOMPARE(s.found(u"glenm"_s), QStringList { u"Places: Glenmore"_s });

        // As the import stores: all in one batch, committed.
        database->beginBatch();
        places->deleteAllRecords();
        places->appendRecords({ { 7, u"Ballymore"_s, {}, {}, u"imported"_s } });
        database->commitBatch();
        QCOMPARE(s.found(u"ballym"_s), QStringList { u"Places: Ballymore"_s });
        QCOMPARE(s.found(u"glenm"_s), QStringList());
    }

    // Deleting the index loses nothing: the next start (a new indexer, as
    // the tables open) reads the tables into a new one.
    void theIndexIsRebuiltWhenDeleted()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"kilbr"_s).size(), 1);
        const QString path = SearchIndexer::defaultIndexPath(DataModule1->dbCorvane->folderHostPath());
        delete SearchIndexer::instance();
        for (const QString& suffix : { u""_s, u"-wal"_s, u"-shm"_s })
            QFile::remove(path + suffix);
        auto* indexer = new SearchIndexer(DataModule1->dbCorvane, path, DataModule1);
        for (platform::Table* table : DataModule1->tables())
            indexer->checkTable(table->fileHostPath());
        QSignalSpy found(indexer, &SearchIndexer::found);
        indexer->search(u"kilbr"_s, 10);
        QVERIFY(found.wait());
        const auto hits = found.takeFirst().at(1).value<QList<FindHit>>();
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits.first().title, u"Kilbride"_s);
        QVERIFY(QFileInfo::exists(path));
    }

    // The import from the original program's tables stores in bulk, in one
    // batch: what it brought is found, what it replaced is not.
    void followsAnImport()
    {
        Setup s;
        s.openFind();
        QTRY_COMPARE(s.found(u"kilbr"_s).size(), 1);
        const QString data = s.kit.home() + u"/orig/Data"_s;
        const QString pix = s.kit.home() + u"/orig/Pix"_s;
        QDir().mkpath(data);
        QDir().mkpath(pix);
        QVERIFY(legacyfix::writeDescrip(data, { { 0, "Ballymore", "", "", "the old abbey" } }));
        QVERIFY(legacyfix::writePix(data, {}));
        const legacy::Target target { DataModule1->dbCorvane, DataModule1->tblDescrip, DataModule1->tblPix,
            vProgramPath + u"Pix\\"_s, vProgramPath + u"Data\\"_s };
        legacy::importInto(target, legacy::survey(data, pix), legacy::ImportMode::Replace);
        QCOMPARE(s.found(u"abbey"_s), QStringList { u"Places: Ballymore"_s });
        QCOMPARE(s.found(u"kilbr"_s), QStringList());
        QCOMPARE(s.found(u"dusk"_s), QStringList());
    }

    // A restore (and "go back", which is one) puts other files in place
    // while the tables are closed: the index reads them again.
    void followsARestore()
    {
        Setup s;
        s.openFind();
        const QString kept = keepCopyOfUserTables(*DataModule1);
        platform::Table* places = DataModule1->tblDescrip;
        QVERIFY(places->findKey({ 0 }));
        places->edit();
        places->setFieldValue(u"Place"_s, u"Glenmore"_s);
        places->post();
        QTRY_COMPARE(s.found(u"glenm"_s).size(), 1);
        s.kit.answerMessagesWith(QMessageBox::Yes);
        QVERIFY(restoreFromFolder(kept).ok);
        QCOMPARE(s.found(u"glenm"_s), QStringList());
        QCOMPARE(s.found(u"kilbr"_s), QStringList { u"Places: Kilbride"_s });
    }
};

QTEST_MAIN(TestFind)
#include "test_find.moc"
