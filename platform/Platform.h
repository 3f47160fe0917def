// Every Windows service the system uses, gathered: the one seam between the
// system's code and Windows (platform/win32) or the simulator.
#pragma once

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Modules.h"
#include "platform/Power.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/SetupApi.h"
#include "platform/Spooler.h"
#include "platform/SystemInfo.h"
#include "platform/Types.h"
#include "platform/Ui.h"

namespace zmp {

struct Platform {
    Spooler& spooler;
    SetupApi& setup;
    Registry& registry;
    FileSystem& files;
    Processes& processes;
    SystemInfo& system;
    Clock& clock;
    Power& power;
    Ui& ui;
    Services& services;
    Modules& modules;
};

}  // namespace zmp
