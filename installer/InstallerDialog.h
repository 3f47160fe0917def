// The installer's progress dialog and only main window (template 102): the
// printer's name, the driver version, a progress bar and the status line.
// Its initialisation prepares the context (log, OS detection, the install
// engine), starts the spooler and the worker thread that runs the whole
// installation; afterwards it only displays, and refuses to be closed while
// an installation or removal is under way.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "installer/DriverInstaller.h"
#include "installer/Port_Dlg.h"
#include "platform/Platform.h"
#include "removal/DriverRemover.h"
#include "support/Log.h"
#include "support/OsDetect.h"
#include "ui/Controls.h"
#include "ui/DialogProgress.h"
#include "ui/WorkerDialog.h"

namespace zmp {

class InstallerDialog : public ui::WorkerDialog {
public:
    static constexpr int kTemplate = 102;
    // What the installer tells a Windows it does not support.
    static constexpr const char* kOsRefused = "THE DRIVER CAN NOT BE INSTALLED ON THIS OS.";

    explicit InstallerDialog(Platform& platform);

    // The worker thread's entry: param is the dialog.
    static unsigned InstallThreadProc(void* param);

    // The workflow's flags: set while an installation, or the removal of a
    // different version, is under way; the dialog then cannot be closed.
    void SetInstalling(bool installing) { installing_ = installing; }
    void SetRemoving(bool removing) { removing_ = removing; }
    bool Installing() const { return installing_; }
    bool Removing() const { return removing_; }
    OsCode GetOsCode() const { return osCode_; }
    bool Wow64() const { return wow64_; }
    DriverInstaller& Engine() { return engine_; }
    Log& GetLog() { return log_; }

protected:
    void DoDataExchange(ui::DataExchange& dx) override;
    bool OnInitDialog() override;
    bool PreTranslateMessage(const Message& message) override;
    void OnOK() override;
    void OnCancel() override;

private:
    // The installation workflow, on the worker thread; ends the process.
    void RunInstallation();
    // The port from the user in the port dialog, then the installation.
    void InstallWithPortDialog();
    // The port from the configuration file through a hidden port dialog,
    // then the installation; wireless-LAN values the dialog would refuse
    // send the user to the dialog instead.
    void InstallWithConfiguredPort();
    // Returns only when no different version is installed; otherwise
    // removes it, restarts Windows and ends the process.
    void CheckInstalledVersion();
    // The install sequence of this Windows for the port dialog's choice.
    void InstallForPort(int selectionIndex, int portNumber, const std::string& ipAddress);

    Platform& platform_;
    Log log_;
    OsCode osCode_ = kOsUnknown;
    bool wow64_ = false;
    std::string scratch_;  // string resources
    // Written by the worker, read by the dialog's thread.
    std::atomic<bool> installing_{false};
    std::atomic<bool> removing_{false};
    DriverInstaller engine_;
    PortTypeDialog portDialog_;    // the modal use; the hidden one is made when needed
    ui::ProgressBar progressBar_;  // 1000; the status line (1003) is the base's message_
    std::string versionText_;      // 1001
    std::string productText_;      // 1002
    ui::DialogProgress progress_;
    // The removal steps of a different installed version, with reports.
    DriverRemover remover_;
};

}  // namespace zmp
