// The shutdown privilege and the restart request (advapi32, user32).
#pragma once

#include <string>

#include "platform/Types.h"

namespace zmp {

namespace power {
constexpr Dword kTokenAdjustPrivileges = 0x20;
constexpr Dword kTokenQuery = 0x8;
constexpr Dword kSePrivilegeEnabled = 0x2;
constexpr Dword kEwxReboot = 0x2;
constexpr Dword kEwxForce = 0x4;
}  // namespace power

struct Luid {
    Dword lowPart = 0;
    long highPart = 0;
};

class Power {
public:
    virtual ~Power() = default;
    // OpenProcessToken(GetCurrentProcess(), access, &out)
    virtual Status OpenProcessToken(Dword access, TokenHandle& out) = 0;
    // LookupPrivilegeValueA(NULL, name, &out)
    virtual Status LookupPrivilegeValue(const std::string& name, Luid& out) = 0;
    // AdjustTokenPrivileges(token, FALSE, {1, luid, attributes}, 0, NULL, NULL).
    // Like Windows it may succeed and still leave ERROR_NOT_ALL_ASSIGNED as
    // the last error; callers read the last error afterwards.
    virtual Status AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, Dword attributes) = 0;
    // ExitWindowsEx(flags, reason)
    virtual Status ExitWindowsEx(Dword flags, Dword reason) = 0;
};

}  // namespace zmp
