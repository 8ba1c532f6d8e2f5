#include "app/views.h"

#include "aids/abbrev.h"
#include "app/config.h"
#include "app/main_form.h"
#include "core/forms.h"
#include "core/shared.h"
#include "maps/atlas.h"
#include "places/notes.h"

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
    return frmConfig;
}

} // namespace corvane
