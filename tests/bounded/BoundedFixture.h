// Runs of both programs on simulated machines with over-long texts: the
// package, an installed driver to remove, the raw log and what the user saw.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/StringTables.h"
#include "simulator/Events.h"
#include "simulator/Machine.h"
#include "simulator/SimPlatform.h"
#include "simulator/headless/HeadlessUi.h"
#include "simulator/headless/Runner.h"
#include "tests/common/LogFile.h"

namespace zmp::bounded {

constexpr const char* kPackage = "C:\\Package";
constexpr const char* kDriver = "KORVANT ZMP-K40";
constexpr const char* kProcessor = "KVT PRINT PROCESSOR ZMP-K40";

inline void WritePackage(sim::Machine& m, const std::string& dir, const std::string& config) {
    ASSERT_TRUE(m.ImportHostFile(std::string(ZMP_SOURCE_DIR) + "/package/ZMPK40.inf", dir + "\\ZMPK40.inf"));
    for (const char* arch : {"Driver32", "Driver64"})
        for (const char* f :
             {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD", "ZMP40.dll", "ZPUI40.dll",
              "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD", "ZMP40.BUD", "ZPMON40.dll", "ZPPRO40.dll"})
            m.WriteFile(dir + "\\" + arch + "\\" + f, f);
    m.WriteFile(dir + "\\ZMPK40_Uninstaller.exe", "MZ");
    if (!config.empty()) m.WriteFile(dir + "\\ZMPK40_Config.KVT", config);
}

// The driver as an installation left it, without printer objects.
inline void InstallDriver(sim::Machine& m) {
    const std::string env = m.Os().NativeEnvironment();
    m.AddMonitorRecord({"KVT Language Monitor ZMP-K40", env, "ZPMON40.dll"});
    m.AddProcessorRecord({kProcessor, env, "ZPPRO40.dll"});
    sim::SimDriver driver;
    driver.name = kDriver;
    driver.environment = env;
    driver.driverPath = "UNIDRV.DLL";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "UNIDRVUI.DLL";
    driver.dependentFiles = {"ZMP40.dll", "ZPUI40.dll"};
    driver.monitorName = "KVT Language Monitor ZMP-K40";
    driver.printProcessor = kProcessor;
    m.AddDriverRecord(driver);
    m.WriteFile(m.WindowsDirectory() + "\\ZMP-K40\\ZMPK40_Uninstaller.exe", "MZ");
}

inline sim::SimPrinter Printer(const std::string& name, const std::string& port) {
    sim::SimPrinter p;
    p.name = name;
    p.driver = kDriver;
    p.port = port;
    p.processor = kProcessor;
    return p;
}

struct Outcome {
    int exitCode = 0;
    std::vector<std::string> events;
    std::vector<std::string> boxes;
    std::vector<std::string> children;
    std::string rawLog;

    // The log's lines as written, time prefix included, without CR LF.
    std::vector<std::string> LogLines() const { return test::SplitLogLines(rawLog); }
    // The log line whose message (after the 10-character time prefix) starts so.
    std::string LogLine(const std::string& start) const {
        for (const std::string& line : LogLines())
            if (line.size() >= 10 && line.compare(10, start.size(), start) == 0) return line.substr(10);
        return std::string();
    }
    bool Shown(const std::string& caption) const {
        for (const std::string& e : events)
            if (e.find(caption) != std::string::npos) return true;
        return false;
    }
};

inline Outcome RunProgram(sim::Machine& m, resources::Program program, const std::string& currentDirectory,
                          sim::Script script) {
    Outcome run;
    sim::Events events;
    sim::RunOptions options;
    options.program = program;
    options.currentDirectory = currentDirectory;
    options.script = std::move(script);
    options.afterEnd = [&](sim::SimSystem& system, sim::HeadlessUi& ui) {
        for (const auto& box : ui.Boxes()) run.boxes.push_back(box.text);
        for (const auto& child : system.processes.Children()) run.children.push_back(child.commandLine);
    };
    run.exitCode = sim::RunProgram(m, std::move(options), events);
    run.events = events.Lines();
    const std::string log =
        m.WindowsDirectory().substr(0, 3) +
        (program == resources::Program::Installer ? "Temp\\ZMP-K40_Installer.txt" : "Temp\\ZMP-K40_UnInstaller.txt");
    run.rawLog = m.ReadFile(log).value_or("");
    return run;
}

}  // namespace zmp::bounded
