// ZMPK40_Installer's application object: single-instance start and the
// progress dialog run modally. InstallerMain is what WinMain (or the
// simulator's process runner) calls; it returns the framework's exit code.
#pragma once

#include "platform/Platform.h"

namespace zmp {

int InstallerMain(Platform& platform);

class InstallerApp {
public:
    explicit InstallerApp(Platform& platform);
    // Runs the progress dialog modally unless an installer already runs.
    // False on every path, so the framework ends the program afterwards.
    bool InitInstance();
    // Brings a running installer's window (or the box it shows) to the
    // front; true when none was found.
    bool ActivateRunningInstance();

private:
    Platform& platform_;
};

}  // namespace zmp
