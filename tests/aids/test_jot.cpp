// The jot pad: the window as designed with its six instruction lines,
// Erase without a question and for good, Close by the current view and
// back again to the same note, formatted text pasted with its formatting,
// the palette's character at the pressed point, and a note that lives in
// memory only.

#include "writing_aids.h"

#include "aids/abbrev.h"

#include <QDirIterator>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QTextBlock>

using namespace corvane;
using namespace Qt::StringLiterals;
using aids::clipboard;
using aids::Setup;

namespace {

const QStringList kInstructions { u"Jot a note here!"_s, u"You may copy and paste it anywhere."_s,
    u"Copy by blocking the text with a mouse-over, "_s, u"then type the Ctrl and C keys at the same time."_s,
    u"Paste it where you want by typing the Ctrl and V "_s, u"keys at the same time."_s, QString() };

QStringList lines(QTextEdit* pad)
{
    QStringList result;
    for (QTextBlock block = pad->document()->begin(); block.isValid(); block = block.next())
        result << block.text();
    return result;
}

} // namespace

class TestJot : public QObject {
    Q_OBJECT

private slots:
    void theWindowAsDesigned()
    {
        Setup s;
        TfrmJot* jot = s.pad();
        QVERIFY2(jot, "frmJot missing");
        QVERIFY(vJotCreated);
        QCOMPARE(jot->windowTitle(), u"Jot a Note"_s);
        QCOMPARE(jot->outerGeometry(), QRect(458, 2, 308, 360));
        QCOMPARE(jot->subWindow()->minimumSize(), jot->subWindow()->maximumSize()); // fixed border
        const QString padHint = u"This pad will receive your notes in Rich-Text format."_s;
        QCOMPARE(jot->toolTip(), padHint);

        struct Control {
            QString name, text, hint;
            QRect geometry;
        };
        const QList<Control> controls {
            { u"btnErase"_s, u"Erase"_s,
                u"Start a new Note. The current note will be erased unless you opt to Save it now."_s,
                { 14, 8, 50, 25 } },
            { u"btnClose"_s, u"Close"_s,
                u"Hide the Jot pad display. The contents of your note will NOT be erased."_s,
                { 239, 8, 50, 25 } },
        };
        for (const Control& c : controls) {
            auto* button = Kit::child<QPushButton>(jot, c.name);
            QCOMPARE(button->text(), c.text);
            QCOMPARE(button->toolTip(), c.hint);
            QCOMPARE(button->geometry(), c.geometry);
            QVERIFY(button->font().bold());
        }
        QTextEdit* pad = jot->rtfJotPad();
        QCOMPARE(pad->objectName(), u"rtfJotPad"_s);
        QCOMPARE(pad->geometry(), QRect(14, 45, 273, 276));
        QCOMPARE(pad->toolTip(), padHint);
        QCOMPARE(pad->font().pixelSize(), 12);
        QCOMPARE(pad->lineWrapMode(), QTextEdit::WidgetWidth);
        QCOMPARE(pad->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(pad->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(lines(pad), kInstructions);

        QStringList menu;
        for (QAction* item : MainForm->menuBar()->actions())
            menu << item->objectName() + u' ' + item->text();
        QCOMPARE(menu,
            (QStringList { u"mnuMaps &Maps"_s, u"mnuNotes &Descriptions"_s, u"mnuAbbrev Abbreviations"_s,
                u"mnuHelp &Help"_s }));
        Kit::child<QAction>(jot, u"OpenHelpFile1"_s)->trigger();
        QCOMPARE(s.kit.shellRequests().size(), 1);
        QVERIFY(s.kit.shellRequests().constFirst().toString().endsWith(u"Help/jotpad.htm"_s));
    }

    // Erase takes everything at once, asks nothing, and the instructions do
    // not come back: not after Close, not with the tool-bar button.
    void eraseCloseAndReopen()
    {
        Setup s;
        TfrmJot* jot = s.pad();
        QTest::mouseClick(Kit::child<QPushButton>(jot, u"btnErase"_s), Qt::LeftButton);
        QVERIFY(jot->rtfJotPad()->toPlainText().isEmpty());
        QCOMPARE(jot->rtfJotPad()->document()->blockCount(), 1);
        QVERIFY(s.kit.messages().isEmpty());

        vCurrentView = u"Atlas"_s;
        QTest::mouseClick(Kit::child<QPushButton>(jot, u"btnClose"_s), Qt::LeftButton);
        QCOMPARE(aids::frontChild(), frmAtlas);
        QVERIFY(jot->isVisible()); // sent back, not hidden

        QCOMPARE(s.pad(), jot);
        QCOMPARE(MainForm->findChildren<TfrmJot*>().size(), 1);
        QCOMPARE(aids::frontChild(), jot);
        QVERIFY(jot->rtfJotPad()->toPlainText().isEmpty());
    }

    // A slip on Erase can be taken back with the pad's own undo.
    void eraseCanBeUndone()
    {
        Setup s;
        TfrmJot* jot = s.pad();
        QTest::mouseClick(Kit::child<QPushButton>(jot, u"btnErase"_s), Qt::LeftButton);
        QTest::keyClick(jot->rtfJotPad(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(lines(jot->rtfJotPad()), kInstructions);
    }

    // The note survives Close, a change of view and a moved window; the
    // tool-bar button puts the pad back at its place.
    void closeKeepsTheNote()
    {
        Setup s;
        TfrmJot* jot = s.pad();
        QTextEdit* pad = jot->rtfJotPad();
        pad->clear();
        QTest::keyClicks(pad, u"Vermessung 1:200 000"_s);
        jot->moveTo(100, 120);
        vCurrentView = u"Atlas"_s;
        QTest::mouseClick(Kit::child<QPushButton>(jot, u"btnClose"_s), Qt::LeftButton);
        Kit::child<QAction>(frmAtlas, u"mnuAbbrev"_s)->trigger();
        QCOMPARE(aids::frontChild(), frmAbbrev);

        QCOMPARE(s.pad(), jot);
        QCOMPARE(jot->outerGeometry(), QRect(458, 2, 308, 360));
        QCOMPARE(aids::frontChild(), jot);
        QCOMPARE(pad->toPlainText(), u"Vermessung 1:200 000"_s);
    }

    void closeFollowsTheCurrentView_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("front");
        QTest::addColumn<QString>("pasteState");
        QTest::newRow("Atlas, dropping a pending paste") << u"Atlas"_s << u"frmAtlas"_s << u"Done"_s;
        QTest::newRow("Notes") << u"Notes"_s << u"frmNotes"_s << u"Do"_s;
        QTest::newRow("Abbrev") << u"Abbrev"_s << u"frmAbbrev"_s << u"Do"_s;
        QTest::newRow("Map: only sent back") << u"Map"_s << u"frmAtlas"_s << u"Do"_s;
    }
    void closeFollowsTheCurrentView()
    {
        QFETCH(QString, current);
        QFETCH(QString, front);
        QFETCH(QString, pasteState);
        Setup s;
        TfrmJot* jot = s.pad();
        vCurrentView = current;
        vPasteState = u"Do"_s;
        QTest::mouseClick(Kit::child<QPushButton>(jot, u"btnClose"_s), Qt::LeftButton);
        QVERIFY(aids::frontChild());
        QCOMPARE(aids::frontChild()->objectName(), front);
        QCOMPARE(vCurrentView, current);
        QCOMPARE(vPasteState, pasteState);
        QCOMPARE(lines(jot->rtfJotPad()), kInstructions);
    }

    // Text copied with formatting keeps it in the pad.
    void formattedTextKeepsItsFormatting()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->clear();
        auto* data = new QMimeData;
        data->setHtml(u"<p><b>Schloss</b> <i>castle</i></p>"_s);
        data->setText(u"Schloss castle"_s);
        clipboard()->setMimeData(data);
        pad->setFocus();
        QTest::keyClick(pad, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(pad->toPlainText(), u"Schloss castle"_s);
        QTextCursor cursor(pad->document());
        cursor.setPosition(3);
        QVERIFY(cursor.charFormat().font().bold());
        cursor.setPosition(11);
        QVERIFY(cursor.charFormat().font().italic());
        QVERIFY(!cursor.charFormat().font().bold());
    }

    // The palette's character lands at the pressed point, once.
    void handOffIntoThePad()
    {
        Setup s;
        TfrmJot* jot = s.pad();
        QTextEdit* pad = jot->rtfJotPad();
        const int at = kInstructions.constFirst().indexOf(u'!');
        TfrmAltChar* palette = s.palette();
        QTest::mouseClick(Kit::child<QPushButton>(palette, u"btnL163"_s), Qt::LeftButton);
        QCOMPARE(aids::frontChild(), jot);
        aids::pressIn(pad, aids::caretPoint(pad, at));
        QCOMPARE(lines(pad).constFirst(), u"Jot a note here£!"_s);
        QCOMPARE(pad->textCursor().position(), at + 1);
        aids::pressIn(pad, aids::caretPoint(pad, 0));
        QCOMPARE(lines(pad).constFirst(), u"Jot a note here£!"_s);
        QCOMPARE(vPasteState, u"Done"_s);
    }

    // Ending the program asks nothing about the note and leaves it nowhere.
    void theNoteLivesInMemoryOnly()
    {
        const QByteArray note = "Kirchspiel Llanfair, Seite 41";
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->clear();
        QTest::keyClicks(pad, QString::fromLatin1(note));
        QVERIFY(MainForm->close());
        QVERIFY(s.kit.messages().isEmpty());
        QDirIterator files(s.kit.home(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.open(QIODevice::ReadOnly))
                QVERIFY2(!file.readAll().contains(note), qPrintable(file.fileName()));
        }
    }
};

QTEST_MAIN(TestJot)
#include "test_jot.moc"
