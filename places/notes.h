#pragma once
// The descriptions window: the user's places with their descriptions and
// pictures. Placeholder: so far only the window with its menu bar, its place
// and its background click; the place list, the description and the picture
// panels arrive with the descriptions window's own work (the data module
// already keeps its caption on the current place).

#include "core/menu_form.h"

namespace corvane {

class TfrmNotes : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmNotes(QWidget* parent = nullptr);
    ~TfrmNotes() override;

public slots:
    void mnuOpenHelpClick() { helpItemClick(); }

protected:
    void FormShow() override;
    void FormClick() override;
};

} // namespace corvane
