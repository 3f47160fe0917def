// System information, the thread's last error and system message texts.
#pragma once

#include <string>

#include "platform/Types.h"

namespace zmp {

namespace sys {
constexpr Dword kVerPlatformWin32s = 0;
constexpr Dword kVerPlatformWin32Windows = 1;
constexpr Dword kVerPlatformWin32Nt = 2;
constexpr Dword kVerNtWorkstation = 1;
constexpr Dword kVerNtDomainController = 2;
constexpr Dword kVerNtServer = 3;
constexpr Dword kOsVersionInfoExSize = 156;  // sizeof(OSVERSIONINFOEXA)
constexpr Dword kOsVersionInfoSize = 148;    // sizeof(OSVERSIONINFOA)
constexpr Dword kLangEnglishUs = 0x0409;
}  // namespace sys

// OSVERSIONINFOEXA, the fields the system reads. size is the caller's size field.
struct OsVersionInfo {
    Dword size = sys::kOsVersionInfoExSize;
    Dword majorVersion = 0;
    Dword minorVersion = 0;
    Dword buildNumber = 0;
    Dword platformId = 0;
    std::string csdVersion;
    Dword productType = 0;  // only filled for the extended size
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;

    // GetVersionExA(&info): info.size selects the record; the rest is filled.
    virtual Status GetVersionEx(OsVersionInfo& info) = 0;

    // GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process") != NULL
    virtual bool HasIsWow64Process() = 0;
    // IsWow64Process(GetCurrentProcess(), &result); result untouched on failure.
    virtual Status IsWow64Process(bool& result) = 0;

    // GetLastError / SetLastError of the calling thread.
    virtual Dword GetLastError() = 0;
    virtual void SetLastError(Dword code) = 0;

    // FormatMessageA(FROM_SYSTEM | ALLOCATE_BUFFER, NULL, code, language):
    // the system's text for the code, empty when there is none.
    virtual std::string FormatSystemMessage(Dword code, Dword languageId) = 0;
};

}  // namespace zmp
