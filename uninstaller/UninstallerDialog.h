// The uninstaller's only main window (template 102): a check list of the
// printer objects that use the driver, "Uninstall" and "Cancel", a progress
// bar and the status line. A one-shot timer prepares the choice once the
// dialog shows; the removal runs on one worker thread, which ends the
// process. From the moment the worker is started the choice is closed: the
// check list is greyed, check changes and further presses of "Uninstall" are
// ignored, and neither Escape nor the system menu's Close ends the program.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "removal/DriverRemover.h"
#include "support/Log.h"
#include "support/OsDetect.h"
#include "ui/Controls.h"
#include "ui/DialogProgress.h"
#include "ui/RunPolicy.h"
#include "ui/WorkerDialog.h"

namespace zmp {

class UninstallerDialog : public ui::WorkerDialog {
public:
    static constexpr int kTemplate = 102;

    explicit UninstallerDialog(Platform& platform);

    // The worker thread's entry: param is the dialog.
    static unsigned UninstallThreadProc(void* param);

    bool Busy() const { return busy_; }
    OsCode GetOsCode() const { return osCode_; }
    bool Wow64() const { return wow64_; }
    Log& GetLog() { return log_; }

    // An unattended run's choice, made as the user would once the list is
    // filled: the printers not named unchecked (none named: every one stays
    // checked), then "Uninstall" pressed, or "Cancel" when none of the named
    // ones is listed. Names are compared as Windows compares printer names,
    // without regard to case; a name not listed is logged.
    ui::RunPolicy::Answer ChoosePrinters(const std::vector<std::string>& printers);

    // --- the workflow (UninstallWorkflow.cpp)
    // Dialog thread, from timer 1: lists the printer objects and either ends
    // the process, starts the removal at once or lets the user choose.
    void PrepareUninstall();
    // The local printers whose driver is exactly the printer name, at the
    // head of the printer-object list; their number, or -1 when the printers
    // cannot be enumerated (the user has been told).
    int AddPrinterObjectsToList();
    // 1 when a driver of exactly that name is installed for this system, else 0.
    int PrinterDrvExist(const std::string& driverName);
    // Worker thread: removes the checked printer objects and, when none of
    // the listed ones is kept, the driver. Ends the process, except after
    // "No" to the restart question: then it asks the dialog to close and
    // returns, and the application ends the process.
    void RunUninstallation();

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    bool PreTranslateMessage(const Message& message) override;
    void OnCancel() override;
    bool OnCommand(int controlId, int notifyCode) override;
    LResult OnMessage(Dword message, WParam wParam, LParam lParam, bool& handled) override;

private:
    void OnTimer(std::uintptr_t id);
    void OnCheckChange();
    void OnUninstall();
    // A report of the workflow: text, bar (stepped or set to 100), refresh.
    void Report(const char* text, ProgressSink::Bar bar);

    Platform& platform_;
    Log log_;
    OsCode osCode_ = kOsUnknown;
    bool wow64_ = false;
    // Set when the worker is started, cleared by the workflow at its end;
    // read by the dialog's thread.
    std::atomic<bool> busy_{false};
    // Dialog thread only: a worker has been started, so none ever starts
    // again and the dialog is no longer closed by the user.
    bool workerStarted_ = false;
    std::string scratch_;  // string resources
    // The printer objects found, then the names left checked. Written by the
    // dialog's thread before the worker starts, by the worker afterwards.
    std::list<std::string> printerObjects_;
    int printerObjectCount_ = 0;
    ui::Button cancelButton_;     // 2
    ui::ProgressBar progressBar_;  // 1002
    ui::Button uninstallButton_;  // 1001
    ui::CheckListBox checkList_;  // 1006; the status line (1000) is the base's message_
    ui::DialogProgress progress_;
    DriverRemover remover_;
};

}  // namespace zmp
