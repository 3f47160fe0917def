#include "ui/Dialog.h"

#include "ui/DataExchange.h"

namespace zmp::ui {

Dialog::Dialog(Ui& ui, int templateId, WindowId parent)
    : ui_(ui), templateId_(templateId), parent_(parent) {}

int Dialog::DoModal() {
    int result = ui_.DoModal(templateId_, parent_, *this);
    window_ = WindowId::None;  // the backend destroyed the window
    return result;
}

bool Dialog::Create(WindowId parent) {
    parent_ = parent;
    WindowId created = ui_.CreateModeless(templateId_, parent, *this);
    if (created == WindowId::None) return false;
    window_ = created;
    return true;
}

void Dialog::EndDialog(int result) {
    WindowId self = window_.load();
    if (self != WindowId::None) ui_.EndDialog(self, result);
}

void Dialog::DestroyWindow() {
    WindowId self = window_.exchange(WindowId::None);
    if (self != WindowId::None) ui_.DestroyWindow(self);
}

bool Dialog::UpdateData(bool saveAndValidate) {
    DataExchange dx(*this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

WindowId Dialog::GetDlgItem(int controlId) const {
    WindowId self = window_.load();
    return self == WindowId::None ? WindowId::None : ui_.GetDlgItem(self, controlId);
}

void Dialog::ShowWindow(int command) { ui_.ShowWindow(Hwnd(), command); }

void Dialog::SetWindowText(const std::string& text) { ui_.SetWindowText(Hwnd(), text); }

void Dialog::SetIcon(std::uintptr_t icon, bool big) {
    ui_.SendMessage(Hwnd(), msg::kSetIcon, big ? msg::kIconBig : msg::kIconSmall,
                    static_cast<LParam>(icon));
}

bool Dialog::HandleInitDialog(WindowId self) {
    window_ = self;
    if (isMainWindow_) ui_.SetMainWindow(self);
    return OnInitDialog();
}

LResult Dialog::HandleMessage(Dword message, WParam wParam, LParam lParam, bool& handled) {
    handled = false;
    if (message == msg::kCommand) {
        int controlId = static_cast<int>(wParam & 0xFFFF);
        int notifyCode = static_cast<int>((wParam >> 16) & 0xFFFF);
        handled = OnCommand(controlId, notifyCode);
        return 0;
    }
    return OnMessage(message, wParam, lParam, handled);
}

bool Dialog::PreTranslateMessage(const Message&) { return false; }

void Dialog::DoDataExchange(DataExchange&) {}

bool Dialog::OnInitDialog() {
    // Like the framework: the members' values go to the controls at once.
    UpdateData(false);
    return true;
}

void Dialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(mb::kIdOk);
}

void Dialog::OnCancel() { EndDialog(mb::kIdCancel); }

bool Dialog::OnCommand(int controlId, int notifyCode) {
    if (notifyCode != static_cast<int>(msg::kBnClicked)) return false;
    if (controlId == mb::kIdOk) {
        OnOK();
        return true;
    }
    if (controlId == mb::kIdCancel) {
        OnCancel();
        return true;
    }
    return false;
}

LResult Dialog::OnMessage(Dword, WParam, LParam, bool& handled) {
    handled = false;
    return 0;
}

}  // namespace zmp::ui
