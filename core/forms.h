#pragma once
// The windows of the program, reachable by name as the windows reach each
// other. Each pointer is set when its window is created and cleared when it
// is destroyed; a null pointer is a window not created yet.

namespace corvane {

class TMainForm;
class TDataModule1;
class TfrmSplash;
class TfrmConfig;
class TfrmAtlas;
class TfrmMap;
class TfrmNotes;
class TfrmPhoto;
class TfrmAbbrev;
class TfrmAltChar;
class TfrmJot;

inline TMainForm* MainForm = nullptr;
inline TDataModule1* DataModule1 = nullptr;
inline TfrmSplash* frmSplash = nullptr;
inline TfrmConfig* frmConfig = nullptr;
inline TfrmAtlas* frmAtlas = nullptr;
inline TfrmMap* frmMap = nullptr;
inline TfrmNotes* frmNotes = nullptr;
inline TfrmPhoto* frmPhoto = nullptr;
inline TfrmAbbrev* frmAbbrev = nullptr;
inline TfrmAltChar* frmAltChar = nullptr;
inline TfrmJot* frmJot = nullptr;

} // namespace corvane
