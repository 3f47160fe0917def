// One simulated Windows machine: its OS version record, drives and files,
// registry, print spooler, oem INF files and Plug-and-Play devices, clock and
// model switches. The simulated programs reach it only through SimSystem
// (SimPlatform.h); tests use the direct access below to set up and inspect.
//
// Paths here are physical Windows paths ("C:\\Windows\\System32\\x.dll"),
// case-insensitive, doubled separators accepted; no WOW64 redirection is
// applied (that is a property of the calling process, see SimSystem).
// Registry paths name a root and a key: "HKLM\\SOFTWARE\\...", "HKU\\...",
// "HKCR\\...", "HKCU\\...". On 64-bit Windows the 32-bit view of
// HKLM\SOFTWARE is the physical key HKLM\SOFTWARE\Wow6432Node.
//
// A machine lives in a directory: files under DIR/drive/<letter>/..., the
// rest in DIR/state.json (docs/simulator.md describes it). Every member
// function is thread-safe (one recursive mutex guards the whole state).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Types.h"

namespace zmp::sim {

// The version record and the run-time-looked-up functions of one release.
struct OsInfo {
    std::string preset;           // "95" ... "10", or "" for a hand-made record
    Dword platformId = 2;
    Dword majorVersion = 6;
    Dword minorVersion = 1;
    Dword buildNumber = 7601;
    Dword productType = 1;        // VER_NT_WORKSTATION
    std::string csdVersion;
    bool is64Bit = false;         // 64-bit Windows (a 32-bit program runs under WOW64)
    std::string windowsDirectory = "C:\\Windows";
    bool hasIsWow64Process = true;
    bool hasRegDeleteKeyEx = true;
    bool hasGetSystemWow64Directory = true;
    bool hasSetupUninstallOEMInf = true;
    // The language edition, as far as it shows to the programs: on "de" and
    // "fr" Windows the built-in accounts have localized names ("Jeder",
    // "Tout le monde" for Everyone) and the English ones do not resolve;
    // every other language keeps the English names.
    std::string language = "en";
    // The ANSI code page the "A" functions read text in: 1252, or 932
    // (Japanese, double-byte: a character's second byte may be 0x5C).
    Dword ansiCodePage = 1252;

    bool VistaOrLater() const { return platformId == 2 && majorVersion >= 6; }
    // The spooler's own environment: "Windows x64", "Windows NT x86" or, on
    // the 9x family, "Windows 4.0".
    std::string NativeEnvironment() const;
};

// Registry value. type is REG_SZ (1), REG_DWORD (4) or REG_MULTI_SZ (7).
struct RegValue {
    Dword type = 1;
    std::string text;                 // REG_SZ
    Dword number = 0;                 // REG_DWORD
    std::vector<std::string> multi;   // REG_MULTI_SZ
};

// One access entry of a key's or directory's DACL, in the system's terms.
struct AceEntry {
    std::string trustee;   // resolved account name, e.g. "Everyone"
    Dword mask = 0;        // access mask (KEY_ALL_ACCESS, GENERIC_ALL ...)
    Dword mode = 1;        // sec::kGrantAccess, kSetAccess, kDenyAccess
    Dword inheritance = 0; // sec::kSubContainersOnlyInherit ...
};

// --- print spooler records -------------------------------------------------

struct SimPrinter {
    std::string name;
    std::string driver;
    std::string port;
    std::string processor = "winprint";
    std::string datatype = "RAW";
    std::string shareName;
    Dword attributes = 0;
    Dword priority = 1;
    Dword status = 0;
    // Printer data the printer reports itself; a value missing here is
    // taken from its driver's reported data ("MajorVersion" ...).
    std::map<std::string, Dword> data;
    std::vector<Dword> jobs;          // queued job ids, in queue order
    bool pendingDeletion = false;     // deleted while jobs were queued
};

struct SimDriver {
    std::string name;
    std::string environment;          // "Windows NT x86", "Windows x64"
    Dword version = 3;
    std::string driverPath;           // bare file names, in the version folder
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    std::vector<std::string> dependentFiles;
    std::string monitorName;
    std::string defaultDataType = "RAW";
    // What a printer using this driver reports as printer data, as the
    // real driver does ("MajorVersion", "MinorVersion", "BuildVersion",
    // "ExtraVersion").
    std::map<std::string, Dword> reportedData;
    // The print processor named by the INF it came from (used when Plug
    // and Play or PrintUIEntry creates a printer); empty means "winprint".
    std::string printProcessor;
    std::string oemInf;               // the oem INF it was installed from, if any
    // What the INF said (level 6); 0 and "" for a driver added without one.
    std::uint64_t driverDate = 0;     // DriverVer's date, a FILETIME
    std::uint64_t driverVersion = 0;  // DriverVer's a.b.c.d, 16 bits each
    std::string mfgName;
    std::string hardwareId;
    std::string provider;

    std::vector<std::string> Files() const;  // every named file, no duplicates
};

struct SimMonitor {
    std::string name;
    std::string environment;
    std::string dll;
};

struct SimProcessor {
    std::string name;
    std::string environment;
    std::string dll;
};

struct SimPort {
    std::string name;                 // "COM1:", "USB001", "IP_192.168.0.10"
    std::string monitor;              // "Local Port", "USB Monitor", "Standard TCP/IP Port"
    std::string hostAddress;          // Standard TCP/IP ports only
    Dword portNumber = 0;
    Dword protocol = 0;               // 1 raw, 2 LPR
};

// --- Plug and Play ---------------------------------------------------------

struct SimDevice {
    std::string instanceId;           // "USB\\VID_7F3C&PID_0042\\ZMP0001"
    std::vector<std::string> hardwareIds;
    bool present = true;
    std::string oemInf;               // oem INF the device was installed with ("" = none)
};

// The environment the PrintUIEntry child installs for: the machine's own,
// or that of the program that started it (a 32-bit program's on 64-bit
// Windows reads the undecorated models section and Driver32's files).
enum class ChildEnvironment { Native, Caller };

// Behaviour switches of the model (persisted with the machine).
struct Switches {
    // A PrintUIEntry child that never finishes: WaitForSingleObject gives
    // WAIT_TIMEOUT and the child changes nothing.
    bool childTimesOut = false;
    // Non-zero: CreateProcessA fails with this code.
    Dword createProcessError = 0;
    // Before Vista: AddPrinterDriverA fails with ERROR_MOD_NOT_FOUND (126)
    // while "<system32>\framedyn.dll" is missing.
    bool addDriverNeedsFramedyn = false;
    // The account holds SeShutdownPrivilege.
    bool shutdownPrivilege = true;
    // The code of CopyFileA over a file the spooler holds (32 or 5).
    Dword copyOverHeldFileError = err::kSharingViolation;
    // Printer data reported by a driver installed from our package.
    std::array<Dword, 4> packageVersion{2, 0, 6, 0};
    // How long "net stop spooler" and "net start spooler" take, in virtual
    // ms, from the command to the service's new state.
    Dword spoolerStopMs = 1000;
    Dword spoolerStartMs = 1500;
    // Windows 7 and later: drivers run in a driver-isolation host, which
    // holds the files of a driver that printers use until the next restart
    // ("net stop spooler" does not end it).
    bool driverIsolation = false;
    // A driver package without a catalog: accepted once "Windows can't
    // verify the publisher" was confirmed (a test-signing machine), or refused.
    bool acceptUnsignedDrivers = true;
    // Device installation from a 32-bit process on 64-bit Windows fails
    // with ERROR_IN_WOW64 (SetupDiRemoveDevice here).
    bool wow64DeviceInstallFails = false;
    ChildEnvironment childEnvironment = ChildEnvironment::Native;
};

// One ExitWindowsEx call a program made: its flags and reason, and the
// access of the process token through which the shutdown privilege was
// enabled (0 when it was not).
struct ShutdownRequest {
    Dword flags = 0;
    Dword reason = 0;
    Dword tokenAccess = 0;
    bool accepted = false;  // false: refused (the privilege not enabled)
};

// Milliseconds since 1970-01-01 00:00 of a local time: the model's clock.
std::int64_t EpochMilliseconds(const LocalTime& time);

// Serial of the USB printer that PlugUsbPrinter() attaches.
inline constexpr const char* kUsbPrinterSerial = "ZMP0001";
inline constexpr const char* kUsbPrinterInstancePrefix = "USB\\VID_7F3C&PID_0042\\";
inline constexpr const char* kUsbPrintEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40";
inline constexpr const char* kPnpStagingDirectory = "korvant_zmp_k402463";
inline constexpr const char* kUsbPrinterName = "KORVANT ZMP-K40";

class Machine {
public:
    // --- construction and persistence
    // Presets: "95", "98", "me", "nt4", "2000", "xp", "2003", "xp64",
    // "vista", "2008", "2008r2", "7", "10". is64Bit is allowed for xp64
    // (always 64-bit), vista, 2008, 2008r2, 7 and 10. windowsDirectory
    // overrides the preset's ("D:\\WINNT"). nullptr for an unknown name.
    static std::unique_ptr<Machine> Preset(const std::string& name, bool is64Bit = false,
                                           const std::string& windowsDirectory = std::string());
    static std::vector<std::string> PresetNames();
    // Loads DIR/state.json and DIR/drive/. nullptr and *error on failure.
    static std::unique_ptr<Machine> Load(const std::string& dir, std::string* error = nullptr);
    bool Save(const std::string& dir, std::string* error = nullptr) const;
    // The whole state as JSON (state.json plus the file list), for "show".
    std::string Show() const;

    Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    ~Machine();

    std::recursive_mutex& Mutex() const { return mutex_; }

    // --- OS
    OsInfo Os() const;
    void SetOs(const OsInfo& os);
    std::string ComputerName() const;
    std::string WindowsDirectory() const;
    std::string SystemDirectory() const;        // <windir>\system32 (native)
    std::string SysWow64Directory() const;      // <windir>\SysWOW64, "" on 32-bit Windows
    std::string InfDirectory() const;           // <windir>\inf
    // <windir>\system32\spool\drivers\w32x86 | x64 | win40 for an environment.
    std::string PrinterDriverDirectory(const std::string& environment) const;
    std::string PrintProcessorDirectory(const std::string& environment) const;
    Switches& ModelSwitches();                  // plain data; set before a run
    Switches ModelSwitchesCopy() const;

    // --- clock
    LocalTime Now() const;
    void SetTime(const LocalTime& time);
    void Advance(Dword milliseconds);

    // --- files (physical paths; parents are created as needed)
    void WriteFile(const std::string& path, const std::string& data);
    void MakeDirectory(const std::string& path);
    // A junction (directory reparse point) at link that leads to target.
    void MakeJunction(const std::string& link, const std::string& target);
    // A second name for the file target: what is written through link
    // lands in target (not saved).
    void MakeHardLink(const std::string& link, const std::string& target);
    bool FileExists(const std::string& path) const;       // a file, not a directory
    bool DirectoryExists(const std::string& path) const;
    std::optional<std::string> ReadFile(const std::string& path) const;
    Dword Attributes(const std::string& path) const;      // INVALID when absent
    // Last write, in EpochMilliseconds; 0 when absent.
    std::int64_t LastWriteTime(const std::string& path) const;
    void SetAttributes(const std::string& path, Dword attributes);
    // Names (not paths) in a directory, sorted as NTFS lists them.
    std::vector<std::string> ListDirectory(const std::string& path) const;
    // Removes a file or a whole directory tree, whatever holds it.
    void Remove(const std::string& path);
    // The DACL a directory was created with (CreateDirectoryA with security).
    std::vector<AceEntry> DirectoryAcl(const std::string& path) const;
    // A file held open by another process ("splwow64.exe", ...), which
    // "net stop spooler" does not end: only Reboot releases it.
    void HoldOpen(const std::string& path, const std::string& process = "another process");
    // Held by the spooler (a loaded DLL, a driver in use) or another process.
    bool IsHeld(const std::string& path) const;
    // The processes that hold it ("spoolsv.exe", "another process", ...).
    std::vector<std::string> HeldBy(const std::string& path) const;
    // Files to be deleted at the next restart (a driver's loaded files).
    std::vector<std::string> DeleteAtRestart() const;
    // Copies a host file or a whole host directory into the machine.
    bool ImportHostFile(const std::string& hostPath, const std::string& path);
    bool ImportHostTree(const std::string& hostDir, const std::string& path);

    // --- registry (physical key paths)
    void CreateKey(const std::string& keyPath);
    bool KeyExists(const std::string& keyPath) const;
    void DeleteKeyTree(const std::string& keyPath);
    void SetValue(const std::string& keyPath, const std::string& name, const RegValue& value);
    void SetString(const std::string& keyPath, const std::string& name, const std::string& value);
    std::optional<RegValue> GetValue(const std::string& keyPath, const std::string& name) const;
    std::optional<std::string> GetString(const std::string& keyPath, const std::string& name) const;
    std::vector<std::string> SubKeys(const std::string& keyPath) const;
    // Protects a key and everything below it as Plug and Play does: the
    // administrator may read it and rewrite its DACL, not delete it.
    void ProtectKey(const std::string& keyPath);
    std::vector<AceEntry> KeyAcl(const std::string& keyPath) const;
    // Whether the administrator may delete the key now (its own and
    // inherited entries considered).
    bool KeyDeletable(const std::string& keyPath) const;

    // --- spooler
    bool SpoolerRunning() const;
    // The service's state as the Service Control Manager reports it (svc::k...).
    Dword SpoolerServiceState() const;
    // At once (the "net" commands take their time, see Switches):
    void StartSpooler();   // forgets objects whose registry keys are gone
    void StopSpooler();    // releases every file it holds
    std::vector<SimPrinter> Printers() const;       // in enumeration order
    std::optional<SimPrinter> FindPrinter(const std::string& name) const;
    void AddPrinterRecord(const SimPrinter& printer);
    void AddJobs(const std::string& printerName, unsigned count);
    std::vector<SimDriver> Drivers() const;
    std::optional<SimDriver> FindDriver(const std::string& name, const std::string& environment) const;
    // Registers a driver; with createFiles its files are written into the
    // version folder of its environment's driver directory.
    void AddDriverRecord(const SimDriver& driver, bool createFiles = true);
    std::vector<SimMonitor> Monitors() const;
    void AddMonitorRecord(const SimMonitor& monitor);
    std::vector<SimProcessor> Processors() const;
    void AddProcessorRecord(const SimProcessor& processor);
    std::vector<std::string> Forms() const;
    void AddForm(const std::string& name);
    std::vector<SimPort> Ports() const;
    void AddPortRecord(const SimPort& port);

    // --- Setup API and Plug and Play
    std::vector<std::string> OemInfs() const;       // oemN.inf names in the INF directory
    // Folder names in the driver store (Vista and later), e.g. "zmpk40.inf_amd64_1f0e...".
    std::vector<std::string> StorePackages() const;
    // How often "Windows can't verify the publisher" was shown and accepted.
    unsigned UnsignedDriverPrompts() const;
    std::vector<SimDevice> Devices() const;
    void AddDevice(const SimDevice& device);
    // Switches the USB printer on (see docs/simulator.md): its device node,
    // the protected USBPRINT enumeration key with a subkey, the Plug-and-Play
    // staging directory and, when the driver is installed, the printer object
    // "KORVANT ZMP-K40" on port "USB001".
    void PlugUsbPrinter();
    // Switches it off: the device node stays, not present.
    void UnplugUsbPrinter();
    // Present devices whose node was removed (they come back at Reboot).
    std::vector<SimDevice> UndiscoveredDevices() const;

    // --- programs and libraries
    // Every program a simulated process ran (WinExec, CreateProcess, and
    // what cmd and rundll32 went on to run) and every DLL loaded
    // (LoadLibrary, rundll32), as the physical path Windows took it from,
    // in order, since the machine was made or loaded (not saved).
    std::vector<std::string> LoadedImages() const;

    // --- power
    unsigned RestartsRequested() const;
    // Every ExitWindowsEx call since the machine was made or loaded (not saved).
    std::vector<ShutdownRequest> ShutdownRequests() const;
    // What a restart does to the model: every process ends (the files they
    // hold are released, those to be deleted at the restart go), the spooler
    // starts afresh, and Plug and Play finds the devices present again.
    void Reboot();

    // A machine in the same state, independent of this one.
    std::unique_ptr<Machine> Clone() const;

    // For the simulator's backends (SimPlatform.h): the state itself.
    struct State;
    State& Internal() { return *state_; }
    const State& Internal() const { return *state_; }

private:
    mutable std::recursive_mutex mutex_;
    std::unique_ptr<State> state_;
};

}  // namespace zmp::sim
