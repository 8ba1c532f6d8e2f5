// The palette's character on a real X server's clipboard, as other
// programs see it: another program (xclip) reads it as Unicode text, and
// after the hand-off finds the clipboard empty; text that another program
// put there is pasted and then cleared for every program; the user's own
// paste from a clipboard or selection that nobody holds inserts nothing.
// Runs under xvfb-run (see tests/CMakeLists.txt); skips without an X
// server or xclip.

#include "writing_aids.h"

#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

using namespace corvane;
using namespace Qt::StringLiterals;
using aids::Setup;

namespace {

struct Read {
    bool ok = false;
    QByteArray text;
};

// The clipboard as xclip reads it, while this program's event loop keeps
// answering the X server's requests.
Read readWithXclip()
{
    QProcess xclip;
    xclip.start(u"xclip"_s, { u"-o"_s, u"-selection"_s, u"clipboard"_s, u"-t"_s, u"UTF8_STRING"_s });
    if (!xclip.waitForStarted(5000))
        return {};
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
        xclip.kill();
        xclip.waitForFinished();
        return {};
    }
    return { xclip.exitStatus() == QProcess::NormalExit && xclip.exitCode() == 0,
        xclip.readAllStandardOutput() };
}

// Another program takes the clipboard with `text`; xclip stays behind to
// serve it until the clipboard is taken from it.
bool writeWithXclip(const QByteArray& text)
{
    QProcess xclip;
    // The copy that stays behind must not hold our pipes open.
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    xclip.start(u"xclip"_s, { u"-i"_s, u"-selection"_s, u"clipboard"_s });
    if (!xclip.waitForStarted(5000))
        return false;
    xclip.write(text);
    xclip.closeWriteChannel();
    return QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)
        && xclip.exitCode() == 0;
}

} // namespace

class TestX11Clipboard : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        if (QGuiApplication::platformName() != u"xcb"_s)
            QSKIP("needs an X server (run under xvfb-run; install xvfb and xauth)");
        if (QStandardPaths::findExecutable(u"xclip"_s).isEmpty())
            QSKIP("needs xclip to read the clipboard as another program");
    }

    void theCharacterLeavesAsUnicodeAndIsClearedAfterTheHandOff()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->setPlainText(u"1 "_s);
        TfrmAltChar* palette = s.palette();
        palette->rdoUpper->setChecked(true);
        QTest::mouseClick(Kit::child<QPushButton>(palette, u"btnL163"_s), Qt::LeftButton);

        const Read held = readWithXclip();
        QVERIFY(held.ok);
        QCOMPARE(held.text, QByteArray("\xE2\x82\xAC")); // "€", U+20AC in UTF-8

        aids::pressIn(pad, aids::caretPoint(pad, 2));
        QCOMPARE(pad->toPlainText(), u"1 €"_s);
        const Read after = readWithXclip();
        QVERIFY2(!after.ok || after.text.isEmpty(), after.text.constData());
    }

    void anotherProgramsTextIsPastedAndCleared()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->clear();
        QTest::mouseClick(Kit::child<QPushButton>(s.palette(), u"btnA224"_s), Qt::LeftButton);
        QVERIFY(writeWithXclip("Caernarvon"));
        QTRY_COMPARE(aids::clipboard()->text(), u"Caernarvon"_s);

        aids::pressIn(pad, aids::caretPoint(pad, 0));
        QCOMPARE(pad->toPlainText(), u"Caernarvon"_s);
        QCOMPARE(vPasteState, u"Done"_s);
        const Read after = readWithXclip();
        QVERIFY2(!after.ok || after.text.isEmpty(), after.text.constData());
    }

    // X11's middle button pastes the primary selection; in a hand-off it
    // pastes the palette's character only.
    void middleButtonPastesOnlyTheCharacter()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->setPlainText(u"Mnchen"_s);
        aids::clipboard()->setText(u"selected"_s, QClipboard::Selection);
        QTest::mouseClick(Kit::child<QPushButton>(s.palette(), u"btnU252"_s), Qt::LeftButton);
        aids::pressIn(pad, aids::caretPoint(pad, 1), Qt::MiddleButton);
        QCOMPARE(pad->toPlainText(), u"München"_s);
    }

    // After a hand-off, or an export with pictures, no program holds the
    // clipboard; with nothing selected anywhere none holds the selection
    // either. Ctrl+V and the middle button then paste nothing, and the
    // program goes on.
    void pastingFromAnEmptiedClipboardInsertsNothing_data()
    {
        QTest::addColumn<QString>("emptiedBy");
        QTest::addColumn<QString>("target");
        for (const QString& emptiedBy : { u"hand-off"_s, u"export"_s }) {
            for (const QString& target : { u"rtfJotPad"_s, u"dbmemoDescrip"_s, u"dbmemoCaption"_s })
                QTest::addRow("%s, %s", qPrintable(emptiedBy), qPrintable(target)) << emptiedBy << target;
        }
    }
    void pastingFromAnEmptiedClipboardInsertsNothing()
    {
        QFETCH(QString, emptiedBy);
        QFETCH(QString, target);
        Setup s(true);
        if (emptiedBy == u"hand-off"_s) {
            QTextEdit* pad = s.pad()->rtfJotPad();
            pad->setPlainText(u"Mnchen"_s);
            QTest::mouseClick(Kit::child<QPushButton>(s.palette(), u"btnU252"_s), Qt::LeftButton);
            aids::pressIn(pad, aids::caretPoint(pad, 1));
            QCOMPARE(pad->toPlainText(), u"München"_s);
        } else {
            s.notes();
            s.kit.click(u"spdPrint"_s);
            QVERIFY(MainForm->pnlRTF->isVisible());
            s.kit.click(u"btnRTFClose"_s);
        }
        QCOMPARE(vPasteState, u"Done"_s);
        QTRY_VERIFY(aids::clipboardFormats().isEmpty());
        const Read held = readWithXclip();
        QVERIFY2(!held.ok || held.text.isEmpty(), held.text.constData());

        QWidget* control = s.target(target);
        QVERIFY2(control && control->isVisible(), qPrintable(target + u" is not shown"_s));
        control->setFocus();
        const QString before = aids::textOf(control);
        QTest::keyClick(control, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(aids::textOf(control), before);

        aids::clipboard()->clear(QClipboard::Selection);
        QTRY_VERIFY(!aids::clipboard()->mimeData(QClipboard::Selection)
            || aids::clipboard()->mimeData(QClipboard::Selection)->formats().isEmpty());
        QTest::mouseClick(aids::pressedIn(control), Qt::MiddleButton, {}, QPoint(4, 4));
        QCOMPARE(aids::textOf(control), before);
    }
};

QTEST_MAIN(TestX11Clipboard)
#include "x11_clipboard.moc"
