// The single-instance start both programs share: a second start finds the
// running program's window by its title and brings it, or the message box it
// shows on top, to the front.
#pragma once

#include <initializer_list>

#include "platform/Ui.h"

namespace zmp::ui {

// Tries the titles in order and stops at the first window found. True when
// none was found (nothing to activate), false when one was brought forward.
bool ActivateRunningInstance(Ui& ui, std::initializer_list<const char*> titles);

}  // namespace zmp::ui
