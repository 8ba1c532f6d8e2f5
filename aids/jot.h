#pragma once
// The jot pad. For now the window itself, so the tool-bar button can open
// and place it, and its menu bar with the commands every view shares; the
// pad and its buttons come with the jot pad's own work. Its commands leave
// the current view alone: the pad is no view.

#include "core/menu_form.h"

namespace corvane {

class TfrmJot : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmJot(QWidget* parent = nullptr);
    ~TfrmJot() override;

public slots:
    void OpenHelpFile1Click() { helpItemClick(); }

protected:
    void FormShow() override;
};

} // namespace corvane
