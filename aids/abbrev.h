#pragma once
// The abbreviations window: a read-only list of the abbreviations and German
// words printed on the maps (ABBREV.DB, in its stored order). Typing into the
// list jumps to the first abbreviation that starts with what was typed;
// nothing here changes the table. Created once by an Abbreviations command
// and kept, with its place and current row, until the program ends.

#include "app/child_form.h"
#include "app/commands.h"

#include <memory>

class QAction;
class QLabel;

namespace Ui {
class Abbrev;
}

namespace platform {
class DbGrid;
}

namespace corvane {

class TfrmAbbrev : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmAbbrev(QWidget* parent = nullptr);
    ~TfrmAbbrev() override;

    platform::DbGrid* grdAbbrev() const;
    QLabel* lblGrid() const;

    StandardMenu menu; // mnuMaps, mnuNotes, mnuAbbrev, the Help items

public slots:
    void mnuMapsClick();
    void mnuNotesClick();
    void OpenHelpFile1Click();
    void mnuManualClick();
    void mnuReconfigClick();
    void mnuAboutClick();
    void mnuVisitClick();

protected:
    void FormShow() override;
    void FormClick() override;

private:
    void setUpGrid();
    void buildMenu();

    const std::unique_ptr<Ui::Abbrev> ui;
};

} // namespace corvane
