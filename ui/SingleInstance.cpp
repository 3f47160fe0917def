#include "ui/SingleInstance.h"

namespace zmp::ui {

bool ActivateRunningInstance(Ui& ui, std::initializer_list<const char*> titles) {
    WindowId found = WindowId::None;
    for (const char* title : titles) {
        found = ui.FindWindowByTitle(title);
        if (found != WindowId::None) break;
    }
    if (found == WindowId::None) return true;
    // The message box or dialog the running program shows on top.
    WindowId popup = ui.GetLastActivePopup(found);
    if (ui.IsIconic(found)) ui.ShowWindow(found, show::kRestore);
    ui.SetForegroundWindow(popup);
    return false;
}

}  // namespace zmp::ui
