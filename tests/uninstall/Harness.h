// Shared pieces of the uninstaller tests: a machine on which the driver is
// installed as the installer leaves it, the uninstaller run on it through the
// program runner, and the log and transcript read back.
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
#include "simulator/headless/Runner.h"

namespace zmp::test {

constexpr const char* kUninstallerLog = "C:\\Temp\\ZMP-K40_UnInstaller.txt";
constexpr const char* kCaption = "KORVANT ZMP-K40 Uninstaller";
constexpr const char* kDriverName = "KORVANT ZMP-K40";
constexpr const char* kMonitorName = "KVT Language Monitor ZMP-K40";
constexpr const char* kProcessorName = "KVT PRINT PROCESSOR ZMP-K40";
constexpr const char* kUninstallKey32 =
    "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVANT_ZMP-K40";
constexpr const char* kUsbEnumKey = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\KORVANT_ZMP-K40";
constexpr const char* kInstalledFolder = "C:\\KORVANT Printer Driver\\ZMP-K40";
constexpr const char* kCompleted = "The uninstallation has been completed.";
// The restart question as a transcript line shows it: line breaks escaped.
constexpr const char* kRestartQuestionLine =
    "Restarting your computer can take effect.\\nPlease restart your computer.\\n\\n"
    "[Yes] I want to restart my computer now.\\n[No] I want to restart my computer later.";
constexpr int kUninstallButton = 1001;
constexpr int kCancelButton = 2;
constexpr int kCheckList = 1006;
constexpr int kProgressBar = 1002;
constexpr int kStatusLabel = 1000;

// The driver's own files, as they are named in the driver's record.
inline const std::vector<std::string>& OwnDriverFiles() {
    static const std::vector<std::string> files = {"ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI",
                                                   "ZMP40.GPD", "ZMP40.BUD"};
    return files;
}

inline std::string Environment(const sim::Machine& machine) { return machine.Os().NativeEnvironment(); }

inline std::string UtilitiesFolder(const sim::Machine& machine) { return machine.WindowsDirectory() + "\\ZMP-K40"; }

inline std::string DriverVersionDir(const sim::Machine& machine) {
    return machine.PrinterDriverDirectory(Environment(machine)) + "\\3";
}

// What the installer leaves on a machine, made by hand: language monitor,
// print processor, the Unidrv-based driver from an oem INF, the utilities
// folder with the uninstaller and the configuration, the "Uninstall" entry,
// two of the driver's forms and the older "KORVANT Printer Driver" folder.
// No printer object: the tests add those they need.
inline void InstallDriver(sim::Machine& machine) {
    const std::string env = Environment(machine);
    const bool is64 = machine.Os().is64Bit;
    const std::string windir = machine.WindowsDirectory();

    // The monitor's DLL: in the Windows directory where the installer
    // registers the monitor itself on 64-bit Windows (XP x64), in the
    // native system directory where PrintUIEntry installs it.
    const bool monitorInWindows = is64 && !machine.Os().VistaOrLater();
    machine.WriteFile((monitorInWindows ? windir : machine.SystemDirectory()) + "\\ZPMON40.dll", "monitor");
    machine.AddMonitorRecord({kMonitorName, env, "ZPMON40.dll"});
    machine.WriteFile(machine.PrintProcessorDirectory(env) + "\\ZPPRO40.dll", "processor");
    machine.AddProcessorRecord({kProcessorName, env, "ZPPRO40.dll"});

    const std::string oem = "oem7.inf";
    const std::string inf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n\r\n"
        "[Manufacturer]\r\nKORVANT=KORVANT,NTamd64\r\n\r\n"
        "[KORVANT]\r\n\"KORVANT ZMP-K40\" = ZMPK40_X86, USBPRINT\\KORVANT_ZMP-K40\r\n\r\n"
        "[KORVANT.NTamd64]\r\n\"KORVANT ZMP-K40\" = ZMPK40_AMD64, USBPRINT\\KORVANT_ZMP-K40\r\n";
    machine.WriteFile(machine.InfDirectory() + "\\" + oem, inf);
    machine.WriteFile(machine.InfDirectory() + "\\oem7.PNF", "precompiled");

    sim::SimDriver driver;
    driver.name = kDriverName;
    driver.environment = env;
    driver.driverPath = "UNIDRV.DLL";
    driver.dataFile = "ZMP40.GPD";
    driver.configFile = "UNIDRVUI.DLL";
    driver.helpFile = "UNIDRV.HLP";
    driver.dependentFiles = {"UNIRES.DLL", "STDNAMES.GPD", "ZMP40.dll", "ZPUI40.dll", "ZPUNI40.dll",
                             "ZPUI40.INI", "ZMP40.BUD"};
    driver.monitorName = kMonitorName;
    driver.printProcessor = kProcessorName;
    driver.oemInf = oem;
    machine.AddDriverRecord(driver);
    // Before Vista a 32-bit system keeps copies of the own files in the
    // Windows directory.
    if (!machine.Os().VistaOrLater() && !is64)
        for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI"})
            machine.WriteFile(windir + "\\" + f, "copy");

    machine.WriteFile(UtilitiesFolder(machine) + "\\ZMPK40_Uninstaller.exe", "uninstaller");
    machine.WriteFile(UtilitiesFolder(machine) + "\\ZMPK40_Config.KVT", "[ZMPK40]\r\n");
    machine.WriteFile(machine.SystemDirectory() + "\\ZMPK40_Config.KVT", "[ZMPK40]\r\n");
    machine.SetString(kUninstallKey, "DisplayName", "KORVANT ZMP-K40 2.0.6");
    machine.SetString(kUninstallKey, "UninstallString", UtilitiesFolder(machine) + "\\ZMPK40_Uninstaller.exe");
    machine.SetString(kUninstallKey, "InfFile", machine.InfDirectory() + "\\" + oem);

    machine.AddForm("Label 60x40 [K40]");
    machine.AddForm("[K40] Receipt 80");
    machine.WriteFile(std::string(kInstalledFolder) + "\\readme.txt", "older release");
}

inline sim::SimPrinter PrinterOn(const std::string& name, const std::string& port,
                                 const std::string& driver = kDriverName) {
    sim::SimPrinter printer;
    printer.name = name;
    printer.driver = driver;
    printer.port = port;
    printer.processor = kProcessorName;
    return printer;
}

// Everything the full removal takes away, looked for on the machine; what
// is still there, one line per item.
inline std::vector<std::string> DriverLeftovers(const sim::Machine& m) {
    std::vector<std::string> left;
    for (const sim::SimPrinter& p : m.Printers())
        if (p.driver == kDriverName) left.push_back("printer " + p.name);
    for (const sim::SimDriver& d : m.Drivers())
        if (d.name == kDriverName) left.push_back("driver " + d.environment);
    for (const sim::SimMonitor& mon : m.Monitors())
        if (mon.name == kMonitorName) left.push_back("monitor");
    for (const sim::SimProcessor& p : m.Processors())
        if (p.name == kProcessorName) left.push_back("processor " + p.environment);
    for (const std::string& f : m.Forms())
        if (f.find("[K40]") != std::string::npos) left.push_back("form " + f);

    std::vector<std::string> files;
    for (const char* env : {"Windows NT x86", "Windows x64"}) {
        const std::string dir = m.PrinterDriverDirectory(env);
        for (const std::string& f : OwnDriverFiles()) files.push_back(dir + "\\3\\" + f);
        files.push_back(m.PrintProcessorDirectory(env) + "\\ZPPRO40.dll");
    }
    for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZPMON40.dll"})
        files.push_back(m.WindowsDirectory() + "\\" + f);
    files.push_back(m.SystemDirectory() + "\\ZPMON40.dll");
    // What the installer stages in the driver directory, and the ".old"
    // copies its copy fallback sets aside.
    const std::string staging = m.PrinterDriverDirectory(Environment(m));
    for (const char* f : {"ZMP40.dll", "ZMP40.GPD", "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI"}) {
        files.push_back(staging + "\\" + f);
        files.push_back(staging + "\\" + f + ".old");
        files.push_back(m.WindowsDirectory() + "\\" + f + ".old");
    }
    for (const std::string& dir : {m.SystemDirectory(), m.WindowsDirectory()})
        files.push_back(dir + "\\ZPMON40.dll.old");
    files.push_back(m.PrintProcessorDirectory(Environment(m)) + "\\ZPPRO40.dll.old");
    for (const std::string& f : files)
        if (m.FileExists(f)) left.push_back("file " + f);

    // Our oem INF, whatever number Windows gave it, and its precompiled file.
    for (const std::string& inf : m.OemInfs()) {
        auto text = m.ReadFile(m.InfDirectory() + "\\" + inf);
        if (text && text->find("KORVANT ZMP-K40") != std::string::npos) left.push_back("inf " + inf);
    }
    for (const std::string& name : m.ListDirectory(m.InfDirectory()))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".PNF") == 0 && name.rfind("oem", 0) == 0 &&
            !m.FileExists(m.InfDirectory() + "\\" + name.substr(0, name.size() - 4) + ".inf"))
            left.push_back("pnf " + name);
    for (const char* env : {"Windows NT x86", "Windows x64"}) {
        const std::string staging = m.PrinterDriverDirectory(env) + "\\korvant_zmp_k402463";
        if (m.DirectoryExists(staging)) left.push_back("directory " + staging);
    }
    if (m.DirectoryExists(kInstalledFolder)) left.push_back("directory " + std::string(kInstalledFolder));
    if (m.DirectoryExists("C:\\KORVANT Printer Driver")) left.push_back("directory C:\\KORVANT Printer Driver");

    if (m.KeyExists(kUninstallKey)) left.push_back("key Uninstall");
    if (m.KeyExists(kUninstallKey32)) left.push_back("key Uninstall (32-bit view)");
    if (m.KeyExists(kUsbEnumKey)) left.push_back("key USBPRINT");
    for (const sim::SimDevice& d : m.Devices())
        for (const std::string& id : d.hardwareIds)
            if (id.find("Vid_7F3C&Pid_0042") != std::string::npos) left.push_back("device " + d.instanceId);
    return left;
}

// One run of the uninstaller from the utilities folder, with the command
// line's arguments; a run that got stuck fails the test.
struct UninstallRun {
    sim::Script script;
    std::string arguments;
    sim::Desktop* desktop = nullptr;
    std::function<void(sim::SimSystem&, sim::HeadlessUi&)> beforeStart;
    std::function<void(sim::SimSystem&, sim::HeadlessUi&)> afterEnd;
    sim::Events events;
    int exitCode = -1;

    int On(sim::Machine& machine) {
        sim::RunOptions options;
        options.program = resources::Program::Uninstaller;
        options.currentDirectory = UtilitiesFolder(machine);
        options.script = std::move(script);
        options.arguments = arguments;
        options.desktop = desktop;
        options.beforeStart = beforeStart;
        options.afterEnd = [this](sim::SimSystem& system, sim::HeadlessUi& ui) {
            if (afterEnd) afterEnd(system, ui);
            if (!ui.Stuck().empty()) ADD_FAILURE() << "uninstaller: " << ui.Stuck();
        };
        exitCode = sim::RunProgram(machine, std::move(options), events);
        return exitCode;
    }

    // The transcript lines of one kind ("STATUS", "BOX" ...), kind included.
    std::vector<std::string> Lines(const std::string& kind) const {
        std::vector<std::string> out;
        for (const std::string& line : events.Lines())
            if (line.rfind(kind + " ", 0) == 0 || line == kind) out.push_back(line);
        return out;
    }
    bool Has(const std::string& line) const {
        std::vector<std::string> all = events.Lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
};

// The log's lines without their time prefix.
inline std::vector<std::string> LogLines(const sim::Machine& machine) { return ReadLogLines(machine, kUninstallerLog); }

inline int IndexOf(const std::vector<std::string>& lines, const std::string& line, int from = 0) {
    for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
        if (lines[i] == line) return static_cast<int>(i);
    return -1;
}

inline std::vector<std::string> PrinterNames(const sim::Machine& machine) {
    std::vector<std::string> names;
    for (const sim::SimPrinter& p : machine.Printers()) names.push_back(p.name);
    return names;
}

}  // namespace zmp::test
