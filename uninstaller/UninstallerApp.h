// ZMPK40_Uninstaller's application object: the command line, single-instance
// start and the uninstaller dialog run modally under the way of running the
// switches ask for. UninstallerMain is what WinMain (or the simulator's
// process runner) calls with the arguments after the program's name; it
// returns the framework's exit code.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace zmp {

int UninstallerMain(Platform& platform, const std::string& arguments = std::string());

class UninstallerApp {
public:
    UninstallerApp(Platform& platform, std::string arguments);
    // Runs the uninstaller dialog modally unless an uninstaller already runs
    // or the command line is refused. False on every path, so the framework
    // ends the program afterwards, with ExitCode().
    bool InitInstance();
    // Brings a running uninstaller's dialog (or the box it shows) to the
    // front; true when none was found.
    bool ActivateRunningInstance();
    int ExitCode() const { return exitCode_; }

private:
    Platform& platform_;
    std::string arguments_;
    int exitCode_ = 0;
};

}  // namespace zmp
