#pragma once
// The descriptions window: the user's places with their descriptions and
// pictures. Placeholder: so far only the window with its menu bar, its place
// and its background click; the place list, the description and the picture
// panels arrive with the descriptions window's own work (the data module
// already keeps its caption on the current place).

#include "app/child_form.h"
#include "app/commands.h"

class QAction;

namespace corvane {

class TfrmNotes : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmNotes(QWidget* parent = nullptr);
    ~TfrmNotes() override;

    StandardMenu menu; // mnuMaps, mnuNotes, mnuAbbrev, the Help items

public slots:
    void mnuMapsClick();
    void mnuAbbrevClick();
    void mnuOpenHelpClick();
    void mnuManualClick();
    void mnuReconfigClick();
    void mnuAboutClick();
    void mnuVisitClick();

protected:
    void FormShow() override;
    void FormClick() override;

private:
    void buildMenu();
};

} // namespace corvane
