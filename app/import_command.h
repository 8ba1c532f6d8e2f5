#pragma once
// "Import from the original program...": asks for the original's Data
// folder (or a backup diskette's root), shows what it found and whether to
// add it to the current list or replace the list, then imports it.

class QWidget;

namespace corvane {

void runLegacyImport(QWidget* parent);

} // namespace corvane
