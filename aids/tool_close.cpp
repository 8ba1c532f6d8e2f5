#include "aids/tool_close.h"

#include "core/menu_form.h"
#include "core/shared.h"

namespace corvane {

void closeTool(TMenuForm& tool)
{
    tool.sendToBack();
    if (vCurrentView == QLatin1String("Atlas"))
        tool.mnuMapsClick();
    else if (vCurrentView == QLatin1String("Notes"))
        tool.mnuNotesClick();
    else if (vCurrentView == QLatin1String("Abbrev"))
        tool.mnuAbbrevClick();
}

} // namespace corvane
