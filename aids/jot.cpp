#include "aids/jot.h"

#include "core/forms.h"
#include "platform/errors.h"

namespace corvane {

TfrmJot::TfrmJot(QWidget* parent)
    : TMenuForm(Caller::Jot, parent)
{
    setObjectName(QStringLiteral("frmJot"));
    setWindowTitle(QStringLiteral("Jot a Note"));
    setFixedBorder(true);
    frmJot = this;
}

TfrmJot::~TfrmJot()
{
    if (frmJot == this)
        frmJot = nullptr;
}

void TfrmJot::FormShow()
{
    setOuterGeometry(456, 2, 308, 360);
}

} // namespace corvane
