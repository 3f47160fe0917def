// <windows.h> first, with the A/W macros that share names with the seam's
// operations taken back before the seam is declared.
#include <windows.h>
#include <commctrl.h>
#include <process.h>
#undef LoadString
#undef LoadIcon
#undef MessageBox
#undef SendMessage
#undef PostMessage
#undef SetWindowText
#undef GetWindowText

#include "platform/win32/Win32Ui.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/win32/UiCheckList.h"

namespace zmp::win32 {

namespace {

HWND Hwnd(WindowId window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }
WindowId Id(HWND window) { return static_cast<WindowId>(reinterpret_cast<std::uintptr_t>(window)); }

// One per dialog window, reached through DWLP_USER from WM_INITDIALOG to
// WM_NCDESTROY. A modal dialog's lives in DoModal's frame; a modeless one's
// on the heap, deleted with its window.
struct DialogState {
    DialogHandler* handler;
    bool modal;
    bool autoCentre = false;  // the template leaves the position to the program
    bool creating = true;    // CreateDialogParamA has not returned yet
    bool destroyed = false;  // WM_NCDESTROY seen
    // EndDialog may come from the worker thread.
    std::atomic<bool> ended{false};
    std::atomic<int> result{0};

    DialogState(DialogHandler* h, bool isModal) : handler(h), modal(isModal) {}
};

// The dialog template resource as the executable holds it; null when absent.
const WORD* FindTemplate(HINSTANCE instance, int templateId, DWORD& size) {
    const HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));  // RT_DIALOG
    const HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    const auto* words = static_cast<const WORD*>(loaded ? LockResource(loaded) : nullptr);
    size = words ? SizeofResource(instance, resource) : 0;
    return size >= 26 ? words : nullptr;
}

bool IsExtendedTemplate(const WORD* words) { return words[0] == 1 && words[1] == 0xFFFF; }

// The style field: first in a DLGTEMPLATE, after version, signature, help id
// and extended style in a DLGTEMPLATEEX.
size_t StyleOffset(const WORD* words) { return IsExtendedTemplate(words) ? 12 : 0; }

// The framework centres a dialog whose template puts it at 0, 0 without a
// DS_CENTER* or DS_ABSALIGN style of its own (CDialog::CheckAutoCenter).
bool TemplateWantsCentring(HINSTANCE instance, int templateId) {
    DWORD size = 0;
    const WORD* words = FindTemplate(instance, templateId, size);
    if (words == nullptr) return false;
    DWORD style;
    std::memcpy(&style, reinterpret_cast<const char*>(words) + StyleOffset(words), sizeof style);
    const size_t position = IsExtendedTemplate(words) ? 9 : 5;
    const auto x = static_cast<short>(words[position]);
    const auto y = static_cast<short>(words[position + 1]);
    return (style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) == 0 && x == 0 && y == 0;
}

// A copy of the template without WS_VISIBLE: the dialog manager shows a
// dialog whose template has it as soon as it is created, whatever its
// initialisation does. Empty when there is no such template.
std::vector<char> HiddenTemplate(HINSTANCE instance, int templateId) {
    DWORD size = 0;
    const WORD* words = FindTemplate(instance, templateId, size);
    if (words == nullptr) return {};
    std::vector<char> copy(reinterpret_cast<const char*>(words), reinterpret_cast<const char*>(words) + size);
    DWORD style;
    std::memcpy(&style, copy.data() + StyleOffset(words), sizeof style);
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(copy.data() + StyleOffset(words), &style, sizeof style);
    return copy;
}

// CWnd::CenterWindow: over the owner when it is showing, else in the work
// area of the monitor, and never past the work area's edges.
void CentreDialog(HWND dialog) {
    const HWND owner = GetWindow(dialog, GW_OWNER);
    const bool overOwner = owner != nullptr && IsWindowVisible(owner) && !::IsIconic(owner);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(overOwner ? owner : dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT& area = monitor.rcWork;
    RECT centreOn = area;
    if (overOwner) GetWindowRect(owner, &centreOn);
    RECT own;
    GetWindowRect(dialog, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = (centreOn.left + centreOn.right) / 2 - width / 2;
    int y = (centreOn.top + centreOn.bottom) / 2 - height / 2;
    if (x + width > area.right) x = area.right - width;
    if (x < area.left) x = area.left;
    if (y + height > area.bottom) y = area.bottom - height;
    if (y < area.top) y = area.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

DialogState* StateOf(HWND dialog) {
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void EndDialogWindow(HWND dialog, int result) {
    DialogState* state = StateOf(dialog);
    if (state == nullptr) {  // not one of ours
        ::EndDialog(dialog, result);
        return;
    }
    state->result = result;
    state->ended = true;
    if (state->modal) {
        // Wakes the modal loop when the call comes from another thread.
        PostMessageA(dialog, WM_NULL, 0, 0);
    } else {
        ::ShowWindow(dialog, SW_HIDE);
    }
}

// What a dialog procedure returns for a message its handler handled: these
// few messages return their value directly, every other one through
// DWLP_MSGRESULT.
INT_PTR HandledResult(HWND dialog, UINT message, LResult result) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
        return TRUE;
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* state = reinterpret_cast<DialogState*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
        checklist::AttachAll(dialog);
        if (state->autoCentre) CentreDialog(dialog);
        return state->handler->HandleInitDialog(Id(dialog)) ? TRUE : FALSE;
    }
    // The check lists draw themselves; a fixed-height one measures its items
    // while it is created, before WM_INITDIALOG.
    if (message == WM_MEASUREITEM && checklist::Measure(dialog, *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) {
        return TRUE;
    }
    if (message == WM_DRAWITEM && checklist::Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
        return TRUE;
    }

    DialogState* state = StateOf(dialog);
    if (state == nullptr) return FALSE;

    bool handled = false;
    const LResult result = state->handler->HandleMessage(message, wParam, lParam, handled);

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        state->destroyed = true;
        if (!state->ended) {  // destroyed without EndDialog: a modal loop ends with -1
            state->result = -1;
            state->ended = true;
        }
        if (!state->modal && !state->creating) delete state;
        return FALSE;
    }
    if (handled) return HandledResult(dialog, message, result);

    // The framework's OnOK / OnCancel when the handler leaves them alone.
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialogWindow(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// The framework's choice of owner when none is given: the main window's
// top-level window, or rather the pop-up last active over it (a message box
// or dialog that is already showing).
HWND SafeOwner(HWND start) {
    HWND top = start;
    while (top != nullptr && (GetWindowLongPtrA(top, GWL_STYLE) & WS_CHILD)) top = GetParent(top);
    if (top == nullptr || !IsWindow(top)) return nullptr;
    return ::GetLastActivePopup(top);
}

struct ThreadStart {
    Ui::ThreadProc proc;
    void* param;
};

unsigned __stdcall ThreadEntry(void* raw) {
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.proc(start.param);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

Win32Ui::Win32Ui(void* instance, volatile long* instanceCounter)
    : instance_(instance), instanceCounter_(instanceCounter) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(static_cast<HINSTANCE>(instance_), path, MAX_PATH);
    appName_ = BaseName(std::string(path, length < MAX_PATH ? length : MAX_PATH));
    // The common controls are registered when comctl32 is loaded from the
    // system directory, at the start (Win32Libraries.cpp).
}

std::string Win32Ui::LoadString(int id) {
    // LoadStringA truncates silently: grow until the text fits with room to spare.
    std::vector<char> buffer(256);
    for (;;) {
        const int length = LoadStringA(static_cast<HINSTANCE>(instance_), static_cast<UINT>(id),
                                       buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) return std::string();
        if (static_cast<size_t>(length) < buffer.size() - 1) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

std::uintptr_t Win32Ui::LoadIcon(int id) {
    // A shared icon from the executable: the system frees it.
    return reinterpret_cast<std::uintptr_t>(
        LoadIconA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(id)));
}

std::string Win32Ui::AppName() { return appName_; }

int Win32Ui::DoModal(int templateId, WindowId parent, DialogHandler& handler) {
    return RunModal(templateId, parent, handler, false);
}

int Win32Ui::DoModalHidden(int templateId, WindowId parent, DialogHandler& handler) {
    return RunModal(templateId, parent, handler, true);
}

int Win32Ui::RunModal(int templateId, WindowId parent, DialogHandler& handler, bool hidden) {
    HWND owner = parent != WindowId::None ? Hwnd(parent) : SafeOwner(Hwnd(MainWindow()));
    if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
    const bool disableOwner = owner != nullptr && owner != GetDesktopWindow() && ::IsWindowEnabled(owner);
    if (disableOwner) ::EnableWindow(owner, FALSE);

    DialogState state(&handler, true);
    const auto instance = static_cast<HINSTANCE>(instance_);
    state.autoCentre = TemplateWantsCentring(instance, templateId);
    HWND dialog = nullptr;
    if (hidden) {
        const std::vector<char> invisible = HiddenTemplate(instance, templateId);
        if (!invisible.empty()) {
            dialog = CreateDialogIndirectParamA(instance, reinterpret_cast<LPCDLGTEMPLATEA>(invisible.data()),
                                                owner, &DialogProc, reinterpret_cast<LPARAM>(&state));
        } else {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
    } else {
        dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId), owner, &DialogProc,
                                    reinterpret_cast<LPARAM>(&state));
    }
    state.creating = false;
    if (dialog == nullptr) {
        const DWORD error = GetLastError();
        if (disableOwner) ::EnableWindow(owner, TRUE);
        SetLastError(error);
        return -1;
    }

    // A template without WS_VISIBLE is shown once the loop starts.
    if (!hidden && !state.ended && !IsWindowVisible(dialog)) {
        ::ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
    }

    // The modal loop: the dialog pre-translates every message of this thread
    // (and may swallow it) before the dialog manager and the window see it.
    bool quit = false;
    MSG msg;
    while (!state.ended) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {  // WM_QUIT: leave the loop and pass the quit on
            PostQuitMessage(static_cast<int>(msg.wParam));
            quit = true;
            break;
        }
        if (got == -1) break;
        const Message pre{Id(msg.hwnd), msg.message, msg.wParam, msg.lParam};
        if (handler.PreTranslateMessage(pre)) continue;
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    // Hide before the owner comes back, so that it, not some other window,
    // is activated; then destroy.
    if (IsWindow(dialog)) {
        SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (disableOwner) ::EnableWindow(owner, TRUE);
    if (owner != nullptr && GetActiveWindow() == dialog) SetActiveWindow(owner);
    if (IsWindow(dialog)) ::DestroyWindow(dialog);
    return state.ended && !quit ? state.result.load() : -1;
}

WindowId Win32Ui::CreateModeless(int templateId, WindowId parent, DialogHandler& handler) {
    auto* state = new (std::nothrow) DialogState(&handler, false);
    if (state == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return WindowId::None;
    }
    state->autoCentre = TemplateWantsCentring(static_cast<HINSTANCE>(instance_), templateId);
    const HWND dialog = CreateDialogParamA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(templateId),
                                           Hwnd(parent), &DialogProc, reinterpret_cast<LPARAM>(state));
    state->creating = false;
    if (dialog == nullptr || state->destroyed) {
        // Never attached, or destroyed while being created: WM_NCDESTROY left it to us.
        const DWORD error = GetLastError();
        delete state;
        SetLastError(error);
        return WindowId::None;
    }
    return Id(dialog);
}

void Win32Ui::EndDialog(WindowId dialog, int result) { EndDialogWindow(Hwnd(dialog), result); }

void Win32Ui::DestroyWindow(WindowId window) { ::DestroyWindow(Hwnd(window)); }

WindowId Win32Ui::GetDlgItem(WindowId dialog, int controlId) {
    return Id(::GetDlgItem(Hwnd(dialog), controlId));
}

LResult Win32Ui::SendMessage(WindowId window, Dword message, WParam wParam, LParam lParam) {
    return SendMessageA(Hwnd(window), message, wParam, lParam);
}

bool Win32Ui::PostMessage(WindowId window, Dword message, WParam wParam, LParam lParam) {
    return PostMessageA(Hwnd(window), message, wParam, lParam) != FALSE;
}

void Win32Ui::SetWindowText(WindowId window, const std::string& text) {
    SetWindowTextA(Hwnd(window), text.c_str());
}

std::string Win32Ui::GetWindowText(WindowId window) {
    const int length = GetWindowTextLengthA(Hwnd(window));
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(Hwnd(window), &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void Win32Ui::EnableWindow(WindowId window, bool enable) { ::EnableWindow(Hwnd(window), enable ? TRUE : FALSE); }

bool Win32Ui::IsWindowEnabled(WindowId window) { return ::IsWindowEnabled(Hwnd(window)) != FALSE; }

void Win32Ui::ShowWindow(WindowId window, int command) { ::ShowWindow(Hwnd(window), command); }

bool Win32Ui::IsIconic(WindowId window) { return ::IsIconic(Hwnd(window)) != FALSE; }

void Win32Ui::CheckDlgButton(WindowId dialog, int controlId, Dword state) {
    ::CheckDlgButton(Hwnd(dialog), controlId, state);
}

Dword Win32Ui::IsDlgButtonChecked(WindowId dialog, int controlId) {
    return ::IsDlgButtonChecked(Hwnd(dialog), controlId);
}

void Win32Ui::SetCheckListState(WindowId list, int index, Dword state) {
    checklist::SetState(Hwnd(list), index, state);
}

Dword Win32Ui::GetCheckListState(WindowId list, int index) { return checklist::GetState(Hwnd(list), index); }

void Win32Ui::RemoveSystemMenuClose(WindowId window) {
    if (HMENU menu = GetSystemMenu(Hwnd(window), FALSE)) DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
}

void Win32Ui::SetCursor(CursorKind cursor) {
    ::SetCursor(LoadCursorA(nullptr, cursor == CursorKind::Wait ? IDC_WAIT : IDC_ARROW));
}

void Win32Ui::PaintIconic(WindowId window, std::uintptr_t icon) {
    const HWND hwnd = Hwnd(window);
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(hwnd, &paint);
    if (dc == nullptr) return;
    SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, reinterpret_cast<HICON>(icon));
    EndPaint(hwnd, &paint);
}

void Win32Ui::SetTimer(WindowId window, std::uintptr_t id, Dword milliseconds) {
    ::SetTimer(Hwnd(window), id, milliseconds, nullptr);
}

void Win32Ui::KillTimer(WindowId window, std::uintptr_t id) { ::KillTimer(Hwnd(window), id); }

int Win32Ui::MessageBox(WindowId owner, const std::string& text, Dword type) {
    // Owned by the main window, or by the pop-up already showing over it, so
    // that the box stays on top of the program and blocks it as a modal box.
    const HWND start = owner != WindowId::None ? Hwnd(owner) : Hwnd(MainWindow());
    return MessageBoxA(SafeOwner(start), text.c_str(), appName_.c_str(), (type & ~mb::kIconMask) | mb::ShownIcon(type));
}

void Win32Ui::MessageBoxAnswered(const std::string&, Dword, int) {}

void Win32Ui::SetMainWindow(WindowId window) { mainWindow_ = static_cast<std::uintptr_t>(window); }

WindowId Win32Ui::MainWindow() { return static_cast<WindowId>(mainWindow_.load()); }

bool Win32Ui::BeginThread(ThreadProc proc, void* param) {
    auto* start = new (std::nothrow) ThreadStart{proc, param};
    if (start == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // _beginthreadex, not CreateThread: the worker uses the C runtime.
    const std::uintptr_t thread = _beginthreadex(nullptr, 0, &ThreadEntry, start, 0, nullptr);
    if (thread == 0) {
        const DWORD error = GetLastError();
        delete start;
        SetLastError(error);
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));  // the thread runs on by itself
    return true;
}

long Win32Ui::IncrementInstanceCounter() { return InterlockedIncrement(instanceCounter_); }

WindowId Win32Ui::FindWindowByTitle(const std::string& title) {
    return Id(FindWindowA(nullptr, title.c_str()));
}

WindowId Win32Ui::GetLastActivePopup(WindowId window) { return Id(::GetLastActivePopup(Hwnd(window))); }

void Win32Ui::SetForegroundWindow(WindowId window) { ::SetForegroundWindow(Hwnd(window)); }

}  // namespace zmp::win32
