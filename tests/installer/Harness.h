// A simulated installer process for the tests: machine, seam backends, the
// headless UI and the log read back from the machine's drive.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/HeadlessUi.h"
#include "tests/common/LogFile.h"

namespace zmp::test {

constexpr const char* kPackageDir = "C:\\Users\\Public\\Downloads\\ZMPK40";
constexpr const char* kInstallerLog = "C:\\Temp\\ZMP-K40_Installer.txt";

inline sim::ProcessOptions InstallerProcess() {
    sim::ProcessOptions options;
    options.executable = std::string(kPackageDir) + "\\ZMPK40_Installer.exe";
    options.currentDirectory = kPackageDir;
    return options;
}

// The log's lines without their time prefix.
inline std::vector<std::string> LogLines(const sim::Machine& machine, const std::string& path = kInstallerLog) {
    return ReadLogLines(machine, path);
}

// One process of the installer on a machine, with the headless UI.
struct Process {
    std::unique_ptr<sim::Machine> machine;
    sim::Events events;
    sim::Desktop desktop;
    std::unique_ptr<sim::SimSystem> system;
    std::unique_ptr<sim::HeadlessUi> ui;
    std::unique_ptr<Platform> platform;

    explicit Process(const std::string& os = "7", bool is64 = true, sim::Script script = sim::Script())
        : machine(sim::Machine::Preset(os, is64)) {
        system = std::make_unique<sim::SimSystem>(*machine, InstallerProcess(), &events);
        ui = std::make_unique<sim::HeadlessUi>(resources::Program::Installer, events, std::move(script),
                                               desktop);
        system->SetSleepHook([this] { ui->WaitForDialogThread(); });
        platform = std::make_unique<Platform>(system->MakePlatform(*ui));
    }
    ~Process() {
        ui->EndProcess(0);
        ui->JoinThreads();
    }
};

}  // namespace zmp::test
