// The inside of a Machine: the stores and the Windows behaviour that the
// simulated processes and the PrintUIEntry child share. Paths are physical
// and canonical (NormalizePath); every operation returns a Win32 code.
// Callers hold the machine's mutex.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Spooler.h"
#include "simulator/Machine.h"
#include "simulator/Text.h"

namespace zmp::sim {

// Win32 codes the model needs beyond platform/Types.h.
namespace werr {
constexpr Dword kBadNetPath = 53;
constexpr Dword kCallNotImplemented = 120;
constexpr Dword kDirectory = 267;
constexpr Dword kMrMidNotFound = 317;
constexpr Dword kCanNotComplete = 1003;
constexpr Dword kNoSuchPrivilege = 1313;
constexpr Dword kPrivilegeNotHeld = 1314;
constexpr Dword kInvalidUserBuffer = 1784;
constexpr Dword kInvalidDatatype = 1804;
constexpr Dword kInvalidEnvironment = 1805;
constexpr Dword kInvalidFormName = 1902;
constexpr Dword kSectionNotFound = 0xE0000101;
constexpr Dword kLineNotFound = 0xE0000102;
constexpr Dword kWrongInfStyle = 0xE0000100;
constexpr Dword kInfInUseByDevices = 0xE000023D;
}  // namespace werr

constexpr const char* kEnvX86 = "Windows NT x86";
constexpr const char* kEnvX64 = "Windows x64";
constexpr const char* kEnvWin40 = "Windows 4.0";

struct FileNode {
    std::string path;                 // canonical, as created (case kept)
    bool directory = false;
    Dword attributes = 0;             // without the directory bit
    std::string data;
    std::string junction;             // target of a directory junction
    std::vector<AceEntry> acl;        // directories made with a security descriptor
};

class FileStore {
public:
    // Follows junctions met before the last component.
    std::string Follow(const std::string& path) const;
    const FileNode* Get(const std::string& path) const;  // path already followed
    FileNode* Get(const std::string& path);
    // The code for a missing path: 2 when its parent directory exists, else 3.
    Dword MissingCode(const std::string& path) const;
    bool IsDirectory(const std::string& path) const;
    std::vector<const FileNode*> Children(const std::string& directory) const;
    void EnsureDirectory(const std::string& path);        // with parents
    FileNode& Put(const std::string& path, const std::string& data);  // parents created
    void EraseTree(const std::string& path);
    void Rekey(const std::string& from, const std::string& to);  // a move, subtree included

    std::map<std::string, FileNode> nodes;  // PathKey -> node
};

struct RegNode {
    std::string path;                       // "HKLM\\SOFTWARE\\X"
    std::map<std::string, std::pair<std::string, RegValue>> values;  // upper name -> (name, value)
    bool protectedKey = false;              // Plug and Play's: no delete right for the administrator
    bool protectionRoot = false;            // DACL does not inherit from above
    std::vector<AceEntry> acl;              // entries added through SetSecurityInfo
};

class RegistryStore {
public:
    // "HKEY_LOCAL_MACHINE\\A\\\\B\\" -> "HKLM\\A\\B"; "" for an unknown root.
    static std::string Canonical(const std::string& path);
    static std::string Parent(const std::string& path);
    RegNode* Get(const std::string& path);
    const RegNode* Get(const std::string& path) const;
    RegNode& Create(const std::string& path);
    bool HasSubkeys(const std::string& path) const;
    std::vector<std::string> Children(const std::string& path) const;  // names
    void EraseTree(const std::string& path);
    // Whether the administrator holds DELETE on the key (own and inherited entries).
    bool Deletable(const std::string& path) const;

    std::map<std::string, RegNode> nodes;
};

// The account a trustee name resolves to (SetEntriesInAcl) on a Windows of
// that language, by its English name, which the model's ACL entries hold.
std::optional<std::string> ResolveTrustee(const std::string& name, const std::string& language);

struct Machine::State {
    OsInfo os;
    std::string computerName = "ZMPTEST";
    Switches switches;
    std::int64_t clockMs = 0;        // virtual local time, ms since 1970-01-01 00:00
    unsigned restarts = 0;
    std::vector<ShutdownRequest> shutdownRequests;

    FileStore files;
    std::set<std::string> spoolerHolds;   // PathKeys of files the spooler has loaded
    std::set<std::string> otherHolds;     // PathKeys held by other processes

    RegistryStore registry;

    bool spoolerRunning = true;
    unsigned spoolerGeneration = 1;
    std::vector<SimPrinter> printers;
    std::vector<SimDriver> drivers;
    std::vector<SimMonitor> monitors;
    std::vector<SimProcessor> processors;
    std::vector<std::string> forms;
    std::vector<SimPort> ports;
    Dword nextJobId = 1;

    std::vector<SimDevice> devices;

    // --- directories
    std::string WindowsDir() const { return NormalizePathOrEmpty(os.windowsDirectory); }
    std::string SystemDir() const;
    std::string SysWow64Dir() const;
    std::string InfDir() const;
    std::string DriverDir(const std::string& environment) const;
    std::string ProcessorDir(const std::string& environment) const;
    std::string DriverVersionDir(const std::string& environment, Dword version) const;
    bool ValidEnvironment(const std::string& environment) const;
    std::string CanonicalEnvironment(const std::string& environment) const;

    // --- files, with Windows' codes
    bool IsHeld(const std::string& path) const;
    Dword CopyFile(const std::string& source, const std::string& destination, bool failIfExists,
                   bool asSpooler = false);
    Dword DeleteFile(const std::string& path);
    Dword MoveFile(const std::string& from, const std::string& to);
    Dword CreateDirectory(const std::string& path, const std::vector<AceEntry>* acl);
    Dword RemoveDirectory(const std::string& path);
    Dword SetAttributes(const std::string& path, Dword attributes);

    // --- spooler model (the caller checks that the spooler runs)
    SimPrinter* FindPrinter(const std::string& name);
    SimDriver* FindDriver(const std::string& name, const std::string& environment);
    SimMonitor* FindMonitor(const std::string& name);
    SimProcessor* FindProcessor(const std::string& name, const std::string& environment);
    SimPort* FindPort(const std::string& name);
    bool FormExists(const std::string& name) const;
    // Where the spooler loads a monitor DLL from: LoadLibrary's search order,
    // the system directory, then the Windows directory.
    std::string MonitorDllPath(const std::string& dll) const;
    Dword AddMonitor(const SimMonitor& monitor);
    Dword DeleteMonitor(const std::string& name);
    Dword AddPrintProcessor(const std::string& environment, const std::string& file, const std::string& name);
    Dword DeletePrintProcessor(const std::string& environment, const std::string& name);
    // Driver files are taken from the environment's driver directory (staged)
    // or its version folder and copied into the version folder.
    Dword AddPrinterDriver(const DriverInfo3& info, const std::array<Dword, 4>& reportedVersion);
    Dword DeletePrinterDriver(const std::string& name, const std::string& environment, Dword deleteFlag,
                              Dword versionFlag);
    Dword AddPrinter(const PrinterInfo2& info);
    Dword DeletePrinter(const std::string& name);
    Dword RemoveJob(const std::string& printer, Dword jobId);
    Dword AddTcpPort(const SimPort& port);
    void StartSpooler();
    void StopSpooler();
    void RecomputeHolds();
    void WriteSpoolerKeys();          // registry keys of every spooler object
    void WritePrinterKey(const SimPrinter& printer);
    static std::string PrinterKey(const std::string& name);
    static std::string DriverKey(const SimDriver& driver);
    static std::string MonitorKey(const std::string& name);
    static std::string ProcessorKey(const std::string& environment, const std::string& name);

    // --- Setup API model
    // SetupCopyOEMInf: 0 and the oem INF's full path, or the code (80 with
    // the existing oem INF's path for NOOVERWRITE).
    Dword CopyOemInf(const std::string& source, Dword copyStyle, std::string& destination);
    Dword UninstallOemInf(const std::string& name, Dword flags);
    std::vector<std::string> InfFileNames(Dword style) const;
    SimDevice* FindDevice(const std::string& instanceId);

    // --- Plug and Play
    void PlugUsbPrinter();

    // --- the PrintUIEntry child (cmd /c RUNDLL32 printui.dll,PrintUIEntry ...)
    // Returns the child's exit code: 0 when it did what the options ask.
    Dword RunPrintUiEntry(const std::string& arguments, const std::string& currentDirectory);

private:
    static std::string NormalizePathOrEmpty(const std::string& path);
    Dword InstallDriverFromInf(const std::string& infPath, const std::string& model);
};

}  // namespace zmp::sim
