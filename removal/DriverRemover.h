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
// none. The driver and processor steps also take ours out of the other
// environment ("Windows NT x86" on 64-bit Windows), where a print server
// keeps additional drivers for its clients.
//
// All steps run on the owner's worker thread (DeleteUninstallInfoFromReg
// also on the uninstaller's dialog thread when nothing else is removed).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "support/Log.h"
#include "support/OsDetect.h"
#include "support/Progress.h"

namespace zmp {

// The completion texts of a removal, in both programs: the second when
// something of ours is still installed afterwards.
constexpr const char* kRemovalCompleted = "The uninstallation has been completed.";
constexpr const char* kRemovalIncomplete = "The uninstallation could not be completed.";

// What a removal left, for a message: "Still installed:" and one line per part.
std::string LeftoversText(const std::vector<std::string>& left);

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
    // RemoveDrivers; what of ours is still installed afterwards (empty when
    // all went). Shows a message box and ends the process (exit code 0)
    // when the printers cannot be enumerated.
    std::vector<std::string> RemoveInstalledVersion();
    void DeletePrinterObject(const std::string& printerName);
    // Deletes every queued job: EnumJobs hands out at most 1000 at a time,
    // so it is asked again until it returns none, at most kMaxJobRounds
    // times, and no more once a round deleted nothing.
    void CancelPrinterJobs(PrinterHandle printer);
    // Uninstaller: the names the user left checked, in the order given; the
    // spooler is restarted afterwards.
    void RemovePrinterObjects(const std::vector<std::string>& printerNames);
    // Installer: RemoveFromOS and the Plug-and-Play steps, then
    // VerifyRemoval; what is still installed. The completion report says
    // whether the removal was complete.
    std::vector<std::string> RemoveDrivers();
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

    // The environments ours may be registered in, and the removal acts in:
    // the one the driver is installed for first, then the other one, where
    // a print server keeps additional drivers for clients of that kind
    // ("Windows NT x86" on 64-bit Windows; a release that knows no
    // "Windows x64" refuses it).
    std::vector<std::string> Environments() const;

    // --- what is installed (RemovalCheck.cpp)
    // After a removal: what of ours the spooler still has, in either
    // environment: printers using the driver, the driver, the print
    // processor, the language monitor; one line each, logged as
    // "STILL INSTALLED : %s". A spooler that cannot be asked counts as
    // something left. Empty when the removal is complete.
    std::vector<std::string> VerifyRemoval();
    // Uninstaller, when the driver itself is absent: the other parts of ours
    // an installation that failed half way may have left (those of
    // VerifyRemoval, oem INF, USB device and key, Plug-and-Play folder,
    // driver, monitor and processor files, ".old" copies); each logged as
    // "COMPONENT FOUND : %s".
    std::vector<std::string> FindOwnComponents();

    // How often SetupDiEnumDeviceInfo is retried at one index before the
    // pass is given up.
    static constexpr int kEnumDeviceRetries = 3;
    // How many rounds of at most 1000 jobs CancelPrinterJobs deletes.
    static constexpr int kMaxJobRounds = 100;

private:
    // The texts the steps take from the program's string table.
    enum class Text {
        Model,
        PrinterName,  // also the driver's name
        MonitorName,
        ProcessorName,
        DriverDll,
        MonitorDll,
        ProcessorDll,
        UiDll,
        UnidrvPluginDll,
        HardwareId,
        PnpDirectory,
        UsbEnumKey,
        UninstallKey,
        Maker,
        Gpd,
        Bud,
        UiIni,
        FormTag,
    };
    std::string String(Text text);
    // The driver's own files in its version folder, and those of them the
    // installer stages in the driver directory and copies aside as ".old".
    static constexpr Text kOwnDriverFiles[] = {Text::DriverDll, Text::Gpd, Text::Bud,
                                               Text::UiDll, Text::UnidrvPluginDll, Text::UiIni};
    static constexpr Text kStagedFiles[] = {Text::DriverDll, Text::UiDll, Text::UnidrvPluginDll, Text::UiIni,
                                            Text::Gpd};
    bool IsUninstaller() const { return variant_ == Variant::Uninstaller; }
    void Begin(const char* step);
    void End(const char* step);
    // A status report (when the owner takes them) and the pause after it.
    void Report(const char* text, ProgressSink::Bar bar, Dword sleepMilliseconds);
    // The report of the three Plug-and-Play steps, which differs by owner.
    void ReportPnpStep(const char* text);
    // DeleteFileA, a failure logged by ReportDeleteFileError.
    void DeleteFileLogged(const std::string& path);
    // The same for a file that may well never have been made: nothing is
    // tried (or logged) when it is not there.
    void DeleteFileIfPresent(const std::string& path);
    bool FileExists(const std::string& path);
    // Whether the spooler lists ours for that environment.
    bool HasDriverIn(const std::string& environment, const std::string& driverName);
    bool HasProcessorIn(const std::string& environment, const std::string& processorName);
    // DeletePrinterDriverExA for one environment and, when the spooler
    // refuses, the registry fallback; true when the driver went.
    bool DeleteDriverIn(const std::string& environment, const std::string& driverName, bool native);
    // The fallback's printer key, named like the driver, goes only if that
    // printer uses the driver: someone may have named another printer so.
    long DeletePrinterKeyIfOurs(const std::string& driverName);
    // DeletePrintProcessorA for one environment, the registry fallback, the file.
    void DeleteProcessorIn(const std::string& environment, const std::string& processorName, bool native);
    // Every device of the USB enumerator, present or not, whose first
    // hardware id starts with deviceId (21 characters, case ignored) goes to
    // onMatch; false from it ends the pass. True when the pass ran through
    // and the device list was destroyed.
    bool ForEachUsbDevice(const std::string& deviceId,
                          const std::function<bool(DevInfoSet, const DevInfoData&)>& onMatch);
    // Copies of ours the installer may have left: the files it stages in
    // the driver directory (an installation that stopped half way never
    // deleted them) and the ".old" copies its copy fallback leaves beside
    // files that were in use, of the driver's own files, the monitor and
    // the processor; in the directories given (empty ones are left out).
    std::vector<std::string> LeftCopies(const std::string& windowsDir, const std::string& systemDir,
                                        const std::string& driverDir, const std::string& processorDir);
    // Whether the key opens (under HKEY_LOCAL_MACHINE, in the view the
    // removal deletes from): 0, 2 when it is absent, or why it did not.
    Dword OpenKeyCheck(const std::string& subKey);
    // Ours registered with the spooler: printers on the driver, driver and
    // processor in either environment, the monitor's key. With
    // countUnanswered, an enumeration that fails adds an "unknown:" line.
    std::vector<std::string> RegisteredParts(bool countUnanswered);
    // GetPrinterDriverDirectoryA / GetPrintProcessorDirectoryA of the
    // environment the driver is installed for.
    Status GetDriverDirectory(std::string& out);
    Status GetProcessorDirectory(std::string& out);
    std::string WindowsDirectory();
    std::string SystemDirectory();

    Platform& platform_;
    Log& log_;
    Variant variant_;
    ProgressSink* progress_;
    bool wow64_ = false;
    OsCode osCode_ = kOsUnknown;
};

}  // namespace zmp
