#include "places/notes.h"

#include "app/forms.h"

namespace corvane {

TfrmNotes::TfrmNotes(QWidget* parent)
    : TChildForm(parent)
{
    setObjectName(QStringLiteral("frmNotes"));
    setWindowTitle(QStringLiteral("  NOTES and PICTURES"));
    frmNotes = this;
}

TfrmNotes::~TfrmNotes()
{
    if (frmNotes == this)
        frmNotes = nullptr;
}

} // namespace corvane
