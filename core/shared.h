#pragma once
// The program-wide state through which the windows cooperate. Every window
// reads and sets these by name; nothing else keeps a copy. The frame's first
// showing gives them their initial values (resetSharedState).

#include <QString>

namespace corvane {

// Start-up and the shell.
inline const QString vProgramPath = QStringLiteral("C:\\Program Files\\Quillmere\\Corvane3\\");
inline QString vGraphicsPath;
inline QString vFloppy;
inline QString vBackupPath;
inline QString vCurrentView; // "Atlas", "Notes", "Abbrev" or "Map"
inline QString vPasteState; // "Done" or "Do"
inline QString vShellTarget;
inline bool vFirstAtlasShow = true;

// Window-created flags.
inline bool vAtlasCreated = false;
inline bool vNotesCreated = false;
inline bool vAbbrevCreated = false;
inline bool vAltCharCreated = false;
inline bool vJotCreated = false;
inline bool vConfigCreated = false;
inline bool vMapCreated = false;
inline bool vPhotoCreated = false;

// Map viewer state: the current detail sheet and what derives from it.
inline QString vMapId;
inline QString vShownMapId;
inline QString vZoomMode; // "Detail" or "Locate"
inline QString vKeyMapId;
inline QString vScaleMapId;
inline int vKeyWidth = 0;
inline int vScaleWidth = 0;
inline QString vCountryCode;
inline QString vCountryName;
inline QString vLocateMapId;
inline QString vMapPages;
inline QString vMapTitle;
inline int vOutlineTop = 0;
inline int vOutlineLeft = 0;
inline int vPointerTop = 0;
inline int vPointerLeft = 0;

// The full-screen map window's own copies.
inline QString vFullMapId;
inline QString vFullKeyMapId;
inline QString vFullScaleMapId;
inline int vFullKeyWidth = 0;
inline int vFullScaleWidth = 0;
inline QString vFullMapTitle;

// Current place and the picture last shown.
inline int vPlaceId = 0;
inline QString vPlaceName;
inline QString vPixPath;
inline QString vPixType;
inline QString vPixCaption;
inline QString vPixFileName;
inline bool vPixFound = false;

// The initial values, set by the frame's first showing.
void resetSharedState();

// Every variable back to its state at process start (a new Application).
void resetProcessState();

} // namespace corvane
