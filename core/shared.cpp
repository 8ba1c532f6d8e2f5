#include "core/shared.h"

namespace corvane {

void resetSharedState()
{
    vGraphicsPath = vProgramPath;
    vFloppy.clear();
    vBackupPath.clear();
    vCurrentView = QStringLiteral("Atlas");
    vPasteState = QStringLiteral("Done");
    vShellTarget.clear();
    vFirstAtlasShow = true;
    vAtlasCreated = vNotesCreated = vAbbrevCreated = false;
    vAltCharCreated = vJotCreated = vConfigCreated = false;
    vMapCreated = vPhotoCreated = false;
}

void resetProcessState()
{
    resetSharedState();
    vMapId = vShownMapId = vZoomMode = vKeyMapId = vScaleMapId = QString();
    vKeyWidth = vScaleWidth = 0;
    vCountryCode = vCountryName = vLocateMapId = vMapPages = vMapTitle = QString();
    vOutlineTop = vOutlineLeft = vPointerTop = vPointerLeft = 0;
    vFullMapId = vFullKeyMapId = vFullScaleMapId = vFullMapTitle = QString();
    vFullKeyWidth = vFullScaleWidth = 0;
    vPlaceId = 0;
    vPlaceName = vPixPath = vPixType = vPixCaption = vPixFileName = QString();
    vPixFound = false;
}

} // namespace corvane
