// ZMPK40_Uninstaller's application object: single-instance start and the
// uninstaller dialog run modally. UninstallerMain is what WinMain (or the
// simulator's process runner) calls; it returns the framework's exit code.
#pragma once

#include "platform/Platform.h"

namespace zmp {

int UninstallerMain(Platform& platform);

}  // namespace zmp
