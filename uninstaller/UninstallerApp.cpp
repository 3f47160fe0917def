#include "uninstaller/UninstallerApp.h"

#include "uninstaller/UninstallerDialog.h"

namespace zmp {
namespace {

// The titles a second start looks for, in this order: the running dialog's
// caption, then the caption of its message boxes (the application's name).
constexpr const char* kRunningTitles[] = {"KORVANT ZMP-K40 Uninstaller", "ZMPK40_Uninstaller"};

}  // namespace

UninstallerApp::UninstallerApp(Platform& platform) : platform_(platform) {}

bool UninstallerApp::InitInstance() {
    // No control container and no 3-D controls to enable: the dialog uses
    // only standard and common controls, drawn as the system draws them.
    Ui& ui = platform_.ui;
    if (ui.IncrementInstanceCounter() > 1) {
        ActivateRunningInstance();
        return false;
    }
    UninstallerDialog dialog(platform_);
    dialog.MakeMainWindow();
    dialog.DoModal();
    dialog.DestroyWindow();
    return false;
}

bool UninstallerApp::ActivateRunningInstance() {
    Ui& ui = platform_.ui;
    WindowId found = WindowId::None;
    for (const char* title : kRunningTitles) {
        found = ui.FindWindowByTitle(title);
        if (found != WindowId::None) break;
    }
    if (found == WindowId::None) return true;
    // The message box the running uninstaller shows on top, or the dialog.
    WindowId popup = ui.GetLastActivePopup(found);
    if (ui.IsIconic(found)) ui.ShowWindow(found, show::kRestore);
    ui.SetForegroundWindow(popup);
    return false;
}

int UninstallerMain(Platform& platform) {
    UninstallerApp app(platform);
    app.InitInstance();  // FALSE on every path: the framework ends the program
    return 0;
}

}  // namespace zmp
