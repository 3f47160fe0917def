// Local time and sleeping. The simulator's clock is virtual: a sleep is
// recorded and the clock advanced, nothing is waited.
#pragma once

#include "platform/Types.h"

namespace zmp {

struct LocalTime {
    unsigned year = 0, month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime GetLocalTime() = 0;
    virtual void Sleep(Dword milliseconds) = 0;
};

}  // namespace zmp
