#include "ui/WorkerDialog.h"

namespace zmp::ui {

WorkerDialog::WorkerDialog(Ui& ui, int templateId, int iconId) : Dialog(ui, templateId) {
    icon_ = ui.LoadIcon(iconId);
}

void WorkerDialog::SetWindowIcons() {
    SetIcon(icon_, true);
    SetIcon(icon_, false);
}

void WorkerDialog::ShowBusy(bool busy) {
    if (busy) {
        ui_.SetCursor(CursorKind::Wait);
        ui_.RemoveSystemMenuClose(Hwnd());
    } else {
        ui_.SetCursor(CursorKind::Arrow);
    }
}

LResult WorkerDialog::OnMessage(Dword message, WParam, LParam, bool& handled) {
    switch (message) {
        case msg::kRefreshStatus:
            handled = true;
            status_.Take(message_);
            UpdateData(false);
            return 0;
        case msg::kPaint:
            // Minimised, the window shows the program's icon; otherwise the
            // default painting does.
            handled = ui_.IsIconic(Hwnd());
            if (handled) ui_.PaintIconic(Hwnd(), icon_);
            return 0;
        case msg::kQueryDragIcon:
            handled = true;
            return static_cast<LResult>(icon_);
        default:
            handled = false;
            return 0;
    }
}

}  // namespace zmp::ui
