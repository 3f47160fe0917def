// Shared pieces of the installation tests: the installer package written
// into a simulated machine, the installer run on it through the program
// runner with a scripted user, and what the run left: transcript, message
// boxes with their types, the log and the children started.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/Keys.h"
#include "simulator/Events.h"
#include "tests/common/LogFile.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/HeadlessUi.h"
#include "simulator/headless/Runner.h"

namespace zmp::test {

constexpr const char* kPackage = "C:\\Users\\Public\\Downloads\\ZMPK40";
constexpr const char* kLog = "C:\\Temp\\ZMP-K40_Installer.txt";
constexpr const char* kPortDialog = "Port Type";
constexpr const char* kPrinter = "KORVANT ZMP-K40";
constexpr const char* kMonitor = "KVT Language Monitor ZMP-K40";
constexpr const char* kProcessor = "KVT PRINT PROCESSOR ZMP-K40";
constexpr const char* kUninstallKey32On64 =
    "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";
constexpr const char* kRestartQuestion =
    "Restarting your computer can take effect.\nPlease restart your computer."
    "\n\n[Yes] I want to restart my computer now.\n[No] I want to restart my computer later.";
constexpr const char* kPowerCycle = "Please turn-off the printer and then turn-on again.";

// Port dialog controls.
constexpr int kRadioCom1 = 1006, kRadioCom2 = 1008, kRadioCom3 = 1009, kRadioCom4 = 1011;
constexpr int kRadioUsb = 1001, kRadioWlan = 1007;
constexpr int kIpControl = 1003, kPortEdit = 1005, kNext = 1;

// Every file the install steps name, per architecture.
inline const std::vector<std::string>& PackageDriverFiles() {
    static const std::vector<std::string> files = {
        "UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD", "ZMP40.dll", "ZPUI40.dll",
        "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD", "ZMP40.BUD", "ZPMON40.dll", "ZPPRO40.dll"};
    return files;
}

// Our package's INF as shipped, driver files whose content names them, the
// uninstaller, and the configuration file when config is not empty.
inline void WritePackage(sim::Machine& machine, const std::string& config = std::string()) {
    const std::string dir = kPackage;
    ASSERT_TRUE(machine.ImportHostFile(std::string(ZMP_SOURCE_DIR) + "/package/ZMPK40.inf", dir + "\\ZMPK40.inf"));
    for (const char* arch : {"Driver32", "Driver64"})
        for (const std::string& f : PackageDriverFiles())
            machine.WriteFile(dir + "\\" + arch + "\\" + f, std::string("new ") + arch + " " + f);
    machine.WriteFile(dir + "\\ZMPK40_Uninstaller.exe", "MZ uninstaller");
    if (!config.empty()) machine.WriteFile(dir + "\\ZMPK40_Config.KVT", config);
}

inline std::string Config(const std::string& lines) { return "[ZMPK40]\r\n" + lines; }

// The log's lines without their time prefix.
inline std::vector<std::string> ReadLog(const sim::Machine& machine) { return ReadLogLines(machine, kLog); }

struct RunResult {
    int exitCode = 0;
    std::vector<std::string> events;
    std::vector<sim::HeadlessUi::Box> boxes;
    std::vector<sim::SimProcesses::ChildRecord> children;
    std::vector<std::string> log;
    std::vector<std::string> shown;  // every window that became visible

    std::vector<std::string> Kind(const std::string& kind) const {
        std::vector<std::string> out;
        for (const std::string& line : events)
            if (line == kind || line.rfind(kind + " ", 0) == 0) out.push_back(line);
        return out;
    }
    bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
    int LogCount(const std::string& line) const {
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
    // Where a line is in the log, -1 when it is not.
    int LogIndex(const std::string& line) const {
        auto it = std::find(log.begin(), log.end(), line);
        return it == log.end() ? -1 : static_cast<int>(it - log.begin());
    }
    // The log lines after the first occurrence of first, up to the next
    // line that starts with stop ("" = to the end).
    std::vector<std::string> LogBlock(const std::string& first, const std::string& stop = std::string()) const {
        std::vector<std::string> out;
        int at = LogIndex(first);
        if (at < 0) return out;
        for (size_t i = at + 1; i < log.size(); ++i) {
            if (!stop.empty() && log[i].rfind(stop, 0) == 0) break;
            out.push_back(log[i]);
        }
        return out;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& box : boxes) out.push_back(box.text);
        return out;
    }
};

// Runs the installer from the package folder on the machine, with the
// command line's arguments; a run that got stuck fails the test.
using BeforeStart = std::function<void(sim::SimSystem&, sim::HeadlessUi&)>;

inline RunResult RunInstaller(sim::Machine& machine, sim::Script script, BeforeStart beforeStart = nullptr,
                              const std::string& arguments = std::string(), sim::Desktop* desktop = nullptr) {
    RunResult result;
    sim::Events events;
    sim::RunOptions run;
    run.currentDirectory = kPackage;
    run.arguments = arguments;
    run.desktop = desktop;
    run.script = std::move(script);
    run.beforeStart = [&](sim::SimSystem& system, sim::HeadlessUi& ui) {
        if (beforeStart) beforeStart(system, ui);
    };
    run.afterEnd = [&](sim::SimSystem& system, sim::HeadlessUi& ui) {
        result.boxes = ui.Boxes();
        result.shown = ui.Shown();
        result.children = system.processes.Children();
        if (!ui.Stuck().empty()) ADD_FAILURE() << "installer: " << ui.Stuck();
    };
    result.exitCode = sim::RunProgram(machine, std::move(run), events);
    result.events = events.Lines();
    result.log = ReadLog(machine);
    return result;
}

// The user picks a port in the port dialog and presses "Next"; for the
// wireless LAN with the address and port number typed in.
inline sim::Script ChoosePort(int radio, unsigned address = 0, const std::string& port = std::string()) {
    std::vector<sim::UserAction> actions = {sim::UserAction::Click(radio)};
    if (address) actions.push_back(sim::UserAction::TypeAddress(kIpControl, address));
    if (!port.empty()) actions.push_back(sim::UserAction::Type(kPortEdit, port));
    actions.push_back(sim::UserAction::Click(kNext));
    sim::Script script;
    script.OnDialog(kPortDialog, std::move(actions));
    return script;
}

constexpr unsigned Address(unsigned a, unsigned b, unsigned c, unsigned d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// The version the package's INF gives the driver ("2.0.6.0" as shipped).
inline void SetPackageVersion(sim::Machine& machine, const std::string& version) {
    const std::string path = std::string(kPackage) + "\\ZMPK40.inf";
    std::string inf = *machine.ReadFile(path);
    size_t at = inf.find("DriverVer=");
    ASSERT_NE(at, std::string::npos);
    size_t comma = inf.find(',', at), end = inf.find_first_of("\r\n", at);
    inf.replace(comma + 1, end - comma - 1, version);
    machine.WriteFile(path, inf);
}

// A fresh machine with the package in place.
inline std::unique_ptr<sim::Machine> NewMachine(const std::string& os, bool is64,
                                                const std::string& config = std::string()) {
    auto machine = sim::Machine::Preset(os, is64);
    WritePackage(*machine, config);
    return machine;
}

}  // namespace zmp::test
