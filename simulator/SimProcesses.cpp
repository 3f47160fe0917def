// kernel32's processes for one simulated process: WinExec of the "net"
// commands, the PrintUIEntry child, waiting, and the end of the process.
#include "simulator/MachineState.h"
#include "simulator/SimPlatform.h"

namespace zmp::sim {

namespace {

constexpr Dword kInfinite = 0xFFFFFFFF;
constexpr Dword kErrorDirectory = 267;          // ERROR_DIRECTORY: no such current directory
constexpr Dword kCmdNotRecognised = 9009;       // cmd's code for a program it cannot find
constexpr const char* kPrintUiEntry = "PRINTUI.DLL,PRINTUIENTRY";

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

// The model's programs: what the image (already found) does with its
// arguments, run in currentDirectory. Windows' net, cmd and rundll32 with
// printui.dll do what they do on Windows; any other program (one put in a
// folder that is searched first) runs, is recorded, and changes nothing.
// The child's exit code.
Dword RunImage(SimProcess& p, Machine::State& s, const std::string& image, const std::string& arguments,
               const std::string& currentDirectory) {
    s.loadedImages.push_back(image);
    if (IsWindowsImage(s, image, "net.exe")) {
        const std::string command = Canonical(arguments);
        if (command == "STOP SPOOLER") s.NetStop();
        else if (command == "START SPOOLER") s.NetStart();
        return err::kSuccess;
    }
    if (IsWindowsImage(s, image, "cmd.exe")) {
        std::string rest;
        const std::string option = CommandProgram(arguments, rest);
        if (!IEquals(option, "/c")) return err::kSuccess;
        std::string programArguments;
        const std::string name = CommandProgram(rest, programArguments);
        // cmd looks in its current directory first, then along PATH.
        const std::string program = FindProgram(p, s, name, currentDirectory, currentDirectory);
        if (program.empty()) return kCmdNotRecognised;
        return RunImage(p, s, program, programArguments, currentDirectory);
    }
    if (IsWindowsImage(s, image, "rundll32.exe")) {
        // "DLL,Entry arguments": the DLL is loaded as LoadLibrary does from
        // rundll32's own folder.
        std::string entryArguments;
        const std::string target = CommandProgram(arguments, entryArguments);
        const size_t comma = target.find(',');
        if (comma == std::string::npos) return err::kSuccess;
        const std::string dll = FindLibrary(p, s, target.substr(0, comma), DllSearch::Standard, ParentPath(image),
                                            currentDirectory);
        if (dll.empty()) return err::kModNotFound;
        s.loadedImages.push_back(dll);
        if (IsWindowsImage(s, dll, "printui.dll") && IEquals(target.substr(comma + 1), "PrintUIEntry"))
            return s.RunPrintUiEntry(entryArguments, currentDirectory, p.CallerEnvironment());
        return err::kSuccess;
    }
    return err::kSuccess;
}

}  // namespace

Dword SimProcesses::WinExec(const std::string& commandLine, Dword /*show*/) {
    if (auto fault = p_.Enter("Processes.WinExec")) {
        p_.SetLastError(*fault);
        return *fault < 32 ? *fault : 0;
    }
    p_.AddEvent("EXEC", commandLine);
    // WinExec returns once the program has started; net's service then
    // takes its time (Switches::spoolerStopMs, spoolerStartMs) on the
    // virtual clock.
    std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
    Machine::State& s = p_.machine().Internal();
    std::string arguments;
    const std::string name = CommandProgram(p_.FromAnsi(commandLine), arguments);
    const std::string image = FindProgram(p_, s, name, p_.ProgramDirectory(), p_.CurrentDirectory());
    if (image.empty()) {
        p_.SetLastError(err::kFileNotFound);
        return err::kFileNotFound;
    }
    RunImage(p_, s, image, arguments, p_.CurrentDirectory());
    return 33;
}

Status SimProcesses::CreateProcess(const std::string& application, const std::string& commandLine,
                                   Dword /*creationFlags*/, const std::string& currentDirectory,
                                   const StartupInfo& /*startup*/, ProcessInformation& out) {
    out = ProcessInformation();
    if (auto fault = p_.Enter("Processes.CreateProcess")) return p_.Fail(*fault);
    Switches switches = p_.machine().ModelSwitchesCopy();
    if (switches.createProcessError) return p_.Fail(switches.createProcessError);

    ChildRecord child;
    child.commandLine = commandLine;
    {
        std::lock_guard<std::recursive_mutex> lock(p_.machine().Mutex());
        Machine::State& s = p_.machine().Internal();
        // With an application name nothing is searched for, and the command
        // line's first word is only the child's argv[0].
        std::string arguments;
        const std::string name = CommandProgram(p_.FromAnsi(commandLine), arguments);
        const std::string image = application.empty()
                                      ? FindProgram(p_, s, name, p_.ProgramDirectory(), p_.CurrentDirectory())
                                      : p_.ResolvePath(application);
        if (!ImageExists(s, image)) return p_.Fail(err::kFileNotFound);
        const std::string directory = currentDirectory.empty() ? p_.CurrentDirectory() : p_.ResolvePath(currentDirectory);
        if (!currentDirectory.empty() && !s.files.IsDirectory(directory)) return p_.Fail(kErrorDirectory);
        p_.AddEvent("EXEC", commandLine);
        child.image = image;
        if (switches.childTimesOut && Upper(commandLine).find(kPrintUiEntry) != std::string::npos) {
            s.loadedImages.push_back(image);
            child.finished = false;
        } else {
            child.exitCode = RunImage(p_, s, image, arguments, directory);
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
