// The desktop's opener as a user without a browser meets it: an opener that
// starts and then fails must not count as opened. Help pages then show in
// the program's own help window; other documents and addresses are named.

#include "kit/atlas_fixture.h"

#include "core/shared.h"
#include "core/shell.h"
#include "maps/map.h"
#include "output/print.h"
#include "platform/paths.h"

#include <QAction>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

// The real opener, replaced by a program that exits at once with the given
// status, as xdg-open does when it finds nothing to open with.
struct StandInOpener {
    explicit StandInOpener(bool succeeds)
    {
        platform::setShellOpenHandler({});
        platform::setShellOpenProgram(QStandardPaths::findExecutable(succeeds ? u"true"_s : u"false"_s));
    }
    ~StandInOpener() { platform::setShellOpenProgram({}); }
};

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 670, 480 }, Qt::red);
        atlas.writeSheet(u"LOC-S"_s, { 1000, 720 }, Qt::gray);
        atlas.writeSheet(u"GB-KEY"_s, { 564, 1080 }, Qt::darkRed);
        atlas.writeSheet(u"GB-SCALE"_s, { 513, 1080 }, Qt::darkBlue);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        window = atlas.open();
        MainForm->showToolButtons();
        // The pages a user asks for, as the installation ships them.
        for (const QString& page : { u"viewing.htm"_s, u"descrip.htm"_s, u"BritKey.HTM"_s })
            fixture::writeBytes(kit.hostPath(vProgramPath + u"Help\\"_s + page),
                "<html><head><title>" + page.toUtf8() + "</title></head><body>Help</body></html>");
    }

    QTextBrowser* helpWindow() const { return kit.find<QTextBrowser>(u"HelpWindow"_s); }
};

enum class Way { F1InAtlas, OpenHelpFileInNotes, FullScreenHelp, PrintPanelOpen, Visit };

void act(Setup& s, Way way)
{
    switch (way) {
    case Way::F1InAtlas:
        Kit::child<QAction>(s.window, u"OpenHelpFileF1"_s)->trigger(); // the item F1 calls
        break;
    case Way::OpenHelpFileInNotes:
        Kit::child<QAction>(s.window, u"mnuNotes"_s)->trigger();
        Kit::child<QAction>(s.kit.get(u"frmNotes"_s), u"mnuOpenHelp"_s)->trigger();
        break;
    case Way::FullScreenHelp:
        QTest::mouseClick(Kit::child<QPushButton>(s.window, u"btnExpand"_s), Qt::LeftButton);
        QVERIFY(frmMap);
        QTest::mouseClick(Kit::child<QPushButton>(frmMap, u"btnHelp"_s), Qt::LeftButton);
        break;
    case Way::PrintPanelOpen:
        s.kit.click(u"spdPrint"_s);
        s.kit.click(u"btnPrintOpen"_s);
        break;
    case Way::Visit:
        Kit::child<QAction>(s.window, u"mnuVisit"_s)->trigger();
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Way)

class TestOpener : public QObject {
    Q_OBJECT

private slots:
    void whatTheOpenerCannotOpenIsShownOrNamed_data()
    {
        QTest::addColumn<Way>("way");
        QTest::addColumn<QString>("helpPage"); // shown in the help window, or
        QTest::addColumn<QString>("named"); // named in a message
        QTest::newRow("F1 in the atlas") << Way::F1InAtlas << u"viewing.htm"_s << QString();
        QTest::newRow("Open Help File") << Way::OpenHelpFileInNotes << u"descrip.htm"_s << QString();
        QTest::newRow("full-screen Help") << Way::FullScreenHelp << u"BritKey.HTM"_s << QString();
        QTest::newRow("print panel Open") << Way::PrintPanelOpen << QString() << u"GB-03H.JPG"_s;
        QTest::newRow("Visit") << Way::Visit << QString() << kMakerHomePage;
    }

    void whatTheOpenerCannotOpenIsShownOrNamed()
    {
        QFETCH(Way, way);
        QFETCH(QString, helpPage);
        QFETCH(QString, named);
        Setup s;
        QVERIFY(s.window);
        const StandInOpener opener(false);
        act(s, way);
        if (!helpPage.isEmpty()) {
            QVERIFY2(s.kit.messages().isEmpty(), qPrintable(s.kit.messageTexts().join(u'\n')));
            QTextBrowser* help = s.helpWindow();
            QVERIFY2(help && help->isVisible(), "the help window did not come up");
            QCOMPARE(
                help->source(), QUrl::fromLocalFile(s.kit.hostPath(vProgramPath + u"Help\\"_s + helpPage)));
            return;
        }
        QCOMPARE(s.kit.messages().size(), 1);
        const QString text = s.kit.messageTexts().constFirst();
        QVERIFY2(text.contains(named), qPrintable(text));
        if (way == Way::PrintPanelOpen) // and where the user finds it
            QVERIFY2(text.contains(s.atlas.sheetFile(u"GB-03H"_s)), qPrintable(text));
    }

    void anOpenerThatSucceedsIsLeftToIt()
    {
        Setup s;
        QVERIFY(s.window);
        const StandInOpener opener(true);
        act(s, Way::F1InAtlas);
        act(s, Way::PrintPanelOpen);
        QVERIFY(s.kit.messages().isEmpty());
        QVERIFY(!s.helpWindow());
    }
};

QTEST_MAIN(TestOpener)
#include "test_opener.moc"
