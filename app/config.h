#pragma once
// The configuration window: asks for the backup drive letter. "Yes" stores
// it with the configured mark in the configuration record, reveals the
// tool-bar buttons and brings the atlas window to the front (creating it on
// the first run). Created once, on the first run or by "Reconfigure"; it
// cannot be closed and keeps the entry as the user left it.

#include "core/child_form.h"

#include <memory>

namespace Ui {
class Config;
}

namespace corvane {

class TfrmConfig : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmConfig(QWidget* parent = nullptr);
    ~TfrmConfig() override;

    void btnCheckClick();

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const std::unique_ptr<Ui::Config> ui;
};

} // namespace corvane
