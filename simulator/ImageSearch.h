// Where Windows finds a program or a DLL that is named without its full
// path (docs/simulator.md, "Programs and libraries"), and the model's
// children: cmd, rundll32 and net as the programs start them.
#pragma once

#include <string>

#include "simulator/MachineState.h"

namespace zmp::sim {

class SimProcess;

// The process's DLL search: as Windows starts it (SafeDllSearchMode: the
// program's folder, the system directories, the Windows directory, then
// the current directory); after SetDllDirectoryA("") without the current
// directory; after SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
// the system directory only.
enum class DllSearch { Standard, NoCurrentDirectory, SystemOnly };

// Windows' own programs and DLLs: those of a system directory (system32
// and, on 64-bit Windows, SysWOW64), where only administrators write. Some
// are files of the machine (cmd.exe, rundll32.exe, printui.dll ...), the
// others (net.exe, winspool.drv ...) are there without being modelled as
// files. With a name, only that one.
bool IsWindowsImage(const Machine::State& s, const std::string& physicalPath, const char* name = nullptr);

// A file at that physical path, or Windows' own image there.
bool ImageExists(const Machine::State& s, const std::string& physicalPath);

// The first word of a command line, in double quotes or up to a blank;
// rest is what follows it, leading blanks dropped.
std::string CommandProgram(const std::string& commandLine, std::string& rest);

// CreateProcess without an application name, WinExec: a name without a
// directory is looked for in the folder of the program that starts it,
// the current directory, the system directory, the 16-bit system
// directory and the Windows directory, ".exe" added when it has no
// extension. The physical path, or "" when there is none.
std::string FindProgram(const SimProcess& p, const Machine::State& s, const std::string& name,
                        const std::string& programDir, const std::string& currentDirectory);

// LoadLibrary: a name with a directory is that file; a KnownDLL comes from
// the system directory; any other name is searched for as the process's
// DllSearch says.
std::string FindLibrary(const SimProcess& p, const Machine::State& s, const std::string& name, DllSearch search,
                        const std::string& programDir, const std::string& currentDirectory);

}  // namespace zmp::sim
