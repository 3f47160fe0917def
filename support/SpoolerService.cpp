#include "support/SpoolerService.h"

namespace zmp {

void StopSpooler(Platform& platform, Dword sleepMilliseconds) {
    platform.processes.WinExec("net stop spooler", proc::kSwHide);
    platform.clock.Sleep(sleepMilliseconds);
}

void StartSpooler(Platform& platform, Dword sleepMilliseconds) {
    platform.processes.WinExec("net start spooler", proc::kSwHide);
    platform.clock.Sleep(sleepMilliseconds);
}

void RestartSpooler(Platform& platform) {
    StopSpooler(platform, 2000);
    StartSpooler(platform, 2000);
}

}  // namespace zmp
