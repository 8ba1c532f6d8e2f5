#pragma once
// What the palette's and the jot pad's tests share: the program opened on
// a one-sheet atlas with its tool-bar buttons shown, the tools reached by
// those buttons, and presses into the pad as a user makes them.

#include "kit/atlas_fixture.h"

#include "aids/altchar.h"
#include "aids/jot.h"

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

    Setup()
    {
        atlas.writeSheet(u"GB-03H"_s, { 200, 144 }, Qt::red);
        atlas.setRows({ { u"GB-03H"_s, {}, {}, {}, {}, u"England: London"_s, u"12-13"_s, 433, 683 } }, {});
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
};

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
