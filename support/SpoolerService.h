// Stopping and starting the print spooler service: "net stop spooler" and
// "net start spooler", with net.exe named by its full path in the system
// directory, started hidden and never waited for. The fixed pause
// after each is the least time given; then the program waits, through the
// Service Control Manager, until the service is stopped or running, asking
// every 500 ms for at most 30 s more, so that a spooler that takes its time
// is neither started while it still stops nor left stopped when the
// program ends.
#pragma once

#include "platform/Platform.h"

namespace zmp {

// 0 once the service is in the state asked for; the Service Control
// Manager's code when it cannot tell (Windows 9x has none: the pause is all
// there is); ERROR_SERVICE_REQUEST_TIMEOUT (1053) when the wait ran out;
// WinExec's code when the command did not start; GetSystemDirectory's
// when there is no system directory to take net.exe from.
Status StopSpooler(Platform& platform, Dword sleepMilliseconds);
Status StartSpooler(Platform& platform, Dword sleepMilliseconds);
// Stop, 2000 ms, start, 2000 ms.
void RestartSpooler(Platform& platform);

}  // namespace zmp
