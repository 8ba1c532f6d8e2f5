#pragma once
// "Import places..." and "Export places...": the user chooses the file, the
// import runs with a progress window that can stop it, and a message tells
// what was done; the export first asks which places (all, ticked, or those
// on one sheet).

class QWidget;

namespace corvane {

void runPlaceImport(QWidget* parent);
void runPlaceExport(QWidget* parent);

} // namespace corvane
