#include "ui/DataExchange.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "ui/Dialog.h"
#include "ui/MessageBox.h"

namespace zmp::ui {
namespace {

constexpr Dword kNextDlgCtl = 0x0028;  // WM_NEXTDLGCTL: focus to a control, the dialog way
constexpr Dword kEmSetSel = 0x00B1;    // EM_SETSEL

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

DataExchange::DataExchange(Dialog& dialog, bool saveAndValidate)
    : dialog_(dialog), save_(saveAndValidate) {}

void DataExchange::Control(int controlId, ui::Control& control) {
    if (failed_ || control.IsAttached()) return;
    control.Attach(dialog_.GetUi(), dialog_.GetDlgItem(controlId));
}

void DataExchange::Text(int controlId, std::string& value) {
    if (failed_) return;
    Ui& ui = dialog_.GetUi();
    WindowId control = dialog_.GetDlgItem(controlId);
    lastControl_ = control;
    lastIsEdit_ = true;
    if (save_) {
        value = ui.GetWindowText(control);
    } else if (ui.GetWindowText(control) != value) {
        // Only a real change is written, so a refresh does not flicker.
        ui.SetWindowText(control, value);
    }
}

void DataExchange::Text(int controlId, int& value) {
    if (failed_) return;
    Ui& ui = dialog_.GetUi();
    WindowId control = dialog_.GetDlgItem(controlId);
    lastControl_ = control;
    lastIsEdit_ = true;
    if (save_) {
        int parsed = 0;
        if (!ParseInt(ui.GetWindowText(control), parsed)) {
            AfxMessageBox(ui, kPromptParseInt);
            Fail();
            return;
        }
        value = parsed;
    } else {
        std::string text = std::to_string(value);
        if (ui.GetWindowText(control) != text) ui.SetWindowText(control, text);
    }
}

void DataExchange::Radio(std::initializer_list<int> group, int& index) {
    if (failed_ || group.size() == 0) return;
    Ui& ui = dialog_.GetUi();
    WindowId self = dialog_.Hwnd();
    lastControl_ = dialog_.GetDlgItem(*group.begin());
    lastIsEdit_ = false;
    if (save_) index = -1;
    int position = 0;
    for (int controlId : group) {
        if (save_) {
            if (ui.IsDlgButtonChecked(self, controlId) == msg::kBstChecked) index = position;
        } else {
            ui.CheckDlgButton(self, controlId,
                              position == index ? msg::kBstChecked : msg::kBstUnchecked);
        }
        ++position;
    }
}

void DataExchange::MinMaxInt(int value, int minimum, int maximum) {
    if (failed_ || !save_) return;
    if (value < minimum || value > maximum) {
        AfxMessageBox(dialog_.GetUi(), RangePrompt(minimum, maximum), mb::kIconExclamation);
        Fail();
    }
}

bool DataExchange::ParseInt(const std::string& text, int& value) {
    const char* p = text.c_str();
    while (IsBlank(*p)) ++p;
    char first = *p;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(p, &end, 10);
    if (parsed > INT_MAX) parsed = INT_MAX;
    if (parsed < INT_MIN) parsed = INT_MIN;
    if (end == p || (parsed == 0 && first != '0')) return false;  // nothing converted
    while (IsBlank(*end)) ++end;
    if (*end != '\0') return false;
    value = static_cast<int>(parsed);
    return true;
}

std::string DataExchange::RangePrompt(int minimum, int maximum) {
    std::string prompt = kPromptParseIntRange;
    prompt.replace(prompt.find("%1"), 2, std::to_string(minimum));
    prompt.replace(prompt.find("%2"), 2, std::to_string(maximum));
    return prompt;
}

void DataExchange::Fail() {
    failed_ = true;
    if (lastControl_ == WindowId::None) return;
    Ui& ui = dialog_.GetUi();
    ui.SendMessage(dialog_.Hwnd(), kNextDlgCtl, static_cast<WParam>(lastControl_), 1);
    if (lastIsEdit_) ui.SendMessage(lastControl_, kEmSetSel, 0, -1);
}

}  // namespace zmp::ui
