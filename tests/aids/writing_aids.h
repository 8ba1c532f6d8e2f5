#pragma once
// What the palette's and the jot pad's tests share: the program opened on
// a one-sheet atlas with its tool-bar buttons shown, the tools reached by
// those buttons, the descriptions window's paste targets on a place with a
// picture, and presses into the pad as a user makes them.

#include "kit/atlas_fixture.h"
#include "kit/user_tables.h"

#include "aids/altchar.h"
#include "aids/jot.h"
#include "places/notes.h"

#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTextEdit>

namespace aids {

using namespace Qt::StringLiterals;

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };

    // The place the descriptions window opens on, with one picture.
    static inline const QString kMemo = u"Cinque port on the hill,\nonce by the sea"_s;
    static inline const QString kCaption = u"The Strand Gate, from the north"_s;

    // With a place, its description and a picture for the descriptions
    // window when asked.
    explicit Setup(bool withPlace = false)
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
        if (withPlace)
            fixture::writeUserTables(
                { { 0, u"Winchelsea and Rye"_s, kMemo } }, { { u"000001"_s, 0, kCaption } });
        if (!atlas.open())
            QTest::qFail("the atlas window did not open", __FILE__, __LINE__);
        corvane::MainForm->showToolButtons();
        QApplication::clipboard()->clear();
    }

    corvane::TfrmAltChar* palette()
    {
        kit.click(u"spdOddChar"_s);
        return corvane::frmAltChar;
    }
    corvane::TfrmJot* pad()
    {
        kit.click(u"spdJotpad"_s);
        return corvane::frmJot;
    }

    // Opens the descriptions window on that place.
    corvane::TfrmNotes* notes()
    {
        const QString pix = QDir(kit.hostPath(corvane::vProgramPath)).filePath(u"Pix"_s);
        QDir().mkpath(pix);
        fixture::writeBytes(
            pix + u"/000001.JPG"_s, fixture::encodeJpeg(fixture::sheetImage({ 160, 120 }, fixture::kGreen)));
        for (QAction* item : corvane::MainForm->menuBar()->actions()) {
            if (item->objectName() == u"mnuNotes"_s)
                item->trigger();
        }
        return corvane::frmNotes;
    }

    // One of the five paste targets, shown as a user reaches it.
    QWidget* target(const QString& name)
    {
        if (name == u"rtfJotPad"_s) {
            QTextEdit* jot = pad()->rtfJotPad();
            jot->setPlainText(kMemo);
            return jot;
        }
        corvane::TfrmNotes* window = corvane::frmNotes ? corvane::frmNotes : notes();
        const auto click = [&](const QString& button) {
            QTest::mouseClick(Kit::child<QAbstractButton>(window, button), Qt::LeftButton);
        };
        if (name == u"dbedPlace"_s || name == u"edPlace"_s) {
            click(u"btnAddPlace"_s);
            Kit::child<QRadioButton>(window, name == u"edPlace"_s ? u"rdoAdd"_s : u"rdoEdit"_s)->click();
            click(u"btnGo"_s);
            if (name == u"edPlace"_s)
                Kit::child<QLineEdit>(window, name)->setText(u"Camber Sands by Rye"_s);
        } else if (name == u"dbmemoCaption"_s) {
            click(u"btnPictures"_s);
        }
        return Kit::child(window, name);
    }
};

// The text of a paste target, one line or many.
inline QString textOf(QWidget* control)
{
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->text();
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return rich->toPlainText();
    return qobject_cast<QPlainTextEdit*>(control)->toPlainText();
}

// The widget that takes a target's mouse presses.
inline QWidget* pressedIn(QWidget* control)
{
    auto* area = qobject_cast<QAbstractScrollArea*>(control);
    return area ? area->viewport() : control;
}

inline QClipboard* clipboard()
{
    return QApplication::clipboard();
}

// The clipboard's formats; empty once it has been emptied.
inline QStringList clipboardFormats()
{
    const QMimeData* data = clipboard()->mimeData();
    return data ? data->formats() : QStringList();
}

inline corvane::TChildForm* frontChild()
{
    const auto stack = corvane::MainForm->childArea()->subWindowList(QMdiArea::StackingOrder);
    return stack.isEmpty() ? nullptr : qobject_cast<corvane::TChildForm*>(stack.constLast()->widget());
}

inline corvane::TChildForm* activeChild()
{
    QMdiSubWindow* sub = corvane::MainForm->childArea()->activeSubWindow();
    return sub ? qobject_cast<corvane::TChildForm*>(sub->widget()) : nullptr;
}

// Where the caret stands between the characters at `position` of the pad.
inline QPoint caretPoint(QTextEdit* pad, int position)
{
    QTextCursor cursor(pad->document());
    cursor.setPosition(position);
    return pad->cursorRect(cursor).center();
}

// A full press and release, with any button, in the pad's text.
inline void pressIn(QTextEdit* pad, QPoint point, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(pad->viewport(), button, {}, point);
}

} // namespace aids
