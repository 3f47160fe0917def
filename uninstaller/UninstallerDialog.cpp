#include "uninstaller/UninstallerDialog.h"

#include <algorithm>
#include <cctype>

#include "ui/DataExchange.h"

namespace zmp {
namespace {

constexpr int kIcon = 128;
constexpr int kStatusLabel = 1000;
constexpr int kUninstallButton = 1001;
constexpr int kProgressBar = 1002;
constexpr int kCheckList = 1006;
constexpr int kIdPrinterName = 2;
constexpr int kProgressStep = 10;
constexpr std::uintptr_t kPrepareTimer = 1;
constexpr Dword kPrepareDelay = 1;

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

UninstallerDialog::UninstallerDialog(Platform& platform)
    : WorkerDialog(platform.ui, kTemplate, kIcon),
      platform_(platform),
      log_(platform.files, platform.clock),
      progress_(platform.ui, status_, progressBar_),
      remover_(platform, log_, DriverRemover::Variant::Uninstaller, &progress_) {}

unsigned UninstallerDialog::UninstallThreadProc(void* param) {
    // Ends the process, or has asked the dialog to close: nothing of it is used here.
    static_cast<UninstallerDialog*>(param)->RunUninstallation();
    return 0;
}

void UninstallerDialog::DoDataExchange(ui::DataExchange& dx) {
    dx.Control(mb::kIdCancel, cancelButton_);
    dx.Control(kProgressBar, progressBar_);
    dx.Control(kUninstallButton, uninstallButton_);
    dx.Control(kCheckList, checkList_);
    dx.Text(kStatusLabel, message_);
}

bool UninstallerDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    SetWindowIcons();

    log_.InitLogFile(LogName::Uninstaller);
    wow64_ = IsWow64(platform_.system, log_);
    osCode_ = CheckOS(platform_.system, log_);
    remover_.SetSystemInfo(wow64_, osCode_);

    printerObjectCount_ = 0;
    busy_ = false;

    progressBar_.SetRange(0, 100);
    progressBar_.SetStep(kProgressStep);

    scratch_ = ui_.LoadString(kIdPrinterName);
    SetWindowText(scratch_ + " Uninstaller");

    // The rest of the preparation runs from the message loop, once the
    // dialog is on the screen.
    ui_.SetTimer(Hwnd(), kPrepareTimer, kPrepareDelay);
    return true;
}

bool UninstallerDialog::PreTranslateMessage(const Message& message) {
    const bool busy = busy_;
    ShowBusy(busy);
    if (busy && message.wParam == msg::kKeyEscape) return true;
    return Dialog::PreTranslateMessage(message);
}

void UninstallerDialog::OnCancel() {
    // Closing the dialog ends the program, worker included: never once the
    // removal has started, also in its last moments when the busy flag is
    // already down (a restart the user asked for would be lost), and
    // whichever way the close came.
    if (workerStarted_) return;
    Dialog::OnCancel();
}

bool UninstallerDialog::OnCommand(int controlId, int notifyCode) {
    if (controlId == kCheckList && notifyCode == static_cast<int>(msg::kClbnChkChange)) {
        OnCheckChange();
        return true;
    }
    if (controlId == kUninstallButton && notifyCode == static_cast<int>(msg::kBnClicked)) {
        OnUninstall();
        return true;
    }
    return Dialog::OnCommand(controlId, notifyCode);
}

LResult UninstallerDialog::OnMessage(Dword message, WParam wParam, LParam lParam, bool& handled) {
    if (message == msg::kTimer) {
        OnTimer(static_cast<std::uintptr_t>(wParam));
        handled = false;  // the default handling follows
        return 0;
    }
    return WorkerDialog::OnMessage(message, wParam, lParam, handled);
}

void UninstallerDialog::OnTimer(std::uintptr_t id) {
    ui_.KillTimer(Hwnd(), id);  // it fires once
    if (id == kPrepareTimer) PrepareUninstall();
}

void UninstallerDialog::OnCheckChange() {
    // The worker has read the check marks already: the choice is closed.
    if (workerStarted_ || busy_) return;
    const int count = checkList_.GetCount();
    for (int i = 0; i < count; ++i) {
        if (checkList_.GetCheck(i) != msg::kBstUnchecked) {
            uninstallButton_.EnableWindow(true);
            return;
        }
    }
    uninstallButton_.EnableWindow(false);
}

void UninstallerDialog::OnUninstall() {
    if (workerStarted_) return;  // one removal per run
    // Greyed before the worker runs, so no click changes what it reads.
    checkList_.EnableWindow(false);
    if (!ui_.BeginThread(&UninstallerDialog::UninstallThreadProc, this)) {
        // No worker: let the user close the dialog instead of waiting forever.
        busy_ = false;
        checkList_.EnableWindow(true);
        cancelButton_.EnableWindow(true);
        return;
    }
    workerStarted_ = true;
    busy_ = true;
}

ui::RunPolicy::Answer UninstallerDialog::ChoosePrinters(const std::vector<std::string>& printers) {
    using Answer = ui::RunPolicy::Answer;
    // A removal that started by itself (no printer objects) asks nothing.
    if (workerStarted_) return Answer::Leave;
    if (!uninstallButton_.IsWindowEnabled()) return Answer::Wait;

    auto click = [this](int controlId, Dword notifyCode) {
        ui_.SendMessage(Hwnd(), msg::kCommand, (WParam(notifyCode) << 16) | WParam(controlId),
                        static_cast<LParam>(GetDlgItem(controlId)));
    };
    if (!printers.empty()) {
        const int count = checkList_.GetCount();
        std::vector<std::string> listed;
        for (int i = 0; i < count; ++i) {
            const std::string name = checkList_.GetText(i);
            listed.push_back(name);
            const bool named = std::any_of(printers.begin(), printers.end(),
                                           [&](const std::string& p) { return SameName(p, name); });
            if (named || checkList_.GetCheck(i) == msg::kBstUnchecked) continue;
            checkList_.SetCheck(i, msg::kBstUnchecked);
            click(kCheckList, msg::kClbnChkChange);
        }
        for (const std::string& p : printers) {
            if (std::none_of(listed.begin(), listed.end(), [&](const std::string& n) { return SameName(p, n); }))
                log_.WriteLog("PRINTER NOT FOUND : %s", p.c_str());
        }
    }
    // Nothing left checked: nothing of this driver is removed.
    click(uninstallButton_.IsWindowEnabled() ? kUninstallButton : mb::kIdCancel, msg::kBnClicked);
    return Answer::Pressed;
}

}  // namespace zmp
