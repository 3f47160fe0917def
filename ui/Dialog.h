// The dialog base of both programs (in place of MFC's CDialog): a dialog
// from a resource template, run modally or created modeless, with data
// exchange between members and controls. It implements the backend's
// DialogHandler, so the same dialog logic runs on real windows and headless.
#pragma once

#include <atomic>
#include <string>

#include "platform/Ui.h"

namespace zmp::ui {

class DataExchange;

class Dialog : public DialogHandler {
public:
    Dialog(Ui& ui, int templateId, WindowId parent = WindowId::None);
    ~Dialog() override = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog on the calling thread until EndDialog; its result.
    // Without a parent the backend lets the application's main window (or
    // its pop-up on top) own it, as the framework does.
    int DoModal();
    // The application's main window (m_pMainWnd) is this dialog from the
    // moment its window exists until the window is gone.
    void MakeMainWindow() { isMainWindow_ = true; }
    // A modeless window (visible as the template says); false on failure.
    bool Create(WindowId parent);
    void EndDialog(int result);
    void DestroyWindow();
    // Members to controls (save false) or controls to members, validated
    // (save true). False when a field failed: the user has been told, the
    // focus is on the field and the dialog stays open.
    bool UpdateData(bool saveAndValidate = true);

    WindowId Hwnd() const { return window_.load(); }
    WindowId GetDlgItem(int controlId) const;
    Ui& GetUi() const { return ui_; }
    void ShowWindow(int command);
    void SetWindowText(const std::string& text);
    void SetIcon(std::uintptr_t icon, bool big);

    // DialogHandler
    bool HandleInitDialog(WindowId self) final;
    LResult HandleMessage(Dword message, WParam wParam, LParam lParam, bool& handled) final;
    // Default: nothing swallowed; the backend then does the dialog keys
    // (Escape is IDCANCEL) like IsDialogMessage.
    bool PreTranslateMessage(const Message& message) override;

protected:
    virtual void DoDataExchange(DataExchange& dx);
    // Default: members to controls. Returns true (the focus is the backend's).
    virtual bool OnInitDialog();
    // Default: takes the data and ends the dialog with IDOK when it is valid.
    virtual void OnOK();
    virtual void OnCancel();
    // WM_COMMAND; true when handled. Default: IDOK and IDCANCEL clicks.
    virtual bool OnCommand(int controlId, int notifyCode);
    // Every other message; leave handled false for the default processing.
    virtual LResult OnMessage(Dword message, WParam wParam, LParam lParam, bool& handled);

    Ui& ui_;

private:
    int templateId_;
    WindowId parent_;
    bool isMainWindow_ = false;
    // Read by the worker (EndDialog, reports) while the dialog's thread sets it.
    std::atomic<WindowId> window_{WindowId::None};
};

}  // namespace zmp::ui
