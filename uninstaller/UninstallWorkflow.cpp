// The uninstaller's workflow: what is decided before the user is asked, how
// the check list selects what is removed, and the order of the removal steps.
#include <cstdio>
#include <optional>
#include <vector>

#include "support/Restart.h"
#include "ui/MessageBox.h"
#include "uninstaller/UninstallerDialog.h"

namespace zmp {
namespace {

using Bar = ProgressSink::Bar;

constexpr int kIdModel = 1;
constexpr int kIdPrinterName = 2;
constexpr Dword kDriverInfoLevel = 3;

}  // namespace

void UninstallerDialog::Report(const char* text, ProgressSink::Bar bar) { progress_.Report(text, bar); }

void UninstallerDialog::PrepareUninstall() {
    printerObjects_.clear();
    checkList_.ResetContent();
    cancelButton_.EnableWindow(true);

    const int count = AddPrinterObjectsToList();
    printerObjectCount_ = count;
    if (count < 0) platform_.processes.ExitProcess(0);  // the user has been told

    if (count == 0) {
        scratch_ = ui_.LoadString(kIdPrinterName);
        // An installation that failed half way leaves no driver but other
        // parts of ours, which the next installer run would take for a
        // different version: they go as the driver would.
        if (PrinterDrvExist(scratch_) == 1 || !remover_.FindOwnComponents().empty()) {
            // Nothing to choose: the driver goes at once.
            cancelButton_.EnableWindow(false);
            busy_ = true;
            OnUninstall();
            return;
        }
        scratch_ = ui_.LoadString(kIdModel);
        ui::AfxMessageBox(ui_, "The " + scratch_ + " driver does not exist on this system.",
                          mb::kOk | mb::kIconInformation);
        // A stale "Uninstall" entry would keep offering this program.
        remover_.DeleteUninstallInfoFromReg();
        platform_.processes.ExitProcess(0);
    }

    uninstallButton_.EnableWindow(false);
    for (const std::string& name : printerObjects_) checkList_.AddString(name);  // sorted by the list
    const int items = checkList_.GetCount();
    if (items > 0) {
        for (int i = 0; i < items; ++i) checkList_.SetCheck(i, msg::kBstChecked);
        uninstallButton_.EnableWindow(true);
    }
}

int UninstallerDialog::AddPrinterObjectsToList() {
    log_.WriteLog("\r\n");
    log_.WriteLog("AddPrinterObjectsToList BEGIN");

    // Local printers only: connections to other computers' printers are
    // not this machine's to remove.
    std::vector<PrinterInfo2> printers;
    Status status = platform_.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers);
    if (!status.ok()) {
        char head[64];
        std::snprintf(head, sizeof head, "EnumPrinters Error Code: %d\n\n", static_cast<int>(status.code));
        std::string text = head + platform_.system.FormatSystemMessage(status.code, sys::kLangEnglishUs);
        ui::AfxMessageBox(ui_, text, mb::kOk | mb::kIconExclamation);
        log_.WriteLog("AddPrinterObjectsToList END");
        return -1;
    }

    // Byte for byte: a driver named in another letter case is another driver.
    scratch_ = ui_.LoadString(kIdPrinterName);
    for (const PrinterInfo2& printer : printers) {
        if (printer.driverName == scratch_) printerObjects_.push_front(printer.printerName);
    }
    const int count = static_cast<int>(printerObjects_.size());
    log_.WriteLog("The number of printer-objects : %d", count);
    log_.WriteLog("AddPrinterObjectsToList END");
    return count;
}

int UninstallerDialog::PrinterDrvExist(const std::string& driverName) {
    log_.WriteLog("\r\n");
    log_.WriteLog("PrinterDrvExist BEGIN");
    // The environment the driver is installed for. Without one the spooler
    // takes the caller's, and this 32-bit program on 64-bit Windows would
    // only see x86 drivers, never the x64 driver that is installed there.
    std::optional<std::string> environment;
    if (wow64_) environment = DriverEnvironment(wow64_);
    std::vector<DriverInfo3> drivers;
    Status status = platform_.spooler.EnumPrinterDrivers(environment, kDriverInfoLevel, drivers);
    if (status.ok()) {
        for (const DriverInfo3& driver : drivers) {
            if (driver.name == driverName) {
                log_.WriteLog("%s PRINTER DRIVER EXISTS.", driverName.c_str());
                log_.WriteLog("PrinterDrvExist END");
                return 1;
            }
        }
    }
    log_.WriteLog("%s PRINTER DRIVER DOES NOT EXIST.", driverName.c_str());
    log_.WriteLog("PrinterDrvExist END");
    return 0;
}

void UninstallerDialog::RunUninstallation() {
    printerObjects_.clear();
    uninstallButton_.EnableWindow(false);
    cancelButton_.EnableWindow(false);

    // The check marks are read once, here. At the head each time: the list
    // ends up in the reverse of the displayed (alphabetical) order, the
    // order in which the objects are deleted.
    const int items = checkList_.GetCount();
    for (int i = 0; i < items; ++i) {
        if (checkList_.GetCheck(i) != msg::kBstUnchecked) printerObjects_.push_front(checkList_.GetText(i));
    }
    // With no printer objects at all both are 0: the driver goes.
    const bool allSelected = printerObjectCount_ == static_cast<int>(printerObjects_.size());

    Clock& clock = platform_.clock;
    if (printerObjectCount_ != 0) {
        Report("Deleting printer-driver objects...", Bar::Step);
        clock.Sleep(1000);
        remover_.RemovePrinterObjects({printerObjects_.begin(), printerObjects_.end()});
    }

    if (!allSelected) {
        // The printer objects left unchecked still use the driver: it stays,
        // and there is nothing a restart would complete.
        printerObjects_.clear();
        Report(kRemovalCompleted, Bar::Complete);
        busy_ = false;
        clock.Sleep(2000);
        platform_.processes.ExitProcess(0);
    }

    Report("Removing printer-drivers...", Bar::Step);
    clock.Sleep(1000);
    remover_.RemoveFromOS();
    remover_.DeleteVidPid();
    remover_.Delete_USB_Info();
    remover_.DeletePrnDrvPnPDirectory();
    remover_.DeleteUninstallInfoFromReg();
    remover_.DeleteInstalledDirectory();

    printerObjects_.clear();
    // Completed only when the spooler shows it: what is left is said, and
    // no restart offered as if all had gone.
    const std::vector<std::string> left = remover_.VerifyRemoval();
    if (!left.empty()) {
        Report(kRemovalIncomplete, Bar::Complete);
        busy_ = false;
        ui::AfxMessageBox(ui_, "The driver could not be removed completely.\n\n" + LeftoversText(left),
                          mb::kOk | mb::kIconStop);
        platform_.processes.ExitProcess(-1);
    }
    Report(kRemovalCompleted, Bar::Complete);
    clock.Sleep(1000);

    if (ui::AfxMessageBox(ui_, kRestartQuestion, mb::kYesNo | mb::kIconQuestion) == mb::kIdYes) {
        busy_ = false;
        Report(kRemovalCompleted, Bar::None);
        clock.Sleep(1000);
        RestartComputer(platform_);  // without the privilege the user restarts later
        platform_.processes.ExitProcess(0);
    }

    // No: the dialog is closed as with an OK button, and the application
    // destroys it, with everything WinMain holds, once its modal loop ends.
    // From the request on this thread touches nothing of theirs: it ends,
    // and the framework ends the process with exit code 0.
    ui_.PostMessage(Hwnd(), msg::kCommand, WParam(mb::kIdOk), 0);
}

}  // namespace zmp
