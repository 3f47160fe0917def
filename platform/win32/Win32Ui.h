// The Ui seam on real windows: the executable's own resources, dialogs from
// its templates run by a modal loop of our own (so that a dialog sees every
// message first, as with the framework's PreTranslateMessage), the standard
// and common controls, the check list, message boxes and threads.
//
// Kept free of <windows.h>: its A/W macros (LoadString, MessageBox,
// SendMessage ...) would rename the seam's operations in every includer.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Ui.h"

namespace zmp::win32 {

class Win32Ui final : public Ui {
public:
    // instance: the executable's HINSTANCE. instanceCounter: the instance
    // counter in the executable's shared data section.
    Win32Ui(void* instance, volatile long* instanceCounter);

    std::string LoadString(int id) override;
    std::uintptr_t LoadIcon(int id) override;
    std::string AppName() override;

    int DoModal(int templateId, WindowId parent, DialogHandler& handler) override;
    int DoModalHidden(int templateId, WindowId parent, DialogHandler& handler) override;
    WindowId CreateModeless(int templateId, WindowId parent, DialogHandler& handler) override;
    void EndDialog(WindowId dialog, int result) override;
    void DestroyWindow(WindowId window) override;
    WindowId GetDlgItem(WindowId dialog, int controlId) override;

    LResult SendMessage(WindowId window, Dword message, WParam wParam, LParam lParam) override;
    bool PostMessage(WindowId window, Dword message, WParam wParam, LParam lParam) override;
    void SetWindowText(WindowId window, const std::string& text) override;
    std::string GetWindowText(WindowId window) override;
    void EnableWindow(WindowId window, bool enable) override;
    bool IsWindowEnabled(WindowId window) override;
    void ShowWindow(WindowId window, int command) override;
    bool IsIconic(WindowId window) override;
    void CheckDlgButton(WindowId dialog, int controlId, Dword state) override;
    Dword IsDlgButtonChecked(WindowId dialog, int controlId) override;
    void SetCheckListState(WindowId list, int index, Dword state) override;
    Dword GetCheckListState(WindowId list, int index) override;
    void RemoveSystemMenuClose(WindowId window) override;
    void SetCursor(CursorKind cursor) override;
    void PaintIconic(WindowId window, std::uintptr_t icon) override;

    void SetTimer(WindowId window, std::uintptr_t id, Dword milliseconds) override;
    void KillTimer(WindowId window, std::uintptr_t id) override;

    int MessageBox(WindowId owner, const std::string& text, Dword type) override;
    void MessageBoxAnswered(const std::string& text, Dword type, int answer) override;

    void SetMainWindow(WindowId window) override;
    WindowId MainWindow() override;

    bool BeginThread(ThreadProc proc, void* param) override;

    long IncrementInstanceCounter() override;
    WindowId FindWindowByTitle(const std::string& title) override;
    WindowId GetLastActivePopup(WindowId window) override;
    void SetForegroundWindow(WindowId window) override;

private:
    int RunModal(int templateId, WindowId parent, DialogHandler& handler, bool hidden);

    void* instance_;
    volatile long* instanceCounter_;
    std::string appName_;
    std::atomic<std::uintptr_t> mainWindow_{0};  // set on the dialog's thread, read by the worker
};

}  // namespace zmp::win32
