#pragma once
// The abbreviations window: a read-only list of the abbreviations and German
// words printed on the maps (ABBREV.DB, in its stored order). Typing into the
// list jumps to the first abbreviation that starts with what was typed;
// nothing here changes the table. Created once by an Abbreviations command
// and kept, with its place and current row, until the program ends.

#include "core/menu_form.h"

#include <memory>

class QLabel;

namespace Ui {
class Abbrev;
}

namespace platform {
class DbGrid;
}

namespace corvane {

class TfrmAbbrev : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmAbbrev(QWidget* parent = nullptr);
    ~TfrmAbbrev() override;

    platform::DbGrid* grdAbbrev() const;
    QLabel* lblGrid() const;

public slots:
    void OpenHelpFile1Click() { helpItemClick(); }

protected:
    void FormShow() override;
    void FormClick() override;

private:
    void setUpGrid();

    const std::unique_ptr<Ui::Abbrev> ui;
};

} // namespace corvane
