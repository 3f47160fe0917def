#include "simulator/headless/Runner.h"

#include "installer/InstallerApp.h"
#include "simulator/ProcessExit.h"
#include "uninstaller/UninstallerApp.h"

namespace zmp::sim {

std::string ProgramFileName(resources::Program program) {
    return program == resources::Program::Installer ? "ZMPK40_Installer.exe"
                                                    : "ZMPK40_Uninstaller.exe";
}

int RunProgram(Machine& machine, RunOptions options, Events& events) {
    ProcessOptions process;
    process.currentDirectory = options.currentDirectory;
    process.executable = options.executable;
    if (process.executable.empty()) {
        std::string dir = options.currentDirectory;
        if (!dir.empty() && dir.back() != '\\') dir += '\\';
        process.executable = dir + ProgramFileName(options.program);
    }
    SimSystem system(machine, process, &events);
    Desktop ownDesktop;
    Desktop& desktop = options.desktop ? *options.desktop : ownDesktop;
    HeadlessUi ui(options.program, events, std::move(options.script), desktop);
    // Whenever the program sleeps, the dialog's thread catches up first.
    system.SetSleepHook([&ui] { ui.WaitForDialogThread(); });
    Platform platform = system.MakePlatform(ui);
    if (options.beforeStart) options.beforeStart(system, ui);

    int code = 0;
    bool exited = false;
    try {
        code = options.program == resources::Program::Installer ? InstallerMain(platform, options.arguments)
                                                                : UninstallerMain(platform, options.arguments);
    } catch (const ProcessExit& exit) {
        code = exit.code;
        exited = true;
    }
    // The other threads stop at their next call into the UI (or sleep); one
    // that ends the process itself meanwhile (a worker that closed the
    // dialog and exits) has the first word, as it would on Windows.
    ui.EndProcess(code);
    ui.JoinThreads();
    if (!exited) {
        try {
            // The framework ends the process with what the entry point returned.
            platform.processes.ExitProcess(code);
        } catch (const ProcessExit& exit) {
            code = exit.code;
        }
    }
    if (options.afterEnd) options.afterEnd(system, ui);
    return code;
}

}  // namespace zmp::sim
