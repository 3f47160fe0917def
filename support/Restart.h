// Restarting Windows at the end of a run. Needs the shutdown privilege,
// which the process enables in its own token.
#pragma once

#include "platform/Platform.h"

namespace zmp {

// A forced reboot. False when the privilege could not be enabled or the
// request failed; nothing is shown or logged.
bool RestartComputer(Platform& platform);

}  // namespace zmp
