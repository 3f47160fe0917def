// The two install sequences: PrintUIEntry from the INF on Vista and later,
// our own registration steps on Windows 2000, XP and Server 2003.
#include "installer/DriverInstaller.h"

#include <optional>
#include <vector>

#include "support/Restart.h"
#include "support/SpoolerService.h"
#include "ui/MessageBox.h"

namespace zmp {
namespace {

constexpr Dword kChildTimeout = 120000;
constexpr Dword kEndSleep = 2000;
constexpr int kIdInfName = 11;
constexpr Dword kMaxPath = 260;  // MAX_PATH: any current directory fits

constexpr const char* kInstalled = "The driver has been successfully installed.";
constexpr const char* kPowerCycle = "Please turn-off the printer and then turn-on again.";
constexpr const char* kNotInstalled = "The driver could not be installed.";

}  // namespace

std::string DriverInstaller::FreePrinterName() {
    // The first of KORVANT ZMP-K40, KORVANT ZMP-K40(#1), (#2) ... that no
    // printer has: a name that cannot be opened is taken as free.
    std::string name = printerName_;
    for (int n = 0;;) {
        PrinterHandle printer = PrinterHandle::None;
        if (!platform_.spooler.OpenPrinter(name, std::nullopt, printer).ok()) return name;
        platform_.spooler.ClosePrinter(printer);
        ++n;
        name = printerName_ + "(#" + std::to_string(n) + ")";
    }
}

std::optional<Dword> DriverInstaller::ChildExitCode(ProcessHandle child) {
    Dword code = 0;
    Status read = platform_.processes.GetExitCodeProcess(child, code);
    if (!read.ok()) {
        log_.WriteLog("GetExitCodeProcess failed. (%d)", static_cast<int>(read.code));
        return std::nullopt;
    }
    log_.WriteLog("PROCESS EXIT CODE : %d", static_cast<int>(code));
    return code;
}

void DriverInstaller::FailInstallation(bool driverExisted, std::optional<Dword> exitCode,
                                       const std::vector<std::string>& missing) {
    StepReport(kNotInstalled, 0);
    std::string text = std::string(kNotInstalled) + "\n\nNot installed:";
    for (const std::string& part : missing) text += "\n" + part;
    text += "\n\nThe printer installation of Windows (PrintUIEntry) ";
    if (!exitCode) {
        text += "ended; its exit code could not be read.";
    } else {
        text += "ended with code " + std::to_string(static_cast<int>(*exitCode)) + ".";
        if (*exitCode != 0) {
            std::string reason = platform_.system.FormatSystemMessage(*exitCode, sys::kLangEnglishUs);
            while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
            if (!reason.empty()) text += "\n" + reason;
        }
    }
    ui::AfxMessageBox(platform_.ui, text, mb::kIconStop);
    AbandonInstallation(driverExisted);
}

void DriverInstaller::AbandonInstallation(bool driverExisted) {
    // What a failing child may have left of ours gets the "Uninstall" entry
    // and the uninstaller, so that the user can remove it; a clean failure
    // leaves no entry behind that would offer to remove nothing.
    if (!driverExisted && !pnpCleanup_.FindOwnComponents().empty()) {
        RegisterUninstallInfo();
        CopyFilesOfUtilities();
    }
    log_.WriteLog("\r\n");
    End("AddToWin2KWithWHQL");
    platform_.processes.ExitProcess(kExitFailed);
}

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

    // With the driver there, the printer object takes a free name, as on
    // Windows 2000 and XP: PrintUIEntry refuses a name that exists (1802).
    const std::string printerObject = exists ? FreePrinterName() : printerName_;
    if (portCode != PortUsb) log_.WriteLog("PRINTER-DRIVER NAME TO ADD : %s ", printerObject.c_str());

    // The child and the DLL it loads come from the system directory by full
    // path, and it runs there: named bare, Windows would look for them in
    // the installer's own folder and the current directory first, the
    // package's download folder, which any user can write to. The INF is
    // the package's, by full path, in quotes for the blanks of a user's
    // folder.
    const std::string systemDir = SystemDirectory();
    std::string packageDir;
    Dword locateError = err::kSuccess;
    if (systemDir.empty()) {
        locateError = err::kPathNotFound;
    } else if (platform_.files.GetCurrentDirectory(packageDir, kMaxPath) == 0 || packageDir.empty()) {
        locateError = platform_.system.GetLastError();
        if (locateError == err::kSuccess) locateError = err::kPathNotFound;
    }
    const bool located = locateError == err::kSuccess;
    const std::string rundll32 = systemDir + "\\rundll32.exe";
    const std::string infPath = packageDir + "\\" + platform_.ui.LoadString(kIdInfName);
    const std::string name = "\"" + printerName_ + "\"";
    const std::string object = "\"" + printerObject + "\"";
    std::string command = "\"" + rundll32 + "\" " + systemDir + "\\printui.dll,PrintUIEntry";
    if (portCode == PortUsb) {
        // The driver only: Plug and Play makes the printer.
        command += " /ia /m " + name + " /f \"" + infPath + "\"";
    } else {
        // A serial port takes its colon: COM1:.
        const std::string port = portCode == PortWirelessLan
                                     ? "IP_" + ipAddress_
                                     : "COM" + std::to_string(portCode - PortCom1 + 1) + ":";
        command += " /if /b " + object + " /f \"" + infPath + "\" /r \"" + port + "\" /m " + name;
    }
    if (exists) command += " /u";  // the driver that is there already
    StepReport("Creates a new process \r\n");

    if (!(portCode == PortUsb && exists)) {
        StartupInfo startup;
        startup.cb = proc::kStartupInfoSize32;
        startup.flags = proc::kStartfUseShowWindow | proc::kStartfForceOnFeedback;
        startup.showWindow = proc::kSwHide;
        ProcessInformation child;
        Status created = located ? platform_.processes.CreateProcess(rundll32, command, proc::kNormalPriorityClass,
                                                                     systemDir, startup, child)
                                 : Status::Fail(locateError);
        log_.WriteLog("\r\nCOMMAND LINE : %s", command.c_str());
        if (!created.ok()) {
            ui::AfxMessageBox(platform_.ui, "CreateProcess failed.", mb::kOk);
            log_.WriteLog("CreateProcess failed. (%d)", static_cast<int>(created.code));
            // Nothing ran, so nothing was installed: an exit code of 0 here
            // would tell a deployment tool otherwise.
            AbandonInstallation(exists);
        } else {
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
            // The child's word and then the spooler's: only what the spooler
            // shows is installed.
            std::optional<Dword> exitCode = ChildExitCode(child.process);
            const std::vector<std::string> missing = VerifyInstallation(portCode, printerObject);
            platform_.processes.CloseHandle(child.process);
            platform_.processes.CloseHandle(child.thread);
            if (!missing.empty()) FailInstallation(exists, exitCode, missing);
            if (!INFFileExist(makerName_, printerName_)) CopyINFFile();
        }

        if (!exists) {
            RegisterUninstallInfo();
            CopyFilesOfUtilities();
            CompletionReport(kInstalled);
            if (portCode == PortUsb) {
                ui::AfxMessageBox(platform_.ui, kPowerCycle, mb::kIconInformation);
            } else if (AskForRestart()) {
                RestartComputer(platform_);
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

    // With the driver there, the new printer object takes a free name.
    const std::string printerObject = exists ? FreePrinterName() : printerName_;
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
