#pragma once
// The Close button of the two writing tools (palette and jot pad): the tool
// goes behind the other windows and its own menu command for the current
// view brings that view forward. A current view without such a command
// ("Map", the full-screen map) leaves it at sending the tool back.

namespace corvane {

class TMenuForm;

void closeTool(TMenuForm& tool);

} // namespace corvane
