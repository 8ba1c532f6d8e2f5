#pragma once
// The test kit: the whole application, in-process, on a throwaway
// installation. Use it like this:
//
//   Kit kit;                          // temporary HOME and XDG folders, drives C:, D:, A:
//   kit.setScreenSize({1024, 768});   // optional, before start()
//   kit.setConfig("FirstTime", "no"); // optional: installs, then edits CONFIG.DB
//   kit.start();                      // frame, data module, splash, as main() does
//   kit.passSplash();                 // runs the splash's two timer ticks at once
//   kit.click("btnBegin");            // find a control by objectName and click it
//   auto* atlas = kit.get<QWidget>("frmAtlas");   // fails the test when missing
//   auto* north = Kit::child<QToolButton>(frmMap, "imgNorth"); // inside one window
//   QCOMPARE(kit.messageTexts(), QStringList{...}); // message boxes that were "shown"
//   QCOMPARE(kit.shellRequests().size(), 1);         // what the shell was asked to open
//
// Message boxes answer with the button set by answerMessagesWith() (OK by
// default); the picture dialog returns what setPictureChoice() gave, the
// save-file dialog what setSaveFileChoice() gave, the folder dialog what
// setFolderChoice() gave.

#include "app/application.h"
#include "platform/desktop.h"

#include <QMessageBox>
#include <QSize>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>
#include <stdexcept>

class Kit {
public:
    Kit();
    ~Kit();
    Kit(const Kit&) = delete;
    Kit& operator=(const Kit&) = delete;

    // Host folder of the throwaway home, and of a Windows-form path.
    QString home() const { return m_home.path(); }
    QString hostPath(const QString& windowsPath) const;

    void setScreenSize(QSize size);
    // The part windows may take; the whole screen unless set.
    void setScreenArea(QRect area) { m_screenArea = area; }
    // Creates the installation now (start() would) so a test can change it.
    void install();
    // Sets a field of the configuration record before start().
    void setConfig(const QString& field, const QString& value);
    // Points the D: drive at another folder (e.g. an empty "CD").
    void setDrive(QChar letter, const QString& hostFolder, bool readOnly = false);
    // Writes the drive table as it stands into the user's drives.conf, which
    // the application reads when it starts (start() does this itself).
    void writeDriveConfig();
    // Lines written after the drives, as a user might have typed them.
    void addDriveConfigLines(const QByteArray& lines) { m_extraDriveLines += lines; }

    corvane::Application& start();
    corvane::Application& app() { return *m_app; }
    // Fails the test when the splash or one of its timer handlers is missing.
    void passSplash();

    // Any widget of the application by objectName; nullptr if there is none.
    template <typename T = QWidget> T* find(const QString& name) const
    {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == name)
                if (auto* match = qobject_cast<T*>(top))
                    return match;
            if (auto* match = top->findChild<T*>(name))
                return match;
        }
        return nullptr;
    }
    // Like find(), but fails the test when the widget is missing.
    template <typename T = QWidget> T* get(const QString& name) const
    {
        T* widget = find<T>(name);
        if (!widget) {
            QTest::qFail(qPrintable(QStringLiteral("widget missing: ") + name), __FILE__, __LINE__);
            throw std::runtime_error("widget missing: " + name.toStdString());
        }
        return widget;
    }
    // A widget (or other object) inside `parent` by objectName, for names
    // that occur in more than one window; fails the test like get().
    template <typename T = QWidget> static T* child(const QObject* parent, const QString& name)
    {
        T* found = parent ? parent->findChild<T*>(name) : nullptr;
        if (!found) {
            const QString where = parent ? parent->objectName() : QStringLiteral("(no parent)");
            QTest::qFail(
                qPrintable(QStringLiteral("missing in %1: %2").arg(where, name)), __FILE__, __LINE__);
            throw std::runtime_error("missing in " + where.toStdString() + ": " + name.toStdString());
        }
        return found;
    }
    // Left-clicks the named widget in its centre.
    void click(const QString& name);
    void clickAt(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);

    QList<platform::MessageBoxRequest> messages() const { return m_messages; }
    QStringList messageTexts() const;
    void clearMessages() { m_messages.clear(); }
    void answerMessagesWith(QMessageBox::StandardButton button) { m_answer = button; }

    QList<QUrl> shellRequests() const { return m_shellRequests; }
    // Whether the desktop opens what it is handed (true by default).
    void setShellAccepts(bool accepts) { m_shellAccepts = accepts; }
    void setPictureChoice(std::optional<QString> path) { m_pictureChoice = std::move(path); }
    // What the save-file dialog returns (a host path); nullopt is "Cancel".
    void setSaveFileChoice(std::optional<QString> path) { m_saveFileChoice = std::move(path); }
    // What the open-file dialog returns (a host path); nullopt is "Cancel".
    void setOpenFileChoice(std::optional<QString> path) { m_openFileChoice = std::move(path); }
    // The folder dialog answers with these, one per showing, then cancels.
    void setFolderChoice(QList<std::optional<QString>> folders) { m_folderChoices = std::move(folders); }

private:
    QTemporaryDir m_home;
    QSize m_screen { 1024, 768 };
    QRect m_screenArea;
    QList<platform::MessageBoxRequest> m_messages;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
    QList<QUrl> m_shellRequests;
    bool m_shellAccepts = true;
    QByteArray m_extraDriveLines;
    std::optional<QString> m_pictureChoice;
    std::optional<QString> m_saveFileChoice;
    std::optional<QString> m_openFileChoice;
    QList<std::optional<QString>> m_folderChoices;
    std::unique_ptr<corvane::Application> m_app;
    QByteArray m_savedHome;
};
