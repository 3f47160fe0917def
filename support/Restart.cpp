#include "support/Restart.h"

namespace zmp {

bool RestartComputer(Platform& platform) {
    Power& power = platform.power;

    // The token is not closed: Windows goes down, or the process ends,
    // right after this.
    TokenHandle token = TokenHandle::None;
    if (!power.OpenProcessToken(power::kTokenAdjustPrivileges | power::kTokenQuery, token).ok())
        return false;

    Luid shutdown;
    power.LookupPrivilegeValue("SeShutdownPrivilege", shutdown);

    // AdjustTokenPrivileges succeeds even when the account does not hold the
    // privilege; only the last error (ERROR_NOT_ALL_ASSIGNED) tells.
    platform.system.SetLastError(err::kSuccess);
    Status adjusted = power.AdjustTokenPrivileges(token, shutdown, power::kSePrivilegeEnabled);
    if (!adjusted.ok() || platform.system.GetLastError() != err::kSuccess) return false;

    // Forced: other programs are closed without asking.
    return power.ExitWindowsEx(power::kEwxReboot | power::kEwxForce, 0).ok();
}

}  // namespace zmp
