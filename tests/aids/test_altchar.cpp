// The accented-character palette and its paste hand-off: every position in
// both cases delivers its one character to the clipboard, the capital
// picture buttons cover the small ones in upper case, the next press in a
// target pastes once and empties the clipboard whatever the button, which
// commands drop a pending paste, Close by the current view, the palette
// coming forward in lower case, the fonts' glyphs and the keyboard.

#include "writing_aids.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QToolTip>

using namespace corvane;
using namespace Qt::StringLiterals;
using aids::clipboard;
using aids::Setup;

namespace {

// Columns and rows of the positions within the palette's panel.
constexpr int kLeft[] = { 5, 25, 45, 65, 85, 105, 125 };
constexpr int kTop[] = { 42, 64, 86, 108, 130 };

struct Position {
    const char* lowerButton;
    const char* upperButton; // differs only where a picture button covers
    char32_t lower;
    char32_t upper;
};

// Rows of five by seven, as the palette shows them; code points from the
// Windows-1252 characters the positions stand for.
const Position kTable[5][7] = {
    { { "btnA224", "btnA224", 0xE0, 0xC0 }, { "btnA225", "btnA225", 0xE1, 0xC1 },
        { "btnA226", "btnA226", 0xE2, 0xC2 }, { "btnA228", "btnA228", 0xE4, 0xC4 },
        { "btnA229", "btnA229", 0xE5, 0xC5 }, { "btnA227", "btnA227", 0xE3, 0xC3 },
        { "btnAE230", "btnAE230", 0xE6, 0xC6 } },
    { { "btnC231", "btnC231", 0xE7, 0xC7 }, { "btnE232", "btnE232", 0xE8, 0xC8 },
        { "btnE233", "btnE233", 0xE9, 0xC9 }, { "btnE234", "btnE234", 0xEA, 0xCA },
        { "btnE235", "btnE235", 0xEB, 0xCB }, { "btnI236", "btnI236", 0xEC, 0xCC },
        { "btnI237", "btnI237", 0xED, 0xCD } },
    { { "btnI238", "btnI238", 0xEE, 0xCE }, { "btnI239", "btnI239", 0xEF, 0xCF },
        { "btnN241", "btnN241", 0xF1, 0xD1 }, { "btnO242", "btnO242", 0xF2, 0xD2 },
        { "btnO243", "btnO243", 0xF3, 0xD3 }, { "btnO244", "btnO244", 0xF4, 0xD4 },
        { "btnO246", "btnO246", 0xF6, 0xD6 } },
    { { "btnO245", "btnO245", 0xF5, 0xD5 }, { "btnO248", "btnO248", 0xF8, 0xD8 },
        { "btnOE156", "btnOE156", 0x153, 0x152 }, { "btnU249", "btnU249", 0xF9, 0xD9 },
        { "btnU250", "btnU250", 0xFA, 0xDA }, { "btnU251", "btnU251", 0xFB, 0xDB },
        { "btnU252", "btnU252", 0xFC, 0xDC } },
    { { "btnS154", "btnS138", 0x161, 0x160 }, { "btnSS223", "btnSS223", 0xDF, 0xB5 },
        { "btnY253", "btnY253", 0xFD, 0xDD }, { "btnZ158", "btnZ142", 0x17E, 0x17D },
        { "btnC167", "btnC167", 0xA7, 0xB6 }, { "btnC186", "btnC186", 0xBA, 0xA2 },
        { "btnL163", "btnL163", 0xA3, 0x20AC } },
};

QPoint centreOf(int row, int column)
{
    return { kLeft[column - 1] + 10, kTop[row - 1] + 11 };
}

// The button a user hits at a position: whatever lies on top there.
QPushButton* buttonUnder(TfrmAltChar* palette, int row, int column)
{
    auto* panel = Kit::child<QWidget>(palette, u"pnlAltChar"_s);
    return qobject_cast<QPushButton*>(panel->childAt(centreOf(row, column)));
}

void chooseCase(TfrmAltChar* palette, bool upper)
{
    QTest::mouseClick(upper ? palette->rdoUpper : palette->rdoLower, Qt::LeftButton);
}

// Clicks the position as a user does and returns the button hit.
QPushButton* clickPosition(TfrmAltChar* palette, int row, int column)
{
    QPushButton* button = buttonUnder(palette, row, column);
    if (button)
        QTest::mouseClick(button, Qt::LeftButton);
    return button;
}

void trigger(QObject* window, const QString& item)
{
    Kit::child<QAction>(window, item)->trigger();
}

} // namespace

class TestAltChar : public QObject {
    Q_OBJECT

private slots:
    void everyPositionDeliversItsCharacter_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("upper");
        QTest::addColumn<QString>("button");
        QTest::addColumn<uint>("codePoint");
        for (int r = 1; r <= 5; ++r) {
            for (int c = 1; c <= 7; ++c) {
                const Position& p = kTable[r - 1][c - 1];
                QTest::addRow("%s lower", p.lowerButton)
                    << r << c << false << QString::fromLatin1(p.lowerButton) << uint(p.lower);
                QTest::addRow("%s upper", p.upperButton)
                    << r << c << true << QString::fromLatin1(p.upperButton) << uint(p.upper);
            }
        }
    }
    void everyPositionDeliversItsCharacter()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(bool, upper);
        QFETCH(QString, button);
        QFETCH(uint, codePoint);
        Setup s;
        TfrmAltChar* palette = s.palette();
        chooseCase(palette, upper);
        const QString expected = QString::fromUcs4(reinterpret_cast<const char32_t*>(&codePoint), 1);

        QPushButton* hit = buttonUnder(palette, row, column);
        QVERIFY2(hit, "no button at the position");
        QCOMPARE(hit->objectName(), button);
        QCOMPARE(hit->geometry(), QRect(kLeft[column - 1], kTop[row - 1], 20, 22));
        if (hit->icon().isNull())
            QCOMPARE(hit->text(), expected); // the caption is what the click delivers
        QVERIFY(!hit->accessibleName().isEmpty());
        QVERIFY(hit->accessibleName() != expected);

        QCOMPARE(aids::frontChild(), palette);
        vPasteState = u"Done"_s;
        QTest::mouseClick(hit, Qt::LeftButton);
        QCOMPARE(clipboard()->text(), expected);
        QCOMPARE(aids::clipboardFormats(), QStringList { u"text/plain"_s });
        QCOMPARE(vPasteState, u"Do"_s);
        QCOMPARE(aids::frontChild(), frmAtlas); // sent back, the atlas is in front
        QCOMPARE(aids::activeChild(), frmAtlas);
        QCOMPARE(palette->rdoUpper->isChecked(), upper); // keeps its case
        QVERIFY(s.kit.messages().isEmpty());
    }

    // The capital picture buttons lie over the small ones in upper case
    // only; the small ones are back in reach in lower case.
    void pictureButtonsCoverInUpperCase()
    {
        Setup s;
        TfrmAltChar* palette = s.palette();
        auto* small = Kit::child<QPushButton>(palette, u"btnS154"_s);
        auto* capital = Kit::child<QPushButton>(palette, u"btnS138"_s);
        QVERIFY(small->isVisible());
        QVERIFY(capital->isHidden());
        QCOMPARE(small->iconSize(), QSize(16, 18));
        QVERIFY(!small->icon().isNull());
        QVERIFY(small->text().isEmpty());

        chooseCase(palette, true);
        QVERIFY(small->isVisible()); // always shown, under the capital
        QVERIFY(capital->isVisible());
        QCOMPARE(clickPosition(palette, 5, 1), capital);
        QCOMPARE(clipboard()->text(), u"Š"_s);

        palette->showChild();
        chooseCase(palette, false);
        QVERIFY(capital->isHidden());
        QCOMPARE(clickPosition(palette, 5, 4), Kit::child<QPushButton>(palette, u"btnZ158"_s));
        QCOMPARE(clipboard()->text(), u"ž"_s);
        // The covered button's own click would still give its own letter.
        palette->showChild();
        chooseCase(palette, true);
        Kit::child<QPushButton>(palette, u"btnZ158"_s)->click();
        QCOMPARE(clipboard()->text(), u"ž"_s);
    }

    // The mapped design fonts hold every glyph the buttons show, and the
    // pixel sizes are those of the design.
    void fontsHoldEveryGlyph()
    {
        Setup s;
        TfrmAltChar* palette = s.palette();
        const QHash<QString, int> sizes { { u"btnA224"_s, 15 }, { u"btnC231"_s, 12 }, { u"btnY253"_s, 12 },
            { u"btnAE230"_s, 13 }, { u"btnOE156"_s, 13 }, { u"btnC167"_s, 13 }, { u"btnL163"_s, 13 },
            { u"btnSS223"_s, 15 }, { u"btnC186"_s, 15 }, { u"btnS154"_s, 15 } };
        for (auto it = sizes.cbegin(); it != sizes.cend(); ++it)
            QCOMPARE(Kit::child<QPushButton>(palette, it.key())->font().pixelSize(), it.value());
        for (const auto& row : kTable) {
            for (const Position& p : row) {
                for (const auto& [name, code] :
                    { std::pair { p.lowerButton, p.lower }, { p.upperButton, p.upper } }) {
                    const QFont font = Kit::child<QPushButton>(palette, QString::fromLatin1(name))->font();
                    const QRawFont raw = QRawFont::fromFont(font);
                    QVERIFY2(raw.supportsCharacter(code),
                        qPrintable(
                            u"%1 lacks U+%2"_s.arg(raw.familyName()).arg(uint(code), 4, 16, QChar(u'0'))));
                    QVERIFY(QFontMetrics(font).inFontUcs4(code));
                }
            }
        }
    }

    // Two clicks leave the second character only; the next press pastes it
    // once, at the pressed point, and empties the clipboard.
    void twoClicksThenOnePaste()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->setPlainText(u"abcdef"_s);
        TfrmAltChar* palette = s.palette();
        clickPosition(palette, 1, 1);
        palette->showChild();
        clickPosition(palette, 2, 3);
        QCOMPARE(clipboard()->text(), u"é"_s);
        QCOMPARE(aids::frontChild(), frmJot);

        aids::pressIn(pad, aids::caretPoint(pad, 3));
        QCOMPARE(pad->toPlainText(), u"abcédef"_s);
        QCOMPARE(vPasteState, u"Done"_s);
        QVERIFY(aids::clipboardFormats().isEmpty());
        QVERIFY(clipboard()->text().isEmpty());

        aids::pressIn(pad, aids::caretPoint(pad, 1));
        QCOMPARE(pad->toPlainText(), u"abcédef"_s);
        QCOMPARE(pad->textCursor().position(), 1); // the press moved the caret only
        // The user's own paste finds nothing either.
        QTest::keyClick(pad, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(pad->toPlainText(), u"abcédef"_s);
    }

    void anyButtonPastes_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }
    void anyButtonPastes()
    {
        QFETCH(Qt::MouseButton, button);
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->setPlainText(u"Kln"_s);
        clickPosition(s.palette(), 3, 7);

        aids::pressIn(pad, aids::caretPoint(pad, 1), button);
        QCOMPARE(pad->toPlainText(), u"Köln"_s); // once, and no selection pasted
        QCOMPARE(vPasteState, u"Done"_s);
        QVERIFY(clipboard()->text().isEmpty());
        QVERIFY(!QApplication::activePopupWidget()); // no context menu instead
        QVERIFY(pad->hasFocus());
    }

    // Whatever the clipboard holds at the press is pasted, then removed.
    void foreignTextIsPastedAndRemoved()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->clear();
        clickPosition(s.palette(), 1, 1);
        clipboard()->setText(u"copied in another program"_s);
        aids::pressIn(pad, aids::caretPoint(pad, 0));
        QCOMPARE(pad->toPlainText(), u"copied in another program"_s);
        QVERIFY(clipboard()->text().isEmpty());
        QCOMPARE(vPasteState, u"Done"_s);
    }

    void pressWhileDoneOnlyMovesTheCaret()
    {
        Setup s;
        QTextEdit* pad = s.pad()->rtfJotPad();
        pad->setPlainText(u"note"_s);
        clipboard()->setText(u"mine"_s);
        aids::pressIn(pad, aids::caretPoint(pad, 2), Qt::RightButton);
        if (QWidget* menu = QApplication::activePopupWidget())
            menu->close(); // an ordinary right press shows the pad's menu
        aids::pressIn(pad, aids::caretPoint(pad, 2));
        QCOMPARE(pad->toPlainText(), u"note"_s);
        QCOMPARE(pad->textCursor().position(), 2);
        QCOMPARE(clipboard()->text(), u"mine"_s);
        QCOMPARE(vPasteState, u"Done"_s);
    }

    // Which of the tools' commands drop a pending paste: the next press in
    // the pad pastes only when the paste is still pending.
    void commandsThatDropAPendingPaste_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("drops");
        QTest::newRow("palette Maps") << u"palette"_s << u"mnuMaps"_s << false;
        QTest::newRow("palette Descriptions") << u"palette"_s << u"mnuNotes"_s << false;
        QTest::newRow("palette Abbreviations") << u"palette"_s << u"mnuAbbrev"_s << false;
        QTest::newRow("palette About") << u"palette"_s << u"mnuAbout"_s << false;
        QTest::newRow("palette Close") << u"palette"_s << u"BitBtnClose"_s << false;
        QTest::newRow("palette UPPER CASE") << u"palette"_s << u"rdoUpper"_s << false;
        QTest::newRow("jot pad Maps") << u"jot"_s << u"mnuMaps"_s << true;
        QTest::newRow("jot pad Descriptions") << u"jot"_s << u"mnuNotes"_s << false;
        QTest::newRow("jot pad Abbreviations") << u"jot"_s << u"mnuAbbrev"_s << false;
        QTest::newRow("jot pad Close, atlas current") << u"jot"_s << u"btnClose"_s << true;
        QTest::newRow("jot pad Erase") << u"jot"_s << u"btnErase"_s << false;
    }
    void commandsThatDropAPendingPaste()
    {
        QFETCH(QString, window);
        QFETCH(QString, command);
        QFETCH(bool, drops);
        Setup s;
        TfrmJot* jot = s.pad();
        TfrmAltChar* palette = s.palette();
        clickPosition(palette, 5, 7);
        QWidget* tool = window == u"palette"_s ? static_cast<QWidget*>(palette) : jot;
        vCurrentView = u"Atlas"_s;

        if (command.startsWith(u"mnu"_s))
            trigger(tool, command);
        else
            QTest::mouseClick(Kit::child<QWidget>(tool, command), Qt::LeftButton);
        QCOMPARE(vPasteState, drops ? u"Done"_s : u"Do"_s);
        QCOMPARE(clipboard()->text(), u"£"_s); // a drop leaves the clipboard alone

        jot->rtfJotPad()->setPlainText(u"x"_s);
        jot->showChild();
        aids::pressIn(jot->rtfJotPad(), aids::caretPoint(jot->rtfJotPad(), 1));
        QCOMPARE(jot->rtfJotPad()->toPlainText(), drops ? u"x"_s : u"x£"_s);
    }

    void closeFollowsTheCurrentView_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("front");
        QTest::newRow("Atlas") << u"Atlas"_s << u"frmAtlas"_s;
        QTest::newRow("Notes") << u"Notes"_s << u"frmNotes"_s;
        QTest::newRow("Abbrev") << u"Abbrev"_s << u"frmAbbrev"_s;
        QTest::newRow("Map: only sent back") << u"Map"_s << u"frmAtlas"_s;
    }
    void closeFollowsTheCurrentView()
    {
        QFETCH(QString, current);
        QFETCH(QString, front);
        Setup s;
        TfrmAltChar* palette = s.palette();
        vCurrentView = current;
        vPasteState = u"Do"_s;
        QTest::mouseClick(Kit::child<QPushButton>(palette, u"BitBtnClose"_s), Qt::LeftButton);
        QVERIFY(aids::frontChild());
        QCOMPARE(aids::frontChild()->objectName(), front);
        QCOMPARE(vCurrentView, current);
        QCOMPARE(vPasteState, u"Do"_s);
        QVERIFY(palette->isVisible()); // sent back, never hidden
        if (current == u"Map"_s)
            QVERIFY(!frmNotes && !frmAbbrev);
    }

    // However it was left, the palette comes forward in lower case, placed
    // and focused, and the same palette each time.
    void comesForwardInLowerCase()
    {
        Setup s;
        TfrmAltChar* palette = s.palette();
        QCOMPARE(palette->windowTitle(), u"Accented characters"_s);
        QCOMPARE(palette->outerGeometry(), QRect(605, 2, 160, 193));
        QVERIFY(palette->rdoLower->isChecked());
        chooseCase(palette, true);
        QCOMPARE(Kit::child<QPushButton>(palette, u"btnL163"_s)->text(), u"€"_s);
        palette->moveTo(300, 200);
        clickPosition(palette, 1, 1);
        QCOMPARE(aids::frontChild(), frmAtlas);

        QCOMPARE(s.palette(), palette);
        QCOMPARE(MainForm->findChildren<TfrmAltChar*>().size(), 1);
        QCOMPARE(aids::frontChild(), palette);
        QCOMPARE(aids::activeChild(), palette);
        QCOMPARE(palette->outerGeometry(), QRect(605, 2, 160, 193));
        QVERIFY(palette->rdoLower->isChecked());
        QVERIFY(palette->rdoLower->hasFocus());
        QCOMPARE(Kit::child<QPushButton>(palette, u"btnL163"_s)->text(), u"£"_s);
        QVERIFY(Kit::child<QPushButton>(palette, u"btnS138"_s)->isHidden());
        QCOMPARE(clickPosition(palette, 1, 1)->objectName(), u"btnA224"_s);
        QCOMPARE(clipboard()->text(), u"à"_s);
    }

    // Reaching and pressing every position without the mouse, and the key
    // that switches the case.
    void keyboard()
    {
        Setup s;
        TfrmAltChar* palette = s.palette();
        QTest::keyClick(palette->rdoLower, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"btnA224"_s);
        const QList<std::pair<Qt::Key, QString>> walk { { Qt::Key_Right, u"btnA225"_s },
            { Qt::Key_Down, u"btnE232"_s }, { Qt::Key_Down, u"btnI239"_s }, { Qt::Key_Left, u"btnI238"_s },
            { Qt::Key_Down, u"btnO245"_s }, { Qt::Key_Down, u"btnS154"_s }, { Qt::Key_Down, u"btnS154"_s },
            { Qt::Key_Right, u"btnSS223"_s }, { Qt::Key_Left, u"btnS154"_s },
            { Qt::Key_Left, u"btnS154"_s } };
        for (const auto& [key, reached] : walk) {
            QTest::keyClick(QApplication::focusWidget(), key);
            QCOMPARE(QApplication::focusWidget()->objectName(), reached);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(clipboard()->text(), u"š"_s);
        QCOMPARE(vPasteState, u"Do"_s);

        s.palette();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3, Qt::ShiftModifier);
        QVERIFY(palette->rdoUpper->isChecked());
        Kit::child<QPushButton>(palette, u"btnO245"_s)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"btnS138"_s); // the covering one
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(clipboard()->text(), u"Š"_s);
        s.palette();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3, Qt::ShiftModifier);
        QVERIFY(palette->rdoUpper->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3, Qt::ShiftModifier);
        QVERIFY(palette->rdoLower->isChecked());
    }

    void screenReaderNames_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("upper");
        QTest::addColumn<QString>("name");
        QTest::newRow("à") << u"btnA224"_s << false << u"a with grave"_s;
        QTest::newRow("Å") << u"btnA229"_s << true << u"capital A with ring above"_s;
        QTest::newRow("ç") << u"btnC231"_s << false << u"c with cedilla"_s;
        QTest::newRow("Ž") << u"btnZ142"_s << true << u"capital Z with caron"_s;
        QTest::newRow("ø") << u"btnO248"_s << false << u"o with stroke"_s;
        QTest::newRow("µ") << u"btnSS223"_s << true << u"micro sign"_s;
        QTest::newRow("º") << u"btnC186"_s << false << u"masculine ordinal indicator"_s;
        QTest::newRow("€") << u"btnL163"_s << true << u"euro sign"_s;
    }
    void screenReaderNames()
    {
        QFETCH(QString, button);
        QFETCH(bool, upper);
        QFETCH(QString, name);
        Setup s;
        TfrmAltChar* palette = s.palette();
        chooseCase(palette, upper);
        QCOMPARE(Kit::child<QPushButton>(palette, button)->accessibleName(), name);
    }

    void hints()
    {
        Setup s;
        TfrmAltChar* palette = s.palette();
        const QString panelHint = u"Click to copy the character shown here to the Windows Clipboard. "
                                  u"It then may be pasted wherever you choose."_s;
        QCOMPARE(Kit::child<QWidget>(palette, u"pnlAltChar"_s)->toolTip(), panelHint);
        QCOMPARE(Kit::child<QWidget>(palette, u"btnZ142"_s)->toolTip(), panelHint);
        QCOMPARE(palette->rdoLower->toolTip(), u"Click to view and choose from Lower-Case characters."_s);
        QCOMPARE(
            Kit::child<QWidget>(palette, u"BitBtnClose"_s)->toolTip(), u"Close the Odd Characters window."_s);
        QCOMPARE(palette->rdoUpper->toolTip(), u"Click to view and choose from Upper-Case characters."_s);
        // rdoUpper carries its hint but does not show it.
        const QPoint at = palette->rdoUpper->rect().center();
        QHelpEvent onUpper(QEvent::ToolTip, at, palette->rdoUpper->mapToGlobal(at));
        QApplication::sendEvent(palette->rdoUpper, &onUpper);
        QVERIFY(!QToolTip::isVisible());
        QHelpEvent onLower(QEvent::ToolTip, at, palette->rdoLower->mapToGlobal(at));
        QApplication::sendEvent(palette->rdoLower, &onLower);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), palette->rdoLower->toolTip());
        QToolTip::hideText();
    }
};

QTEST_MAIN(TestAltChar)
#include "test_altchar.moc"
