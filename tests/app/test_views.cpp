// Moving between the views and the commands every menu bar shares: which
// window each command creates and brings forward, the current view and the
// pending paste it leaves, the panels it hides, the help pages and the
// maker's page handed to the shell, F1 reaching only the active window, the
// disabled item of a view's own menu, and background clicks.

#include "kit/atlas_fixture.h"

#include "aids/abbrev.h"
#include "aids/altchar.h"
#include "aids/jot.h"
#include "app/config.h"
#include "places/notes.h"

#include <QFrame>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };
    TfrmAtlas* window = nullptr;
    bool frameActive = false; // F1 reaches the frame's menu only then

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.writeSheet(u"LOC-S"_s, { 200, 144 }, Qt::gray);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        window = atlas.open();
        MainForm->showToolButtons();
        MainForm->activateWindow();
        frameActive = QTest::qWaitForWindowActive(MainForm);
    }
};

// An item of the menu the frame shows (the active child's), top level or in
// a submenu.
QAction* shownItem(const QString& name)
{
    for (QAction* top : MainForm->menuBar()->actions()) {
        if (top->objectName() == name)
            return top;
        if (QMenu* menu = top->menu()) {
            for (QAction* item : menu->actions())
                if (item->objectName() == name)
                    return item;
        }
    }
    return nullptr;
}

// Chooses a menu item as the user does: a top-level item by a click on the
// frame's menu bar, a Help item by triggering it in the shown submenu.
bool choose(const QString& name)
{
    QAction* item = shownItem(name);
    if (!item)
        return false;
    QMenuBar* bar = MainForm->menuBar();
    if (bar->actions().contains(item))
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(item).center());
    else
        item->trigger();
    return true;
}

QStringList shownMenu()
{
    QStringList captions;
    for (QAction* action : MainForm->menuBar()->actions())
        captions << action->text() + (action->isEnabled() ? u""_s : u" (disabled)"_s);
    return captions;
}

TChildForm* activeChild()
{
    QMdiSubWindow* sub = MainForm->childArea()->activeSubWindow();
    return sub ? qobject_cast<TChildForm*>(sub->widget()) : nullptr;
}

TChildForm* frontChild()
{
    const QList<QMdiSubWindow*> stack = MainForm->childArea()->subWindowList(QMdiArea::StackingOrder);
    return stack.isEmpty() ? nullptr : qobject_cast<TChildForm*>(stack.constLast()->widget());
}

// Makes the named window exist and be the active child, as the user gets
// there: the views from the atlas window's menu, the tools by their buttons.
bool reach(Setup& s, const QString& window)
{
    if (window == u"atlas"_s)
        frmAtlas->showChild();
    else if (window == u"notes"_s)
        return (frmAtlas->showChild(), choose(u"mnuNotes"_s));
    else if (window == u"abbrev"_s)
        return (frmAtlas->showChild(), choose(u"mnuAbbrev"_s));
    else if (window == u"jot"_s)
        s.kit.click(u"spdJotpad"_s);
    else if (window == u"palette"_s)
        s.kit.click(u"spdOddChar"_s);
    return true;
}

TChildForm* windowOf(const QString& view)
{
    if (view == u"Atlas"_s)
        return frmAtlas;
    if (view == u"Notes"_s)
        return frmNotes;
    return frmAbbrev;
}

void pressF1()
{
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : MainForm;
    QTest::keyClick(target, Qt::Key_F1);
}

} // namespace

class TestViews : public QObject {
    Q_OBJECT

private slots:
    void descriptionsAreCreatedOnceFromTheAtlas()
    {
        Setup s;
        QVERIFY(s.window);
        QVERIFY(choose(u"mnuCatalog"_s));
        QVERIFY(s.window->pnlCatalog()->isVisible());
        MainForm->pnlPrint->show();
        QVERIFY(!vNotesCreated);

        QVERIFY(choose(u"mnuNotes"_s));
        QVERIFY(vNotesCreated);
        QVERIFY2(frmNotes, "frmNotes missing");
        QCOMPARE(vCurrentView, u"Notes"_s);
        QCOMPARE(activeChild(), frmNotes);
        QVERIFY(s.window->pnlCatalog()->isHidden());
        QVERIFY(MainForm->pnlPrint->isHidden());
        QCOMPARE(frmNotes->outerGeometry(), QRect(2, 2, 764, 460));
        QCOMPARE(shownMenu(),
            (QStringList {
                u"&Maps"_s, u"Descriptions (disabled)"_s, u"&Abbreviations"_s, u"&Edit"_s, u"&Help"_s }));

        // The user moves it; coming back finds it where it was left.
        frmNotes->moveTo(40, 30);
        QVERIFY(choose(u"mnuMaps"_s));
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(activeChild(), s.window);
        QVERIFY(choose(u"mnuNotes"_s));
        QCOMPARE(MainForm->findChildren<TfrmNotes*>().size(), 1);
        QCOMPARE(frmNotes->outerGeometry().topLeft(), QPoint(40, 30));
        QCOMPARE(frontChild(), frmNotes);
    }

    void eachWindowsMenuBar_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QString>("helpItem");
        QTest::newRow("atlas") << u"atlas"_s
                               << QStringList { u"Catalog"_s, u"&Descriptions"_s, u"Abbreviations"_s,
                                      u"Help"_s }
                               << u"OpenHelpFileF1"_s;
        QTest::newRow("abbreviations")
            << u"abbrev"_s
            << QStringList { u"&Maps"_s, u"&Descriptions"_s, u"Abbreviations (disabled)"_s, u"&Help"_s }
            << u"OpenHelpFile1"_s;
        QTest::newRow("jot pad") << u"jot"_s
                                 << QStringList { u"&Maps"_s, u"&Descriptions"_s, u"Abbreviations"_s,
                                        u"&Help"_s }
                                 << u"OpenHelpFile1"_s;
        QTest::newRow("palette") << u"palette"_s
                                 << QStringList { u"&Maps"_s, u"&Descriptions"_s, u"Abbreviations"_s,
                                        u"&Help"_s }
                                 << u"OpenHelpFile1"_s;
    }
    void eachWindowsMenuBar()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, menu);
        QFETCH(QString, helpItem);
        Setup s;
        QVERIFY(reach(s, window));
        QCOMPARE(shownMenu(), menu);
        QStringList help;
        for (QAction* item : shownItem(u"mnuHelp"_s)->menu()->actions())
            help << item->objectName() + u" "_s + item->text();
        const QString first = window == u"atlas"_s ? u"Open Help file"_s : u"Open Help File"_s;
        QCOMPARE(help,
            (QStringList { helpItem + u" "_s + first, u"mnuManual Print the User's Manual"_s,
                u"mnuReconfig Reconfigure"_s, u"mnuAbout About this Software"_s,
                u"mnuVisit Visit www.quillmere.example"_s }));
        QCOMPARE(shownItem(helpItem)->shortcut(), QKeySequence(Qt::Key_F1));
    }

    // Every "go to a view" copy: what it creates, the current view, the
    // panels it hides and whether it drops a pending paste.
    void goingToAView_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("view");
        QTest::addColumn<bool>("hidesRichText");
        QTest::addColumn<bool>("dropsPaste");
        QTest::newRow("atlas Descriptions") << u"atlas"_s << u"mnuNotes"_s << u"Notes"_s << false << false;
        QTest::newRow("atlas Abbreviations") << u"atlas"_s << u"mnuAbbrev"_s << u"Abbrev"_s << false << false;
        QTest::newRow("descriptions Maps") << u"notes"_s << u"mnuMaps"_s << u"Atlas"_s << true << true;
        QTest::newRow("descriptions Abbreviations")
            << u"notes"_s << u"mnuAbbrev"_s << u"Abbrev"_s << true << true;
        QTest::newRow("abbreviations Maps") << u"abbrev"_s << u"mnuMaps"_s << u"Atlas"_s << false << false;
        QTest::newRow("abbreviations Descriptions")
            << u"abbrev"_s << u"mnuNotes"_s << u"Notes"_s << false << false;
        QTest::newRow("jot pad Maps") << u"jot"_s << u"mnuMaps"_s << u"Atlas"_s << false << true;
        QTest::newRow("jot pad Descriptions") << u"jot"_s << u"mnuNotes"_s << u"Notes"_s << false << false;
        QTest::newRow("jot pad Abbreviations") << u"jot"_s << u"mnuAbbrev"_s << u"Abbrev"_s << false << false;
        QTest::newRow("palette Maps") << u"palette"_s << u"mnuMaps"_s << u"Atlas"_s << false << false;
        QTest::newRow("palette Descriptions")
            << u"palette"_s << u"mnuNotes"_s << u"Notes"_s << false << false;
        QTest::newRow("palette Abbreviations")
            << u"palette"_s << u"mnuAbbrev"_s << u"Abbrev"_s << false << false;
    }
    void goingToAView()
    {
        QFETCH(QString, from);
        QFETCH(QString, command);
        QFETCH(QString, view);
        QFETCH(bool, hidesRichText);
        QFETCH(bool, dropsPaste);
        Setup s;
        QVERIFY(s.window);
        QVERIFY(reach(s, from));
        const bool existed = windowOf(view) != nullptr;
        vCurrentView = u"Map"_s;
        vPasteState = u"Do"_s;
        MainForm->pnlPrint->show();
        MainForm->pnlRTF->show();

        QVERIFY(choose(command));
        TChildForm* target = windowOf(view);
        QVERIFY2(target, "the view was not created");
        QCOMPARE(vCurrentView, view);
        QCOMPARE(activeChild(), target);
        QCOMPARE(frontChild(), target);
        QVERIFY(vNotesCreated == (frmNotes != nullptr));
        QVERIFY(vAbbrevCreated == (frmAbbrev != nullptr));
        if (!existed) // a view is placed by its own show handler when created
            QCOMPARE(target->outerGeometry(), QRect(2, 2, 764, 460));
        QVERIFY(MainForm->pnlPrint->isHidden());
        QCOMPARE(MainForm->pnlRTF->isHidden(), hidesRichText);
        QCOMPARE(vPasteState, dropsPaste ? u"Done"_s : u"Do"_s);
        QCOMPARE(MainForm->findChildren<TfrmAtlas*>().size(), 1);
        QVERIFY(s.kit.messages().isEmpty());
    }

    // The atlas window leaves its locating outline behind when it is left.
    void leavingTheAtlasPutsAwayTheOutline()
    {
        Setup s;
        s.kit.click(u"btnZoom"_s);
        QVERIFY(s.window->RedOutline()->isVisible());
        QVERIFY(choose(u"mnuAbbrev"_s));
        QVERIFY(s.window->RedOutline()->isHidden());
    }

    // F1 opens the help page of the active window only; in a view it makes
    // that view current, in a tool it leaves the current view alone. The
    // maker's page goes the same way.
    void helpPagesAndTheMakersPage_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("view");
        QTest::newRow("atlas") << u"atlas"_s << u"viewing.htm"_s << u"Atlas"_s;
        QTest::newRow("descriptions") << u"notes"_s << u"descrip.htm"_s << u"Notes"_s;
        QTest::newRow("abbreviations") << u"abbrev"_s << u"abbrev.htm"_s << u"Abbrev"_s;
        QTest::newRow("jot pad") << u"jot"_s << u"jotpad.htm"_s << u"Map"_s;
        QTest::newRow("palette") << u"palette"_s << u"altchar.htm"_s << u"Map"_s;
    }
    void helpPagesAndTheMakersPage()
    {
        QFETCH(QString, window);
        QFETCH(QString, page);
        QFETCH(QString, view);
        Setup s;
        // Every window exists, so each has an F1 item that could answer.
        for (const QString& w : { u"notes"_s, u"abbrev"_s, u"jot"_s, u"palette"_s, window })
            QVERIFY(reach(s, w));
        const QString path = vProgramPath + u"Help\\"_s + page;
        QVERIFY(s.frameActive);

        vCurrentView = u"Map"_s;
        pressF1();
        QCOMPARE(s.kit.shellRequests(), QList<QUrl> { QUrl::fromLocalFile(s.kit.hostPath(path)) });
        QCOMPARE(vShellTarget, path);
        QCOMPARE(vCurrentView, view);

        vCurrentView = u"Map"_s;
        QVERIFY(choose(u"mnuVisit"_s));
        QCOMPARE(s.kit.shellRequests().size(), 2);
        QCOMPARE(s.kit.shellRequests().constLast(), QUrl(u"http://www.quillmere.example/home.htm"_s));
        QCOMPARE(vShellTarget, u"http:\\\\www.quillmere.example\\home.htm"_s);
        QCOMPARE(vCurrentView, view);
        QVERIFY(s.kit.messages().isEmpty());
    }

    void theManualIsNamedInEveryWindow()
    {
        Setup s;
        for (const QString& window : { u"atlas"_s, u"notes"_s, u"abbrev"_s, u"jot"_s, u"palette"_s }) {
            QVERIFY(reach(s, window));
            if (window == u"atlas"_s)
                QVERIFY(choose(u"mnuCatalog"_s));
            MainForm->lblPath->setText({});
            vCurrentView = u"Map"_s;
            QVERIFY(choose(u"mnuManual"_s));
            QVERIFY2(MainForm->pnlPrint->isVisible(), qPrintable(window));
            QCOMPARE(MainForm->lblWhatPrint->text(), u"to Print the User's Manual :"_s);
            QVERIFY(MainForm->lblHowPrint->text().startsWith(u"The User's Manual is stored in the Path"_s));
            QVERIFY(MainForm->lblHowPrint->text().endsWith(u"your Windows WordPad accessory can be used."_s));
            QCOMPARE(MainForm->lblPath->text(), u"C:\\Program Files\\Quillmere\\Corvane3\\Help\\"_s);
            QCOMPARE(MainForm->lblFilename1->text(), u"MANUAL.RTF"_s);
            QCOMPARE(vCurrentView, u"Map"_s);
            QVERIFY(s.window->pnlCatalog()->isHidden());
            QVERIFY(s.kit.shellRequests().isEmpty()); // nothing is opened
            MainForm->pnlPrint->hide();
        }
    }

    void aboutHidesThePrintPanelAndStays()
    {
        Setup s;
        QVERIFY(choose(u"mnuManual"_s));
        QVERIFY(choose(u"mnuAbout"_s));
        QVERIFY(MainForm->pnlPrint->isHidden());
        QVERIFY(MainForm->pnlAbout->isVisible());
        QVERIFY(choose(u"mnuNotes"_s));
        QVERIFY(reach(s, u"jot"_s));
        QVERIFY(choose(u"mnuAbbrev"_s));
        QVERIFY(MainForm->pnlAbout->isVisible());
        QMdiSubWindow* active = MainForm->childArea()->activeSubWindow();
        s.kit.click(u"btnAboutOK"_s);
        QVERIFY(MainForm->pnlAbout->isHidden());
        QCOMPARE(MainForm->childArea()->activeSubWindow(), active); // the user stays where they were
    }

    // Reconfigure makes the configuration window once; while it is active
    // the frame's menu bar is empty, as it is while the splash shows.
    void theMenuBarIsEmptyWhileTheSplashShows()
    {
        Kit kit;
        kit.start();
        QVERIFY(kit.find(u"frmSplash"_s));
        QVERIFY(MainForm->menuBar()->actions().isEmpty());
    }
    void reconfigureFromTheAtlasAndTheJotPad()
    {
        Setup s;
        QVERIFY(choose(u"mnuCatalog"_s));
        QVERIFY(!vConfigCreated);
        QVERIFY(choose(u"mnuReconfig"_s));
        QVERIFY(vConfigCreated);
        QVERIFY2(frmConfig, "frmConfig missing");
        QCOMPARE(activeChild(), frmConfig);
        QVERIFY(s.window->pnlCatalog()->isHidden());
        QVERIFY(MainForm->menuBar()->actions().isEmpty());
        QCOMPARE(vCurrentView, u"Atlas"_s);

        frmConfig->moveTo(70, 60);
        QVERIFY(reach(s, u"jot"_s));
        QVERIFY(!MainForm->menuBar()->actions().isEmpty());
        QVERIFY(choose(u"mnuReconfig"_s));
        QCOMPARE(MainForm->findChildren<TfrmConfig*>().size(), 1);
        QCOMPARE(activeChild(), frmConfig);
        QCOMPARE(frmConfig->outerGeometry().topLeft(), QPoint(70, 60));
    }

    // A view's own item is disabled: clicking it changes nothing.
    void theDisabledItemDoesNothing_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("item");
        QTest::newRow("descriptions") << u"notes"_s << u"mnuNotes"_s;
        QTest::newRow("abbreviations") << u"abbrev"_s << u"mnuAbbrev"_s;
    }
    void theDisabledItemDoesNothing()
    {
        QFETCH(QString, window);
        QFETCH(QString, item);
        Setup s;
        QVERIFY(reach(s, window));
        TChildForm* own = activeChild();
        QVERIFY(own);
        s.kit.click(u"spdJotpad"_s);
        own->showChild(); // the jot pad lies behind it
        MainForm->pnlPrint->show();
        vCurrentView = u"Atlas"_s;
        vPasteState = u"Do"_s;
        const auto stack = MainForm->childArea()->subWindowList(QMdiArea::StackingOrder);

        QVERIFY(choose(item));
        QCOMPARE(vCurrentView, u"Atlas"_s);
        QCOMPARE(vPasteState, u"Do"_s);
        QVERIFY(MainForm->pnlPrint->isVisible());
        QCOMPARE(MainForm->childArea()->subWindowList(QMdiArea::StackingOrder), stack);
        QCOMPARE(activeChild(), own);
    }

    // A click on a view's bare background makes it the current view; a click
    // on one of its controls or on its caption bar does not.
    void backgroundClicks()
    {
        Setup s;
        QVERIFY(reach(s, u"notes"_s));
        vCurrentView = u"Atlas"_s;
        s.kit.clickAt(frmNotes, { 400, 200 }); // between the description and the list
        QCOMPARE(vCurrentView, u"Notes"_s);

        frmAtlas->showChild();
        vCurrentView = u"Notes"_s;
        s.kit.clickAt(s.window, QPoint(100, 100)); // the map picture
        s.kit.click(u"lblArrows"_s);
        QCOMPARE(vCurrentView, u"Notes"_s);
        QMdiSubWindow* sub = s.window->subWindow();
        s.kit.clickAt(sub, { 200, sub->widget()->geometry().top() / 2 }); // caption bar
        QCOMPARE(vCurrentView, u"Notes"_s);
        s.kit.clickAt(s.window, { 10, 420 });
        QCOMPARE(vCurrentView, u"Atlas"_s);

        // Tools have no view of their own.
        s.kit.click(u"spdJotpad"_s);
        s.kit.clickAt(frmJot, { 150, 150 });
        QCOMPARE(vCurrentView, u"Atlas"_s);
    }

    // "OK" on the print panel, with the abbreviations current, brings the
    // atlas window and then the abbreviations window forward.
    void printOkLeavesTheAbbreviationsInFrontOfTheAtlas()
    {
        Setup s;
        QVERIFY(reach(s, u"abbrev"_s));
        QVERIFY(choose(u"mnuManual"_s));
        s.kit.click(u"spdJotpad"_s); // the jot pad in front of both
        QCOMPARE(vCurrentView, u"Abbrev"_s);
        s.kit.click(u"btnPrintOK"_s);
        QVERIFY(MainForm->pnlPrint->isHidden());
        const auto stack = MainForm->childArea()->subWindowList(QMdiArea::StackingOrder);
        QVERIFY(stack.size() >= 3);
        QCOMPARE(stack.at(stack.size() - 1)->widget(), frmAbbrev);
        QCOMPARE(stack.at(stack.size() - 2)->widget(), frmAtlas);
        QCOMPARE(activeChild(), frmAbbrev);

        // Any other view: "OK" only hides the panel; the window the user was
        // in stays the active one.
        s.kit.click(u"spdJotpad"_s);
        QVERIFY(choose(u"mnuManual"_s));
        vCurrentView = u"Atlas"_s;
        s.kit.click(u"btnPrintOK"_s);
        QVERIFY(MainForm->pnlPrint->isHidden());
        QCOMPARE(activeChild(), frmJot);
    }
};

QTEST_MAIN(TestViews)
#include "test_views.moc"
