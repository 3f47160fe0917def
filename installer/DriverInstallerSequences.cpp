// The two install sequences: PrintUIEntry from the INF on Vista and later,
// our own registration steps on Windows 2000, XP and Server 2003.
#include "installer/DriverInstaller.h"

#include <cstdio>

#include "support/Restart.h"
#include "support/SpoolerService.h"
#include "ui/MessageBox.h"

namespace zmp {
namespace {

constexpr Dword kChildTimeout = 120000;
constexpr Dword kEndSleep = 2000;
constexpr int kIdInfName = 11;

constexpr const char* kInstalled = "The driver has been successfully installed.";
constexpr const char* kPowerCycle = "Please turn-off the printer and then turn-on again.";
constexpr const char* kNotInstalled = "The driver could not be installed.";

}  // namespace

bool DriverInstaller::AskForRestart() {
    return ui::AfxMessageBox(platform_.ui, kRestartQuestion, mb::kYesNo | mb::kIconQuestion) == mb::kIdYes;
}

void DriverInstaller::AddToWin2KWithWHQL(int portCode) {
    Begin("AddToWin2KWithWHQL");
    const bool exists = PrinterDrvExist(printerName_);
    StepReport("Preparing for installation...\r\n");
    if (!exists) {
        DeleteVidPid();
        DeletePrnDrvPnPDirectory();
        Delete_USB_Info();
    }
    StepReport("Installing printer...\r\n");

    // Relative to the current directory, the installer's package folder.
    const std::string infPath = ".\\" + platform_.ui.LoadString(kIdInfName);
    const char* name = printerName_.c_str();
    std::string command;
    char buffer[1024];
    if (portCode == PortUsb) {
        // The driver only: Plug and Play makes the printer.
        std::snprintf(buffer, sizeof buffer, "cmd /c RUNDLL32 printui.dll,PrintUIEntry /ia /m \"%s\" /f %s", name,
                      infPath.c_str());
    } else if (portCode == PortWirelessLan) {
        const std::string port = "IP_" + ipAddress_;
        std::snprintf(buffer, sizeof buffer,
                      "cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b \"%s\" /f %s /r \"%s\" /m \"%s\"", name,
                      infPath.c_str(), port.c_str(), name);
    } else {
        // A serial port takes its colon: COM1:.
        const std::string port = "COM" + std::to_string(portCode - PortCom1 + 1);
        std::snprintf(buffer, sizeof buffer,
                      "cmd /c RUNDLL32 printui.dll,PrintUIEntry /if /b \"%s\" /f %s /r \"%s:\" /m \"%s\"", name,
                      infPath.c_str(), port.c_str(), name);
    }
    command = buffer;
    if (exists) command += " /u";  // the driver that is there already
    StepReport("Creates a new process \r\n");

    bool childRan = false;
    if (!(portCode == PortUsb && exists)) {
        StartupInfo startup;
        startup.cb = proc::kStartupInfoSize32;
        startup.flags = proc::kStartfUseShowWindow | proc::kStartfForceOnFeedback;
        startup.showWindow = proc::kSwHide;
        ProcessInformation child;
        Status created =
            platform_.processes.CreateProcess(command, proc::kNormalPriorityClass, startup, child);
        log_.WriteLog("\r\nCOMMAND LINE : %s", command.c_str());
        if (!created.ok()) {
            ui::AfxMessageBox(platform_.ui, "CreateProcess failed.", mb::kOk);
            log_.WriteLog("CreateProcess failed. (%d)", static_cast<int>(created.code));
        } else {
            childRan = true;
            StepReport("The new process is running...\r\n");
            StepReport("Waiting until the process has finished processing ...\r\n", 0);
            Dword waited = platform_.processes.WaitForSingleObject(child.process, kChildTimeout);
            if (waited == proc::kWaitTimeout) {
                platform_.processes.CloseHandle(child.process);
                platform_.processes.CloseHandle(child.thread);
                ui::AfxMessageBox(platform_.ui, "The process could not finish the installation.", mb::kIconStop);
                log_.WriteLog("WAIT_TIMEOUT");
                platform_.processes.ExitProcess(kExitFailed);
            }
            if (!INFFileExist(makerName_, printerName_)) CopyINFFile();
            platform_.processes.CloseHandle(child.process);
            platform_.processes.CloseHandle(child.thread);
        }

        if (!exists) {
            RegisterUninstallInfo();
            CopyFilesOfUtilities();
            // Without the child nothing was installed, and a child that
            // failed installed nothing either: no success to report then.
            if (childRan && !DriverRegistered(printerName_)) {
                log_.WriteLog("%s PRINTER DRIVER DOES NOT EXIST.", name);
                ui::AfxMessageBox(platform_.ui, kNotInstalled, mb::kIconStop);
            } else if (childRan) {
                CompletionReport(kInstalled);
                if (portCode == PortUsb) {
                    ui::AfxMessageBox(platform_.ui, kPowerCycle, mb::kIconInformation);
                } else if (AskForRestart()) {
                    RestartComputer(platform_);
                }
            }
        }
    }

    log_.WriteLog("\r\n");
    End("AddToWin2KWithWHQL");
    CompletionReport("Completed.");
    StartSpooler(platform_, kEndSleep);
}

void DriverInstaller::AddToWin2K(int portCode) {
    Begin("AddToWin2K");
    const bool exists = PrinterDrvExist(printerName_);
    StepReport("Preparing for installation...\r\n");

    // With the driver there, the new printer object takes the first free
    // name of KORVANT ZMP-K40, KORVANT ZMP-K40(#1), (#2) ...
    std::string printerObject = printerName_;
    if (exists) {
        for (int n = 0;;) {
            PrinterHandle printer = PrinterHandle::None;
            if (!platform_.spooler.OpenPrinter(printerObject, std::nullopt, printer).ok()) break;
            platform_.spooler.ClosePrinter(printer);
            ++n;
            printerObject = printerName_ + "(#" + std::to_string(n) + ")";
        }
    }
    log_.WriteLog("PRINTER-DRIVER NAME TO ADD : %s ", printerObject.c_str());

    bool driverAdded = true;
    if (!exists) {
        DeleteVidPid();
        DeletePrnDrvPnPDirectory();
        Delete_USB_Info();
        CopyFilesNeededToAddPrnDrv();
        AddLanguageMonitor();
        AddPrinterProcessor();
        driverAdded = AddPrinterDriverToSystem();
    }
    AddPrinterToSystem(portCode, printerObject);

    if (!exists) {
        CopyINFFile();
        DeleteFilesUsed();
        RegisterUninstallInfo();
        CopyFilesOfUtilities();
        // The user has seen the driver refused; no success on top of that.
        if (driverAdded) {
            CompletionReport(kInstalled);
            if (portCode == PortUsb) {
                ui::AfxMessageBox(platform_.ui, kPowerCycle, mb::kIconInformation);
            } else if (AskForRestart()) {
                End("AddToWin2K");
                RestartComputer(platform_);
            }
        }
    }

    log_.WriteLog("\r\n");
    End("AddToWin2K");
    CompletionReport("Completed.");
    platform_.clock.Sleep(kEndSleep);
}

}  // namespace zmp
