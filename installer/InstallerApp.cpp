#include "installer/InstallerApp.h"

#include "installer/InstallerDialog.h"

namespace zmp {
namespace {

// The titles a second start looks for, in this order: the port dialog, the
// progress dialog, the installer's message boxes (the application's name).
constexpr const char* kRunningTitles[] = {"Port Type", "Installation Progress", "ZMPK40_Installer"};

}  // namespace

InstallerApp::InstallerApp(Platform& platform) : platform_(platform) {}

bool InstallerApp::InitInstance() {
    // No control container and no 3-D controls to enable: the dialogs use
    // only standard and common controls, drawn as the system draws them.
    Ui& ui = platform_.ui;
    if (ui.IncrementInstanceCounter() > 1) {
        ActivateRunningInstance();
        return false;
    }
    InstallerDialog dialog(platform_);
    dialog.MakeMainWindow();
    dialog.DoModal();
    dialog.DestroyWindow();
    return false;
}

bool InstallerApp::ActivateRunningInstance() {
    Ui& ui = platform_.ui;
    WindowId found = WindowId::None;
    for (const char* title : kRunningTitles) {
        found = ui.FindWindowByTitle(title);
        if (found != WindowId::None) break;
    }
    if (found == WindowId::None) return true;
    // The message box or dialog the running installer shows on top.
    WindowId popup = ui.GetLastActivePopup(found);
    if (ui.IsIconic(found)) ui.ShowWindow(found, show::kRestore);
    ui.SetForegroundWindow(popup);
    return false;
}

int InstallerMain(Platform& platform) {
    InstallerApp app(platform);
    app.InitInstance();  // FALSE on every path: the framework ends the program
    return 0;
}

}  // namespace zmp
