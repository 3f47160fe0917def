#include "installer/InstallerApp.h"

#include "installer/InstallerDialog.h"
#include "ui/SingleInstance.h"

namespace zmp {

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
    // The port dialog, the progress dialog, the installer's message boxes
    // (the application's name), in this order.
    return ui::ActivateRunningInstance(platform_.ui,
                                       {"Port Type", "Installation Progress", "ZMPK40_Installer"});
}

int InstallerMain(Platform& platform) {
    InstallerApp app(platform);
    app.InitInstance();  // FALSE on every path: the framework ends the program
    return 0;
}

}  // namespace zmp
