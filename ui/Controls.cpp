#include "ui/Controls.h"

#include <vector>

namespace zmp::ui {

void Control::Attach(Ui& ui, WindowId window) {
    ui_ = &ui;
    window_ = window;
}

void Control::EnableWindow(bool enable) {
    if (ui_) ui_->EnableWindow(window_, enable);
}

bool Control::IsWindowEnabled() { return ui_ && ui_->IsWindowEnabled(window_); }

LResult Control::Send(Dword message, WParam wParam, LParam lParam) {
    // An unattached control behaves like a message to a null window: nothing happens.
    return ui_ ? ui_->SendMessage(window_, message, wParam, lParam) : 0;
}

void ProgressBar::SetRange(int lower, int upper) {
    Send(msg::kPbmSetRange, 0, LParam((Dword(upper & 0xFFFF) << 16) | Dword(lower & 0xFFFF)));
}

int ProgressBar::SetStep(int step) { return int(Send(msg::kPbmSetStep, WParam(step))); }
int ProgressBar::StepIt() { return int(Send(msg::kPbmStepIt)); }
int ProgressBar::SetPos(int position) { return int(Send(msg::kPbmSetPos, WParam(position))); }
int ProgressBar::GetPos() { return int(Send(msg::kPbmGetPos)); }

void IpAddressCtrl::SetAddress(unsigned char field0, unsigned char field1, unsigned char field2,
                               unsigned char field3) {
    Send(msg::kIpmSetAddress, 0, LParam(Pack(field0, field1, field2, field3)));
}

int IpAddressCtrl::GetAddress(unsigned char& field0, unsigned char& field1, unsigned char& field2,
                              unsigned char& field3) {
    Dword address = 0;
    int filled = int(Send(msg::kIpmGetAddress, 0, reinterpret_cast<LParam>(&address)));
    field0 = static_cast<unsigned char>(address >> 24);
    field1 = static_cast<unsigned char>(address >> 16);
    field2 = static_cast<unsigned char>(address >> 8);
    field3 = static_cast<unsigned char>(address);
    return filled;
}

void IpAddressCtrl::ClearAddress() { Send(msg::kIpmClearAddress); }

void CheckListBox::ResetContent() { Send(msg::kLbResetContent); }

int CheckListBox::AddString(const std::string& text) {
    return int(Send(msg::kLbAddString, 0, reinterpret_cast<LParam>(text.c_str())));
}

int CheckListBox::GetCount() { return int(Send(msg::kLbGetCount)); }

std::string CheckListBox::GetText(int index) {
    LResult length = Send(msg::kLbGetTextLen, WParam(index));
    if (length < 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    LResult copied = Send(msg::kLbGetText, WParam(index), reinterpret_cast<LParam>(buffer.data()));
    if (copied < 0) return std::string();
    return std::string(buffer.data(), static_cast<size_t>(copied));
}

void CheckListBox::SetCheck(int index, Dword state) {
    if (ui_) ui_->SetCheckListState(window_, index, state);
}

Dword CheckListBox::GetCheck(int index) {
    return ui_ ? ui_->GetCheckListState(window_, index) : msg::kBstUnchecked;
}

}  // namespace zmp::ui
