// The Setup API: oem INF files and the USB device nodes.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Libraries.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

HINF ToInf(InfHandle h) { return FromRef<HINF>(h); }
HDEVINFO ToSet(DevInfoSet s) { return FromRef<HDEVINFO>(s); }

// The caller sizes SP_DEVINFO_DATA as a 32-bit program does; the same
// program built for x86_64 (the Wine runs) has a larger record, so the
// 32-bit size means "this build's size". Any other value goes through as
// given and fails the way Windows fails a wrong size.
DWORD NativeDevInfoSize(Dword callerSize) {
    return callerSize == setup::kSpDevinfoDataSize32 ? sizeof(SP_DEVINFO_DATA) : callerSize;
}

// The seam carries a device as its DevInst; the record Windows wants back
// is found again in the set by that value.
Status FindDevice(HDEVINFO set, const DevInfoData& data, SP_DEVINFO_DATA& out) {
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA d = {};
        d.cbSize = sizeof d;
        if (!Setupapi().SetupDiEnumDeviceInfo(set, index, &d)) {
            if (::GetLastError() == ERROR_NO_MORE_ITEMS) break;
            return LastErrorStatus();
        }
        if (d.DevInst == data.devInst) {
            out = d;
            out.cbSize = NativeDevInfoSize(data.cbSize);
            return Status::Ok();
        }
    }
    ::SetLastError(err::kNoSuchDevinst);
    return Status::Fail(err::kNoSuchDevinst);
}

// Looked up when setupapi was loaded: older releases lack the function.
auto LookUpUninstallOEMInf() { return Setupapi().SetupUninstallOEMInfA; }

}  // namespace

Status Win32SetupApi::GetInfFileList(Dword style, std::vector<std::string>& out) {
    out.clear();
    DWORD needed = 0;
    if (!Setupapi().SetupGetInfFileListA(nullptr, style, nullptr, 0, &needed) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return LastErrorStatus();
    if (needed == 0) return Status::Ok();
    std::vector<char> buffer(needed + 1, '\0');  // one spare NUL ends the list whatever comes back
    if (!Setupapi().SetupGetInfFileListA(nullptr, style, buffer.data(), needed, &needed))
        return LastErrorStatus();
    for (const char* p = buffer.data(); *p;) {
        out.emplace_back(p);
        p += out.back().size() + 1;
        if (p >= buffer.data() + buffer.size()) break;
    }
    return Status::Ok();
}

Status Win32SetupApi::OpenInfFile(const std::string& name, Dword style, InfHandle& out) {
    out = InfHandle::None;
    UINT errorLine = 0;
    HINF h = Setupapi().SetupOpenInfFileA(name.c_str(), nullptr, style, &errorLine);
    if (h == INVALID_HANDLE_VALUE) return LastErrorStatus();
    out = ToRef<InfHandle>(h);
    return Status::Ok();
}

bool Win32SetupApi::FindFirstLine(InfHandle inf, const std::string& section, const std::string& key) {
    INFCONTEXT context = {};
    return Setupapi().SetupFindFirstLineA(ToInf(inf), section.c_str(), key.empty() ? nullptr : key.c_str(),
                                 &context) != FALSE;
}

void Win32SetupApi::CloseInfFile(InfHandle inf) { Setupapi().SetupCloseInfFile(ToInf(inf)); }

Status Win32SetupApi::CopyOEMInf(const std::string& sourceInf, Dword mediaType, Dword copyStyle,
                                 std::string& destination) {
    // SetupCopyOEMInfA wants a full path (Wine refuses a relative one); the
    // installer names its INF relative to the current directory.
    char full[MAX_PATH] = {};
    DWORD length = ::GetFullPathNameA(sourceInf.c_str(), MAX_PATH, full, nullptr);
    const char* source = (length > 0 && length < MAX_PATH) ? full : sourceInf.c_str();

    char dest[MAX_PATH] = {};  // 260 characters
    DWORD required = 0;
    BOOL ok = Setupapi().SetupCopyOEMInfA(source, nullptr, mediaType, copyStyle, dest, MAX_PATH, &required,
                                 nullptr);
    Status st = FromBool(ok);
    dest[MAX_PATH - 1] = '\0';
    destination = dest;
    return st;
}

bool Win32SetupApi::HasUninstallOEMInf() {
    if (LookUpUninstallOEMInf()) return true;
    ::SetLastError(ERROR_PROC_NOT_FOUND);  // what the failed look-up left
    return false;
}

Status Win32SetupApi::UninstallOEMInf(const std::string& infFileName, Dword flags) {
    auto proc = LookUpUninstallOEMInf();
    if (!proc) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return Status::Fail(ERROR_PROC_NOT_FOUND);
    }
    return FromBool(proc(infFileName.c_str(), flags, nullptr));
}

Status Win32SetupApi::GetClassDevs(const std::string& enumerator, Dword flags, DevInfoSet& out) {
    out = DevInfoSet::None;
    HDEVINFO set = Setupapi().SetupDiGetClassDevsA(nullptr, enumerator.empty() ? nullptr : enumerator.c_str(),
                                          nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) return LastErrorStatus();
    out = ToRef<DevInfoSet>(set);
    return Status::Ok();
}

Status Win32SetupApi::EnumDeviceInfo(DevInfoSet set, Dword index, DevInfoData& data) {
    SP_DEVINFO_DATA d = {};
    d.cbSize = NativeDevInfoSize(data.cbSize);
    if (!Setupapi().SetupDiEnumDeviceInfo(ToSet(set), index, &d)) return LastErrorStatus();
    data.devInst = d.DevInst;
    return Status::Ok();
}

Status Win32SetupApi::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData& data,
                                                Dword property, Dword bufferSize,
                                                std::vector<char>& out) {
    out.clear();
    SP_DEVINFO_DATA d = {};
    Status st = FindDevice(ToSet(set), data, d);
    if (!st.ok()) return st;
    std::vector<char> buffer(bufferSize, '\0');
    DWORD written = 0;
    if (!Setupapi().SetupDiGetDeviceRegistryPropertyA(ToSet(set), &d, property, nullptr,
                                             reinterpret_cast<PBYTE>(buffer.data()), bufferSize,
                                             &written))
        return LastErrorStatus();
    buffer.resize(written < bufferSize ? written : bufferSize);
    out = std::move(buffer);
    return Status::Ok();
}

Status Win32SetupApi::RemoveDevice(DevInfoSet set, const DevInfoData& data) {
    SP_DEVINFO_DATA d = {};
    Status st = FindDevice(ToSet(set), data, d);
    if (!st.ok()) return st;
    return FromBool(Setupapi().SetupDiRemoveDevice(ToSet(set), &d));
}

Status Win32SetupApi::DestroyDeviceInfoList(DevInfoSet set) {
    return FromBool(Setupapi().SetupDiDestroyDeviceInfoList(ToSet(set)));
}

}  // namespace zmp::win32
