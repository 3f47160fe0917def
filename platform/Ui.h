// The user interface as the system uses it: resources, dialogs from resource
// templates, standard controls driven by their window messages, message
// boxes, timers, a worker thread and the single-instance helpers.
//
// Two backends implement it: platform/win32 (real windows) and the
// simulator's headless backend (a model of the same windows and controls,
// driven by a scripted user). The dialog layer in ui/ builds on it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace zmp {

enum class WindowId : std::uintptr_t { None = 0 };

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Window messages, notification codes and styles, with Windows' numbers.
namespace msg {
constexpr Dword kSetIcon = 0x0080;        // WM_SETICON
constexpr Dword kKeyDown = 0x0100;        // WM_KEYDOWN
constexpr Dword kCommand = 0x0111;        // WM_COMMAND
constexpr Dword kSysCommand = 0x0112;     // WM_SYSCOMMAND
constexpr Dword kTimer = 0x0113;          // WM_TIMER
constexpr Dword kPaint = 0x000F;          // WM_PAINT
constexpr Dword kClose = 0x0010;          // WM_CLOSE
constexpr Dword kQueryDragIcon = 0x0037;  // WM_QUERYDRAGICON
constexpr Dword kIconEraseBkgnd = 0x0027; // WM_ICONERASEBKGND
constexpr Dword kUser = 0x0400;           // WM_USER
constexpr Dword kRefreshStatus = kUser + 1;  // WM_REFRESH_STATUS, the progress protocol's refresh

constexpr Dword kPbmSetRange = kUser + 1;  // PBM_SETRANGE
constexpr Dword kPbmSetPos = kUser + 2;    // PBM_SETPOS
constexpr Dword kPbmSetStep = kUser + 4;   // PBM_SETSTEP
constexpr Dword kPbmStepIt = kUser + 5;    // PBM_STEPIT
constexpr Dword kPbmGetPos = kUser + 8;    // PBM_GETPOS

constexpr Dword kIpmClearAddress = kUser + 100;  // IPM_CLEARADDRESS
constexpr Dword kIpmSetAddress = kUser + 101;    // IPM_SETADDRESS
constexpr Dword kIpmGetAddress = kUser + 102;    // IPM_GETADDRESS

constexpr Dword kLbAddString = 0x0180;     // LB_ADDSTRING
constexpr Dword kLbResetContent = 0x0184;  // LB_RESETCONTENT
constexpr Dword kLbGetText = 0x0189;       // LB_GETTEXT
constexpr Dword kLbGetTextLen = 0x018A;    // LB_GETTEXTLEN
constexpr Dword kLbGetCount = 0x018B;      // LB_GETCOUNT
constexpr Dword kLbSetItemData = 0x019A;   // LB_SETITEMDATA
constexpr Dword kLbGetItemData = 0x0199;   // LB_GETITEMDATA

constexpr Dword kBnClicked = 0;            // BN_CLICKED
constexpr Dword kClbnChkChange = 40;       // CLBN_CHKCHANGE, the check list's notification

constexpr Dword kBstUnchecked = 0;
constexpr Dword kBstChecked = 1;

constexpr WParam kKeyEscape = 27;          // VK_ESCAPE

constexpr Dword kScClose = 0xF060;         // SC_CLOSE
constexpr Dword kIconSmall = 0;            // ICON_SMALL
constexpr Dword kIconBig = 1;              // ICON_BIG
}  // namespace msg

// Message box types and answers (MB_*, ID*).
namespace mb {
constexpr Dword kOk = 0x0;
constexpr Dword kOkCancel = 0x1;
constexpr Dword kYesNoCancel = 0x3;
constexpr Dword kYesNo = 0x4;
constexpr Dword kTypeMask = 0xF;
constexpr Dword kIconMask = 0xF0;
constexpr Dword kIconError = 0x10;        // MB_ICONERROR / MB_ICONSTOP / MB_ICONHAND
constexpr Dword kIconStop = 0x10;
constexpr Dword kIconQuestion = 0x20;
constexpr Dword kIconExclamation = 0x30;
constexpr Dword kIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// An answer's name, for logs and transcripts.
constexpr const char* AnswerName(int answer) {
    return answer == kIdOk ? "OK" : answer == kIdYes ? "YES" : answer == kIdNo ? "NO" : "CANCEL";
}

// The icon a box shows: AfxMessageBox gives one to a box that names none,
// the exclamation mark to OK boxes and the question mark to Yes/No ones.
constexpr Dword ShownIcon(Dword type) {
    if ((type & kIconMask) != 0) return type & kIconMask;
    switch (type & kTypeMask) {
        case kOk:
        case kOkCancel: return kIconExclamation;
        case kYesNo:
        case kYesNoCancel: return kIconQuestion;
        default: return 0;
    }
}
}  // namespace mb

namespace show {
constexpr int kHide = 0;
constexpr int kShowNormal = 1;
constexpr int kShow = 5;
constexpr int kRestore = 9;
}  // namespace show

enum class CursorKind { Arrow, Wait };

// A message as the dialog's thread pre-translates it (MSG).
struct Message {
    WindowId window = WindowId::None;
    Dword message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// What a backend calls back into: one object per dialog window, implemented
// by ui::Dialog. All calls arrive on the thread that runs the dialog.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    // WM_INITDIALOG, after the backend has attached the window id.
    virtual bool HandleInitDialog(WindowId self) = 0;
    // Every other message sent or posted to the dialog window (WM_COMMAND,
    // WM_TIMER, WM_PAINT, WM_REFRESH_STATUS, WM_QUERYDRAGICON, WM_CLOSE ...).
    // handled=false lets the backend do the default processing.
    virtual LResult HandleMessage(Dword message, WParam wParam, LParam lParam, bool& handled) = 0;
    // Called by the modal (or the application's) message loop for every
    // message before it is dispatched; true swallows it.
    virtual bool PreTranslateMessage(const Message& message) = 0;
};

class Ui {
public:
    virtual ~Ui() = default;

    // --- resources of the running program
    virtual std::string LoadString(int id) = 0;  // empty when the id is not defined
    virtual std::uintptr_t LoadIcon(int id) = 0;  // HICON
    // The application's name: the executable's base name, caption of every message box.
    virtual std::string AppName() = 0;

    // --- dialogs from resource templates
    // Runs a modal dialog on the calling thread until EndDialog; returns its result.
    virtual int DoModal(int templateId, WindowId parent, DialogHandler& handler) = 0;
    // The same, with the dialog hidden from start to end whatever its
    // template says: a dialog an unattended run answers, or any window of a
    // quiet one.
    virtual int DoModalHidden(int templateId, WindowId parent, DialogHandler& handler) = 0;
    // Creates a modeless dialog (visible as its template says); None on failure.
    virtual WindowId CreateModeless(int templateId, WindowId parent, DialogHandler& handler) = 0;
    virtual void EndDialog(WindowId dialog, int result) = 0;
    virtual void DestroyWindow(WindowId window) = 0;
    virtual WindowId GetDlgItem(WindowId dialog, int controlId) = 0;

    // --- windows and controls
    virtual LResult SendMessage(WindowId window, Dword message, WParam wParam, LParam lParam) = 0;
    virtual bool PostMessage(WindowId window, Dword message, WParam wParam, LParam lParam) = 0;
    virtual void SetWindowText(WindowId window, const std::string& text) = 0;
    virtual std::string GetWindowText(WindowId window) = 0;
    virtual void EnableWindow(WindowId window, bool enable) = 0;
    virtual bool IsWindowEnabled(WindowId window) = 0;
    virtual void ShowWindow(WindowId window, int command) = 0;
    virtual bool IsIconic(WindowId window) = 0;
    // CheckDlgButton / IsDlgButtonChecked for radio buttons and check boxes.
    virtual void CheckDlgButton(WindowId dialog, int controlId, Dword state) = 0;
    virtual Dword IsDlgButtonChecked(WindowId dialog, int controlId) = 0;
    // Check list box: the check state of item index (kept by the backend's check list).
    virtual void SetCheckListState(WindowId list, int index, Dword state) = 0;
    virtual Dword GetCheckListState(WindowId list, int index) = 0;
    // Removes "Close" (SC_CLOSE, by command) from the window's system menu.
    virtual void RemoveSystemMenuClose(WindowId window) = 0;
    virtual void SetCursor(CursorKind cursor) = 0;
    // Draws the icon centred in the minimised window's client area after
    // erasing its background (WM_PAINT while iconic).
    virtual void PaintIconic(WindowId window, std::uintptr_t icon) = 0;

    // --- timers
    virtual void SetTimer(WindowId window, std::uintptr_t id, Dword milliseconds) = 0;
    virtual void KillTimer(WindowId window, std::uintptr_t id) = 0;

    // --- message boxes: AfxMessageBox, owned by the main window, AppName() as caption
    virtual int MessageBox(WindowId owner, const std::string& text, Dword type) = 0;
    // A box an unattended run answered in the user's place without showing
    // it (its text went to the log). Nothing happens on real windows; where
    // runs are watched (the headless transcript) it is recorded.
    virtual void MessageBoxAnswered(const std::string& text, Dword type, int answer) = 0;

    // --- the application's main window (m_pMainWnd)
    virtual void SetMainWindow(WindowId window) = 0;
    virtual WindowId MainWindow() = 0;

    // --- threads: AfxBeginThread(proc, param), normal priority, running at once
    using ThreadProc = unsigned (*)(void* param);
    virtual bool BeginThread(ThreadProc proc, void* param) = 0;

    // --- single instance
    // Adds 1 to the instance counter shared by every process of this
    // executable and returns the new value (atomically).
    virtual long IncrementInstanceCounter() = 0;
    virtual WindowId FindWindowByTitle(const std::string& title) = 0;
    virtual WindowId GetLastActivePopup(WindowId window) = 0;
    virtual void SetForegroundWindow(WindowId window) = 0;
};

}  // namespace zmp
