#include "support/SpoolerService.h"

namespace zmp {
namespace {

constexpr const char* kService = "Spooler";
constexpr Dword kPollMilliseconds = 500;
constexpr Dword kWaitLimitMilliseconds = 30000;
constexpr Dword kServiceRequestTimeout = 1053;
constexpr Dword kWinExecStarted = 31;  // WinExec: above this the command started

constexpr Dword kMaxPath = 260;

Status RunAndWait(Platform& platform, const char* verb, Dword sleepMilliseconds, Dword wanted) {
    // net.exe from the system directory, by full path and in quotes: named
    // bare, WinExec would take a net.exe from the program's own folder or
    // the current directory first, places an ordinary user can write to.
    std::string systemDir;
    if (platform.files.GetSystemDirectory(systemDir, kMaxPath) == 0 || systemDir.empty()) {
        const Dword code = platform.system.GetLastError();
        return Status::Fail(code ? code : err::kPathNotFound);
    }
    const std::string command = "\"" + systemDir + "\\net.exe\" " + verb + " spooler";
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
    return RunAndWait(platform, "stop", sleepMilliseconds, svc::kStopped);
}

Status StartSpooler(Platform& platform, Dword sleepMilliseconds) {
    return RunAndWait(platform, "start", sleepMilliseconds, svc::kRunning);
}

void RestartSpooler(Platform& platform) {
    StopSpooler(platform, 2000);
    StartSpooler(platform, 2000);
}

}  // namespace zmp
