// The Windows services of one simulated process, against a Machine.
//
// A SimSystem is one process of a given executable, bitness (32-bit by
// default, as our programs are) and current directory. It implements every
// seam interface except Ui, one backend class per OS area, all sharing the
// process context (SimProcess): per-thread last error, the call record, the
// failure switches, the Events sink, the sleep hook and the process's end.
//
// How a test builds a zmp::Platform:
//
//     auto machine = zmp::sim::Machine::Preset("7", /*is64Bit*/ true);
//     zmp::sim::Events events;
//     zmp::sim::SimSystem sys(*machine, {"C:\\Package\\ZMPK40_Installer.exe"}, &events);
//     MyUi ui;                                  // any zmp::Ui implementation
//     zmp::Platform platform = sys.MakePlatform(ui);
//     sys.Faults().Fail("Spooler.EnumPrinters", zmp::err::kAccessDenied);  // optional
//
// Every seam call is recorded by method name ("Spooler.EnumPrinters",
// "FileSystem.CopyFile", ...) in call order (Calls()), and each can be made
// to fail with a chosen Win32 code, on every call or only its n-th one.
// A failing call answers as the real one would: FALSE/0/INVALID result,
// the code as its status and, except for registry calls, as the thread's
// last error. The void calls (closing handles, SetLastError) are recorded
// but never fail.
//
// Events written here: "EXEC <command line>" (WinExec), "SLEEP <ms>"
// (Clock::Sleep, then the sleep hook runs), "RESTART" (ExitWindowsEx that
// the machine accepts), "EXIT <code>" (ExitProcess, which then throws
// ProcessExit). A runner writes EXIT itself only when a program returns
// without calling ExitProcess.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "simulator/Events.h"
#include "simulator/ImageSearch.h"
#include "simulator/Inf.h"
#include "simulator/Machine.h"
#include "simulator/ProcessExit.h"

namespace zmp::sim {

// How a process is started.
struct ProcessOptions {
    std::string executable = "C:\\Package\\ZMPK40_Installer.exe";
    bool is64Bit = false;             // our programs are 32-bit
    std::string currentDirectory;     // "" = the executable's directory
};

// The failure switches: one per seam method, by name.
class FaultSwitches {
public:
    // Calls of method fail with code: every call (nth 0) or only the nth (1-based).
    void Fail(const std::string& method, Dword code, unsigned nth = 0);
    void Clear();
    // Counts the call of method, a string literal, and returns the code it
    // must fail with, if any. Every seam call passes here, so the literal's
    // address finds the method without comparing names.
    std::optional<Dword> Next(const char* method);

    // A fault sweep's plan: every call of a recorded run as (method, n), the
    // n-th call of that method, so that Fail(method, code, n) hits exactly it.
    static std::vector<std::pair<std::string, unsigned>> CallSites(const std::vector<std::string>& calls);

private:
    struct Rule {
        Dword code;
        unsigned nth;
    };
    struct Method {
        unsigned calls = 0;
        std::vector<Rule> rules;  // in the order they were set
    };
    Method& Named(std::string_view name);  // mutex_ held
    std::mutex mutex_;
    std::map<std::string, Method, std::less<>> methods_;  // nodes never move: literals_ points into them
    std::unordered_map<const char*, Method*> literals_;
};

// What the backends of one process share.
class SimProcess {
public:
    SimProcess(Machine& machine, ProcessOptions options, Events* events);

    Machine& machine() { return machine_; }
    const ProcessOptions& options() const { return options_; }
    // WOW64: a 32-bit process on 64-bit Windows.
    bool Wow64() const;
    // The environment a NULL environment means for this caller.
    std::string CallerEnvironment() const;

    // Called first by every seam method: throws ProcessExit once the process
    // has ended, records the call and returns the injected failure, if any.
    // method is a string literal: the record keeps the pointer, not a copy.
    std::optional<Dword> Enter(const char* method);
    std::vector<std::string> Calls() const;
    // The same record as the literals themselves, for a caller that keeps
    // thousands of runs' records.
    std::vector<const char*> CallNames() const;
    FaultSwitches& Faults() { return faults_; }

    Dword LastError() const;
    void SetLastError(Dword code);
    // Sets the last error and returns Status{code}.
    Status Fail(Dword code);

    // The process's ANSI text (its code page) as the model's text, and back.
    std::string FromAnsi(const std::string& text) const;
    std::string ToAnsi(const std::string& text) const;

    // A process path (relative, drive-relative, with "." or ".." or "/")
    // in its ANSI code page as a physical path: the current directory applied and, for a WOW64
    // process, system32 redirected to SysWOW64 (spool, catroot, catroot2,
    // drivers\etc, logfiles exempt; Sysnative leads to system32 on Vista+).
    std::string ResolvePath(const std::string& path) const;
    std::string CurrentDirectory() const;
    // The folder of the process's executable.
    std::string ProgramDirectory() const;
    // Where LoadLibrary looks for a name without a directory (SimModules).
    DllSearch Search() const;
    void SetSearch(DllSearch search);

    void AddEvent(const std::string& kind, const std::string& text = std::string());
    void SetEvents(Events* events) { events_ = events; }
    void SetSleepHook(std::function<void()> hook) { sleepHook_ = std::move(hook); }
    void RunSleepHook();

    bool Exited() const;
    [[noreturn]] void Exit(int code);

    // Handle tables: every backend hands out numbers from one counter.
    std::uintptr_t NewHandle();

    // ACLs made by SetEntriesInAcl, shared by the registry and the file system.
    AclRef NewAcl(std::vector<AceEntry> entries);
    std::optional<std::vector<AceEntry>> Acl(AclRef acl) const;
    bool FreeAcl(AclRef acl);

private:
    template <class Read>
    auto ReadOs(Read read) const;
    Machine& machine_;
    ProcessOptions options_;
    Events* events_;
    std::function<void()> sleepHook_;
    FaultSwitches faults_;
    mutable std::mutex mutex_;
    std::vector<const char*> calls_;
    std::map<std::thread::id, Dword> lastErrors_;
    std::optional<int> exitCode_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::map<std::uintptr_t, std::vector<AceEntry>> acls_;
    DllSearch search_ = DllSearch::Standard;
};

class SimFileSystem final : public FileSystem {
public:
    explicit SimFileSystem(SimProcess& process) : p_(process) {}
    Dword GetWindowsDirectory(std::string& out, Dword bufferSize) override;
    Dword GetSystemDirectory(std::string& out, Dword bufferSize) override;
    bool HasGetSystemWow64Directory() override;
    Dword GetSystemWow64Directory(std::string& out, Dword bufferSize) override;
    Dword GetCurrentDirectory(std::string& out, Dword bufferSize) override;
    Status CopyFile(const std::string& source, const std::string& destination, bool failIfExists) override;
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
    Dword GetPrivateProfileString(const std::string& section, const std::string& key, Dword bufferSize,
                                  const std::string& path, std::string& out) override;
    Status OpenForAppend(const std::string& path, FileHandle& out) override;
    Status GetFileLinks(FileHandle file, Dword& attributes, Dword& links) override;
    Status WriteFile(FileHandle file, const char* data, Dword length) override;
    void CloseFile(FileHandle file) override;

private:
    // The physical path of an open file; false for a handle that is not one.
    bool OpenPath(FileHandle file, std::string& path);

    SimProcess& p_;
    std::map<std::uintptr_t, std::vector<FindData>> finds_;  // remaining entries
    std::map<std::uintptr_t, std::string> files_;            // open files: physical path
    std::mutex mutex_;
};

class SimRegistry final : public Registry {
public:
    explicit SimRegistry(SimProcess& process) : p_(process) {}
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
    Dword RegDeleteKeyEx(RegKey parent, const std::string& subKey, Dword samDesired, Dword reserved) override;
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

private:
    struct Handle {
        std::string path;     // physical, e.g. "HKLM\\SOFTWARE\\Wow6432Node\\X"
        Dword access = 0;
        bool wow32View = false;  // opened in the 32-bit view (redirects SOFTWARE below it)
        bool predefined = false;
    };
    Dword Resolve(RegKey parent, const std::string& subKey, Dword access, std::string& path,
                  bool& wow32View) const;
    // 0 and the open key's record, or 6 for a handle this process does not hold.
    Dword Lookup(RegKey key, Handle& out) const;
    // The physical path of a key named by root and path, in the process's own view.
    Dword NamedPath(RegRoot root, const std::string& subKey, std::string& path);
    // A copy of a DACL in a new security descriptor, as GetSecurityInfo gives it.
    void HandOutDacl(const std::vector<AceEntry>& entries, AclRef& dacl, SecurityDescriptorRef& descriptor);
    // RegSetValueExA's checks and the write, after the call is recorded.
    Dword SetValue(RegKey key, const std::string& name, const RegValue& value);
    SimProcess& p_;
    mutable std::mutex mutex_;
    std::map<std::uintptr_t, Handle> keys_;
    std::set<std::uintptr_t> descriptors_;
    std::map<std::uintptr_t, std::string> sids_;  // handle -> the account's English name
};

class SimSpooler final : public Spooler {
public:
    explicit SimSpooler(SimProcess& process) : p_(process) {}
    Status EnumPrinters(Dword flags, std::vector<PrinterInfo2>& out) override;
    Status EnumPrinterDrivers(const std::optional<std::string>& environment, Dword level,
                              std::vector<DriverInfo3>& out) override;
    Status EnumPrinterDrivers6(const std::optional<std::string>& environment, std::vector<DriverInfo6>& out) override;
    Status GetPrinterDriver6(PrinterHandle printer, const std::optional<std::string>& environment,
                             DriverInfo6& out) override;
    Status EnumPrintProcessors(std::vector<std::string>& out) override;
    Status EnumPrintProcessorsFor(const std::string& environment, std::vector<std::string>& out) override;
    Status OpenPrinter(const std::optional<std::string>& name, const std::optional<PrinterDefaults>& defaults,
                       PrinterHandle& out) override;
    Status ClosePrinter(PrinterHandle printer) override;
    Dword GetPrinterDataDword(PrinterHandle printer, const std::string& valueName, Dword& value) override;
    Status EnumJobs(PrinterHandle printer, Dword firstJob, Dword noJobs, Dword level,
                    std::vector<JobInfo3>& out) override;
    Status SetJob(PrinterHandle printer, Dword jobId, Dword command) override;
    Status DeletePrinter(PrinterHandle printer) override;
    Status EnumForms(PrinterHandle server, std::vector<std::string>& out) override;
    Status DeleteForm(PrinterHandle server, const std::string& formName) override;
    Status DeletePrinterDriverEx(const std::string& driverName, Dword deleteFlag, Dword versionFlag) override;
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
    XcvResult XcvData(PrinterHandle xcv, const std::u16string& command, const std::vector<std::uint8_t>& input,
                      Dword outputSize) override;

private:
    enum class Kind { Server, Printer, Xcv };
    struct Handle {
        Kind kind;
        std::string name;      // printer name or Xcv monitor name
        unsigned generation;   // the spooler run it was opened in
    };
    // 0 and the handle, or the code a call on it fails with.
    Dword Lookup(PrinterHandle handle, Handle& out);
    SimProcess& p_;
    std::mutex mutex_;
    std::map<std::uintptr_t, Handle> handles_;
};

class SimSetupApi final : public SetupApi {
public:
    explicit SimSetupApi(SimProcess& process) : p_(process) {}
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
    Status GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData& data, Dword property, Dword bufferSize,
                                     std::vector<char>& out) override;
    Status RemoveDevice(DevInfoSet set, const DevInfoData& data) override;
    Status DestroyDeviceInfoList(DevInfoSet set) override;

private:
    SimProcess& p_;
    std::mutex mutex_;
    std::map<std::uintptr_t, std::shared_ptr<const InfFile>> infs_;  // handle -> the INF read
    std::map<std::uintptr_t, std::vector<std::string>> sets_;    // handle -> device instance ids
};

class SimProcesses final : public Processes {
public:
    explicit SimProcesses(SimProcess& process) : p_(process) {}
    Dword WinExec(const std::string& commandLine, Dword show) override;
    Status CreateProcess(const std::string& application, const std::string& commandLine, Dword creationFlags,
                         const std::string& currentDirectory, const StartupInfo& startup,
                         ProcessInformation& out) override;
    Dword WaitForSingleObject(ProcessHandle process, Dword milliseconds) override;
    Status GetExitCodeProcess(ProcessHandle process, Dword& exitCode) override;
    void CloseHandle(ProcessHandle handle) override;
    [[noreturn]] void ExitProcess(int code) override;

    // The children started, in order.
    struct ChildRecord {
        std::string commandLine;
        std::string image;      // the program that ran, as Windows found it
        bool finished = true;   // false: it never ends (WAIT_TIMEOUT)
        Dword exitCode = 0;     // the PrintUIEntry model's result: 0 done, else the Win32 code
    };
    std::vector<ChildRecord> Children() const;

private:
    SimProcess& p_;
    mutable std::mutex mutex_;
    std::map<std::uintptr_t, size_t> handles_;   // process and thread handles -> child index
    std::vector<ChildRecord> children_;
};

// kernel32's library loader: the DLL search of the process and LoadLibrary,
// which loads nothing but records where Windows would take the DLL from.
class SimModules final : public Modules {
public:
    explicit SimModules(SimProcess& process) : p_(process) {}
    bool HasSetDefaultDllDirectories() override;
    Status SetDefaultDllDirectories(Dword flags) override;
    bool HasSetDllDirectory() override;
    Status SetDllDirectory(const std::string& path) override;
    Status LoadLibrary(const std::string& path) override;

private:
    SimProcess& p_;
};

class SimSystemInfo final : public SystemInfo {
public:
    explicit SimSystemInfo(SimProcess& process) : p_(process) {}
    Status GetVersionEx(OsVersionInfo& info) override;
    bool HasIsWow64Process() override;
    Status IsWow64Process(bool& result) override;
    Dword GetLastError() override;
    void SetLastError(Dword code) override;
    std::string FormatSystemMessage(Dword code, Dword languageId) override;

private:
    SimProcess& p_;
};

class SimClock final : public Clock {
public:
    explicit SimClock(SimProcess& process) : p_(process) {}
    LocalTime GetLocalTime() override;
    // Recorded as "SLEEP <ms>", the virtual clock advanced, the hook run.
    void Sleep(Dword milliseconds) override;

private:
    SimProcess& p_;
};

// advapi32's Service Control Manager: the spooler service's state.
class SimServices final : public Services {
public:
    explicit SimServices(SimProcess& process) : p_(process) {}
    Status QueryServiceStatus(const std::string& serviceName, Dword& currentState) override;

private:
    SimProcess& p_;
};

class SimPower final : public Power {
public:
    explicit SimPower(SimProcess& process) : p_(process) {}
    Status OpenProcessToken(Dword access, TokenHandle& out) override;
    Status LookupPrivilegeValue(const std::string& name, Luid& out) override;
    Status AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, Dword attributes) override;
    Status ExitWindowsEx(Dword flags, Dword reason) override;

private:
    SimProcess& p_;
    std::mutex mutex_;
    std::map<std::uintptr_t, Dword> tokens_;  // handle -> the access it was opened with
    // The access of the token through which the shutdown privilege was
    // enabled; 0 while it is not.
    Dword shutdownEnabledBy_ = 0;
};

// The English system message texts (FormatMessageA FROM_SYSTEM), "" when unknown.
std::string SystemMessageText(Dword code);

// One simulated process: all backends, ready to be handed out as a Platform.
class SimSystem {
public:
    SimSystem(Machine& machine, ProcessOptions options = ProcessOptions(), Events* events = nullptr);

    Platform MakePlatform(Ui& ui);

private:
    SimProcess process_;  // first: the backends below are built on it

public:

    SimProcess& Process() { return process_; }
    FaultSwitches& Faults() { return process_.Faults(); }
    std::vector<std::string> Calls() const { return process_.Calls(); }
    std::vector<const char*> CallNames() const { return process_.CallNames(); }
    void SetEvents(Events* events) { process_.SetEvents(events); }
    // Called after every Sleep is recorded (the headless UI drains its queue).
    void SetSleepHook(std::function<void()> hook) { process_.SetSleepHook(std::move(hook)); }
    bool Exited() const { return process_.Exited(); }

    SimFileSystem files;
    SimRegistry registry;
    SimSpooler spooler;
    SimSetupApi setup;
    SimProcesses processes;
    SimSystemInfo system;
    SimClock clock;
    SimPower power;
    SimServices services;
    SimModules modules;
};

}  // namespace zmp::sim
