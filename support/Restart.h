// Restarting Windows at the end of a run. Needs the shutdown privilege,
// which the process enables in its own token.
#pragma once

#include "platform/Platform.h"

namespace zmp {

// The question both programs ask at the end of a run that changed the
// driver (Yes and No, question icon).
constexpr const char* kRestartQuestion =
    "Restarting your computer can take effect.\nPlease restart your computer."
    "\n\n[Yes] I want to restart my computer now.\n[No] I want to restart my computer later.";

// A forced reboot. False when the privilege could not be enabled or the
// request failed; nothing is shown or logged.
bool RestartComputer(Platform& platform);

}  // namespace zmp
