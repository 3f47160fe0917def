// The install engine on its own, in a simulated installer process whose
// current directory holds the package: for the tests of single steps.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "installer/DriverInstaller.h"
#include "simulator/ProcessExit.h"
#include "support/Log.h"
#include "support/OsDetect.h"
#include "tests/install/InstallFixture.h"

namespace zmp::test {

class RecordingProgress : public ProgressSink {
public:
    void Report(const std::string& text, Bar) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

struct Engine {
    std::unique_ptr<sim::Machine> machine;
    sim::Events events;
    sim::Desktop desktop;
    std::unique_ptr<sim::SimSystem> system;
    std::unique_ptr<sim::HeadlessUi> ui;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<zmp::Log> log;
    std::unique_ptr<DriverInstaller> installer;
    RecordingProgress progress;

    // spooler and processes replace the simulator's in the platform (a
    // recorder around them); null keeps them.
    Engine(const std::string& os, bool is64, OsCode osCode, Spooler* spooler = nullptr,
           Processes* processes = nullptr)
        : machine(sim::Machine::Preset(os, is64)) {
        WritePackage(*machine, Config("PORTDLG=TRUE\r\n"));
        sim::ProcessOptions options;
        options.executable = std::string(kPackage) + "\\ZMPK40_Installer.exe";
        options.currentDirectory = kPackage;
        system = std::make_unique<sim::SimSystem>(*machine, options, &events);
        ui = std::make_unique<sim::HeadlessUi>(resources::Program::Installer, events, sim::Script(), desktop);
        Platform base = system->MakePlatform(*ui);
        platform = std::make_unique<Platform>(Platform{spooler ? *spooler : base.spooler, base.setup, base.registry,
                                                       base.files, processes ? *processes : base.processes,
                                                       base.system, base.clock,
                                                       base.power, base.ui, base.services, base.modules});
        log = std::make_unique<zmp::Log>(platform->files, platform->clock);
        log->InitLogFile(LogName::Installer);
        installer = std::make_unique<DriverInstaller>(*platform, *log);
        installer->SetSystemInfo(is64, osCode);
        installer->SetControlPointers(&progress);
    }
    ~Engine() {
        ui->EndProcess(0);
        ui->JoinThreads();
    }

    std::vector<std::string> LogLines() const { return ReadLog(*machine); }
    // The log lines from the first one equal to first on.
    std::vector<std::string> LogFrom(const std::string& first) const {
        std::vector<std::string> all = LogLines();
        auto it = std::find(all.begin(), all.end(), first);
        return std::vector<std::string>(it, all.end());
    }
    bool Logged(const std::string& line) const {
        std::vector<std::string> all = LogLines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
    std::vector<sim::HeadlessUi::Box> Boxes() const { return ui->Boxes(); }
};

}  // namespace zmp::test
