// The shutdown privilege and the restart request.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {

Status Win32Power::OpenProcessToken(Dword access, TokenHandle& out) {
    out = TokenHandle::None;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), access, &token)) return LastErrorStatus();
    out = ToRef<TokenHandle>(token);
    return Status::Ok();
}

Status Win32Power::LookupPrivilegeValue(const std::string& name, Luid& out) {
    LUID luid = {};
    if (!::LookupPrivilegeValueA(nullptr, name.c_str(), &luid)) return LastErrorStatus();
    out.lowPart = luid.LowPart;
    out.highPart = luid.HighPart;
    return Status::Ok();
}

Status Win32Power::AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, Dword attributes) {
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Luid.LowPart = privilege.lowPart;
    tp.Privileges[0].Luid.HighPart = privilege.highPart;
    tp.Privileges[0].Attributes = attributes;
    // Success may still leave ERROR_NOT_ALL_ASSIGNED as the last error; it
    // stays there for the caller to read.
    return FromBool(::AdjustTokenPrivileges(FromRef<HANDLE>(token), FALSE, &tp, 0, nullptr, nullptr));
}

Status Win32Power::ExitWindowsEx(Dword flags, Dword reason) {
    return FromBool(::ExitWindowsEx(flags, reason));
}

}  // namespace zmp::win32
