// setupapi's INF and device calls, for one simulated process.
#include <algorithm>

#include "simulator/Inf.h"
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

#define ZMP_MACHINE std::lock_guard<std::recursive_mutex> machineLock(p_.machine().Mutex()); \
    Machine::State& s = p_.machine().Internal()

Status SimSetupApi::GetInfFileList(Dword style, std::vector<std::string>& out) {
    out.clear();
    if (auto fault = p_.Enter("SetupApi.GetInfFileList")) return p_.Fail(*fault);
    ZMP_MACHINE;
    out = s.InfFileNames(style);
    return Status::Ok();
}

Status SimSetupApi::OpenInfFile(const std::string& name, Dword style, InfHandle& out) {
    out = InfHandle::None;
    if (auto fault = p_.Enter("SetupApi.OpenInfFile")) return p_.Fail(*fault);
    std::shared_ptr<const InfFile> inf;
    {
        ZMP_MACHINE;
        // A name without a path means the system's INF directory.
        std::string path = name.find_first_of("\\/:") == std::string::npos ? JoinPath(s.InfDir(), name)
                                                                             : p_.ResolvePath(name);
        std::string followed = path.empty() ? path : s.files.Follow(path);
        const FileNode* node = followed.empty() ? nullptr : s.files.Get(followed);
        if (!node) return p_.Fail(followed.empty() ? err::kPathNotFound : s.files.MissingCode(followed));
        if (node->directory) return p_.Fail(err::kAccessDenied);
        inf = s.ParseInf(node->data);
    }
    bool win4 = !inf->Value("Version", "Signature").empty();
    if ((win4 && !(style & setup::kInfStyleWin4)) || (!win4 && !(style & setup::kInfStyleOldNt)))
        return p_.Fail(werr::kWrongInfStyle);
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    infs_[h] = inf;
    out = static_cast<InfHandle>(h);
    return Status::Ok();
}

bool SimSetupApi::FindFirstLine(InfHandle inf, const std::string& section, const std::string& key) {
    if (auto fault = p_.Enter("SetupApi.FindFirstLine")) {
        p_.SetLastError(*fault);
        return false;
    }
    std::shared_ptr<const InfFile> parsed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = infs_.find(static_cast<std::uintptr_t>(inf));
        if (it == infs_.end()) {
            p_.SetLastError(err::kInvalidHandle);
            return false;
        }
        parsed = it->second;
    }
    if (!parsed->HasSection(section)) {
        p_.SetLastError(werr::kSectionNotFound);
        return false;
    }
    if (!parsed->Find(section, key)) {
        p_.SetLastError(werr::kLineNotFound);
        return false;
    }
    p_.SetLastError(err::kSuccess);
    return true;
}

void SimSetupApi::CloseInfFile(InfHandle inf) {
    p_.Enter("SetupApi.CloseInfFile");
    std::lock_guard<std::mutex> lock(mutex_);
    infs_.erase(static_cast<std::uintptr_t>(inf));
}

Status SimSetupApi::CopyOEMInf(const std::string& sourceInf, Dword /*mediaType*/, Dword copyStyle,
                               std::string& destination) {
    destination.clear();
    if (auto fault = p_.Enter("SetupApi.CopyOEMInf")) return p_.Fail(*fault);
    // As the Win32 backend: the source made a full path first
    // (GetFullPathNameA), which XP-era Windows needs.
    std::string source = p_.ResolvePath(sourceInf);
    if (source.empty()) return p_.Fail(err::kPathNotFound);
    ZMP_MACHINE;
    Dword code = s.CopyOemInf(source, copyStyle, destination, p_.CurrentDirectory());
    if (code) return p_.Fail(code);
    p_.SetLastError(err::kSuccess);
    return Status::Ok();
}

bool SimSetupApi::HasUninstallOEMInf() {
    if (auto fault = p_.Enter("SetupApi.HasUninstallOEMInf")) {
        p_.SetLastError(*fault);
        return false;
    }
    if (!p_.machine().Os().hasSetupUninstallOEMInf) {
        p_.SetLastError(err::kProcNotFound);
        return false;
    }
    return true;
}

Status SimSetupApi::UninstallOEMInf(const std::string& infFileName, Dword flags) {
    if (auto fault = p_.Enter("SetupApi.UninstallOEMInf")) return p_.Fail(*fault);
    ZMP_MACHINE;
    if (!s.os.hasSetupUninstallOEMInf) return p_.Fail(err::kProcNotFound);
    Dword code = s.UninstallOemInf(infFileName, flags);
    return code ? p_.Fail(code) : Status::Ok();
}

Status SimSetupApi::GetClassDevs(const std::string& enumerator, Dword flags, DevInfoSet& out) {
    out = DevInfoSet::None;
    if (auto fault = p_.Enter("SetupApi.GetClassDevs")) return p_.Fail(*fault);
    // Without a class GUID only DIGCF_ALLCLASSES makes sense.
    if (!(flags & setup::kDigcfAllClasses)) return p_.Fail(err::kInvalidParameter);
    std::vector<std::string> ids;
    {
        ZMP_MACHINE;
        bool knownEnumerator = enumerator.empty();
        for (const char* standard : {"USB", "PCI", "ROOT", "USBPRINT", "HID", "SWD", "ACPI"})
            knownEnumerator = knownEnumerator || IEquals(enumerator, standard);
        for (const SimDevice& d : s.devices) {
            bool match = enumerator.empty() || IStartsWith(d.instanceId, enumerator + "\\");
            knownEnumerator = knownEnumerator || match;
            if (match && (d.present || !(flags & setup::kDigcfPresent))) ids.push_back(d.instanceId);
        }
        if (!knownEnumerator) return p_.Fail(err::kInvalidData);
    }
    // The set lists the devices sorted by instance id.
    std::sort(ids.begin(), ids.end(), [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    sets_[h] = ids;
    out = static_cast<DevInfoSet>(h);
    return Status::Ok();
}

Status SimSetupApi::EnumDeviceInfo(DevInfoSet set, Dword index, DevInfoData& data) {
    if (auto fault = p_.Enter("SetupApi.EnumDeviceInfo")) return p_.Fail(*fault);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(static_cast<std::uintptr_t>(set));
    if (it == sets_.end()) return p_.Fail(err::kInvalidHandle);
    if (data.cbSize != setup::kSpDevinfoDataSize32) return p_.Fail(werr::kInvalidUserBuffer);
    if (index >= it->second.size()) return p_.Fail(err::kNoMoreItems);
    data.devInst = index + 1;
    return Status::Ok();
}

Status SimSetupApi::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData& data, Dword property,
                                              Dword bufferSize, std::vector<char>& out) {
    out.clear();
    if (auto fault = p_.Enter("SetupApi.GetDeviceRegistryProperty")) return p_.Fail(*fault);
    std::string id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sets_.find(static_cast<std::uintptr_t>(set));
        if (it == sets_.end()) return p_.Fail(err::kInvalidHandle);
        if (data.cbSize != setup::kSpDevinfoDataSize32) return p_.Fail(werr::kInvalidUserBuffer);
        if (data.devInst == 0 || data.devInst > it->second.size()) return p_.Fail(err::kNoSuchDevinst);
        id = it->second[data.devInst - 1];
    }
    ZMP_MACHINE;
    SimDevice* device = s.FindDevice(id);
    if (!device) return p_.Fail(err::kNoSuchDevinst);
    if (property != setup::kSpdrpHardwareId || device->hardwareIds.empty()) return p_.Fail(err::kInvalidData);
    std::vector<char> multi;
    for (const std::string& hwid : device->hardwareIds) {
        multi.insert(multi.end(), hwid.begin(), hwid.end());
        multi.push_back('\0');
    }
    multi.push_back('\0');
    if (multi.size() > bufferSize) return p_.Fail(err::kInsufficientBuffer);
    out = multi;
    return Status::Ok();
}

Status SimSetupApi::RemoveDevice(DevInfoSet set, const DevInfoData& data) {
    if (auto fault = p_.Enter("SetupApi.RemoveDevice")) return p_.Fail(*fault);
    std::string id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sets_.find(static_cast<std::uintptr_t>(set));
        if (it == sets_.end()) return p_.Fail(err::kInvalidHandle);
        if (data.cbSize != setup::kSpDevinfoDataSize32) return p_.Fail(werr::kInvalidUserBuffer);
        if (data.devInst == 0 || data.devInst > it->second.size()) return p_.Fail(err::kNoSuchDevinst);
        id = it->second[data.devInst - 1];
    }
    ZMP_MACHINE;
    if (s.switches.wow64DeviceInstallFails && p_.Wow64()) return p_.Fail(werr::kInWow64);
    for (auto d = s.devices.begin(); d != s.devices.end(); ++d) {
        if (IEquals(d->instanceId, id)) {
            // Still plugged in: Plug and Play finds it again at the next restart.
            if (d->present) s.undiscoveredDevices.push_back(*d);
            s.devices.erase(d);
            return Status::Ok();
        }
    }
    return p_.Fail(err::kNoSuchDevinst);
}

Status SimSetupApi::DestroyDeviceInfoList(DevInfoSet set) {
    if (auto fault = p_.Enter("SetupApi.DestroyDeviceInfoList")) return p_.Fail(*fault);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!sets_.erase(static_cast<std::uintptr_t>(set))) return p_.Fail(err::kInvalidHandle);
    return Status::Ok();
}

}  // namespace zmp::sim
