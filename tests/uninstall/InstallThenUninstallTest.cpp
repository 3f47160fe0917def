// The installer and then the uninstaller on the same machine: the uninstaller
// is run from the utilities folder the installer filled, and takes away
// everything of the driver that the installation (and Plug and Play) left.
#include <gtest/gtest.h>

#include "tests/uninstall/Harness.h"

namespace zmp::test {
namespace {

using sim::UserAction;

constexpr const char* kPackageDir = "C:\\Users\\Public\\Downloads\\ZMPK40";
// The port dialog's controls.
constexpr int kRadioCom1 = 1006, kRadioCom3 = 1009, kRadioUsb = 1001, kRadioWlan = 1007;
constexpr int kAddressControl = 1003, kNextButton = 1;

// The distributable folder as the installer expects it beside itself.
void WritePackage(sim::Machine& machine) {
    ASSERT_TRUE(
        machine.ImportHostFile(std::string(ZMP_SOURCE_DIR) + "/package/ZMPK40.inf", std::string(kPackageDir) + "\\ZMPK40.inf"));
    for (const char* arch : {"Driver32", "Driver64"})
        for (const char* f : {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIDRV.HLP", "UNIRES.DLL", "STDNAMES.GPD", "ZMP40.dll",
                              "ZPUI40.dll", "ZPUNI40.dll", "ZPUI40.INI", "ZMP40.GPD", "ZMP40.BUD", "ZPMON40.dll",
                              "ZPPRO40.dll"})
            machine.WriteFile(std::string(kPackageDir) + "\\" + arch + "\\" + f, std::string(arch) + " " + f);
    machine.WriteFile(std::string(kPackageDir) + "\\ZMPK40_Uninstaller.exe", "MZ uninstaller");
    machine.WriteFile(std::string(kPackageDir) + "\\ZMPK40_Config.KVT", "[ZMPK40]\r\nPORTDLG=TRUE\r\n");
}

// The installer on the port the user picks; No to its restart question.
int RunInstaller(sim::Machine& machine, std::vector<UserAction> portChoice, sim::Events& events,
                 std::function<void(sim::SimSystem&, sim::HeadlessUi&)> beforeStart = nullptr) {
    sim::RunOptions options;
    options.program = resources::Program::Installer;
    options.currentDirectory = kPackageDir;
    options.beforeStart = std::move(beforeStart);
    portChoice.push_back(UserAction::Click(kNextButton));
    options.script.OnDialog("Port Type", std::move(portChoice));
    options.script.AnswerYesNo(false);
    return sim::RunProgram(machine, std::move(options), events);
}

TEST(InstallThenUninstallTest, NothingOfTheDriverIsLeft) {
    struct Case {
        const char* name;
        const char* os;
        bool is64;
        std::vector<UserAction> port;
        bool switchOnPrinter;
        const char* printerPort;  // of the printer object the uninstaller lists
        const char* keptPort;     // a port the removal keeps, or ""
    };
    const Case cases[] = {
        {"XP COM1", "xp", false, {UserAction::Click(kRadioCom1)}, false, "COM1:", ""},
        {"7 32-bit USB", "7", false, {UserAction::Click(kRadioUsb)}, true, "USB001", ""},
        {"7 x64 WLAN",
         "7",
         true,
         {UserAction::Click(kRadioWlan), UserAction::TypeAddress(kAddressControl, 0xC0A8000A)},
         false,
         "IP_192.168.0.10",
         "IP_192.168.0.10"},
        {"XP x64 COM3", "xp64", true, {UserAction::Click(kRadioCom3)}, false, "COM3:", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset(c.os, c.is64);
        WritePackage(*machine);
        sim::Events installEvents;
        EXPECT_EQ(RunInstaller(*machine, c.port, installEvents), 0);
        if (c.switchOnPrinter) machine->PlugUsbPrinter();

        // The installation as the uninstaller finds it.
        ASSERT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Uninstaller.exe"));
        std::vector<sim::SimPrinter> printers = machine->Printers();
        ASSERT_EQ(printers.size(), 1u);
        EXPECT_EQ(printers[0].port, c.printerPort);
        std::vector<std::string> installed = DriverLeftovers(*machine);
        for (const char* part : {"printer KORVANT ZMP-K40", "monitor", "key Uninstall"})
            EXPECT_NE(std::find(installed.begin(), installed.end(), part), installed.end()) << part;

        UninstallRun run;
        run.script.OnDialog(kCaption, {UserAction::Click(kUninstallButton)});
        run.script.AnswerYesNo(false);
        EXPECT_EQ(run.On(*machine), 0);

        EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
        EXPECT_EQ(run.Lines("BOX"), std::vector<std::string>{"BOX " + std::string(kRestartQuestionLine) + " -> NO"});
        // What the removal keeps: the utilities folder with the uninstaller
        // and the configuration, and the network port.
        EXPECT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Uninstaller.exe"));
        EXPECT_TRUE(machine->FileExists(UtilitiesFolder(*machine) + "\\ZMPK40_Config.KVT"));
        if (*c.keptPort) {
            bool kept = false;
            for (const sim::SimPort& p : machine->Ports()) kept = kept || p.name == c.keptPort;
            EXPECT_TRUE(kept);
        }
    }
}

// An installation on Windows XP that stopped half way, at the driver:
// monitor, processor, their DLLs and the staged copies are in place, the
// driver is not. The uninstaller (from the package, as the utilities folder
// was never made) takes all of it, and asks about the restart as after a
// removal.
TEST(InstallThenUninstallTest, AnInstallationThatFailedHalfWayIsCleared) {
    struct Case {
        const char* name;
        const char* refused;  // a spooler call that refuses, or none
        const char* missing;  // a package file that is missing, or none
    };
    const Case cases[] = {
        {"the driver refused", "Spooler.AddPrinterDriver", nullptr},
        {"a missing file", nullptr, "Driver32\\ZMP40.GPD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto machine = sim::Machine::Preset("xp");
        WritePackage(*machine);
        if (c.missing) machine->Remove(std::string(kPackageDir) + "\\" + c.missing);
        sim::Events installEvents;
        RunInstaller(*machine, {UserAction::Click(kRadioCom1)}, installEvents,
                     [&](sim::SimSystem& system, sim::HeadlessUi&) {
                         if (c.refused) system.Faults().Fail(c.refused, err::kAccessDenied);
                     });
        ASSERT_FALSE(machine->FindDriver(kDriverName, Environment(*machine)));
        std::vector<std::string> installed = DriverLeftovers(*machine);
        const std::string staged = machine->PrinterDriverDirectory(Environment(*machine)) + "\\ZMP40.dll";
        for (const std::string& part :
             {std::string("monitor"), "file " + machine->SystemDirectory() + "\\ZPMON40.dll", "file " + staged})
            EXPECT_NE(std::find(installed.begin(), installed.end(), part), installed.end()) << part;

        UninstallRun run;
        run.script.AnswerYesNo(false);
        sim::RunOptions options;
        options.program = resources::Program::Uninstaller;
        options.currentDirectory = kPackageDir;
        options.script = std::move(run.script);
        EXPECT_EQ(sim::RunProgram(*machine, std::move(options), run.events), 0);

        EXPECT_EQ(DriverLeftovers(*machine), std::vector<std::string>{});
        EXPECT_EQ(run.Lines("BOX"), std::vector<std::string>{"BOX " + std::string(kRestartQuestionLine) + " -> NO"});
    }
}

}  // namespace
}  // namespace zmp::test
