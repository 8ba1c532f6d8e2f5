#pragma once
// The accented-character palette. For now only the window itself and its
// lower-case choice, so the tool-bar button can open, place and focus it;
// the character buttons, the case switch and the menu come with the
// palette's own work.

#include "app/child_form.h"

class QRadioButton;

namespace corvane {

class TfrmAltChar : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmAltChar(QWidget* parent = nullptr);
    ~TfrmAltChar() override;

    QRadioButton* rdoLower = nullptr;

protected:
    void FormShow() override;
};

} // namespace corvane
