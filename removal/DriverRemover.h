// The removal steps of the ZMP-K40 driver, built into both programs: printer
// objects, forms, the driver, language monitor, print processor, driver
// files, oem INF, Plug-and-Play traces and the "Uninstall" entry.
//
// Every step logs "\r\n", "<Step> BEGIN", its own lines and "<Step> END",
// never stops the sequence and leaves the spooler running. The three owners
// differ only in what they log and report, chosen by the Variant:
//   InstallerDialog - the installer's removal of a different installed
//                     version (RemoveInstalledVersion, RemoveDrivers);
//   InstallerEngine - DriverInstaller's Plug-and-Play clean-up before an
//                     installation: no progress reports;
//   Uninstaller     - the uninstaller's removal (RemovePrinterObjects,
//                     RemoveFromOS, DeleteUninstallInfoFromReg,
//                     DeleteInstalledDirectory).
// On 64-bit Windows (the WOW64 flag) the spooler calls name the environment
// the driver is installed for, "Windows x64"; on 32-bit Windows they name
// none.
//
// All steps run on the owner's worker thread (DeleteUninstallInfoFromReg
// also on the uninstaller's dialog thread when nothing else is removed).
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/Log.h"
#include "support/OsDetect.h"
#include "support/Progress.h"

namespace zmp {

class DriverRemover {
public:
    enum class Variant { InstallerDialog, InstallerEngine, Uninstaller };

    // The strings come from the running program's table (Ui::LoadString)
    // with that program's ids. progress may be null (no reports).
    DriverRemover(Platform& platform, Log& log, Variant variant, ProgressSink* progress = nullptr);

    // From the dialog's initialisation, once detection has run. Until then
    // the context holds OS code 2010 and no WOW64.
    void SetSystemInfo(bool wow64, OsCode osCode);
    void SetProgressSink(ProgressSink* progress);

    // --- printer objects and drivers
    // Installer: deletes every local printer that uses the driver, then
    // RemoveDrivers. Shows a message box and ends the process (exit code 0)
    // when the printers cannot be enumerated.
    void RemoveInstalledVersion();
    void DeletePrinterObject(const std::string& printerName);
    void CancelPrinterJobs(PrinterHandle printer);
    // Uninstaller: the names the user left checked, in the order given; the
    // spooler is restarted afterwards.
    void RemovePrinterObjects(const std::vector<std::string>& printerNames);
    // Installer: RemoveFromOS and the Plug-and-Play steps, with completion report.
    void RemoveDrivers();
    // Forms, driver, monitor, processor, files, oem INF, uninstall entry.
    // The result of DeleteUninstallationInfo (the installer ignores it).
    bool RemoveFromOS();
    bool DeletePrinterDrv(const std::string& model);
    void DeleteForms();

    // --- language monitor and print processor
    void DeleteLanguageMonitor();
    void DeleteProcessor();

    // --- driver files and directories
    void DeleteDriverComponent();  // the installer logs it as "DeleteFilesUsed"
    void DeleteInstalledDirectory();  // uninstaller

    // --- Plug-and-Play traces
    void DeleteVidPid();
    // Removes every device of the USB enumerator (present or not) whose first
    // hardware id starts with deviceId (21 characters, case ignored). True
    // when the pass completed and the device list was destroyed.
    bool RemoveUsbDevices(const std::string& deviceId);
    void Delete_USB_Info();  // the installer dialog logs "Delete_LPT_USB_Info"
    void DeletePrnDrvPnPDirectory();
    void DeleteINFFile();

    // --- uninstall registration
    // False (and no END line) when the key could not be deleted.
    bool DeleteUninstallationInfo(const std::string& model);
    void DeleteUninstallInfoFromReg();  // uninstaller

    // How often SetupDiEnumDeviceInfo is retried at one index before the
    // pass is given up.
    static constexpr int kEnumDeviceRetries = 3;

private:
    enum class Text;
    std::string String(Text text);
    bool IsUninstaller() const { return variant_ == Variant::Uninstaller; }
    void Begin(const char* step);
    void End(const char* step);
    // A status report (when the owner takes them) and the pause after it.
    void Report(const char* text, ProgressSink::Bar bar, Dword sleepMilliseconds);
    // The report of the three Plug-and-Play steps, which differs by owner.
    void ReportPnpStep(const char* text);
    // DeleteFileA, a failure logged by ReportDeleteFileError.
    void DeleteFileLogged(const std::string& path);
    // GetPrinterDriverDirectoryA / GetPrintProcessorDirectoryA of the
    // environment the driver is installed for.
    Status GetDriverDirectory(std::string& out);
    Status GetProcessorDirectory(std::string& out);
    std::string WindowsDirectory();

    Platform& platform_;
    Log& log_;
    Variant variant_;
    ProgressSink* progress_;
    bool wow64_ = false;
    OsCode osCode_ = kOsUnknown;
};

}  // namespace zmp
