// The Setup API as the system uses it: oem INF files and USB device nodes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace zmp {

namespace setup {
constexpr Dword kInfStyleOldNt = 0x1;
constexpr Dword kInfStyleWin4 = 0x2;
constexpr Dword kSpostPath = 1;
constexpr Dword kSpCopyReplaceOnly = 0x2;
constexpr Dword kSpCopyNoOverwrite = 0x8;
constexpr Dword kSuoiForceDelete = 0x1;
constexpr Dword kDigcfAllClasses = 0x4;
constexpr Dword kDigcfPresent = 0x2;
constexpr Dword kSpdrpHardwareId = 0x1;
constexpr Dword kSpDevinfoDataSize32 = 28;  // sizeof(SP_DEVINFO_DATA) in a 32-bit program
}  // namespace setup

// One device of a device information set, as SetupDiEnumDeviceInfo fills it.
struct DevInfoData {
    Dword cbSize = setup::kSpDevinfoDataSize32;
    std::uintptr_t devInst = 0;  // the backend's token for the device
};

class SetupApi {
public:
    virtual ~SetupApi() = default;

    // SetupGetInfFileListA(NULL, style, ...): the file names, without directory.
    virtual Status GetInfFileList(Dword style, std::vector<std::string>& out) = 0;
    // SetupOpenInfFileA(name, NULL, style, &errorLine). A bare name means the
    // system INF directory.
    virtual Status OpenInfFile(const std::string& name, Dword style, InfHandle& out) = 0;
    // SetupFindFirstLineA(inf, section, key, &context): true when found.
    virtual bool FindFirstLine(InfHandle inf, const std::string& section, const std::string& key) = 0;
    virtual void CloseInfFile(InfHandle inf) = 0;

    // SetupCopyOEMInfA(source, NULL, mediaType, copyStyle, dest, 260, &size, NULL).
    // destination receives what Windows wrote into the 260-character buffer.
    virtual Status CopyOEMInf(const std::string& sourceInf, Dword mediaType, Dword copyStyle,
                              std::string& destination) = 0;

    // GetProcAddress(GetModuleHandleA("setupapi"), "SetupUninstallOEMInfA") != NULL
    virtual bool HasUninstallOEMInf() = 0;
    // SetupUninstallOEMInfA(infFileName, flags, NULL); only after HasUninstallOEMInf().
    virtual Status UninstallOEMInf(const std::string& infFileName, Dword flags) = 0;

    // SetupDiGetClassDevsA(NULL, enumerator, NULL, flags)
    virtual Status GetClassDevs(const std::string& enumerator, Dword flags, DevInfoSet& out) = 0;
    // SetupDiEnumDeviceInfo(set, index, &data); data.cbSize must be set by the caller.
    virtual Status EnumDeviceInfo(DevInfoSet set, Dword index, DevInfoData& data) = 0;
    // SetupDiGetDeviceRegistryPropertyA(set, &data, property, NULL, buffer,
    // bufferSize, NULL): the bytes written (a MULTI_SZ for hardware ids).
    virtual Status GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData& data, Dword property,
                                             Dword bufferSize, std::vector<char>& out) = 0;
    virtual Status RemoveDevice(DevInfoSet set, const DevInfoData& data) = 0;
    virtual Status DestroyDeviceInfoList(DevInfoSet set) = 0;
};

}  // namespace zmp
