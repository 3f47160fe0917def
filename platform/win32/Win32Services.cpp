// The Service Control Manager: advapi32's service functions.
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {

Status Win32Services::QueryServiceStatus(const std::string& serviceName, Dword& currentState) {
    currentState = 0;
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return LastErrorStatus();
    SC_HANDLE service = ::OpenServiceA(manager, serviceName.c_str(), SERVICE_QUERY_STATUS);
    if (!service) {
        Status failed = LastErrorStatus();
        ::CloseServiceHandle(manager);
        return failed;
    }
    SERVICE_STATUS status = {};
    Status result = ::QueryServiceStatus(service, &status) ? Status::Ok() : LastErrorStatus();
    if (result.ok()) currentState = status.dwCurrentState;
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
    return result;
}

}  // namespace zmp::win32
