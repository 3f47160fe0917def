// The uninstall workflow on installed machines: what the uninstaller decides
// before the user is asked, which printer objects go in which order, when the
// driver goes with everything that belongs to it, and how each run ends.
#include <gtest/gtest.h>

#include "simulator/SimPlatform.h"
#include "tests/uninstall/Harness.h"

namespace zmp::test {
namespace {

using sim::UserAction;

// Everything the full removal takes away, looked for on the machine; what
// is still there, one line per item.
std::vector<std::string> DriverLeftovers(const sim::Machine& m) {
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
    files.push_back(m.InfDirectory() + "\\oem7.inf");
    files.push_back(m.InfDirectory() + "\\oem7.PNF");
    for (const std::string& f : files)
        if (m.FileExists(f)) left.push_back("file " + f);

    for (const char* env : {"Windows NT x86", "Windows x64"}) {
        const std::string staging = m.PrinterDriverDirectory(env) + "\\korvant_zmp_k402463";
        if (m.DirectoryExists(staging)) left.push_back("directory " + staging);
    }
    if (m.DirectoryExists(kInstalledFolder)) left.push_back("directory " + std::string(kInstalledFolder));
    if (m.DirectoryExists("C:\\KORVANT Printer Driver")) left.push_back("directory C:\\KORVANT Printer Driver");

    if (m.KeyExists(kUninstallKey)) left.push_back("key Uninstall");
    if (m.KeyExists(kUsbEnumKey)) left.push_back("key USBPRINT");
    for (const sim::SimDevice& d : m.Devices())
        for (const std::string& id : d.hardwareIds)
            if (id.find("Vid_7F3C&Pid_0042") != std::string::npos) left.push_back("device " + d.instanceId);
    return left;
}

// The four installations, by hand as the installer leaves them.
struct Installation {
    const char* name;
    const char* os;
    bool is64;
    const char* port;  // the printer object's port; "USB" = switched on after the install
};

// What the removal leaves on 64-bit Windows: this 32-bit program gets its
// own environment's directories from the spooler when it names none (the
// driver directory of DeleteDriverComponent, the processor directory of
// DeleteProcessor, the driver DeletePrinterDriverEx looks for). The x64
// driver's registration goes through the registry fallback, but its own
// files in the x64 driver directory and the x64 print processor's DLL stay.
std::vector<std::string> LeftOn64Bit(const sim::Machine& m) {
    if (!m.Os().is64Bit) return {};
    std::vector<std::string> left;
    for (const std::string& f : OwnDriverFiles())
        left.push_back("file " + m.PrinterDriverDirectory("Windows x64") + "\\3\\" + f);
    left.push_back("file " + m.PrintProcessorDirectory("Windows x64") + "\\ZPPRO40.dll");
    return left;
}

void Install(sim::Machine& machine, const Installation& c) {
    InstallDriver(machine);
    const std::string port = c.port;
    if (port == "USB") {
        machine.PlugUsbPrinter();
        return;
    }
    if (port.rfind("IP_", 0) == 0)
        machine.AddPortRecord({port, "Standard TCP/IP Port", port.substr(3), 9100, 1});
    machine.AddPrinterRecord(PrinterOn(kDriverName, port));
}

TEST(UninstallWorkflowTest, AllCheckedAndNoRemovesEverythingOfTheDriver) {
    const Installation cases[] = {
        {"XP COM1", "xp", false, "COM1:"},
        {"7 32-bit USB", "7", false, "USB"},
        {"7 x64 WLAN", "7", true, "IP_192.168.0.10"},
        {"XP x64 COM3", "xp64", true, "COM3:"},
    };
    for (const Installation& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset(c.os, c.is64);
        Install(*machine, c);
        ASSERT_FALSE(DriverLeftovers(*machine).empty());

        UninstallRun run;
        run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
        run.script.AnswerYesNo(false);
        EXPECT_EQ(run.On(*machine), 0);

        EXPECT_EQ(DriverLeftovers(*machine), LeftOn64Bit(*machine));
        // What the removal keeps: the utilities folder with the uninstaller
        // and the configuration, and a network port.
        EXPECT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Uninstaller.exe"));
        EXPECT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Config.KVT"));
        if (std::string(c.port).rfind("IP_", 0) == 0) {
            bool port = false;
            for (const sim::SimPort& p : machine->Ports()) port = port || p.name == c.port;
            EXPECT_TRUE(port);
        }
        EXPECT_EQ(run.Lines("BOX"), std::vector<std::string>{"BOX " + std::string(kRestartQuestion) + " -> NO"});
        EXPECT_EQ(machine->RestartsRequested(), 0u);
        std::vector<std::string> all = run.events.Lines();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all.back(), "EXIT 0");
    }
}

}  // namespace
}  // namespace zmp::test
