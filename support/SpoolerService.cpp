#include "support/SpoolerService.h"

namespace zmp {
namespace {

constexpr const char* kService = "Spooler";
constexpr Dword kPollMilliseconds = 500;
constexpr Dword kWaitLimitMilliseconds = 30000;
constexpr Dword kServiceRequestTimeout = 1053;
constexpr Dword kWinExecStarted = 31;  // WinExec: above this the command started

Status RunAndWait(Platform& platform, const char* command, Dword sleepMilliseconds, Dword wanted) {
    const Dword started = platform.processes.WinExec(command, proc::kSwHide);
    platform.clock.Sleep(sleepMilliseconds);
    if (started <= kWinExecStarted) return Status::Fail(started == 0 ? err::kNotEnoughMemory : started);
    for (Dword waited = 0;; waited += kPollMilliseconds) {
        Dword state = 0;
        Status asked = platform.services.QueryServiceStatus(kService, state);
        if (!asked.ok()) return asked;
        if (state == wanted) return Status::Ok();
        if (waited >= kWaitLimitMilliseconds) return Status::Fail(kServiceRequestTimeout);
        platform.clock.Sleep(kPollMilliseconds);
    }
}

}  // namespace

Status StopSpooler(Platform& platform, Dword sleepMilliseconds) {
    return RunAndWait(platform, "net stop spooler", sleepMilliseconds, svc::kStopped);
}

Status StartSpooler(Platform& platform, Dword sleepMilliseconds) {
    return RunAndWait(platform, "net start spooler", sleepMilliseconds, svc::kRunning);
}

void RestartSpooler(Platform& platform) {
    StopSpooler(platform, 2000);
    StartSpooler(platform, 2000);
}

}  // namespace zmp
