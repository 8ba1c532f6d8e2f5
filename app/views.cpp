#include "app/views.h"

#include "app/config.h"
#include "app/forms.h"
#include "app/main_form.h"
#include "app/shared.h"
#include "maps/atlas.h"

namespace corvane {

void showAtlasWindow()
{
    if (!vAtlasCreated) {
        auto* atlas = new TfrmAtlas;
        MainForm->addChild(atlas);
        vAtlasCreated = true;
        atlas->showChild();
    }
    if (frmAtlas)
        frmAtlas->showChild();
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
