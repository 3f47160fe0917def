// The Service Control Manager (advapi32) as the system uses it: the state of
// a service, so that the programs can wait for the print spooler after the
// "net stop spooler" and "net start spooler" they start without waiting.
#pragma once

#include <string>

#include "platform/Types.h"

namespace zmp {

namespace svc {
// SERVICE_STATUS.dwCurrentState
constexpr Dword kStopped = 1;
constexpr Dword kStartPending = 2;
constexpr Dword kStopPending = 3;
constexpr Dword kRunning = 4;
}  // namespace svc

class Services {
public:
    virtual ~Services() = default;

    // OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT),
    // OpenServiceA(manager, serviceName, SERVICE_QUERY_STATUS),
    // QueryServiceStatus(service, &status): status.dwCurrentState; both
    // handles closed again. Windows 9x has no Service Control Manager (120).
    virtual Status QueryServiceStatus(const std::string& serviceName, Dword& currentState) = 0;
};

}  // namespace zmp
