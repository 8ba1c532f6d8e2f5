#pragma once
// The whole program in one object: start() does what the program entry does
// (title, drives, first-run installation, frame, data module, splash) and
// the destructor ends it. main() and the tests both use it.

#include <QObject>

#include <memory>

namespace platform {
class SingleInstance;
}

namespace corvane {

class TMainForm;
class TDataModule1;

class Application : public QObject {
    Q_OBJECT
public:
    Application();
    ~Application() override;

    // False when the program cannot start (reported to the user already),
    // or when another copy runs and was brought to the front (handedOver()).
    bool start();
    bool handedOver() const { return m_handedOver; }

    TMainForm* mainForm() const { return m_mainForm.get(); }
    TDataModule1* dataModule() const { return m_dataModule.get(); }

private:
    void bringToFront();
    void reportDriveTableProblems();

    std::unique_ptr<platform::SingleInstance> m_instance;
    bool m_handedOver = false;
    std::unique_ptr<TDataModule1> m_dataModule;
    std::unique_ptr<TMainForm> m_mainForm;
};

} // namespace corvane
