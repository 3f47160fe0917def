// Processes and commands: kernel32 and the C runtime's exit.
#include <cstdlib>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32System.h"

namespace zmp::win32 {
namespace {

HANDLE ToHandle(ProcessHandle h) { return FromRef<HANDLE>(h); }

// The caller sizes STARTUPINFOA as a 32-bit program does; in the x86_64
// build of the same program that size stands for this build's record.
DWORD NativeStartupInfoSize(Dword callerSize) {
    return callerSize == proc::kStartupInfoSize32 ? sizeof(STARTUPINFOA) : callerSize;
}

}  // namespace

Dword Win32Processes::WinExec(const std::string& commandLine, Dword show) {
    return ::WinExec(commandLine.c_str(), show);
}

Status Win32Processes::CreateProcess(const std::string& application, const std::string& commandLine,
                                     Dword creationFlags, const std::string& currentDirectory,
                                     const StartupInfo& startup, ProcessInformation& out) {
    out = ProcessInformation{};
    STARTUPINFOA si = {};
    si.cb = NativeStartupInfoSize(startup.cb);
    si.dwFlags = startup.flags;
    si.wShowWindow = static_cast<WORD>(startup.showWindow);
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(StrOrNull(application), command.data(), nullptr, nullptr, FALSE, creationFlags,
                          nullptr, StrOrNull(currentDirectory), &si, &pi))
        return LastErrorStatus();
    out.process = ToRef<ProcessHandle>(pi.hProcess);
    out.thread = ToRef<ProcessHandle>(pi.hThread);
    out.processId = pi.dwProcessId;
    return Status::Ok();
}

Dword Win32Processes::WaitForSingleObject(ProcessHandle process, Dword milliseconds) {
    return ::WaitForSingleObject(ToHandle(process), milliseconds);
}

Status Win32Processes::GetExitCodeProcess(ProcessHandle process, Dword& exitCode) {
    DWORD code = 0;
    exitCode = 0;
    if (!::GetExitCodeProcess(ToHandle(process), &code)) return LastErrorStatus();
    exitCode = code;
    return Status::Ok();
}

void Win32Processes::CloseHandle(ProcessHandle handle) {
    if (handle != ProcessHandle::None) ::CloseHandle(ToHandle(handle));
}

void Win32Processes::ExitProcess(int code) { std::exit(code); }

}  // namespace zmp::win32
