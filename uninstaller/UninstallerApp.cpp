#include "uninstaller/UninstallerApp.h"

#include "uninstaller/UninstallerDialog.h"
#include "ui/SingleInstance.h"

namespace zmp {

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
    // The running dialog's caption, then its message boxes' (the
    // application's name).
    return ui::ActivateRunningInstance(platform_.ui, {"KORVANT ZMP-K40 Uninstaller", "ZMPK40_Uninstaller"});
}

int UninstallerMain(Platform& platform) {
    UninstallerApp app(platform);
    app.InitInstance();  // FALSE on every path: the framework ends the program
    return 0;
}

}  // namespace zmp
