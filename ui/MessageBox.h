// AfxMessageBox: a message box owned by the application's main window, with
// the application's name (the executable's base name) as caption.
#pragma once

#include <string>

#include "platform/Ui.h"

namespace zmp::ui {

inline int AfxMessageBox(Ui& ui, const std::string& text, Dword type = mb::kOk) {
    return ui.MessageBox(ui.MainWindow(), text, type);
}

}  // namespace zmp::ui
