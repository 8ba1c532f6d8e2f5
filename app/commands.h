#pragma once
// The shell's side of the commands every view's and tool's menu shares: go
// to another view, open a help page, show where the User's Manual is,
// reconfigure, show the About panel, open the maker's home page. Windows
// reach them through core/shell.h; the frame registers this implementation.

#include "core/shell.h"

namespace corvane {

class FrameShell : public Shell {
public:
    void goToView(Caller caller, View target) override;
    void openHelpPage(Caller caller) override;
    void showManualInfo() override;
    void reconfigure() override;
    void showAbout() override;
    void visitMaker(Caller caller) override;
    void handToShell(const QString& target) override;
    void hidePrintPanel() override;
    void hideRichTextPanel() override;
    void showPlaceOnMap(int placeId) override;
    void showSheet(const QString& sheetId) override; // these five in find_command.cpp
    void showPlace(int placeId) override;
    void showTown(const QString& name, const QString& sheetId, QPointF pixel) override;
    void showPicture(const QString& fileName) override;
    void showGlossaryEntry(const QString& abbrev, const QString& meaning) override;
    QWidget* frameWindow() override;
    void raiseFrame() override;
    void showStatus(const QString& text) override;
};

// The same commands for the shell's own code and for tests, which call
// them by name rather than through a window's menu.
inline void goToView(Caller caller, View target)
{
    shell().goToView(caller, target);
}
inline void openHelpPage(Caller caller)
{
    shell().openHelpPage(caller);
}
inline void showManualInfo()
{
    shell().showManualInfo();
}
inline void reconfigure()
{
    shell().reconfigure();
}
inline void showAbout()
{
    shell().showAbout();
}
inline void visitMaker(Caller caller)
{
    shell().visitMaker(caller);
}
inline void handToShell(const QString& target)
{
    shell().handToShell(target);
}

} // namespace corvane
