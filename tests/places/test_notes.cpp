// The descriptions window: the list of places and the caption that follows
// the current one, adding (identifiers, names cut to 40 characters, a free
// identifier after deletions, a refused store), deleting with the place's
// pictures, renaming, the panels' own rules, the editors of an empty list,
// typed text stored on a move, and the palette's paste in its text fields.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "places/notes.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using fixture::Picture;
using fixture::Place;
using fixture::storedValue;
using fixture::writeUserTables;

using fixture::FileLock;

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmNotes* window = nullptr;

    explicit Setup(const QList<Place>& places = {}, const QList<Picture>& pictures = {})
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        writeUserTables(places, pictures);
        if (!atlas.open())
            return;
        for (QAction* item : MainForm->menuBar()->actions()) {
            if (item->objectName() == u"mnuNotes"_s)
                item->trigger();
        }
        window = frmNotes;
    }

    template <typename T = QWidget> T* get(const QString& name) const { return Kit::child<T>(window, name); }
    void click(const QString& name) const
    {
        auto* button = get<QAbstractButton>(name);
        QVERIFY2(button->isVisible(), qPrintable(name + u" is not visible"_s));
        QTest::mouseClick(button, Qt::LeftButton);
    }
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
    void addPlace(const QString& name) const
    {
        choose(u"rdoAdd"_s);
        get<QLineEdit>(u"edPlace"_s)->setText(name);
        click(u"btnAddRecord"_s);
    }
    static platform::Table* places() { return DataModule1->tblDescrip; }
    static platform::Table* pix() { return DataModule1->tblPix; }
    static QList<int> column(platform::Table* table, const QString& field)
    {
        QList<int> values;
        for (int row = 0; row < table->rowCount(); ++row)
            values << table->valueAt(row, table->fieldIndex(field)).toInt();
        return values;
    }
    static QStringList names()
    {
        QStringList values;
        for (int row = 0; row < places()->rowCount(); ++row)
            values << places()->valueAt(row, places()->fieldIndex(u"Place"_s)).toString();
        return values;
    }
    static QStringList pictureFiles()
    {
        QStringList values;
        for (int row = 0; row < pix()->rowCount(); ++row)
            values << pix()->valueAt(row, pix()->fieldIndex(u"Filename"_s)).toString();
        return values;
    }
    QString caption() const { return window->windowTitle(); }

    // A picture file in the picture folder, one colour all over.
    QString pixFolder() const
    {
        const QString folder = QDir(kit.hostPath(vProgramPath)).filePath(u"Pix"_s);
        QDir().mkpath(folder);
        return folder + u'/';
    }
    void writePictureFile(const QString& file, QColor colour) const
    {
        QVERIFY(fixture::writeBytes(
            pixFolder() + file + u".JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 160, 120 }, colour))));
    }
    QColor shownColour() const
    {
        const QPixmap shown = get<QLabel>(u"imgPix"_s)->pixmap();
        return shown.isNull() ? QColor() : shown.toImage().pixelColor(shown.width() / 2, shown.height() / 2);
    }
};

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24
        && std::abs(a.blue() - b.blue()) < 24;
}

const QList<Place> kThree { { 0, u"Rye"_s, u"Cinque port"_s }, { 1, u"Winchelsea"_s }, { 2, u"Hastings"_s } };

// Runs `sql` on a table file past the program's connection, naming the
// file's one table as TABLE; the first column of the first row, if any.
QString onTableFile(const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    QString value;
    const auto step = [&db](const QString& statement, QString* first) {
        sqlite3_stmt* stmt = nullptr;
        bool ok = sqlite3_prepare_v2(db, statement.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK;
        const int rc = ok ? sqlite3_step(stmt) : SQLITE_ERROR;
        ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
        if (rc == SQLITE_ROW && sqlite3_column_text(stmt, 0))
            *first = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        return ok;
    };
    QString table;
    // The search index's thread may be reading the file for a moment.
    const bool opened
        = sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && sqlite3_busy_timeout(db, 5000) == SQLITE_OK;
    if (opened && step(u"SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid LIMIT 1"_s, &table)
        && !step(QString(sql).replace(u"TABLE"_s, u'"' + table + u'"'), &value))
        value = u"failed: "_s + QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return value;
}

} // namespace

class TestNotes : public QObject {
    Q_OBJECT

private slots:
    void theWindowAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hint");
        QTest::newRow("Label4") << u"Label4"_s << QRect(16, 30, 388, 15)
                                << u"Give a description below of the locality named above."_s << QString();
        QTest::newRow("dbmemoDescrip") << u"dbmemoDescrip"_s << QRect(16, 48, 369, 361) << QString()
                                       << u"Type in your description of the place named above"_s;
        QTest::newRow("Label11")
            << u"Label11"_s << QRect(421, 24, 308, 44)
            << u"Double-clicking on the place-name will call up a map showing its location."_s << QString();
        QTest::newRow("grdPlaces") << u"grdPlaces"_s << QRect(421, 51, 320, 318) << QString()
                                   << u"Click on any Place-name on your list to view or edit its record."_s;
        QTest::newRow("btnAddPlace") << u"btnAddPlace"_s << QRect(312, 9, 81, 25) << u"Add or Edit"_s
                                     << u"You may create or edit a record of a Place in your list."_s;
        QTest::newRow("rdoDelete")
            << u"rdoDelete"_s << QRect(128, 72, 185, 17) << u"Delete this place-name "_s
            << u"To Delete your record for the Place named above, Click here, then Click Go."_s;
        QTest::newRow("dbedPlace")
            << u"dbedPlace"_s << QRect(56, 32, 321, 21) << QString()
            << u"Edit the Place-name here. You might also name its Province, Principality or Kingdom."_s;
        QTest::newRow("Label8")
            << u"Label8"_s << QRect(13, 10, 380, 35)
            << u"You may add a Place to your list by typing in its name and county below. "_s << QString();
        QTest::newRow("btnExitAddPlace") << u"btnExitAddPlace"_s << QRect(320, 84, 65, 25) << u"Cancel"_s
                                         << u"Exit the Add procedure without making any changes."_s;
    }
    void theWindowAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        Setup s(kThree);
        QVERIFY(s.window);
        QCOMPARE(s.window->outerGeometry(), QRect(2, 2, 764, 460));
        QCOMPARE(s.caption(), u"  NOTES and PICTURES : Rye"_s);
        QWidget* control = s.get(name);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->toolTip(), hint);
        if (!text.isEmpty())
            QCOMPARE(control->property("text").toString(), text);
        for (const char* panel : { "pnlSelect", "pnlEdit", "pnlAddPlace", "pnlPictures", "pnlAddPix" })
            QVERIFY2(s.get(QLatin1String(panel))->isHidden(), panel);
        QCOMPARE(s.get<platform::DbGrid>(u"grdPlaces"_s)->model()->headerData(0, Qt::Horizontal).toString(),
            u"PLACE"_s);
        QCOMPARE(s.get<platform::DbGrid>(u"grdPlaces"_s)->columnWidth(0), 286);
    }

    // Into an empty list: 0, 1, 2, each current after its Add.
    void addedPlacesAreNumberedFromZero()
    {
        Setup s;
        QVERIFY(s.window);
        QCOMPARE(vPlaceId, 0);
        QCOMPARE(s.caption(), u"  NOTES and PICTURES : "_s);
        const QStringList added { u"Rye"_s, u""_s, u"Hastings"_s }; // an empty name is a name
        for (const QString& name : added) {
            s.addPlace(name);
            QCOMPARE(s.caption(), u"  NOTES and PICTURES : "_s + name);
            QCOMPARE(vPlaceName, name);
            QCOMPARE(vPlaceId, s.places()->recNo());
            QVERIFY(s.get(u"pnlAddPlace"_s)->isHidden());
        }
        QCOMPARE(Setup::column(s.places(), u"Placeid"_s), (QList<int> { 0, 1, 2 }));
        QCOMPARE(Setup::names(), added);
        QCOMPARE(storedValue(u"SELECT Place FROM DESCRIP WHERE Placeid=2"_s), u"Hastings"_s);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // The place's pictures go wherever they lie; the others and every
    // picture file stay. The row after it, or the new last, is current.
    void deletingAPlaceTakesItsPictures_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("nowCurrent");
        QTest::addColumn<QStringList>("picturesLeft");
        QTest::newRow("middle") << 1 << u"Hastings"_s
                                << QStringList { u"000001"_s, u"000005"_s, u"000006"_s, u"000007"_s };
        QTest::newRow("last") << 2 << u"Winchelsea"_s
                              << QStringList { u"000001"_s, u"000002"_s, u"000003"_s, u"000004"_s,
                                     u"000006"_s };
        QTest::newRow("first") << 0 << u"Winchelsea"_s
                               << QStringList { u"000002"_s, u"000003"_s, u"000004"_s, u"000005"_s,
                                      u"000007"_s };
    }
    void deletingAPlaceTakesItsPictures()
    {
        QFETCH(int, row);
        QFETCH(QString, nowCurrent);
        QFETCH(QStringList, picturesLeft);
        const QList<Picture> pictures { { u"000001"_s, 0 }, { u"000002"_s, 1 }, { u"000003"_s, 1 },
            { u"000004"_s, 1 }, { u"000005"_s, 2 }, { u"000006"_s, 0 }, { u"000007"_s, 2 } };
        Setup s(kThree, pictures);
        QVERIFY(s.window);
        const QString pixFolder = s.pixFolder();
        for (const Picture& picture : pictures)
            QVERIFY(fixture::writeBytes(pixFolder + picture.file + u".JPG"_s, "picture"));
        s.clickRow(row);
        s.choose(u"rdoDelete"_s);
        QVERIFY(s.kit.messages().isEmpty());
        QCOMPARE(s.places()->recordCount(), 2);
        QCOMPARE(vPlaceName, nowCurrent);
        QCOMPARE(s.places()->fieldAsString(u"Place"_s), nowCurrent);
        QCOMPARE(s.caption(), u"  NOTES and PICTURES : "_s + nowCurrent);
        QCOMPARE(Setup::pictureFiles(), picturesLeft);
        QCOMPARE(storedValue(u"SELECT count(*) FROM DESCRIP"_s), u"2"_s);
        // The deleted place's picture files went to the bin with it.
        for (const Picture& picture : pictures)
            QCOMPARE(
                QFile::exists(pixFolder + picture.file + u".JPG"_s), picturesLeft.contains(picture.file));
        QVERIFY(!s.places()->controlsDisabled() && !s.pix()->controlsDisabled());
    }

    void deletingFromAnEmptyListIsRefused()
    {
        Setup s({}, { { u"000001"_s, 0 } }); // a picture of no place stays
        QVERIFY(s.window);
        s.choose(u"rdoDelete"_s);
        QCOMPARE(s.kit.messageTexts(),
            QStringList { u"tblDescrip: Cannot perform this operation on an empty dataset"_s });
        QCOMPARE(Setup::pictureFiles(), QStringList { u"000001"_s });
        QVERIFY(!s.places()->controlsDisabled());
    }

    // After a deletion the next place gets a number no place (and no
    // picture) uses: no key violation, no pictures of another place.
    void aNewPlaceAfterADeletionGetsAFreeNumber_data()
    {
        QTest::addColumn<int>("deletedRow");
        QTest::addColumn<int>("pictureOwner");
        QTest::addColumn<int>("newId");
        QTest::newRow("middle deleted") << 1 << 2 << 3;
        QTest::newRow("highest deleted") << 2 << 2 << 2;
        QTest::newRow("a picture left by an older program") << -1 << 3 << 4;
    }
    void aNewPlaceAfterADeletionGetsAFreeNumber()
    {
        QFETCH(int, deletedRow);
        QFETCH(int, pictureOwner);
        QFETCH(int, newId);
        Setup s(kThree, { { u"000001"_s, pictureOwner } });
        QVERIFY(s.window);
        if (deletedRow >= 0) {
            s.clickRow(deletedRow);
            s.choose(u"rdoDelete"_s);
        }
        s.addPlace(u"Battle"_s);
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
        QCOMPARE(vPlaceName, u"Battle"_s);
        QCOMPARE(vPlaceId, newId);
        QVERIFY(!Setup::column(s.pix(), u"Placeid"_s).contains(newId));
    }

    // Another program holds the file: the refusal is reported, the new
    // record undone and the list alive; nothing is deleted either.
    void aRefusedStoreLeavesTheListAsItWas()
    {
        Setup s(kThree, { { u"000001"_s, 1 } });
        QVERIFY(s.window);
        auto* grid = s.get<platform::DbGrid>(u"grdPlaces"_s);
        {
            FileLock lock(s.places()->fileHostPath());
            QVERIFY(lock.locked());
            s.addPlace(u"Battle"_s);
            QCOMPARE(s.kit.messages().size(), 1);
            QVERIFY(s.kit.messageTexts().constFirst().startsWith(u"tblDescrip: "_s));
            QCOMPARE(s.places()->state(), platform::Table::State::Browse);
            QVERIFY(!s.places()->controlsDisabled());
            QCOMPARE(grid->model()->rowCount(), 3);
            QCOMPARE(s.get<QLineEdit>(u"edPlace"_s)->text(), u"Battle"_s); // not lost either

            s.clickRow(1);
            s.choose(u"rdoDelete"_s);
            QCOMPARE(s.kit.messages().size(), 2);
            QCOMPARE(Setup::names(), (QStringList { u"Rye"_s, u"Winchelsea"_s, u"Hastings"_s }));
            QCOMPARE(Setup::pictureFiles(), QStringList { u"000001"_s });
            QCOMPARE(vPlaceName, u"Winchelsea"_s);
            QVERIFY(!s.places()->controlsDisabled() && !s.pix()->controlsDisabled());
        }
        s.clickRow(2);
        QCOMPARE(vPlaceName, u"Hastings"_s); // the list still follows clicks
        s.addPlace(u"Battle"_s);
        QCOMPARE(grid->model()->rowCount(), 4);
        QCOMPARE(s.kit.messages().size(), 2);
    }

    void renamingShowsAtOnceAndIsStoredAfterAMove()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        s.clickRow(1);
        s.choose(u"rdoEdit"_s);
        QVERIFY(s.get(u"pnlEdit"_s)->isVisible());
        auto* edit = s.get<QLineEdit>(u"dbedPlace"_s);
        edit->selectAll();
        QTest::keyClicks(edit, u"Winchelsea Beach"_s);
        s.click(u"btnDoneEdit"_s);
        QVERIFY(s.get(u"pnlEdit"_s)->isHidden());
        QCOMPARE(s.caption(), u"  NOTES and PICTURES : Winchelsea Beach"_s);
        auto* grid = s.get<platform::DbGrid>(u"grdPlaces"_s);
        QCOMPARE(grid->model()->index(1, 0).data().toString(), u"Winchelsea Beach"_s);
        QCOMPARE(storedValue(u"SELECT Place FROM DESCRIP WHERE Placeid=1"_s), u"Winchelsea"_s);
        s.clickRow(0);
        QCOMPARE(storedValue(u"SELECT Place FROM DESCRIP WHERE Placeid=1"_s), u"Winchelsea Beach"_s);
    }

    // Typed text is stored when another place becomes current, and typing
    // into an empty list makes no record.
    void typedDescriptionsAreStoredOnAMove()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        auto* memo = s.get<QPlainTextEdit>(u"dbmemoDescrip"_s);
        QVERIFY(!memo->isReadOnly());
        s.clickRow(2);
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, u"Battle of 1066"_s);
        s.clickRow(0);
        QCOMPARE(storedValue(u"SELECT Memo FROM DESCRIP WHERE Placeid=2"_s), u"Battle of 1066"_s);
        QCOMPARE(memo->toPlainText(), u"Cinque port"_s);
    }

    void anEmptyListTakesNoTyping()
    {
        Setup s;
        QVERIFY(s.window);
        auto* memo = s.get<QPlainTextEdit>(u"dbmemoDescrip"_s);
        QVERIFY(memo->isReadOnly());
        QVERIFY(memo->placeholderText().contains(u"Add or Edit"_s));
        QTest::keyClicks(memo, u"lost?"_s);
        s.choose(u"rdoEdit"_s);
        auto* edit = s.get<QLineEdit>(u"dbedPlace"_s);
        QVERIFY(edit->isReadOnly());
        QTest::keyClicks(edit, u"nothing"_s);
        QCOMPARE(s.places()->state(), platform::Table::State::Browse);
        QCOMPARE(s.places()->rowCount(), 0);
        s.click(u"btnDoneEdit"_s);
        QTemporaryDir outside;
        const QString photo = outside.path() + u"/photo.jpg"_s;
        QVERIFY(
            fixture::writeBytes(photo, fixture::encodeJpeg(fixture::sheetImage({ 40, 30 }, fixture::kRed))));
        s.kit.setPictureChoice(photo);
        s.click(u"btnPictures"_s);
        s.click(u"btnAddPix"_s);
        s.kit.clearMessages();
        s.click(u"btnCopyPix"_s); // a picture of no place is refused
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(s.kit.messageTexts().constFirst().contains(u"add a place first"_s));
        QCOMPARE(s.pix()->recordCount(), 0);
        s.click(u"btnExitAddPix"_s);
        QVERIFY(s.get(u"btnAddPlace"_s)->isHidden()); // until the pictures panel is closed
        s.click(u"btnPictures"_s);
        s.click(u"btnDonePix"_s);
        s.addPlace(u"Rye"_s);
        QVERIFY(!memo->isReadOnly() && !edit->isReadOnly());
        QVERIFY(memo->placeholderText().isEmpty());
    }

    void cancelKeepsTheTypedNameAndAddEmptiesIt()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        s.choose(u"rdoAdd"_s);
        auto* name = s.get<QLineEdit>(u"edPlace"_s);
        QTest::keyClicks(name, u"Bodiam"_s);
        s.click(u"btnExitAddPlace"_s);
        QVERIFY(s.get(u"pnlAddPlace"_s)->isHidden());
        QCOMPARE(s.places()->recordCount(), 3);
        s.choose(u"rdoAdd"_s);
        QCOMPARE(name->text(), u"Bodiam"_s);
        s.click(u"btnAddRecord"_s);
        QCOMPARE(name->text(), QString());
        QCOMPARE(vPlaceName, u"Bodiam"_s);
    }

    void theRadioChoiceIsKept()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        auto* edit = s.get<QRadioButton>(u"rdoEdit"_s);
        auto* del = s.get<QRadioButton>(u"rdoDelete"_s);
        auto* add = s.get<QRadioButton>(u"rdoAdd"_s);
        QVERIFY(edit->isChecked() && edit->font().bold() && !del->font().bold());
        s.click(u"btnAddPlace"_s);
        QTest::mouseClick(add, Qt::LeftButton);
        QVERIFY(s.get(u"dbtPlacename2"_s)->isHidden());
        QTest::mouseClick(del, Qt::LeftButton);
        QVERIFY(s.get(u"dbtPlacename2"_s)->isVisible());
        s.click(u"btnGo"_s);
        QCOMPARE(s.places()->recordCount(), 2);
        s.click(u"btnAddPlace"_s);
        QVERIFY(del->isChecked());
        QVERIFY(del->font().bold() && !edit->font().bold() && !add->font().bold());
        s.click(u"btnNoSelect"_s);
        QVERIFY(s.get(u"pnlSelect"_s)->isHidden());
        QCOMPARE(s.places()->recordCount(), 2);
    }

    void aDoubleClickOnlyPutsThePanelsAway()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        s.click(u"btnAddPlace"_s);
        auto* grid = s.get<platform::DbGrid>(u"grdPlaces"_s);
        const QPoint row2 = grid->visualRect(grid->model()->index(2, 0)).center();
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row2);
        QVERIFY(s.get(u"pnlSelect"_s)->isHidden());
        QCOMPARE(s.places()->recordCount(), 3);
        QCOMPARE(Setup::names(), (QStringList { u"Rye"_s, u"Winchelsea"_s, u"Hastings"_s }));
        QCOMPARE(s.kit.shellRequests().size(), 0);
    }

    // 40 characters fit, accented ones too; a 41st is not taken or kept.
    void namesHoldFortyCharacters()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        const QString forty = u"Llanfair Pwllgwyngyll Ynys Môn éàüçñøß"_s.leftJustified(40, u'é');
        QCOMPARE(forty.size(), 40);
        s.addPlace(forty + u'x');
        QCOMPARE(vPlaceName, forty);
        QCOMPARE(storedValue(u"SELECT Place FROM DESCRIP WHERE Placeid=3"_s), forty);
        s.choose(u"rdoEdit"_s);
        auto* edit = s.get<QLineEdit>(u"dbedPlace"_s);
        edit->end(false);
        QTest::keyClicks(edit, u"x"_s);
        QCOMPARE(edit->text(), forty);
        edit->backspace();
        QTest::keyClicks(edit, u"x"_s);
        QCOMPARE(edit->text(), forty.left(39) + u'x');
    }

    // A palette character waits: any button's press in a target pastes it
    // once, empties the clipboard and ends the hand-off.
    void thePaletteCharacterLandsWherePressed_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<Qt::MouseButton>("button");
        for (const QString& target : { u"dbmemoDescrip"_s, u"dbedPlace"_s, u"edPlace"_s }) {
            for (const auto& [name, button] : { std::pair { "left", Qt::LeftButton },
                     std::pair { "right", Qt::RightButton }, std::pair { "middle", Qt::MiddleButton } })
                QTest::addRow("%s %s", qPrintable(target), name) << target << button;
        }
    }
    void thePaletteCharacterLandsWherePressed()
    {
        QFETCH(QString, target);
        QFETCH(Qt::MouseButton, button);
        Setup s(kThree);
        QVERIFY(s.window);
        if (target == u"dbedPlace"_s)
            s.choose(u"rdoEdit"_s);
        else if (target == u"edPlace"_s)
            s.choose(u"rdoAdd"_s);
        QWidget* control = s.get(target);
        QVERIFY(control->isVisible());
        auto* area = qobject_cast<QAbstractScrollArea*>(control);
        QWidget* pressed = area ? area->viewport() : control;
        const auto text = [&] { return control->property(area ? "plainText" : "text").toString(); };
        const QString before = text();

        QApplication::clipboard()->setText(u"ŵ"_s);
        vPasteState = u"Do"_s;
        QTest::mousePress(pressed, button, {}, QPoint(2, 4));
        QTest::mouseRelease(pressed, button, {}, QPoint(2, 4));
        QCOMPARE(text(), u"ŵ"_s + before);
        QCOMPARE(QApplication::clipboard()->text(), QString());
        QCOMPARE(vPasteState, u"Done"_s);
        QApplication::clipboard()->setText(u"x"_s);
        QTest::mousePress(pressed, button, {}, QPoint(2, 4));
        QTest::mouseRelease(pressed, button, {}, QPoint(2, 4));
        QCOMPARE(text(), u"ŵ"_s + before);
        if (target != u"edPlace"_s) // a bound field's paste is the record's pending change
            QCOMPARE(s.places()->fieldAsString(target == u"dbedPlace"_s ? u"Place"_s : u"Memo"_s), text());
    }

    // The place's pictures in table order, wherever they lie, then the
    // message and the first again; the next one is ready before it is asked.
    void seeMoreStepsThroughThePlacesPictures()
    {
        const QList<QColor> colours { fixture::kRed, fixture::kGreen, fixture::kBlue };
        QList<Picture> pictures;
        for (int n = 1; n <= 9; ++n)
            pictures << Picture { u"00000%1"_s.arg(n), (n == 2 || n == 5 || n == 9) ? 2 : 0,
                u"caption %1"_s.arg(n) };
        Setup s(kThree, pictures);
        QVERIFY(s.window);
        for (int n : { 2, 5, 9 })
            s.writePictureFile(u"00000%1"_s.arg(n), colours[n == 2 ? 0 : n == 5 ? 1 : 2]);
        s.clickRow(2);
        s.click(u"btnPictures"_s);
        QVERIFY(s.get(u"pnlPictures"_s)->isVisible());
        QVERIFY(s.get(u"pnlIfAdd"_s)->isHidden());
        QVERIFY(s.get(u"btnAddPlace"_s)->isHidden());
        const auto expect = [&](int n, const QColor& colour) {
            QCOMPARE(s.get<QLabel>(u"lblFile"_s)->text(), u"00000%1.JPG"_s.arg(n));
            QCOMPARE(vPixPath, vProgramPath + u"Pix\\00000%1.JPG"_s.arg(n));
            QCOMPARE(vPixCaption, u"caption %1"_s.arg(n));
            QCOMPARE(s.get<QPlainTextEdit>(u"dbmemoCaption"_s)->toPlainText(), u"caption %1"_s.arg(n));
            QVERIFY2(near(s.shownColour(), colour), qPrintable(s.shownColour().name()));
        };
        expect(2, fixture::kRed);
        s.click(u"btnMorePix"_s);
        expect(5, fixture::kGreen);
        s.click(u"btnMorePix"_s);
        expect(9, fixture::kBlue);
        QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'|')));
        s.click(u"btnMorePix"_s);
        QCOMPARE(s.kit.messageTexts(),
            QStringList {
                u"Sorry! You have no more pictures associated with this place. We'll return you to your first picture."_s });
        expect(2, fixture::kRed);
        QVERIFY(vPixFound);
    }

    void aPlaceWithoutPicturesIsInvitedToAddOne()
    {
        Setup s(kThree, { { u"000001"_s, 0 } });
        QVERIFY(s.window);
        s.clickRow(1);
        s.click(u"btnPictures"_s);
        QCOMPARE(s.kit.messageTexts(),
            QStringList { u"Sorry! You have no pictures associated with this place."_s });
        QVERIFY(s.get(u"pnlPictures"_s)->isVisible());
        QVERIFY(s.get(u"pnlIfAdd"_s)->isVisible());
        QVERIFY(!s.get(u"btnMorePix"_s)->isEnabled());
        QVERIFY(!vPixFound);
        s.click(u"btnDonePix"_s);
        QVERIFY(s.get(u"pnlPictures"_s)->isHidden());
        QVERIFY(s.get(u"btnAddPlace"_s)->isVisible());
        QVERIFY(s.get(u"btnMorePix"_s)->isEnabled());
    }

    // The chosen file goes to the place current at "Add"; a type that cannot
    // be attached is passed over, Cancel attaches nothing.
    void attachingAPicture()
    {
        Setup s(kThree);
        QVERIFY(s.window);
        QTemporaryDir outside;
        const QString church = outside.path() + u"/church.jpg"_s;
        const QByteArray bytes = fixture::encodeJpeg(fixture::sheetImage({ 120, 90 }, fixture::kOrange));
        QVERIFY(fixture::writeBytes(church, bytes));
        QVERIFY(fixture::writeBytes(outside.path() + u"/church.gif"_s, bytes));
        QStringList startFolders;
        std::optional<QString> choice = outside.path() + u"/church.gif"_s;
        platform::setOpenPictureHandler([&](QWidget*, const QString& start) {
            startFolders << start;
            return choice;
        });
        s.clickRow(0);
        s.click(u"btnPictures"_s); // no pictures yet: the invitation
        s.click(u"btnAddPix"_s);
        QVERIFY(s.get(u"pnlAddPix"_s)->isVisible());
        QVERIFY(s.get(u"pnlPictures"_s)->isHidden());
        s.click(u"btnCopyPix"_s);
        QVERIFY(s.get(u"pnlAddPix"_s)->isVisible());
        QCOMPARE(s.pix()->recordCount(), 0);

        choice = church;
        s.click(u"btnExitAddPix"_s);
        s.click(u"btnPictures"_s);
        s.click(u"btnAddPix"_s);
        QCOMPARE(s.get<QLabel>(u"lblPixFile"_s)->text(), church);
        s.clickRow(1); // the picture is for the place current at "Add"
        s.click(u"btnCopyPix"_s);
        QCOMPARE(Setup::pictureFiles(), QStringList { u"000001"_s });
        QCOMPARE(Setup::column(s.pix(), u"Placeid"_s), QList<int> { 1 });
        QFile copy(s.kit.hostPath(vProgramPath + u"Pix\\000001.JPG"_s));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), bytes);
        QVERIFY(s.get(u"pnlAddPix"_s)->isHidden());
        QCOMPARE(s.get<QLabel>(u"lblFile"_s)->text(), u"000001.JPG"_s);
        QVERIFY(near(s.shownColour(), fixture::kOrange));

        const QString home = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        QCOMPARE(startFolders.value(0), QFileInfo(home).isDir() ? home : QDir::homePath());
        QCOMPARE(startFolders.value(1), outside.path()); // where the user was last
        platform::setOpenPictureHandler({});
    }

    // A caption typed is the picture's, kept at 120 characters and stored
    // when another picture is shown; the palette pastes into it too.
    void captionsAreTypedAndKept()
    {
        Setup s(kThree, { { u"000001"_s, 2 }, { u"000002"_s, 2 } });
        QVERIFY(s.window);
        s.writePictureFile(u"000001"_s, fixture::kRed);
        s.writePictureFile(u"000002"_s, fixture::kGreen);
        s.clickRow(2);
        s.click(u"btnPictures"_s);
        auto* caption = s.get<QPlainTextEdit>(u"dbmemoCaption"_s);
        QApplication::clipboard()->setText(u"ŵ"_s);
        vPasteState = u"Do"_s;
        QTest::mousePress(caption->viewport(), Qt::RightButton, {}, QPoint(2, 4));
        QTest::mouseRelease(caption->viewport(), Qt::RightButton, {}, QPoint(2, 4));
        QCOMPARE(caption->toPlainText(), u"ŵ"_s);
        QCOMPARE(vPasteState, u"Done"_s);
        caption->moveCursor(QTextCursor::End);
        QTest::keyClicks(caption, u"The harbour, from the east cliff. "_s.repeated(4));
        const QString kept = (u"ŵ"_s + u"The harbour, from the east cliff. "_s.repeated(4)).left(120);
        QCOMPARE(caption->toPlainText(), kept);
        s.click(u"btnMorePix"_s);
        QCOMPARE(s.pix()->valueAt(0, s.pix()->fieldIndex(u"Caption"_s)).toString(), kept);
        s.click(u"btnMorePix"_s); // back to the first, with its caption
        QCOMPARE(caption->toPlainText(), kept);
        QCOMPARE(vPixCaption, kept);
    }

    void aDoubleClickOnThePictureOpensTheViewer()
    {
        Setup s(kThree, { { u"000001"_s, 0 } });
        QVERIFY(s.window);
        s.writePictureFile(u"000001"_s, fixture::kBlue);
        s.click(u"btnPictures"_s);
        QVERIFY(!vPhotoCreated);
        MainForm->pnlPrint->show();
        QTest::mouseDClick(s.get(u"imgPix"_s), Qt::LeftButton);
        QVERIFY(vPhotoCreated);
        QTRY_VERIFY(s.kit.get(u"frmPhoto"_s)->isVisible());
        QVERIFY(MainForm->pnlPrint->isHidden());
    }

    // The engine refuses the place itself after its picture records went:
    // they come back with it, in the file and in the list.
    void aDeletionRefusedPartWayKeepsThePictures()
    {
        Setup s(kThree, { { u"000001"_s, 1 }, { u"000002"_s, 0 }, { u"000003"_s, 1 } });
        QVERIFY(s.window);
        QCOMPARE(
            onTableFile(s.places()->fileHostPath(),
                u"CREATE TRIGGER refuse BEFORE DELETE ON TABLE BEGIN SELECT RAISE(ABORT, 'refused'); END"_s),
            QString());
        s.clickRow(1);
        s.choose(u"rdoDelete"_s);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY2(s.kit.messageTexts().constFirst().contains(u"refused"_s),
            qPrintable(s.kit.messageTexts().constFirst()));
        QCOMPARE(Setup::names(), (QStringList { u"Rye"_s, u"Winchelsea"_s, u"Hastings"_s }));
        QCOMPARE(Setup::pictureFiles(), (QStringList { u"000001"_s, u"000002"_s, u"000003"_s }));
        QCOMPARE(
            onTableFile(s.pix()->fileHostPath(), u"SELECT count(*) FROM TABLE WHERE Placeid=1"_s), u"2"_s);
        QCOMPARE(vPlaceName, u"Winchelsea"_s);
    }

    // A picture that cannot be shown empties the box: the picture of the
    // place shown before must not pass for this place's.
    void aPictureThatCannotBeShownLeavesTheBoxEmpty()
    {
        Setup s(kThree, { { u"000001"_s, 0 }, { u"000002"_s, 2 } });
        QVERIFY(s.window);
        s.writePictureFile(u"000001"_s, fixture::kRed);
        QVERIFY(fixture::writeBytes(s.pixFolder() + u"000002.JPG"_s, "not a picture at all"));
        s.click(u"btnPictures"_s);
        QVERIFY(near(s.shownColour(), fixture::kRed));
        s.click(u"btnDonePix"_s);
        s.clickRow(2);
        s.click(u"btnPictures"_s);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY2(s.kit.messageTexts().constFirst().contains(u"000002.JPG"_s),
            qPrintable(s.kit.messageTexts().constFirst()));
        QCOMPARE(s.get<QLabel>(u"lblFile"_s)->text(), u"000002.JPG"_s);
        QVERIFY(s.get<QLabel>(u"imgPix"_s)->pixmap().isNull());
    }
};

QTEST_MAIN(TestNotes)
#include "test_notes.moc"
