// The fault sweep: every seam call a main scenario makes is made to fail,
// one run per call site and code, and every run must still end, with an
// allowed exit code, show the failure where it belongs (a log line with the
// code, a message box, or a documented silence) and remove nothing the
// scenario was not asked to remove.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <map>
#include <set>
#include <thread>

#include "tests/sweep/SweepFixture.h"

namespace zmp::sweep {
namespace {

constexpr Dword kCallNotImplemented = 120;  // GetSystemWow64DirectoryA on 32-bit Windows
constexpr Dword kBadNetPath = 53;
constexpr Dword kDiskFull = 112;
constexpr Dword kPrivilegeNotHeld = 1314;
constexpr Dword kNoSuchPrivilege = 1313;
constexpr Dword kInfLineNotFound = 0xE0000102;
constexpr Dword kUnknownEnvironment = 1805;
constexpr Dword kInfInUse = 0xE000023D;  // SetupUninstallOEMInf of an INF a device uses

// The codes a call is made to fail with: the usual refusal of that call and
// the specific codes the steps treat on their own.
const std::map<std::string, std::vector<Dword>>& Codes() {
    static const std::map<std::string, std::vector<Dword>> codes = {
        {"FileSystem.GetWindowsDirectory", {err::kNotEnoughMemory}},
        {"FileSystem.GetSystemDirectory", {err::kNotEnoughMemory}},
        {"FileSystem.HasGetSystemWow64Directory", {err::kProcNotFound}},
        {"FileSystem.GetSystemWow64Directory", {kCallNotImplemented}},
        {"FileSystem.GetCurrentDirectory", {err::kNotEnoughMemory}},
        {"FileSystem.CopyFile", {err::kAccessDenied, err::kSharingViolation, err::kFileNotFound}},
        {"FileSystem.DeleteFile", {err::kAccessDenied, err::kSharingViolation}},
        {"FileSystem.Rename", {err::kAccessDenied}},
        {"FileSystem.GetFileAttributes", {err::kAccessDenied}},
        {"FileSystem.SetFileAttributes", {err::kAccessDenied}},
        {"FileSystem.CreateDirectory", {err::kAccessDenied, err::kAlreadyExists}},
        {"FileSystem.RemoveDirectory", {err::kAccessDenied, err::kDirNotEmpty}},
        {"FileSystem.FindFirstFile", {err::kAccessDenied}},
        {"FileSystem.FindNextFile", {err::kInvalidHandle}},
        {"FileSystem.GetPrivateProfileString", {err::kFileNotFound}},
        {"FileSystem.OpenForAppend", {err::kSharingViolation}},
        {"FileSystem.GetFileLinks", {err::kInvalidHandle}},
        {"FileSystem.CreateDirectoryWithDaclOf", {err::kAccessDenied}},
        {"FileSystem.SetDirectoryDacl", {err::kAccessDenied}},
        {"FileSystem.WriteFile", {kDiskFull}},
        {"Registry.OpenKey", {err::kAccessDenied}},
        {"Registry.CreateKey", {err::kAccessDenied}},
        {"Registry.SetStringValue", {err::kAccessDenied}},
        {"Registry.SetDwordValue", {err::kAccessDenied}},
        {"Registry.ConnectRegistry", {kBadNetPath}},
        {"Registry.ShDeleteKey", {err::kAccessDenied}},
        {"Registry.HasRegDeleteKeyEx", {err::kProcNotFound}},
        {"Registry.RegDeleteKeyEx", {err::kAccessDenied}},
        {"Registry.QueryStringValue", {err::kAccessDenied, err::kFileNotFound}},
        {"Registry.EnumKey", {err::kAccessDenied}},
        {"Registry.GetKeyDacl", {err::kAccessDenied}},
        {"Registry.SetKeyDacl", {err::kAccessDenied}},
        {"Registry.GetNamedKeyDacl", {err::kAccessDenied}},
        {"Registry.SetNamedKeyDacl", {err::kAccessDenied}},
        {"Registry.SetEntriesInAcl", {err::kNoneMapped}},
        {"Registry.AllocateWellKnownSid", {err::kNotEnoughMemory}},
        {"Spooler.EnumPrinters", {err::kRpcServerUnavailable}},
        {"Spooler.EnumPrinterDrivers", {err::kRpcServerUnavailable, kUnknownEnvironment}},
        {"Spooler.EnumPrinterDrivers6", {err::kRpcServerUnavailable, kUnknownEnvironment}},
        {"Spooler.EnumPrintProcessors", {err::kRpcServerUnavailable}},
        {"Spooler.EnumPrintProcessorsFor", {err::kRpcServerUnavailable, kUnknownEnvironment}},
        {"Spooler.OpenPrinter", {err::kRpcServerUnavailable, err::kInvalidPrinterName}},
        {"Spooler.GetPrinterDataDword", {err::kRpcServerUnavailable, err::kFileNotFound}},
        {"Spooler.EnumJobs", {err::kRpcServerUnavailable}},
        {"Spooler.SetJob", {err::kRpcServerUnavailable, err::kInvalidParameter}},
        {"Spooler.DeletePrinter", {err::kRpcServerUnavailable, err::kAccessDenied}},
        {"Spooler.EnumForms", {err::kRpcServerUnavailable}},
        {"Spooler.DeleteForm", {err::kRpcServerUnavailable, err::kAccessDenied}},
        {"Spooler.DeletePrinterDriverEx",
         {err::kRpcServerUnavailable, err::kPrinterDriverInUse, err::kUnknownPrinterDriver}},
        {"Spooler.DeletePrinterDriverExFor",
         {err::kRpcServerUnavailable, err::kPrinterDriverInUse, err::kUnknownPrinterDriver}},
        {"Spooler.AddMonitor", {err::kRpcServerUnavailable, err::kPrintMonitorAlreadyInstalled, err::kModNotFound}},
        {"Spooler.DeleteMonitor", {err::kRpcServerUnavailable, err::kUnknownPrintMonitor, err::kPrintMonitorInUse}},
        {"Spooler.GetPrintProcessorDirectory", {err::kRpcServerUnavailable}},
        {"Spooler.AddPrintProcessor",
         {err::kRpcServerUnavailable, err::kPrintProcessorAlreadyInstalled, err::kModNotFound}},
        {"Spooler.DeletePrintProcessor", {err::kRpcServerUnavailable, err::kUnknownPrintProcessor}},
        {"Spooler.DeletePrintProcessorFor", {err::kRpcServerUnavailable, err::kUnknownPrintProcessor}},
        {"Spooler.GetPrinterDriverDirectory", {err::kRpcServerUnavailable}},
        {"Spooler.GetPrintProcessorDirectoryFor", {err::kRpcServerUnavailable}},
        {"Spooler.GetPrinterDriverDirectoryFor", {err::kRpcServerUnavailable}},
        {"Spooler.AddPrinterDriver", {err::kRpcServerUnavailable, err::kModNotFound, err::kFileNotFound}},
        {"Spooler.AddPrinter", {err::kRpcServerUnavailable, err::kUnknownPort}},
        {"Spooler.XcvData", {err::kRpcServerUnavailable, err::kInvalidHandle}},
        {"SetupApi.GetInfFileList", {err::kAccessDenied}},
        {"SetupApi.OpenInfFile", {err::kFileNotFound}},
        {"SetupApi.FindFirstLine", {kInfLineNotFound}},
        {"SetupApi.CopyOEMInf", {err::kFileExists, err::kAccessDenied}},
        {"SetupApi.HasUninstallOEMInf", {err::kProcNotFound}},
        {"SetupApi.UninstallOEMInf", {err::kAccessDenied, kInfInUse}},
        {"SetupApi.GetClassDevs", {err::kInvalidData}},
        {"SetupApi.EnumDeviceInfo", {err::kNoMoreItems, err::kInvalidHandle}},
        {"SetupApi.GetDeviceRegistryProperty", {err::kInsufficientBuffer}},
        {"SetupApi.RemoveDevice", {err::kAccessDenied}},
        {"SetupApi.DestroyDeviceInfoList", {err::kInvalidHandle}},
        {"Processes.WinExec", {err::kFileNotFound}},
        {"Processes.CreateProcess", {err::kFileNotFound}},
        {"Processes.WaitForSingleObject", {err::kInvalidHandle}},
        {"Processes.GetExitCodeProcess", {err::kInvalidHandle}},
        {"Services.QueryServiceStatus", {err::kAccessDenied}},
        {"SystemInfo.GetVersionEx", {err::kInsufficientBuffer}},
        {"SystemInfo.HasIsWow64Process", {err::kProcNotFound}},
        {"SystemInfo.IsWow64Process", {err::kInvalidHandle}},
        {"SystemInfo.FormatSystemMessage", {317}},
        {"Power.OpenProcessToken", {err::kAccessDenied}},
        {"Power.LookupPrivilegeValue", {kNoSuchPrivilege}},
        {"Power.AdjustTokenPrivileges", {err::kAccessDenied}},
        {"Power.ExitWindowsEx", {kPrivilegeNotHeld}},
        {"Modules.HasSetDefaultDllDirectories", {err::kProcNotFound}},
        {"Modules.SetDefaultDllDirectories", {err::kInvalidParameter}},
        {"Modules.HasSetDllDirectory", {err::kProcNotFound}},
        {"Modules.SetDllDirectory", {err::kInvalidParameter}},
        {"Modules.LoadLibrary", {err::kModNotFound, err::kProcNotFound}},
    };
    return codes;
}

// Calls that cannot fail in Windows: their switch is ignored.
const std::set<std::string>& CannotFail() {
    static const std::set<std::string> calls = {
        "Clock.GetLocalTime",
        "Clock.Sleep",
        "FileSystem.CharPrev",
        "Registry.Root",
        "Processes.ExitProcess",
        "Processes.CloseHandle",
        "FileSystem.FindClose",
        "FileSystem.CloseFile",
        "Registry.CloseKey",
        "Registry.FreeSid",
        "Registry.LocalFreeAcl",
        "Registry.LocalFreeDescriptor",
        "Spooler.ClosePrinter",
        "SetupApi.CloseInfFile",
    };
    return calls;
}

// Failures the programs deliberately keep quiet about, by call and step
// ("*": any step; "-": outside every step). Anything not here must show in
// the log with its code, or in a message box.
enum class Who { Both, Installer, Uninstaller };
struct Silence {
    const char* method;
    const char* step;
    const char* why;
    Who who = Who::Both;
    unsigned upTo = 0;  // only the first calls of the method in that step; 0: all
};
const Silence kSilences[] = {
    // The log itself.
    {"FileSystem.OpenForAppend", "*", "a line the log file cannot take is lost; the run goes on without it"},
    {"FileSystem.WriteFile", "*", "the log writer ignores its writes' results"},
    {"FileSystem.GetFileLinks", "*", "a log line whose file cannot be looked at is lost, never written blind"},
    {"FileSystem.CreateDirectoryWithDaclOf", "-", "the log folder is then made as Windows makes a folder"},
    {"FileSystem.GetWindowsDirectory", "-",
     "the log and the configuration paths then start at the current drive's root and the reads find nothing"},
    {"FileSystem.CreateDirectory", "-", "the log's Temp folder usually exists; its creation is not checked"},
    {"FileSystem.DeleteFile", "-", "the previous run's log may well be absent"},
    // The configuration file: two places, then the failure block.
    {"FileSystem.GetCurrentDirectory", "-", "the first configuration path is then the bare file name"},
    {"FileSystem.GetPrivateProfileString", "-", "the other configuration file answers, or the failure block is logged"},
    {"FileSystem.GetCurrentDirectory", "CopyINFFile", "the INF is then named relative to the current directory"},
    // OS detection: retried, and a missing IsWow64Process means a 32-bit system.
    {"SystemInfo.GetVersionEx", "CheckOS", "read again, and again with the short record"},
    {"SystemInfo.HasIsWow64Process", "-", "without the function the process is not under WOW64; the line says which"},
    {"SystemInfo.IsWow64Process", "-", "its own result is not examined; the line says which way it went"},
    // The spooler service commands are started and never waited for.
    {"Processes.WinExec", "*", "net start/stop spooler are not waited for and their results are not examined"},
    {"FileSystem.GetSystemDirectory", "RemovePrinterObjects",
     "no folder to start net.exe from: like a net command that fails, not examined"},
    {"FileSystem.GetSystemDirectory", "DeletePrinterDrv",
     "no folder to start net.exe from: like a net command that fails, not examined"},
    {"Services.QueryServiceStatus", "*", "a service state that cannot be read ends the wait after the fixed pause"},
    // The version check: what cannot be read counts as older.
    {"Spooler.EnumPrinters", "-", "the version check goes on with the drivers and the processors"},
    {"Spooler.OpenPrinter", "-", "a printer that cannot be opened reports no version: older"},
    {"Spooler.GetPrinterDataDword", "-", "a version number that cannot be read counts as 0"},
    {"Spooler.EnumPrinterDrivers", "-", "the version check goes on with the print processors"},
    {"Spooler.EnumPrinterDrivers6", "-", "the version check goes on with the print processors"},
    {"Spooler.EnumPrintProcessors", "-", "nothing found: not installed"},
    {"Spooler.EnumPrintProcessorsFor", "-", "nothing found: not installed"},
    {"Spooler.EnumPrinterDrivers", "PrinterDrvExist", "a failed enumeration is a missing driver; the line says so"},
    // The free name of a second printer object.
    {"Spooler.OpenPrinter", "AddToWin2K", "a name that cannot be opened is taken as free"},
    // File copies: Unidrv's own files unchecked, the rest through the fallback.
    {"FileSystem.CopyFile", "CopyFilesNeededToAddPrnDrv", "Unidrv's four files are copied without a check",
     Who::Installer, 4},
    {"FileSystem.DeleteFile", "DeleteFilesUsed", "Unidrv's four staged files are deleted without a check",
     Who::Installer, 4},
    {"FileSystem.Rename", "*", "the fallback copies again whatever the rename did; that copy's failure is logged"},
    {"FileSystem.GetFileAttributes", "*", "a probe: a path that cannot be read is taken as absent"},
    {"Spooler.AddPrinterDriver", "AddPrinterDriverToSystem", "126 before Vista is retried with framedyn.dll"},
    {"SetupApi.CopyOEMInf", "CopyINFFile", "80 means installed already: the INF is replaced"},
    // The utilities folder: the secured folder falls back to default security.
    {"Registry.AllocateWellKnownSid", "CreateDirectoryWithSA", "logged without its code; default security follows"},
    {"Registry.SetEntriesInAcl", "CreateDirectoryWithSA", "the folder is made with default security"},
    {"FileSystem.CreateDirectory", "CreateDirectoryWithSA", "tried again, then with default security"},
    // Directory trees are deleted without a word.
    {"FileSystem.FindFirstFile", "*", "the tree deletion is silent"},
    {"FileSystem.FindNextFile", "*", "the tree deletion is silent"},
    {"FileSystem.SetFileAttributes", "*", "the tree deletion is silent"},
    {"FileSystem.RemoveDirectory", "DeletePrnDrvPnPDirectory", "the tree deletion is silent"},
    {"FileSystem.DeleteFile", "DeletePrnDrvPnPDirectory", "the tree deletion is silent"},
    {"FileSystem.RemoveDirectory", "CreateDirectoryWithSA", "the tree deletion is silent"},
    {"FileSystem.DeleteFile", "CreateDirectoryWithSA", "the tree deletion is silent"},
    {"FileSystem.RemoveDirectory", "DeleteInstalledDirectory",
     "the tree deletion is silent, and a parent another model still uses stays without a word"},
    {"FileSystem.DeleteFile", "DeleteInstalledDirectory", "the tree deletion is silent"},
    // The uninstall entry's values are written unchecked; an entry that
    // does not open is one that is not there.
    {"Registry.SetStringValue", "RegisterUninstallInfo", "the value writes are not examined"},
    {"Registry.SetDwordValue", "RegisterUninstallInfo", "the value writes are not examined"},
    {"Registry.OpenKey", "RegisterUninstallInfo", "a key that does not open is not there to delete"},
    {"Registry.OpenKey", "DeleteUninstallInfoFromReg", "a key that does not open is taken as absent"},
    // The grant before the protected key's deletion is silent; the
    // deletion's own failure is logged.
    {"Registry.OpenKey", "Delete_USB_Info", "the grant is silent; the deletion says what it met"},
    {"Registry.OpenKey", "Delete_LPT_USB_Info", "the grant is silent; the deletion says what it met"},
    {"Registry.GetKeyDacl", "*", "the grant is silent; the deletion says what it met"},
    {"Registry.SetEntriesInAcl", "Delete_USB_Info", "the grant is silent; the deletion says what it met"},
    {"Registry.SetEntriesInAcl", "Delete_LPT_USB_Info", "the grant is silent; the deletion says what it met"},
    {"Registry.AllocateWellKnownSid", "Delete_USB_Info", "the grant is silent; the deletion says what it met"},
    {"Registry.AllocateWellKnownSid", "Delete_LPT_USB_Info", "the grant is silent; the deletion says what it met"},
    {"Registry.SetKeyDacl", "*", "the grant is silent; the deletion says what it met"},
    // Plug and Play: the device pass reports to a caller that ignores it.
    {"SetupApi.GetClassDevs", "DeleteVidPid", "no device list: the pass ends"},
    {"SetupApi.EnumDeviceInfo", "DeleteVidPid", "259 ends the pass; anything else is tried again"},
    {"SetupApi.GetDeviceRegistryProperty", "DeleteVidPid", "a device whose ids cannot be read is skipped"},
    {"SetupApi.RemoveDevice", "DeleteVidPid", "the pass ends; its result is not used"},
    {"SetupApi.DestroyDeviceInfoList", "DeleteVidPid", "the pass's result is not used"},
    // The oem INF search.
    {"SetupApi.GetInfFileList", "*", "no list: no oem INF matches"},
    {"SetupApi.FindFirstLine", "*", "the line is not there: that INF does not match"},
    {"SetupApi.OpenInfFile", "DeleteINFFile", "the installer's copy skips an INF it cannot open without a word",
     Who::Installer},
    {"SetupApi.UninstallOEMInf", "DeleteINFFile", "the installer's copy does not log a refused uninstall",
     Who::Installer},
    // The driver's deletion: the installer's copy logs only what the
    // registry fallback cannot delete.
    {"Spooler.DeletePrinterDriverEx", "DeletePrinterDrv", "the registry fallback takes the driver's keys",
     Who::Installer},
    {"Spooler.DeletePrinterDriverExFor", "DeletePrinterDrv", "the registry fallback takes the driver's keys",
     Who::Installer},
    // The walk over a key's subkeys on 64-bit Windows: a key that cannot be
    // walked is deleted alone, and its deletion says what it met.
    {"Registry.OpenKey", "DeletePrinterDrv", "the subkeys' walk: the key's deletion says what it met"},
    {"Registry.OpenKey", "DeleteLanguageMonitor", "the subkeys' walk: the key's deletion says what it met"},
    {"Registry.OpenKey", "DeleteProcessor", "the subkeys' walk: the key's deletion says what it met"},
    {"Registry.OpenKey", "DeleteUninstallationInfo", "the subkeys' walk: the key's deletion says what it met"},
    {"Registry.EnumKey", "*", "the subkeys' walk: the key's deletion says what it met"},
    // Ours in the x86 environment of 64-bit Windows, looked for: what cannot
    // be listed is taken as absent (the check after the removal lists again).
    {"Spooler.EnumPrinterDrivers", "DeletePrinterDrv", "an additional driver that cannot be listed is not there"},
    {"Spooler.EnumPrintProcessorsFor", "DeleteProcessor", "a processor that cannot be listed is taken as not there"},
    {"Spooler.GetPrintProcessorDirectoryFor", "DeleteProcessor", "no directory: no file of ours to look for there"},
    // Copies that may never have been made: where no directory can be
    // named, none is looked for.
    {"Spooler.GetPrinterDriverDirectoryFor", "DeleteDriverComponent", "no directory: no file to look for there"},
    {"Spooler.GetPrinterDriverDirectoryFor", "DeleteFilesUsed", "no directory: no file to look for there"},
    {"Spooler.GetPrintProcessorDirectoryFor", "DeleteDriverComponent", "no directory: no copy to look for there"},
    {"Spooler.GetPrintProcessorDirectoryFor", "DeleteFilesUsed", "no directory: no copy to look for there"},
    {"Spooler.GetPrintProcessorDirectory", "DeleteDriverComponent", "no directory: no copy to look for there"},
    {"Spooler.GetPrintProcessorDirectory", "DeleteFilesUsed", "no directory: no copy to look for there"},
    {"FileSystem.GetSystemDirectory", "DeleteDriverComponent", "no directory: no copy to look for there"},
    {"FileSystem.GetSystemDirectory", "DeleteFilesUsed", "no directory: no copy to look for there"},
    // The search for the parts of a failed installation: what cannot be
    // looked at holds nothing of ours, and the driver's absence is told.
    {"Spooler.EnumPrinters", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Spooler.EnumPrinterDrivers", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Spooler.EnumPrintProcessorsFor", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Spooler.GetPrinterDriverDirectoryFor", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Spooler.GetPrintProcessorDirectoryFor", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Spooler.GetPrinterDriverDirectory", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Spooler.GetPrintProcessorDirectory", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"FileSystem.GetWindowsDirectory", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"FileSystem.GetSystemDirectory", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"SetupApi.GetClassDevs", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"SetupApi.EnumDeviceInfo", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"SetupApi.GetDeviceRegistryProperty", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"SetupApi.DestroyDeviceInfoList", "FindOwnComponents", "the search's result is not used"},
    {"SetupApi.OpenInfFile", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"Registry.OpenKey", "FindOwnComponents", "nothing found: the driver's absence is told"},
    {"SetupApi.HasUninstallOEMInf", "DeleteINFFile", "without the function that INF is left"},
    // Printer objects and forms: refusals are ignored.
    {"Spooler.OpenPrinter", "RemovePrinterObjects", "a printer that cannot be opened is skipped"},
    {"Spooler.OpenPrinter", "RemoveInstalledVersion", "a printer that cannot be opened is skipped"},
    {"Spooler.EnumJobs", "*", "no jobs to cancel: the printer goes, or is marked, all the same"},
    {"Spooler.SetJob", "*", "job cancellations are not examined"},
    {"SystemInfo.GetVersionEx", "RemovePrinterObjects", "an unread version cancels the jobs instead of deleting them"},
    {"SystemInfo.GetVersionEx", "RemoveInstalledVersion",
     "an unread version cancels the jobs instead of deleting them"},
    {"Spooler.DeletePrinter", "*", "the deletion of a printer object is not examined"},
    {"Spooler.OpenPrinter", "DeleteForms", "no print server: no form is deleted"},
    {"Spooler.EnumForms", "DeleteForms", "no forms listed: none is deleted"},
    {"Spooler.DeleteForm", "DeleteForms", "the form's line is logged whether or not it went"},
    // Directory queries whose failure shows as the failing path that follows.
    {"FileSystem.HasGetSystemWow64Directory", "DeleteLanguageMonitor", "that location is skipped"},
    {"FileSystem.GetSystemWow64Directory", "DeleteLanguageMonitor", "that location is skipped"},
    {"FileSystem.GetSystemDirectory", "DeleteLanguageMonitor", "the deletion that follows fails and is logged"},
    {"FileSystem.GetWindowsDirectory", "DeleteLanguageMonitor", "the deletion that follows fails and is logged"},
    {"FileSystem.GetWindowsDirectory", "DeleteINFFile", "the deletion that follows fails and is logged"},
    {"FileSystem.GetWindowsDirectory", "DeleteInstalledDirectory",
     "the folder is then looked for on the current drive"},
    {"Spooler.GetPrintProcessorDirectory", "DeleteProcessor", "its result is not checked; the deletion is logged"},
    {"Spooler.GetPrintProcessorDirectoryFor", "DeleteProcessor", "its result is not checked; the deletion is logged"},
    {"Spooler.GetPrinterDriverDirectory", "DeletePrnDrvPnPDirectory", "no directory: no tree to delete"},
    {"Spooler.GetPrinterDriverDirectoryFor", "DeletePrnDrvPnPDirectory", "no directory: no tree to delete"},
    // The child's wait: anything but a timeout is a finished child.
    {"Processes.WaitForSingleObject", "AddToWin2KWithWHQL", "only WAIT_TIMEOUT is told apart"},
    // The DLL search: every library is loaded by full path; the narrower
    // search is a second line, kept where it can be had.
    {"Modules.HasSetDefaultDllDirectories", "-", "SetDllDirectoryA(\"\") is taken instead"},
    {"Modules.SetDefaultDllDirectories", "-", "SetDllDirectoryA(\"\") is taken instead"},
    {"Modules.HasSetDllDirectory", "-", "the search stays as Windows set it; nothing is loaded by a bare name"},
    {"Modules.SetDllDirectory", "-", "the search stays as Windows set it; nothing is loaded by a bare name"},
    // The restart: no message, no log line; the user restarts later.
    {"Power.OpenProcessToken", "*", "the restart is left to the user"},
    {"Power.LookupPrivilegeValue", "*", "the restart is left to the user"},
    {"Power.AdjustTokenPrivileges", "*", "the restart is left to the user"},
    {"Power.ExitWindowsEx", "*", "the restart is left to the user"},
};

bool DocumentedSilent(resources::Program program, const std::string& method, const std::string& step,
                      unsigned ordinal) {
    for (const Silence& s : kSilences) {
        if (method != s.method) continue;
        if (std::strcmp(s.step, "*") != 0 && step != s.step) continue;
        if (s.who == Who::Installer && program != resources::Program::Installer) continue;
        if (s.who == Who::Uninstaller && program != resources::Program::Uninstaller) continue;
        if (s.upTo != 0 && ordinal > s.upTo) continue;
        return true;
    }
    return false;
}

// The step a call was made in: the innermost "<Step> BEGIN" not yet ended
// among the log entries written before it, "-" outside every step; with the
// index of its BEGIN entry (or the log's size), which tells its runs apart.
struct StepAt {
    std::string name;
    size_t begin;
};
StepAt StepOf(const std::vector<std::string>& log, size_t entries) {
    std::vector<std::pair<std::string, size_t>> open;
    for (size_t i = 0; i < entries && i < log.size(); ++i) {
        const std::string& e = log[i];
        auto ends = [&](const char* suffix) {
            size_t n = std::strlen(suffix);
            return e.size() > n && e.compare(e.size() - n, n, suffix) == 0;
        };
        if (ends(" BEGIN")) {
            open.emplace_back(e.substr(0, e.size() - 6), i);
        } else if (ends(" END")) {
            std::string name = e.substr(0, e.size() - 4);
            auto it = std::find_if(open.rbegin(), open.rend(), [&](const auto& o) { return o.first == name; });
            if (it != open.rend()) open.erase(std::next(it).base(), open.end());
        }
    }
    if (open.empty()) return {"-", log.size()};
    return {open.back().first, open.back().second};
}

// Whether text holds the code as a number of its own, as "%d" prints it.
bool MentionsCode(const std::string& text, Dword code) {
    const std::string number = std::to_string(static_cast<int>(code));
    for (size_t at = text.find(number); at != std::string::npos; at = text.find(number, at + 1)) {
        bool before = at == 0 || !(std::isdigit(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '-');
        size_t end = at + number.size();
        bool after = end >= text.size() || !std::isdigit(static_cast<unsigned char>(text[end]));
        if (before && after) return true;
    }
    return false;
}

// The entries of b that a does not have (as many times).
std::vector<std::string> Added(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::map<std::string, int> count;
    for (const std::string& s : a) ++count[s];
    std::vector<std::string> out;
    for (const std::string& s : b)
        if (count[s]-- <= 0) out.push_back(s);
    return out;
}

// A failure shows when a new log line carries its code (or names it, as the
// copy fallback's handler lines do, or names the failed call), or when a
// new message box appeared.
bool Visible(const std::string& method, Dword code, const RunRecord& baseline, const RunRecord& run) {
    if (!Added(baseline.boxes, run.boxes).empty()) return true;
    // The undisturbed run met that very failure too (something of ours the
    // machine never had): it shows where it did there.
    if (run.log == baseline.log && run.boxes == baseline.boxes) return true;
    const std::string api = method.substr(method.find('.') + 1);
    for (const std::string& line : Added(baseline.log, run.log)) {
        if (MentionsCode(line, code)) return true;
        if (code == err::kAccessDenied && line.find("ERROR_ACCESS_DENIED") != std::string::npos) return true;
        if (code == err::kSharingViolation && line.find("ERROR_SHARING_VIOLATION") != std::string::npos) return true;
        if (line.find(api + " failed") != std::string::npos) return true;
    }
    return false;
}

// What the run told the user that the machine contradicts.
std::vector<std::string> FalseClaims(const Scenario& scenario, const RunRecord& run, const sim::Machine& m) {
    std::vector<std::string> out;
    auto said = [&](const std::vector<std::string>& lines, const char* text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    const std::vector<std::string> left = OursRegistered(m);
    if (scenario.program == resources::Program::Installer) {
        if (said(run.events, "The driver has been successfully installed.") &&
            !m.FindDriver(kDriver, m.Os().NativeEnvironment()))
            out.push_back("claims success without the driver");
        if (said(run.boxes, "The installer has successfully removed the different version.") && !left.empty())
            out.push_back("claims the removal with " + left.front() + " left");
    } else if (said(run.boxes, "Restarting your computer can take effect.") && !left.empty()) {
        // The restart question follows only a full removal.
        out.push_back("asks for the restart with " + left.front() + " left");
    }
    return out;
}

// The "<Step> BEGIN" lines of a log.
std::vector<std::string> Begins(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const std::string& e : log)
        if (e.size() > 6 && e.compare(e.size() - 6, 6, " BEGIN") == 0) out.push_back(e);
    return out;
}

// Failures after which the log shows another way by design: the lines it
// loses (a log folder that cannot be made loses them all), and a
// configuration that cannot be read (the port dialog is shown instead), and
// a utilities folder that has no place without the Windows directory.
bool ChangesTheRoute(const std::string& method, const std::string& step) {
    if (method == "FileSystem.OpenForAppend" || method == "FileSystem.WriteFile" ||
        method == "FileSystem.GetFileLinks")
        return true;
    if (method == "FileSystem.GetWindowsDirectory" && step == "CopyFilesOfUtilities") return true;
    return step == "-" && (method == "FileSystem.CreateDirectory" || method == "FileSystem.GetPrivateProfileString" ||
                           method == "FileSystem.GetCurrentDirectory" || method == "FileSystem.GetWindowsDirectory");
}

// What any failure must never do: throw past the program, end with an exit
// code the programs do not use for it, run on without end, remove what the
// scenario was not asked to remove, or tell the user of a success the
// machine does not show.
std::vector<std::string> Harm(const Scenario& scenario, const RunRecord& baseline, const RunRecord& run,
                              const std::vector<sim::SimPrinter>& othersBefore, const sim::Machine& m) {
    std::vector<std::string> problems;
    if (run.threw) problems.push_back("exception " + run.exception);
    // -1 only where a program gives up: the installer's printer refused,
    // the child that could not be started or never finished, or a removal
    // that left ours behind.
    const bool gaveUp = std::any_of(run.boxes.begin(), run.boxes.end(),
                                    [](const std::string& b) {
                                        for (const char* head : {"AddPrinter, Error Code:",
                                                                 "The driver could not be installed.",
                                                                 "CreateProcess failed.",
                                                                 "A Windows library could not be loaded: ",
                                                                 "The system directory could not be found.",
                                                                 "The installer could not remove the different version.",
                                                                 "The driver could not be removed completely."})
                                            if (b.rfind(head, 0) == 0) return true;
                                        return false;
                                    }) ||
                        std::count(run.log.begin(), run.log.end(), "WAIT_TIMEOUT") > 0;
    if (!(run.exitCode == 0 || (run.exitCode == -1 && gaveUp)))
        problems.push_back("exit code " + std::to_string(run.exitCode));
    if (run.elapsedMs > 2 * baseline.elapsedMs + 60000)
        problems.push_back("took " + std::to_string(run.elapsedMs) + " ms of virtual time");
    for (const std::string& missing : OtherModelMissing(m)) problems.push_back("removed " + missing);
    for (const std::string& missing : OtherPrintersMissing(othersBefore, m)) problems.push_back("removed " + missing);
    // A version that cannot be read counts as older: the installer then
    // says it removes that version, and does.
    const bool removalAnnounced = std::any_of(run.boxes.begin(), run.boxes.end(), [](const std::string& b) {
        return b.rfind("There is a different version driver", 0) == 0;
    });
    if (scenario.kept && !removalAnnounced) {
        for (const std::string& missing : scenario.kept(m)) problems.push_back("removed " + missing);
    }
    for (const std::string& claim : FalseClaims(scenario, run, m)) problems.push_back(claim);
    return problems;
}

struct Figures {
    size_t scenarios = 0, callSites = 0, faults = 0;
    std::vector<std::string> failures;
};

// A run that does not end is a failure of its own, and the test process
// cannot go on with its threads stuck: one watchdog looks at every run in
// flight and ends the process when one has taken 20 s. (A thread of its own
// for every run would cost more than the run.)
class Watchdog {
public:
    Watchdog() : thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    size_t Begin(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        runs_[++last_] = {what, std::chrono::steady_clock::now()};
        return last_;
    }
    void End(size_t run) {
        std::lock_guard<std::mutex> lock(mutex_);
        runs_.erase(run);
    }

private:
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) {
            for (const auto& [run, started] : runs_) {
                if (std::chrono::steady_clock::now() - started.second < std::chrono::seconds(20)) continue;
                std::fprintf(stderr, "HANG: %s\n", started.first.c_str());
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    size_t last_ = 0;
    std::map<size_t, std::pair<std::string, std::chrono::steady_clock::time_point>> runs_;
    std::thread thread_;
};

RunRecord Guarded(const Scenario& scenario, sim::Machine& machine, const std::function<void(sim::SimSystem&)>& inject,
                  const std::string& what) {
    static Watchdog watchdog;
    const size_t run = watchdog.Begin(what);
    RunRecord record = RunOnce(scenario, machine, inject);
    watchdog.End(run);
    return record;
}

// Runs job(0) ... job(count - 1) on as many threads as the machine has
// cores. The runs share nothing: each has a machine and a process of its own.
void ForEachOnAllCores(size_t count, const std::function<void(size_t)>& job) {
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++) job(i);
        });
    for (std::thread& thread : pool) thread.join();
}

TEST(FaultSweep, EveryCallSiteOfEveryMainScenario) {
    Figures figures;
    for (const Scenario& scenario : Scenarios()) {
        ++figures.scenarios;
        // Every run starts from a copy of one machine made for the scenario.
        const auto prototype = scenario.make();
        auto machine = prototype->Clone();
        const std::vector<sim::SimPrinter> others = OtherPrinters(*machine);
        RunRecord baseline = Guarded(scenario, *machine, nullptr, scenario.name + " (no fault)");
        ASSERT_EQ(baseline.exitCode, 0) << scenario.name;
        ASSERT_FALSE(baseline.threw) << scenario.name << ": " << baseline.exception;
        ASSERT_EQ(OtherModelMissing(*machine), std::vector<std::string>{}) << scenario.name;
        ASSERT_EQ(OtherPrintersMissing(others, *machine), std::vector<std::string>{}) << scenario.name;
        ASSERT_EQ(FalseClaims(scenario, baseline, *machine), std::vector<std::string>{}) << scenario.name;
        if (scenario.kept) {
            ASSERT_EQ(scenario.kept(*machine), std::vector<std::string>{}) << scenario.name;
        }

        // The plan first, then its runs on every core: each has a machine
        // and a process of its own.
        struct Fault {
            std::string method, step, what;
            unsigned nth, ordinal;
            Dword code;
        };
        std::vector<Fault> plan;
        size_t logWrites = 0;
        std::map<std::pair<std::string, size_t>, unsigned> perStep;  // (method, step's BEGIN) -> calls so far
        const auto sites =
            sim::FaultSwitches::CallSites(std::vector<std::string>(baseline.calls.begin(), baseline.calls.end()));
        for (size_t index = 0; index < sites.size(); ++index) {
            const auto& [method, nth] = sites[index];
            if (method == "FileSystem.OpenForAppend") ++logWrites;
            const StepAt at = StepOf(baseline.log, logWrites);
            const unsigned ordinal = ++perStep[{method, at.begin}];
            if (CannotFail().count(method)) continue;
            auto codes = Codes().find(method);
            if (codes == Codes().end()) {
                figures.failures.push_back(scenario.name + ": no code for " + method);
                continue;
            }
            ++figures.callSites;
            for (Dword code : codes->second) {
                const std::string what = scenario.name + ": " + method + " #" + std::to_string(nth) + " in " +
                                         at.name + " fails with " + std::to_string(static_cast<int>(code));
                plan.push_back({method, at.name, what, nth, ordinal, code});
            }
        }
        figures.faults += plan.size();
        std::vector<std::vector<std::string>> found(plan.size());
        ForEachOnAllCores(plan.size(), [&](size_t i) {
            const Fault& f = plan[i];
            auto m = prototype->Clone();
            RunRecord run = Guarded(
                scenario, *m, [&](sim::SimSystem& s) { s.Faults().Fail(f.method, f.code, f.nth); }, f.what);
            std::vector<std::string> problems = Harm(scenario, baseline, run, others, *m);
            // A step logs its own failure and the sequence goes on: unless
            // the user was told something new or the run gave up, every
            // step of the undisturbed run still ran.
            if (run.exitCode == 0 && Added(baseline.boxes, run.boxes).empty() && !ChangesTheRoute(f.method, f.step)) {
                for (const std::string& skipped : Added(Begins(run.log), Begins(baseline.log)))
                    problems.push_back("skipped " + skipped);
            }
            if (!Visible(f.method, f.code, baseline, run) &&
                !DocumentedSilent(scenario.program, f.method, f.step, f.ordinal))
                problems.push_back("not visible");
            for (const std::string& p : problems) found[i].push_back(f.what + ": " + p);
        });
        for (const auto& problems : found)
            figures.failures.insert(figures.failures.end(), problems.begin(), problems.end());
    }
    std::printf("fault sweep: %zu scenarios, %zu call sites, %zu faults injected, %zu failures found\n",
                figures.scenarios, figures.callSites, figures.faults, figures.failures.size());
    for (const std::string& f : figures.failures) std::printf("  %s\n", f.c_str());
    EXPECT_TRUE(figures.failures.empty());
}

// A call that fails every time it is made, as a stopped spooler, a locked
// folder or a missing function do: the runs still end, harmlessly.
TEST(FaultSweep, EveryMethodFailingThroughoutTheRun) {
    size_t runs = 0;
    std::vector<std::string> failures;
    for (const Scenario& scenario : Scenarios()) {
        // Every run starts from a copy of one machine made for the scenario.
        const auto prototype = scenario.make();
        auto machine = prototype->Clone();
        const std::vector<sim::SimPrinter> others = OtherPrinters(*machine);
        RunRecord baseline = Guarded(scenario, *machine, nullptr, scenario.name + " (no fault)");
        ASSERT_EQ(baseline.exitCode, 0) << scenario.name;
        std::set<std::string> methods(baseline.calls.begin(), baseline.calls.end());
        std::vector<std::pair<std::string, Dword>> plan;
        for (const std::string& method : methods) {
            if (CannotFail().count(method) || !Codes().count(method)) continue;
            for (Dword code : Codes().at(method)) plan.emplace_back(method, code);
        }
        runs += plan.size();
        std::vector<std::vector<std::string>> found(plan.size());
        ForEachOnAllCores(plan.size(), [&](size_t i) {
            const std::string& method = plan[i].first;  // named, not bound: the lambda captures them
            const Dword code = plan[i].second;
            const std::string what =
                scenario.name + ": every " + method + " fails with " + std::to_string(static_cast<int>(code));
            auto m = prototype->Clone();
            RunRecord run = Guarded(
                scenario, *m, [&](sim::SimSystem& s) { s.Faults().Fail(method, code); }, what);
            for (const std::string& p : Harm(scenario, baseline, run, others, *m)) found[i].push_back(what + ": " + p);
        });
        for (const auto& problems : found) failures.insert(failures.end(), problems.begin(), problems.end());
    }
    std::printf("persistent faults: %zu runs, %zu failures found\n", runs, failures.size());
    for (const std::string& f : failures) std::printf("  %s\n", f.c_str());
    EXPECT_TRUE(failures.empty());
}

}  // namespace
}  // namespace zmp::sweep
