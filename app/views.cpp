#include "app/views.h"

#include "aids/abbrev.h"
#include "app/config.h"
#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "maps/atlas.h"
#include "places/notes.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>

namespace corvane {

namespace {

// The flag is set before the window's show handler runs, as each window's
// creator does.
template <typename Form> void createOnce(bool& created)
{
    if (created)
        return;
    auto* form = new Form;
    MainForm->addChild(form);
    created = true;
    form->showChild();
}

// A window placed by the child area where it would reach past the area's
// right or bottom edge moves in, as far as its size allows.
void keepInsideChildArea(QMdiSubWindow* window)
{
    if (!window || !window->mdiArea())
        return;
    const QRect area = window->mdiArea()->viewport()->rect();
    const QRect frame = window->geometry();
    const QPoint topLeft(std::max(0, std::min(frame.left(), area.width() - frame.width())),
        std::max(0, std::min(frame.top(), area.height() - frame.height())));
    if (topLeft != frame.topLeft())
        window->move(topLeft);
}

} // namespace

void createAtlasWindow()
{
    createOnce<TfrmAtlas>(vAtlasCreated);
}

void createNotesWindow()
{
    createOnce<TfrmNotes>(vNotesCreated);
}

void createAbbrevWindow()
{
    createOnce<TfrmAbbrev>(vAbbrevCreated);
}

void showAtlasWindow()
{
    createAtlasWindow();
    if (frmAtlas)
        frmAtlas->showChild();
}

void showNotesWindow()
{
    createNotesWindow();
    if (frmNotes)
        frmNotes->showChild();
}

void showAbbrevWindow()
{
    createAbbrevWindow();
    if (frmAbbrev)
        frmAbbrev->showChild();
}

TfrmConfig* showConfigWindow()
{
    if (!vConfigCreated) {
        auto* config = new TfrmConfig;
        MainForm->addChild(config);
        vConfigCreated = true;
    }
    frmConfig->showChild();
    keepInsideChildArea(frmConfig->subWindow());
    return frmConfig;
}

} // namespace corvane
