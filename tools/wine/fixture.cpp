// fixture.exe: the robot's test subject. Shows, one after the other, the
// product's port dialog, its check list dialog, a Yes/No message box and the
// port dialog twice more, all captioned "Fixture ...", and prints to stdout what
// the user did in each, so that the harness can check that every robot
// command reached the window the way a user's action would.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kIdIp = 1003;
constexpr int kIdPort = 1005;
constexpr int kIdWlan = 1007;
constexpr int kRadios[] = {1006, 1008, 1009, 1011, 1001, 1007};

constexpr int kIdList = 1006;
constexpr int kIdUninstall = 1001;
constexpr int kChkChange = 40;  // the check list's notification

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
    va_end(args);
}

void EnableAddress(HWND dialog, bool enable) {
    EnableWindow(GetDlgItem(dialog, kIdPort), enable);
    EnableWindow(GetDlgItem(dialog, kIdIp), enable);
}

// The caption comes with the dialog's creation parameter.
INT_PTR CALLBACK PortProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, reinterpret_cast<const char*>(lParam));
        CheckRadioButton(dialog, 1006, 1011, 1006);
        SetDlgItemInt(dialog, kIdPort, 9100, FALSE);
        EnableAddress(dialog, false);
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        for (int radio : kRadios)
            if (id == radio && HIWORD(wParam) == BN_CLICKED) EnableAddress(dialog, id == kIdWlan);
        if (id == IDOK) {
            int index = -1;
            for (int i = 0; i < 6; ++i)
                if (IsDlgButtonChecked(dialog, kRadios[i]) == BST_CHECKED) index = i;
            DWORD address = 0;
            SendDlgItemMessageA(dialog, kIdIp, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
            Print("port-dialog result=1 index=%d port=%u ip=%lu.%lu.%lu.%lu", index,
                  GetDlgItemInt(dialog, kIdPort, nullptr, FALSE), FIRST_IPADDRESS(address),
                  SECOND_IPADDRESS(address), THIRD_IPADDRESS(address), FOURTH_IPADDRESS(address));
            EndDialog(dialog, IDOK);
        } else if (id == IDCANCEL) {
            Print("port-dialog result=2");
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    }
    return FALSE;
}

// A minimal check list: item data holds the check state, a click on the
// box at the left of an item toggles it and tells the dialog.
WNDPROC g_listProc = nullptr;

LRESULT CALLBACK CheckListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) {
        LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
        LRESULT hit = SendMessageA(list, LB_ITEMFROMPOINT, 0, lParam);
        int index = LOWORD(hit);
        if (!HIWORD(hit) && static_cast<short>(LOWORD(lParam)) < height) {
            LRESULT state = SendMessageA(list, LB_GETITEMDATA, index, 0);
            SendMessageA(list, LB_SETITEMDATA, index, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            InvalidateRect(list, nullptr, TRUE);
            SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), kChkChange),
                         reinterpret_cast<LPARAM>(list));
        }
    }
    return CallWindowProcA(g_listProc, list, message, wParam, lParam);
}

std::string Checks(HWND list) {
    std::string checks;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        checks += (i ? "," : "") + std::to_string(SendMessageA(list, LB_GETITEMDATA, i, 0));
    return checks;
}

INT_PTR CALLBACK CheckListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND list = GetDlgItem(dialog, kIdList);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, "Fixture Check List");
        g_listProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckListProc)));
        for (const char* name : {"Printer C", "Printer A", "Printer B"}) {
            LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            SendMessageA(list, LB_SETITEMDATA, index, BST_CHECKED);
        }
        EnableWindow(GetDlgItem(dialog, kIdUninstall), TRUE);
        return TRUE;
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 16;
        return TRUE;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item->itemID == static_cast<UINT>(-1)) return TRUE;
        RECT box = item->rcItem;
        box.right = box.left + (box.bottom - box.top);
        FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_WINDOW));
        RECT inner = box;
        InflateRect(&inner, -2, -2);
        DrawFrameControl(item->hDC, &inner, DFC_BUTTON,
                         DFCS_BUTTONCHECK | (item->itemData == BST_CHECKED ? DFCS_CHECKED : 0));
        char text[256] = {};
        SendMessageA(item->hwndItem, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(text));
        RECT label = item->rcItem;
        label.left = box.right + 2;
        DrawTextA(item->hDC, text, -1, &label, DT_SINGLELINE | DT_VCENTER);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kIdList && HIWORD(wParam) == kChkChange) {
            bool any = Checks(list).find('1') != std::string::npos;
            EnableWindow(GetDlgItem(dialog, kIdUninstall), any);
        } else if (LOWORD(wParam) == kIdUninstall || LOWORD(wParam) == IDCANCEL) {
            Print("check-list result=%d checks=%s", LOWORD(wParam), Checks(list).c_str());
            EndDialog(dialog, LOWORD(wParam));
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE self = GetModuleHandleA(nullptr);

    auto caption = [](const char* text) { return reinterpret_cast<LPARAM>(text); };
    DialogBoxParamA(self, "INST_129", nullptr, PortProc, caption("Fixture Port Type"));
    DialogBoxParamA(self, "UNIN_102", nullptr, CheckListDialogProc, 0);
    int answer = MessageBoxA(nullptr, "First line.\nSecond line.\n\n[Yes] or [No]?", "Fixture",
                             MB_YESNO | MB_ICONQUESTION);
    Print("message-box answer=%d", answer);
    // Ended once by Escape, once by Alt+F4.
    DialogBoxParamA(self, "INST_129", nullptr, PortProc, caption("Fixture Escape"));
    DialogBoxParamA(self, "INST_129", nullptr, PortProc, caption("Fixture Alt+F4"));
    return 0;
}
