// The real Windows behind the platform seam: one class per OS area, each a
// thin layer over the Win32 calls the system makes, and Win32System, which
// owns one of each and hands them out as a Platform.
//
// Usage from WinMain:
//   zmp::win32::Win32System sys;
//   zmp::win32::Win32Ui ui(...);
//   zmp::Platform p = sys.MakePlatform(ui);
//   return zmp::InstallerMain(p);
//
// This header does not include <windows.h>; the backend's sources include it
// through platform/win32/Win32Api.h.
#pragma once

#include "platform/Platform.h"

namespace zmp::win32 {

class Win32Spooler final : public Spooler {
public:
    Status EnumPrinters(Dword flags, std::vector<PrinterInfo2>& out) override;
    Status EnumPrinterDrivers(const std::optional<std::string>& environment, Dword level,
                              std::vector<DriverInfo3>& out) override;
    Status EnumPrinterDrivers6(const std::optional<std::string>& environment,
                               std::vector<DriverInfo6>& out) override;
    Status GetPrinterDriver6(PrinterHandle printer, const std::optional<std::string>& environment,
                             DriverInfo6& out) override;
    Status EnumPrintProcessors(std::vector<std::string>& out) override;
    Status EnumPrintProcessorsFor(const std::string& environment, std::vector<std::string>& out) override;
    Status OpenPrinter(const std::optional<std::string>& name,
                       const std::optional<PrinterDefaults>& defaults, PrinterHandle& out) override;
    Status ClosePrinter(PrinterHandle printer) override;
    Dword GetPrinterDataDword(PrinterHandle printer, const std::string& valueName,
                              Dword& value) override;
    Status EnumJobs(PrinterHandle printer, Dword firstJob, Dword noJobs, Dword level,
                    std::vector<JobInfo3>& out) override;
    Status SetJob(PrinterHandle printer, Dword jobId, Dword command) override;
    Status DeletePrinter(PrinterHandle printer) override;
    Status EnumForms(PrinterHandle server, std::vector<std::string>& out) override;
    Status DeleteForm(PrinterHandle server, const std::string& formName) override;
    Status DeletePrinterDriverEx(const std::string& driverName, Dword deleteFlag,
                                 Dword versionFlag) override;
    Status AddMonitor(const MonitorInfo2& info) override;
    Status DeleteMonitor(const std::string& monitorName) override;
    Status GetPrintProcessorDirectory(std::string& out) override;
    Status AddPrintProcessor(const std::string& environment, const std::string& fileName,
                             const std::string& processorName) override;
    Status DeletePrintProcessor(const std::string& processorName) override;
    Status GetPrinterDriverDirectory(std::string& out) override;
    Status GetPrintProcessorDirectoryFor(const std::string& environment, std::string& out) override;
    Status GetPrinterDriverDirectoryFor(const std::string& environment, std::string& out) override;
    Status DeletePrinterDriverExFor(const std::string& environment, const std::string& driverName,
                                    Dword deleteFlag, Dword versionFlag) override;
    Status DeletePrintProcessorFor(const std::string& environment, const std::string& processorName) override;
    Status AddPrinterDriver(const DriverInfo3& info) override;
    Status AddPrinter(const PrinterInfo2& info, PrinterHandle& out) override;
    XcvResult XcvData(PrinterHandle xcv, const std::u16string& command,
                      const std::vector<std::uint8_t>& input, Dword outputSize) override;
};

class Win32SetupApi final : public SetupApi {
public:
    Status GetInfFileList(Dword style, std::vector<std::string>& out) override;
    Status OpenInfFile(const std::string& name, Dword style, InfHandle& out) override;
    bool FindFirstLine(InfHandle inf, const std::string& section, const std::string& key) override;
    void CloseInfFile(InfHandle inf) override;
    Status CopyOEMInf(const std::string& sourceInf, Dword mediaType, Dword copyStyle,
                      std::string& destination) override;
    bool HasUninstallOEMInf() override;
    Status UninstallOEMInf(const std::string& infFileName, Dword flags) override;
    Status GetClassDevs(const std::string& enumerator, Dword flags, DevInfoSet& out) override;
    Status EnumDeviceInfo(DevInfoSet set, Dword index, DevInfoData& data) override;
    Status GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData& data, Dword property,
                                     Dword bufferSize, std::vector<char>& out) override;
    Status RemoveDevice(DevInfoSet set, const DevInfoData& data) override;
    Status DestroyDeviceInfoList(DevInfoSet set) override;
};

class Win32Registry final : public Registry {
public:
    RegKey Root(RegRoot root) override;
    Dword OpenKey(RegKey parent, const std::string& subKey, Dword access, RegKey& out) override;
    Dword CreateKey(RegKey parent, const std::string& subKey, Dword options, Dword access,
                    RegKey& out) override;
    Dword SetStringValue(RegKey key, const std::string& name, const std::string& value) override;
    Dword QueryStringValue(RegKey key, const std::string& name, Dword bufferSize, std::string& out) override;
    Dword EnumKey(RegKey key, Dword index, std::string& name) override;
    Dword SetDwordValue(RegKey key, const std::string& name, Dword value) override;
    Dword CloseKey(RegKey key) override;
    Dword ConnectRegistry(const std::string& machine, RegKey root, RegKey& out) override;
    Dword ShDeleteKey(RegKey parent, const std::string& subKey) override;
    bool HasRegDeleteKeyEx() override;
    Dword RegDeleteKeyEx(RegKey parent, const std::string& subKey, Dword samDesired,
                         Dword reserved) override;
    Dword GetKeyDacl(RegKey key, AclRef& dacl, SecurityDescriptorRef& descriptor) override;
    Dword SetKeyDacl(RegKey key, AclRef dacl) override;
    Dword GetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef& dacl,
                          SecurityDescriptorRef& descriptor) override;
    Dword SetNamedKeyDacl(RegRoot root, const std::string& subKey, AclRef dacl) override;
    Dword SetEntriesInAcl(const ExplicitAccess& entry, AclRef oldAcl, AclRef& newAcl) override;
    Status AllocateWellKnownSid(sec::WellKnownSid account, SidRef& out) override;
    void FreeSid(SidRef sid) override;
    void LocalFreeAcl(AclRef acl) override;
    void LocalFreeDescriptor(SecurityDescriptorRef descriptor) override;
};

class Win32FileSystem final : public FileSystem {
public:
    Dword GetWindowsDirectory(std::string& out, Dword bufferSize) override;
    Dword GetSystemDirectory(std::string& out, Dword bufferSize) override;
    bool HasGetSystemWow64Directory() override;
    Dword GetSystemWow64Directory(std::string& out, Dword bufferSize) override;
    Dword GetCurrentDirectory(std::string& out, Dword bufferSize) override;
    Status CopyFile(const std::string& source, const std::string& destination,
                    bool failIfExists) override;
    Status DeleteFile(const std::string& path) override;
    int Rename(const std::string& from, const std::string& to) override;
    Dword GetFileAttributes(const std::string& path) override;
    Status SetFileAttributes(const std::string& path, Dword attributes) override;
    Status CreateDirectory(const std::string& path, const DirectorySecurity* security) override;
    Status CreateDirectoryWithDaclOf(const std::string& path, const std::string& model) override;
    Status SetDirectoryDacl(const std::string& path, AclRef dacl) override;
    Status RemoveDirectory(const std::string& path) override;
    std::size_t CharPrev(const std::string& text, std::size_t position) override;
    Status FindFirstFile(const std::string& pattern, FindHandle& handle, FindData& data) override;
    Status FindNextFile(FindHandle handle, FindData& data) override;
    void FindClose(FindHandle handle) override;
    Dword GetPrivateProfileString(const std::string& section, const std::string& key,
                                  Dword bufferSize, const std::string& path,
                                  std::string& out) override;
    Status OpenForAppend(const std::string& path, FileHandle& out) override;
    Status GetFileLinks(FileHandle file, Dword& attributes, Dword& links) override;
    Status WriteFile(FileHandle file, const char* data, Dword length) override;
    void CloseFile(FileHandle file) override;
};

class Win32Processes final : public Processes {
public:
    Dword WinExec(const std::string& commandLine, Dword show) override;
    Status CreateProcess(const std::string& application, const std::string& commandLine,
                         Dword creationFlags, const std::string& currentDirectory,
                         const StartupInfo& startup, ProcessInformation& out) override;
    Dword WaitForSingleObject(ProcessHandle process, Dword milliseconds) override;
    Status GetExitCodeProcess(ProcessHandle process, Dword& exitCode) override;
    void CloseHandle(ProcessHandle handle) override;
    [[noreturn]] void ExitProcess(int code) override;
};

class Win32Modules final : public Modules {
public:
    bool HasSetDefaultDllDirectories() override;
    Status SetDefaultDllDirectories(Dword flags) override;
    bool HasSetDllDirectory() override;
    Status SetDllDirectory(const std::string& path) override;
    Status LoadLibrary(const std::string& path) override;
};

class Win32SystemInfo final : public SystemInfo {
public:
    Status GetVersionEx(OsVersionInfo& info) override;
    bool HasIsWow64Process() override;
    Status IsWow64Process(bool& result) override;
    Dword GetLastError() override;
    void SetLastError(Dword code) override;
    std::string FormatSystemMessage(Dword code, Dword languageId) override;
};

class Win32Services final : public Services {
public:
    Status QueryServiceStatus(const std::string& serviceName, Dword& currentState) override;
};

class Win32Clock final : public Clock {
public:
    LocalTime GetLocalTime() override;
    void Sleep(Dword milliseconds) override;
};

class Win32Power final : public Power {
public:
    Status OpenProcessToken(Dword access, TokenHandle& out) override;
    Status LookupPrivilegeValue(const std::string& name, Luid& out) override;
    Status AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, Dword attributes) override;
    Status ExitWindowsEx(Dword flags, Dword reason) override;
};

// Owns one backend object per OS area for the life of the program.
class Win32System {
public:
    Platform MakePlatform(Ui& ui) {
        return Platform{spooler_, setup_, registry_, files_, processes_, system_, clock_, power_, ui, services_,
                        modules_};
    }

    Spooler& spooler() { return spooler_; }
    SetupApi& setup() { return setup_; }
    Registry& registry() { return registry_; }
    FileSystem& files() { return files_; }
    Processes& processes() { return processes_; }
    SystemInfo& system() { return system_; }
    Clock& clock() { return clock_; }
    Power& power() { return power_; }
    Services& services() { return services_; }
    Modules& modules() { return modules_; }

private:
    Win32Spooler spooler_;
    Win32SetupApi setup_;
    Win32Registry registry_;
    Win32FileSystem files_;
    Win32Processes processes_;
    Win32SystemInfo system_;
    Win32Clock clock_;
    Win32Power power_;
    Win32Services services_;
    Win32Modules modules_;
};

}  // namespace zmp::win32
