// The driver's INF as an oem INF, and the "Uninstall" entry that points to
// the uninstaller in the utilities folder.
#include "installer/DriverInstaller.h"

#include <cstdio>

#include "support/DriverConfig.h"
#include "support/RegistryHelpers.h"

namespace zmp {
namespace {

constexpr Dword kPathSize = 256;
constexpr Dword kKeyReadWrite = reg::kKeyRead | reg::kKeyWrite;  // 0x2001F

enum StringId {
    kIdModelName = 1,
    kIdPrinterName = 2,
    kIdInfName = 11,
    kIdUninstaller = 18,
    kIdUninstallKey = 20,
    kIdVersionMajor = 21,
    kIdVersionMinor = 22,
    kIdVersionBuild = 23,
    kIdVersionExtra = 24,
    kIdMakerName = 25,
};

// The bytes of the files that match a pattern; 0 when none does.
std::uint64_t SizeOf(FileSystem& files, const std::string& pattern) {
    std::uint64_t total = 0;
    FindHandle search = FindHandle::None;
    FindData data;
    if (!files.FindFirstFile(pattern, search, data).ok()) return 0;
    do {
        if (!(data.attributes & file::kAttributeDirectory)) total += data.size;
    } while (files.FindNextFile(search, data).ok());
    files.FindClose(search);
    return total;
}

}  // namespace

Dword DriverInstaller::InstalledSizeKb() {
    // What this installation puts on the disk comes from the package: the
    // driver files of this Windows, the INF, and the utilities.
    FileSystem& files = platform_.files;
    std::uint64_t bytes = SizeOf(files, ".\\" + sourceFolder_ + "*");
    for (const std::string& name : {platform_.ui.LoadString(kIdInfName), platform_.ui.LoadString(kIdUninstaller),
                                     std::string(kConfigFileName)})
        bytes += SizeOf(files, ".\\" + name);
    return static_cast<Dword>((bytes + 1023) / 1024);
}

void DriverInstaller::CopyINFFile() {
    Begin("CopyINFFile");
    // The INF lies in the current directory, the installer's package folder.
    // Windows documents a full source path; the Setup API backend makes one
    // of this relative path.
    std::string infPath = ".\\" + platform_.ui.LoadString(kIdInfName);
    log_.WriteLog("Inf File Name : %s", infPath.c_str());

    SetupApi& setup = platform_.setup;
    std::string oemInf;
    Status copied = setup.CopyOEMInf(infPath, setup::kSpostPath, setup::kSpCopyNoOverwrite, oemInf);
    log_.WriteLog("Inf File Name : %s", infPath.c_str());
    if (copied.code == err::kFileExists) {
        // Installed already: replace it; the name is that oem INF's either way.
        std::string replaced;
        setup.CopyOEMInf(infPath, setup::kSpostPath, setup::kSpCopyReplaceOnly, replaced);
        if (!replaced.empty()) oemInf = replaced;
    } else if (!copied.ok()) {
        log_.WriteLog("SetupCopyOEMInf failed : (%d)", static_cast<int>(copied.code));
        ShowSystemError("SetupCopyOEMInf, ERR CODE: %d\n\n", copied.code);
        oemInf.clear();
    }
    infName_ = oemInf;
    log_.WriteLog("INF FILE NAME : %s", infName_.c_str());
    End("CopyINFFile");
}

void DriverInstaller::RegisterUninstallInfo() {
    Begin("RegisterUninstallInfo");
    Ui& ui = platform_.ui;
    Registry& registry = platform_.registry;
    const RegKey machine = registry.Root(RegRoot::LocalMachine);
    const std::string keyPath = ui.LoadString(kIdUninstallKey);
    log_.WriteLog("REGKEY : %s", keyPath.c_str());

    // A fresh entry: values of an earlier installation do not survive. The
    // codes logged are the calls' own; registry calls leave the thread's
    // last error alone.
    RegKey existing = RegKey::None;
    if (is64_) {
        // This 32-bit program would see the 32-bit view by default; the
        // entry belongs in the 64-bit one.
        if (registry.OpenKey(machine, keyPath, kKeyReadWrite | reg::kKeyWow64_64Key, existing) == err::kSuccess) {
            long deleted = MyRegDeleteKeyEx(registry, machine, keyPath, reg::kKeyWow64_64Key, 0);
            if (deleted != 0) {
                int code = deleted == -1 ? static_cast<int>(platform_.system.GetLastError()) : static_cast<int>(deleted);
                log_.WriteLog("MyRegDeleteKeyEx failed : %s, (%d) ", keyPath.c_str(), code);
            }
            registry.CloseKey(existing);
        }
    } else if (registry.OpenKey(machine, keyPath, kKeyReadWrite, existing) == err::kSuccess) {
        Dword deleted = registry.ShDeleteKey(machine, keyPath);
        if (deleted != err::kSuccess)
            log_.WriteLog("SHDeleteKey failed : %s , (%d) ", keyPath.c_str(), static_cast<int>(deleted));
        registry.CloseKey(existing);
    }

    RegKey key = RegKey::None;
    const Dword access = is64_ ? (reg::kKeyWrite | reg::kKeyWow64_64Key) : reg::kKeyWrite;
    Dword created = registry.CreateKey(machine, keyPath, reg::kRegOptionNonVolatile, access, key);
    if (created != err::kSuccess) {
        log_.WriteLog(is64_ ? "RegCreateKeyEx failed : %s, (%d) " : "RegCreateKeyEx failed : %s , (%d) ",
                      keyPath.c_str(), static_cast<int>(created));
        End("RegisterUninstallInfo");
        return;
    }

    // Three of the four version digits; each text cut to the 256-byte
    // buffer it is built in.
    auto fit = [](std::string text) {
        if (text.size() >= kPathSize) text.resize(kPathSize - 1);
        return text;
    };
    std::string displayName = fit(ui.LoadString(kIdPrinterName) + " Windows Driver V" +
                                  ui.LoadString(kIdVersionMajor) + "." + ui.LoadString(kIdVersionMinor) +
                                  "." + ui.LoadString(kIdVersionBuild));
    registry.SetStringValue(key, "DisplayName", displayName);
    // Without the Windows directory the path would be a relative one that
    // nothing could start: no value rather than a wrong one.
    const std::string windowsDir = WindowsDirectory();
    if (!windowsDir.empty()) {
        std::string uninstallString =
            fit(windowsDir + "\\" + ui.LoadString(kIdModelName) + "\\" + ui.LoadString(kIdUninstaller));
        registry.SetStringValue(key, "UninstallString", uninstallString);
        // What a deployment tool and the Programs list take from the entry,
        // in Windows' names and types for it.
        registry.SetStringValue(key, "DisplayIcon", uninstallString);
        registry.SetStringValue(key, "QuietUninstallString", "\"" + uninstallString + "\" /quiet /norestart");
    }
    if (!infName_.empty()) registry.SetStringValue(key, "InfFile", infName_);
    registry.SetStringValue(key, "DisplayVersion",
                            ui.LoadString(kIdVersionMajor) + "." + ui.LoadString(kIdVersionMinor) + "." +
                                ui.LoadString(kIdVersionBuild) + "." + ui.LoadString(kIdVersionExtra));
    registry.SetStringValue(key, "Publisher", ui.LoadString(kIdMakerName));
    registry.SetDwordValue(key, "NoModify", 1);
    registry.SetDwordValue(key, "NoRepair", 1);
    registry.SetDwordValue(key, "EstimatedSize", InstalledSizeKb());
    const LocalTime today = platform_.clock.GetLocalTime();
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", today.year % 10000, today.month % 100, today.day % 100);
    registry.SetStringValue(key, "InstallDate", date);
    registry.CloseKey(key);
    End("RegisterUninstallInfo");
}

}  // namespace zmp
