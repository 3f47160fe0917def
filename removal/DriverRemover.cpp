#include "removal/DriverRemover.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "removal/FileRemoval.h"
#include "support/OemInf.h"
#include "support/RegistryHelpers.h"
#include "support/SpoolerService.h"

namespace zmp {


namespace {

using Bar = ProgressSink::Bar;

constexpr const char* kPrintEnvironmentsKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\";
constexpr const char* kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr const char* kMonitorsKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
constexpr const char* kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kInstallRootFolder = "\\KORVANT Printer Driver";
constexpr std::size_t kDeviceIdCompareChars = 21;  // "USB\" + the 17-character hardware id
constexpr Dword kHardwareIdBufferSize = 100;
constexpr const char* kOldSuffix = ".old";  // the installer's copy fallback names its copies so

// Every ".inf" (exact case) replaced by ".PNF": the precompiled INF beside it.
std::string PnfPath(std::string path) {
    const std::string from = ".inf", to = ".PNF";
    for (std::size_t pos = path.find(from); pos != std::string::npos; pos = path.find(from, pos + to.size()))
        path.replace(pos, from.size(), to);
    return path;
}

// _strnicmp(first hardware id, deviceId, 21) == 0 on the MULTI_SZ property.
bool FirstIdMatches(const std::vector<char>& property, const std::string& deviceId) {
    for (std::size_t i = 0; i < kDeviceIdCompareChars; ++i) {
        unsigned char a = i < property.size() ? static_cast<unsigned char>(property[i]) : 0;
        unsigned char b = i < deviceId.size() ? static_cast<unsigned char>(deviceId[i]) : 0;
        if (std::tolower(a) != std::tolower(b)) return false;
        if (a == 0) return true;
    }
    return true;
}

}  // namespace

DriverRemover::DriverRemover(Platform& platform, Log& log, Variant variant, ProgressSink* progress)
    : platform_(platform), log_(log), variant_(variant), progress_(progress) {}

void DriverRemover::SetSystemInfo(bool wow64, OsCode osCode) {
    wow64_ = wow64;
    osCode_ = osCode;
}

void DriverRemover::SetProgressSink(ProgressSink* progress) { progress_ = progress; }

std::string DriverRemover::String(Text text) {
    // The uninstaller's table has no version digits, so its last five ids
    // are four lower than the installer's.
    const bool uninstaller = IsUninstaller();
    int id = 0;
    switch (text) {
        case Text::Model: id = 1; break;
        case Text::PrinterName: id = 2; break;
        case Text::MonitorName: id = 3; break;
        case Text::ProcessorName: id = 4; break;
        case Text::DriverDll: id = 5; break;
        case Text::MonitorDll: id = 6; break;
        case Text::ProcessorDll: id = 7; break;
        case Text::UiDll: id = 8; break;
        case Text::UnidrvPluginDll: id = 9; break;
        case Text::HardwareId: id = 12; break;
        case Text::PnpDirectory: id = 13; break;
        case Text::UsbEnumKey: id = 15; break;
        case Text::UninstallKey: id = 20; break;
        case Text::Maker: id = uninstaller ? 21 : 25; break;
        case Text::Gpd: id = uninstaller ? 22 : 26; break;
        case Text::Bud: id = uninstaller ? 23 : 27; break;
        case Text::UiIni: id = uninstaller ? 24 : 28; break;
        case Text::FormTag: id = uninstaller ? 25 : 29; break;
    }
    return platform_.ui.LoadString(id);
}

void DriverRemover::Begin(const char* step) {
    log_.WriteLog("\r\n");
    log_.WriteLog("%s BEGIN", step);
}

void DriverRemover::End(const char* step) { log_.WriteLog("%s END", step); }

void DriverRemover::Report(const char* text, ProgressSink::Bar bar, Dword sleepMilliseconds) {
    if (progress_ != nullptr) progress_->Report(text, bar);
    if (sleepMilliseconds != 0) platform_.clock.Sleep(sleepMilliseconds);
}

void DriverRemover::ReportPnpStep(const char* text) {
    // The installer dialog shows the text without stepping the bar; the
    // install engine's copies show nothing.
    switch (variant_) {
        case Variant::InstallerDialog: Report(text, Bar::None, 500); break;
        case Variant::Uninstaller: Report(text, Bar::Step, 500); break;
        case Variant::InstallerEngine: break;
    }
}

void DriverRemover::DeleteFileLogged(const std::string& path) {
    Status status = platform_.files.DeleteFile(path);
    if (!status.ok()) ReportDeleteFileError(log_, path, status.code);
}

bool DriverRemover::FileExists(const std::string& path) {
    return platform_.files.GetFileAttributes(path) != file::kInvalidFileAttributes;
}

void DriverRemover::DeleteFileIfPresent(const std::string& path) {
    if (FileExists(path)) DeleteFileLogged(path);
}

std::vector<std::string> DriverRemover::Environments() const {
    return {DriverEnvironment(wow64_), DriverEnvironment(!wow64_)};
}

bool DriverRemover::HasDriverIn(const std::string& environment, const std::string& driverName) {
    std::vector<DriverInfo3> drivers;
    if (!platform_.spooler.EnumPrinterDrivers(environment, 3, drivers).ok()) return false;
    for (const DriverInfo3& driver : drivers)
        if (driver.name == driverName) return true;
    return false;
}

bool DriverRemover::HasProcessorIn(const std::string& environment, const std::string& processorName) {
    std::vector<std::string> processors;
    if (!platform_.spooler.EnumPrintProcessorsFor(environment, processors).ok()) return false;
    for (const std::string& processor : processors)
        if (processor == processorName) return true;
    return false;
}

// Without an environment the spooler answers for this 32-bit program's own
// (w32x86), but on 64-bit Windows the driver, its processor and Plug and
// Play's staging directory are the system's x64 ones.
Status DriverRemover::GetDriverDirectory(std::string& out) {
    if (wow64_) return platform_.spooler.GetPrinterDriverDirectoryFor(DriverEnvironment(wow64_), out);
    return platform_.spooler.GetPrinterDriverDirectory(out);
}

Status DriverRemover::GetProcessorDirectory(std::string& out) {
    if (wow64_) return platform_.spooler.GetPrintProcessorDirectoryFor(DriverEnvironment(wow64_), out);
    return platform_.spooler.GetPrintProcessorDirectory(out);
}

std::string DriverRemover::WindowsDirectory() {
    std::string dir;
    platform_.files.GetWindowsDirectory(dir, 256);
    return dir;
}

std::string DriverRemover::SystemDirectory() {
    std::string dir;
    platform_.files.GetSystemDirectory(dir, 256);
    return dir;
}

// ---------------------------------------------------------------------------
// Printer objects and drivers

std::vector<std::string> DriverRemover::RemoveInstalledVersion() {
    Report("Deleting printer-objects...", Bar::Step, 0);

    std::vector<PrinterInfo2> printers;
    Status status = platform_.spooler.EnumPrinters(spool::kPrinterEnumLocal, printers);
    if (!status.ok()) {
        char head[64];
        std::snprintf(head, sizeof head, "EnumPrinters Error Code: %d\n\n", static_cast<int>(status.code));
        std::string text = head + platform_.system.FormatSystemMessage(status.code, sys::kLangEnglishUs);
        platform_.ui.MessageBox(platform_.ui.MainWindow(), text, mb::kIconExclamation);
        platform_.processes.ExitProcess(0);
    }

    // Exact, case-sensitive match: a driver of another case is another driver.
    const std::string driverName = String(Text::PrinterName);
    for (const PrinterInfo2& printer : printers) {
        if (printer.driverName == driverName) DeletePrinterObject(printer.printerName);
    }
    return RemoveDrivers();
}

void DriverRemover::DeletePrinterObject(const std::string& printerName) {
    PrinterDefaults defaults;
    defaults.datatype = "raw";
    defaults.desiredAccess = spool::kPrinterAllAccess;
    PrinterHandle printer = PrinterHandle::None;
    if (!platform_.spooler.OpenPrinter(printerName, defaults, printer).ok()) return;

    CancelPrinterJobs(printer);
    platform_.spooler.DeletePrinter(printer);
    platform_.spooler.ClosePrinter(printer);
}

void DriverRemover::CancelPrinterJobs(PrinterHandle printer) {
    bool any = false;
    std::optional<Dword> command;  // read once, with the first job
    // A printer deleted with jobs queued stays, pending deletion, until the
    // last one is gone, and keeps its driver in use: every job goes.
    for (int round = 0; round < kMaxJobRounds; ++round) {
        std::vector<JobInfo3> jobs;
        platform_.spooler.EnumJobs(printer, 0, 1000, 3, jobs);  // at most 1000 jobs a call
        if (jobs.empty()) break;
        any = true;
        if (!command) {
            // The 9x spooler and NT before 4.0 only cancel.
            OsVersionInfo version;
            version.size = sys::kOsVersionInfoSize;
            platform_.system.GetVersionEx(version);
            const bool cancelOnly =
                version.platformId == sys::kVerPlatformWin32Windows || version.majorVersion < 4;
            command = cancelOnly ? spool::kJobControlCancel : spool::kJobControlDelete;
        }
        bool progress = false;
        for (const JobInfo3& job : jobs)
            progress = platform_.spooler.SetJob(printer, job.jobId, *command).ok() || progress;
        // Jobs that will not go would be listed again and again.
        if (!progress) break;
    }
    if (any) platform_.clock.Sleep(1000);
}

void DriverRemover::RemovePrinterObjects(const std::vector<std::string>& printerNames) {
    Begin("RemovePrinterObjects");
    for (const std::string& name : printerNames) {
        log_.WriteLog("OBJECT NAME : %s", name.c_str());
        DeletePrinterObject(name);
    }
    RestartSpooler(platform_);
    End("RemovePrinterObjects");
}

std::vector<std::string> DriverRemover::RemoveDrivers() {
    Begin("RemoveDrivers");
    Report("Removing printer-driver...", Bar::Step, 1000);

    RemoveFromOS();
    DeleteVidPid();
    Delete_USB_Info();
    DeletePrnDrvPnPDirectory();

    // Completed only when the spooler shows it.
    std::vector<std::string> left = VerifyRemoval();
    Report(left.empty() ? kRemovalCompleted : kRemovalIncomplete, Bar::Complete, 1000);
    End("RemoveDrivers");
    return left;
}

bool DriverRemover::RemoveFromOS() {
    // The uninstaller's sequence writes no lines of its own.
    const bool logged = !IsUninstaller();
    if (logged) Begin("RemoveFromOS");

    const std::string model = String(Text::Model);
    DeleteForms();
    DeletePrinterDrv(model);
    DeleteLanguageMonitor();
    DeleteProcessor();
    DeleteDriverComponent();
    DeleteINFFile();
    bool result = DeleteUninstallationInfo(model);

    if (logged) End("RemoveFromOS");
    return result;
}

bool DriverRemover::DeletePrinterDrv(const std::string& model) {
    Begin("DeletePrinterDrv");
    if (IsUninstaller()) Report("Deleting printer-drivers...", Bar::None, 100);

    const std::string driverName = String(Text::Maker) + " " + model;
    const std::vector<std::string> environments = Environments();
    bool result = DeleteDriverIn(environments.front(), driverName, true);
    // Ours kept for clients of another environment goes too.
    for (std::size_t i = 1; i < environments.size(); ++i) {
        if (!HasDriverIn(environments[i], driverName)) continue;
        log_.WriteLog("ENVIRONMENT : %s", environments[i].c_str());
        result = DeleteDriverIn(environments[i], driverName, false) && result;
    }

    RestartSpooler(platform_);
    End("DeletePrinterDrv");
    return result;
}

bool DriverRemover::DeleteDriverIn(const std::string& environment, const std::string& driverName, bool native) {
    // Named on 64-bit Windows, because the spooler would otherwise look for
    // the driver in this 32-bit program's environment, not in the x64 one it
    // is installed for.
    Status status = native && !wow64_
                        ? platform_.spooler.DeletePrinterDriverEx(driverName, spool::kDpdDeleteUnusedFiles, 3)
                        : platform_.spooler.DeletePrinterDriverExFor(environment, driverName,
                                                                     spool::kDpdDeleteUnusedFiles, 3);
    if (status.ok()) return true;
    if (IsUninstaller())
        log_.WriteLog("DeletePrinterDriverEx returned FALSE. (%d)", static_cast<int>(status.code));
    if (status.code == err::kPrinterDriverInUse) {
        // A printer still uses it: tearing its keys out would leave that
        // printer without a driver. It stays, and the removal says so.
        log_.WriteLog("The printer driver is still in use; its registry keys are kept.");
        return false;
    }
    // The spooler refused otherwise (driver already gone): take its
    // registration out of the registry directly.
    long driverKey = DeleteMachineKey(platform_, log_, wow64_,
                                      std::string(kPrintEnvironmentsKey) + environment + "\\Drivers\\Version-3\\" +
                                          driverName);
    if (!native) return driverKey == 0;
    long printerKey = DeletePrinterKeyIfOurs(driverName);
    return driverKey == 0 && printerKey == 0;
}

long DriverRemover::DeletePrinterKeyIfOurs(const std::string& driverName) {
    const std::string key = kPrintersKey + driverName;
    Registry& registry = platform_.registry;
    RegKey opened = RegKey::None;
    Dword status = registry.OpenKey(registry.Root(RegRoot::LocalMachine), key,
                                    reg::kKeyQueryValue | (wow64_ ? reg::kKeyWow64_64Key : 0), opened);
    // No such printer: the deletion says so, as it always has.
    if (status == err::kFileNotFound) return DeleteMachineKey(platform_, log_, wow64_, key);
    std::string usedDriver;
    if (status == err::kSuccess) {
        status = registry.QueryStringValue(opened, "Printer Driver", 256, usedDriver);
        registry.CloseKey(opened);
    }
    if (status != err::kSuccess) {
        log_.WriteLog("PRINTER KEY KEPT : %s, PRINTER DRIVER UNREAD (%d)", key.c_str(), static_cast<int>(status));
        return static_cast<long>(status);
    }
    // A printer of our name on another driver is someone else's.
    if (usedDriver != driverName) {
        log_.WriteLog("PRINTER KEY KEPT : %s, PRINTER DRIVER : %s", key.c_str(), usedDriver.c_str());
        return 0;
    }
    return DeleteMachineKey(platform_, log_, wow64_, key);
}

void DriverRemover::DeleteForms() {
    Begin("DeleteForms");
    if (IsUninstaller()) Report("Deleting forms...", Bar::None, 100);

    PrinterHandle server = PrinterHandle::None;
    if (platform_.spooler.OpenPrinter(std::nullopt, std::nullopt, server).ok()) {
        std::vector<std::string> forms;
        platform_.spooler.EnumForms(server, forms);
        const std::string tag = String(Text::FormTag);
        for (const std::string& form : forms) {
            if (form.find(tag) == std::string::npos) continue;  // case-sensitive
            platform_.spooler.DeleteForm(server, form);
            log_.WriteLog("FORM NAMES : %s ", form.c_str());
        }
        platform_.spooler.ClosePrinter(server);
    }
    End("DeleteForms");
}

// ---------------------------------------------------------------------------
// Language monitor and print processor

void DriverRemover::DeleteLanguageMonitor() {
    Begin("DeleteLanguageMonitor");
    if (IsUninstaller()) Report("Deleting L/M...", Bar::None, 100);

    const std::string monitor = String(Text::MonitorName);
    Status status = platform_.spooler.DeleteMonitor(monitor);
    if (!status.ok()) {
        log_.WriteLog("DeleteMonitor Error : (%d)", static_cast<int>(status.code));
        if (status.code == err::kUnknownPrintMonitor)
            log_.WriteLog("The specified print monitor is unknown or not installed on this system.");
        DeleteMachineKey(platform_, log_, wow64_, kMonitorsKey + monitor);
    }

    // Attempted whatever the spooler said; a file still loaded stays and is logged.
    const std::string file = String(Text::MonitorDll);
    std::string systemDir;
    platform_.files.GetSystemDirectory(systemDir, 256);
    DeleteFileLogged(systemDir + "\\" + file);

    if (wow64_) {
        std::string wow64Dir;
        if (platform_.files.HasGetSystemWow64Directory() &&
            platform_.files.GetSystemWow64Directory(wow64Dir, 256) != 0) {
            DeleteFileLogged(wow64Dir + "\\" + file);
        }
        DeleteFileLogged(WindowsDirectory() + "\\" + file);
        // This program's system32 is redirected to SysWOW64 (the first two
        // attempts name the same directory), but Windows' own printer
        // installation puts the 64-bit monitor into the native system32.
        // From Vista on it is reached through the Sysnative alias; XP x64
        // has none, and there the monitor lives in the Windows directory.
        if (osCode_ >= kOsWinVista) DeleteFileLogged(WindowsDirectory() + "\\Sysnative\\" + file);
    }
    End("DeleteLanguageMonitor");
}

void DriverRemover::DeleteProcessor() {
    Begin("DeleteProcessor");
    if (IsUninstaller()) Report("Deleting the processor...", Bar::None, 100);

    const std::string processor = String(Text::ProcessorName);
    const std::vector<std::string> environments = Environments();
    DeleteProcessorIn(environments.front(), processor, true);
    for (std::size_t i = 1; i < environments.size(); ++i) {
        if (HasProcessorIn(environments[i], processor)) {
            log_.WriteLog("ENVIRONMENT : %s", environments[i].c_str());
            DeleteProcessorIn(environments[i], processor, false);
            continue;
        }
        // Not registered there, but its file may be.
        std::string dir;
        if (platform_.spooler.GetPrintProcessorDirectoryFor(environments[i], dir).ok() && !dir.empty())
            DeleteFileIfPresent(dir + "\\" + String(Text::ProcessorDll));
    }
    End("DeleteProcessor");
}

void DriverRemover::DeleteProcessorIn(const std::string& environment, const std::string& processorName, bool native) {
    Status status = native && !wow64_ ? platform_.spooler.DeletePrintProcessor(processorName)
                                      : platform_.spooler.DeletePrintProcessorFor(environment, processorName);
    bool gone = status.ok();
    if (!gone) {
        log_.WriteLog("DeleteMonitor Error : (%d)", static_cast<int>(status.code));
    } else if (HasProcessorIn(environment, processorName)) {
        // A spooler that says so but still lists it (Wine's does) has not
        // deleted it: its key goes as when the spooler refuses.
        log_.WriteLog("The print processor is still listed after its deletion.");
        gone = false;
    }
    if (!gone)
        DeleteMachineKey(platform_, log_, wow64_,
                         std::string(kPrintEnvironmentsKey) + environment + "\\Print Processors\\" + processorName);

    std::string processorDir;
    if (native)
        GetProcessorDirectory(processorDir);
    else
        platform_.spooler.GetPrintProcessorDirectoryFor(environment, processorDir);
    DeleteFileLogged(processorDir + "\\" + String(Text::ProcessorDll));
    // No further deletion here: the installer's table has no second
    // processor file, and a nameless one would only name the directory itself.
}

// ---------------------------------------------------------------------------
// Driver files and directories

void DriverRemover::DeleteDriverComponent() {
    const char* step = IsUninstaller() ? "DeleteDriverComponent" : "DeleteFilesUsed";
    Begin(step);
    if (IsUninstaller()) Report("Deleting driver-components...", Bar::Step, 100);

    std::string windowsDir;
    if (platform_.files.GetWindowsDirectory(windowsDir, 256) == 0) {
        windowsDir.clear();
        log_.WriteLog("GetWindowsDirectory failed");
    }
    std::string driverDir;
    Status status = GetDriverDirectory(driverDir);
    if (!status.ok()) {
        driverDir.clear();
        log_.WriteLog("GetPrinterDriverDirectory failed. (%d)", static_cast<int>(status.code));
    }
    if (IsUninstaller()) {
        log_.WriteLog("PrinterDriverDirectory : %s", driverDir.c_str());
        log_.WriteLog("WindowsDirectory : %s", windowsDir.c_str());
    }

    enum class Dir { Windows, DriverV3 };
    struct Row {
        Dir dir;
        Text file;
        bool installer;
    };
    static const Row kRows[] = {
        {Dir::Windows, Text::DriverDll, true},
        {Dir::DriverV3, Text::DriverDll, false},  // the uninstaller only
        {Dir::DriverV3, Text::Gpd, true},
        {Dir::Windows, Text::Gpd, true},
        {Dir::DriverV3, Text::Bud, true},
        {Dir::DriverV3, Text::UiDll, true},
        {Dir::Windows, Text::UiDll, true},
        // A second attempt at the user-interface DLL: it can only fail and
        // log, but the log has always shown it.
        {Dir::DriverV3, Text::UiDll, true},
        {Dir::Windows, Text::UnidrvPluginDll, true},
        {Dir::DriverV3, Text::UnidrvPluginDll, true},
        {Dir::Windows, Text::UiIni, true},
    };
    std::vector<std::string> rows, named;  // this program's rows; every row's file
    for (const Row& row : kRows) {
        const std::string base = row.dir == Dir::Windows ? windowsDir + "\\" : driverDir + "\\3\\";
        named.push_back(base + String(row.file));
        if (row.installer || IsUninstaller()) rows.push_back(named.back());
    }

    // And what of ours may be there or not, looked for while the spooler
    // can still name its directories: the driver's own files left in either
    // environment's version folder (the spooler takes them with the driver,
    // the registry fallback does not), and the installer's left copies.
    std::vector<std::string> versionFolders;
    if (!driverDir.empty()) versionFolders.push_back(driverDir + "\\3\\");
    const std::vector<std::string> environments = Environments();
    for (std::size_t i = 1; i < environments.size(); ++i) {
        std::string dir;
        if (platform_.spooler.GetPrinterDriverDirectoryFor(environments[i], dir).ok() && !dir.empty())
            versionFolders.push_back(dir + "\\3\\");
    }
    std::vector<std::string> leftBehind;
    for (const std::string& folder : versionFolders)
        for (Text file : kOwnDriverFiles)
            if (std::find(named.begin(), named.end(), folder + String(file)) == named.end())
                leftBehind.push_back(folder + String(file));
    std::string processorDir;
    GetProcessorDirectory(processorDir);
    for (const std::string& path : LeftCopies(windowsDir, SystemDirectory(), driverDir, processorDir))
        leftBehind.push_back(path);

    // The files as the spooler and Unidrv left them; the spooler is stopped
    // so that it holds none of them.
    StopSpooler(platform_, 1500);
    for (const std::string& path : rows) DeleteFileLogged(path);
    for (const std::string& path : leftBehind) DeleteFileIfPresent(path);

    End(step);
    StartSpooler(platform_, 2000);
}

std::vector<std::string> DriverRemover::LeftCopies(const std::string& windowsDir, const std::string& systemDir,
                                                   const std::string& driverDir, const std::string& processorDir) {
    // Where the installer copies them: the driver's own files into the
    // Windows directory and the driver directory, the monitor into the
    // system directory (the Windows directory on 64-bit Windows), the
    // processor into the processor directory.
    std::vector<std::string> copies;
    if (!driverDir.empty())
        for (Text file : kStagedFiles) copies.push_back(driverDir + "\\" + String(file));
    for (const std::string& dir : {windowsDir, driverDir}) {
        if (dir.empty()) continue;
        for (Text file : kStagedFiles) copies.push_back(dir + "\\" + String(file) + kOldSuffix);
    }
    for (const std::string& dir : {systemDir, windowsDir})
        if (!dir.empty()) copies.push_back(dir + "\\" + String(Text::MonitorDll) + kOldSuffix);
    if (!processorDir.empty()) copies.push_back(processorDir + "\\" + String(Text::ProcessorDll) + kOldSuffix);
    return copies;
}

void DriverRemover::DeleteInstalledDirectory() {
    Begin("DeleteInstalledDirectory");

    const std::string drive = WindowsDirectory().substr(0, 2);
    const std::string parent = drive + kInstallRootFolder;
    const std::string modelDir = parent + "\\" + String(Text::Model);

    FileSystem& files = platform_.files;
    if (files.GetFileAttributes(modelDir) != file::kInvalidFileAttributes) {
        DeleteDirectoryTree(files, modelDir);
        log_.WriteLog("DIRECTORY : %s", modelDir.c_str());
    }
    // Kept while another model's folder is still in it.
    if (files.GetFileAttributes(parent) != file::kInvalidFileAttributes) {
        Status status = files.RemoveDirectory(parent);
        if (!status.ok() && status.code != err::kDirNotEmpty)
            log_.WriteLog("Failed to remove the directory : %s, (%d)", parent.c_str(),
                          static_cast<int>(status.code));
    }
    End("DeleteInstalledDirectory");
}

// ---------------------------------------------------------------------------
// Plug-and-Play traces

void DriverRemover::DeleteVidPid() {
    Begin("DeleteVidPid");
    ReportPnpStep("Deleting Vid & Pid info...");

    const std::string deviceId = "USB\\" + String(Text::HardwareId);
    RemoveUsbDevices(deviceId);

    log_.WriteLog("VID&PID : %s", deviceId.c_str());
    End("DeleteVidPid");
}

bool DriverRemover::RemoveUsbDevices(const std::string& deviceId) {
    SetupApi& setup = platform_.setup;
    return ForEachUsbDevice(deviceId,
                            [&](DevInfoSet devices, const DevInfoData& device) {
                                return setup.RemoveDevice(devices, device).ok();
                            });
}

bool DriverRemover::ForEachUsbDevice(const std::string& deviceId,
                                     const std::function<bool(DevInfoSet, const DevInfoData&)>& onMatch) {
    SetupApi& setup = platform_.setup;

    // Every device of the USB enumerator, also those not plugged in.
    DevInfoSet devices = DevInfoSet::None;
    if (!setup.GetClassDevs("USB", setup::kDigcfAllClasses, devices).ok() || devices == DevInfoSet::None)
        return false;

    int failures = 0;  // consecutive failed attempts at the current index
    for (Dword index = 0;;) {
        DevInfoData device;
        device.cbSize = setup::kSpDevinfoDataSize32;
        Status status = setup.EnumDeviceInfo(devices, index, device);
        if (!status.ok()) {
            if (status.code == err::kNoMoreItems) return setup.DestroyDeviceInfoList(devices).ok();
            // Tried again a few times; an enumeration that keeps failing
            // ends the pass, as an incomplete one.
            if (++failures > kEnumDeviceRetries) {
                setup.DestroyDeviceInfoList(devices);
                return false;
            }
            continue;
        }
        failures = 0;

        // A hardware-id list longer than the buffer fails: that device is skipped.
        std::vector<char> hardwareIds;
        if (setup.GetDeviceRegistryProperty(devices, device, setup::kSpdrpHardwareId, kHardwareIdBufferSize,
                                            hardwareIds)
                .ok() &&
            FirstIdMatches(hardwareIds, deviceId) && !onMatch(devices, device)) {
            setup.DestroyDeviceInfoList(devices);
            return false;
        }
        ++index;
    }
}

void DriverRemover::Delete_USB_Info() {
    // Inside the installer dialog's RemoveDrivers the step has its older name.
    const char* step = variant_ == Variant::InstallerDialog ? "Delete_LPT_USB_Info" : "Delete_USB_Info";
    Begin(step);
    ReportPnpStep("Deleting information of LPT and USB...");

    const std::string key = String(Text::UsbEnumKey);
    GrantAndDeleteRegKey(platform_, log_, "HKLM\\" + key, key, wow64_);
    End(step);
}

void DriverRemover::DeletePrnDrvPnPDirectory() {
    Begin("DeletePrnDrvPnPDirectory");
    ReportPnpStep("Deleting PNP directories...");

    std::string driverDir;
    Status status = GetDriverDirectory(driverDir);
    const std::string directory = driverDir + "\\" + String(Text::PnpDirectory);
    // Without the driver directory the path would be relative to the
    // current drive's root: no tree is deleted there.
    if (status.ok() && !driverDir.empty()) DeleteDirectoryTree(platform_.files, directory);

    log_.WriteLog("DIR PATH-1 : %s ", directory.c_str());
    End("DeletePrnDrvPnPDirectory");
}

void DriverRemover::DeleteINFFile() {
    Begin("DeleteINFFile");
    const bool uninstaller = IsUninstaller();
    if (uninstaller) Report("Deleting the INF file...", Bar::None, 100);

    const std::string section = String(Text::Maker) + (wow64_ ? ".NTamd64" : "");
    if (uninstaller) log_.WriteLog("SECTION NAME : %s", section.c_str());
    const std::string key = String(Text::PrinterName);
    if (uninstaller) log_.WriteLog("KEY NAME : %s", key.c_str());

    SetupApi& setup = platform_.setup;
    bool found = false;
    auto handle = [&](const std::string& name) {
        found = true;
        const std::string infPath = WindowsDirectory() + "\\inf\\" + name;
        if (wow64_ || osCode_ > kOsWinServer2003) {
            // Vista and later, and 64-bit Windows, keep a driver store that
            // only SetupUninstallOEMInf cleans.
            if (!setup.HasUninstallOEMInf()) return;
            Status removed = setup.UninstallOEMInf(name, setup::kSuoiForceDelete);
            if (removed.ok()) {
                DeleteFileLogged(PnfPath(infPath));
            } else if (uninstaller) {
                log_.WriteLog("fnSetupUninstallOEMInf failed, %s, %d", name.c_str(),
                              static_cast<int>(removed.code));
            }
        } else {
            Status deleted = platform_.files.DeleteFile(infPath);
            if (!deleted.ok())
                ReportDeleteFileError(log_, infPath, deleted.code);
            else if (uninstaller)
                log_.WriteLog("'%s' has been deleted successfully.", infPath.c_str());
            DeleteFileLogged(PnfPath(infPath));
        }
    };
    ForEachOemInfWithLine(setup, section, key, handle, [&](Dword code) {
        if (uninstaller) log_.WriteLog("SetupOpenInfFile failed. %d", static_cast<int>(code));
    });

    if (uninstaller && !found) log_.WriteLog("The key name was not found.");
    End("DeleteINFFile");
}

// ---------------------------------------------------------------------------
// Uninstall registration

bool DriverRemover::DeleteUninstallationInfo(const std::string& model) {
    Begin("DeleteUninstallationInfo");
    const std::string key = kUninstallRoot + String(Text::Maker) + "_" + model;
    if (IsUninstaller()) log_.WriteLog("RegKey : %s", key.c_str());

    if (DeleteMachineKey(platform_, log_, wow64_, key) != 0) return false;  // no END line
    End("DeleteUninstallationInfo");
    return true;
}

void DriverRemover::DeleteUninstallInfoFromReg() {
    Begin("DeleteUninstallInfoFromReg");
    const std::string key = String(Text::UninstallKey);
    log_.WriteLog("REGKEY : %s", key.c_str());

    // Opened first, in the view it will be deleted from: a key that does not
    // open is taken as already gone.
    Registry& registry = platform_.registry;
    Dword access = reg::kKeyRead | reg::kKeyWrite | (wow64_ ? reg::kKeyWow64_64Key : 0);
    RegKey opened = RegKey::None;
    if (registry.OpenKey(registry.Root(RegRoot::LocalMachine), key, access, opened) == err::kSuccess) {
        DeleteMachineKey(platform_, log_, wow64_, key);
        registry.CloseKey(opened);
    }
    End("DeleteUninstallInfoFromReg");
}

}  // namespace zmp
