#pragma once
// The jot pad. For now only the window itself, so the tool-bar button can
// open and place it; the pad, its buttons and the menu come with the jot
// pad's own work.

#include "app/child_form.h"

namespace corvane {

class TfrmJot : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmJot(QWidget* parent = nullptr);
    ~TfrmJot() override;

protected:
    void FormShow() override;
};

} // namespace corvane
