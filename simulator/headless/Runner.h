// Runs one simulated program (installer or uninstaller) as a process of a
// simulated machine: its own SimSystem and HeadlessUi, the program's entry
// point on the calling thread (the process's main thread), the scripted
// user answering its UI, and the events written to the transcript.
#pragma once

#include <functional>
#include <string>

#include "resources/StringTables.h"
#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/Desktop.h"
#include "simulator/headless/HeadlessUi.h"
#include "simulator/headless/Script.h"

namespace zmp::sim {

struct RunOptions {
    resources::Program program = resources::Program::Installer;
    // The process's current directory (the installer's package folder).
    std::string currentDirectory;
    // The executable's path; "" = the program's file in the current directory.
    std::string executable;
    // The command line after the program's name, as WinMain receives it.
    std::string arguments;
    Script script;
    // Shared with other runs for the single-instance cases; a private one otherwise.
    Desktop* desktop = nullptr;
    // Called before the program starts, e.g. to switch faults on.
    std::function<void(SimSystem&, HeadlessUi&)> beforeStart;
    // Called after the process has ended, with everything still alive.
    std::function<void(SimSystem&, HeadlessUi&)> afterEnd;
};

// The process's exit code. The process ends when a thread calls exit, or
// when the program's entry point returns (its result is the code); the
// other threads are stopped at their next call into the UI or the machine
// and joined.
int RunProgram(Machine& machine, RunOptions options, Events& events);

// The program's file name: "ZMPK40_Installer.exe" or "ZMPK40_Uninstaller.exe".
std::string ProgramFileName(resources::Program program);

}  // namespace zmp::sim
