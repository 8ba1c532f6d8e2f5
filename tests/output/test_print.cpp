// The print button: the file it names for a map, a picture and the table of
// abbreviations, the description it composes with the place's pictures in
// table order, what it leaves on the clipboard, the views where it does
// nothing, and the composed text saved for a word processor as typed.

#include "kit/atlas_fixture.h"

#include "aids/abbrev.h"
#include "app/commands.h"
#include "app/views.h"
#include "output/print.h"

#include <QClipboard>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolTip>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

const QString kLongLine = u"Über die Brücke {nach} C:\\Temp – "_s.repeated(60);

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.writeSheet(u"LOC-S"_s, { 200, 144 }, Qt::gray);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        window = atlas.open();
        MainForm->showToolButtons();
    }

    // The descriptions window current, with a place of its own.
    void openNotesOn(int placeId, const QString& name, const QString& memo)
    {
        platform::Table* descrip = DataModule1->tblDescrip;
        descrip->append();
        descrip->setFieldValue(u"Placeid"_s, placeId);
        descrip->setFieldValue(u"Place"_s, name);
        descrip->setFieldValue(u"Memo"_s, memo);
        descrip->post();
        QVERIFY(descrip->findKey({ placeId }));
        showNotesWindow();
        vCurrentView = u"Notes"_s;
    }

    static void addPicture(
        const QString& file, int placeId, const QString& caption, const QString& type = u".JPG"_s)
    {
        platform::Table* pix = DataModule1->tblPix;
        pix->append();
        pix->setFieldValue(u"Filename"_s, file);
        pix->setFieldValue(u"Placeid"_s, placeId);
        pix->setFieldValue(u"Caption"_s, caption);
        pix->setFieldValue(u"Type"_s, type);
        pix->post();
    }

    // The descriptions window's control of that name; made for the test when
    // the window has none yet.
    template <typename T> T* notesControl(const QString& name, QWidget* parent = nullptr)
    {
        QWidget* notes = kit.get(u"frmNotes"_s);
        if (auto* existing = notes->findChild<T*>(name))
            return existing;
        auto* made = new T(parent ? parent : notes);
        made->setObjectName(name);
        return made;
    }

    // The pictures panel showing a picture, or its invitation to add one.
    void showPicturesPanel(bool invitation, const QString& file = {})
    {
        auto* panel = notesControl<QFrame>(u"pnlPictures"_s);
        auto* ifAdd = notesControl<QFrame>(u"pnlIfAdd"_s, panel);
        notesControl<QLabel>(u"lblFile"_s, panel)->setText(file);
        panel->show();
        ifAdd->setVisible(invitation);
    }

    QStringList exportParagraphs() const
    {
        return MainForm->MainRichEdit->toPlainText().split(QLatin1Char('\n'));
    }
};

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    void theMapCaseNamesTheSheetAndOpensIt()
    {
        Setup s;
        QVERIFY(s.window);
        s.kit.click(u"spdPrint"_s);
        QVERIFY(MainForm->pnlPrint->isVisible());
        QCOMPARE(MainForm->lblWhatPrint->text(), u"to Print this Map :"_s);
        QVERIFY(
            MainForm->lblHowPrint->text().endsWith(u"can be used. See Help for detailed instructions."_s));
        QCOMPARE(MainForm->lblPath->text(), vGraphicsPath + u"Maps\\"_s);
        QCOMPARE(MainForm->lblFilename1->text(), u"GB-03H.JPG"_s);

        // The Windows-form path stays; where the file really is shows on hover.
        QHelpEvent hover(QEvent::ToolTip, { 2, 2 }, MainForm->lblPath->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(MainForm->lblPath, &hover);
        QVERIFY2(QToolTip::text().contains(s.atlas.sheetFile(u"GB-03H"_s)), qPrintable(QToolTip::text()));

        s.kit.click(u"btnPrintOpen"_s);
        QCOMPARE(s.kit.shellRequests(), QList<QUrl> { QUrl::fromLocalFile(s.atlas.sheetFile(u"GB-03H"_s)) });
        QVERIFY(s.kit.messages().isEmpty());
    }

    void aShownPictureIsNamedNotComposed()
    {
        Setup s;
        s.openNotesOn(501, u"Rye"_s, u"Old town"_s);
        s.showPicturesPanel(false, u"000005.JPEG"_s);
        s.kit.click(u"spdPrint"_s);
        QVERIFY(MainForm->pnlPrint->isVisible());
        QVERIFY(!MainForm->pnlRTF->isVisible());
        QCOMPARE(MainForm->lblWhatPrint->text(), u"to Print this Picture :"_s);
        QVERIFY(MainForm->lblHowPrint->text().endsWith(u"Paint accessory can be used."_s));
        QCOMPARE(MainForm->lblPath->text(), vProgramPath + u"Pix\\"_s);
        QCOMPARE(MainForm->lblFilename1->text(), u"000005.JPEG"_s);

        // A picture that is not there is said so, not handed to the desktop.
        s.kit.click(u"btnPrintOpen"_s);
        QVERIFY(s.kit.shellRequests().isEmpty());
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(s.kit.messageTexts().constFirst().contains(u"000005.JPEG"_s));
    }

    void theInvitationPanelComposesTheDescription()
    {
        Setup s;
        s.openNotesOn(502, u"Winchelsea"_s, u"Cinque port"_s);
        s.showPicturesPanel(true);
        s.kit.click(u"spdPrint"_s);
        QVERIFY(MainForm->pnlRTF->isVisible());
        QVERIFY(!MainForm->pnlPrint->isVisible());
        QVERIFY(s.kit.get(u"pnlPictures"_s)->isHidden());
        const QString last = u"No associated graphics on file for this place."_s;
        QCOMPARE(s.exportParagraphs(), (QStringList { u"Winchelsea"_s, {}, u"Cinque port"_s, {}, last }));
        // The last piece stays on the clipboard, as when each piece travelled through it.
        QVERIFY(QGuiApplication::clipboard()->text().endsWith(last));
    }

    void twoPicturesComeInTableOrderWithTypedTextIntact()
    {
        Setup s;
        const QString memo = u"First line with ü and ß\nSecond {line} \\par\n\n"_s + kLongLine;
        s.openNotesOn(503, u"Ôld Sarum {1}"_s, u"stored"_s);
        // Typed but not yet stored: the export shows what the user sees.
        DataModule1->tblDescrip->edit();
        DataModule1->tblDescrip->setFieldValue(u"Memo"_s, memo);
        Setup::addPicture(u"000007"_s, 503, u"The ramparts – from the west"_s);
        Setup::addPicture(u"000004"_s, 999, u"Another place's picture"_s);
        Setup::addPicture(u"000003"_s, 503, u"Cathedral {site}"_s, u".JPEG"_s);
        QGuiApplication::clipboard()->setText(u"é"_s);
        vPasteState = u"Do"_s;

        s.kit.click(u"spdPrint"_s);
        const QString line = u"Associated graphics file in Corvane3\\Pix directory:  "_s;
        QCOMPARE(s.exportParagraphs(),
            (QStringList { u"Ôld Sarum {1}"_s, {}, u"First line with ü and ß"_s, u"Second {line} \\par"_s, {},
                kLongLine, {}, line + u"000007.JPG"_s, u"     The ramparts – from the west"_s, {},
                line + u"000003.JPEG"_s, u"     Cathedral {site}"_s }));
        QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
        QCOMPARE(vPasteState, u"Done"_s);

        s.kit.click(u"btnRTFClose"_s);
        QVERIFY(!MainForm->pnlRTF->isVisible());
    }

    void theComposedTextSavesAsTyped_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("web page") << u"desc.html"_s << u"desc.html"_s;
        QTest::newRow("ODF text, suffix added") << u"desc"_s << u"desc.odt"_s;
    }

    void theComposedTextSavesAsTyped()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        Setup s;
        s.openNotesOn(504, u"Hythe & <Sandgate>"_s, u"Ä {b} \\c\n     five blanks\n"_s + kLongLine);
        s.kit.click(u"spdPrint"_s);
        const QString folder = s.kit.home() + u"/out/"_s;
        QDir().mkpath(folder);
        s.kit.setSaveFileChoice(folder + chosen);
        s.kit.click(u"btnRTFSave"_s);
        QVERIFY(s.kit.messages().isEmpty());
        QFile file(folder + written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (written.endsWith(u".html"_s)) {
            QTextDocument document;
            document.setHtml(QString::fromUtf8(bytes));
            QCOMPARE(document.toPlainText(), MainForm->MainRichEdit->toPlainText());
        } else {
            QVERIFY(bytes.startsWith("PK"));
            QVERIFY(bytes.contains("application/vnd.oasis.opendocument.text"));
        }
    }

    // A browser shows the page under the place's name, in its reader's own
    // font and size, not the panel's 11 pixels.
    void aWebPageIsTitledAndInTheReadersFont()
    {
        Setup s;
        s.openNotesOn(506, u"Hythe & <Sandgate>"_s, u"Martello towers"_s);
        s.kit.click(u"spdPrint"_s);
        const QString page = s.kit.home() + u"/desc.html"_s;
        s.kit.setSaveFileChoice(page);
        s.kit.click(u"btnRTFSave"_s);
        QFile file(page);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY2(html.contains(u"<title>Hythe &amp; &lt;Sandgate&gt;</title>"_s), qPrintable(html));
        QVERIFY2(!html.contains(u"MS Sans Serif"_s) && !html.contains(u"11px"_s), qPrintable(html));
        QTextDocument document;
        document.setHtml(html);
        QCOMPARE(document.toPlainText(), MainForm->MainRichEdit->toPlainText());
    }

    // The panel names the Windows-form folder; below it, in a line that can
    // be selected and copied, the folder a Linux user can find.
    void thePrintPanelNamesTheRealFolder()
    {
        Setup s;
        s.kit.click(u"spdPrint"_s);
        auto* real = Kit::child<QLineEdit>(MainForm->pnlPrint, u"edRealPath"_s);
        QVERIFY(real->isVisible());
        QVERIFY(real->isReadOnly());
        QVERIFY2(
            real->text().contains(QDir::toNativeSeparators(s.atlas.mapsFolder())), qPrintable(real->text()));
        QVERIFY(MainForm->pnlPrint->rect().contains(real->geometry()));
        QVERIFY(real->geometry().top() >= MainForm->btnPrintOK->geometry().bottom());
        MainForm->pnlPrint->hide();
        // The manual's panel, filled by the frame's own command.
        showManualInfo();
        const QString help = QDir::toNativeSeparators(s.kit.hostPath(vProgramPath + u"Help"_s));
        QVERIFY2(real->text().contains(help), qPrintable(real->text()));
    }

    void aSaveThatFailsIsReported()
    {
        Setup s;
        s.openNotesOn(505, u"Lydd"_s, u"text"_s);
        s.kit.click(u"spdPrint"_s);
        s.kit.setSaveFileChoice(s.kit.home() + u"/no such folder/Lydd.odt"_s);
        s.kit.click(u"btnRTFSave"_s);
        QCOMPARE(s.kit.messages().size(), 1);
        QVERIFY(s.kit.messageTexts().constFirst().contains(u"Lydd.odt"_s));
    }

    void okAfterTheAbbreviationsLeavesThemInFront()
    {
        Setup s;
        showAbbrevWindow();
        vCurrentView = u"Abbrev"_s;
        s.kit.click(u"spdPrint"_s);
        QCOMPARE(MainForm->lblWhatPrint->text(), u"to Print the Table of Abbreviations :"_s);
        QCOMPARE(MainForm->lblPath->text(), vProgramPath + u"Reports\\"_s);
        QCOMPARE(MainForm->lblFilename1->text(), u"ABBREV.RTF"_s);
        s.window->showChild(); // the user looked at the map meanwhile
        s.kit.click(u"btnPrintOK"_s);
        QVERIFY(!MainForm->pnlPrint->isVisible());
        const QList<QMdiSubWindow*> order = MainForm->childArea()->subWindowList(QMdiArea::StackingOrder);
        QCOMPARE(order.constLast()->widget()->objectName(), u"frmAbbrev"_s);
    }

    void theFullScreenMapViewDoesNothing()
    {
        Setup s;
        vCurrentView = u"Map"_s;
        QGuiApplication::clipboard()->setText(u"kept"_s);
        s.kit.click(u"spdPrint"_s);
        QVERIFY(!MainForm->pnlPrint->isVisible());
        QVERIFY(!MainForm->pnlRTF->isVisible());
        QCOMPARE(QGuiApplication::clipboard()->text(), u"kept"_s);
    }
};

QTEST_MAIN(TestPrint)
#include "test_print.moc"
