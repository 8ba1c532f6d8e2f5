#pragma once
// Creating and showing the windows that exist at most once per run, guarded
// by their created flags. "Showing" makes the window visible, brings it in
// front of the other child windows and activates it.

namespace corvane {

class TfrmConfig;

// The atlas window: created on the first call (vAtlasCreated), then shown.
void showAtlasWindow();

// The configuration window: created on the first call (vConfigCreated) at
// the child area's default place for a new window, then shown.
TfrmConfig* showConfigWindow();

} // namespace corvane
