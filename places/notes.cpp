#include "places/notes.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "platform/errors.h"

namespace corvane {

TfrmNotes::TfrmNotes(QWidget* parent)
    : TMenuForm(Caller::Notes, parent)
{
    setObjectName(QStringLiteral("frmNotes"));
    setWindowTitle(QStringLiteral("  NOTES and PICTURES"));
    setFixedBorder(true);
    QPalette green = palette();
    green.setColor(QPalette::Window, QColor(192, 220, 192));
    setPalette(green);
    setAutoFillBackground(true);
    if (DataModule1)
        connect(DataModule1, &TDataModule1::currentPlaceChanged, this,
            [this] { setWindowTitle(QStringLiteral("  NOTES and PICTURES : ") + vPlaceName); });
    frmNotes = this;
}

TfrmNotes::~TfrmNotes()
{
    if (frmNotes == this)
        frmNotes = nullptr;
}

// Placeholder: only the window's place; the current place's refresh comes
// with the descriptions window's work.
void TfrmNotes::FormShow()
{
    setOuterGeometry(2, 2, 764, 460);
}

void TfrmNotes::FormClick()
{
    vCurrentView = QStringLiteral("Notes");
}

} // namespace corvane
