// The machines and runs of the fault sweep: the main scenarios of both
// programs, each machine seeded with another model's printer, driver,
// monitor, processor, forms, oem INF, device, folders and keys that no run
// may touch, and one run of a program with what it left behind.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/StringTables.h"
#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/HeadlessUi.h"
#include "simulator/headless/Runner.h"
#include "simulator/headless/Script.h"

namespace zmp::sweep {

constexpr const char* kPackage = "C:\\Users\\Public\\Downloads\\ZMPK40";
constexpr const char* kDriver = "KORVANT ZMP-K40";
constexpr const char* kMonitor = "KVT Language Monitor ZMP-K40";
constexpr const char* kProcessor = "KVT PRINT PROCESSOR ZMP-K40";
constexpr const char* kUninstallKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";

// One scenario: a machine made afresh for every run, the program, its user.
struct Scenario {
    std::string name;
    resources::Program program = resources::Program::Installer;
    std::function<std::unique_ptr<sim::Machine>()> make;
    std::function<sim::Script()> script;
    // What this scenario leaves alone on its own account (printers the user
    // kept, the driver a partial removal keeps): one line per thing missing.
    std::function<std::vector<std::string>(const sim::Machine&)> kept;
};

// What one run left: exit code, calls, log, boxes, virtual time spent.
struct RunRecord {
    int exitCode = 0;
    std::vector<const char*> calls;  // the seam's method names, string literals
    std::vector<std::string> log;  // one entry per WriteLog, time prefix removed
    std::vector<std::string> boxes;
    std::vector<std::string> events;
    unsigned long long elapsedMs = 0;
    bool threw = false;  // an exception other than the process's end
    std::string exception;
};

// The scenarios of the sweep.
std::vector<Scenario> Scenarios();

// Every trace of the other model that must survive any run: one line per
// thing missing.
std::vector<std::string> OtherModelMissing(const sim::Machine& machine);

// The printers on any other driver than ours, before a run; afterwards,
// each of them that is gone, has another driver, or lost its key (which
// the spooler would forget it by at its next start), by name.
std::vector<sim::SimPrinter> OtherPrinters(const sim::Machine& machine);
std::vector<std::string> OtherPrintersMissing(const std::vector<sim::SimPrinter>& before, const sim::Machine& machine);

// Ours the spooler still has, in either environment: one line each.
std::vector<std::string> OursRegistered(const sim::Machine& machine);

// Runs the scenario's program once on machine; before the start, inject
// may switch faults on.
RunRecord RunOnce(const Scenario& scenario, sim::Machine& machine, const std::function<void(sim::SimSystem&)>& inject);

}  // namespace zmp::sweep
