#include "support/OsDetect.h"

namespace zmp {

namespace {

OsCode Classify(const OsVersionInfo& v) {
    if (v.platformId == sys::kVerPlatformWin32Windows) {
        if (v.majorVersion == 4 && v.minorVersion == 0) return kOsWin95;
        if (v.majorVersion == 4 && v.minorVersion == 10) return kOsWin98;
        if (v.majorVersion == 4 && v.minorVersion == 90) return kOsWinMe;
        return kOsUnknown;
    }
    if (v.platformId == sys::kVerPlatformWin32Nt) {
        if (v.majorVersion == 6) {
            // Workstation and server editions share the kernel version.
            const bool workstation = v.productType == sys::kVerNtWorkstation;
            if (v.minorVersion == 0) return workstation ? kOsWinVista : kOsWinServer2008;
            if (v.minorVersion == 1) return workstation ? kOsWin7 : kOsWinServer2008R2;
            return kOsUnknown;
        }
        if (v.majorVersion == 5) {
            if (v.minorVersion == 0) return kOsWin2000;
            if (v.minorVersion == 1) return kOsWinXp;
            if (v.minorVersion == 2) return kOsWinServer2003;
            return kOsUnknown;
        }
        if (v.majorVersion <= 4) return kOsWinNt4;
        return kOsUnknown;
    }
    return kOsUnknown;
}

}  // namespace

OsCode CheckOS(SystemInfo& system, Log& log) {
    log.WriteLog("\r\n");
    log.WriteLog("CheckOS BEGIN");

    // The extended record carries the product type, tried twice. Windows 9x
    // and NT 4.0 before SP6 know only the short record, so that comes last;
    // without it those releases could never be recognised (and so refused).
    // A record the system did not fill stays zero and classifies as unknown.
    OsVersionInfo info;
    bool read = false;
    for (Dword size : {sys::kOsVersionInfoExSize, sys::kOsVersionInfoExSize, sys::kOsVersionInfoSize}) {
        info = OsVersionInfo{};
        info.size = size;
        if (system.GetVersionEx(info).ok()) {
            read = true;
            break;
        }
    }
    if (!read) {
        info = OsVersionInfo{};
        info.size = sys::kOsVersionInfoSize;
    }

    log.WriteLog("osvi.dwPlatformID   : %d", static_cast<int>(info.platformId));
    log.WriteLog("osvi.dwMajorVersion : %d", static_cast<int>(info.majorVersion));
    log.WriteLog("osvi.dwMinorVersion : %d", static_cast<int>(info.minorVersion));
    log.WriteLog("osvi.dwBuildNumber  : %d", static_cast<int>(info.buildNumber));

    OsCode code = Classify(info);
    log.WriteLog("CheckOS END");
    return code;
}

bool IsWow64(SystemInfo& system, Log& log) {
    bool result = false;
    // Looked up at run time: Windows 2000 has no IsWow64Process.
    if (system.HasIsWow64Process()) {
        system.IsWow64Process(result);  // its own result does not matter
    }
    log.WriteLog(result ? "The process is running under WOW64."
                        : "The process is not running under WOW64.");
    return result;
}

}  // namespace zmp
