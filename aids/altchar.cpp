#include "aids/altchar.h"

#include "core/forms.h"
#include "platform/errors.h"

#include <QRadioButton>

namespace corvane {

TfrmAltChar::TfrmAltChar(QWidget* parent)
    : TMenuForm(Caller::AltChar, parent)
{
    setObjectName(QStringLiteral("frmAltChar"));
    setWindowTitle(QStringLiteral("Accented characters"));
    setFixedBorder(true);
    rdoLower = new QRadioButton(QStringLiteral("lower case"), this);
    rdoLower->setObjectName(QStringLiteral("rdoLower"));
    rdoLower->setGeometry(16, 22, 105, 17);
    rdoLower->setChecked(true);
    frmAltChar = this;
}

TfrmAltChar::~TfrmAltChar()
{
    if (frmAltChar == this)
        frmAltChar = nullptr;
}

void TfrmAltChar::FormShow()
{
    setOuterGeometry(605, 4, 160, 193);
}

} // namespace corvane
