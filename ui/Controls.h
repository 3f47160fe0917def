// Wrappers of the standard controls the dialogs use, each driven by its own
// window messages through the Ui seam, so that the real and the headless
// backend see exactly what Windows would.
#pragma once

#include <string>

#include "platform/Ui.h"

namespace zmp::ui {

// A control window of a dialog (CWnd-like). Attached once by data exchange.
class Control {
public:
    virtual ~Control() = default;
    void Attach(Ui& ui, WindowId window);
    bool IsAttached() const { return window_ != WindowId::None; }
    WindowId Hwnd() const { return window_; }
    void EnableWindow(bool enable);
    bool IsWindowEnabled();

protected:
    LResult Send(Dword message, WParam wParam = 0, LParam lParam = 0);
    Ui* ui_ = nullptr;
    WindowId window_ = WindowId::None;
};

// Push button (CButton), only enabled and disabled by the programs.
class Button : public Control {};

// msctls_progress32 (CProgressCtrl).
class ProgressBar : public Control {
public:
    void SetRange(int lower, int upper);  // PBM_SETRANGE, 16-bit bounds
    int SetStep(int step);                // PBM_SETSTEP; the previous step
    int StepIt();                         // PBM_STEPIT; the previous position
    int SetPos(int position);             // PBM_SETPOS; the previous position
    int GetPos();                         // PBM_GETPOS
};

// SysIPAddress32 (CIPAddressCtrl).
class IpAddressCtrl : public Control {
public:
    // IPM_SETADDRESS with the first field in the highest byte.
    void SetAddress(unsigned char field0, unsigned char field1, unsigned char field2,
                    unsigned char field3);
    // IPM_GETADDRESS: the four fields back (blank fields read 0); the
    // number of fields that are not blank.
    int GetAddress(unsigned char& field0, unsigned char& field1, unsigned char& field2,
                   unsigned char& field3);
    void ClearAddress();  // IPM_CLEARADDRESS

    static constexpr Dword Pack(unsigned char f0, unsigned char f1, unsigned char f2,
                                unsigned char f3) {
        return (Dword(f0) << 24) | (Dword(f1) << 16) | (Dword(f2) << 8) | Dword(f3);
    }
};

// A list box with a check box per item (CCheckListBox). The check states are
// kept by the backend's check list.
class CheckListBox : public Control {
public:
    static constexpr int kError = -1;  // LB_ERR

    void ResetContent();                    // LB_RESETCONTENT
    int AddString(const std::string& text);  // LB_ADDSTRING; the item's index (sorted lists move it)
    int GetCount();                          // LB_GETCOUNT
    std::string GetText(int index);          // LB_GETTEXTLEN + LB_GETTEXT; "" for a bad index
    void SetCheck(int index, Dword state);
    Dword GetCheck(int index);
};

}  // namespace zmp::ui
