// The inside of a Machine: the stores and the Windows behaviour that the
// simulated processes and the PrintUIEntry child share. Paths are physical
// and canonical (NormalizePath); every operation returns a Win32 code.
// Callers hold the machine's mutex.
//
// Every lookup the programs make per printer is indexed (printers by name,
// printers per driver, port and processor, held files by path and by
// holder), so that a run over N printers costs O(N log N), not O(N^2).
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Services.h"
#include "platform/Spooler.h"
#include "simulator/Inf.h"
#include "simulator/Machine.h"
#include "simulator/Text.h"

namespace zmp::sim {

// Win32 codes the model needs beyond platform/Types.h.
namespace werr {
constexpr Dword kBadNetPath = 53;
constexpr Dword kCallNotImplemented = 120;
constexpr Dword kInvalidLevel = 124;
constexpr Dword kBadExeFormat = 193;
constexpr Dword kExeMachineTypeMismatch = 216;
constexpr Dword kDirectory = 267;
constexpr Dword kMrMidNotFound = 317;
constexpr Dword kCanNotComplete = 1003;
constexpr Dword kServiceCannotAcceptControl = 1061;
constexpr Dword kNoSuchPrivilege = 1313;
constexpr Dword kPrivilegeNotHeld = 1314;
constexpr Dword kUnsupportedType = 1630;
constexpr Dword kInvalidUserBuffer = 1784;
constexpr Dword kInvalidDatatype = 1804;
constexpr Dword kInvalidEnvironment = 1805;
constexpr Dword kInvalidFormName = 1902;
constexpr Dword kWrongInfStyle = 0xE0000100;
constexpr Dword kSectionNotFound = 0xE0000101;
constexpr Dword kLineNotFound = 0xE0000102;
constexpr Dword kNoCatalogForOemInf = 0xE000022F;
constexpr Dword kInWow64 = 0xE0000235;
constexpr Dword kInfInUseByDevices = 0xE000023D;
constexpr Dword kWrongInfType = 0xE000024A;
}  // namespace werr

constexpr const char* kEnvX86 = "Windows NT x86";
constexpr const char* kEnvX64 = "Windows x64";
constexpr const char* kEnvWin40 = "Windows 4.0";

// The holder of files that only a restart releases, unless named otherwise.
constexpr const char* kAnotherProcess = "another process";
// The spooler's own process: what it holds goes when it stops.
constexpr const char* kSpoolerProcess = "spoolsv.exe";

struct FileNode {
    std::string path;                 // canonical, as created (case kept)
    bool directory = false;
    Dword attributes = 0;             // without the directory bit
    std::string data;
    std::string junction;             // target of a directory junction
    std::string hardLink;             // a second name of that file: its data is the file's (not saved)
    std::vector<AceEntry> acl;        // directories made with a security descriptor
    std::int64_t writeTime = 0;       // last write, virtual ms since 1970 (CopyFile keeps the source's)
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
    // A junction (directory reparse point) at link that leads to target.
    void PutJunction(const std::string& link, const std::string& target);
    // A second name, link, for the file at target (a hard link; not saved).
    void PutHardLink(const std::string& link, const std::string& target);
    // How many names the file has: 1 and its hard links.
    unsigned NameCount(const FileNode& node) const;
    void EraseTree(const std::string& path);
    void Rekey(const std::string& from, const std::string& to);  // a move, subtree included

    std::map<std::string, FileNode, std::less<>> nodes;  // PathKey -> node
    std::int64_t now = 0;                   // the machine's clock, for the write times of Put
private:
    bool junctions_ = false;  // none ever made: Follow has nothing to look for
    bool hardLinks_ = false;  // none ever made: every file has one name
};

// Files held open, and by whom: a holder is a process name, or the
// spooler's "spoolsv.exe:<what it loaded>", so that unloading one thing
// releases exactly its files. A rename moves the holds with the file.
class HoldTable {
public:
    void Hold(const std::string& path, const std::string& holder);
    void Release(const std::string& holder);
    // Every holder whose process is this one ("spoolsv.exe" releases all the spooler's).
    void ReleaseProcess(const std::string& process);
    void Clear();
    bool IsHeld(const std::string& path) const;
    // The processes holding the file, each once.
    std::vector<std::string> Processes(const std::string& path) const;
    void Move(const std::string& from, const std::string& to);
    // holder -> paths, for persistence.
    std::map<std::string, std::vector<std::string>> ByHolder() const;

    static std::string ProcessOf(const std::string& holder);

private:
    std::map<std::string, std::set<std::string>> byPath_;                 // PathKey -> holders
    std::map<std::string, std::map<std::string, std::string>> byHolder_;  // holder -> PathKey -> path
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

// The printers in enumeration (creation) order, indexed by name and counted
// per driver, port and print processor. A printer's name, driver, port and
// processor change only through Add, Replace and Erase.
class PrinterTable {
public:
    using List = std::list<SimPrinter>;
    PrinterTable() = default;
    PrinterTable(const PrinterTable& other) { *this = other; }
    PrinterTable& operator=(const PrinterTable& other);  // the index is rebuilt: it points into the list
    SimPrinter* Find(const std::string& name);
    const SimPrinter* Find(const std::string& name) const;
    SimPrinter& Add(const SimPrinter& printer);                    // a new name
    SimPrinter& Replace(const std::string& name, const SimPrinter& printer);  // same place in the order
    void Erase(const std::string& name);
    void Clear();
    size_t UsingDriver(const std::string& driver) const;
    size_t UsingPort(const std::string& port) const;
    size_t UsingProcessor(const std::string& processor) const;
    List::const_iterator begin() const { return list_.begin(); }
    List::const_iterator end() const { return list_.end(); }
    size_t size() const { return list_.size(); }
    bool empty() const { return list_.empty(); }

private:
    void Count(const SimPrinter& printer, int delta);
    List list_;
    std::unordered_map<std::string, List::iterator> byName_;  // Upper(name)
    std::unordered_map<std::string, size_t> drivers_, ports_, processors_;  // Upper(name) -> printers
};

// The account a trustee name resolves to (SetEntriesInAcl) on a Windows of
// that language, by its English name, which the model's ACL entries hold.
std::optional<std::string> ResolveTrustee(const std::string& name, const std::string& language);

// The driver package an INF describes for one environment: what the
// PrintUIEntry child, Plug and Play and the driver store read from it.
struct DriverPackage {
    std::string model;
    std::string installSection;
    DriverInfo3 info;                       // name, environment, the four files, dependents, monitor, datatype
    std::vector<std::string> monitor;       // LanguageMonitor: name, dll
    std::vector<std::string> processor;     // PrintProcessor: name, dll
    std::vector<std::string> copyFiles;     // every file CopyFiles names, the DLLs of monitor and processor included
    std::vector<std::string> unidrvFiles;   // Unidrv's own, from Windows (Needs=UNIDRV.OEM)
    std::map<std::string, std::string> sources;  // Upper(file) -> where the package keeps it
    std::array<Dword, 4> version{};         // DriverVer's version (else packageVersion): what the driver reports
    std::uint64_t driverVersion = 0;        // DriverVer's a.b.c.d, 16 bits each; 0 without DriverVer
    std::uint64_t driverDate = 0;           // DriverVer's date as a FILETIME
    std::string manufacturer, provider, hardwareId;
};

struct Machine::State {
    OsInfo os;
    std::string computerName = "ZMPTEST";
    Switches switches;
    std::int64_t clockMs = 0;        // virtual local time, ms since 1970-01-01 00:00
    unsigned restarts = 0;
    std::vector<ShutdownRequest> shutdownRequests;
    std::vector<std::string> loadedImages;  // programs run and DLLs loaded (not saved)
    unsigned unsignedDriverPrompts = 0;  // "Windows can't verify the publisher" shown and accepted

    FileStore files;
    HoldTable holds;
    std::vector<std::string> deleteAtRestart;  // paths (MoveFileEx ... DELAY_UNTIL_REBOOT)

    RegistryStore registry;

    // The spooler service: its state as the Service Control Manager reports
    // it, and when a pending stop or start completes.
    Dword serviceState = svc::kRunning;
    std::int64_t servicePendingUntil = 0;
    unsigned spoolerGeneration = 1;
    PrinterTable printers;
    std::vector<SimDriver> drivers;
    std::vector<SimMonitor> monitors;
    std::vector<SimProcessor> processors;
    std::vector<std::string> forms;
    std::vector<SimPort> ports;
    Dword nextJobId = 1;

    std::vector<SimDevice> devices;
    // Present devices whose node was removed: Plug and Play finds them again
    // at the next restart.
    std::vector<SimDevice> undiscoveredDevices;

    // --- directories
    std::string WindowsDir() const { return NormalizePathOrEmpty(os.windowsDirectory); }
    std::string SystemDir() const;
    std::string SysWow64Dir() const;
    std::string InfDir() const;
    std::string DriverStoreDir() const;   // <system32>\DriverStore\FileRepository
    std::string DriverDir(const std::string& environment) const;
    std::string ProcessorDir(const std::string& environment) const;
    std::string DriverVersionDir(const std::string& environment, Dword version) const;
    bool ValidEnvironment(const std::string& environment) const;
    std::string CanonicalEnvironment(const std::string& environment) const;

    // --- clock
    void Advance(std::int64_t milliseconds);   // completes what is pending by then

    // --- files, with Windows' codes
    bool IsHeld(const std::string& path) const;
    const FileNode* FindFile(const std::string& path) const;  // a file (not a directory), junctions followed
    Dword CopyFile(const std::string& source, const std::string& destination, bool failIfExists,
                   bool asSpooler = false);
    Dword DeleteFile(const std::string& path);
    Dword MoveFile(const std::string& from, const std::string& to);
    Dword CreateDirectory(const std::string& path, const std::vector<AceEntry>* acl);
    Dword RemoveDirectory(const std::string& path);
    Dword SetAttributes(const std::string& path, Dword attributes);
    // LoadLibrary of a DLL for this environment's process: 0, or 193 for no
    // image of the right machine type (a file that is no PE image at all is
    // a stand-in of the tests and taken as right), 127 when it exports none
    // of the names (when names are asked).
    Dword CheckImage(const std::string& path, const std::string& environment,
                     const std::vector<const char*>& exports) const;
    // The entry points the spooler looks for in a monitor DLL, newest first.
    static inline const std::vector<const char*> kMonitorEntryPoints = {
        "InitializePrintMonitor2", "InitializePrintMonitor", "InitializeMonitorEx", "InitializeMonitor"};

    // --- the spooler service
    bool SpoolerAccepting() const { return serviceState == svc::kRunning; }
    void NetStop();                   // "net stop spooler": stop pending, then stopped
    void NetStart();                  // "net start spooler": start pending, then running
    void StopSpooler();               // at once: releases every file it holds
    void StartSpooler();              // at once: reads its configuration from the registry

    // --- spooler model (the caller checks that the spooler runs)
    SimPrinter* FindPrinter(const std::string& name) { return printers.Find(name); }
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
    // or its version folder and copied into the version folder when newer.
    // package: what the INF it came from said, if any.
    Dword AddPrinterDriver(const DriverInfo3& info, const std::array<Dword, 4>& reportedVersion,
                           const DriverPackage* package = nullptr, const std::string& oemInf = std::string());
    Dword DeletePrinterDriver(const std::string& name, const std::string& environment, Dword deleteFlag,
                              Dword versionFlag);
    Dword AddPrinter(const PrinterInfo2& info);
    Dword DeletePrinter(const std::string& name);
    Dword RemoveJob(const std::string& printer, Dword jobId);
    Dword AddTcpPort(const SimPort& port);
    // The datatypes a print processor renders (EnumPrintProcessorDatatypes).
    static std::vector<std::string> Datatypes(const SimProcessor& processor);
    void WriteSpoolerKeys();          // registry keys of every spooler object
    void WritePrinterKey(const SimPrinter& printer);
    static std::string PrinterKey(const std::string& name);
    static std::string DriverKey(const SimDriver& driver);
    static std::string MonitorKey(const std::string& name);
    static std::string ProcessorKey(const std::string& environment, const std::string& name);

    // --- Setup API model
    // SetupCopyOEMInf: 0 and the oem INF's full path, or the code (80 with
    // the existing oem INF's path for NOOVERWRITE).
    // A relative source is refused before Windows 7 (2) and taken against
    // currentDirectory from then on. Vista and later check the package
    // (its models, its files, its catalog) and stage it in the driver store.
    Dword CopyOemInf(const std::string& source, Dword copyStyle, std::string& destination,
                     const std::string& currentDirectory = std::string());
    Dword UninstallOemInf(const std::string& name, Dword flags);
    // The oemN.inf holding this text, "" when none does.
    std::string InstalledOemInf(const std::string& text) const;
    // The INF as oemN.inf (name, or the lowest free N) with its precompiled
    // file, which remembers the source; the package into the driver store.
    std::string PlaceOemInf(const std::string& source, const std::string& text, std::string name);
    std::vector<std::string> InfFileNames(Dword style) const;
    SimDevice* FindDevice(const std::string& instanceId);
    // The parsed INF of this text (cached by content: the programs read the
    // same few INFs over and over).
    std::shared_ptr<const InfFile> ParseInf(const std::string& text) const;
    // The package the INF describes for model and environment: 0, or the
    // code the Setup API gives (1797 no such model in the models section for
    // the environment, 0xE0000101 no install section, 0xE0000102 a file
    // without a source, 2 a source file missing).
    Dword ReadPackage(const std::string& infPath, const std::string& model, const std::string& environment,
                      DriverPackage& out) const;
    // The model whose line in the native models sections names one of these
    // hardware ids, "" when none does.
    std::string ModelFor(const InfFile& inf, const std::vector<std::string>& hardwareIds) const;
    // The driver store (Vista and later): the package of an INF, staged.
    std::string StorePackageDir(const std::string& infPath, const std::string& infText) const;
    // Every file the INF's install sections copy for the native environment,
    // with where the package keeps it; the first missing one's code.
    Dword PackageFiles(const std::string& infPath, const InfFile& inf, std::map<std::string, std::string>& out) const;
    // The package into the driver store: the INF and its files, laid out as beside the INF.
    void StagePackage(const std::string& infPath, const std::string& infText);
    // "Windows can't verify the publisher of this driver software" for an
    // INF without a catalog: 0 when the user goes on, else the code.
    Dword VerifySignature(const std::string& infPath, const InfFile& inf);

    // The printer Windows itself adds for a driver (the child, Plug and Play).
    PrinterInfo2 PrinterOn(const SimDriver& driver, const std::string& name, const std::string& port);

    // --- Plug and Play
    void PlugUsbPrinter();
    // What a restart's hardware scan does: present devices without a node
    // come back, with their driver and printer installed again from a
    // matching INF or store package.
    void RediscoverDevices();

    // --- the PrintUIEntry child (cmd /c RUNDLL32 printui.dll,PrintUIEntry ...)
    // Returns the child's exit code: 0 when it did what the options ask,
    // else the Win32 code of the first check that failed; then nothing changed.
    Dword RunPrintUiEntry(const std::string& arguments, const std::string& currentDirectory,
                          const std::string& callerEnvironment);

    // Installs the driver of a package: monitor, processor, files, driver, oem INF.
    Dword InstallPackage(const std::string& infPath, const DriverPackage& package);

    // What the running spooler has loaded: every monitor's DLL, the DLLs of
    // its own environment's processors, the files of the drivers printers use.
    void LoadAll();
    void LoadMonitor(const SimMonitor& monitor);
    void LoadProcessor(const SimProcessor& processor);
    void LoadDriver(const SimDriver& driver);
    void UnloadDriver(const SimDriver& driver);

private:
    static std::string NormalizePathOrEmpty(const std::string& path);
    mutable std::unordered_map<std::string, std::shared_ptr<const InfFile>> infCache_;
};

}  // namespace zmp::sim
