// kernel32's processes for one simulated process: WinExec of the "net"
// commands, the PrintUIEntry child, waiting, and the end of the process.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {

constexpr Dword kInfinite = 0xFFFFFFFF;

// Words of a command line, upper case, blanks collapsed.
std::string Canonical(const std::string& command) {
    std::string out;
    for (const std::string& w : Split(command, ' ')) {
        std::string t = Trim(w);
        if (t.empty()) continue;
        if (!out.empty()) out += ' ';
        out += Upper(t);
    }
    return out;
}

}  // namespace

Dword SimProcesses::WinExec(const std::string& commandLine, Dword /*show*/) {
    if (auto fault = p_.Enter("Processes.WinExec")) {
        p_.SetLastError(*fault);
        return *fault < 32 ? *fault : 0;
    }
    p_.AddEvent("EXEC", commandLine);
    // WinExec returns once net.exe has started; the service then takes its
    // time (Switches::spoolerStopMs, spoolerStartMs) on the virtual clock.
    std::string command = Canonical(commandLine);
    std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
    if (command == "NET STOP SPOOLER") p_.machine().Internal().NetStop();
    else if (command == "NET START SPOOLER") p_.machine().Internal().NetStart();
    return 33;
}

Status SimProcesses::CreateProcess(const std::string& commandLine, Dword /*creationFlags*/,
                                   const StartupInfo& /*startup*/, ProcessInformation& out) {
    out = ProcessInformation();
    if (auto fault = p_.Enter("Processes.CreateProcess")) return p_.Fail(*fault);
    Switches switches = p_.machine().ModelSwitchesCopy();
    if (switches.createProcessError) return p_.Fail(switches.createProcessError);
    p_.AddEvent("EXEC", commandLine);

    ChildRecord child;
    child.commandLine = commandLine;
    std::string upper = Upper(commandLine);
    size_t entry = upper.find("PRINTUI.DLL,PRINTUIENTRY");
    if (entry != std::string::npos) {
        if (switches.childTimesOut) {
            child.finished = false;
        } else {
            std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
            child.exitCode = p_.machine().Internal().RunPrintUiEntry(
                commandLine.substr(entry + std::string("PRINTUI.DLL,PRINTUIENTRY").size()), p_.CurrentDirectory(),
                p_.CallerEnvironment());
        }
    }
    std::uintptr_t process = p_.NewHandle(), thread = p_.NewHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    children_.push_back(child);
    handles_[process] = children_.size() - 1;
    handles_[thread] = children_.size() - 1;
    out.process = static_cast<ProcessHandle>(process);
    out.thread = static_cast<ProcessHandle>(thread);
    out.processId = static_cast<Dword>(1000 + 4 * children_.size());
    return Status::Ok();
}

Dword SimProcesses::WaitForSingleObject(ProcessHandle process, Dword milliseconds) {
    if (auto fault = p_.Enter("Processes.WaitForSingleObject")) {
        p_.SetLastError(*fault);
        return proc::kWaitFailed;
    }
    bool finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = handles_.find(static_cast<std::uintptr_t>(process));
        if (it == handles_.end()) {
            p_.SetLastError(err::kInvalidHandle);
            return proc::kWaitFailed;
        }
        finished = children_[it->second].finished;
    }
    if (finished) return proc::kWaitObject0;
    // The wait runs out on the virtual clock.
    if (milliseconds != kInfinite) p_.machine().Advance(milliseconds);
    return proc::kWaitTimeout;
}

Status SimProcesses::GetExitCodeProcess(ProcessHandle process, Dword& exitCode) {
    exitCode = 0;
    if (auto fault = p_.Enter("Processes.GetExitCodeProcess")) return p_.Fail(*fault);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(static_cast<std::uintptr_t>(process));
    if (it == handles_.end()) return p_.Fail(err::kInvalidHandle);
    const ChildRecord& child = children_[it->second];
    exitCode = child.finished ? child.exitCode : proc::kStillActive;
    return Status::Ok();
}

void SimProcesses::CloseHandle(ProcessHandle handle) {
    p_.Enter("Processes.CloseHandle");
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.erase(static_cast<std::uintptr_t>(handle));
}

void SimProcesses::ExitProcess(int code) {
    p_.Enter("Processes.ExitProcess");
    p_.AddEvent("EXIT", std::to_string(code));
    p_.Exit(code);
}

std::vector<SimProcesses::ChildRecord> SimProcesses::Children() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return children_;
}

}  // namespace zmp::sim
