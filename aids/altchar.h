#pragma once
// The accented-character palette. For now the window itself and its
// lower-case choice, so the tool-bar button can open, place and focus it,
// and its menu bar with the commands every view shares; the character
// buttons and the case switch come with the palette's own work. Its
// commands leave the current view and a pending paste alone.

#include "core/menu_form.h"

class QRadioButton;

namespace corvane {

class TfrmAltChar : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmAltChar(QWidget* parent = nullptr);
    ~TfrmAltChar() override;

    QRadioButton* rdoLower = nullptr;

public slots:
    void OpenHelpFile1Click() { helpItemClick(); }

protected:
    void FormShow() override;
};

} // namespace corvane
