// Version information, WOW64, the last error and system message texts.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

using IsWow64ProcessProc = BOOL(WINAPI*)(HANDLE, PBOOL);

IsWow64ProcessProc LookUpIsWow64Process() {
    return reinterpret_cast<IsWow64ProcessProc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32"), "IsWow64Process")));
}

}  // namespace

Status Win32SystemInfo::GetVersionEx(OsVersionInfo& info) {
    OSVERSIONINFOEXA osvi = {};
    osvi.dwOSVersionInfoSize = info.size;  // Windows accepts only the two record sizes
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&osvi))) return LastErrorStatus();
    info.majorVersion = osvi.dwMajorVersion;
    info.minorVersion = osvi.dwMinorVersion;
    info.buildNumber = osvi.dwBuildNumber;
    info.platformId = osvi.dwPlatformId;
    osvi.szCSDVersion[sizeof osvi.szCSDVersion - 1] = '\0';
    info.csdVersion = osvi.szCSDVersion;
    if (info.size == sizeof(OSVERSIONINFOEXA)) info.productType = osvi.wProductType;
    return Status::Ok();
}

bool Win32SystemInfo::HasIsWow64Process() { return LookUpIsWow64Process() != nullptr; }

Status Win32SystemInfo::IsWow64Process(bool& result) {
    IsWow64ProcessProc proc = LookUpIsWow64Process();
    if (!proc) return LastErrorStatus();
    BOOL wow64 = FALSE;
    if (!proc(::GetCurrentProcess(), &wow64)) return LastErrorStatus();
    result = wow64 != FALSE;
    return Status::Ok();
}

Dword Win32SystemInfo::GetLastError() { return ::GetLastError(); }

void Win32SystemInfo::SetLastError(Dword code) { ::SetLastError(code); }

std::string Win32SystemInfo::FormatSystemMessage(Dword code, Dword languageId) {
    // Inserts are left as they stand: there are no arguments to put in, and
    // without this flag a text with inserts fails (or, on old releases,
    // reads arguments that are not there).
    LPSTR text = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, languageId, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = (length > 0 && text) ? std::string(text, length) : std::string();
    if (text) ::LocalFree(text);
    return message;
}

}  // namespace zmp::win32
