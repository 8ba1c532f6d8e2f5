// The palette's hand-off into text that is selected, as the export leaves
// the description and as the jot pad invites: in each of the five targets,
// with any button, the press inside the selection puts the caret where
// pressed, and the character goes there; nothing selected is replaced.

#include "writing_aids.h"

using namespace corvane;
using namespace Qt::StringLiterals;
using aids::Setup;

namespace {

// A point inside the target's text and the caret position it stands for.
std::pair<QPoint, int> pointInside(QWidget* control)
{
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        // The middle of the strip of points that stand for position 3.
        QList<int> strip;
        for (int x = 0; x < line->width(); ++x) {
            if (line->cursorPositionAt({ x, line->height() / 2 }) == 3)
                strip << x;
        }
        return { QPoint(strip.value(strip.size() / 2), line->height() / 2), strip.isEmpty() ? -1 : 3 };
    }
    QTextDocument* document = nullptr;
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        document = rich->document();
    else
        document = qobject_cast<QPlainTextEdit*>(control)->document();
    QTextCursor cursor(document);
    cursor.setPosition(3);
    const QRect caret = qobject_cast<QTextEdit*>(control)
        ? qobject_cast<QTextEdit*>(control)->cursorRect(cursor)
        : qobject_cast<QPlainTextEdit*>(control)->cursorRect(cursor);
    return { caret.center(), 3 };
}

QTextCursor caretOf(QWidget* control)
{
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return rich->textCursor();
    return qobject_cast<QPlainTextEdit*>(control)->textCursor();
}

} // namespace

class TestHandOff : public QObject {
    Q_OBJECT

private slots:
    void aPressInsideASelectionPastesAtThePoint_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<Qt::MouseButton>("button");
        for (const QString& target :
            { u"rtfJotPad"_s, u"dbmemoDescrip"_s, u"dbmemoCaption"_s, u"dbedPlace"_s, u"edPlace"_s }) {
            for (const auto& [name, button] : { std::pair { "left", Qt::LeftButton },
                     std::pair { "right", Qt::RightButton }, std::pair { "middle", Qt::MiddleButton } })
                QTest::addRow("%s %s", qPrintable(target), name) << target << button;
        }
    }
    void aPressInsideASelectionPastesAtThePoint()
    {
        QFETCH(QString, target);
        QFETCH(Qt::MouseButton, button);
        Setup s(true);
        QWidget* control = s.target(target);
        QVERIFY2(control && control->isVisible(), qPrintable(target + u" is not shown"_s));
        QVERIFY(QMetaObject::invokeMethod(control, "selectAll"));
        const QString before = aids::textOf(control);
        const auto [point, position] = pointInside(control);
        QVERIFY(position > 0 && position < before.size()); // inside the selection
        QTest::mouseClick(Kit::child<QPushButton>(s.palette(), u"btnO243"_s), Qt::LeftButton);
        QCOMPARE(vPasteState, u"Do"_s);

        QTest::mouseClick(aids::pressedIn(control), button, {}, point);
        QCOMPARE(aids::textOf(control), QString(before).insert(position, u"ó"_s));
        QCOMPARE(vPasteState, u"Done"_s);
        QVERIFY(aids::clipboard()->text().isEmpty());
        QVERIFY(!QApplication::activePopupWidget());
        if (auto* line = qobject_cast<QLineEdit*>(control)) {
            QVERIFY(!line->hasSelectedText());
            QCOMPARE(line->cursorPosition(), position + 1);
        } else {
            QVERIFY(!caretOf(control).hasSelection());
            QCOMPARE(caretOf(control).position(), position + 1);
        }
        if (target.startsWith(u"db"_s)) { // a bound field's paste is the record's pending change
            platform::Table* table
                = target == u"dbmemoCaption"_s ? DataModule1->tblPix : DataModule1->tblDescrip;
            const QString field = target == u"dbedPlace"_s ? u"Place"_s
                : target == u"dbmemoCaption"_s             ? u"Caption"_s
                                                           : u"Memo"_s;
            QCOMPARE(table->fieldAsString(field).replace(u"\r\n"_s, u"\n"_s), aids::textOf(control));
        }
    }

    // The export leaves the whole description selected; a character handed
    // off into it afterwards keeps the description.
    void theExportsSelectionIsNotReplaced()
    {
        Setup s(true);
        auto* memo = qobject_cast<QPlainTextEdit*>(s.target(u"dbmemoDescrip"_s));
        QVERIFY(memo);
        s.kit.click(u"spdPrint"_s);
        QVERIFY(MainForm->pnlRTF->isVisible());
        QVERIFY(memo->textCursor().hasSelection());
        s.kit.click(u"btnRTFClose"_s);
        QTest::mouseClick(Kit::child<QPushButton>(s.palette(), u"btnO243"_s), Qt::LeftButton);
        QTextCursor end(memo->document());
        end.movePosition(QTextCursor::End);
        QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, memo->cursorRect(end).center());
        QCOMPARE(memo->toPlainText(), Setup::kMemo + u"ó"_s);
    }
};

QTEST_MAIN(TestHandOff)
#include "test_handoff.moc"
