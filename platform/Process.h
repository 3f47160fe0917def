// Processes and commands (kernel32) as the system uses them.
#pragma once

#include <string>

#include "platform/Types.h"

namespace zmp {

namespace proc {
constexpr Dword kSwHide = 0;
constexpr Dword kSwRestore = 9;
constexpr Dword kStartfUseShowWindow = 0x1;
constexpr Dword kStartfForceOnFeedback = 0x40;
constexpr Dword kNormalPriorityClass = 0x20;
constexpr Dword kWaitObject0 = 0;
constexpr Dword kWaitTimeout = 258;
constexpr Dword kWaitFailed = 0xFFFFFFFF;
constexpr Dword kStillActive = 259;  // STILL_ACTIVE: the process has not ended
constexpr Dword kStartupInfoSize32 = 68;  // sizeof(STARTUPINFOA) in a 32-bit program
}  // namespace proc

// STARTUPINFOA, the fields the system sets (all others zero).
struct StartupInfo {
    Dword cb = proc::kStartupInfoSize32;
    Dword flags = 0;
    Dword showWindow = 0;
};

struct ProcessInformation {
    ProcessHandle process = ProcessHandle::None;
    ProcessHandle thread = ProcessHandle::None;
    Dword processId = 0;
};

class Processes {
public:
    virtual ~Processes() = default;

    // WinExec(commandLine, show): > 31 on success. A program named without
    // a directory is searched for, the program's own folder first.
    virtual Dword WinExec(const std::string& commandLine, Dword show) = 0;
    // CreateProcessA(application or NULL, commandLine, NULL, NULL, FALSE,
    // creationFlags, NULL, currentDirectory or NULL, &startup, &out): an
    // empty text stands for NULL. With the application's full path nothing
    // is searched for; without it the command line's first word is, as by
    // WinExec.
    virtual Status CreateProcess(const std::string& application, const std::string& commandLine,
                                 Dword creationFlags, const std::string& currentDirectory,
                                 const StartupInfo& startup, ProcessInformation& out) = 0;
    // WaitForSingleObject(process, milliseconds)
    virtual Dword WaitForSingleObject(ProcessHandle process, Dword milliseconds) = 0;
    // GetExitCodeProcess(process, &code): the code it ended with, or
    // STILL_ACTIVE (259) while it runs.
    virtual Status GetExitCodeProcess(ProcessHandle process, Dword& exitCode) = 0;
    virtual void CloseHandle(ProcessHandle handle) = 0;

    // exit(code): ends the whole process from whichever thread calls it.
    [[noreturn]] virtual void ExitProcess(int code) = 0;
};

}  // namespace zmp
