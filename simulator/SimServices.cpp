// advapi32's Service Control Manager for one simulated process: the state
// of the print spooler service, stopping and starting on the virtual clock.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {
constexpr Dword kServiceDoesNotExist = 1060;
}

Status SimServices::QueryServiceStatus(const std::string& serviceName, Dword& currentState) {
    currentState = 0;
    if (auto fault = p_.Enter("Services.QueryServiceStatus")) return p_.Fail(*fault);
    std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
    const Machine::State& s = p_.machine().Internal();
    if (s.os.platformId != 2) return p_.Fail(werr::kCallNotImplemented);  // 9x: no SCM
    if (!IEquals(serviceName, "spooler")) return p_.Fail(kServiceDoesNotExist);
    currentState = s.serviceState;
    return Status::Ok();
}

}  // namespace zmp::sim
