// The notebook's undo history and the bin of deleted places: undo and redo
// of each kind of change, typing grouped by visit and pause, the labels the
// Edit menu shows, putting back into a number taken since, emptying the
// bin, its expiry at start-up, a kill during put back, and a table
// replacement clearing the history.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "data/bin_tables.h"
#include "data/notebook_history.h"
#include "data/place_pins.h"
#include "data/user_tables.h"
#include "output/backup.h"
#include "output/restore.h"
#include "places/bin_window.h"
#include "places/notes.h"
#include "places/place_bin.h"

#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUndoStack>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using fixture::Picture;
using fixture::Place;

const QList<Place> kPlaces { { 0, u"Rye"_s, u"Cinque port"_s },
    { 1, u"Kilbride"_s, u"A kirk"_s, u"GB-03H"_s, u"20,30"_s }, { 2, u"Hastings"_s } };
const QList<Picture> kPictures { { u"000001"_s, 1, u"The kirk"_s }, { u"000002"_s, 0 }, { u"000003"_s, 1 } };

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmNotes* window = nullptr;

    explicit Setup(const QList<Place>& places = kPlaces, const QList<Picture>& pictures = kPictures)
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        writeUserTables(places, pictures);
        for (const Picture& picture : pictures)
            fixture::writeBytes(pixFile(picture.file), picture.file.toUtf8());
        if (!atlas.open())
            return;
        for (QAction* item : MainForm->menuBar()->actions()) {
            if (item->objectName() == u"mnuNotes"_s)
                item->trigger();
        }
        window = frmNotes;
    }

    template <typename T = QWidget> T* get(const QString& name) const { return Kit::child<T>(window, name); }
    void click(const QString& name) const { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
    void clickRow(int row) const
    {
        auto* grid = get<platform::DbGrid>(u"grdPlaces"_s);
        QTest::mouseClick(
            grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 0)).center());
    }
    void choose(const QString& radio) const
    {
        click(u"btnAddPlace"_s);
        get<QRadioButton>(radio)->click();
        click(u"btnGo"_s);
    }
    QAction* item(const QString& name) const { return Kit::child<QAction>(window, name); }
    void undo() const { item(u"mnuUndo"_s)->trigger(); }
    void redo() const { item(u"mnuRedo"_s)->trigger(); }

    QString pixFile(const QString& name) const
    {
        return kit.hostPath(vProgramPath + u"Pix\\"_s + name + u".JPG"_s);
    }
    QStringList binFiles() const
    {
        return QDir(kit.hostPath(vProgramPath + u"Bin"_s)).entryList(QDir::Files);
    }
    static platform::Table* places() { return DataModule1->tblDescrip; }
    static platform::Table* pix() { return DataModule1->tblPix; }
    static QStringList column(platform::Table* table, const QString& field)
    {
        QStringList values;
        for (int row = 0; row < table->rowCount(); ++row)
            values << table->valueAt(row, table->fieldIndex(field)).toString();
        return values;
    }
    // "Placeid Place Page Coords Memo" of each place, in list order.
    static QStringList placeRows()
    {
        QStringList rows;
        for (int row = 0; row < places()->rowCount(); ++row) {
            QStringList fields;
            for (const char* field : { "Placeid", "Place", "Page", "Coords", "Memo" })
                fields << places()->valueAt(row, places()->fieldIndex(QLatin1String(field))).toString();
            rows << fields.join(u'|');
        }
        return rows;
    }
    // "Filename Placeid Caption" of each picture, sorted, with whether its
    // file is in the picture folder.
    QStringList pictureRows() const
    {
        QStringList rows;
        for (int row = 0; row < pix()->rowCount(); ++row) {
            const QString file = pix()->valueAt(row, pix()->fieldIndex(u"Filename"_s)).toString();
            rows << file + u'|' + pix()->valueAt(row, pix()->fieldIndex(u"Placeid"_s)).toString() + u'|'
                    + pix()->valueAt(row, pix()->fieldIndex(u"Caption"_s)).toString()
                    + (QFile::exists(pixFile(file)) ? u""_s : u" (no file)"_s);
        }
        rows.sort();
        return rows;
    }
};

} // namespace

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void init() { setBinClock({}); }

    // Deleting goes to the bin with pictures, files and pin; undo brings
    // all of it back under the same numbers, redo sends it again.
    void aDeletedPlaceGoesToTheBinAndComesBack()
    {
        Setup s;
        QVERIFY(s.window);
        const QStringList places = Setup::placeRows();
        const QStringList pictures = s.pictureRows();
        s.clickRow(1);
        s.choose(u"rdoDelete"_s);
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(Setup::column(Setup::places(), u"Place"_s), (QStringList { u"Rye"_s, u"Hastings"_s }));
        QCOMPARE(s.pictureRows(), QStringList { u"000002|0|"_s });
        QCOMPARE(s.binFiles(), (QStringList { u"000001-000001.JPG"_s, u"000001-000003.JPG"_s }));
        QVERIFY(!pinOf(1));
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo delete of \u201cKilbride\u201d"_s);
        QCOMPARE(MainForm->statusBar()->currentMessage(),
            u"\u201cKilbride\u201d is in the bin: Undo, or \"Deleted places...\" in the Edit menu, puts it back."_s);
        const QList<BinnedPlace> binned = binnedPlaces();
        QCOMPARE(binned.size(), 1);
        QCOMPARE(binned[0].place, u"Kilbride"_s);
        QCOMPARE(binned[0].pictures, 2);

        s.undo();
        QCOMPARE(Setup::placeRows(), places);
        QCOMPARE(s.pictureRows(), pictures);
        QVERIFY(s.binFiles().isEmpty());
        QVERIFY(binnedPlaces().isEmpty());
        QCOMPARE(vPlaceName, u"Kilbride"_s);
        QCOMPARE(s.item(u"mnuRedo"_s)->text(), u"Redo delete of \u201cKilbride\u201d"_s);

        s.redo();
        QCOMPARE(Setup::placeRows().size(), 2);
        QCOMPARE(s.binFiles().size(), 2);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // Rename, description, caption, pin and unpin, add and attach: each
    // undone and redone, named in the menu by what it will undo.
    void everyKindOfChangeIsUndoneAndRedone()
    {
        Setup s;
        QVERIFY(s.window);
        s.clickRow(1);
        s.choose(u"rdoEdit"_s);
        auto* name = s.get<QLineEdit>(u"dbedPlace"_s);
        name->selectAll();
        QTest::keyClicks(name, u"Kilbryde"_s);
        s.click(u"btnDoneEdit"_s);
        s.clickRow(0); // stored on the move
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo rename of \u201cKilbride\u201d"_s);
        QCOMPARE(notebookHistory()->count(), 1); // one step, not one per key
        s.undo();
        QCOMPARE(Setup::column(Setup::places(), u"Place"_s).value(1), u"Kilbride"_s);
        QCOMPARE(fixture::storedValue(u"SELECT Place FROM DESCRIP WHERE Placeid=1"_s), u"Kilbride"_s);
        s.redo();
        QCOMPARE(fixture::storedValue(u"SELECT Place FROM DESCRIP WHERE Placeid=1"_s), u"Kilbryde"_s);

        unpinCurrentPlace(); // Kilbryde is current after the redo
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo unpin of \u201cKilbryde\u201d"_s);
        QVERIFY(!pinOf(1));
        s.undo();
        QCOMPARE(pinOf(1)->point, QPoint(20, 30));
        s.clickRow(2);
        pinCurrentPlace(u"GB-03H"_s, { 5, 6 });
        s.undo();
        QVERIFY(!pinOf(2));
        s.redo();
        QCOMPARE(pinOf(2)->point, QPoint(5, 6));

        s.choose(u"rdoAdd"_s);
        s.get<QLineEdit>(u"edPlace"_s)->setText(u"Battle"_s);
        s.click(u"btnAddRecord"_s);
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo add of \u201cBattle\u201d"_s);
        s.undo();
        QVERIFY(!Setup::column(Setup::places(), u"Place"_s).contains(u"Battle"_s));
        s.redo();
        QVERIFY(Setup::column(Setup::places(), u"Place"_s).contains(u"Battle"_s));
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
    }

    // Typing over two visits is two steps; a pause also ends one; the
    // field's own Ctrl+Z is the notebook's.
    void aDescriptionTypedOverTwoVisits()
    {
        Setup s;
        QVERIFY(s.window);
        auto* memo = s.get<QPlainTextEdit>(u"dbmemoDescrip"_s);
        s.clickRow(0);
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, u", and a harbour"_s);
        s.clickRow(2);
        s.clickRow(0);
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, u" long silted up"_s);
        QCOMPARE(Setup::places()->fieldAsString(u"Memo"_s), u"Cinque port, and a harbour long silted up"_s);
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo typing in \u201cRye\u201d"_s);
        QCOMPARE(notebookHistory()->count(), 1); // the second visit's typing has not ended yet
        QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Setup::places()->fieldAsString(u"Memo"_s), u"Cinque port, and a harbour"_s);
        QCOMPARE(memo->toPlainText(), u"Cinque port, and a harbour"_s);
        s.undo();
        QCOMPARE(memo->toPlainText(), u"Cinque port"_s);
        QCOMPARE(fixture::storedValue(u"SELECT Memo FROM DESCRIP WHERE Placeid=0"_s), u"Cinque port"_s);
        QTest::keyClick(memo, Qt::Key_Y, Qt::ControlModifier);
        QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(memo->toPlainText(), u"Cinque port, and a harbour long silted up"_s);

        QTest::keyClicks(memo, u"!"_s);
        QVERIFY(QTest::qWaitFor([&] { return notebookHistory()->count() == 3; }, 4000)); // the pause
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo typing in \u201cRye\u201d"_s);
    }

    void aCaptionAndAnAttachedPicture()
    {
        Setup s;
        QVERIFY(s.window);
        s.clickRow(1);
        s.click(u"btnPictures"_s);
        auto* caption = s.get<QPlainTextEdit>(u"dbmemoCaption"_s);
        caption->moveCursor(QTextCursor::End);
        QTest::keyClicks(caption, u" at dusk"_s);
        s.click(u"btnMorePix"_s);
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo caption of picture 000001"_s);
        s.undo();
        QVERIFY(s.pictureRows().contains(u"000001|1|The kirk"_s));

        QTemporaryDir outside;
        const QString church = outside.path() + u"/church.jpg"_s;
        QVERIFY(fixture::writeBytes(church, "church"));
        platform::setOpenPictureHandler([&](QWidget*, const QString&) { return std::optional(church); });
        s.click(u"btnAddPix"_s);
        s.click(u"btnCopyPix"_s);
        platform::setOpenPictureHandler({});
        QVERIFY(s.pictureRows().contains(u"000004|1|"_s));
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo attach of picture 000004"_s);
        s.undo();
        QCOMPARE(s.pictureRows().size(), 3);
        QVERIFY(!QFile::exists(s.pixFile(u"000004"_s)));
        s.redo();
        QVERIFY(s.pictureRows().contains(u"000004|1|"_s));
        QFile file(s.pixFile(u"000004"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("church"));
        QVERIFY(s.binFiles().isEmpty());
    }

    // Put back into a number a new place took, and after the picture
    // numbers were given again: a free number for each.
    void puttingBackIntoTakenNumbers()
    {
        Setup s({ { 0, u"Rye"_s }, { 1, u"Kilbride"_s, u"A kirk"_s } },
            { { u"000001"_s, 1 }, { u"000002"_s, 1 } });
        QVERIFY(s.window);
        s.clickRow(1);
        s.choose(u"rdoDelete"_s);
        s.choose(u"rdoAdd"_s); // takes number 1 again
        s.get<QLineEdit>(u"edPlace"_s)->setText(u"Battle"_s);
        s.click(u"btnAddRecord"_s);
        QCOMPARE(vPlaceId, 1);
        fixture::writeBytes(s.pixFile(u"000001"_s), "new one"); // number 1 given again
        QVERIFY(fixture::writeBytes(u"%1/x.jpg"_s.arg(s.kit.home()), "x"));
        platform::setOpenPictureHandler(
            [&](QWidget*, const QString&) { return std::optional(s.kit.home() + u"/x.jpg"_s); });
        s.click(u"btnPictures"_s);
        s.click(u"btnAddPix"_s);
        s.click(u"btnCopyPix"_s);
        platform::setOpenPictureHandler({});

        s.kit.clearMessages(); // "no pictures" of the new place
        auto* bin = TfrmBin::showBin();
        auto* list = Kit::child<QTreeWidget>(bin, u"grdBin"_s);
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), u"Kilbride"_s);
        QCOMPARE(list->topLevelItem(0)->text(2), u"2"_s);
        list->topLevelItem(0)->setSelected(true);
        QTest::mouseClick(Kit::child<QPushButton>(bin, u"btnPutBack"_s), Qt::LeftButton);
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(vPlaceName, u"Kilbride"_s);
        QCOMPARE(vPlaceId, 2);
        // 000001 is taken by a file, 000002 by Battle's picture (count + 1).
        QCOMPARE(s.pictureRows(), (QStringList { u"000002|1|"_s, u"000003|2|"_s, u"000004|2|"_s }));
        QFile kept(s.pixFile(u"000001"_s));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("new one"));
        QCOMPARE(s.item(u"mnuUndo"_s)->text(), u"Undo put back of \u201cKilbride\u201d"_s);
        s.undo();
        QCOMPARE(list->topLevelItemCount(), 0); // filled when it shows
        bin->fillList();
        QCOMPARE(list->topLevelItemCount(), 1);
    }

    void emptyingTheBinAsksFirst()
    {
        Setup s;
        QVERIFY(s.window);
        s.clickRow(1);
        s.choose(u"rdoDelete"_s);
        auto* bin = TfrmBin::showBin();
        s.kit.answerMessagesWith(QMessageBox::No);
        QTest::mouseClick(Kit::child<QPushButton>(bin, u"btnEmptyBin"_s), Qt::LeftButton);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(s.kit.messageTexts().constFirst().contains(u"(2)"_s));
        QCOMPARE(binnedPlaces().size(), 1);
        s.kit.answerMessagesWith(QMessageBox::Yes);
        QTest::mouseClick(Kit::child<QPushButton>(bin, u"btnEmptyBin"_s), Qt::LeftButton);
        QVERIFY(binnedPlaces().isEmpty());
        QVERIFY(s.binFiles().isEmpty());
        QCOMPARE(s.pictureRows(), QStringList { u"000002|0|"_s });
        QVERIFY(!s.item(u"mnuUndo"_s)->isEnabled());
        QCOMPARE(MainForm->statusBar()->currentMessage(), u"Undo history cleared: the bin was emptied."_s);
    }

    // At start-up the places past their days go, with a status line.
    void theBinExpiresAtStartUp()
    {
        const QDateTime start = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
        QDateTime now = start;
        setBinClock([&] { return now; });
        {
            Setup s;
            QVERIFY(s.window);
            s.clickRow(1);
            s.choose(u"rdoDelete"_s); // Kilbride on 1 March
            now = start.addDays(20);
            s.clickRow(1);
            s.choose(u"rdoDelete"_s); // Hastings on 21 March
            QCOMPARE(binnedPlaces().size(), 2);
            QCOMPARE(binnedPlaces()[0].deleted, start);
            now = start.addDays(31);
            QCOMPARE(tidyBinAtStart(),
                u"1 deleted places were in the bin for more than 30 days and were destroyed: Kilbride."_s);
            QCOMPARE(binnedPlaces().size(), 1);
            QVERIFY(s.binFiles().isEmpty());
        }
        setBinClock({});
    }

    // Killed before the put back commits, and after it while files move:
    // the next start finds the state before or the state after, every
    // record with its file and every file with its record.
    void aKillDuringPutBack_data()
    {
        QTest::addColumn<QByteArray>("step");
        QTest::addColumn<bool>("putBack");
        QTest::newRow("before the commit") << QByteArray("bin: put back batched") << false;
        QTest::newRow("after the commit") << QByteArray("bin: put back committed") << true;
        QTest::newRow("while files move") << QByteArray("bin: file moved") << true;
    }
    void aKillDuringPutBack()
    {
        QFETCH(QByteArray, step);
        QFETCH(bool, putBack);
        Setup s;
        QVERIFY(s.window);
        s.clickRow(1);
        s.choose(u"rdoDelete"_s);
        const int binId = binnedPlaces().value(0).binId;
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            setWorkStepHook([step](std::string_view reached) {
                if (reached == std::string_view(step.constData(), size_t(step.size())))
                    ::kill(::getpid(), SIGKILL);
            });
            try {
                putBackPlace(binId);
            } catch (...) {
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        // What the next start does, on tables read afresh.
        for (platform::Table* table : { Setup::places(), Setup::pix(), binTable(), binMovesTable() }) {
            table->close();
            table->open();
        }
        QCOMPARE(settleBin(), QStringList());
        QCOMPARE(binnedPlaces().size(), putBack ? 0 : 1);
        QCOMPARE(Setup::column(Setup::places(), u"Place"_s).contains(u"Kilbride"_s), putBack);
        const QStringList pictures = s.pictureRows();
        QCOMPARE(pictures.size(), putBack ? 3 : 1);
        for (const QString& row : pictures)
            QVERIFY2(!row.endsWith(u"(no file)"_s), qPrintable(row));
        QCOMPARE(s.binFiles().size(), putBack ? 0 : 2);
        QCOMPARE(
            QDir(s.kit.hostPath(vProgramPath + u"Pix"_s)).entryList(QDir::Files).size(), pictures.size());
    }

    // A backup carries the bin with its files; restored on another
    // installation, the place can be put back there.
    void backupAndRestoreCarryTheBin()
    {
        QTemporaryDir carried;
        const QString backupFolder = carried.filePath(u"set"_s);
        {
            Setup s;
            QVERIFY(s.window);
            s.clickRow(1);
            s.choose(u"rdoDelete"_s);
            Backup backup(*DataModule1, vProgramPath);
            const BackupReport report = backup.run(u"A"_s);
            QVERIFY2(report.ok, qPrintable(report.text));
            const QString root = s.kit.hostPath(u"A:\\"_s);
            QVERIFY(QFile::exists(root + u"/BIN.DB"_s));
            QCOMPARE(QDir(root + u"/Bin"_s).entryList(QDir::Files).size(), 2);
            QVERIFY(QDir().rename(root, backupFolder));
        }
        Setup other({ { 0, u"Rye"_s } }, {});
        QVERIFY(other.window);
        const QString root = other.kit.hostPath(u"A:\\"_s);
        QDir(root).removeRecursively();
        QVERIFY(QDir().rename(backupFolder, root));
        const RestoreReport report
            = restoreUserTables(*DataModule1, inspectBackupSet(u"A:\\"_s), vProgramPath);
        QVERIFY2(report.text.startsWith(u"Restored"_s), qPrintable(report.text));
        QCOMPARE(binnedPlaces().size(), 1);
        putBackPlace(binnedPlaces()[0].binId);
        QCOMPARE(vPlaceName, u"Kilbride"_s);
        QCOMPARE(
            other.pictureRows(), (QStringList { u"000001|1|The kirk"_s, u"000002|0|"_s, u"000003|1|"_s }));
    }

    // "Go back" replaces the tables: the history is gone, with a word.
    void aReplacementOfTheTablesClearsTheHistory()
    {
        Setup s;
        QVERIFY(s.window);
        keepCopyOfUserTables(*DataModule1);
        s.clickRow(1);
        unpinCurrentPlace();
        QVERIFY(s.item(u"mnuUndo"_s)->isEnabled());
        s.kit.answerMessagesWith(QMessageBox::Yes);
        restoreKeptCopy();
        QVERIFY(!s.item(u"mnuUndo"_s)->isEnabled());
        QCOMPARE(notebookHistory()->count(), 0);
        QCOMPARE(
            MainForm->statusBar()->currentMessage(), u"Undo history cleared: your tables were replaced."_s);
    }
};

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
