#pragma once
// The splash window: the London map picture, then (after the tables opened
// on Timer1's first tick) the title panel with "Open". "Open" either starts
// the first-time configuration or checks that the map pictures can be
// reached and opens the atlas window; either way the splash is released.
// The user cannot close it.

#include "core/child_form.h"

#include <memory>

class QTimer;

namespace Ui {
class Splash;
}

namespace corvane {

class TfrmSplash : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);
    ~TfrmSplash() override;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

public slots:
    // Each tick repeats its steps harmlessly until the splash is released.
    void Timer1Timer();
    void Timer2Timer();
    void btnBeginClick();

protected:
    void FormShow() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadPicture();
    void openPath();
    void release();

    const std::unique_ptr<Ui::Splash> ui;
    bool m_tablesFailed = false;
    bool m_released = false;
    bool m_paintReported = false;
};

} // namespace corvane
