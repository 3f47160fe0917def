// ZMPK40_Uninstaller's application object: single-instance start and the
// uninstaller dialog run modally. UninstallerMain is what WinMain (or the
// simulator's process runner) calls; it returns the framework's exit code.
#pragma once

#include "platform/Platform.h"

namespace zmp {

int UninstallerMain(Platform& platform);

class UninstallerApp {
public:
    explicit UninstallerApp(Platform& platform);
    // Runs the uninstaller dialog modally unless an uninstaller already
    // runs. False on every path, so the framework ends the program afterwards.
    bool InitInstance();
    // Brings a running uninstaller's dialog (or the box it shows) to the
    // front; true when none was found.
    bool ActivateRunningInstance();

private:
    Platform& platform_;
};

}  // namespace zmp
