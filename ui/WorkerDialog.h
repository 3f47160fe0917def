// What the installer's progress dialog and the uninstaller's dialog share:
// a main window whose worker thread reports its progress through the status
// line and the bar, which shows the program's icon (also when minimised) and
// which refuses to be closed while its worker is busy.
#pragma once

#include <cstdint>
#include <string>

#include "ui/Dialog.h"
#include "ui/StatusText.h"

namespace zmp::ui {

class WorkerDialog : public Dialog {
protected:
    WorkerDialog(Ui& ui, int templateId, int iconId);

    // The window's big, then small icon (WM_SETICON).
    void SetWindowIcons();
    // Busy: the wait cursor, and no "Close" in the system menu; otherwise
    // the arrow.
    void ShowBusy(bool busy);
    // WM_REFRESH_STATUS (the worker's latest text reaches the labels),
    // WM_PAINT while minimised (the icon) and WM_QUERYDRAGICON; every other
    // message is left unhandled.
    LResult OnMessage(Dword message, WParam wParam, LParam lParam, bool& handled) override;

    StatusText status_;     // the worker's texts, handed over on refresh
    std::string message_;   // the status line as shown
    std::uintptr_t icon_ = 0;
};

}  // namespace zmp::ui
