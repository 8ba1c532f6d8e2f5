#pragma once
// Creating and showing the windows that exist at most once per run, guarded
// by their created flags. "Showing" makes the window visible, brings it in
// front of the other child windows and activates it.

namespace corvane {

class TfrmConfig;

// The views: createXxxWindow() creates the window on the first call (flag
// vAtlasCreated, vNotesCreated, vAbbrevCreated), which shows it and runs its
// show handler, and does nothing later; showXxxWindow() creates it if need
// be, then shows it.
void createAtlasWindow();
void createNotesWindow();
void createAbbrevWindow();
void showAtlasWindow();
void showNotesWindow();
void showAbbrevWindow();

// The configuration window: created on the first call (vConfigCreated) at
// the child area's default place for a new window, then shown, moved into
// the child area where that place would have it reach past the edge.
TfrmConfig* showConfigWindow();

} // namespace corvane
