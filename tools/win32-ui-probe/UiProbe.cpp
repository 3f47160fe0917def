// A probe of the Win32 UI backend, run under Wine (or Windows) by
// tools/win32-ui-probe/run-wine.sh. Built twice: with the installer's
// resources (PROBE_INSTALLER) and with the uninstaller's. It drives the real
// dialog templates through Win32Ui with small handlers and prints what it
// sees, one "key value" line at a time, for the script to check.
//
//   strings    every string id against the C++ table
//   progress   dialog 102 with a worker: steps, a message box, EndDialog from the worker;
//              a second start while the first runs hands over and ends
//   port       as progress, then dialog 129 run modally by the worker, owned by 102
//   checklist  (uninstaller) dialog 102's check list: clicks, space, Uninstall
#include "platform/win32/Win32Ui.h"
#include "resources/StringTables.h"

#include <windows.h>
#include <commctrl.h>
#undef LoadString
#undef LoadIcon
#undef MessageBox
#undef SendMessage
#undef PostMessage
#undef SetWindowText
#undef GetWindowText

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct InstanceRecord {
    volatile LONG counter;
};
__attribute__((section("DataSeg"), shared)) InstanceRecord g_record = {0};

zmp::win32::Win32Ui* g_ui;

void Say(const char* key, const std::string& value) {
    std::printf("%s %s\n", key, value.c_str());
    std::fflush(stdout);
}

HWND H(zmp::WindowId w) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(w)); }

// Screen coordinates of a point in a control's client area.
std::string ScreenPoint(HWND control, int x, int y) {
    POINT p{x, y};
    ClientToScreen(control, &p);
    return std::to_string(p.x) + " " + std::to_string(p.y);
}

std::string Centre(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    return ScreenPoint(control, r.right / 2, r.bottom / 2);
}

#if defined(PROBE_INSTALLER)

class PortHandler final : public zmp::DialogHandler {
public:
    zmp::WindowId self{};
    bool HandleInitDialog(zmp::WindowId s) override {
        self = s;
        g_ui->CheckDlgButton(self, 1007, zmp::msg::kBstChecked);
        g_ui->SendMessage(g_ui->GetDlgItem(self, 1003), zmp::msg::kIpmSetAddress, 0,
                          static_cast<zmp::LParam>(MAKEIPADDRESS(192, 168, 0, 50)));
        g_ui->SetWindowText(g_ui->GetDlgItem(self, 1005), "9100");
        Say("port-owner-enabled", g_ui->IsWindowEnabled(g_ui->MainWindow()) ? "yes" : "no");
        return true;
    }
    zmp::LResult HandleMessage(zmp::Dword message, zmp::WParam wParam, zmp::LParam, bool& handled) override {
        if (message == zmp::msg::kCommand && LOWORD(wParam) == IDOK) {
            DWORD address = 0;
            g_ui->SendMessage(g_ui->GetDlgItem(self, 1003), zmp::msg::kIpmGetAddress, 0,
                              reinterpret_cast<zmp::LParam>(&address));
            char text[32];
            std::snprintf(text, sizeof text, "%d.%d.%d.%d", int(FIRST_IPADDRESS(address)), int(SECOND_IPADDRESS(address)),
                          int(THIRD_IPADDRESS(address)), int(FOURTH_IPADDRESS(address)));
            Say("port-ip", text);
            Say("port-number", g_ui->GetWindowText(g_ui->GetDlgItem(self, 1005)));
            Say("port-wlan-checked", std::to_string(g_ui->IsDlgButtonChecked(self, 1007)));
        }
        handled = false;  // IDOK falls through to the backend's EndDialog
        return 0;
    }
    bool PreTranslateMessage(const zmp::Message&) override { return false; }
};

class ProgressHandler final : public zmp::DialogHandler {
public:
    explicit ProgressHandler(bool withPortDialog) : withPort_(withPortDialog) {}
    zmp::WindowId self{};
    std::atomic<int> step{0};
    std::atomic<bool> installing{false};
    std::uintptr_t icon = 0;

    bool HandleInitDialog(zmp::WindowId s) override {
        self = s;
        g_ui->SetMainWindow(self);
        icon = g_ui->LoadIcon(128);
        Say("icon-loaded", icon ? "yes" : "no");
        g_ui->SendMessage(self, zmp::msg::kSetIcon, zmp::msg::kIconBig, static_cast<zmp::LParam>(icon));
        g_ui->SendMessage(self, zmp::msg::kSetIcon, zmp::msg::kIconSmall, static_cast<zmp::LParam>(icon));
        g_ui->SetWindowText(g_ui->GetDlgItem(self, 1002), g_ui->LoadString(2));
        g_ui->SetWindowText(g_ui->GetDlgItem(self, 1001), "Driver Version: V" + g_ui->LoadString(21) + "." +
                                                              g_ui->LoadString(22) + "." + g_ui->LoadString(23));
        const zmp::WindowId bar = g_ui->GetDlgItem(self, 1000);
        g_ui->SendMessage(bar, zmp::msg::kPbmSetRange, 0, MAKELPARAM(0, 100));
        g_ui->SendMessage(bar, zmp::msg::kPbmSetStep, 9, 0);
        Say("begin-thread", g_ui->BeginThread(&ProgressHandler::Worker, this) ? "yes" : "no");
        return true;
    }
    zmp::LResult HandleMessage(zmp::Dword message, zmp::WParam, zmp::LParam, bool& handled) override {
        if (message == zmp::msg::kRefreshStatus) {
            g_ui->SetWindowText(g_ui->GetDlgItem(self, 1003), "Copying the driver files... (" + std::to_string(step) + ")");
            handled = true;
            return 0;
        }
        if (message == zmp::msg::kQueryDragIcon) {
            handled = true;
            return static_cast<zmp::LResult>(icon);
        }
        if (message == zmp::msg::kPaint && g_ui->IsIconic(self)) {
            g_ui->PaintIconic(self, icon);
            handled = true;
            return 0;
        }
        handled = false;
        return 0;
    }
    bool PreTranslateMessage(const zmp::Message& m) override {
        if (installing) {
            g_ui->SetCursor(zmp::CursorKind::Wait);
            g_ui->RemoveSystemMenuClose(self);
            if (m.wParam == zmp::msg::kKeyEscape) {
                if (m.message == WM_KEYDOWN) Say("escape-swallowed", "yes");
                return true;
            }
        } else {
            g_ui->SetCursor(zmp::CursorKind::Arrow);
        }
        return false;
    }

private:
    static unsigned Worker(void* param) {
        auto* self = static_cast<ProgressHandler*>(param);
        self->installing = true;
        const zmp::WindowId bar = g_ui->GetDlgItem(self->self, 1000);
        for (int i = 1; i <= 4; ++i) {
            self->step = i;
            g_ui->SendMessage(bar, zmp::msg::kPbmStepIt, 0, 0);
            g_ui->PostMessage(g_ui->MainWindow(), zmp::msg::kRefreshStatus, 0, 0);
            Sleep(150);
        }
        Say("bar-pos", std::to_string(g_ui->SendMessage(bar, zmp::msg::kPbmGetPos, 0, 0)));
        HMENU menu = GetSystemMenu(H(self->self), FALSE);
        Say("close-in-menu", menu && GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1) ? "yes" : "no");
        Say("dialog-ready", Centre(H(self->self)));
        Sleep(2500);  // time for the script to press Escape at the dialog
        if (self->withPort_) {
            PortHandler port;
            Say("port-result", std::to_string(g_ui->DoModal(129, self->self, port)));
            Say("owner-enabled-after", g_ui->IsWindowEnabled(self->self) ? "yes" : "no");
        }
        const int answer = g_ui->MessageBox(zmp::WindowId::None, "Please turn-off the printer and then turn-on again.",
                                            zmp::mb::kIconInformation);
        Say("box-answer", std::to_string(answer));
        g_ui->EndDialog(self->self, 77);  // from the worker thread
        return 0;
    }
    bool withPort_;
};

#else  // the uninstaller's dialog

class ListHandler final : public zmp::DialogHandler {
public:
    zmp::WindowId self{}, list{};
    bool HandleInitDialog(zmp::WindowId s) override {
        self = s;
        g_ui->SetMainWindow(self);
        g_ui->SetWindowText(self, g_ui->LoadString(2) + " Uninstaller");
        list = g_ui->GetDlgItem(self, 1006);
        for (const char* name : {"Printer B", "Printer A", "Printer C"}) {
            g_ui->SendMessage(list, zmp::msg::kLbAddString, 0, reinterpret_cast<zmp::LParam>(name));
        }
        const int count = static_cast<int>(g_ui->SendMessage(list, zmp::msg::kLbGetCount, 0, 0));
        for (int i = 0; i < count; ++i) g_ui->SetCheckListState(list, i, zmp::msg::kBstChecked);
        g_ui->SetCheckListState(list, 1, zmp::msg::kBstUnchecked);
        g_ui->EnableWindow(g_ui->GetDlgItem(self, 1001), true);
        SetTimer(H(self), 1, 300, nullptr);  // reports the layout once the dialog shows
        return true;
    }
    zmp::LResult HandleMessage(zmp::Dword message, zmp::WParam wParam, zmp::LParam, bool& handled) override {
        handled = false;
        if (message == zmp::msg::kTimer) {
            KillTimer(H(self), 1);
            RECT r;
            for (int i = 0; i < 3; ++i) {
                SendMessageA(H(list), LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
                Say(("box-" + std::to_string(i)).c_str(), ScreenPoint(H(list), r.left + 7, (r.top + r.bottom) / 2));
                Say(("text-" + std::to_string(i)).c_str(), ScreenPoint(H(list), r.left + 60, (r.top + r.bottom) / 2));
            }
            Say("uninstall-button", Centre(H(g_ui->GetDlgItem(self, 1001))));
            Say("states", States());
            handled = true;
        } else if (message == zmp::msg::kCommand && HIWORD(wParam) == zmp::msg::kClbnChkChange &&
                   LOWORD(wParam) == 1006) {
            Say("chkchange", States());
            handled = true;
        } else if (message == zmp::msg::kCommand && LOWORD(wParam) == 1001 && HIWORD(wParam) == zmp::msg::kBnClicked) {
            Say("uninstall", States());
            g_ui->EndDialog(self, 1001);
            handled = true;
        }
        return 0;
    }
    bool PreTranslateMessage(const zmp::Message&) override { return false; }

private:
    std::string States() {
        std::string s;
        char text[64];
        for (int i = 0; i < 3; ++i) {
            SendMessageA(H(list), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            s += std::string(text) + "=" + std::to_string(g_ui->GetCheckListState(list, i)) + ";";
        }
        return s;
    }
};

#endif

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // plain "\n" lines for the script
    // The programs register the common controls as they load comctl32 from
    // the system directory; the probe links it.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
    zmp::win32::Win32Ui ui(GetModuleHandleA(nullptr), &g_record.counter);
    g_ui = &ui;
    const std::string mode = argc > 1 ? argv[1] : "";
    Say("app-name", ui.AppName());

    if (mode == "strings") {
#if defined(PROBE_INSTALLER)
        const auto program = zmp::resources::Program::Installer;
#else
        const auto program = zmp::resources::Program::Uninstaller;
#endif
        int mismatches = 0;
        for (int id = 0; id <= 40; ++id) {
            const char* expected = zmp::resources::FindString(program, id);
            const std::string got = ui.LoadString(id);
            if (got != (expected ? expected : "")) {
                ++mismatches;
                Say("string-mismatch", std::to_string(id) + " [" + got + "]");
            }
        }
        Say("string-15", ui.LoadString(15));
        Say("string-mismatches", std::to_string(mismatches));
        return 0;
    }
#if defined(PROBE_INSTALLER)
    if (mode == "progress" || mode == "port") {
        const long instance = ui.IncrementInstanceCounter();
        Say("instance", std::to_string(instance));
        if (instance > 1) {
            const zmp::WindowId found = ui.FindWindowByTitle("Installation Progress");
            Say("found-running", found != zmp::WindowId::None ? "yes" : "no");
            if (found != zmp::WindowId::None) {
                const zmp::WindowId popup = ui.GetLastActivePopup(found);
                char title[128] = {};
                GetWindowTextA(H(popup), title, sizeof title);
                Say("popup-title", title);
                if (ui.IsIconic(found)) ui.ShowWindow(found, zmp::show::kRestore);
                ui.SetForegroundWindow(popup);
            }
            return 0;
        }
        ProgressHandler handler(mode == "port");
        Say("modal-result", std::to_string(ui.DoModal(102, zmp::WindowId::None, handler)));
        return 0;
    }
#else
    if (mode == "checklist") {
        ListHandler handler;
        Say("modal-result", std::to_string(ui.DoModal(102, zmp::WindowId::None, handler)));
        return 0;
    }
#endif
    Say("unknown-mode", mode);
    return 2;
}
