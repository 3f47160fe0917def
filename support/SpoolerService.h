// Stopping and starting the print spooler service: "net stop spooler" and
// "net start spooler", started hidden and never waited for, so a fixed sleep
// follows each to give the service time.
#pragma once

#include "platform/Platform.h"

namespace zmp {

void StopSpooler(Platform& platform, Dword sleepMilliseconds);
void StartSpooler(Platform& platform, Dword sleepMilliseconds);
// Stop, 2000 ms, start, 2000 ms.
void RestartSpooler(Platform& platform);

}  // namespace zmp
