// ZMPK40_Installer's application object: single-instance start and the
// progress dialog run modally. InstallerMain is what WinMain (or the
// simulator's process runner) calls; it returns the framework's exit code.
#pragma once

#include "platform/Platform.h"

namespace zmp {

int InstallerMain(Platform& platform);

}  // namespace zmp
