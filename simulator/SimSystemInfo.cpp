// Version information, last error and system messages; the virtual clock;
// the shutdown privilege and the restart.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

std::string SystemMessageText(Dword code) {
    struct Row {
        Dword code;
        const char* text;
    };
    // The English texts Windows gives FormatMessage for these codes.
    static const Row kTexts[] = {
        {0, "The operation completed successfully."},
        {1, "Incorrect function."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {8, "Not enough storage is available to process this command."},
        {13, "The data is invalid."},
        {18, "There are no more files."},
        {32, "The process cannot access the file because it is being used by another process."},
        {53, "The network path was not found."},
        {80, "The file exists."},
        {87, "The parameter is incorrect."},
        {120, "This function is not supported on this system."},
        {122, "The data area passed to a system call is too small."},
        {123, "The filename, directory name, or volume label syntax is incorrect."},
        {124, "The system call level is not correct."},
        {126, "The specified module could not be found."},
        {127, "The specified procedure could not be found."},
        {145, "The directory is not empty."},
        {170, "The requested resource is in use."},
        {183, "Cannot create a file when that file already exists."},
        {234, "More data is available."},
        {258, "The wait operation timed out."},
        {259, "No more data is available."},
        {267, "The directory name is invalid."},
        {1003, "Cannot complete this function."},
        {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
        {1062, "The service has not been started."},
        {1300, "Not all privileges or groups referenced are assigned to the caller."},
        {1313, "A specified privilege does not exist."},
        {1314, "A required privilege is not held by the client."},
        {1332, "No mapping between account names and security IDs was done."},
        {1722, "The RPC server is unavailable."},
        {1784, "The supplied user buffer is not valid for the requested operation."},
        {1796, "The specified port is unknown."},
        {1797, "The printer driver is unknown."},
        {1798, "The print processor is unknown."},
        {1801, "The printer name is invalid."},
        {1802, "The printer already exists."},
        {1803, "The printer command is invalid."},
        {1804, "The specified datatype is invalid."},
        {1805, "The environment specified is invalid."},
        {3000, "The specified print monitor is unknown."},
        {3001, "The specified printer driver is currently in use."},
        {3005, "The specified print processor has already been installed."},
        {3006, "The specified print monitor has already been installed."},
        {3008, "The specified print monitor is currently in use."},
    };
    for (const Row& row : kTexts)
        if (row.code == code) return std::string(row.text) + "\r\n";
    return "";
}

// --- SystemInfo ----------------------------------------------------------------------

Status SimSystemInfo::GetVersionEx(OsVersionInfo& info) {
    if (auto fault = p_.Enter("SystemInfo.GetVersionEx")) return p_.Fail(*fault);
    OsInfo os = p_.machine().Os();
    // The 9x family knows only OSVERSIONINFOA.
    bool extended = info.size == sys::kOsVersionInfoExSize;
    if ((!extended && info.size != sys::kOsVersionInfoSize) || (extended && os.platformId == 1))
        return p_.Fail(err::kInsufficientBuffer);
    info.majorVersion = os.majorVersion;
    info.minorVersion = os.minorVersion;
    info.buildNumber = os.platformId == 1 ? (os.majorVersion << 24 | os.minorVersion << 16 | os.buildNumber)
                                          : os.buildNumber;
    info.platformId = os.platformId;
    info.csdVersion = os.csdVersion;
    if (extended) info.productType = os.productType;
    return Status::Ok();
}

bool SimSystemInfo::HasIsWow64Process() {
    if (auto fault = p_.Enter("SystemInfo.HasIsWow64Process")) {
        p_.SetLastError(*fault);
        return false;
    }
    if (!p_.machine().Os().hasIsWow64Process) {
        p_.SetLastError(err::kProcNotFound);
        return false;
    }
    return true;
}

Status SimSystemInfo::IsWow64Process(bool& result) {
    if (auto fault = p_.Enter("SystemInfo.IsWow64Process")) return p_.Fail(*fault);
    if (!p_.machine().Os().hasIsWow64Process) return p_.Fail(err::kProcNotFound);
    result = p_.Wow64();
    return Status::Ok();
}

Dword SimSystemInfo::GetLastError() { return p_.LastError(); }

void SimSystemInfo::SetLastError(Dword code) { p_.SetLastError(code); }

std::string SimSystemInfo::FormatSystemMessage(Dword code, Dword languageId) {
    if (auto fault = p_.Enter("SystemInfo.FormatSystemMessage")) {
        p_.SetLastError(*fault);
        return "";
    }
    constexpr Dword kResourceLangNotFound = 1815;
    if (languageId != 0 && languageId != sys::kLangEnglishUs) {
        p_.SetLastError(kResourceLangNotFound);
        return "";
    }
    std::string text = SystemMessageText(code);
    if (text.empty()) p_.SetLastError(werr::kMrMidNotFound);
    return text;
}

// --- Clock ---------------------------------------------------------------------------

LocalTime SimClock::GetLocalTime() {
    p_.Enter("Clock.GetLocalTime");
    return p_.machine().Now();
}

void SimClock::Sleep(Dword milliseconds) {
    p_.Enter("Clock.Sleep");
    // While the caller sleeps the other threads run: what they show in that
    // time (a posted status text) comes before the sleep in the transcript.
    p_.RunSleepHook();
    p_.AddEvent("SLEEP", std::to_string(milliseconds));
    p_.machine().Advance(milliseconds);
}

// --- Power ---------------------------------------------------------------------------

namespace {
constexpr Dword kShutdownPrivilegeLuid = 19;  // SE_SHUTDOWN_PRIVILEGE
}

Status SimPower::OpenProcessToken(Dword access, TokenHandle& out) {
    out = TokenHandle::None;
    if (auto fault = p_.Enter("Power.OpenProcessToken")) return p_.Fail(*fault);
    std::uintptr_t h = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    tokens_[h] = access;
    out = static_cast<TokenHandle>(h);
    return Status::Ok();
}

Status SimPower::LookupPrivilegeValue(const std::string& name, Luid& out) {
    if (auto fault = p_.Enter("Power.LookupPrivilegeValue")) return p_.Fail(*fault);
    struct Row {
        const char* name;
        Dword luid;
    };
    static const Row kPrivileges[] = {{"SeShutdownPrivilege", kShutdownPrivilegeLuid},
                                      {"SeDebugPrivilege", 20},
                                      {"SeBackupPrivilege", 17},
                                      {"SeRestorePrivilege", 18},
                                      {"SeTakeOwnershipPrivilege", 9}};
    for (const Row& row : kPrivileges) {
        if (IEquals(name, row.name)) {
            out.lowPart = row.luid;
            out.highPart = 0;
            return Status::Ok();
        }
    }
    return p_.Fail(werr::kNoSuchPrivilege);
}

Status SimPower::AdjustTokenPrivileges(TokenHandle token, const Luid& privilege, Dword attributes) {
    if (auto fault = p_.Enter("Power.AdjustTokenPrivileges")) return p_.Fail(*fault);
    Dword access = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = tokens_.find(static_cast<std::uintptr_t>(token));
        if (it == tokens_.end()) return p_.Fail(err::kInvalidHandle);
        access = it->second;
    }
    // The handle must allow adjusting privileges (AdjustTokenPrivileges
    // documentation); TOKEN_QUERY is needed only for the previous state,
    // which nobody asks for here.
    if (!(access & power::kTokenAdjustPrivileges)) return p_.Fail(err::kAccessDenied);
    bool held = privilege.lowPart == kShutdownPrivilegeLuid && privilege.highPart == 0 &&
                p_.machine().ModelSwitchesCopy().shutdownPrivilege;
    // The call succeeds either way; a privilege the token lacks is reported
    // through the last error only.
    if (!held) {
        p_.SetLastError(err::kNotAllAssigned);
        return Status::Ok();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    shutdownEnabledBy_ = (attributes & power::kSePrivilegeEnabled) != 0 ? access : 0;
    p_.SetLastError(err::kSuccess);
    return Status::Ok();
}

Status SimPower::ExitWindowsEx(Dword flags, Dword reason) {
    if (auto fault = p_.Enter("Power.ExitWindowsEx")) return p_.Fail(*fault);
    ShutdownRequest request;
    request.flags = flags;
    request.reason = reason;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        request.tokenAccess = shutdownEnabledBy_;
    }
    request.accepted = request.tokenAccess != 0;
    {
        std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
        Machine::State& s = p_.machine().Internal();
        s.shutdownRequests.push_back(request);
        // Only a reboot restarts; other flags shut down or log off, which
        // is recorded but is no restart.
        if (request.accepted && (flags & power::kEwxReboot)) ++s.restarts;
    }
    if (!request.accepted) return p_.Fail(werr::kPrivilegeNotHeld);
    if (flags & power::kEwxReboot) p_.AddEvent("RESTART");
    return Status::Ok();
}

}  // namespace zmp::sim
