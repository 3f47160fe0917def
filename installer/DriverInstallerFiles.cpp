// File copying: staging the driver files for the spooler, the utilities
// folder, and the ".old" fallback for targets that are in use.
#include "installer/DriverInstaller.h"

#include "removal/FileRemoval.h"
#include "support/DriverConfig.h"

namespace zmp {
namespace {

constexpr Dword kPathSize = 256;
// Unidrv's own files, copied and deleted in this order.
const char* const kUnidrvFiles[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL"};
constexpr const char* kStdNames = "STDNAMES.GPD";
constexpr const char* kOldSuffix = ".old";

enum StringId {
    kIdModelName = 1,
    kIdUninstaller = 18,
    kIdGpd = 26,
    kIdUiIni = 28,
};

}  // namespace

// Empty when Windows cannot say: a target built on it would name the root
// of the current drive, so callers leave such targets alone.
std::string DriverInstaller::WindowsDirectory() {
    std::string dir;
    if (platform_.files.GetWindowsDirectory(dir, kPathSize) == 0) {
        log_.WriteLog("GetWindowsDirectory failed. (%d)", static_cast<int>(platform_.system.GetLastError()));
        dir.clear();
    }
    return dir;
}

std::string DriverInstaller::SystemDirectory() {
    std::string dir;
    if (platform_.files.GetSystemDirectory(dir, kPathSize) == 0) {
        log_.WriteLog("GetSystemDirectory failed. (%d)", static_cast<int>(platform_.system.GetLastError()));
        dir.clear();
    }
    return dir;
}

std::string DriverInstaller::PrinterDriverDirectory() {
    std::string dir;
    // The directory of the environment the driver is for: this 32-bit
    // program's own would be the x86 one on 64-bit Windows.
    Status status = platform_.spooler.GetPrinterDriverDirectoryFor(environment_, dir);
    if (!status.ok()) {
        log_.WriteLog("GetPrinterDriverDirectory failed. (%d)", static_cast<int>(status.code));
        dir.clear();
    }
    return dir;
}

void DriverInstaller::CopyWithFallback(const std::string& source, const std::string& destination) {
    Status copied = platform_.files.CopyFile(source, destination, false);
    log_.WriteLog("FILE SRC : %s", source.c_str());
    if (!copied.ok()) HandleCopyFileError(source, destination, copied.code);
}

bool DriverInstaller::HandleCopyFileError(const std::string& source, const std::string& destination,
                                          Dword errorCode) {
    if (errorCode != err::kAccessDenied && errorCode != err::kSharingViolation) {
        log_.WriteLog("COPYFILE ERROR, SRC : %s ", source.c_str());
        log_.WriteLog("ERROR CODE : %d ", static_cast<int>(errorCode));
        log_.WriteLog("COPYFILE ERROR, DES : %s ", destination.c_str());
        return false;
    }
    FileSystem& files = platform_.files;
    const std::string old = destination + kOldSuffix;
    log_.WriteLog(errorCode == err::kAccessDenied ? "ERROR_ACCESS_DENIED HANDLER"
                                                  : "ERROR_SHARING_VIOLATION HANDLER");
    // A DLL the spooler has loaded cannot be overwritten, but it can be
    // renamed: the loaded one lives on as ".old" beside the new copy.
    if (files.GetFileAttributes(old) != file::kInvalidFileAttributes) files.DeleteFile(old);
    if (files.GetFileAttributes(destination) != file::kInvalidFileAttributes) {
        files.Rename(destination, old);
        log_.WriteLog("strDest : %s", destination.c_str());
        log_.WriteLog("strDestWithOldExt : %s", old.c_str());
    }
    Status copied = files.CopyFile(source, destination, false);
    if (!copied.ok()) {
        log_.WriteLog("CopyFile Error : %s ", source.c_str());
        log_.WriteLog("Error Code : (%d) ", static_cast<int>(copied.code));
        log_.WriteLog("CopyFile Error : %s ", destination.c_str());
    }
    return true;
}

void DriverInstaller::CopyFilesNeededToAddPrnDrv() {
    Begin("CopyFilesNeededToAddPrnDrv");
    StepReport("Copying files...\r\n");
    const std::string windowsDir = WindowsDirectory();
    const std::string driverDir = PrinterDriverDirectory();
    // Without the driver directory every target would land in the root
    // of the current drive.
    if (driverDir.empty()) {
        End("CopyFilesNeededToAddPrnDrv");
        return;
    }

    // Unidrv's files: whatever the copy does, the spooler checks them itself.
    for (const char* name : kUnidrvFiles) {
        std::string source = sourceFolder_ + name;
        platform_.files.CopyFile(source, driverDir + "\\" + name, false);
        log_.WriteLog("FILE SRC : %s", source.c_str());
    }

    // 32-bit Windows before Vista also loads the driver's files from the
    // Windows directory.
    const bool alsoWindowsDir = !is64_ && osCode_ < kOsWinVista && !windowsDir.empty();
    const std::string ownFiles[] = {driverDll_, uiDll_, unidrvDll_, platform_.ui.LoadString(kIdUiIni),
                                    platform_.ui.LoadString(kIdGpd)};
    for (const std::string& name : ownFiles) {
        std::string source = sourceFolder_ + name;
        CopyWithFallback(source, driverDir + "\\" + name);
        if (alsoWindowsDir) CopyWithFallback(source, windowsDir + "\\" + name);
    }
    CopyWithFallback(sourceFolder_ + kStdNames, driverDir + "\\" + kStdNames);
    End("CopyFilesNeededToAddPrnDrv");
}

void DriverInstaller::CopyFilesOfUtilities() {
    Begin("CopyFilesOfUtilities");
    const std::string windowsDir = WindowsDirectory();
    // The folder is emptied before the copies: never one in the root of
    // whatever drive is current.
    if (windowsDir.empty()) {
        End("CopyFilesOfUtilities");
        return;
    }
    const std::string folder = windowsDir + "\\" + platform_.ui.LoadString(kIdModelName);
    CreateDirectoryWithSA(folder);
    const std::string uninstaller = platform_.ui.LoadString(kIdUninstaller);
    CopyWithFallback(uninstaller, folder + "\\" + uninstaller);
    CopyWithFallback(kConfigFileName, folder + "\\" + kConfigFileName);
    const std::string systemDir = SystemDirectory();
    if (!systemDir.empty()) CopyWithFallback(kConfigFileName, systemDir + "\\" + kConfigFileName);
    End("CopyFilesOfUtilities");
}

namespace {

// Who may do what in the utilities folder: the uninstaller there is run
// elevated from the Programs list by the next administrator who removes
// the driver, and the next installer reads the configuration file there.
struct FolderGrant {
    sec::WellKnownSid account;
    const char* name;
    Dword rights;
};
constexpr FolderGrant kUtilitiesGrants[] = {
    {sec::WellKnownSid::BuiltinAdministrators, "Administrators", sec::kGenericAll},
    {sec::WellKnownSid::LocalSystem, "SYSTEM", sec::kGenericAll},
    {sec::WellKnownSid::BuiltinUsers, "Users", sec::kGenericRead | sec::kGenericExecute},
};

}  // namespace

AclRef DriverInstaller::UtilitiesFolderAcl() {
    Registry& registry = platform_.registry;
    AclRef acl = AclRef::None;
    for (const FolderGrant& grant : kUtilitiesGrants) {
        SidRef sid = SidRef::None;
        Status made = registry.AllocateWellKnownSid(grant.account, sid);
        if (!made.ok()) {
            log_.WriteLog("Fail to get %s SID. (%d)", grant.name, static_cast<int>(made.code));
            if (acl != AclRef::None) registry.LocalFreeAcl(acl);
            return AclRef::None;  // a partial list could lock the administrators out
        }
        ExplicitAccess entry;
        entry.permissions = grant.rights;
        entry.mode = sec::kSetAccess;
        entry.inheritance = sec::kSubContainersAndObjectsInherit;
        entry.trusteeForm = sec::kTrusteeIsSid;
        entry.trusteeType = sec::kTrusteeIsWellKnownGroup;
        entry.trusteeSid = sid;
        AclRef next = AclRef::None;
        const Dword set = registry.SetEntriesInAcl(entry, acl, next);
        registry.FreeSid(sid);
        if (acl != AclRef::None) registry.LocalFreeAcl(acl);
        if (set != err::kSuccess) {
            log_.WriteLog("SetEntriesInAcl failed : %s (%d)", grant.name, static_cast<int>(set));
            return AclRef::None;
        }
        acl = next;
    }
    return acl;
}

bool DriverInstaller::CreateDirectoryWithSA(const std::string& path) {
    Begin("CreateDirectoryWithSA");
    FileSystem& files = platform_.files;

    // Administrators and SYSTEM full control, Users read and run, inherited
    // by everything in it and nothing taken from the Windows directory.
    // Without the list the folder gets default security, which under the
    // Windows directory lets users only read; never an empty (NULL) DACL
    // that would let anyone do anything to it.
    const AclRef acl = UtilitiesFolderAcl();
    DirectorySecurity security;
    security.dacl = acl;
    security.inheritHandle = true;
    security.protectedDacl = true;
    const DirectorySecurity* attributes = acl != AclRef::None ? &security : nullptr;

    Status created = files.CreateDirectory(path, attributes);
    if (created.code == err::kAlreadyExists) {
        // The files of an earlier installation go.
        DeleteDirectoryTree(files, path);
        created = files.CreateDirectory(path, attributes);
    }
    if (!created.ok()) {
        created = files.CreateDirectory(path, attributes);
        if (!created.ok()) created = files.CreateDirectory(path, nullptr);
    }
    // A folder that could not be removed (a file in it in use) would keep
    // the list an earlier installation gave it, Everyone full control: it
    // gets this one in its place.
    if (created.code == err::kAlreadyExists && acl != AclRef::None) {
        const Status secured = files.SetDirectoryDacl(path, acl);
        if (secured.ok())
            log_.WriteLog("ACCESS LIST REPLACED : %s", path.c_str());
        else
            log_.WriteLog("SetNamedSecurityInfo failed : %s (%d)", path.c_str(), static_cast<int>(secured.code));
    }

    if (acl != AclRef::None) platform_.registry.LocalFreeAcl(acl);
    End("CreateDirectoryWithSA");
    return created.ok();
}

void DriverInstaller::DeleteFilesUsed() {
    Begin("DeleteFilesUsed");
    StepReport("Deleting files used to install...\r\n");
    const std::string driverDir = PrinterDriverDirectory();
    if (driverDir.empty()) {
        End("DeleteFilesUsed");
        return;
    }
    FileSystem& files = platform_.files;
    for (const char* name : kUnidrvFiles) {
        std::string path = driverDir + "\\" + name;
        files.DeleteFile(path);
        log_.WriteLog("FILE SRC : %s", path.c_str());
    }
    const std::string staged[] = {driverDll_, uiDll_, unidrvDll_, platform_.ui.LoadString(kIdUiIni),
                                  platform_.ui.LoadString(kIdGpd), kStdNames};
    for (const std::string& name : staged) {
        std::string path = driverDir + "\\" + name;
        log_.WriteLog("FILE SRC : %s", path.c_str());
        Status deleted = files.DeleteFile(path);
        if (!deleted.ok()) ReportDeleteFileError(log_, path, deleted.code);
    }
    End("DeleteFilesUsed");
}

}  // namespace zmp
