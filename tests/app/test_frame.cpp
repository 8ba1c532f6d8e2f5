// The frame window: its tool bar follows the frame, its panels lie above the
// child windows, its first showing happens once, and the palette and jot-pad
// buttons reuse their one window.

#include "kit.h"

#include "aids/altchar.h"
#include "aids/jot.h"
#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"

#include <QFrame>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

using namespace corvane;

namespace {

QRect outer(QWidget* form)
{
    return form->parentWidget()->geometry();
}

bool isInside(QWidget* widget, QWidget* container)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (w == container)
            return true;
    return false;
}

// What a click at the panel's centre would land on.
QWidget* widgetAtCentreOf(QWidget* panel)
{
    QWidget* client = MainForm->centralWidget();
    return client->childAt(panel->geometry().center());
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void theToolBarAndChildAreaFollowTheFrame()
    {
        Kit kit;
        kit.start();
        QVERIFY(MainForm->windowTitle().startsWith(QStringLiteral("  ")));
        QVERIFY(!MainForm->windowTitle().startsWith(QStringLiteral("   ")));
        QVERIFY(!MainForm->windowIcon().isNull());
        MainForm->resize(1000, 700);
        QCoreApplication::processEvents();
        const int width = MainForm->centralWidget()->width();
        QCOMPARE(MainForm->SpeedPanel->geometry(), QRect(0, 0, width, 36));
        QCOMPARE(
            MainForm->childArea()->geometry(), QRect(0, 36, width, MainForm->centralWidget()->height() - 36));
        QCOMPARE(MainForm->SpeedPanel->palette().color(QPalette::Window), QColor(128, 0, 128));
    }

    void theFirstShowingHappensOnce()
    {
        Kit kit;
        kit.setScreenSize({ 1024, 768 });
        kit.start();
        QCOMPARE(MainForm->frameGeometry(), QRect(121, 103, 782, 561));
        MainForm->move(10, 20);
        MainForm->resize(700, 500);
        vCurrentView = QStringLiteral("Notes");
        MainForm->hide();
        MainForm->show();
        QCOMPARE(MainForm->pos(), QPoint(10, 20));
        QCOMPARE(MainForm->size(), QSize(700, 500));
        QCOMPARE(vCurrentView, QStringLiteral("Notes"));
    }

    void thePanelsLieAboveTheChildWindows()
    {
        Kit kit;
        kit.start();
        MainForm->showToolButtons();
        kit.click(QStringLiteral("spdOddChar")); // a child window over the backup panel's place
        kit.click(QStringLiteral("spdJotpad"));
        for (QFrame* panel :
            { MainForm->pnlAbout, MainForm->pnlBackup, MainForm->pnlPrint, MainForm->pnlRTF }) {
            QVERIFY2(panel->isHidden(), qPrintable(panel->objectName()));
            panel->show(); // one at a time: the panels overlap each other
            QVERIFY2(isInside(widgetAtCentreOf(panel), panel), qPrintable(panel->objectName()));
            panel->hide();
        }
    }

    void eachPanelHidesThroughItsOwnButton_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("button");
        QTest::newRow("About") << QStringLiteral("pnlAbout") << QStringLiteral("btnAboutOK");
        QTest::newRow("backup") << QStringLiteral("pnlBackup") << QStringLiteral("btnBackupOK");
        QTest::newRow("print") << QStringLiteral("pnlPrint") << QStringLiteral("btnPrintOK");
        QTest::newRow("rich text") << QStringLiteral("pnlRTF") << QStringLiteral("btnRTFClose");
    }
    void eachPanelHidesThroughItsOwnButton()
    {
        QFETCH(QString, panel);
        QFETCH(QString, button);
        Kit kit;
        kit.start();
        auto* shown = kit.get<QFrame>(panel);
        shown->show();
        // Working in the child windows leaves the panel where it is.
        MainForm->showToolButtons();
        kit.click(QStringLiteral("spdJotpad"));
        kit.click(QStringLiteral("spdOddChar"));
        QVERIFY(shown->isVisible());
        kit.click(button);
        QVERIFY(shown->isHidden());
    }

    void thePaletteButtonKeepsOnePaletteInFront()
    {
        Kit kit;
        kit.start();
        MainForm->showToolButtons();
        kit.click(QStringLiteral("spdOddChar"));
        QVERIFY(vAltCharCreated);
        QVERIFY(frmAltChar);
        QCOMPARE(outer(frmAltChar), QRect(605, 2, 160, 193));
        frmAltChar->moveTo(100, 120);
        kit.get<QWidget>(QStringLiteral("frmSplash"))->setFocus(); // the user works elsewhere
        QTRY_VERIFY(MainForm->childArea()->activeSubWindow() != frmAltChar->parentWidget());

        kit.click(QStringLiteral("spdOddChar"));
        QCOMPARE(MainForm->findChildren<TfrmAltChar*>().size(), 1);
        QCOMPARE(outer(frmAltChar).topLeft(), QPoint(605, 2));
        QCOMPARE(MainForm->childArea()->activeSubWindow(), frmAltChar->parentWidget());
        QCOMPARE(MainForm->childArea()->subWindowList(QMdiArea::StackingOrder).constLast(),
            frmAltChar->parentWidget());
        QCOMPARE(QApplication::focusWidget(), frmAltChar->rdoLower);
    }

    void theJotPadButtonPutsThePadBack()
    {
        Kit kit;
        kit.start();
        MainForm->showToolButtons();
        kit.click(QStringLiteral("spdJotpad"));
        QVERIFY(vJotCreated);
        QCOMPARE(outer(frmJot), QRect(458, 2, 308, 360));
        frmJot->moveTo(40, 60);
        kit.click(QStringLiteral("spdOddChar")); // the palette goes in front

        kit.click(QStringLiteral("spdJotpad"));
        QCOMPARE(MainForm->findChildren<TfrmJot*>().size(), 1);
        QCOMPARE(outer(frmJot), QRect(458, 2, 308, 360));
        QCOMPARE(MainForm->childArea()->activeSubWindow(), frmJot->parentWidget());
    }

    void thePictureDialogStartsInC()
    {
        Kit kit;
        kit.start();
        QString startFolder;
        std::optional<QString> answer = QStringLiteral("C:\\My Pictures\\abbey.jpg");
        platform::setOpenPictureHandler([&](QWidget*, const QString& folder) {
            startFolder = folder;
            return answer;
        });
        QCOMPARE(MainForm->dlgOpenPictureExecute(), answer);
        QCOMPARE(startFolder, QStringLiteral("C:\\"));
        answer.reset();
        QVERIFY(!MainForm->dlgOpenPictureExecute());
    }
};

QTEST_MAIN(TestFrame)
#include "test_frame.moc"
